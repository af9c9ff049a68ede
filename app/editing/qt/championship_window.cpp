#include "app/editing/qt/championship_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>

#include "app/editing/master_records.h"
#include "app/editing/season_rules.h"
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
#include "ui_Tfgestchamp.h"

namespace app {

namespace {

constexpr int kNameWidth = 30;  // champion.nomchamp
constexpr int kRuleWidth = 2;   // the N 2 fields of champan

void FillNumbers(QComboBox* combo, int first, int last) {
    const QSignalBlocker quiet(combo);
    combo->clear();
    for (int i = first; i <= last; ++i) combo->addItem(QString::number(i));
}

void ShowNumber(QComboBox* combo, int value) {
    const QSignalBlocker quiet(combo);
    combo->setCurrentText(QString::number(value));
}

}  // namespace

Tfgestchamp::Tfgestchamp(QWidget* parent) : BrowseWindow(parent), ui(std::make_unique<Ui::Tfgestchamp>()) {
    ui->setupUi(this);
    bindStandardControls();
    SetKeyRule(ui->enom, KeyRule::kUpperName, kNameWidth);
    for (QComboBox* c : {ui->enbequipe, ui->enbjournee, ui->eptv, ui->eptn, ui->eptd, ui->eptfv, ui->eptfd})
        SetKeyRule(c, KeyRule::kDigitsAndMinus, kRuleWidth);
    connect(ui->bnouveau, &QPushButton::clicked, this, Guarded([this] { bnouveauClick(); }));
    connect(ui->bmodif, &QPushButton::clicked, this, Guarded([this] { bmodifClick(); }));
    connect(ui->bsupprime, &QPushButton::clicked, this, Guarded([this] { bsupprimeClick(); }));
    connect(ui->inumero, &QToolButton::clicked, this, Guarded([this] { inumeroClick(); }));
    connect(ui->inom, &QToolButton::clicked, this, Guarded([this] { inomClick(); }));
    connect(ui->bajoutequipe, &QPushButton::clicked, this, Guarded([this] { bajoutequipeClick(); }));
    connect(ui->bsuppequipe, &QPushButton::clicked, this, Guarded([this] { bsuppequipeClick(); }));
    connect(ui->enbequipe, &QComboBox::currentTextChanged, this, Guarded([this] { enbequipeChange(); }));
}

Tfgestchamp::~Tfgestchamp() = default;

const std::vector<WindowText>& Tfgestchamp::Texts() {
    using R = TextRole;
    static const std::vector<WindowText> texts = {
        {"Tfgestchamp", Text::Championship, R::kCaption},
        {"lnum", Text::NumberLabel, R::kCaption},
        {"eonglet1", Text::Parameters, R::kCaption},
        {"eonglet2", Text::Teams, R::kCaption},
        {"gannee", Text::Year, R::kCaption},
        {"bajoutequipe", Text::AddButton, R::kCaption},
        {"bajoutequipe", Text::AddTeamToSeasonHint, R::kHint},
        {"bsuppequipe", Text::RemoveTeamButton, R::kCaption},
        {"bsuppequipe", Text::RemoveTeamHint, R::kHint},
        {"bannule", Text::Cancel, R::kCaption},
        {"bannule", Text::CancelEditHint, R::kHint},
        {"bnouveau", Text::NewButton, R::kCaption},
        {"bnouveau", Text::CreateChampionshipHint, R::kHint},
        {"bsupprime", Text::RemoveTeamButton, R::kCaption},
        {"bsupprime", Text::DeleteChampionshipHint, R::kHint},
        {"bmodif", Text::ModifyChampionshipHint, R::kHint},
        {"bpremier", Text::GoFirstHint, R::kHint},
        {"bprecedent", Text::GoPreviousHint, R::kHint},
        {"bsuivant", Text::GoNextHint, R::kHint},
        {"bdernier", Text::GoLastHint, R::kHint},
        {"bquit", Text::Quit, R::kCaption},
        {"bquit", Text::CloseWindowHint, R::kHint},
        {"lnbequipe", Text::NumberOfTeams, R::kCaption},
        {"lnbjournee", Text::NumberOfMatchdays, R::kCaption},
        {"gpt", Text::PointsCaption, R::kCaption},
        {"lvict", Text::PointsWin, R::kCaption},
        {"lnul", Text::PointsDraw, R::kCaption},
        {"ldef", Text::PointsDefeat, R::kCaption},
        {"lvictfor", Text::PointsForfeitWin, R::kCaption},
        {"ldefforfait", Text::PointsForfeitDefeat, R::kCaption},
    };
    return texts;
}

void Tfgestchamp::TranslateForm() {
    ApplyWindowTexts(this, Texts());
}

std::unique_ptr<xb::TXbDbf> Tfgestchamp::openTable() {
    return OpenEditingTable("champion.dbf", "uge1champgc");
}

void Tfgestchamp::prepareShow() {
    InitCombos();
    TranslateForm();
    xb::TXbDbf& t = *table();
    t.GoTop();
    t.SetOrderToTag("NOMCHAMP");
    if (hasRecords()) {
        GoTo(1);
    } else {
        ShowChampionship();
    }
    SetViewMode();
}

void Tfgestchamp::InitCombos() {
    fillSeasonCombo();
    FillDayNumbers();
    FillNumbers(ui->enbequipe, 0, 30);
    for (QComboBox* c : {ui->eptv, ui->eptn, ui->eptd, ui->eptfv, ui->eptfd}) FillNumbers(c, 0, 9);
}

void Tfgestchamp::FillDayNumbers() {
    FillNumbers(ui->enbjournee, 1, 99);
}

void Tfgestchamp::SuggestDayCount() {
    if (const auto days = SuggestedDayCount(ui->enbequipe->currentText())) ShowNumber(ui->enbjournee, *days);
}

void Tfgestchamp::enbequipeChange() {
    if (editing()) SuggestDayCount();
}

int Tfgestchamp::NextChampionshipNumber() {
    const int shown = ParseInteger(ui->enumero->text()).value_or(0);
    const int next = app::NextChampionshipNumber(*table());
    // The reading moved to the last number: Cancel shows again, and browsing goes on from, the record
    // that was shown.
    if (!shown || !seekNumber(shown)) table()->SetOrderToTag("NOMCHAMP");
    return next;
}

void Tfgestchamp::ShowChampionship() {
    xb::TXbDbf* t = table();
    const bool any = hasRecords();
    ui->enumero->setText(any ? QString::number(t->FieldGetInt("NUCHAMP")) : QString());
    m_shownName = any ? QString::fromStdString(t->FieldGetStr("NOMCHAMP")).trimmed() : QString();
    ShowStoredText(ui->enom, m_shownName);
    fillTeams();
    const int year = seasonYear();
    const int championship = ParseInteger(ui->enumero->text()).value_or(0);
    if (year && championship) {
        ShowSeasonParams(championship, year);
    } else {
        ShowSeasonParams(0, 0);
    }
}

void Tfgestchamp::fillTeams() {
    ui->lequipechamp->clear();
    const int year = seasonYear();
    const int championship = ParseInteger(ui->enumero->text()).value_or(0);
    if (!year || !championship) return;
    ShowNamesOnly(ui->lequipechamp);
    ui->lequipechamp->addItems(SeasonTeamEntries(year, championship, true));
    ui->lequipechamp->sortItems();
}

void Tfgestchamp::ShowSeasonParams(int championship, int year) {
    m_shownSeason.reset();
    if (championship && year) {
        LeagueTableScope champan("uge1champanr", "champan.dbf");
        m_shownSeason = ReadSeasonRow(*champan, championship, year);
    }
    // The values as stored, a matchday count of 0 included (an imported season may hold one): a save
    // compares with what it showed, and the user sees what another program reads.
    const SeasonRules r = m_shownSeason.value_or(SeasonRules{});
    ShowNumber(ui->enbequipe, r.teams);
    ShowNumber(ui->enbjournee, r.matchdays);
    ShowNumber(ui->eptv, r.win);
    ShowNumber(ui->eptn, r.draw);
    ShowNumber(ui->eptd, r.defeat);
    ShowNumber(ui->eptfv, r.forfeitWin);
    ShowNumber(ui->eptfd, r.forfeitDefeat);
    m_shownRuleTexts = ruleTexts();
}

QStringList Tfgestchamp::ruleTexts() const {
    int count = 0;
    const SeasonRuleField* fields = SeasonRuleFields(&count);
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << findChild<QComboBox*>(QString::fromLatin1(fields[i].objectName))->currentText().trimmed();
    return out;
}

namespace {
QString seasonSummary(const std::optional<SeasonRules>& r) {
    if (!r) return QStringLiteral("-");
    return QStringLiteral("%1 %2, %3 %4, %5 %6/%7/%8/%9/%10")
        .arg(GetLangText(Text::NumberOfTeams))
        .arg(r->teams)
        .arg(GetLangText(Text::NumberOfMatchdays))
        .arg(r->matchdays)
        .arg(GetLangText(Text::PointsCaption))
        .arg(r->win)
        .arg(r->draw)
        .arg(r->defeat)
        .arg(r->forfeitWin)
        .arg(r->forfeitDefeat);
}
}  // namespace

bool Tfgestchamp::ruleValues(std::vector<int>& values) const {
    int count = 0;
    const SeasonRuleField* fields = SeasonRuleFields(&count);
    values.clear();
    for (int i = 0; i < count; ++i) {
        const auto* combo = findChild<QComboBox*>(QString::fromLatin1(fields[i].objectName));
        const auto v = RuleValue(fields[i], combo->currentText());
        if (!v) {
            ShowMessage(QStringLiteral("%1: %2 .. %3")
                            .arg(GetLangText(fields[i].labelText))
                            .arg(fields[i].low)
                            .arg(fields[i].high),
                        GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
            return false;
        }
        values.push_back(*v);
    }
    return true;
}

bool Tfgestchamp::SaveSeasonParams(int championship, int year) {
    std::vector<int> v;
    if (!ruleValues(v)) return false;
    SeasonRules rules;
    rules.teams = v[0];
    rules.matchdays = v[1];
    rules.win = v[2];
    rules.draw = v[3];
    rules.defeat = v[4];
    rules.forfeitWin = v[5];
    rules.forfeitDefeat = v[6];
    LeagueTableScope champan("uge1champanp", "champan.dbf");
    std::optional<SeasonRules> loaded = m_shownSeason;
    bool stored = app::SaveSeasonParams(*champan, championship, year, rules, Matchdays::kWritten, &loaded);
    while (!stored && LastWriteRefusal().kind == WriteRefusal::Kind::kChanged) {
        const std::optional<SeasonRules> now = ReadSeasonRow(*champan, championship, year);
        if (!AskSaveOverChanged(seasonSummary(now), windowTitle())) {
            ShowSeasonParams(championship, year);
            return false;
        }
        loaded = now;
        stored = app::SaveSeasonParams(*champan, championship, year, rules, Matchdays::kWritten, &loaded);
    }
    if (!stored) ShowWriteRefused();
    return stored;
}

bool Tfgestchamp::SaveChampionship() {
    const QString name = StoredName(ui->enom->text());
    // A championship is known by its name in every list and report: like a team, none is stored without.
    if (JudgeName(name, 0, 0) == NameVerdict::kEmpty) {
        xb::ShowDialogForm(GetLangText(Text::UnableToValidate).toStdString(), "!",
                           (GetLangText(Text::Name) + QStringLiteral(" ?")).toStdString(), "Ok");
        return false;
    }
    const int year = seasonYear();
    int championship = ParseInteger(ui->enumero->text()).value_or(0);
    std::vector<int> rules;
    // A season's row is written only when its rules were entered or changed: a rename stores the name.
    const bool rulesChanged = mode() == 'M' && year && ruleTexts() != m_shownRuleTexts;
    // Every value is checked before the first write.
    if (rulesChanged && !ruleValues(rules)) return false;
    xb::TXbDbf& t = *table();
    if (mode() == 'C') {
        championship = CreateChampionship(t, name);
        if (!championship) {
            if (LastWriteRefusal().kind == WriteRefusal::Kind::kNumbersExhausted) {
                ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Championship)).arg(kMaxChampionship),
                            GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
            } else {
                ShowWriteRefused();
            }
            return false;
        }
        ui->enumero->setText(QString::number(championship));
    } else {
        QString loaded = m_shownName;
        bool stored = app::SaveChampionship(t, championship, name, &loaded);
        while (!stored && LastWriteRefusal().kind == WriteRefusal::Kind::kChanged) {
            seekNumber(championship);
            const QString now = QString::fromStdString(t.FieldGetStr("NOMCHAMP")).trimmed();
            if (!AskSaveOverChanged(now, windowTitle())) {
                ShowChampionship();
                return false;
            }
            loaded = now;
            stored = app::SaveChampionship(t, championship, name, &loaded);
        }
        if (!stored) {
            if (!leaveEditWhenGone()) ShowWriteRefused();
            return false;
        }
        if (rulesChanged && !SaveSeasonParams(championship, year)) return false;
    }
    seekNumber(championship);
    ShowChampionship();
    return true;
}

