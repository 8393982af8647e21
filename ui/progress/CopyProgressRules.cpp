#include "ui/progress/CopyProgressRules.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/FilterCodes.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/job/URLType.h"
#include "ui/options/FileCountAndSize.h"
#include "ui/common/PageTexts.h"
#include "ui/common/UIStrings.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <cmath>
#include <cstdio>

std::string FormatETA(int64_t expectedSize, int64_t bytesReceived, int64_t elapsedMs, int64_t resumeOffset)
{
    if (expectedSize <= 0 || bytesReceived == 0 || elapsedMs <= 0)
        return std::string();
    double speed = static_cast<double>(bytesReceived - resumeOffset) / (static_cast<double>(elapsedMs) / 1000.0);
    if (!(speed > 0))
        return std::string();
    double remaining = static_cast<double>(expectedSize - bytesReceived) / speed;
    if (remaining < 1)
        remaining = 1;
    // Ten thousand hours and more is shown as that much; nothing waits that long.
    constexpr double kLongest = 36000000.0;
    if (remaining > kLongest)
        remaining = kLongest;
    auto seconds = static_cast<int64_t>(std::nearbyint(remaining));
    int64_t hours = seconds / 3600;
    int64_t minutes = (seconds % 3600) / 60;
    int64_t secs = seconds % 60;
    char text[48];
    if (hours == 0)
        std::snprintf(text, sizeof text, "%.2lld:%.2lld", static_cast<long long>(minutes), static_cast<long long>(secs));
    else
        std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(secs));
    return text;
}

std::string DownloadDoneText(int64_t expectedSize, int64_t bytesReceived)
{
    if (expectedSize <= 0)
        return FormatByteCount(bytesReceived);
    // 64-bit: received * 100 cannot overflow for any real size.
    return std::to_string(bytesReceived * 100 / expectedSize) + "%";
}

bool IsSuccessStatus(int32_t scheme, int32_t statusCode)
{
    if (scheme == usFTP)
        return statusCode == 200;
    switch (statusCode) {
    case 200: case 205: case 206: case 301: case 302: case 304: case 307: case 412:
        return true;
    default:
        return false;
    }
}

bool IsWinINetErrorCode(int32_t code)
{
    return code >= static_cast<int32_t>(errc::InternetBase) && code <= static_cast<int32_t>(errc::InternetLast);
}

namespace {

// An address as the lists show it: without user name and password; an e-mail address bare.
std::string ShownAddress(const TURL& url)
{
    if (url.GetScheme() == usMailto)
        return StdStr(ReadableAddressText(url.GetMailtoAddress()));
    return url.GetURLWithoutUserInfo();
}

// A file the download wrote is named even when it is gone by the time the report is read: the
// flattening at the end of a job may have moved it already, and its reports follow.
bool HasLocalFile(const TFileDownloadMsg& download)
{
    if (download.FLocalFile.empty())
        return false;
    return download.FResults.FFileWritten || SafeFileExists(download.FLocalFile);
}

}  // namespace

std::string GetDisplayLocationForMessage(const TSpiderOutputMsg& msg)
{
    const TFileDownloadMsg& download = msg.FDownload;
    const TFileDownloadResults& results = download.FResults;
    std::string location;
    switch (msg.FMsgType) {
    case OUTMSG_DOWNLOAD_STARTED:
    case OUTMSG_DOWNLOAD_PROGRESS:
        location = ShownAddress(download.FURL);
        break;
    case OUTMSG_READ_STARTED:
    case OUTMSG_WRITE_STARTED:
        location = msg.FReadWrite.FLocalFile;
        break;
    case OUTMSG_DOWNLOAD_ENDED:
        if (results.FResult == DL_RESULT_CANCELLED || results.FResult == DL_RESULT_JOB_CANCELLED ||
            results.FResult == DL_RESULT_EXCEPTION)
            location = ShownAddress(download.FURL);
        else if (results.FErrorCodeValid)
            location = IsWinINetErrorCode(results.FErrorCode) ? ShownAddress(download.FURL) : download.FLocalFile;
        else if (results.FFiltered)
            location = results.FFilterCode == FILTER_PREVIOUSLY_DOWNLOADED ? download.FLocalFile
                                                                          : ShownAddress(download.FURL);
        else
            location = HasLocalFile(download) ? download.FLocalFile : ShownAddress(download.FURL);
        break;
    default:
        break;
    }
    if (location.empty())
        LogEvent(etWarning, "No result for " + download.FURL.GetURLWithoutUserInfo(), "GetDisplayLocationForMessage",
                 "CopyProgress");
    return location;
}

