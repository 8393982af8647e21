#include "ui/dialogs/About.h"

#include "engine/services/AppTraceLog.h"
#include "ui/common/AppName.h"
#include "ui/common/MessageBoxes.h"
#include "ui/dialogs/MiniAbout.h"
#include "ui/common/UIStrings.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kUpgradeHost = "www.brindlesoft.com";

}  // namespace

std::string UpgradeCheckAddress(const std::string& version)
{
    return std::string("http://") + kUpgradeHost + "/upgrade/check.php?p=gleanery&v=" +
           QUrl::toPercentEncoding(QString::fromStdString(version)).toStdString();
}

bool OpenUpgradePage(const std::string& address)
{
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address), QUrl::StrictMode));
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      miniAbout_(new TMiniAboutFrame(this)),
      okButton_(new QPushButton(this)),
      upgradeCheckButton_(new QPushButton(this)),
      openAddress_(OpenUpgradePage)
{
    okButton_->setDefault(true);
    upgradeCheckButton_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(upgradeCheckButton_);
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(miniAbout_, 1);
    layout->addLayout(buttons);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(upgradeCheckButton_, &QPushButton::clicked, this, &TAboutForm::UpgradeCheckButtonClick);
    UpdateLanguageLabels();
}

void TAboutForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(25));
    okButton_->setText(QUIString(102));
    upgradeCheckButton_->setText(QUIString(362));
    miniAbout_->UpdateLanguageLabels();
    ApplyLanguageFont(this);
}

void TAboutForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget())
        move(owner->frameGeometry().center() - rect().center());
    upgradeCheckButton_->setVisible(true);
}

void TAboutForm::UpgradeCheckButtonClick()
{
    const std::string address = UpgradeCheckAddress(AppVersion());
    if (openAddress_ && openAddress_(address))
        return;
    // One box: the address to go to, instead of an error box followed by it.
    LogEvent(etWarning, "ShellExecute " + address, "UpgradeCheckButtonClick", "About");
    ShowMessageBox(this, QStr("Please go to " + address), QString(), TBoxIcon::None);
}
