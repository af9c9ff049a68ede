#include "engine/index/mdx_agreement.h"

#include <algorithm>
#include <array>
#include <list>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/core/engine.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_node.h"
#include "platform/file.h"

namespace xb {

namespace {

// The objects of the index file, read in pieces and kept within a bound (IndexPieceSize). A league index
// is small: up to 8 MiB it comes whole in one read (on a network drive a long read costs less than a read
// per node). A larger file, or one whose size is mostly a hole, is read in 64 KiB pieces of which the
// last kKeptPieces used stay: only the pieces the walk reaches are read, and the memory taken stays the
// same whatever the file's size.
class IndexPieces {
public:
    static constexpr size_t kKeptPieces = 128;

    IndexPieces(platform::File& file, uint64_t size, std::vector<uint8_t>* first = nullptr)
        : m_file(file), m_size(size), m_piece(IndexPieceSize(size)) {
        // A first piece the caller read already is taken as it is when it is the whole first piece.
        if (first && first->size() == std::min<uint64_t>(m_piece, m_size)) {
            m_used.push_front(Piece{0, std::move(*first)});
            m_where[0] = m_used.begin();
        }
    }

    // The n bytes (at most an object's) at offset, which the caller has checked lie inside the file,
    // valid until the next call. nullptr when the read failed.
    const uint8_t* at(uint64_t offset, size_t n) {
        const uint64_t index = offset / m_piece;
        const size_t within = static_cast<size_t>(offset % m_piece);
        if (within + n > m_piece) {
            // An object at an odd block across the end of a piece (sound files keep objects at even
            // blocks, which never do): read by itself.
            if (n > m_scratch.size() || m_file.readAt(offset, m_scratch.data(), n) != 0) return nullptr;
            return m_scratch.data();
        }
        auto found = m_where.find(index);
        if (found != m_where.end()) {
            m_used.splice(m_used.begin(), m_used, found->second);
            return found->second->bytes.data() + within;
        }
        if (m_used.size() >= kKeptPieces) {
            m_where.erase(m_used.back().index);
            m_used.pop_back();
        }
        const uint64_t start = index * m_piece;
        Piece piece{index,
                    std::vector<uint8_t>(static_cast<size_t>(std::min<uint64_t>(m_piece, m_size - start)))};
        if (piece.bytes.size() < within + n ||
            m_file.readAt(start, piece.bytes.data(), piece.bytes.size()) != 0)
            return nullptr;
        m_used.push_front(std::move(piece));
        m_where[index] = m_used.begin();
        return m_used.front().bytes.data() + within;
    }

    // The n bytes at offset (inside the file), valid until the next call: where they lie when the file is
    // held whole in the first piece, else read into a buffer of their own (at most a run of the walk's).
    // nullptr when the read failed.
    const uint8_t* span(uint64_t offset, size_t n) {
        if (m_size <= m_piece) return at(offset, n);
        m_run.resize(n);
        if (m_file.readAt(offset, m_run.data(), n) != 0) return nullptr;
        return m_run.data();
    }

private:
    struct Piece {
        uint64_t index;
        std::vector<uint8_t> bytes;
    };
    platform::File& m_file;
    uint64_t m_size;
    size_t m_piece;
    std::array<uint8_t, std::max(kMdxHeaderSize, kMdxNodeSize)> m_scratch{};
    std::list<Piece> m_used;  // most recently used first
    std::vector<uint8_t> m_run;
    std::unordered_map<uint64_t, std::list<Piece>::iterator> m_where;
};

// One tag's tree, each node visited at most once (a node reached a second time, from a second parent or
// through a cycle, is damage), so the walk costs what the tree holds however it is shaped. A sound tree
// has no empty leaf below a branch node (a leaf emptied by deletions leaves its parent), so every leaf
// visited holds a row of the table and no more nodes are visited than 33 a row.
//
// The tree is walked a level at a time, each level's nodes in the order they lie in the file: a file
// held whole is looked at where it lies, a larger one read in runs of nodes close to one another (gaps of
// at most kGap, at most kRun a read), so that every byte a level needs is read once, in few reads, and a
// node far from the others (in a file that is mostly a hole) costs a read of its own size.
class TagWalk {
public:
    static constexpr uint64_t kGap = 64 << 10;
    static constexpr uint64_t kRun = 1 << 20;

    TagWalk(IndexPieces& pieces, uint64_t fileSize, const TagHeader& tag, std::vector<bool>& seen)
        : m_pieces(pieces), m_fileSize(fileSize), m_tag(tag), m_seen(seen),
          m_visited(static_cast<size_t>(fileSize / kMdxBlockSize) + 1, false) {}

