// Keys of index tags: how a value becomes the fixed-length bytes stored in a node, and how two stored
// keys compare. Four key types: "C" text (blank-padded or cut to the key length, in the OEM code page
// when the table keeps OEM text), "D" a day number as an 8-byte little-endian double, "N" and "F" a
// 12-byte packed decimal (BCD) key. A descending tag keeps the same bytes and swaps the comparer's
// arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xb {

inline constexpr size_t kBcdKeyLength = 12;
inline constexpr size_t kDateKeyLength = 8;
inline constexpr int kBcdMaxDigits = 20;
inline constexpr uint8_t kBcdExponentBias = 0x34;

// Packs decimal text into a 12-byte numeric key. Leading blanks, an optional sign, then leading blanks
// and zeros are skipped; digits with at most one decimal point follow, anything else ends the number.
// decimals is the expression's number of decimals: it decides whether trailing zeros of the fraction
// count as significant. Integer parts too long for the exponent byte give the largest key of their sign;
// fractions too small for it give the smallest non-zero key of their sign.
void StrToBcdKey(const std::string& text, int decimals, uint8_t* key);
// The key of a number formatted with decimals places (0 to 30). NaN and the infinities get fixed keys:
// -inf is the lowest key, +inf the highest number key and NaN sorts after it (equal to itself).
void FloatToBcdKey(double value, int decimals, uint8_t* key);
// -1, 0 or 1 (numeric order of the keys).
int CompareBcdKey(const uint8_t* a, const uint8_t* b);
// The number a key stands for (at the precision of a double); for display and tests.
double BcdKeyToDouble(const uint8_t* key);

// The 8-byte key of a day number (kBlankDate for a blank date).
void DateToKey(double julian, uint8_t* key);
double KeyToDate(const uint8_t* key);

// A text key of keyLength bytes: the text cut or blank-padded, converted to the OEM code page when oem.
std::string MakeCharKey(const std::string& text, size_t keyLength, bool oem);

// The order of one tag: its key type, key length and direction.
struct KeyOrder {
    char type = 'C';
    uint16_t keyLength = 1;
    bool descending = false;

    // Negative, 0 or positive as a sorts before, with or after b in the tag.
    int compare(const uint8_t* a, const uint8_t* b) const {
        return descending ? compareAscending(b, a) : compareAscending(a, b);
    }
    int compareAscending(const uint8_t* a, const uint8_t* b) const;
};

}  // namespace xb
