// The writing half of the league library: stores, refusals, every delete and cascade against rows the
// test computes, a lock another station holds, an injected write failure, and a real season.
#include "app/data/league_writes.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "app/data/league_text.h"
#include "engine/core/work_areas.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/season_csv.h"
#include "tests/support/small_volume.h"

namespace {

using namespace app;

// A row as field name -> value without padding.
using Row = std::map<std::string, std::string>;

std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::vector<std::string> fieldNames(const LeagueTable& d) {
    std::vector<std::string> out;
    for (const auto& f : d.fields) out.push_back(f.substr(0, f.find(',')));
    return out;
}

std::string text(const Row& r) {
    std::string out;
    for (const auto& [k, v] : r) out += k + "=" + v + " ";
    return out;
}

int num(const Row& r, const char* field) {
    return std::stoi(r.at(field));
}

class WritesTest : public leaguetest::LeagueTest {
protected:
    void fill() { xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason()); }

    // Every live row of every table (memo fields left out).
    std::map<std::string, std::multiset<std::string>> database() {
        std::map<std::string, std::multiset<std::string>> out;
        for (const LeagueTable& d : LeagueTables()) {
            LeagueTableScope t("snapshot", d.file);
            auto& rows = out[d.file];
            for (t->First(); !t->Eof(); t->Next()) rows.insert(text(rowOf(*t, d)));
        }
        return out;
    }
    static Row rowOf(xb::TXbDbf& t, const LeagueTable& d) {
        Row r;
        for (const auto& f : fieldNames(d))
            if (f != "infodivers") r[f] = trim(t.FieldGetStr(f));
        return r;
    }
    std::vector<Row> rowsOf(const std::string& file) {
        const LeagueTable& d = *FindLeagueTable(file);
        std::vector<Row> out;
        LeagueTableScope t("rowsof", file);
        for (t->First(); !t->Eof(); t->Next()) out.push_back(rowOf(*t, d));
        return out;
    }
    // The database as it was, without the rows gone[file] selects.
    using Gone = std::map<std::string, std::function<bool(const Row&)>>;
    std::map<std::string, std::multiset<std::string>> without(const Gone& gone) {
        std::map<std::string, std::multiset<std::string>> out;
        for (const LeagueTable& d : LeagueTables()) {
            auto& rows = out[d.file];
            for (const Row& r : rowsOf(d.file))
                if (!gone.count(d.file) || !gone.at(d.file)(r)) rows.insert(text(r));
        }
        return out;
    }
    std::map<std::string, std::string> files() {
        std::map<std::string, std::string> out;
        for (const std::string& f : xb::platform::ListMatching(tmp.path(), "*"))
            out[f] = xbtest::ReadFileBytes(tmp.file(f));
        return out;
    }
    // Every tag of every index file is a sound tree holding one entry per record.
    void expectSoundIndexes() {
        for (const LeagueTable& d : LeagueTables()) {
            const xbtest::MdxReport r = xbtest::CheckMdxFile(tmp.file(d.stem() + ".mdx"), {false, 0});
            EXPECT_TRUE(r.ok()) << d.file << "\n" << r.text();
            for (const auto& tag : r.tags) EXPECT_EQ(tag.entries.size(), r.tags[0].entries.size()) << d.file;
        }
    }
    MatchRow match(int day, int home, int away, int g1, int g2) {
        return {1, 2026, day, home, away, g1, g2, g1 > g2 ? "V1" : g1 < g2 ? "V2" : "N", 0, 0};
    }
    bool save(const MatchRow& m) {
        std::unique_ptr<xb::TXbDbf> t;
        if (!OpenTable(t, "resultat.dbf")) return false;
        const bool ok = SaveMatchResult(*t, m);
        CloseTable(t);
        return ok;
    }
};

