// The write commands on the current work area. In shared use every write needs its lock: Append the
// append lock, Replace, DeleteRec, RecallRec and Poke the record's lock; Pack takes exclusive use itself.
#pragma once

#include <cstdint>
#include <string>

namespace xb {

bool Append();
bool Replace();
bool DeleteRec();
bool RecallRec();
// Removes deleted records. The kept records are written to a temporary file beside the table, which
// then replaces the table in one rename: a failure or a crash leaves the table as it was.
bool Pack();
bool Poke(const std::string& text, int field, int32_t record);
bool HasMdxFlag();
void SetMdxFlag(bool on);

// Finishes or rolls back a pack (or an index rebuild) a crash interrupted; Use calls it before it opens a
// table. A pack commits when its packed table is complete under its ready name, with the packed memo file
// and index beside it: from then on the memo file, the index and the table take their names in that order;
// before, every file it left is removed. Answers false (with an error) only when a leftover could not be
// resolved.
bool CompleteInterruptedPack(const std::string& tablePath);

// Names of the files a pack works with, beside the table.
std::string PackWritingName(const std::string& tablePath);  // the packed table while it is written
std::string PackReadyName(const std::string& tablePath);    // the packed table, complete, not yet committed
std::string PackMemoName(const std::string& tablePath);     // the packed memo file, not yet committed

}  // namespace xb
