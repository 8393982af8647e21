#include "engine/DownloadThreadDispacher.h"

#include "engine/DownloadThread.h"

namespace {

// One of the program's download threads, as the dispatcher drives it.
class TFileDownloadThreadWorker : public TDownloadWorker {
public:
    explicit TFileDownloadThreadWorker(std::shared_ptr<TDownloadStateSignal> signal)
    {
        thread_.SetStateNotifier([signal] { signal->Notify(); });
        thread_.Resume();
    }

    TDownloadState GetState() const override { return static_cast<TDownloadState>(thread_.FState.load()); }
    void AssignDownload(const TURL& address, const TURL& referrer, int32_t depth) override
    {
        thread_.AssignDownload(address, referrer, depth);
    }
    void SetDownloadFilename(const std::string& name, bool skip) override { thread_.SetDownloadFilename(name, skip); }
    void RequestDownloadCancellation() override { thread_.RequestDownloadCancellation(); }
    void GetProgress(TFileDownloadProgress& progress) const override
    {
        const TFileDownloadInProgressData& live = thread_.FProgress;
        const TDownloadState state = GetState();
        // The thread sets the MIME type before it asks for its name and keeps it from then on.
        if (state == TDownloadState::Assigned || state == TDownloadState::Idle)
            progress.FMimeType.clear();
        else
            progress.FMimeType = live.FMimeType;
        progress.FValid = live.FValid.load();
        progress.FExpectedSize = live.FExpectedSize.load();
        progress.FBytesReceived = live.FBytesReceived.load();
        progress.FResumeOffset = live.FResumeOffset.load();
        progress.FElapsedMs = live.FElapsedMs.load();
    }
    void GetResults(TDownloadOutcome& outcome) const override
    {
        const TFileDownloadCompleteData& r = thread_.GetResults();
        outcome.FURL.Assign(r.FURL);
        outcome.FReferrer.Assign(r.FReferrer);
        outcome.FLocalFileName = r.FLocalFileName;
        outcome.FErrorCode = r.FErrorCode;
        outcome.FStatusCode = r.FStatusCode;
        outcome.FStatusText = r.FStatusText;
        outcome.FErrorCodeValid = r.FErrorCodeValid;
        outcome.FRedirectURL.Assign(r.FRedirectURL);
        outcome.FCancelled = r.FCancelled;
        outcome.FFilterCode = r.FFilterCode;
        outcome.FParseable = r.FParseable;
        outcome.FParseKind = r.FParseKind;
        outcome.FExceptionRaised = r.FExceptionRaised;
        outcome.FExceptionText = r.FExceptionText;
        outcome.FFileWritten = r.FFileWritten;
        outcome.FMimeType = r.FMimeType;
    }
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
