#include "engine/core/memo_stream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_file.h"
#include "platform/byte_order.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace xb {

using namespace memo_detail;

namespace {

constexpr uint32_t kPiece = 32767;
constexpr uint32_t kMaxLength = 0x7FFFFFFF;

Engine& eng() {
    return Engine::current();
}

std::string detail(const WorkAreaBlock& b, const MemoFileArea& m, const char* op) {
    return std::to_string(m.blob.block) + " " + m.name + " Record # " + std::to_string(b.recNo) + " [" + op +
           "]";
}

void fail(WorkAreaBlock& b, MemoFileArea& m, uint16_t code, const char* op) {
    const std::string d = detail(b, m, op);
    UnlockMemo(m);
    m.blob = BlobDescriptor{};
    SetEngineError(code, d);
}

bool isTextPiece(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (c < 32 && c != 9 && c != 10 && c != 13 && c != 15 && c != 20 && c != 21) return false;
    }
    return true;
}

// The area and its memo control block with a descriptor in the given mode, or nullptr.
WorkAreaBlock* streamArea(MemoFileArea*& memo, uint8_t mode) {
    WorkAreaBlock* b = CurrentBlock();
    memo = b ? dynamic_cast<MemoFileArea*>(b->memoArea.get()) : nullptr;
    if (!memo || !memo->blob.inUse || (mode != 0 && memo->blob.mode != mode)) return nullptr;
    return b;
}

}  // namespace

int32_t CreateBlobDescriptor(bool detectText, int32_t block, uint8_t mode) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("CreateBlobDescriptor", memo);
    if (!b) return 0;
    // An unfinished stream is dropped: a write in progress had handed out no block number yet.
    UnlockMemo(*memo);
    memo->blob = BlobDescriptor{};
    memo->blob.textFlag = detectText ? -1 : 0;
    return InitBlobDescriptor(block, mode, 0);
}

int32_t InitBlobDescriptor(int32_t block, uint8_t mode, uint32_t size) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("CreateBlobDescriptor", memo);
    if (!b) return 0;
    BlobDescriptor& d = memo->blob;
    const int32_t textFlag = d.textFlag;
    d = BlobDescriptor{};
    d.textFlag = textFlag;
    d.mode = mode;
    const uint64_t bs = memo->blockSize;
    if (mode == kBlobRead) {
        const uint32_t n =
            block < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(block)) : static_cast<uint32_t>(block);
        d.block = n;
        uint64_t fileSize = 0;
        int rc = memo->file.size(fileSize);
        if (rc != 0) {
            fail(*b, *memo, static_cast<uint16_t>(rc), "CreateBlobDescriptor");
            return 0;
        }
        const uint64_t offset = n * bs;
        if (n == 0 || offset + 1 >= fileSize) {
            fail(*b, *memo, 1003, "CreateBlobDescriptor");
            return 0;
        }
        d.dataOffset = offset;
        d.length = -1;
        if (memo->flavour != kMemoDbase3) {
            uint8_t h[8] = {};
            size_t got = 0;
            rc = memo->file.readAt(offset, h, 8, &got);
            if (rc != 0) {
                fail(*b, *memo, static_cast<uint16_t>(rc), "CreateBlobDescriptor");
                return 0;
            }
            uint64_t length = 0;
            bool known = false;
            if (got == 8 && memo->flavour == kMemoFox) {
                length = platform::GetU32Be(h + 4);
                known = true;
            } else if (got == 8 && h[0] == 0xFF && h[1] == 0xFF && h[2] == 8 && h[3] == 0) {
                uint32_t total = platform::GetU32(h + 4);
                length = total >= 8 ? total - 8 : 0;
                known = true;
            } else if (memo->flavour == kMemoFox) {
                fail(*b, *memo, 1003, "CreateBlobDescriptor");
                return 0;
            }
            if (known) {
                d.dataOffset = offset + 8;
                d.headerSize = 8;
                // A length that runs past the end of the file is damage: say so rather than hand out a
                // memo whose end is missing.
                if (length > fileSize - d.dataOffset || length > kMaxLength) {
                    fail(*b, *memo, 1003, "CreateBlobDescriptor");
                    return 0;
                }
                d.length = static_cast<int32_t>(length);
            }
        }
        d.inUse = true;
        return static_cast<int32_t>(n);
    }
    if (mode != kBlobWrite) {
        fail(*b, *memo, 1003, "CreateBlobDescriptor");
        return 0;
    }
    if (size > 0) {
        uint64_t free = 0;
        if (platform::DiskFreeBytes(memo->name, free) && free / 1024 <= size / 1024) {
            fail(*b, *memo, 1004, "CreateBlobDescriptor");
            return 0;
        }
        d.length = static_cast<int32_t>(std::min(size, kMaxLength));
    }
    const uint64_t start = LockPadSeek(*b, *memo, "CreateBlobDescriptor");
    if (start == 0) {
        memo->blob = BlobDescriptor{};
        return 0;
    }
    if (start / bs > static_cast<uint64_t>(INT32_MAX)) {
        fail(*b, *memo, 112, "CreateBlobDescriptor");
        return 0;
    }
    d.block = static_cast<uint32_t>(start / bs);
    // dBASE III memos have no group header: the data starts the block and an end byte follows it.
    d.headerSize = memo->flavour == kMemoDbase3 ? 0 : 8;
    d.dataOffset = start + d.headerSize;
    d.inUse = true;
    return static_cast<int32_t>(d.block);
}

