// Two stations (this process and a league station, lm_league_child) on one folder: a save that comes
// after another station's save of the same row since the window loaded it stores nothing and says so,
// the row as stored now is there to be shown, and a save from the reloaded values goes through. A save
// with no change in between goes through at once.
#include <gtest/gtest.h>

#include "app/editing/master_records.h"
#include "app/editing/match_entry.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_writes.h"
#include "engine/dataset/engine_start.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"

namespace app {
namespace {

class ConcurrentSaves : public xbtest::EngineTest {
protected:
    ConcurrentSaves() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        station = std::make_unique<xbtest::ChildProcess>(LM_LEAGUE_CHILD_PATH, std::vector<std::string>{});
        EXPECT_EQ(station->ask("dir " + tmp.path() + "/"), "0");
    }
    ~ConcurrentSaves() override {
        station.reset();
        SetAppDir(QString());
    }
    static std::string outcome(StoreOutcome o) { return std::to_string(static_cast<int>(o)); }
    // The stored name of a team, read afresh.
    static QString teamName(int team) {
        LeagueTableScope t("name", "equipe.dbf", "NUMERO");
        return t->FindExact(std::to_string(team))
                   ? QString::fromStdString(t->FieldGetStr("NOMEQUIPE")).trimmed()
                   : QString();
    }
    std::unique_ptr<xbtest::ChildProcess> station;
};

TEST_F(ConcurrentSaves, AMatchSavedByAnotherStationIsReportedWithItsValuesAndNeverUndone) {
    std::unique_ptr<xb::TXbDbf> resultat;
    ASSERT_TRUE(OpenTable(resultat, "resultat.dbf"));
    const MatchKey key{1, 2026, 50, 3, 4};
    const MatchRow stored{1, 2026, 50, 3, 4, 2, 1, "V1", 0, 0};
    const std::vector<MatchEvent> goals = {{301, 10, 0, 1}, {302, 20, 0, 1}, {401, 30, 0, 2}};
    ASSERT_EQ(StoreMatch(*resultat, stored, goals, {{402, 44, 0, 2}}, false), StoreOutcome::Saved);

    // Loaded and saved with nothing in between: no question.
    LoadedMatch loaded = ReadStoredMatch(*resultat, key);
    ASSERT_TRUE(loaded.row);
    EXPECT_EQ(loaded.goals, goals);
    MatchRow mine = stored;
    mine.homeGoals = 3;
    EXPECT_EQ(StoreMatch(*resultat, mine, goals, loaded.cards, true, &loaded), StoreOutcome::Saved);

    // A loads, B saves 5:1, A's 6:6 is refused and the table holds B's match, goals included.
    loaded = ReadStoredMatch(*resultat, key);
    EXPECT_EQ(station->ask("save 50 3 4 5 1"), outcome(StoreOutcome::Saved));
    const MatchRow six{1, 2026, 50, 3, 4, 6, 6, "N", 0, 0};
    EXPECT_EQ(StoreMatch(*resultat, six, {}, {}, true, &loaded), StoreOutcome::Changed);
    const LoadedMatch now = ReadStoredMatch(*resultat, key);
    ASSERT_TRUE(now.row);
    EXPECT_EQ(std::make_pair(now.row->homeGoals, now.row->awayGoals), std::make_pair(5, 1));
    ASSERT_EQ(now.goals.size(), 6u);
    EXPECT_EQ(now.goals[0].player, 900);
    EXPECT_TRUE(now.cards.empty());
    // Only the events changed: the same refusal.
    loaded = now;
    loaded.goals.pop_back();
    EXPECT_EQ(StoreMatch(*resultat, six, {}, {}, true, &loaded), StoreOutcome::Changed);

    // A reloads (the values shown are what is stored now) and saves: the table holds A's second save.
    loaded = now;
    EXPECT_EQ(StoreMatch(*resultat, six, {}, {}, true, &loaded), StoreOutcome::Saved);
    const LoadedMatch last = ReadStoredMatch(*resultat, key);
    EXPECT_EQ(std::make_pair(last.row->homeGoals, last.row->awayGoals), std::make_pair(6, 6));
    EXPECT_TRUE(last.goals.empty());
    // A window that still shows B's 5:1 is refused in turn.
    EXPECT_EQ(StoreMatch(*resultat, stored, goals, {}, true, &now), StoreOutcome::Changed);

    // Deleted by the other connection meanwhile: the save says so and brings nothing back.
    loaded = ReadStoredMatch(*resultat, key);
    {
        std::unique_ptr<xb::TXbDbf> other;
        ASSERT_TRUE(OpenTable(other, "resultat.dbf"));
        ASSERT_TRUE(DeleteMatch(*other, key));
        CloseTable(other);
    }
    EXPECT_EQ(StoreMatch(*resultat, six, {}, {}, false, &loaded), StoreOutcome::Gone);
    EXPECT_FALSE(ReadStoredMatch(*resultat, key).row);
    // A match entered as new that another station stored meanwhile is not overwritten either.
    const LoadedMatch none;
    ASSERT_EQ(StoreMatch(*resultat, {1, 2026, 50, 5, 6, 1, 0, "V1", 0, 0}, {}, {}, false),
              StoreOutcome::Saved);
    EXPECT_EQ(StoreMatch(*resultat, {1, 2026, 50, 5, 6, 0, 2, "V2", 0, 0}, {}, {}, false, &none),
              StoreOutcome::Changed);
    CloseTable(resultat);
}

TEST_F(ConcurrentSaves, ATeamRenameAPlayersNotesAndASeasonsRulesAreNeverUndone) {
    // The team: a rename with no change in between goes through; after B's, A's is refused.
    LeagueTableScope teams("teams", "equipe.dbf", "NUMERO");
    QString loaded = teamName(5);
    ASSERT_FALSE(loaded.isEmpty());
    ASSERT_TRUE(RenameTeam(*teams, 5, QStringLiteral("ALPHA"), &loaded));
    loaded = QStringLiteral("ALPHA");
    EXPECT_EQ(station->ask("rename 5 BRAVO"), "1");
    EXPECT_FALSE(RenameTeam(*teams, 5, QStringLiteral("CHARLIE"), &loaded));
    EXPECT_EQ(LastWriteRefusal().kind, WriteRefusal::Kind::kChanged);
    EXPECT_EQ(teamName(5), QStringLiteral("BRAVO"));
    loaded = teamName(5);
    EXPECT_TRUE(RenameTeam(*teams, 5, QStringLiteral("CHARLIE"), &loaded));
    EXPECT_EQ(teamName(5), QStringLiteral("CHARLIE"));
    // A team deleted meanwhile is said gone and not brought back.
    ASSERT_TRUE(DeleteTeam(5));
    loaded = QStringLiteral("CHARLIE");
    EXPECT_FALSE(RenameTeam(*teams, 5, QStringLiteral("DELTA"), &loaded));
    EXPECT_EQ(LastWriteRefusal().kind, WriteRefusal::Kind::kGone);
    EXPECT_TRUE(teamName(5).isEmpty());

    // The player's notes.
    LeagueTableScope players("players", "joueur.dbf", "NU");
    const std::string key = NumberKey({{301, 5}});
    ASSERT_TRUE(players->FindExact(key));
    PlayerRecord shown = ReadPlayer(*players);
    EXPECT_EQ(station->ask("notes 301 theirs"), "1");
    PlayerRecord mine = shown;
    mine.notes = QStringList{QStringLiteral("mine")};
    EXPECT_FALSE(SavePlayer(*players, mine, &shown));
    EXPECT_EQ(LastWriteRefusal().kind, WriteRefusal::Kind::kChanged);
    ASSERT_TRUE(players->FindExact(key));
    shown = ReadPlayer(*players);
    EXPECT_EQ(shown.notes, QStringList{QStringLiteral("theirs")});
    EXPECT_TRUE(SavePlayer(*players, mine, &shown));
    ASSERT_TRUE(players->FindExact(key));
    EXPECT_EQ(ReadPlayer(*players).notes, QStringList{QStringLiteral("mine")});

    // A season not stored when the window read it, stored by B since: A's rules do not replace B's.
    LeagueTableScope seasons("seasons", "champan.dbf");
    const std::optional<SeasonRules> none = ReadSeasonRow(*seasons, 2, 2026);
    ASSERT_FALSE(none);
    EXPECT_EQ(station->ask("rules 2 2026 2"), "1");
    SeasonRules rules;
    rules.win = 3;
    rules.teams = 18;
    EXPECT_FALSE(SaveSeasonParams(*seasons, 2, 2026, rules, Matchdays::kWritten, &none));
    EXPECT_EQ(LastWriteRefusal().kind, WriteRefusal::Kind::kChanged);
    const std::optional<SeasonRules> theirs = ReadSeasonRow(*seasons, 2, 2026);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(theirs->win, 2);
    EXPECT_TRUE(SaveSeasonParams(*seasons, 2, 2026, rules, Matchdays::kWritten, &theirs));
    EXPECT_EQ(ReadSeasonRow(*seasons, 2, 2026)->win, 3);
}

}  // namespace
}  // namespace app
