// The file layer's own count of the system's calls, shared by its parts (file.cpp, file_names.cpp,
// file_creation.cpp, paths.cpp): every call that names a file or a folder, or works on a descriptor of
// one, is counted once as it is made, failed calls included, so that the count is what a trace of the
// process shows for its data folder (docs/platform.md). Not for the rest of the program.
#pragma once

#include <cstdint>
#include <string>

namespace xb::platform::calls {

enum Kind { kRead, kWrite, kLock, kUnlock, kStat, kOpen, kOther, kList, kKinds };

// Counts one call of the operating system (and waits the network's time when one is set).
void Count(Kind kind);
// Every counted call of the process, in turn: tells whether anything was asked of the system between two
// points.
uint64_t Serial();
// A file this layer may just have made at path: a listing of its folder that a NameLookupScope keeps
// takes the name in, instead of being made again (file_names.cpp).
void NoteMadeName(const std::string& path);
// The ways of publishing a file ClearFaults gives back (file_names.cpp).
void ResetPublishWays();

}  // namespace xb::platform::calls
