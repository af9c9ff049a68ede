// Searching the rows of the current area for a field's text: the field to search (ParseFieldSpec), the
// search from a record on (LocateFrom) and its continuation (Continue).
#include <algorithm>
#include <string>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/navigation_internal.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/codepage.h"

namespace xb {

namespace {

Engine& eng() {
    return Engine::current();
}

}  // namespace

bool ParseFieldSpec(const std::string& text) {
    LocateState& s = eng().locate;
    std::string t = " " + nav::UpperIn(1252, text) + " ";
    auto take = [&t](const std::string& word) {
        bool found = false;
        size_t pos;
        while ((pos = t.find(word + " ")) != std::string::npos) {
            t.erase(pos, word.size());
            found = true;
        }
        return found;
    };
    s.caseSensitive = !take(" NOCASE");
    s.exact = take(" EXACT");
    s.contained = take(" CONTAINED");
    size_t a = t.find_first_not_of(' ');
    std::string name = a == std::string::npos ? "" : nav::RTrim(t.substr(a));
    if (name.empty()) {
        SetEngineError(220, "No field name specified [Locate/Count/Sum]");
        return false;
    }
    int f = FieldNo(name);
    if (f == 0) {
        SetEngineError(220, "Unrecognized field name [Locate/Count/Sum(" + text + ")]");
        return false;
    }
    s.field = f;
    return true;
}

namespace {

// The field's bytes of record r as the search sees them.
bool fieldText(WorkAreaBlock& b, int field, int32_t r, std::string& out) {
    const FieldDescriptor& f = b.fields[static_cast<size_t>(field - 1)];
    if (!b.isVirtual) {
        out = Peek(field, r);
        return true;
    }
    if (!Go(r)) return false;
    const uint8_t* p = b.typed + TypedFieldOffset(b, field);
    switch (f.type) {
        case 'C':
            out = TypedGetString(p);
            break;
        case 'D': {
            out = DateToDtos(TypedGetString(p));
            break;
        }
        case 'L':
            out = *p ? "T" : "F";
            break;
        default:
            out = FormatFieldNumber(TypedIsDouble(f) ? TypedGetDouble(p) : TypedGetInt(p), f.length,
                                    TypedIsDouble(f) ? f.decimals : 0);
    }
    return true;
}

}  // namespace

bool LocateFrom(int32_t first, int field, bool newSearch) {
    Engine& e = eng();
    LocateState& s = e.locate;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (field < 1 || field > static_cast<int>(b->fields.size())) {
        SetEngineError(220, "Invalid field number. [Locate(" + std::to_string(field) + ")]");
        return false;
    }
    const int cp = nav::FieldCodePage(*b);
    if (newSearch) {
        if (!s.exact) s.text = nav::RTrim(s.text);
        if (!s.caseSensitive) s.text = nav::UpperIn(cp, s.text);
        s.field = field;
    }
    const FieldDescriptor& f = b->fields[static_cast<size_t>(field - 1)];
    const bool memo = f.type == 'M';
    if (memo && !b->isVirtual && !e.tables.memo) {
        SetEngineError(220, "MEMO unit not linked in [Count/Sum/Continue]");
        return false;
    }
    if (memo && b->isVirtual) {
        nav::EndPosition(*b);
        return false;
    }
    const int32_t count = RecCount();
    for (int32_t r = std::max<int32_t>(first, 1); r <= count; ++r) {
        std::string t;
        bool match = false;
        if (memo) {
            if (!nav::ReadLoad(*b, r)) return false;
            MemoLineReader reader;
            if (!e.tables.memo->assignMemo(reader, field)) return false;
            t = s.caseSensitive ? reader.text : nav::UpperIn(cp, reader.text);
            match = t.find(s.text) != std::string::npos;
        } else {
            if (!fieldText(*b, field, r, t)) return false;
            if (!s.exact && !s.contained && t.size() > s.text.size()) t.resize(s.text.size());
            if (!s.caseSensitive) t = nav::UpperIn(cp, t);
            match = s.contained ? t.find(s.text) != std::string::npos : t == s.text;
        }
        if (match) return Go(r);
    }
    GoBottom();
    if (b->recCount > 0) {
        // Past the last record: the end position, without an error.
        b->recNo = b->recCount + 1;
        b->eof = true;
        ClearRecord();
    }
    s.field = 0;
    return true;
}

bool Continue() {
    LocateState& s = eng().locate;
    if (s.field == 0) {
        SetEngineError(220, "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
        return false;
    }
    // A record the area hides is no match: go on past it (LOCATE does the same).
    const int field = s.field;
    if (!LocateFrom(RecNo() + 1, field, false)) return false;
    WorkAreaBlock* b = CurrentBlock();
    while (b && !b->eof && !RecordVisible() && LastError() == 0)
        if (!LocateFrom(RecNo() + 1, field, false)) return false;
    return true;
}

bool LocateField(const std::string& fieldSpec, const LocateValue& value, bool noCase, int32_t first,
                 bool exact) {
    Engine& e = eng();
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse("Locate");
        return false;
    }
    std::string spec = fieldSpec.substr(0, fieldSpec.find(' '));
    if (noCase) spec += " NOCASE";
    if (exact) spec += " EXACT";
    if (!ParseFieldSpec(spec)) return false;
    const int field = e.locate.field;
    const FieldDescriptor& f = b->fields[static_cast<size_t>(field - 1)];
    std::string text;
    auto asText = [&]() -> std::string {
        if (auto p = std::get_if<std::string>(&value)) return *p;
        if (auto d = std::get_if<double>(&value)) return FormatFieldNumber(*d, 0, 0);
        return std::get<bool>(value) ? "T" : "F";
    };
    auto asNumber = [&]() -> double {
        if (auto d = std::get_if<double>(&value)) return *d;
        if (auto p = std::get_if<std::string>(&value)) {
            bool exactNum = false;
            return ParseFieldNumber(*p, exactNum);
        }
        return std::get<bool>(value) ? 1 : 0;
    };
    switch (f.type) {
        case 'C':
            text = asText();
            // The stored bytes are in the table's code page: search in it, and fold case there.
            if (b->oem && !b->isVirtual)
                text = platform::ConvertBytes(text, e.settings.ansiCodePage, StoredCodePage(*b));
            if (exact && text.size() < f.length) text.append(f.length - text.size(), ' ');
            break;
        case 'D':
            text = DateToDtos(asText());
            break;
        case 'N':
        case 'F':
            // Stored numbers use "." whatever the locale, so the search text does too.
            text = FormatFieldNumber(asNumber(), f.length, f.decimals);
            break;
        case 'L': {
            bool v = false;
            if (auto p = std::get_if<bool>(&value))
                v = *p;
            else if (auto s = std::get_if<std::string>(&value))
                v = !s->empty() && (nav::UpperIn(1252, *s)[0] == 'T' || nav::UpperIn(1252, *s)[0] == 'Y');
            else
                v = std::get<double>(value) != 0;
            text = v ? "T" : "F";
            break;
        }
        default:
            text = asText();
            if (b->oem && !b->isVirtual)
                text = platform::ConvertBytes(text, e.settings.ansiCodePage, StoredCodePage(*b));
            break;
    }
    e.locate.text = text;
    if (!LocateFrom(first, field, true)) return false;
    if (!b->eof && !RecordVisible() && !Continue()) return false;
    return !b->eof;
}

bool LocateRecord(const std::string& fields, const std::vector<LocateValue>& values, bool noCase, bool move,
                  bool exact) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= fields.size()) {
        size_t semi = fields.find(';', start);
        if (semi == std::string::npos) semi = fields.size();
        std::string n = fields.substr(start, semi - start);
        size_t a = n.find_first_not_of(' ');
        if (a != std::string::npos) names.push_back(nav::RTrim(n.substr(a)));
        start = semi + 1;
    }
    if (names.empty() || values.size() < names.size()) {
        SetEngineError(220, "No field name specified [Locate/Count/Sum]");
        return false;
    }
    const int32_t startRec = b->recNo;
    bool found = false;
    if (names.size() == 1) {
        found = LocateField(names[0], values[0], noCase, 1, exact);
    } else {
        int32_t from = 1;
        size_t k = 0;
        int32_t matchedAt = 0;
        while (true) {
            if (!LocateField(names[k], values[k], noCase, from, exact)) {
                found = false;
                break;
            }
            const int32_t at = b->recNo;
            if (k > 0 && at != matchedAt) {
                // A later record: start the cycle again at the first field from there.
                k = 0;
                from = at;
                matchedAt = 0;
                continue;
            }
            matchedAt = at;
            from = at;
            if (++k == names.size()) {
                found = true;
                break;
            }
        }
    }
    if (!(move && found)) GoValid(startRec);
    return found;
}

}  // namespace xb
