#include "engine/core/navigation.h"

#include <gtest/gtest.h>

#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "tests/support/fake_units.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

// A table of cities: NAME C 12, NUM N 4; record n holds kCities[n-1] and n.
const char* const kCities[] = {"Lyon", "S\xE9ville", "Bordeaux", "s\xC9VILLE", "Nantes", "Lille"};

class NavigationTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, tmp.file("cities"), {{"name", 'C', 12, 0}, {"num", 'N', 4, 0}}));
        ASSERT_TRUE(Use(tmp.file("cities") + " EXCLUSIVE", nullptr, 0));
        for (int i = 0; i < 6; ++i) {
            ClearRecord();
            TypedSetString(FieldAddress(1), 12, kCities[i]);
            TypedSetInt(FieldAddress(2), i + 1);
            ASSERT_TRUE(Append());
        }
        ASSERT_TRUE(GoTop());
    }
    int32_t num() { return TypedGetInt(FieldAddress(2)); }
    void deleteRecords(std::initializer_list<int32_t> recs) {
        for (int32_t r : recs) {
            ASSERT_TRUE(Go(r));
            ASSERT_TRUE(DeleteRec());
        }
    }
    // The record numbers a forward walk from the top visits.
    std::vector<int32_t> forward() {
        std::vector<int32_t> seen;
        GoTop();
        while (!dEOF()) {
            seen.push_back(RecNo());
            Skip(1);
        }
        return seen;
    }
    std::vector<int32_t> backward() {
        std::vector<int32_t> seen;
        GoBottom();
        while (!dBOF() && !dEOF()) {
            seen.push_back(RecNo());
            Skip(-1);
        }
        return seen;
    }
};

TEST_F(NavigationTest, SkipPastTheLastRecordLeavesABlankRecordAtTheEnd) {
    ASSERT_TRUE(GoBottom());
    EXPECT_EQ(RecNo(), 6);
    EXPECT_TRUE(Skip(1));
    EXPECT_TRUE(dEOF());
    EXPECT_FALSE(dBOF());
    EXPECT_EQ(RecNo(), 7);
    EXPECT_EQ(TypedGetString(FieldAddress(1)), std::string(12, ' '));
    EXPECT_EQ(num(), 0);
    EXPECT_FALSE(Skip(1));
    EXPECT_EQ(LastError(), 212);
    EXPECT_EQ(ErrorMsg(), "Error # 212 (Request beyond range)\r\nDatabase \"" + tmp.file("cities.dbf") +
                              "\" is past EOF. [SKIP]");
    EXPECT_TRUE(Skip(-1));
    EXPECT_EQ(RecNo(), 6);
}

TEST_F(NavigationTest, SkipBackFromTheFirstSetsBof) {
    ASSERT_TRUE(GoTop());
    EXPECT_TRUE(Skip(-1));
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Skip(-3));  // nothing at BOF
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Skip(4));
    EXPECT_EQ(RecNo(), 5);
    EXPECT_TRUE(Skip(0));
    EXPECT_EQ(num(), 5);
}

TEST_F(NavigationTest, HiddenDeletedRecords) {
    deleteRecords({1, 3, 6});
    SetIgnoreDel(true);
    EXPECT_EQ(forward(), (std::vector<int32_t>{2, 4, 5}));
    EXPECT_EQ(backward(), (std::vector<int32_t>{5, 4, 2}));
    SetIgnoreDel(false);
    EXPECT_EQ(forward().size(), 6u);
    deleteRecords({2, 4, 5});
    SetIgnoreDel(true);
    ASSERT_TRUE(GoTop());
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 7);
    ASSERT_TRUE(GoBottom());
    EXPECT_TRUE(dEOF() && dBOF());
    EXPECT_TRUE(Skip(-1));  // nothing at the end position
}

