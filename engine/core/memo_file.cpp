#include "engine/core/memo_file.h"

#include <chrono>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace xb {

namespace memo_detail {

std::string GroupHeader(uint8_t flavour, uint32_t length) {
    if (flavour == kMemoDbase3) return {};
    uint8_t h[8];
    if (flavour == kMemoFox) {
        platform::PutU32Be(h, 1);  // record type: text
        platform::PutU32Be(h + 4, length);
    } else {
        h[0] = 0xFF;
        h[1] = 0xFF;
        h[2] = 0x08;
        h[3] = 0x00;
        platform::PutU32(h + 4, length + 8);  // the header counts itself
    }
    return std::string(reinterpret_cast<const char*>(h), 8);
}

std::string MemoImage(uint8_t flavour, const std::string& data) {
    if (flavour != kMemoDbase3) return GroupHeader(flavour, static_cast<uint32_t>(data.size())) + data;
    std::string out = data;
    out += static_cast<char>(kEofByte);
    out.resize((out.size() + kDbase3BlockSize - 1) / kDbase3BlockSize * kDbase3BlockSize, '\0');
    return out;
}

uint64_t NewMemoStart(uint8_t flavour, uint16_t blockSize, uint64_t size) {
    if (flavour == kMemoDbase3 && size == kDbase3BlockSize + 1) return kDbase3BlockSize;
    const uint64_t bs = blockSize ? blockSize : 512;
    uint64_t start = (size + bs - 1) / bs * bs;
    return start == 0 ? bs : start;  // block 0 is the header's, even in an empty file
}

int PadTo(platform::File& file, uint64_t size, uint64_t start) {
    if (start <= size) return 0;
    std::string zeros(static_cast<size_t>(start - size), '\0');
    return file.writeAt(size, zeros.data(), zeros.size());
}

int WriteNextFree(platform::File& file, uint8_t flavour, uint16_t blockSize, uint64_t size) {
    const uint64_t bs = blockSize ? blockSize : 512;
    uint64_t next = (size + bs - 1) / bs;
    uint8_t w[4];
    uint32_t v = next > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(next);
    if (flavour == kMemoFox)
        platform::PutU32Be(w, v);
    else
        platform::PutU32(w, v);
    return file.writeAt(0, w, 4);
}

bool LockMemo(WorkAreaBlock& block, MemoFileArea& memo) {
    if (memo.locked) return true;
    if (IsSharedUse(block)) {
        // Another station holds the lock only while it appends one memo, so a short wait always wins
        // unless that station is stuck; retrying without a pause would fail at once.
        const uint64_t start = platform::TickCountMs();
        while (!RetryLock(memo.file, kMemoLockByte, 1)) {
            if (platform::TickCountMs() - start >= kMemoLockWaitMs) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    memo.locked = true;
    return true;
}

void UnlockMemo(MemoFileArea& memo) {
    if (!memo.locked) return;
    if (memo.file.holdsLock(kMemoLockByte, 1)) LockRegion(true, memo.file, kMemoLockByte, 1);
    memo.locked = false;
}

void Fail(MemoFileArea& memo, uint16_t code, const std::string& detail) {
    UnlockMemo(memo);
    SetEngineError(code, detail);
}

uint64_t LockPadSeek(WorkAreaBlock& block, MemoFileArea& memo, const std::string& caller) {
    if (!LockMemo(block, memo)) {
        SetEngineError(1017, memo.name + " [" + caller + "]");
        return 0;
    }
    uint64_t size = 0;
    int rc = memo.file.size(size);
    const uint64_t start = NewMemoStart(memo.flavour, memo.blockSize, size);
    if (rc == 0) rc = PadTo(memo.file, size, start);
    if (rc != 0) {
        Fail(memo, static_cast<uint16_t>(rc), memo.name + " [LockMemoPadAndSeekEOF]");
        return 0;
    }
    return start;
}

bool FinishWrite(MemoFileArea& memo, const std::string& caller) {
    uint64_t size = 0;
    int rc = memo.file.flush();
    if (rc == 0) rc = memo.file.size(size);
    if (rc == 0) rc = WriteNextFree(memo.file, memo.flavour, memo.blockSize, size);
    // The header goes to disk too: other programs take their next block from it.
    if (rc == 0) rc = memo.file.flush();
    if (rc != 0) {
        Fail(memo, 29, memo.name + " [" + caller + "]");
        return false;
    }
    const bool held = memo.locked && memo.file.holdsLock(kMemoLockByte, 1);
    memo.locked = false;
    if (held && LockRegion(true, memo.file, kMemoLockByte, 1) != 0) {
        SetEngineError(1018, memo.name + " [" + caller + "]");
        return false;
    }
    return true;
}

}  // namespace memo_detail

using namespace memo_detail;

namespace {

Engine& eng() {
    return Engine::current();
}

}  // namespace

MemoFileArea* CurrentMemoArea() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? dynamic_cast<MemoFileArea*>(b->memoArea.get()) : nullptr;
}

WorkAreaBlock* RequireMemoArea(const std::string& routine, MemoFileArea*& memo) {
    memo = nullptr;
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        SetEngineError(
            215, "No database in use [" + routine + "]  WorkArea = " + std::to_string(eng().currentArea));
        return nullptr;
    }
    memo = dynamic_cast<MemoFileArea*>(b->memoArea.get());
    if (!memo) {
        SetEngineError(1019,
                       "WorkArea " + std::to_string(eng().currentArea) + " No Memo Field [" + routine + "]");
        return nullptr;
    }
    return b;
}

