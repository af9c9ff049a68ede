#include "app/reports/qt/team_info_window.h"

#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QPieSeries>
#include <QShowEvent>
#include <QValueAxis>

#include "app/reports/qt/selection_panel.h"
#include "app/reports/qt/team_report_grids.h"
#include "app/reports/team_info.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_scopes.h"
#include "app/settings/session_format.h"
#include "ui_Tfinfoequipe.h"

namespace app {

namespace {

const QColor kBlue(0x00, 0x00, 0xFF), kRed(0xFF, 0x00, 0x00), kGreen(0x00, 0x80, 0x00),
    kLime(0x00, 0xFF, 0x00);

}  // namespace

Tfinfoequipe* finfoequipe() {
    static Tfinfoequipe* window = nullptr;
    if (!window) window = new Tfinfoequipe();
    return window;
}

const std::vector<WindowText>& Tfinfoequipe::Texts() {
    static const std::vector<WindowText> texts = {
        {"lchamp", Text::Championship, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"gequipe", Text::Teams, TextRole::kCaption},
        {"baffiche", Text::ViewButton, TextRole::kCaption},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::SendToPrinterHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
        {"Tfinfoequipe", Text::TeamInformationTitle, TextRole::kCaption},
    };
    return texts;
}

Tfinfoequipe::Tfinfoequipe(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfinfoequipe>()) {
    ui->setupUi(this);
    m_selection = new ReportSelectionPanel(this);
    connect(m_selection, &ReportSelectionPanel::seasonChanged, this, Guarded([this] { eanneeChange(); }));
    connect(m_selection, &ReportSelectionPanel::championshipChanged, this,
            Guarded([this] { enumchampChange(); }));
    connect(ui->baffiche, &QPushButton::clicked, this, Guarded([this] { bafficheClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    SetKeyRule(ui->eannee, KeyRule::kSeason);
    ui->bhtm->setText(QStringLiteral("HTML"));

    for (QChartView* view : charts()) {
        PrepareReportChart(view);
    }
    Series1 = new QLineSeries(ui->chartclassement->chart());
    Series1->setObjectName(QStringLiteral("Series1"));
    SetLinePoints(ui->chartclassement->chart(), Series1, {}, 1, 1, 1, 1, true);
    auto pie = [](QChartView* view, const char* name) {
        auto* series = new QPieSeries(view->chart());
        series->setObjectName(QString::fromLatin1(name));
        series->setPieSize(0.6);
        view->chart()->addSeries(series);
        view->chart()->legend()->setAlignment(Qt::AlignRight);
        return series;
    };
    PieSeries1 = pie(ui->chartmatch, "PieSeries1");
    Series3 = pie(ui->chartmatch, "Series3");
    Series2 = pie(ui->chartbut, "Series2");
    PieSeries3 = pie(ui->Chartmatchdom, "PieSeries3");
    PieSeries4 = pie(ui->Chartbutdom, "PieSeries4");
    PieSeries6 = pie(ui->Chartmatchext, "PieSeries6");
    PieSeries7 = pie(ui->Chartbutext, "PieSeries7");
    SetStripedCells(ui->grillebuteur);
    SetupScorerGrid();
    SetInfoEquipeChartTitles();
    TranslateInfoEquipeForm();
}

Tfinfoequipe::~Tfinfoequipe() = default;

QList<QChartView*> Tfinfoequipe::charts() const {
    return {ui->chartclassement, ui->chartbut,    ui->chartmatch,   ui->Chartbutdom,
            ui->Chartmatchdom,   ui->Chartbutext, ui->Chartmatchext};
}

ReportGrid* Tfinfoequipe::scorerGrid() const {
    return ui->grillebuteur;
}

void Tfinfoequipe::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfinfoequipe::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

void Tfinfoequipe::FormShow() {
    SetInfoEquipeChartTitles();
}

void Tfinfoequipe::FormActivate() {
    m_selection->busy = false;
    TranslateInfoEquipeForm();
}

void Tfinfoequipe::SetInfoEquipeChartTitles() {
    setWindowTitle(GetLangText(Text::TeamInfo));
    ui->chartclassement->chart()->setTitle(ChartText(GetLangText(Text::TeamEvolution)));
    ui->chartbut->chart()->setTitle(ChartText(GetLangText(Text::GoalsForAgainst)));
    ui->chartmatch->chart()->setTitle(ChartText(GetLangText(Text::Matches)));
    // The home and away tabs read as the general one: goals, then matches, each titled.
    for (QChartView* goals : {ui->Chartbutdom, ui->Chartbutext})
        goals->chart()->setTitle(ChartText(GetLangText(Text::GoalsForAgainst)));
    for (QChartView* matches : {ui->Chartmatchdom, ui->Chartmatchext})
        matches->chart()->setTitle(ChartText(GetLangText(Text::Matches)));
    m_selection->FillSeasonCombo();
}

void Tfinfoequipe::TranslateInfoEquipeForm() {
    ApplyWindowTexts(this, Texts());
    ui->baffiche->setToolTip(QString());
    ui->PageControl1->setTabText(0, GetLangText(Text::General));
    ui->PageControl1->setTabText(1, GetLangText(Text::Home));
    ui->PageControl1->setTabText(2, GetLangText(Text::Away));
    ui->PageControl1->setTabText(3, GetLangText(Text::Scorers));
}

void Tfinfoequipe::enumchampChange() {
    InfoEqReloadTeams();
}

void Tfinfoequipe::eanneeChange() {
    InfoEqReloadTeams();
}

void Tfinfoequipe::InfoEqReloadTeams() {
    m_selection->ReloadTeams();
}

void Tfinfoequipe::bafficheClick() {
    BusyFlag flag(m_selection->busy);
    if (!flag.entered()) return;
    HourGlass wait;
    CloseResultFormIfOpen();
    ComputeTeamInfo();
}

void Tfinfoequipe::ComputeTeamInfo() {
    const int year = IntegerOrZero(ui->eannee->currentText().left(4));
    const int championship = IntegerOrZero(ui->enumchamp->text());
    const int team = FindTeamNumber(ui->eequipe->currentText());
    // The charts and the scorers read their tables through one open each.
    LeagueReading reading;
    const TeamInfoResult info = app::ComputeTeamInfo(reading, championship, year, team);
    if (info.computed) {
        QList<ChartPoint> points;
        for (const TeamInfoPoint& p : info.points)
            points.append({double(p.x), double(p.rank), p.played ? kBlue : kLime});
        SetLinePoints(ui->chartclassement->chart(), Series1, points, 1, info.days, 1, info.teams, true);
        // Places on a chart of screen height: a label every few places, so that none overlap.
        for (QAbstractAxis* axis : ui->chartclassement->chart()->axes(Qt::Vertical))
            if (auto* places = qobject_cast<QValueAxis*>(axis))
                places->setTickInterval(std::max(1, (info.teams + 7) / 8));
        const QString goalsFor =
            Params.goalsForLabel.isEmpty() ? GetLangText(Text::GoalsForShort) : Params.goalsForLabel;
        const QString goalsAgainst = Params.goalsAgainstLabel.isEmpty() ? GetLangText(Text::GoalsAgainstShort)
                                                                        : Params.goalsAgainstLabel;
        QPieSeries* const goals[3] = {Series2, PieSeries4, PieSeries7};
        QPieSeries* const results[3] = {Series3, PieSeries3, PieSeries6};
        for (int side = 0; side < 3; ++side) {
            const TeamSideTotals& t = info.sides[static_cast<size_t>(side)];
            SetPieSlices(goals[side], {{goalsFor, double(t.goalsFor), kBlue},
                                       {goalsAgainst, double(t.goalsAgainst), kRed}});
            SetPieSlices(results[side], {{GetLangText(Text::WonShort), double(t.wins), kBlue},
                                         {GetLangText(Text::LostShort), double(t.defeats), kRed},
                                         {GetLangText(Text::DrawnShort), double(t.draws), kGreen}});
        }
    }
    for (QChartView* view : charts()) KeepChartTextsWhole(view);
    ComputeTeamScorers(reading, championship, year, team);
}

void Tfinfoequipe::SetupScorerGrid() {
    SetupReportGrid(ui->grillebuteur, {0, 275, 50},
                    {QString(), GetLangText(Text::Players), GetLangText(Text::Goals)});
}

void Tfinfoequipe::ComputeTeamScorers(LeagueReading& reading, int championship, int year, int team) {
    SetupScorerGrid();
    ShowGridRows(ui->grillebuteur,
                 TeamScorersGridRows(app::ComputeTeamScorers(reading, championship, year, team)));
}

bool Tfinfoequipe::PrintTeamInfo() {
    return PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::TeamInformationTitle));
        p.Skip(2);
        p.Heading({LabelledText(GetLangText(Text::Championship), ui->enomchamp->text()),
                   LabelledText(GetLangText(Text::Year), ui->eannee->currentText()) + QStringLiteral("   ") +
                       LabelledText(GetLangText(Text::Team), ui->eequipe->currentText())});
        p.Skip(1);
        // The place chart across the page, then each tab's two pies under its name, as the window shows them.
        p.ChartRow({ui->chartclassement->chart()}, 7.5);
        p.ChartRow({ui->chartbut->chart(), ui->chartmatch->chart()}, kPrintedChartRowCm,
                   GetLangText(Text::General));
        p.ChartRow({ui->Chartbutdom->chart(), ui->Chartmatchdom->chart()}, kPrintedChartRowCm,
                   GetLangText(Text::Home));
        p.ChartRow({ui->Chartbutext->chart(), ui->Chartmatchext->chart()}, kPrintedChartRowCm,
                   GetLangText(Text::Away));
    });
}

void Tfinfoequipe::bimpClick() {
    PrintTeamInfo();
}

void Tfinfoequipe::bhtmClick() {
    const GridRows scorers = GridDataRows(ui->grillebuteur);
    TeamInfoPageInfo info;
    info.teamText = ui->eequipe->currentText();
    info.championshipName = ui->enomchamp->text();
    info.seasonText = ui->eannee->currentText();
    ExportReportPage(this, charts(), [&](const ExportFileChoice&, const QStringList& images) {
        return ExportTeamInfoHtml(scorers, info, images);
    });
}

void Tfinfoequipe::bquitClick() {
    close();
}

}  // namespace app
