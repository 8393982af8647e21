#include "platform/Thread.h"

#include <malloc.h>

#include <chrono>
#include <exception>
#include <sys/syscall.h>
#include <unistd.h>

TThread::~TThread()
{
    TerminateAndJoin();
}

void TThread::Resume()
{
    if (started_)
        return;
    started_ = true;
    thread_ = std::thread(&TThread::Run, this);
}

void TThread::Terminate()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        terminated_.store(true, std::memory_order_release);
    }
    changed_.notify_all();
}

bool TThread::WaitFor(int64_t timeoutMs)
{
    if (!started_)
        return true;
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [this] { return finished_.load(std::memory_order_acquire); };
    if (timeoutMs < 0) {
        changed_.wait(lock, done);
        return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

std::string TThread::FatalExceptionText() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return fatalText_;
}

bool TThread::WaitForTermination(int64_t ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return Terminated(); });
    return Terminated();
}

void TThread::TerminateAndJoin()
{
    Terminate();
    if (thread_.joinable())
        thread_.join();
}

void TThread::Run()
{
    threadId_.store(static_cast<uint64_t>(::syscall(SYS_gettid)), std::memory_order_release);
    std::string fatal;
    try {
        Execute();
    } catch (const std::exception& e) {
        fatal = e.what();
        if (fatal.empty())
            fatal = "exception";
    } catch (...) {
        fatal = "unknown exception";
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        fatalText_ = std::move(fatal);
        finished_.store(true, std::memory_order_release);
    }
    changed_.notify_all();
}

void LimitMemoryArenas()
{
    ::mallopt(M_ARENA_MAX, 4);
}
