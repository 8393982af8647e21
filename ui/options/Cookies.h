#pragma once
// Job option page for whether cookies are allowed and the job's own cookies, and the dialog
// that edits one cookie.
#include "ui/options/JobOptionPage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class TAddCookieForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddCookieForm(QWidget* parent = nullptr);

    void UpdateLanguageLabels();
    // Empties name and value; the address stays for the next cookie of the same site.
    void ClearFields();

    QLineEdit* URL() const { return url_; }
    QLineEdit* CookieName() const { return cookieName_; }
    QLineEdit* CookieData() const { return cookieData_; }
    QPushButton* OKButton() const { return okButton_; }

private:
    void URLChange();

    QLabel* urlLabel_;
    QLineEdit* url_;
    QLabel* cookieNameLabel_;
    QLineEdit* cookieName_;
    QLabel* cookieDataLabel_;
    QLineEdit* cookieData_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

class TCookiesFrame : public TJobOptionPage {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 19;

    explicit TCookiesFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    void AddCookieRow(const QString& url, const QString& name, const QString& data);
    void AddCookieClick();
    // Edits the selected row in the dialog.
    void CookiesListViewDblClick();
    void RemoveCookieClick();

    QCheckBox* AllowCookies() const { return allowCookies_; }
    QTreeWidget* CookiesListView() const { return cookiesListView_; }
    QPushButton* AddCookie() const { return addCookie_; }
    QPushButton* RemoveCookie() const { return removeCookie_; }
    TAddCookieForm* Dialog() const { return dialog_; }

private:
    void AllowCookiesClick();
    void CookiesListViewSelectItem();

    QCheckBox* allowCookies_;
    QLabel* cookiesLabel_;
    QTreeWidget* cookiesListView_;
    QPushButton* addCookie_;
    QPushButton* removeCookie_;
    TAddCookieForm* dialog_;
};
