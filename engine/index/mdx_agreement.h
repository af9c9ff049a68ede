// Whether an index file stands in step with its table, told from the files alone: every tag holds
// record numbers of the table's rows only, each row at most once, and every row once in a tag without
// a FOR condition. A change of the index that failed or died half-way, and that nobody repaired, shows
// here as a key of a row the table no longer has, a row without its key or a row twice. The keys' values
// are not compared with the rows (that needs the key expressions): a key left stale by a torn replace is
// for the repair's rebuild, which the same failure marks. Each node is read once at most, with at most
// 8 MiB of the file in memory: a tree of any shape (a cycle, a node many parents name, a file that is
// mostly a hole) costs what its reachable nodes hold, and a node reached twice is damage.
#pragma once

#include <cstdint>
#include <string>

namespace xb {

// "" when the index at mdxPath agrees with a table of rowCount rows, else what disagrees (naming the
// tag). A file that cannot be read or is no index answers what is wrong with it too.
std::string IndexDisagreement(const std::string& mdxPath, int32_t rowCount);

}  // namespace xb
