#include "app/data/kept_tables.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>

#include "app/data/league_access.h"
#include "app/settings/app_files.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/index_driver.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

// Work areas left free for everything else: a window keeps up to nine tables open, a computation six
// and a write two or three, and an open that finds no free area fails.
constexpr int kSpareAreas = 16;

struct KeptTable {
    std::string path;
    std::unique_ptr<xb::TXbDbf> table;
    Clock::time_point since;
};

// The kept tables of one engine: they live in its work areas and go with it.
struct KeptTables : xb::UnitState {
    ~KeptTables() override {
        if (timer) delete timer.data();
    }
    std::vector<KeptTable> tables;
    std::chrono::milliseconds idle = kKeptTableIdle;
    xb::Engine* engine = nullptr;
    QPointer<QTimer> timer;
    bool finalizing = false;
    std::map<std::string, int> held;  // path -> holds (KeptTableHold)
};

void closeTable(std::unique_ptr<xb::TXbDbf>& t) noexcept {
    if (!t) return;
    CloseQuietly(*t);
    t.reset();
}

void closeAll(KeptTables& kept) noexcept {
    // Taken out first, so that nothing a close sets off meets a list half closed.
    std::vector<KeptTable> tables = std::move(kept.tables);
    kept.tables.clear();
    for (KeptTable& k : tables) closeTable(k.table);
    if (kept.timer) kept.timer->stop();
}

KeptTables* keptIfAny() {
    xb::Engine* e = xb::Engine::currentOrNull();
    if (!e || e->isShutDown()) return nullptr;
    KeptTables* kept = e->unitIfAny<KeptTables>();
    return kept && !kept->finalizing ? kept : nullptr;
}

KeptTables& kept() {
    xb::Engine& e = xb::Engine::current();
    KeptTables& k = e.unit<KeptTables>();
    if (!k.engine) {
        k.engine = &e;
        AppDirChangeHook() = [] { ReleaseKeptTables(); };
        // Registered after the index engine's units: runs before them, while the areas still work.
        e.addFinalizer([&e] {
            if (KeptTables* k = e.unitIfAny<KeptTables>()) {
                closeAll(*k);
                k->finalizing = true;
            }
        });
    }
    return k;
}

// Closes the tables idle too long; the time until the next one is, or -1.
int sweep(KeptTables& k) noexcept {
    const Clock::time_point now = Clock::now();
    int next = -1;
    for (size_t i = 0; i < k.tables.size();) {
        if (k.held.count(k.tables[i].path)) {
            ++i;
            continue;
        }
        const auto idle = now - k.tables[i].since;
        if (idle >= k.idle) {
            std::unique_ptr<xb::TXbDbf> t = std::move(k.tables[i].table);
            k.tables.erase(k.tables.begin() + static_cast<std::ptrdiff_t>(i));
            closeTable(t);
            continue;
        }
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(k.idle - idle).count()) + 1;
        next = next < 0 ? left : std::min(next, left);
        ++i;
    }
    return next;
}

// In a process that runs Qt's event loop, on its thread: the timer closes the tables when they have been
// idle long enough. Elsewhere the next routine does.
void armTimer(KeptTables& k, int ms) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    if (!k.timer) {
        k.timer = new QTimer(app);
        k.timer->setSingleShot(true);
        xb::Engine* engine = k.engine;
        QObject::connect(k.timer.data(), &QTimer::timeout, [engine] {
            if (xb::Engine::currentOrNull() != engine) return;
            ReleaseIdleKeptTables();
        });
    }
    k.timer->start(ms);
}

int areasInUse() {
    int used = 0;
    for (int n = 1; n <= xb::kAreaCount; ++n) used += xb::AreaBlock(n) != nullptr;
    return used;
}

// The table's area is as its routine found it after the open: nothing limits or holds it.
bool leftClean(xb::TXbDbf& t) {
    if (!t.Active() || t.State() != xb::TDataSetState::dsBrowse || t.Filtered || PendingEngineError() != 0)
        return false;
    const xb::WorkAreaBlock* b = xb::AreaBlock(t.Area());
    return b && !b->filter && !b->whileExpr && b->lockState == xb::LockState::None && b->lockCount == 0 &&
           b->readSemaphoreDepth == 0 && b->lockSemaphoreDepth == 0 && !b->exclusive;
}

