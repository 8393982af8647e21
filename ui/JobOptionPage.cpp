#include "ui/JobOptionPage.h"

#include "ui/UIStrings.h"

#include <QLabel>
#include <QVBoxLayout>

TEmptyJobOptionPage::TEmptyJobOptionPage(TCopyJob& job, int captionStringId, QWidget* parent)
    : TJobOptionPage(job, parent), captionStringId_(captionStringId), caption_(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
    layout->addWidget(caption_);
    layout->addStretch(1);
    UpdateLanguageLabels();
}

void TEmptyJobOptionPage::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    caption_->setText(QUIString(captionStringId_));
}
