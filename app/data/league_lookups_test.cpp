// The reading half of the league library on a filled season: each lookup and list, found and missing.
#include "app/data/league_lookups.h"

#include <algorithm>
#include <map>

#include "app/data/league_test_support.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "tests/support/league_fill.h"

namespace {

using namespace app;

class LookupsTest : public leaguetest::LeagueTest {
protected:
    LookupsTest() : season(xbtest::MakeSeason()) { xbtest::FillLeagueTables(tmp.path(), season); }

    // A value of the generated season: table, row, field.
    const std::string& value(const std::string& file, size_t row, const std::string& field) {
        for (const auto& t : season)
            if (t.file == file) {
                const size_t i =
                    std::find(t.fieldNames.begin(), t.fieldNames.end(), field) - t.fieldNames.begin();
                return t.rows.at(row).at(i);
            }
        throw std::runtime_error("no " + file);
    }
    // A player whose name no other player has.
    std::pair<int, QString> uniquePlayer() {
        const auto& t =
            *std::find_if(season.begin(), season.end(), [](auto& s) { return s.file == "joueur.dbf"; });
        for (const auto& r : t.rows) {
            const auto same =
                std::count_if(t.rows.begin(), t.rows.end(), [&](auto& o) { return o[1] == r[1]; });
            if (same == 1) return {std::stoi(r[0]), QString::fromStdString(r[1])};
        }
        throw std::runtime_error("every name is shared");
    }

    std::vector<xbtest::SeasonTable> season;
};

TEST_F(LookupsTest, NamesAndNumbersFoundAndMissing) {
    const auto [player, playerName] = uniquePlayer();
    const int playerTeam = player / 100;
    struct Case {
        const char* what;
        QString got, want;
    } texts[] = {
        {"team 3", GetTeamName(3), "FC Gueugnon"},
        {"team 20", GetTeamName(20), QString::fromUtf8("Göteborg IFK")},
        {"team 21", GetTeamName(21), ""},
        {"team 0", GetTeamName(0), ""},
        {"player", GetPlayerName(player), playerName},
        {"player 399", GetPlayerName(399), ""},
        {"championship 2", GetChampionshipName(2), QString::fromUtf8("Coupe d'Île-de-France")},
        {"championship 3", GetChampionshipName(3), ""},
        {"championship 1001", GetChampionshipName(1001), ""},
    };
    for (const Case& c : texts) EXPECT_EQ(c.got, c.want) << c.what;

    struct Number {
        const char* what;
        int got, want;
    } numbers[] = {
        {"Malmö FF", FindTeamNumber(QString::fromUtf8("Malmö FF")), 13},
        {"Malmö (a prefix)", FindTeamNumber(QString::fromUtf8("Malmö")), 0},
        {"no team", FindTeamNumber("Nobody United"), 0},
        {"empty name", FindTeamNumber(""), 0},
        {"name longer than the field", FindTeamNumber("Olympique Nîmes and a much longer tail"), 0},
        {"player by name", FindPlayerNumber(playerName), player},
        {"no player", FindPlayerNumber("Nobody"), 0},
        {"team of player", TeamOfPlayer(player, 2026), playerTeam},
        {"team of player, other year", TeamOfPlayer(player, 2025), 0},
        {"team of no player", TeamOfPlayer(2199, 2026), 0},
    };
    for (const Number& c : numbers) EXPECT_EQ(c.got, c.want) << c.what;

    struct Flag {
        const char* what;
        bool got, want;
    } flags[] = {
        {"in squad", PlayerInTeam(player, playerTeam, 2026), true},
        {"other team", PlayerInTeam(player, playerTeam % 20 + 1, 2026), false},
        {"other year", PlayerInTeam(player, playerTeam, 2025), false},
        {"year too wide for the key", PlayerInTeam(player, playerTeam, 20260), false},
    };
    for (const Flag& c : flags) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(LookupsTest, SeasonRulesAndMatchdays) {
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "champan.dbf"));
        SeasonRules twenty;
        twenty.win = 2;
        twenty.draw = 1;
        twenty.teams = 20;
        SeasonRules fiftyOne = twenty, none = twenty;
        fiftyOne.teams = 51;
        none.teams = 0;
        // Stored without a matchday count, as an import stores them.
        ASSERT_TRUE(SaveSeasonParams(*t, 2, 2026, twenty));
        ASSERT_TRUE(SaveSeasonParams(*t, 3, 2026, fiftyOne));
        ASSERT_TRUE(SaveSeasonParams(*t, 4, 2026, none));
        CloseTable(t);
    }
    struct Case {
        int championship, year;
        SeasonRules want;
    } cases[] = {
        {1, 2026, {3, 1, 0, 0, 0, 20, 38}},
        {1, 2025, {3, 1, 0, 0, 0, 20, 38}},
        {1, 2024, {}},
        {2, 2026, {2, 1, 0, 0, 0, 20, 38}},
        {3, 2026, {2, 1, 0, 0, 0, 51, 99}},
        {4, 2026, {2, 1, 0, 0, 0, 0, 0}},
        {1000, 2026, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetSeasonParams(c.championship, c.year), c.want) << c.championship << "/" << c.year;

    const QStringList days = DayListEntries(2026, 2);
    ASSERT_EQ(days.size(), 38);
    EXPECT_EQ(days.front(), "1");
    EXPECT_EQ(days.back(), "38");
    EXPECT_TRUE(DayListEntries(2024, 1).isEmpty());
}

