#pragma once
// The Tip of the Day window: one tip at a time from the current language's tip file, read
// aloud on request; the next run continues after the tip seen last.
#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdint>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;

// [Tips] ShowOnStartup.
bool GetShowTipsOnStartup();
void SetShowTipsOnStartup(bool on);

// The tips of a file, one a line (CR LF, LF or CR end a line), empty lines included; no tips
// when the file is missing or is no regular file.
QStringList ReadTipsFile(const QString& path);
// "\r\n" in any letter case becomes a line break.
QString ExpandTipText(QString tip);
// An index below 0 wraps to the last tip, one at or past the end to the first; -1 without tips.
int WrapTipIndex(int64_t index, int count);
// Speech is offered only in a language named "English..." (any case).
bool IsEnglishLanguageName(const QString& name);

class TTipOfTheDayForm : public QDialog {
    Q_OBJECT
public:
    explicit TTipOfTheDayForm(QWidget* parent = nullptr);
    ~TTipOfTheDayForm() override;

    // folder ends with "/": the tip file is folder + "tips-" + ISO language code + ".txt".
    void SetTipsFolder(const QString& folder);
    const QString& TipsFile() const { return tipsFile_; }

    void UpdateLanguageLabels();
    void NextTipBtnClick();
    void PrevTipBtnClick();
    void SpeakBtnClick();

    int TipIndex() const { return tipIndex_; }
    int TipCount() const { return int(tips_.size()); }
    bool WasShown() const { return wasShown_; }
    QPlainTextEdit* TipMemo() const { return tipMemo_; }
    QPushButton* SpeakBtn() const { return speakBtn_; }
    QCheckBox* ShowOnStartup() const { return showOnStartup_; }

signals:
    // F1 was pressed in the tip window.
    void HelpRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    // Just below or above the parent window when that is shown and not maximised.
    void PlaceBesideParent();
    void ShowTip(int64_t index);
    void UpdateSpeakButton();
    void OnBlinkTimer();

    QString tipsFile_;
    QStringList tips_;
    int tipIndex_ = -1;
    bool wasShown_ = false;
    QElapsedTimer sinceBlink_;
    QPlainTextEdit* tipMemo_;
    QPushButton* closeBtn_;
    QPushButton* nextTipBtn_;
    QPushButton* prevTipBtn_;
    QPushButton* speakBtn_;
    QCheckBox* showOnStartup_;
    QStackedWidget* eyes_;  // page 0 eyes open, page 1 eyes closed
    QTimer* blinkTimer_;
};
