#include "ui/JobDLTime.h"

#include "engine/JobTypes.h"
#include "ui/UIStrings.h"

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
    QString word;
    if (seconds == -1) {
        useJobDLTimeSpan_->setChecked(false);
        spanCount_->setText("1");
        word = minutesWord_;
    } else {
        useJobDLTimeSpan_->setChecked(true);
        if (seconds % 3600 != 0) {
            spanCount_->setText(QString::number(seconds / 60));
            word = minutesWord_;
        } else {
            spanCount_->setText(QString::number(seconds / 3600));
            word = hoursWord_;
        }
    }
    int index = timeSpans_->findText(word);
    if (index >= 0)
        timeSpans_->setCurrentIndex(index);
    if (job_.DownloadOptions.Timeout != 0)
        fileDLTimeout_->setText(QString::number(job_.DownloadOptions.Timeout / 1000));
}

void TJobDLTimeFrame::SaveToCopyJob()
{
    std::optional<int32_t> span = ReadIntegerText(spanCount_->text());
    // A negative span would end the job at once; it is read as no number.
    if (!span || *span < 0)
        useJobDLTimeSpan_->setChecked(false);
    if (useJobDLTimeSpan_->isChecked()) {
        int64_t factor = timeSpans_->currentText() == hoursWord_ ? 3600 : 60;
        job_.MaxSecondsForAllDownloads = static_cast<int32_t>(std::min<int64_t>(int64_t{*span} * factor, INT32_MAX));
    } else {
        job_.MaxSecondsForAllDownloads = -1;
    }
    std::optional<int32_t> timeout = ReadIntegerText(fileDLTimeout_->text());
    int64_t ms = int64_t{timeout.value_or(kDefaultTimeoutSeconds)} * 1000;
    job_.DownloadOptions.Timeout = static_cast<int32_t>(std::clamp(ms, kShortestTimeoutMs, kLongestTimeoutMs));
}

void TJobDLTimeFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    useJobDLTimeSpan_->setText(QUIString(107));
    minutesWord_ = QUIString(108);
    hoursWord_ = QUIString(109);
    int selected = timeSpans_->currentIndex();
    timeSpans_->clear();
    timeSpans_->addItems({minutesWord_, hoursWord_});
    timeSpans_->setCurrentIndex(selected);
    fileDLTimeoutLabel_->setText(QUIString(110));
}
