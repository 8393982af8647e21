#pragma once
// The About box: the program-information panel, OK and Check for Upgrade.
#include <QDialog>

#include <string>

class QPushButton;
class TMiniAboutFrame;

// The upgrade page for a version.
std::string UpgradeCheckAddress(const std::string& version);

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void UpdateLanguageLabels();
    void UpgradeCheckButtonClick();

    TMiniAboutFrame* MiniAbout() const { return miniAbout_; }
    QPushButton* OKButton() const { return okButton_; }
    QPushButton* UpgradeCheckButton() const { return upgradeCheckButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMiniAboutFrame* miniAbout_;
    QPushButton* okButton_;
    QPushButton* upgradeCheckButton_;
};
