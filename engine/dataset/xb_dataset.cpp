#include "engine/dataset/xb_dataset.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/navigation.h"
#include "engine/core/text_support.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/text_boundary.h"
#include "engine/dataset/xb_fields.h"
#include "platform/ui.h"

namespace xb {

namespace {

int bufferWidth(char type, int width, int decimals) {
    switch (type) {
        case 'C':
            return width + 1;
        case 'D':
            return 8;
        case 'N':
        case 'F':
            return decimals > 0 ? 8 : 4;
        case 'L':
            return 2;
        case 'M':
            return 4;
        default:
            return width + 1;
    }
}

// Parses a whole decimal number; -1 for anything else, which the table creation then refuses.
int parseCount(const std::string& text) {
    const std::string t = AllTrim(text);
    if (t.empty() || t.size() > 6) return -1;
    int v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

// ---- TrappingOff ----

TrappingOff::TrappingOff() : m_old(SetErrorTrap(false)) {}
TrappingOff::~TrappingOff() {
    SetErrorTrap(m_old);
}

// ---- TDbfFieldProps ----

TDbfFieldProps::TDbfFieldProps(uint8_t* record, uint16_t copySize, std::vector<TDTField> fields)
    : m_record(record), m_copySize(copySize), m_fields(std::move(fields)) {
    if (copySize > 0 && record) {
        m_copy.assign(record, record + copySize);
        m_record = m_copy.data();
    }
}

std::string TDbfFieldProps::Name(int n) const {
    return n >= 1 && n <= Count() ? m_fields[static_cast<size_t>(n - 1)].name : std::string();
}
char TDbfFieldProps::Type(int n) const {
    return n >= 1 && n <= Count() ? m_fields[static_cast<size_t>(n - 1)].type : 0;
}
int TDbfFieldProps::Width(int n) const {
    return n >= 1 && n <= Count() ? m_fields[static_cast<size_t>(n - 1)].width : 1;
}
int TDbfFieldProps::Decimals(int n) const {
    return n >= 1 && n <= Count() ? m_fields[static_cast<size_t>(n - 1)].decimals : 0;
}
int TDbfFieldProps::Offset(int n) const {
    return n >= 1 && n <= Count() ? m_fields[static_cast<size_t>(n - 1)].offset : 0;
}
uint8_t* TDbfFieldProps::Address(int n) const {
    return m_record ? m_record + Offset(n) : nullptr;
}

// ---- TXbDataSet ----

TXbDataSet::TXbDataSet(bool designing) {
    m_designing = designing;
    if (designing) SetEngineExceptions(true);
}

TXbDataSet::~TXbDataSet() {
    // An exception that left a routine before the table was closed must not leave the area behind: the
    // alias is the component's name, and the next open of the same component would fail at once.
    CloseAreaQuietly();
    ReleaseQuietly();
}

void TXbDataSet::CloseAreaQuietly() {
    if (m_area == 0) return;
    if (Engine::currentOrNull() != nullptr) {
        try {
            const int old = xb::SelectedArea();
            TrappingOff off;
            xb::Select(m_area);
            xb::CloseDatabase();
            if (old != m_area) xb::Select(old);
        } catch (...) {
        }
    }
    m_area = 0;
    m_props.reset();
}

int TXbDataSet::PendingError() {
    return Engine::current().errors.pendingError;
}

void TXbDataSet::ClearPendingError() {
    ErrorState& s = Engine::current().errors;
    if (s.pendingError != 0) TakeErrorMessage();
    s.lastError = 0;
}

void TXbDataSet::ShowMessage(const std::string& text) {
    platform::CurrentUi().messageBox(text, Name, platform::kMbOk);
}

uint8_t* TXbDataSet::typed() const {
    WorkAreaBlock* b = xb::AreaBlock(m_area);
    return b ? b->typed : nullptr;
}

void TXbDataSet::SetDbfFileName(const std::string& name) {
    const bool wasActive = Active();
    if (wasActive) Close();
    std::string n = AllTrim(name);
    if (!n.empty()) {
        const size_t slash = n.find_last_of('/');
        const size_t dot = n.find_last_of('.');
        const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        if (!hasExt) n += std::string(".") + kTableExt;
    }
    m_dbfFileName = n;
    if (wasActive && !Loading) Open();
}

void TXbDataSet::SetHideDeletedRecs(bool on) {
    m_hideDeleted = on;
    if (Active() && m_area != 0) {
        if (!BeginOperation("SetHideDeletedRecs")) return;
        xb::SetIgnoreDel(on);
        SyncDatasetWithArea();
    }
}

bool TXbDataSet::BeginOperation(const char* opName) {
    if (m_area == 0) {
        SetEngineError(1103, "Database is not open [" + EngineText(Name) + "." + std::string(opName) + "]");
        return false;
    }
    if (xb::SelectedArea() != m_area) xb::Select(m_area);
    Engine::current().settings.ansi = TableLanguage == TXbTableLanguage::tlAnsi;
    return true;
}

int TXbDataSet::SafeGo(int32_t recNo) {
    if (!BeginOperation("SafeGo")) return PendingError();
    // A record the area knows of needs no look at the file's size; one beyond it is asked for.
    if (recNo >= 1 && (recNo <= xb::KnownRecCount() || recNo <= xb::RecCount())) {
        xb::Go(recNo);
        m_beforeFirst = m_afterLast = false;
    } else {
        XbiSetToEnd();
    }
    return PendingError();
}

bool TXbDataSet::IsEmptyDbf() {
    if (!BeginOperation("s_IsEmptyDbf")) return true;
    return xb::dBOF() && xb::dEOF();
}

void TXbDataSet::SyncDatasetWithArea() {
    if (PendingError() != 0 || !Active()) return;
    if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert)
        SetState(TDataSetState::dsBrowse);
    if (IsEmptyDbf()) {
        if (ActiveBuffer()) std::memset(ActiveBuffer(), 0, static_cast<size_t>(BufferSize()));
        m_beforeFirst = m_afterLast = true;
        ClearBuffers();
        Resync(0);
        SetBofEof(true, true);
        return;
    }
    m_beforeFirst = m_afterLast = false;
    // Past the end of a non-empty table there is no record to show: stand on the last visible one, at EOF.
    const bool pastEnd = xb::dEOF() && !onRowOutsideOrder();
    if (pastEnd) xb::Skip(-1);
    Resync(0);
    if (pastEnd) SetBofEof(false, true);
}

uint8_t* TXbDataSet::FieldSlot(const TField& field) {
    const int n = field.FieldNo();
    if (!ActiveBuffer() || n < 1 || n > static_cast<int>(m_offsets.size())) return nullptr;
    fieldsReady(ActiveBuffer());
    return ActiveBuffer() + m_offsets[static_cast<size_t>(n - 1)];
}

// ---- buffer <-> typed record ----

void TXbDataSet::RecordToBuffer(TRecordBuffer buffer) {
    const uint8_t* rec = typed();
    if (!rec || !m_props) return;
    if (m_typedCopySize > 0) {
        buffer[0] = rec[0];
        buffer[m_pendingAt] = 1;
        std::memcpy(buffer + m_pendingAt + 1, rec, static_cast<size_t>(m_typedCopySize));
        return;
    }
    convertRecord(rec, buffer);
}

void TXbDataSet::fieldsReady(TRecordBuffer buffer) {
    if (m_typedCopySize == 0 || !buffer || buffer[m_pendingAt] == 0) return;
    buffer[m_pendingAt] = 0;
    convertRecord(buffer + m_pendingAt + 1, buffer);
}

void TXbDataSet::convertRecord(const uint8_t* rec, TRecordBuffer buffer) {
    buffer[0] = rec[0];
    for (int n = 1; n <= m_props->Count(); ++n) {
        const uint8_t* src = rec + m_props->Offset(n);
        uint8_t* dst = buffer + m_offsets[static_cast<size_t>(n - 1)];
        const int w = m_props->Width(n), d = m_props->Decimals(n);
        switch (m_props->Type(n)) {
            case 'C':
                std::memcpy(dst, src, static_cast<size_t>(w) + 1);
                break;
            case 'D': {
                const double v = DbfDateToDateTime(TypedGetString(src), false);
                std::memcpy(dst, &v, 8);
                break;
            }
            case 'N':
            case 'F':
                if (d > 0) {
                    // Rounded to the declared decimals, as the file would hold it.
                    bool exact = false;
                    double v = ParseFieldNumber(FormatFieldNumber(TypedGetDouble(src), 40, d), exact);
                    if (!exact) v = TypedGetDouble(src);
                    std::memcpy(dst, &v, 8);
                } else {
                    std::memcpy(dst, src, 4);
                }
                break;
            case 'L':
                dst[0] = src[0];
                dst[1] = 0;
                break;
            case 'M':
                std::memcpy(dst, src, 4);
                break;
            default:
                std::memcpy(dst, src, static_cast<size_t>(w) + 1);
                break;
        }
    }
}

void TXbDataSet::BufferToRecord(TRecordBuffer buffer, int fieldNo) {
    uint8_t* rec = typed();
    if (!rec || !m_props) return;
    fieldsReady(buffer);
    rec[0] = buffer[0];
    const int first = fieldNo < 0 ? 1 : fieldNo;
    const int last = fieldNo < 0 ? m_props->Count() : std::min(fieldNo, m_props->Count());
    for (int n = std::max(first, 1); n <= last; ++n) {
        uint8_t* dst = rec + m_props->Offset(n);
        const uint8_t* src = buffer + m_offsets[static_cast<size_t>(n - 1)];
        const int w = m_props->Width(n), d = m_props->Decimals(n);
        switch (m_props->Type(n)) {
            case 'C': {
                const size_t len = std::min<size_t>(src[0], static_cast<size_t>(w));
                TypedSetString(dst, static_cast<size_t>(w),
                               std::string(reinterpret_cast<const char*>(src + 1), len));
                break;
            }
            case 'D': {
                double v;
                std::memcpy(&v, src, 8);
                std::string text =
                    v != 0 ? DateTimeToDbfDate(v) : BlankDateText(Engine::current().settings.dateFormat);
                std::string check = text;
                if (!IsValidDateStr(check)) {
                    ShowMessage("        Invalid date       ");
                    text = BlankDateText(Engine::current().settings.dateFormat);
                }
                TypedSetString(dst, kMaxDateText, text);
                break;
            }
            case 'N':
            case 'F':
                std::memcpy(dst, src, d > 0 ? 8 : 4);
                break;
            case 'L':
                dst[0] = src[0];
                break;
            case 'M':
                std::memcpy(dst, src, 4);
                break;
            default: {
                const size_t len = std::min<size_t>(src[0], static_cast<size_t>(w));
                TypedSetString(dst, static_cast<size_t>(w),
                               std::string(reinterpret_cast<const char*>(src + 1), len));
            }
        }
    }
}

// ---- opening ----

int TXbDataSet::XbiOpen() {
    if (m_dbfFileName.empty()) return kXbiNoFileName;
    // An error some earlier operation left pending belongs to that operation, not to this open.
    ClearPendingError();
    if (!OpenArea()) {
        const int e = PendingError();
        return e != 0 ? e : kXbiOpenFailed;
    }
    if (const int e = PendingError()) {
        // Something failed after the table opened (its index): the open fails with that error and
        // leaves no area behind.
        FirstError failed;
        failed.take();
        XbiClose();
        return e;
    }
    return kXbiOk;
}

bool TXbDataSet::OpenArea() {
    m_props.reset();
    const int previous = xb::SelectedArea();
    {
        TrappingOff off;
        xb::Select(m_area);
    }
    if (PendingError() != 0) {
        xb::Select(previous);
        return false;
    }
    Engine::current().settings.ansi = TableLanguage == TXbTableLanguage::tlAnsi;
    if (!m_designing) {
        // Whatever got opened in the area before a failure is closed again (its index, its locks, its
        // semaphore login with it); the error stays.
        auto closeOpened = [] {
            if (xb::CurrentBlock() == nullptr) return;
            FirstError failed;
            failed.take();
            TrappingOff off;
            try {
                xb::CloseDatabase();
            } catch (...) {
            }
        };
        bool opened = false;
        try {
            opened = OpenTable(m_dbfFileName);
        } catch (...) {
            closeOpened();
            throw;
        }
        if (!opened) {
            closeOpened();
            return false;
        }
        xb::SetIgnoreDel(m_hideDeleted);
        m_area = static_cast<uint8_t>(xb::SelectedArea());
        TakeSnapshot();
        // Deleted rows hidden, the cursor goes to the first row again: the open's may be a deleted one.
        // An open on a key stands where it searched.
        m_atTopAfterOpen = !m_hideDeleted || m_openKeyFound >= 0;
        return true;
    }
    if (!xb::UseTable({.path = m_dbfFileName})) return false;
    FillDbfFieldsFromTable();
    TakeSnapshot();
    xb::CloseDatabase();
    return true;
}

void TXbDataSet::TakeSnapshot() {
    WorkAreaBlock* b = xb::CurrentBlock();
    if (!b) return;
    std::vector<TDTField> items;
    for (size_t i = 0; i < b->fields.size(); ++i) {
        const FieldDescriptor& f = b->fields[i];
        items.push_back({f.name, f.type, f.length, f.decimals,
                         static_cast<uint16_t>(TypedFieldOffset(*b, static_cast<int>(i) + 1))});
    }
    m_props = std::make_unique<TDbfFieldProps>(b->typed, m_designing ? b->typedSize : 0, std::move(items));
}

void TXbDataSet::FillDbfFieldsFromTable() {
    WorkAreaBlock* b = xb::CurrentBlock();
    if (!b) return;
    DbfFields.clear();
    for (const FieldDescriptor& f : b->fields)
        DbfFields.push_back(Utf8Text(f.name) + ", " + std::string(1, f.type) + ", " +
                            std::to_string(f.length) + ", " + std::to_string(f.decimals));
}

int TXbDataSet::XbiClose() {
    m_atTopAfterOpen = false;
    if (m_area == 0) return kXbiOk;
    CloseHook();
    const int old = xb::SelectedArea();
    xb::Select(m_area);
    xb::CloseDatabase();
    if (old != m_area) xb::Select(old);
    m_area = 0;
    m_props.reset();
    return kXbiOk;
}

// ---- table creation ----

bool TXbDataSet::CreateTableFromDbfFields() {
    return CreateTableFromDbfFields(m_dbfFileName);
}

bool TXbDataSet::CreateTableFromDbfFields(const std::string& fileName) {
    if (DbfFields.empty()) {
        ShowMessage("FieldList.Count is <= 0 trying to create a database");
        return false;
    }
    std::vector<FieldDef> defs;
    for (const std::string& line : DbfFields) {
        if (std::count(line.begin(), line.end(), ',') != 3) return false;
        TDbfFieldDescriptor d;
        if (!ParseDbfFieldLine(line, d)) continue;
        defs.push_back({EngineText(d.name), d.type, d.width, d.decimals});
    }
    TrappingOff off;
    TableBlock block;
    const EngineSettings& st = Engine::current().settings;
    const int codePage = TableLanguage == TXbTableLanguage::tlAnsi
                             ? st.ansiCodePage
                             : (st.newTableCodePage ? st.newTableCodePage : st.oemCodePage);
    CreateDbf(block, fileName, defs, codePage);
    return PendingError() == 0;
}

bool TXbDataSet::ParseDbfFieldLine(const std::string& line, TDbfFieldDescriptor& d) {
    std::vector<std::string> items;
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = line.find(',', start);
        if (comma == std::string::npos || i == 3) comma = line.size();
        items.push_back(start <= line.size() ? AllTrim(line.substr(start, comma - start)) : std::string());
        start = comma + 1;
    }
    d.name = items[0].substr(0, 10);
    d.type =
        items[1].empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(items[1][0])));
    if (d.type == 'X') return false;
    d.width = parseCount(items[2]);
    d.decimals = parseCount(items[3]);
    if (MemoAsNumber() && d.type == 'M') {
        d.type = 'N';
        d.width = 10;
        d.decimals = 0;
    }
    FixFieldDefinition(d);
    return true;
}

