#pragma once
// What the Preferences pages ask of the window that holds them.
#include "ui/dialogs/URLRanges.h"

class TPreferencesHost : public TURLListOpener {
public:
    virtual void SetJobQueueVisible(bool on) = 0;
    virtual void SetJobLogVisible(bool on) = 0;
    virtual void SetMinimizeToTray(bool on) = 0;
    virtual void SetStayOnTop(bool on) = 0;
    virtual void RegisterURLScrapeHotkey() = 0;
    virtual void ShowTipOfTheDay() = 0;
    // Empties the Start page's histories and the last job file.
    virtual void ClearHistory() = 0;
    // Every window's texts again, in the language now chosen.
    virtual void UpdateLanguageLabels() = 0;

protected:
    ~TPreferencesHost() = default;
};