TEST_F(LookupsTest, SeasonAndSquadLists) {
    std::vector<int> all;
    for (int t = 1; t <= 20; ++t) all.push_back(t);
    // Equal keys come in the index's order: the lists follow it, whatever it is.
    const std::vector<int> teams = SeasonTeamNumbers(2026, 1);
    std::vector<int> sorted = teams;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, all);
    EXPECT_TRUE(SeasonTeamNumbers(2025, 1).empty());
    EXPECT_TRUE(SeasonTeamNumbers(2026, 2).empty());

    const QStringList plain = SeasonTeamEntries(2026, 1, false), numbered = SeasonTeamEntries(2026, 1, true);
    ASSERT_EQ(plain.size(), 20);
    ASSERT_EQ(numbered.size(), 20);
    for (int i = 0; i < 20; ++i) {
        const int t = teams[static_cast<size_t>(i)];
        EXPECT_EQ(plain[i], GetTeamName(t));
        EXPECT_EQ(EntryNumber(numbered[i]), t);
        EXPECT_EQ(EntryName(numbered[i]), GetTeamName(t));
    }

    std::vector<int> squad;
    for (int s = 1; s <= 14; ++s) squad.push_back(700 + s);
    EXPECT_EQ(TeamPlayerNumbers(7, 2026), squad);
    EXPECT_TRUE(TeamPlayerNumbers(7, 2025).empty());
    const QStringList players = TeamPlayerEntries(7, 2026, true);
    ASSERT_EQ(players.size(), 14);
    EXPECT_EQ(EntryNumber(players[3]), 704);
    EXPECT_EQ(EntryName(players[3]), GetPlayerName(704));

    const QStringList seasons = SeasonComboEntries();
    ASSERT_EQ(seasons.size(), 201);
    EXPECT_EQ(seasons[108], "2008 - 2009");
    EXPECT_EQ(seasons.back(), "2100 - 2101");
    for (auto [year, index] : {std::pair{1899, -1}, {1900, 0}, {2026, 126}, {2100, 200}, {2101, -1}})
        EXPECT_EQ(SeasonComboIndex(year), index) << year;
    EXPECT_EQ(SeasonOfComboIndex(126), 2026);
}

