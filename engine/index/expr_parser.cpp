#include "engine/index/expr_parser.h"

#include <algorithm>

#include "engine/core/errors.h"
#include "engine/index/expr_lexer.h"

namespace xb {

namespace {

// Argument types of a function: one letter per argument (C, N, D, L); "*" for MAX and MIN, whose two
// arguments are both N or both D.
struct FunctionSpec {
    int32_t token;
    const char* args;
    int minArgs;
    char result;
};

constexpr FunctionSpec kFunctions[] = {
    {kFnAbs, "N", 1, 'N'},        {kFnAsc, "C", 1, 'N'},     {kFnAt, "CC", 2, 'N'},
    {kFnCdow, "D", 1, 'C'},       {kFnChr, "N", 1, 'C'},     {kFnCmonth, "D", 1, 'C'},
    {kFnCtod, "C", 1, 'D'},       {kFnDate, "", 0, 'D'},     {kFnDay, "D", 1, 'N'},
    {kFnDeleted, "", 0, 'L'},     {kFnDow, "D", 1, 'N'},     {kFnDtoc, "D", 1, 'C'},
    {kFnDtos, "D", 1, 'C'},       {kFnIif, "LCC", 3, 'C'},   {kFnInt, "N", 1, 'N'},
    {kFnLeft, "CN", 2, 'C'},      {kFnLen, "C", 1, 'N'},     {kFnLower, "C", 1, 'C'},
    {kFnLtrim, "C", 1, 'C'},      {kFnMax, "**", 2, '*'},    {kFnMin, "**", 2, '*'},
    {kFnMod, "NN", 2, 'N'},       {kFnMonth, "D", 1, 'N'},   {kFnRecno, "", 0, 'N'},
    {kFnReplicate, "CN", 2, 'C'}, {kFnRight, "CN", 2, 'C'},  {kFnRound, "NN", 2, 'N'},
    {kFnRtrim, "C", 1, 'C'},      {kFnSoundex, "C", 1, 'C'}, {kFnSpace, "N", 1, 'C'},
    {kFnStr, "NNN", 1, 'C'},      {kFnStuff, "CNNC", 4, 'C'}, {kFnSubstr, "CNN", 3, 'C'},
    {kFnTrim, "C", 1, 'C'},       {kFnUpper, "C", 1, 'C'},   {kFnVal, "C", 1, 'N'},
    {kFnYear, "D", 1, 'N'},
};

const FunctionSpec* functionSpec(int32_t token) {
    for (const FunctionSpec& f : kFunctions)
        if (f.token == token) return &f;
    return nullptr;
}

int32_t typeOfLetter(char c) {
    switch (c) {
        case 'C': return kTypeC;
        case 'N': return kTypeN;
        case 'L': return kTypeL;
        case 'D': return kTypeD;
        default: return kTypeM;
    }
}

// The name of an operator token in type-mismatch messages.
const char* operatorName(int32_t token, bool unary) {
    switch (token) {
        case '+': return unary ? "Unary +" : "+";
        case '-': return unary ? "Unary -" : "-";
        case '*': return "*";
        case '/': return "/";
        case '^': return "** or ^";
        case '=': return "=";
        case kTokEqEq: return "==";
        case kTokDollar: return "$";
        case kTokNe: return "<>";
        case '<': return "<";
        case '>': return ">";
        case kTokLe: return "<=";
        case kTokGe: return ">=";
        case kTokAnd: return ".AND.";
        case kTokOr: return ".OR.";
        case kTokNot: return ".NOT.";
        default: return "?";
    }
}

// The binary operators of each precedence level, loosest first (levels 1 to 8).
bool atLevel(int level, int32_t token) {
    switch (level) {
        case 1: return token == kTokOr;
        case 2: return token == kTokAnd;
        case 3: return token == '=' || token == kTokNe;
        case 4: return token == kTokEqEq || token == kTokDollar;
        case 5: return token == '<' || token == '>' || token == kTokLe || token == kTokGe;
        case 6: return token == '+' || token == '-';
        case 7: return token == '*' || token == '/';
        case 8: return token == '^';
        default: return false;
    }
}

// The opcode of a binary operator over operand types a and b; 0 for a mismatch, and the result type.
int32_t binaryOpcode(int32_t op, int32_t a, int32_t b, int32_t& result) {
    const bool nn = a == kTypeN && b == kTypeN, dd = a == kTypeD && b == kTypeD;
    const bool cc = a == kTypeC && b == kTypeC, ll = a == kTypeL && b == kTypeL;
    result = kTypeL;
    switch (op) {
        case '+':
            if (nn) return result = kTypeN, kOpAddNN;
            if (a == kTypeN && b == kTypeD) return result = kTypeD, kOpAddND;
            if (a == kTypeD && b == kTypeN) return result = kTypeD, kOpAddDN;
            if (cc) return result = kTypeC, kOpAddCC;
            return 0;
        case '-':
            if (nn) return result = kTypeN, kOpSubNN;
            if (a == kTypeD && b == kTypeN) return result = kTypeD, kOpSubDN;
            if (dd) return result = kTypeN, kOpSubDD;
            if (cc) return result = kTypeC, kOpSubCC;
            return 0;
        case '*': return nn ? (result = kTypeN, kOpMul) : 0;
        case '/': return nn ? (result = kTypeN, kOpDiv) : 0;
        case '^': return nn ? (result = kTypeN, kOpPow) : 0;
        case '=': return nn ? kOpEqN : dd ? kOpEqD : cc ? kOpEqC : ll ? kOpEqL : 0;
        case kTokEqEq: return cc ? kOpExactC : 0;
        case kTokDollar: return cc ? kOpInC : 0;
        case kTokNe: return nn ? kOpNeN : dd ? kOpNeD : cc ? kOpNeC : ll ? kOpNeL : 0;
        case '>': return nn ? kOpGtN : dd ? kOpGtD : cc ? kOpGtC : 0;
        case '<': return nn ? kOpLtN : dd ? kOpLtD : cc ? kOpLtC : 0;
        case kTokLe: return nn ? kOpLeN : dd ? kOpLeD : cc ? kOpLeC : 0;
        case kTokGe: return nn ? kOpGeN : dd ? kOpGeD : cc ? kOpGeC : 0;
        case kTokOr: return ll ? kOpOr : 0;
        case kTokAnd: return ll ? kOpAnd : 0;
        default: return 0;
    }
}

// A recursive-descent parser with the precedence and left grouping of the language. It counts the
// states an LALR parser of the same grammar would hold on its 150-state stack and fails where that
// stack would overflow, which also bounds the recursion.
class Parser {
public:
    Parser(const std::string& text, ExprRecord& rec) : m_text(text), m_rec(rec), m_lex(text, m_track) {}

