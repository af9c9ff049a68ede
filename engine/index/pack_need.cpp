#include "engine/index/pack_need.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "engine/core/memo_ops.h"
#include "engine/index/mdx_format.h"
#include "platform/byte_order.h"
#include "platform/file.h"

namespace xb {

namespace {

constexpr size_t kPiece = size_t(1) << 20;

std::string replaced(const std::string& path, const std::string& ext) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                 ? path
                                 : path.substr(0, dot);
    return stem + ext;
}

struct TableLook {
    uint8_t version = 0;
    uint32_t rows = 0;
    bool deleted = false;
    std::vector<uint32_t> notes;  // the memo blocks kept rows name
};

// The table's header, then its rows piece by piece: whether one is marked deleted, and the notes the
// others name.
std::string lookAtTable(const std::string& path, TableLook& t) {
    std::vector<uint8_t> head;
    std::vector<std::pair<size_t, size_t>> memoFields;  // offset, width
    uint16_t headerSize = 0, recordSize = 0;
    uint64_t rowsSeen = 0;    // whole rows looked at
    std::vector<uint8_t> carry;  // a row cut by the end of a piece
    bool bad = false;
    auto takeRow = [&](const uint8_t* r) {
        if (r[0] == '*') {
            t.deleted = true;
            return;
        }
        for (const auto& [offset, width] : memoFields) {
            int32_t block = 0;
            if (!memo_detail::ReadBlockText(reinterpret_cast<const char*>(r) + offset, width, block)) {
                bad = true;
                return;
            }
            if (block != 0) t.notes.push_back(static_cast<uint32_t>(block < 0 ? -block : block));
        }
    };
    const int rc = platform::PeekFile(path, kPiece, [&](uint64_t at, const uint8_t* p, size_t n) -> uint64_t {
        size_t i = 0;
        if (headerSize == 0) {
            if (n < 32) return (bad = true), platform::kPeekDone;
            t.version = p[0];
            t.rows = platform::GetU32(p + 4);
            headerSize = platform::GetU16(p + 8);
            recordSize = platform::GetU16(p + 10);
            if (headerSize < 33 || recordSize == 0 || headerSize > n) return (bad = true), platform::kPeekDone;
            size_t offset = 1;  // after the deletion mark
            for (size_t f = 32; f + 32 <= headerSize && p[f] != 0x0D; f += 32) {
                const char type = static_cast<char>(p[f + 11]);
                const size_t width = p[f + 16];
                if (type == 'M' || type == 'B' || type == 'G') memoFields.push_back({offset, width});
                offset += width;
            }
            if (offset != recordSize) return (bad = true), platform::kPeekDone;
            i = headerSize;
        }
        while (rowsSeen < t.rows && !t.deleted && !bad && i < n) {
            const size_t want = recordSize - carry.size();
            if (!carry.empty() || n - i < recordSize) {
                const size_t take = std::min(want, n - i);
                carry.insert(carry.end(), p + i, p + i + take);
                i += take;
                if (carry.size() < recordSize) break;
                takeRow(carry.data());
                carry.clear();
            } else {
                takeRow(p + i);
                i += recordSize;
            }
            ++rowsSeen;
        }
        return rowsSeen < t.rows && !t.deleted && !bad ? at + n : platform::kPeekDone;
    });
    if (rc != 0) return kPackNeedUnreadable;
    if (bad) return "the table's header or a note's pointer cannot be read";
    if (!t.deleted && rowsSeen < t.rows) return "the table ends before its last row";
    return "";
}

// Whether the memo file holds space that no kept row's note uses: the blocks its notes take beside those
// the file takes. Only the memo files of dBASE IV tables tell their notes' lengths; any other answers
// that it may.
std::string lookAtMemo(const std::string& path, const TableLook& t) {
    if (t.version != 0x8B && t.version != 0xCB) return "the memo file's notes are not measured";
    std::vector<uint32_t> blocks = t.notes;
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    uint32_t blockSize = 0;
    uint64_t fileSize = 0, used = 0;
    size_t next = 0;
    uint8_t header[8];
    size_t headerHave = 0;  // bytes of the note header at blocks[next] gathered from earlier pieces
    bool bad = false;
    const int rc = platform::PeekFile(path, kPiece, [&](uint64_t at, const uint8_t* p, size_t n) -> uint64_t {
        fileSize = at + n;
        if (blockSize == 0) {
            if (n < 24) return (bad = true), platform::kPeekDone;
            blockSize = platform::GetU16(p + 20);
            if (blockSize == 0) blockSize = 512;
            used = (512 + blockSize - 1) / blockSize;  // the header's blocks
        }
        while (next < blocks.size() && !bad) {
            const uint64_t offset = uint64_t{blocks[next]} * blockSize + headerHave;
            if (offset >= at + n) break;
            const size_t take = std::min<size_t>(8 - headerHave, static_cast<size_t>(at + n - offset));
            std::copy_n(p + (offset - at), take, header + headerHave);
            headerHave += take;
            if (headerHave < 8) break;
            const uint32_t total = platform::GetU32(header + 4);
            if (header[0] != 0xFF || header[1] != 0xFF || header[2] != 0x08 || header[3] != 0x00 || total <= 8)
                return (bad = true), platform::kPeekDone;
            used += (uint64_t{total} + blockSize - 1) / blockSize;
            headerHave = 0;
            ++next;
        }
        return bad ? platform::kPeekDone : at + n;
    });
    if (rc != 0) return "the memo file cannot be read";
    if (bad || next < blocks.size()) return "a note is empty or cannot be read";
    if (blockSize == 0) return "";  // no memo file's header: nothing to compact
    const uint64_t fileBlocks = (fileSize + blockSize - 1) / blockSize;
    if (fileBlocks > used)
        return "notes to compact: " + std::to_string(fileBlocks - used) + " of the memo file's " +
               std::to_string(fileBlocks) + " blocks hold no kept row's note";
    return "";
}

struct IndexShapes {
    std::mutex mutex;
    std::map<platform::FileIdentity, std::vector<uint16_t>> byFile;
};
IndexShapes& shapes() {
    static IndexShapes s;
    return s;
}

std::string indexGrown(uint64_t size, const std::vector<uint16_t>& maxKeys, uint32_t rows) {
    const uint64_t rebuilt = RebuiltIndexSize(maxKeys, rows);
    if (static_cast<double>(size) > kIndexGrowthBeforePack * static_cast<double>(rebuilt))
        return "the index holds " + std::to_string(size) + " bytes, where a rebuild makes at most " +
               std::to_string(rebuilt);
    return "";
}

// Whether the production index has grown well past what a rebuild would make of it.
std::string lookAtIndex(const std::string& path, uint32_t rows) {
    // An index this process opened: its size is all that is asked.
    bool anyKnown = false;
    {
        std::lock_guard<std::mutex> guard(shapes().mutex);
        anyKnown = !shapes().byFile.empty();
    }
    if (anyKnown) {
        const platform::PathStatus st = platform::StatPath(path);
        std::vector<uint16_t> maxKeys;
        if (st.regular) {
            std::lock_guard<std::mutex> guard(shapes().mutex);
            const auto known = shapes().byFile.find(st.identity);
            if (known != shapes().byFile.end()) maxKeys = known->second;
        }
        if (!maxKeys.empty()) return indexGrown(st.size, maxKeys, rows);
    }
    // The head holds the file header and, in a file the engine built, most tag pages; a page beyond it
    // is read by itself in the same open.
    MdxHeader header;
    bool headRead = false, bad = false;
    uint64_t size = 0;
    std::vector<uint16_t> maxKeys;
    const int rc = platform::PeekFile(path, kIndexHeadReadSize, [&](uint64_t at, const uint8_t* p, size_t n) -> uint64_t {
        if (!headRead) {
            if (n < kMdxHeaderSize) return (bad = true), platform::kPeekDone;
            std::copy_n(p, kMdxHeaderSize, header.bytes.begin());
            headRead = true;
            size = uint64_t{header.blockCounter()} * kMdxBlockSize;
            if (!CheckMdxHeader(header, std::max<uint64_t>(size, n)).empty()) return (bad = true), platform::kPeekDone;
        }
        while (maxKeys.size() < static_cast<size_t>(header.tagCount())) {
            const uint64_t page = uint64_t{header.tagBlock(static_cast<int>(maxKeys.size()) + 1)} * kMdxBlockSize;
            if (page < at || page + kTagHeaderCopySize > at + n) return page;
            TagHeader tag;
            std::copy_n(p + (page - at), kTagHeaderCopySize, tag.bytes.begin());
            if (tag.maxKeys() == 0) return (bad = true), platform::kPeekDone;
            maxKeys.push_back(tag.maxKeys());
        }
        return platform::kPeekDone;
    });
    if (rc == platform::kErrFileNotFound) return "";  // no index to rebuild
    if (rc != 0 || bad || !headRead || maxKeys.size() < static_cast<size_t>(header.tagCount()))
        return "the index cannot be read";
    return indexGrown(size, maxKeys, rows);
}

}  // namespace

