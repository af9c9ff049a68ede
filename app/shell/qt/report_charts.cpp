#include "app/shell/qt/report_charts.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/settings/lang_texts.h"

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

// A chart is laid out in a scene: its own view's, or a temporary one for as long as this lives.
class ChartInScene {
public:
    explicit ChartInScene(QChart* chart) : m_chart(chart) {
        if (!chart->scene()) m_temporary.addItem(chart);
    }
    ~ChartInScene() {
        if (m_chart->scene() == &m_temporary) m_temporary.removeItem(m_chart);
    }
    QGraphicsScene* scene() const { return m_chart->scene(); }

private:
    QChart* m_chart;
    QGraphicsScene m_temporary;
};

void collectTexts(const QGraphicsItem* item, const QRectF& area, QList<ShownChartText>& out) {
    for (const QGraphicsItem* child : item->childItems()) {
        if (!child->isVisible()) continue;
        if (auto* text = dynamic_cast<const QGraphicsTextItem*>(child)) {
            const QString plain = text->toPlainText();
            if (!plain.trimmed().isEmpty()) {
                const bool shortened = plain.contains(QLatin1String("...")) || plain.contains(QChar(0x2026));
                out.append({plain, !shortened && area.contains(text->sceneBoundingRect())});
            }
        }
        collectTexts(child, area, out);
    }
}

bool allWhole(QChart* chart) {
    const QList<ShownChartText> texts = ShownChartTexts(chart);
    return std::all_of(texts.begin(), texts.end(), [](const ShownChartText& t) { return t.whole; });
}

}  // namespace

QString ChartText(const QString& text) {
    return text.toHtmlEscaped();
}

QString ChartPlainText(const QString& label) {
    return QTextDocumentFragment::fromHtml(label).toPlainText();
}

QList<ShownChartText> ShownChartTexts(QChart* chart) {
    layOut(chart);
    QList<ShownChartText> texts;
    // Half a pixel of rounding either way is not a cut.
    const QRectF area = chart->mapRectToScene(chart->rect()).adjusted(-1, -1, 1, 1);
    collectTexts(chart, area, texts);
    // Texts the chart means to show but left out where room lacked (category names that would overlap,
    // legend entries): each must be among those shown whole.
    QStringList meant;
    for (QAbstractAxis* axis : chart->axes())
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis); categories && axis->labelsVisible())
            for (const QString& c : categories->categories()) meant << ChartPlainText(c);
    if (chart->legend()->isVisible())
        for (QLegendMarker* marker : chart->legend()->markers())
            if (marker->isVisible()) meant << ChartPlainText(marker->label());
    for (QAbstractSeries* series : chart->series())
        if (auto* pie = qobject_cast<QPieSeries*>(series))
            for (QPieSlice* slice : pie->slices())
                if (slice->isLabelVisible()) meant << ChartPlainText(slice->label());
    for (const QString& text : meant) {
        // A name left empty (no team chosen) has nothing to read, and nothing to cut.
        if (text.trimmed().isEmpty()) continue;
        const bool shown = std::any_of(texts.begin(), texts.end(),
                                       [&](const ShownChartText& t) { return t.whole && t.text == text; });
        if (!shown) texts.append({text, false});
    }
    return texts;
}

QSizeF WholeChartSize(QChart* chart, QSizeF size, qreal widest) {
    if (!chart) return size;
    ChartInScene inScene(chart);
    const QRectF old = chart->geometry();
    widest = std::max(widest, size.width());
    for (int attempt = 0; attempt < 16; ++attempt) {
        chart->setGeometry(QRectF(old.topLeft(), size));
        layOut(chart);
        if (allWhole(chart)) break;
        // Some texts never read whole (a label without a name is cut to its ellipsis at any size): the
        // chart grows no further than it may.
        if (size.width() >= widest) break;
        size.rwidth() = std::min(size.width() * 1.15, widest);
        if (attempt % 2) size.rheight() *= 1.08;
    }
    chart->setGeometry(old);
    layOut(chart);
    return size;
}

void KeepChartTextsWhole(QChartView* view) {
    const qreal height = std::clamp<qreal>(view->height(), 180, 400);
    // The screen's width at the most: past that, the window gives way and a text that still lacks room
    // is shortened.
    const qreal widest = view->screen() ? view->screen()->availableGeometry().width() : 1280;
    const QSizeF need = WholeChartSize(view->chart(), QSizeF(200, height), widest);
    view->setMinimumWidth(static_cast<int>(std::ceil(need.width())));
}

