#include "engine/index/index_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_search.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace xb {
namespace {

// The club table: a number, a name and a town; four tags over them.
const std::vector<FieldDef> kClubFields = {{"num", 'N', 5, 0}, {"nom", 'C', 10, 0}, {"ville", 'C', 8, 0}};
const std::vector<TagDefinition> kClubTags = {
    {"NOM", "nom", "", false, false},
    {"NUMERO", "num", "", false, false},
    {"VILLE", "ville+str(num,5)", "", false, false},
    {"DESCNUM", "num", "", true, false},
};
struct Club {
    int num;
    std::string nom, ville;
};
const std::vector<Club> kClubs = {
    {7, "Lyon", "Rhone"},  {3, "Nantes", "Loire"},  {12, "Brest", "Iroise"}, {1, "Lille", "Nord"},
    {9, "Nice", "Azur"},   {5, "Lens", "Nord"},     {11, "Metz", "Moselle"}, {2, "Angers", "Loire"},
    {8, "Reims", "Marne"}, {4, "Auxerre", "Yonne"},
};

class DriverTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        InstallExpressionEngine(engine());
        InstallIndexEngine(engine());
        SetErrorTrap(false);
    }
    void TearDown() override { CloseAllDatabases(); }

    std::string table(const std::string& name = "club") const { return tmp.file(name); }

    // Creates the table with the clubs and its production index with the club tags, and leaves it open.
    void makeClubs(bool exclusive = true, const std::vector<TagDefinition>& tags = kClubTags) {
        TableBlock t;
        ASSERT_TRUE(CreateDbf(t, table(), kClubFields)) << ErrorMsg();
        CloseDbf(t);
        use(exclusive);
        for (const Club& c : kClubs) appendClub(c);
        ASSERT_TRUE(MakeIndex(tags, "")) << ErrorMsg();
    }
    void use(bool exclusive = true) {
        ASSERT_TRUE(Use(table() + ".dbf" + (exclusive ? " EXCLUSIVE" : ""), nullptr, 0)) << ErrorMsg();
    }
    void setFields(const Club& c) {
        TypedSetInt(FieldAddress(FieldNo("num")), c.num);
        TypedSetString(FieldAddress(FieldNo("nom")), 10, c.nom);
        TypedSetString(FieldAddress(FieldNo("ville")), 8, c.ville);
    }
    void appendClub(const Club& c) {
        WorkAreaBlock* b = CurrentBlock();
        if (!b->exclusive) {
            ASSERT_TRUE(ALock());
        }
        ClearRecord();
        setFields(c);
        ASSERT_TRUE(Append()) << ErrorMsg();
        if (!b->exclusive) Unlock();
    }
    int num() { return TypedGetInt(FieldAddress(FieldNo("num"))); }

    // Record numbers in the order of a walk from the top.
    std::vector<int32_t> walk() {
        std::vector<int32_t> seen;
        EXPECT_TRUE(GoTop()) << ErrorMsg();
        while (!dEOF() && seen.size() < 1000) {
            seen.push_back(RecNo());
            if (!Skip(1)) break;
        }
        return seen;
    }
    // The record numbers of the clubs sorted by a tag's key, equal keys in record order.
    static std::vector<int32_t> expected(int order, const std::vector<Club>& clubs = kClubs) {
        std::vector<int32_t> r(clubs.size());
        for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<int32_t>(i + 1);
        auto key = [&](int32_t rec) {
            const Club& c = clubs[static_cast<size_t>(rec - 1)];
            char num[8];
            std::snprintf(num, sizeof num, "%5d", c.num);
            switch (order) {
                case 1:
                    return c.nom;
                case 2:
                    return std::string(num);
                case 3:
                    return (c.ville + std::string(8, ' ')).substr(0, 8) + num;
                default:
                    return std::string(num);
            }
        };
        std::stable_sort(r.begin(), r.end(), [&](int32_t a, int32_t b) {
            return order == 4 ? key(a) > key(b) : key(a) < key(b);
        });
        return r;
    }
    MdxArea& area() { return *CurrentMdxArea(); }
};

// ---- opening -------------------------------------------------------------------------------------------

