#include "platform/codepage.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace xb::platform {

namespace {

#include "platform/codepage_tables.inc"

const char16_t* tableOf(int cp) {
    switch (cp) {
        case 1252: return kCp1252;
        case 850: return kCp850;
        case 1250: return kCp1250;
        case 852: return kCp852;
        case 1251: return kCp1251;
        case 866: return kCp866;
        case 437: return kCp437;
        default: return nullptr;
    }
}

struct Reverse {
    std::unordered_map<char32_t, unsigned char> map;
};

const Reverse& reverseOf(int cp) {
    static std::mutex mu;
    static std::map<int, Reverse> cache;
    std::lock_guard<std::mutex> lock(mu);
    auto it = cache.find(cp);
    if (it != cache.end()) return it->second;
    Reverse& r = cache[cp];
    if (const char16_t* t = tableOf(cp))
        for (int b = 0; b < 256; ++b) r.map[t[b]] = static_cast<unsigned char>(b);
    return r;
}

using Permutation = std::array<unsigned char, 256>;

const Permutation& permutationOf(int fromCp, int toCp) {
    static std::mutex mu;
    static std::map<std::pair<int, int>, Permutation> cache;
    std::lock_guard<std::mutex> lock(mu);
    auto key = std::make_pair(fromCp, toCp);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    Permutation p{};
    const char16_t* from = tableOf(fromCp);
    const char16_t* to = tableOf(toCp);
    if (!from || !to || fromCp == toCp) {
        for (int b = 0; b < 256; ++b) p[b] = static_cast<unsigned char>(b);
        return cache[key] = p;
    }
    std::unordered_map<char32_t, int> toByte;
    for (int b = 0; b < 256; ++b) toByte[to[b]] = b;
    std::array<bool, 256> fromDone{}, toUsed{};
    for (int b = 0; b < 256; ++b) {
        auto f = toByte.find(from[b]);
        if (f != toByte.end()) {
            p[b] = static_cast<unsigned char>(f->second);
            fromDone[b] = true;
            toUsed[f->second] = true;
        }
    }
    // Pair the leftovers in byte order. Both sides have the same number of them, and pairing them in
    // the same order from either side makes the reverse conversion the inverse permutation.
    int t = 0;
    for (int b = 0; b < 256; ++b) {
        if (fromDone[b]) continue;
        while (toUsed[t]) ++t;
        p[b] = static_cast<unsigned char>(t);
        toUsed[t] = true;
    }
    return cache[key] = p;
}

}  // namespace

bool IsKnownCodePage(int cp) { return tableOf(cp) != nullptr; }

char32_t CharOf(int cp, unsigned char byte) {
    const char16_t* t = tableOf(cp);
    return t ? t[byte] : byte;
}

int ByteOf(int cp, char32_t ch) {
    if (!tableOf(cp)) return ch < 256 ? static_cast<int>(ch) : -1;
    const Reverse& r = reverseOf(cp);
    auto it = r.map.find(ch);
    return it == r.map.end() ? -1 : it->second;
}

void ConvertBytesInPlace(char* buf, size_t n, int fromCp, int toCp) {
    if (fromCp == toCp) return;
    // A table's every record asks for the same pair: it is kept per thread (the cache's entries stay
    // where they are), with whether it leaves the ASCII bytes as they are, as every pair of our code
    // pages does, so that text without accents is skipped eight bytes at a time.
    thread_local int lastFrom = 0, lastTo = 0;
    thread_local const Permutation* last = nullptr;
    thread_local bool keepsAscii = false;
    if (!last || lastFrom != fromCp || lastTo != toCp) {
        last = &permutationOf(fromCp, toCp);
        lastFrom = fromCp;
        lastTo = toCp;
        keepsAscii = true;
        for (int b = 0; b < 0x80; ++b) keepsAscii = keepsAscii && (*last)[b] == b;
    }
    const Permutation& p = *last;
    size_t i = 0;
    if (keepsAscii)
        for (uint64_t word; i + 8 <= n; i += 8) {
            std::memcpy(&word, buf + i, 8);
            if ((word & 0x8080808080808080ull) == 0) continue;
            for (size_t k = i; k < i + 8; ++k)
                buf[k] = static_cast<char>(p[static_cast<unsigned char>(buf[k])]);
        }
    for (; i < n; ++i) buf[i] = static_cast<char>(p[static_cast<unsigned char>(buf[i])]);
}

std::string ConvertBytes(const std::string& text, int fromCp, int toCp) {
    std::string out = text;
    ConvertBytesInPlace(out.data(), out.size(), fromCp, toCp);
    return out;
}

std::u32string DecodeUtf8(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { out.push_back(0xFFFD); ++i; continue; }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string EncodeUtf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool IsValidUtf8(const std::string& text) {
    // Valid when decoding and encoding again gives the same bytes.
    return EncodeUtf8(DecodeUtf8(text)) == text;
}

std::string ToUtf8(const std::string& bytes, int cp) {
    std::u32string u;
    u.reserve(bytes.size());
    for (unsigned char b : bytes) u.push_back(CharOf(cp, b));
    return EncodeUtf8(u);
}

std::string FromUtf8(const std::string& utf8, int cp) {
    std::string out;
    for (char32_t c : DecodeUtf8(utf8)) {
        int b = ByteOf(cp, c);
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

namespace {

// Simple case mapping of the scripts our code pages hold (Latin-1, Latin Extended-A, Greek, Cyrillic),
// independent of the C library's locale.
char32_t upperOf(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t(1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

char32_t lowerOf(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3A9) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

}  // namespace

unsigned char UpperByte(int cp, unsigned char byte) {
    if (byte < 0x80) return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 32) : byte;
    int b = ByteOf(cp, upperOf(CharOf(cp, byte)));
    return b < 0 ? byte : static_cast<unsigned char>(b);
}

unsigned char LowerByte(int cp, unsigned char byte) {
    if (byte < 0x80) return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + 32) : byte;
    int b = ByteOf(cp, lowerOf(CharOf(cp, byte)));
    return b < 0 ? byte : static_cast<unsigned char>(b);
}

bool IsAlphaByte(int cp, unsigned char byte) {
    if (byte < 0x80) return (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
    char32_t c = CharOf(cp, byte);
    return upperOf(c) != c || lowerOf(c) != c || c == 0xDF || c == 0xAA || c == 0xBA || c == 0xB5;
}

uint8_t LanguageDriverOf(int cp) {
    switch (cp) {
        case 437: return 0x01;
        case 850: return 0x02;
        case 1252: return 0x03;
        case 852: return 0x64;
        case 866: return 0x65;
        case 1250: return 0xC8;
        case 1251: return 0xC9;
        default: return 0;
    }
}

int CodePageOfLanguageDriver(uint8_t id) {
    switch (id) {
        case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18: case 0x19:
        case 0x1B:
            return 437;
        case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A: case 0x1D:
        case 0x25: case 0x37:
            return 850;
        case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64:
            return 852;
        case 0x26: case 0x65:
            return 866;
        case 0x03: case 0x57: case 0x58: case 0x59:
            return 1252;
        case 0xC8: return 1250;
        case 0xC9: return 1251;
        default: return 0;
    }
}

char32_t FirstMissingChar(const std::string& utf8, int cp) {
    if (!IsKnownCodePage(cp)) return 0;
    for (char32_t c : DecodeUtf8(utf8))
        if (ByteOf(cp, c) < 0) return c;
    return 0;
}

}  // namespace xb::platform
