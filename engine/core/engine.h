// xb::Engine owns everything the engine keeps process-wide: the error state, the settings derived from
// the locale at start-up, the procedure tables and (as they are built) the work areas. The routines with
// xBase names act on the current engine. One thread uses an engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/errors.h"
#include "engine/core/procedure_tables.h"
#include "engine/core/work_areas.h"
#include "platform/locale_facts.h"

namespace xb {

struct EngineSettings {
    int dateFormat = 0;        // 0..8, see dates.h
    std::string shortDatePicture;  // the runtime's short date picture SetDateFormat sets; empty = derived
    char dateSeparator = 0;        // the runtime's date separator SetDateFormat sets; 0 = derived
    bool century = false;      // four-digit years in date pictures
    int pivotYear = 1956;      // current year - 70
    char decimalSep = '.';     // what number texts typed by a user use
    char thousandsSep = ',';
    int defaultFileMode = 18;  // the runtime's default open mode
    int ansiCodePage = 1252;   // the code page of engine text
    int oemCodePage = 850;     // the code page of tables opened with OEM translation whose header names none
    int newTableCodePage = 0;  // the code page new OEM tables record and are written in; 0: oemCodePage
    // False while a caller that positions the area itself opens an index: the open leaves the area where
    // it stands instead of going to the first key.
    bool indexOpenGoesTop = true;

    // The work-area layer's settings.
    uint16_t shareMode = 66;             // the mode of a shared open
    uint16_t openModeOverride = 0xFFFF;  // replaces the mode of the next opens; 0xFFFF = none
    bool ansi = false;                   // tables opened now keep ANSI text (no OEM translation)
    bool autoFixRecCount = false;        // recompute the record count from the file size at open
    bool reopenedExclusive = false;      // the current table was reopened exclusively
};

// The state of the last LOCATE.
struct LocateState {
    std::string text;
    int field = 0;  // 0 = no LOCATE yet
    bool caseSensitive = true;
    bool exact = false;
    bool contained = false;
};

// The state a unit (the expression compiler, the index engine, the dataset layer) keeps for one engine.
struct UnitState {
    virtual ~UnitState() = default;
};

class Engine {
public:
    // Starts an engine with the facts of the given locale (the user's when omitted) and makes it current.
    explicit Engine(const platform::LocaleFacts& facts = platform::UserLocaleFacts());
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ErrorState errors;
    EngineSettings settings;
    uint8_t currentArea = 1;
    AreaTable areas;
    ProcedureTables tables;
    LocateState locate;

    // Units that close things at the end of the run register here; Shutdown runs them newest first.
    void addFinalizer(std::function<void()> fn) { m_finalizers.push_back(std::move(fn)); }
    // The end-of-run close. Runs once; later calls do nothing.
    void shutdown();
    bool isShutDown() const { return m_shutDown; }

    // The state of type T this engine keeps for a unit: made on first use, ended with the engine (or by
    // dropUnit), never shared with another engine.
    template <class T>
    T& unit() {
        std::unique_ptr<UnitState>& s = unitSlot(slotOf<T>());
        if (!s) s = std::make_unique<T>();
        return static_cast<T&>(*s);
    }
    // The state of type T when it was made, else nullptr.
    template <class T>
    T* unitIfAny() {
        const size_t n = slotOf<T>();
        return n < m_units.size() ? static_cast<T*>(m_units[n].get()) : nullptr;
    }
    template <class T>
    void dropUnit() {
        const size_t n = slotOf<T>();
        if (n < m_units.size()) m_units[n].reset();
    }

    // The engine the xBase routines act on (every routine asks, several times a move: kept inline).
    static Engine& current() { return s_current ? *s_current : makeProcessEngine(); }
    static Engine* currentOrNull() { return s_current; }

private:
    static inline Engine* s_current = nullptr;
    static Engine& makeProcessEngine();
    // Each unit-state type has one slot number for the whole process; only the number is shared.
    static size_t nextSlot();
    template <class T>
    static size_t slotOf() {
        static const size_t n = nextSlot();
        return n;
    }
    std::unique_ptr<UnitState>& unitSlot(size_t n) {
        if (n >= m_units.size()) m_units.resize(n + 1);
        return m_units[n];
    }

    std::vector<std::unique_ptr<UnitState>> m_units;
    std::vector<std::function<void()>> m_finalizers;
    bool m_shutDown = false;
    Engine* m_previous = nullptr;
};

// Applies the start-up locale rules to settings: date format number, separators, code pages, pivot year.
void ApplyStartupLocale(EngineSettings& settings, const platform::LocaleFacts& facts, int currentYear);

}  // namespace xb
