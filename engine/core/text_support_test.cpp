#include "engine/core/text_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>

#include "platform/codepage.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

class TextSupport : public xbtest::EngineTest {
protected:
    // Replaces the test's engine with one started from another locale (trapping off as before).
    void useLocale(const std::string& name) {
        m_engine.reset();
        m_engine = std::make_unique<Engine>(platform::LocaleFactsFromName(name));
        SetErrorTrap(false);
    }
};

// Sets the C library's locale for one test, as the GUI toolkit does from the environment.
class CLocale {
public:
    explicit CLocale(const char* name) : m_saved(std::setlocale(LC_ALL, nullptr)) {
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~CLocale() { std::setlocale(LC_ALL, m_saved.c_str()); }
    bool ok() const { return m_ok; }

private:
    std::string m_saved;
    bool m_ok = false;
};

// ---- memory ----

void* failingAlloc(size_t) { return nullptr; }

TEST_F(TextSupport, GetMemAndFreeMemPairUp) {
    for (unsigned size : {0u, 1u, 4096u, 65535u}) {
        void* p = nullptr;
        ASSERT_TRUE(GetMem(p, size)) << size;
        ASSERT_NE(p, nullptr);
        if (size > 0) {
            auto* bytes = static_cast<unsigned char*>(p);
            bytes[size - 1] = 0xAB;  // the whole block is ours (ASan checks)
        }
        FreeMem(p);
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(LastError(), 0) << size;
    }
    EXPECT_EQ(MaxAvail(), 2147483647L);
}

TEST_F(TextSupport, FreeMemOfNilReports9) {
    void* p = nullptr;
    FreeMem(p);
    EXPECT_EQ(LastError(), 9);
    EXPECT_EQ(ErrorMsg(), ErrorText(9) + "\r\nAttempt to free NIL pointer [FreeMem()]");
}

TEST_F(TextSupport, GetMemReportsAFailedAllocationInsteadOfCrashing) {
    MemAllocator old = SetMemAllocator(failingAlloc);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_FALSE(GetMem(p, 100));
    SetMemAllocator(old);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(LastError(), 217);
    EXPECT_EQ(ErrorMsg(), "Error # 217 (Insufficient memory)\r\n [GetMem()]");

    // With trapping and exception mode on, the report reaches the dispatcher.
    SetErrorTrap(true);
    SetEngineExceptions(true);
    old = SetMemAllocator(failingAlloc);
    EXPECT_THROW(GetMem(p, 100), EEngineError);
    SetMemAllocator(old);
}

TEST_F(TextSupport, GetMemRefusesBlocksBeyondItsLimit) {
    void* p = nullptr;
    EXPECT_FALSE(GetMem(p, 65536));
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(LastError(), 266);
}

// ---- OEM and ANSI ----

TEST_F(TextSupport, AnsiOemRoundTripsEveryByte) {
    for (auto [ansi, oem] : {std::pair{1252, 850}, std::pair{1250, 852}}) {
        engine().settings.ansiCodePage = ansi;
        engine().settings.oemCodePage = oem;
        std::string all;
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
        const std::string oemText = AnsiToOemStr(all);
        ASSERT_EQ(oemText.size(), 256u);
        EXPECT_EQ(OemToAnsiStr(oemText), all) << ansi << "/" << oem;
        // A bijection: no two ANSI bytes share an OEM byte.
        std::string sorted = oemText;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end()) << ansi;
        // The buffer forms agree with the string forms.
        std::string buf = all;
        AnsiToOemBuf(buf.data(), buf.size());
        EXPECT_EQ(buf, oemText);
        OemToAnsiBuf(buf.data(), buf.size());
        EXPECT_EQ(buf, all);
    }
}

TEST_F(TextSupport, AnsiToOemMapsWesternLettersToTheirOemBytes) {
    struct Case {
        unsigned char ansi, oem;
    };
    // é ñ ç Ü Ä Ø å
    const Case cases[] = {{0xE9, 0x82}, {0xF1, 0xA4}, {0xE7, 0x87}, {0xDC, 0x9A},
                          {0xC4, 0x8E}, {0xD8, 0x9D}, {0xE5, 0x86}};
    for (const auto& c : cases) {
        const std::string in(1, static_cast<char>(c.ansi));
        EXPECT_EQ(static_cast<unsigned char>(AnsiToOemStr(in)[0]), c.oem) << int(c.ansi);
        EXPECT_EQ(OemToAnsiStr(std::string(1, static_cast<char>(c.oem))), in) << int(c.oem);
    }
    EXPECT_EQ(AnsiToOemStr(""), "");
    EXPECT_EQ(AnsiToOemStr("Club 42"), "Club 42");
}

