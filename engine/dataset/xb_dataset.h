// TXbDataSet puts one engine work area behind the dataset framework: it implements the cursor operations
// on the area, owns the field list (DbfFields) and the structure snapshot, and converts between the
// framework's record buffer and the area's typed record. TXbCDataSet publishes the properties; the
// command layer is added on it.
//
// Record part of a buffer, field by field in table order: the deletion byte; C width + 1 (length byte
// and text); D 8 (a day number, 0 = empty); N/F with decimals 8 (double); N/F without decimals 4
// (int32); L 2 (the first byte is the logical); M 4 (the memo block number).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/navigation.h"
#include "engine/dataset/xb_prim_dataset.h"

namespace xb {

enum class TXbTableLanguage { tlOem, tlAnsi };

// One field of the structure snapshot.
struct TDTField {
    std::string name;
    char type = 'C';
    uint16_t width = 0;
    uint16_t decimals = 0;
    uint16_t offset = 0;  // in the typed record
};

// The structure of the open table, taken right after the open: the typed record it describes (the work
// area's at run time, an own copy in design state) and one item per field.
class TDbfFieldProps {
public:
    TDbfFieldProps(uint8_t* record, uint16_t copySize, std::vector<TDTField> fields);
    int Count() const { return static_cast<int>(m_fields.size()); }
    // By field number; 0 is the deletion byte (name empty, type 0, width 1, offset 0).
    std::string Name(int n) const;
    char Type(int n) const;
    int Width(int n) const;
    int Decimals(int n) const;
    int Offset(int n) const;
    uint8_t* Address(int n) const;
    uint16_t CopySize() const { return m_copySize; }

private:
    std::vector<uint8_t> m_copy;
    uint8_t* m_record;
    uint16_t m_copySize;
    std::vector<TDTField> m_fields;
};

// A field definition of a DbfFields line, with full-width numbers (narrowed only when the table is made).
struct TDbfFieldDescriptor {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
};

class TXbDataSet : public TXbPrimDataset {
public:
    explicit TXbDataSet(bool designing = false);
    ~TXbDataSet() override;

    // Properties.
    std::vector<std::string> DbfFields;
    const std::string& DbfFileName() const { return m_dbfFileName; }
    void SetDbfFileName(const std::string& name);
    bool HideDeletedRecs() const { return m_hideDeleted; }
    void SetHideDeletedRecs(bool on);
    bool ShowProgress = true;
    TXbTableLanguage TableLanguage = TXbTableLanguage::tlOem;

    TDataSetNotifyEvent BeforeRestore, AfterRestore;
    bool Loading = false;  // while the component is being loaded, property setters do not reopen

    uint8_t Area() const { return m_area; }
    TRecordBuffer ActiveRecord() const { return ActiveBuffer(); }
    // Where a data field's value sits in the active buffer; nullptr for other fields.
    uint8_t* FieldSlot(const TField& field);
    const TDbfFieldProps* FieldProps() const { return m_props.get(); }

    // Selects the dataset's area and sets the engine's ANSI flag; without an area raises engine error 1103
    // "Database is not open [<Name>.<opName>]" and answers false.
    bool BeginOperation(const char* opName);
    bool BeginOperation(const std::string& opName) { return BeginOperation(opName.c_str()); }
    int SafeGo(int32_t recNo);
    bool IsEmptyDbf();
    // Brings the dataset to the engine's position after a command.
    void SyncDatasetWithArea();

    // The area's current record into buffer. The fields are converted when one is first read or set
    // (through the calls below, FieldSlot included): a row the caller moves past unread costs one copy.
    void RecordToBuffer(TRecordBuffer buffer);
    // fieldNo -1 all fields, 0 the deletion byte only, n field n (the deletion byte always goes too).
    void BufferToRecord(TRecordBuffer buffer, int fieldNo);

    std::string GetErrorText(int code) override;
    bool IsEmpty() override;
    void Post() override;
    std::string StoredToUtf8(const std::string& stored) const override;
    std::string Utf8ToStored(const std::string& utf8) const override;
    // The code page the open table keeps its text in (see StoredCodePage); the engine's ANSI page while
    // the dataset is closed. Every text that crosses this dataset is converted through it.
    int TextCodePage() const;
    // The first character of a UTF-8 text that the table cannot hold (it would be stored as "?"), or 0.
    char32_t UnstorableChar(const std::string& utf8) const;

    // Table creation from DbfFields (at fileName, by default the dataset's own).
    bool CreateTableFromDbfFields();
    bool CreateTableFromDbfFields(const std::string& fileName);
    // False for an "X" line (skipped); fills the descriptor otherwise.
    bool ParseDbfFieldLine(const std::string& line, TDbfFieldDescriptor& d);
    void FixFieldDefinition(TDbfFieldDescriptor& d);

