// Whole sites copied by the crawl thread: links followed, filtered and rewritten for offline use.
#include "integration/CrawlTestSupport.h"

#include <functional>
#include <regex>

namespace {

using namespace std::chrono_literals;

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);

class CrawlSiteTest : public TCrawlTestBase {
protected:
    void Page(const std::string& path, const std::string& body)
    {
        server_.Get(path, [body](const httplib::Request&, httplib::Response& res) { res.set_content(body, "text/html"); });
    }
    void Image(const std::string& path)
    {
        server_.Get(path, [](const httplib::Request&, httplib::Response& res) { res.set_content(kGif, "image/gif"); });
    }

    // The site: pages in two folders, a style sheet, images, a missing page and a link elsewhere.
    void ServeSite()
    {
        Page("/", "<html><head><link rel=stylesheet href=\"css/site.css\"></head><body>"
                  "<a href='a.htm'>a</a> <a href=sub/b.htm>b</a> <a href=\"a.htm#part\">part</a>"
                  "<img src=\"/img/logo.gif\"> <a href=\"" + Url("/sub/b.htm") + "\">abs</a>"
                  "<a href=\"http://127.0.0.2:" + std::to_string(port_) + "/x.htm\">elsewhere</a>"
                  "<a href=\"mailto:someone@example.com\">mail</a></body></html>");
        Page("/a.htm", "<html><body><a href=\"sub/b.htm\">b</a><img src=img/logo.gif></body></html>");
        Page("/sub/b.htm", "<html><body><a href=\"../a.htm\">a</a><img src=\"../img/logo.gif\">"
                           "<a href=\"missing.htm\">gone</a></body></html>");
        server_.Get("/css/site.css", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("body { background: url(../img/bg.gif) } h1 { background: url(\"/img/logo.gif\") }",
                            "text/css");
        });
        Image("/img/logo.gif");
        Image("/img/bg.gif");
    }

    // Every link value of the saved pages and style sheets: each must name an existing local
    // file or be an absolute address.
    void ExpectEveryLinkWorksOffline()
    {
        static const std::regex html("(?:href|src)=\"([^\"]*)\"", std::regex::icase);
        static const std::regex css("url\\(\"?([^\")]*)\"?\\)");
        int checked = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_ / "site")) {
            const std::string file = entry.path().string();
            const bool isCss = file.size() > 4 && file.substr(file.size() - 4) == ".css";
            if (!isCss && file.find(".htm") == std::string::npos)
                continue;
            const std::string text = ReadTextFile(file);
            for (std::sregex_iterator it(text.begin(), text.end(), isCss ? css : html), end; it != end; ++it) {
                std::string value = (*it)[1];
                ++checked;
                if (value.rfind("http://", 0) == 0 || value.rfind("mailto:", 0) == 0)
                    continue;
                value = value.substr(0, value.find('#'));
                const std::filesystem::path target = entry.path().parent_path() / value;
                EXPECT_TRUE(Exists(target.string())) << file << " -> " << (*it)[1];
            }
        }
        EXPECT_GT(checked, 10);
    }
};

TEST_F(CrawlSiteTest, WholeSiteIsCopiedAndEveryLinkRewrittenToALocalFile)
{
    ServeSite();
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const char* path : {"/index.html", "/a.htm", "/sub/b.htm", "/css/site.css", "/img/logo.gif", "/img/bg.gif"})
        EXPECT_TRUE(Exists(Local(path))) << path;
    const std::string index = ReadTextFile(Local("/index.html"));
    EXPECT_NE(index.find("href=\"a.htm\""), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"sub/b.htm\""), std::string::npos);
    EXPECT_NE(index.find("href=\"a.htm#part\""), std::string::npos);
    EXPECT_NE(index.find("src=\"img/logo.gif\""), std::string::npos);
    EXPECT_NE(index.find("href=\"css/site.css\""), std::string::npos);
    EXPECT_NE(index.find("href=\"mailto:someone@example.com\""), std::string::npos);
    // Not fetched: written as the absolute address.
    EXPECT_NE(index.find("href=\"http://127.0.0.2:" + std::to_string(port_) + "/x.htm\""), std::string::npos);
    const std::string b = ReadTextFile(Local("/sub/b.htm"));
    EXPECT_NE(b.find("href=\"../a.htm\""), std::string::npos) << b;
    EXPECT_NE(b.find("href=\"" + Url("/sub/missing.htm") + "\""), std::string::npos) << b;
    EXPECT_NE(ReadTextFile(Local("/css/site.css")).find("url(\"../img/logo.gif\")"), std::string::npos);
    ExpectEveryLinkWorksOffline();
    EXPECT_EQ(EndedFor("/sub/missing.htm").statusCode, 404);
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].startPage, Local("/index.html"));
}

