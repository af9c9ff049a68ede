// Shared by the expression tests: a fixture with the compiler installed and a one-record table, and a
// reader that turns any result into text.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "tests/support/fixtures.h"

namespace xb::exprtest {

// The value of an evaluated expression as text: C and M as they are, N as the shortest round-trip
// number, L as "T" or "F", D as YYYYMMDD.
inline std::string ResultText(const ExprRecord* rec) {
    const uint8_t* p = rec->result;
    switch (rec->resultType) {
        case 'C': case 'M': return std::string(reinterpret_cast<const char*>(p));
        case 'L': return p[0] ? "T" : "F";
        case 'D': {
            double d;
            std::memcpy(&d, p, sizeof d);
            return JulianToDtos(d);
        }
        default: {
            double d;
            std::memcpy(&d, p, sizeof d);
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, res.ptr);
        }
    }
}

class ExprTest : public xbtest::EngineTest {
protected:
    ExprTest() { InstallExpressionEngine(engine()); }

    // Creates a table, opens it in the current area and appends one record per filler call.
    void openTable(const std::string& name, const std::vector<FieldDef>& fields, const std::string& options = "") {
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, tmp.file(name + ".dbf"), fields));
        ASSERT_TRUE(Use(tmp.file(name) + options, nullptr, 0));
    }
    void setC(const std::string& field, const std::string& v) {
        int n = FieldNo(field);
        TypedSetString(FieldAddress(n), static_cast<size_t>(FieldLen(n)), v);
    }
    void setN(const std::string& field, double v) {
        int n = FieldNo(field);
        if (FieldDec(n) > 0) TypedSetDouble(FieldAddress(n), v);
        else TypedSetInt(FieldAddress(n), static_cast<int32_t>(v));
    }
    void setL(const std::string& field, bool v) { FieldAddress(FieldNo(field))[0] = v ? 1 : 0; }
    void setD(const std::string& field, const std::string& pictureText) {
        TypedSetString(FieldAddress(FieldNo(field)), 10, pictureText);
    }
    void append() {
        StoreRecordBuffer();
        ASSERT_TRUE(AppendDbfRecord(*CurrentBlock()));
    }
    void readRecord(int32_t n) {
        ASSERT_TRUE(GetDbfRecord(*CurrentBlock(), n));
        LoadRecordBuffer();
    }

    // Compiles and evaluates; "#ERROR" when the text does not compile.
    std::string eval(const std::string& text) {
        ExprRecord* rec = AssignExpr(text);
        if (!rec) return "#ERROR";
        EvaluateExpr(rec);
        std::string out = exprtest::ResultText(rec);
        FreeExpr(rec);
        return out;
    }
};

}  // namespace xb::exprtest
