// The four tables through which the work-area layer reaches the index engine, the expression compiler,
// the memo unit and the virtual files. Each unit installs its table on the engine at start-up; a table
// that is not installed means the unit is absent, and the work-area layer then works without it
// (physical order, no filter, no memo, no virtual files) or reports that the unit is missing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace xb {

struct WorkAreaBlock;
struct ExprRecord;  // a compiled expression, owned by the expression compiler

// Every entry acts on the current work area.
class IndexDriver {
public:
    virtual ~IndexDriver() = default;
    virtual bool indexIsOpen() = 0;        // 0: an index with a current order controls the area
    virtual void syncIndexOrder() = 0;     // 1: position the order on the current record (212 when missing)
    virtual int32_t indexNext() = 0;       // 2: the next key's record; the same again at the end
    virtual int32_t indexPrior() = 0;      // 3: the previous key's record; the same again at the start
    virtual int32_t indexFirst() = 0;      // 4: count + 1 when the order is empty
    virtual int32_t indexLast() = 0;       // 5: count + 1 when the order is empty
    virtual bool indexEof() = 0;           // 6
    virtual bool indexBof() = 0;           // 7
    virtual void appendNewKey() = 0;       // 8: keys of the newly appended current record
    virtual void saveOrderKey() = 0;       // 9: remember the current order's key of the current record
    virtual void saveAllKeys() = 0;        // 10: remember every tag's key of the record as stored
    virtual void updateChangedKeys() = 0;  // 11: replace the keys that changed since saveAllKeys
    virtual void indexSetBof() = 0;        // 12
    virtual void indexSetEof() = 0;        // 13
    virtual bool* indexFoundFlag() = 0;    // 14: the found flag of the last search
    virtual void reindex() = 0;            // 15: rebuild every tag of the area
    // A pack's index, written whole before its commit: every tag anew to path (beside the area's index,
    // which is closed first) from the rows of the file swapRows(true) gives the area, swapRows(false)
    // giving back the table's own; reopen says how to open the index again (reopenIndex), after the
    // commit or in place of it.
    struct IndexReopening {
        std::string file, order;
        bool natural = false;
    };
    virtual bool writeIndexBeside(const std::string& /*path*/, const std::function<void(bool)>& /*swapRows*/,
                                  IndexReopening& /*reopen*/) {
        return false;
    }
    virtual bool reopenIndex(const IndexReopening& /*reopen*/) { return true; }
    // The file of the area's open index, whatever its order; "" when none is open.
    virtual std::string indexFileName() { return {}; }
    virtual void closeIndex() = 0;         // 16: close the tags and the index file of the area
    // After the table went back to shared use (a pack held it exclusively for its work): the index file
    // is shared again and the area counts in the index semaphore again. Nothing to do without an index.
    virtual void shareIndex() {}
    virtual void setReadSemaphore(bool on) = 0;  // 23: around index reads
    virtual void setLockSemaphore(bool on) = 0;  // 24: around key work of appends and replaces
    // Optimistic reads of a shared index (RunIndexRead): how the next move reads (kReadAsItStands: no
    // semaphore, or inside a bracket already; kReadOptimistic; kReadCounted: the read bracket), whether
    // an optimistic read held, and forgetting where every order stands so that the next move puts it
    // back on the area's record.
    enum ReadWay { kReadAsItStands, kReadOptimistic, kReadCounted };
    virtual ReadWay beginIndexRead(bool /*fresh*/) { return kReadCounted; }
    virtual bool endOptimisticRead() { return true; }
    // Ends an optimistic read that read nothing of the files: it used only what earlier reads that held
    // had read, so there is nothing to look at the semaphore for.
    virtual void endUnreadOptimisticRead() {}
    virtual void forgetPositions() {}
    // The record numbers of the current order's entries from the current one on, in the direction of a
    // scan, as far as the node the order stands in holds them: what the scan reads next. False in record
    // order or when the order stands on no entry.
    virtual bool upcomingRecords(bool /*forward*/, std::vector<int32_t>& /*out*/) { return false; }
    // Moves on whenever the area learns of another station's change of the index (or throws a read
    // away): what was read under an earlier value may be older than the nodes read now.
    virtual uint64_t indexView() { return 0; }
    // After a change of the area's keys failed half-way (the table already as it must stay): every tag
    // rebuilt from the table, under the write lock the caller holds. When that fails too, the index is
    // left marked for the next station that locks it to repair (shared use); false then.
    virtual bool repairTags() { return false; }
    // A read of the area met damage of its index (a header or node overwritten from outside while it was
    // open): every tag rebuilt from the table under the write lock, taken here (the caller holds no
    // bracket of the area). False when the index cannot be rebuilt (read-only, or no sound description
    // of its tags is left): the damage stands and the read reports it.
    virtual bool repairDamage() { return false; }
};

