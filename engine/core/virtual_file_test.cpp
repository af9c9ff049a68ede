#include "engine/core/virtual_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

// Records of a key text (C 10) and an id (N 6): 1 + 11 + 4 bytes.
constexpr size_t kRecordSize = 16;

class VFileTest : public xbtest::EngineTest {
protected:
    VFileTest() { InstallVirtualFiles(engine()); }

    // Opens a virtual file with the key and id fields in the current area.
    void open(const std::string& command = "scores VIRTUAL FILE") {
        ASSERT_TRUE(Use(command, buf.data(), buf.size())) << ErrorMsg();
        ASSERT_TRUE(AddStru({{"key", 'c', 10, 0, 1}, {"id", 'n', 6, 0, 12}})) << ErrorMsg();
    }
    void useKey() {
        ASSERT_TRUE(Set_VFileKey_To([] { return TypedGetString(FieldAddress(1)); }));
    }
    void fill(const std::string& key, int id) {
        buf[0] = 0;
        TypedSetString(FieldAddress(1), 10, key);
        TypedSetInt(FieldAddress(2), id);
    }
    bool add(const std::string& key, int id) {
        fill(key, id);
        return Append();
    }
    int id() { return TypedGetInt(FieldAddress(2)); }
    std::string key() { return TypedGetString(FieldAddress(1)); }
    // The ids in file order, read with the ordinary navigation.
    std::vector<int> ids() {
        std::vector<int> out;
        EXPECT_TRUE(GoTop());
        while (!dEOF()) {
            out.push_back(id());
            if (!Skip(1)) break;
        }
        return out;
    }

    std::vector<uint8_t> buf = std::vector<uint8_t>(kRecordSize, 0);
};

// A script of appends and moves: "+K" appends key K with the next id, "gN" goes to record N, "e" goes
// past the last record.
struct ModeCase {
    const char* name;
    const char* command;
    std::vector<std::string> script;
    std::vector<int> order;
};

TEST_F(VFileTest, EveryAppendModePlacesRecordsAsItsRulesSayTiesIncluded) {
    const std::vector<ModeCase> cases = {
        {"fifo", "t FIFO VIRTUAL FILE", {"+A", "+B", "+C"}, {1, 2, 3}},
        {"fifo by default", "t VIRTUAL FILE", {"+C", "+A", "+B"}, {1, 2, 3}},
        {"lifo", "t LINKED LIST LIFO", {"+A", "+B", "+C"}, {3, 2, 1}},
        // The first record current: the new one becomes record 1; elsewhere it goes before the current
        // record; at the end of file it goes last.
        {"insertion", "t VIRTUAL FILE INSERTION", {"+X", "+X", "+X", "g3", "+X", "e", "+X"}, {3, 2, 4, 1, 5}},
        {"ascending equal to first", "t VIRTUAL FILE ASCENDING", {"+B", "+A", "+A"}, {3, 2, 1}},
        {"ascending equal to last",
         "t VIRTUAL FILE ASCENDING",
         {"+A", "+C", "+C", "+B", "+C"},
         {1, 4, 2, 3, 5}},
        // Equal to a key in between: right after the equal record the bisection meets first.
        {"ascending equal inside",
         "t VIRTUAL FILE ASCENDING",
         {"+A", "+C", "+C", "+C", "+E", "+C"},
         {1, 2, 3, 6, 4, 5}},
        {"ascending prefix is smaller",
         "t VIRTUAL FILE ASCENDING",
         {"+AB", "+A", "+ABC", "+B"},
         {2, 1, 3, 4}},
        {"descending", "t VIRTUAL FILE DESCENDING", {"+B", "+A", "+A", "+C", "+B"}, {4, 1, 5, 2, 3}},
        {"descending equal to first", "t VIRTUAL FILE DESCENDING", {"+B", "+B", "+A", "+B"}, {4, 2, 1, 3}},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.command);
        useKey();
        int next = 1;
        for (const std::string& step : c.script) {
            if (step[0] == '+') {
                ASSERT_TRUE(add(step.substr(1), next)) << ErrorMsg();
                // The new record is current and in the buffer.
                EXPECT_EQ(id(), next);
                EXPECT_FALSE(dEOF());
                ++next;
            } else if (step[0] == 'g') {
                ASSERT_TRUE(Go(std::stoi(step.substr(1))));
            } else {
                ASSERT_TRUE(GoBottom());
                Skip(1);
                ASSERT_TRUE(dEOF());
            }
        }
        EXPECT_EQ(ids(), c.order);
        EXPECT_EQ(RecCount(), static_cast<int32_t>(c.order.size()));
        CloseDatabase();
    }
}

