#include "ui/progress/CopyProgress.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/FilterCodes.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "ui/progress/CellToolTipDelegate.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/options/FileCountAndSize.h"
#include "ui/progress/ProgressHost.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/PageTexts.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/progress/ProgressImages.h"
#include "ui/progress/ReportViewer.h"
#include "ui/intake/ShellVerbs.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UIStrings.h"
#include "ui/common/WaitCursor.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>

namespace {

const char* const kUnit = "CopyProgress";
constexpr int kInProgressKindRole = Qt::UserRole + 1;
constexpr int kExploreFolderTag = -1;

// Columns of the in-progress list.
enum { colStatus = 0, colLocation = 1, colSize = 2, colDone = 3, colETA = 4 };

uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string NamePart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtensionOf(const std::string& path)
{
    std::string name = NamePart(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

QString FileSizeText(const std::string& path)
{
    int64_t size = 0;
    return ThreadSafeFileByteSize(path, size) ? QStr(FormatByteCount(size)) : QStringLiteral("?");
}

TSpiderInputMessageQueue* InputQueue()
{
    return TSpiderInputMessageQueue::Instance();
}

QToolButton* MakeToolButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setMinimumWidth(75);
    return button;
}

}  // namespace

TCopyProgressFrame::TCopyProgressFrame(QWidget* parent, TProgressHost* host) : QFrame(parent), host_(host)
{
    setMinimumWidth(480);
    completedModel_ = new TCompletedFilesModel(this);
    siteMapModel_ = new TSiteMapModel(this);
    QList<QIcon> images = CompletedImageList();
    completedModel_->SetImages(images);
    siteMapModel_->SetImages(images);
    inProgressImages_ = InProgressImageList();
    CreateControls();

    reportData_.ResultsListView = completedModel_;
    reportData_.SiteMapTreeView = siteMapModel_;
    reportData_.Images = images;
    reportData_.IncludeJobDetails = reportData_.IncludeResultsList = reportData_.IncludeSiteMap = true;

    pauseButton_->setEnabled(false);
    stopButton_->setEnabled(false);
    showReportButton_->setEnabled(false);
    viewFileButton_->setEnabled(false);
    treeNodeDLResult_->clear();
    slots_ = {};
    UpdateLanguageLabels();
}

TCopyProgressFrame::~TCopyProgressFrame()
{
    SetWaitCursor(false);
}

void TCopyProgressFrame::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    // Job controls and file commands.
    auto* buttons = new QHBoxLayout;
    pauseButton_ = MakeToolButton(this);
    pauseButton_->setCheckable(true);
    pauseButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    connect(pauseButton_, &QToolButton::clicked, this, &TCopyProgressFrame::PauseButtonClick);
    stopButton_ = MakeToolButton(this);
    stopButton_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    stopButton_->setPopupMode(QToolButton::MenuButtonPopup);
    stopJobMenu_ = new QMenu(stopButton_);
    stopJobMenuItem_ = stopJobMenu_->addAction(QString(), this, &TCopyProgressFrame::StopButtonClick);
    abortJobMenuItem_ = stopJobMenu_->addAction(QString(), this, &TCopyProgressFrame::AbortJobMenuItemClick);
    stopButton_->setMenu(stopJobMenu_);
    connect(stopButton_, &QToolButton::clicked, this, &TCopyProgressFrame::StopButtonClick);
    viewFileButton_ = MakeToolButton(this);
    viewFileButton_->setPopupMode(QToolButton::MenuButtonPopup);
    completedFileMenu_ = new QMenu(viewFileButton_);
    connect(completedFileMenu_, &QMenu::aboutToShow, this, &TCopyProgressFrame::BuildCompletedFileMenu);
    viewFileButton_->setMenu(completedFileMenu_);
    connect(viewFileButton_, &QToolButton::clicked, this, &TCopyProgressFrame::ViewFileButtonClick);
    showReportButton_ = new QPushButton(this);
    connect(showReportButton_, &QPushButton::clicked, this, &TCopyProgressFrame::ShowReportButtonClick);
    buttons->addWidget(pauseButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    buttons->addWidget(viewFileButton_);
    buttons->addWidget(showReportButton_);
    layout->addLayout(buttons);

    // Completed files: list or site map.
    processedFilesGroupBox_ = new QGroupBox(this);
    auto* completedLayout = new QVBoxLayout(processedFilesGroupBox_);
    auto* viewButtons = new QHBoxLayout;
    showListButton_ = new QToolButton(processedFilesGroupBox_);
    showListButton_->setCheckable(true);
    showListButton_->setChecked(true);
    showListButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    showTreeButton_ = new QToolButton(processedFilesGroupBox_);
    showTreeButton_->setCheckable(true);
    showTreeButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    connect(showListButton_, &QToolButton::clicked, this, [this] { SetListVisible(showListButton_->isChecked()); });
    connect(showTreeButton_, &QToolButton::clicked, this, [this] { SetListVisible(!showTreeButton_->isChecked()); });
    viewButtons->addWidget(showListButton_);
    viewButtons->addWidget(showTreeButton_);
    viewButtons->addStretch(1);
    completedLayout->addLayout(viewButtons);

    views_ = new QStackedWidget(processedFilesGroupBox_);
    processedFilesList_ = new QTreeView(views_);
    processedFilesList_->setModel(completedModel_);
    processedFilesList_->setRootIsDecorated(false);
    processedFilesList_->setUniformRowHeights(true);
    processedFilesList_->setItemsExpandable(false);
    processedFilesList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    processedFilesList_->setSelectionMode(QAbstractItemView::SingleSelection);
    processedFilesList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    processedFilesList_->setContextMenuPolicy(Qt::CustomContextMenu);
    processedFilesList_->header()->setSectionsClickable(false);
    processedFilesList_->header()->resizeSection(0, 170);
    processedFilesList_->header()->setStretchLastSection(true);
    connect(processedFilesList_->header(), &QHeaderView::sectionClicked, this,
            &TCopyProgressFrame::ProcessedFilesListColumnClick);
    connect(processedFilesList_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TCopyProgressFrame::UpdateViewButtons);
    connect(processedFilesList_, &QTreeView::doubleClicked, this, &TCopyProgressFrame::ProcessedFilesListDblClick);
    connect(processedFilesList_, &QTreeView::customContextMenuRequested, this,
            &TCopyProgressFrame::ProcessedFilesListContextPopup);
    processedFilesList_->setItemDelegate(new TCellToolTipDelegate(processedFilesList_));
    views_->addWidget(processedFilesList_);

    treePanel_ = new QWidget(views_);
    auto* treeLayout = new QVBoxLayout(treePanel_);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeNodeDLResult_ = new QLabel(treePanel_);
    processedTreeView_ = new QTreeView(treePanel_);
    processedTreeView_->setModel(siteMapModel_);
    processedTreeView_->setHeaderHidden(true);
    processedTreeView_->setUniformRowHeights(true);
    processedTreeView_->setIndentation(19);
    processedTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    processedTreeView_->setItemDelegate(new TCellToolTipDelegate(processedTreeView_));
    connect(processedTreeView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TCopyProgressFrame::ProcessedTreeViewChange);
    connect(processedTreeView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TCopyProgressFrame::UpdateViewButtons);
    connect(processedTreeView_, &QTreeView::doubleClicked, this, &TCopyProgressFrame::ProcessedTreeViewDblClick);
    expandButton_ = new QPushButton(treePanel_);
    connect(expandButton_, &QPushButton::clicked, this, &TCopyProgressFrame::ExpandButtonClick);
    auto* treeTop = new QHBoxLayout;
    treeTop->addWidget(treeNodeDLResult_, 1);
    treeTop->addWidget(expandButton_);
    treeLayout->addLayout(treeTop);
    treeLayout->addWidget(processedTreeView_, 1);
    views_->addWidget(treePanel_);
    completedLayout->addWidget(views_, 1);
    layout->addWidget(processedFilesGroupBox_, 1);

    // Files in progress.
    inProgressGroupBox_ = new QGroupBox(this);
    auto* inProgressLayout = new QVBoxLayout(inProgressGroupBox_);
    inProgressList_ = new QTreeWidget(inProgressGroupBox_);
    inProgressList_->setColumnCount(5);
    inProgressList_->setRootIsDecorated(false);
    inProgressList_->setUniformRowHeights(true);
    inProgressList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    inProgressList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    inProgressList_->setContextMenuPolicy(Qt::CustomContextMenu);
    inProgressList_->header()->setSectionsClickable(false);
    inProgressList_->header()->setStretchLastSection(false);
    inProgressList_->header()->setSectionResizeMode(colLocation, QHeaderView::Stretch);
    for (int c : {colSize, colDone, colETA})
        inProgressList_->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    inProgressList_->setColumnWidth(colStatus, 120);
    inProgressList_->setColumnWidth(colSize, 70);
    inProgressList_->setColumnWidth(colDone, 60);
    inProgressList_->setColumnWidth(colETA, 60);
    inProgressList_->setMinimumHeight(110);
    inProgressList_->setItemDelegate(new TCellToolTipDelegate(inProgressList_));
    connect(inProgressList_, &QTreeWidget::customContextMenuRequested, this,
            &TCopyProgressFrame::InProgressListContextPopup);
    inProgressLayout->addWidget(inProgressList_);
    inProgressGroupBox_->setVisible(false);
    layout->addWidget(inProgressGroupBox_);

    // Progress bars.
    progressPanel_ = new QWidget(this);
    auto* bars = new QHBoxLayout(progressPanel_);
    bars->setContentsMargins(0, 0, 0, 0);
    busyProgressBar_ = new QProgressBar(progressPanel_);
    busyProgressBar_->setRange(0, 20);
    busyProgressBar_->setTextVisible(false);
    busyProgressBar_->setMaximumWidth(90);
    dlProgressBar_ = new QProgressBar(progressPanel_);
    dlProgressBar_->setRange(0, 0);
    dlProgressBar_->setValue(0);
    writeProgressPanel_ = new QWidget(progressPanel_);
    auto* writeLayout = new QHBoxLayout(writeProgressPanel_);
    writeLayout->setContentsMargins(0, 0, 0, 0);
    writeProgressBar_ = new QProgressBar(writeProgressPanel_);
    writeLayout->addWidget(writeProgressBar_);
    bars->addWidget(busyProgressBar_);
    bars->addWidget(dlProgressBar_, 1);
    bars->addWidget(writeProgressPanel_, 1);
    writeProgressPanel_->setVisible(false);
    progressPanel_->setVisible(false);
    layout->addWidget(progressPanel_);

    followTimer_ = new QTimer(this);
    followTimer_->setSingleShot(true);
    followTimer_->setInterval(100);
    connect(followTimer_, &QTimer::timeout, processedFilesList_, &QTreeView::scrollToBottom);

    barTimer_ = new QTimer(this);
    barTimer_->setSingleShot(true);
    barTimer_->setInterval(150);
    connect(barTimer_, &QTimer::timeout, this, &TCopyProgressFrame::ApplyProgressBars);

    busyTimer_ = new QTimer(this);
    busyTimer_->setInterval(500);
    connect(busyTimer_, &QTimer::timeout, this, &TCopyProgressFrame::OnBusyTimer);
}

void TCopyProgressFrame::Initialize(TSpiderOutputSplitterForm* splitter)
{
    bool registered = splitter && splitter->RegisterForSpiderOutput(
                                      kProgressOutputMask,
                                      [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
    if (!registered)
        LogEvent(etWarning, "", "RegisterForSpiderOutput", kUnit);
}

void TCopyProgressFrame::UpdateLanguageLabels()
{
    processedFilesGroupBox_->setTitle(QUIString(238));
    showListButton_->setToolTip(QUIString(239));
    showTreeButton_->setToolTip(QUIString(240));
    expandButton_->setText(QUIString(256));
    completedModel_->SetColumnCaptions(QUIString(241), QUIString(242));
    inProgressGroupBox_->setTitle(QUIString(245));
    inProgressList_->setHeaderLabels({QUIString(246), QUIString(250), QUIString(249), QUIString(247), QUIString(248)});
    downloadProgressText_ = QUIString(251);
    rewriteProgressText_ = QUIString(252);
    pauseButton_->setText(QUIString(253));
    stopButton_->setText(QUIString(228));
    showReportButton_->setText(QUIString(254));
    viewFileButton_->setText(QUIString(255));
    stopJobMenuItem_->setText(QUIString(230));
    abortJobMenuItem_->setText(QUIString(231));
    downloadingText_ = QUIString(257);
    readingText_ = QUIString(258);
    writingText_ = QUIString(259);
    exploreFolderText_ = QUIString(322);
    downloadResultText_ = QUIString(244);
    ApplyLanguageFont(this);
    if (reportWindow_)
        reportWindow_->UpdateLanguageLabels();
}

// ---- reports ----

void TCopyProgressFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t)
{
    try {
        switch (msg.FMsgType) {
        case OUTMSG_JOB_STARTED: OnJobStarted(msg); break;
        case OUTMSG_JOB_PAUSED: OnJobPaused(); break;
        case OUTMSG_JOB_RESUMED: OnJobResumed(); break;
        case OUTMSG_JOB_ENDED: OnJobEnded(msg); break;
        case OUTMSG_DOWNLOAD_STARTED: OnDownloadStarted(msg); break;
        case OUTMSG_DOWNLOAD_PROGRESS: OnFileDownloadInProgress(msg); break;
        case OUTMSG_DOWNLOAD_ENDED: AddToCompleted(msg); break;
        case OUTMSG_READ_STARTED: OnReadStarted(msg); break;
        case OUTMSG_READ_PROGRESS: OnReadProgress(msg); break;
        case OUTMSG_LINK_FOUND: OnLinkFound(msg); break;
        case OUTMSG_READ_ENDED: OnReadEnded(msg); break;
        case OUTMSG_WRITE_STARTED: OnWriteStarted(msg); break;
        case OUTMSG_WRITE_PROGRESS: OnWriteProgress(msg); break;
        case OUTMSG_WRITE_ENDED: OnWriteEnded(msg); break;
        case OUTMSG_PRUNE_STARTED: AddStatusRow(260, ipPrune); break;
        case OUTMSG_PRUNING_FOLDER: OnPruningFolder(msg); break;
        case OUTMSG_FLATTEN_STARTED: AddStatusRow(261, ipFlatten); break;
        case OUTMSG_FILE_MOVED_UP: OnFileMovedUp(msg); break;
        case OUTMSG_PRUNE_ENDED:
        case OUTMSG_FLATTEN_ENDED: inProgressList_->clear(); break;
        default: break;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

void TCopyProgressFrame::OnJobStarted(const TSpiderOutputMsg& msg)
{
    const int activePage = host_ ? host_->ActivePage() : -1;
    if (host_)
        host_->SetProgressTabVisible(true);
    struct TRestorePage {
        TProgressHost* host;
        int page;
        ~TRestorePage()
        {
            if (host && page >= 0)
                host->MoveFocusToPage(page);
        }
    } restore{host_, activePage};

    ShowInProgressGroup(true);
    ResetProgressViews();
    columnClickEnabled_ = false;
    processedFilesList_->header()->setSectionsClickable(false);
    processedFilesList_->header()->setSortIndicatorShown(false);
    progressPanel_->setVisible(true);
    SetBusyTimerEnabled(true);
    busyProgressBar_->setToolTip(QUIString(163));
    writeProgressPanel_->setVisible(false);

    jobRewritesLinks_ = msg.FJob.RewriteLinks;
    pauseButton_->setEnabled(true);
    stopButton_->setEnabled(true);
    showReportButton_->setEnabled(false);
    jobRunning_ = true;
    runningJobID_ = msg.FJobID;
    runningJobName_ = QStr(msg.FJob.JobName);
    UpdateViewButtons();

    reportData_.StartTime = QDateTime::currentDateTime();
    reportData_.Job.Assign(msg.FJob);
    reportData_.FilesDownloaded = 0;
    reportData_.BytesDownloaded = 0;
    reportData_.StatusText.clear();
    endRule_.Reset();
    showFriendlyResults_ = GetShowFriendlyDownloadResults();
}

void TCopyProgressFrame::OnJobPaused()
{
    SetWaitCursor(false);
    SetBusyTimerEnabled(false);
}

void TCopyProgressFrame::OnJobResumed()
{
    SetWaitCursor(false);
    SetBusyTimerEnabled(true);
}

void TCopyProgressFrame::OnJobEnded(const TSpiderOutputMsg& msg)
{
    // The hourglass of a stop or abort command ends here.
    SetWaitCursor(false);
    columnClickEnabled_ = true;
    processedFilesList_->header()->setSectionsClickable(true);
    pauseButton_->setEnabled(false);
    stopButton_->setEnabled(false);
    showReportButton_->setEnabled(true);
    SetBusyTimerEnabled(false);
    if (msg.FResultCode == JOB_END_COMPLETED) {
        // Every address the job knew has been dealt with. The counts are what was done: an
        // address met again at a smaller depth is fetched again, and a few addresses counted as
        // new never reach a download.
        downloadTotal_ = downloadsDone_;
        UpdateDownloadProgressLabel();
        if (jobRewritesLinks_ && rewriteTotal_ > 0) {
            rewriteTotal_ = rewritesDone_;
            UpdateRewriteProgressLabel();
        }
    }
    ApplyProgressBars();
    busyProgressBar_->setToolTip(QUIString(164));
    busyProgressBar_->setValue(busyProgressBar_->maximum());
    runningJobID_ = -1;
    jobRunning_ = false;
    runningJobName_.clear();
    if (views_->currentWidget() == processedFilesList_ && !processedFilesList_->currentIndex().isValid() &&
        completedModel_->Count() > 0) {
        QModelIndex first = completedModel_->index(0, 0);
        processedFilesList_->setCurrentIndex(first);
        processedFilesList_->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    }
    UpdateViewButtons();
    reportData_.EndTime = QDateTime::currentDateTime();
    // The same word as the queue and the window caption.
    reportData_.StatusText = StdStr(JobStatusText(endRule_.EndStatus(msg.FResultCode)));
    ShowInProgressGroup(false);
}

void TCopyProgressFrame::OnDownloadStarted(const TSpiderOutputMsg& msg)
{
    QTreeWidgetItem* item = AddInProgressRow(downloadingText_, ipDownload, msg.FDownload.FDownloadNumber, 4);
    item->setText(colLocation, QStr(GetDisplayLocationForMessage(msg)));
    if (downloadTotal_ == 0) {
        downloadTotal_ = 1;
        UpdateDownloadProgressLabel();
    }
}

void TCopyProgressFrame::OnFileDownloadInProgress(const TSpiderOutputMsg& msg)
{
    const int32_t number = msg.FDownload.FDownloadNumber;
    int row = FindInProgressRow(number, ipDownload);
    if (row < 0) {
        LogEvent(etWarning, "Missing entry for ID " + std::to_string(number), "OnFileDownloadInProgress", kUnit);
        return;
    }
    QTreeWidgetItem* item = inProgressList_->topLevelItem(row);
    const TFileDownloadProgress& progress = msg.FDownload.FProgress;
    if (!IsCurrentDownload(number)) {
        if (progress.FExpectedSize > 0)
            item->setText(colSize, QStr(FormatByteCount(progress.FExpectedSize)));
        RegisterCurrentDownload(msg);
    }
    item->setText(colDone, QStr(DownloadDoneText(progress.FExpectedSize, progress.FBytesReceived)));
    item->setText(colETA, QStr(FormatETA(progress.FExpectedSize, progress.FBytesReceived, progress.FElapsedMs,
                                         progress.FResumeOffset)));
}

void TCopyProgressFrame::AddToCompleted(const TSpiderOutputMsg& msg)
{
    const TFileDownloadMsg& download = msg.FDownload;
    const TFileDownloadResults& results = download.FResults;
    endRule_.OnDownloadEnded(results.FFileWritten != 0, results.FFiltered != 0, results.FFilterCode,
                             results.FErrorCodeValid != 0, results.FErrorCode);
    DeleteInProgressRow(download.FDownloadNumber, ipDownload);
    if (!(results.FFiltered && results.FFilterCode == FILTER_SKIPPED)) {
        try {
            int32_t key = AddCompletedFileRow(msg);
            AddToSiteMapTree(msg, key);
        } catch (const std::exception& e) {
            LogEvent(etException, e.what(), "AddToCompleted", kUnit);
        }
    }
    for (TDownloadSlot& slot : slots_)
        if (slot.InUse && slot.DownloadNumber == download.FDownloadNumber) {
            slot = TDownloadSlot{};
            break;
        }
    EndInProgressMenu();
    ++downloadsDone_;
    if (results.FRedirectAdded)
        ++downloadTotal_;
    UpdateDownloadProgressLabel();
    if (results.FFileWritten) {
        ++reportData_.FilesDownloaded;
        int64_t received = download.FProgress.FBytesReceived - download.FProgress.FResumeOffset;
        if (received > 0)
            reportData_.BytesDownloaded += received;
    }
}

void TCopyProgressFrame::OnReadStarted(const TSpiderOutputMsg& msg)
{
    const TFileReadWriteMsg& rw = msg.FReadWrite;
    QTreeWidgetItem* item = AddInProgressRow(readingText_, ipRead, rw.FNumber, 2);
    item->setText(colLocation, QStr(rw.FLocalFile));
    item->setText(colSize, FileSizeText(rw.FLocalFile));
    if (jobRewritesLinks_ && filesRead_.insert(rw.FLocalFile).second) {
        ++rewriteTotal_;
        UpdateRewriteProgressLabel();
    }
}

void TCopyProgressFrame::OnReadProgress(const TSpiderOutputMsg& msg)
{
    SetRowText(msg.FReadWrite.FNumber, ipRead, colDone, QString::number(msg.FReadWrite.FPercent) + "%");
}

void TCopyProgressFrame::OnLinkFound(const TSpiderOutputMsg& msg)
{
    if (!msg.FLinkInfo.FNewAddress)
        return;
    ++downloadTotal_;
    UpdateDownloadProgressLabel();
}

void TCopyProgressFrame::OnReadEnded(const TSpiderOutputMsg& msg)
{
    const TFileReadWriteMsg& rw = msg.FReadWrite;
    DeleteInProgressRow(rw.FNumber, ipRead);
    if (rw.FStatus == RW_STATUS_ERROR) {
        int32_t row = completedModel_->FindRow(QStr(rw.FLocalFile));
        if (row >= 0)
            completedModel_->SetResult(row, QUIString(271), riError);
    }
    AddPageTitleToTree(StdStr(PageTitleText(rw.FPageTitle, rw.FPageCharset)), rw.FURL);
}

void TCopyProgressFrame::OnWriteStarted(const TSpiderOutputMsg& msg)
{
    const TFileReadWriteMsg& rw = msg.FReadWrite;
    QTreeWidgetItem* item = AddInProgressRow(writingText_, ipWrite, rw.FNumber, 3);
    item->setText(colLocation, QStr(rw.FLocalFile));
    item->setText(colSize, FileSizeText(rw.FLocalFile));
    item->setText(colDone, rw.FKind == RW_KIND_REWRITE ? QStringLiteral("0") : QString());
}

void TCopyProgressFrame::OnWriteProgress(const TSpiderOutputMsg& msg)
{
    SetRowText(msg.FReadWrite.FNumber, ipWrite, colDone, QString::number(msg.FReadWrite.FPercent) + "%");
}

void TCopyProgressFrame::OnWriteEnded(const TSpiderOutputMsg& msg)
{
    DeleteInProgressRow(msg.FReadWrite.FNumber, ipWrite);
    if (msg.FReadWrite.FKind == RW_KIND_REWRITE) {
        // After a stop, pages fetched but never read are rewritten too: the total follows.
        rewriteTotal_ = std::max(rewriteTotal_, ++rewritesDone_);
        UpdateRewriteProgressLabel();
    }
}

void TCopyProgressFrame::AddStatusRow(int stringId, int32_t kind)
{
    AddInProgressRow(QUIString(stringId), kind, 0, 3);
}

void TCopyProgressFrame::OnPruningFolder(const TSpiderOutputMsg& msg)
{
    uint32_t now = TickCount();
    if (static_cast<uint32_t>(now - lastPruneUpdate_) <= 200)
        return;
    if (QTreeWidgetItem* row = inProgressList_->topLevelItem(0))
        row->setText(colLocation, QStr(msg.FFolder));
    lastPruneUpdate_ = now;
}

void TCopyProgressFrame::OnFileMovedUp(const TSpiderOutputMsg& msg)
{
    completedModel_->RenameLocation(QStr(msg.FFlattening.FOldPath), QStr(msg.FFlattening.FNewPath));
    uint32_t now = TickCount();
    if (static_cast<uint32_t>(now - lastFlattenUpdate_) <= 200)
        return;
    if (QTreeWidgetItem* row = inProgressList_->topLevelItem(0))
        row->setText(colLocation, QStr(FolderPart(msg.FFlattening.FOldPath)));
    lastFlattenUpdate_ = now;
}

// ---- in-progress rows ----

QTreeWidgetItem* TCopyProgressFrame::AddInProgressRow(const QString& caption, int32_t kind, int32_t key, int)
{
    auto* item = new QTreeWidgetItem(inProgressList_);
    item->setText(colStatus, caption);
    if (kind >= 0 && kind < inProgressImages_.size())
        item->setIcon(colStatus, inProgressImages_[kind]);
    item->setData(colStatus, Qt::UserRole, key);
    item->setData(colStatus, kInProgressKindRole, kind);
    for (int c : {colSize, colDone, colETA})
        item->setTextAlignment(c, Qt::AlignCenter);
    // Every row is one line: a fixed size spares the view from laying out the row's texts
    // again each time a figure in its first row changes.
    if (inProgressRowHeight_ <= 0)
        inProgressRowHeight_ = inProgressList_->sizeHintForRow(inProgressList_->indexOfTopLevelItem(item));
    if (inProgressRowHeight_ > 0)
        for (int c = 0; c < inProgressList_->columnCount(); ++c)
            item->setSizeHint(c, QSize(inProgressList_->columnWidth(c), inProgressRowHeight_));
    return item;
}

int TCopyProgressFrame::FindInProgressRow(int32_t key, int32_t kind) const
{
    for (int i = 0; i < inProgressList_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = inProgressList_->topLevelItem(i);
        if (item->data(colStatus, Qt::UserRole).toInt() == key && item->data(colStatus, kInProgressKindRole).toInt() == kind)
            return i;
    }
    return -1;
}

void TCopyProgressFrame::DeleteInProgressRow(int32_t key, int32_t kind)
{
    int row = FindInProgressRow(key, kind);
    if (row >= 0)
        delete inProgressList_->takeTopLevelItem(row);
}

void TCopyProgressFrame::SetRowText(int32_t key, int32_t kind, int column, const QString& text)
{
    int row = FindInProgressRow(key, kind);
    if (row >= 0)
        inProgressList_->topLevelItem(row)->setText(column, text);
}

void TCopyProgressFrame::RegisterCurrentDownload(const TSpiderOutputMsg& msg)
{
    for (TDownloadSlot& slot : slots_) {
        if (slot.InUse)
            continue;
        const TFileDownloadMsg& download = msg.FDownload;
        slot.DownloadNumber = download.FDownloadNumber;
        slot.FileName = NamePart(download.FLocalFile);
        slot.Host = download.FURL.GetHostName();
        slot.Extension = download.FURL.GetPathExtension();
        slot.MimeType = download.FProgress.FMimeType;
        slot.InUse = true;
        return;
    }
}

const TDownloadSlot* TCopyProgressFrame::SlotOf(int32_t downloadNumber) const
{
    for (const TDownloadSlot& slot : slots_)
        if (slot.InUse && slot.DownloadNumber == downloadNumber)
            return &slot;
    return nullptr;
}

bool TCopyProgressFrame::IsCurrentDownload(int32_t downloadNumber) const
{
    return SlotOf(downloadNumber) != nullptr;
}

void TCopyProgressFrame::ResetProgressViews()
{
    completedModel_->Clear();
    siteMapModel_->Clear();
    treeNodeDLResult_->clear();
    inProgressList_->clear();
    dlProgressBar_->setToolTip(QString());
    dlProgressBar_->setRange(0, 0);
    dlProgressBar_->reset();
    writeProgressBar_->setToolTip(QString());
    writeProgressBar_->reset();
    busyProgressBar_->setValue(0);
    pauseButton_->setChecked(false);
    downloadTotal_ = downloadsDone_ = rewriteTotal_ = rewritesDone_ = 0;
    filesRead_.clear();
    slots_ = {};
    EndInProgressMenu();
}

void TCopyProgressFrame::ShowInProgressGroup(bool show)
{
    inProgressGroupBox_->setVisible(show);
}

void TCopyProgressFrame::SetBusyTimerEnabled(bool on)
{
    if (on)
        busyTimer_->start();
    else
        busyTimer_->stop();
}

void TCopyProgressFrame::OnBusyTimer()
{
    int next = busyProgressBar_->value() + 1;
    busyProgressBar_->setValue(next > busyProgressBar_->maximum() ? 0 : next);
}

void TCopyProgressFrame::UpdateDownloadProgressLabel()
{
    QString text = QReplaceFirst(QReplaceFirst(downloadProgressText_, "XXX", QString::number(downloadsDone_)), "YYY",
                                 QString::number(downloadTotal_));
    dlProgressBar_->setToolTip(text);
    ScheduleProgressBars();
}

void TCopyProgressFrame::UpdateRewriteProgressLabel()
{
    QString text = QReplaceFirst(QReplaceFirst(rewriteProgressText_, "XXX", QString::number(rewritesDone_)), "YYY",
                                 QString::number(rewriteTotal_));
    writeProgressBar_->setToolTip(text);
    writeProgressPanel_->setVisible(true);
    ScheduleProgressBars();
}

void TCopyProgressFrame::ScheduleProgressBars()
{
    // A progress bar repaints at once when its value changes: the bars follow the counters
    // a few times a second instead of on every report.
    if (!barTimer_->isActive())
        barTimer_->start();
}

void TCopyProgressFrame::ApplyProgressBars()
{
    dlProgressBar_->setRange(0, std::max(downloadTotal_, downloadsDone_));
    dlProgressBar_->setValue(downloadsDone_);
    dlProgressBar_->setFormat(dlProgressBar_->toolTip());
    writeProgressBar_->setRange(0, rewriteTotal_);
    writeProgressBar_->setValue(rewritesDone_);
    writeProgressBar_->setFormat(writeProgressBar_->toolTip());
}

void TCopyProgressFrame::SetWaitCursor(bool on)
{
    if (on == waitCursor_)
        return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// ---- job controls ----

void TCopyProgressFrame::PauseButtonClick()
{
    TSpiderInputMessageQueue* queue = InputQueue();
    if (!queue)
        return;
    bool pushed = pauseButton_->isChecked() ? queue->PostPauseJob(runningJobID_) : queue->PostResumeJob(runningJobID_);
    if (pushed)
        SetWaitCursor(true);
}

void TCopyProgressFrame::StopButtonClick()
{
    TSpiderInputMessageQueue* queue = InputQueue();
    if (!queue || !queue->PostStopJob(runningJobID_))
        return;
    SetWaitCursor(true);
    if (pauseButton_->isChecked() && queue->PostResumeJob(runningJobID_))
        pauseButton_->setChecked(false);
}

void TCopyProgressFrame::AbortJobMenuItemClick()
{
    TSpiderInputMessageQueue* queue = InputQueue();
    if (queue && queue->PostAbortJob(runningJobID_))
        SetWaitCursor(true);
}

QMenu* TCopyProgressFrame::BuildInProgressMenu(const QTreeWidgetItem* row)
{
    if (!row || row->data(colStatus, kInProgressKindRole).toInt() != ipDownload)
        return nullptr;
    const int32_t number = row->data(colStatus, Qt::UserRole).toInt();
    const TDownloadSlot* slot = SlotOf(number);
    if (!slot)
        return nullptr;
    if (!inProgressMenu_)
        inProgressMenu_ = new QMenu(this);
    else if (inProgressMenu_->isVisible())
        return nullptr;  // the open menu stays as it is
    inProgressMenu_->clear();
    inProgressMenuDownload_ = number;
    const std::pair<int, std::string> items[] = {
        {264, slot->FileName}, {265, slot->Host}, {266, slot->Extension}, {267, slot->MimeType}};
    for (int tag = 0; tag < 4; ++tag) {
        QAction* action = inProgressMenu_->addAction(QStr(ReplaceFirst(UIString(items[tag].first), "XXX", items[tag].second)));
        action->setObjectName(QString("InProgressMenuItem%1").arg(tag));
        action->setData(tag);
        if (tag >= 2 && items[tag].second.empty())
            action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, tag] { InProgressMenuItemClick(tag); });
    }
    return inProgressMenu_;
}

void TCopyProgressFrame::InProgressListContextPopup(const QPoint& pos)
{
    try {
        // The row under the pointer (for the menu key, the focused row's place): rows come and go
        // between the click and this request, so the focused row may be another download by now.
        QTreeWidgetItem* row = inProgressList_->itemAt(pos);
        if (QMenu* menu = BuildInProgressMenu(row)) {
            inProgressList_->setCurrentItem(row);
            menu->popup(inProgressList_->viewport()->mapToGlobal(pos));
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "InProgressListContextPopup", kUnit);
    }
}

void TCopyProgressFrame::InProgressMenuItemClick(int tag)
{
    // The menu acts on the download it was built for, while that download still runs.
    const int32_t number = inProgressMenuDownload_;
    TSpiderInputMessageQueue* queue = InputQueue();
    if (!queue || !IsCurrentDownload(number))
        return;
    switch (tag) {
    case 0: queue->PostStopFileDownload(runningJobID_, number); break;
    case 1: queue->PostStopHostDownloads(runningJobID_, number); break;
    case 2: queue->PostStopExtensionDownloads(runningJobID_, number); break;
    case 3: queue->PostStopMimeTypeDownloads(runningJobID_, number); break;
    default: break;
    }
}

void TCopyProgressFrame::EndInProgressMenu()
{
    if (inProgressMenu_ && !inProgressMenu_->isVisible())
        inProgressMenu_->clear();
}

// ---- completed files and site map ----

int32_t TCopyProgressFrame::AddCompletedFileRow(const TSpiderOutputMsg& msg)
{
    const QString location = QStr(GetDisplayLocationForMessage(msg));
    int32_t existing = completedModel_->FindRow(location);
    if (existing >= 0)
        return completedModel_->Row(existing).Key;
    // Follow new rows while the end of the list is in view. The view lays out its rows later,
    // in one go, so the scrolling waits for that too.
    const QScrollBar* bar = processedFilesList_->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    int32_t row = completedModel_->AddRow(QStr(GetResultText(msg, showFriendlyResults_)), GetResultImage(msg), location);
    if (follow && !followTimer_->isActive())
        followTimer_->start();
    return completedModel_->Row(row).Key;
}

void TCopyProgressFrame::AddToSiteMapTree(const TSpiderOutputMsg& msg, int32_t key)
{
    const TURL& address = msg.FDownload.FURL;
    if (!address.IsDownloadableScheme())
        return;
    int32_t row = completedModel_->RowOfKey(key);
    int32_t image = row >= 0 ? completedModel_->Row(row).Image : riError;
    siteMapModel_->AddAddress(SplitURLForSiteMap(address), runningJobName_, image, key);
}

void TCopyProgressFrame::AddPageTitleToTree(const std::string& title, const TURL& address)
{
    try {
        if (!address.IsDownloadableScheme())
            return;
        std::string text = SiteMapTitle(title);
        if (!text.empty())
            siteMapModel_->SetTitle(SplitURLForSiteMap(address), QStr(text));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddPageTitleToTree", kUnit);
    }
}

int32_t TCopyProgressFrame::RowIndexFromTreeData(int32_t key) const
{
    return completedModel_->RowOfKey(key);
}

void TCopyProgressFrame::ProcessedTreeViewChange()
{
    try {
        const TSiteMapNode* node = siteMapModel_->NodeAt(processedTreeView_->currentIndex());
        int32_t row = node ? RowIndexFromTreeData(node->Data) : -1;
        if (row >= 0)
            treeNodeDLResult_->setText(downloadResultText_ + "  " + completedModel_->Row(row).Caption);
        else
            treeNodeDLResult_->clear();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ProcessedTreeViewChange", kUnit);
    }
}

void TCopyProgressFrame::ProcessedTreeViewDblClick()
{
    const TSiteMapNode* node = siteMapModel_->NodeAt(processedTreeView_->currentIndex());
    if (!node || node->Data == -1)
        return;
    int32_t row = RowIndexFromTreeData(node->Data);
    if (row < 0)
        return;
    SetListVisible(true);
    QModelIndex index = completedModel_->index(row, 0);
    processedFilesList_->setFocus();
    processedFilesList_->setCurrentIndex(index);
    processedFilesList_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    processedFilesList_->scrollTo(index);
}

void TCopyProgressFrame::SetListVisible(bool list)
{
    views_->setCurrentWidget(list ? static_cast<QWidget*>(processedFilesList_) : treePanel_);
    showListButton_->setChecked(list);
    showTreeButton_->setChecked(!list);
    UpdateViewButtons();
}

void TCopyProgressFrame::ExpandButtonClick()
{
    processedTreeView_->expandAll();
}

void TCopyProgressFrame::ProcessedFilesListColumnClick(int column)
{
    if (!columnClickEnabled_)
        return;
    if (column == sortColumn_)
        sortAscending_ = !sortAscending_;
    else
        sortColumn_ = column;
    completedModel_->SortRows(column, sortAscending_);
    processedFilesList_->header()->setSortIndicatorShown(true);
    processedFilesList_->header()->setSortIndicator(column, sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

int TCopyProgressFrame::FocusedCompletedRow() const
{
    // In the site map, the row of the selected file's node.
    if (views_->currentWidget() != processedFilesList_) {
        const TSiteMapNode* node = siteMapModel_->NodeAt(processedTreeView_->currentIndex());
        return node && node->Data != -1 ? RowIndexFromTreeData(node->Data) : -1;
    }
    QModelIndex index = processedFilesList_->currentIndex();
    return index.isValid() ? index.row() : -1;
}

std::string TCopyProgressFrame::FocusedExistingFile() const
{
    int row = FocusedCompletedRow();
    if (row < 0 || row >= completedModel_->Count())
        return std::string();
    std::string location = StdStr(completedModel_->Row(row).Location);
    return SafeFileExists(location) ? location : std::string();
}

void TCopyProgressFrame::UpdateViewButtons()
{
    bool enabled = !jobRunning_ && !FocusedExistingFile().empty();
    viewFileButton_->setEnabled(enabled);
}

void TCopyProgressFrame::ViewFileButtonClick()
{
    if (jobRunning_)
        return;
    std::string file = FocusedExistingFile();
    if (!file.empty())
        TryShellExecute(this, file, "");
}

void TCopyProgressFrame::ProcessedFilesListDblClick()
{
    if (jobRunning_)
        return;
    int row = FocusedCompletedRow();
    if (row < 0)
        return;
    std::string file = FocusedExistingFile();
    if (!file.empty())
        TryShellExecute(this, file, "");
    else {
        if (host_)
            host_->SuppressNextClipboardChange();
        QGuiApplication::clipboard()->setText(completedModel_->Row(row).Location);
    }
}

void TCopyProgressFrame::BuildCompletedFileMenu()
{
    completedFileMenu_->clear();
    shellVerbs_.clear();
    std::string file = FocusedExistingFile();
    if (!file.empty()) {
        std::vector<std::string> texts;
        if (!GetShellVerbsForFileExtension(ExtensionOf(file), shellVerbs_, texts))
            LogEvent(etWarning, "", "GetShellVerbsForFileExtension", kUnit);
        RemoveHiddenShellVerbs(shellVerbs_, texts);
        if (!shellVerbs_.empty()) {
            for (size_t i = 0; i < texts.size(); ++i) {
                if (texts[i].empty())
                    continue;
                QAction* action = completedFileMenu_->addAction(QStr(texts[i]));
                action->setObjectName(QString("CompletedFileMenuItem%1").arg(i));
                const int tag = static_cast<int>(i);
                connect(action, &QAction::triggered, this, [this, tag] { CompletedFileMenuItemClick(tag); });
            }
            completedFileMenu_->addSeparator();
        }
    }
    QAction* explore = completedFileMenu_->addAction(exploreFolderText_);
    explore->setObjectName("BrowseFolder");
    connect(explore, &QAction::triggered, this, [this] { CompletedFileMenuItemClick(kExploreFolderTag); });
}

void TCopyProgressFrame::CompletedFileMenuItemClick(int tag)
{
    if (jobRunning_)
        return;
    std::string file = FocusedExistingFile();
    if (file.empty())
        return;
    if (tag == kExploreFolderTag) {
        TryShellExecute(this, FolderPart(file), "explore");
        return;
    }
    if (tag < 0 || static_cast<size_t>(tag) >= shellVerbs_.size())
        return;
    if (!RunShellVerb(shellVerbs_[static_cast<size_t>(tag)], file)) {
        LogEvent(etWarning, "Cannot run " + shellVerbs_[static_cast<size_t>(tag)] + " on " + file,
                 "CompletedFileMenuItemClick", kUnit);
        ShowMessageBox(this, QStr(file), QStr(shellVerbs_[static_cast<size_t>(tag)]), TBoxIcon::Warning);
    }
}

void TCopyProgressFrame::ProcessedFilesListContextPopup(const QPoint& pos)
{
    if (jobRunning_)
        return;
    BuildCompletedFileMenu();
    if (!completedFileMenu_->isEmpty())
        completedFileMenu_->popup(processedFilesList_->viewport()->mapToGlobal(pos));
}

void TCopyProgressFrame::ShowReportButtonClick()
{
    TWaitCursor wait;
    // The first report starts the web engine, which takes seconds: the button says so meanwhile.
    const QString caption = showReportButton_->text();
    showReportButton_->setEnabled(false);
    showReportButton_->setText(QStringLiteral("Preparing the report..."));
    showReportButton_->setMinimumWidth(showReportButton_->sizeHint().width());
    if (layout())
        layout()->activate();
    repaint();
    const auto restore = qScopeGuard([this, caption] {
        showReportButton_->setText(caption);
        showReportButton_->setMinimumWidth(0);
        showReportButton_->setEnabled(!jobRunning_);
    });
    if (!reportWindow_) {
        reportWindow_ = std::make_unique<TReportViewForm>();
        reportWindow_->PlaceOn(window());
    }
    reportWindow_->CreateAndDisplayReport(reportData_);
}
