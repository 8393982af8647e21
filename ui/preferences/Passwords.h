#pragma once
// The stored site passwords: the page lists them, keeps the password file "up.ini" in the data
// folder, and fills the run-time password store that the download threads read.
#include "engine/job/PasswordFile.h"  // SiteToHostKey

#include <QFrame>

#include <string>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TAddPasswordForm;

class TPasswordsFrame : public QFrame {
    Q_OBJECT
public:
    enum TColumn : int { pcSite = 0, pcUsername = 1, pcPassword = 2 };

    // passwordFileName empty: "up.ini" in the data folder.
    explicit TPasswordsFrame(QWidget* parent = nullptr, std::string passwordFileName = {});

    const std::string& PasswordFileName() const { return passwordFileName_; }

    // Fills the list and the store from the password file. A file that could not be read
    // whole is moved aside (never overwritten) before the next save.
    void LoadPasswords();
    // Writes the list, in display order, to the password file.
    bool SavePasswords();
    // Takes the dialog's site, user name and password. Adding refuses a site already listed.
    void AddOrEditPassword(bool editing);
    void RemoveSelectedPassword();
    // Edits the selected row through the dialog.
    void PasswordsListDblClick();
    // A click on a column header: the same column again flips the order.
    void PasswordsListColumnClick(int column);
    void UpdateLanguageLabels();

    QTreeWidget* PasswordsList() const { return passwordsList_; }
    QPushButton* AddButton() const { return addButton_; }
    QPushButton* RemoveButton() const { return removeButton_; }
    TAddPasswordForm* Dialog() const { return dialog_; }
    // The name the unreadable file was moved to at the last save, if any.
    const std::string& KeptFileName() const { return keptFileName_; }

signals:
    // The password file was not read whole; text says what was kept and where.
    void FileRecovered(const QString& text);

private:
    void AddPasswordRow(const TPasswordRec& rec);
    // The dialog's trimmed values with the site as its host key; False when one is empty.
    bool DialogRecord(TPasswordRec& rec) const;
    void AddButtonClick();
    void PasswordsListChange();
    bool PasswordsListLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const;

    std::string passwordFileName_;
    int sortColumn_ = -1;
    bool sortAscending_ = false;
    bool fileNotReadWhole_ = false;
    std::string keptFileName_;
    QTreeWidget* passwordsList_;
    QPushButton* addButton_;
    QPushButton* removeButton_;
    TAddPasswordForm* dialog_;
};
