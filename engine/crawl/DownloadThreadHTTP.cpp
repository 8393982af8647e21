// The HTTP and HTTPS download of TFileDownloadThread.
#include "engine/crawl/DownloadThread.h"

#include "engine/services/AppTraceLog.h"
#include "engine/crawl/CopyIndex.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/crawl/PartRecord.h"
#include "engine/services/WorkingFiles.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/InternetSession.h"
#include "platform/TextUtils.h"

namespace {

const char* const kUnit = "DownloadThread";
constexpr size_t kMaxMimeType = 100;
constexpr size_t kMaxRawHeaders = 3000;
constexpr int kLastAttempt = 5;  // attempts are numbered 0..5

// The index of the copy records this file for the address asked about.
bool IsRecordedCopy(const std::string& localName, const TCopyIndexEntry* indexed)
{
    return indexed != nullptr && indexed->localName == localName;
}

// The conditional headers for a file that is (partly) on disk.
struct TUpdateHeaders {
    std::string IfModifiedSince;  // empty: none
    std::string IfNoneMatch;      // empty: none
    std::string Range;            // with its If-Range line; empty: none
    int64_t PartSize = 0;         // the "#part" file's size when a Range line was made
    TPartRecord Part;             // the version the "#part" file holds, then
};

std::string IfModifiedSinceLineFor(const std::string& name, const TFileStamp& stamp)
{
    // POSIX file times are UTC on every file system.
    const int64_t seconds = stamp.modifiedNs / 1000000000 - (stamp.modifiedNs % 1000000000 < 0 ? 1 : 0);
    std::string line = FormatIfModifiedSinceLine(static_cast<time_t>(seconds));
    if (line.empty())
        LogEvent(etWarning, "Unable to create If Modified Since header for " + name, "CreateUpdateDLHeaders", kUnit);
    return line;
}

// The unfinished body of localName when it can be continued for url: it holds a known version
// of that address.
bool ResumablePart(const std::string& localName, const TURL& url, TPartRecord& record, int64_t& size)
{
    TDownloadFilter* filter = TDownloadFilter::Instance();
    TFileStamp stamp;
    if (filter == nullptr || !filter->IsFileOfCopy(PartFileName(localName), &stamp))
        return false;
    size = stamp.size;
    return size > 0 && ReadPartRecord(localName, record) && record.address == url.GetURLWithoutUserInfo();
}

bool ResumablePart(const std::string& localName, const TURL& url)
{
    TPartRecord record;
    int64_t size = 0;
    return ResumablePart(localName, url, record, size);
}

// A whole copy asks with the validators the index of the copy recorded for it, else with its
// last-write time (the server's date when it gave one); an unfinished body asks for the rest of
// its own version. Only a file of the copy counts: one reached through a symbolic link is not
// asked about.
TUpdateHeaders CreateUpdateDLHeaders(TDownloadFilter& filter, const std::string& localName,
                                     const TCopyIndexEntry* indexed, const TURL& url)
{
    TUpdateHeaders headers;
    TFileStamp stamp;
    if (ResumablePart(localName, url, headers.Part, headers.PartSize)) {
        headers.Range = "Range: bytes=" + std::to_string(headers.PartSize) + "-\r\nIf-Range: " + headers.Part.IfRange();
    } else if (filter.IsFileOfCopy(localName, &stamp)) {
        const bool recorded = IsRecordedCopy(localName, indexed);
        headers.IfModifiedSince = recorded && !indexed->lastModified.empty()
                                      ? "If-Modified-Since: " + indexed->lastModified
                                      : IfModifiedSinceLineFor(localName, stamp);
        if (recorded && !indexed->etag.empty())
            headers.IfNoneMatch = "If-None-Match: " + indexed->etag;
    }
    return headers;
}

// Header lines for the event log: the values of lines that carry credentials are left out.
std::string HeadersForLog(const std::string& text)
{
    static const char* const secret[] = {"authorization", "proxy-authorization", "cookie", "set-cookie"};
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = TrimText(line.substr(0, colon));
            for (const char* s : secret)
                if (SameTextIgnoringCase(name, s)) {
                    line = name + ": ***\r\n";
                    break;
                }
        }
        out += line;
        pos = end;
    }
    return out;
}

