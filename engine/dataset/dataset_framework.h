// A small dataset framework: a dataset walks a cursor through records held in record buffers, shows the
// current record through field objects and edits it through a browse/edit/insert state machine. The
// cursor itself is abstract: a derived class supplies the record buffers, reads records forward, back
// or in place, and writes them. Data-aware views (a grid model) follow a dataset through a TDataSource.
//
// The framework keeps one active buffer (the current record) plus a scratch and a calculation buffer;
// Resync re-reads the current record from the cursor. Text crossing the framework's public API is UTF-8;
// field data in the record buffers is whatever the derived dataset stores there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace xb {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& text) : std::runtime_error(text) {}
};
[[noreturn]] void DatabaseError(const std::string& text);

enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening
};
enum class TFieldType { ftUnknown, ftString, ftInteger, ftBoolean, ftFloat, ftDate, ftTime, ftDateTime, ftMemo, ftBlob };
enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };
enum class TGetMode { gmCurrent, gmNext, gmPrior };
enum class TGetResult { grOK, grBOF, grEOF, grError };
enum class TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum class TDataAction { daFail, daAbort, daRetry };
enum class TDataEvent { deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deUpdateState };

using TResyncMode = unsigned;
constexpr TResyncMode rmExact = 1, rmCenter = 2;
using TLocateOptions = unsigned;
constexpr TLocateOptions loCaseInsensitive = 1, loPartialKey = 2;

// A field value: null, text (UTF-8), integer, real or logical. Dates travel as reals (days since
// 30 Dec 1899).
using TVariant = std::variant<std::monostate, std::string, int32_t, double, bool>;
inline bool VarIsNull(const TVariant& v) { return std::holds_alternative<std::monostate>(v); }

using TRecordBuffer = uint8_t*;
using TBookmark = std::vector<uint8_t>;  // empty = no bookmark

// Days since 30 Dec 1899 (the dataset's date value) of a calendar date and back.
double EncodeDate(int year, int month, int day);
void DecodeDate(double value, int& year, int& month, int& day);

// A byte stream with a position.
class TStream {
public:
    enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };
    virtual ~TStream() = default;
    virtual long Read(void* buffer, long count) = 0;
    virtual long Write(const void* buffer, long count) = 0;
    virtual long Seek(long offset, int origin) = 0;
    // Reads everything from the current position.
    std::string ReadAll();
};

class TDataSet;
class TField;

struct TFieldDef {
    std::string name;
    TFieldType dataType = TFieldType::ftUnknown;
    int size = 0;
    int fieldNo = 0;
};

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TDataSetErrorEvent = std::function<void(TDataSet&, const std::exception&, TDataAction&)>;
using TFieldNotifyEvent = std::function<void(TField&)>;

class TField {
public:
    explicit TField(TFieldType type, int dataSize);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    const std::string& FieldName() const { return m_name; }
    int FieldNo() const { return m_fieldNo; }
    TFieldType DataType() const { return m_type; }
    TFieldKind FieldKind() const { return m_kind; }
    int Size() const { return m_size; }
    int DataSize() const { return m_dataSize; }
    TDataSet* DataSet() const { return m_dataSet; }
    bool ReadOnly = false;
    bool Visible = true;
    int Offset = 0;  // of a calculated field's value in the calculated part of a buffer
    TFieldNotifyEvent OnChange;

    // Size checks: the base accepts 0 only; string fields any positive size.
    virtual void CheckTypeSize(int size);
    void SetSize(int size);

    bool IsNull() const;
    void Clear();
    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& text);
    virtual int32_t GetAsInteger() const;
    virtual void SetAsInteger(int32_t v);
    virtual double GetAsFloat() const;
    virtual void SetAsFloat(double v);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBoolean(bool v);
    virtual double GetAsDateTime() const;
    virtual void SetAsDateTime(double v);
    virtual TVariant GetAsVariant() const;
    virtual void SetAsVariant(const TVariant& v);
    // The text shown for the field; the base gives AsString.
    virtual std::string GetText() const { return GetAsString(); }
    void SetText(const std::string& text) { SetAsString(text); }

    // Raw access through the dataset's current buffer; false when the field holds no value.
    bool GetData(void* buffer) const;
    void SetData(const void* buffer);
    // The dataset calls this after a value changed.
    void Change();

protected:
    [[noreturn]] void TypeError(const char* to) const;

