#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace xb::platform {
namespace {

using xbtest::ChildProcess;
using xbtest::TempDir;

struct ShareCase {
    int first;
    int second;
    int expected;
};

const ShareCase kShareCases[] = {
    {66, 66, 0},  {66, 18, 32}, {18, 66, 32}, {18, 18, 32}, {64, 18, 32}, {66, 16, 32},
    {0, 66, 32},  {64, 64, 0},  {64, 66, 0},  {66, 64, 0},  {18, 64, 32}, {16, 64, 32},
};

class ShareModes : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.dbf");
    void SetUp() override { xbtest::WriteFileBytes(path, "data"); }
};

TEST_F(ShareModes, InOneProcess) {
    for (const auto& c : kShareCases) {
        File a, b;
        ASSERT_EQ(a.open(path, c.first), 0) << c.first;
        EXPECT_EQ(b.open(path, c.second), c.expected) << c.first << " then " << c.second;
    }
}

TEST_F(ShareModes, AcrossProcesses) {
    for (const auto& c : kShareCases) {
        ChildProcess child;
        ASSERT_EQ(child.ask("open a " + path + " " + std::to_string(c.first)), "0");
        File b;
        EXPECT_EQ(b.open(path, c.second), c.expected) << c.first << " then " << c.second;
    }
}

TEST_F(ShareModes, ClosingReleasesTheShare) {
    File a, b;
    ASSERT_EQ(a.open(path, kModeExclusive), 0);
    EXPECT_EQ(b.open(path, kModeShared), kErrSharingViolation);
    a.close();
    EXPECT_EQ(b.open(path, kModeShared), 0);

    ChildProcess child;
    EXPECT_EQ(child.ask("open a " + path + " 18"), "32");
    b.close();
    EXPECT_EQ(child.ask("open a " + path + " 18"), "0");
    EXPECT_EQ(child.ask("close a"), "0");
    EXPECT_EQ(b.open(path, kModeExclusive), 0);
}

TEST_F(ShareModes, MissingFileAndCreate) {
    File f;
    EXPECT_EQ(f.open(dir.file("none.dbf"), kModeShared), kErrFileNotFound);
    EXPECT_EQ(f.open(dir.file("nodir/x.dbf"), kModeShared), kErrFileNotFound);
    ASSERT_EQ(f.create(dir.file("new.dbf"), kModeExclusive), 0);
    File g;
    EXPECT_EQ(g.create(dir.file("new.dbf"), kModeExclusive), kErrSharingViolation);
}

TEST_F(ShareModes, DeleteRefusedWhileAnotherHandleHoldsTheFile) {
    {
        File a;
        ASSERT_EQ(a.open(path, kModeSharedRead), 0);
        EXPECT_EQ(DeleteFileChecked(path), kErrSharingViolation);
    }
    {
        ChildProcess child;
        ASSERT_EQ(child.ask("open a " + path + " 66"), "0");
        EXPECT_EQ(DeleteFileChecked(path), kErrSharingViolation);
    }
    EXPECT_EQ(DeleteFileChecked(path), 0);
    EXPECT_EQ(DeleteFileChecked(path), kErrFileNotFound);
}

class Locks : public ShareModes {};

TEST_F(Locks, TwoHandlesOfOneProcessConflict) {
    File a, b;
    ASSERT_EQ(a.open(path, kModeShared), 0);
    ASSERT_EQ(b.open(path, kModeShared), 0);
    ASSERT_EQ(a.lock(1000000000, 1), 0);
    EXPECT_EQ(b.lock(1000000000, 1), kErrLockViolation);
    EXPECT_EQ(b.lock(999999999, 2), kErrLockViolation);  // overlapping
    EXPECT_EQ(b.lock(1000000001, 1), 0);                  // adjacent
    EXPECT_EQ(a.unlock(1000000000, 1), 0);
    EXPECT_EQ(b.lock(1000000000, 1), 0);
}

