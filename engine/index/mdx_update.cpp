#include "engine/index/mdx_update.h"

#include "engine/index/mdx_search.h"

#include <charconv>
#include <cstring>
#include <new>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/text_support.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_record.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_node.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"

namespace xb {

namespace {

using Node = std::array<uint8_t, kMdxNodeSize>;
using Key = std::array<uint8_t, kMaxKeyLength>;

// One level of a descent: the node, its block and the entry followed (count = the rightmost child; in
// the leaf the entry reached).
struct Level {
    uint32_t block = 0;
    Node node{};
    int pos = 0;
};

// Reads and changes one tag's tree. Every node is read from the file (another station may have changed
// it since this station's copies were taken) and checked before it is trusted; every change is written
// through SeekAndWrite, which keeps the tag's navigation copies current.
class TagEditor {
public:
    TagEditor(MdxArea& area, MdxTag& tag, const char* routine)
        : m_area(area),
          m_tag(tag),
          m_routine(routine),
          m_item(tag.header.itemLength()),
          m_keyLength(tag.header.keyLength()),
          m_maxKeys(tag.header.maxKeys()),
          m_order(tag.header.order()) {}

    // Descends from the root to the leaf where key belongs: at each level the first entry whose key is
    // not below key, or the rightmost child (the slot after the last entry in the leaf).
    bool descend(const uint8_t* key, bool pastEqualKeys = false) {
        m_path.clear();
        uint32_t block = m_tag.header.root();
        for (;;) {
            if (!push(block)) return false;
            Level& l = m_path.back();
            l.pos = pastEqualKeys ? upperBound(l.node, key) : lowerBound(l.node, key);
            if (NodeIsLeaf(l.node.data(), m_item)) return true;
            block = child(l.node, l.pos);
        }
    }

    // Puts the leaf level where (key, record) belongs: after the equal keys of lower record numbers and
    // before those of higher ones, the order a rebuild gives them.
    bool descendForInsert(const uint8_t* key, uint32_t record) {
        // Most inserts are appends, whose record number is the highest: they go after the last equal key.
        if (!descend(key, true)) return false;
        Level& leaf = m_path.back();
        while (leaf.pos > 0) {
            const uint8_t* e = NodeEntry(leaf.node.data(), m_item, leaf.pos - 1);
            if (m_order.compare(e + 4, key) != 0 || GetU32(e) < record) return true;
            --leaf.pos;
        }
        // Equal keys of higher records may begin in an earlier leaf: walk forward from the first equal key.
        if (!descend(key)) return false;
        for (;;) {
            Level& l = m_path.back();
            if (l.pos >= NodeCount(l.node.data())) {
                const int r = nextLeaf();
                if (r <= 0) return r == 0;
                continue;
            }
            const uint8_t* e = NodeEntry(l.node.data(), m_item, l.pos);
            if (m_order.compare(e + 4, key) != 0 || GetU32(e) > record) return true;
            ++l.pos;
        }
    }

    // Moves the leaf level to the first entry of the next leaf: 1 moved, 0 there is none, -1 failed.
    int nextLeaf() {
        int k = static_cast<int>(m_path.size()) - 2;
        while (k >= 0 && m_path[k].pos >= NodeCount(m_path[k].node.data())) --k;
        if (k < 0) return 0;
        ++m_path[k].pos;
        m_path.resize(static_cast<size_t>(k) + 1);
        uint32_t block = child(m_path[k].node, m_path[k].pos);
        for (;;) {
            if (!push(block)) return -1;
            Level& l = m_path.back();
            l.pos = 0;
            if (NodeIsLeaf(l.node.data(), m_item)) return 1;
            block = child(l.node, 0);
        }
    }

    // Puts the leaf level on the entry (key, target), or with anyRecord on the first entry holding key.
    // 1 found, 0 not there, -1 failed.
    int seek(const uint8_t* key, uint32_t target, bool anyRecord, bool& keySeen) {
        keySeen = false;
        if (!descend(key)) return -1;
        for (;;) {
            Level& leaf = m_path.back();
            if (leaf.pos >= NodeCount(leaf.node.data())) {
                const int r = nextLeaf();
                if (r <= 0) return r;
                continue;
            }
            const uint8_t* e = NodeEntry(leaf.node.data(), m_item, leaf.pos);
            if (m_order.compare(e + 4, key) != 0) return 0;
            keySeen = true;
            if (anyRecord || GetU32(e) == target) return 1;
            ++leaf.pos;
        }
    }

