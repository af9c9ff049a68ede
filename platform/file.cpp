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

#include <dirent.h>
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

enum CallKind { kRead, kWrite, kLock, kUnlock, kStat, kOpen, kOther, kList, kKinds };
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

// Counts one call of the operating system (and waits the network's time when one is set).
// Every counted call of the process, in turn: tells whether anything was asked of the system between two
// points.
std::atomic<uint64_t> g_callSerial{0};

void countCall(CallKind kind) {
    g_calls[kind].fetch_add(1, std::memory_order_relaxed);
    g_callSerial.fetch_add(1, std::memory_order_relaxed);
    const int64_t us = g_latencyUs.load(std::memory_order_relaxed);
    if (us > 0) waitLatency(us);
}

}  // namespace

FileCallCounts FileCalls() {
    auto v = [](CallKind k) { return g_calls[k].load(std::memory_order_relaxed); };
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
    : m_fd(o.m_fd), m_mode(o.m_mode), m_path(std::move(o.m_path)), m_locks(std::move(o.m_locks)) {
    o.m_fd = -1;
}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        close();
        m_fd = o.m_fd;
        m_mode = o.m_mode;
        m_path = std::move(o.m_path);
        m_locks = std::move(o.m_locks);
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

int File::openImpl(const std::string& path, int mode, bool create, bool truncate) {
    close();
    countCall(kOpen);
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
        const int fd = ::open(path.c_str(), how | O_NOATIME, 0666);
        if (fd >= 0 || errno != EPERM) return fd;
#endif
        return ::open(path.c_str(), how, 0666);
    };
    // Without waiting: a named pipe (or a device) standing at the name would otherwise hold the open until
    // a writer comes, which may be never. It is refused below, as anything but a regular file is. A file
    // this process makes is made where its name says, never through a link in its place (which could make
    // or empty a file anywhere); an existing file is opened as the name leads.
    int flags = O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT | O_NOFOLLOW : 0);
    int fd = -1;
    if (wantsWrite || needsWriteLock) fd = openFile(flags | O_RDWR);
    if (fd < 0 && !wantsWrite && (errno == EACCES || errno == EROFS)) fd = openFile(flags | O_RDONLY);
    if (fd < 0 && !wantsWrite && !needsWriteLock) fd = openFile(flags | O_RDONLY);
    if (fd < 0) return WinErrorOfErrno(errno);

    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kErrAccessDenied;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const bool writable = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;

    auto take = [&](off_t byte, bool uses, bool denies) -> bool {
        if (!uses && !denies) return true;
        short type = (denies && writable) ? F_WRLCK : F_RDLCK;
        return ofdLock(fd, type, byte, 1) == 0;
    };
    const bool readsOrWrites = true;  // every handle may read
    if (!take(kSentinelRead, readsOrWrites, denyRead) ||
        !take(kSentinelWrite, access != 0 || create, denyWrite)) {
        int err = errno;
        ::close(fd);
        return (err == EAGAIN || err == EACCES) ? kErrSharingViolation : WinErrorOfErrno(err);
    }
    if (create) ForgetListedNames();
    if (truncate && ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return WinErrorOfErrno(err);
    }
    m_fd = fd;
    m_mode = mode;
    m_path = path;
    m_locks.clear();
    m_sizeFromOpen = truncate ? 0 : static_cast<int64_t>(st.st_size);
    m_openSerial = g_callSerial.load(std::memory_order_relaxed);
    return 0;
}