TEST_F(WritesTest, AMatchIsOneRowByItsFiveNumbersAndItsKeysHaveTheirTablesWidths) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    ASSERT_TRUE(save(match(7, 3, 4, 2, 1)));
    ASSERT_TRUE(save(match(7, 3, 4, 0, 0)));  // the same match: updated
    ASSERT_TRUE(save(match(7, 3, 5, 1, 1)));  // the home team's second match of the day
    ASSERT_TRUE(save(match(8, 3, 4, 1, 2)));
    std::multiset<std::string> rows;
    for (const Row& r : rowsOf("resultat.dbf")) rows.insert(text(r));
    EXPECT_EQ(
        rows,
        (std::multiset<std::string>{
            "annee=2026 beq1=0 beq2=0 coder=N nuchamp=1 nueq1=3 nueq2=4 nujournee=7 pteq1=0 pteq2=0 ",
            "annee=2026 beq1=1 beq2=1 coder=N nuchamp=1 nueq1=3 nueq2=5 nujournee=7 pteq1=0 pteq2=0 ",
            "annee=2026 beq1=1 beq2=2 coder=V2 nuchamp=1 nueq1=3 nueq2=4 nujournee=8 pteq1=0 pteq2=0 "}));

    // The keys as an independent index reader sees them: matchday 7 is "  7" in resultat, " 7" in but.
    {
        std::unique_ptr<xb::TXbDbf> but;
        ASSERT_TRUE(OpenTable(but, "but.dbf"));
        ASSERT_TRUE(WriteRow(
            *but, [] { return false; },
            [](xb::TXbDbf& b) {
                for (auto [f, v] : {std::pair{"NUCHAMP", 1},
                                    {"ANNEE", 2026},
                                    {"NUJOURNEE", 7},
                                    {"NUEQ1", 3},
                                    {"NUEQ2", 4},
                                    {"NUJOUEUR", 305},
                                    {"NUEQBEN", 1},
                                    {"MINUTE", 12},
                                    {"TYPE", 0}})
                    b.FieldPutInt(f, v);
            }));
        CloseTable(but);
    }
    const std::string resultKeys =
        xbtest::RunCommand("index_dump " + xbtest::ShellQuote(tmp.file("resultat.mdx")) + " CHANJOEQ1");
    EXPECT_NE(resultKeys.find("  12026  7    3"), std::string::npos) << resultKeys;
    const std::string goalKeys =
        xbtest::RunCommand("index_dump " + xbtest::ShellQuote(tmp.file("but.mdx")) + " NUCHAMP");
    EXPECT_NE(goalKeys.find("    12026 7    3    4 12  305"), std::string::npos) << goalKeys;
}

