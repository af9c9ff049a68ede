#include "engine/index/mdx_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/index/key_routines.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using Key = std::vector<uint8_t>;

Key bcd(const std::string& text, int decimals) {
    Key k(kBcdKeyLength);
    StrToBcdKey(text, decimals, k.data());
    return k;
}
Key bcdOf(double v, int decimals) {
    Key k(kBcdKeyLength);
    FloatToBcdKey(v, decimals, k.data());
    return k;
}
Key bytes(std::initializer_list<int> head) {
    Key k(kBcdKeyLength, 0);
    std::transform(head.begin(), head.end(), k.begin(), [](int b) { return static_cast<uint8_t>(b); });
    return k;
}

TEST(BcdKeys, PackTheDocumentedVectors) {
    struct Case {
        std::string text;
        int decimals;
        Key want;
    };
    const std::vector<Case> cases = {
        {"123.45", 2, bytes({0x37, 0x15, 0x12, 0x34, 0x50})},
        {"15", 0, bytes({0x36, 0x29, 0x15})},           // fewer than ten significant digits record ten
        {"0.05", 2, bytes({0x33, 0x05, 0x50})},
        {"0", 0, bytes({0x34, 0x01})},
        {"0.00", 2, bytes({0x34, 0x01})},
        {"-0.00", 2, bytes({0x34, 0x01})},               // zero has no sign
        {"  -2", 0, bytes({0x35, 0xA9, 0x20})},
        {"+7", 0, bytes({0x35, 0x29, 0x70})},
        {"1.50", 2, bytes({0x35, 0x0D, 0x15})},          // the zero the decimals ask for counts
        {"1.00", 2, bytes({0x35, 0x29, 0x10})},
        {"100", 0, bytes({0x37, 0x29, 0x10})},
        {" 0012.5x9", 1, bytes({0x36, 0x0D, 0x12, 0x50})},  // stops at the first other character
        {"1.2.3", 1, bytes({0x35, 0x09, 0x12})},             // a second point ends the number
        {"12345678901234567890123", 0,                       // 23 integer digits: twenty kept, all counted
         bytes({0x34 + 23, 0x4D, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x56, 0x78, 0x90})},
    };
    for (const Case& c : cases) EXPECT_EQ(bcd(c.text, c.decimals), c.want) << c.text;
    EXPECT_EQ(bcdOf(123.45, 2), bcd("123.45", 2));
    EXPECT_EQ(bcdOf(15, 0), bcd("15", 0));
    EXPECT_EQ(bcdOf(0.05, 2), bcd("0.05", 2));
}

TEST(BcdKeys, OrderEqualsNumericOrderAtEachNumberOfDecimals) {
    std::mt19937_64 rng(7);
    for (int decimals = 0; decimals <= 6; ++decimals) {
        SCOPED_TRACE(decimals);
        const double scale = std::pow(10.0, decimals);
        std::vector<double> values = {0.0, 1.0, -1.0, 1e15, -1e15};
        for (int i = 0; i < 3000; ++i) {
            // Magnitudes across many exponents, exact at the tag's decimals.
            const int digits = static_cast<int>(rng() % 15);
            const int64_t n = static_cast<int64_t>(rng() % static_cast<uint64_t>(std::pow(10.0, digits) + 1)) *
                              ((rng() & 1) ? 1 : -1);
            values.push_back(static_cast<double>(n) / scale);
        }
        std::vector<std::pair<Key, double>> keyed;
        for (double v : values) keyed.emplace_back(bcdOf(v, decimals), v);
        for (size_t i = 0; i + 1 < keyed.size(); ++i) {
            const auto& [ka, a] = keyed[i];
            const auto& [kb, b] = keyed[i + 1];
            const int want = a < b ? -1 : (a > b ? 1 : 0);
            ASSERT_EQ(CompareBcdKey(ka.data(), kb.data()), want) << a << " vs " << b;
            ASSERT_EQ(CompareBcdKey(kb.data(), ka.data()), -want) << b << " vs " << a;
            ASSERT_DOUBLE_EQ(BcdKeyToDouble(ka.data()), a);
        }
        std::sort(keyed.begin(), keyed.end(),
                  [](const auto& x, const auto& y) { return CompareBcdKey(x.first.data(), y.first.data()) < 0; });
        EXPECT_TRUE(std::is_sorted(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) { return x.second < y.second; }));
    }
}

