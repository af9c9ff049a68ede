// B-tree nodes of an MDX tag: 1024 bytes holding a count, the entries (a u32 pointer and the key, padded
// to the item length) and after the last entry a u32 that is 0 in a leaf and the rightmost child's block
// in a branch node. In a leaf the pointers are record numbers, in a branch node child blocks whose
// subtree's highest key is the entry's key.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/index/mdx_format.h"

namespace xb {

inline uint16_t NodeCount(const uint8_t* node) { return GetU16(node); }
inline void SetNodeCount(uint8_t* node, uint16_t count) { PutU16(node, count); }
inline uint8_t* NodeEntry(uint8_t* node, uint16_t itemLength, int i) { return node + 8 + i * itemLength; }
inline const uint8_t* NodeEntry(const uint8_t* node, uint16_t itemLength, int i) {
    return node + 8 + i * itemLength;
}
// The u32 after the last entry.
inline uint32_t NodeTrailer(const uint8_t* node, uint16_t itemLength) {
    return GetU32(NodeEntry(node, itemLength, NodeCount(node)));
}
inline bool NodeIsLeaf(const uint8_t* node, uint16_t itemLength) { return NodeTrailer(node, itemLength) == 0; }
// Byte 2 of the count is the node's changed flag while it is in memory.
inline constexpr size_t kNodeChangedByte = 2;

// True when a 1024-byte object at block lies inside a file of fileSize bytes, after the header.
bool ValidObjectBlock(uint32_t block, uint64_t fileSize);
// Checks a node of the tag against the file: count within the maximum and the node, and in a branch node
// every child block inside the file. "" when sound.
std::string CheckNode(const uint8_t* node, const TagHeader& header, uint64_t fileSize);

// The one checked node read: reads the node at block for tag into buffer, from the area's node cache when
// it may be trusted, else from the file, and checks it against the file's size and the tag (CheckNode)
// before handing it on. A failure becomes the engine error, reported once: 222 for a block outside the
// file or a node that does not fit its tag (damaged, or leaf keys out of order), the I/O code for a failed
// read; routine names the caller in the text. The changed byte is clear. Nodes read while the cache may be
// trusted are kept in it. The cache is trusted while the index file is held exclusively; in shared use
// only inside a semaphore bracket of the current area, and it is emptied as soon as the semaphore shows
// another station's change. False after reporting.
bool ReadNode(MdxArea& area, const MdxTag& tag, uint32_t block, uint8_t* buffer, const std::string& routine);
// The index file's size: the one this station knows when it may be trusted (see ReadNode), else the
// file's. 0 or the I/O error code.
int IndexFileSize(MdxArea& area, uint64_t& size);
// Writes n bytes at offset of the index file and keeps the node cache and the known size in step; the
// bytes are a node of tag when tag is given. 0 or the I/O error code.
int WriteIndexBytes(MdxArea& area, const MdxTag* tag, uint64_t offset, const uint8_t* bytes, size_t n);

// Index writes inside the semaphore's write bracket, in shared use only: from StartDeferredWrites on,
// WriteIndexBytes keeps what it is given (the node reads of this area see it) instead of writing it, and
// FinishDeferredWrites writes it all at the bracket's end, each run of neighbouring blocks in one write,
// before the bracket is released. Nobody else reads the index meanwhile, and a station killed before or
// during those writes leaves the semaphore's mark (set when it took the write lock), so the next
// station rebuilds the index from the table; the index held exclusively is written as it changes, as
// before. FlushDeferredWrites writes what is held and goes on holding back; FinishDeferredWrites also
// stops. Both answer 0 or the I/O error code: what could not be written is dropped, and the caller has
// the index rebuilt or leaves the mark for the next station.
void StartDeferredWrites(MdxArea& area);
int FlushDeferredWrites(MdxArea& area);
int FinishDeferredWrites(MdxArea& area);

// Fills buffer with the node at block: the copy on the tag's descent path when the node is on it (it was
// checked when read), else ReadNode's. False after reporting.
bool SeekAndRead(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer);
// Writes the node at block (changed byte cleared) and refreshes the path's copy. False after reporting.
bool SeekAndWrite(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer);

// Visits the leaf entries of a tag in order (key bytes, record number) without trusting the file: every
// node is checked, no node is visited twice and the tree is at most kMaxTreeDepth deep. The visitor
// answers false to stop. Answers "" when the walk ended soundly, else what is wrong (an I/O failure
// included); reports nothing.
std::string WalkTag(platform::File& file, const TagHeader& header,
                    const std::function<bool(const uint8_t* key, uint32_t record)>& visit);

}  // namespace xb
