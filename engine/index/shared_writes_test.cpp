// Writes of two stations on one shared index, one after the other: what one station keeps of the index
// (tag headers, the file header) must follow every change the other made, whatever kind of write of its
// own comes between. Two areas of one engine on one table are two stations (each has its own handles
// and locks).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/semaphore_file.h"
#include "tests/support/club_stations.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace xb {
namespace {

constexpr int kSeedRows = 40;

// Names spread over the alphabet, so that appends land in every leaf and split the tree at every level.
std::string nameOf(int i) {
    return xbtest::SpreadName(i, 8, 26);
}

class SharedWritesTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        InstallExpressionEngine(engine());
        InstallIndexEngine(engine());
        SetErrorTrap(false);
        SemaphoreSettings().lockRetry = std::chrono::milliseconds(2000);
        SemaphoreSettings().writeTimeout = std::chrono::milliseconds(2000);
        xbtest::OpenClubAsTwoStations(tmp.path(), kSeedRows, nameOf, false);
    }
    void TearDown() override { CloseAllDatabases(); }

    void appendRow(int num) {
        ClearRecord();
        TypedSetString(FieldAddress(1), 8, nameOf(num));
        TypedSetInt(FieldAddress(2), num);
        ASSERT_TRUE(Append()) << ErrorMsg();
    }
    // Rows from..to appended by the station of area, under its append lock.
    void appendIn(int area, int from, int to) {
        ASSERT_TRUE(Select(area));
        ASSERT_TRUE(ALock()) << ErrorMsg();
        for (int i = from; i <= to; ++i) appendRow(i);
        Unlock();
    }
    // A write of the station of area that changes no key, on the record it stands on, under the
    // record's lock: it moves nothing, so it reads nothing of the index before it writes.
    void keylessWriteIn(int area, const std::function<bool()>& write) {
        ASSERT_TRUE(Select(area));
        ASSERT_TRUE(RLock()) << ErrorMsg();
        ASSERT_TRUE(write()) << ErrorMsg();
        Unlock();
    }
};

// Station 1 stands on a row, station 2 grows the index (new nodes, new roots: the tag headers and the
// file header change), station 1 makes a write on its row that changes no key (a delete, a recall)
// and then appends. Its appends must go into the index as station 2 left it: every tag holds
// every row once, with its key, in order.
TEST_F(SharedWritesTest, AKeylessWriteBetweenAnotherStationsChangesAndOwnAppendsLosesNoKey) {
    const std::vector<std::pair<const char*, std::function<bool()>>> writes = {
        {"delete", [] { return DeleteRec(); }},
        {"recall", [] { return RecallRec(); }},
    };
    int next = kSeedRows + 1;
    for (const auto& [what, write] : writes) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(Select(1));
        ASSERT_TRUE(Go(3)) << ErrorMsg();  // station 1 has the headers as they stand now
        appendIn(2, next, next + 1499);
        next += 1500;
        keylessWriteIn(1, write);
        appendIn(1, next, next + 299);
        next += 300;
    }
    const int rows = next - 1;
    CloseAllDatabases();
    const auto report = xbtest::CheckMdxFile(tmp.file("club.mdx"), {false, static_cast<uint32_t>(rows)});
    ASSERT_TRUE(report.ok()) << report.text();
    ASSERT_EQ(report.tags.size(), 2u);
    for (const auto& tag : report.tags) {
        SCOPED_TRACE(tag.name);
        std::vector<uint32_t> records;
        for (const auto& e : tag.entries) records.push_back(e.record);
        std::sort(records.begin(), records.end());
        std::vector<uint32_t> all(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i) all[static_cast<size_t>(i)] = static_cast<uint32_t>(i + 1);
        EXPECT_EQ(records, all);
        if (tag.name != "NOM") continue;
        for (const auto& e : tag.entries)
            EXPECT_EQ(e.key, nameOf(static_cast<int>(e.record))) << "record " << e.record;
    }
}

}  // namespace
}  // namespace xb
