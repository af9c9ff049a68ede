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
    int oemCodePage = 850;     // the code page of tables opened with OEM translation

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

    // The engine the xBase routines act on.
    static Engine& current();
    static Engine* currentOrNull();

private:
    std::vector<std::function<void()>> m_finalizers;
    bool m_shutDown = false;
    Engine* m_previous = nullptr;
};

// Applies the start-up locale rules to settings: date format number, separators, code pages, pivot year.
void ApplyStartupLocale(EngineSettings& settings, const platform::LocaleFacts& facts, int currentYear);

}  // namespace xb
