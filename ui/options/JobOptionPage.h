#pragma once
// One option page of the job editor. Every page works on the Start page's one edited job:
// load fills the controls from it, save writes the controls back.
#include <QFrame>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QString;
class QTreeWidget;
class TCopyJob;

class TJobOptionPage : public QFrame {
    Q_OBJECT
public:
    explicit TJobOptionPage(TCopyJob& job, QWidget* parent = nullptr) : QFrame(parent), job_(job) {}
    ~TJobOptionPage() override;

    virtual void LoadFromCopyJob() = 0;
    virtual void SaveToCopyJob() = 0;
    virtual void UpdateLanguageLabels() = 0;

protected:
    // Runs SaveToCopyJob whenever the focus leaves the page.
    void SaveOnFocusExit();

    TCopyJob& job_;

private:
    QMetaObject::Connection saveOnExit_;
};

// A whole number typed into a page: blanks around it allowed, an optional sign, decimal digits,
// within 32 bits. Anything else gives no value.
std::optional<int32_t> ReadIntegerText(const QString& text);

// A limit row that cannot be used turns itself off: box cleared, edit emptied.
void TurnLimitOff(QCheckBox* check, QLineEdit* edit);

// A read-only list of rows with columns; whole rows are selected, one at a time.
void SetReportStyle(QTreeWidget* view, int columns);
