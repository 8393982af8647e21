#include "ui/preferences/PreferenceGetters.h"

#include "ui/common/UISettings.h"

bool GetShowJobQueue()
{
    return ReadSettingBool("Automation", "ShowJobQueue", false);
}

bool GetFocusQueueOnJobAdd()
{
    return ReadSettingBool("Automation", "FocusQueueOnJobAdd", true);
}

bool GetFocusProgressOnJobStart()
{
    return ReadSettingBool("Automation", "FocusProgressOnJobStart", true);
}

bool GetSaveQueueBetweenRuns()
{
    return ReadSettingBool("Automation", "SaveQueueBetweenRuns", true);
}

bool GetLogCompletedJobs()
{
    return ReadSettingBool("Preferences", "LogCompletedJobs", true);
}

bool GetShowFriendlyDownloadResults()
{
    return ReadSettingBool("Preferences", "ShowFriendlyDownloadResults", true);
}

int GetScrapeHotkey()
{
    return ReadSettingInteger("Automation", "ScrapeHotkey", 117);
}

int GetPriority()
{
    return ReadSettingInteger("Preferences", "Priority", 32);
}

bool GetMinimizeToTaskbar()
{
    return ReadSettingBool("Preferences", "MinimizeToTaskbar", false);
}

int GetMinSlideWidth()
{
    return ReadSettingInteger("Slideshow", "MinSlideWidth", 100);
}

int GetMinSlideHeight()
{
    return ReadSettingInteger("Slideshow", "MinSlideHeight", 100);
}

bool GetShrinkLarge()
{
    return ReadSettingBool("Slideshow", "ShrinkLarge", true);
}
