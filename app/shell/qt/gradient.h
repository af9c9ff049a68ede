// The gradient background under every window: fills its parent, beneath the other children, from
// StartColor at the top to EndColor at the bottom in 256 bands.
#pragma once

#include <QColor>
#include <QWidget>

namespace app {

// Colours are held as the stored windows give them, $BBGGRR (blue in the high byte).
QColor ColorOfBgr(unsigned bgr);

class TDegradeClass : public QWidget {
    Q_OBJECT
    Q_PROPERTY(unsigned StartColor READ StartColor WRITE setStartColor)
    Q_PROPERTY(unsigned EndColor READ EndColor WRITE setEndColor)

public:
    explicit TDegradeClass(QWidget* parent = nullptr);

    unsigned StartColor() const { return m_start; }
    unsigned EndColor() const { return m_end; }
    // Setting a colour repaints.
    void setStartColor(unsigned bgr);
    void setEndColor(unsigned bgr);

    // Band i (0..255) spans rows [BandTop(i, h), BandTop(i + 1, h)); its colour is BandColor(i).
    static int BandTop(int band, int height);
    QColor BandColor(int band) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followParent();

    unsigned m_start = 0xFF0000;
    unsigned m_end = 0x0000FF;
};

// The rounding multiply-then-divide of the platform: a * b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

}  // namespace app
