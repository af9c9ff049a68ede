// Every page the reports export, made from a real season in which one team is named with markup: each
// parses balanced (every element closed in the order it was opened), shows that name as typed, and sizes
// its columns of names by their content.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <functional>
#include <map>

#include "app/reports/head_to_head.h"
#include "app/reports/results_grid.h"
#include "app/reports/scorers.h"
#include "app/reports/standings_report.h"
#include "app/reports/team_info.h"
#include "app/reports/team_matches.h"
#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "app/settings/param_file.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

const char* const kMarkupName = "Lille <b>&\"OSC";

// The cells of a page's tables a browser could wrap or hold to a fixed width while they show text: a cell
// of words without nowrap, and a cell of a column of text (any of its data cells not a number) with a
// width. Names, seasons and sentences take the width of their longest text; only numbers keep a width.
std::vector<std::string> CellsSizedOtherThanByText(const std::string& page) {
    // PCRE, not std::regex: the latter recurses once per character and overflows the stack on a whole page.
    static const QRegularExpression table(R"(<table[\s\S]*?</table>)"), row(R"(<tr[^>]*>([\s\S]*?)</tr>)"),
        cell(R"(<td([^>]*)>([\s\S]*?)</td>)"), tag(R"(<[^>]*>)"), number(R"(^[+-]?[0-9]*$)");
    struct Cell {
        QString attributes, text;
        bool broken;  // broken into lines on purpose (the results grid's names written downwards)
    };
    const QString html = QString::fromStdString(page);
    std::vector<std::string> found;
    for (const QRegularExpressionMatch& t : table.globalMatch(html)) {
        std::vector<std::vector<Cell>> rows;
        for (const QRegularExpressionMatch& r : row.globalMatch(t.captured(0))) {
            rows.emplace_back();
            for (const QRegularExpressionMatch& c : cell.globalMatch(r.captured(1))) {
                const QString text = QString(c.captured(2)).remove(tag).remove(QStringLiteral("&nbsp;")).trimmed();
                rows.back().push_back({c.captured(1), text, c.captured(2).contains(QStringLiteral("<br>"))});
            }
        }
        const auto isNumber = [](const Cell& c) { return number.match(c.text).hasMatch(); };
        for (size_t col = 0; !rows.empty() && col < rows.front().size(); ++col) {
            bool textColumn = false;
            for (size_t r = 1; r < rows.size(); ++r)
                textColumn = textColumn || (col < rows[r].size() && !isNumber(rows[r][col]));
            for (const auto& cells : rows) {
                if (col >= cells.size()) continue;
                const Cell& c = cells[col];
                if (!isNumber(c) && !c.broken && !c.attributes.contains(QStringLiteral("nowrap")))
                    found.push_back("wraps: " + c.text.toStdString());
                if (textColumn && c.attributes.contains(QStringLiteral("width=")))
                    found.push_back("fixed width: " + c.text.toStdString());
            }
        }
    }
    return found;
}

class ReportPagesTest : public leaguetest::LeagueTest {};

