// Two processes adding and rewriting memos of one table at the same time.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "engine/core/memo_test_util.h"
#include "tests/support/child_process.h"

namespace xb {
namespace {

using namespace memotest;

std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

class MemoProcessTest : public xbtest::EngineTest {
protected:
    void SetUp() override { InstallMemoUnit(engine()); }
};

TEST_F(MemoProcessTest, TwoWritersLoseNothing) {
    constexpr int kRounds = 100;
    for (const Flavour& f : {kFlavours[0], kFlavours[2], kFlavours[3]}) {
        SCOPED_TRACE(f.label);
        const std::string base =
            tmp.file(std::string("partage") + std::to_string(f.version) + "_" + std::to_string(f.blockSize));
        MakeMemoTable(base, f.version, f.blockSize);
        ASSERT_TRUE(Use(base + ".dbf", nullptr, 0));
        for (int r = 1; r <= 8; ++r) AppendWithMemos("r" + std::to_string(r), 0);
        CloseDatabase();

        xbtest::ChildProcess a, b;
        for (auto* c : {&a, &b}) {
            ASSERT_EQ(c->ask("memounit"), "0");
            ASSERT_EQ(c->ask("use " + base + ".dbf"), "0");
        }
        std::string answerA, answerB;
        std::thread ta(
            [&] { answerA = a.ask("memoloop 1 4 " + std::to_string(kRounds) + " A " + base + ".a.log"); });
        std::thread tb(
            [&] { answerB = b.ask("memoloop 5 8 " + std::to_string(kRounds) + " B " + base + ".b.log"); });
        ta.join();
        tb.join();
        EXPECT_EQ(answerA, "0");
        EXPECT_EQ(answerB, "0");
        a.finish();
        b.finish();

        ASSERT_TRUE(Use(base + ".dbf", nullptr, 0));
        // Every memo either process wrote is still there, whole, at its own block.
        std::set<int32_t> blocks;
        std::map<int32_t, std::string> lastOf;
        for (const char* tag : {"a", "b"}) {
            std::istringstream log(xbtest::ReadFileBytes(base + "." + tag + ".log"));
            int32_t block;
            std::string hex;
            int lines = 0;
            while (log >> block >> hex) {
                ++lines;
                EXPECT_TRUE(blocks.insert(block).second) << "block " << block << " handed out twice";
                EXPECT_EQ(Read(block), unhex(hex)) << "block " << block;
            }
            EXPECT_EQ(lines, kRounds * 5);
        }
        // Each record points at the last text its writer gave it.
        for (int r = 1; r <= 8; ++r) {
            const std::string text = Read(BlockOf(r, 2));
            const std::string head = std::string(r <= 4 ? "A" : "B") + " record " + std::to_string(r) +
                                     " round " + std::to_string(kRounds) + "\r\n";
            EXPECT_EQ(text.substr(0, head.size()), head) << r;
        }
        CloseDatabase();
    }
}

}  // namespace
}  // namespace xb
