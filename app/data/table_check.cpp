#include "app/data/table_check.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/core/record_writes.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace app {

namespace p = xb::platform;

namespace {

struct FieldDef {
    std::string name;  // lower case
    char type = 'C';
    int width = 0;
    int decimals = 0;
    int offset = 0;  // in the record
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// "name, T, width, decimals" as the definitions write them.
FieldDef parseDefinition(const std::string& line) {
    FieldDef f;
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(trim(line.substr(start, comma - start)));
    items.push_back(trim(line.substr(start)));
    items.resize(4);
    f.name = lower(items[0]);
    f.type = items[1].empty() ? 'C' : items[1][0];
    std::from_chars(items[2].data(), items[2].data() + items[2].size(), f.width);
    std::from_chars(items[3].data(), items[3].data() + items[3].size(), f.decimals);
    return f;
}

std::string describe(const FieldDef& f) {
    return f.name + "," + f.type + "," + std::to_string(f.width) + "," + std::to_string(f.decimals);
}

bool sameField(const FieldDef& a, const FieldDef& b) {
    if (a.name != b.name || a.type != b.type || a.width != b.width) return false;
    // Decimals mean something for numbers only; other types may carry anything there.
    return (a.type != 'N' && a.type != 'F') || a.decimals == b.decimals;
}

// The memo file's block size and flavour as the engine reads them at its open.
struct MemoLayout {
    uint32_t blockSize = 512;
    enum { Dbase3, Dbase4, Fox } flavour = Dbase4;
};

MemoLayout memoLayout(uint8_t version, p::File& memo) {
    MemoLayout m;
    uint8_t h[24] = {};
    if (version == 0x83) {
        m.flavour = MemoLayout::Dbase3;
    } else if (version == 0xF5) {
        m.flavour = MemoLayout::Fox;
        if (memo.readAt(0, h, 8) == 0) m.blockSize = p::GetU16Be(h + 6);
    } else if (memo.readAt(0, h, 24) == 0) {
        m.blockSize = p::GetU16(h + 20);
    }
    if (m.blockSize == 0) m.blockSize = 512;
    return m;
}

// Whether the memo whose header bytes are h (the 8 bytes at its block, fewer when the file ends sooner:
// available) lies whole inside a file of size bytes, beginning at offset.
bool memoInside(const uint8_t* h, size_t available, uint64_t size, const MemoLayout& m, uint64_t offset) {
    if (offset >= size) return false;
    if (m.flavour == MemoLayout::Dbase3) return true;  // its text runs to its end byte or the file's end
    if (size - offset < 8 || available < 8) return false;
    uint64_t length;
    if (m.flavour == MemoLayout::Fox) {
        length = p::GetU32Be(h + 4);
    } else {
        if (h[0] != 0xFF || h[1] != 0xFF || h[2] != 0x08 || h[3] != 0x00) return false;
        const uint32_t total = p::GetU32(h + 4);
        length = total >= 8 ? total - 8 : 0;
    }
    return length <= size - offset - 8;
}

// Which of the memo blocks lead to a memo that lies whole inside the file: the headers are read in the
// order they lie in the file, up to kMemoChunk bytes a read, so that a table with hundreds of notes costs
// a few reads of its memo file rather than one per note. What the file's size settles alone (a block
// beyond its end; the old flavour, whose text has no header) reads nothing.
constexpr size_t kMemoChunk = 1 << 20;

std::vector<bool> memosInside(p::File& memo, uint64_t size, const MemoLayout& m,
                              const std::vector<uint32_t>& blocks) {
    std::vector<bool> inside(blocks.size(), false);
    std::vector<size_t> order(blocks.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return blocks[a] < blocks[b]; });
    std::vector<uint8_t> chunk;
    uint64_t chunkAt = 0;
    size_t chunkLength = 0;
    for (size_t i : order) {
        const uint64_t offset = uint64_t{blocks[i]} * m.blockSize;
        if (offset >= size || m.flavour == MemoLayout::Dbase3 || size - offset < 8) {
            inside[i] = memoInside(nullptr, 0, size, m, offset);
            continue;
        }
        if (offset < chunkAt || offset + 8 > chunkAt + chunkLength) {
            chunkAt = offset;
            chunkLength = static_cast<size_t>(std::min<uint64_t>(kMemoChunk, size - offset));
            chunk.resize(chunkLength);
            size_t got = 0;
            if (memo.readAt(chunkAt, chunk.data(), chunkLength, &got) != 0) got = 0;
            chunkLength = got;
        }
        const size_t at = static_cast<size_t>(offset - chunkAt);
        const size_t available = chunkLength > at ? chunkLength - at : 0;
        inside[i] = memoInside(available ? chunk.data() + at : nullptr, available, size, m, offset);
    }
    return inside;
}

// The block number a memo field holds as text; -1 for text that is no block number at all.
int64_t blockOf(const char* text, size_t width) {
    int32_t block = 0;
    if (!xb::memo_detail::ReadBlockText(text, width, block)) return -1;
    return block < 0 ? -int64_t{block} : block;  // negative numbers address the block of their absolute value
}

// What stands at path where a regular file belongs, or nothing (Unknown) when a file or nothing is there.
// A link to a regular file serves as the file unless links are refused there. Costs nothing in a lookup
// scope for a name its listing types.
InTheWay standingInTheWay(const std::string& path, bool linkAllowed) {
    p::EntryKind kind = p::EntryKindAt(path);
    if (kind == p::EntryKind::Link) {
        kind = p::EntryKindBehind(path);
        if (kind == p::EntryKind::Link || kind == p::EntryKind::Missing) return InTheWay::BrokenLink;
        if (!linkAllowed) return InTheWay::Link;
    }
    switch (kind) {
        case p::EntryKind::Directory:
            return InTheWay::Folder;
        case p::EntryKind::Pipe:
            return InTheWay::Pipe;
        case p::EntryKind::Special:
            return InTheWay::Special;
        default:
            return InTheWay::Unknown;
    }
}

std::string lockNameOf(const std::string& file) {
    return "." + file + ".lock";
}

// holdsRows, when given, learns whether the table counts or holds a row: a table it could not read (another
// station holding it alone) is taken as holding rows, as a database in use.
std::vector<TableProblem> checkTableFile(const std::string& folder, const LeagueTable& table, bool* holdsRows);

}  // namespace

