#include "engine/core/memo_file.h"

#include <gtest/gtest.h>

#include "engine/core/memo_stream.h"
#include "engine/core/memo_test_util.h"

namespace xb {
namespace {

using namespace memotest;
using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

class MemoFileTest : public xbtest::EngineTest {
protected:
    void SetUp() override { InstallMemoUnit(engine()); }
    std::string base(const std::string& name = "championnat") { return tmp.file(name); }
};

// The new files, written out byte by byte from their layouts.
TEST_F(MemoFileTest, NewMemoFilesAreByteExact) {
    struct Case {
        uint8_t version;
        uint16_t blockSize;
        std::string expected;
    };
    auto dbase4 = [](uint16_t bs) {
        std::string h = Le32(1) + std::string(4, '\0') + std::string("CHAMPION", 8) + std::string(2, '\0') +
                        std::string("\x02\x01", 2) + std::string(1, static_cast<char>(bs & 0xFF)) +
                        std::string(1, static_cast<char>(bs >> 8)) + std::string(2, '\0');
        return h;
    };
    auto fox = [](uint32_t next, uint16_t bs) {
        std::string h = Be32(next) + std::string(2, '\0') + std::string(1, static_cast<char>(bs >> 8)) +
                        std::string(1, static_cast<char>(bs & 0xFF));
        return h + std::string(504, '\0');
    };
    const std::string dbase3 = Le32(1) + std::string(508, '\0') + "\x1A";
    const Case cases[] = {
        {kMemoDbase3, 64, dbase3},       {kMemoDbase3, 512, dbase3}, {kMemoDbase4, 64, dbase4(64)},
        {kMemoDbase4, 512, dbase4(512)}, {kMemoFox, 64, fox(8, 64)}, {kMemoFox, 512, fox(1, 512)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + "/" + std::to_string(c.blockSize));
        MakeMemoTable(base(), c.version, c.blockSize);
        const std::string path = MemoPath(base(), c.version);
        EXPECT_EQ(ReadFileBytes(path), c.expected);

        // The first memo starts at the first whole block after the header.
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
        const int32_t block = AddMemo("first");
        const uint16_t bs = c.version == kMemoDbase3 ? 512 : c.blockSize;
        EXPECT_EQ(block, c.version == kMemoFox ? static_cast<int32_t>(511 / bs + 1) : 1);
        EXPECT_EQ(Read(block), "first");
        const std::string after = ReadFileBytes(path);
        EXPECT_EQ(after.substr(24, static_cast<size_t>(block) * bs - 24),
                  c.expected.size() > 24 ? c.expected.substr(24, static_cast<size_t>(block) * bs - 24)
                                         : std::string(static_cast<size_t>(block) * bs - 24, '\0'))
            << "the header block keeps its bytes and padding is zeros";
        CloseDatabase();
    }
}

TEST_F(MemoFileTest, CreateMemofileUsesTheUnitDefaults) {
    CurrentMemoSettings().defaultVersion = kMemoFox;
    CurrentMemoSettings().defaultBlockSize = 64;
    ASSERT_TRUE(CreateMemofile(base() + ".dbf"));
    EXPECT_EQ(ReadFileBytes(base() + ".fpt").substr(0, 8), std::string("\0\0\0\x08\0\0\0\x40", 8));
}

TEST_F(MemoFileTest, OpenTakesFlavourAndBlockSizeFromTheFiles) {
    struct Case {
        uint8_t version;
        uint16_t stored;  // block size in the header
        uint16_t expected;
    };
    const Case cases[] = {
        {kMemoDbase3, 512, 512}, {kMemoDbase4, 64, 64}, {kMemoDbase4, 0, 512},
        {kMemoFox, 64, 64},      {kMemoFox, 0, 512},    {kMemoDbase4, 1024, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + "/" + std::to_string(c.stored));
        MakeMemoTable(base(), c.version, c.stored);
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
        MemoFileArea* m = CurrentMemoArea();
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->flavour, c.version);
        EXPECT_EQ(GetMemoType(), c.version);
        EXPECT_EQ(m->blockSize, c.expected);
        EXPECT_EQ(m->name, MemoPath(base(), c.version));
        CloseDatabase();
    }
}

TEST_F(MemoFileTest, FlavourOfEachVersionByte) {
    for (int v = 0; v < 256; ++v) {
        const uint8_t version = static_cast<uint8_t>(v);
        const bool own = v == 0x83 || v == 0x8B || v == 0x8C || v == 0xF5;
        EXPECT_EQ(MemoFlavourOf(version), own ? version : kMemoDbase4) << v;
    }
    CurrentMemoSettings().defaultVersion = kMemoFox;
    EXPECT_EQ(MemoFlavourOf(0x03), kMemoFox);
    EXPECT_EQ(GetMemoType(), kMemoFox);  // no table open
}

TEST_F(MemoFileTest, MissingOrDamagedMemoFileFailsTheOpen) {
    MakeMemoTable(base(), kMemoDbase4, 512);
    platform::DeleteFileChecked(base() + ".dbt");
    EXPECT_FALSE(Use(base() + ".dbf", nullptr, 0));
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(CurrentBlock(), nullptr);

    WriteFileBytes(base() + ".dbt", std::string(10, '\0'));  // shorter than its header
    EXPECT_FALSE(Use(base() + ".dbf", nullptr, 0));
    EXPECT_EQ(LastError(), 30);
}

TEST_F(MemoFileTest, MemoFileNotFoundDetail) {
    MakeMemoTable(base(), kMemoFox, 64);
    platform::DeleteFileChecked(base() + ".fpt");
    engine().tables.memo.reset();  // open the table without its memo file first
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    InstallMemoUnit(engine());
    UseMemofile();
    EXPECT_EQ(LastError(), 2);
    EXPECT_NE(ErrorMsg().find("Memo file not found: " + base() + ".fpt [USE]"), std::string::npos)
        << ErrorMsg();
    EXPECT_EQ(CurrentMemoArea(), nullptr);
}

TEST_F(MemoFileTest, HeaderNextFreeFollowsTheFileAfterEveryWrite) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        MakeMemoTable(base(), f.version, f.blockSize);
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
        AddMemo(std::string(700, 'a'));
        AddMemo("b");
        const std::string file = ReadFileBytes(MemoPath(base(), f.version));
        const uint16_t bs = f.version == kMemoDbase3 ? 512 : f.blockSize;
        const uint32_t next = static_cast<uint32_t>((file.size() + bs - 1) / bs);
        EXPECT_EQ(file.substr(0, 4), f.version == kMemoFox ? Be32(next) : Le32(next));
        if (f.version != kMemoDbase3 && f.version != kMemoFox) {
            // Bytes 32..35 are not a counter: nothing but padding lies between the header and block 1.
            EXPECT_EQ(file.substr(24, bs - 24), std::string(bs - 24, '\0'));
        }
        CloseDatabase();
    }
}