TEST_F(NavigationTest, GoOutsideTheTable) {
    EXPECT_FALSE(Go(9));
    EXPECT_EQ(ErrorMsg(), "Error # 212 (Request beyond range)\r\nInvalid record number = 9 Database \"" +
                              tmp.file("cities.dbf") + "\" [GO]");
    EXPECT_TRUE(dEOF());
    EXPECT_FALSE(Go(0));
    EXPECT_TRUE(Go(3));
    EXPECT_EQ(num(), 3);
    EXPECT_TRUE(GoValid(2));
    EXPECT_FALSE(GoValid(7));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(Peek(1, 4), "s\x90VILLE     ");  // stored in cp850
    EXPECT_EQ(Peek(0, 4), " ");
    EXPECT_EQ(Peek(1, 99), "");
}

TEST_F(NavigationTest, FilterWithoutTheParserReports220AndTheAreaWorksUnfiltered) {
    EXPECT_FALSE(Set_Filter_To("num > 2"));
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nXBParser unit not linked in. [Set_Filter_To]");
    EXPECT_FALSE(Set_While_To("num > 2"));
    EXPECT_EQ(ErrorMsg(), "Error # 220 (Invalid parameter)\r\nXBParser unit not linked in. [Set_While_To]");
    EXPECT_EQ(forward().size(), 6u);
}

TEST_F(NavigationTest, FilterHidesRecordsEverywhere) {
    auto& parser = xbtest::InstallFakeParser(engine());
    parser.predicates["even"] = [this] { return num() % 2 == 0; };
    ASSERT_TRUE(Set_Filter_To("even  "));
    EXPECT_EQ(forward(), (std::vector<int32_t>{2, 4, 6}));
    EXPECT_EQ(backward(), (std::vector<int32_t>{6, 4, 2}));
    ASSERT_TRUE(Set_Filter_To(""));
    EXPECT_EQ(parser.freed, 1);
    EXPECT_EQ(forward().size(), 6u);
    ASSERT_TRUE(Set_Filter_To("even"));
    CloseDatabase();
    EXPECT_EQ(parser.freed, 2);
}

TEST_F(NavigationTest, WhileConditionEndsTheScanBothWays) {
    auto& parser = xbtest::InstallFakeParser(engine());
    parser.predicates["num<=4"] = [this] { return num() <= 4; };
    parser.predicates["num>=3"] = [this] { return num() >= 3; };
    ASSERT_TRUE(Go(3));
    ASSERT_TRUE(Set_While_To("num<=4"));
    EXPECT_TRUE(IsWhileOn());
    EXPECT_TRUE(Skip(1));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(Skip(1));  // record 5 fails: EOF, and it stays current
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 5);
    EXPECT_EQ(num(), 5);
    ASSERT_TRUE(Set_While_To(""));
    EXPECT_FALSE(dEOF());  // back in range
    EXPECT_EQ(num(), 5);

    ASSERT_TRUE(Go(4));
    ASSERT_TRUE(Set_While_To("num>=3"));
    EXPECT_TRUE(Skip(-1));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_TRUE(Skip(-1));  // record 2 fails going back: the last good record again, BOF
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 3);
    EXPECT_EQ(num(), 3);
    ASSERT_TRUE(GoBottomWhile());
    EXPECT_EQ(RecNo(), 6);
}

TEST_F(NavigationTest, LocateAndContinueWithNoCaseOnAccentedText) {
    EXPECT_FALSE(Continue());
    EXPECT_EQ(ErrorMsg(),
              "Error # 220 (Invalid parameter)\r\nCall to CONTINUE not preceeded by call to LOCATE. [Continue]");
    // "séville" in any case matches records 2 and 4 once folded in the table's code page.
    EXPECT_TRUE(LocateField("name", std::string("s\xE9villE"), true, 1, false));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(Continue());
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(Continue());
    EXPECT_TRUE(dEOF());
    EXPECT_FALSE(Continue());  // the search ended
    // Case-sensitive: only record 2.
    EXPECT_TRUE(LocateField("NAME", std::string("S\xE9ville"), false, 1, false));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(Continue());
    EXPECT_TRUE(dEOF());
    // A prefix matches unless exact.
    EXPECT_TRUE(LocateField("name", std::string("Bor"), false, 1, false));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_FALSE(LocateField("name", std::string("Bor"), false, 1, true));
    // Numbers compare as the stored text.
    EXPECT_TRUE(LocateField("num", 5.0, false, 1, false));
    EXPECT_EQ(RecNo(), 5);
    EXPECT_FALSE(LocateField("nosuch", 5.0, false, 1, false));
    EXPECT_EQ(LastError(), 220);
}

