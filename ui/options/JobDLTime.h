#pragma once
// Job option page: the time limit of the whole job (in hours, minutes or seconds) and the
// time-out of one download.
#include "ui/options/JobOptionPage.h"

#include <QString>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;

class TJobDLTimeFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TJobDLTimeFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    QCheckBox* UseJobDLTimeSpan() const { return useJobDLTimeSpan_; }
    QLineEdit* SpanCount() const { return spanCount_; }
    QComboBox* TimeSpans() const { return timeSpans_; }
    QLineEdit* FileDLTimeout() const { return fileDLTimeout_; }
    QLabel* FileDLTimeoutLabel() const { return fileDLTimeoutLabel_; }

private:
    QCheckBox* useJobDLTimeSpan_;
    QLineEdit* spanCount_;
    QComboBox* timeSpans_;
    QLabel* fileDLTimeoutLabel_;
    QLineEdit* fileDLTimeout_;
    // What the last load showed, and the values it came from.
    struct TLoaded {
        bool limited;
        QString span;
        int unit;
        QString timeout;
        int32_t seconds;
        int32_t timeoutMs;
    };
    std::optional<TLoaded> loaded_;
};
