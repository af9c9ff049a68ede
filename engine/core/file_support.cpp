#include "engine/core/file_support.h"

#include <cctype>

#include "engine/core/errors.h"
#include "engine/core/text_support.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

// The search-result word shared by the directory search and FileDateOf. It is only ever read right after
// the call that set it, on the engine's one thread.
int g_searchResult = 0;

constexpr long kDiskFreeUnknown = 2147483647L;

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Moves rec to the next pending entry that still exists; false when none is left.
bool fillNext(SearchRecS& rec) {
    while (rec.next < rec.pending.size()) {
        const std::string& name = rec.pending[rec.next++];
        const platform::PathStatus st = platform::StatPath(rec.dir + name);
        if (!st.regular) continue;  // gone since the directory was read
        rec.name = name;
        rec.size = st.size;
        rec.attr = kFileAttrArchive;
        return true;
    }
    rec.name.clear();
    rec.size = 0;
    rec.attr = 0;
    return false;
}

}  // namespace

// ---- names ----

void FSplit(const std::string& path, std::string& dir, std::string& name, std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    dir = path.substr(0, nameStart);
    const std::string file = path.substr(nameStart);
    const size_t dot = file.find_last_of('.');
    if (dot == std::string::npos) {
        name = file;
        ext.clear();
    } else {
        name = file.substr(0, dot);
        ext = file.substr(dot);
    }
    if (!dir.empty() && dir.back() != '/') dir += '/';
}

std::string DefaultExt(const std::string& name, const std::string& ext) {
    std::string dir, base, oldExt;
    FSplit(name, dir, base, oldExt);
    if (!oldExt.empty()) return name;
    return dir + TrimRightStr(base) + "." + ext;
}

std::string ForceExt(const std::string& name, const std::string& ext) {
    std::string dir, base, oldExt;
    FSplit(name, dir, base, oldExt);
    return ext.empty() ? dir + base : dir + base + "." + ext;
}

std::string StripExt(const std::string& name) { return ForceExt(name, ""); }

std::string FullPathOf(const std::string& name) { return platform::AbsolutePath(name); }

std::string TableFileName(const std::string& given) {
    return platform::ResolveCase(DefaultExt(platform::AbsolutePath(given), kTableExt));
}

std::string ExtInCaseOf(const std::string& tablePath, const std::string& ext) {
    std::string dir, base, tableExt;
    FSplit(tablePath, dir, base, tableExt);
    std::string out = ext;
    char last = 0;  // the case of the table extension's last letter goes on past its end
    for (size_t i = 0; i < out.size(); ++i) {
        const char t = i + 1 < tableExt.size() ? tableExt[i + 1] : last;
        if (std::isalpha(static_cast<unsigned char>(t))) last = t;
        const bool upper = std::isupper(static_cast<unsigned char>(t)) != 0;
        const unsigned char c = static_cast<unsigned char>(out[i]);
        out[i] = static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    }
    return out;
}

std::string DerivedFileName(const std::string& tablePath, const std::string& ext) {
    return platform::ResolveCase(ForceExt(tablePath, ExtInCaseOf(tablePath, ext)));
}

std::string MemoFileNameOf(const std::string& tablePath, uint8_t version) {
    return DerivedFileName(tablePath, version == 0xF5 ? kFoxMemoExt : kMemoExt);
}

std::string IndexFileNameOf(const std::string& tablePath) {
    return DerivedFileName(tablePath, kIndexExt);
}

std::string SemaphoreFileNameOf(const std::string& tablePath) {
    return platform::ResolveCase(ForceExt(tablePath, kSemaphoreExt));
}

std::string GivenIndexFileName(const std::string& tablePath, const std::string& given) {
    const std::string name = AllTrim(given);
    if (name.empty()) return IndexFileNameOf(tablePath);
    return platform::ResolveCase(DefaultExt(name, kIndexExt));
}

// ---- files ----

bool FileExistsS(const std::string& name) {
    return !name.empty() && platform::FileExists(platform::ResolveCase(name));
}

uint32_t FileDateOf(const platform::File& file) {
    if (!file.isOpen()) {
        g_searchResult = platform::kErrInvalidHandle;
        return 0;
    }
    g_searchResult = 0;
    return file.dosDateTime();
}

