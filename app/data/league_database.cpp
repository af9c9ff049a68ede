#include "app/data/league_database.h"

#include "app/data/league_access.h"
#include "app/data/league_tables.h"
#include "platform/file.h"

namespace app {

Tfsysteme* fsysteme = nullptr;

Tfsysteme::Tfsysteme() {
    const auto& defs = LeagueTables();
    const auto all = tables();
    // One listing of the folder answers the nine opens' lookups (a semaphore file an open makes joins it).
    xb::platform::NameLookupScope names;
    try {
        for (size_t i = 0; i < all.size(); ++i) {
            if (xb::platform::StopRequested()) throw TablesOpenStopped();
            xb::TXbDbf& t = *all[i];
            const LeagueTable& def = defs[i];
            t.Name = def.component;
            t.SetDbfFileName(LeagueFilePath(def.file));
            t.DbfFields = def.fields;
            t.IndexList = def.indexList();
            t.TableLanguage = xb::TXbTableLanguage::tlOem;
            t.ReadOnly = IsTableKeptReadOnly(def.file);
            t.SetExclusive(false);
            t.AutoFixRecCount = true;
            t.CreateIndex = xb::TCreateIndexType::ciVerifyHeader;
            t.SetHideDeletedRecs(def.hideDeleted);
            t.ShowProgress = false;
            t.Open();
        }
    } catch (...) {
        for (xb::TXbDbf* t : all) CloseQuietly(*t);
        throw;
    }
}

Tfsysteme::~Tfsysteme() {
    for (xb::TXbDbf* t : tables()) CloseQuietly(*t);
}

std::array<xb::TXbDbf*, 9> Tfsysteme::tables() {
    return {&topchampannee, &topchampion, &teqchamp, &tresultats, &btable,
            &tjoueur,       &tjoueq,      &tbut,     &tcarton};
}

void CloseSystemTables(Tfsysteme& f) {
    for (xb::TXbDbf* t : {&f.topchampannee, &f.topchampion, &f.btable, &f.teqchamp, &f.tresultats, &f.tjoueur,
                          &f.tjoueq, &f.tbut, &f.tcarton})
        t->Close();
}

}  // namespace app
