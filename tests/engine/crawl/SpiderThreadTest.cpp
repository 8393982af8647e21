#include "engine/crawl/SpiderThread.h"

#include "common/EngineReports.h"
#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/FakeDownloadWorker.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"

#include "common/WaitUntil.h"

#include <gtest/gtest.h>

namespace {

class SpiderThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TDownloadThreadDispacher::TWorkers workers;
        std::array<TFakeDownloadWorker*, TDownloadThreadDispacher::ThreadCount> fakes{};
        for (int i = 0; i < TDownloadThreadDispacher::ThreadCount; ++i) {
            auto worker = std::make_unique<TFakeDownloadWorker>(i, script);
            fakes[i] = worker.get();
            workers[i] = std::move(worker);
        }
        dispatcher = std::make_unique<TDownloadThreadDispacher>(std::move(workers), nullptr);
        for (TFakeDownloadWorker* fake : fakes)
            fake->SetSignal(&dispatcher->Signal());
        job.Clear();
        job.SetDestinationFolder(temp / "site");
        job.StartingWebAddress.SetFullURL("http://site.test/");
        job.AssumeWWWWhenNoThirdLevelDomain = false;
    }

    void Start(int32_t jobID)
    {
        TSpiderInputMsg start;
        start.FMsgType = INMSG_START_JOB;
        start.FJobID = jobID;
        start.FJob.Assign(job);
        ASSERT_TRUE(engine.Input().PushMessage(start));
    }
    std::string Log() { return ReadTextFile(temp / "GleaneryEventLog.csv"); }
    std::vector<uint8_t> JobReportTypes()
    {
        std::vector<uint8_t> types;
        for (const TReportRecord& r : engine.Reports())
            if (r.type <= OUTMSG_JOB_ENDED)
                types.push_back(r.type);
        return types;
    }

    TTempFolder temp;
    TApplicationTraceLog log{{"/eventlog"}, false, temp.Slash()};
    TEngineReports engine;
    THTMLParser htmlParser;
    TCSSParser cssParser;
    TLinkParser linkParser;
    TURLToFilenameMapper mapper;
    TReadWriteOutputMessenger messenger;
    TFakeScript script;
    std::unique_ptr<TDownloadThreadDispacher> dispatcher;
    TCopyJob job;
    TSpiderThread crawler;
};

TEST_F(SpiderThreadTest, RunsQueuedJobsOneAfterAnotherAndDropsCommandsWhileIdle)
{
    crawler.Resume();
    engine.Input().PostPauseJob(3);
    script.Set("/", TFakeBehaviour(TFakeBehaviour::Write, "text/html", 100));
    Start(1);
    Start(2);
    ASSERT_TRUE(engine.WaitForCount(OUTMSG_JOB_ENDED, 2));

    const auto ended = engine.OfType(OUTMSG_JOB_ENDED);
    EXPECT_EQ(ended[0].jobID, 1);
    EXPECT_EQ(ended[1].jobID, 2);
    for (const TReportRecord& r : ended) {
        EXPECT_EQ(r.resultCode, JOB_END_COMPLETED);
        EXPECT_EQ(r.startPage, temp.Path() + "/site/site.test/index.html");
    }
    EXPECT_EQ(JobReportTypes(), (std::vector<uint8_t>{1, 4, 1, 4}));
    EXPECT_NE(Log().find("Ignored spider input msg 2"), std::string::npos);

    crawler.Terminate();
    crawler.WaitFor();
    EXPECT_TRUE(crawler.FFinished);
    // Reset after the job-ended report is posted, so only looked at once the thread is done.
    EXPECT_EQ(crawler.FJobID, 0);
}

TEST_F(SpiderThreadTest, PauseResumeAndStopEndTheJobWithCodeThree)
{
    script.Set("/", TFakeBehaviour(TFakeBehaviour::UntilCancelled));
    crawler.Resume();
    Start(5);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_DOWNLOAD_STARTED));
    engine.Input().PostPauseJob(5);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_JOB_PAUSED));
    engine.Input().PostResumeJob(5);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_JOB_RESUMED));
    engine.Input().PostStopJob(5);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_JOB_ENDED));

    EXPECT_EQ(JobReportTypes(), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(engine.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_STOPPED);
    EXPECT_EQ(engine.OfType(OUTMSG_DOWNLOAD_ENDED)[0].result, DL_RESULT_CANCELLED);
}

TEST_F(SpiderThreadTest, CancelEndsTheJobWithCodeFour)
{
    script.Set("/", TFakeBehaviour(TFakeBehaviour::UntilCancelled));
    crawler.Resume();
    Start(6);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_DOWNLOAD_STARTED));
    engine.Input().PostAbortJob(6);
    ASSERT_TRUE(engine.WaitForType(OUTMSG_JOB_ENDED));
    EXPECT_EQ(engine.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_CANCELLED);
    EXPECT_EQ(engine.OfType(OUTMSG_DOWNLOAD_ENDED)[0].result, DL_RESULT_JOB_CANCELLED);
}

