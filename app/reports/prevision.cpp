#include "app/reports/prevision.h"

#include <algorithm>
#include <cmath>

#include "app/reports/standings.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/settings/session_format.h"

namespace app {

PrevisionScores PrevisionSeasonScores(int championship, int year, int matchday, int team1, int team2) {
    LeagueReading reading;
    return PrevisionSeasonScores(reading, championship, year, matchday, team1, team2);
}

PrevisionScores PrevisionSeasonScores(LeagueReading& reading, int championship, int year, int matchday,
                                      int team1, int team2) {
    PrevisionScores s;
    // No matchday lies before the first.
    if (matchday < 1) return s;
    ScanSeasonResults(reading, championship, year, matchday - 1, [&](const SeasonMatch& m) {
        const int h = m.homeGoals, a = m.awayGoals;
        if (m.home == team1) {
            if (h > a) s.team1 += 4;
            if (h == a) s.draw += 2;
            s.team1 += h;
        }
        if (m.away == team2) {
            if (a > h) {
                s.team2 += 4;
                s.draw += 2;
            }
            if (h == a) s.draw += 4;
            s.team2 += a;
        }
    });
    return s;
}

PrevisionScores PrevisionMeetingScores(int team1, int team2) {
    LeagueReading reading;
    return PrevisionMeetingScores(reading, team1, team2);
}

PrevisionScores PrevisionMeetingScores(LeagueReading& reading, int team1, int team2) {
    PrevisionScores s;
    xb::TXbDbf& t = reading.Table("resultat.dbf", "EQ1EQ2");
    ForEachRow(t, NumberKey({{team1, 5}, {team2, 5}}),
               " nueq1=" + std::to_string(team1) + " .AND. nueq2=" + std::to_string(team2), [&] {
                   const int h = t.FieldGetInt("BEQ1"), a = t.FieldGetInt("BEQ2");
                   if (h > a) s.team1 += h - a > 2 ? 3 : 2;
                   if (a > h) {
                       s.team2 += a - h > 1 ? 4 : 3;
                       s.draw += 1;
                   }
                   if (h == a) s.draw += 3;
               });
    return s;
}

PrevisionPercent PrevisionPercentages(const PrevisionScores& s) {
    const int64_t total = int64_t{s.team1} + s.draw + s.team2;
    PrevisionPercent p;
    if (total < 1) return p;
    auto percent = [total](int32_t score) {
        return static_cast<float>(static_cast<double>(int64_t{score} * 100) / static_cast<double>(total));
    };
    p.team1 = percent(s.team1);
    p.draw = percent(s.draw);
    p.team2 = percent(s.team2);
    p.hasData = true;
    return p;
}

PrevisionPercent PrevisionBySeason(int championship, int year, int matchday, int team1, int team2) {
    return PrevisionPercentages(PrevisionSeasonScores(championship, year, matchday, team1, team2));
}

PrevisionPercent PrevisionByMeetings(int, int, int, int team1, int team2) {
    return PrevisionPercentages(PrevisionMeetingScores(team1, team2));
}

PrevisionPercent CombinePrevisions(const PrevisionPercent& season, const PrevisionPercent& meetings) {
    if (!season.hasData) return meetings;
    if (!meetings.hasData) return season;
    auto mix = [](float s, float m) { return static_cast<float>((s * 2.0 + m) / 3.0); };
    return {mix(season.team1, meetings.team1), mix(season.draw, meetings.draw),
            mix(season.team2, meetings.team2), true};
}

std::optional<PrevisionPercent> ComputePrevision(const PrevisionRequest& r) {
    if (r.method < kPrevisionBySeason || r.method > kPrevisionCombined || r.championship < 1 || r.year < 1 ||
        r.team1 < 1 || r.team2 < 1 || r.team1 == r.team2)
        return std::nullopt;
    LeagueReading reading;
    auto bySeason = [&] {
        return PrevisionPercentages(
            PrevisionSeasonScores(reading, r.championship, r.year, r.matchday, r.team1, r.team2));
    };
    auto byMeetings = [&] { return PrevisionPercentages(PrevisionMeetingScores(reading, r.team1, r.team2)); };
    switch (r.method) {
        case kPrevisionBySeason:
            return bySeason();
        case kPrevisionByMeetings:
            return byMeetings();
        default:
            return CombinePrevisions(bySeason(), byMeetings());
    }
}

std::array<QString, 3> PercentTexts(const PrevisionPercent& percent) {
    const double values[3] = {percent.team1, percent.draw, percent.team2};
    std::array<long long, 3> tenths{};
    std::array<double, 3> remainders{};
    long long shown = 0;
    double total = 0;
    for (int i = 0; i < 3; ++i) {
        const double v = std::max(0.0, values[i]) * 10.0;
        tenths[i] = static_cast<long long>(std::floor(v));
        remainders[i] = v - static_cast<double>(tenths[i]);
        shown += tenths[i];
        total += v;
    }
    // Single-precision shares of 100 may add up to 99.99999 or 100.00001: the target is the whole total.
    for (long long missing = std::llround(total) - shown; missing > 0; --missing) {
        const auto largest = std::max_element(remainders.begin(), remainders.end());
        ++tenths[static_cast<size_t>(largest - remainders.begin())];
        *largest = -1;
    }
    std::array<QString, 3> texts;
    for (int i = 0; i < 3; ++i) texts[i] = PercentText(tenths[i], LanguageIndex);
    return texts;
}

}  // namespace app