TEST_F(Locks, SameHandleCannotLockTwice) {
    File a;
    ASSERT_EQ(a.open(path, kModeShared), 0);
    ASSERT_EQ(a.lock(10, 5), 0);
    EXPECT_EQ(a.lock(12, 1), kErrLockViolation);
    EXPECT_EQ(a.unlock(10, 4), kErrNotLocked);  // not the region as locked
    EXPECT_EQ(a.unlock(11, 5), kErrNotLocked);
    EXPECT_EQ(a.unlock(10, 5), 0);
    EXPECT_EQ(a.unlock(10, 5), kErrNotLocked);
}

TEST_F(Locks, ChildProcessLockConflicts) {
    ChildProcess child;
    ASSERT_EQ(child.ask("open a " + path + " 66"), "0");
    ASSERT_EQ(child.ask("lock a 4000000000 1"), "0");
    File f;
    ASSERT_EQ(f.open(path, kModeShared), 0);
    EXPECT_EQ(f.lock(4000000000, 1), kErrLockViolation);
    ASSERT_EQ(f.lock(4000000001, 10), 0);
    EXPECT_EQ(child.ask("lock a 4000000005 1"), "33");
    child.kill();  // a dead process's locks go with it
    EXPECT_EQ(f.lock(4000000000, 1), 0);
}

TEST_F(Locks, ClosingAnotherHandleKeepsOurLock) {
    File a, b;
    ASSERT_EQ(a.open(path, kModeShared), 0);
    ASSERT_EQ(a.lock(100, 1), 0);
    ASSERT_EQ(b.open(path, kModeShared), 0);
    b.close();
    ChildProcess child;
    ASSERT_EQ(child.ask("open a " + path + " 66"), "0");
    EXPECT_EQ(child.ask("lock a 100 1"), "33");
}

TEST_F(Locks, ExecedChildInheritsNoHandles) {
    File a;
    ASSERT_EQ(a.open(path, kModeShared), 0);
    ASSERT_EQ(a.lock(100, 1), 0);
    ChildProcess child;
    EXPECT_EQ(child.ask("fds " + path), "0");
    EXPECT_EQ(child.ask("open a " + path + " 66"), "0");
    EXPECT_EQ(child.ask("fds " + path), "1");
}

// The Windows codes callers rely on stay (a folder opened as a file, no right and a read-only file system
// are access denied, as on Windows); a name too long, a busy file and the like get codes of their own,
// which the system's text names; only what has no better code is access denied.
TEST(Files, ErrnoValuesKeepTheirWindowsCodes) {
    const std::pair<int, int> cases[] = {
        {ENOENT, kErrFileNotFound}, {ENOTDIR, kErrPathNotFound}, {EACCES, kErrAccessDenied},
        {EPERM, kErrAccessDenied},  {EROFS, kErrAccessDenied},   {EISDIR, kErrAccessDenied},
        {ENOSPC, kErrDiskFull},     {EDQUOT, kErrDiskFull},      {EAGAIN, kErrLockViolation},
        {ENAMETOOLONG, 206},        {EEXIST, 80},                {ENOTEMPTY, 145},
        {EXDEV, 17},                {EBUSY, kErrSharingViolation}, {ETXTBSY, kErrSharingViolation},
        {ENOTSUP, kErrAccessDenied},
    };
    for (const auto& [err, code] : cases) {
        EXPECT_EQ(WinErrorOfErrno(err), code) << std::strerror(err);
        if (code != kErrSharingViolation) EXPECT_NE(SystemErrorText(code), nullptr) << code;
    }
    // A name too long for the file system, met for real.
    TempDir dir;
    File f;
    EXPECT_EQ(f.create(dir.file(std::string(300, 'n')), kModeExclusive), 206);
}

TEST(Faults, NthWriteFailsWithTheChosenCode) {
    TempDir dir;
    File f;
    ASSERT_EQ(f.create(dir.file("x"), kModeExclusive), 0);
    InjectFault(FaultOp::Write, 3, kErrDiskWrite);
    EXPECT_EQ(f.writeAt(0, "a", 1), 0);
    EXPECT_EQ(f.writeAt(1, "b", 1), 0);
    EXPECT_EQ(f.writeAt(2, "c", 1), kErrDiskWrite);
    EXPECT_EQ(f.writeAt(2, "c", 1), 0);  // one fault only
    InjectFault(FaultOp::Read, 1, kErrReadFault);
    char buf[3];
    EXPECT_EQ(f.readAt(0, buf, 3), kErrReadFault);
    EXPECT_EQ(f.readAt(0, buf, 3), 0);
    EXPECT_EQ(std::string(buf, 3), "abc");
    InjectFault(FaultOp::Flush, 1, 29);
    EXPECT_EQ(f.flush(), 29);
    ClearFaults();
}