void TXbDataSet::FixFieldDefinition(TDbfFieldDescriptor& d) {
    // Computed on full integers and only then narrowed: a width or decimal count that does not fit the
    // header's byte is brought into range, never wrapped.
    TDbfFieldDescriptor c = d;
    if (c.type == 'B' || c.type == 'G' || c.type == 'P') c.type = 'M';
    if (std::string("CDFLMN").find(c.type) == std::string::npos) c.type = 'C';
    if (c.type == 'N') {
        if (c.width > 20) c.width = 20;
        if (c.decimals > 18) c.decimals = 18;
        if (c.decimals != 0 && c.width - c.decimals < 2) c.decimals = std::max(0, c.width - 2);
    }
    if (c.type == 'C' && c.width > 254) {
        c.width = 254;
        c.decimals = 0;
    }
    if (c.type == d.type && c.width == d.width && c.decimals == d.decimals) return;
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "Invalid field definition for %s: %s,%s,%d,%d. Will use corrected definition: %s,%s,%d,%d",
                  Name.c_str(), d.name.c_str(), std::string(1, d.type).c_str(), d.width, d.decimals,
                  c.name.c_str(), std::string(1, c.type).c_str(), c.width, c.decimals);
    ShowMessage(buf);
    d = c;
}

// ---- field definitions ----