TEST_F(WritesTest, ValuesThatDoNotFitAreRefusedBeforeAnyWrite) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    ASSERT_TRUE(save(match(1, 1, 2, 1, 0)));
    const auto before = files();
    std::unique_ptr<xb::TXbDbf> resultat, champan, champion, eqchamp;
    ASSERT_TRUE(OpenTable(resultat, "resultat.dbf"));
    ASSERT_TRUE(OpenTable(champan, "champan.dbf"));
    ASSERT_TRUE(OpenTable(champion, "champion.dbf"));
    ASSERT_TRUE(OpenTable(eqchamp, "eqchamp.dbf"));
    MatchRow m = match(1, 1, 3, 1, 0);
    struct Case {
        const char* what;
        std::function<bool()> write;
    } cases[] = {
        {"championship 1000",
         [&] {
             auto r = m;
             r.championship = 1000;
             return SaveMatchResult(*resultat, r);
         }},
        {"championship 0",
         [&] {
             auto r = m;
             r.championship = 0;
             return SaveMatchResult(*resultat, r);
         }},
        {"matchday 100",
         [&] {
             auto r = m;
             r.matchday = 100;
             return SaveMatchResult(*resultat, r);
         }},
        {"year 10000",
         [&] {
             auto r = m;
             r.year = 10000;
             return SaveMatchResult(*resultat, r);
         }},
        {"team 100000",
         [&] {
             auto r = m;
             r.away = 100000;
             return SaveMatchResult(*resultat, r);
         }},
        {"1000 goals",
         [&] {
             auto r = m;
             r.homeGoals = 1000;
             return SaveMatchResult(*resultat, r);
         }},
        {"code of three",
         [&] {
             auto r = m;
             r.code = "AUX";
             return SaveMatchResult(*resultat, r);
         }},
        {"rules of championship 1000",
         [&] {
             return SaveSeasonParams(*champan, 1000, 2026, {3, 1, 0, 0, 0, 20, 0});
         }},
        {"100 teams",
         [&] {
             return SaveSeasonParams(*champan, 1, 2026, {3, 1, 0, 0, 0, 100, 0});
         }},
        {"championship 1000 named", [&] { return SaveChampionship(*champion, 1000, "Mille"); }},
        {"name of 31", [&] { return SaveChampionship(*champion, 5, QString(31, 'x')); }},
        {"link to championship 1000", [&] { return AddTeamToChampionshipT(*eqchamp, 2026, 1000, false, 1); }},
        {"link by its own open", [&] { return AddTeamToChampionship(2026, 1000, 1); }},
        {"squad of team 0", [&] { return AddPlayerToTeam(2026, 0, 5); }},
        {"delete championship 1000", [&] { return DeleteChampionship(1000); }},
        {"goals of a matchday without championship", [&] { return DeleteTeamGoals(1, 2026, 0, 1); }},
        {"cards of a championship without year", [&] { return DeleteTeamCards(1, 0, 1, 0); }},
    };
    for (const Case& c : cases) EXPECT_FALSE(c.write()) << c.what;
    EXPECT_EQ(CreateChampionship(*champion, QString(31, 'x')), 0);
    for (auto* t : {&resultat, &champan, &champion, &eqchamp}) CloseTable(*t);
    EXPECT_EQ(files(), before);
}

TEST_F(WritesTest, NumbersAreTakenUnderTheAppendLockAndStopAt999) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    std::unique_ptr<xb::TXbDbf> champion, equipe;
    ASSERT_TRUE(OpenTable(champion, "champion.dbf"));
    ASSERT_TRUE(OpenTable(equipe, "equipe.dbf"));
    EXPECT_EQ(NextChampionshipNumber(*champion), 1);
    EXPECT_EQ(CreateChampionship(*champion, "Premier"), 1);
    EXPECT_EQ(CreateChampionship(*champion, "Second"), 2);
    EXPECT_EQ(CreateTeam(*equipe, QString::fromUtf8("Brøndby IF")), 1);
    ASSERT_TRUE(SaveChampionship(*champion, 998, "Presque"));
    EXPECT_EQ(NextChampionshipNumber(*champion), 999);
    EXPECT_EQ(CreateChampionship(*champion, "Dernier"), 999);
    EXPECT_EQ(NextChampionshipNumber(*champion), 0);
    EXPECT_EQ(CreateChampionship(*champion, "Trop"), 0);
    ASSERT_TRUE(SaveChampionship(*champion, 2, "Second, renamed"));
    EXPECT_EQ(GetChampionshipNameT(*champion, 2), "Second, renamed");
    EXPECT_EQ(FindChampionshipNumber(*champion, "Dernier"), 999);
    CloseTable(champion);
    CloseTable(equipe);
    EXPECT_EQ(rowsOf("champion.dbf").size(), 4u);
    EXPECT_EQ(GetTeamName(1), QString::fromUtf8("Brøndby IF"));
}

