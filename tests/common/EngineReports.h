#pragma once
// The engine's queues and download filter for one test, with a consumer thread that takes every
// report out of the output queue as the user interface would, and keeps the fields that matter.
#include "engine/services/AppTraceLog.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputSink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TReportRecord {
    uint8_t type = 0;
    int32_t jobID = 0;
    int32_t resultCode = 0;
    int32_t number = 0;  // of the download, or of the page read or write
    std::string url;
    std::string localFile;
    uint8_t kind = 0;    // page read or write: RW_KIND_...
    uint8_t status = 0;  // page read or write: RW_STATUS_...
    uint8_t result = 0;
    uint8_t filtered = 0;
    uint8_t filterCode = 0;
    int32_t statusCode = 0;
    int32_t errorCode = 0;
    uint8_t errorCodeValid = 0;
    std::string redirect;
    uint8_t redirectAdded = 0;
    uint8_t fileWritten = 0;
    int64_t bytesReceived = 0;
    std::string startPage;
    std::string folder;   // pruned
    std::string oldPath;  // moved up
    std::string newPath;
};

class TEngineReports {
public:
    TEngineReports()
    {
        output_.SetDestinationWindow(&sink_);
        consumer_ = std::thread([this] { Consume(); });
    }
    ~TEngineReports()
    {
        sink_.Close();
        consumer_.join();
        output_.SetDestinationWindow(nullptr);
    }

    TSpiderInputMessageQueue& Input() { return input_; }
    TSpiderOutputMessageQueue& Output() { return output_; }
    TDownloadFilter& Filter() { return filter_; }

    std::vector<TReportRecord> Reports() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return reports_;
    }
    std::vector<TReportRecord> OfType(uint8_t type) const
    {
        std::vector<TReportRecord> out;
        for (const TReportRecord& r : Reports())
            if (r.type == type)
                out.push_back(r);
        return out;
    }
    // Waits until the reports so far satisfy the test (called with the lock held); False after
    // the timeout.
    bool WaitUntil(const std::function<bool(const std::vector<TReportRecord>&)>& test,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> hold(lock_);
        return added_.wait_for(hold, timeout, [&] { return test(reports_); });
    }
    // Waits until some report satisfies the test.
    bool WaitFor(const std::function<bool(const TReportRecord&)>& test,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        return WaitUntil(
            [&](const std::vector<TReportRecord>& all) { return std::any_of(all.begin(), all.end(), test); },
            timeout);
    }
    bool WaitForType(uint8_t type, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        return WaitFor([type](const TReportRecord& r) { return r.type == type; }, timeout);
    }
    // Waits until n reports of the type have arrived.
    bool WaitForCount(uint8_t type, size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        return WaitUntil(
            [&](const std::vector<TReportRecord>& all) {
                return static_cast<size_t>(std::count_if(all.begin(), all.end(),
                                                         [&](const TReportRecord& r) { return r.type == type; })) >= n;
            },
            timeout);
    }

private:
    void Consume()
    {
        TSpiderOutputMsg message;
        int32_t label = 0;
        for (;;) {
            if (!sink_.WaitForLabel(label, std::chrono::milliseconds(50))) {
                if (sink_.closed() && sink_.Pending() == 0)
                    return;
                continue;
            }
            if (!output_.RetrieveMessage(label, message))
                continue;
            Keep(message);
        }
    }

    void Keep(const TSpiderOutputMsg& m)
    {
        TReportRecord r;
        r.type = m.FMsgType;
        r.jobID = m.FJobID;
        r.resultCode = m.FResultCode;
        r.startPage = m.FStartPageFile;
        if (r.type >= 5 && r.type <= 7) {
            const TFileDownloadMsg& d = m.FDownload;
            r.number = d.FDownloadNumber;
            r.url = d.FURL.GetFullURL();
            r.localFile = d.FLocalFile;
            r.bytesReceived = d.FProgress.FBytesReceived;
            r.result = d.FResults.FResult;
            r.filtered = d.FResults.FFiltered;
            r.filterCode = d.FResults.FFilterCode;
            r.statusCode = d.FResults.FStatusCode;
            r.errorCode = d.FResults.FErrorCode;
            r.errorCodeValid = d.FResults.FErrorCodeValid;
            r.redirect = d.FResults.FRedirectURL.IsValid() ? d.FResults.FRedirectURL.GetFullURL() : "";
            r.redirectAdded = d.FResults.FRedirectAdded;
            r.fileWritten = d.FResults.FFileWritten;
        } else if (r.type == OUTMSG_LINK_FOUND) {
            r.url = m.FLinkInfo.FURL.IsValid() ? m.FLinkInfo.FURL.GetFullURL() : "";
        } else if (r.type >= OUTMSG_READ_STARTED && r.type <= OUTMSG_WRITE_ENDED) {
            const TFileReadWriteMsg& rw = m.FReadWrite;
            r.number = rw.FNumber;
            r.localFile = rw.FLocalFile;
            r.kind = rw.FKind;
            r.status = rw.FStatus;
        } else if (r.type == OUTMSG_PRUNING_FOLDER) {
            r.folder = m.FFolder;
        } else if (r.type == OUTMSG_FILE_MOVED_UP) {
            r.oldPath = m.FFlattening.FOldPath;
            r.newPath = m.FFlattening.FNewPath;
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            reports_.push_back(r);
        }
        added_.notify_all();
    }

    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TDownloadFilter filter_;
    THeadlessOutputSink sink_;
    mutable std::mutex lock_;
    mutable std::condition_variable added_;
    std::vector<TReportRecord> reports_;
    std::thread consumer_;
};
