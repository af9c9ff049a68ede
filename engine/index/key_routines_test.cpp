#include "engine/index/key_routines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/core/dates.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using xbtest::EngineTest;

TEST(JulianOf, KnownDayNumbersAndImpossibleDates) {
    struct Case {
        int y, m, d;
        double julian;
    } cases[] = {
        {2000, 1, 1, 2451545},   {2000, 2, 29, 2451604},      {1970, 1, 1, 2440588},
        {1582, 10, 15, 2299161}, {1, 1, 1, 1721426},          {9999, 12, 31, 5373484},
        {1900, 3, 1, 2415080},   {2026, 12, 7, 2461382},      {1900, 2, 29, kBlankDate},
        {2000, 13, 1, kBlankDate}, {2000, 0, 1, kBlankDate},  {2000, 1, 0, kBlankDate},
        {2001, 4, 31, kBlankDate}, {0, 1, 1, kBlankDate},     {-1, 1, 1, kBlankDate},
        {std::numeric_limits<int>::min(), 1, 1, kBlankDate},
    };
    for (const auto& c : cases) EXPECT_EQ(JulianOf(c.y, c.m, c.d), c.julian) << c.y << "-" << c.m << "-" << c.d;
}

TEST(DayNumbers, DtosConversionsBothWays) {
    struct Case {
        std::string dtos;
        double julian;
    } cases[] = {
        {"20000101", 2451545},  {"00010101", 1721426},     {"99991231", 5373484},
        {"20000229", 2451604},  {"20000101xyz", 2451545},  {"        ", kBlankDate},
        {"00000000", kBlankDate}, {"20000230", kBlankDate}, {"2000010", kBlankDate},
        {"", kBlankDate},       {"2000 101", kBlankDate},  {"abcdefgh", kBlankDate},
    };
    for (const auto& c : cases) EXPECT_EQ(DtosToJulian(c.dtos), c.julian) << "'" << c.dtos << "'";

    struct Back {
        double julian;
        const char* dtos;
    } back[] = {
        {2451545, "20000101"},   {2451545.75, "20000101"}, {1721426, "00010101"},  {5373484, "99991231"},
        {5373485, "        "},   {1721425, "        "},    {0, "        "},         {-1e300, "        "},
        {kBlankDate, "        "}, {std::nan(""), "        "},
        {std::numeric_limits<double>::infinity(), "        "},
    };
    for (const auto& b : back) EXPECT_EQ(JulianToDtos(b.julian), b.dtos) << b.julian;
}

// Every day of 1899..2101 follows the day before it, and a sample of the whole calendar round-trips.
TEST(DayNumbers, ConsecutiveDaysAndTheWholeCalendar) {
    double j = JulianOf(1899, 1, 1);
    int y = 1899, m = 1, d = 1;
    while (y < 2102) {
        ASSERT_EQ(JulianOf(y, m, d), j);
        const std::string expected = ZeroPad(y, 4) + ZeroPad(m, 2) + ZeroPad(d, 2);
        ASSERT_EQ(JulianToDtos(j), expected);
        int mm = 0, dd = 0;
        ASSERT_TRUE(MonthAndDayOfDayOfYear(y, DayOfYear(y, m, d), mm, dd));
        ASSERT_EQ(mm * 100 + dd, m * 100 + d);
        if (JulianOf(y, m, d + 1) != kBlankDate) ++d;
        else if (m < 12) d = 1, ++m;
        else d = 1, m = 1, ++y;
        j += 1;
    }
    for (double k = kFirstDayNumber; k <= kLastDayNumber; k += 811) ASSERT_EQ(DtosToJulian(JulianToDtos(k)), k);
}

TEST(Calendar, LeapYearsDaysOfYearAndYearStarts) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DayOfYear(2024, 12, 31), 366);
    EXPECT_EQ(DayOfYear(2023, 12, 31), 365);
    EXPECT_EQ(DayOfYear(2024, 3, 1), 61);
    EXPECT_EQ(DayOfYear(2023, 2, 29), -1);
    EXPECT_EQ(DaysBeforeYear(1), 0);
    EXPECT_EQ(DaysBeforeYear(0), 0);
    EXPECT_EQ(DaysBeforeYear(2), 365);
    EXPECT_EQ(DaysBeforeYear(2000), 730119);
    int m = 7, d = 7;
    EXPECT_TRUE(MonthAndDayOfDayOfYear(2024, 60, m, d));
    EXPECT_EQ(m * 100 + d, 229);
    EXPECT_TRUE(MonthAndDayOfDayOfYear(2023, 60, m, d));
    EXPECT_EQ(m * 100 + d, 301);
    EXPECT_FALSE(MonthAndDayOfDayOfYear(2023, 366, m, d));
    EXPECT_FALSE(MonthAndDayOfDayOfYear(2024, 0, m, d));
    EXPECT_EQ(m * 100 + d, 301);  // untouched by the failures
}

