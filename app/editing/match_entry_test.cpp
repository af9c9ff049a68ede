// The match store on real tables: codes and placement rules, one set of events per match whatever the
// order of saves, a home team's two matches of one matchday kept apart, refused locks completed by a
// second store, rows rewritten in place as a peer reads them, what a store costs in file calls, a
// station killed in the middle of a store, and the matchday page in both styles.
#include "app/editing/match_entry.h"

#include <gtest/gtest.h>

#include "app/editing/matchday_page.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/settings/param_file.h"
#include "app/data/table_pack.h"
#include "engine/core/engine.h"
#include "engine/dataset/engine_start.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"

namespace app {
namespace {

TEST(MatchRules, CodesSignsAndCredit) {
    struct {
        int home, away;
        ResultChoice choice;
    } scores[] = {{2, 1, ResultChoice::V1},
                  {0, 3, ResultChoice::V2},
                  {0, 0, ResultChoice::N},
                  {999, 999, ResultChoice::N}};
    for (const auto& s : scores)
        EXPECT_EQ(ChoiceOfScore(s.home, s.away), s.choice) << s.home << "-" << s.away;

    struct {
        const char* code;
        ResultChoice choice;
        const char* sign;
    } codes[] = {
        {"V1", ResultChoice::V1, ""},  {"V2", ResultChoice::V2, ""},   {"N", ResultChoice::N, ""},
        {"N ", ResultChoice::N, ""},   {"F1", ResultChoice::F1, "F1"}, {"F2", ResultChoice::F2, "F2"},
        {"AU", ResultChoice::AU, "*"}, {"J", ResultChoice::None, ""},  {"", ResultChoice::None, ""}};
    for (const auto& c : codes) {
        EXPECT_EQ(ChoiceOfCode(c.code), c.choice) << c.code;
        EXPECT_EQ(MatchdaySign(c.code), QString::fromLatin1(c.sign)) << c.code;
        if (c.choice != ResultChoice::None) EXPECT_EQ(ChoiceOfCode(CodeOfChoice(c.choice)), c.choice);
    }

    // in home, in away, own goal -> team (0: ask)
    const int credit[][4] = {{1, 0, 0, 1}, {1, 0, 1, 2}, {0, 1, 0, 2}, {0, 1, 1, 1},
                             {0, 0, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 0}, {1, 1, 1, 0}};
    for (const auto& c : credit) EXPECT_EQ(CreditedTeam(c[0], c[1], c[2]), c[3]);

    struct {
        const char* text;
        int low, high;
        std::optional<int> value;
    } ranges[] = {{"0", 0, 999, 0},       {"999", 0, 999, 999}, {"1000", 0, 999, {}},
                  {"", 0, 999, {}},       {"1a", 0, 999, {}},   {"-99", -99, 999, -99},
                  {"-100", -99, 999, {}}, {"200", 1, 120, {}},  {" 5", 1, 120, {}}};
    for (const auto& r : ranges) EXPECT_EQ(NumberInRange(r.text, r.low, r.high), r.value) << r.text;
}

TEST(MatchRules, EventsGoAfterTheLastOneNotLater) {
    QStringList grid;
    for (int minute : {20, 30, 20, 25, 10, 120, 1, 30})
        grid.insert(FindRowByMinute(grid, minute) - 1, QString::number(minute));
    EXPECT_EQ(grid, QStringList({"1", "10", "20", "20", "25", "30", "30", "120"}));
    // Rows without a number (an empty first row) never move an event.
    EXPECT_EQ(FindRowByMinute({""}, 5), 1);
    EXPECT_EQ(FindRowByMinute({"7", "x", "9"}, 8), 2);
}

class MatchStoreTest : public xbtest::EngineTest {
protected:
    MatchStoreTest() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        EXPECT_TRUE(OpenTable(resultat, "resultat.dbf"));
    }
    ~MatchStoreTest() override {
        CloseTable(resultat);
        SetAppDir(QString());
        LanguageIndex = 1;
    }
    MatchRow row(int home, int away, int g1, int g2, const char* code = "V1") {
        MatchRow r;
        r.championship = 1;
        r.year = 2026;
        r.matchday = 50;
        r.home = home;
        r.away = away;
        r.homeGoals = g1;
        r.awayGoals = g2;
        r.code = code;
        return r;
    }
    static MatchKey key(const MatchRow& r) { return {r.championship, r.year, r.matchday, r.home, r.away}; }
    static int fileRows(const char* file) {
        LeagueTableScope t("filerows", file);
        return static_cast<int>(t->RecCount());
    }
    // Every tag of the event tables sound and holding one key per row of the file, deleted rows included
    // (a delete keeps a row's keys until the pack).
    void expectEveryRowKeyedOnce() {
        for (const char* table : {"but", "carton"}) {
            xbtest::MdxCheckOptions options;
            options.freshBuild = false;
            options.maxRecord = static_cast<uint32_t>(fileRows((std::string(table) + ".dbf").c_str()));
            const xbtest::MdxReport report = xbtest::CheckMdxFile(tmp.file(std::string(table) + ".mdx"), options);
            EXPECT_TRUE(report.ok()) << table << ": " << report.text();
            for (const auto& tag : report.tags) EXPECT_EQ(tag.entries.size(), options.maxRecord) << table;
        }
    }
    int rowsOf(const MatchRow& r) {
        int n = 0;
        LeagueTableScope t("count", "resultat.dbf");
        for (t->First(); !t->Eof(); t->Next())
            n += t->FieldGetInt("NUCHAMP") == r.championship && t->FieldGetInt("ANNEE") == r.year &&
                 t->FieldGetInt("NUJOURNEE") == r.matchday && t->FieldGetInt("NUEQ1") == r.home &&
                 t->FieldGetInt("NUEQ2") == r.away;
        return n;
    }
    std::unique_ptr<xb::TXbDbf> resultat;
};

TEST_F(MatchStoreTest, OneRowAndOneSetOfEventsPerMatch) {
    const MatchRow a = row(1, 2, 2, 1), b = row(1, 3, 0, 0, "N");
    const std::vector<MatchEvent> goalsA = {{101, 12, 0, 1}, {201, 40, 2, 1}, {102, 88, 1, 1}};
    const std::vector<MatchEvent> cardsA = {{103, 30, 0, 1}};
    const std::vector<MatchEvent> goalsB = {{105, 5, 0, 1}};
    EXPECT_EQ(rowsOf(a), 0);
    ASSERT_TRUE(SaveMatchResult(*resultat, a));
    EXPECT_EQ(rowsOf(a), 1);
    ASSERT_EQ(StoreMatch(*resultat, a, goalsA, cardsA, false), StoreOutcome::Saved);
    EXPECT_EQ(rowsOf(a), 1);
    ASSERT_EQ(StoreMatch(*resultat, b, goalsB, {}, false), StoreOutcome::Saved);
    // Saved again with other events: still one row, only the new set.
    const std::vector<MatchEvent> goalsA2 = {{101, 12, 0, 1}, {202, 70, 0, 2}, {102, 90, 0, 1}};
    ASSERT_EQ(StoreMatch(*resultat, a, goalsA2, cardsA, false), StoreOutcome::Saved);
    EXPECT_EQ(rowsOf(a), 1);
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), goalsA2);
    EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key(a)), cardsA);
    // The home team's other match that matchday keeps its goals.
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(b)), goalsB);

    // Empty grids delete the match's events only.
    ASSERT_EQ(StoreMatch(*resultat, a, {}, {}, false), StoreOutcome::Saved);
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, key(a)).empty());
    EXPECT_TRUE(LoadMatchEvents(EventTable::Cards, key(a)).empty());
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(b)), goalsB);

    // Deleting one of the two keeps the other's row and events.
    ASSERT_EQ(StoreMatch(*resultat, a, goalsA, cardsA, false), StoreOutcome::Saved);
    ASSERT_TRUE(DeleteMatch(*resultat, key(b)));
    EXPECT_EQ(rowsOf(b), 0);
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, key(b)).empty());
    EXPECT_EQ(rowsOf(a), 1);
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), goalsA);

    // A modify of the deleted match stores nothing.
    EXPECT_EQ(StoreMatch(*resultat, b, goalsB, {}, true), StoreOutcome::Gone);
    EXPECT_EQ(rowsOf(b), 0);
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, key(b)).empty());

    const std::optional<MatchRow> stored = ReadMatch(*resultat, key(a));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->homeGoals, 2);
    EXPECT_EQ(stored->code, "V1");
}