bool FileIsFromToday(const std::string& name) {
    if (name.empty()) return false;
    platform::File f;
    // Deny none: only a handle that refuses readers keeps us out.
    if (f.open(platform::ResolveCase(name), platform::kModeSharedRead) != 0) return false;
    const uint32_t stamp = f.dosDateTime();
    if (stamp == 0) return false;
    const platform::CivilDate day = platform::DosDateOf(stamp);
    const platform::CivilDate today = platform::Today();
    return day.year == today.year && day.month == today.month && day.day == today.day;
}

int EraseFile(const std::string& name) {
    if (name.empty()) return platform::kErrFileNotFound;
    // Probes with an exclusive open and unlinks while holding it: Linux would happily unlink a file that
    // another station has open, so the probe is what keeps a table in use from vanishing under it.
    return platform::DeleteFileChecked(platform::ResolveCase(name));
}

void EraseFiles(const std::string& mask) {
    SetIoResult(0);
    if (!hasWildcard(mask)) {
        const int rc = EraseFile(mask);
        if (rc != 0) SetEngineError(static_cast<uint16_t>(rc), "Error erasing " + mask + " [EraseFiles]");
        return;
    }
    std::string dir, name, ext;
    FSplit(FullPathOf(mask), dir, name, ext);
    int failed = 0;
    for (const std::string& entry : platform::ListMatching(dir, name + ext))
        if (EraseFile(dir + entry) != 0) ++failed;
    if (failed != 0)
        SetEngineError(5, "Could not erase " + std::to_string(failed) + " files like " + mask + " [EraseFiles]");
}

long DiskFreeOf(const std::string& path) {
    std::string dir = AllTrim(path);
    if (dir.empty()) dir = platform::CurrentDir();
    if (dir.back() != '/') dir += '/';
    // A directory that does not exist (yet) lives on the file system of its nearest existing parent.
    uint64_t bytes = 0;
    for (;;) {
        if (platform::DiskFreeBytes(dir, bytes)) break;
        if (dir.size() <= 1) return kDiskFreeUnknown;
        const size_t slash = dir.find_last_of('/', dir.size() - 2);
        if (slash == std::string::npos) {
            if (!platform::DiskFreeBytes("./", bytes)) return kDiskFreeUnknown;
            break;
        }
        dir.resize(slash + 1);
    }
    const uint64_t kb = bytes / 1024;
    return kb > static_cast<uint64_t>(kDiskFreeUnknown) ? kDiskFreeUnknown : static_cast<long>(kb);
}

long DiskFree(int drive) {
    if (drive != 0) return kDiskFreeUnknown;  // no lettered drives here: the query fails as for a missing drive
    return DiskFreeOf("");
}

std::string UniqueFilename() {
    std::string name;
    const int rc = platform::UniqueTempFile(platform::TempDir(), "XBP", name);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error requesting unique file name [UniqueFilename]");
        return {};
    }
    return name;
}

// ---- directory search ----

int FindFirstS(const std::string& mask, int /*attr*/, SearchRecS& rec) {
    rec = SearchRecS{};
    std::string dir, name, ext;
    FSplit(mask, dir, name, ext);
    if (!platform::DirExists(dir.empty() ? "." : dir)) {
        g_searchResult = platform::kErrPathNotFound;
        return g_searchResult;
    }
    rec.dir = dir.empty() ? "./" : dir;
    rec.pending = platform::ListMatching(rec.dir, name + ext);
    g_searchResult = fillNext(rec) ? 0 : platform::kErrFileNotFound;
    return g_searchResult;
}

int FindNextS(SearchRecS& rec) {
    g_searchResult = fillNext(rec) ? 0 : kSearchNoMoreFiles;
    return g_searchResult;
}

void FindCloseS(SearchRecS& rec) {
    rec = SearchRecS{};
    g_searchResult = 0;
}

int SearchResult() { return g_searchResult; }

// ---- timing ----

uint64_t TickCount() { return platform::TickCountMs(); }
uint64_t TickSeconds() { return platform::TickCountMs() / 1000; }

}  // namespace xb
