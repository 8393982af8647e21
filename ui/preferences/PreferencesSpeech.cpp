#include "ui/preferences/PreferencesSpeech.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"
#include "ui/common/Speech.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTextToSpeech>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kUnit = "PreferencesSpeech";
const char* const kSection = "Speech";
const char* const kKeys[TPreferencesSpeechFrame::stCount] = {"AppStart", "AppEnd", "JobStart", "JobEnd"};
constexpr int kLabelIds[TPreferencesSpeechFrame::stCount] = {209, 210, 211, 212};

QTextToSpeech* Voice()
{
    const TSpeechVoice* voice = TSpeechVoice::Instance();
    return voice ? voice->Engine() : nullptr;
}

}  // namespace

TPreferencesSpeechFrame::TPreferencesSpeechFrame(QWidget* parent)
    : QFrame(parent),
      speechDisabledLabel_(new QLabel(this)),
      speechEnabledPanel_(new QWidget(this)),
      enableSpeech_(new QCheckBox(speechEnabledPanel_)),
      selectedVoiceLabel_(new QLabel(speechEnabledPanel_)),
      systemVoices_(new QComboBox(speechEnabledPanel_))
{
    auto* grid = new QGridLayout(speechEnabledPanel_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(enableSpeech_, 0, 0, 1, 2);
    grid->addWidget(selectedVoiceLabel_, 1, 0, 1, 2);
    grid->addWidget(systemVoices_, 2, 0, 1, 2);
    for (int i = 0; i < stCount; ++i) {
        labels_[i] = new QLabel(speechEnabledPanel_);
        texts_[i] = new QLineEdit(speechEnabledPanel_);
        play_[i] = new QToolButton(speechEnabledPanel_);
        play_[i]->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        grid->addWidget(labels_[i], 3 + i * 2, 0, 1, 2);
        grid->addWidget(texts_[i], 4 + i * 2, 0);
        grid->addWidget(play_[i], 4 + i * 2, 1);
        texts_[i]->installEventFilter(this);
        connect(texts_[i], &QLineEdit::textChanged, this, [this, i] { OnTextChange(i); });
        connect(play_[i], &QToolButton::clicked, this, [this, i] { Speak(StdStr(texts_[i]->text()), false); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(speechDisabledLabel_);
    layout->addWidget(speechEnabledPanel_);
    layout->addStretch(1);
    connect(enableSpeech_, &QCheckBox::toggled, this, &TPreferencesSpeechFrame::EnableSpeechClick);
    connect(systemVoices_, &QComboBox::currentIndexChanged, this, &TPreferencesSpeechFrame::SystemVoicesChange);

    const bool available = IsSpeechAvailable();
    speechEnabledPanel_->setVisible(available);
    speechDisabledLabel_->setVisible(!available);
    if (available)
        FillVoiceList();
}

TPreferencesSpeechFrame::~TPreferencesSpeechFrame()
{
    const std::string goodbye = TrimText(StdStr(texts_[stAppEnd]->text()));
    if (enableSpeech_->isChecked() && !goodbye.empty())
        Speak(StdStr(texts_[stAppEnd]->text()), true);
}

void TPreferencesSpeechFrame::FillVoiceList()
{
    const bool wasEnabled = saveEnabled_;
    saveEnabled_ = false;
    systemVoices_->clear();
    voices_.clear();
    if (QTextToSpeech* voice = Voice()) {
        voices_ = voice->availableVoices();
        for (const QVoice& v : voices_)
            systemVoices_->addItem(v.name());
    }
    saveEnabled_ = wasEnabled;
}

void TPreferencesSpeechFrame::LoadSpeechPreferences()
{
    saveEnabled_ = false;
    try {
        QTextToSpeech* voice = Voice();
        enableSpeech_->setChecked(voice && ReadSettingBool(kSection, "SpeechEnabled", false));
        EnableSpeechControls(enableSpeech_->isChecked());
        for (int i = 0; i < stCount; ++i)
            texts_[i]->setText(QStr(ReadSettingString(kSection, kKeys[i], "")));
        if (voice) {
            int64_t volume = 0;
            if (TIniFile::ParseInteger(ReadSettingString(kSection, "Volume", ""), volume))
                voice->setVolume(std::clamp(static_cast<double>(volume) / 100.0, 0.0, 1.0));
            const QString selected = QStr(ReadSettingString(kSection, "SelectedVoice", ""));
            int row = systemVoices_->findText(selected, Qt::MatchFixedString);
            if (row < 0 && systemVoices_->count() > 0)
                row = 0;
            if (row >= 0) {
                systemVoices_->setCurrentIndex(row);
                SystemVoicesChange();
            }
        }
        if (!startTextSpoken_) {
            startTextSpoken_ = true;
            if (enableSpeech_->isChecked())
                Speak(StdStr(texts_[stAppStart]->text()), false);
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadSpeechPreferences", kUnit);
    }
    saveEnabled_ = true;
}

void TPreferencesSpeechFrame::EnableSpeechControls(bool enabled)
{
    systemVoices_->setEnabled(enabled);
    for (int i = 0; i < stCount; ++i) {
        texts_[i]->setEnabled(enabled);
        play_[i]->setEnabled(enabled);
    }
}

void TPreferencesSpeechFrame::EnableSpeechClick()
{
    if (!saveEnabled_)
        return;
    WriteSettingBool(kSection, "SpeechEnabled", enableSpeech_->isChecked());
    EnableSpeechControls(enableSpeech_->isChecked());
}

void TPreferencesSpeechFrame::SystemVoicesChange()
{
    const int row = systemVoices_->currentIndex();
    if (QTextToSpeech* voice = Voice(); voice && row >= 0 && row < voices_.size())
        voice->setVoice(voices_[row]);
    if (saveEnabled_)
        WriteSettingString(kSection, "SelectedVoice", StdStr(systemVoices_->currentText()));
}

void TPreferencesSpeechFrame::OnTextChange(int event)
{
    // Only the changed key: another instance may have changed the others.
    if (saveEnabled_)
        WriteSettingString(kSection, kKeys[event], StdStr(texts_[event]->text()));
}

void TPreferencesSpeechFrame::RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter)
{
    if (splitter)
        splitter->RegisterForSpiderOutput(
            kSpeechOutputMask, [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
}

void TPreferencesSpeechFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t)
{
    try {
        if (!enableSpeech_->isChecked())
            return;
        if (msg.FMsgType == OUTMSG_JOB_STARTED)
            Speak(StdStr(texts_[stJobStart]->text()), false);
        else if (msg.FMsgType == OUTMSG_JOB_ENDED)
            Speak(StdStr(texts_[stJobEnd]->text()), false);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

bool TPreferencesSpeechFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (QLineEdit* edit : texts_)
                if (watched == edit) {
                    Speak(StdStr(edit->text()), false);
                    return true;
                }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TPreferencesSpeechFrame::UpdateLanguageLabels()
{
    enableSpeech_->setText(QUIString(207));
    selectedVoiceLabel_->setText(QUIString(208));
    for (int i = 0; i < stCount; ++i) {
        labels_[i]->setText(QUIString(kLabelIds[i]));
        play_[i]->setToolTip(QUIString(382));
    }
    speechDisabledLabel_->setText(QUIString(206));
    ApplyLanguageFont(this);
}
