#include "ui/preferences/Passwords.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/PasswordFile.h"
#include "engine/job/PasswordMgr.h"
#include "engine/services/SavedOptions.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"
#include "ui/preferences/AddPassword.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

const char* const kUnit = "Passwords";

}  // namespace

TPasswordsFrame::TPasswordsFrame(QWidget* parent, std::string passwordFileName)
    : QFrame(parent),
      passwordFileName_(passwordFileName.empty() ? GetDataFolder() + kPasswordFileName : std::move(passwordFileName)),
      passwordsList_(new QTreeWidget(this)),
      addButton_(new QPushButton(this)),
      removeButton_(new QPushButton(this)),
      dialog_(new TAddPasswordForm(this))
{
    passwordsList_->setColumnCount(3);
    passwordsList_->setRootIsDecorated(false);
    passwordsList_->setSelectionMode(QAbstractItemView::SingleSelection);
    passwordsList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    passwordsList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    passwordsList_->setSortingEnabled(false);
    passwordsList_->header()->setSectionsClickable(true);
    passwordsList_->header()->setStretchLastSection(false);
    passwordsList_->setColumnWidth(pcSite, 200);
    passwordsList_->setColumnWidth(pcUsername, 140);
    passwordsList_->setColumnHidden(pcPassword, true);
    removeButton_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(removeButton_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(passwordsList_, 1);
    layout->addLayout(buttons);

    connect(addButton_, &QPushButton::clicked, this, &TPasswordsFrame::AddButtonClick);
    connect(removeButton_, &QPushButton::clicked, this, &TPasswordsFrame::RemoveSelectedPassword);
    connect(passwordsList_, &QTreeWidget::itemSelectionChanged, this, &TPasswordsFrame::PasswordsListChange);
    connect(passwordsList_, &QTreeWidget::itemDoubleClicked, this, &TPasswordsFrame::PasswordsListDblClick);
    connect(passwordsList_->header(), &QHeaderView::sectionClicked, this,
            &TPasswordsFrame::PasswordsListColumnClick);
}

void TPasswordsFrame::LoadPasswords()
{
    passwordsList_->clear();
    fileNotReadWhole_ = false;
    try {
        std::vector<TPasswordRec> records;
        bool whole = false;
        if (!ReadPasswordFile(passwordFileName_, records, whole))
            throw std::runtime_error("Unable to read " + passwordFileName_ + ": " +
                                     SystemErrorMessage(GetLastErrorCode()));
        fileNotReadWhole_ = !whole;
        TPasswordManager* store = TPasswordManager::Instance();
        for (const TPasswordRec& rec : records) {
            if (store && store->PutPassword(rec))
                AddPasswordRow(rec);
            else
                fileNotReadWhole_ = true;
        }
    } catch (const std::exception& e) {
        fileNotReadWhole_ = true;
        LogEvent(etException, e.what(), "LoadPasswords", kUnit);
    }
    if (fileNotReadWhole_) {
        const std::string text = "The password file " + passwordFileName_ + " could not be read whole: " +
                                 CountOf(passwordsList_->topLevelItemCount(), "password was", "passwords were") +
                                 " read. When the list is next changed, the file as it was found "
                                 "is kept beside it as " + passwordFileName_ + ".bak.";
        LogEvent(etWarning, text, "LoadPasswords", kUnit);
        emit FileRecovered(QStr(text));
    }
}

bool TPasswordsFrame::SavePasswords()
{
    try {
        if (fileNotReadWhole_) {
            if (!KeepUnreadPasswordFile(passwordFileName_, keptFileName_))
                throw std::runtime_error("Unable to keep the unread password file " + passwordFileName_);
            fileNotReadWhole_ = false;
        }
        std::vector<TPasswordRec> records;
        records.reserve(static_cast<size_t>(passwordsList_->topLevelItemCount()));
        for (int i = 0; i < passwordsList_->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = passwordsList_->topLevelItem(i);
            records.push_back(
                {StdStr(row->text(pcSite)), StdStr(row->text(pcUsername)), StdStr(row->text(pcPassword))});
        }
        if (!WritePasswordFile(passwordFileName_, records))
            throw std::runtime_error("Unable to write to " + passwordFileName_ + ": " +
                                     SystemErrorMessage(GetLastErrorCode()));
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SavePasswords", kUnit);
        return false;
    }
}

void TPasswordsFrame::AddPasswordRow(const TPasswordRec& rec)
{
    // The store knows a host once whatever its letter case; so does the list.
    const QString host = QStr(rec.Host);
    for (int i = 0; i < passwordsList_->topLevelItemCount(); ++i) {
        if (SameTextIgnoringCase(StdStr(passwordsList_->topLevelItem(i)->text(pcSite)), rec.Host)) {
            delete passwordsList_->takeTopLevelItem(i);
            break;
        }
    }
    auto* row = new QTreeWidgetItem(passwordsList_);
    row->setText(pcSite, host);
    row->setText(pcUsername, QStr(rec.Username));
    row->setText(pcPassword, QStr(rec.Password));
}

void TPasswordsFrame::AddButtonClick()
{
    dialog_->ClearFields();
    if (dialog_->exec() == QDialog::Accepted)
        AddOrEditPassword(false);
}

bool TPasswordsFrame::DialogRecord(TPasswordRec& rec) const
{
    rec.Host = SiteToHostKey(TrimText(StdStr(dialog_->Site()->text())));
    rec.Username = TrimText(StdStr(dialog_->Username()->text()));
    rec.Password = TrimText(StdStr(dialog_->Password()->text()));
    return !rec.Host.empty() && !rec.Username.empty() && !rec.Password.empty();
}

void TPasswordsFrame::AddOrEditPassword(bool editing)
{
    TPasswordRec rec;
    if (!DialogRecord(rec))
        return;
    TPasswordManager* store = TPasswordManager::Instance();
    if (!store)
        return;
    TPasswordRec existing;
    if (!editing && store->FindPassword(rec.Host, existing)) {
        ShowMessageBox(this, QUIString(301), QString(), TBoxIcon::Information);
        return;
    }
    if (store->PutPassword(rec)) {
        AddPasswordRow(rec);
        SavePasswords();
    } else {
        ShowMessageBox(this, QUIString(312), QString(), TBoxIcon::Warning);
    }
}

void TPasswordsFrame::PasswordsListDblClick()
{
    QTreeWidgetItem* row = passwordsList_->currentItem();
    if (!row || !row->isSelected())
        return;
    dialog_->Site()->setText(row->text(pcSite));
    dialog_->Username()->setText(row->text(pcUsername));
    dialog_->Password()->setText(row->text(pcPassword));
    TPasswordRec rec;
    // An edit that leaves no host (a scheme alone) keeps the old entry.
    if (dialog_->exec() == QDialog::Accepted && DialogRecord(rec)) {
        RemoveSelectedPassword();
        AddOrEditPassword(true);
    }
}

void TPasswordsFrame::RemoveSelectedPassword()
{
    const QList<QTreeWidgetItem*> selected = passwordsList_->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* row = selected.first();
    TPasswordManager* store = TPasswordManager::Instance();
    if (!store || !store->RemovePassword(StdStr(row->text(pcSite))))
        return;
    delete row;
    SavePasswords();
}

void TPasswordsFrame::PasswordsListChange()
{
    removeButton_->setEnabled(!passwordsList_->selectedItems().isEmpty());
}

bool TPasswordsFrame::PasswordsListLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const
{
    const bool known = sortColumn_ >= pcSite && sortColumn_ <= pcPassword;
    const QString ta = known ? a->text(sortColumn_) : QString();
    const QString tb = known ? b->text(sortColumn_) : QString();
    const int order = sortAscending_ ? QString::localeAwareCompare(ta, tb) : QString::localeAwareCompare(tb, ta);
    return order < 0;
}

void TPasswordsFrame::PasswordsListColumnClick(int column)
{
    if (column == sortColumn_)
        sortAscending_ = !sortAscending_;
    else
        sortColumn_ = column;
    std::vector<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<size_t>(passwordsList_->topLevelItemCount()));
    QTreeWidgetItem* current = passwordsList_->currentItem();
    while (passwordsList_->topLevelItemCount() > 0)
        rows.push_back(passwordsList_->takeTopLevelItem(0));
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return PasswordsListLess(a, b); });
    for (QTreeWidgetItem* row : rows)
        passwordsList_->addTopLevelItem(row);
    if (current)
        passwordsList_->setCurrentItem(current);
}

void TPasswordsFrame::UpdateLanguageLabels()
{
    passwordsList_->setHeaderLabels({QUIString(302), QUIString(304), QUIString(306)});
    addButton_->setText(QUIString(308));
    removeButton_->setText(QUIString(310));
    dialog_->UpdateLanguageLabels();
    passwordsList_->setColumnHidden(pcPassword, true);
    ApplyLanguageFont(this);
}
