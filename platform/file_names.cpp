// Names in folders: what stands at a name, the listings a NameLookupScope keeps, and the deletes and
// renames that change a folder's entries. Every call of the system is counted (file_calls.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/file.h"
#include "platform/file_calls.h"
#include "platform/paths.h"

namespace xb::platform {

using namespace calls;

namespace {

void countCall(Kind kind) {
    Count(kind);
}

}  // namespace

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
    out.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
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

// One entry as getdents64 gives it.
struct DirEntry64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// The folder's names read straight from the system: its open, one read of the entries per 32 KiB of them
// and the one that finds no more, and its close, each counted (a library's directory stream would make
// calls of its own that no count sees).
bool listDirectory(const std::string& dir, std::vector<std::string>& names, std::vector<signed char>* regular,
                   std::vector<unsigned char>* types = nullptr) {
    names.clear();
    countCall(kList);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    alignas(8) static thread_local char buf[32768];
    bool ok = true;
    for (;;) {
        countCall(kList);
        const long got = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (long at = 0; at < got;) {
            const auto* e = reinterpret_cast<const DirEntry64*>(buf + at);
            at += e->reclen;
            const char* n = e->name;
            if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
            names.emplace_back(n);
            if (regular) {
                // A link is looked at through stat, as a lookup by name would.
                const unsigned char t = e->type;
                regular->push_back(t == DT_REG ? 1 : (t == DT_UNKNOWN || t == DT_LNK) ? -1 : 0);
            }
            if (types) types->push_back(e->type);
        }
    }
    countCall(kList);
    ::close(fd);
    return ok;
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

void calls::NoteMadeName(const std::string& path) {
    if (t_listings.empty()) return;
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string key = listingKey(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    for (Listing& l : t_listings) {
        if (l.dir != key) continue;
        if (std::find(l.names.begin(), l.names.end(), name) != l.names.end()) return;
        // Made by this open as a regular file (it refuses anything else), not through a link.
        l.names.push_back(name);
        l.regular.push_back(1);
        l.types.push_back(DT_REG);
        return;
    }
}

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
    countCall(kOther);
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
    forgetListings();
    // A hard link fails when the target exists, where a rename would replace it.
    if (g_refusedBefore <= PublishWay::Link) {
        g_lastPublishWay = PublishWay::Link;
        countCall(kOther);
        if (::link(from.c_str(), to.c_str()) == 0) {
            countCall(kOther);
            ::unlink(from.c_str());
            return 0;
        }
        if (errno == EEXIST) return 80;
        if (!wayMissing(errno)) return WinErrorOfErrno(errno);
    }
    if (g_refusedBefore <= PublishWay::RenameNoReplace) {
        g_lastPublishWay = PublishWay::RenameNoReplace;
        countCall(kOther);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
        if (errno == EEXIST) return 80;
        if (!wayMissing(errno)) return WinErrorOfErrno(errno);
    }
    // The caller's creation lock keeps every other creator out between the look and the rename.
    g_lastPublishWay = PublishWay::LockedRename;
    countCall(kStat);
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return 80;
    if (errno != ENOENT) return WinErrorOfErrno(errno);
    countCall(kOther);
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : WinErrorOfErrno(errno);
}

PublishWay LastPublishWay() {
    return g_lastPublishWay;
}

void RefusePublishWaysBefore(PublishWay first) {
    g_refusedBefore = first;
}

void calls::ResetPublishWays() {
    g_refusedBefore = PublishWay::Link;
}

int SyncDirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    countCall(kOpen);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return WinErrorOfErrno(errno);
    countCall(kOther);
    int rc = ::fsync(fd) == 0 ? 0 : WinErrorOfErrno(errno);
    countCall(kOther);
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

}  // namespace xb::platform
