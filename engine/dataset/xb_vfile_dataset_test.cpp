// The virtual-file dataset: orderings through the dataset (equal keys included), the work tables'
// key maker, the append modes across a load, loading and saving, the locks that always succeed and the
// failures that must lose nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "engine/core/dbf_file.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/dataset/xb_vfile_dataset.h"
#include "engine/index/expr_unit.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;
using Row = std::vector<std::string>;  // values in field order

const std::vector<std::string> kKeyed = {"key, C, 5, 0", "id, N, 3, 0"};

class VFileDatasetTest : public xbtest::EngineTest {
protected:
    VFileDatasetTest() {
        InstallVirtualFiles(engine());
        InstallExpressionEngine(engine());
    }

    std::unique_ptr<TXbVFile> vfile(std::vector<std::string> fields, LStatusType mode = LStatusType::FIFO,
                                    const std::string& file = "work", const std::string& name = "vwork") {
        auto t = std::make_unique<TXbVFile>();
        t->Name = name;
        t->SetDbfFileName(tmp.file(file));
        t->DbfFields = std::move(fields);
        t->SetAppendMode(mode);
        return t;
    }
    // Appends rows through the framework, values in field order.
    static void add(TXbVFile& t, const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            t.Append();
            for (size_t i = 0; i < row.size(); ++i) t.Fields(static_cast<int>(i)).SetAsString(row[i]);
            t.Post();
        }
    }
    // Rows keyed by text with ids 1, 2, 3... in the order given.
    static void addKeys(TXbVFile& t, const std::vector<std::string>& keys) {
        std::vector<Row> rows;
        for (size_t i = 0; i < keys.size(); ++i) rows.push_back({keys[i], std::to_string(i + 1)});
        add(t, rows);
    }
    static std::vector<int> ids(TXbVFile& t, const std::string& field = "id") {
        std::vector<int> out;
        t.First();
        while (!t.Eof()) {
            out.push_back(t.FieldByName(field).GetAsInteger());
            t.Next();
        }
        return out;
    }
    static std::vector<std::string> texts(TXbVFile& t, const std::string& field) {
        std::vector<std::string> out;
        t.First();
        while (!t.Eof()) {
            out.push_back(t.FieldByName(field).GetAsString());
            t.Next();
        }
        return out;
    }
    static std::string errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }
    // A DBF of its own structure, with rows of text values.
    void makeDbf(const std::string& file, const std::vector<FieldDef>& defs, const std::vector<Row>& rows) {
        TableBlock block;
        ASSERT_TRUE(CreateDbf(block, tmp.file(file), defs));
        Select(0);
        ASSERT_TRUE(Use(tmp.file(file) + " EXCLUSIVE", nullptr, 0));
        for (const Row& row : rows) {
            ClearRecord();
            for (size_t i = 0; i < row.size(); ++i) {
                uint8_t* p = FieldAddress(static_cast<int>(i) + 1);
                if (defs[i].type == 'C')
                    TypedSetString(p, static_cast<size_t>(defs[i].length), row[i]);
                else
                    TypedSetInt(p, std::stoi(row[i]));
            }
            ASSERT_TRUE(Append());
        }
        CloseDatabase();
    }

    xbtest::ScriptedUi ui;
};

// ---- orderings ----

TEST_F(VFileDatasetTest, SortedAppendsPlaceEqualKeysByTheInsertionRules) {
    struct Case {
        LStatusType mode;
        std::vector<std::string> keys;
        std::vector<int> order;  // ids, 1 = first appended
    } cases[] = {
        {LStatusType::ASCENDING, {"B", "A", "A"}, {3, 2, 1}},
        {LStatusType::ASCENDING, {"A", "C", "C", "B"}, {1, 4, 2, 3}},
        {LStatusType::ASCENDING, {"A", "C", "C", "B", "C"}, {1, 4, 2, 3, 5}},
        {LStatusType::ASCENDING, {"A", "C", "C", "C", "E", "C"}, {1, 2, 3, 6, 4, 5}},
        {LStatusType::DESCENDING, {"A", "A", "B"}, {3, 2, 1}},
        {LStatusType::DESCENDING, {"B", "A", "A"}, {1, 2, 3}},
        {LStatusType::DESCENDING, {"E", "C", "C", "C", "A", "C"}, {1, 2, 3, 6, 4, 5}},
    };
    // Once with the first field as the key, once with a key maker reading the fields.
    for (bool keyMaker : {false, true}) {
        for (const Case& c : cases) {
            auto t = vfile(kKeyed, c.mode);
            if (keyMaker) t->KeyMaker = [p = t.get()] { return p->FieldByName("key").GetAsString(); };
            t->Open();
            addKeys(*t, c.keys);
            EXPECT_EQ(ids(*t), c.order) << "key maker " << keyMaker << ", keys " << c.keys.size();
            EXPECT_EQ(LastError(), 0);
        }
    }
}

