#include "engine/crawl/DownloadThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "engine/services/AppTraceLog.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/crawl/PartRecord.h"
#include "engine/services/WorkingFiles.h"
#include "engine/job/PasswordMgr.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/InternetLibrary.h"
#include "platform/InternetSession.h"
#include "platform/TextUtils.h"

namespace {

const char* const kUnit = "DownloadThread";
constexpr size_t kReadBlock = 5000;

std::string FolderOf(const std::string& name)
{
    const size_t slash = name.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : name.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Closes a file descriptor at the end of a scope unless it was closed before.
class TFileCloser {
public:
    explicit TFileCloser(int fd) : fd_(fd) {}
    ~TFileCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileCloser(const TFileCloser&) = delete;
    TFileCloser& operator=(const TFileCloser&) = delete;
    // Closes now; False (errno set) when the system reports a failure of the last writes.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Sets an open file's length, leaving one that already has it untouched: truncating a new, empty
// file would make some file systems write it out at once when it is closed.
bool CutToLength(int fd, int64_t length)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<int64_t>(st.st_size) == length)
        return true;
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

// Replaces newName with oldName in one step, so that a good copy stays until the new one is in
// place. False with the last error set.
bool ReplaceFile(const std::string& oldName, const std::string& newName)
{
    std::lock_guard<std::mutex> guard(FileOpsLock());
    if (::rename(oldName.c_str(), newName.c_str()) == 0)
        return true;
    SetLastErrorFromErrno(errno);
    return false;
}

}  // namespace

std::string FormatIfModifiedSinceLine(time_t utc)
{
    const std::string date = FormatHttpDate(utc);
    return date.empty() ? date : "If-Modified-Since: " + date;
}

std::string FormatHttpDate(time_t utc)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm t {};
    if (!gmtime_r(&utc, &t))
        return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[t.tm_wday % 7],
                  t.tm_mday, months[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

int64_t ContentRangeStart(const std::string& value)
{
    std::string text = TrimText(value);
    if (AsciiLowerCase(text.substr(0, 6)) != "bytes ")
        return -1;
    size_t pos = 6;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    int64_t start = 0;
    size_t digits = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
        if (digits >= 18)
            return -1;
        start = start * 10 + (text[pos] - '0');
    }
    if (digits == 0 || pos >= text.size() || text[pos] != '-')
        return -1;
    return start;
}

void SetMaxWininetDLThreads(int32_t n)
{
    TInternetLibrary* library = TInternetLibrary::Instance();
    const int limit = n < 1 ? 4 : n;
    if (!library || !library->SetMaxConnectionsPerServer(limit)) {
        if (!library)
            SetLastErrorCode(errc::InternetNotInitialized);
        LogEvent(etWarning, "InternetSetOption (max connections)", "SetMaxWininetDLThreads", kUnit);
        LogEvent(etWarning, "InternetSetOption (max 1.0 connections)", "SetMaxWininetDLThreads", kUnit);
    }
}

bool IsSentReferrer(const TURL& referrer)
{
    return referrer.IsValid() && (referrer.GetScheme() == usHTTP || referrer.GetScheme() == usHTTPS);
}

std::string StartDownloadLogText(const TURL& url, const TURL& sentReferrer)
{
    std::string text = "Start download of " + url.GetURLWithoutUserInfo();
    if (sentReferrer.IsValid())
        text += " via " + sentReferrer.GetURLWithoutUserInfo();
    return text;
}

std::string StopDownloadLogText(const TURL& url, int32_t statusCode)
{
    return "Stop download of " + url.GetURLWithoutUserInfo() + " (" + std::to_string(statusCode) + ")";
}

bool ProxyInUse(const TProxyServerInfo& proxy)
{
    return proxy.UseProxyServer && !TrimText(proxy.Address).empty();
}

TFileTime TFileDownloadThread::FileTimeFromUtc(time_t utc)
{
    struct timespec ts {utc, 0};
    return TimespecToFileTime(ts);
}

TFileTime TFileDownloadThread::CurrentFileTime()
{
    return FileTimeFromUtc(std::time(nullptr));
}

TDownloadFilter& TFileDownloadThread::Filter()
{
    TDownloadFilter* filter = TDownloadFilter::Instance();
    if (!filter)
        throw std::runtime_error("Download filter not available");
    return *filter;
}

bool TFileDownloadCompleteData::LocalFileIsCurrent() const
{
    if (FLocalFileName.empty() || (FFilterCode != FILTER_ACCEPTED && FFilterCode != FILTER_PREVIOUSLY_DOWNLOADED))
        return false;
    const int32_t scheme = FURL.GetScheme();
    // A file address names its file only when it may be read (see DownloadAssignedURL).
    if (scheme == usFile)
        return FFilterCode == FILTER_PREVIOUSLY_DOWNLOADED;
    TDownloadFilter* filter = TDownloadFilter::Instance();
    if (filter == nullptr || !filter->IsFileOfCopy(FLocalFileName))
        return false;
    const bool confirmedUnchanged =
        (scheme == usHTTP || scheme == usHTTPS) && FStatusValid && FStatusCode == 304 && FConditional;
    return FFilterCode == FILTER_PREVIOUSLY_DOWNLOADED || FFileWritten || confirmedUnchanged;
}

void TFileDownloadInProgressData::Reset()
{
    FValid.store(0);
    FExpectedSize.store(0);
    FMimeType.clear();
    FBytesReceived.store(0);
    FResumeOffset.store(0);
    FElapsedMs.store(0);
}

void TFileDownloadThread::TEvent::Set()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        set_ = true;
    }
    changed_.notify_all();
}

