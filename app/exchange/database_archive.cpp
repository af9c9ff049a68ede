#include "app/exchange/database_archive.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "app/exchange/backup_file.h"
#include "app/exchange/database_swap.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_tables.h"
#include "engine/core/work_areas.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace app {

namespace fs = std::filesystem;
namespace platform = xb::platform;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isDataExtension(const std::string& name) {
    const std::string l = lower(name);
    return endsWith(l, ".dbf") || endsWith(l, ".mdx") || endsWith(l, ".dbt");
}

// A private folder for the copies of one backup, removed with everything in it when the scope ends.
class CopyFolder {
public:
    CopyFolder() {
        std::string pattern = platform::TempDir();
        if (!pattern.empty() && pattern.back() != '/') pattern += '/';
        pattern += "lmbackup-XXXXXX";
        if (char* made = ::mkdtemp(pattern.data())) m_path = std::string(made) + "/";
    }
    ~CopyFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    CopyFolder(const CopyFolder&) = delete;
    CopyFolder& operator=(const CopyFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Copies a file through the platform layer (so that injected faults reach it); 0 or the error.
int copyFile(const std::string& from, const std::string& to) {
    platform::File in, out;
    if (int rc = in.open(from, platform::kModeSharedRead)) return rc;
    uint64_t size = 0;
    if (int rc = in.size(size)) return rc;
    if (int rc = out.create(to, platform::kModeExclusive)) return rc;
    std::string buf(1 << 16, '\0');
    for (uint64_t at = 0; at < size;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - at));
        if (int rc = in.readAt(at, buf.data(), want)) return rc;
        if (int rc = out.writeAt(at, buf.data(), want)) return rc;
        at += want;
    }
    return 0;
}

// The nine tables of the data directory opened shared, each inside its index read bracket: while they
// are held, no station can be in the middle of changing a table or its index.
class ReadBrackets {
public:
    bool take(const std::string& dataDir, std::string& reason) {
        for (const LeagueTable& def : LeagueTables()) {
            if (!fs::exists(platform::ResolveCase(dataDir + def.file))) continue;
            auto t = MakeLeagueDataset(("backup" + def.stem()).c_str(), dataDir + def.file);
            try {
                t->Open();
            } catch (const std::exception& e) {
                reason = def.file + ": " + e.what();
                return false;
            }
            m_tables.push_back(std::move(t));
            xb::CurrentAreaScope area(m_tables.back()->Area());
            std::unique_ptr<xb::IndexReadBracket> bracket;
            try {
                bracket = std::make_unique<xb::IndexReadBracket>();
            } catch (const std::exception& e) {
                // The semaphore could not be read or written (a full disk, a lost share).
                reason = def.file + ": " + e.what();
                return false;
            }
            if (!bracket->entered()) {
                reason = LangText(Text::IndexBusy, {def.file});
                return false;
            }
            m_brackets.push_back(std::move(bracket));
        }
        return true;
    }
    ~ReadBrackets() {
        m_brackets.clear();  // each closes on the area it was made on
        for (auto& t : m_tables) CloseQuietly(*t);
    }

private:
    std::vector<std::unique_ptr<xb::TXbDbf>> m_tables;
    std::vector<std::unique_ptr<xb::IndexReadBracket>> m_brackets;
};

}  // namespace

std::vector<std::string> DatabaseFileMasks(const std::string& dataDir) {
    return {dataDir + "*.dbf", dataDir + "*.mdx", dataDir + "*.dbt"};
}

uint64_t FreeSpaceOf(const std::string& path) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return UINT64_MAX;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

