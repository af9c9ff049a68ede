// The lexer of expression texts: numbers, character constants, names (fields, alias->field, keywords)
// and operators, with the result-width, decimals and pool tracking the compiler needs.
#pragma once

#include <cstdint>
#include <string>

#include "engine/index/expr_record.h"

namespace xb {

// What the compiler keeps while a text is read token by token.
struct ExprTracking {
    int lastWidth = 0;    // the width of the last field; 0 after a constant or keyword
    int decimals = -1;    // -1 while unset
    size_t poolBytes = 0; // the working pool the expression needs
};

struct ExprLexToken {
    int32_t token = kTokEnd;
    double number = 0;     // a numeric constant
    std::string text;      // a character constant (at most 255 characters)
    int fieldNo = 0;       // a field: its position (from 1)
    int area = 0;          // an aliased field: the area number
    int fieldWidth = 0;
    char fieldType = 0;
};

// The keyword table row of an upper-case name; kTokEot when the name is no keyword.
int32_t KeywordToken(const std::string& upperName);
// Working-pool bytes of a keyword token's result.
size_t KeywordPoolBytes(int32_t token);
// The full name of a function token ("SUBSTR"), empty for other tokens.
const char* FunctionName(int32_t token);

class ExprLexer {
public:
    ExprLexer(const std::string& text, ExprTracking& tracking) : m_text(text), m_track(tracking) {}
    // Reads the next token. Names are resolved against the current work area (or the aliased one).
    ExprLexToken next();
    // The index of the last character read (for error excerpts).
    size_t lastPosition() const { return m_pos == 0 ? 0 : m_pos - 1; }

private:
    int get();
    void unget();
    int peekAfterBlanks() const;
    ExprLexToken readNumber(int first);
    ExprLexToken readConstant(char quote);
    ExprLexToken readName(int first);

    const std::string& m_text;
    ExprTracking& m_track;
    size_t m_pos = 0;
};

}  // namespace xb
