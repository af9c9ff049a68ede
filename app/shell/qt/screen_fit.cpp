#include "app/shell/qt/screen_fit.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSpacerItem>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace app {

namespace {

// The room a title bar keeps besides the title: the window's icon and the three buttons of common
// window managers, with their gaps.
constexpr int kTitleBarChrome = 140;

const char* kWidenedProperty = "lmTitleWidened";

// The least a list or a chart is made when it gives way to the screen: still a list, still a chart.
constexpr int kLeastScrollArea = 120;

// A dialog, whoever built it (a message box, the engine's own dialog, an input or progress dialog), made
// at least as wide as its title needs, within the screen.
void widenForTitle(QDialog* dialog) {
    int need = TitleBarWidthNeeded(dialog->windowTitle());
    if (QScreen* screen = dialog->screen()) need = std::min(need, screen->availableGeometry().width());
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        // A message box sets its own fixed size from its layout when shown: an empty item as wide as the
        // title in its grid makes it so. Once: the item stays.
        if (box->property(kWidenedProperty).toBool()) return;
        box->setProperty(kWidenedProperty, true);
        auto* grid = qobject_cast<QGridLayout*>(box->layout());
        if (!grid || box->sizeHint().width() >= need) return;
        const int inside = need - grid->contentsMargins().left() - grid->contentsMargins().right();
        grid->addItem(new QSpacerItem(inside, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
        return;
    }
    // Any other dialog has its size by now: a wider minimum widens it at once, about the same centre where
    // it was placed.
    const int grow = need - dialog->width();
    if (grow <= 0) return;
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), need));
    dialog->resize(need, dialog->height());
    if (dialog->testAttribute(Qt::WA_Moved)) dialog->move(dialog->x() - grow / 2, dialog->y());
}

// A choice sized for its widest entry (the longest team name of the league, say) gives way next: as wide
// as what it shows now, its list still as wide as its entries.
bool giveWayInChoices(QWidget* window) {
    bool gave = false;
    for (QComboBox* choice : window->findChildren<QComboBox*>()) {
        if (choice->window() != window || !choice->isVisible() ||
            choice->sizeAdjustPolicy() == QComboBox::AdjustToMinimumContentsLengthWithIcon)
            continue;
        choice->setMinimumContentsLength(std::max<int>(choice->currentText().size(), 4));
        choice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        gave = true;
    }
    return gave;
}

}  // namespace

int TitleBarWidthNeeded(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarChrome;
}

QRect FitFrameInto(const QRect& frame, const QRect& area, const QSize& least) {
    if (area.isEmpty()) return frame;
    QRect fitted = frame;
    fitted.setWidth(std::max(std::min(frame.width(), area.width()), least.width()));
    fitted.setHeight(std::max(std::min(frame.height(), area.height()), least.height()));
    const int x = std::clamp(fitted.x(), area.left(), std::max(area.left(), area.right() + 1 - fitted.width()));
    const int y = std::clamp(fitted.y(), area.top(), std::max(area.top(), area.bottom() + 1 - fitted.height()));
    fitted.moveTo(x, y);
    return fitted;
}

QSize LeastSize(QWidget* window) {
    if (window->layout()) window->layout()->activate();
    return window->minimumSizeHint().expandedTo(window->minimumSize());
}

void GiveWay(QWidget* window, const QSize& room) {
    // A few rounds: a list and a chart side by side give way together, each by the share the window is over.
    for (int round = 0; round < 8; ++round) {
        const QSize least = LeastSize(window);
        if (least.width() <= room.width() && least.height() <= room.height()) return;
        bool gave = false;
        for (QAbstractScrollArea* area : window->findChildren<QAbstractScrollArea*>()) {
            if (area->window() != window || !area->isVisible()) continue;
            const QSize floor = area->minimumSizeHint().expandedTo(QSize(kLeastScrollArea, kLeastScrollArea));
            QSize min = area->minimumSize();
            if (least.width() > room.width())
                min.setWidth(std::max(std::min(floor.width(), min.width()),
                                      int(qint64(min.width()) * room.width() / least.width()) - 1));
            if (least.height() > room.height())
                min.setHeight(std::max(std::min(floor.height(), min.height()),
                                       int(qint64(min.height()) * room.height() / least.height()) - 1));
            if (min == area->minimumSize()) continue;
            area->setMinimumSize(min);
            gave = true;
        }
        if (!gave && least.width() > room.width()) gave = giveWayInChoices(window);
        if (!gave) return;
    }
}

