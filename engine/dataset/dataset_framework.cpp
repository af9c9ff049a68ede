#include "engine/dataset/dataset_framework.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace xb {

void DatabaseError(const std::string& text) { throw EDatabaseError(text); }

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kEpochOffset = 25569;  // 1970-01-01 counted from 1899-12-30

std::string trimBlanks(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

bool parseDouble(const std::string& text, double& out) {
    std::string t = trimBlanks(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc() && p == t.data() + t.size() && std::isfinite(out);
}

std::string formatDouble(double v, int precision) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    if (ec != std::errc()) return "0";
    return std::string(buf, p);
}

}  // namespace

double EncodeDate(int year, int month, int day) {
    return static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                               kEpochOffset);
}

void DecodeDate(double value, int& year, int& month, int& day) {
    long long z = static_cast<long long>(std::floor(value)) - kEpochOffset + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (month <= 2));
}

std::string TStream::ReadAll() {
    std::string out;
    char buf[4096];
    for (;;) {
        long n = Read(buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// ---- TField ----

TField::TField(TFieldType type, int dataSize) : m_type(type), m_dataSize(dataSize) {}

void TField::CheckTypeSize(int size) {
    if (size != 0) DatabaseError("Invalid field size " + std::to_string(size));
}

void TField::SetSize(int size) {
    CheckTypeSize(size);
    m_size = size;
    if (m_type == TFieldType::ftString) m_dataSize = size + 1;
}

bool TField::GetData(void* buffer) const {
    if (!m_dataSet) DatabaseError("Field '" + m_name + "' has no dataset");
    return m_dataSet->GetFieldData(*this, buffer);
}

void TField::SetData(const void* buffer) {
    if (!m_dataSet) DatabaseError("Field '" + m_name + "' has no dataset");
    m_dataSet->SetFieldData(*this, buffer);
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

bool TField::IsNull() const {
    if (m_dataSize == 0) return GetAsString().empty();
    std::vector<uint8_t> tmp(static_cast<size_t>(m_dataSize), 0);
    return !GetData(tmp.data());
}

void TField::Clear() {
    if (m_dataSize == 0) {
        SetAsString("");
        return;
    }
    SetData(nullptr);
}

void TField::TypeError(const char* to) const {
    DatabaseError("Field '" + m_name + "' cannot be used as " + to);
}

std::string TField::GetAsString() const { TypeError("a text"); }
void TField::SetAsString(const std::string&) { TypeError("a text"); }
int32_t TField::GetAsInteger() const { TypeError("an integer"); }
void TField::SetAsInteger(int32_t) { TypeError("an integer"); }
double TField::GetAsFloat() const { TypeError("a real"); }
void TField::SetAsFloat(double) { TypeError("a real"); }
bool TField::GetAsBoolean() const { TypeError("a logical"); }
void TField::SetAsBoolean(bool) { TypeError("a logical"); }
double TField::GetAsDateTime() const { TypeError("a date"); }
void TField::SetAsDateTime(double) { TypeError("a date"); }
TVariant TField::GetAsVariant() const { return GetAsString(); }

void TField::SetAsVariant(const TVariant& v) {
    if (VarIsNull(v)) return Clear();
    if (auto s = std::get_if<std::string>(&v)) return SetAsString(*s);
    if (auto i = std::get_if<int32_t>(&v)) return SetAsInteger(*i);
    if (auto d = std::get_if<double>(&v)) return SetAsFloat(*d);
    SetAsBoolean(std::get<bool>(v));
}

// ---- TStringField ----

void TStringField::CheckTypeSize(int size) {
    if (size < 0 || size > 8192) DatabaseError("Invalid field size " + std::to_string(size));
}

std::string TStringField::GetAsString() const {
    std::vector<char> buf(static_cast<size_t>(DataSize()) + 1, 0);
    if (!GetData(buf.data())) return {};
    std::string stored(buf.data());
    while (!stored.empty() && stored.back() == ' ') stored.pop_back();
    return DataSet()->StoredToUtf8(stored);
}

void TStringField::SetAsString(const std::string& text) {
    std::string stored = DataSet()->Utf8ToStored(text);
    if (stored.size() > static_cast<size_t>(Size())) stored.resize(static_cast<size_t>(Size()));
    std::vector<char> buf(static_cast<size_t>(DataSize()) + 1, 0);
    std::memcpy(buf.data(), stored.data(), stored.size());
    SetData(buf.data());
}

int32_t TStringField::GetAsInteger() const {
    double d;
    if (!parseDouble(GetAsString(), d) || d != std::trunc(d) || std::fabs(d) > 2147483647.0)
        DatabaseError("'" + GetAsString() + "' is not a valid integer value");
    return static_cast<int32_t>(d);
}

double TStringField::GetAsFloat() const {
    double d;
    if (!parseDouble(GetAsString(), d)) DatabaseError("'" + GetAsString() + "' is not a valid floating point value");
    return d;
}

void TStringField::SetAsFloat(double v) { SetAsString(formatDouble(v, 15)); }

TVariant TStringField::GetAsVariant() const {
    if (IsNull()) return {};
    return GetAsString();
}

// ---- numbers ----

namespace {

// Number text typed by a user: "." always, the locale's separator as well when the dataset says so.
double numberOf(const TField& f, const std::string& text) {
    double d;
    std::string t = text;
    if (TDataSet* ds = f.DataSet()) t = ds->Utf8ToStored(t);
    if (parseDouble(t, d)) return d;
    std::replace(t.begin(), t.end(), ',', '.');
    if (parseDouble(t, d)) return d;
    DatabaseError("'" + text + "' is not a valid number for field '" + f.FieldName() + "'");
}

}  // namespace

std::string TIntegerField::GetAsString() const {
    int32_t v = 0;
    if (!GetData(&v)) return {};
    return std::to_string(v);
}

void TIntegerField::SetAsString(const std::string& text) {
    if (trimBlanks(text).empty()) return Clear();
    double d = numberOf(*this, text);
    if (d != std::trunc(d) || std::fabs(d) > 2147483647.0)
        DatabaseError("'" + text + "' is not a valid integer value for field '" + FieldName() + "'");
    SetAsInteger(static_cast<int32_t>(d));
}

int32_t TIntegerField::GetAsInteger() const {
    int32_t v = 0;
    return GetData(&v) ? v : 0;
}

void TIntegerField::SetAsInteger(int32_t v) { SetData(&v); }

void TIntegerField::SetAsFloat(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 2147483647.0) DatabaseError("Value out of range for field '" + FieldName() + "'");
    SetAsInteger(static_cast<int32_t>(std::lround(v)));
}

TVariant TIntegerField::GetAsVariant() const {
    int32_t v = 0;
    if (!GetData(&v)) return {};
    return v;
}

std::string TFloatField::GetAsString() const {
    double v = 0;
    if (!GetData(&v)) return {};
    return formatDouble(v, Precision);
}

void TFloatField::SetAsString(const std::string& text) {
    if (trimBlanks(text).empty()) return Clear();
    SetAsFloat(numberOf(*this, text));
}

int32_t TFloatField::GetAsInteger() const {
    double v = GetAsFloat();
    if (std::fabs(v) > 2147483647.0) DatabaseError("Value out of range for field '" + FieldName() + "'");
    return static_cast<int32_t>(std::lround(v));
}

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0;
}

void TFloatField::SetAsFloat(double v) {
    if (!std::isfinite(v)) DatabaseError("Invalid value for field '" + FieldName() + "'");
    SetData(&v);
}

TVariant TFloatField::GetAsVariant() const {
    double v = 0;
    if (!GetData(&v)) return {};
    return v;
}

// ---- logical ----

std::string TBooleanField::GetAsString() const {
    uint16_t v = 0;
    if (!GetData(&v)) return {};
    return v ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& text) {
    std::string t = trimBlanks(text);
    if (t.empty()) return Clear();
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    if (c == 'T' || c == 'Y' || c == '1') return SetAsBoolean(true);
    if (c == 'F' || c == 'N' || c == '0') return SetAsBoolean(false);
    DatabaseError("'" + text + "' is not a valid boolean value for field '" + FieldName() + "'");
}

bool TBooleanField::GetAsBoolean() const {
    uint16_t v = 0;
    return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBoolean(bool v) {
    uint16_t w = v ? 1 : 0;
    SetData(&w);
}

TVariant TBooleanField::GetAsVariant() const {
    uint16_t v = 0;
    if (!GetData(&v)) return {};
    return v != 0;
}

// ---- dates ----

std::string TDateField::GetAsString() const {
    double v = 0;
    if (!GetData(&v)) return {};
    int y, m, d;
    DecodeDate(v, y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

void TDateField::SetAsString(const std::string& text) {
    std::string t = trimBlanks(text);
    if (t.empty()) return Clear();
    int y = 0, m = 0, d = 0;
    if (t.size() == 10 && std::sscanf(t.c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && m >= 1 && m <= 12 && d >= 1 &&
        d <= 31) {
        double v = EncodeDate(y, m, d);
        int y2, m2, d2;
        DecodeDate(v, y2, m2, d2);
        if (y2 == y && m2 == m && d2 == d) return SetAsDateTime(v);
    }
    DatabaseError("'" + text + "' is not a valid date");
}

double TDateField::GetAsDateTime() const {
    double v = 0;
    return GetData(&v) ? v : 0;
}

void TDateField::SetAsDateTime(double v) { SetData(&v); }

TVariant TDateField::GetAsVariant() const {
    double v = 0;
    if (!GetData(&v)) return {};
    return v;
}

// ---- blobs ----

std::string TBlobField::GetAsString() const {
    auto s = DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), TBlobStreamMode::bmRead);
    return DataSet()->StoredToUtf8(s->ReadAll());
}

void TBlobField::SetAsString(const std::string& text) {
    std::string stored = DataSet()->Utf8ToStored(text);
    auto s = DataSet()->CreateBlobStream(*this, TBlobStreamMode::bmWrite);
    if (!stored.empty()) s->Write(stored.data(), static_cast<long>(stored.size()));
}

TVariant TBlobField::GetAsVariant() const { return GetAsString(); }

// ---- TDataSource ----

TDataSource::TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }

TDataSource::~TDataSource() { SetDataSet(nullptr); }

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (m_dataSet) {
        auto& v = m_dataSet->m_sources;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    m_dataSet = dataSet;
    if (m_dataSet) m_dataSet->m_sources.push_back(this);
    if (OnDataChange) OnDataChange(TDataEvent::deDataSetChange);
}

// ---- TDataSet ----

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
    for (TDataSource* s : m_sources) s->m_dataSet = nullptr;
    // A derived dataset closes itself in its own destructor; here only the buffers are let go.
    m_sources.clear();
}

void TDataSet::DataEvent(TDataEvent event) {
    std::vector<TDataSource*> sources = m_sources;
    for (TDataSource* s : sources) {
        if (event == TDataEvent::deUpdateState) {
            if (s->OnStateChange) s->OnStateChange();
        } else if (s->OnDataChange) {
            s->OnDataChange(event);
        }
    }
}

void TDataSet::SetState(TDataSetState state) {
    if (m_state == state) return;
    m_state = state;
    DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::CheckActive() const {
    if (m_state == TDataSetState::dsInactive) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::SetActive(bool on) {
    if (on == Active()) return;
    if (on) {
        if (BeforeOpen) BeforeOpen(*this);
        openImpl();
        if (AfterOpen) AfterOpen(*this);
        DoAfterScroll();
    } else {
        if (BeforeClose) BeforeClose(*this);
        closeImpl();
        if (AfterClose) AfterClose(*this);
    }
}

void TDataSet::openImpl() {
    m_state = TDataSetState::dsOpening;
    try {
        OpenCursor();
        allocBuffers();
        m_state = TDataSetState::dsInactive;
        SetState(TDataSetState::dsBrowse);
        fetchFirst(false);
    } catch (...) {
        m_state = TDataSetState::dsInactive;
        try {
            CloseCursor();
        } catch (...) {
        }
        freeBuffers();
        throw;
    }
    DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::closeImpl() {
    SetState(TDataSetState::dsInactive);
    try {
        CloseCursor();
    } catch (...) {
        freeBuffers();
        DataEvent(TDataEvent::deDataSetChange);
        throw;
    }
    freeBuffers();
    DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::OpenCursor() {
    InternalOpen();
}

void TDataSet::CloseCursor() {
    if (IsCursorOpen()) InternalClose();
}

void TDataSet::allocBuffers() {
    freeBuffers();
    m_active = AllocRecordBuffer();
    m_temp = AllocRecordBuffer();
    m_calc = AllocRecordBuffer();
    m_saved = AllocRecordBuffer();
    m_hasRecord = false;
    m_cursorValid = false;
}

void TDataSet::freeBuffers() {
    for (TRecordBuffer* b : {&m_active, &m_temp, &m_calc, &m_saved})
        if (*b) FreeRecordBuffer(*b);
    m_active = m_temp = m_calc = m_saved = nullptr;
    m_hasRecord = false;
    m_bof = m_eof = true;
}

void TDataSet::ClearBuffers() {
    m_hasRecord = false;
    m_cursorValid = false;
}

void TDataSet::UpdateCursorPos() {
    if (m_hasRecord && !m_cursorValid) {
        InternalSetToRecord(m_active);
        m_cursorValid = true;
    }
}

void TDataSet::CreateFields() {
    m_fields.clear();
    for (const TFieldDef& d : m_fieldDefs) {
        std::unique_ptr<TField> f = CreateFieldOfClass(d.dataType);
        f->m_name = d.name;
        f->m_fieldNo = d.fieldNo;
        f->m_dataSet = this;
        f->SetSize(d.size);
        m_fields.push_back(std::move(f));
    }
    m_calcFieldsSize = 0;
    for (auto& c : m_calcFields) {
        c->m_dataSet = this;
        c->Offset = m_calcFieldsSize;
        m_calcFieldsSize += 1 + c->DataSize();
    }
    m_defaultFields = true;
}

void TDataSet::DestroyFields() {
    m_fields.clear();
    m_defaultFields = false;
}

TField& TDataSet::AddCalculatedField(const std::string& name, TFieldType type, int size) {
    if (Active()) DatabaseError("Cannot add a field to an open dataset");
    std::unique_ptr<TField> f = CreateFieldOfClass(type);
    f->m_name = name;
    f->m_fieldNo = -static_cast<int>(m_calcFields.size()) - 1;
    f->m_kind = TFieldKind::fkCalculated;
    f->m_dataSet = this;
    f->SetSize(size);
    m_calcFields.push_back(std::move(f));
    return *m_calcFields.back();
}

int TDataSet::BlobFieldCount() const {
    int n = 0;
    for (const auto& f : m_fields)
        if (f->DataType() == TFieldType::ftMemo || f->DataType() == TFieldType::ftBlob) ++n;
    return n;
}

std::unique_ptr<TField> TDataSet::CreateFieldOfClass(TFieldType type) {
    switch (type) {
        case TFieldType::ftString: return std::make_unique<TStringField>();
        case TFieldType::ftInteger: return std::make_unique<TIntegerField>();
        case TFieldType::ftFloat: return std::make_unique<TFloatField>();
        case TFieldType::ftBoolean: return std::make_unique<TBooleanField>();
        case TFieldType::ftDate: return std::make_unique<TDateField>();
        case TFieldType::ftMemo: return std::make_unique<TMemoField>();
        case TFieldType::ftBlob: return std::make_unique<TBlobField>();
        default: DatabaseError("Field type not supported");
    }
}

TField* TDataSet::FindField(const std::string& name) {
    auto eq = [&](const std::string& a) {
        if (a.size() != name.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(name[i])))
                return false;
        return true;
    };
    for (auto& f : m_fields)
        if (eq(f->FieldName())) return f.get();
    for (auto& f : m_calcFields)
        if (eq(f->FieldName())) return f.get();
    return nullptr;
}

TField& TDataSet::FieldByName(const std::string& name) {
    TField* f = FindField(name);
    if (!f) DatabaseError(Name + ": Field '" + name + "' not found");
    return *f;
}

bool TDataSet::GetFieldData(const TField&, void*) { return false; }

void TDataSet::SetFieldData(TField&, const void*) { DatabaseError("Field data cannot be written"); }

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField&, TBlobStreamMode) {
    DatabaseError("Blob streams are not supported");
}

bool TDataSet::GetCurrentRecord(TRecordBuffer) { return false; }

void TDataSet::ClearCalcFields(TRecordBuffer) {}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
    if (m_calcFields.empty()) return;
    ClearCalcFields(buffer);
    if (!AutoCalcFields || !OnCalcFields) return;
    TDataSetState saved = m_state;
    TRecordBuffer savedCalc = m_calc;
    m_calc = buffer;
    m_state = TDataSetState::dsCalcFields;
    try {
        OnCalcFields(*this);
    } catch (...) {
        m_state = saved;
        m_calc = savedCalc;
        throw;
    }
    m_state = saved;
    m_calc = savedCalc;
}

void TDataSet::InternalHandleException() { throw; }

void TDataSet::DoOnNewRecord() {
    if (OnNewRecord) OnNewRecord(*this);
}

void TDataSet::DoAfterScroll() {
    if (AfterScroll) AfterScroll(*this);
}

void TDataSet::DoAfterCancel() {
    if (AfterCancel) AfterCancel(*this);
}

void TDataSet::DoBeforeScroll() {
    if (BeforeScroll) BeforeScroll(*this);
}

void TDataSet::fetchFirst(bool fromEnd) {
    ClearBuffers();
    if (fromEnd)
        InternalLast();
    else
        InternalFirst();
    m_hasRecord = GetRecord(m_active, fromEnd ? TGetMode::gmPrior : TGetMode::gmNext, true) == TGetResult::grOK;
    m_cursorValid = m_hasRecord;
    if (fromEnd) {
        m_eof = true;
        m_bof = !m_hasRecord;
    } else {
        m_bof = true;
        m_eof = !m_hasRecord;
    }
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(TDataEvent::deUpdateState);
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) Post();
}

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    fetchFirst(false);
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    fetchFirst(true);
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        DoBeforeScroll();
        m_bof = m_eof = false;
        const TGetMode mode = distance > 0 ? TGetMode::gmNext : TGetMode::gmPrior;
        int left = distance > 0 ? distance : -distance;
        while (left > 0) {
            if (!m_hasRecord) {
                (distance > 0 ? m_eof : m_bof) = true;
                break;
            }
            UpdateCursorPos();
            if (GetRecord(m_temp, mode, true) != TGetResult::grOK) {
                CursorPosChanged();
                (distance > 0 ? m_eof : m_bof) = true;
                break;
            }
            std::swap(m_active, m_temp);
            m_cursorValid = true;
            --left;
            ++moved;
        }
        DataEvent(TDataEvent::deDataSetScroll);
        DoAfterScroll();
    }
    return distance > 0 ? moved : -moved;
}

