#include "engine/index/semaphore_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using std::chrono::milliseconds;
using xbtest::ChildProcess;
using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

// Two areas of one engine on one shared table are two stations: each has its own handles and locks.
class SemaphoreTest : public xbtest::EngineTest {
protected:
    std::string table;
    std::string sem;
    void SetUp() override {
        table = tmp.file("t.dbf");
        sem = tmp.file("t.@s@");
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, table, {{"name", 'C', 4, 0}}));
        SemaphoreSettings().lockRetry = milliseconds(200);
        SemaphoreSettings().writeTimeout = milliseconds(300);
    }
    void open(int area, const std::string& extra = "") {
        ASSERT_TRUE(Select(area));
        ASSERT_TRUE(Use(table + " ALIAS A" + std::to_string(area) + extra, nullptr, 0));
    }
    // Runs an action in an area; true on success, false when it reported an error (the error code is
    // then in LastError()).
    bool act(int area, int action) {
        Select(area);
        try {
            return HandleSemafore(action);
        } catch (const EEngineError&) {
            return false;
        }
    }
    std::string actText(int area, int action) {
        Select(area);
        try {
            HandleSemafore(action);
        } catch (const EEngineError& e) {
            return e.what();
        }
        return "";
    }
    // The file's record: stations, readers, counter.
    std::vector<int> bytes() {
        std::string b = ReadFileBytes(sem);
        if (b.size() < 4) return {};
        auto u = [&](int i) { return static_cast<int>(static_cast<uint8_t>(b[static_cast<size_t>(i)])); };
        return {u(0), u(1), u(2) | (u(3) << 8)};
    }
    SemaphoreInfo info(int area) {
        Select(area);
        return CurrentSemaphoreInfo();
    }
};

TEST_F(SemaphoreTest, StationsCountThemselvesAndTheLastOneDeletesTheFile) {
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 0}));
    ASSERT_TRUE(act(1, kSemLogin));  // already logged in: nothing
    ASSERT_TRUE(act(2, kSemLogin));
    EXPECT_EQ(bytes(), (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(info(1).stationsAtLogin, 1);
    EXPECT_EQ(info(2).stationsAtLogin, 2);
    ASSERT_TRUE(act(1, kSemLogout));
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 0}));
    EXPECT_FALSE(info(1).loggedIn);
    ASSERT_TRUE(act(1, kSemLogout));  // already logged out: nothing
    ASSERT_TRUE(act(2, kSemLogout));
    EXPECT_FALSE(platform::FileExists(sem));
}

TEST_F(SemaphoreTest, AnAreaHoldingTheTableLockStillLogsInAndKeepsItsLock) {
    open(1);
    ASSERT_TRUE(FileLockByte());
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(1, kSemLogout));
    EXPECT_TRUE(CurrentBlock()->file.holdsLock(kLockBase, 1));
}

TEST_F(SemaphoreTest, AnExclusiveTableUsesNoSemaphore) {
    open(1, " EXCLUSIVE");
    for (int action : {kSemLogin, kSemIncRead, kSemLock, kSemUnlock, kSemDecRead, kSemLogout}) {
        EXPECT_TRUE(act(1, action)) << SemaphoreActionName(action);
        EXPECT_FALSE(platform::FileExists(sem)) << SemaphoreActionName(action);
    }
    SetReadSemaphoreProc(true);
    SetLockSemaphoreProc(true);
    EXPECT_EQ(CurrentSemaphoreInfo().readBrackets, 1);
    SetLockSemaphoreProc(false);
    SetReadSemaphoreProc(false);
    EXPECT_FALSE(CurrentSemaphoreInfo().loggedIn);
    EXPECT_TRUE(platform::ListMatching(tmp.path(), "*.@s@").empty());
}

TEST_F(SemaphoreTest, EverySpellingOfTheTableMeetsOneFile) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, tmp.file("CHAMPAN.DBF"), {{"name", 'C', 4, 0}}));
    const char* spellings[] = {"champan.dbf", "CHAMPAN.DBF", "Champan"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Select(i + 1));
        ASSERT_TRUE(Use(tmp.file(spellings[i]) + " ALIAS S" + std::to_string(i), nullptr, 0));
        EXPECT_EQ(SemaphoreFileName(), tmp.file("CHAMPAN.@s@")) << spellings[i];
        ASSERT_TRUE(act(i + 1, kSemLogin));
    }
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*.@s@"), std::vector<std::string>{"CHAMPAN.@s@"});
    EXPECT_EQ(ReadFileBytes(tmp.file("CHAMPAN.@s@"))[0], 3);
}

