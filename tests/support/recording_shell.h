// The shell seam's stand-in for tests: records every URL it is asked to open and answers `answer`.
// Installed for its lifetime.
#pragma once

#include <string>
#include <vector>

#include "platform/shell_open.h"

namespace xbtest {

class RecordingShell : public xb::platform::Shell {
public:
    RecordingShell() : m_previous(xb::platform::SetShell(this)) {}
    ~RecordingShell() override { xb::platform::SetShell(m_previous); }

    bool open(const std::string& url) override {
        opened.push_back(url);
        return answer;
    }

    bool answer = true;
    std::vector<std::string> opened;

private:
    xb::platform::Shell* m_previous;
};

}  // namespace xbtest
