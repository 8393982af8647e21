#include "engine/parse/RewriteAhead.h"

#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkParser.h"
#include "engine/parse/ParseAhead.h"
#include "engine/job/LocalNames.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"
#include "engine/services/FileStatusCache.h"
#include "engine/services/ThreadSafeFileOps.h"

#include <algorithm>
#include <exception>

void PrepareRewrite(const TRewriteTask& task, const TLinkReplaceOptions& options, THTMLParser& html,
                    TCSSParser& css, const TAddressToFileCallback& addressToFile, TPreparedRewrite& out,
                    TRewriteSpares* spares)
{
    if (!IsPlainFileCached(FileStatusOfJob(), task.fileName)) {
        out.missing = true;
        return;
    }
    TCommonParser& parser = task.kind == 2 ? static_cast<TCommonParser&>(css) : static_cast<TCommonParser&>(html);
    auto record = [&out](bool rewriting) {
        return [&out, rewriting](int64_t position, int64_t size) {
            out.progress.push_back({rewriting, position, size});
            return false;
        };
    };
    html.OnReadProgress = record(false);
    css.OnReadProgress = record(false);
    try {
        TWebLinkList list;
        ReadPageLinks(task.kind, task.fileName, task.pageAddress, task.localMode, html, css, list);
        // A file without links is left untouched.
        if (list.Count() > 0) {
            parser.OnRewriteProgress = record(true);
            parser.OnAddressToFile = addressToFile;
            const bool marked = task.kind != 2 && html.FMarked;
            out.copy =
                PrepareReplacedLinks(parser, task.fileName, task.pageAddress, options, list, task.kind, marked, spares);
            // Copies wait for their turn to be put in place: they hold no buffers meanwhile.
            if (out.copy)
                out.copy->ReleaseBuffers();
        }
    } catch (const std::exception& e) {
        out.failed = true;
        out.errorText = e.what();
        out.copy.reset();
    }
    html.ClearCallbacks();
    css.ClearCallbacks();
}

TRewriteAhead::TTasks TRewriteAhead::Listed(std::vector<TRewriteTask> tasks)
{
    auto all = std::make_shared<const std::vector<TRewriteTask>>(std::move(tasks));
    return {all->size(), [all](size_t index) { return (*all)[index]; }};
}

TRewriteAhead::TRewriteAhead(std::vector<TRewriteTask> tasks, const TSpiderObjectList& spiders,
                             const TSpiderDestObjectList& dests, const TLinkReplaceOptions& options, int32_t helpers)
    : TRewriteAhead(Listed(std::move(tasks)), spiders, dests, options, helpers)
{
}

TRewriteAhead::TRewriteAhead(TTasks tasks, const TSpiderObjectList& spiders, const TSpiderDestObjectList& dests,
                             const TLinkReplaceOptions& options, int32_t helpers)
    : spiders_(spiders), dests_(dests), options_(options), count_(tasks.count), taskAt_(std::move(tasks.at)),
      results_(Window), readyIndex_(Window, SIZE_MAX)
{
    presentCount_ = static_cast<size_t>(dests.Count()) + 1;
    present_ = std::make_unique<std::atomic<uint8_t>[]>(presentCount_);
    if (count_ == 0)
        return;
    const size_t threads = std::min<size_t>(static_cast<size_t>(std::max(helpers, 1)), count_);
    helpers_.reserve(threads);
    for (size_t i = 0; i < threads; ++i)
        helpers_.emplace_back([this] { Work(); });
}

TRewriteAhead::~TRewriteAhead()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    windowMoved_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

std::string TRewriteAhead::AvailableFile(const TURL& address)
{
    const int32_t id = DestIDOfAddress(spiders_, address);
    if (id <= 0 || static_cast<size_t>(id) >= presentCount_)
        return std::string();
    std::string name;
    dests_.GetFileName(id, name);
    if (name.empty())
        return name;
    // Two helpers may both look: the answer is the same.
    uint8_t known = present_[static_cast<size_t>(id)].load(std::memory_order_relaxed);
    if (known == 0) {
        known = IsFileOfJobCopy(name) ? 1 : 2;
        present_[static_cast<size_t>(id)].store(known, std::memory_order_relaxed);
    }
    return known == 1 ? name : std::string();
}

void TRewriteAhead::Work()
{
    THTMLParser html{THTMLParser::TPrivateInstance{}};
    TCSSParser css{TCSSParser::TPrivateInstance{}};
    const TAddressToFileCallback addressToFile = [this](const TURL& url) { return AvailableFile(url); };
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        // A helper that found the window full waits until half of it is free again, so that the
        // crawl thread wakes the helpers once per half window rather than for every page.
        if (next_ >= taken_ + Window) {
            ++helpersWaiting_;
            windowMoved_.wait(guard,
                              [&] { return stopping_ || next_ >= count_ || next_ + Window / 2 <= taken_ + Window; });
            --helpersWaiting_;
        }
        // Pages passed over are not prepared.
        next_ = std::max(next_, taken_);
        if (stopping_ || next_ >= count_)
            return;
        const size_t index = next_++;
        TRewriteTask task = taskAt_(index);
        guard.unlock();
        TPreparedRewrite result;
        PrepareRewrite(task, options_, html, css, addressToFile, result, &spares_);
        guard.lock();
        // A page passed over meanwhile is dropped: its slot may serve a later one already.
        if (index < taken_)
            continue;
        results_[index % Window] = std::move(result);
        readyIndex_[index % Window] = index;
        if (awaited_ == index)
            resultReady_.notify_one();
    }
}

TPreparedRewrite TRewriteAhead::Take(size_t index)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (index >= count_)
        return TPreparedRewrite{};
    // Tasks before this one are passed over: the window starts here.
    const auto moveWindow = [&](size_t taken) {
        taken_ = std::max(taken_, taken);
        if (helpersWaiting_ > 0 && next_ + Window / 2 <= taken_ + Window)
            windowMoved_.notify_all();
    };
    moveWindow(index);
    awaited_ = index;
    resultReady_.wait(guard, [&] { return readyIndex_[index % Window] == index; });
    awaited_ = SIZE_MAX;
    TPreparedRewrite result = std::move(results_[index % Window]);
    readyIndex_[index % Window] = SIZE_MAX;
    moveWindow(index + 1);
    return result;
}
