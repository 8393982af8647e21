#pragma once
// Job option page: agent name (with its history), referrer, pause, simultaneous downloads and
// the remaining switches of a job.
#include "ui/options/JobOptionPage.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QSpinBox;

class TAdditionalOptionsFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TAdditionalOptionsFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    void AddAgentNameToHistory();
    void ClearAgentNameHistory();
    // Empty referrer: the job's starting address without user, password and fragment.
    void ReferrerAddressDblClick();

    static std::string GetDefaultAgentName();

    QComboBox* AgentNameHistory() const { return agentNameHistory_; }
    QLineEdit* ReferrerAddress() const { return referrerAddress_; }
    QLineEdit* PauseSeconds() const;
    QLineEdit* SimultaneousDownloads() const;
    QSpinBox* SimultaneousDownloadsUpDown() const { return simultaneousDownloadsUpDown_; }
    QCheckBox* HonorMetaNoFollowTags() const { return honorMetaNoFollowTags_; }
    QCheckBox* SaveQueryResults() const { return saveQueryResults_; }
    QCheckBox* AllowAuthentication() const { return allowAuthentication_; }
    QCheckBox* PruneEmptyFolders() const { return pruneEmptyFolders_; }
    QCheckBox* AddMarkOfTheWeb() const { return addMarkOfTheWeb_; }
    QCheckBox* KeepRewrittenInputFiles() const { return keepRewrittenInputFiles_; }
    QCheckBox* AssumeWWW() const { return assumeWWW_; }
    QCheckBox* AddShellExtensions() const { return addShellExtensions_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* agentNameLabel_;
    QComboBox* agentNameHistory_;
    QLabel* referrerLabel_;
    QLineEdit* referrerAddress_;
    QLabel* pauseBetweenDownloadsLabel_;
    QSpinBox* pauseUpDown_;
    QLabel* simultaneousDownloadsLabel_;
    QSpinBox* simultaneousDownloadsUpDown_;
    QCheckBox* honorMetaNoFollowTags_;
    QCheckBox* saveQueryResults_;
    QCheckBox* allowAuthentication_;
    QCheckBox* pruneEmptyFolders_;
    QCheckBox* addMarkOfTheWeb_;
    QCheckBox* keepRewrittenInputFiles_;
    QCheckBox* assumeWWW_;
    QCheckBox* addShellExtensions_;
    // The numbers the last load showed, and the job's values behind them.
    struct TLoaded {
        QString pause;
        int32_t pauseSeconds;
        QString threads;
        int32_t threadCount;
    };
    std::optional<TLoaded> loaded_;
};
