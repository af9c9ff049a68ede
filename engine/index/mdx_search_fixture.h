// Opening an index for the search tests and the search benchmark, before the index driver exists: the
// current table's MDX file with all its tags, tag 1 the current order, key and FOR expressions compiled.
// Also a stand-in driver that routes the work-area layer's index entries to the search routines.
#pragma once

#include <memory>
#include <string>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_search.h"
#include "engine/index/semaphore_file.h"

namespace xb::searchtest {

// Opens the index file of the current table with every tag. False after reporting.
inline bool OpenIndexForSearch(const std::string& mdxPath) {
    if (!CreateMdxHeader(mdxPath)) return false;
    MdxArea* area = CurrentMdxArea();
    if (!area) return false;
    for (int n = 1; n <= area->header.tagCount(); ++n) {
        auto tag = std::make_unique<MdxTag>();
        tag->number = n;
        tag->name = area->header.tagName(n);
        const uint64_t at = static_cast<uint64_t>(area->header.tagBlock(n)) * kMdxBlockSize;
        if (int rc = area->file.readAt(at, tag->header.bytes.data(), kTagHeaderCopySize); rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), "Unable to open index: " + mdxPath);
            return false;
        }
        tag->order = tag->header.order();
        tag->keyExpr = AssignExpr(tag->header.keyExpr());
        if (!tag->keyExpr) return false;
        if (tag->header.hasFor()) {
            tag->forExpr = AssignExpr(tag->header.forExpr());
            if (!tag->forExpr) return false;
        }
        area->tags[n] = std::move(tag);
    }
    return true;
}

// Makes tag n the current order (slot 1), parking the tag that was there in slot n; 0 selects record
// order.
inline void SelectOrderForSearch(int n) {
    MdxArea* area = CurrentMdxArea();
    if (!area) return;
    area->naturalOrder = n == 0;
    if (n == 0) return;
    int slot = 1;
    for (int s = 1; s <= kMaxTags; ++s)
        if (area->tags[s] && area->tags[s]->number == n) slot = s;
    if (slot == 1) return;
    // Back to its own slot first, then the wanted tag into slot 1 and tag 1 parked in its slot.
    const int old = area->tags[1]->number;
    std::swap(area->tags[1], area->tags[old]);
    for (int s = 1; s <= kMaxTags; ++s)
        if (area->tags[s] && area->tags[s]->number == n) slot = s;
    std::swap(area->tags[1], area->tags[slot]);
}

inline void CloseIndexForSearch() {
    MdxArea* area = CurrentMdxArea();
    if (!area) return;
    for (auto& tag : area->tags) {
        if (!tag) continue;
        FreeExpr(tag->keyExpr);
        FreeExpr(tag->forExpr);
    }
    if (WorkAreaBlock* b = CurrentBlock()) b->indexArea.reset();
}

// The work-area layer's index entries, as far as searching and moving need them. Keeps the order on
// the record the area layer went to (a record beyond the count puts the order at its end).
class SearchDriver : public IndexDriver {
public:
    bool indexIsOpen() override {
        MdxArea* a = CurrentMdxArea();
        return a && a->tags[1];
    }
    void syncIndexOrder() override {
        WorkAreaBlock* b = CurrentBlock();
        MdxArea* a = CurrentMdxArea();
        if (!b || !a || !a->tags[1] || a->naturalOrder) return;
        if (b->recNo < 1 || b->recNo > b->recCount) {
            a->tags[1]->eof = true;
            a->tags[1]->position = kEndPosition;
            return;
        }
        SoftSyncIndex();
    }
    int32_t indexNext() override { return _FindNextRec(); }
    int32_t indexPrior() override { return _FindPriorRec(); }
    int32_t indexFirst() override { return _FindFirstRec(); }
    int32_t indexLast() override { return _FindLastRec(); }
    bool indexEof() override { return IndexEof(); }
    bool indexBof() override { return IndexBof(); }
    void appendNewKey() override {}
    void saveOrderKey() override {}
    void saveAllKeys() override {}
    void updateChangedKeys() override {}
    void indexSetBof() override { IndexSetBof(); }
    void indexSetEof() override { IndexSetEof(); }
    bool* indexFoundFlag() override { return IndexFoundFlag(); }
    void reindex() override {}
    void closeIndex() override { CloseIndexForSearch(); }
    void setReadSemaphore(bool on) override { SetReadSemaphoreProc(on); }
    void setLockSemaphore(bool on) override { SetLockSemaphoreProc(on); }
};

inline void InstallSearchDriver(Engine& engine) {
    engine.tables.index = std::make_unique<SearchDriver>();
    engine.tables.indexLinked = true;
}

}  // namespace xb::searchtest
