#include "engine/messages/SpiderOutputMsgQueue.h"

#include "engine/services/AppTraceLog.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {
const char kUnit[] = "SpiderOutputMsgQueue";
}

TSpiderOutputMessageQueue::TSpiderOutputMessageQueue()
{
    for (auto& slot : slots_)
        slot = std::make_unique<TLabeledSpiderOutputMsg>();
    for (auto& spare : spares_)
        spare = std::make_unique<TLabeledSpiderOutputMsg>();
}

TSpiderOutputMessageQueue::~TSpiderOutputMessageQueue() = default;

void TSpiderOutputMessageQueue::SetDestinationWindow(TSpiderOutputSink* sink)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        sink_ = sink;
        ++changes_;
    }
    slotFreed_.notify_all();
}

void TSpiderOutputMessageQueue::SetTerminatingCheck(std::function<bool()> terminating)
{
    std::lock_guard<std::mutex> guard(lock_);
    terminating_ = std::move(terminating);
}

void TSpiderOutputMessageQueue::SetRetryTimes(const TRetryTimes& times)
{
    std::lock_guard<std::mutex> guard(lock_);
    times_ = times;
}

bool TSpiderOutputMessageQueue::PostMessage(const TSpiderOutputMsg& message)
{
    uint64_t generation = 0;
    bool full = false;
    return PostUnderLock(&message, nullptr, 1, generation, full) == 1;
}

int32_t TSpiderOutputMessageQueue::PostUnderLock(const TSpiderOutputMsg* copies, TSpiderOutputMsg* handOvers,
                                                 int32_t count, uint64_t& generation, bool& full)
{
    std::lock_guard<std::mutex> guard(lock_);
    generation = changes_;
    full = order_.Full();
    if (full)
        return 0;
    if (!sink_) {
        LogEvent(etWarning, "No destination window", "PostMessage", kUnit);
        return 0;
    }
    const int32_t posted = std::min(count, Capacity - order_.Count());
    const int32_t first = nextLabel_;
    nextLabel_ += posted;
    // Announced under the lock, so the reports are in their slots before anyone can ask for
    // them. A refused announcement leaves the messages whole for the next attempt.
    if (!sink_->postRange(first, posted)) {
        LogAPIError("Windows.PostMessage", "PostMessage", kUnit);
        return 0;
    }
    for (int32_t i = 0; i < posted; ++i) {
        TLabeledSpiderOutputMsg& slot = *slots_[order_.NextFree()];
        slot.FLabel = first + i;
        if (handOvers)
            slot.FMsg.SwapUsedFields(handOvers[i]);
        else
            slot.FMsg.AssignUsedFields(copies[i]);
        order_.Append();
    }
    return posted;
}

bool TSpiderOutputMessageQueue::Abandoned()
{
    std::function<bool()> terminating;
    {
        // The sink is asked under the lock: once taken away with SetDestinationWindow it may go.
        std::lock_guard<std::mutex> guard(lock_);
        if (sink_ && sink_->closed())
            return true;
        terminating = terminating_;
    }
    return terminating && terminating();
}

bool TSpiderOutputMessageQueue::TryToPostMessage(const TSpiderOutputMsg& message)
{
    return PostInOrder(&message, nullptr, 1) == 1;
}

bool TSpiderOutputMessageQueue::TryToHandOverMessage(TSpiderOutputMsg& message)
{
    return PostInOrder(nullptr, &message, 1) == 1;
}

int32_t TSpiderOutputMessageQueue::TryToHandOverMessages(TSpiderOutputMsg* messages, int32_t count)
{
    return PostInOrder(nullptr, messages, count);
}

TSpiderOutputMessageQueue::TRetryTimes TSpiderOutputMessageQueue::RetryTimes()
{
    std::lock_guard<std::mutex> guard(lock_);
    return times_;
}

