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

}  // namespace
