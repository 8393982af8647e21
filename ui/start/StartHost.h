#pragma once
// What the Start page and its option pages ask of the window that holds them.
class TJobQueueFrame;

class TStartHost {
public:
    // Shows the page whose tab caption is the language string id.
    virtual bool MoveFocusToPageByStringId(int id) = 0;
    // Where started jobs go; none while the window is being made.
    virtual TJobQueueFrame* JobQueue() const = 0;
    // The Preferences page at its site passwords.
    virtual void ShowPasswordsPreferences() = 0;

protected:
    ~TStartHost() = default;
};
