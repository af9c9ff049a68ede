#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <set>

namespace xb::platform {
namespace {

const int kPages[] = {1252, 850, 1250, 852, 1251, 866, 437};
const std::pair<int, int> kPairs[] = {{1252, 850}, {1250, 852}, {1251, 866}, {1252, 437}};

TEST(CodePages, EveryTableIsABijection) {
    for (int cp : kPages) {
        std::set<char32_t> seen;
        for (int b = 0; b < 256; ++b) {
            char32_t c = CharOf(cp, static_cast<unsigned char>(b));
            EXPECT_TRUE(seen.insert(c).second) << cp << " byte " << b;
            EXPECT_EQ(ByteOf(cp, c), b) << cp;
        }
    }
}

TEST(CodePages, EveryByteSurvivesAnsiToOemAndBack) {
    for (auto [ansi, oem] : kPairs) {
        std::string all(256, '\0');
        for (int b = 0; b < 256; ++b) all[static_cast<size_t>(b)] = static_cast<char>(b);
        std::string there = ConvertBytes(all, ansi, oem);
        std::set<unsigned char> distinct(there.begin(), there.end());
        EXPECT_EQ(distinct.size(), 256u) << ansi;
        EXPECT_EQ(ConvertBytes(there, oem, ansi), all) << ansi;
        EXPECT_EQ(ConvertBytes(ConvertBytes(all, oem, ansi), ansi, oem), all) << oem;
    }
}

TEST(CodePages, WesternLettersMapToTheirOemBytes) {
    struct Case {
        const char* utf8;
        unsigned char cp1252;
        unsigned char cp850;
    };
    const Case cases[] = {{"é", 0xE9, 0x82}, {"ñ", 0xF1, 0xA4}, {"ç", 0xE7, 0x87}, {"Ü", 0xDC, 0x9A},
                          {"Ä", 0xC4, 0x8E}, {"Ø", 0xD8, 0x9D}, {"å", 0xE5, 0x86}};
    for (const Case& c : cases) {
        EXPECT_EQ(FromUtf8(c.utf8, 1252), std::string(1, static_cast<char>(c.cp1252))) << c.utf8;
        EXPECT_EQ(FromUtf8(c.utf8, 850), std::string(1, static_cast<char>(c.cp850))) << c.utf8;
        EXPECT_EQ(ConvertBytes(std::string(1, static_cast<char>(c.cp1252)), 1252, 850),
                  std::string(1, static_cast<char>(c.cp850)))
            << c.utf8;
    }
    // Characters cp850 lacks travel through its spare bytes and come back.
    for (const char* s : {"œ", "€", "Š", "‰"}) {
        std::string ansi = FromUtf8(s, 1252);
        ASSERT_NE(ansi, "?") << s;
        EXPECT_EQ(ConvertBytes(ConvertBytes(ansi, 1252, 850), 850, 1252), ansi) << s;
    }
}

TEST(CodePages, Utf8EdgesAndMissingCharacters) {
    EXPECT_EQ(ToUtf8("\xD8\xE0", 1251), "Ша");
    EXPECT_EQ(FromUtf8("Ша", 866), "\x98\xA0");
    EXPECT_EQ(FromUtf8("č€", 850), "??");
    EXPECT_EQ(FromUtf8("a\xFF" "b", 1252), "a?b");  // an invalid sequence is one missing character
    EXPECT_TRUE(IsValidUtf8("Łódź"));
    EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
}

TEST(CodePages, CaseMappingStaysInsideThePage) {
    EXPECT_EQ(UpperByte(1252, 0xE9), 0xC9);   // é É
    EXPECT_EQ(UpperByte(850, 0x82), 0x90);    // é É in cp850
    EXPECT_EQ(UpperByte(1252, 0xDF), 0xDF);   // ß has no single upper case
    EXPECT_EQ(UpperByte(1250, 0x9A), 0x8A);   // š Š
    EXPECT_EQ(LowerByte(1251, 0xC0), 0xE0);   // А а
    EXPECT_EQ(UpperByte(1252, '1'), '1');
    EXPECT_TRUE(IsAlphaByte(1252, 0xE9));
    EXPECT_FALSE(IsAlphaByte(1252, 0xD7));    // ×
}

}  // namespace
}  // namespace xb::platform
