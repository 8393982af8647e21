#pragma once
// The reports the engine sends to the user interface through the output queue. A producer
// reuses one report from post to post; a listener reads only the fields its type fills.
#include "engine/job/JobTypes.h"
#include "engine/job/LinkType.h"
#include "engine/job/URLType.h"

#include <cstdint>
#include <string>

// The types of report (TSpiderOutputMsg::FMsgType); a listener's mask has bit n for type n.
enum TOutputMsgType : uint8_t {
    OUTMSG_JOB_STARTED = 1,
    OUTMSG_JOB_PAUSED = 2,
    OUTMSG_JOB_RESUMED = 3,
    OUTMSG_JOB_ENDED = 4,
    OUTMSG_DOWNLOAD_STARTED = 5,
    OUTMSG_DOWNLOAD_PROGRESS = 6,
    OUTMSG_DOWNLOAD_ENDED = 7,
    OUTMSG_READ_STARTED = 9,
    OUTMSG_READ_PROGRESS = 10,
    OUTMSG_LINK_FOUND = 11,
    OUTMSG_READ_ENDED = 12,
    OUTMSG_WRITE_STARTED = 13,
    OUTMSG_WRITE_PROGRESS = 14,
    OUTMSG_WRITE_ENDED = 16,
    OUTMSG_PRUNE_STARTED = 17,
    OUTMSG_PRUNING_FOLDER = 18,
    OUTMSG_PRUNE_ENDED = 19,
    OUTMSG_FLATTEN_STARTED = 20,
    OUTMSG_FILE_MOVED_UP = 21,
    OUTMSG_FLATTEN_ENDED = 22,
};

constexpr uint32_t OutputMsgBit(uint8_t type)
{
    return uint32_t{1} << type;
}

// The mask of a listener that wants the types given.
template <typename... Types>
constexpr uint32_t OutputMsgMask(Types... types)
{
    return (OutputMsgBit(types) | ...);
}

// Every type of report there is.
constexpr uint32_t kAllOutputMsgTypes =
    OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_PAUSED, OUTMSG_JOB_RESUMED, OUTMSG_JOB_ENDED, OUTMSG_DOWNLOAD_STARTED,
                  OUTMSG_DOWNLOAD_PROGRESS, OUTMSG_DOWNLOAD_ENDED, OUTMSG_READ_STARTED, OUTMSG_READ_PROGRESS,
                  OUTMSG_LINK_FOUND, OUTMSG_READ_ENDED, OUTMSG_WRITE_STARTED, OUTMSG_WRITE_PROGRESS, OUTMSG_WRITE_ENDED,
                  OUTMSG_PRUNE_STARTED, OUTMSG_PRUNING_FOLDER, OUTMSG_PRUNE_ENDED, OUTMSG_FLATTEN_STARTED,
                  OUTMSG_FILE_MOVED_UP, OUTMSG_FLATTEN_ENDED);

// End codes of a job (FResultCode of OUTMSG_JOB_ENDED).
constexpr int32_t JOB_END_COMPLETED = 2;
constexpr int32_t JOB_END_STOPPED = 3;
constexpr int32_t JOB_END_CANCELLED = 4;
constexpr int32_t JOB_END_ERROR = 5;

// Results of one download (TFileDownloadResults::FResult).
constexpr uint8_t DL_RESULT_FINISHED = 2;
constexpr uint8_t DL_RESULT_CANCELLED = 3;
constexpr uint8_t DL_RESULT_JOB_CANCELLED = 4;
constexpr uint8_t DL_RESULT_EXCEPTION = 5;

// Kinds and states of a page read or write (TFileReadWriteMsg).
constexpr uint8_t RW_KIND_PARSE = 1;
constexpr uint8_t RW_KIND_REWRITE = 2;
constexpr uint8_t RW_KIND_POSTPROCESS = 3;
constexpr uint8_t RW_STATUS_STARTED = 0;
constexpr uint8_t RW_STATUS_RUNNING = 1;
constexpr uint8_t RW_STATUS_FINISHED = 2;
constexpr uint8_t RW_STATUS_CANCELLED = 4;
constexpr uint8_t RW_STATUS_ERROR = 5;

struct TFileDownloadProgress {
    std::string FMimeType;
    int64_t FExpectedSize = 0;   // 0: no length sent; -1: unknown FTP size
    int64_t FBytesReceived = 0;  // bytes already on disk included when resumed
    int64_t FElapsedMs = -1;     // since the body began to arrive
    int64_t FResumeOffset = 0;   // bytes on disk when the download resumed
    uint8_t FValid = 0;

    void Assign(const TFileDownloadProgress& source) { *this = source; }
};

class TFileDownloadResults {
public:
    uint8_t FResult = 0;
    std::string FExceptionText;
    int32_t FStatusCode = 0;
    std::string FStatusText;
    int32_t FErrorCode = 0;
    uint8_t FErrorCodeValid = 0;
    uint8_t FFiltered = 0;
    uint8_t FFilterCode = 0;
    TURL FRedirectURL;
    uint8_t FRedirectAdded = 0;
    uint8_t FFileWritten = 0;

    void Assign(const TFileDownloadResults& source) { *this = source; }
};

class TFileDownloadMsg {
public:
    int32_t FDownloadNumber = 0;
    TURL FURL;
    TURL FReferrer;
    std::string FLocalFile;
    TFileDownloadProgress FProgress;
    TFileDownloadResults FResults;

    void Assign(const TFileDownloadMsg& source) { *this = source; }
};

class TFileReadWriteMsg {
public:
    uint8_t FKind = 0;
    uint8_t FStatus = 0;
    std::string FErrorText;
    int32_t FNumber = 0;
    TURL FURL;
    std::string FLocalFile;
    int32_t FLinkCount = 0;
    int64_t FSize = 0;
    int32_t FPercent = 0;
    std::string FPageTitle;    // as written in the page: its bytes, character references and all
    std::string FPageCharset;  // declared by the server or the page's META, else empty

    void Assign(const TFileReadWriteMsg& source) { *this = source; }
};

struct TFolderFlatteningProgress {
    std::string FOldPath;
    std::string FNewPath;
};

class TSpiderOutputMsg {
public:
    uint8_t FMsgType = 0;
    int32_t FJobID = 0;
    TCopyJob FJob;
    int32_t FResultCode = 0;
    TFileDownloadMsg FDownload;
    TFileReadWriteMsg FReadWrite;
    TWebLinkInfo FLinkInfo;
    std::string FStartPageFile;
    bool FIndexSaved = true;  // job ended: the index of the copy holds what its files are now
    std::string FFolder;
    TFolderFlatteningProgress FFlattening;

    TSpiderOutputMsg() = default;
    TSpiderOutputMsg(const TSpiderOutputMsg&) = delete;
    TSpiderOutputMsg& operator=(const TSpiderOutputMsg&) = delete;

    // Every field.
    void Assign(const TSpiderOutputMsg& source);
    // Type, job id, result code and the parts the source's type fills; the rest keeps its
    // old contents. The queues move reports with this, so a job copy travels only with the
    // reports that carry one.
    void AssignUsedFields(const TSpiderOutputMsg& source);
    // The same, but the parts the source's type fills are swapped with this report's instead
    // of copied: the source is left holding what this report held.
    void SwapUsedFields(TSpiderOutputMsg& source);
};

class TLabeledSpiderOutputMsg {
public:
    int32_t FLabel = 0;
    TSpiderOutputMsg FMsg;

    void Assign(const TLabeledSpiderOutputMsg& source)
    {
        FMsg.Assign(source.FMsg);
        FLabel = source.FLabel;
    }
};
