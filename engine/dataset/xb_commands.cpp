// The command layer of the table datasets: xBase-style commands mapped one to one onto the engine's
// work-area commands. The application writes a row as ALock, AppendBlank, UnLock, then RLock, the field
// puts, ReplaceRec, UnLock; it reads by seeking a key, setting a while-condition and skipping.
//
// Inside the dataset classes the command names hide the engine routines of the same name, so every
// engine call here is written xb::....
#include <charconv>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/text_support.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/text_boundary.h"
#include "engine/dataset/xb_dataset.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_search.h"
#include "engine/index/semaphore_file.h"

namespace xb {

namespace {

constexpr size_t kFieldNameChars = 10;
constexpr size_t kKeyChars = 100;
constexpr size_t kTagNameChars = 10;

// The first n characters of UTF-8 text (a character is never cut in two).
std::string firstChars(const std::string& utf8, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            if (chars == n) return utf8.substr(0, i);
            ++chars;
        }
    }
    return utf8;
}

size_t charCount(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string padLeft(const std::string& s, int width) {
    const size_t n = charCount(s);
    return n >= static_cast<size_t>(width) ? s : std::string(static_cast<size_t>(width) - n, ' ') + s;
}

std::string padRight(const std::string& s, int width) {
    const size_t n = charCount(s);
    return n >= static_cast<size_t>(width) ? s : s + std::string(static_cast<size_t>(width) - n, ' ');
}

bool editing(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

// Puts the engine's exact setting back when a seek is done, also when it ends in an exception.
class ExactSetting {
public:
    explicit ExactSetting(bool exact) : m_wasOn(xb::ExactIsOn()) {
        if (exact && !m_wasOn) xb::SetExactOn();
    }
    ~ExactSetting() {
        if (!m_wasOn) xb::SetExactOff();
    }
    ExactSetting(const ExactSetting&) = delete;
    ExactSetting& operator=(const ExactSetting&) = delete;

private:
    bool m_wasOn;
};

std::string expectedTypeText(char expected) {
    switch (expected) {
        case 'C':
            return "Character";
        case 'D':
            return "Date";
        case 'L':
            return "Logical";
        case 'M':
            return "Memo";
        case 'N':
            return "Numeric, without decimals";
        default:
            return "Numeric, with decimals";
    }
}

std::string actualTypeText(char type, int width, int decimals) {
    switch (type) {
        case 'C':
            return "Character";
        case 'D':
            return "Date";
        case 'L':
            return "Logical";
        case 'M':
            return "Memo";
        case 'N':
        case 'F':
            return "Numeric, width: " + std::to_string(width) + " decimals: " + std::to_string(decimals);
        default:
            return std::string(1, type);
    }
}

bool typeMatches(char expected, char type, int decimals) {
    switch (expected) {
        case 'N':
            return (type == 'N' || type == 'F') && decimals == 0;
        case 'R':
            return (type == 'N' || type == 'F') && decimals > 0;
        default:
            return type == expected;
    }
}

// The text of a LOCATE value for a key search.
std::string keyText(const TVariant& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<int32_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        // Keys always use ".", whatever the user's decimal separator.
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, r.ptr);
    }
    if (auto b = std::get_if<bool>(&v)) return *b ? "T" : "F";
    return {};
}

}  // namespace

// ---- helpers ----

void TXbCDataSet::dropPendingPuts() {
    // The framework would post an edited record before it moves; a put that no ReplaceRec wrote is
    // dropped instead, so only ReplaceRec (under the caller's record lock) ever writes.
    if (editing(State())) Cancel();
}

TField& TXbCDataSet::fieldNamed(const std::string& fieldName) {
    return FieldByName(firstChars(fieldName, kFieldNameChars));
}

// ---- writes ----

void TXbCDataSet::AppendBlank() {
    if (!BeginOperation("AppendBlank")) return;
    xb::ClearRecord();
    // The new record stays current even when a filter or while-condition hides the blank row: the caller
    // locks, fills and replaces it next, and moving off it would send those writes to another row.
    xb::Append();
    const WorkAreaBlock* b = xb::CurrentBlock();
    // A row the current order's FOR condition leaves out is the area's record all the same.
    if (PendingError() == 0 && b && !b->eof && xb::dEOF()) m_outsideOrder = b->recNo;
    MarkModified();
    SyncDatasetWithArea();
}

void TXbCDataSet::DeleteRec() {
    if (!BeginOperation("DeleteRec")) return;
    positionArea();
    xb::DeleteRec();
    xb::RefreshPosition();
    MarkModified();
    SyncDatasetWithArea();
}