TEST(Calendar, ZeroPad) {
    EXPECT_EQ(ZeroPad(5, 3), "005");
    EXPECT_EQ(ZeroPad(1234, 2), "1234");
    EXPECT_EQ(ZeroPad(0, 0), "0");
    EXPECT_EQ(ZeroPad(-5, 3), "-05");
    EXPECT_EQ(ZeroPad(std::numeric_limits<long>::min(), 1), "-9223372036854775808");
}

class DateText : public EngineTest {};

TEST_F(DateText, JulianToDateStrPicturesAndBlankDates) {
    struct Case {
        int format;
        bool century;
        double julian;
        const char* text;
    } cases[] = {
        {0, false, 2451545, "01/01/00"},    {4, true, 2451545, "01.01.2000"}, {1, false, 2451545, "00.01.01"},
        {3, true, 2451545, "01-01-2000"},   {7, false, 2451545, "01.01.00"},  {8, false, 2451545, "01.01.00"},
        {8, true, 1721426, "01.01.0001"},   {0, false, 1721426, "01/01/01"},  {0, false, 1721425, "  /  /  "},
        {1, true, 5373485, "    .  .  "},   {3, false, kBlankDate, "  -  -  "}, {7, false, kBlankDate, "  .  .  "},
        {8, true, std::nan(""), "  .  .    "},
    };
    for (const auto& c : cases) {
        engine().settings.century = c.century;
        SetDateFormat(c.format);
        EXPECT_EQ(JulianToDateStr(c.julian), c.text) << c.format << " " << c.julian;
    }
}

TEST_F(DateText, DateStrToJulianReadsFourDigitYearsWhateverTheCenturyFlag) {
    SetDateFormat(0);
    EXPECT_EQ(DateStrToJulian("12/31/1850"), JulianOf(1850, 12, 31));
    EXPECT_EQ(DateStrToJulian("12/31/50"), JulianOf(2050, 12, 31));
    EXPECT_EQ(DateStrToJulian("1/2/3"), JulianOf(2003, 1, 2));
    EXPECT_EQ(DateStrToJulian("12/31/1999 23:59"), JulianOf(1999, 12, 31));  // first 10 characters
    EXPECT_EQ(DateStrToJulian("02/29/1900"), kBlankDate);
    EXPECT_EQ(DateStrToJulian("  /  /  "), kBlankDate);
    EXPECT_EQ(DateStrToJulian(""), kBlankDate);
    EXPECT_FALSE(engine().settings.century);  // restored after the call
    EXPECT_EQ(DateStrToDtos("1/2/3"), "20030102");
    EXPECT_EQ(DateStrToDtos("00/00/00"), "        ");
    EXPECT_EQ(DateStrToDtos("13/45/1999"), "        ");
    EXPECT_EQ(DateStrToDtos("01/01/0000"), "        ");
}

TEST(Soundex, Codes) {
    struct Case {
        std::string text;
        const char* code;
    } cases[] = {
        {"Robert", "R163"},  {"Rupert", "R163"}, {"Tymczak", "T522"}, {"A", "A000"},     {"", "0000"},
        {"robert", "R163"},  {"Pfister", "P236"}, {"Ashcraft", "A226"}, {"Lee", "L000"}, {"1abc", "1120"},
        {" Lee", " 400"},    {"O'Hara", "O600"}, {"\xE9tienne", "\xE9" "350"},
        {"A" + std::string(98, 'e') + "B", "A100"}, {"A" + std::string(99, 'e') + "B", "A000"},
    };
    for (const auto& c : cases) EXPECT_EQ(Soundex(c.text), c.code) << c.text;
}

TEST(ByteStrings, CompareBytesIsUnsignedAndBounded) {
    EXPECT_EQ(CompareBytes("abc", "abd", 3), 'c' - 'd');
    EXPECT_EQ(CompareBytes("abc", "abd", 2), 0);
    EXPECT_EQ(CompareBytes("x", "y", 0), 0);
    EXPECT_EQ(CompareBytes("\x80", "\x7f", 1), 1);
    EXPECT_EQ(CompareBytes("\x00", "\xff", 1), -255);
}

