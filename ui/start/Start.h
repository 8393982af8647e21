#pragma once
// The Start page: the job editor. It owns the one edited job, shows its option pages beside a
// tree of their captions, and offers templates, opening and saving job files, and the start
// button that hands the job to the queue.
#include "engine/job/JobTypes.h"

#include <QFrame>

#include <array>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class TJobOptionPage;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;
class TAdditionalOptionsFrame;
class TJobProtocolsFrame;
class TLocationRestrictionsFrame;
class TStartHost;
class TStartingAddressFrame;

class TStartFrame : public QFrame {
    Q_OBJECT
public:
    static constexpr int PageCount = 12;

    explicit TStartFrame(QWidget* parent = nullptr, TStartHost* host = nullptr);
    ~TStartFrame() override;

    void Initialize(TSpiderOutputSplitterForm* splitter);
    void UpdateLanguageLabels();
    void UpdateStartButton();

    void SetAddressForEdit(const std::string& address);
    int StartJobForAddress(const std::string& address, const std::string& jobName);
    // A job for each address, in order, as StartJobForAddress with no name would make it, added
    // as one lot; stops at the first refusal because the queue is full. The last answer.
    int StartJobsForAddresses(const std::vector<std::string>& addresses);
    bool LoadJobFile(const std::string& path, bool addToRecent, bool showForEditing);
    void EditCopyJob(const TCopyJob& job);
    // Save Job without its file dialog: the pages' values, normalised as a started job is.
    bool SaveJobToFile(const std::string& fileName);
    // Saves the pages into the job and hands a copy to the queue; the queue's answer.
    int StartJob();
    void ClearHistory();

    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);

    void ResetJobDefaults();
    void ShowDetailsButtonClick();
    void ShowPage(const QString& caption);
    void PopulateTemplatesPopup();
    void OnTemplateMenuItemClick(int index);

    TCopyJob& Job() { return job_; }
    TStartingAddressFrame* StartingAddressPage() const { return startingAddress_; }
    TJobOptionPage* OptionPage(int index) const { return pages_.at(index); }
    QPushButton* StartJobButton() const { return startJobButton_; }
    QToolButton* JobCommandsBtn() const { return jobCommandsBtn_; }
    QTreeWidget* StartFramesTree() const { return startFramesTree_; }
    QMenu* TemplatesPopupMenu() const { return templatesPopupMenu_; }
    const std::vector<std::string>& TemplateFiles() const { return templateFiles_; }
    // The page shown, or -1 while the tip shows.
    int ShownPage() const;
    bool IsTipShown() const;

private:
    void LoadPageCaptions();
    void RebuildPageTree();
    void StartFramesTreeChange();
    void UpdateDetailsButton();
    void RestoreDetailsVisibility();
    void SaveDetailsVisibility();
    void ShowFirstPageForEdit();
    void LoadPagesFromJob();
    void SavePagesToJob();
    void PrepareJob();
    void OpenJobClick();
    void SaveJobClick();
    void TemplatesButtonClick();
    void JobCommandsBtnClick();
    std::string TemplatesFolder() const;

    TStartHost* host_;
    TCopyJob job_;
    std::array<TJobOptionPage*, PageCount> pages_{};
    std::array<QString, PageCount> captions_;
    TStartingAddressFrame* startingAddress_ = nullptr;
    TLocationRestrictionsFrame* locationRestrictions_ = nullptr;
    TJobProtocolsFrame* jobProtocols_ = nullptr;
    TAdditionalOptionsFrame* additionalOptions_ = nullptr;
    std::vector<std::string> templateFiles_;
    bool jobRunning_ = false;
    bool restoring_ = false;
    bool jobShown_ = false;

    QToolButton* templatesButton_ = nullptr;
    QToolButton* showDetailsButton_ = nullptr;
    QTreeWidget* startFramesTree_ = nullptr;
    QPushButton* startJobButton_ = nullptr;
    QToolButton* jobCommandsBtn_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    QLabel* startTip_ = nullptr;
    QMenu* jobPopupMenu_ = nullptr;
    QMenu* templatesPopupMenu_ = nullptr;
    QAction* resetDefaultsMenuItem_ = nullptr;
    QAction* openJobMenuItem_ = nullptr;
    QAction* saveJobMenuItem_ = nullptr;
};
