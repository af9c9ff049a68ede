// Block file I/O with Windows semantics over POSIX: open modes, share modes, byte-range locks and the
// Windows error codes the engine reports. Every call returns 0 or an error code; none throws.
//
// Open modes keep their Windows values: the low two bits are the access (0 read, 1 write, 2 read/write),
// bits 4-6 the sharing (0x00 compatibility and 0x10 deny all are exclusive, 0x20 deny write, 0x30 deny
// read, 0x40 deny none). The engine uses 66 (shared read/write), 18 (exclusive read/write), 64 (shared
// read), 16 and 0 (exclusive read).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace xb::platform {

enum : int {
    kModeRead = 0,
    kModeReadWrite = 2,
    kModeExclusiveRead = 16,
    kModeExclusive = 18,
    kModeSharedRead = 64,
    kModeShared = 66,
};

// Windows error codes produced by this layer.
enum : int {
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrTooManyFiles = 4,
    kErrAccessDenied = 5,
    kErrInvalidHandle = 6,
    kErrNotEnoughMemory = 8,
    kErrSharingViolation = 32,
    kErrLockViolation = 33,
    kErrDiskFull = 112,
    kErrNotLocked = 158,
    kErrReadFault = 30,
    kErrWriteFault = 29,
    kErrDiskRead = 100,   // the runtime's "Disk read error": fewer bytes than asked
    kErrDiskWrite = 101,  // the runtime's "Disk write error": fewer bytes written (disk full)
};

// A file as the system knows it, whatever its name: two names or two handles with the same identity
// are one file. All zero: not known.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool known() const { return device != 0 || inode != 0; }
    bool operator==(const FileIdentity&) const = default;
    bool operator<(const FileIdentity& o) const {
        return device != o.device ? device < o.device : inode < o.inode;
    }
};

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file. Fails with 2 or 3 when it does not exist, 5 when access is refused and 32
    // when another open handle's sharing conflicts with this one.
    int open(const std::string& path, int mode);
    // Creates the file, or truncates it when it exists (and no other handle holds it).
    int create(const std::string& path, int mode);
    // Opens the file, creating it empty when it does not exist; an existing file keeps its bytes.
    int openAlways(const std::string& path, int mode);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int mode() const { return m_mode; }
    // Opened for reading and writing: its locks keep every other handle out.
    bool writable() const { return m_writable; }
    // Which file the handle holds (its device and number, as its open found them): a name renamed over
    // or made anew since then holds another.
    FileIdentity identity() const { return m_identity; }
    const std::string& path() const { return m_path; }

    // Reads n bytes at offset. A short read gives 100 (the runtime's "Disk read error") unless got is
    // given, in which case the count read is stored there and 0 is returned.
    int readAt(uint64_t offset, void* buf, size_t n, size_t* got = nullptr);
    // Writes n bytes at offset; a short write (disk full) gives 101.
    int writeAt(uint64_t offset, const void* buf, size_t n);
    // The file's size. Asked first thing after the open, before anything else was asked of the system,
    // it is the size the open found (on a network drive the open's answer carries it): no call is made.
    int size(uint64_t& out) const;
    int truncate(uint64_t length);
    int flush();
    // Whether a write or a truncation went through this handle since its open or its last flush.
    bool writtenSinceFlush() const { return m_written; }

    // Windows LockFile/UnlockFile on this handle. A region overlapping one this handle already holds is
    // refused with 33, as Windows refuses it; another handle's or process's lock gives 33 too. Unlocking
    // anything but a region held exactly as locked gives 158. A handle opened for reading only takes a
    // shared lock (two such handles may hold one region; a writing handle is kept out).
    int lock(uint64_t offset, uint64_t length);
    int unlock(uint64_t offset, uint64_t length);
    bool holdsLock(uint64_t offset, uint64_t length) const;
    size_t lockCount() const { return m_locks.size(); }

    // Changes the sharing of this open handle without closing it (the access stays). Refused with 32,
    // and the handle left as it was, while another handle's sharing conflicts with the new mode.
    int changeShare(int mode);

    // The file's modification time as a DOS date-time (date in the high word), 0 on failure.
    uint32_t dosDateTime() const;

private:
    int openImpl(const std::string& path, int mode, bool create, bool truncate);

    struct Region {
        uint64_t offset;
        uint64_t length;
    };
    int m_fd = -1;
    int m_mode = 0;
    bool m_writable = false;  // opened for reading and writing (a write lock needs it)
    std::string m_path;
    std::vector<Region> m_locks;
    mutable int64_t m_sizeFromOpen = -1;  // the size the open found, until the handle is used
    uint64_t m_openSerial = 0;            // the process's count of calls right after the open
    FileIdentity m_identity;
    bool m_written = false;
};

// The Windows code of an errno value.
int WinErrorOfErrno(int err);

