// Test scaffolding for index maintenance: opening an MDX file with its tags compiled and an index driver
// whose write entries are the maintenance routines, so that Append, Replace and Go drive them as the
// engine's own driver will. Navigation entries answer record-number order.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/mdx_build.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_update.h"
#include "engine/index/semaphore_file.h"

namespace xbtest {

// Opens the index file of the current area and every tag in it, tag 1 the current order.
inline bool OpenTestIndex(const std::string& path) {
    if (!xb::CreateMdxHeader(path)) return false;
    xb::MdxArea* area = xb::CurrentMdxArea();
    for (int n = 1; n <= area->header.tagCount(); ++n) {
        auto tag = std::make_unique<xb::MdxTag>();
        tag->number = n;
        tag->name = area->header.tagName(n);
        if (area->file.readAt(static_cast<uint64_t>(area->header.tagBlock(n)) * xb::kMdxBlockSize,
                              tag->header.bytes.data(), xb::kTagHeaderCopySize) != 0)
            return false;
        tag->order = tag->header.order();
        tag->keyExpr = xb::AssignExpr(tag->header.keyExpr());
        if (!tag->keyExpr) return false;
        if (tag->header.hasFor()) {
            tag->forExpr = xb::AssignExpr(tag->header.forExpr());
            if (!tag->forExpr) return false;
        }
        area->tags[n] = std::move(tag);
    }
    return true;
}

// Writes what changed and drops the current area's index state.
inline void CloseTestIndex() {
    xb::WorkAreaBlock* b = xb::CurrentBlock();
    xb::MdxArea* area = xb::CurrentMdxArea();
    if (!area) return;
    for (auto& t : area->tags) {
        if (!t) continue;
        if (t->headerChanged) xb::WriteAnchor(*area, *t);
        xb::FreeExpr(t->keyExpr);
        xb::FreeExpr(t->forExpr);
    }
    xb::FlushMdxHeader(*area);
    area->file.close();
    b->indexArea.reset();
}

class TestIndexDriver : public xb::IndexDriver {
public:
    bool found = false;
    bool indexIsOpen() override {
        xb::MdxArea* a = xb::CurrentMdxArea();
        return a && a->tags[1];
    }
    void syncIndexOrder() override { xb::SyncIndex(); }
    int32_t indexNext() override { return step(1); }
    int32_t indexPrior() override { return step(-1); }
    int32_t indexFirst() override { return 1; }
    int32_t indexLast() override { return xb::CurrentBlock()->recCount; }
    bool indexEof() override { return xb::CurrentBlock()->eof; }
    bool indexBof() override { return xb::CurrentBlock()->bof; }
    void appendNewKey() override { xb::AppendNewKey(); }
    void saveOrderKey() override { xb::SaveOrderKey(); }
    void saveAllKeys() override { xb::SaveAllKeys(); }
    void updateChangedKeys() override { xb::UpdateChangedKeys(); }
    void indexSetBof() override {}
    void indexSetEof() override {}
    bool* indexFoundFlag() override { return &found; }
    void reindex() override {}
    bool repairTags() override { return xb::RebuildTagsInPlace(); }
    void closeIndex() override { CloseTestIndex(); }
    void setReadSemaphore(bool on) override { xb::SetReadSemaphoreProc(on); }
    void setLockSemaphore(bool on) override { xb::SetLockSemaphoreProc(on); }

private:
    static int32_t step(int d) {
        xb::WorkAreaBlock* b = xb::CurrentBlock();
        return b->recNo + d;
    }
};

inline void InstallTestIndexDriver(xb::Engine& e) {
    e.tables.index = std::make_unique<TestIndexDriver>();
    e.tables.indexLinked = true;
}

}  // namespace xbtest