// A match stored again rewrites its goals and cards without a pack, whose cost grows with the history
// and which needs the table alone: a changed event takes the row of one that went, an unchanged one keeps
// its row, and only the rows left over are deleted (hidden from every read at once, in the file while the
// program runs, also with another handle holding the tables) and leave it at the shutdown's pack.
TEST_F(MatchStoreTest, StoringAgainNeverPacksAndTheShutdownPackRemovesTheReplacedRows) {
    const MatchRow a = row(1, 2, 2, 1), b = row(1, 3, 1, 0);
    const std::vector<MatchEvent> goals1 = {{101, 12, 0, 1}, {201, 40, 0, 2}}, goals2 = {{102, 60, 0, 1}};
    const std::vector<MatchEvent> cards = {{103, 30, 0, 1}};
    auto fileRows = [](const char* file) {
        LeagueTableScope t("filerows", file);
        return static_cast<int>(t->RecCount());
    };
    const int goalsBefore = fileRows("but.dbf"), cardsBefore = fileRows("carton.dbf");
    auto store = [&](const std::vector<MatchEvent>& goals) {
        ASSERT_EQ(StoreMatch(*resultat, a, goals, cards, false), StoreOutcome::Saved);
        EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), goals);
        EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key(a)), cards);
    };
    store(goals1);
    store(goals2);
    {
        LeagueTableScope other("othergoals", "but.dbf"), otherCards("othercards", "carton.dbf");
        store(goals1);
    }
    ASSERT_EQ(StoreMatch(*resultat, b, goals2, {}, false), StoreOutcome::Saved);
    ASSERT_TRUE(DeleteMatch(*resultat, key(b)));
    // Two rows for goals1, goals2 in one of them (the other deleted), goals1 again in it and one more;
    // the card stays in its row throughout; b's goal is deleted with b.
    EXPECT_EQ(fileRows("but.dbf"), goalsBefore + 4);
    EXPECT_EQ(fileRows("carton.dbf"), cardsBefore + 1);

    // The shutdown: the rows and the index keys of the replaced and deleted rows are gone.
    CloseTable(resultat);
    // The tables with rows deleted are packed; the others, which a pack would not change, are left alone.
    for (const TablePackResult& r : PackAllTables(GetAppDir())) {
        if (r.table == QStringLiteral("but") || r.table == QStringLiteral("resultat"))
            EXPECT_EQ(r.outcome, PackOutcome::Packed) << r.table.toStdString();
        else
            EXPECT_TRUE(r.outcome == PackOutcome::Packed || r.outcome == PackOutcome::AsItIs) << r.table.toStdString();
    }
    EXPECT_EQ(fileRows("but.dbf"), goalsBefore + 2);
    EXPECT_EQ(fileRows("carton.dbf"), cardsBefore + 1);
    for (const char* table : {"but", "carton", "resultat"}) {
        xbtest::MdxCheckOptions options;
        options.freshBuild = false;
        options.maxRecord = static_cast<uint32_t>(fileRows((std::string(table) + ".dbf").c_str()));
        const xbtest::MdxReport report = xbtest::CheckMdxFile(tmp.file(std::string(table) + ".mdx"), options);
        EXPECT_TRUE(report.ok()) << table << ": " << report.text();
    }
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), goals1);
    EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key(a)), cards);
}

