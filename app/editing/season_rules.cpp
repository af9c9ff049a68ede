#include "app/editing/season_rules.h"

#include <algorithm>
#include <iterator>

#include "app/shell/entry_rules.h"

namespace app {

std::optional<int> SuggestedDayCount(const QString& teams) {
    const auto t = ParseInteger(teams);
    if (!t) return std::nullopt;
    return static_cast<int>(std::clamp<long long>(2LL * *t - 2, 0, 99));
}

const SeasonRuleField* SeasonRuleFields(int* count) {
    static const SeasonRuleField kFields[] = {
        {"enbequipe", Text::NumberOfTeams, 0, 99},
        {"enbjournee", Text::NumberOfMatchdays, 0, 99},
        {"eptv", Text::PointsWin, -9, 99},
        {"eptn", Text::PointsDraw, -9, 99},
        {"eptd", Text::PointsDefeat, -9, 99},
        {"eptfv", Text::PointsForfeitWin, -9, 99},
        {"eptfd", Text::PointsForfeitDefeat, -9, 99},
    };
    *count = static_cast<int>(std::size(kFields));
    return kFields;
}

std::optional<int> RuleValue(const SeasonRuleField& field, const QString& text) {
    const auto v = ParseInteger(text);
    if (!v) return 0;
    if (*v < field.low || *v > field.high) return std::nullopt;
    return *v;
}

}  // namespace app
