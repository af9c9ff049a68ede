#include "engine/core/work_areas.h"

#include <algorithm>
#include <cctype>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace xb {

namespace {

Engine& eng() { return Engine::current(); }

std::unique_ptr<WorkAreaBlock>& slot(int n) { return eng().areas.blocks[n]; }

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string upperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool wordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '\\' || c == '_'; }

// Removes every whole-word occurrence of keyword (which starts with a blank) from text, whatever the
// letter case of either; the rest of the text keeps its case. True when one was removed.
bool takeWord(std::string& text, const std::string& keyword) {
    bool found = false;
    std::string up = upperAscii(text);
    size_t pos = 0;
    while ((pos = up.find(keyword, pos)) != std::string::npos) {
        size_t end = pos + keyword.size();
        if (end < up.size() && wordChar(up[end])) {
            pos = end;
            continue;
        }
        text.erase(pos, keyword.size());
        up.erase(pos, keyword.size());
        found = true;
    }
    return found;
}

// Splits " ALIAS name" off a command (any letter case); the alias is upper-cased, at most 64 characters.
bool takeAlias(std::string& text, std::string& alias) {
    std::string up = upperAscii(text);
    size_t pos = up.find(" ALIAS ");
    if (pos == std::string::npos) return false;
    std::string rest = trim(text.substr(pos + 7));
    size_t blank = rest.find(' ');
    alias = upperAscii(rest.substr(0, blank)).substr(0, 64);
    text = text.substr(0, pos);
    return true;
}

bool aliasTaken(const std::string& alias, int except) {
    for (int i = 1; i <= kUserAreas; ++i)
        if (i != except && slot(i) && slot(i)->alias == alias) return true;
    return false;
}

std::string useCall(const std::string& command, const std::string& buffer, size_t size) {
    return "[USE(" + command + "," + buffer + "," + std::to_string(size) + ")]";
}

void freeExpressions(WorkAreaBlock& b) {
    ParserHooks* p = eng().tables.parser.get();
    if (p && eng().tables.parserLinked) {
        if (b.filter) p->free(b.filter);
        if (b.whileExpr) p->free(b.whileExpr);
    }
    b.filter = nullptr;
    b.whileExpr = nullptr;
}

bool useVirtual(const std::string& original, std::string cmd, void* buffer, size_t size) {
    if (!eng().tables.vfile) {
        SetEngineError(1101, useCall(original, "<@Buffer>", size));
        return false;
    }
    if (!buffer) {
        SetEngineError(220, "NIL buffer pointer " + useCall(original, "Nil", size));
        return false;
    }
    std::string alias;
    bool hasAlias = takeAlias(cmd, alias);
    auto block = std::make_unique<WorkAreaBlock>();
    block->isVirtual = true;
    block->exclusive = true;
    block->bof = block->eof = true;
    block->typed = static_cast<uint8_t*>(buffer);
    block->typedSize = static_cast<uint16_t>(std::min<size_t>(size, 0xFFFF));
    block->memoryKind = 1;
    static const struct {
        const char* word;
        uint8_t kind;
    } kMemory[] = {{" TO EMS", 2}, {" TO EXT", 3}, {" TO XMS", 3}, {" TO HEAP", 1}, {" TO BIGGEST", 5}};
    for (const auto& m : kMemory)
        if (takeWord(cmd, m.word)) block->memoryKind = m.kind;
    takeWord(cmd, " VIRTUAL FILE");
    takeWord(cmd, " LINKED LIST");
    const int area = eng().currentArea;
    slot(area) = std::move(block);
    WorkAreaBlock& b = *slot(area);
    b.vfOp = kVfOpen;
    b.vfArg = 0;
    eng().tables.vfile->call(b);
    static const char* kModes[] = {" FIFO", " LIFO", " INSERTION", " ASCENDING", " DESCENDING"};
    for (uint8_t i = 0; i < 5; ++i)
        if (takeWord(cmd, kModes[i])) b.appendMode = i;
    b.fileName = trim(cmd);
    b.alias = hasAlias ? alias : upperAscii(b.fileName).substr(0, 64);
    if (aliasTaken(b.alias, area)) {
        std::string a = b.alias;
        CloseDatabase();
        SetEngineError(220, "Alias name \"" + a + "\" already in use. [USE]");
        return false;
    }
    return LastError() == 0;
}