TEST_F(MatchStoreTest, RefusedLocksAreReportedAndASecondStoreCompletes) {
    const MatchRow a = row(4, 5, 1, 0);
    const std::vector<MatchEvent> goals = {{1, 10, 0, 1}, {2, 20, 0, 1}};
    const std::vector<MatchEvent> cards = {{3, 15, 1, 2}};
    ASSERT_EQ(StoreMatch(*resultat, a, goals, cards, false), StoreOutcome::Saved);
    std::vector<MatchEvent> moreGoals = goals, moreCards = cards;
    for (const char* file : {"but.dbf", "carton.dbf"}) {
        SCOPED_TRACE(file);
        LeagueTableScope other("otherstation", file);  // another handle: its locks exclude ours
        ASSERT_TRUE(other->ALock());
        // Events stored as they are need no lock; one more of each needs the append lock.
        EXPECT_EQ(StoreMatch(*resultat, a, moreGoals, moreCards, false), StoreOutcome::Saved);
        moreGoals.push_back({4, 70 + static_cast<int>(moreGoals.size()), 0, 1});
        moreCards.push_back({5, 80 + static_cast<int>(moreCards.size()), 0, 2});
        EXPECT_EQ(StoreMatch(*resultat, a, moreGoals, moreCards, false), StoreOutcome::LockFailed);
        other->UnLock();
        EXPECT_EQ(StoreMatch(*resultat, a, moreGoals, moreCards, false), StoreOutcome::Saved);
        EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), moreGoals);
        EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key(a)), moreCards);
    }
    const std::vector<MatchEvent> stored = LoadMatchEvents(EventTable::Goals, key(a));
    // The row held by another station: nothing changes.
    LeagueTableScope other("otherstation", "resultat.dbf");
    ASSERT_TRUE(SeekMatchRow(*other, key(a)));
    ASSERT_TRUE(other->RLock());
    EXPECT_EQ(StoreMatch(*resultat, row(4, 5, 3, 3, "N"), {}, {}, false), StoreOutcome::LockFailed);
    EXPECT_FALSE(DeleteMatch(*resultat, key(a)));
    other->UnLock();
    EXPECT_EQ(ReadMatch(*resultat, key(a))->homeGoals, 1);
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), stored);
}

