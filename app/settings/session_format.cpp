#include "app/settings/session_format.h"

namespace app {

namespace {

constexpr int kFrench = 1, kEnglish = 2, kPortuguese = 3, kItalian = 5;

}  // namespace

QString LabelledText(const QString& label, const QString& value) {
    QString head = label;
    while (!head.isEmpty() && head.back().isSpace()) head.chop(1);
    if (head.endsWith(QLatin1Char(':'))) head.chop(1);
    while (!head.isEmpty() && head.back().isSpace()) head.chop(1);
    return head + QStringLiteral(": ") + value;
}

QChar DecimalSeparator(int language) {
    return language == kEnglish ? QLatin1Char('.') : QLatin1Char(',');
}

QString TenthsText(long long tenths, int language) {
    const bool negative = tenths < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(tenths)
                                                  : static_cast<unsigned long long>(tenths);
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10) +
           DecimalSeparator(language) + QString::number(magnitude % 10);
}

QString PercentText(long long tenths, int language) {
    const bool tight = language == kEnglish || language == kPortuguese || language == kItalian;
    return TenthsText(tenths, language) + (tight ? QString() : QString(QChar(0x00A0))) + QLatin1Char('%');
}

QString ByteSizeText(uint64_t bytes, int language) {
    // French counts octets.
    const bool french = language == kFrench;
    if (bytes < 1024) return QString::number(bytes) + (french ? QStringLiteral(" o") : QStringLiteral(" B"));
    const bool mega = bytes >= 1024 * 1024;
    const uint64_t unit = mega ? 1024 * 1024 : 1024;
    const long long tenths = static_cast<long long>((bytes * 10 + unit / 2) / unit);
    return TenthsText(tenths, language) + QLatin1Char(' ') + (mega ? QLatin1Char('M') : QLatin1Char('K')) +
           (french ? QLatin1Char('o') : QLatin1Char('B'));
}

}  // namespace app
