#include "app/reports/qt/prevision_window.h"

#include <QChart>
#include <QChartView>
#include <QPieSeries>
#include <QShowEvent>

#include "app/reports/prevision.h"
#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/gradient.h"
#include "app/shell/qt/league_lists.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "ui_Tfprevision.h"

namespace app {

namespace {

// Windows colour values of the slices: team 1 blue, the draw green, team 2 red.
constexpr unsigned kTeam1Colour = 0xFF0000;
constexpr unsigned kDrawColour = 0x008000;
constexpr unsigned kTeam2Colour = 0x0000FF;

}  // namespace

Tfprevision* fprevision() {
    static Tfprevision* window = nullptr;
    if (!window) window = new Tfprevision();
    return window;
}

// The team labels (text 139 + " 1" and " 2") are set beside the table.
const std::vector<WindowText>& Tfprevision::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tfprevision", Text::Forecast, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"gsysteme", Text::ForecastType, TextRole::kCaption},
        {"gchamp", Text::Championship, TextRole::kCaption},
        {"gjournee", Text::Matchday, TextRole::kCaption},
        {"bafficher", Text::ViewButton, TextRole::kCaption},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::SendToPrinterHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
    };
    return texts;
}

Tfprevision::Tfprevision(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfprevision>()) {
    ui->setupUi(this);
    // The season buttons of this window have no action.
    m_selection = new ReportSelectionPanel(this, {nullptr, nullptr, "cannee"});
    SetKeyRule(ui->enumchamp, KeyRule::kDigits, 3);
    SetKeyRule(ui->cjournee, KeyRule::kDigits, 2);
    PrepareReportChart(ui->chartprevision);
    m_series = new QPieSeries(ui->chartprevision->chart());
    m_series->setObjectName(QStringLiteral("Series2"));
    m_series->setPieSize(0.6);
    ui->chartprevision->chart()->addSeries(m_series);
    connect(m_selection, &ReportSelectionPanel::championshipChanged, this,
            Guarded([this] { enumchampChange(); }));
    connect(m_selection, &ReportSelectionPanel::seasonChanged, this, Guarded([this] { canneeChange(); }));
    connect(ui->bafficher, &QPushButton::clicked, this, Guarded([this] { bafficherClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
}

Tfprevision::~Tfprevision() = default;

void Tfprevision::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfprevision::FormShow() {
    TranslatePrevisionForm();
}

void Tfprevision::TranslatePrevisionForm() {
    ApplyWindowTexts(this, Texts());
    ui->lequipe1->setText(GetLangText(Text::Team) + QStringLiteral(" 1"));
    ui->lequipe2->setText(GetLangText(Text::Team) + QStringLiteral(" 2"));
    m_selection->FillSeasonCombo();
    m_series->clear();
    ui->ctypeprevision->clear();
    for (Text t : {Text::ForecastSeasonMatches, Text::ForecastHeadToHead, Text::ForecastSeasonAndHeadToHead})
        ui->ctypeprevision->addItem(GetLangText(t));
    ui->ctypeprevision->setCurrentIndex(0);
}

void Tfprevision::enumchampChange() {
    PrevisionReloadTeams();
    FillPrevisionDays();
}

void Tfprevision::canneeChange() {
    // The panel has already made the chosen season the current one.
    PrevisionReloadTeams();
    FillPrevisionDays();
}

void Tfprevision::PrevisionReloadTeams() {
    for (QComboBox* box : {ui->eequipe1, ui->eequipe2}) {
        box->setEnabled(true);
        box->clear();
    }
    const int championship = m_selection->championship(), year = m_selection->year();
    if (championship < 1 || year < 1) return;
    FillSeasonTeams(ui->eequipe1, year, championship);
    FillSeasonTeams(ui->eequipe2, year, championship);
}

void Tfprevision::FillPrevisionDays() {
    ui->cjournee->clear();
    if (!IsInteger(ui->enumchamp->text()) || !IsInteger(m_selection->seasonText().left(4))) return;
    FillDayList(ui->cjournee, m_selection->year(), m_selection->championship());
}

void Tfprevision::ComputePrevision() {
    PrevisionRequest r;
    const QString yearText = m_selection->seasonText().left(4), championshipText = ui->enumchamp->text();
    if (IsInteger(yearText) && IsInteger(championshipText)) {
        r.year = IntegerOrZero(yearText);
        r.championship = IntegerOrZero(championshipText);
    }
    r.matchday = IntegerOrZero(ui->cjournee->currentText());
    r.team1 = FindTeamNumber(ui->eequipe1->currentText());
    r.team2 = FindTeamNumber(ui->eequipe2->currentText());
    r.method = ui->ctypeprevision->currentIndex() + 1;
    const std::optional<PrevisionPercent> p = app::ComputePrevision(r);
    if (!p) return;
    const std::array<QString, 3> shown = PercentTexts(*p);
    SetPieSlices(m_series, {{GetTeamName(r.team1), p->team1, ColorOfBgr(kTeam1Colour), shown[0]},
                            {GetLangText(Text::DrawnShort), p->draw, ColorOfBgr(kDrawColour), shown[1]},
                            {GetTeamName(r.team2), p->team2, ColorOfBgr(kTeam2Colour), shown[2]}});
    KeepChartTextsWhole(ui->chartprevision);
}

void Tfprevision::bafficherClick() {
    HourGlass wait;
    CloseResultFormIfOpen();
    ComputePrevision();
}

void Tfprevision::bquitClick() {
    close();
}

}  // namespace app