void TXbDataSet::InternalInitFieldDefs() {
    if (!m_props) DatabaseError(Name + ".DbfFields undefined. Set Active to TRUE");
    FieldDefs().clear();
    m_offsets.clear();
    int offset = 1;
    for (int n = 1; n <= m_props->Count(); ++n) {
        const char t = m_props->Type(n);
        const int w = m_props->Width(n), d = m_props->Decimals(n);
        TFieldDef def;
        def.name = Utf8Text(m_props->Name(n));
        def.fieldNo = n;
        switch (t) {
            case 'C':
                def.dataType = TFieldType::ftString;
                def.size = w;
                break;
            case 'D':
                def.dataType = TFieldType::ftDate;
                break;
            case 'N':
            case 'F':
                def.dataType = d > 0 ? TFieldType::ftFloat : TFieldType::ftInteger;
                def.size = w;
                break;
            case 'L':
                def.dataType = TFieldType::ftBoolean;
                break;
            case 'M':
                def.dataType = MemoAsNumber() ? TFieldType::ftInteger : TFieldType::ftMemo;
                break;
            default:
                def.dataType = TFieldType::ftString;
                def.size = w;
        }
        FieldDefs().push_back(def);
        m_offsets.push_back(static_cast<uint16_t>(offset));
        offset += bufferWidth(t, w, d);
    }
    m_recSize = static_cast<uint16_t>(offset);
}