bool GoesOnMovedAside(const TableProblem& problem) {
    return problem.kind == TableDamage::NotAFile || problem.kind == TableDamage::WithoutTable;
}

bool CanGoOnWith(const TableProblem& problem) {
    return problem.kind == TableDamage::Missing || problem.kind == TableDamage::CutInRecords ||
           problem.kind == TableDamage::MemoPointer;
}

namespace {

std::vector<TableProblem> checkLeagueTable(const std::string& folder, const LeagueTable& table, bool* holdsRows) {
    std::vector<TableProblem> out = checkTableFile(folder, table, holdsRows);
    const bool present =
        out.empty() || (out.front().kind != TableDamage::Missing &&
                        !(out.front().kind == TableDamage::NotAFile && out.front().file == table.file));
    // Beside a table that is there, its memo, index and semaphore are opened by name: whatever stands
    // there but a file would be opened as one (a pipe would hold the open for ever).
    if (present) {
        for (const char* ext : {".dbt", ".mdx", ".@s@"}) {
            const std::string name = table.stem() + ext;
            if (const InTheWay what = standingInTheWay(folder + name, true); what != InTheWay::Unknown)
                out.push_back({name, TableDamage::NotAFile, 0, {}, {}, {}, what});
        }
    }
    // The creation lock is taken only when the table is made, and then never through a link.
    const std::string lock = lockNameOf(table.file);
    if (const InTheWay what = standingInTheWay(folder + lock, false); what != InTheWay::Unknown)
        out.push_back({lock, TableDamage::NotAFile, 0, {}, {}, table.file, what});
    return out;
}

}  // namespace

