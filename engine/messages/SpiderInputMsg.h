#pragma once
// Commands from the user interface to the crawl thread and their 10-slot queue.
#include "engine/job/JobTypes.h"
#include "engine/messages/SlotOrder.h"
#include "platform/Singleton.h"

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

constexpr uint8_t INMSG_START_JOB = 1;
constexpr uint8_t INMSG_PAUSE_JOB = 2;
constexpr uint8_t INMSG_RESUME_JOB = 3;
constexpr uint8_t INMSG_STOP_JOB = 4;
constexpr uint8_t INMSG_ABORT_JOB = 5;
constexpr uint8_t INMSG_STOP_FILE_DOWNLOAD = 6;
constexpr uint8_t INMSG_STOP_HOST_DOWNLOADS = 7;
constexpr uint8_t INMSG_STOP_EXTENSION_DOWNLOADS = 8;
constexpr uint8_t INMSG_STOP_MIME_TYPE_DOWNLOADS = 9;

class TSpiderInputMsg {
public:
    uint8_t FMsgType = 0;
    TCopyJob FJob;               // start only
    int32_t FDownloadNumber = 0; // types 6-9
    int32_t FJobID = 0;
    TProxyServerInfo FHTTPProxy; // start only
    TProxyServerInfo FFTPProxy;  // start only

    TSpiderInputMsg() = default;
    TSpiderInputMsg(const TSpiderInputMsg&) = delete;
    TSpiderInputMsg& operator=(const TSpiderInputMsg&) = delete;

    // Every field.
    void Assign(const TSpiderInputMsg& source);
    // The fields the source's type uses: the job and the proxies only for a start command.
    void AssignUsedFields(const TSpiderInputMsg& source);
};

// A set of command types 0-15, as FindMessage and TakeMessage take them.
class TSpiderInputMsgTypes {
public:
    TSpiderInputMsgTypes(std::initializer_list<uint8_t> types)
    {
        for (uint8_t t : types)
            if (t < 16)
                bits_ = static_cast<uint16_t>(bits_ | (1u << t));
    }
    bool Contains(uint8_t type) const { return type < 16 && (bits_ & (1u << type)) != 0; }

private:
    uint16_t bits_ = 0;
};

class TSpiderInputMessageQueue : public TSingleton<TSpiderInputMessageQueue> {
public:
    static constexpr int32_t Capacity = 10;
    // Shown every accepted command (the I/O message view); called with the queue's lock held.
    using TInputLogHook = std::function<void(const TSpiderInputMsg&)>;

    TSpiderInputMessageQueue();
    ~TSpiderInputMessageQueue();

    void SetInputLogHook(TInputLogHook hook);

    void Clear();
    bool PushMessage(const TSpiderInputMsg& message);
    bool PopMessage(TSpiderInputMsg& message);
    // Lowest index of a command whose type is in the set and whose job id matches (0 matches
    // every job); -1 when none.
    int32_t FindMessage(const TSpiderInputMsgTypes& types, int32_t jobID) const;
    // Finds as FindMessage does and takes the command out (into message when given). With a
    // job id, commands 2-9 of other jobs are stale (only one job runs) and are dropped on the
    // way, so that they cannot fill the queue.
    bool TakeMessage(const TSpiderInputMsgTypes& types, int32_t jobID, TSpiderInputMsg* message);
    int32_t Count() const;

    bool PostPauseJob(int32_t jobID);
    bool PostResumeJob(int32_t jobID);
    bool PostStopJob(int32_t jobID);
    bool PostAbortJob(int32_t jobID);
    bool PostStopFileDownload(int32_t jobID, int32_t downloadNumber);
    bool PostStopHostDownloads(int32_t jobID, int32_t downloadNumber);
    bool PostStopExtensionDownloads(int32_t jobID, int32_t downloadNumber);
    bool PostStopMimeTypeDownloads(int32_t jobID, int32_t downloadNumber);
    bool PostDownloadStopRequest(int32_t jobID, int32_t downloadNumber, uint8_t type);

private:
    bool PostJobCommand(int32_t jobID, uint8_t type);
    int32_t FindLocked(const TSpiderInputMsgTypes& types, int32_t jobID) const;
    void DropStaleCommands(int32_t jobID);
    const TSpiderInputMsg& At(int32_t pos) const { return *slots_[order_.SlotAt(pos)]; }

    mutable std::mutex lock_;
    std::array<std::unique_ptr<TSpiderInputMsg>, Capacity> slots_;
    TSlotOrder<Capacity> order_;
    TInputLogHook logHook_;
};
