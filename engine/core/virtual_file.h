// Virtual files: work areas whose records live only in memory. `Use` opens one when the command names a
// "VIRTUAL FILE" or "LINKED LIST"; from then on the work-area layer hands every operation on the area to
// the driver installed here (go, write, delete, recall, pack, close), which keeps the records, their
// order and the append mode. The routines below act on the current area and only make sense for
// virtual files: the field list, the key callback, the append mode, removing a record and sorting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"

namespace xb {

class Engine;
struct WorkAreaBlock;

// Where an appended record goes.
enum class LStatusType : uint8_t {
    FIFO = 0,        // after the last record
    LIFO = 1,        // before the first record
    INSERTION = 2,   // before the current record
    ASCENDING = 3,   // at its place in ascending key order
    DESCENDING = 4,  // at its place in descending key order
};

// The key of the record in the area's typed buffer; only the first kMaxVFileKey characters count.
using TXbKeyMaker = std::function<std::string()>;
constexpr size_t kMaxVFileKey = 100;

// Driver operations beyond those the work-area layer issues (procedure_tables.h); nothing in the
// engine calls them, but the driver answers them.
enum VFileExtraOp : uint8_t {
    kVfPop = 6,      // copy the first record into the buffer and remove it
    kVfAppend = 7,   // add the buffer by the append mode
    kVfRemove = 10,  // remove the current record
    kVfNoOp = 11,
    kVfReset = 12,  // remove every record
};

// Installs the virtual-file driver on the engine.
void InstallVirtualFiles(Engine& engine);

// Defines the field list of the current virtual area. Names are upper-cased and cut to 10 characters;
// D fields get width 8, L width 1, and M fields become N 10 without decimals. The offsets are the
// caller's (they address the typed record).
bool AddStru(const FieldDescriptor* fields, int count);
bool AddStru(const std::vector<FieldDescriptor>& fields);
// Installs the key callback of the current virtual area (an empty function removes it).
bool Set_VFileKey_To(TXbKeyMaker keyMaker);
// The append mode of the current area; FIFO when it is not a virtual file.
LStatusType Get_VFileMode();
// Changes the append mode. A file of two or more records cannot be given a sorted mode it does not
// already have: SortVFile sorts it.
bool Set_VFileMode_To(LStatusType mode);
// Removes the current record; the next one (or the new last one) becomes current and is loaded.
bool SnipRec();
// Orders every record by the key callback, ASCENDING or DESCENDING, leaves the file in that mode and
// goes to its top.
bool SortVFile(LStatusType mode);

}  // namespace xb
