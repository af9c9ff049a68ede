#include "engine/core/dbf_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

const std::vector<FieldDef> kJoueurFields = {
    {"nujoueur", 'N', 5, 0}, {"nomjoueur", 'C', 30, 0}, {"datenais", 'C', 10, 0},
    {"poste", 'N', 2, 0},    {"infodivers", 'M', 10, 0}, {"nation", 'C', 20, 0},
};

std::string descriptor(const char* name, char type, uint8_t len, uint8_t dec) {
    std::string d(32, '\0');
    std::memcpy(&d[0], name, std::strlen(name));
    d[11] = type;
    d[16] = static_cast<char>(len);
    d[17] = static_cast<char>(dec);
    return d;
}

std::string le16(unsigned v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A dBASE III header for the given descriptors (32 bytes each) and count.
std::string header3(uint8_t version, const std::vector<std::string>& descs, unsigned recordSize, unsigned count) {
    std::string h(32, '\0');
    h[0] = static_cast<char>(version);
    h[1] = 126;
    h[2] = 12;
    h[3] = 7;
    std::string c = le32(count);
    h.replace(4, 4, c);
    unsigned hs = 32 + 32 * static_cast<unsigned>(descs.size()) + 1;
    h.replace(8, 2, le16(hs));
    h.replace(10, 2, le16(recordSize));
    for (const auto& d : descs) h += d;
    h += '\x0D';
    return h;
}

class DbfFileTest : public xbtest::EngineTest {};

TEST_F(DbfFileTest, CreateIsByteExact) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("joueur"), kJoueurFields));
    std::string expected = header3(0x8B,
                                   {descriptor("NUJOUEUR", 'N', 5, 0), descriptor("NOMJOUEUR", 'C', 30, 0),
                                    descriptor("DATENAIS", 'C', 10, 0), descriptor("POSTE", 'N', 2, 0),
                                    descriptor("INFODIVERS", 'M', 10, 0), descriptor("NATION", 'C', 20, 0)},
                                   1 + 5 + 30 + 10 + 2 + 10 + 20, 0);
    expected += '\x1A';
    EXPECT_EQ(ReadFileBytes(tmp.file("joueur.dbf")), expected);

    std::string dbt = le32(1) + std::string(4, '\0') + std::string("JOUEUR\0\0", 8) + std::string(2, '\0') +
                      le16(0x0102) + le16(512) + std::string(2, '\0');
    EXPECT_EQ(ReadFileBytes(tmp.file("joueur.dbt")), dbt);
}

TEST_F(DbfFileTest, CreateWithoutMemoWritesVersion3AndNoMemoFile) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("t.dbf"), {{" a ", 'c', 3, 2}, {"d", 'D', 3, 0}, {"l", 'l', 9, 0}}));
    std::string bytes = ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0x03);
    EXPECT_EQ(bytes.substr(32, 2), std::string("A\0", 2));
    EXPECT_EQ(bytes[32 + 16], 3);   // C length kept
    EXPECT_EQ(bytes[32 + 17], 0);   // decimals only for N and F
    EXPECT_EQ(bytes[64 + 16], 8);   // D is always 8
    EXPECT_EQ(bytes[96 + 16], 1);   // L is always 1
    EXPECT_FALSE(platform::FileExists(tmp.file("t.dbt")));
}

TEST_F(DbfFileTest, CreateRefusesBadDefinitions) {
    const std::vector<std::vector<FieldDef>> bad = {
        {{"a", 'C', 0, 0}}, {{"a", 'N', 0, 0}}, {{"a", 'X', 5, 0}}, {{"a", 'C', 256, 0}}, {},
    };
    for (const auto& defs : bad) {
        TableBlock b;
        EXPECT_FALSE(CreateDbf(b, tmp.file("bad.dbf"), defs));
        EXPECT_EQ(LastError(), 211);
        EXPECT_EQ(ErrorMsg(), "Error # 211 (Invalid database field type encountered)\r\n"
                              "Invalid dBASE field definition [CreateDBF]");
    }
}

