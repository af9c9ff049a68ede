#include "engine/index/index_driver.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/text_support.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_agreement.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_node.h"
#include "engine/index/pack_need.h"
#include "engine/index/mdx_search.h"
#include "engine/index/mdx_update.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

constexpr int kLastClosedArea = 34;  // area 35 belongs to the engine's own work

Engine& eng() {
    return Engine::current();
}

// The index engine's error routine: the engine's error routine, then, with trapping off, the full text
// raised as EEngineError. Answers false for the caller to return.
bool indexError(uint16_t code, const std::string& detail) {
    SetEngineError(code, detail);
    if (!eng().errors.trapping) throw EEngineError(ErrorText(code) + "\r\n" + detail);
    return false;
}

MdxTag* currentOrderTag() {
    MdxArea* area = CurrentMdxArea();
    return area ? area->tags[1].get() : nullptr;
}

// The open tag with tag-table number n, wherever it is parked.
MdxTag* tagByNumber(int n) {
    MdxArea* area = CurrentMdxArea();
    if (!area || n < 1 || n > kMaxTags) return nullptr;
    for (auto& t : area->tags)
        if (t && t->number == n) return t.get();
    return nullptr;
}

// The mode of the index file: the table's sharing, unless the caller set an open-mode word.
int indexFileMode(const WorkAreaBlock& b) {
    const EngineSettings& st = eng().settings;
    if (st.openModeOverride != 0xFFFF) return st.openModeOverride;
    return b.exclusive ? static_cast<int>(platform::kModeExclusive) : static_cast<int>(st.shareMode);
}

bool sameKeyClass(char stored, char compiled) {
    if (stored == 'N' || stored == 'F') return compiled == 'N' || compiled == 'F';
    return stored == compiled;
}

// Frees a tag's compiled expressions and drops it from its slot.
void freeTag(std::unique_ptr<MdxTag>& tag) {
    if (!tag) return;
    FreeExpr(tag->keyExpr);
    FreeExpr(tag->forExpr);
    tag.reset();
}

// Drops the area's index state without writing anything (a failed open).
void dropIndexState(WorkAreaBlock& b) {
    if (MdxArea* area = CurrentMdxArea()) {
        for (auto& t : area->tags) freeTag(t);
        area->file.close();
    }
    b.indexArea.reset();
}

// Keeps the found flag of the last search across an order change.
class FoundKeeper {
public:
    FoundKeeper() : m_saved(*IndexFoundFlag()) {}
    ~FoundKeeper() { *IndexFoundFlag() = m_saved; }
    FoundKeeper(const FoundKeeper&) = delete;
    FoundKeeper& operator=(const FoundKeeper&) = delete;

private:
    bool m_saved;
};

// Switches error trapping off for its life: closing reports its failures as the last error and goes on.
class QuietErrors {
public:
    QuietErrors() : m_trapping(eng().errors.trapping) { eng().errors.trapping = false; }
    ~QuietErrors() { eng().errors.trapping = m_trapping; }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    bool m_trapping;
};

// Marks the current area's index as making a scan's step for its life (see MdxArea::scanStep).
class ScanStep {
public:
    ScanStep() : m_area(CurrentMdxArea()) {
        if (m_area) m_area->scanStep = true;
    }
    ~ScanStep() {
        if (m_area) m_area->scanStep = false;
    }
    ScanStep(const ScanStep&) = delete;
    ScanStep& operator=(const ScanStep&) = delete;

private:
    MdxArea* m_area;
};

