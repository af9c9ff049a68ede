#include "engine/index/mdx_build.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/file_support.h"
#include "engine/core/locks.h"
#include "engine/core/record_writes.h"
#include "engine/core/text_support.h"
#include "engine/core/typed_record.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_node.h"
#include "engine/index/mdx_search.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace xb {

namespace {

// ---- progress -----------------------------------------------------------------------------------------

// The progress of the builds of one engine: a new engine starts without a hook.
struct ProgressHook final : UnitState {
    MakeIndexProgress callback;
    int steps = 0;
    // Steps handed to the tags of one MakeIndex, so that the whole build fills the window once; -1 outside.
    int stepsOverride = -1;
    // Progress calls made since the current MakeIndex began.
    int callsMade = 0;
};

ProgressHook& progressHook() {
    return Engine::current().unit<ProgressHook>();
}

constexpr size_t kReadBufferHalf = 65512 / 2;
constexpr size_t kRunBufferBytes = 32768;
constexpr size_t kWriteBatchNodes = 32;

}  // namespace

void SetMakeIndexProgress(MakeIndexProgress callback, int steps) {
    ProgressHook& h = progressHook();
    h.steps = steps > 0 ? steps : 0;
    h.callback = h.steps > 0 ? std::move(callback) : MakeIndexProgress{};
}

BuildProgress::BuildProgress(int steps, int64_t records)
    : m_steps(std::max(steps, 0)), m_interval(std::max<int64_t>(2, steps > 0 ? 2 * (records / steps) : 2)) {}

void BuildProgress::tick(int64_t n) {
    if (m_calls < m_steps && n % m_interval == 0) call();
}

void BuildProgress::finish() {
    while (m_calls < m_steps) call();
}

void BuildProgress::call() {
    ++m_calls;
    ProgressHook& h = progressHook();
    ++h.callsMade;
    if (h.callback)
        h.callback();
    else
        platform::CurrentUi().progressStep(m_calls);
}

// ---- the bottom-up writer -----------------------------------------------------------------------------

namespace {

using Node = std::array<uint8_t, kMdxNodeSize>;

// Lays sorted items down as a B-tree: full leaves from the left, each written leaf's block entered in
// the level above with the leaf's last key, full branch nodes written in turn, the last nodes of each
// level closed at the end. Nodes go out in batches at consecutive blocks.
class TreeWriter {
public:
    TreeWriter(platform::File& out, uint64_t offset, const KeyOrder& order, bool unique)
        : m_out(out),
          m_next(offset),
          m_batchOffset(offset),
          m_order(order),
          m_unique(unique),
          m_keyLength(order.keyLength),
          m_itemLength(ItemLengthFor(order.keyLength)),
          m_maxKeys(MaxKeysFor(order.keyLength)),
          m_levels(1) {
        m_levels[0].fill(0);
    }

    // The item: key bytes then the u32 record number. False after a write failure (see error()).
    bool add(const uint8_t* item) {
        const uint8_t* key = item;
        if (m_unique && m_havePrev && m_order.compare(key, m_prev.data()) == 0) return true;
        std::memcpy(m_prev.data(), key, m_keyLength);
        m_havePrev = true;
        if (NodeCount(m_levels[0].data()) == m_maxKeys) {
            std::array<uint8_t, kMaxKeyLength> separator;
            std::memcpy(separator.data(), NodeEntry(m_levels[0].data(), m_itemLength, m_maxKeys - 1) + 4,
                        m_keyLength);
            uint32_t child = writeNode(m_levels[0]);
            size_t level = 1;
            for (;;) {
                if (level == m_levels.size()) {
                    m_levels.emplace_back();
                    m_levels.back().fill(0);
                }
                uint8_t* node = m_levels[level].data();
                const uint16_t count = NodeCount(node);
                PutU32(NodeEntry(node, m_itemLength, count), child);
                if (count < m_maxKeys) {
                    std::memcpy(NodeEntry(node, m_itemLength, count) + 4, separator.data(), m_keyLength);
                    SetNodeCount(node, static_cast<uint16_t>(count + 1));
                    break;
                }
                // Full: the pointer just placed is its rightmost child; it goes up in turn.
                child = writeNode(m_levels[level]);
                ++level;
            }
            for (size_t l = 1; l < level; ++l) m_levels[l].fill(0);
            m_levels[0].fill(0);
        }
        Node& leaf = m_levels[0];  // the levels may have grown above
        const uint16_t count = NodeCount(leaf.data());
        uint8_t* entry = NodeEntry(leaf.data(), m_itemLength, count);
        std::memcpy(entry, item + m_keyLength, 4);
        std::memcpy(entry + 4, key, m_keyLength);
        SetNodeCount(leaf.data(), static_cast<uint16_t>(count + 1));
        return m_rc == 0;
    }

