#include "engine/core/memo_ops.h"

#include <algorithm>
#include <cstring>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/typed_record.h"
#include "platform/byte_order.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace xb {

using namespace memo_detail;

namespace {

Engine& eng() {
    return Engine::current();
}

std::string recordPart(const WorkAreaBlock& b) {
    return " Record # " + std::to_string(b.recNo);
}

// Engine text to the table's code page, on a copy.
std::string toStored(const WorkAreaBlock& b, const std::string& text) {
    std::string out =
        b.oem ? platform::ConvertBytes(text, eng().settings.ansiCodePage, StoredCodePage(b)) : text;
    if (b.writeProc && !out.empty()) b.writeProc(out.data(), out.size());
    return out;
}

std::string fromStored(const WorkAreaBlock& b, std::string bytes) {
    if (b.readProc && !bytes.empty()) b.readProc(bytes.data(), bytes.size());
    if (b.oem)
        platform::ConvertBytesInPlace(bytes.data(), bytes.size(), StoredCodePage(b), eng().settings.ansiCodePage);
    return bytes;
}

// The free space check before a write of length bytes: 1004 when the drive cannot take it.
bool enoughSpace(MemoFileArea& memo, uint64_t length, const std::string& caller) {
    uint64_t free = 0;
    if (platform::DiskFreeBytes(memo.name, free) && free / 1024 <= length / 1024) {
        SetEngineError(1004, memo.name + " [" + caller + "]");
        return false;
    }
    return true;
}

}  // namespace

namespace memo_detail {

bool IsMemoField(const FieldDescriptor& f) {
    return f.type == 'M' || f.type == 'B' || f.type == 'G' || f.type == 'P';
}

int32_t ParseBlockText(const char* p, size_t n) {
    size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\0')) ++i;
    bool neg = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) neg = p[i++] == '-';
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > INT32_MAX) return 0;
    }
    return static_cast<int32_t>(neg ? -v : v);
}

bool ReadBlockText(const char* p, size_t n, int32_t& block) {
    block = 0;
    size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\0')) ++i;
    bool neg = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) neg = p[i++] == '-';
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > INT32_MAX) return false;
    }
    while (i < n && (p[i] == ' ' || p[i] == '\0')) ++i;
    if (i != n) return false;
    block = static_cast<int32_t>(neg ? -v : v);
    return true;
}

namespace {

// n bytes at pos of the memo file, from the read-ahead's piece when it holds them (read anew from pos
// when it does not), else read by themselves; got as File::readAt gives it.
int readMemoBytes(MemoFileArea& memo, MemoReadAhead* ahead, uint64_t pos, char* buf, size_t n, size_t* got) {
    if (ahead && n <= MemoReadAhead::kPiece) {
        const bool held = pos >= ahead->start && pos + n <= ahead->start + ahead->bytes.size();
        if (!held && pos < ahead->fileSize) {
            ahead->bytes.resize(
                static_cast<size_t>(std::min<uint64_t>(MemoReadAhead::kPiece, ahead->fileSize - pos)));
            size_t read = 0;
            if (const int rc = memo.file.readAt(pos, ahead->bytes.data(), ahead->bytes.size(), &read);
                rc != 0) {
                ahead->bytes.clear();
                return rc;
            }
            ahead->bytes.resize(read);
            ahead->start = pos;
        }
        if (pos >= ahead->start && pos + n <= ahead->start + ahead->bytes.size()) {
            std::memcpy(buf, ahead->bytes.data() + (pos - ahead->start), n);
            if (got) *got = n;
            return 0;
        }
    }
    // Past what the piece holds (the file's end): as the file answers it.
    return memo.file.readAt(pos, buf, n, got);
}

ReadOutcome readStoredMemo(MemoFileArea& memo, int32_t block, std::string& out, int& ioCode,
                           MemoReadAhead* ahead) {
    out.clear();
    ioCode = 0;
    uint64_t size = 0;
    if (ahead)
        size = ahead->fileSize;
    else if ((ioCode = memo.file.size(size)) != 0)
        return ReadOutcome::IoError;
    const uint64_t n = block < 0 ? -static_cast<int64_t>(block) : block;
    const uint64_t offset = n * memo.blockSize;
    if (n == 0 || offset >= size) return ReadOutcome::BadAddress;
    const uint64_t avail = size - offset;
    if (memo.flavour == kMemoDbase3) {
        // The text runs to its first end byte (or the end of the file).
        std::string chunk;
        uint64_t pos = offset;
        while (pos < size) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(size - pos, 65536));
            chunk.resize(want);
            size_t got = 0;
            if ((ioCode = readMemoBytes(memo, ahead, pos, chunk.data(), want, &got)) != 0)
                return ReadOutcome::IoError;
            if (got == 0) break;
            size_t end = chunk.find(static_cast<char>(kEofByte));
            if (end != std::string::npos && end < got) {
                out.append(chunk, 0, end);
                return ReadOutcome::Ok;
            }
            out.append(chunk, 0, got);
            pos += got;
        }
        return ReadOutcome::Ok;
    }
    uint8_t h[8];
    if (avail < 8) return ReadOutcome::Damaged;
    if ((ioCode = readMemoBytes(memo, ahead, offset, reinterpret_cast<char*>(h), 8, nullptr)) != 0)
        return ReadOutcome::IoError;
    uint64_t length = 0;
    if (memo.flavour == kMemoFox) {
        length = platform::GetU32Be(h + 4);
    } else {
        // A memo starts with its group marker: a block without it (a free group, a block size read
        // wrong, a pointer into the middle of a memo) holds no memo to hand back.
        if (h[0] != 0xFF || h[1] != 0xFF || h[2] != 0x08 || h[3] != 0x00) return ReadOutcome::BadAddress;
        uint32_t total = platform::GetU32(h + 4);
        length = total >= 8 ? total - 8 : 0;
    }
    ReadOutcome result = ReadOutcome::Ok;
    if (length > avail - 8) {
        length = avail - 8;
        result = ReadOutcome::Damaged;
    }
    out.resize(static_cast<size_t>(length));
    if (length > 0 &&
        (ioCode = readMemoBytes(memo, ahead, offset + 8, out.data(), out.size(), nullptr)) != 0) {
        out.clear();
        return ReadOutcome::IoError;
    }
    return result;
}

}  // namespace

