// How the league library reaches its tables: the data directory, the table a routine opens for itself,
// and the two ways a routine changes rows (one locked write, one delete-while loop). Every routine of the
// library writes and deletes through these, and so may the windows that store rows of their own.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/data/match_points.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

// A table or index file of the league: an absolute name is kept, a bare name is taken in the data
// directory (GetAppDir).
std::string LeagueFilePath(const std::string& name);

// The tables this run keeps as they are because of damage found at the start ("resultat.dbf", as
// LeagueTables() names them): read-only ones are opened for reading only, unpacked ones are left out
// of the pack. Both empty until set; set again replaces them.
void KeepTablesAsTheyAre(std::set<std::string> readOnly, std::set<std::string> unpacked);
bool IsTableKeptReadOnly(const std::string& file);
bool IsTableKeptUnpacked(const std::string& file);

// A refused lock is tried again for this long before a write gives up with nothing changed.
inline constexpr int kLockWaitMs = 1000;
// Takes a lock with take(), trying again until it is granted or kLockWaitMs have passed.
bool WaitForLock(const std::function<bool()>& take);

// A table opened for the length of one routine: shared, deleted rows hidden, its production index open
// (the table's header names it) in the order of tag when given, on the order's first row; let go when the
// scope ends, whatever happened: kept open for the next routine for a moment (kept_tables.h), or closed
// when the scope ends by an exception. A table that cannot be opened raises the dataset layer's exception.
class LeagueTableScope {
public:
    // Which rows a scope's reads see: deleted rows are hidden, unless the routine skips them itself
    // (IsDeleted) to read a key's rows in one pass over the index and the file, the deleted ones among
    // them included, where hiding them has each one read again on its own.
    enum class Rows { kLive, kWithDeleted };
    // With openKey, the table opens on the first row of that key in the tag's order (see SetOpenKey), not
    // on the order's first row; FindOpenKey, asked first, tells whether there is one and stands on it (a
    // kept table handed over seeks the key then).
    LeagueTableScope(const char* component, const std::string& file, const std::string& tag = {},
                     Rows rows = Rows::kLive, const std::string& openKey = {});
    ~LeagueTableScope();
    LeagueTableScope(const LeagueTableScope&) = delete;
    LeagueTableScope& operator=(const LeagueTableScope&) = delete;

    xb::TXbDbf& operator*() { return *m_table; }
    xb::TXbDbf* operator->() { return m_table.get(); }

private:
    std::unique_ptr<xb::TXbDbf> m_table;
    int m_uncaught;
};

// Creates the dataset of a routine's table (not yet open): shared, deleted rows hidden, never created or
// indexed here (only the database's definitions create tables); read-only when the run keeps it so.
std::unique_ptr<xb::TXbDbf> MakeLeagueDataset(const char* component, const std::string& file);
// Closes a dataset without letting an exception out; for scopes that end.
void CloseQuietly(xb::TXbDbf& table);

// Puts the fields of a row (FieldPutInt, FieldPutStr); it must put every field it is responsible for.
using RowFill = std::function<void(xb::TXbDbf&)>;

// What a locked write does with a row that its key finds.
enum class WhenFound { Update, Keep };

// What an edit window loaded of the row it saves, so that its save never undoes another station's:
// stored tells whether it showed a stored row (false: none, it creates one), same answers whether the
// row as stored now, read under its record lock, still holds what the window showed (the fields the
// window edits; others may change).
struct LoadedRow {
    bool stored = true;
    std::function<bool(xb::TXbDbf&)> same;
};

// Stores one row. find() positions the table on the row and answers whether it is there. A found row
// is updated under its record lock (or kept, with WhenFound::Keep); a missing row is sought again under
// the append lock and appended complete in one write, so two stations never both append it and no blank
// row is ever left. A refused lock (after kLockWaitMs), a value refused by its field or an engine error
// answer false; a refused lock or value changes nothing. True when the row is stored (or kept).
// With loaded, nothing is written and LastWriteRefusal says kChanged when the row as stored now is not
// what the window loaded (another station stored one, or changed it), kGone when a row it loaded is no
// longer stored; the table then stands on the stored row (kChanged) for the caller to show it.
bool WriteRow(xb::TXbDbf& table, const std::function<bool()>& find, const RowFill& fill,
              WhenFound whenFound = WhenFound::Update, const LoadedRow* loaded = nullptr);
// What a delete finds of the row a window showed before it deletes: still as shown (the table then
// stands on it), changed by another station (the table stands on the row as stored now, for the caller
// to show), gone, or held by a lock that stayed refused. The row is compared as WriteRow compares it,
// read under its record lock.
enum class ShownRow { kSame, kChanged, kGone, kLocked };
ShownRow CompareShownRow(xb::TXbDbf& table, const std::function<bool()>& find,
                         const std::function<bool(xb::TXbDbf&)>& same);
