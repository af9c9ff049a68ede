// The table dataset: opening and creating, the cursor, field values across the UTF-8 boundary, memo
// streams, the error texts and the clean-up of areas.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/xb_fields.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

class DatasetTest : public xbtest::EngineTest {
protected:
    std::unique_ptr<TXbDbf> table(const std::string& file, std::vector<std::string> fields,
                                  const std::string& name = "tdata") {
        auto t = std::make_unique<TXbDbf>();
        t->Name = name;
        t->SetDbfFileName(tmp.file(file));
        t->DbfFields = std::move(fields);
        return t;
    }
    // Appends rows through the framework: each row is field name -> text.
    void addRows(TXbDbf& t, const std::vector<std::vector<std::pair<std::string, std::string>>>& rows) {
        for (const auto& row : rows) {
            t.Append();
            for (const auto& [f, v] : row) t.FieldByName(f).SetAsString(v);
            t.Post();
        }
    }
    std::vector<std::string> names(TXbDbf& t, const std::string& field = "nom") {
        std::vector<std::string> out;
        t.First();
        while (!t.Eof()) {
            out.push_back(t.FieldByName(field).GetAsString());
            t.Next();
        }
        return out;
    }
    std::string messageText(const std::exception_ptr& p) {
        try {
            std::rethrow_exception(p);
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }

    xbtest::ScriptedUi ui;
};

const std::vector<std::string> kPeople = {"nom, C, 10, 0", "age, N, 3, 0", "taille, N, 5, 2", "ne, D, 8, 0",
                                          "actif, L, 1, 0"};

TEST_F(DatasetTest, FieldDefinitionsAreCorrectedOnFullNumbers) {
    struct Case {
        std::string line;
        std::string message;  // empty: no correction
        char type;
        int width, decimals;
    } cases[] = {
        {"a, C, 255, 0", "Invalid field definition for tdata: a,C,255,0. Will use corrected definition: a,C,254,0",
         'C', 254, 0},
        {"a, C, 256, 0", "Invalid field definition for tdata: a,C,256,0. Will use corrected definition: a,C,254,0",
         'C', 254, 0},
        {"a, C, 300, 0", "Invalid field definition for tdata: a,C,300,0. Will use corrected definition: a,C,254,0",
         'C', 254, 0},
        {"a, N, 5, 4", "Invalid field definition for tdata: a,N,5,4. Will use corrected definition: a,N,5,3", 'N', 5,
         3},
        {"a, N, 1, 1", "Invalid field definition for tdata: a,N,1,1. Will use corrected definition: a,N,1,0", 'N', 1,
         0},
        {"a, N, 30, 20",
         "Invalid field definition for tdata: a,N,30,20. Will use corrected definition: a,N,20,18", 'N', 20, 18},
        {"a, B, 10, 0", "Invalid field definition for tdata: a,B,10,0. Will use corrected definition: a,M,10,0", 'M',
         10, 0},
        {"a, Q, 4, 0", "Invalid field definition for tdata: a,Q,4,0. Will use corrected definition: a,C,4,0", 'C', 4,
         0},
        {"a, N, 5, 2", "", 'N', 5, 2},
        {"a, C, 254, 0", "", 'C', 254, 0},
    };
    auto t = table("x.dbf", {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ui.messages.clear();
        TDbfFieldDescriptor d;
        ASSERT_TRUE(t->ParseDbfFieldLine(c.line, d));
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.decimals, c.decimals);
        if (c.message.empty()) {
            EXPECT_TRUE(ui.messages.empty());
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text, c.message);
        }
    }
    TDbfFieldDescriptor d;
    EXPECT_FALSE(t->ParseDbfFieldLine("skipped, X, 4, 0", d));
}

TEST_F(DatasetTest, CorrectedWidthsReachTheFile) {
    auto t = table("wide.dbf", {"texte, C, 300, 0", "n, N, 1, 1", "rien, X, 1, 0"});
    t->Open();
    ASSERT_EQ(t->FieldCount(), 2);
    EXPECT_EQ(t->Fields(0).Size(), 254);
    EXPECT_EQ(t->FieldProps()->Width(2), 1);
    EXPECT_EQ(t->FieldProps()->Decimals(2), 0);
}

TEST_F(DatasetTest, ALineWithTwoCommasFailsTheOpenAndCreatesNothing) {
    auto t = table("bad.dbf", {"nom, C, 10, 0", "age, N, 3"});
    EXPECT_THROW(t->Open(), EDatabaseError);
    EXPECT_FALSE(t->Active());
    EXPECT_FALSE(platform::FileExists(tmp.file("bad.dbf")));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages[0].text, "Could not create \"" + tmp.file("bad.dbf") + "\"");
}

