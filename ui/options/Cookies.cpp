#include "ui/options/Cookies.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

TAddCookieForm::TAddCookieForm(QWidget* parent)
    : QDialog(parent),
      urlLabel_(new QLabel(this)),
      url_(new QLineEdit(this)),
      cookieNameLabel_(new QLabel(this)),
      cookieName_(new QLineEdit(this)),
      cookieDataLabel_(new QLabel(this)),
      cookieData_(new QLineEdit(this)),
      okButton_(new QPushButton(this)),
      cancelButton_(new QPushButton(this))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(urlLabel_, url_);
    form->addRow(cookieNameLabel_, cookieName_);
    form->addRow(cookieDataLabel_, cookieData_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(okButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    okButton_->setDefault(true);
    okButton_->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(url_, &QLineEdit::textChanged, this, &TAddCookieForm::URLChange);
    setMinimumWidth(420);
    UpdateLanguageLabels();
}

void TAddCookieForm::ClearFields()
{
    cookieName_->clear();
    cookieData_->clear();
}

void TAddCookieForm::URLChange()
{
    okButton_->setEnabled(!url_->text().trimmed().isEmpty());
}

void TAddCookieForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(143));
    urlLabel_->setText(QUIString(144));
    cookieNameLabel_->setText(QUIString(145));
    cookieDataLabel_->setText(QUIString(146));
    cancelButton_->setText(QUIString(103));
    okButton_->setText(QUIString(102));
    ApplyLanguageFont(this);
}

TCookiesFrame::TCookiesFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      allowCookies_(new QCheckBox(this)),
      cookiesLabel_(new QLabel(this)),
      cookiesListView_(new QTreeWidget(this)),
      addCookie_(new QPushButton(this)),
      removeCookie_(new QPushButton(this)),
      dialog_(new TAddCookieForm(this))
{
    SetReportStyle(cookiesListView_, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(allowCookies_);
    layout->addWidget(cookiesLabel_);
    layout->addWidget(cookiesListView_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addCookie_);
    buttons->addWidget(removeCookie_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(allowCookies_, &QCheckBox::toggled, this, &TCookiesFrame::AllowCookiesClick);
    connect(addCookie_, &QPushButton::clicked, this, &TCookiesFrame::AddCookieClick);
    connect(removeCookie_, &QPushButton::clicked, this, &TCookiesFrame::RemoveCookieClick);
    connect(cookiesListView_, &QTreeWidget::itemDoubleClicked, this, &TCookiesFrame::CookiesListViewDblClick);
    connect(cookiesListView_, &QTreeWidget::itemSelectionChanged, this, &TCookiesFrame::CookiesListViewSelectItem);
    AllowCookiesClick();
    UpdateLanguageLabels();
}

void TCookiesFrame::AllowCookiesClick()
{
    const bool allowed = allowCookies_->isChecked();
    cookiesListView_->setEnabled(allowed);
    addCookie_->setEnabled(allowed);
    removeCookie_->setEnabled(allowed);
    QPalette palette = cookiesListView_->palette();
    palette.setColor(QPalette::Base, allowed ? QApplication::palette().color(QPalette::Base) : QColor(0xC0, 0xC0, 0xC0));
    cookiesListView_->setPalette(palette);
}

void TCookiesFrame::AddCookieRow(const QString& url, const QString& name, const QString& data)
{
    new QTreeWidgetItem(cookiesListView_, QStringList{url, name, data});
}

void TCookiesFrame::LoadFromCopyJob()
{
    allowCookies_->setChecked(job_.DownloadOptions.AllowCookies);
    AllowCookiesClick();
    cookiesListView_->clear();
    const TCookies& cookies = job_.DownloadOptions.Cookies;
    const int count = std::clamp<int32_t>(cookies.Count, 0, static_cast<int32_t>(cookies.Cookies.size()));
    for (int i = 0; i < count; ++i) {
        const TCookie& c = cookies.Cookies[static_cast<size_t>(i)];
        AddCookieRow(QStr(c.URL), QStr(c.Name), QStr(c.Data));
    }
}

void TCookiesFrame::SaveToCopyJob()
{
    job_.DownloadOptions.AllowCookies = allowCookies_->isChecked();
    TCookies& cookies = job_.DownloadOptions.Cookies;
    const int count = std::min(cookiesListView_->topLevelItemCount(), static_cast<int>(cookies.Cookies.size()));
    cookies.Count = count;
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* item = cookiesListView_->topLevelItem(i);
        TCookie& c = cookies.Cookies[static_cast<size_t>(i)];
        c.URL = StdStr(item->text(0));
        c.Name = StdStr(item->text(1));
        c.Data = StdStr(item->text(2));
    }
}

void TCookiesFrame::AddCookieClick()
{
    if (cookiesListView_->topLevelItemCount() >= kMaxRows)
        return;
    dialog_->ClearFields();
    if (dialog_->exec() == QDialog::Accepted)
        AddCookieRow(dialog_->URL()->text(), dialog_->CookieName()->text(), dialog_->CookieData()->text());
}

void TCookiesFrame::CookiesListViewDblClick()
{
    const QList<QTreeWidgetItem*> selected = cookiesListView_->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* item = selected.first();
    dialog_->URL()->setText(item->text(0));
    dialog_->CookieName()->setText(item->text(1));
    dialog_->CookieData()->setText(item->text(2));
    if (dialog_->exec() != QDialog::Accepted)
        return;
    item->setText(0, dialog_->URL()->text());
    item->setText(1, dialog_->CookieName()->text());
    item->setText(2, dialog_->CookieData()->text());
}

void TCookiesFrame::RemoveCookieClick()
{
    const QList<QTreeWidgetItem*> selected = cookiesListView_->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = cookiesListView_->indexOfTopLevelItem(selected.first());
    delete selected.first();
    cookiesListView_->clearSelection();
    if (QTreeWidgetItem* next = cookiesListView_->topLevelItem(index)) {
        cookiesListView_->setCurrentItem(next);
        next->setSelected(true);
    }
    CookiesListViewSelectItem();
}

void TCookiesFrame::CookiesListViewSelectItem()
{
    removeCookie_->setEnabled(allowCookies_->isChecked() && !cookiesListView_->selectedItems().isEmpty());
}

void TCookiesFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    allowCookies_->setText(QUIString(119));
    cookiesLabel_->setText(QUIString(137));
    addCookie_->setText(QUIString(138));
    removeCookie_->setText(QUIString(139));
    cookiesListView_->setHeaderLabels({QUIString(140), QUIString(141), QUIString(142)});
    dialog_->UpdateLanguageLabels();
}
