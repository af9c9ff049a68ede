#include "engine/core/dbf_file.h"

#include <atomic>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace xb {

namespace {


constexpr int kHeaderLockTries = 200;  // about a second in all; a writer holds the append lock briefly

using platform::GetU16;
using platform::GetU32;
using platform::PutU16;
using platform::PutU32;

std::string upperAnsi(const std::string& s) {
    std::string out = s;
    int cp = Engine::current().settings.ansiCodePage;
    for (char& c : out) c = static_cast<char>(platform::UpperByte(cp, static_cast<unsigned char>(c)));
    return out;
}

std::string trimBlanks(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string shortNameOf(const std::string& path) {
    std::string name = FileNameOnly(path);
    std::string base = baseName(path);
    size_t dot = base.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
    std::string s = upperAnsi(name.substr(0, 8));
    if (!ext.empty()) s += "." + upperAnsi(ext.substr(0, 3));
    return s.substr(0, 12);
}

void todayBytes(uint8_t* p) {
    platform::CivilDate d = platform::Today();
    p[0] = static_cast<uint8_t>(std::clamp(d.year - 1900, 0, 255));
    p[1] = static_cast<uint8_t>(d.month);
    p[2] = static_cast<uint8_t>(d.day);
}

std::string notDbase(const std::string& name, const std::string& why, const char* routine) {
    return name + " is not a dBASE database. (" + why + ") " + routine;
}

void releaseBlock(TableBlock& b) {
    b.window = {};  // its storage too
    b.file.close();
    b.state = TableState::Closed;
    b.raw.clear();
    b.raw.shrink_to_fit();
    b.fields.clear();
    b.fieldCount = 0;
    b.eofAfter = 0;
    b.headerFlagsChanged = false;
}

// An open that repairs the count and may write puts it on disk when the file holds more rows than the
// header counts (a writer that died between its row and its header): other programs, and opens that
// take the header's count, then see the rows this one sees. In shared use only under the append lock,
// tried once: while another station holds it, the count is left to its appends, which count from the
// file's size.
void settleCountAtOpen(TableBlock& block) {
    if (!(block.countRepair || Engine::current().settings.autoFixRecCount) || (block.fileMode & 3) == 0 ||
        block.isDbase2())
        return;
    if (static_cast<uint32_t>(block.recCount) <= GetU32(&block.header[4])) return;
    const bool shared = !platform::IsExclusiveMode(block.fileMode);
    const uint64_t appendByte = kLockBase + 1;
    if (shared && block.file.lock(appendByte, 1) != 0) return;
    const uint16_t code = Engine::current().errors.lastError;
    const bool trapping = SetErrorTrap(false);
    SettleTableEnd(block);
    SetErrorTrap(trapping);
    Engine::current().errors.lastError = code;
    if (shared) block.file.unlock(appendByte, 1);
}

}  // namespace

bool AutoFixRecCount() { return Engine::current().settings.autoFixRecCount; }

bool SetAutoFixRecCount(bool on) {
    bool old = Engine::current().settings.autoFixRecCount;
    Engine::current().settings.autoFixRecCount = on;
    return old;
}

bool ValidVersionByte(uint8_t v) {
    switch (v) {
        case 0x02: case 0x03: case 0x83: case 0x8B: case 0xF5: case 0x04: case 0x8C: return true;
        default: return false;
    }
}

std::string MemoExtFor(uint8_t version) { return version == 0xF5 ? "FPT" : "DBT"; }

uint32_t SwapLong(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

uint16_t SwapWord(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

std::string FileNameOnly(const std::string& path) {
    std::string base = baseName(path);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos) base.resize(dot);
    return base.substr(0, 64);
}

bool FlushFile(platform::File& file) {
    int rc = file.flush();
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Unable to flush file [FlushFile]");
        return false;
    }
    return true;
}

bool CreateDbf(TableBlock& block, const std::string& fileName, const std::vector<FieldDef>& defs, int codePage) {
    static const std::string kValid = "CDFLMNBGP";
    std::vector<FieldDescriptor> fields;
    bool memo = false;
    uint32_t recordSize = 1;
    if (defs.empty() || defs.size() > 255) {
        SetEngineError(211, "Invalid dBASE field definition [CreateDBF]");
        return false;
    }
    for (const FieldDef& d : defs) {
        FieldDescriptor f;
        f.type = static_cast<char>(platform::UpperByte(1252, static_cast<unsigned char>(d.type)));
        f.name = upperAnsi(trimBlanks(d.name).substr(0, 10));
        int length = d.length;
        int decimals = 0;
        switch (f.type) {
            case 'C': case 'F': case 'N':
                decimals = f.type == 'C' ? 0 : d.decimals;
                break;
            case 'D': length = 8; break;
            case 'L': length = 1; break;
            default: length = 10; break;
        }
        if (kValid.find(f.type) == std::string::npos || length <= 0 || length > 255 || decimals < 0 ||
            decimals > 255 || f.name.empty()) {
            SetEngineError(211, "Invalid dBASE field definition [CreateDBF]");
            return false;
        }
        if (f.type == 'B' || f.type == 'G' || f.type == 'M' || f.type == 'P') memo = true;
        f.length = static_cast<uint8_t>(length);
        f.decimals = static_cast<uint8_t>(decimals);
        f.offset = static_cast<uint16_t>(recordSize);
        recordSize += static_cast<uint32_t>(length);
        fields.push_back(f);
    }

    const size_t headerSize = fields.size() * 32 + 32 + 1;
    std::vector<uint8_t> image(headerSize, 0);
    image[0] = memo ? kVersionWithMemo : 0x03;
    image[29] = platform::LanguageDriverOf(codePage);
    PutU16(&image[8], static_cast<uint16_t>(headerSize));
    PutU16(&image[10], static_cast<uint16_t>(recordSize));
    for (size_t i = 0; i < fields.size(); ++i) {
        uint8_t* d = &image[32 + i * 32];
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = static_cast<uint8_t>(fields[i].type);
        d[16] = fields[i].length;
        d[17] = fields[i].decimals;
    }
    image[headerSize - 1] = 0x0D;

    std::string name = TableFileName(fileName);
    releaseBlock(block);
    int rc = block.file.create(name, platform::kModeExclusive);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    rc = block.file.writeAt(0, image.data(), image.size());
    if (rc != 0) {
        block.file.close();
        SetEngineError(static_cast<uint16_t>(rc), "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    block.fileName = name;
    std::memcpy(block.header, image.data(), 32);
    block.headerSize = static_cast<int16_t>(headerSize);
    block.recordSize = static_cast<uint16_t>(recordSize);
    block.fields = fields;
    block.fieldCount = static_cast<uint8_t>(fields.size());
    block.hasMemo = memo;
    block.codePage = image[29] ? codePage : 0;
    block.recCount = 0;
    block.state = TableState::Appended;
    block.fileMode = platform::kModeExclusive;
    if (!CloseDbf(block)) return false;

    if (memo && !InitMemoFile(MemoFileNameOf(name, kVersionWithMemo), kVersionWithMemo, kNewMemoBlockSize,
                              "CreateDbf()"))
        return false;
    SetIoResult(0);
    return true;
}

bool OpenDbf(TableBlock& block) {
    std::string name = TableFileName(block.fileName);
    releaseBlock(block);
    block.fileName = name;
    int rc = block.file.open(name, block.fileMode);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Failure to open " + name + " [USE/OpenDbf]");
        return false;
    }
    block.shortName = shortNameOf(name);
    uint64_t size = 0;
    rc = block.file.size(size);
    if (rc != 0) {
        releaseBlock(block);
        SetEngineError(static_cast<uint16_t>(rc), "Error reading " + name + " [Use/OpenDbf]");
        return false;
    }
    if (!ReadDbfHeader(block, size)) {
        releaseBlock(block);
        return false;
    }
    block.sizeAtOpen = size;
    settleCountAtOpen(block);
    SetIoResult(0);
    return true;
}

bool ReadDbfHeader(TableBlock& block, uint64_t fileSize) {
    const std::string& name = block.fileName;
    const std::string bare = baseName(name);
    if (fileSize < 32) {
        SetEngineError(210, notDbase(name, "Prolog is less than 32 bytes", "[USE/OpenDBF]"));
        return false;
    }
    // The prolog and the field descriptors come in one read: a header larger than the first read (a
    // table of many fields) has its remainder read by itself.
    // A snapshot's first read takes its first rows as well (see the end).
    constexpr uint64_t kFirstRead = 4096;
    const uint64_t firstRead = block.snapshot ? kFirstRead + kSnapshotRows : kFirstRead;
    std::vector<uint8_t> head(static_cast<size_t>(std::min(fileSize, firstRead)));
    int rc = block.file.readAt(0, head.data(), head.size());
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error reading " + name + " [Use/OpenDbf]");
        return false;
    }
    std::copy_n(head.begin(), 32, block.header);
    // The bytes [offset, offset + n) of the file, from the first read when it holds them.
    auto readHeaderBytes = [&](uint64_t offset, uint8_t* out, size_t n) -> int {
        if (offset + n <= head.size()) {
            std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(offset), n, out);
            return 0;
        }
        return block.file.readAt(offset, out, n);
    };
    if (!ValidVersionByte(block.header[0])) {
        SetEngineError(210, name + " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]");
        return false;
    }

