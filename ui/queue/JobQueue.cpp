#include "ui/queue/JobQueue.h"

#include "Version.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/DamagedFile.h"
#include "engine/job/DownloadOptionTypes.h"
#include "engine/job/QueueFolder.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"
#include "ui/common/AppName.h"
#include "ui/queue/JobQueueHost.h"
#include "ui/queue/JobQueueAutomation.h"
#include "ui/common/MessageBoxes.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/UIStrings.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kUnit = "JobQueue";
constexpr int kShutdownWaitMs = 3000;
// Changes are gathered this long before the queue is written.
constexpr int kQueueSaveDelayMs = 300;
// The caption's ending while another instance holds the saved queue.
const char* const kNotSavedCaption = " (queue not saved)";

const QColor kStatusColours[] = {QColor(0x90, 0xa4, 0xae), QColor(0x1e, 0x88, 0xe5), QColor(0x43, 0xa0, 0x47),
                                 QColor(0x75, 0x75, 0x75), QColor(0xe5, 0x39, 0x35), QColor(0xb7, 0x1c, 0x1c),
                                 QColor(0xfb, 0xc0, 0x2d), QColor(0x9e, 0x9d, 0x24)};

// Runs the event loop without user input until done() holds, or for kShutdownWaitMs at most.
void RunEventsUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(kShutdownWaitMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

QIcon StatusIcon(int32_t status)
{
    if (status < 0 || status > 7)
        return QIcon();
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(kStatusColours[status]);
    painter.setPen(kStatusColours[status].darker(150));
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(pixmap);
}

std::string JobFileName(const std::string& folder, int32_t n)
{
    return folder + "/" + std::to_string(n) + ".GCJ";
}

// A folder path that names the file-system root or is too short to be a real folder.
bool IsRootFolder(const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    return f.size() < 4;
}

std::string JobDisplayName(const TCopyJob& job)
{
    return job.JobName.empty() ? job.StartingWebAddress.GetURLWithoutUserInfo() : job.JobName;
}

}  // namespace

void TCopyJobAndStatus::Assign(const TCopyJobAndStatus& source)
{
    FJob.Assign(source.FJob);
    FJobStatus = source.FJobStatus;
    FJobID = source.FJobID;
}

TJobQueueFrame::TJobQueueFrame(QWidget* parent, TJobQueueHost* host) : QFrame(parent), host_(host)
{
    slots_.reserve(MaxJobs);
    auto* layout = new QVBoxLayout(this);
    notSavedMessage_ = new QLabel(this);
    notSavedMessage_->setWordWrap(true);
    notSavedMessage_->setStyleSheet("QLabel { background: #fff3cd; color: #5a4400; padding: 4px; }");
    notSavedMessage_->hide();
    layout->addWidget(notSavedMessage_);
    auto* row = new QHBoxLayout;
    jobsListView_ = new QTreeWidget(this);
    jobsListView_->setColumnCount(3);
    jobsListView_->setRootIsDecorated(false);
    jobsListView_->setUniformRowHeights(true);
    jobsListView_->setAllColumnsShowFocus(true);
    jobsListView_->setSelectionMode(QAbstractItemView::SingleSelection);
    jobsListView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    jobsListView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    jobsListView_->setSortingEnabled(false);
    jobsListView_->header()->resizeSection(0, 100);
    jobsListView_->header()->resizeSection(1, 100);
    jobsListView_->header()->resizeSection(2, 180);
    jobsListView_->installEventFilter(this);
    row->addWidget(jobsListView_, 1);

    auto* tools = new QVBoxLayout;
    auto makeButton = [this, tools](QStyle::StandardPixmap pixmap) {
        auto* button = new QToolButton(this);
        button->setIcon(style()->standardIcon(pixmap));
        button->setAutoRaise(true);
        tools->addWidget(button);
        return button;
    };
    moveUpBtn_ = makeButton(QStyle::SP_ArrowUp);
    moveDownBtn_ = makeButton(QStyle::SP_ArrowDown);
    startJobBtn_ = makeButton(QStyle::SP_MediaPlay);
    stopJobBtn_ = makeButton(QStyle::SP_MediaStop);
    deleteJobBtn_ = makeButton(QStyle::SP_TrashIcon);
    editJobBtn_ = makeButton(QStyle::SP_FileDialogDetailedView);
    tools->addStretch(1);
    row->addLayout(tools);
    layout->addLayout(row, 1);

    timerMessage_ = new QLabel(this);
    timerMessage_->setAlignment(Qt::AlignCenter);
    timerMessage_->setWordWrap(true);
    timerMessage_->setAutoFillBackground(true);
    timerMessage_->setStyleSheet("QLabel { background: navy; color: yellow; font-weight: bold; padding: 4px; }");
    timerMessage_->hide();
    timerMessage_->setCursor(Qt::PointingHandCursor);
    automation_ = new TJobQueueAutomation(*this, timerMessage_, this);
    queueSaveTimer_ = new QTimer(this);
    queueSaveTimer_->setSingleShot(true);
    queueSaveTimer_->setInterval(kQueueSaveDelayMs);
    connect(queueSaveTimer_, &QTimer::timeout, this, &TJobQueueFrame::OnQueueSaveTimer);
    layout->addWidget(automation_);
    layout->addWidget(timerMessage_);

    connect(moveUpBtn_, &QToolButton::clicked, this, &TJobQueueFrame::MoveUpBtnClick);
    connect(moveDownBtn_, &QToolButton::clicked, this, &TJobQueueFrame::MoveDownBtnClick);
    connect(startJobBtn_, &QToolButton::clicked, this, &TJobQueueFrame::StartJobBtnClick);
    connect(stopJobBtn_, &QToolButton::clicked, this, &TJobQueueFrame::StopJobBtnClick);
    connect(deleteJobBtn_, &QToolButton::clicked, this, &TJobQueueFrame::DeleteJobBtnClick);
    connect(editJobBtn_, &QToolButton::clicked, this, &TJobQueueFrame::EditJobBtnClick);
    connect(jobsListView_, &QTreeWidget::itemSelectionChanged, this, &TJobQueueFrame::UpdateQueueButtons);
    connect(jobsListView_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (startJobBtn_->isEnabled())
            StartJobBtnClick();
    });
    UpdateLanguageLabels();
    UpdateQueueButtons();
}

