// Matches stored through the goals and cards tables the match entry window holds open, while another
// station appends matches of its own between the stores and the idle time of kept tables passes: no
// store opens a table, every order of both tables holds every row once and equals a reindex, and each
// match holds the events its last store gave it. The hold outlives the idle time, not a release.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "app/data/kept_tables.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/editing/match_entry.h"
#include "engine/core/work_areas.h"
#include "engine/index/index_driver.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace app;
namespace fs = std::filesystem;

class KeptTablesStoreTest : public leaguetest::LeagueTest {};

TEST_F(KeptTablesStoreTest, MatchesStoredThroughKeptEventTablesBesideAnotherStationsAppendsStayWhole) {
    xbtest::SeasonSize size;
    size.matchdays = 30;
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason(size));
    constexpr auto kIdle = std::chrono::milliseconds(20);
    SetKeptTableIdle(kIdle);
    auto idleTimePasses = [&] {
        std::this_thread::sleep_for(3 * kIdle);
        ReleaseIdleKeptTables();  // what the program's timer does
    };
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    std::unique_ptr<xb::TXbDbf> results;  // as the match entry window keeps it
    ASSERT_TRUE(OpenTable(results, "resultat.dbf"));
    auto held = std::make_unique<KeptTableHold>(kEventTableFiles);
    EXPECT_EQ(KeptTableCount(), 2);

    struct Store {
        MatchRow match;
        std::vector<MatchEvent> goals, cards;
        bool modify;
        const char* between;  // what the other station stores after it
    };
    const std::vector<Store> stores = {
        {{1, 2026, 31, 1, 2, 2, 1, "V1", 0, 0}, {{101, 10, 0, 1}, {102, 50, 0, 1}, {201, 70, 0, 2}},
         {{103, 30, 0, 1}, {204, 80, 1, 2}}, false, "storekill 1000000 32 3 4 5"},
        // The same match again: one goal gone, one changed, a card more.
        {{1, 2026, 31, 1, 2, 1, 1, "N", 0, 0}, {{101, 11, 0, 1}, {201, 70, 0, 2}},
         {{103, 30, 0, 1}, {204, 80, 1, 2}, {105, 89, 0, 1}}, true, "storekill 1000000 33 5 6 3"},
        {{1, 2026, 34, 7, 8, 0, 3, "V2", 0, 0}, {{801, 5, 0, 2}, {802, 6, 0, 2}, {803, 7, 0, 2}}, {}, false,
         "storekill 1000000 35 9 10 2"},
    };
    for (size_t i = 0; i < stores.size(); ++i) {
        const Store& s = stores[i];
        SCOPED_TRACE("store " + std::to_string(i));
        // Something that needs the tables alone (a restore, the start's check) closes them even held;
        // the next store opens them again, and they stay held.
        const bool released = i == 1;
        if (released) ReleaseKeptTables();
        idleTimePasses();
        const uint64_t opens = xb::platform::FileCalls().open;
        ASSERT_EQ(StoreMatch(*results, s.match, s.goals, s.cards, s.modify), StoreOutcome::Saved);
        if (released)
            EXPECT_GT(xb::platform::FileCalls().open, opens);
        else
            EXPECT_EQ(xb::platform::FileCalls().open, opens) << "a held table was opened again";
        EXPECT_EQ(KeptTableCount(), 2);
        EXPECT_EQ(other.ask(s.between), "done");
    }

    // Each match as its last store left it, read through the kept tables and through fresh opens.
    for (const bool fresh : {false, true}) {
        if (fresh) {
            // Let go, they are kept for the idle time like any other, then closed.
            held.reset();
            EXPECT_EQ(KeptTableCount(), 2);
            idleTimePasses();
            EXPECT_EQ(KeptTableCount(), 0);
        }
        for (const size_t i : {size_t{1}, size_t{2}}) {
            const MatchRow& m = stores[i].match;
            const LoadedMatch stored = ReadStoredMatch(*results, {m.championship, m.year, m.matchday, m.home, m.away});
            EXPECT_EQ(stored.goals, stores[i].goals) << i << (fresh ? " fresh" : " kept");
            EXPECT_EQ(stored.cards, stores[i].cards) << i << (fresh ? " fresh" : " kept");
        }
    }
    CloseTable(results);
    ReleaseKeptTables();

    // Every order of both tables holds each row once, in key order, and equals a reindex of a copy.
    xbtest::ChildProcess reader;
    const std::string copy = tmp.file("copy");
    for (const char* name : {"but", "carton"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reader.ask("ordercheck " + tmp.file(std::string(name) + ".dbf")).rfind("ok ", 0), 0u);
        fs::create_directories(copy);
        for (const char* ext : {".dbf", ".mdx"})
            fs::copy_file(tmp.file(name + std::string(ext)), copy + "/" + name + ext);
        ASSERT_TRUE(xb::Use(copy + "/" + name + ".dbf EXCLUSIVE", nullptr, 0) && xb::SetIndexTo("") &&
                    xb::Reindex());
        xb::CloseAllDatabases();
        EXPECT_EQ(xbtest::SortedTagEntries(tmp.file(name + std::string(".mdx"))),
                  xbtest::SortedTagEntries(copy + "/" + name + ".mdx"));
        fs::remove_all(copy);
    }
}

}  // namespace