class ParseDriverTest : public SpiderThreadTest {
protected:
    void SetUp() override
    {
        SpiderThreadTest::SetUp();
        crawler.FJobID = 9;
        engine.Filter().LoadJob(job, true, true);
    }
    // A downloaded page of the job; owned unless orphan.
    TSpiderDestObject* Page(const std::string& path, bool orphan = false)
    {
        TURL url;
        url.SetFullURL("http://site.test" + path);
        bool isNew = false;
        TSpiderObject* object = spiders.Get(spiders.IndexOfID(
            crawler.AddSpiderObjectToList(spiders, url, isNew, nullptr, 0)));
        object->FMimeType = "text/html";
        crawler.MapSpiderObjectToDest(*object, dests, spiders);
        TSpiderDestObject* dest = dests.Get(dests.IndexOfID(object->FDestID));
        if (orphan)
            object->FOwnsDest = false;
        dest->FParseNeeded = true;
        dest->FParseKind = PARSE_KIND_HTML;
        crawler.NoteParseCandidate(dests.IndexOfID(dest->FID));
        return dest;
    }

    TSpiderObjectList spiders;
    TSpiderDestObjectList dests;
};

TEST_F(ParseDriverTest, ParsesEveryOwnedPageOnceAndNamesPagesWithoutOwner)
{
    TSpiderDestObject* a = Page("/a.htm");
    TSpiderDestObject* orphan = Page("/b.htm", true);
    TSpiderDestObject* c = Page("/c.htm");
    crawler.ParseFileListItems(spiders, dests, job);

    EXPECT_TRUE(a->FParsed);
    EXPECT_TRUE(orphan->FParsed);
    EXPECT_TRUE(c->FParsed);
    EXPECT_NE(Log().find("No URL for 2 " + temp.Path() + "/site/site.test/b.htm"), std::string::npos);
    // Nothing is left for a second call.
    a->FParsed = false;
    crawler.ParseFileListItems(spiders, dests, job);
    EXPECT_FALSE(a->FParsed);
}

TEST_F(ParseDriverTest, StopAndCancelEndParsing)
{
    TSpiderDestObject* a = Page("/a.htm");
    engine.Input().PostStopJob(9);
    crawler.ParseFileListItems(spiders, dests, job);
    EXPECT_TRUE(crawler.StopRequested());
    EXPECT_FALSE(a->FParsed);

    engine.Input().PostAbortJob(9);
    crawler.ParseFileListItems(spiders, dests, job);
    EXPECT_FALSE(a->FParsed);
    EXPECT_NE(Log().find("Cancelled parsing"), std::string::npos);
}

TEST_F(ParseDriverTest, APausedParseWaitsForResumeEvenAfterAStop)
{
    TSpiderDestObject* a = Page("/a.htm");
    engine.Input().PostPauseJob(9);
    engine.Input().PostStopJob(9);
    std::thread resume([&] {
        engine.WaitForType(OUTMSG_JOB_PAUSED);
        // The stop is taken while the parse waits in its pause.
        EXPECT_TRUE(WaitUntil([&] { return crawler.StopRequested(); }));
        EXPECT_TRUE(crawler.Paused());
        engine.Input().PostResumeJob(9);
    });
    crawler.ParseFileListItems(spiders, dests, job);
    resume.join();
    EXPECT_FALSE(crawler.Paused());
    EXPECT_TRUE(crawler.StopRequested());
    EXPECT_FALSE(a->FParsed);
}

TEST_F(ParseDriverTest, PauseAndResumeAreTakenInTheOrderPosted)
{
    engine.Input().PostPauseJob(9);
    crawler.CheckPauseRequests();
    ASSERT_TRUE(crawler.Paused());
    // A resume quickly followed by a pause: the job stays paused.
    engine.Input().PostResumeJob(9);
    engine.Input().PostPauseJob(9);
    crawler.CheckPauseRequests();
    EXPECT_TRUE(crawler.Paused());
    engine.Input().PostPauseJob(9);
    engine.Input().PostResumeJob(9);
    crawler.CheckPauseRequests();
    EXPECT_FALSE(crawler.Paused());
    ASSERT_TRUE(engine.WaitForCount(OUTMSG_JOB_PAUSED, 3));
    ASSERT_TRUE(engine.WaitForCount(OUTMSG_JOB_RESUMED, 2));
    EXPECT_EQ(JobReportTypes(), (std::vector<uint8_t>{2, 3, 2, 2, 3}));
}

TEST_F(ParseDriverTest, MappingGivesTheFirstAddressTheFileAndSkipsUnsafeNames)
{
    TURL first;
    first.SetFullURL("http://site.test/page");
    TURL second;
    second.SetFullURL("http://site.test/page.htm");
    bool isNew = false;
    crawler.AddSpiderObjectToList(spiders, first, isNew, nullptr, 0);
    crawler.AddSpiderObjectToList(spiders, second, isNew, nullptr, 0);
    spiders.Get(0)->FMimeType = "text/html";
    spiders.Get(1)->FMimeType = "text/html";
    crawler.MapAllSpiderObjectsToDest(spiders, dests);

    ASSERT_EQ(dests.Count(), 1);
    EXPECT_TRUE(spiders.Get(0)->FOwnsDest);
    EXPECT_FALSE(spiders.Get(1)->FOwnsDest);
    EXPECT_EQ(spiders.Get(1)->FDestID, dests.Get(0)->FID);

    // An address that would leave the folder gets no destination.
    TURL mail;
    mail.SetFullURL("mailto:someone@site.test");
    crawler.AddSpiderObjectToList(spiders, mail, isNew, nullptr, 0);
    crawler.MapAllSpiderObjectsToDest(spiders, dests);
    EXPECT_EQ(dests.Count(), 1);
}

}  // namespace
