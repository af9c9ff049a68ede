// Searching an MDX tag and moving a work area through its records in key order.
//
// Two levels. The tag cursor works on one open tag of an area: it descends from the root to a leaf,
// keeping the path of nodes it went through (each tag keeps its own path, so no tag ever has to re-find
// its place after another tag used a shared one), and steps between entries and leaves; B-tree leaves
// are not linked in the file, so the next and previous leaf are found through the path. The area
// routines act on the current work area and its current order (tag slot 1): first, last, next, prior,
// their end rules, Find, the exact and found settings and the key texts the dataset layer shows. Every
// positioning first looks at the index semaphore's update counter and re-reads the tag headers when
// another station changed the index.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/index/mdx_format.h"

namespace xb {

// MdxTag::position of a tag that stands on the area's end position (record number -1) after a search
// ran off the end of the order. Otherwise the position is 0-based in the current leaf; a position equal
// to the leaf's count is the slot after its last entry (the insertion point at the end of a leaf).
inline constexpr int kEndPosition = -3;
// The record number of the end position.
inline constexpr uint32_t kEndRecord = 0xFFFFFFFFu;

// ---- the tag cursor ---------------------------------------------------------------------------------------

// True when the tag has a FOR condition that no record has satisfied yet: such a tag holds no keys.
bool TagUnsatisfiedFor(const MdxTag& tag);
// True when the tag's position names an entry of its current leaf.
bool TagOnEntry(const MdxTag& tag);
// The record number of the current entry: kEndRecord on the end position, 0 when not on an entry.
uint32_t TagCurrentRecord(const MdxTag& tag);
// The key bytes of the current entry; nullptr when not on an entry.
const uint8_t* TagCurrentEntryKey(const MdxTag& tag);
// Forgets the tag's position and path (the next read of every node goes to the file).
void TagForgetPosition(MdxTag& tag);

// Goes to the first (or last) key of the tag. False after reporting an error. A tag without keys ends with
// BOF and EOF set; otherwise both are cleared and the current key holds the entry's key.
bool TagGoFirst(MdxArea& area, MdxTag& tag);
bool TagGoLast(MdxArea& area, MdxTag& tag);

// The search of a key in the tag's order. The current entry becomes the first entry whose key is not
// below the key; when every key is below it, the tag ends at EOF on the slot after the last entry (with
// insertion set: on that slot without EOF, the place where a key above every key goes). found tells
// whether the entry's key equals the key (numeric keys by value). False after reporting an error.
bool SeekKey(MdxArea& area, MdxTag& tag, const uint8_t* key, bool insertion, bool& found);

// One step forward (or back) in key order. Without a following entry the tag goes to the last (first)
// key of the order and sets EOF (BOF) when that is the entry it stood on; when the tree changed under it
// and the last (first) key belongs to another record, it stands there with the flag clear. record
// receives the record number of the entry now current. False after reporting an error.
bool TagStepForward(MdxArea& area, MdxTag& tag, uint32_t& record);
bool TagStepBack(MdxArea& area, MdxTag& tag, uint32_t& record);

// The tag's key of the current record of the area (its key expression evaluated, cut or padded to the key
// length, in the OEM code page when the table keeps OEM text). False when the tag has no compiled key.
bool BuildTagKey(const WorkAreaBlock& block, const MdxTag& tag, uint8_t* key);
// True when the tag's FOR condition holds for the current record (or it has none).
bool TagForHolds(const MdxTag& tag);

// ---- the area routines (current work area, current order) -------------------------------------------------

// When the update counter shows that another station changed the index, re-reads the headers of all open
// tags and forgets their positions and paths; changed tells whether it did. Called inside a read bracket.
// False after reporting that the headers could not be read.
bool ReadChangedAnchors(bool* changed = nullptr);

// The record number of the first (last) key of the current order, record count + 1 when it has none. In
// record-number order 1 (the record count).
int32_t _FindFirstRec();
int32_t _FindLastRec();
// The record number of the next (previous) key; at the end (start) of the order the same record again with
// EOF (BOF) set.
int32_t _FindNextRec();
int32_t _FindPriorRec();

// The flags of the current order; the area's own in record-number order.
bool IndexEof();
bool IndexBof();
void IndexSetEof();
void IndexSetBof();

// Searches the current order for the key given as text and positions the area: on the first visible
// record whose key begins with the text (exact off, character keys) or equals it (exact on, or other key
// types). On a miss the area goes to end of file. Answers found.
bool Find(const std::string& text);
// Set or clear the exact flag; both answer the previous setting.
bool SetExactOn();
bool SetExactOff();
bool ExactIsOn();
// The found flag of the last search or move (the driver exports its address).
bool* IndexFoundFlag();

// Puts the current order back on the current record after another station changed the index. False
// after reporting 212 when the record's key is not in the tag.
bool SoftSyncIndex();

// The text of the current record's key in a tag: a date in the current picture, a number with the key
// expression's width and decimals, or the key text; "Rec:" and the record number in record-number order.
using KeyTextProc = std::function<std::string()>;
// The routine of a tag number; empty when no open tag has that number.
KeyTextProc TagKeyTextProc(int tagNumber);
// The routine of the current order ("Rec:" in record-number order); empty without an index.
KeyTextProc CurrentKeyTextProc();

}  // namespace xb
