#pragma once
// A worker thread in the create-suspended / Resume / Terminate / WaitFor style over std::thread.
// The thread starts running Execute() at the first Resume(). Execute() polls Terminated() or
// waits with WaitForTermination(), which returns early when Terminate() is called.
// A derived class's destructor must call TerminateAndJoin() before its own members go away.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class TThread {
public:
    TThread() = default;
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the thread the first time; later calls do nothing.
    void Resume();
    // Asks Execute() to end; wakes WaitForTermination().
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    // True once Execute() has returned (or thrown).
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    bool Started() const { return started_; }
    // Waits up to timeoutMs (negative: without limit) for Execute() to end. True when it has
    // ended or never started.
    bool WaitFor(int64_t timeoutMs = -1);
    // The system thread id (0 until the thread runs).
    uint64_t ThreadID() const { return threadId_.load(std::memory_order_acquire); }
    // The message of an exception that escaped Execute(), empty when none did.
    std::string FatalExceptionText() const;

protected:
    virtual void Execute() = 0;
    // Sleeps up to ms or until Terminate(); returns Terminated().
    bool WaitForTermination(int64_t ms);
    // Terminate(), then join the system thread. Safe to call more than once.
    void TerminateAndJoin();

private:
    void Run();

    std::thread thread_;
    bool started_ = false;  // owner's thread only
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> threadId_{0};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string fatalText_;
};

// Lets the process's threads share four memory arenas instead of one each: the crawl passes its
// pages and reports from thread to thread, and an arena per thread keeps freed memory reserved
// where it was freed; fewer than four make the download and helper threads wait for each other's
// allocations. Called once at the start of main(), before any thread exists.
void LimitMemoryArenas();