std::vector<TableProblem> CheckLeagueTable(const std::string& folder, const LeagueTable& table) {
    return checkLeagueTable(folder, table, nullptr);
}

namespace {

// A pack a kill interrupted is completed when it had committed, and rolled back when not, before anything
// of the table is read, as the engine's open does: what its files hold then is whole, no damage to report.
// Nothing is shown; what cannot be completed is found by the check as it stands.
void completeInterruptedPack(const std::string& path) {
    xb::ErrorState& errors = xb::Engine::current().errors;
    const xb::ErrorState saved = errors;
    errors.trapping = false;
    xb::CompleteInterruptedPack(path);
    errors = saved;
}

std::vector<TableProblem> checkTableFile(const std::string& folder, const LeagueTable& table, bool* holdsRows) {
    std::vector<TableProblem> out;
    if (holdsRows) *holdsRows = true;
    const std::string path = p::ResolveCase(folder + table.file);
    // What the listing says stands there needs no call; a link is followed to what it leads to.
    p::PathStatus status;
    switch (p::EntryKindAt(path)) {
        case p::EntryKind::Missing:
            break;
        case p::EntryKind::Regular:
            status.exists = status.regular = true;
            break;
        case p::EntryKind::Link:
            status = p::StatPath(path);
            break;
        default:
            status.exists = true;
            break;
    }
    if (status.exists && !status.regular) {
        const InTheWay what = standingInTheWay(path, true);
        out.push_back({table.file,
                       TableDamage::NotAFile,
                       0,
                       {},
                       {},
                       {},
                       what == InTheWay::Unknown ? InTheWay::Special : what});
    } else if (!p::FileExists(path)) {
        // A link that leads nowhere would have the table created wherever it points.
        if (!status.exists && p::EntryKindAt(path) == p::EntryKind::Link)
            out.push_back({table.file, TableDamage::NotAFile, 0, {}, {}, {}, InTheWay::BrokenLink});
        else
            out.push_back({table.file, TableDamage::Missing});
    }
    if (!out.empty()) {
        // A table is created with its memo and index: a file of theirs found here would be replaced.
        std::vector<std::string> companions = {table.stem() + ".mdx"};
        for (const std::string& f : table.fields)
            if (parseDefinition(f).type == 'M') {
                companions.push_back(table.stem() + ".dbt");
                break;
            }
        for (const std::string& c : companions) {
            const std::string companion = p::ResolveCase(folder + c);
            const std::string name = companion.substr(companion.find_last_of('/') + 1);
            if (const InTheWay what = standingInTheWay(companion, true); what != InTheWay::Unknown)
                out.push_back({name, TableDamage::NotAFile, 0, {}, {}, {}, what});
            else if (p::StatPath(companion).exists)
                out.push_back({name, TableDamage::WithoutTable, 0, {}, {}, table.file});
        }
        return out;
    }
    completeInterruptedPack(path);
    p::File dbf;
    const int rc = dbf.open(path, p::kModeSharedRead);
    // A table another station holds alone (a pack under way) is whole once it lets go of it.
    if (rc == p::kErrSharingViolation) return out;
    // The header and the field descriptors of a league table come in its first read, and with them the
    // last byte of a small table.
    uint64_t size = 0;
    std::vector<uint8_t> first(65536);
    if (rc != 0 || dbf.size(size) != 0 || size < 32 ||
        dbf.readAt(0, first.data(), static_cast<size_t>(std::min<uint64_t>(size, first.size()))) != 0) {
        out.push_back({table.file, TableDamage::NotATable});
        return out;
    }
    const uint8_t* h = first.data();
    const uint8_t version = h[0];
    const uint32_t count = p::GetU32(h + 4);
    const uint16_t headerSize = p::GetU16(h + 8);
    const uint16_t recordSize = p::GetU16(h + 10);
    if (headerSize < 33 || recordSize == 0 || size < headerSize) {
        out.push_back({table.file, TableDamage::NotATable});
        return out;
    }
    // A table just created counts no row and holds at most the end-of-file mark after its header.
    if (holdsRows) *holdsRows = count != 0 || size > headerSize + 1u;

    // The fields the header describes, up to its terminator.
    std::vector<uint8_t> header(first.begin(), first.begin() + std::min<size_t>(headerSize, first.size()));
    header.resize(headerSize);
    if (headerSize > first.size() && dbf.readAt(0, header.data(), header.size()) != 0) {
        out.push_back({table.file, TableDamage::NotATable});
        return out;
    }
    std::vector<FieldDef> stored;
    int offset = 1;
    for (size_t at = 32; at + 32 <= header.size() && header[at] != 0x0D; at += 32) {
        FieldDef f;
        const char* name = reinterpret_cast<const char*>(&header[at]);
        f.name = lower(std::string(name, strnlen(name, 11)));
        f.type = static_cast<char>(header[at + 11]);
        f.width = header[at + 16];
        f.decimals = header[at + 17];
        f.offset = offset;
        offset += f.width;
        stored.push_back(f);
    }
    if (offset != recordSize) {
        out.push_back({table.file, TableDamage::NotATable});
        return out;
    }
    std::vector<FieldDef> wanted;
    for (const std::string& line : table.fields) wanted.push_back(parseDefinition(line));
    for (size_t i = 0; i < std::max(stored.size(), wanted.size()); ++i) {
        const FieldDef* s = i < stored.size() ? &stored[i] : nullptr;
        const FieldDef* w = i < wanted.size() ? &wanted[i] : nullptr;
        if (s && w && sameField(*s, *w)) continue;
        out.push_back({table.file, TableDamage::FieldMismatch, 0, w ? w->name : s->name,
                       s ? describe(*s) : std::string(), w ? describe(*w) : std::string()});
    }
    if (!out.empty()) return out;

    const uint64_t rows = (size - headerSize) / recordSize;
    const uint64_t rest = (size - headerSize) % recordSize;
    bool endByte = false;
    if (rest == 1 && size <= first.size()) {
        endByte = first[static_cast<size_t>(size - 1)] == 0x1A;
    } else if (rest == 1) {
        uint8_t last = 0;
        endByte = dbf.readAt(size - 1, &last, 1) == 0 && last == 0x1A;
    }
    if (count > rows || (rest != 0 && !endByte))
        out.push_back(
            {table.file, TableDamage::CutInRecords, static_cast<int>(std::min<uint64_t>(rows, count))});

    std::vector<const FieldDef*> memoFields;
    for (const FieldDef& f : stored)
        if (f.type == 'M') memoFields.push_back(&f);
    if (memoFields.empty()) return out;

    const std::string memoPath = p::ResolveCase(folder + table.stem() + (version == 0xF5 ? ".fpt" : ".dbt"));
    p::File memo;
    uint64_t memoSize = 0;
    const bool memoOpen = memo.open(memoPath, p::kModeSharedRead) == 0 && memo.size(memoSize) == 0;
    const MemoLayout layout = memoOpen ? memoLayout(version, memo) : MemoLayout{};
    const uint64_t checked = std::min<uint64_t>(rows, count);
    const size_t perChunk = std::max<size_t>(1, (1u << 20) / recordSize);
    std::vector<char> chunk(perChunk * recordSize);
    // Every memo pointer in row order, then the memo headers they lead to in file order.
    struct Pointer {
        uint64_t row;  // from 1
        const FieldDef* field;
        int64_t block;
    };
    std::vector<Pointer> pointers;
    // The rows the first read brought need no read of their own.
    const uint64_t held = std::min<uint64_t>(size, first.size());
    for (uint64_t from = 0; from < checked && !p::StopRequested(); from += perChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(perChunk, checked - from));
        const uint64_t at = headerSize + from * recordSize;
        const char* rows = chunk.data();
        if (at + n * recordSize <= held)
            rows = reinterpret_cast<const char*>(first.data() + at);
        else if (dbf.readAt(at, chunk.data(), n * recordSize) != 0)
            break;
        for (size_t i = 0; i < n; ++i) {
            const char* record = rows + i * recordSize;
            for (const FieldDef* f : memoFields) {
                const int64_t block = blockOf(record + f->offset, static_cast<size_t>(f->width));
                if (block == 0) continue;
                if (!memoOpen) {
                    out.push_back({table.file, TableDamage::MemoFileMissing});
                    return out;
                }
                pointers.push_back({from + i + 1, f, block});
            }
        }
    }
    std::vector<uint32_t> blocks;
    for (const Pointer& ptr : pointers)
        blocks.push_back(ptr.block > 0 ? static_cast<uint32_t>(ptr.block) : 0);
    const std::vector<bool> inside = memosInside(memo, memoSize, layout, blocks);
    for (size_t i = 0; i < pointers.size(); ++i)
        if (pointers[i].block <= 0 || !inside[i])
            out.push_back({table.file, TableDamage::MemoPointer, static_cast<int>(pointers[i].row),
                           pointers[i].field->name});
    return out;
}

}  // namespace

