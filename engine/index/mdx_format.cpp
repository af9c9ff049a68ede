#include "engine/index/mdx_format.h"

#include <algorithm>
#include <cstring>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/text_support.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_node.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace xb {

uint16_t ItemLengthFor(int keyLength) { return static_cast<uint16_t>(4 + ((keyLength + 3) / 4) * 4); }
uint16_t MaxKeysFor(int keyLength) { return static_cast<uint16_t>(1012 / ItemLengthFor(keyLength)); }

namespace {

constexpr size_t kKeyExprOffset = 24;
constexpr size_t kForExprOffset = 762;
constexpr size_t kExprField = kMaxExpression + 1;
constexpr size_t kTagTable = 512;

uint8_t* slot(std::array<uint8_t, kMdxHeaderSize>& b, int k) { return &b[kTagTable + kTagSlotSize * k]; }
const uint8_t* slot(const std::array<uint8_t, kMdxHeaderSize>& b, int k) { return &b[kTagTable + kTagSlotSize * k]; }

// True when a text field of n bytes holds its terminating zero.
bool terminated(const uint8_t* p, size_t n) { return std::memchr(p, 0, n) != nullptr; }

bool validKeyType(char t) { return t == 'C' || t == 'D' || t == 'F' || t == 'N'; }

// The name as a slot holds it: upper case, cut to 10 characters, then the terminating zero.
std::string slotName(const std::string& name) {
    return AsciiUpper(TrimRightStr(name).substr(0, kMaxTagName));
}

}  // namespace

// ---- tag header page ----------------------------------------------------------------------------------

std::string TagHeader::keyExpr() const {
    return StrFromBuffer(reinterpret_cast<const char*>(&bytes[kKeyExprOffset]), kExprField);
}

std::string TagHeader::forExpr() const {
    return StrFromBuffer(reinterpret_cast<const char*>(&bytes[kForExprOffset]), kExprField);
}

TagHeader TagHeader::make(const TagDefinition& def, char keyType, uint16_t keyLength, uint32_t root,
                          bool forSatisfied) {
    TagHeader h;
    h.setRoot(root);
    h.bytes[8] = static_cast<uint8_t>(kTagFlagAlways | (def.descending ? kTagFlagDescending : 0) |
                                      (def.unique ? kTagFlagUnique : 0));
    h.bytes[9] = static_cast<uint8_t>(keyType);
    PutU16(&h.bytes[12], keyLength);
    PutU16(&h.bytes[14], MaxKeysFor(keyLength));
    PutU16(&h.bytes[16], keyType == 'D' ? 1 : 0);
    PutU16(&h.bytes[18], ItemLengthFor(keyLength));
    h.bytes[23] = def.unique ? 1 : 0;
    StrToBuffer(def.keyExpr, reinterpret_cast<char*>(&h.bytes[kKeyExprOffset]), kExprField);
    const bool hasFor = !TrimRightStr(def.forExpr).empty();
    h.bytes[245] = hasFor ? 1 : 0;
    h.bytes[246] = (hasFor && forSatisfied) ? 1 : 0;
    if (hasFor) StrToBuffer(def.forExpr, reinterpret_cast<char*>(&h.bytes[kForExprOffset]), kExprField);
    return h;
}

std::string CheckTagHeader(const TagHeader& h, uint64_t fileSize) {
    const char type = h.keyType();
    if (!validKeyType(type)) return "key type not C, D, F or N";
    const int len = h.keyLength();
    if (len < 1 || len > kMaxKeyLength) return "key length " + std::to_string(len) + " outside 1 to 100";
    if (type == 'D' && len != static_cast<int>(kDateKeyLength)) return "date key not 8 bytes";
    if ((type == 'N' || type == 'F') && len != static_cast<int>(kBcdKeyLength)) return "numeric key not 12 bytes";
    if (h.itemLength() != ItemLengthFor(len)) return "item length does not match the key length";
    if (h.maxKeys() < 1 || h.maxKeys() > MaxKeysFor(len)) return "keys per node do not match the key length";
    const uint32_t root = h.root();
    if (root < kMdxHeaderSize / kMdxBlockSize || static_cast<uint64_t>(root) * kMdxBlockSize + kMdxNodeSize > fileSize)
        return "root block outside the file";
    if (!terminated(&h.bytes[kKeyExprOffset], kExprField)) return "key expression not terminated";
    if (!terminated(&h.bytes[kForExprOffset], kExprField)) return "FOR condition not terminated";
    if (h.bytes[kKeyExprOffset] == 0) return "empty key expression";
    return "";
}

