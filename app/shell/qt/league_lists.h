// The league library's box fillers: the season combo, the matchday list, the teams of a season and the
// players of a squad. They show what the GUI-free lists of league_lookups.h compute. Entries with the
// number suffix go into a sorted list box as NumberedListItem, which orders equal names by number.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QListWidget>
#include <QListWidgetItem>

namespace app {

// A list entry "name, 100 blanks, number" that sorts by name, then by number.
class NumberedListItem : public QListWidgetItem {
public:
    explicit NumberedListItem(const QString& entry, QListWidget* list = nullptr)
        : QListWidgetItem(entry, list) {}
    bool operator<(const QListWidgetItem& other) const override;
};

// A list whose entries carry numbers shows only their names: the number stays in the entry for the
// window that reads it back, as the blanks once pushed it out of sight in a list box of fixed width.
void ShowNamesOnly(QAbstractItemView* view);

// "1900 - 1901" to "2100 - 2101", CurrentSeasonYear selected when it lies in the list (none otherwise).
void FillSeasonCombo(QComboBox* combo);
// CurrentSeasonYear := the year of the selected entry, when one is selected.
void SeasonComboChange(QComboBox* combo);
// "1" to the season's matchday count.
void FillDayList(QComboBox* box, int year, int championship);
void FillDayList(QListWidget* box, int year, int championship);
// The season's team names; a failure leaves the box as far as it was filled.
void FillSeasonTeams(QComboBox* combo, int year, int championship);
// The season's teams, with the number suffix when asked.
void FillSeasonTeams2(QListWidget* list, int year, int championship, bool withNumbers);
// The squad's players of a season; the box is cleared first only when asked.
void FillTeamPlayers(QListWidget* list, int team, int year, bool clearFirst, bool withNumbers);
void FillTeamPlayers2(QComboBox* combo, int team, int year, bool clearFirst, bool withNumbers);

}  // namespace app
