#include "app/shell/report_columns.h"

namespace app {

QString ColumnText(const QStringList& row, const ReportColumn& column) {
    return column.column >= 0 && column.column < row.size() ? row[column.column] : QString();
}

void WriteHeaderCells(HtmlPageWriter& writer, const ReportColumns& columns, HeaderCellStyle style) {
    for (const ReportColumn& c : columns)
        writer.HeaderCell(c.align == CellAlign::None ? 0 : c.pageWidth, c.title, style);
    writer.HeaderRowEnd();
}

QList<HtmlCell> DataCells(const ReportColumns& columns, const QStringList& row) {
    QList<HtmlCell> cells;
    for (const ReportColumn& c : columns)
        cells.append({ColumnText(row, c), c.align, c.cellWidth, c.trim || c.align != CellAlign::None});
    return cells;
}

}  // namespace app