    // Puts the leaf level on (key, target) when it is the last of the equal keys, as the newest record's
    // key is in a tag that files equal keys by record number: the leaf is reached in one descent, where
    // the walk of seek would cross every equal key of the records before it. False when not found there
    // (the caller seeks then); throws nothing but what push does.
    bool seekLastEqual(const uint8_t* key, uint32_t target, bool& failed) {
        failed = false;
        if (!descend(key, true)) {
            failed = true;
            return false;
        }
        Level& leaf = m_path.back();
        if (leaf.pos == 0) return false;
        const uint8_t* e = NodeEntry(leaf.node.data(), m_item, leaf.pos - 1);
        if (m_order.compare(e + 4, key) != 0 || GetU32(e) != target) return false;
        --leaf.pos;
        return true;
    }

    // True (in exists) when the tag already holds key; the path is left where descend put it.
    bool holdsKey(const uint8_t* key, bool& exists) {
        exists = false;
        const Level& leaf = m_path.back();
        const int count = NodeCount(leaf.node.data());
        if (leaf.pos < count) {
            exists = m_order.compare(NodeEntry(leaf.node.data(), m_item, leaf.pos) + 4, key) == 0;
            return true;
        }
        // Past the leaf's last key: an equal key can only open the next leaf.
        const std::vector<Level> saved = m_path;
        const int r = nextLeaf();
        if (r < 0) return false;
        if (r == 1) {
            const Level& next = m_path.back();
            exists = NodeCount(next.node.data()) > 0 &&
                     m_order.compare(NodeEntry(next.node.data(), m_item, 0) + 4, key) == 0;
        }
        m_path = saved;
        return true;
    }

    // Inserts (record, key) at the leaf position found by descend, splitting full nodes upwards and
    // growing a new root when the old one splits.
    bool insert(uint32_t record, const uint8_t* key) {
        const int li = static_cast<int>(m_path.size()) - 1;
        Level& leaf = m_path[static_cast<size_t>(li)];
        if (NodeCount(leaf.node.data()) < m_maxKeys) {
            insertEntry(leaf.node, leaf.pos, record, key);
            return write(leaf.block, leaf.node);
        }
        // The leaf splits: the old node keeps count - count div 2 entries, the new one takes the rest, and
        // the new entry goes into the half where it belongs.
        Node right{};
        const int keep = split(leaf.node, right, false);
        if (leaf.pos >= keep)
            insertEntry(right, leaf.pos - keep, record, key);
        else
            insertEntry(leaf.node, leaf.pos, record, key);
        uint32_t newBlock = 0;
        // The new node goes first: until its parent points at it, a failure leaves the tree as it was.
        if (!allocate(newBlock) || !write(newBlock, right) || !write(leaf.block, leaf.node)) return false;
        Key lowHigh{}, highHigh{};
        lastKey(leaf.node, lowHigh.data());
        lastKey(right, highHigh.data());
        uint32_t oldBlock = leaf.block;

        for (int i = li - 1; i >= 0; --i) {
            Level& p = m_path[static_cast<size_t>(i)];
            if (NodeCount(p.node.data()) < m_maxKeys) {
                childSplit(p.node, p.pos, oldBlock, lowHigh.data(), newBlock, highHigh.data());
                return write(p.block, p.node);
            }
            // A full branch node splits; the old half's last entry gives up its key and becomes its
            // rightmost child. The child's split then goes into the half that holds the child.
            Node upper{};
            const int keepP = split(p.node, upper, true);
            if (p.pos <= keepP - 1)
                childSplit(p.node, p.pos, oldBlock, lowHigh.data(), newBlock, highHigh.data());
            else
                childSplit(upper, p.pos - keepP, oldBlock, lowHigh.data(), newBlock, highHigh.data());
            uint32_t upperBlock = 0;
            if (!allocate(upperBlock) || !write(upperBlock, upper) || !write(p.block, p.node)) return false;
            // Each half's highest key is the last key of its rightmost leaf.
            if (!subtreeHigh(p.node, lowHigh.data()) || !subtreeHigh(upper, highHigh.data())) return false;
            oldBlock = p.block;
            newBlock = upperBlock;
        }
        // The root split: a new root with the old root as its one keyed child and the new node as its
        // rightmost child.
        Node root{};
        SetNodeCount(root.data(), 0);
        insertEntry(root, 0, oldBlock, lowHigh.data());
        PutU32(NodeEntry(root.data(), m_item, 1), newBlock);
        uint32_t rootBlock = 0;
        if (!allocate(rootBlock) || !write(rootBlock, root)) return false;
        m_tag.header.setRoot(rootBlock);
        m_tag.headerChanged = true;
        return true;
    }

