// Jobs against awkward destinations, redirects, credentials and error answers.
#include "integration/CrawlTestSupport.h"
#include "engine/crawl/CopyIndex.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

namespace {

using namespace std::chrono_literals;

class CrawlRobustnessTest : public TCrawlTestBase {
protected:
    void Page(const std::string& path, const std::string& body)
    {
        server_.Get(path, [body](const httplib::Request&, httplib::Response& res) { res.set_content(body, "text/html"); });
    }
    // Downloads started for addresses that end with the text (fetched or taken from disk).
    int Started(const std::string& end)
    {
        int n = 0;
        for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_STARTED))
            n += r.url.size() >= end.size() && r.url.compare(r.url.size() - end.size(), end.size(), end) == 0;
        return n;
    }
    int Requests(const std::string& path)
    {
        int n = 0;
        for (const TRequest& r : Seen())
            n += r.path == path;
        return n;
    }
    // Serves path with body once the page at awaited has been asked for (at most 30 s); held
    // tells whether it came while the answer was held. The awaited page is answered once
    // holdAwaited returns, when one is given.
    void ServeAfter(const std::string& path, const std::string& body, const std::string& awaited,
                    const std::string& awaitedBody, std::atomic<bool>* held = nullptr,
                    std::function<void()> holdAwaited = {})
    {
        server_.Get(awaited, [this, awaitedBody, holdAwaited](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> guard(awaitLock_);
                awaitedAsked_ = true;
            }
            awaitedChanged_.notify_all();
            if (holdAwaited)
                holdAwaited();
            res.set_content(awaitedBody, "text/html");
        });
        server_.Get(path, [this, body, held](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> guard(awaitLock_);
            const bool came = awaitedChanged_.wait_for(guard, 30s, [this] { return awaitedAsked_; });
            if (held)
                *held = came;
            res.set_content(body, "text/html");
        });
    }

    std::mutex awaitLock_;
    std::condition_variable awaitedChanged_;
    bool awaitedAsked_ = false;
};

TEST_F(CrawlRobustnessTest, DestinationWithDotSegmentsIsCopiedWholeAndRewritten)
{
    Page("/", "<html><body><a href=\"a.htm\">a</a></body></html>");
    Page("/a.htm", "<html><body><a href=\"b.htm\">b</a></body></html>");
    Page("/b.htm", "<html><body>end</body></html>");
    job_.SetDestinationFolder(temp_.Path() + "/./x//..//site/");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED) << EventLog();

    EXPECT_TRUE(Exists(Local("/a.htm")));
    EXPECT_TRUE(Exists(Local("/b.htm")));
    EXPECT_NE(ReadTextFile(Local("/a.htm")).find("href=\"b.htm\""), std::string::npos);
    EXPECT_FALSE(Exists(temp_ / "x"));
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].startPage, Local("/index.html"));
}

TEST_F(CrawlRobustnessTest, DestinationThatClimbsToTheRootEndsWithAnErrorAndFetchesNothing)
{
    Page("/", "<html><body>x</body></html>");
    job_.SetDestinationFolder(temp_.Path() + "/a/../../../../../..");
    ASSERT_EQ(RunJob(), JOB_END_ERROR);
    EXPECT_TRUE(Seen().empty());
    EXPECT_TRUE(engine_.OfType(OUTMSG_DOWNLOAD_STARTED).empty());
    EXPECT_NE(EventLog().find("Unusable destination folder"), std::string::npos);
}

TEST_F(CrawlRobustnessTest, StartingReferrerIsSentWithTheStartingAddressOnly)
{
    Page("/", "<html><body><a href=\"a.htm\">a</a></body></html>");
    Page("/a.htm", "<html></html>");
    job_.StartingReferrer = "http://portal.example/links.htm";
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    std::map<std::string, std::string> referrers;
    for (const TRequest& r : Seen())
        referrers[r.path] = r.headers.count("Referer") ? r.headers.find("Referer")->second : "";
    EXPECT_EQ(referrers["/"], "http://portal.example/links.htm");
    EXPECT_EQ(referrers["/a.htm"], Url("/"));
}

// "reader:s3cret" in Base64.
const char kReaderAuth[] = "Basic cmVhZGVyOnMzY3JldA==";

