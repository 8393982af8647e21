#include "engine/parse/ParseAhead.h"

#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkRewrite.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

void ReadPageLinks(int kind, const std::string& fileName, const std::string& base, bool localMode, THTMLParser& html,
                   TCSSParser& css, TWebLinkList& list, TPageFacts* facts, TLocalLinkFollower* follower)
{
    TCommonParser& parser = kind == 2 ? static_cast<TCommonParser&>(css) : static_cast<TCommonParser&>(html);
    parser.FFollower = localMode ? follower : nullptr;
    const std::vector<int32_t>* fileOf = nullptr;
    try {
        if (kind == 2) {
            css.FLocalFilesMissing = 0;
            css.GetLinksInCSSFile(fileName, base, list, localMode ? 1 : 0);
        } else {
            html.FLocalFilesMissing = 0;
            html.GetLinksInHTMLFile(fileName, base, list, localMode ? 1 : 0);
        }
    } catch (...) {
        parser.FFollower = nullptr;
        throw;
    }
    if (parser.FFollower != nullptr) {
        parser.FFollower->End(list);
        fileOf = &parser.FFollower->FileOfLinks();
    }
    parser.FFollower = nullptr;
    if (facts == nullptr)
        return;
    size_t index = 0;
    const bool keeps = localMode && std::all_of(list.begin(), list.end(), [&](const TWebLinkInfo& link) {
                           const bool followed = fileOf != nullptr && (*fileOf)[index++] >= 0;
                           return RewriteKeepsLink(parser, link, kind != 2, followed);
                       });
    if (kind == 2)
        *facts = {{}, {}, false, false, css.FLocalFilesMissing, keeps};
    else
        *facts = {html.FTitle, html.FCharset, html.FNoFollow, html.FNoIndex, html.FLocalFilesMissing, keeps};
}

void PrepareParse(const TParseTask& task, THTMLParser& html, TCSSParser& css, TPreparedParse& out)
{
    out.task = task;
    out.usable = false;
    if (!PlainFileStamp(task.fileName, out.stamp))
        return;
    auto record = [&out](int64_t position, int64_t size) {
        out.progress.push_back({false, position, size});
        return false;
    };
    html.OnReadProgress = record;
    css.OnReadProgress = record;
    try {
        TURL pageURL;
        std::optional<TLocalLinkFollower> follower;
        if (task.localMode && task.followLocalLinks && pageURL.SetFullURL(task.pageAddress))
            follower.emplace(task.fileName, pageURL, out.local);
        ReadPageLinks(task.kind, task.fileName, task.pageAddress, task.localMode, html, css, out.list, &out.facts,
                      follower ? &*follower : nullptr);
    } catch (const std::exception& e) {
        out.failed = true;
        out.errorText = e.what();
    }
    html.ClearCallbacks();
    css.ClearCallbacks();
    // A file replaced while it was read no longer has this stamp when the result is taken.
    out.usable = true;
}

bool StillFits(const TPreparedParse& prepared, const TParseTask& task)
{
    TFileStamp now;
    return prepared.usable && prepared.task == task && PlainFileStamp(task.fileName, now) && now == prepared.stamp;
}

TParseAhead::TParseAhead(int32_t helpers)
{
    const int32_t count = helpers < 1 ? 1 : helpers;
    helpers_.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        helpers_.emplace_back([this] { Work(); });
}

TParseAhead::~TParseAhead()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    workWaiting_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

void TParseAhead::EraseHeldLocked(std::unordered_map<int32_t, THeld>::iterator held)
{
    largeHeld_ -= held->second.large ? 1 : 0;
    held_.erase(held);
}

void TParseAhead::EraseQueuedLocked(std::map<int32_t, TParseTask>::iterator queued)
{
    largeQueued_.erase(queued->first);
    queued_.erase(queued);
}

bool TParseAhead::ForgetHeldLocked(int32_t index)
{
    const auto held = held_.find(index);
    if (held == held_.end())
        return false;
    if (!held->second.ready) {
        held->second.dropped = true;  // its helper lets it go when done
        return false;
    }
    EraseHeldLocked(held);
    return true;
}

void TParseAhead::Offer(int32_t index, TParseTask task)
{
    TFileStamp stamp;
    const bool large = PlainFileStamp(task.fileName, stamp) && stamp.size >= LargePageSize;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Read again under the new task.
        ForgetHeldLocked(index);
        queued_.insert_or_assign(index, std::move(task));
        if (large)
            largeQueued_.insert(index);
        else
            largeQueued_.erase(index);
    }
    workWaiting_.notify_one();
}

bool TParseAhead::Take(int32_t index, const TParseTask& task, TPreparedParse& out)
{
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (const auto queued = queued_.find(index); queued != queued_.end()) {
            EraseQueuedLocked(queued);
            return false;
        }
        const auto held = held_.find(index);
        if (held == held_.end() || held->second.dropped)
            return false;
        // Helpers insert while this waits: the entry stays where it is, an iterator may not.
        THeld* slot = &held->second;
        awaited_ = index;
        resultReady_.wait(guard, [slot] { return slot->ready; });
        awaited_ = -1;
        out = std::move(slot->result);
        EraseHeldLocked(held_.find(index));
    }
    workWaiting_.notify_one();
    return StillFits(out, task);
}

void TParseAhead::Drop(int32_t index)
{
    bool freed = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (const auto queued = queued_.find(index); queued != queued_.end())
            EraseQueuedLocked(queued);
        freed = ForgetHeldLocked(index);
    }
    if (freed)
        workWaiting_.notify_one();
}

std::map<int32_t, TParseTask>::iterator TParseAhead::NextQueued()
{
    // An index still being read under an older offer waits until that reading is done.
    if (largeHeld_ < LargeAhead)
        for (const int32_t index : largeQueued_)
            if (held_.count(index) == 0)
                return queued_.find(index);
    if (held_.size() >= Window)
        return queued_.end();
    auto next = queued_.begin();
    while (next != queued_.end() && held_.count(next->first) > 0)
        ++next;
    return next;
}

void TParseAhead::WaitWhileQueued()
{
    std::unique_lock<std::mutex> guard(lock_);
    ++queueWatchers_;
    resultReady_.wait(guard, [&] { return stopping_ || NextQueued() == queued_.end(); });
    --queueWatchers_;
}

void TParseAhead::Work()
{
    THTMLParser html{THTMLParser::TPrivateInstance{}};
    TCSSParser css{TCSSParser::TPrivateInstance{}};
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        workWaiting_.wait(guard, [&] { return stopping_ || NextQueued() != queued_.end(); });
        if (stopping_)
            return;
        const auto next = NextQueued();
        const int32_t index = next->first;
        const TParseTask task = std::move(next->second);
        const bool large = largeQueued_.count(index) > 0;
        EraseQueuedLocked(next);
        held_[index].large = large;
        largeHeld_ += large ? 1 : 0;
        if (queueWatchers_ > 0)
            resultReady_.notify_all();
        guard.unlock();
        TPreparedParse result;
        PrepareParse(task, html, css, result);
        guard.lock();
        THeld& slot = held_[index];
        if (slot.dropped) {
            EraseHeldLocked(held_.find(index));
            workWaiting_.notify_all();
            continue;
        }
        slot.result = std::move(result);
        slot.ready = true;
        // Only the page the crawl thread waits for wakes it.
        if (awaited_ == index || queueWatchers_ > 0)
            resultReady_.notify_all();
    }
}
