// The index semaphore file: how the stations that share a table's index count themselves, let many of
// them read the index together but only one change it, and learn that another station changed it.
//
// The file sits beside the table (the table's name as found on disk, extension ".@s@") and holds four
// bytes: stations logged in, readers (or 1 while a station writes), and a u16 update counter. Bytes 1 to
// 4 are locked for every read-modify-write of the record and for as long as a station writes. Each
// counted reader also holds a lock on a reader byte of its own, so a writer learns whether readers are
// really there from the locks, which vanish with a crashed process, and never from the counts alone.
// docs/semaphore.md describes the file and the protocol.
//
// Every routine acts on the current work area of the current engine. A table opened exclusively (or a
// virtual one) uses no semaphore: every action succeeds at once. Failures go through the engine's error
// routine and, when trapping is off, raise EEngineError with the full error text.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace xb {

class Engine;

enum SemaphoreAction : int {
    kSemLogin = 0,
    kSemLogout = 1,
    kSemIncRead = 2,
    kSemDecRead = 3,
    kSemLock = 4,
    kSemUnlock = 5,
};

// "LOGIN", "LOGOUT", "INCREAD", "DECREAD", "LOCKSEMAPHORE", "UNLOCKSEMAPHORE".
const char* SemaphoreActionName(int action);

// Performs one action for the current area; true on success (also when there is nothing to do).
bool HandleSemafore(int action);

// The semaphore file of the current table: its name as found on disk with the extension ".@s@";
// empty without a table.
std::string SemaphoreFileName();

// The read bracket (driver entry 23) and the write bracket (entry 24): on from 0 to 1 begins reading
// (takes the write lock), off from 1 to 0 ends it; nested calls only count. An off without its on is
// error 254. An on that fails leaves the bracket closed, so no off is owed for it.
void SetReadSemaphoreProc(bool on);
void SetLockSemaphoreProc(bool on);

// Scope guards for the two brackets. The destructor closes the bracket of the area the guard was made
// on, even when another area is current by then, and never throws (a failure there is recorded as the
// last error).
class IndexReadBracket {
public:
    IndexReadBracket();
    ~IndexReadBracket();
    IndexReadBracket(const IndexReadBracket&) = delete;
    IndexReadBracket& operator=(const IndexReadBracket&) = delete;
    bool entered() const { return m_entered; }

private:
    int m_area;
    bool m_entered = false;
};

class IndexWriteBracket {
public:
    IndexWriteBracket();
    ~IndexWriteBracket();
    IndexWriteBracket(const IndexWriteBracket&) = delete;
    IndexWriteBracket& operator=(const IndexWriteBracket&) = delete;
    bool entered() const { return m_entered; }

private:
    int m_area;
    bool m_entered = false;
};

// Optimistic reads. Most moves of a shared index meet no writer, and for them the counted read (five
// calls of the file system to enter, five to leave) is pure cost. An optimistic read takes no lock and
// writes nothing: it starts from the record as this station last read or wrote it, when that showed
// nobody writing, reads what it needs (trusting the nodes it keeps) and at its end reads the record
// once. The read holds when the update counter is still the one it started from and no writer is at
// work: every change of the index is made between a mark in byte 1 and the release that moves the
// counter, so a change that overlapped the read shows as one or the other. A read that does not hold
// is thrown away by its caller and made again (see RunIndexRead in the work-area layer); what it may
// have kept of a half-written node is dropped.
//
// BeginIndexRead decides for the current area: Direct when there is no semaphore or the station is
// already inside a read or write (the move runs as it stands, inside the bracket it is in), Counted when
// the record shows another station at work (the move takes the counted read bracket, which waits for a
// writer and repairs what a dead one left) and Optimistic otherwise. fresh reads the record first
// rather than trusting the last copy (after a read that did not hold). EndOptimisticRead answers whether
// the read holds.
enum class IndexReadWay { Direct, Optimistic, Counted };
IndexReadWay BeginIndexRead(bool fresh);
bool EndOptimisticRead();
// Ends an optimistic read that read nothing of the index or the table: it used only nodes and records
// that reads which held had read, under the counter it started from, so it holds without a look.
void EndUnreadOptimisticRead();