    // The cursor operations.
    int XbiSetToBegin() override;
    int XbiSetToEnd() override;
    int XbiOpen() override;
    int XbiClose() override;
    int32_t XbiGetRecordCount() override;
    int XbiForceReread() override;
    int XbiAppendRecord(TRecordBuffer buffer) override;
    int XbiInsertRecord(TRecordBuffer buffer) override { return XbiAppendRecord(buffer); }
    int XbiDeleteRecord() override;
    int XbiInitRecord() override;
    int XbiPostRecord(TRecordBuffer buffer) override;
    int XbiGetRecordSize() override;
    int XbiGetRecord(TRecordBuffer buffer, int32_t& recNo) override;
    int XbiGetNextRecord(TRecordBuffer buffer, int32_t& recNo) override;
    int XbiGetPriorRecord(TRecordBuffer buffer, int32_t& recNo) override;
    int XbiGetFieldData(const TField& field, TRecordBuffer buffer, void* dest, bool& hasValue) override;
    int XbiSetFieldData(const TField& field, TRecordBuffer buffer, const void* src) override;
    int XbiGoToRecNo(int32_t recNo) override { return SafeGo(recNo); }
    bool XbiLocate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                   TLocateOptions options) override;
    std::vector<TVariant> XbiLookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                                    const std::string& resultFields) override;
    int XbiGoToBookmark(const void* bookmark) override;
    int XbiGetBookmark(void* dest) override;
    int XbiCompareBookmarks(const void* a, const void* b, int& result) override;

    // Slots of the derived classes.
    virtual void DoBeforeRestore();
    virtual void DoAfterRestore();
    virtual void UpdateAreaPosition();
    virtual bool MemoAsNumber() { return false; }
    virtual void MarkModified() {}
    virtual void CloseHook() {}
    virtual bool OpenTable(const std::string& fileName) = 0;
    virtual bool AppendWithLock() = 0;
    virtual bool DeleteWithLock() = 0;
    virtual bool RestoreWithLock() = 0;
    virtual bool ReplaceWithLock() = 0;
    virtual bool EngineUsable() { return !m_designing; }

protected:
    std::unique_ptr<TField> CreateFieldOfClass(TFieldType type) override;
    void InternalCancel() override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void InternalInitFieldDefs() override;
    void DoAfterScroll() override;
    void DoAfterCancel() override;

    bool OpenArea();
    void FillDbfFieldsFromTable();
    // Shows a message of this layer (UTF-8) in a message box.
    void ShowMessage(const std::string& text);
    // The engine's pending error, or 0.
    static int PendingError();
    // Drops a pending engine error and its text.
    static void ClearPendingError();
    // Closes the dataset's area without events or exceptions; for destructors and failed opens.
    void CloseAreaQuietly();
    void TakeSnapshot();

    bool m_beforeFirst = false;
    // Set by the open, which left the area on its first row (in its order); the cursor's first
    // positioning, which follows at once, need not move there again.
    bool m_atTopAfterOpen = false;
    bool m_afterLast = false;
    std::string m_openTag, m_openKey;  // see TXbCDataSet::SetOpenKey
    bool m_openNowhere = false;        // see TXbCDataSet::SetOpenNowhere
    int m_openKeyFound = -1;           // -1: the open did not search; else whether it found the key
    // The row just appended when the current order's FOR condition leaves it out: it stays the dataset's
    // record until the area moves, so that the fill and replace that follow go to it.
    int32_t m_outsideOrder = 0;
    bool onRowOutsideOrder();

private:
    uint8_t* typed() const;
    void readCurrentRecordToBuffer(TRecordBuffer buffer, int32_t& recNo);

    uint8_t m_area = 0;
    uint16_t m_recSize = 0;
    std::string m_dbfFileName;
    bool m_hideDeleted = false;
    std::vector<uint16_t> m_offsets;  // buffer offset of field n at n - 1
    // After the fields in a buffer's record part: a byte set while the fields wait for their conversion
    // from the copy of the typed record that follows it (m_typedCopySize bytes; 0: fields are
    // converted at once, as for a record of varying size).
    int m_pendingAt = 0;
    int m_typedCopySize = 0;
    void fieldsReady(TRecordBuffer buffer);
    void convertRecord(const uint8_t* rec, TRecordBuffer buffer);
    std::unique_ptr<TDbfFieldProps> m_props;
};

// The published component.
class TXbCDataSet : public TXbDataSet {
public:
    explicit TXbCDataSet(bool designing = false) : TXbDataSet(designing) {}
    // The commands position the area themselves.
    void UpdateAreaPosition() override {}

