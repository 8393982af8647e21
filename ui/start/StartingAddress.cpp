#include "ui/start/StartingAddress.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/LanguageStrings.h"
#include "engine/job/JobTypes.h"
#include "engine/services/SavedOptions.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "ui/start/StartHost.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "StartingAddress";

void FillCombo(QComboBox* box, const std::vector<std::string>& items)
{
    box->clear();
    for (const std::string& item : items)
        box->addItem(QStr(item));
}

// A small key: the site passwords.
QIcon KeyIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x8d, 0x6e, 0x00), 2));
    painter.drawEllipse(QPointF(4.5, 8), 3, 3);
    painter.drawLine(QPointF(7.5, 8), QPointF(15, 8));
    painter.drawLine(QPointF(12, 8), QPointF(12, 11));
    painter.drawLine(QPointF(14.5, 8), QPointF(14.5, 11));
    return QIcon(pixmap);
}

QComboBox* MakeHistoryBox(QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

// "Unable to create folder." and why.
void ShowCreateFolderError(QWidget* owner, const std::string& reason)
{
    ShowMessageBox(owner, QUIString(76) + "\n\n" + QStr(reason), QUIString(75), TBoxIcon::Warning);
}

}  // namespace

std::string GetMyDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

bool TryToEnsureFolderExists(QWidget* owner, const std::string& folder)
{
    if (folder.empty())
        return false;
    const QFileInfo info(QStr(folder));
    if (info.isDir())
        return true;
    // A file of that name: no folder can be made there, so none is offered.
    if (info.exists()) {
        ShowCreateFolderError(owner, GetErrorText(errc::AlreadyExists));
        return false;
    }
    if (!ShowMessageBox(owner, QStr(ReplaceFirst(UIString(74), "XXX", folder)), QUIString(73), TBoxIcon::Question,
                        true))
        return false;
    try {
        if (SafeForceDirectories(folder))
            return true;
        const std::string reason = GetLastErrorText();
        LogAPIError("ForceDirectories " + folder, "TryToEnsureFolderExists", kUnit);
        ShowCreateFolderError(owner, reason);
    } catch (const std::exception& e) {
        LogEvent(etException, "Cannot create " + folder + " (" + e.what() + ")", "TryToEnsureFolderExists", kUnit);
        ShowCreateFolderError(owner, e.what());
    }
    return false;
}

std::string AddressForHistory(const std::string& text)
{
    TURL url;
    if (url.SetFullURL(TrimSpaceAndTab(text))) {
        if (url.IsUserInfoEmpty())
            return text;
        url.ClearUserInfo();
        return url.GetFullURL();
    }
    // Not an address we can parse: still never keep what looks like "user:password@".
    std::string t = text;
    size_t scheme = t.find("://");
    size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = t.find_first_of("/?#", start);
    size_t at = t.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at != std::string::npos && at >= start)
        t.erase(start, at + 1 - start);
    return t;
}

TStartingAddressFrame::TStartingAddressFrame(TCopyJob& job, QWidget* parent, TStartHost* host)
    : TJobOptionPage(job, parent),
      host_(host),
      jobNameLabel_(new QLabel(this)),
      startingAddressLabel_(new QLabel(this)),
      destinationFolderLabel_(new QLabel(this)),
      jobName_(new QLineEdit(this)),
      startingAddressHistory_(MakeHistoryBox(this)),
      passwordButton_(new QToolButton(this)),
      destinationFolderHistory_(MakeHistoryBox(this)),
      browseDestinationButton_(new QToolButton(this)),
      exploreDestinationButton_(new QToolButton(this)),
      flatDestinationFolder_(new QRadioButton(this)),
      treeDestinationFolder_(new QRadioButton(this)),
      fixLinks_(new QCheckBox(this)),
      updateOldFiles_(new QCheckBox(this))
{
    passwordButton_->setIcon(KeyIcon());
    exploreDestinationButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    treeDestinationFolder_->setChecked(true);
    fixLinks_->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(jobNameLabel_);
    layout->addWidget(jobName_);
    layout->addWidget(startingAddressLabel_);
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(startingAddressHistory_, 1);
    addressRow->addWidget(passwordButton_);
    layout->addLayout(addressRow);
    layout->addWidget(destinationFolderLabel_);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(destinationFolderHistory_, 1);
    folderRow->addWidget(browseDestinationButton_);
    folderRow->addWidget(exploreDestinationButton_);
    layout->addLayout(folderRow);
    layout->addSpacing(8);
    layout->addWidget(flatDestinationFolder_);
    layout->addWidget(treeDestinationFolder_);
    auto* indented = new QVBoxLayout;
    indented->setContentsMargins(20, 0, 0, 0);
    indented->addWidget(fixLinks_);
    indented->addWidget(updateOldFiles_);
    layout->addLayout(indented);
    layout->addStretch(1);

    connect(flatDestinationFolder_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            FlatDestinationFolderClick();
    });
    connect(treeDestinationFolder_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            TreeDestinationFolderClick();
    });
    connect(browseDestinationButton_, &QToolButton::clicked, this, &TStartingAddressFrame::BrowseDestinationButtonClick);
    connect(exploreDestinationButton_, &QToolButton::clicked, this, &TStartingAddressFrame::ExploreDestinationButtonClick);
    connect(passwordButton_, &QToolButton::clicked, this, &TStartingAddressFrame::PasswordButtonClick);
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, &TStartingAddressFrame::FocusChanged);
    UpdateLanguageLabels();
}