    std::vector<FieldDescriptor> fields;
    uint32_t count = 0;
    auto parseName = [](const uint8_t* p, size_t max) {
        std::string n;
        for (size_t i = 0; i < max && p[i] != 0; ++i) n += static_cast<char>(p[i]);
        return n;
    };
    struct RawField {
        std::string name;
        char type;
        uint8_t length;
        uint8_t decimals;
    };
    std::vector<RawField> rawFields;

    if (block.isDbase2()) {
        if (fileSize < 521) {
            SetEngineError(210, name + " is not a dBASE database.(Header is less than 521 bytes) [Use/OpenDBF]");
            return false;
        }
        uint8_t area[513];
        rc = readHeaderBytes(8, area, sizeof area);
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), "Error reading " + name + " [Use/OpenDbf]");
            return false;
        }
        size_t n = 0;
        while (n < 32 && area[n * 16] != 0x0D) ++n;
        if (n == 0 || (n == 32 && area[512] != 0x0D)) {
            SetEngineError(210, notDbase(bare, "Number of fields is out of range", "[Use/OpenDbf]"));
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* d = area + i * 16;
            rawFields.push_back({parseName(d, 11), static_cast<char>(d[11]), d[12], d[15]});
        }
        count = GetU16(&block.header[1]);
        block.headerSize = 521;
        block.recordSize = GetU16(&block.header[6]);
        char date[9];
        std::snprintf(date, sizeof date, "%04d%02d%02d", 1900 + block.header[5], block.header[3] % 100,
                      block.header[4] % 100);
        block.dateText = date;
    } else {
        const bool l7 = block.isLevel7();
        const int base = l7 ? 68 : 32;
        const int descSize = l7 ? 48 : 32;
        const int headerSize = GetU16(&block.header[8]);
        const int n = (headerSize - base) / descSize;
        if (headerSize - base < descSize || n < 1 || n > 255) {
            SetEngineError(210, notDbase(bare, "Number of fields is out of range", "[Use/OpenDbf]"));
            return false;
        }
        std::vector<uint8_t> area(static_cast<size_t>(n) * descSize);
        rc = readHeaderBytes(static_cast<uint64_t>(base), area.data(), area.size());
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), "Error reading " + name + " [Use/OpenDbf]");
            return false;
        }
        for (int i = 0; i < n; ++i) {
            const uint8_t* d = &area[static_cast<size_t>(i) * descSize];
            if (d[0] == 0x0D) break;
            if (l7)
                rawFields.push_back({parseName(d, 32), static_cast<char>(d[32]), d[33], d[34]});
            else
                rawFields.push_back({parseName(d, 11), static_cast<char>(d[11]), d[16], d[17]});
        }
        if (rawFields.empty()) {
            SetEngineError(222, notDbase(bare, "Number of fields is out of range", "[Use/OpenDbf]"));
            return false;
        }
        count = GetU32(&block.header[4]);
        block.headerSize = static_cast<int16_t>(headerSize);
        block.recordSize = GetU16(&block.header[10]);
        char date[9];
        std::snprintf(date, sizeof date, "%04d%02d%02d", 1900 + block.header[1], block.header[2] % 100,
                      block.header[3] % 100);
        block.dateText = date;
    }

    // Sizes come from the file: a record size that cannot hold its fields, or date and logical fields of
    // other widths, would make every conversion read or write past the record.
    uint32_t offset = 1;
    for (const RawField& r : rawFields) {
        FieldDescriptor f;
        f.name = upperAnsi(r.name).substr(0, block.isLevel7() ? 32 : 11);
        char t = r.type;
        if (t == 'B' || t == 'G' || t == 'P' || t == 'b' || t == 'g' || t == 'p') t = 'M';
        if (std::string("CDFLMN").find(t) == std::string::npos || t == '\0') {
            SetEngineError(211, "Field: " + f.name + " [" + std::string(1, r.type) + "] in " + name +
                                    " is not a valid field type");
            return false;
        }
        f.type = t;
        f.length = r.length;
        f.decimals = (t == 'N' || t == 'F') ? r.decimals : 0;
        if ((t == 'D' && f.length != 8) || (t == 'L' && f.length != 1)) {
            SetEngineError(210, notDbase(name, "Invalid length of field " + f.name, "[Use/OpenDbf]"));
            return false;
        }
        f.offset = static_cast<uint16_t>(offset);
        offset += f.length;
        fields.push_back(f);
    }
    // A record size other than the deletion flag and the fields would put every row at the wrong offset
    // (a huge one makes a full table look empty, and the next append writes over its rows).
    if (block.recordSize == 0 || offset != block.recordSize) {
        SetEngineError(210, notDbase(name,
                                     offset > block.recordSize ? "Record size does not hold the fields"
                                                               : "Record size is larger than its fields",
                                     "[Use/OpenDbf]"));
        return false;
    }
    if (count > 0x7FFFFFFFu) {
        SetEngineError(210, notDbase(name, "Record count is out of range", "[Use/OpenDbf]"));
        return false;
    }

    int allocFault = 0;
    if (platform::TakeFault(platform::FaultOp::Alloc, allocFault)) {
        SetEngineError(217, "Not enough memory to open " + name + " [Use/OpenDbf]");
        return false;
    }
    block.fields = std::move(fields);
    block.fieldCount = static_cast<uint8_t>(block.fields.size());
    block.hasMemo = (block.header[0] & 0x80) != 0;
    // A table whose header names its code page is read in it whatever the locale; one whose byte is 0
    // (written before, or by a peer that leaves it empty) follows the engine's pages as it always did.
    const EngineSettings& st = Engine::current().settings;
    const int named = block.isDbase2() ? 0 : platform::CodePageOfLanguageDriver(block.header[29]);
    if (named && named != st.ansiCodePage) block.oem = true;
    block.codePage = named ? named : (block.oem ? st.oemCodePage : st.ansiCodePage);
    block.raw.assign(block.recordSize, ' ');
    const uint64_t hs = static_cast<uint16_t>(block.headerSize);
    if (block.countRepair || AutoFixRecCount())
        count = fileSize > hs ? static_cast<uint32_t>((fileSize - hs) / block.recordSize) : 0;
    block.recCount = static_cast<int32_t>(count);
    if (block.recCount < 1) {
        block.recNo = 0;
        block.bof = block.eof = true;
    } else {
        block.recNo = 1;
        block.bof = block.eof = false;
    }
    block.state = TableState::Clean;
    // The rows the first read holds are the snapshot's first window: a small table is read whole.
    const uint64_t counted = fileSize > hs ? (fileSize - hs) / block.recordSize : 0;
    const uint64_t held = head.size() > hs ? (head.size() - hs) / block.recordSize : 0;
    if (block.snapshot && std::min(counted, held) > 0) {
        RecordWindow& w = block.window;
        w.clear();
        w.runs.push_back({1, static_cast<int32_t>(std::min(counted, held)), static_cast<size_t>(hs)});
        w.epoch = RowWriteEpoch();
        w.view = 0;
        w.readAt = std::chrono::steady_clock::now();
        w.bytes.assign(head.begin(), head.end());
    }
    return true;
}