std::unique_ptr<TField> TXbDataSet::CreateFieldOfClass(TFieldType type) {
    switch (type) {
        case TFieldType::ftInteger:
            return std::make_unique<TXbIntegerField>();
        case TFieldType::ftFloat:
            return std::make_unique<TXbFloatField>();
        case TFieldType::ftDate:
            return std::make_unique<TXbDateField>();
        default:
            return TXbPrimDataset::CreateFieldOfClass(type);
    }
}

int TXbDataSet::XbiGetRecordSize() {
    m_pendingAt = m_typedCopySize = 0;
    if (!m_props) return 1;
    int size = 1;
    for (int n = 1; n <= m_props->Count(); ++n)
        size += bufferWidth(m_props->Type(n), m_props->Width(n), m_props->Decimals(n));
    const WorkAreaBlock* b = m_area != 0 ? xb::AreaBlock(m_area) : nullptr;
    if (m_designing || !b || !b->typed || b->typedSize == 0) return size;
    m_pendingAt = size;
    m_typedCopySize = b->typedSize;
    return size + 1 + m_typedCopySize;
}

// ---- cursor ----

int TXbDataSet::XbiSetToBegin() {
    if (!BeginOperation("XbiSetToBegin")) return PendingError();
    // The open's own positionings (the cursor's open and its first fetch) find the area where the open
    // left it; the first record fetched ends that.
    if (!m_atTopAfterOpen) xb::GoTop();
    m_beforeFirst = true;
    m_afterLast = false;
    return PendingError();
}

