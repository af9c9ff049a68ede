#include "app/editing/qt/matchday_results_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "app/editing/matchday_page.h"
#include "app/editing/qt/match_entry_window.h"
#include "app/data/editing_tables.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/grid_colours.h"
#include "app/shell/qt/league_lists.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_scopes.h"
#include "app/settings/session_format.h"
#include "engine/dataset/engine_windows.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/ui.h"
#include "ui_Tfsairesultat.h"

namespace app {

namespace {

enum Col { kHome = 0, kAway = 1, kHomeName = 2, kHomeGoals = 3, kAwayGoals = 4, kAwayName = 5, kSign = 6 };

int number(const QString& text) {
    return ParseInteger(text.trimmed()).value_or(0);
}

}  // namespace

Tfsairesultat* fsairesultat() {
    static Tfsairesultat* window = new Tfsairesultat();
    return window;
}

void ShowMatchdayResults(int type) {
    Tfsairesultat* w = fsairesultat();
    // Switching mode closes the listing first: each showing opens its own table and texts.
    if (w->isVisible() && w->windowType() != type) w->close();
    w->ptypeec(type);
    w->show();
    w->raise();
    w->activateWindow();
}

Tfsairesultat::Tfsairesultat(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Tfsairesultat>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    // The season is chosen from its list (typed digits find an entry); its entries hold " - ".
    SetKeyRule(ui->ejournee, KeyRule::kDigits, 2);
    SetKeyRule(ui->enumchamp, KeyRule::kDigits, 3);
    KeepTextWhole(ui->enomchamp);
    ui->grilleresultat->SetDrawCell([this](QPainter& p, int col, int row, const QRect& r, GridCellState st) {
        QColor fill =
            st.fixed ? WindowsColour(kGridFixed) : WindowsColour(row % 2 ? kGridEvenRow : kGridOddRow);
        if (st.selected && !st.fixed) fill = fill.darker(112);
        p.fillRect(r, fill);
        ReportGrid::DrawCellText(p, r, ui->grilleresultat->Cells(col, row),
                                 !st.fixed && (col == kHomeGoals || col == kAwayGoals));
    });
    connect(ui->bafficher, &QPushButton::clicked, this, Guarded([this] { bafficherClick(); }));
    connect(ui->bnouveau, &QPushButton::clicked, this, Guarded([this] { bnouveauClick(); }));
    connect(ui->bmodif, &QPushButton::clicked, this, Guarded([this] { bmodifClick(); }));
    connect(ui->bsupprime, &QPushButton::clicked, this, Guarded([this] { bsupprimeClick(); }));
    connect(ui->bimp, &QPushButton::clicked, this, Guarded([this] { bimpClick(); }));
    connect(ui->bhtm, &QPushButton::clicked, this, Guarded([this] { bhtmClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, [this] { bquitClick(); });
    connect(ui->bchamppre, &QToolButton::clicked, this, Guarded([this] { bchamppreClick(); }));
    connect(ui->bchampsui, &QToolButton::clicked, this, Guarded([this] { bchampsuiClick(); }));
    connect(ui->inumero, &QToolButton::clicked, this, Guarded([this] { inumeroClick(); }));
    connect(ui->inom, &QToolButton::clicked, this, Guarded([this] { inomClick(); }));
    connect(ui->SpeedButton1, &QToolButton::clicked, this, Guarded([this] { SpeedButton1Click(); }));
    connect(ui->SpeedButton2, &QToolButton::clicked, this, Guarded([this] { SpeedButton2Click(); }));
    connect(ui->SpeedButton3, &QToolButton::clicked, this, Guarded([this] { SpeedButton3Click(); }));
    connect(ui->SpeedButton4, &QToolButton::clicked, this, Guarded([this] { SpeedButton4Click(); }));
    // A number typed, picked or stepped names its championship.
    connect(ui->enumchamp, &QLineEdit::textChanged, this, Guarded([this] {
                const std::optional<int> n = ParseInteger(ui->enumchamp->text().trimmed());
                ui->enomchamp->setText(n ? GetChampionshipName(*n) : QString());
                fillDayList();
            }));
    connect(ui->eannee, &QComboBox::currentIndexChanged, this, Guarded([this] {
                SeasonComboChange(ui->eannee);
                fillDayList();
            }));
    connect(ui->grilleresultat, &ReportGrid::CellDoubleClicked, this,
            Guarded([this] { grilleresultatDblClick(); }));
}

Tfsairesultat::~Tfsairesultat() = default;

const std::vector<WindowText>& Tfsairesultat::Texts() {
    using R = TextRole;
    static const std::vector<WindowText> texts = {
        {"lchamp", Text::Championship, R::kCaption},     {"gannee", Text::Year, R::kCaption},
        {"gjournee", Text::Matchday, R::kCaption},       {"bquit", Text::Quit, R::kCaption},
        {"bquit", Text::CloseThisWindow, R::kHint},      {"bimp", Text::PrintButton, R::kCaption},
        {"bimp", Text::SendToPrinterHint, R::kHint},     {"bafficher", Text::ViewButton, R::kCaption},
        {"bafficher", Text::ViewMatchdayHint, R::kHint}, {"bhtm", Text::ExportHtmlHint, R::kHint},
        {"bmodif", Text::ModifyMatchHint, R::kHint},     {"bsupprime", Text::DeleteMatchButton, R::kCaption},
        {"bsupprime", Text::DeleteMatchHint, R::kHint},  {"bnouveau", Text::NewMatchButton, R::kCaption},
        {"bnouveau", Text::AddMatchHint, R::kHint},
    };
    return texts;
}

void Tfsairesultat::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!m_open) RunGuarded([this] { FormShow(); });
}

void Tfsairesultat::closeEvent(QCloseEvent* e) {
    FormClose();
    QWidget::closeEvent(e);
}

void Tfsairesultat::FormShow() {
    HourGlass wait;
    ResultFormOpen = true;
    SetResultFormCloser([this] { close(); });
    if (!OpenResultsTable()) {
        xb::ShowDialogFormList(GetLangText(Text::ResultsOpenFailedCaption).toStdString(), "!",
                               GetLangText(Text::ResultsOpenFailed).toStdString(),
                               {GetLangText(Text::OkButton).toStdString()});
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    m_open = true;
    InitResultsForm();
}

bool Tfsairesultat::OpenResultsTable() {
    try {
        m_results = OpenEditingTable("resultat.dbf", "us1resultat");
        m_results->GoTop();
        return true;
    } catch (const std::exception&) {
        m_results.reset();
        return false;
    }
}

void Tfsairesultat::InitResultsForm() {
    ApplyWindowTexts(this, Texts());
    ReportGrid& g = *ui->grilleresultat;
    g.SetColCount(7);
    const int widths[] = {0, 0, 100, 30, 30, 100, 20};
    for (int c = 0; c < 7; ++c) g.SetColWidth(c, widths[c]);
    g.SetRowCount(2);
    g.gridModel()->ClearCells();
    g.SetCells(kHomeName, 0, GetLangText(Text::Team) + QStringLiteral(" 1"));
    g.SetCells(kAwayName, 0, GetLangText(Text::Team) + QStringLiteral(" 2"));
    m_listed.clear();
    m_listedChampionship = m_listedYear = m_listedMatchday = 0;
    {
        const QSignalBlocker quiet(ui->eannee);
        FillSeasonCombo(ui->eannee);
    }
    fillDayList();
    m_busy = false;
    const bool entry = m_type == 1;
    for (QWidget* b : {static_cast<QWidget*>(ui->bnouveau), static_cast<QWidget*>(ui->bmodif),
                       static_cast<QWidget*>(ui->bsupprime)})
        b->setVisible(entry);
    setWindowTitle(GetLangText(entry ? Text::ResultsEntryCaption : Text::ResultsViewCaption));
}

void Tfsairesultat::FormClose() {
    if (m_results) {
        try {
            m_results->Close();
        } catch (...) {
        }
        m_results.reset();
    }
    m_open = false;
    ResultFormOpen = false;
    SetResultFormCloser(nullptr);
}

int Tfsairesultat::championship() const {
    return number(ui->enumchamp->text());
}
int Tfsairesultat::year() const {
    return number(ui->eannee->currentText().left(4));
}
int Tfsairesultat::matchday() const {
    return number(ui->ejournee->currentText());
}

void Tfsairesultat::fillDayList() {
    const QSignalBlocker quiet(ui->ejournee);
    ui->ejournee->clear();
    const int c = championship(), y = year();
    if (c > 0 && y > 0) FillDayList(ui->ejournee, y, c);
}

void Tfsairesultat::showChampionship(int n) {
    {
        const QSignalBlocker quiet(ui->enumchamp);
        ui->enumchamp->setText(QString::number(n));
    }
    ui->enomchamp->setText(GetChampionshipName(n));
    fillDayList();
}

void Tfsairesultat::pickChampionship(int mode) {
    const int picked = PickFromList(mode);
    if (picked != 0) showChampionship(picked);
}

void Tfsairesultat::bchamppreClick() {
    BusyFlag busy(m_busy);
    if (!busy.entered()) return;
    const std::optional<int> n = ParseInteger(ui->enumchamp->text().trimmed());
    if (!n)
        showChampionship(1);
    else if (*n > 1)
        showChampionship(*n - 1);
}

void Tfsairesultat::bchampsuiClick() {
    BusyFlag busy(m_busy);
    if (!busy.entered()) return;
    const std::optional<int> n = ParseInteger(ui->enumchamp->text().trimmed());
    showChampionship(n ? *n + 1 : 1);
}

void Tfsairesultat::stepSeason(int step) {
    BusyFlag busy(m_busy);
    if (!busy.entered()) return;
    const int i = ui->eannee->currentIndex() + step;
    if (i < 0 || i >= ui->eannee->count()) return;
    ui->eannee->setCurrentIndex(i);  // its change refills the matchday list
}

void Tfsairesultat::stepMatchday(int step) {
    BusyFlag busy(m_busy);
    if (!busy.entered()) return;
    const std::optional<int> typed = ParseInteger(ui->ejournee->currentText().trimmed());
    const int current = typed && *typed >= 1 ? *typed - 1 : ui->ejournee->currentIndex();
    const int i = current + step;
    if (i < 0 || i >= ui->ejournee->count()) return;
    ui->ejournee->setCurrentIndex(i);
}

void Tfsairesultat::bafficherClick() {
    HourGlass wait;
    const auto c = ParseInteger(ui->enumchamp->text().trimmed());
    const auto y = ParseInteger(ui->eannee->currentText().left(4));
    const auto d = ParseInteger(ui->ejournee->currentText().trimmed());
    if (!c || !y || !d) return;
    FillMatchdayGrid(*c, *y, *d);
}

void Tfsairesultat::RefreshMatchdayGrid() {
    FillMatchdayGrid(championship(), year(), matchday());
}

void Tfsairesultat::FillMatchdayGrid(int c, int y, int d) {
    if (c == 0 || y == 0 || d == 0 || !m_results) return;
    m_listed = ReadMatchday(*m_results, c, y, d);
    m_listedChampionship = c;
    m_listedYear = y;
    m_listedMatchday = d;
    FillMatchdayTeamNames();
}

void Tfsairesultat::FillMatchdayTeamNames() {
    ReportGrid& g = *ui->grilleresultat;
    g.SetRowCount(std::max<int>(2, static_cast<int>(m_listed.size()) + 1));
    for (int r = 1; r < g.RowCount(); ++r) g.gridModel()->ClearRow(r);
    int r = 1;
    for (const MatchdayLine& l : m_listed) {
        g.SetCells(kHome, r, QString::number(l.home));
        g.SetCells(kAway, r, QString::number(l.away));
        g.SetCells(kHomeName, r, l.homeName);
        g.SetCells(kHomeGoals, r, QString::number(l.homeGoals));
        g.SetCells(kAwayGoals, r, QString::number(l.awayGoals));
        g.SetCells(kAwayName, r, l.awayName);
        g.SetCells(kSign, r, MatchdaySign(l.code));
        ++r;
    }
    g.FitColumnsToContents();
}

bool Tfsairesultat::showEntry(int mode, const MatchKey& key) {
    if (!CheckMatchdayInSeason(key.championship, key.year, key.matchday)) return false;
    Tfsaimatch& w = *fsaimatch();
    w.SetAnnee(key.year);
    w.SetNuchamp(key.championship);
    w.SetNujournee(key.matchday);
    w.SetNueq1(key.home);
    w.SetNueq2(key.away);
    w.SetResultTable(m_results.get());
    w.SetMode(mode);
    ShowModal(w);
    w.SetResultTable(nullptr);
    // The listing shown again, for the matchday the entry was made on.
    FillMatchdayGrid(key.championship, key.year, key.matchday);
    return true;
}

void Tfsairesultat::bnouveauClick() {
    const auto c = ParseInteger(ui->enumchamp->text().trimmed());
    const auto y = ParseInteger(ui->eannee->currentText().left(4));
    const auto d = ParseInteger(ui->ejournee->currentText().trimmed());
    if (!c || !y || !d) return;
    showEntry(1, {*c, *y, *d, 0, 0});
}

bool Tfsairesultat::selectedMatch(MatchKey& key) const {
    const int r = ui->grilleresultat->Row();
    if (r < 1 || r > static_cast<int>(m_listed.size())) return false;
    const MatchdayLine& l = m_listed[static_cast<size_t>(r - 1)];
    key = {m_listedChampionship, m_listedYear, m_listedMatchday, l.home, l.away};
    return true;
}

void Tfsairesultat::ModifySelectedMatch() {
    MatchKey key;
    if (!selectedMatch(key)) return;
    showEntry(2, key);
}

void Tfsairesultat::grilleresultatDblClick() {
    // In both modes: viewing hides the buttons, not the match behind a row.
    ModifySelectedMatch();
}

void Tfsairesultat::bsupprimeClick() {
    if (xb::platform::CurrentUi().messageBox(GetLangText(Text::DeleteSelectedMatch).toStdString(),
                                             GetLangText(Text::ConfirmDeletion).toStdString(),
                                             xb::platform::kMbYesNo | xb::platform::kMbIconWarning |
                                                 xb::platform::kMbDefButton2) != xb::platform::kIdYes)
        return;
    MatchKey key;
    if (!selectedMatch(key) || !m_results) return;
    HourGlass wait;
    // The match as listed: deleted only while it is stored so, or when the user says so after seeing
    // what another station stored since.
    MatchRow listed = MatchRowOfLine(key.championship, key.year, key.matchday,
                                     m_listed[static_cast<size_t>(ui->grilleresultat->Row() - 1)]);
    MatchDeleteOutcome out;
    while ((out = DeleteListedMatch(*m_results, listed)) == MatchDeleteOutcome::Changed) {
        const std::optional<MatchRow> now = ReadMatch(*m_results, key);
        if (!now) {
            out = MatchDeleteOutcome::Gone;
            break;
        }
        if (!AskDeleteOverChanged(MatchSummary(*now), windowTitle())) break;
        listed = *now;
    }
    switch (out) {
        case MatchDeleteOutcome::Deleted:
        case MatchDeleteOutcome::Changed:  // kept, as the user chose: the listing shows it as stored
            break;
        case MatchDeleteOutcome::Gone:
            ShowMessage(GetLangText(Text::MatchNoLongerStored), windowTitle(), xb::platform::kMbIconStop);
            break;
        case MatchDeleteOutcome::LockFailed:
            ShowMessage(GetLangText(Text::LockFailed), GetLangText(Text::UnableToValidate),
                        xb::platform::kMbIconStop);
            break;
    }
    FillMatchdayGrid(key.championship, key.year, key.matchday);
}

std::vector<QStringList> Tfsairesultat::listedRows() const {
    const ReportGrid& g = *ui->grilleresultat;
    std::vector<QStringList> rows;
    for (int r = 1; r < g.RowCount(); ++r)
        rows.push_back(
            {g.Cells(kHomeName, r), g.Cells(kHomeGoals, r), g.Cells(kAwayGoals, r), g.Cells(kAwayName, r)});
    return rows;
}

void Tfsairesultat::relistForOutput() {
    // The listed matchday read again: a printout or a page shows the matches as stored now, under the
    // selection they were listed for (the fields may have changed since without a "View").
    if (m_listedChampionship) FillMatchdayGrid(m_listedChampionship, m_listedYear, m_listedMatchday);
}

QString Tfsairesultat::listedSeasonText() const {
    return m_listedYear ? QStringLiteral("%1 - %2").arg(m_listedYear).arg(m_listedYear + 1) : ui->eannee->currentText();
}

QString Tfsairesultat::listedMatchdayText() const {
    return m_listedMatchday ? QString::number(m_listedMatchday) : ui->ejournee->currentText();
}

void Tfsairesultat::PrintMatchday() {
    relistForOutput();
    const QString name = GetChampionshipName(m_listedChampionship ? m_listedChampionship : championship());
    PrintReport([&](PrintLayout& p) {
        p.Title(GetLangText(Text::MatchdayResultsTitle));
        p.Skip(2);
        p.Heading({LabelledText(GetLangText(Text::Championship), name),
                   LabelledText(GetLangText(Text::Year), listedSeasonText()), QString(),
                   LabelledText(GetLangText(Text::Matchday), listedMatchdayText())});
        p.Skip(1);
        p.Columns(MatchdayColumns(), listedRows());
    });
}

bool Tfsairesultat::ExportMatchdayHtml(const QString& fullPath, int style) {
    relistForOutput();
    MatchdayPage page;
    page.championshipName = GetChampionshipName(m_listedChampionship ? m_listedChampionship : championship());
    page.seasonText = listedSeasonText();
    page.matchday = listedMatchdayText();
    page.rows = listedRows();
    ExportFileChoice target;
    const QFileInfo info(fullPath);
    target.fullPath = fullPath;
    target.directory = info.absolutePath() + QLatin1Char('/');
    target.fileName = info.fileName();
    target.type = style;
    HourGlass wait;
    return WriteReportPage(
        target, {}, [&](const ExportFileChoice&, const QStringList&) { return MatchdayHtml(page, style); });
}

void Tfsairesultat::bhtmClick() {
    ExportFileChoice choice;
    if (!ChooseExportFile(true, choice, this)) return;
    ExportMatchdayHtml(choice.fullPath, choice.type);
}

}  // namespace app
