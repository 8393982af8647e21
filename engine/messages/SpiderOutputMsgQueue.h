#pragma once
// The output queue: 100 numbered slots of reports from the crawl thread to the user
// interface. Each accepted report is announced to the sink with its label; the user-interface
// thread takes it out by that label.
#include "engine/messages/SlotOrder.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/messages/SpiderOutputSink.h"
#include "platform/Singleton.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TSpiderOutputMessageQueue : public TSingleton<TSpiderOutputMessageQueue> {
public:
    static constexpr int32_t Capacity = 100;

    // How TryToPostMessage waits; tests shorten them.
    struct TRetryTimes {
        std::chrono::milliseconds retry{200};
        std::chrono::milliseconds warnEvery{1000};
        std::chrono::milliseconds giveUp{60000};
    };

    TSpiderOutputMessageQueue();
    ~TSpiderOutputMessageQueue();

    // The receiver of the announcements; nullptr takes it away (posts fail until set again).
    // Once this returns, the queue no longer uses the previous sink.
    void SetDestinationWindow(TSpiderOutputSink* sink);
    // Asked while TryToPostMessage waits: True makes it give up at once (the crawl thread is
    // being terminated).
    void SetTerminatingCheck(std::function<bool()> terminating);
    void SetRetryTimes(const TRetryTimes& times);

    // One attempt; False when the queue is full, no sink is set or the announcement failed.
    bool PostMessage(const TSpiderOutputMsg& message);
    // Retries until the report is queued. Gives up with False (logged) once the sink is closed
    // or the crawl thread is terminating; throws "Spider output msg queue full" after the
    // give-up time.
    bool TryToPostMessage(const TSpiderOutputMsg& message);
    // The same, but the parts the report's type fills are moved into the queue, not copied;
    // once posted, message holds in their place whatever the slot held. For a producer that
    // fills those parts anew for every report of the type (a found link).
    bool TryToHandOverMessage(TSpiderOutputMsg& message);
    // Hands the reports over in order (as TryToHandOverMessage does each), as many at a time
    // as there are free slots, each group announced to the sink at once. Returns how many were
    // posted: fewer only when the queue was abandoned.
    int32_t TryToHandOverMessages(TSpiderOutputMsg* messages, int32_t count);
    // Takes the report with this label out of the queue; False when no slot has it. The parts
    // of its type are swapped out of the slot, the rest of message keeps its contents.
    bool RetrieveMessage(int32_t label, TSpiderOutputMsg& message);
    // Takes the reports with these labels in one go, in the order given, into messages (room
    // for count); labels no slot has are passed over. Returns how many were taken.
    int32_t RetrieveMessages(const int32_t* labels, int32_t count, TSpiderOutputMsg* messages);
    void ClearMessageQueue();

    int32_t Count() const;

private:
    // How long a sender has been refused, for its warnings and its giving up.
    struct TRetryState {
        TRetryTimes times;
        std::chrono::steady_clock::time_point first = std::chrono::steady_clock::now();
        std::chrono::steady_clock::time_point lastWarning{};
        bool warned = false;
    };
    bool Abandoned();
    TRetryTimes RetryTimes();
    // Waits until a refused post may succeed; False (logged) when the queue is abandoned.
    // Throws "Spider output msg queue full" after the give-up time.
    bool WaitBeforeRetry(TRetryState& retry, uint64_t generation, bool full);
    // Posts up to count reports under one hold of the lock, in order: copies of copies[i] or,
    // with handOvers, their parts moved in. Returns how many; generation is the change count
    // seen, full whether the queue was full.
    int32_t PostUnderLock(const TSpiderOutputMsg* copies, TSpiderOutputMsg* handOvers, int32_t count,
                          uint64_t& generation, bool& full);
    // Posts the reports in order, as many at a time as there are free slots, waiting while
    // refused; how many were posted.
    int32_t PostInOrder(const TSpiderOutputMsg* copies, TSpiderOutputMsg* handOvers, int32_t count);

    mutable std::mutex lock_;
    std::condition_variable slotFreed_;
    TSpiderOutputSink* sink_ = nullptr;
    std::array<std::unique_ptr<TLabeledSpiderOutputMsg>, Capacity> slots_;
    // Exchanged with the slots taken out; one retrieval uses them at a time.
    std::mutex retrieveLock_;
    std::array<std::unique_ptr<TLabeledSpiderOutputMsg>, Capacity> spares_;
    TSlotOrder<Capacity> order_;
    int32_t nextLabel_ = 1;
    static constexpr int32_t kWakeSendersAt = Capacity / 2;
    uint64_t changes_ = 0;  // raised whenever a waiting sender should try again
    int32_t waitingSenders_ = 0;
    std::function<bool()> terminating_;
    TRetryTimes times_;
};