TEST_F(DriverTest, OpensWithTagOneCurrentOnItsFirstKey) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    EXPECT_TRUE(IndexIsOpen());
    EXPECT_EQ(CurrentOrder(), 1);
    EXPECT_EQ(RecNo(), expected(1).front());
    for (int n = 1; n <= 4; ++n) {
        ASSERT_TRUE(area().tags[n]);
        EXPECT_EQ(area().tags[n]->number, n);
    }
    EXPECT_FALSE(area().tags[5]);
    // Any spelling of the name finds the file; the extension is the default one.
    CloseIndex();
    EXPECT_FALSE(IndexIsOpen());
    EXPECT_TRUE(SetIndexTo(tmp.file("CLUB")));
    EXPECT_TRUE(SetIndexTo(tmp.file("club.MDX")));
}

TEST_F(DriverTest, FailedOpensLeaveNoIndexAndNoLogin) {
    makeClubs(false);
    const std::string mdx = table() + ".mdx";
    const std::string good = xbtest::ReadFileBytes(mdx);
    // Another table whose field is longer than the key the tag was built with.
    TableBlock other;
    ASSERT_TRUE(
        CreateDbf(other, table("longer"), {{"num", 'N', 5, 0}, {"nom", 'C', 12, 0}, {"ville", 'C', 8, 0}}));
    CloseDbf(other);
    // A key whose expression now gives a number where the tag files text.
    TableBlock numeric;
    ASSERT_TRUE(CreateDbf(numeric, table("numeric"),
                          {{"num", 'N', 5, 0}, {"nom", 'N', 10, 0}, {"ville", 'C', 8, 0}}));
    CloseDbf(numeric);
    // A key over a field the table does not have.
    TableBlock foreign;
    ASSERT_TRUE(CreateDbf(foreign, table("foreign"), {{"num", 'N', 5, 0}}));
    CloseDbf(foreign);

    struct Case {
        const char* what;
        std::string bytes;      // the index file's content; empty: no file
        std::string tableName;  // the table the index is opened for
        uint16_t code;
    };
    MdxHeader header;
    std::copy(good.begin(), good.begin() + 2048, header.bytes.begin());
    std::string badType = good;
    badType[static_cast<size_t>(header.tagBlock(1)) * 512 + 9] = 'X';
    const std::vector<Case> cases = {
        {"missing file", "", "club", 2},
        {"header only", good.substr(0, 2048), "club", 222},
        {"header and zeros", good.substr(0, 2048) + std::string(1024, '\0'), "club", 222},
        {"no tags", std::string(3072, '\0'), "club", 222},
        {"key type X", badType, "club", 222},
        {"key longer than stored", good, "longer", 266},
        {"field missing", good, "foreign", 222},
        {"key of another type", good, "numeric", 222},
    };
    CloseAllDatabases();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tmp.file(c.tableName + ".mdx");
        std::filesystem::remove(path);
        if (!c.bytes.empty()) xbtest::WriteFileBytes(path, c.bytes);
        ASSERT_TRUE(Use(table(c.tableName) + ".dbf", nullptr, 0)) << ErrorMsg();
        bool ok = true;
        try {
            ok = SetIndexTo("");
        } catch (const EEngineError&) {
            ok = false;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(LastError(), c.code);
        EXPECT_FALSE(IndexIsOpen());
        EXPECT_EQ(CurrentOrder(), 0);
        EXPECT_FALSE(CurrentSemaphoreInfo().loggedIn);
        EXPECT_FALSE(platform::FileExists(SemaphoreFileName()));
        CloseDatabase();
    }
}

// ---- selecting the order ---------------------------------------------------------------------------------

TEST_F(DriverTest, TagNamesSelectCaseInsensitivelyAndWhole) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    struct Case {
        const char* name;
        int order;  // -1: refused with 220, the order unchanged
    };
    const std::vector<Case> cases = {
        {"numero", 2}, {"NoM", 1},      {"  ville  ", 3},     {"DESCNUM", 4},
        {"NUM", -1},   {"NUMEROS", -1}, {"numero extra", -1}, {"", 0},
        {"VILLE", 3},  {"N", -1},       {"descnum   x", 4},  // cut to ten characters before trimming
    };
    int current = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.order < 0) {
            EXPECT_THROW(SetOrderToTag(c.name), EEngineError);
            EXPECT_EQ(LastError(), 220);
            EXPECT_NE(ErrorMsg().find("SetOrderToTag("), std::string::npos);
        } else {
            EXPECT_TRUE(SetOrderToTag(c.name)) << ErrorMsg();
            current = c.order;
        }
        EXPECT_EQ(CurrentOrder(), current);
    }
}

