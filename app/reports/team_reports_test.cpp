// Team matches, team information and head-to-head against the plain standings model over random seasons
// in real tables: counters equal to the team's standings rows, the filtered lists, the biggest margins,
// the rank after every matchday, the team's scorers; meetings of two teams over several seasons and
// championships.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "app/reports/head_to_head.h"
#include "app/reports/scorers.h"
#include "app/reports/standings.h"
#include "app/reports/team_info.h"
#include "app/reports/team_matches.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/table_pack.h"
#include "platform/file.h"
#include "tests/support/league_fill.h"
#include "tests/support/random_season.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;
using xbtest::Num;
using xbtest::Str;
using xbtest::TableOf;

class TeamReportsTest : public leaguetest::LeagueTest {
protected:
    void use(const std::vector<xbtest::SeasonTable>& tables, const std::string& name) {
        const std::string dir = tmp.path() + "/" + name;
        std::filesystem::create_directories(dir);
        xbtest::FillLeagueTables(dir, tables);
        SetAppDir(QString::fromStdString(dir + "/"));
    }
};

// One match of the model, in list order.
struct ModelMatch {
    int day, home, away, g1, g2;
    std::string code;
    int outcome;  // for the home side: 1 win, 0 draw, -1 defeat, 9 none
};

std::vector<ModelMatch> seasonMatches(const std::vector<xbtest::SeasonTable>& s, int c, int y) {
    const auto& res = TableOf(s, "resultat.dbf");
    std::vector<ModelMatch> out;
    for (const auto& r : res.rows) {
        if (Num(res, r, "nuchamp") != c || Num(res, r, "annee") != y) continue;
        ModelMatch m{Num(res, r, "nujournee"),
                     Num(res, r, "nueq1"),
                     Num(res, r, "nueq2"),
                     Num(res, r, "beq1"),
                     Num(res, r, "beq2"),
                     Str(res, r, "coder"),
                     9};
        if (m.code == "V1" || m.code == "F1") m.outcome = 1;
        if (m.code == "V2" || m.code == "F2") m.outcome = -1;
        if (m.code == "N" || m.code == "N ") m.outcome = 0;
        if (m.code == "AU") m.outcome = m.g1 > m.g2 ? 1 : m.g1 == m.g2 ? 0 : -1;
        out.push_back(m);
    }
    std::stable_sort(out.begin(), out.end(), [](const ModelMatch& a, const ModelMatch& b) {
        return std::tie(a.day, a.home) < std::tie(b.day, b.home);
    });
    return out;
}

