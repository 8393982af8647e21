#include "engine/DownloadOptionTypes.h"

#include "TempFolder.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(DownloadOptions, DefaultsOfCreateClearAndMissingKeysAgree)
{
    TCopyJobDownloadOptions created;
    TCopyJobDownloadOptions changed;
    changed.HTTPAgentName = "agent";
    changed.AllowCookies = false;
    changed.UpdateOldFiles = true;
    changed.AllowAuthentication = false;
    changed.ConnectRetries = 9;
    changed.Timeout = 5;
    changed.WriteToIECache = true;
    changed.UsePassiveFTP = true;
    changed.HTTPHeaders = "X: 1\r\n";
    changed.AddFileExtensions = false;
    changed.UseReferrer = false;
    changed.CustomHTMLHeader = "h";
    changed.CustomHTMLFooter = "f";
    changed.FindReplaceTasks.Count = 3;
    changed.Cookies.Count = 2;
    changed.MaxSimultaneousDownloads = 1;
    changed.ApplyParsingFilter = false;

    TCopyJobDownloadOptions cleared(changed);
    cleared.Clear();
    TCopyJobDownloadOptions fromEmpty(changed);
    ASSERT_TRUE(fromEmpty.ReadFromIni(TIniFile()));

    for (const TCopyJobDownloadOptions* o : {&created, &cleared, &fromEmpty}) {
        EXPECT_EQ(o->HTTPAgentName, "");
        EXPECT_TRUE(o->AllowCookies);
        EXPECT_FALSE(o->UpdateOldFiles);
        EXPECT_TRUE(o->AllowAuthentication);
        EXPECT_EQ(o->ConnectRetries, 3);
        EXPECT_EQ(o->Timeout, 60000);
        EXPECT_FALSE(o->WriteToIECache);
        EXPECT_FALSE(o->UsePassiveFTP);
        EXPECT_EQ(o->HTTPHeaders, "");
        EXPECT_TRUE(o->AddFileExtensions);
        EXPECT_TRUE(o->UseReferrer);
        EXPECT_EQ(o->CustomHTMLHeader, "");
        EXPECT_EQ(o->CustomHTMLFooter, "");
        EXPECT_EQ(o->FindReplaceTasks.Count, 0);
        EXPECT_EQ(o->Cookies.Count, 0);
        EXPECT_EQ(o->MaxSimultaneousDownloads, 4);
        EXPECT_TRUE(o->ApplyParsingFilter);
    }

    TDownloadOptions download;
    EXPECT_TRUE(download.HTTPProxy.UseProxyServer);
    EXPECT_TRUE(download.FTPProxy.UseProxyServer);
    EXPECT_EQ(download.HTTPProxy.Port, 0);
    EXPECT_EQ(download.JobOptions.Timeout, 60000);
}

TEST(MultilineValue, SkipEmptyDropsBlankLinesElseKeepsThem)
{
    TIniFile ini;
    ini.Parse("[H]\r\nLineCount=4\r\nLine0=a\r\nLine1=\r\nLine2=b\r\nLine3=\r\n"
              "[F]\r\nLineCount=4\r\nLine0=\r\nLine1=a\r\nLine2=\r\nLine3=b\r\n");
    EXPECT_EQ(ReadMultilineValue(ini, "H", true), "a\r\nb");
    EXPECT_EQ(ReadMultilineValue(ini, "H", false), "a\r\n\r\nb\r\n");
    // Leading empty lines are lost when kept, the inner one stays.
    EXPECT_EQ(ReadMultilineValue(ini, "F", false), "a\r\n\r\nb");

    TIniFile out;
    WriteMultilineValue(out, "H", "a\r\n\r\nb\r\n", true);
    WriteMultilineValue(out, "F", "a\r\n\r\nb\r\n", false);
    EXPECT_EQ(out.ToText(), "[H]\r\nLine0=a\r\nLine1=b\r\nLineCount=2\r\n"
                            "[F]\r\nLine0=a\r\nLine1=\r\nLine2=b\r\nLine3=\r\nLineCount=4\r\n");
    EXPECT_EQ(ReadMultilineValue(out, "F", false), "a\r\n\r\nb\r\n");
}

TEST(MultilineValue, LoneLineFeedsStayLineBreaks)
{
    TIniFile out;
    WriteMultilineValue(out, "F", "<b>\n</b>", false);
    EXPECT_EQ(ReadMultilineValue(out, "F", false), "<b>\r\n</b>");
}

TEST(MultilineValue, AbsurdCountsAreBoundedByTheFile)
{
    TIniFile ini;
    ini.Parse("[H]\r\nLineCount=2000000000\r\nLine0=a\r\nLine1=b\r\n"
              "[N]\r\nLineCount=-5\r\nLine0=a\r\n[X]\r\nLineCount=zz\r\nLine0=a\r\n");
    std::string text = ReadMultilineValue(ini, "H", false);
    EXPECT_EQ(text.substr(0, 6), "a\r\nb\r\n");
    EXPECT_LE(text.size(), 16u);
    EXPECT_EQ(ReadMultilineValue(ini, "N", false), "");
    EXPECT_EQ(ReadMultilineValue(ini, "X", false), "");
    EXPECT_EQ(ReadMultilineValue(ini, "Missing", false), "");
}

