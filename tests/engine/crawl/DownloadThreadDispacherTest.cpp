#include "engine/crawl/DownloadThreadDispacher.h"

#include "common/EngineReports.h"
#include "common/TempFolder.h"
#include "engine/FakeDownloadWorker.h"
#include "engine/job/JobTypes.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"
#include "engine/crawl/SpiderThread.h"

#include "common/WaitUntil.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

constexpr int32_t kJobID = 7;

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TDownloadThreadDispacher::TWorkers workers;
        for (int i = 0; i < TDownloadThreadDispacher::ThreadCount; ++i) {
            auto worker = std::make_unique<TFakeDownloadWorker>(i, script);
            fakes[i] = worker.get();
            workers[i] = std::move(worker);
        }
        dispatcher = std::make_unique<TDownloadThreadDispacher>(std::move(workers),
                                                                [this](int32_t n) { limits.push_back(n); });
        for (TFakeDownloadWorker* fake : fakes)
            fake->SetSignal(&dispatcher->Signal());
        job.Clear();
        job.SetDestinationFolder(temp.Path());
        job.StartingWebAddress.SetFullURL("http://site.test/");
        job.RestrictLocation = 3;
        job.AssumeWWWWhenNoThirdLevelDomain = false;
        crawler.FJobID = kJobID;
    }

    TURL Address(const std::string& path)
    {
        TURL url;
        url.SetFullURL("http://site.test" + path);
        return url;
    }
    int32_t Add(const std::string& path, int32_t depth = 0)
    {
        bool isNew = false;
        return crawler.AddSpiderObjectToList(spiders, Address(path), isNew, nullptr, depth);
    }
    void StartJob()
    {
        engine.Filter().LoadJob(job, true, true);
        dispatcher->ClearStartPageName();
    }
    void Run() { dispatcher->RunDownloads(spiders, dests, job, kJobID, crawler); }
    // The download-ended reports, once n of them have arrived.
    std::vector<TReportRecord> Ended(size_t n)
    {
        engine.WaitForCount(OUTMSG_DOWNLOAD_ENDED, n, std::chrono::seconds(10));
        return engine.OfType(OUTMSG_DOWNLOAD_ENDED);
    }
    TReportRecord EndedFor(const std::string& path, size_t total)
    {
        for (const TReportRecord& r : Ended(total))
            if (r.url == "http://site.test" + path)
                return r;
        ADD_FAILURE() << "no end report for " << path;
        return {};
    }

    TTempFolder temp;
    TEngineReports engine;
    TFakeScript script;
    std::array<TFakeDownloadWorker*, TDownloadThreadDispacher::ThreadCount> fakes{};
    std::vector<int32_t> limits;
    std::unique_ptr<TDownloadThreadDispacher> dispatcher;
    TSpiderThread crawler;
    TCopyJob job;
    TSpiderObjectList spiders;
    TSpiderDestObjectList dests;
};

TEST(DispatcherSlots, UsableThreadCountFollowsMaxSimultaneousDownloads)
{
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(1), 1);
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(3), 3);
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(4), 4);
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(0), 4);
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(-2), 4);
    EXPECT_EQ(TDownloadThreadDispacher::UsableThreadCount(5), 4);
}

TEST_F(DispatcherTest, OneSimultaneousDownloadUsesOnlyTheFirstThread)
{
    job.DownloadOptions.MaxSimultaneousDownloads = 1;
    for (int i = 0; i < 5; ++i) {
        script.Set("/f" + std::to_string(i) + ".htm", {TFakeBehaviour::Write, "text/html", 10});
        Add("/f" + std::to_string(i) + ".htm");
    }
    StartJob();
    Run();

    EXPECT_EQ(script.MaxActive(), 1);
    for (const auto& [slot, url] : script.Assigned())
        EXPECT_EQ(slot, 0) << url;
    const auto ended = Ended(5);
    ASSERT_EQ(ended.size(), 5u);
    std::set<int32_t> numbers;
    for (const TReportRecord& r : ended) {
        EXPECT_EQ(r.jobID, kJobID);
        EXPECT_EQ(r.result, DL_RESULT_FINISHED);
        EXPECT_EQ(r.filtered, 0);
        EXPECT_EQ(r.fileWritten, 1);
        numbers.insert(r.number);
    }
    EXPECT_EQ(numbers, (std::set<int32_t>{1, 2, 3, 4, 5}));
    // Download numbers go on counting in the next job.
    Add("/next.htm");
    StartJob();
    Run();
    EXPECT_EQ(dispatcher->DownloadCounter(), 6);
}

