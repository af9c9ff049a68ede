// The DBF table file: create, open, read, write, flush and close one table through its control block.
// Knows nothing of work areas, locks or indexes. Every failure goes through SetEngineError with a detail
// ending in the routine's name in brackets; the last-error word holds the outcome of each call.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace xb {

constexpr uint8_t kEofByte = 0x1A;
constexpr uint8_t kVersionWithMemo = 0x8B;
constexpr uint16_t kNewMemoBlockSize = 512;

struct FieldDescriptor {
    std::string name;  // upper case, at most 10 characters (32 in level-7 tables)
    char type = 'C';
    uint8_t length = 0;
    uint8_t decimals = 0;
    uint16_t offset = 0;  // in the raw record; the first field is at 1
};

// Translation of the bytes after the deletion flag, in place.
using TranslateProc = std::function<void(char* bytes, size_t length)>;

enum class TableState : uint8_t { Closed = 0, Clean = 1, Changed = 2, Appended = 3 };

// What a snapshot's open reads of its rows with its header (UseRequest::snapshot).
inline constexpr uint64_t kSnapshotRows = 64 * 1024;

// Records read ahead for a scan, as the file held them when read (before any translation): runs of
// neighbouring records, each from one read. Valid only while the process has written no record since
// (see RowWriteEpoch).
struct RecordWindow {
    struct Run {
        int32_t first = 0;  // the run's first record
        int32_t count = 0;
        size_t offset = 0;  // of its first record in bytes
    };
    // Kept at the largest size a read needed: a read fills what it uses, and a clear keeps the storage,
    // so that a scan's reads do not zero 64 KB each before the read overwrites it.
    std::vector<char> bytes;
    std::vector<Run> runs;  // in the order the scan meets them
    size_t runAt = 0;       // where the next look for a record starts
    uint64_t epoch = 0;
    uint64_t view = 0;  // the index's view of other stations' changes it was read under (see scanLoad)
    std::chrono::steady_clock::time_point readAt;
    // The steps of the scan going on (loads in one direction, each from the record the last one
    // loaded), its direction and its last record: how far a read for the steps ahead may reach.
    int32_t scanSteps = 0;
    int32_t scanLast = 0;
    int8_t scanDir = 0;
    std::vector<int32_t> upcoming;  // the records the order's node names next (storage kept between asks)

    void clear() {
        runs.clear();
        runAt = 0;
    }
};

// The record a move of the area last loaded into its buffer, and under what: what may use the buffer
// again instead of reading the record anew (see ReloadRecord).
struct LoadedRecord {
    int32_t record = 0;  // 0: none
    uint64_t epoch = 0;
    uint64_t view = 0;
    std::chrono::steady_clock::time_point readAt;
};

// The table-file part of a work area's control block.
struct TableBlock {
    std::string fileName;   // full path with extension
    std::string shortName;  // 8.3 form of the name
    uint8_t header[32] = {};
    bool hasMemo = false;
    bool skipDeleted = false;
    int16_t headerSize = 0;
    uint16_t recordSize = 0;
    uint8_t fieldCount = 0;
    std::vector<FieldDescriptor> fields;
    TableState state = TableState::Closed;
    std::string dateText;  // YYYYMMDD of the last update
    std::vector<char> raw;  // one raw record
    int32_t recCount = 0;
    int32_t recNo = 0;
    bool eof = true;
    bool bof = true;
    uint16_t fileMode = 0;
    // Text is translated between the stored code page and the engine's ANSI page: set for a table opened
    // with OEM translation, and at open for any table whose header names a code page.
    bool oem = false;
    // The code page of the stored text: the one the header's language-driver byte (29) names, else the
    // engine's OEM page (ANSI page without translation) at the time of the open. Set by create and open.
    int codePage = 0;
    bool countRepair = false;  // the record count at open comes from the file size (so does AutoFixRecCount)
    uint64_t sizeAtOpen = 0;   // the file's size as the open found it
    // Set while the open goes on, in shared use: the count was just taken from the file's size, so the
    // open's first move does not ask for the size again.
    bool countJustRead = false;
    // Opened alone to read its rows once, as they stood at the open (UseRequest::snapshot): the count the
    // open took stands, and a walk reads its rows in blocks as a scan under an order does. Nothing tells
    // such an area of another station's change: it is let go when read.
    bool snapshot = false;
    TranslateProc writeProc;
    TranslateProc readProc;
    platform::File file;
    // The virtual-file words.
    int32_t vfArg = 0;
    uint8_t vfOp = 0;
    uint8_t appendMode = 0;
    uint8_t memoryKind = 0;
    bool isVirtual = false;
    RecordWindow window;
    LoadedRecord loaded;
    // When the last move of the area's order ended on a look at the semaphore that held (or inside the
    // counted read): everything the area keeps of the table and its index was good then.
    std::chrono::steady_clock::time_point lastLook;
    // A Go or a Find that lands on a row a scan of the area read under the view it has now takes the row
    // as the scan's next step would, without a look of its own within kScanTrust of the last one: set
    // for a computation's reads, which show the rows as they stood at its last look. Otherwise such a
    // move always looks (a routine that seeks a row to change it wants it as it is now).
    bool seeksTakeScans = false;
    // The record this block wrote last and the process's row-write count right after it: while the
    // block stands on that record, nothing else was written since and the lock it was written under
    // is still held (the work-area layer forgets it at the release), raw holds what the file holds for
    // it, and a reload need not read it back.
    int32_t writtenRecord = 0;
    uint64_t writtenEpoch = 0;
    // The record after which this block's last append wrote the end-of-file byte (0: none known), and
    // whether a header byte beyond the date and count changed in memory (the index flag): what the
    // header's rewrite must still write.
    int32_t eofAfter = 0;
    bool headerFlagsChanged = false;

