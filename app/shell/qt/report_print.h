// The printed page of every report: a title in "Times New Roman" 24 centred at y = 50, then lines of
// size-10 text at x positions counted in the width of "W" (w) and advancing by L (the height of "WWWW"
// + 10), and charts drawn into rectangles. Coordinates are device pixels of the printable area; a
// text's (x, y) is its top-left corner. Every line and chart is tested against the page height before it
// is drawn: what does not fit goes on a new page at y = 50, so nothing is drawn below the printable
// area and no row is lost.
#pragma once

#include <QList>
#include <QPainter>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "app/pages/report_columns.h"

class QChart;
class QPagedPaintDevice;
class QPrinter;

namespace app {

class PrintLayout {
public:
    // Starts the document on device (printing begins at once); check isActive().
    explicit PrintLayout(QPagedPaintDevice* device);
    ~PrintLayout();

    bool isActive() const { return m_painter.isActive(); }
    int pageWidth() const { return m_pageWidth; }
    int pageHeight() const { return m_pageHeight; }
    int pageCount() const { return m_pages; }

    // The title centred at y = 50 in "Times New Roman" 24; then y := 50 + the height of "LISTE" and the
    // text font becomes size 10, which fixes L and w.
    void Title(const QString& title);
    int L() const { return m_lineHeight; }
    int w() const { return m_unit; }
    // Where the next line goes.
    int y = 50;

    // Text at (x, y) as its top-left corner, in the current font; no test against the page.
    void TextAt(int x, int top, const QString& text);
    // Text at x on the current line when a line fits (a new page first when not); y does not move.
    void Text(int x, const QString& text);
    // One line of texts at their x positions, on a new page when y + L passes the page height; then
    // y += L.
    void Line(const QList<QPair<int, QString>>& cells);
    // The columns' titles on one line, a blank line, then one line per row, each column at its x.
    void Columns(const ReportColumns& columns, const std::vector<QStringList>& rows);
    // Moves y down by n lines.
    void Skip(int lines) { y += lines * m_lineHeight; }
    // The lines that say what the report shows (championship, season, team, matchday), printed now one
    // under the other, and at the top of every later page under the report's title.
    void Heading(const QStringList& lines);
    // Starts a new page at y = 50 when something of the given height does not fit below y.
    void EnsureRoom(int height);
    // A new page, headed as above once the report has a heading.
    void NewPage();
    // Draws the chart into the rectangle (device pixels) as it prints (PrintChart: texts and pies of a
    // readable size).
    void Chart(QChart* chart, const QRect& rect);
    // One row of charts side by side across the page, each `heightCm` tall, under a caption line when one
    // is given: on a new page when the caption and the row do not fit below y. Then y passes the row.
    // Charts whose texts would print smaller side by side go one to a row, each across the page.
    void ChartRow(const QList<QChart*>& charts, qreal heightCm, const QString& caption = QString());
    // Device pixels of a length in centimetres.
    int Cm(qreal cm) const;
    // The text width and height in the current font.
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;

    QPainter& painter() { return m_painter; }
    // Ends the document (the destructor ends it too).
    void End();

private:
    QPagedPaintDevice* m_device;
    QPainter m_painter;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    int m_lineHeight = 0;
    int m_unit = 0;
    int m_pages = 1;
    QString m_title;
    QStringList m_heading;
};

// The printer reports print on: the default printer (no dialog), or what tests installed. Null, after a
// message box saying so, when there is no printer.
std::unique_ptr<QPrinter> ReportPrinter();
// Replaces the default printer (tests give a PDF printer); an empty function restores it.
using ReportPrinterFactory = std::function<std::unique_ptr<QPrinter>()>;
ReportPrinterFactory SetReportPrinterFactory(ReportPrinterFactory factory);

// Prints one report: the printer of ReportPrinter, the layout, body, end of document. False, after a
// message box, when there is no printer or it cannot start.
bool PrintReport(const std::function<void(PrintLayout&)>& body);

}  // namespace app
