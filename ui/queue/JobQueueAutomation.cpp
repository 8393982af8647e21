#include "ui/queue/JobQueueAutomation.h"

#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"
#include "ui/queue/JobQueue.h"
#include "ui/queue/JobQueueHost.h"
#include "ui/common/MessageBoxes.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/queue/SystemShutdown.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

const char* const kUnit = "JobQueue";
const char* const kSection = "Automation";

std::string ReadSettingText(const std::string& key)
{
    std::string value;
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->ReadString(kSection, key, value, "");
    return value;
}

QString WithSeconds(int id, int32_t seconds)
{
    return QReplaceFirst(QUIString(id), "XXX", QString::number(seconds));
}

}  // namespace

TJobQueueAutomation::TJobQueueAutomation(TJobQueueFrame& frame, QLabel* message, QWidget* parent)
    : QWidget(parent), frame_(frame), timerMessage_(message), shutdown_(std::make_unique<TLogindShutdown>())
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    startJobsAutomatically_ = new QCheckBox(this);
    saveToUniqueSubfolder_ = new QCheckBox(this);
    shutdownWhenAllJobsCompleted_ = new QCheckBox(this);
    shutdownType_ = new QComboBox(this);
    shutdownType_->addItems({QString(), QString()});
    runAppOnJobCompletion_ = new QCheckBox(this);
    jobCompletionCommandLine_ = new QLineEdit(this);
    commandLineToolBar_ = new QToolButton(this);
    commandLineToolBar_->setPopupMode(QToolButton::InstantPopup);
    commandLineToolBar_->setArrowType(Qt::DownArrow);
    commandLinePopupMenu_ = new QMenu(this);
    commandLineToolBar_->setMenu(commandLinePopupMenu_);
    commandLineToolBar_->hide();
    removeCompletedJobs_ = new QCheckBox(this);

    auto* shutdownRow = new QHBoxLayout;
    shutdownRow->addWidget(shutdownWhenAllJobsCompleted_);
    shutdownRow->addWidget(shutdownType_, 1);
    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(jobCompletionCommandLine_, 1);
    commandRow->addWidget(commandLineToolBar_);
    grid->addWidget(startJobsAutomatically_, 0, 0);
    grid->addWidget(saveToUniqueSubfolder_, 0, 1);
    grid->addLayout(shutdownRow, 1, 0);
    grid->addWidget(removeCompletedJobs_, 1, 1);
    grid->addWidget(runAppOnJobCompletion_, 2, 0);
    grid->addLayout(commandRow, 2, 1);

    countdownTimer_ = new QTimer(this);
    countdownTimer_->setInterval(1000);
    connect(countdownTimer_, &QTimer::timeout, this, &TJobQueueAutomation::CountdownTimerTimer);
    if (timerMessage_)
        timerMessage_->installEventFilter(this);

    connect(startJobsAutomatically_, &QCheckBox::clicked, this, &TJobQueueAutomation::StartJobsAutomaticallyClick);
    connect(saveToUniqueSubfolder_, &QCheckBox::clicked, this, &TJobQueueAutomation::OptionChanged);
    connect(shutdownWhenAllJobsCompleted_, &QCheckBox::clicked, this, &TJobQueueAutomation::OptionChanged);
    connect(runAppOnJobCompletion_, &QCheckBox::clicked, this, &TJobQueueAutomation::OptionChanged);
    connect(shutdownType_, &QComboBox::currentIndexChanged, this, &TJobQueueAutomation::OptionChanged);
    connect(jobCompletionCommandLine_, &QLineEdit::textChanged, this, &TJobQueueAutomation::OptionChanged);
    connect(removeCompletedJobs_, &QCheckBox::clicked, this, &TJobQueueAutomation::RemoveCompletedJobsClick);
    UpdateLanguageLabels();
}

TJobQueueAutomation::~TJobQueueAutomation()
{
    SetEscapeWatch(false);
}

void TJobQueueAutomation::SetShutdownService(std::unique_ptr<TSystemShutdown> service)
{
    shutdown_ = std::move(service);
}

bool TJobQueueAutomation::StartJobsAutomatically() const
{
    return startJobsAutomatically_->isChecked();
}

