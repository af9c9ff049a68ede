#include "engine/dataset/xb_file_dataset.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/text_support.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/engine_windows.h"
#include "engine/dataset/text_boundary.h"
#include "engine/dataset/xb_fields.h"
#include "engine/index/key_routines.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

// A data file exists whatever the case of its name on disk.
bool dataFileExists(const std::string& name) {
    return platform::FileExists(platform::ResolveCase(platform::AbsolutePath(name)));
}

bool unavailable(const char* routine) {
    SetEngineError(220, std::string("Index engine not linked in [") + routine + "]");
    return false;
}

}  // namespace

namespace {

struct ServicesState final : UnitState {
    DatasetIndexServices services;
};

}  // namespace

DatasetIndexServices& IndexServices() {
    return Engine::current().unit<ServicesState>().services;
}

TXbFileDataSet::~TXbFileDataSet() = default;

void TXbFileDataSet::SetExclusive(bool on) {
    m_exclusive = on;
    if (Active()) {
        Close();
        Open();
    }
}

std::string TXbFileDataSet::MdxFileName() const {
    return IndexFileNameOf(TableFileName(DbfFileName()));
}

// ---- opening ----

bool TXbFileDataSet::CreateTableWhole(const std::string& fileName) {
    TrappingOff off;  // the caller tells of the failure
    const std::string target = TableFileName(fileName);
    const size_t slash = target.find_last_of('/');
    const std::string dir = target.substr(0, slash + 1);
    const std::string base = target.substr(slash + 1);
    // Creators of the table take turns, each from before it makes its staging folder until the table is
    // in place, so that a staging folder whose table's lock is free is what a creator that died left. A
    // station that made the table meanwhile has it in use already, with its memo and index: nothing of it
    // is replaced.
    platform::CreationLock creators(target);
    if (const int rc = creators.result(); rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Cannot lock the creation of " + target + ": " +
                                                      creators.refusal() + " [CreateTable]");
        return false;
    }
    std::string staging;
    if (const int rc = platform::UniqueTempDir(dir, "." + base + "-new-", staging); rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Cannot create a directory in " + dir + " [CreateTable]");
        return false;
    }
    const std::string staged = staging + "/" + base;
    FirstError first;
    std::vector<std::string> placed;  // files already renamed into place
    auto discard = [&] {
        first.take();
        for (const std::string& f : platform::ListMatching(staging, "*.*"))
            platform::RemoveFileIfExists(staging + "/" + f);
        platform::RemoveEmptyDir(staging);
        for (const std::string& f : placed) platform::RemoveFileIfExists(dir + f);
        ClearPendingError();
        return false;
    };

    if (!CreateTableFromDbfFields(staged)) return discard();
    if (IndexTagCount() > 0 && CreateIndex != TCreateIndexType::ciNever) {
        UseRequest request;
        request.path = staged;
        request.exclusive = true;
        request.alias = "NEW" + std::to_string(xb::SelectedArea());
        bool ok = false;
        try {
            if (xb::UseTable(request) && PendingError() == 0) {
                xb::SetMdxFlag(true);
                m_indexRefused = PendingError() == 0 && !buildIndex(MdxFileName(), IndexFileNameOf(staged));
                if (m_indexRefused) xb::SetMdxFlag(false);
                ok = PendingError() == 0;
            }
        } catch (const EEngineError&) {
        }
        first.take();
        try {
            xb::CloseDatabase();
        } catch (const EEngineError&) {
        }
        if (!ok || PendingError() != 0) return discard();
    }

    // A station that does not take the lock (another program) may have made the table meanwhile.
    if (platform::StatPath(target).exists) {
        for (const std::string& f : platform::ListMatching(staging, "*.*"))
            platform::RemoveFileIfExists(staging + "/" + f);
        platform::RemoveEmptyDir(staging);
        first.dismiss();
        return true;
    }
    // A memo or index of the table's name found without its table is never replaced by an empty one:
    // its notes or keys would be lost. The create is refused, naming it; the caller moves it aside.
    // Found beside a table that a station not taking the creation lock has just created, it is that
    // table's, and the open goes on with them.
    for (const std::string& f : platform::ListMatching(staging, "*.*")) {
        if (f == base || !platform::StatPath(platform::ResolveCase(dir + f)).exists) continue;
        const bool created = dataFileExists(target);
        if (!created) SetEngineError(80, dir + f + " exists without its table [CreateTable]");
        discard();
        if (!created) return false;
        first.dismiss();
        return true;
    }

    // The table's companions go first and the table last: a table that can be seen is whole.
    for (const std::string& f : platform::ListMatching(staging, "*.*")) {
        if (f == base) continue;
        if (const int rc = platform::RenameFile(staging + "/" + f, dir + f); rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc),
                           "Cannot rename " + staging + "/" + f + " [CreateTable]");
            return discard();
        }
        placed.push_back(f);
    }
    if (const int rc = platform::RenameFileNoReplace(staged, target); rc != 0) {
        if (rc != 80) {
            SetEngineError(static_cast<uint16_t>(rc), "Cannot rename " + staged + " [CreateTable]");
            return discard();
        }
        // Another station created the table in the meantime: its table stays, with companions as
        // empty as ours.
        platform::RemoveFileIfExists(staged);
    }
    platform::SyncDirectoryOf(target);
    platform::RemoveEmptyDir(staging);
    first.dismiss();
    return true;
}

