#pragma once
// A download thread without a network: each address follows a scripted behaviour, chosen by its
// path, through the same hand-off states as a real download thread.
#include "engine/crawl/DownloadWorker.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/job/SpiderDestObject.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TFakeBehaviour {
    enum TKind {
        Write,           // asks for its name and writes the file after dwellMs
        Redirect,        // answers with a redirect to target (relative to the address)
        Refuse,          // refused before the request with filterCode
        RefuseAfterName, // asks for its name, then ends with filterCode (14: already on disk)
        UntilCancelled,  // writes until cancelled
        IgnoresCancel,   // writes until the script releases it, whatever the dispatcher asks
        ChainRedirect,   // "/chain/N" redirects to "/chain/N+1"
    };
    TFakeBehaviour(TKind k = Write, std::string m = "text/html", int dwell = 0, std::string t = {}, uint8_t code = 0,
                   int nameDelay = 0)
        : kind(k), mime(std::move(m)), dwellMs(dwell), target(std::move(t)), filterCode(code), nameDelayMs(nameDelay)
    {
    }

    TKind kind;
    std::string mime;
    int dwellMs;
    std::string target;
    uint8_t filterCode;
    int nameDelayMs;  // before the thread asks for its name
};

// Shared by the fake threads of one test.
class TFakeScript {
public:
    void Set(const std::string& path, TFakeBehaviour behaviour)
    {
        std::lock_guard<std::mutex> hold(lock_);
        byPath_[path] = std::move(behaviour);
    }
    TFakeBehaviour For(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (path.rfind("/chain/", 0) == 0)
            return TFakeBehaviour{TFakeBehaviour::ChainRedirect};
        const auto found = byPath_.find(path);
        return found == byPath_.end() ? TFakeBehaviour{} : found->second;
    }
    void Started(int slot, const std::string& url)
    {
        std::lock_guard<std::mutex> hold(lock_);
        assigned_.push_back({slot, url});
        maxActive_ = std::max(maxActive_, ++active_);
    }
    void Ended()
    {
        std::lock_guard<std::mutex> hold(lock_);
        --active_;
    }
    void Release()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            released_ = true;
        }
        changed_.notify_all();
    }
    bool WaitReleased(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, timeout, [this] { return released_; });
    }
    std::vector<std::pair<int, std::string>> Assigned()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return assigned_;
    }
    int MaxActive()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return maxActive_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::map<std::string, TFakeBehaviour> byPath_;
    std::vector<std::pair<int, std::string>> assigned_;
    int active_ = 0;
    int maxActive_ = 0;
    bool released_ = false;
};

class TFakeDownloadWorker : public TDownloadWorker {
public:
    TFakeDownloadWorker(int slot, TFakeScript& script) : slot_(slot), script_(script)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~TFakeDownloadWorker() override
    {
        TerminateDownloadThread();
        if (thread_.joinable())
            thread_.join();
    }

