// Whether an index file stands in step with its table, told from the files alone: every tag holds
// record numbers of the table's rows only, each row at most once, and every row once in a tag without
// a FOR condition. A change of the index that failed or died half-way, and that nobody repaired, shows
// here as a key of a row the table no longer has, a row without its key or a row twice. The keys' values
// are not compared with the rows (that needs the key expressions): a key left stale by a torn replace is
// for the repair's rebuild, which the same failure marks; nor is the order of a leaf's keys, which every
// read of the node checks. Each node is read once at most, with at most 8 MiB of the file in memory: a tree
// of any shape (a cycle, a node many parents name, a file that is mostly a hole) costs what its reachable
// nodes hold, and a node reached twice is damage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace xb {

// "" when the index at mdxPath agrees with a table of rowCount rows, else what disagrees (naming the
// tag). A file that cannot be read or is no index answers what is wrong with it too.
std::string IndexDisagreement(const std::string& mdxPath, int32_t rowCount);
// The same over an index file open for reading of fileSize bytes, whose first bytes the caller read
// already (at least the header; ReadIndexFirstPiece's piece is taken over as the first piece).
std::string IndexDisagreement(platform::File& file, uint64_t fileSize, std::vector<uint8_t>&& first,
                              int32_t rowCount);

// The start's check of every index against its table as the tables open: while a CheckIndexesAsOpened
// lives, each index the current engine opens writable is walked as it opens (in the one read its open
// makes when the file is under 1 MiB, and under the same look at the semaphore as its headers), and one
// found out of step with its table's rows is rebuilt from them there and then, under the write lock; when
// that cannot be done it is marked for the first station that can. Each finding is kept: the index
// file's path and what disagreed.
struct IndexOutOfStepFound {
    std::string indexPath;
    std::string reason;
};
class CheckIndexesAsOpened {
public:
    CheckIndexesAsOpened();
    ~CheckIndexesAsOpened();
    CheckIndexesAsOpened(const CheckIndexesAsOpened&) = delete;
    CheckIndexesAsOpened& operator=(const CheckIndexesAsOpened&) = delete;
    // What the opens in the check's life found, in their order.
    const std::vector<IndexOutOfStepFound>& found() const;
};
// For the index driver: whether a check is on, and a finding to keep.
bool IndexCheckAtOpen();
void KeepIndexFinding(const std::string& indexPath, const std::string& reason);

}  // namespace xb