TEST_F(VFileDatasetTest, SettingASortedModeSortsByTheInsertionRules) {
    struct Case {
        LStatusType mode;
        std::vector<std::string> keys;
        std::vector<int> order;
    } cases[] = {
        {LStatusType::ASCENDING, {"1", "1", "2"}, {2, 1, 3}},
        {LStatusType::ASCENDING, {"2", "1", "2"}, {2, 1, 3}},
        {LStatusType::ASCENDING, {"B", "A", "A"}, {3, 2, 1}},
        {LStatusType::DESCENDING, {"1", "2", "2"}, {3, 2, 1}},
        {LStatusType::ASCENDING, {"Z"}, {1}},
        {LStatusType::ASCENDING, {}, {}},
    };
    for (const Case& c : cases) {
        auto t = vfile(kKeyed);
        t->Open();
        addKeys(*t, c.keys);
        t->Last();
        t->SetAppendMode(c.mode);
        EXPECT_EQ(ids(*t), c.order);
        if (!c.keys.empty()) {
            t->First();
            EXPECT_EQ(t->RecNo(), 1);
        }
        ASSERT_TRUE(Select(t->Area()));
        EXPECT_EQ(Get_VFileMode(), c.mode);
        // In its sorted mode the table keeps placing new rows by key.
        addKeys(*t, {"0"});
        t->First();
        EXPECT_EQ(t->FieldByName("key").GetAsString(), c.mode == LStatusType::ASCENDING ? "0" : "2");
    }
}

TEST_F(VFileDatasetTest, AKeyMakerThatThrowsLeavesTheTableAsItWas) {
    auto t = vfile(kKeyed);
    bool fail = false;
    t->KeyMaker = [&] {
        if (fail) throw std::runtime_error("no key");
        return t->FieldByName("key").GetAsString();
    };
    t->Open();
    addKeys(*t, {"c", "a", "b"});
    t->SetRecNoValue(2);
    fail = true;
    EXPECT_THROW(t->SetAppendMode(LStatusType::ASCENDING), std::runtime_error);
    // The fields show the current row again, in browse state, and no row moved.
    EXPECT_EQ(t->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(t->FieldByName("key").GetAsString(), "a");
    fail = false;
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"c", "a", "b"}));
}

TEST_F(VFileDatasetTest, AReplaceMovesTheRecordAndItStaysCurrent) {
    auto t = vfile(kKeyed, LStatusType::DESCENDING);
    t->Open();
    add(*t, {{"10", "1"}, {"30", "2"}, {"20", "3"}});
    ASSERT_EQ(ids(*t), (std::vector<int>{2, 3, 1}));
    t->Last();
    t->Edit();
    t->FieldByName("key").SetAsString("25");
    t->Post();
    EXPECT_EQ(t->FieldByName("id").GetAsInteger(), 1);
    EXPECT_EQ(t->RecNo(), 2);
    EXPECT_EQ(ids(*t), (std::vector<int>{2, 1, 3}));
    EXPECT_TRUE(t->IsModified());
}

TEST_F(VFileDatasetTest, PackRemovesTheDeletedRows) {
    auto t = vfile(kKeyed);
    t->Open();
    addKeys(*t, {"a", "b", "c", "d"});
    for (int recNo : {2, 4}) {
        t->SetRecNoValue(recNo);
        t->Delete();
    }
    ASSERT_TRUE(Select(t->Area()));
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 2);
    t->Refresh();
    EXPECT_EQ(ids(*t), (std::vector<int>{1, 3}));
    // A deleted row comes back with a restore.
    t->First();
    ASSERT_TRUE(t->DeleteWithLock());
    ASSERT_TRUE(Deleted());
    ASSERT_TRUE(t->RestoreWithLock());
    EXPECT_FALSE(Deleted());
}