TEST_F(CrawlRobustnessTest, StoredPasswordOfASiteOnItsOwnPortIsUsed)
{
    server_.Get("/", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") != kReaderAuth) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
            return;
        }
        res.set_content("<html>members</html>", "text/html");
    });
    ASSERT_TRUE(passwords_.PutPassword({"127.0.0.1:" + std::to_string(port_), "reader", "s3cret"}));
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(EndedFor("/").statusCode, 200);
    EXPECT_EQ(ReadTextFile(Local("/index.html")), "<html>members</html>");
    EXPECT_EQ(EventLog().find("s3cret"), std::string::npos);
}

TEST_F(CrawlRobustnessTest, RedirectedStartSurvivesARequestToStopAllDownloadsOfAnExtension)
{
    const std::string other = "http://localhost:" + std::to_string(port_);
    server_.Get("/", [other](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", other + "/home.htm");
    });
    Page("/home.htm", "<html><body><a href=\"slow.bin\">s</a> <a href=\"next.htm\">n</a></body></html>");
    Page("/next.htm", "<html><body><a href=\"last.htm\">l</a></body></html>");
    Page("/last.htm", "<html></html>");
    server_.Get("/slow.bin", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
            if (release_ || offset > 2000000)
                return false;
            std::this_thread::sleep_for(10ms);
            sink.write(std::string(1000, 'x').data(), 1000);
            return true;
        });
    });
    job_.RestrictLocation = 2;  // the same server as the start
    job_.DownloadOptions.MaxSimultaneousDownloads = 1;
    StartJob();
    ASSERT_TRUE(engine_.WaitFor([&](const TReportRecord& r) {
        return r.type == OUTMSG_DOWNLOAD_PROGRESS && r.url == other + "/slow.bin";
    }));
    int32_t number = 0;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_STARTED))
        if (r.url == other + "/slow.bin")
            number = r.number;
    ASSERT_TRUE(engine_.Input().PostDownloadStopRequest(kJobID, number, INMSG_STOP_EXTENSION_DOWNLOADS));
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_ENDED, 30s));
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_COMPLETED);

    for (const char* page : {"/next.htm", "/last.htm"}) {
        const TReportRecord* ended = nullptr;
        const auto all = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
        for (const TReportRecord& r : all)
            if (r.url == other + page)
                ended = &r;
        ASSERT_NE(ended, nullptr) << page;
        EXPECT_EQ(ended->filtered, 0) << page << " filter code " << int(ended->filterCode);
        EXPECT_EQ(ended->fileWritten, 1) << page;
    }
}

TEST_F(CrawlRobustnessTest, PauseBetweenDownloadsHoldsAcrossParseRounds)
{
    std::mutex lock;
    std::vector<std::chrono::steady_clock::time_point> times;
    auto page = [&](const std::string& path, const std::string& body) {
        server_.Get(path, [&, body](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> guard(lock);
                times.push_back(std::chrono::steady_clock::now());
            }
            res.set_content(body, "text/html");
        });
    };
    // Each page is found only by parsing the one before: every start follows a parse round.
    page("/", "<html><body><a href=\"a.htm\">a</a></body></html>");
    page("/a.htm", "<html><body><a href=\"b.htm\">b</a></body></html>");
    page("/b.htm", "<html></html>");
    job_.PauseBetweenDownloads = 1;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(times.size(), 3u);
    // Starts are a second apart; their requests reach the server after a varying delay (the
    // first also opens the connection), so the bound leaves room for that.
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 500ms) << "between request " << i << " and the one before";
}

TEST_F(CrawlRobustnessTest, DigestSiteIsAnsweredAndCredentialsNeverFollowARedirectElsewhere)
{
    const std::string other = "http://localhost:" + std::to_string(port_);
    std::mutex lock;
    std::vector<std::string> elsewhere;
    server_.Get("/", [other](const httplib::Request& req, httplib::Response& res) {
        const std::string auth = req.get_header_value("Authorization");
        if (auth.rfind("Digest ", 0) != 0 || auth.find("username=\"reader\"") == std::string::npos) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Digest realm=\"site\", nonce=\"abc123\", qop=\"auth\"");
            return;
        }
        res.status = 302;
        res.set_header("Location", other + "/elsewhere.htm");
    });
    server_.Get("/elsewhere.htm", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> guard(lock);
            elsewhere.push_back(req.get_header_value("Host") + " " + req.get_header_value("Authorization"));
        }
        if (!req.has_header("Authorization")) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"harvest\"");
            return;
        }
        res.set_content("<html>got it</html>", "text/html");
    });
    job_.StartingWebAddress.SetFullURL(Url("/"));
    job_.StartingWebAddress.SetUserAndPassword("reader", "s3cret");
    job_.RestrictLocation = 3;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(EndedFor("/").statusCode, 302);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(elsewhere.size(), 1u);  // asked once, not answered, not asked again
    EXPECT_EQ(elsewhere[0], "localhost:" + std::to_string(port_) + " ");
    EXPECT_EQ(EventLog().find("s3cret"), std::string::npos);
}

