// The desktop's opener behind the platform's shell seam: the default program of a file, the default
// browser for a web address. The program installs one in main.
#pragma once

#include "platform/shell_open.h"

namespace app {

class DesktopShell : public xb::platform::Shell {
public:
    bool open(const std::string& url) override;
};

}  // namespace app
