// Replacing the whole league database at once. A new database is first made complete in a private
// staging folder inside the data directory; the swap then holds every data file exclusively (so that no
// other station has one open), writes a journal, moves the live files aside and the staged ones in, and
// drops the old ones. A swap cut short by a crash is finished by RecoverInterruptedRestore at the next
// start, before any table opens: the data directory then holds the old database or the new one, whole.
//
// On disk (all in the data directory): "restore.new/" the staged files, "restore.old/" the live files
// moved aside, "restore.journal" present from the moment the staged set is complete and the swap may
// begin until the swap is over (it names the files, one a line, under the line "swap").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace app {

// The 19 data files of the league database (lower case), in the order a swap replaces them: the nine
// tables each followed by its index, joueur.dbt last.
const std::vector<std::string>& DatabaseFileNames();
// True when name (any case, no folder) is one of them.
bool IsDatabaseFileName(const std::string& name);

// The staging folder of a data directory (ending "/"); dataDir ends with "/".
std::string StagingDirOf(const std::string& dataDir);

// Empties (or creates) the staging folder. False when it cannot be made.
bool ResetStagingDir(const std::string& dataDir);
// Removes the staging folder and whatever it holds.
void RemoveStagingDir(const std::string& dataDir);

// Exclusive opens on every existing data file of a folder, held until Release or destruction. While it
// is held no other handle (of this process or another) can open them, and they cannot be open elsewhere.
class DatabaseHold {
public:
    DatabaseHold() = default;
    DatabaseHold(const DatabaseHold&) = delete;
    DatabaseHold& operator=(const DatabaseHold&) = delete;

    // Opens every existing one of the 19 files of dir exclusively. False when any of them is open
    // elsewhere or cannot be opened: nothing is held then, and busyFile (when given) names the file.
    bool Take(const std::string& dir, std::string* busyFile = nullptr);
    void Release();
    // Flushes every held file to the disk; 0 or the first error.
    int FlushAll();
    bool held() const { return m_held; }

private:
    std::vector<xb::platform::File> m_files;
    bool m_held = false;
};

// Makes the staged files of a data directory a database that opens: each of the nine tables must be
// there and open with its league definition (same fields), joueur.dbt must be there, and every index is
// built again from the definition (an archived index may lag its table). Uses the current engine.
// False, with the reason in reason, when the staged set is not a complete database.
bool PrepareStagedDatabase(const std::string& dataDir, std::string* reason = nullptr);

enum class SwapOutcome {
    kSwapped,  // the staged database is now the live one
    kInUse,    // another handle has a live data file open: nothing changed
    kFailed,   // a step failed and was rolled back: nothing changed
};

// Replaces the live data files of dataDir by the staged ones (all 19 must be staged; see
// PrepareStagedDatabase). The caller has closed every table of this process. On kSwapped the staging and
// old folders are gone; on kInUse or kFailed the live files are as they were (byte for byte) and the
// staging folder is removed. busyFile names the file of kInUse.
SwapOutcome SwapInDatabase(const std::string& dataDir, std::string* busyFile = nullptr);

// Called at start-up before the tables open: finishes a swap that a crash interrupted (the journal is
// there) and removes the staging and old folders left behind. True when the directory is left clean.
bool RecoverInterruptedRestore(const std::string& dataDir);

}  // namespace app