    // Writes the last leaf and closes every higher level that holds a key; the last node is the root.
    bool finish(uint32_t& root) {
        uint32_t last = writeNode(m_levels[0]);
        for (size_t l = 1; l < m_levels.size(); ++l) {
            uint8_t* node = m_levels[l].data();
            const uint16_t count = NodeCount(node);
            if (count == 0) continue;
            PutU32(NodeEntry(node, m_itemLength, count), last);
            last = writeNode(m_levels[l]);
        }
        flush();
        root = last;
        return m_rc == 0;
    }

    int error() const { return m_rc; }

private:
    uint32_t writeNode(const Node& node) {
        const uint32_t block = static_cast<uint32_t>(m_next / kMdxBlockSize);
        m_batch.insert(m_batch.end(), node.begin(), node.end());
        m_next += kMdxNodeSize;
        if (m_batch.size() >= kWriteBatchNodes * kMdxNodeSize) flush();
        return block;
    }
    void flush() {
        if (m_batch.empty() || m_rc != 0) return;
        m_rc = m_out.writeAt(m_batchOffset, m_batch.data(), m_batch.size());
        m_batchOffset += m_batch.size();
        m_batch.clear();
    }

    platform::File& m_out;
    uint64_t m_next;
    uint64_t m_batchOffset;
    KeyOrder m_order;
    bool m_unique;
    uint16_t m_keyLength, m_itemLength, m_maxKeys;
    std::vector<Node> m_levels;  // 0 = the leaf
    std::vector<uint8_t> m_batch;
    std::array<uint8_t, kMaxKeyLength> m_prev{};
    bool m_havePrev = false;
    int m_rc = 0;
};

}  // namespace

// ---- sorted runs and their merge ----------------------------------------------------------------------

TagBuilder::TagBuilder(const KeyOrder& order, bool unique, std::string tempDir)
    : m_order(order), m_unique(unique), m_itemSize(order.keyLength + 4u), m_tempDir(std::move(tempDir)) {
    m_pool.resize(kRunItems * m_itemSize);
}

TagBuilder::~TagBuilder() {
    removeTemp();
}

int TagBuilder::compareItems(const uint8_t* a, const uint8_t* b) const {
    if (const int c = m_order.compare(a, b); c != 0) return c;
    const uint32_t ra = GetU32(a + m_order.keyLength);
    const uint32_t rb = GetU32(b + m_order.keyLength);
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

bool TagBuilder::add(const uint8_t* key, uint32_t record) {
    if (m_poolItems == kRunItems && !flushRun()) return false;
    uint8_t* p = m_pool.data() + m_poolItems * m_itemSize;
    std::memcpy(p, key, m_order.keyLength);
    PutU32(p + m_order.keyLength, record);
    ++m_poolItems;
    ++m_added;
    return true;
}

namespace {

// The pool's items in order, as offsets into the pool.
std::vector<uint32_t> sortedOffsets(const uint8_t* pool, size_t items, size_t itemSize,
                                    const std::function<int(const uint8_t*, const uint8_t*)>& cmp) {
    std::vector<uint32_t> idx(items);
    for (size_t i = 0; i < items; ++i) idx[i] = static_cast<uint32_t>(i * itemSize);
    std::sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) { return cmp(pool + a, pool + b) < 0; });
    return idx;
}

}  // namespace

bool TagBuilder::flushRun() {
    if (m_poolItems == 0) return true;
    if (m_tempName.empty()) {
        int rc = platform::UniqueTempFile(m_tempDir, "MDX", m_tempName);
        m_tempNamed = rc == 0;
        if (rc == 0) rc = m_temp.open(m_tempName, platform::kModeExclusive);
        // The open handle is all the build needs: without its name the file goes with the handle, also
        // when the station dies. A file system that refuses has it removed at the build's end.
        if (rc == 0 && platform::RemoveFileIfExists(m_tempName) == 0) m_tempNamed = false;
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc),
                           "Cannot create temporary file in " + m_tempDir + " [MakeIndex]");
            removeTemp();
            return false;
        }
    }
    const auto idx = sortedOffsets(m_pool.data(), m_poolItems, m_itemSize,
                                   [this](const uint8_t* a, const uint8_t* b) { return compareItems(a, b); });
    std::vector<uint8_t> out;
    out.reserve(m_poolItems * m_itemSize);
    for (uint32_t off : idx) out.insert(out.end(), m_pool.data() + off, m_pool.data() + off + m_itemSize);
    const int rc = m_temp.writeAt(m_tempSize, out.data(), out.size());
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc),
                       "Error writing temporary file " + m_tempName + " [MakeIndex]");
        return false;
    }
    m_runs.push_back(Run{m_tempSize, m_poolItems});
    m_tempSize += out.size();
    m_poolItems = 0;
    return true;
}

