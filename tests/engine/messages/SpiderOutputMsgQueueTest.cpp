#include "engine/messages/SpiderOutputMsgQueue.h"

#include "tests/engine/TestLog.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class SpiderOutputQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        queue.SetDestinationWindow(&sink);
        queue.SetRetryTimes({5ms, 1000ms, 60000ms});
    }
    // Producers reuse one report object.
    const TSpiderOutputMsg& Report(int32_t jobID)
    {
        report.FMsgType = OUTMSG_JOB_PAUSED;
        report.FJobID = jobID;
        return report;
    }
    void Fill()
    {
        for (int32_t i = 0; i < TSpiderOutputMessageQueue::Capacity; ++i)
            ASSERT_TRUE(queue.PostMessage(Report(i)));
    }
    TSpiderOutputMsg report;
    TTestLog log;
    THeadlessOutputSink sink;
    TSpiderOutputMessageQueue queue;
};

}  // namespace

TEST_F(SpiderOutputQueue, LabelsAnnounceReportsAndRetrievalKeepsOrder)
{
    for (int32_t i = 1; i <= 3; ++i)
        ASSERT_TRUE(queue.PostMessage(Report(i)));
    int32_t label = 0;
    ASSERT_TRUE(sink.WaitForLabel(label, 0ms));
    EXPECT_EQ(label, 1);
    TSpiderOutputMsg got;
    ASSERT_TRUE(queue.RetrieveMessage(2, got));
    EXPECT_EQ(got.FJobID, 2);
    EXPECT_FALSE(queue.RetrieveMessage(2, got));
    ASSERT_TRUE(queue.RetrieveMessage(1, got));
    EXPECT_EQ(got.FJobID, 1);
    ASSERT_TRUE(queue.RetrieveMessage(3, got));
    EXPECT_EQ(got.FJobID, 3);
}

TEST_F(SpiderOutputQueue, FullQueueMissingSinkAndRefusedAnnouncements)
{
    Fill();
    EXPECT_FALSE(queue.PostMessage(Report(100)));
    queue.ClearMessageQueue();
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_TRUE(log.Contains("Spider output msg queue cleared"));

    TSpiderOutputMessageQueue bare;
    EXPECT_FALSE(bare.PostMessage(Report(1)));
    EXPECT_TRUE(log.Contains("No destination window"));

    sink.SetRefusing(true);
    EXPECT_FALSE(queue.PostMessage(Report(1)));
    EXPECT_TRUE(log.Contains("Windows.PostMessage"));
    EXPECT_EQ(queue.Count(), 0);
    sink.SetRefusing(false);
    ASSERT_TRUE(queue.PostMessage(Report(2)));
    TSpiderOutputMsg got;
    EXPECT_FALSE(queue.RetrieveMessage(101, got));  // the refused one used up its label
    EXPECT_TRUE(queue.RetrieveMessage(102, got));
}

