#include "app/editing/qt/browse_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QShowEvent>
#include <QSignalBlocker>

#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/window_guards.h"
#include "platform/ui.h"

namespace app {

namespace {
const char* const kBrowsingButtons[] = {"bpremier", "bprecedent", "bsuivant", "bdernier"};
}

BrowseWindow::BrowseWindow(QWidget* parent) : QWidget(parent) {}
BrowseWindow::~BrowseWindow() = default;

QAbstractButton* BrowseWindow::button(const char* name) const {
    return findChild<QAbstractButton*>(QString::fromLatin1(name));
}

void BrowseWindow::bindStandardControls() {
    const struct {
        const char* name;
        void (BrowseWindow::*slot)();
    } kSlots[] = {
        {"bpremier", &BrowseWindow::bpremierClick},
        {"bprecedent", &BrowseWindow::bprecedentClick},
        {"bsuivant", &BrowseWindow::bsuivantClick},
        {"bdernier", &BrowseWindow::bdernierClick},
        {"bok", &BrowseWindow::bokClick},
        {"bannule", &BrowseWindow::bannuleClick},
        {"bquit", &BrowseWindow::bquitClick},
        {"banneepre", &BrowseWindow::banneepreClick},
        {"banneesui", &BrowseWindow::banneesuiClick},
    };
    for (const auto& s : kSlots) {
        if (QAbstractButton* b = button(s.name)) {
            auto slot = s.slot;
            connect(b, &QAbstractButton::clicked, this, Guarded([this, slot] { (this->*slot)(); }));
        }
    }
    m_season = findChild<QComboBox*>(QStringLiteral("eannee"));
    if (m_season) {
        connect(m_season, &QComboBox::currentIndexChanged, this, Guarded([this](int i) { eanneeChange(i); }));
    }
}

bool BrowseWindow::hasRecords() const {
    // A table whose rows are all deleted (and hidden) is not empty to the engine, which counts the rows
    // stored; the dataset then stands before the first and after the last row at once.
    return m_table && m_table->Active() && !m_table->IsEmpty() && !(m_table->Bof() && m_table->Eof());
}

void BrowseWindow::GoTo(int n) {
    if (!hasRecords()) return;
    xb::TXbDbf& t = *m_table;
    switch (n) {
        case 1:
            t.First();
            break;
        case 2:
            if (!t.Bof()) t.Prior();
            break;
        case 3:
            if (!t.Eof()) t.Next();
            break;
        case 4:
            t.Last();
            break;
        default:
            break;
    }
    ShowRecord();
}

void BrowseWindow::setBrowsingEnabled(bool on) {
    for (const char* name : kBrowsingButtons)
        if (QAbstractButton* b = button(name)) b->setEnabled(on);
}

void BrowseWindow::SetEditMode() {
    m_editing = true;
    // Moving to another record while editing would show it under the edited values.
    setBrowsingEnabled(false);
    for (const char* name : {"bmodif", "bsupprime", "bnouveau"})
        if (QAbstractButton* b = button(name)) b->setVisible(false);
    for (const char* name : {"bok", "bannule"})
        if (QAbstractButton* b = button(name)) b->setVisible(true);
}

void BrowseWindow::SetViewMode() {
    m_editing = false;
    // Modify and Delete act on the shown record: with none they are hidden.
    const bool any = hasRecords();
    setBrowsingEnabled(any);
    for (const char* name : {"bmodif", "bsupprime"})
        if (QAbstractButton* b = button(name)) b->setVisible(any);
    if (QAbstractButton* b = button("bnouveau")) b->setVisible(true);
    for (const char* name : {"bok", "bannule"})
        if (QAbstractButton* b = button(name)) b->setVisible(false);
}

void BrowseWindow::bokClick() {
    if (!Save()) return;
    SetViewMode();
    m_mode = 'V';
}

bool BrowseWindow::leaveEditWhenGone() {
    if (LastWriteRefusal().kind != WriteRefusal::Kind::kGone) return false;
    ShowWriteRefused();
    m_table->Refresh();
    GoTo(1);
    if (!hasRecords()) ShowRecord();
    SetViewMode();
    m_mode = 'V';
    return true;
}

void BrowseWindow::bannuleClick() {
    ShowRecord();
    SetViewMode();
    m_mode = 'V';
}

int BrowseWindow::seasonYear() const {
    if (!m_season) return 0;
    return ParseInteger(m_season->currentText().left(4)).value_or(0);
}

void BrowseWindow::fillSeasonCombo() {
    if (!m_season) return;
    const QSignalBlocker quiet(m_season);
    m_season->clear();
    m_season->addItems(SeasonComboEntries());
    m_season->setCurrentIndex(SeasonComboIndex(CurrentSeasonYear));
}

void BrowseWindow::eanneeChange(int) {
    if (m_season->currentIndex() >= 0) CurrentSeasonYear = SeasonOfComboIndex(m_season->currentIndex());
    seasonChanged();
}

void BrowseWindow::banneepreClick() {
    if (m_season && m_season->currentIndex() > 0) m_season->setCurrentIndex(m_season->currentIndex() - 1);
}

void BrowseWindow::banneesuiClick() {
    if (m_season && m_season->currentIndex() + 1 < m_season->count())
        m_season->setCurrentIndex(m_season->currentIndex() + 1);
}

void BrowseWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Set up when shown, not at each activation: visiting another window keeps what this one shows.
    if (event->spontaneous() || m_table) return;
    RunGuarded([this] {
        m_mode = 'V';
        m_table = openTable();
        prepareShow();
    });
}

void BrowseWindow::closeEvent(QCloseEvent* event) {
    RunGuarded([this] {
        if (m_table) m_table->Close();
    });
    m_table.reset();
    m_editing = false;
    m_mode = 'V';
    QWidget::closeEvent(event);
}

bool BrowseWindow::ConfirmDeleteAsShown(const std::function<bool()>& find,
                                        const std::function<bool(xb::TXbDbf&)>& same,
                                        const std::function<QString()>& storedNow) {
    switch (CompareShownRow(*table(), find, same)) {
        case ShownRow::kSame:
            return true;
        case ShownRow::kChanged: {
            ShowRecord();
            SetViewMode();
            return AskDeleteOverChanged(storedNow(), windowTitle());
        }
        case ShownRow::kGone:
            ShowMessage(GetLangText(Text::RecordNoLongerStored), windowTitle(), xb::platform::kMbIconStop);
            table()->Refresh();
            GoTo(1);
            if (!hasRecords()) ShowRecord();
            SetViewMode();
            return false;
        case ShownRow::kLocked:
            ShowLockFailed();
            return false;
    }
    return false;
}

}  // namespace app