// Publishing a file without replacing one: every way a file system may have gives the same answers,
// the target kept whole when it exists.
TEST(Files, APublicationNeverReplacesATargetWhicheverWayTheFileSystemHas) {
    for (PublishWay way : {PublishWay::Link, PublishWay::RenameNoReplace, PublishWay::LockedRename}) {
        SCOPED_TRACE(static_cast<int>(way));
        TempDir dir;
        RefusePublishWaysBefore(way);
        xbtest::WriteFileBytes(dir.file("new"), "new");
        {
            CreationLock lock(dir.file("t"));
            ASSERT_EQ(lock.result(), 0);
            EXPECT_EQ(RenameFileNoReplace(dir.file("new"), dir.file("t")), 0);
        }
        EXPECT_EQ(LastPublishWay(), way);
        EXPECT_EQ(xbtest::ReadFileBytes(dir.file("t")), "new");
        EXPECT_FALSE(StatPath(dir.file("new")).exists);
        xbtest::WriteFileBytes(dir.file("other"), "other");
        {
            CreationLock lock(dir.file("t"));
            EXPECT_EQ(RenameFileNoReplace(dir.file("other"), dir.file("t")), 80);
        }
        EXPECT_EQ(xbtest::ReadFileBytes(dir.file("t")), "new");
        EXPECT_EQ(xbtest::ReadFileBytes(dir.file("other")), "other");
        // The lock file goes with its holder.
        EXPECT_FALSE(StatPath(dir.file(".t.lock")).exists);
        ClearFaults();
    }
}

// Whatever stands where the creation lock or a new file goes, nothing is made or changed through it
// and the refusal names the path and what is there.
TEST(Files, NothingIsMadeThroughALinkOrAnOddFileInTheWay) {
    TempDir dir, outside;
    xbtest::WriteFileBytes(outside.file("kept"), "the user's");
    struct Case {
        const char* what;
        std::function<void(const std::string& at)> put;
        const char* kind;
    } cases[] = {
        {"a link to a file outside that does not exist",
         [&](const std::string& at) { ASSERT_EQ(::symlink(outside.file("made").c_str(), at.c_str()), 0); },
         "a symbolic link"},
        {"a link to a file outside",
         [&](const std::string& at) { ASSERT_EQ(::symlink(outside.file("kept").c_str(), at.c_str()), 0); },
         "a symbolic link"},
        {"a directory", [](const std::string& at) { ASSERT_EQ(::mkdir(at.c_str(), 0755), 0); },
         "a directory"},
        {"a named pipe", [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); },
         "a named pipe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string lockPath = dir.file(".t.dbf.lock");
        c.put(lockPath);
        {
            CreationLock lock(dir.file("t.dbf"));
            EXPECT_EQ(lock.result(), kErrAccessDenied);
            EXPECT_EQ(lock.refusal(), lockPath + " is " + c.kind + ", not a lock file: remove it");
        }
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(lockPath))) << "left as it was";
        std::filesystem::remove(lockPath);
        // A new file made in place of the same thing.
        c.put(dir.file("t.mdx"));
        File f;
        EXPECT_NE(f.create(dir.file("t.mdx"), kModeExclusive), 0);
        std::filesystem::remove(dir.file("t.mdx"));
        EXPECT_FALSE(std::filesystem::exists(outside.file("made")));
        EXPECT_EQ(xbtest::ReadFileBytes(outside.file("kept")), "the user's");
    }
}

