#pragma once
// Where the output queue announces each report: the user interface posts an event to its
// output splitter; tests and tools use the headless sink, which keeps the labels for a
// consumer thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class TSpiderOutputSink {
public:
    virtual ~TSpiderOutputSink() = default;
    // Announces the report with this label; False when the announcement could not be made.
    // Called with the output queue's lock held: it must not call back into the queue.
    virtual bool post(int32_t label) = 0;
    // Announces the reports labelled first .. first + count - 1, in order, as one announcement
    // where the receiver can take them so; False when they could not all be announced.
    virtual bool postRange(int32_t first, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            if (!post(first + i))
                return false;
        return true;
    }
    // True once the receiver is gone for good; senders then stop retrying.
    virtual bool closed() const { return false; }
};

// Keeps announced labels in order; a consumer waits for them on a condition variable.
class THeadlessOutputSink : public TSpiderOutputSink {
public:
    bool post(int32_t label) override;
    bool postRange(int32_t first, int32_t count) override;
    bool closed() const override;

    // Waits up to timeout for a label; False on time-out or when closed and drained.
    bool WaitForLabel(int32_t& label, std::chrono::milliseconds timeout);
    // Waits up to timeout for a label, then up to gather for batch labels in all, and appends
    // every label waiting to labels. False on time-out or when closed and drained. The sender
    // wakes the consumer once per batch, not once per label.
    bool WaitForLabels(std::vector<int32_t>& labels, size_t batch, std::chrono::microseconds gather,
                       std::chrono::milliseconds timeout);
    // Refuses later announcements and wakes every waiter.
    void Close();
    // Makes post fail (or succeed again) without closing, to simulate a refused announcement.
    void SetRefusing(bool refuse);
    size_t Pending() const;

private:
    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::deque<int32_t> labels_;
    bool closed_ = false;
    bool refusing_ = false;
    size_t wakeAt_ = 1;  // how many labels wake the consumer waiting in WaitForLabels
    bool batchWaiter_ = false;
};
