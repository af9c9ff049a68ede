#include "engine/index/semaphore_file.h"

#include <algorithm>
#include <memory>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/work_areas.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kSemAreas = 34;  // area 35 is the engine's own and never has an index

// The record and its lock.
constexpr uint64_t kRecordLockOffset = 1;
constexpr uint64_t kRecordLockLength = 4;
// One byte per counted reader, far from the record. A reader holds its byte from the moment it is
// counted until it is about to be uncounted; the lock vanishes with its process.
constexpr uint64_t kReaderBase = 0x100;
constexpr uint64_t kReaderSlots = 1024;

constexpr uint8_t kMaxReaders = 127;
// Byte 1's high bit: the repair mark that a write which could neither finish nor undo its change of the
// index leaves at its release (and the start's check, on an index out of step). Unlike a count that no
// reader byte backs up, it shows while readers are there too, so that nobody reads the index as sound
// before it is rebuilt.
constexpr uint8_t kMarkBit = 0x80;
uint8_t readersIn(uint8_t byte1) { return byte1 & static_cast<uint8_t>(~kMarkBit); }

struct SemaphoreRecord {
    platform::File file;
    std::string fileName;
    uint8_t record[4] = {0, 0, 0, 0};
    uint8_t stationsAtLogin = 0;
    uint16_t seenCounter = 0;
    bool writer = false;         // holds bytes 1 to 4
    bool countedReader = false;  // counted in byte 1 and holding readerSlot
    int32_t readDepth = 0;
    int32_t writeDepth = 0;
    int readerSlot = -1;
    // The counter as this station last read or wrote it, and how often a fresh read showed a change that
    // was not this station's own (see SemaphoreGuard).
    uint16_t knownCounter = 0;
    uint64_t generation = 0;
    // The counter as the station's current (or last) bracket found it: what it read inside agrees with
    // this one. DECREAD and LOGOUT read the record again after the station stopped looking, so the copy in
    // record may be newer than anything the station read; SemaphoreMarkSeen takes this one.
    uint16_t viewCounter = 0;
    // Set while this station writes after a repair that failed: the release leaves the mark for a
    // station that can repair.
    bool keepMark = false;
    // Inside an optimistic read, and the counter it started from.
    bool optimistic = false;
    uint16_t optimisticCounter = 0;
    // After an optimistic read that did not hold: the tag headers it may have read are not trusted, and
    // the next read takes the index as changed.
    bool headersSuspect = false;
    uint64_t optimisticReads = 0;
    uint64_t thrownAway = 0;

    uint16_t counter() const { return platform::GetU16(&record[2]); }
    void setCounter(uint16_t v) { platform::PutU16(&record[2], v); }
};

struct EngineSemaphores final : UnitState {
    SemaphoreTimeouts timeouts;
    // The index engine's repair, installed with it, and how many repairs it made.
    SemaphoreRepair repair = nullptr;
    uint64_t repairs = 0;
    // Why the last repair failed: a read refused over the mark it left reports it.
    uint16_t repairError = 0;
    std::string repairDetail;
    std::unique_ptr<SemaphoreRecord> areas[kSemAreas + 1];
    int32_t readBrackets[kAreaCount + 1] = {};
    int32_t writeBrackets[kAreaCount + 1] = {};
};

// Runs the repair with the caller's error state kept: the repair's own failures are not the caller's,
// and a failed repair only leaves the mark.
EngineSemaphores* currentState(bool create);

SemaphoreRepair currentRepair() {
    EngineSemaphores* st = currentState(false);
    return st ? st->repair : nullptr;
}

bool runRepair() {
    EngineSemaphores* st = currentState(false);
    if (!st || !st->repair) return false;
    ErrorState& errors = Engine::current().errors;
    const uint16_t code = errors.lastError;
    const uint16_t pending = errors.pendingError;
    const std::string detail = errors.detail;
    const bool trapping = errors.trapping;
    errors.trapping = false;
    bool ok = false;
    errors.lastError = 0;
    try {
        ok = st->repair();
    } catch (const EEngineError&) {
        ok = false;
    }
    st->repairError = ok ? 0 : errors.lastError;
    st->repairDetail = ok ? std::string() : errors.detail;
    errors.trapping = trapping;
    errors.lastError = code;
    errors.pendingError = pending;
    errors.detail = detail;
    if (ok) ++st->repairs;
    return ok;
}

void logoutAll(Engine& engine);

// The semaphore state of an engine; created with the first use unless the engine is ending. The end of
// the engine logs every area out and drops it.
EngineSemaphores* stateOf(Engine& engine, bool create) {
    if (EngineSemaphores* s = engine.unitIfAny<EngineSemaphores>()) return s;
    if (!create || engine.isShutDown()) return nullptr;
    EngineSemaphores* s = &engine.unit<EngineSemaphores>();
    Engine* ep = &engine;
    engine.addFinalizer([ep] {
        logoutAll(*ep);
        ep->dropUnit<EngineSemaphores>();
    });
    return s;
}