void TFileDownloadThread::TEvent::Wait(const std::function<bool()>& stop)
{
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] { return set_ || stop(); });
    set_ = false;
}

TFileDownloadThread::TFileDownloadThread() = default;

TFileDownloadThread::~TFileDownloadThread()
{
    TerminateDownloadThread();
    TerminateAndJoin();
    std::lock_guard<std::mutex> guard(FLock);
    FRunningHandle.reset();
    FHTTPSession.reset();
    FFTPSession.reset();
    FHTTPSSession.reset();
}

// ---- Dispatcher side ------------------------------------------------------------------------

void TFileDownloadThread::AssignDownload(const TURL& url, const TURL& referrer, int32_t depth)
{
    if (FState.load(std::memory_order_acquire) != DL_IDLE)
        return;
    FURL.Assign(url);
    FLocalFileName.clear();
    FAnswer.store(ANSWER_NONE, std::memory_order_relaxed);
    if (IsSentReferrer(referrer))
        FReferrer.Assign(referrer);
    else
        FReferrer.Clear();
    FDepth = depth;
    FResults.Reset();
    FProgress.Reset();
    FCancelRequested.store(0, std::memory_order_relaxed);
    FState.store(DL_ASSIGNED, std::memory_order_release);
    FEvent.Set();
}

void TFileDownloadThread::SetDownloadFilename(const std::string& name, bool skip)
{
    // Only a worker that waits for its name is answered: one that gave up meanwhile (cancelled)
    // has set DL_FINISHED, which must not be overwritten.
    uint8_t expected = DL_WAITING_FOR_NAME;
    if (!FState.compare_exchange_strong(expected, DL_RUNNING, std::memory_order_acq_rel))
        return;
    FLocalFileName = name;
    FAnswer.store(skip ? ANSWER_SKIP : ANSWER_GO, std::memory_order_release);
    FEvent.Set();
}

void TFileDownloadThread::RequestDownloadCancellation()
{
    FCancelRequested.store(1, std::memory_order_release);
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FRunningHandle)
            FRunningHandle->Interrupt();
    }
    FEvent.Set();
}

void TFileDownloadThread::SetIdle()
{
    FState.store(DL_IDLE, std::memory_order_release);
}

void TFileDownloadThread::TerminateDownloadThread()
{
    Terminate();
    RequestDownloadCancellation();
}

void TFileDownloadThread::SetNewOptions(const TDownloadOptions& options)
{
    std::lock_guard<std::mutex> guard(FLock);
    FOptions.Assign(options);
    FHTTPSession.reset();
    FFTPSession.reset();
    FHTTPSSession.reset();
}

// ---- Worker ---------------------------------------------------------------------------------

