// The record loads and text helpers of navigation that the search of rows (record_search.cpp) shares;
// not for use outside the engine's core.
#pragma once

#include <cstdint>
#include <string>

namespace xb {

struct WorkAreaBlock;

namespace nav {
// Reads record r of the area into its buffers (raw and typed).
bool ReadLoad(WorkAreaBlock& b, int32_t r);
// The area past its last record, at both ends, its buffer cleared.
void EndPosition(WorkAreaBlock& b);
// The text in upper case in code page cp; the text without its trailing blanks and control bytes.
std::string UpperIn(int cp, std::string s);
std::string RTrim(std::string s);
// The code page a field's stored bytes are in.
int FieldCodePage(const WorkAreaBlock& b);
}  // namespace nav

}  // namespace xb
