#pragma once
// The main window: six pages behind a tab bar, the help and feedback icons, window placement,
// flashing, and the operations other pages use to move between pages.
#include "ui/common/TryShellExe.h"
#include "ui/preferences/PreferencesHost.h"
#include "ui/progress/ProgressHost.h"
#include "ui/queue/JobQueueHost.h"
#include "ui/start/StartHost.h"

#include <QIcon>
#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QStackedWidget;
class TAboutForm;
class TTipOfTheDayForm;
class TCoolTrayIcon;
class TCopyJob;
class TJobQueueFrame;
class TPreferencesFrame;
class TSpiderOutputSplitterForm;
class TStartFrame;
class TWorkIntake;
struct TProxyServerInfo;
class QTabBar;
class QTimer;
class QUrl;
class QToolButton;

// Page indexes, in tab order.
enum TMainPage : int {
    pgStart = 0,
    pgJobQueue = 1,
    pgProgress = 2,
    pgPreferences = 3,
    pgLog = 4,
    pgBrowse = 5,
    pgCount = 6,
};

// Start-up: settles the program folder, the language files and the settings file.
void InitPathsAndOptions();

class TMainForm;
// After every window exists: texts, the pages' set-up in order (which registers their output
// listeners), the output destination, then the Log, Job Queue and Progress tabs.
// The output destination is set even when a page's set-up fails.
void InitAfterFormsCreated(TMainForm& form, TSpiderOutputSplitterForm* splitter);

// Stored [Window] placement; -1 means unset.
struct TWindowPlacement {
    int32_t state = 0;  // 0 normal, 1 minimised, 2 maximised
    int32_t left = -1, top = -1, width = -1, height = -1;
};

// The designed rectangle with every set value of p applied, kept inside available: the size
// shrinks to fit (but not below minimum unless the screen is smaller), then the position moves
// so the whole rectangle is on the screen.
QRect PlaceWindowRect(const TWindowPlacement& p, const QRect& designed, const QRect& available,
                      const QSize& minimum);

// Where the window opens when no placement is stored: 70% of available, at least 1000 x 700
// where available allows, centred in it. An invalid available gives designed.
QRect FirstStartRect(const QRect& designed, const QRect& available);

// Flashing: seconds above 10 become 10, 0 or below become 2.
int FlashSeconds(int seconds);
// Phase length: the caret blink time, or 500 ms when that is not positive or exceeds timeLeft.
int FlashInterval(int blinkMs, int timeLeftMs);

