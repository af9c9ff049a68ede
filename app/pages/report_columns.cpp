#include "app/pages/report_columns.h"

#include <QRegularExpression>
#include <algorithm>

namespace app {

QString ColumnText(const QStringList& row, const ReportColumn& column) {
    return column.column >= 0 && column.column < row.size() ? row[column.column] : QString();
}

bool IsPageNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]*$"));
    return number.match(text.trimmed()).hasMatch();
}

ReportColumns PageColumns(ReportColumns columns, const std::vector<QStringList>& rows) {
    for (ReportColumn& c : columns) {
        // A column is one of numbers only when its rows show it: an empty list keeps no width at all.
        const bool text = c.align == CellAlign::None || rows.empty() ||
                          std::any_of(rows.begin(), rows.end(),
                                      [&c](const QStringList& row) { return !IsPageNumber(ColumnText(row, c)); });
        if (!text) continue;
        c.pageWidth = 0;
        c.cellWidth = 0;
    }
    return columns;
}

void WriteHeaderCells(HtmlPageWriter& writer, const ReportColumns& columns, HeaderCellStyle style) {
    for (const ReportColumn& c : columns)
        writer.HeaderCell(c.align == CellAlign::None ? 0 : c.pageWidth, c.title, style);
    writer.HeaderRowEnd();
}

QList<HtmlCell> DataCells(const ReportColumns& columns, const QStringList& row) {
    QList<HtmlCell> cells;
    for (const ReportColumn& c : columns)
        cells.append({ColumnText(row, c), c.align, c.cellWidth, c.trim || c.align != CellAlign::None,
                      c.align == CellAlign::None || c.pageWidth == 0});
    return cells;
}

}  // namespace app
