// Backing up the league database into one archive and restoring it from one, without a window: the main
// window's backup and restore and the database download call these on the thread that owns the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace app {

// Progress of a long operation: the file being worked on (may be empty) and the percentage done.
// Setting cont to false cancels (a backup then leaves no archive, a restore changes nothing).
using ArchiveProgress = std::function<void(const std::string& file, int percent, bool& cont)>;

// The masks of the files a backup stores: dataDir + "*.dbf", "*.mdx", "*.dbt".
std::vector<std::string> DatabaseFileMasks(const std::string& dataDir);

struct BackupResult {
    bool ok = false;
    std::string reason;  // why it failed (the archive component's text or the step that failed)
};

// Stores every file of the masks of dataDir (ending "/") into archiveName. The nine tables are copied
// to a private folder while their index read brackets are held (writers of other stations wait, so no
// copy holds a half-written record or an index behind its table), then the copies are compressed into
// archiveName + ".part", which replaces archiveName only when complete. On failure an earlier archive
// of that name is left as it was and no ".part" or copy is left. Refuses an archive name that is one of
// the database's own files. Uses the current engine.
BackupResult BackupDatabase(const std::string& dataDir, const std::string& archiveName,
                            const ArchiveProgress& progress = {});

enum class RestoreOutcome {
    kRestored,    // the archive's database is now the live one
    kIncomplete,  // the file is not a whole archive holding a complete database
    kInUse,       // another station has a table open
    kBusy,        // another restore, import or download runs on the data directory
    kFailed,      // any other failure (space, a write, a rename): the database is unchanged
    kCancelled,   // the progress callback cancelled: the database is unchanged
};

struct RestoreResult {
    RestoreOutcome outcome = RestoreOutcome::kFailed;
    std::string reason;  // the detail: the archive component's text, the missing file, the busy file
};

// Replaces the database of dataDir by the one in archiveName, in stages, as one exchange operation (a
// second one at the same time is refused with kBusy): the archive is read through first (Verify),
// counting the bytes it really holds, which may not pass its header's total nor the free space; the 19
// files are restored into the operation's staging folder (no other name is written anywhere, and no
// more bytes than were verified); each staged table is checked and opened as the program opens it
// (PrepareStagedDatabase) and its index built again; then the set is swapped in (SwapInDatabase).
// Whatever fails, the live files are left byte for byte as they were and nothing staged is left. The
// caller has closed every table of this process it opened itself (the tables kept between routines are
// closed by the swap). Uses the current engine.
RestoreResult RestoreDatabase(const std::string& dataDir, const std::string& archiveName,
                              const ArchiveProgress& progress = {});

// Tells the user how a restore ended, through the UI seam: text 229 (caption 228) only when the
// database was replaced; otherwise text 253 (in use), 254 (no complete database) or 255 (failed, unchanged)
// with the detail, or the refusal of a second operation. A cancel shows nothing.
void ReportRestoreResult(const RestoreResult& result);

// Bytes free for this process on the file system of path; UINT64_MAX when it cannot be told.
uint64_t FreeSpaceOf(const std::string& path);

}  // namespace app
