// The pure side of the server exchange: what counts as a version, how two versions compare, and how a
// value goes into a query. Nothing here touches the network, so it is fuzzed and tested on its own.
#pragma once

#include <string>
#include <string_view>

namespace app {

// The product tag and the running program's version, as the server knows them.
inline constexpr const char* kProductTag = "PELMORAD32";
inline constexpr const char* kProgramVersion = "2.06";

// How many characters of the version reply make the version.
inline constexpr size_t kVersionReplyLength = 4;

// A version text: digits and dots, a digit at each end, no two dots in a row ("2.06", "10.0", "3").
bool IsVersionText(std::string_view text);

// The version a reply announces: its first four characters when the status is 2xx and they form a
// version text, else the empty text. An error page ("<htm") or a short reply ("2.1") gives "".
std::string ParseVersionReply(long status, std::string_view body);

// Orders versions by their dotted numbers, part by part, numerically ("10.0" > "2.06", "2.1" == "2.01",
// "2" == "2.0"); numbers of any length compare without overflow. A text that is not a version (the
// empty text included) counts as no version, the same as "0". Returns <0, 0 or >0; a total preorder.
int CompareVersions(std::string_view a, std::string_view b);

// True when candidate is a version above both the running program's version and the last announced
// one (which may be empty, or anything an older parameter file holds).
bool IsNewerVersion(std::string_view candidate, std::string_view announced);

// Percent-encodes a query value: letters, digits and "-._~" stay, every other byte becomes %XX.
std::string PercentEncode(std::string_view value);

}  // namespace app
