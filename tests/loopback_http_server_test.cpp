// The loopback server as a raw client sees it: requests recorded whole, replies sent as scripted.
#include "tests/support/loopback_http_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace xbtest {
namespace {

using namespace std::chrono_literals;

// Sends request and reads until the server closes; "" when the connection fails.
std::string Exchange(uint16_t port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buf[4096];
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return reply;
}

TEST(LoopbackHttpServerTest, RecordsRequestsAndSendsScriptedReplies) {
    LoopbackHttpServer server;
    HttpReply big = HttpReply::Text(200, "ab");
    big.bodySize = 7;
    big.headers = {{"Content-Type", "text/plain"}};
    HttpReply unsized = HttpReply::Text(201, "xyz", "Created");
    unsized.contentLength = false;
    unsized.delay = 20ms;
    server.Script(big);
    server.Script(unsized);

    const std::string post = "POST /a?b=c HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    EXPECT_EQ(Exchange(server.Port(), post),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 7\r\nConnection: "
              "close\r\n\r\nabababa");
    EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 201 Created\r\nConnection: close\r\n\r\nxyz");
    EXPECT_EQ(Exchange(server.Port(), "GET /none HTTP/1.1\r\n\r\n").substr(0, 22),
              "HTTP/1.1 404 Error\r\nCo");
    EXPECT_EQ(server.Requests(),
              (std::vector<std::string>{post, "GET / HTTP/1.1\r\n\r\n", "GET /none HTTP/1.1\r\n\r\n"}));
    EXPECT_EQ(server.Connections(), 3u);
    EXPECT_EQ(server.BodyBytesSent(), 7u + 3u + 12u);

    server.Script(HttpReply::Closed());
    EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.1\r\n\r\n"), "");
    server.Stop();
    EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.1\r\n\r\n"), "");  // refused
    EXPECT_EQ(server.Requests().size(), 4u);
}

}  // namespace
}  // namespace xbtest
