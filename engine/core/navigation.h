// Moving the current record of the current work area: top, bottom, skip by visible records, go to a
// record; deleted records hidden on request, a filter, a while-condition that ends a scan; EOF and BOF;
// LOCATE and CONTINUE. When an index order controls the area, every move asks the index driver.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace xb {

// Every routine works on the current work area; without one it answers false, 0 or nothing (dEOF and dBOF
// answer true; Skip, Go and the LOCATE and filter routines report the missing table). GoTop, GoBottom,
// Skip and Go start by clearing the last error and answer false after reporting one; a record the area
// hides (deleted while SetIgnoreDel is on, or outside the filter) is stepped over by every move but Go.
// The end position is record count + 1 with EOF set and a blank record buffer.

// Moves to the first visible record of the order (of the file without one), or to the end position when
// none is visible; an empty table stays where it is. Saves the order's key for the next move.
bool GoTop();
// Moves to the last visible record of the order, or to the end position with EOF and BOF set when none is
// visible; an empty table stays where it is.
bool GoBottom();
// Moves n visible records forward (n > 0) or back (n < 0) while the while-condition holds: past the last
// record the end position; before the first the first visible record with BOF set; where the
// while-condition fails going forward, there with EOF set, going back the last record that met it with
// BOF set. Skip(0) reloads the current record (the blank record at the end position). Skip in an empty
// table, or forward at EOF, is error 212.
bool Skip(int32_t n);
// Moves to record n whether visible or not and puts the order on it; a number outside 1..record count is
// error 212 and leaves the end position.
bool Go(int32_t n);
// Reads record n into the buffers without the order, filter or while-condition: n above the count gives
// the end position without an error, n below 1 error 212. A read failure keeps its code with the detail
// marked [Dbf4RawGo].
bool Dbf4RawGo(int32_t n);
// The same as Dbf4RawGo.
bool RawGoRefresh(int32_t n);
// Dbf4RawGo for an index move inside its read of the index (RunIndexRead): the record comes from the
// rows a scan of the area read under the view it has now when they hold it (see RunIndexRead).
bool Dbf4KeptGo(int32_t n);
// Go(n) for n within 1..record count; any other n answers false without moving or reporting.
bool GoValid(int32_t n);
// GoTop, or while a while-condition is set, the first record of the run that meets it around the current
// record (skipping back to BOF, then Skip(0)).
bool GoTopWhile();
// GoBottom, or while a while-condition is set, the last record of the run that meets it (skipping
// forward to EOF, then one back).
bool GoBottomWhile();
// At the end: the order's end when one controls the area, else the area's EOF; the record count is
// brought up to date first.
bool dEOF();
// Before the beginning: the order's BOF when one controls the area, else the area's.
bool dBOF();
// The current record number; record count + 1 at the end position, 0 without an area.
int32_t RecNo();
// The number of records, brought up to date first (another station may have appended).
int32_t RecCount();
// The number of records as the area last learned it, without asking the file: a record up to it exists
// (rows are removed only by a pack, which has the table alone), one beyond it may too.
int32_t KnownRecCount();
// Hides deleted records (on) or shows them, reloads the current record and answers the previous setting.
bool SetIgnoreDel(bool on);
// Skip(0) for a caller that wants the current record in the area's buffers again (a dataset's
// resynchronisation right after a move loaded it): the record as the last move loaded it is used again,
// without a read, while nothing this station can know of may have changed it (no write of this process,
// no change another station's look showed, no lock held, younger than kScanTrust).
bool ReloadRecord();
// Compiles text as the area's filter; an empty text removes it. The position is not moved. False when the
// expression does not compile (the area then has no filter) or the expression unit is not linked (220).
bool Set_Filter_To(const std::string& text);
// Compiles text as the while-condition that ends scans; an empty text removes it and brings a position
// left at EOF by the condition back to its record. False as Set_Filter_To.
bool Set_While_To(const std::string& text);
// True when a while-condition is set.
bool IsWhileOn();
// The filter's answer for the current record; true without a filter, false without an area.
bool EvalFilter();
// The while-condition's answer for the current record; true without one, false without an area.
bool EvalWhile();
// True when the current record is neither hidden as deleted nor outside the filter.
bool RecordVisible();
// When the current record no longer meets the filter or while-condition (another station changed it),
// releases the area's record locks and moves to the next visible record, or back from the end to the last
// one; answers true when it moved, false when the record still qualifies.
bool RefreshPosition();
// The stored bytes of field (0: the deletion flag) of record as the file holds them, without moving;
// empty for a record or field out of range or a failed read; error 1100 on a virtual file.
std::string Peek(int field, int32_t record);

