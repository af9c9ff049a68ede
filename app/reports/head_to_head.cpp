#include "app/reports/head_to_head.h"

#include <map>

#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/match_points.h"
#include "engine/dataset/xb_vfile_dataset.h"

namespace app {

namespace {

int nextTableNumber() {
    static int n = 0;
    return ++n % 100000;
}

}  // namespace

HeadToHeadTable::HeadToHeadTable() : m_table(std::make_unique<xb::TXbVFile>()) {
    m_table->Name = "vtabmatch" + std::to_string(nextTableNumber());
    m_table->SetDbfFileName("vtabmatch");
    m_table->DbfFields = {"annee,N,4,0", "nuchamp,N,5,0", "nujournee,N,3,0", "nueq1,N,5,0",
                          "nueq2,N,5,0", "b1,N,5,0",      "b2,N,5,0",        "ctri,C,12,0"};
    m_table->Open();
}

HeadToHeadTable::~HeadToHeadTable() {
    try {
        m_table->Close();
    } catch (...) {
        // Nothing of a work table outlives it.
    }
}

void HeadToHeadTable::AddHeadToHeadRow(int year, int championship, int matchday, int home, int away,
                                       int homeGoals, int awayGoals) {
    xb::TXbVFile& t = *m_table;
    t.Append();
    t.FieldByName("annee").SetAsInteger(year);
    t.FieldByName("nuchamp").SetAsInteger(championship);
    t.FieldByName("nujournee").SetAsInteger(matchday);
    t.FieldByName("nueq1").SetAsInteger(home);
    t.FieldByName("nueq2").SetAsInteger(away);
    t.FieldByName("b1").SetAsInteger(homeGoals);
    t.FieldByName("b2").SetAsInteger(awayGoals);
    t.FieldByName("ctri").SetAsString(PadNum(year, 4) + PadNum(championship, 3) + PadNum(matchday, 3));
    t.Post();
    ++m_rows;
}

std::string HeadToHeadTable::XbVFile1KeyMaker() {
    if (m_sortField.empty()) return "NO KEY";
    return m_table->FieldByName(m_sortField).GetAsString();
}

std::vector<HeadToHeadRow> HeadToHeadTable::SortedRows(LeagueReading& reading) {
    std::vector<HeadToHeadRow> rows;
    if (m_rows == 0) return rows;
    xb::TXbVFile& t = *m_table;
    m_sortField = "ctri";
    t.KeyMaker = [this] { return XbVFile1KeyMaker(); };
    t.SetAppendMode(xb::LStatusType::ASCENDING);
    std::vector<int> championships;
    for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
        HeadToHeadRow r;
        r.year = t.FieldGetInt("annee");
        r.championship = t.FieldGetInt("nuchamp");
        r.matchday = t.FieldGetInt("nujournee");
        r.home = t.FieldGetInt("nueq1");
        r.away = t.FieldGetInt("nueq2");
        r.homeGoals = t.FieldGetInt("b1");
        r.awayGoals = t.FieldGetInt("b2");
        championships.push_back(r.championship);
        rows.push_back(r);
    }
    // A championship table that cannot be opened leaves the names empty.
    std::vector<QString> names(rows.size());
    try {
        reading.ChampionshipNames(names, championships);
    } catch (...) {
    }
    for (size_t i = 0; i < rows.size(); ++i) rows[i].championshipName = names[i];
    return rows;
}