TStartingAddressFrame::~TStartingAddressFrame()
{
    // Closing the window while it is destroyed moves the focus; the page is gone by then.
    disconnect(focusConnection_);
}

void TStartingAddressFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    jobNameLabel_->setText(QUIString(62));
    startingAddressLabel_->setText(QUIString(64));
    destinationFolderLabel_->setText(QUIString(65));
    browseDestinationButton_->setText(QUIString(66));
    browseDestinationButton_->setToolTip(QUIString(67));
    exploreDestinationButton_->setToolTip(QUIString(68));
    flatDestinationFolder_->setText(QUIString(69));
    treeDestinationFolder_->setText(QUIString(70));
    fixLinks_->setText(QUIString(71));
    updateOldFiles_->setText(QUIString(120));
    passwordButton_->setToolTip(QUIString(32));
}

void TStartingAddressFrame::SetStartingAddress(const std::string& address, bool focus)
{
    try {
        startingAddressHistory_->setEditText(QStr(address));
        if (focus && startingAddressHistory_->isEnabled() && startingAddressHistory_->isVisible())
            startingAddressHistory_->setFocus();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SetStartingAddress", kUnit);
    }
}

void TStartingAddressFrame::SetJobName(const std::string& name)
{
    jobName_->setText(QStr(name));
}

void TStartingAddressFrame::FocusJobName()
{
    if (jobName_->isEnabled() && jobName_->isVisible())
        jobName_->setFocus();
}

void TStartingAddressFrame::LoadFromCopyJob()
{
    try {
        jobName_->setText(QStr(job_.JobName));
        if (job_.StartingWebAddress.IsValid()) {
            std::vector<std::string> items = ReadHistory(THistoryKind::StartingAddress);
            MoveToTopOfList(job_.StartingWebAddress.GetFullURL(), items);
            FillCombo(startingAddressHistory_, items);
            startingAddressHistory_->setCurrentIndex(0);
        } else {
            startingAddressHistory_->setEditText(QString());
        }
        // The folder the user chose: a run's dated subfolder is the queue's business, and
        // showing it here would nest another one at every edit.
        const std::string& path = job_.DestinationFolder;
        if (!path.empty()) {
            std::vector<std::string> items = ReadHistory(THistoryKind::SaveFolder);
            MoveToTopOfList(path, items);
            FillCombo(destinationFolderHistory_, items);
            destinationFolderHistory_->setCurrentIndex(0);
        } else {
            destinationFolderHistory_->setEditText(QString());
        }
        fixLinks_->setChecked(job_.RewriteLinks);
        updateOldFiles_->setChecked(job_.DownloadOptions.UpdateOldFiles);
        // The layout's rule applies also when its button was checked already (no toggle then).
        if (job_.FlattenDestinationFolders) {
            flatDestinationFolder_->setChecked(true);
            FlatDestinationFolderClick();
        } else {
            treeDestinationFolder_->setChecked(true);
            TreeDestinationFolderClick();
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "TStartingAddressFrame.LoadFromCopyJob", kUnit);
    }
}

void TStartingAddressFrame::SaveToCopyJob()
{
    job_.JobName = TrimSpaceAndTab(StdStr(jobName_->text()));
    job_.StartingWebAddress.SetFullURL(TrimSpaceAndTab(StdStr(startingAddressHistory_->currentText())));
    job_.SetDestinationFolder(StdStr(destinationFolderHistory_->currentText()));
    job_.FlattenDestinationFolders = flatDestinationFolder_->isChecked();
    job_.RewriteLinks = fixLinks_->isChecked();
    job_.DownloadOptions.UpdateOldFiles = updateOldFiles_->isChecked();
}

void TStartingAddressFrame::FlatDestinationFolderClick()
{
    fixLinks_->setChecked(false);
    fixLinks_->setEnabled(false);
    updateOldFiles_->setChecked(false);
    updateOldFiles_->setEnabled(false);
}

