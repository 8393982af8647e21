#include "tests/common/TempFolder.h"
#include "ui/CopyProgressRpt.h"
#include "ui/ReportViewer.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>

#include <cstdlib>

#include <gtest/gtest.h>

TEST(ReportFolder, DeleteTakesOnlyPlainFilesThenTheFolder)
{
    TTempFolder temp;
    std::string folder = temp / "Report";
    std::filesystem::create_directories(folder);
    WriteTextFile(folder + "/a.htm", "a");
    WriteTextFile(folder + "/list0.bmp", "b");
    DeleteFolderAndContents(folder);
    EXPECT_FALSE(std::filesystem::exists(folder));

    // A folder inside is left alone, and so the folder stays.
    std::filesystem::create_directories(folder + "/sub");
    WriteTextFile(folder + "/sub/keep.txt", "k");
    WriteTextFile(folder + "/x.htm", "x");
    DeleteFolderAndContents(folder);
    EXPECT_FALSE(std::filesystem::exists(folder + "/x.htm"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/sub/keep.txt"));
    DeleteFolderAndContents(temp / "missing");
}

TEST(ReportFolder, CopyReplacesFilesAndReportsTheLastFailure)
{
    TTempFolder temp;
    std::string source = temp / "Report", target = temp / "Saved";
    std::filesystem::create_directories(source + "/sub");
    std::filesystem::create_directories(target);
    WriteTextFile(source + "/r.htm", "new");
    WriteTextFile(source + "/tree0.bmp", "bmp");
    WriteTextFile(target + "/r.htm", "old");
    EXPECT_EQ(CopyFolderContents(source, target), "");
    EXPECT_EQ(ReadTextFile(target + "/r.htm"), "new");
    EXPECT_EQ(ReadTextFile(target + "/tree0.bmp"), "bmp");
    EXPECT_FALSE(std::filesystem::exists(target + "/sub"));

    EXPECT_NE(CopyFolderContents(source, temp / "no/such/folder"), "");
}

TEST(ReportWindow, ASecondReportWaitsUntilTheFirstHasLoaded)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the web engine's own deallocations trip the address sanitizer";
#endif
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    TTempFolder temp;
    TJobResultsReportData data;
    data.Job.JobName = "First";
    data.EndTime = QDateTime(QDate(2025, 2, 3), QTime(14, 5, 9));
    TReportViewForm window;
    window.SetReportFolder(temp / "Report");
    window.CreateAndDisplayReport(data);
    ASSERT_TRUE(window.ReportLoaded());
    const std::string first = window.ReportPath();
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_TRUE(window.IsLoading());

    data.Job.JobName = "Second";
    window.CreateAndDisplayReport(data);  // refused: the first is still loading
    EXPECT_EQ(window.ReportPath(), first);
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(temp / "Report/Second - 2025-02-03 14.05.09.htm"));

    QEventLoop wait;
    QTimer::singleShot(20000, &wait, &QEventLoop::quit);
    QObject::connect(window.WebBrowser(), &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
    if (window.IsLoading())
        wait.exec();
    ASSERT_FALSE(window.IsLoading());
    window.CreateAndDisplayReport(data);
    EXPECT_FALSE(std::filesystem::exists(first));  // the old report's files went first
    EXPECT_TRUE(std::filesystem::exists(temp / "Report/Second - 2025-02-03 14.05.09.htm"));
}