// The driver table of the work-area layer. The move entries answer record 0 when the index engine
// raised beneath them, so that a move ends with the error recorded rather than an exception through
// the work-area layer.
class MdxIndexDriver : public IndexDriver {
public:
    bool indexIsOpen() override { return IndexIsOpen(); }
    void syncIndexOrder() override {
        WorkAreaBlock* b = CurrentBlock();
        MdxArea* area = CurrentMdxArea();
        if (!b || !area || !area->tags[1] || area->naturalOrder) return;
        MdxTag& tag = *area->tags[1];
        if (b->recNo < 1 || b->recNo > b->recCount) {
            // The area stands at its end position: so does the order.
            TagForgetPosition(tag);
            tag.eof = true;
            return;
        }
        // Inside the caller's read bracket. When another station changed the index since this one last
        // looked, the record the area read before the bracket may be older than the tree: both are read
        // again, so that the order is put on the record as it stands now.
        bool changed = false;
        if (!ReadChangedAnchors(&changed)) return;
        if (changed) {
            RefreshRecCount(*b, kCountFromFile);
            if (b->recNo > b->recCount || !Dbf4RawGo(b->recNo)) return;
        }
        area->repositionNeeded = false;
        SyncIndex();
    }
    int32_t indexNext() override {
        ScanStep step;
        return guarded(_FindNextRec);
    }
    int32_t indexPrior() override {
        ScanStep step;
        return guarded(_FindPriorRec);
    }
    int32_t indexFirst() override { return guarded(_FindFirstRec); }
    int32_t indexLast() override { return guarded(_FindLastRec); }
    bool indexEof() override { return IndexEof(); }
    bool indexBof() override { return IndexBof(); }
    void appendNewKey() override { AppendNewKey(); }
    void saveOrderKey() override {
        // A move that ended on the order's entry for the area's record has that entry's key as the
        // current key already (its step copied it): the record's key as the tag holds it, which is what
        // the next move looks for when it puts the order back. Built from the record only elsewhere.
        const WorkAreaBlock* b = CurrentBlock();
        const MdxTag* tag = currentOrderTag();
        if (b && tag && !CurrentMdxArea()->naturalOrder && !tag->eof && TagOnEntry(*tag) &&
            static_cast<int32_t>(TagCurrentRecord(*tag)) == b->recNo && b->recNo >= 1 &&
            std::memcmp(tag->currentKey.data(), TagCurrentEntryKey(*tag), tag->header.keyLength()) == 0)
            return;
        SaveOrderKey();
    }
    void saveAllKeys() override { SaveAllKeys(); }
    void updateChangedKeys() override { UpdateChangedKeys(); }
    void indexSetBof() override { IndexSetBof(); }
    void indexSetEof() override { IndexSetEof(); }
    bool* indexFoundFlag() override { return IndexFoundFlag(); }
    void reindex() override { Reindex(); }
    bool writeIndexBeside(const std::string& path, const std::function<void(bool)>& swapRows,
                          IndexReopening& reopen) override {
        return WriteIndexBeside(path, swapRows, reopen.file, reopen.order, reopen.natural);
    }
    std::string indexFileName() override {
        const MdxArea* area = CurrentMdxArea();
        return area && area->file.isOpen() ? area->fileName : std::string();
    }
    bool reopenIndex(const IndexReopening& reopen) override {
        return ReopenIndexAsItWas(reopen.file, reopen.order, reopen.natural);
    }
    void closeIndex() override { CloseIndex(); }
    void shareIndex() override { ShareIndexWithTable(); }
    void setReadSemaphore(bool on) override { SetReadSemaphoreProc(on); }
    void setLockSemaphore(bool on) override {
        MdxArea* area = CurrentMdxArea();
        if (on) {
            SetLockSemaphoreProc(true);
            return;
        }
        if (area && area->deferWrites) {
            // A change half written is rebuilt from the rows at once: then every row written has its keys
            // and nothing failed. When the rebuild fails too, the release leaves the mark, and the next
            // read of any station rebuilds the index before it reads (or refuses while it cannot). The
            // rows are stored all the same, so the writes they answered stand: nothing is reported.
            if (FinishDeferredWrites(*area) != 0) RepairOrLeaveMark();
        }
        if (CurrentSemaphoreInfo().writeBrackets == 1) countAppendsBeforeRelease();
        SetLockSemaphoreProc(false);
    }
    ReadWay beginIndexRead(bool fresh) override {
        switch (BeginIndexRead(fresh)) {
            case IndexReadWay::Direct:
                return kReadAsItStands;
            case IndexReadWay::Optimistic:
                return kReadOptimistic;
            default:
                return kReadCounted;
        }
    }
    bool endOptimisticRead() override { return EndOptimisticRead(); }
    void endUnreadOptimisticRead() override { EndUnreadOptimisticRead(); }
    uint64_t indexView() override { return CurrentSemaphoreGuard().generation; }
    bool repairTags() override {
        if (RebuildTagsInPlace()) return true;
        SemaphoreKeepMark();
        return false;
    }
    bool repairDamage() override {
        MdxArea* area = CurrentMdxArea();
        if (!area || !area->file.isOpen() || (area->file.mode() & 3) == 0) return false;
        // Inside a bracket of the index semaphore (an archive's read of every table, say) the bracket's
        // owner is reading: nothing is rebuilt under it.
        const SemaphoreInfo sem = CurrentSemaphoreInfo();
        if (sem.readBrackets != 0 || sem.writeBrackets != 0 || sem.readDepth != 0 || sem.writeDepth != 0)
            return false;
        IndexWriteBracket write;
        return write.entered() && RebuildTagsInPlace();
    }
    bool upcomingRecords(bool forward, std::vector<int32_t>& out) override {
        MdxArea* area = CurrentMdxArea();
        MdxTag* tag = area ? area->tags[1].get() : nullptr;
        if (!tag || area->naturalOrder || !TagOnEntry(*tag)) return false;
        const uint8_t* node = tag->node.data();
        const uint16_t item = tag->header.itemLength();
        const int count = NodeCount(node);
        out.clear();
        for (int p = tag->position; p >= 0 && p < count; p += forward ? 1 : -1)
            out.push_back(static_cast<int32_t>(GetU32(NodeEntry(node, item, p))));
        return true;
    }
    void forgetPositions() override {
        MdxArea* area = CurrentMdxArea();
        if (!area) return;
        for (auto& tag : area->tags)
            if (tag) TagForgetPosition(*tag);
        area->repositionNeeded = true;
    }

private:
    // The rows appended under the write lock reach the table's header before the lock goes: a station
    // that dies after the release leaves rows, keys and count in agreement, and one that dies before it
    // leaves the mark, whose repair counts the rows. A write that fails here keeps the mark (the header
    // lags its rows) and is reported by the append lock's release; the close writes the header.
    static void countAppendsBeforeRelease() {
        WorkAreaBlock* b = CurrentBlock();
        if (!b || !IsSharedUse(*b) || b->state != TableState::Appended || b->lockState != LockState::Append ||
            b->countWriteFailure != 0)
            return;
        ErrorState& errors = Engine::current().errors;
        const uint16_t code = errors.lastError;
        QuietErrors quiet;
        if (!WriteTailUnderAppendLock(*b, b->countUnderAppendLock)) {
            b->countWriteFailure =
                errors.lastError ? errors.lastError : static_cast<uint16_t>(platform::kErrDiskWrite);
            SemaphoreKeepMark();
        }
        errors.lastError = code;
    }