std::string WithLineEnd(const std::string& text)
{
    if (text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0))
        return text;
    return text + "\r\n";
}

}  // namespace

void TFileDownloadThread::DownloadHTTPOrHTTPS()
{
    const bool secure = FURL.GetScheme() == usHTTPS;
    std::shared_ptr<TInternetSession> session = TakeSession(secure ? &TFileDownloadThread::FHTTPSSession
                                                                   : &TFileDownloadThread::FHTTPSession);
    if (!session) {
        RecordLastError();
        return;
    }
    TCopyIndexEntry indexed;
    const bool inCopy = Filter().FindInCopy(FURL, indexed) && Filter().IsFileOfCopy(indexed.localName);
    if (inCopy && !FJobOptions.JobOptions.UpdateOldFiles && TakeFileOfCopy(indexed))
        return;
    bool useConditions = true;
    for (int attempt = 0; attempt <= kLastAttempt; ++attempt) {
        if (CancelSeen())
            return;  // no further connection after a cancel
        const TAttemptEnd end =
            DownloadHTTPAttempt(*session, secure, useConditions, attempt < kLastAttempt, inCopy ? &indexed : nullptr);
        if (end == TAttemptEnd::Done)
            return;
        if (end == TAttemptEnd::RetryWithoutConditions)
            useConditions = false;
    }
}

bool TFileDownloadThread::TakeFileOfCopy(const TCopyIndexEntry& indexed)
{
    FProgress.FMimeType = indexed.mimeType.substr(0, kMaxMimeType);
    if (!WaitForFilenameOrCancellation()) {
        if (FAnswer.load(std::memory_order_acquire) == ANSWER_SKIP)
            FResults.FFilterCode = FILTER_SKIPPED;
        return true;
    }
    if (FLocalFileName.empty() || !Filter().IsFileOfCopy(FLocalFileName))
        return false;
    FResults.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
    return true;
}