bool GetDbfRecord(TableBlock& block, int32_t n) {
    if (n < 1 || n > block.recCount) {
        SetEngineError(212, "Invalid record number = " + std::to_string(n) + " (" + block.fileName + ")  [GetDbfRecord]");
        return false;
    }
    block.eof = block.bof = false;
    block.writtenRecord = 0;
    size_t got = 0;
    int rc = block.file.readAt(block.recordOffset(n), block.raw.data(), block.recordSize, &got);
    if (rc == 0 && got != block.recordSize) rc = 213;
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "File:  " + block.fileName + "  [GetDbfRecord]");
        return false;
    }
    block.recNo = n;
    TranslateRecord(TranslateDir::Read, block.oem, block.readProc, block.recordSize, block.recordSize, block.raw.data(),
                    block.codePage);
    SetIoResult(0);
    return true;
}

namespace {

std::atomic<uint64_t> g_rowWrites{0};

void loadRaw(TableBlock& block, int32_t n, const char* bytes) {
    block.writtenRecord = 0;
    std::memcpy(block.raw.data(), bytes, block.recordSize);
    block.eof = block.bof = false;
    block.recNo = n;
    TranslateRecord(TranslateDir::Read, block.oem, block.readProc, block.recordSize, block.recordSize, block.raw.data(),
                    block.codePage);
    SetIoResult(0);
}

}  // namespace

