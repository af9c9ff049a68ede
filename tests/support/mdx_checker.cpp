#include "tests/support/mdx_checker.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace xbtest {

namespace {

uint32_t u32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) | (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}
uint16_t u16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
bool allZero(const std::string& b, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (b[i] != 0) return false;
    return true;
}
std::string cstr(const std::string& b, size_t at, size_t max) {
    const size_t end = b.find('\0', at);
    return b.substr(at, std::min(end == std::string::npos ? max : end - at, max));
}

// A numeric key as sign, decimal exponent and significant digits (trailing zeros dropped); digits are
// kept as nibble values so that a nibble above 9 still orders.
struct Decimal {
    bool negative = false;
    bool zero = true;
    int exponent = 0;
    std::vector<int> digits;
};

Decimal decode(const std::string& k) {
    Decimal d;
    const int count = (static_cast<uint8_t>(k[1]) >> 2) & 0x1F;
    for (int j = 0; j < std::min(count, 20); ++j) {
        const uint8_t byte = static_cast<uint8_t>(k[2 + j / 2]);
        d.digits.push_back((j % 2) ? (byte & 0x0F) : (byte >> 4));
    }
    while (!d.digits.empty() && d.digits.back() == 0) d.digits.pop_back();
    d.zero = d.digits.empty();
    d.negative = !d.zero && (static_cast<uint8_t>(k[1]) & 0x80) != 0;
    d.exponent = static_cast<uint8_t>(k[0]);
    return d;
}

