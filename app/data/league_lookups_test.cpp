// The reading half of the league library on a filled season: each lookup and list, found and missing.
#include "app/data/league_lookups.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "app/data/kept_tables.h"
#include "app/data/league_reading.h"
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

namespace {

// Appends a row of the named numeric and text fields through the table's index, deleted when asked.
void appendRow(const std::string& file, const std::vector<std::pair<std::string, std::string>>& fields,
               bool deleted = false) {
    LeagueTableScope t("append", file);
    t->Append();
    for (const auto& [name, value] : fields) t->FieldPutStr(name, value);
    t->Post();
    if (deleted) {
        ASSERT_TRUE(t->RLock());
        t->DeleteRec();
        t->UnLock();
    }
}

// What one computation reads of the small tables: names, a season's rules and its team list.
std::string readSmallTables() {
    LeagueReading reading;
    std::vector<QString> teams, players;
    reading.TeamNames(teams, {3, 5, 25, 26, 1});
    reading.PlayerNames(players, {305, 2199});
    std::string out;
    for (const QString& n : teams) out += n.toStdString() + "|";
    for (const QString& n : players) out += n.toStdString() + "|";
    const SeasonRules r = reading.SeasonParams(1, 2026);
    out += std::to_string(r.win) + " " + std::to_string(r.teams) + " " + std::to_string(r.matchdays) + "|";
    out += std::to_string(reading.SeasonParams(7, 2030).teams) + "|";
    for (int t : reading.SeasonTeams(2026, 1)) out += std::to_string(t) + " ";
    for (int t : reading.SeasonTeams(2030, 7)) out += std::to_string(t) + " ";
    return out;
}

}  // namespace

// A computation reads a small table whole, without its index, where no kept table of it is at hand: it
// must answer as the index does (the first row of a number or season in record order, deleted rows
// left out), open the table alone, and leave a table too large for one read to its index.
TEST_F(LookupsTest, ASmallTableReadWholeAnswersAsItsIndexDoes) {
    SetKeptTableIdle(std::chrono::hours(1));
    appendRow("equipe.dbf", {{"NUEQUIPE", "5"}, {"NOMEQUIPE", "Second of five"}});
    appendRow("equipe.dbf", {{"NUEQUIPE", "25"}, {"NOMEQUIPE", "Deleted"}}, true);
    appendRow("equipe.dbf", {{"NUEQUIPE", "26"}, {"NOMEQUIPE", "Twenty-six"}});
    {
        LeagueTableScope t("delete", "equipe.dbf", "NUMERO");
        ASSERT_TRUE(t->FindExact("3"));
        ASSERT_TRUE(t->RLock());
        t->DeleteRec();
        t->UnLock();
    }
    appendRow("equipe.dbf", {{"NUEQUIPE", "3"}, {"NOMEQUIPE", "Third again"}});
    for (const char* teams : {"9", "2"})
        appendRow("champan.dbf", {{"ANNEE", "2030"}, {"NUCHAMP", "7"}, {"PTV", "3"}, {"NBEQUIPE", teams}});
    for (const char* team : {"4", "9", "1"})
        appendRow("eqchamp.dbf", {{"ANNEE", "2030"}, {"NUCHAMP", "7"}, {"NUEQUIPE", team}},
                  std::string(team) == "9");
    ReleaseKeptTables();

    const xb::platform::FileCallCounts before = xb::platform::FileCalls();
    const std::string whole = readSmallTables();
    const xb::platform::FileCallCounts calls = xb::platform::FileCalls() - before;
    EXPECT_EQ(KeptTableCount(), 0) << "a table read whole was kept open";
    // champan, eqchamp, equipe and joueur alone: no index, memo or semaphore file.
    EXPECT_EQ(calls.open, 4u);
    EXPECT_EQ(calls.write, 0u);
    EXPECT_EQ(whole, "Third again|Sète Olympique||Twenty-six|" + GetTeamName(1).toStdString() + "|" +
                         GetPlayerName(305).toStdString() + "||3 20 38|9|" +
                         [] {
                             std::string s;
                             for (int t : SeasonTeamNumbers(2026, 1)) s += std::to_string(t) + " ";
                             return s;
                         }() + "4 1 ");

    // The same through the indexes: a kept table of a file has its index answer.
    for (const char* file : {"champan.dbf", "eqchamp.dbf", "equipe.dbf", "joueur.dbf"})
        DoneWithLeagueTable(TakeLeagueTable("keep", file, {}));
    ASSERT_EQ(KeptTableCount(), 4);
    EXPECT_EQ(readSmallTables(), whole);

    // Players beyond one read's worth of rows: the index answers, and the table is kept as any other.
    ReleaseKeptTables();
    const int perRead = static_cast<int>(kWholeTableBytes / 78) + 1;
    for (int n = 3000; n < 3000 + perRead; ++n)
        appendRow("joueur.dbf", {{"NUJOUEUR", std::to_string(n)}, {"NOMJOUEUR", "Player " + std::to_string(n)}});
    ReleaseKeptTables();
    std::vector<QString> names;
    LeagueReading().PlayerNames(names, {3000 + perRead - 1, 305});
    EXPECT_EQ(names, (std::vector<QString>{QString("Player %1").arg(3000 + perRead - 1), GetPlayerName(305)}));
    EXPECT_EQ(KeptTableCount(), 1);

    // A table that cannot be read whole is opened with its index, which says why.
    ReleaseKeptTables();
    std::filesystem::resize_file(tmp.file("equipe.dbf"), 20);
    EXPECT_ANY_THROW(LeagueReading().TeamName(1));
}
