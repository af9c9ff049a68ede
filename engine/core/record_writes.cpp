#include "engine/core/record_writes.h"

#include <cstring>
#include <functional>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

Engine& eng() { return Engine::current(); }
IndexDriver* driver() { return eng().tables.index.get(); }

std::string quoted(const WorkAreaBlock& b) { return "\"" + b.fileName + "\""; }

// The lock semaphore of the index engine around key work.
class LockSemaphore : public SemaphoreBracket {
public:
    explicit LockSemaphore(bool active) : SemaphoreBracket(Lock, active) {}
};

// The answer of a write whose row and keys are stored, kept over the release of the write lock that
// follows (declared before the lock's guard, it ends after it): a release that cannot rewrite the semaphore record
// leaves the write lock's count in it, which has the next station rebuild the index before it reads, so
// the write stands and is answered as it stands.
class WriteStands {
public:
    WriteStands() = default;
    WriteStands(const WriteStands&) = delete;
    WriteStands& operator=(const WriteStands&) = delete;
    ~WriteStands() {
        if (!m_kept) return;
        ErrorState& errors = eng().errors;
        errors.lastError = m_last;
        errors.pendingError = m_pending;
        errors.detail = m_detail;
    }
    void keep() {
        const ErrorState& errors = eng().errors;
        m_kept = true;
        m_last = errors.lastError;
        m_pending = errors.pendingError;
        m_detail = errors.detail;
    }

private:
    bool m_kept = false;
    uint16_t m_last = 0, m_pending = 0;
    std::string m_detail;
};

// Reports a failure of a step without letting a later success hide it.
bool fail(uint16_t code, const std::string& detail) {
    SetEngineError(code, detail);
    return false;
}

// An append whose keys could not all be written is taken back, so that the failure it reports leaves
// nothing behind: the record goes (nobody else can have appended after it, the append lock is held) and
// the tags are rebuilt from the table as it was, under the write lock still held. The append's error is
// the one reported. When the record cannot be cut off it stays, deleted, and the tags are rebuilt with
// it; a rebuild that fails too leaves the index marked for the next station to repair.
void undoAppend(WorkAreaBlock& b, int32_t n) {
    FirstError first;
    first.take();
    bool gone = false;
    if (n == b.recCount && b.file.truncate(b.recordOffset(n)) == 0) {
        b.recCount = n - 1;
        b.eofAfter = 0;
        gone = true;
    } else if (n >= 1 && n <= b.recCount) {
        b.raw[0] = '*';
        WriteDeleteFlag(b, n);
    }
    driver()->repairTags();
    if (gone) {
        b.recNo = b.recCount + 1;
        b.eof = true;
        ClearRecord();
    }
}

// A replace whose keys could not all be written is taken back the same way: the row as it was stored
// goes back in its place (a write within the file, which a full disk does not refuse) and the tags are
// rebuilt, so that the failure it reports has changed nothing. A memo the caller rewrote for it went to
// new blocks, and the old row still names the old ones.
void undoReplace(WorkAreaBlock& b, const std::vector<char>& stored) {
    FirstError first;
    first.take();
    if (stored.size() == b.raw.size()) {
        std::copy(stored.begin(), stored.end(), b.raw.begin());
        if (PutDbfRecord(b, b.recNo)) RawToTypedRecord(b, b.typed);
    }
    driver()->repairTags();
}

// Key work of a write whose failures are met quietly, so that recover() can set things right before the
// failure is raised (or, without the error trap, left recorded for the caller). False when it failed.
bool keyWork(const std::function<void()>& work, const std::function<void()>& recover) {
    const bool trapping = SetErrorTrap(false);
    work();
    const bool failed = LastError() != 0;
    if (failed) recover();
    SetErrorTrap(trapping);
    if (failed && trapping) EngineErrorHandler();
    return !failed;
}

}  // namespace