bool Tfgestchamp::seekNumber(int n) {
    xb::TXbDbf& t = *table();
    t.SetOrderToTag("NUCHAMP");
    const bool found = t.Find(std::to_string(n));
    // Browsing goes on in name order from the record found.
    t.SetOrderToTag("NOMCHAMP");
    return found;
}

void Tfgestchamp::bnouveauClick() {
    const int number = NextChampionshipNumber();
    if (number == 0) {
        ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Championship)).arg(kMaxChampionship),
                    GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
        return;
    }
    setMode('C');
    SetEditMode();
    // The number shown is a proposal: the saved one is taken under the append lock.
    ui->enumero->setText(QString::number(number));
    ui->enom->clear();
    ui->lequipechamp->clear();
    for (QComboBox* c : {ui->enbequipe, ui->eptv, ui->eptn, ui->eptd, ui->eptfv, ui->eptfd, ui->enbjournee}) {
        const QSignalBlocker quiet(c);
        c->setCurrentIndex(0);
    }
}

void Tfgestchamp::bmodifClick() {
    if (!hasRecords()) return;
    setMode('M');
    SetEditMode();
}

void Tfgestchamp::SetEditMode() {
    BrowseWindow::SetEditMode();
    for (QWidget* w : std::initializer_list<QWidget*>{ui->banneepre, ui->banneesui, ui->inumero, ui->inom})
        w->setVisible(false);
    ui->enom->setEnabled(true);
    ui->eannee->setEnabled(false);
    const bool creating = mode() == 'C';
    ui->eonglet1->setEnabled(!creating);
    ui->eonglet2->setEnabled(!creating);
    if (creating) ui->lequipechamp->clear();
    ui->bajoutequipe->setVisible(!creating);
    ui->bsuppequipe->setVisible(!creating);
}

