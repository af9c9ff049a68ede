// How Windows file sharing and LockFile are emulated on POSIX.
//
// Windows decides at open time whether two handles may coexist (share modes) and lets a handle lock
// byte ranges that every other handle, in this process or another, must respect. POSIX has neither
// share modes nor per-handle locks: classic fcntl locks belong to the process (two handles of one process
// never conflict, and closing any descriptor of a file silently drops all of the process's locks on it).
// Open-file-description locks (F_OFD_SETLK) belong to the open file description instead, which is
// exactly a Windows handle: two opens of one file in one process conflict, closing another descriptor
// keeps ours, and a descriptor closed on exec takes nothing to the child.
//
// Share modes ride on the same mechanism: two sentinel bytes far beyond any data stand for read and
// write access. A handle that reads or writes takes a read lock on the matching byte for its whole life;
// a handle that denies reading or writing takes a write lock on it instead. So a second opener whose
// access the first denies (or who denies what the first does) finds the byte locked and gets 32, the
// Windows sharing violation. A write lock needs a descriptor open for writing, so a handle that asks for
// exclusive read access is opened read/write where the permissions allow; where they do not, it falls
// back to read locks and so to shared semantics (documented in docs/platform.md).
//
// Windows also refuses to lock a range that the same handle already holds and to unlock a range that
// was not locked exactly as given; OFD locks merge silently, so each handle keeps its list of regions
// and answers those cases itself.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/clock.h"
#include "platform/file_calls.h"
#include "platform/paths.h"

namespace xb::platform {

namespace {

constexpr off_t kSentinelRead = off_t(1) << 62;
constexpr off_t kSentinelWrite = kSentinelRead + 1;

struct FaultSlot {
    int remaining = 0;  // 0 = disarmed
    int code = 0;
};
FaultSlot g_faults[5];
int g_diskFullIn = 0;  // writes until the disk is full; -1 full

int g_readHookAt = 0;
std::function<void()> g_readHook;

using namespace calls;
std::atomic<uint64_t> g_calls[kKinds];
std::atomic<int64_t> g_latencyUs{0};

void waitLatency(int64_t us) {
    using Clock = std::chrono::steady_clock;
    if (us >= 1000) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        return;
    }
    const Clock::time_point end = Clock::now() + std::chrono::microseconds(us);
    while (Clock::now() < end) {
    }
}

std::atomic<uint64_t> g_callSerial{0};

void countCall(Kind kind) {
    calls::Count(kind);
}

}  // namespace

void calls::Count(Kind kind) {
    g_calls[kind].fetch_add(1, std::memory_order_relaxed);
    g_callSerial.fetch_add(1, std::memory_order_relaxed);
    const int64_t us = g_latencyUs.load(std::memory_order_relaxed);
    if (us > 0) waitLatency(us);
}

uint64_t calls::Serial() {
    return g_callSerial.load(std::memory_order_relaxed);
}

FileCallCounts FileCalls() {
    auto v = [](Kind k) { return g_calls[k].load(std::memory_order_relaxed); };
    FileCallCounts c;
    c.read = v(kRead);
    c.write = v(kWrite);
    c.lock = v(kLock);
    c.unlock = v(kUnlock);
    c.stat = v(kStat);
    c.open = v(kOpen);
    c.other = v(kOther);
    c.list = v(kList);
    return c;
}

FileCallCounts operator-(const FileCallCounts& a, const FileCallCounts& b) {
    FileCallCounts c;
    c.read = a.read - b.read;
    c.write = a.write - b.write;
    c.lock = a.lock - b.lock;
    c.unlock = a.unlock - b.unlock;
    c.stat = a.stat - b.stat;
    c.open = a.open - b.open;
    c.other = a.other - b.other;
    c.list = a.list - b.list;
    return c;
}

void SetFileCallLatency(std::chrono::microseconds latency) {
    g_latencyUs.store(latency.count(), std::memory_order_relaxed);
}

