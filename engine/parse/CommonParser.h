#pragma once
// What the HTML and CSS parsers share: the page's address, the callbacks the parse driver sets
// before each use, and the resolution of found values to absolute addresses.
#include "engine/job/LinkType.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TLocalLinkFollower;
class TURL;

// (position, size) -> True to stop.
using TParserProgressCallback = std::function<bool(int64_t position, int64_t size)>;
// An address -> its local file name, empty when none.
using TAddressToFileCallback = std::function<std::string(const TURL& address)>;

// One call of a parser's progress callback, recorded by a helper thread to be replayed by the
// crawl thread.
struct TRecordedProgress {
    bool rewriting = false;  // the rewrite-progress callback, else read-progress
    int64_t position = 0;
    int64_t size = 0;
};

class TCommonParser {
public:
    TCommonParser() = default;
    virtual ~TCommonParser() = default;
    TCommonParser(const TCommonParser&) = delete;
    TCommonParser& operator=(const TCommonParser&) = delete;

    // True when the link must always be written as an absolute address.
    virtual bool ForceAbsoluteLink(const TWebLinkInfo& link) const = 0;

    // Gives every link its FURL. fileName locates the page: its folder is the base of local paths
    // (the process's current directory is never used or changed).
    void SetAbsoluteURLsInLinkList(const std::string& fileName, TWebLinkList& list);

    std::string FBaseURL;   // address of the file being read, without user info
    // The address the last list's values were resolved against (a BASE HREF or FBaseURL),
    // without user info; empty when there was none.
    std::string FLinkBase;
    uint8_t FLocalMode = 0; // 1: values are local file paths
    // Local mode: follows each link to a file of the copy as it is resolved; none to keep them.
    TLocalLinkFollower* FFollower = nullptr;
    // Local paths of the last list that named no file on disk (a download may yet write one).
    int32_t FLocalFilesMissing = 0;
    TParserProgressCallback OnReadProgress;
    TParserProgressCallback OnRewriteProgress;
    TAddressToFileCallback OnAddressToFile;

    void ClearCallbacks()
    {
        OnReadProgress = nullptr;
        OnRewriteProgress = nullptr;
        OnAddressToFile = nullptr;
    }
};

// The most of one page or style sheet that is read for links: of a larger file only the first
// bytes are read (the event log says so), so that reading links takes bounded memory whatever
// the file's size. The file itself stays whole.
constexpr int64_t kMaxLinkReadSize = int64_t{16} << 20;

// The most links kept from one page or style sheet (a link is a large record): later ones are
// passed over, and the event log says so.
constexpr int64_t kMaxLinksPerFile = 100000;

// The file's bytes up to maxSize. False, with the last error set, when it cannot be read or is
// not a regular file.
bool ReadFileForLinks(const std::string& fileName, std::string& data, int64_t maxSize = kMaxLinkReadSize);
// Logs a warning when the list of the file's links reached kMaxLinksPerFile.
void NoteLinksPassedOver(const std::string& fileName, const TWebLinkList& list);

// Byte-level text helpers of the parsers (ASCII case rules; "blank" is any byte up to 32).
namespace parsertext {

inline bool IsBlank(unsigned char c) { return c <= 32; }
inline bool IsAlnum(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace parsertext