// INSERTION steps back with the ordinary skip, so hidden (deleted) records before the current one are
// stepped over; when nothing visible precedes it the record still goes before the current one.
TEST_F(VFileTest, InsertionStepsOverHiddenRecords) {
    struct Case {
        std::vector<int> deleted;
        int32_t current;
        std::vector<int> order;
    };
    const std::vector<Case> cases = {
        {{2, 3}, 4, {1, 9, 2, 3, 4}},
        {{1}, 2, {1, 9, 2, 3, 4}},
        {{}, 3, {1, 2, 9, 3, 4}},
    };
    for (const Case& c : cases) {
        open("t VIRTUAL FILE");
        for (int i = 1; i <= 4; ++i) add("k", i);
        for (int r : c.deleted) {
            ASSERT_TRUE(Go(r));
            ASSERT_TRUE(DeleteRec());
        }
        ASSERT_TRUE(Set_VFileMode_To(LStatusType::INSERTION));
        SetIgnoreDel(true);
        ASSERT_TRUE(Go(c.current));
        ASSERT_TRUE(add("new", 9));
        EXPECT_EQ(id(), 9);
        SetIgnoreDel(false);
        EXPECT_EQ(ids(), c.order);
        CloseDatabase();
    }
}

TEST_F(VFileTest, TheNewRecordIsCurrentAtItsPosition) {
    open("t VIRTUAL FILE DESCENDING");
    useKey();
    for (auto [k, i] : std::vector<std::pair<std::string, int>>{{"M", 1}, {"Z", 2}, {"A", 3}, {"P", 4}})
        add(k, i);
    // Z P M A: P went to position 2.
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(key(), "P");
    ASSERT_TRUE(Skip(1));
    EXPECT_EQ(key(), "M");
}

TEST_F(VFileTest, NavigationAndWritesThroughTheWorkAreaCommands) {
    open();
    for (int i = 1; i <= 5; ++i) ASSERT_TRUE(add(std::string(1, static_cast<char>('a' + i - 1)), i));
    EXPECT_EQ(RecCount(), 5);
    ASSERT_TRUE(GoTop());
    EXPECT_EQ(id(), 1);
    EXPECT_FALSE(dBOF());
    ASSERT_TRUE(Skip(2));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_EQ(key(), "c");
    ASSERT_TRUE(Skip(-1));
    EXPECT_EQ(id(), 2);
    ASSERT_TRUE(Skip(-5));
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(id(), 1);
    ASSERT_TRUE(GoBottom());
    EXPECT_EQ(id(), 5);
    ASSERT_TRUE(Skip(1));
    EXPECT_TRUE(dEOF());
    ASSERT_TRUE(Go(4));
    EXPECT_EQ(key(), "d");

    // Replace in place (FIFO).
    fill("D!", 40);
    ASSERT_TRUE(Replace());
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(Go(4));
    EXPECT_EQ(key(), "D!");
    EXPECT_EQ(id(), 40);

    // Delete and recall set the flag in the record and the buffer.
    ASSERT_TRUE(Go(2));
    ASSERT_TRUE(DeleteRec());
    EXPECT_TRUE(Deleted());
    ASSERT_TRUE(Go(5));
    ASSERT_TRUE(Go(2));
    EXPECT_TRUE(Deleted());
    ASSERT_TRUE(RecallRec());
    EXPECT_FALSE(Deleted());
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(Go(2));
    EXPECT_FALSE(Deleted());

    // Deleted records hidden from navigation, then packed away.
    ASSERT_TRUE(Go(2));
    ASSERT_TRUE(DeleteRec());
    ASSERT_TRUE(Go(5));
    ASSERT_TRUE(DeleteRec());
    SetIgnoreDel(true);
    EXPECT_EQ(ids(), (std::vector<int>{1, 3, 40}));
    SetIgnoreDel(false);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3, 40, 5}));
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 3);
    EXPECT_EQ(RecNo(), 1);
    EXPECT_EQ(id(), 1);
    EXPECT_EQ(ids(), (std::vector<int>{1, 3, 40}));

    // Packing away every record leaves an empty file at both ends.
    for (int r = 1; r <= 3; ++r) {
        ASSERT_TRUE(Go(r));
        ASSERT_TRUE(DeleteRec());
    }
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
    ASSERT_TRUE(add("z", 9));
    EXPECT_EQ(ids(), (std::vector<int>{9}));
}

