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
            if (whole()) m_all = m_used.front().bytes.data();
        }
    }

    // The n bytes (at most an object's) at offset, which the caller has checked lie inside the file,
    // valid until the next call. nullptr when the read failed.
    const uint8_t* at(uint64_t offset, size_t n) {
        if (m_all && offset + n <= m_size) return m_all + offset;
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
        if (whole()) m_all = m_used.front().bytes.data();
        return m_used.front().bytes.data() + within;
    }

    // The n bytes at offset (inside the file), valid until the next call: where they lie when the file is
    // held whole in the first piece, else read into a buffer of their own (at most a run of the walk's).
    // nullptr when the read failed.
    bool whole() const { return m_size <= m_piece; }
    const uint8_t* span(uint64_t offset, size_t n) {
        if (whole()) return at(offset, n);
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
    const uint8_t* m_all = nullptr;  // the whole file, when one piece holds it
    std::unordered_map<uint64_t, std::list<Piece>::iterator> m_where;
};

// Every tag's tree, each node visited at most once (a node reached a second time, from a second parent,
// from a second tag or through a cycle, is damage), so the walk costs what the trees hold however they are
// shaped. A sound tree has no empty leaf below a branch node (a leaf emptied by deletions leaves its
// parent), so every leaf visited holds a row of the table and no more nodes are visited than 33 a row.
//
// The trees are walked together a level at a time, each level's nodes of all tags in the order they lie
// in the file: a file held whole is looked at where it lies, a larger one read in runs of nodes close to
// one another (gaps of at most kGap, at most kRun a read). The tags' nodes lie mixed in a file whose
// tags grew together, so every byte of a level is read once for all of them, in few reads, and a node
// far from the others (in a file that is mostly a hole) costs a read of its own size.
class TreeWalk {
public:
    static constexpr uint64_t kGap = 64 << 10;
    static constexpr uint64_t kRun = 1 << 20;

    struct Tag {
        std::string name;
        TagHeader header;
        std::vector<bool> seen;  // the rows its leaves name
    };

    TreeWalk(IndexPieces& pieces, uint64_t fileSize, std::vector<Tag>& tags)
        : m_pieces(pieces), m_fileSize(fileSize), m_tags(tags),
          m_visited(static_cast<size_t>(fileSize / kMdxBlockSize) + 1, false) {}

    // "" when every leaf entry names a row once in its tag and the trees are whole.
    std::string walk() {
        std::vector<Node> level;
        for (size_t t = 0; t < m_tags.size(); ++t)
            if (m_tags[t].header.root() != 0)
                if (std::string bad = reach(m_tags[t].header.root(), t, level); !bad.empty()) return bad;
        for (int depth = 0; !level.empty(); ++depth) {
            if (depth >= kMaxTreeDepth)
                return m_tags[level.front().tag].name + "a tree deeper than " + std::to_string(kMaxTreeDepth) +
                       " levels";
            // In file order, unless the file is held whole (any order reads nothing then).
            if (!m_pieces.whole())
                std::sort(level.begin(), level.end(), [](const Node& x, const Node& y) { return x.block < y.block; });
            std::vector<Node> next;
            if (m_pieces.whole()) {
                for (const Node& node : level) {
                    const uint64_t at = uint64_t{node.block} * kMdxBlockSize;
                    if (std::string bad = visit(node, m_pieces.at(at, kMdxNodeSize), at, depth, next); !bad.empty())
                        return bad;
                }
                level.swap(next);
                continue;
            }
            for (size_t i = 0; i < level.size();) {
                // The run of nodes read together.
                const uint64_t start = uint64_t{level[i].block} * kMdxBlockSize;
                uint64_t end = start + kMdxNodeSize;
                size_t j = i + 1;
                while (j < level.size()) {
                    const uint64_t at = uint64_t{level[j].block} * kMdxBlockSize;
                    if (at > end + kGap || at + kMdxNodeSize - start > kRun) break;
                    end = std::max(end, at + kMdxNodeSize);
                    ++j;
                }
                const uint8_t* run = m_pieces.span(start, static_cast<size_t>(std::min(end, m_fileSize) - start));
                for (; i < j; ++i)
                    if (std::string bad = visit(level[i], run, start, depth, next); !bad.empty()) return bad;
            }
            level.swap(next);
        }
        return "";
    }

private:
    struct Node {
        uint32_t block;
        size_t tag;
    };

