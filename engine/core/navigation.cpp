#include "engine/core/navigation.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation_internal.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/codepage.h"

namespace xb {

namespace {

Engine& eng() {
    return Engine::current();
}
IndexDriver* driver() {
    return eng().tables.index.get();
}

std::string quoted(const WorkAreaBlock& b) {
    return "\"" + b.fileName + "\"";
}

uint64_t currentView() {
    return driver() && IsIndexActive() ? driver()->indexView() : 0;
}

void noteLoaded(WorkAreaBlock& b, int32_t r, std::chrono::steady_clock::time_point readAt) {
    b.loaded.record = r;
    b.loaded.epoch = RowWriteEpoch();
    b.loaded.view = currentView();
    b.loaded.readAt = readAt;
}

// Reads record r of the area into its buffers (raw and typed).
bool readLoad(WorkAreaBlock& b, int32_t r) {
    if (b.isVirtual) {
        if (!eng().tables.vfile) {
            SetEngineError(1101, "[GetDbfRecord]");
            return false;
        }
        eng().errors.lastError = 0;
        b.vfOp = kVfGet;
        b.vfArg = r;
        eng().tables.vfile->call(b);
        if (LastError() != 0) return false;
        b.recNo = r;
        b.eof = b.bof = false;
        return true;
    }
    // An index move that failed answers record 0 with its error recorded: that error is the one to
    // report (a damaged index says 222), not the missing record 0.
    if (r == 0 && LastError() != 0) return false;
    b.loaded = {};
    if (!GetDbfRecord(b, r)) return false;
    noteLoaded(b, r, std::chrono::steady_clock::now());
    RawToTypedRecord(b, b.typed);
    return true;
}

// A scan reads the records of its next steps together: those of the order's node from the current entry
// on, in runs of neighbours (one read each), or in record order the records that follow, up to this
// many bytes a read.
constexpr size_t kWindowBytes = 64 * 1024;
// Two of the node's records go into one run when at most this many bytes of other records lie between
// them: reading those costs less than a read of its own.
constexpr size_t kRunGapBytes = 4096;

// Whether a scan of the area may read ahead: a table held exclusively, or a shared one whose moves the
// index semaphore checks (a row another station writes moves its update counter).
bool windowsAllowed(const WorkAreaBlock& b) {
    return !b.isVirtual && b.recordSize > 0 && (!IsSharedUse(b) || IsIndexActive() || b.snapshot);
}

bool loadFromWindow(WorkAreaBlock& b, int32_t r) {
    if (!GetDbfRecordFromWindow(b, r)) return false;
    noteLoaded(b, r, b.window.readAt);
    RawToTypedRecord(b, b.typed);
    return true;
}

// The runs in which to read the records of next (the order's node from its current entry on), of
// which the scan reaches the first take before it asks again. Records within kRunGapBytes of each
// other share a run, and so do two the scan meets one after the other within kWindowBytes of each
// other (the scan then reads forward through the file, as through a season's meetings of two teams);
// no run is longer than kWindowBytes. The runs come in the order the scan meets them. When the whole
// node's records form one run, as a season's results do (entered in about their key order), so most
// likely do the next nodes' records: the run goes on to kWindowBytes in the scan's direction.
std::vector<std::pair<int32_t, int32_t>> runsAhead(const WorkAreaBlock& b, const std::vector<int32_t>& next,
                                                   size_t take, int dir) {
    const int32_t most = static_cast<int32_t>(std::max<size_t>(1, kWindowBytes / b.recordSize));
    const int32_t gap = static_cast<int32_t>(std::max<size_t>(1, kRunGapBytes / b.recordSize));
    struct Span {
        int32_t first, last;
        size_t met;  // the first place in next of its records
    };
    std::vector<Span> spans;
    bool valid = true;
    const bool linked = IsSharedUse(b);
    for (size_t i = 0; i < next.size(); ++i) {
        const int32_t n = next[i];
        if (n < 1 || n > b.recCount) {
            valid = false;
            continue;
        }
        spans.push_back({n, n, i});
        if (linked && i + 1 < next.size() && next[i + 1] >= 1 && next[i + 1] <= b.recCount &&
            std::abs(next[i + 1] - n) < most)
            spans.push_back({std::min(n, next[i + 1]), std::max(n, next[i + 1]), i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& x, const Span& y) { return x.first < y.first; });
    std::vector<Span> runs;
    for (const Span& s : spans) {
        if (!runs.empty() && s.first - runs.back().last <= gap &&
            std::max(runs.back().last, s.last) - runs.back().first < most) {
            runs.back().last = std::max(runs.back().last, s.last);
            runs.back().met = std::min(runs.back().met, s.met);
        } else {
            runs.push_back(s);
        }
    }
    std::vector<std::pair<int32_t, int32_t>> out;
    if (runs.size() == 1 && valid) {
        Span r = runs.front();
        if (dir > 0)
            r.last = std::max(r.last, std::min(b.recCount, r.first + most - 1));
        else
            r.first = std::min(r.first, std::max(1, r.last - most + 1));
        out.push_back({r.first, r.last});
        return out;
    }
    std::sort(runs.begin(), runs.end(), [](const Span& x, const Span& y) { return x.met < y.met; });
    for (const Span& r : runs)
        if (r.met < take) out.push_back({r.first, r.last});
    return out;
}

// Reads record r for a scan going forward (dir 1) or back (-1): from the window when it holds r, else
// with the records of the scan's next steps. The order's node is asked for them once per read: a walk
// through a node whose records lie apart reads them in a few reads (held alone, or shared before one
// look at the semaphore) instead of one read and one look per step. A scan reads ahead as many of the
// node's records as it has made steps, so that a short walk after a search reads none it never reaches.
bool scanLoad(WorkAreaBlock& b, int32_t r, int dir) {
    RecordWindow& w = b.window;
    w.scanSteps = w.scanDir == dir && b.recNo == w.scanLast ? w.scanSteps + 1 : 1;
    w.scanDir = static_cast<int8_t>(dir);
    w.scanLast = r;
    const uint64_t view = currentView();
    if (w.view != view) w.clear();
    if (loadFromWindow(b, r)) return true;
    std::vector<std::pair<int32_t, int32_t>> runs;
    std::vector<int32_t>& next = w.upcoming;
    if (driver() && IsIndexActive() && driver()->upcomingRecords(dir > 0, next) && !next.empty() &&
        next.front() == r) {
        runs = runsAhead(b, next, static_cast<size_t>(std::max(1, w.scanSteps)), dir);
    } else {
        const int32_t most = static_cast<int32_t>(std::max<size_t>(1, kWindowBytes / b.recordSize));
        if (dir > 0)
            runs.push_back({r, std::min(b.recCount, r + most - 1)});
        else
            runs.push_back({std::max(1, r - most + 1), r});
    }
    // One record alone is read as any other.
    if (runs.empty() || (runs.size() == 1 && runs.front().first == runs.front().second) ||
        !ReadDbfRuns(b, runs))
        return readLoad(b, r);
    w.view = view;
    return loadFromWindow(b, r) || readLoad(b, r);
}

// Whether the area's buffer holds its current record as the last load read it, and nothing this station
// can know of has changed it since: no write of this process, no change of another station that a look
// at the semaphore showed, not older than kScanTrust (the trust a scan's rows get), and no lock held,
// since a caller that locked reads the row as it stands under its lock.
bool loadedStillGood(const WorkAreaBlock& b) {
    return !b.isVirtual && !b.eof && b.recNo >= 1 && b.recNo <= b.recCount && b.loaded.record == b.recNo &&
           b.lockState == LockState::None && windowsAllowed(b) && b.loaded.epoch == RowWriteEpoch() &&
           b.loaded.view == currentView() && std::chrono::steady_clock::now() - b.loaded.readAt < kScanTrust;
}

// Records a Go or a Find took from a scan's rows in this thread (see loadKept).
thread_local uint64_t t_keptNamedLoads = 0;
// Inside a ResyncMove: a Go that takes its row from a scan's rows is not counted as named.
thread_local bool t_resyncMove = false;

// Record r for a move that names it (a Go, the record a Find lands on): taken from the rows a scan of
// this area read when they hold it and went with the view of other stations' changes the area has now.
// Unlike a scan's step, such a move always ends with its look at the semaphore (see RunIndexRead): a
// routine that seeks a row expects it as it is now (a save compares it with what it showed), and a
// change the look shows throws the move away and clears the rows. So it saves the record's read, not
// the look. A caller holding a lock reads the row as it stands under the lock.
bool loadKept(WorkAreaBlock& b, int32_t r) {
    if (r < 1 || r > b.recCount || b.lockState != LockState::None || !windowsAllowed(b) ||
        b.window.view != currentView() || !loadFromWindow(b, r))
        return false;
    if (!t_resyncMove && !b.seeksTakeScans) ++t_keptNamedLoads;
    return true;
}

bool loadNamed(WorkAreaBlock& b, int32_t r) {
    return loadKept(b, r) || readLoad(b, r);
}

// readLoad for a record an order or a step named: one beyond the count another station appended, so
// the count is brought up to date first. A scan's move (dir not 0) reads ahead.
bool loadRecord(WorkAreaBlock& b, int32_t r, int dir = 0) {
    if (r > b.recCount && !b.isVirtual) RefreshRecCount(b, r);
    if (dir != 0 && r >= 1 && r <= b.recCount && windowsAllowed(b)) return scanLoad(b, r, dir);
    return readLoad(b, r);
}

void endPosition(WorkAreaBlock& b) {
    ClearRecord();
    b.recNo = b.recCount + 1;
    b.bof = b.eof = true;
}

void setBof(WorkAreaBlock& b) {
    b.bof = true;
    if (IsIndexActive()) driver()->indexSetBof();
}

void setEof(WorkAreaBlock& b) {
    b.eof = true;
    if (IsIndexActive()) driver()->indexSetEof();
}

bool evaluate(ExprRecord*& expr) {
    ParserHooks* p = eng().tables.parser.get();
    if (!p || !expr) return true;
    const uint8_t saved = eng().currentArea;
    const uint8_t* r = p->evaluate(expr);
    eng().currentArea = saved;
    return r && r[0] != 0;
}

std::string upperIn(int cp, std::string s) {
    for (char& c : s) c = static_cast<char>(platform::UpperByte(cp, static_cast<unsigned char>(c)));
    return s;
}

std::string rtrim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || static_cast<unsigned char>(s.back()) < 32)) s.pop_back();
    return s;
}

