// Every recorded meeting of two teams over all championships and seasons: only those with team 1 at home
// ("same configuration"), or those and the return matches. Results are read through PointsOfResult, so
// a forfeit is a win of the side it is awarded to and "AU" goes by the goals.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/reports/standings_report.h"
#include "app/data/league_reading.h"
#include "app/pages/report_columns.h"

namespace xb {
class TXbVFile;
}

namespace app {

struct HeadToHeadRow {
    int year = 0, championship = 0, matchday = 0, home = 0, away = 0, homeGoals = 0, awayGoals = 0;
    QString championshipName;
};

struct HeadToHeadResult {
    std::vector<HeadToHeadRow> rows;  // by season, championship number, matchday
    int wins1 = 0, wins2 = 0, draws = 0, goals1 = 0, goals2 = 0;
};

// The meetings of team 1 at home against team 2, and with bothDirections those of team 2 at home too.
// Each meeting once (a team against itself is one direction). Nothing when a team is below 1.
HeadToHeadResult ComputeHeadToHead(int team1, int team2, bool bothDirections);

// The work table `vtabmatch` of one computation (annee, nuchamp, nujournee, nueq1, nueq2, b1, b2, ctri):
// created and opened by the constructor, freed by the destructor.
class HeadToHeadTable {
public:
    HeadToHeadTable();
    ~HeadToHeadTable();
    HeadToHeadTable(const HeadToHeadTable&) = delete;
    HeadToHeadTable& operator=(const HeadToHeadTable&) = delete;
    void AddHeadToHeadRow(int year, int championship, int matchday, int home, int away, int homeGoals,
                          int awayGoals);
    // The rows sorted by ctri (season, championship, matchday), with their championship names.
    std::vector<HeadToHeadRow> SortedRows(LeagueReading& reading);
    // The key the table sorts by: the sort field's value, "NO KEY" without a sort field.
    std::string XbVFile1KeyMaker();

private:
    std::unique_ptr<xb::TXbVFile> m_table;
    std::string m_sortField;
    int m_rows = 0;
};

// The grid's 7 columns of each meeting: season "2008:2009", championship name, matchday, home name,
// home goals, away goals, away name.
inline constexpr int kHeadToHeadColumns = 7;
GridRows HeadToHeadGridRows(const HeadToHeadResult& result, int team1, const QString& name1,
                            const QString& name2);

// The columns the printout and the page show of the grid's rows: season, championship, matchday, home
// name, both goals, away name.
ReportColumns HeadToHeadColumns();

// The page of the grid's rows; sameConfiguration picks the list's caption.
QByteArray ExportHeadToHeadHtml(const GridRows& rows, const QString& name1, const QString& name2,
                                bool sameConfiguration, const QStringList& imageNames);

}  // namespace app