bool TDataSet::IsEmpty() { return !m_hasRecord; }

int TDataSet::RecordCount() {
    CheckActive();
    return GetRecordCount();
}

int TDataSet::GetRecordCount() { return -1; }

int TDataSet::RecNo() {
    CheckActive();
    return GetRecNo();
}

int TDataSet::GetRecNo() { return -1; }

void TDataSet::SetRecNo(int) {}

void TDataSet::Resync(TResyncMode mode) {
    if (mode & rmExact) {
        CursorPosChanged();
        if (GetRecord(m_temp, TGetMode::gmCurrent, true) != TGetResult::grOK) DatabaseError("Record not found");
    } else if (GetRecord(m_temp, TGetMode::gmCurrent, false) != TGetResult::grOK &&
               GetRecord(m_temp, TGetMode::gmNext, false) != TGetResult::grOK &&
               GetRecord(m_temp, TGetMode::gmPrior, false) != TGetResult::grOK) {
        ClearBuffers();
        m_bof = m_eof = true;
        DataEvent(TDataEvent::deDataSetChange);
        return;
    }
    std::swap(m_active, m_temp);
    m_hasRecord = true;
    m_cursorValid = true;
    m_bof = m_eof = false;
    DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    if (BeforeRefresh) BeforeRefresh(*this);
    UpdateCursorPos();
    InternalRefresh();
    Resync(0);
    if (AfterRefresh) AfterRefresh(*this);
}