// The code page a field's stored bytes are in.
int storedCodePage(const WorkAreaBlock& b) {
    return (b.oem && !b.isVirtual) ? StoredCodePage(b) : eng().settings.ansiCodePage;
}

}  // namespace

namespace nav {
bool ReadLoad(WorkAreaBlock& b, int32_t r) { return readLoad(b, r); }
void EndPosition(WorkAreaBlock& b) { endPosition(b); }
std::string UpperIn(int cp, std::string s) { return upperIn(cp, std::move(s)); }
std::string RTrim(std::string s) { return rtrim(std::move(s)); }
int FieldCodePage(const WorkAreaBlock& b) { return storedCodePage(b); }
}  // namespace nav

bool IsIndexActive() {
    IndexDriver* d = driver();
    return d && eng().tables.indexLinked && CurrentBlock() && d->indexIsOpen();
}

SemaphoreBracket::SemaphoreBracket(Kind kind, bool active) : m_kind(kind) {
    WorkAreaBlock* b = CurrentBlock();
    if (!active || !b || !driver()) return;
    int& depth = kind == Read ? b->readSemaphoreDepth : b->lockSemaphoreDepth;
    if (depth == 0) {
        const uint16_t before = eng().errors.lastError;
        eng().errors.lastError = 0;
        if (kind == Read)
            driver()->setReadSemaphore(true);
        else
            driver()->setLockSemaphore(true);
        // A refusal the engine reported without throwing (trapping on) is not a bracket to close.
        if (eng().errors.lastError != 0) {
            m_refused = true;
            return;
        }
        eng().errors.lastError = before;
    }
    ++depth;
    m_area = SelectedArea();
}

