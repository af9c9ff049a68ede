// Date texts of the engine. A date field holds YYYYMMDD; everything above the table file sees a date in
// the current date picture (one of nine, chosen by the date format number 0..8 and the century flag), and
// the routines here convert between a picture and the canonical text "MM/DD/YY" or "MM/DD/YYYY".
//
// Every picture is written and read the same way by every routine (FormatDateStr, BlankDateText,
// JulianToDateStr write it; NormalizeDateStr, IsValidDateStr, DateStrToJulian read it), so that what one
// writes the others read back. Reading accepts any of "/", "-" and "." as the separator.
//
// A date text is at most 10 characters: longer input is cut to 10 before anything else, and no routine
// reads beyond the text it is given. Settings come from Engine::current().settings (dateFormat, century,
// pivotYear, ansiCodePage). Nothing here depends on the C library's locale.
#pragma once

#include <string>

namespace xb {

inline constexpr int kDateFormatCount = 9;
inline constexpr size_t kMaxDateText = 10;

// Sets the date format (a value outside 0..8 gives 0) and the runtime's short date picture and date
// separator to that format's picture ("yyyy" when the century flag is on at the time of the call).
void SetDateFormat(int n);
// The runtime's short date picture ("MM/dd/yy", "dd.MM.yyyy", ...) and date separator: as the last
// SetDateFormat on the current engine left them, else derived from the engine's current settings.
std::string ShortDatePicture();
char DateSeparator();

// The picture text of a format with two- or four-digit years, e.g. "dd.MM.yyyy" (format 0's for a format
// outside 0..8).
std::string DatePictureOf(int format, bool century);

// The empty date of a format with the current century flag: "  /  /  ", "  .  .    ", "    .  .  ", ...
std::string BlankDateText(int format);
// The blank canonical text: "  /  /  ", or "  /  /    " with the century flag on.
std::string BlankCanonicalDate();

// The century (a multiple of 100) of a two-digit year by the sliding window that starts at the pivot year:
// with pivot 1956, 00..55 give 2000 and 56..99 give 1900. A text whose first two characters are not a
// number counts as year 0.
int CenturyOf(const std::string& year2);
// The two century digits of a two-digit year ("19" or "20" in practice).
std::string YearTo4(const std::string& year2);
// With the century flag on: a two-character year gets its century in front, a shorter or three-character
// one is padded with "0" to 4. With the flag off the text is returned unchanged.
std::string ExpandYear(const std::string& year);

// Picture form to canonical form, in place, reading the parts in the order of the current date format.
// A text holding none of "/", "-", "." is only cut to 10 characters; three empty parts give the blank
// canonical text. Does not validate.
void NormalizeDateStr(std::string& text);
// The same with the century flag taken as given instead of from the settings.
void NormalizeDateStr(std::string& text, bool century);
// Canonical form to the current picture, in place; three empty parts give BlankDateText(dateFormat).
void FormatDateStr(std::string& text);

// True when the text (trimmed, cut to 10) is a real calendar date in the current picture, or the blank
// date. On success the text is replaced by its exact picture form (with the year width of the century
// flag); on failure it is left unchanged. Year 0 is not a date.
bool IsValidDateStr(std::string& text);

// Day of the week, 1 = Sunday .. 7 = Saturday; 0 for a blank or invalid date.
int Dow(const std::string& text);

// The day and month names in the language of the current date format, blank-padded to the width of that
// language's table (counted in characters); a blank or invalid date gives 10 blanks. Without a code page
// the text is in the engine's ANSI code page; a character the code page lacks becomes "?" (the Russian
// names need 1251).
std::string CDow(const std::string& text);
std::string CDow(const std::string& text, int codePage);
std::string CDowUtf8(const std::string& text);
std::string CMonth(const std::string& text);
std::string CMonth(const std::string& text, int codePage);
std::string CMonthUtf8(const std::string& text);

// Parts of the canonical form of a date text; 0 where the part is not a number. A two-digit year is
// expanded by the century window, so YearOf gives the full year whatever the century flag.
int MonthOf(const std::string& text);
int DayOf(const std::string& text);
int YearOf(const std::string& text);

// The date as eight digits YYYYMMDD (two-digit years expanded by the century window); eight blanks for a
// blank date and for a text that is not a valid date.
std::string DateToDtos(const std::string& text);

}  // namespace xb
