#include "engine/crawl/DownloadThreadDispacher.h"

namespace {

// One of the program's download threads, as the dispatcher drives it.
class TFileDownloadThreadWorker : public TDownloadWorker {
public:
    explicit TFileDownloadThreadWorker(std::shared_ptr<TDownloadStateSignal> signal)
    {
        thread_.SetStateNotifier([signal] { signal->Notify(); });
        thread_.Resume();
    }

    uint8_t GetState() const override { return thread_.FState.load(); }
    void AssignDownload(const TURL& address, const TURL& referrer, int32_t depth) override
    {
        thread_.AssignDownload(address, referrer, depth);
    }
    void SetDownloadFilename(const std::string& name, bool skip) override { thread_.SetDownloadFilename(name, skip); }
    void RequestDownloadCancellation() override { thread_.RequestDownloadCancellation(); }
    void GetProgress(TFileDownloadProgress& progress) const override
    {
        const TFileDownloadInProgressData& live = thread_.FProgress;
        const uint8_t state = GetState();
        // The thread sets the MIME type before it asks for its name and keeps it from then on.
        if (state == DL_ASSIGNED || state == DL_IDLE)
            progress.FMimeType.clear();
        else
            progress.FMimeType = live.FMimeType;
        progress.FValid = live.FValid.load();
        progress.FExpectedSize = live.FExpectedSize.load();
        progress.FBytesReceived = live.FBytesReceived.load();
        progress.FResumeOffset = live.FResumeOffset.load();
        progress.FElapsedMs = live.FElapsedMs.load();
    }
    const TFileDownloadCompleteData& GetResults() const override { return thread_.GetResults(); }
    void SetIdle() override { thread_.SetIdle(); }
    void SetNewOptions(const TDownloadOptions& options) override { thread_.SetNewOptions(options); }
    void TerminateDownloadThread() override { thread_.TerminateDownloadThread(); }
    bool WaitForEnd(int64_t timeoutMs) override { return thread_.WaitFor(timeoutMs); }

private:
    TFileDownloadThread thread_;
};

}  // namespace

TDownloadThreadDispacher::TDownloadThreadDispacher() : limiter_(SetMaxWininetDLThreads)
{
    for (auto& worker : workers_)
        worker = std::make_unique<TFileDownloadThreadWorker>(signal_);
}
