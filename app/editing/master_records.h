// What the team and player windows store, without a window: the checks of a typed name, the new team
// with the squad gathered while it was created, the player row with its memo, and the deletes that leave
// nothing referring to a deleted number. Every routine reaches the tables through the league library.
#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace xb {
class TXbDbf;
}

namespace app {

inline constexpr int kTeamNameWidth = 20;    // equipe.nomequipe
inline constexpr int kPlayerNameWidth = 30;  // joueur.nomjoueur
inline constexpr int kBirthDateWidth = 10;   // joueur.datenais
inline constexpr int kNationWidth = 20;      // joueur.nation

// A typed name as it is compared and stored: without blanks at either end.
QString StoredName(const QString& typed);

// Whether a name may be stored for the record numbered `own` (0 while creating), given the number that
// already holds the same name (0 for none).
enum class NameVerdict { kAccepted, kEmpty, kTaken };
NameVerdict JudgeName(const QString& name, int own, int holder);

// ---- teams ----

// Players chosen for a team's squads while the team is being created: (season year, player), in the
// order chosen, without repeats. They are written once the team row exists, under its number.
class PendingSquad {
public:
    void add(int year, int player);
    void remove(int year, int player);
    void clear() { m_rows.clear(); }
    // The players chosen for a season, in the order chosen.
    std::vector<int> players(int year) const;
    const std::vector<std::pair<int, int>>& rows() const { return m_rows; }

private:
    std::vector<std::pair<int, int>> m_rows;
};

struct CreatedTeam {
    int number = 0;           // 0: nothing was written
    bool squadStored = true;  // false: a squad row could not be written (the team row stands)
};
// On an open equipe table: the team numbered under the append lock, then its pending squad rows.
CreatedTeam CreateTeamWithSquad(xb::TXbDbf& equipe, const QString& name, const PendingSquad& squad);

// The team and everything that refers to it: goals and cards of its matches, its squads of every season,
// its season links and results, and the team row last. False when a refused lock stopped it; running it
// again completes it.
bool DeleteTeamAndDependants(int team);

// ---- players ----

struct PlayerRecord {
    int number = 0;
    QString name;
    QString birthDate;  // the date field's mask text, "  /  /    " when none was typed
    int position = -1;  // 0 goalkeeper .. 3 attacker; -1 none
    QString nation;
    QStringList notes;  // the memo's lines
    // The row's memo pointer leads to no note the memo file holds (notes is then empty). Saving such a
    // player with no notes keeps the pointer as it is; notes given replace it.
    bool notesDamaged = false;
};

// The current row of an open joueur table (blanks that pad name and nation removed). A note that cannot
// be read is reported as damaged, never by a halt.
PlayerRecord ReadPlayer(xb::TXbDbf& joueur);
// The values that do not fit their fields, as field names; empty when the record can be stored.
QStringList PlayerFieldsTooLong(const PlayerRecord& player);
// On an open joueur table: a new player numbered under the append lock, his fields and memo in that one
// append. The number, or 0 when nothing was written.
int CreatePlayer(xb::TXbDbf& joueur, const PlayerRecord& player);
// On an open joueur table: the player's row (found by player.number) rewritten under its record lock;
// false when the lock was refused or the row is gone. With loaded (the record as the window read it),
// a row another station changed meanwhile, notes included, is not overwritten (LastWriteRefusal:
// kChanged; kGone when it was deleted).
bool SavePlayer(xb::TXbDbf& joueur, const PlayerRecord& player, const PlayerRecord* loaded = nullptr);
// The player's values on one line, for a message: name, birth date, nation, then the notes.
QString PlayerSummary(const PlayerRecord& player);
// The values a window shows and saves are equal (number, name, birth date, position, nation, notes).
bool SamePlayerValues(const PlayerRecord& a, const PlayerRecord& b);

}  // namespace app
