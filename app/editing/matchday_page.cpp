#include "app/editing/matchday_page.h"

#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/settings/session_format.h"

namespace app {

ReportColumns MatchdayColumns() {
    const QString team = GetLangText(Text::Team);
    ReportColumns columns = {{0, team + QStringLiteral(" 1"), {}, 0, 10, 100, CellAlign::None},
                             {1, QString(), {}, 20, 10, 35, CellAlign::Center},
                             {2, QString(), {}, 24, 10, 35, CellAlign::Center},
                             {3, team + QStringLiteral(" 2"), {}, 28, 10, 100, CellAlign::None}};
    for (ReportColumn& c : columns) c.cellWidth = c.pageWidth;
    return columns;
}

namespace {

// The second style's plain blue band over the columns, in place of their titles.
void WriteBlueBand(HtmlPageWriter& w, const ReportColumns& columns) {
    w.Line(QStringLiteral("    <tr>"));
    for (const ReportColumn& c : columns) {
        // A column of names takes no width here either: it is as wide as its longest name.
        const QString width = c.align == CellAlign::None || c.pageWidth == 0
                                  ? QString()
                                  : QStringLiteral(" width=\"%1\"").arg(c.pageWidth);
        if (c.align == CellAlign::Center)
            w.Line(QStringLiteral("        <td") + width +
                   QStringLiteral(" align=\"center\" bgcolor=\"#0000FF\"><font color=\"#0000FF\">&nbsp;</font></td>"));
        else
            w.Line(QStringLiteral("        <td") + width + QStringLiteral(" bgcolor=\"#0000FF\">&nbsp;</td>"));
    }
    w.Line(QStringLiteral("    </tr>"));
}

}  // namespace

QByteArray MatchdayHtml(const MatchdayPage& page, int style) {
    const bool first = style != 2;
    PageOptions options = DefaultPageOptions(GetLangText(Text::MatchdayResultsTitle));
    options.titleParagraph = first;
    HtmlPageWriter w(options);
    w.Begin();
    const QString matchdayLine = HtmlEscape(LabelledText(GetLangText(Text::Matchday), page.matchday)) + QStringLiteral("<br>");
    if (first) {
        w.Line(QStringLiteral("<p align=\"left\"><font size=\"2\">") +
               HtmlEscape(LabelledText(GetLangText(Text::Championship), page.championshipName)) +
               QStringLiteral("<br>"));
        w.Line(HtmlEscape(LabelledText(GetLangText(Text::Year), page.seasonText)) + QStringLiteral("<br>"));
        w.Line(matchdayLine);
        w.Line(QStringLiteral("</font></p>"));
    } else {
        w.Line(QStringLiteral("<center><font size=\"5\"><strong>") + matchdayLine);
        w.Line(QStringLiteral("</strong></font></center>"));
    }
    w.EmptyLine();
    w.Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));
    w.Line(QStringLiteral("<div align=\"center\"><center>"));
    const ReportColumns columns = PageColumns(MatchdayColumns(), page.rows);
    if (first) {
        w.Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\" >"));
        w.Line(QStringLiteral("    <tr>"));
        WriteHeaderCells(w, columns);
    } else {
        w.Line(QStringLiteral("<table border=\"0\" cellspacing=\"0\" >"));
        WriteBlueBand(w, columns);
    }
    DataRowStyle rowStyle;
    rowStyle.blankAfterAlign = first;
    int r = 0;
    for (const QStringList& row : page.rows) w.DataRow(++r, DataCells(columns, row), rowStyle);
    w.Line(QStringLiteral("</table>"));
    w.Line(QStringLiteral("</center></div>"));
    w.Finish();
    return w.bytes();
}

}  // namespace app
