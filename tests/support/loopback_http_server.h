// A small HTTP server on 127.0.0.1 for tests of code that talks to a web server. Each request is read
// whole (head, then a body of its Content-Length), recorded byte for byte, and answered with the next
// scripted reply (a 404 once the script runs out); every connection serves one request and closes.
// Each connection has its own thread, so slow and stalled replies do not hold the others up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace xbtest {

struct HttpReply {
    enum class Kind {
        Answer,  // status line, headers, body
        Stall,   // never answers; holds the connection until the client closes it or the server stops
        Close,   // closes the connection without a reply
        Reset,   // aborts the connection (the client sees a reset)
    };
    Kind kind = Kind::Answer;
    int status = 200;
    std::string reason = "OK";
    // Sent as given after the status line; "Content-Length" (unless contentLength is false) and
    // "Connection: close" are added.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // When larger than body.size(), the body is body repeated up to this many bytes: big bodies
    // without holding them in memory.
    uint64_t bodySize = 0;
    bool contentLength = true;
    // Waited before anything is sent.
    std::chrono::milliseconds delay{0};
    // After this many body bytes nothing more is sent; the connection is held as for Stall.
    uint64_t stallAfter = std::numeric_limits<uint64_t>::max();

    static HttpReply Text(int status, std::string body, std::string reason = "");
    static HttpReply Stalled() { return Of(Kind::Stall); }
    static HttpReply Closed() { return Of(Kind::Close); }
    static HttpReply ResetConnection() { return Of(Kind::Reset); }
    static HttpReply Of(Kind kind) {
        HttpReply r;
        r.kind = kind;
        return r;
    }
};

class LoopbackHttpServer {
public:
    // Listens on a free port of 127.0.0.1 at once; throws std::runtime_error when it cannot.
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:PORT", no trailing slash.
    std::string BaseUrl() const;

    // Appends a reply to the script; requests take the script's replies in the order they arrive.
    void Script(HttpReply reply);

    // The raw bytes of every request read in full, in arrival order.
    std::vector<std::string> Requests() const;
    // Waits until at least n requests were read in full; false on time-out.
    bool WaitForRequests(size_t n, std::chrono::milliseconds timeout) const;
    // Connections accepted, whether or not they sent a request.
    size_t Connections() const;
    // Body bytes written to clients so far, over all replies.
    uint64_t BodyBytesSent() const;

    // Closes the listening socket and every connection and joins the threads; the port then refuses
    // connections. Called by the destructor; calling it twice is harmless.
    void Stop();

private:
    void acceptLoop();
    void serve(int fd);
    bool readRequest(int fd, std::string& request);
    void answer(int fd, const HttpReply& reply);
    void hold(int fd);
    bool waitStop(std::chrono::milliseconds timeout);
    bool sendAll(int fd, const char* data, size_t size, bool body);

    int m_listen = -1;
    int m_wake = -1;  // an eventfd, readable once Stop() was called
    uint16_t m_port = 0;
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopped = false;
    std::deque<HttpReply> m_script;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_connections;
    size_t m_accepted = 0;
    uint64_t m_bodyBytes = 0;
};

}  // namespace xbtest
