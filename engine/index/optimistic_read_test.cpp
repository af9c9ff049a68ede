// Shared moves of an index read optimistically: what they cost in calls of the file system, when they
// may read without a lock, and what happens to a move that another station's change overlapped. Two
// areas of one engine on one table are two stations (each has its own handles and locks); a read hook
// lets the second one write in the middle of the first one's move.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
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
#include "engine/index/mdx_search.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "tests/support/club_stations.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

constexpr int kRows = 300;

// Names spread over the alphabet (none beginning with Z, which the changed rows take), so that a row
// changed in the middle of a walk moves far in the order.
std::string nameOf(int i) {
    return xbtest::SpreadName(i, 6, 25);
}

class OptimisticReadTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        InstallExpressionEngine(engine());
        InstallIndexEngine(engine());
        SetErrorTrap(false);
        SemaphoreSettings().lockRetry = std::chrono::milliseconds(500);
        SemaphoreSettings().writeTimeout = std::chrono::milliseconds(500);
        xbtest::OpenClubAsTwoStations(tmp.path(), kRows, nameOf, true);
        Select(1);
    }
    void TearDown() override {
        platform::ClearFaults();
        CloseAllDatabases();
    }

    std::string name() {
        std::string s = TypedGetString(FieldAddress(1));
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }

    // The other station changes a row's name (its place in the order) and comes back to area 1.
    void renameInArea2(int32_t record, const std::string& to) {
        const uint8_t back = Engine::current().currentArea;
        Select(2);
        ASSERT_TRUE(Go(record));
        ASSERT_TRUE(RLock());
        TypedSetString(FieldAddress(1), 8, to);
        ASSERT_TRUE(Replace()) << ErrorMsg();
        UnlockRec(record);
        Engine::current().currentArea = back;
    }
    // The other station stores a row again as it is: nothing changes but the update counter, and what
    // area 1 read ahead is not used again.
    void rewriteInArea2(int32_t record) {
        const uint8_t back = Engine::current().currentArea;
        Select(2);
        ASSERT_TRUE(Go(record));
        ASSERT_TRUE(RLock());
        ASSERT_TRUE(Replace()) << ErrorMsg();
        UnlockRec(record);
        Engine::current().currentArea = back;
    }
    void appendInArea2(const std::string& nom, int num) {
        const uint8_t back = Engine::current().currentArea;
        Select(2);
        ASSERT_TRUE(ALock());
        ClearRecord();
        TypedSetString(FieldAddress(1), 8, nom);
        TypedSetInt(FieldAddress(2), num);
        ASSERT_TRUE(Append()) << ErrorMsg();
        Unlock();
        Engine::current().currentArea = back;
    }

    // A walk of area 1's order from the top: the names and record numbers it met.
    struct Walk {
        std::vector<std::string> names;
        std::vector<int32_t> records;
    };
    // between runs once, between two steps, after the given number of rows.
    Walk walk(size_t betweenAfter = 0, const std::function<void()>& between = {}) {
        Walk w;
        EXPECT_TRUE(GoTop()) << ErrorMsg();
        while (!dEOF() && w.records.size() < 2 * kRows) {
            w.names.push_back(name());
            w.records.push_back(RecNo());
            if (between && w.records.size() == betweenAfter) between();
            if (!Skip(1)) break;
        }
        return w;
    }
};

// The point of the optimistic read: a step of a walk or a Find reads the record and looks once at the
// semaphore, where the counted read bracket made ten more calls.
TEST_F(OptimisticReadTest, AStepOrAFindCostsTheRecordAndOneLookAtTheSemaphore) {
    Walk w = walk();  // warms the nodes
    ASSERT_EQ(w.records.size(), static_cast<size_t>(kRows));
    platform::FileCallCounts before = platform::FileCalls();
    w = walk();
    platform::FileCallCounts d = platform::FileCalls() - before;
    EXPECT_EQ(w.records.size(), static_cast<size_t>(kRows));
    EXPECT_LE(d.total(), 2u * kRows + 4) << "reads " << d.read << " locks " << d.lock << " stats " << d.stat;
    EXPECT_EQ(d.lock + d.write, 0u);

    before = platform::FileCalls();
    for (int i = 1; i <= kRows; ++i) ASSERT_TRUE(Find(nameOf(i))) << i;
    d = platform::FileCalls() - before;
    EXPECT_LE(d.total(), 2u * kRows + 4);
    EXPECT_EQ(d.lock + d.write, 0u);

    // Going to a record by its number puts the order on it: the same cost.
    before = platform::FileCalls();
    for (int32_t r = kRows; r >= 1; --r) ASSERT_TRUE(Go(r)) << r;
    d = platform::FileCalls() - before;
    EXPECT_LE(d.total(), 2u * kRows + 4)
        << "reads " << d.read << " stats " << d.stat << " locks " << d.lock << " writes " << d.write;
    EXPECT_EQ(d.lock + d.write, 0u);
    // ... and the order stands on it: the next step is the next name.
    std::vector<std::string> names;
    for (int i = 1; i <= kRows; ++i) names.push_back(nameOf(i));
    std::sort(names.begin(), names.end());
    const auto after = std::upper_bound(names.begin(), names.end(), nameOf(1));
    ASSERT_TRUE(Skip(1));
    if (after != names.end()) {
        EXPECT_EQ(name(), *after);
    }
    EXPECT_EQ(CurrentSemaphoreInfo().thrownAway, 0u);
}