std::string PackWritingName(const std::string& tablePath) {
    return DerivedFileName(tablePath, kPackWritingExt);
}
std::string PackReadyName(const std::string& tablePath) {
    return DerivedFileName(tablePath, kPackReadyExt);
}
std::string PackMemoName(const std::string& tablePath) {
    return DerivedFileName(tablePath, kPackMemoExt);
}

bool Append() {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("APPEND");
        return false;
    }
    if (b->isVirtual) {
        if (!eng().tables.vfile) return fail(1101, "[APPEND]");
        b->vfOp = kVfPut;
        b->vfArg = b->recCount + 1;
        eng().tables.vfile->call(*b);
        if (LastError() != 0) return false;
        b->eof = b->bof = false;
        return true;
    }
    if (IsSharedUse(*b) && b->lockState != LockState::Append)
        return fail(5, "File must be locked to append: " + b->fileName + " [APPEND]");
    // Another station may have appended before this area took the append lock (not while it holds it).
    RefreshRecCount(*b);
    TypedToRawRecord(*b, b->typed);
    const bool order = IsIndexActive();
    {
        // Refused (another station's write that does not end, a mark no repair could clear): nothing is
        // written. The answer of a stored write outlives the release (the lock's guard ends first).
        WriteStands stands;
        LockSemaphore sem(order);
        if (!sem.held()) return false;
        if (!AppendDbfRecord(*b)) return false;
        // The key work may move the area (an order put back on its record): the row to take back is this.
        const int32_t appended = b->recCount;
        RawToTypedRecord(*b, b->typed);
        if (order && !keyWork([] { driver()->appendNewKey(); }, [b, appended] { undoAppend(*b, appended); }))
            return false;
        stands.keep();
    }
    b->eof = b->bof = false;
    return LastError() == 0;
}

bool Replace() {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("REPLACE");
        return false;
    }
    if (b->recNo < 1) return fail(212, "Database " + quoted(*b) + " is empty. [REPLACE]");
    if (b->recNo > b->recCount || b->eof) return fail(212, "Database " + quoted(*b) + " is at EOF. [REPLACE]");
    if (b->isVirtual) {
        if (!eng().tables.vfile) return fail(1101, "[REPLACE]");
        b->vfOp = kVfPut;
        b->vfArg = b->recNo;
        eng().tables.vfile->call(*b);
        return LastError() == 0;
    }
    if (IsSharedUse(*b) && !IsLocked(b->recNo))
        return fail(1200, "Record #" + std::to_string(b->recNo) + " in " + b->fileName + " [REPLACE]");
    const bool order = IsIndexActive();
    {
        WriteStands stands;
        LockSemaphore sem(order);
        if (!sem.held()) return false;
        std::vector<char> stored;
        if (order) {
            if (b->swap.size() < b->typedSize) return fail(254, b->fileName + " Swap-buffer NIL. [REPLACE]");
            // The keys of the record as stored are remembered before it changes, and the row itself, to
            // put back when its keys cannot follow.
            std::memcpy(b->swap.data(), b->typed, b->typedSize);
            if (!GetDbfRecord(*b, b->recNo)) {
                std::memcpy(b->typed, b->swap.data(), b->typedSize);
                return false;
            }
            stored = b->raw;
            RawToTypedRecord(*b, b->typed);
            driver()->saveAllKeys();
            std::memcpy(b->typed, b->swap.data(), b->typedSize);
        }
        TypedToRawRecord(*b, b->typed);
        if (!PutDbfRecord(*b, b->recNo)) return false;
        RawToTypedRecord(*b, b->typed);
        // Tags that could not follow the row: the row is put back as it was and the tags rebuilt, and the
        // failure is reported.
        if (order &&
            !keyWork([] { driver()->updateChangedKeys(); }, [b, &stored] { undoReplace(*b, stored); }))
            return false;
        stands.keep();
    }
    return LastError() == 0;
}