bool TDataSet::FindRecord(bool, bool) { return false; }

void TDataSet::Edit() {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    if (!m_hasRecord) return Insert();
    if (BeforeEdit) BeforeEdit(*this);
    UpdateCursorPos();
    InternalEdit();
    SetState(TDataSetState::dsEdit);
    DataEvent(TDataEvent::deRecordChange);
    if (AfterEdit) AfterEdit(*this);
}

void TDataSet::beginInsertAppend(bool append) {
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    if (BeforeInsert) BeforeInsert(*this);
    DoBeforeScroll();
    std::memcpy(m_saved, m_active, static_cast<size_t>(GetRecordSize()));
    m_savedHasRecord = m_hasRecord;
    if (append) InternalLastBeforeAppend();
    InternalInitRecord(m_active);
    SetBookmarkFlag(m_active, append ? TBookmarkFlag::bfEOF : TBookmarkFlag::bfInserted);
    m_hasRecord = true;
    m_cursorValid = false;
    m_bof = m_eof = false;
    SetState(TDataSetState::dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        Cancel();
        throw;
    }
    m_modified = false;
    DataEvent(TDataEvent::deDataSetChange);
    if (AfterInsert) AfterInsert(*this);
    DoAfterScroll();
}

void TDataSet::Insert() { beginInsertAppend(false); }
void TDataSet::Append() { beginInsertAppend(true); }