TEST_F(DbfFileTest, InitMemoFileLayouts) {
    ASSERT_TRUE(InitMemoFile(tmp.file("a"), 0x83, 512, "x"));
    std::string a = ReadFileBytes(tmp.file("a.dbt"));
    ASSERT_EQ(a.size(), 513u);
    EXPECT_EQ(a.substr(0, 4), le32(1));
    EXPECT_EQ(static_cast<uint8_t>(a[512]), 0x1A);

    ASSERT_TRUE(InitMemoFile(tmp.file("b"), 0xF5, 64, "x"));
    std::string b = ReadFileBytes(tmp.file("b.fpt"));
    ASSERT_EQ(b.size(), 512u);
    EXPECT_EQ(b.substr(0, 8), std::string("\0\0\0\x08\0\0\0\x40", 8));  // 511 div 64 + 1 = 8, big-endian

    EXPECT_FALSE(InitMemoFile(tmp.file("nodir/c"), 0x8B, 512, "Caller"));
    EXPECT_NE(ErrorMsg().find("Cannot create memo file "), std::string::npos);
}

TEST(DbfHelpers, SwapsAndNames) {
    EXPECT_EQ(SwapLong(0x01020304u), 0x04030201u);
    EXPECT_EQ(SwapWord(0x0102), 0x0201);
    EXPECT_EQ(FileNameOnly("/a/b.c/name.dbf"), "name");
    EXPECT_EQ(FileNameOnly("name"), "name");
    EXPECT_EQ(MemoExtFor(0xF5), "FPT");
    EXPECT_EQ(MemoExtFor(0x8B), "DBT");
    for (int v = 0; v < 256; ++v) {
        bool ok = v == 0x02 || v == 0x03 || v == 0x83 || v == 0x8B || v == 0xF5 || v == 0x04 || v == 0x8C;
        EXPECT_EQ(ValidVersionByte(static_cast<uint8_t>(v)), ok) << v;
    }
}

struct BadFile {
    const char* what;
    std::string bytes;
    uint16_t code;
    std::string detailTail;  // what the detail text ends with (after the file name)
};

