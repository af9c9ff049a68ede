// What the match entry and the matchday results windows compute and store without a window: the outcome
// of a score, the sign a result shows, where an event goes in its grid, the goals and cards of a match,
// and the match row with its events stored or deleted as one unit.
//
// A match is its championship, year, matchday, home and away team (MatchKey): a home team may play twice
// on one matchday, so every read, rewrite and delete of events uses all five, never the home team alone.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "app/data/league_tables.h"
#include "app/data/league_writes.h"

namespace xb {
class TXbDbf;
}

namespace app {

struct MatchKey {
    int championship = 0, year = 0, matchday = 0, home = 0, away = 0;
};

// ---- the values a match accepts ----

inline constexpr int kMaxMatchGoals = 999;   // resultat.beq1/beq2 hold three digits
inline constexpr int kMinOtherPoints = -99;  // resultat.pteq1/pteq2: N 3
inline constexpr int kMaxOtherPoints = 999;
inline constexpr int kFirstMinute = 1, kLastMinute = 120;  // but/carton.minute

// The outcome radios of the entry window.
enum class ResultChoice { None, V1, V2, N, F1, F2, AU };

// V1 when home > away, V2 when away > home, N when equal.
ResultChoice ChoiceOfScore(int homeGoals, int awayGoals);
// The radio of a stored code ("N" and "N " are a draw); None for any other code.
ResultChoice ChoiceOfCode(const std::string& code);
// The stored code of a choice ("V1", "V2", "N", "F1", "F2", "AU"); empty for None.
std::string CodeOfChoice(ResultChoice choice);
// What the matchday list shows beside a result: "F1", "F2", "*" for another outcome, else nothing.
QString MatchdaySign(const std::string& code);

// The number a text holds when it is an integer within [low, high].
std::optional<int> NumberInRange(const QString& text, int low, int high);

// ---- the event grids ----

// Where a new event of `minute` goes among the grid's data rows (their minute cells in grid order, row 1
// first): after the last row whose minute is not later, or first when every row is later. The answer is
// a grid row (1 = first data row; minutes.size() + 1 = after the last).
int FindRowByMinute(const QStringList& minutes, int minute);

// The team a goal or card is credited to from the squads the player is in (PlayerInTeam for home and
// away): 1 or 2, or 0 when he is in both and the user must choose. An own goal goes to the other team.
int CreditedTeam(bool inHome, bool inAway, bool ownGoal);

// ---- goals and cards of a match ----

enum class EventTable { Goals, Cards };
// The files of the two tables, as the match entry holds them open while it shows.
inline const std::vector<std::string> kEventTableFiles = {"but.dbf", "carton.dbf"};

// A goal (type 0..5) or a card (type 0 yellow, otherwise red) and the team credited (1 home, 2 away).
struct MatchEvent {
    int player = 0, minute = 0, type = 0, team = 1;
    bool operator==(const MatchEvent&) const = default;
};

// The events stored for the match, in key order (minute, then player).
std::vector<MatchEvent> LoadMatchEvents(EventTable table, const MatchKey& match);
// Replaces the match's events by these (every event of the match first deleted, then each appended
// whole under the append lock). False when a refused lock stopped it: what was written then stays, and
// a second call completes the set.
bool SaveMatchEvents(EventTable table, const MatchKey& match, const std::vector<MatchEvent>& events);

// ---- the match row ----

// Positions the open resultat table on the match's row; false when it is not stored.
bool SeekMatchRow(xb::TXbDbf& resultat, const MatchKey& match);
// The stored match, when it is stored.
std::optional<MatchRow> ReadMatch(xb::TXbDbf& resultat, const MatchKey& match);

// A match as a window loaded it, or as it is stored now: its row (none when it is not stored) and its
// goals and cards in key order (LoadMatchEvents).
struct LoadedMatch {
    std::optional<MatchRow> row;
    std::vector<MatchEvent> goals, cards;
};
// The match as stored now.
LoadedMatch ReadStoredMatch(xb::TXbDbf& resultat, const MatchKey& match);
// The stored values a window shows and saves (the score, the outcome's code, the other points) are
// equal; the code is compared without the blank that pads it.
bool SameMatchValues(const MatchRow& a, const MatchRow& b);

enum class StoreOutcome {
    Saved,       // the row and both event sets are stored
    LockFailed,  // a lock stayed refused: the row may be stored, the events not all; storing again completes
    Gone,        // a match that had to exist is not stored (deleted by another station): nothing written
    Refused,     // a value out of range: nothing written
    Changed,  // the match as stored is not what the window loaded (another station saved it): nothing written
};

// Stores the match row (SaveMatchResult) and rewrites its goals and cards while holding the row's record
// lock, so that two stations storing one match leave one station's events, never a mixture. With
// mustExist (a modify), a match no longer stored is not created again. With loaded, what the window
// loaded is compared under that lock with the row and the events as stored, and nothing is written when
// they differ (another station saved the match meanwhile); a window that saves over them passes what it
// was shown as stored.
StoreOutcome StoreMatch(xb::TXbDbf& resultat, const MatchRow& match, const std::vector<MatchEvent>& goals,
                        const std::vector<MatchEvent>& cards, bool mustExist,
                        const LoadedMatch* loaded = nullptr);

// Deletes the match's goals and cards, then its row. False when a refused lock left something.
bool DeleteMatch(xb::TXbDbf& resultat, const MatchKey& match);

enum class MatchDeleteOutcome {
    Deleted,     // the row and its goals and cards are gone
    LockFailed,  // a lock stayed refused: what was deleted stays deleted, deleting again completes
    Gone,        // the match is not stored (another station deleted it): nothing done
    Changed,     // the row as stored is not the one the window listed (another station saved it): nothing done
};
// DeleteMatch of the match a window listed, as every save checks: under the row's record lock the row as
// stored is compared with listed (SameMatchValues), and nothing is deleted when they differ. A window that
// deletes all the same passes the row as stored now.
MatchDeleteOutcome DeleteListedMatch(xb::TXbDbf& resultat, const MatchRow& listed);

// ---- the matchday list ----

struct MatchdayLine {
    int home = 0, away = 0, homeGoals = 0, awayGoals = 0;
    std::string code;
    int homePoints = 0, awayPoints = 0;
    QString homeName, awayName;
};
// The match row a listed line was read from.
MatchRow MatchRowOfLine(int championship, int year, int matchday, const MatchdayLine& line);

// The matches of a matchday in the order of the results tag (home team number), with the team names.
std::vector<MatchdayLine> ReadMatchday(xb::TXbDbf& resultat, int championship, int year, int matchday);

}  // namespace app
