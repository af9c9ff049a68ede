#include "engine/index/mdx_agreement.h"

#include <vector>

#include "engine/index/mdx_format.h"
#include "engine/index/mdx_node.h"
#include "platform/file.h"

namespace xb {

namespace {

// The whole file in memory, read in large pieces: a league index is small, and on a network drive a
// few long reads cost less than a read per node.
bool readWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    platform::File f;
    if (f.open(path, platform::kModeSharedRead) != 0) return false;
    uint64_t size = 0;
    if (f.size(size) != 0 || size > (uint64_t(1) << 31)) return false;
    bytes.resize(static_cast<size_t>(size));
    constexpr size_t kPiece = 1 << 20;
    for (size_t at = 0; at < bytes.size(); at += kPiece)
        if (f.readAt(at, bytes.data() + at, std::min(kPiece, bytes.size() - at)) != 0) return false;
    return true;
}

class TagWalk {
public:
    TagWalk(const std::vector<uint8_t>& file, const TagHeader& tag, int32_t rows)
        : m_file(file), m_tag(tag), m_seen(static_cast<size_t>(rows) + 1, 0) {}

    // "" when every leaf entry names a row once and the tree is whole.
    std::string walk() {
        if (m_tag.root() == 0) return "";
        return node(m_tag.root(), 0);
    }
    const std::vector<uint8_t>& seen() const { return m_seen; }

private:
    std::string node(uint32_t block, int depth) {
        if (depth > kMaxTreeDepth) return "a tree deeper than " + std::to_string(kMaxTreeDepth) + " levels";
        if (!ValidObjectBlock(block, m_file.size())) return "node " + std::to_string(block) + " outside the file";
        const uint8_t* n = m_file.data() + static_cast<size_t>(block) * kMdxBlockSize;
        if (const std::string bad = CheckNode(n, m_tag, m_file.size()); !bad.empty())
            return "node " + std::to_string(block) + ": " + bad;
        const uint16_t item = m_tag.itemLength();
        const int count = NodeCount(n);
        if (NodeIsLeaf(n, item)) {
            for (int i = 0; i < count; ++i) {
                const uint32_t record = GetU32(NodeEntry(n, item, i));
                if (record >= m_seen.size()) return "a key of row " + std::to_string(record) + ", past the table's end";
                if (m_seen[record]++ != 0) return "row " + std::to_string(record) + " twice";
            }
            return "";
        }
        for (int i = 0; i <= count; ++i) {
            const uint32_t child = i < count ? GetU32(NodeEntry(n, item, i)) : NodeTrailer(n, item);
            if (std::string bad = node(child, depth + 1); !bad.empty()) return bad;
        }
        return "";
    }

    const std::vector<uint8_t>& m_file;
    const TagHeader& m_tag;
    std::vector<uint8_t> m_seen;
};

}  // namespace

std::string IndexDisagreement(const std::string& mdxPath, int32_t rowCount) {
    std::vector<uint8_t> file;
    if (!readWhole(mdxPath, file)) return "the index cannot be read";
    if (file.size() < kMdxMinOpenSize) return "the index is too short";
    MdxHeader header;
    std::copy(file.begin(), file.begin() + kMdxHeaderSize, header.bytes.begin());
    if (std::string bad = CheckMdxHeader(header, file.size()); !bad.empty()) return bad;
    for (int t = 1; t <= header.tagCount(); ++t) {
        const std::string name = "tag " + header.tagName(t) + ": ";
        TagHeader tag;
        const size_t at = static_cast<size_t>(header.tagBlock(t)) * kMdxBlockSize;
        std::copy(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + kTagHeaderCopySize),
                  tag.bytes.begin());
        if (std::string bad = CheckTagHeader(tag, file.size()); !bad.empty()) return name + bad;
        TagWalk walk(file, tag, std::max(rowCount, 0));
        if (std::string bad = walk.walk(); !bad.empty()) return name + bad;
        // Every row has its key in a tag without a FOR condition (a unique tag keeps the first of equal
        // keys only, so it is left out too).
        if (tag.hasFor() || tag.unique()) continue;
        for (int32_t r = 1; r <= rowCount; ++r)
            if (walk.seen()[static_cast<size_t>(r)] == 0) return name + "row " + std::to_string(r) + " has no key";
    }
    return "";
}

}  // namespace xb
