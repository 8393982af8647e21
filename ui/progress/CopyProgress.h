#pragma once
// The Progress page: the files in progress with their size, percent and time left, the job's
// progress bars and controls, the completed files as a list or a site map, the commands on a
// completed file, and the data of the job report.
#include "ui/progress/CopyProgressModels.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/queue/JobStatus.h"

#include <QFrame>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TProgressHost;
class TReportViewForm;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;

// A download the per-download menu can act on.
struct TDownloadSlot {
    int32_t DownloadNumber = 0;
    std::string FileName;
    std::string Host;
    std::string Extension;
    std::string MimeType;
    bool InUse = false;
};

class TCopyProgressFrame : public QFrame {
    Q_OBJECT
public:
    explicit TCopyProgressFrame(QWidget* parent = nullptr, TProgressHost* host = nullptr);
    ~TCopyProgressFrame() override;

    // Start-up: registers the page for the engine's reports (types 1-7 and 9-22).
    void Initialize(TSpiderOutputSplitterForm* splitter);
    void UpdateLanguageLabels();
    // The listener: handles one report; exceptions are logged, never passed on.
    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);

    void ResetProgressViews();
    // Row of the in-progress list with this key and kind, else -1.
    int FindInProgressRow(int32_t key, int32_t kind) const;

    // State, for the main window and tests.
    bool JobRunning() const { return jobRunning_; }
    int32_t RunningJobID() const { return runningJobID_; }
    int32_t DownloadTotal() const { return downloadTotal_; }
    int32_t DownloadsDone() const { return downloadsDone_; }
    int32_t RewriteTotal() const { return rewriteTotal_; }
    int32_t RewritesDone() const { return rewritesDone_; }
    const TJobResultsReportData& ReportData() const { return reportData_; }
    const std::array<TDownloadSlot, 4>& CurrentDownloadSlots() const { return slots_; }
    const TCompletedFilesModel& CompletedFiles() const { return *completedModel_; }
    const TSiteMapModel& SiteMap() const { return *siteMapModel_; }
    QTreeWidget* InProgressList() const { return inProgressList_; }
    QTreeView* ProcessedFilesList() const { return processedFilesList_; }
    QTreeView* ProcessedTreeView() const { return processedTreeView_; }
    QToolButton* PauseButton() const { return pauseButton_; }
    QToolButton* StopButton() const { return stopButton_; }
    QPushButton* ShowReportButton() const { return showReportButton_; }
    QToolButton* ViewFileButton() const { return viewFileButton_; }
    QProgressBar* DLProgressBar() const { return dlProgressBar_; }
    QProgressBar* WriteProgressBar() const { return writeProgressBar_; }
    QWidget* WriteProgressPanel() const { return writeProgressPanel_; }
    QWidget* ProgressPanel() const { return progressPanel_; }
    QGroupBox* InProgressGroupBox() const { return inProgressGroupBox_; }
    QLabel* TreeNodeDLResult() const { return treeNodeDLResult_; }
    QMenu* InProgressMenu() const { return inProgressMenu_; }
    TReportViewForm* ReportWindow() const { return reportWindow_.get(); }

    // Commands (button clicks), public for the main window's keys and tests.
    void PauseButtonClick();
    void StopButtonClick();
    void AbortJobMenuItemClick();
    void ShowReportButtonClick();
    void ViewFileButtonClick();
    void SetListVisible(bool list);
    void ExpandButtonClick();
    // The per-download menu for an in-progress row; nullptr when the row has none.
    QMenu* BuildInProgressMenu(const QTreeWidgetItem* row);
    void InProgressMenuItemClick(int tag);
    // Sorts the completed list after a job (column click).
    void ProcessedFilesListColumnClick(int column);
    void ProcessedTreeViewDblClick();
    void ProcessedFilesListDblClick();
    void UpdateViewButtons();
    // The file menu of the focused completed row (its verbs and "Explore Folder").
    void BuildCompletedFileMenu();
    QMenu* CompletedFileMenu() const { return completedFileMenu_; }