EngineSemaphores* currentState(bool create) {
    return stateOf(Engine::current(), create);
}

// Reports through the engine's error routine; with trapping off the full text is raised as well.
bool semFail(uint16_t code, const std::string& detail) {
    SetEngineError(code, detail);
    if (!Engine::current().errors.trapping) throw EEngineError(ErrorText(code) + "\r\n" + detail);
    return false;
}

std::string secondsText(milliseconds ms) {
    const long long v = ms.count();
    std::string s = std::to_string(v / 1000);
    if (v % 1000 != 0) {
        std::string frac = std::to_string(1000 + v % 1000).substr(1);
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        s += "." + frac;
    }
    return s;
}

// Short sleeps between attempts, growing to a couple of milliseconds.
class Pause {
public:
    void operator()() {
        std::this_thread::sleep_for(std::chrono::microseconds(m_us));
        m_us = std::min(m_us * 2, 2000);
    }

private:
    int m_us = 50;
};

bool pastDeadline(Clock::time_point start, milliseconds limit) {
    return limit.count() > 0 && Clock::now() - start >= limit;
}

// Locks a region, retrying while another handle holds it, for up to limit (zero: once). Answers the
// last lock result.
int retryLock(platform::File& file, uint64_t offset, uint64_t length, milliseconds limit) {
    const Clock::time_point start = Clock::now();
    Pause pause;
    for (;;) {
        int rc = file.lock(offset, length);
        if (rc != platform::kErrLockViolation || limit.count() <= 0 || pastDeadline(start, limit)) return rc;
        pause();
    }
}

int readRecord(SemaphoreRecord& s) {
    return s.file.readAt(0, s.record, 4);
}

// After a fresh read of the record: another station's change since this station last looked moves the
// generation on.
void noteOthersChanges(SemaphoreRecord& s) {
    if (s.counter() == s.knownCounter) return;
    s.knownCounter = s.counter();
    ++s.generation;
}
int writeRecord(SemaphoreRecord& s) {
    return s.file.writeAt(0, s.record, 4);
}

// The texts of the failures, each naming the file and the action.
std::string where(const SemaphoreRecord& s, int action) {
    return s.fileName + " " + SemaphoreActionName(action);
}

bool lockTimeout(const std::string& name, int action, int rc, milliseconds limit) {
    return semFail(1202, secondsText(limit) + " second timeout: Cannot lock index semaphore file: " + name +
                             " " + SemaphoreActionName(action) +
                             "\r\nPossible cause: Network lock limit exceeded\r\n" +
                             " Lock result code: " + std::to_string(rc));
}

// Locks bytes 1 to 4 for a short read-modify-write.
bool lockRecord(SemaphoreRecord& s, int action, milliseconds limit) {
    int rc = retryLock(s.file, kRecordLockOffset, kRecordLockLength, limit);
    if (rc == 0) return true;
    return lockTimeout(s.fileName, action, rc, limit);
}

bool unlockRecord(SemaphoreRecord& s, int action) {
    int rc = s.file.unlock(kRecordLockOffset, kRecordLockLength);
    if (rc == 0) return true;
    return semFail(static_cast<uint16_t>(rc), "Cannot unlock index semaphore file: " + where(s, action));
}

// Releases bytes 1 to 4 after a failed step, then reports the step's failure.
bool failUnlocked(SemaphoreRecord& s, int action, int rc, const char* text) {
    s.file.unlock(kRecordLockOffset, kRecordLockLength);
    return semFail(static_cast<uint16_t>(rc), std::string(text) + where(s, action));
}

// Takes a free reader byte; -1 when every one is held.
int takeReaderSlot(SemaphoreRecord& s) {
    static std::minstd_rand rng(static_cast<unsigned>(Clock::now().time_since_epoch().count()));
    const uint64_t first = rng() % kReaderSlots;
    for (uint64_t i = 0; i < kReaderSlots; ++i) {
        const uint64_t slot = (first + i) % kReaderSlots;
        if (s.file.lock(kReaderBase + slot, 1) == 0) return static_cast<int>(slot);
    }
    return -1;
}

void dropReaderSlot(SemaphoreRecord& s) {
    if (s.readerSlot >= 0) s.file.unlock(kReaderBase + static_cast<uint64_t>(s.readerSlot), 1);
    s.readerSlot = -1;
    s.countedReader = false;
}