// The pages reach the window through the host interfaces it gives them when it makes them.
class TMainForm : public QMainWindow,
                  public TStartHost,
                  public TJobQueueHost,
                  public TProgressHost,
                  public TPreferencesHost,
                  public TPageViewer {
    Q_OBJECT
public:
    explicit TMainForm(const QStringList& args = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    static TMainForm* Instance() { return instance_; }

    bool Created() const { return created_; }

    void SetBusyIcon(bool busy) override;
    bool IsBusyIconShown() const { return busy_; }
    bool IsModalDialogShowing() const override;

    bool MoveFocusToPage(int index) override;
    bool MoveFocusToPageByCaption(const QString& caption);
    bool MoveFocusToPageByStringId(int id) override;
    int ActivePage() const override;

    void UpdateLanguageLabels() override;

    void StartFlashing(int seconds) override;
    void StopFlashing() override;
    bool IsFlashing() const;
    int FlashTimeLeft() const { return flashTimeLeft_; }

    void SetTrayHint(const QString& text) override;
    // The window's title.
    void SetWindowCaption(const QString& caption) override { setWindowTitle(caption); }
    // close(), for the queue's automation.
    void CloseWindow() override { close(); }
    const QString& TrayHint() const { return trayHint_; }
    void SetMinimizeToTray(bool on) override;
    // The tray icon's click: the window shown again, the tray icon hidden.
    void RestoreFromTray();
    TCoolTrayIcon* TrayIcon() const { return trayIcon_; }

    // The Log page's logging on or off, then its tab shown or hidden.
    void SetJobLogVisible(bool on) override;
    // Keeps the window above other windows or not, without moving or sizing it.
    void SetStayOnTop(bool on) override;
    void SetJobQueueVisible(bool on) override;
    bool SetProgressTabVisible(bool on) override;
    bool IsPageVisible(int index) const;

    void ShowHelp();
    // The tip window shown (not modally) and brought to the front.
    void ShowTipOfTheDay() override;
    // The About box, modally.
    void ShowAbout();
    // The splash is shown on the first show (the program's own start; off in tests).
    void SetShowSplash(bool on) { showSplash_ = on; }
    TTipOfTheDayForm* TipOfTheDay() const { return tipOfTheDay_; }
    TAboutForm* About() const { return about_; }
    void SendFeedback();

    QWidget* Page(int index) const { return pages_.at(index); }
    QTabBar* TabBar() const { return tabBar_; }
    TStartFrame* StartPage() const { return startFrame_; }
    TJobQueueFrame* JobQueue() const override { return jobQueueFrame_; }
    TPreferencesFrame* Preferences() const { return preferencesFrame_; }

    // Activates the Browse page and shows address (a local file or a web page) there; false
    // while a modal window keeps the pages from changing.
    bool ShowInBrowsePage(const QUrl& address) override;
    // Shows the Start page with a copy of a queued job for editing.
    void EditQueuedJob(const TCopyJob& job) override;
    // The HTTP and FTP proxies of the preferences.
    void GetProxySettings(TProxyServerInfo& http, TProxyServerInfo& ftp) const override;
    // Empties the Start page's histories and deletes "LastJob.GCJ".
    void ClearHistory() override;
    // The session may end: the running job is cancelled and the queue saved, but the crawl
    // thread keeps running, so a cancelled log-out leaves the program able to run jobs.
    void QueryEndSession();
    // Activates the Preferences page at its site passwords.
    void ShowPasswordsPreferences() override;

    // [Window] placement.
    void LoadWindowPlacement();
    void SaveWindowPlacement();
    // Shows the window in the stored state (normal, minimised or maximised).
    void ShowInStoredState();

    // Set when "/uninstall" was handled: the placement is not saved.
    void SetUninstalling(bool on) { uninstalling_ = on; }
    bool Uninstalling() const { return uninstalling_; }

    const QStringList& CachedParams() const { return cachedParams_; }
    void AddCachedParam(const QString& param) { cachedParams_.append(param); }
    QStringList TakeCachedParams() { return std::exchange(cachedParams_, {}); }

    // Work from the command line, a later start, dropped files and the clipboard.
    TWorkIntake* Intake() const { return intake_; }
    void ProcessCommandLine();
    void OpenFiles(const QStringList& files, int mode);
    void OpenURLList(const std::vector<std::string>& addresses, int mode) override;
    void SuppressNextClipboardChange() override;
    // Registers the quick-copy hotkey of the preferences again.
    void RegisterURLScrapeHotkey() override;
    // Shows the window (from the tray too), restored when minimised if asked, and in front.
    void BringMainToFront(bool restore);

    // Ends the program during start-up ("/runonce", "/uninstall"): the queue, not yet read,
    // is neither shut down nor saved over.
    void EndAtStartup();

    // The start-up steps that wait until the window is on screen.
    void OnStartupUIComplete();
    // A file of the program's own was not read whole: text says which, what was kept and
    // where the file as found is. Told once: gathered into one box at the end of start-up,
    // shown at once afterwards.
    void ReportRecovery(const QString& text);
    // Recovery texts gathered during start-up and not yet shown.
    const QStringList& PendingRecoveries() const { return pendingRecoveries_; }
    // Works off the parameters a later start handed over, at once, also during start-up (the
    // saved queue is read first then). A job they added is on disk when this returns: the later
    // start has already ended.
    void OnParamsHandedOver();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate(const QStringList& args);
    void CreatePages();
    void LoadIcons();
    void OnFlashTimer();
    void FormCloseQuery();
    void FormClose();
    // Reads the saved queue the first time it is called.
    void LoadSavedQueueOnce();
    // Shows the gathered recovery texts, with the settings store's, in one box.
    void ShowRecoveries();

    static inline TMainForm* instance_ = nullptr;

    QTabBar* tabBar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QToolButton* helpIcon_ = nullptr;
    QToolButton* feedbackIcon_ = nullptr;
    QTimer* flashTimer_ = nullptr;
    TCoolTrayIcon* trayIcon_ = nullptr;
    std::array<QWidget*, pgCount> pages_{};
    TStartFrame* startFrame_ = nullptr;
    TJobQueueFrame* jobQueueFrame_ = nullptr;
    TPreferencesFrame* preferencesFrame_ = nullptr;
    TWorkIntake* intake_ = nullptr;
    TTipOfTheDayForm* tipOfTheDay_ = nullptr;
    TAboutForm* about_ = nullptr;
    QAction* aboutAction_ = nullptr;

    QStringList cachedParams_;
    QStringList pendingRecoveries_;
    bool recoveriesShown_ = false;
    bool created_ = false;
    bool firstShow_ = true;
    bool savedQueueRead_ = false;
    bool showSplash_ = false;
    bool uninstalling_ = false;
    bool closePrepared_ = false;
    bool busy_ = false;
    bool flashOn_ = false;
    int flashTimeLeft_ = 0;
    int storedState_ = 0;
    QString trayHint_;
    QIcon busyIcon_, normalIcon_, flashIcon_;
};