TEST_F(TeamReportsTest, RandomSeasonsGiveTheModelsTeamMatchesInformationAndScorers) {
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        const xbtest::RandomSeason s = xbtest::MakeRandomSeason(seed);
        use(s.tables, "s" + std::to_string(seed));
        const int c = s.championship, y = s.year;
        const auto matches = seasonMatches(s.tables, c, y);
        std::set<int> teams;
        for (const auto& m : matches) teams.insert(m.home), teams.insert(m.away);
        const auto& eq = TableOf(s.tables, "eqchamp.dbf");
        teams.insert(Num(eq, eq.rows.back(), "nuequipe"));  // listed elsewhere, no match here
        const int rulesDays = GetSeasonParams(c, y).matchdays;
        for (int team : teams) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " team " + std::to_string(team));
            // ---- team matches ----
            for (int type = 0; type <= 5; ++type) {
                const TeamMatchesResult got = ComputeTeamMatches(c, y, team, type);
                std::vector<std::tuple<int, int, int>> want, listed;
                BiggestMatch win, defeat;
                int w = 0, d = 0, l = 0, gf = 0, ga = 0;
                for (const ModelMatch& m : matches) {
                    if (m.home != team && m.away != team) continue;
                    const bool home = m.home == team;
                    const int own = m.outcome == 9 ? 9 : home ? m.outcome : -m.outcome;
                    const bool keep = type == 0 || (type == 1 && home) || (type == 2 && !home) ||
                                      (type == 3 && own == 1) || (type == 4 && own == 0) ||
                                      (type == 5 && own == -1);
                    if (!keep) continue;
                    want.emplace_back(m.day, m.home, m.away);
                    w += own == 1, d += own == 0, l += own == -1;
                    const int f = home ? m.g1 : m.g2, a = home ? m.g2 : m.g1;
                    gf += f, ga += a;
                    if (f - a > win.diff) win = {m.day, m.home, m.g1, m.g2, m.away, f - a};
                    if (a - f > defeat.diff) defeat = {m.day, m.home, m.g1, m.g2, m.away, a - f};
                }
                for (const TeamMatchRow& r : got.rows) listed.emplace_back(r.matchday, r.home, r.away);
                ASSERT_EQ(listed, want) << "type " << type;
                EXPECT_EQ(std::make_tuple(got.listed, got.wins, got.draws, got.defeats, got.goalsFor,
                                          got.goalsAgainst),
                          std::make_tuple(static_cast<int>(want.size()), w, d, l, gf, ga))
                    << "type " << type;
                EXPECT_EQ(std::make_tuple(got.biggestWin.matchday, got.biggestWin.home, got.biggestWin.away,
                                          got.biggestWin.diff),
                          std::make_tuple(win.matchday, win.home, win.away, win.diff));
                EXPECT_EQ(std::make_tuple(got.biggestDefeat.matchday, got.biggestDefeat.home,
                                          got.biggestDefeat.away, got.biggestDefeat.diff),
                          std::make_tuple(defeat.matchday, defeat.home, defeat.away, defeat.diff));
                // Types 0 to 2 are the team's standings rows of all, home and away matches.
                if (type <= 2) {
                    for (const auto& row : xbtest::ModelStandings(s.tables, c, y, 1, 999, type, 0)) {
                        if (row.team != team) continue;
                        EXPECT_EQ(std::make_tuple(got.listed, got.wins, got.draws, got.defeats, got.goalsFor,
                                                  got.goalsAgainst),
                                  std::make_tuple(row.j, row.g, row.n, row.p, row.bp, row.bc))
                            << "side " << type;
                    }
                }
            }

            // ---- team information ----
            const TeamInfoResult info = ComputeTeamInfo(c, y, team);
            ASSERT_TRUE(info.computed);
            const auto zeros = xbtest::ModelStandings(s.tables, c, y, 1, 0, 0, 0);
            EXPECT_EQ(info.teams, static_cast<int>(zeros.size()));
            EXPECT_EQ(info.days, std::max(1, rulesDays));
            const bool listed = std::any_of(zeros.begin(), zeros.end(),
                                            [&](const xbtest::ModelRow& r) { return r.team == team; });
            if (!listed) {
                EXPECT_TRUE(info.points.empty());
                continue;
            }
            ASSERT_EQ(info.points.size(), static_cast<size_t>(rulesDays) + 1);
            int lastPlayed = 0;
            for (const ModelMatch& m : matches)
                if ((m.home == team || m.away == team) && m.day <= rulesDays)
                    lastPlayed = std::max(lastPlayed, m.day);
            for (int day = 1; day <= rulesDays; ++day) {
                const auto rows = xbtest::ModelStandings(s.tables, c, y, 1, day, 0, 0);
                const int rank =
                    static_cast<int>(std::find_if(rows.begin(), rows.end(),
                                                  [&](const xbtest::ModelRow& r) { return r.team == team; }) -
                                     rows.begin() + 1);
                EXPECT_EQ(info.points[static_cast<size_t>(day)].x, day);
                EXPECT_EQ(info.points[static_cast<size_t>(day)].rank, rank) << "day " << day;
                EXPECT_EQ(info.points[static_cast<size_t>(day)].played, day <= lastPlayed) << "day " << day;
            }
            EXPECT_EQ(info.points[0].rank, info.points[1].rank);
            for (int side = 0; side <= 2; ++side) {
                for (const auto& row : xbtest::ModelStandings(s.tables, c, y, 1, rulesDays, side, 0)) {
                    if (row.team != team) continue;
                    EXPECT_EQ(info.sides[static_cast<size_t>(side)],
                              (TeamSideTotals{row.g, row.n, row.p, row.bp, row.bc}))
                        << "side " << side;
                }
            }

            // ---- the team's scorers ----
            const auto& but = TableOf(s.tables, "but.dbf");
            std::map<int, int> goals;
            for (const auto& r : but.rows) {
                if (Num(but, r, "nuchamp") != c || Num(but, r, "annee") != y || Num(but, r, "type") == 2)
                    continue;
                const int ben = Num(but, r, "nueqben");
                if ((ben == 1 && Num(but, r, "nueq1") == team) || (ben == 2 && Num(but, r, "nueq2") == team))
                    goals[Num(but, r, "nujoueur")] += 1;
            }
            const auto scorers = ComputeTeamScorers(c, y, team);
            std::map<int, int> got;
            for (size_t i = 0; i < scorers.size(); ++i) {
                got[scorers[i].player] = scorers[i].goals;
                if (i > 0) {
                    EXPECT_GE(scorers[i - 1].goals, scorers[i].goals);
                }
            }
            EXPECT_EQ(got, goals);
        }
    }
}

