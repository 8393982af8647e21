#pragma once
// The download dispatcher: owns the four download threads and, on the crawl thread, hands them
// the running job's addresses, answers their file-name requests, reports their progress and
// results, collects redirect targets, applies the user's cancel requests and gives up threads
// that do not answer a cancellation.
#include "engine/job/DownloadOptionTypes.h"
#include "engine/crawl/DownloadWorker.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "platform/Singleton.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

class TCopyJob;
class TSpiderDestObjectList;
class TSpiderObject;
class TSpiderObjectList;
class TCrawlControl;

class TDownloadThreadDispacher : public TSingleton<TDownloadThreadDispacher> {
public:
    static constexpr int32_t ThreadCount = 4;
    // Redirects followed from one address before the chain is refused.
    static constexpr int32_t MaxRedirectChain = 20;

    using TWorkers = std::array<std::unique_ptr<TDownloadWorker>, ThreadCount>;
    // Sets the process-wide connections-per-server limit.
    using TConnectionLimiter = std::function<void(int32_t)>;

    // The four download threads of the program.
    TDownloadThreadDispacher();
    // Given threads (they notify Signal() on every change of state).
    TDownloadThreadDispacher(TWorkers workers, TConnectionLimiter limiter);
    ~TDownloadThreadDispacher();

    TDownloadStateSignal& Signal() { return *signal_; }

    // Gives the options to the threads when they differ from those last given; a thread that
    // is busy takes them when it is idle again.
    void ApplyDownloadOptions(const TDownloadOptions& options);
    // Runs downloads until no address waits and no thread is busy (or, after a stop or cancel,
    // until every thread is idle or given up). job is the crawl thread's copy; cancel requests
    // for a host, extension or MIME type change its lists. With forPages, also returns as soon as
    // the crawler has pages to read and no download can start or needs an answer (not while
    // stopping or paused), so that pages are read while downloads run.
    void RunDownloads(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCopyJob& job, int32_t jobID,
                      TCrawlControl& crawler, bool forPages = false);
    // No thread is busy with a download (one given up after a cancellation counts as idle).
    bool AllThreadsIdle() const;
    bool HasUndispatchedObjects(TSpiderObjectList& spiders);
    static int32_t FindFirstUndispatched(TSpiderObjectList& spiders);

    // The local file of the job's starting address; emptied when a job starts.
    const std::string& GetStartPageName() const { return startPageName_; }
    void ClearStartPageName();

    // The usable threads for a MaxSimultaneousDownloads value: 1 to 4 as given, anything else 4.
    static int32_t UsableThreadCount(int32_t maxSimultaneousDownloads);
    // The last download number given (counts on from job to job).
    int32_t DownloadCounter() const { return downloadCounter_; }

private:
    using TClock = std::chrono::steady_clock;

    struct TSlot {
        int32_t objectID = 0;
        int32_t downloadNumber = 0;
        int64_t lastProgressTick = 0;
        bool pausing = false;
        int64_t pauseUntil = 0;
        bool cancelRequested = false;
        int64_t cancelTick = 0;
        bool hung = false;
        // What the dispatcher gave the thread, kept for the reports.
        TURL url;
        TURL referrer;
        int32_t depth = 0;
        // The address was met again at a smaller depth while this download ran: the download
        // serves that depth too.
        bool metAgain = false;
        std::string localFileName;  // the name answered
        int32_t jobID = 0;
        uint64_t jobSerial = 0;     // the job the download belongs to
        uint64_t optionsSerial = 0; // the options the thread has
    };

    static int64_t Now();
    bool IsBusy(int32_t slot) const;
    int32_t FindIdleThread(int32_t maxSimultaneousDownloads) const;
    bool IsFileBeingWritten(const std::string& name) const;
    // An object whose download of this job is still running or not yet collected waits for it
    // (True) instead of being asked for again.
    bool WaitForRunningDownload(TSpiderObject& object);
    void ApplyOptionsToIdleThreads();

    void EndDownloadPauses(int64_t now);
    // Gives the object's download the next number, in the slot's record.
    void NumberDownload(TSlot& s, const TSpiderObject& object);
    void StartDownload(TSpiderObject& object, int32_t slot);
    // Type, job, download number and addresses of a report about the slot's download.
    void FillDownloadReport(uint8_t type, const TSlot& s);
    void PostDownloadStartedMessage(const TSlot& s);
    // An address the job's address rules refuse, or a page on another server that the location
    // rule refuses, needs no download thread: it gets its number and its started and ended
    // reports here, as a thread would have given them.
    bool RefuseAtDispatch(const TSpiderObject& object);
    // An address met again at a smaller depth whose file this job already has is not asked for
    // again: it is reported as previously downloaded and its page read again, at its new depth.
    bool TakeFromCopy(TSpiderObject& object, TSpiderObjectList& spiders, TSpiderDestObjectList& dests,
                      TCrawlControl& crawler);
    // Started and ended reports of a download that needs no thread.
    void ReportWithoutThread(const TSpiderObject& object, const TFileDownloadCompleteData& outcome);
    bool AssignWaitingFilenames(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCrawlControl& crawler);
    void PostDownloadInProgressMsgs();
    bool ResetCompletedDownloadThreads(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCopyJob& job,
                                       TCrawlControl& crawler, bool& newObjectAdded);
    // A redirect of the starting address makes its target the job's start, in the job and the filter.
    bool TakeFinishedDownload(int32_t slot, TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCopyJob& job,
                              TCrawlControl& crawler, const TFileDownloadCompleteData& outcome);
    void PostDownloadStoppedMsg(const TSlot& s, const TFileDownloadCompleteData& outcome,
                                const TFileDownloadProgress& progress, bool redirectAdded, bool jobCancelled);
    void CancelDownload(int32_t slot);
    void CancelAllDownloads();
    void ProcessDownloadCancelRequests(TCopyJob& job);
    void CheckForHungDownloadThreads(int32_t timeoutMs, bool jobCancelled);
    std::chrono::milliseconds WaitBound(int64_t now, int64_t nextStart, bool startWaiting) const;
    void WaitUntilThreadsRest(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCopyJob& job,
                              TCrawlControl& crawler);

    TWorkers workers_;
    TConnectionLimiter limiter_;
    std::array<TSlot, ThreadCount> slots_;
    // Shared with the threads: one given up may still notify after the dispatcher is gone.
    std::shared_ptr<TDownloadStateSignal> signal_ = std::make_shared<TDownloadStateSignal>();
    int32_t downloadCounter_ = 0;
    int32_t jobID_ = -1;
    uint64_t jobSerial_ = 0;
    TSpiderOutputMsg report_;
    TSpiderInputMsg cancelMsg_;
    std::string startPageName_;
    bool stopping_ = false;
    // The earliest tick of the next download start: one start per PauseBetweenDownloads over
    // the whole job, across the calls of RunDownloads.
    int64_t nextStart_ = 0;
    // Redirects that led to an address of the running job (object id -> chain length).
    std::unordered_map<int32_t, int32_t> redirectChain_;

    bool haveOptions_ = false;
    std::string optionsText_;  // the options last given, as comparable text
    TDownloadOptions options_;
    uint64_t optionsSerial_ = 0;
};
