// File names as the engine sees them: "/" separates, there is one drive (0), DOS masks match without
// regard to case and only regular files match; a data file is found whatever the case of its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xb::platform {

// The path of an existing file whose name equals the given one without regard to case (the exact name
// wins); the given path when nothing matches. Only the last component is looked up.
std::string ResolveCase(const std::string& path);
// Whether two file names are the same name whatever the case of their ASCII letters.
bool SameNameAnyCase(const std::string& a, const std::string& b);

bool FileExists(const std::string& path);  // a regular file
bool DirExists(const std::string& path);

// DOS mask matching: "*" any run, "?" any one character, case-insensitive. "*.*" matches every name.
bool MatchMask(const std::string& mask, const std::string& name);
// Regular files of a directory matching a mask, sorted by name (names only, no directory).
std::vector<std::string> ListMatching(const std::string& dir, const std::string& mask);

// The absolute form of a path (the current directory in front of a relative one, "." and ".." folded).
std::string AbsolutePath(const std::string& path);
std::string CurrentDir();

// The temporary directory with a trailing "/" ($TMPDIR, else /tmp/).
std::string TempDir();
// Creates a new empty file named prefix + four hex digits + ".tmp" in dir; returns 0 or an error code.
int UniqueTempFile(const std::string& dir, const std::string& prefix, std::string& out);
// Creates a new empty directory named prefix + a unique suffix in dir; returns 0 or an error code.
int UniqueTempDir(const std::string& dir, const std::string& prefix, std::string& out);
// Removes an empty directory; 0 when it did not exist.
int RemoveEmptyDir(const std::string& path);

// Free bytes available to the caller on the file system of path; false when the query fails.
bool DiskFreeBytes(const std::string& path, uint64_t& out);

}  // namespace xb::platform