private:
    void CreateControls();
    void OnJobStarted(const TSpiderOutputMsg& msg);
    void OnJobPaused();
    void OnJobResumed();
    void OnJobEnded(const TSpiderOutputMsg& msg);
    void OnDownloadStarted(const TSpiderOutputMsg& msg);
    void OnFileDownloadInProgress(const TSpiderOutputMsg& msg);
    void AddToCompleted(const TSpiderOutputMsg& msg);
    void OnReadStarted(const TSpiderOutputMsg& msg);
    void OnReadProgress(const TSpiderOutputMsg& msg);
    void OnLinkFound(const TSpiderOutputMsg& msg);
    void OnReadEnded(const TSpiderOutputMsg& msg);
    void OnWriteStarted(const TSpiderOutputMsg& msg);
    void OnWriteProgress(const TSpiderOutputMsg& msg);
    void OnWriteEnded(const TSpiderOutputMsg& msg);
    void AddStatusRow(int stringId, int32_t kind);
    void OnPruningFolder(const TSpiderOutputMsg& msg);
    void OnFileMovedUp(const TSpiderOutputMsg& msg);

    int32_t AddCompletedFileRow(const TSpiderOutputMsg& msg);
    void AddToSiteMapTree(const TSpiderOutputMsg& msg, int32_t row);
    void AddPageTitleToTree(const std::string& title, const TURL& address);
    int32_t RowIndexFromTreeData(int32_t key) const;
    void ProcessedTreeViewChange();
    int FocusedCompletedRow() const;
    // Location of the focused completed row when it is an existing file, else empty.
    std::string FocusedExistingFile() const;
    void CompletedFileMenuItemClick(int tag);

    QTreeWidgetItem* AddInProgressRow(const QString& caption, int32_t kind, int32_t key, int subItems);
    void DeleteInProgressRow(int32_t key, int32_t kind);
    void SetRowText(int32_t key, int32_t kind, int column, const QString& text);
    void RegisterCurrentDownload(const TSpiderOutputMsg& msg);
    bool IsCurrentDownload(int32_t downloadNumber) const;
    const TDownloadSlot* SlotOf(int32_t downloadNumber) const;
    void ShowInProgressGroup(bool show);
    void SetBusyTimerEnabled(bool on);
    void OnBusyTimer();
    void UpdateDownloadProgressLabel();
    void UpdateRewriteProgressLabel();
    void ScheduleProgressBars();
    void ApplyProgressBars();
    void SetWaitCursor(bool on);
    void InProgressListContextPopup(const QPoint& pos);
    void ProcessedFilesListContextPopup(const QPoint& pos);
    void EndInProgressMenu();

    TProgressHost* host_;
    // Controls.
    QToolButton* pauseButton_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QMenu* stopJobMenu_ = nullptr;
    QAction* stopJobMenuItem_ = nullptr;
    QAction* abortJobMenuItem_ = nullptr;
    QPushButton* showReportButton_ = nullptr;
    QToolButton* viewFileButton_ = nullptr;
    QMenu* completedFileMenu_ = nullptr;
    QGroupBox* processedFilesGroupBox_ = nullptr;
    QToolButton* showListButton_ = nullptr;
    QToolButton* showTreeButton_ = nullptr;
    QStackedWidget* views_ = nullptr;
    QTreeView* processedFilesList_ = nullptr;
    QWidget* treePanel_ = nullptr;
    QLabel* treeNodeDLResult_ = nullptr;
    QTreeView* processedTreeView_ = nullptr;
    QPushButton* expandButton_ = nullptr;
    QGroupBox* inProgressGroupBox_ = nullptr;
    QTreeWidget* inProgressList_ = nullptr;
    QWidget* progressPanel_ = nullptr;
    QProgressBar* busyProgressBar_ = nullptr;
    QProgressBar* dlProgressBar_ = nullptr;
    QWidget* writeProgressPanel_ = nullptr;
    QProgressBar* writeProgressBar_ = nullptr;
    QTimer* busyTimer_ = nullptr;
    QTimer* barTimer_ = nullptr;
    QTimer* followTimer_ = nullptr;
    QMenu* inProgressMenu_ = nullptr;
    int32_t inProgressMenuDownload_ = 0;
    TCompletedFilesModel* completedModel_ = nullptr;
    TSiteMapModel* siteMapModel_ = nullptr;
    QList<QIcon> inProgressImages_;
    int inProgressRowHeight_ = 0;  // of a one-line row, measured once

    // State.
    QString downloadProgressText_, rewriteProgressText_;
    QString downloadingText_, readingText_, writingText_, exploreFolderText_, downloadResultText_;
    int32_t downloadTotal_ = 0;
    int32_t downloadsDone_ = 0;
    int32_t rewriteTotal_ = 0;
    int32_t rewritesDone_ = 0;
    // The files read this job: a page met again at a smaller depth is read again but rewritten
    // once, so only its first read counts toward the rewrite total.
    std::unordered_set<std::string> filesRead_;
    bool jobRewritesLinks_ = false;
    bool showFriendlyResults_ = true;
    bool jobRunning_ = false;
    int32_t runningJobID_ = -1;
    QString runningJobName_;
    int sortColumn_ = -1;
    bool sortAscending_ = false;
    bool columnClickEnabled_ = false;
    uint32_t lastPruneUpdate_ = 0;
    uint32_t lastFlattenUpdate_ = 0;
    bool waitCursor_ = false;
    std::vector<std::string> shellVerbs_;
    std::array<TDownloadSlot, 4> slots_{};
    TJobResultsReportData reportData_;
    TJobEndRule endRule_;  // the report's status, by the rule the queue uses
    std::unique_ptr<TReportViewForm> reportWindow_;
};
