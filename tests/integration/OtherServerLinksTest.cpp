// Links to another server (the test server under its other name, localhost): pages the job's
// location refuses are never asked for, the files a page is made of are.
#include "integration/CrawlTestSupport.h"

namespace {

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);

class OtherServerLinksTest : public TCrawlTestBase {
protected:
    void Serve(const std::string& path, const std::string& body, const std::string& type)
    {
        server_.Get(path, [body, type](const httplib::Request&, httplib::Response& res) { res.set_content(body, type); });
    }
    void Redirect(const std::string& path, const std::string& location)
    {
        server_.Get(path, [location](const httplib::Request&, httplib::Response& res) {
            res.status = 301;
            res.set_header("Location", location);
        });
    }
    std::string Other(const std::string& path) const { return "http://localhost:" + std::to_string(port_) + path; }
    // Requests of the path under the other name.
    int AskedElsewhere(const std::string& path)
    {
        int n = 0;
        for (const TRequest& r : Seen()) {
            const auto host = r.headers.find("Host");
            n += r.path == path && host != r.headers.end() && host->second.rfind("localhost:", 0) == 0;
        }
        return n;
    }
    // The end report of an address of the other server.
    TReportRecord EndedElsewhere(const std::string& path)
    {
        for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
            if (r.url == Other(path))
                return r;
        ADD_FAILURE() << "no end report for " << Other(path);
        return {};
    }
    std::string LocalElsewhere(const std::string& path) const
    {
        return temp_ / "site/localhost+" + std::to_string(port_) + path;
    }

    // A start page with every kind of link to the other server, and one of its own server
    // outside its folder that redirects to awayTarget.
    void ServeStartPage(const std::string& awayTarget)
    {
        Serve("/r/index.html",
              "<html><head><link rel=stylesheet href=\"" + Other("/css/site.css") + "\">"
              "<script src=\"" + Other("/js/app.js") + "\"></script>"
              "<meta http-equiv=refresh content=\"30; url=" + Other("/r/refresh.html") + "\"></head><body>"
              "<a href=\"" + Other("/r/page.html") + "\">page</a> <a href=\"" + Other("/r/") + "\">folder</a>"
              "<a href=\"" + Other("/r/moved.html") + "\">moved</a>"
              "<map><area href=\"" + Other("/r/area.html") + "\"></map>"
              "<iframe src=\"" + Other("/r/frame.html") + "\"></iframe>"
              "<img src=\"" + Other("/img/pic.gif") + "\"> <img src=\"" + Other("/img/away.gif") + "\">"
              "<a href=\"" + Other("/files/pack.zip") + "\">zip</a> <a href=\"" + Other("/files/Doc.PDF") + "\">pdf</a>"
              "<a href=\"/go/away.html\">away</a></body></html>",
              "text/html");
        for (const char* page : {"/r/", "/r/page.html", "/r/area.html", "/r/frame.html", "/r/refresh.html"})
            Serve(page, "<html>elsewhere</html>", "text/html");
        Redirect("/r/moved.html", Url("/r/target.html"));
        Serve("/r/target.html", "<html>target</html>", "text/html");
        Serve("/css/site.css", "@import url(more.css); body { background: url(/img/bg.gif) }", "text/css");
        Serve("/css/more.css", "p { color: red }", "text/css");
        Serve("/js/app.js", "var a = 1;", "application/javascript");
        Serve("/img/pic.gif", kGif, "image/gif");
        Serve("/img/bg.gif", kGif, "image/gif");
        // A file of the page that answers with a page on yet another address.
        Redirect("/img/away.gif", Other("/r/shown.html"));
        Serve("/r/shown.html", "<html>shown</html>", "text/html");
        Serve("/files/pack.zip", "PK\x05\x06", "application/zip");
        Serve("/files/Doc.PDF", "%PDF-1.4", "application/pdf");
        Redirect("/go/away.html", awayTarget);
        Serve("/r/redirected.html", "<html>elsewhere</html>", "text/html");
        job_.StartingWebAddress.SetFullURL(Url("/r/index.html"));
    }
};

