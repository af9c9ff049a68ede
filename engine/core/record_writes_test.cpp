#include "engine/core/record_writes.h"

#include <gtest/gtest.h>

#include "engine/core/engine.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fake_units.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

class WritesTest : public xbtest::EngineTest {
protected:
    std::string path;
    void SetUp() override {
        path = tmp.file("t.dbf");
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, path, {{"name", 'C', 4, 0}, {"num", 'N', 3, 0}}));
    }
    void fill(int n, bool exclusive = true) {
        ASSERT_TRUE(Use(path + (exclusive ? " EXCLUSIVE" : ""), nullptr, 0));
        for (int i = 1; i <= n; ++i) {
            if (!exclusive) {
                ASSERT_TRUE(ALock());
            }
            ClearRecord();
            TypedSetString(FieldAddress(1), 4, "r" + std::to_string(i));
            TypedSetInt(FieldAddress(2), i);
            ASSERT_TRUE(Append());
            if (!exclusive) Unlock();
        }
    }
    std::string records() { return ReadFileBytes(path).substr(32 + 64 + 1); }
};

TEST_F(WritesTest, SharedWritesNeedTheirLocks) {
    fill(2, false);
    CloseDatabase();
    ASSERT_TRUE(Use(path, nullptr, 0));
    const std::string before = ReadFileBytes(path);
    EXPECT_FALSE(Append());
    EXPECT_EQ(ErrorMsg(), "Error # 5 (File access denied)\r\nFile must be locked to append: " + path + " [APPEND]");
    ASSERT_TRUE(Go(2));
    EXPECT_FALSE(Replace());
    EXPECT_EQ(ErrorMsg(), "Error # 1200 (Record not locked)\r\nRecord #2 in " + path + " [REPLACE]");
    ASSERT_TRUE(ALock());
    EXPECT_FALSE(DeleteRec());  // the append lock is no record lock
    EXPECT_EQ(ErrorMsg(), "Error # 1200 (Record not locked)\r\n" + path + " Record not locked [DeleteRec]");
    EXPECT_FALSE(RecallRec());
    EXPECT_FALSE(Poke("x", 1, 2));
    EXPECT_EQ(LastError(), 1200);
    EXPECT_EQ(ReadFileBytes(path), before);
    Unlock();
    ASSERT_TRUE(RLock());
    TypedSetInt(FieldAddress(2), 42);
    EXPECT_TRUE(Replace());
    EXPECT_TRUE(DeleteRec());
    EXPECT_TRUE(Deleted());
    EXPECT_TRUE(RecallRec());
    EXPECT_TRUE(Poke("zz", 1, 2));
    CloseDatabase();
    EXPECT_EQ(records(), " r1    1 zz   42\x1A");
}

TEST_F(WritesTest, ReplaceOutsideTheTable) {
    fill(1);
    ASSERT_TRUE(Skip(1));
    EXPECT_FALSE(Replace());
    EXPECT_EQ(ErrorMsg(), "Error # 212 (Request beyond range)\r\nDatabase \"" + path + "\" is at EOF. [REPLACE]");
    CloseDatabase();
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("e.dbf"), {{"a", 'C', 1, 0}}));
    ASSERT_TRUE(Use(tmp.file("e"), nullptr, 0));
    EXPECT_FALSE(Replace());
    EXPECT_EQ(ErrorMsg(), "Error # 212 (Request beyond range)\r\nDatabase \"" + tmp.file("e.dbf") +
                              "\" is empty. [REPLACE]");
}

TEST_F(WritesTest, KeyHooksAreCalledInsideTheLockSemaphore) {
    fill(0);
    auto& index = xbtest::InstallFakeIndex(engine());
    ClearRecord();
    TypedSetString(FieldAddress(1), 4, "a");
    ASSERT_TRUE(Append());
    TypedSetString(FieldAddress(1), 4, "b");
    ASSERT_TRUE(Replace());
    EXPECT_EQ(index.calls, (std::vector<std::string>{"lock+", "appendNewKey", "lock-", "lock+", "saveAllKeys",
                                                     "updateChangedKeys", "lock-"}));
    EXPECT_EQ(index.lockDepth, 0);
}

