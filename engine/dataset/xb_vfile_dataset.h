// TXbLLDataSet and TXbVFile: a dataset over an in-memory virtual file (virtual_file.h). The table is
// described by DbfFields like any other dataset, but opened as a virtual work area over a typed record
// buffer the dataset owns, written without locks, optionally loaded from the DBF file DbfFileName when it
// opens and saved to it when it closes. The application fills its work tables (standings, scorers...) in
// FIFO mode and sorts them by setting AppendMode to ASCENDING or DESCENDING; the KeyMaker gives the key
// of the record the dataset's fields show while it runs.
//
// Typed record of a virtual file: the deletion flag, then per field C width + 1 (length-prefixed text),
// D 11 (length-prefixed date text), N/F with decimals 8 (double), without 4 (int32), L 1; M fields are
// held as N 10 without decimals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/virtual_file.h"
#include "engine/dataset/xb_dataset.h"

namespace xb {

class TXbLLDataSet : public TXbCDataSet {
public:
    explicit TXbLLDataSet(bool designing = false);
    ~TXbLLDataSet() override;

    // Load from DbfFileName when the dataset opens; save to it when it closes after a write.
    bool PopulateFromDisk = false;
    bool SaveToDisk = false;
    // The key of the record the fields show; only the first 100 characters count. Unassigned: the first
    // field's value.
    TXbKeyMaker KeyMaker;

    LStatusType AppendMode() const { return m_appendMode; }
    // Set by every write through the dataset; cleared by a load and a save.
    bool IsModified() const { return m_modified; }

    void SetActive(bool on) override;

    // Opens the virtual area in the selected area from DbfFields; false for a missing field list or a
    // malformed line.
    bool OpenVirtualFile();
    // The key of the record in the typed buffer (the key callback of the area). Never selects an area:
    // the sort runs it while the engine's sort area holds the same buffer.
    std::string DoOnKeymake();
    // Appends the records of DbfFileName (when it exists) by the append mode. A table whose field types,
    // widths or decimals differ is refused with 266 and nothing is loaded.
    bool ReadFromDisk();
    // Writes every record, in the virtual file's order, to DbfFileName (when set): into a fresh file
    // beside it, renamed over it only once complete, so a failure leaves the old file as it was.
    bool WriteToDisk();

    // A virtual file is private to the process: the command layer's locks always succeed and unlocking
    // has nothing to do.
    bool ALock() override { return true; }
    bool RLock() override { return true; }
    bool UnLock() override { return true; }

    bool OpenTable(const std::string& fileName) override;
    bool AppendWithLock() override;
    bool DeleteWithLock() override;
    bool RestoreWithLock() override;
    bool ReplaceWithLock() override;
    bool MemoAsNumber() override { return true; }
    void MarkModified() override { m_modified = true; }
    void CloseHook() override;
    int XbiClose() override;

protected:
    bool GetCanModify() override { return true; }

    LStatusType m_appendMode = LStatusType::FIFO;

private:
    struct FieldSlot {
        char type;
        int width;
        int decimals;
        size_t offset;
    };
    // Steps after the open: modes, key callback, load.
    bool afterOpen();
    std::string defaultKey() const;
    // One of the unlocked writes, in the dataset's area.
    bool write(const char* opName, bool (*op)(), bool refresh);

    bool m_modified = false;
    int m_closeError = 0;  // a save that failed while closing
    std::vector<uint8_t> m_typed;
    std::vector<FieldSlot> m_layout;
};

// The component the application creates for its work tables.
class TXbVFile : public TXbLLDataSet {
public:
    explicit TXbVFile(bool designing = false) : TXbLLDataSet(designing) {}
    // Stores the mode. On an open table FIFO, LIFO and INSERTION only change where the next records go;
    // ASCENDING and DESCENDING sort the records and put the dataset on the first one.
    void SetAppendMode(LStatusType mode);
};

}  // namespace xb