uint32_t ReadBlobStream(void* buffer, uint32_t count) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = streamArea(memo, kBlobRead);
    if (!b) {
        if (memo) SetEngineError(1003, detail(*CurrentBlock(), *memo, "ReadBlobStream"));
        return 0;
    }
    BlobDescriptor& d = memo->blob;
    if (count < 1) return 0;
    uint64_t fileSize = 0;
    int rc = memo->file.size(fileSize);
    if (rc != 0) {
        fail(*b, *memo, static_cast<uint16_t>(rc), "ReadBlobStream");
        return 0;
    }
    const uint64_t at = d.dataOffset + d.position;
    uint64_t n = count;
    n = at >= fileSize ? 0 : std::min<uint64_t>(n, fileSize - at);
    if (d.length >= 0)
        n = d.position >= static_cast<uint32_t>(d.length) ? 0 : std::min<uint64_t>(n, d.length - d.position);
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < n) {
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(n - done, kPiece));
        rc = memo->file.readAt(at + done, out + done, want);
        if (rc != 0) {
            fail(*b, *memo, static_cast<uint16_t>(rc), "ReadBlobStream");
            return 0;
        }
        uint32_t got = want;
        if (d.length < 0) {
            // The memo ends at its first end byte.
            const void* end = std::memchr(out + done, kEofByte, want);
            if (end) {
                got = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - (out + done));
                d.length = static_cast<int32_t>(d.position + done + got);
            }
        }
        if (d.textFlag == -1) d.textFlag = isTextPiece(out + done, got) ? 1 : 0;
        if (d.textFlag == 1 && b->oem)
            platform::ConvertBytesInPlace(reinterpret_cast<char*>(out + done), got,
                                          StoredCodePage(*b), eng().settings.ansiCodePage);
        done += got;
        if (got < want) break;
    }
    d.position += done;
    return done;
}

