// Links outside the job's location that redirect inside it: the target is fetched and the link in
// the copy leads to it.
#include "integration/CrawlTestSupport.h"

namespace {

class RedirectIntoLocationTest : public TCrawlTestBase {
protected:
    void Page(const std::string& path, const std::string& body)
    {
        server_.Get(path, [body](const httplib::Request&, httplib::Response& res) { res.set_content(body, "text/html"); });
    }
    void Redirect(const std::string& path, const std::string& location)
    {
        server_.Get(path, [location](const httplib::Request&, httplib::Response& res) {
            res.status = 301;
            res.set_header("Location", location);
        });
    }
    int Requests(const std::string& path)
    {
        int n = 0;
        for (const TRequest& r : Seen())
            n += r.path == path;
        return n;
    }
    std::string Other(const std::string& path) const { return "http://localhost:" + std::to_string(port_) + path; }
};

// The common redirect between two names of one server: the other name is another server, whose
// pages a job held to its server does not ask for, so the redirect back is never seen.
TEST_F(RedirectIntoLocationTest, OtherNameOfTheServerRedirectingBackIsNotAsked)
{
    Page("/r/index.html", "<html><body><a href=\"" + Other("/r/moved.html") + "\">moved</a>"
                          "<a href=\"" + Other("/r/page.html") + "\">page elsewhere</a></body></html>");
    Redirect("/r/moved.html", Url("/r/target.html"));
    Page("/r/page.html", "<html>elsewhere</html>");
    Page("/r/target.html", "<html><body>target</body></html>");
    job_.StartingWebAddress.SetFullURL(Url("/r/index.html"));
    job_.RestrictLocation = 2;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    int refused = 0;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
        if (r.url == Other("/r/moved.html") || r.url == Other("/r/page.html"))
            refused += r.filterCode == FILTER_LOCATION && r.statusCode == 0 && r.redirect.empty();
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(Requests("/r/moved.html") + Requests("/r/page.html") + Requests("/r/target.html"), 0);
    EXPECT_FALSE(Exists(temp_ / "site/localhost/r/page.html"));
    const std::string index = ReadTextFile(Local("/r/index.html"));
    EXPECT_NE(index.find("href=\"" + Other("/r/moved.html") + "\""), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"" + Other("/r/page.html") + "\""), std::string::npos) << index;
}

// A folder held job: a link to another folder that redirects into the start folder, and a
// redirect loop out of the folder and back that ends.
TEST_F(RedirectIntoLocationTest, OtherFolderRedirectingIntoTheStartFolderIsFollowedAndLoopsEnd)
{
    Page("/docs/index.html", "<html><body><a href=\"/go/next.html\">next</a>"
                             "<a href=\"/go/loop.html\">loop</a><a href=\"/go/other.html\">other</a></body></html>");
    Redirect("/go/next.html", "/docs/next.html");
    Page("/docs/next.html", "<html><body><a href=\"index.html\">back</a></body></html>");
    Redirect("/go/loop.html", Url("/docs/loop.html"));
    Redirect("/docs/loop.html", "/go/loop.html");
    Page("/go/other.html", "<html>other folder</html>");
    job_.StartingWebAddress.SetFullURL(Url("/docs/index.html"));
    job_.RestrictLocation = 1;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(EndedFor("/go/next.html").redirect, Url("/docs/next.html"));
    EXPECT_EQ(EndedFor("/docs/next.html").fileWritten, 1);
    const std::string index = ReadTextFile(Local("/docs/index.html"));
    EXPECT_NE(index.find("href=\"next.html\""), std::string::npos) << index;
    EXPECT_EQ(ReadTextFile(Local("/docs/next.html")), "<html><body><a href=\"index.html\">back</a></body></html>");

    EXPECT_EQ(Requests("/go/loop.html"), 1);
    EXPECT_EQ(Requests("/docs/loop.html"), 1);
    EXPECT_EQ(EndedFor("/go/other.html").filterCode, FILTER_LOCATION);
    EXPECT_FALSE(Exists(Local("/go/other.html")));
}

}  // namespace