uint64_t RowWriteEpoch() { return g_rowWrites.load(std::memory_order_relaxed); }
void NoteRowWrite() { g_rowWrites.fetch_add(1, std::memory_order_relaxed); }

bool ReadDbfRuns(TableBlock& block, const std::vector<std::pair<int32_t, int32_t>>& runs) {
    RecordWindow& w = block.window;
    w.clear();
    size_t want = 0;
    for (auto [first, last] : runs) {
        last = std::min(last, block.recCount);
        if (first >= 1 && first <= last) want += static_cast<size_t>(last - first + 1) * block.recordSize;
    }
    if (want == 0) return false;
    if (w.bytes.size() < want) w.bytes.resize(want);
    w.epoch = RowWriteEpoch();
    size_t offset = 0;
    for (auto [first, last] : runs) {
        last = std::min(last, block.recCount);
        if (first < 1 || first > last) continue;
        const size_t length = static_cast<size_t>(last - first + 1) * block.recordSize;
        size_t got = 0;
        int rc = block.file.readAt(block.recordOffset(first), w.bytes.data() + offset, length, &got);
        if (rc == 0 && got < block.recordSize) rc = 213;
        if (rc != 0) {
            w.clear();
            SetEngineError(static_cast<uint16_t>(rc), "File:  " + block.fileName + "  [GetDbfRecord]");
            return false;
        }
        w.runs.push_back({first, static_cast<int32_t>(got / block.recordSize), offset});
        offset += length;
    }
    w.readAt = std::chrono::steady_clock::now();
    return true;
}

