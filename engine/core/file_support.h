// File names, existence and age of files, erasing by mask, free disk space, temporary names, the
// directory search and the tick count.
//
// Paths use "/" as the separator; there is one drive (0). Masks use "*" and "?" and match without regard
// to case; only regular files match. A data file is found whatever the case of its name on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xb {

namespace platform {
class File;
}

// ---- names ----

// Splits path into directory (with a trailing "/" when it is not empty), name and extension (with its
// dot). A name without a directory gives an empty directory, so it stays relative.
void FSplit(const std::string& path, std::string& dir, std::string& name, std::string& ext);
// name + "." + ext when name has no extension (the name right-trimmed first); name itself otherwise.
std::string DefaultExt(const std::string& name, const std::string& ext);
// name with its extension replaced by "." + ext (an empty ext only strips).
std::string ForceExt(const std::string& name, const std::string& ext);
std::string StripExt(const std::string& name);
std::string FullPathOf(const std::string& name);

// ---- the files of a table ----
//
// Every name the engine gives a file of a table comes from here. Files the engine creates get lower-case
// extensions, except that a table's derived files (memo, index, semaphore, pack and commit files) take its
// base name as it stands on disk and the letter case of its extension: "equipe" and "equipe.dbf" give
// equipe.dbt and equipe.mdx, "OURS.DBF" gives OURS.DBT and OURS.MDX (the semaphore keeps its one mark).
// Opening finds each whatever its case.

inline constexpr const char* kTableExt = "dbf";
inline constexpr const char* kMemoExt = "dbt";
inline constexpr const char* kFoxMemoExt = "fpt";  // the memo file of tables with version byte 0xF5
inline constexpr const char* kIndexExt = "mdx";
inline constexpr const char* kSemaphoreExt = "@s@";
inline constexpr const char* kPackWritingExt = "$pw";  // the packed table while it is written
inline constexpr const char* kPackReadyExt = "$pr";    // the packed table, complete, before its commit
inline constexpr const char* kPackMemoExt = "$$$";     // the packed memo file before its commit
inline constexpr const char* kIndexBesideExt = "$pi";  // an index rebuilt beside its file, before it takes its name

// The table file for a name as a caller gives it: absolute, "dbf" added when it has no extension, and the
// file found on disk whatever the case of its name there.
std::string TableFileName(const std::string& given);
// ext (lower case) in the letter case of tablePath's extension, letter by letter: "DBF" makes "mdx" MDX,
// "Dbf" makes it Mdx; a table without letters in its extension keeps ext in lower case.
std::string ExtInCaseOf(const std::string& tablePath, const std::string& ext);
// tablePath with its extension replaced by ext in the case of the table's extension, as found on disk
// whatever its case there.
std::string DerivedFileName(const std::string& tablePath, const std::string& ext);
// The memo file of a table of the given version byte (".fpt" for 0xF5, ".dbt" otherwise).
std::string MemoFileNameOf(const std::string& tablePath, uint8_t version);
// The production index of a table.
std::string IndexFileNameOf(const std::string& tablePath);
// The index semaphore of a table: its extension "@s@" is the same mark for every station and table, in
// whatever case the table's name is.
std::string SemaphoreFileNameOf(const std::string& tablePath);
// An index file a caller names: ext "mdx" added when it has none, found on disk whatever its case; the
// table's production index when the name is empty.
std::string GivenIndexFileName(const std::string& tablePath, const std::string& given);

// ---- files ----

bool FileExistsS(const std::string& name);
// The DOS date-time (date in the high word) of an open file; 0 when it cannot be read. Stores the result
// code in the search-result word.
uint32_t FileDateOf(const platform::File& file);
// True when the file exists, can be opened for shared reading and was last written today.
bool FileIsFromToday(const std::string& name);
// Erases one file, refused with 32 while any other handle (in this process or another) holds it open;
// returns 0 or the error code. Does not report.
int EraseFile(const std::string& name);
// Erases one file (no "*" or "?" in mask) or every file matching the mask; failures are reported
// through SetEngineError (the erase's code for one file, 5 for a mask). A mask matching nothing is fine.
void EraseFiles(const std::string& mask);

// Free kilobytes available on the file system of path ("" = the current directory); 2147483647 when it
// cannot be queried or does not fit.
long DiskFreeOf(const std::string& path);
// DiskFreeOf for a drive number: 0 is the current (and only) drive.
long DiskFree(int drive);

// Creates a new empty temporary file and returns its name; "" after reporting the error.
std::string UniqueFilename();

// ---- directory search ----

constexpr int kFileAttrArchive = 32;
// Result codes of the search, as the search-result word holds them.
constexpr int kSearchNoMoreFiles = 18;

struct SearchRecS {
    std::string name;  // without directory
    uint64_t size = 0;
    int attr = 0;      // kFileAttrArchive: every match is a regular file

    // The state of the search.
    std::string dir;
    std::vector<std::string> pending;
    size_t next = 0;
};

// Starts a search for regular files matching mask (directory + name mask); fills rec with the first.
// Returns 0, 2 (nothing matches) or 3 (no such directory). attr is accepted for callers asking for
// archive files; everything found has that attribute.
int FindFirstS(const std::string& mask, int attr, SearchRecS& rec);
// The next match: 0, or 18 when there is none left.
int FindNextS(SearchRecS& rec);
void FindCloseS(SearchRecS& rec);
// The search-result word: the code of the last search call or FileDateOf.
int SearchResult();

// ---- timing ----

// Milliseconds from a fixed start, monotonic; TickSeconds is the same in whole seconds.
uint64_t TickCount();
uint64_t TickSeconds();

}  // namespace xb