HeadToHeadResult ComputeHeadToHead(int team1, int team2, bool bothDirections) {
    HeadToHeadResult out;
    if (team1 < 1 || team2 < 1) return out;
    HeadToHeadTable vtabmatch;
    LeagueReading reading;
    // Pass 1: team 1 at home; pass 2: team 2 at home (not again when both are the same team).
    const int passes = bothDirections && team1 != team2 ? 2 : 1;
    for (int pass = 1; pass <= passes; ++pass) {
        const int home = pass == 1 ? team1 : team2, away = pass == 1 ? team2 : team1;
        xb::TXbDbf& t = reading.Table("resultat.dbf", "EQ1EQ2");
        ForEachRow(t, NumberKey({{home, 5}, {away, 5}}),
                   "nueq1=" + std::to_string(home) + " .AND. nueq2=" + std::to_string(away), [&] {
                       const int homeGoals = t.FieldGetInt("BEQ1"), awayGoals = t.FieldGetInt("BEQ2");
                       vtabmatch.AddHeadToHeadRow(t.FieldGetInt("ANNEE"), t.FieldGetInt("NUCHAMP"),
                                                  t.FieldGetInt("NUJOURNEE"), home, away, homeGoals,
                                                  awayGoals);
                       const auto points = PointsOfResult(t.FieldGetStr("CODER"), homeGoals, awayGoals,
                                                          t.FieldGetInt("PTEQ1"), t.FieldGetInt("PTEQ2"), {});
                       if (points) {
                           const MatchOutcome o = points->home.outcome;
                           if (o == MatchOutcome::Draw)
                               out.draws += 1;
                           else if ((o == MatchOutcome::Win) == (pass == 1))
                               out.wins1 += 1;
                           else
                               out.wins2 += 1;
                       }
                       out.goals1 += pass == 1 ? homeGoals : awayGoals;
                       out.goals2 += pass == 1 ? awayGoals : homeGoals;
                   });
    }
    out.rows = vtabmatch.SortedRows(reading);
    return out;
}

GridRows HeadToHeadGridRows(const HeadToHeadResult& result, int team1, const QString& name1,
                            const QString& name2) {
    GridRows rows;
    for (const HeadToHeadRow& r : result.rows) {
        const bool firstAtHome = r.home == team1;
        rows.push_back({QString::number(r.year) + QLatin1Char(':') + QString::number(r.year + 1),
                        r.championshipName, QString::number(r.matchday), firstAtHome ? name1 : name2,
                        QString::number(r.homeGoals), QString::number(r.awayGoals),
                        firstAtHome ? name2 : name1});
    }
    return rows;
}

ReportColumns HeadToHeadColumns() {
    ReportColumns columns = {
        {0, GetLangText(Text::Year), {}, 0, 10, 50, CellAlign::None},
        {1, GetLangText(Text::Championship), {}, 5, 10, 100, CellAlign::None},
        {2, GetLangText(Text::Matchday), GetLangText(Text::MatchdayShort), 20, 10, 35, CellAlign::Right},
        {3, GetLangText(Text::Team) + QStringLiteral(" 1"), {}, 23, 10, 100, CellAlign::None},
        {4, QString(), {}, 43, 10, 35, CellAlign::Right},
        {5, QString(), {}, 46, 10, 35, CellAlign::Right},
        {6, GetLangText(Text::Team) + QStringLiteral(" 2"), {}, 49, 10, 100, CellAlign::None}};
    columns[3].trim = true;
    return columns;
}

QByteArray ExportHeadToHeadHtml(const GridRows& rows, const QString& name1, const QString& name2,
                                bool sameConfiguration, const QStringList& imageNames) {
    PageOptions options = DefaultPageOptions(GetLangText(Text::HeadToHead));
    options.writeHeader = false;
    HtmlPageWriter w(options);
    w.Begin();
    w.SubTitle(name1 + QStringLiteral(" - ") + name2);
    w.Line(
        QStringLiteral("<p align=\"center\"><font size=\"3\">") +
        HtmlEscape(GetLangText(sameConfiguration ? Text::SameConfigurationHeadToHead : Text::AllHeadToHead)) +
        QStringLiteral("</font></p>"));
    w.Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));
    w.TableOpen();
    const ReportColumns columns = PageColumns(HeadToHeadColumns(), rows);
    WriteHeaderCells(w, columns, HeaderCellStyle::LightBlue);
    int r = 0;
    for (const QStringList& row : rows) w.DataRow(++r, DataCells(columns, row), DataRowStyle{false, false});
    w.TableClose();
    w.ImageRow(imageNames);
    w.Finish();
    return w.bytes();
}

}  // namespace app
