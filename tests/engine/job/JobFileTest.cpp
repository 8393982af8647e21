#include "engine/JobTestSupport.h"

#include <algorithm>
#include <climits>

using namespace std::string_literals;

namespace {

TCopyJob ReadText(const std::string& text, bool expectOk = true)
{
    TIniFile ini;
    ini.Parse(text);
    TCopyJob job;
    EXPECT_EQ(job.ReadFromIni(ini), expectOk);
    return job;
}

// Differs from every default, to see what a failed read leaves.
TCopyJob MarkedJob()
{
    TCopyJob job = SampleJob();
    job.DestinationSubfolder = "run";
    job.DownloadOptions.ConnectRetries = 77;
    return job;
}

}  // namespace

TEST(JobFile, LayoutIsPinnedAndRoundTripsByteForByte)
{
    TTempFolder tmp;
    const std::string first = tmp.Path() + "/first.GCJ", second = tmp.Path() + "/second.GCJ";
    ASSERT_TRUE(SampleJob().WriteJobFile(first));
    EXPECT_EQ(FileText(first), TestDataText("job/sample.GCJ"));
    EXPECT_EQ(FileMode(first), 0600u);  // it holds the start address's credentials

    TCopyJob back;
    back.DestinationSubfolder = "stale";
    ASSERT_TRUE(back.ReadJobFile(first));
    EXPECT_EQ(back.StartingWebAddress.GetUserName(), "user");
    EXPECT_EQ(back.StartingWebAddress.GetPassword(), "p@ss:/#");
    EXPECT_EQ(back.DestinationSubfolder, "");
    EXPECT_EQ(back.DownloadOptions.HTTPAgentName, " Agent/1.0 ");
    EXPECT_EQ(back.DownloadOptions.HTTPHeaders, "X-A: 1\r\nX-B: 2\r\n");  // empty line skipped
    EXPECT_EQ(back.DownloadOptions.CustomHTMLHeader, "<div>\r\n\r\nhello\r\n</div>");
    EXPECT_EQ(back.DownloadOptions.FindReplaceTasks.Tasks[0].Flags, rfReplaceAll | rfIgnoreCase);
    EXPECT_EQ(back.DownloadOptions.Cookies.Cookies[0].Data, "abc=def");
    ASSERT_TRUE(back.WriteJobFile(second));
    EXPECT_EQ(FileText(second), FileText(first));

    // A new job over the old file leaves none of its credentials behind.
    back.StartingWebAddress.ClearUserInfo();
    ASSERT_TRUE(back.WriteJobFile(first));
    const std::string rewritten = FileText(first);
    EXPECT_EQ(rewritten.find("\r\nSU="), std::string::npos);
    EXPECT_EQ(rewritten.find("\r\nSP="), std::string::npos);
    EXPECT_EQ(FileMode(first), 0600u);  // its cookies are still credentials
}

TEST(JobFile, DefaultsOfClearAndOfMissingKeys)
{
    TCopyJob created;
    EXPECT_EQ(created.MaxDistance, 0);
    EXPECT_EQ(created.RestrictLocation, 0);
    EXPECT_FALSE(created.RewriteLinks || created.SaveQueryResults || created.AssumeWWWWhenNoThirdLevelDomain);
    EXPECT_TRUE(created.RecreateFolderStructure && created.DownloadHTTP && created.PruneFolders);
    EXPECT_EQ(created.MaxSecondsForAllDownloads, -1);

    TCopyJob cleared;
    cleared.Clear();
    const std::string defaults = TestDataText("job/defaults.GCJ");
    EXPECT_EQ(Text(cleared), defaults);

    // Clear keeps the folder, the address and three list texts, and empties Hosts.
    TCopyJob sample = MarkedJob();
    sample.Clear();
    cleared.DestinationFolder = "/home/u/Sites";
    cleared.StartingWebAddress = SampleJob().StartingWebAddress;
    cleared.AddressStrings = "shop, cart";
    cleared.Extensions = ".gif, .jpg";
    EXPECT_EQ(Text(sample), Text(cleared));
    EXPECT_EQ(sample.DestinationSubfolder, "");

    // Missing keys read as Clear sets them, except FlattenDestinationFolders.
    TCopyJob missing = MarkedJob();
    TIniFile bare;
    bare.Parse("[FileInfo]\r\nSchemaVersion=1\r\n");
    ASSERT_TRUE(missing.ReadFromIni(bare));
    EXPECT_TRUE(missing.FlattenDestinationFolders);
    missing.FlattenDestinationFolders = false;
    EXPECT_EQ(Text(missing), defaults);
    EXPECT_EQ(missing.DestinationSubfolder, "");

    TCopyJobDownloadOptions options = SampleJob().DownloadOptions;
    options.Clear();
    EXPECT_EQ(options.FindReplaceTasks.Count + options.Cookies.Count, 0);
    TDownloadOptions download;
    EXPECT_TRUE(download.HTTPProxy.UseProxyServer && download.FTPProxy.UseProxyServer);
    EXPECT_EQ(download.FTPProxy.Port, 0);
}