TEST_F(SemaphoreTest, OnlyTheOuterReadPairTouchesTheFile) {
    open(1);
    ASSERT_TRUE(act(1, kSemLogin));
    struct Step {
        int action;
        int readers;
    };
    const Step steps[] = {{kSemIncRead, 1}, {kSemIncRead, 1}, {kSemDecRead, 1}, {kSemDecRead, 0}};
    for (const Step& s : steps) {
        ASSERT_TRUE(act(1, s.action));
        EXPECT_EQ(bytes()[1], s.readers);
    }
    EXPECT_FALSE(act(1, kSemDecRead));
    EXPECT_EQ(LastError(), 254);
    EXPECT_EQ(bytes()[1], 0);
    EXPECT_EQ(info(1).readDepth, 0);
}

TEST_F(SemaphoreTest, UnbalancedBracketsAndActionsAreReported) {
    open(1);
    ASSERT_TRUE(act(1, kSemLogin));
    struct Case {
        std::function<void()> call;
        std::string text;
    };
    const std::string name = tmp.file("t.@s@");
    const Case cases[] = {
        {[] { SetReadSemaphoreProc(false); }, "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]"},
        {[] { SetLockSemaphoreProc(false); }, "Non-symmetrical Lock-Unlock [SetLockSemaphoreProc]"},
        {[] { HandleSemafore(kSemDecRead); },
         "Unbalanced IncRead/DecRead for semaphore file: " + name + " DECREAD"},
        {[] { HandleSemafore(kSemUnlock); },
         "Unbalanced Lock/Unlock for semaphore file: " + name + " UNLOCKSEMAPHORE"},
        {[this] {
             engine().currentArea = 35;
             HandleSemafore(kSemIncRead);
         },
         "Work area [35 ] out of range. [HandleSemafore]"},
    };
    for (const Case& c : cases) {
        Select(1);
        try {
            c.call();
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const EEngineError& e) {
            EXPECT_EQ(e.what(), ErrorText(254) + "\r\n" + c.text);
            EXPECT_EQ(LastError(), 254);
        }
    }
    Select(1);
    EXPECT_EQ(CurrentSemaphoreInfo().readBrackets, 0);
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 0}));
}

TEST_F(SemaphoreTest, TheWriterExcludesOthersAndTheyLearnOfItsChange) {
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(2, kSemLogin));
    ASSERT_TRUE(act(1, kSemLock));
    EXPECT_EQ(bytes()[1], 1);
    EXPECT_EQ(actText(2, kSemIncRead),
              "Error # 1202 (" + std::string(ErrorMessage(1202)) +
                  ")\r\n0.2 second timeout: Cannot lock index semaphore file: " + sem +
                  " INCREAD\r\nPossible cause: Network lock limit exceeded\r\n Lock result code: 33");
    EXPECT_EQ(info(2).readDepth, 0);
    EXPECT_EQ(actText(2, kSemLock),
              "Error # 1202 (" + std::string(ErrorMessage(1202)) +
                  ")\r\n0.3 second timeout, cannot read: " + sem +
                  "\r\nPossible cause: Other user's program has terminated abnormally.\r\n"
                  "Cure: Log all users of this application off the network,\r\nthen delete " +
                  sem);
    EXPECT_EQ(info(2).writeDepth, 0);
    ASSERT_TRUE(act(1, kSemUnlock));
    EXPECT_EQ(bytes(), (std::vector<int>{2, 0, 1}));
    Select(1);
    EXPECT_FALSE(SemaphoreIndexChanged());  // its own change
    ASSERT_TRUE(act(2, kSemIncRead));
    EXPECT_TRUE(SemaphoreIndexChanged());
    SemaphoreMarkSeen();
    EXPECT_FALSE(SemaphoreIndexChanged());
    EXPECT_EQ(info(2).seenCounter, 1);
}