    static int32_t guarded(int32_t (*move)()) {
        try {
            return move();
        } catch (const EEngineError&) {
            return 0;
        }
    }
};

// The end of the run: every area's index is closed while the tables are still open.
void closeAllIndexes(Engine& engine) {
    if (!engine.tables.indexLinked) return;
    for (int n = 1; n <= kLastClosedArea; ++n) {
        if (!engine.areas.blocks[n] || !engine.areas.blocks[n]->indexArea) continue;
        try {
            CurrentAreaScope scope(n);
            CloseIndex();
        } catch (const EEngineError&) {
        }
    }
    engine.tables.indexLinked = false;
}

}  // namespace

// ---- start-up ------------------------------------------------------------------------------------------

void InstallIndexEngine(Engine& engine) {
    engine.tables.index = std::make_unique<MdxIndexDriver>();
    SetSemaphoreRepair(engine, &RepairTableAndTags);
    // The search settings and the semaphore state are the current engine's.
    if (&Engine::current() == &engine) {
        SetExactOff();
        *IndexFoundFlag() = false;
        ResetSemaphoreState();
    }
    for (int n = 1; n <= kAreaCount; ++n)
        if (engine.areas.blocks[n]) engine.areas.blocks[n]->indexArea.reset();
    engine.tables.indexLinked = true;
    engine.addFinalizer([&engine] { closeAllIndexes(engine); });
}

