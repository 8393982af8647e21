#pragma once
// Printing a job report. The report's HTML is laid out once per print for the printer's pages
// and drawn as text and lines, its images read from the report's folder, so a report of
// thousands of rows previews and prints in seconds and in little memory. (The web view prints
// by drawing every page as an image at the printer's resolution.)
#include <QString>

#include <memory>

class QPagedPaintDevice;
class QTextDocument;

class TReportPrintDocument {
public:
    TReportPrintDocument();
    ~TReportPrintDocument();
    TReportPrintDocument(const TReportPrintDocument&) = delete;
    TReportPrintDocument& operator=(const TReportPrintDocument&) = delete;

    // Reads the report file (UTF-8); relative image names are taken from its folder. False when
    // the file cannot be read.
    bool Load(const QString& reportPath);
    const QString& Path() const { return path_; }
    // Draws the pages of the loaded report on device (a printer, a preview or a PDF file),
    // within the device's page ranges. False when nothing is loaded or the device's page has
    // no printable area.
    bool Print(QPagedPaintDevice* device) const;

private:
    std::unique_ptr<QTextDocument> document_;
    QString path_;
};
