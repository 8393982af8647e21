#include "engine/messages/RunOutcome.h"

#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"

namespace {

bool TellsOfFullDisk(const std::string& errorText)
{
    static const std::string diskFull = SystemErrorMessage(errc::DiskFull);
    return !diskFull.empty() && errorText.find(diskFull) != std::string::npos;
}

}  // namespace

void TRunOutcome::Note(const TSpiderOutputMsg& report)
{
    switch (report.FMsgType) {
    case OUTMSG_DOWNLOAD_ENDED: {
        const TFileDownloadResults& r = report.FDownload.FResults;
        diskFull_ = diskFull_ || (r.FErrorCodeValid && r.FErrorCode == static_cast<int32_t>(errc::DiskFull)) ||
                    (r.FResult == DL_RESULT_EXCEPTION && TellsOfFullDisk(r.FExceptionText));
        break;
    }
    case OUTMSG_WRITE_ENDED:
        diskFull_ = diskFull_ ||
                    (report.FReadWrite.FStatus == RW_STATUS_ERROR && TellsOfFullDisk(report.FReadWrite.FErrorText));
        break;
    case OUTMSG_JOB_ENDED:
        ended_ = true;
        endCode_ = report.FResultCode;
        startPage_ = report.FStartPageFile;
        indexSaved_ = report.FIndexSaved;
        break;
    default:
        break;
    }
}

int TRunOutcome::ExitStatus() const
{
    if (ended_ && (endCode_ == JOB_END_ERROR || endCode_ == JOB_END_CANCELLED || endCode_ == JOB_END_STOPPED))
        return endCode_;
    if (diskFull_)
        return RUN_DISK_FULL;
    // The start page is named only when its file was written; it must still be there.
    if (!ended_ || startPage_.empty() || !IsPlainFileNoFollow(startPage_))
        return RUN_NO_START_PAGE;
    // A copy whose index is missing or stale fetches again, or misses changes, on its next run.
    if (!indexSaved_)
        return RUN_INDEX_NOT_SAVED;
    return endCode_ == JOB_END_COMPLETED ? RUN_COPIED : RUN_ERROR;
}