TEST_F(DbfFileTest, OpenRefusesDamagedFiles) {
    const std::string c5 = descriptor("NAME", 'C', 5, 0);
    const std::string good = header3(0x03, {c5}, 6, 0);
    std::string zeroFields = header3(0x03, {}, 6, 0);
    std::string firstIsEnd = header3(0x03, {c5, c5}, 11, 0);
    firstIsEnd[32] = 0x0D;
    std::string shortDescs = good.substr(0, 40);
    std::string badType = header3(0x03, {descriptor("X", 'Q', 5, 0)}, 6, 0);
    std::string tooSmall = header3(0x03, {c5}, 5, 0);
    std::string zeroSize = header3(0x03, {c5}, 0, 0);
    std::string tooLarge = header3(0x03, {c5}, 0xFFFF, 0);
    std::string wideDate = header3(0x03, {descriptor("D", 'D', 10, 0)}, 11, 0);
    std::string wideBool = header3(0x03, {descriptor("L", 'L', 2, 0)}, 3, 0);
    std::string version30 = good;
    version30[0] = 0x30;
    std::string dbase2Short(100, '\0');
    dbase2Short[0] = 0x02;
    std::string hugeCount = header3(0x03, {c5}, 6, 0x80000000u);

    const std::vector<BadFile> cases = {
        {"31 bytes", std::string(31, '\x03'), 210, " is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]"},
        {"version 0x30", version30, 210, " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]"},
        {"zero fields", zeroFields, 210, "t.dbf is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
        {"first descriptor ends", firstIsEnd, 222,
         "t.dbf is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
        {"short descriptors", shortDescs, 100, " [Use/OpenDbf]"},
        {"bad type", badType, 211, " is not a valid field type"},
        {"record too small", tooSmall, 210, "(Record size does not hold the fields) [Use/OpenDbf]"},
        {"record size 0", zeroSize, 210, "(Record size does not hold the fields) [Use/OpenDbf]"},
        {"record size 65535", tooLarge, 210, "(Record size is larger than its fields) [Use/OpenDbf]"},
        {"date of 10", wideDate, 210, "(Invalid length of field D) [Use/OpenDbf]"},
        {"logical of 2", wideBool, 210, "(Invalid length of field L) [Use/OpenDbf]"},
        {"dBASE II short", dbase2Short, 210, " is not a dBASE database.(Header is less than 521 bytes) [Use/OpenDBF]"},
        {"count beyond 31 bits", hugeCount, 210, "(Record count is out of range) [Use/OpenDbf]"},
    };
    for (const auto& c : cases) {
        WriteFileBytes(tmp.file("t.dbf"), c.bytes);
        TableBlock b;
        b.fileName = tmp.file("t.dbf");
        b.fileMode = platform::kModeShared;
        EXPECT_FALSE(OpenDbf(b)) << c.what;
        EXPECT_EQ(LastError(), c.code) << c.what;
        std::string msg = ErrorMsg();
        EXPECT_EQ(msg.substr(msg.size() - std::min(msg.size(), c.detailTail.size())), c.detailTail) << c.what << ": " << msg;
        EXPECT_FALSE(b.file.isOpen()) << c.what;
        // The block can be used again.
        WriteFileBytes(tmp.file("t.dbf"), good);
        EXPECT_TRUE(OpenDbf(b)) << c.what;
        CloseDbf(b);
    }
}

TEST_F(DbfFileTest, OpenReportsMissingFileAndAllocationFailure) {
    TableBlock b;
    b.fileName = tmp.file("none");
    b.fileMode = platform::kModeShared;
    EXPECT_FALSE(OpenDbf(b));
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(ErrorMsg(), "Error # 2 (File not found)\r\nFailure to open " + tmp.file("none.dbf") + " [USE/OpenDbf]");

    WriteFileBytes(tmp.file("t.dbf"), header3(0x03, {descriptor("A", 'C', 1, 0)}, 2, 0));
    b.fileName = tmp.file("t.dbf");
    platform::InjectFault(platform::FaultOp::Alloc, 1, 0);
    EXPECT_FALSE(OpenDbf(b));
    EXPECT_EQ(LastError(), 217);
    EXPECT_EQ(ErrorMsg(), "Error # 217 (Insufficient memory)\r\nNot enough memory to open " + tmp.file("t.dbf") +
                              " [Use/OpenDbf]");
}

TEST_F(DbfFileTest, ReadingBeyondTheRecordsAndShortRecords) {
    // The header claims two records of 6 bytes but the file holds one and a half.
    std::string bytes = header3(0x03, {descriptor("A", 'C', 5, 0)}, 6, 2) + " abcde xy";
    WriteFileBytes(tmp.file("t.dbf"), bytes);
    TableBlock b;
    b.fileName = tmp.file("t.dbf");
    b.fileMode = platform::kModeShared;
    ASSERT_TRUE(OpenDbf(b));
    EXPECT_EQ(b.recCount, 2);
    EXPECT_TRUE(GetDbfRecord(b, 1));
    EXPECT_EQ(std::string(b.raw.data(), 6), " abcde");
    EXPECT_FALSE(GetDbfRecord(b, 3));
    EXPECT_EQ(LastError(), 212);
    EXPECT_EQ(ErrorMsg(), "Error # 212 (Request beyond range)\r\nInvalid record number = 3 (" + tmp.file("t.dbf") +
                              ")  [GetDbfRecord]");
    EXPECT_FALSE(GetDbfRecord(b, 0));
    EXPECT_EQ(LastError(), 212);
    EXPECT_FALSE(GetDbfRecord(b, 2));
    EXPECT_EQ(LastError(), 213);
    EXPECT_EQ(ErrorMsg(), "Error # 213 (End of file found unexpectedly)\r\nFile:  " + tmp.file("t.dbf") +
                              "  [GetDbfRecord]");
    CloseDbf(b);

    SetAutoFixRecCount(true);
    ASSERT_TRUE(OpenDbf(b));
    EXPECT_EQ(b.recCount, 1);  // repaired from the file size
    CloseDbf(b);
    SetAutoFixRecCount(false);
}

TEST_F(DbfFileTest, Level7AndDbase2TablesOpenAndRead) {
    // Level 7: 32-byte header, 36-byte language block, 48-byte descriptors.
    std::string l7(32, '\0');
    l7[0] = 0x04;
    l7.replace(4, 4, le32(2));
    l7.replace(8, 2, le16(32 + 36 + 48 * 2 + 1));
    l7.replace(10, 2, le16(1 + 12 + 3));
    l7 += std::string(36, '\0');
    std::string d1(48, '\0'), d2(48, '\0');
    std::memcpy(&d1[0], "LONGFIELDNAME", 13);
    d1[32] = 'C';
    d1[33] = 12;
    std::memcpy(&d2[0], "num", 3);
    d2[32] = 'N';
    d2[33] = 3;
    l7 += d1 + d2 + '\x0D';
    l7 += std::string(" hello world ") + " 42" + "*second line " + "  7" + "\x1A";
    WriteFileBytes(tmp.file("l7.dbf"), l7);
    TableBlock b;
    b.fileName = tmp.file("l7.dbf");
    b.fileMode = platform::kModeShared;
    ASSERT_TRUE(OpenDbf(b));
    ASSERT_EQ(b.fields.size(), 2u);
    EXPECT_EQ(b.fields[0].name, "LONGFIELDNAME");
    EXPECT_EQ(b.fields[1].name, "NUM");
    EXPECT_EQ(b.fields[1].offset, 13);
    ASSERT_TRUE(GetDbfRecord(b, 2));
    EXPECT_EQ(std::string(b.raw.data(), 16), "*second line   7");
    CloseDbf(b);

    // dBASE II: 8-byte prolog, 16-byte descriptors in 512 bytes, records from 521.
    std::string d2file(8, '\0');
    d2file[0] = 0x02;
    d2file.replace(1, 2, le16(1));
    d2file[3] = 5;
    d2file[4] = 17;
    d2file[5] = 84;
    d2file.replace(6, 2, le16(1 + 4 + 1));
    std::string slots(513, '\0');
    std::memcpy(&slots[0], "CODE", 4);
    slots[11] = 'C';
    slots[12] = 4;
    std::memcpy(&slots[16], "OK", 2);
    slots[16 + 11] = 'L';
    slots[16 + 12] = 1;
    slots[32] = 0x0D;
    d2file += slots + " ABCDT";
    WriteFileBytes(tmp.file("d2.dbf"), d2file);
    b.fileName = tmp.file("d2.dbf");
    ASSERT_TRUE(OpenDbf(b));
    EXPECT_EQ(b.headerSize, 521);
    EXPECT_EQ(b.recCount, 1);
    EXPECT_EQ(b.dateText, "19840517");
    ASSERT_EQ(b.fields.size(), 2u);
    ASSERT_TRUE(GetDbfRecord(b, 1));
    EXPECT_EQ(std::string(b.raw.data(), 6), " ABCDT");
    CloseDbf(b);
}

TEST_F(DbfFileTest, CloseAfterAppendWritesOneEofByteAndTheCount) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("t.dbf"), {{"a", 'C', 3, 0}}));
    b.fileName = tmp.file("t.dbf");
    b.fileMode = platform::kModeExclusive;
    ASSERT_TRUE(OpenDbf(b));
    for (const char* rec : {" abc", " def"}) {
        std::memcpy(b.raw.data(), rec, 4);
        ASSERT_TRUE(AppendDbfRecord(b));
    }
    EXPECT_EQ(b.state, TableState::Appended);
    ASSERT_TRUE(CloseDbf(b));
    std::string bytes = ReadFileBytes(tmp.file("t.dbf"));
    ASSERT_EQ(bytes.size(), 65u + 8 + 1);
    EXPECT_EQ(bytes.substr(65), " abc def\x1A");
    EXPECT_EQ(bytes.substr(4, 4), le32(2));
    EXPECT_EQ(bytes.substr(1, 3), std::string("\x7E\x0C\x07", 3));  // 2026-12-07
}

