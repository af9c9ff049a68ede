// The tables routines let go of, kept open and handed to the next routine: the state a routine finds
// them in, what is never kept, the idle time and the pack that needs them closed.
#include <QCoreApplication>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/data/league_lookups.h"
#include "app/data/league_reading.h"
#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "app/data/table_pack.h"
#include "app/data/table_scopes.h"
#include "engine/index/index_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/league_fill.h"
#include "tests/support/lock_wait.h"

namespace {

using namespace app;
using Rows = LeagueTableScope::Rows;

class KeptTablesTest : public leaguetest::LeagueTest {
protected:
    KeptTablesTest() {
        xbtest::SeasonSize size;
        size.matchdays = 30;
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason(size));
    }
    std::unique_ptr<xbtest::ChildProcess> station() {
        auto c = std::make_unique<xbtest::ChildProcess>(LM_LEAGUE_CHILD_PATH, std::vector<std::string>{});
        EXPECT_EQ(c->ask("dir " + tmp.path()), "0");
        return c;
    }
};

// What a routine can see of where its table stands.
std::string stateOf(xb::TXbDbf& t, bool withKey) {
    t.BeginOperation("state");
    std::string s = xb::IndexTagName(xb::CurrentOrder()) + (t.HideDeletedRecs() ? " hidden" : " shown");
    // Opened on a key, the table stands on it once FindOpenKey, which the routine asks first, says so.
    if (!withKey) s += t.IsEof() ? " eof" : " at " + std::to_string(t.RecNo());
    if (withKey) {
        s += t.FindOpenKey() ? " key at " + std::to_string(t.RecNo()) : " no key";
        for (WhileScope walk(t, "NUJOURNEE=1"); !t.IsEof(); t.Skip(1))
            s += " " + std::to_string(t.RecNo()) + (t.IsDeleted() ? "d" : "");
    }
    return s;
}

TEST_F(KeptTablesTest, ATableHandedOverStandsWhereAFreshOpenStandsForEveryUse) {
    SetKeptTableIdle(std::chrono::hours(1));
    // A deleted goal of the first match: the uses that show deleted rows must meet it.
    {
        LeagueTableScope t("delete", "but.dbf");
        ASSERT_TRUE(t->RLock());
        t->DeleteRec();
        t->UnLock();
    }
    struct Use {
        std::string tag;
        Rows rows;
        std::string key;
    };
    const std::vector<Use> uses = {{"", Rows::kLive, ""},
                                   {"NUCHAMP", Rows::kLive, ""},
                                   {"NUJOUEUR", Rows::kLive, ""},
                                   {"NUCHAMP", Rows::kWithDeleted, "000012026"},
                                   {"NUCHAMP", Rows::kWithDeleted, "000019999"},
                                   {"NUCHAMP", Rows::kLive, "000012026"}};
    for (const Use& before : uses) {
        for (const Use& use : uses) {
            SCOPED_TRACE(before.tag + "/" + before.key + " then " + use.tag + "/" + use.key);
            ReleaseKeptTables();
            std::string fresh, handed;
            {
                LeagueTableScope t("fresh", "but.dbf", use.tag, use.rows, use.key);
                fresh = stateOf(*t, !use.key.empty());
            }
            ReleaseKeptTables();
            {
                // The routine before leaves the table elsewhere, in its own order.
                LeagueTableScope t("before", "but.dbf", before.tag, before.rows, before.key);
                t->Last();
            }
            ASSERT_EQ(KeptTableCount(), 1);
            {
                LeagueTableScope t("handed", "but.dbf", use.tag, use.rows, use.key);
                EXPECT_EQ(KeptTableCount(), 0);
                handed = stateOf(*t, !use.key.empty());
            }
            EXPECT_EQ(handed, fresh);
        }
    }
}

