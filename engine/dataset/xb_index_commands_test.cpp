// The command layer on index orders: selecting an order, seeking keys, scanning a key range under a
// while-condition, Locate through the order and Reindex.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_search.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"
#include "tests/support/index_commands_fixture.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

using xbtest::IndexCommandsTest;
using xbtest::padNum;
using xbtest::rtrim;

// ---- keys and orders ----

class NamesTest : public IndexCommandsTest {
protected:
    std::unique_ptr<TXbDbf> names() {
        auto t = open("names.dbf", {"nom, C, 6, 0", "num, N, 3, 0"},
                      {"NOM,F,F,nom", "", "NUM,F,F,num", "", "DNOM,T,F,nom", ""});
        int n = 0;
        for (const char* s : {"b", "abd", "ca", "abc", "a"})
            addRow(*t, {{"nom", s}, {"num", std::to_string(++n)}});
        return t;
    }
};

TEST_F(NamesTest, FindAndFindExact) {
    auto t = names();
    ASSERT_TRUE(t->SetOrderToTag("nom"));  // tag names in any case
    struct Case {
        const char* op;
        std::string key;
        bool found;
        std::string standsOn;  // the name shown afterwards
        bool eof;
    } cases[] = {
        {"Find", "abc", true, "abc", false},
        {"Find", "ab", true, "abc", false},  // the first key that begins with the text
        {"Find", "b", true, "b", false},
        {"Find", "zz", false, "ca", true},  // beyond the last key: the last record, at EOF
        {"Find", "aa", false, "ca", true},  // a miss in the middle ends the same way
        {"FindExact", "ab", false, "ca", true},
        {"FindExact", "abc", true, "abc", false},
        {"FindExact", "a", true, "a", false},
        {"Find", "", false, "a", false},  // an empty key is no search: the dataset stays where it was
        {"Find", "ab" + std::string(200, 'x'), false, "ca", true},  // cut to 100 characters, then sought
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " '" + c.key.substr(0, 10) + "'");
        t->GoTop();
        const bool exact = std::string(c.op) == "FindExact";
        EXPECT_EQ(exact ? t->FindExact(c.key) : t->Find(c.key), c.found);
        EXPECT_EQ(rtrim(t->FieldGetStr("nom")), c.standsOn);
        EXPECT_EQ(t->IsEof(), c.eof);
        EXPECT_EQ(*IndexFoundFlag(), c.found);
        EXPECT_FALSE(ExactIsOn());  // FindExact puts the setting back
        EXPECT_EQ(engine().errors.pendingError, 0);
    }
    // With exact on already, Find seeks exactly and leaves it on.
    SetExactOn();
    EXPECT_FALSE(t->Find("ab"));
    EXPECT_TRUE(t->FindExact("ab") == false && ExactIsOn());
    SetExactOff();

    // A descending order: "beyond the last" is below every key.
    ASSERT_TRUE(t->SetOrderToTag("DNOM"));
    EXPECT_TRUE(t->Find("ab"));
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "abd");
    EXPECT_FALSE(t->Find("0"));
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "a");
    EXPECT_TRUE(t->IsEof());
}

TEST_F(NamesTest, ADatasetAppendFilesTheWholeRowOnceWithoutWalkingTheOrderFirst) {
    auto t = names();  // shared: the append takes the append lock and the index's write bracket
    ASSERT_TRUE(t->SetOrderToTag("NOM"));

    // An append starts at the end of the order: a cancelled one leaves the dataset on the last record,
    // and the area with it.
    ASSERT_TRUE(t->Find("abc"));
    t->Append();
    t->Cancel();
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "ca");
    t->Skip(-1);
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "b");

    // A posted one stands on the new row, in its place in the order, wherever the dataset stood before.
    ASSERT_TRUE(t->Find("abc"));
    const auto before = platform::FileCalls();
    t->Append();
    t->FieldByName("NOM").SetAsString("bb");
    t->FieldByName("NUM").SetAsInteger(6);
    t->Post();
    const auto spent = platform::FileCalls() - before;
    EXPECT_EQ(engine().errors.pendingError, 0);
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "bb");
    EXPECT_EQ(t->RecNo(), 6);
    t->Skip(1);
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "ca");
    t->Skip(-2);
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "b");
    // The append lock and the write bracket only: no walk of the order to its end beforehand.
    EXPECT_LE(spent.lock, 3u);

    // Every tag holds the new row once, under its key.
    const xbtest::MdxReport r = xbtest::CheckMdxFile(tmp.file("names.mdx"), {.freshBuild = false});
    ASSERT_TRUE(r.ok()) << r.text();
    ASSERT_EQ(r.tags.size(), 3u);
    for (const auto& tag : r.tags) {
        SCOPED_TRACE(tag.name);
        EXPECT_EQ(tag.entries.size(), 6u);
        const auto n = std::count_if(tag.entries.begin(), tag.entries.end(),
                                     [](const auto& e) { return e.record == 6; });
        EXPECT_EQ(n, 1);
    }
    const auto& nom = r.tags[0].entries;
    const auto it = std::find_if(nom.begin(), nom.end(), [](const auto& e) { return e.record == 6; });
    ASSERT_NE(it, nom.end());
    EXPECT_EQ(rtrim(it->key), "bb");
}