// The update counter. INCREAD reads the file's counter; when it differs from the one this station last
// saw, another station changed the index and the tag headers must be re-read. The station's own write
// lock release counts as seen. SemaphoreMarkSeen takes as seen the counter the station's read or write
// bracket was entered under (not a newer one its leaving read), so headers read inside the bracket are
// never taken for a later state of the index.
bool SemaphoreIndexChanged();
void SemaphoreMarkSeen();
// Inside the write lock: its release leaves the mark in byte 1, so that the next station to lock repairs
// the index (a change this station could neither finish nor undo). False outside the write lock.
bool SemaphoreKeepMark();

// How far the station may trust what it keeps of the current area's index between calls (nodes, the
// file's size): only with a semaphore, only while it is inside a read or write bracket (no other station
// can be changing the index then) and only while the generation stays the same. The generation moves on
// whenever a fresh read of the record shows an update counter that is not the one this station last
// read or wrote, and when a mark in byte 1 was left by a station that ended in the middle of its work.
struct SemaphoreGuard {
    bool loggedIn = false;
    bool inside = false;
    uint64_t generation = 0;
};
SemaphoreGuard CurrentSemaphoreGuard();

// Whether nobody changed the current area's index since this station last read it: the record read
// again (one read) shows the update counter that read went with, and nobody at work. Every key a
// station adds or changes moves the counter before the write lock is released, so a row another
// station appended since shows here. False without a semaphore (the caller reads again).
bool SemaphoreUnchangedSinceLastRead();

// For the current area's writer, whose change of the index could not be written whole: rebuilds the
// index now with the engine's repair (the rows are the truth) and, when that fails too, has the release
// of the write lock leave the mark, so that the next station that can repairs it. True when repaired.
bool RepairOrLeaveMark();

// What the current area's semaphore looks like, for the driver and for tests.
struct SemaphoreInfo {
    bool loggedIn = false;
    uint8_t record[4] = {0, 0, 0, 0};  // the last copy read or written
    uint8_t stationsAtLogin = 0;
    uint16_t seenCounter = 0;
    bool writer = false;  // holds bytes 1 to 4
    bool countedReader = false;
    int32_t readDepth = 0;
    int32_t writeDepth = 0;
    int32_t readBrackets = 0;   // SetReadSemaphoreProc nesting
    int32_t writeBrackets = 0;  // SetLockSemaphoreProc nesting
    uint64_t optimisticReads = 0;  // since the login
    uint64_t thrownAway = 0;       // optimistic reads that did not hold
};
SemaphoreInfo CurrentSemaphoreInfo();

// Engine-wide waits. lockRetry bounds every short read-modify-write of the record and the table lock
// byte (logging in and out); writeTimeout bounds the wait for the write lock (zero waits for ever).
struct SemaphoreTimeouts {
    std::chrono::milliseconds lockRetry{10000};
    std::chrono::milliseconds writeTimeout{100000};
};
SemaphoreTimeouts& SemaphoreSettings();

// The repair of an index left torn by a writer that ended in the middle of its work. Whoever finds the
// writer's mark in byte 1 with nobody holding the lock takes the write lock and calls the repair for the
// current area before anything reads a node; on success the mark is cleared and the update counter
// moves at the release, so that every other station drops what it kept. Installed by the index engine;
// without one (or when it fails, on a read-only index say) the mark stays for a station that can.
using SemaphoreRepair = bool (*)();
void SetSemaphoreRepair(Engine& engine, SemaphoreRepair repair);
// How many repairs the current engine made (for tests and the soak's report).
uint64_t SemaphoreRepairCount();

// Leaves the repair mark on the index of the table at tablePath (whoever uses it or opens it next
// rebuilds every tag from the rows before reading a node of it, as after a writer that died half-way)
// and moves the update counter, so that no station goes on with nodes it kept. For an index found out
// of step with its table from outside the engine's writes. False when the semaphore file could not be
// made or written.
bool MarkIndexForRepair(const std::string& tablePath);

// Forgets every area's semaphore state of the current engine (the driver's start-up), closing the
// files without logging out.
void ResetSemaphoreState();

}  // namespace xb
