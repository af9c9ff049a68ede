#include "engine/core/locks.h"

#include <algorithm>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"

namespace xb {

namespace {

uint64_t recordRegion(const WorkAreaBlock& b, int32_t n) { return kLockBase + b.recordOffset(n); }

}  // namespace

bool IsSharedUse(const WorkAreaBlock& b) { return !b.isVirtual && !b.exclusive; }

int LockRegion(bool unlock, platform::File& file, uint64_t offset, uint64_t length) {
    return unlock ? file.unlock(offset, length) : file.lock(offset, length);
}

bool RetryLock(platform::File& file, uint64_t offset, uint64_t length) {
    return LockRegion(false, file, offset, length) == 0;
}

bool FileLockByte() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return false;
    return RetryLock(b->file, kLockBase, 1);
}

bool FileUnlock() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return false;
    int rc = LockRegion(true, b->file, kLockBase, 1);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error attempting to UNLOCK file " + b->fileName + " in Workarea " +
                                                      std::to_string(SelectedArea()));
        return false;
    }
    return true;
}

bool ALock() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->isVirtual) {
        SetEngineError(1100, " [ALock]");
        return false;
    }
    if (b->lockState == LockState::Append) return true;
    if (b->lockState == LockState::Records) return false;
    if (IsSharedUse(*b) && !RetryLock(b->file, kLockBase + 1, 1)) return false;
    b->lockState = LockState::Append;
    b->countUnderAppendLock = false;
    // The count the open read may be older than another station's appends: an append places its row
    // after the count read under the lock.
    b->countJustRead = false;
    return true;
}

bool RLock() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->isVirtual) {
        SetEngineError(1100, " [RLock]");
        return false;
    }
    const int32_t n = b->recNo;
    if (b->lockState == LockState::Records &&
        std::find(b->lockList.begin(), b->lockList.end(), n) != b->lockList.end())
        return true;
    if (b->lockState == LockState::Append) return false;
    if (n < 1 || n > b->recCount) return false;  // no record to lock (end of file or empty table)
    if (IsSharedUse(*b) && !RetryLock(b->file, recordRegion(*b, n), b->recordSize)) return false;
    b->lockList.push_front(n);
    b->lockState = LockState::Records;
    ++b->lockCount;
    return true;
}

bool IsLocked(int32_t n) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->isVirtual) {
        SetEngineError(1100, "[IsLocked]");
        return false;
    }
    return std::find(b->lockList.begin(), b->lockList.end(), n) != b->lockList.end();
}

namespace {

// Releases the lock of record n held by the area; the system's answer, 0 on success.
int releaseRecord(WorkAreaBlock& b, std::list<int32_t>::iterator it) {
    int32_t n = *it;
    // Another station may change the row once its lock is gone: a reload reads it again.
    if (n == b.writtenRecord) b.writtenRecord = 0;
    b.lockList.erase(it);
    if (b.lockCount > 0) --b.lockCount;
    if (b.lockList.empty()) b.lockState = LockState::None;
    if (!IsSharedUse(b)) return 0;
    return LockRegion(true, b.file, recordRegion(b, n), b.recordSize);
}

}  // namespace

bool UnlockRec(int32_t n) {
    Engine& e = Engine::current();
    e.errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (n >= 1) {
        auto it = std::find(b->lockList.begin(), b->lockList.end(), n);
        if (it == b->lockList.end()) {
            // Reported without the dispatcher: the caller decides what a missing lock means.
            e.errors.lastError = 220;
            e.errors.detail = "Record not locked. [UnlockRec(" + std::to_string(n) + ")]";
            return false;
        }
        int rc = releaseRecord(*b, it);
        if (rc != 0) e.errors.lastError = static_cast<uint16_t>(rc);
        return rc == 0;
    }
    if (n == -1 || n == -2) {
        if (b->lockList.empty()) return true;
        auto it = n == -2 ? b->lockList.begin() : std::prev(b->lockList.end());
        int rc = releaseRecord(*b, it);
        if (rc != 0) e.errors.lastError = static_cast<uint16_t>(rc);
        return rc == 0;
    }
    if (n == -3) {
        bool ok = true;
        while (!b->lockList.empty()) {
            int rc = releaseRecord(*b, b->lockList.begin());
            if (rc != 0 && ok) {
                ok = false;
                e.errors.lastError = static_cast<uint16_t>(rc);
            }
        }
        return ok;
    }
    e.errors.lastError = 220;
    e.errors.detail = "[UnlockRec(" + std::to_string(n) + ")]";
    return false;
}

namespace {

// Lets go of every lock the area holds. The appends made under the append lock reach the header before
// it goes; report says whether a failure of that is reported here (it stays for the close to try again).
void unlockArea(WorkAreaBlock* b, bool report) {
    if (b->lockState == LockState::Records) UnlockRec(-3);
    if (b->lockState == LockState::Append && IsSharedUse(*b)) {
        if (b->countWriteFailure != 0) {
            if (report) SetEngineError(b->countWriteFailure, "File:  " + b->fileName + " [Unlock]");
        } else if (!WriteTailUnderAppendLock(*b, b->countUnderAppendLock) && report) {
            SetEngineError(LastError(), "File:  " + b->fileName + " [Unlock]");
        }
        LockRegion(true, b->file, kLockBase + 1, 1);
    }
    b->lockState = LockState::None;
    b->countUnderAppendLock = false;
    b->countWriteFailure = 0;
    b->writtenRecord = 0;
}

}  // namespace

void Unlock() {
    Engine::current().errors.lastError = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return;
    unlockArea(b, true);
}

void UnlockBeforeClose() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return;
    unlockArea(b, false);
}

int ReopenDbfFile(bool exclusive) {
    Engine& e = Engine::current();
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return 6;
    if (b->exclusive && !b->reopened) return 5;  // Use opened it exclusively: leave it so
    const int mode = exclusive ? platform::kModeExclusive : platform::kModeShared;
    // The locks go first, list and all; then the same handle changes its sharing, so the area never
    // loses its file: a refusal (another handle has the table open) leaves it as it was.
    Unlock();
    int rc = b->file.changeShare(mode);
    if (rc != 0) return rc;
    b->fileMode = static_cast<uint16_t>(mode);
    b->exclusive = exclusive;
    b->reopened = exclusive;
    e.settings.reopenedExclusive = exclusive;
    return 0;
}

int32_t PhysRecCount(const WorkAreaBlock& b) {
    if (b.isVirtual) return b.recCount;
    uint64_t size = 0;
    if (b.recordSize == 0 || b.file.size(size) != 0) return b.recCount;
    const uint64_t hs = static_cast<uint16_t>(b.headerSize);
    if (size <= hs) return 0;
    return static_cast<int32_t>(std::min<uint64_t>((size - hs) / b.recordSize, 0x7FFFFFFF));
}

void RefreshRecCount(WorkAreaBlock& b, int32_t needed) {
    if (!IsSharedUse(b) || b.snapshot) return;
    if (b.countJustRead) {
        b.countJustRead = false;
        if (needed <= b.recCount) return;
    }
    // Under the append lock nobody else appends: the count read once under it stays exact.
    if (b.lockState == LockState::Append && b.countUnderAppendLock) return;
    b.recCount = PhysRecCount(b);
    b.countUnderAppendLock = b.lockState == LockState::Append;
}

}  // namespace xb
