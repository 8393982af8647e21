#include "ui/start/Start.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "ui/options/AdditionalOptions.h"
#include "ui/options/Cookies.h"
#include "ui/options/FileCountAndSize.h"
#include "ui/options/FindReplaceTasks.h"
#include "ui/options/HTMLHeader.h"
#include "ui/options/JobDLTime.h"
#include "ui/options/JobOptionPage.h"
#include "ui/options/JobProtocols.h"
#include "ui/queue/JobQueue.h"
#include "ui/options/ListRestrictions.h"
#include "ui/options/LocationRestrictions.h"
#include "ui/start/StartHost.h"
#include "ui/common/MessageBoxes.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "Start";
const int kFirstCaptionId = 37;  // 37..48, one per page in table order
const char* const kJobFileFilter = "Gleanery Job file (*.gcj *.GCJ)";

}  // namespace

TStartFrame::TStartFrame(QWidget* parent, TStartHost* host) : QFrame(parent), host_(host)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* panel = new QFrame(this);
    panel->setFixedWidth(200);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setSpacing(4);
    auto* topRow = new QHBoxLayout;
    templatesButton_ = new QToolButton(panel);
    templatesButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    templatesButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    showDetailsButton_ = new QToolButton(panel);
    topRow->addWidget(templatesButton_, 1);
    topRow->addWidget(showDetailsButton_);
    panelLayout->addLayout(topRow);
    startFramesTree_ = new QTreeWidget(panel);
    startFramesTree_->setHeaderHidden(true);
    startFramesTree_->setRootIsDecorated(false);
    startFramesTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    panelLayout->addWidget(startFramesTree_, 1);
    auto* startRow = new QHBoxLayout;
    startJobButton_ = new QPushButton(panel);
    jobCommandsBtn_ = new QToolButton(panel);
    jobCommandsBtn_->setArrowType(Qt::DownArrow);
    jobCommandsBtn_->setFixedWidth(18);
    startRow->addWidget(startJobButton_, 1);
    startRow->addWidget(jobCommandsBtn_);
    panelLayout->addLayout(startRow);
    panelLayout->addStretch(0);
    layout->addWidget(panel);

    pageStack_ = new QStackedWidget(this);
    startTip_ = new QLabel(pageStack_);
    startTip_->setWordWrap(true);
    startTip_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    startTip_->setMargin(12);
    pageStack_->addWidget(startTip_);
    startingAddress_ = new TStartingAddressFrame(job_, pageStack_, host_);
    locationRestrictions_ = new TLocationRestrictionsFrame(job_, pageStack_);
    jobProtocols_ = new TJobProtocolsFrame(job_, pageStack_);
    additionalOptions_ = new TAdditionalOptionsFrame(job_, pageStack_);
    pages_ = {startingAddress_,
              locationRestrictions_,
              new TAddressRestrictionsFrame(job_, pageStack_),
              new TFileCountAndSizeFrame(job_, pageStack_),
              new TFileExtensionsFrame(job_, pageStack_),
              new TMimeTypesFrame(job_, pageStack_),
              jobProtocols_,
              new TJobDLTimeFrame(job_, pageStack_),
              new TFindReplaceTasksFrame(job_, pageStack_),
              new THTMLHeaderFrame(job_, pageStack_),
              new TCookiesFrame(job_, pageStack_),
              additionalOptions_};
    for (TJobOptionPage* page : pages_)
        pageStack_->addWidget(page);
    layout->addWidget(pageStack_, 1);

    jobPopupMenu_ = new QMenu(this);
    resetDefaultsMenuItem_ = jobPopupMenu_->addAction(style()->standardIcon(QStyle::SP_BrowserReload), QString());
    openJobMenuItem_ = jobPopupMenu_->addAction(style()->standardIcon(QStyle::SP_DialogOpenButton), QString());
    saveJobMenuItem_ = jobPopupMenu_->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QString());
    templatesPopupMenu_ = new QMenu(this);

    connect(resetDefaultsMenuItem_, &QAction::triggered, this, &TStartFrame::ResetJobDefaults);
    connect(openJobMenuItem_, &QAction::triggered, this, &TStartFrame::OpenJobClick);
    connect(saveJobMenuItem_, &QAction::triggered, this, &TStartFrame::SaveJobClick);
    connect(templatesButton_, &QToolButton::clicked, this, &TStartFrame::TemplatesButtonClick);
    connect(showDetailsButton_, &QToolButton::clicked, this, &TStartFrame::ShowDetailsButtonClick);
    connect(jobCommandsBtn_, &QToolButton::clicked, this, &TStartFrame::JobCommandsBtnClick);
    connect(startJobButton_, &QPushButton::clicked, this, [this] { StartJob(); });
    connect(startFramesTree_, &QTreeWidget::itemSelectionChanged, this, &TStartFrame::StartFramesTreeChange);
    for (QToolButton* b : {templatesButton_, showDetailsButton_}) {
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, this,
                [this, b](const QPoint& pos) { templatesPopupMenu_->popup(b->mapToGlobal(pos)); });
    }
    jobCommandsBtn_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(jobCommandsBtn_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { jobPopupMenu_->popup(jobCommandsBtn_->mapToGlobal(pos)); });

    startFramesTree_->show();
    LoadPageCaptions();
    if (startFramesTree_->topLevelItemCount() > 0)
        startFramesTree_->setCurrentItem(startFramesTree_->topLevelItem(0));
    UpdateDetailsButton();
}

