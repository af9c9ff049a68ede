#include "engine/index/expr_lexer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/core/engine.h"
#include "engine/core/work_areas.h"

namespace xb {

namespace {

struct KeywordRow {
    const char* name;
    int32_t token;
    uint16_t poolBytes;
};

// Looked up in order with the whole name; abbreviations exist only where a row spells them.
constexpr KeywordRow kKeywords[] = {
    {"ABS", kFnAbs, 0},         {"ASC", kFnAsc, 0},           {"AT", kFnAt, 0},
    {"CDOW", kFnCdow, 15},      {"CHR", kFnChr, 2},           {"CMON", kFnCmonth, 15},
    {"CMONT", kFnCmonth, 15},   {"CMONTH", kFnCmonth, 15},    {"CTOD", kFnCtod, 0},
    {"DATE", kFnDate, 0},       {"DAY", kFnDay, 0},           {"DELE", kFnDeleted, 0},
    {"DELET", kFnDeleted, 0},   {"DELETE", kFnDeleted, 0},    {"DELETED", kFnDeleted, 0},
    {"DOW", kFnDow, 0},         {"DTOC", kFnDtoc, 11},        {"DTOS", kFnDtos, 9},
    {"IIF", kFnIif, 256},       {"INT", kFnInt, 0},           {"LEFT", kFnLeft, 0},
    {"LEN", kFnLen, 0},         {"LOWE", kFnLower, 0},        {"LOWER", kFnLower, 0},
    {"LTRI", kFnLtrim, 0},      {"LTRIM", kFnLtrim, 0},       {"MAX", kFnMax, 0},
    {"MIN", kFnMin, 0},         {"MOD", kFnMod, 0},           {"MONT", kFnMonth, 0},
    {"MONTH", kFnMonth, 0},     {"RECN", kFnRecno, 0},        {"RECNO", kFnRecno, 0},
    {"REPL", kFnReplicate, 256}, {"REPLI", kFnReplicate, 256}, {"REPLIC", kFnReplicate, 256},
    {"REPLICA", kFnReplicate, 256}, {"REPLICAT", kFnReplicate, 256}, {"REPLICATE", kFnReplicate, 256},
    {"RIGH", kFnRight, 0},      {"RIGHT", kFnRight, 0},       {"ROUN", kFnRound, 0},
    {"ROUND", kFnRound, 0},     {"RTRI", kFnRtrim, 0},        {"RTRIM", kFnRtrim, 0},
    {"SOUN", kFnSoundex, 15},   {"SOUND", kFnSoundex, 15},    {"SOUNDE", kFnSoundex, 15},
    {"SOUNDEX", kFnSoundex, 15}, {"SPAC", kFnSpace, 256},     {"SPACE", kFnSpace, 256},
    {"STR", kFnStr, 256},       {"STUF", kFnStuff, 0},        {"STUFF", kFnStuff, 0},
    {"SUBS", kFnSubstr, 0},     {"SUBST", kFnSubstr, 0},      {"SUBSTR", kFnSubstr, 0},
    {"TRIM", kFnTrim, 0},       {"UPPE", kFnUpper, 0},        {"UPPER", kFnUpper, 0},
    {"VAL", kFnVal, 0},         {"YEAR", kFnYear, 0},         {".F.", kTokFalse, 0},
    {".T.", kTokTrue, 0},       {".NOT.", kTokNot, 0},        {".OR.", kTokOr, 0},
    {".AND.", kTokAnd, 0},
};
static_assert(sizeof kKeywords / sizeof kKeywords[0] == 67, "the keyword table has 67 rows");

struct FunctionRow {
    int32_t token;
    const char* name;
};
constexpr FunctionRow kFunctionNames[] = {
    {kFnAbs, "ABS"},       {kFnAsc, "ASC"},         {kFnAt, "AT"},           {kFnCdow, "CDOW"},
    {kFnChr, "CHR"},       {kFnCmonth, "CMONTH"},   {kFnCtod, "CTOD"},       {kFnDate, "DATE"},
    {kFnDay, "DAY"},       {kFnDeleted, "DELETED"}, {kFnDow, "DOW"},         {kFnDtoc, "DTOC"},
    {kFnDtos, "DTOS"},     {kFnIif, "IIF"},         {kFnInt, "INT"},         {kFnLeft, "LEFT"},
    {kFnLen, "LEN"},       {kFnLower, "LOWER"},     {kFnLtrim, "LTRIM"},     {kFnMax, "MAX"},
    {kFnMin, "MIN"},       {kFnMod, "MOD"},         {kFnMonth, "MONTH"},     {kFnRecno, "RECNO"},
    {kFnReplicate, "REPLICATE"}, {kFnRight, "RIGHT"}, {kFnRound, "ROUND"},   {kFnRtrim, "RTRIM"},
    {kFnSoundex, "SOUNDEX"}, {kFnSpace, "SPACE"},   {kFnStr, "STR"},         {kFnStuff, "STUFF"},
    {kFnSubstr, "SUBSTR"}, {kFnTrim, "TRIM"},       {kFnUpper, "UPPER"},     {kFnVal, "VAL"},
    {kFnYear, "YEAR"},
};

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
int upper(int c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

std::string upperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(upper(static_cast<unsigned char>(c)));
    return s;
}

// The field of a block with the given upper-case name that an expression can read; 0 when none.
int resolveField(const WorkAreaBlock* b, const std::string& name) {
    if (!b) return 0;
    for (size_t i = 0; i < b->fields.size(); ++i) {
        const FieldDescriptor& f = b->fields[i];
        if (upperAscii(f.name) != name) continue;
        switch (f.type) {
            case 'C': case 'N': case 'F': case 'L': case 'D': case 'M': return static_cast<int>(i + 1);
            default: return 0;
        }
    }
    return 0;
}

int32_t fieldToken(char type) {
    switch (type) {
        case 'C': return kFieldC;
        case 'N': case 'F': return kFieldN;
        case 'L': return kFieldL;
        case 'D': return kFieldD;
        default: return kFieldM;
    }
}

}  // namespace

int32_t KeywordToken(const std::string& upperName) {
    for (const KeywordRow& row : kKeywords)
        if (upperName == row.name) return row.token;
    return kTokEot;
}

size_t KeywordPoolBytes(int32_t token) {
    for (const KeywordRow& row : kKeywords)
        if (row.token == token) return row.poolBytes;
    return 0;
}

const char* FunctionName(int32_t token) {
    for (const FunctionRow& row : kFunctionNames)
        if (row.token == token) return row.name;
    return "";
}

// Reading past the end still advances the position, so that one step back returns to the end.
int ExprLexer::get() {
    int c = m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos]) : 0;
    ++m_pos;
    return c;
}

