#pragma once
// What the download dispatcher sees of one download thread: its hand-off state, the operations
// it is driven by, and its live progress and result. The dispatcher waits on one
// TDownloadStateSignal that every thread notifies after each change of its state.
#include "engine/job/DownloadOptionTypes.h"
#include "engine/crawl/DownloadThread.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/job/URLType.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class TDownloadWorker {
public:
    virtual ~TDownloadWorker() = default;

    // DL_ASSIGNED .. DL_IDLE.
    virtual uint8_t GetState() const = 0;
    // Only in the DL_IDLE state: starts fetching the address.
    virtual void AssignDownload(const TURL& address, const TURL& referrer, int32_t depth) = 0;
    // Answers a thread waiting for its name: write to name, or skip (another thread writes it).
    virtual void SetDownloadFilename(const std::string& name, bool skip) = 0;
    // Asks the running download to stop; never blocks.
    virtual void RequestDownloadCancellation() = 0;
    // A snapshot of the live values of the current download.
    virtual void GetProgress(TFileDownloadProgress& progress) const = 0;
    // The result; only in the DL_FINISHED state.
    virtual const TFileDownloadCompleteData& GetResults() const = 0;
    virtual void SetIdle() = 0;
    // Only in the DL_IDLE state: the options of the next downloads (sessions are opened again).
    virtual void SetNewOptions(const TDownloadOptions& options) = 0;
    // Asks the thread to end, without waiting.
    virtual void TerminateDownloadThread() = 0;
    // Waits up to timeoutMs (negative: without limit) for the thread to end.
    virtual bool WaitForEnd(int64_t timeoutMs) = 0;
};

// A counter of state changes with a condition variable: threads Notify, the dispatcher waits
// for a change it has not seen yet.
class TDownloadStateSignal {
public:
    void Notify()
    {
        {
            // Raised under the lock, so a waiter cannot miss it between its check and its wait.
            std::lock_guard<std::mutex> hold(lock_);
            changes_.fetch_add(1, std::memory_order_release);
        }
        changed_.notify_all();
    }
    uint64_t Changes() const { return changes_.load(std::memory_order_acquire); }
    // Waits until the count differs from seen, or the timeout. Returns the count.
    uint64_t WaitForChange(uint64_t seen, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait_for(hold, timeout, [&] { return changes_.load(std::memory_order_relaxed) != seen; });
        return changes_.load(std::memory_order_relaxed);
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::atomic<uint64_t> changes_{0};
};