// True when the sharing of mode excludes every other handle (compatibility and deny-all modes).
bool IsExclusiveMode(int mode);

// The system's own text for a Windows error code this layer can produce or meet (112: the disk is full,
// ...), as the system says it; nullptr for a code it does not know.
const char* SystemErrorText(int code);

// Deletes a file the way Windows does: refused with 32 while any other handle (of this process or
// another) holds it open, 2 when it does not exist.
int DeleteFileChecked(const std::string& path);
// Renames a file, refused with 32 while another handle holds either name open.
int RenameFileChecked(const std::string& from, const std::string& to);

// Renames without probing (the caller holds whatever excludes others), replacing the target.
int RenameFile(const std::string& from, const std::string& to);
// Creators of one file take turns: the lock of a lock file beside it (".NAME.lock", removed again by
// its holder), held by the open file description so that it vanishes with a creator that dies. Waits
// while another creator holds it. The lock file is opened without following a link and must be a plain
// file: a link, directory, pipe or device in its place is refused, and nothing is made through it.
class CreationLock {
public:
    explicit CreationLock(const std::string& target);
    ~CreationLock();
    CreationLock(const CreationLock&) = delete;
    CreationLock& operator=(const CreationLock&) = delete;
    // 0, or the code of the failure to take it.
    int result() const { return m_result; }
    // After a failure: the lock file's path and why, as "/data/.t.dbf.lock is a symbolic link, not a lock
    // file: remove it".
    const std::string& refusal() const { return m_refusal; }

private:
    std::string m_path;
    std::string m_refusal;
    int m_fd = -1;
    int m_result = 0;
};

// Whether a creator holds target's creation lock now, looked at without creating the lock file, following a
// link or waiting: InTheWay when something other than a regular file bears the lock's name.
enum class CreationLockState { Free, Held, InTheWay };
CreationLockState ProbeCreationLock(const std::string& target);

// The creation lock of target taken only when no other creator holds it: held() at once, or not at all.
// Its file is opened without following a link; result() is 0 when taken, 33 while another creator holds
// it, 5 when something other than a regular file bears the lock's name.
class CreationLockIfFree {
public:
    explicit CreationLockIfFree(const std::string& target);
    ~CreationLockIfFree();
    CreationLockIfFree(const CreationLockIfFree&) = delete;
    CreationLockIfFree& operator=(const CreationLockIfFree&) = delete;
    bool held() const { return m_fd >= 0; }
    int result() const { return m_result; }

private:
    std::string m_path;
    int m_fd = -1;
    int m_result = 0;
};

// A request to stop that a signal handler may make (it only stores a flag), and the long loops of a start
// look at between files and rows. StopRequested() answers true only inside a StopRequestScope, so that
// work a request must not cut short (a shutdown's pack, a restore) never sees it.
void RequestStop();
bool StopRequested();
void ForgetStopRequest();
class StopRequestScope {
public:
    StopRequestScope();
    ~StopRequestScope();
    StopRequestScope(const StopRequestScope&) = delete;
    StopRequestScope& operator=(const StopRequestScope&) = delete;
};

// Renames unless the target exists (80, file exists, then): the target appears whole or not at all,
// and a file another station made in the meantime is never replaced. The first way the file system
// has serves (docs/platform.md): a hard link, else a rename that refuses an existing target (file
// systems without hard links: FAT, exFAT, some shares), else, where neither is had, a rename made
// after looking that the target is still missing, which holds only while the caller holds the
// target's CreationLock (every creator of the file takes it).
int RenameFileNoReplace(const std::string& from, const std::string& to);
enum class PublishWay { Link, RenameNoReplace, LockedRename };
// The way the last RenameFileNoReplace took (of this process).
PublishWay LastPublishWay();
// For tests: RenameFileNoReplace acts as if the file system refused every way before first (as FAT
// refuses links), until ClearFaults.
void RefusePublishWaysBefore(PublishWay first);
// Flushes the directory entry of a path's directory, so that a rename survives a crash.
int SyncDirectoryOf(const std::string& path);
// Gives to the permission bits of from.
int CopyFileMode(const std::string& from, const std::string& to);
// Deletes a file without probing; 0 when it did not exist.
int RemoveFileIfExists(const std::string& path);

