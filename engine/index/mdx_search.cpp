#include "engine/index/mdx_search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/text_support.h"
#include "engine/core/typed_record.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_node.h"
#include "engine/index/semaphore_file.h"

namespace xb {

namespace {

// ---- engine-wide settings: exact and found ----------------------------------------------------------------

struct SearchSettings final : UnitState {
    bool exact = false;
    bool found = false;
};

SearchSettings& settings() {
    return Engine::current().unit<SearchSettings>();
}

void setFound(bool on) {
    settings().found = on;
}

// ---- nodes ------------------------------------------------------------------------------------------------

uint32_t pointerAt(const uint8_t* node, uint16_t item, int slot) {
    return GetU32(NodeEntry(node, item, slot));
}

// Reads the node at block, checked (a damaged tree cannot send a descent outside its node or the file).
bool readNode(MdxArea& area, MdxTag& tag, uint32_t block, uint8_t* buffer) {
    if (block == 0) {
        SetEngineError(
            254, "Invalid Node Number (0) in DBF Area " + std::to_string(Engine::current().currentArea));
        return false;
    }
    return SeekAndRead(area, tag, block, buffer);
}

// Where a descent goes in a node.
enum class Aim { First, Last, Key };

// The position of key in a node: -1 before the first entry (or an empty node), -2 after the last, else
// the first entry whose key is not below the key.
int keyPosition(const MdxTag& tag, const uint8_t* node, const uint8_t* key) {
    const uint16_t item = tag.header.itemLength();
    const int count = NodeCount(node);
    if (count == 0) return -1;
    const int first = tag.order.compare(key, NodeEntry(node, item, 0) + 4);
    if (first < 0) return -1;
    if (first == 0) return 0;
    if (tag.order.compare(key, NodeEntry(node, item, count - 1) + 4) > 0) return -2;
    int lo = 1, hi = count - 1;  // the answer lies in 1..count-1
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (tag.order.compare(NodeEntry(node, item, mid) + 4, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Descends from block to a leaf, pushing every node on the tag's path (which holds the levels above),
// and makes the leaf the tag's current node. rawPos receives the leaf position of a key descent (-1, -2
// or the entry); for First and Last the position is the first or last entry (-1 in an empty leaf).
bool descendFrom(MdxArea& area, MdxTag& tag, uint32_t block, Aim aim, const uint8_t* key, int& rawPos) {
    const uint16_t item = tag.header.itemLength();
    for (;;) {
        if (tag.path.size() >= static_cast<size_t>(kMaxTreeDepth)) {
            SetEngineError(222,
                           "Error reading index file: " + tag.tagText() + " tree too deep [SeekAndRead]");
            return false;
        }
        MdxPathLevel level;
        level.block = block;
        if (!readNode(area, tag, block, level.node.data())) return false;
        tag.path.push_back(level);
        const uint8_t* node = tag.path.back().node.data();
        const int count = NodeCount(node);
        int slot;
        if (aim == Aim::First) {
            rawPos = count == 0 ? -1 : 0;
            slot = 0;
        } else if (aim == Aim::Last) {
            rawPos = count - 1;
            slot = NodeIsLeaf(node, item) ? std::max(count - 1, 0) : count;
        } else {
            rawPos = keyPosition(tag, node, key);
            slot = rawPos == -1 ? 0 : rawPos == -2 ? count : rawPos;
        }
        if (NodeIsLeaf(node, item)) {
            tag.node = tag.path.back().node;
            tag.nodeBlock = block;
            return true;
        }
        block = pointerAt(node, item, slot);
    }
}

bool descend(MdxArea& area, MdxTag& tag, Aim aim, const uint8_t* key, int& rawPos) {
    tag.path.clear();
    tag.nodeBlock = 0;
    if (!descendFrom(area, tag, tag.header.root(), aim, key, rawPos)) {
        TagForgetPosition(tag);
        return false;
    }
    return true;
}

// The slot of child in a branch node, -1 when it is not there or there twice (a damaged node, which would
// make a walk go round).
int childSlot(const uint8_t* node, uint16_t item, uint32_t child) {
    int found = -1;
    for (int s = 0; s <= NodeCount(node); ++s) {
        if (pointerAt(node, item, s) != child) continue;
        if (found >= 0) return -1;
        found = s;
    }
    return found;
}

// Moves to the next (forward) or previous leaf through the path: up to the first level where the child
// left is not the last (first) one, over to its neighbour and down along first (last) entries. Answers 1
// when moved, 0 when there is no such leaf (the tag stays where it is), -1 after reporting an error.
int neighbourLeaf(MdxArea& area, MdxTag& tag, bool forward) {
    const uint16_t item = tag.header.itemLength();
    for (size_t level = tag.path.size(); level-- > 1;) {
        const uint8_t* parent = tag.path[level - 1].node.data();
        const int slot = childSlot(parent, item, tag.path[level].block);
        if (slot < 0) {
            SetEngineError(222, "Error reading index file: " + tag.tagText() + " block " +
                                    std::to_string(tag.path[level - 1].block) + " [SeekAndRead]");
            TagForgetPosition(tag);
            return -1;
        }
        const int count = NodeCount(parent);
        if (forward ? slot >= count : slot == 0) continue;
        const uint32_t next = pointerAt(parent, item, forward ? slot + 1 : slot - 1);
        tag.path.resize(level);
        int rawPos = 0;
        if (!descendFrom(area, tag, next, forward ? Aim::First : Aim::Last, nullptr, rawPos)) {
            TagForgetPosition(tag);
            return -1;
        }
        tag.position = forward ? 0 : NodeCount(tag.node.data()) - 1;
        return 1;
    }
    return 0;
}

// Goes to a leaf that has entries in the given direction from the current leaf (an empty leaf is skipped).
int neighbourLeafWithKeys(MdxArea& area, MdxTag& tag, bool forward) {
    for (;;) {
        const int r = neighbourLeaf(area, tag, forward);
        if (r != 1 || NodeCount(tag.node.data()) > 0) return r;
    }
}

void copyCurrentKey(MdxTag& tag) {
    const uint8_t* key = TagCurrentEntryKey(tag);
    tag.currentKey.fill(0);
    if (key) std::memcpy(tag.currentKey.data(), key, tag.header.keyLength());
}

// First or last key; empty: BOF and EOF.
bool goEnd(MdxArea& area, MdxTag& tag, bool first) {
    int rawPos = 0;
    if (!descend(area, tag, first ? Aim::First : Aim::Last, nullptr, rawPos)) return false;
    tag.position = rawPos < 0 ? 0 : rawPos;
    if (NodeCount(tag.node.data()) == 0) {
        // A leaf emptied by deletions may stand at the edge of a tree that still has keys.
        const int r = neighbourLeafWithKeys(area, tag, first);
        if (r < 0) return false;
        if (r == 0) {
            tag.position = 0;
            tag.bof = tag.eof = true;
            tag.currentKey.fill(0);
            return true;
        }
    }
    tag.bof = tag.eof = false;
    copyCurrentKey(tag);
    return true;
}

bool keysEqual(const MdxTag& tag, const uint8_t* a, const uint8_t* b) {
    return tag.order.compareAscending(a, b) == 0;
}

// ---- the current area -------------------------------------------------------------------------------------

struct Current {
    WorkAreaBlock* block = nullptr;
    MdxArea* area = nullptr;
    MdxTag* tag = nullptr;
};

// The current area with its current order; reports 215 without a table and 221 without an index.
bool current(Current& c, const std::string& routine) {
    c.block = CurrentBlock();
    if (!c.block) {
        CheckDbfInUse(routine);
        return false;
    }
    c.area = CurrentMdxArea();
    c.tag = c.area ? c.area->tags[1].get() : nullptr;
    if (!c.tag) {
        SetEngineError(221, "Index not open. (DBF=" + DbfName() + ") [" + routine + "]");
        return false;
    }
    return true;
}

// A tag that answers every move with BOF, EOF and record count + 1.
bool holdsNoKeys(const WorkAreaBlock& b, const MdxTag& tag) {
    return b.recCount < 1 || TagUnsatisfiedFor(tag);
}

int32_t emptyAnswer(const WorkAreaBlock& b, MdxTag& tag) {
    tag.bof = tag.eof = true;
    return b.recCount + 1;
}

// Before next and prior: another station's change re-reads the headers, the current record and puts the
// order back on it.
// False when the headers could not be read again. A record the order cannot be put back on is reported
// and the order continues from where the search of its key left it.
bool resyncAfterChange(Current& c) {
    bool changed = false;
    if (!ReadChangedAnchors(&changed)) return false;
    // A read thrown away left the order nowhere: it is put back on the area's record as after a change.
    changed = changed || c.area->repositionNeeded;
    c.area->repositionNeeded = false;
    if (!changed) return true;
    WorkAreaBlock& b = *c.block;
    RefreshRecCount(b, kCountFromFile);
    if (b.recNo < 1) return true;
    if (b.recNo > b.recCount) {
        b.recNo = b.recCount + 1;
        b.eof = true;
        c.tag->eof = true;
        c.tag->position = kEndPosition;
        return true;
    }
    if (Dbf4RawGo(b.recNo) && !c.area->naturalOrder) SoftSyncIndex();
    return true;
}

// A walk meets each key once: a tag holds no more keys than the table has rows, so more steps in one
// direction than that, with no change of another station seen between, go round a damaged tree (a
// cycle, or keys that are not their rows'), and are reported as damage, for a rebuild to mend.
bool countStep(Current& c, int direction) {
    MdxTag& tag = *c.tag;
    if (tag.walkDirection != direction) {
        tag.walkDirection = direction;
        tag.walkSteps = 0;
    }
    WorkAreaBlock& b = *c.block;
    if (++tag.walkSteps <= int64_t{b.recCount} + 1) return true;
    RefreshRecCount(b, kCountFromFile);
    if (tag.walkSteps <= int64_t{b.recCount} + 1) return true;
    SetEngineError(222, "Error reading index file: a walk meets more keys than the " + std::to_string(b.recCount) +
                            " rows" + tag.tagText() + " (DBF=" + DbfName() + ")" + kIndexMayBeDamaged);
    return false;
}

void walkPlaced(MdxTag& tag) {
    tag.walkDirection = 0;
    tag.walkSteps = 0;
}

std::string keyBytesText(const MdxTag& tag, const uint8_t* key) {
    switch (tag.order.type) {
        case 'C':
            return std::string(reinterpret_cast<const char*>(key), tag.header.keyLength());
        case 'D':
            return JulianToDateStr(KeyToDate(key));
        default: {
            std::string s = FloatToStrDec(BcdKeyToDouble(key), 0, tag.keyExpr ? tag.keyExpr->decimals : 0);
            return AllTrim(s);
        }
    }
}

}  // namespace

// ---- the tag cursor ---------------------------------------------------------------------------------------

bool TagUnsatisfiedFor(const MdxTag& tag) {
    return tag.header.hasFor() && !tag.header.forSatisfied();
}

bool TagOnEntry(const MdxTag& tag) {
    return tag.nodeBlock != 0 && tag.position >= 0 && tag.position < NodeCount(tag.node.data());
}

uint32_t TagCurrentRecord(const MdxTag& tag) {
    if (tag.position == kEndPosition) return kEndRecord;
    if (!TagOnEntry(tag)) return 0;
    return GetU32(NodeEntry(tag.node.data(), tag.header.itemLength(), tag.position));
}

const uint8_t* TagCurrentEntryKey(const MdxTag& tag) {
    if (!TagOnEntry(tag)) return nullptr;
    return NodeEntry(tag.node.data(), tag.header.itemLength(), tag.position) + 4;
}

void TagForgetPosition(MdxTag& tag) {
    tag.path.clear();
    tag.nodeBlock = 0;
    tag.position = -1;
}

bool TagGoFirst(MdxArea& area, MdxTag& tag) {
    return goEnd(area, tag, true);
}
bool TagGoLast(MdxArea& area, MdxTag& tag) {
    return goEnd(area, tag, false);
}

bool SeekKey(MdxArea& area, MdxTag& tag, const uint8_t* key, bool insertion, bool& found) {
    found = false;
    if (!insertion && TagUnsatisfiedFor(tag)) return TagGoFirst(area, tag);
    tag.bof = tag.eof = false;
    int rawPos = 0;
    if (!descend(area, tag, Aim::Key, key, rawPos)) return false;
    const int count = NodeCount(tag.node.data());
    if (count == 0) {
        // Only an empty tree has an empty leaf on a descent's way.
        tag.position = 0;
        if (!insertion) tag.bof = tag.eof = true;
        return true;
    }
    if (rawPos == -1) {
        tag.position = 0;
    } else if (rawPos == -2) {
        if (insertion) {
            tag.position = count;
            return true;
        }
        // The separators above may let a key through that a following leaf holds.
        tag.position = count - 1;
        uint32_t record = 0;
        if (!TagStepForward(area, tag, record)) return false;
        if (tag.eof) {
            tag.position = NodeCount(tag.node.data());
            return true;
        }
    } else {
        tag.position = rawPos;
    }
    found = keysEqual(tag, key, TagCurrentEntryKey(tag));
    return true;
}

namespace {

// One step along the leaves, forward or back. At the far end the tag stands on its last (first) key with
// EOF (BOF) set, so that a step back (forward) from the end lands on that key again.
bool tagStep(MdxArea& area, MdxTag& tag, uint32_t& record, bool forward) {
    const uint32_t stood = TagCurrentRecord(tag);
    const bool inLeaf = forward ? tag.position >= 0 && tag.position + 1 < NodeCount(tag.node.data())
                                : tag.position > 0 && tag.position - 1 < NodeCount(tag.node.data());
    if (tag.nodeBlock != 0 && inLeaf) {
        tag.position += forward ? 1 : -1;
        record = TagCurrentRecord(tag);
        return true;
    }
    if (tag.nodeBlock != 0 && tag.position != kEndPosition) {
        const int r = neighbourLeafWithKeys(area, tag, forward);
        if (r < 0) return false;
        if (r == 1) {
            record = TagCurrentRecord(tag);
            return true;
        }
    }
    if (!(forward ? TagGoLast(area, tag) : TagGoFirst(area, tag))) return false;
    record = TagCurrentRecord(tag);
    bool& end = forward ? tag.eof : tag.bof;
    if (end) return true;  // no keys at all
    if (record == stood || stood == 0 || stood == kEndRecord) end = true;
    return true;
}

}  // namespace

bool TagStepForward(MdxArea& area, MdxTag& tag, uint32_t& record) {
    return tagStep(area, tag, record, true);
}

bool TagStepBack(MdxArea& area, MdxTag& tag, uint32_t& record) {
    return tagStep(area, tag, record, false);
}

bool BuildTagKey(const WorkAreaBlock& block, const MdxTag& tag, uint8_t* key) {
    if (!tag.keyExpr) return false;
    const uint16_t length = tag.header.keyLength();
    const uint8_t* r = EvaluateExpr(tag.keyExpr);
    switch (tag.order.type) {
        case 'C': {
            const size_t n = r ? std::min<size_t>(tag.keyExpr->resultTextLength, length) : 0;
            if (n) std::memcpy(key, r, n);
            std::memset(key + n, ' ', length - n);
            if (block.oem) AnsiToOemBuf(reinterpret_cast<char*>(key), length, StoredCodePage(block));
            return true;
        }
        case 'D': {
            double v = kBlankDate;
            if (r) std::memcpy(&v, r, sizeof v);
            DateToKey(v, key);
            return true;
        }
        default: {
            double v = 0;
            if (r) std::memcpy(&v, r, sizeof v);
            FloatToBcdKey(v, tag.keyExpr->decimals, key);
            return true;
        }
    }
}

bool TagForHolds(const MdxTag& tag) {
    if (!tag.forExpr) return true;
    const uint8_t* r = EvaluateExpr(tag.forExpr);
    return r && r[0] != 0;
}

// ---- the area routines ------------------------------------------------------------------------------------

bool ReadChangedAnchors(bool* changed) {
    if (changed) *changed = false;
    MdxArea* area = CurrentMdxArea();
    if (!area || !SemaphoreIndexChanged()) return true;
    // Unread headers leave the counter unseen, so that the next positioning tries again.
    if (!ReadAnchorNodes()) return false;
    SemaphoreMarkSeen();
    if (changed) *changed = true;
    // Nodes kept on the paths may have been rewritten by the other station, and it may have appended:
    // under an order the count is brought up to date here, when the index says it may have changed.
    for (int s = 1; s <= kMaxTags; ++s)
        if (MdxTag* tag = area->tags[s].get()) {
            TagForgetPosition(*tag);
            walkPlaced(*tag);
        }
    if (WorkAreaBlock* b = CurrentBlock()) RefreshRecCount(*b, kCountFromFile);
    return true;
}

int32_t _FindFirstRec() {
    setFound(false);
    Current c;
    if (!current(c, "_FindFirst/LastRec") || !ReadChangedAnchors()) return 0;
    c.area->repositionNeeded = false;
    WorkAreaBlock& b = *c.block;
    if (c.area->naturalOrder) {
        if (b.recCount < 1) return b.recCount + 1;
        setFound(true);
        return 1;
    }
    walkPlaced(*c.tag);
    if (holdsNoKeys(b, *c.tag)) return emptyAnswer(b, *c.tag);
    if (!TagGoFirst(*c.area, *c.tag)) return 0;
    if (c.tag->eof) return b.recCount + 1;
    setFound(true);
    return static_cast<int32_t>(TagCurrentRecord(*c.tag));
}

int32_t _FindLastRec() {
    setFound(false);
    Current c;
    if (!current(c, "_FindFirst/LastRec") || !ReadChangedAnchors()) return 0;
    c.area->repositionNeeded = false;
    WorkAreaBlock& b = *c.block;
    if (c.area->naturalOrder) {
        if (b.recCount < 1) return b.recCount + 1;
        setFound(true);
        return b.recCount;
    }
    walkPlaced(*c.tag);
    if (holdsNoKeys(b, *c.tag)) return emptyAnswer(b, *c.tag);
    if (!TagGoLast(*c.area, *c.tag)) return 0;
    if (c.tag->eof) return b.recCount + 1;
    setFound(true);
    return static_cast<int32_t>(TagCurrentRecord(*c.tag));
}

int32_t _FindNextRec() {
    setFound(false);
    Current c;
    if (!current(c, "_FindNextRec")) return 0;
    if (!resyncAfterChange(c)) return 0;
    WorkAreaBlock& b = *c.block;
    MdxTag& tag = *c.tag;
    if (c.area->naturalOrder) {
        if (b.recCount < 1) return b.recCount + 1;
        b.bof = false;
        if (b.recNo + 1 <= b.recCount) {
            setFound(true);
            return b.recNo + 1;
        }
        b.eof = true;
        return b.recNo;
    }
    if (holdsNoKeys(b, tag)) return emptyAnswer(b, tag);
    tag.bof = false;
    uint32_t record = 0;
    if (tag.eof) {
        // Past the end the order stays there, on the end position, naming the last key's record.
        if (!TagGoLast(*c.area, tag)) return 0;
        if (tag.eof) return b.recCount + 1;
        record = TagCurrentRecord(tag);
        tag.position = kEndPosition;
        tag.eof = true;
        return static_cast<int32_t>(record);
    }
    if (!TagStepForward(*c.area, tag, record)) return 0;
    if (tag.eof && tag.bof) return b.recCount + 1;  // the order lost its keys
    if (!tag.eof && !countStep(c, 1)) return 0;
    setFound(!tag.eof);
    copyCurrentKey(tag);
    return static_cast<int32_t>(record);
}

int32_t _FindPriorRec() {
    setFound(false);
    Current c;
    if (!current(c, "_FindPriorRec")) return 0;
    if (!resyncAfterChange(c)) return 0;
    WorkAreaBlock& b = *c.block;
    MdxTag& tag = *c.tag;
    if (c.area->naturalOrder) {
        if (b.recCount < 1) return b.recCount + 1;
        b.eof = false;
        const int32_t from = std::min(b.recNo, b.recCount + 1);
        if (from - 1 >= 1) {
            setFound(true);
            return from - 1;
        }
        b.bof = true;
        return b.recNo;
    }
    if (holdsNoKeys(b, tag)) return emptyAnswer(b, tag);
    uint32_t record = 0;
    if (tag.eof || tag.position == kEndPosition) {
        // A step back from the end of the order reaches its last key.
        if (!TagGoLast(*c.area, tag)) return 0;
        if (tag.eof) return b.recCount + 1;
        if (!countStep(c, -1)) return 0;
        setFound(true);
        return static_cast<int32_t>(TagCurrentRecord(tag));
    }
    if (tag.bof) {
        if (!TagGoFirst(*c.area, tag)) return 0;
        if (tag.eof) return b.recCount + 1;
        tag.bof = true;
        return static_cast<int32_t>(TagCurrentRecord(tag));
    }
    if (!TagStepBack(*c.area, tag, record)) return 0;
    if (tag.eof && tag.bof) return b.recCount + 1;
    if (!tag.bof && !countStep(c, -1)) return 0;
    setFound(!tag.bof);
    copyCurrentKey(tag);
    return static_cast<int32_t>(record);
}

bool IndexEof() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return true;
    MdxArea* area = CurrentMdxArea();
    MdxTag* tag = area ? area->tags[1].get() : nullptr;
    if (!tag || area->naturalOrder) return b->eof;
    return tag->eof;
}

bool IndexBof() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return true;
    MdxArea* area = CurrentMdxArea();
    MdxTag* tag = area ? area->tags[1].get() : nullptr;
    if (!tag || area->naturalOrder) return b->bof;
    return tag->bof;
}

void IndexSetEof() {
    MdxArea* area = CurrentMdxArea();
    if (MdxTag* tag = area ? area->tags[1].get() : nullptr) tag->eof = true;
}

void IndexSetBof() {
    MdxArea* area = CurrentMdxArea();
    if (MdxTag* tag = area ? area->tags[1].get() : nullptr) tag->bof = true;
}

bool SetExactOn() {
    return std::exchange(settings().exact, true);
}
bool SetExactOff() {
    return std::exchange(settings().exact, false);
}
bool ExactIsOn() {
    return settings().exact;
}
bool* IndexFoundFlag() {
    return &settings().found;
}

namespace {

// Puts the area at end of file with the order on the end position.
void findMissed(WorkAreaBlock& b, MdxTag& tag) {
    ClearRecord();
    b.recNo = b.recCount + 1;
    b.eof = true;
    b.bof = false;
    tag.eof = true;
    tag.position = kEndPosition;
}

// The search key of a text in the tag's key type, and how many of its bytes must match.
void searchKey(const WorkAreaBlock& b, const MdxTag& tag, const std::string& text, uint8_t* key,
               size_t& compared) {
    const uint16_t length = tag.header.keyLength();
    compared = length;
    switch (tag.order.type) {
        case 'C': {
            const bool exact = ExactIsOn();
            std::string t = text.substr(0, length);
            if (b.oem) t = AnsiToOemStr(t, StoredCodePage(b));
            // Without exact, the key must land before every key that begins with the text: zeros after
            // it in an ascending order, the highest byte in a descending one (0xFE would pass over keys
            // that have 0xFF after the text).
            const uint8_t fill = exact ? ' ' : tag.order.descending ? 0xFF : 0x00;
            std::memset(key, fill, length);
            std::memcpy(key, t.data(), t.size());
            if (!exact) compared = t.size();
            return;
        }
        case 'D':
            DateToKey(DateStrToJulian(AllTrim(text)), key);
            return;
        default:
            StrToBcdKey(text, 0, key);
            return;
    }
}

bool matches(const MdxTag& tag, const uint8_t* key, size_t compared) {
    const uint8_t* entry = TagCurrentEntryKey(tag);
    if (!entry) return false;
    if (tag.order.type == 'C') return std::memcmp(key, entry, compared) == 0;
    return keysEqual(tag, key, entry);
}

// Reads record r into the area; a record beyond the count (a key another station's append left) is
// treated as not visible.
bool goRecord(WorkAreaBlock& b, uint32_t r, bool& visible) {
    visible = false;
    if (r < 1 || r > static_cast<uint32_t>(b.recCount))
        RefreshRecCount(b, static_cast<int32_t>(std::min<uint32_t>(r, kCountFromFile)));
    if (r < 1 || r > static_cast<uint32_t>(b.recCount)) return true;
    if (!Dbf4KeptGo(static_cast<int32_t>(r))) return false;
    b.eof = b.bof = false;
    visible = RecordVisible();
    return true;
}

}  // namespace

bool Find(const std::string& textIn) {
    setFound(false);
    Current c;
    if (!current(c, "Find")) return false;
    if (c.area->naturalOrder) {
        SetEngineError(254, "Cannot use Find() with index order 0 (natural order) [Find]");
        return false;
    }
    const std::string text = textIn.substr(0, kMaxKeyLength);
    if (text.empty()) return false;
    WorkAreaBlock& b = *c.block;
    MdxArea& area = *c.area;
    MdxTag& tag = *c.tag;

    return RunIndexRead([&]() {
        setFound(false);
        if (!ReadChangedAnchors()) return false;
        area.repositionNeeded = false;
        // The count is up to date as far as the index knows; an empty table is looked at again.
        if (b.recCount < 1) RefreshRecCount(b);
        if (holdsNoKeys(b, tag)) {
            tag.bof = tag.eof = true;
            findMissed(b, tag);
            return false;
        }

        walkPlaced(tag);
        uint8_t key[kMaxKeyLength + 1] = {};
        size_t compared = 0;
        searchKey(b, tag, text, key, compared);
        bool equal = false;
        if (!SeekKey(area, tag, key, false, equal)) return false;
        if (tag.eof && tag.bof) {  // no keys
            findMissed(b, tag);
            return false;
        }
        if (tag.eof) tag.position = NodeCount(tag.node.data()) - 1;

        bool visible = false;
        if (!goRecord(b, TagCurrentRecord(tag), visible)) return false;
        while (!visible && !tag.eof) {
            uint32_t record = 0;
            if (!TagStepForward(area, tag, record)) return false;
            if (tag.eof) break;
            if (!goRecord(b, record, visible)) return false;
        }
        copyCurrentKey(tag);
        const bool found = visible && !tag.eof && matches(tag, key, compared);
        if (!found) {
            findMissed(b, tag);
            return false;
        }
        setFound(true);
        return true;
    });
}

bool SoftSyncIndex() {
    Current c;
    if (!current(c, "SoftSyncIndex")) return false;
    WorkAreaBlock& b = *c.block;
    MdxTag& tag = *c.tag;
    uint8_t key[kMaxKeyLength + 1] = {};
    if (!BuildTagKey(b, tag, key)) return false;
    bool found = false;
    if (!SeekKey(*c.area, tag, key, false, found)) return false;
    if (found && tag.header.unique()) return true;
    const uint32_t target = static_cast<uint32_t>(b.recNo);
    while (!tag.eof && TagOnEntry(tag) && keysEqual(tag, key, TagCurrentEntryKey(tag)) &&
           TagCurrentRecord(tag) != target) {
        uint32_t record = 0;
        if (!TagStepForward(*c.area, tag, record)) return false;
    }
    if (!tag.eof && TagOnEntry(tag) && keysEqual(tag, key, TagCurrentEntryKey(tag)) &&
        TagCurrentRecord(tag) == target) {
        copyCurrentKey(tag);
        return true;
    }
    if (TagForHolds(tag)) {
        SetEngineError(212, "Record with key: \"" + keyBytesText(tag, key) + "\" not in index: " +
                                tag.tagText() + ". [SoftSyncIndex] (DBF=" + DbfName() + ")" + kIndexMayBeDamaged);
        return false;
    }
    // A record outside the FOR condition has no place in the order.
    tag.eof = true;
    tag.position = kEndPosition;
    return true;
}

namespace {

MdxTag* tagByNumber(int number) {
    MdxArea* area = CurrentMdxArea();
    if (!area) return nullptr;
    for (int s = 1; s <= kMaxTags; ++s)
        if (MdxTag* t = area->tags[s].get(); t && t->number == number) return t;
    return nullptr;
}

std::string keyText(int number) {
    MdxTag* tag = tagByNumber(number);
    if (!tag || !tag->keyExpr) return "";
    const uint8_t* r = EvaluateExpr(tag->keyExpr);
    if (!r) return "";
    switch (tag->order.type) {
        case 'C':
            return std::string(reinterpret_cast<const char*>(r),
                               std::min<size_t>(tag->keyExpr->resultTextLength, kMaxKeyLength));
        case 'D': {
            double v = 0;
            std::memcpy(&v, r, sizeof v);
            return JulianToDateStr(v);
        }
        default: {
            double v = 0;
            std::memcpy(&v, r, sizeof v);
            return FloatToStrDec(v, tag->keyExpr->resultLength, tag->keyExpr->decimals);
        }
    }
}

std::string recordText() {
    WorkAreaBlock* b = CurrentBlock();
    return "Rec:" + IntToStrWidth(b ? b->recNo : 0, 10);
}

}  // namespace

KeyTextProc TagKeyTextProc(int tagNumber) {
    if (!tagByNumber(tagNumber)) return {};
    return [tagNumber] { return keyText(tagNumber); };
}

KeyTextProc CurrentKeyTextProc() {
    MdxArea* area = CurrentMdxArea();
    MdxTag* tag = area ? area->tags[1].get() : nullptr;
    if (!tag) return {};
    if (area->naturalOrder) return recordText;
    return TagKeyTextProc(tag->number);
}

}  // namespace xb
