#include "app/reports/standings_report.h"

#include "app/shell/html_page.h"
#include "app/shell/lang_texts.h"
#include "app/shell/param_file.h"

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

QByteArray ExportStandingsHtml(const GridRows& rows, const StandingsPageInfo& info) {
    const bool standings = !rows.empty() && rows.front().size() >= kStandingsColumns;
    HtmlPageWriter w(DefaultPageOptions(GetLangText(Text::StandingsTitle)));
    w.Begin();
    w.Line(QStringLiteral("<p align=\"left\"><font size=\"2\">") +
           HtmlEscape(GetLangText(Text::Championship)) + " :" + HtmlEscape(info.championshipName) + "<br>");
    w.Line(HtmlEscape(GetLangText(Text::Year)) + " :" + HtmlEscape(info.seasonText) + "<br>");
    w.Line(HtmlEscape(GetLangText(Text::Matchday)) + " :" + HtmlEscape(info.firstDay) +
           HtmlEscape(GetLangText(Text::RangeTo)) + HtmlEscape(info.lastDay) + "<br>");
    w.Line("TYPE:" + HtmlEscape(rightTrimmed(info.sideText)) + " " +
           HtmlEscape(rightTrimmed(info.orderText)) + " </font></p>");
    w.EmptyLine();
    w.Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));

    w.TableOpen();
    if (standings || rows.empty()) {
        w.HeaderCell(10, GetLangText(Text::PositionShort));
        w.HeaderCell(100, GetLangText(Text::Teams));
        for (Text t : {Text::PointsShort, Text::PlayedShort, Text::WonShort})
            w.HeaderCell(35, GetLangText(t));
        if (!info.hideDraws) w.HeaderCell(35, GetLangText(Text::DrawnShort));
        w.HeaderCell(35, GetLangText(Text::LostShort));
        w.HeaderCell(35, GoalsForTitle());
        w.HeaderCell(35, GoalsAgainstTitle());
        w.HeaderCell(35, GetLangText(Text::DifferenceShort));
    } else {
        w.HeaderCell(100, GetLangText(Text::Scorers));
        w.HeaderCell(100, GetLangText(Text::Team));
        w.HeaderCell(35, GetLangText(Text::Goals));
    }
    w.HeaderRowEnd();
    int r = 0;
    for (const QStringList& row : rows) {
        auto cell = [&](int c) { return c < row.size() ? row[c] : QString(); };
        QList<HtmlCell> cells{HtmlCell::Number(cell(1)), HtmlCell::Text(cell(2))};
        if (standings) {
            for (int c = 3; c <= 10; ++c)
                if (!(c == 6 && info.hideDraws)) cells << HtmlCell::Centered(cell(c));
        } else {
            cells << HtmlCell::Centered(cell(3));
        }
        w.DataRow(++r, cells, DataRowStyle{true, true});
    }
    w.Line(QStringLiteral("</table>"));
    w.CloseCentered();
    w.Finish();
    return w.bytes();
}

}  // namespace app