    // Removes the entry the leaf level stands on (after seek found it).
    bool erase() {
        const int li = static_cast<int>(m_path.size()) - 1;
        Level& leaf = m_path[static_cast<size_t>(li)];
        const int count = NodeCount(leaf.node.data());
        if (count == 1) {
            leaf.node.fill(0);
            if (!write(leaf.block, leaf.node)) return false;
            if (li == 0) {
                emptied();
                return true;
            }
            // The emptied leaf stays in the file, zeroed, and is never visited again.
            return removeChild(li - 1);
        }
        const bool wasLast = leaf.pos == count - 1;
        removeEntry(leaf.node, leaf.pos);
        if (!write(leaf.block, leaf.node)) return false;
        if (!wasLast || li == 0) return true;
        Key high{};
        lastKey(leaf.node, high.data());
        return repair(li, high.data());
    }

    const std::vector<Level>& path() const { return m_path; }

    // The leaf entry the path stands on becomes the tag's current entry, its path the tag's path.
    void positionTag() {
        const Level& leaf = m_path.back();
        m_tag.path.clear();
        for (const Level& l : m_path) m_tag.path.push_back(MdxPathLevel{l.block, l.node});
        m_tag.node = leaf.node;
        m_tag.nodeBlock = leaf.block;
        m_tag.position = leaf.pos;
        m_tag.currentKey.fill(0);
        std::memcpy(m_tag.currentKey.data(), NodeEntry(leaf.node.data(), m_item, leaf.pos) + 4, m_keyLength);
        m_tag.bof = m_tag.eof = false;
    }

private:
    uint32_t child(const Node& n, int pos) const {
        return pos < NodeCount(n.data()) ? GetU32(NodeEntry(n.data(), m_item, pos))
                                         : NodeTrailer(n.data(), m_item);
    }