// The append half of WriteRow, for a caller that has just sought the row and not found it: under the
// append lock find() is asked again (another station may have stored the row since) and, when it is
// still missing, the row is appended whole. The table stands on the row found or appended.
enum class AppendOutcome { kAppended, kFound, kFailed };
AppendOutcome AppendMissingRow(xb::TXbDbf& table, const std::function<bool()>& find, const RowFill& fill);
// Appends the rows, each filled by its fill and written whole, under one append lock and one write
// bracket of the index. False when the lock stayed refused (nothing appended), a value was refused or
// the engine failed (the rows before it stay).
bool AppendRows(xb::TXbDbf& table, const std::vector<RowFill>& fills);
// Puts fills in the place of the rows at records (rows the caller read, in any order): the first rows
// are rewritten in place by the first fills, each under its record lock, the rows left over are deleted
// and the fills left over appended whole under the append lock; every key changes inside one write
// bracket of the index. Rewriting in place keeps the table from growing with every change (a deleted
// row stays in the file until the shutdown's pack). False when a lock stayed refused, a value was
// refused or the engine failed: what was written stays, and the caller may run it again from a fresh
// read to complete it.
bool ReplaceRows(xb::TXbDbf& table, const std::vector<int32_t>& records, const std::vector<RowFill>& fills);
// Rewrites the current row, whose record lock the caller holds: the row as stored now, the fields fill
// puts, one replace. With unchanged, a row for which it answers true (read as stored now) is left as it
// is and nothing is written. False after a refused value or an engine error.
bool RewriteLockedRow(xb::TXbDbf& table, const RowFill& fill,
                      const std::function<bool(xb::TXbDbf&)>& unchanged = {});

// Why the last write of the league library stored nothing, for the caller's message. Set by the writes
// that store text (kCharacter), by WriteRow and AppendNumberedRow (kLock, kNumbersExhausted, and with a
// loaded row kChanged, kGone); kNone after a write that stored its row.
struct WriteRefusal {
    enum class Kind { kNone, kLock, kCharacter, kNumbersExhausted, kChanged, kGone };
    Kind kind = Kind::kNone;
    char32_t character = 0;  // kCharacter: the first character the table cannot hold
    int codePage = 0;        // kCharacter: the table's code page
};
WriteRefusal LastWriteRefusal();
// True when the table can hold every character of the UTF-8 texts; otherwise the refusal names the first
// character it cannot hold and nothing may be written: a text is never stored cut or with "?".
bool StorableTexts(xb::TXbDbf& table, std::initializer_list<std::string> utf8Texts);

// A number kind: the tag in number order, the number field, and the highest number its keys hold.
struct NumberKind {
    const char* tag;
    const char* field;
    int max;
};
inline constexpr NumberKind kChampionshipNumbers{"NUCHAMP", "NUCHAMP", 999};
inline constexpr NumberKind kTeamNumbers{"NUMERO", "NUEQUIPE", 99999};
inline constexpr NumberKind kPlayerNumbers{"NU", "NUJOUEUR", 99999};

// Appends a row numbered one past the highest number, the number read and the row appended under one
// append lock, so two stations always get two numbers. fill puts the other fields. Answers the number,
// or 0 when the lock was refused, the numbers are exhausted or the row was not stored.
int AppendNumberedRow(xb::TXbDbf& table, const NumberKind& kind, const RowFill& fill);
// The number AppendNumberedRow would give now (0 past the highest), read without a lock: a proposal to
// show, never a number to store. The table is left in the order of kind.tag, on its last row.
int NextNumberProposal(xb::TXbDbf& table, const NumberKind& kind);

// Rows to delete: from the first row of key in tag, the rows for which condition (xBase, as a
// while-condition) holds and accept (when given) answers true.
struct DeleteRange {
    DeleteRange(std::string tag_, std::string key_, std::string condition_,
                std::function<bool(xb::TXbDbf&)> accept_ = {})
        : tag(std::move(tag_)),
          key(std::move(key_)),
          condition(std::move(condition_)),
          accept(std::move(accept_)) {}
    std::string tag;
    std::string key;
    std::string condition;
    std::function<bool(xb::TXbDbf&)> accept;
    bool single = false;  // only the first row found
};

struct DeleteOutcome {
    int deleted = 0;
    bool found = false;    // the key was found at least once
    bool complete = true;  // false when a record lock was refused or an engine error stopped it
};

// Deletes each row under its record lock, pass after pass from the key, until the key is no longer found
// or a pass deletes nothing. The while-condition is cleared again when it returns. Nothing is packed: a
// pack needs the table alone and rewrites all of it, so deleted rows stay hidden in the file until the
// shutdown of the last station packs every table (table_pack.h).
DeleteOutcome DeleteWhile(xb::TXbDbf& table, const DeleteRange& range);

// The engine error a command left pending, or 0.
int PendingEngineError();

// The rules the table's current champan row stores, as they stand (a matchday count of 0 stays 0).
SeasonRules StoredSeasonRules(xb::TXbDbf& row);

}  // namespace app

namespace app {

// A key of numbers, each as PadNum(n, width) gives it; empty when a number is wider than its width, so
// that such a key is never sought (a longer key could match another row's prefix).
std::string NumberKey(std::initializer_list<std::pair<int, int>> parts);

}  // namespace app