void NoteIndexShape(const platform::FileIdentity& file, std::vector<uint16_t> maxKeys) {
    if (!file.known() || maxKeys.empty()) return;
    std::lock_guard<std::mutex> guard(shapes().mutex);
    shapes().byFile[file] = std::move(maxKeys);
}

uint64_t RebuiltIndexSize(const std::vector<uint16_t>& maxKeys, uint64_t rows) {
    uint64_t size = kMdxHeaderSize;
    for (const uint16_t keys : maxKeys) {
        const uint64_t perNode = std::max<uint16_t>(keys, 2);
        uint64_t level = std::max<uint64_t>(1, (rows + perNode - 1) / perNode);
        uint64_t nodes = level + 1;  // the leaves and the tag's header page
        while (level > 1) {
            level = (level + perNode - 1) / perNode;
            nodes += level;
        }
        size += nodes * kMdxNodeSize;
    }
    return size;
}

std::string PackNeed(const std::string& dbfPath) {
    TableLook table;
    if (std::string why = lookAtTable(dbfPath, table); !why.empty()) return why;
    if (table.deleted) return "a row is marked deleted";
    if (table.version & 0x80) {
        if (std::string why = lookAtMemo(replaced(dbfPath, ".dbt"), table); !why.empty()) return why;
    }
    return lookAtIndex(replaced(dbfPath, ".mdx"), table.rows);
}

}  // namespace xb
