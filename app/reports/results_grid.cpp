#include "app/reports/results_grid.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <map>

#include "app/reports/standings.h"
#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/settings/session_format.h"

namespace app {

namespace {

// The highest matchday the results table's key holds (three digits).
constexpr int kLastMatchday = 999;

// The name written downwards: each letter as the reader sees it (a letter with its accents, a character
// outside the basic plane), escaped, followed by a line break.
QString downwardName(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) return QStringLiteral("&nbsp;");
    QString out;
    QTextBoundaryFinder letters(QTextBoundaryFinder::Grapheme, trimmed);
    qsizetype from = 0;
    while (letters.toNextBoundary() != -1) {
        const qsizetype to = letters.position();
        out += HtmlEscape(trimmed.mid(from, to - from)) + QStringLiteral("<br>");
        from = to;
    }
    return out;
}

}  // namespace

ResultsGridData FillResultsGridTeams(LeagueReading& reading, int year, int championship) {
    ResultsGridData grid;
    for (int team : reading.SeasonTeams(year, championship))
        if (team > 0 && std::find(grid.teams.begin(), grid.teams.end(), team) == grid.teams.end())
            grid.teams.push_back(team);
    grid.names = FillStandingsTeamNames(reading, grid.teams);
    grid.scores.assign(grid.teams.size(), std::vector<QString>(grid.teams.size()));
    return grid;
}

void FillResultsGridScores(LeagueReading& reading, ResultsGridData& grid, int year, int championship) {
    if (grid.teams.empty()) return;
    std::map<int, size_t> place;
    for (size_t i = 0; i < grid.teams.size(); ++i) place[grid.teams[i]] = i;
    ScanSeasonResults(reading, championship, year, kLastMatchday, [&](const SeasonMatch& m) {
        const auto home = place.find(m.home), away = place.find(m.away);
        if (home == place.end() || away == place.end()) return;
        grid.scores[home->second][away->second] =
            QString::number(m.homeGoals) + QLatin1Char('-') + QString::number(m.awayGoals);
    });
}

ResultsGridData ComputeResultsGrid(int championship, int year) {
    LeagueReading reading;
    ResultsGridData grid = FillResultsGridTeams(reading, year, championship);
    FillResultsGridScores(reading, grid, year, championship);
    return grid;
}

QString ShortTeamName(const QString& name) {
    static const QRegularExpression words(QStringLiteral("[\\s\\-/]+"));
    QString initials;
    QStringList parts = name.trimmed().split(words, Qt::SkipEmptyParts);
    for (const QString& word : parts)
        for (const QChar c : word)
            if (c.isLetterOrNumber()) {
                initials += c.toUpper();
                break;
            }
    if (initials.size() >= 2) return initials.left(4);
    // One word: its first letters.
    QString letters;
    for (const QChar c : name)
        if (c.isLetterOrNumber() && letters.size() < 3) letters += c.toUpper();
    return letters;
}

QStringList ShortTeamNames(const std::vector<QString>& names) {
    QStringList out;
    for (const QString& name : names) {
        const QString first = ShortTeamName(name);
        QString shortName = first;
        for (int k = 2; out.contains(shortName); ++k) shortName = first + QString::number(k);
        out << shortName;
    }
    return out;
}

GridRows ResultsGridCells(const ResultsGridData& grid) {
    const int n = static_cast<int>(grid.teams.size());
    GridRows cells(static_cast<size_t>(n) + 1, QStringList(n + 1));
    const QStringList titles = ShortTeamNames(grid.names);
    for (int i = 1; i <= n; ++i) {
        const QString& name = grid.names[static_cast<size_t>(i - 1)];
        cells[0][i] = titles[i - 1];
        cells[static_cast<size_t>(i)][0] = name;
        for (int j = 1; j <= n; ++j)
            cells[static_cast<size_t>(i)][j] =
                grid.scores[static_cast<size_t>(i - 1)][static_cast<size_t>(j - 1)];
    }
    return cells;
}

QByteArray ExportResultsGridHtml(const GridRows& cells, const QString& championshipName,
                                 const QString& seasonText) {
    PageOptions options = DefaultPageOptions(GetLangText(Text::ResultsGridTitle));
    options.writeHeader = false;
    HtmlPageWriter w(options);
    w.Begin();
    w.Line(QStringLiteral("<p align=\"left\"><font size=\"2\">") +
           HtmlEscape(LabelledText(GetLangText(Text::Championship), championshipName)) + QStringLiteral("<br>"));
    w.Line(HtmlEscape(LabelledText(GetLangText(Text::Year), seasonText)) + QStringLiteral("<br></font></p>"));
    w.Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\">"));
    for (size_t r = 0; r < cells.size(); ++r) {
        w.Line(QStringLiteral("<tr>"));
        for (qsizetype c = 0; c < cells[r].size(); ++c) {
            QString colour;
            if (r >= 1 && c >= 1 && r % 2 == 0) colour = QStringLiteral(" bgcolor=\"#B0F9C6\"");
            if (static_cast<qsizetype>(r) == c) colour = QStringLiteral(" bgcolor=\"#000000\"");
            if (r == 0 || c == 0) colour = QStringLiteral(" bgcolor=\"#F0DF09\"");
            const QString align = r == 0 ? QStringLiteral(" valign=\"top\"") : QString();
            QString content;
            if (cells[r][c].isEmpty())
                content = QStringLiteral("&nbsp;");
            else if (r == 0)
                content = downwardName(static_cast<size_t>(c) < cells.size() &&
                                               !cells[static_cast<size_t>(c)].isEmpty()
                                           ? cells[static_cast<size_t>(c)][0]
                                           : QString());
            else
                content = HtmlEscape(cells[r][c]);
            w.Line(QStringLiteral("        <td nowrap align=\"right\"") + colour + align + QStringLiteral(" >") +
                   content + QStringLiteral("</td>"));
        }
        w.Line(QStringLiteral("    </tr>"));
    }
    w.Line(QStringLiteral("</table>"));
    w.Finish();
    return w.bytes();
}

}  // namespace app
