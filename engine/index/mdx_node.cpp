#include "engine/index/mdx_node.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "engine/core/errors.h"
#include "engine/index/semaphore_file.h"

namespace xb {

bool ValidObjectBlock(uint32_t block, uint64_t fileSize) {
    return block >= kMdxHeaderSize / kMdxBlockSize &&
           (static_cast<uint64_t>(block) * kMdxBlockSize + kMdxNodeSize) <= fileSize;
}

std::string CheckNode(const uint8_t* node, const TagHeader& header, uint64_t fileSize) {
    const uint16_t count = NodeCount(node);
    const uint16_t item = header.itemLength();
    if (count > header.maxKeys()) return "node count " + std::to_string(count) + " above the maximum";
    if (8u + static_cast<size_t>(count) * item + 4 > kMdxNodeSize) return "node entries beyond the node";
    const uint32_t trailer = NodeTrailer(node, item);
    if (trailer == 0) {
        // A leaf: every record number a record can have, and keys in the tag's order (one comparison
        // per key).
        const KeyOrder order = header.order();
        for (int i = 0; i < count; ++i) {
            const uint8_t* e = NodeEntry(node, item, i);
            const uint32_t record = GetU32(e);
            if (record == 0 || record > 0x7FFFFFFFu)
                return "record number " + std::to_string(record) + " in a leaf";
            if (i > 0 && order.compare(NodeEntry(node, item, i - 1) + 4, e + 4) > 0)
                return "leaf keys out of order at entry " + std::to_string(i);
        }
        return "";
    }
    if (!ValidObjectBlock(trailer, fileSize))
        return "child block " + std::to_string(trailer) + " outside the file";
    for (int i = 0; i < count; ++i) {
        const uint32_t child = GetU32(NodeEntry(node, item, i));
        if (!ValidObjectBlock(child, fileSize))
            return "child block " + std::to_string(child) + " outside the file";
    }
    return "";
}

// ---- the node cache
// ----------------------------------------------------------------------------------------

const uint8_t* NodeCache::find(uint32_t block, int tag) {
    const auto it = m_where.find(block);
    if (it == m_where.end()) return nullptr;
    Slot& slot = m_slots[it->second];
    if (slot.tag != tag) return nullptr;
    slot.used = true;
    return slot.node.data();
}

void NodeCache::put(uint32_t block, int tag, const uint8_t* node) {
    uint32_t at = 0;
    if (const auto it = m_where.find(block); it != m_where.end()) {
        at = it->second;
    } else if (m_slots.size() < kCapacity) {
        at = static_cast<uint32_t>(m_slots.size());
        m_slots.emplace_back();
        m_where.emplace(block, at);
    } else {
        // The clock: a slot used since the hand last passed it gets another round.
        while (m_slots[m_hand].used) {
            m_slots[m_hand].used = false;
            m_hand = (m_hand + 1) % m_slots.size();
        }
        at = static_cast<uint32_t>(m_hand);
        m_hand = (m_hand + 1) % m_slots.size();
        m_where.erase(m_slots[at].block);
        m_where.emplace(block, at);
    }
    Slot& slot = m_slots[at];
    slot.block = block;
    slot.tag = tag;
    slot.used = true;
    std::memcpy(slot.node.data(), node, kMdxNodeSize);
}

void NodeCache::erase(uint32_t block) {
    const uint64_t at = static_cast<uint64_t>(block) * kMdxBlockSize;
    if (!m_ahead.empty() && at + kMdxBlockSize > m_aheadOffset && at < m_aheadOffset + m_ahead.size())
        m_ahead.clear();
    const auto it = m_where.find(block);
    if (it == m_where.end()) return;
    // The slot stays allocated for the next node; a tag of 0 never matches.
    m_slots[it->second].tag = 0;
    m_slots[it->second].used = false;
}

void NodeCache::clear() {
    m_slots.clear();
    m_where.clear();
    m_hand = 0;
    m_ahead.clear();
    sizeKnown = false;
    size = 0;
}

const uint8_t* NodeCache::ahead(uint64_t offset) const {
    if (m_ahead.empty() || offset < m_aheadOffset || offset + kMdxNodeSize > m_aheadOffset + m_ahead.size())
        return nullptr;
    return m_ahead.data() + (offset - m_aheadOffset);
}

void NodeCache::setAhead(uint64_t offset, std::vector<uint8_t> bytes) {
    m_aheadOffset = offset;
    m_ahead = std::move(bytes);
}

namespace {

// Whether what the area keeps of its index file may be used now. The file held exclusively: nobody else
// writes it, and this station's writes go through the cache. In shared use the semaphore decides: only
// inside a bracket (no other station can be changing the file then), and what was kept under an
// earlier generation, before another station's change, goes.
bool cacheTrusted(MdxArea& area) {
    if (!area.file.isOpen()) return false;
    if (platform::IsExclusiveMode(area.file.mode())) return true;
    if (CurrentMdxArea() != &area) return false;
    const SemaphoreGuard guard = CurrentSemaphoreGuard();
    if (!guard.loggedIn || !guard.inside) return false;
    if (!area.nodes.generationKnown || area.nodes.generation != guard.generation) {
        area.nodes.clear();
        area.nodes.generation = guard.generation;
        area.nodes.generationKnown = true;
    }
    return true;
}

int fileSize(MdxArea& area, bool trusted, uint64_t& size) {
    if (trusted && area.nodes.sizeKnown) {
        size = std::max(area.nodes.size, area.pendingEnd);
        return 0;
    }
    const int rc = area.file.size(size);
    // Blocks held back are part of the file as this station sees it.
    if (rc == 0 && area.deferWrites) size = std::max(size, area.pendingEnd);
    if (rc == 0) area.seenSize = size;
    if (rc == 0 && trusted) {
        area.nodes.size = size;
        area.nodes.sizeKnown = true;
    }
    return rc;
}

// The pending write at block, when one holds the whole node there.
const std::vector<uint8_t>* pendingNode(const MdxArea& area, uint32_t block) {
    if (!area.deferWrites) return nullptr;
    const auto it = area.pendingWrites.find(static_cast<uint64_t>(block) * kMdxBlockSize);
    return it != area.pendingWrites.end() && it->second.size() == kMdxNodeSize ? &it->second : nullptr;
}

bool overlapsPending(const MdxArea& area, uint64_t offset, size_t n) {
    auto it = area.pendingWrites.lower_bound(offset);
    if (it != area.pendingWrites.end() && it->first < offset + n) return true;
    if (it == area.pendingWrites.begin()) return false;
    --it;
    return it->first + it->second.size() > offset;
}

// Drops every kept node the bytes at offset touch (a node spans two blocks).
void forgetNodesTouched(MdxArea& area, uint64_t offset, size_t n) {
    const uint64_t first = offset / kMdxBlockSize;
    const uint64_t last = (offset + n + kMdxBlockSize - 1) / kMdxBlockSize;
    for (uint64_t b = first == 0 ? 0 : first - 1; b < last; ++b) area.nodes.erase(static_cast<uint32_t>(b));
}

// Keeps the node cache and the known size in step with bytes now in the file (or held for it).
void noteWritten(MdxArea& area, const MdxTag* tag, uint64_t offset, const uint8_t* bytes, size_t n);

}  // namespace

bool ReadNode(MdxArea& area, const MdxTag& tag, uint32_t block, uint8_t* buffer, const std::string& routine) {
    if (const std::vector<uint8_t>* held = pendingNode(area, block)) {
        std::memcpy(buffer, held->data(), kMdxNodeSize);
        buffer[kNodeChangedByte] = 0;
        return true;
    }
    const bool trusted = cacheTrusted(area);
    if (trusted) {
        if (const uint8_t* kept = area.nodes.find(block, tag.number)) {
            std::memcpy(buffer, kept, kMdxNodeSize);
            return true;
        }
    }
    auto fail = [&](uint16_t code, const std::string& what) {
        SetEngineError(code, "Error reading index file, block " + std::to_string(block) + ":" +
                                 tag.tagText() + what + " [" + routine + "]");
        return false;
    };
    // Outside a bracket the size last learned serves as long as the node (and its children) lie within
    // it; a node beyond it asks the file again, as another station may have added it.
    uint64_t size = area.seenSize;
    bool asked = trusted || !ValidObjectBlock(block, size);
    int rc = asked ? fileSize(area, trusted, size) : 0;
    if (rc == 0 && !ValidObjectBlock(block, size)) return fail(222, " outside the file");
    const uint64_t offset = static_cast<uint64_t>(block) * kMdxBlockSize;
    const uint8_t* ahead = rc == 0 && trusted ? area.nodes.ahead(offset) : nullptr;
    if (ahead) {
        std::memcpy(buffer, ahead, kMdxNodeSize);
    } else if (rc == 0 && trusted && area.scanStep) {
        // Trusted, the bytes that follow went with the same look at the semaphore as this node.
        std::vector<uint8_t> bytes(static_cast<size_t>(
            std::max<uint64_t>(kMdxNodeSize, std::min<uint64_t>(NodeCache::kAheadBytes, size - offset))));
        size_t got = 0;
        rc = area.file.readAt(offset, bytes.data(), bytes.size(), &got);
        if (rc == 0 && got < kMdxNodeSize) rc = 38;  // the end of the file: the size was wrong
        if (rc == 0) {
            bytes.resize(got);
            std::memcpy(buffer, bytes.data(), kMdxNodeSize);
            area.nodes.setAhead(offset, std::move(bytes));
        }
    } else if (rc == 0) {
        rc = area.file.readAt(offset, buffer, kMdxNodeSize);
    }
    if (rc != 0) return fail(static_cast<uint16_t>(rc), "");
    buffer[kNodeChangedByte] = 0;
    // A node that does not fit its tag (count, children, leaf order) is never handed on, nor kept.
    std::string why = CheckNode(buffer, tag.header, size);
    if (!why.empty() && !asked) {
        rc = fileSize(area, trusted, size);
        if (rc != 0) return fail(static_cast<uint16_t>(rc), "");
        why = CheckNode(buffer, tag.header, size);
    }
    if (!why.empty()) return fail(222, " " + why);
    if (trusted) area.nodes.put(block, tag.number, buffer);
    return true;
}

int IndexFileSize(MdxArea& area, uint64_t& size) {
    return fileSize(area, cacheTrusted(area), size);
}

int WriteIndexBytes(MdxArea& area, const MdxTag* tag, uint64_t offset, const uint8_t* bytes, size_t n) {
    if (area.deferWrites) {
        auto it = area.pendingWrites.find(offset);
        if (it == area.pendingWrites.end() || it->second.size() != n) {
            // Bytes of another shape over held ones (the key routines write whole nodes and headers at
            // fixed places, so this does not happen): what is held goes to the file first.
            if (overlapsPending(area, offset, n)) {
                if (const int rc = FlushDeferredWrites(area); rc != 0) return rc;
            }
            it = area.pendingWrites.emplace(offset, std::vector<uint8_t>(n)).first;
        }
        std::memcpy(it->second.data(), bytes, n);
        area.pendingEnd = std::max(area.pendingEnd, offset + n);
        noteWritten(area, tag, offset, bytes, n);
        return 0;
    }
    const int rc = area.file.writeAt(offset, bytes, n);
    if (rc != 0) {
        forgetNodesTouched(area, offset, n);
        // What a failed write left in the file is unknown.
        area.nodes.sizeKnown = false;
        return rc;
    }
    noteWritten(area, tag, offset, bytes, n);
    return 0;
}

namespace {

void noteWritten(MdxArea& area, const MdxTag* tag, uint64_t offset, const uint8_t* bytes, size_t n) {
    // Every node the bytes touch is dropped, then a node written whole is kept as written: it is what the
    // file holds now.
    forgetNodesTouched(area, offset, n);
    if (area.nodes.sizeKnown) area.nodes.size = std::max(area.nodes.size, offset + n);
    area.seenSize = std::max(area.seenSize, offset + n);
    if (tag && n == kMdxNodeSize && offset % kMdxBlockSize == 0) {
        uint64_t size = 0;
        if (fileSize(area, cacheTrusted(area), size) == 0 && CheckNode(bytes, tag->header, size).empty())
            area.nodes.put(static_cast<uint32_t>(offset / kMdxBlockSize), tag->number, bytes);
    }
}

}  // namespace

void StartDeferredWrites(MdxArea& area) {
    if (!area.file.isOpen() || platform::IsExclusiveMode(area.file.mode())) return;
    area.deferWrites = true;
}

int FlushDeferredWrites(MdxArea& area) {
    std::map<uint64_t, std::vector<uint8_t>> pending;
    pending.swap(area.pendingWrites);
    area.pendingEnd = 0;
    // Neighbouring blocks go in one write: a node split and the nodes beside it, a run of new blocks.
    std::vector<uint8_t> run;
    uint64_t runStart = 0;
    int first = 0;
    auto write = [&] {
        if (run.empty()) return;
        const int rc = area.file.writeAt(runStart, run.data(), run.size());
        if (rc != 0 && first == 0) first = rc;
        run.clear();
    };
    for (const auto& [offset, bytes] : pending) {
        if (!run.empty() && runStart + run.size() != offset) write();
        if (run.empty()) runStart = offset;
        run.insert(run.end(), bytes.begin(), bytes.end());
    }
    write();
    // Bytes read ahead while blocks were held back hold those blocks as they were before.
    area.nodes.setAhead(0, {});
    if (first != 0) {
        // What the file holds now is unknown: nothing kept of it is used again.
        area.nodes.clear();
    }
    return first;
}

int FinishDeferredWrites(MdxArea& area) {
    if (!area.deferWrites) return 0;
    const int rc = FlushDeferredWrites(area);
    area.deferWrites = false;
    return rc;
}

bool SeekAndRead(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer) {
    for (const MdxPathLevel& level : tag.path) {
        if (level.block == block) {
            std::memcpy(buffer, level.node.data(), kMdxNodeSize);
            return true;
        }
    }
    return ReadNode(area, tag, block, buffer, "SeekAndRead");
}

bool SeekAndWrite(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer) {
    buffer[kNodeChangedByte] = 0;
    for (MdxPathLevel& level : tag.path) {
        if (level.block == block) std::memcpy(level.node.data(), buffer, kMdxNodeSize);
    }
    const int rc =
        WriteIndexBytes(area, &tag, static_cast<uint64_t>(block) * kMdxBlockSize, buffer, kMdxNodeSize);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc),
                       "Error writing index file: " + tag.tagText() + " [SeekAndWrite]");
        return false;
    }
    return true;
}

