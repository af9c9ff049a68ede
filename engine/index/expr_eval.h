// The evaluator: runs the code list of a compiled expression against the current records of the work
// areas. The value stack and the pool were sized at compile time, so evaluating allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/index/expr_record.h"

namespace xb {

// Runs the code of rec; the result is where rec.result points.
void Evaluate(ExprRecord& rec);

// The value stack of one evaluation, used by the operators and the functions.
namespace expr_stack {

// Takes n bytes from the pool; false after reporting 354 when they do not fit.
bool Allocate(ExprRecord& r, size_t n);
void PushNumber(ExprRecord& r, int32_t type, double v);
// An L value; the compiler also passes field and area numbers this way.
void PushTruth(ExprRecord& r, int32_t v);
// Pushes a text (cut to 255 characters) into the pool; an empty text when the pool is full.
void PushText(ExprRecord& r, const char* p, size_t n, int32_t type = kTypeC);
// Pops the top value; a C value's bytes stay readable until the next push.
ExprValue Pop(ExprRecord& r);
ExprValue& Top(ExprRecord& r);
inline char* TextOf(ExprRecord& r, const ExprValue& v) { return r.pool.data() + v.offset; }
inline std::string_view ViewOf(ExprRecord& r, const ExprValue& v) { return {TextOf(r, v), v.length}; }
// Sets the top C value to the bytes [from, from + n) of itself, in place.
void KeepPart(ExprRecord& r, size_t from, size_t n);

}  // namespace expr_stack

// Runs one function entry of the code list (expr_functions.cpp).
void CallFunction(ExprRecord& r, const ExprCode& c);

}  // namespace xb
