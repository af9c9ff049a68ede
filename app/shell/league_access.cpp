#include "app/shell/league_access.h"

#include <chrono>
#include <thread>

#include "app/shell/app_files.h"
#include "app/shell/lang_texts.h"
#include "app/shell/table_scopes.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "platform/ui.h"

namespace app {

namespace {

bool editing(const xb::TXbDbf& t) {
    return t.State() == xb::TDataSetState::dsEdit || t.State() == xb::TDataSetState::dsInsert;
}

// Drops puts that no write took, so that a failed step leaves the dataset in browse state.
void cancelQuietly(xb::TXbDbf& t) {
    try {
        if (editing(t)) t.Cancel();
    } catch (...) {
    }
}

// Fills and appends one complete row in one write; the append lock is held by the caller.
bool appendComplete(xb::TXbDbf& t, const std::function<void()>& fill) {
    try {
        t.Append();
        fill();
        t.Post();
    } catch (...) {
        cancelQuietly(t);
        throw;
    }
    return PendingEngineError() == 0;
}

}  // namespace

std::string LeagueFilePath(const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : GetAppDir().toStdString() + name;
}

bool WaitForLock(const std::function<bool()>& take) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
        if (take()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {

std::set<std::string> g_readOnly, g_unpacked;

// "joueur.dbf" of a bare name or a path, in lower case.
std::string tableName(const std::string& file) {
    std::string name = file.substr(file.find_last_of('/') + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

void KeepTablesAsTheyAre(std::set<std::string> readOnly, std::set<std::string> unpacked) {
    g_readOnly = std::move(readOnly);
    g_unpacked = std::move(unpacked);
}

bool IsTableKeptReadOnly(const std::string& file) {
    return g_readOnly.count(tableName(file)) > 0;
}
bool IsTableKeptUnpacked(const std::string& file) {
    return g_unpacked.count(tableName(file)) > 0;
}

std::unique_ptr<xb::TXbDbf> MakeLeagueDataset(const char* component, const std::string& file) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->ReadOnly = IsTableKeptReadOnly(file);
    t->Name = component;
    t->SetDbfFileName(LeagueFilePath(file));
    t->SetHideDeletedRecs(true);
    t->CreateIfNotFound = false;
    t->CreateIndex = xb::TCreateIndexType::ciNever;
    t->ShowProgress = false;
    return t;
}

void CloseQuietly(xb::TXbDbf& table) {
    try {
        cancelQuietly(table);
        table.Close();
    } catch (...) {
    }
}

LeagueTableScope::LeagueTableScope(const char* component, const std::string& file, const std::string& tag)
    : m_table(MakeLeagueDataset(component, file)) {
    try {
        m_table->Open();
        if (!tag.empty()) m_table->SetOrderToTag(tag);
    } catch (...) {
        CloseQuietly(*m_table);
        throw;
    }
}

LeagueTableScope::~LeagueTableScope() {
    CloseQuietly(*m_table);
}

namespace {
thread_local WriteRefusal g_refusal;

void refuse(WriteRefusal::Kind kind) {
    g_refusal = WriteRefusal{};
    g_refusal.kind = kind;
}
}  // namespace

WriteRefusal LastWriteRefusal() {
    return g_refusal;
}

bool StorableTexts(xb::TXbDbf& t, std::initializer_list<std::string> texts) {
    refuse(WriteRefusal::Kind::kNone);
    for (const std::string& s : texts) {
        if (const char32_t c = t.UnstorableChar(s)) {
            refuse(WriteRefusal::Kind::kCharacter);
            g_refusal.character = c;
            g_refusal.codePage = t.TextCodePage();
            return false;
        }
    }
    return true;
}

int PendingEngineError() {
    return xb::Engine::current().errors.pendingError;
}

namespace {

// A write to a table the run keeps read-only is refused here, with a message, before it reaches the file:
// the table is open for reading only, and the engine would stop the write with an error.
bool refusedAsKept(xb::TXbDbf& t) {
    if (!IsTableKeptReadOnly(t.DbfFileName())) return false;
    const std::string file = t.DbfFileName().substr(t.DbfFileName().find_last_of('/') + 1);
    xb::platform::CurrentUi().messageBox(
        GetLangText(Text::TableKeptReadOnlyNothingWritten).arg(QString::fromStdString(file)).toStdString(),
        "PELMORAD ", xb::platform::kMbOk | xb::platform::kMbIconWarning);
    return true;
}

}  // namespace

bool WriteRow(xb::TXbDbf& t, const std::function<bool()>& find, const RowFill& fill, WhenFound whenFound) {
    if (refusedAsKept(t)) return false;
    refuse(WriteRefusal::Kind::kLock);
    const bool stored = [&] {
        bool found = find();
        if (!found) {
            if (!WaitForLock([&] { return t.ALock(); })) return false;
            LockRelease unlock(t);
            // Another station may have appended the row since the first seek.
            found = find();
            if (!found) return appendComplete(t, [&] { fill(t); });
        }
        if (whenFound == WhenFound::Keep) return true;
        if (!WaitForLock([&] { return t.RLock(); })) return false;
        LockRelease unlock(t);
        return RewriteLockedRow(t, fill);
    }();
    if (stored) refuse(WriteRefusal::Kind::kNone);
    return stored;
}

bool RewriteLockedRow(xb::TXbDbf& t, const RowFill& fill) {
    if (refusedAsKept(t)) return false;
    try {
        // The row as it stands now, under the lock: fields this write does not put keep their stored value.
        t.Skip(0);
        fill(t);
        t.ReplaceRec();
    } catch (...) {
        cancelQuietly(t);
        throw;
    }
    return PendingEngineError() == 0;
}

bool AppendRows(xb::TXbDbf& t, const std::vector<RowFill>& fills) {
    if (fills.empty()) return true;
    if (!WaitForLock([&] { return t.ALock(); })) return false;
    LockRelease unlock(t);
    for (const RowFill& fill : fills)
        if (!appendComplete(t, [&] { fill(t); })) return false;
    return true;
}

int NextNumberProposal(xb::TXbDbf& t, const NumberKind& kind) {
    t.SetOrderToTag(kind.tag);
    t.Last();
    const int next = t.IsEmpty() ? 1 : t.FieldGetInt(kind.field) + 1;
    return next >= 1 && next <= kind.max ? next : 0;
}

int AppendNumberedRow(xb::TXbDbf& t, const NumberKind& kind, const RowFill& fill) {
    if (refusedAsKept(t)) return 0;
    refuse(WriteRefusal::Kind::kLock);
    if (!WaitForLock([&] { return t.ALock(); })) return 0;
    LockRelease unlock(t);
    const int next = NextNumberProposal(t, kind);
    if (next == 0) {
        refuse(WriteRefusal::Kind::kNumbersExhausted);
        return 0;
    }
    const bool stored = appendComplete(t, [&] {
        t.FieldPutInt(kind.field, next);
        fill(t);
    });
    if (stored) refuse(WriteRefusal::Kind::kNone);
    return stored ? next : 0;
}

DeleteOutcome DeleteWhile(xb::TXbDbf& t, const DeleteRange& range) {
    DeleteOutcome out;
    if (refusedAsKept(t)) {
        out.complete = false;
        return out;
    }
    t.SetOrderToTag(range.tag);
    for (;;) {
        if (!t.Find(range.key)) break;
        out.found = true;
        int deletedThisPass = 0;
        {
            WhileScope pass(t, range.condition);
            while (!t.IsEof()) {
                if (!range.accept || range.accept(t)) {
                    if (!WaitForLock([&] { return t.RLock(); })) {
                        out.complete = false;
                        return out;
                    }
                    {
                        LockRelease unlock(t);
                        t.DeleteRec();
                    }
                    if (PendingEngineError() != 0) {
                        out.complete = false;
                        return out;
                    }
                    ++deletedThisPass;
                    if (range.single) break;
                }
                t.Skip(1);
            }
        }
        out.deleted += deletedThisPass;
        if (deletedThisPass == 0 || range.single) break;
    }
    return out;
}

}  // namespace app

#include "app/shell/league_text.h"

namespace app {

std::string NumberKey(std::initializer_list<std::pair<int, int>> parts) {
    std::string key;
    for (const auto& [n, width] : parts) {
        const std::string part = PadNum(n, width);
        if (static_cast<int>(part.size()) > width) return {};
        key += part;
    }
    return key;
}

}  // namespace app