void TDataSet::runChecked(void (TDataSet::*op)(), const TDataSetErrorEvent& handler) {
    for (int tries = 0;; ++tries) {
        try {
            (this->*op)();
            return;
        } catch (const std::exception& e) {
            TDataAction action = TDataAction::daFail;
            if (handler && tries < 100) handler(*this, e, action);
            if (action == TDataAction::daRetry) continue;
            if (action == TDataAction::daAbort) throw EDatabaseError("Operation aborted");
            throw;
        }
    }
}

void TDataSet::Post() {
    DataEvent(TDataEvent::deUpdateState);
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    if (BeforePost) BeforePost(*this);
    runChecked(&TDataSet::InternalPost, OnPostError);
    SetState(TDataSetState::dsBrowse);
    m_modified = false;
    Resync(0);
    if (AfterPost) AfterPost(*this);
}

void TDataSet::Cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    if (BeforeCancel) BeforeCancel(*this);
    const bool wasInsert = m_state == TDataSetState::dsInsert;
    InternalCancel();
    SetState(TDataSetState::dsBrowse);
    m_modified = false;
    if (wasInsert) {
        std::memcpy(m_active, m_saved, static_cast<size_t>(GetRecordSize()));
        m_hasRecord = m_savedHasRecord;
        m_cursorValid = false;
        m_bof = m_eof = !m_hasRecord;
    }
    if (m_hasRecord) {
        UpdateCursorPos();
        Resync(0);
    }
    DoAfterCancel();
}

