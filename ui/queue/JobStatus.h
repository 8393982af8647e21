#pragma once
// The status of a queued job, and the rule that turns a job's end report into one. The queue,
// the window caption and the job report all take a finished job's status from this rule.
#include <QString>

#include <cstdint>

enum TJobStatus : int32_t {
    jsQueued = 0,
    jsBusy = 1,
    jsComplete = 2,
    jsStopped = 3,
    jsAborted = 4,
    jsError = 5,
    jsPaused = 6,
    jsCompleteWithConnectionErrors = 7,
};

// The status column's text: "?" for a value outside 0-7.
QString JobStatusText(int32_t status);
bool IsEndedStatus(int32_t status);  // Complete, Stopped, Aborted, Error, CompleteWithConnectionErrors

// What the running job's download reports decide about its end status.
class TJobEndRule {
public:
    void Reset();
    void OnDownloadEnded(bool fileWritten, bool filtered, uint8_t filterCode, bool errorCodeValid, int32_t errorCode);
    // The status for a job-ended report with this end code.
    int32_t EndStatus(int32_t endCode) const;

    int32_t FFilesWritten = 0;
    // Some file of the job was found already on disk (refused as previously downloaded): a
    // run that wrote nothing new found its files and did not stop short.
    bool FPreviouslyDownloadedSeen = false;
    bool FConnectionFailureSeen = false;
};

