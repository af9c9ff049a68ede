// Runs a shell command and returns what it printed on stdout (its exit status through status).
#pragma once

#include <string>

namespace xbtest {

std::string RunCommand(const std::string& command, int* status = nullptr);
// A string quoted for the shell.
std::string ShellQuote(const std::string& s);

}  // namespace xbtest