class StaleCopyTest : public CrawlRobustnessTest, public ::testing::WithParamInterface<int> {};

// The copy on disk from an earlier run links to a page the site no longer has.
TEST_P(StaleCopyTest, ErrorAnswerLeavesTheOldCopyUnparsedAndUntouched)
{
    const int status = GetParam();
    const std::string old = "<html><body><a href=\"old.htm\">old</a></body></html>";
    std::filesystem::create_directories(HostFolder());
    WriteTextFile(Local("/index.html"), old);
    server_.Get("/", [status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content("<html><body><a href=\"error-page.htm\">e</a></body></html>", "text/html");
    });
    Page("/old.htm", "<html></html>");
    job_.DownloadOptions.UpdateOldFiles = true;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(EndedFor("/").statusCode, status);
    EXPECT_EQ(Started("old.htm"), 0);
    EXPECT_EQ(Started("error-page.htm"), 0);
    EXPECT_EQ(ReadTextFile(Local("/index.html")), old);
}

// A page already on disk (from no index of the copy) links to a file that this run is still
// downloading: the page's local links are followed as the server addresses they stand for.
TEST_F(CrawlRobustnessTest, PageOnDiskIsReadWithTheFilesDownloadedBeforeItsTurn)
{
    std::filesystem::create_directories(HostFolder());
    WriteTextFile(Local("/p.htm"), "<html><body><a href=\"q.htm\">q</a></body></html>");
    Page("/", "<html><body><a href=\"p.htm\">p</a><a href=\"q.htm\">q</a></body></html>");
    server_.Get("/q.htm", [](const httplib::Request&, httplib::Response& res) {
        // Long enough for the page on disk to be taken from the disk and offered for reading.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        res.set_content("<html></html>", "text/html");
    });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(EndedFor("/p.htm").filterCode, FILTER_PREVIOUSLY_DOWNLOADED);
    EXPECT_EQ(Requests("/q.htm"), 1);

    std::vector<std::string> linksOfP;
    bool inP = false;
    for (const TReportRecord& r : engine_.Reports()) {
        if (r.type == OUTMSG_READ_STARTED || r.type == OUTMSG_READ_ENDED)
            inP = r.type == OUTMSG_READ_STARTED && r.localFile == Local("/p.htm");
        else if (r.type == OUTMSG_LINK_FOUND && inP)
            linksOfP.push_back(r.url);
    }
    EXPECT_EQ(linksOfP, std::vector<std::string>{Url("/q.htm")});
}

// A download its server holds back does not hold back the rest: the pages fetched meanwhile are
// read and the pages they link to asked for while it is still held. Each page is read after its
// download ended, in one piece.
TEST_F(CrawlRobustnessTest, SlowDownloadDoesNotHoldBackTheRest)
{
    std::atomic<bool> askedWhileHeld{false};
    Page("/", "<html><body><a href=\"slow.htm\">slow</a><a href=\"a.htm\">a</a></body></html>");
    Page("/a.htm", "<html><body><a href=\"b.htm\">b</a></body></html>");
    Page("/b.htm", "<html><body><a href=\"c.htm\">c</a></body></html>");
    // Held until the page two links further has been asked for.
    ServeAfter("/slow.htm", "<html></html>", "/c.htm", "<html></html>", &askedWhileHeld);
    job_.DownloadOptions.Timeout = 60000;  // the held download is not given up first
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_TRUE(askedWhileHeld);
    EXPECT_EQ(Requests("/c.htm"), 1);

    std::map<std::string, size_t> downloaded;  // local file -> index of its download-ended report
    std::string reading;
    const std::vector<TReportRecord> reports = engine_.Reports();
    int pagesRead = 0;
    for (size_t i = 0; i < reports.size(); ++i) {
        const TReportRecord& r = reports[i];
        if (r.type == OUTMSG_DOWNLOAD_ENDED) {
            downloaded.emplace(r.localFile, i);
        } else if (r.type == OUTMSG_READ_STARTED && r.kind == RW_KIND_PARSE) {
            EXPECT_TRUE(reading.empty()) << r.localFile << " read inside " << reading;
            EXPECT_EQ(downloaded.count(r.localFile), 1u) << r.localFile << " read before its download ended";
            reading = r.localFile;
            ++pagesRead;
        } else if (r.type == OUTMSG_READ_ENDED && r.kind == RW_KIND_PARSE) {
            EXPECT_EQ(r.localFile, reading);
            reading.clear();
        }
    }
    EXPECT_EQ(pagesRead, 5);
}

