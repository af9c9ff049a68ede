// The typed record buffer: the caller's image of one record, packed without padding.
//   byte 0      deleted flag (0 or 1)
//   C field     a length byte and the field's characters (1 + length bytes)
//   D field     a length byte and up to 10 characters of date text in the current picture (11 bytes)
//   N, F        an IEEE double when the field has decimals, else a 32-bit integer (little-endian)
//   L           one byte, 0 or 1
//   M           the 32-bit memo block number
// Other code copies these bytes as they are (swap buffer, virtual files, the dataset layer), so it stays
// a byte image read and written through memcpy.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/core/dbf_file.h"

namespace xb {

size_t TypedFieldSize(const FieldDescriptor& f);
uint16_t TypedRecordSize(const TableBlock& block);
// Offset of field n (1-based) in the typed buffer; 0 gives the deleted byte.
size_t TypedFieldOffset(const TableBlock& block, int n);
// True when the field is held as a double in the typed buffer.
inline bool TypedIsDouble(const FieldDescriptor& f) { return (f.type == 'N' || f.type == 'F') && f.decimals > 0; }

void RawToTypedRecord(const TableBlock& block, uint8_t* typed);
void TypedToRawRecord(TableBlock& block, const uint8_t* typed);

// Accessors of typed values.
inline std::string TypedGetString(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }
inline void TypedSetString(uint8_t* p, size_t capacity, const std::string& s) {
    size_t n = s.size() < capacity ? s.size() : capacity;
    p[0] = static_cast<uint8_t>(n);
    std::memcpy(p + 1, s.data(), n);
    if (n < capacity) std::memset(p + 1 + n, 0, capacity - n);
}
inline int32_t TypedGetInt(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void TypedSetInt(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }
inline double TypedGetDouble(const uint8_t* p) {
    double v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void TypedSetDouble(uint8_t* p, double v) { std::memcpy(p, &v, 8); }

// Number text of a field: right-aligned in width with dec decimals, "." as the separator whatever the
// locale; a row of "*" when it does not fit.
std::string FormatFieldNumber(double value, int width, int dec);
// The fixed text of n / 10^dec (dec from 0 to 15) into out, without padding: "-" for a negative n, at
// least one digit before the point, dec digits after it. Answers its length (at most 35). A double
// whose value times 10^dec is an integer of magnitude below kExactScaledLimit has exactly this text
// when written with dec decimals: the exact product lies within a quarter of a unit of that integer.
inline constexpr double kExactScaledLimit = 4503599627370496.0;  // 2^52
size_t WriteScaledInteger(int64_t n, int dec, char* out);
// Parses stored number text; exact is false when the text is not wholly a number (or, for integers, out
// of range), in which case the value is 0 or saturated.
double ParseFieldNumber(const std::string& text, bool& exact);

}  // namespace xb