// Another station writes while this one walks (inside the walk's first move, at its read, or between
// two steps, a third and two thirds of the way): the walk meets every row once, in key order, each row as it was
// or as it is now. The rows the walk had not reached yet that moved ahead are met once, under their new
// names, and a change in the middle of a move has the move made again.
TEST_F(OptimisticReadTest, AScanMeetsEveryRowOnceInOrderWhileAnotherStationWrites) {
    walk();
    const uint64_t readsBefore = platform::FileCalls().read;
    ASSERT_EQ(walk().records.size(), static_cast<size_t>(kRows));
    const int reads = static_cast<int>(platform::FileCalls().read - readsBefore);
    // The rows and the leaves come in blocks, not one read per row or per leaf.
    EXPECT_LT(reads, kRows / 50);
    std::set<int32_t> moved;
    // at > 0: at the walk's at-th read; at < 0: between steps, after -at rows.
    int round = 0;
    for (int at : {1, -kRows / 3, -2 * kRows / 3}) {
        SCOPED_TRACE(at);
        const int n = ++round;
        const std::string tag = "ZZ" + std::to_string(n) + "0";
        std::vector<int32_t> renamed;
        const std::function<void()> change = [&] {
            // Five rows ahead of where the walk stands move to the far end, one row changes its number
            // (not its place), a new row joins at the end.
            // Inside the walk's first move the area may stand nowhere yet: every row is ahead then.
            const std::string here = name();
            for (int32_t r = kRows; r >= 1 && renamed.size() < 5; --r)
                if (!moved.count(r) && (here.empty() || nameOf(r) > here + "~")) renamed.push_back(r);
            for (size_t i = 0; i < renamed.size(); ++i)
                renameInArea2(renamed[i], tag + std::to_string(i + 1));
            appendInArea2(tag + "9", 9000 + n);
        };
        if (at > 0) {
            // What the last walk kept is trusted no more: the walk's first move reads, and the change
            // comes in the middle of that move.
            std::this_thread::sleep_for(kScanTrust + std::chrono::milliseconds(10));
            platform::InjectReadHook(at, change);
        }
        const uint64_t thrownBefore = CurrentSemaphoreInfo().thrownAway;
        const Walk w = at > 0 ? walk() : walk(static_cast<size_t>(-at), change);
        platform::ClearFaults();
        ASSERT_FALSE(renamed.empty()) << "the walk was past every row";
        moved.insert(renamed.begin(), renamed.end());
        EXPECT_TRUE(std::is_sorted(w.names.begin(), w.names.end()));
        EXPECT_EQ(std::set<int32_t>(w.records.begin(), w.records.end()).size(), w.records.size());
        EXPECT_EQ(w.records.size(), static_cast<size_t>(RecCount()));
        // Each row as it was or as it is now, never a mix of the two.
        for (size_t i = 0; i < w.records.size(); ++i)
            if (w.records[i] <= kRows && !moved.count(w.records[i])) EXPECT_EQ(w.names[i], nameOf(w.records[i]));
        for (size_t i = 0; i < renamed.size(); ++i)
            EXPECT_EQ(std::count(w.names.begin(), w.names.end(), tag + std::to_string(i + 1)), 1) << i;
        EXPECT_EQ(std::count(w.names.begin(), w.names.end(), tag + "9"), 1);
        EXPECT_GT(CurrentSemaphoreInfo().thrownAway, thrownBefore) << "the change fell inside a move";
        // Afterwards a walk sees everything.
        const Walk after = walk();
        EXPECT_EQ(after.records.size(), static_cast<size_t>(RecCount()));
        EXPECT_TRUE(std::is_sorted(after.names.begin(), after.names.end()));
    }
}

