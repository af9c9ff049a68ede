// Keeping the tags of an open MDX index in step with the table on record writes: inserting a key (with
// node splits and root growth), deleting a key (emptied leaves, root collapse, separator repair), the
// keys of an appended record, the keys saved before a replace and moved after it, and putting the
// current order on the current record.
//
// Every routine acts on the current work area and its open index. Nodes are written as soon as they
// change, a tag's header page whenever its root or FOR-satisfied byte changed, the file header when a
// write ends. Failures go through the engine's error routine; an append or replace reports the first
// failure and still brings every other tag up to date.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/mdx_format.h"

namespace xb {

// Results of DeleteKey besides 0.
inline constexpr int kKeyMissing = -1;  // the target's entry is not where it must be (nothing reported)
inline constexpr int kKeyIoError = -2;  // a read or write failed (reported)

// The tag's key of the current record (key length bytes) into key.
void MakeTagKey(const MdxTag& tag, uint8_t* key);
// True when the current record satisfies the tag's FOR condition (always without one).
bool TagForHolds(const MdxTag& tag);

// Inserts key for the current record into tag, before any equal keys; nothing when the FOR condition is
// false or a unique tag already holds the key. 0, or -1 after reporting (memory, I/O, a damaged node).
int AppendIndex(const uint8_t* key, MdxTag& tag);
// Removes the entry (key, target) from tag. 0 when removed, and in a unique tag also when the target does
// not hold the key there (another record claimed it first); kKeyMissing or kKeyIoError otherwise.
int DeleteKey(const uint8_t* key, MdxTag& tag, uint32_t target);

// Driver entry 8: the keys of the record just appended (the current record) into every open tag.
void AppendNewKey();
// Driver entry 9: the current order's key of the current record becomes its current key.
void SaveOrderKey();
// Driver entry 10 (before a replace, with the record as stored loaded): syncs the current order, then
// saves every tag's key of the record and whether the record is in the tag.
void SaveAllKeys();
// Driver entry 11 (after the replace was written): moves every tag's entry whose key or FOR state changed.
void UpdateChangedKeys();
// Driver entry 1: puts the current order on the current record's entry; at end of file when the record
// does not satisfy the order's FOR condition. Error 212 when the record's key is not in the order.
void SyncIndex();

// The descent an insertion or deletion makes, exposed for tests: the blocks from the root down to the
// leaf where key would be inserted and the entry position at each level (count = rightmost child).
struct InsertionPath {
    std::vector<uint32_t> blocks;
    std::vector<int> positions;
};
bool FindInsertionPath(MdxTag& tag, const uint8_t* key, InsertionPath& path);

}  // namespace xb