int TXbDataSet::XbiSetToEnd() {
    if (!BeginOperation("XbiSetToEnd")) return PendingError();
    m_atTopAfterOpen = false;
    xb::GoBottom();
    m_beforeFirst = false;
    m_afterLast = true;
    return PendingError();
}

int32_t TXbDataSet::XbiGetRecordCount() {
    if (!EngineUsable()) return 1;
    if (!BeginOperation("XbiGetRecordCount")) return 0;
    return xb::RecCount();
}

int TXbDataSet::XbiForceReread() {
    if (!BeginOperation("XbiForceReread")) return PendingError();
    xb::Skip(0);
    return PendingError();
}

void TXbDataSet::readCurrentRecordToBuffer(TRecordBuffer buffer, int32_t& recNo) {
    if (buffer) RecordToBuffer(buffer);
    recNo = xb::RecNo();
}

bool TXbDataSet::onRowOutsideOrder() {
    if (m_outsideOrder == 0) return false;
    const WorkAreaBlock* b = xb::CurrentBlock();
    if (b && !b->eof && b->recNo == m_outsideOrder && b->recNo <= b->recCount) return true;
    m_outsideOrder = 0;
    return false;
}

int TXbDataSet::XbiGetRecord(TRecordBuffer buffer, int32_t& recNo) {
    if (!BeginOperation("XbiGetRecord")) return PendingError();
    m_atTopAfterOpen = false;
    if (m_beforeFirst) return kXbiBof;
    if (m_afterLast) return kXbiEof;
    if (onRowOutsideOrder()) {
        readCurrentRecordToBuffer(buffer, recNo);
        return PendingError();
    }
    if (xb::dEOF()) {
        // Past the end there is no record (only the blank buffer of count + 1): that is EOF, with the
        // engine back on the last visible record.
        if (!xb::dBOF()) {
            xb::Skip(-1);
            m_afterLast = true;
        }
        return kXbiEof;
    }
    xb::ReloadRecord();
    if (int e = PendingError()) return e;
    readCurrentRecordToBuffer(buffer, recNo);
    return kXbiOk;
}

