#include "engine/post/PostProcess.h"

#include "engine/services/FileDateTime.h"
#include "engine/job/JobTypes.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/SpiderDestObject.h"

#include "tests/engine/FileSizeLimit.h"
#include "tests/engine/ReportCollector.h"
#include "tests/engine/ScriptedJobControl.h"
#include "tests/engine/TempTree.h"
#include "tests/engine/TestLog.h"

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace {

constexpr TFileTime kServerTime = 132000000000000000ULL;  // a day in 2019

class PostProcessTest : public ::testing::Test {
protected:
    // A destination of the job; written by this job unless localSource.
    TSpiderDestObject& Dest(const std::string& relative, const std::string& data, uint8_t kind = PARSE_KIND_HTML,
                            bool localSource = false)
    {
        TSpiderDestObject candidate;
        candidate.FFileName = tree.Write(relative, data);
        candidate.FParseNeeded = true;
        candidate.FParseKind = kind;
        candidate.FLocalSource = localSource;
        TSpiderDestObject* dest = nullptr;
        dests.AddIfNotPresent(candidate, dest);
        SetExistingFileDate(dest->FFileName, kServerTime, kServerTime);
        return *dest;
    }
    static TFileTime WriteTime(const std::string& file)
    {
        TFileTime created = 0, written = 0;
        EXPECT_TRUE(GetExistingFileDate(file, created, written));
        return written;
    }
    void AddTask(const std::string& find, const std::string& replace)
    {
        TFindReplaceTask& task = job.DownloadOptions.FindReplaceTasks.Tasks[job.DownloadOptions.FindReplaceTasks.Count++];
        task.FindString = find;
        task.ReplaceString = replace;
        task.Flags = rfReplaceAll;
    }

    TTestLog log;
    TempTree tree;
    ReportCollector reports;
    TReadWriteOutputMessenger messenger;
    ScriptedJobControl control;
    TSpiderDestObjectList dests;
    TCopyJob job;
    TSpiderOutputMsg msg;
};

TEST_F(PostProcessTest, NothingToDoPostsNothingAndKeepsTimes)
{
    TSpiderDestObject& page = Dest("p.htm", "<p>x</p>");
    PostProcessFile(page, job, msg);
    EXPECT_EQ(WriteTime(page.FFileName), kServerTime);
    EXPECT_TRUE(reports.Types().empty());
}

TEST_F(PostProcessTest, TasksHeaderFooterKeepTheServerTime)
{
    AddTask("Old", "New");
    job.DownloadOptions.CustomHTMLHeader = "<!-- top -->\r\n";
    job.DownloadOptions.CustomHTMLFooter = "\r\n<!-- end -->";
    TSpiderDestObject& page = Dest("p.htm", "<!DOCTYPE html><p>Old Old</p>");
    PostProcessFile(page, job, msg);
    EXPECT_EQ(TempTree::Read(page.FFileName), "<!-- top -->\r\n<!DOCTYPE html><p>New New</p>\r\n<!-- end -->");
    EXPECT_EQ(WriteTime(page.FFileName), kServerTime);
    ASSERT_EQ(reports.Types(), (std::vector<int> {OUTMSG_WRITE_STARTED, OUTMSG_WRITE_ENDED}));
    const TSpiderOutputMsg& started = *reports.Reports()[0];
    EXPECT_EQ(started.FReadWrite.FKind, RW_KIND_POSTPROCESS);
    EXPECT_GT(started.FReadWrite.FNumber, 0);
    EXPECT_FALSE(started.FReadWrite.FURL.IsValid());
    EXPECT_EQ(started.FReadWrite.FLocalFile, page.FFileName);
    EXPECT_EQ(reports.Reports()[1]->FReadWrite.FStatus, RW_STATUS_FINISHED);
}

TEST_F(PostProcessTest, StyleSheetsForeignFilesAndUnparsedFilesAreNeverChanged)
{
    AddTask("a", "b");
    job.DownloadOptions.CustomHTMLFooter = "F";
    TSpiderDestObject& sheet = Dest("s.css", "a{}", PARSE_KIND_CSS);
    TSpiderDestObject& foreign = Dest("old.htm", "a", PARSE_KIND_HTML, true);
    TSpiderDestObject& image = Dest("i.gif", "a", 0);
    image.FParseNeeded = false;
    for (TSpiderDestObject* dest : {&sheet, &foreign, &image})
        PostProcessFile(*dest, job, msg);
    EXPECT_EQ(TempTree::Read(sheet.FFileName), "a{}");
    EXPECT_EQ(TempTree::Read(foreign.FFileName), "a");
    EXPECT_EQ(TempTree::Read(image.FFileName), "a");
    EXPECT_TRUE(reports.Types().empty());
}

TEST_F(PostProcessTest, FailedEditReportsAnErrorAndLeavesThePage)
{
    job.DownloadOptions.CustomHTMLHeader = "H";
    const std::string original(50000, 'p');
    TSpiderDestObject& page = Dest("p.htm", original);
    {
        FileSizeLimit full(1000);
        PostProcessFile(page, job, msg);
    }
    EXPECT_TRUE(TempTree::Read(page.FFileName) == original);
    EXPECT_EQ(tree.Listing(), std::set<std::string> {"p.htm"});
    auto ended = reports.OfType(OUTMSG_WRITE_ENDED);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0]->FReadWrite.FStatus, RW_STATUS_ERROR);
    EXPECT_FALSE(ended[0]->FReadWrite.FErrorText.empty());
}

