// What a league table's files hold against what opening and using them needs: the table beside the
// others, its header against its size, its fields against the table's definition, and every memo
// pointer inside its memo file. Plain reading: nothing is locked, written or repaired, so a check can
// run before anything else touches the data folder, and again on files about to take its place.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <vector>

#include "app/data/league_tables.h"

namespace app {

enum class TableDamage {
    Missing,          // the table file is absent although other tables of the database are there
    NotATable,        // too short for its header, or a header that describes no record layout
    CutInRecords,     // fewer whole rows than the header counts, or a piece of a row at the end
    FieldMismatch,    // a field differs from the table's definition (or is missing, or is one too many)
    MemoFileMissing,  // the table has memo pointers and no memo file
    MemoPointer,      // a row's memo pointer leads past the end of the memo file or to no memo
    NotAFile,         // something other than a file (a folder, a pipe, a link to no file) stands where the
                      // table, its memo, index or semaphore, its creation lock, the settings or the
                      // language file belongs (file names it; what says what it is)
    WithoutTable,     // the table's memo or index file is there without its table (file names it)
};

// What stands where a file of the program belongs (NotAFile).
enum class InTheWay {
    Unknown,
    Folder,
    Link,        // a symbolic link where none may stand (the creation lock), whatever it leads to
    BrokenLink,  // a symbolic link that leads to nothing (a missing name, or a loop of links)
    Pipe,        // a named pipe: opening it would wait for a writer
    Special,     // a socket or a device
};

struct TableProblem {
    std::string file;  // "joueur.dbf"; WithoutTable: the memo or index file ("joueur.dbt")
    TableDamage kind;
    int row = 0;           // CutInRecords: the whole rows the file holds; MemoPointer: the row (from 1)
    std::string field;     // FieldMismatch, MemoPointer: the field's name as the definition writes it
    std::string found;     // FieldMismatch: the field as the file describes it ("nuequipe,C,5,0"), or ""
    std::string expected;  // FieldMismatch: the field as the definition describes it, or ""
    InTheWay what = InTheWay::Unknown;  // NotAFile: what stands there
};

// Whether the program can go on past the problem (missing tables are created empty, a table with
// damage in its rows is kept as it is and only read) or must stop (it cannot read the table at all).
bool CanGoOnWith(const TableProblem& problem);
// Whether the program can go on past the problem only once the file is moved aside (MoveAside): it
// stands where a table, memo or index would be created, and creating one never replaces a file.
bool GoesOnMovedAside(const TableProblem& problem);

// The problems of one table's files in folder (ending "/"): an absent table file gives Missing; an
// unreadable one NotATable. The memo pointers of deleted rows are checked too: a pack keeps none of
// them, but undeleting keeps them all.
std::vector<TableProblem> CheckLeagueTable(const std::string& folder, const LeagueTable& table);

// The problems of the nine tables in folder, in the order the database opens them, then what stands in
// the way of the settings and language files. A folder without any of the tables' files (table, memo or
// index) is a first start: nothing is missing there, and firstStart (when given) says so. So is a folder
// where a creation was cut short: only whole tables without a row, the others missing. Nothing of the
// check opens anything but a regular file: a pipe at a name never holds it up. The check ends early,
// with what it found so far, when a stop is requested (StopRequested).
std::vector<TableProblem> CheckLeagueDatabase(const std::string& folder, bool* firstStart = nullptr);

// The starts that create tables in a folder take turns through the creation lock of this name
// (".database.lock"), held from their check until the tables are made.
inline constexpr const char* kCreationLockTarget = "database";

// Whether going on past problems creates a table (one missing, or one whose place a moved-aside file
// held): a creation that another station may be making at the same moment.
bool CreatesTables(const std::vector<TableProblem>& problems);

// Removes what creations cut short left in folder: the creation locks of the tables and of the database
// that no station holds, and the staging folders (".resultat.dbf-new-XXXXXX") of a table whose lock no
// station holds, with the table's own staged files in them. A live station's are left as they are.
void ClearCreationLeftovers(const std::string& folder);

// The creation locks of the nine tables of folder that a live station holds now (".resultat.dbf.lock"),
// looked at without waiting.
std::vector<std::string> CreationLocksHeld(const std::string& folder);

// The problems said to the user after a heading, in the current language: what is wrong and what the
// program will do about it. Problems of one kind in one file take one line and a count of the others, so
// that the text fits the screen however many rows are damaged.
QString DescribeProblems(const std::vector<TableProblem>& problems);
// Every problem, one line each, when DescribeProblems counted some instead of naming them; else empty.
QString DescribeProblemDetails(const std::vector<TableProblem>& problems);

// A folder name inside the data folder, not yet taken, for the files moved aside at this start.
std::string AsideFolderName(const std::string& folder);
// Moves the files of the problems that GoesOnMovedAside into folder + aside (created here). All or
// nothing: when one cannot be moved the ones moved go back, the folder is removed and failed names the
// file. True when every file was moved.
bool MoveAside(const std::string& folder, const std::string& aside, const std::vector<TableProblem>& problems,
               std::string* failed);

// The tables ("resultat.dbf") of problems that the program keeps away from writes (rows cut) and from
// the pack (rows cut, notes out of reach), so that none of their bytes is lost while it runs.
std::set<std::string> TablesKeptReadOnly(const std::vector<TableProblem>& problems);
std::set<std::string> TablesKeptUnpacked(const std::vector<TableProblem>& problems);

}  // namespace app