TEST_F(SemaphoreTest, AWriterWaitsForAnotherStationsReader) {
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(2, kSemLogin));
    ASSERT_TRUE(act(1, kSemIncRead));
    EXPECT_FALSE(act(2, kSemLock));
    EXPECT_EQ(LastError(), 1202);
    EXPECT_EQ(bytes()[1], 1);
    ASSERT_TRUE(act(1, kSemDecRead));
    ASSERT_TRUE(act(2, kSemLock));
    EXPECT_TRUE(info(2).writer);
}

// A count in byte 1 that no reader's lock backs up (its station ended abnormally) holds nobody up.
TEST_F(SemaphoreTest, AStaleReaderCountIsDisregarded) {
    open(1);
    ASSERT_TRUE(act(1, kSemLogin));
    {
        platform::File f;
        ASSERT_EQ(f.open(sem, platform::kModeShared), 0);
        const uint8_t stale[2] = {1, 9};
        ASSERT_EQ(f.writeAt(0, stale, 2), 0);
    }
    ASSERT_TRUE(act(1, kSemLock));
    ASSERT_TRUE(act(1, kSemUnlock));
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 1}));
}

TEST_F(SemaphoreTest, AReaderTakingTheWriteLockDoesNotWaitForItself) {
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(2, kSemLogin));
    struct Step {
        int area;
        int action;
        bool ok;
        int readers;  // byte 1 afterwards
    };
    // Reading, then writing inside the read: the release of the write lock leaves the station counted
    // as the one reader, so another writer still waits until it stops reading.
    const Step readThenWrite[] = {
        {1, kSemIncRead, true, 1}, {1, kSemLock, true, 1}, {1, kSemUnlock, true, 1}, {2, kSemLock, false, 1},
        {1, kSemDecRead, true, 0}, {2, kSemLock, true, 1}, {2, kSemUnlock, true, 0},
    };
    // Writing, then reading inside the write, then releasing the write lock before the read ends.
    const Step writeThenRead[] = {
        {1, kSemLock, true, 1},   {1, kSemIncRead, true, 1}, {1, kSemUnlock, true, 1},
        {2, kSemLock, false, 1},  {1, kSemDecRead, true, 0}, {2, kSemLock, true, 1},
        {2, kSemUnlock, true, 0},
    };
    for (const auto* steps : {readThenWrite, writeThenRead}) {
        for (int i = 0; i < 7; ++i) {
            const Step& s = steps[i];
            EXPECT_EQ(act(s.area, s.action), s.ok) << "step " << i;
            EXPECT_EQ(bytes()[1], s.readers) << "step " << i;
        }
        EXPECT_FALSE(info(1).countedReader);
    }
    EXPECT_EQ(bytes()[2], 4);
}

// A writer that could neither finish nor undo its change keeps the mark at its release, and may still be
// reading then. Another station must not take that one living reader for the sign of a sound index: it
// waits for the reader and repairs before it reads.
TEST_F(SemaphoreTest, AMarkLeftWhileItsWriterStillReadsIsRepairedBeforeAnyoneElseReads) {
    static int repairs = 0;
    repairs = 0;
    SetSemaphoreRepair(engine(), [] {
        ++repairs;
        return true;
    });
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(2, kSemLogin));
    ASSERT_TRUE(act(1, kSemIncRead));
    ASSERT_TRUE(act(1, kSemLock));
    Select(1);
    ASSERT_TRUE(SemaphoreKeepMark());
    ASSERT_TRUE(act(1, kSemUnlock));
    EXPECT_EQ(bytes()[1], 0x81);
    // While the marking station reads, the other waits (here until its short time-out).
    EXPECT_FALSE(act(2, kSemIncRead));
    EXPECT_EQ(repairs, 0);
    ASSERT_TRUE(act(1, kSemDecRead));
    EXPECT_EQ(bytes()[1], 0x80);
    ASSERT_TRUE(act(2, kSemIncRead));
    EXPECT_EQ(repairs, 1);
    EXPECT_EQ(bytes()[1], 1);
    ASSERT_TRUE(act(2, kSemDecRead));
    EXPECT_EQ(bytes()[1], 0);
}

