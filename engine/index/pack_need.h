// Whether a pack would change a table, told from its files alone before any pack is tried: a pack
// rewrites the table, its memo file and its index whole, which on a network share is the whole database
// across the wire, so a table that would come out of it as it went in is better left alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace xb {

// How much larger than its rebuilt size an index file grows before a pack is worth its rewrite. A tree
// filled by inserts keeps each node at least half full, so it stays within twice its rebuilt size
// (about 1.5 times is usual); past that, the space lies in nodes that deletions emptied or left behind.
inline constexpr double kIndexGrowthBeforePack = 2.0;

// Why a pack of the table at dbfPath would change it, "" when it would not: a row marked deleted (the
// pack drops it); a memo file with space no kept row's note uses (the pack compacts it); a production
// index (the .mdx beside the table) over kIndexGrowthBeforePack times the size a rebuild would give it.
// The files are only read, each opened once for reading, without taking part in the sharing of other
// handles: a station writing at the same moment at worst has its change looked at by the next close. A
// file that cannot be read or understood answers a reason too, so that the pack decides as before.
std::string PackNeed(const std::string& dbfPath);
// What the index opened as file keeps of its tags for PackNeed: each tag's keys a node. A tag's keys a
// node follow from its key's length and do not change while the file does; an index rebuilt or restored
// is a new file. So a close's PackNeed of an index this process opened asks only the file's size (one call
// instead of an open, a read and a close). Should another program add or drop a tag in the same file,
// the estimate is off by that tag, which at worst packs a table that did not need it or leaves one for
// a later close.
void NoteIndexShape(const platform::FileIdentity& file, std::vector<uint16_t> maxKeys);
// PackNeed's answer for a table it cannot read (missing, say).
inline constexpr const char* kPackNeedUnreadable = "the table cannot be read";

// The size in bytes that a rebuild gives an index of tagCount tags of maxKeys keys a node, each over
// rows rows at most (the size's upper bound: a FOR condition or a unique tag keeps fewer keys).
uint64_t RebuiltIndexSize(const std::vector<uint16_t>& maxKeys, uint64_t rows);

}  // namespace xb
