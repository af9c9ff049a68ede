#include "app/shell/entry_rules.h"

#include <QList>

#include "platform/codepage.h"

namespace app {

namespace {

bool Allowed(char32_t c, KeyRule rule) {
    switch (rule) {
        case KeyRule::kDigits:
            return c >= U'0' && c <= U'9';
        case KeyRule::kDigitsAndMinus:
            return (c >= U'0' && c <= U'9') || c == U'-';
        case KeyRule::kSeason:
            return (c >= U'0' && c <= U'9') || c == U'-' || c == U' ';
        case KeyRule::kUpperName:
        case KeyRule::kText:
            return c >= 0x20 && c != 0x7F;
    }
    return false;
}

// The capital of a letter, every letter of the code page included (ñ, ü, č, ž); a letter whose capital the
// code page lacks (ÿ in 850, µ) stays as it is, so that capitalising never makes a text unstorable.
char32_t upperInCodePage(char32_t c, int codePage) {
    const char32_t upper = QChar::toUpper(c);
    if (upper == c) return c;
    if (xb::platform::IsKnownCodePage(codePage) && xb::platform::ByteOf(codePage, upper) < 0) return c;
    return upper;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

InputVerdict JudgeInput(const QString& text, KeyRule rule, int codePage, int maxLength) {
    InputVerdict v;
    int kept = 0;
    for (char32_t c : text.toUcs4()) {
        const bool text = rule == KeyRule::kText || rule == KeyRule::kUpperName;
        // A line end or tab in a pasted name is no character of it.
        if (text && !Allowed(c, rule)) continue;
        const bool misplacedMinus = rule == KeyRule::kDigitsAndMinus && c == U'-' && kept > 0;
        if (!Allowed(c, rule) || misplacedMinus) {
            v.why = InputVerdict::Why::kRule;
            v.refused = c;
            return v;
        }
        if (rule == KeyRule::kUpperName) c = upperInCodePage(c, codePage);
        if (xb::platform::IsKnownCodePage(codePage) && xb::platform::ByteOf(codePage, c) < 0) {
            v.why = InputVerdict::Why::kCodePage;
            v.refused = c;
            return v;
        }
        if (maxLength <= 0 || kept < maxLength) v.text.append(QString::fromUcs4(&c, 1));
        ++kept;
    }
    return v;
}

QString TextInCodePage(const QString& text, int codePage) {
    if (!xb::platform::IsKnownCodePage(codePage)) return text;
    QString out;
    for (char32_t c : text.toUcs4()) {
        if (xb::platform::ByteOf(codePage, c) >= 0) {
            out.append(QString::fromUcs4(&c, 1));
            continue;
        }
        const QString bare = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_D);
        for (char32_t d : bare.toUcs4())
            if (QChar::category(d) != QChar::Mark_NonSpacing && xb::platform::ByteOf(codePage, d) >= 0)
                out.append(QString::fromUcs4(&d, 1));
    }
    return out;
}

std::string NameSearchFilter(const std::string& field, const std::string& text) {
    const std::string wanted = Trimmed(text);
    if (wanted.empty()) return {};
    // Runs of the text each closed by the quote it lacks: "O'" + '"X"' for O'"X".
    std::string constant;
    size_t at = 0;
    while (at < wanted.size()) {
        const size_t dq = wanted.find('"', at);
        const size_t sq = wanted.find('\'', at);
        // Delimit with the quote that occurs later (or not at all): the run goes up to it.
        const char quote = dq == std::string::npos || (sq != std::string::npos && sq < dq) ? '"' : '\'';
        const size_t stop = quote == '"' ? dq : sq;
        const size_t end = stop == std::string::npos ? wanted.size() : stop;
        if (!constant.empty()) constant += "+";
        constant += quote + wanted.substr(at, end - at) + quote;
        at = end;
    }
    return "UPPER(" + field + ")=UPPER(" + constant + ")";
}

std::optional<int> ParseInteger(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    bool ok = false;
    int start = text.startsWith(u'-') ? 1 : 0;
    if (start == text.size()) return std::nullopt;
    for (int i = start; i < text.size(); ++i)
        if (!text[i].isDigit() || text[i].unicode() > 127) return std::nullopt;
    const long long v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace app