bool KeepWindowOnScreen(QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return false;
    QScreen* screen = window->screen();
    if (!screen) return false;
    const QRect frame = window->frameGeometry(), inner = window->geometry();
    const QSize chrome = frame.size() - inner.size();
    GiveWay(window, screen->availableGeometry().size() - chrome);
    const QRect fitted = FitFrameInto(frame, screen->availableGeometry(), LeastSize(window) + chrome);
    if (fitted == frame) return false;
    if (fitted.size() != frame.size()) window->resize(fitted.size() - chrome);
    window->move(fitted.topLeft());
    return true;
}

ScreenFit::ScreenFit(QObject* parent) : QObject(parent) {}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Resize && type != QEvent::Move) return false;
    auto* window = qobject_cast<QWidget*>(watched);
    if (!window || !window->isWindow() || window->windowType() == Qt::ToolTip ||
        window->windowType() == Qt::Popup)
        return false;
    if (type == QEvent::Show) {
        if (auto* dialog = qobject_cast<QDialog*>(window)) widenForTitle(dialog);
        if (!m_windows.contains(window))
            connect(window, &QObject::destroyed, this, [this, window] { m_windows.remove(window); });
        m_windows[window] = Fitting{};
        // The window manager frames a window some time after it is shown, and may say nothing when it does:
        // the fit is tried again a few times while the window settles.
        for (int delay : {0, 100, 400, 1200}) fitLater(window, delay);
        return false;
    }
    // Once the window has its size and frame: not from inside its own show, move or resize.
    fitLater(window, 0);
    return false;
}

void ScreenFit::fitLater(QWidget* window, int delayMs) {
    QTimer::singleShot(delayMs, this, [this, w = QPointer<QWidget>(window)] {
        if (w) fit(w);
    });
}

void ScreenFit::fit(QWidget* window) {
    if (!window->isVisible()) return;
    Fitting& state = m_windows[window];
    // A platform that does not place or size the window as asked answers each fit with another move or
    // resize: after a few rounds the window is left where the platform keeps it, until its layout asks
    // for another size or it is shown again.
    const QSize least = LeastSize(window);
    if (least != state.least) state.rounds = 0;
    if (state.rounds >= kMaxRounds) return;
    if (KeepWindowOnScreen(window)) {
        ++state.rounds;
        // What gave way takes its new size once the layout runs again: the window is looked at once more
        // then, whether or not that moves or resizes it.
        fitLater(window, 0);
    }
    state.least = LeastSize(window);
    // A window fitted before the window manager framed it was placed by its inner edge, and the frame added
    // afterwards may stand past the screen's edge with no move or resize to tell: look again until the
    // frame is known, within a bound (a platform without frames never has one).
    if (window->frameGeometry() == window->geometry() && state.frameWaits < kFrameWaits &&
        QGuiApplication::platformName() == QLatin1String("xcb")) {
        ++state.frameWaits;
        fitLater(window, kFrameWaitMs);
    }
}

void InstallScreenFit(QApplication& application) {
    // Once: two watchers would each answer the same window.
    if (application.findChild<QObject*>(QStringLiteral("lmScreenFit"), Qt::FindDirectChildrenOnly)) return;
    auto* fit = new ScreenFit(&application);
    fit->setObjectName(QStringLiteral("lmScreenFit"));
    application.installEventFilter(fit);
}

}  // namespace app
