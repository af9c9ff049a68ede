#include "engine/index/expr_functions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_eval.h"
#include "engine/index/key_routines.h"
#include "platform/clock.h"
#include "platform/codepage.h"

namespace xb {

int64_t TruncateClamped(double v, int64_t limit) {
    if (std::isnan(v)) return 0;
    const double t = std::trunc(v);
    if (t >= static_cast<double>(limit)) return limit;
    if (t <= -static_cast<double>(limit)) return -limit;
    return static_cast<int64_t>(t);
}

size_t FormatStrNumber(double v, int width, int dec, char* out) {
    width = std::clamp(width, 0, static_cast<int>(kMaxExprText));
    dec = std::clamp(dec, 0, static_cast<int>(kMaxExprText));
    auto stars = [&] {
        std::memset(out, '*', static_cast<size_t>(width));
        return static_cast<size_t>(width);
    };
    if (!std::isfinite(v)) return stars();
    double r = v;
    if (dec <= 15) {
        // Halves go away from zero, as a user reading the decimal text expects.
        const double p10 = std::pow(10.0, dec);
        const double scaled = v * p10;
        if (std::fabs(scaled) < 9.0e15) r = std::round(scaled) / p10;
    }
    char buf[720];
    auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, dec);
    if (res.ec != std::errc()) return stars();
    char* b = buf;
    size_t n = static_cast<size_t>(res.ptr - buf);
    if (n > 1 && b[0] == '-' && std::all_of(b + 1, b + n, [](char c) { return c == '0' || c == '.'; })) {
        ++b;  // no "-0"
        --n;
    }
    if (n > static_cast<size_t>(width)) return stars();
    const size_t pad = static_cast<size_t>(width) - n;
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, b, n);
    return static_cast<size_t>(width);
}

double CutDecimals(double v, int d) {
    const double whole = std::trunc(v);
    double frac = v - whole;
    d = std::min(d, 30);  // past that the fraction is kept whole anyway
    for (int i = 0; i < d; ++i) frac *= 10;
    frac = std::trunc(frac);
    for (int i = 0; i < d; ++i) frac /= 10;
    return whole + (d > 0 ? frac : 0.0);
}

double ValueOfText(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) return 0;
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) v = HUGE_VAL;
    else if (res.ec != std::errc()) v = 0;
    return negative ? -v : v;
}

double TruncatedModulo(double a, double b) {
    constexpr int64_t kLimit = 9000000000000000000LL;
    const int64_t x = TruncateClamped(a, kLimit), y = TruncateClamped(b, kLimit);
    if (y == 0) return static_cast<double>(x);
    return static_cast<double>(x % y);
}

void SubstringRange(size_t len, double p, double n, size_t& start, size_t& count) {
    int64_t pi = TruncateClamped(p, 1000000000);
    const int64_t ni = TruncateClamped(n, 1000000000);
    if (pi < 1) pi = 1;
    start = std::min(static_cast<size_t>(pi - 1), len);
    count = ni <= 0 ? 0 : std::min(static_cast<size_t>(ni), len - start);
}

using namespace expr_stack;

namespace {

bool isDayNumber(double j) { return j >= kFirstDayNumber && j < kLastDayNumber + 1.0; }

// Year, month and day of a day number; zeros for the blank date.
void civilOf(double j, int& y, int& m, int& d) {
    y = m = d = 0;
    if (!isDayNumber(j)) return;
    const std::string s = JulianToDtos(j);
    y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    m = (s[4] - '0') * 10 + (s[5] - '0');
    d = (s[6] - '0') * 10 + (s[7] - '0');
}

void pushString(ExprRecord& r, const std::string& s) { PushText(r, s.data(), s.size()); }

}  // namespace

