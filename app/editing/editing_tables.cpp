#include "app/editing/editing_tables.h"

namespace app {

std::unique_ptr<xb::TXbDbf> OpenEditingTable(const std::string& file, const std::string& owner) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = owner;
    t->SetDbfFileName(file);
    t->SetHideDeletedRecs(true);
    t->ShowProgress = false;
    t->Open();
    return t;
}

}  // namespace app