// Stored again, an unchanged event keeps its row, a changed one takes the row of one that went, and the
// file grows only by the events beyond the rows the match had: every row keyed once, and what an
// independent reader (Perl XBase) finds in the file is the last set stored.
TEST_F(MatchStoreTest, AStoreAgainRewritesChangedEventsInPlaceAsAPeerReadsThem) {
    const MatchRow a = row(8, 9, 3, 1);
    const MatchEvent g1{801, 10, 0, 1}, g2{802, 20, 0, 1}, g3{901, 30, 0, 2}, g4{803, 88, 1, 1};
    const MatchEvent c1{804, 40, 0, 1}, c2{902, 50, 1, 2};
    struct Step {
        std::vector<MatchEvent> goals, cards;
        int goalRows, cardRows;  // the rows the files have gained since the start
    } steps[] = {
        {{g1, g2, g3}, {c1, c2}, 3, 2},
        {{g1, g2, g3}, {c1, c2}, 3, 2},                          // unchanged: nothing written
        {{g1, {805, 25, 0, 1}, g3}, {c1, {903, 51, 1, 2}}, 3, 2},  // one of each changed: in place
        {{g1, g3}, {c1}, 3, 2},                                  // fewer: deleted, no row added
        {{g1, g2, g3, g4}, {c2}, 5, 2},                          // two more: appended
    };
    const int goalsBefore = fileRows("but.dbf"), cardsBefore = fileRows("carton.dbf");
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        const Step& s = steps[i];
        ASSERT_EQ(StoreMatch(*resultat, a, s.goals, s.cards, false), StoreOutcome::Saved);
        EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(a)), s.goals);
        EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key(a)), s.cards);
        EXPECT_EQ(fileRows("but.dbf"), goalsBefore + s.goalRows);
        EXPECT_EQ(fileRows("carton.dbf"), cardsBefore + s.cardRows);
        expectEveryRowKeyedOnce();
    }
    int status = 0;
    xbtest::RunCommand("perl -MXBase -e 1 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "Perl XBase is not installed";
    // The peer's live rows of the match: player|minute|type|team, in record order.
    const std::string script =
        "use XBase; my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; "
        "for my $i (0 .. $t->last_record) { my ($del, @r) = $t->get_record($i, "
        "qw(nuchamp annee nujournee nueq1 nueq2 nujoueur minute type nueqben)); "
        "next if $del || $r[3] != 8 || $r[4] != 9 || $r[2] != 50; print join('|', @r[5 .. 8]), \"\\n\"; }";
    std::vector<std::string> peer;
    std::istringstream lines(xbtest::RunCommand("perl -e " + xbtest::ShellQuote(script) + " " +
                                                xbtest::ShellQuote(tmp.file("but.dbf")) + " 2>&1"));
    for (std::string line; std::getline(lines, line);) peer.push_back(line);
    std::sort(peer.begin(), peer.end());
    std::vector<std::string> want;
    for (const MatchEvent& e : steps[std::size(steps) - 1].goals)
        want.push_back(std::to_string(e.player) + "|" + std::to_string(e.minute) + "|" + std::to_string(e.type) +
                       "|" + std::to_string(e.team));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(peer, want);
}