namespace {

bool setDeleteFlag(bool deleted) {
    eng().errors.lastError = 0;
    const char* routine = deleted ? "[DeleteRec]" : "[RecallRec]";
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse(deleted ? "DeleteRec" : "RecallRec");
        return false;
    }
    if (!b->isVirtual && IsSharedUse(*b) &&
        (b->lockState == LockState::Append || !IsLocked(b->recNo))) {
        return deleted ? fail(1200, b->fileName + " Record not locked [DeleteRec]")
                       : fail(1200, "Record not locked [RecallRec]");
    }
    if (!deleted) {
        RefreshRecCount(*b);
        if (b->recNo < 1 || b->recNo > b->recCount) return fail(1103, b->fileName + " at EOF [RecallRec]");
    } else if (b->recNo < 1 || b->recNo > b->recCount) {
        return true;
    }
    if (b->isVirtual) {
        if (!eng().tables.vfile) return fail(1101, routine);
        b->vfOp = deleted ? kVfDelete : kVfRecall;
        b->vfArg = b->recNo;
        eng().tables.vfile->call(*b);
        return LastError() == 0;
    }
    b->typed[0] = deleted ? 1 : 0;
    b->raw[0] = deleted ? '*' : ' ';
    // Written inside the lock semaphore like any row write, though no key changes: its release moves the
    // update counter, by which other stations learn that the rows they keep read (navigation.h) are old.
    // Without it a station goes on showing a row another station deleted.
    {
        // Released before the answer, as in Replace: a release that fails fails the delete.
        LockSemaphore sem(IsIndexActive());
        if (!sem.held() || !WriteDeleteFlag(*b, b->recNo)) return false;
    }
    return LastError() == 0;
}

}  // namespace

bool DeleteRec() { return setDeleteFlag(true); }
bool RecallRec() { return setDeleteFlag(false); }

bool Poke(const std::string& text, int field, int32_t record) {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    const std::string call = "[Poke(" + text + "," + std::to_string(field) + "," + std::to_string(record) + ")]";
    if (!b) {
        CheckDbfInUse("Poke");
        return false;
    }
    if (b->isVirtual) return fail(1100, "Operation cannot be used on virtual files." + call);
    if (IsSharedUse(*b) && (b->lockState == LockState::Append || !IsLocked(record)))
        return fail(1200, "Record not locked " + call);
    if (record < 1 || record > b->recCount || field < 0 || field > static_cast<int>(b->fields.size())) return true;
    size_t len = field == 0 ? 1 : b->fields[static_cast<size_t>(field - 1)].length;
    len = std::min(len, text.size());
    uint64_t off = b->recordOffset(record) + (field == 0 ? 0 : b->fields[static_cast<size_t>(field - 1)].offset);
    {
        // Inside the lock semaphore, as setDeleteFlag's write: other stations learn of the change.
        LockSemaphore sem(IsIndexActive());
        if (!sem.held()) return false;
        NoteRowWrite();
        int rc = b->file.writeAt(off, text.data(), len);
        if (rc != 0) return fail(101, "Error writing " + b->fileName + " " + call);
    }
    return LastError() == 0;
}

bool HasMdxFlag() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual || b->isDbase2()) return false;
    return b->header[28] != 0;
}

void SetMdxFlag(bool on) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual || b->isDbase2()) return;
    const uint8_t v = on ? 1 : 0;
    if (b->header[28] == v) return;
    b->header[28] = v;
    b->headerFlagsChanged = true;
    if (b->state == TableState::Clean) b->state = TableState::Changed;
}

namespace {

// Whether the table's directory may hold a file an interrupted pack left: one listing answers for all
// three names, where looking each up by name costs a stat and a listing apiece.
bool packMayHaveLeftFiles(const std::string& tablePath) {
    std::string dir, name, ext;
    FSplit(tablePath, dir, name, ext);
    std::vector<std::string> names;
    if (name.find_first_of("*?") != std::string::npos || !platform::ListDirectory(dir.empty() ? "." : dir, names))
        return true;  // cannot tell: each name is looked up
    for (const std::string& n : names)
        for (const char* left : {kPackWritingExt, kPackReadyExt, kPackMemoExt, kIndexBesideExt})
            if (platform::MatchMask(name + "." + left, n)) return true;
    return false;
}

}  // namespace

