// The index part of opening a table: which CreateIndex mode builds, opens or rebuilds the MDX, the
// semaphore that keeps a station from rebuilding an index in use, the description lists and the events.
// The index engine is stood in for by services that record what they are asked.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <map>

#include "engine/core/errors.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

// Dates a file at noon of a day of December 2026 (the suite's today is the 7th).
void dateFile(const std::string& path, int day) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    utimbuf t{std::mktime(&tm), std::mktime(&tm)};
    ASSERT_EQ(utime(path.c_str(), &t), 0);
}

class IndexOpeningTest : public xbtest::EngineTest {
protected:
    IndexOpeningTest() : m_saved(IndexServices()) {
        DatasetIndexServices& s = IndexServices();
        s.makeIndex = [this](const std::vector<TIndexTagDescriptor>& tags, const std::string& mdx) {
            ++builds;
            built = tags;
            std::string content;
            for (const auto& t : tags)
                content += t.tagName + "," + (t.descending ? "T" : "F") + "," + (t.unique ? "T" : "F") + "," +
                           t.keyExpr + "\n" + t.forExpr + "\n";
            if (stepsDuringBuild > 0 && step)
                for (int i = 0; i < stepsDuringBuild; ++i) step();
            xbtest::WriteFileBytes(mdx, content);
            return true;
        };
        s.setIndexTo = [this](const std::string& mdx) {
            ++opens;
            if (!platform::FileExists(mdx)) {
                SetEngineError(2, "File not found " + mdx + " [SetIndexTo]");
                return false;
            }
            if (xbtest::ReadFileBytes(mdx) == "corrupt") {
                SetEngineError(222, "Corrupted index file " + mdx + " [SetIndexTo]");
                return false;
            }
            if (xbtest::ReadFileBytes(mdx) == "locked") {
                SetEngineError(221, "Index file not open [SetIndexTo]");
                return false;
            }
            return true;
        };
        s.getIndexTagList = [](const std::string& mdx, std::vector<std::string>& lines) {
            std::string c = xbtest::ReadFileBytes(mdx), line;
            lines.clear();
            for (char ch : c) {
                if (ch == '\n') {
                    lines.push_back(line);
                    line.clear();
                } else {
                    line += ch;
                }
            }
            return true;
        };
        s.semaphoreFileName = [this] { return tmp.file("t.@s@"); };
        s.setProgressHook = [this](std::function<void()> cb, int steps) {
            step = std::move(cb);
            hookSteps = steps;
        };
    }
    ~IndexOpeningTest() override { IndexServices() = m_saved; }

    std::unique_ptr<TXbDbf> table(TCreateIndexType mode) {
        auto t = std::make_unique<TXbDbf>();
        t->Name = "tresult";
        t->SetDbfFileName(tmp.file("t.dbf"));
        t->DbfFields = {"nuchamp, N, 3, 0", "nom, C, 20, 0"};
        t->IndexList = {"NUCHAMP,F,F,str(nuchamp,3)", "", "NOM,F,T,upper(nom)", "nuchamp > 0"};
        t->CreateIndex = mode;
        return t;
    }

    int builds = 0, opens = 0, hookSteps = 0, stepsDuringBuild = 0;
    std::vector<TIndexTagDescriptor> built;
    std::function<void()> step;
    xbtest::ScriptedUi ui;

private:
    DatasetIndexServices m_saved;
};

TEST_F(IndexOpeningTest, DescriptionListsParse) {
    auto t = table(TCreateIndexType::ciNotFound);
    t->IndexList = {"A,T,F,str(x,3)+nom", "x > 1", "LONGTAGNAME123,F,T,nom"};
    EXPECT_EQ(t->IndexTagCount(), 2);
    const auto tags = t->ParseIndexList();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].tagName, "A");
    EXPECT_TRUE(tags[0].descending);
    EXPECT_FALSE(tags[0].unique);
    EXPECT_EQ(tags[0].keyExpr, "str(x,3)+nom");
    EXPECT_EQ(tags[0].forExpr, "x > 1");
    EXPECT_EQ(tags[1].tagName, "LONGTAGNAM");
    EXPECT_TRUE(tags[1].unique);
    EXPECT_EQ(tags[1].keyExpr, "nom");
    EXPECT_EQ(tags[1].forExpr, "");
}

