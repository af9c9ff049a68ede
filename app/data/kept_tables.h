// The league tables kept open between the short pieces of work that read or write them. On a network
// share a shared open and close of a table with its index is about thirty round trips, more than most
// computations spend on their rows: a table a routine is done with is kept open for a moment instead
// and handed to the next routine that asks for it, as a fresh open would give it.
//
// A kept table is an open shared table like any other: other stations' changes reach it through the
// index semaphore, and its first move after the hand-over looks at the semaphore, as an open's does.
// What it holds is a sharing of its files: another station's pack or restore, which needs the table
// alone, finds it in use until this station closes it. So a kept table is closed
// - after kKeptTableIdle without use: by a timer where the process runs Qt's event loop, otherwise by
//   the next routine that takes or keeps a table and finds it idle that long;
// - at once by ReleaseKeptTables, which every road that needs a table or the folder alone calls first
//   (the close's pack, a restore, download or import, the start's check and creation, a change of the
//   data folder or of the tables kept as they are), and at the end of the engine.
// At most one idle table is kept per table file, and none while the engine's work areas run short.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/dataset/xb_file_dataset.h"

namespace xb {
class Engine;
}

namespace app {

inline constexpr std::chrono::milliseconds kKeptTableIdle{2000};

// How a routine uses the table it asks for, which is how the hand-over leaves a kept one.
struct TableUse {
    // The order; empty: the order an open gives (the first tag).
    std::string tag;
    bool withDeleted = false;  // deleted rows shown
    // With tag: FindOpenKey seeks it (see SetOpenKey); the table stands nowhere in particular until then.
    std::string openKey;
    // Whether the routine reads from where the open leaves the table (the first row of the order). A
    // routine that always sets its order and seeks first (LeagueReading's) leaves this false: without a
    // tag, a fresh open then stands on no row (SetOpenNowhere) and a kept table where it was.
    bool fromFirstRow = true;
};

// The table file (bare name in the data directory, or a path) open shared for one routine: the kept one
// when there is one, else a fresh open (MakeLeagueDataset, with a name of its own). An open that fails
// raises the dataset layer's exception.
std::unique_ptr<xb::TXbDbf> TakeLeagueTable(const char* component, const std::string& file, const TableUse& use);
// The routine is done with the table: it is kept when keep (false for a routine ended by an exception),
// the table is left clean (browse state, no lock, while-condition or filter, no engine error) and no
// other table of its file is kept; otherwise closed.
void DoneWithLeagueTable(std::unique_ptr<xb::TXbDbf> table, bool keep = true) noexcept;

// While it lives, the kept tables of the files it names are not closed for being idle: a window that
// writes them whenever its user asks (the match entry, its goals and cards) holds them as it holds
// the table it opened itself, so that a save costs its writes and not the opens. It opens the ones not
// kept yet (a failure is left to the routine that meets it later). ReleaseKeptTables still closes
// them, for whatever needs the tables alone; the next routine opens them again, held as before. When
// it ends they are kept for kKeptTableIdle from then, as any other.
class KeptTableHold {
public:
    explicit KeptTableHold(std::vector<std::string> files);
    ~KeptTableHold();
    KeptTableHold(const KeptTableHold&) = delete;
    KeptTableHold& operator=(const KeptTableHold&) = delete;

private:
    std::vector<std::string> m_paths;
    xb::Engine* m_engine = nullptr;
};

// A small table (bare name in the data directory) read whole: an open of the table alone (no index,
// so no semaphore; no memo file; read only) and one read of its rows, visited in record order with
// deleted rows left out. On a network share that is a few round trips where an open with its index and
// a seek cost about twenty. Rows of equal keys stand in an index in record order, so the first row of
// a number visited here is the one a seek finds. False when the indexed way costs less or the table is
// not small: a table of the file is kept open, or its rows exceed kWholeTableBytes; and when the open
// or the read fails (the indexed open that follows says why). A visit made before a failure stands for
// nothing: the caller drops what it took.
inline constexpr int64_t kWholeTableBytes = static_cast<int64_t>(xb::kSnapshotRows);
bool ReadWholeSmallTable(const std::string& file, const std::function<void(xb::TXbDbf&)>& visit);

// Closes every kept table now.
void ReleaseKeptTables() noexcept;
// Closes the tables idle for kKeptTableIdle or longer; the time until the next one is due, or -1 when
// none is left.
int ReleaseIdleKeptTables() noexcept;
// How many tables are kept now.
int KeptTableCount();
// The idle time of this engine's kept tables from now on (kKeptTableIdle until set): tests that must
// not depend on the machine's speed set it far longer or shorter.
void SetKeptTableIdle(std::chrono::milliseconds idle);

}  // namespace app