void TFileDownloadThread::SetState(uint8_t state)
{
    FState.store(state, std::memory_order_release);
    if (FStateNotifier)
        FStateNotifier();
}

void TFileDownloadThread::Execute()
{
    while (!Terminated()) {
        FEvent.Wait([this] { return Terminated(); });
        if (Terminated() || FState.load(std::memory_order_acquire) != DL_ASSIGNED)
            continue;
        FResults.FURL.Assign(FURL);
        FResults.FReferrer.Assign(FReferrer);
        LogMessage(StartDownloadLogText(FURL, FReferrer));
        try {
            DownloadAssignedURL();
        } catch (const std::exception& e) {
            FResults.FExceptionText = e.what();
            FResults.FExceptionRaised = 1;
            LogEvent(etException, e.what(), "Execute", kUnit);
        } catch (...) {
            FResults.FExceptionText = "Unknown exception";
            FResults.FExceptionRaised = 1;
            LogEvent(etException, FResults.FExceptionText, "Execute", kUnit);
        }
        SetRunningSession(nullptr);
        LogMessage(StopDownloadLogText(FURL, FResults.FStatusCode));
        SetState(DL_FINISHED);
    }
}

void TFileDownloadThread::DownloadAssignedURL()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FJobOptions.Assign(FOptions);
    }
    if (FURL.GetScheme() == usFile) {
        // Nothing is fetched. The start page the user named is read where it is; any other
        // local file only when it is a file of the copy.
        FResults.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
        const std::string path = FURL.URLToLocalFileName("/", true, false);
        if (FDepth == -1 ? IsPlainFileNoFollow(path) : Filter().IsFileOfCopy(path))
            FLocalFileName = path;
    } else {
        // The location is judged on the response: a redirect may lead back inside.
        FResults.FFilterCode = Filter().CheckURLBeforeDownload(FURL, FDepth);
    }
    if (FResults.FFilterCode == FILTER_ACCEPTED) {
        EnsureBaseDownloadHandlesCreated();
        FResults.FFileWritten = 0;
        switch (FURL.GetScheme()) {
        case usFTP:
            DownloadFTPFile();
            break;
        case usHTTP:
        case usHTTPS:
            DownloadHTTPOrHTTPS();
            break;
        default:
            break;
        }
    }
    FResults.FMimeType = FProgress.FMimeType;
    FResults.FLocalFileName = FLocalFileName;
    DetermineParseKind();
}

std::shared_ptr<TInternetSession> TFileDownloadThread::OpenWininetHandle(const TProxyServerInfo* proxy,
                                                                        const std::string& callName,
                                                                        const std::string& routine)
{
    TInternetProxy named;
    if (proxy && ProxyInUse(*proxy)) {
        named.Use = true;
        named.Address = proxy->Address;
        named.Port = proxy->Port;
        named.BypassList = proxy->BypassList;
    }
    std::shared_ptr<TInternetSession> session = TInternetSession::Open(FOptions.JobOptions.HTTPAgentName, named);
    if (!session) {
        LogAPIError(callName, routine, kUnit);
        return nullptr;
    }
    SetTimeoutAndRetries(*session);
    session->SetCancelFlag(&FCancelRequested);
    return session;
}

void TFileDownloadThread::SetTimeoutAndRetries(TInternetSession& session) const
{
    session.SetTimeouts(FOptions.JobOptions.Timeout, FOptions.JobOptions.ConnectRetries);
}

void TFileDownloadThread::EnsureBaseDownloadHandlesCreated()
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FFTPSession)
        FFTPSession = OpenWininetHandle(&FOptions.FTPProxy, "InternetOpen", "OpenWininetHandle");
    if (!FHTTPSession)
        FHTTPSession = OpenWininetHandle(&FOptions.HTTPProxy, "InternetOpen", "OpenWininetHandle");
    if (!FHTTPSSession)
        FHTTPSSession = OpenWininetHandle(nullptr, "InternetOpen (HTTPS)", "EnsureBaseDownloadHandlesCreated");
}

std::shared_ptr<TInternetSession> TFileDownloadThread::TakeSession(
    std::shared_ptr<TInternetSession> TFileDownloadThread::*session)
{
    std::lock_guard<std::mutex> guard(FLock);
    FRunningHandle = this->*session;
    return FRunningHandle;
}

