#include "app/editing/match_entry.h"

#include "app/shell/entry_rules.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/table_scopes.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/file.h"

#include <algorithm>

namespace app {

namespace {

std::string num(int n) {
    return std::to_string(n);
}

std::string eventKey(const MatchKey& m) {
    return NumberKey({{m.championship, 5}, {m.year, 4}, {m.matchday, 2}, {m.home, 5}, {m.away, 5}});
}

std::string eventCondition(const MatchKey& m) {
    return "NUCHAMP=" + num(m.championship) + " .AND. ANNEE=" + num(m.year) +
           " .AND. NUJOURNEE=" + num(m.matchday) + " .AND. NUEQ1=" + num(m.home) +
           " .AND. NUEQ2=" + num(m.away);
}

MatchKey keyOf(const MatchRow& r) {
    return {r.championship, r.year, r.matchday, r.home, r.away};
}

MatchEvent eventOf(xb::TXbDbf& t) {
    return {t.FieldGetInt("NUJOUEUR"), t.FieldGetInt("MINUTE"), t.FieldGetInt("TYPE"), t.FieldGetInt("NUEQBEN")};
}

// The events table in the order of its match key, the deleted rows shown (storedEvents skips them),
// opened on the match's first row.
class EventTableScope : public LeagueTableScope {
public:
    EventTableScope(const char* component, EventTable table, const MatchKey& m)
        : LeagueTableScope(component, kEventTableFiles[table == EventTable::Goals ? 0 : 1], "NUCHAMP",
                           Rows::kWithDeleted, eventKey(m)) {}
};

// The match's events as stored, with their record numbers, in key order; the table was opened on the
// match's key (EventTableScope).
std::vector<std::pair<int32_t, MatchEvent>> storedEvents(xb::TXbDbf& t, const MatchKey& m) {
    std::vector<std::pair<int32_t, MatchEvent>> out;
    if (!t.FindOpenKey()) return out;
    WhileScope match(t, eventCondition(m));
    for (; !t.IsEof(); t.Skip(1))
        if (!t.IsDeleted()) out.emplace_back(t.RecNo(), eventOf(t));
    return out;
}

}  // namespace

ResultChoice ChoiceOfScore(int homeGoals, int awayGoals) {
    if (homeGoals > awayGoals) return ResultChoice::V1;
    if (awayGoals > homeGoals) return ResultChoice::V2;
    return ResultChoice::N;
}

ResultChoice ChoiceOfCode(const std::string& code) {
    if (code == "V1") return ResultChoice::V1;
    if (code == "V2") return ResultChoice::V2;
    if (code == "N" || code == "N ") return ResultChoice::N;
    if (code == "F1") return ResultChoice::F1;
    if (code == "F2") return ResultChoice::F2;
    if (code == "AU") return ResultChoice::AU;
    return ResultChoice::None;
}

std::string CodeOfChoice(ResultChoice choice) {
    switch (choice) {
        case ResultChoice::V1:
            return "V1";
        case ResultChoice::V2:
            return "V2";
        case ResultChoice::N:
            return "N";
        case ResultChoice::F1:
            return "F1";
        case ResultChoice::F2:
            return "F2";
        case ResultChoice::AU:
            return "AU";
        case ResultChoice::None:
            break;
    }
    return {};
}

QString MatchdaySign(const std::string& code) {
    if (code == "F1" || code == "F2") return QString::fromStdString(code);
    if (code == "AU") return QStringLiteral("*");
    return {};
}

std::optional<int> NumberInRange(const QString& text, int low, int high) {
    const std::optional<int> n = ParseInteger(text);
    if (!n || *n < low || *n > high) return std::nullopt;
    return n;
}

int FindRowByMinute(const QStringList& minutes, int minute) {
    int p = 1;
    for (int i = 0; i < minutes.size(); ++i) {
        const std::optional<int> m = ParseInteger(minutes[i].trimmed());
        if (m && *m <= minute) p = i + 2;
    }
    return p;
}

int CreditedTeam(bool inHome, bool inAway, bool ownGoal) {
    if (inHome && inAway) return 0;
    if (inHome) return ownGoal ? 2 : 1;
    if (inAway) return ownGoal ? 1 : 2;
    return 1;
}

std::vector<MatchEvent> LoadMatchEvents(EventTable table, const MatchKey& m) {
    std::vector<MatchEvent> out;
    const std::string key = eventKey(m);
    if (key.empty()) return out;
    EventTableScope t(table == EventTable::Goals ? "prempgrillebut" : "prempgrillecarton", table, m);
    for (const auto& stored : storedEvents(*t, m)) out.push_back(stored.second);
    return out;
}

bool SaveMatchEvents(EventTable table, const MatchKey& m, const std::vector<MatchEvent>& events) {
    if (eventKey(m).empty()) return false;
    // One open of the table for the read and the writes: on a network share an open costs more than the
    // rows it writes.
    EventTableScope t(table == EventTable::Goals ? "penrbut" : "penrcarton", table, m);
    std::vector<std::pair<int32_t, MatchEvent>> stored = storedEvents(*t, m);
    // An event stored as it is keeps its row: same key, same fields, nothing written. The rows of the
    // events that changed or went are rewritten in place by the new ones (so a match stored again does
    // not grow the table), and only what is left over is deleted or appended (ReplaceRows).
    std::vector<int32_t> records;
    std::vector<RowFill> rows;
    for (const MatchEvent& e : events) {
        if (e.player < 1) continue;
        const auto same = std::find_if(stored.begin(), stored.end(), [&e](const auto& s) { return s.second == e; });
        if (same != stored.end()) {
            stored.erase(same);
            continue;
        }
        rows.push_back([&m, e](xb::TXbDbf& r) {
            r.FieldPutInt("NUCHAMP", m.championship);
            r.FieldPutInt("ANNEE", m.year);
            r.FieldPutInt("NUJOURNEE", m.matchday);
            r.FieldPutInt("NUEQ1", m.home);
            r.FieldPutInt("NUEQ2", m.away);
            r.FieldPutInt("NUJOUEUR", e.player);
            r.FieldPutInt("NUEQBEN", e.team);
            r.FieldPutInt("MINUTE", e.minute);
            r.FieldPutInt("TYPE", e.type);
        });
    }
    for (const auto& s : stored) records.push_back(s.first);
    return ReplaceRows(*t, records, rows);
}

bool SeekMatchRow(xb::TXbDbf& t, const MatchKey& m) {
    const std::string key = NumberKey({{m.championship, 3}, {m.year, 4}, {m.matchday, 3}, {m.home, 5}});
    if (key.empty()) return false;
    t.SetOrderUnlessCurrent("CHANJOEQ1");
    if (!t.Find(key)) return false;
    WhileScope day(t, "ANNEE=" + num(m.year) + " .AND. NUCHAMP=" + num(m.championship) +
                          " .AND. NUJOURNEE=" + num(m.matchday) + " .AND. NUEQ1=" + num(m.home));
    for (; !t.IsEof(); t.Skip(1))
        if (t.FieldGetInt("NUEQ2") == m.away) return true;
    return false;
}

namespace {
// Whether the table stands on the row of the match.
bool onMatchRow(xb::TXbDbf& t, const MatchKey& key) {
    return t.FieldGetInt("NUCHAMP") == key.championship && t.FieldGetInt("ANNEE") == key.year &&
           t.FieldGetInt("NUJOURNEE") == key.matchday && t.FieldGetInt("NUEQ1") == key.home &&
           t.FieldGetInt("NUEQ2") == key.away;
}

// The current row of resultat as the match of key.
MatchRow matchRowOf(xb::TXbDbf& t, const MatchKey& m) {
    MatchRow r;
    r.championship = m.championship;
    r.year = m.year;
    r.matchday = m.matchday;
    r.home = m.home;
    r.away = m.away;
    r.homeGoals = t.FieldGetInt("BEQ1");
    r.awayGoals = t.FieldGetInt("BEQ2");
    r.code = t.FieldGetStr("CODER");
    r.homePoints = t.FieldGetInt("PTEQ1");
    r.awayPoints = t.FieldGetInt("PTEQ2");
    return r;
}
}  // namespace

std::optional<MatchRow> ReadMatch(xb::TXbDbf& t, const MatchKey& m) {
    if (!SeekMatchRow(t, m)) return std::nullopt;
    return matchRowOf(t, m);
}

bool SameMatchValues(const MatchRow& a, const MatchRow& b) {
    auto code = [](std::string c) {
        while (!c.empty() && c.back() == ' ') c.pop_back();
        return c;
    };
    return a.homeGoals == b.homeGoals && a.awayGoals == b.awayGoals && code(a.code) == code(b.code) &&
           a.homePoints == b.homePoints && a.awayPoints == b.awayPoints;
}

LoadedMatch ReadStoredMatch(xb::TXbDbf& t, const MatchKey& m) {
    LoadedMatch out;
    out.row = ReadMatch(t, m);
    if (!out.row) return out;
    out.goals = LoadMatchEvents(EventTable::Goals, m);
    out.cards = LoadMatchEvents(EventTable::Cards, m);
    return out;
}

StoreOutcome StoreMatch(xb::TXbDbf& t, const MatchRow& match, const std::vector<MatchEvent>& goals,
                        const std::vector<MatchEvent>& cards, bool mustExist, const LoadedMatch* loaded) {
    const MatchKey key = keyOf(match);
    if (eventKey(key).empty()) return StoreOutcome::Refused;
    // The goals' and the cards' tables look their names up in one listing of the folder.
    xb::platform::NameLookupScope names;
    // The row is written once: a new match's row is appended whole (and not rewritten under its record
    // lock after), a stored one is rewritten only where a field differs.
    bool written = false;
    if (!SeekMatchRow(t, key)) {
        if (mustExist || (loaded && loaded->row)) return StoreOutcome::Gone;
        switch (AppendNewMatchResult(t, match)) {
            case AppendOutcome::kFailed:
                return StoreOutcome::LockFailed;
            case AppendOutcome::kAppended:
                written = true;
                break;
            case AppendOutcome::kFound:  // another station stored it meanwhile: ours is rewritten over it
                break;
        }
        // The table stands on the row; it is sought again only when it does not.
        if (!onMatchRow(t, key) && !SeekMatchRow(t, key)) return StoreOutcome::Gone;
    }
    // The row and its events are written under one record lock: a second station storing the same match
    // waits for it and writes both after ours, never its row with our events.
    if (!WaitForLock([&] { return t.RLock(); })) return StoreOutcome::LockFailed;
    LockRelease unlock{t};
    // Compared under the lock that every station's store of this match holds: no save can come between
    // the comparison and the writes. A row this store has just appended is the one the window meant.
    if (loaded && !written) {
        t.Skip(0);
        if (!loaded->row || !SameMatchValues(matchRowOf(t, key), *loaded->row) ||
            LoadMatchEvents(EventTable::Goals, key) != loaded->goals ||
            LoadMatchEvents(EventTable::Cards, key) != loaded->cards)
            return StoreOutcome::Changed;
    }
    if (!written && !RewriteMatchResult(t, match)) return StoreOutcome::LockFailed;
    if (!SaveMatchEvents(EventTable::Goals, key, goals)) return StoreOutcome::LockFailed;
    if (!SaveMatchEvents(EventTable::Cards, key, cards)) return StoreOutcome::LockFailed;
    return StoreOutcome::Saved;
}

namespace {
// Deletes the match's goals and cards under the row's record lock, then the row. With listed, the row
// is compared under that lock first.
MatchDeleteOutcome deleteMatch(xb::TXbDbf& t, const MatchKey& m, const MatchRow* listed) {
    if (eventKey(m).empty()) return MatchDeleteOutcome::LockFailed;
    {
        const bool stored = SeekMatchRow(t, m);
        if (!stored && listed) return MatchDeleteOutcome::Gone;
        if (stored && !WaitForLock([&] { return t.RLock(); })) return MatchDeleteOutcome::LockFailed;
        LockRelease unlock{t};
        if (stored && listed) {
            // Read again under the lock that every station's store and delete of this match holds.
            t.Skip(0);
            if (t.IsEof() || t.IsDeleted() || !onMatchRow(t, m)) return MatchDeleteOutcome::Gone;
            if (!SameMatchValues(matchRowOf(t, m), *listed)) return MatchDeleteOutcome::Changed;
        }
        if (!DeleteMatchGoals(m.championship, m.year, m.matchday, m.home, m.away)) return MatchDeleteOutcome::LockFailed;
        if (!DeleteMatchCards(m.championship, m.year, m.matchday, m.home, m.away)) return MatchDeleteOutcome::LockFailed;
    }
    return DeleteMatchResult(t, m.championship, m.year, m.matchday, m.home, m.away) ? MatchDeleteOutcome::Deleted
                                                                                     : MatchDeleteOutcome::LockFailed;
}
}  // namespace

bool DeleteMatch(xb::TXbDbf& t, const MatchKey& m) {
    return deleteMatch(t, m, nullptr) == MatchDeleteOutcome::Deleted;
}

MatchDeleteOutcome DeleteListedMatch(xb::TXbDbf& t, const MatchRow& listed) {
    return deleteMatch(t, keyOf(listed), &listed);
}

MatchRow MatchRowOfLine(int championship, int year, int matchday, const MatchdayLine& l) {
    return {championship, year, matchday, l.home, l.away, l.homeGoals, l.awayGoals, l.code, l.homePoints,
            l.awayPoints};
}

std::vector<MatchdayLine> ReadMatchday(xb::TXbDbf& t, int championship, int year, int matchday) {
    std::vector<MatchdayLine> out;
    const std::string key = NumberKey({{championship, 3}, {year, 4}, {matchday, 3}});
    if (key.empty()) return out;
    t.SetOrderToTag("CHANJOEQ1");
    if (!t.Find(key)) return out;
    {
        WhileScope day(t, "ANNEE=" + num(year) + " .AND. NUCHAMP=" + num(championship) +
                              " .AND. NUJOURNEE=" + num(matchday));
        for (; !t.IsEof(); t.Skip(1)) {
            MatchdayLine l;
            l.home = t.FieldGetInt("NUEQ1");
            l.away = t.FieldGetInt("NUEQ2");
            l.homeGoals = t.FieldGetInt("BEQ1");
            l.awayGoals = t.FieldGetInt("BEQ2");
            l.code = t.FieldGetStr("CODER");
            l.homePoints = t.FieldGetInt("PTEQ1");
            l.awayPoints = t.FieldGetInt("PTEQ2");
            out.push_back(std::move(l));
        }
    }
    // Every match is named, however many the matchday holds.
    std::vector<int> numbers;
    for (const MatchdayLine& l : out) numbers.push_back(l.home);
    for (const MatchdayLine& l : out) numbers.push_back(l.away);
    std::vector<QString> names;
    LeagueTableScope teams("us2equipe", "equipe.dbf", "NUMERO");
    GetTeamNames(*teams, names, numbers);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i].homeName = names[i];
        out[i].awayName = names[out.size() + i];
    }
    return out;
}

}  // namespace app
