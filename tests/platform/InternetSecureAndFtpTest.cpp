#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "platform/InternetLibrary.h"
#include "platform/InternetSession.h"
#include "platform/NetTestSupport.h"

namespace {

using nettest::ReadAll;

class InternetHttpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        nettest::ClearProxyEnvironment();
        dir_ = temp_.Path();
        ASSERT_TRUE(nettest::MakeCertificate(dir_, cert_, key_));
        server_ = std::make_unique<httplib::SSLServer>(cert_.c_str(), key_.c_str());
        server_->Get("/secure", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("secure " + std::to_string(req.remote_port), "text/plain");
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
    }
    void TearDown() override
    {
        if (thread_.joinable())
            nettest::StopServer(*server_, thread_);
    }

    TInternetRequest Request()
    {
        TInternetRequest request;
        request.Scheme = "https";
        request.Host = "127.0.0.1";
        request.Port = port_;
        request.ObjectName = "/secure";
        return request;
    }

    TInternetLibrary library_;
    TTempFolder temp_;
    std::string dir_, cert_, key_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
};

TEST_F(InternetHttpsTest, UntrustedCertificateFailsAndTrustedOneKeepsItsConnection)
{
    auto session = TInternetSession::Open("TestAgent", {});
    session->SetTimeouts(10000, 0);
    EXPECT_FALSE(session->SendHttpRequest(Request()));
    EXPECT_EQ(errc::InternetSecInvalidCA, GetLastErrorCode());  // self-signed: not trusted

    library_.SetTrustedCertificatesFile(cert_);
    bool ok = false;
    ASSERT_TRUE(session->SendHttpRequest(Request()));
    EXPECT_EQ(200, session->StatusCode());
    const std::string first = ReadAll(*session, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(0u, first.rfind("secure ", 0));
    ASSERT_TRUE(session->SendHttpRequest(Request()));
    EXPECT_EQ(first, ReadAll(*session, ok));
}

TEST_F(InternetHttpsTest, RefusedCertificatesSayWhy)
{
    // The error a session that trusts the server's own certificate gets from it.
    auto errorWith = [this](const std::string& cert, const std::string& key) {
        httplib::SSLServer server(cert.c_str(), key.c_str());
        server.Get("/secure", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
        TInternetRequest request = Request();
        request.Port = server.bind_to_any_port("127.0.0.1");
        std::thread thread([&] { server.listen_after_bind(); });
        library_.SetTrustedCertificatesFile(cert);
        auto session = TInternetSession::Open("TestAgent", {});
        session->SetTimeouts(10000, 0);
        const bool sent = session->SendHttpRequest(request);
        const uint32_t code = GetLastErrorCode();
        nettest::StopServer(server, thread);
        return sent ? errc::Success : code;
    };
    std::string cert, key;
    ASSERT_TRUE(nettest::MakeCertificate(dir_ + "/other", cert, key, "DNS:other.example"));
    EXPECT_EQ(errc::InternetSecCertCnInvalid, errorWith(cert, key));
    ASSERT_TRUE(nettest::MakeExpiredCertificate(dir_ + "/expired", cert, key));
    EXPECT_EQ(errc::InternetSecCertDateInvalid, errorWith(cert, key));
    EXPECT_EQ(errc::InternetDecodingFailed, CertificateError(50));  // another X509 failure
}

std::string Binary(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i % 256);  // CR, LF and NUL bytes survive only a binary transfer
    return s;
}

class InternetFtpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        nettest::ClearProxyEnvironment();
        dir_ = temp_.Path();
        const std::string root = dir_ + "/root";
        std::filesystem::create_directories(root + "/pub");
        WriteTextFile(root + "/pub/data.bin", content_);
        const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, (root + "/pub/data.bin").c_str(), times, 0));
        WriteTextFile(root + "/big.iso", "");
        std::filesystem::resize_file(root + "/big.iso", kBigSize);  // sparse
        server_ = std::make_unique<nettest::TFtpServer>(root, dir_);
        ASSERT_GT(server_->Port(), 0) << "the FTP server did not start";
        session_ = TInternetSession::Open("TestAgent", {});
        session_->SetTimeouts(10000, 0);
    }
    void TearDown() override
    {
        session_.reset();
        server_.reset();
    }

    TFtpRequest Request(const std::string& path, bool passive = true)
    {
        TFtpRequest request;
        request.Host = "127.0.0.1";
        request.Port = server_->Port();
        request.Path = path;
        request.Passive = passive;
        return request;
    }

    static constexpr int64_t kBigSize = 5LL * 1024 * 1024 * 1024;
    TInternetLibrary library_;
    const std::string content_ = Binary(25600);
    TTempFolder temp_;
    std::string dir_;
    std::unique_ptr<nettest::TFtpServer> server_;
    std::unique_ptr<TInternetSession> session_;
};

