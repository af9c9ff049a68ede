// The fixture of the league library's tests: a fresh engine with every unit, the data directory in the
// test's own directory, and helpers that read what the tables hold.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/settings/app_files.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/fixtures.h"

namespace leaguetest {

class LeagueTest : public xbtest::EngineTest {
protected:
    LeagueTest() : m_saved(xb::IndexServices()) {
        xb::InstallEngineUnits(engine());
        app::SetAppDir(QString::fromStdString(tmp.path()));
    }
    ~LeagueTest() override {
        app::SetAppDir(QString());
        xb::IndexServices() = m_saved;
    }

    // The live rows of a table as text, each "field=value ..." of the named fields, in record order.
    std::vector<std::string> rows(const std::string& file, const std::vector<std::string>& fields) {
        std::vector<std::string> out;
        app::LeagueTableScope t("testrows", file);
        for (t->First(); !t->Eof(); t->Next()) {
            std::string r;
            for (const auto& f : fields) r += (r.empty() ? "" : " ") + f + "=" + t->FieldGetStr(f);
            out.push_back(r);
        }
        return out;
    }
    int count(const std::string& file) {
        app::LeagueTableScope t("testcount", file);
        int n = 0;
        for (t->First(); !t->Eof(); t->Next()) ++n;
        return n;
    }

private:
    xb::DatasetIndexServices m_saved;
};

}  // namespace leaguetest