// What a store costs in file calls, against what reading the same events costs: a match stored again
// unchanged reads and writes no more than that read (plus its row's seek, lock and read), and every
// event beyond the first costs a row write and its nodes, never a lock or a write bracket of its own.
TEST_F(MatchStoreTest, AStoreCostsItsReadsAndOneBatchPerTable) {
    const MatchRow a = row(10, 11, 2, 2, "N");
    auto goals = [](int n) {
        std::vector<MatchEvent> out;
        for (int i = 0; i < n; ++i) out.push_back({1000 + i, 5 + i, 0, 1 + i % 2});
        return out;
    };
    auto calls = [](const std::function<void()>& run) {
        const xb::platform::FileCallCounts before = xb::platform::FileCalls();
        run();
        return xb::platform::FileCalls() - before;
    };
    auto store = [&](const MatchRow& r, int n) {
        return calls([&] { EXPECT_EQ(StoreMatch(*resultat, r, goals(n), {}, false), StoreOutcome::Saved); });
    };
    const auto newWithOne = store(a, 1);
    const auto readBoth = calls([&] {
        LoadMatchEvents(EventTable::Goals, key(a));
        LoadMatchEvents(EventTable::Cards, key(a));
    });
    const auto again = store(a, 1);
    const auto newWithSeven = store(row(12, 13, 7, 0), 7);
    struct {
        const char* what;
        uint64_t got, bound;
    } bounds[] = {
        {"stored again unchanged: calls", again.total(), readBoth.total() + 12},
        {"stored again unchanged: writes", again.write, readBoth.write},
        {"stored again unchanged: locks", again.lock, readBoth.lock + 1},
        // Six more goals: six rows and the nodes they change, in one bracket under one append lock.
        {"six more goals: locks", newWithSeven.lock, newWithOne.lock},
        {"six more goals: calls", newWithSeven.total(), newWithOne.total() + 6 * 4},
    };
    for (const auto& b : bounds) EXPECT_LE(b.got, b.bound) << b.what;
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(row(12, 13, 7, 0))), goals(7));
}