TEST_F(DatasetTest, ErrorTexts) {
    TXbDbf t;
    t.Name = "t";
    try {
        t.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Missing DbfFilename property");
    }
    struct {
        int code;
        const char* text;
    } codes[] = {{1401, "Dataset error: 1401"},
                 {1402, "Dataset error: 1402"},
                 {1403, "Dataset error: 1403"},
                 {1404, "Missing DbfFilename property"},
                 {220, "Dataset error: Error # 220 (Invalid parameter)"}};
    for (const auto& c : codes) {
        SCOPED_TRACE(c.code);
        try {
            t.CheckXbiResult(c.code);
            FAIL();
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()), c.text);
        }
    }
    EXPECT_NO_THROW(t.CheckXbiResult(0));

    auto missing = table("absent.dbf", kPeople);
    missing->CreateIfNotFound = false;
    try {
        missing->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Dataset error: Error # 2 (", 0), 0u) << text;
        EXPECT_NE(text.find("absent"), std::string::npos) << text;
    }
    // The error was reported, so nothing is left pending.
    EXPECT_EQ(engine().errors.pendingError, 0);
}

TEST_F(DatasetTest, AStalePendingErrorDoesNotFailTheNextOpen) {
    SetEngineError(220, "left over by an earlier bracket [Somewhere]");
    auto t = table("p.dbf", kPeople);
    EXPECT_NO_THROW(t->Open());
    EXPECT_TRUE(t->Active());
}

TEST_F(DatasetTest, OperationWithoutAreaIsError1103) {
    TXbDbf t;
    t.Name = "closed";
    EXPECT_FALSE(t.BeginOperation("Skip"));
    EXPECT_EQ(engine().errors.pendingError, 1103);
    EXPECT_EQ(ErrorMsg(), "Error # 1103 (Invalid Operation )\r\nDatabase is not open [closed.Skip]");
}

TEST_F(DatasetTest, UpperCaseNameOpensTheExistingFileAndCreatesNothing) {
    {
        auto t = table("champan.dbf", kPeople);
        t->Open();
        addRows(*t, {{{"nom", "un"}}});
    }
    const auto before = platform::ListMatching(tmp.path(), "*");
    auto t = table("CHAMPAN.DBF", {"autre, C, 5, 0"});
    t->Open();
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->Fields(0).FieldName(), "NOM");
    EXPECT_EQ(platform::ListMatching(tmp.path(), "*"), before);
}

TEST_F(DatasetTest, EmptyTable) {
    auto t = table("e.dbf", kPeople);
    t->Open();
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_TRUE(t->Bof());
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecordCount(), 0);
    t->Next();
    EXPECT_TRUE(t->Eof());
    t->Last();
    EXPECT_TRUE(t->Eof());
    EXPECT_TRUE(t->Bof());
    int32_t recNo = 0;
    EXPECT_EQ(t->XbiSetToBegin(), 0);
    EXPECT_EQ(t->XbiGetNextRecord(nullptr, recNo), kXbiEof);
    EXPECT_EQ(t->XbiGetNextRecord(nullptr, recNo), kXbiEof);
}

TEST_F(DatasetTest, CursorWalksForwardAndBack) {
    auto t = table("c.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "a"}}, {{"nom", "b"}}, {{"nom", "c"}}});
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "c");  // EOF stands on the last record
    t->Prior();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "b");
    t->First();
    EXPECT_TRUE(t->Bof());
    t->Prior();
    EXPECT_TRUE(t->Bof());
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "a");
    t->Next();
    EXPECT_FALSE(t->Bof());
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "b");
    t->Last();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "c");
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(t->MoveBy(-2), -2);
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "a");
}

