#pragma once
// Rewriting a job's pages on helper threads ahead of the crawl thread. A helper reads a page's
// links, writes the page's new copy to a temporary file and records the progress calls the
// parsers made; the crawl thread takes the pages in list order, replays their reports and puts
// each copy in place (TLinkParser::CommitPreparedRewrite). The reports, their order and the
// pages written are those of rewriting one page after the other.
#include "engine/parse/CommonParser.h"
#include "engine/services/FileRewrite.h"
#include "engine/parse/LinkRewrite.h"

#include <atomic>
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCSSParser;
class THTMLParser;
class TSpiderDestObjectList;
class TSpiderObjectList;

struct TRewriteTask {
    std::string fileName;
    std::string pageAddress;  // without user info
    bool localMode = false;
    int kind = 1;  // 2 a style sheet, else a page
};

struct TPreparedRewrite {
    bool missing = false;  // no plain file under the name: nothing is reported
    std::vector<TRecordedProgress> progress;
    std::unique_ptr<TFileRewrite> copy;  // the new copy, when the page has links
    bool failed = false;
    std::string errorText;
};

// Reads the task's links with the parser of its kind and writes the new copy, recording the
// progress calls instead of reporting them. addressToFile names an address's local copy when
// there is one on disk to link to.
void PrepareRewrite(const TRewriteTask& task, const TLinkReplaceOptions& options, THTMLParser& html,
                    TCSSParser& css, const TAddressToFileCallback& addressToFile, TPreparedRewrite& out,
                    TRewriteSpares* spares = nullptr);

class TRewriteAhead {
public:
    // The task of each index, made when a helper takes it (called by the helpers, one at a time).
    using TTaskAt = std::function<TRewriteTask(size_t index)>;
    // count tasks, told by at: a large job's tasks are never all held at once.
    struct TTasks {
        size_t count = 0;
        TTaskAt at;
    };

    // Starts the helpers on the tasks. The lists must not change while this object exists.
    TRewriteAhead(TTasks tasks, const TSpiderObjectList& spiders, const TSpiderDestObjectList& dests,
                  const TLinkReplaceOptions& options, int32_t helpers);
    // The same for tasks listed beforehand.
    TRewriteAhead(std::vector<TRewriteTask> tasks, const TSpiderObjectList& spiders,
                  const TSpiderDestObjectList& dests, const TLinkReplaceOptions& options, int32_t helpers);
    // Stops the helpers; copies not taken are dropped and their temporary files removed.
    ~TRewriteAhead();
    TRewriteAhead(const TRewriteAhead&) = delete;
    TRewriteAhead& operator=(const TRewriteAhead&) = delete;

    // Waits for the task's result and hands it over; each task once, in increasing order.
    TPreparedRewrite Take(size_t index);

    // Pages prepared ahead of the one taken last: bounds open files and temporary copies.
    static constexpr size_t Window = 32;

private:
    static TTasks Listed(std::vector<TRewriteTask> tasks);
    void Work();
    std::string AvailableFile(const TURL& address);

    // Declared first: the copies below hand their originals to it until the end.
    TRewriteSpares spares_;
    const TSpiderObjectList& spiders_;
    const TSpiderDestObjectList& dests_;
    const TLinkReplaceOptions options_;
    const size_t count_;
    const TTaskAt taskAt_;
    // Results by index modulo Window: only the window's pages are ever held. A slot's result is
    // ready when its index is the one asked for.
    std::vector<TPreparedRewrite> results_;
    std::vector<size_t> readyIndex_;  // SIZE_MAX: none
    // Which destinations are on disk, by id: 0 not yet looked for, 1 there, 2 not there.
    std::unique_ptr<std::atomic<uint8_t>[]> present_;
    size_t presentCount_ = 0;

    std::mutex lock_;
    std::condition_variable windowMoved_;  // helpers wait here when they are a window ahead
    std::condition_variable resultReady_;  // the crawl thread waits here for the page it takes
    size_t next_ = 0;   // the next task a helper takes
    size_t taken_ = 0;  // tasks handed over so far
    int32_t helpersWaiting_ = 0;
    size_t awaited_ = SIZE_MAX;  // the task the crawl thread waits for
    bool stopping_ = false;
    std::vector<std::thread> helpers_;
};