// The value LOCATE looks for: text (for C, M and D fields, a date in the current picture), a number or a
// logical.
using LocateValue = std::variant<std::string, double, bool>;

// Reads "NAME [NOCASE] [EXACT] [CONTAINED]" (words in any order after the name) into the LOCATE state:
// the field to search and how its text compares (the default: case-sensitive, the field's text cut to
// the search text's length). False with error 220 for a missing or unknown field name.
bool ParseFieldSpec(const std::string& text);
// LOCATE: moves to the first visible record from record number first whose field (a name; its first
// word counts) holds value, compared in the table's code page (exact pads a character value to the
// field's width and compares it whole); answers whether one was found (without one, the end position).
// The search is remembered for Continue.
bool LocateField(const std::string& field, const LocateValue& value, bool noCase, int32_t first, bool exact);
// Searches field for the LOCATE text in record-number order from record first (a memo field: text
// contained in the memo) and goes to the first match; without one the end position and the search is
// forgotten. newSearch prepares the text (trimmed unless exact, upper case unless case-sensitive). False
// after an error (220 for a field number out of range), and for a memo field of a virtual file, which
// leaves the end position.
bool LocateFrom(int32_t first, int field, bool newSearch);
// CONTINUE: the next visible match of the last LOCATE after the current record, or the end position.
// Error 220 when no LOCATE came before.
bool Continue();
// LOCATE on several fields at once (names separated by ";", values in the same order): the first record
// that matches every field. Moves there when move is set and one was found, else goes back to the record
// it started from; answers whether one was found.
bool LocateRecord(const std::string& fields, const std::vector<LocateValue>& values, bool noCase, bool move,
                  bool exact);

// True when an index order controls the current area.
bool IsIndexActive();

// The index engine's semaphore brackets of the current area, taken around index reads (Read) and around
// the key work of appends and replaces and the writes of a delete flag or a poked field (Lock), whose
// release moves the update counter by which other stations drop the rows they keep. Brackets nest per area; only the outermost reaches the index
// engine. A bracket counts only once the index engine took it (a refusal may throw), and it is closed on
// the area it was opened on, whichever area is current by then.
class SemaphoreBracket {
public:
    enum Kind { Read, Lock };
    SemaphoreBracket(Kind kind, bool active);
    ~SemaphoreBracket();
    SemaphoreBracket(const SemaphoreBracket&) = delete;
    SemaphoreBracket& operator=(const SemaphoreBracket&) = delete;
    // False when the index engine refused the bracket (its error is recorded); true when it was taken or
    // nothing needed it.
    bool held() const { return !m_refused; }

private:
    Kind m_kind;
    int m_area = 0;  // 0 = not taken
    bool m_refused = false;
};

class ReadSemaphore : public SemaphoreBracket {
public:
    ReadSemaphore() : SemaphoreBracket(Read, IsIndexActive()) {}
};

// Runs a move of the current area that reads its index and answers its answer. In shared use the move
// first reads optimistically, taking no lock; when another station changed the index meanwhile (or the
// move failed), everything it did is thrown away: the area goes back to the record it stood on, every
// order is put back on that record by the next step, and the move runs again, at last inside the
// counted read bracket, where its failures are reported as usual. A move that is thrown away must
// change nothing but the area's position, buffers and orders. Without an order, with the index held
// exclusively, or inside a bracket already, the move runs once as it stands.
//
// A move that reads nothing of the files, because its nodes and its record were kept from earlier
// moves, ends without looking at the semaphore when the area's last look held less than kScanTrust
// ago: everything kept went with that look (a change another station made since shows at the next
// look, which drops it all), so the move shows the rows as they stood then. So a scan looks at the
// semaphore once per read of the files rather than once per row, and a Find or an order set on what
// the computation already read costs nothing.
bool RunIndexRead(const std::function<bool()>& move);
constexpr std::chrono::milliseconds kScanTrust{250};

// Leaves the area on no row (past its end), reading nothing: for an order set just before a seek.
void StandNowhere();

// While one lives on this thread, a Go puts the area back on the row its dataset shows before a
// command that only reads or sets how the area reads (an order, a while or filter condition, a seek):
// not a routine's seek of a row. A row a scan of the area read under the view it has now is then taken
// as a scan's step takes it, without a look of its own within kScanTrust of the last one.
class ResyncMove {
public:
    ResyncMove();
    ~ResyncMove();
    ResyncMove(const ResyncMove&) = delete;
    ResyncMove& operator=(const ResyncMove&) = delete;

private:
    bool m_outer;
};

}  // namespace xb