TEST_F(VFileDatasetTest, TheVirtualFileErrorsOverTheDatasetsArea) {
    struct Case {
        const char* what;
        std::function<bool()> op;
        uint16_t code;
    } cases[] = {
        {"a sorted mode on a filled FIFO table", [] { return Set_VFileMode_To(LStatusType::ASCENDING); }, 1100},
        {"the engine's append lock", [] { return xb::ALock(); }, 1100},
        {"the engine's record lock", [] { return xb::RLock(); }, 1100},
        {"record 0", [] { return Go(0); }, 212},
        {"record count + 1", [] { return Go(3); }, 212},
        {"a sort in FIFO mode", [] { return SortVFile(LStatusType::FIFO); }, 220},
    };
    auto t = vfile(kKeyed);
    t->Open();
    addKeys(*t, {"x", "y"});
    for (const Case& c : cases) {
        ASSERT_TRUE(Select(t->Area()));
        engine().errors = ErrorState{};
        SetErrorTrap(false);
        EXPECT_FALSE(c.op()) << c.what;
        EXPECT_EQ(LastError(), c.code) << c.what;
    }
}

TEST_F(VFileDatasetTest, TheWriteProtocolOfTheTablesRunsOnAWorkTableWithoutAHalt) {
    auto t = vfile(kKeyed, LStatusType::DESCENDING);
    t->Open();
    // With trapping on, an engine error would end the program: here it throws instead.
    SetHaltHandler([](const std::string& text, uint16_t) { throw std::runtime_error("halted: " + text); });
    SetErrorTrap(true);
    // Code that writes any table, through the commands of the common class.
    TXbCDataSet& table = *t;
    EXPECT_NO_THROW({
        for (const char* key : {"b", "c", "a"}) {
            ASSERT_TRUE(table.ALock());
            table.AppendBlank();
            table.FieldPutStr("key", key);
            table.ReplaceRec();
            EXPECT_TRUE(table.UnLock());
        }
        table.GoTop();
        ASSERT_TRUE(table.RLock());
        table.FieldPutStr("key", "0");
        table.ReplaceRec();
        EXPECT_TRUE(table.UnLock());
    });
    SetErrorTrap(false);
    SetHaltHandler(nullptr);
    EXPECT_EQ(engine().errors.pendingError, 0);
    EXPECT_TRUE(t->IsModified());
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"b", "a", "0"}));
}

// ---- the work tables ----

// The standings key: sign and points, sign and goal difference (a deficit complemented), goals for.
std::string standingsKey(TXbVFile& t) {
    const int pt = t.FieldByName("pt").GetAsInteger();
    const int diff = t.FieldByName("diff").GetAsInteger();
    const int bp = t.FieldByName("bp").GetAsInteger();
    char points[16], gd[16], goals[16];
    std::snprintf(points, sizeof points, "%5d", (pt < 0 ? -pt : pt) % 100000);
    std::snprintf(gd, sizeof gd, "%04d", (diff < 0 ? -diff : diff) % 10000);
    if (diff < 0)
        for (char* c = gd; *c; ++c) *c = static_cast<char>('9' - (*c - '0'));
    std::snprintf(goals, sizeof goals, "%05d", bp);
    return std::string(pt >= 0 ? "+" : "*") + points + (diff >= 0 ? "+" : "*") + gd + goals;
}

const std::vector<std::string> kStandings = {
    "nueq,N,5,0", "pt,N,5,0", "j,N,5,0",  "g,N,5,0",  "n,N,5,0",  "p,N,5,0",    "bp,N,5,0",
    "bc,N,5,0",   "diff,N,5,0", "chclass,C,15,0", "gd,N,5,0", "nd,N,5,0", "Pd,N,5,0", "bpd,N,5,0",
    "bcd,N,5,0",  "ge,N,5,0", "ne,N,5,0", "pe,N,5,0", "bpe,N,5,0", "bce,N,5,0"};

