// Text helpers of the league library: the key text of a number, list entries that carry a number after
// the name, and the names of goal types.
#pragma once

#include <QString>
#include <string>

#include "app/settings/lang_text_ids.h"

namespace app {

// The decimal text of n preceded by blanks up to width characters: the text the index expression
// str(n,width) gives, which every key of the league tables is built from. A longer number comes back
// whole (and is then never found in a key of that width).
std::string PadNum(int n, int width);
// count blanks (none for count <= 0).
QString Spaces(int count);
// The first, or last, n characters; the whole text when it is shorter.
QString LeftPart(const QString& text, int n);
QString RightPart(const QString& text, int n);
// True when the text is a 32-bit integer: optional blanks, an optional sign and digits. False for "".
bool IsInteger(const QString& text);
// The number a field holds, 0 when it holds none (a selection that is no number makes an action do nothing).
int IntegerOrZero(const QString& text);
// The characters one per line, each preceded by a blank and followed by "\n" (vertical column titles).
QString VerticalText(const QString& text);

// A list entry that carries a number: the name, 100 blanks, then the decimal number. A sorted box orders
// such entries by name; EntryNumber reads the number back (0 when the entry carries none).
QString NumberedEntry(const QString& name, int number);
int EntryNumber(const QString& entry);
// The name part of a numbered entry (the entry itself when it carries no number).
QString EntryName(const QString& entry);

// The name of a goal type (0 normal, 1 penalty, 2 own goal, 3 right foot, 4 left foot, 5 free kick) in
// the current language; the empty text for any other type.
QString GoalTypeName(int type);
// The language table's names of the six goal types, by type.
inline constexpr Text kGoalTypeTexts[] = {Text::GoalNormal, Text::GoalPenalty, Text::GoalOwnGoal,
                                          Text::GoalRight,  Text::GoalLeft,    Text::GoalFreeKick};

}  // namespace app
