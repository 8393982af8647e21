#include "engine/job/URLType.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/options/FileCountAndSize.h"

#include <gtest/gtest.h>

namespace {

TURL Address(const std::string& text)
{
    TURL url;
    EXPECT_TRUE(url.SetFullURL(text)) << text;
    return url;
}

// Remaining seconds r for a download that has received 1000 bytes per second so far.
std::string EtaForRemaining(double r)
{
    const int64_t received = 1000;
    return FormatETA(received + static_cast<int64_t>(r * 1000), received, 1000, 0);
}

}  // namespace

TEST(FormatByteCount, UnitsAndBoundaries)
{
    EXPECT_EQ(FormatByteCount(0), "0");
    EXPECT_EQ(FormatByteCount(1023), "1023");
    EXPECT_EQ(FormatByteCount(1024), "1 KB");
    EXPECT_EQ(FormatByteCount(1048575), "1023 KB");
    EXPECT_EQ(FormatByteCount(1048576), "1 MB");
    // Beyond 32 bits: 5 GiB.
    EXPECT_EQ(FormatByteCount(5LL * 1024 * 1024 * 1024), "5120 MB");
}

TEST(FormatETA, RoundsAndSplitsHoursMinutesSeconds)
{
    EXPECT_EQ(EtaForRemaining(3600), "1:00:00");
    EXPECT_EQ(EtaForRemaining(60), "01:00");
    EXPECT_EQ(EtaForRemaining(59.6), "01:00");
    EXPECT_EQ(EtaForRemaining(0.2), "00:01");
    EXPECT_EQ(EtaForRemaining(125), "02:05");
    EXPECT_EQ(EtaForRemaining(3599), "59:59");
    EXPECT_EQ(EtaForRemaining(36 * 3600 + 61), "36:01:01");
    // Half a second rounds to even: 2.5 -> 2, 3.5 -> 4.
    EXPECT_EQ(EtaForRemaining(2.5), "00:02");
    EXPECT_EQ(EtaForRemaining(3.5), "00:04");
}

TEST(FormatETA, SpeedCountsOnlyBytesOfThisRun)
{
    // Resumed at 9000 of 10000; 500 bytes in 1 s since then: 500 left at 500/s.
    EXPECT_EQ(FormatETA(10000, 9500, 1000, 9000), "00:01");
    EXPECT_EQ(FormatETA(100000, 9500, 1000, 9000), "03:01");
}

TEST(FormatETA, EmptyWhenNothingToGoOn)
{
    EXPECT_EQ(FormatETA(0, 100, 1000, 0), "");      // size unknown
    EXPECT_EQ(FormatETA(-1, 100, 1000, 0), "");     // FTP size unknown
    EXPECT_EQ(FormatETA(1000, 0, 1000, 0), "");     // nothing received
    EXPECT_EQ(FormatETA(1000, 100, 0, 0), "");      // no time passed
    EXPECT_EQ(FormatETA(1000, 100, 1000, 100), ""); // nothing received since resuming
    // More received than announced: shown as the shortest time, never negative.
    EXPECT_EQ(FormatETA(1000, 2000, 1000, 0), "00:01");
    // Huge sizes do not overflow.
    EXPECT_FALSE(FormatETA(INT64_MAX / 2, 1, 1000000, 0).empty());
}

TEST(DownloadDoneText, PercentInSixtyFourBitsOrBytesWhenSizeUnknown)
{
    EXPECT_EQ(DownloadDoneText(200, 99), "49%");
    EXPECT_EQ(DownloadDoneText(200, 200), "100%");
    // 3 GiB of 4 GiB: the product would overflow 32 bits.
    EXPECT_EQ(DownloadDoneText(4LL << 30, 3LL << 30), "75%");
    EXPECT_EQ(DownloadDoneText(0, 12 * 1024), "12 KB");
    EXPECT_EQ(DownloadDoneText(-1, 500), "500");
}

TEST(IsSuccessStatus, FtpOnlyTwoHundred)
{
    for (int code : {200, 205, 206, 301, 302, 304, 307, 412})
        EXPECT_TRUE(IsSuccessStatus(usHTTP, code)) << code;
    for (int code : {201, 202, 203, 204, 303, 401, 404, 500})
        EXPECT_FALSE(IsSuccessStatus(usHTTPS, code)) << code;
    EXPECT_TRUE(IsSuccessStatus(usFTP, 200));
    EXPECT_FALSE(IsSuccessStatus(usFTP, 206));
    EXPECT_TRUE(IsWinINetErrorCode(12000));
    EXPECT_TRUE(IsWinINetErrorCode(12171));
    EXPECT_TRUE(IsWinINetErrorCode(12175));  // the secure layer's failures are network errors too
    EXPECT_FALSE(IsWinINetErrorCode(12176));
    EXPECT_FALSE(IsWinINetErrorCode(112));
}

TEST(SplitURLForSiteMap, HostFolderFileAndQuery)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitURLForSiteMap(Address("http://user:pw@Example.com/a/b.html#top")),
              (V{"http://Example.com", "a", "b.html"}));
    EXPECT_EQ(SplitURLForSiteMap(Address("http://example.com/dir/")), (V{"http://example.com", "dir", ""}));
    EXPECT_EQ(SplitURLForSiteMap(Address("https://example.com:8443/list.php?page=2")),
              (V{"https://example.com:8443", "list.php?page=2"}));
    EXPECT_EQ(SplitURLForSiteMap(Address("ftp://files.example.com/pub/x.zip")),
              (V{"ftp://files.example.com", "pub", "x.zip"}));
    // One file however its address is written; escapes of no readable text stay.
    EXPECT_EQ(SplitURLForSiteMap(Address("http://h/my%20dir/my page.html")), (V{"http://h", "my dir", "my page.html"}));
    EXPECT_EQ(SplitURLForSiteMap(Address("http://h/my%20page.html?q=a%20b")), (V{"http://h", "my page.html?q=a b"}));
    EXPECT_EQ(SplitURLForSiteMap(Address("http://h/caf%C3%A9/%FF.png")), (V{"http://h", "caf\xC3\xA9", "%FF.png"}));
}

TEST(SiteMapTitle, TrimmedFoldedAndCutToEightyCharacters)
{
    EXPECT_EQ(SiteMapTitle("   "), "");
    EXPECT_EQ(SiteMapTitle("  Home\r\nPage\t "), "Home  Page");
    EXPECT_EQ(SiteMapTitle(std::string(100, 'x')), std::string(80, 'x'));
    // Characters, not bytes: 90 two-byte letters keep 80 letters whole.
    std::string umlauts;
    for (int i = 0; i < 90; ++i)
        umlauts += "\xC3\xBC";
    EXPECT_EQ(SiteMapTitle(umlauts), umlauts.substr(0, 160));
}