// The record a move loaded serves the reloads that follow it (a dataset's resynchronisation) without a
// read, but not once this process wrote a row, under a lock, or after the trust of a scan ran out.
TEST_F(OptimisticReadTest, AReloadUsesTheRecordTheMoveReadUnlessItMayHaveChanged) {
    ASSERT_TRUE(Find(nameOf(7)));
    auto reads = [] {
        const uint64_t before = platform::FileCalls().read;
        EXPECT_TRUE(ReloadRecord()) << ErrorMsg();
        return platform::FileCalls().read - before;
    };
    EXPECT_EQ(reads(), 0u);
    EXPECT_EQ(name(), nameOf(7));
    // A field put and not stored is dropped, as a read from the file drops it.
    TypedSetString(FieldAddress(1), 8, "CHANGED");
    EXPECT_EQ(reads(), 0u);
    EXPECT_EQ(name(), nameOf(7));

    renameInArea2(7, "RENAMED");
    EXPECT_GT(reads(), 0u);
    EXPECT_EQ(name(), "RENAMED");
    ASSERT_TRUE(RLock());
    EXPECT_GT(reads(), 0u);
    UnlockRec(RecNo());
    EXPECT_EQ(reads(), 0u);  // what was read under the lock is as fresh as any read
    std::this_thread::sleep_for(kScanTrust + std::chrono::milliseconds(10));
    EXPECT_GT(reads(), 0u);
}

// A Find or a Go that lands on a row the last scan read takes it from what the scan read: it reads
// nothing but its look at the semaphore, which it always makes, so another station's change of the
// row since shows at once, however soon.
TEST_F(OptimisticReadTest, AFindOrGoOnARowAScanReadOnlyLooksAndSeesAnotherStationsChange) {
    ASSERT_TRUE(GoTop());
    ASSERT_TRUE(Skip(1));
    const int32_t second = RecNo();
    const std::string secondName = name();
    ASSERT_TRUE(GoTop());
    const uint64_t before = platform::FileCalls().read;
    ASSERT_TRUE(Find(secondName));
    EXPECT_EQ(RecNo(), second);
    EXPECT_EQ(platform::FileCalls().read - before, 1u) << "the look alone";

    renameInArea2(second, "RENAMED");
    ASSERT_TRUE(GoTop());
    ASSERT_TRUE(Go(second)) << ErrorMsg();
    EXPECT_EQ(name(), "RENAMED");
    EXPECT_FALSE(Find(secondName));
}

// A computation's reads: a seek on rows its scan read takes them without a look while its last look is
// fresh, and sees another station's change once that trust has run out; an order set for a seek reads
// nothing; a snapshot of the table alone reads its rows with its header and sees no later append.
TEST_F(OptimisticReadTest, AComputationsSeeksAndSnapshotsReadOnlyWhatTheyMust) {
    CurrentBlock()->seeksTakeScans = true;
    const auto scanned = std::chrono::steady_clock::now();  // the scan's last look is later
    ASSERT_TRUE(GoTop());
    ASSERT_TRUE(Skip(1));
    const int32_t second = RecNo();
    const std::string secondName = name();
    ASSERT_TRUE(GoTop());
    uint64_t before = platform::FileCalls().read;
    ASSERT_TRUE(Find(secondName));
    EXPECT_EQ(RecNo(), second);
    // (A machine too busy to make the seek within the trust makes it look, as it must.)
    if (std::chrono::steady_clock::now() - scanned < kScanTrust)
        EXPECT_EQ(platform::FileCalls().read - before, 0u) << "rows the scan read, within its look's trust";
    renameInArea2(second, "RENAMED");
    std::this_thread::sleep_for(kScanTrust + std::chrono::milliseconds(10));
    EXPECT_FALSE(Find(secondName)) << "a change older than the trust of the last look";
    EXPECT_TRUE(Find("RENAMED"));
    EXPECT_EQ(RecNo(), second);

    StandNowhere();
    before = platform::FileCalls().total();
    ASSERT_TRUE(SetOrderToTag("NUM"));
    EXPECT_EQ(platform::FileCalls().total() - before, 0u) << "an order set on no row";
    ASSERT_TRUE(Find(std::to_string(kRows)));

    ASSERT_TRUE(Select(3));
    UseRequest alone;
    alone.path = tmp.path() + "/club.dbf";
    alone.alias = "ALONE";
    alone.openMode = platform::kModeSharedRead;
    alone.snapshot = true;
    before = platform::FileCalls().read;
    ASSERT_TRUE(UseTable(alone)) << ErrorMsg();
    std::vector<std::string> names;
    for (GoTop(); !dEOF(); Skip(1)) names.push_back(name());
    EXPECT_EQ(platform::FileCalls().read - before, 1u) << "the header and the rows in one read";
    ASSERT_EQ(names.size(), static_cast<size_t>(kRows));
    EXPECT_EQ(names[static_cast<size_t>(second - 1)], "RENAMED");
    appendInArea2("APPENDED", kRows + 1);
    ASSERT_TRUE(GoBottom());
    EXPECT_EQ(RecNo(), kRows) << "the rows as they stood at the open";
    CloseDatabase();
}