TEST_F(DbfFileTest, FailedAppendLeavesTheCountAlone) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("t.dbf"), {{"a", 'C', 3, 0}}));
    b.fileName = tmp.file("t.dbf");
    b.fileMode = platform::kModeExclusive;
    ASSERT_TRUE(OpenDbf(b));
    platform::InjectFault(platform::FaultOp::Write, 1, platform::kErrDiskWrite);
    EXPECT_FALSE(AppendDbfRecord(b));
    EXPECT_EQ(LastError(), 101);
    EXPECT_EQ(b.recCount, 0);
    EXPECT_FALSE(PutDbfRecord(b, 0));  // never over the header
    EXPECT_EQ(LastError(), 212);
    ASSERT_TRUE(CloseDbf(b));
    EXPECT_EQ(ReadFileBytes(tmp.file("t.dbf")).substr(4, 4), le32(0));
}

TEST_F(DbfFileTest, SharedCloseNeverOverwritesAnotherStationsAppend) {
    TableBlock create;
    ASSERT_TRUE(CreateDbf(create, tmp.file("t.dbf"), {{"a", 'C', 3, 0}}));
    TableBlock mine, theirs;
    for (TableBlock* b : {&mine, &theirs}) {
        b->fileName = tmp.file("t.dbf");
        b->fileMode = platform::kModeShared;
        ASSERT_TRUE(OpenDbf(*b));
    }
    std::memcpy(mine.raw.data(), " aaa", 4);
    ASSERT_TRUE(AppendDbfRecord(mine));
    // The other station appends after us without knowing our count, as a station does that refreshed
    // its count from the file size.
    theirs.recCount = 1;
    std::memcpy(theirs.raw.data(), " bbb", 4);
    ASSERT_TRUE(AppendDbfRecord(theirs));
    ASSERT_TRUE(CloseDbf(mine));  // our count says 1
    std::string bytes = ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(bytes.substr(65, 8), " aaa bbb");
    EXPECT_EQ(bytes.substr(4, 4), le32(2));
    ASSERT_TRUE(CloseDbf(theirs));
    bytes = ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(bytes.substr(65), " aaa bbb\x1A");
    EXPECT_EQ(bytes.substr(4, 4), le32(2));
}