TEST_F(DriverTest, OrderNumbersOutsideTheIndexAreRefused) {
    makeClubs();
    // No index open: 221.
    EXPECT_THROW(Set_Order_To(1), EEngineError);
    EXPECT_EQ(LastError(), 221);
    EXPECT_THROW(SetOrderToTag("NOM"), EEngineError);
    EXPECT_EQ(LastError(), 221);
    ASSERT_TRUE(SetIndexTo(""));
    ASSERT_TRUE(Set_Order_To(3));
    for (int n : {5, 6, 47, -1}) {
        SCOPED_TRACE(n);
        EXPECT_THROW(Set_Order_To(n), EEngineError);
        EXPECT_EQ(LastError(), 220);
        EXPECT_EQ(CurrentOrder(), 3);
    }
    // Without a table: 215, and no order.
    CloseAllDatabases();
    EXPECT_FALSE(Set_Order_To(1));
    EXPECT_EQ(LastError(), 215);
    EXPECT_EQ(CurrentOrder(), 0);
}

TEST_F(DriverTest, EachOrderWalksItsOwnKeysAndTagsStayInTheirSlots) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    for (int order : {3, 1, 3, 2, 4, 0, 1, 4, 4, 2}) {
        SCOPED_TRACE(order);
        ASSERT_TRUE(Set_Order_To(order)) << ErrorMsg();
        EXPECT_EQ(CurrentOrder(), order);
        if (order == 0) {
            EXPECT_EQ(walk(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        } else {
            EXPECT_EQ(walk(), expected(order));
        }
        // Slot 1 holds the current order, tag 1 is parked in its slot, every other tag is at home.
        const int current = area().tags[1]->number;
        for (int s = 1; s <= 4; ++s) {
            ASSERT_TRUE(area().tags[s]);
            const int want = s == 1 ? current : s == current ? 1 : s;
            EXPECT_EQ(area().tags[s]->number, want) << "slot " << s;
        }
    }
}

TEST_F(DriverTest, ChangingTheOrderKeepsTheRecordAndTheEnd) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    for (int32_t r : {1, 4, 10}) {
        SCOPED_TRACE(r);
        ASSERT_TRUE(Set_Order_To(1));
        ASSERT_TRUE(Go(r));
        ASSERT_TRUE(Set_Order_To(3));
        EXPECT_EQ(RecNo(), r);
        const std::vector<int32_t> order = expected(3);
        const size_t at = static_cast<size_t>(std::find(order.begin(), order.end(), r) - order.begin());
        ASSERT_TRUE(Skip(1));
        if (at + 1 < order.size())
            EXPECT_EQ(RecNo(), order[at + 1]);
        else
            EXPECT_TRUE(dEOF());
    }
    // At the end of one order, the next one stands at its end too.
    ASSERT_TRUE(GoBottom());
    Skip(1);
    ASSERT_TRUE(dEOF());
    ASSERT_TRUE(Set_Order_To(2));
    EXPECT_TRUE(dEOF());
    ASSERT_TRUE(Skip(-1));
    EXPECT_EQ(RecNo(), expected(2).back());
}

TEST_F(DriverTest, NaturalOrderWalksRecordsAndStillMaintainsEveryTag) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    ASSERT_TRUE(SetOrderToTag(""));
    EXPECT_EQ(CurrentOrder(), 0);
    EXPECT_TRUE(IndexIsOpen());
    std::vector<Club> clubs = kClubs;
    const Club added{6, "Caen", "Calvados"};
    appendClub(added);
    clubs.push_back(added);
    ASSERT_TRUE(Go(2));
    setFields({13, "Toulouse", "Garonne"});
    ASSERT_TRUE(Replace()) << ErrorMsg();
    clubs[1] = {13, "Toulouse", "Garonne"};
    std::vector<int32_t> all(clubs.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i + 1);
    EXPECT_EQ(walk(), all);
    for (int order = 1; order <= 4; ++order) {
        SCOPED_TRACE(order);
        ASSERT_TRUE(Set_Order_To(order));
        EXPECT_EQ(walk(), expected(order, clubs));
    }
}

