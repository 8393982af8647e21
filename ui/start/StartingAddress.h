#pragma once
// The starting-address page of the job editor (name, address, folder, folder layout) with its
// drop-down histories, and the folder helpers the queue shares.
#include "ui/options/JobOptionPage.h"

#include <QString>

#include <string>

class TStartHost;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// The user's documents folder (not created), or empty when there is none.
std::string GetMyDocumentsFolder();

// True when folder exists, or when the user agreed to create it and it was created.
// An empty folder gives False without a question.
bool TryToEnsureFolderExists(QWidget* owner, const std::string& folder);

// The address as the histories keep it: without user name and password.
std::string AddressForHistory(const std::string& text);

class TStartingAddressFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TStartingAddressFrame(TCopyJob& job, QWidget* parent = nullptr, TStartHost* host = nullptr);
    ~TStartingAddressFrame() override;

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    void SetStartingAddress(const std::string& address, bool focus);
    void SetJobName(const std::string& name);
    void FocusJobName();

    void ClearHistories();
    void AddToHistories();
    void PopulateHistoryLists();
    void PopulateHistoryListsWithDefaults();

    // The checks when the focus leaves the folder box: drive roots, missing folders. A text
    // already checked is not checked again. True when the folder was missing and the user had
    // it created.
    bool DestinationFolderExit();

    QLineEdit* JobName() const { return jobName_; }
    QComboBox* StartingAddressHistory() const { return startingAddressHistory_; }
    QComboBox* DestinationFolderHistory() const { return destinationFolderHistory_; }
    QRadioButton* FlatDestinationFolder() const { return flatDestinationFolder_; }
    QRadioButton* TreeDestinationFolder() const { return treeDestinationFolder_; }
    QCheckBox* FixLinks() const { return fixLinks_; }
    QCheckBox* UpdateOldFiles() const { return updateOldFiles_; }

private:
    void FocusChanged(QWidget* old, QWidget* now);
    void FlatDestinationFolderClick();
    void TreeDestinationFolderClick();
    void BrowseDestinationButtonClick();
    void ExploreDestinationButtonClick();
    void PasswordButtonClick();

    TStartHost* host_;
    QLabel* jobNameLabel_;
    QLabel* startingAddressLabel_;
    QLabel* destinationFolderLabel_;
    QLineEdit* jobName_;
    QComboBox* startingAddressHistory_;
    QToolButton* passwordButton_;
    QComboBox* destinationFolderHistory_;
    QToolButton* browseDestinationButton_;
    QToolButton* exploreDestinationButton_;
    QRadioButton* flatDestinationFolder_;
    QRadioButton* treeDestinationFolder_;
    QCheckBox* fixLinks_;
    QCheckBox* updateOldFiles_;
    QString checkedFolder_;  // the folder box's text after its last check
    bool checkingFolder_ = false;
    QMetaObject::Connection focusConnection_;
};