TJobQueueFrame::~TJobQueueFrame()
{
    BusyCursor(false);
    // The writer's thread ends after the last posted queue is on disk.
    queueWriter_.reset();
}

void TJobQueueFrame::Initialize(TSpiderOutputSplitterForm* splitter, const std::string& dataFolder)
{
    bool registered = splitter && splitter->RegisterForSpiderOutput(
                                      kJobQueueOutputMask,
                                      [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
    if (!registered)
        LogEvent(etWarning, "", "RegisterForSpiderOutput", kUnit);
    automation_->LoadAutomationOptions();
    automation_->InitCommandLinePopupMenu();
    queueFolder_ = dataFolder + "Queue";
    handOverFolder_ = dataFolder + "HandedOver";
    queueWriter_ = std::make_unique<TQueueFolderWriter>(queueFolder_);
}

void TJobQueueFrame::SetCrawlThreadControl(std::function<void()> terminate, std::function<bool()> finished)
{
    terminateCrawlThread_ = std::move(terminate);
    crawlThreadFinished_ = std::move(finished);
}

void TJobQueueFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    jobsListView_->setHeaderLabels({QUIString(216), QUIString(217), QUIString(37)});
    moveUpBtn_->setToolTip(QUIString(225));
    moveDownBtn_->setToolTip(QUIString(226));
    startJobBtn_->setToolTip(QUIString(227));
    stopJobBtn_->setToolTip(QUIString(228));
    deleteJobBtn_->setToolTip(QUIString(232));
    editJobBtn_->setToolTip(QUIString(229));
    automation_->UpdateLanguageLabels();
    RefreshJobsList();
}

int TJobQueueFrame::AddNewJob(const TCopyJob& job)
{
    return AddCopyJob(job, jsQueued, true, true);
}

bool TJobQueueFrame::AddJobFile(const std::string& fileName)
{
    TCopyJob job;
    TIniFile ini;
    if (!LoadJobFile(fileName, ini) || !job.ReadFromIni(ini)) {
        ShowMessageBox(this, QUIString(233) + "\n" + QStr(fileName), QUIString(233), TBoxIcon::Warning);
        return false;
    }
    if (!ini.ParsedWhole())
        ReportRecovery("The job file " + fileName +
                       " could not be read whole (it ends in the middle of a line, or holds bytes or lines that "
                       "are no job settings). The job was queued with the default of every setting it lacks; the "
                       "file is left as it is.");
    // A job file may have been written by hand or by another version: every job arrives the
    // same way the Start page sends it.
    job.Normalize();
    if (AddNewJob(job) != 0)
        return false;
    // A job handed over by a window whose queue was not saved is in this queue now.
    const QFileInfo file(QStr(fileName));
    if (!handOverFolder_.empty() && file.canonicalPath() == QFileInfo(QStr(handOverFolder_)).canonicalFilePath() &&
        !SafeDeleteFile(fileName))
        LogAPIError("DeleteFile " + fileName, "AddJobFile", kUnit);
    return true;
}

int TJobQueueFrame::AddCopyJob(const TCopyJob& job, int32_t status, bool askToCreateFolder, bool interactive)
{
    try {
        if (GetShowJobQueue()) {
            if (interactive && host_ && GetFocusQueueOnJobAdd() && !(batchDepth_ > 0 && batchFocused_)) {
                host_->MoveFocusToPageByStringId(20);
                batchFocused_ = batchDepth_ > 0;
            }
            if (JobCount() > MaxJobs - 1) {
                if (interactive)
                    ShowMessageBox(this, QUIString(179), QUIString(176), TBoxIcon::Warning);
                else
                    LogEvent(etWarning, "Queue full", "AddCopyJob", kUnit);
                return 1;
            }
        } else {
            // The hidden queue holds one job: one that has ended, however, never blocks the next.
            for (int32_t i = JobCount() - 1; i >= 0; --i)
                if (IsEndedStatus(slots_[i]->FJobStatus))
                    RemoveJobAt(i);
            if (JobCount() > 0) {
                LogEvent(etWarning, "Queue disabled and full", "AddCopyJob", kUnit);
                return 1;
            }
        }
        auto slot = std::make_unique<TCopyJobAndStatus>();
        slot->FJob.Assign(job);
        if (!CheckJobCanRun(slot->FJob, askToCreateFolder, interactive) && status == jsQueued) {
            LogEvent(etWarning, "Job cannot run: " + job.JobName, "AddCopyJob", kUnit);
            if (interactive)
                return 2;
            status = jsError;
        }
        slot->FJobStatus = status;
        slot->FJobID = nextJobID_++;
        if (slot->FJob.JobName.empty())
            slot->FJob.JobName = ReplaceFirst(UIString(63), "XXX", std::to_string(slot->FJobID));
        slots_.push_back(std::move(slot));
        QueueChanged(true);
        if (interactive && batchDepth_ > 0)
            batchAdded_ = true;
        else if (interactive)
            AfterAdd();
        return 0;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddCopyJob", kUnit);
        return 2;
    }
}

bool TJobQueueFrame::CheckJobCanRun(TCopyJob& job, bool askToCreateFolder, bool interactive)
{
    auto refuse = [&](const QString& text) {
        if (interactive && batchDepth_ > 0)
            batchRefusals_.push_back(text);
        else if (interactive)
            ShowMessageBox(this, text, QUIString(176), TBoxIcon::Warning);
        else
            LogEvent(etWarning, text.toStdString(), "CheckJobCanRun", kUnit);
        return false;
    };
    const TURL& address = job.StartingWebAddress;
    int32_t scheme = address.GetScheme();
    if (!address.IsValid() || (scheme != usFTP && scheme != usHTTP && scheme != usHTTPS)) {
        std::string text = address.IsValid() ? address.GetFullURL() : address.GetUnusableText();
        if (text.empty())
            return refuse(QUIString(178));
        return refuse(QStr(ReplaceFirst(UIString(177), "XXX", text)));
    }
    if (job.DestinationFolder.empty())
        job.SetDestinationFolder(GetMyDocumentsFolder());
    // Relative folders lie below the documents folder; "." and ".." are resolved once, here.
    if (!job.NormalizeDestinationFolder(GetMyDocumentsFolder()) || IsRootFolder(job.DestinationFolder))
        return refuse(QUIString(77));
    std::string path = job.GetDestinationPath();
    if (askToCreateFolder) {
        // A folder the user chose not to create is not offered again for the rest of a lot.
        if (batchDepth_ > 0 && batchRefusedFolders_.count(path))
            return false;
        bool exists = TryToEnsureFolderExists(this, path);
        if (!exists && batchDepth_ > 0)
            batchRefusedFolders_.insert(path);
        return exists;
    }
    return QFileInfo(QStr(path)).isDir();
}

void TJobQueueFrame::BeginAddBatch()
{
    if (batchDepth_++ == 0) {
        batchAdded_ = false;
        batchFocused_ = false;
        batchRefusals_.clear();
        batchRefusedFolders_.clear();
    }
}

void TJobQueueFrame::EndAddBatch()
{
    if (--batchDepth_ > 0)
        return;
    batchRefusedFolders_.clear();
    if (batchAdded_) {
        batchAdded_ = false;
        AfterAdd();
    }
    if (batchRefusals_.empty())
        return;
    // One box for the lot; a very long list is cut.
    constexpr size_t kMostLines = 20;
    QStringList lines;
    for (size_t i = 0; i < batchRefusals_.size() && i < kMostLines; ++i)
        lines << batchRefusals_[i];
    if (batchRefusals_.size() > kMostLines)
        lines << QString("... (+%1)").arg(batchRefusals_.size() - kMostLines);
    batchRefusals_.clear();
    ShowMessageBox(this, lines.join("\n"), QUIString(176), TBoxIcon::Warning);
}

void TJobQueueFrame::AfterAdd()
{
    RefreshJobsList();
    UpdateTrayHint();
    if (GetShowJobQueue()) {
        if (automation_->StartJobsAutomatically() && !IsAnyJobRunning() && FirstQueuedIndex() >= 0)
            automation_->StartCountdown(ckStartNextJob);
    } else {
        SelectIndex(FirstQueuedIndex());
        StartJobBtnClick();
    }
}

int32_t TJobQueueFrame::IndexOfJob(int32_t jobID) const
{
    for (int32_t i = 0; i < JobCount(); ++i)
        if (slots_[i]->FJobID == jobID)
            return i;
    return -1;
}

int32_t TJobQueueFrame::FirstQueuedIndex() const
{
    for (int32_t i = 0; i < JobCount(); ++i)
        if (slots_[i]->FJobStatus == jsQueued)
            return i;
    return -1;
}

bool TJobQueueFrame::IsQueueIdle() const
{
    return !waitingForEngine_ && std::none_of(slots_.begin(), slots_.end(), [](const auto& s) {
        return s->FJobStatus == jsBusy || s->FJobStatus == jsPaused || s->FJobStatus == jsQueued;
    });
}

bool TJobQueueFrame::IsAnyJobRunning() const
{
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const auto& s) { return s->FJobStatus == jsBusy || s->FJobStatus == jsPaused; });
}