ReadOutcome ReadStoredMemo(MemoFileArea& memo, int32_t block, std::string& out, int& ioCode) {
    return readStoredMemo(memo, block, out, ioCode, nullptr);
}

ReadOutcome ReadStoredMemo(MemoFileArea& memo, int32_t block, std::string& out, int& ioCode,
                           MemoReadAhead& ahead) {
    return readStoredMemo(memo, block, out, ioCode, &ahead);
}

int32_t AppendMemo(WorkAreaBlock& b, MemoFileArea& memo, const std::string& data, const std::string& caller,
                   int32_t atBlock) {
    if (memo.flavour == kMemoDbase3 && data.find(static_cast<char>(kEofByte)) != std::string::npos) {
        // The end byte ends a dBASE III memo: anything after it would be lost on reading.
        SetEngineError(1005, memo.name + ": a dBASE III memo cannot hold the byte 0x1A [" + caller + "]");
        return 0;
    }
    if (data.size() > 0x7FFFFFF0u) {
        SetEngineError(1005, memo.name + ": memo too long [" + caller + "]");
        return 0;
    }
    uint64_t start = LockPadSeek(b, memo, caller);
    if (start == 0) return 0;
    const uint64_t at = static_cast<uint64_t>(atBlock > 0 ? atBlock : 0) * memo.blockSize;
    int rc = 0;
    if (atBlock > 0 && at >= start) {
        rc = PadTo(memo.file, start, at);
        start = at;
    }
    const uint64_t block = start / memo.blockSize;
    if (rc == 0 && block > static_cast<uint64_t>(INT32_MAX)) rc = 112;
    const std::string image = MemoImage(memo.flavour, data);
    if (rc == 0) rc = memo.file.writeAt(start, image.data(), image.size());
    if (rc != 0) {
        // What was written lies beyond every block number handed out: the file keeps all its memos.
        Fail(memo, static_cast<uint16_t>(rc), memo.name + " [" + caller + "]");
        return 0;
    }
    if (!FinishWrite(memo, caller)) return 0;
    return static_cast<int32_t>(block);
}

}  // namespace memo_detail

// ---- the unit ----

MemoUnit* CurrentMemoUnit() {
    Engine* e = Engine::currentOrNull();
    return e ? dynamic_cast<MemoUnit*>(e->tables.memo.get()) : nullptr;
}

MemoSettings& CurrentMemoSettings() {
    if (MemoUnit* u = CurrentMemoUnit()) return u->settings;
    static MemoSettings defaults;
    defaults = MemoSettings{};
    return defaults;
}

void InstallMemoUnit(Engine& engine) {
    engine.tables.memo = std::make_unique<MemoUnit>();
}

