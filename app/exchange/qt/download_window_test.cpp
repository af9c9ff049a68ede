// The download window against the loopback server on real tables: a good archive replaces the database,
// "No" and failed or cancelled transfers change nothing, and the window cannot be left while busy.
#include "app/exchange/qt/download_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/exchange/database_archive.h"
#include "app/exchange/server_exchange.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_writes.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "platform/network.h"
#include "tests/support/fixtures.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

namespace fs = std::filesystem;
const HttpLibraryScope g_http;

class DownloadWindowTest : public xbtest::EngineTest {
protected:
    DownloadWindowTest() : m_saved(xb::IndexServices()) {
        xb::InstallEngineUnits(engine());
        LanguageIndex = 2;
        xb::platform::SetDefaultRouteAnswer(true);
        // The server's database: one championship.
        source = makeDatabase("source", "FROM SERVER");
        EXPECT_TRUE(BackupDatabase(source, tmp.path() + "/server.pmz").ok);
        archive = xbtest::ReadFileBytes(tmp.path() + "/server.pmz");
        live = makeDatabase("live", "LOCAL");
        xbtest::WriteFileBytes(live + kDatabaseArchiveName, "earlier download");
        SetAppDir(QString::fromStdString(live));
        ExchangeSettings reports;
        reports.baseUrl = reportServer.BaseUrl();
        exchange = std::make_unique<ServerExchange>(reports, [](const std::string&) {});
        window = std::make_unique<Tftelecharge>(exchange.get());
        ExchangeSettings download;
        download.baseUrl = server.BaseUrl();
        window->setSettings(download);
        window->show();
    }
    ~DownloadWindowTest() override {
        window.reset();
        exchange.reset();
        xb::platform::SetDefaultRouteAnswer(std::nullopt);
        SetAppDir({});
        LanguageIndex = 1;
        xb::IndexServices() = m_saved;
    }
    std::string makeDatabase(const std::string& name, const char* championship) {
        const std::string dir = tmp.path() + "/" + name + "/";
        fs::create_directories(dir);
        SetAppDir(QString::fromStdString(dir));
        { Tfsysteme made; }
        std::unique_ptr<xb::TXbDbf> t;
        EXPECT_TRUE(OpenTable(t, "champion.dbf"));
        EXPECT_EQ(CreateChampionship(*t, championship), 1);
        CloseTable(t);
        return dir;
    }
    template <typename T>
    T* child(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    // Starts a download, answering the confirmation with answer.
    void start(int answer) {
        ui.boxAnswers = {answer, xb::platform::kIdOk};
        QTest::mouseClick(child<QPushButton>("blance"), Qt::LeftButton);
    }
    bool waitForEnd(QSignalSpy& spy) { return spy.count() > 0 || spy.wait(10000); }
    void expectLocalUnchanged(const char* what) {
        EXPECT_EQ(GetChampionshipName(1).trimmed(), QStringLiteral("LOCAL")) << what;
        EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), "earlier download") << what;
        EXPECT_FALSE(fs::exists(live + kDatabaseArchiveName + ".part")) << what;
        for (const auto& e : fs::directory_iterator(live))
            EXPECT_NE(e.path().filename().string().rfind("restore.", 0), 0u) << what << ": " << e.path();
    }
    // A picture of the window for looking at, when LM_SHOT_DIR names a folder.
    void shoot(const char* name) {
        if (const char* dir = std::getenv("LM_SHOT_DIR"))
            window->grab().save(QString::fromLocal8Bit(dir) + "/" + QString::fromLatin1(name));
    }

    std::string source, live, archive;
    xbtest::ScriptedUi ui;
    xbtest::LoopbackHttpServer server, reportServer;
    std::unique_ptr<ServerExchange> exchange;
    std::unique_ptr<Tftelecharge> window;

private:
    xb::DatasetIndexServices m_saved;
};

TEST_F(DownloadWindowTest, TextsAndAGoodArchiveReplacesTheDatabaseAndSaysAllIsOk) {
    for (const WindowText& t : Tftelecharge::Texts())
        EXPECT_EQ(ShownWindowText(window.get(), t), WindowTextValue(t)) << t.objectName;
    EXPECT_EQ(child<QProgressBar>("Pbarre")->value(), 0);
    shoot("ftelecharge-idle.png");

    xbtest::HttpReply good = xbtest::HttpReply::Text(200, archive);
    good.headers = {{"Content-Type", "application/octet-stream"}};
    server.Script(good);
    QSignalSpy ended(window.get(), &Tftelecharge::downloadEnded);
    start(xb::platform::kIdYes);
    ASSERT_TRUE(waitForEnd(ended));
    EXPECT_EQ(window->lastRestore().outcome, RestoreOutcome::kRestored) << window->lastRestore().reason;
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, GetLangText(Text::RestoreEraseWarning).toStdString());
    EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::Confirmation).toStdString());
    EXPECT_EQ(ui.messages[1].text, GetLangText(Text::AllOk).toStdString());
    EXPECT_EQ(ui.messages[1].caption, GetLangText(Text::OperationFinished).toStdString());
    EXPECT_EQ(GetChampionshipName(1).trimmed(), QStringLiteral("FROM SERVER"));
    EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), archive);
    EXPECT_EQ(child<QPushButton>("blance")->text(), GetLangText(Text::UpdateDatabaseButton));
    EXPECT_FALSE(window->busy());
    // The usage report "import" went to the exchange's server.
    ASSERT_TRUE(reportServer.WaitForRequests(1, std::chrono::seconds(5)));
    EXPECT_NE(reportServer.Requests()[0].find("import"), std::string::npos);
}