// ---- the driver table entries --------------------------------------------------------------------------

TEST_F(DriverTest, DriverEntriesKeepTheirContract) {
    makeClubs();
    IndexDriver& d = *engine().tables.index;
    EXPECT_TRUE(engine().tables.indexLinked);
    EXPECT_FALSE(d.indexIsOpen());  // 0, without an index
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_TRUE(d.indexIsOpen());
    ASSERT_TRUE(Set_Order_To(2));
    const std::vector<int32_t> order = expected(2);

    // 4, 5: first and last keys.
    EXPECT_EQ(d.indexFirst(), order.front());
    EXPECT_EQ(d.indexLast(), order.back());
    // 2: the next key, the same record again at the end with EOF (6) set.
    ASSERT_TRUE(Go(order[order.size() - 2]));
    EXPECT_EQ(d.indexNext(), order.back());
    ASSERT_TRUE(Go(order.back()));
    EXPECT_EQ(d.indexNext(), order.back());
    EXPECT_TRUE(d.indexEof());
    // 3: the previous key, the same record again at the start with BOF (7) set.
    ASSERT_TRUE(Go(order[1]));
    EXPECT_EQ(d.indexPrior(), order.front());
    ASSERT_TRUE(Go(order.front()));
    EXPECT_EQ(d.indexPrior(), order.front());
    EXPECT_TRUE(d.indexBof());
    // 12, 13: the flags set on demand.
    ASSERT_TRUE(Go(order[3]));
    EXPECT_FALSE(d.indexEof());
    d.indexSetEof();
    EXPECT_TRUE(d.indexEof());
    d.indexSetBof();
    EXPECT_TRUE(d.indexBof());
    // 1: the order put on a record the area went to by record number.
    ASSERT_TRUE(Dbf4RawGo(order[4]));
    d.syncIndexOrder();
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(d.indexNext(), order[5]);
    // 14: the found flag of the last search.
    bool* found = d.indexFoundFlag();
    ASSERT_TRUE(Set_Order_To(1));
    EXPECT_TRUE(Find("Lens"));
    EXPECT_TRUE(*found);
    EXPECT_FALSE(Find("Paris"));
    EXPECT_FALSE(*found);
    // 23, 24: the brackets count per area.
    d.setReadSemaphore(true);
    EXPECT_EQ(CurrentSemaphoreInfo().readBrackets, 1);
    d.setReadSemaphore(false);
    d.setLockSemaphore(true);
    EXPECT_EQ(CurrentSemaphoreInfo().writeBrackets, 1);
    d.setLockSemaphore(false);
    EXPECT_EQ(CurrentSemaphoreInfo().writeBrackets, 0);
    // 16: closed, with the table still open.
    d.closeIndex();
    EXPECT_FALSE(d.indexIsOpen());
    EXPECT_TRUE(CurrentBlock());
}

TEST_F(DriverTest, EmptyOrdersAnswerCountPlusOne) {
    std::vector<TagDefinition> tags = kClubTags;
    tags.push_back({"NONE", "nom", "num > 100", false, false});
    makeClubs(true, tags);
    ASSERT_TRUE(SetIndexTo(""));
    IndexDriver& d = *engine().tables.index;
    ASSERT_TRUE(SetOrderToTag("NONE"));
    EXPECT_EQ(d.indexFirst(), 11);
    EXPECT_EQ(d.indexLast(), 11);
    EXPECT_TRUE(GoTop());
    EXPECT_TRUE(dEOF());
    // An empty table: every tag at both ends from the open on.
    CloseAllDatabases();
    TableBlock t;
    ASSERT_TRUE(CreateDbf(t, table("empty"), kClubFields));
    CloseDbf(t);
    ASSERT_TRUE(Use(table("empty") + ".dbf EXCLUSIVE", nullptr, 0));
    ASSERT_TRUE(MakeIndex(kClubTags, ""));
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_EQ(d.indexFirst(), 1);
    EXPECT_EQ(d.indexLast(), 1);
    EXPECT_TRUE(d.indexEof());
    EXPECT_TRUE(d.indexBof());
    ASSERT_TRUE(Set_Order_To(3));
    EXPECT_TRUE(dEOF());
}