// Every note reaches the disk as it is written; a close after reading notes only has nothing to sync,
// and a new memo file is synced as it is made.
TEST_F(MemoFileTest, OnlyWhatWasWrittenIsSynced) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        MakeMemoTable(base(), f.version, f.blockSize);
        platform::InjectFault(platform::FaultOp::Flush, 1, 29);
        EXPECT_FALSE(InitMemoFile(base() + "-new" + (f.version == kMemoFox ? ".fpt" : ".dbt"), f.version,
                                  f.blockSize, "test"));
        platform::ClearFaults();
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
        const int32_t block = AddMemo("a note");
        CloseDatabase();
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
        EXPECT_EQ(Read(block), "a note");
        platform::InjectFault(platform::FaultOp::Flush, 1, 29);
        CloseDatabase();
        EXPECT_TRUE(platform::FaultArmed(platform::FaultOp::Flush));
        platform::ClearFaults();
    }
}

TEST_F(MemoFileTest, LockIsHeldOnlyDuringAWrite) {
    MakeMemoTable(base(), kMemoDbase4, 512);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    MemoFileArea* m = CurrentMemoArea();
    ASSERT_NE(LockMemoPadAndSeekEOF("test"), 0u);
    EXPECT_TRUE(m->locked);
    EXPECT_TRUE(m->file.holdsLock(kMemoLockByte, 1));
    ASSERT_TRUE(UpdateMemoHeader());
    EXPECT_FALSE(m->locked);
    EXPECT_FALSE(m->file.holdsLock(kMemoLockByte, 1));
    // A failure releases it too.
    platform::InjectFault(platform::FaultOp::Write, 1, 112);
    EXPECT_EQ(AddMemo("x"), 0);
    EXPECT_EQ(LastError(), 112);
    EXPECT_FALSE(m->locked);
    EXPECT_FALSE(m->file.holdsLock(kMemoLockByte, 1));
}

