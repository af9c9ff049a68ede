// Replacing the whole league database at once. A new database is first made complete in a private
// staging folder inside the data directory; the swap then holds every data file exclusively (so that no
// other station has one open), writes a journal, moves the live files aside and the staged ones in, and
// drops the old ones. A swap cut short by a crash is finished by RecoverInterruptedRestore at the next
// start, before any table opens: the data directory then holds the old database or the new one, whole.
//
// One restore, import or download runs at a time on a data directory: each holds the directory's
// operation lock ("exchange.lck", there only while held) for its whole run and stages in a folder of its own,
// "restore.new.XXXXXX/", whose "owner.lck" it holds too. A start clears only folders whose owner is
// gone, and finishes a journal only while no operation holds the lock.
//
// On disk (all in the data directory): the staging folders, "restore.old/" the live files moved aside,
// "restore.journal" present from the moment the staged set is complete and the swap may begin until the
// swap is over (the line "swap", the line "staging" and the staging folder's name, then the files, one a
// line).
#pragma once

#include <functional>
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

// One restore, import or download on a data directory: the directory's operation lock and a staging
// folder of the operation's own, both held until End or destruction, which removes the folder.
class ExchangeOperation {
public:
    enum class Begun {
        kOk,
        kBusy,    // another operation (of this process or another) runs on the directory
        kFailed,  // the lock or the folder could not be made
    };
    ExchangeOperation() = default;
    ~ExchangeOperation() { End(); }
    ExchangeOperation(const ExchangeOperation&) = delete;
    ExchangeOperation& operator=(const ExchangeOperation&) = delete;

    // dataDir ends with "/". Nothing is held unless kOk.
    Begun Begin(const std::string& dataDir);
    void End();
    bool begun() const { return !m_staging.empty(); }
    const std::string& dataDir() const { return m_dataDir; }
    // The staging folder (ending "/"); empty before Begin.
    const std::string& staging() const { return m_staging; }

    // Called by every operation between its stages with the stage's name ("staged", "prepared", ...):
    // tests hold an operation there to run something beside it. Empty by default.
    static std::function<void(const std::string& stage)>& StageHook();
    void stage(const std::string& name) const;

private:
    std::string m_dataDir;
    std::string m_staging;
    xb::platform::File m_lock;
    xb::platform::File m_owner;
};

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

// Makes the files of a staging folder (ending "/") a database that opens as the program opens it: each
// of the nine tables must be there, hold every row its header counts and have the fields of its league
// definition; joueur.dbt must be there and every memo block a row names must lie whole inside it; every
// index is built again from the definition (an archived index may lag its table). Uses the current
// engine. False, with the reason in the user's language in reason, when the staged set is not a sound
// complete database.
bool PrepareStagedDatabase(const std::string& staging, std::string* reason = nullptr);

enum class SwapOutcome {
    kSwapped,  // the staged database is now the live one
    kInUse,    // another handle has a live data file open: nothing changed
    kFailed,   // a step failed and was rolled back: nothing changed
};

// Replaces the live data files of the operation's directory by those of its staging folder (all 19 must
// be staged; see PrepareStagedDatabase). The caller has closed every table of this process. On kSwapped
// the old folder is gone; on kInUse or kFailed the live files are as they were (byte for byte). The
// staging folder is emptied either way. busyFile names the file of kInUse.
SwapOutcome SwapInDatabase(const ExchangeOperation& op, std::string* busyFile = nullptr);

// Called at start-up before the tables open: unless another operation runs on the directory, finishes
// a swap that a crash interrupted (the journal is there) and removes the old folder; removes the staging
// folders whose owner is gone. True when nothing is left that this start should have cleared.
bool RecoverInterruptedRestore(const std::string& dataDir);

}  // namespace app
