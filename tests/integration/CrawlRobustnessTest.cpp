// Jobs against awkward destinations, redirects, credentials and error answers.
#include "integration/CrawlTestSupport.h"

#include <chrono>

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

class StaleCopyTest : public CrawlRobustnessTest, public ::testing::WithParamInterface<int> {};

// The copy on disk from an earlier run links to a page the site no longer has.
TEST_P(StaleCopyTest, ErrorAnswerLeavesTheOldCopyUnparsedAndUntouched)
{
    const int status = GetParam();
    const std::string old = "<html><body><a href=\"old.htm\">old</a></body></html>";
    std::filesystem::create_directories(temp_ / "site/127.0.0.1");
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

INSTANTIATE_TEST_SUITE_P(ErrorStatuses, StaleCopyTest, ::testing::Values(404, 410, 500, 503));

TEST_F(CrawlRobustnessTest, CopyConfirmedUnchangedIsStillParsed)
{
    std::filesystem::create_directories(temp_ / "site/127.0.0.1");
    WriteTextFile(Local("/index.html"), "<html><body><a href=\"kept.htm\">kept</a></body></html>");
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
