// Moving the current record of the current work area: top, bottom, skip by visible records, go to a
// record; deleted records hidden on request, a filter, a while-condition that ends a scan; EOF and BOF;
// LOCATE and CONTINUE. When an index order controls the area, every move asks the index driver.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace xb {

bool GoTop();
bool GoBottom();
bool Skip(int32_t n);
bool Go(int32_t n);
bool Dbf4RawGo(int32_t n);
bool RawGoRefresh(int32_t n);
bool GoValid(int32_t n);
bool GoTopWhile();
bool GoBottomWhile();
bool dEOF();
bool dBOF();
int32_t RecNo();
int32_t RecCount();
bool SetIgnoreDel(bool on);
bool Set_Filter_To(const std::string& text);
bool Set_While_To(const std::string& text);
bool IsWhileOn();
bool EvalFilter();
bool EvalWhile();
bool RecordVisible();
bool RefreshPosition();
std::string Peek(int field, int32_t record);

// The value LOCATE looks for: text (for C, M and D fields, a date in the current picture), a number or a
// logical.
using LocateValue = std::variant<std::string, double, bool>;

bool ParseFieldSpec(const std::string& text);
bool LocateField(const std::string& field, const LocateValue& value, bool noCase, int32_t first, bool exact);
bool LocateFrom(int32_t first, int field, bool newSearch);
bool Continue();
bool LocateRecord(const std::string& fields, const std::vector<LocateValue>& values, bool noCase, bool move,
                  bool exact);

// True when an index order controls the current area.
bool IsIndexActive();

// The index engine's semaphore brackets of the current area, taken around index reads (Read) and around
// the key work of appends and replaces (Lock). Brackets nest per area; only the outermost reaches the index
// engine. A bracket counts only once the index engine took it (a refusal may throw), and it is closed on
// the area it was opened on, whichever area is current by then.
class SemaphoreBracket {
public:
    enum Kind { Read, Lock };
    SemaphoreBracket(Kind kind, bool active);
    ~SemaphoreBracket();
    SemaphoreBracket(const SemaphoreBracket&) = delete;
    SemaphoreBracket& operator=(const SemaphoreBracket&) = delete;

private:
    Kind m_kind;
    int m_area = 0;  // 0 = not taken
};

class ReadSemaphore : public SemaphoreBracket {
public:
    ReadSemaphore() : SemaphoreBracket(Read, IsIndexActive()) {}
};

}  // namespace xb
