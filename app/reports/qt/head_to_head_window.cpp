#include "app/reports/qt/head_to_head_window.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QPieSeries>
#include <QScrollBar>
#include <QStackedBarSeries>

#include "app/reports/head_to_head.h"
#include "app/reports/qt/team_report_grids.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "ui_Tffaceaface.h"

namespace app {

Tffaceaface* ffaceaface() {
    static Tffaceaface* window = nullptr;
    if (!window) window = new Tffaceaface();
    return window;
}

const std::vector<WindowText>& Tffaceaface::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tffaceaface", Text::HeadToHead, TextRole::kCaption},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::SendToPrinterHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
        {"bafficher", Text::ViewButton, TextRole::kCaption},
        {"bafficher", Text::ViewMatchesHint, TextRole::kHint},
        {"bttesrenc", Text::AllHeadToHead, TextRole::kCaption},
        {"bmemeconfig", Text::SameConfigurationHeadToHead, TextRole::kCaption},
    };
    return texts;
}

Tffaceaface::Tffaceaface(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tffaceaface>()) {
    ui->setupUi(this);
    connect(ui->iequipe1, &QToolButton::clicked, this, Guarded([this] { iequipe1Click(); }));
    connect(ui->iequipe2, &QToolButton::clicked, this, Guarded([this] { iequipe2Click(); }));
    connect(ui->bafficher, &QPushButton::clicked, this, Guarded([this] { bafficherClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    ui->bhtm->setText(QStringLiteral("HTML"));

    // Chartmatch: the results pie; chartbut: the goals bars.
    for (QChartView* view : {ui->Chartmatch, ui->chartbut}) {
        PrepareReportChart(view);
    }
    Series3 = new QPieSeries(ui->Chartmatch->chart());
    Series3->setObjectName(QStringLiteral("Series3"));
    Series3->setPieSize(0.6);
    ui->Chartmatch->chart()->addSeries(Series3);
    // Below the pie, the legend leaves the width to the slices' labels, which name the teams.
    ui->Chartmatch->chart()->legend()->setAlignment(Qt::AlignBottom);
    Series1 = new QStackedBarSeries(ui->chartbut->chart());
    Series1->setObjectName(QStringLiteral("Series1"));
    SetBars(ui->chartbut->chart(), Series1, {});

    // The list over the whole width of the window, the two charts side by side below it: the list shows
    // every column, and the charts take the room a short list leaves. Fifteen meetings show without
    // scrolling on a 1024x768 screen.
    ui->grilleresultat->SetVisibleRowsAtLeast(15);
    SetStripedCells(ui->grilleresultat, {4, 5});
    TranslateFaceAFaceForm();
    // An empty list to start with: RowCount 2, row 1 empty.
    ShowGridRows(ui->grilleresultat, {});
}

Tffaceaface::~Tffaceaface() = default;

ReportGrid* Tffaceaface::grid() const {
    return ui->grilleresultat;
}

void Tffaceaface::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

void Tffaceaface::FormActivate() {
    TranslateFaceAFaceForm();
}

void Tffaceaface::TranslateFaceAFaceForm() {
    ApplyWindowTexts(this, Texts());
    ui->lequipe1->setText(GetLangText(Text::Team) + QStringLiteral(" 1"));
    ui->lequipe2->setText(GetLangText(Text::Team) + QStringLiteral(" 2"));
    // The titles only: SetupReportGrid would empty the list the charts were drawn from.
    const QStringList titles = {GetLangText(Text::Year),
                                GetLangText(Text::Championship),
                                GetLangText(Text::Matchday),
                                GetLangText(Text::Team) + QStringLiteral("1"),
                                QString(),
                                QString(),
                                GetLangText(Text::Team) + QStringLiteral("2")};
    ReportGrid& g = *ui->grilleresultat;
    if (g.ColCount() != kHeadToHeadColumns) {
        SetupReportGrid(&g, {80, 120, 50, 100, 30, 30, 100}, titles);
        return;
    }
    for (int c = 0; c < kHeadToHeadColumns; ++c) g.SetCells(c, 0, titles[c]);
}

void Tffaceaface::SetTeam(int side, int team) {
    (side == 1 ? m_team1 : m_team2) = team;
    (side == 1 ? ui->enomequipe1 : ui->enomequipe2)->setText(team ? GetTeamName(team) : QString());
}

void Tffaceaface::pickTeam(int side) {
    const int team = PickFromList(2);
    if (team != 0) SetTeam(side, team);
}

void Tffaceaface::iequipe1Click() {
    pickTeam(1);
}

void Tffaceaface::iequipe2Click() {
    pickTeam(2);
}

void Tffaceaface::bafficherClick() {
    CloseResultFormIfOpen();
    HourGlass wait;
    ComputeHeadToHead();
}

void Tffaceaface::ComputeHeadToHead() {
    // No meetings unless both teams are chosen.
    const bool both = m_team1 != 0 && m_team2 != 0;
    const int team1 = both ? m_team1 : 0, team2 = both ? m_team2 : 0;
    m_name1 = both ? ui->enomequipe1->text().trimmed() : QString();
    m_name2 = both ? ui->enomequipe2->text().trimmed() : QString();
    m_sameConfiguration = ui->bmemeconfig->isChecked();
    const HeadToHeadResult result = app::ComputeHeadToHead(team1, team2, !m_sameConfiguration);
    ShowGridRows(ui->grilleresultat, HeadToHeadGridRows(result, team1, m_name1, m_name2));
    const QColor blue(0x00, 0x00, 0xFF), red(0xFF, 0x00, 0x00), green(0x00, 0x80, 0x00);
    SetBars(ui->chartbut->chart(), Series1,
            {{m_name1, double(result.goals1), blue}, {m_name2, double(result.goals2), red}});
    SetPieSlices(Series3, {{m_name1, double(result.wins1), blue},
                           {GetLangText(Text::DrawnShort), double(result.draws), green},
                           {m_name2, double(result.wins2), red}});
    KeepChartTextsWhole(ui->chartbut);
    KeepChartTextsWhole(ui->Chartmatch);
}

bool Tffaceaface::PrintHeadToHead() {
    const GridRows rows = GridDataRows(ui->grilleresultat);
    return PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::HeadToHead));
        p.Skip(2);
        p.Heading({m_name1 + QStringLiteral(" - ") + m_name2,
                   GetLangText(m_sameConfiguration ? Text::SameConfigurationHeadToHead : Text::AllHeadToHead)});
        p.Skip(1);
        p.Columns(HeadToHeadColumns(), rows);
        p.Skip(1);
        p.ChartRow({ui->Chartmatch->chart(), ui->chartbut->chart()}, kPrintedChartRowCm);
    });
}

void Tffaceaface::bimpClick() {
    PrintHeadToHead();
}

void Tffaceaface::bhtmClick() {
    const GridRows rows = GridDataRows(ui->grilleresultat);
    ExportReportPage(this, {ui->Chartmatch, ui->chartbut},
                     [&](const ExportFileChoice&, const QStringList& images) {
                         return ExportHeadToHeadHtml(rows, m_name1, m_name2, m_sameConfiguration, images);
                     });
}

void Tffaceaface::bquitClick() {
    close();
}

}  // namespace app
