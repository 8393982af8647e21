// The FTP download of TFileDownloadThread: directly, or through an HTTP proxy.
#include "engine/crawl/DownloadThread.h"

#include "engine/services/AppTraceLog.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/InternetSession.h"
#include "platform/TextUtils.h"

namespace {

const char* const kUnit = "DownloadThread";

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && SameTextIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

void TFileDownloadThread::DownloadFTPFile()
{
    std::shared_ptr<TInternetSession> session = TakeSession(&TFileDownloadThread::FFTPSession);
    if (!session) {
        FResults.FErrorCode = GetLastErrorCode();
        FResults.FErrorCodeValid = 1;
        return;
    }
    // FTP knows no MIME type: the name is asked for at once.
    if (!WaitForFilenameOrCancellation()) {
        if (FAnswer.load(std::memory_order_acquire) == ANSWER_SKIP)
            FResults.FFilterCode = FILTER_SKIPPED;
        return;
    }
    if (FLocalFileName.empty()) {
        LogEvent(etWarning, "No local file name for " + FURL.GetURLWithoutUserInfo(), "DownloadFTPFile", kUnit);
        return;
    }
    if (ThroughLinkInDestination(FLocalFileName, "DownloadFTPFile"))
        return;
    if (SafeFileExists(FLocalFileName) && !FJobOptions.JobOptions.UpdateOldFiles) {
        FResults.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
        return;
    }
    const TProxyServerInfo& proxy = FJobOptions.FTPProxy;
    const bool gateway = ProxyInUse(proxy) && StartsWithNoCase(TrimText(proxy.Address), "ftp://");
    if (gateway)
        LogEvent(etWarning, "FTP gateway proxy " + proxy.Address + " not supported; fetching directly",
                 "DownloadFTPFile", kUnit);
    if (!ProxyInUse(proxy) || gateway)
        DownloadFTPNoProxy(*session);
    else
        DownloadFTPCERNProxy(*session);
}

void TFileDownloadThread::DownloadFTPNoProxy(TInternetSession& session)
{
    TURL url;
    url.Assign(FURL);
    ApplyStoredPassword(url);
    if (CancelSeen())
        return;
    TFtpRequest request;
    request.Host = url.GetHostName();
    request.Port = url.GetPort();
    request.Path = url.GetURLPath();
    request.Username = url.GetUserName();
    request.Password = url.GetPassword();
    request.Passive = FJobOptions.JobOptions.UsePassiveFTP;

    TFtpFileInfo info;
    if (!session.FtpFindFile(request, info)) {
        const uint32_t code = GetLastErrorCode();
        LogAPIError("FtpFindFirstFile " + request.Path, "DownloadFTPFile", kUnit);
        RecordLastError();
        CancelSeen();
        if (code == errc::NoMoreFiles) {
            FResults.FErrorCodeValid = 0;
            FResults.FErrorCode = 0;
            FResults.FStatusValid = 1;
            FResults.FStatusCode = 550;
            FResults.FStatusText = "File Not Found";
        }
        return;
    }
    const TFileTime serverTime = info.LastWriteTime > 0 ? FileTimeFromUtc(info.LastWriteTime) : 0;

    // FTP always starts afresh.
    if (!DropPartFile("DownloadFTPFile"))
        return;
    if (SafeFileExists(FLocalFileName)) {
        // UpdateOldFiles is on: keep a copy that is as new as the server's and of its size.
        TFileTime creation = 0, lastWrite = 0;
        int64_t size = -1;
        if (GetExistingFileDate(FLocalFileName, creation, lastWrite) && ThreadSafeFileByteSize(FLocalFileName, size) &&
            info.Size >= 0 && size == info.Size && lastWrite >= serverTime) {
            FResults.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
            return;
        }
        // The old copy is replaced only once the new one is complete.
    }

    const int64_t size = info.Size > 0 ? info.Size : 0;
    FProgress.FExpectedSize.store(size);
    FResults.FFilterCode = Filter().AcceptDownloadAfterResponse(FURL, std::string(), FDepth, size);
    if (FResults.FFilterCode != FILTER_ACCEPTED)
        return;
    if (!session.FtpOpenFile(request)) {
        LogAPIError("FtpOpenFile " + request.Path, "DownloadFTPFile", kUnit);
        RecordLastError();
        CancelSeen();
        Filter().EndAcceptedDownload(size, 0, false);
        return;
    }
    FinishFileDownload(session, 0, size, false, serverTime, size);
    session.CloseRequest();
}

void TFileDownloadThread::DownloadFTPCERNProxy(TInternetSession& session)
{
    TURL url;
    url.Assign(FURL);
    ApplyStoredPassword(url);
    if (CancelSeen())
        return;
    const TCopyJobDownloadOptions& job = FJobOptions.JobOptions;
    TInternetRequest request;
    request.Scheme = "ftp";
    request.Host = url.GetHostName();
    request.Port = url.GetPort();
    request.ObjectName = url.GetURLPath();
    request.Username = url.GetUserName();
    request.Password = url.GetPassword();
    request.AllowCookies = job.AllowCookies;
    request.PassiveFTP = job.UsePassiveFTP;
    // The proxy's credentials answer its challenge, within the one request.
    const TProxyServerInfo& proxy = FJobOptions.FTPProxy;
    request.ProxyUsername = proxy.Username;
    request.ProxyPassword = proxy.Password;
    if (!session.SendHttpRequest(request)) {
        LogAPIError("InternetOpenURL " + FURL.GetURLWithoutUserInfo(), "DownloadFTPCERNProxy", kUnit);
        RecordLastError();
        CancelSeen();
        return;
    }
    const bool viaHttp = session.IsHttpResponse();
    if (viaHttp) {
        if (!GetHTTPStatus(session)) {
            session.CloseRequest();
            return;
        }
        // Only the file itself is kept, never a proxy's error page.
        if (FResults.FStatusCode < 200 || FResults.FStatusCode > 299) {
            LogAllHTTPResponseHeaders(session);
            session.CloseRequest();
            return;
        }
    }
    if (!DropPartFile("DownloadFTPCERNProxy")) {
        session.CloseRequest();
        return;
    }
    int64_t length = 0;
    TFileTime lastModified = 0;
    if (viaHttp) {
        if (!GetHTTPContentLength(session, length)) {
            session.CloseRequest();
            return;
        }
        if (session.BodyCoding() == TInternetSession::TBodyCoding::Decoded)
            length = 0;  // the decoded size is not announced
        lastModified = GetHTTPLastModifiedTime(session);
    } else {
        if (!session.QueryContentLength(length))
            length = 0;
    }
    FProgress.FExpectedSize.store(length);
    // This route has no check after the response: the file is counted without a reservation.
    Filter().IncrementFileCount();
    FinishFileDownload(session, 0, length, false, lastModified, 0);
    session.CloseRequest();
}
