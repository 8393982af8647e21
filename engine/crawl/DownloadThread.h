#pragma once
// A download worker: fetches one address at a time over HTTP, HTTPS or FTP for the dispatcher,
// writes the body to the local file name + "#part" and moves it into place when complete.
//
// Hand-off with the dispatcher (crawl thread), without a lock:
//   DL_IDLE -AssignDownload-> DL_ASSIGNED -worker-> DL_WAITING_FOR_NAME (headers are in)
//   -SetDownloadFilename-> DL_RUNNING -worker-> DL_FINISHED (FResults complete) -SetIdle-> DL_IDLE.
// A download that ends before asking for its name goes from DL_ASSIGNED to DL_FINISHED.
// FProgress may be read while DL_RUNNING, FResults once DL_FINISHED is seen.
// The worker calls the state notifier after each change of FState it makes, so that the
// dispatcher can wait on its own condition instead of polling.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/job/DownloadOptionTypes.h"
#include "engine/services/FileDateTime.h"
#include "engine/job/URLType.h"
#include "platform/Thread.h"

class TDownloadFilter;
class TInternetSession;
struct TCopyIndexEntry;
struct TPartRecord;

constexpr uint8_t DL_ASSIGNED = 0;
constexpr uint8_t DL_RUNNING = 1;
constexpr uint8_t DL_WAITING_FOR_NAME = 2;
constexpr uint8_t DL_FINISHED = 3;
constexpr uint8_t DL_IDLE = 4;

constexpr uint8_t ANSWER_NONE = 0;
constexpr uint8_t ANSWER_GO = 1;
constexpr uint8_t ANSWER_SKIP = 2;

// Live values of the running download; the worker writes them, the dispatcher reads them.
struct TFileDownloadInProgressData {
    std::atomic<uint8_t> FValid{0};         // 1 once the body starts
    std::atomic<int64_t> FExpectedSize{0};  // Content-Length (+ bytes resumed); 0 unknown
    std::string FMimeType;                  // set before DL_WAITING_FOR_NAME, not changed after it
    std::atomic<int64_t> FBytesReceived{0}; // bytes in the "#part" file, resumed ones included
    std::atomic<int64_t> FResumeOffset{0};  // bytes already in the "#part" file when writing began
    std::atomic<int64_t> FElapsedMs{0};     // since the body began to arrive

    void Reset();
};

// The outcome of one download, complete when the worker sets DL_FINISHED.
struct TFileDownloadCompleteData {
    TURL FURL;
    TURL FReferrer;
    std::string FLocalFileName;
    uint32_t FErrorCode = 0;
    int32_t FStatusCode = 0;
    std::string FStatusText;
    uint8_t FStatusValid = 0;
    uint8_t FErrorCodeValid = 0;
    TURL FRedirectURL;  // valid only after a redirect answer
    uint8_t FCancelled = 0;
    uint8_t FFilterCode = 0;
    uint8_t FParseable = 0;
    std::string FMimeType;
    uint8_t FParseKind = 0;  // 1 web page, 2 style sheet
    uint8_t FExceptionRaised = 0;
    std::string FExceptionText;
    uint8_t FFileWritten = 0;
    uint8_t FConditional = 0;   // the last request asked whether the copy on disk changed
    std::string FLastModified;  // the answer's Last-Modified and ETag texts, empty when none
    std::string FETag;

    void Reset() { *this = TFileDownloadCompleteData(); }
    // The local file is there and stands for the address: written now, already on disk and
    // kept, or confirmed unchanged by the server (a 304 to a conditional request).
    bool LocalFileIsCurrent() const;
};

constexpr uint8_t PARSE_KIND_PAGE = 1;
constexpr uint8_t PARSE_KIND_STYLE_SHEET = 2;
// How the file saved from url as localName is read for links: PARSE_KIND_PAGE,
// PARSE_KIND_STYLE_SHEET, or 0 when it is not (the MIME type first, then the names' endings).
uint8_t ParseKindOf(const TURL& url, const std::string& mimeType, const std::string& localName);

class TFileDownloadThread : public TThread {
public:
    using TStateNotifier = std::function<void()>;

    // Created idle; Resume() starts it.
    TFileDownloadThread();
    ~TFileDownloadThread() override;