// Alone, a station resets the station count crashed stations left; a count in byte 1 stays as one mark
// (the last of them may have been a writer half-way through a change: the next read or write repairs),
// and the counter goes on from where it stood. Nobody here repairs: the last station out leaves the file
// with its mark.
TEST_F(SemaphoreTest, LoggingInAloneResetsWhatCrashedStationsLeft) {
    struct Case {
        std::string left;
        std::vector<int> after;
    } cases[] = {
        {std::string("\x05\x07\x34\x12", 4), {1, 1, 0x1234}},
        {std::string("\x03\x00\x09\x00", 4), {1, 0, 9}},
        {std::string("\x02\x01", 2), {1, 0, 0}},  // cut short: nothing in it is trusted
        {std::string(), {1, 0, 0}},                 // made by a station that ended before writing it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after[1]);
        WriteFileBytes(sem, c.left);
        open(1);
        ASSERT_TRUE(act(1, kSemLogin));
        EXPECT_EQ(bytes(), c.after);
        EXPECT_EQ(info(1).seenCounter, c.after[2]);
        // Not alone: the counts are another station's and stay.
        ASSERT_TRUE(act(1, kSemIncRead));
        const std::vector<int> reading = bytes();
        EXPECT_EQ(reading[1], c.after[1] + 1);
        open(2);
        ASSERT_TRUE(act(2, kSemLogin));
        EXPECT_EQ(bytes(), (std::vector<int>{2, reading[1], reading[2]}));
        ASSERT_TRUE(act(2, kSemLogout));
        ASSERT_TRUE(act(1, kSemLogout));
        EXPECT_EQ(platform::FileExists(sem), c.after[1] != 0);
        if (c.after[1] != 0) EXPECT_EQ(bytes(), (std::vector<int>{0, 1, c.after[2]}));
        CloseAllDatabases();
    }
}

TEST_F(SemaphoreTest, TheGuardsCloseTheirBracketsOnEveryExit) {
    open(1);
    open(2);
    ASSERT_TRUE(act(1, kSemLogin));
    ASSERT_TRUE(act(2, kSemLogin));
    Select(1);
    try {
        IndexReadBracket read;
        IndexWriteBracket write;
        EXPECT_TRUE(read.entered() && write.entered());
        EXPECT_EQ(bytes()[1], 1);
        ASSERT_TRUE(Select(2));  // the guards still close area 1's brackets
        throw std::runtime_error("cut short");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(SelectedArea(), 2);
    const SemaphoreInfo one = info(1);
    EXPECT_EQ(one.readBrackets + one.writeBrackets + one.readDepth + one.writeDepth, 0);
    EXPECT_FALSE(one.writer || one.countedReader);
    EXPECT_EQ(bytes(), (std::vector<int>{2, 0, 1}));
    // A guard whose bracket could not be entered owes no release.
    ASSERT_TRUE(act(2, kSemLock));
    Select(1);
    EXPECT_THROW(IndexReadBracket read, EEngineError);
    EXPECT_EQ(info(1).readBrackets, 0);
}

// A failing step is reported and leaves the station able to go on: nothing stays locked, no depth is
// left half counted.
TEST_F(SemaphoreTest, FailuresReleaseTheRecordAndKeepTheState) {
    struct Case {
        const char* name;
        platform::FaultOp op;
        std::vector<int> before;  // actions that succeed first
        int action;
        const char* text;
    };
    const Case cases[] = {
        {"inc read", platform::FaultOp::Read, {}, kSemIncRead, "Cannot read: "},
        {"inc write", platform::FaultOp::Write, {}, kSemIncRead, "Cannot write to: "},
        {"lock read", platform::FaultOp::Read, {}, kSemLock, "Cannot read: "},
        {"lock write", platform::FaultOp::Write, {}, kSemLock, "Cannot write to: "},
        {"unlock write", platform::FaultOp::Write, {kSemLock}, kSemUnlock, "Cannot write to: "},
        {"dec write", platform::FaultOp::Write, {kSemIncRead}, kSemDecRead, "Cannot write to: "},
    };
    open(1);
    open(2);
    ASSERT_TRUE(act(2, kSemLogin));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(act(1, kSemLogin));
        for (int a : c.before) ASSERT_TRUE(act(1, a));
        platform::InjectFault(c.op, 1, 29);
        const std::string text = actText(1, c.action);
        platform::ClearFaults();
        EXPECT_EQ(text, "Error # 29 (Device write fault)\r\n" + std::string(c.text) + sem + " " +
                            SemaphoreActionName(c.action));
        const SemaphoreInfo i = info(1);
        EXPECT_FALSE(i.writer);
        EXPECT_EQ(i.writeDepth, 0);
        EXPECT_EQ(i.readDepth, 0);
        // The other station can write at once.
        ASSERT_TRUE(act(2, kSemLock));
        ASSERT_TRUE(act(2, kSemUnlock));
        ASSERT_TRUE(act(1, kSemLogout));
    }
    EXPECT_EQ(bytes()[0], 1);
}