    // ---- the command layer (xb_commands.cpp) ----
    // xBase-style commands on the dataset's work area. Text is UTF-8. Every command but the locks, GoTop,
    // IsEof, RecCount and the field getters leaves the dataset in browse state on the engine's current
    // record. Field puts go to the active buffer and the area's typed record at once; only ReplaceRec
    // writes them to the file, and a command that moves the dataset drops puts not yet replaced.
    // These names hide the engine routines of the same name inside the dataset classes: engine calls
    // there are written xb::....
    void AppendBlank();
    void DeleteRec();
    bool Pack();
    void ReplaceRec();
    void SetFilterTo(const std::string& condition);
    void SetWhileTo(const std::string& condition);
    void Skip(int n);
    void GoTop();
    bool IsEof();
    // Whether the current row is marked deleted (seen only while deleted rows are not hidden).
    bool IsDeleted();
    int RecCount();
    std::string FieldGetStr(const std::string& fieldName);
    int32_t FieldGetInt(const std::string& fieldName);
    void FieldPutStr(const std::string& fieldName, const std::string& text);
    void FieldPutInt(const std::string& fieldName, int32_t value);
    bool SetIndexTo(const std::string& indexFileName);
    bool SetOrderToTag(const std::string& tagName);
    // SetOrderToTag, unless the tag is the current order already: then the order stays on the record it
    // stands on, and the selection's index read (under the semaphore) is not made.
    bool SetOrderUnlessCurrent(const std::string& tagName);
    // The order for a seek made at once: the table is left on no row first, so that putting the order on
    // its record reads nothing (the seek reads what it finds).
    bool SetOrderForSeek(const std::string& tagName);
    // Whether the table's seeks take a row the last scan read as its next step would (see
    // WorkAreaBlock::seeksTakeScans): for a computation's reads, not for a routine that changes rows.
    void SetSeeksTakeScans(bool on);
    bool Find(const std::string& key);
    bool FindExact(const std::string& key);
    // Set before the open: the open puts the area on the first row whose key in the order tag begins
    // with key (as Find does), without going to the first row of the order on the way. With no such row
    // the dataset shows none (Eof and Bof, as an empty table) until it is moved. Right after the open,
    // FindOpenKey tells whether the row was found; after an open that could not search (no index), and
    // at any later time, it is Find(key). Set on an open dataset, it names the key FindOpenKey seeks.
    void SetOpenKey(const std::string& tag, const std::string& key);
    bool FindOpenKey();
    // Set before the open, for a caller that puts its order and seeks before it reads a row: an open
    // with an index stands on no row (Eof and Bof, as an empty table) until it is moved, instead of on
    // the first of the first tag, whose descent and rows the caller's own seek would read again.
    void SetOpenNowhere(bool on) { m_openNowhere = on; }
    void Reindex();
    // Virtual: a dataset over an in-memory table has nothing to lock.
    virtual bool ALock();
    virtual bool RLock();
    virtual bool UnLock();
    // Holds the index's write lock from BeginIndexWrites to EndIndexWrites, so that the appends and
    // replaces between them share one write bracket of the index semaphore: the lock taken, the record
    // read and written once, every index node they change written once at the end (in shared use; a
    // station killed before that leaves the semaphore's mark, and the next one rebuilds the index).
    // Other stations wait for the index meanwhile: hold it only across writes, never across a wait for
    // the user. Nests. False, with nothing held, when the lock was refused (the engine's error).
    bool BeginIndexWrites();
    void EndIndexWrites();
    // Whether no station changed the index since this dataset's last read of it (one look at the
    // semaphore); false when it cannot tell (no shared index).
    bool IndexUnchangedSinceLastRead();
    void GetMField(const std::string& fieldName, std::vector<std::string>& lines);
    void SetMField(const std::string& fieldName, const std::vector<std::string>& lines);
    void PutMField(const std::string& fieldName, const std::vector<std::string>& lines);
    // Switch the immediate dispatch of engine errors off (they stay pending) or on; the previous setting.
    static bool SetEngineErrorsOff();
    static bool SetEngineErrorsOn();
    // The number of a field of the expected type letter (C, D, L, M, N without decimals, R with decimals;
    // other letters check only that the field exists); 0 after engine error 220.
    int CheckFieldType(const std::string& opName, const std::string& fieldName, char expected);

    // With an index order the key values are sought in it; otherwise a sequential search.
    bool Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                TLocateOptions options) override;

protected:
    // For the open: the area, its index open and its count known, goes to the open key (SetOpenKey).
    // False when it could not search (the order cannot be set): the area stands nowhere then.
    bool positionOnOpenKey();

private:
    void positionArea() { UpdateCursorPos(); }
    // positionArea before a command that only reads or sets how the area reads (see xb::ResyncMove).
    void resyncArea() {
        xb::ResyncMove resync;
        UpdateCursorPos();
    }
    void dropPendingPuts();
    std::unique_ptr<SemaphoreBracket> m_indexWrites;
    int m_indexWritesDepth = 0;
    bool findKey(const char* opName, const std::string& key, bool exact);
    TField& fieldNamed(const std::string& fieldName);
    void putChecked(TField& field, const std::function<void()>& put, const std::string& shown);
};

// Runs code with engine error trapping off and puts the previous setting back, also on exceptions.
class TrappingOff {
public:
    TrappingOff();
    ~TrappingOff();
    TrappingOff(const TrappingOff&) = delete;
    TrappingOff& operator=(const TrappingOff&) = delete;

private:
    bool m_old;
};

}  // namespace xb