bool CompleteInterruptedPack(const std::string& tablePath) {
    if (!packMayHaveLeftFiles(tablePath)) return true;
    const std::string writing = PackWritingName(tablePath);
    const std::string ready = PackReadyName(tablePath);
    const std::string memo = PackMemoName(tablePath);
    const std::string index = DerivedFileName(tablePath, kIndexBesideExt);
    const bool hasReady = platform::FileExists(ready);
    if (!hasReady && !platform::FileExists(writing) && !platform::FileExists(memo) && !platform::FileExists(index))
        return true;
    // A pack or a rebuild in progress holds the table exclusively: leave its files alone. Held here, the
    // table stays out of every other station's reach until the files agree.
    platform::File probe;
    int rc = probe.open(tablePath, platform::kModeExclusive);
    if (rc == platform::kErrSharingViolation) return true;
    if (hasReady) {
        // The pack committed: its memo file and its index are whole beside the ready table. Each takes
        // its name, the table last, so that a kill in between is completed again by the next open.
        uint8_t version = 0;
        platform::File packed;
        if (platform::FileExists(memo)) {
            rc = packed.open(ready, platform::kModeSharedRead);
            if (rc == 0) rc = packed.readAt(0, &version, 1);
            packed.close();
            if (rc == 0) rc = platform::RenameFile(memo, MemoFileNameOf(tablePath, version));
        }
        if (rc == 0 && platform::FileExists(index)) rc = platform::RenameFile(index, IndexFileNameOf(tablePath));
        if (rc == 0) rc = platform::RenameFile(ready, tablePath);
        if (rc != 0) return fail(static_cast<uint16_t>(rc), "Cannot complete the pack of " + tablePath + " [Use]");
        platform::SyncDirectoryOf(tablePath);
    }
    // Anything else was never committed: the originals are whole.
    platform::RemoveFileIfExists(writing);
    platform::RemoveFileIfExists(memo);
    platform::RemoveFileIfExists(index);
    return true;
}

namespace {

// Writes the kept records of the area to `writing`, returns the count kept. The header is copied
// verbatim but for count and date.
bool writePackedTable(WorkAreaBlock& b, platform::File& out, const std::string& writing, int32_t& kept,
                      std::vector<int32_t>& keptNumbers) {
    int rc = out.create(writing, platform::kModeExclusive);
    if (rc != 0) return fail(static_cast<uint16_t>(rc), "Error packing " + b.fileName);
    const uint64_t hs = static_cast<uint16_t>(b.headerSize);
    std::vector<char> header(hs);
    rc = b.file.readAt(0, header.data(), header.size());
    if (rc != 0) return fail(static_cast<uint16_t>(rc), "Error packing " + b.fileName);

    const size_t rs = b.recordSize;
    const size_t perChunk = std::max<size_t>(1, (1u << 20) / rs);
    std::vector<char> in(perChunk * rs);
    std::vector<char> keptBytes;
    keptBytes.reserve(in.size());
    uint64_t outPos = hs;
    kept = 0;
    for (int32_t first = 1; first <= b.recCount; first += static_cast<int32_t>(perChunk)) {
        const size_t n = std::min<size_t>(perChunk, static_cast<size_t>(b.recCount - first + 1));
        rc = b.file.readAt(b.recordOffset(first), in.data(), n * rs);
        if (rc != 0) return fail(static_cast<uint16_t>(rc), "Error packing " + b.fileName);
        keptBytes.clear();
        for (size_t i = 0; i < n; ++i) {
            const char* rec = in.data() + i * rs;
            if (rec[0] == '*') continue;
            keptNumbers.push_back(first + static_cast<int32_t>(i));
            keptBytes.insert(keptBytes.end(), rec, rec + rs);
            ++kept;
        }
        if (!keptBytes.empty()) {
            rc = out.writeAt(outPos, keptBytes.data(), keptBytes.size());
            if (rc != 0) return fail(static_cast<uint16_t>(rc), "Error packing " + b.fileName);
            outPos += keptBytes.size();
        }
    }
    const char eof = static_cast<char>(kEofByte);
    rc = out.writeAt(outPos, &eof, 1);
    if (rc == 0) {
        // Count and date of the packed table.
        platform::CivilDate d = platform::Today();
        if (b.isDbase2()) {
            platform::PutU16(reinterpret_cast<uint8_t*>(&header[1]), static_cast<uint16_t>(kept));
            header[3] = static_cast<char>(d.month);
            header[4] = static_cast<char>(d.day);
            header[5] = static_cast<char>(d.year - 1900);
        } else {
            header[1] = static_cast<char>(d.year - 1900);
            header[2] = static_cast<char>(d.month);
            header[3] = static_cast<char>(d.day);
            platform::PutU32(reinterpret_cast<uint8_t*>(&header[4]), static_cast<uint32_t>(kept));
        }
        rc = out.writeAt(0, header.data(), header.size());
    }
    if (rc != 0) return fail(static_cast<uint16_t>(rc), "Error packing " + b.fileName);
    return true;
}

}  // namespace

