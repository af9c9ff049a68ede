#include "app/editing/qt/player_window.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "app/data/editing_tables.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/window_guards.h"
#include "engine/dataset/engine_windows.h"
#include "platform/ui.h"
#include "ui_Tfgestjoueur.h"

namespace app {

namespace {
// The date field's text when nothing was typed: what its mask shows.
const QString kNoDate = QStringLiteral("  /  /    ");
}  // namespace

Tfgestjoueur::Tfgestjoueur(QWidget* parent) : BrowseWindow(parent), ui(std::make_unique<Ui::Tfgestjoueur>()) {
    ui->setupUi(this);
    bindStandardControls();
    SetKeyRule(ui->enom, KeyRule::kText, kPlayerNameWidth);
    SetKeyRule(ui->enation, KeyRule::kText, kNationWidth);
    GuardPlainText(ui->memdivers);
    // No position is a stored value (-1) too: Delete or Backspace on the list clears the choice.
    ui->combposte->installEventFilter(this);
    // The number is shown, never picked here.
    ui->inumero->setEnabled(false);
    connect(ui->bnouveau, &QPushButton::clicked, this, Guarded([this] { bnouveauClick(); }));
    connect(ui->bmodif, &QPushButton::clicked, this, Guarded([this] { bmodifClick(); }));
    connect(ui->bsupprime, &QPushButton::clicked, this, Guarded([this] { bsupprimeClick(); }));
    connect(ui->inom, &QToolButton::clicked, this, Guarded([this] { inomClick(); }));
}

Tfgestjoueur::~Tfgestjoueur() = default;

const std::vector<WindowText>& Tfgestjoueur::Texts() {
    using R = TextRole;
    static const std::vector<WindowText> texts = {
        {"Tfgestjoueur", Text::Player, R::kCaption},
        {"lnum", Text::NumberLabel, R::kCaption},
        {"lnom", Text::Name, R::kCaption},
        {"bannule", Text::Cancel, R::kCaption},
        {"bannule", Text::CancelEditHint, R::kHint},
        {"bnouveau", Text::NewButton, R::kCaption},
        {"bnouveau", Text::CreatePlayerHint, R::kHint},
        {"bsupprime", Text::DeleteButton, R::kCaption},
        {"bsupprime", Text::DeletePlayerHint, R::kHint},
        {"bpremier", Text::GoFirstHint, R::kHint},
        {"bprecedent", Text::GoPreviousHint, R::kHint},
        {"bsuivant", Text::GoNextHint, R::kHint},
        {"bdernier", Text::GoLastHint, R::kHint},
        {"bquit", Text::Quit, R::kCaption},
        {"bquit", Text::CloseWindowHint, R::kHint},
        {"lDate", Text::BirthDate, R::kCaption},
        {"lnation", Text::Country, R::kCaption},
        {"Lposte", Text::Position, R::kCaption},
        {"ldivers", Text::Miscellaneous, R::kCaption},
    };
    return texts;
}

const std::vector<Text>& Tfgestjoueur::PositionTexts() {
    static const std::vector<Text> texts = {Text::Goalkeeper, Text::Defender, Text::Midfielder,
                                            Text::Attacker};
    return texts;
}

void Tfgestjoueur::TranslateForm() {
    ApplyWindowTexts(this, Texts());
    // Refilled in the current language; the position chosen stays chosen (also none).
    const int index = ui->combposte->currentIndex();
    const QSignalBlocker quiet(ui->combposte);
    ui->combposte->clear();
    for (Text text : PositionTexts()) ui->combposte->addItem(GetLangText(text));
    ui->combposte->setCurrentIndex(index);
}

bool Tfgestjoueur::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) RunGuarded([this] { FormActivate(); });
    return BrowseWindow::event(e);
}

bool Tfgestjoueur::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui->combposte && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            ui->combposte->setCurrentIndex(-1);
            return true;
        }
    }
    return BrowseWindow::eventFilter(watched, e);
}

std::unique_ptr<xb::TXbDbf> Tfgestjoueur::openTable() {
    return OpenEditingTable("joueur.dbf", "uge1joueur");
}

