// The results grid against a plain model of the season's rows: random seasons with every code, teams
// listed twice and unlisted opponents; a 40-team season complete; a real season's 380 results. The page
// read back: one table row per grid row, names spelled downwards whole and escaped, colours by cell.
#include "app/reports/results_grid.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <algorithm>
#include <filesystem>
#include <map>

#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "app/data/league_text.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/random_season.h"
#include "tests/support/season_csv.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;
using xbtest::Num;
using xbtest::SeasonTable;
using xbtest::TableOf;

struct ModelGrid {
    std::vector<int> teams;
    std::map<std::pair<int, int>, QString> scores;  // (home, away) -> "h-a"
};

// Teams in listing order, once each; the last result of a pair in (matchday, home, record) order.
ModelGrid modelGrid(const std::vector<SeasonTable>& s, int c, int y) {
    ModelGrid m;
    const SeasonTable& eq = TableOf(s, "eqchamp.dbf");
    for (const auto& r : eq.rows)
        if (Num(eq, r, "annee") == y && Num(eq, r, "nuchamp") == c &&
            std::find(m.teams.begin(), m.teams.end(), Num(eq, r, "nuequipe")) == m.teams.end())
            m.teams.push_back(Num(eq, r, "nuequipe"));
    const SeasonTable& res = TableOf(s, "resultat.dbf");
    std::vector<const std::vector<std::string>*> rows;
    for (const auto& r : res.rows)
        if (Num(res, r, "nuchamp") == c && Num(res, r, "annee") == y) rows.push_back(&r);
    std::stable_sort(rows.begin(), rows.end(), [&](auto* a, auto* b) {
        return std::pair(Num(res, *a, "nujournee"), Num(res, *a, "nueq1")) <
               std::pair(Num(res, *b, "nujournee"), Num(res, *b, "nueq1"));
    });
    auto listed = [&](int t) { return std::find(m.teams.begin(), m.teams.end(), t) != m.teams.end(); };
    for (const auto* r : rows)
        if (listed(Num(res, *r, "nueq1")) && listed(Num(res, *r, "nueq2")))
            m.scores[{Num(res, *r, "nueq1"), Num(res, *r, "nueq2")}] =
                QString::number(Num(res, *r, "beq1")) + "-" + QString::number(Num(res, *r, "beq2"));
    return m;
}

class ResultsGridTest : public leaguetest::LeagueTest {
protected:
    // Checks the cells against the model; answers the number of score cells.
    int expectGrid(const std::vector<SeasonTable>& s, int c, int y) {
        const ModelGrid model = modelGrid(s, c, y);
        const ResultsGridData data = ComputeResultsGrid(c, y);
        EXPECT_EQ(data.teams, model.teams);
        const GridRows cells = ResultsGridCells(data);
        const int n = static_cast<int>(model.teams.size());
        const QStringList titles = ShortTeamNames(data.names);
        EXPECT_EQ(cells.size(), static_cast<size_t>(n + 1));
        int scores = 0;
        for (int r = 0; r <= n && r < static_cast<int>(cells.size()); ++r) {
            EXPECT_EQ(cells[r].size(), n + 1);
            for (int col = 1; col <= n && r > 0; ++col) {
                const auto it = model.scores.find({model.teams[r - 1], model.teams[col - 1]});
                const QString want = it == model.scores.end() ? QString() : it->second;
                EXPECT_EQ(cells[r][col], want) << "row " << r << " column " << col;
                scores += !cells[r][col].isEmpty();
            }
            if (r > 0) {
                EXPECT_EQ(cells[r][0], data.names[r - 1]);
                EXPECT_EQ(cells[0][r], titles[r - 1]);
            }
        }
        return scores;
    }
};

TEST(ResultsGridTitles, ShortNamesAreInitialsOrFirstLettersAndNeverShared) {
    const std::vector<QString> names = {"Paris Saint-Germain", "Olympique Lyonnais", "Olympique Lyon", "ALBION",
                                        "Lille <b>&\"OSC", "Creteil-Lusitanos", "ñu", "Real Madrid CF de Fútbol", ""};
    EXPECT_EQ(ShortTeamNames(names), QStringList({"PSG", "OL", "OL2", "ALB", "LB", "CL", "ÑU", "RMCD", ""}));
}

TEST_F(ResultsGridTest, RandomSeasonsMatchTheModel) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const xbtest::RandomSeason s = xbtest::MakeRandomSeason(seed);
        const std::string dir = tmp.path() + "/s" + std::to_string(seed);
        std::filesystem::create_directories(dir);
        SetAppDir(QString::fromStdString(dir));
        xbtest::FillLeagueTables(dir, s.tables);
        expectGrid(s.tables, s.championship, s.year);
        // The neighbouring season and championship have grids of their own.
        expectGrid(s.tables, s.championship, s.year + 1);
        expectGrid(s.tables, s.championship + 1, s.year);
    }
}

