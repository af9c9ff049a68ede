#include "engine/core/dates.h"

#include <gtest/gtest.h>

#include <clocale>

#include "engine/core/engine.h"
#include "engine/index/key_routines.h"
#include "platform/codepage.h"
#include "platform/locale_facts.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using namespace std::string_literals;

class Dates : public xbtest::EngineTest {
protected:
    void use(int format, bool century) {
        engine().settings.century = century;
        SetDateFormat(format);
    }
};

// 31 December 1999 in every picture, and every picture's blank date.
struct PictureCase {
    int format;
    bool century;
    const char* picture;
    const char* date;
    const char* blank;
    char separator;
};

const PictureCase kPictures[] = {
    {0, false, "MM/dd/yy", "12/31/99", "  /  /  ", '/'},
    {0, true, "MM/dd/yyyy", "12/31/1999", "  /  /    ", '/'},
    {1, false, "yy.MM.dd", "99.12.31", "  .  .  ", '.'},
    {1, true, "yyyy.MM.dd", "1999.12.31", "    .  .  ", '.'},
    {2, false, "dd/MM/yy", "31/12/99", "  /  /  ", '/'},
    {2, true, "dd/MM/yyyy", "31/12/1999", "  /  /    ", '/'},
    {3, false, "dd-MM-yy", "31-12-99", "  -  -  ", '-'},
    {3, true, "dd-MM-yyyy", "31-12-1999", "  -  -    ", '-'},
    {4, false, "dd.MM.yy", "31.12.99", "  .  .  ", '.'},
    {5, true, "dd.MM.yyyy", "31.12.1999", "  .  .    ", '.'},
    {6, false, "dd.MM.yy", "31.12.99", "  .  .  ", '.'},
    {7, false, "dd.MM.yy", "31.12.99", "  .  .  ", '.'},
    {7, true, "dd.MM.yyyy", "31.12.1999", "  .  .    ", '.'},
    {8, false, "dd.MM.yy", "31.12.99", "  .  .  ", '.'},
    {8, true, "dd.MM.yyyy", "31.12.1999", "  .  .    ", '.'},
};

TEST_F(Dates, EveryPictureIsWrittenAndReadTheSameWayByEveryRoutine) {
    const double day = JulianOf(1999, 12, 31);
    for (const auto& c : kPictures) {
        SCOPED_TRACE(std::to_string(c.format) + (c.century ? " century" : ""));
        use(c.format, c.century);
        EXPECT_EQ(ShortDatePicture(), c.picture);
        EXPECT_EQ(DateSeparator(), c.separator);
        EXPECT_EQ(BlankDateText(c.format), c.blank);
        EXPECT_EQ(JulianToDateStr(day), c.date);
        EXPECT_EQ(JulianToDateStr(kBlankDate), c.blank);
        std::string canonical = c.century ? "12/31/1999" : "12/31/99";
        FormatDateStr(canonical);
        EXPECT_EQ(canonical, c.date);
        std::string text = c.date;
        NormalizeDateStr(text);
        EXPECT_EQ(text, c.century ? "12/31/1999" : "12/31/99");
        EXPECT_EQ(DateStrToJulian(c.date), day);
        EXPECT_EQ(DateStrToJulian(c.blank), kBlankDate);
        std::string blank = c.blank;
        EXPECT_TRUE(IsValidDateStr(blank));
        EXPECT_EQ(blank, c.blank);
    }
}

// Day numbers through the century window (and, with four-digit years, the whole calendar) survive every
// conversion in every picture.
TEST_F(Dates, EveryPictureRoundTripsThroughTextAndDayNumbers) {
    for (int format = 0; format < kDateFormatCount; ++format) {
        for (bool century : {false, true}) {
            use(format, century);
            const double first = century ? kFirstDayNumber : JulianOf(1956, 1, 1);
            const double last = century ? kLastDayNumber : JulianOf(2055, 12, 31);
            for (double j = first; j <= last; j += century ? 997 : 53) {
                const std::string text = JulianToDateStr(j);
                SCOPED_TRACE(std::to_string(format) + " " + text);
                ASSERT_EQ(DateStrToJulian(text), j);
                std::string t = text;
                NormalizeDateStr(t);
                FormatDateStr(t);
                ASSERT_EQ(t, text);
                t = text;
                ASSERT_TRUE(IsValidDateStr(t));
                ASSERT_EQ(t, text);
                ASSERT_EQ(DateStrToDtos(text), JulianToDtos(j));
                ASSERT_EQ(DateToDtos(text), JulianToDtos(j));
                // Day numbers count days; 2451545 (1 January 2000) was a Saturday.
                ASSERT_EQ(Dow(text), static_cast<long>(j + 1) % 7 + 1);
            }
        }
    }
}

