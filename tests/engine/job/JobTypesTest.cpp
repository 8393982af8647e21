#include "tests/engine/JobTestSupport.h"
#include "tests/engine/TestLog.h"
#include "engine/job/CSVMaskList.h"

#include "engine/services/LanguageStrings.h"
#include "engine/services/ThreadSafeFileOps.h"

#include <cstdlib>
#include <regex>

TEST(JobTemplates, WrittenOnceAndNeverOverwritten)
{
    TTempFolder tmp;
    const std::string folder = tmp.Path() + "/";
    WriteDefaultJobTemplates(folder);
    TCopyJob single, page, site;
    ASSERT_TRUE(single.ReadJobFile(folder + "Download a single file.GCJ"));
    ASSERT_TRUE(page.ReadJobFile(folder + "Download a single web page.GCJ"));
    ASSERT_TRUE(site.ReadJobFile(folder + "Download entire website.GCJ"));
    EXPECT_EQ(single.MaxFileCount, 1);
    EXPECT_EQ(single.MaxDistance, 0);
    EXPECT_TRUE(single.SaveQueryResults);
    EXPECT_EQ(page.MaxFileCount, -1);
    EXPECT_EQ(page.MaxDistance, 0);
    TCopyJob expected;
    expected.Clear();
    expected.RestrictLocation = 2;
    EXPECT_EQ(Text(site), Text(expected));

    ASSERT_TRUE(AtomicWriteFile(folder + "Download entire website.GCJ", "mine"));
    WriteDefaultJobTemplates(folder);
    EXPECT_EQ(FileText(folder + "Download entire website.GCJ"), "mine");
    WriteDefaultJobTemplates(tmp.Path() + "/no/such/folder/");  // logged, no throw
}

TEST(JobTemplates, NamesFollowTheLanguageAndStayInTheFolder)
{
    TTempFolder tmp;
    const std::string langFolder = tmp.Path() + "/lang/";
    TLocalLanguages{}.SetLanguagesFolder(langFolder);  // writes the English file
    std::string csv = FileText(langFolder + "ENU.csv");
    const std::string row = R"("60","Download entire website","Download entire website")";
    const size_t at = csv.find(row);
    ASSERT_NE(at, std::string::npos);
    csv.replace(at, row.size(), R"("60","Download entire website","../Whole site")");
    ASSERT_TRUE(AtomicWriteFile(langFolder + "ENU.csv", csv));
    TLocalLanguages languages;
    languages.SetLanguagesFolder(langFolder);
    ASSERT_EQ(languages.GetString(60), "../Whole site");

    ASSERT_TRUE(SafeForceDirectories(tmp.Path() + "/t"));
    WriteDefaultJobTemplates(tmp.Path() + "/t/");
    EXPECT_TRUE(SafeFileExists(tmp.Path() + "/t/.._Whole site.GCJ"));
    EXPECT_FALSE(SafeFileExists(tmp.Path() + "/Whole site.GCJ"));
}

TEST(JobFolders, DestinationPathAndUniqueSubfolders)
{
    TTempFolder tmp;
    TCopyJob job;
    job.SetDestinationFolder(tmp.Path() + "//");
    EXPECT_EQ(job.GetDestinationPath(), tmp.Path());
    ASSERT_TRUE(job.SelectUniqueDestinationSubfolder());
    const std::string first = job.DestinationSubfolder;
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d)"))) << first;
    EXPECT_TRUE(job.HasDestinationSubfolder());
    EXPECT_EQ(job.GetDestinationPath(), tmp.Path() + "/" + first);

    ASSERT_TRUE(job.SelectUniqueDestinationSubfolder());
    const std::string second = job.DestinationSubfolder;
    if (second.compare(0, first.size(), first) == 0)
        EXPECT_EQ(second, first + " (1)");
    else
        EXPECT_GT(second, first);  // the clock moved on to the next second
    struct stat st {};
    EXPECT_EQ(::stat(job.GetDestinationPath().c_str(), &st), 0);

    // A destination that is a file takes no subfolder; without a folder nothing lands in "/".
    ASSERT_TRUE(AtomicWriteFile(tmp.Path() + "/file", "x"));
    job.SetDestinationFolder(tmp.Path() + "/file");
    EXPECT_FALSE(job.HasDestinationSubfolder());
    EXPECT_FALSE(job.SelectUniqueDestinationSubfolder());
    EXPECT_FALSE(TCopyJob().SelectUniqueDestinationSubfolder());
}