private:
    friend class TDataSet;
    std::string m_name;
    int m_fieldNo = 0;
    TFieldType m_type;
    TFieldKind m_kind = TFieldKind::fkData;
    int m_size = 0;
    int m_dataSize;
    TDataSet* m_dataSet = nullptr;
};

// Text fields keep their value as zero-terminated text of the dataset's code page in the buffer.
class TStringField : public TField {
public:
    TStringField() : TField(TFieldType::ftString, 0) {}
    void CheckTypeSize(int size) override;
    std::string GetAsString() const override;  // right-trimmed, UTF-8
    void SetAsString(const std::string& text) override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override { SetAsString(std::to_string(v)); }
    double GetAsFloat() const override;
    void SetAsFloat(double v) override;
    TVariant GetAsVariant() const override;
};

class TIntegerField : public TField {
public:
    TIntegerField() : TField(TFieldType::ftInteger, 4) {}
    std::string GetAsString() const override;
    void SetAsString(const std::string& text) override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override;
    double GetAsFloat() const override { return GetAsInteger(); }
    void SetAsFloat(double v) override;
    TVariant GetAsVariant() const override;
};

class TFloatField : public TField {
public:
    TFloatField() : TField(TFieldType::ftFloat, 8) {}
    int Precision = 15;
    std::string GetAsString() const override;
    void SetAsString(const std::string& text) override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override { SetAsFloat(v); }
    double GetAsFloat() const override;
    void SetAsFloat(double v) override;
    TVariant GetAsVariant() const override;
};

class TBooleanField : public TField {
public:
    TBooleanField() : TField(TFieldType::ftBoolean, 2) {}
    std::string GetAsString() const override;
    void SetAsString(const std::string& text) override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool v) override;
    TVariant GetAsVariant() const override;
};

// Date fields: a real day number in the buffer. Text is DD/MM/YYYY-free: the derived dataset decides the
// picture through its own field class; the base writes ISO text "YYYY-MM-DD".
class TDateField : public TField {
public:
    TDateField() : TField(TFieldType::ftDate, 8) {}
    std::string GetAsString() const override;
    void SetAsString(const std::string& text) override;
    double GetAsDateTime() const override;
    void SetAsDateTime(double v) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    TVariant GetAsVariant() const override;
};

// Memo and blob fields are read and written through the dataset's blob stream.
class TBlobField : public TField {
public:
    explicit TBlobField(TFieldType type = TFieldType::ftBlob) : TField(type, 0) {}
    void CheckTypeSize(int) override {}
    std::string GetAsString() const override;
    void SetAsString(const std::string& text) override;
    TVariant GetAsVariant() const override;
};
class TMemoField : public TBlobField {
public:
    TMemoField() : TBlobField(TFieldType::ftMemo) {}
};

// Links views to a dataset: they hear of scrolls, record and state changes.
class TDataSource {
public:
    explicit TDataSource(TDataSet* dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;
    void SetDataSet(TDataSet* dataSet);
    TDataSet* DataSet() const { return m_dataSet; }
    std::function<void(TDataEvent)> OnDataChange;
    std::function<void()> OnStateChange;

private:
    friend class TDataSet;
    TDataSet* m_dataSet = nullptr;
};

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    std::string Name;

    // Opening and closing.
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    virtual void SetActive(bool on);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return m_state; }

    // Navigation.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    virtual bool IsEmpty();
    int RecordCount();
    int RecNo();
    void SetRecNoValue(int n) { SetRecNo(n); }
    void Resync(TResyncMode mode);
    void Refresh();
    bool FindFirst() { return FindRecord(true, true); }
    bool FindLast() { return FindRecord(true, false); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }

    // Editing.
    void Edit();
    void Insert();
    void Append();
    virtual void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    void CheckActive() const;
    bool CanModify() { return GetCanModify(); }

    // Bookmarks.
    TBookmark GetBookmark();
    void GotoBookmark(const TBookmark& bookmark);
    virtual bool BookmarkValid(const TBookmark& bookmark);
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);

    // Search.
    virtual bool Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues, TLocateOptions options);
    virtual std::vector<TVariant> Lookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                                         const std::string& resultFields);

    // Fields.
    std::vector<TFieldDef>& FieldDefs() { return m_fieldDefs; }
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField& Fields(int i) { return *m_fields.at(static_cast<size_t>(i)); }
    TField* FindField(const std::string& name);
    TField& FieldByName(const std::string& name);
    // A calculated field, added before the dataset opens; OnCalcFields gives its value.
    TField& AddCalculatedField(const std::string& name, TFieldType type, int size = 0);
    virtual bool GetFieldData(const TField& field, void* buffer);
    virtual void SetFieldData(TField& field, const void* buffer);
    virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);
    virtual bool GetCurrentRecord(TRecordBuffer buffer);
    bool AutoCalcFields = true;

    // Filtering as the cursor applies it.
    bool Filtered = false;
    std::string Filter;

    // Events.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
        AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll,
        AfterScroll, BeforeRefresh, AfterRefresh, OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;

    // The view links.
    void DataEvent(TDataEvent event);

    // Text fields hold the dataset's own code page in the buffers; these convert to and from UTF-8.
    virtual std::string StoredToUtf8(const std::string& stored) const { return stored; }
    virtual std::string Utf8ToStored(const std::string& utf8) const { return utf8; }