bool TXbCDataSet::Pack() {
    if (!BeginOperation("Pack")) return false;
    const bool ok = xb::Pack();
    // A pack that another station's open refused leaves its reason in the last-error word only; the
    // moves of the resynchronisation must not wipe it before the caller reads it.
    FirstError refused;
    if (!ok) refused.take();
    MarkModified();
    SyncDatasetWithArea();
    return ok;
}

void TXbCDataSet::ReplaceRec() {
    if (!BeginOperation("ReplaceRec")) return;
    xb::Replace();
    xb::RefreshPosition();
    MarkModified();
    SyncDatasetWithArea();
}

// ---- conditions and moves ----

void TXbCDataSet::SetFilterTo(const std::string& condition) {
    if (!BeginOperation("SetFilterTo")) return;
    resyncArea();
    const bool ok = xb::Set_Filter_To(Utf8ToStored(condition));
    // A condition the engine refused leaves the area without a filter: the dataset says so too.
    Filtered = ok && !condition.empty();
    Filter = ok ? condition : std::string();
    if (PendingError() != 0) return;
    if (xb::EvalFilter()) {
        SyncDatasetWithArea();
    } else {
        dropPendingPuts();
        Last();
    }
}

void TXbCDataSet::SetWhileTo(const std::string& condition) {
    if (!BeginOperation("SetWhileTo")) return;
    resyncArea();
    xb::Set_While_To(Utf8ToStored(condition));
    if (PendingError() == 0 && !xb::EvalWhile()) xb::GoBottomWhile();
    SyncDatasetWithArea();
}

void TXbCDataSet::Skip(int n) {
    if (n != 0) {
        dropPendingPuts();
        MoveBy(n);
        return;
    }
    if (!BeginOperation("Skip")) return;
    xb::Skip(0);
    SyncDatasetWithArea();
}

void TXbCDataSet::GoTop() {
    dropPendingPuts();
    First();
}

bool TXbCDataSet::IsEof() {
    return Eof();
}

int TXbCDataSet::RecCount() {
    return RecordCount();
}

// ---- fields ----

std::string TXbCDataSet::FieldGetStr(const std::string& fieldName) {
    TField& f = fieldNamed(fieldName);
    switch (f.DataType()) {
        case TFieldType::ftInteger:
        case TFieldType::ftFloat:
            return padLeft(f.GetAsString(), f.Size());
        case TFieldType::ftBoolean:
            return f.GetAsBoolean() ? "T" : "F";
        case TFieldType::ftDate: {
            const std::string s = f.GetAsString();
            if (s.size() == 8 || s.size() == 10) return s;
            return Utf8Text(BlankDateText(Engine::current().settings.dateFormat));
        }
        case TFieldType::ftMemo:
            return f.GetAsString();
        default:
            return padRight(f.GetAsString(), f.Size());
    }
}

int32_t TXbCDataSet::FieldGetInt(const std::string& fieldName) {
    return fieldNamed(fieldName).GetAsInteger();
}

void TXbCDataSet::FieldPutStr(const std::string& fieldName, const std::string& text) {
    TField& f = fieldNamed(fieldName);
    if (!editing(State()) && State() != TDataSetState::dsSetKey) Edit();
    putChecked(
        f, [&] { f.SetAsString(text); }, text);
}

void TXbCDataSet::FieldPutInt(const std::string& fieldName, int32_t value) {
    TField& f = fieldNamed(fieldName);
    if (!editing(State()) && State() != TDataSetState::dsSetKey) Edit();
    putChecked(
        f, [&] { f.SetAsInteger(value); }, std::to_string(value));
}

void TXbCDataSet::putChecked(TField& f, const std::function<void()>& put, const std::string& shown) {
    const bool numeric = f.DataType() == TFieldType::ftInteger || f.DataType() == TFieldType::ftFloat;
    if (!numeric || !FieldProps()) return put();
    // A number wider than its field would be stored as asterisks and the value lost: it is refused, and
    // the field keeps what it held.
    const TVariant old = f.GetAsVariant();
    put();
    const int n = f.FieldNo();
    const int width = FieldProps()->Width(n), decimals = FieldProps()->Decimals(n);
    if (FormatFieldNumber(f.GetAsFloat(), width, decimals).find('*') == std::string::npos) return;
    f.SetAsVariant(old);
    DatabaseError("'" + shown + "' does not fit field '" + f.FieldName() + "' (width " +
                  std::to_string(width) + ", decimals " + std::to_string(decimals) + ")");
}

// ---- index ----

bool TXbCDataSet::SetIndexTo(const std::string& indexFileName) {
    if (!BeginOperation("SetIndexTo")) return false;
    positionArea();
    bool ok = false;
    if (IndexServices().setIndexTo)
        ok = IndexServices().setIndexTo(EngineText(indexFileName));
    else
        SetEngineError(220, "Index engine not linked in [SetIndexTo]");
    SyncDatasetWithArea();
    return ok;
}

