#include "ui/dialogs/URLRanges.h"

#include "ui/common/MessageBoxes.h"
#include "ui/start/Start.h"
#include "ui/common/UIStrings.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

constexpr int kMaxLetterLines = 10000;
constexpr int64_t kMaxNumericSpan = 10000;
const char* const kExampleHost = "www.example.com";

bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }
bool IsUpper(QChar c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(QChar c) { return c >= 'a' && c <= 'z'; }

bool AllOf(const QString& s, bool (*test)(QChar))
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), test);
}

bool IsDigits(const QString& s) { return AllOf(s, IsDigit); }
bool IsLetters(const QString& s) { return AllOf(s, [](QChar c) { return IsUpper(c) || IsLower(c); }); }
bool IsLowerLetters(const QString& s) { return AllOf(s, IsLower); }
bool IsUpperLetters(const QString& s) { return AllOf(s, IsUpper); }

bool IsBlank(const QString& s) { return s.trimmed().isEmpty(); }

QString AsciiUpper(QString s)
{
    for (QChar& c : s)
        if (IsLower(c))
            c = QChar(c.unicode() - 'a' + 'A');
    return s;
}

QString AsciiLower(QString s)
{
    for (QChar& c : s)
        if (IsUpper(c))
            c = QChar(c.unicode() - 'A' + 'a');
    return s;
}

QString MakeLine(const QString& pattern, const QString& symbol, const QString& value)
{
    QString line = pattern;
    const qsizetype at = line.indexOf(symbol, 0, Qt::CaseSensitive);
    if (at >= 0)
        line.replace(at, symbol.size(), value);
    return line;
}

// Appends the line unless it repeats the run's first line; False ends the run.
bool AppendLine(QStringList& lines, qsizetype firstOfRun, const QString& line)
{
    if (lines.size() > firstOfRun && lines[firstOfRun] == line)
        return false;
    lines.append(line);
    return true;
}

void GetRangeMiddles(const QString& start, const QString& end, const QString& prefix, const QString& suffix,
                     QString& startMiddle, QString& endMiddle)
{
    auto middle = [&](const QString& s) {
        const qsizetype length = s.size() - prefix.size() - suffix.size();
        return length > 0 ? s.mid(prefix.size(), length) : QString();
    };
    startMiddle = middle(start);
    endMiddle = middle(end);
}

}  // namespace

void FindCommonPrefixAndSuffix(const QString& start, const QString& end, QString& prefix, QString& suffix)
{
    qsizetype p = 0;
    while (p < start.size() && p < end.size() && start[p] == end[p])
        ++p;
    prefix = start.left(p);
    qsizetype s = 0;
    while (s < start.size() && s < end.size() && start[start.size() - 1 - s] == end[end.size() - 1 - s]) {
        ++s;
        if (end.size() - s <= prefix.size() + 1)
            break;
    }
    suffix = start.right(s);
}

TAutoRange MakeAutoRange(const QString& start, const QString& end)
{
    QString prefix, suffix;
    FindCommonPrefixAndSuffix(start, end, prefix, suffix);
    if (prefix.size() + suffix.size() == start.size()) {
        if (!prefix.isEmpty() && IsDigit(prefix.back()))
            prefix.chop(1);
        else if (!suffix.isEmpty() && IsDigit(suffix.front()))
            suffix.remove(0, 1);
    }
    QString startMiddle, endMiddle;
    GetRangeMiddles(start, end, prefix, suffix, startMiddle, endMiddle);
    // Equal numbers ("page10" / "page10x"): widen to the left until they differ.
    while (IsDigits(startMiddle) && IsDigits(endMiddle) && !prefix.isEmpty()) {
        bool okStart = false, okEnd = false;
        const qulonglong a = startMiddle.toULongLong(&okStart);
        const qulonglong b = endMiddle.toULongLong(&okEnd);
        if (!okStart || !okEnd || a != b)
            break;
        prefix.chop(1);
        GetRangeMiddles(start, end, prefix, suffix, startMiddle, endMiddle);
    }
    return {prefix + "[x]" + suffix, "[x]", startMiddle, endMiddle};
}

TRangeKind ClassifyRange(QString& rangeStart, QString& rangeEnd)
{
    if (IsLetters(rangeStart) && IsLetters(rangeEnd)) {
        if (std::any_of(rangeStart.begin(), rangeStart.end(), IsUpper)) {
            rangeStart = AsciiUpper(rangeStart);
            rangeEnd = AsciiUpper(rangeEnd);
        } else {
            rangeEnd = AsciiLower(rangeEnd);
        }
    }
    if (IsDigits(rangeStart) && IsDigits(rangeEnd))
        return TRangeKind::Numeric;
    if (IsLetters(rangeStart) && IsLetters(rangeEnd))
        return TRangeKind::Letters;
    return TRangeKind::Unusable;
}

