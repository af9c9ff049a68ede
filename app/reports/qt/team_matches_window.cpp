#include "app/reports/qt/team_matches_window.h"

#include <QBarSeries>
#include <QChart>
#include <QChartView>
#include <QPieSeries>
#include <QShowEvent>
#include <QStackedBarSeries>

#include "app/reports/qt/selection_panel.h"
#include "app/reports/qt/team_report_grids.h"
#include "app/reports/team_matches.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/settings/session_format.h"
#include "ui_Tfmatcheq.h"

namespace app {

Tfmatcheq* fmatcheq() {
    static Tfmatcheq* window = nullptr;
    if (!window) window = new Tfmatcheq();
    return window;
}

const std::vector<WindowText>& Tfmatcheq::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tfmatcheq", Text::MatchesTeams, TextRole::kCaption},
        {"libplusgrandvictg", Text::BiggestVictory, TextRole::kCaption},
        {"libplusgranddefg", Text::BiggestDefeat, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"gequipe", Text::Team, TextRole::kCaption},
        {"gtype", Text::MatchType, TextRole::kCaption},
        {"lchamp", Text::Championship, TextRole::kCaption},
        {"baffiche", Text::ViewButton, TextRole::kCaption},
        {"baffiche", Text::ViewMatchesHint, TextRole::kHint},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::SendToPrinterHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
    };
    return texts;
}

