#include "platform/network.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <vector>

namespace xb::platform {

namespace {

// The exchange thread reads these while a test may set them on its own thread.
std::mutex g_answerMutex;
std::optional<std::string> g_computerName;
std::optional<bool> g_defaultRoute;

constexpr size_t kComputerNameMax = 15;
// Route flags of <linux/route.h>.
constexpr unsigned long kRtfUp = 0x0001;
constexpr unsigned long kRtfReject = 0x0200;

std::vector<std::string> fields(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool hexValue(const std::string& text, unsigned long& out) {
    if (text.empty() || text.size() > 16) return false;
    try {
        size_t used = 0;
        out = std::stoul(text, &used, 16);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

bool allZero(const std::string& text) {
    return !text.empty() && text.find_first_not_of('0') == std::string::npos;
}

std::string readFile(const char* path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string ComputerName() {
    {
        std::lock_guard lock(g_answerMutex);
        if (g_computerName) return *g_computerName;
    }
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return {};
    std::string name(buf);
    if (name.size() > kComputerNameMax) name.resize(kComputerNameMax);
    return name;
}

bool HasDefaultRoute() {
    {
        std::lock_guard lock(g_answerMutex);
        if (g_defaultRoute) return *g_defaultRoute;
    }
    return DefaultRouteInIpv4Table(readFile("/proc/net/route")) ||
           DefaultRouteInIpv6Table(readFile("/proc/net/ipv6_route"));
}

void SetComputerNameAnswer(std::optional<std::string> name) {
    std::lock_guard lock(g_answerMutex);
    g_computerName = std::move(name);
}

void SetDefaultRouteAnswer(std::optional<bool> answer) {
    std::lock_guard lock(g_answerMutex);
    g_defaultRoute = answer;
}

// Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT, after one heading line.
bool DefaultRouteInIpv4Table(std::string_view table) {
    std::istringstream in{std::string(table)};
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const auto f = fields(line);
        unsigned long flags = 0;
        if (f.size() < 8 || f[0] == "lo" || !hexValue(f[3], flags)) continue;
        if (allZero(f[1]) && allZero(f[7]) && (flags & kRtfUp) && !(flags & kRtfReject)) return true;
    }
    return false;
}

// Destination PrefixLen Source SourcePrefixLen NextHop Metric RefCnt Use Flags Iface, no heading line.
bool DefaultRouteInIpv6Table(std::string_view table) {
    std::istringstream in{std::string(table)};
    std::string line;
    while (std::getline(in, line)) {
        const auto f = fields(line);
        unsigned long flags = 0;
        if (f.size() < 10 || f[9] == "lo" || !hexValue(f[8], flags)) continue;
        if (allZero(f[0]) && allZero(f[1]) && (flags & kRtfUp) && !(flags & kRtfReject)) return true;
    }
    return false;
}

}  // namespace xb::platform