// In shared use the header is brought up to date when the append lock goes, not at the close: another
// program reading the file meanwhile finds the count, and the end-of-file byte went with the last
// record. Only the date and the count are written: what other stations keep in the multi-user area
// stays, also when a station that only rewrote rows brings the count up to date at its close.
TEST_F(DbfFileTest, TheAppendLocksReleaseWritesTheHeaderAndLeavesTheMultiUserArea) {
    TableBlock create;
    ASSERT_TRUE(CreateDbf(create, tmp.file("t.dbf"), {{"a", 'C', 3, 0}}));
    TableBlock b;
    b.fileName = tmp.file("t.dbf");
    b.fileMode = platform::kModeShared;
    ASSERT_TRUE(OpenDbf(b));
    std::string bytes = ReadFileBytes(tmp.file("t.dbf"));
    const std::string others = "station data";
    bytes.replace(16, 12, others);
    bytes.replace(1, 3, std::string("\x5A\x01\x01", 3));  // a date of long ago
    WriteFileBytes(tmp.file("t.dbf"), bytes);

    ASSERT_EQ(b.file.lock(kLockBase + 1, 1), 0);
    for (const char* rec : {" abc", " def"}) {
        std::memcpy(b.raw.data(), rec, 4);
        ASSERT_TRUE(AppendDbfRecord(b));
    }
    ASSERT_TRUE(WriteTailUnderAppendLock(b, true));
    ASSERT_EQ(b.file.unlock(kLockBase + 1, 1), 0);
    bytes = ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(bytes.substr(65), " abc def\x1A");
    EXPECT_EQ(bytes.substr(4, 4), le32(2));
    EXPECT_EQ(bytes.substr(1, 3), std::string("\x7E\x0C\x07", 3));
    EXPECT_EQ(bytes.substr(16, 12), others);
    ASSERT_TRUE(CloseDbf(b));
    EXPECT_EQ(ReadFileBytes(tmp.file("t.dbf")), bytes) << "the close wrote again what the release wrote";

    // A station appended a row and ended before it brought the header up to date; ours only rewrites.
    WriteFileBytes(tmp.file("t.dbf"), bytes.substr(0, 73) + " ghi\x1A");
    bytes = ReadFileBytes(tmp.file("t.dbf"));
    bytes.replace(1, 3, std::string("\x5A\x01\x01", 3));
    WriteFileBytes(tmp.file("t.dbf"), bytes);
    b.fileMode = platform::kModeShared;
    ASSERT_TRUE(OpenDbf(b));
    b.recCount = 2;
    std::memcpy(b.raw.data(), " xyz", 4);
    ASSERT_TRUE(PutDbfRecord(b, 1));
    ASSERT_TRUE(CloseDbf(b));
    const std::string after = ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(after.substr(65), " xyz def ghi\x1A");
    EXPECT_EQ(after.substr(1, 3), std::string("\x7E\x0C\x07", 3));
    EXPECT_EQ(after.substr(4, 4), le32(3));
    EXPECT_EQ(after.substr(16, 12), others);
}