// True while a reader of another station (or another area) holds its byte. The station's own byte is
// left out, so a reader that takes the write lock does not wait for itself.
bool othersReading(SemaphoreRecord& s) {
    auto busy = [&s](uint64_t from, uint64_t to) {
        if (from >= to) return false;
        if (s.file.lock(kReaderBase + from, to - from) != 0) return true;
        s.file.unlock(kReaderBase + from, to - from);
        return false;
    };
    if (s.readerSlot < 0) return busy(0, kReaderSlots);
    const auto own = static_cast<uint64_t>(s.readerSlot);
    return busy(0, own) || busy(own + 1, kReaderSlots);
}

// The table's file lock byte serialises logging in and out. A handle that already holds it (the table
// is locked by this area) keeps it, and it is then not released either.
class TableLockByte {
public:
    explicit TableLockByte(WorkAreaBlock* block) : m_block(block) {}
    ~TableLockByte() {
        // When the area is being closed the table's handle closes next, taking the lock with it: on a
        // share the unlock would be one more round trip for nothing.
        if (m_taken && !m_block->closing) m_block->file.unlock(kLockBase, 1);
    }
    TableLockByte(const TableLockByte&) = delete;
    TableLockByte& operator=(const TableLockByte&) = delete;

    bool take(const std::string& name, int action, milliseconds limit) {
        if (!m_block || !m_block->file.isOpen() || m_block->file.holdsLock(kLockBase, 1)) return true;
        int rc = retryLock(m_block->file, kLockBase, 1, limit);
        if (rc == 0) {
            m_taken = true;
            return true;
        }
        return semFail(1202, "Cannot lock database for: " + name + " Action=" + SemaphoreActionName(action) +
                                 " [Database Semaphore]");
    }

private:
    WorkAreaBlock* m_block;
    bool m_taken = false;
};

bool usesSemaphore(const WorkAreaBlock* b) {
    return b && IsSharedUse(*b);
}

bool isOthersCode(int rc) {
    switch (rc) {
        case 3:
        case 5:
        case 32:
        case 150:
        case 162:
        case 163:
            return true;
        default:
            return false;
    }
}

bool login(EngineSemaphores& st, int area) {
    if (st.areas[area]) return true;
    WorkAreaBlock* b = CurrentBlock();
    if (!usesSemaphore(b)) return true;
    const std::string name = SemaphoreFileName();
    const int action = kSemLogin;
    auto tagged = [&](const std::string& text) {
        return text + name + " Action=" + SemaphoreActionName(action) + " [Database Semaphore]";
    };
    int code = 0;
    if (platform::TakeFault(platform::FaultOp::Alloc, code))
        return semFail(217, tagged("Cannot allocate the semaphore of: "));
    auto s = std::make_unique<SemaphoreRecord>();
    s->fileName = name;

    TableLockByte tableLock(b);
    if (!tableLock.take(name, action, st.timeouts.lockRetry)) return false;

    // The station is alone exactly when nobody else holds the file open: the share-mode emulation says
    // so when this station's handle can take the file exclusively, whatever the file's date, and then
    // the counts left by stations that ended abnormally are reset. The file is opened shared (made when
    // missing) and its sharing changed for that test and back: a station running the older login, which
    // probes with an exclusive open of its own, finds it held and counts itself in.
    // A count in byte 1 is kept as a mark, though: the last station out may have been a writer killed
    // half-way through its change, and the index must be repaired before anybody reads it.
    // Handles opened for reading only share the table lock byte, so two such stations may log in and
    // out at once: the last one out may delete the file between this one's open and its test, or another
    // station's probe may hold it exclusively just then. The open is made again until it holds.
    const Clock::time_point start = Clock::now();
    Pause pause;
    for (;;) {
        int rc = s->file.openAlways(name, platform::kModeShared);
        if (rc == 0) break;
        const bool raced = rc == platform::kErrFileNotFound || rc == platform::kErrSharingViolation;
        if (!raced) return semFail(static_cast<uint16_t>(rc), tagged("Cannot open/create: "));
        if (pastDeadline(start, st.timeouts.lockRetry))
            return semFail(static_cast<uint16_t>(rc), "Cannot open: " + where(*s, action));
        pause();
    }
    // An empty file under the table lock byte held exclusively is one nobody counts in: every station
    // logged in has written its count, and no other station can be logging in now (a handle that only
    // reads takes the byte shared, which this one's lock keeps out). It was just made, here or by a
    // station that ended before writing it. This station writes its count and is in: the test for being
    // alone, the read and the sharing changed back would tell nothing more.
    uint64_t openedSize = 0;
    if (b->file.writable() && b->file.holdsLock(kLockBase, 1) && s->file.size(openedSize) == 0 &&
        openedSize == 0) {
        std::fill(s->record, s->record + 4, 0);
        s->record[0] = 1;
        s->stationsAtLogin = 1;
        if (const int rc = writeRecord(*s); rc != 0)
            return semFail(static_cast<uint16_t>(rc), tagged("Cannot write to: "));
        s->seenCounter = s->knownCounter = s->viewCounter = 0;
        st.areas[area] = std::move(s);
        return true;
    }
    const bool alone = s->file.changeShare(platform::kModeExclusive) == 0;
    // Alone, nobody can change the record: no lock is needed to read and write it.
    if (!alone && !lockRecord(*s, action, st.timeouts.lockRetry)) return false;
    auto failed = [&](int rc, const char* text) {
        if (alone) {
            s->file.changeShare(platform::kModeShared);
            return semFail(static_cast<uint16_t>(rc), tagged(text));
        }
        return failUnlocked(*s, action, rc, text);
    };
    // A file shorter than its record was made by a station that had not written it yet: nobody is
    // counted in it.
    size_t got = 0;
    int rc = s->file.readAt(0, s->record, 4, &got);
    if (rc != 0) return failed(rc, "Cannot read: ");
    // Alone, a record cut short is not trusted at all.
    std::fill(s->record + (alone && got < 4 ? 0 : got), s->record + 4, 0);
    if (alone) {
        s->record[0] = 0;
        s->record[1] = s->record[1] != 0 ? 1 : 0;
    }
    if (s->record[0] < 255) ++s->record[0];
    s->stationsAtLogin = s->record[0];
    rc = writeRecord(*s);
    if (rc != 0) return failed(rc, "Cannot write to: ");
    if (alone) {
        rc = s->file.changeShare(platform::kModeShared);
        if (rc != 0) return semFail(static_cast<uint16_t>(rc), "Cannot open: " + where(*s, action));
    } else if (!unlockRecord(*s, action)) {
        return false;
    }
    s->seenCounter = s->counter();
    s->knownCounter = s->counter();
    s->viewCounter = s->counter();
    st.areas[area] = std::move(s);
    return true;
}