bool TXbFileDataSet::OpenTable(const std::string& fileName) {
    // Every name the open looks up (the table, its memo, index and semaphore files, what an interrupted
    // pack left) comes from one listing of the table's directory.
    platform::NameLookupScope names;
    m_indexRefused = false;
    if (CreateIfNotFound && !dataFileExists(fileName)) {
        if (!CreateTableWhole(fileName)) {
            ShowMessage("Could not create \"" + DbfFileName() + "\"");
            // A create the engine refused (a full disk, a folder without write access) ends the open
            // with that reason: the open that would follow only finds no file.
            if (PendingError() != 0) return false;
        }
    }
    UseRequest request;
    request.path = fileName;
    request.exclusive = m_exclusive;
    request.alias = EngineText(AllTrim(Name));
    if (ReadOnly) request.openMode = m_exclusive ? 0 : 64;
    request.countRepair = AutoFixRecCount;
    // The index the open takes goes to its first key (or, with an open key, the open goes to that key):
    // the table's first record is read only without an index.
    request.top = false;
    request.snapshot = m_openAlone && ReadOnly;
    xb::UseTable(request);
    if (PendingError() != 0) return false;
    const bool keyOpen = !m_openTag.empty();
    EngineSettings& settings = Engine::current().settings;
    // Without a key, an open asked to stand nowhere leaves the area off every row (see SetOpenNowhere).
    const bool nowhere = !keyOpen && m_openNowhere;
    settings.indexOpenGoesTop = !keyOpen && !nowhere;
    bool made = false;
    try {
        made = m_openAlone || MakeIndexes();
    } catch (...) {
        settings.indexOpenGoesTop = true;
        throw;
    }
    settings.indexOpenGoesTop = true;
    m_openKeyFound = -1;
    if (WorkAreaBlock* b = xb::CurrentBlock()) {
        if (made && PendingError() == 0) {
            bool placed = xb::IsIndexActive() && (!keyOpen || positionOnOpenKey());
            if (placed && nowhere) {
                b->eof = b->bof = true;
                m_openKeyFound = 0;  // as an open key not found: the cursor's first positioning moves nothing
            }
            if (!placed && PendingError() == 0 && b->recCount > 0) xb::GoTop();
        }
        b->countJustRead = false;
    }
    return made;
}

std::vector<TIndexTagDescriptor> TXbFileDataSet::ParseIndexList() const {
    std::vector<TIndexTagDescriptor> tags;
    for (size_t i = 0; i < IndexList.size(); i += 2) {
        const std::string line = EngineText(IndexList[i]);
        TIndexTagDescriptor t;
        const size_t comma = line.find(',');
        t.tagName = AllTrim(line.substr(0, comma)).substr(0, 10);
        if (comma != std::string::npos) {
            t.descending =
                comma + 1 < line.size() && std::toupper(static_cast<unsigned char>(line[comma + 1])) == 'T';
            t.unique =
                comma + 3 < line.size() && std::toupper(static_cast<unsigned char>(line[comma + 3])) == 'T';
            if (comma + 5 <= line.size()) t.keyExpr = AllTrim(line.substr(comma + 5)).substr(0, 220);
        }
        if (i + 1 < IndexList.size()) t.forExpr = AllTrim(EngineText(IndexList[i + 1])).substr(0, 220);
        tags.push_back(t);
    }
    return tags;
}

