#include "ui/preferences/PreferencesGeneral.h"

#include "engine/services/AppTraceLog.h"
#include "ui/preferences/PreferencesHost.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/preferences/ProcessPriority.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "PreferencesGeneral";

}  // namespace

TPreferencesGeneralFrame::TPreferencesGeneralFrame(QWidget* parent, TPreferencesHost* host)
    : QFrame(parent),
      host_(host),
      setPriority_(SetProcessPriorityClass),
      processPriorityLabel_(new QLabel(this)),
      processPriorityCombo_(new QComboBox(this)),
      stayOnTop_(new QCheckBox(this)),
      minimizeToTaskbar_(new QCheckBox(this)),
      showFriendlyDownloadResults_(new QCheckBox(this)),
      jobLoggingEnabled_(new QCheckBox(this)),
      showTipOfTheDayBtn_(new QPushButton(this))
{
    processPriorityCombo_->addItems({QString(), QString()});
    processPriorityCombo_->setCurrentIndex(0);
    auto* priority = new QHBoxLayout;
    priority->addWidget(processPriorityLabel_);
    priority->addWidget(processPriorityCombo_);
    priority->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(priority);
    layout->addWidget(stayOnTop_);
    layout->addWidget(minimizeToTaskbar_);
    layout->addWidget(showFriendlyDownloadResults_);
    layout->addWidget(jobLoggingEnabled_);
    auto* tips = new QHBoxLayout;
    tips->addWidget(showTipOfTheDayBtn_);
    tips->addStretch(1);
    layout->addLayout(tips);
    layout->addStretch(1);

    connect(stayOnTop_, &QCheckBox::toggled, this, &TPreferencesGeneralFrame::StayOnTopClick);
    connect(minimizeToTaskbar_, &QCheckBox::toggled, this, &TPreferencesGeneralFrame::MinimizeToTaskbarClick);
    connect(processPriorityCombo_, &QComboBox::currentIndexChanged, this,
            &TPreferencesGeneralFrame::ProcessPriorityComboChange);
    connect(jobLoggingEnabled_, &QCheckBox::toggled, this, &TPreferencesGeneralFrame::JobLoggingEnabledClick);
    connect(showFriendlyDownloadResults_, &QCheckBox::toggled, this,
            &TPreferencesGeneralFrame::ShowFriendlyDownloadResultsClick);
    connect(showTipOfTheDayBtn_, &QPushButton::clicked, this, &TPreferencesGeneralFrame::ShowTipOfTheDayBtnClick);
}

void TPreferencesGeneralFrame::LoadGeneralPreferences()
{
    loading_ = true;
    try {
        minimizeToTaskbar_->setChecked(GetMinimizeToTaskbar());
        // A stored off does not fire the toggle: the main window is told either way.
        if (host_)
            host_->SetMinimizeToTray(minimizeToTaskbar_->isChecked());
        stayOnTop_->setChecked(ReadSettingBool("Preferences", "StayOnTop", false));
        showFriendlyDownloadResults_->setChecked(GetShowFriendlyDownloadResults());
        jobLoggingEnabled_->setChecked(GetLogCompletedJobs());
        const int32_t priority = GetPriority();
        processPriorityCombo_->setCurrentIndex(priority == kPriorityNormal ? 0 : 1);
        if (setPriority_)
            setPriority_(priority);  // a refusal at start-up is not worth a word
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadGeneralPreferences", kUnit);
    }
    loading_ = false;
}

void TPreferencesGeneralFrame::SaveBox(const char* key, const QCheckBox* box)
{
    // Only the key of the box that changed: another instance may have changed the others.
    if (!loading_)
        WriteSettingBool("Preferences", key, box->isChecked());
}

void TPreferencesGeneralFrame::StayOnTopClick()
{
    if (host_)
        host_->SetStayOnTop(stayOnTop_->isChecked());
    SaveBox("StayOnTop", stayOnTop_);
}

void TPreferencesGeneralFrame::MinimizeToTaskbarClick()
{
    if (host_)
        host_->SetMinimizeToTray(minimizeToTaskbar_->isChecked());
    SaveBox("MinimizeToTaskbar", minimizeToTaskbar_);
}

void TPreferencesGeneralFrame::ProcessPriorityComboChange()
{
    if (loading_)
        return;
    WriteSettingInteger("Preferences", "Priority",
                        processPriorityCombo_->currentIndex() == 0 ? kPriorityNormal : kPriorityIdle);
    if (setPriority_ && !setPriority_(GetPriority()))
        LogAPIError("SetPriorityClass", "ProcessPriorityComboChange", kUnit);
}

void TPreferencesGeneralFrame::JobLoggingEnabledClick()
{
    if (loading_)
        return;
    SaveBox("LogCompletedJobs", jobLoggingEnabled_);
    if (host_)
        host_->SetJobLogVisible(jobLoggingEnabled_->isChecked());
}

void TPreferencesGeneralFrame::ShowFriendlyDownloadResultsClick()
{
    SaveBox("ShowFriendlyDownloadResults", showFriendlyDownloadResults_);
}

void TPreferencesGeneralFrame::ShowTipOfTheDayBtnClick()
{
    if (host_)
        host_->ShowTipOfTheDay();
}

void TPreferencesGeneralFrame::UpdateLanguageLabels()
{
    processPriorityLabel_->setText(QUIString(185));
    {
        const QSignalBlocker blocker(processPriorityCombo_);
        const int row = processPriorityCombo_->currentIndex();
        processPriorityCombo_->clear();
        processPriorityCombo_->addItems({QUIString(183), QUIString(184)});
        processPriorityCombo_->setCurrentIndex(row);
    }
    stayOnTop_->setText(QUIString(186));
    minimizeToTaskbar_->setText(QUIString(187));
    showFriendlyDownloadResults_->setText(QUIString(192));
    jobLoggingEnabled_->setText(QUIString(193));
    showTipOfTheDayBtn_->setText(QUIString(197));
    ApplyLanguageFont(this);
}