bool TagBuilder::removeTemp() {
    if (m_temp.isOpen()) m_temp.close();
    if (m_tempName.empty()) return true;
    const bool ok = !m_tempNamed || platform::RemoveFileIfExists(m_tempName) == 0;
    m_tempName.clear();
    m_tempNamed = false;
    return ok;
}

bool TagBuilder::finish(platform::File& out, uint32_t& root, BuildProgress* progress) {
    uint64_t oldSize = 0;
    if (const int rc = out.size(oldSize); rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error reading index file size [MakeIndex]");
        return false;
    }
    const uint64_t start = NextObjectOffset(oldSize);
    TreeWriter writer(out, start, m_order, m_unique);
    int64_t written = 0;
    auto put = [&](const uint8_t* item) {
        const bool ok = writer.add(item);
        ++written;
        if (progress) progress->tick(written);
        return ok;
    };
    bool ok = true;
    std::string failure = "Error writing index file " + out.path() + " [MakeIndex]";
    if (m_runs.empty()) {
        const auto idx =
            sortedOffsets(m_pool.data(), m_poolItems, m_itemSize,
                          [this](const uint8_t* a, const uint8_t* b) { return compareItems(a, b); });
        for (size_t i = 0; ok && i < idx.size(); ++i) ok = put(m_pool.data() + idx[i]);
    } else if (!flushRun()) {
        return false;
    } else {
        // Each run is read through its own buffer; the runs stand in the order of their current items.
        struct Cursor {
            uint64_t pos, end;
            std::vector<uint8_t> buf;
            size_t len = 0, off = 0;
        };
        const size_t bufBytes = std::max<size_t>(1, kRunBufferBytes / m_itemSize) * m_itemSize;
        std::vector<Cursor> runs;
        int readRc = 0;
        auto load = [&](Cursor& c) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(bufBytes, c.end - c.pos));
            readRc = m_temp.readAt(c.pos, c.buf.data(), n);
            c.pos += n;
            c.len = n;
            c.off = 0;
            return readRc == 0;
        };
        for (const Run& r : m_runs) {
            runs.push_back(Cursor{r.start, r.start + r.count * m_itemSize, std::vector<uint8_t>(bufBytes)});
            if (!load(runs.back())) break;
        }
        std::vector<size_t> order(runs.size());
        std::iota(order.begin(), order.end(), 0);
        auto current = [&](size_t i) { return runs[i].buf.data() + runs[i].off; };
        auto before = [&](size_t a, size_t b) { return compareItems(current(a), current(b)) < 0; };
        if (readRc == 0) std::sort(order.begin(), order.end(), before);
        while (ok && readRc == 0 && !order.empty()) {
            const size_t first = order.front();
            ok = put(current(first));
            Cursor& c = runs[first];
            c.off += m_itemSize;
            if (c.off == c.len) {
                if (c.pos == c.end) {
                    order.erase(order.begin());
                    continue;
                }
                if (!load(c)) break;
            }
            // Back to its place among the others by binary search.
            const auto at = std::lower_bound(order.begin() + 1, order.end(), first, before);
            std::rotate(order.begin(), order.begin() + 1, at);
        }
        if (readRc != 0) {
            ok = false;
            failure = "Error reading temporary file " + m_tempName + " [MakeIndex]";
            SetEngineError(static_cast<uint16_t>(readRc), failure);
        }
    }
    if (ok) ok = writer.finish(root);
    removeTemp();
    if (!ok) {
        if (writer.error() != 0) SetEngineError(static_cast<uint16_t>(writer.error()), failure);
        out.truncate(oldSize);  // no half-written nodes stay behind
        return false;
    }
    return true;
}

// ---- building a tag from the table --------------------------------------------------------------------

namespace {

// The compiled key and FOR expressions of a tag being built, and how a record's key is made.
struct KeyMaker {
    ExprRecord* key = nullptr;
    ExprRecord* cond = nullptr;
    char type = 'C';
    uint16_t keyLength = 0;
    int decimals = 0;
    bool oem = false;
    int oemCp = 0;  // the table's stored code page

    KeyMaker() = default;
    KeyMaker(const KeyMaker&) = delete;
    KeyMaker& operator=(const KeyMaker&) = delete;
    ~KeyMaker() {
        FreeExpr(key);
        FreeExpr(cond);
    }