TEST(JobFile, Credentials)
{
    TCopyJob job;
    job.Clear();
    job.StartingWebAddress.SetFullURL("http://h.example/");
    job.StartingWebAddress.SetUserAndPassword("ann", "");
    const std::string text = Text(job);
    EXPECT_NE(text.find("SU=YW5u\r\nSP=A===\r\n"), std::string::npos);
    TCopyJob back = ReadText(text);
    EXPECT_EQ(back.StartingWebAddress.GetUserName(), "ann");
    EXPECT_EQ(back.StartingWebAddress.GetPassword(), "");

    // Only one of the two keys: no user is set.
    const size_t sp = text.find("SP=");
    EXPECT_TRUE(ReadText(text.substr(0, sp) + text.substr(sp + 9)).StartingWebAddress.IsUserInfoEmpty());
}

TEST(JobFile, CookiesMakeTheFilePrivateAndAMarkIsSkipped)
{
    TTempFolder tmp;
    TCopyJob job;
    job.Clear();
    job.StartingWebAddress.SetFullURL("http://h.example/");
    ASSERT_TRUE(job.WriteJobFile(tmp / "plain.GCJ"));
    EXPECT_EQ(FileMode(tmp / "plain.GCJ"), 0644u);
    job.DownloadOptions.Cookies.Cookies[0] = {"http://h.example/", "session", "s3cret"};
    job.DownloadOptions.Cookies.Count = 1;
    ASSERT_TRUE(job.WriteJobFile(tmp / "cookies.GCJ"));
    EXPECT_EQ(FileMode(tmp / "cookies.GCJ"), 0600u);

    // A byte-order mark before the first section, with CR LF or LF line ends.
    for (const char* end : {"\r\n", "\n"}) {
        std::string text = "\xEF\xBB\xBF" + FileText(tmp / "cookies.GCJ");
        if (std::string(end) == "\n")
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        WriteTextFile(tmp / "marked.GCJ", text);
        TCopyJob back;
        ASSERT_TRUE(back.ReadJobFile(tmp / "marked.GCJ")) << "line end " << (end[0] == '\r' ? "CR LF" : "LF");
        EXPECT_EQ(back.StartingWebAddress.GetFullURL(), "http://h.example/");
        EXPECT_EQ(back.DownloadOptions.Cookies.Count, 1);
    }
    // Cut short in the middle of a line: what is there is read, nothing more.
    const std::string whole = FileText(tmp / "plain.GCJ");
    WriteTextFile(tmp / "cut.GCJ", whole.substr(0, whole.find("DestinationFolder") + 5));
    TCopyJob cut;
    EXPECT_TRUE(cut.ReadJobFile(tmp / "cut.GCJ"));
    EXPECT_EQ(cut.StartingWebAddress.GetFullURL(), "http://h.example/");
}