TEST_F(WritesTest, LinksAndRulesAreWrittenOnce) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(AddTeamToChampionship(2026, 1, 7));
        EXPECT_TRUE(AddPlayerToTeam(2026, 7, 701));
        std::unique_ptr<xb::TXbDbf> champan;
        ASSERT_TRUE(OpenTable(champan, "champan.dbf"));
        EXPECT_TRUE(SaveSeasonParams(*champan, 1, 2026, {3, 1, 0, 3, 0, 20 + i, 0}));
        CloseTable(champan);
    }
    std::unique_ptr<xb::TXbDbf> eqchamp;
    ASSERT_TRUE(OpenTable(eqchamp, "eqchamp.dbf"));
    // With "any championship" a team already playing that year is not linked again.
    EXPECT_TRUE(AddTeamToChampionshipT(*eqchamp, 2026, 2, true, 7));
    EXPECT_TRUE(AddTeamToChampionshipT(*eqchamp, 2026, 2, false, 7));
    EXPECT_TRUE(AddTeamToChampionshipT(*eqchamp, 2026, 2, false, 7));
    CloseTable(eqchamp);
    EXPECT_EQ(rowsOf("eqchamp.dbf").size(), 2u);
    EXPECT_EQ(rowsOf("joueq.dbf").size(), 1u);
    EXPECT_EQ(rowsOf("champan.dbf").size(), 1u);
    EXPECT_EQ(GetSeasonParams(1, 2026), (SeasonRules{3, 1, 0, 3, 0, 21, 40}));
}