SemaphoreBracket::~SemaphoreBracket() {
    if (m_area == 0) return;
    WorkAreaBlock* b = AreaBlock(m_area);
    if (!b) return;
    int& depth = m_kind == Read ? b->readSemaphoreDepth : b->lockSemaphoreDepth;
    if (depth <= 0 || --depth > 0 || !driver()) return;
    Engine& e = eng();
    const uint8_t saved = e.currentArea;
    e.currentArea = static_cast<uint8_t>(m_area);
    try {
        if (m_kind == Read)
            driver()->setReadSemaphore(false);
        else
            driver()->setLockSemaphore(false);
    } catch (...) {
        // A destructor must not throw; the index engine has recorded its error.
    }
    e.currentArea = saved;
}

namespace {

// One optimistic try of a move: errors are kept quiet (nothing is reported of a read that may be thrown
// away) and the read is ended whatever happens, on the area it began on.
class OptimisticTry {
public:
    explicit OptimisticTry(IndexDriver& d)
        : m_driver(d), m_area(eng().currentArea), m_trapping(eng().errors.trapping) {
        eng().errors.trapping = false;
        eng().errors.lastError = 0;
    }
    ~OptimisticTry() {
        if (!m_ended) end();
    }
    OptimisticTry(const OptimisticTry&) = delete;
    OptimisticTry& operator=(const OptimisticTry&) = delete;
    // Whether the read held.
    bool end() {
        m_ended = true;
        eng().errors.trapping = m_trapping;
        const uint8_t current = eng().currentArea;
        eng().currentArea = m_area;
        const bool holds = m_driver.endOptimisticRead();
        eng().currentArea = current;
        return holds;
    }
    bool endUnread() {
        m_ended = true;
        eng().errors.trapping = m_trapping;
        const uint8_t current = eng().currentArea;
        eng().currentArea = m_area;
        m_driver.endUnreadOptimisticRead();
        eng().currentArea = current;
        return true;
    }

private:
    IndexDriver& m_driver;
    uint8_t m_area;
    bool m_trapping;
    bool m_ended = false;
};

}  // namespace