std::vector<TableProblem> CheckLeagueDatabase(const std::string& folder, bool* firstStart) {
    // One listing of the folder answers every name the check looks up.
    p::NameLookupScope names;
    std::vector<TableProblem> out;
    bool anyPresent = false;
    bool anyRows = false;
    for (const LeagueTable& t : LeagueTables()) {
        if (p::StopRequested()) break;
        bool holdsRows = true;
        std::vector<TableProblem> found = checkLeagueTable(folder, t, &holdsRows);
        // A creation lock in the way says nothing of whether the database is there.
        const bool onlyMissing = !found.empty() && found.front().kind == TableDamage::Missing &&
                                 std::all_of(found.begin() + 1, found.end(),
                                             [](const TableProblem& pr) { return pr.file.front() == '.'; });
        if (!onlyMissing) anyPresent = true;
        if (found.empty() && holdsRows) anyRows = true;
        out.insert(out.end(), found.begin(), found.end());
    }
    // A creation cut short (a signal, a killed station, a full disk) leaves some of the tables, whole and
    // empty, and the others missing: the rest is made as at a first start, without a word of damage. A
    // row anywhere, or anything else wrong, is a database in use, whose missing tables the user hears of.
    const bool unfinished = anyPresent && !anyRows && std::all_of(out.begin(), out.end(), [](const TableProblem& pr) {
        return pr.kind == TableDamage::Missing;
    });
    if (!anyPresent || unfinished)
        out.erase(std::remove_if(out.begin(), out.end(),
                                 [](const TableProblem& pr) { return pr.kind == TableDamage::Missing; }),
                  out.end());
    if (firstStart) *firstStart = !anyPresent || unfinished;
    const std::string lock = lockNameOf(kCreationLockTarget);
    if (const InTheWay what = standingInTheWay(folder + lock, false); what != InTheWay::Unknown)
        out.push_back({lock, TableDamage::NotAFile, 0, {}, {}, {}, what});
    for (const char* name : {kParamFileName, kLanguageFileName}) {
        const std::string path = p::ResolveCase(folder + name);
        if (const InTheWay what = standingInTheWay(path, true); what != InTheWay::Unknown)
            out.push_back({path.substr(folder.size()), TableDamage::NotAFile, 0, {}, {}, {}, what});
    }
    return out;
}

