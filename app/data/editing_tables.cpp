#include "app/data/editing_tables.h"

#include <stdexcept>

#include "app/data/league_access.h"
#include "app/data/league_tables.h"

namespace app {

std::unique_ptr<xb::TXbDbf> OpenEditingTable(const std::string& file, const std::string& owner,
                                             const std::string& directory) {
    const LeagueTable* def = FindLeagueTable(file);
    if (!def) throw std::invalid_argument("no league table " + file);
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = owner;
    t->SetDbfFileName(directory.empty() ? LeagueFilePath(file) : directory + file);
    // The table's own definition: a missing file or index is made with its fields and tags.
    t->DbfFields = def->fields;
    t->IndexList = def->indexList();
    t->CreateIndex = xb::TCreateIndexType::ciVerifyHeader;
    t->AutoFixRecCount = true;
    t->SetHideDeletedRecs(true);
    t->ShowProgress = false;
    t->Open();
    return t;
}

}  // namespace app
