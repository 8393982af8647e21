#include "platform/Thread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class TCountingThread : public TThread {
public:
    ~TCountingThread() override { TerminateAndJoin(); }
    std::atomic<int> turns{0};
    std::atomic<bool> ran{false};

protected:
    void Execute() override
    {
        ran = true;
        // Polls like the crawl thread: a long period, ended early by Terminate().
        while (!WaitForTermination(60000))
            ++turns;
    }
};

class TThrowingThread : public TThread {
public:
    ~TThrowingThread() override { TerminateAndJoin(); }

protected:
    void Execute() override { throw std::runtime_error("boom"); }
};

}  // namespace

TEST(Thread, CreatedSuspendedRunsOnlyAfterResume)
{
    TCountingThread t;
    EXPECT_FALSE(t.Started());
    EXPECT_TRUE(t.WaitFor(0));  // nothing runs, nothing to wait for
    EXPECT_FALSE(t.ran);
    EXPECT_EQ(t.ThreadID(), 0u);
    t.Resume();
    t.Resume();  // a second Resume does not start another thread
    EXPECT_FALSE(t.WaitFor(20));  // still running
    t.Terminate();
    EXPECT_TRUE(t.WaitFor());  // Terminate cuts the 60 s wait short
    EXPECT_TRUE(t.ran);
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(t.turns, 0);
    EXPECT_NE(t.ThreadID(), 0u);
    EXPECT_EQ(t.FatalExceptionText(), "");
}

TEST(Thread, EscapingExceptionIsKeptAndEndsTheThread)
{
    TThrowingThread t;
    t.Resume();
    EXPECT_TRUE(t.WaitFor());
    EXPECT_EQ(t.FatalExceptionText(), "boom");
    EXPECT_FALSE(t.Terminated());
}

TEST(Thread, DestructorStopsARunningThread)
{
    auto t = std::make_unique<TCountingThread>();
    t->Resume();
    t.reset();  // must terminate and join, not hang for 60 s or crash
    SUCCEED();
}
