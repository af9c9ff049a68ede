#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/file_calls.h"

namespace xb::platform {

namespace {

void splitDirName(const std::string& path, std::string& dir, std::string& name) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        dir.clear();
        name = path;
    } else {
        dir = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

bool isRegular(const std::string& path) {
    return StatPath(path).regular;
}

bool matchFrom(const char* m, const char* n) {
    // Iterative wildcard match with one backtrack point for the last "*".
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*m == '*') {
            star = m++;
            resume = n;
        } else if (*m == '?' ||
                   (*m && std::tolower(static_cast<unsigned char>(*m)) == std::tolower(static_cast<unsigned char>(*n)))) {
            ++m;
            ++n;
        } else if (star) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*m == '*') ++m;
    return *m == '\0';
}

}  // namespace

bool SameNameAnyCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string ResolveCase(const std::string& path) {
    if (path.empty()) return path;
    std::string dir, name;
    splitDirName(path, dir, name);
    if (const ListedLookup l = LookUpListed(dir, name); l.listed) return l.found.empty() ? path : dir + l.found;
    if (isRegular(path)) return path;
    std::vector<std::string> names;
    if (!ListDirectory(dir.empty() ? "." : dir, names)) return path;
    std::string found;
    for (const std::string& n : names) {
        if (SameNameAnyCase(n, name) && isRegular(dir + n)) {
            if (found.empty() || n < found) found = n;  // deterministic when several differ only by case
        }
    }
    return found.empty() ? path : dir + found;
}

bool FileExists(const std::string& path) {
    std::string dir, name;
    splitDirName(path, dir, name);
    if (!name.empty())
        if (const ListedLookup l = LookUpListed(dir, name); l.listed) return l.exact;
    return isRegular(path);
}

bool DirExists(const std::string& path) {
    return StatPath(path).directory;
}

bool MatchMask(const std::string& mask, const std::string& name) {
    if (mask == "*.*") return true;
    // DOS: a mask ending in "." matches names without an extension.
    if (!mask.empty() && mask.back() == '.' && name.find('.') == std::string::npos)
        return matchFrom(mask.substr(0, mask.size() - 1).c_str(), name.c_str());
    return matchFrom(mask.c_str(), name.c_str());
}

std::vector<std::string> ListMatching(const std::string& dir, const std::string& mask) {
    std::vector<std::string> out;
    std::string base = dir.empty() ? "./" : (dir.back() == '/' ? dir : dir + "/");
    std::vector<std::string> names;
    if (!ListDirectory(base, names)) return out;
    for (const std::string& n : names)
        if (MatchMask(mask, n) && FileExists(base + n)) out.push_back(n);
    std::sort(out.begin(), out.end());
    return out;
}

std::string CurrentDir() {
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return "/";
    return buf;
}

std::string AbsolutePath(const std::string& path) {
    std::string full = (!path.empty() && path[0] == '/') ? path : CurrentDir() + "/" + path;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= full.size()) {
        size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        std::string part = full.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) out = "/";
    if (full.size() > 1 && full.back() == '/' && out != "/") out += "/";
    return out;
}

std::string TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string d = (t && *t) ? t : "/tmp";
    if (d.back() != '/') d += '/';
    return d;
}

int UniqueTempFile(const std::string& dir, const std::string& prefix, std::string& out) {
    std::string base = dir.empty() ? "./" : (dir.back() == '/' ? dir : dir + "/");
    if (!DirExists(base)) return kErrPathNotFound;
    static unsigned counter = static_cast<unsigned>(::getpid()) * 2654435761u;
    for (int attempt = 0; attempt < 65535; ++attempt) {
        unsigned n = (++counter) & 0xFFFF;
        if (n == 0) continue;
        char hex[8];
        static const char* digits = "0123456789ABCDEF";
        for (int k = 3; k >= 0; --k) hex[3 - k] = digits[(n >> (k * 4)) & 0xF];
        hex[4] = '\0';
        std::string name = base + prefix + hex + ".tmp";
        calls::Count(calls::kOpen);
        int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            calls::Count(calls::kOther);
            ::close(fd);
            ForgetListedNames();
            out = name;
            return 0;
        }
        if (errno != EEXIST) return WinErrorOfErrno(errno);
    }
    return 80;  // ERROR_FILE_EXISTS: every name is taken
}

int UniqueTempDir(const std::string& dir, const std::string& prefix, std::string& out) {
    std::string base = dir.empty() ? "./" : (dir.back() == '/' ? dir : dir + "/");
    if (!DirExists(base)) return kErrPathNotFound;
    std::string name = base + prefix + "XXXXXX";
    calls::Count(calls::kOther);
    if (::mkdtemp(name.data()) == nullptr) return WinErrorOfErrno(errno);
    ForgetListedNames();
    out = name;
    return 0;
}

int RemoveEmptyDir(const std::string& path) {
    ForgetListedNames();
    calls::Count(calls::kOther);
    if (::rmdir(path.c_str()) == 0 || errno == ENOENT) return 0;
    return WinErrorOfErrno(errno);
}

bool DiskFreeBytes(const std::string& path, uint64_t& out) {
    struct statvfs vfs{};
    calls::Count(calls::kStat);
    if (::statvfs(path.empty() ? "." : path.c_str(), &vfs) != 0) return false;
    out = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return true;
}

}  // namespace xb::platform
