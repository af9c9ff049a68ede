#include "app/reports/team_info.h"

#include <algorithm>

#include "app/reports/standings_by_day.h"
#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"

namespace app {

namespace {

TeamSideTotals totalsOf(const StandingsDayRecord& r, int side) {
    const int base = kDayWins + 5 * side;
    return {r[base], r[base + 1], r[base + 2], r[base + 3], r[base + 4]};
}

}  // namespace

TeamInfoResult ComputeTeamInfo(int championship, int year, int team) {
    LeagueReading reading;
    return ComputeTeamInfo(reading, championship, year, team);
}

TeamInfoResult ComputeTeamInfo(LeagueReading& reading, int championship, int year, int team) {
    TeamInfoResult out;
    if (championship < 1 || year < 1 || team < 1) return out;
    out.computed = true;
    const SeasonRules rules = reading.SeasonParams(championship, year);
    const int days = std::max(0, rules.matchdays);
    out.days = std::max(1, days);
    // The table of zeros: the teams listed and the rank before any result.
    const StandingsResult zeros =
        ComputeStandingsGrid(reading, {championship, year, 1, 0, kOrderPoints, kSideAll});
    out.teams = std::max(1, static_cast<int>(zeros.rows.size()));
    int zeroRank = 0;
    for (size_t i = 0; i < zeros.rows.size(); ++i)
        if (zeros.rows[i].team == team) zeroRank = static_cast<int>(i) + 1;
    if (days < 1 || zeroRank == 0) return out;

    const std::vector<StandingsDayRecord> records =
        ComputeStandingsByDay(reading, championship, year, 1, days, team);
    for (int side = 0; side < 3; ++side)
        out.sides[static_cast<size_t>(side)] = totalsOf(records.back(), side);
    int lastPlayed = 0;
    ScanSeasonResults(reading, championship, year, days, [&](const SeasonMatch& m) {
        if (m.home == team || m.away == team) lastPlayed = std::max(lastPlayed, m.matchday);
    });
    auto rankOf = [&](int d) {
        const int place = records[static_cast<size_t>(d)][kDayPlace];
        return place > 0 ? place : zeroRank;
    };
    out.points.push_back({0, rankOf(1), true});
    for (int d = 1; d <= days; ++d) out.points.push_back({d, rankOf(d), d <= lastPlayed});
    return out;
}

std::vector<ScorerRow> ComputeTeamScorers(int championship, int year, int team) {
    LeagueReading reading;
    return ComputeTeamScorers(reading, championship, year, team);
}

std::vector<ScorerRow> ComputeTeamScorers(LeagueReading& reading, int championship, int year, int team) {
    ScorerWorkTable tabclassbuteur(false);
    const std::string key = NumberKey({{team, 5}, {year, 4}, {championship, 5}});
    if (!key.empty()) {
        for (int side : {1, 2}) {
            const std::string field = side == 1 ? "NUEQ1" : "NUEQ2";
            xb::TXbDbf& t = reading.Table("but.dbf", side == 1 ? "NUEQUIPE1" : "NUEQUIPE2");
            ForEachRow(t, key,
                       field + "=" + std::to_string(team) + " .AND. ANNEE=" + std::to_string(year) +
                           " .AND. NUCHAMP=" + std::to_string(championship),
                       [&] {
                           if (t.FieldGetInt("NUEQBEN") == side && t.FieldGetInt("TYPE") != kOwnGoal)
                               tabclassbuteur.AddTeamScorerGoal(t.FieldGetInt("NUJOUEUR"));
                       });
        }
    }
    return tabclassbuteur.SortedRows(reading);
}

GridRows TeamScorersGridRows(const std::vector<ScorerRow>& scorers) {
    GridRows rows;
    for (const ScorerRow& s : scorers)
        rows.push_back({QString::number(s.player), s.name, QString::number(s.goals)});
    return rows;
}

QByteArray ExportTeamInfoHtml(const GridRows& scorers, const TeamInfoPageInfo& info,
                              const QStringList& imageNames) {
    HtmlPageWriter w(DefaultPageOptions(GetLangText(Text::TeamInformationTitle)));
    w.Begin();
    w.SubTitle(info.teamText);
    w.InfoLines({{GetLangText(Text::Championship), info.championshipName},
                 {GetLangText(Text::Year), info.seasonText}});
    // The place chart, then the general, home and away pies, each pair under its name.
    auto images = [&](std::initializer_list<int> ks) {
        QStringList names;
        for (int k : ks)
            if (k <= imageNames.size()) names << imageNames[k - 1];
        return names;
    };
    w.ImageRow(images({1}));
    w.ImageRow(images({2, 3}));
    w.SubTitle(GetLangText(Text::HomeMatches));
    w.ImageRow(images({4, 5}));
    w.SubTitle(GetLangText(Text::AwayMatches));
    w.ImageRow(images({6, 7}));
    w.Line(QStringLiteral("           <br>"));
    w.Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\" align=\"center\">"));
    w.Line(QStringLiteral("           <tr>"));
    w.Line(QStringLiteral("<td nowrap bgcolor=\"#0000CC\" bordercolor=\"#999999\"><font "
                          "color=\"#FFFFFF\"><b>") +
           HtmlEscape(GetLangText(Text::Scorers)) + QStringLiteral("</b></font></td>"));
    w.Line(QStringLiteral("<td width=\"90\" nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>") +
           HtmlEscape(GetLangText(Text::Goals)) + QStringLiteral("</b></font></td>"));
    w.Line(QStringLiteral("           </tr>"));
    int r = 0;
    for (const QStringList& row : scorers) {
        ++r;
        const QString attribute = r % 2 == 0 ? QStringLiteral("bgcolor=\"#F4F4F4\"") : QString();
        auto cell = [&row](int c) { return c < row.size() ? HtmlEscape(row[c]) : QString(); };
        w.Line(QStringLiteral("           <tr>"));
        w.Line(QStringLiteral("<td nowrap ") + attribute +
               QStringLiteral(" ><font color=\"#0000CC\">") + cell(1) + QStringLiteral("</font> </td>"));
        w.Line(QStringLiteral("<td width=\"90\" ") + attribute +
               QStringLiteral(" ><font color=\"#0000CC\">") + cell(2) + QStringLiteral("</font></td>"));
        w.Line(QStringLiteral("           </tr>"));
    }
    w.Line(QStringLiteral("</table>"));
    w.Finish();
    return w.bytes();
}

}  // namespace app