bool isVirtualCommand(const std::string& command) {
    const std::string up = upperAscii(command);
    return up.find("LINKED LIST") != std::string::npos || up.find("VIRTUAL FILE") != std::string::npos;
}

// Opens a table; original is what the caller asked for, as error texts show it.
bool useImpl(const UseRequest& request, const std::string& original, void* buffer, size_t size,
             TranslateProc readProc, TranslateProc writeProc) {
    if ((!buffer && size != 0) || (buffer && size == 0)) {
        SetEngineError(220, "Buffer is NIL or size is zero, attempting to open " + original + " [USE]");
        return false;
    }
    // One listing of the table's directory answers every name the open looks up.
    platform::NameLookupScope names;
    const std::string name = TableFileName(request.path);
    const std::string alias = request.alias.empty() ? upperAscii(FileNameOnly(name)).substr(0, 64)
                                                    : upperAscii(request.alias).substr(0, 64);

    EngineSettings& st = eng().settings;
    uint16_t mode = request.exclusive ? static_cast<uint16_t>(platform::kModeExclusive) : st.shareMode;
    if (request.openMode != 0xFFFF) mode = request.openMode;

    if (!CompleteInterruptedPack(name)) return false;
    auto block = std::make_unique<WorkAreaBlock>();
    block->fileName = name;
    block->fileMode = mode;
    block->oem = !st.ansi;
    block->countRepair = request.countRepair;
    block->snapshot = request.snapshot && (mode & 3) == 0;
    if (!OpenDbf(*block)) return false;

    const int area = eng().currentArea;
    slot(area) = std::move(block);
    WorkAreaBlock& b = *slot(area);
    b.alias = alias;
    b.exclusive = platform::IsExclusiveMode(mode);
    const uint16_t need = TypedRecordSize(b);
    if (buffer) {
        b.typed = static_cast<uint8_t*>(buffer);
        b.ownsTyped = false;
    } else {
        b.ownedTyped.assign(need, 0);
        b.typed = b.ownedTyped.data();
        b.ownsTyped = true;
    }
    b.typedSize = need;
    if (buffer && size != need) {
        CloseDatabase();
        SetEngineError(266, "Database record/buffer size mismatch: " + original + " [USE()]\n\rRecord Size=" +
                                std::to_string(need) + ", Buffer Size=" + std::to_string(size));
        return false;
    }
    if (aliasTaken(b.alias, area)) {
        std::string a = b.alias;
        CloseDatabase();
        SetEngineError(220, "Alias name \"" + a + "\" already in use. [USE]");
        return false;
    }
    b.readProc = std::move(readProc);
    b.writeProc = std::move(writeProc);
    if (IsSharedUse(b)) {
        // The count another station's appends moved, from the size the open just read: the first move
        // below need not ask for it again.
        const uint64_t hs = static_cast<uint16_t>(b.headerSize);
        b.recCount = b.sizeAtOpen > hs ? static_cast<int32_t>(std::min<uint64_t>(
                                             (b.sizeAtOpen - hs) / b.recordSize, 0x7FFFFFFF))
                                       : 0;
        b.countJustRead = true;
    }
    if (b.recCount < 1 || !request.top) {
        std::fill(b.typed, b.typed + need, 0);
        ClearRecord();
        b.bof = b.eof = true;
    } else if (!GoTop()) {
        uint16_t code = LastError();
        std::string detail = TakeErrorMessage();
        CloseDatabase();
        SetEngineError(code, detail);
        return false;
    }
    if (request.top) b.countJustRead = false;  // else the caller's first move takes it
    b.swap.assign(need, 0);
    if (b.snapshot) b.hasMemo = false;
    if (b.hasMemo && eng().tables.memo) {
        eng().errors.lastError = 0;
        eng().tables.memo->useMemofile();
        uint16_t code = LastError();
        if (code != 0) {
            CloseDatabase();
            SetEngineError(code, "Problem opening memo file " + useCall(original, "<@Buffer>", size));
            return false;
        }
    }
    return true;
}

}  // namespace

