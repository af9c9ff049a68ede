#include "app/editing/qt/match_entry_window.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/data/kept_tables.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/grid_colours.h"
#include "app/shell/qt/league_lists.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/window_guards.h"
#include "app/settings/session_format.h"
#include "engine/dataset/engine_windows.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/ui.h"
#include "ui_Tfsaimatch.h"

namespace app {

namespace {

// Goal grid columns.
enum GoalCol {
    kGPlayer = 0,
    kGType = 1,
    kGTeam = 2,
    kGMinute = 3,
    kGHomeName = 4,
    kGTypeName = 5,
    kGAwayName = 6
};
// Card grid columns.
enum CardCol { kCPlayer = 0, kCTeam = 1, kCType = 2, kCMinute = 3, kCName = 4, kCColour = 5 };
constexpr int kMinuteCol = 3;

void fillNumbers(QComboBox* combo, int first, int last) {
    const QSignalBlocker quiet(combo);
    combo->clear();
    for (int i = first; i <= last; ++i) combo->addItem(QString::number(i));
}

void setText(QComboBox* combo, const QString& text) {
    const QSignalBlocker quiet(combo);
    if (combo->isEditable())
        combo->setEditText(text);
    else
        combo->setCurrentIndex(combo->findText(text));
}

// Both grids: data rows white and $F4FFE1 alternately, fixed cells $C8B9C7, the bold columns as asked.
void paintEventCell(QPainter& p, int col, int row, const QRect& rect, GridCellState st,
                    const ReportGrid& grid, std::initializer_list<int> boldColumns) {
    QColor fill = st.fixed ? WindowsColour(kGridFixed) : WindowsColour(row % 2 ? kGridEvenRow : kGridOddRow);
    if (st.selected && !st.fixed) fill = fill.darker(112);
    p.fillRect(rect, fill);
    const bool bold =
        !st.fixed && std::find(boldColumns.begin(), boldColumns.end(), col) != boldColumns.end();
    ReportGrid::DrawCellText(p, rect, grid.Cells(col, row), bold);
}

void layOut(ReportGrid* grid, const std::vector<int>& widths) {
    grid->SetColCount(static_cast<int>(widths.size()));
    for (size_t c = 0; c < widths.size(); ++c) grid->SetColWidth(static_cast<int>(c), widths[c]);
    grid->SetRowCount(2);
    grid->gridModel()->ClearCells();
}

bool gridEmpty(const ReportGrid& grid) {
    return grid.RowCount() == 2 && grid.Cells(0, 1).isEmpty();
}

int intCell(const ReportGrid& grid, int col, int row) {
    return ParseInteger(grid.Cells(col, row)).value_or(0);
}

// Places an empty row for an event of this minute and answers its number.
int placeRow(ReportGrid& grid, int minute) {
    if (gridEmpty(grid)) {
        grid.gridModel()->ClearRow(1);
        return 1;
    }
    const int p = Tfsaimatch::FindRowByMinute(grid, minute);
    GridInsertRow(grid, p - 1);
    return p;
}

}  // namespace

Tfsaimatch* fsaimatch() {
    static Tfsaimatch* window = new Tfsaimatch();
    return window;
}

Tfsaimatch::Tfsaimatch(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfsaimatch>()) {
    ui->setupUi(this);
    for (QComboBox* c : {ui->ebeq1, ui->ebeq2, ui->Combminuteb, ui->combminutec})
        SetKeyRule(c, KeyRule::kDigits, 3);
    for (QComboBox* c : {ui->epteq1, ui->epteq2}) SetKeyRule(c, KeyRule::kDigitsAndMinus, 3);
    SetKeyRule(ui->Combjoub, KeyRule::kText, 30);
    SetKeyRule(ui->Combjouc, KeyRule::kText, 30);
    ui->sgbut->SetDrawCell([this](QPainter& p, int col, int row, const QRect& r, GridCellState st) {
        paintEventCell(p, col, row, r, st, *ui->sgbut, {kGType, kGTeam});
    });
    ui->sgcarton->SetDrawCell([this](QPainter& p, int col, int row, const QRect& r, GridCellState st) {
        paintEventCell(p, col, row, r, st, *ui->sgcarton, {kCTeam, kCType});
    });
    auto outcome = Guarded([this] { UpdateOutcomeFromScore(); });
    connect(ui->ebeq1, &QComboBox::editTextChanged, this, outcome);
    connect(ui->ebeq2, &QComboBox::editTextChanged, this, outcome);
    connect(ui->combminutec, &QComboBox::editTextChanged, this, outcome);
    connect(ui->Combtypeb, &QComboBox::currentIndexChanged, this, outcome);
    connect(ui->Combtypec, &QComboBox::currentIndexChanged, this, outcome);
    // A team change refills the player lists and empties the grids; choosing the same team again does not.
    connect(ui->eequipe1, &QComboBox::currentIndexChanged, this, Guarded([this] { RefreshMatchPlayers(); }));
    connect(ui->eequipe2, &QComboBox::currentIndexChanged, this, Guarded([this] { RefreshMatchPlayers(); }));
    connect(ui->boutajbut, &QPushButton::clicked, this, Guarded([this] { AddGoalFromInput(); }));
    connect(ui->boutAjcart, &QPushButton::clicked, this, Guarded([this] { AddCardFromInput(); }));
    connect(ui->boutsupbut, &QPushButton::clicked, this, Guarded([this] { boutsupbutClick(); }));
    connect(ui->boutSupcart, &QPushButton::clicked, this, Guarded([this] { boutSupcartClick(); }));
    connect(ui->bok, &QPushButton::clicked, this, Guarded([this] { bokClick(); }));
    connect(ui->bannule, &QPushButton::clicked, this, [this] { bannuleClick(); });
    // No button is the dialog's default: Enter adds from the inputs of its tab (keyPressEvent) and
    // nothing else, so a goal is never added twice by an Enter in the grid.
    for (QPushButton* b :
         {ui->bok, ui->bannule, ui->boutajbut, ui->boutsupbut, ui->boutAjcart, ui->boutSupcart}) {
        b->setDefault(false);
        b->setAutoDefault(false);
    }
    for (QComboBox* c : {ui->Combjoub, ui->Combminuteb, ui->Combjouc, ui->combminutec, ui->ebeq1, ui->ebeq2,
                         ui->epteq1, ui->epteq2})
        c->setInsertPolicy(QComboBox::NoInsert);
}

Tfsaimatch::~Tfsaimatch() = default;

const std::vector<WindowText>& Tfsaimatch::Texts() {
    using R = TextRole;
    static const std::vector<WindowText> texts = {
        {"Tfsaimatch", Text::MatchEntryTitle, R::kCaption},
        {"gissue", Text::MatchCharacteristics, R::kCaption},
        {"labjoueur1", Text::Player, R::kCaption},
        {"labjoueur2", Text::Player, R::kCaption},
        {"bok", Text::Ok, R::kCaption},
        {"bok", Text::ValidateMatch, R::kHint},
        {"rnul", Text::MatchDraw, R::kCaption},
        {"gautre", Text::IfOther, R::kCaption},
        {"rautre", Text::Other, R::kCaption},
        {"boutajbut", Text::AddButton, R::kCaption},
        {"boutAjcart", Text::AddButton, R::kCaption},
        {"boutsupbut", Text::DeleteButton, R::kCaption},
        {"boutSupcart", Text::DeleteButton, R::kCaption},
        {"labminute1", Text::Minute, R::kCaption},
        {"labminute2", Text::Minute, R::kCaption},
        {"bannule", Text::Cancel, R::kCaption},
        {"labtype1", Text::Type, R::kCaption},
        {"labtype2", Text::Type, R::kCaption},
        {"tabbuteur", Text::ScorersTab, R::kCaption},
        {"tabCarton", Text::CardsTab, R::kCaption},
    };
    return texts;
}

void Tfsaimatch::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    fshow();
    // The first activation builds the window; offscreen and under a test driver no activation may come,
    // so the build runs once the window is shown.
    RunGuarded([this] { factive(); });
}

