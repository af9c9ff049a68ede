#include "engine/core/work_areas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/typed_record.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using xbtest::ReadFileBytes;

class WorkAreaTest : public xbtest::EngineTest {
protected:
    std::string makeTable(const std::string& name, const std::vector<FieldDef>& fields) {
        TableBlock b;
        EXPECT_TRUE(CreateDbf(b, tmp.file(name), fields));
        return tmp.file(name);
    }
    // Appends the typed buffer of the current area as a new record.
    void appendTyped() {
        WorkAreaBlock* b = CurrentBlock();
        StoreRecordBuffer();
        ASSERT_TRUE(AppendDbfRecord(*b));
    }
    void setC(int field, const std::string& v) { TypedSetString(FieldAddress(field), FieldLen(field), v); }
};

TEST_F(WorkAreaTest, UseParsesExclusiveAndAliasInAnyCaseAndKeepsTheNameCase) {
    makeTable("Champan.dbf", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Use(tmp.file("Champan") + " exclusive Alias champs", nullptr, 0));
    WorkAreaBlock* b = CurrentBlock();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->alias, "CHAMPS");
    EXPECT_TRUE(b->exclusive);
    EXPECT_EQ(b->fileName, tmp.file("Champan.dbf"));
    platform::File other;
    EXPECT_EQ(other.open(tmp.file("Champan.dbf"), platform::kModeShared), platform::kErrSharingViolation);
    CloseDatabase();
    EXPECT_EQ(CurrentBlock(), nullptr);
    EXPECT_EQ(other.open(tmp.file("Champan.dbf"), platform::kModeShared), 0);
}

TEST_F(WorkAreaTest, UseFindsTheFileWhateverTheCaseOnDisk) {
    makeTable("CHAMPAN.DBF", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Use(tmp.file("champan"), nullptr, 0));
    EXPECT_EQ(DbfName(), tmp.file("CHAMPAN.DBF"));
    EXPECT_EQ(CurrentBlock()->alias, "CHAMPAN");
    EXPECT_FALSE(CurrentBlock()->exclusive);
    CloseDatabase();
    // Nothing new was created beside it.
    EXPECT_FALSE(platform::FileExists(tmp.file("champan.dbf")) && platform::FileExists(tmp.file("CHAMPAN.DBF")) &&
                 ReadFileBytes(tmp.file("champan.dbf")) != ReadFileBytes(tmp.file("CHAMPAN.DBF")));
}

TEST_F(WorkAreaTest, ExclusiveAsPartOfAWordIsNotAKeyword) {
    makeTable("exclusive_x.dbf", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Use(tmp.file("exclusive_x"), nullptr, 0));
    EXPECT_FALSE(CurrentBlock()->exclusive);
}

TEST_F(WorkAreaTest, EmptyCommandClosesTheArea) {
    makeTable("t.dbf", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_TRUE(Use("   ", nullptr, 0));
    EXPECT_EQ(CurrentBlock(), nullptr);
}

TEST_F(WorkAreaTest, BufferSizeMismatchNamesBothSizes) {
    makeTable("t.dbf", {{"a", 'C', 3, 0}, {"n", 'N', 5, 2}, {"i", 'N', 4, 0}, {"d", 'D', 8, 0}, {"l", 'L', 1, 0}});
    std::vector<uint8_t> buf(100);
    EXPECT_FALSE(Use(tmp.file("t"), buf.data(), buf.size()));
    EXPECT_EQ(LastError(), 266);
    // 1 + (1+3) + 8 + 4 + 11 + 1
    EXPECT_EQ(ErrorMsg(), "Error # 266 (Invalid size)\r\nDatabase record/buffer size mismatch: " + tmp.file("t") +
                              " [USE()]\n\rRecord Size=29, Buffer Size=100");
    EXPECT_EQ(CurrentBlock(), nullptr);

    buf.resize(29);
    EXPECT_TRUE(Use(tmp.file("t"), buf.data(), buf.size()));
    EXPECT_EQ(FieldAddress(0), buf.data());
    EXPECT_EQ(FieldAddress(3), buf.data() + 1 + 4 + 8);

    EXPECT_FALSE(Use(tmp.file("t"), buf.data(), 0));
    EXPECT_EQ(LastError(), 220);
    EXPECT_FALSE(Use(tmp.file("t"), nullptr, 29));
    EXPECT_EQ(LastError(), 220);
}

TEST_F(WorkAreaTest, DuplicateAliasFailsAndLeavesTheAreaEmpty) {
    makeTable("t.dbf", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Select(1));
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    ASSERT_TRUE(Select(2));
    EXPECT_FALSE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_EQ(LastError(), 220);
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nAlias name \"T\" already in use. [USE]");
    EXPECT_EQ(CurrentBlock(), nullptr);
    EXPECT_TRUE(Use(tmp.file("t") + " ALIAS t2", nullptr, 0));
    EXPECT_EQ(CurrentBlock()->alias, "T2");
}

