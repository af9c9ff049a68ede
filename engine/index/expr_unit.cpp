#include "engine/index/expr_unit.h"

#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/index/expr_eval.h"
#include "engine/index/expr_parser.h"

namespace xb {

namespace {

// The compiler's state in one engine: every live compiled expression (what FreeExpr accepts), the memo
// pool size and the two cells of the table layer. Expressions still compiled when the engine ends go
// with it.
struct CompilerState final : UnitState {
    std::unordered_set<ExprRecord*> live;
    uint16_t memoPoolSize = 256;
    ExprRecord* current = nullptr;
    EvaluateCurrentProc evaluateCurrent = nullptr;

    CompilerState() = default;
    CompilerState(const CompilerState&) = delete;
    CompilerState& operator=(const CompilerState&) = delete;
    ~CompilerState() override {
        for (ExprRecord* r : live) delete r;
    }
};

CompilerState& state() {
    return Engine::current().unit<CompilerState>();
}

void releaseRecord(ExprRecord* rec) {
    state().live.erase(rec);
    if (state().current == rec) state().current = nullptr;
    delete rec;
}

class ExpressionHooks final : public ParserHooks {
public:
    ExprRecord* compile(const std::string& text) override { return AssignExpr(text); }
    void free(ExprRecord*& expr) override { FreeExpr(expr); }
    const uint8_t* evaluate(ExprRecord*& expr) override { return EvaluateExpr(expr); }
    std::string expressionText(const ExprRecord* expr) override { return GetExprText(expr); }
};

}  // namespace

ExprRecord* AssignExpr(const std::string& text) {
    Engine& engine = Engine::current();
    if (engine.errors.lastError >= 350 && engine.errors.lastError <= 363) engine.errors.lastError = 0;
    ExprRecord* rec = nullptr;
    try {
        auto owned = std::make_unique<ExprRecord>();
        owned->owner = &engine;
        if (!ParseExpression(text, *owned, state().memoPoolSize)) return nullptr;
        owned->text = text;
        // C and M results always have room for their terminating zero.
        size_t bytes = owned->poolSize;
        if ((owned->resultType == 'C' || owned->resultType == 'M') && bytes == 0) bytes = 1;
        owned->pool.assign(bytes, 0);
        rec = owned.release();
        state().live.insert(rec);
    } catch (const std::bad_alloc&) {
        if (rec) releaseRecord(rec);
        SetEngineError(217, " [AssignExpr]");
        return nullptr;
    }
    if (rec->resultType == 'C' || rec->resultType == 'M')
        rec->result = reinterpret_cast<const uint8_t*>(rec->pool.data());
    else
        rec->result = reinterpret_cast<const uint8_t*>(&rec->values[0].cell);
    return rec;
}

void FreeExpr(ExprRecord*& expr) {
    if (!expr) return;
    if (state().live.count(expr)) releaseRecord(expr);
    expr = nullptr;
}

const uint8_t* EvaluateExpr(ExprRecord* expr) {
    if (!expr) return nullptr;
    Evaluate(*expr);
    return expr->result;
}

const uint8_t* EvaluateCurrent() { return EvaluateExpr(state().current); }

std::string GetExprText(const ExprRecord* expr) { return expr ? expr->text : std::string(); }

int CheckExpression(std::string& text, bool isKey) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.empty()) return kCheckEmpty;
    if (isKey && text.size() > kMaxKeyText) return kCheckKeyTooLong;

    Engine& engine = Engine::current();
    const bool trapping = SetErrorTrap(false);
    const uint16_t memoPool = state().memoPoolSize;
    state().memoPoolSize = 0;
    ExprRecord* rec = AssignExpr(text);
    state().memoPoolSize = memoPool;
    SetErrorTrap(trapping);

    int code = kCheckOk;
    if (!rec) {
        code = engine.errors.pendingError ? engine.errors.pendingError : engine.errors.lastError;
    } else {
        const char type = rec->resultType;
        if (isKey && (type == 'M' || type == 'L')) code = kCheckBadKeyType;
        else if (!isKey && type != 'L') code = kCheckNotLogical;
        FreeExpr(rec);
    }
    // The answer is the code; nothing may stay pending for a later "is an error pending" test.
    engine.errors.lastError = 0;
    TakeErrorMessage();
    return code;
}

int CheckFilterExpr(std::string& text) { return CheckExpression(text, false); }

uint16_t MemoPoolSize() { return state().memoPoolSize; }

ExprRecord*& CurrentExprCell() { return state().current; }

EvaluateCurrentProc EvaluateCurrentCell() { return state().evaluateCurrent; }

void InstallExpressionEngine(Engine& engine) {
    engine.tables.parser = std::make_unique<ExpressionHooks>();
    engine.tables.parserLinked = true;
    engine.unit<CompilerState>().evaluateCurrent = &EvaluateCurrent;
    Engine* self = &engine;
    engine.addFinalizer([self] {
        self->dropUnit<CompilerState>();
        self->tables.parserLinked = false;
    });
}

}  // namespace xb