void TStartingAddressFrame::TreeDestinationFolderClick()
{
    fixLinks_->setEnabled(true);
    updateOldFiles_->setEnabled(true);
}

void TStartingAddressFrame::PopulateHistoryLists()
{
    try {
        for (auto [box, kind] : {std::pair{startingAddressHistory_, THistoryKind::StartingAddress},
                                 std::pair{destinationFolderHistory_, THistoryKind::SaveFolder}}) {
            QString text = box->currentText();
            FillCombo(box, ReadHistory(kind));
            if (!text.isEmpty())
                box->setEditText(text);
            else if (box->count() > 0)
                box->setCurrentIndex(0);
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PopulateHistoryLists", kUnit);
    }
}

void TStartingAddressFrame::PopulateHistoryListsWithDefaults()
{
    PopulateHistoryLists();
    if (ReadHistory(THistoryKind::StartingAddress).empty() && startingAddressHistory_->currentText().isEmpty())
        startingAddressHistory_->setEditText("http://");
    if (ReadHistory(THistoryKind::SaveFolder).empty() && destinationFolderHistory_->currentText().isEmpty())
        destinationFolderHistory_->setEditText(QStr(GetMyDocumentsFolder()));
}

void TStartingAddressFrame::AddToHistories()
{
    AddToHistory(THistoryKind::StartingAddress, AddressForHistory(StdStr(startingAddressHistory_->currentText())));
    AddToHistory(THistoryKind::SaveFolder, StdStr(destinationFolderHistory_->currentText()));
    PopulateHistoryLists();
}

void TStartingAddressFrame::ClearHistories()
{
    startingAddressHistory_->clear();
    startingAddressHistory_->setEditText(QString());
    destinationFolderHistory_->clear();
    destinationFolderHistory_->setEditText(QString());
    EraseHistory(THistoryKind::StartingAddress);
    EraseHistory(THistoryKind::SaveFolder);
}

void TStartingAddressFrame::FocusChanged(QWidget* old, QWidget* now)
{
    if (!old || !isAncestorOf(old))
        return;
    // The folder is checked when the focus goes elsewhere in this window: not for the box's own
    // drop-down, a dialog or a message box, nor when the window merely loses activation.
    auto inFolderBox = [this](QWidget* w) {
        return w == destinationFolderHistory_ || destinationFolderHistory_->isAncestorOf(w);
    };
    if (inFolderBox(old) && now && !inFolderBox(now) && now->window() == window()) {
        // A press on a button moves the focus before the button sees it; a box shown in between
        // takes the release, and the press would be lost. After a Yes the button goes on.
        QPointer<QAbstractButton> button = qobject_cast<QAbstractButton*>(now);
        if (DestinationFolderExit() && button)
            QMetaObject::invokeMethod(
                this,
                [button] {
                    if (button && button->isDown() && button->isEnabled())
                        button->click();
                },
                Qt::QueuedConnection);
    }
    // The edited job follows the page while the user moves around the Start page.
    if (!(now && isAncestorOf(now)))
        SaveToCopyJob();
}

bool TStartingAddressFrame::DestinationFolderExit()
{
    // The boxes below move the focus; the text they leave behind is not checked again.
    if (checkingFolder_ || destinationFolderHistory_->currentText() == checkedFolder_)
        return false;
    checkingFolder_ = true;
    bool created = false;
    std::string text(TrimSpaceAndTab(StdStr(destinationFolderHistory_->currentText())));
    if (!text.empty()) {
        if (text.size() > 1 && text.back() == '/')
            text.pop_back();
        if (text.size() < 4) {
            ShowMessageBox(this, QUIString(77), QString(), TBoxIcon::Information);
            text = GetMyDocumentsFolder() + "/My Copied Sites";
        }
        destinationFolderHistory_->setEditText(QStr(text));
        const bool existed = QFileInfo(QStr(text)).isDir();
        if (!TryToEnsureFolderExists(this, text))
            destinationFolderHistory_->setEditText(QString());
        else
            created = !existed;
    }
    checkedFolder_ = destinationFolderHistory_->currentText();
    checkingFolder_ = false;
    return created;
}

void TStartingAddressFrame::BrowseDestinationButtonClick()
{
    QString folder = QFileDialog::getExistingDirectory(this, QUIString(72));
    if (!folder.isEmpty())
        destinationFolderHistory_->setEditText(folder);
}

void TStartingAddressFrame::ExploreDestinationButtonClick()
{
    std::string folder = StdStr(destinationFolderHistory_->currentText());
    if (!folder.empty() && QFileInfo(QStr(folder)).isDir())
        TryShellExecute(this, folder, "explore");
}

void TStartingAddressFrame::PasswordButtonClick()
{
    if (host_)
        host_->ShowPasswordsPreferences();
}
