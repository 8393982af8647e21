#include "tests/ui/UITestEnvironment.h"

#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/main/SpiderOutputSplitter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct TListenerLog {
    std::vector<std::string> calls;
    TSpiderOutputListener Listener(const std::string& name)
    {
        return [this, name](const TSpiderOutputMsg& msg, int32_t) {
            calls.push_back(name + ":" + std::to_string(msg.FMsgType));
        };
    }
};

// The pages in the order they register at start-up, with their masks.
void RegisterStartupListeners(TSpiderOutputSplitterForm& splitter, TListenerLog& log)
{
    splitter.RegisterForSpiderOutput(kStartPageOutputMask, log.Listener("start"));
    splitter.RegisterForSpiderOutput(kJobQueueOutputMask, log.Listener("queue"));
    splitter.RegisterForSpiderOutput(kSoundsOutputMask, log.Listener("sounds"));
    splitter.RegisterForSpiderOutput(kSpeechOutputMask, log.Listener("speech"));
    splitter.RegisterForSpiderOutput(kProgressOutputMask, log.Listener("progress"));
    splitter.RegisterForSpiderOutput(kJobLogOutputMask, log.Listener("log"));
    splitter.RegisterForSpiderOutput(kBrowseOutputMask, log.Listener("browse"));
}

const TSpiderOutputMsg& Report(uint8_t type)
{
    return ReportOf(type);
}

TEST(SpiderOutputSplitter, ListenersGetTheirTypesInRegistrationOrder)
{
    TSpiderOutputSplitterForm splitter;
    TListenerLog log;
    RegisterStartupListeners(splitter, log);
    splitter.Deliver(Report(OUTMSG_JOB_STARTED), 1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"start:1", "queue:1", "sounds:1", "speech:1", "progress:1",
                                                   "log:1", "browse:1"}));
    log.calls.clear();
    splitter.Deliver(Report(OUTMSG_DOWNLOAD_ENDED), 2);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"queue:7", "sounds:7", "progress:7", "log:7", "browse:7"}));
    log.calls.clear();
    splitter.Deliver(Report(OUTMSG_JOB_PAUSED), 3);
    splitter.Deliver(Report(OUTMSG_READ_ENDED), 4);
    splitter.Deliver(Report(OUTMSG_FLATTEN_ENDED), 5);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"queue:2", "progress:2", "progress:12", "log:12", "progress:22"}));
    log.calls.clear();
    for (uint8_t unused : {0, 8, 23, 31, 32, 200})
        splitter.Deliver(Report(unused), 6);
    EXPECT_TRUE(log.calls.empty());
}

TEST(SpiderOutputSplitter, TheEleventhListenerIsRefused)
{
    TSpiderOutputSplitterForm splitter;
    TListenerLog log;
    for (int i = 0; i < TSpiderOutputSplitterForm::MaxListeners; ++i)
        EXPECT_TRUE(splitter.RegisterForSpiderOutput(~0u, log.Listener(std::to_string(i))));
    EXPECT_FALSE(splitter.RegisterForSpiderOutput(~0u, log.Listener("eleventh")));
    splitter.Deliver(Report(1), 1);
    EXPECT_EQ(log.calls.size(), 10u);
    EXPECT_EQ(log.calls.back(), "9:1");
}

TEST(SpiderOutputSplitter, AnnouncementsArriveInOrderAndOnlyOnce)
{
    TSpiderOutputMessageQueue queue;
    TSpiderOutputSplitterForm splitter;
    TListenerLog log;
    RegisterStartupListeners(splitter, log);
    EXPECT_FALSE(queue.PostMessage(Report(OUTMSG_JOB_STARTED)));  // no destination yet
    splitter.SetAsOutputDestination();
    ASSERT_TRUE(queue.PostMessage(Report(OUTMSG_JOB_STARTED)));
    ASSERT_TRUE(queue.PostMessage(Report(OUTMSG_JOB_ENDED)));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.calls.size(), 14u);
    EXPECT_EQ(log.calls.front(), "start:1");
    EXPECT_EQ(log.calls.back(), "browse:4");
    EXPECT_EQ(queue.Count(), 0);
    log.calls.clear();
    splitter.OnSpiderOutput(2);  // already taken: logged and dropped
    EXPECT_TRUE(log.calls.empty());

    splitter.Close();
    EXPECT_TRUE(splitter.closed());
    EXPECT_FALSE(queue.PostMessage(Report(OUTMSG_JOB_STARTED)));
}