bool TJobQueueAutomation::SaveToUniqueSubfolder() const
{
    return saveToUniqueSubfolder_->isChecked();
}

bool TJobQueueAutomation::RemoveCompletedJobs() const
{
    return removeCompletedJobs_->isChecked();
}

void TJobQueueAutomation::UpdateLanguageLabels()
{
    startJobsAutomatically_->setText(QUIString(218));
    saveToUniqueSubfolder_->setText(QUIString(219));
    {
        QSignalBlocker block(shutdownType_);
        shutdownType_->setItemText(0, QUIString(221));
        shutdownType_->setItemText(1, QUIString(220));
    }
    runAppOnJobCompletion_->setText(QUIString(222));
    removeCompletedJobs_->setText(QUIString(223));
    const QList<QAction*> actions = commandLinePopupMenu_->actions();
    for (qsizetype i = 0; i < actions.size() && i < static_cast<qsizetype>(presetStringIds_.size()); ++i)
        actions[i]->setText(QUIString(presetStringIds_[i]));
    if (timerMessage_) {
        QFont font = timerMessage_->font();
        font.setFamily(QUIString(7));
        font.setPointSize(UIInteger(8, frame_.font().pointSize()));
        font.setBold(true);
        timerMessage_->setFont(font);
    }
}

void TJobQueueAutomation::LoadAutomationOptions()
{
    loadingOptions_ = true;
    countdownStartNextJob_ = std::max(0, ReadSettingInteger(kSection, "CountdownStartNextJob", 5));
    countdownShutdown_ = std::max(0, ReadSettingInteger(kSection, "CountdownShutdown", 10));
    countdownWaitForProcess_ = std::max(0, ReadSettingInteger(kSection, "CountdownWaitForProcess", 60));
    startJobsAutomatically_->setChecked(ReadSettingBool(kSection, "StartJobsAutomatically", true));
    saveToUniqueSubfolder_->setChecked(ReadSettingBool(kSection, "SaveEachJobToUniqueSubfolder", false));
    removeCompletedJobs_->setChecked(ReadSettingBool(kSection, "RemoveJobOnCompletion", true));
    shutdownWhenAllJobsCompleted_->setChecked(ReadSettingBool(kSection, "ShutdownWhenAllJobsDone", false));
    int32_t type = ReadSettingInteger(kSection, "ShutdownType", 0);
    if (type == 0 || type == 1)
        shutdownType_->setCurrentIndex(type);
    runAppOnJobCompletion_->setChecked(ReadSettingBool(kSection, "RunAppOnJobCompletion", false));
    jobCompletionCommandLine_->setText(QStr(ReadSettingText("JobCompletionCommandLine")));
    loadingOptions_ = false;
}

void TJobQueueAutomation::SaveAutomationOptions()
{
    WriteSettingBool(kSection, "StartJobsAutomatically", startJobsAutomatically_->isChecked());
    WriteSettingBool(kSection, "SaveEachJobToUniqueSubfolder", saveToUniqueSubfolder_->isChecked());
    WriteSettingBool(kSection, "RemoveJobOnCompletion", removeCompletedJobs_->isChecked());
    WriteSettingBool(kSection, "ShutdownWhenAllJobsDone", shutdownWhenAllJobsCompleted_->isChecked());
    WriteSettingInteger(kSection, "ShutdownType", shutdownType_->currentIndex());
    WriteSettingBool(kSection, "RunAppOnJobCompletion", runAppOnJobCompletion_->isChecked());
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->WriteString(kSection, "JobCompletionCommandLine", StdStr(jobCompletionCommandLine_->text()));
}