TEST(JobFile, RefusedFilesLeaveTheJobUnchanged)
{
    TTempFolder tmp;
    const std::string texts[] = {
        "",
        "[Start]\r\nJobName=new\r\n",
        "[FileInfo]\r\nSchemaVersion=2\r\n[Start]\r\nJobName=new\r\n",
        "[FileInfo]\r\nSchemaVersion=1x\r\n[Start]\r\nJobName=new\r\n",
        "[FileInfo]\r\nSchemaVersion=4294967297\r\n",
        "[FileInfo]\r\nSchemaVersion=1\r\n[Start]\r\nJobName=new\r\nSU=abc\r\nSP=YW5u\r\n",  // corrupt SU
    };
    const std::string before = Text(MarkedJob());
    int i = 0;
    for (const std::string& t : texts) {
        const std::string path = tmp.Path() + "/bad" + std::to_string(i++) + ".GCJ";
        ASSERT_TRUE(AtomicWriteFile(path, t));
        TCopyJob job = MarkedJob();
        EXPECT_FALSE(job.ReadJobFile(path)) << t;
        EXPECT_EQ(Text(job), before) << t;
        EXPECT_EQ(job.DestinationSubfolder, "run");
    }
    TCopyJob job = MarkedJob();
    EXPECT_FALSE(job.ReadJobFile(tmp.Path() + "/missing.GCJ"));
    EXPECT_FALSE(job.ReadJobFile(tmp.Path()));
    EXPECT_EQ(Text(job), before);
}

TEST(JobFile, HostileValuesFallBackToDefaults)
{
    std::string text = "[FileInfo]\r\nSchemaVersion= 1 \r\n"
                       "[Start]\r\nStartingWebAddress=zz://\x01\xff\r\nRewriteLinks=yes\r\nFlattenDestinationFolders=0\r\n"
                       "[LocationRestrictions]\r\nMaxDistance=99999999999\r\nRestrictLocation=-2147483648\r\n"
                       "[FileCountAndSize]\r\nMaxJobDownloadSize=4294967295\r\nMaxFileCount=12abc\r\n"
                       "[FindReplace]\r\nTaskCount=2000000000\r\nFindString0=a\r\nReplaceString0=b\r\n"
                       "FindString1=c\r\nReplaceString1=\r\nFindString2=d\r\nReplaceString2=e\r\n"
                       "[Cookies]\r\nCookieCount=2000000000\r\n"
                       "[HTTPHeaders]\r\nLineCount=2000000000\r\nLine0=X: y\r\nLine1=\r\nLine2=Z: w\r\n"
                       "[CustomHTMLHeader]\r\nLineCount=2147483647\r\nLine1=a\r\n"
                       "[CustomHTMLFooter]\r\nLineCount=-5\r\nLine0=a\r\n"s;
    text += "[AdditionalOptions]\r\nStartingReferrer=" + std::string(1 << 20, 'r') + "\r\n";
    text += "\0\0junk\xfe\r\n[[[\r\n=\r\n"s;
    TCopyJob job = ReadText(text);
    EXPECT_EQ(job.StartingWebAddress.GetFullURL(), "");
    EXPECT_TRUE(job.RewriteLinks);
    EXPECT_FALSE(job.FlattenDestinationFolders);
    EXPECT_EQ(job.MaxDistance, 8);
    EXPECT_EQ(job.RestrictLocation, INT32_MIN);
    EXPECT_EQ(job.MaxJobDownloadSize, -1);  // not a 32-bit number
    EXPECT_EQ(job.MaxFileCount, -1);
    EXPECT_EQ(job.StartingReferrer.size(), TIniFile::MaxValueLength);  // cut, as every value read
    // Counts are bounded by what the file holds; incomplete tasks are dropped and the rest move up.
    const TCopyJobDownloadOptions& o = job.DownloadOptions;
    ASSERT_EQ(o.FindReplaceTasks.Count, 2);
    EXPECT_EQ(o.FindReplaceTasks.Tasks[1].FindString, "d");
    EXPECT_EQ(o.Cookies.Count, 0);
    EXPECT_EQ(o.HTTPHeaders, "X: y\r\nZ: w\r\n");
    EXPECT_EQ(o.CustomHTMLHeader.substr(0, 3), "\r\na");  // the missing first line reads as an empty one
    EXPECT_LE(o.CustomHTMLHeader.size(), 8u);
    EXPECT_EQ(o.CustomHTMLFooter, "");
}

