#include "app/reports/qt/results_grid_window.h"

#include <QPainter>
#include <QShowEvent>
#include <algorithm>

#include "app/reports/qt/selection_panel.h"
#include "app/reports/results_grid.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_scopes.h"
#include "ui_Tfgrilleresult.h"

namespace app {

namespace {

// The layout's sizes; the names' and the scores' columns grow to show whole names and titles in the
// screen font.
constexpr int kNameColumnWidth = 80;
constexpr int kScoreColumnWidth = 25;
constexpr int kTitleRowHeight = 20;
constexpr int kRowHeight = 15;

const QColor kTitleFill(0xFF, 0xCC, 0x99);
const QColor kEvenRowFill(0xE1, 0xFF, 0xF4);

}  // namespace

Tfgrilleresult* fgrilleresult() {
    static Tfgrilleresult* window = nullptr;
    if (!window) window = new Tfgrilleresult();
    return window;
}

const std::vector<WindowText>& Tfgrilleresult::Texts() {
    static const std::vector<WindowText> texts = {
        {"Tfgrilleresult", Text::ResultsGridTitle, TextRole::kCaption},
        {"gchamp", Text::Championship, TextRole::kCaption},
        {"gannee", Text::Year, TextRole::kCaption},
        {"bappelle", Text::ViewButton, TextRole::kCaption},
        {"bappelle", Text::None, TextRole::kHint, ""},
        {"bhtm", Text::ExportHtmlHint, TextRole::kHint},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"bquit", Text::CloseThisWindow, TextRole::kHint},
    };
    return texts;
}

Tfgrilleresult::Tfgrilleresult(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfgrilleresult>()) {
    ui->setupUi(this);
    m_selection = new ReportSelectionPanel(this, {"banneeprec", "banneesui"});
    SetKeyRule(ui->enumchamp, KeyRule::kDigits, 3);
    connect(ui->bappelle, &QPushButton::clicked, this, Guarded([this] { bappelleClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    ui->bhtm->setText(QStringLiteral("HTML"));
    ReportGrid* g = ui->grilleresultats;
    g->SetDrawCell([this](QPainter& p, int col, int row, const QRect& rect, GridCellState) {
        drawCell(p, col, row, rect);
    });
    g->SetFixedCols(1);
    // A square table of scores: no column is stretched to fill the width.
    g->horizontalHeader()->setStretchLastSection(false);
    g->setSelectionMode(QAbstractItemView::NoSelection);
    ResetResultsGrid();
}

Tfgrilleresult::~Tfgrilleresult() = default;

ReportGrid* Tfgrilleresult::grid() const {
    return ui->grilleresultats;
}

void Tfgrilleresult::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void Tfgrilleresult::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

void Tfgrilleresult::FormShow() {
    TranslateGrilleForm();
    ResetResultsGrid();
}

void Tfgrilleresult::FormActivate() {
    m_selection->busy = false;
}

void Tfgrilleresult::TranslateGrilleForm() {
    ApplyWindowTexts(this, Texts());
    m_selection->FillSeasonCombo();
}

void Tfgrilleresult::ResetResultsGrid() {
    ReportGrid& g = *ui->grilleresultats;
    g.SetColCount(2);
    g.SetRowCount(2);
    g.gridModel()->ClearCells();
    for (int i = 0; i < 2; ++i) {
        g.SetColWidth(i, 0);
        g.SetRowHeight(i, 0);
    }
}

// Black diagonal, data rows white (odd) and #E1FFF4 (even), titles #FFCC99 in bold.
void Tfgrilleresult::drawCell(QPainter& p, int col, int row, const QRect& rect) const {
    const bool title = row == 0 || col == 0;
    QColor fill = row % 2 ? Qt::white : kEvenRowFill;
    if (row == col) fill = Qt::black;
    if (title) fill = kTitleFill;
    p.fillRect(rect, fill);
    ReportGrid::DrawCellText(p, rect, ui->grilleresultats->Cells(col, row), title);
}

void Tfgrilleresult::BuildResultsGrid() {
    BusyFlag flag(m_selection->busy);
    if (!flag.entered()) return;
    const QString yearText = m_selection->seasonText().left(4);
    if (!IsInteger(yearText) || !IsInteger(ui->enumchamp->text())) return;
    const ResultsGridData data = ComputeResultsGrid(m_selection->championship(), m_selection->year());
    if (data.teams.empty()) {
        ResetResultsGrid();
        return;
    }
    const GridRows cells = ResultsGridCells(data);
    const int size = static_cast<int>(cells.size());
    ReportGrid& g = *ui->grilleresultats;
    g.SetColCount(size);
    g.SetRowCount(size);
    g.gridModel()->ClearCells();
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) g.SetCells(c, r, cells[static_cast<size_t>(r)][c]);

    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics titles(bold), plain(font());
    int nameWidth = kNameColumnWidth;
    int scoreWidth = std::max(kScoreColumnWidth, plain.horizontalAdvance(QStringLiteral("10-10")) + 6);
    for (int c = 1; c < size; ++c) {
        nameWidth = std::max(nameWidth, titles.horizontalAdvance(cells[static_cast<size_t>(c)][0]) + 8);
        scoreWidth = std::max(scoreWidth, titles.horizontalAdvance(cells[0][c]) + 8);
        // The short title across the column, the whole name as its hint.
        g.gridModel()->SetTitleHint(c, cells[static_cast<size_t>(c)][0]);
    }
    g.SetColWidth(0, nameWidth);
    for (int c = 1; c < size; ++c) g.SetColWidth(c, scoreWidth);
    // The window as wide as its columns, up to the screen: sideways only when the screen is too small.
    g.FitColumnsToContents();
    g.SetRowHeight(0, std::max(kTitleRowHeight, titles.height() + 6));
    const int rowHeight = std::max(kRowHeight, plain.height() + 4);
    for (int r = 1; r < size; ++r) g.SetRowHeight(r, rowHeight);
}

std::vector<QStringList> Tfgrilleresult::GridCells() const {
    const ReportGrid& g = *ui->grilleresultats;
    GridRows rows;
    for (int r = 0; r < g.RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < g.ColCount(); ++c) row << g.Cells(c, r);
        rows.push_back(row);
    }
    return rows;
}

void Tfgrilleresult::bappelleClick() {
    HourGlass wait;
    CloseResultFormIfOpen();
    BuildResultsGrid();
}

void Tfgrilleresult::bhtmClick() {
    const GridRows cells = GridCells();
    const QString name = ui->enomchamp->text(), season = ui->eannee->currentText();
    ExportReportPage(this, {}, [&](const ExportFileChoice&, const QStringList&) {
        return ExportResultsGridHtml(cells, name, season);
    });
}

void Tfgrilleresult::bquitClick() {
    close();
}

}  // namespace app