// Logging out always ends the station's use of the file: on a failure the file is closed all the same
// (the count it leaves is reset by the next station that finds itself alone).
bool logout(EngineSemaphores& st, int area) {
    if (!st.areas[area]) return true;
    std::unique_ptr<SemaphoreRecord> s = std::move(st.areas[area]);
    const int action = kSemLogout;
    WorkAreaBlock* b = AreaBlock(area);
    TableLockByte tableLock(b);
    if (!tableLock.take(s->fileName, action, st.timeouts.lockRetry)) return false;
    // The last station out (nobody else holds the file open, and the record counts nobody else)
    // deletes the file without rewriting it, unless the record holds a mark beyond this station's own
    // reading: then it counts itself out below and leaves the file, mark and all, for the next station
    // to repair. Counts a station that ended abnormally left stay until the next login alone, as they
    // always did.
    if (!s->writer && s->file.changeShare(platform::kModeExclusive) == 0) {
        const int rc = readRecord(*s);
        if (rc == 0 && s->record[0] <= 1 && s->record[1] <= (s->countedReader ? 1 : 0)) {
            platform::RemoveFileIfExists(s->fileName);
            s->file.close();
            return true;
        }
        s->file.changeShare(platform::kModeShared);
    }
    if (!s->writer && !lockRecord(*s, action, st.timeouts.lockRetry)) return false;
    int rc = readRecord(*s);
    if (rc != 0) return failUnlocked(*s, action, rc, "Cannot read: ");
    if (s->countedReader && readersIn(s->record[1]) > 0) --s->record[1];
    dropReaderSlot(*s);
    if (s->writer) {
        // Logging out in the middle of a write ends the write: others must re-read the headers.
        s->record[1] = s->keepMark ? kMarkBit : 0;
        s->setCounter(static_cast<uint16_t>(s->counter() + 1));
    }
    if (s->record[0] > 0) --s->record[0];
    rc = writeRecord(*s);
    if (rc != 0) return failUnlocked(*s, action, rc, "Cannot write to: ");
    s->writer = false;
    if (!unlockRecord(*s, action)) return false;
    // A mark (or a count nobody backs up) stays in the file for the next station to repair: deleting the
    // file would leave the index as the failed write left it, with nobody told.
    const bool last = s->record[0] == 0 && s->record[1] == 0;
    s->file.close();
    // Refused while another station still has the file open, whatever the count said.
    if (last) platform::DeleteFileChecked(s->fileName);
    return true;
}

bool lockSemaphore(SemaphoreRecord& s, const SemaphoreTimeouts& t);
bool unlockSemaphore(SemaphoreRecord& s);

// Whether the index stands whole now while byte 1 counts someone: only counted readers are there (a
// living reader byte, and bytes 1 to 4 free, so no writer holds them). Readers and a writer never share
// the index, and a mark left by a dead writer is repaired before anyone is counted as a reader again,
// so readers alone mean no change is half made.
bool onlyReadersAtWork(SemaphoreRecord& s) {
    if ((s.record[1] & kMarkBit) != 0) return false;
    if (s.file.lock(kRecordLockOffset, kRecordLockLength) != 0) return false;
    const bool readers = othersReading(s);
    s.file.unlock(kRecordLockOffset, kRecordLockLength);
    return readers;
}