TEST_F(WritesTest, PackKeepsTheLiveRecordsByteExact) {
    fill(5);
    for (int r : {2, 4}) {
        ASSERT_TRUE(Go(r));
        ASSERT_TRUE(DeleteRec());
    }
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 3);
    EXPECT_EQ(RecNo(), 1);
    EXPECT_EQ(TypedGetInt(FieldAddress(2)), 1);
    CloseDatabase();
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(4, 4), std::string("\x03\0\0\0", 4));
    EXPECT_EQ(records(), " r1    1 r3    3 r5    5\x1A");
    EXPECT_FALSE(platform::FileExists(PackReadyName(path)));
    EXPECT_FALSE(platform::FileExists(PackWritingName(path)));
    int st = 0;
    std::string out = xbtest::RunCommand(
        "/usr/bin/python3 -c 'import sys; from dbfread import DBF; "
        "print([(r[\"NAME\"], r[\"NUM\"]) for r in DBF(sys.argv[1])])' " + xbtest::ShellQuote(path) + " 2>&1", &st);
    if (st == 0) {
        EXPECT_EQ(out, "[('r1', 1), ('r3', 3), ('r5', 5)]\n");
    }
}

TEST_F(WritesTest, PackOfAnEmptyResultAndOfASharedTable) {
    fill(2, false);
    for (int r : {1, 2}) {
        ASSERT_TRUE(Go(r));
        ASSERT_TRUE(RLock());
        ASSERT_TRUE(DeleteRec());
    }
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF() && dBOF());
    EXPECT_FALSE(CurrentBlock()->exclusive);  // back to shared use
    platform::File other;
    EXPECT_EQ(other.open(path, platform::kModeShared), 0);
}

TEST_F(WritesTest, PackIsRefusedWhileAnotherHandleHoldsTheTable) {
    fill(3, false);
    ASSERT_TRUE(Go(2));
    ASSERT_TRUE(RLock());
    ASSERT_TRUE(DeleteRec());
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(Use(path + " alias other", nullptr, 0));
    ASSERT_TRUE(Select(1));
    const std::string before = ReadFileBytes(path);
    SetErrorTrap(true);  // a refused pack is no error that halts
    EXPECT_FALSE(Pack());
    SetErrorTrap(false);
    EXPECT_EQ(LastError(), 32);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(CurrentBlock()->exclusive);
    ASSERT_TRUE(RLock());  // the area still works
}

TEST_F(WritesTest, AFailureAtAnyWriteOfThePackLeavesTheTableAsItWas) {
    fill(40);
    for (int r = 1; r <= 40; r += 3) {
        ASSERT_TRUE(Go(r));
        ASSERT_TRUE(DeleteRec());
    }
    CloseDatabase();
    const std::string before = ReadFileBytes(path);
    int nth = 1;
    for (;; ++nth) {
        ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0));
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskWrite);
        const bool packed = Pack();
        platform::ClearFaults();
        if (packed) break;  // the fault came after the last write of the pack
        EXPECT_EQ(LastError(), 101) << nth;
        EXPECT_EQ(RecCount(), 40);
        CloseDatabase();
        EXPECT_EQ(ReadFileBytes(path), before) << "write " << nth;
        EXPECT_FALSE(platform::FileExists(PackWritingName(path)));
    }
    EXPECT_GE(nth, 4);  // records, end-of-file byte and header were each made to fail
    CloseDatabase();
    WriteFileBytes(path, before);
    ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0));
    platform::InjectFault(platform::FaultOp::Flush, 1, 29);
    EXPECT_FALSE(Pack());
    platform::ClearFaults();
    CloseDatabase();
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(WritesTest, AnInterruptedCommitIsFinishedOrUndoneAtTheNextOpen) {
    fill(2);
    CloseDatabase();
    const std::string original = ReadFileBytes(path);
    std::string packed = original;
    packed[4] = 1;
    const std::string memo = DerivedFileName(path, "dbt"), index = IndexFileNameOf(path);
    const std::string indexTemp = DerivedFileName(path, kIndexBesideExt);
    // The ready table is the commit: the packed memo file and index beside it take their names, the
    // table last, wherever a kill left the renames.
    for (const bool withMemoAndIndex : {false, true}) {
        SCOPED_TRACE(withMemoAndIndex);
        WriteFileBytes(path, original);
        WriteFileBytes(PackReadyName(path), packed);
        if (withMemoAndIndex) {
            WriteFileBytes(PackMemoName(path), "memo");
            WriteFileBytes(indexTemp, "index");
        }
        ASSERT_TRUE(Use(path, nullptr, 0));
        CloseDatabase();
        EXPECT_EQ(ReadFileBytes(path).substr(0, 8), packed.substr(0, 8));
        if (withMemoAndIndex) {
            EXPECT_EQ(ReadFileBytes(memo), "memo");
            EXPECT_EQ(ReadFileBytes(index), "index");
        }
        for (const auto& n : {PackReadyName(path), PackMemoName(path), indexTemp})
            EXPECT_FALSE(platform::FileExists(n)) << n;
        platform::RemoveFileIfExists(memo);
        platform::RemoveFileIfExists(index);
    }
    // Without it nothing was committed: the leftovers go.
    WriteFileBytes(path, original);
    WriteFileBytes(PackMemoName(path), "memo");
    WriteFileBytes(indexTemp, "index");
    WriteFileBytes(PackWritingName(path), "half");
    ASSERT_TRUE(Use(path, nullptr, 0));
    CloseDatabase();
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(platform::FileExists(memo));
    EXPECT_FALSE(platform::FileExists(index));
    for (const auto& n : {PackMemoName(path), PackWritingName(path), indexTemp})
        EXPECT_FALSE(platform::FileExists(n)) << n;
}

