#include "engine/core/memo_ops.h"

#include <gtest/gtest.h>

#include "engine/core/memo_test_util.h"
#include "platform/paths.h"

namespace xb {
namespace {

using namespace memotest;
using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

class MemoOpsTest : public xbtest::EngineTest {
protected:
    void SetUp() override { InstallMemoUnit(engine()); }
    std::string base(const std::string& name = "equipe") { return tmp.file(name); }
    void open(const Flavour& f, const std::string& name = "equipe") {
        MakeMemoTable(base(name), f.version, f.blockSize);
        ASSERT_TRUE(Use(base(name) + ".dbf", nullptr, 0)) << ErrorMsg();
    }
};

std::string lines(int n, const std::string& end) {
    std::string t;
    for (int i = 1; i <= n; ++i) t += "line " + std::to_string(i) + end;
    return t + "end";
}

// Texts of the engine's code page (Windows-1252).
const struct {
    const char* label;
    std::string text;
} kTexts[] = {
    {"one byte", "x"},
    {"511 bytes", std::string(511, 'a')},
    {"512 bytes", std::string(512, 'b')},
    {"513 bytes", std::string(513, 'c')},
    {"1100 lines", lines(1100, "\r\n")},
    {"CR LF", "first\r\nsecond\r\n\r\nfourth"},
    {"bare LF", "first\nsecond\n\nfourth"},
    {"bare CR and a long line", "a\rb\r" + std::string(3000, 'z')},
    {"i grave and 0x8D", "Mart\xEC and \x8D soft"},
    {"every byte but the end byte",
     [] {
         std::string s;
         for (int c = 1; c < 256; ++c)
             if (c != 0x1A) s += static_cast<char>(c);
         return s + "!";
     }()},
};

TEST_F(MemoOpsTest, MemosComeBackExactlyInEveryFlavour) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        std::vector<int32_t> blocks;
        for (const auto& t : kTexts) blocks.push_back(AddMemo(t.text));
        for (size_t i = 0; i < std::size(kTexts); ++i) {
            SCOPED_TRACE(kTexts[i].label);
            ASSERT_NE(blocks[i], 0) << ErrorMsg();
            EXPECT_EQ(Read(blocks[i]), kTexts[i].text);
            EXPECT_EQ(Read(-blocks[i]), kTexts[i].text) << "a negative number addresses the same memo";
        }
        EXPECT_EQ(AddMemo(""), 0);
        EXPECT_EQ(Read(0), "");
        CloseDatabase();
    }
}

TEST_F(MemoOpsTest, TextIsStoredInTheTablesCodePageAndTheCallersCopyStays) {
    open(kFlavours[1]);
    const std::string text = "Mart\xEC";  // "ì" in Windows-1252
    const int32_t block = AddMemo(text);
    EXPECT_EQ(text, "Mart\xEC");
    const std::string file = ReadFileBytes(base() + ".dbt");
    EXPECT_EQ(file.substr(static_cast<size_t>(block) * 512 + 8, 5), "Mart\x8D") << "code page 850 on disk";
    EXPECT_EQ(Read(block), text);
    CloseDatabase();

    engine().settings.ansi = true;  // a table opened without OEM translation keeps the bytes
    ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
    const int32_t raw = AddMemo(text);
    EXPECT_EQ(ReadFileBytes(base() + ".dbt").substr(static_cast<size_t>(raw) * 512 + 8, 5), text);
}

TEST_F(MemoOpsTest, TrailingBlanksAreRemovedAndBlankTextWritesNothing) {
    open(kFlavours[3]);
    const std::string before = ReadFileBytes(base() + ".fpt");
    EXPECT_EQ(AddMemo("     "), 0);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(ReadFileBytes(base() + ".fpt"), before);
    EXPECT_EQ(Read(AddMemo("  kept  \r\n  ")), "  kept  \r\n");
}

TEST_F(MemoOpsTest, Dbase3MemosFillWholeBlocks) {
    struct Case {
        size_t length;
        size_t blocks;
    };
    for (Case c : {Case{1, 1}, Case{511, 1}, Case{512, 2}, Case{1023, 2}, Case{1024, 3}}) {
        SCOPED_TRACE(c.length);
        open(kFlavours[0]);
        const int32_t block = AddMemo(std::string(c.length, 'm'));
        EXPECT_EQ(block, 1);
        const std::string file = ReadFileBytes(base() + ".dbt");
        EXPECT_EQ(file.size(), 512 * (1 + c.blocks));
        EXPECT_EQ(file[512 + c.length], '\x1A');
        EXPECT_EQ(file.substr(512 + c.length + 1), std::string(512 * c.blocks - c.length - 1, '\0'));
        EXPECT_EQ(AddMemo("next"), static_cast<int32_t>(1 + c.blocks));
        CloseDatabase();
    }
}