int TXbDataSet::XbiGetNextRecord(TRecordBuffer buffer, int32_t& recNo) {
    if (!BeginOperation("XbiGetNextRecord")) return PendingError();
    m_atTopAfterOpen = false;
    if (m_afterLast) return kXbiEof;
    if (m_beforeFirst) {
        xb::ReloadRecord();
        m_beforeFirst = false;
    } else if (!xb::dEOF()) {
        xb::Skip(1);
    }
    if (int e = PendingError()) return e;
    if (xb::dEOF()) {
        if (!xb::dBOF()) xb::Skip(-1);
        m_afterLast = true;
        return kXbiEof;
    }
    readCurrentRecordToBuffer(buffer, recNo);
    return kXbiOk;
}

int TXbDataSet::XbiGetPriorRecord(TRecordBuffer buffer, int32_t& recNo) {
    if (!BeginOperation("XbiGetPriorRecord")) return PendingError();
    m_atTopAfterOpen = false;
    if (m_beforeFirst) return kXbiBof;
    if (m_afterLast) {
        // From the end: the last row, which the move to the end has just loaded (as at the beginning).
        if (xb::dEOF() && !xb::dBOF())
            xb::Skip(-1);
        else
            xb::ReloadRecord();
        m_afterLast = false;
    } else if (!xb::dBOF()) {
        xb::Skip(-1);
    }
    if (int e = PendingError()) return e;
    if (xb::dBOF()) {
        m_beforeFirst = true;
        return kXbiBof;
    }
    if (xb::dEOF()) {
        m_afterLast = true;
        return kXbiEof;
    }
    readCurrentRecordToBuffer(buffer, recNo);
    return kXbiOk;
}

TGetResult TXbDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    if (m_designing) {
        if (m_props && m_props->Address(0)) RecordToBuffer(buffer);
        return TGetResult::grOK;
    }
    return TXbPrimDataset::GetRecord(buffer, mode, doCheck);
}

int TXbDataSet::XbiGetFieldData(const TField& field, TRecordBuffer buffer, void* dest, bool& hasValue) {
    const int n = field.FieldNo();
    if (n < 1 || n > static_cast<int>(m_offsets.size())) {
        hasValue = false;
        return kXbiOk;
    }
    fieldsReady(buffer);
    const uint8_t* p = buffer + m_offsets[static_cast<size_t>(n - 1)];
    switch (field.DataType()) {
        case TFieldType::ftDate:
        case TFieldType::ftTime:
        case TFieldType::ftDateTime: {
            double v;
            std::memcpy(&v, p, 8);
            hasValue = v != 0;
            if (hasValue && dest) std::memcpy(dest, &v, 8);
            break;
        }
        case TFieldType::ftString: {
            hasValue = true;
            if (dest) {
                std::memset(dest, 0, static_cast<size_t>(field.DataSize()));
                std::string s(reinterpret_cast<const char*>(p + 1),
                              std::min<size_t>(p[0], static_cast<size_t>(field.Size())));
                while (!s.empty() && s.back() == ' ') s.pop_back();
                std::memcpy(dest, s.data(), s.size());
            }
            break;
        }
        case TFieldType::ftMemo:
        case TFieldType::ftBlob: {
            int32_t ref;
            std::memcpy(&ref, p, 4);
            hasValue = ref != 0;
            if (dest) std::memcpy(dest, &ref, 4);
            break;
        }
        default:
            hasValue = true;
            if (dest) std::memcpy(dest, p, static_cast<size_t>(field.DataSize()));
    }
    return kXbiOk;
}

