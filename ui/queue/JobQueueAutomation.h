#pragma once
// The lower half of the job queue page: countdowns before the next job and before shutting down,
// the program run when a job ends, and the removal of finished jobs.
#include "ui/queue/JobCompletionCommand.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class TJobQueueFrame;
class TSystemShutdown;

enum TCountdownKind : int32_t {
    ckNone = 0,
    ckStartNextJob = 1,
    ckShutdown = 2,
    ckWaitForProcess = 3,
};

class TJobQueueAutomation : public QWidget {
    Q_OBJECT
public:
    // message: the page's message bar, which shows the countdowns; a click on it cancels them.
    TJobQueueAutomation(TJobQueueFrame& frame, QLabel* message, QWidget* parent);
    ~TJobQueueAutomation() override;

    void LoadAutomationOptions();
    void SaveAutomationOptions();
    void InitCommandLinePopupMenu();
    void UpdateLanguageLabels();

    void StartCountdown(int32_t kind);
    void StopCountdown();
    void CountdownTimerTimer();
    int32_t CountdownKind() const { return countdownKind_; }
    int32_t CountdownSeconds() const { return countdownSeconds_; }
    bool IsCountdownRunning() const;

    // The program of the command line for a job that ended; True when one was started (the
    // after-job step then runs when the wait for it ends).
    bool RunJobStoppedApp(int32_t jobID, const std::string& startPage);
    // First step of the after-job step: the shut-down countdown after the last job, and flashing.
    void BeforeAfterJob();
    // Last step: the next-job countdown when the job ended normally and another waits.
    void AfterJobNext(bool endedNormally);
    void TryToShutdownWindows();

    // Replaces the shut-down service (tests).
    void SetShutdownService(std::unique_ptr<TSystemShutdown> service);

    bool StartJobsAutomatically() const;
    bool SaveToUniqueSubfolder() const;
    bool RemoveCompletedJobs() const;

    QCheckBox* StartJobsAutomaticallyBox() const { return startJobsAutomatically_; }
    QCheckBox* SaveToUniqueSubfolderBox() const { return saveToUniqueSubfolder_; }
    QCheckBox* ShutdownWhenAllJobsCompletedBox() const { return shutdownWhenAllJobsCompleted_; }
    QComboBox* ShutdownTypeBox() const { return shutdownType_; }
    QCheckBox* RunAppOnJobCompletionBox() const { return runAppOnJobCompletion_; }
    QLineEdit* JobCompletionCommandLineEdit() const { return jobCompletionCommandLine_; }
    QCheckBox* RemoveCompletedJobsBox() const { return removeCompletedJobs_; }
    QMenu* CommandLinePopupMenu() const { return commandLinePopupMenu_; }
    const std::string& CompletionCommandText() const { return completionCommandText_; }
    bool IsWaitingForProcess() const { return completionProcess_.Valid(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OptionChanged();
    void StartJobsAutomaticallyClick();
    void RemoveCompletedJobsClick();
    void ShowCountdownMessage(const QString& text);
    bool IsModalDialogShowing() const;
    void SetEscapeWatch(bool on);

    TJobQueueFrame& frame_;
    QLabel* timerMessage_;
    QTimer* countdownTimer_ = nullptr;
    QCheckBox* startJobsAutomatically_ = nullptr;
    QCheckBox* saveToUniqueSubfolder_ = nullptr;
    QCheckBox* shutdownWhenAllJobsCompleted_ = nullptr;
    QComboBox* shutdownType_ = nullptr;
    QCheckBox* runAppOnJobCompletion_ = nullptr;
    QLineEdit* jobCompletionCommandLine_ = nullptr;
    QToolButton* commandLineToolBar_ = nullptr;
    QMenu* commandLinePopupMenu_ = nullptr;
    QCheckBox* removeCompletedJobs_ = nullptr;

    int32_t countdownKind_ = ckNone;
    int32_t countdownSeconds_ = 0;
    int32_t countdownStartNextJob_ = 5;
    int32_t countdownShutdown_ = 10;
    int32_t countdownWaitForProcess_ = 60;
    bool loadingOptions_ = false;
    bool escapeDown_ = false;
    bool escapeWatch_ = false;
    std::string completionCommandText_;
    TProcessHandle completionProcess_;
    std::vector<std::string> commandLinePresets_;
    std::vector<int> presetStringIds_;
    std::unique_ptr<TSystemShutdown> shutdown_;
};
