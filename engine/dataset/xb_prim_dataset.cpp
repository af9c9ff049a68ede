#include "engine/dataset/xb_prim_dataset.h"

#include <cstring>

namespace xb {

TXbPrimDataset::TXbPrimDataset() = default;

TXbPrimDataset::~TXbPrimDataset() { ReleaseQuietly(); }

void TXbPrimDataset::ReleaseQuietly() { ReleaseBuffers(); }

std::string TXbPrimDataset::GetErrorText(int code) { return std::to_string(code); }

bool TXbPrimDataset::IsEmpty() { return TDataSet::IsEmpty(); }

void TXbPrimDataset::CheckXbiResult(int code) {
    switch (code) {
        case kXbiOk: return;
        case kXbiOpenFailed:
        case kXbiBof:
        case kXbiEof: DatabaseError("Dataset error: " + std::to_string(code));
        case kXbiNoFileName: DatabaseError("Missing DbfFilename property");
        default: DatabaseError("Dataset error: " + GetErrorText(code));
    }
}

// ---- buffers ----

TRecordBuffer TXbPrimDataset::AllocRecordBuffer() {
    auto* b = new uint8_t[static_cast<size_t>(BufferSize())];
    std::memset(b, 0, static_cast<size_t>(BufferSize()));
    return b;
}

void TXbPrimDataset::FreeRecordBuffer(TRecordBuffer& buffer) {
    delete[] buffer;
    buffer = nullptr;
}

int32_t TXbPrimDataset::StatusRecNo(TRecordBuffer buffer) const {
    int32_t n;
    std::memcpy(&n, buffer + statusOffset(), 4);
    return n;
}

void TXbPrimDataset::GetBookmarkData(TRecordBuffer buffer, void* data) {
    std::memcpy(data, buffer + bookmarkOffset(), 4);
}

void TXbPrimDataset::SetBookmarkData(TRecordBuffer buffer, const void* data) {
    std::memcpy(buffer + bookmarkOffset(), data, 4);
}

TBookmarkFlag TXbPrimDataset::GetBookmarkFlag(TRecordBuffer buffer) {
    return static_cast<TBookmarkFlag>(buffer[statusOffset() + 5]);
}

void TXbPrimDataset::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
    buffer[statusOffset() + 5] = static_cast<uint8_t>(flag);
}

int TXbPrimDataset::GetRecordSize() { return m_recordPartSize; }

void TXbPrimDataset::ClearCalcFields(TRecordBuffer buffer) {
    if (CalcFieldsSize() > 0) std::memset(buffer + m_recordPartSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

// ---- open and close ----

void TXbPrimDataset::OpenCursor() {
    // No window messages are processed here: a click handled in the middle of an open would run
    // another command on a half-open dataset.
    CheckXbiResult(XbiOpen());
    m_cursorOpen = true;
    try {
        TDataSet::OpenCursor();
    } catch (...) {
        m_cursorOpen = false;
        XbiClose();
        throw;
    }
}

void TXbPrimDataset::InternalOpen() {
    m_recordPartSize = XbiGetRecordSize();
    BookmarkSize = XbiBookmarkSize();
    InternalInitFieldDefs();
    CreateFields();
    m_blobCount = BlobFieldCount();
    XbiSetToBegin();
}

void TXbPrimDataset::CloseCursor() {
    TDataSet::CloseCursor();
    m_cursorOpen = false;
    CheckXbiResult(XbiClose());
}

void TXbPrimDataset::InternalClose() { DestroyFields(); }

// ---- navigation ----

TGetResult TXbPrimDataset::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    int32_t recNo = 0;
    int code;
    switch (mode) {
        case TGetMode::gmCurrent: code = XbiGetRecord(buffer, recNo); break;
        case TGetMode::gmNext: code = XbiGetNextRecord(buffer, recNo); break;
        default: code = XbiGetPriorRecord(buffer, recNo); break;
    }
    switch (code) {
        case kXbiOk:
            std::memcpy(buffer + statusOffset(), &recNo, 4);
            buffer[statusOffset() + 4] = 0;
            SetBookmarkFlag(buffer, TBookmarkFlag::bfCurrent);
            CalculateFields(buffer);
            SetBookmarkData(buffer, &recNo);
            return TGetResult::grOK;
        case kXbiBof: return TGetResult::grBOF;
        case kXbiEof: return TGetResult::grEOF;
        default:
            if (doCheck) CheckXbiResult(code);
            return TGetResult::grError;
    }
}

bool TXbPrimDataset::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    bool found = false;
    UpdateCursorPos();
    CursorPosChanged();
    if (restart) {
        if (goForward)
            XbiSetToBegin();
        else
            XbiSetToEnd();
    }
    int32_t recNo = 0;
    const int code = goForward ? XbiGetNextRecord(nullptr, recNo) : XbiGetPriorRecord(nullptr, recNo);
    if (code == kXbiOk) {
        Resync(rmExact | rmCenter);
        found = true;
    }
    if (found) DoAfterScroll();
    return found;
}