TEST_F(VFileTest, PositionsOutsideTheFileAre212) {
    open();
    EXPECT_FALSE(Go(1));
    EXPECT_EQ(LastError(), 212);
    add("a", 1);
    add("b", 2);
    for (int32_t n : {0, 3}) {
        EXPECT_FALSE(Go(n)) << n;
        EXPECT_EQ(LastError(), 212);
    }
    // The driver's own check, for callers that hand it a target directly.
    WorkAreaBlock* b = CurrentBlock();
    for (int32_t n : {0, 3, -7}) {
        engine().errors.lastError = 0;
        b->vfOp = kVfGet;
        b->vfArg = n;
        engine().tables.vfile->call(*b);
        EXPECT_EQ(LastError(), 212);
        EXPECT_EQ(engine().errors.detail, "Attempted to position to record number " + std::to_string(n) +
                                              "  Database record count is 2SCORES [VFiles]");
    }
}

TEST_F(VFileTest, ReplacingInASortedFileMovesTheRecord) {
    open("t VIRTUAL FILE DESCENDING");
    useKey();
    for (auto [k, i] : std::vector<std::pair<std::string, int>>{{"40", 1}, {"30", 2}, {"20", 3}, {"10", 4}})
        add(k, i);
    ASSERT_TRUE(Go(4));
    fill("35", 4);
    ASSERT_TRUE(Replace());
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(id(), 4);
    EXPECT_EQ(key(), "35");
    EXPECT_EQ(RecCount(), 4);
    EXPECT_EQ(ids(), (std::vector<int>{1, 4, 2, 3}));
    // The same key again keeps the record among its equals by the insertion rules.
    ASSERT_TRUE(Go(1));
    fill("40", 1);
    ASSERT_TRUE(Replace());
    EXPECT_EQ(ids(), (std::vector<int>{1, 4, 2, 3}));
}

TEST_F(VFileTest, AFailedMoveInASortedFileKeepsTheRecord) {
    open("t VIRTUAL FILE ASCENDING");
    useKey();
    add("a", 1);
    add("b", 2);
    add("c", 3);
    ASSERT_TRUE(Set_VFileKey_To(nullptr));
    ASSERT_TRUE(Go(2));
    fill("zz", 2);
    EXPECT_FALSE(Replace());
    EXPECT_EQ(LastError(), 1100);
    EXPECT_EQ(engine().errors.detail,
              "T is a \"Sorted\" virtual file with no keymaker function. [Append/InsertRec/PushRec]");
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(RecCount(), 3);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(Go(2));
    EXPECT_EQ(key(), "b");
    // An append is refused the same way and adds nothing.
    EXPECT_FALSE(add("d", 4));
    EXPECT_EQ(RecCount(), 3);
}