    void SetSignal(TDownloadStateSignal* signal) { signal_ = signal; }
    int OptionsGiven() const { return optionsGiven_.load(); }
    std::string LastAgentName()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return agentName_;
    }

    uint8_t GetState() const override { return state_.load(); }
    void AssignDownload(const TURL& address, const TURL& referrer, int32_t depth) override
    {
        if (state_ != DL_IDLE)
            return;
        {
            std::lock_guard<std::mutex> hold(lock_);
            url_.Assign(address);
            referrer_.Assign(referrer);
            depth_ = depth;
            name_.clear();
            answer_ = 0;
            cancel_ = false;
            progress_ = TFileDownloadProgress{};
            outcome_ = TFileDownloadCompleteData{};
            state_ = DL_ASSIGNED;
        }
        wake_.notify_all();
    }
    void SetDownloadFilename(const std::string& name, bool skip) override
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (state_ != DL_WAITING_FOR_NAME)
                return;
            state_ = DL_RUNNING;
            name_ = name;
            answer_ = skip ? 2 : 1;
        }
        wake_.notify_all();
    }
    void RequestDownloadCancellation() override
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            cancel_ = true;
        }
        wake_.notify_all();
    }
    void GetProgress(TFileDownloadProgress& progress) const override
    {
        std::lock_guard<std::mutex> hold(lock_);
        progress = progress_;
    }
    // Read only once the dispatcher has seen DL_FINISHED, after which nothing changes it.
    const TFileDownloadCompleteData& GetResults() const override { return outcome_; }
    void SetIdle() override { state_ = DL_IDLE; }
    void SetNewOptions(const TDownloadOptions& options) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        agentName_ = options.JobOptions.HTTPAgentName;
        ++optionsGiven_;
    }
    void TerminateDownloadThread() override
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            terminated_ = true;
        }
        wake_.notify_all();
    }
    bool WaitForEnd(int64_t) override
    {
        if (thread_.joinable())
            thread_.join();
        return true;
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return terminated_ || state_ == DL_ASSIGNED; });
            if (terminated_)
                return;
            const std::string path = url_.GetURLPath();
            const TFakeBehaviour b = script_.For(path);
            script_.Started(slot_, url_.GetFullURL());
            outcome_.FURL.Assign(url_);
            outcome_.FReferrer.Assign(referrer_);
            Download(hold, b, path);
            script_.Ended();
            state_ = DL_FINISHED;
            Notify();
        }
    }

    void Download(std::unique_lock<std::mutex>& hold, const TFakeBehaviour& b, const std::string& path)
    {
        outcome_.FFilterCode = FILTER_ACCEPTED;
        outcome_.FParseable = b.mime == "text/html" ? 1 : 0;
        outcome_.FParseKind = outcome_.FParseable ? PARSE_KIND_PAGE : 0;
        if (b.kind == TFakeBehaviour::Refuse) {
            outcome_.FFilterCode = b.filterCode;
            return;
        }
        if (b.kind == TFakeBehaviour::Redirect || b.kind == TFakeBehaviour::ChainRedirect) {
            std::string target = b.target;
            if (b.kind == TFakeBehaviour::ChainRedirect)
                target = "/chain/" + std::to_string(std::stoi(path.substr(7)) + 1);
            outcome_.FRedirectURL.SetRelativeURL(target, url_);
            outcome_.FStatusCode = 302;
            return;
        }
        progress_.FMimeType = b.mime;
        if (b.nameDelayMs > 0) {
            hold.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(b.nameDelayMs));
            hold.lock();
        }
        state_ = DL_WAITING_FOR_NAME;
        Notify();
        wake_.wait(hold, [this] { return answer_ != 0 || cancel_ || terminated_; });
        if (answer_ == 0) {
            outcome_.FCancelled = 1;
            return;
        }
        if (answer_ == 2) {
            outcome_.FFilterCode = FILTER_SKIPPED;
            return;
        }
        outcome_.FLocalFileName = name_;
        if (b.kind == TFakeBehaviour::RefuseAfterName) {
            outcome_.FFilterCode = b.filterCode;
            return;
        }
        progress_.FValid = 1;
        progress_.FBytesReceived = 10;
        if (b.kind == TFakeBehaviour::UntilCancelled) {
            wake_.wait(hold, [this] { return cancel_ || terminated_; });
            outcome_.FCancelled = 1;
            return;
        }
        if (b.kind == TFakeBehaviour::IgnoresCancel) {
            hold.unlock();
            script_.WaitReleased(std::chrono::seconds(30));
            hold.lock();
        } else if (wake_.wait_for(hold, std::chrono::milliseconds(b.dwellMs), [this] { return cancel_ || terminated_; })) {
            outcome_.FCancelled = 1;
            return;
        }
        progress_.FBytesReceived = 100;
        outcome_.FFileWritten = 1;
        outcome_.FStatusCode = 200;
        // A written file is there, as a real thread leaves it.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(name_).parent_path(), ignored);
        std::ofstream(name_, std::ios::binary) << "<html></html>";
    }

    void Notify()
    {
        if (signal_)
            signal_->Notify();
    }

    const int slot_;
    TFakeScript& script_;
    std::atomic<uint8_t> state_{DL_IDLE};
    std::atomic<int> optionsGiven_{0};
    mutable std::mutex lock_;
    std::condition_variable wake_;
    TURL url_;
    TURL referrer_;
    int32_t depth_ = 0;
    std::string name_;
    int answer_ = 0;
    bool cancel_ = false;
    bool terminated_ = false;
    std::string agentName_;
    TFileDownloadProgress progress_;
    TFileDownloadCompleteData outcome_;
    TDownloadStateSignal* signal_ = nullptr;
    std::thread thread_;
};