int TXbPrimDataset::GetRecordCount() {
    CheckActive();
    return XbiGetRecordCount();
}

int TXbPrimDataset::GetRecNo() {
    TRecordBuffer b = ActiveBuffer();
    if (!b || !HasActiveRecord()) return 0;
    return StatusRecNo(b);
}

void TXbPrimDataset::SetRecNo(int n) {
    CheckBrowseMode();
    if (n == GetRecNo()) return;
    DoBeforeScroll();
    CheckXbiResult(XbiGoToRecNo(n));
    Resync(0);
    DoAfterScroll();
}

void TXbPrimDataset::InternalEdit() {
    int32_t recNo = 0;
    CheckXbiResult(XbiGetRecord(ActiveBuffer(), recNo));
}

void TXbPrimDataset::InternalRefresh() { CheckXbiResult(XbiForceReread()); }

void TXbPrimDataset::DoOnNewRecord() {
    if (XbiGetRecordCount() < 1) ClearBuffers();
    TDataSet::DoOnNewRecord();
}

void TXbPrimDataset::InternalAddRecord(TRecordBuffer buffer, bool) { CheckXbiResult(XbiAppendRecord(buffer)); }

void TXbPrimDataset::InternalDelete() { CheckXbiResult(XbiDeleteRecord()); }

void TXbPrimDataset::InternalFirst() { CheckXbiResult(XbiSetToBegin()); }

void TXbPrimDataset::InternalLast() { CheckXbiResult(XbiSetToEnd()); }

void TXbPrimDataset::InternalGotoBookmark(const void* bookmark) { CheckXbiResult(XbiGoToBookmark(bookmark)); }

void TXbPrimDataset::InternalSetToRecord(TRecordBuffer buffer) {
    int32_t n;
    std::memcpy(&n, buffer + bookmarkOffset(), 4);
    CheckXbiResult(XbiGoToRecNo(n));
}

void TXbPrimDataset::InternalInitRecord(TRecordBuffer buffer) {
    std::memset(buffer, 0, static_cast<size_t>(BufferSize()));
    CheckXbiResult(XbiInitRecord());
}

void TXbPrimDataset::InternalPost() {
    if (State() == TDataSetState::dsEdit)
        CheckXbiResult(XbiPostRecord(ActiveBuffer()));
    else
        CheckXbiResult(XbiAppendRecord(ActiveBuffer()));
}

// ---- bookmarks ----

bool TXbPrimDataset::BookmarkValid(const TBookmark& bookmark) {
    if (!m_cursorOpen || !TDataSet::BookmarkValid(bookmark) || bookmark.size() < 4) return false;
    int32_t n;
    std::memcpy(&n, bookmark.data(), 4);
    if (n < 1 || n > XbiGetRecordCount()) return false;
    int32_t saved = GetRecNo();
    if (XbiGoToRecNo(n) != kXbiOk) return false;
    int32_t recNo = 0;
    const bool ok = XbiGetRecord(nullptr, recNo) == kXbiOk;
    CursorPosChanged();
    if (saved > 0) XbiGoToRecNo(saved);
    return ok;
}