    bool run(uint16_t memoPoolSize) {
        advance();
        int32_t type = parseBinary(1);
        if (!type) return false;
        if (m_tok.token != kTokEnd) return syntaxError();
        ExprCode end;
        end.op = kOpEndOfCode;
        m_rec.code.push_back(end);
        finish(type, memoPoolSize);
        return true;
    }

private:
    void advance() { m_tok = m_lex.next(); }

    bool fail(const std::string& message) {
        ParserError(message, m_text, m_lex.lastPosition());
        return false;
    }
    bool syntaxError() { return fail("Syntax error"); }
    // Whether n more states fit on the stack.
    bool fits(int n) { return m_depth + n <= kParseStackSize ? true : fail("Parser_stack_overflow"); }

    void emit(const ExprCode& c, int pops) {
        m_rec.code.push_back(c);
        m_stack -= pops;
        ++m_stack;
        m_maxStack = std::max(m_maxStack, m_stack);
    }
    void emitTruth(int32_t v) {
        ExprCode c;
        c.op = kOpPushConst;
        c.type = kTypeL;
        c.truth = v;
        emit(c, 0);
    }

    int32_t parseBinary(int level) {
        if (level > 8) return parseUnary();
        int32_t left = parseBinary(level + 1);
        while (left && atLevel(level, m_tok.token)) {
            const int32_t op = m_tok.token;
            if (!fits(2)) return 0;
            m_depth += 2;
            advance();
            int32_t right = parseBinary(level + 1);
            m_depth -= 2;
            if (!right) return 0;
            int32_t result;
            int32_t opcode = binaryOpcode(op, left, right, result);
            if (!opcode)
                return fail(std::string("PARSER:Type mismatch in expression \"") + operatorName(op, false) + "\""), 0;
            ExprCode c;
            c.op = opcode;
            c.argCount = 2;
            emit(c, 2);
            left = result;
        }
        return left;
    }

    int32_t parseUnary() {
        const int32_t op = m_tok.token;
        if (op != '-' && op != '+' && op != kTokNot) return parsePrimary();
        if (!fits(1)) return 0;
        ++m_depth;
        advance();
        int32_t type = parseUnary();
        --m_depth;
        if (!type) return 0;
        const int32_t want = op == kTokNot ? kTypeL : kTypeN;
        if (type != want)
            return fail(std::string("PARSER:Type mismatch in expression \"") + operatorName(op, true) + "\""), 0;
        if (op != '+') {
            ExprCode c;
            c.op = op == kTokNot ? kOpNot : kOpNeg;
            c.argCount = 1;
            emit(c, 1);
        }
        return type;
    }

