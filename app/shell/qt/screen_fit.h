// Every window of the program on the screen it opens on: a window larger than the screen's free area is
// made as small as its layout allows, and one that reaches past an edge is moved back inside, with its
// frame, when it is shown, again once the window manager has framed it, and whenever it moves or grows (a
// report window that shows its data). When its layout cannot go that small, its lists and charts give way
// first: the least sizes they were given for their contents shrink until the window fits, and they scroll
// or draw smaller; then choices sized for their widest entry. Every dialog (message boxes, the
// engine's own dialogs, input and progress dialogs) is made wide enough for its title, which window managers
// otherwise cut to a few letters.
#pragma once

#include <QHash>
#include <QObject>
#include <QSize>
#include <QRect>
#include <QString>

class QApplication;
class QWidget;

namespace app {

// The width a window's frame needs to show the title whole beside its icon and buttons.
int TitleBarWidthNeeded(const QString& title);

// The geometry (of the frame, as `frame`) a window takes to lie within `area`: the same size when it fits,
// else no larger than the area and no smaller than `least` (the frame of the window's minimum size), moved
// inside the area as far as its size allows.
QRect FitFrameInto(const QRect& frame, const QRect& area, const QSize& least);

// The least size a window's layout allows now.
QSize LeastSize(QWidget* window);
// Lowers the least sizes of the window's lists, charts and other scroll areas (never below a small floor)
// until the window's least size is within room, as far as they can give.
void GiveWay(QWidget* window, const QSize& room);
// Resizes and moves a top-level window so that its frame lies on its screen's available area; true when it
// asked for another place or size.
bool KeepWindowOnScreen(QWidget* window);

// Watches every top-level window of the application for the rules above: when it is shown, again once
// the window manager has framed it, and whenever it moves or changes size.
class ScreenFit : public QObject {
public:
    explicit ScreenFit(QObject* parent = nullptr);
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The most fits in a row that move or resize one window while its layout asks for the same size.
    static constexpr int kMaxRounds = 6;
    // Under a window manager, how often and how long a shown window is looked at again while its frame is
    // still unknown (a busy machine may frame it seconds after the show).
    static constexpr int kFrameWaitMs = 250;
    static constexpr int kFrameWaits = 24;

private:
    struct Fitting {
        int rounds = 0;  // fits that moved or resized the window since it was shown or its layout changed
        QSize least;     // the window's least size after the last fit
        int frameWaits = 0;  // looks taken since the show while the window manager had not framed it
    };
    void fitLater(QWidget* window, int delayMs);
    void fit(QWidget* window);

    QHash<QObject*, Fitting> m_windows;
};
void InstallScreenFit(QApplication& application);

}  // namespace app