bool TXbCDataSet::SetOrderToTag(const std::string& tagName) {
    if (!BeginOperation("SetOrderToTag")) return false;
    resyncArea();
    const bool ok = xb::SetOrderToTag(EngineText(firstChars(tagName, kTagNameChars)));
    SyncDatasetWithArea();
    return ok;
}

bool TXbCDataSet::IsDeleted() {
    const TRecordBuffer b = ActiveBuffer();
    return Active() && !IsEmpty() && b && b[0] != 0;
}

void TXbCDataSet::SetSeeksTakeScans(bool on) {
    if (!BeginOperation("SetSeeksTakeScans")) return;
    if (xb::WorkAreaBlock* b = xb::CurrentBlock()) b->seeksTakeScans = on;
}

bool TXbCDataSet::SetOrderForSeek(const std::string& tagName) {
    if (!BeginOperation("SetOrderForSeek")) return false;
    dropPendingPuts();
    xb::StandNowhere();
    const bool ok = xb::SetOrderToTag(EngineText(firstChars(tagName, kTagNameChars)));
    SyncDatasetWithArea();
    return ok;
}

bool TXbCDataSet::SetOrderUnlessCurrent(const std::string& tagName) {
    if (!BeginOperation("SetOrderUnlessCurrent")) return false;
    const int current = xb::CurrentOrder();
    const std::string wanted = " [tag: " + AsciiUpper(AllTrim(EngineText(firstChars(tagName, kTagNameChars)))) + "]";
    if (current > 0 && xb::IndexTagName(current) == wanted) return true;
    return SetOrderToTag(tagName);
}

bool TXbCDataSet::findKey(const char* opName, const std::string& key, bool exact) {
    if (!BeginOperation(opName)) return false;
    resyncArea();
    bool found;
    {
        ExactSetting setting(exact);
        found = xb::Find(Utf8ToStored(firstChars(key, kKeyChars)));
    }
    if (PendingError() != 0) return found;
    if (xb::dEOF()) {
        dropPendingPuts();
        Last();
    } else {
        SyncDatasetWithArea();
    }
    // The moves of the resynchronisation must not change what the search found.
    if (bool* flag = xb::IndexFoundFlag()) *flag = found;
    return found;
}

bool TXbCDataSet::Find(const std::string& key) {
    return findKey("Find", key, false);
}

void TXbCDataSet::SetOpenKey(const std::string& tag, const std::string& key) {
    m_openTag = tag;
    m_openKey = key;
    // Set on an open dataset, the key is the one the next FindOpenKey seeks; an answer an earlier open
    // kept belongs to another key.
    m_openKeyFound = -1;
}

bool TXbCDataSet::FindOpenKey() {
    const int found = m_openKeyFound;
    m_openKeyFound = -1;
    return found >= 0 ? found == 1 : Find(m_openKey);
}

bool TXbCDataSet::positionOnOpenKey() {
    m_openKeyFound = -1;
    xb::SetIgnoreDel(HideDeletedRecs());
    const std::string tag = EngineText(firstChars(m_openTag, kTagNameChars));
    const int current = xb::CurrentOrder();
    const bool onTag = current > 0 && xb::IndexTagName(current) == " [tag: " + AsciiUpper(AllTrim(tag)) + "]";
    if (!onTag && !xb::SetOrderToTag(tag)) return false;
    bool found;
    {
        ExactSetting setting(false);
        found = xb::Find(Utf8ToStored(firstChars(m_openKey, kKeyChars)));
    }
    if (PendingError() != 0) return false;
    if (!found) {
        // Nowhere, as in an empty table: the cursor's first positioning finds no row and moves nothing.
        WorkAreaBlock* b = xb::CurrentBlock();
        b->eof = b->bof = true;
    }
    m_openKeyFound = found ? 1 : 0;
    return true;
}

bool TXbCDataSet::FindExact(const std::string& key) {
    return findKey("FindExact", key, true);
}

void TXbCDataSet::Reindex() {
    if (!BeginOperation("Reindex")) return;
    xb::Reindex();
    SyncDatasetWithArea();
}

bool TXbCDataSet::Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                         TLocateOptions options) {
    CheckBrowseMode();
    if (!BeginOperation("Locate")) return false;
    // Natural order keeps the index open but orders nothing: the search is sequential then.
    if (xb::CurrentOrder() == 0) return TXbPrimDataset::Locate(keyFields, keyValues, options);
    // The key fields are those of the order; the values are sought as one key text.
    std::string key;
    for (const TVariant& v : keyValues) key += keyText(v);
    return (options & loPartialKey) != 0 ? Find(key) : FindExact(key);
}

// ---- locks ----

