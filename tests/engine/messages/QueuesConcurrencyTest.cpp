// Both queues under several producer and consumer threads: every message arrives exactly once.
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"

#include <gtest/gtest.h>

#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kProducers = 4;
constexpr int kConsumers = 3;
constexpr int kPerProducer = 1500;

// Counts the numbers the consumers saw; each must be seen once.
class TArrivals {
public:
    void Seen(int32_t number)
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++counts_.at(number);
    }
    void ExpectEachOnce() const
    {
        for (size_t n = 0; n < counts_.size(); ++n)
            ASSERT_EQ(counts_[n], 1) << "message " << n;
    }

private:
    std::mutex lock_;
    std::vector<int> counts_ = std::vector<int>(kProducers * kPerProducer, 0);
};

void JoinAll(std::vector<std::thread>& threads)
{
    for (auto& t : threads)
        t.join();
}

}  // namespace

TEST(QueuesConcurrency, InputQueueLosesAndDuplicatesNothing)
{
    TSpiderInputMessageQueue queue;
    std::counting_semaphore<TSpiderInputMessageQueue::Capacity> freeSlots(TSpiderInputMessageQueue::Capacity);
    std::counting_semaphore<TSpiderInputMessageQueue::Capacity> waiting(0);
    TArrivals arrivals;
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                freeSlots.acquire();
                EXPECT_TRUE(queue.PostStopFileDownload(1, p * kPerProducer + i));
                waiting.release();
            }
        });
    for (int c = 0; c < kConsumers; ++c)
        threads.emplace_back([&, c] {
            TSpiderInputMsg message;
            for (int i = 0; i < kProducers * kPerProducer / kConsumers; ++i) {
                waiting.acquire();
                // Both ways the crawl thread takes commands.
                EXPECT_TRUE((i + c) % 2 ? queue.PopMessage(message)
                                        : queue.TakeMessage({INMSG_STOP_FILE_DOWNLOAD}, 0, &message));
                freeSlots.release();
                arrivals.Seen(message.FDownloadNumber);
            }
        });
    JoinAll(threads);
    arrivals.ExpectEachOnce();
}

TEST(QueuesConcurrency, OutputQueueLosesAndDuplicatesNothing)
{
    THeadlessOutputSink sink;
    TSpiderOutputMessageQueue queue;
    queue.SetDestinationWindow(&sink);
    TArrivals arrivals;
    std::vector<std::thread> consumers;
    for (int c = 0; c < kConsumers; ++c)
        consumers.emplace_back([&] {
            TSpiderOutputMsg message;
            int32_t label = 0;
            while (sink.WaitForLabel(label, 10s)) {
                EXPECT_TRUE(queue.RetrieveMessage(label, message));
                arrivals.Seen(message.FDownload.FDownloadNumber);
            }
        });
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            TSpiderOutputMsg report;
            report.FMsgType = OUTMSG_DOWNLOAD_PROGRESS;
            for (int i = 0; i < kPerProducer; ++i) {
                report.FDownload.FDownloadNumber = p * kPerProducer + i;
                EXPECT_TRUE(queue.TryToPostMessage(report));
            }
        });
    JoinAll(producers);
    sink.Close();  // consumers drain what was announced, then stop
    JoinAll(consumers);
    arrivals.ExpectEachOnce();
    EXPECT_EQ(queue.Count(), 0);
}