void TFileDownloadThread::SetRunningSession(const std::shared_ptr<TInternetSession>& session)
{
    std::lock_guard<std::mutex> guard(FLock);
    FRunningHandle = session;
}

bool TFileDownloadThread::CancelSeen()
{
    if (FCancelRequested.load(std::memory_order_acquire) == 0 && !Terminated())
        return false;
    FResults.FCancelled = 1;
    return true;
}

void TFileDownloadThread::ApplyStoredPassword(TURL& url) const
{
    if (!FJobOptions.JobOptions.AllowAuthentication) {
        url.ClearUserInfo();
        return;
    }
    if (!url.GetUserName().empty())
        return;
    // A stored password for the site first, then the starting address's own credentials for
    // its scheme, host and port.
    TPasswordManager* passwords = TPasswordManager::Instance();
    TPasswordRec rec;
    if ((passwords && passwords->FindPasswordFor(url, rec)) ||
        Filter().FindStartAddressLogin(url, rec.Username, rec.Password))
        url.SetUserAndPassword(rec.Username, rec.Password);
}

void TFileDownloadThread::RecordLastError()
{
    const uint32_t code = GetLastErrorCode();
    if (code == errc::InternetExtendedError) {
        FResults.FStatusValid = 1;
        FResults.FStatusCode = static_cast<int32_t>(GetLastResponseError());
        FResults.FStatusText = GetLastResponseText();
    } else {
        FResults.FErrorCodeValid = 1;
        FResults.FErrorCode = code;
    }
}

bool TFileDownloadThread::WaitForFilenameOrCancellation()
{
    SetState(DL_WAITING_FOR_NAME);
    for (;;) {
        const uint8_t answer = FAnswer.load(std::memory_order_acquire);
        if (answer != ANSWER_NONE)
            return answer == ANSWER_GO;
        if (CancelSeen()) {
            LogMessage("Cancelled WaitForFilenameOrCancellation");
            return false;
        }
        FEvent.Wait([this] {
            return FAnswer.load(std::memory_order_acquire) != ANSWER_NONE ||
                   FCancelRequested.load(std::memory_order_acquire) != 0 || Terminated();
        });
    }
}

bool TFileDownloadThread::ThroughLinkInDestination(const std::string& name, const std::string& routine)
{
    if (!LinkBelowFolder(Filter().DestinationPath(), name))
        return false;
    LogEvent(etWarning, "Symbolic link on the way to " + name + " in the destination: nothing written through it",
             routine, kUnit);
    SetLastErrorCode(errc::AccessDenied);
    RecordLastError();
    return true;
}

bool TFileDownloadThread::DropPartFile(const std::string& routine)
{
    return DeleteIfExists(PartRecordName(FLocalFileName), routine) &&
           DeleteIfExists(PartFileName(FLocalFileName), routine);
}

bool TFileDownloadThread::DeleteIfExists(const std::string& name, const std::string& routine)
{
    if (ThroughLinkInDestination(name, routine))
        return false;
    if (!SafeFileExists(name) || SafeDeleteFile(name))
        return true;
    LogAPIError("DeleteFile " + name, routine, kUnit);
    RecordLastError();
    return false;
}

// ---- Finishing a body -----------------------------------------------------------------------