class ParserHooks {
public:
    virtual ~ParserHooks() = default;
    // Compiles an expression over the current area; nullptr after reporting its own error.
    virtual ExprRecord* compile(const std::string& text) = 0;
    // Frees a compiled expression and sets the variable to nullptr.
    virtual void free(ExprRecord*& expr) = 0;
    // Evaluates on the current record; the first byte of the result is the logical value.
    virtual const uint8_t* evaluate(ExprRecord*& expr) = 0;
    virtual std::string expressionText(const ExprRecord* expr) = 0;
};

// A memo bound for LOCATE's memo search: the whole text as stored, in the table's code page.
struct MemoLineReader {
    std::string text;
};

// What a table pack hands the memo unit: the packed table, written to a temporary file and not yet
// committed, whose memo fields still hold the old block numbers.
struct MemoPackJob {
    platform::File* packedTable = nullptr;  // open read/write; header and kept records as in the table
    int32_t keptCount = 0;
    std::string tempMemoPath;  // where the packed memo file is to be written
    // The table's own number of each packed record (empty: the same numbers), so that an error names
    // the row the user knows.
    std::vector<int32_t> tableRecords;
};

class MemoHooks {
public:
    virtual ~MemoHooks() = default;
    virtual bool assignMemo(MemoLineReader& reader, int field) = 0;  // 0
    // 1: writes the memos the packed records refer to into job.tempMemoPath (flushed) and stores their
    // new block numbers in the packed table. Touches neither the table nor its memo file: the caller
    // commits both. Leaves an error code on failure.
    virtual void packMemofile(MemoPackJob& job) = 0;
    virtual void useMemofile() = 0;    // 2: leaves an error code on failure
    virtual void closeMemofile() = 0;  // 3
    // 4 to 7 are not called by the work-area layer. The copies return the new block number (0 on failure
    // or for block 0); the same-block copy keeps the source's number when that place is still free.
    virtual int32_t copyMemoToEnd(int /*sourceArea*/, int32_t /*block*/) { return 0; }      // 4
    virtual int32_t copyMemoSameBlock(int /*sourceArea*/, int32_t /*block*/) { return 0; }  // 5
    virtual bool zapMemofile() { return false; }                                            // 6
    virtual int32_t addMemo(const std::string& /*text*/) { return 0; }                      // 7
};

// Operations the work-area layer issues on a virtual area; the code and argument are stored in the
// area's block before the call.
enum VFileOp : uint8_t {
    kVfClose = 1,
    kVfDelete = 2,
    kVfGet = 3,
    kVfOpen = 4,
    kVfPack = 5,
    kVfPut = 8,
    kVfRecall = 9,
};

class VFileDriver {
public:
    virtual ~VFileDriver() = default;
    virtual void call(WorkAreaBlock& area) = 0;
};

// The engine's slots for the four tables.
struct ProcedureTables {
    std::unique_ptr<IndexDriver> index;
    bool indexLinked = false;
    std::unique_ptr<ParserHooks> parser;
    bool parserLinked = false;
    std::unique_ptr<MemoHooks> memo;
    std::unique_ptr<VFileDriver> vfile;
};

}  // namespace xb
