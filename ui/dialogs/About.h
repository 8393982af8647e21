#pragma once
// The About box: the program-information panel, OK and Check for Upgrade.
#include <QDialog>

#include <functional>
#include <string>

class QPushButton;
class TMiniAboutFrame;

// The upgrade page for a version (percent-encoded into the address).
std::string UpgradeCheckAddress(const std::string& version);
// Opens an address in the desktop's web browser; False when it cannot.
bool OpenUpgradePage(const std::string& address);

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void UpdateLanguageLabels();
    void UpgradeCheckButtonClick();

    TMiniAboutFrame* MiniAbout() const { return miniAbout_; }
    QPushButton* OKButton() const { return okButton_; }
    QPushButton* UpgradeCheckButton() const { return upgradeCheckButton_; }
    // Replaces the opener of the upgrade page (tests).
    void SetAddressOpener(std::function<bool(const std::string&)> open) { openAddress_ = std::move(open); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMiniAboutFrame* miniAbout_;
    QPushButton* okButton_;
    QPushButton* upgradeCheckButton_;
    std::function<bool(const std::string&)> openAddress_;
};