TFileDownloadThread::TAttemptEnd TFileDownloadThread::DownloadHTTPAttempt(TInternetSession& session, bool secure,
                                                                         bool useConditions, bool canRetry,
                                                                         const TCopyIndexEntry* indexed)
{
    const TCopyJobDownloadOptions& job = FJobOptions.JobOptions;
    const bool nameKnown = FAnswer.load(std::memory_order_acquire) == ANSWER_GO;
    if (nameKnown && !job.UpdateOldFiles && Filter().IsFileOfCopy(FLocalFileName)) {
        FResults.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
        return TAttemptEnd::Done;
    }

    TURL url;
    url.Assign(FURL);
    ApplyStoredPassword(url);
    TInternetRequest request;
    request.Scheme = secure ? "https" : "http";
    request.Host = url.GetHostName();
    request.Port = url.GetPort();
    request.Username = url.GetUserName();
    request.Password = url.GetPassword();
    request.AllowCookies = job.AllowCookies;
    const TProxyServerInfo& proxy = FJobOptions.HTTPProxy;
    if (!secure && ProxyInUse(proxy) && !proxy.Username.empty()) {
        request.ProxyUsername = proxy.Username;
        request.ProxyPassword = proxy.Password;
    }

    // The conditions are those of the answered name; on an update run before the answer, those
    // of the file the index of the copy names, else of the copy the address has when its type
    // adds no extension, so that an unchanged file costs one conditional request.
    std::string conditionsFor;
    if (nameKnown)
        conditionsFor = FLocalFileName;
    else if (job.UpdateOldFiles)
        conditionsFor = indexed != nullptr ? indexed->localName : UntypedLocalFileName();
    TUpdateHeaders update;
    if (!conditionsFor.empty())
        update = CreateUpdateDLHeaders(Filter(), conditionsFor, indexed, FURL);
    // An unfinished body of the answered name that cannot be continued (no Range for it) is of
    // no use.
    if (nameKnown && update.Range.empty() && !DropPartFile("DownloadHTTPOrHTTPS"))
        return TAttemptEnd::Done;
    bool fetchingWhole = false;
    if (update.Range.empty() && (!update.IfModifiedSince.empty() || !update.IfNoneMatch.empty()) &&
        FetchWholeForLinks(conditionsFor, indexed)) {
        update.IfModifiedSince.clear();
        update.IfNoneMatch.clear();
        fetchingWhole = true;
    }
    request.HeaderText = WithLineEnd(job.HTTPHeaders);
    const bool ifModifiedSinceSent = useConditions && !update.IfModifiedSince.empty();
    if (ifModifiedSinceSent)
        request.HeaderText += update.IfModifiedSince + "\r\n";
    const bool ifNoneMatchSent = useConditions && !update.IfNoneMatch.empty();
    if (ifNoneMatchSent)
        request.HeaderText += update.IfNoneMatch + "\r\n";
    const bool rangeSent = !update.Range.empty();
    if (rangeSent)
        request.HeaderText += update.Range + "\r\n";
    FResults.FConditional = ifModifiedSinceSent || ifNoneMatchSent ? 1 : 0;
    // Character references were decoded when the link was found; the address is sent as it is.
    request.ObjectName = url.GetURLPath() + url.GetExtraInfo();
    if (FReferrer.IsValid() && job.UseReferrer)
        request.Referrer = FReferrer.GetURLWithoutUserInfo();

    if (!session.SendHttpRequest(request)) {
        LogAPIError("HTTPSendRequest " + FURL.GetURLWithoutUserInfo() + "\r\n" + HeadersForLog(request.HeaderText),
                    "DownloadHTTPOrHTTPS", kUnit);
        RecordLastError();
        CancelSeen();
        return TAttemptEnd::Done;
    }
    if (!GetHTTPStatus(session)) {
        session.CloseRequest();
        return TAttemptEnd::Done;
    }

    if (!nameKnown) {
        std::string mimeType;
        // A 304 seldom names a type: the copy's own type names its file.
        if (session.QueryHeader("Content-Type", mimeType))
            FProgress.FMimeType = mimeType.substr(0, kMaxMimeType);
        else if (indexed != nullptr)
            FProgress.FMimeType = indexed->mimeType.substr(0, kMaxMimeType);
        const bool go = WaitForFilenameOrCancellation();
        if (FAnswer.load(std::memory_order_acquire) == ANSWER_SKIP) {
            FResults.FFilterCode = FILTER_SKIPPED;
            session.CloseRequest();
            return TAttemptEnd::Done;
        }
        if (!go) {
            session.CloseRequest();
            return TAttemptEnd::Done;
        }
        if (FLocalFileName.empty()) {
            LogEvent(etWarning, "No local file name for " + FURL.GetURLWithoutUserInfo(), "DownloadHTTPOrHTTPS", kUnit);
            session.CloseRequest();
            return TAttemptEnd::Done;
        }
        if (ThroughLinkInDestination(FLocalFileName, "DownloadHTTPOrHTTPS")) {
            session.CloseRequest();
            return TAttemptEnd::Done;
        }
        const bool askedForThisCopy =
            conditionsFor == FLocalFileName && (FResults.FConditional || rangeSent || fetchingWhole);
        if (!askedForThisCopy && (SafeFileExists(FLocalFileName) || ResumablePart(FLocalFileName, FURL))) {
            // Ask again, now with the conditional headers of the copy on disk.
            session.CloseRequest();
            return canRetry ? TAttemptEnd::Retry : TAttemptEnd::Done;
        }
    }

    switch (FResults.FStatusCode) {
    case 200:
    case 205:
    case 206:
        return HandleHTTPBody(session, rangeSent ? &update.Part : nullptr, update.PartSize, canRetry);
    case 201:
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        HandleRedirect(session);
        session.CloseRequest();
        return TAttemptEnd::Done;
    case 304:
        return HandleNotModified(session, canRetry);
    case 412:
    case 416:
        LogAllHTTPResponseHeaders(session);
        // The "#part" no longer fits; the local copy stays until a new one is complete.
        return DropPartFileAndRetry(session, canRetry);
    default:
        LogAllHTTPResponseHeaders(session);
        session.CloseRequest();
        return TAttemptEnd::Done;
    }
}