TEST_F(MemoOpsTest, EndByteInADbase3MemoIsRefused) {
    open(kFlavours[0]);
    const std::string before = ReadFileBytes(base() + ".dbt");
    EXPECT_EQ(AddMemo("half\x1Ahidden"), 0);
    EXPECT_EQ(LastError(), 1005);
    EXPECT_EQ(ReadFileBytes(base() + ".dbt"), before);
    EXPECT_FALSE(CurrentMemoArea()->locked);
}

TEST_F(MemoOpsTest, ARewriteLeavesTheOldTextUntilTheRecordPointsAtTheNew) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        AppendWithMemos("a", AddMemo("old text that is rather long"));
        const int32_t old = BlockOf(1, 2);
        const std::string before = ReadFileBytes(MemoPath(base(), f.version));

        for (const std::string& text : {std::string("short"), std::string(2000, 'L')}) {
            const int32_t now = BlockOf(1, 2);
            const int32_t fresh = RewriteMemo(now, text);
            ASSERT_GT(fresh, now) << "always new blocks at the end";
            // Until the record is stored, it and every reader still see the old memo, whole.
            EXPECT_EQ(BlockOf(1, 2), now);
            EXPECT_EQ(Read(now), now == old ? "old text that is rather long" : "short");
            PutBlock(1, 2, fresh);
            EXPECT_EQ(Read(BlockOf(1, 2)), text);
        }
        const std::string after = ReadFileBytes(MemoPath(base(), f.version));
        EXPECT_EQ(after.substr(0, 4) == before.substr(0, 4), false) << "the header moved on";
        EXPECT_EQ(after.substr(4, before.size() - 4), before.substr(4)) << "no byte of the old memo changed";
        CloseDatabase();
    }
}

TEST_F(MemoOpsTest, GetMemoAndEditMemoWorkOnTheUnitsText) {
    open(kFlavours[2]);
    const int32_t block = AddMemo("alpha\r\nbeta");
    ASSERT_TRUE(GetMemo(block));
    EXPECT_EQ(MemoText(), "alpha\r\nbeta");
    MemoText() += "\r\ngamma   ";
    const int32_t edited = EditMemo(block);
    EXPECT_EQ(Read(edited), "alpha\r\nbeta\r\ngamma   ") << "a rewrite keeps the text as given";
    MemoText().clear();
    EXPECT_EQ(EditMemo(edited), 0);
    EXPECT_EQ(LastError(), 0) << "an empty memo is block 0, not a failure";
}

TEST_F(MemoOpsTest, BadAddressesAndDamagedLengthsAreReported) {
    open(kFlavours[3]);  // FoxPro, 64-byte blocks
    AppendWithMemos("a", 0);
    GoRecord(1);
    std::string t;
    EXPECT_FALSE(ReadMemo(1000, t));
    EXPECT_EQ(LastError(), 1003);
    EXPECT_NE(ErrorMsg().find(base() + ".fpt Record # 1 [GetMemo]"), std::string::npos) << ErrorMsg();

    const int32_t block = AddMemo("0123456789");
    std::string file = ReadFileBytes(base() + ".fpt");
    file.replace(static_cast<size_t>(block) * 64 + 4, 4, Be32(1000000));  // longer than the file
    WriteFileBytes(base() + ".fpt", file);
    EXPECT_FALSE(ReadMemo(block, t));
    EXPECT_EQ(LastError(), 1003);
    EXPECT_NE(ErrorMsg().find("runs past the end"), std::string::npos);
    EXPECT_EQ(t, "0123456789") << "what the file holds is still given";
}

TEST_F(MemoOpsTest, Dbase4BlockWithoutItsMarkerIsRefused) {
    open(kFlavours[1]);
    const int32_t block = AddMemo("text");
    const std::string good = ReadFileBytes(base() + ".dbt");
    for (size_t at : {0u, 2u}) {
        std::string file = good;
        file[static_cast<size_t>(block) * 512 + at] = 'Z';
        WriteFileBytes(base() + ".dbt", file);
        std::string text;
        EXPECT_FALSE(ReadMemo(block, text)) << at;
        EXPECT_EQ(LastError(), 1003) << at;
        EXPECT_EQ(text, "") << at;
    }
}

TEST_F(MemoOpsTest, AFailedWriteLosesNothing) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        const int32_t kept = AddMemo("kept");
        for (int nth = 1; nth <= 4; ++nth) {
            platform::ClearFaults();
            platform::InjectFault(platform::FaultOp::Write, nth, 112);
            const int32_t got = AddMemo(std::string(600, 'n'));
            if (got != 0) {
                EXPECT_EQ(Read(got), std::string(600, 'n'));
            } else {
                EXPECT_TRUE(LastError() == 112 || LastError() == 29) << LastError();  // data or header write
                EXPECT_FALSE(CurrentMemoArea()->locked);
            }
            EXPECT_EQ(Read(kept), "kept");
        }
        platform::ClearFaults();
        const int32_t after = AddMemo("after");
        EXPECT_EQ(Read(after), "after");
        CloseDatabase();
    }
}

