// The command layer on record-number order: field access by name, the write pattern and what reaches
// the file, conditions and moves, locks between components and processes, the locked writes of the
// framework, memo lines, the type checks and the commands of a closed dataset.
#include <gtest/gtest.h>

#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

const std::vector<std::string> kFields = {"nom, C, 10, 0", "age, N, 4, 0",  "taille, N, 5, 2",
                                          "ne, D, 8, 0",   "actif, L, 1, 0", "notes, M, 10, 0"};

class CommandsTest : public xbtest::EngineTest {
protected:
    CommandsTest() {
        InstallExpressionEngine(engine());
        InstallMemoUnit(engine());
    }

    std::unique_ptr<TXbDbf> open(const std::string& name = "tdata", const std::string& file = "data.dbf") {
        auto t = std::make_unique<TXbDbf>();
        t->Name = name;
        t->SetDbfFileName(tmp.file(file));
        t->DbfFields = kFields;
        t->ShowProgress = false;
        t->Open();
        return t;
    }
    // Adds rows through the write pattern: append under the append lock, then put under the record lock.
    static void addRow(TXbDbf& t, const std::string& nom, int age) {
        ASSERT_TRUE(t.ALock());
        t.AppendBlank();
        t.UnLock();
        ASSERT_TRUE(t.RLock());
        t.FieldPutStr("nom", nom);
        t.FieldPutInt("age", age);
        t.ReplaceRec();
        t.UnLock();
    }
    static std::vector<std::string> visit(TXbDbf& t) {
        std::vector<std::string> out;
        for (int guard = 0; !t.IsEof() && guard < 100; ++guard) {
            out.push_back(t.FieldGetStr("nom"));
            t.Skip(1);
        }
        for (auto& s : out) s.erase(s.find_last_not_of(' ') + 1);
        return out;
    }
    std::string fileBytes() { return xbtest::ReadFileBytes(tmp.file("data.dbf")); }

    xbtest::ScriptedUi ui;
};