TStartFrame::~TStartFrame() = default;

void TStartFrame::Initialize(TSpiderOutputSplitterForm* splitter)
{
    bool registered = splitter && splitter->RegisterForSpiderOutput(
                                      kStartPageOutputMask,
                                      [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
    if (!registered)
        LogEvent(etWarning, "", "RegisterForSpiderOutput", kUnit);
    std::string lastJob = LastJobFileName();
    if (HistoryEnabled() && SafeFileExists(lastJob))
        LoadJobFile(lastJob, false, false);
    else
        ResetJobDefaults();
    jobProtocols_->ShowHTTPSOption();
    startingAddress_->PopulateHistoryListsWithDefaults();
    RestoreDetailsVisibility();
}

void TStartFrame::LoadPageCaptions()
{
    for (int i = 0; i < PageCount; ++i)
        captions_[i] = QUIString(kFirstCaptionId + i);
    RebuildPageTree();
}

void TStartFrame::RebuildPageTree()
{
    QTreeWidgetItem* current = startFramesTree_->currentItem();
    int selected = current && current->isSelected() ? startFramesTree_->indexOfTopLevelItem(current) : -1;
    {
        QSignalBlocker block(startFramesTree_);
        startFramesTree_->clear();
        for (const QString& caption : captions_)
            startFramesTree_->addTopLevelItem(new QTreeWidgetItem(QStringList{caption}));
    }
    if (selected >= 0 && selected < startFramesTree_->topLevelItemCount())
        startFramesTree_->setCurrentItem(startFramesTree_->topLevelItem(selected));
}

void TStartFrame::ShowPage(const QString& caption)
{
    for (int i = 0; i < PageCount; ++i)
        if (!caption.isEmpty() && captions_[i] == caption) {
            pageStack_->setCurrentIndex(i + 1);
            return;
        }
    pageStack_->setCurrentIndex(0);
}

int TStartFrame::ShownPage() const
{
    return pageStack_->currentIndex() - 1;
}

bool TStartFrame::IsTipShown() const
{
    return pageStack_->currentIndex() == 0;
}

void TStartFrame::StartFramesTreeChange()
{
    if (startFramesTree_->isHidden())
        return;
    QTreeWidgetItem* item = startFramesTree_->currentItem();
    if (item && item->isSelected()) {
        ShowPage(item->text(0));
        if (startFramesTree_->indexOfTopLevelItem(item) == 1)
            locationRestrictions_->UpdateLocationLabels();
    } else {
        ShowPage(QString());
    }
}

void TStartFrame::UpdateDetailsButton()
{
    bool shown = !startFramesTree_->isHidden();
    showDetailsButton_->setText(shown ? "<<" : ">>");
    showDetailsButton_->setToolTip(QUIString(shown ? 57 : 56));
}

void TStartFrame::ShowDetailsButtonClick()
{
    QTreeWidgetItem* first = startFramesTree_->topLevelItem(0);
    if (!startFramesTree_->isHidden()) {
        if (first)
            startFramesTree_->setCurrentItem(first);
        startFramesTree_->hide();
        if (!jobShown_) {
            ShowPage(QString());
            startJobButton_->hide();
            jobCommandsBtn_->hide();
        }
    } else {
        startFramesTree_->show();
        if (first) {
            startFramesTree_->setCurrentItem(first);
            ShowPage(first->text(0));
        }
        startJobButton_->show();
        jobCommandsBtn_->show();
    }
    UpdateDetailsButton();
    if (!restoring_)
        SaveDetailsVisibility();
}

void TStartFrame::RestoreDetailsVisibility()
{
    restoring_ = true;
    if (!ReadSettingBool("Preferences", "ShowJobDetails", false) && !startFramesTree_->isHidden())
        ShowDetailsButtonClick();
    restoring_ = false;
}

void TStartFrame::SaveDetailsVisibility()
{
    WriteSettingBool("Preferences", "ShowJobDetails", !startFramesTree_->isHidden());
}

void TStartFrame::ShowFirstPageForEdit()
{
    if (QTreeWidgetItem* first = startFramesTree_->topLevelItem(0)) {
        startFramesTree_->setCurrentItem(first);
        ShowPage(first->text(0));
        startingAddress_->FocusJobName();
    }
    startJobButton_->show();
    jobCommandsBtn_->show();
}

void TStartFrame::LoadPagesFromJob()
{
    for (TJobOptionPage* page : pages_)
        page->LoadFromCopyJob();
}

void TStartFrame::SavePagesToJob()
{
    for (TJobOptionPage* page : pages_)
        page->SaveToCopyJob();
}

void TStartFrame::ResetJobDefaults()
{
    job_.Clear();
    LoadPagesFromJob();
}

bool TStartFrame::LoadJobFile(const std::string& path, bool addToRecent, bool showForEditing)
{
    (void)addToRecent;
    if (!job_.ReadJobFile(path)) {
        ShowMessageBox(this, QUIString(233), QUIString(233), TBoxIcon::Warning);
        return false;
    }
    LoadPagesFromJob();
    if (showForEditing) {
        jobShown_ = true;
        ShowFirstPageForEdit();
    }
    return true;
}

void TStartFrame::EditCopyJob(const TCopyJob& job)
{
    job_.Assign(job);
    // A run's subfolder stays with that run; the edited job goes to the folder the user chose.
    job_.SetDestinationFolder(job_.DestinationFolder);
    LoadPagesFromJob();
    jobShown_ = true;
    ShowFirstPageForEdit();
}

void TStartFrame::SetAddressForEdit(const std::string& address)
{
    QTreeWidgetItem* first = startFramesTree_->topLevelItem(0);
    if (!first)
        return;
    if (host_)
        host_->MoveFocusToPageByStringId(19);
    startFramesTree_->setCurrentItem(first);
    ShowPage(first->text(0));
    startingAddress_->SetStartingAddress(address, true);
}

int TStartFrame::StartJobForAddress(const std::string& address, const std::string& jobName)
{
    startingAddress_->SetJobName(jobName);
    startingAddress_->SetStartingAddress(address, false);
    return StartJob();
}

int TStartFrame::StartJobsForAddresses(const std::vector<std::string>& addresses)
{
    TJobQueueFrame* queue = host_ ? host_->JobQueue() : nullptr;
    if (!queue || addresses.empty())
        return 2;
    // The histories end as one start per address would leave them: only the most recent
    // addresses stay, so only those are added.
    size_t keep = TSavedOptions::MaxMaxHistoryLength;
    if (TSavedOptions* options = TSavedOptions::Instance(); options && options->GetMaxHistoryLength() > 0)
        keep = static_cast<size_t>(options->GetMaxHistoryLength());
    startingAddress_->SetJobName("");
    for (size_t i = addresses.size() > keep ? addresses.size() - keep : 0; i + 1 < addresses.size(); ++i) {
        startingAddress_->SetStartingAddress(addresses[i], false);
        startingAddress_->AddToHistories();
    }
    startingAddress_->SetStartingAddress(addresses.back(), false);
    PrepareJob();
    const TCopyJob pageJob = job_;
    TJobQueueFrame::TAddBatch batch(*queue);
    int result = 2;
    for (const std::string& address : addresses) {
        TCopyJob job = pageJob;
        job.StartingWebAddress.SetFullURL(TrimText(address));
        job.Normalize();
        result = queue->AddNewJob(job);
        if (result == 1)
            break;
    }
    return result;
}

void TStartFrame::PrepareJob()
{
    SavePagesToJob();
    startingAddress_->AddToHistories();
    additionalOptions_->AddAgentNameToHistory();
    job_.Normalize();
    if (HistoryEnabled())
        job_.WriteJobFile(LastJobFileName());
}

int TStartFrame::StartJob()
{
    PrepareJob();
    TJobQueueFrame* queue = host_ ? host_->JobQueue() : nullptr;
    return queue ? queue->AddNewJob(job_) : 2;
}

void TStartFrame::ClearHistory()
{
    startingAddress_->ClearHistories();
    additionalOptions_->ClearAgentNameHistory();
}

void TStartFrame::UpdateStartButton()
{
    startJobButton_->setEnabled(GetShowJobQueue() || !jobRunning_);
}

void TStartFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label)
{
    (void)label;
    if (msg.FMsgType == OUTMSG_JOB_STARTED)
        jobRunning_ = true;
    else if (msg.FMsgType == OUTMSG_JOB_ENDED)
        jobRunning_ = false;
    UpdateStartButton();
}

void TStartFrame::UpdateLanguageLabels()
{
    LoadPageCaptions();
    UpdateDetailsButton();
    PopulateTemplatesPopup();
    ApplyLanguageFont(this);
    startTip_->setText(QUIString(54));
    templatesButton_->setText(QUIString(55));
    openJobMenuItem_->setText(QUIString(49));
    saveJobMenuItem_->setText(QUIString(50));
    startJobButton_->setText(QUIString(GetShowJobQueue() ? 51 : 52));
    resetDefaultsMenuItem_->setText(QUIString(53));
    for (TJobOptionPage* page : pages_)
        page->UpdateLanguageLabels();
}

std::string TStartFrame::TemplatesFolder() const
{
    return UIDataFolder() + "Templates";
}

void TStartFrame::PopulateTemplatesPopup()
{
    try {
        std::string folder = TemplatesFolder();
        if (!QFileInfo(QStr(folder)).isDir()) {
            SafeForceDirectories(folder);
            WriteDefaultJobTemplates(folder + "/");
        }
        templateFiles_.clear();
        templatesPopupMenu_->clear();
        QDir dir(QStr(folder));
        const QFileInfoList entries =
            dir.entryInfoList({"*.GCJ"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
        int n = 0;
        for (const QFileInfo& entry : entries) {
            templateFiles_.push_back(entry.absoluteFilePath().toStdString());
            QString caption = entry.fileName().chopped(4);
            QAction* item = templatesPopupMenu_->addAction(QString(caption).replace("&", "&&"));
            item->setObjectName("MenuItem" + QString::number(n));
            item->setData(caption);
            int index = n++;
            connect(item, &QAction::triggered, this, [this, index] { OnTemplateMenuItemClick(index); });
        }
        templatesPopupMenu_->addSeparator()->setObjectName("MenuItem" + QString::number(n));
        QAction* openFolder = templatesPopupMenu_->addAction(QUIString(61));
        openFolder->setObjectName("MenuItem" + QString::number(n + 1));
        openFolder->setData(QUIString(61));
        int index = n + 1;
        connect(openFolder, &QAction::triggered, this, [this, index] { OnTemplateMenuItemClick(index); });
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PopulateTemplatesPopup", kUnit);
    }
}

void TStartFrame::OnTemplateMenuItemClick(int index)
{
    const QList<QAction*> items = templatesPopupMenu_->actions();
    if (index < 0 || index >= items.size())
        return;
    if (items[index]->data().toString() == QUIString(61)) {
        TryShellExecute(this, TemplatesFolder(), "explore");
        return;
    }
    if (index < static_cast<int>(templateFiles_.size()))
        LoadJobFile(templateFiles_[index], false, true);
}

void TStartFrame::TemplatesButtonClick()
{
    QPoint mouse = templatesButton_->mapFromGlobal(QCursor::pos());
    if (templatesButton_->rect().contains(mouse))
        templatesPopupMenu_->popup(QCursor::pos());
    else
        templatesPopupMenu_->popup(templatesButton_->mapToGlobal(templatesButton_->rect().bottomRight()));
}

void TStartFrame::JobCommandsBtnClick()
{
    jobPopupMenu_->popup(QCursor::pos());
}

void TStartFrame::OpenJobClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("GCJ");
    dialog.setNameFilter(kJobFileFilter);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        LoadJobFile(dialog.selectedFiles().first().toStdString(), true, true);
}

bool TStartFrame::SaveJobToFile(const std::string& fileName)
{
    SavePagesToJob();
    // Saved as Download Now would send it: "only these" with an empty list is stored as unused.
    TCopyJob saved;
    saved.Assign(job_);
    saved.Normalize();
    return saved.WriteJobFile(fileName);
}

void TStartFrame::SaveJobClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("GCJ");
    dialog.setNameFilter(kJobFileFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    if (!SaveJobToFile(dialog.selectedFiles().first().toStdString()))
        ShowMessageBox(this, QUIString(234), QUIString(234), TBoxIcon::Warning);
    startingAddress_->AddToHistories();
    additionalOptions_->AddAgentNameToHistory();
}
