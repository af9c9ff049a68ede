// A real child process (fork and exec of lm_child) driven line by line over pipes, for tests where two
// processes must open the same files.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace xbtest {

class ChildProcess {
public:
    // Starts lm_child with the given arguments; the child reads commands from its stdin.
    explicit ChildProcess(const std::vector<std::string>& args = {});
    // Starts another helper executable the same way.
    ChildProcess(const std::string& executable, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends one command line and returns the child's one-line answer ("" when the child died).
    std::string ask(const std::string& line);
    // The two halves of ask, so that several children can work on their commands at the same time.
    bool send(const std::string& line);
    std::string receive();
    // Kills the child at once (SIGKILL) and reaps it.
    void kill();
    // Closes the child's stdin and waits for it; returns its exit status (-1 when killed by a signal).
    int finish();
    pid_t pid() const { return m_pid; }

private:
    void start(std::vector<std::string> argv);

    pid_t m_pid = -1;
    int m_in = -1;   // to the child's stdin
    int m_out = -1;  // from the child's stdout
    std::string m_buffer;
};

}  // namespace xbtest