TEST_F(OtherServerLinksTest, PagesOfAnotherServerAreNotAskedForItsFilesAre)
{
    // A link of the starting server that leads to a page of the other one.
    ServeStartPage(Other("/r/redirected.html"));
    job_.RestrictLocation = 2;
    job_.RestrictLocationOfWebPagesOnly = true;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    // Links, frames and a refresh: refused as before, without a request. A link that would have
    // redirected back to the starting server is one of them.
    for (const char* page : {"/r/", "/r/page.html", "/r/moved.html", "/r/area.html", "/r/frame.html",
                             "/r/refresh.html", "/r/redirected.html"}) {
        EXPECT_EQ(AskedElsewhere(page), 0) << page;
        const TReportRecord ended = EndedElsewhere(page);
        EXPECT_EQ(ended.filterCode, FILTER_LOCATION) << page;
        EXPECT_EQ(ended.fileWritten, 0) << page;
    }
    for (const TRequest& r : Seen())
        EXPECT_NE(r.path, "/r/target.html");
    EXPECT_EQ(EndedFor("/go/away.html").redirect, Other("/r/redirected.html"));

    // The files the page is made of, and links to files that are no pages, are fetched.
    for (const char* file : {"/css/site.css", "/css/more.css", "/img/bg.gif", "/js/app.js", "/img/pic.gif",
                             "/files/pack.zip", "/files/Doc.PDF"}) {
        EXPECT_EQ(AskedElsewhere(file), 1) << file;
        const TReportRecord ended = EndedElsewhere(file);
        EXPECT_EQ(ended.fileWritten, 1) << file;
        EXPECT_TRUE(Exists(ended.localFile)) << file;
    }
    // A file of the page answering with a page elsewhere: asked, and refused on its answer.
    EXPECT_EQ(AskedElsewhere("/img/away.gif"), 1);
    EXPECT_EQ(AskedElsewhere("/r/shown.html"), 1);
    EXPECT_EQ(EndedElsewhere("/r/shown.html").filterCode, FILTER_LOCATION);
    EXPECT_FALSE(Exists(LocalElsewhere("/r/shown.html")));

    // Every address of the other server was reported with a start and an end.
    int started = 0, ended = 0;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_STARTED))
        started += r.url.rfind(Other("/"), 0) == 0;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
        ended += r.url.rfind(Other("/"), 0) == 0;
    EXPECT_EQ(started, 16);
    EXPECT_EQ(ended, 16);
}

// What a link names decides: a page named by a LINK, a form, a citation or a description is
// refused like an A link; icons and preloaded files are fetched like images.
TEST_F(OtherServerLinksTest, EveryLinkNamingAPageIsRefusedWithoutARequest)
{
    Serve("/r/index.html",
          "<html><head><link rel=canonical href=\"" + Other("/r/canonical.html") + "\">"
          "<link rel=\"next\" href=\"" + Other("/r/next.html") + "\">"
          "<link REL=\"Alternate\" hreflang=de href=\"" + Other("/r/de.html") + "\">"
          "<link rel=\"shortcut icon\" href=\"" + Other("/img/pic.gif") + "\">"
          "<link rel=preload as=script href=\"" + Other("/js/app.js") + "\"></head><body>"
          "<form action=\"" + Other("/r/search.html") + "\"></form>"
          "<blockquote cite=\"" + Other("/r/quoted.html") + "\">x</blockquote>"
          "<q cite=\"" + Other("/r/q.html") + "\">y</q><ins cite=\"" + Other("/r/ins.html") + "\">z</ins>"
          "<img src=\"" + Other("/img/bg.gif") + "\" longdesc=\"" + Other("/r/described.html") + "\">"
          "</body></html>",
          "text/html");
    const std::vector<std::string> pages = {"/r/canonical.html", "/r/next.html", "/r/de.html",   "/r/search.html",
                                            "/r/quoted.html",    "/r/q.html",    "/r/ins.html", "/r/described.html"};
    for (const std::string& page : pages)
        Serve(page, "<html>elsewhere</html>", "text/html");
    Serve("/img/pic.gif", kGif, "image/gif");
    Serve("/img/bg.gif", kGif, "image/gif");
    Serve("/js/app.js", "var a = 1;", "application/javascript");
    job_.StartingWebAddress.SetFullURL(Url("/r/index.html"));
    job_.RestrictLocation = 2;
    job_.RestrictLocationOfWebPagesOnly = true;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const std::string& page : pages) {
        EXPECT_EQ(AskedElsewhere(page), 0) << page;
        EXPECT_EQ(EndedElsewhere(page).filterCode, FILTER_LOCATION) << page;
    }
    for (const char* file : {"/img/pic.gif", "/img/bg.gif", "/js/app.js"}) {
        EXPECT_EQ(AskedElsewhere(file), 1) << file;
        EXPECT_EQ(EndedElsewhere(file).fileWritten, 1) << file;
    }
}

// The location rule for every file: nothing of the other server is asked for; a link of the
// starting server outside the start folder that redirects inside is still followed.
TEST_F(OtherServerLinksTest, RuleForEveryFileAsksNothingElsewhere)
{
    ServeStartPage(Url("/r/inside.html"));
    Serve("/r/inside.html", "<html>inside</html>", "text/html");
    job_.RestrictLocation = 1;
    job_.RestrictLocationOfWebPagesOnly = false;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const char* address : {"/css/site.css", "/img/pic.gif", "/files/pack.zip", "/r/page.html"})
        EXPECT_EQ(EndedElsewhere(address).filterCode, FILTER_LOCATION) << address;
    int askedElsewhere = 0;
    for (const char* address : {"/css/site.css", "/css/more.css", "/js/app.js", "/img/pic.gif", "/img/away.gif",
                                "/files/pack.zip", "/r/page.html", "/r/frame.html"})
        askedElsewhere += AskedElsewhere(address);
    EXPECT_EQ(askedElsewhere, 0);
    EXPECT_EQ(EndedFor("/go/away.html").redirect, Url("/r/inside.html"));
    EXPECT_EQ(EndedFor("/r/inside.html").fileWritten, 1);
}

}  // namespace
