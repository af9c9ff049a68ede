// Record and append locks between processes and between work areas: byte-range locks far beyond the
// data of the table file (base 0x40000000): the table lock byte at the base, the append byte at base + 1
// and one range per record. A lock is tried once; a refusal answers false and sets no error.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace xb {

struct WorkAreaBlock;

constexpr uint64_t kLockBase = 0x40000000;

int LockRegion(bool unlock, platform::File& file, uint64_t offset, uint64_t length);
bool RetryLock(platform::File& file, uint64_t offset, uint64_t length);
bool FileLockByte();
bool FileUnlock();
bool ALock();
bool RLock();
bool IsLocked(int32_t n);
bool UnlockRec(int32_t n);
void Unlock();
// Unlock for the close, which writes the header itself and reports its own failures.
void UnlockBeforeClose();
int ReopenDbfFile(bool exclusive);
int32_t PhysRecCount(const WorkAreaBlock& block);
// Brings a shared table's count up to date from the file's size. The first refresh after an open takes
// the size the open read, unless the caller needs a record beyond it (needed): a key or a step naming a
// record past that count was made by another station since, and only the file can tell. kCountFromFile
// always asks the file (another station's change was seen since the open).
inline constexpr int32_t kCountFromFile = 0x7FFFFFFF;
void RefreshRecCount(WorkAreaBlock& block, int32_t needed = 0);
// True when the area's table was opened (or reopened) for shared use.
bool IsSharedUse(const WorkAreaBlock& block);

}  // namespace xb
