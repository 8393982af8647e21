// Builds the report of a job with N completed files (a results row and a site-map row each),
// then previews it and prints it to a PDF file the way the report window does, offscreen. Prints
// the time of each step, the pages, and the peak memory of the process.
//
//   report_print_run [N]      (N defaults to 5000)
#include "engine/services/LanguageStrings.h"
#include "platform/Thread.h"
#include "ui/progress/CopyProgressModels.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/progress/ProgressImages.h"
#include "ui/progress/ReportPrinting.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start)
{
    return std::chrono::duration<double>(TClock::now() - start).count();
}

long PeakMemoryMB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A site of count pages in folders of 100, every tenth page missing.
void FillResults(int count, TCompletedFilesModel& list, TSiteMapModel& tree)
{
    const QString jobName = "Documentation";
    for (int i = 0; i < count; ++i) {
        const std::string folder = "section" + std::to_string(i / 100);
        const std::string page = "page-" + std::to_string(i) + ".html";
        const bool missing = i % 10 == 9;
        const int32_t image = missing ? riNotFound : riSuccess;
        const QString caption = missing ? "Not Found (http://127.0.0.1:8080/)" : "OK";
        const QString location = missing ? QString::fromStdString("http://127.0.0.1:8080/" + folder + "/" + page)
                                         : QString::fromStdString("/tmp/copy/127.0.0.1/" + folder + "/" + page);
        const int32_t key = list.AddRow(caption, image, location);
        tree.AddAddress({"http://127.0.0.1:8080", folder, page}, jobName, image, key);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    LimitMemoryArenas();  // as the program does
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    TLocalLanguages languages;
    QTemporaryDir folder;

    TCompletedFilesModel list;
    TSiteMapModel tree;
    FillResults(count, list, tree);
    TJobResultsReportData data;
    data.Job.JobName = "Documentation";
    data.Job.StartingWebAddress.SetFullURL("http://127.0.0.1:8080/index.html");
    data.Job.DestinationFolder = "/tmp/copy";
    data.StatusText = "Complete";
    data.StartTime = QDateTime::currentDateTime().addSecs(-60);
    data.EndTime = QDateTime::currentDateTime();
    data.FilesDownloaded = count;
    data.ResultsListView = &list;
    data.SiteMapTreeView = &tree;
    data.Images = CompletedImageList();

    auto start = TClock::now();
    std::string path;
    if (!data.CreateJobResultsReport(folder.path().toStdString(), path)) {
        std::fprintf(stderr, "cannot write the report\n");
        return 1;
    }
    std::printf("rows %d, report %lld bytes, written in %.2f s\n", count,
                static_cast<long long>(QFileInfo(QString::fromStdString(path)).size()), SecondsSince(start));

    start = TClock::now();
    TReportPrintDocument document;
    if (!document.Load(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot read the report\n");
        return 1;
    }
    std::printf("read in %.2f s\n", SecondsSince(start));

    // The preview as the report window's Print Preview builds it, on screen.
    start = TClock::now();
    QPrinter previewPrinter(QPrinter::HighResolution);
    {
        QPrintPreviewWidget preview(&previewPrinter);
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested,
                         [&document](QPrinter* printer) { document.Print(printer); });
        preview.resize(800, 1000);
        preview.show();  // lays the pages out, as the dialog does when it opens
        QCoreApplication::processEvents();
        std::printf("preview: %d pages in %.2f s, peak memory %ld MB\n", preview.pageCount(), SecondsSince(start),
                    PeakMemoryMB());
    }

    start = TClock::now();
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QString pdfPath = folder.path() + "/report.pdf";
    pdf.setOutputFileName(pdfPath);
    document.Print(&pdf);
    std::printf("print to file: %lld bytes in %.2f s, peak memory %ld MB\n",
                static_cast<long long>(QFileInfo(pdfPath).size()), SecondsSince(start), PeakMemoryMB());
    return 0;
}