int TXbDataSet::XbiSetFieldData(const TField& field, TRecordBuffer buffer, const void* src) {
    const int n = field.FieldNo();
    if (n < 1 || n > static_cast<int>(m_offsets.size())) return kXbiOk;
    fieldsReady(buffer);
    uint8_t* p = buffer + m_offsets[static_cast<size_t>(n - 1)];
    switch (field.DataType()) {
        case TFieldType::ftString: {
            const size_t cap = static_cast<size_t>(field.Size());
            std::memset(p, 0, cap + 1);
            if (src) {
                const char* s = static_cast<const char*>(src);
                const size_t len = strnlen(s, cap);
                p[0] = static_cast<uint8_t>(len);
                std::memcpy(p + 1, s, len);
            }
            break;
        }
        case TFieldType::ftMemo:
        case TFieldType::ftBlob:
            if (src)
                std::memcpy(p, src, 4);
            else
                std::memset(p, 0, 4);
            break;
        default:
            if (src)
                std::memcpy(p, src, static_cast<size_t>(field.DataSize()));
            else
                std::memset(p, 0, static_cast<size_t>(field.DataSize()));
    }
    BufferToRecord(buffer, n);
    return kXbiOk;
}

int TXbDataSet::XbiAppendRecord(TRecordBuffer buffer) {
    if (!BeginOperation("XbiAppendRecord")) return PendingError();
    buffer[0] = 0;
    BufferToRecord(buffer, -1);
    AppendWithLock();
    m_beforeFirst = m_afterLast = false;
    return PendingError();
}

int TXbDataSet::XbiDeleteRecord() {
    if (!BeginOperation("XbiDeleteRecord")) return PendingError();
    DeleteWithLock();
    return PendingError();
}

int TXbDataSet::XbiInitRecord() {
    if (!BeginOperation("XbiInitRecord")) return PendingError();
    xb::ClearRecord();
    return PendingError();
}

int TXbDataSet::XbiPostRecord(TRecordBuffer buffer) {
    if (!BeginOperation("XbiPostRecord")) return PendingError();
    if (m_beforeFirst) return kXbiBof;
    if (m_afterLast) return kXbiEof;
    BufferToRecord(buffer, -1);
    ReplaceWithLock();
    return PendingError();
}

bool TXbDataSet::XbiLocate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                           TLocateOptions options) {
    if (!BeginOperation("XbiLocate")) return false;
    std::vector<LocateValue> values;
    for (const TVariant& v : keyValues) {
        if (auto s = std::get_if<std::string>(&v))
            values.emplace_back(Utf8ToStored(*s));
        else if (auto i = std::get_if<int32_t>(&v))
            values.emplace_back(static_cast<double>(*i));
        else if (auto d = std::get_if<double>(&v))
            values.emplace_back(*d);
        else if (auto b = std::get_if<bool>(&v))
            values.emplace_back(*b);
        else
            values.emplace_back(std::string());
    }
    const bool found = xb::LocateRecord(Utf8ToStored(keyFields), values, (options & loCaseInsensitive) != 0,
                                        true, (options & loPartialKey) == 0);
    if (found) m_beforeFirst = m_afterLast = false;
    return found;
}

