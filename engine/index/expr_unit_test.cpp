#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/index/expr_eval.h"
#include "engine/index/expr_parser.h"
#include "engine/index/expr_test_support.h"

// Counts every allocation of the test program, so that a test can show that evaluating allocates nothing.
namespace {
std::atomic<long> g_allocations{0};
}
void* operator new(size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace xb {
namespace {

using exprtest::ExprTest;
using exprtest::ResultText;

class CompilerTest : public ExprTest {
protected:
    void SetUp() override {
        openTable("t", {{"NAME", 'C', 6, 0}, {"ANNEE", 'N', 4, 0}, {"NUCHAMP", 'N', 5, 0}, {"AMOUNT", 'N', 8, 2},
                        {"FLAG", 'L', 1, 0}, {"BORN", 'D', 8, 0}, {"NOTES", 'M', 10, 0}});
        setC("NAME", "abc");
        setN("ANNEE", 2026);
        setN("NUCHAMP", 12);
        setN("AMOUNT", 3.25);
        setL("FLAG", true);
        setD("BORN", "03/04/90");
        append();
        readRecord(1);
    }
    bool nothingPending() { return LastError() == 0 && engine().errors.pendingError == 0 && ErrorMsg().empty(); }
};

TEST_F(CompilerTest, CheckExpressionGivesEachCodeAndLeavesNoErrorPending) {
    struct CheckCase {
        std::string text;
        bool isKey;
        int code;
    };
    const std::vector<CheckCase> cases = {
        {"str(annee,4)+str(nuchamp,3)", true, 0},
        {"NAME", true, 0},
        {"ANNEE", true, 0},
        {"BORN", true, 0},
        {"FLAG = .T.", false, 0},
        {"", true, 359},
        {"     ", false, 359},
        {std::string(221, 'A'), true, 360},
        {"NAME + '" + std::string(215, 'x') + "'", true, 360},
        {"NAME + '" + std::string(210, 'x') + "'", true, 0},
        {"FLAG", true, 361},
        {"ANNEE > 1", true, 361},
        {"NOTES", true, 361},
        {"NAME", false, 362},
        {"NOTES", false, 362},
        {"ANNEE + 1", false, 362},
        {"NAME +", true, 351},
        {"NAME + 1", false, 351},
        {"'open", true, 351},
    };
    for (const CheckCase& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(CheckExpression(text, c.isKey), c.code) << c.text;
        EXPECT_TRUE(nothingPending()) << c.text;
    }
    // The text is right-trimmed in place; a FOR text has no length limit of its own.
    std::string text = "FLAG   ";
    EXPECT_EQ(CheckFilterExpr(text), 0);
    EXPECT_EQ(text, "FLAG");
    std::string longFor = "FLAG .OR. NAME = '" + std::string(300, 'x') + "'";
    EXPECT_EQ(CheckFilterExpr(longFor), 0);
}

TEST_F(CompilerTest, CheckExpressionDoesNotHaltWithTrappingOnAndRestoresIt) {
    SetErrorTrap(true);
    std::string text = "1 +";
    EXPECT_EQ(CheckExpression(text, true), 351);
    EXPECT_TRUE(SetErrorTrap(false));  // was restored to on
    EXPECT_TRUE(nothingPending());
    EXPECT_EQ(MemoPoolSize(), 256);
}

TEST_F(CompilerTest, AssignExprClearsAnEarlierCompilerErrorOnly) {
    EXPECT_EQ(AssignExpr("1 +"), nullptr);
    EXPECT_EQ(LastError(), 351);
    ExprRecord* rec = AssignExpr("1");
    EXPECT_EQ(LastError(), 0);
    FreeExpr(rec);
    SetEngineError(215, "x [y]");
    rec = AssignExpr("1");
    EXPECT_EQ(LastError(), 215);
    FreeExpr(rec);
}

TEST_F(CompilerTest, ErrorExcerptsShowTheTextAroundTheErrorPosition) {
    // A syntax error at character 80 of a 200-character text.
    std::string text = "'" + std::string(78, 'a') + "'" + "@" + std::string(119, 'b');
    ASSERT_EQ(text.size(), 200u);
    EXPECT_EQ(AssignExpr(text), nullptr);
    EXPECT_EQ(ErrorMsg(), "Error # 351 (Undefined error)\r\nError in expression : Syntax error\r\n[..." +
                              text.substr(30, 51) + "...]\r\n [AssignExpr]");
    EXPECT_EQ(AssignExpr("1 @ 2"), nullptr);
    EXPECT_EQ(ErrorMsg(), "Error # 351 (Undefined error)\r\nError in expression : Syntax error\r\n[1 @ 2]\r\n [AssignExpr]");

    struct ExcerptCase {
        size_t length, p;
        std::string expected;
    };
    const std::string t(120, 'x');
    const ExcerptCase cases[] = {
        {10, 3, "[" + t.substr(0, 10) + "]"},
        {51, 0, "[" + t.substr(0, 51) + "]"},
        {52, 0, "[" + t.substr(0, 51) + "...]"},
        {120, 50, "[..." + t.substr(0, 51) + "...]"},
        {101, 50, "[..." + t.substr(0, 51) + "...]"},
        {100, 50, "[..." + t.substr(0, 51) + "...]"},
        {100, 49, "[" + t.substr(0, 51) + "...]"},
        {100, 99, "[..." + t.substr(0, 51) + "]"},
        {100, 100, "[..." + t.substr(0, 50) + "]"},
        {0, 0, "[]"},
    };
    for (const ExcerptCase& c : cases) EXPECT_EQ(ErrorExcerpt(t.substr(0, c.length), c.p), c.expected) << c.length << "/" << c.p;
}

TEST_F(CompilerTest, NestingStopsWhereTheParseStackWouldOverflow) {
    auto nested = [](int pairs, const std::string& inner) {
        return std::string(static_cast<size_t>(pairs), '(') + inner + std::string(static_cast<size_t>(pairs), ')');
    };
    EXPECT_EQ(eval(nested(147, "7")), "7");
    EXPECT_EQ(AssignExpr(nested(148, "7")), nullptr);
    EXPECT_NE(ErrorMsg().find("Error in expression : Parser_stack_overflow"), std::string::npos);
    // Deep texts of every shape fail cleanly instead of exhausting the machine stack.
    for (const std::string& deep : {std::string(100000, '('), std::string(50000, '-') + "1",
                                    [] { std::string s; for (int i = 0; i < 20000; ++i) s += "UPPER("; return s; }(),
                                    [] { std::string s; for (int i = 0; i < 20000; ++i) s += "1+("; return s; }()}) {
        EXPECT_EQ(AssignExpr(deep), nullptr);
        EXPECT_EQ(LastError(), 351);
        ErrorMsg();
    }
    std::string chain = "1";
    for (int i = 0; i < 5000; ++i) chain += "+1";
    EXPECT_EQ(eval(chain), "5001");  // a long chain at one level needs no depth
}

TEST_F(CompilerTest, EvaluationAllocatesNothingAfterTheFirst) {
    const char* texts[] = {
        "str(annee,4)+str(nuchamp,3)", "UPPER(NAME) = 'ABC' .AND. FLAG", "DTOS(BORN) + NAME + DTOC(BORN)",
        "IIF(ANNEE > 2000, LTRIM(STR(AMOUNT, 8, 2)), SPACE(3))", "SUBSTR(NAME, 2, 2) $ 'xbcx'",
        "REPLICATE(TRIM(NAME), 50) - 'x'", "YEAR(BORN) + MONTH(BORN) + DAY(BORN) + DOW(BORN)",
        "MAX(AMOUNT, ROUND(ANNEE / 7, 2))", "STUFF(NAME, 2, 1, LOWER('ZZ')) < RIGHT(NAME, 2)",
    };
    for (const char* text : texts) {
        ExprRecord* rec = AssignExpr(text);
        ASSERT_NE(rec, nullptr) << text;
        EvaluateExpr(rec);
        const std::string first = ResultText(rec);
        const long before = g_allocations.load();
        for (int i = 0; i < 100; ++i) EvaluateExpr(rec);
        const long during = g_allocations.load() - before;
        EXPECT_EQ(during, 0) << text;
        EXPECT_EQ(ResultText(rec), first) << text;
        FreeExpr(rec);
    }
}

TEST_F(CompilerTest, ResultsLiveWhereTheRecordPoints) {
    ExprRecord* c = AssignExpr("TRIM(NAME) + 'x'");
    ASSERT_NE(c, nullptr);
    const uint8_t* p = EvaluateExpr(c);
    EXPECT_EQ(p, reinterpret_cast<const uint8_t*>(c->pool.data()));
    EXPECT_STREQ(reinterpret_cast<const char*>(p), "abcx");
    EXPECT_EQ(c->resultTextLength, 4);
    EXPECT_EQ(EvaluateExpr(c), p);
    FreeExpr(c);

    ExprRecord* n = AssignExpr("ANNEE * 2");
    ASSERT_NE(n, nullptr);
    const uint8_t* q = EvaluateExpr(n);
    double v;
    std::memcpy(&v, q, sizeof v);
    EXPECT_EQ(v, 4052);
    FreeExpr(n);
    EXPECT_EQ(n, nullptr);
    EXPECT_EQ(EvaluateExpr(nullptr), nullptr);
}

TEST_F(CompilerTest, FreeExprIgnoresNilAndFreedRecords) {
    ExprRecord* rec = AssignExpr("NAME");
    ExprRecord* copy = rec;
    FreeExpr(rec);
    EXPECT_EQ(rec, nullptr);
    FreeExpr(copy);  // already freed: nothing happens
    EXPECT_EQ(copy, nullptr);
    ExprRecord* none = nullptr;
    FreeExpr(none);
    EXPECT_EQ(GetExprText(nullptr), "");
}

TEST_F(CompilerTest, AFullPoolGivesAnEmptyTextNotStrayBytes) {
    ExprRecord* rec = AssignExpr("'abc' + 'def'");
    ASSERT_NE(rec, nullptr);
    rec->pool.assign(5, 'Q');  // as if the pool had been sized too small
    rec->result = reinterpret_cast<const uint8_t*>(rec->pool.data());
    EvaluateExpr(rec);
    EXPECT_EQ(LastError(), 354);
    EXPECT_EQ(ErrorMsg(), "Error # 354 (Undefined error)\r\nWorking pool overflow [PARSER/Allocate]");
    EXPECT_LE(std::strlen(reinterpret_cast<const char*>(rec->result)), 4u);
    FreeExpr(rec);
}

TEST_F(CompilerTest, TheHooksAndTheEvaluateCurrentCellReachTheCompiler) {
    ASSERT_TRUE(engine().tables.parserLinked);
    ParserHooks& hooks = *engine().tables.parser;
    ExprRecord* rec = hooks.compile("NAME = 'ab'");
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(hooks.expressionText(rec), "NAME = 'ab'");
    EXPECT_EQ(hooks.evaluate(rec)[0], 1);
    ASSERT_NE(EvaluateCurrentCell(), nullptr);
    CurrentExprCell() = rec;
    EXPECT_EQ(EvaluateCurrentCell()()[0], 1);
    hooks.free(rec);
    EXPECT_EQ(rec, nullptr);
    EXPECT_EQ(CurrentExprCell(), nullptr);  // freeing the current expression empties the cell
    EXPECT_EQ(EvaluateCurrent(), nullptr);
}

// The key expressions of the league tables over one sample record each.
TEST_F(CompilerTest, LeagueKeyExpressionsGiveTheirKeyTexts) {
    using Value = std::variant<double, std::string>;
    struct Table {
        std::string name;
        std::vector<FieldDef> fields;
        std::map<std::string, Value> record;
        std::vector<std::pair<std::string, std::string>> keys;
    };
    const std::vector<FieldDef> goalFields = {{"nuchamp", 'N', 5, 0},  {"annee", 'N', 4, 0},  {"nujournee", 'N', 2, 0},
                                              {"nueq1", 'N', 5, 0},    {"nueq2", 'N', 5, 0},  {"nujoueur", 'N', 5, 0},
                                              {"nueqben", 'N', 2, 0},  {"minute", 'N', 3, 0}, {"type", 'N', 2, 0}};
    const std::map<std::string, Value> goal = {{"nuchamp", 12.0}, {"annee", 2026.0}, {"nujournee", 5.0},
                                               {"nueq1", 101.0},   {"nueq2", 202.0},  {"nujoueur", 77.0},
                                               {"nueqben", 1.0},   {"minute", 89.0},  {"type", 0.0}};
    const std::vector<std::pair<std::string, std::string>> goalKeys = {
        {"str(nuchamp,5)+str(annee,4)+str(nujournee,2)+str(nueq1,5)+str(nueq2,5)+str(minute,3)+str(nujoueur,5)",
         "   122026 5  101  202 89   77"},
        {"str(nujoueur,5)+str(nuchamp,5) +str(annee,4)+str(nujournee,2)", "   77   122026 5"},
        {"str(nueq1,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)", "  1012026   12 5"},
        {"str(nueq2,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)", "  2022026   12 5"},
    };
    const std::vector<Table> tables = {
        {"champan",
         {{"annee", 'N', 4, 0}, {"nuchamp", 'N', 5, 0}, {"ptv", 'N', 2, 0}, {"ptn", 'N', 2, 0}, {"ptd", 'N', 2, 0},
          {"ptfv", 'N', 2, 0}, {"ptfd", 'N', 2, 0}, {"nbequipe", 'N', 2, 0}, {"nbjournee", 'N', 2, 0}},
         {{"annee", 2026.0}, {"nuchamp", 12.0}},
         {{"str(annee,4)+str(nuchamp,3)", "2026 12"}, {"str(nuchamp,3)+str(annee,4)", " 122026"}}},
        {"champion",
         {{"nuchamp", 'N', 5, 0}, {"nomchamp", 'C', 30, 0}},
         {{"nuchamp", 7.0}, {"nomchamp", std::string("Ligue A")}},
         {{"nuchamp", "7"}, {"nomchamp", "Ligue A" + std::string(23, ' ')}}},
        {"eqchamp",
         {{"annee", 'N', 5, 0}, {"nuchamp", 'N', 5, 0}, {"nuequipe", 'N', 5, 0}},
         {{"annee", 2026.0}, {"nuchamp", 12.0}, {"nuequipe", 345.0}},
         {{"str(annee,4)+str(nuequipe,5)", "2026  345"},
          {"str(annee,4)+str(nuchamp,3)", "2026 12"},
          {"str(annee,4)+str(nuequipe,5)+str(nuchamp,3)", "2026  345 12"},
          {"str(nuequipe,5)+str(annee,4)+str(nuchamp,3)", "  3452026 12"},
          {"str(nuchamp,3)+str(annee,4)", " 122026"}}},
        {"eqchamp5",  // a five-digit year in eqchamp's N 5 field does not fit four characters
         {{"annee", 'N', 5, 0}, {"nuchamp", 'N', 5, 0}, {"nuequipe", 'N', 5, 0}},
         {{"annee", 12345.0}, {"nuchamp", 12.0}, {"nuequipe", 345.0}},
         {{"str(annee,4)+str(nuequipe,5)", "****  345"}, {"str(nuchamp,3)+str(annee,4)", " 12****"}}},
        {"resultat",
         {{"nuchamp", 'N', 3, 0}, {"annee", 'N', 4, 0}, {"nujournee", 'N', 2, 0}, {"nueq1", 'N', 5, 0},
          {"nueq2", 'N', 5, 0}, {"beq1", 'N', 3, 0}, {"beq2", 'N', 3, 0}, {"coder", 'C', 2, 0},
          {"pteq1", 'N', 3, 0}, {"pteq2", 'N', 3, 0}},
         {{"nuchamp", 12.0}, {"annee", 2026.0}, {"nujournee", 5.0}, {"nueq1", 101.0}, {"nueq2", 202.0},
          {"coder", std::string("N")}},
         {{"str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq1,5)", " 122026  5  101"},
          {"str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq2,5)", " 122026  5  202"},
          {"STR(annee,4)+str(nuchamp,3)+str(nujournee,3)", "2026 12  5"},
          {"str(nueq1,5)+str(nueq2,5)", "  101  202"},
          {"str(nueq2,5)+str(nueq1,5)", "  202  101"}}},
        {"equipe",
         {{"nuequipe", 'N', 5, 0}, {"nomequipe", 'C', 20, 0}},
         {{"nuequipe", 345.0}, {"nomequipe", std::string("Olympique")}},
         {{"nuequipe", "345"}, {"nomequipe", "Olympique" + std::string(11, ' ')}}},
        {"joueur",
         {{"nujoueur", 'N', 5, 0}, {"nomjoueur", 'C', 30, 0}, {"datenais", 'C', 10, 0}, {"poste", 'N', 2, 0},
          {"infodivers", 'M', 10, 0}, {"nation", 'C', 20, 0}},
         {{"nujoueur", 77.0}, {"nomjoueur", std::string("Dupont")}},
         {{"nomjoueur", "Dupont" + std::string(24, ' ')}, {"str(nujoueur,5)", "   77"}}},
        {"joueq",
         {{"annee", 'N', 4, 0}, {"nueq", 'N', 5, 0}, {"nujo", 'N', 5, 0}},
         {{"annee", 2026.0}, {"nueq", 345.0}, {"nujo", 77.0}},
         {{"str(annee,4)+str(nueq,5)+str(nujo,5)", "2026  345   77"},
          {"str(nueq,5)+str(annee,4)+str(nujo,5)", "  3452026   77"},
          {"str(nujo,5)+str(annee,4)+str(nueq,5)", "   772026  345"}}},
        {"but", goalFields, goal, goalKeys},
        {"carton", goalFields, goal, goalKeys},
    };
    for (const Table& t : tables) {
        CloseDatabase();
        openTable(t.name, t.fields);
        for (const auto& [field, value] : t.record) {
            if (const double* d = std::get_if<double>(&value)) setN(field, *d);
            else setC(field, std::get<std::string>(value));
        }
        append();
        readRecord(1);
        for (const auto& [key, expected] : t.keys) {
            std::string check = key;
            EXPECT_EQ(CheckExpression(check, true), 0) << t.name << ": " << key;
            EXPECT_EQ(eval(key), expected) << t.name << ": " << key;
        }
    }
}

// A table of ten records: NUM 1..10, NAME "A" for odd and "B" for even numbers.
class FilterTest : public ExprTest {
protected:
    void SetUp() override {
        openTable("f", {{"NAME", 'C', 4, 0}, {"NUM", 'N', 3, 0}});
        for (int i = 1; i <= 10; ++i) {
            setC("NAME", i % 2 ? "A" : "B");
            setN("NUM", i);
            append();
        }
    }
    std::vector<int> walk() {
        std::vector<int> seen;
        for (GoTop(); !dEOF(); Skip(1)) {
            seen.push_back(RecNo());
            if (seen.size() > 20) break;
        }
        return seen;
    }
};

TEST_F(FilterTest, AFilterAndAWhileConditionVisitExactlyTheirRecords) {
    struct WalkCase {
        const char* filter;
        const char* whileCond;
        std::vector<int> expected;
    };
    const WalkCase cases[] = {
        {"", "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"MOD(NUM, 2) = 0", "", {2, 4, 6, 8, 10}},
        {"NAME = 'A' .AND. NUM > 4", "", {5, 7, 9}},
        {"", "NUM < 5", {1, 2, 3, 4}},
        {"NAME = 'B'", "NUM <= 7", {2, 4, 6}},
        {"NUM > 100", "", {}},
        {"STR(NUM, 2) $ ' 3 |10'", "", {3, 10}},
    };
    for (const WalkCase& c : cases) {
        ASSERT_TRUE(Set_Filter_To(c.filter)) << c.filter;
        ASSERT_TRUE(Set_While_To(c.whileCond)) << c.whileCond;
        EXPECT_EQ(walk(), c.expected) << c.filter << " / " << c.whileCond;
    }
}

TEST_F(FilterTest, ABadFilterIsReportedAndTheAreaStaysUnfiltered) {
    EXPECT_FALSE(Set_Filter_To("NUM >"));
    EXPECT_EQ(LastError(), 351);
    ErrorMsg();
    EXPECT_EQ(walk().size(), 10u);
}

TEST_F(FilterTest, LocateAndContinueSkipWhatTheFilterHides) {
    ASSERT_TRUE(Set_Filter_To("NUM <> 2 .AND. NUM <> 6"));
    // Records 2 and 6 hold "B" but are hidden: the search continues past them.
    EXPECT_TRUE(LocateField("NAME", LocateValue(std::string("B")), false, 1, false));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(LocateField("NAME", LocateValue(std::string("B")), false, 5, false));
    EXPECT_EQ(RecNo(), 8);
    EXPECT_TRUE(Continue());
    EXPECT_EQ(RecNo(), 10);
    Continue();
    EXPECT_TRUE(dEOF());  // no further visible match
    // A filter over another field: the first visible "A" at or after record 1 with NUM above 4.
    ASSERT_TRUE(Set_Filter_To("NUM > 4"));
    EXPECT_TRUE(LocateField("NAME", LocateValue(std::string("a")), true, 1, false));
    EXPECT_EQ(RecNo(), 5);
}

TEST_F(FilterTest, ClosingTheAreaFreesItsExpressions) {
    ASSERT_TRUE(Set_Filter_To("NUM > 3"));
    ASSERT_TRUE(Set_While_To("NUM < 9"));
    CloseDatabase();
    EXPECT_EQ(CurrentBlock(), nullptr);
}

}  // namespace
}  // namespace xb
