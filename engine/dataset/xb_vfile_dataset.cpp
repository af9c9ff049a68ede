#include "engine/dataset/xb_vfile_dataset.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/core/dates.h"
#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/engine_windows.h"
#include "engine/dataset/text_boundary.h"
#include "engine/dataset/xb_fields.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

bool sorted(LStatusType m) {
    return m == LStatusType::ASCENDING || m == LStatusType::DESCENDING;
}

size_t typedWidth(char type, int width, int decimals) {
    switch (type) {
        case 'C': return static_cast<size_t>(width) + 1;
        case 'D': return 1 + kMaxDateText;
        case 'L': return 1;
        default: return decimals > 0 ? 8 : 4;  // N, F (and M, held as N 10)
    }
}

// The name of a new virtual file: "*" + a number + "* VIRTUAL FILE" and the sorted mode. The number is
// the tick count, but never one already given out in this run, so two files opened within one tick get
// different names without waiting for the clock.
std::string virtualFileName(LStatusType mode) {
    static uint32_t last = 0;
    uint32_t n = static_cast<uint32_t>(platform::TickCountMs()) & 0x7FFFFFFFu;
    if (n <= last && last < 0x7FFFFFFFu) n = last + 1;
    last = n;
    std::string name = "*" + std::to_string(n) + "* VIRTUAL FILE";
    if (mode == LStatusType::ASCENDING) name += " ASCENDING";
    if (mode == LStatusType::DESCENDING) name += " DESCENDING";
    return name;
}

// Key texts that sort as the values they stand for, for a first field that is not text.
std::string hexKey(uint64_t v, int digits) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string s(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = kDigits[v & 0xF];
    return s;
}
std::string intKey(int32_t v) {
    return hexKey(static_cast<uint32_t>(v) ^ 0x80000000u, 8);
}
std::string doubleKey(double v) {
    if (v == 0) v = 0;  // -0 sorts with 0
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
    return hexKey(bits, 16);
}

std::string describe(const FieldDescriptor& f) {
    return std::string(1, f.type) + " " + std::to_string(f.length) + "." + std::to_string(f.decimals);
}

// The first difference between the fields of a table and those of a virtual file; empty when they have
// the same types, widths and decimals (so the same typed record).
std::string structureDifference(const WorkAreaBlock& table, const WorkAreaBlock& vfile) {
    if (table.fields.size() != vfile.fields.size())
        return std::to_string(table.fields.size()) + " fields, " + std::to_string(vfile.fields.size()) +
               " expected";
    for (size_t i = 0; i < table.fields.size(); ++i) {
        const FieldDescriptor& a = table.fields[i];
        const FieldDescriptor& b = vfile.fields[i];
        if (a.type != b.type || a.length != b.length || a.decimals != b.decimals)
            return "field " + a.name + " " + describe(a) + ", " + describe(b) + " expected";
    }
    if (table.typedSize != vfile.typedSize)
        return "record size " + std::to_string(table.typedSize) + ", " + std::to_string(vfile.typedSize) +
               " expected";
    return {};
}

// Closes the current area; true when the close itself succeeded. An error reported before the close
// stays the one reported.
bool closeArea() {
    FirstError before;
    before.take();
    ErrorState& s = Engine::current().errors;
    s.lastError = 0;
    CloseDatabase();
    return s.lastError == 0;
}

// Steps a progress window at every record number that is a multiple of count / 100, for 100 records or
// more and when the dataset shows progress.
class RecordProgress {
public:
    RecordProgress(bool show, int32_t count, const char* caption) {
        if (show && count >= 100) {
            m_every = count / 100;
            m_window = std::make_unique<TXbProgressWindow>(caption);
        }
    }
    void at(int32_t recNo) {
        if (m_window && recNo % m_every == 0) m_window->Step();
    }

private:
    int32_t m_every = 1;
    std::unique_ptr<TXbProgressWindow> m_window;
};

// Appends records 1..count of area `from` to area `to`, copying the typed records (the two layouts agree
// up to `size` bytes), with deleted ones left out when asked. False when a read or an append failed.
bool copyRecords(int fromArea, const WorkAreaBlock* from, int toArea, WorkAreaBlock* to, int32_t count,
                 size_t size, bool skipDeleted, bool showProgress, const char* caption) {
    RecordProgress progress(showProgress, count, caption);
    for (int32_t i = 1; i <= count; ++i) {
        Select(fromArea);
        if (!xb::Go(i)) return false;
        progress.at(i);
        if (skipDeleted && from->typed[0] != 0) continue;
        std::memcpy(to->typed, from->typed, size);
        Select(toArea);
        if (!xb::Append()) return false;
    }
    return true;
}

}  // namespace