void GenerateNumericRange(const QString& pattern, const QString& symbol, const QString& rangeStart,
                          const QString& rangeEnd, QStringList& lines)
{
    bool okStart = false, okEnd = false;
    const int start = rangeStart.toInt(&okStart);
    const int end = rangeEnd.toInt(&okEnd);
    if (!okStart || !okEnd)
        return;
    const int width = rangeStart.size() == rangeEnd.size() ? int(rangeStart.size()) : 0;
    // 64-bit, so an end near the 32-bit limit cannot wrap around.
    const int64_t last = std::min<int64_t>(end, int64_t(start) + kMaxNumericSpan);
    const qsizetype first = lines.size();
    for (int64_t value = start; value <= last; ++value)
        if (!AppendLine(lines, first, MakeLine(pattern, symbol, QString("%1").arg(value, width, 10, QChar('0')))))
            return;
}

bool IncrementLetterString(QString& value)
{
    if (value.isEmpty())
        return false;
    const bool upper = IsUpper(value[0]);
    const QChar lowest = upper ? 'A' : 'a';
    const QChar highest = upper ? 'Z' : 'z';
    for (qsizetype i = value.size() - 1; i >= 0; --i) {
        if (value[i] < highest) {
            value[i] = QChar(value[i].unicode() + 1);
            for (qsizetype j = i + 1; j < value.size(); ++j)
                value[j] = lowest;
            return true;
        }
    }
    return false;
}

void GenerateLetterRange(const QString& pattern, const QString& symbol, const QString& rangeStart,
                         const QString& rangeEnd, QStringList& lines)
{
    QChar lowest, highest;
    if (IsLowerLetters(rangeStart) && IsLowerLetters(rangeEnd)) {
        lowest = 'a';
        highest = 'z';
    } else if (IsUpperLetters(rangeStart) && IsUpperLetters(rangeEnd)) {
        lowest = 'A';
        highest = 'Z';
    } else {
        return;
    }
    const qsizetype width = std::max(rangeStart.size(), rangeEnd.size());
    QString value = QString(width - rangeStart.size(), lowest) + rangeStart;
    const QString end = QString(width - rangeEnd.size(), highest) + rangeEnd;
    const qsizetype first = lines.size();
    for (int made = 0; made < kMaxLetterLines; ++made) {
        if (!AppendLine(lines, first, MakeLine(pattern, symbol, value)))
            return;
        if (value == end || !IncrementLetterString(value))
            return;
    }
}

void CreateJobsForAddresses(TURLListOpener& opener, const QStringList& addresses)
{
    std::vector<std::string> lines;
    for (const QString& address : addresses)
        // A blank line (the end of the box, say) would make a job without an address.
        if (!IsBlank(address))
            lines.push_back(StdStr(address));
    opener.OpenURLList(lines, 2);  // a job for each address, up to the first refusal
}

TURLRangesForm::TURLRangesForm(QWidget* parent, TURLListOpener* opener)
    : QWidget(parent, Qt::Window),
      autoGroup_(new QGroupBox(this)),
      startAddressLabel_(new QLabel(autoGroup_)),
      startAddress_(new QLineEdit(autoGroup_)),
      endAddressLabel_(new QLabel(autoGroup_)),
      endAddress_(new QLineEdit(autoGroup_)),
      autoGenerateButton_(new QPushButton(autoGroup_)),
      manualGroup_(new QGroupBox(this)),
      patternLabel_(new QLabel(manualGroup_)),
      pattern_(new QLineEdit(manualGroup_)),
      replaceSymbolLabel_(new QLabel(manualGroup_)),
      replaceSymbol_(new QLineEdit(manualGroup_)),
      rangeStartLabel_(new QLabel(manualGroup_)),
      rangeStart_(new QLineEdit(manualGroup_)),
      rangeEndLabel_(new QLabel(manualGroup_)),
      rangeEnd_(new QLineEdit(manualGroup_)),
      manualGenerateButton_(new QPushButton(manualGroup_)),
      resultsLabel_(new QLabel(this)),
      results_(new QPlainTextEdit(this)),
      createJobsButton_(new QPushButton(this))
{
    if (opener)
        createJobs_ = [opener](const QStringList& lines) { CreateJobsForAddresses(*opener, lines); };
    auto* autoLayout = new QGridLayout(autoGroup_);
    autoLayout->addWidget(startAddressLabel_, 0, 0);
    autoLayout->addWidget(startAddress_, 0, 1);
    autoLayout->addWidget(endAddressLabel_, 1, 0);
    autoLayout->addWidget(endAddress_, 1, 1);
    autoLayout->addWidget(autoGenerateButton_, 2, 1, Qt::AlignRight);
    auto* manualLayout = new QGridLayout(manualGroup_);
    manualLayout->addWidget(patternLabel_, 0, 0);
    manualLayout->addWidget(pattern_, 0, 1, 1, 3);
    manualLayout->addWidget(replaceSymbolLabel_, 1, 0);
    manualLayout->addWidget(replaceSymbol_, 1, 1);
    manualLayout->addWidget(rangeStartLabel_, 2, 0);
    manualLayout->addWidget(rangeStart_, 2, 1);
    manualLayout->addWidget(rangeEndLabel_, 2, 2);
    manualLayout->addWidget(rangeEnd_, 2, 3);
    manualLayout->addWidget(manualGenerateButton_, 3, 3, Qt::AlignRight);
    results_->setLineWrapMode(QPlainTextEdit::NoWrap);
    results_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    results_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(createJobsButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(autoGroup_);
    layout->addWidget(manualGroup_);
    layout->addWidget(resultsLabel_);
    layout->addWidget(results_, 1);
    layout->addLayout(bottom);
    resize(520, 480);

    for (QLineEdit* edit : {startAddress_, endAddress_, pattern_, replaceSymbol_, rangeStart_, rangeEnd_})
        connect(edit, &QLineEdit::textChanged, this, &TURLRangesForm::UpdateButtons);
    connect(results_, &QPlainTextEdit::textChanged, this, &TURLRangesForm::UpdateButtons);
    connect(autoGenerateButton_, &QPushButton::clicked, this, &TURLRangesForm::AutoGenerateButtonClick);
    connect(manualGenerateButton_, &QPushButton::clicked, this, &TURLRangesForm::ManualGenerateButtonClick);
    connect(createJobsButton_, &QPushButton::clicked, this, &TURLRangesForm::CreateJobsButtonClick);
    UpdateButtons();
    UpdateLanguageLabels();
}

void TURLRangesForm::SetCreateJobsVisible(bool on)
{
    createJobsButton_->setVisible(on);
}

void TURLRangesForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(287));
    autoGroup_->setTitle(QUIString(288));
    startAddressLabel_->setText(QUIString(289));
    endAddressLabel_->setText(QUIString(290));
    autoGenerateButton_->setText(QUIString(291));
    manualGroup_->setTitle(QUIString(292));
    patternLabel_->setText(QUIString(293));
    replaceSymbolLabel_->setText(QUIString(294));
    rangeStartLabel_->setText(QUIString(295));
    rangeEndLabel_->setText(QUIString(296));
    manualGenerateButton_->setText(QUIString(291));
    resultsLabel_->setText(QUIString(297));
    createJobsButton_->setText(QUIString(298));
    ApplyLanguageFont(this);
}