// ---- file header and tag table ------------------------------------------------------------------------

MdxHeader MdxHeader::makeNew(const std::string& tableBaseName) {
    MdxHeader h;
    const platform::CivilDate today = platform::Today();
    h.bytes[0] = 2;
    h.bytes[1] = static_cast<uint8_t>((today.year - 1900) & 0xFF);
    h.bytes[2] = static_cast<uint8_t>(today.month);
    h.bytes[3] = static_cast<uint8_t>(today.day);
    // Longer base names are cut to the 15 characters the field holds.
    StrToBuffer(tableBaseName.substr(0, 15), reinterpret_cast<char*>(&h.bytes[4]), 16);
    PutU16(&h.bytes[20], 2);
    PutU16(&h.bytes[22], static_cast<uint16_t>(kMdxNodeSize));
    h.bytes[24] = 1;
    h.bytes[25] = kMdxTagSlots;
    h.bytes[26] = kTagSlotSize;
    h.setBlockCounter(static_cast<uint32_t>(kMdxHeaderSize / kMdxBlockSize));
    std::memcpy(&h.bytes[44], &h.bytes[1], 3);
    h.changed = true;
    return h;
}

std::string MdxHeader::tagName(int n) const {
    if (n < 1 || n > tagCount()) return "";
    return StrFromBuffer(reinterpret_cast<const char*>(slot(bytes, n) + 4), 11);
}

uint32_t MdxHeader::tagBlock(int n) const { return (n < 1 || n > tagCount()) ? 0 : GetU32(slot(bytes, n)); }

char MdxHeader::tagKeyType(int n) const {
    return (n < 1 || n > tagCount()) ? '\0' : static_cast<char>(slot(bytes, n)[20]);
}

int MdxHeader::findTag(const std::string& name) const {
    const std::string want = slotName(name);
    for (int n = 1; n <= tagCount(); ++n) {
        if (std::memcmp(slot(bytes, n) + 4, want.c_str(), want.size() + 1) == 0) return n;
    }
    return 0;
}

void MdxHeader::removeTagEntry(const std::string& name) {
    const int n = findTag(name);
    if (n == 0) return;
    const int last = tagCount();
    if (n != last) std::memcpy(slot(bytes, n), slot(bytes, last), kTagSlotSize);
    std::memset(slot(bytes, last), 0, kTagSlotSize);
    bytes[28] = static_cast<uint8_t>(last - 1);
    rebuildThreads();
    changed = true;
}

void MdxHeader::addTagEntry(const std::string& name, uint32_t block, char keyType) {
    removeTagEntry(name);
    const int n = tagCount() + 1;
    if (n > kMaxTags) return;  // the caller refuses a 48th tag before it builds anything
    bytes[28] = static_cast<uint8_t>(n);
    uint8_t* s = slot(bytes, n);
    std::memset(s, 0, kTagSlotSize);
    PutU32(s, block);
    StrToBuffer(slotName(name), reinterpret_cast<char*>(s + 4), 11);
    s[19] = 2;
    s[20] = static_cast<uint8_t>(keyType);
    rebuildThreads();
    changed = true;
}

void MdxHeader::rebuildThreads() {
    const int count = tagCount();
    uint8_t left[kMdxTagSlots] = {}, right[kMdxTagSlots] = {}, parent[kMdxTagSlots] = {};
    for (int k = 2; k <= count; ++k) {
        int cur = 1;
        for (;;) {
            const bool greaterOrEqual = std::memcmp(slot(bytes, k) + 4, slot(bytes, cur) + 4, 11) >= 0;
            uint8_t& link = greaterOrEqual ? right[cur] : left[cur];
            if (link == 0) {
                link = static_cast<uint8_t>(k);
                parent[k] = static_cast<uint8_t>(cur);
                break;
            }
            cur = link;
        }
    }
    for (int k = 0; k <= count; ++k) {
        uint8_t* s = slot(bytes, k);
        s[16] = left[k];
        s[17] = right[k];
        s[18] = parent[k];
    }
}

