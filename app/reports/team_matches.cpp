#include "app/reports/team_matches.h"

#include "app/reports/standings.h"
#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/settings/session_format.h"

namespace app {

namespace {

// The last matchday a key of the results table can hold.
constexpr int kLastMatchday = 999;

QString markerOf(const std::string& code) {
    const QString c = QString::fromStdString(code).trimmed();
    if (c == QLatin1String("F1") || c == QLatin1String("F2")) return c;
    if (c == QLatin1String("AU")) return QStringLiteral("*");
    return {};
}

bool kept(int type, bool home, const std::optional<MatchPoints>& points) {
    switch (type) {
        case kHomeMatches:
            return home;
        case kAwayMatches:
            return !home;
        case kWonMatches:
        case kDrawnMatches:
        case kLostMatches: {
            if (!points) return false;
            const MatchOutcome own = home ? points->home.outcome : points->away.outcome;
            return own == (type == kWonMatches     ? MatchOutcome::Win
                           : type == kDrawnMatches ? MatchOutcome::Draw
                                                   : MatchOutcome::Defeat);
        }
        default:
            return true;
    }
}

}  // namespace

TeamMatchesResult ComputeTeamMatches(int championship, int year, int team, int type) {
    TeamMatchesResult out;
    if (championship < 1 || year < 1 || team < 1) return out;
    LeagueReading reading;
    ScanSeasonResults(reading, championship, year, kLastMatchday, [&](const SeasonMatch& m) {
        if (m.home != team && m.away != team) return;
        const bool home = m.home == team;
        const auto points = PointsOfResult(m.code, m.homeGoals, m.awayGoals, m.homePoints, m.awayPoints, {});
        if (!kept(type, home, points)) return;
        out.listed += 1;
        if (points) {
            const MatchOutcome own = home ? points->home.outcome : points->away.outcome;
            out.wins += own == MatchOutcome::Win;
            out.draws += own == MatchOutcome::Draw;
            out.defeats += own == MatchOutcome::Defeat;
        }
        const int goalsFor = home ? m.homeGoals : m.awayGoals;
        const int goalsAgainst = home ? m.awayGoals : m.homeGoals;
        out.goalsFor += goalsFor;
        out.goalsAgainst += goalsAgainst;
        const int d = goalsFor - goalsAgainst;
        const BiggestMatch match{m.matchday, m.home, m.homeGoals, m.awayGoals, m.away, 0};
        if (d > out.biggestWin.diff) {
            out.biggestWin = match;
            out.biggestWin.diff = d;
        }
        if (-d > out.biggestDefeat.diff) {
            out.biggestDefeat = match;
            out.biggestDefeat.diff = -d;
        }
        TeamMatchRow row;
        row.matchday = m.matchday;
        row.home = m.home;
        row.away = m.away;
        row.homeGoals = m.homeGoals;
        row.awayGoals = m.awayGoals;
        row.marker = markerOf(m.code);
        out.rows.push_back(row);
    });
    // The names of both columns, each team looked up once.
    std::vector<int> homes, aways;
    for (const TeamMatchRow& r : out.rows) {
        homes.push_back(r.home);
        aways.push_back(r.away);
    }
    const std::vector<QString> homeNames = FillStandingsTeamNames(reading, homes);
    const std::vector<QString> awayNames = FillStandingsTeamNames(reading, aways);
    for (size_t i = 0; i < out.rows.size(); ++i) {
        out.rows[i].homeName = homeNames[i];
        out.rows[i].awayName = awayNames[i];
    }
    return out;
}

GridRows TeamMatchesGridRows(const TeamMatchesResult& result) {
    GridRows rows;
    for (const TeamMatchRow& r : result.rows)
        rows.push_back({QString::number(r.matchday), r.homeName, QString::number(r.homeGoals),
                        QString::number(r.awayGoals), r.awayName, r.marker, QString::number(r.home),
                        QString::number(r.away)});
    return rows;
}

QString BiggestMatchText(const BiggestMatch& m, int team, bool win) {
    if (m.matchday == 0) return GetLangText(win ? Text::NoVictory : Text::NoDefeat);
    const QString score = QString::number(m.homeGoals) + QLatin1Char('-') + QString::number(m.awayGoals);
    const QString where = QLatin1Char('(') + GetLangText(m.home == team ? Text::Home : Text::Away) +
                          QStringLiteral(") ") + LabelledText(GetLangText(Text::Matchday), QString::number(m.matchday)) +
                          QStringLiteral("   ") + score;
    if (m.home == team)
        return where + QLatin1Char(' ') + GetLangText(Text::Against) + QLatin1Char(' ') + GetTeamName(m.away);
    return where + QStringLiteral("  ") + GetLangText(Text::Against) + QLatin1Char(' ') +
           GetTeamName(m.home) + QLatin1Char(' ');
}

QString TeamMatchesSummary(int listed) {
    return LabelledText(GetLangText(Text::TeamMatches), QString::number(listed)) + QLatin1Char('\n');
}

ReportColumns TeamMatchesColumns() {
    return {{0, GetLangText(Text::Matchday), {}, 0, 10, 35, CellAlign::None},
            {1, GetLangText(Text::Team) + QStringLiteral(" 1"), {}, 4, 10, 100, CellAlign::None},
            {2, QString(), {}, 24, 10, 35, CellAlign::Right},
            {3, QString(), {}, 27, 10, 35, CellAlign::Right},
            {4, GetLangText(Text::Team) + QStringLiteral(" 2"), {}, 30, 10, 100, CellAlign::None}};
}

QByteArray ExportTeamMatchesHtml(const GridRows& rows, const TeamMatchesPageInfo& info,
                                 const QStringList& imageNames) {
    PageOptions options = DefaultPageOptions(GetLangText(Text::MatchesTeams));
    HtmlPageWriter w(options);
    w.Begin();
    w.SubTitle(info.teamText);
    w.InfoLines({{GetLangText(Text::Championship), info.championshipName},
                 {GetLangText(Text::Year), info.seasonText},
                 {GetLangText(Text::MatchType), info.typeText}});
    const ReportColumns columns = PageColumns(TeamMatchesColumns(), rows);
    w.TableOpen();
    WriteHeaderCells(w, columns);
    int r = 0;
    for (const QStringList& row : rows) w.DataRow(++r, DataCells(columns, row));
    w.TableClose();
    w.CloseCentered();
    for (const auto& [caption, text] :
         {std::pair{info.winCaption, info.winText}, std::pair{info.defeatCaption, info.defeatText}}) {
        w.Line(QStringLiteral("<div align=\"center\"><center>"));
        w.Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\">"));
        w.Line(QStringLiteral("    <tr>"));
        w.Line(QStringLiteral("                <td nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>") +
               HtmlEscape(caption) + QStringLiteral("</b></font></td>"));
        w.Line(QStringLiteral("            </tr>"));
        w.Line(QStringLiteral("            <tr>"));
        w.Line(QStringLiteral("                <td nowrap><b>") + HtmlEscape(text) +
               QStringLiteral("</b></td>"));
        w.Line(QStringLiteral("            </tr>"));
        w.Line(QStringLiteral("        </table>"));
        w.Line(QStringLiteral("        </center></div>"));
        w.Line(QStringLiteral("<p>&nbsp;</p>"));
    }
    w.ImageRow(imageNames);
    w.Finish();
    return w.bytes();
}

}  // namespace app
