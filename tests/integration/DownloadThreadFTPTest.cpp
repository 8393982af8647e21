#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "DownloadTestSupport.h"
#include "engine/job/Base64.h"
#include "platform/ErrorCodes.h"

namespace {

void SetModified(const std::string& path, time_t utc)
{
    const timespec times[2] = {{utc, 0}, {utc, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

class FtpDownloadTest : public TDownloadTestBase {
protected:
    void SetUp() override
    {
        const std::string root = temp_ / "root";
        std::filesystem::create_directories(root + "/pub");
        WriteTextFile(root + "/pub/data.bin", content_);
        SetModified(root + "/pub/data.bin", kServerTime);
        WriteTextFile(root + "/big.iso", "");
        std::filesystem::resize_file(root + "/big.iso", kBigSize);  // sparse
        server_ = std::make_unique<nettest::TFtpServer>(root, temp_.Path());
        ASSERT_GT(server_->Port(), 0) << "the FTP server did not start";
    }
    void TearDown() override
    {
        worker_.SetNewOptions(options_);
        server_.reset();
    }

    std::string Url(const std::string& path) const { return "ftp://127.0.0.1:" + std::to_string(server_->Port()) + path; }

    static constexpr time_t kServerTime = 1600000000;
    static constexpr int64_t kBigSize = 5LL * 1024 * 1024 * 1024;
    const std::string content_ = BinaryContent(25600);
    std::unique_ptr<nettest::TFtpServer> server_;
};

TEST_F(FtpDownloadTest, FileIsFetchedInPassiveAndActiveModeAndAStalePartIsDropped)
{
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        options_.JobOptions.UsePassiveFTP = passive;
        std::filesystem::remove(LocalName("/pub/data.bin"));
        Put("/pub/data.bin#part", std::string(30000, 'x'));
        const TFileDownloadCompleteData r = Download(Url("/pub/data.bin"));
        ExpectWritten(r);
        EXPECT_EQ(content_, ReadTextFile(LocalName("/pub/data.bin")));
        EXPECT_EQ(25600, worker_.FProgress.FExpectedSize.load());
        EXPECT_EQ(0, worker_.FProgress.FResumeOffset.load());
    }
}

TEST_F(FtpDownloadTest, MissingFileIsFileNotFound)
{
    const TFileDownloadCompleteData r = Download(Url("/pub/missing.bin"));
    EXPECT_EQ(1, r.FStatusValid);
    EXPECT_EQ(550, r.FStatusCode);
    EXPECT_EQ("File Not Found", r.FStatusText);
    EXPECT_EQ(0, r.FErrorCodeValid);
    EXPECT_EQ(0, r.FFileWritten);
    EXPECT_FALSE(std::filesystem::exists(LocalName("/pub/missing.bin")));
}

TEST_F(FtpDownloadTest, UpdateKeepsACopyOfTheSameSizeThatIsNotOlder)
{
    options_.JobOptions.UpdateOldFiles = true;
    const std::string local = LocalName("/pub/data.bin");
    Put("/pub/data.bin", std::string(25600, 'k'));
    SetModified(local, kServerTime + 60);
    TFileDownloadCompleteData r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(FILTER_PREVIOUSLY_DOWNLOADED, r.FFilterCode);
    EXPECT_EQ(std::string(25600, 'k'), ReadTextFile(local));

    SetModified(local, kServerTime - 60);
    r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(1, r.FFileWritten) << "an older copy is fetched again";
    EXPECT_EQ(content_, ReadTextFile(local));
    // The copy takes the server's time, so the next update finds it current.
    struct stat st {};
    ASSERT_EQ(0, ::stat(local.c_str(), &st));
    EXPECT_EQ(kServerTime, st.st_mtime);
    EXPECT_EQ(FILTER_PREVIOUSLY_DOWNLOADED, Download(Url("/pub/data.bin")).FFilterCode);

    Put("/pub/data.bin", std::string(25599, 'k'));
    r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(1, r.FFileWritten) << "a copy of another size is fetched again";
    EXPECT_EQ(content_, ReadTextFile(local));

    options_.JobOptions.UpdateOldFiles = false;
    Put("/pub/data.bin", "short");
    r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(FILTER_PREVIOUSLY_DOWNLOADED, r.FFilterCode);
    EXPECT_EQ("short", ReadTextFile(local));
}

TEST_F(FtpDownloadTest, SizesBeyond4GiBReachTheFilter)
{
    job_.MaxFileSize = 1000000;
    const TFileDownloadCompleteData r = Download(Url("/big.iso"));
    EXPECT_EQ(FILTER_FILE_SIZE, r.FFilterCode);
    EXPECT_EQ(kBigSize, worker_.FProgress.FExpectedSize.load());
    EXPECT_FALSE(std::filesystem::exists(LocalName("/big.iso#part")));
}

TEST_F(FtpDownloadTest, SkipAnswerFetchesNothing)
{
    skip_ = true;
    const TFileDownloadCompleteData r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(FILTER_SKIPPED, r.FFilterCode);
    EXPECT_FALSE(std::filesystem::exists(LocalName("/pub/data.bin")));
}

TEST_F(FtpDownloadTest, GatewayProxyTakesTheDirectRouteWithAWarning)
{
    options_.FTPProxy.UseProxyServer = true;
    options_.FTPProxy.Address = "FTP://127.0.0.1";
    options_.FTPProxy.Port = 9;  // never reached
    const TFileDownloadCompleteData r = Download(Url("/pub/data.bin"));
    EXPECT_EQ(1, r.FFileWritten);
    EXPECT_EQ(content_, ReadTextFile(LocalName("/pub/data.bin")));
    EXPECT_NE(std::string::npos, EventLogText().find("FTP gateway proxy FTP://127.0.0.1"));
}

// FTP addresses fetched by an HTTP proxy (scripted here).
class FtpProxyDownloadTest : public TDownloadTestBase {
protected:
    TFileDownloadCompleteData DownloadVia(nettest::TRawServer& proxy, const std::string& user)
    {
        options_.FTPProxy.UseProxyServer = true;
        options_.FTPProxy.Address = "127.0.0.1";
        options_.FTPProxy.Port = proxy.Port();
        options_.FTPProxy.Username = user;
        options_.FTPProxy.Password = "proxy-pw";
        return Download("ftp://files.example:2121/pub/file.txt");
    }
    const std::string local_ = LocalName("/pub/file.txt");
};

TEST_F(FtpProxyDownloadTest, ProxyAuthenticationIsAnsweredOnce)
{
    nettest::TRawServer proxy({"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
                               "Content-Length: 6\r\n\r\ndenied",
                               "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nvia proxy"});
    const TFileDownloadCompleteData r = DownloadVia(proxy, "proxy-user");
    EXPECT_EQ(200, r.FStatusCode);
    EXPECT_EQ(1, r.FFileWritten);
    EXPECT_EQ("via proxy", ReadTextFile(local_));
    const auto requests = proxy.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[0].rfind("GET ftp://files.example:2121/pub/file.txt HTTP/1.1\r\n", 0)) << requests[0];
    EXPECT_EQ(std::string::npos, requests[0].find("Proxy-Authorization"));
    EXPECT_NE(std::string::npos, requests[1].find("Proxy-Authorization: Basic " + StrToBase64("proxy-user:proxy-pw")));
}

TEST_F(FtpProxyDownloadTest, ProxyErrorsNeverReplaceAGoodCopy)
{
    options_.JobOptions.UpdateOldFiles = true;
    std::filesystem::create_directories(std::filesystem::path(local_).parent_path());
    WriteTextFile(local_, "good");
    struct TCase {
        std::string reply;
        std::string user;
        int32_t status;
        size_t requests;
    };
    for (const TCase& c : {TCase{"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n", "", 407, 1},
                           TCase{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", "", 404, 1},
                           // A 407 that offers no scheme has no challenge to answer.
                           TCase{"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n", "u", 407, 1}}) {
        SCOPED_TRACE(c.status);
        nettest::TRawServer proxy({c.reply});
        const TFileDownloadCompleteData r = DownloadVia(proxy, c.user);
        EXPECT_EQ(c.status, r.FStatusCode);
        EXPECT_EQ(0, r.FFileWritten);
        EXPECT_EQ(c.requests, proxy.Requests().size());
        EXPECT_EQ("good", ReadTextFile(local_));
        EXPECT_FALSE(std::filesystem::exists(local_ + "#part"));
    }
}

}  // namespace
