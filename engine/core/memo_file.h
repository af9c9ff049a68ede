// Memo files: the three layouts (dBASE III and IV ".dbt", FoxPro ".fpt"), their creation, opening and
// closing, the memo control block of a work area, the memo lock and the header. The memo operations
// (memo_ops.h) and the blob streams (memo_stream.h) are built on it.
//
// Every memo is written to fresh blocks at the end of the file, under the memo lock, and flushed before
// its block number is handed out; the record's block number is the commit. Blocks are never reused in
// place: the memo pack reclaims them. So a reader, which takes no lock, always sees either the old memo
// or the new one whole.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/work_areas.h"
#include "platform/file.h"

namespace xb {

constexpr uint8_t kMemoDbase3 = 0x83;
constexpr uint8_t kMemoDbase4 = 0x8B;
constexpr uint8_t kMemoLevel7 = 0x8C;
constexpr uint8_t kMemoFox = 0xF5;
constexpr uint64_t kMemoLockByte = 10;
constexpr uint16_t kDbase3BlockSize = 512;
// How long a writer waits for another station's memo lock before it gives up with 1017.
constexpr uint64_t kMemoLockWaitMs = 2000;

// The one blob stream of a work area (memo_stream.h).
struct BlobDescriptor {
    bool inUse = false;
    uint8_t mode = 0;         // 1 read, 2 write, 0 none
    int32_t length = -1;      // -1 while unknown
    uint64_t dataOffset = 0;  // where the memo's data begins in the file
    uint32_t headerSize = 0;  // bytes of group header before the data (0 or 8)
    uint32_t position = 0;    // within the data
    uint32_t block = 0;
    int32_t textFlag = 0;  // -1 not yet known, 0 binary, 1 text
    uint32_t written = 0;  // write mode: the furthest byte written, the memo's length at completion
};

// The memo control block of a work area, kept in its block's memoArea.
struct MemoFileArea : MemoArea {
    platform::File file;
    std::string name;  // the memo file's full name
    uint8_t flavour = kMemoDbase4;
    uint16_t blockSize = 512;
    bool locked = false;  // this area holds the memo lock
    BlobDescriptor blob;
};

// The memo unit's settings (per engine): the version byte and block size of memo files created without
// a table to follow.
struct MemoSettings {
    uint8_t defaultVersion = kMemoDbase4;
    uint16_t defaultBlockSize = 512;
};
MemoSettings& CurrentMemoSettings();

// The current area's memo control block; nullptr when the area has no open memo file.
MemoFileArea* CurrentMemoArea();
// The current area and its memo control block, or nullptr after reporting 215 (no table) or 1019 (no
// memo file) with the routine's name.
WorkAreaBlock* RequireMemoArea(const std::string& routine, MemoFileArea*& memo);

// The memo file of a table: the table's name with ".fpt" for FoxPro tables and ".dbt" otherwise (an
// existing file is found whatever the case of its name).
std::string MemoFileNameFor(const std::string& tableName, uint8_t flavour);
// The flavour a version byte selects (unknown versions take the default).
uint8_t MemoFlavourOf(uint8_t version);

bool CreateMemofile(const std::string& tableName);
uint8_t GetMemoType();
// Opens the memo file of the current area; leaves an error code on failure.
void UseMemofile();
// Closes the memo file of the current area and frees its control block.
bool CloseMemofile();

// Takes the memo lock (waiting a bounded time for another station's), pads the file to a whole block and
// returns the offset at which a new memo starts; 0 on failure, with the lock released.
uint64_t LockMemoPadAndSeekEOF(const std::string& caller);
bool MainHeaderWrite(uint32_t nextFree);
// Sets the header's next free block from the file size and releases the memo lock.
bool UpdateMemoHeader();
// Reads the 8 bytes at a block into header and returns the group's length in blocks; 0 for block 0 or
// less and on a short read (30).
int32_t ReadGroupHeader(int32_t block, uint8_t header[8]);
bool WriteGroupHeader(uint64_t offset, uint32_t length, MemoFileArea& memo);

// Releases the memo lock of the current area (if held) and reports the error.
void MemoError(uint16_t code, const std::string& detail);

// Internal pieces shared by the memo routines.
namespace memo_detail {
// The group header of a flavour for a memo of length bytes; empty for dBASE III, which has none.
std::string GroupHeader(uint8_t flavour, uint32_t length);
// The bytes a memo occupies from its first block: group header and data, or for dBASE III the data, the
// end byte and zeros to the block boundary.
std::string MemoImage(uint8_t flavour, const std::string& data);
// Where a new memo starts in a file of the given size: the next block boundary, except that a new
// dBASE III file's trailing end byte at 512 is overwritten.
uint64_t NewMemoStart(uint8_t flavour, uint16_t blockSize, uint64_t size);
// Pads the file with zeros from size up to start; the I/O code.
int PadTo(platform::File& file, uint64_t size, uint64_t start);
// Writes the next-free word for a file of the given size; the I/O code.
int WriteNextFree(platform::File& file, uint8_t flavour, uint16_t blockSize, uint64_t size);
// Takes the memo lock of an area: at once when the table is not shared, else retried for a bounded
// time. False when another station holds it throughout.
bool LockMemo(WorkAreaBlock& block, MemoFileArea& memo);
void UnlockMemo(MemoFileArea& memo);
// Releases the area's memo lock and reports the error.
void Fail(MemoFileArea& memo, uint16_t code, const std::string& detail);
// LockMemoPadAndSeekEOF on a given area.
uint64_t LockPadSeek(WorkAreaBlock& block, MemoFileArea& memo, const std::string& caller);
// Flushes the file, sets the header's next free block from its size and releases the lock.
bool FinishWrite(MemoFileArea& memo, const std::string& caller);
}  // namespace memo_detail

}  // namespace xb
