#include "ui/preferences/PreferencesHistory.h"

#include "engine/services/SavedOptions.h"
#include "ui/preferences/PreferencesHost.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// A spin box that takes a number above its maximum as typed and lowers it to the maximum when
// the editing ends, instead of refusing the last digit ("250" would stay "25").
class TClampingSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    QLineEdit* Editor() const { return lineEdit(); }

protected:
    QValidator::State validate(QString& input, int& pos) const override
    {
        QValidator::State state = QSpinBox::validate(input, pos);
        if (state == QValidator::Invalid && AboveMaximum(input))
            return QValidator::Intermediate;
        return state;
    }
    void fixup(QString& input) const override
    {
        if (AboveMaximum(input))
            input = QString::number(maximum());
        else
            QSpinBox::fixup(input);
    }

private:
    bool AboveMaximum(const QString& input) const
    {
        bool ok = false;
        const int value = input.trimmed().toInt(&ok);
        return ok && value > maximum();
    }
};

}  // namespace

TPreferencesHistoryFrame::TPreferencesHistoryFrame(QWidget* parent, TPreferencesHost* host)
    : QFrame(parent),
      host_(host),
      enableHistory_(new QCheckBox(this)),
      historyLengthLabel_(new QLabel(this)),
      historyLength_(new TClampingSpinBox(this)),
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
    connect(historyLength_, &QSpinBox::valueChanged, this,
            [this](int value) { HistoryLengthChange(QString::number(value)); });
    // A number above the maximum, while it is typed, is no value of the box yet but counts.
    connect(static_cast<TClampingSpinBox*>(historyLength_)->Editor(), &QLineEdit::textChanged, this,
            [this](const QString& text) {
                if (!historyLength_->hasAcceptableInput())
                    HistoryLengthChange(text);
            });
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
        if (host_)
            host_->ClearHistory();
}

void TPreferencesHistoryFrame::HistoryLengthChange(const QString& text)
{
    if (loading_)
        return;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return;
    // Above 99 stores 99; 0 and less keep the stored length.
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->SetMaxHistoryLength(value);
}

void TPreferencesHistoryFrame::ClearHistoryButtonClick()
{
    if (!ShowMessageBox(this, QUIString(320), QString(), TBoxIcon::Information, true))
        return;
    if (host_)
        host_->ClearHistory();
}

void TPreferencesHistoryFrame::UpdateLanguageLabels()
{
    enableHistory_->setText(QUIString(317));
    historyLengthLabel_->setText(QUIString(318));
    clearHistoryButton_->setText(QUIString(319));
    ApplyLanguageFont(this);
}