    // "" when every leaf entry names a row once and the tree is whole.
    std::string walk() {
        if (m_tag.root() == 0) return "";
        std::vector<uint32_t> level;
        if (std::string bad = reach(m_tag.root(), level); !bad.empty()) return bad;
        const uint16_t item = m_tag.itemLength();
        for (int depth = 0; !level.empty(); ++depth) {
            if (depth >= kMaxTreeDepth) return "a tree deeper than " + std::to_string(kMaxTreeDepth) + " levels";
            std::sort(level.begin(), level.end());
            std::vector<uint32_t> next;
            for (size_t i = 0; i < level.size();) {
                // The run of nodes read together.
                const uint64_t start = uint64_t{level[i]} * kMdxBlockSize;
                uint64_t end = start + kMdxNodeSize;
                size_t j = i + 1;
                while (j < level.size()) {
                    const uint64_t at = uint64_t{level[j]} * kMdxBlockSize;
                    if (at > end + kGap || at + kMdxNodeSize - start > kRun) break;
                    end = std::max(end, at + kMdxNodeSize);
                    ++j;
                }
                const uint8_t* run = m_pieces.span(start, static_cast<size_t>(std::min(end, m_fileSize) - start));
                for (; i < j; ++i) {
                    const uint32_t block = level[i];
                    const uint64_t at = uint64_t{block} * kMdxBlockSize;
                    if (!run || at + kMdxNodeSize > m_fileSize)
                        return "node " + std::to_string(block) + " cannot be read";
                    const uint8_t* n = run + (at - start);
                    if (const std::string bad = CheckNode(n, m_tag, m_fileSize); !bad.empty())
                        return "node " + std::to_string(block) + ": " + bad;
                    const int count = NodeCount(n);
                    if (NodeIsLeaf(n, item)) {
                        if (count == 0 && depth > 0)
                            return "node " + std::to_string(block) + ": an empty leaf below a branch node";
                        for (int e = 0; e < count; ++e) {
                            const uint32_t record = GetU32(NodeEntry(n, item, e));
                            if (record >= m_seen.size())
                                return "a key of row " + std::to_string(record) + ", past the table's end";
                            if (m_seen[record]) return "row " + std::to_string(record) + " twice";
                            m_seen[record] = true;
                        }
                        continue;
                    }
                    for (int e = 0; e <= count; ++e) {
                        const uint32_t child = e < count ? GetU32(NodeEntry(n, item, e)) : NodeTrailer(n, item);
                        if (std::string bad = reach(child, next); !bad.empty()) return bad;
                    }
                }
            }
            level.swap(next);
        }
        return "";
    }

private:
    // A node named by a parent (or the tag): taken for the next level, unless it lies outside the file or
    // was reached before.
    std::string reach(uint32_t block, std::vector<uint32_t>& next) {
        if (!ValidObjectBlock(block, m_fileSize)) return "node " + std::to_string(block) + " outside the file";
        // A bit a block of the file: one node is reached once at most.
        if (m_visited[block]) return "node " + std::to_string(block) + " reached twice";
        m_visited[block] = true;
        next.push_back(block);
        return "";
    }

    IndexPieces& m_pieces;
    uint64_t m_fileSize;
    const TagHeader& m_tag;
    std::vector<bool>& m_seen;
    std::vector<bool> m_visited;
};

}  // namespace

namespace {

std::string disagreement(IndexPieces& pieces, uint64_t size, int32_t rowCount) {
    if (size < kMdxMinOpenSize) return "the index is too short";
    MdxHeader header;
    const uint8_t* head = pieces.at(0, kMdxHeaderSize);
    if (!head) return "the index cannot be read";
    std::copy_n(head, kMdxHeaderSize, header.bytes.begin());
    if (std::string bad = CheckMdxHeader(header, size); !bad.empty()) return bad;
    const size_t rows = static_cast<size_t>(std::max(rowCount, 0));
    std::vector<bool> seen;
    for (int t = 1; t <= header.tagCount(); ++t) {
        const std::string name = "tag " + header.tagName(t) + ": ";
        TagHeader tag;
        const uint8_t* page =
            pieces.at(static_cast<uint64_t>(header.tagBlock(t)) * kMdxBlockSize, kTagHeaderCopySize);
        if (!page) return name + "its header page cannot be read";
        std::copy_n(page, kTagHeaderCopySize, tag.bytes.begin());
        if (std::string bad = CheckTagHeader(tag, size); !bad.empty()) return name + bad;
        seen.assign(rows + 1, false);
        TagWalk walk(pieces, size, tag, seen);
        if (std::string bad = walk.walk(); !bad.empty()) return name + bad;
        // Every row has its key in a tag without a FOR condition (a unique tag keeps the first of equal
        // keys only, so it is left out too).
        if (tag.hasFor() || tag.unique()) continue;
        for (size_t r = 1; r <= rows; ++r)
            if (!seen[r]) return name + "row " + std::to_string(r) + " has no key";
    }
    return "";
}

struct CheckAtOpenState final : UnitState {
    int active = 0;
    std::vector<IndexOutOfStepFound> found;
};

CheckAtOpenState& checkState() {
    return Engine::current().unit<CheckAtOpenState>();
}

}  // namespace

std::string IndexDisagreement(const std::string& mdxPath, int32_t rowCount) {
    platform::File file;
    uint64_t size = 0;
    if (file.open(mdxPath, platform::kModeSharedRead) != 0 || file.size(size) != 0)
        return "the index cannot be read";
    IndexPieces pieces(file, size);
    return disagreement(pieces, size, rowCount);
}

std::string IndexDisagreement(platform::File& file, uint64_t fileSize, std::vector<uint8_t>&& first,
                              int32_t rowCount) {
    IndexPieces pieces(file, fileSize, &first);
    return disagreement(pieces, fileSize, rowCount);
}

CheckIndexesAsOpened::CheckIndexesAsOpened() {
    CheckAtOpenState& s = checkState();
    if (s.active++ == 0) s.found.clear();
}

CheckIndexesAsOpened::~CheckIndexesAsOpened() {
    --checkState().active;
}

const std::vector<IndexOutOfStepFound>& CheckIndexesAsOpened::found() const {
    return checkState().found;
}

bool IndexCheckAtOpen() {
    const CheckAtOpenState* s = Engine::current().unitIfAny<CheckAtOpenState>();
    return s && s->active > 0;
}

void KeepIndexFinding(const std::string& indexPath, const std::string& reason) {
    checkState().found.push_back({indexPath, reason});
}

}  // namespace xb