void CallFunction(ExprRecord& r, const ExprCode& c) {
    char* out = r.scratch;
    switch (c.op) {
        case kFnAbs: PushNumber(r, kTypeN, std::fabs(Pop(r).cell.number)); return;
        case kFnInt: PushNumber(r, kTypeN, std::trunc(Pop(r).cell.number)); return;
        case kFnAsc: {
            const ExprValue a = Pop(r);
            PushNumber(r, kTypeN, a.length ? static_cast<unsigned char>(TextOf(r, a)[0]) : 0);
            return;
        }
        case kFnLen: PushNumber(r, kTypeN, Pop(r).length); return;
        case kFnAt: {
            const ExprValue hay = Pop(r), needle = Pop(r);
            const std::string_view h = ViewOf(r, hay), n = ViewOf(r, needle);
            const size_t at = n.empty() ? std::string_view::npos : h.find(n);
            PushNumber(r, kTypeN, at == std::string_view::npos ? 0 : static_cast<double>(at + 1));
            return;
        }
        case kFnVal: {
            const ExprValue a = Pop(r);
            PushNumber(r, kTypeN, ValueOfText(ViewOf(r, a)));
            return;
        }
        case kFnChr: {
            const int code = static_cast<int>(TruncateClamped(Pop(r).cell.number, 1 << 30) & 0xFF);
            out[0] = static_cast<char>(code);
            PushText(r, out, code == 0 ? 0 : 1);  // texts end at a zero byte
            return;
        }
        case kFnSpace: {
            const size_t n = static_cast<size_t>(std::clamp<int64_t>(TruncateClamped(Pop(r).cell.number, 1 << 30), 0, 255));
            std::memset(out, ' ', n);
            PushText(r, out, n);
            return;
        }
        case kFnReplicate: {
            const int64_t times = std::clamp<int64_t>(TruncateClamped(Pop(r).cell.number, 1 << 30), 0, 256);
            const ExprValue s = Pop(r);
            size_t n = 0;
            for (int64_t i = 0; i < times && s.length && n < kMaxExprText; ++i) {
                const size_t k = std::min<size_t>(s.length, kMaxExprText - n);
                std::memcpy(out + n, TextOf(r, s), k);
                n += k;
            }
            PushText(r, out, n);
            return;
        }
        case kFnLeft: case kFnRight: {
            const int64_t k = TruncateClamped(Pop(r).cell.number, 1 << 30);
            const size_t len = Top(r).length;
            const size_t keep = k <= 0 ? 0 : std::min(static_cast<size_t>(k), len);
            KeepPart(r, c.op == kFnLeft ? 0 : len - keep, keep);
            return;
        }
        case kFnSubstr: {
            const double n = Pop(r).cell.number, p = Pop(r).cell.number;
            size_t start, count;
            SubstringRange(Top(r).length, p, n, start, count);
            KeepPart(r, start, count);
            return;
        }
        case kFnStuff: {
            const ExprValue ins = Pop(r);
            const double n = Pop(r).cell.number, p = Pop(r).cell.number;
            const ExprValue s = Pop(r);
            const size_t len = s.length;
            const size_t at = static_cast<size_t>(std::clamp<int64_t>(TruncateClamped(p, 1 << 30), 1, static_cast<int64_t>(len) + 1)) - 1;
            const size_t del = static_cast<size_t>(std::clamp<int64_t>(TruncateClamped(n, 1 << 30), 0, static_cast<int64_t>(len - at)));
            const char* src = TextOf(r, s);
            std::memcpy(out, src, at);
            std::memcpy(out + at, TextOf(r, ins), ins.length);
            std::memcpy(out + at + ins.length, src + at + del, len - at - del);
            PushText(r, out, len - del + ins.length);
            return;
        }
        case kFnUpper: case kFnLower: {
            ExprValue& v = Top(r);
            char* p = TextOf(r, v);
            const int cp = Engine::current().settings.ansiCodePage;
            for (size_t i = 0; i < v.length; ++i) {
                const unsigned char b = static_cast<unsigned char>(p[i]);
                p[i] = static_cast<char>(c.op == kFnUpper ? platform::UpperByte(cp, b) : platform::LowerByte(cp, b));
            }
            return;
        }
        case kFnLtrim: {
            const std::string_view s = ViewOf(r, Top(r));
            const size_t from = std::min(s.find_first_not_of(' '), s.size());
            KeepPart(r, from, s.size() - from);
            return;
        }
        case kFnRtrim: case kFnTrim: {
            const std::string_view s = ViewOf(r, Top(r));
            size_t n = s.size();
            while (n > 0 && s[n - 1] == ' ') --n;
            KeepPart(r, 0, n);
            return;
        }
        case kFnIif: {
            const ExprValue no = Pop(r), yes = Pop(r), cond = Pop(r);
            const ExprValue& pick = cond.cell.truth ? yes : no;
            std::memcpy(out, TextOf(r, pick), pick.length);
            PushText(r, out, pick.length);
            return;
        }
        case kFnMax: case kFnMin: {
            const ExprValue b = Pop(r), a = Pop(r);
            const double x = a.cell.number, y = b.cell.number;
            // On a tie the second argument is the answer.
            const double v = c.op == kFnMax ? (x > y ? x : y) : (x < y ? x : y);
            PushNumber(r, a.type, v);
            return;
        }
        case kFnMod: {
            const double b = Pop(r).cell.number, a = Pop(r).cell.number;
            PushNumber(r, kTypeN, TruncatedModulo(a, b));
            return;
        }
        case kFnRound: {
            const double d = Pop(r).cell.number, v = Pop(r).cell.number;
            PushNumber(r, kTypeN, CutDecimals(v, static_cast<int>(TruncateClamped(d, 1 << 20))));
            return;
        }
        case kFnStr: {
            double width = 10, dec = 0;
            if (c.argCount >= 3) dec = Pop(r).cell.number;
            if (c.argCount >= 2) width = Pop(r).cell.number;
            const double v = Pop(r).cell.number;
            const size_t n = FormatStrNumber(v, static_cast<int>(TruncateClamped(width, 1 << 20)),
                                             static_cast<int>(TruncateClamped(dec, 1 << 20)), out);
            PushText(r, out, n);
            return;
        }
        case kFnSoundex: {
            const ExprValue a = Pop(r);
            pushString(r, Soundex(std::string(TextOf(r, a), a.length)));
            return;
        }
        case kFnRecno: {
            const WorkAreaBlock* b = CurrentBlock();
            PushNumber(r, kTypeN, b ? b->recNo : 0);
            return;
        }
        case kFnDeleted: {
            // A table record carries "*"; a virtual record's flag is 0 or 1 and never reads as deleted.
            const WorkAreaBlock* b = CurrentBlock();
            PushTruth(r, b && !b->isVirtual && !b->raw.empty() && b->raw[0] == '*' ? 1 : 0);
            return;
        }
        case kFnDate: {
            const platform::CivilDate t = platform::Today();
            PushNumber(r, kTypeD, JulianOf(t.year, t.month, t.day));
            return;
        }
        case kFnCtod: {
            const ExprValue a = Pop(r);
            PushNumber(r, kTypeD, DateStrToJulian(std::string(TextOf(r, a), std::min<size_t>(a.length, 10))));
            return;
        }
        case kFnDtos: pushString(r, JulianToDtos(Pop(r).cell.number)); return;
        case kFnDtoc: pushString(r, JulianToDateStr(Pop(r).cell.number)); return;
        case kFnDay: case kFnMonth: case kFnYear: {
            // From the day number itself: a date text with a two-digit year would move dates outside
            // the century window into the wrong century.
            int y, m, d;
            civilOf(Pop(r).cell.number, y, m, d);
            PushNumber(r, kTypeN, c.op == kFnDay ? d : c.op == kFnMonth ? m : y);
            return;
        }
        case kFnDow: {
            const double j = Pop(r).cell.number;
            // Only a day number is converted: the blank date (1.0E100) has no integer form.
            const long day = isDayNumber(j) ? static_cast<long>(std::floor(j)) : 0;
            PushNumber(r, kTypeN, isDayNumber(j) ? static_cast<double>((day + 1) % 7 + 1) : 0.0);
            return;
        }
        case kFnCdow: case kFnCmonth: {
            const double j = Pop(r).cell.number;
            if (!isDayNumber(j)) {
                pushString(r, c.op == kFnCdow ? CDow(BlankDateText(Engine::current().settings.dateFormat))
                                              : CMonth(BlankDateText(Engine::current().settings.dateFormat)));
                return;
            }
            // The names come from a date text; take a date of the same weekday or month in 2000, which
            // every century window reads right.
            constexpr long kSat20000101 = 2451545;
            double proxy;
            if (c.op == kFnCdow) {
                const long day = static_cast<long>(std::floor(j));
                proxy = static_cast<double>(kSat20000101 + ((day - kSat20000101) % 7 + 7) % 7);
            } else {
                int y, m, d;
                civilOf(j, y, m, d);
                proxy = JulianOf(2000, m, 1);
            }
            const std::string text = JulianToDateStr(proxy);
            pushString(r, c.op == kFnCdow ? CDow(text) : CMonth(text));
            return;
        }
        default:
            PushNumber(r, kTypeN, 0);
            return;
    }
}

}  // namespace xb