bool CreatesTables(const std::vector<TableProblem>& problems) {
    return std::any_of(problems.begin(), problems.end(), [](const TableProblem& pr) {
        return pr.kind == TableDamage::Missing || pr.kind == TableDamage::WithoutTable ||
               (pr.kind == TableDamage::NotAFile && pr.file.ends_with(".dbf"));
    });
}

void ClearCreationLeftovers(const std::string& folder) {
    std::vector<std::string> names;
    if (!p::ListDirectory(folder, names)) return;
    for (const LeagueTable& t : LeagueTables()) {
        const std::string lock = lockNameOf(t.file);
        const std::string stagingPrefix = "." + t.file + "-new-";
        std::vector<std::string> staging;
        bool lockFile = false;
        for (const std::string& n : names) {
            if (n == lock) lockFile = p::EntryKindAt(folder + n) == p::EntryKind::Regular;
            if (n.starts_with(stagingPrefix) && p::EntryKindAt(folder + n) == p::EntryKind::Directory)
                staging.push_back(n);
        }
        if (!lockFile && staging.empty()) continue;
        // Every creator of the table holds its lock from before it makes its staging folder until the
        // table is in place: taken here, the lock says that no live station uses what is found. Its
        // release removes its file.
        const p::CreationLockIfFree held(folder + t.file);
        if (!held.held()) continue;
        for (const std::string& dir : staging) {
            // Only the table's own files, as a creation stages them; anything else keeps the folder.
            for (const char* ext : {".dbf", ".mdx", ".dbt"})
                if (p::EntryKindAt(folder + dir + "/" + t.stem() + ext) == p::EntryKind::Regular)
                    p::RemoveFileIfExists(folder + dir + "/" + t.stem() + ext);
            p::RemoveEmptyDir(folder + dir);
        }
    }
    // The database's creation lock, left by a start that died: taken and so removed, unless a start holds
    // it now.
    const std::string lock = lockNameOf(kCreationLockTarget);
    if (std::find(names.begin(), names.end(), lock) != names.end() &&
        p::EntryKindAt(folder + lock) == p::EntryKind::Regular) {
        const p::CreationLockIfFree held(folder + kCreationLockTarget);
    }
}

