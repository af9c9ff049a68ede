// The text of str(): halves away from zero, then the decimal text of the rounded value. Most values
// are written through an integer; every value must come out as the general conversion writes it.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "engine/index/expr_functions.h"

namespace {

std::string strText(double v, int width, int dec) {
    char out[800];
    return std::string(out, xb::FormatStrNumber(v, width, dec, out));
}

std::string reference(double v, int width, int dec) {
    double r = v;
    const double p10 = std::pow(10.0, dec);
    if (std::fabs(v * p10) < 9.0e15) r = std::round(v * p10) / p10;
    char buf[720];
    const auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, dec);
    std::string s(buf, res.ptr);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
    if (static_cast<int>(s.size()) > width) return std::string(static_cast<size_t>(width), '*');
    return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

TEST(StrNumber, WritesWhatTheGeneralConversionWrites) {
    struct Case {
        double v;
        int width, dec;
        const char* text;
    };
    const Case cases[] = {
        {2.5, 3, 0, "  3"},      {-2.5, 3, 0, " -3"},    {0.125, 5, 2, " 0.13"}, {-0.004, 5, 2, " 0.00"},
        {1998, 4, 0, "1998"},    {12345, 4, 0, "****"},  {-0.3, 2, 0, " 0"},     {1.005, 6, 2, "  1.00"},
        {1e15, 18, 1, "1000000000000000.0"}, {0.5, 5, 3, "0.500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(strText(c.v, c.width, c.dec), c.text);
        EXPECT_EQ(strText(c.v, c.width, c.dec), reference(c.v, c.width, c.dec));
    }
    std::mt19937_64 rng(77);
    for (int i = 0; i < 200000; ++i) {
        const int dec = static_cast<int>(rng() % 10);
        double v;
        switch (rng() % 3) {
            case 0:
                v = static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000) / std::pow(10.0, rng() % 6);
                break;
            case 1:
                v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 64));
                break;
            default:
                v = static_cast<double>(static_cast<int64_t>(rng() >> 9)) * ((rng() & 1) ? 1 : -1);
                break;
        }
        ASSERT_EQ(strText(v, 30, dec), reference(v, 30, dec)) << v << " dec " << dec;
    }
}

}  // namespace
