// Two stations (child processes) working through the league library on the same tables at once, and a
// station killed in the middle of its saves.
#include <csignal>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "tests/support/child_process.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

const std::string kSeason = std::string(LM_TEST_DATA) + "/en-2012-13.csv";

class StationsTest : public leaguetest::LeagueTest {
protected:
    StationsTest() : season(xbtest::ReadSeasonCsv(kSeason)) {
        Tfsysteme fsysteme;
        CloseSystemTables(fsysteme);
    }
    std::unique_ptr<xbtest::ChildProcess> station() {
        auto c = std::make_unique<xbtest::ChildProcess>(LM_LEAGUE_CHILD_PATH, std::vector<std::string>{});
        EXPECT_EQ(c->ask("dir " + tmp.path()), "0");
        return c;
    }
    // Every result row as (matchday, home, away) -> the ten values.
    struct Result {
        int day, home, away, g1, g2, p1, p2;
        std::string code;
    };
    std::vector<Result> results(int championship) {
        std::vector<Result> out;
        LeagueTableScope t("results", "resultat.dbf");
        for (t->First(); !t->Eof(); t->Next())
            if (t->FieldGetInt("NUCHAMP") == championship)
                out.push_back({t->FieldGetInt("NUJOURNEE"), t->FieldGetInt("NUEQ1"), t->FieldGetInt("NUEQ2"),
                               t->FieldGetInt("BEQ1"), t->FieldGetInt("BEQ2"), t->FieldGetInt("PTEQ1"),
                               t->FieldGetInt("PTEQ2"), t->FieldGetStr("CODER")});
        return out;
    }
    // Each row is the season's match as one station wrote it: goals + 10 K and points K K.
    void expectWholeRows(const std::vector<Result>& rows, int championship, int year) {
        std::map<std::tuple<int, int, int>, const xbtest::CsvMatch*> byKey;
        for (const auto& m : season.matches) byKey[{m.matchday, m.home, m.away}] = &m;
        std::set<std::tuple<int, int, int>> seen;
        for (const Result& r : rows) {
            const auto key = std::make_tuple(r.day, r.home, r.away);
            ASSERT_TRUE(byKey.count(key)) << "a row of no match: " << r.day << " " << r.home << " " << r.away;
            EXPECT_TRUE(seen.insert(key).second) << "twice: " << r.day << " " << r.home << " " << r.away;
            const auto& m = *byKey[key];
            const int k = r.p1;
            EXPECT_TRUE(k >= 1 && r.p2 == k && r.g1 == m.homeGoals + 10 * k && r.g2 == m.awayGoals + 10 * k &&
                        r.code == "AU")
                << "mixed row " << r.day << " " << r.home << " " << r.away << ": " << r.g1 << " " << r.g2
                << " " << r.p1 << " " << r.p2 << " '" << r.code << "'";
        }
        EXPECT_EQ(seen.size(), season.matches.size());
        (void)championship;
        (void)year;
    }
    void expectSoundIndexes() {
        for (const LeagueTable& d : LeagueTables()) {
            const xbtest::MdxReport r = xbtest::CheckMdxFile(tmp.file(d.stem() + ".mdx"), {false, 0});
            EXPECT_TRUE(r.ok()) << d.file << "\n" << r.text();
            for (const auto& tag : r.tags) EXPECT_EQ(tag.entries.size(), r.tags[0].entries.size()) << d.file;
        }
    }

    xbtest::CsvSeason season;
};

TEST_F(StationsTest, TwoStationsSaveTheSameSeasonAtOnce) {
    auto a = station(), b = station();
    std::string answerA, answerB;
    std::thread ta([&] { answerA = a->ask("saveseason " + kSeason + " 1 2012 1"); });
    std::thread tb([&] { answerB = b->ask("saveseason " + kSeason + " 1 2012 2"); });
    ta.join();
    tb.join();
    EXPECT_EQ(answerA, "0");
    EXPECT_EQ(answerB, "0");
    const auto rows = results(1);
    EXPECT_EQ(rows.size(), 380u);
    expectWholeRows(rows, 1, 2012);
    // One link per team, one season row, no blank row anywhere.
    LeagueTableScope links("links", "eqchamp.dbf");
    int n = 0;
    for (links->First(); !links->Eof(); links->Next(), ++n) EXPECT_NE(links->FieldGetInt("NUEQUIPE"), 0);
    EXPECT_EQ(n, 20);
    EXPECT_EQ(GetSeasonParams(1, 2012), (SeasonRules{3, 1, 0, 0, 0, 20, 38}));
    EXPECT_EQ(a->finish(), 0);
    EXPECT_EQ(b->finish(), 0);
    expectSoundIndexes();
}