TEST_F(CrawlSiteTest, StopStillRewritesTheLinksOfThePagesFetched)
{
    Page("/a.htm", "<html><body>a</body></html>");
    server_.Get("/slow.htm", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/html", [this](size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(20ms);
            sink.write("<p>", 3);
            return !release_;
        });
    });
    Page("/", "<html><body><a href=\"a.htm\">a</a><a href=\"slow.htm\">slow</a></body></html>");
    StartJob();
    ASSERT_TRUE(engine_.WaitFor([&](const TReportRecord& r) {
        return r.type == OUTMSG_DOWNLOAD_PROGRESS && r.url == Url("/slow.htm");
    }));
    engine_.WaitFor([&](const TReportRecord& r) { return r.type == OUTMSG_DOWNLOAD_ENDED && r.url == Url("/a.htm"); });
    engine_.Input().PostStopJob(kJobID);
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_ENDED, 20s));

    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_STOPPED);
    const std::string index = ReadTextFile(Local("/index.html"));
    EXPECT_NE(index.find("href=\"a.htm\""), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"" + Url("/slow.htm") + "\""), std::string::npos) << index;
}

TEST_F(CrawlSiteTest, SimultaneousDownloadsAtTheServerFollowTheJob)
{
    std::string links;
    for (int i = 0; i < 8; ++i)
        links += "<img src=\"p" + std::to_string(i) + ".gif\">";
    Page("/", "<html><body>" + links + "</body></html>");
    std::atomic<int> active{0};
    std::atomic<int> most{0};
    server_.Get(R"(/p\d\.gif)", [&](const httplib::Request&, httplib::Response& res) {
        const int now = ++active;
        int seen = most;
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(150ms);
        --active;
        res.set_content(kGif, "image/gif");
    });

    job_.DownloadOptions.MaxSimultaneousDownloads = 1;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(most, 1);

    most = 0;
    std::filesystem::remove_all(temp_ / "site");
    job_.DownloadOptions.MaxSimultaneousDownloads = 4;
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2));
    EXPECT_EQ(most, 4);
}

TEST_F(CrawlSiteTest, TwoAddressesOfOneFileAreWrittenOnce)
{
    Page("/", "<html><body><a href=\"dup\">one</a><a href=\"dup.htm\">two</a></body></html>");
    server_.Get("/dup", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/html", [](size_t offset, httplib::DataSink& sink) {
            std::this_thread::sleep_for(50ms);
            sink.write("<p>first</p>", 12);
            if (offset >= 100)
                sink.done();
            return true;
        });
    });
    server_.Get("/dup.htm", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(100ms);  // asks for its name after the first
        res.set_content("<p>second</p>", "text/html");
    });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const TReportRecord second = EndedFor("/dup.htm");
    EXPECT_EQ(second.filtered, 1);
    EXPECT_EQ(second.filterCode, FILTER_SKIPPED);
    EXPECT_EQ(EndedFor("/dup").fileWritten, 1);
    EXPECT_NE(ReadTextFile(Local("/dup.htm")).find("first"), std::string::npos);
}

TEST_F(CrawlSiteTest, PagesOnDiskAreNotFetchedAgainButStillParsed)
{
    ServeSite();
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const size_t firstRequests = Seen().size();
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2));

    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    int onDisk = 0;
    for (size_t i = ended.size() / 2; i < ended.size(); ++i)
        onDisk += ended[i].filterCode == FILTER_PREVIOUSLY_DOWNLOADED;
    // Every file of the first run is found again through the links of the pages on disk.
    EXPECT_EQ(onDisk, 6);
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[1].resultCode, JOB_END_COMPLETED);
    EXPECT_GT(Seen().size(), firstRequests);  // one request each, no body written
    ExpectEveryLinkWorksOffline();
}