void ExprLexer::unget() {
    if (m_pos > 0) --m_pos;
}

int ExprLexer::peekAfterBlanks() const {
    size_t p = m_pos;
    while (p < m_text.size() && (m_text[p] == ' ' || m_text[p] == '\t')) ++p;
    return p < m_text.size() ? static_cast<unsigned char>(m_text[p]) : 0;
}

ExprLexToken ExprLexer::next() {
    ExprLexToken t;
    int c;
    do {
        c = get();
    } while (c == ' ' || c == '\t');
    if (c == 0) {
        // A zero byte inside the text is no token; only the real end of the text ends the input.
        t.token = m_pos <= m_text.size() ? kTokBad : kTokEnd;
        return t;
    }
    if (c == '\'' || c == '"') return readConstant(static_cast<char>(c));
    c = upper(c);
    if (isDigit(c)) return readNumber(c);
    if (isLetter(c) || c == '.' || c == '_') return readName(c);
    int d;
    switch (c) {
        case '=':
            d = get();
            if (d == '=') return t.token = kTokEqEq, t;
            unget();
            break;
        case '<':
            d = get();
            if (d == '=') return t.token = kTokLe, t;
            if (d == '>') return t.token = kTokNe, t;
            unget();
            break;
        case '>':
            d = get();
            if (d == '=') return t.token = kTokGe, t;
            unget();
            break;
        case '*':
            d = get();
            if (d == '*') return t.token = '^', t;
            unget();
            break;
        case '#': return t.token = kTokNe, t;
        case '$': return t.token = kTokDollar, t;
        default: break;
    }
    t.token = c;
    return t;
}