TEST_F(CommandsTest, FieldGetStrByType) {
    auto t = open();
    addRow(*t, "abc", 7);
    ASSERT_TRUE(t->RLock());
    t->FieldPutStr("taille", "1.5");
    t->FieldPutStr("actif", "T");
    t->ReplaceRec();
    t->UnLock();

    const std::string blankDate = BlankDateText(engine().settings.dateFormat);
    struct Case {
        const char* field;
        std::string text;
    } cases[] = {
        {"age", "   7"},          // right-aligned to the width
        {"taille", "  1.5"},
        {"nom", "abc       "},    // left-aligned, padded to the width
        {"actif", "T"},
        {"ne", blankDate},        // an empty date gives the blank date text
        {"NOTES", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(t->FieldGetStr(c.field), c.text);
    }
    EXPECT_EQ(t->FieldGetInt("age"), 7);
    EXPECT_THROW(t->FieldGetStr("absent"), EDatabaseError);

    ASSERT_TRUE(t->RLock());
    t->FieldPutStr("nom", "été");
    t->FieldPutStr("ne", "12/31/99");
    t->FieldPutStr("actif", "F");
    t->ReplaceRec();
    t->UnLock();
    EXPECT_EQ(t->FieldGetStr("nom"), "été       ");  // padded in characters, not bytes
    EXPECT_EQ(t->FieldGetStr("ne").size(), blankDate.size());
    EXPECT_NE(t->FieldGetStr("ne"), blankDate);
    EXPECT_EQ(t->FieldGetStr("actif"), "F");
}

TEST_F(CommandsTest, BadValueThrowsAndLeavesTheFileAlone) {
    auto t = open();
    addRow(*t, "abc", 7);
    const std::string before = fileBytes();
    ASSERT_TRUE(t->RLock());
    EXPECT_THROW(t->FieldPutStr("age", "x"), EDatabaseError);
    EXPECT_THROW(t->FieldPutStr("age", "1.5"), EDatabaseError);
    // A number wider than its field is refused, and the field keeps its value.
    struct {
        const char* field;
        std::string text;
        bool fits;
    } widths[] = {{"age", "9999", true},   {"age", "-999", true},    {"age", "10000", false}, {"age", "-1000", false},
                  {"taille", "99.99", true}, {"taille", "100", false}, {"taille", "-9.99", true}};
    for (const auto& w : widths) {
        SCOPED_TRACE(std::string(w.field) + " " + w.text);
        const std::string held = t->FieldGetStr(w.field);
        if (w.fits) {
            EXPECT_NO_THROW(t->FieldPutStr(w.field, w.text));
            t->FieldPutStr(w.field, held);
        } else {
            EXPECT_THROW(t->FieldPutStr(w.field, w.text), EDatabaseError);
        }
        EXPECT_EQ(t->FieldGetStr(w.field), held);
    }
    EXPECT_THROW(t->FieldPutInt("age", 123456), EDatabaseError);
    EXPECT_EQ(t->FieldGetInt("age"), 7);
    t->ReplaceRec();
    t->UnLock();
    t->Skip(0);
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(t->FieldGetInt("age"), 7);
}

TEST_F(CommandsTest, PutsReachTheFileOnlyThroughReplaceRec) {
    // Whatever command follows the puts, without ReplaceRec the file keeps the old values and the
    // dataset shows them again.
    const std::vector<std::pair<std::string, std::function<void(TXbDbf&)>>> next = {
        {"Skip 0", [](TXbDbf& t) { t.Skip(0); }},
        {"Skip 1", [](TXbDbf& t) { t.Skip(1); }},
        {"Skip -1", [](TXbDbf& t) { t.Skip(-1); }},
        {"GoTop", [](TXbDbf& t) { t.GoTop(); }},
        {"SetFilterTo", [](TXbDbf& t) { t.SetFilterTo("age > 0"); }},
        {"SetWhileTo", [](TXbDbf& t) { t.SetWhileTo(""); }},
        {"UnLock, then GoTop", [](TXbDbf& t) {
             t.UnLock();
             t.GoTop();
         }},
    };
    for (const auto& [name, command] : next) {
        SCOPED_TRACE(name);
        auto t = open();
        addRow(*t, "un", 1);
        addRow(*t, "deux", 2);
        t->GoTop();
        const std::string before = fileBytes();
        ASSERT_TRUE(t->RLock());
        t->FieldPutStr("nom", "changed");
        t->FieldPutInt("age", 99);
        EXPECT_EQ(t->FieldGetInt("age"), 99);  // the dataset shows the put at once
        command(*t);
        t->UnLock();
        EXPECT_EQ(fileBytes(), before);
        EXPECT_EQ(t->State(), TDataSetState::dsBrowse);
        t->GoTop();
        EXPECT_EQ(visit(*t), (std::vector<std::string>{"un", "deux"}));
        t->Close();
        t.reset();
        std::remove(tmp.file("data.dbf").c_str());
        std::remove(tmp.file("data.dbt").c_str());
    }
}

TEST_F(CommandsTest, WritePatternAppendsAndUpdates) {
    auto t = open();
    EXPECT_TRUE(t->IsEof());
    EXPECT_EQ(t->RecCount(), 0);
    addRow(*t, "un", 1);
    addRow(*t, "deux", 2);
    EXPECT_EQ(t->RecCount(), 2);
    EXPECT_EQ(t->FieldGetStr("nom"), "deux      ");  // AppendBlank stands on the new row

    t->GoTop();
    ASSERT_TRUE(t->RLock());
    t->FieldPutInt("age", 11);
    t->ReplaceRec();
    EXPECT_TRUE(t->UnLock());

    auto other = open("tother");
    EXPECT_EQ(visit(*other), (std::vector<std::string>{"un", "deux"}));
    other->GoTop();
    EXPECT_EQ(other->FieldGetInt("age"), 11);
}

TEST_F(CommandsTest, DeleteAndPack) {
    auto t = open();
    for (const char* n : {"un", "deux", "trois"}) addRow(*t, n, 1);
    t->GoTop();
    t->Skip(1);
    ASSERT_TRUE(t->RLock());
    t->DeleteRec();
    t->UnLock();
    EXPECT_EQ(t->RecCount(), 3);

    // Packing needs the table to itself: while another component keeps it open the pack answers false
    // with the sharing violation in the last-error word and changes nothing.
    auto other = open("tother");
    const std::string before = fileBytes();
    EXPECT_FALSE(t->Pack());
    EXPECT_EQ(LastError(), 32);
    EXPECT_NE(engine().errors.detail.find("[Pack]"), std::string::npos);
    EXPECT_EQ(t->RecCount(), 3);
    EXPECT_EQ(fileBytes(), before);
    other.reset();

    EXPECT_TRUE(t->Pack());
    EXPECT_EQ(t->RecCount(), 2);
    t->GoTop();
    EXPECT_EQ(visit(*t), (std::vector<std::string>{"un", "trois"}));
}

TEST_F(CommandsTest, EngineErrorSwitches) {
    EXPECT_FALSE(TXbCDataSet::SetEngineErrorsOff());  // the fixture runs with trapping off
    EXPECT_FALSE(TXbCDataSet::SetEngineErrorsOn());
    EXPECT_TRUE(engine().errors.trapping);
    EXPECT_TRUE(TXbCDataSet::SetEngineErrorsOff());
    EXPECT_FALSE(engine().errors.trapping);
    // Switched off, an error of a command stays pending for the caller to read.
    TXbDbf t;
    t.Name = "t";
    t.AppendBlank();
    EXPECT_EQ(engine().errors.pendingError, 1103);
}

TEST_F(CommandsTest, FilterAndWhileConditions) {
    auto t = open();
    const std::vector<std::pair<const char*, int>> rows = {{"a", 10}, {"b", 20}, {"c", 30}, {"d", 40}, {"e", 50}};
    for (const auto& [n, a] : rows) addRow(*t, n, a);

    t->GoTop();
    t->SetFilterTo("age >= 30");
    EXPECT_TRUE(t->Filtered);
    EXPECT_EQ(t->Filter, "age >= 30");
    // The current record fails the filter: the dataset goes to its last record.
    EXPECT_EQ(t->FieldGetStr("nom"), "e         ");
    t->GoTop();
    EXPECT_EQ(visit(*t), (std::vector<std::string>{"c", "d", "e"}));

    t->SetFilterTo("");
    EXPECT_FALSE(t->Filtered);
    EXPECT_EQ(t->Filter, "");
    t->GoTop();
    EXPECT_EQ(visit(*t).size(), 5u);

    // A condition the engine refuses leaves no filter, and the dataset does not claim one.
    t->SetFilterTo("age >= 30");
    t->SetFilterTo("age >=");
    EXPECT_NE(engine().errors.pendingError, 0);
    TakeErrorMessage();
    EXPECT_FALSE(t->Filtered);
    t->GoTop();
    EXPECT_EQ(visit(*t).size(), 5u);

    // A while-condition ends the scan at the first record that fails it.
    t->GoTop();
    t->Skip(1);
    t->SetWhileTo("age < 40");
    EXPECT_EQ(t->FieldGetStr("nom"), "b         ");
    EXPECT_EQ(visit(*t), (std::vector<std::string>{"b", "c"}));
    t->SetWhileTo("");

    // A current record that fails the condition starts an empty scan (as after a key that was not
    // found); clearing the condition brings the records back.
    t->GoTop();
    t->SetWhileTo("age > 25");
    EXPECT_TRUE(t->IsEof());
    EXPECT_TRUE(visit(*t).empty());
    t->SetWhileTo("");
    t->GoTop();
    EXPECT_EQ(visit(*t).size(), 5u);
}

TEST_F(CommandsTest, SkipZeroRereadsAnotherComponentsWrite) {
    auto t = open();
    addRow(*t, "un", 1);
    auto other = open("tother");
    ASSERT_TRUE(other->RLock());
    other->FieldPutInt("age", 5);
    other->ReplaceRec();
    other->UnLock();
    EXPECT_EQ(t->FieldGetInt("age"), 1);
    t->Skip(0);
    EXPECT_EQ(t->FieldGetInt("age"), 5);
}

TEST_F(CommandsTest, LocksBetweenTwoComponentsOfOneProcess) {
    auto a = open("ta");
    addRow(*a, "un", 1);
    addRow(*a, "deux", 2);
    auto b = open("tb");
    a->GoTop();
    b->GoTop();
    ASSERT_TRUE(a->RLock());
    const std::string before = fileBytes();

    // A refused lock answers false; the write that follows without the lock is refused by the engine
    // and nothing reaches the file.
    EXPECT_FALSE(b->RLock());
    b->FieldPutInt("age", 99);
    b->ReplaceRec();
    EXPECT_EQ(engine().errors.pendingError, 1200);
    TakeErrorMessage();
    EXPECT_EQ(fileBytes(), before);

    b->Skip(1);
    EXPECT_TRUE(b->RLock());  // another record is free
    b->UnLock();

    EXPECT_TRUE(a->ALock() == false);  // the area holds a record lock: no append lock besides
    a->UnLock();
    EXPECT_TRUE(a->ALock());
    EXPECT_FALSE(b->ALock());
    b->AppendBlank();  // without the append lock the engine refuses
    EXPECT_NE(engine().errors.pendingError, 0);
    TakeErrorMessage();
    EXPECT_EQ(b->RecCount(), 2);
    a->UnLock();
    EXPECT_TRUE(b->ALock());
    b->UnLock();
    b->GoTop();
    EXPECT_TRUE(b->RLock());
    b->UnLock();
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(CommandsTest, LocksAcrossProcesses) {
    auto t = open();
    addRow(*t, "un", 1);
    addRow(*t, "deux", 2);
    t->Close();
    xbtest::ChildProcess child;
    ASSERT_EQ(child.ask("use " + tmp.file("data.dbf")), "0");
    ASSERT_EQ(child.ask("go 1"), "1");
    ASSERT_EQ(child.ask("rlock"), "1");
    ASSERT_EQ(child.ask("alock"), "0");  // the child holds a record lock

    t->Open();
    const std::string before = fileBytes();
    t->GoTop();
    EXPECT_FALSE(t->RLock());
    t->Skip(1);
    EXPECT_TRUE(t->RLock());
    t->UnLock();

    ASSERT_EQ(child.ask("release"), "0");
    ASSERT_EQ(child.ask("alock"), "1");
    EXPECT_FALSE(t->ALock());
    EXPECT_EQ(fileBytes(), before);
    t->GoTop();
    EXPECT_TRUE(t->RLock());  // the child's record lock went with release
    t->UnLock();
    ASSERT_EQ(child.ask("release"), "0");
    EXPECT_TRUE(t->ALock());
    t->UnLock();
}

TEST_F(CommandsTest, LockedWritesAskTheirEventAndGiveUpAfterBoundedRetries) {
    struct Case {
        const char* what;  // the text of "Lock failed [...]"
        bool appendLock;
        std::function<void(TXbDbf&)> write;
        TLockFailedEvent TXbFileDataSet::*event;
    };
    const std::vector<Case> cases = {
        {"Post", false,
         [](TXbDbf& t) {
             t.Edit();
             t.FieldByName("age").SetAsInteger(99);
             t.Post();
         },
         &TXbFileDataSet::OnRLockFailedOnPost},
        {"Insert", true,
         [](TXbDbf& t) {
             t.Append();
             t.FieldByName("nom").SetAsString("new");
             t.Post();
         },
         &TXbFileDataSet::OnALockFailedOnInsert},
        {"Delete", false, [](TXbDbf& t) { t.Delete(); }, &TXbFileDataSet::OnRLockFailedOnDelete},
        {"Restore", false, [](TXbDbf& t) { t.RestoreWithLock(); }, &TXbFileDataSet::OnRLockFailedOnRestore},
    };
    auto holder = open("tholder");
    addRow(*holder, "un", 1);
    auto t = open("twriter");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        holder->GoTop();
        ASSERT_TRUE(c.appendLock ? holder->ALock() : holder->RLock());
        const std::string before = fileBytes();
        const std::string text = std::string("Lock failed [") + c.what + "]";

        // Without a handler: the message, and the write is dropped without an exception.
        (*t).*c.event = nullptr;
        ui.messages.clear();
        t->GoTop();
        EXPECT_NO_THROW(c.write(*t));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(fileBytes(), before);
        t->Cancel();

        // A handler that answers Retry while the other holds on: tried a bounded number of times.
        int calls = 0;
        (*t).*c.event = [&](TXbFileDataSet& sender, bool& retry) {
            EXPECT_EQ(&sender, t.get());
            EXPECT_FALSE(retry);
            ++calls;
            retry = true;
        };
        ui.messages.clear();
        t->GoTop();
        EXPECT_NO_THROW(c.write(*t));
        EXPECT_EQ(calls, TXbFileDataSet::kMaxLockRetries);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(fileBytes(), before);
        t->Cancel();
        holder->UnLock();
    }

    // A handler that frees the lock on its third call: the write goes through.
    holder->GoTop();
    ASSERT_TRUE(holder->RLock());
    int calls = 0;
    t->OnRLockFailedOnPost = [&](TXbFileDataSet&, bool& retry) {
        if (++calls == 3) holder->UnLock();
        retry = true;
    };
    ui.messages.clear();
    t->GoTop();
    cases[0].write(*t);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(ui.messages.empty());
    holder->Skip(0);
    EXPECT_EQ(holder->FieldGetInt("age"), 99);
}

TEST_F(CommandsTest, MemoLinesRoundTripExactly) {
    const std::vector<std::string> lines = {"première ligne", "", "  la troisième, indentée  "};
    {
        auto t = open();
        addRow(*t, "un", 1);
        ASSERT_TRUE(t->RLock());
        t->PutMField("notes", lines);
        EXPECT_EQ(t->State(), TDataSetState::dsEdit);
        t->ReplaceRec();
        t->UnLock();
    }
    auto t = open();
    std::vector<std::string> back = {"stale"};
    t->GetMField("NOTES", back);
    EXPECT_EQ(back, lines);
    EXPECT_EQ(t->FieldGetStr("notes"), "première ligne\r\n\r\n  la troisième, indentée  ");
    // The table keeps OEM text: the memo file holds "è" once converted (850: 0x8A), never twice.
    const std::string dbt = xbtest::ReadFileBytes(tmp.file("data.dbt"));
    EXPECT_NE(dbt.find("premi\x8Are ligne\r\n"), std::string::npos);

    // SetMField changes only the typed record; without ReplaceRec the file keeps the old memo.
    ASSERT_TRUE(t->RLock());
    t->SetMField("notes", {"autre"});
    t->UnLock();
    t->Skip(0);
    t->GetMField("notes", back);
    EXPECT_EQ(back, lines);

    // An empty memo reads as no lines.
    addRow(*t, "deux", 2);
    t->GetMField("notes", back);
    EXPECT_TRUE(back.empty());
}

// Lines as written and as read back: every line, empty ones at either end included, returns. A text
// that ends with a line end ends with an empty line, so that writing back what was read changes no byte.
TEST_F(CommandsTest, MemoLinesKeepEmptyLinesAtEitherEnd) {
    const std::vector<std::vector<std::string>> cases = {
        {"a", ""}, {"a", "", ""}, {"", "b"}, {"", "", "c", ""}, {"x"}, {"", ""},
    };
    auto t = open();
    addRow(*t, "un", 1);
    for (const auto& lines : cases) {
        SCOPED_TRACE(::testing::PrintToString(lines));
        ASSERT_TRUE(t->RLock());
        t->PutMField("notes", lines);
        t->ReplaceRec();
        t->UnLock();
        t->Skip(0);
        std::vector<std::string> back;
        t->GetMField("notes", back);
        EXPECT_EQ(back, lines);
    }
}

// A memo put while a row is being appended belongs to the new row; the record the table stood on keeps
// its own values, and the new row keeps the fields put before and after the memo.
TEST_F(CommandsTest, AMemoPutWhileAppendingGoesToTheNewRow) {
    auto t = open();
    addRow(*t, "un", 1);
    ASSERT_TRUE(t->RLock());
    t->PutMField("notes", {"du premier"});
    t->ReplaceRec();
    t->UnLock();
    addRow(*t, "deux", 2);
    t->GoTop();
    ASSERT_EQ(t->FieldGetStr("nom"), "un        ");
    ASSERT_TRUE(t->ALock());
    t->Append();
    t->FieldPutStr("nom", "trois");
    t->PutMField("notes", {"du troisième", ""});
    t->FieldPutInt("age", 3);
    t->Post();
    t->UnLock();
    ASSERT_EQ(t->RecCount(), 3);
    struct Row {
        int rec;
        std::string nom;
        int age;
        std::vector<std::string> notes;
    } rows[] = {{1, "un        ", 1, {"du premier"}}, {2, "deux      ", 2, {}}, {3, "trois     ", 3, {"du troisième", ""}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rec);
        t->SetRecNoValue(r.rec);
        EXPECT_EQ(t->FieldGetStr("nom"), r.nom);
        EXPECT_EQ(t->FieldGetInt("age"), r.age);
        std::vector<std::string> notes;
        t->GetMField("notes", notes);
        EXPECT_EQ(notes, r.notes);
    }
}

TEST_F(CommandsTest, FieldTypeChecks) {
    auto t = open();
    addRow(*t, "un", 1);
    const std::string file = tmp.file("data.dbf");
    struct Case {
        std::string field;
        char expected;
        int result;  // the field number, or 0 with the detail text
        std::string detail;
    } cases[] = {
        {"notes", 'M', 6, ""},
        {"nom", 'M', 0,
         "\"GetMField()\" expects field \"nom\" to be of type:\r\n\"Memo\".\"nom\" actually is: \"Character\""},
        {"age", 'M', 0,
         "\"GetMField()\" expects field \"age\" to be of type:\r\n\"Memo\".\"age\" actually is: \"Numeric, width: 4 "
         "decimals: 0\""},
        {"age", 'N', 2, ""},
        {"taille", 'N', 0,
         "\"GetMField()\" expects field \"taille\" to be of type:\r\n\"Numeric, without decimals\".\"taille\" "
         "actually is: \"Numeric, width: 5 decimals: 2\""},
        {"taille", 'R', 3, ""},
        {"age", 'R', 0,
         "\"GetMField()\" expects field \"age\" to be of type:\r\n\"Numeric, with decimals\".\"age\" actually is: "
         "\"Numeric, width: 4 decimals: 0\""},
        {"ne", 'D', 4, ""},
        {"actif", 'L', 5, ""},
        {"ne", 'L', 0, "\"GetMField()\" expects field \"ne\" to be of type:\r\n\"Logical\".\"ne\" actually is: \"Date\""},
        {"actif", '?', 5, ""},
        {"absent", 'M', 0, "Field \"absent\" not in \"" + file + "\" [GetMField]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field + " " + c.expected);
        EXPECT_EQ(t->CheckFieldType("GetMField", c.field, c.expected), c.result);
        if (c.result == 0) {
            EXPECT_EQ(engine().errors.pendingError, 220);
            EXPECT_EQ(engine().errors.detail, c.detail);
            TakeErrorMessage();
        } else {
            EXPECT_EQ(engine().errors.pendingError, 0);
        }
    }

    // The memo commands on a wrong field: error 220, the list cleared, nothing written.
    std::vector<std::string> lines = {"x"};
    t->GetMField("nom", lines);
    EXPECT_EQ(engine().errors.pendingError, 220);
    EXPECT_NE(ErrorMsg().find("\"Memo\".\"nom\" actually is: \"Character\""), std::string::npos);
    EXPECT_TRUE(lines.empty());
    const std::string before = fileBytes();
    t->SetMField("nope", {"x"});
    EXPECT_EQ(engine().errors.detail, "Field \"nope\" not in \"" + file + "\" [SetMField]");
    TakeErrorMessage();
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(CommandsTest, CommandsOfAClosedDatasetAreError1103) {
    TXbDbf t;
    t.Name = "tclosed";
    std::vector<std::string> lines;
    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"AppendBlank", [&] { t.AppendBlank(); }},
        {"DeleteRec", [&] { t.DeleteRec(); }},
        {"Pack", [&] { EXPECT_FALSE(t.Pack()); }},
        {"ReplaceRec", [&] { t.ReplaceRec(); }},
        {"SetFilterTo", [&] { t.SetFilterTo("x"); }},
        {"SetWhileTo", [&] { t.SetWhileTo("x"); }},
        {"Skip", [&] { t.Skip(0); }},
        {"SetIndexTo", [&] { EXPECT_FALSE(t.SetIndexTo("x")); }},
        {"Find", [&] { EXPECT_FALSE(t.Find("x")); }},
        {"FindExact", [&] { EXPECT_FALSE(t.FindExact("x")); }},
        {"ALock", [&] { EXPECT_FALSE(t.ALock()); }},
        {"RLock", [&] { EXPECT_FALSE(t.RLock()); }},
        {"UnLock", [&] { EXPECT_FALSE(t.UnLock()); }},
        {"GetMField", [&] { t.GetMField("x", lines); }},
        {"SetMField", [&] { t.SetMField("x", lines); }},
    };
    for (const auto& [op, command] : commands) {
        SCOPED_TRACE(op);
        command();
        EXPECT_EQ(engine().errors.pendingError, 1103);
        EXPECT_EQ(engine().errors.detail, "Database is not open [tclosed." + op + "]");
        TakeErrorMessage();
    }
    // The commands that go through the framework raise its error.
    EXPECT_THROW(t.GoTop(), EDatabaseError);
    EXPECT_THROW(t.FieldGetStr("x"), EDatabaseError);
}

}  // namespace

namespace xb {
namespace {

TEST_F(CommandsTest, AppendBlankUnderAWhileConditionStaysOnTheNewRow) {
    auto t = open();
    addRow(*t, "un", 1);
    addRow(*t, "deux", 2);
    t->GoTop();
    t->SetWhileTo("age > 0");  // the blank row fails it
    addRow(*t, "trois", 3);
    t->SetWhileTo("");
    t->GoTop();
    EXPECT_EQ(visit(*t), (std::vector<std::string>{"un", "deux", "trois"}));
}

}  // namespace
}  // namespace xb