// A table a writer left with rows its header does not count (it died between its rows and its header),
// ended as it left it: with the end mark, or with a row cut short. An open that repairs the count and may
// write puts the count on disk and cuts the cut row off, under the append lock; one that may not write,
// or finds the append lock held (a living appender, whose rows are its own to count), leaves the file.
TEST_F(DbfFileTest, AnOpenThatRepairsTheCountWritesItWhenItMayWrite) {
    struct Case {
        const char* name;
        bool autoFix;
        int mode;
        bool lockedElsewhere;
        bool cutRow;
        unsigned countOnDisk;  // after the open
    };
    const Case cases[] = {
        {"shared", true, platform::kModeShared, false, false, 5},
        {"shared, a cut row", true, platform::kModeShared, false, true, 5},
        {"exclusive, a cut row", true, platform::kModeExclusive, false, true, 5},
        {"read only", true, platform::kModeSharedRead, false, true, 3},
        {"append lock held", true, platform::kModeShared, true, false, 3},
        {"no repair", false, platform::kModeShared, false, false, 3},
    };
    const std::string row = " abcde";
    const std::string whole = header3(0x03, {descriptor("A", 'C', 5, 0)}, 6, 3) + row + row + row + row + row;
    const size_t end = whole.size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string left = whole + (c.cutRow ? " ab" : "\x1A");
        WriteFileBytes(tmp.file("t.dbf"), left);
        platform::File other;
        if (c.lockedElsewhere) {
            ASSERT_EQ(other.open(tmp.file("t.dbf"), platform::kModeShared), 0);
            ASSERT_EQ(other.lock(kLockBase + 1, 1), 0);
        }
        SetAutoFixRecCount(c.autoFix);
        TableBlock b;
        b.fileName = tmp.file("t.dbf");
        b.fileMode = static_cast<uint16_t>(c.mode);
        ASSERT_TRUE(OpenDbf(b));
        SetAutoFixRecCount(false);
        EXPECT_EQ(b.recCount, c.autoFix ? 5 : 3);
        CloseDbf(b);
        other.close();
        const std::string bytes = ReadFileBytes(tmp.file("t.dbf"));
        EXPECT_EQ(static_cast<unsigned>(static_cast<uint8_t>(bytes[4])), c.countOnDisk);
        if (c.countOnDisk == 5) {
            EXPECT_EQ(bytes.substr(8, end - 8), whole.substr(8, end - 8));
            EXPECT_EQ(bytes.substr(end), "\x1A");
        } else {
            EXPECT_EQ(bytes, left);
        }
    }
}

TEST_F(DbfFileTest, TranslationConvertsOnlyAfterTheDeletionFlag) {
    std::string rec = "*\xE9\xF1";  // é ñ in Windows-1252
    std::string twoRecords = rec + rec;
    TranslateRecord(TranslateDir::Write, true, nullptr, twoRecords.size(), 3, twoRecords.data());
    EXPECT_EQ(twoRecords, std::string("*\x82\xA4*\x82\xA4"));  // cp850
    int calls = 0;
    TranslateRecord(TranslateDir::Read, true, [&](char* p, size_t n) {
        ++calls;
        EXPECT_EQ(n, 2u);
        EXPECT_EQ(static_cast<uint8_t>(p[0]), 0x82);  // the procedure sees the stored bytes first
    }, twoRecords.size(), 3, twoRecords.data());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(twoRecords, rec + rec);
}

}  // namespace
}  // namespace xb