void Tfgestchamp::SetViewMode() {
    BrowseWindow::SetViewMode();
    ui->bajoutequipe->setVisible(false);
    ui->bsuppequipe->setVisible(false);
    ui->inumero->setVisible(false);
    ui->inom->setVisible(true);
    // The season buttons come back with the view mode that edit mode hid them from.
    ui->banneepre->setVisible(true);
    ui->banneesui->setVisible(true);
    ui->enom->setEnabled(false);
    ui->eonglet1->setEnabled(false);
    ui->eonglet2->setEnabled(false);
    ui->eannee->setEnabled(true);
}

void Tfgestchamp::bsupprimeClick() {
    const int championship = ParseInteger(ui->enumero->text()).value_or(0);
    if (!hasRecords() || !championship) return;
    if (!AskDeleteConfirmation()) return;
    // As a rename does: a championship another station renamed since it was shown is deleted only when
    // the user says so, having seen its stored name; deleted meanwhile, it is said gone.
    if (!ConfirmDeleteAsShown([&] { return seekNumber(championship); },
                              [&](xb::TXbDbf& t) {
                                  return QString::fromStdString(t.FieldGetStr("NOMCHAMP")).trimmed() ==
                                         m_shownName;
                              },
                              [&] { return m_shownName; }))
        return;
    {
        HourGlass wait;
        const bool complete = DeleteChampionship(championship);
        table()->Refresh();
        if (!complete) ShowLockFailed();
    }
    GoTo(1);
    if (!hasRecords()) ShowChampionship();
    SetViewMode();
}

void Tfgestchamp::pickChampionship(int mode) {
    const int n = PickFromList(mode);
    if (n && seekNumber(n)) ShowChampionship();
}

void Tfgestchamp::bajoutequipeClick() {
    const int team = PickFromList(2);
    const int year = seasonYear();
    const int championship = ParseInteger(ui->enumero->text()).value_or(0);
    if (!team || !year || !championship) return;
    if (!AddTeamToChampionship(year, championship, team)) ShowLockFailed();
    fillTeams();
}

void Tfgestchamp::bsuppequipeClick() {
    QListWidgetItem* item = ui->lequipechamp->currentItem();
    if (!item || item->text().size() <= 5) return;
    const int team = EntryNumber(item->text());
    const int year = seasonYear();
    const int championship = ParseInteger(ui->enumero->text()).value_or(0);
    if (!team || !year || !championship) return;
    RemoveTeamFromChampionship(SeasonYear(year), TeamNumber(team), ChampionshipNumber(championship));
    fillTeams();
}

Tfgestchamp* fgestchamp() {
    static Tfgestchamp* window = new Tfgestchamp();
    return window;
}

}  // namespace app