bool TakeFault(FaultOp op, int& code) {
    FaultSlot& f = g_faults[static_cast<int>(op)];
    if (f.remaining <= 0) return false;
    if (--f.remaining == 0) {
        if (f.code == kFaultKill) ::kill(::getpid(), SIGKILL);
        code = f.code;
        return true;
    }
    return false;
}

bool FaultArmed(FaultOp op) {
    return g_faults[static_cast<int>(op)].remaining > 0;
}

namespace {

// The full disk of InjectDiskFull: whether a write that makes the file end at end finds no room.
bool noRoom(int fd, uint64_t end) {
    if (g_diskFullIn == 0) return false;
    if (g_diskFullIn > 0 && --g_diskFullIn > 0) return false;
    g_diskFullIn = -1;
    countCall(kStat);
    struct stat st {};
    return fstat(fd, &st) != 0 || end > static_cast<uint64_t>(st.st_size);
}

}  // namespace

namespace {

int ofdLock(int fd, short type, off_t start, off_t len) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    fl.l_pid = 0;
    return fcntl(fd, F_OFD_SETLK, &fl);
}

int accessOf(int mode) {
    return mode & 3;
}  // 0 read, 1 write, 2 read/write
int shareOf(int mode) {
    return mode & 0x70;
}

}  // namespace

int WinErrorOfErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case ENOENT:
            return kErrFileNotFound;
        case ENOTDIR:
            return kErrPathNotFound;
        case EMFILE:
        case ENFILE:
            return kErrTooManyFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kErrAccessDenied;
        case EBADF:
            return kErrInvalidHandle;
        case ENOMEM:
            return kErrNotEnoughMemory;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrDiskFull;
        case EAGAIN:
            return kErrLockViolation;
        case EIO:
            return kErrReadFault;
        // What a message names by itself: the name too long, the file there already, the folder not
        // empty, another device, the file busy.
        case ENAMETOOLONG:
            return 206;
        case EEXIST:
            return 80;
        case ENOTEMPTY:
            return 145;
        case EXDEV:
            return 17;
        case EBUSY:
        case ETXTBSY:
            return kErrSharingViolation;
        default:
            return kErrAccessDenied;
    }
}

const char* SystemErrorText(int code) {
    int err = 0;
    switch (code) {
        case kErrFileNotFound:
            err = ENOENT;
            break;
        case kErrPathNotFound:
            err = ENOTDIR;
            break;
        case kErrTooManyFiles:
            err = EMFILE;
            break;
        case kErrAccessDenied:
            err = EACCES;
            break;
        case kErrInvalidHandle:
            err = EBADF;
            break;
        case kErrNotEnoughMemory:
            err = ENOMEM;
            break;
        case kErrLockViolation:
            err = EAGAIN;
            break;
        case kErrDiskFull:
        case 39:  // the disk of a handle is full
            err = ENOSPC;
            break;
        case 80:   // the file exists
        case 183:  // the file or folder exists
            err = EEXIST;
            break;
        case 87:
            err = EINVAL;
            break;  // a parameter is wrong
        case 145:
            err = ENOTEMPTY;
            break;  // the folder is not empty
        case 206:
            err = ENAMETOOLONG;
            break;
        case 17:
            err = EXDEV;
            break;  // another device
        default:
            return nullptr;
    }
    return std::strerror(err);
}

bool IsExclusiveMode(int mode) {
    int s = shareOf(mode);
    return s == 0x00 || s == 0x10;
}

File::~File() {
    close();
}

File::File(File&& o) noexcept
    : m_fd(o.m_fd), m_mode(o.m_mode), m_writable(o.m_writable), m_path(std::move(o.m_path)), m_locks(std::move(o.m_locks)),
      m_sizeFromOpen(o.m_sizeFromOpen), m_openSerial(o.m_openSerial), m_identity(o.m_identity), m_written(o.m_written) {
    o.m_fd = -1;
}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        close();
        m_fd = o.m_fd;
        m_mode = o.m_mode;
        m_writable = o.m_writable;
        m_path = std::move(o.m_path);
        m_locks = std::move(o.m_locks);
        m_sizeFromOpen = o.m_sizeFromOpen;
        m_openSerial = o.m_openSerial;
        m_identity = o.m_identity;
        m_written = o.m_written;
        o.m_fd = -1;
    }
    return *this;
}

