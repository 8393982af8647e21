#pragma once
// What the Job Queue page and its automation ask of the window that holds them.
class QString;
class TCopyJob;
struct TProxyServerInfo;

class TJobQueueHost {
public:
    // Shows the page whose tab caption is the language string id.
    virtual bool MoveFocusToPageByStringId(int id) = 0;
    virtual bool SetProgressTabVisible(bool on) = 0;
    virtual void SetBusyIcon(bool busy) = 0;
    virtual void SetTrayHint(const QString& text) = 0;
    virtual void SetWindowCaption(const QString& caption) = 0;
    virtual void StartFlashing(int seconds) = 0;
    virtual void StopFlashing() = 0;
    virtual bool IsModalDialogShowing() const = 0;
    // Closes the window, as the user would: the queue is shut down and saved.
    virtual void CloseWindow() = 0;
    // The HTTP and FTP proxies a job starts with.
    virtual void GetProxySettings(TProxyServerInfo& http, TProxyServerInfo& ftp) const = 0;
    // Shows the job on the Start page for editing.
    virtual void EditQueuedJob(const TCopyJob& job) = 0;

protected:
    ~TJobQueueHost() = default;
};
