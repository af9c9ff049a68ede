#include "app/shell/qt/report_charts.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <cmath>

namespace app {

namespace {

const char* kNoDataProperty = "lmNoData";

QString valueText(double v) {
    return QString::number(v, 'g', 12);
}

template <typename Axis>
Axis* axisOf(QChart* chart, Qt::Alignment alignment, QAbstractSeries* series) {
    for (QAbstractAxis* a : chart->axes(alignment == Qt::AlignBottom ? Qt::Horizontal : Qt::Vertical)) {
        if (auto* typed = qobject_cast<Axis*>(a)) {
            if (!series->attachedAxes().contains(typed)) series->attachAxis(typed);
            return typed;
        }
    }
    auto* axis = new Axis;
    chart->addAxis(axis, alignment);
    series->attachAxis(axis);
    return axis;
}

// Lays the chart out now rather than at the next turn of the event loop.
// Ticks on whole numbers (matchdays, places), at most about ten of them.
void wholeTicks(QValueAxis* axis, double min, double max) {
    const double step = std::max(1.0, std::ceil((max - min) / 10.0));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(min);
    axis->setTickInterval(step);
    axis->setLabelFormat(QStringLiteral("%d"));
}

void layOut(QChart* chart) {
    if (chart->layout()) chart->layout()->activate();
}

}  // namespace

void SetPieSlices(QPieSeries* series, const QList<ChartValue>& slices) {
    series->clear();
    double total = 0;
    for (const ChartValue& v : slices) total += std::max(v.value, 0.0);
    const bool empty = !(total > 0);
    for (const ChartValue& v : slices) {
        auto* slice = new QPieSlice(v.label + QLatin1Char(' ') + valueText(v.value), std::max(v.value, 0.0));
        slice->setColor(v.color);
        slice->setBorderColor(Qt::white);
        slice->setLabelVisible(!empty && v.value > 0);
        series->append(slice);
    }
    if (empty) {
        auto* none = new QPieSlice(QString::fromLatin1(kNoDataLabel), 1);
        none->setColor(QColor(0xD0, 0xD0, 0xD0));
        none->setLabelVisible(true);
        none->setLabelPosition(QPieSlice::LabelInsideHorizontal);
        none->setProperty(kNoDataProperty, true);
        series->append(none);
    }
    if (QChart* chart = series->chart()) {
        // The real slices of an empty pie have no area: keep them out of the legend.
        const auto markers = chart->legend()->markers(series);
        for (int i = 0; i < markers.size() && i < series->count(); ++i)
            markers[i]->setVisible(!empty || series->slices().at(i)->property(kNoDataProperty).toBool());
    }
}

bool PieShowsNoData(const QPieSeries* series) {
    const auto slices = series->slices();
    return !slices.isEmpty() && slices.last()->property(kNoDataProperty).toBool();
}

void SetBars(QChart* chart, QStackedBarSeries* series, const QList<ChartValue>& bars) {
    series->clear();
    QStringList categories;
    double top = 1;
    for (qsizetype i = 0; i < bars.size(); ++i) {
        categories << bars[i].label;
        auto* set = new QBarSet(bars[i].label);
        for (qsizetype j = 0; j < bars.size(); ++j) *set << (j == i ? bars[i].value : 0.0);
        set->setColor(bars[i].color);
        series->append(set);
        top = std::max(top, bars[i].value);
    }
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    if (!chart->series().contains(series)) chart->addSeries(series);
    auto* x = axisOf<QBarCategoryAxis>(chart, Qt::AlignBottom, series);
    x->setCategories(categories);
    auto* y = axisOf<QValueAxis>(chart, Qt::AlignLeft, series);
    // Whole goals and matches: ticks on whole numbers from 0.
    const int ceiling = int(std::ceil(top * 1.1));
    const int step = std::max(1, (ceiling + 7) / 8);
    const int last = (ceiling + step - 1) / step * step;
    y->setRange(0, last);
    y->setTickCount(last / step + 1);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->legend()->setVisible(false);
}

void SetLinePoints(QChart* chart, QLineSeries* series, const QList<ChartPoint>& points, double xMin,
                   double xMax, double yMin, double yMax, bool reverseY) {
    series->clear();
    series->clearPointsConfiguration();
    for (const ChartPoint& p : points) series->append(p.x, p.y);
    if (!points.isEmpty()) series->setColor(points.first().color);
    series->setPointsVisible(true);
    series->setMarkerSize(7);
    for (qsizetype i = 0; i < points.size(); ++i)
        series->setPointConfiguration(int(i), QXYSeries::PointConfiguration::Color, points[i].color);
    if (!chart->series().contains(series)) chart->addSeries(series);
    auto* x = axisOf<QValueAxis>(chart, Qt::AlignBottom, series);
    x->setRange(xMin, xMax);
    wholeTicks(x, xMin, xMax);
    auto* y = axisOf<QValueAxis>(chart, Qt::AlignLeft, series);
    y->setRange(yMin, yMax);
    y->setReverse(reverseY);
    wholeTicks(y, yMin, yMax);
    chart->legend()->setVisible(false);
}

void PrepareReportChart(QChartView* view) {
    view->setRenderHint(QPainter::Antialiasing);
    if (QChart* chart = view->chart()) {
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->setBackgroundBrush(Qt::white);
        chart->setDropShadowEnabled(false);
    }
}

QSize ChartImageSize(QChartView* view) {
    QWidget* window = view->window();
    if (!window->isVisible()) {
        for (QWidget* w = view; w; w = w->parentWidget())
            if (w->layout()) w->layout()->activate();
    }
    QSize size = view->size();
    if (size.width() < 50 || size.height() < 50) size = kDefaultChartImageSize;
    return size;
}

void RenderChart(QChart* chart, QPainter& painter, const QRectF& target, qreal scale) {
    if (scale <= 0) scale = 1;
    QGraphicsScene temporary;
    QGraphicsScene* scene = chart->scene();
    if (!scene) {
        scene = &temporary;
        scene->addItem(chart);
    }
    const QRectF oldGeometry = chart->geometry();
    const QSizeF logical = target.size() / scale;
    chart->setGeometry(QRectF(oldGeometry.topLeft(), logical));
    layOut(chart);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    scene->render(&painter, target, QRectF(chart->scenePos(), logical), Qt::IgnoreAspectRatio);
    painter.restore();
    chart->setGeometry(oldGeometry);
    layOut(chart);
    if (scene == &temporary) scene->removeItem(chart);
}

QImage ChartImage(QChartView* view) {
    QChart* chart = view->chart();
    const QSize size = ChartImageSize(view);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!chart) return image;
    QPainter painter(&image);
    RenderChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(size)), 1.0);
    painter.end();
    return image;
}

}  // namespace app