// Another station (here another area of this process: the locks belong to the handle) holds the memo
// lock for longer than a writer waits.
TEST_F(MemoFileTest, AWriterWaitsForTheMemoLockThenGivesUp) {
    MakeMemoTable(base(), kMemoDbase4, 512);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(Use(base() + ".dbf ALIAS other", nullptr, 0)) << ErrorMsg();
    ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite), 0);  // holds the lock while it writes
    ASSERT_TRUE(Select(1));
    const std::string before = ReadFileBytes(base() + ".dbt");
    EXPECT_EQ(AddMemo("blocked"), 0);
    EXPECT_EQ(LastError(), 1017);
    EXPECT_NE(ErrorMsg().find(base() + ".dbt [AddMemo]"), std::string::npos) << ErrorMsg();
    EXPECT_EQ(ReadFileBytes(base() + ".dbt"), before);
    ASSERT_TRUE(Select(2));
    EXPECT_EQ(DestroyBlobDescriptor(), 0);  // nothing written
    ASSERT_TRUE(Select(1));
    const int32_t block = AddMemo("free again");
    EXPECT_NE(block, 0);
    EXPECT_EQ(Read(block), "free again");
}

TEST_F(MemoFileTest, ExclusiveUseTakesNoFileLock) {
    MakeMemoTable(base(), kMemoFox, 64);
    ASSERT_TRUE(Use(base() + ".dbf EXCLUSIVE", nullptr, 0));
    ASSERT_NE(LockMemoPadAndSeekEOF("test"), 0u);
    EXPECT_TRUE(CurrentMemoArea()->locked);
    EXPECT_FALSE(CurrentMemoArea()->file.holdsLock(kMemoLockByte, 1));
    EXPECT_TRUE(UpdateMemoHeader());
}

TEST_F(MemoFileTest, GroupHeadersReadAndWritten) {
    MakeMemoTable(base(), kMemoDbase4, 64);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    const int32_t block = AddMemo(std::string(100, 'x'));
    uint8_t h[8];
    EXPECT_EQ(ReadGroupHeader(block, h), (100 + 8) / 64 + 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 8), std::string("\xFF\xFF\x08\x00", 4) + Le32(108));
    EXPECT_EQ(ReadGroupHeader(0, h), 0);
    EXPECT_EQ(ReadGroupHeader(1000, h), 0);
    EXPECT_EQ(LastError(), 30);
    EXPECT_TRUE(MainHeaderWrite(77));
    EXPECT_EQ(ReadFileBytes(base() + ".dbt").substr(0, 4), Le32(77));
}

TEST_F(MemoFileTest, RoutinesWithoutAMemoFileReportIt) {
    EXPECT_EQ(AddMemo("x"), 0);
    EXPECT_EQ(LastError(), 215);
    TableBlock create;
    ASSERT_TRUE(CreateDbf(create, base("plain") + ".dbf", {{"NOM", 'C', 10, 0}}));
    ASSERT_TRUE(Use(base("plain") + ".dbf", nullptr, 0));
    EXPECT_EQ(AddMemo("x"), 0);
    EXPECT_EQ(LastError(), 1019);
    EXPECT_NE(ErrorMsg().find("No Memo Field [AddMemo()]"), std::string::npos);
}

TEST_F(MemoFileTest, UseTwiceInOneAreaIsRefused) {
    MakeMemoTable(base(), kMemoDbase4, 512);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    UseMemofile();
    EXPECT_EQ(LastError(), 1007);
    EXPECT_NE(CurrentMemoArea(), nullptr);
}

}  // namespace
}  // namespace xb
