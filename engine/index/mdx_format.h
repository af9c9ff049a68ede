// The MDX file: a 2048-byte header (file facts and a table of 48 tag slots), then 1024-byte objects (tag
// header pages and B-tree nodes), each appended at the end of the file and addressed by its 512-byte
// block number. Holds the layouts, the per-area and per-tag state of an open index, the header and tag
// table operations, the tag header page and the checks that keep a damaged or foreign file from being
// trusted. All integers in the file are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/core/work_areas.h"
#include "engine/index/mdx_keys.h"
#include "platform/byte_order.h"
#include "platform/file.h"

namespace xb {

inline constexpr uint64_t kMdxBlockSize = 512;
inline constexpr size_t kMdxNodeSize = 1024;
// Where the next object (a node or a tag header page) goes in a file of size bytes: its end, rounded up
// to a whole object. A sound file always ends there; a write cut short by a full disk may have left half
// an object, which is passed over, so that every object stays at an even block as readers expect.
inline constexpr uint64_t NextObjectOffset(uint64_t size) {
    return (size + kMdxNodeSize - 1) / kMdxNodeSize * kMdxNodeSize;
}
inline constexpr size_t kMdxHeaderSize = 2048;
inline constexpr uint64_t kMdxMinOpenSize = 3072;  // a header and at least one object
inline constexpr size_t kTagHeaderCopySize = 983;  // the part of a tag header page the engine rewrites
inline constexpr int kMdxTagSlots = 48;            // slot 0 never used
inline constexpr int kMaxTags = 47;
inline constexpr size_t kTagSlotSize = 32;
inline constexpr size_t kMaxTagName = 10;
inline constexpr size_t kMaxExpression = 220;
inline constexpr int kMaxKeyLength = 100;
inline constexpr int kMaxTreeDepth = 32;  // far above what 47 tags of 2^31 records need
inline constexpr size_t kNodeUsable = 1016;  // bytes of a node after its count and before its end

// Tag header page flags.
inline constexpr uint8_t kTagFlagAlways = 0x10;
inline constexpr uint8_t kTagFlagDescending = 0x08;
inline constexpr uint8_t kTagFlagUnique = 0x40;

// The index unit reads and writes its integers with the formats' one codec.
using platform::GetU16;
using platform::GetU32;
using platform::PutU16;
using platform::PutU32;

// Follows the detail of a 212 for a record its order cannot find: the tag is out of step with its table
// (keys out of order, or encoded otherwise, in a file another program wrote), which a reindex repairs.
inline constexpr const char* kIndexMayBeDamaged = "\r\nThe index may be damaged: a reindex repairs it.";

// Key item length (the pointer, the key and padding to a multiple of 4) and keys per node.
uint16_t ItemLengthFor(int keyLength);
uint16_t MaxKeysFor(int keyLength);

// A tag as MakeIndex and AddIndexTag take it.
struct TagDefinition {
    std::string name;     // at most 10 characters
    std::string keyExpr;  // at most 220
    std::string forExpr;  // empty for none
    bool descending = false;
    bool unique = false;
};

// The 983 bytes of a tag header page the engine keeps in memory and writes back.
struct TagHeader {
    std::array<uint8_t, kTagHeaderCopySize> bytes{};

    uint32_t root() const { return GetU32(&bytes[0]); }
    void setRoot(uint32_t block) { PutU32(&bytes[0], block); }
    uint8_t flags() const { return bytes[8]; }
    bool descending() const { return (bytes[8] & kTagFlagDescending) != 0; }
    char keyType() const { return static_cast<char>(bytes[9]); }
    uint16_t keyLength() const { return GetU16(&bytes[12]); }
    uint16_t maxKeys() const { return GetU16(&bytes[14]); }
    bool dateKey() const { return GetU16(&bytes[16]) == 1; }
    uint16_t itemLength() const { return GetU16(&bytes[18]); }
    bool unique() const { return bytes[23] == 1; }
    std::string keyExpr() const;
    bool hasFor() const { return bytes[245] == 1; }
    bool forSatisfied() const { return bytes[246] != 0; }
    void setForSatisfied(bool on) { bytes[246] = on ? 1 : 0; }
    std::string forExpr() const;
    KeyOrder order() const { return KeyOrder{keyType(), keyLength(), descending()}; }

