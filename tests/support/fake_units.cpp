#include "tests/support/fake_units.h"

#include <algorithm>
#include <memory>

#include "engine/core/work_areas.h"

namespace xbtest {

namespace {
// The fake's own expression object, handed out as the opaque compiled-expression pointer.
struct FakeExpr {
    std::string text;
    uint8_t result[8] = {};
};
FakeExpr* fake(xb::ExprRecord* e) { return reinterpret_cast<FakeExpr*>(e); }
const FakeExpr* fake(const xb::ExprRecord* e) { return reinterpret_cast<const FakeExpr*>(e); }
}  // namespace

xb::ExprRecord* FakeParser::compile(const std::string& text) {
    if (!predicates.count(text)) {
        xb::SetEngineError(350, "unknown expression " + text);
        return nullptr;
    }
    ++compiled;
    auto* e = new FakeExpr;
    e->text = text;
    return reinterpret_cast<xb::ExprRecord*>(e);
}

void FakeParser::free(xb::ExprRecord*& expr) {
    if (expr) ++freed;
    delete fake(expr);
    expr = nullptr;
}

const uint8_t* FakeParser::evaluate(xb::ExprRecord*& expr) {
    FakeExpr* e = fake(expr);
    e->result[0] = predicates[e->text]() ? 1 : 0;
    return e->result;
}

std::string FakeParser::expressionText(const xb::ExprRecord* expr) { return expr ? fake(expr)->text : ""; }

int32_t FakeIndex::countPlusOne() const {
    xb::WorkAreaBlock* b = xb::CurrentBlock();
    return b ? b->recCount + 1 : 1;
}

void FakeIndex::syncIndexOrder() {
    calls.push_back("sync");
    xb::WorkAreaBlock* b = xb::CurrentBlock();
    auto it = std::find(order.begin(), order.end(), b->recNo);
    pos = it == order.end() ? order.size() : static_cast<size_t>(it - order.begin());
    atEof = pos == order.size();
    atBof = false;
}

int32_t FakeIndex::indexFirst() {
    atBof = atEof = false;
    if (order.empty()) {
        atEof = true;
        return countPlusOne();
    }
    pos = 0;
    return order[0];
}

int32_t FakeIndex::indexLast() {
    atBof = atEof = false;
    if (order.empty()) {
        atEof = true;
        return countPlusOne();
    }
    pos = order.size() - 1;
    return order[pos];
}

int32_t FakeIndex::indexNext() {
    if (pos + 1 >= order.size()) {
        atEof = true;
        return order.empty() ? countPlusOne() : order[std::min(pos, order.size() - 1)];
    }
    return order[++pos];
}

int32_t FakeIndex::indexPrior() {
    if (pos == 0 || order.empty()) {
        atBof = true;
        return order.empty() ? countPlusOne() : order[0];
    }
    return order[--pos];
}

void FakeIndex::appendNewKey() {
    calls.push_back("appendNewKey");
    order.push_back(xb::CurrentBlock()->recNo);
}

void FakeIndex::setReadSemaphore(bool on) {
    if (on && refuseNextReadOn) {
        refuseNextReadOn = false;
        throw xb::EEngineError("semaphore refused");
    }
    if (on) ++readOns;
    readDepth += on ? 1 : -1;
    if (readDepth < 0) underflow = true;
    maxReadDepth = std::max(maxReadDepth, readDepth);
}

void FakeIndex::setLockSemaphore(bool on) {
    lockDepth += on ? 1 : -1;
    if (lockDepth < 0) underflow = true;
    calls.push_back(on ? "lock+" : "lock-");
}

FakeParser& InstallFakeParser(xb::Engine& engine) {
    auto p = std::make_unique<FakeParser>();
    FakeParser& ref = *p;
    engine.tables.parser = std::move(p);
    engine.tables.parserLinked = true;
    return ref;
}

FakeIndex& InstallFakeIndex(xb::Engine& engine) {
    auto p = std::make_unique<FakeIndex>();
    FakeIndex& ref = *p;
    engine.tables.index = std::move(p);
    engine.tables.indexLinked = true;
    return ref;
}

}  // namespace xbtest