TEST_F(InternetFtpTest, FindFileGivesSizeAndTimeAndMissingFileIsDistinct)
{
    TFtpFileInfo info;
    ASSERT_TRUE(session_->FtpFindFile(Request("/pub/data.bin"), info));
    EXPECT_EQ(25600, info.Size);
    EXPECT_EQ(1600000000, info.LastWriteTime);
    ASSERT_TRUE(session_->FtpFindFile(Request("/big.iso"), info));
    EXPECT_EQ(kBigSize, info.Size);

    EXPECT_FALSE(session_->FtpFindFile(Request("/pub/missing.bin"), info));
    EXPECT_EQ(errc::NoMoreFiles, GetLastErrorCode());
    EXPECT_EQ(550u, GetLastResponseError());
    EXPECT_EQ(0u, GetLastResponseText().rfind("550 ", 0)) << GetLastResponseText();

    EXPECT_FALSE(session_->FtpOpenFile(Request("/pub/missing.bin")));
    EXPECT_EQ(errc::InternetExtendedError, GetLastErrorCode());
    EXPECT_EQ(550u, GetLastResponseError());
}

TEST_F(InternetFtpTest, BinaryDownloadInPassiveAndActiveMode)
{
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        TFtpFileInfo info;
        ASSERT_TRUE(session_->FtpFindFile(Request("/pub/data.bin", passive), info));
        ASSERT_TRUE(session_->FtpOpenFile(Request("/pub/data.bin", passive)));
        EXPECT_FALSE(session_->IsHttpResponse());
        int64_t length = 0;
        EXPECT_TRUE(session_->QueryContentLength(length));
        EXPECT_EQ(25600, length);
        bool ok = false;
        EXPECT_EQ(content_, ReadAll(*session_, ok));
        EXPECT_TRUE(ok);
    }
}

TEST_F(InternetFtpTest, LoginAndRefusedLogin)
{
    auto request = Request("/pub/data.bin");
    request.Username = "user";
    request.Password = "secret";
    ASSERT_TRUE(session_->FtpOpenFile(request));
    bool ok = false;
    EXPECT_EQ(content_, ReadAll(*session_, ok));

    request.Password = "wrong";
    EXPECT_FALSE(session_->FtpOpenFile(request));
    EXPECT_EQ(errc::InternetExtendedError, GetLastErrorCode());
    EXPECT_EQ(530u, GetLastResponseError());
}

TEST_F(InternetFtpTest, BypassedProxyFetchesFtpDirectly)
{
    TInternetProxy proxy;
    proxy.Use = true;
    proxy.Address = "127.0.0.1";
    proxy.Port = 9;  // never used: the host is bypassed
    proxy.BypassList = "127.0.0.1";
    auto session = TInternetSession::Open("TestAgent", proxy);
    session->SetTimeouts(10000, 0);
    TInternetRequest request;
    request.Scheme = "ftp";
    request.Host = "127.0.0.1";
    request.Port = server_->Port();
    request.ObjectName = "/pub/data.bin";
    ASSERT_TRUE(session->SendHttpRequest(request));
    EXPECT_FALSE(session->IsHttpResponse());
    bool ok = false;
    EXPECT_EQ(content_, ReadAll(*session, ok));
    EXPECT_TRUE(ok);
}

}  // namespace