TEST_F(VFileTest, AKeyCallbackThatThrowsLeavesTheFileAsItWas) {
    open("t VIRTUAL FILE ASCENDING");
    int calls = 0;
    bool explode = false;
    ASSERT_TRUE(Set_VFileKey_To([&] {
        ++calls;
        if (explode) throw std::runtime_error("key");
        return TypedGetString(FieldAddress(1));
    }));
    add("b", 1);
    add("d", 2);
    add("f", 3);
    ASSERT_TRUE(Go(3));
    explode = true;
    fill("c", 4);
    EXPECT_THROW(Append(), std::runtime_error);
    EXPECT_EQ(RecCount(), 3);
    EXPECT_EQ(RecNo(), 3);
    EXPECT_EQ(key(), "c");  // the caller's record is still in the buffer
    ASSERT_TRUE(Go(1));
    fill("e", 1);
    EXPECT_THROW(Replace(), std::runtime_error);
    explode = false;
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(Go(1));
    EXPECT_EQ(key(), "b");
}

TEST_F(VFileTest, TheKeyCallbackCannotChangeTheFileItOrders) {
    open("t VIRTUAL FILE ASCENDING");
    uint16_t inner = 0;
    bool nested = false;
    ASSERT_TRUE(Set_VFileKey_To([&] {
        if (nested) {
            nested = false;
            std::vector<uint8_t> saved(buf);
            fill("zz", 99);
            Append();
            inner = LastError();
            buf = saved;
        }
        return TypedGetString(FieldAddress(1));
    }));
    add("a", 1);
    nested = true;
    ASSERT_TRUE(add("b", 2));
    EXPECT_EQ(inner, 1103);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
}

TEST_F(VFileTest, NeitherCallbackNorSortLetTheSourceChangeMidway) {
    open();
    for (int i = 1; i <= 3; ++i) add(std::to_string(4 - i), i);
    uint16_t inner = 0;
    ASSERT_TRUE(Set_VFileKey_To([&] {
        if (inner == 0) {
            std::vector<uint8_t> saved(buf);
            fill("9", 99);
            Append();  // the source area is current while it sorts
            inner = LastError();
            buf = saved;
        }
        return TypedGetString(FieldAddress(1));
    }));
    ASSERT_TRUE(SortVFile(LStatusType::ASCENDING)) << ErrorMsg();
    EXPECT_EQ(inner, 1103);
    EXPECT_EQ(ids(), (std::vector<int>{3, 2, 1}));
}

// In exception mode every refusal throws, and the file is as it was.
TEST_F(VFileTest, InExceptionModeFailuresThrowAndLoseNothing) {
    open("t VIRTUAL FILE DESCENDING");
    useKey();
    add("a", 1);
    add("b", 2);
    SetEngineExceptions(true);
    SetErrorTrap(true);
    ASSERT_TRUE(Set_VFileKey_To(nullptr));
    ASSERT_TRUE(Go(2));
    fill("c", 2);
    EXPECT_THROW(Replace(), EEngineError);
    EXPECT_THROW(Go(3), EEngineError);
    EXPECT_THROW(SortVFile(LStatusType::FIFO), EEngineError);
    EXPECT_THROW(Set_VFileMode_To(LStatusType::ASCENDING), EEngineError);
    EXPECT_THROW(ALock(), EEngineError);
    EXPECT_THROW(RLock(), EEngineError);
    SetErrorTrap(false);
    SetEngineExceptions(false);
    EXPECT_EQ(ids(), (std::vector<int>{2, 1}));
    ASSERT_TRUE(Go(1));
    EXPECT_EQ(key(), "b");
}

struct ModeChange {
    const char* name;
    const char* command;
    int records;
    LStatusType to;
    bool accepted;
};