TEST(JobFolders, DestinationIsMadeAbsoluteAndNormalOnce)
{
    EXPECT_EQ(NormalFolderPath("/a/b/../c/./d//", ""), "/a/c/d");
    EXPECT_EQ(NormalFolderPath("//x", ""), "/x");
    EXPECT_EQ(NormalFolderPath("/a/b/../../..", ""), "/");
    EXPECT_EQ(NormalFolderPath("Sites", "/home/u/Documents"), "/home/u/Documents/Sites");
    EXPECT_EQ(NormalFolderPath("../Sites", "/home/u/Documents/"), "/home/u/Sites");
    EXPECT_EQ(NormalFolderPath(".", "/home/u/Documents"), "/home/u/Documents");
    EXPECT_EQ(NormalFolderPath("Sites", ""), "");  // no base to stand on
    EXPECT_EQ(NormalFolderPath("", "/home/u"), "");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        EXPECT_EQ(NormalFolderPath("~", "/b"), NormalFolderPath(home, ""));
        EXPECT_EQ(NormalFolderPath("~/Sites/..", "/b"), NormalFolderPath(home, ""));
    }
    EXPECT_EQ(NormalFolderPath("~user", "/b"), "/b/~user");  // only the user's own home is known

    TCopyJob job;
    job.SetDestinationFolder("Documents/../Sites");
    ASSERT_TRUE(job.NormalizeDestinationFolder("/home/u"));
    EXPECT_EQ(job.DestinationFolder, "/home/u/Sites");
    for (const char* unusable : {"", "/", "/a/..", "x/../..", "/a/b/../../.."}) {
        job.DestinationFolder = unusable;
        EXPECT_FALSE(job.NormalizeDestinationFolder("/")) << unusable;
        EXPECT_EQ(job.DestinationFolder, unusable);
    }
}

TEST(JobNormalize, EmptyListsBecomeUnusedAndFlatteningWins)
{
    TCopyJob job;
    job.Clear();
    job.FlattenDestinationFolders = true;
    job.DownloadOptions.UpdateOldFiles = true;
    job.RecreateFolderStructure = false;
    EXPECT_FALSE(job.Normalize());
    EXPECT_FALSE(job.RewriteLinks || job.DownloadOptions.UpdateOldFiles);
    EXPECT_TRUE(job.RecreateFolderStructure);

    job.Types = "text/html";
    job.TypesPurpose = lpOnlyThese;
    job.HostsPurpose = lpNotThese;
    EXPECT_TRUE(job.Normalize());
    EXPECT_EQ(job.HostsPurpose, lpUnused);
    EXPECT_EQ(job.TypesPurpose, lpOnlyThese);
}

TEST(TypeLists, ExclusionsByPurpose)
{
    TCopyJob job;
    job.Clear();
    job.ExcludeHost("ads.example.com");
    EXPECT_EQ(job.HostsPurpose, lpNotThese);
    job.ExcludeHost("ADS.EXAMPLE.COM");
    job.ExcludeHost("cdn.example.com");
    EXPECT_EQ(job.Hosts, "ads.example.com, cdn.example.com");

    job.Hosts = "a.example, B.Example";
    job.HostsPurpose = lpOnlyThese;
    job.ExcludeHost("b.example");
    job.ExcludeHost("zzz");
    EXPECT_EQ(job.Hosts, "a.example");

    // The media type decides, not its parameters.
    job.Types = "text/css,Text/HTML, image/gif";
    job.TypesPurpose = lpOnlyThese;
    job.ExcludeMimeType(" text/html; charset=UTF-8");
    EXPECT_EQ(job.Types, "text/css,image/gif");

    std::string list;
    int32_t purpose = lpNotThese;
    AddToTypeList(list, purpose, ".exe");
    EXPECT_EQ(list, ".exe");  // no leading separator on an empty list
    AddToTypeList(list, purpose, std::string(65, 'x'));
    purpose = 7;
    AddToTypeList(list, purpose, ".zip");
    EXPECT_EQ(list, ".exe");

    std::string many;
    for (int i = 0; i < 65; ++i)
        many += ".e" + std::to_string(i) + ",";
    const std::string before = many;
    purpose = lpNotThese;
    AddToTypeList(many, purpose, ".new");
    EXPECT_EQ(many, before);
}

TEST(TypeLists, ExclusionsPastTheLimitsAreLoggedByValue)
{
    TTestLog log;
    std::string list;
    int32_t purpose = lpUnused;
    const std::string tooLong(65, 'x');
    AddToTypeList(list, purpose, tooLong);
    EXPECT_EQ(list, "");
    EXPECT_TRUE(log.Contains(tooLong));
    for (int i = 0; i < 64; ++i)
        AddToTypeList(list, purpose, "ext" + std::to_string(i));
    EXPECT_EQ(purpose, lpNotThese);
    EXPECT_EQ(SplitCommaList(list).size(), 64u);
    AddToTypeList(list, purpose, "one-more");
    EXPECT_EQ(SplitCommaList(list).size(), 64u);
    EXPECT_TRUE(log.Contains("one-more"));
    AddToTypeList(list, purpose, "EXT3");  // already there: nothing to refuse
    EXPECT_FALSE(log.Contains("EXT3"));
}

TEST(TypeLists, NormalizeListCleansAndCaps)
{
    EXPECT_EQ(NormalizeList(" .gif,,.jpg  .png\t,", 64, 64), ".gif, .jpg, .png");
    EXPECT_EQ(NormalizeList(".a,.toolong,.b", 4, 64), ".a, .b");
    EXPECT_EQ(NormalizeList(".a,.b,.c,.d", 8, 2), ".a, .b");
}