// A fetch copies the row and converts its fields only when one is first read or set: rows moved past
// unread, then reached again by every road (a step back, a bookmark, an edit that posts or cancels, a
// reload), show every field as stored, and a field set on such a row leaves the others as they were.
TEST_F(DatasetTest, RowsMovedPastUnreadShowTheirFieldsWhenReadLater) {
    auto t = table("lazy.dbf", kPeople);
    t->Open();
    const int kRows = 12;
    for (int i = 1; i <= kRows; ++i)
        addRows(*t, {{{"nom", "n" + std::to_string(i)},
                      {"age", std::to_string(20 + i)},
                      {"taille", std::to_string(i) + ".25"},
                      {"ne", "0" + std::to_string(1 + i % 9) + "/1" + std::to_string(i % 10) + "/26"},
                      {"actif", i % 2 ? "T" : "F"}}});
    auto expectRow = [&](int i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t->FieldByName("nom").GetAsString(), "n" + std::to_string(i));
        EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 20 + i);
        EXPECT_DOUBLE_EQ(t->FieldByName("taille").GetAsFloat(), i + 0.25);
        EXPECT_DOUBLE_EQ(t->FieldByName("ne").GetAsDateTime(), EncodeDate(2026, 1 + i % 9, 10 + i % 10));
        EXPECT_EQ(t->FieldByName("actif").GetAsBoolean(), i % 2 == 1);
    };
    t->First();
    for (int i = 1; i < 7; ++i) t->Next();
    expectRow(7);
    t->Next();
    t->Next();
    t->Prior();
    expectRow(8);
    const TBookmark eighth = t->GetBookmark();
    t->Last();
    t->GotoBookmark(eighth);
    expectRow(8);

    // Set on a row fetched unread: the other fields keep what the file holds, after a post and a cancel.
    t->Next();
    t->Edit();
    t->FieldByName("age").SetAsInteger(99);
    t->Post();
    t->Next();
    t->Edit();
    t->FieldByName("nom").SetAsString("gone");
    t->Cancel();
    expectRow(10);
    t->Refresh();
    expectRow(10);
    t->Close();
    t->Open();
    for (int i = 1; i < 9; ++i) t->Next();
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 99);
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "n9");
    EXPECT_DOUBLE_EQ(t->FieldByName("taille").GetAsFloat(), 9.25);
    EXPECT_DOUBLE_EQ(t->FieldByName("ne").GetAsDateTime(), EncodeDate(2026, 1, 19));
    t->Next();
    expectRow(10);
}

TEST_F(DatasetTest, BookmarksReturnToTheirRecord) {
    auto t = table("b.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "a"}}, {{"nom", "b"}}, {{"nom", "c"}}, {{"nom", "d"}}});
    t->First();
    t->Next();
    const TBookmark second = t->GetBookmark();
    t->Last();
    const TBookmark last = t->GetBookmark();
    t->GotoBookmark(second);
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "b");
    EXPECT_EQ(t->CompareBookmarks(last, second), 1);
    EXPECT_EQ(t->CompareBookmarks(second, last), -1);
    EXPECT_EQ(t->CompareBookmarks({}, second), -1);
    EXPECT_TRUE(t->BookmarkValid(last));
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "b");
    // Going to record 0 or count + 1 leaves the cursor after the last record.
    for (int32_t n : {0, 5}) {
        EXPECT_EQ(t->SafeGo(n), 0);
        int32_t rec = 0;
        EXPECT_EQ(t->XbiGetRecord(nullptr, rec), kXbiEof);
    }
}

TEST_F(DatasetTest, DeletedRecordsHiddenWhenAsked) {
    auto t = table("d.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "a"}}, {{"nom", "b"}}, {{"nom", "c"}}});
    t->First();
    t->Next();
    t->Delete();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b", "c"}));
    t->SetHideDeletedRecs(true);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "c"}));
    t->Close();
    t->Open();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "c"}));
}

TEST_F(DatasetTest, EditPostsAndCancelRestores) {
    auto t = table("ed.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "a"}, {"age", "10"}}, {{"nom", "b"}, {"age", "20"}}});
    t->First();
    t->Edit();
    t->FieldByName("age").SetAsInteger(11);
    t->Post();
    t->Next();
    t->Edit();
    t->FieldByName("age").SetAsString("99");
    t->Cancel();
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 20);
    t->Close();
    t->Open();
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 11);
    t->Next();
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 20);
    EXPECT_THROW(t->FieldByName("age").SetAsInteger(1), EDatabaseError);  // browse state
}