// Reads the record for an optimistic read: false when it cannot be read (the copy is left as it was).
bool readRecordCopy(SemaphoreRecord& s) {
    uint8_t fresh[4];
    if (s.file.readAt(0, fresh, 4) != 0) return false;
    std::copy(std::begin(fresh), std::end(fresh), std::begin(s.record));
    noteOthersChanges(s);
    return true;
}

IndexReadWay beginIndexRead(SemaphoreRecord& s, bool fresh) {
    if (s.optimistic || s.writer || s.countedReader || s.readDepth > 0 || s.writeDepth > 0)
        return IndexReadWay::Direct;
    if (fresh && !readRecordCopy(s)) return IndexReadWay::Counted;
    if (s.record[1] != 0) {
        // The copy is old or shows someone at work: look again, and read optimistically only when
        // nobody but counted readers is there.
        if (!fresh && !readRecordCopy(s)) return IndexReadWay::Counted;
        if (s.record[1] != 0 && !onlyReadersAtWork(s)) return IndexReadWay::Counted;
    }
    s.optimistic = true;
    ++s.optimisticReads;
    s.optimisticCounter = s.counter();
    s.viewCounter = s.counter();
    return IndexReadWay::Optimistic;
}

bool endOptimisticRead(SemaphoreRecord& s) {
    if (!s.optimistic) return true;
    s.optimistic = false;
    const bool holds =
        readRecordCopy(s) && s.counter() == s.optimisticCounter && (s.record[1] == 0 || onlyReadersAtWork(s));
    // Nodes and headers read while a writer was at work may be torn: nothing read in this read is kept.
    if (!holds) {
        ++s.thrownAway;
        ++s.generation;
        s.headersSuspect = true;
    }
    return holds;
}

// A read over a mark that no repair has cleared: refused with the repair's own failure, so that the
// user learns what to do (free space, open the table writable) instead of meeting a torn order.
bool repairRefused(const SemaphoreRecord& s) {
    const EngineSemaphores* st = currentState(false);
    const uint16_t code = st && st->repairError != 0 ? st->repairError : 5;
    std::string why = st && !st->repairDetail.empty() ? st->repairDetail : "the index cannot be written";
    std::replace(why.begin(), why.end(), '\r', ' ');
    std::replace(why.begin(), why.end(), '\n', ' ');
    const WorkAreaBlock* b = CurrentBlock();
    return semFail(
        code, "The index of " + (b ? b->fileName : s.fileName) +
                  " needs a repair after a write that failed, and the repair cannot be made now (" + why +
                  "): its orders are read again once it is made. " + where(s, kSemIncRead));
}

bool incRead(SemaphoreRecord& s, const SemaphoreTimeouts& t, bool repaired = false) {
    const int action = kSemIncRead;
    if (++s.readDepth > 1 || s.writer || s.countedReader) return true;
    int rc = retryLock(s.file, kRecordLockOffset, kRecordLockLength, t.lockRetry);
    if (rc != 0) {
        --s.readDepth;
        return lockTimeout(s.fileName, action, rc, t.lockRetry);
    }
    rc = readRecord(s);
    if (rc != 0) {
        --s.readDepth;
        return failUnlocked(s, action, rc, "Cannot read: ");
    }
    noteOthersChanges(s);
    s.viewCounter = s.counter();
    // A mark in byte 1 that no living reader backs up was left by a station that ended in the middle of
    // its work, perhaps of a write it never counted: nothing kept from before may be trusted, and the
    // index is repaired under the write lock before this station reads a node of it.
    if (s.record[1] != 0 && ((s.record[1] & kMarkBit) != 0 || !othersReading(s))) {
        ++s.generation;
        if (currentRepair() && !repaired) {
            s.file.unlock(kRecordLockOffset, kRecordLockLength);
            --s.readDepth;
            if (!lockSemaphore(s, t) || !unlockSemaphore(s)) return false;
            return incRead(s, t, true);
        }
        // A repair that could not be made (no space, an index opened for reading only) left the mark:
        // nothing reads the damaged orders until a station repairs them.
        if ((s.record[1] & kMarkBit) != 0) {
            s.file.unlock(kRecordLockOffset, kRecordLockLength);
            --s.readDepth;
            return repairRefused(s);
        }
    }
    s.readerSlot = takeReaderSlot(s);
    if (s.readerSlot < 0) {
        --s.readDepth;
        return failUnlocked(s, action, platform::kErrLockViolation, "No free reader byte in: ");
    }
    if (readersIn(s.record[1]) < kMaxReaders) ++s.record[1];
    rc = writeRecord(s);
    if (rc != 0) {
        --s.readDepth;
        dropReaderSlot(s);
        return failUnlocked(s, action, rc, "Cannot write to: ");
    }
    s.countedReader = true;
    return unlockRecord(s, action);
}

