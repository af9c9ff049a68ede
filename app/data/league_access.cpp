#include "app/data/league_access.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/kept_tables.h"
#include "app/data/table_scopes.h"
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
    // A kept table was opened for writing or not by the sets it replaces.
    ReleaseKeptTables();
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

LeagueTableScope::LeagueTableScope(const char* component, const std::string& file, const std::string& tag,
                                   Rows rows, const std::string& openKey)
    : m_table(TakeLeagueTable(component, file, {tag, rows == Rows::kWithDeleted, openKey})),
      m_uncaught(std::uncaught_exceptions()) {}

LeagueTableScope::~LeagueTableScope() {
    DoneWithLeagueTable(std::move(m_table), std::uncaught_exceptions() == m_uncaught);
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

SeasonRules StoredSeasonRules(xb::TXbDbf& s) {
    SeasonRules r;
    r.teams = s.FieldGetInt("NBEQUIPE");
    r.matchdays = s.FieldGetInt("NBJOURNEE");
    r.win = s.FieldGetInt("PTV");
    r.draw = s.FieldGetInt("PTN");
    r.defeat = s.FieldGetInt("PTD");
    r.forfeitWin = s.FieldGetInt("PTFV");
    r.forfeitDefeat = s.FieldGetInt("PTFD");
    return r;
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

namespace {

// With seekAgain the row is sought again under the lock whatever the semaphore says (WriteRow, as it
// always has: its callers' finds are routines of their own); without it, for a caller that has just
// sought the row on this table, one look at the semaphore tells whether that seek still holds.
AppendOutcome appendMissing(xb::TXbDbf& t, const std::function<bool()>& find, const RowFill& fill,
                            bool seekAgain) {
    if (!WaitForLock([&] { return t.ALock(); })) return AppendOutcome::kFailed;
    LockRelease unlock(t);
    // Another station may have appended the row since the caller's seek: then the index changed, which
    // one look at its semaphore tells, and the row is sought again.
    if ((seekAgain || !t.IndexUnchangedSinceLastRead()) && find()) return AppendOutcome::kFound;
    return appendComplete(t, [&] { fill(t); }) ? AppendOutcome::kAppended : AppendOutcome::kFailed;
}

// Appends the rows from `from` on; the caller holds the append lock.
bool appendAll(xb::TXbDbf& t, const std::vector<RowFill>& fills, size_t from) {
    for (size_t i = from; i < fills.size(); ++i)
        if (!appendComplete(t, [&] { fills[i](t); })) return false;
    return true;
}

// appendAll under the index's write lock as well.
bool appendHeld(xb::TXbDbf& t, const std::vector<RowFill>& fills, size_t from) {
    IndexWritesScope writes(t);
    return writes.held() && appendAll(t, fills, from);
}

}  // namespace

bool WriteRow(xb::TXbDbf& t, const std::function<bool()>& find, const RowFill& fill, WhenFound whenFound,
              const LoadedRow* loaded) {
    if (refusedAsKept(t)) return false;
    refuse(WriteRefusal::Kind::kLock);
    // Set when the row as stored is not what the window loaded: the refusal replaces kLock.
    WriteRefusal::Kind conflict = WriteRefusal::Kind::kNone;
    const bool stored = [&] {
        if (!find()) {
            if (loaded && loaded->stored) {
                conflict = WriteRefusal::Kind::kGone;
                return false;
            }
            const AppendOutcome appended = appendMissing(t, find, fill, true);
            if (appended != AppendOutcome::kFound) return appended == AppendOutcome::kAppended;
        }
        if (whenFound == WhenFound::Keep) return true;
        if (!WaitForLock([&] { return t.RLock(); })) return false;
        LockRelease unlock(t);
        if (loaded) {
            t.Skip(0);
            if (!loaded->stored || (loaded->same && !loaded->same(t))) {
                conflict = WriteRefusal::Kind::kChanged;
                return false;
            }
        }
        return RewriteLockedRow(t, fill);
    }();
    if (stored) refuse(WriteRefusal::Kind::kNone);
    if (conflict != WriteRefusal::Kind::kNone) refuse(conflict);
    return stored;
}

ShownRow CompareShownRow(xb::TXbDbf& t, const std::function<bool()>& find,
                         const std::function<bool(xb::TXbDbf&)>& same) {
    if (!find()) return ShownRow::kGone;
    const int32_t record = t.RecNo();
    if (!WaitForLock([&] { return t.RLock(); })) return ShownRow::kLocked;
    LockRelease unlock(t);
    // Read again under the lock; a row deleted meanwhile is left for the next visible one.
    t.Skip(0);
    if (t.IsEof() || t.IsDeleted() || t.RecNo() != record) return ShownRow::kGone;
    return same(t) ? ShownRow::kSame : ShownRow::kChanged;
}

AppendOutcome AppendMissingRow(xb::TXbDbf& t, const std::function<bool()>& find, const RowFill& fill) {
    if (refusedAsKept(t)) return AppendOutcome::kFailed;
    refuse(WriteRefusal::Kind::kLock);
    const AppendOutcome out = appendMissing(t, find, fill, false);
    if (out != AppendOutcome::kFailed) refuse(WriteRefusal::Kind::kNone);
    return out;
}

bool RewriteLockedRow(xb::TXbDbf& t, const RowFill& fill, const std::function<bool(xb::TXbDbf&)>& unchanged) {
    if (refusedAsKept(t)) return false;
    try {
        // The row as it stands now, under the lock: fields this write does not put keep their stored value.
        t.Skip(0);
        if (unchanged && unchanged(t)) return PendingEngineError() == 0;
        fill(t);
        t.ReplaceRec();
    } catch (...) {
        cancelQuietly(t);
        throw;
    }
    return PendingEngineError() == 0;
}

bool AppendRows(xb::TXbDbf& t, const std::vector<RowFill>& fills) {
    return ReplaceRows(t, {}, fills);
}

bool ReplaceRows(xb::TXbDbf& t, const std::vector<int32_t>& records, const std::vector<RowFill>& fills) {
    if (records.empty() && fills.empty()) return true;
    if (refusedAsKept(t)) return false;
    const size_t inPlace = std::min(records.size(), fills.size());
    auto goTo = [&t](int32_t record) {
        t.SetRecNoValue(record);
        return t.RecNo() == record;
    };
    // Rows no longer wanted go first, each under its own record lock: a delete changes no key, and the
    // delete of a hidden row lets go of every record lock the table holds.
    for (size_t i = inPlace; i < records.size(); ++i) {
        if (!goTo(records[i]) || !WaitForLock([&] { return t.RLock(); })) return false;
        LockRelease unlock(t);
        t.DeleteRec();
        if (PendingEngineError() != 0) return false;
    }
    // Every lock is waited for before the index's write lock is taken: other stations cannot read the
    // index while it is held, and one of them may hold a row or the append lock while it waits for it.
    size_t appendFrom = inPlace;
    if (inPlace > 0) {
        LockRelease unlock(t);
        for (size_t i = 0; i < inPlace; ++i)
            if (!goTo(records[i]) || !WaitForLock([&] { return t.RLock(); })) return false;
        IndexWritesScope writes(t);
        if (!writes.held()) return false;
        for (size_t i = 0; i < inPlace; ++i) {
            if (!goTo(records[i])) return false;
            try {
                fills[i](t);
                t.ReplaceRec();
            } catch (...) {
                cancelQuietly(t);
                throw;
            }
            if (PendingEngineError() != 0) return false;
        }
        if (appendFrom == fills.size()) return true;
        // The rows rewritten, their locks go; the append lock, when free at once, joins this bracket.
        t.UnLock();
        if (t.ALock()) {
            LockRelease unlockAppend(t);
            return appendAll(t, fills, appendFrom);
        }
    }
    if (appendFrom == fills.size()) return true;
    if (!WaitForLock([&] { return t.ALock(); })) return false;
    LockRelease unlock(t);
    return appendHeld(t, fills, appendFrom);
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
    t.SetOrderUnlessCurrent(range.tag);
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

#include "app/data/league_text.h"

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
