#include "app/exchange/version_reply.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(VersionReplyTest, OnlyASuccessfulReplyStartingWithAVersionGivesOne) {
    struct Case {
        long status;
        std::string body;
        std::string expected;
    };
    const Case cases[] = {
        {200, "2.10abc", "2.10"}, {200, "2.06", "2.06"}, {204, "10.0\r\n", "10.0"}, {200, "3.1.", ""},
        {200, "2.1", ""},         {200, "", ""},         {200, "<html>", ""},       {404, "2.50", ""},
        {302, "2.50", ""},        {500, "9.99", ""},     {200, ".210", ""},         {200, "2..1", ""},
        {200, " 2.1", ""},        {200, "v2.1", ""},     {199, "2.50", ""},         {200, "2345", "2345"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseVersionReply(c.status, c.body), c.expected) << c.status << " " << c.body;
}

TEST(VersionReplyTest, VersionsCompareByTheirNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"10.0", "2.06", 1},
        {"2.10", "2.06", 1},
        {"2.1", "2.06", -1},
        {"2.06", "2.6", 0},
        {"2", "2.0.0", 0},
        {"2.0.1", "2", 1},
        {"2.06", "", 1},
        {"0.0", "", 0},
        {"<htm", "", 0},
        {"2.06", "<htm", 1},
        {"99999999999999999999.1", "99999999999999999999", 1},
        {"0010", "9.9", 1},
        {"1.2.3", "1.2.10", -1},
    };
    for (const auto& c : cases) {
        const int ab = CompareVersions(c.a, c.b);
        EXPECT_EQ((ab > 0) - (ab < 0), c.sign) << c.a << " vs " << c.b;
        const int ba = CompareVersions(c.b, c.a);
        EXPECT_EQ((ba > 0) - (ba < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

TEST(VersionReplyTest, NewerMeansAboveTheProgramAndTheAnnouncedVersion) {
    EXPECT_TRUE(IsNewerVersion("2.10", ""));
    EXPECT_TRUE(IsNewerVersion("10.0", "2.10"));
    EXPECT_TRUE(IsNewerVersion("2.10", "<htm"));  // what an older parameter file may hold
    EXPECT_FALSE(IsNewerVersion("2.10", "2.10"));
    EXPECT_FALSE(IsNewerVersion("2.06", ""));
    EXPECT_FALSE(IsNewerVersion("2.05", ""));
    EXPECT_FALSE(IsNewerVersion("2.10", "3.0"));
    EXPECT_FALSE(IsNewerVersion("", ""));
}

TEST(VersionReplyTest, QueryValuesArePercentEncoded) {
    EXPECT_EQ(PercentEncode("PELMORAD32"), "PELMORAD32");
    EXPECT_EQ(PercentEncode("2.06"), "2.06");
    EXPECT_EQ(PercentEncode("my-pc_1~"), "my-pc_1~");
    EXPECT_EQ(PercentEncode("a b&c=d?e#f%g+h/"), "a%20b%26c%3Dd%3Fe%23f%25g%2Bh%2F");
    EXPECT_EQ(PercentEncode("caf\xc3\xa9"), "caf%C3%A9");
    EXPECT_EQ(PercentEncode(""), "");
}

}  // namespace
}  // namespace app
