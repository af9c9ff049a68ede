#include "tests/support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace xbtest {

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMaxRequest = 1 << 20;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The Content-Length of a request head, 0 when it has none.
size_t contentLength(const std::string& head) {
    const std::string h = lower(head);
    const size_t at = h.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<size_t>(std::strtoull(h.c_str() + at + 17, nullptr, 10));
}

}  // namespace

HttpReply HttpReply::Text(int status, std::string body, std::string reason) {
    HttpReply r;
    r.status = status;
    r.reason = reason.empty() ? (status >= 200 && status < 300 ? "OK" : "Error") : std::move(reason);
    r.body = std::move(body);
    return r;
}

LoopbackHttpServer::LoopbackHttpServer() {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_wake = eventfd(0, EFD_CLOEXEC);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listen < 0 || m_wake < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listen, 16) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const std::string why = std::strerror(errno);
        if (m_listen >= 0) close(m_listen);
        if (m_wake >= 0) close(m_wake);
        throw std::runtime_error("loopback HTTP server: " + why);
    }
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    Stop();
}

std::string LoopbackHttpServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void LoopbackHttpServer::Script(HttpReply reply) {
    std::lock_guard lock(m_mutex);
    m_script.push_back(std::move(reply));
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool LoopbackHttpServer::WaitForRequests(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= n; });
}

size_t LoopbackHttpServer::Connections() const {
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

uint64_t LoopbackHttpServer::BodyBytesSent() const {
    std::lock_guard lock(m_mutex);
    return m_bodyBytes;
}

void LoopbackHttpServer::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) return;
        m_stopped = true;
    }
    const uint64_t one = 1;
    (void)!write(m_wake, &one, sizeof one);
    m_acceptor.join();
    // No thread is added once the acceptor has ended.
    for (auto& t : m_connections) t.join();
    close(m_listen);
    close(m_wake);
}

void LoopbackHttpServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        std::lock_guard lock(m_mutex);
        ++m_accepted;
        m_connections.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackHttpServer::serve(int fd) {
    std::string request;
    if (readRequest(fd, request)) {
        HttpReply reply = HttpReply::Text(404, "not scripted");
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            if (!m_script.empty()) {
                reply = std::move(m_script.front());
                m_script.pop_front();
            }
        }
        m_changed.notify_all();
        answer(fd, reply);
    }
    close(fd);
}

bool LoopbackHttpServer::readRequest(int fd, std::string& request) {
    size_t need = std::string::npos;  // the whole request's length, once the head is complete
    char buf[4096];
    while (request.size() < need) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents) return false;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        request.append(buf, static_cast<size_t>(n));
        if (request.size() > kMaxRequest) return false;
        const size_t end = request.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos)
            need = end + 4 + contentLength(request.substr(0, end));
    }
    return request.size() == need;
}

void LoopbackHttpServer::answer(int fd, const HttpReply& reply) {
    if (reply.delay.count() > 0 && waitStop(reply.delay)) return;
    switch (reply.kind) {
        case HttpReply::Kind::Stall:
            hold(fd);
            return;
        case HttpReply::Kind::Close:
            return;
        case HttpReply::Kind::Reset: {
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        case HttpReply::Kind::Answer:
            break;
    }
    const uint64_t size = reply.body.empty() ? 0 : std::max<uint64_t>(reply.bodySize, reply.body.size());
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
    if (reply.contentLength) head += "Content-Length: " + std::to_string(size) + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (!sendAll(fd, head.data(), head.size(), false)) return;

    const uint64_t limit = std::min(size, reply.stallAfter);
    std::string chunk;
    if (!reply.body.empty()) {
        while (chunk.size() < kChunk) chunk += reply.body;
    }
    uint64_t sent = 0;
    while (sent < limit) {
        const size_t offset = static_cast<size_t>(sent % reply.body.size());
        const size_t n = static_cast<size_t>(std::min<uint64_t>(limit - sent, chunk.size() - offset));
        if (!sendAll(fd, chunk.data() + offset, n, true)) return;
        sent += n;
    }
    if (sent < size) {
        hold(fd);
        return;
    }
    shutdown(fd, SHUT_WR);
}

// Waits until the client closes its side or the server stops; whatever the client sends is dropped.
void LoopbackHttpServer::hold(int fd) {
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (fds[0].revents) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
        }
    }
}

// True when the server stopped within the time.
bool LoopbackHttpServer::waitStop(std::chrono::milliseconds timeout) {
    pollfd wake{m_wake, POLLIN, 0};
    return poll(&wake, 1, static_cast<int>(timeout.count())) > 0;
}

bool LoopbackHttpServer::sendAll(int fd, const char* data, size_t size, bool body) {
    while (size > 0) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {m_wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents) return false;
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
        if (!(fds[0].revents & POLLOUT)) continue;
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        if (body) {
            std::lock_guard lock(m_mutex);
            m_bodyBytes += static_cast<uint64_t>(n);
        }
    }
    return true;
}

}  // namespace xbtest
