#pragma once
// The General preference page: job priority, stay on top, tray, friendly results, job log,
// and the way to the tip of the day.
#include <QFrame>

#include <cstdint>
#include <functional>

class TPreferencesHost;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class TPreferencesGeneralFrame : public QFrame {
    Q_OBJECT
public:
    // Sets the process's priority class; False (last error set) on failure.
    using TPrioritySetter = std::function<bool(int32_t priorityClass)>;

    explicit TPreferencesGeneralFrame(QWidget* parent = nullptr, TPreferencesHost* host = nullptr);

    // Tests replace the real priority change.
    void SetPrioritySetter(TPrioritySetter setter) { setPriority_ = std::move(setter); }

    void LoadGeneralPreferences();
    void UpdateLanguageLabels();

    QComboBox* ProcessPriorityCombo() const { return processPriorityCombo_; }
    QCheckBox* StayOnTop() const { return stayOnTop_; }
    QCheckBox* MinimizeToTaskbar() const { return minimizeToTaskbar_; }
    QCheckBox* ShowFriendlyDownloadResults() const { return showFriendlyDownloadResults_; }
    QCheckBox* JobLoggingEnabled() const { return jobLoggingEnabled_; }
    QPushButton* ShowTipOfTheDayBtn() const { return showTipOfTheDayBtn_; }

private:
    // Stores the state of box under key unless the page is loading.
    void SaveBox(const char* key, const QCheckBox* box);
    void StayOnTopClick();
    void MinimizeToTaskbarClick();
    void ProcessPriorityComboChange();
    void JobLoggingEnabledClick();
    void ShowFriendlyDownloadResultsClick();
    void ShowTipOfTheDayBtnClick();

    TPreferencesHost* host_;
    bool loading_ = false;
    TPrioritySetter setPriority_;
    QLabel* processPriorityLabel_;
    QComboBox* processPriorityCombo_;
    QCheckBox* stayOnTop_;
    QCheckBox* minimizeToTaskbar_;
    QCheckBox* showFriendlyDownloadResults_;
    QCheckBox* jobLoggingEnabled_;
    QPushButton* showTipOfTheDayBtn_;
};