TXbLLDataSet::TXbLLDataSet(bool designing) : TXbCDataSet(designing) {}

TXbLLDataSet::~TXbLLDataSet() {
    // The area writes through the typed buffer, which goes with this object: the area must be closed
    // first, after the save a close owes.
    if (Area() != 0 && Engine::currentOrNull() != nullptr) {
        if (SaveToDisk && m_modified && EngineUsable()) {
            try {
                TrappingOff off;
                WriteToDisk();
            } catch (...) {
            }
        }
        CloseAreaQuietly();
    }
}

// ---- opening ----

bool TXbLLDataSet::OpenTable(const std::string&) {
    return OpenVirtualFile();
}

bool TXbLLDataSet::OpenVirtualFile() {
    m_modified = false;
    if (DbfFields.empty()) {
        ShowMessage("FieldList.Count is <= 0 trying to create a database");
        return false;
    }
    std::vector<FieldDescriptor> fields;
    std::vector<FieldSlot> layout;
    size_t offset = 1;
    for (const std::string& line : DbfFields) {
        if (std::count(line.begin(), line.end(), ',') != 3) return false;
        TDbfFieldDescriptor d;
        if (!ParseDbfFieldLine(line, d) || d.type == 'X') continue;
        switch (d.type) {
            case 'M':
                d.type = 'N';
                d.width = 10;
                d.decimals = 0;
                break;
            case 'D':
                d.width = 8;
                d.decimals = 0;
                break;
            case 'L':
                d.width = 1;
                d.decimals = 0;
                break;
            default:
                if (d.type == 'C') d.decimals = 0;
                // Widths and decimals become bytes of the descriptor and sizes of the buffer: anything
                // that does not fit is refused, never wrapped.
                if (d.width < 1 || d.width > 255 || d.decimals < 0 || d.decimals > 255) {
                    SetEngineError(211, "Invalid field definition \"" + line + "\" for " + EngineText(Name) +
                                            " [OpenVirtualFile]");
                    return false;
                }
        }
        if (fields.size() == 255) {
            SetEngineError(211, "More than 255 fields for " + EngineText(Name) + " [OpenVirtualFile]");
            return false;
        }
        FieldDescriptor f;
        f.name = EngineText(d.name);
        f.type = d.type;
        f.length = static_cast<uint8_t>(d.width);
        f.decimals = static_cast<uint8_t>(d.decimals);
        f.offset = static_cast<uint16_t>(offset);
        fields.push_back(f);
        layout.push_back({d.type, d.width, d.decimals, offset});
        offset += typedWidth(d.type, d.width, d.decimals);
    }

    TrappingOff off;
    m_typed.assign(offset, 0);
    m_layout = std::move(layout);
    if (Use(virtualFileName(m_appendMode), m_typed.data(), m_typed.size())) AddStru(fields);
    return PendingError() == 0;
}

void TXbLLDataSet::SetActive(bool on) {
    if (on == Active()) return;
    TXbCDataSet::SetActive(on);
    if (!on || !Active() || m_designing) return;
    if (!afterOpen()) {
        // A table that could not be loaded is not opened: closed now it cannot be saved over the file
        // it refused.
        const int code = PendingError();
        const std::string text = code != 0 ? GetErrorText(code) : std::to_string(kXbiOpenFailed);
        m_modified = false;
        try {
            Close();
        } catch (...) {
        }
        DatabaseError("Dataset error: " + text);
    }
}

bool TXbLLDataSet::afterOpen() {
    if (!BeginOperation("DoAfterOpen")) return false;
    const LStatusType mode = m_appendMode;
    if (sorted(mode) && !Set_VFileMode_To(mode)) return false;
    if (!Set_VFileKey_To([this] { return DoOnKeymake(); })) return false;
    // LIFO and INSERTION tables load in file order and switch afterwards; sorted ones load sorted.
    if (PopulateFromDisk && !ReadFromDisk()) return false;
    if (!BeginOperation("DoAfterOpen")) return false;
    if ((mode == LStatusType::LIFO || mode == LStatusType::INSERTION) && !Set_VFileMode_To(mode)) return false;
    xb::GoTop();
    SyncDatasetWithArea();
    return true;
}

int TXbLLDataSet::XbiClose() {
    if (Area() == 0) return kXbiOk;
    m_closeError = 0;
    TXbCDataSet::XbiClose();
    m_typed.clear();
    m_typed.shrink_to_fit();
    m_layout.clear();
    const int e = m_closeError;
    m_closeError = 0;
    return e;
}

