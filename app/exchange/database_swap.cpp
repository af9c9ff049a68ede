#include "app/exchange/database_swap.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "app/shell/league_access.h"
#include "app/shell/league_tables.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/paths.h"

namespace app {

namespace fs = std::filesystem;
namespace platform = xb::platform;

namespace {

constexpr const char* kStagingFolder = "restore.new";
constexpr const char* kOldFolder = "restore.old";
constexpr const char* kJournalName = "restore.journal";
constexpr const char* kJournalHead = "swap";

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string oldDirOf(const std::string& dataDir) {
    return dataDir + kOldFolder + "/";
}
std::string journalOf(const std::string& dataDir) {
    return dataDir + kJournalName;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The journal is written whole under a temporary name and renamed, so that it is either absent or
// complete; its presence is what tells the recovery to finish the swap.
bool writeJournal(const std::string& dataDir) {
    const std::string temp = journalOf(dataDir) + ".part";
    std::string text = std::string(kJournalHead) + "\n";
    for (const auto& f : DatabaseFileNames()) text += f + "\n";
    platform::File file;
    int rc = file.create(temp, platform::kModeExclusive);
    if (rc == 0) rc = file.writeAt(0, text.data(), text.size());
    if (rc == 0) rc = file.flush();
    file.close();
    if (rc == 0) rc = platform::RenameFile(temp, journalOf(dataDir));
    if (rc == 0) rc = platform::SyncDirectoryOf(journalOf(dataDir));
    if (rc != 0) platform::RemoveFileIfExists(temp);
    return rc == 0;
}

void removeTree(const std::string& dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// Makes one file's state "new": the staged file moved in and the live one (if any) moved aside. Safe to
// run again on a file already done, in any state the forward or backward steps leave.
int forwardFile(const std::string& dataDir, const std::string& name) {
    const std::string live = dataDir + name;
    const std::string staged = StagingDirOf(dataDir) + name;
    const std::string old = oldDirOf(dataDir) + name;
    if (!exists(staged)) return 0;  // already moved in
    if (exists(live) && !exists(old)) {
        if (int rc = platform::RenameFile(live, old)) return rc;
    }
    return platform::RenameFile(staged, live);
}

}  // namespace

const std::vector<std::string>& DatabaseFileNames() {
    static const std::vector<std::string> names = {
        "equipe.dbf",   "equipe.mdx",  "champan.dbf", "champan.mdx",  "champion.dbf",
        "champion.mdx", "eqchamp.dbf", "eqchamp.mdx", "resultat.dbf", "resultat.mdx",
        "but.dbf",      "but.mdx",     "carton.dbf",  "carton.mdx",   "joueq.dbf",
        "joueq.mdx",    "joueur.dbf",  "joueur.mdx",  "joueur.dbt"};
    return names;
}

bool IsDatabaseFileName(const std::string& name) {
    const auto& all = DatabaseFileNames();
    return std::find(all.begin(), all.end(), lower(name)) != all.end();
}

std::string StagingDirOf(const std::string& dataDir) {
    return dataDir + kStagingFolder + "/";
}

bool ResetStagingDir(const std::string& dataDir) {
    RemoveStagingDir(dataDir);
    std::error_code ec;
    fs::create_directory(StagingDirOf(dataDir), ec);
    return !ec && fs::is_directory(fs::symlink_status(StagingDirOf(dataDir), ec));
}

void RemoveStagingDir(const std::string& dataDir) {
    removeTree(StagingDirOf(dataDir));
}

bool DatabaseHold::Take(const std::string& dir, std::string* busyFile) {
    Release();
    for (const auto& name : DatabaseFileNames()) {
        const std::string path = platform::ResolveCase(dir + name);
        if (!exists(path)) continue;
        platform::File f;
        if (f.open(path, platform::kModeExclusive) != 0) {
            if (busyFile) *busyFile = path;
            Release();
            return false;
        }
        m_files.push_back(std::move(f));
    }
    m_held = true;
    return true;
}

int DatabaseHold::FlushAll() {
    for (auto& f : m_files)
        if (int rc = f.flush()) return rc;
    return 0;
}

void DatabaseHold::Release() {
    for (auto& f : m_files) f.close();
    m_files.clear();
    m_held = false;
}

bool PrepareStagedDatabase(const std::string& dataDir, std::string* reason) {
    const std::string staging = StagingDirOf(dataDir);
    auto fail = [&](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    for (const LeagueTable& def : LeagueTables())
        if (!exists(staging + def.file)) return fail(def.file + " is missing");
    if (!exists(staging + "joueur.dbt")) return fail("joueur.dbt is missing");

    for (const LeagueTable& def : LeagueTables()) {
        xb::TXbDbf t;
        t.Name = "staged" + def.stem();
        t.SetDbfFileName(staging + def.file);
        t.DbfFields = def.fields;
        t.IndexList = def.indexList();
        t.TableLanguage = xb::TXbTableLanguage::tlOem;
        t.CreateIfNotFound = false;
        // A copy taken while another station appended may hold rows beyond its header's count, as a
        // live table may: the program opens tables this way too.
        t.AutoFixRecCount = true;
        t.SetExclusive(true);
        // The index is always built again from the definition: an archived one may lag its table, and a
        // tag that misses a row makes the next save append that row a second time.
        t.CreateIndex = xb::TCreateIndexType::ciAlways;
        t.ShowProgress = false;
        try {
            xb::TrappingOff trapping;
            t.Open();
            if (!t.Active()) return fail(def.file + " cannot be opened");
            bool sameFields = true;
            {
                xb::CurrentAreaScope area(t.Area());
                sameFields = xb::FieldCount() == static_cast<int>(def.fields.size());
                for (int i = 1; sameFields && i <= xb::FieldCount(); ++i) {
                    const std::string got = xb::Field(i) + ", " + xb::FieldType(i) + ", " +
                                            std::to_string(xb::FieldLen(i)) + ", " +
                                            std::to_string(xb::FieldDec(i));
                    sameFields = lower(got) == lower(def.fields[i - 1]);
                }
            }
            t.Close();
            if (!sameFields) return fail(def.file + " does not have the fields of the database");
        } catch (const std::exception& e) {
            CloseQuietly(t);
            return fail(def.file + ": " + e.what());
        }
    }
    return true;
}

SwapOutcome SwapInDatabase(const std::string& dataDir, std::string* busyFile) {
    const std::string staging = StagingDirOf(dataDir);
    const std::string old = oldDirOf(dataDir);
    const auto& names = DatabaseFileNames();
    auto giveUp = [&](SwapOutcome outcome) {
        RemoveStagingDir(dataDir);
        removeTree(old);
        return outcome;
    };
    for (const auto& n : names)
        if (!exists(staging + n)) return giveUp(SwapOutcome::kFailed);

    DatabaseHold live, staged;
    if (!live.Take(dataDir, busyFile)) return giveUp(SwapOutcome::kInUse);
    if (!staged.Take(staging)) return giveUp(SwapOutcome::kFailed);

    // Live names may differ in case from ours; the swap works on our lower-case names, so bring them in
    // line first (a rename of a name to itself changes nothing).
    std::vector<std::pair<std::string, std::string>> recased;
    for (const auto& n : names) {
        const std::string found = platform::ResolveCase(dataDir + n);
        if (found != dataDir + n && exists(found)) {
            if (platform::RenameFile(found, dataDir + n) != 0) {
                for (auto it = recased.rbegin(); it != recased.rend(); ++it)
                    platform::RenameFile(it->second, it->first);
                return giveUp(SwapOutcome::kFailed);
            }
            recased.emplace_back(found, dataDir + n);
        }
    }

    removeTree(old);
    std::error_code ec;
    fs::create_directory(old, ec);
    if (ec || staged.FlushAll() != 0 || platform::SyncDirectoryOf(staging + names.front()) != 0 ||
        !writeJournal(dataDir)) {
        platform::RemoveFileIfExists(journalOf(dataDir));
        for (auto it = recased.rbegin(); it != recased.rend(); ++it)
            platform::RenameFile(it->second, it->first);
        return giveUp(SwapOutcome::kFailed);
    }

    // Each file goes through two renames; a failure undoes the ones done, newest first.
    struct Step {
        std::string from, to;
    };
    std::vector<Step> done;
    bool failed = false;
    for (const auto& n : names) {
        if (exists(dataDir + n)) {
            if (platform::RenameFile(dataDir + n, old + n) != 0) {
                failed = true;
                break;
            }
            done.push_back({dataDir + n, old + n});
        }
        if (platform::RenameFile(staging + n, dataDir + n) != 0) {
            failed = true;
            break;
        }
        done.push_back({staging + n, dataDir + n});
    }
    if (!failed && platform::SyncDirectoryOf(dataDir + names.front()) != 0) failed = true;
    if (failed) {
        bool undone = true;
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            if (::rename(it->to.c_str(), it->from.c_str()) != 0) undone = false;
        for (auto it = recased.rbegin(); it != recased.rend(); ++it)
            if (::rename(it->second.c_str(), it->first.c_str()) != 0) undone = false;
        platform::SyncDirectoryOf(dataDir + names.front());
        // A roll-back that could not complete leaves the journal, so that the next start finishes the
        // swap instead of leaving a mix of both databases.
        if (undone) {
            platform::RemoveFileIfExists(journalOf(dataDir));
            giveUp(SwapOutcome::kFailed);
        }
        return SwapOutcome::kFailed;
    }
    // The new database is in place: dropping the journal is the commit.
    platform::RemoveFileIfExists(journalOf(dataDir));
    platform::SyncDirectoryOf(journalOf(dataDir));
    live.Release();
    staged.Release();
    removeTree(old);
    RemoveStagingDir(dataDir);
    return SwapOutcome::kSwapped;
}

bool RecoverInterruptedRestore(const std::string& dataDir) {
    if (exists(journalOf(dataDir))) {
        for (const auto& n : DatabaseFileNames())
            if (forwardFile(dataDir, n) != 0) return false;
        if (platform::SyncDirectoryOf(journalOf(dataDir)) != 0) return false;
        if (platform::RemoveFileIfExists(journalOf(dataDir)) != 0) return false;
        platform::SyncDirectoryOf(journalOf(dataDir));
    }
    platform::RemoveFileIfExists(journalOf(dataDir) + ".part");
    removeTree(oldDirOf(dataDir));
    RemoveStagingDir(dataDir);
    return !exists(StagingDirOf(dataDir)) && !exists(oldDirOf(dataDir));
}

}  // namespace app
