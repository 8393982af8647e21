#include "ui/preferences/AddPassword.h"

#include "platform/TextUtils.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TAddPasswordForm::TAddPasswordForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      siteLabel_(new QLabel(this)),
      usernameLabel_(new QLabel(this)),
      passwordLabel_(new QLabel(this)),
      site_(new QLineEdit(this)),
      username_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      maskPassword_(new QCheckBox(this)),
      okButton_(new QPushButton(this)),
      cancelButton_(new QPushButton(this))
{
    setModal(true);
    password_->setEchoMode(QLineEdit::Password);
    maskPassword_->setChecked(true);
    okButton_->setDefault(true);
    okButton_->setEnabled(false);
    auto* form = new QFormLayout;
    form->addRow(siteLabel_, site_);
    form->addRow(usernameLabel_, username_);
    form->addRow(passwordLabel_, password_);
    form->addRow(QString(), maskPassword_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    site_->setMinimumWidth(260);

    for (QLineEdit* edit : {site_, username_, password_})
        connect(edit, &QLineEdit::textChanged, this, &TAddPasswordForm::OnEditBoxChange);
    connect(maskPassword_, &QCheckBox::toggled, this, &TAddPasswordForm::MaskPasswordClick);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void TAddPasswordForm::ClearFields()
{
    site_->clear();
    username_->clear();
    password_->clear();
}

void TAddPasswordForm::OnEditBoxChange()
{
    bool filled = true;
    for (const QLineEdit* edit : {site_, username_, password_})
        filled = filled && !TrimText(StdStr(edit->text())).empty();
    okButton_->setEnabled(filled);
}

void TAddPasswordForm::MaskPasswordClick()
{
    password_->setEchoMode(maskPassword_->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
}

void TAddPasswordForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(309));
    siteLabel_->setText(QUIString(303));
    usernameLabel_->setText(QUIString(305));
    passwordLabel_->setText(QUIString(307));
    maskPassword_->setText(QUIString(311));
    cancelButton_->setText(QUIString(103));
    okButton_->setText(QUIString(102));
    ApplyLanguageFont(this);
}
