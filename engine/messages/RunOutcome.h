#pragma once
// What one job run without a window came to, told by its reports: the exit status of the
// headless runner, so that a script can tell a copy from a failure.
#include "engine/messages/SpiderOutputMsgTypes.h"

#include <string>

// Exit statuses. A job's own end codes keep their numbers.
constexpr int RUN_COPIED = 0;                     // completed (or ended by its own limits), start page copied
constexpr int RUN_STOPPED = JOB_END_STOPPED;      // 3: stopped by a command before its end
constexpr int RUN_CANCELLED = JOB_END_CANCELLED;  // 4: cancelled
constexpr int RUN_ERROR = JOB_END_ERROR;          // 5: the job ended in error
constexpr int RUN_DISK_FULL = 6;                  // a file could not be written: the disk is full
constexpr int RUN_NO_START_PAGE = 7;              // no start page in the copy: never answered, refused, not written
constexpr int RUN_INDEX_NOT_SAVED = 8;            // the index of the copy could not be written

class TRunOutcome {
public:
    // Takes one report of the job.
    void Note(const TSpiderOutputMsg& report);
    // The status for the reports so far; the first that applies of: error, cancelled, stopped,
    // disk full, no start page (also when the job never ended), index not saved, copied.
    int ExitStatus() const;

private:
    bool ended_ = false;
    int32_t endCode_ = 0;
    bool diskFull_ = false;
    bool indexSaved_ = true;
    std::string startPage_;
};
