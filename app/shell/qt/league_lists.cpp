#include "app/shell/qt/league_lists.h"

#include <QStyledItemDelegate>

#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/settings/param_file.h"

namespace app {

namespace {

class NamesOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override {
        return QStyledItemDelegate::displayText(EntryName(value.toString()).trimmed(), locale);
    }
};

void addEntries(QListWidget* list, const QStringList& entries) {
    for (const QString& e : entries) list->addItem(new NumberedListItem(e));
}

}  // namespace

void ShowNamesOnly(QAbstractItemView* view) {
    if (!dynamic_cast<NamesOnlyDelegate*>(view->itemDelegate())) view->setItemDelegate(new NamesOnlyDelegate(view));
}

bool NumberedListItem::operator<(const QListWidgetItem& other) const {
    const QString a = EntryName(text()), b = EntryName(other.text());
    if (a != b) return a < b;
    return EntryNumber(text()) < EntryNumber(other.text());
}

void FillSeasonCombo(QComboBox* combo) {
    combo->clear();
    combo->addItems(SeasonComboEntries());
    combo->setCurrentIndex(SeasonComboIndex(CurrentSeasonYear));
}

void SeasonComboChange(QComboBox* combo) {
    if (combo->currentIndex() >= 0) CurrentSeasonYear = SeasonOfComboIndex(combo->currentIndex());
}

void FillDayList(QComboBox* box, int year, int championship) {
    box->clear();
    box->addItems(DayListEntries(year, championship));
}

void FillDayList(QListWidget* box, int year, int championship) {
    box->clear();
    box->addItems(DayListEntries(year, championship));
}

void FillSeasonTeams(QComboBox* combo, int year, int championship) {
    combo->clear();
    try {
        combo->addItems(SeasonTeamEntries(year, championship, false));
    } catch (...) {
        // A season that cannot be read shows no teams; the window stays usable.
    }
}

void FillSeasonTeams2(QListWidget* list, int year, int championship, bool withNumbers) {
    list->clear();
    if (withNumbers) ShowNamesOnly(list);
    addEntries(list, SeasonTeamEntries(year, championship, withNumbers));
}

void FillTeamPlayers(QListWidget* list, int team, int year, bool clearFirst, bool withNumbers) {
    if (clearFirst) list->clear();
    if (withNumbers) ShowNamesOnly(list);
    addEntries(list, TeamPlayerEntries(team, year, withNumbers));
}

void FillTeamPlayers2(QComboBox* combo, int team, int year, bool clearFirst, bool withNumbers) {
    if (clearFirst) combo->clear();
    combo->addItems(TeamPlayerEntries(team, year, withNumbers));
}

}  // namespace app