    // Dispatcher side; none of them blocks.
    // Only when DL_IDLE: takes the address, the referrer (kept when HTTP or HTTPS) and the depth,
    // resets the records and wakes the worker.
    void AssignDownload(const TURL& url, const TURL& referrer, int32_t depth);
    // Answers DL_WAITING_FOR_NAME; ignored in any other state.
    void SetDownloadFilename(const std::string& name, bool skip);
    // Stops the running download: a blocked network call returns at once.
    void RequestDownloadCancellation();
    const TFileDownloadCompleteData& GetResults() const { return FResults; }
    TFileDownloadCompleteData& GetResults() { return FResults; }
    void SetIdle();
    // Ends the thread after the running download (which is cancelled).
    void TerminateDownloadThread();
    // Takes a copy of the options; the sessions are reopened with them by the next download.
    void SetNewOptions(const TDownloadOptions& options);
    // Called on the worker thread after each FState change it makes. Set before Resume().
    void SetStateNotifier(TStateNotifier notifier) { FStateNotifier = std::move(notifier); }

    // Hand-off fields (see the top of this file).
    TURL FURL;
    TURL FReferrer;
    std::string FLocalFileName;
    int32_t FDepth = 0;
    std::atomic<uint8_t> FState{DL_IDLE};
    std::atomic<uint8_t> FCancelRequested{0};
    std::atomic<uint8_t> FAnswer{ANSWER_NONE};
    TFileDownloadInProgressData FProgress;
    TFileDownloadCompleteData FResults;

protected:
    void Execute() override;

private:
    // Auto-reset wake-up event.
    class TEvent {
    public:
        void Set();
        // Waits until set, or until stop() is true; clears the event.
        void Wait(const std::function<bool()>& stop);

    private:
        std::mutex lock_;
        std::condition_variable changed_;
        bool set_ = false;
    };

    // What one HTTP attempt asks for next.
    enum class TAttemptEnd { Done, Retry, RetryWithoutConditions };

    void SetState(uint8_t state);
    void DownloadAssignedURL();
    void EnsureBaseDownloadHandlesCreated();
    std::shared_ptr<TInternetSession> OpenWininetHandle(const TProxyServerInfo* proxy, const std::string& callName,
                                                       const std::string& routine);
    void SetTimeoutAndRetries(TInternetSession& session) const;
    std::shared_ptr<TInternetSession> TakeSession(std::shared_ptr<TInternetSession> TFileDownloadThread::*session);
    void SetRunningSession(const std::shared_ptr<TInternetSession>& session);
    bool CancelSeen();
    void ApplyStoredPassword(TURL& url) const;

    void DownloadHTTPOrHTTPS();
    // A file of the copy that is not to be asked about again: named from the MIME type it was
    // saved with, without a request. False when the name given now holds no file.
    bool TakeFileOfCopy(const TCopyIndexEntry& indexed);
    // indexed: the address's entry in the index of the copy, nullptr when none.
    TAttemptEnd DownloadHTTPAttempt(TInternetSession& session, bool secure, bool useConditions, bool canRetry,
                                    const TCopyIndexEntry* indexed);
    // On an update run, the copy at localName is read for links but the index of the copy does
    // not record it for this address: its links, rewritten to local names, no longer tell the
    // addresses they stand for, so it is fetched whole rather than confirmed unchanged.
    bool FetchWholeForLinks(const std::string& localName, const TCopyIndexEntry* indexed) const;
    TAttemptEnd HandleNotModified(TInternetSession& session, bool canRetry);
    void GetHTTPValidators(TInternetSession& session);
    // The local file name of the address for a response without a MIME type; empty when none.
    std::string UntypedLocalFileName() const;
    // resumed: the version of the "#part" file a Range line asked the rest of, nullptr when none.
    TAttemptEnd HandleHTTPBody(TInternetSession& session, const TPartRecord* resumed, int64_t partSize,
                               bool canRetry);
    TAttemptEnd DropPartFileAndRetry(TInternetSession& session, bool canRetry);
    // Deletes the unfinished body of the local file and its record; False (error recorded) when
    // they cannot be deleted.
    bool DropPartFile(const std::string& routine);
    void HandleRedirect(TInternetSession& session);
    bool GetHTTPStatus(TInternetSession& session);
    // The Content-Length (0 when absent or unreadable); false, with the error recorded, when
    // several lengths disagree.
    bool GetHTTPContentLength(TInternetSession& session, int64_t& length);
    // The Last-Modified time; 0 when the answer has none that can be read.
    TFileTime GetHTTPLastModifiedTime(TInternetSession& session);
    void LogAllHTTPResponseHeaders(TInternetSession& session);
    bool WaitForFilenameOrCancellation();

