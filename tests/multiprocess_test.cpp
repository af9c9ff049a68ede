// Several processes on one table: locks exclude each other, appends interleave without loss, and a
// process killed in the middle of its appends leaves a table that reopens with every complete record.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::ChildProcess;

class MultiProcess : public xbtest::EngineTest {
protected:
    std::string path;
    void SetUp() override {
        path = tmp.file("shared.dbf");
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, path, {{"tag", 'C', 8, 0}, {"seq", 'N', 6, 0}}));
    }
    // (tag, seq) of every record, read in this process.
    std::vector<std::pair<std::string, int>> readAll() {
        std::vector<std::pair<std::string, int>> out;
        GoTop();
        while (!dEOF()) {
            std::string tag = TypedGetString(FieldAddress(1));
            out.emplace_back(tag.substr(0, tag.find(' ')), TypedGetInt(FieldAddress(2)));
            Skip(1);
        }
        return out;
    }
};

TEST_F(MultiProcess, AnotherProcessesLocksRefuseAtOnce) {
    ChildProcess child;
    ASSERT_EQ(child.ask("use " + path), "0");
    ASSERT_EQ(child.ask("append 2 c"), "0");
    ASSERT_TRUE(Use(path, nullptr, 0));
    ASSERT_EQ(child.ask("go 1"), "1");
    ASSERT_EQ(child.ask("rlock"), "1");
    ASSERT_TRUE(Go(1));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RLock());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));  // no waiting
    EXPECT_EQ(LastError(), 0);  // a refusal is no error
    ASSERT_TRUE(Go(2));
    EXPECT_TRUE(RLock());
    Unlock();
    ASSERT_EQ(child.ask("release"), "0");
    ASSERT_EQ(child.ask("alock"), "1");
    EXPECT_FALSE(ALock());
    ASSERT_TRUE(Go(1));
    EXPECT_TRUE(RLock());  // the append lock does not cover records
    Unlock();
    child.kill();
    EXPECT_TRUE(ALock());
}

TEST_F(MultiProcess, AChildsAppendIsSeenWithoutReopening) {
    ASSERT_TRUE(Use(path, nullptr, 0));
    EXPECT_EQ(RecCount(), 0);
    ChildProcess child;
    ASSERT_EQ(child.ask("use " + path), "0");
    ASSERT_EQ(child.ask("append 3 c"), "0");
    EXPECT_EQ(RecCount(), 3);
    ASSERT_TRUE(GoTop());
    EXPECT_EQ(RecNo(), 1);
    ASSERT_EQ(child.ask("append 1 d"), "0");
    ASSERT_TRUE(Go(3));
    ASSERT_TRUE(Skip(1));
    EXPECT_FALSE(dEOF());
    EXPECT_EQ(RecNo(), 4);
    EXPECT_EQ(TypedGetString(FieldAddress(1)), "d       ");
}

TEST_F(MultiProcess, FourProcessesAppendingLoseNothing) {
    constexpr int kPerProcess = 2000;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(std::make_unique<ChildProcess>());
        ASSERT_EQ(children.back()->ask("use " + path), "0");
    }
    std::vector<std::thread> threads;
    std::vector<std::string> answers(4);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] { answers[i] = children[i]->ask("append " + std::to_string(kPerProcess) + " p" + std::to_string(i)); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(answers[i], "0");
        EXPECT_EQ(children[i]->ask("close"), "0");
        EXPECT_EQ(children[i]->finish(), 0);
    }
    ASSERT_TRUE(Use(path, nullptr, 0));
    auto all = readAll();
    ASSERT_EQ(all.size(), 4u * kPerProcess);
    std::map<std::string, std::set<int>> seen;
    for (const auto& [tag, seq] : all) EXPECT_TRUE(seen[tag].insert(seq).second) << tag << " " << seq;
    for (int i = 0; i < 4; ++i) {
        const auto& s = seen["p" + std::to_string(i)];
        EXPECT_EQ(s.size(), static_cast<size_t>(kPerProcess));
        EXPECT_EQ(*s.begin(), 1);
        EXPECT_EQ(*s.rbegin(), kPerProcess);
    }
    CloseDatabase();
    const std::string bytes = xbtest::ReadFileBytes(path);
    const size_t hs = 32 + 64 + 1, rs = 15;
    EXPECT_EQ(bytes.size(), hs + 8000 * rs + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(static_cast<uint8_t>(bytes[4]) | (static_cast<uint8_t>(bytes[5]) << 8), 8000);
    int st = 0;
    std::string out = xbtest::RunCommand(
        "/usr/bin/python3 -c 'import sys; from dbfread import DBF; print(len(list(DBF(sys.argv[1]))))' " +
            xbtest::ShellQuote(path) + " 2>&1",
        &st);
    if (st == 0) {
        EXPECT_EQ(out, "8000\n");
    }
}

TEST_F(MultiProcess, AProcessKilledWhileAppendingLeavesEveryCompleteRecord) {
    {
        ChildProcess child;
        ASSERT_EQ(child.ask("use " + path), "0");
        ASSERT_EQ(child.ask("appendloop k"), "started");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        child.kill();
    }
    SetAutoFixRecCount(true);
    ASSERT_TRUE(Use(path, nullptr, 0));
    SetAutoFixRecCount(false);
    auto all = readAll();
    ASSERT_GT(all.size(), 0u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].first, "k");
        EXPECT_EQ(all[i].second, static_cast<int>(i + 1));
    }
    // The table takes more appends after it.
    ASSERT_TRUE(ALock());
    ClearRecord();
    TypedSetString(FieldAddress(1), 8, "after");
    ASSERT_TRUE(Append());
    Unlock();
    EXPECT_EQ(RecCount(), static_cast<int32_t>(all.size() + 1));
}

// Children started from several threads at once while other threads allocate, as the two-station tests
// start theirs: every child comes up and answers.
TEST(ChildStart, ChildrenStartedFromSeveralThreadsAtOnceAllAnswer) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 3; ++i)
        busy.emplace_back([&stop] {
            // Blocks of the sizes a child's argument list takes.
            while (!stop) {
                std::vector<std::unique_ptr<char[]>> v;
                for (int k = 0; k < 64; ++k) v.emplace_back(new char[8 + 8 * (k % 4)]);
            }
        });
    std::atomic<int> answered{0};
    std::vector<std::thread> starters;
    for (int t = 0; t < 4; ++t)
        starters.emplace_back([&answered] {
            for (int i = 0; i < 40; ++i) {
                ChildProcess child;
                answered += child.ask("tmpdir /tmp") == "0";
            }
        });
    for (auto& t : starters) t.join();
    stop = true;
    for (auto& t : busy) t.join();
    EXPECT_EQ(answered, 160);
}

}  // namespace
}  // namespace xb