TEST_F(DriverTest, SyncReportsARecordMissingFromTheOrder) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    ASSERT_TRUE(Set_Order_To(1));
    // The record changes behind the index's back.
    WorkAreaBlock& b = *CurrentBlock();
    ASSERT_TRUE(Dbf4RawGo(3));
    setFields({12, "Zzz", "Iroise"});
    TypedToRawRecord(b, b.typed);
    ASSERT_TRUE(PutDbfRecord(b, 3));
    engine().tables.index->syncIndexOrder();
    EXPECT_EQ(LastError(), 212);
}

TEST_F(DriverTest, ReindexRebuildsAndKeepsTheOrder) {
    makeClubs();
    ASSERT_TRUE(SetIndexTo(""));
    for (int order : {3, 0, 4}) {
        SCOPED_TRACE(order);
        ASSERT_TRUE(Set_Order_To(order));
        ASSERT_TRUE(Reindex()) << ErrorMsg();
        EXPECT_EQ(CurrentOrder(), order);
        EXPECT_TRUE(IndexIsOpen());
        const xbtest::MdxReport report = xbtest::CheckMdxFile(table() + ".mdx");
        EXPECT_TRUE(report.ok()) << report.text();
        if (order) {
            EXPECT_EQ(walk(), expected(order));
        }
    }
    // Pack reindexes through the driver.
    ASSERT_TRUE(Set_Order_To(3));
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(DeleteRec());
    ASSERT_TRUE(Pack()) << ErrorMsg();
    EXPECT_EQ(CurrentOrder(), 3);
    std::vector<Club> kept(kClubs.begin() + 1, kClubs.end());
    EXPECT_EQ(walk(), expected(3, kept));
}

// A rebuild the disk stops at any write: the disk is reported, not what followed. Stopped before its file
// was whole, it leaves the old index byte for byte with nothing of the new one beside it, and the repair
// mark, so that the next station to read rebuilds it; stopped after (the semaphore of the reopen), the
// index is the whole new one.
TEST_F(DriverTest, AReindexOnAFullDiskReportsTheDiskAndLeavesTheOldIndexMarked) {
    makeClubs(false);
    const std::string mdx = table() + ".mdx";
    int nth = 1, asBefore = 0;
    for (;; ++nth) {
        SCOPED_TRACE(nth);
        ASSERT_LT(nth, 200);
        CloseAllDatabases();
        ASSERT_TRUE(Use(table() + ".dbf", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        ASSERT_TRUE(Set_Order_To(3));
        const std::string before = xbtest::ReadFileBytes(mdx);
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskFull);
        bool ok = false;
        try {
            ok = Reindex();
        } catch (const EEngineError&) {
        }
        platform::ClearFaults();
        if (ok) break;
        EXPECT_EQ(LastError(), platform::kErrDiskFull) << ErrorMsg();
        EXPECT_FALSE(platform::FileExists(DerivedFileName(mdx, kIndexBesideExt)));
        if (xbtest::ReadFileBytes(mdx) == before) {
            ++asBefore;
            const std::string record = xbtest::ReadFileBytes(SemaphoreFileNameOf(table() + ".dbf"));
            EXPECT_TRUE(record.size() >= 2 && record[1] != 0) << "no repair mark";
        } else {
            const xbtest::MdxReport rebuilt = xbtest::CheckMdxFile(mdx, {true, 0});
            EXPECT_TRUE(rebuilt.ok()) << rebuilt.text();
        }
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GE(asBefore, 4);
    EXPECT_EQ(CurrentOrder(), 3);
    EXPECT_EQ(walk(), expected(3));
}

TEST_F(DriverTest, AReplaceAnswersFalseWhenEveryWriteButTheLastSucceeded) {
    makeClubs(false);
    ASSERT_TRUE(SetIndexTo(""));
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        ASSERT_LT(nth, 100);
        ASSERT_TRUE(Go(2)) << ErrorMsg();
        ASSERT_TRUE(RLock());
        LoadRecordBuffer();
        TypedSetString(FieldAddress(FieldNo("nom")), 10, "Club" + std::to_string(nth));
        StoreRecordBuffer();
        engine().errors.pendingError = 0;
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskFull);
        bool ok = false;
        try {
            ok = Replace();
        } catch (const EEngineError&) {  // the semaphore's own report, with trapping off
        }
        platform::ClearFaults();
        // The last write is the release of the lock semaphore (the other stations' change counter).
        const uint16_t pending = engine().errors.pendingError;
        Unlock();
        if (ok) {
            EXPECT_EQ(pending, 0) << "true after a failed write";
            break;
        }
        EXPECT_EQ(pending, platform::kErrDiskFull);
        ASSERT_TRUE(Reindex()) << ErrorMsg();  // a record written without its keys
    }
}