std::string CheckMdxHeader(const MdxHeader& h, uint64_t fileSize) {
    if (fileSize < kMdxMinOpenSize) return "file shorter than 3072 bytes";
    if (GetU16(&h.bytes[22]) != kMdxNodeSize) return "node length not 1024";
    const int count = h.tagCount();
    if (count > kMaxTags) return "more than 47 tags";
    for (int n = 1; n <= count; ++n) {
        const uint8_t* s = slot(h.bytes, n);
        if (!terminated(s + 4, 11) || s[4] == 0) return "tag " + std::to_string(n) + " has no terminated name";
        if (!validKeyType(static_cast<char>(s[20]))) return "tag " + std::to_string(n) + " has a bad key type";
        const uint32_t block = GetU32(s);
        if (block < kMdxHeaderSize / kMdxBlockSize ||
            static_cast<uint64_t>(block) * kMdxBlockSize + kTagHeaderCopySize > fileSize)
            return "tag " + std::to_string(n) + " header outside the file";
    }
    return "";
}

// ---- the area's index file ----------------------------------------------------------------------------

MdxArea* CurrentMdxArea() {
    WorkAreaBlock* b = CurrentBlock();
    // Only the index engine puts its state into a block: no other kind is ever there. It is asked
    // several times in every move, so it is not checked at run time.
    return b ? static_cast<MdxArea*>(b->indexArea.get()) : nullptr;
}

bool CreateMdxHeader(const std::string& fileName) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        SetEngineError(215, "CreateMdxHeader(" + fileName + ")");
        return false;
    }
    b->indexArea.reset();  // the area's previous index file goes first
    auto area = std::make_unique<MdxArea>();
    area->fileName = fileName;
    const int mode = b->exclusive ? platform::kModeExclusive : platform::kModeShared;
    const std::string path = platform::ResolveCase(fileName);
    if (platform::FileExists(path)) {
        uint64_t size = 0;
        int rc = area->file.open(path, mode);
        if (rc == 0) rc = area->file.size(size);
        if (rc == 0 && size < kMdxHeaderSize) rc = 222;
        if (rc == 0) rc = area->file.readAt(0, area->header.bytes.data(), kMdxHeaderSize);
        if (rc == 0 && !CheckMdxHeader(area->header, std::max<uint64_t>(size, kMdxMinOpenSize)).empty()) rc = 222;
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), "Unable to open index: " + fileName + " [CreateMdxHeader]");
            return false;
        }
        area->fileName = path;
    } else {
        std::string dir, name, ext;
        FSplit(b->fileName, dir, name, ext);
        area->header = MdxHeader::makeNew(name);
        int rc = area->file.create(fileName, mode);
        if (rc == 0) rc = area->file.writeAt(0, area->header.bytes.data(), kMdxHeaderSize);
        if (rc != 0) {
            area->file.close();
            if (rc != platform::kErrSharingViolation) platform::RemoveFileIfExists(fileName);
            SetEngineError(static_cast<uint16_t>(rc), "Unable to create index: " + fileName + " [CreateMdxHeader]");
            return false;
        }
        area->header.changed = false;
    }
    b->indexArea = std::move(area);
    return true;
}

bool FlushMdxHeader(MdxArea& area) {
    if (!area.header.changed) return true;
    // Other writers take this counter as the number of blocks in use and allocate after it, so it is
    // always the file's true size.
    uint64_t size = 0;
    int rc = IndexFileSize(area, size);
    if (rc == 0) {
        area.header.setBlockCounter(static_cast<uint32_t>((size + kMdxBlockSize - 1) / kMdxBlockSize));
        rc = WriteIndexBytes(area, nullptr, 0, area.header.bytes.data(), kMdxHeaderSize);
    }
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error writing index header: " + area.fileName + " [FlushMdxHeader]");
        return false;
    }
    area.header.changed = false;
    return true;
}

bool WriteAnchor(MdxArea& area, MdxTag& tag) {
    const uint32_t block = area.header.tagBlock(tag.number);
    const int rc = block == 0 ? 222
                              : WriteIndexBytes(area, nullptr, static_cast<uint64_t>(block) * kMdxBlockSize,
                                                tag.header.bytes.data(), kTagHeaderCopySize);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error writing index file:  " + tag.tagText() + " [WriteAnchor]");
        return false;
    }
    tag.headerChanged = false;
    return true;
}