int compareMagnitude(const Decimal& a, const Decimal& b) {
    if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
    const size_t n = std::max(a.digits.size(), b.digits.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = i < a.digits.size() ? a.digits[i] : 0;
        const int y = i < b.digits.size() ? b.digits[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int compareNumeric(const std::string& a, const std::string& b) {
    const Decimal x = decode(a), y = decode(b);
    const int sx = x.zero ? 0 : (x.negative ? -1 : 1);
    const int sy = y.zero ? 0 : (y.negative ? -1 : 1);
    if (sx != sy) return sx < sy ? -1 : 1;
    if (sx == 0) return 0;
    const int m = compareMagnitude(x, y);
    return sx > 0 ? m : -m;
}

double dateOf(const std::string& k) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<uint8_t>(k[static_cast<size_t>(i)]);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

struct TagCheck {
    const std::string& file;
    const MdxCheckOptions& opt;
    MdxTagReport& tag;
    std::vector<std::string>& errors;
    uint16_t item = 0, maxKeys = 0;
    std::set<uint32_t>& used;  // blocks reached by any tag
    std::map<int, std::vector<std::pair<uint32_t, int>>> levels;  // level -> (block, count) in order

    void error(const std::string& what) { errors.push_back("tag " + tag.name + ": " + what); }
    int cmp(const std::string& a, const std::string& b) const {
        return CompareTagKeys(tag.type, tag.descending, a, b);
    }
    bool validBlock(uint32_t block) const {
        return block >= 4 && block % 2 == 0 && static_cast<uint64_t>(block) * 512 + 1024 <= file.size();
    }

    // Walks the subtree at block; answers its level (0 for a leaf, 1 + its first child's level) and
    // gives its highest key, or -1 when the subtree is unusable.
    int walk(uint32_t block, int depth, std::string& highest, bool& any) {
        if (depth > 32) {
            error("tree deeper than 32 levels");
            return -1;
        }
        if (!validBlock(block)) {
            error("block " + std::to_string(block) + " outside the file");
            return -1;
        }
        if (!used.insert(block).second) {
            error("block " + std::to_string(block) + " reached twice");
            return -1;
        }
        tag.depth = std::max(tag.depth, depth);
        const std::string node = file.substr(static_cast<size_t>(block) * 512, 1024);
        const uint32_t count = u32(node, 0);
        if (count > maxKeys || 8 + count * item + 4 > 1024) {
            error("node " + std::to_string(block) + " holds " + std::to_string(count) + " keys");
            return -1;
        }
        const uint32_t trailer = u32(node, 8 + count * item);
        if (opt.freshBuild) {
            if (!allZero(node, 8 + count * item + 4, 1024)) error("node " + std::to_string(block) + " has bytes after its end");
            if (!allZero(node, 4, 8)) error("node " + std::to_string(block) + " bytes 4..7 not zero");
            for (uint32_t i = 0; i < count; ++i)
                if (!allZero(node, 8 + i * item + 4 + tag.keyLength, 8 + (i + 1) * item))
                    error("node " + std::to_string(block) + " entry padding not zero");
        }
        if (trailer == 0) {  // a leaf
            for (uint32_t i = 0; i < count; ++i) {
                MdxEntry e{node.substr(8 + i * item + 4, tag.keyLength), u32(node, 8 + i * item)};
                if (opt.maxRecord && (e.record < 1 || e.record > opt.maxRecord))
                    error("record " + std::to_string(e.record) + " out of range");
                if (!tag.entries.empty()) {
                    const int c = cmp(tag.entries.back().key, e.key);
                    if (c > 0) error("keys out of order at node " + std::to_string(block));
                    if (c == 0 && tag.unique) error("equal keys in a unique tag at node " + std::to_string(block));
                    if (c == 0 && (opt.freshBuild || opt.equalKeysInRecordOrder) &&
                        tag.entries.back().record >= e.record)
                        error("equal keys not in record order at node " + std::to_string(block));
                }
                tag.entries.push_back(e);
            }
            if (count > 0) {
                highest = tag.entries.back().key;
                any = true;
            }
            levels[0].emplace_back(block, static_cast<int>(count));
            return 0;
        }
        if (count == 0 && !opt.freshBuild) {
            // a branch node may lose every key but its rightmost child during deletions
        } else if (count == 0) {
            error("branch node " + std::to_string(block) + " without keys");
        }
        int level = -1;
        std::string floor;  // the previous separator: every key to its right is at least that
        bool hasFloor = false;
        for (uint32_t i = 0; i <= count; ++i) {
            const uint32_t child = i < count ? u32(node, 8 + i * item) : trailer;
            std::string childHigh;
            bool childAny = false;
            const size_t before = tag.entries.size();
            const int l = walk(child, depth + 1, childHigh, childAny);
            if (l < 0) return -1;
            if (i == 0) level = l + 1;
            if (hasFloor && tag.entries.size() > before && cmp(tag.entries[before].key, floor) < 0)
                error("key below the separator on its left at node " + std::to_string(block));
            if (i < count) {
                const std::string sep = node.substr(8 + i * item + 4, tag.keyLength);
                if (childAny && cmp(childHigh, sep) > 0) error("separator below its subtree at node " + std::to_string(block));
                if (opt.freshBuild && (!childAny || cmp(childHigh, sep) != 0))
                    error("separator not the highest key of its subtree at node " + std::to_string(block));
                floor = sep;
                hasFloor = true;
            }
            if (childAny) {
                highest = childHigh;
                any = true;
            }
        }
        levels[level].emplace_back(block, static_cast<int>(count));
        return level;
    }
};

}  // namespace

int CompareTagKeys(char type, bool descending, const std::string& a, const std::string& b) {
    int c = 0;
    if (type == 'C') {
        c = a.compare(b);
        // std::string compares chars; the engine compares unsigned bytes.
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
            if (x != y) {
                c = x < y ? -1 : 1;
                break;
            }
            if (i + 1 == n) c = a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
        }
    } else if (type == 'D') {
        const double x = dateOf(a), y = dateOf(b);
        c = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        c = compareNumeric(a, b);
    }
    return descending ? -c : c;
}

std::string NumericKeyText(const std::string& key) {
    const Decimal d = decode(key);
    if (d.zero) return "0";
    std::string digits;
    for (int x : d.digits) digits += static_cast<char>('0' + std::min(x, 9));
    const int point = d.exponent - 0x34;  // digits before the decimal point
    std::string text;
    if (point <= 0) {
        text = "0." + std::string(static_cast<size_t>(-point), '0') + digits;
    } else if (static_cast<size_t>(point) >= digits.size()) {
        text = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
    } else {
        text = digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
    }
    return d.negative ? "-" + text : text;
}

std::string MdxReport::text() const {
    std::string out;
    for (const std::string& e : errors) out += e + "\n";
    return out;
}

MdxReport CheckMdxFile(const std::string& path, const MdxCheckOptions& opt) {
    MdxReport report;
    auto& errors = report.errors;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.push_back("cannot open " + path);
        return report;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string file = ss.str();
    if (file.size() < 2048) {
        errors.push_back("file shorter than its header");
        return report;
    }
    if (file.size() % 512 != 0) errors.push_back("file size not a multiple of 512");
    if (file[0] != 2) errors.push_back("version not 2");
    if (u16(file, 20) != 2 || u16(file, 22) != 1024) errors.push_back("block size or node length wrong");
    if (file[24] != 1 || file[25] != 48 || file[26] != 32) errors.push_back("production flag or slot layout wrong");
    if (u32(file, 32) != file.size() / 512)
        errors.push_back("block counter " + std::to_string(u32(file, 32)) + " is not the file's block count " +
                         std::to_string(file.size() / 512));
    if (file.compare(44, 3, file, 1, 3) != 0) errors.push_back("update date not the creation date");
    const int count = static_cast<uint8_t>(file[28]);
    if (count > 47) {
        errors.push_back("more than 47 tags");
        return report;
    }
    if (!allZero(file, 512, 544)) errors.push_back("slot 0 in use");
    for (int k = count + 1; k < 48; ++k)
        if (!allZero(file, 512 + 32 * static_cast<size_t>(k), 544 + 32 * static_cast<size_t>(k)))
            errors.push_back("unused slot " + std::to_string(k) + " not zero");

    // The threads: a search tree over the 11 name bytes, slot 1 its root, greater or equal to the right.
    std::vector<int> left(48), right(48), parent(48);
    for (int k = 2; k <= count; ++k) {
        int cur = 1;
        for (;;) {
            const bool ge = file.compare(512 + 32 * k + 4, 11, file, 512 + 32 * cur + 4, 11) >= 0;
            int& link = ge ? right[static_cast<size_t>(cur)] : left[static_cast<size_t>(cur)];
            if (link == 0) {
                link = k;
                parent[static_cast<size_t>(k)] = cur;
                break;
            }
            cur = link;
        }
    }
    std::set<std::string> names;
    std::set<uint32_t> used;
    for (int n = 1; n <= count; ++n) {
        const size_t s = 512 + 32 * static_cast<size_t>(n);
        MdxTagReport tag;
        tag.name = cstr(file, s + 4, 11);
        if (tag.name.empty() || file.find('\0', s + 4) > s + 14) errors.push_back("slot " + std::to_string(n) + " name not terminated");
        if (!names.insert(tag.name).second) errors.push_back("tag name " + tag.name + " twice");
        if (file[s + 19] != 2) errors.push_back("slot " + std::to_string(n) + " byte 19 not 2");
        if (static_cast<uint8_t>(file[s + 16]) != left[static_cast<size_t>(n)] ||
            static_cast<uint8_t>(file[s + 17]) != right[static_cast<size_t>(n)] ||
            static_cast<uint8_t>(file[s + 18]) != parent[static_cast<size_t>(n)])
            errors.push_back("slot " + std::to_string(n) + " threads wrong");
        const uint32_t page = u32(file, s);
        if (page < 4 || page % 2 != 0 || static_cast<uint64_t>(page) * 512 + 1024 > file.size()) {
            errors.push_back("tag " + tag.name + " header page outside the file");
            continue;
        }
        used.insert(page);
        const std::string h = file.substr(static_cast<size_t>(page) * 512, 1024);
        tag.type = h[9];
        tag.root = u32(h, 0);
        tag.keyLength = u16(h, 12);
        tag.descending = (h[8] & 0x08) != 0;
        tag.unique = (h[8] & 0x40) != 0;
        tag.keyExpr = cstr(h, 24, 221);
        tag.forExpr = cstr(h, 762, 221);
        tag.forSatisfied = h[246] != 0;
        if (file[s + 20] != tag.type) errors.push_back("tag " + tag.name + " key type differs from its slot");
        if ((h[8] & ~0x58) != 0 || (h[8] & 0x10) == 0) errors.push_back("tag " + tag.name + " flags wrong");
        if (tag.unique != (h[23] == 1)) errors.push_back("tag " + tag.name + " unique byte disagrees with the flags");
        const bool typeOk = tag.type == 'C' || ((tag.type == 'N' || tag.type == 'F') && tag.keyLength == 12) ||
                            (tag.type == 'D' && tag.keyLength == 8);
        if (!typeOk || tag.keyLength < 1 || tag.keyLength > 100) {
            errors.push_back("tag " + tag.name + " key type or length wrong");
            continue;
        }
        const uint16_t item = static_cast<uint16_t>(4 + (tag.keyLength + 3) / 4 * 4);
        if (u16(h, 18) != item || u16(h, 14) != 1012 / item) errors.push_back("tag " + tag.name + " item length or keys per node wrong");
        if (u16(h, 16) != (tag.type == 'D' ? 1 : 0)) errors.push_back("tag " + tag.name + " date flag wrong");
        if ((h[245] == 1) != !tag.forExpr.empty()) errors.push_back("tag " + tag.name + " FOR flag wrong");
        if (tag.forExpr.empty() && tag.forSatisfied) errors.push_back("tag " + tag.name + " FOR-satisfied without FOR");
        if (h.find('\0', 24) > 244 || h.find('\0', 762) > 982) errors.push_back("tag " + tag.name + " texts not terminated");
        if (!allZero(h, 4, 8) || !allZero(h, 10, 12) || !allZero(h, 20, 23) || !allZero(h, 247, 762) ||
            !allZero(h, 983, 1024))
            errors.push_back("tag " + tag.name + " reserved bytes not zero");

        TagCheck check{file, opt, tag, errors, item, static_cast<uint16_t>(1012 / item), used, {}};
        std::string high;
        bool any = false;
        check.walk(tag.root, 1, high, any);
        if (opt.freshBuild) {
            for (const auto& [level, nodes] : check.levels) {
                const int full = static_cast<int>(1012 / item);
                for (size_t i = 0; i + 1 < nodes.size(); ++i)
                    if (nodes[i].second != full)
                        errors.push_back("tag " + tag.name + " level " + std::to_string(level) + " node " +
                                         std::to_string(nodes[i].first) + " not full");
            }
        }
        if (tag.forSatisfied == false && !tag.forExpr.empty() && !tag.entries.empty())
            errors.push_back("tag " + tag.name + " holds keys but its FOR-satisfied byte is 0");
        report.tags.push_back(std::move(tag));
    }
    return report;
}

std::map<std::string, std::vector<std::pair<std::string, uint32_t>>> SortedTagEntries(const std::string& path) {
    std::map<std::string, std::vector<std::pair<std::string, uint32_t>>> out;
    for (const auto& t : CheckMdxFile(path, {false, 0}).tags) {
        auto& list = out[t.name];
        for (const auto& e : t.entries) list.emplace_back(e.key, e.record);
        std::sort(list.begin(), list.end());
    }
    return out;
}

}  // namespace xbtest
