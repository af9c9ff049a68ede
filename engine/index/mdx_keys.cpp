#include "engine/index/mdx_keys.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/core/text_support.h"
#include "engine/index/key_routines.h"

namespace xb {

namespace {

constexpr uint8_t kNegativeBit = 0x80;

uint8_t countByte(bool negative, int count) {
    return static_cast<uint8_t>((negative ? kNegativeBit : 0) | (count << 2) | 1);
}

int digitCount(const uint8_t* key) { return (key[1] >> 2) & 0x1F; }

// The largest magnitude a key holds: exponent byte 0xFF and twenty nines.
void saturated(bool negative, uint8_t* key) {
    key[0] = 0xFF;
    key[1] = countByte(negative, kBcdMaxDigits);
    std::memset(key + 2, 0x99, 10);
}

}  // namespace

void StrToBcdKey(const std::string& text, int decimals, uint8_t* key) {
    std::memset(key, 0, kBcdKeyLength);
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    while (i < n && (text[i] == ' ' || text[i] == '0')) ++i;

    uint8_t digits[kBcdMaxDigits] = {};
    int stored = 0;
    long integerDigits = 0;   // every digit before the point counts for the exponent, stored or not
    long zerosAfterPoint = 0; // zeros between the point and the first significant digit of a pure fraction
    bool point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c == '.') {
            if (point) break;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') break;
        if (!point) {
            ++integerDigits;
            if (stored < kBcdMaxDigits) digits[stored++] = static_cast<uint8_t>(c - '0');
            continue;
        }
        if (stored == 0 && c == '0') {
            ++zerosAfterPoint;
            continue;
        }
        if (stored == kBcdMaxDigits) break;
        digits[stored++] = static_cast<uint8_t>(c - '0');
    }

    int trailingZeros = 0;
    while (trailingZeros < stored && digits[stored - 1 - trailingZeros] == 0) ++trailingZeros;
    if (trailingZeros == stored) {  // no significant digit: zero, whatever its sign
        key[0] = kBcdExponentBias;
        key[1] = countByte(false, 0);
        return;
    }
    int count = (point && decimals > trailingZeros) ? stored : std::max(10, stored - trailingZeros);
    count = std::min(count, kBcdMaxDigits);

    const long exponent =
        integerDigits > 0 ? kBcdExponentBias + integerDigits : kBcdExponentBias - zerosAfterPoint;
    if (exponent > 0xFF) {
        saturated(negative, key);
        return;
    }
    if (exponent < 1) {  // below 1.0E-52: the smallest magnitude the exponent byte reaches
        key[0] = 1;
        key[1] = countByte(negative, 10);
        key[2] = 0x10;
        return;
    }
    key[0] = static_cast<uint8_t>(exponent);
    key[1] = countByte(negative, count);
    for (int j = 0; j < stored; ++j) key[2 + j / 2] |= static_cast<uint8_t>(digits[j] << ((j % 2) ? 0 : 4));
}

void FloatToBcdKey(double value, int decimals, uint8_t* key) {
    std::memset(key, 0, kBcdKeyLength);
    if (std::isnan(value)) {
        key[0] = 0xFF;
        key[1] = countByte(false, kBcdMaxDigits);
        std::memset(key + 2, 0xFF, 10);
        return;
    }
    if (std::isinf(value)) {
        saturated(value < 0, key);
        return;
    }
    decimals = std::clamp(decimals, 0, 30);
    // The widest text: 309 integer digits, the point, 30 decimals and a sign.
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) {
        saturated(value < 0, key);
        return;
    }
    StrToBcdKey(std::string(text, r.ptr), decimals, key);
}

int CompareBcdKey(const uint8_t* a, const uint8_t* b) {
    const bool negA = (a[1] & kNegativeBit) != 0;
    const bool negB = (b[1] & kNegativeBit) != 0;
    if (negA != negB) return negA ? -1 : 1;
    const int countA = digitCount(a);
    const int countB = digitCount(b);
    const int expA = countA == 0 ? 0 : a[0];
    const int expB = countB == 0 ? 0 : b[0];
    if (expA != expB) {
        const int r = expA < expB ? -1 : 1;
        return negA ? -r : r;
    }
    // A damaged count (above 20) must not reach past the key.
    const size_t bytes = std::min<size_t>((std::max(countA, countB) + 1) / 2, 10);
    int r = 0;
    for (size_t k = 0; k < bytes && r == 0; ++k) {
        if (a[2 + k] != b[2 + k]) r = a[2 + k] < b[2 + k] ? -1 : 1;
    }
    return negA ? -r : r;
}

double BcdKeyToDouble(const uint8_t* key) {
    const int count = digitCount(key);
    if (count == 0) return 0.0;
    double mantissa = 0.0;
    for (int j = 0; j < std::min(count, kBcdMaxDigits); ++j) {
        const int d = (key[2 + j / 2] >> ((j % 2) ? 0 : 4)) & 0x0F;
        mantissa = mantissa * 10.0 + d;
    }
    // 0.d1d2... x 10^(exponent - bias)
    const double v = mantissa * std::pow(10.0, static_cast<double>(key[0]) - kBcdExponentBias - count);
    return (key[1] & kNegativeBit) ? -v : v;
}

void DateToKey(double julian, uint8_t* key) {
    uint64_t bits = std::bit_cast<uint64_t>(julian);
    for (size_t k = 0; k < kDateKeyLength; ++k, bits >>= 8) key[k] = static_cast<uint8_t>(bits & 0xFF);
}

double KeyToDate(const uint8_t* key) {
    uint64_t bits = 0;
    for (size_t k = kDateKeyLength; k-- > 0;) bits = (bits << 8) | key[k];
    return std::bit_cast<double>(bits);
}

std::string MakeCharKey(const std::string& text, size_t keyLength, bool oem) {
    std::string key = text.substr(0, keyLength);
    key.resize(keyLength, ' ');
    return oem ? AnsiToOemStr(key) : key;
}

namespace {

// A date key past the last day of year 9999 is the blank date whatever number holds it: this engine
// writes 1.0E100, other writers other large numbers (21474835648.0). They compare equal, after every
// date, so a blank date finds them all and every record on one is found in its tag.
double dateKeyOrder(const uint8_t* key) {
    const double v = KeyToDate(key);
    return v >= static_cast<double>(kLastDayNumber) + 1.0 ? kBlankDate : v;
}

}  // namespace

int KeyOrder::compareAscending(const uint8_t* a, const uint8_t* b) const {
    switch (type) {
        case 'C': return CompareBytes(a, b, keyLength);
        case 'D': return CompareDouble(dateKeyOrder(a), dateKeyOrder(b));
        default: return CompareBcdKey(a, b);
    }
}

}  // namespace xb