TEST(BcdKeys, ExtremesSaturateAndNonNumbersHaveFixedPlaces) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Ascending order of the keys; a run of equal keys is written as one group.
    const std::vector<std::vector<double>> ascending = {
        {-inf, -1.0e250, -1.0e300},  // beyond the exponent byte: the lowest key
        {-1.0e100},
        {-123456789012345678901234.0},
        {-2.0},
        {-1.0},
        {0.0, -0.0, -1.0e-40, 1.0e-40},  // below the decimals
        {0.75},
        {1.0e21},
        {1.0e22},
        {1.0e25},
        {1.0e200},
        {inf, 1.0e250, std::numeric_limits<double>::max()},
        {nan},
    };
    for (int decimals : {1, 2, 30, 99}) {
        SCOPED_TRACE(decimals);
        for (size_t g = 0; g < ascending.size(); ++g) {
            for (double a : ascending[g]) {
                const Key ka = bcdOf(a, decimals);
                for (size_t h = 0; h < ascending.size(); ++h) {
                    for (double b : ascending[h]) {
                        const Key kb = bcdOf(b, decimals);
                        const int want = g < h ? -1 : (g > h ? 1 : 0);
                        ASSERT_EQ(CompareBcdKey(ka.data(), kb.data()), want) << a << " vs " << b;
                    }
                }
            }
        }
    }
    // Text beyond the exponent both ways; a negative number of decimals counts as none.
    EXPECT_EQ(bcdOf(0.75, -5), bcdOf(1.0, 0));
    EXPECT_EQ(CompareBcdKey(bcd(std::string(300, '9'), 0).data(), bcdOf(inf, 0).data()), 0);
    EXPECT_GT(CompareBcdKey(bcd("0." + std::string(80, '0') + "1", 0).data(), bcd("0", 0).data()), 0);
}

TEST(BcdKeys, DamagedDigitCountsStayInsideTheKey) {
    // A foreign key may claim 31 digits; comparing reads no byte past the 12 (checked under ASan).
    auto a = std::make_unique<uint8_t[]>(kBcdKeyLength);
    auto b = std::make_unique<uint8_t[]>(kBcdKeyLength);
    std::fill_n(a.get(), kBcdKeyLength, 0x11);
    std::fill_n(b.get(), kBcdKeyLength, 0x11);
    a[1] = b[1] = 0x7D;
    EXPECT_EQ(CompareBcdKey(a.get(), b.get()), 0);
    b[11] = 0x12;
    EXPECT_LT(CompareBcdKey(a.get(), b.get()), 0);
}

TEST(DateKeys, BlankDatesSortLastAscendingAndFirstDescending) {
    std::vector<double> days = {kBlankDate, JulianOf(2026, 12, 7), JulianOf(1, 1, 1), JulianOf(1999, 12, 31)};
    std::vector<Key> keys;
    for (double d : days) {
        Key k(kDateKeyLength);
        DateToKey(d, k.data());
        EXPECT_EQ(KeyToDate(k.data()), d);
        keys.push_back(k);
    }
    // 2451545 is 1 January 2000: the bytes of its double, little-endian.
    Key k2000(kDateKeyLength);
    DateToKey(2451545.0, k2000.data());
    EXPECT_EQ(k2000, (Key{0x00, 0x00, 0x00, 0x80, 0x2C, 0xB4, 0x42, 0x41}));

    const KeyOrder up{'D', 8, false}, down{'D', 8, true};
    auto sorted = keys;
    std::sort(sorted.begin(), sorted.end(), [&](const Key& a, const Key& b) { return up.compare(a.data(), b.data()) < 0; });
    EXPECT_EQ(KeyToDate(sorted.front().data()), JulianOf(1, 1, 1));
    EXPECT_EQ(KeyToDate(sorted.back().data()), kBlankDate);
    std::sort(sorted.begin(), sorted.end(), [&](const Key& a, const Key& b) { return down.compare(a.data(), b.data()) < 0; });
    EXPECT_EQ(KeyToDate(sorted.front().data()), kBlankDate);
    EXPECT_EQ(KeyToDate(sorted.back().data()), JulianOf(1, 1, 1));
}

class CharKeys : public xbtest::EngineTest {};

TEST_F(CharKeys, AreCutOrPaddedToTheKeyLengthAndConvertedForOemTables) {
    EXPECT_EQ(MakeCharKey("Lyon", 7, false), "Lyon   ");
    EXPECT_EQ(MakeCharKey("Saint-Etienne", 7, false), "Saint-E");
    EXPECT_EQ(MakeCharKey("", 3, false), "   ");
    EXPECT_EQ(MakeCharKey("S\xE9ville", 8, true), "S\x82ville ");  // 1252 e acute is 850 0x82
    // Bytes compare unsigned: 0x82 sorts after every ASCII letter.
    const KeyOrder order{'C', 2, false};
    EXPECT_GT(order.compare(reinterpret_cast<const uint8_t*>("\x82" "a"), reinterpret_cast<const uint8_t*>("za")), 0);
    const KeyOrder down{'C', 2, true};
    EXPECT_LT(down.compare(reinterpret_cast<const uint8_t*>("\x82" "a"), reinterpret_cast<const uint8_t*>("za")), 0);
}

}  // namespace
}  // namespace xb