std::string WalkTag(platform::File& file, const TagHeader& header,
                    const std::function<bool(const uint8_t* key, uint32_t record)>& visit) {
    uint64_t size = 0;
    if (file.size(size) != 0) return "file size unknown";
    if (std::string why = CheckTagHeader(header, size); !why.empty()) return why;
    const uint16_t item = header.itemLength();

    struct Frame {
        std::array<uint8_t, kMdxNodeSize> node;
        int next = 0;  // the next child to descend into; count means the rightmost child
    };
    std::vector<Frame> stack;
    std::unordered_set<uint32_t> seen;
    auto push = [&](uint32_t block) -> std::string {
        if (stack.size() >= static_cast<size_t>(kMaxTreeDepth)) return "tree deeper than 32 levels";
        if (!ValidObjectBlock(block, size)) return "block " + std::to_string(block) + " outside the file";
        if (!seen.insert(block).second) return "block " + std::to_string(block) + " reached twice";
        stack.emplace_back();
        if (int rc = file.readAt(static_cast<uint64_t>(block) * kMdxBlockSize, stack.back().node.data(),
                                 kMdxNodeSize);
            rc != 0)
            return "read error " + std::to_string(rc);
        return CheckNode(stack.back().node.data(), header, size);
    };
    if (std::string why = push(header.root()); !why.empty()) return why;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const uint8_t* node = f.node.data();
        const uint16_t count = NodeCount(node);
        if (NodeIsLeaf(node, item)) {
            for (int i = 0; i < count; ++i) {
                const uint8_t* e = NodeEntry(node, item, i);
                if (!visit(e + 4, GetU32(e))) return "";
            }
            stack.pop_back();
            continue;
        }
        if (f.next > count) {
            stack.pop_back();
            continue;
        }
        const uint32_t child =
            f.next < count ? GetU32(NodeEntry(node, item, f.next)) : NodeTrailer(node, item);
        ++f.next;
        if (std::string why = push(child); !why.empty()) return why;
    }
    return "";
}

}  // namespace xb