void TJobQueueAutomation::InitCommandLinePopupMenu()
{
    commandLinePopupMenu_->clear();
    commandLinePresets_.clear();
    presetStringIds_.clear();
    auto add = [this](const char* name, int id, const std::string& line) {
        QAction* action = commandLinePopupMenu_->addAction(QUIString(id));
        action->setObjectName(name);
        size_t index = commandLinePresets_.size();
        commandLinePresets_.push_back(line);
        presetStringIds_.push_back(id);
        connect(action, &QAction::triggered, this,
                [this, index] { jobCompletionCommandLine_->setText(QStr(commandLinePresets_.at(index))); });
    };
    try {
        add("STRINGID_LAUNCH_COPIED_SITE", 235, "%c");
        std::string folder = GetProgramFolder();
        if (QFileInfo(QStr(folder + "Archiver.exe")).isFile())
            add("STRINGID_CREATE_ZIP_FILE", 236, folder + "Archiver.exe" + " %d");
        if (QFileInfo(QStr(folder + "DiscWriter.exe")).isFile())
            add("STRINGID_LAUNCH_CD_BURN_WIZARD", 237, "DiscWriter.exe /dir=\"%d\" /run=\"%r\" /maxsize=\"630\"");
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "InitCommandLinePopupMenu", kUnit);
    }
    commandLineToolBar_->setVisible(!commandLinePresets_.empty());
}

void TJobQueueAutomation::OptionChanged()
{
    if (!loadingOptions_)
        SaveAutomationOptions();
}

void TJobQueueAutomation::StartJobsAutomaticallyClick()
{
    if (loadingOptions_)
        return;
    SaveAutomationOptions();
    if (startJobsAutomatically_->isChecked() && frame_.JobCount() > 0 && !frame_.IsAnyJobRunning() &&
        frame_.FirstQueuedIndex() >= 0)
        StartCountdown(ckStartNextJob);
}

void TJobQueueAutomation::RemoveCompletedJobsClick()
{
    if (loadingOptions_)
        return;
    if (removeCompletedJobs_->isChecked()) {
        switch (AskYesNoCancel(this, QUIString(224), QUIString(223))) {
        case TBoxAnswer::Yes: frame_.RemoveFinishedJobs(true); break;
        case TBoxAnswer::No: frame_.RemoveFinishedJobs(false); break;
        case TBoxAnswer::Cancel: removeCompletedJobs_->setChecked(false); break;
        }
    }
    SaveAutomationOptions();
}

bool TJobQueueAutomation::IsCountdownRunning() const
{
    return countdownTimer_->isActive();
}

void TJobQueueAutomation::StartCountdown(int32_t kind)
{
    if (countdownTimer_->isActive())
        StopCountdown();
    if (frame_.shuttingDown_)
        return;
    countdownKind_ = kind;
    countdownSeconds_ = kind == ckStartNextJob ? countdownStartNextJob_
                        : kind == ckShutdown   ? countdownShutdown_
                                               : countdownWaitForProcess_;
    if (kind == ckStartNextJob)
        frame_.SelectIndex(frame_.FirstQueuedIndex());
    countdownTimer_->start();
    SetEscapeWatch(true);
    if (kind == ckShutdown || GetFocusProgressOnJobStart())
        if (frame_.host_)
            frame_.host_->MoveFocusToPageByStringId(20);
    CountdownTimerTimer();
}

void TJobQueueAutomation::StopCountdown()
{
    countdownTimer_->stop();
    SetEscapeWatch(false);
    if (timerMessage_)
        timerMessage_->hide();
    if (frame_.host_)
        frame_.host_->StopFlashing();
    if (countdownKind_ == ckWaitForProcess) {
        completionProcess_.Close();
        countdownKind_ = ckNone;
        frame_.AfterJobStopped();
    }
}

bool TJobQueueAutomation::IsModalDialogShowing() const
{
    if (frame_.host_)
        return frame_.host_->IsModalDialogShowing();
    return QApplication::activeModalWidget() != nullptr;
}

void TJobQueueAutomation::ShowCountdownMessage(const QString& text)
{
    if (!timerMessage_)
        return;
    timerMessage_->setText(text);
    timerMessage_->show();
}