UseRequest ParseUseCommand(const std::string& command) {
    UseRequest r;
    const EngineSettings& st = eng().settings;
    r.openMode = st.openModeOverride;
    r.countRepair = st.autoFixRecCount;
    std::string cmd = trim(command);
    if (!cmd.empty() && cmd[0] == '"') {
        // A quoted path stands as it is; the words come after it.
        const size_t close = cmd.find('"', 1);
        r.path = cmd.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        cmd = close == std::string::npos ? std::string() : cmd.substr(close + 1);
    }
    // Keywords are found whatever their case; the file name keeps the case it was given.
    cmd = " " + cmd + " ";
    r.exclusive = takeWord(cmd, " EXCLUSIVE");
    takeAlias(cmd, r.alias);
    if (r.path.empty()) r.path = trim(cmd);
    return r;
}

bool UseTable(const UseRequest& request, void* buffer, size_t size, TranslateProc readProc,
              TranslateProc writeProc) {
    eng().errors.lastError = 0;
    CloseDatabase();
    if (trim(request.path).empty()) return true;
    return useImpl(request, request.path, buffer, size, std::move(readProc), std::move(writeProc));
}

bool UseEx(const std::string& command, void* buffer, size_t size, TranslateProc readProc, TranslateProc writeProc) {
    eng().errors.lastError = 0;
    CloseDatabase();
    const std::string original = trim(command);
    if (original.empty()) return true;
    if (isVirtualCommand(original)) return useVirtual(original, " " + original + " ", buffer, size);
    return useImpl(ParseUseCommand(original), original, buffer, size, std::move(readProc),
                   std::move(writeProc));
}

bool Use(const std::string& command, void* buffer, size_t size) {
    return UseEx(command, buffer, size, nullptr, nullptr);
}

bool Select(int n) {
    if (n >= 1 && n <= kUserAreas) {
        eng().currentArea = static_cast<uint8_t>(n);
        return true;
    }
    if (n == 0) {
        for (int i = 1; i <= kUserAreas; ++i) {
            if (!slot(i)) {
                eng().currentArea = static_cast<uint8_t>(i);
                return true;
            }
        }
        SetEngineError(220, "No free workarea available [Select(0)]");
        return false;
    }
    SetEngineError(220, "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
    return false;
}

int SelectedArea() { return eng().currentArea; }

WorkAreaBlock* AreaBlock(int n) { return (n >= 1 && n <= kAreaCount) ? slot(n).get() : nullptr; }

WorkAreaBlock* CurrentBlock() {
    Engine& e = eng();
    const int n = e.currentArea;
    return n >= 1 && n <= kAreaCount ? e.areas.blocks[n].get() : nullptr;
}

void CloseDatabase() {
    Engine& e = eng();
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return;
    if (!b->isVirtual) {
        b->closing = true;
        if (e.tables.index && e.tables.indexLinked) e.tables.index->closeIndex();
        // The header the close rewrites takes its count from the file's size, read under the append lock.
        UnlockBeforeClose();
    }
    b->swap.clear();
    if (b->hasMemo && e.tables.memo && !b->isVirtual) e.tables.memo->closeMemofile();
    freeExpressions(*b);
    if (b->isVirtual) {
        if (e.tables.vfile) {
            b->vfOp = kVfClose;
            e.tables.vfile->call(*b);
        }
    } else {
        CloseDbf(*b);
    }
    slot(e.currentArea).reset();
}

void CloseAllDatabases() {
    for (int i = 1; i <= kUserAreas; ++i) {
        eng().currentArea = static_cast<uint8_t>(i);
        CloseDatabase();
    }
    eng().currentArea = 1;
}

void CloseEngineAreas() {
    Engine& e = eng();
    const uint8_t saved = e.currentArea;
    for (int i : {34, 35}) {
        e.currentArea = static_cast<uint8_t>(i);
        CloseDatabase();
    }
    e.currentArea = saved;
    CloseAllDatabases();
}

CurrentAreaScope::CurrentAreaScope(int n) : m_saved(eng().currentArea) {
    eng().currentArea = static_cast<uint8_t>(n);
}

CurrentAreaScope::~CurrentAreaScope() { eng().currentArea = m_saved; }

std::string DbfName() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? b->fileName : std::string();
}

