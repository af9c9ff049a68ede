#include "app/exchange/database_swap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/settings/lang_texts.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_tables.h"
#include "app/data/table_check.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/byte_order.h"
#include "platform/paths.h"

namespace app {

namespace fs = std::filesystem;
namespace platform = xb::platform;

namespace {

// Staging folders are "restore.new." + a unique suffix; a bare "restore.new" is an older program's.
constexpr const char* kStagingPrefix = "restore.new";
constexpr const char* kOldFolder = "restore.old";
constexpr const char* kJournalName = "restore.journal";
constexpr const char* kJournalHead = "swap";
constexpr const char* kJournalStaging = "staging ";
constexpr const char* kLockName = "exchange.lck";
constexpr const char* kOwnerName = "owner.lck";

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

// Takes the operation lock of a data directory: its lock file, created when missing and held with an
// exclusive open. The file exists only while someone holds it (dropLock removes it before letting go), so
// an open that lands on a file its holder has just removed is retried on the new one. 0, or 32 while
// another operation holds it.
int takeLock(platform::File& f, const std::string& dataDir) {
    const std::string path = dataDir + kLockName;
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (int rc = f.create(path, platform::kModeExclusive)) return rc;
        struct stat held {
        }, named{};
        if (::fstat(f.fd(), &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            return 0;
        f.close();
    }
    return platform::kErrSharingViolation;
}

void dropLock(platform::File& f) {
    if (!f.isOpen()) return;
    platform::RemoveFileIfExists(f.path());
    f.close();
}

std::string folderNameOf(const std::string& dir) {
    std::string d = dir;
    while (!d.empty() && d.back() == '/') d.pop_back();
    return fs::path(d).filename().string();
}

// The journal is written whole under a temporary name and renamed, so that it is either absent or
// complete; its presence is what tells the recovery to finish the swap.
bool writeJournal(const std::string& dataDir, const std::string& staging) {
    const std::string temp = journalOf(dataDir) + ".part";
    std::string text = std::string(kJournalHead) + "\n" + kJournalStaging + folderNameOf(staging) + "\n";
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

// The staging folder a journal names (ending "/"); an older program's journal names none.
std::string journalStaging(const std::string& dataDir) {
    platform::File f;
    std::string text;
    uint64_t size = 0;
    if (f.open(journalOf(dataDir), platform::kModeSharedRead) == 0 && f.size(size) == 0 && size < 65536) {
        text.resize(size);
        if (f.readAt(0, text.data(), text.size()) != 0) text.clear();
    }
    std::string name = kStagingPrefix;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.rfind(kJournalStaging, 0) == 0) {
            const std::string named = line.substr(std::strlen(kJournalStaging));
            // Only a folder of ours, directly in the data directory.
            if (named.rfind(kStagingPrefix, 0) == 0 && named.find('/') == std::string::npos) name = named;
        }
        at = end + 1;
    }
    return dataDir + name + "/";
}

// Makes one file's state "new": the staged file moved in and the live one (if any) moved aside. Safe to
// run again on a file already done, in any state the forward or backward steps leave.
int forwardFile(const std::string& dataDir, const std::string& staging, const std::string& name) {
    const std::string live = dataDir + name;
    const std::string staged = staging + name;
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

std::function<void(const std::string&)>& ExchangeOperation::StageHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

void ExchangeOperation::stage(const std::string& name) const {
    if (StageHook()) StageHook()(name);
}

ExchangeOperation::Begun ExchangeOperation::Begin(const std::string& dataDir) {
    End();
    const int rc = takeLock(m_lock, dataDir);
    if (rc == platform::kErrSharingViolation) return Begun::kBusy;
    if (rc != 0) return Begun::kFailed;
    std::string pattern = dataDir + kStagingPrefix + ".XXXXXX";
    if (!::mkdtemp(pattern.data()) ||
        m_owner.create(pattern + "/" + kOwnerName, platform::kModeExclusive) != 0) {
        removeTree(pattern);
        dropLock(m_lock);
        return Begun::kFailed;
    }
    m_dataDir = dataDir;
    m_staging = pattern + "/";
    return Begun::kOk;
}

void ExchangeOperation::End() {
    if (!m_staging.empty()) removeTree(m_staging);
    m_owner.close();
    dropLock(m_lock);
    m_staging.clear();
    m_dataDir.clear();
}

bool DatabaseHold::Take(const std::string& dir, std::string* busyFile) {
    Release();
    // Every restore, download and import holds the live files alone here: this station's kept tables
    // would be the first to refuse it.
    ReleaseKeptTables();
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

namespace {

// A problem of a staged table in the user's language, naming the table and what is wrong with it.
std::string describe(const std::string& staging, const TableProblem& problem) {
    switch (problem.kind) {
        case TableDamage::Missing:
            return LangText(Text::FileMissing, {problem.file});
        case TableDamage::NotATable:
            return LangText(Text::NotACompleteDatabase) + " (" + problem.file + ")";
        case TableDamage::CutInRecords: {
            unsigned char count[4] = {};
            platform::File f;
            if (f.open(staging + problem.file, platform::kModeSharedRead) == 0) f.readAt(4, count, 4);
            return LangText(Text::TableCutShort, {problem.file, std::to_string(platform::GetU32(count)),
                                                  std::to_string(problem.row)});
        }
        case TableDamage::FieldMismatch:
            return LangText(Text::FieldMismatch,
                            {problem.file, problem.field, problem.expected.empty() ? "-" : problem.expected});
        case TableDamage::MemoFileMissing:
            return LangText(Text::FileMissing, {fs::path(problem.file).stem().string() + ".dbt"});
        case TableDamage::MemoPointer:
            return LangText(Text::MemoPointerOutside, {problem.file, std::to_string(problem.row),
                                                       fs::path(problem.file).stem().string() + ".dbt"});
    }
    return LangText(Text::NotACompleteDatabase);
}

}  // namespace

bool PrepareStagedDatabase(const std::string& staging, std::string* reason) {
    auto fail = [&](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    if (!exists(staging + "joueur.dbt")) return fail(LangText(Text::FileMissing, {"joueur.dbt"}));
    for (const LeagueTable& def : LeagueTables()) {
        // Checked as the opening needs them before the engine touches them, so that a wrong table is
        // named with what is wrong rather than by whatever an index expression then meets.
        const std::vector<TableProblem> problems = CheckLeagueTable(staging, def);
        if (!problems.empty()) return fail(describe(staging, problems.front()));
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
            if (!t.Active()) return fail(LangText(Text::TableCannotBeOpened, {def.file}));
            t.Close();
        } catch (const std::exception& e) {
            CloseQuietly(t);
            return fail(def.file + ": " + e.what());
        }
    }
    return true;
}

SwapOutcome SwapInDatabase(const ExchangeOperation& op, std::string* busyFile) {
    const std::string& dataDir = op.dataDir();
    const std::string& staging = op.staging();
    const std::string old = oldDirOf(dataDir);
    const auto& names = DatabaseFileNames();
    auto emptyStaging = [&] {
        for (const auto& n : names) platform::RemoveFileIfExists(staging + n);
    };
    auto giveUp = [&](SwapOutcome outcome) {
        emptyStaging();
        removeTree(old);
        return outcome;
    };
    if (!op.begun()) return SwapOutcome::kFailed;
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
        !writeJournal(dataDir, staging)) {
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
    emptyStaging();
    return SwapOutcome::kSwapped;
}

bool RecoverInterruptedRestore(const std::string& dataDir) {
    // The usual start: nothing a restore leaves behind stands in the folder, as one listing (the start's
    // lookups share it) shows; then there is nothing to finish or remove, and no lock to take.
    {
        platform::NameLookupScope names;
        std::vector<std::string> listed;
        if (platform::ListDirectory(dataDir, listed) &&
            std::none_of(listed.begin(), listed.end(), [](const std::string& name) {
                return name == kJournalName || name == std::string(kJournalName) + ".part" || name == kOldFolder ||
                       name == kLockName || name.rfind(kStagingPrefix, 0) == 0;
            }))
            return true;
    }
    // What the recovery changes in the folder is not all made through the file layer: names listed before
    // are looked up again afterwards.
    struct Forget {
        ~Forget() { platform::ForgetListedNames(); }
    } forget;
    // A staging folder whose owner lock can be taken belongs to nobody any more: a held one is another
    // operation's work in progress.
    auto ownerGone = [](const std::string& dir) {
        platform::File owner;
        const int rc = owner.open(dir + kOwnerName, platform::kModeExclusive);
        return rc != platform::kErrSharingViolation;
    };
    platform::File lock;
    const int rc = takeLock(lock, dataDir);
    struct Drop {
        platform::File& f;
        ~Drop() { dropLock(f); }
    } drop{lock};
    if (rc == 0) {
        // No operation runs: a journal is a swap that a crash cut short.
        if (exists(journalOf(dataDir))) {
            const std::string staging = journalStaging(dataDir);
            for (const auto& n : DatabaseFileNames())
                if (forwardFile(dataDir, staging, n) != 0) return false;
            if (platform::SyncDirectoryOf(journalOf(dataDir)) != 0) return false;
            if (platform::RemoveFileIfExists(journalOf(dataDir)) != 0) return false;
            platform::SyncDirectoryOf(journalOf(dataDir));
        }
        platform::RemoveFileIfExists(journalOf(dataDir) + ".part");
        removeTree(oldDirOf(dataDir));
    }
    bool clean = rc == 0 || rc == platform::kErrSharingViolation;
    std::error_code ec;
    for (fs::directory_iterator it(dataDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kStagingPrefix, 0) != 0) continue;
        std::error_code sec;
        if (!fs::is_directory(it->symlink_status(sec))) continue;
        const std::string dir = dataDir + name + "/";
        if (!ownerGone(dir)) continue;
        removeTree(dir);
        if (exists(dir)) clean = false;
    }
    return clean && !(rc == 0 && exists(oldDirOf(dataDir)));
}

}  // namespace app
