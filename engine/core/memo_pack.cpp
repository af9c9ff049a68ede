// The memo part of a table pack: the memos the packed records refer to go to a new memo file, and the
// packed table gets their new block numbers. Both are temporary files the table pack then commits by
// rename; neither the table nor its memo file is touched here, so a failure loses nothing.
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/core/typed_record.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace xb {

using namespace memo_detail;

namespace {

struct Reference {
    int32_t record;
    size_t fieldOffset;  // within the record
    uint8_t width;
    int32_t block;
};

void removeTemp(platform::File& out, const std::string& path) {
    out.close();
    platform::DeleteFileChecked(path);
}

constexpr size_t kPiece = 65536;

int32_t tableRecord(const MemoPackJob& job, int32_t packed) {
    return packed >= 1 && static_cast<size_t>(packed) <= job.tableRecords.size()
               ? job.tableRecords[packed - 1]
               : packed;
}

}  // namespace

bool PackMemofile(MemoPackJob& job) {
    const std::string routine = "PackMemofile";
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea(routine, memo);
    if (!b) return false;
    if (!job.packedTable || !job.packedTable->isOpen() || job.keptCount < 0 || job.tempMemoPath.empty()) {
        SetEngineError(1019, "No packed table to take the memos [" + routine + "]");
        return false;
    }
    uint64_t memoSize = 0;
    int rc = memo->file.size(memoSize);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), memo->name + " [" + routine + "]");
        return false;
    }
    uint64_t free = 0;
    if (platform::DiskFreeBytes(job.tempMemoPath, free) && free < memoSize) {
        SetEngineError(1012, memo->name + " [" + routine + "]");
        return false;
    }

    // The references of the packed records, read in pieces of 64 KiB of records rather than a record
    // at a time.
    std::vector<Reference> refs;
    const size_t perPiece = std::max<size_t>(1, kPiece / b->recordSize);
    std::vector<char> records(perPiece * b->recordSize);
    for (int32_t first = 1; first <= job.keptCount; first += static_cast<int32_t>(perPiece)) {
        const size_t n = std::min<size_t>(perPiece, static_cast<size_t>(job.keptCount - first + 1));
        rc = job.packedTable->readAt(b->recordOffset(first), records.data(), n * b->recordSize);
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), job.packedTable->path() + " [" + routine + "]");
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            const int32_t r = first + static_cast<int32_t>(i);
            const char* record = records.data() + i * b->recordSize;
            for (const FieldDescriptor& f : b->fields) {
                if (!IsMemoField(f) || static_cast<size_t>(f.offset) + f.length > b->recordSize) continue;
                // A pointer that is no block number leads to a memo that cannot be found: packing
                // without it would drop that memo for good.
                int32_t block = 0;
                if (!ReadBlockText(record + f.offset, f.length, block)) {
                    SetEngineError(1003, memo->name + " Memo block # " +
                                             std::string(record + f.offset, f.length) + " Record # " +
                                             std::to_string(tableRecord(job, r)) + " [PackMemo]");
                    return false;
                }
                if (block != 0) refs.push_back({r, f.offset, f.length, block});
            }
        }
    }

    platform::File out;
    rc = 0;
    {
        size_t slash = job.tempMemoPath.find_last_of('/');
        size_t dot = job.tempMemoPath.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
            SetEngineError(
                1019, "The packed memo file needs an extension: " + job.tempMemoPath + " [" + routine + "]");
            return false;
        }
    }
    if (!InitMemoFile(job.tempMemoPath, memo->flavour, memo->blockSize, routine)) {
        platform::DeleteFileChecked(job.tempMemoPath);
        return false;
    }
    rc = out.open(job.tempMemoPath, platform::kModeExclusive);
    if (rc == 0 && memo->flavour != kMemoDbase3 && memo->flavour != kMemoFox) {
        // The header names the table, not the temporary file it is written as.
        uint8_t name[8] = {};
        const std::string base = FileNameOnly(b->fileName);
        for (size_t i = 0; i < base.size() && i < 8; ++i)
            name[i] = platform::UpperByte(Engine::current().settings.ansiCodePage,
                                          static_cast<unsigned char>(base[i]));
        rc = out.writeAt(8, name, 8);
    }
    if (rc != 0) {
        removeTemp(out, job.tempMemoPath);
        SetEngineError(static_cast<uint16_t>(rc), job.tempMemoPath + " [" + routine + "]");
        return false;
    }
    uint64_t size = 0;
    rc = out.size(size);
    // Each memo is copied once, however many records refer to it, in the order of the records. The old
    // file is read through a read-ahead of 64 KiB pieces (notes written row after row lie in that order,
    // many to a piece) and the new one written in pieces, many notes to a call either way.
    std::map<int32_t, int32_t> moved;
    MemoReadAhead ahead;
    ahead.fileSize = memoSize;
    std::string data;
    std::string pending;  // bytes of the new file from pendingAt on, not written yet
    uint64_t pendingAt = size;
    auto writePending = [&]() -> int {
        const int code = pending.empty() ? 0 : out.writeAt(pendingAt, pending.data(), pending.size());
        pendingAt += pending.size();
        pending.clear();
        return code;
    };
    for (const Reference& ref : refs) {
        if (rc != 0) break;
        const int32_t key = ref.block < 0 ? -ref.block : ref.block;
        if (moved.count(key)) continue;
        int io = 0;
        ReadOutcome got = ReadStoredMemo(*memo, key, data, io, ahead);
        if (got != ReadOutcome::Ok) {
            removeTemp(out, job.tempMemoPath);
            if (got == ReadOutcome::IoError)
                SetEngineError(static_cast<uint16_t>(io), memo->name + " [PackMemo]");
            else
                SetEngineError(1003, memo->name + " Memo block # " + std::to_string(ref.block) +
                                         " Record # " + std::to_string(tableRecord(job, ref.record)) +
                                         " [PackMemo]");
            return false;
        }
        if (data.empty()) {
            moved[key] = 0;
            continue;
        }
        const uint64_t start = NewMemoStart(memo->flavour, memo->blockSize, size);
        const uint64_t newBlock = start / memo->blockSize;
        if (newBlock > static_cast<uint64_t>(INT32_MAX)) rc = 112;
        if (start >= size)
            pending.append(static_cast<size_t>(start - size), '\0');
        else if (pending.empty())
            pendingAt = start;  // a new dBASE III file's end byte, which the first memo overwrites
        else
            pending.resize(static_cast<size_t>(start - pendingAt));
        pending += MemoImage(memo->flavour, data);
        size = pendingAt + pending.size();
        moved[key] = static_cast<int32_t>(newBlock);
        if (rc == 0 && pending.size() >= kPiece) rc = writePending();
    }
    if (rc == 0) rc = writePending();
    if (rc == 0) rc = WriteNextFree(out, memo->flavour, memo->blockSize, size);
    if (rc == 0) rc = out.flush();
    if (rc != 0) {
        removeTemp(out, job.tempMemoPath);
        SetEngineError(static_cast<uint16_t>(rc), job.tempMemoPath + " [PackMemo]");
        return false;
    }
    out.close();

    // Only now, with the memo file complete, do the packed records get their new numbers: each piece of
    // records that holds references is read, changed and written back whole.
    for (size_t i = 0; i < refs.size() && rc == 0;) {
        const int32_t first = refs[i].record;
        const size_t n = std::min<size_t>(perPiece, static_cast<size_t>(job.keptCount - first + 1));
        rc = job.packedTable->readAt(b->recordOffset(first), records.data(), n * b->recordSize);
        for (; rc == 0 && i < refs.size() && refs[i].record < first + static_cast<int32_t>(n); ++i) {
            const Reference& ref = refs[i];
            const std::string text =
                FormatFieldNumber(moved[ref.block < 0 ? -ref.block : ref.block], ref.width, 0);
            if (text.find('*') != std::string::npos) {
                rc = 1005;
                break;
            }
            std::memcpy(
                records.data() + static_cast<size_t>(ref.record - first) * b->recordSize + ref.fieldOffset,
                text.data(), text.size());
        }
        if (rc == 0) rc = job.packedTable->writeAt(b->recordOffset(first), records.data(), n * b->recordSize);
    }
    if (rc == 0) rc = job.packedTable->flush();
    if (rc != 0) {
        platform::DeleteFileChecked(job.tempMemoPath);
        SetEngineError(static_cast<uint16_t>(rc), job.packedTable->path() + " [PackMemo]");
        return false;
    }
    SetIoResult(0);
    return true;
}

}  // namespace xb