    int lowerBound(const Node& n, const uint8_t* key) const {
        int lo = 0, hi = NodeCount(n.data());
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (m_order.compare(NodeEntry(n.data(), m_item, mid) + 4, key) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    int upperBound(const Node& n, const uint8_t* key) const {
        int lo = 0, hi = NodeCount(n.data());
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (m_order.compare(NodeEntry(n.data(), m_item, mid) + 4, key) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    void lastKey(const Node& n, uint8_t* out) const {
        std::memcpy(out, NodeEntry(n.data(), m_item, NodeCount(n.data()) - 1) + 4, m_keyLength);
    }

    bool corrupted(const std::string& why) {
        SetEngineError(222, "Index file corrupted: " + why + m_tag.tagText() + " [" + m_routine + "]");
        return false;
    }

    // Reads and checks the node at block onto the path.
    bool push(uint32_t block) {
        if (m_path.size() >= static_cast<size_t>(kMaxTreeDepth))
            return corrupted("tree deeper than 32 levels");
        m_path.emplace_back();
        Level& l = m_path.back();
        l.block = block;
        return read(block, l.node);
    }

    bool read(uint32_t block, Node& node) { return ReadNode(m_area, m_tag, block, node.data(), m_routine); }

    bool write(uint32_t block, Node& node) { return SeekAndWrite(m_area, m_tag, block, node.data()); }

    // A new node's block: the end of the file. Nothing is ever reused.
    bool allocate(uint32_t& block) {
        uint64_t size = 0;
        if (const int rc = IndexFileSize(m_area, size); rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc),
                           "Error writing index file: " + m_tag.tagText() + " [" + m_routine + "]");
            return false;
        }
        const uint64_t b = NextObjectOffset(size) / kMdxBlockSize;
        if (b + 2 > UINT32_MAX) return corrupted("file too large");
        block = static_cast<uint32_t>(b);
        m_area.header.setBlockCounter(block + 2);
        m_area.header.changed = true;
        return true;
    }

    // Clears every byte after the node's last entry and its trailing u32.
    void clearTail(Node& n) const {
        const size_t end = 8 + static_cast<size_t>(NodeCount(n.data())) * m_item + 4;
        std::memset(n.data() + end, 0, kMdxNodeSize - end);
    }

    void setEntry(Node& n, int i, uint32_t pointer, const uint8_t* key) const {
        uint8_t* e = NodeEntry(n.data(), m_item, i);
        PutU32(e, pointer);
        std::memcpy(e + 4, key, m_keyLength);
        std::memset(e + 4 + m_keyLength, 0, m_item - 4 - m_keyLength);
    }

    // Entries from i and the trailing u32 move up one item; the caller makes sure the node has room.
    void insertEntry(Node& n, int i, uint32_t pointer, const uint8_t* key) const {
        const int count = NodeCount(n.data());
        std::memmove(NodeEntry(n.data(), m_item, i + 1), NodeEntry(n.data(), m_item, i),
                     static_cast<size_t>(count - i) * m_item + 4);
        setEntry(n, i, pointer, key);
        SetNodeCount(n.data(), static_cast<uint16_t>(count + 1));
    }

    void removeEntry(Node& n, int i) const {
        const int count = NodeCount(n.data());
        std::memmove(NodeEntry(n.data(), m_item, i), NodeEntry(n.data(), m_item, i + 1),
                     static_cast<size_t>(count - i - 1) * m_item + 4);
        SetNodeCount(n.data(), static_cast<uint16_t>(count - 1));
        clearTail(n);
    }

    // Splits a full node: the upper count div 2 entries and the trailing u32 go to upper, the node keeps
    // the rest. In a branch node the kept half's last entry then gives up its key: its pointer becomes
    // the rightmost child. Answers the number of entries kept before that.
    int split(Node& n, Node& upper, bool branch) const {
        const int count = NodeCount(n.data());
        const int half = count / 2;
        const int keep = count - half;
        upper.fill(0);
        std::memcpy(NodeEntry(upper.data(), m_item, 0), NodeEntry(n.data(), m_item, keep),
                    static_cast<size_t>(half) * m_item + 4);
        SetNodeCount(upper.data(), static_cast<uint16_t>(half));
        if (branch) {
            SetNodeCount(n.data(), static_cast<uint16_t>(keep - 1));
        } else {
            SetNodeCount(n.data(), static_cast<uint16_t>(keep));
            PutU32(NodeEntry(n.data(), m_item, keep), 0);
        }
        clearTail(n);
        return keep;
    }

    // The child at pos of a branch node split into oldBlock (highest key low) and newBlock (highest key
    // high): the slot at pos now leads to the new node, and an entry for the old node goes before it.
    void childSplit(Node& n, int pos, uint32_t oldBlock, const uint8_t* low, uint32_t newBlock,
                    const uint8_t* high) const {
        const int count = NodeCount(n.data());
        if (pos < count) {
            uint8_t* e = NodeEntry(n.data(), m_item, pos);
            PutU32(e, newBlock);
            std::memcpy(e + 4, high, m_keyLength);
        } else {
            PutU32(NodeEntry(n.data(), m_item, count), newBlock);
        }
        insertEntry(n, pos, oldBlock, low);
    }

    // The highest key below a node: the last key of its rightmost leaf.
    bool subtreeHigh(const Node& n, uint8_t* out) {
        Node cur = n;
        for (int depth = 0;; ++depth) {
            if (NodeIsLeaf(cur.data(), m_item)) {
                if (NodeCount(cur.data()) == 0) return corrupted("empty leaf below a branch node");
                lastKey(cur, out);
                return true;
            }
            if (depth >= kMaxTreeDepth) return corrupted("tree deeper than 32 levels");
            const uint32_t next = NodeTrailer(cur.data(), m_item);
            if (!read(next, cur)) return false;
        }
    }

    // The tag holds no key any more.
    void emptied() {
        if (m_tag.header.forSatisfied()) {
            m_tag.header.setForSatisfied(false);
            m_tag.headerChanged = true;
        }
    }

    // Removes the pointer to the emptied child from the branch node at level i.
    bool removeChild(int i) {
        Level& n = m_path[static_cast<size_t>(i)];
        const int count = NodeCount(n.node.data());
        Key high{};
        bool highChanged = false;
        if (n.pos < count) {
            removeEntry(n.node, n.pos);
        } else if (count == 0) {
            // The node's only child is gone: the node is emptied in turn.
            n.node.fill(0);
            if (!write(n.block, n.node)) return false;
            if (i == 0) {
                emptied();  // the root is now an empty leaf
                return true;
            }
            return removeChild(i - 1);
        } else {
            // The rightmost child went: the last keyed entry's child takes its place and its key, the
            // highest of that child, is the node's new highest key.
            std::memcpy(high.data(), NodeEntry(n.node.data(), m_item, count - 1) + 4, m_keyLength);
            SetNodeCount(n.node.data(), static_cast<uint16_t>(count - 1));
            clearTail(n.node);
            highChanged = true;
        }
        if (i == 0 && NodeCount(n.node.data()) == 0) {
            // A root with one child: the child becomes the root and the tree loses a level (more than one
            // when that child is itself a branch node without keys).
            uint32_t root = NodeTrailer(n.node.data(), m_item);
            Node cur{};
            for (int depth = 0;; ++depth) {
                if (depth >= kMaxTreeDepth) return corrupted("tree deeper than 32 levels");
                if (!read(root, cur)) return false;
                if (NodeIsLeaf(cur.data(), m_item) || NodeCount(cur.data()) > 0) break;
                root = NodeTrailer(cur.data(), m_item);
            }
            m_tag.header.setRoot(root);
            m_tag.headerChanged = true;
            return true;
        }
        if (!write(n.block, n.node)) return false;
        if (highChanged && i > 0) return repair(i, high.data());
        return true;
    }

    // The node at level i has a new highest key: the separators above it follow, up through every level
    // where the changed node is the rightmost child.
    bool repair(int i, const uint8_t* high) {
        for (int k = i - 1; k >= 0; --k) {
            Level& p = m_path[static_cast<size_t>(k)];
            if (p.pos < NodeCount(p.node.data())) {
                std::memcpy(NodeEntry(p.node.data(), m_item, p.pos) + 4, high, m_keyLength);
                return write(p.block, p.node);
            }
        }
        return true;
    }

    MdxArea& m_area;
    MdxTag& m_tag;
    std::string m_routine;
    uint16_t m_item;
    uint16_t m_keyLength;
    uint16_t m_maxKeys;
    KeyOrder m_order;
    std::vector<Level> m_path;
};

bool takeAllocFault(const char* routine) {
    int code = 0;
    if (!platform::TakeFault(platform::FaultOp::Alloc, code)) return false;
    SetEngineError(217, std::string(" [") + routine + "]");
    return true;
}

void reportNoMemory(const char* routine) {
    SetEngineError(217, std::string(" [") + routine + "]");
}

// Headers another station rewrote since this station last looked are read again before keys move.
void readOtherStationsChanges() {
    if (!SemaphoreIndexChanged()) return;
    if (ReadAnchorNodes()) SemaphoreMarkSeen();
}

// The key as a message shows it.
std::string keyText(const MdxTag& tag, const uint8_t* key) {
    const uint16_t len = tag.header.keyLength();
    switch (tag.header.keyType()) {
        case 'C':
            return std::string(reinterpret_cast<const char*>(key), len);
        case 'D':
            return JulianToDtos(KeyToDate(key));
        default: {
            char buf[64];
            const auto r = std::to_chars(buf, buf + sizeof buf, BcdKeyToDouble(key));
            return std::string(buf, r.ptr);
        }
    }
}

// Writes the tag's header page when its root or FOR-satisfied byte changed.
bool writeAnchorIfChanged(MdxArea& area, MdxTag& tag) {
    return !tag.headerChanged || WriteAnchor(area, tag);
}

int insertKey(MdxArea& area, MdxTag& tag, const uint8_t* key, uint32_t record) {
    if (takeAllocFault("AppendIndex")) return -1;
    try {
        if (tag.header.hasFor() && !tag.header.forSatisfied()) {
            tag.header.setForSatisfied(true);
            tag.headerChanged = true;
        }
        TagEditor ed(area, tag, "AppendIndex");
        if (tag.header.unique()) {
            bool exists = false;
            if (!ed.descend(key) || !ed.holdsKey(key, exists)) return -1;
            if (exists) return writeAnchorIfChanged(area, tag) ? 0 : -1;
        } else if (!ed.descendForInsert(key, record)) {
            return -1;
        }
        const bool ok = ed.insert(record, key);
        // The header page follows even after a failed node write, so that a root already written is
        // not lost with it.
        const bool anchored = writeAnchorIfChanged(area, tag);
        return ok && anchored ? 0 : -1;
    } catch (const std::bad_alloc&) {
        reportNoMemory("AppendIndex");
        return -1;
    }
}

// Puts the current order on the current record. False after reporting.
bool syncOrder(MdxArea& area, WorkAreaBlock& b) {
    MdxTag* tag = area.tags[1].get();
    if (!tag || area.naturalOrder) return true;
    if (!TagForHolds(*tag)) {
        tag->eof = true;
        tag->bof = false;
        return true;
    }
    if (b.recNo < 1 || b.recNo > b.recCount) return true;
    Key key{};
    MakeTagKey(*tag, key.data());
    try {
        TagEditor ed(area, *tag, "SyncIndex");
        bool keySeen = false;
        const int r = ed.seek(key.data(), static_cast<uint32_t>(b.recNo), tag->header.unique(), keySeen);
        if (r < 0) return false;
        if (r == 0) {
            const std::string k = "\"" + keyText(*tag, key.data()) + "\"";
            if (!keySeen)
                SetEngineError(212, "Key: " + k + " not in index: " + tag->tagText() +
                                        ". [SyncIndex-1] Record: " + std::to_string(b.recNo) +
                                        " (DBF=" + DbfName() + ")" + kIndexMayBeDamaged);
            else
                SetEngineError(212, "Record with key: " + k + " not in index: " + tag->tagText() +
                                        ". [SyncIndex-2] Record: " + std::to_string(b.recNo) +
                                        " (DBF=" + DbfName() + ")" + kIndexMayBeDamaged);
            return false;
        }
        ed.positionTag();
        return true;
    } catch (const std::bad_alloc&) {
        reportNoMemory("SyncIndex");
        return false;
    }
}

void saveOrderKey(MdxArea& area) {
    MdxTag* tag = area.tags[1].get();
    if (!tag) return;
    tag->currentKey.fill(0);
    MakeTagKey(*tag, tag->currentKey.data());
}

// The end of an append or replace: the file header, the current order on the record, its key saved. The
// caller's guard puts the first failure back as it goes out of scope.
void finishWrite(MdxArea& area, WorkAreaBlock& b, FirstError& first) {
    if (!FlushMdxHeader(area)) first.take();
    if (!syncOrder(area, b)) first.take();
    saveOrderKey(area);
}

}  // namespace

void MakeTagKey(const MdxTag& tag, uint8_t* key) {
    const WorkAreaBlock* b = CurrentBlock();
    if (!b || !BuildTagKey(*b, tag, key)) std::memset(key, 0, tag.header.keyLength());
}

int AppendIndex(const uint8_t* key, MdxTag& tag) {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b) {
        SetEngineError(221, "Index not open. [AppendIndex]");
        return -1;
    }
    if (!TagForHolds(tag)) return 0;
    return insertKey(*area, tag, key, static_cast<uint32_t>(b->recNo));
}

int DeleteKey(const uint8_t* key, MdxTag& tag, uint32_t target) {
    MdxArea* area = CurrentMdxArea();
    if (!area) {
        SetEngineError(221, "Index not open. [DeleteKey]");
        return kKeyIoError;
    }
    if (takeAllocFault("DeleteKey")) return kKeyIoError;
    try {
        TagEditor ed(*area, tag, "DeleteKey");
        bool failed = false;
        if (ed.seekLastEqual(key, target, failed)) {
            const bool ok = ed.erase();
            const bool anchored = writeAnchorIfChanged(*area, tag);
            return ok && anchored ? 0 : kKeyIoError;
        }
        if (failed) return kKeyIoError;
        bool keySeen = false;
        const int r = ed.seek(key, target, false, keySeen);
        if (r < 0) return kKeyIoError;
        // A unique tag holds a key for its first claimant only: another record with the key is not in it.
        if (r == 0) return tag.header.unique() ? 0 : kKeyMissing;
        const bool ok = ed.erase();
        const bool anchored = writeAnchorIfChanged(*area, tag);
        return ok && anchored ? 0 : kKeyIoError;
    } catch (const std::bad_alloc&) {
        reportNoMemory("DeleteKey");
        return kKeyIoError;
    }
}

void AppendNewKey() {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b) return;
    readOtherStationsChanges();
    // Every tag receives the record even when another failed: the record is in the table, and the more
    // tags hold it the less a reindex has to repair. The first failure is what the append reports.
    FirstError first;
    Key key{};
    for (int s = 1; s <= kMaxTags; ++s) {
        MdxTag* tag = area->tags[s].get();
        if (!tag) continue;
        MakeTagKey(*tag, key.data());
        if (AppendIndex(key.data(), *tag) != 0) first.take();
    }
    finishWrite(*area, *b, first);
}

void SaveOrderKey() {
    if (MdxArea* area = CurrentMdxArea()) saveOrderKey(*area);
}

void SaveAllKeys() {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b) return;
    readOtherStationsChanges();
    syncOrder(*area, *b);
    for (int s = 1; s <= kMaxTags; ++s) {
        MdxTag* tag = area->tags[s].get();
        if (!tag) continue;
        tag->savedRecord = static_cast<uint32_t>(b->recNo);
        tag->savedKey.fill(0);
        MakeTagKey(*tag, tag->savedKey.data());
        tag->savedInTag = TagForHolds(*tag);
    }
}

