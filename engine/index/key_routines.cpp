#include "engine/index/key_routines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/core/dates.h"
#include "engine/core/engine.h"

namespace xb {

namespace {

// Days before each month in a common year, and the year's length after December.
const int kDaysBefore[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

int daysInMonth(int year, int month) {
    const int n = kDaysBefore[month] - kDaysBefore[month - 1];
    return (month == 2 && IsLeapYear(year)) ? n + 1 : n;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of exactly n digits at pos; -1 when the text is too short or a character is not a digit.
int digitsAt(const std::string& s, size_t pos, size_t n) {
    if (pos + n > s.size()) return -1;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (!isDigit(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

struct Civil {
    int year, month, day;
};

bool inDayRange(double julian) {
    return julian >= static_cast<double>(kFirstDayNumber) && julian < static_cast<double>(kLastDayNumber + 1);
}

// A day number in range to its calendar date.
Civil civilOf(double julian) {
    const long n = static_cast<long>(std::floor(julian)) - (kFirstDayNumber - 1);  // 1 = 0001-01-01
    // 146097 days make 400 years; the estimate is at most one year high or low.
    int year = static_cast<int>((n - 1) * 400 / 146097) + 1;
    while (DaysBeforeYear(year) >= n) --year;
    while (DaysBeforeYear(year + 1) < n) ++year;
    Civil c{year, 1, 1};
    MonthAndDayOfDayOfYear(year, static_cast<int>(n - DaysBeforeYear(year)), c.month, c.day);
    return c;
}

const char kSoundexCodes[] = "01230120022455012623010202";
constexpr size_t kSoundexLength = 4;
constexpr size_t kSoundexInput = 100;

}  // namespace

// --- Calendar -------------------------------------------------------------------------------------------

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DayOfYear(int year, int month, int day) {
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return -1;
    return kDaysBefore[month - 1] + day + ((month > 2 && IsLeapYear(year)) ? 1 : 0);
}

long DaysBeforeYear(int year) {
    const long y = static_cast<long>(year) - 1;
    if (y < 1) return 0;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

bool MonthAndDayOfDayOfYear(int year, int dayOfYear, int& month, int& day) {
    const bool leap = IsLeapYear(year);
    if (dayOfYear < 1 || dayOfYear > (leap ? 366 : 365)) return false;
    int n = dayOfYear;
    if (leap && n == 60) {
        month = 2;
        day = 29;
        return true;
    }
    if (leap && n > 60) --n;
    int m = 1;
    while (m < 12 && n > kDaysBefore[m]) ++m;
    month = m;
    day = n - kDaysBefore[m - 1];
    return true;
}

std::string ZeroPad(long value, int width) {
    const bool negative = value < 0;
    // Through unsigned so that the most negative long keeps its digits.
    unsigned long magnitude =
        negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    std::string digits = std::to_string(magnitude);
    const int signWidth = negative ? 1 : 0;
    if (static_cast<int>(digits.size()) + signWidth < width)
        digits.insert(0, static_cast<size_t>(width - signWidth) - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

// --- Day numbers ----------------------------------------------------------------------------------------

double JulianOf(int year, int month, int day) {
    const int doy = DayOfYear(year, month, day);
    if (doy < 0) return kBlankDate;
    return static_cast<double>(kFirstDayNumber - 1 + DaysBeforeYear(year) + doy);
}

double DtosToJulian(const std::string& dtos) {
    const int y = digitsAt(dtos, 0, 4);
    const int m = digitsAt(dtos, 4, 2);
    const int d = digitsAt(dtos, 6, 2);
    if (y < 0 || m < 0 || d < 0) return kBlankDate;
    return JulianOf(y, m, d);
}

std::string JulianToDtos(double julian) {
    if (!inDayRange(julian)) return std::string(8, ' ');
    const Civil c = civilOf(julian);
    return ZeroPad(c.year, 4) + ZeroPad(c.month, 2) + ZeroPad(c.day, 2);
}

std::string JulianToDateStr(double julian) {
    const EngineSettings& s = Engine::current().settings;
    if (!inDayRange(julian)) return BlankDateText(s.dateFormat);
    const Civil c = civilOf(julian);
    const std::string year = s.century ? ZeroPad(c.year, 4) : ZeroPad(c.year % 100, 2);
    std::string text = ZeroPad(c.month, 2) + "/" + ZeroPad(c.day, 2) + "/" + year;
    FormatDateStr(text);
    return text;
}

double DateStrToJulian(const std::string& text) {
    std::string t = text.substr(0, kMaxDateText);
    NormalizeDateStr(t, true);
    if (t.size() != 10 || t[2] != '/' || t[5] != '/') return kBlankDate;
    const int m = digitsAt(t, 0, 2);
    const int d = digitsAt(t, 3, 2);
    const int y = digitsAt(t, 6, 4);
    if (m < 0 || d < 0 || y < 0) return kBlankDate;
    return JulianOf(y, m, d);
}

std::string DateStrToDtos(const std::string& text) {
    return JulianToDtos(DateStrToJulian(text));
}

// --- Soundex --------------------------------------------------------------------------------------------

std::string Soundex(const std::string& text) {
    std::string code(kSoundexLength, '0');
    if (text.empty()) return code;
    const std::string t = AsciiUpper(text.substr(0, kSoundexInput));
    code[0] = t[0];
    size_t filled = 1;
    char last = IsLetterAZ(t[0]) ? kSoundexCodes[t[0] - 'A'] : '0';
    for (size_t i = 1; i < t.size() && filled < kSoundexLength; ++i) {
        if (!IsLetterAZ(t[i])) continue;
        const char c = kSoundexCodes[t[i] - 'A'];
        if (c == last) continue;
        last = c;
        if (c != '0') code[filled++] = c;
    }
    return code;
}

// --- Byte strings and comparisons -----------------------------------------------------------------------

size_t CStrLength(const char* s) {
    return std::strlen(s);
}

char* CStrCopy(char* dest, const char* src) {
    return std::strcpy(dest, src);
}

std::string StrFromBuffer(const char* buffer, size_t maxLength) {
    const void* zero = std::memchr(buffer, 0, maxLength);
    const size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - buffer) : maxLength;
    return std::string(buffer, n);
}

void StrToBuffer(const std::string& text, char* buffer, size_t bufferSize) {
    if (bufferSize == 0) return;
    const size_t n = std::min(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

int CompareBytes(const void* a, const void* b, size_t n) {
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return static_cast<int>(pa[i]) - static_cast<int>(pb[i]);
    return 0;
}

int CompareDouble(double a, double b) {
    const bool nanA = std::isnan(a), nanB = std::isnan(b);
    if (nanA || nanB) return nanA == nanB ? 0 : (nanA ? 1 : -1);
    return a < b ? -1 : (a > b ? 1 : 0);
}

void ReverseBytes(char* p, size_t n) {
    std::reverse(p, p + n);
}

void RotateBlocks(char* buffer, size_t first, size_t second) {
    if (first == 0 || second == 0) return;
    ReverseBytes(buffer, first);
    ReverseBytes(buffer + first, second);
    ReverseBytes(buffer, first + second);
}

std::string AsciiUpper(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool IsLetterAZ(char c) {
    return c >= 'A' && c <= 'Z';
}

// --- Node list ------------------------------------------------------------------------------------------

void* NodeList::alloc(size_t n) {
    if (n > kMaxData) return nullptr;
    // A zero-byte block still needs an address of its own to be found again.
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[n == 0 ? 1 : n]());
    if (!data) return nullptr;
    void* p = data.get();
    try {
        m_position.emplace(p, m_blocks.size());
        m_blocks.emplace_back(std::move(data), n);
    } catch (const std::bad_alloc&) {
        m_position.erase(p);
        return nullptr;
    }
    return p;
}

NodeBlock NodeList::unlink() {
    if (m_blocks.empty()) return {};
    NodeBlock b = std::move(m_blocks.back());
    m_blocks.pop_back();
    m_position.erase(b.data());
    return b;
}

void* NodeList::next(const void* node) const {
    if (m_blocks.empty()) return nullptr;
    if (!node) return m_blocks.front().data();
    auto it = m_position.find(node);
    if (it == m_position.end() || it->second + 1 >= m_blocks.size()) return nullptr;
    return m_blocks[it->second + 1].data();
}

void* NodeList::head() const {
    return m_blocks.empty() ? nullptr : m_blocks.back().data();
}

uint16_t NodeList::totalSize(const void* node) const {
    auto it = m_position.find(node);
    if (it == m_position.end()) return 0;
    return static_cast<uint16_t>(m_blocks[it->second].size() + 10);
}

void NodeList::clear() {
    while (!m_blocks.empty()) unlink();
}

}  // namespace xb
