#include "app/shell/qt/gradient.h"

#include <QEvent>
#include <QPainter>
#include <cstdint>
#include <cstdlib>

namespace app {

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = std::llabs(product);
    const int64_t divisor = std::llabs(static_cast<int64_t>(c));
    const int64_t q = (magnitude + divisor / 2) / divisor;
    const int64_t result = negative ? -q : q;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int>(result);
}

QColor ColorOfBgr(unsigned bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

TDegradeClass::TDegradeClass(QWidget* parent) : QWidget(parent) {
    // A background only: clicks go to whatever lies above or to the window.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    if (parent) {
        parent->installEventFilter(this);
        followParent();
    }
}

void TDegradeClass::setStartColor(unsigned bgr) {
    m_start = bgr & 0xFFFFFF;
    update();
}

void TDegradeClass::setEndColor(unsigned bgr) {
    m_end = bgr & 0xFFFFFF;
    update();
}

int TDegradeClass::BandTop(int band, int height) {
    return MulDiv(band, height, 256);
}

QColor TDegradeClass::BandColor(int band) const {
    const QColor start = ColorOfBgr(m_start);
    const QColor end = ColorOfBgr(m_end);
    auto channel = [band](int from, int to) { return (from + MulDiv(band, to - from, 255)) & 0xFF; };
    return QColor(channel(start.red(), end.red()), channel(start.green(), end.green()),
                  channel(start.blue(), end.blue()));
}

void TDegradeClass::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    for (int band = 0; band < 256; ++band) {
        const int top = BandTop(band, h);
        const int bottom = BandTop(band + 1, h);
        if (bottom > top) p.fillRect(0, top, width(), bottom - top, BandColor(band));
    }
}

bool TDegradeClass::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
        followParent();
    return QWidget::eventFilter(watched, event);
}

void TDegradeClass::followParent() {
    setGeometry(parentWidget()->rect());
    lower();
}

}  // namespace app