int TXbPrimDataset::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return -1;
    if (b.empty()) return 1;
    int r = 0;
    CheckXbiResult(XbiCompareBookmarks(a.data(), b.data(), r));
    return r;
}

// ---- field data ----

TRecordBuffer TXbPrimDataset::StateBuffer() {
    switch (State()) {
        case TDataSetState::dsBrowse: return HasActiveRecord() ? ActiveBuffer() : nullptr;
        case TDataSetState::dsEdit:
        case TDataSetState::dsInsert:
        case TDataSetState::dsBlockRead: return ActiveBuffer();
        case TDataSetState::dsCalcFields: return CalcBuffer();
        default: return nullptr;
    }
}

bool TXbPrimDataset::GetCurrentRecord(TRecordBuffer buffer) {
    if (!IsEmpty() && GetBookmarkFlag(ActiveBuffer()) != TBookmarkFlag::bfInserted &&
        State() != TDataSetState::dsInsert) {
        std::memcpy(buffer, ActiveBuffer(), static_cast<size_t>(m_recordPartSize));
        return true;
    }
    return false;
}

bool TXbPrimDataset::GetFieldData(const TField& field, void* dest) {
    TRecordBuffer b = StateBuffer();
    if (!b) return false;
    if (field.FieldNo() < 1) {
        const uint8_t* p = b + m_recordPartSize + field.Offset;
        if (p[0] && dest) std::memcpy(dest, p + 1, static_cast<size_t>(field.DataSize()));
        return p[0] != 0;
    }
    bool hasValue = false;
    CheckXbiResult(XbiGetFieldData(field, b, dest, hasValue));
    return hasValue;
}

void TXbPrimDataset::SetFieldData(TField& field, const void* src) {
    const TDataSetState st = State();
    const bool editing = st == TDataSetState::dsEdit || st == TDataSetState::dsInsert ||
                         st == TDataSetState::dsSetKey || st == TDataSetState::dsCalcFields ||
                         st == TDataSetState::dsFilter || st == TDataSetState::dsNewValue ||
                         st == TDataSetState::dsInternalCalc;
    if (!editing) DatabaseError(Name + ": Dataset not in edit or insert mode");
    TRecordBuffer b = st == TDataSetState::dsCalcFields ? CalcBuffer() : ActiveBuffer();
    if (field.FieldNo() < 1) {
        uint8_t* p = b + m_recordPartSize + field.Offset;
        p[0] = src ? 1 : 0;
        if (src)
            std::memcpy(p + 1, src, static_cast<size_t>(field.DataSize()));
        else
            std::memset(p + 1, 0, static_cast<size_t>(field.DataSize()));
    } else {
        if (st == TDataSetState::dsCalcFields) DatabaseError(Name + ": Dataset not in edit or insert mode");
        if (field.ReadOnly && st != TDataSetState::dsSetKey && st != TDataSetState::dsFilter)
            DatabaseError("Field '" + field.FieldName() + "' cannot be modified");
        CheckXbiResult(XbiSetFieldData(field, b, src));
    }
    if (st != TDataSetState::dsCalcFields && st != TDataSetState::dsFilter && st != TDataSetState::dsNewValue) {
        SetModifiedFlag();
        field.Change();
        DataEvent(TDataEvent::deFieldChange);
    }
}

// ---- search ----

bool TXbPrimDataset::Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                            TLocateOptions options) {
    CheckBrowseMode();
    DoBeforeScroll();
    UpdateCursorPos();
    const bool found = XbiLocate(keyFields, keyValues, options);
    CursorPosChanged();
    if (found) {
        Resync(rmExact | rmCenter);
        DoAfterScroll();
    } else if (HasActiveRecord()) {
        UpdateCursorPos();
    }
    return found;
}

std::vector<TVariant> TXbPrimDataset::Lookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                                             const std::string& resultFields) {
    CheckBrowseMode();
    UpdateCursorPos();
    std::vector<TVariant> r = XbiLookup(keyFields, keyValues, resultFields);
    CursorPosChanged();
    if (HasActiveRecord()) UpdateCursorPos();
    return r;
}

}  // namespace xb