// A Find that another station's change overlapped finds what the index holds now.
TEST_F(OptimisticReadTest, AFindOverlappedByAChangeFindsTheRowAsItIsNow) {
    ASSERT_TRUE(Find(nameOf(7)));
    platform::InjectReadHook(1, [&] { renameInArea2(7, "MOVED"); });
    EXPECT_FALSE(Find(nameOf(7)));
    EXPECT_TRUE(Find("MOVED"));
    EXPECT_EQ(RecNo(), 7);
    EXPECT_EQ(CurrentSemaphoreInfo().thrownAway, 1u);
}

// When to read without a lock: not while another station writes (or a dead one's mark is there), but
// alongside counted readers; and a look that shows a change throws the read away.
TEST_F(OptimisticReadTest, OnlyAWriterOrADeadWritersMarkKeepsAReaderFromReadingWithoutALock) {
    // Another station writes: count the read, which waits for it.
    Select(2);
    ASSERT_TRUE(HandleSemafore(kSemLock));
    Select(1);
    EXPECT_EQ(BeginIndexRead(true), IndexReadWay::Counted);
    Select(2);
    ASSERT_TRUE(HandleSemafore(kSemUnlock));

    // Another station reads, counted: reading beside it needs no lock.
    ASSERT_TRUE(HandleSemafore(kSemIncRead));
    Select(1);
    ASSERT_EQ(BeginIndexRead(true), IndexReadWay::Optimistic);
    EXPECT_TRUE(EndOptimisticRead());
    // Inside a read already: the move runs as it stands.
    ASSERT_EQ(BeginIndexRead(false), IndexReadWay::Optimistic);
    EXPECT_EQ(BeginIndexRead(false), IndexReadWay::Direct);
    EXPECT_TRUE(EndOptimisticRead());
    Select(2);
    ASSERT_TRUE(HandleSemafore(kSemDecRead));

    // A writer's change between the start and the end of a read throws it away, and the next look takes
    // the index as changed.
    Select(1);
    ASSERT_EQ(BeginIndexRead(false), IndexReadWay::Optimistic);
    Select(2);
    ASSERT_TRUE(HandleSemafore(kSemLock));
    ASSERT_TRUE(HandleSemafore(kSemUnlock));
    Select(1);
    EXPECT_FALSE(EndOptimisticRead());
    EXPECT_TRUE(SemaphoreIndexChanged());

    // A mark in byte 1 that no lock backs up (a writer died): counted, so that the reader repairs first.
    platform::File f;
    ASSERT_EQ(f.open(SemaphoreFileName(), platform::kModeShared), 0);
    const uint8_t mark = 1;
    ASSERT_EQ(f.writeAt(1, &mark, 1), 0);
    EXPECT_EQ(BeginIndexRead(true), IndexReadWay::Counted);
}