// ---- opening and closing ---------------------------------------------------------------------------------

namespace {

// An index the start's check found out of step with its table (see CheckIndexesAsOpened), just opened:
// rebuilt from the rows under the write lock, or, when that cannot be done, left marked for the first
// station that can. Nothing of it is reported: the finding is kept for the caller of the check.
void rebuildOutOfStep(MdxArea& area, const std::string& reason) {
    KeepIndexFinding(area.fileName, reason);
    ErrorState& errors = eng().errors;
    const ErrorState saved = errors;
    errors.trapping = false;
    try {
        IndexWriteBracket write;
        if (!write.entered())
            MarkIndexForRepair(CurrentBlock()->fileName);
        else if (!RebuildTagsInPlace())
            SemaphoreKeepMark();
    } catch (const EEngineError&) {
    }
    errors = saved;
}

}  // namespace

bool IndexIsOpen() {
    return currentOrderTag() != nullptr;
}

bool SetIndexTo(const std::string& fileName) {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("SetIndexTo");
        return false;
    }
    platform::NameLookupScope names;
    const std::string path = GivenIndexFileName(b->fileName, fileName);
    CloseIndex();
    if (!platform::FileExists(path)) {
        SetEngineError(2, "SetIndexTo(" + path + ")");
        return false;
    }
    const uint16_t override = eng().settings.openModeOverride;
    const bool shared = override == 0xFFFF || !platform::IsExclusiveMode(override);
    if (shared && !HandleSemafore(kSemLogin)) return false;
    bool ok = false;
    try {
        ok = OpenIndex(path);
    } catch (...) {
        CloseIndex();
        throw;
    }
    if (!ok) CloseIndex();
    return ok;
}

bool OpenProductionIndex() {
    return SetIndexTo("");
}

