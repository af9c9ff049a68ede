#include "engine/core/typed_record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/core/dates.h"
#include "engine/core/engine.h"

namespace xb {

namespace {

bool allBlank(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != ' ') return false;
    return true;
}

int32_t saturateInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::trunc(v));
}

// The date text of eight stored characters, in the current picture.
std::string dateTextOfRaw(const char* r) {
    const EngineSettings& s = Engine::current().settings;
    std::string year = s.century ? std::string(r, 4) : std::string(r + 2, 2);
    std::string month(r + 4, 2), day(r + 6, 2);
    switch (s.dateFormat) {
        case 0: return month + "/" + day + "/" + year;
        case 1: return year + "." + month + "." + day;
        case 3: return day + "-" + month + "-" + year;
        case 2: return day + "/" + month + "/" + year;
        default:
            if (s.dateFormat >= 4 && s.dateFormat <= 8) return day + "." + month + "." + year;
            return day + "/" + month + "/" + year;
    }
}

bool digits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Eight stored characters of a typed date text; false when it holds no date.
bool rawOfDateText(std::string text, char* out) {
    const EngineSettings& s = Engine::current().settings;
    const size_t expected = s.century ? 10 : 8;
    if (!text.empty() && text.size() != expected) {
        std::string copy = text;
        text = IsValidDateStr(copy) ? copy : std::string();
    }
    bool pictureOnly = true;
    for (char c : text)
        if (c != ' ' && c != '/' && c != '-' && c != '.') pictureOnly = false;
    if (pictureOnly) return false;
    if (text.size() != 8 && text.size() != 10) return false;
    const size_t yl = text.size() == 10 ? 4 : 2;
    std::string year, month, day;
    if (s.dateFormat == 0) {
        month = text.substr(0, 2);
        day = text.substr(3, 2);
        year = text.substr(6, yl);
    } else if (s.dateFormat == 1) {
        year = text.substr(0, yl);
        month = text.substr(yl + 1, 2);
        day = text.substr(yl + 4, 2);
    } else {
        day = text.substr(0, 2);
        month = text.substr(3, 2);
        year = text.substr(6, yl);
    }
    if (year.size() == 2) year = YearTo4(year) + year;
    std::string all = year + month + day;
    if (all.size() != 8 || !digits(all)) {
        // Not in the picture after all: let the date check read it, or store no date.
        std::string copy = text;
        if (text.size() == expected && IsValidDateStr(copy) && copy != text) return rawOfDateText(copy, out);
        return false;
    }
    std::memcpy(out, all.data(), 8);
    return true;
}

// The number in n stored characters (see ParseFieldNumber), read in place: every record read and
// written goes through here, once per numeric field.
double parseNumber(const char* p, size_t n, bool& exact) {
    exact = true;
    while (n > 0 && *p == ' ') ++p, --n;
    while (n > 0 && p[n - 1] == ' ') --n;
    if (n == 0) return 0;
    const char* b = p;
    const char* e = p + n;
    if (*b == '+') ++b;
    double v = 0;
    auto res = std::from_chars(b, e, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        exact = false;
        return *b == '-' ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
    }
    if (res.ec != std::errc() || res.ptr != e || b == e) {
        exact = false;
        return 0;
    }
    return v;
}

// Converts one stored field into its typed value.
void rawFieldToTyped(const FieldDescriptor& f, const char* r, uint8_t* t) {
    switch (f.type) {
        case 'C': {
            // As TypedSetString does it with the whole field, without a string in between.
            t[0] = static_cast<uint8_t>(f.length);
            std::memcpy(t + 1, r, f.length);
            break;
        }
        case 'D': TypedSetString(t, 10, dateTextOfRaw(r)); break;
        case 'L': *t = (*r == 'T' || *r == 'Y' || *r == 't' || *r == 'y') ? 1 : 0; break;
        case 'M': {
            bool exact = false;
            TypedSetInt(t, saturateInt(parseNumber(r, f.length, exact)));
            break;
        }
        case 'N':
        case 'F': {
            bool exact = false;
            double v = parseNumber(r, f.length, exact);
            if (TypedIsDouble(f))
                TypedSetDouble(t, v);
            else
                TypedSetInt(t, saturateInt(v));
            break;
        }
        default: break;
    }
}

}  // namespace

size_t TypedFieldSize(const FieldDescriptor& f) {
    switch (f.type) {
        case 'C': return 1u + f.length;
        case 'D': return 11;
        case 'N':
        case 'F': return f.decimals > 0 ? 8 : 4;
        case 'L': return 1;
        case 'M': return 4;
        default: return 0;
    }
}

uint16_t TypedRecordSize(const TableBlock& block) {
    size_t n = 1;
    for (const auto& f : block.fields) n += TypedFieldSize(f);
    return static_cast<uint16_t>(n);
}

