#pragma once
// The address range generator: turns a first and last address, or a pattern with a replace
// symbol and two counter ends, into a list of addresses, and makes a job of each.
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The most lines one run of the generator makes.
constexpr int kMaxRangeLines = 10001;

// What the automatic generation derives from two addresses.
struct TAutoRange {
    QString pattern;
    QString symbol;
    QString rangeStart;
    QString rangeEnd;
};

enum class TRangeKind { Numeric, Letters, Unusable };

// The longest common start of both addresses, and the common end taken from the right while
// more than prefix length + 1 characters of the end address remain.
void FindCommonPrefixAndSuffix(const QString& start, const QString& end, QString& prefix, QString& suffix);
// Pattern "prefix[x]suffix" and the two middles.
TAutoRange MakeAutoRange(const QString& start, const QString& end);

// Which generator suits two range ends (as the manual generation adjusts their case first).
TRangeKind ClassifyRange(QString& rangeStart, QString& rangeEnd);
// Each value put into pattern in place of the first symbol; a run stops at a repeat of its first
// line. Numbers keep the width of the ends when both have the same length; an end above
// start + 10000 is lowered to it; an unreadable number gives nothing more.
void GenerateNumericRange(const QString& pattern, const QString& symbol, const QString& rangeStart,
                          const QString& rangeEnd, QStringList& lines);
// Letter strings, both ends of one case, the shorter padded on the left ('a' / 'z'); at most
// 10000 lines.
void GenerateLetterRange(const QString& pattern, const QString& symbol, const QString& rangeStart,
                         const QString& rangeEnd, QStringList& lines);
// The next letter string of the same case; False when every character is already 'z' ('Z').
bool IncrementLetterString(QString& value);

// Takes a list of addresses as work; mode as the main window's OpenURLList.
class TURLListOpener {
public:
    virtual void OpenURLList(const std::vector<std::string>& addresses, int mode) = 0;

protected:
    ~TURLListOpener() = default;
};

class TURLRangesForm : public QWidget {
    Q_OBJECT
public:
    // Receives the result lines of Create Jobs.
    using TCreateJobs = std::function<void(const QStringList& addresses)>;

    // Create Jobs hands the lines to opener (none: to no one) through CreateJobsForAddresses.
    explicit TURLRangesForm(QWidget* parent = nullptr, TURLListOpener* opener = nullptr);

    // Tests replace the hand-over to the opener.
    void SetCreateJobsHandler(TCreateJobs handler) { createJobs_ = std::move(handler); }

    void SetCreateJobsVisible(bool on);
    void UpdateLanguageLabels();
    // Shows the window and brings it to the front.
    void ShowAndActivate();

    void AutoGenerateButtonClick();
    void ManualGenerateButtonClick();
    void CreateJobsButtonClick();

    QLineEdit* StartAddress() const { return startAddress_; }
    QLineEdit* EndAddress() const { return endAddress_; }
    QLineEdit* Pattern() const { return pattern_; }
    QLineEdit* ReplaceSymbol() const { return replaceSymbol_; }
    QLineEdit* RangeStart() const { return rangeStart_; }
    QLineEdit* RangeEnd() const { return rangeEnd_; }
    QPlainTextEdit* Results() const { return results_; }
    QPushButton* AutoGenerateButton() const { return autoGenerateButton_; }
    QPushButton* ManualGenerateButton() const { return manualGenerateButton_; }
    QPushButton* CreateJobsButton() const { return createJobsButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void UpdateButtons();

    TCreateJobs createJobs_;
    QGroupBox* autoGroup_;
    QLabel* startAddressLabel_;
    QLineEdit* startAddress_;
    QLabel* endAddressLabel_;
    QLineEdit* endAddress_;
    QPushButton* autoGenerateButton_;
    QGroupBox* manualGroup_;
    QLabel* patternLabel_;
    QLineEdit* pattern_;
    QLabel* replaceSymbolLabel_;
    QLineEdit* replaceSymbol_;
    QLabel* rangeStartLabel_;
    QLineEdit* rangeStart_;
    QLabel* rangeEndLabel_;
    QLineEdit* rangeEnd_;
    QPushButton* manualGenerateButton_;
    QLabel* resultsLabel_;
    QPlainTextEdit* results_;
    QPushButton* createJobsButton_;
};

// The default hand-over: one job per address through the Start page, stopping at the first
// address the queue refuses (full, or hidden and busy) or the Start page refuses.
void CreateJobsForAddresses(TURLListOpener& opener, const QStringList& addresses);