TEST_F(WritesTest, EachDeleteRemovesExactlyItsRowsInAllNineTables) {
    fill();
    // A second home match of team 5 on matchday 3, with a goal and a card of its own.
    ASSERT_TRUE(save(match(3, 5, 17, 1, 0)));
    auto event = [](int away, int player, int minute) {
        return [=](xb::TXbDbf& b) {
            for (auto [f, v] : {std::pair{"NUCHAMP", 1},
                                {"ANNEE", 2026},
                                {"NUJOURNEE", 3},
                                {"NUEQ1", 5},
                                {"NUEQ2", away},
                                {"NUJOUEUR", player},
                                {"NUEQBEN", 1},
                                {"MINUTE", minute},
                                {"TYPE", 0}})
                b.FieldPutInt(f, v);
        };
    };
    for (const char* file : {"but.dbf", "carton.dbf"}) {
        LeagueTableScope t("events", file);
        ASSERT_TRUE(WriteRow(
            *t, [] { return false; }, event(17, 501, 77)));
    }
    const int otherAway = [&] {
        for (const Row& r : rowsOf("resultat.dbf"))
            if (num(r, "nujournee") == 3 && num(r, "nueq1") == 5 && num(r, "nueq2") != 17)
                return num(r, "nueq2");
        return 0;
    }();
    auto isTeam = [](int team) {
        return [team](const Row& r) { return num(r, "nueq1") == team || num(r, "nueq2") == team; };
    };
    auto ofMatch = [](int day, int home, int away) {
        return [=](const Row& r) {
            return num(r, "nuchamp") == 1 && num(r, "annee") == 2026 && num(r, "nujournee") == day &&
                   num(r, "nueq1") == home && num(r, "nueq2") == away;
        };
    };
    auto field = [](const char* f, int v) { return [=](const Row& r) { return num(r, f) == v; }; };

    struct Case {
        const char* what;
        std::function<bool()> run;
        Gone gone;
        bool answer = true;
    } cases[] = {
        {"match goals keep the other match of the day",
         [&] { return DeleteMatchGoals(1, 2026, 3, 5, 17); },
         {{"but.dbf", ofMatch(3, 5, 17)}}},
        {"match cards",
         [&] { return DeleteMatchCards(1, 2026, 3, 5, otherAway); },
         {{"carton.dbf", ofMatch(3, 5, otherAway)}}},
        {"match result",
         [&] {
             std::unique_ptr<xb::TXbDbf> t;
             OpenTable(t, "resultat.dbf");
             const bool ok = DeleteMatchResult(*t, 1, 2026, 3, 5, 17);
             CloseTable(t);
             return ok;
         },
         {{"resultat.dbf", ofMatch(3, 5, 17)}}},
        {"team goals of a matchday",
         [&] { return DeleteTeamGoals(6, 2026, 1, 4); },
         {{"but.dbf", [&](const Row& r) { return isTeam(6)(r) && num(r, "nujournee") == 4; }}}},
        {"team cards of every match", [&] { return DeleteTeamCards(6); }, {{"carton.dbf", isTeam(6)}}},
        {"squad row", [&] { return DeleteRosterEntries(305, 3, 2026); }, {{"joueq.dbf", field("nujo", 305)}}},
        {"whole squad", [&] { return DeleteRosterEntries(0, 4, 0); }, {{"joueq.dbf", field("nueq", 4)}}},
        {"squad of nobody", [&] { return DeleteRosterEntries(0, 4, 0); }, {}, false},
        {"season link",
         [&] { return RemoveTeamFromChampionship(SeasonYear(2026), TeamNumber(9), ChampionshipNumber(1)); },
         {{"eqchamp.dbf", field("nuequipe", 9)}}},
        {"link that is not there",
         [&] { return RemoveTeamFromChampionship(SeasonYear(2025), TeamNumber(9), ChampionshipNumber(1)); },
         {},
         false},
        {"player with his goals, cards and squads",
         [&] { return DeletePlayer(1203); },
         {{"but.dbf", field("nujoueur", 1203)},
          {"carton.dbf", field("nujoueur", 1203)},
          {"joueq.dbf", field("nujo", 1203)},
          {"joueur.dbf", field("nujoueur", 1203)}}},
        {"team with its links and results",
         [&] { return DeleteTeam(8); },
         {{"eqchamp.dbf", field("nuequipe", 8)},
          {"resultat.dbf", isTeam(8)},
          {"equipe.dbf", field("nuequipe", 8)}}},
        {"championship with everything of it",
         [&] { return DeleteChampionship(1); },
         {{"champan.dbf", field("nuchamp", 1)},
          {"champion.dbf", field("nuchamp", 1)},
          {"eqchamp.dbf", field("nuchamp", 1)},
          {"resultat.dbf", field("nuchamp", 1)},
          {"but.dbf", field("nuchamp", 1)},
          {"carton.dbf", field("nuchamp", 1)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto want = without(c.gone);
        for (const auto& [file, select] : c.gone) {
            bool any = false;
            for (const Row& r : rowsOf(file)) any = any || select(r);
            EXPECT_TRUE(any) << "the case deletes nothing in " << file;
        }
        EXPECT_EQ(c.run(), c.answer);
        const auto got = database();
        for (const auto& [file, rows] : want) EXPECT_EQ(got.at(file), rows) << file;
    }
    EXPECT_EQ(rowsOf("champion.dbf").size(), 1u);
    expectSoundIndexes();
}

TEST_F(WritesTest, ACascadeStoppedHalfwayCompletesWhenRunAgain) {
    fill();
    // A station keeps a goal row of the championship locked: the cascade stops there, before the parent.
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    ASSERT_EQ(other.ask("hold but.dbf rlock"), "1");
    EXPECT_FALSE(DeleteChampionship(1));
    EXPECT_EQ(GetChampionshipName(1), QString::fromUtf8("Ligue des Régions - élite"));
    EXPECT_EQ(other.ask("release"), "0");
    EXPECT_TRUE(DeleteChampionship(1));
    EXPECT_EQ(GetChampionshipName(1), "");
    for (const char* file : {"champan.dbf", "eqchamp.dbf", "resultat.dbf", "but.dbf", "carton.dbf"})
        for (const Row& r : rowsOf(file)) EXPECT_NE(num(r, "nuchamp"), 1) << file;
    EXPECT_EQ(other.finish(), 0);
}

TEST_F(WritesTest, ALockHeldPastTheBoundRefusesTheWriteAndChangesNoByte) {
    fill();
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    const Row first = rowsOf("resultat.dbf").front();
    MatchRow update{1, 2026, num(first, "nujournee"), num(first, "nueq1"), num(first, "nueq2"), 9, 9, "N",
                    0, 0};
    for (const char* lock : {"rlock", "alock"}) {
        SCOPED_TRACE(lock);
        ASSERT_EQ(other.ask(std::string("hold resultat.dbf ") + lock), "1");
        const auto before = files();
        const MatchRow m = std::string(lock) == "rlock" ? update : match(30, 1, 2, 4, 4);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(save(m));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLockWaitMs));
        EXPECT_EQ(files(), before);
        EXPECT_EQ(other.ask("release"), "0");
        EXPECT_TRUE(save(m));
    }
    EXPECT_EQ(other.finish(), 0);
}

TEST_F(WritesTest, AFailedWriteLeavesNoTableOpenAndEveryTagSound) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    for (int nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        xb::platform::InjectFault(xb::platform::FaultOp::Write, nth, 112);
        bool ok = false;
        try {
            ok = AddTeamToChampionship(2026, 1, nth);
        } catch (const std::exception&) {
            // The engine's failure reaches the caller; what matters is what it left behind.
        }
        for (int a = 1; a <= 35; ++a) EXPECT_EQ(xb::AreaBlock(a), nullptr) << "area " << a;
        xb::platform::ClearFaults();
        engine().errors.pendingError = 0;
        // Nothing of this process holds the table: it opens exclusively.
        auto probe = MakeLeagueDataset("probe", "eqchamp.dbf");
        probe->SetExclusive(true);
        try {
            probe->Open();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        probe->Close();
        const std::vector<Row> rows = rowsOf("eqchamp.dbf");
        EXPECT_EQ(
            std::count_if(rows.begin(), rows.end(), [&](const Row& r) { return num(r, "nuequipe") == nth; }),
            ok ? 1 : 0);
        for (const Row& r : rows) EXPECT_EQ(r.at("annee"), "2026");
        expectSoundIndexes();
    }
}

TEST_F(WritesTest, ARealSeasonSavedThroughTheLibrary) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    const xbtest::CsvSeason season = xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/en-2012-13.csv");
    ASSERT_EQ(season.matches.size(), 380u);
    std::unique_ptr<xb::TXbDbf> t;
    ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
    for (const auto& m : season.matches) {
        const std::string code = m.homeGoals > m.awayGoals ? "V1" : m.homeGoals < m.awayGoals ? "V2" : "N";
        ASSERT_TRUE(
            SaveMatchResult(*t, {1, 2012, m.matchday, m.home, m.away, m.homeGoals, m.awayGoals, code, 0, 0}));
    }
    EXPECT_EQ(t->RecCount(), 380);
    t->SetOrderToTag("CHANJOEQ1");
    for (const auto& m : season.matches) {
        ASSERT_TRUE(t->Find(NumberKey({{1, 3}, {2012, 4}, {m.matchday, 3}, {m.home, 5}})));
        EXPECT_EQ(t->FieldGetInt("NUEQ2"), m.away);
        EXPECT_EQ(t->FieldGetInt("BEQ1"), m.homeGoals);
        EXPECT_EQ(t->FieldGetInt("BEQ2"), m.awayGoals);
    }
    CloseTable(t);
    expectSoundIndexes();
}

