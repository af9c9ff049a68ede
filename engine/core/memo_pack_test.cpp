#include <gtest/gtest.h>

#include <map>

#include "engine/core/locks.h"
#include "engine/core/memo_test_util.h"
#include "engine/core/record_writes.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace xb {
namespace {

using namespace memotest;
using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

class MemoPackTest : public xbtest::EngineTest {
protected:
    void SetUp() override { InstallMemoUnit(engine()); }
    std::string base() { return tmp.file("match"); }
    std::string memoPath(const Flavour& f) { return MemoPath(base(), f.version); }

    // A table whose records refer to memos, old versions of rewritten memos lying about as garbage.
    // Returns each record's two texts.
    std::vector<std::pair<std::string, std::string>> fill(const Flavour& f) {
        MakeMemoTable(base(), f.version, f.blockSize);
        EXPECT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
        std::vector<std::pair<std::string, std::string>> texts;
        for (int i = 1; i <= 6; ++i) {
            std::string a = i % 3 == 0 ? ""
                                       : "texte " + std::to_string(i) +
                                             std::string(static_cast<size_t>(i) * 150, 'a' + i);
            std::string n = i % 2 == 0 ? "note " + std::to_string(i) : "";
            AddMemo("garbage before " + std::to_string(i));
            AppendWithMemos("r" + std::to_string(i), a.empty() ? 0 : AddMemo("first version"),
                            n.empty() ? 0 : AddMemo(n));
            if (!a.empty()) PutBlock(i, 2, RewriteMemo(BlockOf(i, 2), a));
            texts.emplace_back(a, n);
        }
        return texts;
    }

    // The packed table as the table pack hands it over: the header and the kept records (1-based).
    void writePacked(const std::string& path, const std::vector<int>& keep) {
        const std::string dbf = ReadFileBytes(base() + ".dbf");
        WorkAreaBlock* b = CurrentBlock();
        const size_t hs = static_cast<size_t>(b->headerSize);
        std::string out = dbf.substr(0, hs);
        for (int r : keep) out += dbf.substr(hs + static_cast<size_t>(r - 1) * b->recordSize, b->recordSize);
        WriteFileBytes(path, out);
    }
};

TEST_F(MemoPackTest, KeepsExactlyTheReferencedMemos) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        auto texts = fill(f);
        const std::vector<int> keep = {1, 2, 4, 6};  // 3 and 5 were deleted
        writePacked(tmp.file("match.pak"), keep);
        const std::string liveTable = ReadFileBytes(base() + ".dbf");
        const std::string liveMemo = ReadFileBytes(memoPath(f));

        platform::File packed;
        ASSERT_EQ(packed.open(tmp.file("match.pak"), platform::kModeExclusive), 0);
        MemoPackJob job{&packed, static_cast<int32_t>(keep.size()), tmp.file("match.$$$")};
        engine().tables.memo->packMemofile(job);
        ASSERT_EQ(LastError(), 0) << ErrorMsg();
        packed.close();
        EXPECT_EQ(ReadFileBytes(base() + ".dbf"), liveTable) << "the live table is not touched";
        EXPECT_EQ(ReadFileBytes(memoPath(f)), liveMemo) << "nor its memo file";

        // The packed memo file holds the kept records' memos one after the other and nothing else.
        const uint16_t bs = f.version == kMemoDbase3 ? 512 : f.blockSize;
        std::string expected;
        {
            std::string fresh = ReadFileBytes(tmp.file("match.$$$"));
            InitMemoFile(tmp.file("empty.xyz"), f.version, bs, "test");
            expected = ReadFileBytes(tmp.file("empty.xyz"));
            if (f.version == kMemoDbase4) expected.replace(8, 8, std::string("MATCH\0\0\0", 8));
            uint64_t size = expected.size();
            for (int r : keep) {
                for (const std::string& t :
                     {texts[static_cast<size_t>(r - 1)].first, texts[static_cast<size_t>(r - 1)].second}) {
                    if (t.empty()) continue;
                    uint64_t start = memo_detail::NewMemoStart(f.version, bs, size);
                    expected.resize(static_cast<size_t>(start), '\0');
                    expected += memo_detail::MemoImage(f.version, platform::ConvertBytes(t, 1252, 850));
                    size = expected.size();
                }
            }
            const uint32_t next = static_cast<uint32_t>((expected.size() + bs - 1) / bs);
            expected.replace(0, 4, f.version == kMemoFox ? Be32(next) : Le32(next));
            EXPECT_EQ(fresh, expected);
        }