TEST_F(SemaphoreTest, LoginFailuresLeaveTheAreaLoggedOut) {
    open(1);
    platform::InjectFault(platform::FaultOp::Alloc, 1, 8);
    EXPECT_EQ(actText(1, kSemLogin),
              "Error # 217 (Insufficient memory)\r\nCannot allocate the semaphore of: " + sem +
                  " Action=LOGIN [Database Semaphore]");
    platform::InjectFault(platform::FaultOp::Write, 1, 29);
    EXPECT_EQ(actText(1, kSemLogin), "Error # 29 (Device write fault)\r\nCannot write to: " + sem +
                                         " Action=LOGIN [Database Semaphore]");
    platform::ClearFaults();
    EXPECT_FALSE(info(1).loggedIn);
    // Another station holds the table lock byte for longer than the retry.
    open(2);
    ASSERT_TRUE(FileLockByte());
    EXPECT_EQ(actText(1, kSemLogin), "Error # 1202 (" + std::string(ErrorMessage(1202)) +
                                         ")\r\nCannot lock database for: " + sem +
                                         " Action=LOGIN [Database Semaphore]");
    EXPECT_FALSE(info(1).loggedIn);
    Select(2);
    ASSERT_TRUE(FileUnlock());
    EXPECT_TRUE(act(1, kSemLogin));
}

// Another process: stations in two processes count and exclude each other.
TEST_F(SemaphoreTest, StationsInTwoProcessesExcludeEachOther) {
    ChildProcess child;
    ASSERT_EQ(child.ask("use " + table), "0");
    ASSERT_EQ(child.ask("semtimeouts 200 300"), "0");
    ASSERT_EQ(child.ask("sem 0"), "1");
    open(1);
    ASSERT_TRUE(act(1, kSemLogin));
    EXPECT_EQ(child.ask("seminfo"), "1 0 0 --");  // its copy from its login
    EXPECT_EQ(bytes(), (std::vector<int>{2, 0, 0}));
    ASSERT_EQ(child.ask("semread 1"), "1");
    EXPECT_FALSE(act(1, kSemLock));
    ASSERT_EQ(child.ask("semread 0"), "1");
    ASSERT_TRUE(act(1, kSemLock));
    EXPECT_EQ(child.ask("semread 1"), "E1202");
    EXPECT_EQ(child.ask("semlock 1"), "E1202");
    ASSERT_TRUE(act(1, kSemUnlock));
    ASSERT_EQ(child.ask("semread 1"), "1");
    EXPECT_EQ(child.ask("seminfo"), "2 1 1 -R");
    ASSERT_EQ(child.ask("semread 0"), "1");
    ASSERT_EQ(child.ask("sem 1"), "1");
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(child.finish(), 0);
}