int FilteredReasonTextId(uint8_t filterCode)
{
    // No default: a new code without a text here does not build.
    switch (static_cast<TFilterCode>(filterCode)) {
    case FILTER_LOCATION: return 272;
    case FILTER_DEPTH: return 273;
    case FILTER_ADDRESS: return 274;
    case FILTER_HOST: return 275;
    case FILTER_FILE_COUNT: return 276;
    case FILTER_FILE_SIZE: return 277;
    case FILTER_JOB_SIZE: return 278;
    case FILTER_EXTENSION: return 279;
    case FILTER_MIME_TYPE: return 280;
    case FILTER_QUERY: return 281;
    case FILTER_PASSWORD: return 282;
    case FILTER_PROTOCOL: return 283;
    case FILTER_JOB_TIME: return 284;
    case FILTER_PREVIOUSLY_DOWNLOADED: return 285;
    case FILTER_NONE:
    case FILTER_ACCEPTED:
    case FILTER_SKIPPED:
        return 0;
    }
    return 0;
}

std::string FilteredReasonText(uint8_t filterCode)
{
    const int id = FilteredReasonTextId(filterCode);
    return id != 0 ? UIString(id) : "?";
}

std::string GetResultText(const TSpiderOutputMsg& msg, bool friendly)
{
    const TFileDownloadResults& results = msg.FDownload.FResults;
    const std::string referrer = msg.FDownload.FReferrer.GetURLWithoutUserInfo();
    if (results.FResult == DL_RESULT_CANCELLED || results.FResult == DL_RESULT_JOB_CANCELLED)
        return UIString(269);
    if (results.FResult == DL_RESULT_EXCEPTION)
        return UIString(270) + " (" + results.FExceptionText + ")";
    if (results.FErrorCodeValid)
        return GetErrorText(static_cast<uint32_t>(results.FErrorCode));
    if (results.FFiltered) {
        if (msg.FDownload.FURL.GetScheme() != usMailto)
            return FilteredReasonText(results.FFilterCode);
        return referrer.empty() ? UIString(286) : UIString(286) + " (" + referrer + ")";
    }
    std::string text;
    if (friendly) {
        switch (results.FStatusCode) {
        case 200: case 201: case 202: case 203: case 205: case 206: case 301: case 302: case 304: case 307:
            text = "OK";
            break;
        default:
            break;
        }
    }
    if (text.empty()) {
        const std::string& status = results.FStatusText;
        for (size_t i = 0; i < status.size(); ++i) {
            if (status[i] == '\r' && i + 1 < status.size() && status[i + 1] == '\n') {
                text += '\\';
                ++i;
            } else {
                text += status[i];
            }
        }
        if (results.FStatusCode == 404 && !referrer.empty())
            text += " (" + referrer + ")";
    }
    return text == "200" ? "OK" : text;
}

int32_t GetResultImage(const TSpiderOutputMsg& msg)
{
    const TFileDownloadResults& results = msg.FDownload.FResults;
    switch (results.FResult) {
    case DL_RESULT_CANCELLED: return riCancelled;
    case DL_RESULT_JOB_CANCELLED: return riRetryable;
    case DL_RESULT_EXCEPTION: return riError;
    default: break;
    }
    if (results.FErrorCodeValid) {
        switch (results.FErrorCode) {
        case 32: case 112: case 12002: case 12017: case 12029: case 12163:
            return riRetryable;
        default:
            return riError;
        }
    }
    if (results.FFiltered)
        return msg.FDownload.FURL.GetScheme() == usMailto ? riEmail : riFiltered;
    if (IsSuccessStatus(msg.FDownload.FURL.GetScheme(), results.FStatusCode))
        return riSuccess;
    switch (results.FStatusCode) {
    case 401: case 407: case 503: return riRetryable;
    case 404: return riNotFound;
    default: return riError;
    }
}

std::vector<std::string> SplitURLForSiteMap(const TURL& address)
{
    std::string text = address.GetURL(false, true, false, false, true);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    if (parts.size() >= 3 && parts[1].empty()) {
        parts[0] += "//" + parts[2];
        parts.erase(parts.begin() + 1, parts.begin() + 3);
    }
    parts.back() += address.GetExtraInfo();
    // "my page.html" and "my%20page.html" name one file: the map shows both as the first.
    for (size_t i = 1; i < parts.size(); ++i)
        parts[i] = StdStr(ReadableAddressText(parts[i]));
    return parts;
}

std::string FoldToOneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return text;
}

std::string SiteMapTitle(const std::string& title)
{
    const std::string text(TrimLineSpace(FoldToOneLine(title)));
    // Cut after the 80th character, never inside one.
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == 80)
            return text.substr(0, i);
    }
    return text;
}