TEST_F(MemoOpsTest, CopyMemoBetweenFlavours) {
    open(kFlavours[0], "source");  // dBASE III
    const int32_t b1 = AddMemo("first memo");
    const int32_t b2 = AddMemo(std::string(1500, 'q'));
    ASSERT_TRUE(Select(2));
    open(kFlavours[4], "target");  // FoxPro 512
    EXPECT_EQ(CopyMemo(1, 0, false), 0);
    const int32_t c1 = CopyMemo(1, b1, false);
    EXPECT_EQ(Read(c1), "first memo");
    // The same number is kept where that place is still free, and never overwrites a memo.
    const int32_t c2 = CopyMemo(1, b2, true);
    EXPECT_EQ(c2, b2 > c1 ? b2 : c2);
    EXPECT_EQ(Read(c2), std::string(1500, 'q'));
    const int32_t c3 = CopyMemo(1, b1, true);
    EXPECT_GT(c3, c2);
    EXPECT_EQ(Read(c3), "first memo");
    EXPECT_EQ(Read(c1), "first memo");
    EXPECT_EQ(CopyMemo(3, b1, false), 0);
    EXPECT_EQ(LastError(), 1019);
}

TEST_F(MemoOpsTest, ZapKeepsTheFlavour) {
    open(kFlavours[3]);
    AddMemo("gone");
    ASSERT_TRUE(ZapMemofile());
    EXPECT_EQ(ReadFileBytes(base() + ".fpt"),
              std::string("\0\0\0\x08\0\0\0\x40", 8) + std::string(504, '\0'));
    EXPECT_FALSE(platform::FileExists(base() + ".dbt"));
    EXPECT_EQ(Read(AddMemo("new")), "new");
}

TEST_F(MemoOpsTest, LocateReaderGetsTheTextAsStored) {
    open(kFlavours[1]);
    AppendWithMemos("a", AddMemo("Mart\xEC\r\nline 2"), 0);
    MemoLineReader reader;
    GoRecord(1);
    ASSERT_TRUE(engine().tables.memo->assignMemo(reader, 2));
    EXPECT_EQ(reader.text, "Mart\x8D\r\nline 2") << "in the table's code page";
    ASSERT_TRUE(AssignMemo(reader, 3));
    EXPECT_EQ(reader.text, "");
    EXPECT_FALSE(AssignMemo(reader, 1));
    EXPECT_EQ(LastError(), 1019);
}

TEST_F(MemoOpsTest, TextDriverReadsAndWritesExactly) {
    open(kFlavours[0]);
    AppendWithMemos("a", 0);
    GoRecord(1);
    const std::string text = lines(1100, "\r\n") + "\nbare\rcr\r\n\x8Dsoft";
    MemoTextFile f;
    EXPECT_EQ(f.rewrite(), 102) << "not assigned";
    ASSERT_TRUE(AssignMemo(f, 2));
    std::string line;
    EXPECT_FALSE(f.readLine(line));
    EXPECT_EQ(f.ioResult(), 104);
    ASSERT_EQ(f.rewrite(), 0);
    for (size_t i = 0; i < text.size(); i += 700) EXPECT_EQ(f.write(text.substr(i, 700)), 0);
    ASSERT_EQ(f.close(), 0);
    const int32_t block = TypedGetInt(FieldAddress(2));
    ASSERT_NE(block, 0);
    StoreRecordBuffer();
    ASSERT_TRUE(PutDbfRecord(*CurrentBlock(), 1));

    GoRecord(1);
    ASSERT_EQ(f.reset(), 0);
    std::string all;
    int count = 0;
    while (f.readLine(line)) {
        all += line;
        ++count;
    }
    EXPECT_EQ(all, text);
    EXPECT_EQ(count, 1100 + 4);
    EXPECT_TRUE(f.eof());
    EXPECT_EQ(f.close(), 0);

    // An empty memo reads as an empty file; writing nothing stores block 0.
    ASSERT_TRUE(AssignMemo(f, 3));
    ASSERT_EQ(f.reset(), 0);
    EXPECT_FALSE(f.readLine(line));
    ASSERT_EQ(f.rewrite(), 0);
    ASSERT_EQ(f.close(), 0);
    EXPECT_EQ(TypedGetInt(FieldAddress(3)), 0);
}

TEST_F(MemoOpsTest, TextDriverReportsAFailedStore) {
    open(kFlavours[1]);
    AppendWithMemos("a", 0);
    GoRecord(1);
    MemoTextFile f;
    ASSERT_TRUE(AssignMemo(f, 2));
    ASSERT_EQ(f.rewrite(), 0);
    f.write("text");
    platform::InjectFault(platform::FaultOp::Write, 1, 112);
    EXPECT_EQ(f.close(), 101);
    EXPECT_EQ(TypedGetInt(FieldAddress(2)), 0) << "the field keeps its old number";
}

}  // namespace
}  // namespace xb
