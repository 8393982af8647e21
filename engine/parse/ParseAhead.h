#pragma once
// Reading downloaded pages' links on helper threads while the crawl thread is busy elsewhere.
// A helper reads a page as the crawl thread would and records the progress calls the parsers
// made; the crawl thread later takes the pages in its own order and adds their links, replaying
// the reports (TLinkParser::CommitPreparedParse). A page whose file or reading changed since is
// read again on the crawl thread, so what is added and reported is that of reading it then.
#include "engine/parse/CommonParser.h"
#include "engine/parse/LocalLinks.h"
#include "engine/job/LinkType.h"
#include "engine/services/ThreadSafeFileOps.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class TCSSParser;
class THTMLParser;

struct TParseTask {
    std::string fileName;
    std::string pageAddress;  // without user info: the base of the page's values
    bool localMode = false;
    int kind = 1;  // 2 a style sheet, else a page
    // A page on disk: the files the crawl's reading had removed when it was offered (its local
    // paths were looked for after that).
    int32_t filesRemoved = 0;
    // A page on disk whose address holds no user info: its local links are followed with the
    // reading (the crawl thread follows the others).
    bool followLocalLinks = false;
    bool operator==(const TParseTask&) const = default;
};

// What reading a page tells besides its links.
struct TPageFacts {
    std::string title;
    std::string charset;
    bool noFollow = false;
    bool noIndex = false;
    // Local paths that named no file (local mode): the reading depends on files yet to come.
    int32_t localFilesMissing = 0;
    // Local mode: the rewrite would leave every link as written while no address named has a
    // copy on disk to link to (RewriteKeepsLink).
    bool rewriteKeeps = false;
};

// Reads the file's links against base with the parser of its kind (2 a style sheet, else a
// page); facts (when given) take the local paths that named no file and, for a page, its title,
// character set and robots flags. In local mode a follower follows the links to files of the
// copy as they are read.
void ReadPageLinks(int kind, const std::string& fileName, const std::string& base, bool localMode, THTMLParser& html,
                   TCSSParser& css, TWebLinkList& list, TPageFacts* facts = nullptr,
                   TLocalLinkFollower* follower = nullptr);

struct TPreparedParse {
    TParseTask task;
    bool usable = false;  // False: the file was missing
    TFileStamp stamp;     // the file as it was before it was read
    std::vector<TRecordedProgress> progress;
    TWebLinkList list;
    bool failed = false;  // the reading raised errorText
    std::string errorText;
    TPageFacts facts;  // pages only
    TLocalLinks local;  // with followLocalLinks
};

// Reads the task's links with the parser of its kind, recording the progress calls instead of
// reporting them.
void PrepareParse(const TParseTask& task, THTMLParser& html, TCSSParser& css, TPreparedParse& out);

// True when the prepared result is that of reading the task's file now.
bool StillFits(const TPreparedParse& prepared, const TParseTask& task);

class TParseAhead {
public:
    explicit TParseAhead(int32_t helpers);
    // Stops the helpers; results not taken are dropped.
    ~TParseAhead();
    TParseAhead(const TParseAhead&) = delete;
    TParseAhead& operator=(const TParseAhead&) = delete;

    // Queues the page at this index; helpers take the lowest index first. An offer for an index
    // already queued or held replaces it.
    void Offer(int32_t index, TParseTask task);
    // Hands over the page's result, waiting while a helper reads it. False when it was never
    // prepared, or not for this task and file: the caller reads the page itself.
    bool Take(int32_t index, const TParseTask& task, TPreparedParse& out);
    // Forgets the page: it will not be taken.
    void Drop(int32_t index);
    // Waits until helpers have started every page queued, or the window is full.
    void WaitWhileQueued();

    // Results held at once (read or being read): bounds the memory of links waiting.
    static constexpr size_t Window = 16;
    // Large pages take longest to read: up to this many more are read as soon as they are
    // offered, whatever their place, so that the crawl thread seldom waits for one.
    static constexpr size_t LargeAhead = 2;
    static constexpr int64_t LargePageSize = int64_t{1} << 20;

private:
    struct THeld {
        bool ready = false;
        bool dropped = false;
        bool large = false;
        TPreparedParse result;
    };
    void EraseHeldLocked(std::unordered_map<int32_t, THeld>::iterator held);
    void EraseQueuedLocked(std::map<int32_t, TParseTask>::iterator queued);
    void Work();
    // Lets the result held for the index go (at once when read, else when its helper is done);
    // True when a place in the window was freed.
    bool ForgetHeldLocked(int32_t index);
    // The queued page a helper reads next, none being read: the lowest large one while fewer
    // than LargeAhead are held, else the lowest one while the window has room; end() when none.
    std::map<int32_t, TParseTask>::iterator NextQueued();

    std::mutex lock_;
    std::condition_variable workWaiting_;  // helpers wait here for a task and room in the window
    std::condition_variable resultReady_;  // the crawl thread waits here for a page being read or started
    std::map<int32_t, TParseTask> queued_;
    std::set<int32_t> largeQueued_;  // the indexes of queued_ whose files were large when offered
    std::unordered_map<int32_t, THeld> held_;
    size_t largeHeld_ = 0;
    bool stopping_ = false;
    int32_t awaited_ = -1;       // the page Take waits for
    int32_t queueWatchers_ = 0;  // callers of WaitWhileQueued
    std::vector<std::thread> helpers_;
};
