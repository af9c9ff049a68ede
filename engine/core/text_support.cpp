#include "engine/core/text_support.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "platform/codepage.h"

namespace xb {

namespace {

MemAllocator g_allocator = nullptr;

const EngineSettings& settings() {
    static const EngineSettings kDefaults{};
    Engine* e = Engine::currentOrNull();
    return e ? e->settings : kDefaults;
}

int ansiCp() { return settings().ansiCodePage; }
int oemCp() { return settings().oemCodePage; }

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The characters a number may be made of when StrToNum cuts its text: digits, the signs and both
// separators (the one that is not the decimal separator has already been removed by then).
bool isNumberChar(char c) { return isDigit(c) || c == '+' || c == '-' || c == '.' || c == ','; }

// The runtime's integer conversion: optional sign, then digits; a text that does not convert gives the
// value of the digits read so far. Saturates instead of wrapping.
int64_t partialInteger(const std::string& s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    constexpr int64_t kCap = int64_t(1) << 40;  // far beyond every result range, so clamping stays exact
    int64_t v = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > kCap) v = kCap;
    }
    return negative ? -v : v;
}

std::string padLeft(std::string s, int width) {
    if (width > 0 && s.size() < static_cast<size_t>(width)) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
    return s;
}

// value >= 0 in fixed notation with exactly dec decimals. Rounds the shortest decimal form of the value
// half away from zero, so that 2.675 (stored as 2.67499999...) gives 2.68 as the user typed it.
std::string fixedDigits(double value, int dec) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string sci(buf, r.ptr);
    size_t e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    int exponent = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
    std::string digits;
    for (char c : mantissa)
        if (isDigit(c)) digits += c;
    // digits with the point after the first (exponent + 1) of them.
    int point = exponent + 1;
    std::string intPart, fracPart;
    if (point <= 0) {
        intPart = "0";
        fracPart = std::string(static_cast<size_t>(-point), '0') + digits;
    } else if (static_cast<size_t>(point) >= digits.size()) {
        intPart = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
    } else {
        intPart = digits.substr(0, static_cast<size_t>(point));
        fracPart = digits.substr(static_cast<size_t>(point));
    }
    bool roundUp = fracPart.size() > static_cast<size_t>(dec) && fracPart[static_cast<size_t>(dec)] >= '5';
    fracPart.resize(static_cast<size_t>(dec), '0');
    std::string all = intPart + fracPart;
    if (roundUp) {
        size_t i = all.size();
        while (i > 0) {
            --i;
            if (all[i] == '9') {
                all[i] = '0';
            } else {
                ++all[i];
                break;
            }
            if (i == 0) all.insert(0, 1, '1');
        }
    }
    std::string out = all.substr(0, all.size() - static_cast<size_t>(dec));
    if (dec > 0) out += "." + all.substr(all.size() - static_cast<size_t>(dec));
    return out;
}

}  // namespace

// ---- memory ----

bool GetMem(void*& p, unsigned size) {
    p = nullptr;
    if (size > kMaxBlockSize) {
        SetEngineError(266, " [GetMem()]");
        return false;
    }
    // A zero-byte request still gets a block of its own, so that the FreeMem that pairs with it works.
    const size_t bytes = size == 0 ? 1 : size;
    void* block = g_allocator ? g_allocator(bytes) : std::malloc(bytes);
    if (!block) {
        SetEngineError(217, " [GetMem()]");
        return false;
    }
    std::memset(block, 0, bytes);
    p = block;
    return true;
}

void FreeMem(void*& p) {
    if (!p) {
        SetEngineError(9, "Attempt to free NIL pointer [FreeMem()]");
        return;
    }
    std::free(p);
    p = nullptr;
}

long MaxAvail() { return 2147483647L; }

MemAllocator SetMemAllocator(MemAllocator alloc) {
    MemAllocator old = g_allocator;
    g_allocator = alloc;
    return old;
}

// ---- OEM and ANSI ----

