// How the session's language writes what a report shows besides names: a label and its value, decimal
// numbers, percentages and sizes. Screens, printouts and pages all take their texts from here, so that a
// French or Croatian user reads "32,3 %" and "Championnat: X" everywhere alike.
#pragma once

#include <QString>
#include <cstdint>

namespace app {

// "label: value": the label without trailing blanks, one colon, one blank.
QString LabelledText(const QString& label, const QString& value);

// The decimal separator of a language (1..8, as LanguageIndex): "." in English, "," in the others.
QChar DecimalSeparator(int language);
// tenths / 10 with one decimal in the session's language ("32,3" in French, "32.3" in English).
QString TenthsText(long long tenths, int language);
// A percentage given in tenths: "32,3 %" in French, Croatian, Spanish, Swedish and Danish (a no-break space
// before the sign, as they write it), "32.3%" in English, "32,3%" in Portuguese and Italian.
QString PercentText(long long tenths, int language);
// A file size as a reader takes it in: bytes below 1 KB, then KB and MB with one decimal ("1,5 MB").
QString ByteSizeText(uint64_t bytes, int language);

}  // namespace app