    bool holds() const {
        if (!cond) return true;
        const uint8_t* r = EvaluateExpr(cond);
        return r && r[0] != 0;
    }
    void make(uint8_t* out) const {
        const uint8_t* r = EvaluateExpr(key);
        if (type == 'C') {
            // Texts of another length than the key are cut or blank-padded to it.
            const size_t n = r ? std::min<size_t>(key->resultTextLength, keyLength) : 0;
            if (n) std::memcpy(out, r, n);
            std::memset(out + n, ' ', keyLength - n);
            if (oem) AnsiToOemBuf(reinterpret_cast<char*>(out), keyLength, oemCp);
            return;
        }
        double v = 0;
        if (r) std::memcpy(&v, r, sizeof v);
        if (type == 'D')
            DateToKey(v, out);
        else
            FloatToBcdKey(v, decimals, out);
    }
};

// The area's current record, put back after a build has read through the table.
struct SavedRecord {
    WorkAreaBlock& b;
    std::vector<char> raw;
    std::vector<uint8_t> typed;
    int32_t recNo;
    bool eof, bof;
    explicit SavedRecord(WorkAreaBlock& block)
        : b(block), raw(block.raw), recNo(block.recNo), eof(block.eof), bof(block.bof) {
        if (b.typed) typed.assign(b.typed, b.typed + b.typedSize);
    }
    ~SavedRecord() {
        b.raw = raw;
        if (b.typed && !typed.empty()) std::memcpy(b.typed, typed.data(), typed.size());
        b.recNo = recNo;
        b.eof = eof;
        b.bof = bof;
    }
};

std::string dirOf(const std::string& path) {
    std::string dir, name, ext;
    FSplit(platform::AbsolutePath(path), dir, name, ext);
    return dir.empty() ? "./" : dir;
}

// Free space for the sorted runs and for the nodes: the runs go to the temporary directory when it has
// room, else beside the index. Answers the directory of the runs, or "" after reporting 227.
bool chooseSpace(const std::string& indexPath, int64_t records, uint16_t itemSize, uint16_t maxKeys,
                 std::string& runDir) {
    uint64_t nodes = kMdxNodeSize;  // the tag header page
    for (uint64_t per = maxKeys;; per *= maxKeys) {
        nodes += (static_cast<uint64_t>(records) / per + 1) * kMdxNodeSize;
        if (per > static_cast<uint64_t>(records)) break;
    }
    const uint64_t runs =
        records > static_cast<int64_t>(TagBuilder::kRunItems) ? static_cast<uint64_t>(records) * itemSize : 0;
    const std::string indexDir = dirOf(indexPath);
    auto freeOf = [](const std::string& dir) {
        uint64_t bytes = 0;
        return platform::DiskFreeBytes(dir, bytes) ? bytes : UINT64_MAX;  // unknown: do not refuse
    };
    const uint64_t indexFree = freeOf(indexDir);
    runDir = platform::TempDir();
    uint64_t indexNeed = nodes;
    if (runs > 0 && freeOf(runDir) < runs) {
        runDir = indexDir;
        indexNeed += runs;
    }
    if (indexFree < indexNeed) {
        SetEngineError(227, "Available disk space: " + std::to_string(indexFree / 1024) + " KBytes;" +
                                "needed: " + std::to_string(indexNeed / 1024) + " KBytes [MakeIndex]");
        return false;
    }
    return true;
}

// Reads the whole table and builds the tag's tree at the end of the index file.
bool buildTag(WorkAreaBlock& b, MdxArea& area, const KeyMaker& km, bool unique, bool descending,
              BuildProgress& progress, uint32_t& root, bool& forSatisfied) {
    const int32_t count = b.recCount;
    const KeyOrder order{km.type, km.keyLength, descending};
    std::string runDir;
    if (!chooseSpace(area.file.path(), count, ItemLengthFor(km.keyLength), MaxKeysFor(km.keyLength), runDir))
        return false;
    TagBuilder builder(order, unique, runDir);
    SavedRecord saved(b);
    forSatisfied = false;
    if (count > 0 && b.recordSize > 0) {
        const size_t perChunk = std::max<size_t>(1, kReadBufferHalf / b.recordSize);
        std::vector<char> chunk(perChunk * b.recordSize);
        std::array<uint8_t, kMaxKeyLength> key{};
        for (int32_t first = 1; first <= count;) {
            const size_t n = std::min<size_t>(perChunk, static_cast<size_t>(count - first + 1));
            const int rc = b.file.readAt(b.recordOffset(first), chunk.data(), n * b.recordSize);
            if (rc != 0) {
                SetEngineError(static_cast<uint16_t>(rc), "File:  " + b.fileName + " [MakeIndex]");
                return false;
            }
            TranslateRecord(TranslateDir::Read, b.oem, b.readProc, n * b.recordSize, b.recordSize,
                            chunk.data(), b.codePage);
            for (size_t j = 0; j < n; ++j) {
                const int32_t rec = first + static_cast<int32_t>(j);
                std::memcpy(b.raw.data(), chunk.data() + j * b.recordSize, b.recordSize);
                b.recNo = rec;
                b.eof = b.bof = false;
                if (b.typed) RawToTypedRecord(b, b.typed);
                progress.tick(rec);
                if (!km.holds()) continue;
                forSatisfied = true;
                km.make(key.data());
                if (!builder.add(key.data(), static_cast<uint32_t>(rec))) return false;
            }
            first += static_cast<int32_t>(n);
        }
    }
    return builder.finish(area.file, root, &progress);
}

bool addIndexTag(const TagDefinition& def, bool lock, int steps) {
    const std::string routine = " [AddIndexTag()]";
    if (CheckDbfInUse("AddIndexTag()")) return false;
    WorkAreaBlock& b = *CurrentBlock();
    // Every call makes its progress steps, also when it fails.
    RefreshRecCount(b);
    BuildProgress progress(steps, b.recCount);
    struct Finisher {
        BuildProgress& p;
        ~Finisher() { p.finish(); }
    } finisher{progress};
    MdxArea* area = CurrentMdxArea();
    if (!area || !area->file.isOpen()) {
        SetEngineError(221, "Index not open. (DBF=" + DbfName() + ")" + routine);
        return false;
    }
    const std::string name = AsciiUpper(AllTrim(def.name)).substr(0, kMaxTagName);
    if (name.empty()) {
        SetEngineError(220, "Empty tag name" + routine);
        return false;
    }
    if (area->header.findTag(name) == 0 && area->header.tagCount() >= kMaxTags) {
        SetEngineError(220, "Too many tags (at most 47) for " + name + routine);
        return false;
    }
    std::string forText = TrimRightStr(def.forExpr);
    if (!forText.empty()) {
        std::string check = forText;
        if (const int code = CheckExpression(check, false); code != kCheckOk) {
            SetEngineError(static_cast<uint16_t>(code), "Invalid FOR expression for " + name + routine);
            return false;
        }
    }
    const std::string keyText = TrimRightStr(def.keyExpr);
    if (keyText.size() > kMaxExpression) {
        SetEngineError(300, "Expression length exceeds 100 bytes" + routine);
        return false;
    }
    KeyMaker km;
    km.key = AssignExpr(keyText);
    if (!km.key) return false;
    const char type = km.key->resultType;
    if (type != 'C' && type != 'D' && type != 'N' && type != 'F') {
        SetEngineError(254, "Wrong parser return type" + routine);
        return false;
    }
    km.type = type;
    km.decimals = km.key->decimals;
    km.oem = b.oem;
    km.oemCp = StoredCodePage(b);
    int length = type == 'D' ? static_cast<int>(kDateKeyLength) : static_cast<int>(kBcdKeyLength);
    if (type == 'C') {
        const uint8_t* r = EvaluateExpr(km.key);
        length = r ? km.key->resultTextLength : 0;
    }
    if (length < 1 || length > kMaxKeyLength) {
        SetEngineError(266, "Incorrect key length: Must be 1 to 100." + routine);
        return false;
    }
    km.keyLength = static_cast<uint16_t>(length);
    if (!forText.empty()) {
        km.cond = AssignExpr(forText);
        if (!km.cond) return false;
    }

    const bool takeLock = lock && !b.exclusive;
    if (takeLock && !FileLockByte()) {
        SetEngineError(225, DbfName() + routine);
        return false;
    }
    struct Unlocker {
        bool on;
        ~Unlocker() {
            if (on) FileUnlock();
        }
    } unlocker{takeLock};
    // The build writes the file past the node cache: what the area kept of the file goes, before the
    // build and after it (a failed build truncates the file again). Index writes held back go first.
    if (FlushDeferredWrites(*area) != 0) return false;
    area->nodes.clear();
    struct CacheDropper {
        NodeCache& nodes;
        ~CacheDropper() { nodes.clear(); }
    } dropper{area->nodes};

    uint32_t root = 0;
    bool forSatisfied = false;
    // The file as it ends before the tree: a tag that cannot be finished leaves nothing past it.
    uint64_t before = 0;
    if (const int rc = area->file.size(before); rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Error reading index file size [MakeIndex]");
        return false;
    }
    if (!buildTag(b, *area, km, def.unique, def.descending, progress, root, forSatisfied)) return false;

    TagDefinition stored = def;
    stored.name = name;
    stored.keyExpr = keyText;
    stored.forExpr = forText;
    const TagHeader page = TagHeader::make(stored, km.type, km.keyLength, root, forSatisfied);
    std::array<uint8_t, kMdxNodeSize> bytes{};
    std::memcpy(bytes.data(), page.bytes.data(), kTagHeaderCopySize);
    uint64_t size = 0;
    int rc = area->file.size(size);
    const uint64_t at = NextObjectOffset(size);
    if (rc == 0) rc = area->file.writeAt(at, bytes.data(), bytes.size());
    if (rc != 0) {
        area->file.truncate(before);
        SetEngineError(static_cast<uint16_t>(rc), " [MakeIndex]");
        return false;
    }
    area->header.addTagEntry(name, static_cast<uint32_t>(at / kMdxBlockSize), km.type);
    area->header.setBlockCounter(static_cast<uint32_t>((at + kMdxNodeSize) / kMdxBlockSize));
    area->header.changed = true;
    return true;
}

// Closes the current area's index through the driver when one is installed, else drops its state.
void closeCurrentIndex() {
    Engine& e = Engine::current();
    if (e.tables.index && e.tables.indexLinked) e.tables.index->closeIndex();
    if (WorkAreaBlock* b = CurrentBlock()) b->indexArea.reset();
}

}  // namespace