// A station killed in any state of the semaphore holds nobody up, and the next station to log in
// alone resets the counts it left.
TEST_F(SemaphoreTest, AKilledStationHoldsNobodyUp) {
    struct Case {
        const char* state;
        std::vector<std::string> commands;
        std::vector<int> left;  // the record as the killed station left it
    };
    const Case cases[] = {
        {"logged in", {}, {2, 0, 0}},
        {"reading", {"semread 1"}, {2, 1, 0}},
        {"writing", {"semlock 1"}, {2, 1, 0}},
        {"writing inside a read", {"semread 1", "semlock 1"}, {2, 1, 0}},
        {"reading inside a write", {"semlock 1", "semread 1"}, {2, 1, 0}},
    };
    SemaphoreSettings().lockRetry = milliseconds(5000);
    SemaphoreSettings().writeTimeout = milliseconds(5000);
    open(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ASSERT_TRUE(act(1, kSemLogin));
        ChildProcess child;
        ASSERT_EQ(child.ask("use " + table), "0");
        ASSERT_EQ(child.ask("sem 0"), "1");
        for (const std::string& cmd : c.commands) ASSERT_EQ(child.ask(cmd), "1");
        EXPECT_EQ(bytes(), c.left);
        child.kill();
        // This station goes on reading and writing.
        Select(1);
        {
            IndexReadBracket read;
            ASSERT_TRUE(read.entered());
        }
        {
            IndexWriteBracket write;
            ASSERT_TRUE(write.entered());
        }
        EXPECT_EQ(bytes()[0], 2);
        ASSERT_TRUE(act(1, kSemLogout));
        EXPECT_EQ(bytes()[0], 1);  // the killed station's count
        const int counter = bytes()[2];
        ASSERT_TRUE(act(1, kSemLogin));
        EXPECT_EQ(bytes(), (std::vector<int>{1, 0, counter}));
        ASSERT_TRUE(act(1, kSemLogout));
        EXPECT_FALSE(platform::FileExists(sem));
    }
}

// Several processes writing and reading at once: every write is exclusive (no increment is lost), no
// read sees a write in the middle, and nobody times out.
TEST_F(SemaphoreTest, ProcessesWritingAndReadingTogether) {
    const std::string counter = tmp.file("counter.bin");
    WriteFileBytes(counter, std::string(4, '\0'));
    constexpr int kChildren = 4;
    constexpr int kRounds = 150;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < kChildren; ++i) {
        children.push_back(std::make_unique<ChildProcess>());
        ASSERT_EQ(children.back()->ask("use " + table), "0");
        ASSERT_EQ(children.back()->ask("sem 0"), "1");
    }
    std::vector<std::string> answers(kChildren);
    std::vector<std::thread> threads;
    for (int i = 0; i < kChildren; ++i)
        threads.emplace_back([&, i] {
            answers[static_cast<size_t>(i)] =
                children[static_cast<size_t>(i)]->ask("semcount " + counter + " " + std::to_string(kRounds));
        });
    for (auto& t : threads) t.join();
    for (const std::string& a : answers) EXPECT_EQ(a, "1");
    const std::string total = ReadFileBytes(counter);
    int32_t v = 0;
    std::memcpy(&v, total.data(), 4);
    EXPECT_EQ(v, kChildren * kRounds);
    EXPECT_EQ(bytes(), (std::vector<int>{kChildren, 0, kChildren * kRounds}));
    for (auto& c : children) {
        EXPECT_EQ(c->ask("sem 1"), "1");
        EXPECT_EQ(c->finish(), 0);
    }
    EXPECT_FALSE(platform::FileExists(sem));
}

// Tables opened for reading only share the table lock byte, so their stations log in and out at the same
// time: the last one out deletes the file while another probes or opens it. Each login still succeeds.
TEST_F(SemaphoreTest, StationsReadingOnlyLogInAndOutTogether) {
    constexpr int kChildren = 3;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < kChildren; ++i) {
        children.push_back(std::make_unique<ChildProcess>());
        ASSERT_EQ(children.back()->ask("readonly"), "0");
        ASSERT_EQ(children.back()->ask("use " + table), "0");
    }
    std::vector<std::string> answers(kChildren);
    std::vector<std::thread> threads;
    for (int i = 0; i < kChildren; ++i)
        threads.emplace_back([&, i] {
            answers[static_cast<size_t>(i)] = children[static_cast<size_t>(i)]->ask("semchurn 400");
        });
    for (auto& t : threads) t.join();
    for (const std::string& a : answers) EXPECT_EQ(a, "0");
    for (auto& c : children) EXPECT_EQ(c->finish(), 0);
    EXPECT_FALSE(platform::FileExists(sem));
}

}  // namespace
}  // namespace xb