bool MemoUnit::assignMemo(MemoLineReader& reader, int field) {
    return AssignMemo(reader, field);
}
void MemoUnit::packMemofile(MemoPackJob& job) {
    PackMemofile(job);
}
void MemoUnit::useMemofile() {
    UseMemofile();
}
void MemoUnit::closeMemofile() {
    CloseMemofile();
}
int32_t MemoUnit::copyMemoToEnd(int sourceArea, int32_t block) {
    return CopyMemo(sourceArea, block, false);
}
int32_t MemoUnit::copyMemoSameBlock(int sourceArea, int32_t block) {
    return CopyMemo(sourceArea, block, true);
}
bool MemoUnit::zapMemofile() {
    return ZapMemofile();
}
int32_t MemoUnit::addMemo(const std::string& t) {
    return AddMemo(t);
}

std::string& MemoText() {
    if (MemoUnit* u = CurrentMemoUnit()) return u->text;
    static std::string none;
    return none;
}

// ---- read ----

namespace {

bool readMemoIn(WorkAreaBlock& b, MemoFileArea& memo, int32_t block, std::string& stored,
                const char* routine) {
    int io = 0;
    switch (ReadStoredMemo(memo, block, stored, io)) {
        case ReadOutcome::Ok:
            return true;
        case ReadOutcome::BadAddress:
            SetEngineError(1003, memo.name + recordPart(b) + " [" + routine + "]");
            return false;
        case ReadOutcome::Damaged:
            SetEngineError(1003, "Memo block # " + std::to_string(block) + " runs past the end of " +
                                     memo.name + recordPart(b) + " [" + routine + "]");
            return false;
        case ReadOutcome::IoError:
            SetEngineError(static_cast<uint16_t>(io), memo.name + recordPart(b) + " [" + routine + "]");
            return false;
    }
    return false;
}

}  // namespace

bool ReadMemo(int32_t block, std::string& text) {
    text.clear();
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("GetMemo", memo);
    if (!b) return false;
    if (block == 0) return true;
    std::string stored;
    bool ok = readMemoIn(*b, *memo, block, stored, "GetMemo");
    text = fromStored(*b, std::move(stored));
    return ok;
}

bool GetMemo(int32_t block) {
    std::string t;
    bool ok = ReadMemo(block, t);
    MemoText() = std::move(t);
    return ok;
}

// ---- write ----

int32_t AddMemo(const std::string& text) {
    size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) return 0;
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("AddMemo()", memo);
    if (!b) return 0;
    return AppendMemo(*b, *memo, toStored(*b, text.substr(0, end + 1)), "AddMemo");
}

int32_t RewriteMemo(int32_t /*oldBlock*/, const std::string& text) {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("EditMemo/CloseMemo", memo);
    if (!b) return 0;
    if (text.empty()) return 0;
    const uint64_t length = text.size() + 8;
    if (!enoughSpace(*memo, length, "EditMemo/CloseMemo")) return 0;
    // The old memo is left as it is: the record still points at it until the caller stores the new
    // number, and a reader on another station may be reading it now. The memo pack reclaims it.
    return AppendMemo(*b, *memo, toStored(*b, text), "EditMemo/CloseMemo");
}

int32_t EditMemo(int32_t oldBlock) {
    return RewriteMemo(oldBlock, MemoText());
}

// ---- copy ----

int32_t CopyMemo(int sourceArea, int32_t block, bool sameBlock) {
    if (block == 0) return 0;
    const std::string routine = "AppendFrom/CopyTo";
    WorkAreaBlock* src = AreaBlock(sourceArea);
    auto* srcMemo = src ? dynamic_cast<MemoFileArea*>(src->memoArea.get()) : nullptr;
    if (!srcMemo) {
        SetEngineError(1019, "WorkArea " + std::to_string(sourceArea) + " No Memo Field [" + routine + "]");
        return 0;
    }
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea(routine, memo);
    if (!b) return 0;
    std::string stored;
    if (!readMemoIn(*src, *srcMemo, block, stored, routine.c_str())) return 0;
    if (src->oem != b->oem) stored = toStored(*b, fromStored(*src, std::move(stored)));
    if (stored.empty()) return 0;
    const int32_t at = sameBlock && memo->blockSize == srcMemo->blockSize ? (block < 0 ? -block : block) : 0;
    return AppendMemo(*b, *memo, stored, routine, at);
}

// ---- zap ----

