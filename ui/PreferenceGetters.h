#pragma once
// The preference settings other pages read, each a read of its key with its default.

bool GetShowJobQueue();              // [Automation] ShowJobQueue, off
bool GetFocusQueueOnJobAdd();        // [Automation] FocusQueueOnJobAdd, on
bool GetFocusProgressOnJobStart();   // [Automation] FocusProgressOnJobStart, on
bool GetSaveQueueBetweenRuns();      // [Automation] SaveQueueBetweenRuns, on
bool GetLogCompletedJobs();          // [Preferences] LogCompletedJobs, on
bool GetShowFriendlyDownloadResults(); // [Preferences] ShowFriendlyDownloadResults, on
