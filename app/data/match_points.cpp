#include "app/data/match_points.h"

namespace app {

std::optional<MatchPoints> PointsOfResult(std::string_view code, int homeGoals, int awayGoals, int homePoints,
                                          int awayPoints, const SeasonRules& r) {
    while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
    using O = MatchOutcome;
    if (code == "V1") return MatchPoints{{r.win, O::Win}, {r.defeat, O::Defeat}};
    if (code == "V2") return MatchPoints{{r.defeat, O::Defeat}, {r.win, O::Win}};
    if (code == "N") return MatchPoints{{r.draw, O::Draw}, {r.draw, O::Draw}};
    if (code == "F1") return MatchPoints{{r.forfeitWin, O::Win}, {r.forfeitDefeat, O::Defeat}};
    if (code == "F2") return MatchPoints{{r.forfeitDefeat, O::Defeat}, {r.forfeitWin, O::Win}};
    if (code == "AU") {
        const O home = homeGoals > awayGoals ? O::Win : homeGoals == awayGoals ? O::Draw : O::Defeat;
        const O away = home == O::Win ? O::Defeat : home == O::Defeat ? O::Win : O::Draw;
        return MatchPoints{{homePoints, home}, {awayPoints, away}};
    }
    return std::nullopt;
}

}  // namespace app
