// A compiled expression: the code list in reverse Polish order, the value stack and the working pool,
// all sized when the text is compiled so that evaluating it allocates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xb {

class Engine;

// Token and opcode numbers. The lexer, the parser and the evaluator share them.
enum ExprToken : int32_t {
    kTokEnd = 0,
    kTokBad = -2,  // a lexical error (unterminated constant, a zero byte inside the text)

    kFnAbs = 257,
    kFnAsc = 259,
    kFnAt = 261,
    kFnCdow = 264,
    kFnChr = 266,
    kFnCmonth = 267,
    kFnCtod = 269,
    kFnDate = 270,
    kFnDay = 271,
    kFnDeleted = 272,
    kFnDow = 274,
    kFnDtoc = 275,
    kFnDtos = 277,
    kFnIif = 283,
    kFnInt = 284,
    kFnLeft = 288,
    kFnLen = 289,
    kFnLower = 292,
    kFnLtrim = 293,
    kFnMax = 294,
    kFnMin = 295,
    kFnMod = 296,
    kFnMonth = 297,
    kFnRecno = 300,
    kFnReplicate = 301,
    kFnRight = 302,
    kFnRound = 303,
    kFnRtrim = 305,
    kFnSoundex = 308,
    kFnSpace = 310,
    kFnStr = 311,
    kFnStuff = 312,
    kFnSubstr = 313,
    kFnTrim = 316,
    kFnUpper = 318,
    kFnVal = 319,
    kFnYear = 320,

    // Fields by type; the aliased forms follow at +5.
    kFieldC = 321,
    kFieldN = 322,
    kFieldL = 323,
    kFieldD = 324,
    kFieldM = 325,
    kAliasFieldC = 326,
    kAliasFieldM = 330,

    // Value types (also the tokens of constants: 331 a character constant, 332 a number).
    kTypeC = 331,
    kTypeN = 332,
    kTypeL = 333,
    kTypeD = 334,
    kTypeM = 335,

    kTokEot = 336,  // the end row of the keyword table: a name that is neither field nor keyword
    kTokFalse = 337,
    kTokTrue = 338,
    kTokNot = 339,
    kTokOr = 340,
    kTokAnd = 341,
    kTokNe = 342,  // "<>" and "#"
    kTokLe = 343,
    kTokGe = 344,
    kTokEqEq = 345,
    kTokDollar = 346,

    kOpAddNN = 347,
    kOpAddND = 348,
    kOpAddDN = 349,
    kOpAddCC = 350,
    kOpSubNN = 351,
    kOpSubDN = 352,
    kOpSubDD = 353,
    kOpSubCC = 354,
    kOpMul = 355,
    kOpDiv = 356,
    kOpPow = 357,
    kOpEqN = 358,
    kOpEqD = 359,
    kOpEqC = 360,
    kOpEqL = 361,
    kOpExactC = 362,
    kOpInC = 363,
    kOpGtN = 364,
    kOpGtD = 365,
    kOpGtC = 366,
    kOpLtN = 367,
    kOpLtD = 368,
    kOpLtC = 369,
    kOpNeN = 370,
    kOpNeD = 371,
    kOpNeC = 372,
    kOpNeL = 373,
    kOpLeN = 374,
    kOpLeD = 375,
    kOpLeC = 376,
    kOpGeN = 377,
    kOpGeD = 378,
    kOpGeC = 379,
    kOpOr = 380,
    kOpAnd = 381,
    kOpNot = 382,
    kOpNeg = 383,

    kOpPushConst = 0,
    kOpEndOfCode = -1,
};

inline constexpr size_t kMaxExprText = 255;  // the longest character value
inline constexpr int kDefaultDecimals = 2;
inline constexpr int kParseStackSize = 150;  // nesting bound: 147 pairs of parentheses around a constant fit

// One entry of the code list.
struct ExprCode {
    int32_t op = kOpEndOfCode;
    int32_t argCount = 0;
    int32_t type = 0;     // of a constant: kTypeC, kTypeN or kTypeL
    double number = 0;    // N constant
    int32_t truth = 0;    // L constant (also field numbers and area numbers)
    uint32_t literal = 0; // C constant: index into ExprRecord::literals
};

// One entry of the value stack. A C or M value lives in the pool at [offset, offset + length) followed
// by a zero byte.
struct ExprValue {
    int32_t type = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
    union Cell {
        double number;  // N and D
        int32_t truth;  // L
    } cell{0.0};
};

struct ExprRecord {
    std::string text;
    char resultType = 'C';
    uint16_t resultLength = 0;
    uint8_t decimals = 0;
    // The evaluated value: the pool start for C and M (zero-terminated), the value cell of the first
    // value-stack entry for N and D (a double) and L (a 32-bit truth value).
    const uint8_t* result = nullptr;
    uint16_t resultTextLength = 0;  // length of the last evaluated C or M result

    std::vector<std::string> literals;  // texts of the character constants
    std::vector<ExprCode> code;         // ends with kOpEndOfCode
    std::vector<ExprValue> values;      // as deep as the code ever needs
    size_t valueCursor = 0;             // number of values on the stack

    uint32_t poolSize = 0;  // bytes the expression needs (the pool holds at least 1 for C and M)
    std::vector<char> pool;
    size_t poolCursor = 0;
    char scratch[2 * kMaxExprText + 2] = {};  // where text results are put together before they are pushed

    Engine* owner = nullptr;  // the engine that compiled it
};

}  // namespace xb
