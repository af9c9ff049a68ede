// The box fillers on a filled season: what each box shows, and a sorted list that orders equal names by
// their numbers.
#include "app/shell/qt/league_lists.h"

#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/league_text.h"
#include "app/settings/param_file.h"
#include "tests/support/league_fill.h"

namespace {

using namespace app;

class LeagueListsTest : public leaguetest::LeagueTest {
protected:
    LeagueListsTest() { xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason()); }
    static QStringList texts(const QListWidget& l) {
        QStringList out;
        for (int i = 0; i < l.count(); ++i) out << l.item(i)->text();
        return out;
    }
};

TEST_F(LeagueListsTest, SeasonComboSelectsTheCurrentSeasonOnlyWithinItsYears) {
    const int saved = CurrentSeasonYear;
    QComboBox combo;
    for (auto [year, index] : {std::pair{1899, -1}, {2101, -1}, {1900, 0}, {2008, 108}, {2100, 200}}) {
        CurrentSeasonYear = year;
        FillSeasonCombo(&combo);
        EXPECT_EQ(combo.count(), 201);
        EXPECT_EQ(combo.currentIndex(), index) << year;
    }
    EXPECT_EQ(combo.itemText(108), "2008 - 2009");
    combo.setCurrentIndex(126);
    SeasonComboChange(&combo);
    EXPECT_EQ(CurrentSeasonYear, 2026);
    combo.setCurrentIndex(-1);
    SeasonComboChange(&combo);
    EXPECT_EQ(CurrentSeasonYear, 2026);
    CurrentSeasonYear = saved;
}

TEST_F(LeagueListsTest, TeamsAndPlayersInTheirBoxes) {
    QComboBox days, teams, players;
    FillDayList(&days, 2026, 1);
    EXPECT_EQ(days.count(), 38);
    FillSeasonTeams(&teams, 2026, 1);
    EXPECT_EQ(teams.count(), 20);
    EXPECT_NE(teams.findText("Malmö FF"), -1);
    FillSeasonTeams(&teams, 2026, 9);
    EXPECT_EQ(teams.count(), 0);

    // Home squad then away squad in one combo, names only.
    FillTeamPlayers2(&players, 3, 2026, true, false);
    FillTeamPlayers2(&players, 4, 2026, false, false);
    EXPECT_EQ(players.count(), 28);
    EXPECT_EQ(players.itemText(0), GetPlayerName(301));
    EXPECT_EQ(players.itemText(14), GetPlayerName(401));

    QListWidget list;
    list.setSortingEnabled(true);
    FillSeasonTeams2(&list, 2026, 1, true);
    ASSERT_EQ(list.count(), 20);
    for (int i = 1; i < list.count(); ++i)
        EXPECT_LE(EntryName(list.item(i - 1)->text()), EntryName(list.item(i)->text()));
    EXPECT_EQ(EntryNumber(list.findItems("Malmö FF", Qt::MatchStartsWith).front()->text()), 13);
}

TEST_F(LeagueListsTest, EqualNamesStandInTheOrderOfTheirNumbers) {
    QListWidget list;
    list.setSortingEnabled(true);
    for (int n : {120, 7, 35, 1000}) list.addItem(new NumberedListItem(NumberedEntry("Dupont", n)));
    list.addItem(new NumberedListItem(NumberedEntry("Alvarez", 99)));
    list.addItem(new NumberedListItem(NumberedEntry("Dupont Jr", 2)));
    QStringList got;
    for (int i = 0; i < list.count(); ++i)
        got << EntryName(list.item(i)->text()) + "#" + QString::number(EntryNumber(list.item(i)->text()));
    EXPECT_EQ(got, (QStringList{"Alvarez#99", "Dupont#7", "Dupont#35", "Dupont#120", "Dupont#1000",
                                "Dupont Jr#2"}));
}

}  // namespace
