#include "engine/messages/SpiderInputMsg.h"

#include "engine/services/AppTraceLog.h"

#include <string>

namespace {

const char kUnit[] = "SpiderInputMsg";

}  // namespace

void TSpiderInputMsg::Assign(const TSpiderInputMsg& source)
{
    FMsgType = source.FMsgType;
    FJob.Assign(source.FJob);
    FDownloadNumber = source.FDownloadNumber;
    FJobID = source.FJobID;
    FHTTPProxy = source.FHTTPProxy;
    FFTPProxy = source.FFTPProxy;
}

void TSpiderInputMsg::AssignUsedFields(const TSpiderInputMsg& source)
{
    FMsgType = source.FMsgType;
    FDownloadNumber = source.FDownloadNumber;
    FJobID = source.FJobID;
    if (source.FMsgType == INMSG_START_JOB) {
        FJob.Assign(source.FJob);
        FHTTPProxy = source.FHTTPProxy;
        FFTPProxy = source.FFTPProxy;
    }
}

TSpiderInputMessageQueue::TSpiderInputMessageQueue()
{
    for (auto& slot : slots_)
        slot = std::make_unique<TSpiderInputMsg>();
}

TSpiderInputMessageQueue::~TSpiderInputMessageQueue() = default;

void TSpiderInputMessageQueue::SetInputLogHook(TInputLogHook hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    logHook_ = std::move(hook);
}

void TSpiderInputMessageQueue::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    order_.Clear();
}

bool TSpiderInputMessageQueue::PushMessage(const TSpiderInputMsg& message)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (order_.Full()) {
        LogMessage("Spider input queue full");
        return false;
    }
    slots_[order_.NextFree()]->AssignUsedFields(message);
    order_.Append();
    if (logHook_)
        logHook_(message);
    return true;
}

bool TSpiderInputMessageQueue::PopMessage(TSpiderInputMsg& message)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (order_.Count() == 0)
        return false;
    message.AssignUsedFields(At(0));
    order_.RemoveAt(0);
    return true;
}

int32_t TSpiderInputMessageQueue::FindLocked(const TSpiderInputMsgTypes& types, int32_t jobID) const
{
    for (int32_t pos = 0; pos < order_.Count(); ++pos) {
        const TSpiderInputMsg& entry = At(pos);
        if (types.Contains(entry.FMsgType) && (jobID == 0 || entry.FJobID == jobID))
            return pos;
    }
    return -1;
}

int32_t TSpiderInputMessageQueue::FindMessage(const TSpiderInputMsgTypes& types, int32_t jobID) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return FindLocked(types, jobID);
}

void TSpiderInputMessageQueue::DropStaleCommands(int32_t jobID)
{
    int32_t pos = 0;
    while (pos < order_.Count()) {
        const TSpiderInputMsg& entry = At(pos);
        if (entry.FMsgType >= INMSG_PAUSE_JOB && entry.FMsgType <= INMSG_STOP_MIME_TYPE_DOWNLOADS &&
            entry.FJobID != jobID) {
            LogEvent(etWarning, "Ignored spider input msg " + std::to_string(entry.FMsgType), "TakeMessage", kUnit);
            order_.RemoveAt(pos);
        } else {
            ++pos;
        }
    }
}

bool TSpiderInputMessageQueue::TakeMessage(const TSpiderInputMsgTypes& types, int32_t jobID, TSpiderInputMsg* message)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (jobID != 0)
        DropStaleCommands(jobID);
    int32_t pos = FindLocked(types, jobID);
    if (pos < 0)
        return false;
    if (message)
        message->AssignUsedFields(At(pos));
    order_.RemoveAt(pos);
    return true;
}

int32_t TSpiderInputMessageQueue::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return order_.Count();
}

bool TSpiderInputMessageQueue::PostJobCommand(int32_t jobID, uint8_t type)
{
    return PostDownloadStopRequest(jobID, 0, type);
}

bool TSpiderInputMessageQueue::PostPauseJob(int32_t jobID)
{
    return PostJobCommand(jobID, INMSG_PAUSE_JOB);
}

bool TSpiderInputMessageQueue::PostResumeJob(int32_t jobID)
{
    return PostJobCommand(jobID, INMSG_RESUME_JOB);
}

bool TSpiderInputMessageQueue::PostStopJob(int32_t jobID)
{
    return PostJobCommand(jobID, INMSG_STOP_JOB);
}

bool TSpiderInputMessageQueue::PostAbortJob(int32_t jobID)
{
    return PostJobCommand(jobID, INMSG_ABORT_JOB);
}

bool TSpiderInputMessageQueue::PostDownloadStopRequest(int32_t jobID, int32_t downloadNumber, uint8_t type)
{
    TSpiderInputMsg message;
    message.FMsgType = type;
    message.FJobID = jobID;
    message.FDownloadNumber = downloadNumber;
    return PushMessage(message);
}

bool TSpiderInputMessageQueue::PostStopFileDownload(int32_t jobID, int32_t downloadNumber)
{
    return PostDownloadStopRequest(jobID, downloadNumber, INMSG_STOP_FILE_DOWNLOAD);
}

bool TSpiderInputMessageQueue::PostStopHostDownloads(int32_t jobID, int32_t downloadNumber)
{
    return PostDownloadStopRequest(jobID, downloadNumber, INMSG_STOP_HOST_DOWNLOADS);
}

bool TSpiderInputMessageQueue::PostStopExtensionDownloads(int32_t jobID, int32_t downloadNumber)
{
    return PostDownloadStopRequest(jobID, downloadNumber, INMSG_STOP_EXTENSION_DOWNLOADS);
}

bool TSpiderInputMessageQueue::PostStopMimeTypeDownloads(int32_t jobID, int32_t downloadNumber)
{
    return PostDownloadStopRequest(jobID, downloadNumber, INMSG_STOP_MIME_TYPE_DOWNLOADS);
}