// The calls this layer (and the path routines of paths.h) make of the operating system, by kind,
// counted for the whole process. On a network drive each one is a round trip to the server, so the
// counts say what an operation costs there. An open counts once (with the share-mode locks it takes); a
// lock counts also when refused; a stat counts whether it asks a handle or a name; a directory listing
// counts once however many names it returns.
struct FileCallCounts {
    uint64_t read = 0;
    uint64_t write = 0;
    uint64_t lock = 0;
    uint64_t unlock = 0;
    uint64_t stat = 0;
    uint64_t open = 0;
    uint64_t other = 0;  // close, truncate, flush, delete, rename
    uint64_t list = 0;   // directory listings
    uint64_t total() const { return read + write + lock + unlock + stat + open + other + list; }
};
FileCallCounts FileCalls();
FileCallCounts operator-(const FileCallCounts& a, const FileCallCounts& b);
// Makes every counted call wait this long first, as a network drive would (zero: no wait). For
// benchmarks; the wait is a busy one below a millisecond, so short waits are kept exactly.
void SetFileCallLatency(std::chrono::microseconds latency);

// Reads the file at path in pieces of up to piece bytes, from its start, handing each to take with its
// offset; take answers where to read next (kPeekDone to stop), and a piece that ends the file ends the
// reads. Outside the sharing of File handles (no lock is taken, none is waited for): a look whose answer
// another station's write may overtake. One open (refusing a link, never waiting on a pipe), one read a
// piece, one close, each counted. 0, or the code of the failure.
inline constexpr uint64_t kPeekDone = ~uint64_t{0};
int PeekFile(const std::string& path, size_t piece,
             const std::function<uint64_t(uint64_t at, const uint8_t*, size_t)>& take);

// What a stat of a path found, counted as one stat call. exists is false when the name is missing
// (or cannot be looked at).
struct PathStatus {
    bool exists = false;
    bool regular = false;
    bool directory = false;
    uint64_t size = 0;
    int64_t modified = 0;  // seconds since the epoch
    uint32_t permissions = 0;
    FileIdentity identity;
};
PathStatus StatPath(const std::string& path);
// What stands at a path itself, a link not followed: from the NameLookupScope's listing when one lives (no
// call for a name the listing types), else one lstat. EntryKindBehind follows a link (one stat more):
// Link then means one that leads nowhere (missing, or a loop).
enum class EntryKind { Missing, Regular, Directory, Link, Pipe, Special };
EntryKind EntryKindAt(const std::string& path);
EntryKind EntryKindBehind(const std::string& path);
// The names in a directory ("." and ".." left out), in the order the system gives them, counted as one
// listing; false when the directory cannot be read.
bool ListDirectory(const std::string& dir, std::vector<std::string>& names);

// Opening a table looks up several names in its directory (the table in whatever case, its memo, index
// and semaphore files, what an interrupted pack left), and on a network drive each stat or listing is a
// round trip. While a NameLookupScope lives on this thread, each directory is listed once: ResolveCase,
// FileExists, ListDirectory and ListMatching answer from that listing (a name the listing cannot type is
// stat'ed once). A create, rename or delete made through this layer drops the listings, so the scope
// never answers for a change of its own; another station's change after the listing is met as it would
// be a moment after a lookup of its own. Scopes nest: the outermost one keeps the listings.
class NameLookupScope {
public:
    NameLookupScope();
    ~NameLookupScope();
    NameLookupScope(const NameLookupScope&) = delete;
    NameLookupScope& operator=(const NameLookupScope&) = delete;
};

// Inside a NameLookupScope: whether dir (as a path, with or without its trailing "/") holds name as a
// regular file, exactly (exact) or else whatever its case (the smallest such name goes to found). False
// with nothing found, and also when outside a scope or the directory cannot be listed (then listed is
// false and the caller looks the name up itself).
struct ListedLookup {
    bool listed = false;
    bool exact = false;
    std::string found;
};
ListedLookup LookUpListed(const std::string& dir, const std::string& name);
// Drops the listings of a lookup scope, for a change of a directory made outside the calls above.
void ForgetListedNames();

// Fault injection: make the nth read, write, flush, engine allocation or RenameFile from now on (1 = the
// next) fail with code. Engine code that allocates asks TakeFault(FaultOp::Alloc, code) first.
enum class FaultOp { Read, Write, Flush, Alloc, Rename };
// A fault with code kFaultKill ends the process at once with SIGKILL, for tests of a station that dies
// in the middle of its writes.
constexpr int kFaultKill = -9;
void InjectFault(FaultOp op, int nth, int code);
void ClearFaults();
bool TakeFault(FaultOp op, int& code);
// True while a fault injected for op has not been reached yet.
bool FaultArmed(FaultOp op);
// A disk that fills up: from the nth write from now on (1 = the next), every write or truncation that
// would make a file longer fails, as on a full volume: a write of more than a sector writes its first
// half (whole sectors) and fails with kErrDiskWrite, a shorter one fails with kErrDiskFull. Writes inside a
// file's present length still succeed. Until ClearFaults (the space comes back).
void InjectDiskFull(int nth);
// For tests of what happens while a read is under way: runs hook once, just before the nth read from
// now on (1 = the next). The hook may read and write files itself.
void InjectReadHook(int nth, std::function<void()> hook);

}  // namespace xb::platform
