#include "app/editing/qt/team_window.h"

#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "app/data/editing_tables.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/league_lists.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/window_guards.h"
#include "engine/dataset/engine_windows.h"
#include "platform/ui.h"
#include "ui_Tfgestequipe.h"

namespace app {

Tfgestequipe::Tfgestequipe(QWidget* parent) : BrowseWindow(parent), ui(std::make_unique<Ui::Tfgestequipe>()) {
    ui->setupUi(this);
    bindStandardControls();
    SetKeyRule(ui->enom, KeyRule::kText, kTeamNameWidth);
    ui->ljoueurequipe->setSortingEnabled(true);
    connect(ui->bnouveau, &QPushButton::clicked, this, Guarded([this] { bnouveauClick(); }));
    connect(ui->bmodif, &QPushButton::clicked, this, Guarded([this] { bmodifClick(); }));
    connect(ui->bsupprime, &QPushButton::clicked, this, Guarded([this] { bsupprimeClick(); }));
    connect(ui->inumero, &QToolButton::clicked, this, Guarded([this] { inumeroClick(); }));
    connect(ui->inom, &QToolButton::clicked, this, Guarded([this] { inomClick(); }));
    connect(ui->bajoutejoueur, &QPushButton::clicked, this, Guarded([this] { bajoutejoueurClick(); }));
    connect(ui->bsuppjoueur, &QPushButton::clicked, this, Guarded([this] { bsuppjoueurClick(); }));
}

Tfgestequipe::~Tfgestequipe() = default;

const std::vector<WindowText>& Tfgestequipe::Texts() {
    using R = TextRole;
    static const std::vector<WindowText> texts = {
        {"Tfgestequipe", Text::TeamsManagement, R::kCaption},
        {"lnum", Text::NumberLabel, R::kCaption},
        {"lnom", Text::Name, R::kCaption},
        {"bannule", Text::Cancel, R::kCaption},
        {"bannule", Text::CancelEditHint, R::kHint},
        {"bnouveau", Text::NewButton, R::kCaption},
        {"bnouveau", Text::CreateTeamHint, R::kHint},
        {"bsupprime", Text::DeleteMatchButton, R::kCaption},
        {"bsupprime", Text::DeleteTeamHint, R::kHint},
        {"bpremier", Text::GoFirstHint, R::kHint},
        {"bprecedent", Text::GoPreviousHint, R::kHint},
        {"bsuivant", Text::GoNextHint, R::kHint},
        {"bdernier", Text::GoLastHint, R::kHint},
        {"bquit", Text::Quit, R::kCaption},
        {"bquit", Text::CloseWindowHint, R::kHint},
        {"eonglet1", Text::Players, R::kCaption},
        {"gannee", Text::Year, R::kCaption},
    };
    return texts;
}

void Tfgestequipe::TranslateForm() {
    ApplyWindowTexts(this, Texts());
}

bool Tfgestequipe::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) RunGuarded([this] { FormActivate(); });
    return BrowseWindow::event(e);
}

std::unique_ptr<xb::TXbDbf> Tfgestequipe::openTable() {
    return OpenEditingTable("equipe.dbf", "uge1equip");
}

void Tfgestequipe::prepareShow() {
    fillSeasonCombo();
    TranslateForm();
    m_pending.clear();
    xb::TXbDbf& t = *table();
    t.GoTop();
    t.SetOrderToTag("NOMEQUIPE");
    if (hasRecords()) {
        GoTo(1);
    } else {
        ShowTeam();
    }
    SetViewMode();
}

int Tfgestequipe::shownNumber() const {
    return ParseInteger(ui->enumero->text()).value_or(0);
}

void Tfgestequipe::ShowTeam() {
    xb::TXbDbf* t = table();
    const bool any = hasRecords();
    ui->enumero->setText(any ? QString::number(t->FieldGetInt("NUEQUIPE")) : QString());
    m_shownName = any ? QString::fromStdString(t->FieldGetStr("NOMEQUIPE")).trimmed() : QString();
    ui->enom->setText(m_shownName);
    fillSquad(false);
}

void Tfgestequipe::fillSquad(bool pending) {
    ui->ljoueurequipe->clear();
    const int year = seasonYear();
    const int team = shownNumber();
    if (!year || !team) return;
    if (pending) {
        for (int player : m_pending.players(year))
            new NumberedListItem(NumberedEntry(GetPlayerName(player), player), ui->ljoueurequipe);
        ui->ljoueurequipe->sortItems();
        return;
    }
    FillTeamPlayers(ui->ljoueurequipe, team, year, true, true);
}

void Tfgestequipe::seasonChanged() {
    // While editing, the number and name typed stay: only the squad follows the season.
    if (editing()) {
        fillSquad(mode() == 'C');
    } else {
        ShowTeam();
    }
}

int Tfgestequipe::NextTeamNumber() {
    xb::TXbDbf& t = *table();
    const int shown = hasRecords() ? t.FieldGetInt("NUEQUIPE") : 0;
    const int next = NextNumberProposal(t, kTeamNumbers);
    if (shown) t.Find(std::to_string(shown));
    t.SetOrderToTag("NOMEQUIPE");
    return next;
}

bool Tfgestequipe::seekNumber(int n, bool numberOrder) {
    xb::TXbDbf& t = *table();
    t.SetOrderToTag("NUMERO");
    const bool found = n > 0 && t.Find(std::to_string(n));
    if (!numberOrder) t.SetOrderToTag("NOMEQUIPE");
    return found;
}

void Tfgestequipe::bnouveauClick() {
    const int number = NextTeamNumber();
    if (number == 0) {
        ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Teams)).arg(kTeamNumbers.max),
                    GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
        return;
    }
    setMode('C');
    m_pending.clear();
    SetEditMode();
    // A proposal: the number stored is taken under the append lock at OK.
    ui->enumero->setText(QString::number(number));
    ui->enom->clear();
    fillSquad(true);
}