        // Swap the packed files in by hand and read every memo through the packed records.
        CloseDatabase();
        platform::RenameFile(tmp.file("match.pak"), base() + ".dbf");
        platform::RenameFile(tmp.file("match.$$$"), memoPath(f));
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
        ASSERT_EQ(CurrentBlock()->recCount, static_cast<int32_t>(keep.size()));
        for (size_t i = 0; i < keep.size(); ++i) {
            const auto& t = texts[static_cast<size_t>(keep[i] - 1)];
            GoRecord(static_cast<int32_t>(i + 1));
            EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 2)), t.first);
            EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 3)), t.second);
            EXPECT_EQ(BlockOf(static_cast<int32_t>(i + 1), 2) == 0, t.first.empty());
        }
        CloseDatabase();
    }
}

TEST_F(MemoPackTest, RecordsWithoutMemosLeaveOnlyTheHeader) {
    MakeMemoTable(base(), kMemoFox, 64);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    AddMemo("unreferenced");
    AppendWithMemos("a", 0, 0);
    writePacked(tmp.file("match.pak"), {1});
    platform::File packed;
    ASSERT_EQ(packed.open(tmp.file("match.pak"), platform::kModeExclusive), 0);
    MemoPackJob job{&packed, 1, tmp.file("match.$$$")};
    ASSERT_TRUE(PackMemofile(job)) << ErrorMsg();
    EXPECT_EQ(ReadFileBytes(tmp.file("match.$$$")),
              std::string("\0\0\0\x08\0\0\0\x40", 8) + std::string(504, '\0'));
}

TEST_F(MemoPackTest, RecordsSharingAMemoKeepSharingOneCopy) {
    MakeMemoTable(base(), kMemoDbase4, 64);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    AddMemo("garbage");
    const int32_t shared = AddMemo("shared");
    AppendWithMemos("a", shared, shared);
    AppendWithMemos("b", shared, 0);
    writePacked(tmp.file("match.pak"), {1, 2});
    platform::File packed;
    ASSERT_EQ(packed.open(tmp.file("match.pak"), platform::kModeExclusive), 0);
    MemoPackJob job{&packed, 2, tmp.file("match.$$$")};
    ASSERT_TRUE(PackMemofile(job)) << ErrorMsg();
    const std::string fresh = ReadFileBytes(tmp.file("match.$$$"));
    EXPECT_EQ(fresh.size(), 64u + 8 + 6);
    const std::string records = ReadFileBytes(tmp.file("match.pak"));
    const size_t hs = static_cast<size_t>(CurrentBlock()->headerSize);
    EXPECT_EQ(records.substr(hs + 11, 20), "         1         1");
    EXPECT_EQ(records.substr(hs + 31 + 11, 10), "         1");
}

TEST_F(MemoPackTest, APointerThatLeadsToNoMemoFailsThePackAndLeavesNoTemp) {
    // Past the end, past 32 bits (read as no memo elsewhere), and digits with something else among them.
    const std::vector<std::pair<std::string, std::string>> pointers = {
        {"      4000", "4000"}, {"9999999999", "9999999999"}, {"    12ab34", "12ab34"}, {"   -   x  ", "x"}};
    for (const auto& [text, named] : pointers) {
        SCOPED_TRACE(text);
        CloseDatabase();
        MakeMemoTable(base(), kMemoDbase3, 512);
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
        AppendWithMemos("a", AddMemo("fine"));
        AppendWithMemos("b", AddMemo("the note behind the damaged pointer"));
        writePacked(tmp.file("match.pak"), {1, 2});
        std::string packedBytes = ReadFileBytes(tmp.file("match.pak"));
        const size_t at = static_cast<size_t>(CurrentBlock()->headerSize) + CurrentBlock()->recordSize + 11;
        packedBytes.replace(at, 10, text);
        WriteFileBytes(tmp.file("match.pak"), packedBytes);
        platform::File packed;
        ASSERT_EQ(packed.open(tmp.file("match.pak"), platform::kModeExclusive), 0);
        MemoPackJob job{&packed, 2, tmp.file("match.$$$")};
        EXPECT_FALSE(PackMemofile(job));
        EXPECT_EQ(LastError(), 1003);
        const std::string message = ErrorMsg();
        EXPECT_NE(message.find(named), std::string::npos) << message;
        EXPECT_NE(message.find("Record # 2 [PackMemo]"), std::string::npos) << message;
        EXPECT_FALSE(platform::FileExists(tmp.file("match.$$$")));
        packed.close();
        EXPECT_EQ(ReadFileBytes(tmp.file("match.pak")), packedBytes) << "no block number was stored";
    }
}