TEST_F(DatasetTest, Values) {
    auto t = table("v.dbf", kPeople);
    t->Open();
    t->Append();
    t->FieldByName("nom").SetAsString("abc");
    t->FieldByName("taille").SetAsFloat(1.006);
    t->FieldByName("actif").SetAsBoolean(true);
    t->Post();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "abc");
    EXPECT_DOUBLE_EQ(t->FieldByName("taille").GetAsFloat(), 1.01);
    EXPECT_TRUE(t->FieldByName("ne").IsNull());
    EXPECT_EQ(t->FieldByName("ne").GetAsString(), "");
    EXPECT_TRUE(VarIsNull(t->FieldByName("ne").GetAsVariant()));
    EXPECT_TRUE(t->FieldByName("actif").GetAsBoolean());
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 0);
    const std::string raw = xbtest::ReadFileBytes(tmp.file("v.dbf"));
    EXPECT_NE(raw.find("abc         0 1.01        T"), std::string::npos);
    t->Edit();
    EXPECT_THROW(t->FieldByName("age").SetAsString("x"), EDatabaseError);
    EXPECT_THROW(t->FieldByName("taille").SetAsString("1.2.3"), EDatabaseError);
    t->Cancel();
}

TEST_F(DatasetTest, AccentedTextRoundTripsThroughTheOemCodePage) {
    auto t = table("acc.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "Hélène"}}, {{"nom", "Łódź"}}});
    t->First();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "Hélène");
    t->Next();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "?ód?");  // Ł and ź are not in Windows-1252
    const std::string raw = xbtest::ReadFileBytes(tmp.file("acc.dbf"));
    EXPECT_NE(raw.find("H\x82l\x8Ane"), std::string::npos);  // é and è in code page 850
}

TEST_F(DatasetTest, DecimalCommaLocaleChangesNothingInTheFile) {
    auto write = [&](const std::string& file) {
        auto t = table(file, kPeople);
        t->Open();
        addRows(*t, {{{"nom", "x"}, {"taille", "12.5"}, {"ne", ""}}});
        t->Edit();
        t->FieldByName("taille").SetAsFloat(3.25);
        t->Post();
        return xbtest::ReadFileBytes(tmp.file(file)).substr(32 * 6 + 1 + 8);  // records, past the date
    };
    const std::string plain = write("p.dbf");
    SetDateFormatFromLocale("MM/dd/yy", ',', '.');
    EXPECT_EQ(engine().settings.decimalSep, ',');
    EXPECT_EQ(write("q.dbf"), plain);
    auto t = table("q.dbf", kPeople);
    t->Open();
    EXPECT_EQ(t->FieldByName("taille").GetAsString(), "3.25");
    t->Edit();
    t->FieldByName("taille").SetAsString("4,5");  // what a user of that locale types
    EXPECT_DOUBLE_EQ(t->FieldByName("taille").GetAsFloat(), 4.5);
    t->Cancel();
}

TEST_F(DatasetTest, DateFieldsFollowTheEnginePicture) {
    auto t = table("dt.dbf", kPeople);
    t->Open();
    t->Append();
    t->FieldByName("nom").SetAsString("a");
    t->FieldByName("ne").SetAsString("12/07/26");
    t->Post();
    EXPECT_EQ(t->FieldByName("ne").GetAsString(), "12/07/26");
    EXPECT_DOUBLE_EQ(t->FieldByName("ne").GetAsDateTime(), EncodeDate(2026, 12, 7));
    EXPECT_NE(xbtest::ReadFileBytes(tmp.file("dt.dbf")).find("20261207"), std::string::npos);
    t->Edit();
    t->FieldByName("ne").SetAsString("  /  /  ");
    EXPECT_TRUE(t->FieldByName("ne").IsNull());
    t->FieldByName("ne").SetAsString("02/31/26");
    EXPECT_TRUE(t->FieldByName("ne").IsNull());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "        Invalid date       ");
    t->Post();
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("dt.dbf")).find("20261207"), std::string::npos);
}

TEST_F(DatasetTest, DateSettingsFromTheSystemFormat) {
    struct {
        const char* format;
        int dateFormat;
        bool century;
    } cases[] = {{"dd.MM.yyyy", 5, true}, {"dd/MM/yy", 2, false}, {"dd-MM-yyyy", 3, true},
                 {"yyyy-MM-dd", 1, true}, {"M/d/yy", 0, false},   {"MM/dd/yyyy", 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        SetDateFormatFromLocale(c.format, '.', ',');
        EXPECT_EQ(engine().settings.dateFormat, c.dateFormat);
        EXPECT_EQ(engine().settings.century, c.century);
    }
}

TEST_F(DatasetTest, PastTheEndOfANonEmptyTableIsEofOnTheLastRecord) {
    auto t = table("end.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "a"}}, {{"nom", "b"}}});
    t->First();
    ASSERT_TRUE(t->BeginOperation("test"));
    GoBottom();
    Skip(1);  // the engine stands on the blank record count + 1
    ASSERT_TRUE(dEOF());
    t->SyncDatasetWithArea();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecNo(), 2);
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "b");
    t->Prior();
    EXPECT_EQ(t->FieldByName("nom").GetAsString(), "a");
}

