// Building MDX tags: MakeIndex writes a new index file from tag definitions, AddIndexTag builds one tag
// into the open index of the current area, ReindexRebuild rebuilds an open index from its own tag
// headers. A build reads the whole table in large blocks, sorts (key, record) items in runs of at most
// 8189, merges the runs from one temporary file and lays the B-tree down bottom-up at the end of the
// index file, each node written once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/index/mdx_format.h"

namespace xb {

// The engine-wide progress hook of builds: a callback and its step count. A step count of 0 removes it.
// With steps but no callback, the steps go to the UI seam's progress window.
using MakeIndexProgress = std::function<void()>;
void SetMakeIndexProgress(MakeIndexProgress callback, int steps);

// Spreads a build's progress calls: one every 2 x (records div steps) records read and keys written, at
// most steps calls, and the rest at the end, so that a build makes exactly steps calls.
class BuildProgress {
public:
    BuildProgress(int steps, int64_t records);
    void tick(int64_t n);  // n: the record number read, or the count of keys written
    void finish();
    int calls() const { return m_calls; }

private:
    void call();
    int m_steps;
    int64_t m_interval;
    int m_calls = 0;
};

// Sorts (key, record) items and writes them as a tag's B-tree. Items are ordered by the tag's order and,
// for equal keys, by record number; a unique tag keeps the first (lowest record number) of equal keys.
class TagBuilder {
public:
    static constexpr size_t kRunItems = 8189;

    // tempDir: where the sorted runs go once more than one run is needed.
    TagBuilder(const KeyOrder& order, bool unique, std::string tempDir);
    ~TagBuilder();
    TagBuilder(const TagBuilder&) = delete;
    TagBuilder& operator=(const TagBuilder&) = delete;

    // False after reporting a failure of the temporary file.
    bool add(const uint8_t* key, uint32_t record);
    // Writes the tree at the end of out (a node's block is twice its number counted from the old end);
    // root receives the block of the last node written. On failure the file is cut back to its old size.
    bool finish(platform::File& out, uint32_t& root, BuildProgress* progress = nullptr);
    uint64_t itemsAdded() const { return m_added; }
    // True once the items went to a temporary file (for tests of the merge).
    bool usedRuns() const { return m_runs.size() > 0; }

private:
    struct Run {
        uint64_t start = 0;
        uint64_t count = 0;
    };
    bool flushRun();
    bool removeTemp();
    int compareItems(const uint8_t* a, const uint8_t* b) const;

    KeyOrder m_order;
    bool m_unique;
    size_t m_itemSize;
    std::string m_tempDir;
    std::string m_tempName;
    // Whether the temporary file still has its name: it loses it as soon as it is open, where the file
    // system allows, so that a station that dies in the middle of a build leaves nothing behind.
    bool m_tempNamed = false;
    platform::File m_temp;
    uint64_t m_tempSize = 0;
    std::vector<uint8_t> m_pool;
    size_t m_poolItems = 0;
    std::vector<Run> m_runs;
    uint64_t m_added = 0;
};

// Builds a new index file (the current table's name with extension "mdx" when fileName is empty) with
// the tags of defs, in order, up to the first definition with an empty name. True when every tag was
// built. Leaves the index closed.
bool MakeIndex(const std::vector<TagDefinition>& defs, const std::string& fileName);
// Builds one tag into the current area's open index and adds it to the tag table. With lock set and the
// table shared, the table's file lock is held for the duration.
bool AddIndexTag(const TagDefinition& def, bool lock);
// The definitions of every tag of the current area's open index, in tag-table order.
bool ReadTagDefinitions(std::vector<TagDefinition>& defs);
// Writes every tag of the current area's open index anew to besidePath, from its own tag headers, and
// closes the area's index (also when it fails); answers the index file, the order that was current ("" for
// record-number order) and whether the area was in record order, for the caller to open it again.
// otherRows(true) runs once the index is closed and before the build, otherRows(false) after it whatever
// happened: a pack swaps in the file of its packed rows. A file not finished is removed; a finished one
// has reached the disk.
bool WriteIndexBeside(const std::string& besidePath, const std::function<void(bool)>& otherRows,
                      std::string& indexFile, std::string& currentOrder, bool& natural);
// The rebuild half of Reindex: writes the new index beside the open one (WriteIndexBeside) and renames it
// over the old file only when whole, so that a failure or a kill leaves the old index as it was.
bool ReindexRebuild(std::string& currentOrder, std::string& indexFile, bool& natural);
bool ReindexRebuild(std::string& currentOrder);
// Rebuilds every tag of the current area's open index from the table, in the file as it stands: each
// tree is laid down anew at the end of the file and its header page then points at it (the old nodes
// are left unused; a reindex gives the space back). Open tags take the new headers and forget their
// positions. For the repair of an index a dead writer left torn, under the semaphore's write lock.
// False when the file is read-only, its header or a tag page is unsound, or the build failed.
bool RebuildTagsInPlace();
// The repair of a table a writer left in the middle of its work (the semaphore's repair): the table's end
// first, under the append lock (tried once: its holder may be waiting for the write lock this station
// holds), so that the header counts every whole row and a row cut short is gone; then every tag rebuilt
// from those rows. The files then agree as a whole for every reader, exclusive opens and other programs
// included. When another station holds the append lock, the count is left to it (its next append counts
// from the file's size) or to the next open that repairs the count.
bool RepairTableAndTags();

}  // namespace xb
