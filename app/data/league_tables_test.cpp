// The nine league tables opened on an empty directory with the real index build, tag lists and
// semaphore: what opening creates, and when opening again rebuilds. Opening an index for an area is the
// index driver's (a later unit); a stand-in checks that the file is there and readable.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <map>

#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "app/data/league_tables.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_format.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class LeagueTablesTest : public xbtest::EngineTest {
protected:
    LeagueTablesTest() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~LeagueTablesTest() override { IndexServices() = m_saved; }

    std::unique_ptr<TXbDbf> component(const app::LeagueTable& def) {
        auto t = std::make_unique<TXbDbf>();
        t->Name = "t" + def.file.substr(0, def.file.find('.'));
        t->SetDbfFileName(tmp.file(def.file));
        t->DbfFields = def.fields;
        t->IndexList = def.indexList();
        t->CreateIndex = TCreateIndexType::ciVerifyHeader;
        t->AutoFixRecCount = true;
        t->ShowProgress = false;
        t->OnBeforeMakeIndex = [this](TXbFileDataSet&, const std::string& mdx, bool&) { built.push_back(mdx); };
        return t;
    }
    std::vector<std::unique_ptr<TXbDbf>> openAll(const std::vector<app::LeagueTable>& defs) {
        std::vector<std::unique_ptr<TXbDbf>> out;
        for (const auto& d : defs) {
            out.push_back(component(d));
            out.back()->Open();
        }
        return out;
    }
    std::string mdxOf(const app::LeagueTable& d) {
        return tmp.file(d.file.substr(0, d.file.find('.')) + ".mdx");
    }

    std::vector<std::string> built;
    xbtest::ScriptedUi ui;

private:
    DatasetIndexServices m_saved;
};

TEST_F(LeagueTablesTest, EmptyDirectoryBecomesTheDatabaseAndReopensWithoutRebuilding) {
    const auto& defs = app::LeagueTables();
    {
        auto tables = openAll(defs);
        EXPECT_EQ(built.size(), 9u);
        for (const auto& d : defs) {
            SCOPED_TRACE(d.file);
            EXPECT_TRUE(platform::FileExists(tmp.file(d.file)));
            std::vector<std::string> list;
            GetIndexTagList(mdxOf(d), list);
            const std::vector<std::string> want = d.indexList();
            ASSERT_EQ(list.size(), want.size());
            for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(upper(list[i]), upper(want[i]));
        }
        EXPECT_TRUE(platform::FileExists(tmp.file("joueur.dbt")));
        EXPECT_EQ(platform::ListMatching(tmp.path(), "*.dbf").size(), 9u);
        EXPECT_EQ(platform::ListMatching(tmp.path(), "*.mdx").size(), 9u);
        EXPECT_EQ(platform::ListMatching(tmp.path(), "*.dbt").size(), 1u);
        for (auto& t : tables) {
            t->Append();
            t->Fields(0).SetAsInteger(7);
            t->Post();
            EXPECT_EQ(t->RecordCount(), 1);
        }
    }
    std::map<std::string, std::string> bytes;
    for (const auto& d : defs) bytes[d.file] = xbtest::ReadFileBytes(mdxOf(d));

    built.clear();
    {
        auto tables = openAll(defs);
        EXPECT_TRUE(built.empty());
        for (const auto& d : defs) EXPECT_EQ(xbtest::ReadFileBytes(mdxOf(d)), bytes[d.file]) << d.file;
    }

    // A difference of case only is the same index; a changed key expression is not.
    auto changed = defs;
    changed[4].tags[1] = "nomequipe,f,f,NOMEQUIPE";
    changed[0].tags[0] = "ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,5)";
    built.clear();
    {
        auto tables = openAll(changed);
        EXPECT_EQ(built, (std::vector<std::string>{mdxOf(defs[0])}));
        EXPECT_EQ(xbtest::ReadFileBytes(mdxOf(defs[4])), bytes["equipe.dbf"]);
        std::vector<std::string> list;
        GetIndexTagList(mdxOf(defs[0]), list);
        EXPECT_EQ(list[0], "ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,5)");
        EXPECT_EQ(tables[0]->RecordCount(), 1);
    }
}

TEST_F(LeagueTablesTest, ASemaphoreDatedTodayOnlyOpens) {
    const auto& defs = app::LeagueTables();
    { auto t = component(defs[0]); t->Open(); }
    const std::string sem = tmp.file("champan.@s@");
    xbtest::WriteFileBytes(sem, std::string(4, '\0'));
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    utimbuf times{std::mktime(&tm), std::mktime(&tm)};
    ASSERT_EQ(utime(sem.c_str(), &times), 0);
    auto changed = defs[0];
    changed.tags[0] = "ANNEECHAMP,F,F,str(annee,4)";
    built.clear();
    auto t = component(changed);
    t->Open();
    EXPECT_TRUE(built.empty());
    EXPECT_TRUE(platform::FileExists(sem));
}

}  // namespace