TEST_F(VFileDatasetTest, TheStandingsTableSortsDescendingByItsKeyMaker) {
    auto t = vfile(kStandings);
    t->KeyMaker = [p = t.get()] { return standingsKey(*p); };
    t->Open();
    ASSERT_EQ(t->FieldCount(), 20);
    struct Team {
        int nueq, pt, diff, bp;
    } teams[] = {{1, 10, 3, 12}, {2, 15, -2, 8}, {3, 10, 3, 12}, {4, 7, 0, 5},
                 {5, 15, 1, 9},  {6, -1, -5, 2}, {7, 10, -3, 30}, {8, 15, 1, 9}};
    for (const Team& team : teams) {
        t->Append();
        t->FieldByName("nueq").SetAsInteger(team.nueq);
        t->FieldByName("pt").SetAsInteger(team.pt);
        t->FieldByName("diff").SetAsInteger(team.diff);
        t->FieldByName("bp").SetAsInteger(team.bp);
        t->FieldByName("bce").SetAsInteger(team.nueq * 100);
        t->Post();
    }
    ASSERT_EQ(ids(*t, "nueq"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));

    // Equal keys are not kept in order: 8 equals the first key met and goes in front of 5, 3 equals the
    // last key at its turn and goes behind 1.
    t->SetAppendMode(LStatusType::DESCENDING);
    EXPECT_EQ(ids(*t, "nueq"), (std::vector<int>{8, 5, 2, 1, 3, 7, 4, 6}));
    // Sorting again turns the first pair round once more; every other row keeps its place.
    t->SetAppendMode(LStatusType::DESCENDING);
    EXPECT_EQ(ids(*t, "nueq"), (std::vector<int>{5, 8, 2, 1, 3, 7, 4, 6}));
    // A new row equal to a key in between goes right after the equal row the search meets first.
    t->Append();
    t->FieldByName("nueq").SetAsInteger(9);
    t->FieldByName("pt").SetAsInteger(10);
    t->FieldByName("diff").SetAsInteger(3);
    t->FieldByName("bp").SetAsInteger(12);
    t->Post();
    EXPECT_EQ(ids(*t, "nueq"), (std::vector<int>{5, 8, 2, 1, 9, 3, 7, 4, 6}));
    // Every field went along with its row.
    t->First();
    while (!t->Eof()) {
        if (t->FieldByName("nueq").GetAsInteger() != 9) {
            EXPECT_EQ(t->FieldByName("bce").GetAsInteger(), t->FieldByName("nueq").GetAsInteger() * 100);
        }
        t->Next();
    }
}

TEST_F(VFileDatasetTest, FirstFieldKeysSortByValueWhateverTheType) {
    struct Case {
        std::string field;
        std::vector<std::string> values;
        std::vector<int> order;
    } cases[] = {
        {"v, N, 6, 0", {"5", "-3", "10", "0", "-300"}, {5, 2, 4, 1, 3}},
        {"v, N, 8, 2", {"2.5", "-1.25", "0", "-7", "100"}, {4, 2, 3, 1, 5}},
        {"v, D, 8, 0", {"12/07/2026", "01/15/1999", "03/01/2026"}, {2, 3, 1}},
        {"v, L, 1, 0", {"T", "F", "T"}, {2, 1, 3}},
    };
    for (const Case& c : cases) {
        auto t = vfile({c.field, "id, N, 3, 0"}, LStatusType::ASCENDING);
        t->Open();
        std::vector<Row> rows;
        for (size_t i = 0; i < c.values.size(); ++i) rows.push_back({c.values[i], std::to_string(i + 1)});
        add(*t, rows);
        EXPECT_EQ(ids(*t), c.order) << c.field;
    }
}

TEST_F(VFileDatasetTest, TheDefaultKeyStaysWithinItsField) {
    auto t = vfile({"k, C, 3, 0", "id, N, 3, 0"});
    t->Open();
    addKeys(*t, {"abc"});
    ASSERT_TRUE(Select(t->Area()));
    // A length byte beyond the width (a damaged record) reads no further than the field.
    FieldAddress(1)[0] = 200;
    EXPECT_EQ(t->DoOnKeymake(), "abc");
}

// ---- append modes across a load ----