void Tfgestjoueur::prepareShow() {
    TranslateForm();
    // The countries in the letters the database can store: choosing one never meets a refusal.
    if (m_countries.isEmpty())
        for (int i = 0; i < ui->enation->count(); ++i) m_countries << ui->enation->itemText(i);
    const int codePage = EditingCodePage();
    for (int i = 0; i < ui->enation->count() && i < m_countries.size(); ++i)
        ui->enation->setItemText(i, TextInCodePage(m_countries[i], codePage));
    xb::TXbDbf& t = *table();
    t.GoTop();
    t.SetOrderToTag("NOM");
    ClearFields();
    ui->enumero->clear();
    if (hasRecords()) GoTo(1);
    SetViewMode();
}

void Tfgestjoueur::ClearFields() {
    ui->enom->clear();
    ui->edate->setText(kNoDate);
    ui->combposte->setCurrentIndex(ui->combposte->count() > 0 ? 0 : -1);
    ui->memdivers->clear();
    ui->memdivers->setPlaceholderText(QString());
    m_notesDamaged = false;
    ui->enation->setCurrentIndex(-1);
    ui->enation->setEditText(QString());
}

int Tfgestjoueur::shownNumber() const {
    return ParseInteger(ui->enumero->text()).value_or(0);
}

void Tfgestjoueur::ShowPlayer() {
    if (!hasRecords()) {
        ui->enumero->clear();
        ClearFields();
        return;
    }
    const PlayerRecord p = ReadPlayer(*table());
    m_shown = p;
    ui->enumero->setText(QString::number(p.number));
    ui->enom->setText(p.name);
    ui->enation->setCurrentIndex(-1);
    ui->enation->setEditText(p.nation);
    ui->edate->setText(p.birthDate);
    ui->combposte->setCurrentIndex(p.position >= 0 && p.position < ui->combposte->count() ? p.position : -1);
    ui->memdivers->setPlainText(p.notes.join(QLatin1Char('\n')));
    // A damaged note is said where the note stands; what the user types there replaces it.
    m_notesDamaged = p.notesDamaged;
    ui->memdivers->setPlaceholderText(p.notesDamaged ? GetLangText(Text::DamagedNotePlaceholder) : QString());
}

PlayerRecord Tfgestjoueur::shownRecord() const {
    PlayerRecord p;
    p.number = shownNumber();
    p.name = StoredName(ui->enom->text());
    // The mask's text as shown: blanks where no digit was typed.
    p.birthDate = ui->edate->displayText();
    p.position = ui->combposte->currentIndex();
    p.nation = ui->enation->currentText();
    const QString notes = ui->memdivers->toPlainText();
    if (!notes.isEmpty()) p.notes = notes.split(QLatin1Char('\n'));
    p.notesDamaged = m_notesDamaged && shownNumber() != 0;
    return p;
}

int Tfgestjoueur::NextPlayerNumber() {
    xb::TXbDbf& t = *table();
    const int shown = hasRecords() ? t.FieldGetInt("NUJOUEUR") : 0;
    const int next = NextNumberProposal(t, kPlayerNumbers);
    if (shown) t.Find(NumberKey({{shown, 5}}));
    t.SetOrderToTag("NOM");
    return next;
}

bool Tfgestjoueur::seekNumber(int n) {
    xb::TXbDbf& t = *table();
    t.SetOrderToTag("NU");
    const std::string key = NumberKey({{n, 5}});
    const bool found = n > 0 && !key.empty() && t.Find(key);
    // Browsing goes on in name order from the player found.
    t.SetOrderToTag("NOM");
    return found;
}

void Tfgestjoueur::bnouveauClick() {
    const int number = NextPlayerNumber();
    if (number == 0) {
        ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Player)).arg(kPlayerNumbers.max),
                    GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
        return;
    }
    setMode('C');
    SetEditMode();
    ClearFields();
    // A proposal: the number stored is taken under the append lock at OK.
    ui->enumero->setText(QString::number(number));
}

void Tfgestjoueur::bmodifClick() {
    if (!hasRecords()) return;
    setMode('M');
    SetEditMode();
}

