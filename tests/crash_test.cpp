// A writer killed at random moments: a child appends rows, replaces them with new names (splitting the
// name tag's nodes) and rewrites their memos until SIGKILL ends it. After every kill the table opens with
// AutoFixRecCount, every row is whole or absent, nothing the child had finished is lost, every memo reads
// back as its old or its new text, and a reindex gives tags that match the rows. The next child carries
// on with the same files.
//
// 20 kills by default; LM_CRASH_KILLS sets the number (the crash_200_kills entry of ctest runs 200).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/child_process.h"
#include "tests/support/crash_rows.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace xb;

const std::vector<std::string> kFields = {"id, N, 8, 0", "gen, N, 8, 0", "name, C, 40, 0", "chk, N, 10, 0",
                                          "notes, M, 10, 0"};
const std::vector<std::string> kIndexList = {
    "ID,F,F,id", "", "NAME,F,F,name", "", "GENID,F,F,str(gen,8)+str(id,8)", ""};

std::string pad8(int32_t v) {
    const std::string s = std::to_string(v);
    return std::string(8 - std::min<size_t>(8, s.size()), ' ') + s;
}

int killCount() {
    const char* s = std::getenv("LM_CRASH_KILLS");
    return s ? std::atoi(s) : 20;
}

// What the children said they finished: the rows appended and each row's last generation.
struct Finished {
    int32_t appended = 0;
    std::map<int32_t, int32_t> generation;
};

Finished readLog(const std::string& path) {
    Finished f;
    std::ifstream in(path);
    std::string kind;
    int32_t id = 0, gen = 0;
    while (in >> kind >> id) {
        if (kind == "A") {
            f.appended = std::max(f.appended, id);
            f.generation[id] = 0;
        } else if (in >> gen) {
            f.generation[id] = gen;
        }
    }
    return f;
}

class CrashTest : public xbtest::EngineTest {
protected:
    CrashTest() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~CrashTest() override { IndexServices() = m_saved; }

    std::unique_ptr<TXbDbf> open() {
        auto t = std::make_unique<TXbDbf>();
        t->Name = "tcrash";
        t->SetDbfFileName(tmp.file("crash.dbf"));
        t->DbfFields = kFields;
        t->IndexList = kIndexList;
        t->AutoFixRecCount = true;
        t->ShowProgress = false;
        t->Open();
        return t;
    }

    // Everything the table must show after a kill; the number of rows. seen holds each row's generation
    // as the last check found it: a replace the killed child had made but not yet logged counts as
    // finished for the next child, which takes its generation from the row.
    // before is the number of rows the last check found: a whole row that a killed child appended but
    // never logged is counted from then on, and the next child appends after it.
    int32_t checkAfterKill(const Finished& finished, int kill, std::map<int32_t, int32_t>& seen,
                           int32_t before) {
        SCOPED_TRACE("after kill " + std::to_string(kill));
        auto t = open();
        EXPECT_EQ(engine().errors.pendingError, 0) << engine().errors.detail;
        t->SetOrderToTag("");
        const int32_t count = t->RecCount();
        // The append in flight may be there or not; every finished one is, and so is every row an
        // earlier check found.
        const int32_t known = std::max(finished.appended, before);
        EXPECT_GE(count, known);
        EXPECT_LE(count, known + 1);
        int32_t r = 0;
        std::vector<std::string> nameKeys(1), genKeys(1);  // by record number
        for (t->GoTop(); !t->IsEof(); t->Skip(1)) {
            ++r;
            const int32_t id = t->FieldGetInt("id"), gen = t->FieldGetInt("gen");
            const std::string name = t->FieldGetStr("name");
            SCOPED_TRACE("row " + std::to_string(r));
            EXPECT_EQ(id, r);
            nameKeys.push_back(name);
            genKeys.push_back(pad8(gen) + pad8(id));
            EXPECT_EQ(t->FieldGetInt("chk"), xbtest::CrashRowHash(id, gen, name)) << "a torn row";
            // The replace in flight may have reached the row or not.
            const auto it = finished.generation.find(id);
            const int32_t done = std::max(it == finished.generation.end() ? 0 : it->second, seen[id]);
            seen[id] = gen;
            EXPECT_TRUE(gen == done || gen == done + 1) << "generation " << gen << ", finished " << done;
            std::vector<std::string> lines;
            t->GetMField("notes", lines);
            std::string memo;
            for (size_t i = 0; i < lines.size(); ++i) memo += (i ? "\r\n" : "") + lines[i];
            EXPECT_TRUE(memo == xbtest::CrashMemoText(id, gen) || memo == xbtest::CrashMemoText(id, gen + 1))
                << "memo of generation " << gen << ": [" << memo.substr(0, 60) << "]";
            if (::testing::Test::HasFailure()) break;
        }
        EXPECT_EQ(r, count);
        t->Reindex();
        EXPECT_EQ(engine().errors.pendingError, 0) << engine().errors.detail;
        t.reset();

        // The rebuilt tags hold exactly the rows' keys.
        const xbtest::MdxReport report =
            xbtest::CheckMdxFile(tmp.file("crash.mdx"), {true, static_cast<uint32_t>(count)});
        EXPECT_TRUE(report.ok()) << report.text();
        EXPECT_EQ(report.tags.size(), 3u);
        for (const auto& tag : report.tags) {
            SCOPED_TRACE(tag.name);
            EXPECT_EQ(tag.entries.size(), static_cast<size_t>(count));
            for (const auto& e : tag.entries) {
                if (e.record >= nameKeys.size()) break;  // the rows were wrong already
                const std::string want = tag.name == "ID"     ? std::to_string(e.record)
                                         : tag.name == "NAME" ? nameKeys[e.record]
                                                              : genKeys[e.record];
                EXPECT_EQ(tag.name == "ID" ? xbtest::NumericKeyText(e.key) : e.key, want)
                    << "record " << e.record;
            }
        }
        return count;
    }

private:
    DatasetIndexServices m_saved;
};

TEST_F(CrashTest, KilledWriterLeavesEveryRowWholeOrAbsent) {
    open().reset();  // makes the table, its memo file and its index
    ASSERT_EQ(engine().errors.pendingError, 0) << engine().errors.detail;
    const std::string log = tmp.file("finished.log");
    std::mt19937 rng(20261207);
    const int kills = killCount();
    int32_t rows = 0;
    std::map<int32_t, int32_t> seen;
    for (int kill = 1; kill <= kills; ++kill) {
        {
            xbtest::ChildProcess child;
            ASSERT_EQ(
                child.ask("crashwork " + tmp.file("crash.dbf") + " " + std::to_string(kill) + " " + log),
                "started");
            // Early kills land in the child's first writes, later ones deep in its run.
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 100000));
            child.kill();
        }
        rows = checkAfterKill(readLog(log), kill, seen, rows);
        if (HasFailure()) break;
    }
    EXPECT_GT(rows, 0);
    std::ifstream in(log);
    const long writes =
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
    std::cout << kills << " kills: " << writes << " writes finished, " << rows << " rows at the end\n";
}

}  // namespace