TEST_F(DownloadWindowTest, NoAndFailedTransfersChangeNothingAndSayWhy) {
    // Enter, whose default is No: the report is sent, nothing is fetched.
    ui.boxAnswers.clear();
    QTest::mouseClick(child<QPushButton>("blance"), Qt::LeftButton);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_TRUE(ui.messages[0].flags & xb::platform::kMbDefButton2);
    EXPECT_FALSE(window->busy());
    ASSERT_TRUE(reportServer.WaitForRequests(1, std::chrono::seconds(5)));
    EXPECT_EQ(server.Connections(), 0u);
    expectLocalUnchanged("no");

    xbtest::HttpReply html = xbtest::HttpReply::Text(200, "<html>maintenance</html>");
    xbtest::HttpReply shortBody = xbtest::HttpReply::Text(200, archive.substr(0, archive.size() / 3));
    shortBody.contentLength = false;
    shortBody.headers = {{"Content-Length", std::to_string(archive.size())}};
    const std::pair<const char*, xbtest::HttpReply> cases[] = {
        {"404", xbtest::HttpReply::Text(404, "missing")},
        {"html answered 200", html},
        {"short body", shortBody},
    };
    for (const auto& [what, reply] : cases) {
        ui.messages.clear();
        server.Script(reply);
        QSignalSpy ended(window.get(), &Tftelecharge::downloadEnded);
        start(xb::platform::kIdYes);
        ASSERT_TRUE(waitForEnd(ended)) << what;
        EXPECT_FALSE(window->lastDownload().ok) << what;
        // The confirmation, then why it failed: never "All is ok".
        ASSERT_EQ(ui.messages.size(), 2u) << what;
        EXPECT_EQ(ui.messages[1].text, window->lastDownload().reason) << what;
        EXPECT_EQ(ui.messages[1].caption, GetLangText(Text::ErrorCaption).toStdString()) << what;
        EXPECT_EQ(
            ui.messages[1].text.rfind(GetLangText(Text::DownloadFailed).section(QStringLiteral("%1"), 0, 0).toStdString(), 0),
            0u)
            << what << ": " << ui.messages[1].text;
        expectLocalUnchanged(what);
    }
}

TEST_F(DownloadWindowTest, WhileBusyOnlyTheStopButtonActsAndACancelKeepsEverything) {
    xbtest::HttpReply stalled = xbtest::HttpReply::Text(200, archive);
    stalled.bodySize = archive.size() * 40;
    stalled.stallAfter = archive.size() * 10;
    server.Script(stalled);
    start(xb::platform::kIdYes);
    ASSERT_TRUE(window->busy());
    QTRY_VERIFY_WITH_TIMEOUT(child<QProgressBar>("Pbarre")->value() > 0, 5000);
    EXPECT_EQ(child<QPushButton>("blance")->text(), GetLangText(Text::StopOperation));
    shoot("ftelecharge-busy.png");

    window->close();
    EXPECT_TRUE(window->isVisible()) << "close";
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Esc";
    QTest::mouseClick(child<QPushButton>("bquit"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible()) << "bquit";
    EXPECT_TRUE(window->busy());

    QSignalSpy ended(window.get(), &Tftelecharge::downloadEnded);
    QTest::mouseClick(child<QPushButton>("blance"), Qt::LeftButton);
    EXPECT_FALSE(window->busy());
    EXPECT_EQ(child<QProgressBar>("Pbarre")->value(), 0);
    EXPECT_EQ(child<QPushButton>("blance")->text(), GetLangText(Text::UpdateDatabaseButton));
    ASSERT_TRUE(waitForEnd(ended));
    EXPECT_TRUE(window->lastDownload().cancelled);
    expectLocalUnchanged("cancel");
    EXPECT_EQ(ui.messages.size(), 1u);

    QTest::mouseClick(child<QPushButton>("bquit"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace app
