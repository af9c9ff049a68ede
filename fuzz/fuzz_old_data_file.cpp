// The version-1.27 data file reader and the import plan on arbitrary bytes: a file is accepted only at
// the size its count gives, and every planned value lies within what the league tables hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/exchange/old_data_file.h"
#include "app/exchange/old_import_plan.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    app::OldDataFile file;
    std::string why;
    if (!app::ParseOldDataFile(data, size, file, why)) {
        Check(!why.empty());
        return 0;
    }
    Check(size == app::OldDataFileSize(static_cast<int>(file.matches.size())));
    const app::ImportPlan plan = app::PlanImport(file);
    for (const auto& t : plan.teams) Check(t.number >= 1 && t.number <= 199 && !t.name.empty());
    std::size_t placed = 0;
    for (const auto& d : plan.divisions) {
        Check(!d.name.empty() && d.year >= 1987 && d.year <= 2006 && d.scheme >= 1 && d.scheme <= 4);
        Check(d.rules.teams >= 0 && d.rules.teams <= 26 && d.teams.size() <= 26);
        for (const auto& m : d.matches) {
            Check(m.matchday >= 1 && m.matchday <= 99 && m.homeGoals >= 0 && m.homeGoals <= 999);
            Check(m.awayGoals >= 0 && m.awayGoals <= 999 && !m.code.empty());
        }
        placed += d.matches.size();
    }
    Check(placed + plan.counts.matchesSkipped + plan.counts.matchesUnplaced == file.matches.size());
    return 0;
}
