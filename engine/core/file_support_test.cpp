#include "engine/core/file_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using platform::File;
using xbtest::ChildProcess;

class FileSupport : public xbtest::EngineTest {
protected:
    std::string make(const std::string& name, const std::string& bytes = "data") {
        std::string p = tmp.file(name);
        xbtest::WriteFileBytes(p, bytes);
        return p;
    }
};

// Sets a file's modification time to noon (local time) of the given day.
void setFileDay(const std::string& path, int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name) {
        const char* v = std::getenv(name);
        m_had = v != nullptr;
        if (v) m_value = v;
    }
    ~EnvGuard() {
        if (m_had)
            setenv(m_name.c_str(), m_value.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_value;
    bool m_had = false;
};

// ---- names ----

TEST_F(FileSupport, FSplit) {
    struct Case {
        const char* path;
        const char* dir;
        const char* name;
        const char* ext;
    };
    const Case cases[] = {
        {"/data/league/clubs.dbf", "/data/league/", "clubs", ".dbf"},
        {"clubs.dbf", "", "clubs", ".dbf"},  // a bare name stays relative
        {"/data/v1.2/clubs", "/data/v1.2/", "clubs", ""},
        {"archive.tar.gz", "", "archive.tar", ".gz"},
        {"name.", "", "name", "."},
        {"data/", "data/", "", ""},
        {"/", "/", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        std::string dir = "x", name = "x", ext = "x";
        FSplit(c.path, dir, name, ext);
        EXPECT_EQ(dir, c.dir) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(ext, c.ext) << c.path;
    }
    // Long names are kept whole: a cut name would be another file.
    const std::string longName(100, 'n');
    std::string dir, name, ext;
    FSplit("d/" + longName + "." + std::string(70, 'e'), dir, name, ext);
    EXPECT_EQ(name, longName);
    EXPECT_EQ(ext.size(), 71u);
}

TEST_F(FileSupport, Extensions) {
    struct Case {
        const char* in;
        const char* ext;
        const char* withDefault;
        const char* forced;
    };
    const Case cases[] = {
        {"clubs", "DBF", "clubs.DBF", "clubs.DBF"},
        {"clubs.dbf", "mdx", "clubs.dbf", "clubs.mdx"},
        {"data/clubs  ", "dbf", "data/clubs.dbf", "data/clubs  .dbf"},
        {"v1.2/clubs", "dbf", "v1.2/clubs.dbf", "v1.2/clubs.dbf"},
        {"/a/b.c.d", "dbt", "/a/b.c.d", "/a/b.c.dbt"},
        {"b.dbf", "", "b.dbf", "b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultExt(c.in, c.ext), c.withDefault) << c.in;
        EXPECT_EQ(ForceExt(c.in, c.ext), c.forced) << c.in;
    }
    EXPECT_EQ(StripExt("a/b.c.d"), "a/b.c");
    EXPECT_EQ(StripExt("x"), "x");
    EXPECT_EQ(StripExt("v1.2/x"), "v1.2/x");
}

TEST_F(FileSupport, FullPathOf) {
    EXPECT_EQ(FullPathOf("/a/./b/../c.dbf"), "/a/c.dbf");
    EXPECT_EQ(FullPathOf("x/../y.dbf"), platform::CurrentDir() + "/y.dbf");
}

// ---- files ----

TEST_F(FileSupport, FileExistsS) {
    const std::string p = make("clubs.dbf");
    EXPECT_TRUE(FileExistsS(p));
    EXPECT_TRUE(FileExistsS(tmp.file("CLUBS.DBF")));  // whatever the case on disk
    EXPECT_FALSE(FileExistsS(tmp.file("other.dbf")));
    EXPECT_FALSE(FileExistsS(tmp.path()));  // a directory is not a file
    EXPECT_FALSE(FileExistsS(""));
}

TEST_F(FileSupport, FileDateOf) {
    const std::string p = make("t.dbf");
    setFileDay(p, 2026, 12, 7);
    File f;
    ASSERT_EQ(f.open(p, platform::kModeSharedRead), 0);
    const uint32_t stamp = FileDateOf(f);
    EXPECT_EQ(stamp >> 16, uint32_t(((2026 - 1980) << 9) | (12 << 5) | 7));
    EXPECT_EQ(stamp & 0xFFFF, uint32_t(12 << 11));
    EXPECT_EQ(SearchResult(), 0);

    File closed;
    EXPECT_EQ(FileDateOf(closed), 0u);
    EXPECT_EQ(SearchResult(), platform::kErrInvalidHandle);
}

TEST_F(FileSupport, FileIsFromTodayComparesTheDay) {
    const std::string p = make("t.dbf");  // the suite's today is 2026-12-07
    setFileDay(p, 2026, 12, 7);
    EXPECT_TRUE(FileIsFromToday(p));
    EXPECT_TRUE(FileIsFromToday(tmp.file("T.DBF")));
    setFileDay(p, 2026, 12, 6);
    EXPECT_FALSE(FileIsFromToday(p));
    setFileDay(p, 2025, 12, 7);
    EXPECT_FALSE(FileIsFromToday(p));
    EXPECT_FALSE(FileIsFromToday(tmp.file("missing.dbf")));
    EXPECT_FALSE(FileIsFromToday(""));
}

// FileIsFromToday opens for shared reading: only a holder that denies readers keeps it out.
struct HolderCase {
    int mode;
    bool readable;
};
const HolderCase kHolders[] = {{0, false}, {16, false}, {18, false}, {64, true}, {66, true}};

TEST_F(FileSupport, FileIsFromTodayBesideAnotherHandle) {
    const std::string p = make("t.dbf");
    setFileDay(p, 2026, 12, 7);
    for (const auto& h : kHolders) {
        File holder;
        ASSERT_EQ(holder.open(p, h.mode), 0) << h.mode;
        EXPECT_EQ(FileIsFromToday(p), h.readable) << "held with mode " << h.mode;
    }
    EXPECT_TRUE(FileIsFromToday(p));
}

TEST_F(FileSupport, FileIsFromTodayBesideAnotherProcess) {
    const std::string p = make("t.dbf");
    setFileDay(p, 2026, 12, 7);
    ChildProcess child;
    for (const auto& h : kHolders) {
        ASSERT_EQ(child.ask("open h " + p + " " + std::to_string(h.mode)), "0") << h.mode;
        EXPECT_EQ(FileIsFromToday(p), h.readable) << "held by another process with mode " << h.mode;
        ASSERT_EQ(child.ask("close h"), "0");
    }
}

TEST_F(FileSupport, EraseFile) {
    const std::string p = make("gone.dbf");
    EXPECT_EQ(EraseFile(p), 0);
    EXPECT_FALSE(platform::FileExists(p));
    EXPECT_EQ(EraseFile(p), platform::kErrFileNotFound);
    EXPECT_EQ(EraseFile(""), platform::kErrFileNotFound);

    const std::string q = make("upper.dbf");
    EXPECT_EQ(EraseFile(tmp.file("UPPER.DBF")), 0);
    EXPECT_FALSE(platform::FileExists(q));
    EXPECT_EQ(LastError(), 0);  // EraseFile returns its code; it reports nothing
}

// Every open handle, whatever its mode, keeps its file from being erased (as on Windows).
const int kAnyModes[] = {0, 16, 18, 64, 66};

TEST_F(FileSupport, EraseFileRefusesAFileOpenInThisProcess) {
    const std::string p = make("held.dbf", "precious");
    for (int mode : kAnyModes) {
        File holder;
        ASSERT_EQ(holder.open(p, mode), 0) << mode;
        EXPECT_EQ(EraseFile(p), platform::kErrSharingViolation) << mode;
        EXPECT_EQ(xbtest::ReadFileBytes(p), "precious") << mode;
    }
    EXPECT_EQ(EraseFile(p), 0);
}

TEST_F(FileSupport, EraseFileRefusesAFileOpenInAnotherProcess) {
    const std::string p = make("held.dbf", "precious");
    ChildProcess child;
    for (int mode : kAnyModes) {
        ASSERT_EQ(child.ask("open h " + p + " " + std::to_string(mode)), "0") << mode;
        EXPECT_EQ(EraseFile(p), platform::kErrSharingViolation) << mode;
        EXPECT_EQ(xbtest::ReadFileBytes(p), "precious") << mode;
        ASSERT_EQ(child.ask("close h"), "0");
    }
    EXPECT_EQ(EraseFile(p), 0);
    // The child's handle is gone with the file: a new open finds nothing.
    EXPECT_EQ(child.ask("open h " + p + " 64"), "2");
}

TEST_F(FileSupport, EraseFilesByMask) {
    make("a.tmp");
    make("B.TMP");
    make("c.tmp");
    make("keep.dbf");
    ASSERT_EQ(mkdir(tmp.file("dir.tmp").c_str(), 0777), 0);  // only regular files match
    SetEngineError(217, "left over");
    EraseFiles(tmp.path() + "/*.tmp");
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*.*"), std::vector<std::string>{"keep.dbf"});
    EXPECT_TRUE(platform::DirExists(tmp.file("dir.tmp")));

    EraseFiles(tmp.path() + "/*.xyz");  // nothing matches: nothing to report
    EXPECT_EQ(LastError(), 0);
    EraseFiles(tmp.path() + "/nodir/*.tmp");
    EXPECT_EQ(LastError(), 0);
}

TEST_F(FileSupport, EraseFilesCountsWhatItCouldNotErase) {
    const std::string held = make("held.tmp", "precious");
    make("free1.tmp");
    make("free2.tmp");
    ChildProcess child;
    ASSERT_EQ(child.ask("open h " + held + " 66"), "0");
    const std::string mask = tmp.path() + "/*.TMP";
    EraseFiles(mask);
    EXPECT_EQ(LastError(), 5);
    EXPECT_EQ(ErrorMsg(), ErrorText(5) + "\r\nCould not erase 1 files like " + mask + " [EraseFiles]");
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*.*"), std::vector<std::string>{"held.tmp"});
    EXPECT_EQ(xbtest::ReadFileBytes(held), "precious");
}

TEST_F(FileSupport, EraseFilesOfOneFileReportsItsCode) {
    const std::string p = make("one.dbf");
    EraseFiles(p);
    EXPECT_EQ(LastError(), 0);
    EXPECT_FALSE(platform::FileExists(p));

    EraseFiles(p);
    EXPECT_EQ(LastError(), platform::kErrFileNotFound);
    EXPECT_EQ(ErrorMsg(), ErrorText(2) + "\r\nError erasing " + p + " [EraseFiles]");

    const std::string q = make("two.dbf");
    File holder;
    ASSERT_EQ(holder.open(q, platform::kModeSharedRead), 0);
    EraseFiles(q);
    EXPECT_EQ(LastError(), platform::kErrSharingViolation);
    EXPECT_TRUE(platform::FileExists(q));
}

TEST_F(FileSupport, DiskFree) {
    const long here = DiskFreeOf(tmp.path());
    EXPECT_GT(here, 0);
    EXPECT_LE(here, 2147483647L);
    EXPECT_GT(DiskFreeOf("  " + tmp.path() + "/  "), 0);
    EXPECT_GT(DiskFreeOf(""), 0);
    EXPECT_GT(DiskFree(0), 0);
    EXPECT_EQ(DiskFree(3), 2147483647L);  // no lettered drives
    // A directory still to be made is measured on the file system it will be made on. Where that has
    // less than 2 TB free, the answer cannot be the "unknown" figure.
    const long planned = DiskFreeOf(tmp.path() + "/not/yet/made");
    EXPECT_GT(planned, 0);
    if (here < 2147483647L) {
        EXPECT_LT(planned, 2147483647L);
    }
}

TEST_F(FileSupport, UniqueFilename) {
    EnvGuard guard("TMPDIR");
    setenv("TMPDIR", tmp.path().c_str(), 1);
    const std::string a = UniqueFilename();
    const std::string b = UniqueFilename();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(platform::TempDir() + "XBP", 0), 0u) << a;
    EXPECT_TRUE(platform::FileExists(a));
    EXPECT_EQ(xbtest::ReadFileBytes(a), "");
    EXPECT_EQ(EraseFile(a), 0);
    EXPECT_EQ(EraseFile(b), 0);

    setenv("TMPDIR", tmp.file("missing").c_str(), 1);
    EXPECT_EQ(UniqueFilename(), "");
    EXPECT_EQ(LastError(), platform::kErrPathNotFound);
    EXPECT_EQ(ErrorMsg(), ErrorText(3) + "\r\nError requesting unique file name [UniqueFilename]");
}

TEST_F(FileSupport, DirectorySearch) {
    make("b.dbf", "12345");
    make("A.DBF", "1");
    make("c.txt");
    ASSERT_EQ(mkdir(tmp.file("d.dbf").c_str(), 0777), 0);
    SearchRecS rec;
    std::vector<std::pair<std::string, uint64_t>> found;
    for (int rc = FindFirstS(tmp.path() + "/*.dbf", kFileAttrArchive, rec); rc == 0; rc = FindNextS(rec)) {
        found.emplace_back(rec.name, rec.size);
        EXPECT_EQ(rec.attr, kFileAttrArchive);
    }
    EXPECT_EQ(SearchResult(), kSearchNoMoreFiles);
    const std::vector<std::pair<std::string, uint64_t>> expected = {{"A.DBF", 1}, {"b.dbf", 5}};
    EXPECT_EQ(found, expected);
    FindCloseS(rec);

    EXPECT_EQ(FindFirstS(tmp.path() + "/*.mdx", kFileAttrArchive, rec), platform::kErrFileNotFound);
    EXPECT_EQ(SearchResult(), platform::kErrFileNotFound);
    EXPECT_EQ(FindFirstS(tmp.path() + "/nodir/*.*", kFileAttrArchive, rec), platform::kErrPathNotFound);
    EXPECT_EQ(SearchResult(), platform::kErrPathNotFound);
    EXPECT_EQ(FindNextS(rec), kSearchNoMoreFiles);
}

TEST_F(FileSupport, TickCountRunsForward) {
    const uint64_t first = TickCount();
    const uint64_t second = TickCount();
    EXPECT_LE(first, second);
    EXPECT_LE(TickSeconds(), TickCount() / 1000);
}

}  // namespace
}  // namespace xb
