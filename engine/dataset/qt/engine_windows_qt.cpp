#include "engine/dataset/qt/engine_windows_qt.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/codepage.h"

namespace xb {

namespace {

const QString kBarFull = QString(100, QLatin1Char('|'));

void centreOn(QWidget* w, QWidget* on) {
    QRect area;
    if (on && on->isVisible())
        area = on->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (!area.isEmpty()) w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
}

}  // namespace

QString BreakableText(const QString& text) {
    // A word longer than this (a file's path, most often) may be broken; shorter ones never are.
    constexpr int kLongWord = 40;
    const QChar breakHere(0x200B);
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (int at = 0; at < text.size();) {
        int end = at;
        while (end < text.size() && !text[end].isSpace()) ++end;
        if (end - at <= kLongWord) {
            out += text.mid(at, end - at);
        } else {
            // After a path's separators first, else every so many letters.
            int run = 0;
            for (int i = at; i < end; ++i) {
                if (run == kLongWord) {
                    out += breakHere;
                    run = 0;
                }
                out += text[i];
                ++run;
                if (text[i] == QLatin1Char('/') || text[i] == QLatin1Char('\\')) {
                    out += breakHere;
                    run = 0;
                }
            }
        }
        while (end < text.size() && text[end].isSpace()) out += text[end++];
        at = end;
    }
    return out;
}

QString SeamText(const std::string& text) {
    if (platform::IsValidUtf8(text)) return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    const std::string u = platform::ToUtf8(text, 1252);
    return QString::fromUtf8(u.data(), static_cast<int>(u.size()));
}

// ---- TXbMsg ----

TXbMsg::TXbMsg(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_activeAtCreation(QApplication::activeWindow()) {
    setObjectName("TXbMsg");
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 0));
    setPalette(pal);
    setAutoFillBackground(true);
    m_outer = new QFrame(this);
    m_outer->setObjectName("outer");
    m_outer->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_outer->setLineWidth(2);
    m_inner = new QLabel(m_outer);
    m_inner->setObjectName("inner");
    m_inner->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_inner->setAlignment(Qt::AlignCenter);
    auto* outerLayout = new QVBoxLayout(this);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addWidget(m_outer);
    auto* innerLayout = new QVBoxLayout(m_outer);
    innerLayout->setContentsMargins(2, 2, 2, 2);
    innerLayout->addWidget(m_inner);
    resize(0, 0);
}

void TXbMsg::SetCaption(const QString& caption) {
    m_caption = caption;
    setWindowTitle(caption);
}

