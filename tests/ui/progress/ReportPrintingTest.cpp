#include "tests/common/TempFolder.h"
#include "tests/ui/UITestEnvironment.h"
#include "ui/progress/CopyProgressModels.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/progress/ProgressImages.h"
#include "ui/progress/ReportPrinting.h"

#include <QPageLayout>
#include <QPageRanges>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include <string>

namespace {

// A written report of a job with count files, in folder.
std::string WriteReport(const std::string& folder, int count)
{
    TCompletedFilesModel list;
    TSiteMapModel tree;
    for (int i = 0; i < count; ++i) {
        const std::string page = "page-" + std::to_string(i) + ".html";
        const int32_t key = list.AddRow("OK", riSuccess, QString::fromStdString("/copy/example.com/" + page));
        tree.AddAddress({"http://example.com", page}, "Site", riSuccess, key);
    }
    TJobResultsReportData data;
    data.Job.JobName = "Site";
    data.EndTime = QDateTime(QDate(2025, 2, 3), QTime(14, 5, 9));
    data.ResultsListView = &list;
    data.SiteMapTreeView = &tree;
    data.Images = CompletedImageList();
    std::string path;
    EXPECT_TRUE(data.CreateJobResultsReport(folder, path));
    return path;
}

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Prints document into a PDF file and gives the file's bytes.
std::string PrintToPdf(const TReportPrintDocument& document, const std::string& path,
                       QPageLayout::Orientation orientation = QPageLayout::Portrait, const QPageRanges& ranges = {})
{
    {
        QPdfWriter pdf(QString::fromStdString(path));
        pdf.setResolution(1200);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(orientation);
        pdf.setPageRanges(ranges);
        EXPECT_TRUE(document.Print(&pdf));
    }
    return ReadTextFile(path);
}

// Page objects of a PDF: "/Type /Page" also begins "/Type /Pages".
size_t PageCount(const std::string& pdf)
{
    return CountOf(pdf, "/Type /Page") - CountOf(pdf, "/Type /Pages");
}

}  // namespace

TEST(ReportPrinting, ALongReportPrintsAsTextWithItsImagesOnPagesOfThePrintersSize)
{
    TTempFolder temp;
    const TReportPrintDocument empty;
    QPdfWriter unused(QString::fromStdString(temp / "unused.pdf"));
    EXPECT_FALSE(empty.Print(&unused));  // nothing loaded

    const std::string report = WriteReport(temp.Path(), 300);
    TReportPrintDocument document;
    ASSERT_TRUE(document.Load(QString::fromStdString(report)));

    const std::string portrait = PrintToPdf(document, temp / "portrait.pdf");
    const size_t pages = PageCount(portrait);
    EXPECT_GT(pages, 10u);  // 600 rows
    // Drawn as text and lines: a page drawn as an image at the printer's resolution would take
    // megabytes. The icons are there, as small images.
    EXPECT_LT(portrait.size(), pages * 20000);
    EXPECT_GT(CountOf(portrait, "/Subtype /Image"), 0u);

    // Printed again: the same pages; on a lower page, more; a page range prints just that.
    EXPECT_EQ(PageCount(PrintToPdf(document, temp / "again.pdf")), pages);
    EXPECT_GT(PageCount(PrintToPdf(document, temp / "landscape.pdf", QPageLayout::Landscape)), pages);
    QPageRanges two;
    two.addRange(2, 3);
    EXPECT_EQ(PageCount(PrintToPdf(document, temp / "range.pdf", QPageLayout::Portrait, two)), 2u);

    TReportPrintDocument missing;
    EXPECT_FALSE(missing.Load(QString::fromStdString(temp / "none.htm")));
    EXPECT_FALSE(missing.Print(&unused));
}