uint32_t WriteBlobStream(const void* buffer, uint32_t count) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = streamArea(memo, kBlobWrite);
    if (!b) {
        if (memo) SetEngineError(1005, detail(*CurrentBlock(), *memo, "WriteBlobStream"));
        return 0;
    }
    BlobDescriptor& d = memo->blob;
    uint64_t n = count;
    const uint64_t limit = d.length >= 0 ? static_cast<uint64_t>(d.length) : kMaxLength;
    n = d.position >= limit ? 0 : std::min<uint64_t>(n, limit - d.position);
    if (n == 0) return 0;
    const auto* in = static_cast<const uint8_t*>(buffer);
    std::string piece;
    uint32_t done = 0;
    while (done < n) {
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(n - done, kPiece));
        // The caller's bytes stay as they are: conversion works on a copy.
        piece.assign(reinterpret_cast<const char*>(in + done), want);
        if (d.textFlag == -1) d.textFlag = isTextPiece(in + done, want) ? 1 : 0;
        if (d.textFlag == 1 && b->oem)
            platform::ConvertBytesInPlace(piece.data(), piece.size(), eng().settings.ansiCodePage,
                                          StoredCodePage(*b));
        if (memo->flavour == kMemoDbase3 && piece.find(static_cast<char>(kEofByte)) != std::string::npos) {
            fail(*b, *memo, 1005, "WriteBlobStream");
            return 0;
        }
        int rc = memo->file.writeAt(d.dataOffset + d.position + done, piece.data(), piece.size());
        if (rc != 0) {
            fail(*b, *memo, static_cast<uint16_t>(rc), "WriteBlobStream");
            return 0;
        }
        done += want;
    }
    d.position += done;
    d.written = std::max(d.written, d.position);
    return done;
}

uint32_t SeekBlobStream(int32_t offset, int origin) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = streamArea(memo, 0);
    if (!b || memo->blob.block == 0 || memo->blob.mode == 0) {
        if (memo) SetEngineError(1003, detail(*CurrentBlock(), *memo, "SeekBlobStream"));
        return 0;
    }
    BlobDescriptor& d = memo->blob;
    int64_t base = 0;
    if (origin == kSeekFromCurrent) {
        base = d.position;
    } else if (origin == kSeekFromEnd) {
        if (d.mode == kBlobWrite) {
            base = d.length >= 0 ? d.length : d.written;
        } else {
            if (d.length < 0) {
                // Learn the length by reading to the end; everything else of the descriptor stays.
                const BlobDescriptor saved = d;
                d.textFlag = 0;
                uint8_t buf[512];
                while (ReadBlobStream(buf, sizeof buf) == sizeof buf && d.length < 0) {
                }
                if (!d.inUse) return 0;  // the read failed and said so
                const int32_t learned = d.length >= 0 ? d.length : static_cast<int32_t>(d.position);
                d = saved;
                d.length = learned;
            }
            base = d.length;
        }
    } else if (origin != kSeekFromStart) {
        SetEngineError(1003, detail(*b, *memo, "SeekBlobStream"));
        return 0;
    }
    int64_t pos = base + offset;
    pos = std::clamp<int64_t>(pos, 0, kMaxLength);
    d.position = static_cast<uint32_t>(pos);
    return d.position;
}

int32_t DestroyBlobDescriptor() {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = streamArea(memo, 0);
    if (!b) return 0;
    BlobDescriptor d = memo->blob;
    memo->blob = BlobDescriptor{};
    if (d.mode != kBlobWrite) return static_cast<int32_t>(d.block);
    int rc = 0;
    if (d.written > 0) {
        const uint64_t start = d.dataOffset - d.headerSize;
        if (memo->flavour == kMemoDbase3) {
            const uint64_t end = d.dataOffset + d.written;
            const uint64_t padded = (end + 1 + kDbase3BlockSize - 1) / kDbase3BlockSize * kDbase3BlockSize;
            std::string tail(static_cast<size_t>(padded - end), '\0');
            tail[0] = static_cast<char>(kEofByte);
            rc = memo->file.writeAt(end, tail.data(), tail.size());
        } else {
            std::string h = GroupHeader(memo->flavour, d.written);
            rc = memo->file.writeAt(start, h.data(), h.size());
        }
    }
    if (rc != 0) {
        memo->blob = d;
        fail(*b, *memo, static_cast<uint16_t>(rc), "DestroyBlobDescriptor");
        return 0;
    }
    if (!FinishWrite(*memo, "DestroyBlobDescriptor")) return 0;
    return d.written > 0 ? static_cast<int32_t>(d.block) : 0;
}

}  // namespace xb