bool OpenIndex(const std::string& fileName) {
    const std::string routine = " [OpenIndex/Set_Index_To]";
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("OpenIndex");
        return false;
    }
    dropIndexState(*b);
    try {
        b->indexArea = std::make_unique<MdxArea>();
    } catch (const std::bad_alloc&) {
        return indexError(217, " to allocate index header buffer [" + routine + "]");
    }
    MdxArea& area = *CurrentMdxArea();
    area.fileName = fileName;
    auto fail = [&](int code, const std::string& text) {
        dropIndexState(*b);
        return indexError(static_cast<uint16_t>(code), text + fileName + routine);
    };

    int rc = area.file.open(fileName, indexFileMode(*b));
    if (rc != 0) return fail(rc, "Unable to open index: ");
    // The file's size, its header, every tag's header and the update counter they go with are read under
    // one look at the semaphore: another station's change in between would leave a header older than
    // the counter taken as seen (an old root, a walk that misses the keys added since), and nothing would
    // read it again. The read goes without a lock first, as every read of a shared index does (see
    // RunIndexRead); when another station's change overlapped it, or it failed, it is made again in the
    // counted read bracket, where a failure is reported.
    std::string failText;
    // The start's check of the whole index against the table (CheckIndexesAsOpened), made with the
    // headers: in their read when the file is small, and under their look at the semaphore.
    const bool checking = IndexCheckAtOpen() && (area.file.mode() & 3) != 0;
    std::string disagreement;
    // The file header and the tag header pages after it come in one read.
    auto readHeaders = [&]() -> int {
        IndexHead head;
        failText = "Unable to open index: ";
        int code = checking ? ReadIndexFirstPiece(area.file, head) : ReadIndexHead(area.file, head);
        if (code != 0) return code;
        std::copy_n(head.bytes.begin(), kMdxHeaderSize, area.header.bytes.begin());
        area.seenSize = head.fileSize;
        area.header.changed = false;
        failText = "Invalid dBASE key expression or corrupted index file ";
        if (!CheckMdxHeader(area.header, head.fileSize).empty() || area.header.tagCount() < 1) return 222;
        for (int n = 1; n <= area.header.tagCount(); ++n) {
            switch (ReadTagHeader(n, head)) {
                case 0:
                    break;
                case 217:
                    failText = "Insufficient memory to open index: ";
                    return 217;
                case 266:
                    failText = "Incorrect key length: Must be 1 to 100. ";
                    return 266;
                default:
                    return 222;
            }
        }
        if (checking)
            disagreement = IndexDisagreement(area.file, head.fileSize, std::move(head.bytes), b->recCount);
        return 0;
    };
    bool headersRead = false;
    if (BeginIndexRead(false) == IndexReadWay::Optimistic) {
        ErrorState& errors = eng().errors;
        const uint16_t lastError = errors.lastError, pending = errors.pendingError;
        const std::string detail = errors.detail;
        const bool trapping = errors.trapping;
        errors.trapping = false;
        int code = 254;
        try {
            code = readHeaders();
        } catch (const EEngineError&) {
        }
        errors.trapping = trapping;
        const bool holds = EndOptimisticRead();
        errors.lastError = lastError;
        errors.pendingError = pending;
        errors.detail = detail;
        headersRead = holds && code == 0;
        if (headersRead) {
            SemaphoreMarkSeen();
            // A look that held, as a move's: the area's next moves that read nothing need none of their own
            // for a moment (the order the routine sets at once, say).
            b->lastLook = std::chrono::steady_clock::now();
            // The size the headers were checked against was taken after the record this read started
            // from, and the look found nobody's change since: the first descent may go by it instead of
            // asking the file again.
            const SemaphoreGuard guard = CurrentSemaphoreGuard();
            if (guard.loggedIn) {
                area.nodes.clear();
                area.nodes.generation = guard.generation;
                area.nodes.generationKnown = true;
                area.nodes.size = area.seenSize;
                area.nodes.sizeKnown = true;
            }
        }
    }
    if (!headersRead) {
        IndexReadBracket read;
        if (!read.entered()) {
            dropIndexState(*b);
            return false;
        }
        const int code = readHeaders();
        if (code != 0) return fail(code, failText);
        // A later station's change of the index is what the next read looks for.
        SemaphoreMarkSeen();
    }

    if (!disagreement.empty()) rebuildOutOfStep(area, disagreement);
    {
        std::vector<uint16_t> maxKeys;
        for (int n = 1; n <= area.header.tagCount(); ++n)
            if (area.tags[n]) maxKeys.push_back(area.tags[n]->header.maxKeys());
        NoteIndexShape(area.file.identity(), std::move(maxKeys));
    }

    MdxTag& first = *area.tags[1];
    // The count the table's open took from its size stands: a key naming a row past it (another
    // station's append since) has the count brought up to date where it is met.
    if (b->recCount < 1) RefreshRecCount(*b);
    if (b->recCount < 1) {
        first.bof = first.eof = true;
        return true;
    }
    // The area goes to the first key of the order (or to end of file when the order has none), unless
    // the caller positions it itself.
    if (!eng().settings.indexOpenGoesTop) return true;
    if (eng().tables.index && eng().tables.indexLinked) {
        if (!GoTop()) return false;
    } else if (!TagGoFirst(area, first)) {
        return false;
    }
    return true;
}