std::vector<std::string> CreationLocksHeld(const std::string& folder) {
    std::vector<std::string> out;
    for (const LeagueTable& t : LeagueTables())
        if (p::ProbeCreationLock(folder + t.file) == p::CreationLockState::Held)
            out.push_back(lockNameOf(t.file));
    return out;
}

namespace {

// "%1 is a folder, where the program keeps a file of the database": the name, what it is and what the
// program keeps there, so that the user knows what the move aside is about.
QString describeInTheWay(const TableProblem& pr, const QString& file) {
    Text kind = Text::None;
    switch (pr.what) {
        case InTheWay::Folder:
            kind = Text::InTheWayFolder;
            break;
        case InTheWay::Link:
            kind = Text::InTheWayLink;
            break;
        case InTheWay::BrokenLink:
            kind = Text::InTheWayBrokenLink;
            break;
        case InTheWay::Pipe:
            kind = Text::InTheWayPipe;
            break;
        case InTheWay::Special:
            kind = Text::InTheWaySpecial;
            break;
        case InTheWay::Unknown:
            return GetLangText(Text::NotAFileWhereTable).arg(file);
    }
    const QString what = GetLangText(kind);
    if (pr.file.ends_with(".lock") && !pr.expected.empty())
        return GetLangText(Text::NotAFileWhereCreationLock)
            .arg(file, what, QString::fromStdString(pr.expected));
    if (p::SameNameAnyCase(pr.file, kParamFileName))
        return GetLangText(Text::NotAFileWhereSettings).arg(file, what);
    if (p::SameNameAnyCase(pr.file, kLanguageFileName))
        return GetLangText(Text::NotAFileWhereLanguageFile).arg(file, what);
    return GetLangText(Text::NotAFileWhereDatabaseFile).arg(file, what);
}

}  // namespace