TEST_F(TeamReportsTest, ForfeitsAUAndMarginsFollowTheOneOutcomeRule) {
    // Team 1's season: an F1 recorded 0-3 (a win, and the biggest defeat by goals), two wins by three
    // (the earlier is the biggest), an "AU" 2-2 with unequal points (a draw), "N " and an unknown code.
    auto tables = xbtest::MakeSeason({4, 2, 6});
    auto& res = const_cast<xbtest::SeasonTable&>(TableOf(tables, "resultat.dbf"));
    res.rows = {{"1", "2026", "1", "1", "2", "0", "3", "F1", "0", "0"},
                {"1", "2026", "2", "3", "1", "0", "3", "V2", "0", "0"},
                {"1", "2026", "3", "1", "4", "4", "1", "V1", "0", "0"},
                {"1", "2026", "4", "1", "3", "2", "2", "AU", "3", "0"},
                {"1", "2026", "5", "2", "1", "1", "1", "N ", "0", "0"},
                {"1", "2026", "6", "4", "1", "5", "0", "XX", "0", "0"}};
    use(tables, "one");
    const TeamMatchesResult all = ComputeTeamMatches(1, 2026, 1, kAllMatches);
    EXPECT_EQ(std::make_tuple(all.listed, all.wins, all.draws, all.defeats), std::make_tuple(6, 3, 2, 0));
    EXPECT_EQ(all.biggestWin.matchday, 2);
    EXPECT_EQ(all.biggestDefeat.matchday, 6);
    const GridRows rows = TeamMatchesGridRows(all);
    QStringList markers;
    for (const QStringList& r : rows) markers << r[5];
    EXPECT_EQ(markers, (QStringList{"F1", "", "", "*", "", ""}));
    EXPECT_EQ(ComputeTeamMatches(1, 2026, 1, kDrawnMatches).listed, 2);
    EXPECT_EQ(ComputeTeamMatches(1, 2026, 1, kLostMatches).listed, 0);
    // The texts: home/away, the score home goals first, the opponent; none when no margin.
    EXPECT_EQ(BiggestMatchText(all.biggestWin, 1, true),
              "(" + GetLangText(Text::Away) + ") " + GetLangText(Text::Matchday) + ": 2   0-3  " +
                  GetLangText(Text::Against) + " " + GetTeamName(3) + " ");
    EXPECT_EQ(BiggestMatchText(all.biggestDefeat, 1, false),
              "(" + GetLangText(Text::Away) + ") " + GetLangText(Text::Matchday) + ": 6   5-0  " +
                  GetLangText(Text::Against) + " " + GetTeamName(4) + " ");
    EXPECT_EQ(BiggestMatchText(ComputeTeamMatches(1, 2026, 1, kHomeMatches).biggestDefeat, 1, false),
              "(" + GetLangText(Text::Home) + ") " + GetLangText(Text::Matchday) + ": 1   0-3 " +
                  GetLangText(Text::Against) + " " + GetTeamName(2));
    EXPECT_EQ(BiggestMatchText({}, 1, true), GetLangText(Text::NoVictory));
    EXPECT_EQ(BiggestMatchText({}, 1, false), GetLangText(Text::NoDefeat));
    // Missing choices give nothing.
    EXPECT_TRUE(ComputeTeamMatches(0, 2026, 1, 0).rows.empty());
    EXPECT_FALSE(ComputeTeamInfo(1, 2026, 0).computed);
    EXPECT_TRUE(ComputeTeamScorers(1, 2026, 0).empty());
}