// A station killed before each write of a store in turn, the table's other stations gone: the next
// station's first read repairs whatever the write bracket left half made (the mark the dead one left),
// every row is keyed once, and storing the match again completes it.
TEST_F(MatchStoreTest, AStationKilledInTheMiddleOfAStoreIsRepairedByTheNext) {
    CloseTable(resultat);
    const MatchRow m = row(14, 15, 6, 0);
    std::vector<MatchEvent> goals;
    for (int i = 0; i < 6; ++i) goals.push_back({100 + i, 10 + i, 0, 1 + i % 2});
    const std::vector<MatchEvent> cards = {{300, 45, 0, 2}};
    int kills = 0;
    for (int n = 1; n < 400; ++n) {
        SCOPED_TRACE(n);
        std::string answer;
        {
            xbtest::ChildProcess station(LM_LEAGUE_CHILD_PATH, {});
            ASSERT_EQ(station.ask("dir " + tmp.path() + "/"), "0");
            answer = station.ask("storekill " + std::to_string(n) + " 50 14 15 6");
        }
        if (answer == "done") break;
        ASSERT_EQ(answer, "") << "the station was not killed";
        ++kills;
        // The next station reads: a mark left in the middle of the writes is repaired first.
        const std::vector<MatchEvent> seen = LoadMatchEvents(EventTable::Goals, key(m));
        for (const MatchEvent& e : seen) EXPECT_NE(std::find(goals.begin(), goals.end(), e), goals.end());
        LoadMatchEvents(EventTable::Cards, key(m));
        expectEveryRowKeyedOnce();
        // Storing it again completes the match; the next round starts from nothing stored.
        ASSERT_TRUE(OpenTable(resultat, "resultat.dbf"));
        ASSERT_EQ(StoreMatch(*resultat, m, goals, cards, false), StoreOutcome::Saved);
        EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(m)), goals);
        expectEveryRowKeyedOnce();
        ASSERT_TRUE(DeleteMatch(*resultat, key(m)));
        CloseTable(resultat);
    }
    EXPECT_GT(kills, 20);
    ASSERT_TRUE(OpenTable(resultat, "resultat.dbf"));
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, key(m)), goals);
}

// Two stations store one match at the same time, with other scores and goals: whenever the second one's
// whole store falls inside the first one's, the row and its goals stay one station's, never a mix.
TEST_F(MatchStoreTest, TwoStationsStoringOneMatchLeaveOneStationsRowAndGoals) {
    const MatchRow mine = row(6, 7, 2, 1), theirs = row(6, 7, 0, 3, "V2");
    const std::vector<MatchEvent> myGoals = {{11, 10, 0, 1}, {12, 20, 0, 1}, {71, 30, 0, 2}};
    const std::vector<MatchEvent> theirGoals = {{71, 5, 0, 2}, {72, 50, 0, 2}, {73, 80, 0, 2}};
    ASSERT_EQ(StoreMatch(*resultat, mine, myGoals, {}, false), StoreOutcome::Saved);
    LeagueTableScope other("otherstation", "resultat.dbf");
    int interleaved = 0;
    for (int at = 1; at <= 40; ++at) {
        SCOPED_TRACE(at);
        xb::platform::InjectReadHook(at, [&] {
            xb::Engine& e = xb::Engine::current();
            const uint8_t area = e.currentArea;
            // Only while this station holds no index lock (the write lock, a reader byte) and not the row:
            // the other one would wait for them, in this same thread.
            for (const char* sem : {"resultat.@s@", "but.@s@", "carton.@s@"}) {
                xb::platform::File f;
                if (f.open(tmp.path() + "/" + sem, xb::platform::kModeShared) != 0) continue;
                if (f.lock(1, 4) != 0 || f.lock(0x100, 0x400) != 0) return;
            }
            if (SeekMatchRow(*other, key(theirs)) && other->RLock()) {
                other->UnLock();
                if (StoreMatch(*other, theirs, theirGoals, {}, false) == StoreOutcome::Saved) ++interleaved;
            }
            e.currentArea = area;
        });
        ASSERT_EQ(StoreMatch(*resultat, mine, myGoals, {}, false), StoreOutcome::Saved);
        xb::platform::ClearFaults();
        const std::optional<MatchRow> stored = ReadMatch(*resultat, key(mine));
        ASSERT_TRUE(stored);
        const std::vector<MatchEvent> goals = LoadMatchEvents(EventTable::Goals, key(mine));
        if (stored->homeGoals == 2) {
            EXPECT_EQ(goals, myGoals);
        } else {
            EXPECT_EQ(stored->awayGoals, 3);
            EXPECT_EQ(goals, theirGoals);
        }
    }
    EXPECT_GT(interleaved, 0);
}