bool TFileDownloadThread::FetchWholeForLinks(const std::string& localName, const TCopyIndexEntry* indexed) const
{
    return FJobOptions.JobOptions.UpdateOldFiles && !IsRecordedCopy(localName, indexed) &&
           ParseKindOf(FURL, indexed != nullptr ? indexed->mimeType : std::string(), localName) != 0;
}

TFileDownloadThread::TAttemptEnd TFileDownloadThread::HandleNotModified(TInternetSession& session, bool canRetry)
{
    GetHTTPValidators(session);
    session.CloseRequest();
    if (!FResults.FConditional) {
        // Nothing was asked that "not modified" could answer: the copy is not confirmed.
        LogEvent(etWarning, "Not modified without conditions: " + FURL.GetURLWithoutUserInfo(), "DownloadHTTPOrHTTPS",
                 kUnit);
        return TAttemptEnd::Done;
    }
    if (!SafeFileExists(FLocalFileName)) {
        // The copy the server confirms has gone meanwhile: fetch the file whole.
        FResults.FConditional = 0;
        return canRetry ? TAttemptEnd::RetryWithoutConditions : TAttemptEnd::Done;
    }
    return TAttemptEnd::Done;
}

void TFileDownloadThread::GetHTTPValidators(TInternetSession& session)
{
    FResults.FLastModified.clear();
    FResults.FETag.clear();
    std::string value;
    if (session.QueryHeader("Last-Modified", value))
        FResults.FLastModified = TrimText(value);
    if (session.QueryHeader("ETag", value))
        FResults.FETag = TrimText(value);
}

std::string TFileDownloadThread::UntypedLocalFileName() const
{
    std::string name;
    return Filter().MapURLToLocalFile(FURL, std::string(), name) == FILTER_ACCEPTED ? name : std::string();
}

TFileDownloadThread::TAttemptEnd TFileDownloadThread::HandleHTTPBody(TInternetSession& session,
                                                                    const TPartRecord* resumed, int64_t partSize,
                                                                    bool canRetry)
{
    int64_t length = 0;
    if (!GetHTTPContentLength(session, length)) {
        session.CloseRequest();
        return TAttemptEnd::Done;
    }
    const TInternetSession::TBodyCoding coding = session.BodyCoding();
    const bool decoded = coding == TInternetSession::TBodyCoding::Decoded;
    if (coding == TInternetSession::TBodyCoding::Undecoded)
        LogEvent(etWarning,
                 "Content-Encoding \"" + session.ContentEncoding() + "\" of " + FURL.GetURLWithoutUserInfo() +
                     " cannot be decoded: saved as sent",
                 "DownloadHTTPOrHTTPS", kUnit);
    GetHTTPValidators(session);
    time_t lastModifiedUtc = 0, date = 0;
    const bool hasLastModified = session.QueryLastModified(lastModifiedUtc);
    const bool hasDate = session.QueryDateHeader("Date", date);
    int64_t resumeOffset = 0;
    if (FResults.FStatusCode == 206) {
        // Only a range of the version the "#part" holds that starts where it ends continues it;
        // the range of an encoded body counts encoded bytes, which the decoded "#part" does not
        // hold.
        std::string range;
        const int64_t start = session.QueryHeader("Content-Range", range) ? ContentRangeStart(range) : -1;
        if (resumed == nullptr || start != partSize || decoded ||
            !resumed->SameVersion(FResults.FETag, hasLastModified, lastModifiedUtc)) {
            LogEvent(etWarning,
                     "Partial answer \"" + range + "\" does not continue " + std::to_string(partSize) + " bytes of " +
                         FURL.GetURLWithoutUserInfo(),
                     "DownloadHTTPOrHTTPS", kUnit);
            return DropPartFileAndRetry(session, canRetry);
        }
        resumeOffset = partSize;
    }
    // A new body can be continued later only when its version can be named.
    TPartRecord record;
    const bool recorded = resumeOffset == 0 && !decoded &&
                          PartRecordForAnswer(FURL.GetURLWithoutUserInfo(), FResults.FETag, hasLastModified,
                                              lastModifiedUtc, hasDate, date, record);
    // An encoded length is a floor of the decoded size: the filter may refuse by it, but the
    // decoded size is not known before the end.
    const int64_t announced = length != 0 ? length + resumeOffset : 0;
    FProgress.FExpectedSize.store(decoded ? 0 : announced);
    const TFileTime lastModified = GetHTTPLastModifiedTime(session);
    FResults.FFilterCode = Filter().AcceptDownloadAfterResponse(FURL, FProgress.FMimeType, FDepth, announced);
    // A decoded "#part" cannot be continued by a range of the encoded body.
    if (FResults.FFilterCode == FILTER_ACCEPTED)
        FinishFileDownload(session, resumeOffset, decoded ? 0 : length, !decoded, lastModified, announced,
                           recorded ? &record : nullptr);
    session.CloseRequest();
    return TAttemptEnd::Done;
}