    int32_t parsePrimary() {
        const int32_t tok = m_tok.token;
        if (tok == kTypeN || tok == kTypeC || tok == kTokTrue || tok == kTokFalse ||
            (tok >= kFieldC && tok <= kAliasFieldM)) {
            if (!fits(1)) return 0;
            ExprCode c;
            c.op = kOpPushConst;
            int32_t type;
            if (tok == kTypeN) {
                c.type = type = kTypeN;
                c.number = m_tok.number;
                emit(c, 0);
            } else if (tok == kTypeC) {
                c.type = type = kTypeC;
                c.literal = static_cast<uint32_t>(m_rec.literals.size());
                m_rec.literals.push_back(m_tok.text);
                emit(c, 0);
            } else if (tok == kTokTrue || tok == kTokFalse) {
                emitTruth(tok == kTokTrue);
                type = kTypeL;
            } else {
                const bool aliased = tok >= kAliasFieldC;
                emitTruth(m_tok.fieldNo);
                if (aliased) emitTruth(m_tok.area);
                ExprCode f;
                f.op = tok;
                f.argCount = aliased ? 2 : 1;
                f.number = m_tok.fieldWidth;  // the width a missing record reads as blanks
                emit(f, f.argCount);
                type = kTypeC + (tok - (aliased ? kAliasFieldC : kFieldC));
                // Field tokens run C N L D M like the value types.
            }
            advance();
            return type;
        }
        if (tok == '(') {
            if (!fits(1)) return 0;
            ++m_depth;
            advance();
            int32_t type = parseBinary(1);
            if (!type) return 0;
            if (m_tok.token != ')') return syntaxError(), 0;
            if (!fits(2)) return 0;
            --m_depth;
            advance();
            return type;
        }
        if (const FunctionSpec* spec = functionSpec(tok)) return parseCall(*spec);
        return syntaxError(), 0;
    }

    int32_t parseCall(const FunctionSpec& spec) {
        if (!fits(1)) return 0;
        advance();
        if (m_tok.token != '(') return syntaxError(), 0;
        if (!fits(2)) return 0;
        m_depth += 2;
        int32_t types[8] = {};
        int count = 0;
        const int maxArgs = static_cast<int>(std::char_traits<char>::length(spec.args));
        advance();
        if (m_tok.token != ')') {
            for (;;) {
                int32_t t = parseBinary(1);
                if (!t) return 0;
                if (count >= maxArgs) return syntaxError(), 0;
                types[count++] = t;
                if (m_tok.token != ',') break;
                if (!fits(2)) return 0;
                if (count == 1) m_depth += 2;  // the argument list and the comma
                advance();
            }
        }
        if (m_tok.token != ')' || count < spec.minArgs) return syntaxError(), 0;
        if (!fits(2)) return 0;
        m_depth -= count > 1 ? 4 : 2;
        int32_t result = typeOfLetter(spec.result);
        bool ok = true;
        if (spec.args[0] == '*') {
            ok = types[0] == types[1] && (types[0] == kTypeN || types[0] == kTypeD);
            result = types[0];
        } else {
            for (int i = 0; i < count; ++i) ok = ok && types[i] == typeOfLetter(spec.args[i]);
        }
        if (!ok)
            return fail(std::string("PARSER:Type mismatch in function \"") + FunctionName(spec.token) + "\""), 0;
        ExprCode c;
        c.op = spec.token;
        c.argCount = count;
        emit(c, count);
        advance();
        return result;
    }

    // Result type, length, decimals, pool size and value-stack depth.
    void finish(int32_t type, uint16_t memoPoolSize) {
        const int dec = m_track.decimals < 0 ? kDefaultDecimals : m_track.decimals;
        const int width = m_track.lastWidth;
        m_rec.decimals = 0;
        m_rec.poolSize = static_cast<uint32_t>(m_track.poolBytes);
        switch (type) {
            case kTypeC:
                m_rec.resultType = 'C';
                m_rec.resultLength = m_track.poolBytes == static_cast<size_t>(width) + 1 ? static_cast<uint16_t>(width) : 0;
                break;
            case kTypeN:
                m_rec.resultType = 'N';
                m_rec.decimals = static_cast<uint8_t>(dec);
                m_rec.resultLength = static_cast<uint16_t>(width <= 0 || width < dec + 2 ? dec + 11 : width);
                break;
            case kTypeD:
                m_rec.resultType = 'D';
                m_rec.resultLength = 8;
                break;
            case kTypeL:
                m_rec.resultType = 'L';
                m_rec.resultLength = 1;
                break;
            default:
                m_rec.resultType = 'M';
                m_rec.resultLength = memoPoolSize;
                m_rec.poolSize = memoPoolSize;
                break;
        }
        m_rec.values.assign(static_cast<size_t>(std::max(m_maxStack, 1)), ExprValue{});
    }

    const std::string& m_text;
    ExprRecord& m_rec;
    ExprTracking m_track;
    ExprLexer m_lex;
    ExprLexToken m_tok;
    int m_depth = 1;  // the start state
    int m_stack = 0;
    int m_maxStack = 0;
};

}  // namespace

std::string ErrorExcerpt(const std::string& text, size_t p) {
    const size_t start = p < 50 ? 0 : p - 50;
    std::string out = p < 50 ? "[" : "[...";
    if (start + 51 >= text.size()) {
        if (start < text.size()) out += text.substr(start);
        out += "]";
    } else {
        out += text.substr(start, 51) + "...]";
    }
    return out;
}

void ParserError(const std::string& message, const std::string& text, size_t p) {
    SetEngineError(351, "Error in expression : " + message + "\r\n" + ErrorExcerpt(text, p) + "\r\n [AssignExpr]");
}

bool ParseExpression(const std::string& text, ExprRecord& rec, uint16_t memoPoolSize) {
    Parser parser(text, rec);
    return parser.run(memoPoolSize);
}

}  // namespace xb
