// A restore right after the computations, whose tables this station keeps open for the next one: the
// restore closes them and replaces the database without waiting for their idle time.
#include <gtest/gtest.h>

#include <sstream>

#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/league_writes.h"
#include "app/exchange/database_archive.h"
#include "app/reports/standings.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"

namespace {

using namespace app;

std::string standings() {
    std::ostringstream out;
    for (const StandingsRow& r : ComputeStandingsGrid({1, 2026, 1, 38, 0, 0}).rows)
        out << r.team << " " << r.name.toStdString() << " " << r.c.points << " " << r.c.goalsFor << "\n";
    return out.str();
}

class KeptTablesRestoreTest : public leaguetest::LeagueTest {};

TEST_F(KeptTablesRestoreTest, ARestoreRightAfterTheComputationsReplacesTheDatabase) {
    xbtest::SeasonSize size;
    size.matchdays = 30;
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason(size));
    SetKeptTableIdle(std::chrono::hours(1));
    const std::string dir = tmp.path() + "/";
    const xbtest::TempDir archives;
    const std::string archive = archives.file("season.pmz");
    const std::string before = standings();
    const BackupResult backup = BackupDatabase(dir, archive);
    ASSERT_TRUE(backup.ok) << backup.reason;

    // A match stored after the backup, and the standings computed again on the kept tables.
    std::unique_ptr<xb::TXbDbf> results;
    ASSERT_TRUE(OpenTable(results, "resultat.dbf"));
    ASSERT_TRUE(SaveMatchResult(*results, {1, 2026, 31, 1, 2, 9, 0, "V1", 3, 0}));
    CloseTable(results);
    ASSERT_NE(standings(), before);
    EXPECT_EQ(GetChampionshipName(1).isEmpty(), false);
    // resultat and champion (a lookup's); the computation's small tables were read whole and let go.
    ASSERT_EQ(KeptTableCount(), 2);

    const RestoreResult restored = RestoreDatabase(dir, archive);
    ASSERT_EQ(restored.outcome, RestoreOutcome::kRestored) << restored.reason;
    EXPECT_EQ(KeptTableCount(), 0);
    EXPECT_EQ(standings(), before);
}

}  // namespace