TEST(Files, ShortReadIsADiskReadErrorUnlessCounted) {
    TempDir dir;
    xbtest::WriteFileBytes(dir.file("x"), "abc");
    File f;
    ASSERT_EQ(f.open(dir.file("x"), kModeShared), 0);
    char buf[10];
    EXPECT_EQ(f.readAt(1, buf, 5), kErrDiskRead);
    size_t got = 0;
    EXPECT_EQ(f.readAt(1, buf, 5, &got), 0);
    EXPECT_EQ(got, 2u);
    uint64_t size = 0;
    EXPECT_EQ(f.size(size), 0);
    EXPECT_EQ(size, 3u);
}

// The counts are what a network drive turns into round trips: one per call of the operating system, of
// the kind made, a refused lock and the latency's wait included. An open is the open, the look at what
// it opened and one lock of the two bytes that stand for its sharing; a listing its open, the reads of
// its entries until one finds no more, and its close.
TEST(Files, EveryCallIsCountedByItsKindAndWaitsTheLatency) {
    TempDir dir;
    xbtest::WriteFileBytes(dir.file("x"), "abcdef");
    const FileCallCounts before = FileCalls();
    File f, g;
    ASSERT_EQ(f.open(dir.file("x"), kModeShared), 0);
    ASSERT_EQ(g.open(dir.file("x"), kModeShared), 0);
    char buf[4];
    ASSERT_EQ(f.readAt(0, buf, 4), 0);
    ASSERT_EQ(f.writeAt(0, "z", 1), 0);
    ASSERT_EQ(f.lock(0, 2), 0);
    EXPECT_EQ(g.lock(1, 1), kErrLockViolation);
    EXPECT_EQ(f.lock(0, 1), kErrLockViolation);  // answered by the handle itself: no call made
    ASSERT_EQ(f.unlock(0, 2), 0);
    uint64_t size = 0;
    ASSERT_EQ(f.size(size), 0);
    // Names are looked up and listed over the network as well: a stat of a name and a listing count.
    EXPECT_TRUE(FileExists(dir.file("x")));
    EXPECT_EQ(ResolveCase(dir.file("X")), dir.file("x"));  // a stat that misses, a listing, a stat
    const FileCallCounts d = FileCalls() - before;
    EXPECT_EQ(d.open, 2u);
    EXPECT_EQ(d.read, 1u);
    EXPECT_EQ(d.write, 1u);
    EXPECT_EQ(d.lock, 4u);
    EXPECT_EQ(d.unlock, 1u);
    EXPECT_EQ(d.stat, 6u);
    EXPECT_EQ(d.list, 4u);
    EXPECT_EQ(d.total(), 19u);

    SetFileCallLatency(std::chrono::microseconds(300));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(f.readAt(0, buf, 1), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    SetFileCallLatency(std::chrono::microseconds(0));
    EXPECT_GE(took, std::chrono::microseconds(3000));
}

// The size asked right after the open comes with the open's answer; once anything else was asked of the
// system, another handle may have grown the file, and the size is asked again.
TEST(Files, OnlyTheSizeAskedRightAfterTheOpenComesWithIt) {
    TempDir dir;
    xbtest::WriteFileBytes(dir.file("x"), "abcdef");
    File f, g;
    ASSERT_EQ(f.open(dir.file("x"), kModeShared), 0);
    FileCallCounts before = FileCalls();
    uint64_t size = 0;
    ASSERT_EQ(f.size(size), 0);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ((FileCalls() - before).stat, 0u);

    f.close();
    ASSERT_EQ(f.open(dir.file("x"), kModeShared), 0);
    ASSERT_EQ(g.open(dir.file("x"), kModeShared), 0);
    ASSERT_EQ(g.writeAt(6, "gh", 2), 0);
    before = FileCalls();
    ASSERT_EQ(f.size(size), 0);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ((FileCalls() - before).stat, 1u);
}

// Inside a lookup scope a directory is listed once, and every change made through this layer is seen
// by the lookups that follow it: a name created, renamed or deleted is never answered from the old
// listing, and a directory changed by other means is seen once the listings are dropped.
TEST(Files, ALookupScopeListsADirectoryOnceAndSeesItsOwnChanges) {
    TempDir dir;
    xbtest::WriteFileBytes(dir.file("EQUIPE.DBF"), "t");
    NameLookupScope scope;
    const FileCallCounts before = FileCalls();
    EXPECT_EQ(ResolveCase(dir.file("equipe.dbf")), dir.file("EQUIPE.DBF"));
    EXPECT_FALSE(FileExists(dir.file("equipe.dbf")));  // the exact name only
    EXPECT_TRUE(FileExists(dir.file("EQUIPE.DBF")));
    EXPECT_EQ(ResolveCase(dir.file("equipe.@s@")), dir.file("equipe.@s@"));  // missing: as given
    const FileCallCounts looked = FileCalls() - before;
    EXPECT_EQ(looked.list, 4u);  // one listing
    EXPECT_EQ(looked.stat, 0u);

    struct Step {
        const char* what;
        std::function<void()> change;
        const char* name;
        bool exists;
    } steps[] = {
        {"created", [&] { File f; ASSERT_EQ(f.create(dir.file("equipe.@s@"), kModeShared), 0); },
         "equipe.@s@", true},
        {"renamed away", [&] { ASSERT_EQ(RenameFile(dir.file("equipe.@s@"), dir.file("x.tmp")), 0); },
         "equipe.@s@", false},
        {"renamed to", [&] {}, "x.tmp", true},
        {"deleted", [&] { ASSERT_EQ(RemoveFileIfExists(dir.file("x.tmp")), 0); }, "x.tmp", false},
        {"made by other means", [&] {
             xbtest::WriteFileBytes(dir.file("Equipe.mdx"), "i");
             ForgetListedNames();
         }, "Equipe.mdx", true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        EXPECT_EQ(FileExists(dir.file(s.name)), s.exists);
    }
    EXPECT_EQ(ResolveCase(dir.file("EQUIPE.MDX")), dir.file("Equipe.mdx"));
}

}  // namespace
}  // namespace xb::platform