namespace {

QString describeOne(const TableProblem& p) {
    const QString file = QString::fromStdString(p.file);
    QString line;
    switch (p.kind) {
        case TableDamage::Missing:
            line = GetLangText(Text::TableMissingCreatedEmpty).arg(file);
            break;
        case TableDamage::NotATable:
            line = GetLangText(Text::NotATableToRead).arg(file);
            break;
        case TableDamage::CutInRecords:
            line = GetLangText(Text::TableCutKeptReadOnly).arg(file).arg(p.row);
            break;
        case TableDamage::FieldMismatch:
            line =
                GetLangText(Text::FieldDoesNotMatchDefinition).arg(file, QString::fromStdString(p.field),
                                     QString::fromStdString(p.found), QString::fromStdString(p.expected));
            break;
        case TableDamage::MemoFileMissing:
            line = GetLangText(Text::MemoFileMissing).arg(file);
            break;
        case TableDamage::MemoPointer:
            line = GetLangText(Text::NoteOutOfMemoFile).arg(file).arg(p.row).arg(QString::fromStdString(p.field));
            break;
        case TableDamage::NotAFile:
            line = describeInTheWay(p, file);
            break;
        case TableDamage::WithoutTable:
            line = GetLangText(Text::FileWithoutItsTable).arg(file, QString::fromStdString(p.expected));
            break;
    }
    return line;
}

// The problems grouped by file and kind, in the order each group first appears.
std::vector<std::vector<const TableProblem*>> groupsOf(const std::vector<TableProblem>& problems) {
    std::vector<std::vector<const TableProblem*>> groups;
    for (const TableProblem& p : problems) {
        auto same = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return g.front()->file == p.file && g.front()->kind == p.kind;
        });
        if (same == groups.end())
            groups.push_back({&p});
        else
            same->push_back(&p);
    }
    return groups;
}

}  // namespace

QString DescribeProblems(const std::vector<TableProblem>& problems) {
    QString text = GetLangText(Text::DamagedFilesHeading);
    for (const auto& group : groupsOf(problems)) {
        text += QStringLiteral("\n- ") + describeOne(*group.front());
        if (group.size() > 1)
            text += QStringLiteral("\n  ") + GetLangText(Text::MoreDamageOfTheSame)
                                                 .arg(static_cast<int>(group.size() - 1))
                                                 .arg(QString::fromStdString(group.front()->file));
    }
    return text;
}

QString DescribeProblemDetails(const std::vector<TableProblem>& problems) {
    const auto groups = groupsOf(problems);
    if (std::all_of(groups.begin(), groups.end(), [](const auto& g) { return g.size() == 1; })) return {};
    QString text;
    for (const TableProblem& p : problems) text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + describeOne(p);
    return text;
}

std::string AsideFolderName(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = std::string("aside-") + stamp;
    for (int n = 2; p::StatPath(folder + name).exists; ++n)
        name = std::string("aside-") + stamp + "-" + std::to_string(n);
    return name;
}

bool MoveAside(const std::string& folder, const std::string& aside, const std::vector<TableProblem>& problems,
               std::string* failed) {
    std::vector<std::string> names;
    for (const TableProblem& pr : problems)
        if (GoesOnMovedAside(pr)) names.push_back(p::ResolveCase(folder + pr.file).substr(folder.size()));
    if (names.empty()) return true;
    const std::string target = folder + aside + "/";
    std::error_code made;
    if (!std::filesystem::create_directory(folder + aside, made) || made) {
        if (failed) *failed = names.front();
        return false;
    }
    std::vector<std::string> moved;
    for (const std::string& n : names) {
        // A file another station holds open is not moved: it is in use, not left over.
        const bool regular = p::StatPath(folder + n).regular;
        const int rc =
            regular ? p::RenameFileChecked(folder + n, target + n) : p::RenameFile(folder + n, target + n);
        if (rc != 0) {
            for (const std::string& m : moved) p::RenameFile(target + m, folder + m);
            p::RemoveEmptyDir(folder + aside);
            if (failed) *failed = n;
            return false;
        }
        moved.push_back(n);
    }
    p::SyncDirectoryOf(target + moved.front());
    p::SyncDirectoryOf(folder + moved.front());
    return true;
}

std::set<std::string> TablesKeptReadOnly(const std::vector<TableProblem>& problems) {
    std::set<std::string> out;
    for (const TableProblem& p : problems)
        if (p.kind == TableDamage::CutInRecords) out.insert(p.file);
    return out;
}

std::set<std::string> TablesKeptUnpacked(const std::vector<TableProblem>& problems) {
    std::set<std::string> out;
    for (const TableProblem& p : problems)
        if (p.kind == TableDamage::CutInRecords || p.kind == TableDamage::MemoPointer) out.insert(p.file);
    return out;
}

}  // namespace app
