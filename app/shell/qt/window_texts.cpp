#include "app/shell/qt/window_texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTabWidget>
#include <QWidget>

#include "app/settings/lang_texts.h"

namespace app {

namespace {

QWidget* Component(QWidget* window, const char* name) {
    if (window->objectName() == QLatin1String(name)) return window;
    return window->findChild<QWidget*>(QString::fromLatin1(name));
}

// A page of a tab widget takes its caption as the tab's title.
QTabWidget* TabsOf(QWidget* page, int* index) {
    for (QWidget* p = page->parentWidget(); p; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
            *index = tabs->indexOf(page);
            return *index >= 0 ? tabs : nullptr;
        }
    }
    return nullptr;
}

}  // namespace

QString WindowTextValue(const WindowText& entry) {
    return entry.text != Text::None ? GetLangText(entry.text)
                                    : QString::fromUtf8(entry.literal ? entry.literal : "");
}

void ApplyWindowTexts(QWidget* window, const std::vector<WindowText>& texts, QStringList* missing) {
    for (const WindowText& e : texts) {
        QWidget* w = Component(window, e.objectName);
        if (!w) {
            if (missing) missing->append(QString::fromLatin1(e.objectName));
            continue;
        }
        const QString text = WindowTextValue(e);
        if (e.role == TextRole::kHint) {
            w->setToolTip(text);
            continue;
        }
        int tab = -1;
        if (w == window) {
            w->setWindowTitle(text);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(text);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(text);
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            g->setTitle(text);
        } else if (QTabWidget* tabs = TabsOf(w, &tab)) {
            tabs->setTabText(tab, text);
        } else {
            w->setWindowTitle(text);
        }
    }
}

QString ShownWindowText(QWidget* window, const WindowText& entry) {
    QWidget* w = Component(window, entry.objectName);
    if (!w) return {};
    if (entry.role == TextRole::kHint) return w->toolTip();
    int tab = -1;
    if (w == window) return w->windowTitle();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return WithoutMnemonic(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (QTabWidget* tabs = TabsOf(w, &tab)) return tabs->tabText(tab);
    return w->windowTitle();
}

QString WithoutMnemonic(const QString& caption) {
    QString out;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

void GiveButtonMnemonics(std::initializer_list<QAbstractButton*> buttons) {
    QString taken;
    for (QAbstractButton* b : buttons) {
        const QString plain = WithoutMnemonic(b->text());
        QString marked;
        bool given = false;
        for (const QChar c : plain) {
            if (!given && c.isLetterOrNumber() && !taken.contains(c.toLower())) {
                taken += c.toLower();
                marked += u'&';
                given = true;
            } else if (c == u'&') {
                marked += u'&';
            }
            marked += c;
        }
        b->setText(marked);
    }
}

}  // namespace app