TEST_F(VFileDatasetTest, LifoAndInsertionTablesLoadInFileOrderAndSwitchAfterwards) {
    makeDbf("rows.dbf", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 0}}, {{"a", "1"}, {"b", "2"}, {"c", "3"}});

    auto lifo = vfile(kKeyed, LStatusType::LIFO, "rows.dbf", "vlifo");
    lifo->PopulateFromDisk = true;
    lifo->Open();
    EXPECT_EQ(ids(*lifo), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(lifo->IsModified());
    ASSERT_TRUE(Select(lifo->Area()));
    EXPECT_EQ(Get_VFileMode(), LStatusType::LIFO);
    add(*lifo, {{"d", "4"}});
    EXPECT_EQ(ids(*lifo), (std::vector<int>{4, 1, 2, 3}));

    auto ins = vfile(kKeyed, LStatusType::INSERTION, "rows.dbf", "vins");
    ins->PopulateFromDisk = true;
    ins->Open();
    EXPECT_EQ(ids(*ins), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(Select(ins->Area()));
    EXPECT_EQ(Get_VFileMode(), LStatusType::INSERTION);
    // Appending at the end puts the row last, and the table stays in INSERTION mode.
    add(*ins, {{"d", "4"}});
    EXPECT_EQ(ids(*ins), (std::vector<int>{1, 2, 3, 4}));
    ASSERT_TRUE(Select(ins->Area()));
    EXPECT_EQ(Get_VFileMode(), LStatusType::INSERTION);
    // Inserting elsewhere puts it before the current row.
    ins->SetRecNoValue(2);
    ins->Insert();
    ins->FieldByName("key").SetAsString("e");
    ins->FieldByName("id").SetAsInteger(5);
    ins->Post();
    EXPECT_EQ(ids(*ins), (std::vector<int>{1, 5, 2, 3, 4}));

    // A sorted table loads sorted.
    auto desc = vfile(kKeyed, LStatusType::DESCENDING, "rows.dbf", "vdesc");
    desc->PopulateFromDisk = true;
    desc->Open();
    EXPECT_EQ(ids(*desc), (std::vector<int>{3, 2, 1}));
}

TEST_F(VFileDatasetTest, ModeChangesOnAnOpenTable) {
    auto t = vfile(kKeyed);
    t->Open();
    addKeys(*t, {"b"});
    // One row: a sorted mode is only stored.
    t->SetAppendMode(LStatusType::ASCENDING);
    addKeys(*t, {"a"});
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"a", "b"}));
    t->SetAppendMode(LStatusType::LIFO);
    addKeys(*t, {"z"});
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"z", "a", "b"}));
    EXPECT_EQ(t->AppendMode(), LStatusType::LIFO);
    // Set while closed, a mode takes effect at the next open.
    t->Close();
    t->SetAppendMode(LStatusType::DESCENDING);
    t->Open();
    addKeys(*t, {"a", "c", "b"});
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"c", "b", "a"}));
}

// ---- opening ----

TEST_F(VFileDatasetTest, OpeningRefusesBadFieldLists) {
    struct Case {
        std::vector<std::string> fields;
        uint16_t code;  // 0: refused without an engine error
        std::string message;
    } cases[] = {
        {{}, 0, "FieldList.Count is <= 0 trying to create a database"},
        {{"key, C, 5, 0", "id, N, 3"}, 0, ""},
        {{"key, C, 0, 0"}, 211, ""},
        {{"key, C, abc, 0"}, 211, ""},
        {{"key, F, 300, 0"}, 211, ""},
        {{"key, N, 5, x"}, 211, ""},
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        engine().errors = ErrorState{};
        SetErrorTrap(false);
        auto t = vfile(c.fields);
        const std::string error = errorOf([&] { t->Open(); });
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(t->Active());
        EXPECT_EQ(t->Area(), 0);
        if (c.code != 0) {
            EXPECT_NE(error.find("Error # " + std::to_string(c.code)), std::string::npos) << error;
        }
        if (!c.message.empty()) {
            ASSERT_FALSE(ui.messages.empty());
            EXPECT_EQ(ui.messages.front().text, c.message);
        }
    }
}

TEST_F(VFileDatasetTest, TablesOpenedOneAfterTheOtherGetDistinctNames) {
    std::vector<std::unique_ptr<TXbVFile>> tables;
    std::set<std::string> aliases;
    for (int i = 0; i < 20; ++i) {
        tables.push_back(vfile(kKeyed, LStatusType::FIFO, "work", "v" + std::to_string(i)));
        tables.back()->Open();
        const WorkAreaBlock* b = AreaBlock(tables.back()->Area());
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->isVirtual);
        aliases.insert(b->alias);
    }
    EXPECT_EQ(aliases.size(), tables.size());
}