// What the area keeps of its rows and index counts as read long ago: the first move after the hand-over
// looks at the semaphore, as the first move after an open does, whatever this process or another station
// wrote since.
void forgetTrust(xb::TXbDbf& t) {
    if (xb::WorkAreaBlock* b = xb::AreaBlock(t.Area())) {
        b->lastLook = {};
        b->seeksTakeScans = false;
        b->loaded.readAt = {};
        b->window.readAt = {};
    }
}

// The order an open gives: the index's first tag.
std::string firstTagName(xb::TXbDbf& t) {
    if (!t.BeginOperation("TakeLeagueTable")) return {};
    const std::string shown = xb::IndexTagName(1);  // " [tag: NAME]"
    const size_t at = shown.find(": ");
    return at == std::string::npos || shown.empty() ? std::string() : shown.substr(at + 2, shown.size() - at - 3);
}

std::unique_ptr<xb::TXbDbf> openFresh(const char* component, const std::string& file, const TableUse& use) {
    // Every open component needs a name of its own: the engine refuses a second area of one alias, and a
    // kept table keeps the name of the routine that opened it.
    static int opened = 0;
    const std::string name = std::string(component) + "_" + std::to_string(++opened % 100000);
    auto t = MakeLeagueDataset(name.c_str(), file);
    if (use.withDeleted) t->SetHideDeletedRecs(false);
    if (!use.tag.empty() && !use.openKey.empty())
        t->SetOpenKey(use.tag, use.openKey);
    else if (!use.fromFirstRow && use.tag.empty())
        t->SetOpenNowhere(true);
    try {
        t->Open();
        if (!use.tag.empty()) t->SetOrderUnlessCurrent(use.tag);
    } catch (...) {
        CloseQuietly(*t);
        throw;
    }
    return t;
}

// Leaves a kept table as the routine's code expects it after an open; false when the engine refused.
bool handOver(xb::TXbDbf& t, const TableUse& use) {
    forgetTrust(t);
    if (t.HideDeletedRecs() == use.withDeleted) t.SetHideDeletedRecs(!use.withDeleted);
    if (!use.tag.empty() && !use.openKey.empty()) {
        t.SetOrderUnlessCurrent(use.tag);
        t.SetOpenKey(use.tag, use.openKey);
    } else if (use.fromFirstRow) {
        // Where an open stands: the first row of the first tag, in the order asked for.
        const std::string first = firstTagName(t);
        if (!first.empty()) t.SetOrderUnlessCurrent(first);
        t.First();
        if (!use.tag.empty()) t.SetOrderUnlessCurrent(use.tag);
    }
    return PendingEngineError() == 0;
}

}  // namespace

std::unique_ptr<xb::TXbDbf> TakeLeagueTable(const char* component, const std::string& file, const TableUse& use) {
    if (KeptTables* k = keptIfAny()) {
        sweep(*k);
        const std::string path = LeagueFilePath(file);
        const auto it = std::find_if(k->tables.begin(), k->tables.end(),
                                     [&](const KeptTable& e) { return e.path == path; });
        if (it != k->tables.end()) {
            std::unique_ptr<xb::TXbDbf> t = std::move(it->table);
            k->tables.erase(it);
            bool ready = false;
            try {
                ready = handOver(*t, use);
            } catch (...) {
            }
            if (ready) return t;
            closeTable(t);
        }
    }
    return openFresh(component, file, use);
}