    // A new tag's header: every field from the definition, the key type and length.
    static TagHeader make(const TagDefinition& def, char keyType, uint16_t keyLength, uint32_t root,
                          bool forSatisfied);
};

// Checks a tag header page read from a file of fileSize bytes: key type, key length, item length and
// keys per node against their formulas, the root block inside the file, both texts terminated.
// Answers "" when it is sound, else what is wrong.
std::string CheckTagHeader(const TagHeader& h, uint64_t fileSize);

// The file header and tag table: bytes 0 to 2047.
struct MdxHeader {
    std::array<uint8_t, kMdxHeaderSize> bytes{};
    bool changed = false;

    int tagCount() const { return bytes[28]; }
    // The name of tag n (1 to count), "" outside.
    std::string tagName(int n) const;
    uint32_t tagBlock(int n) const;
    char tagKeyType(int n) const;
    // The slot of a name (compared over its length and terminating zero, at most 11 bytes), 0 if none.
    int findTag(const std::string& name) const;
    // Adds (or replaces) the entry of a tag whose header page is at block.
    void addTagEntry(const std::string& name, uint32_t block, char keyType);
    void removeTagEntry(const std::string& name);
    void rebuildThreads();
    void setBlockCounter(uint32_t blocks) { PutU32(&bytes[32], blocks); }
    uint32_t blockCounter() const { return GetU32(&bytes[32]); }

    // The header of a new empty file: today's date and the table's base name.
    static MdxHeader makeNew(const std::string& tableBaseName);
};

// The start of an index file as an open reads it, in one read: the file header and the tag header pages
// that follow it (those of the first dozen tags or so; a page beyond is read by itself).
inline constexpr size_t kIndexHeadReadSize = 16384;
struct IndexHead {
    uint64_t fileSize = 0;
    std::vector<uint8_t> bytes;
};
// Reads the file's size and its head into head: 0, the code of a failed size query, or 222 for a file
// shorter than minSize or a failed read.
int ReadIndexHead(platform::File& file, IndexHead& head, uint64_t minSize = kMdxMinOpenSize);
// The pieces a whole-file check reads an index of fileSize bytes in (mdx_agreement.h): a file of up to
// 8 MiB (any league index) whole, in one read, a larger one in pieces of 64 KiB.
inline constexpr uint64_t kIndexWholeReadSize = uint64_t(8) << 20;
inline constexpr size_t IndexPieceSize(uint64_t fileSize) {
    return fileSize <= kIndexWholeReadSize ? static_cast<size_t>(kIndexWholeReadSize) : size_t(64) << 10;
}
// The same, reading the file's first piece whole instead of its head, in the same one read: an open that
// also checks the whole index (see CheckIndexesAsOpened) pays no read for it when the file is small.
int ReadIndexFirstPiece(platform::File& file, IndexHead& head);
// The copy of the tag header page at block, from head when it holds it, else read from file.
int TagHeaderAt(platform::File& file, const IndexHead& head, uint32_t block, TagHeader& out);
// The tag list of the index the current area has open, from its tags' header copies, in the file's
// tag order (as GetIndexTagList gives it).
void OpenIndexTagList(std::vector<std::string>& lines);
// A tag's line pair as an index list gives it: "NAME,desc,unique,key" and the for-expression.
void AppendTagListLines(const std::string& name, const TagHeader& tag, std::vector<std::string>& lines);

// Checks a file header read from a file of fileSize bytes: size, node length, tag count, every slot's
// block, name and key type. "" when it is sound.
std::string CheckMdxHeader(const MdxHeader& h, uint64_t fileSize);

// One level of a tag's descent path: a node's block and a copy of it.
struct MdxPathLevel {
    uint32_t block = 0;
    std::array<uint8_t, kMdxNodeSize> node{};
};

// An open tag: its header copy, its order and the position state that searches and moves keep.
struct MdxTag {
    int number = 0;  // its slot in the tag table
    std::string name;
    TagHeader header;
    bool headerChanged = false;
    KeyOrder order;
    ExprRecord* keyExpr = nullptr;  // compiled by whoever opens the tag; freed by whoever closes it
    ExprRecord* forExpr = nullptr;
    // The tag's key of the current record as it stood before a replace, and whether the record was in
    // the tag then (kept by SaveAllKeys for UpdateChangedKeys).
    uint32_t savedRecord = 0;
    bool savedInTag = false;
    std::array<uint8_t, kMaxKeyLength> savedKey{};

    std::array<uint8_t, kMdxNodeSize> node{};  // the current node
    uint32_t nodeBlock = 0;
    int position = -1;
    std::array<uint8_t, kMaxKeyLength + 1> currentKey{};
    bool bof = true;
    bool eof = true;
    std::vector<MdxPathLevel> path;  // root first
    // The steps of the walk under way: its direction (1, -1; 0 before its first) and the keys it met since
    // the order was placed (a top, a bottom, a search, a record) or another station's change was seen.
    int walkDirection = 0;
    int64_t walkSteps = 0;