int File::open(const std::string& path, int mode) {
    return openImpl(path, mode, false, false);
}
int File::create(const std::string& path, int mode) {
    return openImpl(path, mode, true, true);
}
int File::openAlways(const std::string& path, int mode) {
    return openImpl(path, mode, true, false);
}

namespace {

// The lock types of a handle's two sentinel bytes (F_UNLCK: none) for its access and sharing.
struct SentinelLocks {
    short read;
    short write;
};

SentinelLocks sentinelLocks(bool writes, bool writable, int share) {
    const bool denyRead = share == 0x00 || share == 0x10 || share == 0x30;
    const bool denyWrite = share == 0x00 || share == 0x10 || share == 0x20;
    auto typeFor = [&](bool uses, bool denies) -> short {
        if (denies && writable) return F_WRLCK;
        if (uses || denies) return F_RDLCK;
        return F_UNLCK;
    };
    return {typeFor(true, denyRead), typeFor(writes, denyWrite)};  // every handle may read
}

// Sets both sentinel locks, in one call when they are of one type (the two bytes are neighbours): a
// refusal leaves both as they were, since a lock call takes its whole range or nothing. When the types
// differ, the read byte's is set first and put back to `before` when the write byte's is refused. A
// handle just opened holds nothing to let go of.
int setSentinels(int fd, SentinelLocks want, short before, bool fresh = false) {
    if (fresh && want.write == F_UNLCK) {
        countCall(kLock);
        return ofdLock(fd, want.read, kSentinelRead, 1);
    }
    if (want.read == want.write) {
        countCall(kLock);
        return ofdLock(fd, want.read, kSentinelRead, 2);
    }
    countCall(kLock);
    if (ofdLock(fd, want.read, kSentinelRead, 1) != 0) return -1;
    countCall(kLock);
    if (ofdLock(fd, want.write, kSentinelWrite, 1) == 0) return 0;
    const int err = errno;
    countCall(kLock);
    ofdLock(fd, before, kSentinelRead, 1);
    errno = err;
    return -1;
}

void closeCounted(int fd) {
    countCall(kOther);
    ::close(fd);
}

}  // namespace

int File::openImpl(const std::string& path, int mode, bool create, bool truncate) {
    close();
    const int access = accessOf(mode);
    const int share = shareOf(mode);
    const bool denyRead = share == 0x00 || share == 0x10 || share == 0x30;
    const bool denyWrite = share == 0x00 || share == 0x10 || share == 0x20;
    const bool wantsWrite = access != 0 || create;
    const bool needsWriteLock = denyRead || denyWrite;

    // Reads leave the access time alone: the engine's reads are many and small, and keeping the time
    // costs each of them more work (and a network drive a write). Only a file's owner may ask that; a
    // file of anyone else is opened without.
    auto openFile = [&path](int how) {
#ifdef O_NOATIME
        countCall(kOpen);
        const int fd = ::open(path.c_str(), how | O_NOATIME, 0666);
        if (fd >= 0 || errno != EPERM) return fd;
#endif
        countCall(kOpen);
        return ::open(path.c_str(), how, 0666);
    };
    // Without waiting: a named pipe (or a device) standing at the name would otherwise hold the open until
    // a writer comes, which may be never. It is refused below, as anything but a regular file is, and a
    // regular file keeps the flag: it changes nothing of a regular file's reads, writes and locks, and
    // clearing it would cost every open two calls more. A file this process makes is made where its name
    // says, never through a link in its place (which could make or empty a file anywhere); an existing
    // file is opened as the name leads.
    int flags = O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT | O_NOFOLLOW : 0);
    int fd = -1;
    bool writable = false;
    if (wantsWrite || needsWriteLock) {
        fd = openFile(flags | O_RDWR);
        writable = fd >= 0;
    }
    if (fd < 0 && !wantsWrite && (errno == EACCES || errno == EROFS)) fd = openFile(flags | O_RDONLY);
    if (fd < 0 && !wantsWrite && !needsWriteLock) fd = openFile(flags | O_RDONLY);
    if (fd < 0) return WinErrorOfErrno(errno);

    countCall(kStat);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        closeCounted(fd);
        return kErrAccessDenied;
    }
    const SentinelLocks locks = sentinelLocks(access != 0 || create, writable, share);
    if (setSentinels(fd, locks, F_UNLCK, true) != 0) {
        int err = errno;
        closeCounted(fd);
        return (err == EAGAIN || err == EACCES) ? kErrSharingViolation : WinErrorOfErrno(err);
    }
    if (create) calls::NoteMadeName(path);
    if (truncate) {
        countCall(kOther);
        if (ftruncate(fd, 0) != 0) {
            int err = errno;
            closeCounted(fd);
            return WinErrorOfErrno(err);
        }
    }
    m_fd = fd;
    m_mode = mode;
    m_writable = writable;
    m_path = path;
    m_locks.clear();
    m_sizeFromOpen = truncate ? 0 : static_cast<int64_t>(st.st_size);
    m_openSerial = g_callSerial.load(std::memory_order_relaxed);
    m_written = truncate;
    m_identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return 0;
}