std::vector<TVariant> TXbDataSet::XbiLookup(const std::string& keyFields,
                                            const std::vector<TVariant>& keyValues,
                                            const std::string& resultFields) {
    if (!BeginOperation("XbiLookup")) return {};
    const int32_t remembered = xb::RecNo();
    const bool before = m_beforeFirst, after = m_afterLast;
    std::vector<TVariant> out;
    if (XbiLocate(keyFields, keyValues, 0)) {
        RecordToBuffer(CalcBuffer());
        const TDataSetState saved = State();
        SetTempState(TDataSetState::dsCalcFields);
        try {
            size_t start = 0;
            while (start <= resultFields.size()) {
                size_t semi = resultFields.find(';', start);
                if (semi == std::string::npos) semi = resultFields.size();
                const std::string name = AllTrim(resultFields.substr(start, semi - start));
                if (!name.empty()) out.push_back(FieldByName(name).GetAsVariant());
                start = semi + 1;
            }
        } catch (...) {
            SetTempState(saved);
            SafeGo(remembered);
            throw;
        }
        SetTempState(saved);
    }
    SafeGo(remembered);
    m_beforeFirst = before;
    m_afterLast = after;
    return out;
}

int TXbDataSet::XbiGoToBookmark(const void* bookmark) {
    int32_t n;
    std::memcpy(&n, bookmark, 4);
    return SafeGo(n);
}

int TXbDataSet::XbiGetBookmark(void* dest) {
    int32_t n = 1;
    if (EngineUsable()) {
        if (!BeginOperation("XbiSetToBookmark")) return PendingError();
        n = xb::RecNo();
    }
    std::memcpy(dest, &n, 4);
    return kXbiOk;
}

int TXbDataSet::XbiCompareBookmarks(const void* a, const void* b, int& result) {
    int32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    result = x < y ? -1 : (x > y ? 1 : 0);
    return kXbiOk;
}

// ---- framework overrides ----

std::string TXbDataSet::GetErrorText(int code) {
    // The error is reported here, so it is taken: it must not stay pending for the next operation.
    if (PendingError() == code) return Utf8Text(ErrorMsg());
    return Utf8Text(ErrorText(static_cast<uint16_t>(code)));
}

bool TXbDataSet::IsEmpty() {
    if (m_designing) return false;
    if (!Active()) return true;
    return IsEmptyDbf();
}

void TXbDataSet::Post() {
    const bool editing = State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert;
    TXbPrimDataset::Post();
    if (editing && IsEmptyDbf()) Resync(0);
}

void TXbDataSet::InternalCancel() {
    if (ActiveBuffer()) std::memset(ActiveBuffer(), 0, static_cast<size_t>(BufferSize()));
}

int TXbDataSet::TextCodePage() const {
    const int ansi = Engine::current().settings.ansiCodePage;
    const WorkAreaBlock* b = m_area ? xb::AreaBlock(m_area) : nullptr;
    return (b && b->oem && !b->isVirtual) ? StoredCodePage(*b) : ansi;
}

// Text goes between UTF-8 and the table's own code page, and between that and the engine's ANSI page by
// the engine's bijection, which the record translation undoes exactly: a letter the table holds reaches
// the file as its own byte even when the ANSI page lacks it.
std::string TXbDataSet::StoredToUtf8(const std::string& stored) const {
    const int ansi = Engine::current().settings.ansiCodePage, cp = TextCodePage();
    if (cp == ansi) return Utf8Text(stored);
    return platform::ToUtf8(platform::ConvertBytes(stored, ansi, cp), cp);
}

std::string TXbDataSet::Utf8ToStored(const std::string& utf8) const {
    const int ansi = Engine::current().settings.ansiCodePage, cp = TextCodePage();
    if (cp == ansi) return EngineText(utf8);
    return platform::ConvertBytes(platform::FromUtf8(utf8, cp), cp, ansi);
}

char32_t TXbDataSet::UnstorableChar(const std::string& utf8) const {
    return platform::FirstMissingChar(utf8, TextCodePage());
}

void TXbDataSet::DoBeforeRestore() {
    if (BeforeRestore) BeforeRestore(*this);
}

void TXbDataSet::DoAfterRestore() {
    if (AfterRestore) AfterRestore(*this);
}

void TXbDataSet::UpdateAreaPosition() {
    if (State() == TDataSetState::dsInsert)
        BufferToRecord(ActiveBuffer(), -1);
    else
        UpdateCursorPos();
}

void TXbDataSet::DoAfterScroll() {
    if (Active()) UpdateAreaPosition();
    TXbPrimDataset::DoAfterScroll();
}

void TXbDataSet::DoAfterCancel() {
    if (Active()) UpdateAreaPosition();
    TXbPrimDataset::DoAfterCancel();
}

}  // namespace xb
