// The names of the files a table brings with it, in folders of any name, and what one engine leaves to
// the next: tables created, opened again, packed and reindexed through the dataset layer and through USE.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_search.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;
namespace fs = std::filesystem;

std::string rtrim(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

class FileNamesTest : public xbtest::EngineTest {
protected:
    FileNamesTest() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~FileNamesTest() override { IndexServices() = m_saved; }

    std::unique_ptr<TXbDbf> team(const std::string& file, bool exclusive = true, const char* name = "tequipe") {
        auto t = std::make_unique<TXbDbf>();
        t->Name = name;
        t->SetDbfFileName(file);
        t->DbfFields = {"nom, C, 8, 0", "note, M, 10, 0"};
        t->IndexList = {"NOM,F,F,nom", ""};
        t->ShowProgress = false;
        t->SetExclusive(exclusive);
        t->Open();
        return t;
    }
    static void addRow(TXbDbf& t, const std::string& name, bool memo = true) {
        t.AppendBlank();
        t.FieldPutStr("nom", name);
        if (memo) t.PutMField("note", {"of " + name});
        t.ReplaceRec();
    }
    // The names in the tag's order.
    static std::vector<std::string> walk(TXbDbf& t) {
        std::vector<std::string> out;
        t.GoTop();
        for (int guard = 0; !t.IsEof() && guard < 50; ++guard) {
            out.push_back(rtrim(t.FieldGetStr("nom")));
            t.Skip(1);
        }
        return out;
    }
    static std::vector<std::string> filesIn(const std::string& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    DatasetIndexServices m_saved;
    xbtest::ScriptedUi ui;
};

// Folder names a user may choose: the words of the USE command, blanks, accents, a quote, a leading dash.
const char* const kFolders[] = {"my EXCLUSIVE", "a ALIAS b", "l'\xC3\xA9quipe", "-x", "two  blanks here"};

TEST_F(FileNamesTest, AFolderOfAnyNameHoldsATableThroughTheDatasetLayer) {
    for (const char* folder : kFolders) {
        SCOPED_TRACE(folder);
        const std::string dir = tmp.file(folder);
        fs::create_directory(dir);
        {
            auto t = team(dir + "/equipe");
            ASSERT_TRUE(t->Active()) << ErrorMsg();
            for (const char* n : {"lyon", "brest", "agen", "nice"}) addRow(*t, n);
            ASSERT_TRUE(t->SetOrderToTag("NOM"));
            t->GoTop();  // agen
            t->DeleteRec();
            EXPECT_TRUE(t->Pack()) << ErrorMsg();
            t->Reindex();
            EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
            EXPECT_EQ(walk(*t), (std::vector<std::string>{"brest", "lyon", "nice"}));
        }
        auto again = team(dir + "/equipe");
        ASSERT_TRUE(again->Active()) << ErrorMsg();
        ASSERT_TRUE(again->SetOrderToTag("NOM"));
        EXPECT_EQ(walk(*again), (std::vector<std::string>{"brest", "lyon", "nice"}));
        std::vector<std::string> note;
        again->GoTop();
        again->GetMField("note", note);
        EXPECT_EQ(note, std::vector<std::string>{"of brest"});
        again->Close();
        EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"equipe.dbf", "equipe.dbt", "equipe.mdx"}));
        EXPECT_TRUE(xbtest::CheckMdxFile(dir + "/equipe.mdx", {true, 3}).ok());
    }
}

TEST_F(FileNamesTest, AQuotedPathInUseMayHoldTheCommandsWords) {
    for (const char* folder : kFolders) {
        SCOPED_TRACE(folder);
        const std::string dir = tmp.file(folder);
        fs::create_directory(dir);
        TableBlock created;
        ASSERT_TRUE(CreateDbf(created, dir + "/club", {{"nom", 'C', 8, 0}}));
        ASSERT_TRUE(Use("\"" + dir + "/club\" exclusive ALIAS club", nullptr, 0)) << ErrorMsg();
        EXPECT_EQ(CurrentBlock()->alias, "CLUB");
        EXPECT_TRUE(CurrentBlock()->exclusive);
        EXPECT_EQ(DbfName(), dir + "/club.dbf");
        ASSERT_TRUE(MakeIndex({{"NOM", "nom", "", false, false}}, ""));
        ASSERT_TRUE(SetIndexTo(""));
        for (const char* n : {"rodez", "alba", "metz"}) {
            ClearRecord();
            TypedSetString(FieldAddress(1), 8, n);
            ASSERT_TRUE(Append()) << ErrorMsg();
        }
        ASSERT_TRUE(Go(1));
        ASSERT_TRUE(DeleteRec());
        EXPECT_TRUE(Pack()) << ErrorMsg();
        EXPECT_TRUE(Reindex()) << ErrorMsg();
        EXPECT_EQ(RecCount(), 2);
        CloseDatabase();
        EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"club.dbf", "club.mdx"}));
        // The table opens again as the request the command stands for.
        ASSERT_TRUE(UseTable({.path = dir + "/club", .alias = "c"})) << ErrorMsg();
        EXPECT_EQ(CurrentBlock()->alias, "C");
        EXPECT_EQ(RecCount(), 2);
        CloseDatabase();
    }
}

