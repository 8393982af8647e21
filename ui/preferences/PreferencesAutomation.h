#pragma once
// The Automation preference page: clipboard monitoring, the job queue options and the quick
// copy hotkey; it owns the address range generator window.
#include <QFrame>

class TPreferencesHost;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TURLRangesForm;

// "F2" ... "F11" give 113 ... 122; any other text gives 0.
int HotkeyTextToVirtualKey(const QString& text);
// 113 ... 122 give rows 1 ... 10 of the hotkey list; any other code row 0 ("None").
int VirtualKeyToHotkeyIndex(int key);
// The key the quick-copy hotkey grabs for a stored ScrapeHotkey: only one the list can show, so
// a key the page shows as "None" is never grabbed; 0 for none.
int HotkeyToRegister(int storedKey);

class TPreferencesAutomationFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPreferencesAutomationFrame(QWidget* parent = nullptr, TPreferencesHost* host = nullptr);

    void LoadAutomationPreferences();
    void UpdateQueueControls();
    void FillHotkeyCombo();
    void UpdateLanguageLabels();

    QRadioButton* IgnoreClipboard() const { return ignoreClipboard_; }
    QRadioButton* PromptOnClipboardChange() const { return promptOnClipboardChange_; }
    QRadioButton* CreateJobOnClipboardChange() const { return createJobOnClipboardChange_; }
    QCheckBox* ShowJobQueue() const { return showJobQueue_; }
    QCheckBox* SaveQueue() const { return saveQueue_; }
    QCheckBox* FocusProgressOnJobStart() const { return focusProgressOnJobStart_; }
    QCheckBox* FocusQueueOnJobAdd() const { return focusQueueOnJobAdd_; }
    QComboBox* ScrapeHotkey() const { return scrapeHotkey_; }
    QPushButton* ShowURLRangeForm() const { return showURLRangeForm_; }
    TURLRangesForm* URLRangesForm() const { return urlRangesForm_; }

private:
    void OnOptionChanged(bool checked);
    // Stores the state of box under key unless the page is loading.
    void SaveBox(const char* key, const QCheckBox* box);
    void ShowJobQueueClick();
    void ScrapeHotkeySelect();
    void ShowURLRangeFormClick();

    TPreferencesHost* host_;
    bool loading_ = false;
    QGroupBox* clipboardGroup_;
    QRadioButton* ignoreClipboard_;
    QRadioButton* promptOnClipboardChange_;
    QRadioButton* createJobOnClipboardChange_;
    QCheckBox* showJobQueue_;
    QCheckBox* saveQueue_;
    QCheckBox* focusProgressOnJobStart_;
    QCheckBox* focusQueueOnJobAdd_;
    QPushButton* showURLRangeForm_;
    QLabel* scrapeHotkeyLabel_;
    QComboBox* scrapeHotkey_;
    TURLRangesForm* urlRangesForm_;  // its own window, owned by this page
};