void TJobQueueFrame::ChangeJobStatusTo(int32_t jobID, int32_t status)
{
    int32_t index = IndexOfJob(jobID);
    if (index < 0) {
        LogEvent(etWarning, "Job " + std::to_string(jobID) + " not found", "ChangeJobStatusTo", kUnit);
        return;
    }
    if (slots_[index]->FJobStatus != status) {
        slots_[index]->FJobStatus = status;
        QueueChanged(false);
    }
}

int32_t TJobQueueFrame::SelectedIndex() const
{
    QTreeWidgetItem* item = jobsListView_->currentItem();
    if (!item || !item->isSelected())
        return -1;
    return jobsListView_->indexOfTopLevelItem(item);
}

void TJobQueueFrame::SelectIndex(int32_t index)
{
    if (index < 0 || index >= jobsListView_->topLevelItemCount()) {
        jobsListView_->clearSelection();
        jobsListView_->setCurrentItem(nullptr);
        return;
    }
    QTreeWidgetItem* item = jobsListView_->topLevelItem(index);
    jobsListView_->setCurrentItem(item);
    item->setSelected(true);
    jobsListView_->scrollToItem(item);
}

void TJobQueueFrame::RefreshJobsList()
{
    ++listRebuilds_;
    int32_t selected = SelectedIndex();
    jobsListView_->setUpdatesEnabled(false);
    {
        QSignalBlocker block(jobsListView_);
        jobsListView_->clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(JobCount());
        for (const auto& slot : slots_) {
            auto* item = new QTreeWidgetItem;
            item->setText(0, JobStatusText(slot->FJobStatus));
            item->setIcon(0, StatusIcon(slot->FJobStatus));
            item->setText(1, QStr(slot->FJob.JobName));
            item->setText(2, QStr(slot->FJob.StartingWebAddress.GetURLWithoutUserInfo()));
            items.append(item);
        }
        jobsListView_->addTopLevelItems(items);
        int32_t count = JobCount();
        int32_t select;
        if (selected < 0)
            select = FirstQueuedIndex();
        else if (selected == count && count > 0)
            select = count - 1;
        else if (selected < count)
            select = selected;
        else
            select = FirstQueuedIndex();
        SelectIndex(select);
    }
    jobsListView_->setUpdatesEnabled(true);
    UpdateQueueButtons();
}

