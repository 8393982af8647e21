// Whole jobs run by the crawl thread against a local web server.
#include "integration/CrawlTestSupport.h"

#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono_literals;

class CrawlJobTest : public TCrawlTestBase {};

class StartRedirectTest : public TCrawlTestBase, public ::testing::WithParamInterface<int> {};

TEST_P(StartRedirectTest, RedirectedStartAddressIsFetchedAndBecomesTheStartPage)
{
    const int status = GetParam();
    server_.Get("/", [status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_header("Location", "docs/home.htm");  // relative to the address
    });
    server_.Get("/docs/home.htm", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>home</body></html>", "text/html");
    });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const TReportRecord redirect = EndedFor("/");
    EXPECT_EQ(redirect.statusCode, status);
    EXPECT_EQ(redirect.redirect, Url("/docs/home.htm"));
    EXPECT_EQ(redirect.redirectAdded, 1);
    EXPECT_EQ(redirect.fileWritten, 0);
    EXPECT_EQ(EndedFor("/docs/home.htm").fileWritten, 1);
    EXPECT_EQ(ReadTextFile(Local("/docs/home.htm")), "<html><body>home</body></html>");
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].startPage, Local("/docs/home.htm"));
}

INSTANTIATE_TEST_SUITE_P(EveryRedirectStatus, StartRedirectTest, ::testing::Values(301, 302, 303, 307, 308));

TEST_F(CrawlJobTest, JobCookiesAreSentOnlyWhenCookiesAreAllowed)
{
    server_.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
    job_.DownloadOptions.Cookies.Cookies[0] = {Url("/"), "session", "abc123"};
    job_.DownloadOptions.Cookies.Count = 1;

    job_.DownloadOptions.AllowCookies = false;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    job_.DownloadOptions.AllowCookies = true;
    job_.DownloadOptions.UpdateOldFiles = true;
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2));

    std::vector<std::string> cookies;
    for (const TRequest& r : Seen())
        cookies.push_back(r.headers.count("Cookie") ? r.headers.find("Cookie")->second : "");
    ASSERT_GE(cookies.size(), 2u);
    EXPECT_EQ(cookies.front(), "");
    EXPECT_NE(cookies.back().find("session=abc123"), std::string::npos);
}

TEST_F(CrawlJobTest, SiteCredentialsAreSentButNeverReported)
{
    server_.Get("/private.htm", [](const httplib::Request& req, httplib::Response& res) {
        // "reader:s3cret" in Base64.
        if (req.get_header_value("Authorization") != "Basic cmVhZGVyOnMzY3JldA==") {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
            return;
        }
        res.set_content("<html>members</html>", "text/html");
    });
    job_.StartingWebAddress.SetFullURL(Url("/private.htm"));
    job_.StartingWebAddress.SetUserAndPassword("reader", "s3cret");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(ReadTextFile(Local("/private.htm")), "<html>members</html>");
    for (const TReportRecord& r : engine_.Reports())
        EXPECT_EQ(r.url.find("s3cret"), std::string::npos) << r.url;
    EXPECT_EQ(EventLog().find("s3cret"), std::string::npos);
}

TEST_F(CrawlJobTest, AServerThatNeverAnswersTimesOutAndTheJobCompletes)
{
    nettest::TSilentListener silent;
    job_.StartingWebAddress.SetFullURL("http://127.0.0.1:" + std::to_string(silent.Port()) + "/");
    job_.DownloadOptions.Timeout = 400;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s);

    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].errorCodeValid, 1);
    EXPECT_EQ(ended[0].errorCode, 12002);
    EXPECT_EQ(ended[0].fileWritten, 0);
}

TEST_F(CrawlJobTest, CancelEndsAJobWaitingForASilentServerAtOnce)
{
    nettest::TSilentListener silent;
    job_.StartingWebAddress.SetFullURL("http://127.0.0.1:" + std::to_string(silent.Port()) + "/");
    job_.DownloadOptions.Timeout = 60000;
    StartJob();
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_DOWNLOAD_STARTED));
    const auto begin = std::chrono::steady_clock::now();
    engine_.Input().PostAbortJob(kJobID);
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_ENDED, 20s));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_CANCELLED);
    EXPECT_EQ(engine_.OfType(OUTMSG_DOWNLOAD_ENDED)[0].result, DL_RESULT_JOB_CANCELLED);
}

TEST_F(CrawlJobTest, PauseResumeAndStopDuringADownload)
{
    server_.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/html", [this](size_t offset, httplib::DataSink& sink) {
            if (release_ || offset > 200000)
                return false;
            std::this_thread::sleep_for(20ms);
            sink.write(std::string(1000, 'x').data(), 1000);
            return true;
        });
    });
    StartJob();
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_DOWNLOAD_PROGRESS)) << EventLog();
    engine_.Input().PostPauseJob(kJobID);
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_PAUSED));
    engine_.Input().PostResumeJob(kJobID);
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_RESUMED));
    engine_.Input().PostStopJob(kJobID);
    ASSERT_TRUE(engine_.WaitForType(OUTMSG_JOB_ENDED, 20s));

    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].resultCode, JOB_END_STOPPED);
    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].result, DL_RESULT_CANCELLED);
    EXPECT_EQ(ended[0].fileWritten, 0);
    // The unfinished body stays for a later Range request; nothing was moved into place.
    EXPECT_FALSE(Exists(Local("/index.html")));
}

TEST_F(CrawlJobTest, RefusedStartAddressEndsTheJobNormally)
{
    // (Its own scheme is always allowed; the file count still applies to it.)
    job_.MaxFileCount = 0;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].filtered, 1);
    EXPECT_EQ(ended[0].filterCode, FILTER_FILE_COUNT);
    EXPECT_TRUE(Seen().empty());
    std::vector<uint8_t> types;
    for (const TReportRecord& r : engine_.Reports())
        types.push_back(r.type);
    EXPECT_EQ(types, (std::vector<uint8_t>{OUTMSG_JOB_STARTED, OUTMSG_DOWNLOAD_STARTED, OUTMSG_DOWNLOAD_ENDED,
                                           OUTMSG_JOB_ENDED}));
}

}  // namespace

namespace {

TEST_F(CrawlJobTest, SecureSiteIsCopiedOverHttps)
{
    std::string cert, key;
    ASSERT_TRUE(nettest::MakeCertificate(temp_.Path(), cert, key));
    httplib::SSLServer secure(cert.c_str(), key.c_str());
    secure.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>secure</body></html>", "text/html");
    });
    const int port = secure.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { secure.listen_after_bind(); });
    library_.SetTrustedCertificatesFile(cert);
    job_.DownloadHTTPS = true;
    job_.StartingWebAddress.SetFullURL("https://127.0.0.1:" + std::to_string(port) + "/");
    const int32_t code = RunJob();
    dispatcher_.reset();  // closes the kept-alive connection before the server stops
    nettest::StopServer(secure, thread);

    ASSERT_EQ(code, JOB_END_COMPLETED);
    EXPECT_EQ(engine_.OfType(OUTMSG_DOWNLOAD_ENDED)[0].statusCode, 200);
    EXPECT_EQ(ReadTextFile(Local("/index.html", port)), "<html><body>secure</body></html>");
}

}  // namespace