    // " [tag: NAME]", as messages about the tag carry it.
    std::string tagText() const { return " [tag: " + name + "]"; }
};

// Nodes of an area's index file kept between calls, so that descents do not read the same upper nodes
// from the file again and again, and the file's size as this station knows it. Each entry holds a node
// as the file holds it (changed byte clear), checked for the tag that read or wrote it. When the entries
// may be trusted is decided by the node routines (mdx_node.h): always while the file is held
// exclusively, in shared use only as the semaphore allows. Bounded: a clock sweep gives up nodes that
// were not used since its last pass, so the upper levels, used by every descent, stay.
class NodeCache {
public:
    static constexpr size_t kCapacity = 4096;  // 4 MiB of nodes per area at most

    // The node at block checked for tag, nullptr when not kept.
    const uint8_t* find(uint32_t block, int tag);
    void put(uint32_t block, int tag, const uint8_t* node);
    void erase(uint32_t block);
    // Forgets every node, the bytes read ahead and the size.
    void clear();

    // A scan's step misses the kept nodes: the file's bytes from the node on are read in one call, up to
    // kAheadBytes, and kept here as they are, so that the next leaves of a scan (which a tag's growth
    // mostly places after it in the file) come without another read. Which of those blocks are nodes,
    // and of which tag, is known only when one is asked for: each is checked for its tag then, like any
    // node read. They are trusted and dropped with the kept nodes, and a write drops them.
    static constexpr size_t kAheadBytes = 64 * 1024;
    const uint8_t* ahead(uint64_t offset) const;
    void setAhead(uint64_t offset, std::vector<uint8_t> bytes);

    bool sizeKnown = false;
    uint64_t size = 0;
    // The semaphore generation the entries belong to (shared use).
    bool generationKnown = false;
    uint64_t generation = 0;

private:
    struct Slot {
        uint32_t block = 0;
        int tag = 0;
        bool used = false;
        std::array<uint8_t, kMdxNodeSize> node{};
    };
    std::vector<Slot> m_slots;
    std::unordered_map<uint32_t, uint32_t> m_where;  // block -> slot
    size_t m_hand = 0;
    uint64_t m_aheadOffset = 0;
    std::vector<uint8_t> m_ahead;
};

// The index engine's part of a work area.
struct MdxArea : IndexArea {
    std::string fileName;
    platform::File file;
    MdxHeader header;
    NodeCache nodes;
    // The file's size as this station last learned it (its open's read, a size query, its own writes).
    // An index file open shared never shrinks (only a holder of the whole file rebuilds it), so a node
    // within this size needs no new query; one beyond it may be another station's, and asks again.
    uint64_t seenSize = 0;
    std::unique_ptr<MdxTag> tags[kMdxTagSlots];  // 1..47; slot 1 is the current order
    bool naturalOrder = false;
    // Set when a read was thrown away: the next step puts the order back on the area's record first.
    bool repositionNeeded = false;
    // Set while a step of a scan moves on to the next (or previous) entry: a node it has to read is read
    // with the bytes that follow (NodeCache::ahead), which a random descent would only pay for.
    bool scanStep = false;
    // Inside the semaphore's write bracket in shared use the bytes written to the index are held here
    // (offset -> bytes) and written when the bracket ends, so that a node that several keys change is
    // written once (see StartDeferredWrites).
    bool deferWrites = false;
    std::map<uint64_t, std::vector<uint8_t>> pendingWrites;
    uint64_t pendingEnd = 0;  // the end of the furthest pending write
};

// The current area's index state, nullptr when it has none.
MdxArea* CurrentMdxArea();

// Assigns the current area's index file: opens an existing one and reads its header, or creates the
// file with the header of a new index (the table's base name, today's date). False after reporting.
bool CreateMdxHeader(const std::string& fileName);
// Writes the header back when it changed.
bool FlushMdxHeader(MdxArea& area);
// Writes a tag's header copy to its page; clears its changed flag.
bool WriteAnchor(MdxArea& area, MdxTag& tag);
// Re-reads the header copies of every open tag of the current area.
bool ReadAnchorNodes();

// The lines describing the tags of an MDX file: per tag "NAME,D,U,key expression" and the FOR text.
// A missing or unreadable file gives an empty list.
void GetIndexTagList(const std::string& tableName, std::vector<std::string>& list);

}  // namespace xb