int ReadTagHeader(int n) {
    MdxArea* area = CurrentMdxArea();
    if (!area) return 222;
    IndexHead head;  // holds no page: the page is read by itself
    if (area->file.size(head.fileSize) != 0) return 222;
    return ReadTagHeader(n, head);
}

int ReadTagHeader(int n, const IndexHead& head) {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b || n < 1 || n > area->header.tagCount()) return 222;
    std::unique_ptr<MdxTag> tag;
    try {
        tag = std::make_unique<MdxTag>();
    } catch (const std::bad_alloc&) {
        return 217;
    }
    tag->number = n;
    tag->name = area->header.tagName(n);
    if (TagHeaderAt(area->file, head, area->header.tagBlock(n), tag->header) != 0) return 222;
    if (!CheckTagHeader(tag->header, head.fileSize).empty()) return 222;
    const char type = tag->header.keyType();
    if (type != 'C' && type != 'D' && type != 'F' && type != 'N') return 222;
    tag->order = tag->header.order();

    // The texts are compiled as they are stored: the header copy is what goes back to the file, and a
    // rewritten text would no longer match the tag's definition.
    const std::string keyText = TrimRightStr(tag->header.keyExpr());
    if (keyText.empty()) return 222;
    auto failWith = [&](int code) {
        FreeExpr(tag->keyExpr);
        FreeExpr(tag->forExpr);
        return code;
    };
    // Checked first without reporting: a text that does not compile marks a damaged or foreign file.
    std::string checked = keyText;
    if (CheckExpression(checked, true) != kCheckOk) return 222;
    tag->keyExpr = AssignExpr(keyText);
    if (!tag->keyExpr) return 222;
    if (tag->header.hasFor()) {
        std::string forText = TrimRightStr(tag->header.forExpr());
        if (!forText.empty()) {
            if (CheckExpression(forText, false) != kCheckOk) return failWith(222);
            tag->forExpr = AssignExpr(forText);
            if (!tag->forExpr) return failWith(222);
        }
    }
    // A key whose expression no longer gives the stored type would file keys of the wrong form.
    if (!sameKeyClass(type, tag->keyExpr->resultType)) return failWith(222);
    if (type == 'C') {
        const uint8_t* r = EvaluateExpr(tag->keyExpr);
        if (!r || tag->keyExpr->resultTextLength != tag->header.keyLength()) return failWith(266);
    }
    if (b->recCount < 1) tag->bof = tag->eof = true;
    area->tags[n] = std::move(tag);
    return 0;
}

void CloseIndex() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return;
    QuietErrors quiet;
    if (MdxArea* area = CurrentMdxArea()) {
        area->naturalOrder = false;
        const bool shared = IsSharedUse(*b);
        // A write bracket still open (the table closed in the middle of its writes): what it held back
        // is written now; the logout ends the write.
        if (FinishDeferredWrites(*area) != 0) RepairOrLeaveMark();
        for (int s = 1; s <= kMaxTags; ++s) {
            std::unique_ptr<MdxTag>& tag = area->tags[s];
            if (!tag) continue;
            if (tag->headerChanged && area->file.isOpen()) {
                // Other stations read tag headers under the table's file lock.
                const bool locked = !shared || FileLockByte();
                if (!locked) {
                    SetEngineError(LastError() ? LastError() : 225,
                                   "Could not lock index for writing anchor node " + tag->tagText());
                } else {
                    WriteAnchor(*area, *tag);
                    if (shared && !FileUnlock())
                        SetEngineError(LastError(),
                                       "Could not unlock index after writing anchor node " + tag->tagText());
                }
            }
            freeTag(tag);
        }
        if (area->file.isOpen()) {
            FlushMdxHeader(*area);
            area->file.close();
        }
        b->indexArea.reset();
    }
    try {
        HandleSemafore(kSemLogout);
    } catch (const EEngineError&) {
        // Recorded as the last error; logging out always ends the station's use of the file.
    }
}

// ---- the order -----------------------------------------------------------------------------------------

