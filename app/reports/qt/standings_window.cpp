#include "app/reports/qt/standings_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QShowEvent>

#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/gradient.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_scopes.h"
#include "ui_Tfclassement.h"

namespace app {

namespace {

// Screen widths are the layout's widths scaled to the screen font, so that the titles fit.
constexpr int kStandingsWidths[kStandingsColumns] = {0, 25, 100, 25, 25, 25, 25, 25, 25, 25, 25};
constexpr Text kStandingsTitles[kStandingsColumns] = {
    Text::None,          Text::PositionShort,     Text::Teams,          Text::PointsShort,
    Text::PlayedShort,   Text::WonShort,          Text::DrawnShort,     Text::LostShort,
    Text::GoalsForShort, Text::GoalsAgainstShort, Text::DifferenceShort};
constexpr int kScorersWidths[kScorersColumns] = {0, 130, 130, 50};
constexpr Text kScorersTitles[kScorersColumns] = {Text::None, Text::Scorers, Text::Team, Text::Goals};

}  // namespace

Tfclassement* fclassement() {
    static Tfclassement* window = nullptr;
    if (!window) window = new Tfclassement();
    return window;
}

const std::vector<WindowText>& Tfclassement::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tfclassement", Text::StandingsTitle, TextRole::kCaption},
        {"lchamp", Text::Championship, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"gjournee", Text::Matchday, TextRole::kCaption},
        {"bappelleclassement", Text::ViewButton, TextRole::kCaption},
        {"bappelleclassement", Text::ViewStandingsHint, TextRole::kHint},
        {"bimp", Text::PrintButton, TextRole::kCaption},
        {"bimp", Text::PrintStandingsHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseWindowHint, TextRole::kHint},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
        {"ljourdeb", Text::FirstMatchday, TextRole::kCaption},
        {"ljourfin", Text::LastMatchday, TextRole::kCaption},
        {"gtype", Text::Type, TextRole::kCaption},
    };
    return texts;
}

