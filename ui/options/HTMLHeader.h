#pragma once
// Job option page: HTML code added to the top and bottom of downloaded web pages.
#include "ui/options/JobOptionPage.h"

class QLabel;
class QPlainTextEdit;

class THTMLHeaderFrame : public TJobOptionPage {
    Q_OBJECT
public:
    explicit THTMLHeaderFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    QPlainTextEdit* HeaderText() const { return headerText_; }
    QPlainTextEdit* FooterText() const { return footerText_; }

private:
    QLabel* addHeaderLabel_;
    QPlainTextEdit* headerText_;
    QLabel* addFooterLabel_;
    QPlainTextEdit* footerText_;
};
