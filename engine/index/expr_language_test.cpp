#include <gtest/gtest.h>

#include <string>

#include "engine/core/errors.h"
#include "engine/index/expr_test_support.h"

namespace xb {
namespace {

using exprtest::ExprTest;

// One record: NAME "ABC", ANNEE 2026, AMOUNT 12.5, FLAG true, BORN 1990-03-04.
class LanguageTest : public ExprTest {
protected:
    void SetUp() override {
        openTable("t", {{"NAME", 'C', 6, 0}, {"ANNEE", 'N', 4, 0}, {"AMOUNT", 'N', 8, 2}, {"FLAG", 'L', 1, 0},
                        {"BORN", 'D', 8, 0}, {"NOTES", 'M', 10, 0}, {"LEFT", 'C', 2, 0}});
        setC("NAME", "ABC");
        setN("ANNEE", 2026);
        setN("AMOUNT", 12.5);
        setL("FLAG", true);
        setD("BORN", "03/04/90");
        setC("LEFT", "LF");
        append();
        readRecord(1);
    }
};

struct Case {
    const char* text;
    const char* expected;
};

TEST_F(LanguageTest, EvaluatesOperatorsWithTheirPrecedenceAndTypes) {
    const Case cases[] = {
        // Prefix, exact and negated comparison of texts.
        {"NAME = 'AB'", "T"}, {"NAME == 'AB'", "F"}, {"NAME <> 'AB'", "T"}, {"NAME # 'AB'", "T"},
        {"NAME == 'ABC   '", "T"}, {"NAME <> 'ABC   '", "F"}, {"'ABC' = ''", "F"}, {"'' = ''", "F"},
        {"'AB' = 'ABC'", "F"}, {"'' $ 'ABC'", "F"}, {"'B' $ 'ABC'", "T"}, {"'BD' $ 'ABC'", "F"},
        // Byte order of texts: a prefix is the smaller, trailing blanks count.
        {"'AB' < 'ABC'", "T"}, {"'AB ' > 'AB'", "T"}, {"'B' > 'ABC'", "T"}, {"'ab' >= 'ab'", "T"},
        {"'a' <= 'B'", "F"}, {"CHR(200) > 'z'", "T"},
        // Levels and left grouping.
        {"2^3^2", "64"}, {"-2^2", "4"}, {"2**3", "8"}, {"2-3-4", "-5"}, {"2+3*4", "14"}, {"(2+3)*4", "20"},
        {"12/4/3", "1"}, {"- -3", "3"}, {"+3", "3"}, {"2^-1", "0.5"}, {"1 < 2 = .T.", "T"},
        {"'A' + 'B' == 'AB'", "T"}, {"'AB' $ 'XABY' = .T.", "T"}, {".T. .OR. .F. .AND. .F.", "T"},
        {".NOT. .T. .OR. .T.", "T"}, {".F. = .F.", "T"}, {".T. <> .F.", "T"}, {"1 = 1.0", "T"},
        {"3 >= 4", "F"}, {"3 <= 3", "T"}, {"1 # 2", "T"},
        // Character arithmetic.
        {"'AB  ' - 'CD'", "ABCD  "}, {"'   ' - 'CD'", "CD   "}, {"'' - 'CD'", "CD"}, {"NAME + '|'", "ABC   |"},
        {"NAME - '|'", "ABC|   "},
        // Dates.
        {"CTOD('12/31/2025') + 1", "20260101"}, {"1 + CTOD('12/31/2025')", "20260101"},
        {"CTOD('03/01/2024') - 1", "20240229"}, {"CTOD('03/01/2024') - CTOD('02/01/2024')", "29"},
        {"BORN", "19900304"}, {"BORN < DATE()", "T"}, {"BORN = CTOD('03/04/1990')", "T"},
        {"DTOS(CTOD(''))", "        "}, {"DTOS(DATE())", "20261207"}, {"DTOC(BORN)", "03/04/90"},
        // Numbers and constants.
        {"0.5", "0.5"}, {"1e3", "1000"}, {"1E3 + 1", "1001"}, {"ANNEE + 1", "2027"}, {"AMOUNT * 2", "25"},
        {"'it''", "#ERROR"}, {"\"double\" + 'single'", "doublesingle"}, {"'mIxEd'", "mIxEd"},
        // Fields, case-insensitive names, a field named like a function.
        {"name", "ABC   "}, {"Flag", "T"}, {"LEFT", "LF"}, {"LEFT('XYZ', 1)", "X"}, {"deleted()", "F"},
        {"DELE()", "F"}, {"RECNO()", "1"}, {"RECN()", "1"},
    };
    for (const Case& c : cases) EXPECT_EQ(eval(c.text), c.expected) << c.text;
}

TEST_F(LanguageTest, EvaluatesEveryFunctionWithItsQuirks) {
    const Case cases[] = {
        {"ABS(-3.5)", "3.5"}, {"ASC('A')", "65"}, {"ASC('')", "0"}, {"ASC(CHR(233))", "233"},
        {"AT('C', 'ABC')", "3"}, {"AT('', 'ABC')", "0"}, {"AT('X', 'ABC')", "0"},
        {"TRIM(CDOW(DATE()))", "Monday"}, {"TRIM(CMONTH(DATE()))", "December"}, {"CMON(BORN)", "March    "},
        {"CHR(65)", "A"}, {"CHR(65.9)", "A"}, {"LEN(CHR(0))", "0"},
        {"DAY(BORN)", "4"}, {"MONTH(BORN)", "3"}, {"YEAR(BORN)", "1990"}, {"DOW(DATE())", "2"},
        {"DOW(CTOD('01/01/2000'))", "7"}, {"DAY(CTOD(''))", "0"}, {"DOW(CTOD(''))", "0"},
        {"DTOS(BORN)", "19900304"}, {"DTOC(CTOD('12/31/2025'))", "12/31/25"},
        {"IIF(.T., 'a', 'b')", "a"}, {"IIF(1 > 2, 'a', 'bc')", "bc"},
        {"INT(-2.7)", "-2"}, {"INT(2.7)", "2"},
        {"LEFT('ABC', 2)", "AB"}, {"LEFT('ABC', 5)", "ABC"}, {"LEFT('ABC', 0)", ""}, {"LEFT('ABC', -1)", ""},
        {"RIGHT('ABC', 2)", "BC"}, {"RIGHT('ABC', 9)", "ABC"}, {"RIGHT('ABC', 0)", ""}, {"RIGHT(NAME, 4)", "C   "},
        {"LEN('ABC ')", "4"}, {"LEN('')", "0"}, {"LEN(NAME)", "6"},
        {"LOWER('AbC\xC9')", "abc\xE9"}, {"UPPER('abc\xE9')", "ABC\xC9"}, {"UPPE(name)", "ABC   "},
        {"LTRIM('  A ')", "A "}, {"RTRIM(' A  ')", " A"}, {"TRIM(NAME) + '|'", "ABC|"}, {"LTRIM('   ')", ""},
        {"MAX(1, 2)", "2"}, {"MIN(1, 2)", "1"}, {"MAX(BORN, DATE())", "20261207"},
        {"MIN(BORN, DATE())", "19900304"},
        {"MOD(-7, 3)", "-1"}, {"MOD(7, -3)", "1"}, {"MOD(7.9, 3.9)", "1"}, {"MOD(7, 0)", "7"},
        {"MONT(BORN)", "3"},
        {"REPLICATE('ab', 3)", "ababab"}, {"REPL('ab', 0)", ""}, {"REPLICATE('ab', -2)", ""},
        {"LEN(REPLICATE('abc', 100))", "255"},
        {"STR(ROUND(2.789, 2), 6, 3)", " 2.780"}, {"ROUND(-2.789, 1)", "-2.7"}, {"ROUND(2.789, 0)", "2"},
        {"SOUNDEX('Robert')", "R163"}, {"SOUN('')", "0000"},
        {"SPACE(3)", "   "}, {"SPACE(-1)", ""}, {"LEN(SPACE(300))", "255"},
        {"STR(1234.6)", "      1235"}, {"STR(123456, 3)", "***"}, {"STR(-1.5, 5, 1)", " -1.5"},
        {"STR(2.5, 3)", "  3"}, {"STR(-2.5, 3)", " -3"}, {"STR(-0.001, 5, 2)", " 0.00"},
        {"STR(1.25, 4, 1)", " 1.3"}, {"STR(7, 0)", ""}, {"STR(ANNEE, 4)", "2026"}, {"STR(1, 2, 3)", "**"},
        {"STUFF('ABCDEF', 2, 3, 'xy')", "AxyEF"}, {"STUFF('ABC', 9, 1, 'Z')", "ABCZ"},
        {"STUFF('ABC', 0, 1, 'Z')", "ZBC"}, {"STUFF('ABC', 2, 99, '')", "A"},
        {"SUBSTR('ABCDEF', 2, 3)", "BCD"}, {"SUBSTR('ABC', 5, 2)", ""}, {"SUBSTR('ABC', 0, 2)", "AB"},
        {"SUBS('ABC', 2, -1)", ""}, {"SUBSTR(NAME, 3, 2)", "C "},
        {"VAL(' 12.5 ')", "12.5"}, {"VAL('abc')", "0"}, {"VAL('-3')", "-3"}, {"VAL('7x')", "7"},
        {"VAL('')", "0"}, {"VAL('nan')", "0"}, {"VAL('+4')", "4"},
        {"YEAR(DATE())", "2026"},
    };
    for (const Case& c : cases) EXPECT_EQ(eval(c.text), c.expected) << c.text;
}

TEST_F(LanguageTest, DatePartsOutsideTheCenturyWindowKeepTheirCentury) {
    // 1900-01-01, a Monday, would read as 2000-01-01 (a Saturday) through a two-digit year.
    ASSERT_FALSE(engine().settings.century);
    EXPECT_EQ(eval("YEAR(CTOD('01/01/2000') - 36524)"), "1900");
    EXPECT_EQ(eval("DOW(CTOD('01/01/2000') - 36524)"), "2");
    EXPECT_EQ(eval("TRIM(CDOW(CTOD('01/01/2000') - 36524))"), "Monday");
    EXPECT_EQ(eval("DTOS(CTOD('01/01/2000') - 36524)"), "19000101");
}

TEST_F(LanguageTest, GivesEachExpressionItsTypeLengthAndDecimals) {
    struct TypeCase {
        const char* text;
        char type;
        int length;
        int decimals;
    };
    const TypeCase cases[] = {
        {"annee + 1", 'N', 13, 2}, {"annee", 'N', 4, 0}, {"INT(annee)", 'N', 4, 2}, {"amount", 'N', 8, 2},
        {"1", 'N', 13, 2}, {"annee * amount", 'N', 8, 2}, {"LEN(NAME)", 'N', 6, 2},
        {"NAME", 'C', 6, 0}, {"UPPER(NAME)", 'C', 6, 0}, {"NAME + 'x'", 'C', 0, 0}, {"'abc'", 'C', 0, 0},
        {"str(annee,4)", 'C', 0, 0}, {"(NAME)", 'C', 6, 0},
        {"BORN", 'D', 8, 0}, {"DATE() + 1", 'D', 8, 0}, {"FLAG", 'L', 1, 0}, {"NAME = 'A'", 'L', 1, 0},
        {"NOTES", 'M', 256, 0},
    };
    for (const TypeCase& c : cases) {
        ExprRecord* rec = AssignExpr(c.text);
        ASSERT_NE(rec, nullptr) << c.text;
        EXPECT_EQ(rec->resultType, c.type) << c.text;
        EXPECT_EQ(rec->resultLength, c.length) << c.text;
        EXPECT_EQ(rec->decimals, c.decimals) << c.text;
        FreeExpr(rec);
    }
}

TEST_F(LanguageTest, ReportsSyntaxAndTypeErrorsWithTheirMessages) {
    const Case cases[] = {
        {"SUBSTR(NAME, 2)", "Syntax error"}, {"DATE", "Syntax error"}, {".5", "Syntax error"},
        {"A.AND.B", "Syntax error"}, {"'abc", "Syntax error"}, {"NAME = 'abc", "Syntax error"},
        {"1 +", "Syntax error"}, {"(1", "Syntax error"}, {"1)", "Syntax error"}, {"1 @ 2", "Syntax error"},
        {"DATE(1)", "Syntax error"}, {"STR()", "Syntax error"}, {"STR(1,2,3,4)", "Syntax error"},
        {"NOPE->NAME", "Syntax error"}, {"T->NOPE", "Syntax error"}, {"UNKNOWN", "Syntax error"},
        {"", "Syntax error"}, {"1 2", "Syntax error"},
        {"NAME + 1", "PARSER:Type mismatch in expression \"+\""},
        {"-NAME", "PARSER:Type mismatch in expression \"Unary -\""},
        {"+NAME", "PARSER:Type mismatch in expression \"Unary +\""},
        {".NOT. 1 = 2", "PARSER:Type mismatch in expression \".NOT.\""},
        {"1 = 1 < 2", "PARSER:Type mismatch in expression \"=\""},
        {"2 ^ 'a'", "PARSER:Type mismatch in expression \"** or ^\""},
        {"1 == 1", "PARSER:Type mismatch in expression \"==\""},
        {"1 # 'a'", "PARSER:Type mismatch in expression \"<>\""},
        {"NAME $ 1", "PARSER:Type mismatch in expression \"$\""},
        {"FLAG .AND. 1", "PARSER:Type mismatch in expression \".AND.\""},
        {"1 .OR. FLAG", "PARSER:Type mismatch in expression \".OR.\""},
        {"'a' * 'b'", "PARSER:Type mismatch in expression \"*\""},
        {"FLAG < FLAG", "PARSER:Type mismatch in expression \"<\""},
        {"NOTES + 'a'", "PARSER:Type mismatch in expression \"+\""},
        {"UPPER(1)", "PARSER:Type mismatch in function \"UPPER\""},
        {"SUBS(1, 2, 3)", "PARSER:Type mismatch in function \"SUBSTR\""},
        {"MAX(1, DATE())", "PARSER:Type mismatch in function \"MAX\""},
        {"IIF(.T., 1, 2)", "PARSER:Type mismatch in function \"IIF\""},
        {"LEN(NOTES)", "PARSER:Type mismatch in function \"LEN\""},
    };
    for (const Case& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(AssignExpr(text), nullptr) << text;
        EXPECT_EQ(LastError(), 351) << text;
        const std::string msg = ErrorMsg();
        EXPECT_NE(msg.find("Error in expression : " + std::string(c.expected) + "\r\n["), std::string::npos) << msg;
        EXPECT_NE(msg.find("\r\n [AssignExpr]"), std::string::npos) << msg;
    }
    // A zero byte inside the text is not the end of it.
    EXPECT_EQ(AssignExpr(std::string("1 +\0 1", 6)), nullptr);
}

TEST_F(LanguageTest, DivisionByZeroReportsAndGoesOn) {
    EXPECT_EQ(eval("2/0"), "1e+250");
    EXPECT_EQ(LastError(), 358);
    EXPECT_EQ(ErrorMsg(), "Error # 358 (Undefined error)\r\nError during evaluation: Divide by 0 [Evaluate/Engine]");
}

TEST_F(LanguageTest, TextsLongerThan255AreCutAndWholeTextsAreRead) {
    const std::string a200(200, 'a'), b200(200, 'b');
    EXPECT_EQ(eval("LEN('" + a200 + "' + '" + b200 + "')"), "255");
    EXPECT_EQ(eval("'" + a200 + "' + '" + b200 + "'"), a200 + std::string(55, 'b'));
    EXPECT_EQ(eval("LEN('" + std::string(300, 'x') + "')"), "255");
    EXPECT_EQ(eval("'" + a200 + "' - '" + b200 + "'"), a200 + std::string(55, 'b'));
    // Past the 256th character the text still counts.
    std::string sum = "0";
    for (int i = 0; i < 200; ++i) sum += "+1";
    EXPECT_EQ(eval(sum), "200");
    EXPECT_EQ(eval(sum + " +"), "#ERROR");
}

TEST_F(LanguageTest, AliasedFieldsReadTheirAreaAndCoverArea33) {
    ASSERT_TRUE(Select(33));
    openTable("other", {{"CODE", 'C', 3, 0}}, " alias last");
    setC("CODE", "Z9");
    append();
    readRecord(1);
    ASSERT_TRUE(Select(1));
    EXPECT_EQ(eval("LAST->CODE + NAME"), "Z9 ABC   ");
    EXPECT_EQ(eval("last->code = 'Z9'"), "T");
    // Bound to area 33: still read there when another area is current.
    ExprRecord* rec = AssignExpr("LAST->CODE");
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->resultLength, 3);
    ASSERT_TRUE(Select(5));
    EvaluateExpr(rec);
    EXPECT_EQ(exprtest::ResultText(rec), "Z9 ");
    FreeExpr(rec);
}

TEST_F(LanguageTest, FieldsOfAMissingRecordReadAsBlanks) {
    ExprRecord* c = AssignExpr("NAME + '|'");
    ExprRecord* n = AssignExpr("ANNEE");
    ExprRecord* d = AssignExpr("DTOS(BORN)");
    ExprRecord* l = AssignExpr("FLAG");
    ASSERT_TRUE(c && n && d && l);
    ASSERT_TRUE(Select(2));  // an empty area
    for (ExprRecord* r : {c, n, d, l}) EvaluateExpr(r);
    EXPECT_EQ(exprtest::ResultText(c), "      |");
    EXPECT_EQ(exprtest::ResultText(n), "0");
    EXPECT_EQ(exprtest::ResultText(d), "        ");
    EXPECT_EQ(exprtest::ResultText(l), "F");
    for (ExprRecord* r : {c, n, d, l}) FreeExpr(r);
}

TEST_F(LanguageTest, DeletedReadsTheFlagOfTheCurrentRecord) {
    CurrentBlock()->raw[0] = '*';
    EXPECT_EQ(eval("DELETED()"), "T");
    EXPECT_EQ(eval(".NOT. DELETED()"), "F");
    CurrentBlock()->isVirtual = true;  // virtual records carry 0 or 1, never "*"
    CurrentBlock()->raw[0] = 1;
    EXPECT_EQ(eval("DELETED()"), "F");
    CurrentBlock()->isVirtual = false;
}

}  // namespace
}  // namespace xb