TEST_F(NamesTest, OrdersLocateAndReindex) {
    auto t = names();
    auto visit = [&] {
        std::vector<std::string> out;
        t->GoTop();
        for (int guard = 0; !t->IsEof() && guard < 20; ++guard) {
            out.push_back(rtrim(t->FieldGetStr("nom")));
            t->Skip(1);
        }
        return out;
    };
    ASSERT_TRUE(t->SetOrderToTag("NOM"));
    EXPECT_EQ(visit(), (std::vector<std::string>{"a", "abc", "abd", "b", "ca"}));
    ASSERT_TRUE(t->SetOrderToTag("DNOM"));
    EXPECT_EQ(visit(), (std::vector<std::string>{"ca", "b", "abd", "abc", "a"}));
    ASSERT_TRUE(t->SetOrderToTag(""));  // natural order
    EXPECT_EQ(visit(), (std::vector<std::string>{"b", "abd", "ca", "abc", "a"}));

    // An unknown tag is reported through the index engine's error routine: with trapping off that is
    // its exception; the order stays as it was.
    EXPECT_THROW(t->SetOrderToTag("ABSENT"), EEngineError);
    TakeErrorMessage();
    EXPECT_EQ(visit(), (std::vector<std::string>{"b", "abd", "ca", "abc", "a"}));

    // Locate seeks through the order: the key fields are not used, the values are the key.
    ASSERT_TRUE(t->SetOrderToTag("NOM"));
    EXPECT_TRUE(t->Locate("num", {std::string("abd")}, 0));
    EXPECT_EQ(t->FieldGetInt("num"), 2);
    EXPECT_FALSE(t->Locate("nom", {std::string("ab")}, 0));
    EXPECT_TRUE(t->Locate("nom", {std::string("ab")}, loPartialKey));
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "abc");
    ASSERT_TRUE(t->SetOrderToTag("NUM"));
    EXPECT_TRUE(t->Locate("num", {int32_t(3)}, 0));
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "ca");
    // Without an order the fields are searched one record after the other.
    ASSERT_TRUE(t->SetOrderToTag(""));
    EXPECT_TRUE(t->Locate("num", {int32_t(4)}, 0));
    EXPECT_EQ(rtrim(t->FieldGetStr("nom")), "abc");

    // Reindex rebuilds every tag and keeps the order.
    ASSERT_TRUE(t->SetOrderToTag("DNOM"));
    t->Reindex();
    EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
    EXPECT_EQ(visit(), (std::vector<std::string>{"ca", "b", "abd", "abc", "a"}));
    const xbtest::MdxReport report = xbtest::CheckMdxFile(tmp.file("names.mdx"), {true, 5});
    EXPECT_TRUE(report.ok()) << report.text();
    EXPECT_EQ(report.tags.size(), 3u);
}

// A while-condition with Skip visits exactly the range of a key, in key order.
TEST_F(IndexCommandsTest, WhileConditionScansExactlyTheKeyRange) {
    auto t = open("grp.dbf", {"grp, N, 3, 0", "seq, N, 5, 0"}, {"GRPSEQ,F,F,str(grp,3)+str(seq,5)", ""});
    std::mt19937 rng(12);
    std::map<int, std::vector<int>> model;
    for (int i = 0; i < 200; ++i) {
        const int g = static_cast<int>(rng() % 8) * 2 + 1;  // odd groups only
        const int s = static_cast<int>(rng() % 90000);
        model[g].push_back(s);
        addRow(*t, {{"grp", std::to_string(g)}, {"seq", std::to_string(s)}});
    }
    ASSERT_TRUE(t->SetOrderToTag("GRPSEQ"));
    for (int g = 0; g <= 17; ++g) {
        SCOPED_TRACE(g);
        std::vector<int> expected = model.count(g) ? model[g] : std::vector<int>{};
        std::sort(expected.begin(), expected.end());
        const bool found = t->Find(padNum(g, 3));
        EXPECT_EQ(found, !expected.empty());
        t->SetWhileTo("GRP=" + std::to_string(g));
        std::vector<int> seen;
        for (int guard = 0; !t->IsEof() && guard < 300; ++guard) {
            EXPECT_EQ(t->FieldGetInt("grp"), g);
            seen.push_back(t->FieldGetInt("seq"));
            t->Skip(1);
        }
        t->SetWhileTo("");
        EXPECT_EQ(seen, expected);
    }
}

