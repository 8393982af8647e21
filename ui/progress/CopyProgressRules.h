#pragma once
// The rules of the progress page that need no window: times left, percentages, result texts
// and images, the location shown for a report, and the parts of an address in the site map.
#include <cstdint>
#include <string>
#include <vector>

class TURL;
class TSpiderOutputMsg;

// Images of the completed list and the site map.
enum TResultImage : int32_t {
    riSuccess = 0,
    riFiltered = 1,
    riCancelled = 2,
    riRetryable = 3,  // cancelled with the job, or a failure worth trying again
    riError = 4,
    riNotFound = 5,
    riEmail = 6,
    riFolder = 7,
    riHost = 8,
    riRoot = 9,
    riImageCount = 10,
};

// Rows of the in-progress list, by their image.
enum TInProgressKind : int32_t {
    ipDownload = 0,
    ipRead = 1,
    ipWrite = 2,
    ipPrune = 3,
    ipFlatten = 4,
};

// Time left of a download from its average speed since it began (or resumed): "mm:ss" below
// an hour, else "h:mm:ss". Empty when the size is unknown, nothing has arrived yet or no time
// has passed.
std::string FormatETA(int64_t expectedSize, int64_t bytesReceived, int64_t elapsedMs, int64_t resumeOffset);

// "% Done" of a download: the whole percent and "%" for a known size, else the bytes received.
std::string DownloadDoneText(int64_t expectedSize, int64_t bytesReceived);

// Success for the result image: FTP only 200; other schemes 200, 205, 206, 301, 302, 304, 307, 412.
bool IsSuccessStatus(int32_t scheme, int32_t statusCode);
// An error number of the Internet layer (12000-12175), secure-connection failures included.
bool IsWinINetErrorCode(int32_t code);

// The Location shown for a report: the address (an e-mail address without "mailto:") of a
// download, the local file of a page read or write, and for a finished download the file when
// one was written, else the address.
std::string GetDisplayLocationForMessage(const TSpiderOutputMsg& msg);
// Result text of a finished download; friendly turns the usual success answers into "OK".
std::string GetResultText(const TSpiderOutputMsg& msg, bool friendly);
// Result image of a finished download (TResultImage).
int32_t GetResultImage(const TSpiderOutputMsg& msg);
// The language string that names a filter code's reason; 0 for a code that is no refusal shown
// as a row (accepted, skipped) or is unknown.
int FilteredReasonTextId(uint8_t filterCode);
// The text of a filter code (a code without one gives "?").
std::string FilteredReasonText(uint8_t filterCode);

// Host and path of address split at "/": the scheme and host form the first part, the query
// (with its "?") is added to the last part. A path ending in "/" gives an empty last part.
// Folder and file names are shown with readable escapes decoded.
std::vector<std::string> SplitURLForSiteMap(const TURL& address);

// A page title for the site map: one line, trimmed, at most 80 characters (UTF-8 aware).
std::string SiteMapTitle(const std::string& title);
// CR, LF and TAB become blanks.
std::string FoldToOneLine(std::string text);
