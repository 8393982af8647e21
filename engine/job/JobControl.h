#pragma once
// What the steps that run on the crawl thread during a job (parsing, link rewriting, page and
// folder post-processing) need of it: the pause, resume, stop and cancel commands of the running
// job and the flags they set, and adding found addresses to the job. The crawl thread implements
// it; tests use their own.
#include <cstdint>

class TSpiderObjectList;
class TURL;

class TJobControl {
public:
    virtual ~TJobControl() = default;

    // Takes pause and resume commands of the running job (and reports them).
    virtual void CheckPauseRequests() = 0;
    // Takes cancel and stop commands of the running job.
    virtual void CheckStopRequests() = 0;

    virtual bool Paused() const = 0;
    virtual bool StopRequested() const = 0;
    virtual bool CancelRequested() const = 0;

    // Blocks until a command may have arrived, at most a short while; used between checks while
    // the job is paused.
    virtual void WaitForCommand() = 0;

    // Adds the address to the list (or lowers the depth of the one present) and returns its id;
    // isNew says it was added or is to be fetched again. referrer may be null.
    virtual int32_t AddSpiderObjectToList(TSpiderObjectList& list, const TURL& address, bool& isNew,
                                          const TURL* referrer, int32_t depth) = 0;
};

// Takes the commands and, while the job is paused and not cancelled, waits for a resume or a
// cancel. A stop taken meanwhile is recorded but does not end the pause.
inline void WaitWhilePaused(TJobControl& control)
{
    for (;;) {
        control.CheckPauseRequests();
        control.CheckStopRequests();
        if (!control.Paused() || control.CancelRequested())
            return;
        control.WaitForCommand();
    }
}
