// Numbers written into and read from numeric fields. Most values take a quick way through an integer;
// whatever way a value takes, the text must be the correctly rounded one the general conversion writes.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "engine/core/typed_record.h"

namespace {

// The field text by the general conversion: fixed with dec decimals, no "-0", right-aligned in width,
// stars when it does not fit.
std::string reference(double value, int width, int dec) {
    char buf[400];
    const double v = dec > 0 ? value : std::round(value);
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, dec > 0 ? dec : 0);
    std::string s(buf, res.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    if (static_cast<int>(s.size()) > width) return std::string(static_cast<size_t>(width), '*');
    return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

TEST(FieldNumber, FormatsAsTheGeneralConversion) {
    struct Case {
        double value;
        int width, dec;
        const char* text;
    };
    const Case cases[] = {
        {0.125, 8, 2, "    0.12"},  // a true halfway point goes to the even digit
        {0.375, 8, 2, "    0.38"},
        {2.5, 4, 0, "   3"},  // whole numbers round half away from zero
        {-2.5, 4, 0, "  -3"},
        {-0.0, 5, 2, " 0.00"},
        {-0.001, 5, 2, " 0.00"},
        {-0.05, 6, 2, " -0.05"},
        {0.1, 5, 3, "0.100"},
        {1234.5, 6, 1, "1234.5"},
        {1234.5, 5, 1, "*****"},
        {4503599627370497.0, 17, 0, " 4503599627370497"},
        {123.456, 14, 10, "123.4560000000"},
        {-7.0, 3, 0, " -7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(xb::FormatFieldNumber(c.value, c.width, c.dec), c.text);
        EXPECT_EQ(xb::FormatFieldNumber(c.value, c.width, c.dec), reference(c.value, c.width, c.dec));
    }
}

TEST(FieldNumber, RandomValuesFormatAsTheGeneralConversion) {
    std::mt19937_64 rng(2026);
    for (int i = 0; i < 200000; ++i) {
        const int dec = static_cast<int>(rng() % 8);
        const int kind = static_cast<int>(rng() % 4);
        double v;
        if (kind == 0) {
            v = static_cast<double>(static_cast<int64_t>(rng() % 20000001) - 10000000) / std::pow(10.0, dec);
        } else if (kind == 1) {
            v = static_cast<double>(static_cast<int64_t>(rng() % 4001) - 2000) * 0.125;
        } else if (kind == 2) {
            v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 70));
        } else {
            v = static_cast<double>(static_cast<int64_t>(rng() >> 10)) * ((rng() & 1) ? 1 : -1);
        }
        ASSERT_EQ(xb::FormatFieldNumber(v, 24, dec), reference(v, 24, dec)) << v << " dec " << dec;
    }
}

TEST(FieldNumber, ParsesStoredText) {
    struct Case {
        const char* text;
        double value;
        bool exact;
    };
    const Case cases[] = {
        {"   12.50", 12.5, true}, {"  -3", -3, true},  {"+7  ", 7, true},   {"      ", 0, true},
        {"", 0, true},            {" 1 2", 0, false},  {"****", 0, false}, {" +", 0, false},
        {"1e400", 1.7976931348623157e308, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bool exact = !c.exact;
        EXPECT_EQ(xb::ParseFieldNumber(c.text, exact), c.value);
        EXPECT_EQ(exact, c.exact);
    }
}

}  // namespace