bool GetDbfRecordFromWindow(TableBlock& block, int32_t n) {
    RecordWindow& w = block.window;
    if (w.runs.empty() || n > block.recCount || w.epoch != RowWriteEpoch()) return false;
    for (size_t k = 0; k < w.runs.size(); ++k) {
        const size_t i = (w.runAt + k) % w.runs.size();
        const RecordWindow::Run& run = w.runs[i];
        if (n < run.first || n >= run.first + run.count) continue;
        w.runAt = i;
        loadRaw(block, n,
                w.bytes.data() + run.offset + static_cast<size_t>(n - run.first) * block.recordSize);
        return true;
    }
    return false;
}

namespace {

// Writes the raw record at n in the file's code page, leaving the caller's buffer as it was.
// Writes length bytes of raw as record n; withEof adds the end-of-file byte after it in the same write.
int writeRaw(TableBlock& block, int32_t n, size_t length, bool withEof = false) {
    NoteRowWrite();
    TranslateRecord(TranslateDir::Write, block.oem, block.writeProc, block.recordSize, block.recordSize,
                    block.raw.data(), block.codePage);
    int rc = 0;
    if (withEof) {
        std::vector<char> bytes(block.raw.begin(), block.raw.begin() + static_cast<std::ptrdiff_t>(length));
        bytes.push_back(static_cast<char>(kEofByte));
        rc = block.file.writeAt(block.recordOffset(n), bytes.data(), bytes.size());
    } else {
        rc = block.file.writeAt(block.recordOffset(n), block.raw.data(), length);
    }
    TranslateRecord(TranslateDir::Read, block.oem, block.readProc, block.recordSize, block.recordSize,
                    block.raw.data(), block.codePage);
    return rc;
}

// After an append of record n that the disk refused part way (nobody else can append meanwhile): the
// file ends with the rows before it and the end-of-file byte again, as it did before. Bytes past what
// the append itself could have written are left alone.
void cutBackAppend(TableBlock& block, int32_t n) {
    const uint64_t end = block.recordOffset(n);
    uint64_t size = 0;
    if (block.file.size(size) != 0 || size <= end || size > end + block.recordSize + 1) return;
    const uint8_t eof = kEofByte;
    if (block.file.truncate(end + 1) != 0 || block.file.writeAt(end, &eof, 1) != 0) block.file.truncate(end);
}

}  // namespace

