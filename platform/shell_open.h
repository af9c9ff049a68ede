// The seam through which the program hands a document or a web address to the desktop: an exported page
// opened with its default program, the help pages and the web site in the browser. The default does
// nothing and answers false; the program installs the desktop's opener, tests a recording stand-in, so
// no test ever starts a browser.
#pragma once

#include <string>

namespace xb::platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Asks the desktop to open url (a "file://" URL or a web address); true when the open started. A
    // failed open is not reported further.
    virtual bool open(const std::string& url) = 0;
};

// Opens nothing and answers false.
class NoShell : public Shell {
public:
    bool open(const std::string&) override { return false; }
};

Shell& CurrentShell();
// Installs shell (nullptr restores the default); returns the previous one.
Shell* SetShell(Shell* shell);

}  // namespace xb::platform