TFileDownloadThread::TAttemptEnd TFileDownloadThread::DropPartFileAndRetry(TInternetSession& session, bool canRetry)
{
    session.CloseRequest();
    if (!DropPartFile("DownloadHTTPOrHTTPS"))
        return TAttemptEnd::Done;
    return canRetry ? TAttemptEnd::Retry : TAttemptEnd::Done;
}

void TFileDownloadThread::HandleRedirect(TInternetSession& session)
{
    std::string location;
    session.QueryHeader("Location", location);
    TURL target;
    if (!target.SetFullURL(location) && !target.SetRelativeURL(location, FURL)) {
        LogEvent(etWarning, "Redirected to bad URI " + location + " from " + FURL.GetURLWithoutUserInfo(),
                 "DownloadHTTPOrHTTPS", kUnit);
        return;
    }
    // A server may not send the crawl to local files or other schemes.
    const int32_t scheme = target.GetScheme();
    if (scheme != usHTTP && scheme != usHTTPS && scheme != usFTP) {
        LogEvent(etWarning, "Redirected to unsupported URI " + location + " from " + FURL.GetURLWithoutUserInfo(),
                 "DownloadHTTPOrHTTPS", kUnit);
        return;
    }
    FResults.FRedirectURL.Assign(target);
}

bool TFileDownloadThread::GetHTTPStatus(TInternetSession& session)
{
    const int32_t code = session.StatusCode();
    if (code <= 0) {
        SetLastErrorCode(errc::HttpInvalidServerResponse);
        FResults.FErrorCodeValid = 1;
        FResults.FErrorCode = errc::HttpInvalidServerResponse;
        LogAPIError("HttpQueryInfo (status code)", "DownloadFTPCERNProxy", kUnit);
        return false;
    }
    FResults.FStatusCode = code;
    FResults.FStatusValid = 1;
    FResults.FStatusText = TrimText(session.StatusText().substr(0, 300));
    if (FResults.FStatusText.empty())
        FResults.FStatusText = std::to_string(code);
    return true;
}

bool TFileDownloadThread::GetHTTPContentLength(TInternetSession& session, int64_t& length)
{
    length = 0;
    if (session.QueryContentLength(length))
        return true;
    const bool conflicting = GetLastErrorCode() == errc::HttpInvalidServerResponse;
    LogAPIError("HTTPQueryInfo (content length)", "GetHTTPContentLength", kUnit);
    length = 0;
    if (!conflicting)
        return true;
    // Lengths that disagree: where the body ends is anyone's guess.
    SetLastErrorCode(errc::HttpInvalidServerResponse);
    RecordLastError();
    return false;
}

TFileTime TFileDownloadThread::GetHTTPLastModifiedTime(TInternetSession& session)
{
    time_t utc = 0;
    if (session.QueryLastModified(utc))
        return FileTimeFromUtc(utc);
    LogAPIError("HTTPQueryInfo (last modified date)", "GetHTTPLastModifiedTime", kUnit);
    return 0;
}

void TFileDownloadThread::LogAllHTTPResponseHeaders(TInternetSession& session)
{
    LogMessage("Response headers...\r\n" + HeadersForLog(session.RawHeaders().substr(0, kMaxRawHeaders)));
}