bool Set_Order_To(int n) {
    eng().errors.lastError = 0;
    const std::string routine = "Set_Order_To(" + std::to_string(n) + ")";
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("Set_Order_To");
        return false;
    }
    MdxArea* area = CurrentMdxArea();
    if (!area || !area->tags[1])
        return indexError(221, "Index not open. (DBF=" + DbfName() + ") [" + routine + "]");
    if (n < 0 || n > area->header.tagCount())
        return indexError(
            220, "Invalid Index Order Specified: SET_ORDER_TO. [" + routine + "] (DBF=" + DbfName() + ")");
    if (n == 0) {
        area->naturalOrder = true;
        return true;
    }
    FoundKeeper keepFound;
    area->naturalOrder = false;
    const bool oldAtEnd = area->tags[1]->eof;
    const int old = area->tags[1]->number;
    if (old != n) {
        // The old order goes back to its own slot (tag 1 comes back from where it was parked), then tag
        // n takes slot 1 and tag 1 is parked in slot n.
        if (old != 1) std::swap(area->tags[1], area->tags[old]);
        if (!area->tags[n] || area->tags[n]->number != n)
            return indexError(221, "Index not open.. (DBF=" + DbfName() + ") [" + routine + "]");
        if (n != 1) std::swap(area->tags[1], area->tags[n]);
    }
    // Putting the new order on the record reads the index like any move: without a lock when nobody
    // writes, made again when another station's change overlapped it.
    return RunIndexRead([b, area, oldAtEnd] {
        // The count is brought up to date when another station changed the index (an append moves the
        // counter) or the table looks empty, as at every move.
        bool changed = false;
        ReadChangedAnchors(&changed);
        if (changed || b->recCount < 1) RefreshRecCount(*b, changed ? kCountFromFile : 0);
        const bool onRecord = !b->eof && b->recNo >= 1 && b->recNo <= b->recCount;
        // The record as stored is what the order is put on.
        if (onRecord && !ReloadRecord()) return false;
        MdxTag& now = *area->tags[1];
        if (b->recCount < 1 || oldAtEnd || !onRecord) {
            TagForgetPosition(now);
            now.eof = true;
            if (b->recCount < 1) now.bof = true;
        } else {
            SyncIndex();
            if (LastError() != 0) return false;
        }
        SaveOrderKey();
        return LastError() == 0;
    });
}

void HoldIndexWritesInBracket() {
    MdxArea* area = CurrentMdxArea();
    if (area && CurrentSemaphoreGuard().loggedIn && CurrentSemaphoreInfo().writer) StartDeferredWrites(*area);
}

bool SetOrderToTag(const std::string& name) {
    eng().errors.lastError = 0;
    const std::string wanted = AllTrim(name.substr(0, kMaxTagName));
    const std::string routine = "SetOrderToTag(" + wanted + ")";
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("SetOrderToTag");
        return false;
    }
    MdxArea* area = CurrentMdxArea();
    if (!area || !area->tags[1])
        return indexError(221, "Index not open. (DBF=" + DbfName() + ") [" + routine + "]");
    if (wanted.empty()) return Set_Order_To(0);
    const int n = area->header.findTag(AsciiUpper(wanted));
    if (n < 1)
        return indexError(
            220, "Invalid Index Order Specified: SET_ORDER_TO. [" + routine + "] (DBF=" + DbfName() + ")");
    return Set_Order_To(n);
}

int CurrentOrder() {
    MdxArea* area = CurrentMdxArea();
    if (!CurrentBlock() || !area || !area->tags[1] || area->naturalOrder) return 0;
    return area->tags[1]->number;
}

bool ReopenIndexAsItWas(const std::string& fileName, const std::string& order, bool natural) {
    bool ok = SetIndexTo(fileName);
    if (ok && natural)
        ok = Set_Order_To(0);
    else if (ok && !order.empty())
        ok = SetOrderToTag(order);
    return ok;
}

