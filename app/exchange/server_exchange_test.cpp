// The exchange against a loopback server: what gets announced, the requests byte for byte, the hand-over
// of the notice to the GUI thread, the exchange switched off, and stopping threads that wait on a server
// that never answers.
#include "app/exchange/server_exchange.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/network.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

using namespace std::chrono_literals;
using xbtest::HttpReply;
using xbtest::LoopbackHttpServer;

// The program's main keeps one of these; the tests' main does not know about the HTTP library.
HttpLibraryScope g_httpLibrary;

// Stands in for the GUI thread's event queue: the exchange posts, the test thread drains.
class GuiQueue {
public:
    void Post(std::function<void()> call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    size_t Drain() {
        size_t n = 0;
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(m_mutex);
                if (m_calls.empty()) return n;
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call();
            ++n;
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};

bool WaitIdle(const ServerExchange& exchange, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (exchange.RunningCount() != 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class ServerExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        xb::platform::SetComputerNameAnswer("station");
        xb::platform::SetDefaultRouteAnswer(true);
    }
    void TearDown() override {
        xb::platform::SetComputerNameAnswer(std::nullopt);
        xb::platform::SetDefaultRouteAnswer(std::nullopt);
    }
    static ExchangeSettings SettingsFor(const LoopbackHttpServer& server) {
        ExchangeSettings s;
        s.baseUrl = server.BaseUrl();
        s.contactAddress = "contact@example.invalid";
        s.connectTimeout = 5s;
        s.totalTimeout = 20s;
        return s;
    }

    // Runs one start ("debut": report, then version check) and returns the versions handed over.
    std::vector<std::string> RunStart(const ExchangeSettings& settings, const std::string& announced) {
        std::vector<std::string> handed;
        std::mutex m;
        ServerExchange exchange(settings, [&](const std::string& v) {
            std::lock_guard lock(m);
            handed.push_back(v);
        });
        EXPECT_TRUE(exchange.Start(true, kEventStart, true, announced));
        EXPECT_TRUE(WaitIdle(exchange));
        exchange.StopAll();
        return handed;
    }
};

TEST_F(ServerExchangeTest, OnlyANewerVersionInAGoodReplyIsHandedOver) {
    enum Server { Up, ClosedPort };
    struct Case {
        const char* what;
        HttpReply reply;
        std::string announced;
        std::vector<std::string> expected;
        Server server = Up;
    };
    HttpReply redirect = HttpReply::Text(302, "2.50");
    redirect.headers = {{"Location", "/pollvexan/versionsoft.php?soft=OTHER"}};
    const Case cases[] = {
        {"seven characters, nothing announced yet", HttpReply::Text(200, "2.10abc"), "", {"2.10"}},
        {"already announced", HttpReply::Text(200, "2.10abc"), "2.10", {}},
        {"three characters", HttpReply::Text(200, "2.1"), "", {}},
        {"the running version", HttpReply::Text(200, "2.06"), "", {}},
        {"an error status", HttpReply::Text(404, "2.50"), "", {}},
        {"an error page with status 200", HttpReply::Text(200, "<html><body>busy</body></html>"), "", {}},
        {"a redirect is not followed", redirect, "", {}},
        {"closed without a reply", HttpReply::Closed(), "", {}},
        {"a reset connection", HttpReply::ResetConnection(), "", {}},
        {"a closed port", HttpReply::Text(200, "2.50"), "", {}, ClosedPort},
        {"two-digit major version", HttpReply::Text(200, "10.0"), "", {"10.0"}},
        {"above an announced version", HttpReply::Text(200, "10.0"), "2.10", {"10.0"}},
    };
    for (const auto& c : cases) {
        LoopbackHttpServer server;
        server.Script(HttpReply::Text(200, "ok"));  // the usage report
        server.Script(c.reply);
        if (c.server == ClosedPort) server.Stop();
        EXPECT_EQ(RunStart(SettingsFor(server), c.announced), c.expected) << c.what;
        if (c.server == Up) {
            EXPECT_EQ(server.Requests().size(), 2u) << c.what;
        }
    }
}

TEST_F(ServerExchangeTest, AHugeReplyIsNotReadWhole) {
    LoopbackHttpServer server;
    server.Script(HttpReply::Text(200, "ok"));
    HttpReply huge = HttpReply::Text(200, "3.00 and then a very long page");
    huge.bodySize = 100ull << 20;
    server.Script(huge);
    EXPECT_EQ(RunStart(SettingsFor(server), ""), std::vector<std::string>{"3.00"});
    server.Stop();
    // What the kernel's socket buffers took before the client closed, far from the whole body.
    EXPECT_LT(server.BodyBytesSent(), 32ull << 20);
}

TEST_F(ServerExchangeTest, RequestsGoOutByteForByteWithTheQueryEncoded) {
    xb::platform::SetComputerNameAnswer("my pc&co");
    LoopbackHttpServer server;
    server.Script(HttpReply::Text(200, "ok"));
    server.Script(HttpReply::Text(200, "2.06"));
    RunStart(SettingsFor(server), "");
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
    const std::vector<std::string> expected = {
        "POST /pollvexan/track.php?soft=PELMORAD32&vnom=&vnommachine=my%20pc%26co&vsoft=2.06&vdivers=debut "
        "HTTP/1.1\r\n" +
            host +
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "Accept: */*\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 41\r\n"
            "\r\n"
            "sys_return_url=helo1&sys_return_url=helo2",
        "GET /pollvexan/versionsoft.php?soft=PELMORAD32 HTTP/1.1\r\n" + host +
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "Accept: */*\r\n"
            "\r\n",
    };
    EXPECT_EQ(server.Requests(), expected);

    // After a download only the report goes out.
    LoopbackHttpServer second;
    ServerExchange exchange(SettingsFor(second),
                            [](const std::string&) { ADD_FAILURE() << "no version check"; });
    ASSERT_TRUE(exchange.Start(true, kEventImport, false, ""));
    ASSERT_TRUE(WaitIdle(exchange));
    ASSERT_EQ(second.Requests().size(), 1u);
    const std::string report = second.Requests()[0];
    EXPECT_EQ(
        report.substr(0, report.find("\r\n")),
        "POST /pollvexan/track.php?soft=PELMORAD32&vnom=&vnommachine=my%20pc%26co&vsoft=2.06&vdivers=import "
        "HTTP/1.1");
}

// Records, with each notice, what the parameter record held when the notice showed.
class RecordingUi : public xbtest::ScriptedUi {
public:
    explicit RecordingUi(const std::string& stored) : m_stored(stored) {}
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        storedAtNotice.push_back(m_stored);
        return ScriptedUi::messageBox(text, caption, flags);
    }
    std::vector<std::string> storedAtNotice;

private:
    const std::string& m_stored;
};

TEST_F(ServerExchangeTest, TheNoticeShowsOnceOnTheGuiThreadAfterTheVersionIsStored) {
    std::string announced;  // the parameter record's field, owned by the GUI thread
    RecordingUi ui(announced);
    GuiQueue gui;
    const VersionNoticeTexts texts{"New version", "A new version is available. Contact: "};
    LoopbackHttpServer server;
    ServerExchange exchange(SettingsFor(server), [&](const std::string& version) {
        gui.Post([&, version] {
            AnnounceNewVersion(
                version, announced, [&](const std::string& v) { announced = v; }, texts,
                exchange.settings().contactAddress);
        });
    });
    // Two starts that both see the new version before the GUI thread had a chance to store it.
    for (int i = 0; i < 2; ++i) server.Script(HttpReply::Text(200, "2.10abc"));
    ASSERT_TRUE(exchange.Start(false, kEventStart, true, announced));
    ASSERT_TRUE(exchange.Start(false, kEventStart, true, announced));
    ASSERT_TRUE(WaitIdle(exchange));
    EXPECT_TRUE(ui.messages.empty());  // nothing is shown from the exchange threads
    EXPECT_EQ(gui.Drain(), 2u);

    ASSERT_EQ(ui.messages.size(), 1u);
    const auto& notice = ui.messages[0];
    EXPECT_EQ(notice.thread, std::this_thread::get_id());
    EXPECT_EQ(notice.text, "A new version is available. Contact: contact@example.invalid ");
    EXPECT_EQ(notice.caption, "New version  2.10");
    EXPECT_EQ(notice.flags, xb::platform::kMbOk | xb::platform::kMbIconInformation);
    EXPECT_EQ(ui.storedAtNotice, std::vector<std::string>{"2.10"});
    EXPECT_EQ(announced, "2.10");

    // The next start knows the announced version and hands nothing over.
    server.Script(HttpReply::Text(200, "2.10abc"));
    ASSERT_TRUE(exchange.Start(false, kEventStart, true, announced));
    ASSERT_TRUE(WaitIdle(exchange));
    EXPECT_EQ(gui.Drain(), 0u);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(ServerExchangeTest, WithoutAHostOrARouteNothingStarts) {
    const ExchangeSettings builtIn = BuiltInExchangeSettings();
    if (builtIn.baseUrl.empty()) {
        // The default build: the exchange is off whatever the machine's network.
        EXPECT_FALSE(InternetConnected());
        ServerExchange off(builtIn, {});
        EXPECT_FALSE(off.Start(true, kEventStart, true, ""));
        EXPECT_EQ(off.RunningCount(), 0u);
        EXPECT_EQ(GetLatestVersion(builtIn), "");
        EXPECT_FALSE(SendUsageReport(builtIn, "", "2.06", kEventStart));
    }

    LoopbackHttpServer server;
    const ExchangeSettings settings = SettingsFor(server);
    xb::platform::SetDefaultRouteAnswer(false);
    EXPECT_FALSE(InternetConnected(settings));
    {
        ServerExchange noRoute(settings, {});
        EXPECT_FALSE(noRoute.Start(true, kEventImport, false, ""));
        EXPECT_EQ(noRoute.RunningCount(), 0u);
    }
    xb::platform::SetDefaultRouteAnswer(true);
    EXPECT_TRUE(InternetConnected(settings));
    server.Stop();
    EXPECT_EQ(server.Connections(), 0u);
}

TEST_F(ServerExchangeTest, StoppingEndsThreadsWaitingOnAServerThatNeverAnswers) {
    struct Case {
        const char* what;
        std::vector<HttpReply> script;
        size_t requestsBeforeStop;
    };
    HttpReply halfBody = HttpReply::Text(200, "2.50 and more");
    halfBody.stallAfter = 2;
    const Case cases[] = {
        {"the report stalls", {HttpReply::Stalled()}, 1},
        {"the version query stalls", {HttpReply::Text(200, "ok"), HttpReply::Stalled()}, 2},
        {"the version reply stops mid-body", {HttpReply::Text(200, "ok"), halfBody}, 2},
        {"the reply comes an hour late",
         {HttpReply::Text(200, "ok"),
          [] {
              HttpReply late = HttpReply::Text(200, "2.50");
              late.delay = std::chrono::hours(1);
              return late;
          }()},
         2},
    };
    for (const auto& c : cases) {
        LoopbackHttpServer server;
        for (const auto& r : c.script) server.Script(r);
        ExchangeSettings settings = SettingsFor(server);
        settings.connectTimeout = settings.totalTimeout = std::chrono::hours(1);
        ServerExchange exchange(settings,
                                [&](const std::string&) { ADD_FAILURE() << c.what << ": handed over"; });
        ASSERT_TRUE(exchange.Start(true, kEventStart, true, ""));
        ASSERT_TRUE(server.WaitForRequests(c.requestsBeforeStop, 10s)) << c.what;
        std::this_thread::sleep_for(50ms);  // let the client settle into its wait
        const auto before = std::chrono::steady_clock::now();
        exchange.StopAll();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << c.what;
        EXPECT_EQ(exchange.RunningCount(), 0u) << c.what;
        EXPECT_EQ(server.Requests().size(), c.requestsBeforeStop) << c.what;
    }
}

TEST_F(ServerExchangeTest, StopAllStopsAStartAndAnImportRunningTogether) {
    LoopbackHttpServer server;
    server.Script(HttpReply::Stalled());
    server.Script(HttpReply::Stalled());
    ExchangeSettings settings = SettingsFor(server);
    settings.connectTimeout = settings.totalTimeout = std::chrono::hours(1);
    ServerExchange exchange(settings, {});
    ASSERT_TRUE(exchange.Start(true, kEventStart, true, ""));
    ASSERT_TRUE(exchange.Start(true, kEventImport, false, ""));
    ASSERT_TRUE(server.WaitForRequests(2, 10s));
    EXPECT_EQ(exchange.RunningCount(), 2u);
    exchange.StopAll();
    EXPECT_EQ(exchange.RunningCount(), 0u);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ServerExchangeTest, TheTotalTimeOutEndsAStalledRequestWithoutAStop) {
    LoopbackHttpServer server;
    server.Script(HttpReply::Text(200, "ok"));
    server.Script(HttpReply::Stalled());
    ExchangeSettings settings = SettingsFor(server);
    settings.totalTimeout = 300ms;
    EXPECT_TRUE(RunStart(settings, "").empty());
}

}  // namespace
}  // namespace app
