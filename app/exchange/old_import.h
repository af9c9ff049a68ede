// The import of a version-1.27 data file: it replaces the championship data of the database (teams,
// championships, season rules, team links and results; goals, cards and squads go with them, players stay)
// by the file's content.
//
// Nothing of the database changes until the new tables are complete: the file is read and checked whole,
// the user confirms, the database is held so that no other station has it open, the new tables are built
// in a staging folder of the import's own (one exchange operation: a restore, import or download
// already running refuses it), and the staged tables then replace the live ones in one swap. A refusal,
// a failure or a stop before the swap leaves the database as it was.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/exchange/old_import_plan.h"

namespace xb {
class TXbDbf;
}

namespace app {

class ExchangeOperation;

// How the import takes the live database for its run and puts the staged tables in its place.
class ImportDatabaseSwap {
public:
    virtual ~ImportDatabaseSwap() = default;
    // Holds the database for the run; false with why when another station has a table open.
    virtual bool hold(QString& why) = 0;
    // Replaces the live data files by those of the operation's staging folder; false with why, the
    // database unchanged.
    virtual bool swap(const ExchangeOperation& op, QString& why) = 0;
    virtual void release() = 0;
};

// The hold and the journaled swap of the database's restore.
std::unique_ptr<ImportDatabaseSwap> MakeImportDatabaseSwap();

struct ImportHooks {
    // Each step's text (the status label); progress texts come at most every 100 ms.
    std::function<void(const QString&)> status;
    // Asked once the file is read and checked, before anything changes: true to go on.
    std::function<bool()> confirm;
    // A division whose name no championship has, while its own number belongs to another championship:
    // a championship number (> 0), -1 to create a new one, 0 to skip the division. dir is the staging
    // folder (ending "/") whose champion table holds the championships so far; it is closed meanwhile.
    std::function<int(const QString& name, const std::string& dir)> chooseChampionship;
    // Names of the file that the database's code page cannot hold, said in text (which names each one
    // with its letter), before anything changes: true to import without them and every row that refers
    // to them, false (or no hook) to stop with nothing written.
    std::function<bool(const QString& text)> goOnWithout;
};

struct ImportCounts {
    PlanCounts plan;
    int teams = 0;
    int championshipsCreated = 0;
    int seasons = 0;  // season rules stored
    int links = 0;
    int matches = 0;
    int duplicates = 0;        // matches held twice: the later one is kept
    int divisionsSkipped = 0;  // no championship chosen, or none left to create
    int writesRefused = 0;     // values the tables refused (none for a sound plan)
    QStringList leftOut;       // the names left out with every row that refers to them, as said
};

enum class ImportResult { Done, Cancelled, Refused, Failed };

struct ImportOutcome {
    ImportResult result = ImportResult::Failed;
    QString message;  // the reason, or the last status line
    ImportCounts counts;
};

// The whole import of fileName into the data directory (GetAppDir). swap defaults to the restore's.
ImportOutcome ImportOldFile(const std::string& fileName, const ImportHooks& hooks,
                            ImportDatabaseSwap* swap = nullptr);

// The names the code page cannot hold, one a line after a heading, in the current language.
QString UnstorableNamesText(const std::vector<UnstorableName>& names, int codePage);

// The last status line: the operation-finished text followed by the counts, in the current language.
QString ImportSummary(const ImportCounts& counts);

}  // namespace app
