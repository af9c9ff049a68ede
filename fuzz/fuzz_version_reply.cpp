// The version reply parser and the version order on arbitrary texts: a parsed version is always the
// reply's first four characters and a version; the order is reflexive, antisymmetric and transitive on
// the pairs and triples the input makes; a percent-encoded value decodes back to itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/exchange/version_reply.h"

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

void Check(bool ok) {
    if (!ok) std::abort();
}

bool Unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string Decode(const std::string& encoded) {
    std::string out;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            Check(Unreserved(encoded[i]));
            out += encoded[i];
            continue;
        }
        Check(i + 2 < encoded.size());
        out += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (size >= 1) {
        // The first byte picks a status around the 2xx range; the rest is the reply body.
        const long status = 150 + data[0];
        const std::string_view body = input.substr(1);
        const std::string version = app::ParseVersionReply(status, body);
        if (!version.empty()) {
            Check(status >= 200 && status <= 299);
            Check(version.size() == app::kVersionReplyLength && body.substr(0, version.size()) == version);
            Check(app::IsVersionText(version));
        }
    }

    // Up to three texts separated by newlines.
    std::vector<std::string_view> texts;
    std::string_view rest = input;
    while (texts.size() < 3) {
        const size_t nl = rest.find('\n');
        texts.push_back(rest.substr(0, nl));
        if (nl == std::string_view::npos) break;
        rest = rest.substr(nl + 1);
    }
    for (const auto a : texts) {
        Check(app::CompareVersions(a, a) == 0);
        Check(Decode(app::PercentEncode(a)) == a);
        for (const auto b : texts) {
            const int ab = Sign(app::CompareVersions(a, b));
            Check(ab == -Sign(app::CompareVersions(b, a)));
            if (app::IsNewerVersion(a, b)) Check(app::IsVersionText(a) && ab > 0);
            for (const auto c : texts) {
                const int bc = Sign(app::CompareVersions(b, c));
                const int ac = Sign(app::CompareVersions(a, c));
                if (ab <= 0 && bc <= 0) Check(ac <= 0);
                if (ab == 0) Check(ac == bc);
            }
        }
    }
    return 0;
}