std::string AnsiToOemStr(const std::string& text) { return platform::ConvertBytes(text, ansiCp(), oemCp()); }
std::string OemToAnsiStr(const std::string& text) { return platform::ConvertBytes(text, oemCp(), ansiCp()); }
void AnsiToOemBuf(char* buf, size_t n) { platform::ConvertBytesInPlace(buf, n, ansiCp(), oemCp()); }
void OemToAnsiBuf(char* buf, size_t n) { platform::ConvertBytesInPlace(buf, n, oemCp(), ansiCp()); }
std::string AnsiToOemStr(const std::string& text, int cp) {
    return platform::ConvertBytes(text, ansiCp(), cp ? cp : oemCp());
}
void AnsiToOemBuf(char* buf, size_t n, int cp) { platform::ConvertBytesInPlace(buf, n, ansiCp(), cp ? cp : oemCp()); }

// ---- trimming, case, searching ----

std::string TrimRightStr(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && isBlankOrControl(text[end - 1])) --end;
    return text.substr(0, end);
}

std::string RTrim(const std::string& text) { return TrimRightStr(text); }

std::string TrimLeftStr(const std::string& text) {
    size_t start = 0;
    while (start < text.size() && isBlankOrControl(text[start])) ++start;
    return text.substr(start);
}

std::string LTrim(const std::string& text) { return TrimLeftStr(text); }

std::string AllTrim(const std::string& text) { return TrimLeftStr(TrimRightStr(text)); }

std::string UpperStr(const std::string& text) {
    const int cp = ansiCp();
    std::string out = text;
    for (char& c : out) c = static_cast<char>(platform::UpperByte(cp, static_cast<unsigned char>(c)));
    return out;
}

char CharUpperStr(char c) { return static_cast<char>(platform::UpperByte(ansiCp(), static_cast<unsigned char>(c))); }
char CharLowerStr(char c) { return static_cast<char>(platform::LowerByte(ansiCp(), static_cast<unsigned char>(c))); }

int CountSubStr(const std::string& sub, const std::string& text) {
    if (sub.empty() || text.empty()) return 0;
    int count = 0;
    for (size_t pos = text.find(sub); pos != std::string::npos; pos = text.find(sub, pos + sub.size())) ++count;
    return count;
}

int FindOccurrence(const std::string& sub, const std::string& text, int n) {
    if (sub.empty() || text.empty() || n == 0) return 0;
    if (n < 0) {
        std::string rsub(sub.rbegin(), sub.rend());
        std::string rtext(text.rbegin(), text.rend());
        int p = FindOccurrence(rsub, rtext, -n);
        if (p == 0) return 0;
        // The reversed match covers reversed positions p .. p+len-1, which is original text from
        // len(text) - (p + len(sub) - 1) + 1 on.
        return static_cast<int>(text.size()) - (p + static_cast<int>(sub.size()) - 1) + 1;
    }
    size_t pos = text.find(sub);
    for (int k = 1; k < n && pos != std::string::npos; ++k) pos = text.find(sub, pos + sub.size());
    return pos == std::string::npos ? 0 : static_cast<int>(pos) + 1;
}

bool TakeKeyword(std::string& text, const std::string& keyword) {
    const int cp = ansiCp();
    text = UpperStr(text);
    bool removed = false;
    if (!keyword.empty()) {
        size_t from = 0;
        for (size_t pos = text.find(keyword, from); pos != std::string::npos; pos = text.find(keyword, from)) {
            const size_t after = pos + keyword.size();
            if (after < text.size()) {
                const char next = text[after];
                if (platform::IsAlphaByte(cp, static_cast<unsigned char>(next)) || isDigit(next) || next == '\\' ||
                    next == '_') {
                    from = pos + 1;  // part of a longer word, such as " EXACTLY" for " EXACT"
                    continue;
                }
            }
            text.erase(pos, keyword.size());
            removed = true;
            from = pos;
        }
    }
    text = AllTrim(text);
    return removed;
}

// ---- building texts ----

std::string Replicate(char c, int n) { return n > 0 ? std::string(static_cast<size_t>(n), c) : std::string(); }

