#include "engine/messages/SpiderInputMsg.h"

#include "tests/engine/TestLog.h"

#include <gtest/gtest.h>

TEST(SpiderInputQueue, EleventhPushIsRefusedAndLogged)
{
    TTestLog log;
    TSpiderInputMessageQueue queue;
    int logged = 0;
    queue.SetInputLogHook([&](const TSpiderInputMsg&) { ++logged; });
    for (int32_t i = 1; i <= 10; ++i)
        ASSERT_TRUE(queue.PostPauseJob(i));
    EXPECT_FALSE(queue.PostStopJob(11));
    EXPECT_EQ(logged, 10);
    EXPECT_TRUE(log.Contains("Spider input queue full"));
    TSpiderInputMsg message;
    for (int32_t i = 1; i <= 10; ++i) {
        ASSERT_TRUE(queue.PopMessage(message));
        EXPECT_EQ(message.FJobID, i);
    }
    EXPECT_FALSE(queue.PopMessage(message));
}

TEST(SpiderInputQueue, TakeMatchesTypeSetAndJob)
{
    TSpiderInputMessageQueue queue;
    queue.PostStopJob(1);
    queue.PostAbortJob(2);
    queue.PostStopJob(2);
    queue.PostDownloadStopRequest(0, 0, 16);
    EXPECT_EQ(queue.FindMessage({INMSG_STOP_JOB}, 2), 2);
    EXPECT_EQ(queue.FindMessage({INMSG_PAUSE_JOB, 16}, 0), -1);  // types above 15 never match
    // Job id 0 takes the oldest match of any job.
    TSpiderInputMsg taken;
    ASSERT_TRUE(queue.TakeMessage({INMSG_STOP_JOB, INMSG_ABORT_JOB}, 0, &taken));
    EXPECT_EQ(taken.FJobID, 1);
    ASSERT_TRUE(queue.TakeMessage({INMSG_STOP_JOB}, 2, nullptr));
    EXPECT_EQ(queue.FindMessage({INMSG_ABORT_JOB}, 2), 0);
    EXPECT_EQ(queue.Count(), 2);
}

TEST(SpiderInputQueue, StaleCommandsOfOtherJobsAreDroppedWhileAJobRuns)
{
    TTestLog log;
    TSpiderInputMessageQueue queue;
    // Leftovers of earlier jobs would otherwise fill all ten slots for good.
    for (int32_t i = 0; i < 8; ++i)
        queue.PostPauseJob(1);
    TSpiderInputMsg start;
    start.FMsgType = INMSG_START_JOB;
    start.FJobID = 3;
    start.FJob.JobName = "next";
    start.FHTTPProxy.Port = 3128;
    ASSERT_TRUE(queue.PushMessage(start));
    queue.PostStopFileDownload(2, 7);
    EXPECT_FALSE(queue.TakeMessage({INMSG_ABORT_JOB}, 2, nullptr));
    EXPECT_EQ(log.CountOf("Ignored spider input msg 2"), 8u);
    // The next job's start waits, with its job; the running job's command stays.
    EXPECT_EQ(queue.Count(), 2);
    TSpiderInputMsg message;
    ASSERT_TRUE(queue.PopMessage(message));
    EXPECT_EQ(message.FMsgType, INMSG_START_JOB);
    EXPECT_EQ(message.FJob.JobName, "next");
    EXPECT_EQ(message.FHTTPProxy.Port, 3128);
    ASSERT_TRUE(queue.PopMessage(message));
    EXPECT_EQ(message.FDownloadNumber, 7);
}