TEST_F(VFileTest, SetVFileModeToRefusesASortedModeOnAFileWithRecords) {
    const std::vector<ModeChange> cases = {
        {"empty to ascending", "t VIRTUAL FILE", 0, LStatusType::ASCENDING, true},
        {"one record to descending", "t VIRTUAL FILE", 1, LStatusType::DESCENDING, true},
        {"two records to ascending", "t VIRTUAL FILE", 2, LStatusType::ASCENDING, false},
        {"two records to lifo", "t VIRTUAL FILE", 2, LStatusType::LIFO, true},
        {"two records to insertion", "t VIRTUAL FILE ASCENDING", 2, LStatusType::INSERTION, true},
        {"ascending stays ascending", "t VIRTUAL FILE ASCENDING", 3, LStatusType::ASCENDING, true},
        {"ascending to descending", "t VIRTUAL FILE ASCENDING", 2, LStatusType::DESCENDING, false},
        {"a mode byte out of range", "t VIRTUAL FILE", 0, static_cast<LStatusType>(7), false},
    };
    for (const ModeChange& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.command);
        useKey();
        for (int i = 0; i < c.records; ++i) add(std::to_string(i), i);
        const LStatusType before = Get_VFileMode();
        engine().errors.lastError = 0;
        EXPECT_EQ(Set_VFileMode_To(c.to), c.accepted);
        EXPECT_EQ(Get_VFileMode(), c.accepted ? c.to : before);
        if (!c.accepted) {
            EXPECT_EQ(LastError(), 1100);
        }
        CloseDatabase();
    }
    open();
    add("a", 1);
    add("b", 2);
    Set_VFileMode_To(LStatusType::ASCENDING);
    EXPECT_EQ(
        engine().errors.detail,
        "Cannot set a sort mode on a virtual file containing records. (SCORES) [(Set_VFileMode_To) VFiles]");
}

TEST_F(VFileTest, SortVFileOrdersByTheInsertionRules) {
    struct SortCase {
        std::vector<std::string> keys;
        LStatusType mode;
        std::vector<int> order;
    };
    const std::vector<SortCase> cases = {
        {{"1", "1", "2"}, LStatusType::ASCENDING, {2, 1, 3}},
        {{"2", "1", "2"}, LStatusType::ASCENDING, {2, 1, 3}},
        {{"b", "d", "a", "c"}, LStatusType::DESCENDING, {2, 4, 1, 3}},
        {{}, LStatusType::ASCENDING, {}},
        {{"x"}, LStatusType::DESCENDING, {1}},
    };
    for (const SortCase& c : cases) {
        open();
        useKey();
        int next = 1;
        for (const std::string& k : c.keys) add(k, next++);
        ASSERT_TRUE(SortVFile(c.mode)) << ErrorMsg();
        EXPECT_EQ(Get_VFileMode(), c.mode);
        EXPECT_EQ(RecNo(), c.keys.empty() ? 0 : 1);
        EXPECT_EQ(ids(), c.order);
        // The engine's sort area is closed again and the source still current.
        EXPECT_EQ(AreaBlock(35), nullptr);
        EXPECT_EQ(SelectedArea(), 1);
        // Appends now follow the sorted mode.
        add("1", 50);
        CloseDatabase();
    }
}

TEST_F(VFileTest, SortVFileRefusesWhatItCannotSort) {
    open();
    add("b", 1);
    add("a", 2);
    EXPECT_FALSE(SortVFile(LStatusType::ASCENDING));
    EXPECT_EQ(LastError(), 1100);
    EXPECT_EQ(engine().errors.detail, "SCORES has no KeyMaker.  Records cannot be sorted. [SortVFile]");
    useKey();
    EXPECT_FALSE(SortVFile(LStatusType::LIFO));
    EXPECT_EQ(LastError(), 220);
    EXPECT_EQ(engine().errors.detail,
              "Sort mode not ASCENDING or DESCENDING for SCORES [(SortVFile) VFiles]");
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Get_VFileMode(), LStatusType::FIFO);
}