void TDataSet::Delete() {
    CheckActive();
    if (m_state == TDataSetState::dsInsert) return Cancel();
    if (!m_hasRecord) DatabaseError("Cannot perform this operation on an empty dataset");
    DataEvent(TDataEvent::deUpdateState);
    if (BeforeDelete) BeforeDelete(*this);
    DoBeforeScroll();
    UpdateCursorPos();
    runChecked(&TDataSet::InternalDelete, OnDeleteError);
    SetState(TDataSetState::dsBrowse);
    Resync(0);
    if (AfterDelete) AfterDelete(*this);
    DoAfterScroll();
}

TBookmark TDataSet::GetBookmark() {
    if (!Active() || !m_hasRecord || BookmarkSize <= 0) return {};
    TBookmark b(static_cast<size_t>(BookmarkSize));
    GetBookmarkData(m_active, b.data());
    return b;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.data());
    Resync(rmExact | rmCenter);
    m_bof = m_eof = false;
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) { return !bookmark.empty(); }

int TDataSet::CompareBookmarks(const TBookmark&, const TBookmark&) { return 0; }

bool TDataSet::Locate(const std::string&, const std::vector<TVariant>&, TLocateOptions) { return false; }

std::vector<TVariant> TDataSet::Lookup(const std::string&, const std::vector<TVariant>&, const std::string&) {
    return {};
}

}  // namespace xb