TEST_F(Dates, NormalizeReadsThePartsInTheOrderOfTheFormat) {
    struct Case {
        int format;
        bool century;
        std::string in;
        const char* out;
    } cases[] = {
        {2, false, "31/12/99", "12/31/99"},   {2, true, "31/12/99", "12/31/1999"},
        {2, true, "31/12/05", "12/31/2005"},  {5, false, "1.2.3", "02/01/03"},
        {1, false, "99.12.31", "12/31/99"},   {1, true, "5.1.2", "01/02/2005"},
        {0, true, "1/2/123", "01/02/0123"},   {0, false, "1/2/123", "01/02/123"},
        {4, false, " 1 . 2 . 3 ", "02/01/03"}, {0, false, "  /  /  ", "  /  /  "},
        {0, true, "//", "  /  /    "},       {3, false, "7-8", "08/07/00"},
        {0, false, "no date", "no date"},     {0, false, "12/31/99\0junk"s, "12/31/99"},
        {0, false, "12/31/1999 and more", "12/31/1999"},
    };
    for (const auto& c : cases) {
        use(c.format, c.century);
        std::string t = c.in;
        NormalizeDateStr(t);
        EXPECT_EQ(t, c.out) << c.format << " " << c.in;
    }
}

TEST_F(Dates, PivotYearSlidesTheCenturyWindow) {
    EXPECT_EQ(engine().settings.pivotYear, 1956);  // the suite's clock says 2026
    struct Case {
        int pivot;
        const char* year;
        int century;
        const char* year4;
    } cases[] = {
        {1956, "00", 2000, "20"}, {1956, "55", 2000, "20"}, {1956, "56", 1900, "19"},
        {1956, "99", 1900, "19"}, {1990, "89", 2000, "20"}, {1990, "90", 1900, "19"},
        {2000, "00", 2000, "20"}, {2000, "99", 2000, "20"}, {1956, "xy", 2000, "20"},
        {1956, "5", 2000, "20"},
    };
    for (const auto& c : cases) {
        engine().settings.pivotYear = c.pivot;
        EXPECT_EQ(CenturyOf(c.year), c.century) << c.pivot << " " << c.year;
        EXPECT_EQ(YearTo4(c.year), c.year4) << c.pivot << " " << c.year;
    }
    engine().settings.pivotYear = 1990;
    use(0, false);
    EXPECT_EQ(DateStrToJulian("01/01/89"), JulianOf(2089, 1, 1));
    EXPECT_EQ(YearOf("01/01/90"), 1990);
}

TEST_F(Dates, ExpandYearOnlyWithTheCenturyFlag) {
    struct Case {
        bool century;
        const char* in;
        const char* out;
    } cases[] = {{true, "99", "1999"}, {true, "05", "2005"},   {true, "5", "0005"}, {true, "123", "0123"},
                 {true, "2024", "2024"}, {true, "", "0000"},  {false, "99", "99"}, {false, "5", "5"}};
    for (const auto& c : cases) {
        engine().settings.century = c.century;
        EXPECT_EQ(ExpandYear(c.in), c.out) << c.in;
    }
}

TEST_F(Dates, IsValidDateStrAcceptsRealDatesOnlyAndStoresThePicture) {
    struct Case {
        int format;
        bool century;
        const char* in;
        bool valid;
        const char* stored;  // the caller's text afterwards
    } cases[] = {
        {0, false, "02/29/00", true, "02/29/00"},       {0, false, "02/30/00", false, "02/30/00"},
        {0, true, "02/29/1900", false, "02/29/1900"},   {0, true, "02/29/2000", true, "02/29/2000"},
        {0, false, "02/29/99", false, "02/29/99"},      {0, false, "04/31/99", false, "04/31/99"},
        {0, false, "13/01/99", false, "13/01/99"},      {0, false, "00/10/99", false, "00/10/99"},
        {0, false, "01/00/99", false, "01/00/99"},      {0, false, "1a/01/99", false, "1a/01/99"},
        {0, false, "  /  /  ", true, "  /  /  "},       {0, false, "", false, ""},
        {0, false, "123", false, "123"},                {0, true, "01/01/0000", false, "01/01/0000"},
        {0, false, "12/31/1999", true, "12/31/99"},     {0, true, "1/2/3", true, "01/02/2003"},
        {0, false, "   12/31/99  ", true, "12/31/99"},  {4, false, "31/12/1999", true, "31.12.99"},
        {4, true, "1.2.99", true, "01.02.1999"},        {1, true, "1999/12/31", true, "1999.12.31"},
        {5, false, "  .  .  ", true, "  .  .  "},       {8, true, "29.02.2001", false, "29.02.2001"},
        {0, false, "12/31/99/7", false, "12/31/99/7"},
    };
    for (const auto& c : cases) {
        use(c.format, c.century);
        std::string t = c.in;
        EXPECT_EQ(IsValidDateStr(t), c.valid) << c.format << " '" << c.in << "'";
        EXPECT_EQ(t, c.stored) << c.format << " '" << c.in << "'";
    }
}