TEST_F(VFileTest, ASortThatFailsHalfWayPutsEveryRecordBack) {
    open();
    for (int i = 1; i <= 6; ++i) add(std::to_string(7 - i), i);
    int calls = 0;
    ASSERT_TRUE(Set_VFileKey_To([&] {
        if (++calls == 6) throw std::runtime_error("key");
        return TypedGetString(FieldAddress(1));
    }));
    ASSERT_TRUE(Go(4));
    EXPECT_THROW(SortVFile(LStatusType::ASCENDING), std::runtime_error);
    EXPECT_EQ(SelectedArea(), 1);
    EXPECT_EQ(AreaBlock(35), nullptr);
    EXPECT_EQ(RecCount(), 6);
    EXPECT_EQ(RecNo(), 4);
    EXPECT_EQ(id(), 4);
    EXPECT_EQ(Get_VFileMode(), LStatusType::FIFO);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

// 100,000 records with many equal keys: the sorted keys are those of std::stable_sort, and every record
// is there exactly once.
TEST_F(VFileTest, SortingAHundredThousandRecordsMatchesStableSortOfTheKeys) {
    for (LStatusType mode : {LStatusType::ASCENDING, LStatusType::DESCENDING}) {
        open();
        useKey();
        std::mt19937 rng(mode == LStatusType::ASCENDING ? 11 : 12);
        constexpr int kCount = 100000;
        std::vector<std::string> keys;
        keys.reserve(kCount);
        for (int i = 0; i < kCount; ++i) {
            keys.push_back(std::to_string(rng() % 5000));
            ASSERT_TRUE(add(keys.back(), i));
        }
        ASSERT_TRUE(SortVFile(mode));
        std::vector<std::string> expected = keys;
        if (mode == LStatusType::ASCENDING)
            std::stable_sort(expected.begin(), expected.end());
        else
            std::stable_sort(expected.begin(), expected.end(), std::greater<>());
        std::vector<std::string> got;
        std::vector<bool> seen(kCount, false);
        got.reserve(kCount);
        for (int32_t r = 1; r <= kCount; ++r) {
            ASSERT_TRUE(Go(r));
            got.push_back(key());
            ASSERT_EQ(keys[static_cast<size_t>(id())], got.back());
            ASSERT_FALSE(seen[static_cast<size_t>(id())]);
            seen[static_cast<size_t>(id())] = true;
        }
        EXPECT_EQ(got, expected);
        CloseDatabase();
    }
}

TEST_F(VFileTest, SnipRecRemovesTheCurrentRecordAndLoadsTheNext) {
    open();
    for (int i = 1; i <= 4; ++i) add(std::string(1, static_cast<char>('a' + i - 1)), i);
    ASSERT_TRUE(Go(2));
    ASSERT_TRUE(SnipRec());
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(id(), 3);  // the buffer shows the record now current, so a replace lands on it
    fill("C", 30);
    ASSERT_TRUE(Replace());
    EXPECT_EQ(ids(), (std::vector<int>{1, 30, 4}));
    ASSERT_TRUE(GoBottom());
    ASSERT_TRUE(SnipRec());
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(id(), 30);
    // Past the end there is no current record: nothing is removed.
    Skip(1);
    ASSERT_TRUE(dEOF());
    EXPECT_FALSE(SnipRec());
    EXPECT_EQ(LastError(), 212);
    EXPECT_EQ(RecCount(), 2);
    ASSERT_TRUE(GoTop());
    ASSERT_TRUE(SnipRec());
    ASSERT_TRUE(SnipRec());
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
}

TEST_F(VFileTest, AddStruNormalisesTheFieldListAndRefusesBadFields) {
    buf.resize(32);
    ASSERT_TRUE(Use("t VIRTUAL FILE", buf.data(), buf.size()));
    ASSERT_TRUE(
        AddStru({{"averyveryverylongname", 'd', 0, 0, 1}, {"ok", 'l', 5, 0, 12}, {"m", 'm', 4, 2, 13}}));
    EXPECT_EQ(FieldCount(), 3);
    EXPECT_EQ(Field(1), "AVERYVERYV");
    EXPECT_EQ(FieldType(1), 'D');
    EXPECT_EQ(CurrentBlock()->fields[0].length, 8);
    EXPECT_EQ(FieldType(2), 'L');
    EXPECT_EQ(FieldLen(2), 1);
    EXPECT_EQ(FieldType(3), 'N');
    EXPECT_EQ(FieldLen(3), 10);
    EXPECT_EQ(FieldDec(3), 0);
    EXPECT_EQ(CurrentBlock()->fields[2].offset, 13);  // the caller's offsets stay

    struct Bad {
        std::vector<FieldDescriptor> fields;
        uint16_t code;
        std::string detail;
    };
    const std::vector<Bad> bad = {
        {{{"name", 'C', 0, 0, 1}},
         211,
         "Invalid length, field name: \"NAME\" in VFile field list. Alias= T [AddStru]"},
        {{{"n", 'n', 0, 0, 1}},
         211,
         "Invalid length, field name: \"N\" in VFile field list. Alias= T [AddStru]"},
        {{{"a", 'C', 2, 0, 1}, {"x", 'x', 4, 0, 4}},
         211,
         "Invalid type \"X\" in VFile field list. Alias= T [AddStru]"},
        {{{"wide", 'C', 40, 0, 1}},
         266,
         "Database record/buffer size mismatch: T [AddStru]\n\rRecord Size=42, Buffer Size=32"},
    };
    for (const Bad& b : bad) {
        engine().errors.lastError = 0;
        EXPECT_FALSE(AddStru(b.fields));
        EXPECT_EQ(LastError(), b.code);
        EXPECT_EQ(engine().errors.detail, b.detail);
        EXPECT_EQ(FieldCount(), 3);  // the old list stands
        EXPECT_EQ(Field(1), "AVERYVERYV");
    }
    std::vector<FieldDescriptor> many(256, FieldDescriptor{"f", 'L', 1, 0, 1});
    EXPECT_FALSE(AddStru(many));
    EXPECT_EQ(LastError(), 211);
    EXPECT_EQ(FieldCount(), 3);
    EXPECT_TRUE(AddStru(std::vector<FieldDescriptor>{}));
    EXPECT_EQ(FieldCount(), 0);
}

TEST_F(VFileTest, TheRoutinesCheckForAnOpenVirtualArea) {
    const std::vector<std::pair<std::string, std::function<void()>>> routines = {
        {"AddStru", [] { AddStru(std::vector<FieldDescriptor>{}); }},
        {"Set_VFileKey_To", [] { Set_VFileKey_To(nullptr); }},
        {"Get_VFileMode", [] { EXPECT_EQ(Get_VFileMode(), LStatusType::FIFO); }},
        {"Set_VFileMode_To", [] { Set_VFileMode_To(LStatusType::LIFO); }},
        {"SnipRec", [] { SnipRec(); }},
        {"SortVFile", [] { SortVFile(LStatusType::ASCENDING); }},
    };
    for (const auto& [name, run] : routines) {
        SCOPED_TRACE(name);
        engine().errors.lastError = 0;
        run();
        EXPECT_EQ(LastError(), 215);
        EXPECT_EQ(engine().errors.detail, "No database in use [" + name + "]  WorkArea = 1");
    }
    TableBlock t;
    ASSERT_TRUE(CreateDbf(t, tmp.file("real.dbf"), {{"a", 'C', 3, 0}}));
    ASSERT_TRUE(Use(tmp.file("real"), nullptr, 0));
    for (const auto& [name, run] : routines) {
        SCOPED_TRACE(name);
        engine().errors.lastError = 0;
        run();
        EXPECT_EQ(LastError(), 1100);
        EXPECT_EQ(engine().errors.detail, "REAL is not a virtual file. [" + name + "]");
    }
}

TEST_F(VFileTest, UseReadsModeAndMemoryWordsAndCloseFreesTheRecords) {
    ASSERT_TRUE(Use("Work TO XMS ascending virtual file alias w", buf.data(), buf.size()));
    WorkAreaBlock* b = CurrentBlock();
    EXPECT_EQ(Get_VFileMode(), LStatusType::ASCENDING);
    EXPECT_EQ(b->memoryKind, 3);
    EXPECT_EQ(b->alias, "W");
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 0);
    ASSERT_TRUE(AddStru({{"key", 'C', 10, 0, 1}, {"id", 'N', 6, 0, 12}}));
    useKey();
    add("b", 1);
    add("a", 2);
    CloseDatabase();
    EXPECT_EQ(CurrentBlock(), nullptr);
    // A second open of the same name starts empty.
    ASSERT_TRUE(Use("Work VIRTUAL FILE", buf.data(), buf.size()));
    EXPECT_EQ(RecCount(), 0);
    EXPECT_EQ(FieldCount(), 0);
    // Records still open when the engine ends are freed with it (the address sanitizer checks).
    ASSERT_TRUE(AddStru({{"key", 'C', 10, 0, 1}, {"id", 'N', 6, 0, 12}}));
    add("c", 3);
}

