#pragma once
// The Sounds preference page: a sound file for job start, job end and each finished download,
// played as the engine reports those events.
#include <QFrame>

#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSoundEffect;
class QToolButton;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;

class TPreferencesSoundsFrame : public QFrame {
    Q_OBJECT
public:
    enum TSoundEvent : int { seJobStart = 0, seJobEnd = 1, seFileDownload = 2, seCount = 3 };
    // Starts playing a file and returns at once.
    using TSoundPlayer = std::function<void(const std::string& path)>;

    explicit TPreferencesSoundsFrame(QWidget* parent = nullptr);
    ~TPreferencesSoundsFrame() override;

    // Tests replace the real playback.
    void SetSoundPlayer(TSoundPlayer player) { player_ = std::move(player); }

    void LoadSoundPreferences();
    // Plays an existing file; a missing one plays nothing and says nothing.
    void PlaySoundFile(const std::string& path);
    void RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter);
    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);
    void UpdateLanguageLabels();

    QCheckBox* EnableSounds() const { return enableSounds_; }
    QLineEdit* FileName(int event) const { return files_.at(static_cast<size_t>(event)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnableSoundControls(bool enabled);
    void EnableSoundsClick();
    void OnFileNameChange(int event);
    void BrowseForSoundFile(QLineEdit* edit);
    void PlayEditFile(const QLineEdit* edit);

    bool saveEnabled_ = true;
    TSoundPlayer player_;
    QSoundEffect* effect_ = nullptr;
    QCheckBox* enableSounds_;
    std::array<QLabel*, seCount> labels_{};
    std::array<QLineEdit*, seCount> files_{};
    std::array<QToolButton*, seCount> browse_{};
    std::array<QToolButton*, seCount> play_{};
};
