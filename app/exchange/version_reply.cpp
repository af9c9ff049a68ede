#include "app/exchange/version_reply.h"

namespace app {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The next dotted part of a version text, leading zeros dropped ("06" -> "6", "000" -> "").
std::string_view nextPart(std::string_view& rest) {
    const size_t dot = rest.find('.');
    std::string_view part = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
    const size_t first = part.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : part.substr(first);
}

// Two runs of digits without leading zeros: the longer is the larger, else the text order decides.
int compareNumbers(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

bool IsVersionText(std::string_view text) {
    if (text.empty() || !isDigit(text.front()) || !isDigit(text.back())) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isDigit(text[i])) continue;
        if (text[i] != '.' || text[i - 1] == '.') return false;
    }
    return true;
}

std::string ParseVersionReply(long status, std::string_view body) {
    if (status < 200 || status > 299 || body.size() < kVersionReplyLength) return {};
    const std::string_view head = body.substr(0, kVersionReplyLength);
    return IsVersionText(head) ? std::string(head) : std::string();
}

int CompareVersions(std::string_view a, std::string_view b) {
    if (!IsVersionText(a)) a = {};
    if (!IsVersionText(b)) b = {};
    // A missing part counts as 0, which the empty part (all zeros dropped) already is.
    while (!a.empty() || !b.empty()) {
        const int c = compareNumbers(nextPart(a), nextPart(b));
        if (c != 0) return c;
    }
    return 0;
}

bool IsNewerVersion(std::string_view candidate, std::string_view announced) {
    return IsVersionText(candidate) && CompareVersions(candidate, kProgramVersion) > 0 &&
           CompareVersions(candidate, announced) > 0;
}

std::string PercentEncode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(ch) || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace app