    uint8_t version() const { return header[0]; }
    bool isDbase2() const { return header[0] == 0x02; }
    bool isLevel7() const { return header[0] == 0x04 || header[0] == 0x8C; }
    uint64_t recordOffset(int32_t n) const {
        return static_cast<uint64_t>(static_cast<uint16_t>(headerSize)) + static_cast<uint64_t>(n - 1) * recordSize;
    }
};

// A field definition for CreateDbf.
struct FieldDef {
    std::string name;
    char type;
    int length;
    int decimals;
};

// codePage, when it has a language-driver byte, is recorded in the header (byte 29); 0 leaves the byte 0.
bool CreateDbf(TableBlock& block, const std::string& fileName, const std::vector<FieldDef>& fields,
               int codePage = 0);
bool OpenDbf(TableBlock& block);
bool ReadDbfHeader(TableBlock& block, uint64_t fileSize);
bool ValidVersionByte(uint8_t version);
bool GetDbfRecord(TableBlock& block, int32_t n);
// True when raw holds record n as this block just wrote it (see writtenRecord): nothing to read.
bool HoldsWrittenRecord(const TableBlock& block, int32_t n);
// Reads the runs of records [first, last] given (within the count), one read each, into the block's
// window, which then holds them alone.
bool ReadDbfRuns(TableBlock& block, const std::vector<std::pair<int32_t, int32_t>>& runs);
// Makes record n current from the window, as GetDbfRecord would from the file; false (nothing reported)
// when the window does not hold it or the process wrote a record since the window was read.
bool GetDbfRecordFromWindow(TableBlock& block, int32_t n);
// Moves on with every record, deletion flag or field this process writes to any table: a window read
// before is not used again, so that a station always reads what it wrote itself.
uint64_t RowWriteEpoch();
void NoteRowWrite();
bool PutDbfRecord(TableBlock& block, int32_t n);
bool AppendDbfRecord(TableBlock& block);
bool WriteDeleteFlag(TableBlock& block, int32_t n);
bool WriteDbfHeader(TableBlock& block);
// In shared use, before the append lock goes: the header takes the count and the date of the appends
// made under it, so that other stations and other programs read them from the header at once. count
// exact: the count was taken from the file under the lock, so the size is not asked again.
bool WriteTailUnderAppendLock(TableBlock& block, bool countExact);
// Makes the end of the table agree with the rows the file holds whole, for a holder of the append lock
// (or of the table alone): the header's count and date name every whole row, one end-of-file byte
// follows the last, and bytes past it that make less than a row are cut off. Such bytes are a row cut
// short, never one reported stored: a row is written in one write and reported after it. The block's
// count becomes the rows. False when a write failed (each step leaves the table readable, the rows as
// they were).
bool SettleTableEnd(TableBlock& block);
bool FlushDbf(TableBlock& block);
bool CloseDbf(TableBlock& block);

enum class TranslateDir { Read, Write };
// oemCp is the stored code page of the table (0: the engine's OEM page).
void TranslateRecord(TranslateDir dir, bool oem, const TranslateProc& proc, size_t bufferSize, uint16_t recordSize,
                     char* buffer, int oemCp = 0);
// The code page a table's text is stored in (see TableBlock::codePage).
int StoredCodePage(const TableBlock& block);

bool InitMemoFile(const std::string& name, uint8_t version, uint16_t blockSize, const std::string& caller);
std::string MemoExtFor(uint8_t version);
uint32_t SwapLong(uint32_t v);
uint16_t SwapWord(uint16_t v);
std::string FileNameOnly(const std::string& path);
bool FlushFile(platform::File& file);

// The engine settings of the file layer.
bool AutoFixRecCount();
bool SetAutoFixRecCount(bool on);  // returns the previous value

}  // namespace xb
