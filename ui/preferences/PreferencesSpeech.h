#pragma once
// The Speech preference page: texts spoken at program start and exit and at job start and
// end, and the voice that speaks them.
#include <QFrame>
#include <QList>
#include <QVoice>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;

class TPreferencesSpeechFrame : public QFrame {
    Q_OBJECT
public:
    enum TSpeechText : int { stAppStart = 0, stAppEnd = 1, stJobStart = 2, stJobEnd = 3, stCount = 4 };

    explicit TPreferencesSpeechFrame(QWidget* parent = nullptr);
    // Speaks the exit text, waiting for it at most 10 seconds.
    ~TPreferencesSpeechFrame() override;

    void FillVoiceList();
    // The first load also speaks the program-start text.
    void LoadSpeechPreferences();
    void RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter);
    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);
    void UpdateLanguageLabels();

    QCheckBox* EnableSpeech() const { return enableSpeech_; }
    QComboBox* SystemVoices() const { return systemVoices_; }
    QLineEdit* Text(int which) const { return texts_.at(static_cast<size_t>(which)); }
    QWidget* SpeechEnabledPanel() const { return speechEnabledPanel_; }
    QLabel* SpeechDisabledLabel() const { return speechDisabledLabel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnableSpeechControls(bool enabled);
    void EnableSpeechClick();
    void SystemVoicesChange();
    void OnTextChange(int event);

    bool saveEnabled_ = true;
    bool startTextSpoken_ = false;
    QLabel* speechDisabledLabel_;
    QWidget* speechEnabledPanel_;
    QCheckBox* enableSpeech_;
    QLabel* selectedVoiceLabel_;
    QComboBox* systemVoices_;
    QList<QVoice> voices_;  // beside the rows of systemVoices_
    std::array<QLabel*, stCount> labels_{};
    std::array<QLineEdit*, stCount> texts_{};
    std::array<QToolButton*, stCount> play_{};
};