uint8_t MemoFlavourOf(uint8_t version) {
    switch (version) {
        case kMemoDbase3:
        case kMemoDbase4:
        case kMemoFox:
        case kMemoLevel7:
            return version;
        default:
            return CurrentMemoSettings().defaultVersion;
    }
}

std::string MemoFileNameFor(const std::string& tableName, uint8_t flavour) {
    return MemoFileNameOf(tableName, flavour);
}

bool CreateMemofile(const std::string& tableName) {
    const MemoSettings& s = CurrentMemoSettings();
    return InitMemoFile(MemoFileNameFor(tableName, s.defaultVersion), s.defaultVersion, s.defaultBlockSize,
                        "CreateMemofile()");
}

uint8_t GetMemoType() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return CurrentMemoSettings().defaultVersion;
    return MemoFlavourOf(b->version());
}

void UseMemofile() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        SetEngineError(215, "No database in use [USE]  WorkArea = " + std::to_string(eng().currentArea));
        return;
    }
    const uint8_t flavour = GetMemoType();
    const std::string name = MemoFileNameFor(b->fileName, flavour);
    if (b->memoArea) {
        SetEngineError(1007, name + " [USE]");
        return;
    }
    auto memo = std::make_unique<MemoFileArea>();
    memo->name = name;
    memo->flavour = flavour;
    memo->blockSize = CurrentMemoSettings().defaultBlockSize;
    // A table reopened exclusively for a moment (a pack) goes back to shared use: so does its memo file.
    const uint16_t mode = b->reopened ? eng().settings.shareMode : b->fileMode;
    int rc = memo->file.open(name, mode);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Memo file not found: " + name + " [USE]");
        return;
    }
    if (flavour == kMemoDbase3) {
        memo->blockSize = kDbase3BlockSize;
    } else {
        const bool fox = flavour == kMemoFox;
        uint8_t h[24];
        rc = memo->file.readAt(0, h, fox ? 8 : 24);
        if (rc != 0) {
            SetEngineError(30, "Memo file header is damaged: " + name + " [USE]");
            return;
        }
        uint16_t bs = fox ? platform::GetU16Be(&h[6]) : platform::GetU16(&h[20]);
        if (bs != 0) memo->blockSize = bs;
    }
    b->memoArea = std::move(memo);
    SetIoResult(0);
}

bool CloseMemofile() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || !b->memoArea) return true;
    auto* memo = dynamic_cast<MemoFileArea*>(b->memoArea.get());
    int rc = 0;
    std::string name;
    if (memo) {
        UnlockMemo(*memo);
        name = memo->name;
        // Notes written through this area reach the disk before the close reports success; a close
        // after reading only has nothing to sync (on a share, a round trip and a wait for the server).
        rc = memo->file.isOpen() && memo->file.writtenSinceFlush() ? memo->file.flush() : 0;
        memo->file.close();
    }
    b->memoArea.reset();
    SetIoResult(static_cast<uint16_t>(rc));
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), name + " [CloseMemofile]");
        return false;
    }
    return true;
}

void MemoError(uint16_t code, const std::string& detail) {
    if (MemoFileArea* m = CurrentMemoArea()) UnlockMemo(*m);
    SetEngineError(code, detail);
}

uint64_t LockMemoPadAndSeekEOF(const std::string& caller) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea(caller, memo);
    return b ? LockPadSeek(*b, *memo, caller) : 0;
}

bool MainHeaderWrite(uint32_t nextFree) {
    MemoFileArea* memo = nullptr;
    if (!RequireMemoArea("MainHeaderWrite()", memo)) return false;
    uint8_t w[4];
    if (memo->flavour == kMemoFox)
        platform::PutU32Be(w, nextFree);
    else
        platform::PutU32(w, nextFree);
    if (memo->file.writeAt(0, w, 4) != 0) {
        MemoError(29, memo->name + " [MainHeaderWrite()]");
        return false;
    }
    return true;
}

bool UpdateMemoHeader() {
    MemoFileArea* memo = nullptr;
    if (!RequireMemoArea("UpdateMemoHeader()", memo)) return false;
    return FinishWrite(*memo, "UpdateMemoHeader()");
}

int32_t ReadGroupHeader(int32_t block, uint8_t header[8]) {
    if (block <= 0) return 0;
    MemoFileArea* memo = nullptr;
    if (!RequireMemoArea("ReadGroupHeader()", memo)) return 0;
    const uint64_t offset = static_cast<uint64_t>(block) * memo->blockSize;
    if (memo->file.readAt(offset, header, 8) != 0) {
        MemoError(30, memo->name + " [ReadGroupHeader()]");
        return 0;
    }
    uint32_t len =
        memo->flavour == kMemoFox ? platform::GetU32Be(header + 4) + 8 : platform::GetU32(header + 4);
    return static_cast<int32_t>(len / memo->blockSize + 1);
}

bool WriteGroupHeader(uint64_t offset, uint32_t length, MemoFileArea& memo) {
    std::string h = GroupHeader(memo.flavour == kMemoDbase3 ? kMemoDbase4 : memo.flavour, length);
    if (memo.file.writeAt(offset, h.data(), h.size()) != 0) {
        MemoError(29, memo.name + " [WriteGroupHeader()]");
        return false;
    }
    return true;
}

}  // namespace xb