TEST_F(VFileTest, RecordsOfVaryingLengthKeepTheirLength) {
    std::vector<uint8_t> vbuf(64, 0);
    ASSERT_TRUE(Use("v VIRTUAL FILE", vbuf.data(), 0));
    auto put = [&](const std::string& text) {
        std::fill(vbuf.begin(), vbuf.end(), 0xEE);
        const uint16_t len = static_cast<uint16_t>(text.size() + 1);
        std::memcpy(vbuf.data(), &len, 2);
        vbuf[2] = 0;  // not deleted
        std::memcpy(vbuf.data() + 3, text.data(), text.size());
    };
    auto get = [&] {
        uint16_t len;
        std::memcpy(&len, vbuf.data(), 2);
        return std::string(reinterpret_cast<char*>(vbuf.data()) + 3, len - 1u);
    };
    for (const char* t : {"one", "three33", "x"}) {
        put(t);
        ASSERT_TRUE(Append());
    }
    std::fill(vbuf.begin(), vbuf.end(), 0);
    ASSERT_TRUE(Go(2));
    EXPECT_EQ(get(), "three33");
    EXPECT_EQ(vbuf[10], 0);  // nothing beyond the record was copied
    put("a much longer record");
    ASSERT_TRUE(Replace());
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(Go(2));
    EXPECT_EQ(get(), "a much longer record");
    // The deletion flag is the byte after the length.
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(DeleteRec());
    EXPECT_EQ(vbuf[2], 1);
    ASSERT_TRUE(Pack());
    EXPECT_EQ(RecCount(), 2);
    EXPECT_EQ(get(), "a much longer record");
}

