#include "ui/options/JobDLTime.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <climits>

namespace {

const int32_t kDefaultTimeoutSeconds = 60;
const int64_t kShortestTimeoutMs = 1000;
const int64_t kLongestTimeoutMs = 900000;

// The unit list, in this order.
enum { kMinutes, kHours, kSeconds };

// The word for seconds, taken from the brackets of the time-out label ("... (seconds):"), as the
// language table has no word of its own for it.
QString SecondsWord(const QString& timeoutLabel)
{
    const int open = timeoutLabel.lastIndexOf('(');
    const int close = timeoutLabel.lastIndexOf(')');
    if (open >= 0 && close > open + 1)
        return timeoutLabel.mid(open + 1, close - open - 1).trimmed();
    return QStringLiteral("seconds");
}

}  // namespace

TJobDLTimeFrame::TJobDLTimeFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      useJobDLTimeSpan_(new QCheckBox(this)),
      spanCount_(new QLineEdit(this)),
      timeSpans_(new QComboBox(this)),
      fileDLTimeoutLabel_(new QLabel(this)),
      fileDLTimeout_(new QLineEdit(this))
{
    spanCount_->setText("1");
    fileDLTimeout_->setText(QString::number(kDefaultTimeoutSeconds));
    spanCount_->setMaximumWidth(80);
    fileDLTimeout_->setMaximumWidth(80);
    auto* layout = new QGridLayout(this);
    layout->addWidget(useJobDLTimeSpan_, 0, 0);
    layout->addWidget(spanCount_, 0, 1);
    layout->addWidget(timeSpans_, 0, 2);
    layout->setRowMinimumHeight(1, 8);
    layout->addWidget(fileDLTimeoutLabel_, 2, 0);
    layout->addWidget(fileDLTimeout_, 2, 1);
    layout->setColumnStretch(3, 1);
    layout->setRowStretch(3, 1);
    UpdateLanguageLabels();
    timeSpans_->setCurrentIndex(0);
}

void TJobDLTimeFrame::LoadFromCopyJob()
{
    const int32_t seconds = job_.MaxSecondsForAllDownloads;
    int unit = kMinutes;
    if (seconds == -1) {
        useJobDLTimeSpan_->setChecked(false);
        spanCount_->setText("1");
    } else {
        // The largest unit that shows the limit exactly (0 shows as 0 hours).
        useJobDLTimeSpan_->setChecked(true);
        if (seconds % 3600 == 0) {
            spanCount_->setText(QString::number(seconds / 3600));
            unit = kHours;
        } else if (seconds % 60 == 0) {
            spanCount_->setText(QString::number(seconds / 60));
        } else {
            spanCount_->setText(QString::number(seconds));
            unit = kSeconds;
        }
    }
    timeSpans_->setCurrentIndex(unit);
    // 0 is no time-out of our own: it shows as 0 rather than keeping the previous job's value.
    fileDLTimeout_->setText(QString::number(job_.DownloadOptions.Timeout / 1000));
    loaded_ = TLoaded{useJobDLTimeSpan_->isChecked(), spanCount_->text(), unit, fileDLTimeout_->text(), seconds,
                      job_.DownloadOptions.Timeout};
}

void TJobDLTimeFrame::SaveToCopyJob()
{
    // Controls left as the last load set them give back the values they came from, so limits the
    // controls cannot show exactly survive an edit of the job.
    const bool limited = useJobDLTimeSpan_->isChecked();
    if (loaded_ && limited == loaded_->limited &&
        (!limited || (spanCount_->text() == loaded_->span && timeSpans_->currentIndex() == loaded_->unit))) {
        job_.MaxSecondsForAllDownloads = loaded_->seconds;
    } else {
        std::optional<int32_t> span = ReadIntegerText(spanCount_->text());
        // A negative span would end the job at once; it is read as no number.
        if (!span || *span < 0)
            useJobDLTimeSpan_->setChecked(false);
        if (useJobDLTimeSpan_->isChecked()) {
            const int unit = timeSpans_->currentIndex();
            const int64_t factor = unit == kHours ? 3600 : unit == kSeconds ? 1 : 60;
            job_.MaxSecondsForAllDownloads = static_cast<int32_t>(std::min<int64_t>(int64_t{*span} * factor, INT32_MAX));
        } else {
            job_.MaxSecondsForAllDownloads = -1;
        }
    }
    if (loaded_ && fileDLTimeout_->text() == loaded_->timeout) {
        job_.DownloadOptions.Timeout = loaded_->timeoutMs;
    } else {
        std::optional<int32_t> timeout = ReadIntegerText(fileDLTimeout_->text());
        int64_t ms = int64_t{timeout.value_or(kDefaultTimeoutSeconds)} * 1000;
        job_.DownloadOptions.Timeout = static_cast<int32_t>(std::clamp(ms, kShortestTimeoutMs, kLongestTimeoutMs));
    }
}

void TJobDLTimeFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    useJobDLTimeSpan_->setText(QUIString(107));
    int selected = timeSpans_->currentIndex();
    timeSpans_->clear();
    timeSpans_->addItems({QUIString(108), QUIString(109), SecondsWord(QUIString(110))});
    timeSpans_->setCurrentIndex(selected);
    fileDLTimeoutLabel_->setText(QUIString(110));
}