TEST(JobFile, TaskCountIsClampedToNineteen)
{
    std::string text = "[FileInfo]\r\nSchemaVersion=1\r\n[FindReplace]\r\nTaskCount=25\r\n";
    for (int i = 0; i < 25; ++i)
        text += "FindString" + std::to_string(i) + "=f\r\nReplaceString" + std::to_string(i) + "=r\r\n";
    EXPECT_EQ(ReadText(text).DownloadOptions.FindReplaceTasks.Count, 19);
}

TEST(JobFile, MultilineValuesKeepLineBreaks)
{
    TIniFile ini;
    WriteMultilineValue(ini, "F", "<b>\n</b>\r\n\r\nx", false);  // a lone LF is a break too
    EXPECT_EQ(ini.ToText(), "[F]\r\nLine0=<b>\r\nLine1=</b>\r\nLine2=\r\nLine3=x\r\nLineCount=4\r\n");
    EXPECT_EQ(ReadMultilineValue(ini, "F", false), "<b>\r\n</b>\r\n\r\nx");
    EXPECT_EQ(ReadMultilineValue(ini, "F", true), "<b>\r\n</b>\r\nx");
}

// A job survives a save and a load: leading empty lines stay, and lines of NUL bytes (which no
// file can hold) read as the empty lines they are written as.
TEST(JobFile, MultilineValuesSurviveSaveAndLoad)
{
    TTempFolder tmp;
    const std::string file = tmp.Path() + "/job.GCJ";
    TCopyJob job = SampleJob();
    job.DownloadOptions.HTTPHeaders = std::string("\0\0", 2);
    job.DownloadOptions.CustomHTMLFooter = "\r\n\r\n<p>end</p>";
    ASSERT_TRUE(job.WriteJobFile(file));
    TCopyJob back;
    ASSERT_TRUE(back.ReadJobFile(file));
    EXPECT_EQ(back.DownloadOptions.HTTPHeaders, "");
    EXPECT_EQ(back.DownloadOptions.CustomHTMLFooter, "\r\n\r\n<p>end</p>");

    for (const char* section : {"HTTPHeaders", "CustomHTMLFooter"}) {
        const std::string read = "[FileInfo]\r\nSchemaVersion=1\r\n[" + std::string(section) +
                                 "]\r\nLineCount=2\r\nLine0=" + std::string("\0\0", 2) + "\r\nLine1=X: y\r\n";
        const std::string saved = Text(ReadText(read));
        EXPECT_EQ(Text(ReadText(saved)), saved) << section;
    }
}

TEST(JobFile, JobDownloadSizeKeepsToThirtyTwoBits)
{
    TCopyJob job;
    job.Clear();
    EXPECT_EQ(ReadText(Text(job)).MaxJobDownloadSize, -1);
    job.MaxJobDownloadSize = 6000000000LL;  // would wrap to a small limit
    EXPECT_EQ(ReadText(Text(job)).MaxJobDownloadSize, INT32_MAX);
}

TEST(JobFile, OptionsAloneUpdateAnExistingFile)
{
    TTempFolder tmp;
    const std::string path = tmp.Path() + "/job.GCJ";
    ASSERT_TRUE(AtomicWriteFile(path, "[Start]\r\nSU=dQ==\r\nJobName=x\r\n", 0600));
    TCopyJobDownloadOptions o;
    o.HTTPAgentName = "A";
    ASSERT_TRUE(o.WriteToJobFile(path));
    EXPECT_EQ(TIniFile(path).ReadString("Start", "JobName", ""), "x");
    EXPECT_EQ(FileMode(path), 0600u);
    TCopyJobDownloadOptions back;
    ASSERT_TRUE(back.ReadFromJobFile(path));
    EXPECT_EQ(back.HTTPAgentName, "A");
    // A folder is not a job file: not read, and nothing written over it.
    EXPECT_FALSE(back.ReadFromJobFile(tmp.Path()));
    EXPECT_FALSE(o.WriteToJobFile(tmp.Path()));
}
