#include "engine/index/expr_eval.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/key_routines.h"
#include "platform/codepage.h"

namespace xb {

namespace expr_stack {

bool Allocate(ExprRecord& r, size_t n) {
    if (r.poolCursor + n > r.pool.size()) {
        SetEngineError(354, "Working pool overflow [PARSER/Allocate]");
        return false;
    }
    r.poolCursor += n;
    return true;
}

namespace {
ExprValue& nextSlot(ExprRecord& r) {
    // The compiler sized the stack to the deepest the code goes; the guard only keeps a damaged record
    // from writing past it.
    if (r.valueCursor >= r.values.size()) r.valueCursor = r.values.size() - 1;
    return r.values[r.valueCursor++];
}
}  // namespace

void PushNumber(ExprRecord& r, int32_t type, double v) {
    ExprValue& s = nextSlot(r);
    s.type = type;
    s.length = 0;
    s.cell.number = v;
}

void PushTruth(ExprRecord& r, int32_t v) {
    ExprValue& s = nextSlot(r);
    s.type = kTypeL;
    s.length = 0;
    s.cell.number = 0;
    s.cell.truth = v;
}

void PushText(ExprRecord& r, const char* p, size_t n, int32_t type) {
    n = std::min(n, kMaxExprText);
    const size_t at = r.poolCursor;
    ExprValue& s = nextSlot(r);
    s.type = type;
    s.offset = static_cast<uint32_t>(at);
    if (Allocate(r, n + 1)) {
        if (n) std::memmove(r.pool.data() + at, p, n);
        r.pool[at + n] = 0;
        s.length = static_cast<uint32_t>(n);
    } else {
        // What does not fit is an empty text, never bytes read from beyond the pool.
        s.length = 0;
        if (at < r.pool.size()) {
            r.pool[at] = 0;
            r.poolCursor = at + 1;
        } else {
            s.offset = 0;
        }
    }
}

ExprValue Pop(ExprRecord& r) {
    if (r.valueCursor == 0) return ExprValue{};
    ExprValue v = r.values[--r.valueCursor];
    if (v.type == kTypeC || v.type == kTypeM) r.poolCursor = std::min<size_t>(v.offset, r.poolCursor);
    return v;
}

ExprValue& Top(ExprRecord& r) { return r.values[r.valueCursor == 0 ? 0 : r.valueCursor - 1]; }

void KeepPart(ExprRecord& r, size_t from, size_t n) {
    ExprValue& v = Top(r);
    char* p = TextOf(r, v);
    if (from > v.length) from = v.length;
    if (n > v.length - from) n = v.length - from;
    if (from && n) std::memmove(p, p + from, n);
    v.length = static_cast<uint32_t>(n);
    if (v.offset + n < r.pool.size()) p[n] = 0;
    r.poolCursor = std::min(r.pool.size(), v.offset + n + 1);
}

}  // namespace expr_stack

using namespace expr_stack;

namespace {

// The date as the row stores it, when the picture the record buffer holds (two digits of year when the
// session shows no century) names the same day, month and year of the century as the stored bytes: a
// key is the stored date's, whatever century the session's window would put the two digits in.
double storedCentury(const WorkAreaBlock& b, const FieldDescriptor& f, double fromPicture) {
    if (fromPicture == kBlankDate || f.length != 8 || f.offset + 8 > b.raw.size()) return fromPicture;
    const std::string stored(b.raw.data() + f.offset, 8);
    if (!std::all_of(stored.begin(), stored.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fromPicture;
    const std::string shown = JulianToDtos(fromPicture);
    if (shown.size() != 8 || shown.compare(2, 6, stored, 2, 6) != 0) return fromPicture;
    return DtosToJulian(stored);
}

// Reads field n of the area (the current one when area is 0) as the type the compiler bound; a missing
// area, record buffer or field reads as blanks, 0 or false.
void pushField(ExprRecord& r, int32_t op, int fieldNo, int area, int compiledWidth) {
    const int32_t kind = op >= kAliasFieldC ? op - 5 : op;
    const WorkAreaBlock* b = area > 0 ? AreaBlock(area) : CurrentBlock();
    const FieldDescriptor* f = nullptr;
    const uint8_t* p = nullptr;
    if (b && b->typed && fieldNo >= 1 && fieldNo <= static_cast<int>(b->fields.size())) {
        f = &b->fields[static_cast<size_t>(fieldNo - 1)];
        const char t = f->type;
        const bool sameKind = (kind == kFieldC && t == 'C') || (kind == kFieldN && (t == 'N' || t == 'F')) ||
                              (kind == kFieldL && t == 'L') || (kind == kFieldD && t == 'D') ||
                              (kind == kFieldM && t == 'M');
        const size_t off = TypedFieldOffset(*b, fieldNo);
        if (sameKind && off + TypedFieldSize(*f) <= b->typedSize) p = b->typed + off;
    }
    switch (kind) {
        case kFieldC: {
            const size_t width = p ? f->length : static_cast<size_t>(std::max(compiledWidth, 0));
            const size_t have = p ? std::min<size_t>(p[0], width) : 0;
            char* dst = r.scratch;
            if (have) std::memcpy(dst, p + 1, have);
            std::memset(dst + have, ' ', std::min(width, kMaxExprText) - std::min(have, width));
            PushText(r, dst, std::min(width, kMaxExprText));
            break;
        }
        case kFieldN: {
            double v = 0;
            if (p) v = TypedIsDouble(*f) ? TypedGetDouble(p) : TypedGetInt(p);
            PushNumber(r, kTypeN, v);
            break;
        }
        case kFieldL: PushTruth(r, p && p[0] != 0 ? 1 : 0); break;
        case kFieldD: {
            double v = kBlankDate;
            if (p) {
                char text[16];
                const size_t n = std::min<size_t>(p[0], 10);
                std::memcpy(text, p + 1, n);
                v = DateStrToJulian(std::string(text, n));
                v = storedCentury(*b, *f, v);
            }
            PushNumber(r, kTypeD, v);
            break;
        }
        default: {
            // The memo's lines joined without their breaks, in the engine's code page, cut to the memo pool;
            // without the memo unit a memo reads as empty text.
            Engine& e = Engine::current();
            std::string text;
            if (p && f && e.tables.memo) {
                const uint8_t saved = e.currentArea;
                if (area > 0) e.currentArea = static_cast<uint8_t>(area);
                MemoLineReader reader;
                if (e.tables.memo->assignMemo(reader, fieldNo)) text = std::move(reader.text);
                e.currentArea = saved;
                text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
                           text.end());
                if (b->oem) text = platform::ConvertBytes(text, StoredCodePage(*b), e.settings.ansiCodePage);
            }
            // The memo pool holds the text and its terminating zero.
            const size_t pool = r.resultLength > 1 ? static_cast<size_t>(r.resultLength) - 1 : 0;
            PushText(r, text.data(), std::min({text.size(), pool, kMaxExprText}), kTypeM);
            break;
        }
    }
}

int compareTexts(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void runOperator(ExprRecord& r, int32_t op) {
    if (op == kOpNot) {
        ExprValue a = Pop(r);
        PushTruth(r, a.cell.truth == 0 ? 1 : 0);
        return;
    }
    if (op == kOpNeg) {
        ExprValue a = Pop(r);
        PushNumber(r, kTypeN, -a.cell.number);
        return;
    }
    const ExprValue b = Pop(r);
    const ExprValue a = Pop(r);
    const double x = a.cell.number, y = b.cell.number;
    switch (op) {
        case kOpAddNN: PushNumber(r, kTypeN, x + y); return;
        case kOpAddND: case kOpAddDN: PushNumber(r, kTypeD, x + y); return;
        case kOpSubNN: PushNumber(r, kTypeN, x - y); return;
        case kOpSubDN: PushNumber(r, kTypeD, x - y); return;
        case kOpSubDD: PushNumber(r, kTypeN, x - y); return;
        case kOpMul: PushNumber(r, kTypeN, x * y); return;
        case kOpDiv:
            if (y == 0) {
                SetEngineError(358, "Error during evaluation: Divide by 0 [Evaluate/Engine]");
                PushNumber(r, kTypeN, 1.0e250);
            } else {
                PushNumber(r, kTypeN, x / y);
            }
            return;
        case kOpPow: PushNumber(r, kTypeN, std::pow(x, y)); return;
        case kOpAddCC: case kOpSubCC: {
            std::string_view l = ViewOf(r, a), rt = ViewOf(r, b);
            char* out = r.scratch;
            size_t n = 0;
            if (op == kOpAddCC) {
                std::memcpy(out, l.data(), l.size());
                std::memcpy(out + l.size(), rt.data(), rt.size());
                n = l.size() + rt.size();
            } else {
                // The left text's trailing blanks move behind the right text.
                size_t keep = l.size();
                while (keep > 0 && l[keep - 1] == ' ') --keep;
                std::memcpy(out, l.data(), keep);
                std::memcpy(out + keep, rt.data(), rt.size());
                std::memset(out + keep + rt.size(), ' ', l.size() - keep);
                n = l.size() + rt.size();
            }
            PushText(r, out, n);
            return;
        }
        default: break;
    }
    bool t = false;
    switch (op) {
        case kOpEqN: case kOpEqD: t = x == y; break;
        case kOpNeN: case kOpNeD: t = x != y; break;
        case kOpGtN: case kOpGtD: t = x > y; break;
        case kOpLtN: case kOpLtD: t = x < y; break;
        case kOpLeN: case kOpLeD: t = x <= y; break;
        case kOpGeN: case kOpGeD: t = x >= y; break;
        case kOpEqL: t = (a.cell.truth != 0) == (b.cell.truth != 0); break;
        case kOpNeL: t = (a.cell.truth != 0) != (b.cell.truth != 0); break;
        case kOpOr: t = a.cell.truth != 0 || b.cell.truth != 0; break;
        case kOpAnd: t = a.cell.truth != 0 && b.cell.truth != 0; break;
        default: {
            const std::string_view l = ViewOf(r, a), rt = ViewOf(r, b);
            switch (op) {
                case kOpEqC: t = !rt.empty() && l.substr(0, rt.size()) == rt; break;
                case kOpExactC: t = l == rt; break;
                case kOpNeC: t = l != rt; break;
                case kOpInC: t = !l.empty() && rt.find(l) != std::string_view::npos; break;
                case kOpGtC: t = compareTexts(l, rt) > 0; break;
                case kOpLtC: t = compareTexts(l, rt) < 0; break;
                case kOpLeC: t = compareTexts(l, rt) <= 0; break;
                case kOpGeC: t = compareTexts(l, rt) >= 0; break;
                default: break;
            }
        }
    }
    PushTruth(r, t ? 1 : 0);
}

}  // namespace

void Evaluate(ExprRecord& r) {
    r.poolCursor = 0;
    r.valueCursor = 0;
    if (r.values.empty() || r.code.empty()) return;
    for (const ExprCode& c : r.code) {
        if (c.op == kOpEndOfCode) break;
        if (c.op == kOpPushConst) {
            if (c.type == kTypeC) {
                const std::string& s = r.literals[c.literal];
                PushText(r, s.data(), s.size());
            } else if (c.type == kTypeL) {
                PushTruth(r, c.truth);
            } else {
                PushNumber(r, c.type, c.number);
            }
        } else if (c.op >= kFieldC && c.op <= kAliasFieldM) {
            const int area = c.argCount == 2 ? Pop(r).cell.truth : 0;
            const int fieldNo = Pop(r).cell.truth;
            pushField(r, c.op, fieldNo, area, static_cast<int>(c.number));
        } else if (c.op >= kOpAddNN && c.op <= kOpNeg) {
            runOperator(r, c.op);
        } else {
            CallFunction(r, c);
        }
    }
    if (r.resultType == 'C' || r.resultType == 'M') {
        const ExprValue& v = r.values[0];
        r.resultTextLength = static_cast<uint16_t>(v.offset == 0 ? v.length : 0);
        if (!r.pool.empty() && r.resultTextLength < r.pool.size()) r.pool[r.resultTextLength] = 0;
    }
}

}  // namespace xb
