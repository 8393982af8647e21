#pragma once
// The History preference page: whether the job editor keeps its drop-down histories, how
// long they are, and clearing them.
#include <QFrame>

class TPreferencesHost;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QString;

class TPreferencesHistoryFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPreferencesHistoryFrame(QWidget* parent = nullptr, TPreferencesHost* host = nullptr);

    void LoadHistoryPreferences();
    void UpdateLanguageLabels();
    // Asks first; Yes clears the histories.
    void ClearHistoryButtonClick();

    QCheckBox* EnableHistory() const { return enableHistory_; }
    QSpinBox* HistoryLength() const { return historyLength_; }
    QPushButton* ClearHistoryButton() const { return clearHistoryButton_; }

private:
    void EnableHistoryClick();
    void HistoryLengthChange(const QString& text);

    TPreferencesHost* host_;
    bool loading_ = false;
    QCheckBox* enableHistory_;
    QLabel* historyLengthLabel_;
    QSpinBox* historyLength_;
    QPushButton* clearHistoryButton_;
};