void TXbLLDataSet::CloseHook() {
    if (SaveToDisk && m_modified && EngineUsable() && !WriteToDisk())
        m_closeError = PendingError() != 0 ? PendingError() : kXbiOpenFailed;
    TXbCDataSet::CloseHook();
}

// ---- keys ----

std::string TXbLLDataSet::DoOnKeymake() {
    if (!KeyMaker) return defaultKey();
    TRecordBuffer calc = CalcBuffer();
    if (!calc || !FieldProps()) return KeyMaker();
    // The fields show the record of the typed buffer while the key maker runs: the calculation buffer
    // in its state, both put back afterwards (the key maker may run inside a calculation or a post).
    const std::vector<uint8_t> saved(calc, calc + BufferSize());
    const TDataSetState state = State();
    RecordToBuffer(calc);
    SetTempState(TDataSetState::dsCalcFields);
    auto restore = [&] {
        SetTempState(state);
        std::memcpy(calc, saved.data(), saved.size());
    };
    std::string key;
    try {
        key = KeyMaker();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return key;
}

std::string TXbLLDataSet::defaultKey() const {
    // The dataset's own layout over the buffer it owns (which the sort area shares): nothing here depends
    // on which area is selected, and nothing is read past the first field.
    if (m_layout.empty()) return {};
    const FieldSlot& f = m_layout.front();
    if (f.offset + typedWidth(f.type, f.width, f.decimals) > m_typed.size()) return {};
    const uint8_t* p = m_typed.data() + f.offset;
    switch (f.type) {
        case 'C':
            return std::string(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], static_cast<size_t>(f.width)));
        case 'D': {
            const std::string text(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], kMaxDateText));
            const double day = DbfDateToDateTime(text, false);
            return day == 0 ? std::string() : doubleKey(day);
        }
        case 'L': return p[0] ? "T" : "F";
        default: return f.decimals > 0 ? doubleKey(TypedGetDouble(p)) : intKey(TypedGetInt(p));
    }
}

// ---- writes ----

bool TXbLLDataSet::write(const char* opName, bool (*op)(), bool refresh) {
    if (!GetCanModify() || !BeginOperation(opName)) return false;
    const bool ok = op();
    if (refresh) xb::RefreshPosition();
    m_modified = true;
    return ok;
}

bool TXbLLDataSet::AppendWithLock() {
    if (!GetCanModify() || !BeginOperation("s_AppendWithLock")) return false;
    // At the end of the table an INSERTION append goes last: FIFO for this one record.
    const bool once = (m_afterLast || xb::dEOF()) && Get_VFileMode() == LStatusType::INSERTION;
    if (once) Set_VFileMode_To(LStatusType::FIFO);
    const bool ok = xb::Append();
    if (once) {
        ErrorState& s = Engine::current().errors;
        const ErrorState saved = s;
        Set_VFileMode_To(LStatusType::INSERTION);
        s.lastError = saved.lastError;
        s.pendingError = saved.pendingError;
        s.detail = saved.detail;
    }
    xb::RefreshPosition();
    m_modified = true;
    return ok;
}

bool TXbLLDataSet::DeleteWithLock() {
    return write("s_DeleteWithLock", &xb::DeleteRec, true);
}

bool TXbLLDataSet::RestoreWithLock() {
    return write("s_RestoreWithLock", &xb::RecallRec, false);
}

bool TXbLLDataSet::ReplaceWithLock() {
    return write("s_ReplaceWithLock", &xb::Replace, true);
}

// ---- disk ----

bool TXbLLDataSet::ReadFromDisk() {
    if (DbfFileName().empty()) return true;
    if (!BeginOperation("ReadFromDisk")) return false;
    const std::string path = platform::ResolveCase(platform::AbsolutePath(DbfFileName()));
    if (!platform::FileExists(path)) return true;
    const int vArea = SelectedArea();
    WorkAreaBlock* vb = CurrentBlock();
    if (!Select(0)) {
        Select(vArea);
        return false;
    }
    const int fArea = SelectedArea();
    if (!UseTable({.path = path})) {
        Select(vArea);
        return false;
    }
    WorkAreaBlock* fb = CurrentBlock();
    // The records are copied byte for byte: a table of another structure would fill the fields with
    // the bytes of others.
    const std::string difference = structureDifference(*fb, *vb);
    if (!difference.empty()) {
        CloseDatabase();
        Select(vArea);
        SetEngineError(266, "Database structure mismatch: " + path + " (" + difference + ") for " + vb->alias +
                                " [ReadFromDisk]");
        return false;
    }
    const int32_t count = xb::RecCount();
    const size_t size = std::min(vb->typedSize, fb->typedSize);
    bool ok = copyRecords(fArea, fb, vArea, vb, count, size, HideDeletedRecs(), ShowProgress, "Reading from disk...");
    Select(fArea);
    closeArea();
    Select(vArea);
    if (!ok) return false;
    xb::GoTop();
    m_modified = false;
    return true;
}