TEST_F(LookupsTest, RoutinesOnATableTheCallerOpened) {
    std::unique_ptr<xb::TXbDbf> champion, joueq, eqchamp, equipe;
    ASSERT_TRUE(OpenTable(champion, "champion.dbf"));
    ASSERT_TRUE(OpenTable(joueq, "joueq.dbf"));
    ASSERT_TRUE(OpenTable(eqchamp, tmp.file("eqchamp.dbf")));
    ASSERT_TRUE(OpenTable(equipe, "equipe.dbf"));
    std::unique_ptr<xb::TXbDbf> missing;
    EXPECT_FALSE(OpenTable(missing, "nothing.dbf"));
    EXPECT_EQ(missing, nullptr);

    EXPECT_EQ(GetChampionshipNameT(*champion, 1), QString::fromUtf8("Ligue des Régions - élite"));
    EXPECT_EQ(GetChampionshipNameT(*champion, 5), "");
    EXPECT_EQ(FindChampionshipNumber(*champion, QString::fromUtf8("Coupe d'Île-de-France")), 2);
    EXPECT_EQ(FindChampionshipNumber(*champion, "Coupe"), 0);
    EXPECT_EQ(NextChampionshipNumber(*champion), 3);

    struct Flag {
        const char* what;
        bool got, want;
    } flags[] = {
        {"squad member", RosterEntryExists(*joueq, 3, 305, 2026), true},
        {"in any squad", RosterEntryExists(*joueq, 0, 305, 2026), true},
        {"other team", RosterEntryExists(*joueq, 4, 305, 2026), false},
        {"other year", RosterEntryExists(*joueq, 0, 305, 2025), false},
        {"team in the season", ChampionshipTeamExists(*eqchamp, 2026, 5, 1), true},
        {"team in any championship", ChampionshipTeamExists(*eqchamp, 2026, 5, 0), true},
        {"other championship", ChampionshipTeamExists(*eqchamp, 2026, 5, 2), false},
        {"no such team", ChampionshipTeamExists(*eqchamp, 2026, 21, 0), false},
        {"championship too wide", ChampionshipTeamExists(*eqchamp, 2026, 5, 1001), false},
    };
    for (const Flag& c : flags) EXPECT_EQ(c.got, c.want) << c.what;

    // Entries without a positive number keep what they hold; a missing number gives the empty text.
    const std::vector<int> numbers = {0, 3, -1, 99, 5};
    std::vector<QString> names(5, "keep");
    LoadTeamNames(names, numbers);
    EXPECT_EQ(names,
              (std::vector<QString>{"keep", "FC Gueugnon", "keep", "", QString::fromUtf8("Sète Olympique")}));
    std::vector<QString> viaOpen;
    GetTeamNames(*equipe, viaOpen, numbers);
    EXPECT_EQ(viaOpen,
              (std::vector<QString>{"", "FC Gueugnon", "", "", QString::fromUtf8("Sète Olympique")}));
    std::vector<QString> champs;
    GetChampionshipNames(*champion, champs, {2, 7});
    EXPECT_EQ(champs, (std::vector<QString>{QString::fromUtf8("Coupe d'Île-de-France"), ""}));
    std::vector<QString> players;
    LoadPlayerNames(players, {305, 2199});
    EXPECT_EQ(players, (std::vector<QString>{GetPlayerName(305), ""}));

    for (auto* t : {&champion, &joueq, &eqchamp, &equipe}) CloseTable(*t);
}

// A name array is filled by one walk of the table in number order, stepping over the rows between the
// numbers asked and seeking a number far ahead: every entry must still get its own row's name, whatever
// the order, the repeats, the gaps and the deleted rows of the list.
TEST_F(LookupsTest, NameArraysGiveEachEntryItsOwnRowWhateverTheOrderAndGaps) {
    ASSERT_TRUE(DeletePlayer(505));
    std::map<int, QString> stored;
    for (const auto& t : season)
        if (t.file == "joueur.dbf")
            for (const auto& r : t.rows) stored[std::stoi(r[0])] = QString::fromStdString(r[1]);
    stored.erase(505);
    const std::vector<std::vector<int>> lists = {
        {101, 2014},                                   // far apart: the walk seeks the second
        {2014, 1305, 101, 1305, 0, -4, 101},           // any order, repeats and entries to keep
        {100, 150, 504, 505, 506, 2015, 99999, 1200},  // missing between, deleted, past the end
        {},
    };
    std::vector<int> every;
    for (const auto& [n, name] : stored) every.push_back(n);
    std::reverse(every.begin(), every.end());
    for (std::vector<int> numbers : lists) {
        if (numbers.empty()) numbers = every;
        std::vector<QString> names(numbers.size(), "keep");
        LoadPlayerNames(names, numbers);
        ASSERT_EQ(names.size(), numbers.size());
        for (size_t i = 0; i < numbers.size(); ++i) {
            const int n = numbers[i];
            const QString want = n <= 0 ? QString("keep") : stored.count(n) ? stored[n] : QString();
            EXPECT_EQ(names[i], want) << "entry " << i << ", player " << n;
        }
    }
}
}  // namespace
