// Compiles mutated expression texts over a small table (as keys, as FOR conditions and as they are) and
// evaluates what compiles on each of its records.
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "platform/locale_facts.h"

namespace {

// One engine for the run, with the table open in area 1 under the alias T and in area 33 under LAST.
xb::Engine& fuzzEngine() {
    static std::unique_ptr<xb::Engine> engine;
    if (engine) return *engine;
    engine = std::make_unique<xb::Engine>(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(*engine);
    const std::string path = "/tmp/fuzz_expr_" + std::to_string(getpid()) + ".dbf";
    xb::TableBlock block;
    xb::CreateDbf(block, path, {{"NAME", 'C', 12, 0}, {"ANNEE", 'N', 5, 0}, {"AMOUNT", 'N', 9, 3},
                                {"FLAG", 'L', 1, 0}, {"BORN", 'D', 8, 0}, {"NOTES", 'M', 10, 0}});
    xb::CloseDbf(block);
    const char* names[] = {"Olympique", "", "\xC9toile  x"};
    const double years[] = {2026, 12345, -7};
    const char* dates[] = {"03/04/90", "  /  /  ", "12/31/99"};
    for (const char* alias : {" alias T", " alias LAST"}) {
        xb::Select(alias[7] == 'T' ? 1 : 33);
        xb::Use(path + alias, nullptr, 0);
        if (alias[7] == 'T') {
            for (int i = 0; i < 3; ++i) {
                xb::TypedSetString(xb::FieldAddress(1), 12, names[i]);
                xb::TypedSetInt(xb::FieldAddress(2), static_cast<int32_t>(years[i]));
                xb::TypedSetDouble(xb::FieldAddress(3), years[i] / 7);
                xb::FieldAddress(4)[0] = i & 1;
                xb::TypedSetString(xb::FieldAddress(5), 10, dates[i]);
                xb::StoreRecordBuffer();
                xb::AppendDbfRecord(*xb::CurrentBlock());
            }
        }
    }
    xb::Select(1);
    unlink(path.c_str());
    return *engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xb::Engine& engine = fuzzEngine();
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string key = text, filter = text;
    xb::CheckExpression(key, true);
    xb::CheckFilterExpr(filter);
    xb::ExprRecord* rec = xb::AssignExpr(text);
    if (rec) {
        xb::WorkAreaBlock* b = xb::CurrentBlock();
        for (int32_t n = 1; n <= 4; ++n) {
            if (n <= 3) {
                xb::GetDbfRecord(*b, n);
                xb::LoadRecordBuffer();
            } else {
                xb::Select(2);  // an empty area: fields read as blanks
            }
            const uint8_t* r = xb::EvaluateExpr(rec);
            if ((rec->resultType == 'C' || rec->resultType == 'M') && r) {
                size_t len = 0;
                while (r[len]) ++len;  // zero-terminated inside the pool
                if (len >= rec->pool.size()) __builtin_trap();
            }
        }
        xb::Select(1);
        xb::FreeExpr(rec);
    }
    xb::ErrorMsg();
    engine.errors.lastError = 0;
    return 0;
}