void Tfgestequipe::bmodifClick() {
    if (!hasRecords()) return;
    setMode('M');
    SetEditMode();
}

void Tfgestequipe::SetEditMode() {
    BrowseWindow::SetEditMode();
    ui->inumero->setVisible(false);
    ui->inom->setVisible(false);
    ui->enom->setEnabled(true);
    ui->bajoutejoueur->setVisible(true);
    ui->bsuppjoueur->setVisible(true);
}

void Tfgestequipe::SetViewMode() {
    BrowseWindow::SetViewMode();
    for (QToolButton* b : {ui->inumero, ui->inom}) {
        b->setVisible(true);
        b->setEnabled(true);
    }
    ui->enom->setEnabled(false);
    ui->bajoutejoueur->setVisible(false);
    ui->bsuppjoueur->setVisible(false);
    m_pending.clear();
}

bool Tfgestequipe::CheckTeamName() {
    const QString name = StoredName(ui->enom->text());
    const int own = mode() == 'M' ? shownNumber() : 0;
    const NameVerdict verdict = JudgeName(name, own, name.isEmpty() ? 0 : FindTeamNumber(name));
    if (verdict == NameVerdict::kAccepted) return true;
    const QString why = verdict == NameVerdict::kTaken ? GetLangText(Text::TeamExists)
                                                       : GetLangText(Text::Name) + QStringLiteral(" ?");
    xb::ShowDialogForm(GetLangText(Text::UnableToValidate).toStdString(), "!", why.toStdString(), "Ok");
    return false;
}

bool Tfgestequipe::Save() {
    return CheckTeamName() && SaveTeam();
}

bool Tfgestequipe::SaveTeam() {
    const QString name = StoredName(ui->enom->text());
    xb::TXbDbf& t = *table();
    int team = shownNumber();
    if (mode() == 'C') {
        const CreatedTeam created = CreateTeamWithSquad(t, name, m_pending);
        if (!created.number) {
            if (LastWriteRefusal().kind == WriteRefusal::Kind::kNumbersExhausted) {
                ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Teams)).arg(kTeamNumbers.max),
                            GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
            } else {
                ShowWriteRefused();
            }
            return false;
        }
        team = created.number;
        m_pending.clear();
        // The team stands; a squad row another station's lock kept out is added again by Modify.
        if (!created.squadStored) ShowLockFailed();
    } else {
        QString loaded = m_shownName;
        bool stored = RenameTeam(t, team, name, &loaded);
        while (!stored && LastWriteRefusal().kind == WriteRefusal::Kind::kChanged) {
            seekNumber(team);
            const QString now = QString::fromStdString(t.FieldGetStr("NOMEQUIPE")).trimmed();
            if (!AskSaveOverChanged(now, windowTitle())) {
                ShowTeam();
                return false;
            }
            loaded = now;
            stored = RenameTeam(t, team, name, &loaded);
        }
        t.SetOrderToTag("NOMEQUIPE");
        if (!stored) {
            if (!leaveEditWhenGone()) ShowWriteRefused();
            return false;
        }
    }
    setMode('V');
    seekNumber(team);
    ShowTeam();
    return true;
}

void Tfgestequipe::bsupprimeClick() {
    const int team = shownNumber();
    if (!hasRecords() || !team) return;
    if (!AskDeleteConfirmation()) return;
    // As a rename does: a team another station renamed since it was shown is deleted only when the user
    // says so, having seen its stored name; deleted meanwhile, it is said gone.
    if (!ConfirmDeleteAsShown([&] { return seekNumber(team); },
                              [&](xb::TXbDbf& t) {
                                  return QString::fromStdString(t.FieldGetStr("NOMEQUIPE")).trimmed() ==
                                         m_shownName;
                              },
                              [&] { return m_shownName; }))
        return;
    bool complete;
    {
        HourGlass wait;
        complete = DeleteTeamAndDependants(team);
        table()->Refresh();
    }
    if (complete) {
        GoTo(1);
        if (!hasRecords()) ShowTeam();
    } else {
        // The team row goes last, so it is still there: shown again, deleting it again completes it.
        ShowLockFailed();
        seekNumber(team);
        ShowTeam();
    }
    SetViewMode();
}

void Tfgestequipe::pickTeam(int mode) {
    const int n = PickFromList(mode);
    // By number, browsing follows number order; by name, name order from the team picked.
    if (n && seekNumber(n, mode == 1)) ShowTeam();
}

void Tfgestequipe::bajoutejoueurClick() {
    const int player = PickFromList(5);
    const int year = seasonYear();
    const int team = shownNumber();
    if (!player || !year || !team) return;
    if (mode() == 'C') {
        m_pending.add(year, player);
    } else if (!AddPlayerToTeam(year, team, player)) {
        ShowLockFailed();
    }
    fillSquad(mode() == 'C');
}

void Tfgestequipe::bsuppjoueurClick() {
    QListWidgetItem* item = ui->ljoueurequipe->currentItem();
    if (!item || item->text().size() <= 5) return;
    const auto player = ParseInteger(RightPart(item->text(), 5).trimmed());
    const int year = seasonYear();
    const int team = shownNumber();
    if (!player || *player <= 0 || !year || !team) return;
    if (mode() == 'C') {
        m_pending.remove(year, *player);
    } else {
        if (!DeleteRosterEntries(*player, team, year) && PlayerInTeam(*player, team, year)) ShowLockFailed();
    }
    fillSquad(mode() == 'C');
}

Tfgestequipe* fgestequipe() {
    static Tfgestequipe* window = new Tfgestequipe();
    return window;
}

}  // namespace app