void TJobQueueFrame::UpdateQueueButtons()
{
    int32_t index = SelectedIndex();
    if (index < 0 || index >= JobCount()) {
        for (QToolButton* b : {moveUpBtn_, moveDownBtn_, startJobBtn_, stopJobBtn_, deleteJobBtn_, editJobBtn_})
            b->setEnabled(false);
        return;
    }
    int32_t count = JobCount();
    int32_t status = slots_[index]->FJobStatus;
    bool running = status == jsBusy || status == jsPaused;
    moveUpBtn_->setEnabled(index >= 1 && count >= 2);
    moveDownBtn_->setEnabled(index < count - 1 && count >= 2);
    startJobBtn_->setEnabled((status == jsQueued || status == jsComplete || status == jsStopped ||
                              status == jsError || status == jsCompleteWithConnectionErrors) &&
                             !IsAnyJobRunning());
    stopJobBtn_->setEnabled(status == jsQueued || status == jsBusy);
    deleteJobBtn_->setEnabled(!running);
    editJobBtn_->setEnabled(!running);
}

QString TJobQueueFrame::GetQueueStatusText() const
{
    QString current;
    int32_t completed = 0;
    for (const auto& slot : slots_) {
        if (slot->FJobStatus == jsBusy || slot->FJobStatus == jsPaused)
            current = QReplaceFirst(QUIString(213), "XXX", QStr(JobDisplayName(slot->FJob)));
        if (IsEndedStatus(slot->FJobStatus))
            ++completed;
    }
    QString done;
    if (JobCount() > 0)
        done = QReplaceFirst(QReplaceFirst(QUIString(214), "XXX", QString::number(completed)), "YYY",
                             QString::number(JobCount()));
    if (current.isEmpty() && done.isEmpty())
        return QUIString(215);
    if (current.isEmpty())
        return done;
    if (done.isEmpty())
        return current;
    return current + "\n" + done;
}

void TJobQueueFrame::UpdateTrayHint()
{
    if (host_)
        host_->SetTrayHint(GetQueueStatusText());
}

void TJobQueueFrame::UpdateMainFormCaption(int32_t jobID)
{
    int32_t index = IndexOfJob(jobID);
    if (index < 0) {
        LogEvent(etAssertion, "Invalid index", "UpdateMainFormCaption", kUnit);
        return;
    }
    const TCopyJobAndStatus& slot = *slots_[index];
    QString caption = QStr(JobDisplayName(slot.FJob)) + " [" + JobStatusText(slot.FJobStatus) + "] - " +
                      GLEANERY_PRODUCT_NAME + (savedQueueHeld_ ? "" : kNotSavedCaption);
    if (host_)
        host_->SetWindowCaption(caption);
}