    std::string visit(const Node& node, const uint8_t* run, uint64_t start, int depth, std::vector<Node>& next) {
        Tag& tag = m_tags[node.tag];
        auto where = [&] { return tag.name + "node " + std::to_string(node.block); };
        const uint64_t at = uint64_t{node.block} * kMdxBlockSize;
        if (!run || at + kMdxNodeSize > m_fileSize) return where() + " cannot be read";
        const uint8_t* n = run + (at - start);
        // The node's shape: what the walk needs to go on. The order of a leaf's keys is left to the reads,
        // each of which checks the node it reads and has the index rebuilt when it finds it wrong.
        const uint16_t item = tag.header.itemLength();
        const int count = NodeCount(n);
        if (count > tag.header.maxKeys())
            return where() + ": node count " + std::to_string(count) + " above the maximum";
        if (8u + static_cast<size_t>(count) * item + 4 > kMdxNodeSize) return where() + ": node entries beyond the node";
        if (NodeIsLeaf(n, item)) {
            if (count == 0 && depth > 0) return where() + ": an empty leaf below a branch node";
            for (int e = 0; e < count; ++e) {
                const uint32_t record = GetU32(NodeEntry(n, item, e));
                if (record == 0) return where() + ": record number 0 in a leaf";
                if (record >= tag.seen.size())
                    return tag.name + "a key of row " + std::to_string(record) + ", past the table's end";
                if (tag.seen[record]) return tag.name + "row " + std::to_string(record) + " twice";
                tag.seen[record] = true;
            }
            return "";
        }
        for (int e = 0; e <= count; ++e) {
            const uint32_t child = e < count ? GetU32(NodeEntry(n, item, e)) : NodeTrailer(n, item);
            if (std::string bad = reach(child, node.tag, next); !bad.empty()) return bad;
        }
        return "";
    }

    // A node named by a parent (or a tag): taken for the next level, unless it lies outside the file or
    // was reached before.
    std::string reach(uint32_t block, size_t tag, std::vector<Node>& next) {
        auto where = [&] { return m_tags[tag].name + "node " + std::to_string(block); };
        if (!ValidObjectBlock(block, m_fileSize)) return where() + " outside the file";
        // A bit a block of the file: one node is reached once at most.
        if (m_visited[block]) return where() + " reached twice";
        m_visited[block] = true;
        next.push_back({block, tag});
        return "";
    }

    IndexPieces& m_pieces;
    uint64_t m_fileSize;
    std::vector<Tag>& m_tags;
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
    std::vector<TreeWalk::Tag> tags;
    for (int t = 1; t <= header.tagCount(); ++t) {
        TreeWalk::Tag tag;
        tag.name = "tag " + header.tagName(t) + ": ";
        const uint8_t* page =
            pieces.at(static_cast<uint64_t>(header.tagBlock(t)) * kMdxBlockSize, kTagHeaderCopySize);
        if (!page) return tag.name + "its header page cannot be read";
        std::copy_n(page, kTagHeaderCopySize, tag.header.bytes.begin());
        if (std::string bad = CheckTagHeader(tag.header, size); !bad.empty()) return tag.name + bad;
        tag.seen.assign(rows + 1, false);
        tags.push_back(std::move(tag));
    }
    TreeWalk walk(pieces, size, tags);
    if (std::string bad = walk.walk(); !bad.empty()) return bad;
    // Every row has its key in a tag without a FOR condition (a unique tag keeps the first of equal keys
    // only, so it is left out too).
    for (const TreeWalk::Tag& tag : tags) {
        if (tag.header.hasFor() || tag.header.unique()) continue;
        for (size_t r = 1; r <= rows; ++r)
            if (!tag.seen[r]) return tag.name + "row " + std::to_string(r) + " has no key";
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