bool ReadAnchorNodes() {
    MdxArea* area = CurrentMdxArea();
    if (!area) return true;
    // Tag headers held back are written before the file's are read.
    if (area->deferWrites && FlushDeferredWrites(*area) != 0) {
        SetEngineError(222, "Error writing index file: " + area->fileName + " [ReadAnchorNodes]");
        return false;
    }
    uint64_t size = 0;
    area->file.size(size);
    // The file's header is looked at too: damage written into it from outside while the index is open
    // shows at the next read after a change, which has the index rebuilt (from the area's sound copy of
    // it), instead of at the next open, which has no copy to rebuild from.
    MdxHeader onFile;
    if (area->file.readAt(0, onFile.bytes.data(), kMdxHeaderSize) != 0 ||
        !CheckMdxHeader(onFile, size).empty()) {
        SetEngineError(222, "Index file header damaged: " + area->fileName + " [ReadAnchorNodes]");
        return false;
    }
    for (int s = 1; s <= kMaxTags; ++s) {
        MdxTag* tag = area->tags[s].get();
        if (!tag) continue;
        const uint32_t block = area->header.tagBlock(tag->number);
        TagHeader fresh;
        int rc = block == 0 ? 222
                            : area->file.readAt(static_cast<uint64_t>(block) * kMdxBlockSize, fresh.bytes.data(),
                                                kTagHeaderCopySize);
        if (rc == 0 && !CheckTagHeader(fresh, size).empty()) rc = 222;
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc),
                           "Error reading index file:  " + tag->tagText() + " [ReadAnchorNodes]");
            return false;
        }
        tag->header = fresh;
    }
    return true;
}

int ReadIndexHead(platform::File& file, IndexHead& head, uint64_t minSize) {
    int rc = file.size(head.fileSize);
    if (rc != 0) return rc;
    if (head.fileSize < minSize) return 222;
    head.bytes.resize(static_cast<size_t>(std::min<uint64_t>(head.fileSize, kIndexHeadReadSize)));
    return file.readAt(0, head.bytes.data(), head.bytes.size()) == 0 ? 0 : 222;
}

int ReadIndexFirstPiece(platform::File& file, IndexHead& head) {
    int rc = file.size(head.fileSize);
    if (rc != 0) return rc;
    if (head.fileSize < kMdxMinOpenSize) return 222;
    head.bytes.resize(static_cast<size_t>(std::min<uint64_t>(head.fileSize, IndexPieceSize(head.fileSize))));
    return file.readAt(0, head.bytes.data(), head.bytes.size()) == 0 ? 0 : 222;
}

int TagHeaderAt(platform::File& file, const IndexHead& head, uint32_t block, TagHeader& out) {
    if (block == 0) return 222;
    const uint64_t at = static_cast<uint64_t>(block) * kMdxBlockSize;
    if (at + kTagHeaderCopySize <= head.bytes.size()) {
        std::copy_n(head.bytes.begin() + static_cast<std::ptrdiff_t>(at), kTagHeaderCopySize, out.bytes.begin());
        return 0;
    }
    return file.readAt(at, out.bytes.data(), kTagHeaderCopySize);
}

void AppendTagListLines(const std::string& name, const TagHeader& tag, std::vector<std::string>& lines) {
    lines.push_back(name + "," + (tag.descending() ? "T" : "F") + "," + (tag.unique() ? "T" : "F") + "," +
                    tag.keyExpr());
    lines.push_back(tag.hasFor() ? tag.forExpr() : "");
}

void OpenIndexTagList(std::vector<std::string>& lines) {
    lines.clear();
    const MdxArea* area = CurrentMdxArea();
    if (!area) return;
    for (int n = 1; n <= area->header.tagCount(); ++n)
        for (const auto& tag : area->tags)
            if (tag && tag->number == n) AppendTagListLines(area->header.tagName(n), tag->header, lines);
}

void GetIndexTagList(const std::string& tableName, std::vector<std::string>& list) {
    list.clear();
    const std::string path = platform::ResolveCase(DefaultExt(tableName, "mdx"));
    if (!platform::FileExists(path)) return;
    platform::File file;
    if (file.open(path, platform::kModeSharedRead) != 0) return;
    IndexHead head;
    MdxHeader header;
    if (ReadIndexHead(file, head, kMdxHeaderSize) != 0) return;
    std::copy_n(head.bytes.begin(), kMdxHeaderSize, header.bytes.begin());
    // A header that cannot be trusted lists nothing, so the caller sees a file unlike its description.
    if (!CheckMdxHeader(header, std::max<uint64_t>(head.fileSize, kMdxMinOpenSize)).empty()) return;
    for (int n = 1; n <= header.tagCount(); ++n) {
        TagHeader tag;
        if (TagHeaderAt(file, head, header.tagBlock(n), tag) != 0) continue;
        if (!CheckTagHeader(tag, head.fileSize).empty()) continue;
        AppendTagListLines(header.tagName(n), tag, list);
    }
}

}  // namespace xb