TEST_F(MemoPackTest, AFailureAtAnyWriteLeavesNoTemp) {
    auto texts = fill(kFlavours[1]);
    writePacked(tmp.file("match.pak"), {1, 2, 4});
    const std::string packedBefore = ReadFileBytes(tmp.file("match.pak"));
    bool succeeded = false;
    for (int nth = 1; nth < 40 && !succeeded; ++nth) {
        SCOPED_TRACE(nth);
        WriteFileBytes(tmp.file("match.pak"), packedBefore);
        platform::File packed;
        ASSERT_EQ(packed.open(tmp.file("match.pak"), platform::kModeExclusive), 0);
        MemoPackJob job{&packed, 3, tmp.file("match.$$$")};
        platform::ClearFaults();
        platform::InjectFault(platform::FaultOp::Write, nth, 112);
        engine().errors.lastError = 0;
        succeeded = PackMemofile(job);
        platform::ClearFaults();
        if (!succeeded) {
            EXPECT_NE(LastError(), 0);
            EXPECT_FALSE(platform::FileExists(tmp.file("match.$$$")));
            // The packed table may hold some new numbers: the table pack discards it on failure.
        }
    }
    EXPECT_TRUE(succeeded);
}

// The whole table pack with its memo file, through the work-area layer.
class MemoTablePackTest : public MemoPackTest {};

TEST_F(MemoTablePackTest, PackKeepsTheMemosOfTheKeptRecords) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        auto texts = fill(f);
        for (int r : {3, 5}) {
            GoRecord(r);
            ASSERT_TRUE(RLock());
            ASSERT_TRUE(DeleteRec()) << ErrorMsg();
        }
        Unlock();
        ASSERT_TRUE(Pack()) << ErrorMsg();
        EXPECT_FALSE(platform::FileExists(PackMemoName(base() + ".dbf")));
        ASSERT_EQ(CurrentBlock()->recCount, 4);
        const int kept[] = {1, 2, 4, 6};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Read(BlockOf(i + 1, 2)), texts[static_cast<size_t>(kept[i] - 1)].first);
            EXPECT_EQ(Read(BlockOf(i + 1, 3)), texts[static_cast<size_t>(kept[i] - 1)].second);
        }
        // No garbage is left: the memo file is as long as the memos it holds.
        const uint16_t bs = f.version == kMemoDbase3 ? 512 : f.blockSize;
        uint64_t size = f.version == kMemoFox ? 512 : f.version == kMemoDbase3 ? 513 : 24;
        for (int r : kept)
            for (const std::string& t :
                 {texts[static_cast<size_t>(r - 1)].first, texts[static_cast<size_t>(r - 1)].second})
                if (!t.empty())
                    size = memo_detail::NewMemoStart(f.version, bs, size) +
                           memo_detail::MemoImage(f.version, t).size();
        EXPECT_EQ(ReadFileBytes(memoPath(f)).size(), size);
        // The memo file is shared again, like the table.
        EXPECT_FALSE(platform::IsExclusiveMode(CurrentMemoArea()->file.mode()));
        EXPECT_EQ(Read(AddMemo("after the pack")), "after the pack");
        CloseDatabase();
    }
}