TEST_F(KeptTablesTest, ATableLeftLimitedHeldOrByAnErrorIsClosedNotKept) {
    SetKeptTableIdle(std::chrono::hours(1));
    struct Ending {
        const char* what;
        std::function<void(xb::TXbDbf&)> leave;
        bool kept;
    };
    const std::vector<Ending> endings = {
        {"as it was opened", [](xb::TXbDbf&) {}, true},
        {"moved and in another order", [](xb::TXbDbf& t) { t.SetOrderToTag("NOMEQUIPE"), t.Last(); }, true},
        {"a while-condition left", [](xb::TXbDbf& t) { t.SetWhileTo("NUEQUIPE<3"); }, false},
        {"a filter left", [](xb::TXbDbf& t) { t.SetFilterTo("NUEQUIPE>3"); }, false},
        {"a record lock left", [](xb::TXbDbf& t) { ASSERT_TRUE(t.RLock()); }, false},
        {"the append lock left", [](xb::TXbDbf& t) { ASSERT_TRUE(t.ALock()); }, false},
        {"an edit left", [](xb::TXbDbf& t) { t.Edit(); }, false},
        {"an exception", [](xb::TXbDbf&) { throw std::runtime_error("routine failed"); }, false},
    };
    for (const Ending& e : endings) {
        SCOPED_TRACE(e.what);
        ReleaseKeptTables();
        try {
            LeagueTableScope t("ending", "equipe.dbf", "NUMERO");
            e.leave(*t);
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(KeptTableCount(), e.kept ? 1 : 0);
        // Another station can lock what a closed table held; a kept one holds nothing.
        auto other = station();
        EXPECT_EQ(other->ask("hold equipe.dbf alock"), "1");
        EXPECT_EQ(other->ask("release"), "0");
    }
}

TEST_F(KeptTablesTest, KeptTablesAreClosedAfterTheIdleTimeOrAtOnceForThePack) {
    constexpr auto kIdle = std::chrono::milliseconds(300);
    SetKeptTableIdle(kIdle);
    auto other = station();
    auto read = [] {
        {
            LeagueTableScope t("read", "equipe.dbf", "NUMERO");
            EXPECT_TRUE(t->Find("1"));
        }
        EXPECT_TRUE(PlayerInTeam(101, 1, 2026));
    };
    // Without an event loop: the next routine closes what waited too long.
    read();
    EXPECT_EQ(KeptTableCount(), 2);
    EXPECT_EQ(other->ask("exclusive equipe.dbf"), "0") << "no table was kept";
    std::this_thread::sleep_for(kIdle + std::chrono::milliseconds(50));
    EXPECT_TRUE(PlayerInTeam(101, 1, 2026));
    EXPECT_EQ(KeptTableCount(), 1);  // joueq.dbf, just let go
    EXPECT_EQ(other->ask("exclusive equipe.dbf"), "1");

    // With Qt's event loop: its timer closes them; another station's exclusive open waits for it by time.
    {
        int argc = 1;
        char name[] = "kept_tables_test";
        char* argv[] = {name, nullptr};
        QCoreApplication loop(argc, argv);
        read();
        EXPECT_EQ(other->ask("exclusive joueq.dbf"), "0");
        EXPECT_TRUE(xbtest::WaitForLock([&] {
            QCoreApplication::processEvents();
            return other->ask("exclusive joueq.dbf") == "1";
        }));
        EXPECT_EQ(KeptTableCount(), 0);
    }

    // The close's pack right after the computations: every table with a deleted row packed, none in use.
    SetKeptTableIdle(std::chrono::hours(1));
    for (const LeagueTable& def : LeagueTables()) {
        LeagueTableScope t("delete", def.file);
        t->SetRecNoValue(2);  // a row the reads below do not need
        ASSERT_TRUE(t->RLock());
        t->DeleteRec();
        t->UnLock();
    }
    for (const LeagueTable& def : LeagueTables()) LeagueTableScope t("kept", def.file);
    EXPECT_EQ(KeptTableCount(), 9);
    for (const TablePackResult& r : PackAllTables(GetAppDir()))
        EXPECT_EQ(r.outcome, PackOutcome::Packed) << r.table.toStdString();
    EXPECT_EQ(KeptTableCount(), 0);
    read();
}

}  // namespace