void UpdateChangedKeys() {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b) return;
    readOtherStationsChanges();
    FirstError first;
    const uint32_t record = static_cast<uint32_t>(b->recNo);
    Key key{};
    for (int s = 1; s <= kMaxTags; ++s) {
        MdxTag* tag = area->tags[s].get();
        if (!tag) continue;
        const std::string missing = "Record number " + std::to_string(record) + " not found in index. " +
                                    tag->tagText() + " [CompareKeys]";
        if (tag->savedRecord != record) {
            // No key was saved for this record: the tag cannot be brought in step.
            first.report(254, missing);
            continue;
        }
        key.fill(0);
        MakeTagKey(*tag, key.data());
        const bool isIn = TagForHolds(*tag);
        const bool wasIn = tag->savedInTag;
        const bool changed = std::memcmp(key.data(), tag->savedKey.data(), tag->header.keyLength()) != 0;
        // Whether the record was in the tag, whether it is now and whether its key changed decide: a
        // record that starts to satisfy the FOR condition goes in even with its key unchanged, one that
        // was never in the tag has nothing to take out.
        if (!changed && wasIn == isIn) continue;
        if (wasIn) {
            const int r = DeleteKey(tag->savedKey.data(), *tag, record);
            if (r == kKeyIoError) {
                first.take();
                continue;
            }
            if (r == kKeyMissing) first.report(254, missing);
        }
        if (isIn && insertKey(*area, *tag, key.data(), record) != 0) first.take();
        tag->savedKey = key;
        tag->savedInTag = isIn;
        std::memcpy(tag->currentKey.data(), key.data(), tag->header.keyLength());
    }
    finishWrite(*area, *b, first);
}

void SyncIndex() {
    MdxArea* area = CurrentMdxArea();
    WorkAreaBlock* b = CurrentBlock();
    if (!area || !b) return;
    // The order placed on a record starts a walk afresh.
    if (area->tags[1]) {
        area->tags[1]->walkDirection = 0;
        area->tags[1]->walkSteps = 0;
    }
    syncOrder(*area, *b);
}

bool FindInsertionPath(MdxTag& tag, const uint8_t* key, InsertionPath& path) {
    MdxArea* area = CurrentMdxArea();
    if (!area) return false;
    TagEditor ed(*area, tag, "FindInsertionPath");
    if (!ed.descend(key)) return false;
    path.blocks.clear();
    path.positions.clear();
    for (const Level& l : ed.path()) {
        path.blocks.push_back(l.block);
        path.positions.push_back(l.pos);
    }
    return true;
}

}  // namespace xb
