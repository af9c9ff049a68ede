// Routines shared by the expression evaluator and the index engine: day numbers of dates, Soundex codes,
// byte helpers and comparisons, and the node list behind their memory pools.
//
// A day number is the Julian day number of a date of the proleptic Gregorian calendar held in a double:
// 1 January of year 1 is 1721426 and 1 January 2000 is 2451545. The blank date, and every text or
// (year, month, day) that is not a date of years 1 to 9999, is kBlankDate, which sorts after every date.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

namespace xb {

inline constexpr double kBlankDate = 1.0e100;
inline constexpr long kFirstDayNumber = 1721426;  // 0001-01-01
inline constexpr long kLastDayNumber = 5373484;   // 9999-12-31

// --- Calendar -------------------------------------------------------------------------------------------

bool IsLeapYear(int year);
// 1..366, or -1 when (year, month, day) is not a date (year below 1, month outside 1..12, day outside the
// month).
int DayOfYear(int year, int month, int day);
// Days in the years 1 .. year-1; 0 for a year of 1 or less.
long DaysBeforeYear(int year);
// Month and day of the n-th day of a year (day 60 of a leap year is 29 February). False, with month and
// day untouched, when n is outside the year.
bool MonthAndDayOfDayOfYear(int year, int dayOfYear, int& month, int& day);
// An integer as decimal text left-padded with "0" to width (the sign, if any, comes first).
std::string ZeroPad(long value, int width);

// --- Day numbers ----------------------------------------------------------------------------------------

// The day number of a date, or kBlankDate when it is not a date. There is no year 0.
double JulianOf(int year, int month, int day);
// The first 8 characters of YYYYMMDD text to a day number; kBlankDate for blanks, a short text, anything
// that is not 8 digits and any impossible date.
double DtosToJulian(const std::string& dtos);
// A day number to YYYYMMDD; 8 blanks outside 0001-01-01 .. 9999-12-31, for kBlankDate and for NaN.
// A fractional day number counts as the day it falls in.
std::string JulianToDtos(double julian);
// A day number to text in the current date picture; the blank date of the current format outside the
// range JulianToDtos accepts. Format 7 and 8 write day.month.year like formats 4 to 6.
std::string JulianToDateStr(double julian);
// Date text in the current picture (first 10 characters, read with four-digit years whatever the century
// flag) to a day number; kBlankDate for a blank or invalid date.
double DateStrToJulian(const std::string& text);
// Date text in the current picture to YYYYMMDD; 8 blanks for a blank or invalid date.
std::string DateStrToDtos(const std::string& text);

// --- Soundex --------------------------------------------------------------------------------------------

// The 4-character Soundex code of a text (its first 100 characters): the first character (upper-cased
// when a letter a..z) followed by up to three digit codes of the following letters A..Z. Codes shorter than
// 4 keep trailing "0"s. An empty text gives "0000".
std::string Soundex(const std::string& text);

// --- Byte strings and comparisons -----------------------------------------------------------------------

// Length of a zero-terminated text.
size_t CStrLength(const char* s);
// Copies a zero-terminated text with its terminator; returns dest.
char* CStrCopy(char* dest, const char* src);
// The text of a buffer up to its first zero byte or maxLength bytes, whichever comes first.
std::string StrFromBuffer(const char* buffer, size_t maxLength);
// Writes text into a buffer of bufferSize bytes as a zero-terminated text, cut to bufferSize - 1 bytes.
// Nothing is written when bufferSize is 0.
void StrToBuffer(const std::string& text, char* buffer, size_t bufferSize);

// 0 when the first n bytes are equal, else the difference of the first unequal bytes taken unsigned.
int CompareBytes(const void* a, const void* b, size_t n);
// -1, 0 or 1. NaN sorts after every number and equals NaN, so the order stays total.
int CompareDouble(double a, double b);
// Reverses n bytes in place.
void ReverseBytes(char* p, size_t n);
// Exchanges the adjacent blocks [0, first) and [first, first + second) in place; nothing when either is 0.
void RotateBlocks(char* buffer, size_t first, size_t second);

// The text with a..z upper-cased; every other byte unchanged.
std::string AsciiUpper(const std::string& text);
// True for the letters "A" to "Z" only.
bool IsLetterAZ(char c);

// --- Node list ------------------------------------------------------------------------------------------

// One block of a node list, owned by whoever holds it: the data bytes, zeroed when allocated.
class NodeBlock {
public:
    NodeBlock() = default;
    NodeBlock(std::unique_ptr<unsigned char[]> data, size_t size) : m_data(std::move(data)), m_size(size) {}
    void* data() const { return m_data.get(); }
    size_t size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    std::unique_ptr<unsigned char[]> m_data;
    size_t m_size = 0;
};

// A pool of data blocks kept in the order they were added. The newest block is the head: it is the one
// unlink() takes, so freeing a list by repeated unlink() goes newest first. Pointers handed out stay valid
// until their block is unlinked or the list is destroyed.
class NodeList {
public:
    // A block's data size is limited as a node's recorded total size (data + 10-byte header) is 16 bits.
    static constexpr size_t kMaxData = 65535 - 10;

    NodeList() = default;
    NodeList(const NodeList&) = delete;
    NodeList& operator=(const NodeList&) = delete;

    // Adds a block of n zeroed bytes as the newest and returns its data; nullptr, with nothing added, when n
    // is above kMaxData or memory is short (the caller reports the failure under its own name).
    void* alloc(size_t n);
    // Takes the newest block off the list and hands it over; an empty block when the list is empty.
    NodeBlock unlink();
    // Oldest to newest: with nullptr the oldest block's data, otherwise the data of the block added after
    // the given one; nullptr after the newest, on an empty list, and for a pointer not in the list.
    void* next(const void* node) const;
    // The newest block's data, nullptr when empty.
    void* head() const;
    // The recorded total size (data + 10) of a block in the list; 0 for a pointer not in the list.
    uint16_t totalSize(const void* node) const;
    bool empty() const { return m_blocks.empty(); }
    size_t size() const { return m_blocks.size(); }
    void clear();

private:
    std::deque<NodeBlock> m_blocks;                      // oldest first
    std::unordered_map<const void*, size_t> m_position;  // data pointer -> index in m_blocks
};

}  // namespace xb