TEST_F(IndexOpeningTest, DecisionTable) {
    enum Mdx { Missing, Busy, Free, FreeOtherTags, FreeCaseOnly, Corrupt };
    struct Case {
        TCreateIndexType mode;
        Mdx mdx;
        int builds;
    } cases[] = {
        {TCreateIndexType::ciNotFound, Missing, 1},       {TCreateIndexType::ciNotFound, Busy, 0},
        {TCreateIndexType::ciNotFound, Free, 0},          {TCreateIndexType::ciNotFound, Corrupt, 1},
        {TCreateIndexType::ciAlways, Missing, 1},         {TCreateIndexType::ciAlways, Busy, 0},
        {TCreateIndexType::ciAlways, Free, 1},            {TCreateIndexType::ciVerifyHeader, Missing, 1},
        {TCreateIndexType::ciVerifyHeader, Busy, 0},      {TCreateIndexType::ciVerifyHeader, Free, 0},
        {TCreateIndexType::ciVerifyHeader, FreeOtherTags, 1}, {TCreateIndexType::ciVerifyHeader, FreeCaseOnly, 0},
        {TCreateIndexType::ciVerifyHeader, Corrupt, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.mode)) + "/" + std::to_string(c.mdx));
        {
            auto t = table(TCreateIndexType::ciNotFound);
            t->Open();  // creates the table and a matching index
        }
        const std::string mdx = tmp.file("t.mdx");
        const std::string sem = tmp.file("t.@s@");
        std::remove(sem.c_str());
        if (c.mdx == Missing) std::remove(mdx.c_str());
        if (c.mdx == Corrupt) xbtest::WriteFileBytes(mdx, "corrupt");
        if (c.mdx == Busy) {
            xbtest::WriteFileBytes(sem, "busy");
            dateFile(sem, 7);
        }
        if (c.mdx == FreeOtherTags) xbtest::WriteFileBytes(mdx, "NUCHAMP,F,F,str(nuchamp,5)\n\nNOM,F,T,upper(nom)\nnuchamp > 0\n");
        if (c.mdx == FreeCaseOnly) xbtest::WriteFileBytes(mdx, "nuchamp,f,f,STR(NUCHAMP,3)\n\nNom,F,T,UPPER(nom)\nNUCHAMP > 0\n");
        builds = 0;
        auto t = table(c.mode);
        t->Open();
        EXPECT_EQ(builds, c.builds);
        EXPECT_TRUE(t->Active());
        EXPECT_EQ(engine().errors.pendingError, 0);
    }
}

TEST_F(IndexOpeningTest, AnIndexThatCannotBeOpenedFailsTheOpenWithItsError) {
    {
        auto t = table(TCreateIndexType::ciNotFound);
        t->Open();
    }
    xbtest::WriteFileBytes(tmp.file("t.mdx"), "locked");
    auto t = table(TCreateIndexType::ciNotFound);
    try {
        t->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "Dataset error: Error # 221 (Index file not open)\r\nIndex file not open [SetIndexTo]");
    }
    EXPECT_EQ(t->Area(), 0);
    EXPECT_EQ(engine().errors.pendingError, 0);
}

TEST_F(IndexOpeningTest, BuildShowsProgressAndCallsTheEvents) {
    stepsDuringBuild = 100;
    auto t = table(TCreateIndexType::ciNotFound);
    std::vector<std::string> events;
    t->OnBeforeMakeIndex = [&](TXbFileDataSet&, const std::string& name, bool&) { events.push_back("before " + name); };
    t->OnAfterMakeIndex = [&](TXbFileDataSet&, const std::string& name) { events.push_back("after " + name); };
    t->Open();
    const std::string mdx = tmp.file("t.mdx");
    EXPECT_EQ(events, (std::vector<std::string>{"before " + mdx, "after " + mdx}));
    EXPECT_EQ(hookSteps, 0);  // cleared after the build
    ASSERT_EQ(ui.progress.size(), 102u);
    EXPECT_EQ(ui.progress.front(), "start Indexing " + mdx + "... 100");
    EXPECT_EQ(ui.progress[100], "step 100");
    EXPECT_EQ(ui.progress.back(), "end");
    ASSERT_EQ(built.size(), 2u);
    EXPECT_EQ(built[1].forExpr, "nuchamp > 0");
}

TEST_F(IndexOpeningTest, RefusedBuildClearsTheIndexFlag) {
    auto t = table(TCreateIndexType::ciNotFound);
    t->OnBeforeMakeIndex = [](TXbFileDataSet&, const std::string&, bool& canMake) { canMake = false; };
    t->Open();
    EXPECT_EQ(builds, 0);
    t->Close();
    const std::string raw = xbtest::ReadFileBytes(tmp.file("t.dbf"));
    EXPECT_EQ(raw[28], 0);  // no production index
    EXPECT_FALSE(platform::FileExists(tmp.file("t.mdx")));
}

TEST_F(IndexOpeningTest, NoIndexListOpensAnExistingProductionIndexOnly) {
    {
        auto t = table(TCreateIndexType::ciNotFound);
        t->Open();
    }
    auto t = table(TCreateIndexType::ciAlways);
    t->IndexList.clear();
    opens = 0;
    builds = 0;
    t->Open();
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(opens, 1);
}

TEST_F(IndexOpeningTest, SemaphoreOfAnEarlierDayIsErasedUnlessHeld) {
    auto t = table(TCreateIndexType::ciNotFound);
    t->Open();
    const std::string sem = tmp.file("t.@s@");

    xbtest::WriteFileBytes(sem, "x");
    dateFile(sem, 6);
    EXPECT_FALSE(t->IndexSemaphoreBusy());
    EXPECT_FALSE(platform::FileExists(sem));

    xbtest::WriteFileBytes(sem, "x");
    dateFile(sem, 7);
    EXPECT_TRUE(t->IndexSemaphoreBusy());
    EXPECT_TRUE(platform::FileExists(sem));

    // Another station still has yesterday's file open: it stays, and counts as in use.
    xbtest::WriteFileBytes(sem, "x");
    dateFile(sem, 6);
    xbtest::ChildProcess other;
    ASSERT_EQ(other.ask("open s " + sem + " 66"), "0");
    EXPECT_TRUE(t->IndexSemaphoreBusy());
    EXPECT_TRUE(platform::FileExists(sem));
    other.ask("close s");
    EXPECT_FALSE(t->IndexSemaphoreBusy());
    EXPECT_FALSE(platform::FileExists(sem));
}

}  // namespace