TEST_F(Dates, SetDateFormatOutsideTheTableSelectsFormatZero) {
    for (int n : {12, 9, -1}) {
        SetDateFormat(4);
        SetDateFormat(n);
        EXPECT_EQ(engine().settings.dateFormat, 0) << n;
        EXPECT_EQ(ShortDatePicture(), "MM/dd/yy") << n;
    }
}

TEST_F(Dates, TheRuntimePictureBelongsToTheEngineThatSetIt) {
    SetDateFormat(5);
    {
        Engine other(platform::LocaleFactsFromName("en_GB"));
        EXPECT_EQ(ShortDatePicture(), "dd/MM/yy");  // its own settings, not the other engine's call
        SetDateFormat(3);
        EXPECT_EQ(DateSeparator(), '-');
    }
    EXPECT_EQ(ShortDatePicture(), "dd.MM.yy");
    Engine later(platform::LocaleFactsFromName("en_US"));
    EXPECT_EQ(ShortDatePicture(), "MM/dd/yy");
}

TEST_F(Dates, WeekdaysOfKnownDates) {
    struct Case {
        int format;
        bool century;
        const char* date;
        int dow;
    } cases[] = {
        {0, true, "01/01/2000", 7}, {0, false, "07/20/69", 1},   {2, true, "25/12/2023", 2},
        {5, true, "09.11.1989", 5}, {1, true, "1582.10.15", 6}, {0, true, "01/01/0001", 2},
        {0, true, "12/31/9999", 6}, {0, false, "02/30/00", 0},  {0, false, "  /  /  ", 0},
    };
    for (const auto& c : cases) {
        use(c.format, c.century);
        EXPECT_EQ(Dow(c.date), c.dow) << c.date;
    }
}

TEST_F(Dates, DayAndMonthNamesInEveryLanguageAtTheirTableWidth) {
    struct Case {
        int format;
        const char* wednesday;  // 1 March 2000 was a Wednesday
        const char* march;
        const char* august;
    } cases[] = {
        {0, "Wednesday", "March    ", "August   "},
        {3, "Mercoledi", "Marzo    ", "Agosto   "},
        {4, "Mercredi", "Mars     ", "Ao\u00fbt     "},
        {5, "Mittwoch  ", "M\u00e4rz     ", "August   "},
        {6, "Miercoles", "Marzo     ", "Agosto    "},
        {7, "Mercredi", "Mars     ", "Ao\u00fbt     "},
        {8, "\u0421\u0440\u0435\u0434\u0430      ", "\u041c\u0430\u0440\u0442    ",
         "\u0410\u0432\u0433\u0443\u0441\u0442  "},
    };
    for (const auto& c : cases) {
        use(c.format, true);
        const std::string wed = JulianToDateStr(JulianOf(2000, 3, 1));
        EXPECT_EQ(CDowUtf8(wed), c.wednesday) << c.format;
        EXPECT_EQ(CMonthUtf8(wed), c.march) << c.format;
        EXPECT_EQ(CMonthUtf8(JulianToDateStr(JulianOf(2000, 8, 1))), c.august) << c.format;
        // Every name of the language fits its table: all seven days and twelve months have one width.
        const size_t dayWidth = platform::DecodeUtf8(CDowUtf8(wed)).size();
        const size_t monthWidth = platform::DecodeUtf8(CMonthUtf8(wed)).size();
        for (int i = 0; i < 12; ++i) {
            const std::string d = JulianToDateStr(JulianOf(2000, i + 1, 1 + i));
            EXPECT_EQ(platform::DecodeUtf8(CDowUtf8(d)).size(), dayWidth) << c.format << " " << d;
            EXPECT_EQ(platform::DecodeUtf8(CMonthUtf8(d)).size(), monthWidth) << c.format << " " << d;
        }
        EXPECT_EQ(CDowUtf8(BlankDateText(c.format)), std::string(10, ' '));
        EXPECT_EQ(CMonthUtf8("02/30/00"), std::string(10, ' '));
    }
}