int File::changeShare(int mode) {
    if (m_fd < 0) return kErrInvalidHandle;
    m_sizeFromOpen = -1;
    countCall(kLock);
    const int share = shareOf(mode);
    const bool denyRead = share == 0x00 || share == 0x10 || share == 0x30;
    const bool denyWrite = share == 0x00 || share == 0x10 || share == 0x20;
    const bool writable = (fcntl(m_fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    const bool writes = accessOf(m_mode) != 0 || writable;
    auto typeFor = [&](bool uses, bool denies) -> short {
        if (denies && writable) return F_WRLCK;
        if (uses || denies) return F_RDLCK;
        return F_UNLCK;
    };
    const short newRead = typeFor(true, denyRead);
    const short newWrite = typeFor(writes, denyWrite);
    const int oldShare = shareOf(m_mode);
    const bool oldDenyRead = oldShare == 0x00 || oldShare == 0x10 || oldShare == 0x30;
    const bool oldDenyWrite = oldShare == 0x00 || oldShare == 0x10 || oldShare == 0x20;
    const short oldRead = typeFor(true, oldDenyRead);
    const short oldWrite = typeFor(writes, oldDenyWrite);
    // An upgrade from a read to a write lock is refused while another handle holds a read lock, and the
    // read lock stays in place; so a refusal leaves the handle as it was.
    if (ofdLock(m_fd, newRead, kSentinelRead, 1) != 0) return kErrSharingViolation;
    if (ofdLock(m_fd, newWrite, kSentinelWrite, 1) != 0) {
        ofdLock(m_fd, oldRead, kSentinelRead, 1);
        return kErrSharingViolation;
    }
    (void)oldWrite;
    m_mode = (m_mode & ~0x70) | share;
    return 0;
}

void File::close() {
    m_sizeFromOpen = -1;
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
    countCall(kRead);
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
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
    int code = 0;
    if (TakeFault(FaultOp::Write, code)) return code;
    if (noRoom(m_fd, offset + n)) {
        // A volume with a few sectors left takes the first part of a long write and then refuses: the
        // runtime's short write.
        const size_t part = n > 512 ? n / 2 / 512 * 512 : 0;
        if (part == 0 || ::pwrite(m_fd, buf, part, static_cast<off_t>(offset)) != static_cast<ssize_t>(part))
            return kErrDiskFull;
        return kErrDiskWrite;
    }
    countCall(kWrite);
    size_t done = 0;
    auto* p = static_cast<const char*>(buf);
    while (done < n) {
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
    countCall(kLock);
    int rc = ofdLock(m_fd, F_WRLCK, static_cast<off_t>(offset), static_cast<off_t>(length));
    // A handle opened for reading only may lock as well: its lock is a shared one, which still keeps
    // every writing handle out of the region.
    if (rc != 0 && errno == EBADF)
        rc = ofdLock(m_fd, F_RDLCK, static_cast<off_t>(offset), static_cast<off_t>(length));
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

PathStatus StatPath(const std::string& path) {
    countCall(kStat);
    PathStatus out;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return out;
    out.exists = true;
    out.regular = S_ISREG(st.st_mode);
    out.directory = S_ISDIR(st.st_mode);
    out.size = static_cast<uint64_t>(st.st_size);
    out.modified = static_cast<int64_t>(st.st_mtime);
    out.permissions = static_cast<uint32_t>(st.st_mode & 07777);
    return out;
}

namespace {

// The listings of a NameLookupScope: each entry's name and whether it is a regular file (1), not one (0)
// or not known from the listing (-1: stat'ed when asked about), and its type as the listing gave it.
struct Listing {
    std::string dir;
    std::vector<std::string> names;
    std::vector<signed char> regular;
    std::vector<unsigned char> types;
};
thread_local int t_scopeDepth = 0;
thread_local std::vector<Listing> t_listings;

std::string listingKey(const std::string& dir) {
    if (dir.empty()) return ".";
    std::string key = dir;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

bool listDirectory(const std::string& dir, std::vector<std::string>& names, std::vector<signed char>* regular,
                   std::vector<unsigned char>* types = nullptr) {
    countCall(kList);
    names.clear();
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
        names.emplace_back(n);
        if (regular) {
            // A link is looked at through stat, as a lookup by name would.
            const unsigned char t = e->d_type;
            regular->push_back(t == DT_REG ? 1 : (t == DT_UNKNOWN || t == DT_LNK) ? -1 : 0);
        }
        if (types) types->push_back(e->d_type);
    }
    ::closedir(d);
    return true;
}

// The scope's listing of dir, made now when there is none; nullptr outside a scope or when the directory
// cannot be read.
Listing* scopedListing(const std::string& dir) {
    if (t_scopeDepth == 0) return nullptr;
    const std::string key = listingKey(dir);
    for (Listing& l : t_listings)
        if (l.dir == key) return &l;
    Listing l;
    l.dir = key;
    if (!listDirectory(key, l.names, &l.regular, &l.types)) return nullptr;
    t_listings.push_back(std::move(l));
    return &t_listings.back();
}

// A change of a directory's entries made through this layer: the listings no longer hold.
void forgetListings() { t_listings.clear(); }

}  // namespace

void ForgetListedNames() { forgetListings(); }

NameLookupScope::NameLookupScope() { ++t_scopeDepth; }

NameLookupScope::~NameLookupScope() {
    if (--t_scopeDepth == 0) forgetListings();
}

ListedLookup LookUpListed(const std::string& dir, const std::string& name) {
    ListedLookup out;
    Listing* l = scopedListing(dir);
    if (!l) return out;
    out.listed = true;
    const std::string base = l->dir == "/" ? "/" : l->dir + "/";
    auto isRegular = [&](size_t i) {
        if (l->regular[i] < 0) l->regular[i] = StatPath(base + l->names[i]).regular ? 1 : 0;
        return l->regular[i] == 1;
    };
    for (size_t i = 0; i < l->names.size(); ++i) {
        if (l->names[i] == name && isRegular(i)) {
            out.exact = true;
            out.found = name;
            return out;
        }
    }
    for (size_t i = 0; i < l->names.size(); ++i)
        if (SameNameAnyCase(l->names[i], name) && isRegular(i) && (out.found.empty() || l->names[i] < out.found))
            out.found = l->names[i];
    return out;
}

namespace {

EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::Regular;
    if (S_ISDIR(mode)) return EntryKind::Directory;
    if (S_ISLNK(mode)) return EntryKind::Link;
    if (S_ISFIFO(mode)) return EntryKind::Pipe;
    return EntryKind::Special;
}

}  // namespace

EntryKind EntryKindAt(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (Listing* l = name.empty() ? nullptr : scopedListing(dir)) {
        size_t i = 0;
        while (i < l->names.size() && l->names[i] != name) ++i;
        if (i == l->names.size()) return EntryKind::Missing;
        switch (l->types[i]) {
            case DT_REG:
                return EntryKind::Regular;
            case DT_DIR:
                return EntryKind::Directory;
            case DT_LNK:
                return EntryKind::Link;
            case DT_FIFO:
                return EntryKind::Pipe;
            case DT_UNKNOWN:
                break;  // the file system does not say: asked below
            default:
                return EntryKind::Special;
        }
    }
    countCall(kStat);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return EntryKind::Missing;
    return kindOfMode(st.st_mode);
}

EntryKind EntryKindBehind(const std::string& path) {
    const EntryKind here = EntryKindAt(path);
    if (here != EntryKind::Link) return here;
    countCall(kStat);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return EntryKind::Link;
    return kindOfMode(st.st_mode);
}

bool ListDirectory(const std::string& dir, std::vector<std::string>& names) {
    if (const Listing* l = scopedListing(dir)) {
        names = l->names;
        return true;
    }
    return listDirectory(dir, names, nullptr);
}

int DeleteFileChecked(const std::string& path) {
    File probe;
    int rc = probe.open(path, kModeExclusive);
    if (rc == kErrAccessDenied) {
        // No write permission on the file itself: probe for readers only, as far as we can.
        rc = probe.open(path, kModeExclusiveRead);
    }
    if (rc != 0) return rc;
    // Unlink while the probe still excludes every other opener, so no one slips in between.
    countCall(kOther);
    forgetListings();
    if (::unlink(path.c_str()) != 0) return WinErrorOfErrno(errno);
    return 0;
}

int RenameFileChecked(const std::string& from, const std::string& to) {
    File probe;
    int rc = probe.open(from, kModeExclusive);
    if (rc != 0) return rc;
    File target;
    if (StatPath(to).exists) {
        rc = target.open(to, kModeExclusive);
        if (rc != 0) return rc;
    }
    forgetListings();
    if (::rename(from.c_str(), to.c_str()) != 0) return WinErrorOfErrno(errno);
    return 0;
}

int RenameFile(const std::string& from, const std::string& to) {
    int code = 0;
    if (TakeFault(FaultOp::Rename, code)) return code;
    countCall(kOther);
    forgetListings();
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : WinErrorOfErrno(errno);
}

namespace {

PublishWay g_refusedBefore = PublishWay::Link;
PublishWay g_lastPublishWay = PublishWay::Link;

// The errors of a file system that does not have a way at all (rather than refusing this one call).
bool wayMissing(int err) {
    return err == EPERM || err == EOPNOTSUPP || err == ENOTSUP || err == ENOSYS || err == EINVAL ||
           err == EXDEV;
}

}  // namespace

int RenameFileNoReplace(const std::string& from, const std::string& to) {
    countCall(kOther);
    forgetListings();
    // A hard link fails when the target exists, where a rename would replace it.
    if (g_refusedBefore <= PublishWay::Link) {
        g_lastPublishWay = PublishWay::Link;
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return 0;
        }
        if (errno == EEXIST) return 80;
        if (!wayMissing(errno)) return WinErrorOfErrno(errno);
    }
    if (g_refusedBefore <= PublishWay::RenameNoReplace) {
        g_lastPublishWay = PublishWay::RenameNoReplace;
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
        if (errno == EEXIST) return 80;
        if (!wayMissing(errno)) return WinErrorOfErrno(errno);
    }
    // The caller's creation lock keeps every other creator out between the look and the rename.
    g_lastPublishWay = PublishWay::LockedRename;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return 80;
    if (errno != ENOENT) return WinErrorOfErrno(errno);
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : WinErrorOfErrno(errno);
}

namespace {

// What stands at path, for a refusal's text: "a symbolic link", "a directory", ...
std::string kindAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISDIR(st.st_mode)) return "a directory";
    if (S_ISFIFO(st.st_mode)) return "a named pipe";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    return "a file";
}

}  // namespace