TEST_F(TextSupport, CharactersTheOemPageLacksSurviveThroughSpareBytes) {
    // œ and € exist in 1252 only: they travel on bytes whose 850 character 1252 lacks.
    for (unsigned char b : {0x9C, 0x80}) {
        const std::string in(1, static_cast<char>(b));
        const std::string oem = AnsiToOemStr(in);
        const char32_t carried = platform::CharOf(850, static_cast<unsigned char>(oem[0]));
        EXPECT_EQ(platform::ByteOf(1252, carried), -1) << int(b);
        EXPECT_EQ(OemToAnsiStr(oem), in) << int(b);
    }
}

// ---- trimming and case ----

TEST_F(TextSupport, Trimming) {
    struct Case {
        std::string in, right, left, all;
    };
    const Case cases[] = {
        {"", "", "", ""},
        {"   ", "", "", ""},
        {"  ab c  ", "  ab c", "ab c  ", "ab c"},
        {"\t\r\nx\x01\x1F", "\t\r\nx", "x\x01\x1F", "x"},
        {"x\xA0", "x\xA0", "x\xA0", "x\xA0"},  // a no-break space is text, not a control
        {std::string("\0a\0", 3), std::string("\0a", 2), std::string("a\0", 2), "a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrimRightStr(c.in), c.right);
        EXPECT_EQ(RTrim(c.in), c.right);
        EXPECT_EQ(TrimLeftStr(c.in), c.left);
        EXPECT_EQ(LTrim(c.in), c.left);
        EXPECT_EQ(AllTrim(c.in), c.all);
    }
}

TEST_F(TextSupport, CaseFollowsTheAnsiCodePage) {
    EXPECT_EQ(UpperStr("abc xyz 09_"), "ABC XYZ 09_");
    EXPECT_EQ(UpperStr("\xE9t\xE9 \xFF\xDF"), "\xC9T\xC9 \x9F\xDF");  // été ÿß: ß has no one-letter capital
    EXPECT_EQ(CharUpperStr('\xE7'), '\xC7');
    EXPECT_EQ(CharLowerStr('\xC7'), '\xE7');
    EXPECT_EQ(CharLowerStr('Q'), 'q');
    EXPECT_EQ(CharUpperStr('1'), '1');
    EXPECT_TRUE(IsAlphaStr("\xE9t\xE9"));
    EXPECT_TRUE(IsAlphaStr("z"));
    EXPECT_FALSE(IsAlphaStr("1a"));
    EXPECT_FALSE(IsAlphaStr("\xA9"));  // ©
    EXPECT_FALSE(IsAlphaStr(""));

    engine().settings.ansiCodePage = 1250;
    EXPECT_EQ(UpperStr("\xE8\x9A"), "\xC8\x8A");  // č š -> Č Š
    EXPECT_TRUE(IsAlphaStr("\x9A"));
}

// ---- searching ----

TEST_F(TextSupport, CountSubStr) {
    struct Case {
        const char* sub;
        const char* text;
        int count;
    };
    const Case cases[] = {{"AA", "AAAA", 2}, {"AA", "AAA", 1}, {"A", "", 0},      {"", "A", 0},
                          {"ab", "abXab", 2}, {"x", "abc", 0}, {"abc", "ab", 0}, {"a", "A", 0}};
    for (const auto& c : cases) EXPECT_EQ(CountSubStr(c.sub, c.text), c.count) << c.sub << " in " << c.text;
}

TEST_F(TextSupport, FindOccurrence) {
    struct Case {
        const char* sub;
        const char* text;
        int n;
        int pos;
    };
    const Case cases[] = {
        {"A", "BANANA", 1, 2},  {"A", "BANANA", 2, 4},   {"A", "BANANA", 3, 6}, {"A", "BANANA", 4, 0},
        {"A", "BANANA", -1, 6}, {"A", "BANANA", -3, 2},  {"A", "BANANA", -4, 0}, {"A", "BANANA", 0, 0},
        {"AN", "BANANA", -1, 4}, {"AN", "BANANA", -2, 2}, {"AN", "BANANA", 2, 4}, {"AA", "AAA", 1, 1},
        {"AA", "AAA", 2, 0},    {"AA", "AAA", -1, 2},    {"", "X", 1, 0},       {"X", "", -1, 0},
        {"XYZ", "XY", 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindOccurrence(c.sub, c.text, c.n), c.pos) << c.sub << " in " << c.text << " #" << c.n;
}

TEST_F(TextSupport, TakeKeyword) {
    struct Case {
        const char* text;
        const char* keyword;
        const char* after;
        bool taken;
    };
    const Case cases[] = {
        {"use clubs exclusive", " EXCLUSIVE", "USE CLUBS", true},
        {"USE X EXCLUSIVE ALIAS Y", " EXCLUSIVE", "USE X ALIAS Y", true},
        {"USE X EXCLUSIVELY", " EXCLUSIVE", "USE X EXCLUSIVELY", false},
        {"  index on name exact  ", " EXACT", "INDEX ON NAME", true},
        {"A NOCASE B NOCASE", " NOCASE", "A B", true},
        {"X EXACT_1", " EXACT", "X EXACT_1", false},
        {"X EXACT\\Y", " EXACT", "X EXACT\\Y", false},
        {"X EXACT2", " EXACT", "X EXACT2", false},
        {"X EXACT\xE9", " EXACT", "X EXACT\xC9", false},  // a letter of the code page continues the word
        {"X EXACT.", " EXACT", "X.", true},
        {"X EXACTLY EXACT", " EXACT", "X EXACTLY", true},
        {"EXCLUSIVE", " EXCLUSIVE", "EXCLUSIVE", false},
        {" contained ", " CONTAINED", "", true},
        {" a b ", "", "A B", false},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(TakeKeyword(text, c.keyword), c.taken) << c.text;
        EXPECT_EQ(text, c.after) << c.text;
    }
}

// ---- building texts ----

TEST_F(TextSupport, ReplicateSpacePadR) {
    EXPECT_EQ(Replicate('*', 3), "***");
    EXPECT_EQ(Replicate('*', 0), "");
    EXPECT_EQ(Replicate('*', -5), "");
    EXPECT_EQ(Space(2), "  ");
    EXPECT_EQ(Space(-1), "");
    EXPECT_EQ(PadR("ABC", 5), "ABC  ");
    EXPECT_EQ(PadR("ABC", 2), "ABC");
    EXPECT_EQ(PadR("ABC", 0), "ABC");
    EXPECT_EQ(PadR("ABC", -3), "ABC");
    EXPECT_EQ(PadR("", 1), " ");
    EXPECT_EQ(IfStr(true, "yes", "no"), "yes");
    EXPECT_EQ(IfStr(false, "yes", "no"), "no");
}

TEST_F(TextSupport, IntToStrWidth) {
    struct Case {
        long value;
        int width;
        const char* text;
    };
    const Case cases[] = {{42, 5, "   42"},   {-42, 0, "-42"}, {-42, 4, " -42"},
                          {123456, 3, "123456"}, {0, 1, "0"},   {7, -3, "7"},
                          {std::numeric_limits<long>::min(), 0, "-9223372036854775808"}};
    for (const auto& c : cases) EXPECT_EQ(IntToStrWidth(c.value, c.width), c.text) << c.value;
}

struct FloatCase {
    double value;
    int width;
    int dec;
    const char* text;
};

TEST_F(TextSupport, FloatToStrDec) {
    const FloatCase cases[] = {
        {3.14159, 8, 2, "    3.14"},
        {2.675, 0, 2, "2.68"},  // as typed, although the double lies just below
        {0.125, 0, 2, "0.13"},
        {2.5, 0, 0, "3"},
        {-2.5, 0, 0, "-3"},
        {9.995, 0, 2, "10.00"},
        {-0.001, 6, 2, "  0.00"},
        {-0.0, 0, 2, "0.00"},
        {0.0, 5, 0, "    0"},
        {1234567.891, 0, 1, "1234567.9"},
        {1e20, 0, 0, "100000000000000000000"},
        {123.0, 2, 1, "123.0"},
        {1e-7, 0, 3, "0.000"},
        {0.0005, 0, 3, "0.001"},
        {7.6, 0, -1, "8"},
        {-12.345, 9, 3, "  -12.345"},
        {std::nan(""), 4, 2, " NAN"},
        {-std::numeric_limits<double>::infinity(), 0, 2, "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToStrDec(c.value, c.width, c.dec), c.text) << c.value;
}

// ---- reading number texts ----

struct NumCase {
    const char* text;
    long value;
};

TEST_F(TextSupport, StrToNumWithPointDecimals) {
    const NumCase cases[] = {
        {"", 0},        {"  +  42", 42}, {"1,234", 1234}, {"12.7", 12},     {"99999", 32767},
        {"-99999", -32768}, {"12 34", 12}, {"$15", 15},   {"$$15", 0},      {"-7x", -7},
        {"abc", 0},     {"  -0012", -12}, {"1e5", 1},      {"+1.234", 1},    {"12345678901234567890", 32767},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToNum(c.text), c.value) << c.text;
}

TEST_F(TextSupport, StrToNumWithCommaDecimals) {
    useLocale("fr_FR");
    ASSERT_EQ(engine().settings.decimalSep, ',');
    const NumCase cases[] = {{"+1.234", 1234}, {"1,5", 1}, {"1.234,56", 1234}, {"-2.000", -2000}, {"40.000", 32767}};
    for (const auto& c : cases) EXPECT_EQ(StrToNum(c.text), c.value) << c.text;
}

struct CleanCase {
    const char* in;
    const char* out;
};

TEST_F(TextSupport, CleanNumberTextWithPointDecimals) {
    const CleanCase cases[] = {
        {"$1,234.50", "1234.50"}, {"  +12", "12"}, {"- -12.5", "-12.5"}, {"-.5", "-0.5"}, {".5", "0.5"},
        {"12. ", "12"},           {"12 34", "12"}, {"1-2", "1"},         {"abc", ""},     {"", ""},
        {"1.2.3", "1.2.3"},       {"+-5", "-5"},   {"5-", "5"},          {"-$3", "-3"},   {"1,5", "15"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        CleanNumberText(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST_F(TextSupport, CleanNumberTextWithCommaDecimals) {
    useLocale("fr_FR");
    const CleanCase cases[] = {
        {"1.234,5", "1234.5"}, {"-,5", "-0.5"}, {",25", "0.25"}, {"1,2,3", "1.2"}, {"12,", "12"}, {"-1.000", "-1000"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        CleanNumberText(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST_F(TextSupport, StrToLongNum) {
    const NumCase cases[] = {
        {"", 0},     {"1,234,567.89", 1234567}, {"-$42", -42}, {"99999999999", 2147483647}, {"-99999999999", -2147483648L},
        {"abc", 0}, {"-", 0},                  {" 70000 ", 70000},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToLongNum(c.text), c.value) << c.text;
    useLocale("fr_FR");
    EXPECT_EQ(StrToLongNum("1.234.567,89"), 1234567);
    EXPECT_EQ(StrToLongNum("-0,9"), 0);
}

// ---- independence from the C library's locale ----

TEST_F(TextSupport, NumberTextsIgnoreTheCLocale) {
    CLocale fr("fr_FR.UTF-8");
    ASSERT_TRUE(fr.ok()) << "fr_FR.UTF-8 must be installed";
    ASSERT_EQ(std::localeconv()->decimal_point[0], ',');

    // An engine with US settings writes and reads "." although the C locale says ",".
    EXPECT_EQ(FloatToStrDec(3.25, 0, 2), "3.25");
    EXPECT_EQ(IntToStrWidth(1234567, 9), "  1234567");
    EXPECT_EQ(StrToNum("1,234"), 1234);
    EXPECT_EQ(StrToLongNum("2.5"), 2);
    EXPECT_EQ(UpperStr("\xE9"), "\xC9");  // not a character at all in the C locale's UTF-8

    useLocale("fr_FR");
    ASSERT_EQ(engine().settings.decimalSep, ',');
    ASSERT_EQ(engine().settings.thousandsSep, '.');
    EXPECT_EQ(FloatToStrDec(-1234.5, 0, 1), "-1234,5");  // a display text takes the engine's separator
    EXPECT_EQ(FloatToStrDec(3.0, 0, 0), "3");
    EXPECT_EQ(IntToStrWidth(1234567, 0), "1234567");
    EXPECT_EQ(StrToNum("1.234,9"), 1234);
    std::string typed = "1.234,5";
    CleanNumberText(typed);
    EXPECT_EQ(typed, "1234.5");

    // Texts for files and keys are asked for with the separator ".": no comma appears from anywhere.
    engine().settings.decimalSep = '.';
    EXPECT_EQ(FloatToStrDec(3.25, 6, 2), "  3.25");
    EXPECT_EQ(FloatToStrDec(1e15 + 0.5, 0, 1), "1000000000000000.5");
}

}  // namespace
}  // namespace xb