TEST_F(WorkAreaTest, SelectRules) {
    makeTable("t.dbf", {{"a", 'C', 3, 0}});
    for (int i = 1; i <= 33; ++i) {
        ASSERT_TRUE(Select(0));
        EXPECT_EQ(SelectedArea(), i);
        ASSERT_TRUE(Use(tmp.file("t") + " alias a" + std::to_string(i), nullptr, 0));
    }
    EXPECT_FALSE(Select(0));
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nNo free workarea available [Select(0)]");
    EXPECT_FALSE(Select(34));
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nInvalid workarea selected = [Select(34)]");
    EXPECT_FALSE(Select(-1));
    CloseAllDatabases();
    EXPECT_EQ(SelectedArea(), 1);
    for (int i = 1; i <= 33; ++i) EXPECT_EQ(AreaBlock(i), nullptr);
}

TEST_F(WorkAreaTest, FieldRoutinesCheckAreaAndNumber) {
    EXPECT_EQ(FieldType(1), '\0');
    EXPECT_EQ(ErrorMsg(), "Error # 215 (No database in use)\r\nNo database in use [FieldType]  WorkArea = 1");
    makeTable("t.dbf", {{"name", 'C', 12, 0}, {"born", 'D', 8, 0}, {"pts", 'N', 6, 2}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_EQ(FieldCount(), 3);
    EXPECT_EQ(Field(2), "BORN");
    EXPECT_EQ(FieldNo("born      xyz"), 2);
    EXPECT_EQ(FieldNo("Pts "), 3);
    EXPECT_EQ(FieldNo("none"), 0);
    EXPECT_EQ(FieldLen(2), 8);
    engine().settings.century = true;
    EXPECT_EQ(FieldLen(2), 10);
    EXPECT_EQ(FieldDec(3), 2);
    EXPECT_EQ(FieldLen(4), 0);
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nInvalid field number. [FieldLen(4)]");
    EXPECT_EQ(FieldAddress(0), CurrentBlock()->typed);
    EXPECT_EQ(RecSize(), 1 + 12 + 8 + 6);
}

TEST_F(WorkAreaTest, WithoutTheIndexEngineUseReadsRecordOne) {
    makeTable("t.dbf", {{"a", 'C', 3, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_TRUE(CurrentBlock()->bof && CurrentBlock()->eof);
    for (const char* v : {"one", "two"}) {
        setC(1, v);
        appendTyped();
    }
    CloseDatabase();
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_EQ(CurrentBlock()->recNo, 1);
    EXPECT_EQ(TypedGetString(FieldAddress(1)), "one");
    EXPECT_FALSE(CurrentBlock()->eof);
}

TEST_F(WorkAreaTest, WithoutTheMemoUnitMemoFieldsReadAsBlockNumbers) {
    makeTable("m.dbf", {{"txt", 'M', 10, 0}});
    ASSERT_TRUE(Use(tmp.file("m"), nullptr, 0));
    EXPECT_TRUE(CurrentBlock()->hasMemo);
    TypedSetInt(FieldAddress(1), 17);
    appendTyped();
    CloseDatabase();
    std::string bytes = ReadFileBytes(tmp.file("m.dbf"));
    EXPECT_EQ(bytes.substr(32 + 32 + 1, 11), "         17");
    ASSERT_TRUE(Use(tmp.file("m"), nullptr, 0));
    EXPECT_EQ(TypedGetInt(FieldAddress(1)), 17);
}

TEST_F(WorkAreaTest, VirtualFileWithoutTheDriverReports1101) {
    std::vector<uint8_t> buf(10);
    EXPECT_FALSE(Use("scores VIRTUAL FILE", buf.data(), buf.size()));
    EXPECT_EQ(LastError(), 1101);
    EXPECT_EQ(ErrorMsg(), "Error # 1101 (Virtual File Manager Unit not Linked in)\r\n"
                          "[USE(scores VIRTUAL FILE,<@Buffer>,10)]");
}

TEST_F(WorkAreaTest, OemTablesStoreCp850AndReadBackAnsi) {
    makeTable("t.dbf", {{"nom", 'C', 6, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    setC(1, "\xE9t\xE9");  // "été" in Windows-1252
    appendTyped();
    CloseDatabase();
    EXPECT_EQ(ReadFileBytes(tmp.file("t.dbf")).substr(32 + 32 + 1, 7), std::string(" \x82t\x82   "));
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_EQ(TypedGetString(FieldAddress(1)), "\xE9t\xE9   ");
    CloseDatabase();
    engine().settings.ansi = true;
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    EXPECT_EQ(TypedGetString(FieldAddress(1)), "\x82t\x82   ");
}

// Typed and raw conversions.

class TypedRecordTest : public WorkAreaTest {};

TEST_F(TypedRecordTest, NumbersDatesAndLogicals) {
    makeTable("t.dbf", {{"n", 'N', 4, 0}, {"f", 'F', 7, 2}, {"d", 'D', 8, 0}, {"l", 'L', 1, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    WorkAreaBlock* b = CurrentBlock();
    struct Case {
        int32_t n;
        double f;
        std::string d;
        uint8_t l;
        std::string raw;
    };
    const Case cases[] = {
        {12, 3.5, "12/31/99", 1, "  12   3.5019991231T"},
        {-999, -1234.56, "01/02/03", 0, "-999*******20030102F"},
        {-99, -234.56, "01/02/03", 0, " -99-234.5620030102F"},
        {12345, 1e9, "  /  /  ", 0, "***********        F"},
        {0, -0.001, "", 1, "   0   0.00        T"},
        {7, 0, "1/2/3", 0, "   7   0.0020030102F"},
    };
    for (const Case& c : cases) {
        std::fill(b->raw.begin(), b->raw.end(), ' ');
        TypedSetInt(FieldAddress(1), c.n);
        TypedSetDouble(FieldAddress(2), c.f);
        TypedSetString(FieldAddress(3), 10, c.d);
        *FieldAddress(4) = c.l;
        StoreRecordBuffer();
        EXPECT_EQ(std::string(b->raw.data() + 1, 20), c.raw) << c.raw;
    }
}

TEST_F(TypedRecordTest, StoredTextThatIsNoNumberReadsZeroAndSurvivesAReplace) {
    makeTable("t.dbf", {{"n", 'N', 4, 0}, {"big", 'N', 12, 0}, {"c", 'C', 2, 0}, {"d", 'D', 8, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    WorkAreaBlock* b = CurrentBlock();
    const std::string stored = " ****999999999999xy19250101";
    std::memcpy(b->raw.data(), stored.data(), stored.size());
    LoadRecordBuffer();
    EXPECT_EQ(TypedGetInt(FieldAddress(1)), 0);
    EXPECT_EQ(TypedGetInt(FieldAddress(2)), 2147483647);  // saturated
    EXPECT_EQ(TypedGetString(FieldAddress(4)), "01/01/25");
    setC(3, "zz");  // a replace of another field
    StoreRecordBuffer();
    EXPECT_EQ(std::string(b->raw.data(), b->raw.size()), " ****999999999999zz19250101");
    TypedSetInt(FieldAddress(1), 5);  // a changed value is written
    StoreRecordBuffer();
    EXPECT_EQ(std::string(b->raw.data() + 1, 4), "   5");
}

TEST_F(TypedRecordTest, NumberTextIgnoresTheCLocale) {
    const char* old = std::setlocale(LC_ALL, "fr_FR.UTF-8");
    if (!old) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
    EXPECT_EQ(FormatFieldNumber(1234.5, 9, 2), "  1234.50");
    bool exact = false;
    EXPECT_EQ(ParseFieldNumber(" 12.25", exact), 12.25);
    EXPECT_TRUE(exact);
    ParseFieldNumber("12,25", exact);
    EXPECT_FALSE(exact);
    std::setlocale(LC_ALL, "C");
}

TEST_F(TypedRecordTest, CenturySettingShapesDateText) {
    makeTable("t.dbf", {{"d", 'D', 8, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    WorkAreaBlock* b = CurrentBlock();
    std::memcpy(b->raw.data(), " 20240229", 9);
    const struct {
        int format;
        bool century;
        const char* text;
    } cases[] = {
        {0, false, "02/29/24"}, {0, true, "02/29/2024"}, {1, true, "2024.02.29"}, {2, false, "29/02/24"},
        {3, true, "29-02-2024"}, {4, false, "29.02.24"}, {8, true, "29.02.2024"},
    };
    for (const auto& c : cases) {
        engine().settings.dateFormat = c.format;
        engine().settings.century = c.century;
        LoadRecordBuffer();
        EXPECT_EQ(TypedGetString(FieldAddress(1)), c.text);
        std::memset(b->raw.data() + 1, ' ', 8);
        StoreRecordBuffer();
        EXPECT_EQ(std::string(b->raw.data() + 1, 8), "20240229") << c.text;
    }
}

TEST_F(TypedRecordTest, RandomRecordsRoundTrip) {
    makeTable("t.dbf", {{"c", 'C', 20, 0}, {"n", 'N', 9, 0}, {"f", 'N', 12, 3}, {"d", 'D', 8, 0},
                        {"l", 'L', 1, 0}, {"m", 'M', 10, 0}});
    ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0));
    engine().settings.century = true;
    std::mt19937 rng(42);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint8_t> before(CurrentBlock()->typedSize);
    for (int i = 0; i < 2000; ++i) {
        std::string c;
        for (int k = rnd(0, 20); k > 0; --k) c += static_cast<char>(rnd(0x20, 0xFF));
        while (c.size() < 20) c += ' ';
        *FieldAddress(0) = static_cast<uint8_t>(rnd(0, 1));
        TypedSetString(FieldAddress(1), 20, c);
        TypedSetInt(FieldAddress(2), rnd(-99999999, 999999999));
        TypedSetDouble(FieldAddress(3), rnd(-9999999, 99999999) / 1000.0);
        char date[11];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", rnd(1, 12), rnd(1, 28), rnd(1, 9999));
        TypedSetString(FieldAddress(4), 10, rnd(0, 9) == 0 ? std::string(10, ' ') : std::string(date));
        *FieldAddress(5) = static_cast<uint8_t>(rnd(0, 1));
        TypedSetInt(FieldAddress(6), rnd(0, 999999));
        std::memcpy(before.data(), FieldAddress(0), before.size());
        StoreRecordBuffer();
        std::fill(before.begin(), before.begin(), 0);
        LoadRecordBuffer();
        std::string blankDate = "  /  /    ";
        if (TypedGetString(FieldAddress(4)) == blankDate && TypedGetString(before.data() + 1 + 21 + 4 + 8) ==
                                                                  std::string(10, ' '))
            TypedSetString(before.data() + 1 + 21 + 4 + 8, 10, blankDate);
        ASSERT_EQ(std::memcmp(before.data(), FieldAddress(0), before.size()), 0) << "record " << i;
    }
}

}  // namespace
}  // namespace xb