TEST_F(VFileDatasetTest, MemoFieldsAreNumbersAndXFieldsAreSkipped) {
    auto t = vfile({"key, C, 5, 0", "skip, X, 1, 0", "notes, M, 10, 0", "id, N, 3, 0"});
    t->Open();
    ASSERT_EQ(t->FieldCount(), 3);
    EXPECT_EQ(t->FieldByName("notes").DataType(), TFieldType::ftInteger);
    add(*t, {{"a", "42", "7"}});
    EXPECT_EQ(t->FieldByName("notes").GetAsInteger(), 42);
    EXPECT_EQ(t->FieldByName("id").GetAsInteger(), 7);
}

// ---- disk ----

const std::vector<std::string> kMixed = {"name, C, 10, 0", "n, N, 6, 0",  "x, N, 8, 2",
                                         "d, D, 8, 0",     "ok, L, 1, 0", "memo, M, 10, 0"};

TEST_F(VFileDatasetTest, ASaveAndALoadRoundTrip) {
    {
        auto t = vfile(kMixed, LStatusType::FIFO, "saved.dbf");
        t->SaveToDisk = true;
        t->Open();
        add(*t, {{"Zoé", "-12", "3.25", "12/07/2026", "T", "5"},
                 {"Anne", "40000", "-0.5", "", "F", "0"},
                 {"Bob", "7", "1", "01/02/2000", "T", "9"}});
        t->SetRecNoValue(2);
        t->Delete();
        EXPECT_TRUE(t->IsModified());
        t->Close();
        EXPECT_FALSE(t->IsModified());
    }
    ASSERT_TRUE(platform::FileExists(tmp.file("saved.dbf")));
    // No work file is left behind.
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*.tmp").size(), 0u);

    auto back = vfile(kMixed, LStatusType::ASCENDING, "saved.dbf", "vback");
    back->PopulateFromDisk = true;
    back->Open();
    EXPECT_EQ(back->RecordCount(), 3);
    EXPECT_EQ(texts(*back, "name"), (std::vector<std::string>{"Anne", "Bob", "Zoé"}));
    back->First();
    EXPECT_EQ(back->FieldByName("n").GetAsInteger(), 40000);
    EXPECT_DOUBLE_EQ(back->FieldByName("x").GetAsFloat(), -0.5);
    EXPECT_TRUE(back->FieldByName("d").IsNull());
    EXPECT_FALSE(back->FieldByName("ok").GetAsBoolean());
    ASSERT_TRUE(Select(back->Area()));
    EXPECT_TRUE(Deleted());
    back->Last();
    EXPECT_EQ(back->FieldByName("n").GetAsInteger(), -12);
    EXPECT_DOUBLE_EQ(back->FieldByName("x").GetAsFloat(), 3.25);
    EXPECT_EQ(back->FieldByName("d").GetAsString(), "12/07/26");
    EXPECT_TRUE(back->FieldByName("ok").GetAsBoolean());
    EXPECT_EQ(back->FieldByName("memo").GetAsInteger(), 5);

    // The file is an ordinary table.
    TXbDbf dbf;
    dbf.Name = "saved";
    dbf.SetDbfFileName(tmp.file("saved.dbf"));
    dbf.Open();
    EXPECT_EQ(dbf.RecordCount(), 3);
    dbf.First();
    EXPECT_EQ(dbf.FieldByName("NAME").GetAsString(), "Zoé");
}

TEST_F(VFileDatasetTest, HiddenDeletedRowsAreNeitherSavedNorLoaded) {
    auto t = vfile(kKeyed, LStatusType::FIFO, "hidden.dbf");
    t->SaveToDisk = true;
    t->Open();
    addKeys(*t, {"a", "b", "c"});
    t->SetRecNoValue(2);
    t->Delete();
    t->SetHideDeletedRecs(true);
    t->Close();

    auto back = vfile(kKeyed, LStatusType::FIFO, "hidden.dbf", "vback");
    back->PopulateFromDisk = true;
    back->Open();
    EXPECT_EQ(ids(*back), (std::vector<int>{1, 3}));
}

