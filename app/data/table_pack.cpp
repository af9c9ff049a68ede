#include "app/data/table_pack.h"

#include <exception>

#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/pack_need.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace app {

const std::vector<QString>& PackedTableNames() {
    static const std::vector<QString> names = {"champan", "champion", "equipe", "resultat", "eqchamp",
                                               "joueur",  "joueq",    "but",    "carton"};
    return names;
}

bool IsOutOfSpace(int error) {
    return error == xb::platform::kErrDiskFull || error == xb::platform::kErrDiskWrite || error == 227;
}

namespace {

TablePackResult packOne(xb::TXbDbf& table, const QString& directory, const QString& name) {
    TablePackResult result{name, PackOutcome::Failed, 0};
    try {
        table.CreateIfNotFound = false;
        table.SetDbfFileName((directory + name + ".dbf").toStdString());
        table.Open();
        table.SetIndexTo((directory + name).toStdString());
        if (table.Pack()) {
            result.outcome = PackOutcome::Packed;
        } else {
            result.error = xb::LastError();
            result.detail = xb::Engine::current().errors.detail;
            if (result.error == xb::platform::kErrSharingViolation) {
                result.outcome = PackOutcome::InUse;
            } else if (IsOutOfSpace(result.error)) {
                // A pack that fails leaves the table, its notes and its index as they were; a rebuild
                // would need the same space and could only fail again.
                result.outcome = PackOutcome::NoSpace;
            } else {
                xb::TakeErrorMessage();
                table.Reindex();
                if (xb::LastError() == 0) result.outcome = PackOutcome::Reindexed;
            }
        }
    } catch (const std::exception&) {
        if (result.error == 0) result.error = xb::LastError() != 0 ? xb::LastError() : -1;
        // An open the disk refused (a header or a semaphore it had to write) changed nothing either.
        if (IsOutOfSpace(result.error)) result.outcome = PackOutcome::NoSpace;
    }
    try {
        table.Close();
    } catch (const std::exception&) {
        // The area is gone with the failed open; there is nothing left to close.
    }
    xb::TakeErrorMessage();
    return result;
}

// Whether each table needs its pack, looked at before any is packed. The tables bear the names the
// program gives them; a name found only in another case is looked for when the given one is missing.
std::vector<bool> tablesToPack(const QString& directory) {
    std::vector<bool> out;
    for (const QString& name : PackedTableNames()) {
        if (IsTableKeptUnpacked(name.toStdString() + ".dbf")) {
            out.push_back(false);
            continue;
        }
        const std::string path = (directory + name + ".dbf").toStdString();
        std::string need = xb::PackNeed(path);
        if (need == xb::kPackNeedUnreadable) need = xb::PackNeed(xb::platform::ResolveCase(path));
        out.push_back(!need.empty());
    }
    return out;
}

}  // namespace

std::vector<TablePackResult> PackAllTables(const QString& directory) {
    // A pack needs its table alone: this station's kept tables go first.
    ReleaseKeptTables();
    std::vector<TablePackResult> results;
    xb::TrappingOff quiet;
    xb::TXbDbf table;
    const std::vector<bool> needed = tablesToPack(directory);
    for (size_t i = 0; i < PackedTableNames().size(); ++i) {
        const QString& name = PackedTableNames()[i];
        if (IsTableKeptUnpacked(name.toStdString() + ".dbf"))
            results.push_back({name, PackOutcome::Kept, 0, {}});
        else if (!needed[i])
            results.push_back({name, PackOutcome::AsItIs, 0, {}});
        else
            results.push_back(packOne(table, directory, name));
    }
    return results;
}

}  // namespace app