bool decRead(SemaphoreRecord& s, const SemaphoreTimeouts& t) {
    const int action = kSemDecRead;
    if (s.readDepth <= 0)
        return semFail(254, "Unbalanced IncRead/DecRead for semaphore file: " + where(s, action));
    if (--s.readDepth > 0) return true;
    if (!s.countedReader) return true;
    if (s.writer) {
        dropReaderSlot(s);
        return true;  // byte 1 is the writer's mark and cleared by its release
    }
    // The count goes down and the reader byte is dropped under one lock of the record: whoever locks the
    // record never sees a count that no reader byte backs up unless a station ended abnormally.
    if (!lockRecord(s, action, t.lockRetry)) {
        dropReaderSlot(s);
        return false;
    }
    int rc = readRecord(s);
    if (rc != 0) {
        dropReaderSlot(s);
        return failUnlocked(s, action, rc, "Cannot read: ");
    }
    if (readersIn(s.record[1]) > 0) --s.record[1];
    rc = writeRecord(s);
    dropReaderSlot(s);
    if (rc != 0) return failUnlocked(s, action, rc, "Cannot write to: ");
    return unlockRecord(s, action);
}

bool staleLock(const SemaphoreRecord& s, milliseconds limit) {
    return semFail(1202, secondsText(limit) + " second timeout, cannot read: " + s.fileName + "\r\n" +
                             "Possible cause: Other user's program has terminated abnormally." + "\r\n" +
                             "Cure: Log all users of this application off the network," + "\r\n" +
                             "then delete " + s.fileName);
}

// Waits, polling, until no other station writes or reads, for up to the write time-out. Readers are
// known by their reader bytes; a count in byte 1 that no lock backs up was left by a station that
// ended abnormally and is disregarded.
bool lockSemaphore(SemaphoreRecord& s, const SemaphoreTimeouts& t) {
    const int action = kSemLock;
    if (++s.writeDepth > 1 || s.writer) return true;
    const Clock::time_point start = Clock::now();
    Pause pause;
    for (;;) {
        int rc = s.file.lock(kRecordLockOffset, kRecordLockLength);
        if (rc == 0) {
            rc = readRecord(s);
            if (rc != 0) {
                --s.writeDepth;
                return failUnlocked(s, action, rc, "Cannot read: ");
            }
            // Every count in byte 1 is made and unmade under this lock: a byte 1 that counts nobody but
            // this station means no other reader (and no mark), with no need to test their bytes.
            if (s.record[1] <= (s.countedReader ? 1 : 0) || !othersReading(s)) break;
            s.file.unlock(kRecordLockOffset, kRecordLockLength);
        } else if (rc != platform::kErrLockViolation) {
            --s.writeDepth;
            return lockTimeout(s.fileName, action, rc, t.writeTimeout);
        }
        if (pastDeadline(start, t.writeTimeout)) {
            --s.writeDepth;
            return staleLock(s, t.writeTimeout);
        }
        pause();
    }
    noteOthersChanges(s);
    s.viewCounter = s.counter();
    // No other reader is there now, so a count beyond this station's own was left by a station that
    // ended in the middle of its work (see incRead): a writer's, perhaps, whose change is half made.
    const bool stale = s.record[1] > (s.countedReader ? 1 : 0);
    if (stale) ++s.generation;
    s.record[1] = 1;
    const int rc = writeRecord(s);
    if (rc != 0) {
        --s.writeDepth;
        return failUnlocked(s, action, rc, "Cannot write to: ");
    }
    s.writer = true;
    s.keepMark = stale && currentRepair() && !runRepair();
    return true;
}

// Releasing the write lock always releases bytes 1 to 4, also when the record cannot be rewritten:
// a stale mark in byte 1 holds nobody up, a lock kept by a living station would.
bool unlockSemaphore(SemaphoreRecord& s) {
    const int action = kSemUnlock;
    if (s.writeDepth <= 0) {
        if (s.writer) {
            s.file.unlock(kRecordLockOffset, kRecordLockLength);
            s.writer = false;
        }
        return semFail(254, "Unbalanced Lock/Unlock for semaphore file: " + where(s, action));
    }
    if (--s.writeDepth > 0 || !s.writer) return true;
    s.writer = false;
    // The copy of the record is the file's: nobody can change it while this station holds bytes 1 to 4.
    const uint16_t atLock = s.counter();
    s.setCounter(static_cast<uint16_t>(atLock + 1));
    // A station still inside a read stays counted as the one reader: nobody else can be one now.
    if (s.readDepth > 0 && !s.countedReader) {
        s.readerSlot = takeReaderSlot(s);
        s.countedReader = s.readerSlot >= 0;
    }
    // A mark kept after a failed repair counts beyond the readers that back it up.
    s.record[1] = static_cast<uint8_t>((s.countedReader ? 1 : 0) | (s.keepMark ? kMarkBit : 0));
    s.keepMark = false;
    const int rc = writeRecord(s);
    if (rc != 0) return failUnlocked(s, action, rc, "Cannot write to: ");
    // The station's own change is not another's: what it keeps stays good.
    s.knownCounter = s.counter();
    s.viewCounter = s.counter();
    if (!unlockRecord(s, action)) return false;
    // The headers this station holds take in its own change only when they had taken in every change
    // before it. A write that read no header (a delete, a recall, a poke) may have locked over other
    // stations' changes it never read: marking those seen would leave it with an old root or an old end
    // of the file, and its next key written from them would tear the tree.
    if (s.seenCounter == atLock) s.seenCounter = s.counter();
    return true;
}

