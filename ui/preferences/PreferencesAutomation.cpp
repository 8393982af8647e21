#include "ui/preferences/PreferencesAutomation.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"
#include "ui/preferences/PreferencesHost.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "ui/dialogs/URLRanges.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "PreferencesAutomation";
constexpr int kFirstKey = 113;  // F2
constexpr int kLastKey = 122;   // F11

}  // namespace

int HotkeyTextToVirtualKey(const QString& text)
{
    for (int key = kFirstKey; key <= kLastKey; ++key)
        if (text == QString("F%1").arg(key - kFirstKey + 2))
            return key;
    return 0;
}

int VirtualKeyToHotkeyIndex(int key)
{
    return key >= kFirstKey && key <= kLastKey ? key - kFirstKey + 1 : 0;
}

int HotkeyToRegister(int storedKey)
{
    return VirtualKeyToHotkeyIndex(storedKey) != 0 ? storedKey : 0;
}

TPreferencesAutomationFrame::TPreferencesAutomationFrame(QWidget* parent, TPreferencesHost* host)
    : QFrame(parent),
      host_(host),
      clipboardGroup_(new QGroupBox(this)),
      ignoreClipboard_(new QRadioButton(clipboardGroup_)),
      promptOnClipboardChange_(new QRadioButton(clipboardGroup_)),
      createJobOnClipboardChange_(new QRadioButton(clipboardGroup_)),
      showJobQueue_(new QCheckBox(this)),
      saveQueue_(new QCheckBox(this)),
      focusProgressOnJobStart_(new QCheckBox(this)),
      focusQueueOnJobAdd_(new QCheckBox(this)),
      showURLRangeForm_(new QPushButton(this)),
      scrapeHotkeyLabel_(new QLabel(this)),
      scrapeHotkey_(new QComboBox(this)),
      urlRangesForm_(new TURLRangesForm(this, host))
{
    auto* group = new QVBoxLayout(clipboardGroup_);
    group->addWidget(ignoreClipboard_);
    group->addWidget(promptOnClipboardChange_);
    group->addWidget(createJobOnClipboardChange_);
    auto* hotkey = new QHBoxLayout;
    hotkey->addWidget(scrapeHotkeyLabel_);
    hotkey->addWidget(scrapeHotkey_);
    hotkey->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(clipboardGroup_);
    layout->addWidget(showJobQueue_);
    layout->addWidget(saveQueue_);
    layout->addWidget(focusProgressOnJobStart_);
    layout->addWidget(focusQueueOnJobAdd_);
    auto* ranges = new QHBoxLayout;
    ranges->addWidget(showURLRangeForm_);
    ranges->addStretch(1);
    layout->addLayout(ranges);
    layout->addLayout(hotkey);
    layout->addStretch(1);
    focusProgressOnJobStart_->setChecked(true);
    focusProgressOnJobStart_->setEnabled(false);
    saveQueue_->setEnabled(false);
    focusQueueOnJobAdd_->setEnabled(false);
    FillHotkeyCombo();

    for (QRadioButton* radio : {ignoreClipboard_, promptOnClipboardChange_, createJobOnClipboardChange_})
        connect(radio, &QRadioButton::toggled, this, &TPreferencesAutomationFrame::OnOptionChanged);
    for (auto [box, key] : {std::pair{saveQueue_, "SaveQueueBetweenRuns"},
                            std::pair{focusProgressOnJobStart_, "FocusProgressOnJobStart"},
                            std::pair{focusQueueOnJobAdd_, "FocusQueueOnJobAdd"}})
        connect(box, &QCheckBox::toggled, this, [this, box = box, key = key] { SaveBox(key, box); });
    connect(showJobQueue_, &QCheckBox::toggled, this, &TPreferencesAutomationFrame::ShowJobQueueClick);
    connect(scrapeHotkey_, &QComboBox::currentIndexChanged, this, &TPreferencesAutomationFrame::ScrapeHotkeySelect);
    connect(showURLRangeForm_, &QPushButton::clicked, this, &TPreferencesAutomationFrame::ShowURLRangeFormClick);
}

