#pragma once
// The output queue with a headless sink, and a consumer thread that takes every report out as
// it is announced, so producers never block on a full queue.
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputSink.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

class ReportCollector {
public:
    ReportCollector()
    {
        queue_.SetDestinationWindow(&sink_);
        consumer_ = std::thread([this] { Run(); });
    }
    ~ReportCollector() { Stop(); }
    ReportCollector(const ReportCollector&) = delete;
    ReportCollector& operator=(const ReportCollector&) = delete;

    // Every report posted so far, in order; call once the producer is done.
    const std::vector<std::unique_ptr<TSpiderOutputMsg>>& Reports()
    {
        Stop();
        return reports_;
    }
    std::vector<int> Types()
    {
        std::vector<int> types;
        for (const auto& report : Reports())
            types.push_back(report->FMsgType);
        return types;
    }
    // The reports of one type.
    std::vector<const TSpiderOutputMsg*> OfType(int type)
    {
        std::vector<const TSpiderOutputMsg*> found;
        for (const auto& report : Reports())
            if (report->FMsgType == type)
                found.push_back(report.get());
        return found;
    }

private:
    void Run()
    {
        int32_t label = 0;
        while (sink_.WaitForLabel(label, std::chrono::seconds(30))) {
            auto report = std::make_unique<TSpiderOutputMsg>();
            if (queue_.RetrieveMessage(label, *report))
                reports_.push_back(std::move(report));
        }
    }
    void Stop()
    {
        if (consumer_.joinable()) {
            sink_.Close();
            consumer_.join();
        }
    }

    THeadlessOutputSink sink_;
    TSpiderOutputMessageQueue queue_;
    std::vector<std::unique_ptr<TSpiderOutputMsg>> reports_;
    std::thread consumer_;
};
