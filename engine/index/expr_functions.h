// The number and text rules of the expression functions that are more than a line: STR, ROUND, VAL, MOD
// and the position rules of SUBSTR and STUFF. They write into caller buffers and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xb {

// STR: v right-aligned in width characters (at most 255) with dec decimals, rounded to nearest (halves
// away from zero), "." as the separator; width "*" characters when it does not fit. out holds at least
// 256 bytes; answers the length written.
size_t FormatStrNumber(double v, int width, int dec, char* out);
// ROUND: the fraction cut (not rounded) to d decimals.
double CutDecimals(double v, int d);
// VAL: the number at the start of the right-trimmed text after leading blanks; 0 when there is none.
double ValueOfText(std::string_view text);
// MOD: the remainder of the truncated values with the sign of the first; the truncated first value when
// the divisor truncates to 0.
double TruncatedModulo(double a, double b);
// A double truncated toward zero into [-limit, limit]; 0 for NaN.
int64_t TruncateClamped(double v, int64_t limit);
// SUBSTR(text, p, n) as a range of a text of length len: start (from 0) and count.
void SubstringRange(size_t len, double p, double n, size_t& start, size_t& count);

}  // namespace xb