TEST_F(MatchStoreTest, EveryMatchOfALongMatchdayIsNamed) {
    // 150 matches on one matchday (teams paired 1..20 with each other): every line gets both names.
    int stored = 0;
    for (int h = 1; h <= 20 && stored < 150; ++h)
        for (int a = 1; a <= 20 && stored < 150; ++a)
            if (h != a) stored += SaveMatchResult(*resultat, row(h, a, h % 4, a % 3));
    ASSERT_EQ(stored, 150);
    const std::vector<MatchdayLine> lines = ReadMatchday(*resultat, 1, 2026, 50);
    ASSERT_EQ(lines.size(), 150u);
    for (const MatchdayLine& l : lines) {
        EXPECT_EQ(l.homeName, GetTeamName(l.home));
        EXPECT_EQ(l.awayName, GetTeamName(l.away));
        EXPECT_FALSE(l.awayName.isEmpty());
    }
    EXPECT_TRUE(ReadMatchday(*resultat, 1, 2026, 51).empty());
}

TEST(MatchdayPage, BothStylesEscapeAndBalance) {
    LanguageIndex = 2;
    HtmlHeaderText.clear();
    HtmlFooterText.clear();
    MatchdayPage page{QStringLiteral("Ligue <1> & \"B\""),
                      QStringLiteral("2012 - 2013"),
                      QStringLiteral("7"),
                      {{QStringLiteral("Brøndby IF"), QStringLiteral(" 2"), QStringLiteral("1 "),
                        QStringLiteral("A&B <FC>")},
                       {QStringLiteral("Malmö FF"), QStringLiteral("0"), QStringLiteral("0"),
                        QStringLiteral("Örebro SK")}}};
    const QString one = QString::fromUtf8(MatchdayHtml(page, 1));
    const QString two = QString::fromUtf8(MatchdayHtml(page, 2));
    const QStringList l1 = one.split(QStringLiteral("\r\n")), l2 = two.split(QStringLiteral("\r\n"));
    for (const char* expected :
         {"<p align=\"center\"><font size=\"5\"><strong><u>ROUND'S RESULTS</u></strong></font></p>",
          "<p align=\"left\"><font size=\"2\">League: Ligue &lt;1&gt; &amp; &quot;B&quot;<br>",
          "Year: 2012 - 2013<br>", "Week: 7<br>", "</font></p>", "<div align=\"center\"><center>",
          "<table border=\"1\" cellspacing=\"0\" >",
          "        <td nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>Team 1</b></font></td>",
          "        <td width=\"35\" nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>&nbsp;</b></font></td>",
          "        <td nowrap  >Brøndby IF</td>", "        <td width=\"35\" align=\"center\"  >2</td>",
          "        <td width=\"35\" align=\"center\"  >1</td>",
          "        <td nowrap  >A&amp;B &lt;FC&gt;</td>",
          "        <td nowrap  bgcolor=\"#F4F4F4\"  >Malmö FF</td>",
          "        <td width=\"35\" align=\"center\"  bgcolor=\"#F4F4F4\"  >0</td>", "</table>",
          "</center></div>", "</html>"})
        EXPECT_TRUE(l1.contains(QString::fromUtf8(expected))) << expected;
    for (const char* expected :
         {"<center><font size=\"5\"><strong>Week: 7<br>", "</strong></font></center>",
          "<table border=\"0\" cellspacing=\"0\" >", "        <td width=\"35\" align=\"center\" >2</td>",
          // The band over a column of names takes no width: the column is as wide as its longest name.
          "        <td bgcolor=\"#0000FF\">&nbsp;</td>",
          "        <td width=\"35\" align=\"center\" bgcolor=\"#F4F4F4\"  >0</td>"})
        EXPECT_TRUE(l2.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_FALSE(two.contains(QStringLiteral("<u>ROUND'S RESULTS</u>")));
    EXPECT_FALSE(two.contains(QStringLiteral("League: ")));
    EXPECT_TRUE(one.contains(QStringLiteral("charset=utf-8")));
    for (const QString& page : {one, two}) {
        for (const char* tag : {"table", "center", "div", "p", "font", "tr", "td", "strong"})
            EXPECT_EQ(
                page.count(QStringLiteral("<%1 ").arg(tag)) + page.count(QStringLiteral("<%1>").arg(tag)),
                page.count(QStringLiteral("</%1>").arg(tag)))
                << tag;
    }
    LanguageIndex = 1;
}

}  // namespace
}  // namespace app
