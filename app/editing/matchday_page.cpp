#include "app/editing/matchday_page.h"

#include "app/shell/html_page.h"
#include "app/shell/lang_texts.h"

namespace app {

ReportColumns MatchdayColumns() {
    const QString team = GetLangText(Text::Team);
    return {{0, team + QStringLiteral(" 1"), {}, 0, 10, 100, CellAlign::None},
            {1, QString(), {}, 20, 10, 35, CellAlign::Center},
            {2, QString(), {}, 24, 10, 35, CellAlign::Center},
            {3, team + QStringLiteral(" 2"), {}, 28, 10, 100, CellAlign::None}};
}

QByteArray MatchdayHtml(const MatchdayPage& page, int style) {
    const bool first = style != 2;
    PageOptions options = DefaultPageOptions(GetLangText(Text::MatchdayResultsTitle));
    options.titleParagraph = first;
    HtmlPageWriter w(options);
    w.Begin();
    const QString matchdayLine = HtmlEscape(GetLangText(Text::Matchday)) + QStringLiteral(" :") +
                                 HtmlEscape(page.matchday) + QStringLiteral("<br>");
    if (first) {
        w.Line(QStringLiteral("<p align=\"left\"><font size=\"2\">") +
               HtmlEscape(GetLangText(Text::Championship)) + QStringLiteral(" :") +
               HtmlEscape(page.championshipName) + QStringLiteral("<br>"));
        w.Line(HtmlEscape(GetLangText(Text::Year)) + QStringLiteral(" :") + HtmlEscape(page.seasonText) +
               QStringLiteral("<br>"));
        w.Line(matchdayLine);
        w.Line(QStringLiteral("</font></p>"));
    } else {
        w.Line(QStringLiteral("<center><font size=\"5\"><strong>") + matchdayLine);
        w.Line(QStringLiteral("</strong></font></center>"));
    }
    w.EmptyLine();
    w.Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));
    w.Line(QStringLiteral("<div align=\"center\"><center>"));
    if (first) {
        w.Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\" >"));
        w.Line(QStringLiteral("    <tr>"));
        WriteHeaderCells(w, MatchdayColumns());
    } else {
        w.Line(QStringLiteral("<table border=\"0\" cellspacing=\"0\" >"));
        w.Line(QStringLiteral("    <tr>"));
        w.Line(QStringLiteral("        <td width=\"100\" bgcolor=\"#0000FF\">&nbsp;</td>"));
        w.Line(
            QStringLiteral("        <td width=\"35\" align=\"center\" bgcolor=\"#0000FF\"><font "
                           "color=\"#0000FF\">&nbsp;</font></td>"));
        w.Line(
            QStringLiteral("        <td width=\"35\" align=\"center\" bgcolor=\"#0000FF\"><font "
                           "color=\"#0000FF\">&nbsp;</font></td>"));
        w.Line(QStringLiteral("        <td width=\"100\" bgcolor=\"#0000FF\">&nbsp;</td>"));
        w.Line(QStringLiteral("    </tr>"));
    }
    const QString centred = first ? QStringLiteral("align=\"center\" ") : QStringLiteral("align=\"center\"");
    for (size_t i = 0; i < page.rows.size(); ++i) {
        const int r = static_cast<int>(i) + 1;
        const QString attribute = r % 2 == 0 ? QStringLiteral(" bgcolor=\"#F4F4F4\" ") : QString();
        const MatchdayPageRow& row = page.rows[i];
        auto nameCell = [&](const QString& name) {
            return QStringLiteral("        <td width=\"100\" ") + attribute + QStringLiteral(" >") +
                   HtmlEscape(name) + QStringLiteral("</td>");
        };
        auto goalsCell = [&](const QString& goals) {
            return QStringLiteral("        <td width=\"35\" ") + centred + attribute + QStringLiteral(" >") +
                   HtmlEscape(goals.trimmed()) + QStringLiteral("</td>");
        };
        w.Line(QStringLiteral("<tr>"));
        w.Line(nameCell(row.homeName));
        w.Line(goalsCell(row.homeGoals));
        w.Line(goalsCell(row.awayGoals));
        w.Line(nameCell(row.awayName));
        w.Line(QStringLiteral("    </tr>"));
    }
    w.Line(QStringLiteral("</table>"));
    w.Line(QStringLiteral("</center></div>"));
    w.Finish();
    return w.bytes();
}

}  // namespace app
