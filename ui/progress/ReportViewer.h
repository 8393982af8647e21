#pragma once
// The report window: shows a job report from the report folder in a web view that runs no
// script, and saves (copies) it to a folder, prints it, previews it or sets up the page. Prints
// and previews are drawn from the report file itself (TReportPrintDocument), not by the web view.
#include "ui/common/WaitCursor.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPrinter;
class QToolButton;
class QWebEngineView;
class TJobResultsReportData;
class TReportPrintDocument;

// Deletes the plain files directly in folder, then the folder. Failures are logged.
void DeleteFolderAndContents(const std::string& folder);
// Copies the plain files directly in source into target, replacing files there. All or none:
// on a failure the files already copied are taken away again and the error text is given;
// empty when every file is in place.
std::string CopyFolderContents(const std::string& source, const std::string& target);
// The names of the plain files directly in folder, in name order.
std::vector<std::string> PlainFileNames(const std::string& folder);
// Those of names that target already holds (files, folders or links).
std::vector<std::string> ExistingNames(const std::vector<std::string>& names, const std::string& target);
// The question asked before a saved report replaces the files existing in target.
QString ReportOverwriteQuestion(const std::vector<std::string>& existing, const std::string& target);

// Where the report window goes: its frame of frameSize centred on the owner's frame, made no
// larger than the available screen area and moved inside it, so its title bar stays in reach.
QRect PlaceReportWindow(const QSize& frameSize, const QRect& ownerFrame, const QRect& available);

class TReportViewForm : public QWidget {
    Q_OBJECT
public:
    explicit TReportViewForm(QWidget* parent = nullptr);
    ~TReportViewForm() override;

    void UpdateLanguageLabels();
    // Centres the window on owner, inside the screen area available to owner.
    void PlaceOn(const QWidget* owner);
    // Writes the report into the report folder (emptied first) and shows it. Refused while the
    // previous report is still loading.
    void CreateAndDisplayReport(const TJobResultsReportData& data);

    void SaveButtonClick();
    // Saves the shown report and its images into folder, asking once before replacing files
    // there; a failure is shown. True when saved.
    bool SaveReportTo(const std::string& folder);
    void PageSetupButtonClick();
    void PrintPreviewButtonClick();
    void PrintButtonClick();

    const std::string& ReportFolder() const { return reportFolder_; }
    // For tests: another folder than the data folder's "Report".
    void SetReportFolder(const std::string& folder) { reportFolder_ = folder; }
    bool ReportLoaded() const { return reportLoaded_; }
    bool IsLoading() const { return loading_; }
    const std::string& ReportPath() const { return reportPath_; }
    QWebEngineView* WebBrowser() const { return webBrowser_; }

private:
    bool HasDocument() const;
    // Runs a print command when a document is shown; a failure is logged under routine.
    void RunPrintCommand(void (TReportViewForm::*command)(), const char* routine);
    void WBPrintWithDialog();
    void WBPrintPreview();
    void WBPrintPageSetup();
    // The shown report read for printing; read again only for another report. Throws when the
    // report cannot be read.
    const TReportPrintDocument& PrintDocument();

    QToolButton* saveButton_ = nullptr;
    QToolButton* pageSetupButton_ = nullptr;
    QToolButton* printPreviewButton_ = nullptr;
    QToolButton* printButton_ = nullptr;
    QWebEngineView* webBrowser_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<TReportPrintDocument> printDocument_;
    std::string reportFolder_;
    std::string saveFolderDefault_;
    std::string reportPath_;
    bool reportLoaded_ = false;
    bool loading_ = false;
    std::optional<TWaitCursor> loadingCursor_;  // from the report's creation until it has loaded
};