BackupResult BackupDatabase(const std::string& dataDir, const std::string& archiveName,
                            const ArchiveProgress& progress) {
    BackupResult result;
    const std::string archiveDir = platform::AbsolutePath(fs::path(archiveName).parent_path().string());
    const std::string absData = platform::AbsolutePath(dataDir);
    auto sameDir = [](std::string a, std::string b) {
        if (!a.empty() && a.back() != '/') a += '/';
        if (!b.empty() && b.back() != '/') b += '/';
        return a == b;
    };
    // Overwriting one of the files being saved would destroy it.
    if (isDataExtension(fileNameOf(archiveName)) && sameDir(archiveDir, absData)) {
        result.reason = LangText(Text::FileOfTheDatabase, {fileNameOf(archiveName)});
        return result;
    }

    CopyFolder copies;
    if (copies.path().empty()) {
        result.reason = LangText(Text::CannotCreateTempFolder);
        return result;
    }
    {
        ReadBrackets brackets;
        if (!brackets.take(dataDir, result.reason)) return result;
        std::vector<std::string> names;
        for (const std::string& mask : {std::string("*.dbf"), std::string("*.mdx"), std::string("*.dbt")})
            for (const std::string& n : platform::ListMatching(dataDir, mask)) names.push_back(n);
        for (const std::string& n : names) {
            if (int rc = copyFile(dataDir + n, copies.path() + lower(n))) {
                result.reason = LangText(Text::CannotReadFileError, {n, std::to_string(rc)});
                return result;
            }
        }
    }

    const std::string partName = archiveName + ".part";
    TBackupFile backup;
    backup.setBackupMode(bmAll);
    backup.RestoreMode = rmAll;
    backup.MaxSize = 0;
    backup.SetArchiveFlag = false;
    backup.RestoreFullPath = false;
    backup.SaveFileID = false;
    backup.CompressionLevel = clMax;
    backup.OnError = [&](TBackupFile&, int, const std::string& text) { result.reason = text; };
    if (progress) {
        backup.OnProgress = [&](TBackupFile&, const std::string& file, TPercentage percent, bool& cont) {
            progress(file, percent, cont);
        };
    }
    const bool stored = backup.Backup(DatabaseFileMasks(copies.path()), partName);
    int rc = stored ? 0 : -1;
    if (rc == 0) {
        platform::File f;
        rc = f.open(partName, platform::kModeExclusive);
        if (rc == 0) rc = f.flush();
    }
    if (rc == 0) rc = platform::RenameFile(partName, archiveName);
    if (rc == 0) platform::SyncDirectoryOf(archiveName);
    if (rc != 0) {
        platform::RemoveFileIfExists(partName);
        if (result.reason.empty())
            result.reason = stored ? LangText(Text::CannotWriteFileError, {archiveName, std::to_string(rc)})
                                   : LangText(Text::OperationCancelled);
        return result;
    }
    result.ok = true;
    return result;
}