void DoneWithLeagueTable(std::unique_ptr<xb::TXbDbf> t, bool keep) noexcept {
    if (!t) return;
    try {
        KeptTables* k = keptIfAny();
        // The first table kept by this engine sets the list up; an engine shutting down keeps none.
        xb::Engine* engine = xb::Engine::currentOrNull();
        if (!k && engine && !engine->isShutDown() && !engine->unitIfAny<KeptTables>()) k = &kept();
        if (!k) {
            closeTable(t);
            return;
        }
        sweep(*k);
        const std::string path = t->DbfFileName();
        if (keep && leftClean(*t) &&
            std::none_of(k->tables.begin(), k->tables.end(), [&](const KeptTable& e) { return e.path == path; }) &&
            areasInUse() <= xb::kAreaCount - kSpareAreas) {
            k->tables.push_back({path, std::move(t), Clock::now()});
            armTimer(*k, static_cast<int>(k->idle.count()));
            return;
        }
    } catch (...) {
    }
    closeTable(t);
}

bool ReadWholeSmallTable(const std::string& file, const std::function<void(xb::TXbDbf&)>& visit) {
    const std::string path = LeagueFilePath(file);
    // Tables found too large once in this thread go the indexed way without trying again.
    thread_local std::vector<std::string> tooLarge;
    if (std::find(tooLarge.begin(), tooLarge.end(), path) != tooLarge.end()) return false;
    if (KeptTables* k = keptIfAny()) {
        sweep(*k);
        if (std::any_of(k->tables.begin(), k->tables.end(), [&](const KeptTable& e) { return e.path == path; }))
            return false;
    }
    thread_local int opened = 0;
    const std::string name = "whole_" + std::to_string(++opened % 100000);
    std::unique_ptr<xb::TXbDbf> t = MakeLeagueDataset(name.c_str(), file);
    t->ReadOnly = true;
    t->SetOpenAlone(true);
    bool whole = false;
    try {
        t->Open();
        const xb::WorkAreaBlock* b = xb::AreaBlock(t->Area());
        if (b && int64_t{b->recCount} * b->recordSize > kWholeTableBytes) {
            tooLarge.push_back(path);
        } else if (b && PendingEngineError() == 0) {
            for (t->GoTop(); !t->IsEof() && PendingEngineError() == 0; t->Skip(1)) visit(*t);
            whole = PendingEngineError() == 0;
        }
    } catch (...) {
        whole = false;
    }
    if (!whole) xb::TakeErrorMessage();  // the indexed open meets the failure again and says why
    closeTable(t);
    return whole;
}

KeptTableHold::KeptTableHold(std::vector<std::string> files) {
    KeptTables& k = kept();
    m_engine = k.engine;
    for (const std::string& file : files) {
        const std::string path = LeagueFilePath(file);
        m_paths.push_back(path);
        ++k.held[path];
        if (std::any_of(k.tables.begin(), k.tables.end(), [&](const KeptTable& e) { return e.path == path; }))
            continue;
        try {
            DoneWithLeagueTable(TakeLeagueTable("held", file, {}));
        } catch (...) {
            // Not there, or refused: the save that needs it meets it again and says why.
            xb::TakeErrorMessage();
        }
    }
}

KeptTableHold::~KeptTableHold() {
    if (xb::Engine::currentOrNull() != m_engine) return;
    KeptTables* k = keptIfAny();
    if (!k) return;
    for (const std::string& path : m_paths) {
        const auto it = k->held.find(path);
        if (it != k->held.end() && --it->second <= 0) k->held.erase(it);
        for (KeptTable& e : k->tables)
            if (e.path == path && !k->held.count(path)) e.since = Clock::now();
    }
    if (!k->tables.empty()) armTimer(*k, static_cast<int>(k->idle.count()));
}

void ReleaseKeptTables() noexcept {
    if (KeptTables* k = keptIfAny()) closeAll(*k);
}

int ReleaseIdleKeptTables() noexcept {
    KeptTables* k = keptIfAny();
    if (!k) return -1;
    const int next = sweep(*k);
    if (next >= 0) armTimer(*k, next);
    return next;
}

void SetKeptTableIdle(std::chrono::milliseconds idle) {
    kept().idle = idle;
}

int KeptTableCount() {
    const KeptTables* k = keptIfAny();
    return k ? static_cast<int>(k->tables.size()) : 0;
}

}  // namespace app
