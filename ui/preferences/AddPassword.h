#pragma once
// The dialog that asks for one site's user name and password.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TAddPasswordForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddPasswordForm(QWidget* parent = nullptr);

    void ClearFields();
    void UpdateLanguageLabels();

    QLineEdit* Site() const { return site_; }
    QLineEdit* Username() const { return username_; }
    QLineEdit* Password() const { return password_; }
    QCheckBox* MaskPassword() const { return maskPassword_; }
    QPushButton* OKButton() const { return okButton_; }

private:
    void OnEditBoxChange();
    void MaskPasswordClick();

    QLabel* siteLabel_;
    QLabel* usernameLabel_;
    QLabel* passwordLabel_;
    QLineEdit* site_;
    QLineEdit* username_;
    QLineEdit* password_;
    QCheckBox* maskPassword_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
