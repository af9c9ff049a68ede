#include "platform/network.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace xb::platform {
namespace {

const char* const kIpv4Head =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(NetworkTest, DefaultRouteFromTheKernelTables) {
    struct Case {
        const char* what;
        std::string ipv4;
        std::string ipv6;
        bool expected;
    };
    const std::string lanOnly =
        std::string(kIpv4Head) + "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    const std::string v6Reject =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
    const Case cases[] = {
        {"gateway route",
         std::string(kIpv4Head) + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n", "", true},
        {"only the local network", lanOnly, "", false},
        {"default route that is down",
         std::string(kIpv4Head) + "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", "", false},
        {"default route on loopback",
         std::string(kIpv4Head) + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n", "", false},
        {"heading only and a torn line", std::string(kIpv4Head) + "eth0\t00000000\n", "", false},
        {"IPv6 default route", lanOnly,
         "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
         "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n",
         true},
        {"IPv6 unreachable route", lanOnly, v6Reject, false},
        {"empty tables (no /proc)", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultRouteInIpv4Table(c.ipv4) || DefaultRouteInIpv6Table(c.ipv6), c.expected) << c.what;
    }
}

TEST(NetworkTest, AnswersComeFromTheSystemUnlessATestGivesThem) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(ComputerName(), std::string(host).substr(0, 15));

    SetComputerNameAnswer("given name");
    SetDefaultRouteAnswer(false);
    EXPECT_EQ(ComputerName(), "given name");
    EXPECT_FALSE(HasDefaultRoute());
    SetDefaultRouteAnswer(true);
    EXPECT_TRUE(HasDefaultRoute());
    SetComputerNameAnswer(std::nullopt);
    SetDefaultRouteAnswer(std::nullopt);
    EXPECT_EQ(ComputerName(), std::string(host).substr(0, 15));
}

}  // namespace
}  // namespace xb::platform