bool AddIndexTag(const TagDefinition& def, bool lock) {
    const ProgressHook& h = progressHook();
    return addIndexTag(def, lock, h.stepsOverride >= 0 ? h.stepsOverride : h.steps);
}

bool MakeIndex(const std::vector<TagDefinition>& defs, const std::string& fileName) {
    if (CheckDbfInUse("MakeIndex")) return false;
    WorkAreaBlock& b = *CurrentBlock();
    closeCurrentIndex();
    const std::string path = GivenIndexFileName(b.fileName, fileName);

    size_t tags = 0;
    while (tags < defs.size() && !AllTrim(defs[tags].name).empty()) ++tags;
    ProgressHook& hook = progressHook();
    const int steps = hook.steps;
    // The window of the whole build receives all its steps, whatever happens.
    hook.callsMade = 0;
    struct StepFiller {
        ProgressHook& hook;
        int steps;
        ~StepFiller() {
            hook.stepsOverride = -1;
            BuildProgress rest(steps - hook.callsMade, 0);
            rest.finish();
        }
    } filler{hook, steps};
    FirstError first;

    bool reopened = false;
    if (!b.exclusive && platform::FileExists(path)) {
        const int rc = EraseFile(path);
        if (rc == platform::kErrAccessDenied || rc == platform::kErrSharingViolation) {
            if (ReopenDbfFile(true) != 0) {
                SetEngineError(225, DbfName() + " MakeIndex(" + path + ")");
                return false;
            }
            reopened = true;
        }
    }
    auto reopenShared = [&]() {
        if (!reopened) return true;
        reopened = false;
        if (const int rc = ReopenDbfFile(false); rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc),
                           "Cannot_Reopen_Database_Sharable MakeIndex(" + path + ")");
            return false;
        }
        return true;
    };
    auto fail = [&]() {
        first.take();
        reopenShared();
        return false;
    };
    if (platform::FileExists(path)) {
        // A file another station still holds open is refused, not truncated under it.
        if (const int rc = EraseFile(path); rc != 0 && rc != platform::kErrFileNotFound) {
            SetEngineError(static_cast<uint16_t>(rc), "Cannot erase " + path + " [MakeIndex]");
            return fail();
        }
    }
    if (!CreateMdxHeader(path)) return fail();

    bool ok = true;
    for (size_t i = 0; i < tags; ++i) {
        // The whole build fills the progress window once: the steps are shared out among the tags.
        hook.stepsOverride = static_cast<int>(
            static_cast<int64_t>(steps) * static_cast<int64_t>(i + 1) / static_cast<int64_t>(tags) -
            static_cast<int64_t>(steps) * static_cast<int64_t>(i) / static_cast<int64_t>(tags));
        if (!addIndexTag(defs[i], false, hook.stepsOverride)) {
            first.take();
            ok = false;
        }
    }
    hook.stepsOverride = -1;

    if (MdxArea* area = CurrentMdxArea()) {
        if (!FlushMdxHeader(*area)) {
            first.take();
            ok = false;
        }
        area->file.close();
    }
    b.indexArea.reset();
    if (!reopenShared()) {
        first.take();
        ok = false;
    }
    // The table's own index is its production index whoever creates it: other programs then open and
    // keep it up too.
    if (ok && AsciiUpper(path) == AsciiUpper(IndexFileNameOf(b.fileName))) SetMdxFlag(true);
    return ok;
}