bool TXbCDataSet::ALock() {
    if (!BeginOperation("ALock")) return false;
    return xb::ALock();
}

bool TXbCDataSet::RLock() {
    if (!BeginOperation("RLock")) return false;
    positionArea();
    return xb::RLock();
}

bool TXbCDataSet::UnLock() {
    if (!BeginOperation("UnLock")) return false;
    xb::Unlock();
    return LastError() == 0;
}

bool TXbCDataSet::BeginIndexWrites() {
    if (m_indexWritesDepth > 0) {
        ++m_indexWritesDepth;
        return true;
    }
    if (!BeginOperation("BeginIndexWrites")) return false;
    auto bracket = std::make_unique<SemaphoreBracket>(SemaphoreBracket::Lock, xb::IsIndexActive());
    if (!bracket->held()) return false;
    if (xb::IsIndexActive()) xb::HoldIndexWritesInBracket();
    m_indexWrites = std::move(bracket);
    m_indexWritesDepth = 1;
    return true;
}

bool TXbCDataSet::IndexUnchangedSinceLastRead() {
    return BeginOperation("IndexUnchangedSinceLastRead") && xb::IsIndexActive() && xb::SemaphoreUnchangedSinceLastRead();
}

void TXbCDataSet::EndIndexWrites() {
    if (m_indexWritesDepth == 0 || --m_indexWritesDepth > 0) return;
    // The bracket is closed on the area it was taken on, whichever is current.
    m_indexWrites.reset();
}

// ---- memo text ----

int TXbCDataSet::CheckFieldType(const std::string& opName, const std::string& fieldName, char expected) {
    if (!BeginOperation(opName)) return 0;
    const std::string name = EngineText(firstChars(fieldName, kFieldNameChars));
    const int n = xb::FieldNo(name);
    if (n < 1) {
        SetEngineError(220, "Field \"" + name + "\" not in \"" + xb::DbfName() + "\" [" + opName + "]");
        return 0;
    }
    if (std::string("CDLMNR").find(expected) != std::string::npos) {
        // A row being appended is the area's typed record already and has no record to go to: going to
        // the one the dataset stood on would read that record over the new row's values.
        if (State() != TDataSetState::dsInsert) positionArea();
        const char type = xb::FieldType(n);
        const int width = xb::FieldLen(n), decimals = xb::FieldDec(n);
        if (!typeMatches(expected, type, decimals)) {
            SetEngineError(220, "\"" + opName + "()\" expects field \"" + name + "\" to be of type:\r\n\"" +
                                    expectedTypeText(expected) + "\".\"" + name + "\" actually is: \"" +
                                    actualTypeText(type, width, decimals) + "\"");
            return 0;
        }
    }
    return n;
}

void TXbCDataSet::GetMField(const std::string& fieldName, std::vector<std::string>& lines) {
    lines.clear();
    const int n = CheckFieldType("GetMField", fieldName, 'M');
    if (n == 0) return;
    // The memo unit converts between the table's code page and the engine's; the lines come back in
    // the engine's and are handed out as UTF-8.
    MemoTextFile memo;
    if (!memo.assign(n) || memo.reset() != 0) return;
    std::string line;
    bool ended = false;  // the last line read came with its line end
    while (memo.readLine(line)) {
        // One line end (CR LF, LF or CR) comes with each line but the last.
        ended = !line.empty() && (line.back() == '\n' || line.back() == '\r');
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(StoredToUtf8(line));
    }
    // SetMField puts a line end between lines only: a text that ends with one ends with an empty line,
    // and writing back what was read gives the same text.
    if (ended) lines.emplace_back();
    memo.close();
}

void TXbCDataSet::SetMField(const std::string& fieldName, const std::vector<std::string>& lines) {
    const int n = CheckFieldType("SetMField", fieldName, 'M');
    if (n == 0) return;
    MemoTextFile memo;
    if (!memo.assign(n) || memo.rewrite() != 0) return;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) memo.write("\r\n");
        memo.write(Utf8ToStored(lines[i]));
    }
    memo.close();
}

void TXbCDataSet::PutMField(const std::string& fieldName, const std::vector<std::string>& lines) {
    if (!editing(State())) Edit();
    BufferToRecord(ActiveBuffer(), -1);
    SetMField(fieldName, lines);
    RecordToBuffer(ActiveBuffer());
    if (!Modified()) {
        DataEvent(TDataEvent::deRecordChange);
        SetModifiedFlag();
    }
}

// ---- engine errors ----

bool TXbCDataSet::SetEngineErrorsOff() {
    return xb::SetErrorTrap(false);
}

bool TXbCDataSet::SetEngineErrorsOn() {
    return xb::SetErrorTrap(true);
}

}  // namespace xb