protected:
    // The cursor protocol a derived dataset implements.
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual int GetRecordSize() = 0;
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
    virtual void InternalClose() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalGotoBookmark(const void* bookmark) = 0;
    virtual void InternalHandleException();
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    virtual void InternalLast() = 0;
    // Where an append starts: at the end, so that the new row follows the last one. A dataset whose
    // append does not depend on the cursor's place may skip the move.
    virtual void InternalLastBeforeAppend() { InternalLast(); }
    virtual void InternalOpen() = 0;
    virtual void InternalPost() = 0;
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual bool IsCursorOpen() = 0;

    virtual void ClearCalcFields(TRecordBuffer buffer);
    virtual void CloseCursor();
    virtual void OpenCursor();
    virtual void DoOnNewRecord();
    virtual bool FindRecord(bool restart, bool goForward);
    virtual int GetRecordCount();
    virtual int GetRecNo();
    virtual void SetRecNo(int n);
    virtual void InternalEdit() {}
    virtual void InternalRefresh() {}
    virtual void InternalCancel() {}
    virtual bool IsSequenced() { return true; }
    virtual bool GetCanModify() { return true; }
    virtual std::unique_ptr<TField> CreateFieldOfClass(TFieldType type);
    virtual void DoAfterScroll();
    virtual void DoAfterCancel();
    virtual void DoBeforeScroll();
    virtual void SetFiltered(bool on) { Filtered = on; }

    // Helpers for derived classes.
    TRecordBuffer ActiveBuffer() const { return m_active; }
    TRecordBuffer CalcBuffer() const { return m_calc; }
    TRecordBuffer TempBuffer() const { return m_temp; }
    bool HasActiveRecord() const { return m_hasRecord; }
    void SetState(TDataSetState state);
    void SetTempState(TDataSetState state) { m_state = state; }
    void ClearBuffers();
    void UpdateCursorPos();
    void CursorPosChanged() { m_cursorValid = false; }
    void SetBofEof(bool bof, bool eof) {
        m_bof = bof;
        m_eof = eof;
    }
    void CreateFields();
    void DestroyFields();
    void CalculateFields(TRecordBuffer buffer);
    int CalcFieldsSize() const { return m_calcFieldsSize; }
    int BookmarkSize = 4;
    int BlobFieldCount() const;
    void SetModifiedFlag() { m_modified = true; }
    // Lets the buffers go and marks the dataset closed without calling anything virtual or any event;
    // for destructors.
    void ReleaseBuffers() {
        freeBuffers();
        m_state = TDataSetState::dsInactive;
    }
    bool Modified() const { return m_modified; }
    bool m_designing = false;
    std::vector<TDataSource*> m_sources;

private:
    friend class TDataSource;
    void allocBuffers();
    void freeBuffers();
    void beginInsertAppend(bool append);
    void fetchFirst(bool fromEnd);
    void runChecked(void (TDataSet::*op)(), const TDataSetErrorEvent& handler);
    void openImpl();
    void closeImpl();

    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<TFieldDef> m_fieldDefs;
    std::vector<std::unique_ptr<TField>> m_fields;  // data fields from the definitions, then calculated
    std::vector<std::unique_ptr<TField>> m_calcFields;
    int m_calcFieldsSize = 0;
    TRecordBuffer m_active = nullptr;
    TRecordBuffer m_temp = nullptr;
    TRecordBuffer m_calc = nullptr;
    TRecordBuffer m_saved = nullptr;  // the record shown before an insert
    bool m_hasRecord = false;
    bool m_savedHasRecord = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_cursorValid = false;
    bool m_modified = false;
    bool m_defaultFields = false;
};

}  // namespace xb
