#include "ui/EmptyPageFrame.h"

#include "ui/UIStrings.h"

#include <QLabel>
#include <QVBoxLayout>

TEmptyPageFrame::TEmptyPageFrame(int captionStringId, QWidget* parent)
    : QFrame(parent), captionStringId_(captionStringId), caption_(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    caption_->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption_);
    UpdateLanguageLabels();
}

void TEmptyPageFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    caption_->setText(QUIString(captionStringId_));
}
