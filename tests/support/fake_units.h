// Stand-ins for the expression compiler and the index engine that record how the work-area layer calls
// them, so navigation and writes can be tested before (and apart from) the real units.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/procedure_tables.h"

namespace xbtest {

// Expressions are looked up by their text among predicates the test registers.
class FakeParser : public xb::ParserHooks {
public:
    std::map<std::string, std::function<bool()>> predicates;
    int compiled = 0;
    int freed = 0;

    xb::ExprRecord* compile(const std::string& text) override;
    void free(xb::ExprRecord*& expr) override;
    const uint8_t* evaluate(xb::ExprRecord*& expr) override;
    std::string expressionText(const xb::ExprRecord* expr) override;
};

// An order over the records given in `order` (record numbers in key order). Counts the read and lock
// semaphore brackets and fails the test when one goes below zero.
class FakeIndex : public xb::IndexDriver {
public:
    std::vector<int32_t> order;
    size_t pos = 0;  // position in order; order.size() = end
    bool atBof = false, atEof = false;
    bool active = true;
    bool found = false;
    int readDepth = 0, lockDepth = 0, maxReadDepth = 0;
    bool underflow = false;
    bool refuseNextReadOn = false;  // the next read bracket throws, as a refusal of the semaphore does
    int readOns = 0;
    std::vector<std::string> calls;

    bool indexIsOpen() override { return active; }
    void syncIndexOrder() override;
    int32_t indexNext() override;
    int32_t indexPrior() override;
    int32_t indexFirst() override;
    int32_t indexLast() override;
    bool indexEof() override { return atEof; }
    bool indexBof() override { return atBof; }
    void appendNewKey() override;
    void saveOrderKey() override { calls.push_back("saveOrderKey"); }
    void saveAllKeys() override { calls.push_back("saveAllKeys"); }
    void updateChangedKeys() override { calls.push_back("updateChangedKeys"); }
    void indexSetBof() override { atBof = true; }
    void indexSetEof() override { atEof = true; }
    bool* indexFoundFlag() override { return &found; }
    void reindex() override { calls.push_back("reindex"); }
    void closeIndex() override { calls.push_back("closeIndex"); }
    void setReadSemaphore(bool on) override;
    void setLockSemaphore(bool on) override;

private:
    int32_t countPlusOne() const;
};

// Installs the fakes on the engine and returns them (owned by the engine).
FakeParser& InstallFakeParser(xb::Engine& engine);
FakeIndex& InstallFakeIndex(xb::Engine& engine);

}  // namespace xbtest
