#include "app/exchange/database_download.h"

#include <curl/curl.h>

#include "app/exchange/backup_file.h"
#include "app/exchange/database_swap.h"
#include "app/settings/lang_texts.h"
#include "platform/file.h"

namespace app {

namespace platform = xb::platform;

namespace {

struct Transfer {
    const DownloadRequest* request = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    CURL* curl = nullptr;
    platform::File* file = nullptr;
    uint64_t written = 0;
    int writeError = 0;
    bool tooLarge = false;
    bool begun = false;
};

size_t onData(char* data, size_t, size_t size, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (!t->begun) {
        t->begun = true;
        curl_off_t length = -1;
        curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0 && static_cast<uint64_t>(length) > t->request->maxBytes) {
            t->tooLarge = true;
            return 0;
        }
        if (t->request->onWorkBegin) t->request->onWorkBegin(length > 0 ? length : 0);
    }
    if (t->written + size > t->request->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    if (int rc = t->file->writeAt(t->written, data, size)) {
        t->writeError = rc;
        return 0;  // ends the transfer as failed
    }
    t->written += size;
    if (t->request->onWork) t->request->onWork(static_cast<int64_t>(t->written));
    return size;
}

// Called while the transfer runs, at least about once a second even when nothing arrives.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<const Transfer*>(user);
    return t->cancel->load() ? 1 : 0;
}

}  // namespace

DownloadRequest DatabaseDownloadRequest(const ExchangeSettings& settings, const std::string& dataDir) {
    DownloadRequest r;
    r.url = settings.baseUrl + kDatabaseDownloadPath;
    r.dest = dataDir + kDatabaseArchiveName;
    r.connectTimeout = settings.connectTimeout;
    return r;
}

DownloadResult DownloadFile(const DownloadRequest& request, const std::atomic<bool>& cancel) {
    DownloadResult result;
    auto failed = [&](const QString& why) {
        result.reason = GetLangText(Text::DownloadFailed).arg(why).toStdString();
        return result;
    };
    std::string dir = request.dest.substr(0, request.dest.find_last_of('/') + 1);
    ExchangeOperation op;
    switch (op.Begin(dir)) {
        case ExchangeOperation::Begun::kOk:
            break;
        case ExchangeOperation::Begun::kBusy:
            result.busy = true;
            result.reason = GetLangText(Text::ExchangeBusy).toStdString();
            return result;
        case ExchangeOperation::Begun::kFailed:
            return failed(GetLangText(Text::CannotCreateStagingFolder).arg(QString::fromStdString(dir)));
    }
    const std::string part = op.staging() + kDatabaseArchiveName + ".part";
    platform::File file;
    if (int rc = file.create(part, platform::kModeExclusive))
        return failed(
            QString::fromStdString(LangText(Text::CannotCreateFileError, {part, std::to_string(rc)})));
    CURL* curl = curl_easy_init();
    if (!curl) return failed(GetLangText(Text::HttpClientCannotStart));
    Transfer transfer{&request, &cancel, curl, &file};
    curl_slist* headers = curl_slist_append(nullptr, "Accept: text/html, */*");
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kExchangeUserAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, request.lowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.lowSpeedTime.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    int fileRc = 0;
    if (rc == CURLE_OK) fileRc = file.flush();
    file.close();
    if (rc != CURLE_OK || status < 200 || status > 299 || fileRc != 0) {
        result.cancelled = !transfer.tooLarge && (rc == CURLE_ABORTED_BY_CALLBACK || cancel.load());
        if (transfer.tooLarge) return failed(GetLangText(Text::DownloadTooLarge).arg(request.maxBytes >> 20));
        if (transfer.writeError || fileRc)
            return failed(QString::fromStdString(
                LangText(Text::CannotWriteFileError,
                         {part, std::to_string(transfer.writeError ? transfer.writeError : fileRc)})));
        if (rc == CURLE_HTTP_RETURNED_ERROR || (rc == CURLE_OK && status != 0))
            return failed(QStringLiteral("HTTP %1").arg(status));
        return failed(QString::fromUtf8(curl_easy_strerror(rc)));
    }
    // A reply that is not a whole archive (a server's error page answered 200, a cut body without a
    // length) must not take the place of an earlier archive.
    TBackupFile archive;
    std::string archiveError;
    archive.OnError = [&](TBackupFile&, int, const std::string& text) { archiveError = text; };
    if (!archive.Verify(part) || archive.Processed() == 0)
        return failed(
            GetLangText(Text::NotACompleteDatabase) +
            (archiveError.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(archiveError)));
    if (int r = platform::RenameFile(part, request.dest))
        return failed(
            QString::fromStdString(LangText(Text::CannotRenameFileError, {part, std::to_string(r)})));
    platform::SyncDirectoryOf(request.dest);
    result.ok = true;
    return result;
}

}  // namespace app