TEST_F(VFileTest, TheDriverAnswersTheOperationsTheEngineDoesNotIssue) {
    open("t VIRTUAL FILE");
    WorkAreaBlock* b = CurrentBlock();
    auto op = [&](uint8_t code) {
        engine().errors.lastError = 0;
        b->vfOp = code;
        b->vfArg = 0;
        engine().tables.vfile->call(*b);
        return LastError();
    };
    EXPECT_EQ(op(kVfPop), 1100);
    EXPECT_EQ(engine().errors.detail, "Virtual file empty - no more records to POP from T [(PopRec) VFiles]");
    fill("a", 1);
    EXPECT_EQ(op(kVfAppend), 0);
    fill("b", 2);
    EXPECT_EQ(op(kVfAppend), 0);
    EXPECT_EQ(RecCount(), 2);
    EXPECT_EQ(op(kVfPop), 0);
    EXPECT_EQ(id(), 1);
    EXPECT_EQ(RecCount(), 1);
    EXPECT_EQ(op(kVfNoOp), 0);
    EXPECT_EQ(op(99), 1103);
    ASSERT_TRUE(Set_VFileMode_To(LStatusType::INSERTION));
    EXPECT_EQ(op(kVfPop), 1100);
    EXPECT_EQ(RecCount(), 1);
    ASSERT_TRUE(GoTop());
    EXPECT_EQ(op(kVfRemove), 0);
    EXPECT_EQ(RecCount(), 0);
    fill("c", 3);
    EXPECT_EQ(op(kVfAppend), 0);
    EXPECT_EQ(op(kVfReset), 0);
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF());
}

}  // namespace
}  // namespace xb