TEST_F(StationsTest, TwoStationsCreatingChampionshipsGetDistinctNumbers) {
    auto a = station(), b = station();
    std::string answerA, answerB;
    std::thread ta([&] { answerA = a->ask("create 50 A"); });
    std::thread tb([&] { answerB = b->ask("create 50 B"); });
    ta.join();
    tb.join();
    std::set<int> numbers;
    for (const std::string* answer : {&answerA, &answerB}) {
        std::istringstream in(*answer);
        for (int n; in >> n;) {
            EXPECT_GT(n, 0);
            numbers.insert(n);
        }
    }
    EXPECT_EQ(numbers.size(), 100u);
    EXPECT_EQ(*numbers.rbegin(), 100);
    std::map<std::string, int> names;
    for (int n = 1; n <= 100; ++n) ++names[GetChampionshipName(n).toStdString()];
    EXPECT_EQ(names, (std::map<std::string, int>{{"A", 50}, {"B", 50}}));
    EXPECT_EQ(a->finish(), 0);
    EXPECT_EQ(b->finish(), 0);
}

TEST_F(StationsTest, ADeleteWhileAnotherStationSavesLosesNothingElse) {
    auto a = station(), b = station();
    ASSERT_EQ(a->ask("saveseason " + kSeason + " 2 2012 1"), "0");
    std::unique_ptr<xb::TXbDbf> champion;
    ASSERT_TRUE(OpenTable(champion, "champion.dbf"));
    ASSERT_EQ(CreateChampionship(*champion, "Deux"), 1);
    ASSERT_EQ(CreateChampionship(*champion, "Un"), 2);
    CloseTable(champion);
    std::string answerA, answerB;
    std::thread ta([&] { answerA = a->ask("saveseason " + kSeason + " 1 2012 3"); });
    std::thread tb([&] { answerB = b->ask("deletechamp 2"); });
    ta.join();
    tb.join();
    EXPECT_EQ(answerA, "0");
    EXPECT_EQ(answerB, "1");
    EXPECT_TRUE(results(2).empty());
    const auto rows = results(1);
    EXPECT_EQ(rows.size(), 380u);
    expectWholeRows(rows, 1, 2012);
    EXPECT_EQ(GetChampionshipName(1), "Deux");
    EXPECT_EQ(GetChampionshipName(2), "");
    EXPECT_EQ(SeasonTeamNumbers(2012, 1).size(), 20u);
    EXPECT_TRUE(SeasonTeamNumbers(2012, 2).empty());
    EXPECT_EQ(a->finish(), 0);
    EXPECT_EQ(b->finish(), 0);
    expectSoundIndexes();
}

TEST_F(StationsTest, AWriterKilledDuringItsSavesNeverLeavesABlankOrHalfRow) {
    const char* env = std::getenv("LM_LEAGUE_KILLS");
    const int kills = env ? std::atoi(env) : 20;
    for (int i = 0; i < kills; ++i) {
        SCOPED_TRACE(i);
        auto writer = station();
        ASSERT_EQ(writer->ask("saveloop " + kSeason + " 1 2012"), "started");
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 37) % 120));
        writer->kill();
        // Whatever the writer stored is whole: a row of one round, never blank.
        for (const Result& r : results(1)) {
            ASSERT_NE(r.home, 0) << "a blank row";
            const auto it = std::find_if(season.matches.begin(), season.matches.end(), [&](const auto& m) {
                return m.matchday == r.day && m.home == r.home && m.away == r.away;
            });
            ASSERT_NE(it, season.matches.end());
            ASSERT_TRUE(r.p1 >= 1 && r.p2 == r.p1 && r.g1 == it->homeGoals + 10 * r.p1 &&
                        r.g2 == it->awayGoals + 10 * r.p1)
                << "half row " << r.day << " " << r.home << " " << r.away;
        }
        LeagueTableScope all("blank", "resultat.dbf");
        for (all->First(); !all->Eof(); all->Next())
            ASSERT_NE(all->FieldGetInt("NUCHAMP"), 0) << "a blank row";
    }
}

}  // namespace