void StandNowhere() {
    if (WorkAreaBlock* b = CurrentBlock()) endPosition(*b);
}

ResyncMove::ResyncMove() : m_outer(!t_resyncMove) {
    t_resyncMove = true;
}

ResyncMove::~ResyncMove() {
    if (m_outer) t_resyncMove = false;
}

bool RunIndexRead(const std::function<bool()>& move) {
    WorkAreaBlock* b = CurrentBlock();
    IndexDriver* d = driver();
    if (!b || !d || !IsIndexActive()) return move();
    ErrorState& errors = eng().errors;
    const int32_t recNo = b->recNo;
    const bool eof = b->eof;
    const bool bof = b->bof;
    const uint16_t lastError = errors.lastError;
    const uint16_t pending = errors.pendingError;
    const std::string detail = errors.detail;
    // Everything a move that is made again must not inherit: the area back on its record, what the
    // failed move read dropped, the error state as the caller left it.
    auto putBack = [&] {
        b->recNo = recNo;
        b->eof = eof;
        b->bof = bof;
        b->window.clear();  // what it read may be torn
        b->loaded = {};
        errors.lastError = lastError;
        errors.pendingError = pending;
        errors.detail = detail;
        d->forgetPositions();
    };
    // A move that meets damage of the index (222) which a rebuild from the rows mends (a header or node
    // overwritten from outside while the index is open) has the index rebuilt, as a writer's mark has,
    // and is made again; damage the rebuild cannot mend is reported by that second move. Only a read
    // outside any bracket of the area may rebuild: inside one, the bracket's owner decides.
    constexpr uint16_t kCorruptedIndex = 222;
    bool asItStands = b->readSemaphoreDepth != 0 || b->lockSemaphoreDepth != 0;
    // The move with its failures kept quiet: true when it met damage of the index. clean tells whether
    // it succeeded, result is its answer then.
    auto quietTry = [&](bool& result, bool& clean) {
        const bool trapping = errors.trapping;
        errors.trapping = false;
        errors.lastError = 0;
        try {
            result = move();
            clean = errors.lastError == 0;
        } catch (const EEngineError&) {
            clean = false;
        }
        errors.trapping = trapping;
        const bool damaged = !clean && errors.lastError == kCorruptedIndex;
        if (clean) errors.lastError = lastError;  // as a move that met no failure leaves it
        return damaged;
    };
    // Once: the move made after it reports whatever still stands.
    auto repair = [&] {
        putBack();
        const bool trapping = errors.trapping;
        errors.trapping = false;
        try {
            d->repairDamage();
        } catch (const EEngineError&) {
        }
        errors.trapping = trapping;
        putBack();
        asItStands = true;
    };
    // Two optimistic tries, the second from a fresh look at the semaphore; then the counted bracket,
    // which waits for a writer and cannot be overtaken.
    constexpr int kOptimisticTries = 2;
    for (int attempt = 0;; ++attempt) {
        const IndexDriver::ReadWay way =
            attempt < kOptimisticTries ? d->beginIndexRead(attempt > 0) : IndexDriver::kReadCounted;
        if (way == IndexDriver::kReadAsItStands) {
            if (asItStands) return move();
            bool result = false, clean = false;
            if (!quietTry(result, clean)) {
                if (clean) return result;
                putBack();
                return move();
            }
            repair();
            continue;
        }
        if (way == IndexDriver::kReadCounted) {
            bool damaged = false;
            {
                errors.lastError = 0;
                ReadSemaphore sem;
                if (LastError() != 0) return false;
                errors.lastError = lastError;
                if (asItStands) {
                    const bool result = move();
                    b->lastLook = std::chrono::steady_clock::now();
                    return result;
                }
                bool result = false, clean = false;
                damaged = quietTry(result, clean);
                b->lastLook = std::chrono::steady_clock::now();
                if (clean) return result;
            }
            // The bracket is left before the rebuild takes the write lock.
            if (damaged) {
                repair();
            } else {
                putBack();
                asItStands = true;  // the failure, reported by the move made again
            }
            attempt = kOptimisticTries - 1;
            continue;
        }
        bool clean = false;
        bool result = false;
        bool holds = false;
        {
            OptimisticTry attemptScope(*d);
            const uint64_t readsBefore = platform::FileCalls().read;
            const uint64_t keptBefore = t_keptNamedLoads;
            try {
                result = move();
                clean = errors.lastError == 0;
            } catch (const EEngineError&) {
                clean = false;
            }
            const bool unread = clean && platform::FileCalls().read == readsBefore &&
                                t_keptNamedLoads == keptBefore &&
                                std::chrono::steady_clock::now() - b->lastLook < kScanTrust;
            holds = unread ? attemptScope.endUnread() : attemptScope.end();
            if (holds && clean && !unread) b->lastLook = std::chrono::steady_clock::now();
        }
        if (holds && clean) {
            errors.lastError = lastError;  // as a move that met no failure leaves it
            return result;
        }
        putBack();
        if (holds) attempt = kOptimisticTries - 1;  // not a change: the failure itself, counted
    }
}