// ---- the stored texts ------------------------------------------------------------------------------------

TEST_F(DriverTest, KeyTextsAreCompiledAndWrittenBackAsStored) {
    const std::vector<TagDefinition> tags = {
        {"BLANKS", "str(num,5) +ville", "", false, false},
        {"QUOTES", "nom+'a b'", "ville <> \"x y\" .and. num > 0", false, false},
        {"LOWER", "UPPER(nom) + ville", "", false, false},
    };
    makeClubs(true, tags);
    std::vector<std::string> before;
    GetIndexTagList(table(), before);
    ASSERT_TRUE(SetIndexTo(""));
    appendClub({20, "Sedan", "Ardennes"});
    for (auto& t : area().tags)
        if (t) t->headerChanged = true;  // every header is written back
    CloseDatabase();
    std::vector<std::string> after;
    GetIndexTagList(table(), after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(after[0], "BLANKS,F,F,str(num,5) +ville");
    use();
    EXPECT_TRUE(SetIndexTo("")) << ErrorMsg();
    EXPECT_EQ(walk().size(), 11u);
}

// The league tables' index lists, as the definition window gives them.
struct LeagueTable {
    std::string name;
    std::vector<FieldDef> fields;
    std::vector<std::string> indexList;  // name,F,F,key then an empty line, per tag
};

std::vector<LeagueTable> leagueTables() {
    const std::vector<FieldDef> goal = {
        {"nuchamp", 'N', 5, 0}, {"annee", 'N', 4, 0},  {"nujournee", 'N', 2, 0},
        {"nueq1", 'N', 5, 0},   {"nueq2", 'N', 5, 0},  {"nujoueur", 'N', 5, 0},
        {"nueqben", 'N', 2, 0}, {"minute", 'N', 3, 0}, {"type", 'N', 2, 0}};
    const std::vector<std::string> goalTags = {
        "NUCHAMP,F,F,str(nuchamp,5)+str(annee,4)+str(nujournee,2)+str(nueq1,5)+str(nueq2,5)+str(minute,3)+"
        "str(nujoueur,5)",
        "NUJOUEUR,F,F,str(nujoueur,5)+str(nuchamp,5) +str(annee,4)+str(nujournee,2)",
        "NUEQUIPE1,F,F,str(nueq1,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)",
        "NUEQUIPE2,F,F,str(nueq2,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)"};
    return {
        {"champan",
         {{"annee", 'N', 4, 0},
          {"nuchamp", 'N', 5, 0},
          {"ptv", 'N', 2, 0},
          {"ptn", 'N', 2, 0},
          {"ptd", 'N', 2, 0},
          {"ptfv", 'N', 2, 0},
          {"ptfd", 'N', 2, 0},
          {"nbequipe", 'N', 2, 0},
          {"nbjournee", 'N', 2, 0}},
         {"ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)", "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"}},
        {"champion",
         {{"nuchamp", 'N', 5, 0}, {"nomchamp", 'C', 30, 0}},
         {"NUCHAMP,F,F,nuchamp", "NOMCHAMP,F,F,nomchamp"}},
        {"eqchamp",
         {{"annee", 'N', 5, 0}, {"nuchamp", 'N', 5, 0}, {"nuequipe", 'N', 5, 0}},
         {"ANNEEEQUIP,F,F,str(annee,4)+str(nuequipe,5)", "ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)",
          "ANEQCHAMP,F,F,str(annee,4)+str(nuequipe,5)+str(nuchamp,3)",
          "EQANCHAMP,F,F,str(nuequipe,5)+str(annee,4)+str(nuchamp,3)",
          "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"}},
        {"resultat",
         {{"nuchamp", 'N', 3, 0},
          {"annee", 'N', 4, 0},
          {"nujournee", 'N', 2, 0},
          {"nueq1", 'N', 5, 0},
          {"nueq2", 'N', 5, 0},
          {"beq1", 'N', 3, 0},
          {"beq2", 'N', 3, 0},
          {"coder", 'C', 2, 0},
          {"pteq1", 'N', 3, 0},
          {"pteq2", 'N', 3, 0}},
         {"CHANJOEQ1,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq1,5)",
          "CHANJOEQ2,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq2,5)",
          "ANCHJO,F,F,STR(annee,4)+str(nuchamp,3)+str(nujournee,3)", "EQ1EQ2,F,F,str(nueq1,5)+str(nueq2,5)",
          "EQ2EQ1,F,F,str(nueq2,5)+str(nueq1,5)"}},
        {"equipe",
         {{"nuequipe", 'N', 5, 0}, {"nomequipe", 'C', 20, 0}},
         {"NUMERO,F,F,nuequipe", "NOMEQUIPE,F,F,nomequipe"}},
        {"joueur",
         {{"nujoueur", 'N', 5, 0},
          {"nomjoueur", 'C', 30, 0},
          {"datenais", 'C', 10, 0},
          {"poste", 'N', 2, 0},
          {"nation", 'C', 20, 0}},
         {"NOM,F,F,nomjoueur", "NU,F,F,str(nujoueur,5)"}},
        {"joueq",
         {{"annee", 'N', 4, 0}, {"nueq", 'N', 5, 0}, {"nujo", 'N', 5, 0}},
         {"ANNE,F,F,str(annee,4)+str(nueq,5)+str(nujo,5)", "NUEQ,F,F,str(nueq,5)+str(annee,4)+str(nujo,5)",
          "NUJO,F,F,str(nujo,5)+str(annee,4)+str(nueq,5)"}},
        {"but", goal, goalTags},
        {"carton", goal, goalTags},
    };
}

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST_F(DriverTest, LeagueIndexListsSurviveAnInsertionAndAReopen) {
    for (const LeagueTable& t : leagueTables()) {
        SCOPED_TRACE(t.name);
        TableBlock block;
        ASSERT_TRUE(CreateDbf(block, table(t.name), t.fields));
        CloseDbf(block);
        ASSERT_TRUE(Use(table(t.name) + ".dbf", nullptr, 0)) << ErrorMsg();
        std::vector<TagDefinition> defs;
        for (const std::string& line : t.indexList) {
            const size_t key = line.find(',', line.find(',', line.find(',') + 1) + 1) + 1;
            defs.push_back({line.substr(0, line.find(',')), line.substr(key), "", false, false});
        }
        ASSERT_TRUE(MakeIndex(defs, "")) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo(table(t.name))) << ErrorMsg();
        // One record goes into every tag; each tag's header is written when the index closes.
        ASSERT_TRUE(ALock());
        ClearRecord();
        ASSERT_TRUE(Append()) << ErrorMsg();
        Unlock();
        for (auto& tag : area().tags)
            if (tag) tag->headerChanged = true;
        CloseDatabase();
        ASSERT_TRUE(Use(table(t.name) + ".dbf", nullptr, 0)) << ErrorMsg();
        std::string upper = t.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_TRUE(SetIndexTo(tmp.file(upper + ".MDX"))) << ErrorMsg();
        CloseDatabase();

        std::vector<std::string> list;
        GetIndexTagList(table(t.name), list);
        std::vector<std::string> want;
        for (const std::string& line : t.indexList) {
            want.push_back(lowered(line));
            want.push_back("");
        }
        for (std::string& line : list) line = lowered(line);
        EXPECT_EQ(list, want);
        const xbtest::MdxReport report = xbtest::CheckMdxFile(table(t.name) + ".mdx", {false, 1});
        EXPECT_TRUE(report.ok()) << report.text();
        for (const auto& tag : report.tags) EXPECT_EQ(tag.entries.size(), 1u) << tag.name;
    }
}