TEST_F(DispatcherTest, OutOfRangeMaxSimultaneousDownloadsUsesAllFourThreads)
{
    for (int32_t setting : {0, -1, 7}) {
        job.DownloadOptions.MaxSimultaneousDownloads = setting;
        spiders.Clear();
        dests.Clear();
        for (int i = 0; i < 8; ++i) {
            const std::string path = "/s" + std::to_string(setting) + "-" + std::to_string(i) + ".gif";
            script.Set(path, {TFakeBehaviour::Write, "image/gif", 60});
            Add(path);
        }
        StartJob();
        Run();
    }
    EXPECT_EQ(script.MaxActive(), 4);
    std::set<int> slots;
    for (const auto& assigned : script.Assigned())
        slots.insert(assigned.first);
    EXPECT_EQ(slots.size(), 4u);
    EXPECT_EQ(Ended(24).size(), 24u);
}

TEST_F(DispatcherTest, SecondAddressOfAFileBeingWrittenIsSkipped)
{
    // "/dup" served as a page maps to dup.htm, like "/dup.htm".
    script.Set("/dup", {TFakeBehaviour::Write, "text/html", 400});
    script.Set("/dup.htm", {TFakeBehaviour::Write, "text/html", 0, "", 0, 150});
    Add("/dup");
    Add("/dup.htm");
    StartJob();
    Run();

    const TReportRecord first = EndedFor("/dup", 2);
    const TReportRecord second = EndedFor("/dup.htm", 2);
    EXPECT_EQ(first.fileWritten, 1);
    EXPECT_EQ(first.filtered, 0);
    EXPECT_EQ(second.fileWritten, 0);
    EXPECT_EQ(second.filtered, 1);
    EXPECT_EQ(second.filterCode, FILTER_SKIPPED);
    EXPECT_EQ(first.localFile, temp.Path() + "/site.test/dup.htm");
    // The first address owns the file.
    ASSERT_EQ(dests.Count(), 1);
    EXPECT_EQ(spiders.Get(spiders.IndexOfDestOwner(dests.Get(0)->FID))->FURL.GetURLPath(), "/dup");
}

TEST_F(DispatcherTest, OnlyAcceptedPagesAreMarkedForParsing)
{
    script.Set("/new.htm", {TFakeBehaviour::Write, "text/html", 0});
    script.Set("/old.htm", {TFakeBehaviour::RefuseAfterName, "text/html", 0, "", FILTER_PREVIOUSLY_DOWNLOADED});
    script.Set("/big.htm", {TFakeBehaviour::RefuseAfterName, "text/html", 0, "", FILTER_FILE_SIZE});
    script.Set("/pic.gif", {TFakeBehaviour::Write, "image/gif", 0});
    for (const char* path : {"/new.htm", "/old.htm", "/big.htm", "/pic.gif"})
        Add(path);
    StartJob();
    Run();

    std::map<std::string, const TSpiderDestObject*> byName;
    for (int32_t i = 0; i < dests.Count(); ++i)
        byName[dests.Get(i)->FFileName.substr(temp.Path().size() + 11)] = dests.Get(i);
    ASSERT_EQ(byName.size(), 4u);
    EXPECT_TRUE(byName["new.htm"]->FParseNeeded);
    EXPECT_FALSE(byName["new.htm"]->FLocalSource);
    EXPECT_TRUE(byName["old.htm"]->FParseNeeded);
    EXPECT_TRUE(byName["old.htm"]->FLocalSource);
    EXPECT_FALSE(byName["big.htm"]->FParseNeeded);
    EXPECT_FALSE(byName["pic.gif"]->FParseNeeded);
    EXPECT_EQ(EndedFor("/big.htm", 4).filterCode, FILTER_FILE_SIZE);
}

