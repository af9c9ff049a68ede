#include "app/reports/qt/team_report_grids.h"

#include <QPainter>
#include <algorithm>

#include "app/shell/qt/gradient.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"

namespace app {

void SetStripedCells(ReportGrid* grid, std::initializer_list<int> boldColumns) {
    const QList<int> bold(boldColumns);
    grid->SetDrawCell([grid, bold](QPainter& p, int col, int row, const QRect& rect, GridCellState st) {
        const QColor fill = st.fixed  ? ColorOfBgr(0xC8B9C7)  // #C7B9C8
                            : row % 2 ? Qt::white
                                      : ColorOfBgr(0xF4FFE1);  // #E1FFF4
        p.fillRect(rect, fill);
        if (st.selected && !st.fixed) p.fillRect(rect, QColor(0, 0, 0x80, 40));
        ReportGrid::DrawCellText(p, rect, grid->Cells(col, row), !st.fixed && bold.contains(col));
    });
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
}

void SetupReportGrid(ReportGrid* grid, const QList<int>& widths, const QStringList& titles) {
    // The layout's widths are for a narrower screen font: scale them so that names fit.
    const double scale = std::max(1.0, grid->fontMetrics().averageCharWidth() / 5.0);
    grid->SetColCount(static_cast<int>(widths.size()));
    grid->SetRowCount(2);
    for (int c = 0; c < widths.size(); ++c) {
        grid->SetColWidth(c, static_cast<int>(widths[c] * scale));
        grid->SetCells(c, 0, c < titles.size() ? titles[c] : QString());
    }
    grid->gridModel()->ClearRow(1);
    grid->FitColumnsToContents();
}

void ShowGridRows(ReportGrid* grid, const GridRows& rows) {
    grid->SetRowCount(std::max(2, static_cast<int>(rows.size()) + 1));
    grid->gridModel()->ClearRow(1);
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) grid->SetCells(c, static_cast<int>(r) + 1, rows[r][c]);
    grid->FitColumnsToContents();
}

GridRows GridDataRows(const ReportGrid* grid) {
    GridRows rows;
    for (int r = 1; r < grid->RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->ColCount(); ++c) row << grid->Cells(c, r);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace app