void Tfsaimatch::SetResultTable(xb::TXbDbf* table) {
    m_results = table;
    m_eventTables.reset();
    if (table) RunGuarded([this] { m_eventTables = std::make_unique<KeptTableHold>(kEventTableFiles); });
}

bool Tfsaimatch::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) RunGuarded([this] { factive(); });
    return QDialog::event(e);
}

void Tfsaimatch::keyPressEvent(QKeyEvent* e) {
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return QDialog::keyPressEvent(e);
    e->accept();
    QWidget* focus = focusWidget();
    auto within = [focus](std::initializer_list<QWidget*> inputs) {
        for (QWidget* w : inputs)
            if (focus && (focus == w || w->isAncestorOf(focus))) return true;
        return false;
    };
    // Inputs emptied by the last add are no new event: an Enter more adds nothing and says nothing.
    if (within({ui->Combjoub, ui->Combminuteb, ui->Combtypeb}) &&
        !ui->Combjoub->currentText().trimmed().isEmpty())
        RunGuarded([this] { AddGoalFromInput(); });
    else if (within({ui->Combjouc, ui->combminutec, ui->Combtypec}) &&
             !ui->Combjouc->currentText().trimmed().isEmpty())
        RunGuarded([this] { AddCardFromInput(); });
}

void Tfsaimatch::factive() {
    if (!m_firstActivation) return;
    m_firstActivation = false;
    InitMatchForm();
    if (m_mode == 2 && !LoadMatchIntoForm())
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void Tfsaimatch::InitMatchForm() {
    m_building = true;
    setText(ui->epteq1, QString());
    setText(ui->epteq2, QString());
    fillNumbers(ui->epteq1, 0, 10);
    fillNumbers(ui->epteq2, 0, 10);
    setText(ui->epteq1, QString());
    setText(ui->epteq2, QString());
    fillNumbers(ui->ebeq1, 0, 10);
    fillNumbers(ui->ebeq2, 0, 10);
    setText(ui->ebeq1, QStringLiteral("0"));
    setText(ui->ebeq2, QStringLiteral("0"));
    for (QComboBox* c : {ui->eequipe1, ui->eequipe2}) {
        const QSignalBlocker quiet(c);
        c->setEnabled(true);
        c->clear();
    }
    layOut(ui->sgbut, {0, 0, 0, 40, 140, 80, 140});
    layOut(ui->sgcarton, {0, 0, 0, 40, 200, 100});
    fillNumbers(ui->Combminuteb, 1, 120);
    fillNumbers(ui->combminutec, 1, 120);
    setText(ui->Combminuteb, QString());
    setText(ui->combminutec, QString());
    {
        const QSignalBlocker quiet(ui->Combtypec);
        ui->Combtypec->clear();
        ui->Combtypec->addItems({GetLangText(Text::Yellow), GetLangText(Text::Red)});
        ui->Combtypec->setCurrentIndex(-1);
    }
    {
        const QSignalBlocker quiet(ui->Combtypeb);
        ui->Combtypeb->clear();
        for (int t = 0; t < kGoalTypeCount; ++t) ui->Combtypeb->addItem(GetLangText(kGoalTypeTexts[t]));
        ui->Combtypeb->setCurrentIndex(-1);
    }
    ApplyWindowTexts(this, Texts());
    GiveButtonMnemonics({ui->bok, ui->bannule, ui->boutajbut, ui->boutsupbut});
    GiveButtonMnemonics({ui->bok, ui->bannule, ui->boutAjcart, ui->boutSupcart});
    ui->ptitre->setText(
        LabelledText(GetLangText(Text::Championship),
                     QString::number(m_championship) + QLatin1Char(' ') + GetChampionshipName(m_championship)) +
        QStringLiteral("  ") + LabelledText(GetLangText(Text::Year), QString::number(m_year)) +
        QStringLiteral("  ") + LabelledText(GetLangText(Text::Matchday), QString::number(m_matchday)));
    ui->rv1->setText(GetLangText(Text::TeamVictory) + QStringLiteral(" 1"));
    ui->rv2->setText(GetLangText(Text::TeamVictory) + QStringLiteral(" 2"));
    ui->rforfait1->setText(GetLangText(Text::Forfeit) + QStringLiteral(" 1"));
    ui->rforfait2->setText(GetLangText(Text::Forfeit) + QStringLiteral(" 2"));
    ui->sgbut->SetCells(kGMinute, 0, GetLangText(Text::MinuteShort));
    ui->sgbut->SetCells(kGTypeName, 0, GetLangText(Text::Type));
    ui->sgcarton->SetCells(kCTeam, 0, GetLangText(Text::Player));
    ui->sgcarton->SetCells(kCMinute, 0, GetLangText(Text::MinuteShort));
    ui->sgcarton->SetCells(kCName, 0, GetLangText(Text::Player));
    ui->PageControl1->setCurrentIndex(0);
    m_shownTeams = {-1, -1};
    if (m_mode == 2) {
        FillPlayerCombos();
    } else {
        const QSignalBlocker q1(ui->eequipe1), q2(ui->eequipe2);
        FillSeasonTeams(ui->eequipe1, m_year, m_championship);
        for (int i = 0; i < ui->eequipe1->count(); ++i) ui->eequipe2->addItem(ui->eequipe1->itemText(i));
        ui->eequipe1->setCurrentIndex(ui->eequipe1->count() ? 0 : -1);
        ui->eequipe2->setCurrentIndex(ui->eequipe2->count() ? 0 : -1);
        RefreshMatchPlayers();
    }
    ResetMatchEventGrids();
    // The radio follows the score of this match, never the last match shown.
    m_lastScore.reset();
    m_loaded = LoadedMatch{};
    m_storedAtShow.clear();
    if (m_mode != 2 && m_results)
        for (const MatchdayLine& l : ReadMatchday(*m_results, m_championship, m_year, m_matchday))
            m_storedAtShow.insert({l.home, l.away});
    m_building = false;
    UpdateOutcomeFromScore();
}

bool Tfsaimatch::LoadMatchIntoForm() {
    const MatchKey key{m_championship, m_year, m_matchday, m_home, m_away};
    const std::optional<MatchRow> match = m_results ? ReadMatch(*m_results, key) : std::nullopt;
    if (!match) {
        ShowMessage(GetLangText(Text::MatchNoLongerStored), GetLangText(Text::MatchEntryTitle),
                    xb::platform::kMbIconStop);
        return false;
    }
    std::vector<QString> names;
    LoadTeamNames(names, {m_home, m_away});
    for (QComboBox* c : {ui->eequipe1, ui->eequipe2}) {
        const QSignalBlocker quiet(c);
        c->clear();
        c->addItem(names[c == ui->eequipe1 ? 0 : 1]);
        c->setCurrentIndex(0);
        c->setEnabled(false);
    }
    m_building = true;
    setText(ui->ebeq1, QString::number(match->homeGoals));
    setText(ui->ebeq2, QString::number(match->awayGoals));
    m_building = false;
    m_lastScore = std::make_pair(match->homeGoals, match->awayGoals);
    const ResultChoice choice = ChoiceOfCode(match->code);
    checkChoice(choice == ResultChoice::None ? ChoiceOfScore(match->homeGoals, match->awayGoals) : choice);
    if (choice == ResultChoice::AU) {
        setText(ui->epteq1, QString::number(match->homePoints));
        setText(ui->epteq2, QString::number(match->awayPoints));
    } else {
        setText(ui->epteq1, QString());
        setText(ui->epteq2, QString());
    }
    setGoalHeaders();
    m_loaded.row = match;
    LoadMatchGoalsGrid();
    LoadMatchCardsGrid();
    return true;
}

void Tfsaimatch::LoadMatchGoalsGrid() {
    m_loaded.goals = LoadMatchEvents(EventTable::Goals, {m_championship, m_year, m_matchday, m_home, m_away});
    for (const MatchEvent& e : m_loaded.goals) AddGoalRow(e.player, e.minute, e.type, e.team);
}

void Tfsaimatch::LoadMatchCardsGrid() {
    m_loaded.cards = LoadMatchEvents(EventTable::Cards, {m_championship, m_year, m_matchday, m_home, m_away});
    for (const MatchEvent& e : m_loaded.cards) AddCardRow(e.player, e.minute, e.type, e.team);
}

void Tfsaimatch::checkChoice(ResultChoice choice) {
    QRadioButton* radio = nullptr;
    switch (choice) {
        case ResultChoice::V1:
            radio = ui->rv1;
            break;
        case ResultChoice::V2:
            radio = ui->rv2;
            break;
        case ResultChoice::N:
            radio = ui->rnul;
            break;
        case ResultChoice::F1:
            radio = ui->rforfait1;
            break;
        case ResultChoice::F2:
            radio = ui->rforfait2;
            break;
        case ResultChoice::AU:
            radio = ui->rautre;
            break;
        case ResultChoice::None:
            break;
    }
    if (radio) radio->setChecked(true);
}

void Tfsaimatch::UpdateOutcomeFromScore() {
    if (m_building) return;
    const std::optional<int> home = ParseInteger(ui->ebeq1->currentText());
    const std::optional<int> away = ParseInteger(ui->ebeq2->currentText());
    if (!home || !away) return;
    // Only a score that really changed decides the outcome: a chosen forfeit or other outcome survives
    // leaving a box, a card minute or a goal type.
    const std::pair<int, int> score{*home, *away};
    if (m_lastScore == score) return;
    m_lastScore = score;
    checkChoice(ChoiceOfScore(*home, *away));
}

std::pair<int, int> Tfsaimatch::teams() const {
    if (m_mode == 2) return {m_home, m_away};
    return {FindTeamNumber(ui->eequipe1->currentText()), FindTeamNumber(ui->eequipe2->currentText())};
}

void Tfsaimatch::refuse(const QString& text) {
    xb::ShowDialogForm(GetLangText(Text::UnableToValidate).toStdString(), "i", text.toStdString(), "");
}

int Tfsaimatch::creditedTeam(int player, bool ownGoal) {
    const auto [home, away] = teams();
    const int team =
        CreditedTeam(PlayerInTeam(player, home, m_year), PlayerInTeam(player, away, m_year), ownGoal);
    if (team != 0) return team;
    // One caption per team, so that a name with blanks stays whole; closing the question adds nothing.
    const char answer = xb::ShowDialogFormList(
        GetLangText(Text::PlayerOnBothTeams).toStdString(), "?", GetLangText(Text::ChooseTeam).toStdString(),
        {"A-" + ui->eequipe1->currentText().toStdString(), "B-" + ui->eequipe2->currentText().toStdString()});
    if (answer == 'A' || answer == 'a') return 1;
    if (answer == 'B' || answer == 'b') return 2;
    return 0;
}

void Tfsaimatch::AddGoalFromInput() {
    const int player = FindPlayerNumber(ui->Combjoub->currentText());
    const std::optional<int> minute =
        NumberInRange(ui->Combminuteb->currentText(), kFirstMinute, kLastMinute);
    const int type = ui->Combtypeb->currentIndex();
    if (player < 1) return refuse(GetLangText(Text::Player) + QStringLiteral(" ?"));
    if (!minute) return refuse(LabelledText(GetLangText(Text::Minute), QStringLiteral("1 - 120")));
    if (type < 0) return refuse(GetLangText(Text::Type) + QStringLiteral(" ?"));
    const int team = creditedTeam(player, type == kOwnGoal);
    if (team == 0) return;
    AddGoalRow(player, *minute, type, team);
    clearGoalInputs();
}

void Tfsaimatch::clearGoalInputs() {
    setText(ui->Combjoub, QString());
    setText(ui->Combminuteb, QString());
    ui->Combtypeb->setCurrentIndex(-1);
    ui->Combjoub->setFocus();
}

void Tfsaimatch::clearCardInputs() {
    setText(ui->Combjouc, QString());
    setText(ui->combminutec, QString());
    ui->Combtypec->setCurrentIndex(-1);
    ui->Combjouc->setFocus();
}

void Tfsaimatch::AddCardFromInput() {
    const int player = FindPlayerNumber(ui->Combjouc->currentText());
    const std::optional<int> minute =
        NumberInRange(ui->combminutec->currentText(), kFirstMinute, kLastMinute);
    const int type = ui->Combtypec->currentIndex();
    if (player < 1) return refuse(GetLangText(Text::Player) + QStringLiteral(" ?"));
    if (!minute) return refuse(LabelledText(GetLangText(Text::Minute), QStringLiteral("1 - 120")));
    if (type < 0)
        return refuse(GetLangText(Text::Yellow) + QStringLiteral(" / ") + GetLangText(Text::Red) +
                      QStringLiteral(" ?"));
    const int team = creditedTeam(player, false);
    if (team == 0) return;
    AddCardRow(player, *minute, type, team);
    clearCardInputs();
}

int Tfsaimatch::FindRowByMinute(const ReportGrid& grid, int minute) {
    QStringList minutes;
    for (int r = 1; r < grid.RowCount(); ++r) minutes << grid.Cells(kMinuteCol, r);
    return app::FindRowByMinute(minutes, minute);
}

void Tfsaimatch::AddGoalRow(int player, int minute, int type, int team) {
    if (player < 1 || minute < 1) return;
    ReportGrid& g = *ui->sgbut;
    const int r = placeRow(g, minute);
    g.SetCells(kGPlayer, r, QString::number(player));
    g.SetCells(kGType, r, QString::number(type));
    g.SetCells(kGTypeName, r, GoalTypeName(type));
    g.SetCells(kGMinute, r, QString::number(minute));
    g.SetCells(kGTeam, r, QString::number(team));
    g.SetCells(team == 1 ? kGHomeName : kGAwayName, r, GetPlayerName(player));
}

void Tfsaimatch::AddCardRow(int player, int minute, int type, int team) {
    if (player < 1 || minute < 1) return;
    ReportGrid& g = *ui->sgcarton;
    const int r = placeRow(g, minute);
    g.SetCells(kCPlayer, r, QString::number(player));
    g.SetCells(kCTeam, r, QString::number(team));
    g.SetCells(kCType, r, QString::number(type));
    g.SetCells(kCMinute, r, QString::number(minute));
    g.SetCells(kCName, r, GetPlayerName(player));
    g.SetCells(kCColour, r, GetLangText(type == 0 ? Text::Yellow : Text::Red));
}

void Tfsaimatch::RefreshMatchPlayers() {
    if (m_building && m_mode == 2) return;
    const std::pair<int, int> now = teams();
    if (now == m_shownTeams) return;
    FillPlayerCombos();
    ResetMatchEventGrids();
}

void Tfsaimatch::FillPlayerCombos() {
    const auto [home, away] = teams();
    m_shownTeams = {home, away};
    for (QComboBox* c : {ui->Combjoub, ui->Combjouc}) {
        const QSignalBlocker quiet(c);
        FillTeamPlayers2(c, home, m_year, true, false);
        FillTeamPlayers2(c, away, m_year, false, false);
        c->setCurrentIndex(-1);
        c->setEditText(QString());
    }
}

void Tfsaimatch::setGoalHeaders() {
    ui->sgbut->SetCells(kGHomeName, 0, ui->eequipe1->currentText());
    ui->sgbut->SetCells(kGAwayName, 0, ui->eequipe2->currentText());
}

void Tfsaimatch::ResetMatchEventGrids() {
    for (ReportGrid* g : {ui->sgbut, ui->sgcarton}) {
        g->SetRowCount(2);
        g->gridModel()->ClearRow(1);
    }
    setGoalHeaders();
}

void Tfsaimatch::boutsupbutClick() {
    const int r = ui->sgbut->Row();
    if (r > 0) GridDeleteRow(*ui->sgbut, r);
}

void Tfsaimatch::boutSupcartClick() {
    const int r = ui->sgcarton->Row();
    if (r > 0) GridDeleteRow(*ui->sgcarton, r);
}

std::vector<MatchEvent> Tfsaimatch::SaveMatchGoals() const {
    std::vector<MatchEvent> out;
    const ReportGrid& g = *ui->sgbut;
    if (gridEmpty(g)) return out;
    for (int r = 1; r < g.RowCount(); ++r) {
        const MatchEvent e{intCell(g, kGPlayer, r), intCell(g, kGMinute, r), intCell(g, kGType, r),
                           intCell(g, kGTeam, r)};
        if (e.player > 0) out.push_back(e);
    }
    return out;
}

std::vector<MatchEvent> Tfsaimatch::SaveMatchCards() const {
    std::vector<MatchEvent> out;
    const ReportGrid& g = *ui->sgcarton;
    if (gridEmpty(g)) return out;
    for (int r = 1; r < g.RowCount(); ++r) {
        const MatchEvent e{intCell(g, kCPlayer, r), intCell(g, kCMinute, r), intCell(g, kCType, r),
                           intCell(g, kCTeam, r)};
        if (e.player > 0) out.push_back(e);
    }
    return out;
}

std::string Tfsaimatch::checkedCode(int homeGoals, int awayGoals) const {
    const std::pair<QRadioButton*, ResultChoice> radios[] = {
        {ui->rv1, ResultChoice::V1},       {ui->rv2, ResultChoice::V2},       {ui->rnul, ResultChoice::N},
        {ui->rforfait1, ResultChoice::F1}, {ui->rforfait2, ResultChoice::F2}, {ui->rautre, ResultChoice::AU}};
    ResultChoice choice = ChoiceOfScore(homeGoals, awayGoals);
    for (const auto& [radio, c] : radios)
        if (radio->isChecked()) choice = c;
    return CodeOfChoice(choice);
}

bool Tfsaimatch::ValidateAndSaveMatch() {
    const auto [home, away] = teams();
    if (home == away || home == 0 || away == 0) {
        refuse(GetLangText(Text::TeamsIncorrect));
        return false;
    }
    const std::optional<int> homeGoals = NumberInRange(ui->ebeq1->currentText(), 0, kMaxMatchGoals);
    const std::optional<int> awayGoals = NumberInRange(ui->ebeq2->currentText(), 0, kMaxMatchGoals);
    if (!homeGoals || !awayGoals) {
        refuse(GetLangText(Text::ScoreIncorrect));
        return false;
    }
    MatchRow row;
    row.championship = m_championship;
    row.year = m_year;
    row.matchday = m_matchday;
    row.home = home;
    row.away = away;
    row.homeGoals = *homeGoals;
    row.awayGoals = *awayGoals;
    row.code = checkedCode(*homeGoals, *awayGoals);
    if (row.code == "AU") {
        // An empty box counts 0; anything else must be a number the field holds.
        for (auto [box, points] :
             {std::pair{ui->epteq1, &row.homePoints}, std::pair{ui->epteq2, &row.awayPoints}}) {
            const QString text = box->currentText().trimmed();
            if (text.isEmpty()) continue;
            const std::optional<int> n = NumberInRange(text, kMinOtherPoints, kMaxOtherPoints);
            if (!n) {
                refuse(LabelledText(GetLangText(Text::Other), QStringLiteral("-99 - 999")));
                return false;
            }
            *points = *n;
        }
    }
    if (!m_results) return false;
    const std::vector<MatchEvent> goals = SaveMatchGoals();
    if (!goals.empty() && !goalsAgreeWithScore(row.homeGoals, row.awayGoals)) return false;
    LoadedMatch loaded = m_loaded;
    StoreOutcome out;
    while ((out = StoreMatch(*m_results, row, goals, SaveMatchCards(), m_mode == 2, &loaded)) ==
           StoreOutcome::Changed) {
        if (m_mode != 2 && !loaded.row && m_storedAtShow.count({home, away})) {
            // Typed again through New: the match was stored before this window opened, by anyone.
            const std::optional<MatchRow> now = ReadMatch(*m_results, {m_championship, m_year, m_matchday, home, away});
            ShowMessage(GetLangText(Text::MatchAlreadyStored).arg(now ? MatchSummary(*now) : QStringLiteral("-")),
                        GetLangText(Text::MatchEntryTitle), xb::platform::kMbIconWarning);
            return false;
        }
        if (!askSaveOver(loaded)) return false;
    }
    switch (out) {
        case StoreOutcome::Saved:
            return true;
        case StoreOutcome::Gone:
            ShowMessage(GetLangText(Text::MatchNoLongerStored), GetLangText(Text::MatchEntryTitle),
                        xb::platform::kMbIconStop);
            reject();
            return false;
        case StoreOutcome::Refused:
            refuse(GetLangText(Text::Matchday) + QStringLiteral(" ?"));
            return false;
        case StoreOutcome::LockFailed:
        case StoreOutcome::Changed:
            break;
    }
    ShowMessage(GetLangText(Text::LockFailed), GetLangText(Text::UnableToValidate),
                xb::platform::kMbIconStop);
    return false;
}

bool Tfsaimatch::goalsAgreeWithScore(int homeGoals, int awayGoals) {
    int home = 0, away = 0;
    for (const MatchEvent& e : SaveMatchGoals()) ++(e.team == 2 ? away : home);
    if (home == homeGoals && away == awayGoals) return true;
    return xb::platform::CurrentUi().messageBox(GetLangText(Text::GoalsDoNotMatchScore)
                                                    .arg(home)
                                                    .arg(away)
                                                    .arg(homeGoals)
                                                    .arg(awayGoals)
                                                    .toStdString(),
                                                GetLangText(Text::MatchEntryTitle).toStdString(),
                                                xb::platform::kMbYesNo | xb::platform::kMbIconQuestion |
                                                    xb::platform::kMbDefButton2) == xb::platform::kIdYes;
}

bool Tfsaimatch::askSaveOver(LoadedMatch& loaded) {
    const auto [home, away] = teams();
    const MatchKey key{m_championship, m_year, m_matchday, home, away};
    LoadedMatch now = ReadStoredMatch(*m_results, key);
    QString stored = QStringLiteral("-");
    if (now.row) {
        stored = QStringLiteral("%1 (%2 %3, %4 %5)")
                     .arg(MatchSummary(*now.row))
                     .arg(GetLangText(Text::ScorersTab))
                     .arg(now.goals.size())
                     .arg(GetLangText(Text::CardsTab))
                     .arg(now.cards.size());
    }
    if (AskSaveOverChanged(stored, GetLangText(Text::MatchEntryTitle))) {
        loaded = std::move(now);
        return true;
    }
    // The stored match shown in place of the one typed, to be changed from there.
    m_home = home;
    m_away = away;
    m_mode = 2;
    InitMatchForm();
    if (!LoadMatchIntoForm()) reject();
    return false;
}

void Tfsaimatch::bokClick() {
    if (ValidateAndSaveMatch()) accept();
}

QString MatchSummary(const MatchRow& m) {
    std::vector<QString> names;
    LoadTeamNames(names, {m.home, m.away});
    return QStringLiteral("%1 %2 : %3 %4").arg(names[0]).arg(m.homeGoals).arg(m.awayGoals).arg(names[1]);
}

bool CheckMatchdayInSeason(int championship, int year, int matchday) {
    const int days = GetSeasonParams(championship, year).matchdays;
    if (matchday >= 1 && matchday <= days) return true;
    xb::ShowDialogForm(
        GetLangText(Text::UnableToValidate).toStdString(), "i",
        LabelledText(GetLangText(Text::Matchday), QStringLiteral("1 - ") + QString::number(days)).toStdString(), "");
    return false;
}

bool StartMatchEntry(int year, int championship, int matchday, int home, int away, int mode) {
    if (year == 0 || championship == 0 || matchday == 0 || home == 0 || away == 0) return false;
    if (!CheckMatchdayInSeason(championship, year, matchday)) return false;
    std::unique_ptr<xb::TXbDbf> table;
    if (!OpenTable(table, "resultat.dbf")) return false;
    struct Close {
        std::unique_ptr<xb::TXbDbf>& t;
        ~Close() { CloseTable(t); }
    } close{table};
    Tfsaimatch& w = *fsaimatch();
    w.SetAnnee(year);
    w.SetNuchamp(championship);
    w.SetNujournee(matchday);
    w.SetNueq1(home);
    w.SetNueq2(away);
    w.SetMode(mode);
    w.SetResultTable(table.get());
    const int result = ShowModal(w);
    w.SetResultTable(nullptr);
    return result == QDialog::Accepted;
}

}  // namespace app
