#pragma once
// Work that reaches the main window from outside the Start page: the command line (its own and
// that handed over by a later start), dropped files, addresses copied to the clipboard and the
// quick-copy hotkey.
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QMimeData;
class TMainForm;
class TURLScrapeHotkey;

// How OpenFiles treats job files and shortcuts.
enum TOpenMode : int {
    omEdit = 0,     // the command line with "/edit"
    omStart = 1,    // the command line without it
    omDropped = 2,  // start, except a single file dropped on the Start page is edited
};

// One step of working off a command line.
struct TCommandLineStep {
    enum TKind { Speak, OpenFile, Invalid, StartAddress, EditAddress };
    TKind kind;
    QString param;
    int mode = omStart;  // for OpenFile
};

// The steps for params: "/speak" first means only speaking the next parameter; "/edit"
// anywhere (any letter case) makes the rest edited; other switches are skipped.
std::vector<TCommandLineStep> PlanCommandLine(const QStringList& params,
                                              const std::function<bool(const QString&)>& isFile);

// Lines cut before their first blank, trimmed, and only downloadable addresses kept, in order.
std::vector<std::string> CleanURLList(const std::vector<std::string>& lines);
// Splits at CR LF, a lone CR or a lone LF.
std::vector<std::string> SplitTextLines(const std::string& text);
// [InternetShortcut] URL of an Internet shortcut file; empty when missing or unreadable.
std::string ExtractURLFromShortcutFile(const std::string& path);
// The clean address list of the clipboard's plain text.
std::vector<std::string> ExtractURLListFromClipboard();

// One thing dropped on the window: a local file, or an address as a web browser drags a link.
struct TDroppedItem {
    QString text;  // the file's path or the address
    bool address = false;
};
// The local files and the http, https and ftp addresses of a drop, in order: from its list of
// addresses (text/uri-list), else from a browser's links (text/x-moz-url). Other addresses
// (javascript:, data:, mailto: ...) are left out.
std::vector<TDroppedItem> DroppedItemsOf(const QMimeData* data);

class TWorkIntake : public QObject {
    Q_OBJECT
public:
    // Watches the clipboard and takes files dropped on form.
    explicit TWorkIntake(TMainForm& form);

    // Works off the form's cached parameters and empties them.
    void ProcessCommandLine();
    void OpenFiles(const QStringList& files, int mode);
    // One address: started (mode 2) or put in the Start page; several: each started (mode 2 only).
    void OpenURLList(const std::vector<std::string>& addresses, int mode);
    // The program itself copies to the clipboard next: that change is not taken as work.
    void SuppressNextClipboardChange() { suppressNextClipboardChange_ = true; }
    void OnClipboardChanged();

    // The quick-copy hotkey of the preferences; 0, or a key the page cannot show, means none.
    // A key that cannot be had is logged.
    void RegisterURLScrapeHotkey();
    void UnregisterURLScrapeHotkey();
    bool IsHotkeyRegistered() const;
    // The hotkey was pressed: a job for the active browser's address, named after its page.
    void OnURLScrapeHotkey();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // OpenFiles for files and addresses: a dropped address is taken as a dropped shortcut file
    // naming it.
    void OpenItems(const std::vector<TDroppedItem>& items, int mode);
    // The address of a shortcut: edited, or started; False when the queue is full.
    bool OpenShortcutAddress(const std::string& address, bool edit);

    TMainForm& form_;
    TURLScrapeHotkey* hotkey_ = nullptr;
    bool suppressNextClipboardChange_ = false;
    std::deque<TCommandLineStep> pendingSteps_;
    bool workingOffSteps_ = false;
    std::string lastSingleClipboardAddress_;
};