bool Pack() {
    NoteRowWrite();
    Engine& e = eng();
    e.errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->isVirtual) {
        if (!e.tables.vfile) return fail(1101, "[Pack]");
        b->vfOp = kVfPack;
        e.tables.vfile->call(*b);
        return LastError() == 0;
    }
    RefreshRecCount(*b);
    if (b->recCount < 1) return true;

    bool reopened = false;
    if (IsSharedUse(*b)) {
        int rc = ReopenDbfFile(true);
        if (rc != 0) {
            // Another station has the table open: nothing was changed, and nothing need be shown.
            e.errors.lastError = static_cast<uint16_t>(rc);
            e.errors.detail = "Cannot open " + b->fileName + " exclusively [Pack]";
            return false;
        }
        reopened = true;
    }
    auto backToShared = [&]() -> bool {
        if (!reopened) return true;
        int rc = ReopenDbfFile(false);
        if (rc != 0) return fail(static_cast<uint16_t>(rc), "Cannot re-open database sharable. " + b->fileName + " [Pack]");
        // The index the pack rebuilt was opened while the table was held exclusively: it is shared again
        // with the table, or no other station could open it until this one closes the table.
        if (IsIndexActive()) driver()->shareIndex();
        return true;
    };

    const std::string table = b->fileName;
    const std::string writing = PackWritingName(table);
    const std::string ready = PackReadyName(table);
    const std::string memoTemp = PackMemoName(table);
    // The index of the packed rows is written beside the index before the commit. The table's own index
    // is completed with the table by the next open after a kill (CompleteInterruptedPack); another index
    // is put in place right after the table.
    const std::string indexFile = driver() && e.tables.indexLinked ? driver()->indexFileName() : std::string();
    const bool ownIndex = !indexFile.empty() && platform::SameNameAnyCase(platform::ResolveCase(indexFile),
                                                                          platform::ResolveCase(IndexFileNameOf(table)));
    const std::string indexTemp = DerivedFileName(ownIndex || indexFile.empty() ? table : indexFile, kIndexBesideExt);
    auto cleanUp = [&] {
        // The ready table first: without it, whatever else is left is rolled back by the next open.
        platform::RemoveFileIfExists(ready);
        platform::RemoveFileIfExists(writing);
        platform::RemoveFileIfExists(memoTemp);
        platform::RemoveFileIfExists(indexTemp);
    };

    // Whatever the area holds in memory goes to the file first (appends since the last flush).
    if (!FlushDbf(*b)) {
        uint16_t code = LastError();
        backToShared();
        e.errors.lastError = code;
        return false;
    }

    platform::File packed;
    int32_t kept = 0;
    std::vector<int32_t> keptNumbers;
    bool ok = writePackedTable(*b, packed, writing, kept, keptNumbers);
    const bool withMemo = ok && b->hasMemo && e.tables.memo;
    if (withMemo) {
        MemoPackJob job;
        job.packedTable = &packed;
        job.keptCount = kept;
        job.tempMemoPath = memoTemp;
        job.tableRecords = std::move(keptNumbers);
        e.errors.lastError = 0;
        e.tables.memo->packMemofile(job);
        ok = LastError() == 0;
    }
    IndexDriver::IndexReopening reopen;
    if (ok && !indexFile.empty()) {
        // The build reads the packed rows through the area, from the packed file.
        const int32_t count = b->recCount;
        const auto swapRows = [&](bool packedRows) {
            std::swap(b->file, packed);
            b->recCount = packedRows ? kept : count;
        };
        e.errors.lastError = 0;
        ok = driver()->writeIndexBeside(indexTemp, swapRows, reopen) && LastError() == 0;
    }
    if (ok) {
        // The commit: the packed table complete under its ready name. Before it, the next open throws
        // every new file away; from it on, the next open puts each in place.
        int rc = packed.flush();
        if (rc == 0) rc = platform::CopyFileMode(table, writing);
        if (rc == 0) rc = platform::RenameFile(writing, ready);
        if (rc == 0) rc = platform::SyncDirectoryOf(table);
        if (rc != 0) ok = fail(static_cast<uint16_t>(rc), "Error packing " + table);
    }
    if (!ok) {
        uint16_t code = LastError();
        std::string detail = TakeErrorMessage();
        packed.close();
        cleanUp();
        if (!reopen.file.empty()) driver()->reopenIndex(reopen);
        backToShared();
        e.errors.lastError = code;
        e.errors.detail = detail;
        e.errors.pendingError = code;
        return false;
    }

    // The files take their names: the memo file, the index, then the table. A failure here leaves the
    // rest for the next open to complete, as a kill would.
    auto committedButStopped = [&](int rc) {
        packed.close();
        return fail(static_cast<uint16_t>(rc), "Error packing " + table + ": the next open completes it");
    };
    if (withMemo) {
        e.tables.memo->closeMemofile();
        const std::string memoPath = MemoFileNameOf(table, b->version());
        if (const int rc = platform::RenameFile(memoTemp, memoPath); rc != 0) return committedButStopped(rc);
    }
    if (ownIndex)
        if (const int rc = platform::RenameFile(indexTemp, IndexFileNameOf(table)); rc != 0)
            return committedButStopped(rc);
    if (const int rc = platform::RenameFile(ready, table); rc != 0) return committedButStopped(rc);
    if (!indexFile.empty() && !ownIndex)
        if (const int rc = platform::RenameFile(indexTemp, indexFile); rc != 0) return committedButStopped(rc);
    platform::SyncDirectoryOf(table);
    // The packed file, already held exclusively under its new name, becomes the area's file.
    b->file = std::move(packed);
    b->fileMode = platform::kModeExclusive;
    b->recCount = kept;
    b->eofAfter = 0;
    b->state = TableState::Clean;
    platform::PutU32(&b->header[4], static_cast<uint32_t>(kept));
    if (withMemo) {
        e.errors.lastError = 0;
        e.tables.memo->useMemofile();
    }
    if (kept < 1) {
        ClearRecord();
        b->recNo = 0;
        b->bof = b->eof = true;
    } else if (GetDbfRecord(*b, 1)) {
        RawToTypedRecord(*b, b->typed);
        b->bof = b->eof = false;
    }
    const uint16_t firstError = LastError();
    if (!reopen.file.empty()) driver()->reopenIndex(reopen);
    if (!backToShared()) return false;
    if (firstError != 0) {
        e.errors.lastError = firstError;
        return false;
    }
    return LastError() == 0;
}

}  // namespace xb