// A table of many notes, as the league's players carry, packed: the notes are read and written in
// pieces, many to a call, and each kept row keeps its own.
TEST_F(MemoTablePackTest, ManyNotesArePackedInAFewCallsEachKeepingItsRow) {
    constexpr int kRows = 300;
    MakeMemoTable(base(), kMemoDbase4, 512);
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
    auto note = [](int r) {
        return "note of row " + std::to_string(r) + std::string(static_cast<size_t>(r % 90), '.');
    };
    for (int r = 1; r <= kRows; ++r)
        AppendWithMemos("r" + std::to_string(r), AddMemo(note(r)), r % 7 ? 0 : AddMemo("x"));
    for (int r = 5; r <= kRows; r += 10) {
        GoRecord(r);
        ASSERT_TRUE(RLock());
        ASSERT_TRUE(DeleteRec()) << ErrorMsg();
    }
    Unlock();
    const platform::FileCallCounts before = platform::FileCalls();
    ASSERT_TRUE(Pack()) << ErrorMsg();
    const platform::FileCallCounts calls = platform::FileCalls() - before;
    // One 8-byte read and one read of the text a note, and a write a note, were 1,700 calls.
    EXPECT_LT(calls.read, 40u);
    EXPECT_LT(calls.write, 40u);
    ASSERT_EQ(CurrentBlock()->recCount, kRows - kRows / 10);
    int row = 0;
    for (int r = 1; r <= kRows; ++r) {
        if (r % 10 == 5) continue;
        ++row;
        ASSERT_EQ(Read(BlockOf(row, 2)), note(r)) << "row " << r;
        ASSERT_EQ(Read(BlockOf(row, 3)), r % 7 ? "" : "x") << "row " << r;
    }
    CloseDatabase();
}

TEST_F(MemoTablePackTest, AFailedWriteBeforeTheCommitLeavesBothFiles) {
    auto texts = fill(kFlavours[3]);
    GoRecord(2);
    ASSERT_TRUE(RLock());
    ASSERT_TRUE(DeleteRec());
    Unlock();
    ASSERT_TRUE(FlushDbf(*CurrentBlock()));
    const std::string table = ReadFileBytes(base() + ".dbf");
    const std::string memo = ReadFileBytes(base() + ".fpt");
    bool packed = false;
    int failures = 0;
    for (int nth = 1; nth < 60 && !packed; ++nth) {
        SCOPED_TRACE(nth);
        platform::ClearFaults();
        platform::InjectFault(platform::FaultOp::Write, nth, 112);
        engine().errors.lastError = 0;
        packed = Pack();
        platform::ClearFaults();
        if (packed) break;
        ++failures;
        EXPECT_EQ(ReadFileBytes(base() + ".dbf"), table);
        EXPECT_EQ(ReadFileBytes(base() + ".fpt"), memo);
        EXPECT_FALSE(platform::FileExists(PackMemoName(base() + ".dbf")));
        ASSERT_NE(CurrentMemoArea(), nullptr);
        EXPECT_EQ(Read(BlockOf(1, 2)), texts[0].first);
    }
    EXPECT_TRUE(packed);
    EXPECT_GT(failures, 3);
    EXPECT_EQ(CurrentBlock()->recCount, 5);
    EXPECT_EQ(Read(BlockOf(2, 3)), texts[2].second);
}

TEST_F(MemoTablePackTest, ACrashBetweenTheRenamesIsCompletedAtTheNextOpen) {
    auto texts = fill(kFlavours[1]);
    // The state a crash after the memo rename leaves: the packed memo file committed, the packed table
    // ready beside the old one.
    writePacked(PackReadyName(base() + ".dbf"), {1, 2, 4, 6});
    {
        platform::File packed;
        ASSERT_EQ(packed.open(PackReadyName(base() + ".dbf"), platform::kModeExclusive), 0);
        MemoPackJob job{&packed, 4, PackMemoName(base() + ".dbf")};
        ASSERT_TRUE(PackMemofile(job)) << ErrorMsg();
    }
    // The ready table's count is set by the table pack; here the header is patched the same way.
    std::string ready = ReadFileBytes(PackReadyName(base() + ".dbf"));
    ready.replace(4, 4, Le32(4));
    WriteFileBytes(PackReadyName(base() + ".dbf"), ready);
    CloseDatabase();
    ASSERT_EQ(platform::RenameFile(PackMemoName(base() + ".dbf"), base() + ".dbt"), 0);

    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
    ASSERT_EQ(CurrentBlock()->recCount, 4);
    const int kept[] = {1, 2, 4, 6};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Read(BlockOf(i + 1, 2)), texts[static_cast<size_t>(kept[i] - 1)].first);
        EXPECT_EQ(Read(BlockOf(i + 1, 3)), texts[static_cast<size_t>(kept[i] - 1)].second);
    }
}

}  // namespace
}  // namespace xb
