#include "ui/options/JobProtocols.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QVBoxLayout>

TJobProtocolsFrame::TJobProtocolsFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      downloadHTTP_(new QCheckBox(this)),
      downloadHTTPS_(new QCheckBox(this)),
      downloadFTP_(new QCheckBox(this))
{
    downloadHTTPS_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(downloadHTTP_);
    layout->addWidget(downloadHTTPS_);
    layout->addWidget(downloadFTP_);
    layout->addStretch(1);
    UpdateLanguageLabels();
}

void TJobProtocolsFrame::ShowHTTPSOption()
{
    downloadHTTPS_->show();
}

void TJobProtocolsFrame::LoadFromCopyJob()
{
    downloadHTTP_->setChecked(job_.DownloadHTTP);
    downloadHTTPS_->setChecked(job_.DownloadHTTPS);
    downloadFTP_->setChecked(job_.DownloadFTP);
}

void TJobProtocolsFrame::SaveToCopyJob()
{
    job_.DownloadHTTP = downloadHTTP_->isChecked();
    job_.DownloadHTTPS = downloadHTTPS_->isChecked();
    job_.DownloadFTP = downloadFTP_->isChecked();
}

void TJobProtocolsFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    downloadHTTP_->setText(QUIString(111));
    downloadHTTPS_->setText(QUIString(113));
    downloadFTP_->setText(QUIString(112));
}