bool RecordVisible() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->skipDeleted) {
        bool deleted = b->isVirtual ? (b->typed && b->typed[0] != 0) : (!b->raw.empty() && b->raw[0] == '*');
        if (deleted) return false;
    }
    return EvalFilter();
}

bool EvalFilter() {
    WorkAreaBlock* b = CurrentBlock();
    return b && evaluate(b->filter);
}

bool EvalWhile() {
    WorkAreaBlock* b = CurrentBlock();
    return b && evaluate(b->whileExpr);
}

bool IsWhileOn() {
    WorkAreaBlock* b = CurrentBlock();
    return b && b->whileExpr != nullptr;
}

namespace {

// Whether the order's first or last move found no key: it answers one past the count then. A key can
// name that same record when another station appended it after this area last took the count, so the
// answer alone does not tell.
bool atOrderEnd(int32_t r, const WorkAreaBlock& b) {
    const bool* found = driver()->indexFoundFlag();
    return r == b.recCount + 1 && !(found && *found);
}

}  // namespace

bool GoTop() {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    const bool order = IsIndexActive();
    // So that a table another station filled is not taken for empty. An order brings the count up to
    // date itself when the index shows another station's change.
    if (!order || b->recCount < 1) RefreshRecCount(*b);
    if (b->recCount < 1) return true;
    auto move = [b, order]() {
        int32_t r = 1;
        if (order) {
            r = driver()->indexFirst();
            if (atOrderEnd(r, *b)) {
                endPosition(*b);
                return true;
            }
        }
        if (!loadRecord(*b, r, 1)) return false;
        while (!RecordVisible() && !b->eof && LastError() == 0) {
            if (order) {
                r = driver()->indexNext();
                if (driver()->indexEof()) r = b->recCount + 1;
            } else {
                ++r;
            }
            if (r > b->recCount) {
                endPosition(*b);
                if (order) driver()->syncIndexOrder();
                break;
            }
            if (!loadRecord(*b, r, 1)) return false;
        }
        if (order) driver()->saveOrderKey();
        return LastError() == 0;
    };
    return order ? RunIndexRead(move) : move();
}

