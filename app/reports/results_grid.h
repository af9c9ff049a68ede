// The results grid of a championship season: one row and one column per team of the season, and in the
// cell of row A and column B the score of the match with A at home and B away. The window shows the
// cells, and the HTML page is made from the cells the window holds.
//
// What callers may rely on:
// - The teams are the season's team list (eqchamp, in its key order), each team once however often it
//   is listed, however many there are; a season without listed teams gives no team and no cell.
// - Every result code shows its recorded score alike. When the same home and away teams met more than
//   once in the season, the row read last in key order (matchday, then home team) is shown. A match with
//   a team the season does not list is not shown.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "app/reports/standings_report.h"

namespace app {

struct ResultsGridData {
    std::vector<int> teams;                    // row and column i + 1 of the grid
    std::vector<QString> names;                // of teams ("" when the team is not stored)
    std::vector<std::vector<QString>> scores;  // scores[home][away]: "3-1", or "" when not played
};

// The season's teams and their names; scores sized n x n and empty.
ResultsGridData FillResultsGridTeams(LeagueReading& reading, int year, int championship);
// Puts every result of the season into the scores of the teams the data lists.
void FillResultsGridScores(LeagueReading& reading, ResultsGridData& grid, int year, int championship);
// Both.
ResultsGridData ComputeResultsGrid(int championship, int year);

// The grid's cells, (n + 1) rows of n + 1 columns: cell (0, 0) empty, row 0 column c the short name of
// team c (ShortTeamNames), row r column 0 the name of team r, row r column c the score of team
// r at home against team c.
GridRows ResultsGridCells(const ResultsGridData& grid);
// A team's column title, written across: the initials of a name of several words ("PSG"), the first three
// letters of a one-word name ("ALB"), in capitals. ShortTeamNames numbers a title that an earlier team of
// the list already has ("OM", "OM2"); the whole name is the title's hint.
QString ShortTeamName(const QString& name);
QStringList ShortTeamNames(const std::vector<QString>& names);

// The page of the grid's cells (as ResultsGridCells lays them out): the frame with title text 242 and no
// header text, the championship and the season, then one table row per grid row. Row 0 spells each
// team's name (from column 0 of its row) downwards, one letter per line; data cells of even rows are
// #B0F9C6, the diagonal #000000 and the titles #F0DF09.
QByteArray ExportResultsGridHtml(const GridRows& cells, const QString& championshipName,
                                 const QString& seasonText);

}  // namespace app