bool ZapMemofile() {
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("ZapMemofile()", memo);
    if (!b) return false;
    const std::string name = memo->name;
    const uint8_t flavour = memo->flavour;
    const uint16_t bs = memo->blockSize;
    if (!CloseMemofile()) return false;
    // The file keeps its flavour and block size: a FoxPro table keeps its ".fpt".
    bool ok = InitMemoFile(name, flavour, bs, "ZapMemofile()");
    eng().errors.lastError = 0;
    UseMemofile();
    return ok && LastError() == 0;
}

// ---- LOCATE's reader ----

bool AssignMemo(MemoLineReader& reader, int field) {
    reader.text.clear();
    MemoFileArea* memo = nullptr;
    WorkAreaBlock* b = RequireMemoArea("Count/Sum/Continue", memo);
    if (!b) return false;
    if (field < 1 || field > static_cast<int>(b->fields.size()) || !IsMemoField(b->fields[field - 1])) {
        SetEngineError(1019, "Field " + std::to_string(field) + " No Memo Field [Count/Sum/Continue]");
        return false;
    }
    const FieldDescriptor& f = b->fields[field - 1];
    if (b->raw.size() < static_cast<size_t>(f.offset) + f.length) return true;
    const int32_t block = ParseBlockText(b->raw.data() + f.offset, f.length);
    if (block == 0) return true;
    return readMemoIn(*b, *memo, block, reader.text, "Count/Sum/Continue");
}

// ---- text driver ----

bool MemoTextFile::assign(int field) {
    m_mode = 0;
    m_text.clear();
    m_pos = 0;
    m_io = 0;
    WorkAreaBlock* b = CurrentBlock();
    if (!b || field < 1 || field > static_cast<int>(b->fields.size()) || !IsMemoField(b->fields[field - 1])) {
        m_area = m_field = 0;
        m_io = 102;
        return false;
    }
    m_area = SelectedArea();
    m_field = field;
    return true;
}

bool AssignMemo(MemoTextFile& file, int field) {
    return file.assign(field);
}

namespace {

// Runs fn with the file's area current.
template <typename Fn>
auto inArea(int area, Fn fn) {
    Engine& e = eng();
    const uint8_t saved = e.currentArea;
    e.currentArea = static_cast<uint8_t>(area);
    auto r = fn();
    e.currentArea = saved;
    return r;
}

}  // namespace

int MemoTextFile::reset() {
    if (m_area == 0) return m_io = 102;
    WorkAreaBlock* b = AreaBlock(m_area);
    if (!b || !b->typed) return m_io = 102;
    const int32_t block = TypedGetInt(b->typed + TypedFieldOffset(*b, m_field));
    std::string t;
    bool ok = inArea(m_area, [&] { return ReadMemo(block, t); });
    m_text = std::move(t);
    m_pos = 0;
    m_mode = 1;
    return m_io = ok ? 0 : 100;
}

int MemoTextFile::rewrite() {
    if (m_area == 0) return m_io = 102;
    m_text.clear();
    m_pos = 0;
    m_mode = 2;
    return m_io = 0;
}

bool MemoTextFile::readLine(std::string& line) {
    line.clear();
    if (m_mode != 1) {
        m_io = 104;
        return false;
    }
    m_io = 0;
    if (m_pos >= m_text.size()) return false;
    size_t end = m_text.find_first_of("\r\n", m_pos);
    if (end == std::string::npos) {
        end = m_text.size();
    } else if (m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n') {
        end += 2;
    } else {
        end += 1;
    }
    line = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    return true;
}

int MemoTextFile::write(const std::string& text) {
    if (m_mode != 2) return m_io = 105;
    m_text += text;
    return m_io = 0;
}

int MemoTextFile::close() {
    if (m_mode == 0) return m_io = 103;
    const int mode = m_mode;
    m_mode = 0;
    m_pos = 0;
    if (mode != 2) {
        m_text.clear();
        return m_io = 0;
    }
    WorkAreaBlock* b = AreaBlock(m_area);
    if (!b || !b->typed) return m_io = 102;
    uint8_t* address = b->typed + TypedFieldOffset(*b, m_field);
    const int32_t old = TypedGetInt(address);
    eng().errors.lastError = 0;
    const int32_t block = inArea(m_area, [&] { return RewriteMemo(old, m_text); });
    const bool failed = block == 0 && !m_text.empty();
    m_text.clear();
    if (failed) return m_io = 101;
    TypedSetInt(address, block);
    return m_io = 0;
}

}  // namespace xb
