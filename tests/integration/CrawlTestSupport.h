#pragma once
// A whole engine in the test process: the services as the program creates them, the crawl thread
// with the program's four download threads, and a web server on 127.0.0.1 that records what it
// was asked.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/EngineReports.h"
#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/job/JobTypes.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/PasswordMgr.h"
#include "engine/crawl/SpiderThread.h"
#include "platform/InternetLibrary.h"
#include "platform/NetTestSupport.h"


class TCrawlTestBase : public ::testing::Test {
protected:
    struct TRequest {
        std::string path;
        httplib::Headers headers;
    };

    TCrawlTestBase() : log_({"/eventlog"}, false, temp_.Slash())
    {
        nettest::ClearProxyEnvironment();
        job_.Clear();
        job_.SetDestinationFolder(temp_ / "site");
        job_.AssumeWWWWhenNoThirdLevelDomain = false;
        job_.FlattenDestinationFolders = false;
        job_.PruneFolders = false;
        job_.RewriteLinks = true;
        job_.RestrictLocation = 2;
        job_.MaxDistance = -1;
        job_.DownloadOptions.Timeout = 10000;
        job_.DownloadOptions.ConnectRetries = 0;
        server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> guard(seenLock_);
            seen_.push_back({req.path, req.headers});
            return httplib::Server::HandlerResponse::Unhandled;
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        serverThread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~TCrawlTestBase() override { StopServing(); }

    // Ends the crawl and the test server once. A test whose handlers use members of its own
    // calls it before those members go.
    void StopServing()
    {
        if (stopped_)
            return;
        stopped_ = true;
        crawler_.Terminate();
        crawler_.WaitFor();
        dispatcher_.reset();  // its threads close their kept-alive connections
        release_ = true;
        nettest::StopServer(server_, serverThread_);
    }

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    // The folder of a server on 127.0.0.1 in the copy (the test server's by default); a port
    // that is not the scheme's default is part of its name.
    std::string HostFolder(int port = 0) const
    {
        return temp_ / "site/127.0.0.1+" + std::to_string(port ? port : port_);
    }
    // The local file of a path of the test server (or of the server on port).
    std::string Local(const std::string& path, int port = 0) const { return HostFolder(port) + path; }

    // Runs the job from start to end; its end code (0 when it never ended).
    int32_t RunJob()
    {
        StartJob();
        if (!engine_.WaitForType(OUTMSG_JOB_ENDED, std::chrono::seconds(60)))
            return 0;
        return engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode;
    }
    // Sends the start command; the job starts at the server's root unless told otherwise.
    void StartJob()
    {
        if (!job_.StartingWebAddress.IsValid())
            job_.StartingWebAddress.SetFullURL(Url("/"));
        TSpiderInputMsg start;
        start.FMsgType = INMSG_START_JOB;
        start.FJobID = kJobID;
        start.FJob.Assign(job_);
        start.FHTTPProxy.UseProxyServer = false;
        start.FFTPProxy.UseProxyServer = false;
        ASSERT_TRUE(engine_.Input().PushMessage(start));
        if (!crawler_.Started())
            crawler_.Resume();
    }

    std::vector<TRequest> Seen()
    {
        std::lock_guard<std::mutex> guard(seenLock_);
        return seen_;
    }
    // The end report of the download of a path.
    TReportRecord EndedFor(const std::string& path)
    {
        for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
            if (r.url == Url(path))
                return r;
        ADD_FAILURE() << "no end report for " << path;
        return {};
    }
    std::string EventLog() const { return ReadTextFile(log_.FilePath()); }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    static constexpr int32_t kJobID = 11;

    TTempFolder temp_;
    TApplicationTraceLog log_;
    TInternetLibrary library_;
    TPasswordManager passwords_;
    TEngineReports engine_;
    THTMLParser htmlParser_;
    TCSSParser cssParser_;
    TLinkParser linkParser_;
    TURLToFilenameMapper mapper_;
    TReadWriteOutputMessenger messenger_;
    std::unique_ptr<TDownloadThreadDispacher> dispatcher_ = std::make_unique<TDownloadThreadDispacher>();
    TSpiderThread crawler_;
    TCopyJob job_;
    httplib::Server server_;
    std::thread serverThread_;
    int port_ = 0;
    std::atomic<bool> release_{false};  // ends slow answers
    bool stopped_ = false;
    std::mutex seenLock_;
    std::vector<TRequest> seen_;
};
