#include "ui/options/HTMLHeader.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// The memos keep "\n"; the job keeps CR LF line ends, as its file and the page rewriter use.
QString ToMemo(const std::string& text)
{
    return QStr(text).replace("\r\n", "\n");
}

std::string FromMemo(const QPlainTextEdit* memo)
{
    return StdStr(memo->toPlainText().replace("\n", "\r\n"));
}

}  // namespace

THTMLHeaderFrame::THTMLHeaderFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      addHeaderLabel_(new QLabel(this)),
      headerText_(new QPlainTextEdit(this)),
      addFooterLabel_(new QLabel(this)),
      footerText_(new QPlainTextEdit(this))
{
    for (QPlainTextEdit* memo : {headerText_, footerText_})
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(addHeaderLabel_);
    layout->addWidget(headerText_, 1);
    layout->addWidget(addFooterLabel_);
    layout->addWidget(footerText_, 1);
    UpdateLanguageLabels();
}

void THTMLHeaderFrame::LoadFromCopyJob()
{
    headerText_->setPlainText(ToMemo(job_.DownloadOptions.CustomHTMLHeader));
    footerText_->setPlainText(ToMemo(job_.DownloadOptions.CustomHTMLFooter));
}

void THTMLHeaderFrame::SaveToCopyJob()
{
    job_.DownloadOptions.CustomHTMLHeader = FromMemo(headerText_);
    job_.DownloadOptions.CustomHTMLFooter = FromMemo(footerText_);
}

void THTMLHeaderFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    addHeaderLabel_->setText(QUIString(160));
    addFooterLabel_->setText(QUIString(161));
}