bool ReadTagDefinitions(std::vector<TagDefinition>& defs) {
    defs.clear();
    MdxArea* area = CurrentMdxArea();
    if (!area || !area->file.isOpen()) {
        SetEngineError(221, "Index not open. (DBF=" + DbfName() + ") [Reindex]");
        return false;
    }
    uint64_t size = 0;
    area->file.size(size);
    for (int n = 1; n <= area->header.tagCount(); ++n) {
        TagHeader h;
        const MdxTag* open = nullptr;
        for (const auto& t : area->tags)
            if (t && t->number == n) open = t.get();
        int rc = 0;
        if (open) {
            h = open->header;
        } else {
            rc = area->file.readAt(static_cast<uint64_t>(area->header.tagBlock(n)) * kMdxBlockSize,
                                   h.bytes.data(), kTagHeaderCopySize);
            if (rc == 0 && !CheckTagHeader(h, size).empty()) rc = 222;
        }
        if (rc != 0) {
            SetEngineError(static_cast<uint16_t>(rc), "Unable to read tag " + area->header.tagName(n) +
                                                          " of " + area->fileName + " [Reindex()]");
            return false;
        }
        defs.push_back(TagDefinition{area->header.tagName(n), h.keyExpr(), h.hasFor() ? h.forExpr() : "",
                                     h.descending(), (h.flags() & kTagFlagUnique) != 0});
    }
    return true;
}