bool PutDbfRecord(TableBlock& block, int32_t n) {
    if (n < 1) {
        SetEngineError(212, "Invalid record number = " + std::to_string(n) + " (" + block.fileName +
                                ")  [Replace/Append/PutDbfRecord]");
        return false;
    }
    const bool append = n > block.recCount;
    if (append) n = block.recCount + 1;
    // An append that nobody else can follow (the table held alone, or the append lock held) ends the file
    // with its end-of-file byte in the same write: the header's rewrite then has none to write.
    const bool lastOnDisk =
        append && (platform::IsExclusiveMode(block.fileMode) || block.file.holdsLock(kLockBase + 1, 1));
    int rc = writeRaw(block, n, block.recordSize, lastOnDisk);
    if (rc != 0) {
        // The count moves only once the record is on disk, so a failed append leaves no phantom record;
        // and the part of it a full disk took is cut off, so that the table ends as before.
        if (lastOnDisk) cutBackAppend(block, n);
        SetEngineError(static_cast<uint16_t>(rc), "File:  " + block.fileName + " [Replace/Append/PutDbfRecord]");
        return false;
    }
    if (append) {
        block.recCount = n;
        block.recNo = n;
        block.state = TableState::Appended;
        block.eofAfter = lastOnDisk ? n : 0;
    } else if (block.state != TableState::Appended) {
        block.state = TableState::Changed;
    }
    block.writtenRecord = n == block.recNo ? n : 0;
    block.writtenEpoch = RowWriteEpoch();
    SetIoResult(0);
    return true;
}

bool HoldsWrittenRecord(const TableBlock& block, int32_t n) {
    return n >= 1 && n == block.recNo && n == block.writtenRecord && block.writtenEpoch == RowWriteEpoch() &&
           n <= block.recCount;
}

bool AppendDbfRecord(TableBlock& block) { return PutDbfRecord(block, block.recCount + 1); }

bool WriteDeleteFlag(TableBlock& block, int32_t n) {
    if (n < 1 || n > block.recCount) {
        SetEngineError(212, "Invalid record number = " + std::to_string(n) + " (" + block.fileName +
                                ")  [DeleteRec/RecallRec]");
        return false;
    }
    NoteRowWrite();
    int rc = block.file.writeAt(block.recordOffset(n), block.raw.data(), 1);
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "File:  " + block.fileName + " [DeleteRec/RecallRec]");
        return false;
    }
    if (block.state != TableState::Appended) block.state = TableState::Changed;
    SetIoResult(0);
    return true;
}