bool TSpiderOutputMessageQueue::WaitBeforeRetry(TRetryState& retry, uint64_t generation, bool full)
{
    using Clock = std::chrono::steady_clock;
    if (Abandoned()) {
        LogEvent(etWarning, "Post message abandoned: output closed", "TryToPostMessage", kUnit);
        return false;
    }
    const Clock::time_point now = Clock::now();
    if (!retry.warned || now - retry.lastWarning > retry.times.warnEvery) {
        LogEvent(etWarning, "Post message failed", "TryToPostMessage", kUnit);
        retry.lastWarning = now;
        retry.warned = true;
    }
    if (now - retry.first > retry.times.giveUp)
        throw std::runtime_error("Spider output msg queue full");
    // Woken early once the sink changes or, when the queue was full, enough slots are free. A
    // post refused for another reason waits the whole retry time.
    std::unique_lock<std::mutex> guard(lock_);
    ++waitingSenders_;
    slotFreed_.wait_for(guard, retry.times.retry,
                        [&] { return changes_ != generation || (full && order_.Count() <= kWakeSendersAt); });
    --waitingSenders_;
    return true;
}

int32_t TSpiderOutputMessageQueue::PostInOrder(const TSpiderOutputMsg* copies, TSpiderOutputMsg* handOvers,
                                               int32_t count)
{
    int32_t done = 0;
    std::optional<TRetryState> retry;
    while (done < count) {
        uint64_t generation = 0;
        bool full = false;
        // Most reports find free slots at once: one lock, nothing else.
        const int32_t posted = PostUnderLock(copies ? copies + done : nullptr, handOvers ? handOvers + done : nullptr,
                                             count - done, generation, full);
        if (posted > 0) {
            done += posted;
            retry.reset();  // the give-up time counts from the first refusal in a row
            continue;
        }
        if (!retry)
            retry.emplace(TRetryState{RetryTimes()});
        if (!WaitBeforeRetry(*retry, generation, full))
            break;
    }
    return done;
}

bool TSpiderOutputMessageQueue::RetrieveMessage(int32_t label, TSpiderOutputMsg& message)
{
    return RetrieveMessages(&label, 1, &message) == 1;
}

int32_t TSpiderOutputMessageQueue::RetrieveMessages(const int32_t* labels, int32_t count, TSpiderOutputMsg* messages)
{
    // The reports are taken out of their slots by exchanging each slot's object with a spare:
    // the queue's lock is held for the exchanges only, never while report parts are moved.
    std::lock_guard<std::mutex> retrieving(retrieveLock_);
    int32_t taken = 0;
    bool wakeSenders = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Labels are handed out in order, so the one asked for is nearly always the oldest: the
        // oldest ones taken leave the order together at the end.
        int32_t front = 0;
        for (int32_t i = 0; i < count; ++i) {
            int32_t pos = front;
            while (pos < order_.Count() && slots_[order_.SlotAt(pos)]->FLabel != labels[i])
                ++pos;
            if (pos == order_.Count())
                continue;
            slots_[order_.SlotAt(pos)].swap(spares_[taken++]);
            if (pos == front)
                ++front;
            else
                order_.RemoveAt(pos);
        }
        order_.RemoveFront(front);
        // A waiting sender is woken once a batch of slots is free, not for every single one:
        // a consumer that keeps pace would otherwise cost a wake-up per report.
        wakeSenders = taken > 0 && waitingSenders_ > 0 && order_.Count() <= kWakeSendersAt;
        if (wakeSenders)
            ++changes_;
    }
    if (wakeSenders)
        slotFreed_.notify_all();
    for (int32_t i = 0; i < taken; ++i) {
        TSpiderOutputMsg& spare = spares_[i]->FMsg;
        messages[i].SwapUsedFields(spare);
        // A found link's place would bring back what the taker held before to the sender, which
        // sends one report per link and would spend its time freeing it: it goes here.
        if (spare.FMsgType == OUTMSG_LINK_FOUND) {
            TWebLinkInfo spent;
            swap(spent, spare.FLinkInfo);
        }
    }
    return taken;
}

void TSpiderOutputMessageQueue::ClearMessageQueue()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        order_.Clear();
        ++changes_;
        LogEvent(etWarning, "Spider output msg queue cleared", "ClearMessageQueue", kUnit);
    }
    slotFreed_.notify_all();
}

int32_t TSpiderOutputMessageQueue::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return order_.Count();
}