TEST_F(TeamReportsTest, HeadToHeadOverSeasonsAndChampionshipsListsEachMeetingOnce) {
    std::vector<xbtest::SeasonTable> tables = xbtest::MakeSeason({4, 2, 2});
    auto& res = const_cast<xbtest::SeasonTable&>(TableOf(tables, "resultat.dbf"));
    auto& champion = const_cast<xbtest::SeasonTable&>(TableOf(tables, "champion.dbf"));
    champion.rows.push_back({"3", "Coupe & <Trophée>"});
    res.rows.clear();
    uint32_t state = 7;
    auto next = [&state](int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<uint32_t>(n));
    };
    static const char* kCodes[] = {"V1", "V2", "N", "N ", "F1", "F2", "AU", "XX"};
    for (int year = 2019; year <= 2024; ++year)
        for (int champ : {3, 1, 2})
            for (int day = 1; day <= 6; ++day) {
                if (next(3) == 0) continue;
                int a = 1 + next(4), b = 1 + next(4);
                if (next(2)) std::swap(a, b);
                res.rows.push_back({std::to_string(champ), std::to_string(year), std::to_string(day),
                                    std::to_string(a), std::to_string(b), std::to_string(next(5)),
                                    std::to_string(next(4)), kCodes[next(8)], std::to_string(next(3)), "0"});
            }
    use(tables, "h2h");
    for (int t1 = 1; t1 <= 4; ++t1)
        for (int t2 = 1; t2 <= 4; ++t2)
            for (bool both : {false, true}) {
                SCOPED_TRACE(std::to_string(t1) + "-" + std::to_string(t2) + (both ? " both" : " same"));
                std::vector<std::tuple<int, int, int, int, int>> want, got;
                int w1 = 0, w2 = 0, d = 0, g1 = 0, g2 = 0;
                for (const auto& r : res.rows) {
                    const int h = Num(res, r, "nueq1"), a = Num(res, r, "nueq2");
                    const bool first = h == t1 && a == t2, second = both && h == t2 && a == t1;
                    if (!first && !second) continue;
                    want.emplace_back(Num(res, r, "annee"), Num(res, r, "nuchamp"), Num(res, r, "nujournee"),
                                      h, a);
                    const int bh = Num(res, r, "beq1"), ba = Num(res, r, "beq2");
                    const std::string code = Str(res, r, "coder");
                    int o = code == "V1" || code == "F1"   ? 1
                            : code == "V2" || code == "F2" ? -1
                            : code == "N" || code == "N "  ? 0
                            : code == "AU"                 ? (bh > ba    ? 1
                                                              : bh == ba ? 0
                                                                         : -1)
                                                           : 9;
                    if (!first) o = o == 9 ? 9 : -o;  // from team 1's side
                    w1 += o == 1, w2 += o == -1, d += o == 0;
                    g1 += first ? bh : ba, g2 += first ? ba : bh;
                }
                std::sort(want.begin(), want.end());
                const HeadToHeadResult h = ComputeHeadToHead(t1, t2, both);
                for (const auto& r : h.rows) {
                    got.emplace_back(r.year, r.championship, r.matchday, r.home, r.away);
                    EXPECT_EQ(r.championshipName, GetChampionshipName(r.championship));
                }
                EXPECT_EQ(got, want);
                EXPECT_EQ(std::make_tuple(h.wins1, h.wins2, h.draws, h.goals1, h.goals2),
                          std::make_tuple(w1, w2, d, g1, g2));
                const GridRows rows = HeadToHeadGridRows(h, t1, "one", "two");
                for (size_t i = 0; i < rows.size(); ++i) {
                    EXPECT_EQ(rows[i][0], QString("%1:%2").arg(h.rows[i].year).arg(h.rows[i].year + 1));
                    EXPECT_EQ(rows[i][3], h.rows[i].home == t1 ? "one" : "two");
                }
            }
    EXPECT_TRUE(ComputeHeadToHead(0, 2, true).rows.empty());
}

