#include "app/shell/league_access.h"

#include <chrono>
#include <thread>

#include "app/shell/app_files.h"
#include "app/shell/table_scopes.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"

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

std::unique_ptr<xb::TXbDbf> MakeLeagueDataset(const char* component, const std::string& file) {
    auto t = std::make_unique<xb::TXbDbf>();
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

int PendingEngineError() {
    return xb::Engine::current().errors.pendingError;
}

bool WriteRow(xb::TXbDbf& t, const std::function<bool()>& find, const RowFill& fill, WhenFound whenFound) {
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
}

bool RewriteLockedRow(xb::TXbDbf& t, const RowFill& fill) {
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

int AppendNumberedRow(xb::TXbDbf& t, const NumberKind& kind, const RowFill& fill) {
    if (!WaitForLock([&] { return t.ALock(); })) return 0;
    LockRelease unlock(t);
    t.SetOrderToTag(kind.tag);
    t.Last();
    const int next = t.IsEmpty() ? 1 : t.FieldGetInt(kind.field) + 1;
    if (next < 1 || next > kind.max) return 0;
    const bool stored = appendComplete(t, [&] {
        t.FieldPutInt(kind.field, next);
        fill(t);
    });
    return stored ? next : 0;
}

DeleteOutcome DeleteWhile(xb::TXbDbf& t, const DeleteRange& range) {
    DeleteOutcome out;
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