TEST(ByteStrings, CompareDoubleIsATotalOrder) {
    const double nan = std::nan("");
    const double values[] = {-1e300, -1, 0, 2451545, kBlankDate, nan};  // ascending
    for (size_t i = 0; i < std::size(values); ++i)
        for (size_t k = 0; k < std::size(values); ++k)
            EXPECT_EQ(CompareDouble(values[i], values[k]), i < k ? -1 : (i > k ? 1 : 0)) << i << " " << k;
    EXPECT_EQ(CompareDouble(0.0, -0.0), 0);
}

TEST(ByteStrings, ReverseAndRotate) {
    struct Case {
        const char* in;
        size_t first, second;
        const char* out;
    } cases[] = {
        {"abcde", 2, 3, "cdeab"}, {"abcde", 0, 5, "abcde"}, {"abcde", 5, 0, "abcde"},
        {"abcdef", 1, 5, "bcdefa"}, {"ab", 1, 1, "ba"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        RotateBlocks(s.data(), c.first, c.second);
        EXPECT_EQ(s, c.out) << c.in << " " << c.first << " " << c.second;
    }
    std::string s = "abcd";
    ReverseBytes(s.data(), 3);
    EXPECT_EQ(s, "cbad");
}

TEST(ByteStrings, ZeroTerminatedBuffersStayInBounds) {
    const char raw[4] = {'a', 'b', 'c', 'd'};  // no terminator
    EXPECT_EQ(StrFromBuffer(raw, 4), "abcd");
    EXPECT_EQ(StrFromBuffer("ab\0cd", 5), "ab");
    char buf[4];
    std::memset(buf, 'x', sizeof buf);
    StrToBuffer("longer text", buf, sizeof buf);
    EXPECT_STREQ(buf, "lon");
    StrToBuffer("anything", buf, 0);
    EXPECT_STREQ(buf, "lon");
    char dest[8];
    EXPECT_EQ(CStrCopy(dest, "key"), dest);
    EXPECT_EQ(CStrLength(dest), 3u);
    EXPECT_EQ(AsciiUpper("abz\xE9{"), "ABZ\xE9{");
    EXPECT_TRUE(IsLetterAZ('Q'));
    EXPECT_FALSE(IsLetterAZ('q'));
    EXPECT_FALSE(IsLetterAZ('['));
}

TEST(NodeList, OrderOfAdditionAndUnlinkNewestFirst) {
    NodeList list;
    EXPECT_EQ(list.next(nullptr), nullptr);
    EXPECT_FALSE(list.unlink());
    std::vector<void*> added;
    for (int i = 0; i < 1000; ++i) {
        const size_t n = 1 + i % 37;
        auto* p = static_cast<unsigned char*>(list.alloc(n));
        ASSERT_NE(p, nullptr);
        for (size_t k = 0; k < n; ++k) ASSERT_EQ(p[k], 0);  // zeroed
        std::memset(p, i % 251, n);
        added.push_back(p);
        EXPECT_EQ(list.head(), p);
    }
    EXPECT_EQ(list.totalSize(added[3]), 4 + 10);
    void* node = nullptr;
    for (void* p : added) {
        node = list.next(node);
        ASSERT_EQ(node, p);
    }
    EXPECT_EQ(list.next(node), nullptr);  // after the newest
    int local = 0;
    EXPECT_EQ(list.next(&local), nullptr);
    for (int i = 999; i >= 0; --i) {
        NodeBlock b = list.unlink();
        ASSERT_EQ(b.data(), added[i]);
        ASSERT_EQ(b.size(), 1u + i % 37);
        ASSERT_EQ(static_cast<unsigned char*>(b.data())[0], i % 251);  // data stayed put
    }
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.head(), nullptr);
}

TEST(NodeList, OversizedBlockIsRefusedAndNothingLinked) {
    NodeList list;
    void* first = list.alloc(NodeList::kMaxData);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(list.totalSize(first), 65535);
    EXPECT_EQ(list.alloc(NodeList::kMaxData + 1), nullptr);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.head(), first);
    void* empty = list.alloc(0);
    EXPECT_NE(empty, nullptr);
    EXPECT_NE(empty, first);
    EXPECT_EQ(list.next(first), empty);
    list.clear();
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace xb
