#include "app/reports/standings_report.h"

#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "app/settings/session_format.h"

namespace app {

namespace {

QString rightTrimmed(QString s) {
    while (s.endsWith(QLatin1Char(' '))) s.chop(1);
    return s;
}

}  // namespace

GridRows StandingsGridRows(const StandingsResult& result, int sortType) {
    GridRows rows;
    const bool all = sortType == kOrderPoints || sortType < 0 || sortType > kOrderDefeats;
    auto shown = [&](bool on, int v) { return on ? QString::number(v) : QString(); };
    int position = 0;
    for (const StandingsRow& r : result.rows) {
        const StandingsCounters& c = r.c;
        rows.push_back({QString::number(r.team), QString::number(++position), r.name,
                        QString::number(c.points), QString::number(c.played),
                        shown(all || sortType == kOrderWins, c.wins),
                        shown(all || sortType == kOrderDraws, c.draws),
                        shown(all || sortType == kOrderDefeats, c.defeats),
                        shown(all || sortType == kOrderAttack, c.goalsFor),
                        shown(all || sortType == kOrderDefence, c.goalsAgainst), shown(all, c.diff())});
    }
    return rows;
}

GridRows ScorersGridRows(const std::vector<ScorerRow>& scorers) {
    GridRows rows;
    for (const ScorerRow& s : scorers)
        rows.push_back({QString::number(s.player), s.name, s.teamName, QString::number(s.goals)});
    return rows;
}

QString GoalsForTitle() {
    return Params.goalsForLabel.isEmpty() ? GetLangText(Text::GoalsForShort) : Params.goalsForLabel;
}

QString GoalsAgainstTitle() {
    return Params.goalsAgainstLabel.isEmpty() ? GetLangText(Text::GoalsAgainstShort)
                                              : Params.goalsAgainstLabel;
}

namespace {
// "1 to 38"; one end alone when the other is missing, and "none" for a season without matchdays.
QString dayRange(const QString& first, const QString& last) {
    const QString a = first.trimmed(), b = last.trimmed();
    if (a.isEmpty() && b.isEmpty()) return GetLangText(Text::NoMatchdays);
    if (a.isEmpty() || b.isEmpty()) return a + b;
    return a + GetLangText(Text::RangeTo) + b;
}
}  // namespace

QStringList StandingsInfoTexts(const StandingsPageInfo& info) {
    return {LabelledText(GetLangText(Text::Championship), info.championshipName),
            LabelledText(GetLangText(Text::Year), info.seasonText),
            LabelledText(GetLangText(Text::Matchday), dayRange(info.firstDay, info.lastDay)),
            LabelledText(GetLangText(Text::MatchType),
                         rightTrimmed(info.sideText) + QLatin1Char(' ') + rightTrimmed(info.orderText))};
}

ReportColumns StandingsColumns(bool scorers) {
    if (scorers)
        return {{1, GetLangText(Text::Scorers), {}, 0, 10, 100, CellAlign::Right},
                {2, GetLangText(Text::Team), {}, 23, 10, 100, CellAlign::None},
                {3, GetLangText(Text::Goals), {}, 43, 10, 35, CellAlign::Center}};
    ReportColumns columns = {{1, GetLangText(Text::PositionShort), {}, 0, 10, 10, CellAlign::Right},
                             {2, GetLangText(Text::Teams), {}, 3, 10, 100, CellAlign::None},
                             {3, GetLangText(Text::PointsShort), {}, 23, 10, 35, CellAlign::Center},
                             {4, GetLangText(Text::PlayedShort), {}, 26, 10, 35, CellAlign::Center},
                             {5, GetLangText(Text::WonShort), {}, 29, 10, 35, CellAlign::Center}};
    const std::pair<int, QString> rest[] = {{6, GetLangText(Text::DrawnShort)},
                                            {7, GetLangText(Text::LostShort)},
                                            {8, GoalsForTitle()},
                                            {9, GoalsAgainstTitle()},
                                            {10, GetLangText(Text::DifferenceShort)}};
    int units = 32;
    for (const auto& [column, title] : rest) {
        // The one place the draws are hidden: screen, printout and page follow this list.
        if (column == 6 && HideDrawsFlag == 1) continue;
        columns.append({column, title, {}, units, 10, 35, CellAlign::Center});
        units += 3;
    }
    return columns;
}

QByteArray ExportStandingsHtml(const GridRows& rows, const StandingsPageInfo& info) {
    const bool standings = rows.empty() || rows.front().size() >= kStandingsColumns;
    HtmlPageWriter w(DefaultPageOptions(GetLangText(Text::StandingsTitle)));
    w.Begin();
    const QStringList lines = StandingsInfoTexts(info);
    for (qsizetype i = 0; i < lines.size(); ++i)
        w.Line((i == 0 ? QStringLiteral("<p align=\"left\"><font size=\"2\">") : QString()) +
               HtmlEscape(lines[i]) +
               (i + 1 < lines.size() ? QStringLiteral("<br>") : QStringLiteral(" </font></p>")));
    w.EmptyLine();
    w.Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));

    const ReportColumns columns = PageColumns(StandingsColumns(!standings), rows);
    w.TableOpen();
    WriteHeaderCells(w, columns);
    int r = 0;
    for (const QStringList& row : rows) w.DataRow(++r, DataCells(columns, row), DataRowStyle{true, true});
    w.Line(QStringLiteral("</table>"));
    w.CloseCentered();
    w.Finish();
    return w.bytes();
}

}  // namespace app
