// What the team-matches, team-information and head-to-head windows share: their grids' cell drawing
// and the digits-only season box.
#pragma once

#include <QObject>
#include <QRect>

class QChart;
#include <initializer_list>

#include "app/reports/standings_report.h"

namespace app {

class ReportGrid;
class PrintLayout;

// Data rows white (odd) and #E1FFF4 (even), fixed cells #C7B9C8; the columns listed bold in data rows;
// text in black 2 pixels in.
void SetStripedCells(ReportGrid* grid, std::initializer_list<int> boldColumns = {});

// Sets the grid's columns (widths scaled to the screen font) and titles, RowCount 2 with row 1 empty.
void SetupReportGrid(ReportGrid* grid, const QList<int>& widths, const QStringList& titles);

// Shows rows from row 1 (one empty row when there are none).
void ShowGridRows(ReportGrid* grid, const GridRows& rows);
// The grid's data rows as they stand.
GridRows GridDataRows(const ReportGrid* grid);

}  // namespace app
