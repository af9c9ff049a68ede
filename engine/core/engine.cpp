#include "engine/core/engine.h"

#include "platform/clock.h"

namespace xb {

namespace {
std::unique_ptr<Engine> g_processEngine;
}  // namespace

void ApplyStartupLocale(EngineSettings& s, const platform::LocaleFacts& facts, int currentYear) {
    using platform::Language;
    switch (facts.language) {
        case Language::German: s.dateFormat = 5; break;
        case Language::English: s.dateFormat = (facts.region == "US" || facts.region.empty()) ? 0 : 2; break;
        case Language::Spanish: s.dateFormat = 6; break;
        case Language::French: s.dateFormat = facts.region == "CA" ? 7 : 4; break;
        case Language::Italian: s.dateFormat = 3; break;
        case Language::Russian: s.dateFormat = 8; break;
        default: s.dateFormat = 0; break;
    }
    if (s.dateFormat >= 3 && s.dateFormat <= 6) {
        s.decimalSep = ',';
        s.thousandsSep = '.';
    } else if (s.dateFormat == 8) {
        s.decimalSep = '.';
        s.thousandsSep = ' ';
    } else {
        s.decimalSep = '.';
        s.thousandsSep = ',';
    }
    s.pivotYear = currentYear - 70;
    s.defaultFileMode = 18;
    s.ansiCodePage = facts.ansiCodePage;
    s.oemCodePage = facts.oemCodePage;
}

Engine::Engine(const platform::LocaleFacts& facts) {
    ApplyStartupLocale(settings, facts, platform::Today().year);
    currentArea = 1;
    m_previous = s_current;
    s_current = this;
    // The work-area unit closes every table at the end of the run; units started later (the index
    // engine) register after it and so close their part first.
    addFinalizer([this] {
        Engine* saved = s_current;
        s_current = this;
        CloseEngineAreas();
        s_current = saved;
    });
}

Engine::~Engine() {
    Engine* saved = s_current;
    s_current = this;
    shutdown();
    s_current = saved == this ? m_previous : saved;
}

void Engine::shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    while (!m_finalizers.empty()) {
        auto fn = std::move(m_finalizers.back());
        m_finalizers.pop_back();
        fn();
    }
    errors.detail.clear();
}

Engine& Engine::makeProcessEngine() {
    g_processEngine = std::make_unique<Engine>();
    return *s_current;
}

size_t Engine::nextSlot() {
    static size_t next = 0;
    return next++;
}

}  // namespace xb