TEST_F(PostProcessTest, SubfoldersWithFilesOfThisJob)
{
    const std::string root = tree.Root() + "/";
    Dest("index.htm", "x");
    Dest("site/a.htm", "x");
    Dest("site/deep/b.htm", "x");
    Dest("Img/c.gif", "x");
    Dest("other/d.htm", "x", PARSE_KIND_HTML, true);  // there before the job
    TFolderList folders;
    GetDestSubfoldersWithJobFiles(control, tree.Root() + "//", dests, folders);
    EXPECT_EQ(folders, (TFolderList {root + "Img/", root + "site/"}));

    control.CancelAfterChecks = 1;
    GetDestSubfoldersWithJobFiles(control, tree.Root(), dests, folders);
    EXPECT_TRUE(folders.empty());
    EXPECT_TRUE(log.Contains("Aborted"));
}

TEST_F(PostProcessTest, FlattenThenPruneWithReportsAndStartPage)
{
    const std::string root = tree.Root() + "/";
    job.DestinationFolder = tree.Root();
    job.FlattenDestinationFolders = true;
    job.PruneFolders = true;
    Dest("site/index.htm", "start");
    Dest("site/img/a.gif", "a");
    Dest("site/empty-later/b.gif", "b");
    tree.Write("site/img/index.htm", "clash");  // comes up to site/, then finds the start page above
    tree.Write("foreign/f.htm", "f");          // no file of this job: left alone
    tree.MakeFolder("foreign/empty");
    msg.FStartPageFile = root + "site/index.htm";
    PostProcessFolders(control, 7, job, dests, msg);

    EXPECT_EQ(msg.FStartPageFile, root + "index.htm");
    EXPECT_EQ(tree.Listing(), (std::set<std::string> {"index.htm", "a.gif", "b.gif", "site/", "site/index.htm",
                                                      "foreign/", "foreign/f.htm", "foreign/empty/"}));
    EXPECT_EQ(TempTree::Read(tree.Path("index.htm")), "start");
    EXPECT_EQ(reports.Types(), (std::vector<int> {OUTMSG_FLATTEN_STARTED, OUTMSG_FILE_MOVED_UP, OUTMSG_FILE_MOVED_UP,
                                                  OUTMSG_FILE_MOVED_UP, OUTMSG_FILE_MOVED_UP, OUTMSG_FILE_MOVED_UP,
                                                  OUTMSG_FILE_MOVED_UP, OUTMSG_FLATTEN_ENDED, OUTMSG_PRUNE_STARTED, OUTMSG_PRUNING_FOLDER,
                                                  OUTMSG_PRUNING_FOLDER, OUTMSG_PRUNING_FOLDER, OUTMSG_PRUNE_ENDED}));
    auto moved = reports.OfType(OUTMSG_FILE_MOVED_UP);
    EXPECT_EQ(moved[0]->FFlattening.FOldPath, root + "site/index.htm");
    EXPECT_EQ(moved[0]->FFlattening.FNewPath, root + "index.htm");
    EXPECT_EQ(moved[0]->FJobID, 7);
    auto pruned = reports.OfType(OUTMSG_PRUNING_FOLDER);
    EXPECT_EQ(pruned[0]->FFolder, root + "site/");
}

TEST_F(PostProcessTest, CancelledJobSkipsFolderSteps)
{
    job.DestinationFolder = tree.Root();
    job.FlattenDestinationFolders = true;
    Dest("site/a.htm", "a");
    control.CancelAfterChecks = 0;
    PostProcessFolders(control, 1, job, dests, msg);
    EXPECT_EQ(tree.Listing(), (std::set<std::string> {"site/", "site/a.htm"}));
    EXPECT_TRUE(reports.Types().empty());
}

}  // namespace
