// Several processes on one shared indexed table: four append and replace at random while a fifth walks
// every tag in key order. Afterwards every tag holds exactly what a rebuild from the table gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/semaphore_file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace xb {
namespace {

using xbtest::ChildProcess;

// The same table the child's index commands know: num, nom, station, seq.
const std::vector<FieldDef> kFields = {
    {"num", 'N', 6, 0}, {"nom", 'C', 12, 0}, {"station", 'C', 2, 0}, {"seq", 'N', 8, 0}};
const std::vector<TagDefinition> kTags = {
    {"NUM", "num", "", false, false},
    {"NOM", "nom", "", false, false},
    {"STSEQ", "station+str(seq,8)", "", false, false},
};

// How long the stations run: 30 seconds unless LM_INDEX_PROCESS_SECONDS says otherwise.
double runSeconds() {
    const char* s = std::getenv("LM_INDEX_PROCESS_SECONDS");
    return s ? std::atof(s) : 30.0;
}

class IndexProcesses : public xbtest::EngineTest {
protected:
    std::string path;
    void SetUp() override {
        InstallExpressionEngine(engine());
        InstallIndexEngine(engine());
        SetErrorTrap(false);
        path = tmp.file("shared.dbf");
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, path, kFields));
        CloseDbf(b);
        ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0));
        for (int i = 1; i <= 200; ++i) {
            ClearRecord();
            TypedSetInt(FieldAddress(1), (i * 7919) % 100000);
            TypedSetString(FieldAddress(2), 12, "Start" + std::to_string(i % 37));
            TypedSetString(FieldAddress(3), 2, "P");
            TypedSetInt(FieldAddress(4), i);
            ASSERT_TRUE(Append());
        }
        ASSERT_TRUE(MakeIndex(kTags, "")) << ErrorMsg();
        CloseAllDatabases();
    }
    // Each tag's entries sorted by key and record: maintenance files equal keys in another order than a
    // rebuild, which is the same tag.
    static std::vector<std::vector<xbtest::MdxEntry>> entriesOf(const xbtest::MdxReport& report) {
        std::vector<std::vector<xbtest::MdxEntry>> out;
        for (const auto& tag : report.tags) {
            auto e = tag.entries;
            std::stable_sort(e.begin(), e.end(),
                             [](const xbtest::MdxEntry& a, const xbtest::MdxEntry& b) { return a.record < b.record; });
            std::stable_sort(e.begin(), e.end(), [&](const xbtest::MdxEntry& a, const xbtest::MdxEntry& b) {
                return xbtest::CompareTagKeys(tag.type, tag.descending, a.key, b.key) < 0;
            });
            out.push_back(std::move(e));
        }
        return out;
    }
};

TEST_F(IndexProcesses, FourWritersAndAWalkerKeepEveryTagSound) {
    const double seconds = runSeconds();
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 5; ++i) {
        children.push_back(std::make_unique<ChildProcess>());
        ChildProcess& c = *children.back();
        ASSERT_EQ(c.ask("indexunit"), "0");
        ASSERT_EQ(c.ask("use " + path), "0");
        ASSERT_EQ(c.ask("setindex"), "1");
    }
    // The run goes in rounds of at most ten seconds, each station answering at the end of each round.
    long appended = 0;
    long walks = 0;
    for (double done = 0; done < seconds; done += 10) {
        const double round = std::min(10.0, seconds - done);
        std::vector<std::string> answers(children.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < children.size(); ++i) {
            const std::string cmd = i < 4 ? "indexwrite " + std::to_string(round) + " " +
                                                std::to_string(1000 + 10 * static_cast<int>(done) + i) + " W" +
                                                std::to_string(i)
                                          : "indexwalk " + std::to_string(round);
            threads.emplace_back([&answers, &children, i, cmd] { answers[i] = children[i]->ask(cmd); });
        }
        for (auto& t : threads) t.join();
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE("writer " + std::to_string(i));
            ASSERT_FALSE(answers[i].empty()) << "the station ended";
            ASSERT_NE(answers[i][0], 'E') << answers[i];
            std::istringstream in(answers[i]);
            long appends = 0, replaces = 0;
            in >> appends >> replaces;
            EXPECT_GT(appends + replaces, 0);
            appended += appends;
        }
        ASSERT_FALSE(answers[4].empty()) << "the walker ended";
        ASSERT_NE(answers[4][0], 'E') << answers[4];
        ASSERT_NE(answers[4][0], 'X') << answers[4];
        walks += std::stol(answers[4]);
    }
    EXPECT_GT(walks, 0);
    for (auto& c : children) {
        EXPECT_EQ(c->ask("close"), "0");
        EXPECT_EQ(c->finish(), 0);
    }

    ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0));
    EXPECT_EQ(RecCount(), 200 + appended);
    const uint32_t count = static_cast<uint32_t>(RecCount());
    EXPECT_FALSE(platform::FileExists(tmp.file("shared.@s@")));
    const xbtest::MdxReport maintained = xbtest::CheckMdxFile(tmp.file("shared.mdx"), {false, count});
    ASSERT_TRUE(maintained.ok()) << maintained.text();
    ASSERT_TRUE(SetIndexTo(""));
    ASSERT_TRUE(Reindex()) << ErrorMsg();
    CloseAllDatabases();
    const xbtest::MdxReport rebuilt = xbtest::CheckMdxFile(tmp.file("shared.mdx"), {true, count});
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.text();
    const auto before = entriesOf(maintained);
    const auto after = entriesOf(rebuilt);
    ASSERT_EQ(before.size(), kTags.size());
    for (size_t t = 0; t < kTags.size(); ++t) {
        SCOPED_TRACE(kTags[t].name);
        EXPECT_EQ(before[t].size(), count);
        EXPECT_TRUE(before[t] == after[t]);
    }
}

}  // namespace
}  // namespace xb
