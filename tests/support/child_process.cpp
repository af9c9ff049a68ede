#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <stdexcept>

#ifndef LM_CHILD_PATH
#error "LM_CHILD_PATH must name the lm_child executable"
#endif

namespace xbtest {

namespace {
// Generous: the machine may be loaded by parallel tests.
constexpr int kAnswerWaitMs = 180000;
}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {LM_CHILD_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    start(argv);
}

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {executable};
    argv.insert(argv.end(), args.begin(), args.end());
    start(argv);
}

void ChildProcess::start(std::vector<std::string> argv) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // Everything the child needs is made before it exists: a test starts children from several threads
    // at once, and a copy of a threaded process that allocates before its exec can block for ever on an
    // allocator lock another thread held at the fork (the sanitizers' allocator does).
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) kill();
}

std::string ChildProcess::ask(const std::string& line) {
    return send(line) ? receive() : "";
}

bool ChildProcess::send(const std::string& line) {
    std::string msg = line + "\n";
    return m_in >= 0 && write(m_in, msg.data(), msg.size()) == static_cast<ssize_t>(msg.size());
}

std::string ChildProcess::receive() {
    for (;;) {
        size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            std::string out = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return out;
        }
        if (m_out < 0) return "";
        pollfd p{m_out, POLLIN, 0};
        int r = poll(&p, 1, kAnswerWaitMs);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            // A child that says nothing for this long is stuck, not slow: it is ended now, so that the
            // commands after this one fail at once instead of waiting as long again each.
            std::fprintf(stderr, "child %d gave no answer within %d s: killed\n", static_cast<int>(m_pid),
                         kAnswerWaitMs / 1000);
            kill();
            return "";
        }
        char buf[4096];
        ssize_t n = r < 0 ? -1 : read(m_out, buf, sizeof buf);
        if (n <= 0) return "";
        m_buffer.append(buf, static_cast<size_t>(n));
    }
}

void ChildProcess::kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int st = 0;
    waitpid(m_pid, &st, 0);
    m_pid = -1;
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
    m_in = m_out = -1;
}

int ChildProcess::finish() {
    if (m_pid <= 0) return -1;
    if (m_in >= 0) close(m_in);
    m_in = -1;
    int st = 0;
    waitpid(m_pid, &st, 0);
    m_pid = -1;
    if (m_out >= 0) close(m_out);
    m_out = -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace xbtest
