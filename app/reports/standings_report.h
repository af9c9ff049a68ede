// What the standings window shows, prints and exports, as text cells: the grid's data rows (standings
// or scorers) and the HTML page made from the rows the grid holds (after any hand reordering).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/reports/scorers.h"
#include "app/reports/standings.h"
#include "app/pages/report_columns.h"

namespace app {

// Data rows of a grid, each with the grid's columns.
using GridRows = std::vector<QStringList>;

inline constexpr int kStandingsColumns = 11;
inline constexpr int kScorersColumns = 4;

// Standings rows: 0 team number, 1 position, 2 name, 3 points, 4 played, then wins (types 0, 3), draws
// (0, 4), defeats (0, 5), goals for (0, 1), goals against (0, 2), difference (0); a column the type does
// not show is empty.
GridRows StandingsGridRows(const StandingsResult& result, int sortType);
// Scorers rows: 0 player number, 1 name, 2 team name, 3 goals.
GridRows ScorersGridRows(const std::vector<ScorerRow>& scorers);

// The goals-for and goals-against titles: the parameter labels, or texts 135 and 136 when empty.
QString GoalsForTitle();
QString GoalsAgainstTitle();

// The selection the page and the printout name.
struct StandingsPageInfo {
    QString championshipName;
    QString seasonText;
    QString firstDay, lastDay;
    QString sideText, orderText;
};
// What the list shows, one line each under the title of the page and of the printout: championship,
// season, matchday range, then type and order.
QStringList StandingsInfoTexts(const StandingsPageInfo& info);

// The columns the printout and the page show of the grid's rows: the standings' (the draws left out
// while the parameters hide them) or the scorers'.
ReportColumns StandingsColumns(bool scorers);

// The page of the grid's rows (standings when they have 11 columns, scorers otherwise).
QByteArray ExportStandingsHtml(const GridRows& rows, const StandingsPageInfo& info);

}  // namespace app
