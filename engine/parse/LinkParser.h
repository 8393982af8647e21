#pragma once
// The parse driver: reads the links of a downloaded page or style sheet into the job's address
// list, and rewrites the links of a saved one for offline browsing, reporting both through the
// output queue. Used by the crawl thread alone.
#include "engine/parse/LinkRewrite.h"
#include "engine/job/SpiderObject.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "platform/Singleton.h"

#include <cstdint>
#include <string>
#include <vector>

class TCopyJob;
class TJobControl;
class TSpiderDestObjectList;
class TURL;
struct TPreparedParse;
struct TPreparedRewrite;
struct TLocalLinks;
class TWebLinkList;

// Posts reports through the output queue, numbering page reads and file writes apart.
class TReadWriteOutputMessenger : public TSingleton<TReadWriteOutputMessenger> {
public:
    // With numberIt, a read-started report gets the next read number and a write-started report
    // the next write number.
    bool PostNumbered(TSpiderOutputMsg& msg, bool numberIt);

private:
    int32_t reads_ = 0;
    int32_t writes_ = 0;
};

// Posts a numbered read-started or write-started report of the kind (RW_KIND_...) for the file;
// pageURL is the page's address (none for post-processing).
void PostStarted(TSpiderOutputMsg& msg, uint8_t type, uint8_t kind, const std::string& fileName,
                 const TURL* pageURL);

// The rewrite options a job asks for.
TLinkReplaceOptions RewriteOptionsOf(const TCopyJob& job);

// The destination id of an address (of its redirect target when it was redirected), 0 none.
// Only reads the list.
int32_t DestIDOfAddress(const TSpiderObjectList& spiders, const TURL& address);
// The same for the address of the object with this id.
int32_t DestIDOfObject(const TSpiderObjectList& spiders, int32_t objectID);

// An address's local file, from the job's lists (set for the length of one rewrite).
class TURLToFilenameMapper : public TSingleton<TURLToFilenameMapper> {
public:
    // Lists other than the last ones (or a destination list that has grown) forget which files
    // were found on disk.
    void SetLists(TSpiderObjectList* spiderList, TSpiderDestObjectList* destList);
    void ClearLists();
    // Forgets which files were found on disk (files may have come or gone since).
    void ForgetFiles();
    // The local file of the address (of its redirect target when it was redirected); empty when
    // the address is not in the job or has no file.
    std::string MapURLToFilename(const TURL& address);
    // The same, but only when the file exists; each destination is looked for on disk once.
    std::string MapURLToAvailableFile(const TURL& address);

private:
    int32_t DestIDOf(const TURL& address);

    TSpiderObjectList* spiderList_ = nullptr;
    TSpiderDestObjectList* destList_ = nullptr;
    // Which destinations exist on disk, by id (0 unknown, 1 present, 2 absent), for the lists below.
    std::vector<uint8_t> present_;
    const TSpiderObjectList* presentSpiderList_ = nullptr;
    const TSpiderDestObjectList* presentDestList_ = nullptr;
    int32_t presentDestCount_ = 0;
};

class TLinkParser : public TSingleton<TLinkParser> {
public:
    // kind 2: a style sheet; anything else a page. contentType: the server's Content-Type of the
    // page, whose character set the page's report names before its own META. localMode: the file was not written by this
    // job (its values are local paths, and it is never deleted). A missing file gives no report.
    void ParseLinksIntoList(TJobControl& control, const std::string& fileName, bool localMode, bool honorNoIndex,
                            bool honorNoFollow, int32_t pageDepth, TSpiderDestObjectList& destList,
                            TSpiderObjectList& spiderList, int kind, const TURL& pageURL,
                            const std::string& contentType = std::string());
    // Adds the links of a page read ahead (TParseAhead) and reports them as ParseLinksIntoList
    // would have; a cancel taken while its progress is replayed ends the reading there.
    void CommitPreparedParse(TJobControl& control, TPreparedParse& prepared, const std::string& fileName,
                             bool localMode, bool honorNoIndex, bool honorNoFollow, int32_t pageDepth,
                             TSpiderObjectList& spiderList, int kind, const TURL& pageURL,
                             const std::string& contentType = std::string());
    // kind 2: a style sheet, 1 a page.
    void RewriteLinksInFile(TJobControl& control, const std::string& fileName, bool localMode, const TCopyJob& job,
                            TSpiderDestObjectList& destList, TSpiderObjectList& spiderList, int kind,
                            const TURL& pageURL);

    // Reports a page's rewrite prepared ahead (TRewriteAhead) and puts its new copy in place,
    // as RewriteLinksInFile would have; a cancel taken meanwhile leaves the page as it was.
    void CommitPreparedRewrite(TJobControl& control, TPreparedRewrite& prepared, const std::string& fileName,
                               const TCopyJob& job, const TURL& pageURL);

    // After a page from the copy was read: True when rewriting it would leave every link as
    // written unless one of the addresses it names absolute gets a copy on disk; absoluteIds
    // takes their ids (TSpiderObject::FID), each once.
    bool TakeRewriteKeeps(std::vector<int32_t>& absoluteIds);

    // Files removed by reading pages (NOINDEX honoured) since the program started.
    int32_t FilesRemoved() const { return filesRemoved_; }

private:
    // Reads the page, or takes what was read ahead, and adds and reports its links.
    void ReadLinksIntoList(TJobControl& control, TPreparedParse* prepared, const std::string& fileName,
                           bool localMode, bool honorNoIndex, bool honorNoFollow, int32_t pageDepth,
                           TSpiderObjectList& spiderList, int kind, const TURL& pageURL,
                           const std::string& contentType);
    // Replays the recorded progress calls and takes the links read ahead, with what following
    // their local links found (nothing when a cancel made it read the page again).
    void ReplayPreparedRead(TPreparedParse& prepared, int kind, const std::string& fileName,
                            const std::string& address, bool localMode, TWebLinkList& list, TLocalLinks& local);
    bool OnReadProgress(int64_t position, int64_t size);
    bool OnRewriteProgress(int64_t position, int64_t size);
    void Post(uint8_t type);
    // Hands the link reports gathered so far to the queue, in order, in as few posts as fit.
    void PostLinkReports();
    // Posts a progress report unless it repeats the last one of the same file.
    void PostProgress(uint8_t type, int64_t size, int32_t percent);
    // A new file: its first progress report is always posted.
    void ForgetProgress() { lastProgressType_ = 0; }
    void SetReadCallbacks();
    void ClearCallbacks();

    TSpiderOutputMsg msg_;
    // A page's link reports, gathered to be posted together.
    std::vector<TSpiderOutputMsg> linkReports_ = std::vector<TSpiderOutputMsg>(32);
    size_t batchedLinks_ = 0;
    uint8_t mode_ = 0;  // 0 reading links, 1 rewriting
    // The last progress report of the current file: one with the same values tells nothing new.
    uint8_t lastProgressType_ = 0;
    int64_t lastProgressSize_ = 0;
    int32_t lastProgressPercent_ = 0;
    TJobControl* control_ = nullptr;
    int32_t filesRemoved_ = 0;
    // What the last page read tells of its rewrite (TakeRewriteKeeps).
    bool lastReadKeeps_ = false;
    std::vector<int32_t> lastAbsoluteIds_;
};