struct TFilterCase {
    const char* name;
    std::function<void(TCopyJob&)> setUp;
    const char* path;
    uint8_t code;
};

class CrawlFilterTest : public CrawlSiteTest, public ::testing::WithParamInterface<TFilterCase> {};

TEST_P(CrawlFilterTest, RefusedAddressIsReportedWithItsCode)
{
    Page("/docs/", "<html><body><a href=\"page.htm\">p</a><img src=\"pic.gif\"><a href=\"q.htm?x=1\">q</a>"
                   "<a href=\"/other/o.htm\">o</a><a href=\"deep.htm\">d</a><img src=\"big.gif\"></body></html>");
    Page("/docs/page.htm", "<html><body><a href=\"../docs/deeper.htm\">deeper</a></body></html>");
    Page("/docs/q.htm", "<html>q</html>");
    Page("/other/o.htm", "<html>o</html>");
    Page("/docs/deep.htm", "<html>d</html>");
    Page("/docs/deeper.htm", "<html>dd</html>");
    Image("/docs/pic.gif");
    server_.Get("/docs/big.gif", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(50000, 'b'), "image/gif");
    });
    job_.StartingWebAddress.SetFullURL(Url("/docs/"));
    job_.SaveQueryResults = true;
    GetParam().setUp(job_);
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const TReportRecord r = EndedFor(GetParam().path);
    EXPECT_EQ(r.filtered, 1);
    EXPECT_EQ(r.filterCode, GetParam().code);
    EXPECT_EQ(r.fileWritten, 0);
    EXPECT_FALSE(Exists(Local(GetParam().path)));
}

INSTANTIATE_TEST_SUITE_P(
    FilterCodes, CrawlFilterTest,
    ::testing::Values(
        TFilterCase{"Location", [](TCopyJob& j) { j.RestrictLocation = 1; }, "/other/o.htm", FILTER_LOCATION},
        TFilterCase{"Depth", [](TCopyJob& j) { j.MaxDistance = 1; }, "/docs/deeper.htm", FILTER_DEPTH},
        TFilterCase{"Address", [](TCopyJob& j) { j.AddressStrings = "deep"; j.AddressStringsPurpose = 2; },
                    "/docs/deep.htm", FILTER_ADDRESS},
        TFilterCase{"Host", [](TCopyJob& j) { j.Hosts = "example.org"; j.HostsPurpose = 1; }, "/docs/page.htm",
                    FILTER_HOST},
        TFilterCase{"FileSize", [](TCopyJob& j) { j.MaxFileSize = 10000; }, "/docs/big.gif", FILTER_FILE_SIZE},
        TFilterCase{"Extension", [](TCopyJob& j) { j.Extensions = ".gif"; j.ExtensionsPurpose = 2; },
                    "/docs/pic.gif", FILTER_EXTENSION},
        TFilterCase{"MimeType", [](TCopyJob& j) { j.Types = "image/gif"; j.TypesPurpose = 2; }, "/docs/pic.gif",
                    FILTER_MIME_TYPE},
        TFilterCase{"Query", [](TCopyJob& j) { j.SaveQueryResults = false; }, "/docs/q.htm?x=1", FILTER_QUERY},
        TFilterCase{"FileCount", [](TCopyJob& j) { j.MaxFileCount = 1; }, "/docs/page.htm", FILTER_FILE_COUNT},
        TFilterCase{"JobSize", [](TCopyJob& j) { j.MaxJobDownloadSize = 20000; }, "/docs/big.gif", FILTER_JOB_SIZE},
        TFilterCase{"JobTime", [](TCopyJob& j) { j.MaxSecondsForAllDownloads = 0; }, "/docs/", FILTER_JOB_TIME}),
    [](const ::testing::TestParamInfo<TFilterCase>& info) { return std::string(info.param.name); });

}  // namespace
