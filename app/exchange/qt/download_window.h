// The database download window: after a confirmation it fetches the server's database archive into the
// data directory with a progress bar and replaces the database by it. The transfer runs on a worker
// thread; its progress and its end come back as queued calls, so the window stays live and only the
// start button (then reading "stop") acts while it runs.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/exchange/database_archive.h"
#include "app/exchange/database_download.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tftelecharge;
}

namespace app {

class ServerExchange;

class Tftelecharge : public QDialog {
    Q_OBJECT

public:
    // exchange may be null (no usage report is sent then); its settings give the server.
    explicit Tftelecharge(ServerExchange* exchange, QWidget* parent = nullptr);
    ~Tftelecharge() override;

    // The window's texts while idle; blance reads text 69 while a download runs.
    static const std::vector<WindowText>& Texts();
    void TranslateDownloadForm();

    // Run before the database is replaced (the program closes its working windows and tables there).
    void setBeforeRestore(std::function<void()> closeEverything) {
        m_beforeRestore = std::move(closeEverything);
    }
    // The server to fetch from (tests give the loopback server's).
    void setSettings(const ExchangeSettings& settings) { m_settings = settings; }

    bool busy() const { return m_busy; }
    // How the last download and restore ended (for tests and the log).
    const DownloadResult& lastDownload() const { return m_lastDownload; }
    const RestoreResult& lastRestore() const { return m_lastRestore; }

public slots:
    void blanceClick();
    void bquitClick();
    void IdHTTP1WorkBegin(qint64 count);
    void IdHTTP1Work(qint64 count);

signals:
    // Emitted when a download has ended and, if it succeeded, the restore too.
    void downloadEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FormShow();
    void FormActivate();
    void DownloadDatabase();
    void downloadDone(unsigned run, DownloadResult result);
    void joinTransfer();
    void releaseCursor();

    std::unique_ptr<Ui::Tftelecharge> ui;
    ServerExchange* m_exchange;
    ExchangeSettings m_settings;
    std::function<void()> m_beforeRestore;
    bool m_busy = false;
    bool m_abort = false;
    bool m_cursorSet = false;
    std::string m_dest;
    std::atomic<bool> m_cancel{false};
    std::thread m_transfer;
    unsigned m_run = 0;  // tells a late end of a cancelled run from the current one
    DownloadResult m_lastDownload;
    RestoreResult m_lastRestore;
};

extern Tftelecharge* ftelecharge;

}  // namespace app