TEST_F(Dates, NamesComeInTheCodePageTheCallerNeeds) {
    use(4, false);
    EXPECT_EQ(CMonth("01.02.00"), "F\xE9vrier  ");  // the engine's ANSI code page, 1252
    EXPECT_EQ(CMonth("01.12.00", 1252), "D\xE9" "cembre ");
    EXPECT_EQ(CMonth("01.02.00", 850), "F\x82vrier  ");
    use(5, false);
    EXPECT_EQ(CMonth("01.03.00"), "M\xE4rz     ");
    use(8, false);
    // The Russian names need 1251; a Latin page has no Cyrillic letters, so they become "?".
    EXPECT_EQ(CDow("01.03.00", 1251), "\xD1\xF0\xE5\xE4\xE0      ");
    EXPECT_EQ(CMonth("01.03.00", 866), "\x8C\xA0\xE0\xE2    ");
    EXPECT_EQ(CMonth("01.03.00"), "????    ");
    Engine russian(platform::LocaleFactsFromName("ru_RU"));
    EXPECT_EQ(russian.settings.dateFormat, 8);
    EXPECT_EQ(CMonth("01.05.00"), "\xCC\xE0\xE9     ");
}

TEST_F(Dates, PartsOfADate) {
    struct Case {
        int format;
        bool century;
        const char* date;
        int month, day, year;
        const char* dtos;
    } cases[] = {
        {0, false, "12/31/99", 12, 31, 1999, "19991231"}, {0, false, "01/02/03", 1, 2, 2003, "20030102"},
        {4, true, "31.12.1850", 12, 31, 1850, "18501231"}, {1, false, "05.6.7", 6, 7, 2005, "20050607"},
        {0, false, "  /  /  ", 0, 0, 0, "        "},       {0, false, "ab/cd/ef", 0, 0, 0, "        "},
        {0, false, "02/30/00", 2, 30, 2000, "        "},    {0, false, "", 0, 0, 0, "        "},
    };
    for (const auto& c : cases) {
        use(c.format, c.century);
        EXPECT_EQ(MonthOf(c.date), c.month) << c.date;
        EXPECT_EQ(DayOf(c.date), c.day) << c.date;
        EXPECT_EQ(YearOf(c.date), c.year) << c.date;
        EXPECT_EQ(DateToDtos(c.date), c.dtos) << c.date;
    }
}

// The texts and names must not follow the C library's locale (Qt sets it from the environment).
TEST(DatesLocale, ResultsDoNotDependOnTheCLibraryLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
    {
        Engine e(platform::LocaleFactsFromName("fr_FR"));
        SetErrorTrap(false);
        EXPECT_EQ(e.settings.dateFormat, 4);
        EXPECT_EQ(ShortDatePicture(), "dd.MM.yy");
        EXPECT_EQ(JulianToDateStr(2451545), "01.01.00");
        EXPECT_EQ(DateStrToJulian(" 1.1.2000"), 2451545);
        EXPECT_EQ(CDow("01.01.00"), "Samedi  ");
        EXPECT_EQ(CMonth("15.08.26"), "Ao\xFBt     ");
        std::string t = "29.2.24";
        EXPECT_TRUE(IsValidDateStr(t));
        EXPECT_EQ(t, "29.02.24");
        EXPECT_EQ(DateStrToDtos(t), "20240229");
    }
    std::setlocale(LC_ALL, saved.c_str());
}

// Short, long and odd texts under every format: nothing is read beyond the text, nothing longer than a
// date comes back.
TEST_F(Dates, OddTextsAreBoundedInEveryFormat) {
    const std::string odd[] = {"", "/", "//", "///", "-", ".", "1/", "/1", "\xff/\xff/\xff",
                               std::string("\0/\0/\0", 5), std::string(40, '/'), "12345678901234567890",
                               "9999/9999/9999", "-1/-1/-1", " . . "};
    for (int format = 0; format < kDateFormatCount; ++format) {
        for (bool century : {false, true}) {
            use(format, century);
            for (const std::string& s : odd) {
                std::string n = s, f = s, v = s;
                NormalizeDateStr(n);
                FormatDateStr(f);
                IsValidDateStr(v);
                EXPECT_LE(n.size(), 14u);  // three parts of at most 4 and two separators
                EXPECT_LE(f.size(), 14u);
                EXPECT_EQ(Dow(s), 0);
                EXPECT_EQ(CDow(s), std::string(10, ' '));
                EXPECT_EQ(DateToDtos(s).size(), 8u);
                EXPECT_EQ(DateStrToJulian(s), kBlankDate);
            }
        }
    }
}

}  // namespace
}  // namespace xb