TEST_F(VFileDatasetTest, RowsAFilterHidesAreSavedToo) {
    {
        auto t = vfile(kKeyed, LStatusType::FIFO, "filtered.dbf");
        t->SaveToDisk = true;
        t->Open();
        addKeys(*t, {"a", "b", "c"});
        t->SetFilterTo("id <> 2");
        ASSERT_EQ(texts(*t, "key"), (std::vector<std::string>{"a", "c"}));
        t->Close();
    }
    auto back = vfile(kKeyed, LStatusType::FIFO, "filtered.dbf", "vback");
    back->PopulateFromDisk = true;
    back->Open();
    EXPECT_EQ(ids(*back), (std::vector<int>{1, 2, 3}));
}

TEST_F(VFileDatasetTest, AnUnmodifiedCloseWritesNothing) {
    makeDbf("kept.dbf", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 0}}, {{"a", "1"}, {"b", "2"}});
    {
        auto t = vfile(kKeyed, LStatusType::ASCENDING, "kept.dbf");
        t->PopulateFromDisk = t->SaveToDisk = true;
        t->Open();
        EXPECT_EQ(ids(*t), (std::vector<int>{1, 2}));
        // Moving about and re-sorting are no writes.
        t->Last();
        t->SetAppendMode(LStatusType::DESCENDING);
        // Another writer replaces the file while the table is open: a close that wrote would undo that.
        makeDbf("kept.dbf", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 0}}, {{"z", "9"}});
        const std::string bytes = xbtest::ReadFileBytes(tmp.file("kept.dbf"));
        t->Close();
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("kept.dbf")), bytes);
        // Nor does the destruction of a table opened and left unchanged.
        t->Open();
        EXPECT_EQ(ids(*t), (std::vector<int>{9}));
    }
    auto back = vfile(kKeyed, LStatusType::FIFO, "kept.dbf", "vback");
    back->PopulateFromDisk = true;
    back->Open();
    EXPECT_EQ(ids(*back), (std::vector<int>{9}));
}

TEST_F(VFileDatasetTest, ADestroyedModifiedTableIsSaved) {
    {
        auto t = vfile(kKeyed, LStatusType::FIFO, "gone.dbf");
        t->SaveToDisk = true;
        t->Open();
        addKeys(*t, {"a", "b"});
    }
    auto back = vfile(kKeyed, LStatusType::FIFO, "gone.dbf", "vback");
    back->PopulateFromDisk = true;
    back->Open();
    EXPECT_EQ(ids(*back), (std::vector<int>{1, 2}));
}

TEST_F(VFileDatasetTest, ATableOfAnotherStructureIsRefused) {
    struct Case {
        const char* what;
        std::vector<FieldDef> defs;
    } cases[] = {
        {"a wider field", {{"KEY", 'C', 6, 0}, {"ID", 'N', 3, 0}}},
        {"other decimals", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 1}}},
        {"another type", {{"KEY", 'C', 5, 0}, {"ID", 'F', 3, 0}}},
        {"a field more", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 0}, {"MORE", 'C', 1, 0}}},
        {"a field less", {{"KEY", 'C', 5, 0}}},
    };
    for (const Case& c : cases) {
        std::vector<Row> rows = {{"a", "1"}};
        if (c.defs.size() == 1) rows = {{"a"}};
        if (c.defs.size() == 3) rows = {{"a", "1", "x"}};
        makeDbf("other.dbf", c.defs, rows);
        const std::string bytes = xbtest::ReadFileBytes(tmp.file("other.dbf"));
        engine().errors = ErrorState{};
        SetErrorTrap(false);
        {
            auto t = vfile(kKeyed, LStatusType::FIFO, "other.dbf");
            t->PopulateFromDisk = t->SaveToDisk = true;
            const std::string error = errorOf([&] { t->Open(); });
            EXPECT_NE(error.find("Error # 266"), std::string::npos) << c.what << ": " << error;
            EXPECT_NE(error.find("[ReadFromDisk]"), std::string::npos) << c.what;
            EXPECT_FALSE(t->Active()) << c.what;
            EXPECT_EQ(t->Area(), 0) << c.what;
        }
        // Neither the refusal nor the destruction touched the file, and no area was left open.
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("other.dbf")), bytes) << c.what;
        for (int a = 1; a <= kUserAreas; ++a) EXPECT_EQ(AreaBlock(a), nullptr) << c.what << " area " << a;
    }
}