// A page reached first by a long path and then, once a slow page is read, by a shorter one is not
// asked for again: it is read again at its smaller depth, which brings the pages it links to
// within the job's distance.
TEST_F(CrawlRobustnessTest, PageFoundAgainCloserIsReadAgainWithoutARequest)
{
    Page("/", "<html><body><a href=\"slow.htm\">slow</a><a href=\"b.htm\">b</a></body></html>");
    Page("/b.htm", "<html><body><a href=\"c.htm\">c</a></body></html>");
    Page("/c.htm", "<html><body><a href=\"d.htm\">d</a></body></html>");
    Page("/e.htm", "<html></html>");
    ServeAfter("/slow.htm", "<html><body><a href=\"d.htm\">d</a></body></html>", "/d.htm",
               "<html><body><a href=\"e.htm\">e</a></body></html>");
    job_.MaxDistance = 3;
    job_.DownloadOptions.Timeout = 60000;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(Requests("/d.htm"), 1);
    EXPECT_EQ(Requests("/e.htm"), 1);
    EXPECT_TRUE(Exists(Local("/e.htm")));
}

// The same while the page's first download still runs: that download is waited for, and the
// page is read at the smaller depth without a second request.
TEST_F(CrawlRobustnessTest, PageFoundAgainCloserWhileItDownloadsIsAskedForOnce)
{
    Page("/", "<html><body><a href=\"slow.htm\">slow</a><a href=\"b.htm\">b</a></body></html>");
    Page("/b.htm", "<html><body><a href=\"c.htm\">c</a></body></html>");
    Page("/c.htm", "<html><body><a href=\"d.htm\">d</a></body></html>");
    Page("/e.htm", "<html></html>");
    const std::string slowFile = Local("/slow.htm");
    ServeAfter("/slow.htm", "<html><body><a href=\"d.htm\">d</a></body></html>", "/d.htm",
               "<html><body><a href=\"e.htm\">e</a></body></html>", nullptr, [this, slowFile] {
                   engine_.WaitFor(
                       [&](const TReportRecord& r) { return r.type == OUTMSG_READ_ENDED && r.localFile == slowFile; },
                       std::chrono::seconds(30));
               });
    job_.MaxDistance = 3;
    job_.DownloadOptions.Timeout = 60000;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(Requests("/d.htm"), 1);
    EXPECT_EQ(Started("/d.htm"), 1);
    EXPECT_EQ(Requests("/e.htm"), 1);
    EXPECT_TRUE(Exists(Local("/e.htm")));
}

INSTANTIATE_TEST_SUITE_P(ErrorStatuses, StaleCopyTest, ::testing::Values(404, 410, 500, 503));

TEST_F(CrawlRobustnessTest, CopyConfirmedUnchangedIsStillParsed)
{
    std::filesystem::create_directories(HostFolder());
    WriteTextFile(Local("/index.html"), "<html><body><a href=\"kept.htm\">kept</a></body></html>");
    // The index of the copy vouches for the page: its links can be read from disk.
    TCopyIndex index;
    index.Load(temp_ / "site");
    TURL root;
    ASSERT_TRUE(root.SetFullURL(Url("/")));
    index.Record(root, Local("/index.html"), "text/html", "", "", true);
    ASSERT_TRUE(index.Save());
    server_.Get("/", [](const httplib::Request& req, httplib::Response& res) {
        if (req.has_header("If-Modified-Since")) {
            res.status = 304;
            return;
        }
        res.set_content("<html><body>new</body></html>", "text/html");
    });
    Page("/kept.htm", "<html></html>");
    job_.DownloadOptions.UpdateOldFiles = true;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(EndedFor("/").statusCode, 304);
    EXPECT_EQ(Started("/kept.htm"), 1);
}

}  // namespace