void logoutAll(Engine& engine) {
    EngineSemaphores* st = stateOf(engine, false);
    if (!st) return;
    const uint8_t saved = engine.currentArea;
    for (int area = 1; area <= kSemAreas; ++area) {
        if (!st->areas[area]) continue;
        engine.currentArea = static_cast<uint8_t>(area);
        try {
            logout(*st, area);
        } catch (const EEngineError&) {
        }
    }
    engine.currentArea = saved;
}

bool bracket(bool on, bool write) {
    EngineSemaphores* st = currentState(true);
    if (!st) return true;
    const int area = Engine::current().currentArea;
    if (area < 1 || area > kAreaCount) return true;
    int32_t& depth = write ? st->writeBrackets[area] : st->readBrackets[area];
    if (on) {
        if (++depth != 1) return true;
        bool ok = false;
        try {
            ok = HandleSemafore(write ? kSemLock : kSemIncRead);
        } catch (...) {
            --depth;
            throw;
        }
        if (!ok) --depth;
        return ok;
    }
    if (depth <= 0) {
        return semFail(254, write ? "Non-symmetrical Lock-Unlock [SetLockSemaphoreProc]"
                                  : "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]");
    }
    if (--depth != 0) return true;
    return HandleSemafore(write ? kSemUnlock : kSemDecRead);
}

}  // namespace

const char* SemaphoreActionName(int action) {
    static const char* const kNames[] = {"LOGIN",   "LOGOUT",        "INCREAD",
                                         "DECREAD", "LOCKSEMAPHORE", "UNLOCKSEMAPHORE"};
    return action >= 0 && action <= 5 ? kNames[action] : "?";
}

std::string SemaphoreFileName() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->fileName.empty()) return {};
    // The table as found on disk, so that every spelling of its name meets the same semaphore file.
    const std::string table = platform::ResolveCase(b->fileName);
    return SemaphoreFileNameOf(table);
}

bool MarkIndexForRepair(const std::string& tablePath) {
    const std::string name = SemaphoreFileNameOf(platform::ResolveCase(tablePath));
    platform::File file;
    if (file.openAlways(name, platform::kModeShared) != 0) return false;
    const milliseconds wait = SemaphoreSettings().lockRetry;
    if (retryLock(file, kRecordLockOffset, kRecordLockLength, wait) != 0) return false;
    uint8_t record[4] = {0, 0, 0, 0};
    size_t got = 0;
    bool ok = file.readAt(0, record, 4, &got) == 0;
    record[1] |= kMarkBit;
    platform::PutU16(record + 2, static_cast<uint16_t>(platform::GetU16(record + 2) + 1));
    ok = ok && file.writeAt(0, record, 4) == 0;
    file.unlock(kRecordLockOffset, kRecordLockLength);
    return ok;
}

bool HandleSemafore(int action) {
    Engine& e = Engine::current();
    const int area = e.currentArea;
    if (area > kSemAreas || area < 1)
        return semFail(254, "Work area [" + std::to_string(area) + " ] out of range. [HandleSemafore]");
    EngineSemaphores* st = currentState(action == kSemLogin);
    if (!st) return true;
    if (action == kSemLogin) return login(*st, area);
    if (action == kSemLogout) return logout(*st, area);
    SemaphoreRecord* s = st->areas[area].get();
    if (!s) return true;
    switch (action) {
        case kSemIncRead:
            return incRead(*s, st->timeouts);
        case kSemDecRead:
            return decRead(*s, st->timeouts);
        case kSemLock:
            if (!lockSemaphore(*s, st->timeouts)) return false;
            if (!s->keepMark || s->writeDepth != 1) return true;
            // A mark the repair could not clear: a write would go into the damaged orders and be told it
            // succeeded. It is refused before it changes anything; the release keeps the mark.
            unlockSemaphore(*s);
            return repairRefused(*s);
        case kSemUnlock:
            return unlockSemaphore(*s);
        default:
            return semFail(254, "Unknown semaphore action " + std::to_string(action) + " [HandleSemafore]");
    }
}

