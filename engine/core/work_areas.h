// Numbered work areas: 35 slots (1..33 for users, 34 and 35 for the engine), the current area, the
// per-area control block and the xBase commands that open, select and close tables and describe their
// fields. The commands act on the current engine's current area.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/procedure_tables.h"

namespace xb {

constexpr int kAreaCount = 35;
constexpr int kUserAreas = 33;

enum class LockState : uint8_t { None = 0, Append = 1, Records = 2 };

// The index engine's part of a block; it derives its own state from this.
struct IndexArea {
    virtual ~IndexArea() = default;
};
// The memo unit's part of a block.
struct MemoArea {
    virtual ~MemoArea() = default;
};
// The virtual-file driver's part of a block (its records).
struct VirtualArea {
    virtual ~VirtualArea() = default;
};

struct WorkAreaBlock : TableBlock {
    uint8_t* typed = nullptr;  // the caller's typed record buffer, or ownedTyped
    uint16_t typedSize = 0;
    bool ownsTyped = false;
    std::vector<uint8_t> ownedTyped;
    ExprRecord* filter = nullptr;
    std::string alias;
    ExprRecord* whileExpr = nullptr;
    LockState lockState = LockState::None;
    // Set once the record count was read from the file under the append lock still held: nobody else
    // appends until it is released, so the count stays exact through this area's own appends and is
    // not read again (RefreshRecCount).
    bool countUnderAppendLock = false;
    // The failure of the header write an append made before its index's release (see the index driver):
    // the release of the append lock reports it rather than writing again, and the close writes the
    // header, as after a failure of the release's own write.
    uint16_t countWriteFailure = 0;
    uint16_t lockCount = 0;
    std::list<int32_t> lockList;  // record numbers, newest first
    std::vector<uint8_t> swap;    // a second typed record for Replace
    bool exclusive = false;
    bool reopened = false;        // ReopenDbfFile changed the mode Use gave
    // The area is being closed: its table's handle goes next, and every lock of it with the handle.
    bool closing = false;
    int readSemaphoreDepth = 0;   // nesting of the index engine's read bracket on this area
    int lockSemaphoreDepth = 0;   // nesting of its lock bracket
    std::unique_ptr<IndexArea> indexArea;
    std::unique_ptr<MemoArea> memoArea;
    std::unique_ptr<VirtualArea> virtualArea;
};

// The engine's table of areas.
struct AreaTable {
    std::unique_ptr<WorkAreaBlock> blocks[kAreaCount + 1];  // slot 0 unused
};

// What opening a table asks for. Use parses the text of a USE command into one; the dataset layer and
// the engine's own callers fill one directly, so that a path may hold any character and any word.
struct UseRequest {
    std::string path;  // the table file; "dbf" is added when the name has no extension
    bool exclusive = false;
    std::string alias;  // empty: the table's base name in upper case
    uint16_t openMode =
        0xFFFF;                // the file mode to open with instead of the one exclusive gives; 0xFFFF = none
    bool countRepair = false;  // the record count comes from the file size
    // False: the area is left before its first record, for a caller that positions it itself at once
    // (an index opened next goes to its first key), so that the open reads no record for nothing.
    bool top = true;
    // With a mode that cannot write: the table alone, its rows as they stood at the open (see
    // WorkAreaBlock::snapshot), without its memo file (a memo field reads as having none).
    bool snapshot = false;
};

// Opens request.path in the current area (closing what it holds) with the typed record in buffer (an
// owned one when buffer is nullptr and size 0) and the optional translation of the record bytes.
bool UseTable(const UseRequest& request, void* buffer = nullptr, size_t size = 0,
              TranslateProc readProc = nullptr, TranslateProc writeProc = nullptr);
// The USE command: "path [EXCLUSIVE] [ALIAS name]" with the keywords in any case, or a virtual file
// ("... LINKED LIST" / "... VIRTUAL FILE"). A path in double quotes may hold blanks and those words;
// unquoted, the words are taken out wherever they stand. The open-mode and record-count settings of
// the engine fill the rest of the request.
bool Use(const std::string& command, void* buffer, size_t size);
bool UseEx(const std::string& command, void* buffer, size_t size, TranslateProc readProc, TranslateProc writeProc);
// The request a USE command's text (not a virtual file) stands for.
UseRequest ParseUseCommand(const std::string& command);
bool Select(int n);
int SelectedArea();
void CloseDatabase();
void CloseAllDatabases();
std::string DbfName();
bool CheckDbfInUse(const std::string& routine);
IndexArea* CurrentIndexArea();
// The current area's block; nullptr when the area is empty.
WorkAreaBlock* CurrentBlock();
WorkAreaBlock* AreaBlock(int n);

int FieldCount();
std::string Field(int n);
int FieldNo(const std::string& name);
char FieldType(int n);
int FieldLen(int n);
int FieldDec(int n);
uint8_t* FieldAddress(int n);
bool Deleted();
int RecSize();
void ClearRecord();
void LoadRecordBuffer();
void StoreRecordBuffer();

// The physical first record (the start of navigation when no index controls the area).
bool GoTopPhysical();

// Closes the engine's own areas 34 and 35 and then every user area; run at the end of the run.
void CloseEngineAreas();

// Makes area n current for its lifetime and puts the previous current area back when it ends, also when
// an exception leaves the scope.
class CurrentAreaScope {
public:
    explicit CurrentAreaScope(int n);
    ~CurrentAreaScope();
    CurrentAreaScope(const CurrentAreaScope&) = delete;
    CurrentAreaScope& operator=(const CurrentAreaScope&) = delete;

private:
    uint8_t m_saved;
};

}  // namespace xb