Tfmatcheq::Tfmatcheq(QWidget* parent) : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfmatcheq>()) {
    ui->setupUi(this);
    startMatchEntry = OpenMatch;
    m_selection = new ReportSelectionPanel(this);
    connect(m_selection, &ReportSelectionPanel::seasonChanged, this, Guarded([this] { eanneeChange(); }));
    connect(m_selection, &ReportSelectionPanel::championshipChanged, this,
            Guarded([this] { enumchampChange(); }));
    connect(ui->baffiche, &QPushButton::clicked, this, Guarded([this] { bafficheClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    connect(ui->grilleresultat, &ReportGrid::CellDoubleClicked, this,
            Guarded([this] { grilleresultatDblClick(); }));
    SetKeyRule(ui->eannee, KeyRule::kSeason);
    ui->bhtm->setText(QStringLiteral("HTML"));
    ui->epgdvict->setWordWrap(true);
    ui->epgddef->setWordWrap(true);
    // The count ends with a line feed: room for two lines.
    ui->lresum->setMinimumHeight(2 * ui->lresum->fontMetrics().lineSpacing() + 4);

    // Chartmatch: the results pie (and a bar series that stays empty); Chart1: the goals bars.
    for (QChartView* view : {ui->Chartmatch, ui->Chart1}) {
        PrepareReportChart(view);
    }
    Series2 = new QPieSeries(ui->Chartmatch->chart());
    Series2->setObjectName(QStringLiteral("Series2"));
    Series2->setPieSize(0.6);
    ui->Chartmatch->chart()->addSeries(Series2);
    ui->Chartmatch->chart()->legend()->setAlignment(Qt::AlignRight);
    BarSeries1 = new QBarSeries(ui->Chartmatch->chart());
    BarSeries1->setObjectName(QStringLiteral("BarSeries1"));
    Series1 = new QStackedBarSeries(ui->Chart1->chart());
    Series1->setObjectName(QStringLiteral("Series1"));
    SetBars(ui->Chart1->chart(), Series1, {});

    SetStripedCells(ui->grilleresultat, {2, 3});
    TranslateMatchEqForm();
}

Tfmatcheq::~Tfmatcheq() = default;

ReportGrid* Tfmatcheq::grid() const {
    return ui->grilleresultat;
}

void Tfmatcheq::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfmatcheq::FormShow() {
    TranslateMatchEqForm();
}

void Tfmatcheq::TranslateMatchEqForm() {
    Series2->clear();
    Series1->clear();
    ui->Chart1->chart()->setTitle(QString());
    ui->lresum->clear();
    ui->epgdvict->clear();
    ui->epgddef->clear();
    ApplyWindowTexts(this, Texts());
    ui->PageControl1->setTabText(0, GetLangText(Text::TeamMatches));
    ui->PageControl1->setTabText(1, GetLangText(Text::General));
    SetupReportGrid(ui->grilleresultat, {25, 100, 30, 30, 100, 20, 0, 0},
                    {GetLangText(Text::MatchdayShort), GetLangText(Text::Team) + QStringLiteral(" 1"),
                     QString(), QString(), GetLangText(Text::Team) + QStringLiteral(" 2")});
    m_selection->FillSeasonCombo();
    const QSignalBlocker block(ui->ctypematch);
    ui->ctypematch->clear();
    for (Text t :
         {Text::AllMatches, Text::HomeMatches, Text::AwayMatches, Text::Wins, Text::Draws, Text::Defeats})
        ui->ctypematch->addItem(GetLangText(t));
    ui->ctypematch->setCurrentIndex(0);
}

void Tfmatcheq::enumchampChange() {
    MatchEqReloadTeams();
}

void Tfmatcheq::eanneeChange() {
    MatchEqReloadTeams();
}

void Tfmatcheq::MatchEqReloadTeams() {
    m_selection->ReloadTeams();
}

void Tfmatcheq::bafficheClick() {
    HourGlass wait;
    CloseResultFormIfOpen();
    ShowTeamMatches();
}

void Tfmatcheq::ShowTeamMatches() {
    const int championship = IntegerOrZero(ui->enumchamp->text());
    const int year = IntegerOrZero(ui->eannee->currentText().left(4));
    const int team = FindTeamNumber(ui->eequipe->currentText());
    if (championship >= 1 && year >= 1 && team >= 1)
        ComputeTeamMatches(championship, year, team, std::max(0, ui->ctypematch->currentIndex()));
}

void Tfmatcheq::ComputeTeamMatches(int championship, int year, int team, int type) {
    const TeamMatchesResult result = app::ComputeTeamMatches(championship, year, team, type);
    ShowGridRows(ui->grilleresultat, TeamMatchesGridRows(result));
    ui->epgddef->setText(BiggestMatchText(result.biggestDefeat, team, false));
    ui->epgdvict->setText(BiggestMatchText(result.biggestWin, team, true));
    ui->lresum->setText(TeamMatchesSummary(result.listed));
    const QColor blue(0x00, 0x00, 0xFF), red(0xFF, 0x00, 0x00), green(0x00, 0x80, 0x00);
    SetBars(ui->Chart1->chart(), Series1,
            {{GetLangText(Text::GoalsForShort), double(result.goalsFor), blue},
             {GetLangText(Text::GoalsAgainstShort), double(result.goalsAgainst), red}});
    SetPieSlices(Series2, {{GetLangText(Text::WonShort), double(result.wins), blue},
                           {GetLangText(Text::DrawnShort), double(result.draws), green},
                           {GetLangText(Text::LostShort), double(result.defeats), red}});
    KeepChartTextsWhole(ui->Chartmatch);
    KeepChartTextsWhole(ui->Chart1);
}

void Tfmatcheq::OpenSelectedMatch() {
    const int championship = IntegerOrZero(ui->enumchamp->text());
    const int year = IntegerOrZero(ui->eannee->currentText().left(4));
    ReportGrid& g = *ui->grilleresultat;
    const int r = g.Row();
    if (r <= 0) return;
    startMatchEntry(year, championship, IntegerOrZero(g.Cells(0, r)), IntegerOrZero(g.Cells(6, r)),
                    IntegerOrZero(g.Cells(7, r)), 2);
}

void Tfmatcheq::grilleresultatDblClick() {
    OpenSelectedMatch();
    bafficheClick();
}

bool Tfmatcheq::PrintTeamMatches() {
    const GridRows rows = GridDataRows(ui->grilleresultat);
    return PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::MatchesTeams));
        p.Skip(2);
        p.Heading({LabelledText(GetLangText(Text::Championship), ui->enomchamp->text()),
                   LabelledText(GetLangText(Text::Year), ui->eannee->currentText()) + QStringLiteral("   ") +
                       LabelledText(GetLangText(Text::Team), ui->eequipe->currentText()) + QStringLiteral("   ") +
                       LabelledText(GetLangText(Text::MatchType), ui->ctypematch->currentText())});
        p.Skip(1);
        p.Columns(TeamMatchesColumns(), rows);
        p.Skip(1);
        p.ChartRow({ui->Chartmatch->chart(), ui->Chart1->chart()}, kPrintedChartRowCm);
    });
}

void Tfmatcheq::bimpClick() {
    PrintTeamMatches();
}

void Tfmatcheq::bhtmClick() {
    const GridRows rows = GridDataRows(ui->grilleresultat);
    TeamMatchesPageInfo info;
    info.teamText = ui->eequipe->currentText();
    info.championshipName = ui->enomchamp->text();
    info.seasonText = ui->eannee->currentText();
    info.typeText = ui->ctypematch->currentText();
    info.winCaption = ui->libplusgrandvictg->text();
    info.winText = ui->epgdvict->text();
    info.defeatCaption = ui->libplusgranddefg->text();
    info.defeatText = ui->epgddef->text();
    ExportReportPage(this, {ui->Chartmatch, ui->Chart1},
                     [&](const ExportFileChoice&, const QStringList& images) {
                         return ExportTeamMatchesHtml(rows, info, images);
                     });
}

void Tfmatcheq::bquitClick() {
    close();
}

}  // namespace app
