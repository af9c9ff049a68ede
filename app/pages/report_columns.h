// One description of a report's columns, read by its printout and by its page alike: which column of the
// grid's rows each shows, under which title, where it is printed and how its page cell is written. A
// column left out of the description (the draws when the parameters hide them) is left out of both.
//
// On a page, a column of numbers keeps its page width as the least it takes and the alignment declared;
// every other column (names, a season "2014 - 2015", whatever its alignment) takes no width and is as wide
// as its longest text. No cell of any column is wrapped.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/pages/html_page.h"

namespace app {

struct ReportColumn {
    int column = 0;      // index in the grid's rows
    QString title;       // header of the page and, unless printTitle is set, of the printout
    QString printTitle;  // a shorter title where the printed column is narrow
    int printUnits = 0;  // printed at x = printUnits * w + printOffset (w: the width of "W")
    int printOffset = 10;
    int pageWidth = 35;                 // width of the page's header cell; 0 writes none
    CellAlign align = CellAlign::None;  // Right or Center trim the text
    bool trim = false;
    int cellWidth = 0;  // width of the page's data cells; 0 writes none

    QString printedTitle() const { return printTitle.isEmpty() ? title : printTitle; }
};
using ReportColumns = QList<ReportColumn>;

// The text of the row's column; empty past the row's end.
QString ColumnText(const QStringList& row, const ReportColumn& column);
// True for a text a page cell can show at a width of its own: empty, or a whole number with its sign.
bool IsPageNumber(const QString& text);
// The columns as a page writes them for these rows: a column of text (unaligned, or any of its cells not a
// number) loses its widths, so that it is as wide as its longest text; so does every column of an empty
// list. Every page table goes through it.
ReportColumns PageColumns(ReportColumns columns, const std::vector<QStringList>& rows);
// The page's header cells of the columns and the end of the header row.
void WriteHeaderCells(HtmlPageWriter& writer, const ReportColumns& columns,
                      HeaderCellStyle style = HeaderCellStyle::WhiteOnBlue);
// The page's data cells of one row.
QList<HtmlCell> DataCells(const ReportColumns& columns, const QStringList& row);

}  // namespace app
