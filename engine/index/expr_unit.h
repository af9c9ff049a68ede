// The expression compiler as the rest of the engine sees it: compile a text over the current work area,
// evaluate it on the current records, free it, and check key and FOR texts. The table layer reaches it
// through the parser hooks and the evaluate-current cell that InstallExpressionEngine fills; the index
// engine calls the routines directly.
//
// The compiler is not reentrant and one thread uses it, like the engine it works for.
#pragma once

#include <cstdint>
#include <string>

#include "engine/index/expr_record.h"

namespace xb {

class Engine;

// Compiles text over the current work area; nullptr after reporting the error (351 syntax or type,
// 217 memory).
ExprRecord* AssignExpr(const std::string& text);
// Frees a compiled expression and sets expr to nullptr; a nullptr or an expression already freed does
// nothing.
void FreeExpr(ExprRecord*& expr);
// Evaluates on the current records and answers rec->result (nullptr for a nullptr record).
const uint8_t* EvaluateExpr(ExprRecord* expr);
// Evaluates the expression in the current-expression cell.
const uint8_t* EvaluateCurrent();
std::string GetExprText(const ExprRecord* expr);

// Results of CheckExpression.
enum CheckCode : int {
    kCheckOk = 0,
    kCheckEmpty = 359,       // nothing but blanks
    kCheckKeyTooLong = 360,  // a key text over 220 characters
    kCheckBadKeyType = 361,  // a key of type M or L
    kCheckNotLogical = 362,  // a FOR condition that is not of type L
};
inline constexpr size_t kMaxKeyText = 220;

// Right-trims text in place and checks it as a key (isKey) or a FOR condition without reporting: 0, one
// of the codes above, or the compile error's code (351, 354, 217). Leaves no error pending.
int CheckExpression(std::string& text, bool isKey);
int CheckFilterExpr(std::string& text);

// The working pool of an expression of type M (default 256 bytes).
uint16_t MemoPoolSize();

// The table layer puts the expression to evaluate here before it calls the evaluate-current cell.
ExprRecord*& CurrentExprCell();
using EvaluateCurrentProc = const uint8_t* (*)();
// EvaluateCurrent once the compiler is installed, else nullptr.
EvaluateCurrentProc EvaluateCurrentCell();

// Installs the parser hooks and the evaluate-current cell on the engine and sets its parser-linked flag.
// Expressions still compiled when the engine ends are freed then.
void InstallExpressionEngine(Engine& engine);

}  // namespace xb
