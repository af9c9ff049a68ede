#include "app/data/league_text.h"

#include "app/settings/lang_texts.h"

namespace app {

namespace {

constexpr int kEntryGap = 100;  // blanks between a list entry's name and its number

}  // namespace

std::string PadNum(int n, int width) {
    std::string s = std::to_string(n);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
    return s;
}

QString Spaces(int count) {
    return count > 0 ? QString(count, QLatin1Char(' ')) : QString();
}

QString LeftPart(const QString& text, int n) {
    return text.left(n < 0 ? 0 : n);
}

QString RightPart(const QString& text, int n) {
    return text.right(n < 0 ? 0 : n);
}

bool IsInteger(const QString& text) {
    bool ok = false;
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == '-' || c == '+'))) return false;
    }
    t.toInt(&ok);
    return ok;
}

int IntegerOrZero(const QString& text) {
    return IsInteger(text) ? text.trimmed().toInt() : 0;
}

QString VerticalText(const QString& text) {
    QString out;
    for (const QChar c : text) {
        out += QLatin1Char(' ');
        out += c;
        out += QLatin1Char('\n');
    }
    return out;
}

QString NumberedEntry(const QString& name, int number) {
    return name + Spaces(kEntryGap) + QString::number(number);
}

int EntryNumber(const QString& entry) {
    const QString tail = RightPart(entry, 10).trimmed();
    return IsInteger(tail) ? tail.toInt() : 0;
}

QString EntryName(const QString& entry) {
    const int gap = entry.indexOf(Spaces(kEntryGap));
    return gap < 0 ? entry : entry.left(gap);
}

QString GoalTypeName(int type) {
    // The goal types' list and the goals' grid read the same texts, a language file's included.
    if (type < 0 || type > 5) return {};
    return GetLangText(kGoalTypeTexts[type]);
}

}  // namespace app