TEST_F(WritesTest, HeaderProductionIndexFlag) {
    fill(1);
    EXPECT_FALSE(HasMdxFlag());
    SetMdxFlag(true);
    EXPECT_TRUE(HasMdxFlag());
    CloseDatabase();
    EXPECT_EQ(ReadFileBytes(path)[28], 1);
}

// Locks.

TEST_F(WritesTest, LockRules) {
    fill(3, false);
    ASSERT_TRUE(Go(2));
    ASSERT_TRUE(RLock());
    EXPECT_TRUE(RLock());
    EXPECT_EQ(CurrentBlock()->lockList.size(), 1u);
    EXPECT_TRUE(IsLocked(2));
    EXPECT_FALSE(ALock());
    ASSERT_TRUE(Go(3));
    ASSERT_TRUE(RLock());
    EXPECT_FALSE(UnlockRec(1));
    EXPECT_EQ(LastError(), 220);
    EXPECT_EQ(engine().errors.detail, "Record not locked. [UnlockRec(1)]");
    EXPECT_TRUE(UnlockRec(-1));  // the oldest: record 2
    EXPECT_FALSE(IsLocked(2));
    EXPECT_TRUE(IsLocked(3));
    EXPECT_FALSE(UnlockRec(0));
    Unlock();
    EXPECT_EQ(CurrentBlock()->lockState, LockState::None);
    ASSERT_TRUE(ALock());
    EXPECT_TRUE(ALock());
    EXPECT_FALSE(RLock());
    Unlock();
}

TEST_F(WritesTest, ExclusiveUseTakesNoSystemLock) {
    fill(2);
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(RLock());
    EXPECT_EQ(CurrentBlock()->file.lockCount(), 0u);
    Unlock();
    ASSERT_TRUE(ALock());
    EXPECT_EQ(CurrentBlock()->file.lockCount(), 0u);
}

TEST_F(WritesTest, TwoAreasOfOneProcessExcludeEachOther) {
    fill(2, false);
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(RLock());
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(Use(path + " ALIAS second", nullptr, 0));
    ASSERT_TRUE(Go(1));
    EXPECT_FALSE(RLock());
    ASSERT_TRUE(Go(2));
    EXPECT_TRUE(RLock());
    Unlock();
    ASSERT_TRUE(Select(1));
    Unlock();
    ASSERT_TRUE(ALock());
    ASSERT_TRUE(Select(2));
    EXPECT_FALSE(ALock());
}

TEST_F(WritesTest, ReopenKeepsTheFileWhenExclusiveUseIsRefused) {
    fill(1, false);
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(RLock());
    platform::File other;
    ASSERT_EQ(other.open(path, platform::kModeShared), 0);
    EXPECT_EQ(ReopenDbfFile(true), 32);
    EXPECT_TRUE(CurrentBlock()->file.isOpen());
    EXPECT_EQ(CurrentBlock()->lockList.size(), 0u);  // the locks went first, list and all
    EXPECT_TRUE(Go(1));
    EXPECT_TRUE(RLock());
    other.close();
    EXPECT_EQ(ReopenDbfFile(true), 0);
    EXPECT_EQ(other.open(path, platform::kModeShared), 32);
    EXPECT_EQ(ReopenDbfFile(false), 0);
    EXPECT_EQ(other.open(path, platform::kModeShared), 0);
}

}  // namespace
}  // namespace xb