// On a network share every open is dozens of round trips: each computation opens every table it reads
// once (not once per lookup or per step), and leaves none open, so the shutdown's pack still gets every
// table alone.
TEST_F(TeamReportsTest, EachComputationOpensTheTablesItReadsOnceAndLeavesNoneOpen) {
    use(xbtest::MakeSeason(), "opens");
    auto opensOf = [](const std::function<void()>& run) {
        const uint64_t before = xb::platform::FileCalls().open;
        run();
        return xb::platform::FileCalls().open - before;
    };
    std::map<std::string, uint64_t> perTable;
    for (const char* f : {"champan.dbf", "champion.dbf", "eqchamp.dbf", "resultat.dbf", "equipe.dbf",
                          "joueur.dbf", "but.dbf"})
        perTable[f] = opensOf([&] { LeagueTableScope t("probe", f); });
    struct Case {
        const char* what;
        std::function<void()> run;
        std::vector<std::string> tables;
    } cases[] = {
        {"standings",
         [] {
             ComputeStandingsGrid({1, 2026, 1, 38, kOrderPoints, kSideAll});
         },
         {"champan.dbf", "eqchamp.dbf", "equipe.dbf", "resultat.dbf"}},
        {"scorers",
         [] {
             BuildScorersTable({1, 2026, 1, 38, kOrderPoints, kSideAll});
         },
         {"but.dbf", "joueur.dbf", "equipe.dbf"}},
        {"team information and its scorers",
         [] {
             LeagueReading reading;
             ComputeTeamInfo(reading, 1, 2026, 3);
             ComputeTeamScorers(reading, 1, 2026, 3);
         },
         {"champan.dbf", "eqchamp.dbf", "equipe.dbf", "resultat.dbf", "but.dbf", "joueur.dbf"}},
        {"team matches", [] { ComputeTeamMatches(1, 2026, 3, kAllMatches); }, {"resultat.dbf", "equipe.dbf"}},
        {"head-to-head", [] { ComputeHeadToHead(3, 7, true); }, {"resultat.dbf", "champion.dbf"}},
        {"team list", [] { SeasonTeamEntries(2026, 1, true); }, {"eqchamp.dbf", "equipe.dbf"}},
    };
    for (const Case& c : cases) {
        uint64_t budget = 0;
        for (const std::string& t : c.tables) budget += perTable[t];
        EXPECT_LE(opensOf(c.run), budget) << c.what;
    }
    // Only read: the close changes nothing.
    for (const TablePackResult& r : PackAllTables(GetAppDir()))
        EXPECT_EQ(r.outcome, PackOutcome::AsItIs) << r.table.toStdString();
}

}  // namespace
