// The end-of-run clean-up: the deleted rows of the nine league tables are removed. No delete of the
// league library packs (a pack needs the table alone and rewrites all of it, which on a network share a
// save cannot afford), so this is where deleted rows leave the files: at the shutdown of the last station
// that has a table open.
#pragma once

#include <QString>
#include <string>
#include <vector>

namespace app {

enum class PackOutcome {
    Packed,     // the deleted rows are gone
    InUse,      // another station has the table open: left as it is, for the last station to pack
    NoSpace,    // the disk had too little space: the table, its notes and its index stand as they were
    Reindexed,  // the pack failed otherwise; the table's indexes were rebuilt
    Failed,     // the table could not be opened, or the pack and the rebuild both failed
    Kept,       // damage found at the start keeps the table out of the pack: nothing was done
    AsItIs,     // a pack would change nothing (xb::PackNeed): the table was left as it is, unopened
};

struct TablePackResult {
    QString table;  // "champan", ...
    PackOutcome outcome;
    int error;           // the engine's error code of the failure; 0 when packed
    std::string detail;  // the engine's detail of the failure (a note the pack could not read names its row)
};

// The engine's code of a memo pointer that leads to no memo: the pack stops there and changes nothing.
inline constexpr int kErrInvalidMemoAddress = 1003;

// Whether an engine error code says that the disk had too little space (full, or a write cut short).
bool IsOutOfSpace(int error);

// The tables packed, in order.
const std::vector<QString>& PackedTableNames();

// Packs champan, champion, equipe, resultat, eqchamp, joueur, joueq, but and carton of the directory
// (ending "/"), one after the other, with the engine's error reporting off throughout: nothing is shown and
// nothing halts. A pack that fails changes nothing. One refused because another station has the table open,
// or for want of space, is not followed by a rebuild (which would fail the same way); any other failure
// rebuilds the table's indexes (beside the old ones: a rebuild that fails leaves them). A table the run
// keeps unpacked is not opened at all, nor is one a pack would not change (no row marked deleted, no note
// to compact, an index within its growth bound: see xb::PackNeed), so that a close after a session that
// changed nothing writes nothing. No engine error is left pending.
std::vector<TablePackResult> PackAllTables(const QString& directory);

}  // namespace app
