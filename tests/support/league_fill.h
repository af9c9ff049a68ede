// The nine league tables made and filled the way the application does it: one dataset component per
// table (DbfFields, IndexList, OEM text), rows appended and posted through the component. For tests
// that link the dataset layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/data/league_tables.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/league_season.h"

namespace xbtest {

// The definition of a league table by its file name.
inline const app::LeagueTable& LeagueTableDef(const std::string& file) {
    if (const app::LeagueTable* t = app::FindLeagueTable(file)) return *t;
    throw std::runtime_error("no league table " + file);
}

// A component for a league table in dir, as the application sets it up.
inline std::unique_ptr<xb::TXbDbf> LeagueComponent(const std::string& dir, const app::LeagueTable& def) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = def.component;
    t->SetDbfFileName(dir + "/" + def.file);
    t->DbfFields = def.fields;
    t->IndexList = def.indexList();
    t->CreateIndex = xb::TCreateIndexType::ciVerifyHeader;
    t->AutoFixRecCount = true;
    t->ShowProgress = false;
    return t;
}

// Appends rows (values in field order, "" left empty) through a component.
inline void PostRows(xb::TXbDbf& t, const std::vector<std::string>& fieldNames,
                     const std::vector<std::vector<std::string>>& rows) {
    for (const auto& row : rows) {
        t.Append();
        for (size_t i = 0; i < fieldNames.size(); ++i)
            if (!row[i].empty()) t.FieldByName(fieldNames[i]).SetAsString(row[i]);
        t.Post();
    }
}

// Makes the nine tables in dir with their indexes and fills them with the season.
inline void FillLeagueTables(const std::string& dir, const std::vector<SeasonTable>& season) {
    for (const SeasonTable& s : season) {
        SCOPED_TRACE(s.file);
        auto t = LeagueComponent(dir, LeagueTableDef(s.file));
        t->SetExclusive(true);
        t->Open();
        PostRows(*t, s.fieldNames, s.rows);
        t->Close();
    }
}

}  // namespace xbtest
