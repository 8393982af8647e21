#pragma once
// A download worker driven the way the dispatcher drives it, with the services it needs, over
// temp folders; local file names are the address path under the destination folder.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "engine/crawl/DownloadThread.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/crawl/PartRecord.h"
#include "engine/services/WorkingFiles.h"
#include "engine/job/JobTypes.h"
#include "engine/job/PasswordMgr.h"
#include "platform/InternetLibrary.h"
#include "platform/NetTestSupport.h"

// Bytes of every value, CR, LF and NUL included.
inline std::string BinaryContent(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7) % 251);
    return s;
}

class TDownloadTestBase : public ::testing::Test {
protected:
    TDownloadTestBase() : log_({"/eventlog"}, false, temp_.Slash())
    {
        nettest::ClearProxyEnvironment();
        job_.Clear();
        job_.SetDestinationFolder(Destination());
        job_.MaxDistance = -1;
        job_.RestrictLocation = 3;
        job_.DownloadFTP = true;
        job_.DownloadHTTPS = true;
        options_.HTTPProxy.UseProxyServer = false;
        options_.FTPProxy.UseProxyServer = false;
        options_.JobOptions.Timeout = 10000;
        options_.JobOptions.ConnectRetries = 0;
        worker_.SetStateNotifier([this] {
            std::lock_guard<std::mutex> guard(lock_);
            changed_.notify_all();
        });
        worker_.Resume();
    }

    std::string Destination() const { return temp_ / "site"; }
    std::string LocalName(const std::string& path) const { return Destination() + path; }

    // Runs one download to its end. name answers the request for a local file name (by default
    // the address path under the destination); nameAsked tells whether it was asked.
    TFileDownloadCompleteData Download(const std::string& address, std::function<void()> whileRunning = nullptr)
    {
        filter_.LoadJob(job_, true, true);
        worker_.SetNewOptions(options_);
        TURL url, referrer;
        EXPECT_TRUE(url.SetFullURL(address)) << address;
        if (!referrer_.empty())
            referrer.SetFullURL(referrer_);
        nameAsked_ = false;
        worker_.AssignDownload(url, referrer, depth_);
        bool runningSeen = false;
        for (;;) {
            const uint8_t state = WaitForState(
                [&](uint8_t s) { return s == DL_WAITING_FOR_NAME || s == DL_FINISHED || (s == DL_RUNNING && !runningSeen); });
            if (state == DL_FINISHED || state == 0xFF)
                break;
            if (state == DL_WAITING_FOR_NAME) {
                nameAsked_ = true;
                runningSeen = false;
                if (answerName_)
                    answerName_();
                else
                    worker_.SetDownloadFilename(LocalName(url.GetURLPath()), skip_);
            } else {
                runningSeen = true;
                if (whileRunning)
                    whileRunning();
            }
        }
        TFileDownloadCompleteData results = worker_.GetResults();
        worker_.SetIdle();
        return results;
    }

    // Waits (at most 20 s) for a state the predicate accepts; 0xFF when it never came.
    template <class Predicate>
    uint8_t WaitForState(Predicate accept)
    {
        std::unique_lock<std::mutex> lock(lock_);
        uint8_t state = 0xFF;
        const bool seen = changed_.wait_for(lock, std::chrono::seconds(20), [&] {
            state = worker_.FState.load();
            return accept(state);
        });
        EXPECT_TRUE(seen) << "the worker did not reach the state awaited; it is in " << int(state);
        return seen ? state : 0xFF;
    }

    // What every download that wrote its file reports.
    void ExpectWritten(const TFileDownloadCompleteData& r) const
    {
        EXPECT_TRUE(nameAsked_);
        EXPECT_EQ(FILTER_ACCEPTED, r.FFilterCode);
        EXPECT_EQ(1, r.FFileWritten);
        EXPECT_EQ(200, r.FStatusCode);
        EXPECT_EQ("OK", r.FStatusText);
        EXPECT_EQ(0, r.FErrorCodeValid);
        EXPECT_FALSE(std::filesystem::exists(PartFileName(r.FLocalFileName)));
        EXPECT_FALSE(std::filesystem::exists(PartRecordName(r.FLocalFileName)));
    }

    // Writes a file under the destination folder, creating its folders.
    void Put(const std::string& path, const std::string& content)
    {
        std::filesystem::create_directories(std::filesystem::path(LocalName(path)).parent_path());
        WriteTextFile(LocalName(path), content);
    }

    // An unfinished body of the address path, of the version record names.
    void PutPart(const std::string& path, const std::string& content, const TPartRecord& record)
    {
        Put(path + "#part", content);
        ASSERT_TRUE(WritePartRecord(LocalName(path), record));
    }

    std::string EventLogText() const { return ReadTextFile(log_.FilePath()); }

    TTempFolder temp_;
    TApplicationTraceLog log_;
    TInternetLibrary library_;
    TPasswordManager passwords_;
    TDownloadFilter filter_;
    TCopyJob job_;
    TDownloadOptions options_;
    std::string referrer_;
    int32_t depth_ = 0;
    bool skip_ = false;
    bool nameAsked_ = false;
    std::function<void()> answerName_;
    std::mutex lock_;
    std::condition_variable changed_;
    TFileDownloadThread worker_;  // last: it ends before the services it uses
};
