// The championship window's season rules without a window: the suggested matchday count and the ranges
// of the seven rules.
#pragma once

#include <QString>
#include <optional>

#include "app/settings/lang_text_ids.h"

namespace app {

// The matchday count suggested for a number of teams: 2 * teams - 2, at least 0, at most 99; nothing when
// the text is not a number.
std::optional<int> SuggestedDayCount(const QString& teams);

// A season rule as the championship window edits it.
struct SeasonRuleField {
    const char* objectName;  // the combo box
    Text labelText;          // the language text of its label
    int low, high;           // accepted values
};
// The seven rules in the order they are checked: teams, matchdays, then the five point values.
const SeasonRuleField* SeasonRuleFields(int* count);

// The value stored for a rule's text: the number when it lies within the field's range, 0 for a text
// that is no number (an empty combo), nothing for a number outside the range (it would not fit).
std::optional<int> RuleValue(const SeasonRuleField& field, const QString& text);

}  // namespace app