TEST_F(VFileDatasetTest, AFailedSaveKeepsTheOldFile) {
    makeDbf("locked.dbf", {{"KEY", 'C', 5, 0}, {"ID", 'N', 3, 0}}, {{"old", "1"}});
    const std::string bytes = xbtest::ReadFileBytes(tmp.file("locked.dbf"));
    // Another component holds the file for exclusive use: it cannot be replaced now.
    TXbDbf holder;
    holder.Name = "holder";
    holder.SetDbfFileName(tmp.file("locked.dbf"));
    holder.SetExclusive(true);
    holder.Open();

    auto t = vfile(kKeyed, LStatusType::FIFO, "locked.dbf");
    t->SaveToDisk = true;
    t->Open();
    addKeys(*t, {"new"});
    ASSERT_TRUE(t->IsModified());
    EXPECT_FALSE(t->WriteToDisk());
    EXPECT_EQ(LastError(), 32);
    EXPECT_TRUE(t->IsModified());
    engine().errors = ErrorState{};
    SetErrorTrap(false);
    // The table itself is as it was: same position, same rows.
    EXPECT_EQ(t->FieldByName("key").GetAsString(), "new");
    EXPECT_EQ(ids(*t), (std::vector<int>{1}));
    engine().errors = ErrorState{};
    SetErrorTrap(false);
    const std::string error = errorOf([&] { t->Close(); });
    EXPECT_NE(error.find("[WriteToDisk]"), std::string::npos) << error;
    EXPECT_FALSE(t->Active());
    holder.Close();
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("locked.dbf")), bytes);
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*.tmp").size(), 0u);

    // A directory that does not exist: nothing is created anywhere.
    auto lost = vfile(kKeyed, LStatusType::FIFO, "nowhere/lost.dbf", "vlost");
    lost->Open();
    addKeys(*lost, {"a"});
    engine().errors = ErrorState{};
    SetErrorTrap(false);
    EXPECT_FALSE(lost->WriteToDisk());
    EXPECT_NE(LastError(), 0);
    EXPECT_FALSE(platform::FileExists(tmp.file("nowhere")));
}

TEST_F(VFileDatasetTest, AnExplicitSaveKeepsThePositionAndTheEditedRecord) {
    auto t = vfile(kKeyed, LStatusType::FIFO, "mid.dbf");
    t->Open();
    addKeys(*t, {"a", "b", "c"});
    t->SetRecNoValue(2);
    ASSERT_TRUE(Select(t->Area()));
    TypedSetString(FieldAddress(1), 5, "edit");
    // An error some other operation left pending is not the save's.
    SetEngineError(5, "elsewhere [Test]");
    ASSERT_TRUE(t->WriteToDisk());
    EXPECT_EQ(engine().errors.pendingError, 5);
    engine().errors = ErrorState{};
    SetErrorTrap(false);
    EXPECT_FALSE(t->IsModified());
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(TypedGetString(FieldAddress(1)), "edit");
    ASSERT_TRUE(Replace());
    EXPECT_EQ(texts(*t, "key"), (std::vector<std::string>{"a", "edit", "c"}));
}

TEST_F(VFileDatasetTest, LoadsAndSavesOfAHundredRowsOrMoreShowProgress) {
    struct Case {
        int rows;
        size_t steps;  // one at every multiple of rows / 100
    } cases[] = {{99, 0}, {100, 100}, {250, 125}};
    for (const Case& c : cases) {
        std::vector<std::string> keys;
        for (int i = 0; i < c.rows; ++i) keys.push_back(std::to_string(i));
        {
            auto t = vfile(kKeyed, LStatusType::FIFO, "many.dbf");
            t->SaveToDisk = true;
            t->Open();
            addKeys(*t, keys);
            ui.progress.clear();
            t->Close();
        }
        auto count = [&](const std::string& caption) {
            size_t steps = 0;
            bool shown = false;
            for (const std::string& p : ui.progress) {
                if (p == "start " + caption + " 100") shown = true;
                if (p.rfind("step ", 0) == 0) ++steps;
            }
            EXPECT_EQ(shown, c.steps > 0) << caption << " " << c.rows;
            return steps;
        };
        EXPECT_EQ(count("Writing to disk..."), c.steps);
        ui.progress.clear();
        auto back = vfile(kKeyed, LStatusType::FIFO, "many.dbf", "vback");
        back->PopulateFromDisk = true;
        back->Open();
        EXPECT_EQ(count("Reading from disk..."), c.steps);
        EXPECT_EQ(back->RecordCount(), c.rows);
    }
}

}  // namespace