void TFileDownloadThread::FinishFileDownload(TInternetSession& session, int64_t resumeOffset, int64_t bodyLength,
                                            bool keepPartOnFailure, TFileTime lastModified, int64_t acceptedSize,
                                            const TPartRecord* record)
{
    const std::string part = PartFileName(FLocalFileName);
    FProgress.FResumeOffset.store(0);
    FProgress.FBytesReceived.store(0);
    FProgress.FValid.store(1);
    bool written = false;
    int64_t reserved = acceptedSize;
    try {
        const std::string folder = FolderOf(FLocalFileName);
        if (ThroughLinkInDestination(FLocalFileName, "FinishFileDownload")) {
            // nothing is written
        } else if (!SafeForceDirectories(folder)) {
            LogAPIError("ForceDirectories " + folder, "FinishFileDownload", kUnit);
            RecordLastError();
        } else if (resumeOffset == 0 && !DeleteIfExists(PartRecordName(FLocalFileName), "FinishFileDownload")) {
            // a record of another version would stay with the new body
        } else {
            const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
            TFileCloser closer(fd);
            bool opened = fd >= 0 && CutToLength(fd, resumeOffset) && ::lseek(fd, 0, SEEK_END) >= 0;
            // The record follows the emptied body, so it never names what the body held before.
            const TPartRecord* toRecord = resumeOffset == 0 && keepPartOnFailure ? record : nullptr;
            bool recorded = false;
            if (!opened) {
                SetLastErrorFromErrno(errno);
                LogAPIError("CreateFile " + part, "FinishFileDownload", kUnit);
                RecordLastError();
            } else {
                FProgress.FResumeOffset.store(resumeOffset);
                FProgress.FBytesReceived.store(resumeOffset);
                bool lastReadOk = ReadFileFromWininetHandle(session, fd, reserved, toRecord, &recorded);
                if (!closer.Close() && lastReadOk) {
                    SetLastErrorFromErrno(errno);
                    LogAPIError("CloseHandle " + part, "FinishFileDownload", kUnit);
                    RecordLastError();
                    lastReadOk = false;
                }
                const int64_t bodyBytes = FProgress.FBytesReceived.load() - resumeOffset;
                // Past the job's time or refused by size while arriving, the body is not whole.
                bool complete = lastReadOk && !FResults.FCancelled && FResults.FFilterCode == FILTER_ACCEPTED;
                if (complete && bodyLength > 0 && bodyBytes != bodyLength) {
                    LogEvent(etWarning,
                             "Body of " + FURL.GetURLWithoutUserInfo() + " ended after " + std::to_string(bodyBytes) +
                                 " of " + std::to_string(bodyLength) + " bytes",
                             "FinishFileDownload", kUnit);
                    SetLastErrorCode(errc::InternetConnectionAborted);
                    RecordLastError();
                    complete = false;
                }
                // The record goes first: a body without one is never continued. A new body that
                // stayed short has none (any older one went when it started).
                const bool hasRecord = resumeOffset > 0 || recorded;
                if (complete &&
                    (!hasRecord || DeleteIfExists(PartRecordName(FLocalFileName), "FinishFileDownload"))) {
                    if (ReplaceFile(part, FLocalFileName)) {
                        KeepServerFileTime(lastModified);
                        written = true;
                    } else {
                        LogAPIError("MoveFile " + part, "FinishFileDownload", kUnit);
                        RecordLastError();
                    }
                }
            }
        }
        // A body refused by its size is not worth continuing.
        const bool refusedBySize =
            FResults.FFilterCode == FILTER_FILE_SIZE || FResults.FFilterCode == FILTER_JOB_SIZE;
        if (!written && (!keepPartOnFailure || refusedBySize))
            DropPartFile("FinishFileDownload");
    } catch (const std::exception& e) {
        FResults.FExceptionText = e.what();
        FResults.FExceptionRaised = 1;
        LogEvent(etException, e.what(), "FinishFileDownload " + part, kUnit);
    }
    FResults.FFileWritten = written ? 1 : 0;
    if (written) {
        if (!FResults.FStatusValid) {
            FResults.FStatusValid = 1;
            FResults.FStatusCode = 200;
            FResults.FStatusText = "OK";
        }
    }
    Filter().EndAcceptedDownload(reserved, FProgress.FBytesReceived.load(), written);
}

bool IsUsableServerFileTime(TFileTime serverTime, TFileTime now)
{
    return serverTime >= kEarliestServerFileTime && serverTime <= now;
}

void TFileDownloadThread::KeepServerFileTime(TFileTime serverTime)
{
    // Linux keeps no settable creation time: the server's time becomes the last-write time, which
    // an update run sends back as If-Modified-Since.
    if (IsUsableServerFileTime(serverTime, CurrentFileTime()))
        SetExistingFileDate(FLocalFileName, serverTime, serverTime);
}