void TXbMsg::ShowText(const QString& text) {
    if (!text.isEmpty()) m_text = text;
    const QFontMetrics fm(m_inner->font());
    QSize need = fm.size(0, m_text) + QSize(30, 30);
    bool styleChanged = false;
    const bool wantBorder = !m_caption.isEmpty();
    const bool hasBorder = !(windowFlags() & Qt::FramelessWindowHint);
    if (wantBorder != hasBorder) {
        setWindowFlags(wantBorder ? (Qt::Dialog | Qt::WindowStaysOnTopHint)
                                  : (Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        styleChanged = true;
    }
    if (wantBorder) need.setWidth(std::max(need.width(), QFontMetrics(font()).horizontalAdvance(m_caption) + 60));
    if (need.width() > width() || need.height() > height() || styleChanged || !isVisible()) {
        resize(std::max(need.width(), width()), std::max(need.height(), height()));
        centreOn(this, m_activeAtCreation);
        show();
    }
    m_inner->setText(m_text);
    // Paint now; other pending events (clicks, keys) wait for the engine operation to finish.
    m_inner->repaint();
}

// ---- TXbProgress100 ----

TXbProgress100::TXbProgress100(QWidget* owner) : TXbMsg(owner) {
    setObjectName("TXbProgress100");
    SetCaption("Progress");
    m_bar = kBarFull;
    ShowText(m_bar);
}

TXbProgress100* TXbProgress100::CreateWithCaption(QWidget* owner, const QString& caption) {
    auto* p = new TXbProgress100(owner);
    p->SetCaption(caption);
    p->m_bar = kBarFull;
    p->ShowText(p->m_bar);
    return p;
}

void TXbProgress100::Step() {
    if (m_bar.isEmpty())
        m_bar = kBarFull;
    else
        m_bar.chop(1);
    // An empty text would keep the previous one: show a blank bar instead.
    ShowText(m_bar.isEmpty() ? QStringLiteral(" ") : m_bar);
}

// ---- dialog ----

char TDialogForm::HotkeyOfResult(int result) const {
    if (result < 1 || result > static_cast<int>(captions.size())) return ' ';
    return platform::HotkeyOf(captions[static_cast<size_t>(result - 1)].toStdString());
}

std::unique_ptr<TDialogForm> BuildDialogForm(const QString& caption, const QString& kind, const QString& text,
                                             int, const QString& buttons) {
    std::vector<QString> list;
    for (const QString& w : buttons.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) list.push_back(w);
    return BuildDialogForm(caption, kind, text, 2, list);
}

std::unique_ptr<TDialogForm> BuildDialogForm(const QString& caption, const QString& kind, const QString& text,
                                             int, const std::vector<QString>& captionsIn) {
    auto form = std::make_unique<TDialogForm>();
    form->setObjectName("TDialogForm");
    form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    form->setWindowTitle(caption);
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::ButtonText, Qt::black);
    form->setPalette(pal);
    form->setAutoFillBackground(true);
    QFont font = form->font();
    font.setBold(true);
    form->setFont(font);

    form->captions = captionsIn;
    if (form->captions.empty()) form->captions.push_back("&OK");

    QString body = text;
    bool centred = false;
    const int at = body.indexOf(QStringLiteral(" CENTERTEXT"), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        body.remove(at, 11);
        centred = true;
    }
    body.replace(QStringLiteral("\r\n"), QStringLiteral(";"));
    body.replace(QStringLiteral("\n\r"), QStringLiteral(";"));
    body.replace(QLatin1Char('\n'), QLatin1Char(';'));
    body.replace(QLatin1Char('\r'), QLatin1Char(';'));
    body.replace(QLatin1Char(';'), QLatin1Char('\n'));

    auto* outer = new QVBoxLayout(form.get());
    outer->setContentsMargins(10, 20, 10, 20);
    outer->setSpacing(20);
    auto* top = new QHBoxLayout();
    const QString k = kind.left(1).toUpper();
    QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
    if (k == "!") icon = QStyle::SP_MessageBoxWarning;
    if (k == "?") icon = QStyle::SP_MessageBoxQuestion;
    if (k == "A") icon = QStyle::SP_DesktopIcon;
    if (k == "H") icon = QStyle::SP_MessageBoxCritical;
    if (k == "I") icon = QStyle::SP_MessageBoxInformation;
    if (icon != QStyle::SP_CustomBase) {
        auto* image = new QLabel(form.get());
        image->setObjectName("Icon");
        image->setPixmap(form->style()->standardIcon(icon).pixmap(32, 32));
        image->setFixedWidth(32);
        top->addWidget(image, 0, Qt::AlignTop);
    }
    auto* message = new QLabel(BreakableText(body), form.get());
    message->setObjectName("Message");
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    message->setAlignment(centred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
    const QFontMetrics fm(font);
    int widest = 0;
    for (const QString& line : body.split(QLatin1Char('\n'))) widest = std::max(widest, fm.horizontalAdvance(line));
    if (QScreen* s = QGuiApplication::primaryScreen()) widest = std::min(widest, s->availableGeometry().width() * 2 / 3);
    message->setMinimumWidth(widest);
    top->addWidget(message, 1);
    outer->addLayout(top);

    int buttonWidth = 0;
    for (const QString& c : form->captions) {
        QString shown = c;
        shown.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        buttonWidth = std::max(buttonWidth, fm.horizontalAdvance("W" + shown + "W"));
    }
    const int buttonHeight = fm.height() + 10;
    auto* row = new QHBoxLayout();
    row->setSpacing(10);
    row->addStretch(1);
    for (size_t i = 0; i < form->captions.size(); ++i) {
        auto* b = new QPushButton(form->captions[i], form.get());
        b->setObjectName(QStringLiteral("button%1").arg(i + 1));
        b->setFixedSize(buttonWidth, buttonHeight);
        b->setAutoDefault(i == 0);
        b->setDefault(i == 0);
        const int result = static_cast<int>(i) + 1;
        TDialogForm* f = form.get();
        QObject::connect(b, &QPushButton::clicked, f, [f, result] { f->done(result); });
        row->addWidget(b);
    }
    row->addStretch(1);
    outer->addLayout(row);
    form->adjustSize();
    centreOn(form.get(), nullptr);
    return form;
}

// ---- the seam ----

QtEngineUi::QtEngineUi() : m_previous(platform::SetUi(this)) {}

QtEngineUi::~QtEngineUi() { platform::SetUi(m_previous); }

int QtEngineUi::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return messageBoxWithDetails(text, {}, caption, flags);
}

int QtEngineUi::messageBoxWithDetails(const std::string& text, const std::string& details,
                                      const std::string& caption, unsigned flags) {
    QMessageBox box;
    box.setWindowTitle(SeamText(caption));
    box.setText(BreakableText(SeamText(text)));
    // The list goes in the box's own scrolling area, shown at once: the box keeps its size whatever
    // its length.
    if (!details.empty()) {
        box.setDetailedText(SeamText(details));
        for (QAbstractButton* b : box.buttons())
            if (box.buttonRole(b) == QMessageBox::ActionRole) {
                b->click();
                break;
            }
    }
    switch (flags & 0xF0) {
        case platform::kMbIconStop: box.setIcon(QMessageBox::Critical); break;
        case platform::kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
        case platform::kMbIconWarning: box.setIcon(QMessageBox::Warning); break;
        case platform::kMbIconInformation: box.setIcon(QMessageBox::Information); break;
        default: break;
    }
    switch (flags & 0x0F) {
        case platform::kMbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case platform::kMbOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        default: box.setStandardButtons(QMessageBox::Ok);
    }
    if (flags & platform::kMbDefButton2) {
        if (QAbstractButton* second = box.button((flags & 0x0F) == platform::kMbYesNo ? QMessageBox::No
                                                                                      : QMessageBox::Cancel))
            box.setDefaultButton(qobject_cast<QPushButton*>(second));
    }
    switch (box.exec()) {
        case QMessageBox::Yes: return platform::kIdYes;
        case QMessageBox::No: return platform::kIdNo;
        case QMessageBox::Cancel: return platform::kIdCancel;
        default: return platform::kIdOk;
    }
}

char QtEngineUi::dialog(const std::string& caption, char icon, const std::string& text, const std::string& buttons) {
    std::vector<QString> list;
    for (const QString& c : SeamText(buttons).split(QLatin1Char(';'), Qt::SkipEmptyParts)) list.push_back(c);
    std::unique_ptr<TDialogForm> form =
        BuildDialogForm(SeamText(caption), QString(QLatin1Char(icon)), SeamText(text), 2, list);
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    QApplication::beep();
    const int result = form->exec();
    QGuiApplication::restoreOverrideCursor();
    return form->HotkeyOfResult(result);
}

void QtEngineUi::progressStart(const std::string& caption, long) {
    m_progress.reset(TXbProgress100::CreateWithCaption(nullptr, SeamText(caption)));
}

void QtEngineUi::progressStep(long) {
    if (m_progress) m_progress->Step();
}

void QtEngineUi::progressEnd() { m_progress.reset(); }

}  // namespace xb
