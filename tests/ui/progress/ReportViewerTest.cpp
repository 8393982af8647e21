#include "tests/common/TempFolder.h"
#include "tests/ui/UITestEnvironment.h"
#include "ui/progress/CopyProgress.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/main/Main.h"
#include "ui/progress/ReportViewer.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
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

TEST(ReportWindowPlace, CentredOnTheOwnerButInsideTheScreen)
{
    const QRect screen(0, 0, 1280, 1024);
    // Room to centre: centred.
    EXPECT_EQ(PlaceReportWindow(QSize(400, 300), QRect(200, 200, 800, 600), screen), QRect(400, 350, 400, 300));
    // The main window at its designed place: centring would put the title bar above the screen.
    QRect placed = PlaceReportWindow(QSize(770, 590), QRect(50, 0, 616, 458), screen);
    EXPECT_EQ(placed.top(), 0);
    EXPECT_TRUE(screen.contains(placed));
    // An owner near a corner of a second screen, and a window larger than the screen.
    const QRect second(1280, 0, 800, 600);
    placed = PlaceReportWindow(QSize(770, 590), QRect(1900, 500, 300, 200), second);
    EXPECT_TRUE(second.contains(placed));
    EXPECT_EQ(placed.size(), QSize(770, 590));
    EXPECT_EQ(PlaceReportWindow(QSize(1000, 900), QRect(0, 0, 100, 100), second), second);
}

TEST(ReportWindow, StaysOnScreenAndClosesWithTheMainWindow)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the web engine's own deallocations trip the address sanitizer";
#endif
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    TMainForm form;
    form.show();
    QApplication::processEvents();
    auto* progress = qobject_cast<TCopyProgressFrame*>(form.Page(pgProgress));
    ASSERT_NE(progress, nullptr);
    progress->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, 1), 1);
    progress->OnSpiderOutput(ReportOf(OUTMSG_JOB_ENDED, 1, JOB_END_COMPLETED), 1);
    progress->ShowReportButtonClick();
    TReportViewForm* viewer = progress->ReportWindow();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(viewer->isVisible());
    const QRect available = form.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(viewer->frameGeometry()))
        << viewer->frameGeometry().x() << "," << viewer->frameGeometry().y() << " in " << available.width() << "x"
        << available.height();

    form.close();
    EXPECT_FALSE(viewer->isVisible());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
}