ExprLexToken ExprLexer::readNumber(int first) {
    std::string digits(1, static_cast<char>(first));
    bool dot = false;
    for (;;) {
        int c = upper(get());
        if (isDigit(c) || c == 'E' || (c == '.' && !dot)) {
            if (c == '.') dot = true;
            digits.push_back(static_cast<char>(c));
            continue;
        }
        unget();
        break;
    }
    ExprLexToken t;
    t.token = kTypeN;
    double v = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) v = HUGE_VAL;  // no sign is read, so only overflow
    t.number = v;
    m_track.lastWidth = 0;
    m_track.decimals = kDefaultDecimals;
    return t;
}

ExprLexToken ExprLexer::readConstant(char quote) {
    ExprLexToken t;
    const size_t start = m_pos;
    const size_t end = m_text.find(quote, start);
    if (end == std::string::npos || std::memchr(m_text.data() + start, 0, end - start)) {
        // Without its closing quote the constant would swallow the rest of the text: always an error.
        m_pos = m_text.size() + 1;
        t.token = kTokBad;
        return t;
    }
    t.text = m_text.substr(start, std::min(end - start, kMaxExprText));
    m_pos = end + 1;
    t.token = kTypeC;
    m_track.poolBytes += t.text.size() + 1;
    m_track.lastWidth = 0;
    m_track.decimals = kDefaultDecimals;
    return t;
}

ExprLexToken ExprLexer::readName(int first) {
    std::string name(1, static_cast<char>(first));
    for (;;) {
        int c = upper(get());
        if (isLetter(c) || isDigit(c) || c == '.' || c == '_') {
            name.push_back(static_cast<char>(c));
            continue;
        }
        unget();
        break;
    }
    ExprLexToken t;
    const WorkAreaBlock* block = nullptr;
    int area = 0;
    std::string fieldName = name;
    if (m_pos + 1 < m_text.size() && m_text[m_pos] == '-' && m_text[m_pos + 1] == '>') {
        m_pos += 2;
        fieldName.clear();
        for (;;) {
            int c = upper(get());
            if (isLetter(c) || isDigit(c) || c == '_') {
                fieldName.push_back(static_cast<char>(c));
                continue;
            }
            unget();
            break;
        }
        const std::string alias = name.substr(0, 10);
        for (int n = 1; n <= kUserAreas; ++n) {
            const WorkAreaBlock* b = AreaBlock(n);
            if (b && upperAscii(b->alias) == alias) {
                block = b;
                area = n;
                break;
            }
        }
        if (!block) {
            t.token = kTokEot;
            return t;
        }
    } else {
        block = CurrentBlock();
    }

    // A name written with "(" is a function call even when a field has that name.
    int fieldNo = peekAfterBlanks() == '(' ? 0 : resolveField(block, fieldName);
    if (fieldNo > 0) {
        const FieldDescriptor& f = block->fields[static_cast<size_t>(fieldNo - 1)];
        t.token = fieldToken(f.type) + (area > 0 ? 5 : 0);
        t.fieldNo = fieldNo;
        t.area = area;
        t.fieldWidth = f.length;
        t.fieldType = f.type;
        m_track.lastWidth = f.length;
        if (f.type == 'N' || f.type == 'F')
            m_track.decimals = m_track.decimals < 0 ? f.decimals : kDefaultDecimals;
        if (f.type == 'C') m_track.poolBytes += f.length + 1u;
        return t;
    }
    if (area > 0) {
        t.token = kTokEot;
        return t;
    }
    t.token = KeywordToken(name);
    if (t.token != kTokEot) {
        m_track.lastWidth = 0;
        m_track.decimals = kDefaultDecimals;
        m_track.poolBytes += KeywordPoolBytes(t.token);
    }
    return t;
}

}  // namespace xb