bool Reindex() {
    eng().errors.lastError = 0;
    if (CheckDbfInUse("Reindex")) return false;
    WorkAreaBlock* b = CurrentBlock();
    MdxArea* area = CurrentMdxArea();
    if (!area || !area->tags[1]) {
        SetEngineError(221, "Index not open. (DBF=" + DbfName() + ") [Reindex]");
        return false;
    }
    const std::string fileName = area->fileName;
    // The new file takes the old one's name by a rename: a station holding the old file open would go on
    // reading and writing a file no longer the index. The table is held alone for the rebuild, and a
    // table other stations use is refused, as a pack is.
    bool heldAlone = false;
    if (IsSharedUse(*b)) {
        if (ReopenDbfFile(true) != 0) {
            SetEngineError(225, DbfName() + " Reindex(" + fileName + ")");
            return false;
        }
        heldAlone = true;
    }
    auto shareAgain = [&] {
        heldAlone = false;
        if (const int rc = ReopenDbfFile(false); rc != 0)
            SetEngineError(static_cast<uint16_t>(rc), "Cannot re-open database sharable. " + DbfName() + " [Reindex]");
        else
            ShareIndexWithTable();
    };
    // A failure raised as an exception leaves the table shared again too, quietly: it reports its own.
    struct ShareOnThrow {
        bool& held;
        ~ShareOnThrow() {
            if (!held) return;
            ErrorState& errors = eng().errors;
            const ErrorState saved = errors;
            errors.trapping = false;
            if (ReopenDbfFile(false) == 0) ShareIndexWithTable();
            errors = saved;
        }
    } onThrow{heldAlone};
    std::string order, closed;
    bool natural = false;
    const bool rebuilt = ReindexRebuild(order, closed, natural);
    // The rebuild leaves the index closed once it began, also when it failed: what is on disk is opened
    // again, and a failed rebuild still reports its own error.
    const uint16_t code = LastError();
    const std::string detail = eng().errors.detail;
    bool ok = closed.empty();
    try {
        if (!closed.empty()) ok = ReopenIndexAsItWas(fileName, order, natural);
    } catch (const EEngineError&) {
        // After a failed rebuild the file may not open or lack the order's tag; what is reported is
        // the rebuild's own error (a full disk, say), not what followed from it.
        if (rebuilt) throw;
    }
    if (heldAlone) {
        // The rebuild's own failure stays the one reported.
        FirstError first;
        first.take();
        shareAgain();
    }
    if (!rebuilt) {
        // The old index stands as it was, but whoever asked for the rebuild had a reason: the first
        // station that can rebuilds it before reading a node.
        MarkIndexForRepair(b->fileName);
        SetEngineError(code ? code : 222, detail);
        return false;
    }
    return ok && LastError() == 0;
}

bool ShareIndexWithTable() {
    WorkAreaBlock* b = CurrentBlock();
    MdxArea* area = CurrentMdxArea();
    if (!b || !area || !area->file.isOpen()) return true;
    // The same handle changes its sharing in place: no other station ever finds the index missing or
    // held, and what the area keeps of the file stays good (nobody could change it until now).
    if (const int rc = area->file.changeShare(indexFileMode(*b)); rc != 0)
        return indexError(static_cast<uint16_t>(rc),
                          "Cannot share the index again: " + area->fileName + " [ShareIndexWithTable]");
    const uint16_t override = eng().settings.openModeOverride;
    const bool shared = override == 0xFFFF || !platform::IsExclusiveMode(override);
    return !shared || HandleSemafore(kSemLogin);
}

// ---- the driver's own entries ----------------------------------------------------------------------------

std::string IndexTagName(int tag) {
    const MdxTag* t = tagByNumber(tag);
    return t ? t->tagText() : std::string();
}

bool TagIsAscending(int tag) {
    const MdxTag* t = tagByNumber(tag);
    return t && !t->header.descending();
}

bool TagIsSoundex(int /*tag*/) {
    return false;
}

}  // namespace xb