void TPreferencesAutomationFrame::LoadAutomationPreferences()
{
    loading_ = true;
    try {
        TSavedOptions* options = TSavedOptions::Instance();
        const auto response = static_cast<uint8_t>(options ? options->GetClipboardResponse() : 0);
        QRadioButton* radios[] = {ignoreClipboard_, promptOnClipboardChange_, createJobOnClipboardChange_};
        for (QRadioButton* radio : radios) {
            // Exclusive buttons cannot all be cleared while exclusive.
            radio->setAutoExclusive(false);
            radio->setChecked(false);
            radio->setAutoExclusive(true);
        }
        if (response <= 2)
            radios[response]->setChecked(true);
        focusProgressOnJobStart_->setChecked(GetFocusProgressOnJobStart());
        focusQueueOnJobAdd_->setChecked(GetFocusQueueOnJobAdd());
        showJobQueue_->setChecked(GetShowJobQueue());
        ShowJobQueueClick();  // the enabling also when the state did not change
        saveQueue_->setChecked(GetSaveQueueBetweenRuns());
        scrapeHotkey_->setCurrentIndex(VirtualKeyToHotkeyIndex(GetScrapeHotkey()));
        urlRangesForm_->SetCreateJobsVisible(showJobQueue_->isChecked());
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadAutomationPreferences", kUnit);
    }
    loading_ = false;
}

void TPreferencesAutomationFrame::OnOptionChanged(bool checked)
{
    if (loading_ || !checked)
        return;
    int32_t response = createJobOnClipboardChange_->isChecked() ? 2 : promptOnClipboardChange_->isChecked() ? 1 : 0;
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->SetClipboardResponse(response);
}

void TPreferencesAutomationFrame::SaveBox(const char* key, const QCheckBox* box)
{
    // Only the key of the box that changed: another instance may have changed the others.
    if (!loading_)
        WriteSettingBool("Automation", key, box->isChecked());
}

void TPreferencesAutomationFrame::ShowJobQueueClick()
{
    const bool on = showJobQueue_->isChecked();
    if (!loading_) {
        SaveBox("ShowJobQueue", showJobQueue_);
        if (!on)
            WriteSettingBool("Automation", "FocusProgressOnJobStart", true);  // forced on below
        if (host_)
            host_->SetJobQueueVisible(on);
        urlRangesForm_->SetCreateJobsVisible(on);
    }
    saveQueue_->setEnabled(on);
    focusQueueOnJobAdd_->setEnabled(on);
    if (!on)
        focusProgressOnJobStart_->setChecked(true);
    focusProgressOnJobStart_->setEnabled(on);
}

void TPreferencesAutomationFrame::ScrapeHotkeySelect()
{
    if (loading_)
        return;
    WriteSettingInteger("Automation", "ScrapeHotkey", HotkeyTextToVirtualKey(scrapeHotkey_->currentText()));
    if (host_)
        host_->RegisterURLScrapeHotkey();
}

void TPreferencesAutomationFrame::UpdateQueueControls()
{
    showJobQueue_->setVisible(true);
    focusQueueOnJobAdd_->setVisible(true);
    saveQueue_->setVisible(true);
    showURLRangeForm_->setVisible(true);
}

void TPreferencesAutomationFrame::ShowURLRangeFormClick()
{
    urlRangesForm_->ShowAndActivate();
}

void TPreferencesAutomationFrame::FillHotkeyCombo()
{
    const QSignalBlocker blocker(scrapeHotkey_);
    const int row = scrapeHotkey_->currentIndex();
    scrapeHotkey_->clear();
    scrapeHotkey_->addItem(QUIString(196));
    for (int n = 2; n <= 11; ++n)
        scrapeHotkey_->addItem(QString("F%1").arg(n));
    if (row >= 0)
        scrapeHotkey_->setCurrentIndex(row);
}

void TPreferencesAutomationFrame::UpdateLanguageLabels()
{
    clipboardGroup_->setTitle(QUIString(198));
    ignoreClipboard_->setText(QUIString(199));
    promptOnClipboardChange_->setText(QUIString(200));
    createJobOnClipboardChange_->setText(QUIString(201));
    showJobQueue_->setText(QUIString(188));
    saveQueue_->setText(QUIString(189));
    focusProgressOnJobStart_->setText(QUIString(190));
    focusQueueOnJobAdd_->setText(QUIString(191));
    showURLRangeForm_->setText(QUIString(194));
    urlRangesForm_->UpdateLanguageLabels();
    scrapeHotkeyLabel_->setText(QUIString(195));
    FillHotkeyCombo();
    ApplyLanguageFont(this);
}