TEST_F(DispatcherTest, RedirectedStartAddressMovesTheStartAndKeepsItsDepth)
{
    script.Set("/", {TFakeBehaviour::Redirect, "text/html", 0, "docs/index.htm"});
    Add("/", -1);
    StartJob();
    Run();

    ASSERT_EQ(spiders.Count(), 2);
    const TSpiderObject* start = spiders.Get(0);
    const TSpiderObject* target = spiders.Get(spiders.IndexOfID(start->FRedirectedToID));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->FURL.GetFullURL(), "http://site.test/docs/index.htm");
    EXPECT_EQ(target->FDepth, -1);
    EXPECT_TRUE(target->FDispatched);
    const TReportRecord redirect = EndedFor("/", 2);
    EXPECT_EQ(redirect.redirect, "http://site.test/docs/index.htm");
    EXPECT_EQ(redirect.redirectAdded, 1);
    EXPECT_EQ(dispatcher->GetStartPageName(), temp.Path() + "/site.test/docs/index.htm");
    EXPECT_NE(engine.Filter().StartFolder().find("/docs"), std::string::npos);
}

TEST_F(DispatcherTest, EndlessRedirectChainIsRefused)
{
    Add("/chain/0");
    StartJob();
    Run();
    EXPECT_EQ(spiders.Count(), TDownloadThreadDispacher::MaxRedirectChain + 1);
    EXPECT_FALSE(dispatcher->HasUndispatchedObjects(spiders));
}

TEST_F(DispatcherTest, StopCancelsRunningDownloadsAndStartsNoMore)
{
    job.DownloadOptions.MaxSimultaneousDownloads = 2;
    for (const char* path : {"/a.htm", "/b.htm", "/c.htm", "/d.htm"}) {
        script.Set(path, {TFakeBehaviour::UntilCancelled});
        Add(path);
    }
    StartJob();
    std::thread stopper([&] {
        engine.WaitFor([](const TReportRecord& r) { return r.type == OUTMSG_DOWNLOAD_STARTED && r.number == 2; });
        engine.Input().PostStopJob(kJobID);
    });
    Run();
    stopper.join();

    EXPECT_TRUE(crawler.StopRequested());
    EXPECT_EQ(script.Assigned().size(), 2u);
    const auto ended = Ended(2);
    ASSERT_EQ(ended.size(), 2u);
    for (const TReportRecord& r : ended)
        EXPECT_EQ(r.result, DL_RESULT_CANCELLED);
    EXPECT_TRUE(dispatcher->HasUndispatchedObjects(spiders));
}

TEST_F(DispatcherTest, CancelGivesResultFourAndAStoppedFileGivesThree)
{
    for (const char* path : {"/a.htm", "/b.htm"}) {
        script.Set(path, {TFakeBehaviour::UntilCancelled});
        Add(path);
    }
    StartJob();
    std::thread commands([&] {
        engine.WaitFor([](const TReportRecord& r) { return r.type == OUTMSG_DOWNLOAD_STARTED && r.number == 2; });
        const int32_t first = engine.OfType(OUTMSG_DOWNLOAD_STARTED)[0].number;
        engine.Input().PostStopFileDownload(kJobID, first);
        engine.WaitForType(OUTMSG_DOWNLOAD_ENDED);
        engine.Input().PostAbortJob(kJobID);
    });
    Run();
    commands.join();

    const auto ended = Ended(2);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].result, DL_RESULT_CANCELLED);
    EXPECT_EQ(ended[1].result, DL_RESULT_JOB_CANCELLED);
    EXPECT_TRUE(crawler.CancelRequested());
}

