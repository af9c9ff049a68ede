// The charts of the report windows (Qt Charts): filling pie, bar and line series the way the reports
// show them, and rendering a chart into an image (for the pages) or into a rectangle of a printed page.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

class QChart;
class QChartView;
class QPieSeries;
class QStackedBarSeries;
class QLineSeries;

namespace app {

// One slice, bar or point with its own colour.
struct ChartValue {
    QString label;
    double value = 0;
    QColor color;
    QString shown;  // the value as it reads ("36.9%"); empty: the number itself
};

// Every text of a chart (titles, axis labels, legend entries, slice labels) is read by Qt Charts as
// rich text. ChartText is what to give it for a text that must read exactly as typed ("Lille <b>&OSC"
// neither bold nor cut at "<"); ChartPlainText is what such a label reads on screen.
QString ChartText(const QString& text);
QString ChartPlainText(const QString& label);

// A text the chart shows as laid out now: what it reads, and whether it reads whole (not shortened with
// an ellipsis, and inside the chart's area).
struct ShownChartText {
    QString text;
    bool whole = true;
};
QList<ShownChartText> ShownChartTexts(QChart* chart);
// The size, from `size` on and wider (taller when need be), at which every text of the chart reads
// whole, no wider than `widest`; `size` itself when it already does. The chart's own geometry is left as
// it was.
QSizeF WholeChartSize(QChart* chart, QSizeF size, qreal widest = 4000);
// Keeps the view at least as wide as its chart needs for its texts to read whole; the report windows
// call it after each change of a chart's labels.
void KeepChartTextsWhole(QChartView* view);

// Replaces the series' slices, each labelled "label value" in its colour. When the values add up to 0
// the slices are kept with their labels hidden and one grey slice saying there is no data (in the
// user's language) is shown instead
// (it is the series' last slice), so that nothing reads "nan".
void SetPieSlices(QPieSeries* series, const QList<ChartValue>& slices);
// True when the series shows the "no data" slice.
bool PieShowsNoData(const QPieSeries* series);

// Replaces the bars: one bar per value in its colour, its label on the category axis and its value
// above it; the value axis runs from 0 to at least 1 (creates the axes when the chart has none).
void SetBars(QChart* chart, QStackedBarSeries* series, const QList<ChartValue>& bars);

// One point of a line with the colour of its marker.
struct ChartPoint {
    double x = 0;
    double y = 0;
    QColor color;
};
// Replaces the points (markers shown, each in its colour) and sets the axes' ranges; reverseY puts the
// minimum at the top (a standings place, 1 on top). Creates the axes when the chart has none.
void SetLinePoints(QChart* chart, QLineSeries* series, const QList<ChartPoint>& points, double xMin,
                   double xMax, double yMin, double yMax, bool reverseY);

// Sets a report chart up: no animations (a chart is drawn into images and pages as it stands, and
// Qt Charts must not have its animation changed while series change), white background, no shadow,
// antialiased. The report windows call it once for each chart view, on the chart the view was built
// with: the view owns and deletes that one, whereas a view given another chart releases its first one
// to nobody.
void PrepareReportChart(QChartView* view);

// The size a chart's image gets: the view's size in its laid-out window (a window not shown yet is
// laid out first, so the size does not depend on it having been shown), at least kDefaultChartImageSize
// (a page of a tab widget never visited has no usable size), and wider when its texts need it.
inline constexpr QSize kDefaultChartImageSize{400, 300};
QSize ChartImageSize(QChartView* view);
// The chart rendered offscreen at ChartImageSize on white.
QImage ChartImage(QChartView* view);

// The least size of a printed chart's texts, in points, and the least width of a printed pie, in cm.
inline constexpr qreal kPrintedChartTextPoints = 8.5;
inline constexpr qreal kPrintedPieCm = 7.5;
// The height of a printed row of pies that gives them kPrintedPieCm beside their title and legend.
inline constexpr qreal kPrintedChartRowCm = 10.5;

// Draws the chart on paper at the printer's own scale, so that its texts print at their point size: every
// text at kPrintedChartTextPoints at the least, a pie as large as its plot allows with its values in the
// legend below it rather than around it. The chart is given back as it was. dpiScale is the printer's
// resolution over 96.
void PrintChart(QChart* chart, QPainter& painter, const QRectF& target, qreal dpiScale);
// True when the chart prints whole in a target of that size (device pixels): nothing of it drawn smaller.
bool ChartPrintsWhole(QChart* chart, const QSizeF& target, qreal dpiScale);

// Draws the chart into target of a painter: the chart is laid out for the rectangle at screen scale
// (target / scale) and drawn scaled, as vectors where the device keeps them (PDF). Where its texts would
// not read whole at that size it is laid out larger and drawn smaller. The chart's own size is restored
// afterwards.
void RenderChart(QChart* chart, QPainter& painter, const QRectF& target, qreal scale);

}  // namespace app
