#pragma once
// Job option page: which protocols the job downloads with.
#include "ui/options/JobOptionPage.h"

class TJobProtocolsFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit TJobProtocolsFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;
    void ShowHTTPSOption();

    QCheckBox* DownloadHTTP() const { return downloadHTTP_; }
    QCheckBox* DownloadHTTPS() const { return downloadHTTPS_; }
    QCheckBox* DownloadFTP() const { return downloadFTP_; }

private:
    QCheckBox* downloadHTTP_;
    QCheckBox* downloadHTTPS_;
    QCheckBox* downloadFTP_;
};
