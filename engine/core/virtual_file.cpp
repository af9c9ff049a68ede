#include "engine/core/virtual_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/record_list.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/codepage.h"

namespace xb {

namespace {

Engine& eng() {
    return Engine::current();
}

// A virtual area's own state. A virtual area never has a memo file, so its block's memo slot carries it;
// it goes with the block whichever way the block ends.
struct VFileState : VirtualArea {
    RecordList records;
    TXbKeyMaker keyMaker;
    int keyCalls = 0;  // above 0 while the key callback runs for this area
};

VFileState* stateOf(WorkAreaBlock& b) {
    return static_cast<VFileState*>(b.virtualArea.get());
}

bool fail(uint16_t code, const std::string& detail) {
    SetEngineError(code, detail);
    return false;
}

std::string num(int64_t n) {
    return std::to_string(n);
}

bool sortedMode(uint8_t mode) {
    return mode == static_cast<uint8_t>(LStatusType::ASCENDING) ||
           mode == static_cast<uint8_t>(LStatusType::DESCENDING);
}

// Record size 0 means records of varying length: a 16-bit length, then the record (deletion flag first).
bool varying(const WorkAreaBlock& b) {
    return b.typedSize == 0;
}
size_t flagOffset(const WorkAreaBlock& b) {
    return varying(b) ? 2 : 0;
}

size_t bufferRecordSize(const WorkAreaBlock& b) {
    if (!varying(b)) return b.typedSize;
    uint16_t len = 0;
    std::memcpy(&len, b.typed, 2);
    return len + 2u;
}

void loadNode(WorkAreaBlock& b, const RecordNode& n) {
    const size_t size = varying(b) ? n.data.size() : std::min<size_t>(n.data.size(), b.typedSize);
    if (size > 0) std::memcpy(b.typed, n.data.data(), size);
}

// Makes record pos current and copies it into the typed buffer; pos must be within 1..count.
void loadAt(WorkAreaBlock& b, VFileState& s, int32_t pos) {
    loadNode(b, *s.records.at(pos));
    b.recNo = pos;
}

std::string goError(const WorkAreaBlock& b, int32_t target, int32_t count) {
    return "Attempted to position to record number " + num(target) + "  Database record count is " +
           num(count) + b.alias + " [VFiles]";
}

// A node holding the record of the typed buffer; nullptr after reporting 217.
std::unique_ptr<RecordNode> newNode(const WorkAreaBlock& b) {
    std::unique_ptr<RecordNode> node;
    try {
        node = std::make_unique<RecordNode>();
    } catch (const std::bad_alloc&) {
        fail(217, "Not enough HEAP to setup pointers.  Cannot add new record to " + b.alias + " [VFiles]");
        return nullptr;
    }
    try {
        node->data.assign(b.typed, b.typed + bufferRecordSize(b));
    } catch (const std::bad_alloc&) {
        fail(217, "Not enough HEAP memory to add new record to " + b.alias + " [VFiles]");
        return nullptr;
    }
    return node;
}

// Marks an area as being ordered for its lifetime: the driver refuses changes to it meanwhile.
class Ordering {
public:
    explicit Ordering(VFileState& s) : m_count(s.keyCalls) { ++m_count; }
    ~Ordering() { --m_count; }
    Ordering(const Ordering&) = delete;
    Ordering& operator=(const Ordering&) = delete;

private:
    int& m_count;
};

std::string keyOf(VFileState& s) {
    Ordering busy(s);
    // What the callback does with the engine is its own affair: an error it leaves behind must not make
    // the operation that asked for the key look failed.
    ErrorState& errors = eng().errors;
    const uint16_t code = errors.lastError;
    const std::string detail = errors.detail;
    std::string k = s.keyMaker();
    errors.lastError = code;
    errors.detail = detail;
    if (k.size() > kMaxVFileKey) k.resize(kMaxVFileKey);
    return k;
}

// Byte order; a text that is a prefix of another is the smaller.
int compareKeys(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n > 0) {
        int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// The position a record of key k takes among the records of a sorted file (at least one). Every probe
// loads the record into the typed buffer and asks the key callback, as the callback reads the buffer.
// Equal keys: in front of an equal first record, behind an equal last one, otherwise right after the
// equal record the bisection meets first.
int32_t sortedPlace(WorkAreaBlock& b, VFileState& s, const std::string& k, bool asc) {
    const int32_t n = s.records.count();
    auto probe = [&](int32_t pos) {
        loadAt(b, s, pos);
        return keyOf(s);
    };
    int c = compareKeys(k, probe(1));
    if (asc ? c <= 0 : c >= 0) return 1;
    if (n == 1) return 2;
    c = compareKeys(k, probe(n));
    if (asc ? c >= 0 : c <= 0) return n + 1;
    int32_t lo = 1, hi = n, mid = (n + 1) / 2;
    while (true) {
        const int m = compareKeys(probe(mid), k);
        if (m == 0) return mid + 1;
        if (asc ? m > 0 : m < 0)
            hi = mid;
        else
            lo = mid;
        if (hi == lo + 1) break;
        mid = lo + (hi - lo) / 2;
    }
    c = compareKeys(k, probe(hi));
    const int32_t p = asc ? (c >= 0 ? hi : lo) : (c > 0 ? lo : hi);
    return p + 1;
}

// INSERTION: before the current record. The area steps back with the ordinary skip (so hidden records
// are stepped over) and the record goes after the one reached; when nothing visible precedes the current
// record it goes directly before it.
bool insertionPlace(WorkAreaBlock& b, int32_t count, int32_t& pos) {
    const int32_t c = std::min(b.recNo, count + 1);
    if (c <= 1) {
        pos = 1;
        return true;
    }
    int32_t p = c - 1;
    if (&b == CurrentBlock()) {
        if (!Skip(-1)) return false;
        p = b.recNo;
    }
    pos = (p >= 1 && p < c) ? p + 1 : c;
    return true;
}

// Links node (holding the record now in the typed buffer) by the append mode; it becomes current and the
// typed buffer holds it again. On failure the file is as it was, node is still the caller's and the
// buffer holds the new record.
bool addRecord(WorkAreaBlock& b, VFileState& s, std::unique_ptr<RecordNode>& node) {
    const int32_t n = s.records.count();
    const int32_t savedPos = b.recNo;
    auto undo = [&] {
        loadNode(b, *node);
        b.recNo = savedPos;
    };
    int32_t pos = 1;
    if (n > 0) {
        switch (b.appendMode) {
            case static_cast<uint8_t>(LStatusType::FIFO):
                pos = n + 1;
                break;
            case static_cast<uint8_t>(LStatusType::LIFO):
                pos = 1;
                break;
            case static_cast<uint8_t>(LStatusType::INSERTION): {
                bool ok = false;
                try {
                    ok = insertionPlace(b, n, pos);
                } catch (...) {
                    undo();
                    throw;
                }
                if (!ok) {
                    undo();
                    return false;
                }
                break;
            }
            case static_cast<uint8_t>(LStatusType::ASCENDING):
            case static_cast<uint8_t>(LStatusType::DESCENDING):
                if (!s.keyMaker)
                    return fail(1100, b.alias +
                                          " is a \"Sorted\" virtual file with no keymaker function. "
                                          "[Append/InsertRec/PushRec]");
                try {
                    const std::string k = keyOf(s);
                    pos = sortedPlace(b, s, k, b.appendMode == static_cast<uint8_t>(LStatusType::ASCENDING));
                } catch (...) {
                    undo();
                    throw;
                }
                break;
            default:
                return fail(1100, num(b.appendMode) + " is an invalid VFile mode set for " + b.alias +
                                      " [(AddLL) VFiles INTERNAL ERROR]");
        }
    }
    RecordNode* raw = node.get();
    s.records.insertAt(pos, std::move(node));
    loadNode(b, *raw);
    b.recNo = pos;
    b.recCount = s.records.count();
    b.eof = b.bof = false;
    return true;
}

bool appendRecord(WorkAreaBlock& b, VFileState& s) {
    std::unique_ptr<RecordNode> node = newNode(b);
    if (!node) return false;
    return addRecord(b, s, node);
}

// Writes the typed buffer as record t: in place, or (sorted modes) moved to its key's place; a target
// beyond the count appends.
bool putRecord(WorkAreaBlock& b, VFileState& s, int32_t t) {
    const int32_t n = s.records.count();
    if (t > n) return appendRecord(b, s);
    if (t < 1) return fail(212, goError(b, t, n));
    if (!sortedMode(b.appendMode)) {
        RecordNode* node = s.records.at(t);
        try {
            node->data.assign(b.typed, b.typed + bufferRecordSize(b));
        } catch (const std::bad_alloc&) {
            return fail(217, "Not enough HEAP memory to add new record to " + b.alias + " [VFiles]");
        }
        b.recNo = t;
        b.eof = b.bof = false;
        return true;
    }
    // The old record stays aside until the new one has its place, so a failed move loses nothing.
    std::unique_ptr<RecordNode> fresh = newNode(b);
    if (!fresh) return false;
    std::unique_ptr<RecordNode> old = s.records.removeAt(t);
    b.recCount = s.records.count();
    auto restore = [&] {
        s.records.insertAt(t, std::move(old));
        b.recCount = s.records.count();
        b.recNo = t;
        b.eof = b.bof = false;
    };
    bool ok = false;
    try {
        ok = addRecord(b, s, fresh);
    } catch (...) {
        restore();
        throw;
    }
    if (!ok) {
        // addRecord reported its error before this undo (outside exception mode).
        restore();
        return false;
    }
    return true;
}

// Removes record pos; the next record (or the new last one) becomes current and is loaded, so that a
// later write goes to the record the buffer shows.
void removeAt(WorkAreaBlock& b, VFileState& s, int32_t pos) {
    s.records.removeAt(pos);
    const int32_t n = s.records.count();
    b.recCount = n;
    if (n == 0) {
        b.recNo = 0;
        b.eof = b.bof = true;
        return;
    }
    loadAt(b, s, std::min(pos, n));
    b.eof = b.bof = false;
}

bool removeCurrent(WorkAreaBlock& b, VFileState& s, const char* routine) {
    const int32_t n = s.records.count();
    if (b.recNo < 1 || b.recNo > n)
        return fail(212, "No current record to remove from " + b.alias + " [" + routine + "]");
    removeAt(b, s, b.recNo);
    return true;
}

bool setFlag(WorkAreaBlock& b, VFileState& s, uint8_t value) {
    RecordNode* node = s.records.at(b.recNo);
    if (!node) return fail(212, goError(b, b.recNo, s.records.count()));
    const size_t f = flagOffset(b);
    // A varying-length record of length 0 has no flag byte.
    if (node->data.size() <= f) return true;
    node->data[f] = value;
    b.typed[f] = value;
    return true;
}

bool packRecords(WorkAreaBlock& b, VFileState& s) {
    std::vector<RecordNode*> all = s.records.inOrder();
    std::vector<RecordNode*> keep;
    keep.reserve(all.size());
    const size_t f = flagOffset(b);
    s.records.releaseAll();
    for (RecordNode* n : all) {
        if (n->data.size() > f && n->data[f] != 0)
            delete n;
        else
            keep.push_back(n);
    }
    s.records.adopt(keep);
    b.recCount = s.records.count();
    if (b.recCount == 0) {
        b.recNo = 0;
        b.eof = b.bof = true;
    } else {
        loadAt(b, s, 1);
        b.eof = b.bof = false;
    }
    return true;
}

bool popRecord(WorkAreaBlock& b, VFileState& s) {
    if (s.records.count() == 0)
        return fail(1100,
                    "Virtual file empty - no more records to POP from " + b.alias + " [(PopRec) VFiles]");
    if (b.appendMode == static_cast<uint8_t>(LStatusType::INSERTION))
        return fail(1100, "Cannot POP a record in INSERTION mode from " + b.alias + " [(PopRec) VFiles]");
    loadNode(b, *s.records.at(1));
    s.records.removeAt(1);
    b.recCount = s.records.count();
    b.recNo = b.recCount > 0 ? 1 : 0;
    b.eof = b.bof = b.recCount == 0;
    return true;
}

void resetRecords(WorkAreaBlock& b, VFileState& s) {
    s.records.clear();
    b.recCount = 0;
    b.recNo = 0;
    b.eof = b.bof = true;
}

class VirtualFileDriver : public VFileDriver {
public:
    void call(WorkAreaBlock& b) override {
        // The operation is read first: an operation can re-enter the driver (INSERTION steps back with
        // the ordinary skip), which overwrites both words.
        const uint8_t op = b.vfOp;
        const int32_t arg = b.vfArg;
        if (op == kVfOpen) {
            b.virtualArea = std::make_unique<VFileState>();
            resetRecords(b, *stateOf(b));
            return;
        }
        VFileState* s = stateOf(b);
        if (op == kVfClose) {
            if (s) s->records.clear();
            b.fields.clear();
            b.fieldCount = 0;
            b.recCount = 0;
            b.recNo = 0;
            b.eof = b.bof = true;
            b.virtualArea.reset();
            return;
        }
        if (!s) {
            fail(1102, "No record list for " + b.alias + " [VFiles]");
            return;
        }
        if (s->keyCalls > 0 && op != kVfGet && op != kVfNoOp) {
            fail(1103, b.alias + " is being ordered and cannot change now [VFiles]");
            return;
        }
        switch (op) {
            case kVfDelete:
                setFlag(b, *s, 1);
                break;
            case kVfRecall:
                setFlag(b, *s, 0);
                break;
            case kVfGet: {
                const int32_t n = s->records.count();
                if (arg < 1 || arg > n) {
                    fail(212, goError(b, arg, n));
                    break;
                }
                loadAt(b, *s, arg);
                b.eof = b.bof = false;
                break;
            }
            case kVfPack:
                packRecords(b, *s);
                break;
            case kVfPop:
                popRecord(b, *s);
                break;
            case kVfAppend:
                appendRecord(b, *s);
                break;
            case kVfPut:
                putRecord(b, *s, arg);
                break;
            case kVfRemove:
                removeCurrent(b, *s, "VFiles");
                break;
            case kVfNoOp:
                break;
            case kVfReset:
                resetRecords(b, *s);
                break;
            default:
                fail(1103, "Operation " + num(op) + " on " + b.alias + " [VFiles]");
                break;
        }
    }
};

// The current area when it is open and virtual; otherwise reports 215 or 1100 for routine.
WorkAreaBlock* virtualArea(const std::string& routine) {
    if (CheckDbfInUse(routine)) return nullptr;
    WorkAreaBlock* b = CurrentBlock();
    if (!b->isVirtual) {
        fail(1100, b->alias + " is not a virtual file. [" + routine + "]");
        return nullptr;
    }
    if (!stateOf(*b)) {
        fail(1102, "No record list for " + b->alias + " [" + routine + "]");
        return nullptr;
    }
    return b;
}

bool refuseWhileOrdering(WorkAreaBlock& b, const std::string& routine) {
    if (stateOf(b)->keyCalls == 0) return false;
    fail(1103, b.alias + " is being ordered and cannot change now [" + routine + "]");
    return true;
}

}  // namespace

void InstallVirtualFiles(Engine& engine) {
    engine.tables.vfile = std::make_unique<VirtualFileDriver>();
}

bool AddStru(const FieldDescriptor* fields, int count) {
    WorkAreaBlock* b = virtualArea("AddStru");
    if (!b) return false;
    if (count < 0 || count > 255 || (count > 0 && !fields))
        return fail(211, "Invalid field count " + num(count) + " in VFile field list. Alias= " + b->alias +
                             " [AddStru]");
    const int cp = eng().settings.ansiCodePage;
    // The whole list is checked before the old one is replaced: a refused list changes nothing.
    TableBlock shape;
    shape.fields.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        FieldDescriptor f = fields[i];
        for (char& c : f.name) c = static_cast<char>(platform::UpperByte(cp, static_cast<unsigned char>(c)));
        if (f.name.size() > 10) f.name.resize(10);
        f.type = static_cast<char>(platform::UpperByte(cp, static_cast<unsigned char>(f.type)));
        switch (f.type) {
            case 'C':
            case 'F':
            case 'N':
                if (f.length == 0)
                    return fail(211, "Invalid length, field name: \"" + f.name +
                                         "\" in VFile field list. Alias= " + b->alias + " [AddStru]");
                break;
            case 'D':
                f.length = 8;
                break;
            case 'L':
                f.length = 1;
                break;
            case 'M':
                f.type = 'N';
                f.length = 10;
                f.decimals = 0;
                break;
            default:
                return fail(211, std::string("Invalid type \"") + f.type +
                                     "\" in VFile field list. Alias= " + b->alias + " [AddStru]");
        }
        shape.fields.push_back(std::move(f));
    }
    // Field reads and writes go through the typed buffer: a list that needs more room than the buffer has
    // would have them run past its end.
    const size_t need = TypedRecordSize(shape);
    if (!varying(*b) && need > b->typedSize)
        return fail(266, "Database record/buffer size mismatch: " + b->alias + " [AddStru]\n\rRecord Size=" +
                             num(static_cast<int64_t>(need)) + ", Buffer Size=" + num(b->typedSize));
    b->fields = std::move(shape.fields);
    b->fieldCount = static_cast<uint8_t>(count);
    return true;
}

bool AddStru(const std::vector<FieldDescriptor>& fields) {
    return AddStru(fields.data(), static_cast<int>(std::min<size_t>(fields.size(), 0x7FFFFFFF)));
}

bool Set_VFileKey_To(TXbKeyMaker keyMaker) {
    WorkAreaBlock* b = virtualArea("Set_VFileKey_To");
    if (!b || refuseWhileOrdering(*b, "Set_VFileKey_To")) return false;
    stateOf(*b)->keyMaker = std::move(keyMaker);
    return true;
}

LStatusType Get_VFileMode() {
    WorkAreaBlock* b = virtualArea("Get_VFileMode");
    return b ? static_cast<LStatusType>(b->appendMode) : LStatusType::FIFO;
}

bool Set_VFileMode_To(LStatusType mode) {
    WorkAreaBlock* b = virtualArea("Set_VFileMode_To");
    if (!b) return false;
    const uint8_t m = static_cast<uint8_t>(mode);
    if (m > static_cast<uint8_t>(LStatusType::DESCENDING))
        return fail(1100, num(m) + " is an invalid VFile mode set for " + b->alias + " [Set_VFileMode_To]");
    if (b->recCount >= 2 && sortedMode(m) && m != b->appendMode)
        return fail(1100, "Cannot set a sort mode on a virtual file containing records. (" + b->alias +
                              ") [(Set_VFileMode_To) VFiles]");
    b->appendMode = m;
    return true;
}

bool SnipRec() {
    eng().errors.lastError = 0;
    WorkAreaBlock* b = virtualArea("SnipRec");
    if (!b || refuseWhileOrdering(*b, "SnipRec")) return false;
    return removeCurrent(*b, *stateOf(*b), "SnipRec");
}

bool SortVFile(LStatusType mode) {
    WorkAreaBlock* src = virtualArea("SortVFile");
    if (!src || refuseWhileOrdering(*src, "SortVFile")) return false;
    VFileState& srcState = *stateOf(*src);
    if (!sortedMode(static_cast<uint8_t>(mode)))
        return fail(220, "Sort mode not ASCENDING or DESCENDING for " + src->alias + " [(SortVFile) VFiles]");
    if (!srcState.keyMaker)
        return fail(1100, src->alias + " has no KeyMaker.  Records cannot be sorted. [SortVFile]");

    // The records are inserted one by one, in their present order, into a sorted file in the engine's
    // area 35 over the same typed buffer, whose list then becomes the source's.
    Engine& e = eng();
    const uint8_t srcArea = e.currentArea;
    if (srcArea == 35) return fail(1103, src->alias + " is in the sort area itself [SortVFile]");
    e.currentArea = 35;
    bool opened = false;
    try {
        opened = Use("**__**__** LINKED LIST  TO HEAP", src->typed, src->typedSize);
    } catch (...) {
        e.currentArea = srcArea;
        throw;
    }
    WorkAreaBlock* tmp = AreaBlock(35);
    e.currentArea = srcArea;
    auto closeTemp = [&] {
        e.currentArea = 35;
        CloseDatabase();
        e.currentArea = srcArea;
    };
    if (!opened || !tmp || !stateOf(*tmp)) {
        closeTemp();
        if (LastError() == 0)
            return fail(1102, "Cannot open the sort area for " + src->alias + " [SortVFile]");
        return false;
    }
    VFileState& tmpState = *stateOf(*tmp);
    tmp->appendMode = static_cast<uint8_t>(mode);
    tmpState.keyMaker = srcState.keyMaker;

    // The key callback runs with the source area current, so it may read the source's fields.
    // Nor may anything change the source while its records are on the move.
    auto busy = std::make_unique<Ordering>(srcState);
    const std::vector<RecordNode*> original = srcState.records.inOrder();
    const int32_t count = static_cast<int32_t>(original.size());
    const int32_t savedPos = src->recNo;
    std::unique_ptr<RecordNode> pending;
    // A failed sort puts every record back in its old order.
    auto rollback = [&] {
        busy.reset();
        (void)pending.release();
        tmpState.records.releaseAll();
        srcState.records.releaseAll();
        srcState.records.adopt(original);
        src->recCount = count;
        if (savedPos >= 1 && savedPos <= count) {
            loadAt(*src, srcState, savedPos);
        } else {
            src->recNo = savedPos;
        }
        closeTemp();
    };
    try {
        for (int32_t i = 0; i < count; ++i) {
            pending = srcState.records.removeAt(1);
            src->recCount = srcState.records.count();
            loadNode(*tmp, *pending);
            if (!addRecord(*tmp, tmpState, pending)) {
                FirstError failed;
                failed.take();
                rollback();
                return false;
            }
        }
    } catch (...) {
        rollback();
        throw;
    }
    busy.reset();
    srcState.records.swap(tmpState.records);
    src->recCount = srcState.records.count();
    src->appendMode = tmp->appendMode;
    src->memoryKind = tmp->memoryKind;
    src->vfArg = tmp->vfArg;
    closeTemp();
    return GoTop();
}

}  // namespace xb
