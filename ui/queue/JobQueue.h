#pragma once
// The job queue page: every job the user added, with its status. The only place that starts
// jobs; follows them through the output reports and keeps the queue between runs.
#include "engine/job/JobTypes.h"
#include "ui/queue/JobStatus.h"

#include <QFrame>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TJobQueueHost;
class QLabel;
class QTimer;
class QToolButton;
class QTreeWidget;
class TIniFile;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;
class TJobQueueAutomation;
class TQueueFolderWriter;
struct TQueueSnapshot;

class TCopyJobAndStatus {
public:
    TCopyJob FJob;
    int32_t FJobID = 0;
    int32_t FJobStatus = -1;

    void Assign(const TCopyJobAndStatus& source);
};

class TJobQueueFrame : public QFrame {
    Q_OBJECT
public:
    static constexpr int32_t MaxJobs = 1000;

    explicit TJobQueueFrame(QWidget* parent = nullptr, TJobQueueHost* host = nullptr);
    ~TJobQueueFrame() override;

    // Registers the output listener and sets the queue folder ("Queue" in dataFolder, which
    // ends with "/").
    void Initialize(TSpiderOutputSplitterForm* splitter, const std::string& dataFolder);
    void UpdateLanguageLabels();

    // How shut-down stops the crawl thread; without them shut-down does not wait.
    void SetCrawlThreadControl(std::function<void()> terminate, std::function<bool()> finished);

    // 0 added, 1 the queue is full (hidden: already holds a job), 2 the job cannot run.
    int AddNewJob(const TCopyJob& job);
    bool AddJobFile(const std::string& fileName);
    int AddCopyJob(const TCopyJob& job, int32_t status, bool askToCreateFolder, bool interactive);

    // Jobs added while one lives are added as a lot: the list is rebuilt and the automation
    // started once at its end, a missing folder is offered once, and the jobs that cannot run are
    // listed in one box.
    class TAddBatch {
    public:
        explicit TAddBatch(TJobQueueFrame& frame) : frame_(frame) { frame_.BeginAddBatch(); }
        ~TAddBatch() { frame_.EndAddBatch(); }
        TAddBatch(const TAddBatch&) = delete;
        TAddBatch& operator=(const TAddBatch&) = delete;

    private:
        TJobQueueFrame& frame_;
    };
    // May change job: an empty destination becomes the documents folder, a relative one is
    // taken inside it. interactive: refusals are shown in a box, else only logged.
    bool CheckJobCanRun(TCopyJob& job, bool askToCreateFolder, bool interactive = true);

    // Another instance holds the saved queue: this queue is never read from or written to the
    // queue folder, and the page and the window's caption say so.
    void SetSavedQueueHeldElsewhere();
    bool SavedQueueHeld() const { return savedQueueHeld_; }
    // How job files reach the instance that holds the saved queue; True when it took them.
    void SetHandOver(std::function<bool(const QStringList&)> handOver) { handOver_ = std::move(handOver); }
    // Before a window whose queue is not saved closes with jobs not yet done: asks whether to
    // hand them to the instance that holds the saved queue, and does. False keeps the window.
    bool ConfirmCloseWithUnsavedJobs();
    // Where handed-over job files wait until the holder has queued them ("HandedOver" in the
    // data folder).
    const std::string& HandOverFolder() const { return handOverFolder_; }
    // The saved queue may be written or deleted: this instance holds it, and has read it or
    // there is none. A saved queue left unread (the page hidden, saving off, settings read as
    // their defaults) is never written over.
    bool MayWriteSavedQueue() const;
    // MayWriteSavedQueue, after reading a saved queue left unread at start-up once the settings
    // say it is shown and saved.
    bool PrepareSavedQueueWrite();
    QLabel* NotSavedMessage() const { return notSavedMessage_; }

    void LoadSavedQueue();
    void LoadQueueFromDisk();
    void SaveQueueToDisk();
    void DeleteQueueFromDisk();
    // Once the saved queue has been read, every change to the queue is written to the queue
    // folder within about a second, in the background.
    bool IsQueueSavePending() const;
    // Waits until the queue folder holds the queue as it is now.
    void FlushQueueSaves();
    void PrepareForAppShutdown();
    // The session asks whether it may end: the running job is cancelled (waiting as a shut-down
    // does) and the queue saved, but the crawl thread stays and, should the session go on, the
    // queue works on as before.
    void PrepareForSessionEnd();

