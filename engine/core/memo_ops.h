// The operations on memo texts of the current work area: read, add, rewrite, copy between tables, pack
// and empty a memo file, the text-file driver and the memo hooks the work-area layer calls.
//
// A memo is one text of any length with any line breaks; it comes back exactly as it was stored. Text
// is held in the engine's ANSI code page and stored in the table's code page (OEM when the table has
// OEM translation); conversion always works on a copy.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/memo_file.h"
#include "engine/core/procedure_tables.h"

namespace xb {

class Engine;

// The memo unit: its hooks, its settings and the memo text GetMemo loads and EditMemo stores.
class MemoUnit : public MemoHooks {
public:
    bool assignMemo(MemoLineReader& reader, int field) override;
    void packMemofile(MemoPackJob& job) override;
    void useMemofile() override;
    void closeMemofile() override;
    int32_t copyMemoToEnd(int sourceArea, int32_t block) override;
    int32_t copyMemoSameBlock(int sourceArea, int32_t block) override;
    bool zapMemofile() override;
    int32_t addMemo(const std::string& text) override;

    MemoSettings settings;
    std::string text;
};

// Fills the engine's memo hooks (the memo unit's start).
void InstallMemoUnit(Engine& engine);
// The current engine's memo unit; nullptr when it is not installed.
MemoUnit* CurrentMemoUnit();

// Adds a new memo (trailing blanks removed); its block number, 0 for an empty text or on failure.
int32_t AddMemo(const std::string& text);
// Reads the memo at a block of the current area (ANSI text); false on failure. A memo whose stored
// length runs past the end of the file gives what the file holds and reports the damage (1003).
bool ReadMemo(int32_t block, std::string& text);
// ReadMemo into the unit's memo text.
bool GetMemo(int32_t block);
std::string& MemoText();
// Stores the unit's memo text as the new text of the memo at oldBlock: always in new blocks at the end of
// the file, so the old text stays readable until the record holds the new number. The new block number,
// 0 for an empty text and on failure (the error code tells them apart).
int32_t EditMemo(int32_t oldBlock);
// EditMemo with a given text.
int32_t RewriteMemo(int32_t oldBlock, const std::string& text);
// Copies a memo of another area's memo file into the current area's; the new block number.
int32_t CopyMemo(int sourceArea, int32_t block, bool sameBlock);
// Writes the packed memo file of the current area for a table pack (MemoHooks::packMemofile).
bool PackMemofile(MemoPackJob& job);
// Empties the current area's memo file (same flavour and block size) and reopens it.
bool ZapMemofile();
// Binds LOCATE's memo reader to field n of the current record: the whole text as stored.
bool AssignMemo(MemoLineReader& reader, int field);

// The memo text driver: a memo field read and written like a text file.
class MemoTextFile {
public:
    // Binds the file to memo field n of the current area (AssignMemo).
    bool assign(int field);
    // Opens for reading: loads the memo of the field's block number in the area's typed record.
    int reset();
    // Opens for writing: starts an empty text.
    int rewrite();
    // The next line with its line end as stored (CR LF, LF or CR; none on the last line); false at
    // the end. A line ends only at LF or CR, so every other byte (0x8D included) is data.
    bool readLine(std::string& line);
    bool eof() const { return m_mode != 1 || m_pos >= m_text.size(); }
    int write(const std::string& text);
    // After writing: stores the text as the field's memo and puts the new block number into the typed
    // record (the caller stores the record). 101 when the memo cannot be written.
    int close();
    // 0, or the I/O code of the last operation: 101 write failed, 102 not assigned, 104 not open for
    // reading (or 105 for writing).
    int ioResult() const { return m_io; }

private:
    int m_area = 0;
    int m_field = 0;
    int m_mode = 0;  // 0 closed, 1 reading, 2 writing
    std::string m_text;
    size_t m_pos = 0;
    int m_io = 0;
};
bool AssignMemo(MemoTextFile& file, int field);

namespace memo_detail {
enum class ReadOutcome { Ok, BadAddress, Damaged, IoError };
// The stored bytes of the memo at |block| (no conversion). Damaged: the length ran past the end of the
// file and out holds what is there.
ReadOutcome ReadStoredMemo(MemoFileArea& memo, int32_t block, std::string& out, int& ioCode);
// Reads of many memos in the order of their blocks (a pack's): the file's bytes come in pieces of 64 KiB
// kept between calls, so that small memos come many to a read, and its size is asked once.
struct MemoReadAhead {
    static constexpr size_t kPiece = 65536;
    uint64_t fileSize = 0;
    uint64_t start = 0;
    std::string bytes;
};
ReadOutcome ReadStoredMemo(MemoFileArea& memo, int32_t block, std::string& out, int& ioCode,
                           MemoReadAhead& ahead);
// Writes data (already in the file's code page) as a new memo at the end of the file, or at block when
// it lies at or beyond the end; its block number, 0 after reporting an error with the caller's name.
int32_t AppendMemo(WorkAreaBlock& b, MemoFileArea& memo, const std::string& data, const std::string& caller,
                   int32_t atBlock = 0);
// The memo block number stored in a raw record's field text (left-trimmed decimal; blank is 0).
int32_t ParseBlockText(const char* p, size_t n);
// The same, strictly: false for field text that is no block number at all (characters other than a
// sign and digits between the blanks, or a number past 32 bits), which ParseBlockText reads as 0 or as
// its leading digits. What must not lose a memo (the pack) reads pointers this way.
bool ReadBlockText(const char* p, size_t n, int32_t& block);
bool IsMemoField(const FieldDescriptor& f);
}  // namespace memo_detail

}  // namespace xb