TEST_F(DatasetTest, DestroyedComponentClosesItsArea) {
    int area = 0;
    try {
        auto t = table("leak.dbf", kPeople, "tleak");
        t->Open();
        area = t->Area();
        throw std::runtime_error("an error in the middle of a routine");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(AreaBlock(area), nullptr);
    auto again = table("leak.dbf", kPeople, "tleak");
    EXPECT_NO_THROW(again->Open());
}

TEST_F(DatasetTest, TwoComponentsWorkAlternately) {
    auto a = table("a.dbf", kPeople, "ta");
    auto b = table("b.dbf", kPeople, "tb");
    a->Open();
    b->Open();
    addRows(*a, {{{"nom", "a1"}}, {{"nom", "a2"}}});
    addRows(*b, {{{"nom", "b1"}}});
    a->First();
    b->First();
    a->Next();
    EXPECT_EQ(a->FieldByName("nom").GetAsString(), "a2");
    EXPECT_EQ(b->FieldByName("nom").GetAsString(), "b1");
    EXPECT_EQ(b->RecordCount(), 1);
    EXPECT_EQ(a->RecordCount(), 2);
}

TEST_F(DatasetTest, LocateAndLookup) {
    auto t = table("l.dbf", kPeople);
    t->Open();
    addRows(*t, {{{"nom", "anne"}, {"age", "30"}}, {{"nom", "bob"}, {"age", "40"}}, {{"nom", "Bobby"}, {"age", "50"}}});
    t->First();
    EXPECT_TRUE(t->Locate("nom", {std::string("BOBBY")}, loCaseInsensitive));
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 50);
    EXPECT_FALSE(t->Locate("nom", {std::string("zed")}, 0));
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 50);
    auto r = t->Lookup("nom", {std::string("bob")}, "age;nom");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(std::get<int32_t>(r[0]), 40);
    EXPECT_EQ(std::get<std::string>(r[1]), "bob");
    EXPECT_EQ(t->FieldByName("age").GetAsInteger(), 50);
    EXPECT_TRUE(t->Lookup("nom", {std::string("zed")}, "age").empty());
}

TEST_F(DatasetTest, ReadOnlyRefusesEdits) {
    {
        auto t = table("ro.dbf", kPeople);
        t->Open();
        addRows(*t, {{{"nom", "a"}}});
    }
    auto t = table("ro.dbf", kPeople);
    t->ReadOnly = true;
    t->Open();
    EXPECT_THROW(t->Edit(), EDatabaseError);
    EXPECT_THROW(t->Append(), EDatabaseError);
}

class MemoDatasetTest : public DatasetTest {
protected:
    MemoDatasetTest() { InstallMemoUnit(engine()); }
};

TEST_F(MemoDatasetTest, MemoTextThroughTheBlobStream) {
    auto t = table("m.dbf", {"nom, C, 10, 0", "notes, M, 10, 0"});
    t->Open();
    EXPECT_TRUE(platform::FileExists(tmp.file("m.dbt")));
    t->Append();
    t->FieldByName("nom").SetAsString("a");
    t->FieldByName("notes").SetAsString("Première ligne\r\nseconde");
    t->Post();
    t->Close();
    t->Open();
    EXPECT_EQ(t->FieldByName("notes").GetAsString(), "Première ligne\r\nseconde");
    {
        auto s = t->CreateBlobStream(t->FieldByName("notes"), TBlobStreamMode::bmRead);
        EXPECT_EQ(s->Seek(0, TStream::soFromEnd), 23);
        s->Seek(9, TStream::soFromBeginning);
        char buf[6] = {};
        EXPECT_EQ(s->Read(buf, 5), 5);
        EXPECT_EQ(std::string(buf), "ligne");
    }
    // A stream opened for writing and left without a write clears the memo of the record.
    { auto s = t->CreateBlobStream(t->FieldByName("notes"), TBlobStreamMode::bmWrite); }
    EXPECT_EQ(t->State(), TDataSetState::dsEdit);
    t->Post();
    EXPECT_TRUE(t->FieldByName("notes").IsNull());
    t->Close();
    t->Open();
    EXPECT_EQ(t->FieldByName("notes").GetAsString(), "");
}

}  // namespace