int File::changeShare(int mode) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    const bool writes = accessOf(m_mode) != 0 || m_writable;
    const SentinelLocks now = sentinelLocks(writes, m_writable, shareOf(m_mode));
    const SentinelLocks want = sentinelLocks(writes, m_writable, shareOf(mode));
    // An upgrade from a read to a write lock is refused while another handle holds a read lock, and the
    // read lock stays in place; so a refusal leaves the handle as it was.
    if (setSentinels(m_fd, want, now.read) != 0) return kErrSharingViolation;
    m_mode = (m_mode & ~0x70) | shareOf(mode);
    return 0;
}

void File::close() {
    m_sizeFromOpen = -1;
    m_identity = {};
    m_written = false;
    if (m_fd >= 0) {
        countCall(kOther);
        ::close(m_fd);  // releases every lock of this handle
    }
    m_fd = -1;
    m_locks.clear();
}

int File::readAt(uint64_t offset, void* buf, size_t n, size_t* got) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    int code = 0;
    if (TakeFault(FaultOp::Read, code)) return code;
    if (g_readHookAt > 0 && --g_readHookAt == 0) {
        std::function<void()> hook = std::move(g_readHook);
        g_readHook = nullptr;
        hook();
    }
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
        countCall(kRead);
        ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno == EIO ? kErrReadFault : WinErrorOfErrno(errno);
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    if (got) {
        *got = done;
        return 0;
    }
    return done == n ? 0 : kErrDiskRead;
}

int File::writeAt(uint64_t offset, const void* buf, size_t n) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    m_written = true;
    int code = 0;
    if (TakeFault(FaultOp::Write, code)) return code;
    if (noRoom(m_fd, offset + n)) {
        // A volume with a few sectors left takes the first part of a long write and then refuses: the
        // runtime's short write.
        const size_t part = n > 512 ? n / 2 / 512 * 512 : 0;
        if (part > 0) countCall(kWrite);
        if (part == 0 || ::pwrite(m_fd, buf, part, static_cast<off_t>(offset)) != static_cast<ssize_t>(part))
            return kErrDiskFull;
        return kErrDiskWrite;
    }
    size_t done = 0;
    auto* p = static_cast<const char*>(buf);
    while (done < n) {
        countCall(kWrite);
        ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return kErrDiskWrite;
            return errno == EIO ? kErrWriteFault : WinErrorOfErrno(errno);
        }
        if (r == 0) return kErrDiskWrite;
        done += static_cast<size_t>(r);
    }
    return 0;
}

int File::size(uint64_t& out) const {
    if (m_fd < 0) return kErrInvalidHandle;
    if (m_sizeFromOpen >= 0 && m_openSerial == g_callSerial.load(std::memory_order_relaxed)) {
        out = static_cast<uint64_t>(m_sizeFromOpen);
        m_sizeFromOpen = -1;
        return 0;
    }
    countCall(kStat);
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return WinErrorOfErrno(errno);
    out = static_cast<uint64_t>(st.st_size);
    return 0;
}