void SetPieSlices(QPieSeries* series, const QList<ChartValue>& slices) {
    series->clear();
    double total = 0;
    for (const ChartValue& v : slices) total += std::max(v.value, 0.0);
    const bool empty = !(total > 0);
    const auto filled = std::count_if(slices.begin(), slices.end(), [](const ChartValue& v) { return v.value > 0; });
    for (const ChartValue& v : slices) {
        const QString shown = v.shown.isEmpty() ? valueText(v.value) : v.shown;
        auto* slice = new QPieSlice(ChartText(v.label + QLatin1Char(' ') + shown), std::max(v.value, 0.0));
        slice->setColor(v.color);
        // White borders part the slices; a slice without area, or the one slice of a full pie, has nothing
        // to part and would draw a white line across the pie.
        if (v.value > 0 && filled > 1)
            slice->setBorderColor(Qt::white);
        else
            slice->setPen(v.value > 0 ? QPen(v.color) : QPen(Qt::NoPen));
        slice->setLabelVisible(!empty && v.value > 0);
        series->append(slice);
    }
    if (empty) {
        auto* none = new QPieSlice(ChartText(GetLangText(Text::NoData)), 1);
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
        categories << ChartText(bars[i].label);
        auto* set = new QBarSet(ChartText(bars[i].label));
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
    x->setTruncateLabels(false);
    y->setTruncateLabels(false);
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
    // Half a step of room beyond the first and last values: a marker on the plot's edge would be cut in half.
    auto* x = axisOf<QValueAxis>(chart, Qt::AlignBottom, series);
    x->setRange(xMin - 0.5, xMax + 0.5);
    wholeTicks(x, xMin, xMax);
    auto* y = axisOf<QValueAxis>(chart, Qt::AlignLeft, series);
    y->setRange(yMin - 0.5, yMax + 0.5);
    y->setReverse(reverseY);
    wholeTicks(y, yMin, yMax);
    x->setTruncateLabels(false);
    y->setTruncateLabels(false);
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
    const QSize size = view->size().expandedTo(kDefaultChartImageSize);
    return WholeChartSize(view->chart(), QSizeF(size)).toSize();
}

void RenderChart(QChart* chart, QPainter& painter, const QRectF& target, qreal scale) {
    if (scale <= 0) scale = 1;
    ChartInScene inScene(chart);
    const QRectF oldGeometry = chart->geometry();
    QSizeF logical = target.size() / scale;
    // Texts that would be cut at this size: lay the chart out larger and draw it smaller.
    const QSizeF whole = WholeChartSize(chart, logical);
    logical *= std::max(whole.width() / logical.width(), whole.height() / logical.height());
    chart->setGeometry(QRectF(oldGeometry.topLeft(), logical));
    layOut(chart);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    inScene.scene()->render(&painter, target, QRectF(chart->scenePos(), logical), Qt::IgnoreAspectRatio);
    painter.restore();
    chart->setGeometry(oldGeometry);
    layOut(chart);
}

namespace {

// What printing changes in a chart, kept to give it back.
class PrintedChartStyle {
public:
    PrintedChartStyle(QChart* chart, qreal points) : m_chart(chart) {
        m_titleFont = chart->titleFont();
        chart->setTitleFont(atLeast(m_titleFont, points + 1, true));
        m_legendFont = chart->legend()->font();
        chart->legend()->setFont(atLeast(m_legendFont, points, false));
        m_legendAlignment = chart->legend()->alignment();
        for (QAbstractAxis* axis : chart->axes()) {
            m_axisFonts.append({axis, axis->labelsFont()});
            axis->setLabelsFont(atLeast(axis->labelsFont(), points, false));
        }
        bool pie = false;
        for (QAbstractSeries* series : chart->series()) {
            if (auto* bars = qobject_cast<QAbstractBarSeries*>(series))
                for (QBarSet* set : bars->barSets()) {
                    m_barFonts.append({set, set->labelFont()});
                    set->setLabelFont(atLeast(set->labelFont(), points, false));
                }
            auto* slices = qobject_cast<QPieSeries*>(series);
            if (!slices) continue;
            pie = true;
            m_pieSizes.append({slices, slices->pieSize()});
            slices->setPieSize(0.95);
            for (QPieSlice* slice : slices->slices()) {
                m_sliceLabels.append({slice, slice->isLabelVisible()});
                m_sliceFonts.append({slice, slice->labelFont()});
                slice->setLabelFont(atLeast(slice->labelFont(), points, false));
                // The legend names every slice with its value; the "no data" slice keeps its label inside.
                if (!slice->property(kNoDataProperty).toBool()) slice->setLabelVisible(false);
            }
        }
        if (pie) chart->legend()->setAlignment(Qt::AlignBottom);
    }
    ~PrintedChartStyle() {
        m_chart->setTitleFont(m_titleFont);
        m_chart->legend()->setFont(m_legendFont);
        m_chart->legend()->setAlignment(m_legendAlignment);
        for (const auto& [axis, font] : m_axisFonts) axis->setLabelsFont(font);
        for (const auto& [set, font] : m_barFonts) set->setLabelFont(font);
        for (const auto& [series, size] : m_pieSizes) series->setPieSize(size);
        for (const auto& [slice, visible] : m_sliceLabels) slice->setLabelVisible(visible);
        for (const auto& [slice, font] : m_sliceFonts) slice->setLabelFont(font);
        layOut(m_chart);
    }

private:
    static QFont atLeast(QFont font, qreal points, bool bold) {
        if (font.pointSizeF() <= 0 || font.pointSizeF() < points) font.setPointSizeF(points);
        if (bold) font.setBold(true);
        return font;
    }

    QChart* m_chart;
    QFont m_titleFont, m_legendFont;
    Qt::Alignment m_legendAlignment;
    QList<QPair<QAbstractAxis*, QFont>> m_axisFonts;
    QList<QPair<QBarSet*, QFont>> m_barFonts;
    QList<QPair<QPieSeries*, qreal>> m_pieSizes;
    QList<QPair<QPieSlice*, bool>> m_sliceLabels;
    QList<QPair<QPieSlice*, QFont>> m_sliceFonts;
};

}  // namespace

void PrintChart(QChart* chart, QPainter& painter, const QRectF& target, qreal dpiScale) {
    if (!chart || dpiScale <= 0) return;
    PrintedChartStyle style(chart, kPrintedChartTextPoints);
    RenderChart(chart, painter, target, dpiScale);
}

bool ChartPrintsWhole(QChart* chart, const QSizeF& target, qreal dpiScale) {
    if (!chart || dpiScale <= 0) return true;
    PrintedChartStyle style(chart, kPrintedChartTextPoints);
    ChartInScene inScene(chart);
    const QSizeF logical = target / dpiScale;
    const QSizeF whole = WholeChartSize(chart, logical);
    return whole.width() <= logical.width() * 1.001 && whole.height() <= logical.height() * 1.001;
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
