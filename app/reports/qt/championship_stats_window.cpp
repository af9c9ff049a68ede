#include "app/reports/qt/championship_stats_window.h"

#include <QChart>
#include <QChartView>
#include <QPieSeries>
#include <QShowEvent>

#include "app/reports/championship_stats.h"
#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/gradient.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_scopes.h"
#include "app/settings/session_format.h"
#include "ui_Tfstatchamp.h"

namespace app {

namespace {

// Windows colour values of the slices: blue for the home side, red for the away side, green for draws.
constexpr unsigned kHomeColour = 0xFF0000;
constexpr unsigned kAwayColour = 0x0000FF;
constexpr unsigned kDrawColour = 0x008000;

QPieSeries* addPie(QChartView* view, const char* name) {
    PrepareReportChart(view);
    auto* series = new QPieSeries(view->chart());
    series->setObjectName(QString::fromLatin1(name));
    // Room around the pie for the slices' labels, which are elided when they do not fit.
    series->setPieSize(0.5);
    view->chart()->addSeries(series);
    return series;
}

}  // namespace

Tfstatchamp* fstatchamp() {
    static Tfstatchamp* window = nullptr;
    if (!window) window = new Tfstatchamp();
    return window;
}

const std::vector<WindowText>& Tfstatchamp::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tfstatchamp", Text::ChampionshipStatistics, TextRole::kCaption},
        {"onglet1", Text::GeneralStatistics, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"lchamp", Text::Championship, TextRole::kCaption},
        {"baffiche", Text::ViewButton, TextRole::kCaption},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::SendToPrinterHint, TextRole::kHint},
    };
    return texts;
}

Tfstatchamp::Tfstatchamp(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfstatchamp>()) {
    ui->setupUi(this);
    m_selection = new ReportSelectionPanel(this, {"SpeedButton1", "SpeedButton2"});
    SetKeyRule(ui->enumchamp, KeyRule::kDigits, 3);
    m_goals = addPie(ui->chartbut, "Series2");
    m_results = addPie(ui->chartmatch, "Series3");
    connect(ui->baffiche, &QPushButton::clicked, this, Guarded([this] { bafficheClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
}

Tfstatchamp::~Tfstatchamp() = default;

void Tfstatchamp::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfstatchamp::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

void Tfstatchamp::FormShow() {
    TranslateStatChampForm();
}

void Tfstatchamp::FormActivate() {
    m_selection->busy = false;
}

void Tfstatchamp::TranslateStatChampForm() {
    m_goals->clear();
    m_results->clear();
    ui->enumchamp->clear();
    ui->enomchamp->clear();
    m_selection->FillSeasonCombo();
    ApplyWindowTexts(this, Texts());
}

void Tfstatchamp::ComputeChampionshipStats() {
    const int year = m_selection->year(), championship = m_selection->championship();
    if (year < 1 || championship < 1) return;
    const ChampionshipStats s = app::ComputeChampionshipStats(championship, year);
    SetPieSlices(m_goals,
                 {{GetLangText(Text::GoalsHomeShort), double(s.homeGoals), ColorOfBgr(kHomeColour)},
                  {GetLangText(Text::GoalsAwayShort), double(s.awayGoals), ColorOfBgr(kAwayColour)}});
    SetPieSlices(m_results, {{GetLangText(Text::HomeWinsShort), double(s.homeWins), ColorOfBgr(kHomeColour)},
                             {GetLangText(Text::AwayWinsShort), double(s.awayWins), ColorOfBgr(kAwayColour)},
                             {GetLangText(Text::PointsDraw), double(s.draws), ColorOfBgr(kDrawColour)}});
    KeepChartTextsWhole(ui->chartbut);
    KeepChartTextsWhole(ui->chartmatch);
}

bool Tfstatchamp::PrintChampionshipStats() {
    const QString name = ui->enomchamp->text(), season = ui->eannee->currentText();
    return PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::ChampionshipStatistics));
        p.Skip(1);
        p.Heading({LabelledText(GetLangText(Text::Championship), name),
                   LabelledText(GetLangText(Text::Year), season)});
        p.Skip(1);
        p.ChartRow({ui->chartbut->chart(), ui->chartmatch->chart()}, kPrintedChartRowCm);
    });
}

void Tfstatchamp::bafficheClick() {
    BusyFlag flag(m_selection->busy);
    if (!flag.entered()) return;
    HourGlass wait;
    CloseResultFormIfOpen();
    ComputeChampionshipStats();
}

void Tfstatchamp::bimpClick() {
    PrintChampionshipStats();
}

void Tfstatchamp::bquitClick() {
    close();
}

}  // namespace app