bool GoBottom() {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    const bool order = IsIndexActive();
    if (!order || b->recCount < 1) RefreshRecCount(*b);
    if (b->recCount < 1) return true;
    auto move = [b, order]() {
        int32_t r = b->recCount;
        if (order) {
            r = driver()->indexLast();
            if (atOrderEnd(r, *b)) {
                endPosition(*b);
                return true;
            }
        }
        if (!loadRecord(*b, r, -1)) return false;
        while (!RecordVisible()) {
            bool stop;
            if (order) {
                r = driver()->indexPrior();
                stop = driver()->indexBof();
            } else {
                --r;
                stop = r < 1;
            }
            if (stop || r < 1) {
                endPosition(*b);
                if (order) driver()->syncIndexOrder();
                setBof(*b);
                setEof(*b);
                break;
            }
            if (!loadRecord(*b, r, -1)) return false;
        }
        if (order) driver()->saveOrderKey();
        return LastError() == 0;
    };
    return order ? RunIndexRead(move) : move();
}

bool Skip(int32_t n) {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("Skip");
        return false;
    }
    if (n == 0) {
        if (b->recCount < 1 || b->eof || b->recNo < 1 || b->recNo > b->recCount) {
            ClearRecord();
            return true;
        }
        // The row this area has just written is what the file holds: the reload after a write makes no
        // second round trip for it.
        if (!b->isVirtual && HoldsWrittenRecord(*b, b->recNo)) {
            b->eof = b->bof = false;
            RawToTypedRecord(*b, b->typed);
            return true;
        }
        return readLoad(*b, b->recNo);
    }
    // The count is brought up to date where it matters: an empty table, the end of the file in record
    // order, and a key naming a record beyond it (another station's append).
    if (n > 0 && b->recCount < 1) RefreshRecCount(*b);
    if (b->recCount < 1) {
        b->bof = b->eof = true;
        SetEngineError(212, "Database " + quoted(*b) + " is empty. [SKIP]");
        return false;
    }
    if (n > 0 && b->eof) {
        SetEngineError(212, "Database " + quoted(*b) + " is past EOF. [SKIP]");
        return false;
    }
    if (n < 0 && b->bof) return true;

    const bool order = IsIndexActive();
    const bool back = n < 0;
    const int32_t want = back ? -n : n;
    auto move = [b, order, back, want]() {
        int32_t lastGood = b->recCount + 1;
        b->bof = b->eof = false;
        int32_t r = b->recNo;
        int32_t steps = 0;
        bool endMet = false;
        bool whileOk = true;
        do {
            int32_t next;
            if (back) {
                if (RecordVisible() && EvalWhile()) lastGood = r;
                if (order) {
                    next = driver()->indexPrior();
                    endMet = next == r;
                } else {
                    next = r - 1;
                    endMet = next < 1;
                }
            } else {
                if (order) {
                    next = driver()->indexNext();
                    endMet = next == r;
                } else {
                    next = r + 1;
                    if (next > b->recCount) RefreshRecCount(*b, next);
                    endMet = next > b->recCount;
                }
            }
            if (endMet) break;
            if (order && next > b->recCount) {
                // A key of a row past the end: another station's append, or an index that is not this
                // table's (more keys than rows). Followed, the latter leads a walk round for ever.
                RefreshRecCount(*b, next);
                const bool emptyOrder = driver()->indexEof() && driver()->indexBof();
                if (next > b->recCount && !(emptyOrder && next == b->recCount + 1)) {
                    SetEngineError(222, "Index key of record " + std::to_string(next) + " beyond the " +
                                            std::to_string(b->recCount) + " of " + quoted(*b) + " [SKIP]");
                    return false;
                }
            }
            r = next;
            if (!loadRecord(*b, r, back ? -1 : 1)) return false;
            if (RecordVisible()) ++steps;
            whileOk = EvalWhile();
        } while (steps < want && whileOk);

        if (endMet) {
            if (!back) {
                b->recNo = b->recCount + 1;
                b->eof = true;
                ClearRecord();
                if (order) driver()->syncIndexOrder();
            } else {
                GoTop();
                setBof(*b);
                if (b->eof) ClearRecord();
            }
        } else if (!whileOk) {
            if (!back) {
                setEof(*b);
            } else if (lastGood == b->recCount + 1) {
                b->recNo = b->recCount + 1;
                ClearRecord();
                if (order) driver()->syncIndexOrder();
                setBof(*b);
            } else {
                if (!readLoad(*b, lastGood)) return false;
                if (order) driver()->syncIndexOrder();
                setBof(*b);
            }
        }
        if (order) driver()->saveOrderKey();
        return LastError() == 0;
    };
    return order ? RunIndexRead(move) : move();
}

