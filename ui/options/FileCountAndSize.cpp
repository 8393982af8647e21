#include "ui/options/FileCountAndSize.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

const char* const kUnit = "FileCountAndSize";
constexpr int64_t kKB = 1024;
constexpr int64_t kMB = 1024 * 1024;

}  // namespace

std::string FormatByteCount(int64_t count)
{
    if (count >= kMB)
        return std::to_string(count / kMB) + " MB";
    if (count >= kKB)
        return std::to_string(count / kKB) + " KB";
    return std::to_string(count);
}

void SetSizeInUnits(int32_t bytes, QLineEdit* edit, QComboBox* units)
{
    try {
        int64_t count = bytes;
        const char* unit = "bytes";
        if (count >= kMB && count % kMB == 0) {
            count /= kMB;
            unit = "MB";
        } else if (count >= kKB && count % kKB == 0) {
            count /= kKB;
            unit = "KB";
        }
        edit->setText(QString::number(count));
        units->setCurrentIndex(units->findText(unit));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SetSizeInUnits", kUnit);
    }
}

TFileCountAndSizeFrame::TFileCountAndSizeFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      fileCountGroup_(new QGroupBox(this)),
      fileSizeGroup_(new QGroupBox(this)),
      maxDownloadCountCheck_(new QCheckBox(fileCountGroup_)),
      maxDownloadCount_(new QLineEdit(fileCountGroup_)),
      minFileSize_(MakeSizeRow()),
      maxFileSize_(MakeSizeRow()),
      maxDownloadSize_(MakeSizeRow())
{
    for (QLineEdit* edit : {maxDownloadCount_, minFileSize_.edit, maxFileSize_.edit, maxDownloadSize_.edit})
        edit->setMaximumWidth(120);
    auto* countLayout = new QGridLayout(fileCountGroup_);
    countLayout->addWidget(maxDownloadCountCheck_, 0, 0);
    countLayout->addWidget(maxDownloadCount_, 0, 1);
    countLayout->setColumnStretch(0, 1);
    auto* sizeLayout = new QGridLayout(fileSizeGroup_);
    int r = 0;
    for (const TSizeRow* row : {&minFileSize_, &maxFileSize_, &maxDownloadSize_}) {
        sizeLayout->addWidget(row->check, r, 0);
        sizeLayout->addWidget(row->edit, r, 1);
        sizeLayout->addWidget(row->units, r, 2);
        ++r;
    }
    sizeLayout->setColumnStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileCountGroup_);
    layout->addWidget(fileSizeGroup_);
    layout->addStretch(1);
    UpdateLanguageLabels();
}

TFileCountAndSizeFrame::TSizeRow TFileCountAndSizeFrame::MakeSizeRow()
{
    TSizeRow row{new QCheckBox(fileSizeGroup_), new QLineEdit(fileSizeGroup_), new QComboBox(fileSizeGroup_)};
    row.units->addItems({"bytes", "KB", "MB"});
    row.units->setCurrentIndex(1);
    return row;
}

void TFileCountAndSizeFrame::ShowSizeLimit(const TSizeRow& row, int64_t bytes)
{
    if (bytes == -1) {
        TurnLimitOff(row.check, row.edit);
        return;
    }
    row.check->setChecked(true);
    SetSizeInUnits(static_cast<int32_t>(std::clamp<int64_t>(bytes, INT32_MIN, INT32_MAX)), row.edit, row.units);
}

int64_t TFileCountAndSizeFrame::ReadSizeLimit(const TSizeRow& row)
{
    if (!row.check->isChecked())
        return -1;
    std::optional<int32_t> number = ReadIntegerText(row.edit->text());
    // A negative limit would refuse every file; it is read as no number.
    if (!number || *number < 0) {
        TurnLimitOff(row.check, row.edit);
        return -1;
    }
    const QString units = row.units->currentText();
    int64_t factor = units == "MB" ? kMB : units == "KB" ? kKB : 1;
    return std::min<int64_t>(int64_t{*number} * factor, INT32_MAX);
}

void TFileCountAndSizeFrame::LoadFromCopyJob()
{
    if (job_.MaxFileCount == -1) {
        TurnLimitOff(maxDownloadCountCheck_, maxDownloadCount_);
    } else {
        maxDownloadCountCheck_->setChecked(true);
        maxDownloadCount_->setText(QString::number(job_.MaxFileCount));
    }
    ShowSizeLimit(minFileSize_, job_.MinFileSize);
    ShowSizeLimit(maxFileSize_, job_.MaxFileSize);
    ShowSizeLimit(maxDownloadSize_, job_.MaxJobDownloadSize);
}

void TFileCountAndSizeFrame::SaveToCopyJob()
{
    job_.MaxFileCount = -1;
    if (maxDownloadCountCheck_->isChecked()) {
        std::optional<int32_t> count = ReadIntegerText(maxDownloadCount_->text());
        if (count && *count >= 0)
            job_.MaxFileCount = *count;
        else
            TurnLimitOff(maxDownloadCountCheck_, maxDownloadCount_);
    }
    job_.MinFileSize = static_cast<int32_t>(ReadSizeLimit(minFileSize_));
    job_.MaxFileSize = static_cast<int32_t>(ReadSizeLimit(maxFileSize_));
    job_.MaxJobDownloadSize = ReadSizeLimit(maxDownloadSize_);
}

void TFileCountAndSizeFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    maxDownloadCountCheck_->setText(QUIString(90));
    minFileSize_.check->setText(QUIString(91));
    maxFileSize_.check->setText(QUIString(92));
    maxDownloadSize_.check->setText(QUIString(93));
}
