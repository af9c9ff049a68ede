// The expression parser: reads a text with ExprLexer, checks operand types, and emits the code list in
// reverse Polish order into a record, with its result type, length, decimals, pool size and the depth of
// value stack it needs.
#pragma once

#include <cstdint>
#include <string>

#include "engine/index/expr_record.h"

namespace xb {

// Compiles text into rec. On failure reports error 351 ("Error in expression : ...") and answers false.
// memoPoolSize is the pool of an expression of type M.
bool ParseExpression(const std::string& text, ExprRecord& rec, uint16_t memoPoolSize);

// The part of text around position p shown in compiler messages: "[" or "[..." before it, "]" or "...]"
// after it.
std::string ErrorExcerpt(const std::string& text, size_t p);

// Reports a compiler error (351) with the excerpt of text around position p.
void ParserError(const std::string& message, const std::string& text, size_t p);

}  // namespace xb