bool WriteDbfHeader(TableBlock& block) {
    uint8_t today[3];
    todayBytes(today);
    int rc = 0;
    if (block.isDbase2()) {
        PutU16(&block.header[1], static_cast<uint16_t>(std::min<int32_t>(block.recCount, 0xFFFF)));
        block.header[3] = today[1];
        block.header[4] = today[2];
        block.header[5] = today[0];
        rc = block.file.writeAt(0, block.header, 8);
    } else if (!block.headerFlagsChanged) {
        // Only the date and the count change: the rest of the header, the multi-user area other stations
        // may keep their own data in included, stays as it is on disk.
        std::memcpy(block.header + 1, today, 3);
        PutU32(&block.header[4], static_cast<uint32_t>(block.recCount));
        rc = block.file.writeAt(0, block.header, 8);
    } else {
        // Other stations may keep their own data in the multi-user area: take it as it is now.
        size_t got = 0;
        rc = block.file.readAt(16, block.header + 16, 12, &got);
        if (rc == 0) {
            std::memcpy(block.header + 1, today, 3);
            PutU32(&block.header[4], static_cast<uint32_t>(block.recCount));
            rc = block.file.writeAt(0, block.header, 32);
            if (rc == 0) block.headerFlagsChanged = false;
        }
    }
    SetIoResult(static_cast<uint16_t>(rc));
    return rc == 0;
}

