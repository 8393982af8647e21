#include "ui/About.h"

#include "ui/Main.h"
#include "ui/MessageBoxes.h"
#include "ui/MiniAbout.h"
#include "ui/TryShellExe.h"
#include "ui/UIStrings.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kUpgradeHost = "www.brindlesoft.com";

}  // namespace

std::string UpgradeCheckAddress(const std::string& version)
{
    return std::string("http://") + kUpgradeHost + "/upgrade/check.php?p=gleanery&v=" + version;
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      miniAbout_(new TMiniAboutFrame(this)),
      okButton_(new QPushButton(this)),
      upgradeCheckButton_(new QPushButton(this))
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
    if (!TryShellExecute(this, address, "open"))
        ShowMessageBox(this, QStr("Please go to " + address), QString(), TBoxIcon::None);
}
