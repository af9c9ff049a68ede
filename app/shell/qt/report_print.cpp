#include "app/shell/qt/report_print.h"

#include <QChart>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

#include "app/settings/lang_texts.h"
#include "app/shell/qt/report_charts.h"
#include "platform/ui.h"

namespace app {

namespace {

const char* kFontFamily = "Times New Roman";
constexpr int kTop = 50;

ReportPrinterFactory& printerFactory() {
    static ReportPrinterFactory factory;
    return factory;
}

void tell(Text text) {
    xb::platform::CurrentUi().messageBox(GetLangText(text).toStdString(), "PELMORAD32",
                                         xb::platform::kMbOk | xb::platform::kMbIconStop);
}

}  // namespace

PrintLayout::PrintLayout(QPagedPaintDevice* device) : m_device(device) {
    if (!m_painter.begin(device)) return;
    m_pageWidth = device->width();
    m_pageHeight = device->height();
    QFont font(QString::fromLatin1(kFontFamily), 10);
    m_painter.setFont(font);
    m_painter.setPen(Qt::black);
    m_lineHeight = TextHeight(QStringLiteral("WWWW")) + 10;
    m_unit = TextWidth(QStringLiteral("W"));
}

PrintLayout::~PrintLayout() {
    End();
}

void PrintLayout::End() {
    if (m_painter.isActive()) m_painter.end();
}

int PrintLayout::TextWidth(const QString& text) const {
    return m_painter.fontMetrics().horizontalAdvance(text);
}

int PrintLayout::TextHeight(const QString&) const {
    return m_painter.fontMetrics().height();
}

void PrintLayout::Title(const QString& title) {
    if (!isActive()) return;
    m_title = title;
    m_painter.setFont(QFont(QString::fromLatin1(kFontFamily), 24));
    TextAt((m_pageWidth - TextWidth(title)) / 2, kTop, title);
    y = kTop + TextHeight(QStringLiteral("LISTE"));
    m_painter.setFont(QFont(QString::fromLatin1(kFontFamily), 10));
    m_lineHeight = TextHeight(QStringLiteral("WWWW")) + 10;
    m_unit = TextWidth(QStringLiteral("W"));
}

void PrintLayout::TextAt(int x, int top, const QString& text) {
    if (!isActive()) return;
    m_painter.drawText(QPoint(x, top + m_painter.fontMetrics().ascent()), text);
}

void PrintLayout::Text(int x, const QString& text) {
    EnsureRoom(m_lineHeight);
    TextAt(x, y, text);
}

void PrintLayout::Columns(const ReportColumns& columns, const std::vector<QStringList>& rows) {
    // Each column at its place, or further right when the column before holds a longer text: names
    // are printed whole, never over the next column.
    QList<int> xs;
    int end = 0;
    for (const ReportColumn& c : columns) {
        const int x = std::max(c.printUnits * m_unit + c.printOffset, xs.isEmpty() ? 0 : end + m_unit);
        int widest = TextWidth(c.printedTitle());
        for (const QStringList& row : rows)
            widest = std::max(widest, TextWidth(ColumnText(row, c).trimmed()));
        xs.append(x);
        end = x + widest;
    }
    QList<QPair<int, QString>> titles;
    for (qsizetype i = 0; i < columns.size(); ++i) titles.append({xs[i], columns[i].printedTitle()});
    Line(titles);
    Skip(1);
    for (const QStringList& row : rows) {
        QList<QPair<int, QString>> cells;
        for (qsizetype i = 0; i < columns.size(); ++i)
            cells.append({xs[i], ColumnText(row, columns[i]).trimmed()});
        Line(cells);
    }
}

void PrintLayout::Line(const QList<QPair<int, QString>>& cells) {
    EnsureRoom(m_lineHeight);
    for (const auto& cell : cells) TextAt(cell.first, y, cell.second);
    y += m_lineHeight;
}

void PrintLayout::EnsureRoom(int height) {
    if (y + height > m_pageHeight && y > kTop) NewPage();
}

void PrintLayout::Heading(const QStringList& lines) {
    m_heading = lines;
    for (const QString& line : lines) Line({{10, line}});
}

void PrintLayout::NewPage() {
    if (!isActive()) return;
    m_device->newPage();
    ++m_pages;
    y = kTop;
    if (m_heading.isEmpty()) return;
    // A page read alone says what it shows: the report's title and its heading, in bold, then a blank line.
    const QFont plain = m_painter.font();
    QFont bold = plain;
    bold.setBold(true);
    m_painter.setFont(bold);
    for (const QString& line : QStringList{m_title} + m_heading) {
        if (!line.isEmpty()) TextAt(10, y, line);
        y += m_lineHeight;
    }
    m_painter.setFont(plain);
    y += m_lineHeight;
}

void PrintLayout::Chart(QChart* chart, const QRect& rect) {
    if (!isActive() || !chart) return;
    PrintChart(chart, m_painter, QRectF(rect), m_device->logicalDpiX() / 96.0);
}

int PrintLayout::Cm(qreal cm) const {
    return static_cast<int>(cm * m_device->logicalDpiX() / 2.54);
}

void PrintLayout::ChartRow(const QList<QChart*>& charts, qreal heightCm, const QString& caption) {
    if (!isActive() || charts.isEmpty()) return;
    const int height = Cm(heightCm), gap = Cm(0.5), left = Cm(0.5);
    EnsureRoom((caption.isEmpty() ? 0 : m_lineHeight) + height);
    if (!caption.isEmpty()) {
        // The caption sits right above the charts it names, in the text's bold.
        QFont bold = m_painter.font();
        const QFont plain = bold;
        bold.setBold(true);
        m_painter.setFont(bold);
        TextAt(left, y, caption);
        m_painter.setFont(plain);
        y += m_lineHeight;
    }
    const int n = static_cast<int>(charts.size());
    const int width = (m_pageWidth - 2 * left - (n - 1) * gap) / n;
    const qreal dpiScale = m_device->logicalDpiX() / 96.0;
    const bool sideBySide = std::all_of(charts.begin(), charts.end(), [&](QChart* c) {
        return ChartPrintsWhole(c, QSizeF(width, height), dpiScale);
    });
    if (!sideBySide && n > 1) {
        for (int i = 0; i < n; ++i) {
            EnsureRoom(height);
            Chart(charts[i], QRect(left, y, m_pageWidth - 2 * left, height));
            y += height + m_lineHeight / 2;
        }
        return;
    }
    for (int i = 0; i < n; ++i) Chart(charts[i], QRect(left + i * (width + gap), y, width, height));
    y += height + m_lineHeight / 2;
}

ReportPrinterFactory SetReportPrinterFactory(ReportPrinterFactory factory) {
    ReportPrinterFactory previous = std::move(printerFactory());
    printerFactory() = std::move(factory);
    return previous;
}

std::unique_ptr<QPrinter> ReportPrinter() {
    if (printerFactory()) return printerFactory()();
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        tell(Text::NoPrinter);
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

bool PrintReport(const std::function<void(PrintLayout&)>& body) {
    std::unique_ptr<QPrinter> printer = ReportPrinter();
    if (!printer) return false;
    PrintLayout layout(printer.get());
    if (!layout.isActive()) {
        tell(Text::PrinterDidNotStart);
        return false;
    }
    body(layout);
    layout.End();
    return true;
}

}  // namespace app