TEST_F(ReportPagesTest, EveryPageOfARealSeasonIsBalancedAndNamesTeamsAsTyped) {
    auto season =
        xbtest::SeasonTablesOfCsv(xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/fr-2014-15.csv"), 2014);
    for (auto& t : season)
        if (t.file == "equipe.dbf") t.rows[0][1] = kMarkupName;
    // The season's results without goals: its scorer lists are empty.
    for (const char* goalsAndPlayers : {"but.dbf", "joueur.dbf"}) season.push_back({goalsAndPlayers, {}, {}});
    xbtest::FillLeagueTables(tmp.path(), season);
    const int team = 1, other = 2, year = 2014, championship = 1;
    const QString name = QString::fromUtf8(kMarkupName), shown = HtmlEscape(name);
    StandingsRequest request;
    request.championship = championship;
    request.year = year;
    request.lastDay = 38;
    const QStringList images = {"pg1.jpg", "pg2.jpg", "pg3.jpg", "pg4.jpg", "pg5.jpg", "pg6.jpg", "pg7.jpg"};
    const StandingsPageInfo standingsInfo{name, "2014 - 2015", "1", "38", "ALL", "POINTS"};
    const TeamMatchesResult matches = ComputeTeamMatches(championship, year, team, 0);
    const struct {
        const char* page;
        std::function<QByteArray()> write;
    } pages[] = {
        {"standings",
         [&] {
             return ExportStandingsHtml(StandingsGridRows(ComputeStandingsGrid(request), 0), standingsInfo);
         }},
        {"standings, draws hidden",
         [&] {
             HideDrawsFlag = 1;
             const QByteArray page =
                 ExportStandingsHtml(StandingsGridRows(ComputeStandingsGrid(request), 0), standingsInfo);
             HideDrawsFlag = 0;
             return page;
         }},
        {"scorers",
         [&] { return ExportStandingsHtml(ScorersGridRows(BuildScorersTable(request)), standingsInfo); }},
        {"scorers named with markup",
         [&] {
             // A right-aligned column of names: as wide as its longest name all the same.
             return ExportStandingsHtml(ScorersGridRows({{7, QString::fromUtf8("Pierre <i>&\"Dupr\u00e9"), 1, name, 12},
                                                         {9, "Jo", 2, "Other", 3}}),
                                        standingsInfo);
         }},
        {"team matches",
         [&] {
             return ExportTeamMatchesHtml(
                 TeamMatchesGridRows(matches),
                 {name, name, "2014 - 2015", "ALL", "WIN", BiggestMatchText(matches.biggestWin, team, true),
                  "DEFEAT", BiggestMatchText(matches.biggestDefeat, team, false)},
                 images.mid(0, 2));
         }},
        {"team information",
         [&] {
             return ExportTeamInfoHtml(TeamScorersGridRows(ComputeTeamScorers(championship, year, team)),
                                       {name, name, "2014 - 2015"}, images);
         }},
        {"head-to-head",
         [&] {
             return ExportHeadToHeadHtml(
                 HeadToHeadGridRows(ComputeHeadToHead(team, other, true), team, name, "Other"), name, "Other",
                 false, images.mid(0, 2));
         }},
        {"results grid",
         [&] {
             return ExportResultsGridHtml(ResultsGridCells(ComputeResultsGrid(championship, year)), name,
                                          "2014 - 2015");
         }},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.page);
        const QByteArray html = p.write();
        EXPECT_EQ(xbtest::UnbalancedElements(html.toStdString()), std::vector<std::string>());
        EXPECT_TRUE(QString::fromUtf8(html).contains(shown));
        EXPECT_FALSE(html.contains(kMarkupName));
        EXPECT_EQ(CellsSizedOtherThanByText(html.toStdString()), std::vector<std::string>());
    }
    // The checker itself finds what a page may get wrong.
    EXPECT_EQ(CellsSizedOtherThanByText("<table><tr><td width=\"100\">Buteurs</td><td width=\"35\">Buts</td></tr>"
                                        "<tr><td align=\"right\">Pierre Dupr\xc3\xa9</td><td width=\"35\">12</td></tr></table>"),
              (std::vector<std::string>{"wraps: Buteurs", "fixed width: Buteurs", "wraps: Pierre Dupr\xc3\xa9",
                                        "wraps: Buts"}));
    EXPECT_EQ(xbtest::UnbalancedElements("<div><center></div></center><br><p>x"),
              (std::vector<std::string>{"<center> closed by </div>", "</center> without start",
                                        "<p> never closed"}));
}

// The matchday line of a printout and a page reads whole in every case: a range, one end alone, and a
// season without matchdays (no "Kolo: do").
TEST(StandingsInfo, TheMatchdayRangeReadsWholeWithoutMatchdays) {
    const int language = LanguageIndex;
    struct Case {
        const char *first, *last;
        std::map<int, QString> line;  // by language
    };
    const Case cases[] = {
        {"1", "38", {{1, QStringLiteral("Journée: 1 à 38")}, {6, QStringLiteral("Kolo: 1 do 38")}}},
        {"", "", {{1, QStringLiteral("Journée: aucune")}, {6, QStringLiteral("Kolo: nema")}}},
        {"5", " ", {{1, QStringLiteral("Journée: 5")}, {6, QStringLiteral("Kolo: 5")}}},
    };
    for (const Case& c : cases)
        for (const auto& [l, want] : c.line) {
            LanguageIndex = l;
            StandingsPageInfo info;
            info.firstDay = QString::fromLatin1(c.first);
            info.lastDay = QString::fromLatin1(c.last);
            EXPECT_EQ(StandingsInfoTexts(info).at(2), want) << c.first << "-" << c.last << " " << l;
        }
    LanguageIndex = language;
}

}  // namespace
