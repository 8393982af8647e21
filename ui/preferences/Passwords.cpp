#include "ui/preferences/Passwords.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/Base64.h"
#include "engine/services/PasswordMgr.h"
#include "engine/services/SavedOptions.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"
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
const char* const kSection = "Security";
constexpr mode_t kPasswordFileMode = 0600;
constexpr int kMaxBackups = 100;

// Decodes text; an invalid value gives empty and is logged by its entry, never by its text.
bool SafeBase64ToStr(const std::string& text, std::string& result, const std::string& key)
{
    try {
        result = Base64ToStr(text);
        return true;
    } catch (const std::exception&) {
        result.clear();
        LogEvent(etException, "Invalid base64 in " + key, "SafeBase64ToStr", kUnit);
        return false;
    }
}

std::string Key(const char* name, int index)
{
    return name + std::to_string(index);
}

}  // namespace

std::string SiteToHostKey(const std::string& site)
{
    std::string key = StdStr(QStr(site).toLower());
    std::string scheme;
    size_t schemeEnd = key.find("://");
    if (schemeEnd != std::string::npos) {
        scheme = key.substr(0, schemeEnd);
        key.erase(0, schemeEnd + 3);
    }
    const size_t pathStart = key.find_first_of("/?#");
    if (pathStart != std::string::npos)
        key.erase(pathStart);
    // User information never belongs to the key: it would show the password and never match a lookup.
    const size_t userInfoEnd = key.rfind('@');
    if (userInfoEnd != std::string::npos)
        key.erase(0, userInfoEnd + 1);
    // The download threads look sites up without the scheme's default port.
    static const std::pair<const char*, const char*> kDefaultPorts[] = {{"http", ":80"}, {"https", ":443"},
                                                                       {"ftp", ":21"}};
    for (const auto& [name, port] : kDefaultPorts) {
        const std::string suffix = port;
        if (scheme == name && key.size() > suffix.size() &&
            key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
            key.erase(key.size() - suffix.size());
    }
    return key;
}

TPasswordsFrame::TPasswordsFrame(QWidget* parent, std::string passwordFileName)
    : QFrame(parent),
      passwordFileName_(passwordFileName.empty() ? GetDataFolder() + "up.ini" : std::move(passwordFileName)),
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
        TIniFile ini;
        if (!ini.Load(passwordFileName_))
            throw std::runtime_error("Unable to read " + passwordFileName_ + ": " +
                                     SystemErrorMessage(GetLastErrorCode()));
        std::string countText;
        int64_t count = 0;
        if (ini.Find(kSection, "Count", countText)) {
            if (!TIniFile::ParseInteger(countText, count))
                fileNotReadWhole_ = true;
        } else if (!ini.ToText().empty()) {
            fileNotReadWhole_ = true;  // something, but not a password list
        }
        // Each entry has a key of its own: a count beyond the keys present has nothing to read.
        const int64_t keys = static_cast<int64_t>(ini.ReadSectionKeys(kSection).size());
        if (count > keys) {
            fileNotReadWhole_ = true;
            count = keys;
        }
        TPasswordManager* store = TPasswordManager::Instance();
        for (int i = 0; i < count; ++i) {
            TPasswordRec rec;
            // Keys written before user information was dropped from them are read in today's form.
            rec.Host = SiteToHostKey(ini.ReadString(kSection, Key("Host", i), ""));
            bool decoded = SafeBase64ToStr(ini.ReadString(kSection, Key("U", i), ""), rec.Username, Key("U", i));
            decoded = SafeBase64ToStr(ini.ReadString(kSection, Key("P", i), ""), rec.Password, Key("P", i)) && decoded;
            if (!decoded || rec.Host.empty() || rec.Username.empty() || rec.Password.empty()) {
                fileNotReadWhole_ = true;
                continue;
            }
            if (store && store->PutPassword(rec))
                AddPasswordRow(rec);
            else
                fileNotReadWhole_ = true;
        }
    } catch (const std::exception& e) {
        fileNotReadWhole_ = true;
        LogEvent(etException, e.what(), "LoadPasswords", kUnit);
    }
}

bool TPasswordsFrame::KeepUnreadFile()
{
    if (!SafeFileExists(passwordFileName_))
        return true;
    for (int i = 1; i <= kMaxBackups; ++i) {
        std::string name = passwordFileName_ + ".bak" + (i == 1 ? std::string() : std::to_string(i));
        if (SafeFileExists(name))
            continue;
        if (SafeMoveFile(passwordFileName_, name)) {
            keptFileName_ = name;
            LogEvent(etWarning, "The password file was not read whole; it is kept as " + name, "SavePasswords",
                     kUnit);
            return true;
        }
    }
    return false;
}

bool TPasswordsFrame::SavePasswords()
{
    try {
        if (fileNotReadWhole_) {
            if (!KeepUnreadFile())
                throw std::runtime_error("Unable to keep the unread password file " + passwordFileName_);
            fileNotReadWhole_ = false;
        }
        // Read again and written under the lock file, as another instance may be saving.
        TFileLock lock(passwordFileName_);
        TIniFile ini;
        if (!ini.Load(passwordFileName_))
            throw std::runtime_error("Unable to read " + passwordFileName_ + ": " +
                                     SystemErrorMessage(GetLastErrorCode()));
        const int count = passwordsList_->topLevelItemCount();
        ini.WriteInteger(kSection, "Count", count);
        for (int i = 0; i < count; ++i) {
            const QTreeWidgetItem* row = passwordsList_->topLevelItem(i);
            ini.WriteString(kSection, Key("Host", i), StdStr(row->text(pcSite)));
            ini.WriteString(kSection, Key("U", i), StrToBase64(StdStr(row->text(pcUsername))));
            ini.WriteString(kSection, Key("P", i), StrToBase64(StdStr(row->text(pcPassword))));
        }
        for (int i = count; i < TPasswordManager::MaxPasswords; ++i)
            for (const char* name : {"Host", "U", "P"})
                ini.DeleteKey(kSection, Key(name, i));
        if (!ini.SaveTo(passwordFileName_, kPasswordFileMode))
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