TEST_F(DispatcherTest, StopRequestsForHostAndExtensionChangeTheJobLists)
{
    script.Set("/data", {TFakeBehaviour::UntilCancelled, "application/octet-stream"});
    script.Set("/pic.gif", {TFakeBehaviour::UntilCancelled, "image/gif"});
    Add("/data");
    Add("/pic.gif");
    StartJob();
    std::thread commands([&] {
        engine.WaitForCount(OUTMSG_DOWNLOAD_PROGRESS, 2);
        for (const TReportRecord& r : engine.OfType(OUTMSG_DOWNLOAD_STARTED)) {
            if (r.url == "http://site.test/data")  // no extension: only this download stops
                engine.Input().PostStopExtensionDownloads(kJobID, r.number);
            else
                engine.Input().PostStopHostDownloads(kJobID, r.number);
        }
    });
    Run();
    commands.join();

    EXPECT_EQ(job.Extensions, "");
    EXPECT_EQ(job.Hosts, "site.test");
    EXPECT_EQ(job.HostsPurpose, lpNotThese);
    // The filter refuses the excluded host from now on.
    EXPECT_EQ(engine.Filter().CheckURLBeforeDownload(Address("/other.htm"), 1), FILTER_HOST);
    for (const TReportRecord& r : Ended(2))
        EXPECT_EQ(r.result, DL_RESULT_CANCELLED);
}

TEST_F(DispatcherTest, DownloadThatEndsOnItsOwnWhileTheJobStopsIsReportedAsItEnded)
{
    job.DownloadOptions.Timeout = 30000;
    script.Set("/late.htm", {TFakeBehaviour::IgnoresCancel});
    script.Set("/cut.htm", {TFakeBehaviour::UntilCancelled});
    Add("/late.htm");
    Add("/cut.htm");
    StartJob();
    std::thread stopper([&] {
        engine.WaitForCount(OUTMSG_DOWNLOAD_PROGRESS, 2);
        engine.Input().PostStopJob(kJobID);
        engine.WaitForCount(OUTMSG_DOWNLOAD_ENDED, 1);  // the cancelled one
        script.Release();                              // the other one ends and writes its file
    });
    Run();
    stopper.join();

    const TReportRecord cut = EndedFor("/cut.htm", 2);
    EXPECT_EQ(cut.result, DL_RESULT_CANCELLED);
    const TReportRecord late = EndedFor("/late.htm", 2);
    EXPECT_EQ(late.result, DL_RESULT_FINISHED);
    EXPECT_EQ(late.fileWritten, 1);
}

TEST_F(DispatcherTest, HungThreadIsGivenUpAndReportedAgainWhenItEndsInALaterJob)
{
    job.DownloadOptions.Timeout = 150;
    script.Set("/stuck.htm", {TFakeBehaviour::IgnoresCancel});
    Add("/stuck.htm");
    StartJob();
    std::thread stopper([&] {
        engine.WaitFor([](const TReportRecord& r) { return r.type == OUTMSG_DOWNLOAD_PROGRESS; });
        engine.Input().PostStopJob(kJobID);
    });
    Run();
    stopper.join();

    auto ended = Ended(1);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].errorCode, 12002);
    EXPECT_EQ(ended[0].errorCodeValid, 1);
    EXPECT_EQ(ended[0].result, DL_RESULT_CANCELLED);
    const int32_t hungNumber = ended[0].number;

    // The next job: the hung thread is not used until it has ended.
    TSpiderObjectList nextSpiders;
    TSpiderDestObjectList nextDests;
    bool isNew = false;
    crawler.AddSpiderObjectToList(nextSpiders, Address("/fresh.htm"), isNew, nullptr, 0);
    crawler.FStopRequested = false;
    StartJob();
    script.Release();
    ASSERT_TRUE(WaitUntil([&] { return fakes[0]->GetState() == DL_FINISHED; }));
    dispatcher->RunDownloads(nextSpiders, nextDests, job, kJobID + 1, crawler);

    ended = Ended(3);
    ASSERT_EQ(ended.size(), 3u);
    int reportsOfHung = 0;
    for (const TReportRecord& r : ended)
        reportsOfHung += r.number == hungNumber;
    EXPECT_EQ(reportsOfHung, 2);
    // The late download left the new job's lists alone.
    EXPECT_EQ(nextSpiders.Count(), 1);
    ASSERT_EQ(nextDests.Count(), 1);
    EXPECT_EQ(nextDests.Get(0)->FFileName, temp.Path() + "/site.test/fresh.htm");
}