namespace xb::platform {
namespace {

// Whatever stands at a name but a regular file is refused at once, whatever the mode: a named pipe is never
// waited on, a link at a creation lock never followed, and the lock of another creator never waited for.
TEST(NamesInTheWay, AreRefusedAtOnceAndNeverFollowed) {
    TempDir dir;
    const std::string outside = dir.file("outside");
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        EntryKind kind;
        CreationLockState lock;
    };
    const std::vector<Case> cases = {
        {"nothing", [](const std::string&) {}, EntryKind::Missing, CreationLockState::Free},
        {"a file", [](const std::string& p) { xbtest::WriteFileBytes(p, "x"); }, EntryKind::Regular,
         CreationLockState::Free},
        {"a pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, EntryKind::Pipe,
         CreationLockState::InTheWay},
        {"a folder", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }, EntryKind::Directory,
         CreationLockState::InTheWay},
        {"a link loop", [](const std::string& p) { ASSERT_EQ(::symlink(p.c_str(), p.c_str()), 0); },
         EntryKind::Link, CreationLockState::InTheWay},
        {"a link out", [&](const std::string& p) { ASSERT_EQ(::symlink(outside.c_str(), p.c_str()), 0); },
         EntryKind::Link, CreationLockState::InTheWay},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = dir.file("t.dbf"), lock = dir.file(".t.dbf.lock");
        c.make(name);
        c.make(lock);
        EXPECT_EQ(EntryKindAt(name), c.kind);
        for (const int mode : {kModeSharedRead, kModeShared, kModeExclusive}) {
            File f;
            const int rc = f.open(name, mode);
            EXPECT_EQ(rc == 0, c.kind == EntryKind::Regular) << mode;
        }
        EXPECT_EQ(ProbeCreationLock(name), c.lock);
        {
            CreationLockIfFree taken(name);
            EXPECT_EQ(taken.held(), c.lock == CreationLockState::Free);
            if (!taken.held()) EXPECT_EQ(taken.result(), kErrAccessDenied);
            // Held here, the lock is another creator's to every other look and try.
            if (taken.held()) {
                EXPECT_EQ(ProbeCreationLock(name), CreationLockState::Held);
                EXPECT_EQ(CreationLockIfFree(name).result(), kErrLockViolation);
            }
        }
        EXPECT_FALSE(StatPath(outside).exists);
        std::filesystem::remove_all(name);
        std::filesystem::remove_all(lock);
    }
}

}  // namespace
}  // namespace xb::platform