bool TXbFileDataSet::IndexSemaphoreBusy() {
    DatasetIndexServices& svc = IndexServices();
    if (!svc.semaphoreFileName) return false;
    const std::string name = svc.semaphoreFileName();
    if (name.empty() || !platform::FileExists(name)) return false;
    if (xb::FileIsFromToday(name)) return true;
    // An old semaphore is left over from an earlier day, unless some station still holds it open: the
    // erase refuses then, and the file counts as in use.
    return xb::EraseFile(name) != 0;
}

bool TXbFileDataSet::buildIndex(const std::string& shownName, const std::string& path) {
    DatasetIndexServices& svc = IndexServices();
    const std::vector<TIndexTagDescriptor> tags = ParseIndexList();
    bool canMake = true;
    if (OnBeforeMakeIndex) OnBeforeMakeIndex(*this, shownName, canMake);
    if (!canMake) return false;
    {
        std::unique_ptr<TXbProgressWindow> progress;
        if (ShowProgress) {
            progress = std::make_unique<TXbProgressWindow>("Indexing " + Utf8Text(shownName) + "...");
            if (svc.setProgressHook) svc.setProgressHook([p = progress.get()] { p->Step(); }, 100);
        }
        struct HookReset {
            DatasetIndexServices& svc;
            bool on;
            ~HookReset() {
                if (on && svc.setProgressHook) svc.setProgressHook(nullptr, 0);
            }
        } reset{svc, progress != nullptr};
        if (svc.makeIndex)
            svc.makeIndex(tags, path);
        else
            unavailable("MakeIndex");
        // The build made files by its own means: the names the open looked up before are looked up anew.
        platform::ForgetListedNames();
    }
    if (OnAfterMakeIndex) OnAfterMakeIndex(*this, shownName);
    return true;
}

bool TXbFileDataSet::MakeIndexes() {
    if (m_designing) return true;
    DatasetIndexServices& svc = IndexServices();
    TCreateIndexType mode;
    if (IndexTagCount() > 0) {
        xb::SetMdxFlag(true);
        mode = CreateIndex;
    } else if (xb::HasMdxFlag()) {
        mode = TCreateIndexType::ciNever;
    } else {
        return true;
    }
    const std::string mdx = MdxFileName();
    // A read-only open changes no file: the index is opened as it is, and a damaged one is reported.
    if (ReadOnly && platform::FileExists(mdx)) mode = TCreateIndexType::ciNever;
    if (mode == TCreateIndexType::ciNever) {
        if (svc.setIndexTo)
            svc.setIndexTo(mdx);
        else
            unavailable("SetIndexTo");
        return true;
    }

    bool build = false;
    {
        TrappingOff off;
        if (!platform::FileExists(mdx)) {
            build = true;
        } else {
            if ((mode == TCreateIndexType::ciAlways || mode == TCreateIndexType::ciVerifyHeader) &&
                IndexSemaphoreBusy())
                mode = TCreateIndexType::ciNotFound;
            ClearPendingError();
            if (mode == TCreateIndexType::ciVerifyHeader) {
                std::vector<std::string> lines;
                bool same = false;
                if (svc.getIndexTagList && svc.getIndexTagList(mdx, lines) && PendingError() == 0) {
                    same = lines.size() == IndexList.size();
                    for (size_t i = 0; same && i < lines.size(); ++i)
                        same = AsciiUpper(AllTrim(lines[i])) == AsciiUpper(AllTrim(EngineText(IndexList[i])));
                }
                // A tag list that cannot be read counts as different: the file is rebuilt.
                ClearPendingError();
                if (same)
                    mode = TCreateIndexType::ciNotFound;
                else
                    build = true;
            }
            if (!build && mode == TCreateIndexType::ciNotFound) {
                // With trapping off the index engine raises its error as well; the error is what
                // decides here, not the exception.
                try {
                    if (svc.setIndexTo)
                        svc.setIndexTo(mdx);
                    else
                        unavailable("SetIndexTo");
                } catch (const EEngineError&) {
                }
                // A missing or damaged index, or one out of step with its table (212), is offered for a
                // rebuild (OnBeforeMakeIndex may refuse it) instead of halting the opening.
                const int e = PendingError();
                if (e == 2 || e == 212 || e == 222 || e == 223) {
                    ClearPendingError();
                    build = true;
                }
            } else if (mode == TCreateIndexType::ciAlways) {
                build = true;
            }
        }
    }
    if (!build) return true;

    // An index refused while the table was created is not offered a second time.
    const bool refused = m_indexRefused;
    m_indexRefused = false;
    if (refused || !buildIndex(mdx, mdx)) {
        if (svc.closeIndex) svc.closeIndex();
        xb::SetMdxFlag(false);
        return true;
    }
    if (PendingError() == 0) {
        if (svc.setIndexTo)
            svc.setIndexTo(mdx);
        else
            unavailable("SetIndexTo");
    }
    return true;
}