// The table's extension gives the case of every file derived from it; another program's files in the
// other case are found.
TEST_F(FileNamesTest, DerivedFilesTakeTheCaseOfTheTablesExtension) {
    struct Case {
        const char* given;
        std::vector<std::string> files;
    } cases[] = {
        {"equipe", {"equipe.dbf", "equipe.dbt", "equipe.mdx"}},
        {"equipe.dbf", {"equipe.dbf", "equipe.dbt", "equipe.mdx"}},
        {"EQUIPE.DBF", {"EQUIPE.DBF", "EQUIPE.DBT", "EQUIPE.MDX"}},
        {"Equipe.Dbf", {"Equipe.Dbf", "Equipe.Dbt", "Equipe.Mdx"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        const std::string dir = tmp.file(std::string("d") + c.given);
        fs::create_directory(dir);
        {
            auto t = team(dir + "/" + c.given);
            ASSERT_TRUE(t->Active()) << ErrorMsg();
            addRow(*t, "caen");
        }
        EXPECT_EQ(filesIn(dir), c.files);
        // The memo and index files as another program on a case-sensitive system would name them.
        for (size_t i = 1; i < c.files.size(); ++i) {
            std::string other = c.files[i];
            const bool upper = std::isupper(static_cast<unsigned char>(other.back())) != 0;
            for (size_t k = other.find('.'); k < other.size(); ++k)
                other[k] = static_cast<char>(upper ? std::tolower(other[k]) : std::toupper(other[k]));
            fs::rename(dir + "/" + c.files[i], dir + "/" + other);
        }
        auto again = team(dir + "/" + c.given);
        ASSERT_TRUE(again->Active()) << ErrorMsg();
        ASSERT_TRUE(again->SetOrderToTag("NOM"));
        EXPECT_EQ(walk(*again), std::vector<std::string>{"caen"});
        std::vector<std::string> note;
        again->GoTop();
        again->GetMField("note", note);
        EXPECT_EQ(note, std::vector<std::string>{"of caen"});
        again->Close();
        EXPECT_EQ(filesIn(dir).size(), 3u);  // found, not created again beside
    }
}

// The production index made by the index engine itself marks the table, so that other programs open
// and keep it up; another index file does not.
TEST_F(FileNamesTest, CreatingTheTablesOwnIndexSetsTheProductionFlag) {
    for (const bool own : {true, false}) {
        SCOPED_TRACE(own);
        const std::string table = tmp.file(own ? "own.dbf" : "other.dbf");
        TableBlock created;
        ASSERT_TRUE(CreateDbf(created, table, {{"nom", 'C', 8, 0}}));
        ASSERT_TRUE(Use(table + " EXCLUSIVE", nullptr, 0));
        ASSERT_TRUE(MakeIndex({{"NOM", "nom", "", false, false}}, own ? "" : tmp.file("elsewhere")));
        CloseDatabase();
        EXPECT_EQ(xbtest::ReadFileBytes(table)[28], own ? 1 : 0);
    }
}

// A shared open of a table with its index and memo, and its close, cost a few calls of the file system
// (each a round trip on a network drive) whatever the case its files are named in; a second open finds
// the first one's semaphore file, and the last one out leaves none behind.
TEST_F(FileNamesTest, ASharedOpenAndCloseCostAFewCallsWhateverTheCaseOfTheNames) {
    struct Case {
        const char* given;
        std::vector<std::string> onDisk;  // table, memo, index
        const char* semaphore;
    } cases[] = {
        {"equipe", {"equipe.dbf", "equipe.dbt", "equipe.mdx"}, "equipe.@s@"},
        {"equipe", {"EQUIPE.DBF", "equipe.dbt", "Equipe.MDX"}, "EQUIPE.@s@"},
        {"EQUIPE.DBF", {"equipe.dbf", "EQUIPE.DBT", "EQUIPE.mdx"}, "equipe.@s@"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.onDisk[0] + " " + c.onDisk[2]);
        const std::string dir = tmp.file("shared" + std::to_string(n++));
        fs::create_directory(dir);
        {
            auto t = team(dir + "/equipe");
            ASSERT_TRUE(t->Active()) << ErrorMsg();
            for (const char* name : {"lyon", "brest", "agen"}) addRow(*t, name);
        }
        const char* made[] = {"equipe.dbf", "equipe.dbt", "equipe.mdx"};
        for (size_t i = 0; i < 3; ++i) fs::rename(dir + "/" + made[i], dir + "/" + c.onDisk[i]);

        auto before = platform::FileCalls();
        auto first = team(dir + "/" + c.given, false);
        const auto firstOpen = platform::FileCalls() - before;
        ASSERT_TRUE(first->Active()) << ErrorMsg();
        before = platform::FileCalls();
        auto second = team(dir + "/" + c.given, false, "tother");
        const auto secondOpen = platform::FileCalls() - before;
        ASSERT_TRUE(second->Active()) << ErrorMsg();
        EXPECT_TRUE(fs::exists(dir + "/" + c.semaphore));
        for (TXbDbf* t : {first.get(), second.get()}) {
            ASSERT_TRUE(t->SetOrderToTag("NOM"));
            EXPECT_EQ(walk(*t), (std::vector<std::string>{"agen", "brest", "lyon"}));
            std::vector<std::string> note;
            t->GoTop();
            t->GetMField("note", note);
            EXPECT_EQ(note, std::vector<std::string>{"of agen"});
        }
        before = platform::FileCalls();
        second->Close();
        const auto secondClose = platform::FileCalls() - before;
        before = platform::FileCalls();
        first->Close();
        const auto lastClose = platform::FileCalls() - before;
        EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
        // Each name looked up once, in one listing (its open, two reads of its entries, its close); each
        // header read once; the semaphore's login and logout in a few calls each. Each file's open is
        // three calls (the open, the look at what it opened, one lock of its sharing bytes).
        EXPECT_EQ(firstOpen.list, 4u);
        EXPECT_LE(firstOpen.total(), 30u);
        EXPECT_LE(secondOpen.total(), 31u);
        // The sizes of the table, its memo, its semaphore and its index come with their opens, and the
        // index's first descent goes by the size its open took (the look at the semaphore after the
        // headers found nobody's change). The first record read is the index's first key's.
        EXPECT_EQ(firstOpen.stat, 4u);
        EXPECT_EQ(secondOpen.stat, 4u);
        EXPECT_LE(secondClose.total(), 12u);
        EXPECT_LE(lastClose.total(), 10u);
        std::vector<std::string> want = c.onDisk;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(filesIn(dir), want);
    }
}

// What one engine set up stays with it: a later engine in the same process starts from nothing.
TEST_F(FileNamesTest, TwoEngineLifetimesShareNothing) {
    const std::string table = tmp.file("club.dbf");
    auto useAndFind = [&](bool exclusive) {
        ASSERT_TRUE(UseTable({.path = table, .exclusive = exclusive}, nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        ASSERT_TRUE(SetOrderToTag("NOM"));
        EXPECT_TRUE(Find("metz"));
        EXPECT_EQ(RecNo(), 2);
    };
    {
        auto t = std::make_unique<TXbDbf>();
        t->SetDbfFileName(table);
        t->DbfFields = {"nom, C, 8, 0"};
        t->IndexList = {"NOM,F,F,nom", ""};
        t->ShowProgress = false;
        t->SetExclusive(true);
        t->Open();
        addRow(*t, "rodez", false);
        addRow(*t, "metz", false);
    }
    int steps = 0;
    SetMakeIndexProgress([&] { ++steps; }, 10);
    SetExactOn();
    useAndFind(false);  // shared: this engine logs in to the index semaphore
    CloseAllDatabases();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Engine next(platform::LocaleFactsFromName("en_US"));
        SetErrorTrap(false);
        // Nothing of the first engine: no index services, no progress hook, exact off, no logins.
        EXPECT_FALSE(static_cast<bool>(IndexServices().setIndexTo));
        EXPECT_FALSE(ExactIsOn());
        InstallEngineUnits(next);
        EXPECT_TRUE(static_cast<bool>(IndexServices().setIndexTo));
        useAndFind(true);
        const int before = steps;
        ASSERT_TRUE(Reindex()) << ErrorMsg();
        EXPECT_EQ(steps, before);  // the hook was the first engine's
        CloseAllDatabases();
    }
    // The first engine still has its own.
    EXPECT_TRUE(static_cast<bool>(IndexServices().setIndexTo));
    EXPECT_TRUE(ExactIsOn());
    SetExactOff();
}

}  // namespace