TEST_F(NavigationTest, LocateSkipsWhatTheFilterHides) {
    auto& parser = xbtest::InstallFakeParser(engine());
    parser.predicates["not2"] = [this] { return num() != 2; };
    ASSERT_TRUE(Set_Filter_To("not2"));
    EXPECT_TRUE(LocateField("name", std::string("S\xC9VILLE"), true, 1, false));
    EXPECT_EQ(RecNo(), 4);
}

TEST_F(NavigationTest, LocateRecordNeedsEveryFieldOnOneRecord) {
    // Record 7: Nantes again with number 2; Nantes alone matches 5 first and number 2 alone matches 2.
    ClearRecord();
    TypedSetString(FieldAddress(1), 12, "Nantes");
    TypedSetInt(FieldAddress(2), 2);
    ASSERT_TRUE(Append());
    ASSERT_TRUE(Go(1));
    EXPECT_TRUE(LocateRecord("name;num", {std::string("Nantes"), 2.0}, false, true, false));
    EXPECT_EQ(RecNo(), 7);
    ASSERT_TRUE(Go(1));
    EXPECT_TRUE(LocateRecord("name;num", {std::string("Nantes"), 2.0}, false, false, false));
    EXPECT_EQ(RecNo(), 1);  // not moved
    EXPECT_FALSE(LocateRecord("name;num", {std::string("Nantes"), 3.0}, false, true, false));
}

TEST_F(NavigationTest, IndexOrderDrivesEveryMoveWithBalancedSemaphores) {
    auto& index = xbtest::InstallFakeIndex(engine());
    index.order = {6, 2, 4, 1, 5, 3};
    EXPECT_EQ(forward(), (std::vector<int32_t>{6, 2, 4, 1, 5, 3}));
    EXPECT_EQ(backward(), (std::vector<int32_t>{3, 5, 1, 4, 2, 6}));
    ASSERT_TRUE(Go(4));
    EXPECT_TRUE(Skip(2));
    EXPECT_EQ(RecNo(), 5);
    EXPECT_EQ(index.readDepth, 0);
    EXPECT_FALSE(index.underflow);
    EXPECT_EQ(index.maxReadDepth, 1);  // nested brackets reach the index engine once

    SetIgnoreDel(true);
    deleteRecords({6, 2});
    EXPECT_EQ(forward(), (std::vector<int32_t>{4, 1, 5, 3}));
    EXPECT_EQ(index.readDepth, 0);
    EXPECT_FALSE(index.underflow);
}

TEST_F(NavigationTest, ARefusedBracketDoesNotBlockTheNextOnes) {
    auto& index = xbtest::InstallFakeIndex(engine());
    index.order = {3, 1, 2};
    index.refuseNextReadOn = true;
    EXPECT_THROW(GoTop(), EEngineError);
    EXPECT_EQ(index.readDepth, 0);
    ASSERT_TRUE(GoTop());
    EXPECT_EQ(RecNo(), 3);
    EXPECT_EQ(index.readOns, 1);  // the refused bracket left nothing open, the next one reached the engine
    EXPECT_EQ(index.readDepth, 0);
    EXPECT_FALSE(index.underflow);
}

TEST_F(NavigationTest, EmptyIndexOrderGivesTheEndPosition) {
    auto& index = xbtest::InstallFakeIndex(engine());
    ASSERT_TRUE(GoTop());
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 7);
    ASSERT_TRUE(GoBottom());
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(index.readDepth, 0);
    EXPECT_FALSE(index.underflow);
}

TEST_F(NavigationTest, RefreshPositionLeavesAHiddenRecord) {
    ASSERT_TRUE(Go(6));
    ASSERT_TRUE(DeleteRec());
    SetIgnoreDel(true);
    engine().settings.dateFormat = 0;
    ASSERT_TRUE(Go(6));
    EXPECT_TRUE(RefreshPosition());
    EXPECT_EQ(RecNo(), 5);
    EXPECT_FALSE(RefreshPosition());
}

}  // namespace
}  // namespace xb
