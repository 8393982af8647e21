#pragma once
// The preference settings other pages read, each a read of its key with its default.

bool GetShowJobQueue();              // [Automation] ShowJobQueue, off
bool GetFocusQueueOnJobAdd();        // [Automation] FocusQueueOnJobAdd, on
bool GetFocusProgressOnJobStart();   // [Automation] FocusProgressOnJobStart, on
bool GetSaveQueueBetweenRuns();      // [Automation] SaveQueueBetweenRuns, on
bool GetLogCompletedJobs();          // [Preferences] LogCompletedJobs, on
bool GetShowFriendlyDownloadResults(); // [Preferences] ShowFriendlyDownloadResults, on
int GetScrapeHotkey();               // [Automation] ScrapeHotkey, 117 (F6)
int GetPriority();                   // [Preferences] Priority, 32 (normal)
bool GetMinimizeToTaskbar();         // [Preferences] MinimizeToTaskbar, off
int GetMinSlideWidth();              // [Slideshow] MinSlideWidth, 100
int GetMinSlideHeight();             // [Slideshow] MinSlideHeight, 100
bool GetShrinkLarge();               // [Slideshow] ShrinkLarge, on
