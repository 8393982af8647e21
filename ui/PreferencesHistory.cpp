#include "ui/PreferencesHistory.h"

#include "engine/SavedOptions.h"
#include "ui/Main.h"
#include "ui/MessageBoxes.h"
#include "ui/UIStrings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TPreferencesHistoryFrame::TPreferencesHistoryFrame(QWidget* parent)
    : QFrame(parent),
      enableHistory_(new QCheckBox(this)),
      historyLengthLabel_(new QLabel(this)),
      historyLength_(new QSpinBox(this)),
      clearHistoryButton_(new QPushButton(this))
{
    historyLength_->setRange(1, TSavedOptions::MaxMaxHistoryLength);
    auto* length = new QHBoxLayout;
    length->addWidget(historyLengthLabel_);
    length->addWidget(historyLength_);
    length->addStretch(1);
    auto* button = new QHBoxLayout;
    button->addWidget(clearHistoryButton_);
    button->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enableHistory_);
    layout->addLayout(length);
    layout->addLayout(button);
    layout->addStretch(1);

    connect(enableHistory_, &QCheckBox::toggled, this, &TPreferencesHistoryFrame::EnableHistoryClick);
    connect(historyLength_, &QSpinBox::valueChanged, this, &TPreferencesHistoryFrame::HistoryLengthChange);
    connect(clearHistoryButton_, &QPushButton::clicked, this, &TPreferencesHistoryFrame::ClearHistoryButtonClick);
}

void TPreferencesHistoryFrame::LoadHistoryPreferences()
{
    loading_ = true;
    if (const TSavedOptions* options = TSavedOptions::Instance()) {
        enableHistory_->setChecked(options->GetEnableHistory());
        historyLength_->setValue(options->GetMaxHistoryLength());
    }
    loading_ = false;
}

void TPreferencesHistoryFrame::EnableHistoryClick()
{
    if (loading_)
        return;
    const bool on = enableHistory_->isChecked();
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->SetEnableHistory(on);
    if (!on)
        if (TMainForm* main = TMainForm::Instance())
            main->ClearHistory();
}

void TPreferencesHistoryFrame::HistoryLengthChange(int value)
{
    if (loading_)
        return;
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->SetMaxHistoryLength(value);
}

void TPreferencesHistoryFrame::ClearHistoryButtonClick()
{
    if (!ShowMessageBox(this, QUIString(320), QString(), TBoxIcon::Information, true))
        return;
    if (TMainForm* main = TMainForm::Instance())
        main->ClearHistory();
}

void TPreferencesHistoryFrame::UpdateLanguageLabels()
{
    enableHistory_->setText(QUIString(317));
    historyLengthLabel_->setText(QUIString(318));
    clearHistoryButton_->setText(QUIString(319));
    ApplyLanguageFont(this);
}
