#include "app/exchange/server_exchange.h"

#include <curl/curl.h>

#include <algorithm>

#include "app/exchange/version_reply.h"
#include "platform/network.h"
#include "platform/ui.h"

#ifndef LM_SERVER_HOST
#define LM_SERVER_HOST ""
#endif
#ifndef LM_CONTACT_ADDRESS
#define LM_CONTACT_ADDRESS ""
#endif

namespace app {

namespace {

struct Transfer {
    const std::atomic<bool>* stop = nullptr;
    std::string body;
    bool capped = false;  // the reply was longer than kMaxReplyBytes; the rest was not read
};

size_t onData(char* data, size_t, size_t size, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t room = kMaxReplyBytes - t->body.size();
    if (size > room) {
        t->body.append(data, room);
        t->capped = true;
        return 0;  // ends the transfer: what matters of a reply is at its start
    }
    t->body.append(data, size);
    return size;
}

// Called while the transfer runs, at least about once a second even when nothing arrives.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<const Transfer*>(user);
    return t->stop && t->stop->load() ? 1 : 0;
}

struct Reply {
    bool received = false;  // a status line came and the transfer ended normally or at the cap
    long status = 0;
    std::string body;
};

// One request on its own handle. postBody null makes a GET.
Reply perform(const ExchangeSettings& settings, const std::string& url, const char* postBody,
              const std::atomic<bool>* stop) {
    Reply reply;
    if (stop && stop->load()) return reply;
    CURL* curl = curl_easy_init();
    if (!curl) return reply;
    Transfer transfer{stop, {}, false};
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");  // no proxy, whatever the environment says
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kExchangeUserAgent);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (postBody) {
        headers =
            curl_slist_append(headers, (std::string("Content-Type: ") + kUsageReportContentType).c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE,
                         static_cast<long>(std::char_traits<char>::length(postBody)));
    }
    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && transfer.capped)) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        reply.received = reply.status != 0;
        reply.body = std::move(transfer.body);
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return reply;
}

}  // namespace

ExchangeSettings BuiltInExchangeSettings() {
    ExchangeSettings s;
    const std::string host = LM_SERVER_HOST;
    if (!host.empty()) s.baseUrl = "http://" + host;
    s.contactAddress = LM_CONTACT_ADDRESS;
    return s;
}

HttpLibraryScope::HttpLibraryScope() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}
HttpLibraryScope::~HttpLibraryScope() {
    curl_global_cleanup();
}

bool InternetConnected(const ExchangeSettings& settings) {
    return !settings.baseUrl.empty() && xb::platform::HasDefaultRoute();
}

bool InternetConnected() {
    return InternetConnected(BuiltInExchangeSettings());
}

std::string GetComputerNameStr() {
    return xb::platform::ComputerName();
}

std::string VersionUrl(const std::string& baseUrl) {
    return baseUrl + kVersionPath + "?soft=" + PercentEncode(kProductTag);
}

std::string UsageReportUrl(const std::string& baseUrl, const std::string& userName,
                           const std::string& computerName, const std::string& version,
                           const std::string& eventName) {
    return baseUrl + kUsageReportPath + "?soft=" + PercentEncode(kProductTag) +
           "&vnom=" + PercentEncode(userName) + "&vnommachine=" + PercentEncode(computerName) +
           "&vsoft=" + PercentEncode(version) + "&vdivers=" + PercentEncode(eventName);
}

std::string GetLatestVersion(const ExchangeSettings& settings, const std::atomic<bool>* stop) {
    if (settings.baseUrl.empty()) return {};
    const Reply reply = perform(settings, VersionUrl(settings.baseUrl), nullptr, stop);
    return reply.received ? ParseVersionReply(reply.status, reply.body) : std::string();
}

bool SendUsageReport(const ExchangeSettings& settings, const std::string& UserName,
                     const std::string& Version, const std::string& EventName,
                     const std::atomic<bool>* stop) {
    if (settings.baseUrl.empty()) return false;
    const std::string url =
        UsageReportUrl(settings.baseUrl, UserName, GetComputerNameStr(), Version, EventName);
    const Reply reply = perform(settings, url, kUsageReportBody, stop);
    return reply.received && reply.status >= 200 && reply.status <= 299;
}

Commserveurquorbel::Commserveurquorbel(Job job, ExchangeSettings settings, NewVersionCallback onNewVersion)
    : m_job(std::move(job)), m_settings(std::move(settings)), m_onNewVersion(std::move(onNewVersion)) {
    m_thread = std::thread([this] {
        Execute();
        ThreadDone();
    });
}

Commserveurquorbel::~Commserveurquorbel() {
    RequestStop();
    Join();
}

void Commserveurquorbel::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void Commserveurquorbel::Execute() {
    // Failures end a request silently: no message, no retry.
    if (m_job.report) SendUsageReport(m_settings, "", kProgramVersion, m_job.eventName, &m_stop);
    if (!m_job.checkVersion || m_stop) return;
    const std::string latest = GetLatestVersion(m_settings, &m_stop);
    if (m_stop || !IsNewerVersion(latest, m_job.announcedVersion)) return;
    if (m_onNewVersion) m_onNewVersion(latest);
}

ServerExchange::ServerExchange(ExchangeSettings settings, NewVersionCallback onNewVersion)
    : m_settings(std::move(settings)), m_onNewVersion(std::move(onNewVersion)) {}

ServerExchange::~ServerExchange() {
    StopAll();
}

bool ServerExchange::Start(bool Report, const std::string& EventName, bool CheckVersion,
                           const std::string& announcedVersion) {
    if (!InternetConnected(m_settings)) return false;
    std::lock_guard lock(m_mutex);
    std::erase_if(m_threads, [](const auto& t) { return t->Finished(); });  // joins them
    m_threads.push_back(std::make_unique<Commserveurquorbel>(
        Commserveurquorbel::Job{Report, EventName, CheckVersion, announcedVersion}, m_settings,
        m_onNewVersion));
    return true;
}

void ServerExchange::StopAll() {
    std::vector<std::unique_ptr<Commserveurquorbel>> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (auto& t : threads) t->RequestStop();
    for (auto& t : threads) t->Join();
}

size_t ServerExchange::RunningCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(
        std::count_if(m_threads.begin(), m_threads.end(), [](const auto& t) { return !t->Finished(); }));
}

bool AnnounceNewVersion(const std::string& version, const std::string& announced,
                        const std::function<void(const std::string&)>& store, const VersionNoticeTexts& texts,
                        const std::string& contactAddress) {
    if (!IsNewerVersion(version, announced)) return false;
    store(version);
    // The asterisk icon of a Windows message box is the information icon.
    xb::platform::CurrentUi().messageBox(texts.message + contactAddress + " ", texts.caption + "  " + version,
                                         xb::platform::kMbOk | xb::platform::kMbIconInformation);
    return true;
}

}  // namespace app