TEST_F(SpiderOutputQueue, SenderWaitsUntilHalfTheSlotsAreFree)
{
    Fill();
    queue.SetRetryTimes({10000ms, 1000ms, 60000ms});  // only freed slots can wake the sender in time
    std::thread consumer([&] {
        // Free slots only once the sender has found the queue full, one at a time.
        for (int i = 0; i < 2500 && !log.Contains("Post message failed"); ++i)
            std::this_thread::sleep_for(2ms);
        std::vector<int32_t> labels;
        sink.WaitForLabels(labels, 0, 0us, 1000ms);
        TSpiderOutputMsg got;
        for (size_t i = 0; i < labels.size() && i < 50; ++i)
            queue.RetrieveMessage(labels[i], got);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue.TryToPostMessage(Report(7)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    consumer.join();
    EXPECT_EQ(queue.Count(), 51);
    EXPECT_TRUE(log.Contains("Post message failed"));
}

TEST_F(SpiderOutputQueue, BatchesOfLabelsAndReports)
{
    for (int32_t i = 1; i <= 5; ++i)
        ASSERT_TRUE(queue.PostMessage(Report(i)));
    std::vector<int32_t> labels;
    ASSERT_TRUE(sink.WaitForLabels(labels, 3, 0us, 0ms));
    EXPECT_EQ(labels, (std::vector<int32_t> {1, 2, 3, 4, 5}));
    EXPECT_FALSE(sink.WaitForLabels(labels, 3, 0us, 0ms));
    // Taken in the order asked; a label no slot has is passed over.
    const int32_t asked[] = {4, 2, 99, 1};
    TSpiderOutputMsg got[4];
    ASSERT_EQ(queue.RetrieveMessages(asked, 4, got), 3);
    EXPECT_EQ(got[0].FJobID, 4);
    EXPECT_EQ(got[1].FJobID, 2);
    EXPECT_EQ(got[2].FJobID, 1);
    EXPECT_EQ(queue.Count(), 2);
    for (int32_t i = 6; i <= 7; ++i)
        ASSERT_TRUE(queue.PostMessage(Report(i)));
    labels.clear();
    ASSERT_TRUE(sink.WaitForLabels(labels, 2, 0us, 0ms));
    const int32_t mixed[] = {3, 6, 5};
    ASSERT_EQ(queue.RetrieveMessages(mixed, 3, got), 3);
    EXPECT_EQ(got[0].FJobID, 3);
    EXPECT_EQ(got[1].FJobID, 6);
    EXPECT_EQ(got[2].FJobID, 5);
    ASSERT_EQ(queue.Count(), 1);
    const int32_t last = 7;
    ASSERT_EQ(queue.RetrieveMessages(&last, 1, got), 1);
    EXPECT_EQ(got[0].FJobID, 7);
    EXPECT_EQ(queue.Count(), 0);
    // A waiting consumer is woken by a closed sink even without a full batch.
    std::thread closer([&] {
        std::this_thread::sleep_for(20ms);
        sink.Close();
    });
    std::vector<int32_t> none;
    EXPECT_FALSE(sink.WaitForLabels(none, 10, 10s, 10s));
    closer.join();
}

TEST_F(SpiderOutputQueue, SenderGivesUpAfterTheTimeLimitOrAtShutdown)
{
    queue.SetDestinationWindow(nullptr);
    queue.SetRetryTimes({1ms, 1000ms, 30ms});
    try {
        queue.TryToPostMessage(Report(1));
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Spider output msg queue full");
    }
    EXPECT_EQ(log.CountOf("Post message failed"), 1u);  // at most once a second

    queue.SetDestinationWindow(&sink);
    Fill();
    sink.Close();
    EXPECT_FALSE(queue.TryToPostMessage(Report(1)));
    THeadlessOutputSink other;
    queue.SetDestinationWindow(&other);
    queue.SetTerminatingCheck([] { return true; });
    EXPECT_FALSE(queue.TryToPostMessage(Report(1)));
}

TEST_F(SpiderOutputQueue, RefusedOrUnsentPostsAreRetriedAtTheRetryPace)
{
    // 200 ms of retries at 20 ms apart: about ten attempts each, never a spinning sender.
    queue.SetRetryTimes({20ms, 1000ms, 200ms});
    sink.SetRefusing(true);
    EXPECT_THROW(queue.TryToPostMessage(Report(1)), std::runtime_error);
    EXPECT_GE(log.CountOf("Windows.PostMessage"), 2u);
    EXPECT_LE(log.CountOf("Windows.PostMessage"), 15u);

    queue.SetDestinationWindow(nullptr);
    EXPECT_THROW(queue.TryToPostMessage(Report(2)), std::runtime_error);
    EXPECT_GE(log.CountOf("No destination window"), 2u);
    EXPECT_LE(log.CountOf("No destination window"), 15u);
}

TEST(SpiderOutputMsg, QueueCarriesTheFieldsOfTheType)
{
    TSpiderOutputMsg ended;
    ended.FMsgType = OUTMSG_JOB_ENDED;
    ended.FJob.JobName = "job";
    ended.FDownload.FLocalFile = "unused";
    TSpiderOutputMsg got;
    got.AssignUsedFields(ended);
    EXPECT_EQ(got.FJob.JobName, "job");
    EXPECT_EQ(got.FDownload.FLocalFile, "");
    TSpiderOutputMsg download;
    download.FMsgType = OUTMSG_DOWNLOAD_ENDED;
    download.FDownload.FProgress.FBytesReceived = int64_t(3) << 31;  // past 4 GiB
    got.AssignUsedFields(download);
    EXPECT_EQ(got.FDownload.FProgress.FBytesReceived, int64_t(3) << 31);
    EXPECT_EQ(got.FJob.JobName, "job");  // left from before, as in a reused report
}

// A found link is moved into the queue and out of it without a copy, and arrives whole; a
// refused announcement leaves the producer's report intact for the next attempt; retrieval
// leaves the fields of other types as the consumer had them.
TEST_F(SpiderOutputQueue, HandedOverLinksArriveWholeAndRetrievalSwapsOnlyTheirType)
{
    TSpiderOutputMsg progress;
    progress.FMsgType = OUTMSG_READ_PROGRESS;
    progress.FReadWrite.FLocalFile = "/d/page.htm";
    progress.FReadWrite.FPercent = 40;
    ASSERT_TRUE(queue.TryToPostMessage(progress));

    TSpiderOutputMsg link;
    link.FMsgType = OUTMSG_LINK_FOUND;
    link.FLinkInfo.FTagText = "<a href=\"b.htm\" class=\"long-enough-to-live-on-the-heap\">";
    link.FLinkInfo.FValue = "b.htm";
    ASSERT_TRUE(link.FLinkInfo.FURL.SetFullURL("http://h/b.htm"));
    link.FLinkInfo.FValuePos = 8;
    link.FLinkInfo.FNewAddress = true;
    const char* tagBuffer = link.FLinkInfo.FTagText.data();

    sink.SetRefusing(true);
    EXPECT_FALSE(queue.PostMessage(link));
    sink.SetRefusing(false);
    EXPECT_EQ(link.FLinkInfo.FValue, "b.htm");
    ASSERT_TRUE(queue.TryToHandOverMessage(link));
    EXPECT_EQ(queue.Count(), 2);

    std::vector<int32_t> labels;
    ASSERT_TRUE(sink.WaitForLabels(labels, 3, 0us, 0ms));
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[1], labels[0] + 2);  // the refused attempt used up a label
    std::vector<TSpiderOutputMsg> got(2);
    got[1].FReadWrite.FLocalFile = "consumer's own";
    const int32_t wanted[] = {labels[0], labels[1]};
    ASSERT_EQ(queue.RetrieveMessages(wanted, 2, got.data()), 2);
    EXPECT_EQ(got[0].FReadWrite.FLocalFile, "/d/page.htm");
    EXPECT_EQ(got[0].FReadWrite.FPercent, 40);
    const TWebLinkInfo& arrived = got[1].FLinkInfo;
    EXPECT_EQ(got[1].FMsgType, OUTMSG_LINK_FOUND);
    EXPECT_EQ(arrived.FTagText.data(), tagBuffer);  // the same buffer: never copied
    EXPECT_EQ(arrived.FValue, "b.htm");
    EXPECT_EQ(arrived.FURL.GetFullURL(), "http://h/b.htm");
    EXPECT_EQ(arrived.FValuePos, 8);
    EXPECT_TRUE(arrived.FNewAddress);
    EXPECT_EQ(got[1].FReadWrite.FLocalFile, "consumer's own");
    EXPECT_EQ(progress.FReadWrite.FLocalFile, "/d/page.htm");  // a copied report stays with its producer
}

// Reports handed over together take consecutive labels in order, as many as there are free
// slots at a time; the rest wait for the consumer, and nothing is copied or lost.
TEST_F(SpiderOutputQueue, ReportsHandedOverTogetherKeepTheirOrderAcrossAFullQueue)
{
    for (int32_t i = 0; i < 90; ++i)
        ASSERT_TRUE(queue.PostMessage(Report(i)));
    std::vector<TSpiderOutputMsg> links(40);
    for (size_t i = 0; i < links.size(); ++i) {
        links[i].FMsgType = OUTMSG_LINK_FOUND;
        links[i].FJobID = 7;
        links[i].FLinkInfo.FValue = "page-" + std::to_string(i) + "-with-a-name-long-enough-for-the-heap.htm";
    }
    struct TTaken {
        int type;
        int32_t jobID;
        std::string value;
    };
    std::vector<TTaken> taken;
    std::thread consumer([&] {
        std::vector<TSpiderOutputMsg> got(TSpiderOutputMessageQueue::Capacity);
        while (taken.size() < 130) {
            std::vector<int32_t> labels;
            if (!sink.WaitForLabels(labels, 1, 0us, 5000ms))
                break;
            const int32_t n = queue.RetrieveMessages(labels.data(), static_cast<int32_t>(labels.size()), got.data());
            for (int32_t i = 0; i < n; ++i)
                taken.push_back({got[static_cast<size_t>(i)].FMsgType, got[static_cast<size_t>(i)].FJobID,
                                 got[static_cast<size_t>(i)].FLinkInfo.FValue});
        }
    });
    EXPECT_EQ(queue.TryToHandOverMessages(links.data(), static_cast<int32_t>(links.size())), 40);
    consumer.join();
    ASSERT_EQ(taken.size(), 130u);
    for (size_t i = 0; i < 90; ++i)
        EXPECT_EQ(taken[i].jobID, static_cast<int32_t>(i));
    for (size_t i = 0; i < 40; ++i) {
        const TTaken& link = taken[90 + i];
        EXPECT_EQ(link.type, OUTMSG_LINK_FOUND);
        EXPECT_EQ(link.jobID, 7);
        EXPECT_EQ(link.value, "page-" + std::to_string(i) + "-with-a-name-long-enough-for-the-heap.htm");
    }
    // Handed over, not copied.
    std::vector<TSpiderOutputMsg> again(1);
    again[0].FMsgType = OUTMSG_LINK_FOUND;
    again[0].FLinkInfo.FValue = std::string(40, 'x');
    const char* buffer = again[0].FLinkInfo.FValue.data();
    ASSERT_EQ(queue.TryToHandOverMessages(again.data(), 1), 1);
    const std::vector<int32_t> one{91 + 40};
    std::vector<int32_t> labels;
    ASSERT_TRUE(sink.WaitForLabels(labels, 1, 0us, 0ms));
    ASSERT_EQ(labels, one);
    TSpiderOutputMsg got;
    ASSERT_EQ(queue.RetrieveMessages(labels.data(), 1, &got), 1);
    EXPECT_EQ(got.FLinkInfo.FValue.data(), buffer);
}

// A group that cannot be announced is not queued; a sender gives up when the output closes.
TEST_F(SpiderOutputQueue, ReportsHandedOverTogetherAreRefusedWholeOrAbandoned)
{
    std::vector<TSpiderOutputMsg> links(3);
    for (auto& link : links) {
        link.FMsgType = OUTMSG_LINK_FOUND;
        link.FLinkInfo.FValue = "kept.htm";
    }
    queue.SetRetryTimes({5ms, 1000ms, 60000ms});
    sink.SetRefusing(true);
    std::thread unrefuse([&] {
        std::this_thread::sleep_for(30ms);
        sink.SetRefusing(false);
    });
    EXPECT_EQ(queue.TryToHandOverMessages(links.data(), 3), 3);
    unrefuse.join();
    EXPECT_TRUE(log.Contains("Windows.PostMessage"));
    EXPECT_EQ(queue.Count(), 3);

    for (int32_t i = 3; i < TSpiderOutputMessageQueue::Capacity; ++i)
        ASSERT_TRUE(queue.PostMessage(Report(i)));  // full
    std::thread closer([&] {
        std::this_thread::sleep_for(30ms);
        sink.Close();
    });
    EXPECT_EQ(queue.TryToHandOverMessages(links.data(), 3), 0);
    closer.join();
    EXPECT_TRUE(log.Contains("Post message abandoned: output closed"));
}