    void DownloadFTPFile();
    void DownloadFTPNoProxy(TInternetSession& session);
    void DownloadFTPCERNProxy(TInternetSession& session);

    // Reads the body into "<local name>#part" and moves it into place when complete.
    // resumeOffset: bytes of the "#part" file to keep (0 starts it afresh); bodyLength: the
    // announced length (0 unknown); keepPartOnFailure: an incomplete body stays for a later
    // Range request (HTTP), else it is deleted (FTP); lastModified: the server's time of the
    // file, 0 when it gave none. The file was counted by the filter with acceptedSize reserved;
    // the end settles it. record: the version a new body is of, kept beside it so that it can be
    // continued; nullptr when it cannot be named (the body is then fetched whole again).
    void FinishFileDownload(TInternetSession& session, int64_t resumeOffset, int64_t bodyLength,
                            bool keepPartOnFailure, TFileTime lastModified, int64_t acceptedSize,
                            const TPartRecord* record = nullptr);
    // The local file just moved into place takes the server's time as its last-write time
    // (IsUsableServerFileTime); otherwise it keeps the time of the download.
    void KeepServerFileTime(TFileTime serverTime);
    // Reads the body into fd until its end, a cancel, the end of the job's time, or a size the
    // filter refuses (FFilterCode 6 or 7); reserved follows the bytes reserved for the file.
    // record (when given) is kept beside the body once it holds kRecordedBodySize bytes;
    // recorded tells whether that was tried.
    bool ReadFileFromWininetHandle(TInternetSession& session, int fd, int64_t& reserved,
                                   const TPartRecord* record = nullptr, bool* recorded = nullptr);

public:
    // A body cut off before it holds this many bytes is fetched whole again: a record of its
    // version is kept only beside longer ones, sparing short files two more file operations.
    static constexpr int64_t kRecordedBodySize = 256 * 1024;

private:
    // Deletes the file when it is there; False (error recorded) when it cannot, or when a
    // symbolic link lies on its way in the destination.
    bool DeleteIfExists(const std::string& name, const std::string& routine);
    // True, with the error recorded, when a symbolic link in the destination (a folder or the
    // file itself) lies on the way to name: nothing is read, written or deleted through it.
    bool ThroughLinkInDestination(const std::string& name, const std::string& routine);
    void RecordLastError();
    void DetermineParseKind();
    static TDownloadFilter& Filter();
    static TFileTime FileTimeFromUtc(time_t utc);
    static TFileTime CurrentFileTime();

    TEvent FEvent;
    TDownloadOptions FOptions;        // guarded by FLock
    TDownloadOptions FJobOptions;     // the worker's copy for the download in progress
    std::shared_ptr<TInternetSession> FHTTPSession;
    std::shared_ptr<TInternetSession> FFTPSession;
    std::shared_ptr<TInternetSession> FHTTPSSession;
    std::shared_ptr<TInternetSession> FRunningHandle;  // the session a cancel interrupts
    std::mutex FLock;                                  // guards the sessions and FOptions
    TStateNotifier FStateNotifier;
};

// Sets the per-server connection limit of every session opened from now on to n (the job's
// MaxSimultaneousDownloads; values below 1 stand for all four download threads).
void SetMaxWininetDLThreads(int32_t n);

// The referrer a download sends: an HTTP or HTTPS address, else none.
bool IsSentReferrer(const TURL& referrer);
// The event-log rows that open and close a download.
std::string StartDownloadLogText(const TURL& url, const TURL& sentReferrer);
std::string StopDownloadLogText(const TURL& url, int32_t statusCode);

// A proxy record names a proxy to use (an empty address names none).
bool ProxyInUse(const TProxyServerInfo& proxy);
// A server's time of a file that a downloaded copy may take: not in the future and not before
// 1980 (what every common file system can keep; earlier dates are placeholders).
constexpr TFileTime kEarliestServerFileTime = 119600064000000000ULL;  // 1980-01-01 00:00 UTC
bool IsUsableServerFileTime(TFileTime serverTime, TFileTime now);
// "If-Modified-Since: Tue, 15 Nov 1994 08:12:31 GMT" for a UTC time.
std::string FormatIfModifiedSinceLine(time_t utc);
// "Tue, 15 Nov 1994 08:12:31 GMT"; empty when the time cannot be written.
std::string FormatHttpDate(time_t utc);
// The first byte position of a "bytes first-last/length" Content-Range value; -1 when unusable.
int64_t ContentRangeStart(const std::string& value);