bool RebuildTagsInPlace() {
    WorkAreaBlock* b = CurrentBlock();
    MdxArea* area = CurrentMdxArea();
    if (!b || !area || !area->file.isOpen() || (area->file.mode() & 3) == 0) return false;
    // Index writes held back in this write bracket are dropped: every tag is laid down anew from the
    // rows, and the file's own header (not one held back) says where the file ends.
    area->pendingWrites.clear();
    area->pendingEnd = 0;
    // The file's own header and tag pages, not the area's copies: the area may be half-way through
    // opening, and a dead writer may have changed the pages since they were read. Where the file's are
    // damaged (overwritten from outside while the index was open), the area's sound copies, read when
    // it opened the index, describe the tags instead and are written back.
    uint64_t size = 0;
    MdxHeader header;
    if (area->file.size(size) != 0 || size < kMdxMinOpenSize ||
        area->file.readAt(0, header.bytes.data(), kMdxHeaderSize) != 0)
        return false;
    if (!CheckMdxHeader(header, size).empty()) {
        if (area->header.tagCount() < 1 || !CheckMdxHeader(area->header, size).empty()) return false;
        header.bytes = area->header.bytes;
    }
    auto keptPage = [&](int n) -> const TagHeader* {
        for (const auto& open : area->tags)
            if (open && open->number == n && CheckTagHeader(open->header, size).empty()) return &open->header;
        return nullptr;
    };
    // Every row in the file, whatever count the area kept: a count taken with the table's open, before
    // this station held the write lock, misses the rows other stations appended since, and a tree built
    // without them would lose their keys.
    if (IsSharedUse(*b)) {
        b->countJustRead = false;
        b->recCount = PhysRecCount(*b);
    }
    area->nodes.clear();
    struct CacheDropper {
        NodeCache& nodes;
        ~CacheDropper() { nodes.clear(); }
    } dropper{area->nodes};
    // A repair stopped part way (the disk full) has laid the trees of the tags before it past the end the
    // header names: the header is brought up to them, so that no program that takes new blocks from it
    // writes over a tree in use.
    bool laid = false;
    auto stopped = [&] {
        if (laid) {
            header.setBlockCounter(static_cast<uint32_t>((size + kMdxBlockSize - 1) / kMdxBlockSize));
            if (area->file.writeAt(0, header.bytes.data(), kMdxHeaderSize) == 0 &&
                area->header.tagCount() > 0)
                area->header.setBlockCounter(header.blockCounter());
        }
        return false;
    };
    for (int n = 1; n <= header.tagCount(); ++n) {
        const uint64_t at = static_cast<uint64_t>(header.tagBlock(n)) * kMdxBlockSize;
        TagHeader page;
        if (area->file.readAt(at, page.bytes.data(), kTagHeaderCopySize) != 0) return stopped();
        if (!CheckTagHeader(page, size).empty()) {
            const TagHeader* kept = keptPage(n);
            if (!kept) return stopped();
            page = *kept;
        }
        KeyMaker km;
        km.key = AssignExpr(TrimRightStr(page.keyExpr()));
        if (!km.key) return stopped();
        km.type = page.keyType();
        km.keyLength = page.keyLength();
        km.decimals = km.key->decimals;
        km.oem = b->oem;
        km.oemCp = StoredCodePage(*b);
        if (page.hasFor() && !TrimRightStr(page.forExpr()).empty()) {
            km.cond = AssignExpr(TrimRightStr(page.forExpr()));
            if (!km.cond) return stopped();
        }
        BuildProgress quiet(0, b->recCount);
        uint32_t root = 0;
        bool forSatisfied = false;
        if (!buildTag(*b, *area, km, page.unique(), page.descending(), quiet, root, forSatisfied))
            return stopped();
        page.setRoot(root);
        if (page.hasFor()) page.setForSatisfied(forSatisfied);
        // The new tree is whole before its root is named: a kill up to here leaves the old tree in use
        // and the mark set, and the next station starts again.
        if (area->file.writeAt(at, page.bytes.data(), kTagHeaderCopySize) != 0) return stopped();
        laid = true;
        for (auto& open : area->tags) {
            if (!open || open->number != n) continue;
            open->header = page;
            open->headerChanged = false;
            TagForgetPosition(*open);
            // The tree is new: a walk over it counts its keys afresh.
            open->walkDirection = 0;
            open->walkSteps = 0;
        }
        if (area->file.size(size) != 0) return stopped();
    }
    header.setBlockCounter(static_cast<uint32_t>((size + kMdxBlockSize - 1) / kMdxBlockSize));
    if (area->file.writeAt(0, header.bytes.data(), kMdxHeaderSize) != 0) return false;
    if (area->header.tagCount() > 0) {
        area->header.setBlockCounter(header.blockCounter());
    }
    return true;
}