// ---- locked writes ----

bool TXbFileDataSet::lockedWrite(const char* opName, const char* what, const TLockFailedEvent& event,
                                 bool appendLock, const std::function<void()>& write) {
    if (!GetCanModify()) return false;
    if (!BeginOperation(opName)) return false;
    for (int tries = 1;; ++tries) {
        if (appendLock ? xb::ALock() : xb::RLock()) {
            write();
            return true;
        }
        bool retry = false;
        if (event) event(*this, retry);
        if (!event || !retry || tries >= kMaxLockRetries) {
            // A handler that asks for retries for ever would hang the program: past the bound the write
            // is dropped as it is without a handler.
            if (!event || retry) ShowMessage(std::string("Lock failed [") + what + "]");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!BeginOperation(opName)) return false;
    }
}

bool TXbFileDataSet::AppendWithLock() {
    // An append lock the caller took stays the caller's: the rows it appends one after the other are
    // appended under that one lock (and the record count read once under it).
    const WorkAreaBlock* b = BeginOperation("s_AppendWithLock") ? xb::CurrentBlock() : nullptr;
    const bool callersLock = b && b->lockState == LockState::Append;
    return lockedWrite("s_AppendWithLock", "Insert", OnALockFailedOnInsert, true, [callersLock] {
        xb::Append();
        if (!xb::RefreshPosition() && !callersLock) xb::Unlock();
    });
}

bool TXbFileDataSet::DeleteWithLock() {
    return lockedWrite("s_DeleteWithLock", "Delete", OnRLockFailedOnDelete, false, [] {
        xb::DeleteRec();
        if (!xb::RefreshPosition()) xb::Unlock();
    });
}

bool TXbFileDataSet::RestoreWithLock() {
    return lockedWrite("s_RestoreWithLock", "Restore", OnRLockFailedOnRestore, false, [] {
        xb::RecallRec();
        xb::Unlock();
    });
}

bool TXbFileDataSet::ReplaceWithLock() {
    return lockedWrite("s_ReplaceWithLock", "Post", OnRLockFailedOnPost, false, [] {
        xb::Replace();
        if (!xb::RefreshPosition()) xb::Unlock();
    });
}

std::unique_ptr<TStream> TXbFileDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
    return std::make_unique<TXbBlobStream>(field, mode, TableLanguage == TXbTableLanguage::tlOem);
}

void TXbFileDataSet::InternalLastBeforeAppend() {
    if (!BeginOperation("XbiSetToEnd")) return CheckXbiResult(PendingError());
    m_beforeFirst = false;
    m_afterLast = true;
}

bool TXbFileDataSet::IsSequenced() {
    if (!BeginOperation("IsSequenced")) return false;
    return !Filtered && !xb::IsIndexActive();
}

}  // namespace xb