bool TFileDownloadThread::ReadFileFromWininetHandle(TInternetSession& session, int fd, int64_t& reserved,
                                                    const TPartRecord* record, bool* recorded)
{
    FProgress.FElapsedMs.store(0);
    FProgress.FValid.store(1);
    // Nothing waits for this state: the dispatcher is not woken for it.
    FState.store(DL_RUNNING, std::memory_order_release);
    const auto start = std::chrono::steady_clock::now();
    char block[kReadBlock];
    for (;;) {
        size_t count = 0;
        const bool ok = session.ReadData(block, sizeof block, count);
        if (FCancelRequested.load(std::memory_order_acquire) != 0 || Terminated()) {
            FResults.FCancelled = 1;
            LogMessage("Cancelled ReadFileFromWininetHandle");
            return ok;
        }
        if (!ok) {
            LogAPIError("InternetReadFile", "ReadFileFromWininetHandle", kUnit);
            RecordLastError();
            return false;
        }
        if (count == 0)
            return true;
        // Counted before it is written: nothing past the limits reaches the disk.
        const int64_t grown = FProgress.FBytesReceived.load() + static_cast<int64_t>(count);
        const uint8_t sizeCode = Filter().ReserveReceivedBytes(reserved, grown, FDepth);
        if (sizeCode != FILTER_ACCEPTED) {
            FResults.FFilterCode = sizeCode;
            LogEvent(etWarning,
                     "Refused " + FURL.GetURLWithoutUserInfo() + " by its size: more than " +
                         std::to_string(grown - static_cast<int64_t>(count)) + " bytes",
                     "ReadFileFromWininetHandle", kUnit);
            return true;
        }
        if (!WriteAll(fd, block, count)) {
            SetLastErrorFromErrno(errno);
            LogAPIError("WriteFile " + PartFileName(FLocalFileName), "ReadFileFromWininetHandle", kUnit);
            RecordLastError();
            return false;
        }
        const int64_t received = FProgress.FBytesReceived.fetch_add(static_cast<int64_t>(count)) +
                                 static_cast<int64_t>(count);
        if (record != nullptr && received >= kRecordedBodySize) {
            if (recorded != nullptr)
                *recorded = true;
            if (!WritePartRecord(FLocalFileName, *record))
                LogEvent(etWarning,
                         "Cannot record the version of " + PartFileName(FLocalFileName) +
                             ": an unfinished body is fetched anew",
                         "ReadFileFromWininetHandle", kUnit);
            record = nullptr;
        }
        FProgress.FElapsedMs.store(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (Filter().IsJobTimeOver()) {
            FResults.FFilterCode = FILTER_JOB_TIME;
            return true;
        }
    }
}

uint8_t ParseKindOf(const TURL& url, const std::string& mimeType, const std::string& localName)
{
    const std::string localExt = LowerCaseExtension(localName);
    const std::string urlExt = AsciiLowerCase(url.GetPathExtension());
    if (url.IsHTML(mimeType))
        return PARSE_KIND_PAGE;
    if (url.IsCSS(mimeType))
        return PARSE_KIND_STYLE_SHEET;
    if (localExt == ".htm" || localExt == ".html" || urlExt == ".htm" || urlExt == ".html")
        return PARSE_KIND_PAGE;
    if (localExt == ".css" || urlExt == ".css")
        return PARSE_KIND_STYLE_SHEET;
    return 0;
}

void TFileDownloadThread::DetermineParseKind()
{
    FResults.FParseable = 0;
    FResults.FParseKind = 0;
    // Only a current copy on disk is parsed: after an error answer, say, an old one is stale
    // and its links are not followed.
    const uint8_t code = FResults.FFilterCode;
    if (!FResults.LocalFileIsCurrent())
        return;
    const uint8_t kind = ParseKindOf(FURL, FResults.FMimeType, FLocalFileName);
    if (kind == 0)
        return;
    FResults.FParseable = 1;
    FResults.FParseKind = kind;
    // The start page is read whatever the lists say, as it is fetched whatever they say.
    if (FJobOptions.JobOptions.ApplyParsingFilter && code == FILTER_PREVIOUSLY_DOWNLOADED && FDepth >= 0 &&
        Filter().CheckLocalFileForParsing(FLocalFileName, FDepth, kind == PARSE_KIND_PAGE) != FILTER_ACCEPTED) {
        FResults.FParseable = 0;
        LogMessage("Skipped parsing " + FURL.GetURLWithoutUserInfo());
    }
}
