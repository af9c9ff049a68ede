// How the soak test marks its rows in the nine league tables: every row carries its writer (1 to 4; 9
// for the rows the table starts with) and the writer's sequence number in that table, in fields chosen
// per table so that one tag finds the row again by a key prefix. The other fields get random values, so
// replaces move rows around in every tag.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/dataset/xb_file_dataset.h"
#include "app/data/league_tables.h"

namespace soak {

struct RowId {
    int writer = 0;
    int seq = 0;
    bool operator==(const RowId&) const = default;
};

struct TableSpec {
    const app::LeagueTable* def = nullptr;
    std::string seekTag;  // the tag whose key starts with seekKey(writer, seq)
    int seqCap = 0;       // the highest sequence number the marking fields hold
    // Puts writer, sequence and random values into every field of the current row (in edit state).
    std::function<void(xb::TXbDbf&, RowId, std::mt19937&)> fill;
    std::function<RowId(xb::TXbDbf&)> identity;
    std::function<std::string(RowId)> seekKey;
    // True when the row under the cursor can still be the one sought (rows of one key prefix follow
    // each other in the seek tag).
    std::function<bool(RowId found, RowId sought)> samePrefix;
};

const std::vector<TableSpec>& Tables();

// A row as text: every field's value (memo lines joined by "/"), separated by "|".
std::string RowImage(xb::TXbDbf& t);

// Opens one league table as the application does; *built is set when the opening built its index.
std::unique_ptr<xb::TXbDbf> OpenTable(const std::string& dir, const TableSpec& spec, bool exclusive,
                                      bool* built = nullptr);

}  // namespace soak