// Matches saved one after the other on a volume that fills up, as the match window saves them (the table
// opened, the row stored, the table closed): the save that meets the full disk answers false and leaves
// the results table whole (no row cut short that the next start would take for damage). Another process
// that opens the table alone reads every order right or refuses while the disk is full, and reads every
// order whole once the space is back, each saved match once.
TEST_F(WritesTest, MatchesSavedUntilTheVolumeIsFullStayWholeForTheNextOpen) {
    Tfsysteme fsysteme;
    CloseSystemTables(fsysteme);
    xbtest::SmallVolume volume("768k");
    if (!volume.refused().empty()) GTEST_SKIP() << "no small volume to fill: " << volume.refused();
    SetAppDir(QString::fromStdString(volume.dir() + "/"));
    xbtest::SeasonSize size;
    size.teams = 6;
    size.squad = 5;
    size.matchdays = 10;
    xbtest::FillLeagueTables(volume.dir(), xbtest::MakeSeason(size));
    std::map<std::string, std::string> filled;
    for (const std::string& f : xb::platform::ListMatching(volume.dir(), "*"))
        filled[f] = xbtest::ReadFileBytes(volume.dir() + "/" + f);
    xbtest::ChildProcess next;
    ASSERT_EQ(next.ask("indexunit"), "0");
    const std::string resultat = volume.dir() + "/resultat.dbf";
    const int before = count("resultat.dbf");
    auto refill = [&] {
        app::ReleaseKeptTables();  // the files are written anew behind the engine
        volume.free();
        for (const std::string& f : xb::platform::ListMatching(volume.dir(), "*.@s@"))
            ::unlink((volume.dir() + "/" + f).c_str());
        for (const auto& [f, bytes] : filled) xbtest::WriteFileBytes(volume.dir() + "/" + f, bytes);
    };
    for (size_t left : {0, 4096, 8192, 12288, 16384, 24576, 32768}) {
        SCOPED_TRACE(std::to_string(left) + " bytes left");
        refill();
        volume.fill(left);
        int saved = 0;
        bool failed = false;
        for (int day = 11; day < 400 && !failed; ++day) {
            try {
                failed = !save(match(day, 1 + day % 6, 1 + (day + 1) % 6, day % 4, day % 3));
            } catch (const std::exception&) {
                failed = true;
            }
            engine().errors.pendingError = 0;
            if (!failed) ++saved;
        }
        ASSERT_TRUE(failed) << "the volume never filled";
        // The table ends after its last counted row, with its end-of-file byte.
        const std::string bytes = xbtest::ReadFileBytes(resultat);
        const uint32_t rows = xb::platform::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4);
        const uint16_t header = xb::platform::GetU16(reinterpret_cast<const uint8_t*>(bytes.data()) + 8);
        const uint16_t record = xb::platform::GetU16(reinterpret_cast<const uint8_t*>(bytes.data()) + 10);
        EXPECT_EQ(bytes.size(), header + static_cast<size_t>(rows) * record + 1);
        EXPECT_EQ(bytes.back(), '\x1a');
        EXPECT_EQ(rows, static_cast<uint32_t>(before + saved));
        // Still full: the next station reads right or says why it cannot.
        const std::string full = next.ask("ordercheck " + resultat);
        if (full.rfind("ok ", 0) != 0) EXPECT_TRUE(full[0] == 'E' && full.rfind("E212", 0) != 0) << full;
        volume.free();
        EXPECT_EQ(next.ask("ordercheck " + resultat), "ok " + std::to_string(before + saved) + " 5");
        EXPECT_EQ(count("resultat.dbf"), before + saved);
    }

    // A row the disk cuts: the last block of the results table has less room than a row, the volume has
    // none, and another station keeps the table open (so that its semaphore file is there to log in to).
    auto tableEnd = [&] {
        const std::string bytes = xbtest::ReadFileBytes(resultat);
        const auto* head = reinterpret_cast<const uint8_t*>(bytes.data());
        return std::make_tuple(bytes.size(), xb::platform::GetU32(head + 4), xb::platform::GetU16(head + 8),
                               xb::platform::GetU16(head + 10), bytes.back());
    };
    refill();
    int day = 11;
    for (;; ++day) {
        const auto [bytes, rows, header, record, last] = tableEnd();
        if (bytes % 4096 == 0 || 4096 - bytes % 4096 < record) break;
        ASSERT_TRUE(save(match(day, 1 + day % 6, 1 + (day + 1) % 6, 1, 0)));
    }
    const auto was = tableEnd();
    ASSERT_EQ(next.ask("use " + resultat), "0");
    ASSERT_EQ(next.ask("setindex"), "1");
    volume.fill(0);
    bool stored = true;
    try {
        stored = save(match(day, 1, 2, 3, 3));
    } catch (const std::exception&) {
        stored = false;
    }
    engine().errors.pendingError = 0;
    EXPECT_FALSE(stored);
    EXPECT_EQ(tableEnd(), was) << "the table does not end as before";
    EXPECT_EQ(next.ask("close"), "0");
    volume.free();
    EXPECT_EQ(next.ask("ordercheck " + resultat), "ok " + std::to_string(std::get<1>(was)) + " 5");
    SetAppDir(QString::fromStdString(tmp.path()));
}

}  // namespace
