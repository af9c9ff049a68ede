#include "engine/dataset/xb_fields.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_stream.h"
#include "engine/dataset/text_boundary.h"
#include "engine/dataset/xb_dataset.h"
#include "engine/index/key_routines.h"
#include "platform/ui.h"

namespace xb {

namespace {

std::string trimBlanks(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

double dayZero() { return JulianOf(1899, 12, 30); }

bool isBlankDate(const std::string& text) {
    const std::string t = trimBlanks(text.substr(0, kMaxDateText));
    return t.empty() || t == trimBlanks(BlankDateText(Engine::current().settings.dateFormat));
}

}  // namespace

bool DbfDateToDateTime(const std::string& text, bool useSystemFormat, double& value) {
    value = 0;
    if (isBlankDate(text)) return true;
    std::string t = trimBlanks(text.substr(0, kMaxDateText));
    std::string check = t;
    if (IsValidDateStr(check)) {
        const std::string dtos = DateToDtos(check);
        const double j = DtosToJulian(dtos);
        if (j < 1e99) {
            value = j - dayZero();
            return true;
        }
    }
    if (useSystemFormat) {
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if (t.size() == 10 && std::sscanf(t.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3) {
            const double j = JulianOf(y, m, d);
            if (j < 1e99) {
                value = j - dayZero();
                return true;
            }
        }
    }
    return false;
}

double DbfDateToDateTime(const std::string& text, bool useSystemFormat) {
    double v = 0;
    return DbfDateToDateTime(text, useSystemFormat, v) ? v : 0;
}

std::string DateTimeToDbfDate(double value) { return JulianToDateStr(std::floor(value) + dayZero()); }

void SetDateFormatFromLocale(const std::string& shortDateFormat, char decimalSep, char thousandsSep) {
    EngineSettings& s = Engine::current().settings;
    s.decimalSep = decimalSep;
    s.thousandsSep = thousandsSep;
    std::string upper;
    for (char c : shortDateFormat) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    s.century = upper.find("YYYY") != std::string::npos;
    char sep = '/';
    for (char c : shortDateFormat)
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            sep = c;
            break;
        }
    int format = 0;
    const char first = shortDateFormat.empty() ? ' ' : shortDateFormat[0];
    if (first == 'D' || first == 'd')
        format = sep == '-' ? 3 : (sep == '.' ? 5 : 2);
    else if (first == 'Y' || first == 'y')
        format = 1;
    SetDateFormat(format);
}

// ---- fields ----

std::string TXbDateField::GetAsString() const {
    double v = 0;
    if (!GetData(&v)) return {};
    return Utf8Text(DateTimeToDbfDate(v));
}

std::string TXbDateField::GetText() const {
    std::string t = GetAsString().substr(0, kMaxDateText);
    std::string check = EngineText(t);
    return IsValidDateStr(check) ? t : std::string();
}

void TXbDateField::SetAsString(const std::string& text) {
    const std::string t = EngineText(trimBlanks(text)).substr(0, kMaxDateText);
    if (isBlankDate(t)) return Clear();
    double v = 0;
    if (DbfDateToDateTime(t, true, v)) return SetAsDateTime(v);
    platform::CurrentUi().messageBox("        Invalid date       ", DataSet() ? DataSet()->Name : "", platform::kMbOk);
    Clear();
}

void TXbIntegerField::CheckTypeSize(int size) {
    if (size >= 0 && size <= 20) return;
    TIntegerField::CheckTypeSize(size);
}

void TXbFloatField::CheckTypeSize(int size) {
    if (size >= 0 && size <= 20) return;
    TFloatField::CheckTypeSize(size);
}

// ---- blob stream ----

namespace {

TXbDataSet& owner(TField& field) {
    auto* ds = dynamic_cast<TXbDataSet*>(field.DataSet());
    if (!ds) DatabaseError("Field '" + field.FieldName() + "' does not belong to a table dataset");
    return *ds;
}

}  // namespace

TXbBlobStream::TXbBlobStream(TField& field, TBlobStreamMode mode, bool oem)
    : m_field(field), m_dataSet(owner(field)) {
    if (!m_dataSet.Active()) {
        SetEngineError(1103, "DataSet must be active. " + EngineText(m_dataSet.Name));
        DatabaseError("Dataset error: " + m_dataSet.GetErrorText(1103));
    }
    if (!m_dataSet.BeginOperation("CreateBlobStream"))
        DatabaseError("Dataset error: " + m_dataSet.GetErrorText(Engine::current().errors.pendingError));
    m_writeMode = mode != TBlobStreamMode::bmRead;
    if (field.FieldKind() != TFieldKind::fkData) return;
    uint8_t* slot = m_dataSet.FieldSlot(field);
    if (!slot) return;
    int32_t ref;
    std::memcpy(&ref, slot, 4);
    if (m_writeMode) {
        const int32_t block = CreateBlobDescriptor(oem, ref, kBlobWrite);
        if (block == 0) DatabaseError("Dataset error: " + m_dataSet.GetErrorText(LastError()));
        std::memcpy(slot, &block, 4);
        m_open = true;
    } else if (ref != 0) {
        if (CreateBlobDescriptor(oem, ref, kBlobRead) == 0)
            DatabaseError("Dataset error: " + m_dataSet.GetErrorText(LastError()));
        m_open = true;
    }
}

TXbBlobStream::~TXbBlobStream() {
    try {
        if (!m_dataSet.BeginOperation("DestroyBlobStream")) return;
        uint8_t* slot = m_dataSet.FieldSlot(m_field);
        if (m_writeMode && slot) {
            int32_t ref;
            std::memcpy(&ref, slot, 4);
            if (m_open) {
                const int32_t block = DestroyBlobDescriptor();
                m_open = false;
                if (!m_modified || block == 0) {
                    // A memo opened for writing and left empty is cleared.
                    if (ref != 0) m_modified = true;
                    ref = 0;
                } else {
                    ref = block;
                }
                std::memcpy(slot, &ref, 4);
            }
            const TDataSetState st = m_dataSet.State();
            if (st != TDataSetState::dsEdit && st != TDataSetState::dsInsert && st != TDataSetState::dsSetKey) {
                // Going into edit state re-reads the record: keep the new reference across it.
                m_dataSet.Edit();
                if (uint8_t* s2 = m_dataSet.FieldSlot(m_field)) std::memcpy(s2, &ref, 4);
            }
            m_dataSet.BufferToRecord(m_dataSet.ActiveRecord(), -1);
        }
        if (m_open) DestroyBlobDescriptor();
        if (m_modified) {
            m_field.Change();
            m_dataSet.DataEvent(TDataEvent::deFieldChange);
        }
    } catch (...) {
    }
}

long TXbBlobStream::Read(void* buffer, long count) {
    if (!m_dataSet.BeginOperation("ReadBlobStream") || !m_open || count <= 0) return 0;
    return static_cast<long>(ReadBlobStream(buffer, static_cast<uint32_t>(count)));
}

long TXbBlobStream::Write(const void* buffer, long count) {
    if (!m_dataSet.BeginOperation("WriteBlobStream") || !m_open || count <= 0) return 0;
    // The memo engine converts text in place; the caller's bytes stay as they were.
    std::string copy(static_cast<const char*>(buffer), static_cast<size_t>(count));
    const long n = static_cast<long>(WriteBlobStream(copy.data(), static_cast<uint32_t>(count)));
    if (n > 0) m_modified = true;
    return n;
}

long TXbBlobStream::Seek(long offset, int origin) {
    if (!m_dataSet.BeginOperation("SeekBlobStream") || !m_open) return 0;
    return static_cast<long>(SeekBlobStream(static_cast<int32_t>(offset), origin));
}

}  // namespace xb