bool CheckDbfInUse(const std::string& routine) {
    if (CurrentBlock()) return false;
    SetEngineError(215, "No database in use [" + routine + "]  WorkArea = " + std::to_string(eng().currentArea));
    return true;
}

IndexArea* CurrentIndexArea() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? b->indexArea.get() : nullptr;
}

namespace {

const FieldDescriptor* checkedField(int n, const char* routine) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) {
        CheckDbfInUse(routine);
        return nullptr;
    }
    if (n < 1 || n > static_cast<int>(b->fields.size())) {
        SetEngineError(220, std::string("Invalid field number. [") + routine + "(" + std::to_string(n) + ")]");
        return nullptr;
    }
    return &b->fields[static_cast<size_t>(n - 1)];
}

}  // namespace

int FieldCount() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? static_cast<int>(b->fields.size()) : 0;
}

std::string Field(int n) {
    const FieldDescriptor* f = checkedField(n, "Field");
    return f ? f->name : std::string();
}

int FieldNo(const std::string& name) {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return 0;
    std::string key = name.substr(0, 10);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    key = upperAscii(key);
    for (size_t i = 0; i < b->fields.size(); ++i)
        if (upperAscii(b->fields[i].name) == key) return static_cast<int>(i + 1);
    return 0;
}

char FieldType(int n) {
    const FieldDescriptor* f = checkedField(n, "FieldType");
    return f ? f->type : '\0';
}

int FieldLen(int n) {
    const FieldDescriptor* f = checkedField(n, "FieldLen");
    if (!f) return 0;
    if (f->type == 'D') return eng().settings.century ? 10 : 8;
    return f->length;
}

int FieldDec(int n) {
    const FieldDescriptor* f = checkedField(n, "FieldDec");
    return f ? f->decimals : 0;
}

uint8_t* FieldAddress(int n) {
    if (n == 0) {
        WorkAreaBlock* b = CurrentBlock();
        return b ? b->typed : nullptr;
    }
    if (!checkedField(n, "FieldAddress")) return nullptr;
    WorkAreaBlock* b = CurrentBlock();
    return b->typed + TypedFieldOffset(*b, n);
}

bool Deleted() {
    WorkAreaBlock* b = CurrentBlock();
    return b && b->typed && b->typed[0] != 0;
}

int RecSize() {
    WorkAreaBlock* b = CurrentBlock();
    return b ? b->recordSize : 0;
}

void ClearRecord() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return;
    if (b->isVirtual) {
        if (b->fields.empty() && b->typed) std::fill(b->typed, b->typed + b->typedSize, 0);
        return;
    }
    std::fill(b->raw.begin(), b->raw.end(), ' ');
    b->writtenRecord = 0;
    RawToTypedRecord(*b, b->typed);
}

void LoadRecordBuffer() {
    WorkAreaBlock* b = CurrentBlock();
    if (b && !b->isVirtual) RawToTypedRecord(*b, b->typed);
}

void StoreRecordBuffer() {
    WorkAreaBlock* b = CurrentBlock();
    if (b && !b->isVirtual) TypedToRawRecord(*b, b->typed);
}

bool GoTopPhysical() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b) return false;
    if (b->recCount < 1) {
        ClearRecord();
        b->recNo = 0;
        b->bof = b->eof = true;
        return true;
    }
    if (!GetDbfRecord(*b, 1)) return false;
    LoadRecordBuffer();
    return true;
}

}  // namespace xb
