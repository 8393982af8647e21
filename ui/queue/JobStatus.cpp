#include "ui/queue/JobStatus.h"

#include "engine/messages/SpiderOutputMsgTypes.h"
#include "platform/ErrorCodes.h"
#include "ui/common/UIStrings.h"

namespace {

const int kStatusStringIds[] = {162, 163, 164, 167, 168, 166, 169, 165};

}  // namespace

QString JobStatusText(int32_t status)
{
    if (status < 0 || status > 7)
        return "?";
    return QUIString(kStatusStringIds[status]);
}

bool IsEndedStatus(int32_t status)
{
    return status == jsComplete || status == jsStopped || status == jsAborted || status == jsError ||
           status == jsCompleteWithConnectionErrors;
}

void TJobEndRule::Reset()
{
    FFilesWritten = 0;
    FPreviouslyDownloadedSeen = false;
    FConnectionFailureSeen = false;
}

void TJobEndRule::OnDownloadEnded(bool fileWritten, bool filtered, uint8_t filterCode, bool errorCodeValid,
                                  int32_t errorCode)
{
    if (fileWritten)
        ++FFilesWritten;
    if (filtered && filterCode == 14)
        FPreviouslyDownloadedSeen = true;
    if (errorCodeValid &&
        (errorCode == static_cast<int32_t>(errc::InternetTimeout) ||
         errorCode == static_cast<int32_t>(errc::InternetCannotConnect) ||
         errorCode == static_cast<int32_t>(errc::InternetConnectionAborted) ||
         errorCode == static_cast<int32_t>(errc::InternetConnectionReset)))
        FConnectionFailureSeen = true;
}

int32_t TJobEndRule::EndStatus(int32_t endCode) const
{
    switch (endCode) {
    case JOB_END_COMPLETED:
        if (FFilesWritten <= 0 && !FPreviouslyDownloadedSeen)
            return jsStopped;
        return FConnectionFailureSeen ? jsCompleteWithConnectionErrors : jsComplete;
    case JOB_END_STOPPED: return jsStopped;
    case JOB_END_CANCELLED: return jsAborted;
    default: return jsError;
    }
}