RestoreResult RestoreDatabase(const std::string& dataDir, const std::string& archiveName,
                              const ArchiveProgress& progress) {
    RestoreResult result;
    ExchangeOperation op;
    auto finish = [&](RestoreOutcome outcome, const std::string& reason = {}) {
        op.End();
        result.outcome = outcome;
        if (!reason.empty() || result.reason.empty()) result.reason = reason;
        return result;
    };
    switch (op.Begin(dataDir)) {
        case ExchangeOperation::Begun::kOk:
            break;
        case ExchangeOperation::Begun::kBusy:
            return finish(RestoreOutcome::kBusy, LangText(Text::ExchangeBusy));
        case ExchangeOperation::Begun::kFailed:
            return finish(RestoreOutcome::kFailed, LangText(Text::CannotCreateStagingFolder, {dataDir}));
    }

    // What the archive's header declares is not trusted: the bytes really inflated are counted, and
    // reading stops as soon as they pass the declared total or the free space (while verifying) or what
    // the read-through found (while restoring: the archive may have changed in between). A total the
    // backup had to cut to 32 bits says only that there is at least that much.
    const uint64_t freeSpace = FreeSpaceOf(dataDir);
    constexpr uint64_t kMargin = uint64_t(1) << 20;
    bool verifying = true;
    uint64_t verified = 0;
    bool cancelled = false, overDeclared = false, overSpace = false;
    TBackupFile archive;
    archive.RestoreMode = rmAll;
    archive.RestoreFullPath = false;
    archive.OnError = [&](TBackupFile&, int, const std::string& text) { result.reason = text; };
    archive.OnProgress = [&](TBackupFile& sender, const std::string& file, TPercentage percent, bool& cont) {
        const uint64_t declared = sender.TotalSize() < INT32_MAX ? sender.TotalSize() : UINT64_MAX;
        const uint64_t done = sender.Processed();
        if (done > (verifying ? declared : verified)) overDeclared = true;
        if (verifying && freeSpace != UINT64_MAX && done + kMargin > freeSpace) overSpace = true;
        if (overDeclared || overSpace) {
            cont = false;
            return;
        }
        if (progress) progress(file, percent, cont);
        if (!cont) cancelled = true;
    };
    const std::string& staging = op.staging();
    // Only the database's own files are written, and only into the staging folder.
    archive.OnRestoreFile = [&](TBackupFile&, std::string& target, uint32_t, bool& doRestore) {
        const std::string name = lower(fileNameOf(target));
        doRestore = doRestore && IsDatabaseFileName(name);
        target = staging + name;
    };
    auto archiveFailure = [&](RestoreOutcome outcome) {
        if (archive.Error() == kBackupErrUnsafeName)
            return finish(RestoreOutcome::kIncomplete,
                          LangText(Text::ArchiveNameRefused, {archive.RefusedName()}));
        return finish(outcome, result.reason.empty() ? LangText(Text::InvalidArchive) : result.reason);
    };

    auto refusal = [&]() -> std::optional<RestoreResult> {
        if (overDeclared)
            return finish(RestoreOutcome::kIncomplete,
                          LangText(Text::ArchiveLargerThanDeclared, {std::to_string(archive.TotalSize())}));
        if (overSpace) {
            auto mb = [](uint64_t n) { return QString::number((n + kMargin - 1) >> 20); };
            return finish(RestoreOutcome::kFailed, GetLangText(Text::NotEnoughDiskSpace)
                                                       .arg(mb(archive.Processed() + kMargin), mb(freeSpace))
                                                       .toStdString());
        }
        if (cancelled) return finish(RestoreOutcome::kCancelled);
        return std::nullopt;
    };

    if (!fs::exists(archiveName))
        return finish(RestoreOutcome::kIncomplete, LangText(Text::BackupCannotReadArchive));
    const bool whole = archive.Verify(archiveName);
    if (auto r = refusal()) return *r;
    if (!whole) return archiveFailure(RestoreOutcome::kIncomplete);
    verified = archive.Processed();
    verifying = false;
    op.stage("verified");

    if (!archive.Restore(archiveName, staging)) {
        if (auto r = refusal()) return *r;
        return archiveFailure(RestoreOutcome::kFailed);
    }
    op.stage("staged");
    std::string why;
    if (!PrepareStagedDatabase(staging, &why)) return finish(RestoreOutcome::kIncomplete, why);
    op.stage("prepared");

    std::string busy;
    switch (SwapInDatabase(op, &busy)) {
        case SwapOutcome::kSwapped:
            op.End();
            result.outcome = RestoreOutcome::kRestored;
            result.reason.clear();
            return result;
        case SwapOutcome::kInUse:
            return finish(RestoreOutcome::kInUse, fileNameOf(busy));
        case SwapOutcome::kFailed:
            break;
    }
    return finish(RestoreOutcome::kFailed, LangText(Text::FilesNotReplaced));
}

void ReportRestoreResult(const RestoreResult& result) {
    auto& ui = platform::CurrentUi();
    const std::string detail = result.reason.empty() ? "" : "\n\n" + result.reason;
    switch (result.outcome) {
        case RestoreOutcome::kRestored:
            ui.messageBox(LangText(Text::AllOk), LangText(Text::OperationFinished),
                          platform::kMbOk | platform::kMbIconInformation);
            return;
        case RestoreOutcome::kCancelled:
            return;
        case RestoreOutcome::kInUse:
            ui.messageBox(LangText(Text::DatabaseInUse) + detail, LangText(Text::RestoreRefused),
                          platform::kMbOk | platform::kMbIconWarning);
            return;
        case RestoreOutcome::kBusy:
            ui.messageBox(result.reason, LangText(Text::RestoreRefused),
                          platform::kMbOk | platform::kMbIconWarning);
            return;
        case RestoreOutcome::kIncomplete:
            ui.messageBox(LangText(Text::NotACompleteDatabase) + detail, LangText(Text::ErrorCaption),
                          platform::kMbOk | platform::kMbIconStop);
            return;
        case RestoreOutcome::kFailed:
            ui.messageBox(LangText(Text::RestoreFailed) + detail, LangText(Text::ErrorCaption),
                          platform::kMbOk | platform::kMbIconStop);
            return;
    }
}

}  // namespace app