void TJobQueueFrame::BusyCursor(bool on)
{
    if (on == cursorBusy_)
        return;
    cursorBusy_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TJobQueueFrame::StartJobBtnClick()
{
    if (waitingForEngine_ || shuttingDown_ || IsAnyJobRunning())
        return;
    if (automation_->CountdownKind() == ckStartNextJob && automation_->IsCountdownRunning())
        automation_->StopCountdown();
    auto* input = TSpiderInputMessageQueue::Instance();
    if (!input)
        return;
    input->Clear();
    int32_t index = SelectedIndex();
    if (index < 0 || index >= JobCount())
        return;
    TCopyJobAndStatus& slot = *slots_[index];
    if (GetShowJobQueue() && automation_->SaveToUniqueSubfolder() &&
        !slot.FJob.HasDestinationSubfolder() && !slot.FJob.SelectUniqueDestinationSubfolder())
        LogEvent(etWarning, "", "SelectUniqueDestinationSubfolder", kUnit);
    auto msg = std::make_unique<TSpiderInputMsg>();
    msg->FMsgType = INMSG_START_JOB;
    msg->FJob.Assign(slot.FJob);
    msg->FJobID = slot.FJobID;
    if (host_)
        host_->GetProxySettings(msg->FHTTPProxy, msg->FFTPProxy);
    jobsListView_->scrollToItem(jobsListView_->topLevelItem(index));
    waitingForEngine_ = true;
    pendingJobID_ = slot.FJobID;
    BusyCursor(true);
    if (!input->PushMessage(*msg)) {
        waitingForEngine_ = false;
        BusyCursor(false);
    }
}

void TJobQueueFrame::StopJobBtnClick()
{
    int32_t index = SelectedIndex();
    if (waitingForEngine_ || index < 0 || index >= JobCount())
        return;
    TCopyJobAndStatus& slot = *slots_[index];
    if (slot.FJobStatus == jsBusy) {
        auto* input = TSpiderInputMessageQueue::Instance();
        if (input && input->PostStopJob(slot.FJobID)) {
            waitingForEngine_ = true;
            BusyCursor(true);
        }
    } else if (slot.FJobStatus == jsQueued) {
        slot.FJobStatus = jsStopped;
        QueueChanged(false);
        RefreshJobsList();
    }
}

void TJobQueueFrame::RemoveJobAt(int32_t index)
{
    slots_.erase(slots_.begin() + index);
    QueueChanged(true);
}

int32_t TJobQueueFrame::SelectedIdleJob() const
{
    int32_t index = SelectedIndex();
    if (waitingForEngine_ || index < 0 || index >= JobCount())
        return -1;
    int32_t status = slots_[index]->FJobStatus;
    return status == jsBusy || status == jsPaused ? -1 : index;
}

void TJobQueueFrame::DeleteJobBtnClick()
{
    int32_t index = SelectedIdleJob();
    if (index < 0)
        return;
    RemoveJobAt(index);
    RefreshJobsList();
    UpdateTrayHint();
}

void TJobQueueFrame::RemoveFinishedJobs(bool alsoStoppedAndAborted)
{
    auto finished = [alsoStoppedAndAborted](const std::unique_ptr<TCopyJobAndStatus>& s) {
        int32_t st = s->FJobStatus;
        return st == jsComplete || st == jsCompleteWithConnectionErrors ||
               (alsoStoppedAndAborted && (st == jsStopped || st == jsAborted));
    };
    auto end = std::remove_if(slots_.begin(), slots_.end(), finished);
    if (end != slots_.end()) {
        slots_.erase(end, slots_.end());
        QueueChanged(true);
    }
    RefreshJobsList();
    UpdateTrayHint();
}

void TJobQueueFrame::RemoveIdleJobs()
{
    auto end = std::remove_if(slots_.begin(), slots_.end(),
                              [](const auto& s) { return s->FJobStatus != jsBusy && s->FJobStatus != jsPaused; });
    if (end != slots_.end()) {
        slots_.erase(end, slots_.end());
        QueueChanged(true);
    }
    RefreshJobsList();
    UpdateTrayHint();
}

void TJobQueueFrame::ExchangeJobs(int32_t a, int32_t b)
{
    std::swap(slots_[a], slots_[b]);
    QueueChanged(true);
    RefreshJobsList();
    SelectIndex(b);
}

void TJobQueueFrame::MoveUpBtnClick()
{
    int32_t index = SelectedIndex();
    if (index >= 1 && index < JobCount())
        ExchangeJobs(index, index - 1);
}

void TJobQueueFrame::MoveDownBtnClick()
{
    int32_t index = SelectedIndex();
    if (index >= 0 && index < JobCount() - 1)
        ExchangeJobs(index, index + 1);
}

void TJobQueueFrame::EditJobBtnClick()
{
    int32_t index = SelectedIdleJob();
    if (index < 0)
        return;
    if (host_)
        host_->EditQueuedJob(slots_[index]->FJob);
}

void TJobQueueFrame::RequeueSelectedJob()
{
    int32_t index = SelectedIndex();
    if (index < 0 || index >= JobCount() || !IsEndedStatus(slots_[index]->FJobStatus))
        return;
    slots_[index]->FJobStatus = jsQueued;
    QueueChanged(false);
    RefreshJobsList();
}

bool TJobQueueFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == jobsListView_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (startJobBtn_->isEnabled())
                    StartJobBtnClick();
                return true;
            case Qt::Key_Space: StopJobBtnClick(); return true;
            case Qt::Key_Up: MoveUpBtnClick(); return true;
            case Qt::Key_Down: MoveDownBtnClick(); return true;
            case Qt::Key_Delete: DeleteJobBtnClick(); return true;
            case Qt::Key_E: EditJobBtnClick(); return true;
            case Qt::Key_Q: RequeueSelectedJob(); return true;
            default: break;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TJobQueueFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label)
{
    (void)label;
    try {
        switch (msg.FMsgType) {
        case OUTMSG_JOB_STARTED:
        case OUTMSG_JOB_PAUSED:
        case OUTMSG_JOB_RESUMED:
        case OUTMSG_JOB_ENDED:
        case OUTMSG_DOWNLOAD_ENDED:
            // The engine answered. Cleared first: the after-job step may send the next command.
            BusyCursor(false);
            waitingForEngine_ = false;
            break;
        default: return;
        }
        switch (msg.FMsgType) {
        case OUTMSG_JOB_STARTED:
            ChangeJobStatusTo(msg.FJobID, jsBusy);
            RefreshJobsList();
            UpdateTrayHint();
            endRule_.Reset();
            UpdateMainFormCaption(msg.FJobID);
            if (host_) {
                host_->SetBusyIcon(true);
                if (GetFocusProgressOnJobStart() || !GetShowJobQueue()) {
                    host_->SetProgressTabVisible(true);
                    host_->MoveFocusToPageByStringId(21);
                }
            }
            LogMessage("Started job " + std::to_string(msg.FJobID));
            break;
        case OUTMSG_JOB_PAUSED:
        case OUTMSG_JOB_RESUMED:
            ChangeJobStatusTo(msg.FJobID, msg.FMsgType == OUTMSG_JOB_PAUSED ? jsPaused : jsBusy);
            RefreshJobsList();
            UpdateMainFormCaption(msg.FJobID);
            break;
        case OUTMSG_JOB_ENDED:
            endedNormally_ = msg.FResultCode == JOB_END_COMPLETED || msg.FResultCode == JOB_END_STOPPED ||
                             msg.FResultCode == JOB_END_CANCELLED;
            OnJobStopped(msg);
            break;
        case OUTMSG_DOWNLOAD_ENDED: {
            const TFileDownloadResults& r = msg.FDownload.FResults;
            endRule_.OnDownloadEnded(r.FFileWritten != 0, r.FFiltered != 0, r.FFilterCode, r.FErrorCodeValid != 0,
                                     r.FErrorCode);
            break;
        }
        default: break;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

void TJobQueueFrame::OnJobStopped(const TSpiderOutputMsg& msg)
{
    lastEndedJobID_ = msg.FJobID;
    ChangeJobStatusTo(msg.FJobID, endRule_.EndStatus(msg.FResultCode));
    // Nothing is run for a job that ends while the program shuts down.
    bool started = !shuttingDown_ && GetShowJobQueue() && endedNormally_ &&
                   automation_->RunJobStoppedApp(msg.FJobID, msg.FStartPageFile);
    LogMessage("Stopped job " + std::to_string(msg.FJobID));
    // A started program runs the after-job step when the wait for it ends.
    if (!started)
        AfterJobStopped();
}

void TJobQueueFrame::AfterJobStopped()
{
    automation_->BeforeAfterJob();
    UpdateTrayHint();
    if (host_)
        host_->SetBusyIcon(false);
    RefreshJobsList();
    UpdateMainFormCaption(lastEndedJobID_);
    if (shuttingDown_)
        return;
    if (!GetShowJobQueue())
        RemoveFinishedJobs(true);
    else if (automation_->RemoveCompletedJobs())
        RemoveFinishedJobs(false);
    automation_->AfterJobNext(endedNormally_);
}

void TJobQueueFrame::ShowMessageBar(const QString& text)
{
    timerMessage_->setText(text);
    timerMessage_->show();
    timerMessage_->repaint();
}

void TJobQueueFrame::HideMessageBar()
{
    timerMessage_->hide();
}

void TJobQueueFrame::ReportRecovery(const std::string& text)
{
    LogEvent(etWarning, text, "ReportRecovery", kUnit);
    emit FileRecovered(QStr(text));
}

void TJobQueueFrame::SetSavedQueueHeldElsewhere()
{
    savedQueueHeld_ = false;
    queueSaveTimer_->stop();
    notSavedMessage_->setText(
        "This window's queue is not saved: another Gleanery window holds the saved queue. When this window "
        "closes, jobs not yet done here can be handed to that window; a job file or address given when "
        "Gleanery is started goes to that window.");
    notSavedMessage_->show();
    if (host_)
        host_->SetWindowCaption(QStr(AppProductName()) + kNotSavedCaption);
    LogEvent(etWarning, "Another instance holds the saved queue: this queue is not saved",
             "SetSavedQueueHeldElsewhere", kUnit);
}

bool TJobQueueFrame::ConfirmCloseWithUnsavedJobs()
{
    if (savedQueueHeld_)
        return true;
    std::vector<const TCopyJob*> unfinished;
    for (const auto& slot : slots_)
        if (slot->FJobStatus == jsQueued || slot->FJobStatus == jsBusy || slot->FJobStatus == jsPaused)
            unfinished.push_back(&slot->FJob);
    if (unfinished.empty())
        return true;
    const QString caption = QStringLiteral("Queue Not Saved");
    const QString jobs = unfinished.size() == 1 ? QStringLiteral("1 job that is not done")
                                                : QStringLiteral("%1 jobs that are not done").arg(unfinished.size());
    const QString question =
        QStringLiteral("This window's queue is not saved, and it holds %1. Hand %2 to the Gleanery window that "
                       "holds the saved queue?\n\nYes: hand over, then close. No: close and lose %2. Cancel: keep "
                       "this window open.")
            .arg(jobs, unfinished.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    switch (AskYesNoCancel(this, question, caption)) {
    case TBoxAnswer::Cancel: return false;
    case TBoxAnswer::No: return true;
    case TBoxAnswer::Yes: break;
    }
    // Each job as a job file the holder queues and then deletes.
    QStringList files;
    bool written = SafeForceDirectories(handOverFolder_);
    const std::string prefix = handOverFolder_ + "/" + std::to_string(::getpid()) + "-";
    for (size_t i = 0; written && i < unfinished.size(); ++i) {
        const std::string file = prefix + std::to_string(i + 1) + ".GCJ";
        written = unfinished[i]->WriteJobFile(file);
        if (written)
            files.append(QStr(file));
        else
            LogAPIError("WriteJobFile " + file, "ConfirmCloseWithUnsavedJobs", kUnit);
    }
    const auto warn = [&](const char* text) {
        ShowMessageBox(this, QString::fromUtf8(text).arg(QStr(handOverFolder_)), caption, TBoxIcon::Warning);
    };
    if (!written) {
        for (const QString& file : files)
            SafeDeleteFile(StdStr(file));
        warn("The jobs could not be written for the other window in %1. This window stays open.");
        return false;
    }
    if (handOver_ && handOver_(files))
        return true;
    warn("The Gleanery window that holds the saved queue did not take the jobs. They are kept as job files in "
         "%1: open them from there to queue them again.");
    return true;
}

bool TJobQueueFrame::MayWriteSavedQueue() const
{
    return savedQueueHeld_ && !queueFolder_.empty() && (savedQueueKnown_ || !SavedQueueExists(queueFolder_));
}

bool TJobQueueFrame::PrepareSavedQueueWrite()
{
    if (MayWriteSavedQueue())
        return true;
    // Left unread at start-up (the page hidden or saving off then) and wanted now: the saved
    // jobs join this queue before it is written.
    if (!savedQueueHeld_ || !autoSaveReady_ || !GetShowJobQueue() || !GetSaveQueueBetweenRuns())
        return false;
    LoadQueueFromDisk();
    return savedQueueKnown_;
}

void TJobQueueFrame::LoadSavedQueue()
{
    if (savedQueueHeld_ && GetShowJobQueue() && GetSaveQueueBetweenRuns()) {
        ShowMessageBar(QUIString(170));
        LoadQueueFromDisk();
        // A next-job countdown started by the loaded queue keeps the bar for its message.
        if (!automation_->IsCountdownRunning())
            HideMessageBar();
    }
    // From here on the queue on disk follows the queue in memory.
    autoSaveReady_ = true;
    if (queueDirty_)
        QueueChanged(false);
}

bool TJobQueueFrame::ReadQueueFolder(const std::string& folder)
{
    TIniFile ini;
    if (!ini.Load(folder + "/Queue.ini")) {
        LogAPIError("ReadFile " + folder + "/Queue.ini", "LoadQueueFromDisk", kUnit);
        return false;
    }
    const int64_t stored = ini.ReadInt64("Queue", "JobCount", -1);
    bool whole = stored >= 0 && stored <= MaxJobs;
    if (!whole)
        LogEvent(etWarning, "Queue JobCount " + ini.ReadString("Queue", "JobCount", "") + " out of range",
                 "LoadQueueFromDisk", kUnit);
    int32_t count = static_cast<int32_t>(std::clamp<int64_t>(stored, 0, MaxJobs));
    int added = 0;
    for (int32_t n = 1; n <= count; ++n) {
        int32_t status = ini.ReadInteger("Queue", "JobStatus" + std::to_string(n), -1);
        if (status < 0) {
            LogEvent(etWarning, "No status for queued job " + std::to_string(n), "LoadQueueFromDisk", kUnit);
            whole = false;
            continue;
        }
        if (status == jsBusy || status == jsPaused)
            status = jsAborted;
        std::string file = JobFileName(folder, n);
        TCopyJob job;
        if (!SafeFileExists(file) || !job.ReadJobFile(file)) {
            LogEvent(etWarning, "Unreadable queued job " + file, "LoadQueueFromDisk", kUnit);
            whole = false;
            continue;
        }
        if (AddCopyJob(job, status, false, false) != 0) {
            whole = false;
            break;
        }
        ++added;
    }
    if (added > 0)
        AfterAdd();
    return whole;
}

void TJobQueueFrame::LoadQueueFromDisk()
{
    try {
        if (queueFolder_.empty() || !savedQueueHeld_ || !SavedQueueExists(queueFolder_))
            return;
        BusyCursor(true);
        const int32_t before = JobCount();
        const bool wasEmpty = before == 0;
        const bool whole = ReadQueueFolder(queueFolder_);
        savedQueueKnown_ = true;
        if (!whole)
            ReportRecovery("The saved queue in " + queueFolder_ + " could not be read whole: " +
                           CountOf(JobCount() - before, "job was", "jobs were") +
                           " read. The queue folder stays as it was found until the queue is next saved; it is "
                           "then kept as " + DamagedCopyName(queueFolder_) + ".");
        if (queueWriter_) {
            if (whole && wasEmpty && QueueFolderHoldsOnly(queueFolder_, static_cast<size_t>(JobCount()))) {
                // The folder holds exactly this queue: nothing to write until it changes.
                queueWriter_->SetWrittenContentVersion(contentVersion_);
                queueDirty_ = false;
            } else if (whole) {
                // Other files lie beside the queue: the next save writes the folder afresh.
                queueDirty_ = true;
            } else {
                // What could not be read stays on disk beside the queue written next.
                queueWriter_->KeepOldFolderOnce();
                queueDirty_ = true;
            }
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadQueueFromDisk", kUnit);
    }
    BusyCursor(false);
}

TQueueSnapshot TJobQueueFrame::Snapshot() const
{
    TQueueSnapshot snapshot;
    snapshot.contentVersion = contentVersion_;
    snapshot.entries.reserve(slots_.size());
    for (const auto& slot : slots_)
        snapshot.entries.push_back({slot->FJob, slot->FJobStatus});
    return snapshot;
}

void TJobQueueFrame::QueueChanged(bool content)
{
    if (content)
        ++contentVersion_;
    queueDirty_ = true;
    if (autoSaveReady_ && !shuttingDown_ && !queueSaveTimer_->isActive())
        queueSaveTimer_->start();
}

void TJobQueueFrame::OnQueueSaveTimer()
{
    if (!queueDirty_ || shuttingDown_ || !queueWriter_ || !GetSaveQueueBetweenRuns() || !PrepareSavedQueueWrite())
        return;
    try {
        savedQueueKnown_ = true;
        queueWriter_->Post(Snapshot());
        queueDirty_ = false;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SaveQueueToDisk", kUnit);
    }
}

bool TJobQueueFrame::IsQueueSavePending() const
{
    return queueSaveTimer_->isActive();
}

void TJobQueueFrame::FlushQueueSaves()
{
    if (queueSaveTimer_->isActive()) {
        queueSaveTimer_->stop();
        OnQueueSaveTimer();
    }
    if (queueWriter_)
        queueWriter_->Flush();
}

void TJobQueueFrame::SaveQueueToDisk()
{
    if (queueFolder_.empty() || !queueWriter_) {
        LogEvent(etWarning, "No queue save folder", "SaveQueueToDisk", kUnit);
        return;
    }
    if (!PrepareSavedQueueWrite()) {
        LogEvent(etWarning, "The saved queue " + queueFolder_ + " was not read here: it is left as it is",
                 "SaveQueueToDisk", kUnit);
        return;
    }
    savedQueueKnown_ = true;
    if (host_)
        host_->MoveFocusToPageByStringId(20);
    ShowMessageBar(QUIString(171));
    BusyCursor(true);
    try {
        queueSaveTimer_->stop();
        queueWriter_->Post(Snapshot());
        queueDirty_ = false;
        queueWriter_->Flush();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SaveQueueToDisk", kUnit);
    }
    HideMessageBar();
    BusyCursor(false);
}

void TJobQueueFrame::DeleteQueueFromDisk()
{
    if (queueFolder_.empty()) {
        LogEvent(etWarning, "No queue save folder", "DeleteQueueFromDisk", kUnit);
        return;
    }
    if (!MayWriteSavedQueue()) {
        LogEvent(etWarning, "The saved queue " + queueFolder_ + " was not read here: it is left as it is",
                 "DeleteQueueFromDisk", kUnit);
        return;
    }
    try {
        queueSaveTimer_->stop();
        if (queueWriter_)
            queueWriter_->Flush();
        DeleteQueueFiles(queueFolder_, "DeleteQueueFromDisk");
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "DeleteQueueFromDisk", kUnit);
    }
}

void TJobQueueFrame::PrepareForSessionEnd()
{
    if (shuttingDown_)
        return;
    BusyCursor(true);
    shuttingDown_ = true;
    queueSaveTimer_->stop();
    try {
        automation_->StopCountdown();
        if (auto* input = TSpiderInputMessageQueue::Instance()) {
            input->Clear();
            for (int32_t i = 0; i < JobCount(); ++i)
                if (slots_[i]->FJobStatus == jsBusy || slots_[i]->FJobStatus == jsPaused)
                    input->PostAbortJob(slots_[i]->FJobID);
            if (!IsAnyJobRunning() && waitingForEngine_ && pendingJobID_ > 0)
                input->PostAbortJob(pendingJobID_);
        }
        // The job's end report arrives through the event loop.
        if (IsAnyJobRunning() || waitingForEngine_)
            RunEventsUntil([this] { return !IsAnyJobRunning() && !waitingForEngine_; });
        if (GetSaveQueueBetweenRuns())
            SaveQueueToDisk();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PrepareForSessionEnd", kUnit);
    }
    shuttingDown_ = false;
    BusyCursor(false);
    // The session went on: the queue carries on where the cancelled job left it.
    if (GetShowJobQueue() && automation_->StartJobsAutomatically() && !IsAnyJobRunning() && FirstQueuedIndex() >= 0)
        automation_->StartCountdown(ckStartNextJob);
}

void TJobQueueFrame::PrepareForAppShutdown()
{
    BusyCursor(true);
    shuttingDown_ = true;
    queueSaveTimer_->stop();
    try {
        automation_->StopCountdown();
        if (auto* input = TSpiderInputMessageQueue::Instance()) {
            input->Clear();
            int32_t running = -1;
            for (int32_t i = 0; i < JobCount(); ++i)
                if (slots_[i]->FJobStatus == jsBusy || slots_[i]->FJobStatus == jsPaused)
                    running = i;
            if (running >= 0)
                input->PostAbortJob(slots_[running]->FJobID);
            else if (waitingForEngine_ && pendingJobID_ > 0)
                input->PostAbortJob(pendingJobID_);
        }
        if (terminateCrawlThread_)
            terminateCrawlThread_();
        // Reports keep arriving while the thread winds down; a full output queue would stall it.
        if (crawlThreadFinished_ && !crawlThreadFinished_())
            RunEventsUntil(crawlThreadFinished_);
        if (GetSaveQueueBetweenRuns())
            SaveQueueToDisk();
        else
            DeleteQueueFromDisk();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PrepareForAppShutdown", kUnit);
    }
    BusyCursor(false);
}