// A table opened on a key stands on the key's first row (a deleted one passed over while deleted rows
// are hidden) and walks its range as a Find would; on a key it does not hold it shows no row until
// moved, and takes an append.
TEST_F(IndexCommandsTest, ATableOpenedOnAKeyStandsOnItsFirstRow) {
    std::map<int, std::vector<int>> model;
    {
        auto t = open("grp.dbf", {"grp, N, 3, 0", "seq, N, 5, 0"}, {"GRPSEQ,F,F,str(grp,3)+str(seq,5)", ""});
        std::mt19937 rng(7);
        for (int i = 0; i < 120; ++i) {
            const int g = static_cast<int>(rng() % 4) * 2 + 1, s = static_cast<int>(rng() % 90000);
            model[g].push_back(s);
            addRow(*t, {{"grp", std::to_string(g)}, {"seq", std::to_string(s)}});
        }
        for (auto& [g, seqs] : model) std::sort(seqs.begin(), seqs.end());
        // The first row of group 3 is deleted.
        ASSERT_TRUE(t->SetOrderToTag("GRPSEQ"));
        ASSERT_TRUE(t->Find(padNum(3, 3)));
        ASSERT_TRUE(t->RLock());
        t->DeleteRec();
        t->UnLock();
        model[3].erase(model[3].begin());
    }
    for (int g = 0; g <= 8; ++g) {
        SCOPED_TRACE(g);
        TXbDbf t;
        t.Name = "tdata";
        t.SetDbfFileName(tmp.file("grp.dbf"));
        t.ShowProgress = false;
        t.SetHideDeletedRecs(true);
        t.SetOpenKey("grpseq", padNum(g, 3));
        t.Open();
        ASSERT_TRUE(t.Active()) << ErrorMsg();
        const std::vector<int> expected = model.count(g) ? model[g] : std::vector<int>{};
        ASSERT_EQ(t.FindOpenKey(), !expected.empty());
        if (expected.empty()) {
            EXPECT_TRUE(t.IsEof() && t.Bof());
        } else {
            t.SetWhileTo("GRP=" + std::to_string(g));
            std::vector<int> seen;
            for (int guard = 0; !t.IsEof() && guard < 300; ++guard, t.Skip(1)) seen.push_back(t.FieldGetInt("seq"));
            t.SetWhileTo("");
            EXPECT_EQ(seen, expected);
        }
        // Later, FindOpenKey searches again: the same answer.
        t.GoTop();
        EXPECT_EQ(t.FindOpenKey(), !expected.empty());
        if (g == 4) {
            addRow(t, {{"grp", "4"}, {"seq", "5"}});
            EXPECT_TRUE(t.Find(padNum(4, 3)));
            EXPECT_EQ(t.FieldGetInt("seq"), 5);
        }
        EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
    }
}

// A table opened to stand nowhere shows no row and reads none of its rows or its order's nodes until
// it is moved; then it seeks, walks and takes an append as any open table.
TEST_F(IndexCommandsTest, ATableOpenedNowhereReadsNoRowUntilMoved) {
    {
        auto t = open("grp.dbf", {"grp, N, 3, 0", "seq, N, 5, 0"}, {"GRPSEQ,F,F,str(grp,3)+str(seq,5)", ""});
        for (int i = 0; i < 50; ++i) addRow(*t, {{"grp", std::to_string(i % 5)}, {"seq", std::to_string(i)}});
    }
    auto opened = [&](bool nowhere, uint64_t& reads) {
        auto t = std::make_unique<TXbDbf>();
        t->Name = nowhere ? "tnowhere" : "tfirst";
        t->SetDbfFileName(tmp.file("grp.dbf"));
        t->ShowProgress = false;
        t->SetOpenNowhere(nowhere);
        const uint64_t before = xb::platform::FileCalls().read;
        t->Open();
        reads = xb::platform::FileCalls().read - before;
        return t;
    };
    uint64_t firstReads = 0, nowhereReads = 0;
    opened(false, firstReads)->Close();
    auto t = opened(true, nowhereReads);
    ASSERT_TRUE(t->Active()) << ErrorMsg();
    EXPECT_TRUE(t->IsEof() && t->Bof());
    EXPECT_LT(nowhereReads, firstReads) << "the first row and its node read anyway";

    ASSERT_TRUE(t->SetOrderToTag("GRPSEQ"));
    ASSERT_TRUE(t->Find(padNum(3, 3)));
    EXPECT_EQ(t->FieldGetInt("seq"), 3);
    int rows = 0;
    for (t->GoTop(); !t->IsEof() && rows < 100; t->Skip(1)) ++rows;
    EXPECT_EQ(rows, 50);
    addRow(*t, {{"grp", "9"}, {"seq", "7"}});
    ASSERT_TRUE(t->Find(padNum(9, 3)));
    EXPECT_EQ(t->FieldGetInt("seq"), 7);
    EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
}

}  // namespace
