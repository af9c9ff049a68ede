#include "engine/index/mdx_node.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "engine/core/errors.h"

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
    if (trailer == 0) return "";
    if (!ValidObjectBlock(trailer, fileSize)) return "child block " + std::to_string(trailer) + " outside the file";
    for (int i = 0; i < count; ++i) {
        const uint32_t child = GetU32(NodeEntry(node, item, i));
        if (!ValidObjectBlock(child, fileSize)) return "child block " + std::to_string(child) + " outside the file";
    }
    return "";
}

bool SeekAndRead(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer) {
    for (const MdxPathLevel& level : tag.path) {
        if (level.block == block) {
            std::memcpy(buffer, level.node.data(), kMdxNodeSize);
            return true;
        }
    }
    uint64_t size = 0;
    int rc = area.file.size(size);
    if (rc == 0 && !ValidObjectBlock(block, size)) {
        SetEngineError(222, "Error reading index file: " + tag.tagText() + " block " + std::to_string(block) +
                                " [SeekAndRead]");
        return false;
    }
    if (rc == 0) rc = area.file.readAt(static_cast<uint64_t>(block) * kMdxBlockSize, buffer, kMdxNodeSize);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error reading index file: " + tag.tagText() + " [SeekAndRead]");
        return false;
    }
    buffer[kNodeChangedByte] = 0;
    // A node that does not fit its tag (count, children) is never handed on.
    if (const std::string why = CheckNode(buffer, tag.header, size); !why.empty()) {
        SetEngineError(222, "Error reading index file: " + tag.tagText() + " " + why + " [SeekAndRead]");
        return false;
    }
    return true;
}

bool SeekAndWrite(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer) {
    buffer[kNodeChangedByte] = 0;
    for (MdxPathLevel& level : tag.path) {
        if (level.block == block) std::memcpy(level.node.data(), buffer, kMdxNodeSize);
    }
    const int rc = area.file.writeAt(static_cast<uint64_t>(block) * kMdxBlockSize, buffer, kMdxNodeSize);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error writing index file: " + tag.tagText() + " [SeekAndWrite]");
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
        if (int rc = file.readAt(static_cast<uint64_t>(block) * kMdxBlockSize, stack.back().node.data(), kMdxNodeSize);
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
        const uint32_t child = f.next < count ? GetU32(NodeEntry(node, item, f.next)) : NodeTrailer(node, item);
        ++f.next;
        if (std::string why = push(child); !why.empty()) return why;
    }
    return "";
}

}  // namespace xb
