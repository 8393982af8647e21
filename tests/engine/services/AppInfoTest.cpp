#include "engine/services/AppInfo.h"

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/FileDateTime.h"

#include <gtest/gtest.h>
#include <regex>

TEST(AppInfo, VersionIsShortenedOnlyByTrailingZeroPairs)
{
    EXPECT_EQ(TAppInfo::ShortenVersion("2.0.0.0"), "2.0");
    EXPECT_EQ(TAppInfo::ShortenVersion("1.2.0.0"), "1.2.0");
    EXPECT_EQ(TAppInfo::ShortenVersion("1.5.0.3"), "1.5.0.3");
    EXPECT_EQ(TAppInfo::ShortenVersion("0.0"), "0.0");
    TAppInfo info;
    EXPECT_EQ(info.ProductName, "Gleanery");
    EXPECT_EQ(info.CompanyName, "Brindlesoft");
    EXPECT_FALSE(info.FileVersion.empty());
    EXPECT_EQ(info.FileVersion, TAppInfo::ShortenVersion(TAppInfo::GetFileVersionText(info.ExeName)));
    EXPECT_EQ(TAppInfo::GetFileVersionText("/bin/sh"), "");
}

TEST(AppInfo, OSNameFromOsRelease)
{
    EXPECT_EQ(TAppInfo::OSNameFromRelease("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(TAppInfo::OSNameFromRelease("ID=x\r\nNAME='Other'\r\n"), "Other");
    EXPECT_EQ(TAppInfo::OSNameFromRelease("garbage\0\xff"), "");
    EXPECT_FALSE(TAppInfo::GetOSName().empty());
    EXPECT_EQ(TAppInfo::GetOSVersion(), kOSVersionLinux);
}

TEST(AppInfo, FileSystemNameNeedsAnAbsolutePath)
{
    TAppInfo info;
    std::string name = "unchanged";
    EXPECT_FALSE(info.GetFileSystemName("relative/path", name));
    EXPECT_FALSE(info.GetFileSystemName("", name));
    EXPECT_EQ(name, "unchanged");
    ASSERT_TRUE(info.GetFileSystemName("/", name));
    EXPECT_FALSE(name.empty());
    std::string again;
    ASSERT_TRUE(info.GetFileSystemName("/", again));
    EXPECT_EQ(again, name);
    // Whatever cannot be told counts as NTFS.
    EXPECT_TRUE(IsNTFSPath("c:"));
}

TEST(AppInfo, LogVersionInfoWritesThreeMessages)
{
    TTempFolder tmp;
    TAppInfo info;
    info.LogVersionInfo();  // no log yet: nothing happens
    {
        TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash());
        info.LogVersionInfo();
    }
    const std::string text = ReadTextFile(tmp / "GleaneryEventLog.csv");
    EXPECT_TRUE(std::regex_search(text, std::regex("\"Message\",\"OS Version \\(platform, major, minor, build\\): "
                                                   "2, [0-9]+, [0-9]+, [0-9]+\",\"\",\"\",\"\",\"\"\r\n")));
    EXPECT_NE(text.find("\"Application version: " + info.FileVersion + "\""), std::string::npos);
    EXPECT_NE(text.find("\"libcurl version: " + TAppInfo::LibcurlVersion() + "\""), std::string::npos);
    EXPECT_FALSE(TAppInfo::LibcurlVersion().empty());
}