int File::truncate(uint64_t length) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    m_written = true;
    int code = 0;
    if (TakeFault(FaultOp::Write, code)) return code;
    if (noRoom(m_fd, length)) return kErrDiskFull;
    countCall(kOther);
    if (ftruncate(m_fd, static_cast<off_t>(length)) != 0) return WinErrorOfErrno(errno);
    return 0;
}

int File::flush() {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    int code = 0;
    if (TakeFault(FaultOp::Flush, code)) return code;
    countCall(kOther);
    if (fdatasync(m_fd) != 0) return errno == EIO ? kErrWriteFault : WinErrorOfErrno(errno);
    m_written = false;
    return 0;
}

bool File::holdsLock(uint64_t offset, uint64_t length) const {
    for (const Region& r : m_locks)
        if (r.offset == offset && r.length == length) return true;
    return false;
}

int File::lock(uint64_t offset, uint64_t length) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    if (length == 0) return 0;
    if (offset >= static_cast<uint64_t>(kSentinelRead) ||
        length > static_cast<uint64_t>(kSentinelRead) - offset)
        return kErrLockViolation;
    for (const Region& r : m_locks)
        if (offset < r.offset + r.length && r.offset < offset + length) return kErrLockViolation;
    // A handle opened for reading only may lock as well: its lock is a shared one, which still keeps
    // every writing handle out of the region.
    countCall(kLock);
    const int rc = ofdLock(m_fd, m_writable ? F_WRLCK : F_RDLCK, static_cast<off_t>(offset),
                           static_cast<off_t>(length));
    if (rc != 0) {
        if (errno == EAGAIN || errno == EACCES) return kErrLockViolation;
        if (errno == EBADF) return kErrAccessDenied;
        return WinErrorOfErrno(errno);
    }
    m_locks.push_back({offset, length});
    return 0;
}

int File::unlock(uint64_t offset, uint64_t length) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    for (size_t i = 0; i < m_locks.size(); ++i) {
        if (m_locks[i].offset == offset && m_locks[i].length == length) {
            countCall(kUnlock);
            ofdLock(m_fd, F_UNLCK, static_cast<off_t>(offset), static_cast<off_t>(length));
            m_locks.erase(m_locks.begin() + static_cast<long>(i));
            return 0;
        }
    }
    return kErrNotLocked;
}

uint32_t File::dosDateTime() const {
    if (m_fd < 0) return 0;
    countCall(kStat);
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return 0;
    return TimeToDosDateTime(static_cast<int64_t>(st.st_mtime));
}

int PeekFile(const std::string& path, size_t piece,
             const std::function<uint64_t(uint64_t at, const uint8_t*, size_t)>& take) {
    countCall(kOpen);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return WinErrorOfErrno(errno);
    std::vector<uint8_t> buf(piece);
    int code = 0;
    for (uint64_t at = 0;;) {
        countCall(kRead);
        const ssize_t r = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(at));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) code = errno == EISDIR ? kErrAccessDenied : WinErrorOfErrno(errno);
        if (r <= 0) break;
        const uint64_t next = take(at, buf.data(), static_cast<size_t>(r));
        if (next == kPeekDone || (static_cast<size_t>(r) < buf.size() && next >= at + static_cast<uint64_t>(r))) break;
        at = next;
    }
    closeCounted(fd);
    return code;
}

void InjectFault(FaultOp op, int nth, int code) {
    g_faults[static_cast<int>(op)] = FaultSlot{nth, code};
}

void InjectDiskFull(int nth) {
    g_diskFullIn = nth;
}

void ClearFaults() {
    for (auto& f : g_faults) f = FaultSlot{};
    g_diskFullIn = 0;
    calls::ResetPublishWays();
    g_readHookAt = 0;
    g_readHook = nullptr;
}

void InjectReadHook(int nth, std::function<void()> hook) {
    g_readHookAt = nth;
    g_readHook = std::move(hook);
}

}  // namespace xb::platform