bool RepairTableAndTags() {
    WorkAreaBlock* b = CurrentBlock();
    if (!b || b->isVirtual) return false;
    const uint64_t appendByte = kLockBase + 1;
    const bool held = !IsSharedUse(*b) || b->file.holdsLock(appendByte, 1);
    const bool taken = !held && (b->file.mode() & 3) != 0 && b->file.lock(appendByte, 1) == 0;
    if ((held || taken) && (b->file.mode() & 3) != 0) SettleTableEnd(*b);
    const bool ok = RebuildTagsInPlace();
    if (taken) b->file.unlock(appendByte, 1);
    return ok;
}

bool WriteIndexBeside(const std::string& besidePath, const std::function<void(bool)>& otherRows,
                      std::string& indexFile, std::string& currentOrder, bool& natural) {
    currentOrder.clear();
    indexFile.clear();
    natural = false;
    if (CheckDbfInUse("Reindex")) return false;
    std::vector<TagDefinition> defs;
    if (!ReadTagDefinitions(defs)) return false;
    MdxArea* area = CurrentMdxArea();
    natural = area->naturalOrder;
    if (!area->naturalOrder && area->tags[1]) currentOrder = area->tags[1]->name;
    indexFile = area->fileName;
    // The index is closed before the rows are swapped: its close talks to the table's own file (the
    // semaphore's logout takes the table's lock byte).
    closeCurrentIndex();
    // Whatever ends the build (a failure raised as an exception too), the area gets its rows back and
    // a file not finished goes.
    struct Build {
        const std::function<void(bool)>& rows;
        const std::string& path;
        bool whole = false;
        ~Build() {
            if (rows) rows(false);
            if (!whole) platform::RemoveFileIfExists(path);
        }
    } build{otherRows, besidePath};
    if (otherRows) otherRows(true);
    if (!MakeIndex(defs, besidePath)) return false;
    // Whole on the disk before anything names it as the index: a rename is only as good as the bytes
    // behind it.
    platform::File made;
    int rc = made.open(besidePath, platform::kModeExclusive);
    if (rc == 0) rc = made.flush();
    made.close();
    if (rc != 0) {
        SetEngineError(static_cast<uint16_t>(rc), "Cannot write " + besidePath + " [Reindex]");
        return false;
    }
    build.whole = true;
    return true;
}

bool ReindexRebuild(std::string& currentOrder, std::string& indexFile, bool& natural) {
    // The new file is written beside the old one and takes its name only when whole: a full disk or a
    // kill half-way leaves the old index, never one cut short.
    MdxArea* area = CurrentMdxArea();
    const std::string beside =
        area ? DerivedFileName(area->fileName, kIndexBesideExt) : std::string();
    if (!WriteIndexBeside(beside, {}, indexFile, currentOrder, natural)) return false;
    if (const int rc = platform::RenameFile(beside, indexFile); rc != 0) {
        platform::RemoveFileIfExists(beside);
        SetEngineError(static_cast<uint16_t>(rc), "Cannot put " + beside + " in place of " + indexFile + " [Reindex]");
        return false;
    }
    platform::SyncDirectoryOf(indexFile);
    return true;
}

bool ReindexRebuild(std::string& currentOrder) {
    std::string indexFile;
    bool natural = false;
    return ReindexRebuild(currentOrder, indexFile, natural);
}

}  // namespace xb
