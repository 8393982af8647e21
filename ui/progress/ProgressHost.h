#pragma once
// What the Progress page asks of the window that holds it.

class TProgressHost {
public:
    // The page shown now, and a page shown by index.
    virtual int ActivePage() const = 0;
    virtual bool MoveFocusToPage(int index) = 0;
    virtual bool SetProgressTabVisible(bool on) = 0;
    // The next clipboard change is the program's own: no job is offered for it.
    virtual void SuppressNextClipboardChange() = 0;

protected:
    ~TProgressHost() = default;
};
