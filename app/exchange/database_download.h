// Fetching the database archive from the server into the data directory, without a window. The transfer
// is blocking: the download window runs it on a worker thread and turns the callbacks into queued calls.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/exchange/server_exchange.h"

namespace app {

// The archive's path on the server and its name in the data directory.
inline constexpr const char* kDatabaseDownloadPath = "/download/base87.pmz";
inline constexpr const char* kDatabaseArchiveName = "base87.pmz";
// The most a download may bring: a whole database archive is a few megabytes; a reply this large is
// not one, and is refused before it fills the disk.
inline constexpr uint64_t kDownloadLimitBytes = uint64_t(256) << 20;

struct DownloadRequest {
    std::string url;   // base URL + kDatabaseDownloadPath
    std::string dest;  // the data directory + kDatabaseArchiveName
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer slower than lowSpeedBytes a second for lowSpeedTime ends as failed (there is no limit
    // on the whole transfer: a large archive on a slow line may take long).
    long lowSpeedBytes = 1;
    std::chrono::seconds lowSpeedTime{60};
    // A reply announced or grown larger than this ends the transfer as failed.
    uint64_t maxBytes = kDownloadLimitBytes;
    // Called on the transfer's thread: once the reply's size is known (0 when the server does not say),
    // and as bytes arrive with the count received so far.
    std::function<void(int64_t total)> onWorkBegin;
    std::function<void(int64_t received)> onWork;
};

// The request for the settings' server.
DownloadRequest DatabaseDownloadRequest(const ExchangeSettings& settings, const std::string& dataDir);

struct DownloadResult {
    bool ok = false;
    bool cancelled = false;
    bool busy = false;   // another restore, import or download runs on the data directory
    std::string reason;  // why it failed, in the user's language
};

// GETs the request's URL (Accept "text/html, */*", no redirect followed, an HTTP error status fails) as
// one exchange operation on dest's folder (a second one at the same time is refused), into a file of
// its staging folder; only a complete 2xx reply of at most maxBytes that reads through as a whole
// archive replaces dest (by a rename). Otherwise dest is left as it was and nothing staged remains.
// Setting cancel ends the transfer within about a second.
DownloadResult DownloadFile(const DownloadRequest& request, const std::atomic<bool>& cancel);

}  // namespace app