void TURLRangesForm::ShowAndActivate()
{
    show();
    raise();
    activateWindow();
}

void TURLRangesForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TURLRangesForm::FormShow()
{
    if (!startAddress_->text().isEmpty() || !endAddress_->text().isEmpty())
        return;
    startAddress_->setText(QString("http://%1/page1.html").arg(kExampleHost));
    endAddress_->setText(QString("http://%1/page100.html").arg(kExampleHost));
    results_->clear();
}

void TURLRangesForm::UpdateButtons()
{
    autoGenerateButton_->setEnabled(!IsBlank(startAddress_->text()) && !IsBlank(endAddress_->text()));
    manualGenerateButton_->setEnabled(!IsBlank(pattern_->text()) && !IsBlank(replaceSymbol_->text()) &&
                                      !IsBlank(rangeStart_->text()) && !IsBlank(rangeEnd_->text()));
    createJobsButton_->setEnabled(!results_->document()->isEmpty());
}

void TURLRangesForm::AutoGenerateButtonClick()
{
    try {
        const QString start = startAddress_->text().trimmed();
        const QString end = endAddress_->text().trimmed();
        startAddress_->setText(start);
        endAddress_->setText(end);
        if (start.isEmpty() || end.isEmpty())
            return;
        const TAutoRange range = MakeAutoRange(start, end);
        replaceSymbol_->setText(range.symbol);
        pattern_->setText(range.pattern);
        rangeStart_->setText(range.rangeStart);
        rangeEnd_->setText(range.rangeEnd);
        ManualGenerateButtonClick();
    } catch (const std::exception&) {
        // Ends quietly, with what was made so far left in the box.
    }
}

void TURLRangesForm::ManualGenerateButtonClick()
{
    for (QLineEdit* edit : {pattern_, replaceSymbol_, rangeStart_, rangeEnd_})
        edit->setText(edit->text().trimmed());
    results_->clear();
    const QString pattern = pattern_->text();
    const QString symbol = replaceSymbol_->text();
    QString rangeStart = rangeStart_->text();
    QString rangeEnd = rangeEnd_->text();
    if (pattern.isEmpty() || symbol.isEmpty() || rangeStart.isEmpty() || rangeEnd.isEmpty())
        return;
    const TRangeKind kind = ClassifyRange(rangeStart, rangeEnd);
    if (kind == TRangeKind::Unusable) {
        ShowMessageBox(this, QUIString(300), QUIString(299), TBoxIcon::Warning);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStringList lines;
    if (kind == TRangeKind::Numeric)
        GenerateNumericRange(pattern, symbol, rangeStart, rangeEnd, lines);
    else
        GenerateLetterRange(pattern, symbol, rangeStart, rangeEnd, lines);
    results_->setPlainText(lines.join('\n'));
    QApplication::restoreOverrideCursor();
}

void TURLRangesForm::CreateJobsButtonClick()
{
    const QString text = results_->toPlainText();
    if (text.isEmpty() || !createJobs_)
        return;
    createJobs_(text.split(QRegularExpression("\r\n|\r|\n")));
}
