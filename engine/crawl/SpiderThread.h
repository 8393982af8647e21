#pragma once
// The crawl thread: waits for start commands and runs one job at a time, from the job-started
// report to the job-ended report: downloads through the dispatcher, parses the pages for links,
// then rewrites links and post-processes pages and folders.
#include "engine/job/DownloadOptionTypes.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "platform/Thread.h"

#include "engine/crawl/CrawlControl.h"
#include "engine/job/JobTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

class TDownloadThreadDispacher;
class TSpiderDestObject;
class TSpiderDestObjectList;
class TSpiderObject;
class TSpiderObjectList;
class TParseAhead;
struct TParseTask;
class TURL;

class TSpiderThread : public TThread, public TCrawlControl {
public:
    // Created suspended; Resume() starts it.
    TSpiderThread();
    ~TSpiderThread() override;

    // Written by this thread only; others may read them.
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FCancelRequested{false};
    std::atomic<bool> FPaused{false};
    TCopyJob FJob;  // this thread's copy of the running job
    std::atomic<int32_t> FJobID{0};
    std::atomic<bool> FFinished{false};

    void RunJob(int32_t jobID, const TCopyJob& job, const TProxyServerInfo& httpProxy,
                const TProxyServerInfo& ftpProxy);

    // Take a cancel, then a stop command of the running job.
    void CheckStopRequests() override;
    // Take the pause and resume commands of the running job in the order posted, and report them.
    void CheckPauseRequests() override;
    bool Paused() const override { return FPaused.load(); }
    bool StopRequested() const override { return FStopRequested.load(); }
    // A cancel command, or the thread is being ended.
    bool CancelRequested() const override { return FCancelRequested.load() || Terminated(); }
    // Waits until a command may have arrived, at most 100 ms.
    void WaitForCommand() override;

    static void SetJobCookies(const TCookies& cookies);
    // Adds the address (or finds it); isNew tells whether it was added or requeued at a smaller
    // depth. Returns the list object's id (0 when it could not be added).
    int32_t AddSpiderObjectToList(TSpiderObjectList& spiders, const TURL& address, bool& isNew, const TURL* referrer,
                                  int32_t depth) override;
    void AddStartingAddress(TSpiderObjectList& spiders, const TCopyJob& job);
    // Gives the object its destination (the local file it maps to); True when it owns it.
    bool MapSpiderObjectToDest(TSpiderObject& object, TSpiderDestObjectList& dests,
                               TSpiderObjectList& spiders) override;
    void MapAllSpiderObjectsToDest(TSpiderObjectList& spiders, TSpiderDestObjectList& dests);
    // The destination at this index may now need parsing; while a job runs, helpers start
    // reading it.
    void NoteParseCandidate(int32_t destIndex) override;

    // Reads the downloaded pages for links, lowest destination index first. With downloads (the
    // dispatcher of the running job), pages are read while downloads run: it returns after a page
    // when a download runs or an address waits, and does not wait out a pause while a download
    // runs. A page read from the copy on disk whose local paths named a file that was not there
    // waits until no download runs (a download may yet write that file).
    void ParseFileListItems(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, const TCopyJob& job,
                            const TDownloadThreadDispacher* downloads = nullptr);
    // Downloaded pages wait to be read; "now": pages not yet held back for the downloads to end.
    bool HasPagesToRead() const { return !parseCandidates_.empty() || !localParseCandidates_.empty(); }
    bool HasPagesToReadNow() const override { return !parseCandidates_.empty(); }
    void RewriteLinksInListItems(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, const TCopyJob& job);

protected:
    void Execute() override;

private:
    void PostJobReport(uint8_t type);
    // The task of reading the destination's links as the parse driver would.
    static TParseTask ParseTaskOf(const TSpiderDestObject& dest, const TSpiderObject& owner);
    void OfferParse(int32_t destIndex);
    void EndParsingAhead();
    // Writes the index of the copy; a failure is logged, ends nothing and is told in the
    // job-ended report (False).
    bool SaveCopyIndex();
    // The job's destination takes names differing only in letter case for one file; probed once
    // a job, when two such names first meet.
    bool DestinationFoldsCase();
    uint8_t destinationFoldsCase_ = 0;  // 0 not yet probed, 1 folds, 2 keeps apart

    // The candidate to read next, -1 when none; withLocal: the pages held back too.
    int32_t TakeParseCandidate(bool withLocal);
    void ClearParseCandidates();

    // Destinations that may need parsing, by index: the parse driver always takes the lowest.
    std::set<int32_t> parseCandidates_;
    // Pages on disk held back while downloads ran: read when none runs.
    std::set<int32_t> localParseCandidates_;
    // The running job's lists and the helpers reading its pages ahead (none between jobs).
    TSpiderObjectList* jobSpiders_ = nullptr;
    TSpiderDestObjectList* jobDests_ = nullptr;
    std::unique_ptr<TParseAhead> parseAhead_;
    // Pages read from the copy whose rewrite would leave every link as written, by destination
    // index: the ids of the addresses they name absolute (a copy of one on disk changes that).
    std::unordered_map<int32_t, std::vector<int32_t>> rewriteKeeps_;
    // The page needs no rewrite: read from the copy, and no address it names absolute has a copy.
    bool RewriteKeepsPage(int32_t destIndex, const TSpiderObjectList& spiders, const TSpiderDestObjectList& dests,
                          const TCopyJob& job) const;
    TSpiderOutputMsg pauseReport_;
    TSpiderInputMsg pauseCommand_;
};
