// What the windows' entry fields accept, without a window: the key filters (applied to typed and pasted
// text alike), the search filter of the pick list and the reading of an integer. Qt-free but for QString,
// so it is tested without a display.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace app {

// What an entry field lets through.
enum class KeyRule {
    kDigits,          // numbers: digits only
    kDigitsAndMinus,  // season rules: digits and "-"
    kSeason,          // a season as the season boxes show it ("2014 - 2015"): digits, "-" and blanks
    kUpperName,       // names: every letter becomes its capital
    kText,            // any text the engine's code page holds
};

// What a field makes of a text typed or pasted into it. The text is taken whole or not at all: a
// character the rule refuses (a letter in a number, a minus sign anywhere but in front) or one the code
// page `codePage` lacks (it would be stored as "?") refuses the whole text, and `refused` names the first
// such character. Letters the rule capitalises are capitalised; a positive maxLength cuts the text.
struct InputVerdict {
    enum class Why { kNone, kRule, kCodePage };
    QString text;  // what the field shows when the text is taken
    Why why = Why::kNone;
    char32_t refused = 0;
    bool accepted() const { return why == Why::kNone; }
};
InputVerdict JudgeInput(const QString& text, KeyRule rule, int codePage, int maxLength = 0);

// The text as the code page can hold it: a letter it lacks becomes its letter without accents where the
// code page has that ("Haïti" in 852 reads "Haiti"), and is left out where it has not. A list offered to a
// user (the countries) is written so, that choosing an entry never meets a refusal.
QString TextInCodePage(const QString& text, int codePage);

// The pick list's filter for a name search: the stored name and the searched text both in capitals, the
// name starting with the text. The text is trimmed of blanks at both ends; a blank search gives no filter
// (the empty text). Any quote characters in the text are safe: the constant is split into parts each
// delimited by a quote it does not contain.
std::string NameSearchFilter(const std::string& field, const std::string& text);

// An integer in decimal text with an optional leading "-"; nothing for anything else (blanks included).
std::optional<int> ParseInteger(const QString& text);

}  // namespace app