bool Go(int32_t n) {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("GO");
        return false;
    }
    if (n > b->recCount) RefreshRecCount(*b, n);
    const std::string msg =
        "Invalid record number = " + std::to_string(n) + " Database " + quoted(*b) + " [GO]";
    if (b->recCount < 1) {
        b->bof = b->eof = true;
        ClearRecord();
        SetEngineError(212, msg);
        return false;
    }
    if (n < 1 || n > b->recCount) {
        b->recNo = b->recCount + 1;
        b->eof = true;
        SetEngineError(212, msg);
        return false;
    }
    b->bof = b->eof = false;
    const bool order = IsIndexActive();
    auto move = [b, n, order]() {
        if (!(order ? loadNamed(*b, n) : readLoad(*b, n))) return false;
        if (order) {
            driver()->syncIndexOrder();
            driver()->saveOrderKey();
        }
        return LastError() == 0;
    };
    return order ? RunIndexRead(move) : move();
}

bool Dbf4RawGo(int32_t n) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (n > b->recCount) {
        b->recNo = b->recCount + 1;
        b->eof = true;
        ClearRecord();
        return true;
    }
    if (n < 1) {
        SetEngineError(212, "Invalid record number = " + std::to_string(n) + " [Dbf4RawGo]");
        return false;
    }
    if (!readLoad(*b, n)) {
        uint16_t code = LastError();
        std::string detail = TakeErrorMessage();
        SetEngineError(code, detail + " [Dbf4RawGo]");
        return false;
    }
    return true;
}

bool RawGoRefresh(int32_t n) {
    return Dbf4RawGo(n);
}

bool Dbf4KeptGo(int32_t n) {
    WorkAreaBlock* b = CurrentBlock();
    return (b && loadKept(*b, n)) || Dbf4RawGo(n);
}

bool GoValid(int32_t n) {
    if (n >= 1 && n <= RecCount()) return Go(n);
    return false;
}

bool GoTopWhile() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->recCount > 0 && IsWhileOn()) {
        while (!b->bof && LastError() == 0)
            if (!Skip(-1)) return false;
        return Skip(0);
    }
    return GoTop();
}

