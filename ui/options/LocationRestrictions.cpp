#include "ui/options/LocationRestrictions.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const int kUnreadableDistance = 99;

// The folder part of an address path: the path itself when it ends with "/", else the part up
// to the last "/" when a "." follows it (a file name), else nothing.
std::string FolderOfPath(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (slash != std::string::npos && dot != std::string::npos && slash < dot)
        return path.substr(0, slash + 1);
    return std::string();
}

}  // namespace

TLocationRestrictionsFrame::TLocationRestrictionsFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      folderExplorationGroup_(new QGroupBox(this)),
      copyAllInFolder_(new QRadioButton(folderExplorationGroup_)),
      copyAllAtServer_(new QRadioButton(folderExplorationGroup_)),
      copyAll_(new QRadioButton(folderExplorationGroup_)),
      thisFolderLabel_(new QLabel(folderExplorationGroup_)),
      thisServerLabel_(new QLabel(folderExplorationGroup_)),
      ruleAppliesToWebPagesOnly_(new QRadioButton(folderExplorationGroup_)),
      ruleAppliesToAllFiles_(new QRadioButton(folderExplorationGroup_)),
      depthExplorationGroup_(new QGroupBox(this)),
      maxDistanceRadio_(new QRadioButton(depthExplorationGroup_)),
      noMaxDistance_(new QRadioButton(depthExplorationGroup_)),
      maxDistanceUpDown_(new QSpinBox(depthExplorationGroup_))
{
    auto* location = new QButtonGroup(this);
    for (QRadioButton* b : {copyAllInFolder_, copyAllAtServer_, copyAll_})
        location->addButton(b);
    auto* rule = new QButtonGroup(this);
    rule->addButton(ruleAppliesToWebPagesOnly_);
    rule->addButton(ruleAppliesToAllFiles_);
    copyAllInFolder_->setChecked(true);
    ruleAppliesToWebPagesOnly_->setChecked(true);
    noMaxDistance_->setChecked(true);
    maxDistanceUpDown_->setRange(0, 99);
    maxDistanceUpDown_->setValue(1);
    for (QLabel* label : {thisFolderLabel_, thisServerLabel_}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

    auto* folderLayout = new QGridLayout(folderExplorationGroup_);
    folderLayout->addWidget(copyAllInFolder_, 0, 0);
    folderLayout->addWidget(thisFolderLabel_, 0, 1);
    folderLayout->addWidget(copyAllAtServer_, 1, 0);
    folderLayout->addWidget(thisServerLabel_, 1, 1);
    folderLayout->addWidget(copyAll_, 2, 0, 1, 2);
    folderLayout->setRowMinimumHeight(3, 8);
    folderLayout->addWidget(ruleAppliesToWebPagesOnly_, 4, 0, 1, 2);
    folderLayout->addWidget(ruleAppliesToAllFiles_, 5, 0, 1, 2);
    folderLayout->setColumnStretch(1, 1);

    auto* depthLayout = new QGridLayout(depthExplorationGroup_);
    depthLayout->addWidget(maxDistanceRadio_, 0, 0);
    depthLayout->addWidget(maxDistanceUpDown_, 0, 1);
    depthLayout->addWidget(noMaxDistance_, 1, 0, 1, 2);
    depthLayout->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderExplorationGroup_);
    layout->addWidget(depthExplorationGroup_);
    layout->addStretch(1);

    // Typing a distance chooses the distance limit.
    connect(MaxDistanceEdit(), &QLineEdit::textEdited, this, [this] {
        if (maxDistanceUpDown_->hasFocus())
            maxDistanceRadio_->setChecked(true);
    });
    SaveOnFocusExit();
    UpdateLanguageLabels();
}

QLineEdit* TLocationRestrictionsFrame::MaxDistanceEdit() const
{
    return maxDistanceUpDown_->findChild<QLineEdit*>();
}

void TLocationRestrictionsFrame::LoadFromCopyJob()
{
    switch (job_.RestrictLocation) {
    case 1: copyAllInFolder_->setChecked(true); break;
    case 2: copyAllAtServer_->setChecked(true); break;
    case 3: copyAll_->setChecked(true); break;
    default: break;
    }
    if (job_.RestrictLocationOfWebPagesOnly)
        ruleAppliesToWebPagesOnly_->setChecked(true);
    else
        ruleAppliesToAllFiles_->setChecked(true);
    if (job_.MaxDistance == -1) {
        maxDistanceUpDown_->clear();
        noMaxDistance_->setChecked(true);
    } else {
        maxDistanceUpDown_->setValue(job_.MaxDistance);
        MaxDistanceEdit()->setText(QString::number(job_.MaxDistance));
        maxDistanceRadio_->setChecked(true);
    }
}

void TLocationRestrictionsFrame::SaveToCopyJob()
{
    job_.RestrictLocation = copyAllInFolder_->isChecked() ? 1 : copyAllAtServer_->isChecked() ? 2 : 3;
    job_.RestrictLocationOfWebPagesOnly = ruleAppliesToWebPagesOnly_->isChecked();
    if (noMaxDistance_->isChecked()) {
        job_.MaxDistance = -1;
        return;
    }
    std::optional<int32_t> distance = ReadIntegerText(MaxDistanceEdit()->text());
    if (!distance || *distance < 0) {
        distance = kUnreadableDistance;
        maxDistanceUpDown_->setValue(kUnreadableDistance);
        MaxDistanceEdit()->setText(QString::number(kUnreadableDistance));
    }
    job_.MaxDistance = *distance;
}

void TLocationRestrictionsFrame::UpdateLocationLabels()
{
    QString folder;
    QString server;
    const TURL& address = job_.StartingWebAddress;
    if (address.IsValid()) {
        std::string path = FolderOfPath(address.GetURL(false, false, false, false, true));
        std::string host = address.GetURL(false, true, false, false, false);
        folder = QStr(host + path);
        server = QStr(host);
    }
    thisFolderLabel_->setText(folder);
    thisFolderLabel_->setToolTip(folder);
    thisServerLabel_->setText(server);
    thisServerLabel_->setToolTip(server);
}

void TLocationRestrictionsFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    folderExplorationGroup_->setTitle(QUIString(78));
    UpdateLocationLabels();
    copyAllInFolder_->setText(QUIString(79));
    copyAllAtServer_->setText(QUIString(80));
    copyAll_->setText(QUIString(81));
    ruleAppliesToWebPagesOnly_->setText(QUIString(82));
    ruleAppliesToAllFiles_->setText(QUIString(83));
    depthExplorationGroup_->setTitle(QUIString(84));
    maxDistanceRadio_->setText(QUIString(85));
    noMaxDistance_->setText(QUIString(86));
}