TEST_F(DispatcherTest, OptionsReachTheThreadsOnlyWhenChanged)
{
    TDownloadOptions options;
    options.JobOptions.HTTPAgentName = "agent one";
    dispatcher->ApplyDownloadOptions(options);
    dispatcher->ApplyDownloadOptions(options);
    for (TFakeDownloadWorker* fake : fakes)
        EXPECT_EQ(fake->OptionsGiven(), 1);

    options.HTTPProxy.Password = "changed";
    dispatcher->ApplyDownloadOptions(options);
    options.JobOptions.HTTPAgentName = "agent two";
    options.JobOptions.MaxSimultaneousDownloads = 2;
    dispatcher->ApplyDownloadOptions(options);
    for (TFakeDownloadWorker* fake : fakes) {
        EXPECT_EQ(fake->OptionsGiven(), 3);
        EXPECT_EQ(fake->LastAgentName(), "agent two");
    }
    EXPECT_EQ(limits, (std::vector<int32_t>{4, 4, 2}));
}

TEST_F(DispatcherTest, PauseBetweenDownloadsSpacesTheStarts)
{
    job.PauseBetweenDownloads = 1;
    script.Set("/one.gif", {TFakeBehaviour::Write, "image/gif"});
    script.Set("/two.gif", {TFakeBehaviour::Write, "image/gif"});
    Add("/one.gif");
    Add("/two.gif");
    StartJob();
    const auto begin = std::chrono::steady_clock::now();
    Run();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::milliseconds(990));
    EXPECT_EQ(Ended(2).size(), 2u);
}

}  // namespace

namespace {

// An address refused by the job's address rules takes its place in the dispatch order and its
// number, with started and ended reports one after the other, but no download thread.
TEST_F(DispatcherTest, AddressesTheRulesRefuseNeedNoThread)
{
    job.Hosts = "site.test";
    job.HostsPurpose = 1;  // only these hosts
    job.Extensions = ".zip";
    job.ExtensionsPurpose = 2;  // not these
    script.Set("/a.htm", {TFakeBehaviour::Write, "text/html", 10});
    script.Set("/c.htm", {TFakeBehaviour::Write, "text/html", 10});
    Add("/a.htm");
    bool isNew = false;
    TURL elsewhere;
    elsewhere.SetFullURL("http://other.test/b.htm");
    crawler.AddSpiderObjectToList(spiders, elsewhere, isNew, nullptr, 0);
    Add("/c.htm");
    Add("/d.zip");
    StartJob();
    Run();

    std::set<std::string> assigned;
    for (const auto& [slot, url] : script.Assigned())
        assigned.insert(url);
    EXPECT_EQ(assigned, (std::set<std::string>{"http://site.test/a.htm", "http://site.test/c.htm"}));
    const auto ended = Ended(4);
    ASSERT_EQ(ended.size(), 4u);
    const TReportRecord refusedHost = EndedFor("/d.zip", 4);
    EXPECT_EQ(refusedHost.filterCode, FILTER_EXTENSION);
    for (const TReportRecord& r : ended) {
        if (r.url == "http://other.test/b.htm") {
            EXPECT_EQ(r.number, 1);  // numbered in dispatch order: the list's key order
            EXPECT_EQ(r.filterCode, FILTER_HOST);
            EXPECT_EQ(r.filtered, 1);
            EXPECT_EQ(r.result, DL_RESULT_FINISHED);
            EXPECT_EQ(r.statusCode, 0);
            EXPECT_EQ(r.fileWritten, 0);
        }
    }
    EXPECT_EQ(refusedHost.number, 4);
    // Each refused address is reported started, then ended, before anything else.
    const auto all = engine.Reports();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].type == OUTMSG_DOWNLOAD_STARTED && (all[i].number == 1 || all[i].number == 4)) {
            ASSERT_LT(i + 1, all.size());
            EXPECT_EQ(all[i + 1].type, OUTMSG_DOWNLOAD_ENDED);
            EXPECT_EQ(all[i + 1].number, all[i].number);
        }
}

}  // namespace
