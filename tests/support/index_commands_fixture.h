// The command layer's fixture for tests that open real tables with the expression, memo and index
// engines installed: a component on a file of the test's folder, a row added under the locks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace xbtest {

// Right-aligned in width, as str() writes numbers in keys.
inline std::string padNum(int v, int width) {
    std::string s = std::to_string(v);
    return s.size() >= static_cast<size_t>(width)
               ? s
               : std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

inline std::string rtrim(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

class IndexCommandsTest : public EngineTest {
protected:
    IndexCommandsTest() : m_saved(xb::IndexServices()) {
        xb::InstallExpressionEngine(engine());
        xb::InstallMemoUnit(engine());
        xb::InstallIndexEngine(engine());
        xb::InstallDatasetIndexServices();
    }
    ~IndexCommandsTest() override { xb::IndexServices() = m_saved; }

    std::unique_ptr<xb::TXbDbf> open(const std::string& file, std::vector<std::string> fields,
                                 std::vector<std::string> indexList, const std::string& name = "tdata") {
        auto t = std::make_unique<xb::TXbDbf>();
        t->Name = name;
        t->SetDbfFileName(tmp.file(file));
        t->DbfFields = std::move(fields);
        t->IndexList = std::move(indexList);
        t->ShowProgress = false;
        t->Open();
        return t;
    }
    static void addRow(xb::TXbDbf& t, const std::vector<std::pair<std::string, std::string>>& values) {
        ASSERT_TRUE(t.ALock());
        t.AppendBlank();
        t.UnLock();
        ASSERT_TRUE(t.RLock());
        for (const auto& [f, v] : values) t.FieldPutStr(f, v);
        t.ReplaceRec();
        t.UnLock();
    }

    xb::DatasetIndexServices m_saved;
    ScriptedUi ui;
};

}  // namespace xbtest
