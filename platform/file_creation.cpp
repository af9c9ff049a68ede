// The creators' locks (one creator of a file at a time, across stations) and the start's stop request.
// Every call of the system on a lock file is counted (file_calls.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/file_calls.h"

namespace xb::platform {

using namespace calls;

namespace {

int countedOpen(const char* path, int flags, mode_t mode = 0) {
    Count(kOpen);
    return ::open(path, flags, mode);
}
int countedClose(int fd) {
    Count(kOther);
    return ::close(fd);
}
int countedFstat(int fd, struct stat* st) {
    Count(kStat);
    return ::fstat(fd, st);
}
int countedLstat(const char* path, struct stat* st) {
    Count(kStat);
    return ::lstat(path, st);
}
int countedUnlink(const char* path) {
    Count(kOther);
    return ::unlink(path);
}
int countedFcntl(int fd, int cmd, struct flock* fl) {
    Count(kLock);
    return ::fcntl(fd, cmd, fl);
}

}  // namespace

namespace {

// What stands at path, for a refusal's text: "a symbolic link", "a directory", ...
std::string kindAt(const std::string& path) {
    struct stat st {};
    if (countedLstat(path.c_str(), &st) != 0) return "missing";
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
    // The lock file is made here, beside the target, and nowhere else: a link in its place is never
    // followed (it could make or change a file anywhere) and anything but a plain file is refused. A lock
    // file its holder removed while this creator waited is left for a new one: the lock counts only on
    // the file that bears the name.
    auto refuse = [this](int code, const std::string& why) {
        if (m_fd >= 0) countedClose(m_fd);
        m_fd = -1;
        m_result = code;
        m_refusal = m_path + " " + why;
    };
    for (int tries = 0; tries < 1000; ++tries) {
        m_fd = countedOpen(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (m_fd < 0 && errno == EEXIST)
            m_fd = countedOpen(m_path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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
        if (countedFstat(m_fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            refuse(kErrAccessDenied, "is " + kindAt(m_path) + ", not a lock file: remove it");
            return;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_len = 1;
        int rc;
        while ((rc = countedFcntl(m_fd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
        }
        struct stat named {};
        if (rc == 0 && countedFstat(m_fd, &held) == 0 && countedLstat(m_path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return;
        const int err = rc != 0 ? errno : 0;
        countedClose(m_fd);
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
    countedUnlink(m_path.c_str());
    countedClose(m_fd);
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
    // Looking needs no write access: a lock file another user made is looked at all the same.
    const int how = create ? O_RDWR | O_CREAT : O_RDONLY;
    const int fd = countedOpen(path.c_str(), how | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        code = errno == ELOOP ? kErrAccessDenied : WinErrorOfErrno(errno);
        return -1;
    }
    struct stat st {};
    if (countedFstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        countedClose(fd);
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
    const bool held = countedFcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    countedClose(fd);
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
    const bool taken = countedFcntl(m_fd, F_OFD_SETLK, &fl) == 0;
    // Taken on a file its holder removed meanwhile, the lock keeps nobody out: the name is free again.
    struct stat held {
    }, named{};
    if (taken && countedFstat(m_fd, &held) == 0 && countedLstat(m_path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev)
        return;
    countedClose(m_fd);
    m_fd = -1;
    m_result = kErrLockViolation;
}

CreationLockIfFree::~CreationLockIfFree() {
    if (m_fd < 0) return;
    countedUnlink(m_path.c_str());
    countedClose(m_fd);
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

}  // namespace xb::platform