bool GoBottomWhile() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->recCount > 0 && IsWhileOn()) {
        while (!b->eof && LastError() == 0)
            if (!Skip(1)) return false;
        return Skip(-1);
    }
    return GoBottom();
}

bool dEOF() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return true;
    // Under an order the count is kept up to date by the index (a key naming a row past it brings it up
    // to date where it is met), and the order's end is the index's: the file's size is not asked at
    // the end of every walk.
    if (IsIndexActive()) {
        if (b->recNo > b->recCount) b->eof = true;
        return driver()->indexEof();
    }
    RefreshRecCount(*b, b->recNo);
    if (b->recNo > b->recCount) b->eof = true;
    return b->eof;
}

bool dBOF() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return true;
    if (IsIndexActive()) return driver()->indexBof();
    return b->bof;
}

int32_t RecNo() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? b->recNo : 0;
}

int32_t RecCount() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return 0;
    RefreshRecCount(*b);
    return b->recCount;
}

int32_t KnownRecCount() {
    const WorkAreaBlock* b = CurrentBlock();
    return b ? b->recCount : 0;
}

bool SetIgnoreDel(bool on) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    bool old = b->skipDeleted;
    b->skipDeleted = on;
    ReloadRecord();
    return old;
}

bool ReloadRecord() {
    WorkAreaBlock* b = CurrentBlock();
    if (b && loadedStillGood(*b)) {
        eng().errors.lastError = 0;
        RawToTypedRecord(*b, b->typed);
        return true;
    }
    return Skip(0);
}

namespace {

bool setExpression(const std::string& text, bool isWhile) {
    const char* routine = isWhile ? "[Set_While_To]" : "[Set_Filter_To]";
    ParserHooks* p = eng().tables.parser.get();
    if (!p || !eng().tables.parserLinked) {
        SetEngineError(220, std::string("XBParser unit not linked in. ") + routine);
        return false;
    }
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse(isWhile ? "Set_While_To" : "Set_Filter_To");
        return false;
    }
    ExprRecord*& slot = isWhile ? b->whileExpr : b->filter;
    if (slot) p->free(slot);
    slot = nullptr;
    std::string t = rtrim(text);
    if (!t.empty()) {
        slot = p->compile(t);
        if (!slot) return false;
    } else if (isWhile) {
        const bool wasEof = b->eof;
        b->eof = b->recNo > b->recCount;
        b->bof = false;
        if (wasEof && !b->eof && b->recNo >= 1) {
            if (!readLoad(*b, b->recNo)) return false;
        }
        // The order goes back onto the area's record as a Go puts it there: without a lock when
        // nobody writes.
        if (!b->eof && IsIndexActive()) RunIndexRead([] {
            driver()->syncIndexOrder();
            return LastError() == 0;
        });
    }
    return true;
}

}  // namespace

bool Set_Filter_To(const std::string& text) {
    return setExpression(text, false);
}
bool Set_While_To(const std::string& text) {
    return setExpression(text, true);
}

bool RefreshPosition() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (EvalWhile() && RecordVisible()) return false;
    Unlock();
    const int32_t remembered = b->recNo;
    Skip(1);
    if (b->eof) {
        GoValid(remembered);
        Skip(-1);
    }
    return true;
}

std::string Peek(int field, int32_t record) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return {};
    if (b->isVirtual) {
        SetEngineError(1100, "Operation cannot be used on virtual files. [Peek]");
        return {};
    }
    if (record < 1 || record > b->recCount || field < 0 || field > static_cast<int>(b->fields.size()))
        return {};
    size_t len = field == 0 ? 1 : b->fields[static_cast<size_t>(field - 1)].length;
    uint64_t off =
        b->recordOffset(record) + (field == 0 ? 0 : b->fields[static_cast<size_t>(field - 1)].offset);
    std::string out(len, '\0');
    size_t got = 0;
    if (b->file.readAt(off, out.data(), len, &got) != 0) return {};
    out.resize(got);
    return out;
}

}  // namespace xb