// ---- semaphore and lifetime ------------------------------------------------------------------------------

TEST_F(DriverTest, OnlySharedUseLogsIn) {
    for (bool exclusive : {true, false}) {
        SCOPED_TRACE(exclusive);
        std::filesystem::remove(table() + ".dbf");
        std::filesystem::remove(table() + ".mdx");
        makeClubs(exclusive);
        ASSERT_TRUE(SetIndexTo(""));
        const std::string sem = SemaphoreFileName();
        EXPECT_EQ(platform::FileExists(sem), !exclusive);
        EXPECT_EQ(CurrentSemaphoreInfo().loggedIn, !exclusive);
        appendClub({30, "Rodez", "Aveyron"});
        CloseDatabase();
        // The last station out removes the file.
        EXPECT_FALSE(platform::FileExists(sem));
    }
}

// A pack takes a shared table for itself only while it works: afterwards the table and its index are
// shared again, another handle opens both, and the packing area takes part in the semaphore again (its
// appends reach the other handle's order, and the other handle's reach its own).
TEST_F(DriverTest, AfterAPackOfASharedTableOthersOpenItsIndex) {
    makeClubs(false);
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    ASSERT_TRUE(Set_Order_To(3));
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(RLock());
    ASSERT_TRUE(DeleteRec());
    Unlock();
    ASSERT_TRUE(Pack()) << ErrorMsg();
    EXPECT_EQ(CurrentOrder(), 3);
    EXPECT_FALSE(CurrentBlock()->exclusive);
    EXPECT_TRUE(CurrentSemaphoreInfo().loggedIn);
    std::vector<Club> kept(kClubs.begin() + 1, kClubs.end());
    EXPECT_EQ(walk(), expected(3, kept));
    {
        CurrentAreaScope other(2);
        ASSERT_TRUE(Use(table() + ".dbf ALIAS second", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        ASSERT_TRUE(Set_Order_To(3));
        EXPECT_EQ(walk(), expected(3, kept));
        appendClub({30, "Rodez", "Aveyron"});
    }
    kept.push_back({30, "Rodez", "Aveyron"});
    EXPECT_EQ(walk(), expected(3, kept));
    appendClub({31, "Sedan", "Ardennes"});
    kept.push_back({31, "Sedan", "Ardennes"});
    {
        CurrentAreaScope other(2);
        EXPECT_EQ(walk(), expected(3, kept));
        CloseDatabase();
    }
    CloseDatabase();
    const xbtest::MdxReport report = xbtest::CheckMdxFile(table() + ".mdx", {false, 11});
    EXPECT_TRUE(report.ok()) << report.text();
}

TEST_F(DriverTest, TheEndOfTheRunClosesEveryIndex) {
    makeClubs(false);
    CloseAllDatabases();
    std::string sem;
    {
        Engine other;
        InstallExpressionEngine(other);
        InstallIndexEngine(other);
        SetErrorTrap(false);
        for (uint8_t area : {1, 7, 34}) {
            other.currentArea = area;
            ASSERT_TRUE(Use(table() + ".dbf ALIAS C" + std::to_string(area), nullptr, 0)) << ErrorMsg();
            ASSERT_TRUE(SetIndexTo(""));
        }
        sem = SemaphoreFileName();
        EXPECT_EQ(CurrentSemaphoreInfo().record[0], 3);
        ASSERT_TRUE(ALock());
        ClearRecord();
        setFields({40, "Troyes", "Aube"});
        ASSERT_TRUE(Append());
        Unlock();
    }
    EXPECT_FALSE(platform::FileExists(sem));
    const xbtest::MdxReport report = xbtest::CheckMdxFile(table() + ".mdx", {false, 11});
    EXPECT_TRUE(report.ok()) << report.text();
    for (const auto& tag : report.tags) EXPECT_EQ(tag.entries.size(), 11u) << tag.name;
}

}  // namespace
}  // namespace xb