void TJobQueueAutomation::CountdownTimerTimer()
{
    if (IsModalDialogShowing())
        return;
    if (countdownSeconds_ > 0) {
        if (countdownKind_ == ckStartNextJob) {
            ShowCountdownMessage(WithSeconds(172, countdownSeconds_));
        } else if (countdownKind_ == ckShutdown) {
            ShowCountdownMessage(WithSeconds(173, countdownSeconds_));
        } else if (countdownKind_ == ckWaitForProcess) {
            if (completionProcess_.Ended()) {
                StopCountdown();
                return;
            }
            ShowCountdownMessage(
                QReplaceFirst(WithSeconds(174, countdownSeconds_), "YYY", QStr(completionCommandText_)));
        }
        --countdownSeconds_;
        return;
    }
    if (!countdownTimer_->isActive())
        return;
    int32_t kind = countdownKind_;
    bool escape = escapeDown_;
    StopCountdown();
    if (kind == ckWaitForProcess)
        return;
    countdownKind_ = ckNone;
    if (escape)
        return;
    if (kind == ckStartNextJob) {
        frame_.SelectIndex(frame_.FirstQueuedIndex());
        frame_.StartJobBtnClick();
    } else if (kind == ckShutdown) {
        // A job started or queued during the count keeps the program running.
        if (!frame_.IsQueueIdle() || frame_.shuttingDown_)
            return;
        if (shutdownType_->currentIndex() == 0) {
            if (frame_.host_)
                frame_.host_->CloseWindow();
        } else if (shutdownType_->currentIndex() == 1) {
            TryToShutdownWindows();
        }
    }
}

void TJobQueueAutomation::TryToShutdownWindows()
{
    std::string error;
    if (shutdown_ && shutdown_->PowerOff(error))
        return;
    LogEvent(etWarning, error, "TryToShutdownWindows", kUnit);
    ShowMessageBox(this, QStr(error), QUIString(175), TBoxIcon::Warning);
}

void TJobQueueAutomation::BeforeAfterJob()
{
    if (!GetShowJobQueue() || frame_.shuttingDown_)
        return;
    TJobQueueHost* host = frame_.host_;
    if (shutdownWhenAllJobsCompleted_->isChecked() && frame_.IsQueueIdle()) {
        StartCountdown(ckShutdown);
        if (host)
            host->StartFlashing(countdownShutdown_);
    } else if (host) {
        host->StartFlashing(countdownStartNextJob_);
    }
}

void TJobQueueAutomation::AfterJobNext(bool endedNormally)
{
    if (GetShowJobQueue() && endedNormally && startJobsAutomatically_->isChecked() && frame_.FirstQueuedIndex() >= 0)
        StartCountdown(ckStartNextJob);
}

bool TJobQueueAutomation::RunJobStoppedApp(int32_t jobID, const std::string& startPage)
{
    try {
        if (!runAppOnJobCompletion_->isChecked() || frame_.shuttingDown_)
            return false;
        QString line = jobCompletionCommandLine_->text().trimmed();
        if (line != jobCompletionCommandLine_->text())
            jobCompletionCommandLine_->setText(line);
        int32_t index = frame_.IndexOfJob(jobID);
        if (line.isEmpty() || index < 0)
            return false;
        std::string commandLine = StdStr(line);
        TCompletionCommand command = BuildCompletionCommand(commandLine, frame_.Slot(index).FJob, startPage);
        completionCommandText_ = command.text;
        bool queued = frame_.FirstQueuedIndex() >= 0;
        TProcessHandle handle;
        if (StartCompletionProgram(command, GetProgramFolder(), !IsMacroOnlyCommandLine(commandLine), handle)) {
            // An earlier countdown ends first: a wait's end would close the new handle.
            if (countdownTimer_->isActive())
                StopCountdown();
            completionProcess_ = std::move(handle);
            StartCountdown(ckWaitForProcess);
            return true;
        }
        std::string errorText = GetLastErrorText();
        LogAPIError("ShellExecuteEx " + completionCommandText_, "RunJobStoppedApp", kUnit);
        if (!queued)
            ShowMessageBox(this, QStr(completionCommandText_), QStr(errorText), TBoxIcon::Warning);
        return false;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "RunJobStoppedApp", kUnit);
        return false;
    }
}

void TJobQueueAutomation::SetEscapeWatch(bool on)
{
    if (on == escapeWatch_)
        return;
    escapeWatch_ = on;
    escapeDown_ = false;
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool TJobQueueAutomation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == timerMessage_ && event->type() == QEvent::MouseButtonRelease) {
        if (countdownTimer_->isActive())
            StopCountdown();
        return true;
    }
    if (escapeWatch_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
        escapeDown_ = event->type() == QEvent::KeyPress;
    return QWidget::eventFilter(watched, event);
}
