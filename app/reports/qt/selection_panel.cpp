#include "app/reports/qt/selection_panel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/window_guards.h"
#include "app/data/table_scopes.h"

namespace app {

namespace {

constexpr int kPickChampionshipsByNumber = 3;
constexpr int kPickChampionshipsByName = 4;
// NOMCHAMP's length: the name is shown whole.
constexpr int kChampionshipNameLength = 30;

}  // namespace

ReportSelectionPanel::ReportSelectionPanel(QWidget* window, SelectionPanelNames names) : QObject(window) {
    m_number = window->findChild<QLineEdit*>("enumchamp");
    m_name = window->findChild<QLineEdit*>("enomchamp");
    m_season = window->findChild<QComboBox*>(QString::fromLatin1(names.season));
    m_team = window->findChild<QComboBox*>("eequipe");
    if (m_name) {
        m_name->setMaxLength(kChampionshipNameLength);
        KeepTextWhole(m_name);
    }
    auto bind = [&](const char* name, void (ReportSelectionPanel::*slot)()) {
        // An empty name would match any button.
        if (!name || !*name) return;
        if (auto* b = window->findChild<QAbstractButton*>(QString::fromLatin1(name)))
            connect(b, &QAbstractButton::clicked, this, Guarded([this, slot] { (this->*slot)(); }));
    };
    bind("inumero", &ReportSelectionPanel::inumeroClick);
    bind("inom", &ReportSelectionPanel::inomClick);
    bind("bchamppre", &ReportSelectionPanel::bchamppreClick);
    bind("bchampsui", &ReportSelectionPanel::bchampsuiClick);
    bind(names.seasonPrevious, &ReportSelectionPanel::seasonPreviousClick);
    bind(names.seasonNext, &ReportSelectionPanel::seasonNextClick);
    bind("bequipepre", &ReportSelectionPanel::bequipepreClick);
    bind("bequipesui", &ReportSelectionPanel::bequipesuiClick);
    // However the number arrives (typed, picked, stepped), the name beside it follows.
    if (m_number)
        connect(m_number, &QLineEdit::textChanged, this, Guarded([this] {
                    if (m_name)
                        m_name->setText(IsInteger(m_number->text()) ? GetChampionshipName(championship())
                                                                    : QString());
                    emit championshipChanged();
                }));
    if (m_season)
        connect(m_season, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (index >= 0) CurrentSeasonYear = SeasonOfComboIndex(index);
            emit seasonChanged();
        });
}

int ReportSelectionPanel::championship() const {
    return m_number ? IntegerOrZero(m_number->text()) : 0;
}

int ReportSelectionPanel::year() const {
    return m_season ? IntegerOrZero(m_season->currentText().left(4)) : 0;
}

int ReportSelectionPanel::team() const {
    return m_team && m_team->currentIndex() >= 0 ? m_team->currentData().toInt() : 0;
}

QString ReportSelectionPanel::seasonText() const {
    return m_season ? m_season->currentText() : QString();
}

QString ReportSelectionPanel::championshipName() const {
    return m_name ? m_name->text() : QString();
}

void ReportSelectionPanel::SetChampionship(int n) {
    if (m_name) m_name->setText(GetChampionshipName(n));
    if (m_number) m_number->setText(QString::number(n));
}

void ReportSelectionPanel::FillSeasonCombo() {
    if (!m_season) return;
    {
        const QSignalBlocker quiet(m_season);
        m_season->clear();
        m_season->addItems(SeasonComboEntries());
        m_season->setCurrentIndex(SeasonComboIndex(CurrentSeasonYear));
    }
    emit seasonChanged();
}

void ReportSelectionPanel::ReloadTeams() {
    if (!m_team) return;
    m_team->clear();
    const int c = championship(), y = year();
    if (c < 1 || y < 1) return;
    try {
        const std::vector<int> teams = SeasonTeamNumbers(y, c);
        std::vector<QString> names;
        LoadTeamNames(names, teams);
        for (size_t i = 0; i < teams.size(); ++i) m_team->addItem(names[i], teams[i]);
    } catch (...) {
        // The list stays as filled so far.
    }
}

bool ReportSelectionPanel::SelectTeam(int team) {
    const int at = m_team ? m_team->findData(team) : -1;
    if (at >= 0) m_team->setCurrentIndex(at);
    return at >= 0;
}

void ReportSelectionPanel::pick(int mode) {
    const int picked = PickFromList(mode);
    if (picked != 0) SetChampionship(picked);
}

void ReportSelectionPanel::inumeroClick() {
    pick(kPickChampionshipsByNumber);
}

void ReportSelectionPanel::inomClick() {
    pick(kPickChampionshipsByName);
}

void ReportSelectionPanel::bchamppreClick() {
    BusyFlag flag(busy);
    if (!flag.entered() || !m_number) return;
    if (!IsInteger(m_number->text()))
        SetChampionship(1);
    else if (championship() > 1)
        SetChampionship(championship() - 1);
}

void ReportSelectionPanel::bchampsuiClick() {
    BusyFlag flag(busy);
    if (!flag.entered() || !m_number) return;
    SetChampionship(IsInteger(m_number->text()) ? championship() + 1 : 1);
}

void ReportSelectionPanel::seasonPreviousClick() {
    BusyFlag flag(busy);
    if (flag.entered() && m_season && m_season->currentIndex() >= 1)
        m_season->setCurrentIndex(m_season->currentIndex() - 1);
}

void ReportSelectionPanel::seasonNextClick() {
    BusyFlag flag(busy);
    if (flag.entered() && m_season && m_season->currentIndex() >= 0 &&
        m_season->currentIndex() < m_season->count() - 1)
        m_season->setCurrentIndex(m_season->currentIndex() + 1);
}

void ReportSelectionPanel::bequipepreClick() {
    BusyFlag flag(busy);
    if (flag.entered() && m_team && m_team->currentIndex() >= 1)
        m_team->setCurrentIndex(m_team->currentIndex() - 1);
}

void ReportSelectionPanel::bequipesuiClick() {
    BusyFlag flag(busy);
    if (flag.entered() && m_team && m_team->currentIndex() < m_team->count() - 1)
        m_team->setCurrentIndex(m_team->currentIndex() + 1);
}

}  // namespace app