// A move whose optimistic try fails on its own (a read error) is made again in the counted bracket: a
// failure met once is not reported; keys of rows the table lost, met by every try, are mended.
TEST_F(OptimisticReadTest, AFailureMetOnceIsNotReportedAndKeysOfLostRowsAreMended) {
    ASSERT_TRUE(GoTop());
    ASSERT_TRUE(Skip(1));
    const int32_t second = RecNo();
    ASSERT_TRUE(GoTop());
    rewriteInArea2(kRows);  // so that the step reads again
    platform::InjectFault(platform::FaultOp::Read, 1, platform::kErrReadFault);
    EXPECT_TRUE(Skip(1)) << ErrorMsg();
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(RecNo(), second);

    // The table loses its rows from the second one of the order on: every try meets keys of rows past
    // the end, damage that a rebuild from the rows mends, and the walk goes on over what is there.
    ASSERT_TRUE(GoTop());
    rewriteInArea2(1);
    std::filesystem::resize_file(tmp.file("club.dbf"), CurrentBlock()->recordOffset(second));
    int reported = 0;
    Engine::current().errors.userErrorProc = [&] { ++reported; };
    SetErrorTrap(true);
    int32_t steps = 0;
    while (!dEOF() && steps <= kRows && Skip(1)) ++steps;
    SetErrorTrap(false);
    Engine::current().errors.userErrorProc = nullptr;
    EXPECT_EQ(reported, 0);
    EXPECT_TRUE(dEOF());
    EXPECT_LT(steps, second);
}

// Rows whose keys lie spread over a wide table (no two of a leaf within a few kilobytes): a shared walk
// reads them before its move's look at the semaphore, a leaf's worth at a time, so that it looks once
// a leaf instead of once a row; a walk of three steps after a search reads three or four rows, not the
// rest of the leaf; held alone the walk reads each row once. Rows that lie in a few stretches, their
// keys interleaving, come in a read a stretch.
TEST_F(OptimisticReadTest, ASharedWalkOverSpreadRowsLooksOnceALeafAndReadsOnlyWhatItReaches) {
    constexpr int kWide = 2000;
    TableBlock t;
    ASSERT_TRUE(
        CreateDbf(t, tmp.file("wide"), {{"nom", 'C', 8, 0}, {"grp", 'N', 5, 0}, {"pad", 'C', 250, 0}}));
    CloseDbf(t);
    ASSERT_TRUE(Select(3));
    ASSERT_TRUE(Use(tmp.file("wide.dbf") + " EXCLUSIVE", nullptr, 0));
    for (int i = 1; i <= kWide; ++i) {
        ClearRecord();
        TypedSetString(FieldAddress(1), 8, nameOf(i));
        // Four stretches of 500 rows; within each, the row number orders the rows.
        TypedSetInt(FieldAddress(2), (i - 1) % 500);
        ASSERT_TRUE(Append());
    }
    ASSERT_TRUE(MakeIndex({{"NOM", "nom", "", false, false}, {"GRP", "grp", "", false, false}}, ""));
    CloseDatabase();

    struct Counted {
        std::vector<std::string> names;
        std::set<int32_t> records;
        uint64_t reads = 0;
    };
    auto walkCounted = [&](int steps) {
        Counted c;
        const uint64_t before = platform::FileCalls().read;
        EXPECT_TRUE(GoTop()) << ErrorMsg();
        for (int n = 0; n < steps && !dEOF(); ++n) {
            c.names.push_back(name());
            c.records.insert(RecNo());
            Skip(1);
        }
        c.reads = platform::FileCalls().read - before;
        return c;
    };
    for (bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "shared" : "exclusive");
        ASSERT_TRUE(Use(tmp.file("wide.dbf") + (shared ? "" : " EXCLUSIVE"), nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("") && SetOrderToTag("NOM")) << ErrorMsg();
        walkCounted(kWide);  // the nodes come into the area's keeping
        const Counted all = walkCounted(kWide);
        EXPECT_EQ(all.records.size(), static_cast<size_t>(kWide));
        EXPECT_TRUE(std::is_sorted(all.names.begin(), all.names.end()));
        // At most a read a row and, shared, a look a leaf (a few more while the first leaf's reads grow),
        // where a look a row made twice a read a row.
        EXPECT_LE(all.reads, static_cast<uint64_t>(kWide + (shared ? kWide / 8 : 4)));

        ASSERT_TRUE(Find(nameOf(kWide / 2)));
        const uint64_t before = platform::FileCalls().read;
        for (int n = 0; n < 3; ++n) ASSERT_TRUE(Skip(1));
        EXPECT_LE(platform::FileCalls().read - before, shared ? 8u : 4u);

        // The stretches: a few reads a leaf, not one a row.
        ASSERT_TRUE(SetOrderToTag("GRP"));
        walkCounted(kWide);
        const Counted grouped = walkCounted(kWide);
        EXPECT_EQ(grouped.records.size(), static_cast<size_t>(kWide));
        EXPECT_LT(grouped.reads, static_cast<uint64_t>(kWide / 4));
        CloseDatabase();
    }
}

}  // namespace
}  // namespace xb
