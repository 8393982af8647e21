#pragma once
// Job control for tests, driven by a script: cancels after a number of cancel checks, stays
// paused for a number of waits, and counts what it was asked.
#include "engine/job/JobControl.h"

class ScriptedJobControl : public TJobControl {
public:
    int CancelAfterChecks = -1;  // -1: never
    int ResumeAfterWaits = 0;
    bool PausedNow = false;
    bool Stop = false;
    int Waits = 0;
    int PauseChecks = 0;
    int StopChecks = 0;
    mutable int CancelChecks = 0;

    void CheckPauseRequests() override { ++PauseChecks; }
    void CheckStopRequests() override { ++StopChecks; }
    bool Paused() const override { return PausedNow; }
    bool StopRequested() const override { return Stop; }
    bool CancelRequested() const override { return CancelAfterChecks >= 0 && ++CancelChecks > CancelAfterChecks; }
    void WaitForCommand() override
    {
        if (++Waits >= ResumeAfterWaits)
            PausedNow = false;
    }
    int32_t AddSpiderObjectToList(TSpiderObjectList&, const TURL&, bool& isNew, const TURL*, int32_t) override
    {
        isNew = false;
        return 0;
    }
};
