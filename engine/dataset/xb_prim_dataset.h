// TXbPrimDataset: the dataset framework's buffer, bookmark and navigation protocol on top of a set of
// cursor operations (the Xbi operations) that a derived class implements over some record source. It
// knows nothing of the engine.
//
// Record buffer, in this order: the record part (XbiGetRecordSize bytes), the calculated fields (one
// has-a-value byte and the value each), 4 bytes per blob field, the record status (record number as a
// 32-bit integer, one spare byte, the bookmark flag) and the bookmark (the record number, 4 bytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/dataset/dataset_framework.h"

namespace xb {

// Result codes of the cursor operations; any other non-zero value is an engine error code.
enum : int {
    kXbiOk = 0,
    kXbiOpenFailed = 1401,  // the open failed and the engine has no error to tell
    kXbiBof = 1402,
    kXbiEof = 1403,
    kXbiNoFileName = 1404,
};

class TXbPrimDataset : public TDataSet {
public:
    TXbPrimDataset();
    ~TXbPrimDataset() override;

    // The text of a result code; the base gives the number.
    virtual std::string GetErrorText(int code);
    bool IsEmpty() override;
    // Turns a result code into an exception: 1401..1403 "Dataset error: <code>", 1404 "Missing DbfFilename
    // property", others "Dataset error: " + GetErrorText.
    void CheckXbiResult(int code);

    bool GetFieldData(const TField& field, void* buffer) override;
    void SetFieldData(TField& field, const void* buffer) override;
    bool GetCurrentRecord(TRecordBuffer buffer) override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    bool Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues, TLocateOptions options) override;
    std::vector<TVariant> Lookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                                 const std::string& resultFields) override;

    // The cursor operations, in their slot order.
    virtual int XbiSetToBegin() = 0;
    virtual int XbiSetToEnd() = 0;
    virtual int XbiOpen() = 0;
    virtual int XbiClose() = 0;
    virtual int32_t XbiGetRecordCount() = 0;
    virtual int XbiForceReread() = 0;
    virtual int XbiAppendRecord(TRecordBuffer buffer) = 0;
    virtual int XbiInsertRecord(TRecordBuffer buffer) = 0;
    virtual int XbiDeleteRecord() = 0;
    virtual int XbiInitRecord() = 0;
    virtual int XbiPostRecord(TRecordBuffer buffer) = 0;
    virtual int XbiGetRecordSize() = 0;
    virtual uint8_t XbiCursorKind() { return 2; }
    virtual int XbiGetRecord(TRecordBuffer buffer, int32_t& recNo) = 0;
    virtual int XbiGetNextRecord(TRecordBuffer buffer, int32_t& recNo) = 0;
    virtual int XbiGetPriorRecord(TRecordBuffer buffer, int32_t& recNo) = 0;
    // hasValue is false for a null value.
    virtual int XbiGetFieldData(const TField& field, TRecordBuffer buffer, void* dest, bool& hasValue) = 0;
    virtual int XbiSetFieldData(const TField& field, TRecordBuffer buffer, const void* src) = 0;
    virtual int XbiGoToRecNo(int32_t recNo) = 0;
    virtual bool XbiLocate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                           TLocateOptions options) = 0;
    virtual std::vector<TVariant> XbiLookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                                            const std::string& resultFields) = 0;
    virtual int XbiBookmarkSize() { return 4; }
    virtual int XbiGoToBookmark(const void* bookmark) = 0;
    virtual int XbiGetBookmark(void* dest) = 0;
    virtual int XbiCompareBookmarks(const void* a, const void* b, int& result) = 0;

protected:
    // The framework protocol.
    void ClearCalcFields(TRecordBuffer buffer) override;
    void CloseCursor() override;
    void DoOnNewRecord() override;
    bool FindRecord(bool restart, bool goForward) override;
    int GetRecordCount() override;
    int GetRecNo() override;
    void InternalEdit() override;
    void InternalRefresh() override;
    void OpenCursor() override;
    void SetRecNo(int n) override;
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& buffer) override;
    void GetBookmarkData(TRecordBuffer buffer, void* data) override;
    void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    int GetRecordSize() override;
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    void InternalLast() override;
    void InternalPost() override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void InternalClose() override;
    void InternalOpen() override;
    bool IsCursorOpen() override { return m_cursorOpen; }
    bool IsSequenced() override { return !Filtered; }

    // The size of the record part, as XbiGetRecordSize gave it at the open.
    int RecordPartSize() const { return m_recordPartSize; }
    int BufferSize() const { return m_recordPartSize + CalcFieldsSize() + 4 * m_blobCount + 6 + 4; }
    int32_t StatusRecNo(TRecordBuffer buffer) const;
    // The buffer the current state reads and writes; nullptr when there is none.
    TRecordBuffer StateBuffer();
    // Frees the framework's buffers without any event; for destructors.
    void ReleaseQuietly();

private:
    int statusOffset() const { return m_recordPartSize + CalcFieldsSize() + 4 * m_blobCount; }
    int bookmarkOffset() const { return statusOffset() + 6; }

    bool m_cursorOpen = false;
    int m_recordPartSize = 0;
    int m_blobCount = 0;
};

}  // namespace xb