    void RemoveIdleJobs();
    void RemoveFinishedJobs(bool alsoStoppedAndAborted);

    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);

    // The list's commands.
    void StartJobBtnClick();
    void StopJobBtnClick();
    void DeleteJobBtnClick();
    void MoveUpBtnClick();
    void MoveDownBtnClick();
    void EditJobBtnClick();
    void RequeueSelectedJob();

    int32_t JobCount() const { return static_cast<int32_t>(slots_.size()); }
    const TCopyJobAndStatus& Slot(int32_t index) const { return *slots_.at(index); }
    int32_t NextJobID() const { return nextJobID_; }
    int32_t SelectedIndex() const;
    void SelectIndex(int32_t index);
    bool IsWaitingForEngine() const { return waitingForEngine_; }
    bool IsAnyJobRunning() const;  // a job is Busy or Paused
    // No job is Busy, Paused or Queued and no start is on its way: the queue is done.
    bool IsQueueIdle() const;
    bool IsShuttingDown() const { return shuttingDown_; }
    QString GetQueueStatusText() const;
    // How often the list has been filled from the queue.
    int32_t ListRebuilds() const { return listRebuilds_; }
    const std::string& QueueFolder() const { return queueFolder_; }
    QTreeWidget* JobsListView() const { return jobsListView_; }
    QToolButton* StartJobBtn() const { return startJobBtn_; }
    TJobQueueAutomation* Automation() const { return automation_; }
    QLabel* TimerMessage() const { return timerMessage_; }

signals:
    // A file of the queue was not read whole; text says what was kept and where.
    void FileRecovered(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TJobQueueAutomation;

    void BeginAddBatch();
    void EndAddBatch();
    int32_t IndexOfJob(int32_t jobID) const;
    // The selected job when it may be removed or edited (not running, no command pending); else -1.
    int32_t SelectedIdleJob() const;
    int32_t FirstQueuedIndex() const;
    void ChangeJobStatusTo(int32_t jobID, int32_t status);
    void RemoveJobAt(int32_t index);
    void ExchangeJobs(int32_t a, int32_t b);
    void RefreshJobsList();
    void UpdateQueueButtons();
    void UpdateTrayHint();
    void UpdateMainFormCaption(int32_t jobID);
    void AfterAdd();
    void OnJobStopped(const TSpiderOutputMsg& msg);
    void AfterJobStopped();
    void BusyCursor(bool on);
    void ShowMessageBar(const QString& text);
    void HideMessageBar();
    void ReportRecovery(const std::string& text);
    // True when every stored job was read back.
    bool ReadQueueFolder(const std::string& folder);
    // The queue changed: written after a short delay. content: a job added, removed or moved.
    void QueueChanged(bool content);
    void OnQueueSaveTimer();
    TQueueSnapshot Snapshot() const;

    TJobQueueHost* host_;
    std::vector<std::unique_ptr<TCopyJobAndStatus>> slots_;
    int32_t nextJobID_ = 1;
    int32_t lastEndedJobID_ = 0;
    int32_t pendingJobID_ = 0;  // id of the last start command sent
    bool waitingForEngine_ = false;
    bool shuttingDown_ = false;
    bool endedNormally_ = false;
    bool cursorBusy_ = false;
    TJobEndRule endRule_;
    std::string queueFolder_;
    std::string handOverFolder_;
    std::function<bool(const QStringList&)> handOver_;
    std::unique_ptr<TQueueFolderWriter> queueWriter_;
    QTimer* queueSaveTimer_ = nullptr;
    uint64_t contentVersion_ = 1;
    bool queueDirty_ = false;
    bool autoSaveReady_ = false;  // the saved queue has been read (or was not to be read)
    bool savedQueueHeld_ = true;
    bool savedQueueKnown_ = false;  // the queue folder holds what this instance read or wrote
    int32_t listRebuilds_ = 0;
    int batchDepth_ = 0;
    bool batchAdded_ = false;
    bool batchFocused_ = false;
    std::vector<QString> batchRefusals_;
    std::set<std::string> batchRefusedFolders_;
    std::function<void()> terminateCrawlThread_;
    std::function<bool()> crawlThreadFinished_;

    QTreeWidget* jobsListView_ = nullptr;
    QToolButton* moveUpBtn_ = nullptr;
    QToolButton* moveDownBtn_ = nullptr;
    QToolButton* startJobBtn_ = nullptr;
    QToolButton* stopJobBtn_ = nullptr;
    QToolButton* deleteJobBtn_ = nullptr;
    QToolButton* editJobBtn_ = nullptr;
    QLabel* timerMessage_ = nullptr;
    QLabel* notSavedMessage_ = nullptr;
    TJobQueueAutomation* automation_ = nullptr;
};
