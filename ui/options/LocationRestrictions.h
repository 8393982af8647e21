#pragma once
// Job option page: where files may come from (folder, server, anywhere) and how far from the
// starting address.
#include "ui/options/JobOptionPage.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class TLocationRestrictionsFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TLocationRestrictionsFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;
    // Shows the starting address's folder and server beside the first two choices.
    void UpdateLocationLabels();

    QRadioButton* CopyAllInFolder() const { return copyAllInFolder_; }
    QRadioButton* CopyAllAtServer() const { return copyAllAtServer_; }
    QRadioButton* CopyAll() const { return copyAll_; }
    QRadioButton* RuleAppliesToWebPagesOnly() const { return ruleAppliesToWebPagesOnly_; }
    QRadioButton* RuleAppliesToAllFiles() const { return ruleAppliesToAllFiles_; }
    QRadioButton* MaxDistanceRadio() const { return maxDistanceRadio_; }
    QRadioButton* NoMaxDistance() const { return noMaxDistance_; }
    QLineEdit* MaxDistanceEdit() const;
    QLabel* ThisFolderLabel() const { return thisFolderLabel_; }
    QLabel* ThisServerLabel() const { return thisServerLabel_; }

private:
    QGroupBox* folderExplorationGroup_;
    QRadioButton* copyAllInFolder_;
    QRadioButton* copyAllAtServer_;
    QRadioButton* copyAll_;
    QLabel* thisFolderLabel_;
    QLabel* thisServerLabel_;
    QRadioButton* ruleAppliesToWebPagesOnly_;
    QRadioButton* ruleAppliesToAllFiles_;
    QGroupBox* depthExplorationGroup_;
    QRadioButton* maxDistanceRadio_;
    QRadioButton* noMaxDistance_;
    QSpinBox* maxDistanceUpDown_;  // the edit and its up-down in one control
};
