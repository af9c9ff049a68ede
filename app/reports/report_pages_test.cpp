// Every page the reports export, made from a real season in which one team is named with markup: each
// parses balanced (every element closed in the order it was opened) and shows that name as typed.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/reports/head_to_head.h"
#include "app/reports/results_grid.h"
#include "app/reports/scorers.h"
#include "app/reports/standings_report.h"
#include "app/reports/team_info.h"
#include "app/reports/team_matches.h"
#include "app/shell/html_page.h"
#include "app/shell/lang_texts.h"
#include "app/shell/league_test_support.h"
#include "app/shell/param_file.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

const char* const kMarkupName = "Lille <b>&\"OSC";

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
    }
    // The checker itself finds what a page may get wrong.
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