namespace {

// Writes the header count and, after appends, the end-of-file byte. In shared use other stations may
// have appended since this one last looked, so the count is refreshed from the file size under the
// append lock, and the end-of-file byte goes after the last record on disk, never over another
// station's record. When the lock cannot be had the header is written from the refreshed count and
// the end-of-file byte is left to the station that holds it.
bool writeTail(TableBlock& block, bool countExact = false) {
    const bool shared = !platform::IsExclusiveMode(block.fileMode);
    const uint64_t appendByte = kLockBase + 1;
    bool locked = false;
    bool ownLock = block.file.holdsLock(appendByte, 1);
    if (shared && !ownLock) {
        for (int i = 0; i < kHeaderLockTries && !locked; ++i) {
            locked = block.file.lock(appendByte, 1) == 0;
            if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const bool exclusiveAccess = !shared || ownLock || locked;
    if (shared && !(ownLock && countExact)) {
        uint64_t size = 0;
        if (block.file.size(size) == 0) {
            const uint64_t hs = static_cast<uint16_t>(block.headerSize);
            int32_t phys = size > hs ? static_cast<int32_t>(std::min<uint64_t>((size - hs) / block.recordSize,
                                                                               0x7FFFFFFF))
                                     : 0;
            if (phys > block.recCount) block.recCount = phys;
        }
    }
    bool ok = WriteDbfHeader(block);
    const bool eofWritten = block.eofAfter > 0 && block.eofAfter == block.recCount;
    if (ok && block.state == TableState::Appended && exclusiveAccess && !eofWritten) {
        const uint8_t eof = kEofByte;
        int rc = block.file.writeAt(block.recordOffset(block.recCount + 1), &eof, 1);
        SetIoResult(static_cast<uint16_t>(rc));
        ok = rc == 0;
    }
    if (locked) block.file.unlock(appendByte, 1);
    return ok;
}

}  // namespace

bool WriteTailUnderAppendLock(TableBlock& block, bool countExact) {
    if (block.state != TableState::Appended || !block.file.holdsLock(kLockBase + 1, 1)) return true;
    if (!writeTail(block, countExact)) return false;
    block.state = TableState::Clean;
    return true;
}

bool SettleTableEnd(TableBlock& block) {
    uint64_t size = 0;
    if (block.recordSize == 0 || block.file.size(size) != 0) return false;
    const uint64_t hs = static_cast<uint16_t>(block.headerSize);
    if (size < hs) return false;
    const uint64_t rows = std::min<uint64_t>((size - hs) / block.recordSize, 0x7FFFFFFF);
    const uint64_t end = hs + rows * block.recordSize;
    uint8_t last = 0;
    const bool endMarked = size == end + 1 && block.file.readAt(end, &last, 1) == 0 && last == kEofByte;
    int rc = 0;
    if (!endMarked) {
        const uint8_t eof = kEofByte;
        if (size > end) {
            NoteRowWrite();
            rc = block.file.truncate(end);
        }
        if (rc == 0) rc = block.file.writeAt(end, &eof, 1);
    }
    block.recCount = static_cast<int32_t>(rows);
    block.eofAfter = rc == 0 ? block.recCount : 0;
    if (rc != 0) {
        SetIoResult(static_cast<uint16_t>(rc));
        return false;
    }
    // A header that counts the rows already keeps its date: nothing changed.
    uint8_t head[8];
    if (endMarked && !block.isDbase2() && block.file.readAt(0, head, sizeof head) == 0 && GetU32(&head[4]) == rows)
        return true;
    return WriteDbfHeader(block);
}

bool FlushDbf(TableBlock& block) {
    if (block.state != TableState::Changed && block.state != TableState::Appended) return true;
    bool ok = writeTail(block);
    if (!ok) return false;
    block.state = TableState::Clean;
    return FlushFile(block.file);
}

bool CloseDbf(TableBlock& block) {
    bool ok = true;
    if (block.file.isOpen() && (block.state == TableState::Changed || block.state == TableState::Appended)) {
        ok = writeTail(block);
        if (!ok) {
            uint16_t code = LastError();
            releaseBlock(block);
            SetEngineError(code, "File:  " + block.fileName + " [CloseDbf(" + block.fileName + ")]");
            return false;
        }
    }
    releaseBlock(block);
    return ok;
}

int StoredCodePage(const TableBlock& block) {
    if (block.codePage) return block.codePage;
    const EngineSettings& s = Engine::current().settings;
    return block.oem ? s.oemCodePage : s.ansiCodePage;
}

void TranslateRecord(TranslateDir dir, bool oem, const TranslateProc& proc, size_t bufferSize, uint16_t recordSize,
                     char* buffer, int oemCp) {
    if (!proc && !oem) return;
    if (recordSize < 1) return;
    const Engine& e = Engine::current();
    const size_t records = bufferSize / recordSize;
    const int stored = oemCp ? oemCp : e.settings.oemCodePage;
    for (size_t r = 0; r < records; ++r) {
        char* p = buffer + r * recordSize + 1;
        const size_t n = recordSize - 1u;
        if (dir == TranslateDir::Read) {
            if (proc) proc(p, n);
            if (oem) platform::ConvertBytesInPlace(p, n, stored, e.settings.ansiCodePage);
        } else {
            if (oem) platform::ConvertBytesInPlace(p, n, e.settings.ansiCodePage, stored);
            if (proc) proc(p, n);
        }
    }
}

bool InitMemoFile(const std::string& fileName, uint8_t version, uint16_t blockSize, const std::string& caller) {
    std::string name = DefaultExt(fileName, version == 0xF5 ? kFoxMemoExt : kMemoExt);
    std::vector<uint8_t> image;
    if (version == 0x83) {
        image.assign(513, 0);
        PutU32(&image[0], 1);
        image[512] = kEofByte;
    } else if (version == 0xF5) {
        image.assign(512, 0);
        uint32_t next = 511u / (blockSize ? blockSize : 1u) + 1u;
        image[0] = static_cast<uint8_t>(next >> 24);
        image[1] = static_cast<uint8_t>(next >> 16);
        image[2] = static_cast<uint8_t>(next >> 8);
        image[3] = static_cast<uint8_t>(next);
        image[6] = static_cast<uint8_t>(blockSize >> 8);
        image[7] = static_cast<uint8_t>(blockSize);
    } else {
        image.assign(24, 0);
        PutU32(&image[0], 1);
        std::string base = upperAnsi(FileNameOnly(name)).substr(0, 8);
        std::memcpy(&image[8], base.data(), base.size());
        PutU16(&image[18], 0x0102);
        PutU16(&image[20], blockSize);
    }
    platform::File f;
    int rc = f.create(platform::ResolveCase(name), platform::kModeExclusive);
    if (rc == 0) rc = f.writeAt(0, image.data(), image.size());
    // On the disk before the table that names it is.
    if (rc == 0) rc = f.flush();
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Cannot create memo file " + name + " [" + caller + "]");
        return false;
    }
    SetIoResult(0);
    return true;
}

}  // namespace xb