Tfclassement::Tfclassement(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfclassement>()) {
    ui->setupUi(this);
    m_selection = new ReportSelectionPanel(this, {"banneeprec", "banneesui"});
    connect(m_selection, &ReportSelectionPanel::seasonChanged, this, Guarded([this] { eanneeChange(); }));
    connect(m_selection, &ReportSelectionPanel::championshipChanged, this,
            Guarded([this] { enumchampChange(); }));
    connect(ui->bappelleclassement, &QPushButton::clicked, this,
            Guarded([this] { bappelleclassementClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    connect(ui->grilleclassement, &ReportGrid::CellDoubleClicked, this,
            Guarded([this] { grilleclassementDblClick(); }));
    SetKeyRule(ui->eannee, KeyRule::kSeason);
    SetKeyRule(ui->ejournee1, KeyRule::kDigits, 2);
    SetKeyRule(ui->ejournee2, KeyRule::kDigits, 2);
    ui->bhtm->setText(QStringLiteral("HTML"));

    // grilleclassementDrawCell: data rows alternately white and $F4FFE1, the selection $C8B9C7.
    ReportGrid* g = ui->grilleclassement;
    g->SetDrawCell([g](QPainter& p, int col, int row, const QRect& rect, GridCellState st) {
        const QColor fill =
            row == 0 || st.selected ? ColorOfBgr(0xC8B9C7) : ColorOfBgr(row % 2 ? 0xFFFFFF : 0xF4FFE1);
        p.fillRect(rect, fill);
        ReportGrid::DrawCellText(p, rect, g->Cells(col, row));
    });
    ui->grilleclassement->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->grilleclassement->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A championship of 20 teams reads without scrolling.
    ui->grilleclassement->SetVisibleRowsAtLeast(20);
    SetupStandingsGrid();
}

Tfclassement::~Tfclassement() = default;

ReportGrid* Tfclassement::grid() const {
    return ui->grilleclassement;
}

void Tfclassement::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfclassement::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

// verifnum: the season and matchday boxes take digits and backspace only.
void Tfclassement::FormShow() {
    InitStandingsForm();
    SetupStandingsGrid();
}

void Tfclassement::FormActivate() {
    m_selection->busy = false;
}

void Tfclassement::InitStandingsForm() {
    ApplyWindowTexts(this, Texts());
    m_selection->FillSeasonCombo();
    const QSignalBlocker q1(ui->ctypecla1), q2(ui->ctypecla2);
    ui->ctypecla1->clear();
    for (Text t : {Text::AllMatches, Text::HomeMatches, Text::AwayMatches})
        ui->ctypecla1->addItem(GetLangText(t));
    ui->ctypecla2->clear();
    for (Text t : {Text::OrderNormal, Text::OrderAttack, Text::OrderDefence, Text::Wins, Text::Draws,
                   Text::Defeats, Text::ScorersOrder})
        ui->ctypecla2->addItem(GetLangText(t));
    ui->ctypecla1->setCurrentIndex(0);
    ui->ctypecla2->setCurrentIndex(0);
}

void Tfclassement::SetupStandingsGrid() {
    ReportGrid& g = *ui->grilleclassement;
    const double scale = std::max(1.0, fontMetrics().horizontalAdvance(QStringLiteral("DIFF")) / 22.0);
    g.SetColCount(kStandingsColumns);
    // Rows of another order (or of a season no longer chosen) never stand under these titles: the grid
    // is empty until it is filled.
    g.SetRowCount(2);
    // The screen shows the columns the printout and the page show.
    QList<int> shown;
    for (const ReportColumn& c : StandingsColumns(false)) shown.append(c.column);
    for (int c = 0; c < kStandingsColumns; ++c) {
        g.SetColWidth(c, shown.contains(c) ? static_cast<int>(kStandingsWidths[c] * scale) : 0);
        const QString title = c == 8   ? GoalsForTitle()
                              : c == 9 ? GoalsAgainstTitle()
                              : c == 0 ? QString()
                                       : GetLangText(kStandingsTitles[c]);
        g.SetCells(c, 0, title);
    }
    g.gridModel()->ClearRow(1);
    g.FitColumnsToContents();
}

void Tfclassement::SetupStandingsScorersGrid() {
    ReportGrid& g = *ui->grilleclassement;
    const double scale = std::max(1.0, fontMetrics().horizontalAdvance(QStringLiteral("DIFF")) / 22.0);
    g.SetColCount(kScorersColumns);
    g.SetRowCount(2);
    for (int c = 0; c < kScorersColumns; ++c) {
        g.SetColWidth(c, static_cast<int>(kScorersWidths[c] * scale));
        g.SetCells(c, 0, c == 0 ? QString() : GetLangText(kScorersTitles[c]));
    }
    g.gridModel()->ClearRow(1);
    g.FitColumnsToContents();
}

void Tfclassement::inomClick() {
    m_selection->inomClick();
}

void Tfclassement::eanneeChange() {
    FillStandingsDayLists();
}

void Tfclassement::enumchampChange() {
    FillStandingsDayLists();
}

void Tfclassement::FillStandingsDayLists() {
    const int c = m_selection->championship(), y = m_selection->year();
    ui->ejournee1->clear();
    ui->ejournee2->clear();
    if (!IsInteger(ui->enumchamp->text()) || !IsInteger(m_selection->seasonText().left(4))) return;
    const QStringList days = DayListEntries(y, c);
    ui->ejournee1->addItems(days);
    ui->ejournee2->addItems(days);
    ui->ejournee1->setCurrentIndex(days.isEmpty() ? -1 : 0);
    ui->ejournee2->setCurrentIndex(static_cast<int>(days.size()) - 1);
}

void Tfclassement::bappelleclassementClick() {
    HourGlass wait;
    CloseResultFormIfOpen();
    ShowStandings();
}

void Tfclassement::fillGrid(const GridRows& rows) {
    ReportGrid& g = *ui->grilleclassement;
    g.SetRowCount(std::max(2, static_cast<int>(rows.size()) + 1));
    g.gridModel()->ClearRow(1);
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) g.SetCells(c, static_cast<int>(r) + 1, rows[r][c]);
    g.FitColumnsToContents();
}

void Tfclassement::ShowStandings() {
    BusyFlag flag(m_selection->busy);
    if (!flag.entered()) return;
    const QString yearText = m_selection->seasonText().left(4);
    const QString first = ui->ejournee1->currentText(), last = ui->ejournee2->currentText();
    if (!IsInteger(yearText) || !IsInteger(ui->enumchamp->text()) || !IsInteger(first) || !IsInteger(last))
        return;
    StandingsRequest request;
    request.championship = IntegerOrZero(ui->enumchamp->text());
    request.year = IntegerOrZero(yearText);
    request.firstDay = IntegerOrZero(first);
    request.lastDay = IntegerOrZero(last);
    request.side = std::max(0, ui->ctypecla1->currentIndex());
    request.sortType = std::max(0, ui->ctypecla2->currentIndex());
    if (request.sortType == kOrderScorers) {
        SetupStandingsScorersGrid();
        ShowScorersTable(BuildScorersTable(request));
        return;
    }
    SetupStandingsGrid();
    fillGrid(StandingsGridRows(ComputeStandingsGrid(request), request.sortType));
}

void Tfclassement::ShowScorersTable(const std::vector<ScorerRow>& scorers) {
    fillGrid(ScorersGridRows(scorers));
}

void Tfclassement::grilleclassementDblClick() {
    ReportGrid& g = *ui->grilleclassement;
    const int r = g.Row();
    if (r < 1 || r >= g.RowCount() - 1) return;
    g.gridModel()->SwapRows(r, r + 1, {1});
}

GridRows Tfclassement::GridContents() const {
    const ReportGrid& g = *ui->grilleclassement;
    GridRows rows;
    for (int r = 1; r < g.RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < g.ColCount(); ++c) row << g.Cells(c, r);
        rows.push_back(row);
    }
    return rows;
}

StandingsPageInfo Tfclassement::PageInfo() const {
    StandingsPageInfo info;
    info.championshipName = ui->enomchamp->text();
    info.seasonText = ui->eannee->currentText();
    info.firstDay = ui->ejournee1->currentText();
    info.lastDay = ui->ejournee2->currentText();
    info.sideText = ui->ctypecla1->currentText();
    info.orderText = ui->ctypecla2->currentText();
    return info;
}

bool Tfclassement::PrintStandings() {
    const GridRows rows = GridContents();
    const bool scorers = ui->grilleclassement->ColCount() < 6;
    const QStringList info = StandingsInfoTexts(PageInfo());
    return PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::StandingsTitle));
        p.Skip(2);
        // What the list shows, so that two printouts are told apart.
        p.Heading(info);
        p.Skip(1);
        p.Columns(StandingsColumns(scorers), rows);
    });
}

void Tfclassement::bimpClick() {
    PrintStandings();
}

void Tfclassement::bhtmClick() {
    const GridRows rows = GridContents();
    const StandingsPageInfo info = PageInfo();
    ExportReportPage(this, {}, [&](const ExportFileChoice&, const QStringList&) {
        return ExportStandingsHtml(rows, info);
    });
}

void Tfclassement::bquitClick() {
    close();
}

}  // namespace app