CreationLock::CreationLock(const std::string& target) {
    const size_t slash = target.find_last_of('/');
    const size_t at = slash == std::string::npos ? 0 : slash + 1;
    m_path = target.substr(0, at) + "." + target.substr(at) + ".lock";
    countCall(kLock);
    // The lock file is made here, beside the target, and nowhere else: a link in its place is never
    // followed (it could make or change a file anywhere) and anything but a plain file is refused. A lock
    // file its holder removed while this creator waited is left for a new one: the lock counts only on
    // the file that bears the name.
    auto refuse = [this](int code, const std::string& why) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_result = code;
        m_refusal = m_path + " " + why;
    };
    for (int tries = 0; tries < 1000; ++tries) {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (m_fd < 0 && errno == EEXIST)
            m_fd = ::open(m_path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            const int err = errno;
            if (err == ENOENT) continue;  // its holder removed it between the two opens
            const std::string kind = kindAt(m_path);
            if (err == ELOOP || (kind != "a file" && kind != "missing")) {
                refuse(kErrAccessDenied, "is " + kind + ", not a lock file: remove it");
                return;
            }
            {
                refuse(WinErrorOfErrno(err), "cannot be opened: " + std::string(std::strerror(err)));
                return;
            }
        }
        struct stat held {};
        if (fstat(m_fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            refuse(kErrAccessDenied, "is " + kindAt(m_path) + ", not a lock file: remove it");
            return;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_len = 1;
        int rc;
        while ((rc = fcntl(m_fd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
        }
        struct stat named {};
        if (rc == 0 && fstat(m_fd, &held) == 0 && ::lstat(m_path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return;
        const int err = rc != 0 ? errno : 0;
        ::close(m_fd);
        m_fd = -1;
        if (err != 0) {
            refuse(WinErrorOfErrno(err), "cannot be locked: " + std::string(std::strerror(err)));
            return;
        }
    }
    refuse(kErrLockViolation, "is made and removed again and again by others");
}

CreationLock::~CreationLock() {
    if (m_fd < 0) return;
    ::unlink(m_path.c_str());
    ::close(m_fd);
}

PublishWay LastPublishWay() {
    return g_lastPublishWay;
}

void RefusePublishWaysBefore(PublishWay first) {
    g_refusedBefore = first;
}

int SyncDirectoryOf(const std::string& path) {
    countCall(kOther);
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return WinErrorOfErrno(errno);
    int rc = ::fsync(fd) == 0 ? 0 : WinErrorOfErrno(errno);
    ::close(fd);
    return rc;
}

int CopyFileMode(const std::string& from, const std::string& to) {
    const PathStatus st = StatPath(from);
    if (!st.exists) return kErrFileNotFound;
    countCall(kOther);
    return ::chmod(to.c_str(), st.permissions) == 0 ? 0 : WinErrorOfErrno(errno);
}

int RemoveFileIfExists(const std::string& path) {
    countCall(kOther);
    forgetListings();
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
    return WinErrorOfErrno(errno);
}

namespace {

std::string creationLockName(const std::string& target) {
    const size_t slash = target.find_last_of('/');
    const size_t at = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, at) + "." + target.substr(at) + ".lock";
}

// Opens the lock file of a creation lock without following a link, without waiting on a pipe and without
// keeping anything but a regular file; -1 with code set otherwise (2 when it is missing and not created).
int openLockFile(const std::string& path, bool create, int& code) {
    countCall(kOpen);
    // Looking needs no write access: a lock file another user made is looked at all the same.
    const int how = create ? O_RDWR | O_CREAT : O_RDONLY;
    const int fd = ::open(path.c_str(), how | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        code = errno == ELOOP ? kErrAccessDenied : WinErrorOfErrno(errno);
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        code = kErrAccessDenied;
        return -1;
    }
    code = 0;
    return fd;
}

}  // namespace

CreationLockState ProbeCreationLock(const std::string& target) {
    const std::string path = creationLockName(target);
    const EntryKind kind = EntryKindAt(path);
    if (kind == EntryKind::Missing) return CreationLockState::Free;
    if (kind != EntryKind::Regular) return CreationLockState::InTheWay;
    int code = 0;
    const int fd = openLockFile(path, false, code);
    if (fd < 0) return code == kErrFileNotFound ? CreationLockState::Free : CreationLockState::InTheWay;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    countCall(kLock);
    const bool held = fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return held ? CreationLockState::Held : CreationLockState::Free;
}

CreationLockIfFree::CreationLockIfFree(const std::string& target) : m_path(creationLockName(target)) {
    m_fd = openLockFile(m_path, true, m_result);
    if (m_fd < 0) return;
    ForgetListedNames();
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    countCall(kLock);
    const bool taken = fcntl(m_fd, F_OFD_SETLK, &fl) == 0;
    // Taken on a file its holder removed meanwhile, the lock keeps nobody out: the name is free again.
    struct stat held {
    }, named{};
    if (taken && fstat(m_fd, &held) == 0 && ::lstat(m_path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev)
        return;
    ::close(m_fd);
    m_fd = -1;
    m_result = kErrLockViolation;
}

CreationLockIfFree::~CreationLockIfFree() {
    if (m_fd < 0) return;
    ::unlink(m_path.c_str());
    ::close(m_fd);
    ForgetListedNames();
}

namespace {

std::atomic<bool> g_stopRequested{false};
std::atomic<int> g_stopScopes{0};

}  // namespace

void RequestStop() {
    g_stopRequested.store(true, std::memory_order_relaxed);
}

bool StopRequested() {
    return g_stopScopes.load(std::memory_order_relaxed) > 0 &&
           g_stopRequested.load(std::memory_order_relaxed);
}

StopRequestScope::StopRequestScope() {
    g_stopScopes.fetch_add(1, std::memory_order_relaxed);
}

StopRequestScope::~StopRequestScope() {
    g_stopScopes.fetch_sub(1, std::memory_order_relaxed);
}

void ForgetStopRequest() {
    g_stopRequested.store(false, std::memory_order_relaxed);
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
    g_refusedBefore = PublishWay::Link;
    g_readHookAt = 0;
    g_readHook = nullptr;
}

void InjectReadHook(int nth, std::function<void()> hook) {
    g_readHookAt = nth;
    g_readHook = std::move(hook);
}

}  // namespace xb::platform