TEST(SpiderOutputSplitter, ANestedAnnouncementLeavesTheOuterReportIntact)
{
    TSpiderOutputMessageQueue queue;
    TSpiderOutputSplitterForm splitter;
    std::vector<int> seen;
    splitter.RegisterForSpiderOutput(~0u, [&](const TSpiderOutputMsg& msg, int32_t) {
        seen.push_back(msg.FMsgType);
        if (msg.FMsgType == OUTMSG_JOB_STARTED) {
            // A listener showing a message box runs the event loop.
            queue.PostMessage(Report(OUTMSG_JOB_ENDED));
            QCoreApplication::processEvents();
            seen.push_back(msg.FMsgType);
        }
    });
    splitter.SetAsOutputDestination();
    queue.PostMessage(Report(OUTMSG_JOB_STARTED));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int>{1, 4, 1}));
}

// Reports announced together arrive one by one in label order, each once; a listener's nested
// event loop that gets a later group first finishes the group it interrupted.
TEST(SpiderOutputSplitter, GroupsOfReportsArriveInOrderEvenThroughANestedLoop)
{
    TSpiderOutputMessageQueue queue;
    TSpiderOutputSplitterForm splitter;
    std::vector<std::string> seen;
    bool nested = false;
    splitter.RegisterForSpiderOutput(~0u, [&](const TSpiderOutputMsg& msg, int32_t label) {
        seen.push_back(std::to_string(label) + ":" + msg.FLinkInfo.FValue);
        if (label == 2 && !nested) {
            nested = true;
            std::vector<TSpiderOutputMsg> later(2);
            for (size_t i = 0; i < later.size(); ++i) {
                later[i].FMsgType = OUTMSG_LINK_FOUND;
                later[i].FLinkInfo.FValue = "later" + std::to_string(i);
            }
            queue.TryToHandOverMessages(later.data(), 2);
            QCoreApplication::processEvents();
            seen.push_back("back");
        }
    });
    splitter.SetAsOutputDestination();
    std::vector<TSpiderOutputMsg> links(4);
    for (size_t i = 0; i < links.size(); ++i) {
        links[i].FMsgType = OUTMSG_LINK_FOUND;
        links[i].FLinkInfo.FValue = "first" + std::to_string(i);
    }
    ASSERT_EQ(queue.TryToHandOverMessages(links.data(), 4), 4);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string>{"1:first0", "2:first1", "3:first2", "4:first3", "5:later0",
                                              "6:later1", "back"}));
    EXPECT_EQ(queue.Count(), 0);
}

// Handing out reports takes turns of about one frame: other events of the window (paints, input)
// run between them, and the reports still arrive in order.
TEST(SpiderOutputSplitter, ALongRunOfReportsLetsOtherEventsInBetween)
{
    TSpiderOutputMessageQueue queue;
    TSpiderOutputSplitterForm splitter;
    std::vector<std::string> seen;
    splitter.RegisterForSpiderOutput(~0u, [&](const TSpiderOutputMsg& msg, int32_t) {
        seen.push_back(msg.FLinkInfo.FValue);
        std::this_thread::sleep_for(TSpiderOutputSplitterForm::kDeliveryTurn + std::chrono::milliseconds(4));
    });
    splitter.SetAsOutputDestination();
    std::vector<TSpiderOutputMsg> links(3);
    for (size_t i = 0; i < links.size(); ++i) {
        links[i].FMsgType = OUTMSG_LINK_FOUND;
        links[i].FLinkInfo.FValue = std::to_string(i + 1);
    }
    ASSERT_EQ(queue.TryToHandOverMessages(links.data(), 3), 3);
    QMetaObject::invokeMethod(&splitter, [&] { seen.push_back("other"); }, Qt::QueuedConnection);
    for (int i = 0; i < 20 && seen.size() < 4; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "other", "2", "3"}));
}

}  // namespace