TEST_F(ResultsGridTest, FortyTeamsFillEveryCellButTheDiagonal) {
    // Every team meets every other at home once: 40 x 39 results, numbers up to 95.
    std::vector<SeasonTable> season = xbtest::MakeSeason({40, 1, 2, 7});
    auto table = [&](const char* file) -> SeasonTable& {
        return *std::find_if(season.begin(), season.end(),
                             [&](const SeasonTable& t) { return t.file == file; });
    };
    SeasonTable &eq = table("eqchamp.dbf"), &names = table("equipe.dbf"), &res = table("resultat.dbf");
    eq.rows.clear();
    names.rows.clear();
    res.rows.clear();
    auto number = [](int i) { return i * 2 + 15; };
    for (int i = 1; i <= 40; ++i) {
        eq.rows.push_back({"2026", "1", std::to_string(number(i))});
        names.rows.push_back({std::to_string(number(i)), "Team " + std::to_string(i)});
    }
    for (int i = 1; i <= 40; ++i)
        for (int j = 1; j <= 40; ++j)
            if (i != j)
                res.rows.push_back({"1", "2026", std::to_string(1 + (i + j) % 78), std::to_string(number(i)),
                                    std::to_string(number(j)), std::to_string(i % 7), std::to_string(j % 5),
                                    "V1", "0", "0"});
    std::erase_if(season, [](const SeasonTable& t) {
        return t.file == "but.dbf" || t.file == "carton.dbf" || t.file == "joueur.dbf" ||
               t.file == "joueq.dbf";
    });
    xbtest::FillLeagueTables(tmp.path(), season);
    EXPECT_EQ(expectGrid(season, 1, 2026), 40 * 39);
}

TEST_F(ResultsGridTest, RealSeasonFillsItsThreeHundredAndEightyCells) {
    const auto season =
        xbtest::SeasonTablesOfCsv(xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/en-2012-13.csv"), 2012);
    xbtest::FillLeagueTables(tmp.path(), season);
    EXPECT_EQ(expectGrid(season, 1, 2012), 380);
}

TEST_F(ResultsGridTest, SeasonWithoutTeamsHasNoCells) {
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason({4, 1, 6, 3}));
    const ResultsGridData data = ComputeResultsGrid(1, 1999);
    EXPECT_TRUE(data.teams.empty());
    EXPECT_EQ(ResultsGridCells(data), GridRows(1, QStringList(1)));
}

TEST_F(ResultsGridTest, PageSpellsNamesDownwardsAndColoursEveryCell) {
    ResultsGridData data;
    data.teams = {4, 9, 2};
    data.names = {"Évian & Co", "<Ål>", ""};
    data.scores = {{"", "1-0", "2-2"}, {"0-3", "", ""}, {"1-1", "4-0", ""}};
    const GridRows cells = ResultsGridCells(data);
    const QByteArray page = ExportResultsGridHtml(cells, "Ligue <A>", "2026 - 2027");
    const xbtest::HtmlDocument doc = xbtest::ReadHtmlDocument(page.toStdString());
    ASSERT_TRUE(doc.ok) << doc.error;
    ASSERT_EQ(doc.tables.size(), 1u);
    const auto& t = doc.tables[0];
    ASSERT_EQ(t.size(), 4u);
    const std::vector<std::string> top = {"", "É\nv\ni\na\nn\n \n&\n \nC\no", "<\nÅ\nl\n>", ""};
    // The blank inside a name is a line of its own; the reader trims only around the cell.
    EXPECT_EQ(t[0], top);
    EXPECT_EQ(t[1], (std::vector<std::string>{"Évian & Co", "", "1-0", "2-2"}));
    EXPECT_EQ(t[2], (std::vector<std::string>{"<Ål>", "0-3", "", ""}));
    EXPECT_EQ(t[3], (std::vector<std::string>{"", "1-1", "4-0", ""}));
    // A letter written with a combining accent stays one line.
    data.names[2] = QString::fromUtf8("Ce\xcc\x81");
    const xbtest::HtmlDocument combined =
        xbtest::ReadHtmlDocument(ExportResultsGridHtml(ResultsGridCells(data), "", "").toStdString());
    EXPECT_EQ(combined.tables[0][0][3], "C\ne\xcc\x81");

    // Every cell line: attributes separated by blanks, the colour of its place.
    const QString html = QString::fromUtf8(page);
    QRegularExpression td(
        QStringLiteral("<td nowrap align=\"right\"( bgcolor=\"(#[0-9A-F]{6})\")?( valign=\"top\")? >"));
    int r = -1, c = 0;
    for (const QString& line : html.split(QStringLiteral("\r\n"))) {
        if (line == QLatin1String("<tr>")) {
            ++r;
            c = 0;
            continue;
        }
        if (!line.contains(QLatin1String("<td"))) continue;
        const auto m = td.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const QString want = r == 0 || c == 0 ? "#F0DF09" : r == c ? "#000000" : r % 2 == 0 ? "#B0F9C6" : "";
        EXPECT_EQ(m.captured(2), want) << r << "," << c;
        EXPECT_EQ(!m.captured(3).isEmpty(), r == 0) << r << "," << c;
        ++c;
    }
    EXPECT_EQ(r, 3);
    EXPECT_TRUE(html.contains(HtmlEscape(GetLangText(Text::Championship)) + ": Ligue &lt;A&gt;<br>"));
    EXPECT_FALSE(html.contains(QLatin1String("</center>")));
    EXPECT_EQ(html.count(QLatin1String("<p")), html.count(QLatin1String("</p>")));
    EXPECT_EQ(html.count(QLatin1String("<font")), html.count(QLatin1String("</font>")));
}

}  // namespace
