// The exchange with the maker's web server: a usage report at each start and after each database
// download, and at start-up a query for the latest program version, announced once when newer.
//
// Threads: every request runs on a Commserveurquorbel thread that ServerExchange starts and tracks. The
// threads touch no table, no window and no parameter: a newly announced version is handed to a callback
// on the exchange thread, which must pass it on to the GUI thread (the shell makes it a queued call);
// there AnnounceNewVersion stores it and shows the notice. Stopping is cooperative: a stop flag that the
// transfers poll (about once a second while they wait) plus connect and total time-outs, so StopAll()
// returns promptly and never leaves a thread inside the HTTP library.
//
// Without a server host (the build setting is empty by default) the exchange is off: InternetConnected
// answers false, no thread starts and no request is made.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace app {

inline constexpr const char* kVersionPath = "/pollvexan/versionsoft.php";
inline constexpr const char* kUsageReportPath = "/pollvexan/track.php";
inline constexpr const char* kUsageReportBody = "sys_return_url=helo1&sys_return_url=helo2";
inline constexpr const char* kUsageReportContentType = "application/x-www-form-urlencoded";
inline constexpr const char* kExchangeUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
// Events of the usage report.
inline constexpr const char* kEventStart = "debut";
inline constexpr const char* kEventImport = "import";
// Bytes of a reply read at most; the rest is never received.
inline constexpr size_t kMaxReplyBytes = 4096;

struct ExchangeSettings {
    // "http://host[:port]" without a trailing slash; empty turns the exchange off.
    std::string baseUrl;
    // The maker's contact address shown in the new-version notice.
    std::string contactAddress;
    std::chrono::milliseconds connectTimeout{15000};
    std::chrono::milliseconds totalTimeout{60000};
};

// The settings the program was built with: the server host (LM_SERVER_HOST) and the contact address
// (LM_CONTACT_ADDRESS), both empty unless the build sets them.
ExchangeSettings BuiltInExchangeSettings();

// Global set-up of the HTTP library: one object in the program's main, before any thread starts, kept
// until every exchange thread has ended.
class HttpLibraryScope {
public:
    HttpLibraryScope();
    ~HttpLibraryScope();
    HttpLibraryScope(const HttpLibraryScope&) = delete;
    HttpLibraryScope& operator=(const HttpLibraryScope&) = delete;
};

// False when the settings name no server; else whether the machine has a default route.
bool InternetConnected(const ExchangeSettings& settings);
bool InternetConnected();
// The computer name sent with the usage report (first 15 characters of the host name; "" on failure).
std::string GetComputerNameStr();

// The request URLs; every query value is percent-encoded.
std::string VersionUrl(const std::string& baseUrl);
std::string UsageReportUrl(const std::string& baseUrl, const std::string& userName,
                           const std::string& computerName, const std::string& version,
                           const std::string& eventName);

// The server's latest version: a 2xx reply whose first four characters form a version, else "" (any
// failure, a stop request included, gives ""). stop may be null.
std::string GetLatestVersion(const ExchangeSettings& settings, const std::atomic<bool>* stop = nullptr);
// Posts the usage report; true when the server answered 2xx (the reply itself is ignored).
bool SendUsageReport(const ExchangeSettings& settings, const std::string& UserName,
                     const std::string& Version, const std::string& EventName,
                     const std::atomic<bool>* stop = nullptr);

// Called on the exchange thread with a version above both the program's and the announced one.
using NewVersionCallback = std::function<void(const std::string& version)>;

// One run of the exchange on its own thread, started by the constructor.
class Commserveurquorbel {
public:
    struct Job {
        bool report = false;           // send the usage report
        std::string eventName;         // kEventStart or kEventImport
        bool checkVersion = false;     // ask for the latest version
        std::string announcedVersion;  // the last announced version when the thread starts
    };

    Commserveurquorbel(Job job, ExchangeSettings settings, NewVersionCallback onNewVersion);
    // Stops and joins.
    ~Commserveurquorbel();
    Commserveurquorbel(const Commserveurquorbel&) = delete;
    Commserveurquorbel& operator=(const Commserveurquorbel&) = delete;

    // Asks the thread to end: a transfer under way is aborted, nothing further is sent and no version is
    // handed over. Does not wait.
    void RequestStop() { m_stop = true; }
    // Waits for the thread's end (at once after RequestStop, within about a second).
    void Join();
    // Set by ThreadDone as the thread's last act.
    bool Finished() const { return m_finished; }
    const Job& job() const { return m_job; }

private:
    void Execute();
    void ThreadDone() { m_finished = true; }

    const Job m_job;
    const ExchangeSettings m_settings;
    const NewVersionCallback m_onNewVersion;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

// Starts exchange threads and keeps every one until it is joined, so a shutdown can stop them all
// ("import" may start while "debut" still runs). One per program.
class ServerExchange {
public:
    ServerExchange(ExchangeSettings settings, NewVersionCallback onNewVersion);
    // StopAll().
    ~ServerExchange();
    ServerExchange(const ServerExchange&) = delete;
    ServerExchange& operator=(const ServerExchange&) = delete;

    // When InternetConnected(settings), starts a thread for the job and returns true; else starts
    // nothing. Threads that have finished are joined and dropped here.
    bool Start(bool Report, const std::string& EventName, bool CheckVersion,
               const std::string& announcedVersion);
    // Asks every thread to stop, then joins each.
    void StopAll();
    // Threads started and not yet finished.
    size_t RunningCount() const;
    const ExchangeSettings& settings() const { return m_settings; }

private:
    const ExchangeSettings m_settings;
    const NewVersionCallback m_onNewVersion;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Commserveurquorbel>> m_threads;
};

// The texts of the new-version notice, in the current language (texts 251 and 252).
struct VersionNoticeTexts {
    std::string caption;  // text 251
    std::string message;  // text 252
};

// On the GUI thread, with a version the exchange handed over: when it is still newer than the stored
// announced version, stores it (store runs before the notice shows) and shows the notice through the
// UI seam: asterisk icon, message text 252 + contact address + " ", caption text 251 + two blanks +
// the version. Returns whether it announced; a version handed over twice is announced once.
bool AnnounceNewVersion(const std::string& version, const std::string& announced,
                        const std::function<void(const std::string&)>& store, const VersionNoticeTexts& texts,
                        const std::string& contactAddress);

}  // namespace app