std::string Space(int n) { return Replicate(' ', n); }

std::string PadR(const std::string& text, int n) {
    if (n <= 0 || text.size() >= static_cast<size_t>(n)) return text;
    return text + std::string(static_cast<size_t>(n) - text.size(), ' ');
}

std::string IntToStrWidth(long value, int width) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return padLeft(std::string(buf, r.ptr), width);
}

std::string FloatToStrDec(double value, int width, int dec) {
    // Thirty decimals is more than any field or display can hold; beyond that nothing is gained.
    dec = std::clamp(dec, 0, 30);
    std::string s;
    if (std::isnan(value)) {
        s = "NAN";
    } else if (std::isinf(value)) {
        s = value < 0 ? "-INF" : "INF";
    } else {
        s = fixedDigits(std::fabs(value), dec);
        // A negative value that rounds to zero is written as zero, not "-0.00".
        if (std::signbit(value) && s.find_first_not_of("0.") != std::string::npos) s.insert(0, 1, '-');
        const char sep = settings().decimalSep;
        if (dec > 0 && sep != '.') std::replace(s.begin(), s.end(), '.', sep);
    }
    return padLeft(std::move(s), width);
}

// ---- reading number texts ----

int16_t StrToNum(const std::string& text) {
    if (text.empty()) return 0;
    const char decimalSep = settings().decimalSep;
    std::string s = TrimLeftStr(text);
    if (!s.empty() && s[0] == '+') s.erase(0, 1);
    s = TrimLeftStr(s);
    const char thousands = decimalSep != '.' ? '.' : ',';
    s.erase(std::remove(s.begin(), s.end(), thousands), s.end());
    if (size_t dollar = s.find('$'); dollar != std::string::npos) s.erase(dollar, 1);
    if (size_t blank = s.find(' '); blank != std::string::npos) s.resize(blank);
    size_t keep = 0;
    while (keep < s.size() && isNumberChar(s[keep])) ++keep;
    s.resize(keep);
    const int64_t v = partialInteger(s);
    return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
}

void CleanNumberText(std::string& text) {
    const char decimalSep = settings().decimalSep;
    std::string s = text;
    s.erase(std::remove(s.begin(), s.end(), '$'), s.end());
    size_t lead = 0;
    while (lead < s.size() && (s[lead] == ' ' || s[lead] == '+')) ++lead;
    s.erase(0, lead);
    if (!s.empty() && s[0] == '-') {
        lead = 0;
        while (lead < s.size() && (s[lead] == '-' || s[lead] == '+' || s[lead] == ' ')) ++lead;
        s.erase(0, lead);
        if (!s.empty() && s[0] == decimalSep) s.insert(0, 1, '0');
        s.insert(0, 1, '-');
    }
    if (decimalSep != '.') {
        s.erase(std::remove(s.begin(), s.end(), '.'), s.end());
        if (size_t sep = s.find(decimalSep); sep != std::string::npos) s[sep] = '.';
    } else {
        s.erase(std::remove(s.begin(), s.end(), ','), s.end());
    }
    if (!s.empty() && s[0] == '.') s.insert(0, 1, '0');
    if (size_t blank = s.find(' '); blank != std::string::npos) s.resize(blank);
    size_t keep = 0;
    while (keep < s.size() && (isDigit(s[keep]) || s[keep] == '.' || (keep == 0 && s[keep] == '-'))) ++keep;
    s.resize(keep);
    if (!s.empty() && s.back() == '.') s.pop_back();
    text = std::move(s);
}

int32_t StrToLongNum(const std::string& text) {
    if (text.empty()) return 0;
    std::string s = text;
    CleanNumberText(s);
    if (size_t point = s.find('.'); point != std::string::npos) s.resize(point);
    const int64_t v = partialInteger(s);
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string IfStr(bool cond, const std::string& a, const std::string& b) { return cond ? a : b; }

bool IsAlphaStr(const std::string& text) {
    return !text.empty() && platform::IsAlphaByte(ansiCp(), static_cast<unsigned char>(text[0]));
}

}  // namespace xb