TEST(FindReplaceTasks, ReadClampsAndDropsIncompleteEntries)
{
    std::string text = "[FR]\r\nTaskCount=25\r\n";
    for (int i = 0; i < 25; ++i) {
        std::string n = std::to_string(i);
        text += "FindString" + n + "=f" + n + "\r\n";
        text += "ReplaceString" + n + "=" + (i == 1 ? "" : "r" + n) + "\r\n";
        text += "ReplaceAll" + n + "=" + (i % 2 ? "1" : "0") + "\r\n";
        text += "IgnoreCase" + n + "=7\r\nWholeWordsOnly" + n + "=x\r\n";
    }
    TIniFile ini;
    ini.Parse(text);
    TFindReplaceTasks tasks;
    ReadFindReplaceTasks(ini, "FR", tasks);
    // 19 entries read, entry 1 dropped: the following ones move up.
    ASSERT_EQ(tasks.Count, 18);
    EXPECT_EQ(tasks.Tasks[1].FindString, "f2");
    EXPECT_EQ(tasks.Tasks[1].ReplaceString, "r2");
    EXPECT_EQ(tasks.Tasks[1].Flags, rfIgnoreCase);
    EXPECT_EQ(tasks.Tasks[2].Flags, rfIgnoreCase | rfReplaceAll);
    EXPECT_FALSE(tasks.Tasks[2].WholeWordsOnly);
    EXPECT_EQ(tasks.Tasks[17].FindString, "f18");

    TIniFile hostile;
    hostile.Parse("[FR]\r\nTaskCount=-3\r\n[Cookies]\r\nCookieCount=99999999999999999999\r\nCookieURL0=u\r\n");
    tasks.Count = 5;
    ReadFindReplaceTasks(hostile, "FR", tasks);
    EXPECT_EQ(tasks.Count, 0);
    TCookies cookies;
    cookies.Count = 4;
    ReadCookies(hostile, cookies);
    EXPECT_EQ(cookies.Count, 0);
}

TEST(FindReplaceTasks, TasksAndCookiesRoundTrip)
{
    TCopyJobDownloadOptions o;
    o.FindReplaceTasks.Tasks[0] = {"a b", " padded ", rfReplaceAll, true};
    o.FindReplaceTasks.Tasks[1] = {"\"q\"", "x=y", rfIgnoreCase, false};
    o.FindReplaceTasks.Count = 2;
    o.Cookies.Cookies[0] = {"http://h/", "n", "d=1; e"};
    o.Cookies.Cookies[1] = {"http://g/", "", ""};
    o.Cookies.Count = 2;
    TIniFile ini;
    o.WriteToIni(ini);
    TCopyJobDownloadOptions back;
    ASSERT_TRUE(back.ReadFromIni(ini));
    ASSERT_EQ(back.FindReplaceTasks.Count, 2);
    EXPECT_EQ(back.FindReplaceTasks.Tasks[0].FindString, "a b");
    EXPECT_EQ(back.FindReplaceTasks.Tasks[0].ReplaceString, " padded ");
    EXPECT_EQ(back.FindReplaceTasks.Tasks[0].Flags, rfReplaceAll);
    EXPECT_TRUE(back.FindReplaceTasks.Tasks[0].WholeWordsOnly);
    EXPECT_EQ(back.FindReplaceTasks.Tasks[1].FindString, "\"q\"");
    EXPECT_EQ(back.FindReplaceTasks.Tasks[1].Flags, rfIgnoreCase);
    ASSERT_EQ(back.Cookies.Count, 2);
    EXPECT_EQ(back.Cookies.Cookies[0].Data, "d=1; e");
    EXPECT_EQ(back.Cookies.Cookies[1].URL, "http://g/");
}

TEST(DownloadOptions, WriteToJobFileKeepsOtherKeysAndRefusesUnreadableFiles)
{
    TempFolder tmp;
    const std::string path = tmp.Path() + "/job.GCJ";
    ASSERT_TRUE(AtomicWriteFile(path, "[Start]\r\nSU=dQ==\r\nJobName=x\r\n", 0600));
    TCopyJobDownloadOptions o;
    o.HTTPAgentName = "A";
    ASSERT_TRUE(o.WriteToJobFile(path));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Start", "JobName", ""), "x");
    EXPECT_EQ(ini.ReadString("DownloadOptions", "HTTPAgentName", ""), "A");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TCopyJobDownloadOptions back;
    ASSERT_TRUE(back.ReadFromJobFile(path));
    EXPECT_EQ(back.HTTPAgentName, "A");
    // A folder is not a readable job file; nothing is written over it.
    EXPECT_FALSE(back.ReadFromJobFile(tmp.Path()));
    EXPECT_FALSE(o.WriteToJobFile(tmp.Path()));
}
