// The editing windows' own tables.
#pragma once

#include <memory>
#include <string>

#include "engine/dataset/xb_file_dataset.h"

namespace app {

// Opens a league table (by its file name) for a window: shared, deleted rows hidden, made from its own
// definition when its file or index is missing. `owner` names the component. The table is taken in
// directory (ending "/") when one is given, else in the data directory.
std::unique_ptr<xb::TXbDbf> OpenEditingTable(const std::string& file, const std::string& owner,
                                             const std::string& directory = {});

}  // namespace app