bool TXbLLDataSet::WriteToDisk() {
    if (DbfFileName().empty()) return true;
    if (!BeginOperation("WriteToDisk")) return false;
    const int vArea = SelectedArea();
    WorkAreaBlock* vb = CurrentBlock();
    const std::string target = platform::ResolveCase(platform::AbsolutePath(DbfFileName()));
    const std::string dir = target.substr(0, target.find_last_of('/') + 1);

    std::vector<FieldDef> defs;
    for (const std::string& line : DbfFields) {
        if (std::count(line.begin(), line.end(), ',') != 3) {
            SetEngineError(211, "Invalid field definition \"" + EngineText(line) + "\" for " + target +
                                    " [WriteToDisk]");
            return false;
        }
        TDbfFieldDescriptor d;
        if (ParseDbfFieldLine(line, d)) defs.push_back({EngineText(d.name), d.type, d.width, d.decimals});
    }

    // The records go to a new file beside the target, which replaces it only once it is complete: a
    // failure or a crash on the way leaves the old file as it was.
    std::string work;
    if (const int rc = platform::UniqueTempFile(dir, "vf", work)) {
        SetEngineError(static_cast<uint16_t>(rc), "Cannot create a work file in " + dir + " [WriteToDisk]");
        return false;
    }
    auto discard = [&] { platform::RemoveFileIfExists(work); };
    {
        TableBlock block;
        if (!CreateDbf(block, work, defs)) {
            discard();
            return false;
        }
    }
    if (!Select(0)) {
        Select(vArea);
        discard();
        return false;
    }
    const int fArea = SelectedArea();
    if (!UseTable({.path = work, .exclusive = true})) {
        Select(vArea);
        discard();
        return false;
    }
    WorkAreaBlock* fb = CurrentBlock();
    const std::string difference = structureDifference(*fb, *vb);
    if (!difference.empty()) {
        CloseDatabase();
        Select(vArea);
        discard();
        SetEngineError(266, "Database structure mismatch: DbfFields (" + difference + ") for " + vb->alias +
                                " [WriteToDisk]");
        return false;
    }

    // The walk moves the virtual file and fills its typed buffer: both are put back afterwards, so a
    // save in the middle of the work loses neither the position nor a record being edited.
    const std::vector<uint8_t> savedRecord(vb->typed, vb->typed + vb->typedSize);
    const int32_t savedRecNo = vb->recNo;
    const bool savedEof = vb->eof, savedBof = vb->bof;
    const int32_t count = vb->recCount;
    const size_t size = std::min(vb->typedSize, fb->typedSize);
    bool ok = copyRecords(vArea, vb, fArea, fb, count, size, HideDeletedRecs(), ShowProgress, "Writing to disk...");
    Select(fArea);
    if (!closeArea()) ok = false;
    Select(vArea);
    std::memcpy(vb->typed, savedRecord.data(), savedRecord.size());
    vb->recNo = savedRecNo;
    vb->eof = savedEof;
    vb->bof = savedBof;
    if (!ok) {
        discard();
        return false;
    }

    int rc = 0;
    {
        platform::File file;
        rc = file.open(work, platform::kModeReadWrite);
        if (rc == 0) rc = file.flush();
    }
    if (rc == 0 && platform::FileExists(target)) platform::CopyFileMode(target, work);
    if (rc == 0) rc = platform::RenameFileChecked(work, target);
    if (rc != 0) {
        discard();
        SetEngineError(static_cast<uint16_t>(rc), "Cannot replace " + target + " [WriteToDisk]");
        return false;
    }
    platform::SyncDirectoryOf(target);
    m_modified = false;
    return true;
}

// ---- TXbVFile ----

void TXbVFile::SetAppendMode(LStatusType mode) {
    m_appendMode = mode;
    if (!Active() || m_designing) return;
    if (!BeginOperation("SetAppendMode")) return;
    if (!sorted(mode)) {
        Set_VFileMode_To(mode);
        return;
    }
    Set_VFileKey_To([this] { return DoOnKeymake(); });
    if (SortVFile(mode)) SyncDatasetWithArea();
}

}  // namespace xb