void Tfgestjoueur::SetEditMode() {
    BrowseWindow::SetEditMode();
    ui->inumero->setEnabled(false);
    ui->inom->setVisible(false);
    ui->enom->setEnabled(true);
    ui->p2->setEnabled(true);
}

void Tfgestjoueur::SetViewMode() {
    BrowseWindow::SetViewMode();
    ui->inom->setVisible(true);
    ui->enom->setEnabled(false);
    ui->p2->setEnabled(false);
}

bool Tfgestjoueur::CheckPlayerName() {
    const QString name = StoredName(ui->enom->text());
    const int own = mode() == 'M' ? shownNumber() : 0;
    const NameVerdict verdict = JudgeName(name, own, name.isEmpty() ? 0 : FindPlayerNumber(name));
    if (verdict == NameVerdict::kAccepted) return true;
    const QString why = verdict == NameVerdict::kTaken ? GetLangText(Text::PlayerExists)
                                                       : GetLangText(Text::Name) + QStringLiteral(" ?");
    xb::ShowDialogForm(GetLangText(Text::UnableToValidate).toStdString(), "!", why.toStdString(), "Ok");
    return false;
}

bool Tfgestjoueur::SavePlayer() {
    PlayerRecord p = shownRecord();
    const QStringList tooLong = PlayerFieldsTooLong(p);
    if (!tooLong.isEmpty()) {
        ShowMessage(tooLong.join(QStringLiteral(", ")), GetLangText(Text::UnableToValidate),
                    xb::platform::kMbIconWarning);
        return false;
    }
    xb::TXbDbf& t = *table();
    if (mode() == 'C') {
        p.number = CreatePlayer(t, p);
        if (!p.number) {
            if (LastWriteRefusal().kind == WriteRefusal::Kind::kNumbersExhausted) {
                ShowMessage(QStringLiteral("%1 > %2").arg(GetLangText(Text::Player)).arg(kPlayerNumbers.max),
                            GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
            } else {
                ShowWriteRefused();
            }
            t.SetOrderToTag("NOM");
            return false;
        }
    } else {
        PlayerRecord loaded = m_shown;
        bool stored = app::SavePlayer(t, p, &loaded);
        while (!stored && LastWriteRefusal().kind == WriteRefusal::Kind::kChanged) {
            seekNumber(p.number);
            const PlayerRecord now = ReadPlayer(t);
            if (!AskSaveOverChanged(PlayerSummary(now), windowTitle())) {
                ShowPlayer();
                return false;
            }
            loaded = now;
            stored = app::SavePlayer(t, p, &loaded);
        }
        if (!stored) {
            t.SetOrderToTag("NOM");
            if (!leaveEditWhenGone()) ShowWriteRefused();
            return false;
        }
    }
    setMode('V');
    seekNumber(p.number);
    ShowPlayer();
    return true;
}

void Tfgestjoueur::bsupprimeClick() {
    const int player = shownNumber();
    if (!hasRecords() || !player) return;
    if (!AskDeleteConfirmation(GetLangText(Text::PlayerDataWillBeErased))) return;
    // As a save does: a player another station changed since he was shown is deleted only when the
    // user says so, having seen him as stored; deleted meanwhile, he is said gone.
    if (!ConfirmDeleteAsShown([&] { return seekNumber(player); },
                              [&](xb::TXbDbf& t) { return SamePlayerValues(ReadPlayer(t), m_shown); },
                              [&] { return PlayerSummary(ReadPlayer(*table())); }))
        return;
    bool complete;
    {
        HourGlass wait;
        complete = DeletePlayer(player);
        table()->Refresh();
    }
    if (complete) {
        GoTo(1);
        if (!hasRecords()) ShowPlayer();
    } else {
        // The player row goes last, so he is still there: deleting him again completes it.
        ShowLockFailed();
        seekNumber(player);
        ShowPlayer();
    }
    SetViewMode();
}

void Tfgestjoueur::inomClick() {
    const int n = PickFromList(5);
    if (n && seekNumber(n)) ShowPlayer();
}

Tfgestjoueur* fgestjoueur() {
    static Tfgestjoueur* window = new Tfgestjoueur();
    return window;
}

}  // namespace app