void SetSemaphoreRepair(Engine& engine, SemaphoreRepair repair) {
    if (EngineSemaphores* st = stateOf(engine, true)) st->repair = repair;
}

uint64_t SemaphoreRepairCount() {
    EngineSemaphores* st = currentState(false);
    return st ? st->repairs : 0;
}

void SetReadSemaphoreProc(bool on) {
    bracket(on, false);
}
void SetLockSemaphoreProc(bool on) {
    bracket(on, true);
}

IndexReadBracket::IndexReadBracket() : m_area(Engine::current().currentArea) {
    m_entered = bracket(true, false);
}

IndexReadBracket::~IndexReadBracket() {
    if (!m_entered) return;
    try {
        CurrentAreaScope scope(m_area);
        bracket(false, false);
    } catch (const EEngineError&) {
        // Recorded as the last error; a destructor must not throw.
    }
}

IndexWriteBracket::IndexWriteBracket() : m_area(Engine::current().currentArea) {
    m_entered = bracket(true, true);
}

IndexWriteBracket::~IndexWriteBracket() {
    if (!m_entered) return;
    try {
        CurrentAreaScope scope(m_area);
        bracket(false, true);
    } catch (const EEngineError&) {
    }
}

bool SemaphoreIndexChanged() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return false;
    return st->areas[area]->headersSuspect || st->areas[area]->counter() != st->areas[area]->seenCounter;
}

void SemaphoreMarkSeen() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return;
    st->areas[area]->seenCounter = st->areas[area]->viewCounter;
    st->areas[area]->headersSuspect = false;
}

bool SemaphoreUnchangedSinceLastRead() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return false;
    SemaphoreRecord& s = *st->areas[area];
    if (s.writer || s.optimistic || s.headersSuspect) return false;
    const uint16_t seen = s.viewCounter;
    if (!readRecordCopy(s)) return false;
    return s.counter() == seen && (s.record[1] == 0 || onlyReadersAtWork(s));
}

bool RepairOrLeaveMark() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return false;
    if (!st->areas[area]->writer) return false;
    if (runRepair()) return true;
    SemaphoreKeepMark();
    return false;
}

bool SemaphoreKeepMark() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area] || !st->areas[area]->writer) return false;
    st->areas[area]->keepMark = true;
    return true;
}

SemaphoreGuard CurrentSemaphoreGuard() {
    SemaphoreGuard g;
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return g;
    const SemaphoreRecord& s = *st->areas[area];
    g.loggedIn = true;
    g.inside = s.writer || s.countedReader || s.optimistic;
    g.generation = s.generation;
    return g;
}

IndexReadWay BeginIndexRead(bool fresh) {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return IndexReadWay::Direct;
    return beginIndexRead(*st->areas[area], fresh);
}

bool EndOptimisticRead() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return true;
    return endOptimisticRead(*st->areas[area]);
}

void EndUnreadOptimisticRead() {
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kSemAreas || !st->areas[area]) return;
    st->areas[area]->optimistic = false;
}

SemaphoreInfo CurrentSemaphoreInfo() {
    SemaphoreInfo info;
    EngineSemaphores* st = currentState(false);
    const int area = Engine::current().currentArea;
    if (!st || area < 1 || area > kAreaCount) return info;
    info.readBrackets = st->readBrackets[area];
    info.writeBrackets = st->writeBrackets[area];
    if (area > kSemAreas || !st->areas[area]) return info;
    const SemaphoreRecord& s = *st->areas[area];
    info.loggedIn = true;
    std::copy(std::begin(s.record), std::end(s.record), info.record);
    info.stationsAtLogin = s.stationsAtLogin;
    info.seenCounter = s.seenCounter;
    info.writer = s.writer;
    info.countedReader = s.countedReader;
    info.readDepth = s.readDepth;
    info.writeDepth = s.writeDepth;
    info.optimisticReads = s.optimisticReads;
    info.thrownAway = s.thrownAway;
    return info;
}

SemaphoreTimeouts& SemaphoreSettings() {
    EngineSemaphores* st = currentState(true);
    if (st) return st->timeouts;
    static SemaphoreTimeouts ending;  // the engine is ending; nothing waits any more
    return ending;
}

void ResetSemaphoreState() {
    EngineSemaphores* st = currentState(false);
    if (!st) return;
    const SemaphoreTimeouts keep = st->timeouts;
    const SemaphoreRepair repair = st->repair;
    const uint64_t repairs = st->repairs;
    *st = EngineSemaphores{};
    st->timeouts = keep;
    st->repair = repair;
    st->repairs = repairs;
}

}  // namespace xb