size_t TypedFieldOffset(const TableBlock& block, int n) {
    size_t off = 1;
    if (n <= 0) return 0;
    for (int i = 0; i < n - 1 && i < static_cast<int>(block.fields.size()); ++i) off += TypedFieldSize(block.fields[i]);
    return off;
}

size_t WriteScaledInteger(int64_t n, int dec, char* out) {
    char digits[24];
    const auto d = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n);
    const size_t count = static_cast<size_t>(d.ptr - digits);
    char* p = out;
    if (n < 0) *p++ = '-';
    if (dec <= 0) {
        std::memcpy(p, digits, count);
        return static_cast<size_t>(p + count - out);
    }
    const size_t decimals = static_cast<size_t>(dec);
    const size_t whole = count > decimals ? count - decimals : 0;
    if (whole == 0) {
        *p++ = '0';
    } else {
        std::memcpy(p, digits, whole);
        p += whole;
    }
    *p++ = '.';
    for (size_t i = count; i < decimals; ++i) *p++ = '0';
    std::memcpy(p, digits + whole, count - whole);
    return static_cast<size_t>(p + count - whole - out);
}

namespace {

// The fixed text of value with dec decimals when value times 10^dec comes out as an integer below 2^52:
// that integer is then the correctly rounded one (the exact product lies within half an ulp of it, far
// from any halfway point), so its digits with the point put in are what the general conversion would
// write, at a fraction of its cost. False when the general conversion must do it.
bool fixedByInteger(double value, int dec, char* buf, std::to_chars_result& res) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double scaled = dec == 0 ? std::round(value) : value * kPowers[dec];
    if (!(std::fabs(scaled) < kExactScaledLimit) || scaled != std::trunc(scaled)) return false;
    res.ptr = buf + WriteScaledInteger(static_cast<int64_t>(scaled), dec, buf);
    res.ec = std::errc();
    return true;
}

}  // namespace

std::string FormatFieldNumber(double value, int width, int dec) {
    char buf[400];
    std::to_chars_result res;
    if (std::isnan(value) || std::isinf(value)) return std::string(static_cast<size_t>(std::max(width, 0)), '*');
    if (dec >= 0 && dec <= 15 && fixedByInteger(value, dec, buf, res)) {
        // done: the same text, made from an integer
    } else if (dec > 0) {
        res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, dec);
    } else {
        double r = std::round(value);
        res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 0);
    }
    if (res.ec != std::errc()) return std::string(static_cast<size_t>(std::max(width, 0)), '*');
    std::string s(buf, res.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);  // no "-0.00"
    if (static_cast<int>(s.size()) > width) return std::string(static_cast<size_t>(std::max(width, 0)), '*');
    return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

double ParseFieldNumber(const std::string& text, bool& exact) {
    return parseNumber(text.data(), text.size(), exact);
}

void RawToTypedRecord(const TableBlock& block, uint8_t* typed) {
    const char* raw = block.raw.data();
    typed[0] = raw[0] == '*' ? 1 : 0;
    size_t off = 1;
    for (const FieldDescriptor& f : block.fields) {
        rawFieldToTyped(f, raw + f.offset, typed + off);
        off += TypedFieldSize(f);
    }
}

void TypedToRawRecord(TableBlock& block, const uint8_t* typed) {
    char* raw = block.raw.data();
    raw[0] = typed[0] ? '*' : ' ';
    size_t off = 1;
    uint8_t probe[256 + 8];
    for (const FieldDescriptor& f : block.fields) {
        const uint8_t* t = typed + off;
        const size_t size = TypedFieldSize(f);
        off += size;
        char* r = raw + f.offset;
        // A field whose typed value is what its stored bytes read as keeps those bytes, so that a replace
        // of one field never rewrites another's "****", foreign number text or four-digit year. A blank
        // field is written out as before.
        if (f.type != 'C' && !allBlank(r, f.length)) {
            rawFieldToTyped(f, r, probe);
            if (std::memcmp(probe, t, size) == 0) continue;
        }
        switch (f.type) {
            case 'C': {
                size_t n = std::min<size_t>(t[0], f.length);
                std::memcpy(r, t + 1, n);
                std::memset(r + n, ' ', f.length - n);
                break;
            }
            case 'D':
                if (!rawOfDateText(TypedGetString(t), r)) std::memset(r, ' ', 8);
                break;
            case 'L': *r = *t ? 'T' : 'F'; break;
            case 'M': {
                int32_t block_ = TypedGetInt(t);
                std::string s = block_ == 0 ? std::string(f.length, ' ') : FormatFieldNumber(block_, f.length, 0);
                std::memcpy(r, s.data(), f.length);
                break;
            }
            case 'N':
            case 'F': {
                double v = TypedIsDouble(f) ? TypedGetDouble(t) : TypedGetInt(t);
                std::string s = FormatFieldNumber(v, f.length, TypedIsDouble(f) ? f.decimals : 0);
                std::memcpy(r, s.data(), f.length);
                break;
            }
            default: break;
        }
    }
}

}  // namespace xb
