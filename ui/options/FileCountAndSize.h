#pragma once
// Job option page for the file count and size limits, and byte counts as the pages show them.
#include "ui/options/JobOptionPage.h"

#include <cstdint>
#include <string>

class QComboBox;
class QGroupBox;

// Whole MB from 1,048,576 up, whole KB from 1,024 up, else the plain number.
std::string FormatByteCount(int64_t count);

class TFileCountAndSizeFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TFileCountAndSizeFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    struct TSizeRow {
        QCheckBox* check;
        QLineEdit* edit;
        QComboBox* units;
    };

    QCheckBox* MaxDownloadCountCheck() const { return maxDownloadCountCheck_; }
    QLineEdit* MaxDownloadCount() const { return maxDownloadCount_; }
    const TSizeRow& MinFileSizeRow() const { return minFileSize_; }
    const TSizeRow& MaxFileSizeRow() const { return maxFileSize_; }
    const TSizeRow& MaxDownloadSizeRow() const { return maxDownloadSize_; }

private:
    TSizeRow MakeSizeRow();
    void ShowSizeLimit(const TSizeRow& row, int64_t bytes);
    // The row's limit in bytes, or -1 when it is off or cannot be read (it then turns off).
    int64_t ReadSizeLimit(const TSizeRow& row);

    QGroupBox* fileCountGroup_;
    QGroupBox* fileSizeGroup_;
    QCheckBox* maxDownloadCountCheck_;
    QLineEdit* maxDownloadCount_;
    TSizeRow minFileSize_;
    TSizeRow maxFileSize_;
    TSizeRow maxDownloadSize_;
};

// Shows a byte count in the largest unit that divides it exactly (MB, KB, bytes).
void SetSizeInUnits(int32_t bytes, QLineEdit* edit, QComboBox* units);
