#include "tests/common/TempFolder.h"
#include "tests/ui/UITestEnvironment.h"
#include "ui/common/MessageBoxes.h"
#include "ui/progress/CopyProgress.h"
#include "ui/progress/CopyProgressModels.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/progress/ProgressImages.h"
#include "ui/main/Main.h"
#include "ui/progress/ReportViewer.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>

#include <cstdlib>
#include <set>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Waits (at most 20 s) for the report's page to finish loading.
void WaitUntilLoaded(TReportViewForm& window)
{
    QEventLoop wait;
    QTimer::singleShot(20000, &wait, &QEventLoop::quit);
    QObject::connect(window.WebBrowser(), &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
    if (window.IsLoading())
        wait.exec();
}

}  // namespace

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

TEST(ReportFolder, CopyIsAllOrNothing)
{
    TTempFolder temp;
    std::string source = temp / "Report", target = temp / "Saved";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target + "/list1.bmp");  // a folder of a report file's name
    WriteTextFile(source + "/r.htm", "new");
    WriteTextFile(source + "/list0.bmp", "0");
    WriteTextFile(source + "/list1.bmp", "1");
    WriteTextFile(target + "/r.htm", "old");
    EXPECT_EQ(ExistingNames(PlainFileNames(source), target), (std::vector<std::string>{"list1.bmp", "r.htm"}));

    const std::string error = CopyFolderContents(source, target);
    EXPECT_NE(error.find("list1.bmp"), std::string::npos) << error;
    auto names = [&] {
        std::set<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(target))
            out.insert(entry.path().filename().string());
        return out;
    };
    EXPECT_EQ(names(), (std::set<std::string>{"list1.bmp", "r.htm"}));
    EXPECT_EQ(ReadTextFile(target + "/r.htm"), "old");

    if (::geteuid() != 0) {
        // A folder that cannot be written to: nothing is left there, not even a part.
        std::filesystem::remove(target + "/list1.bmp");
        std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_NE(CopyFolderContents(source, target), "");
        std::filesystem::permissions(target, std::filesystem::perms::owner_all);
        EXPECT_EQ(names(), std::set<std::string>{"r.htm"});
        EXPECT_EQ(ReadTextFile(target + "/r.htm"), "old");
    }
}

TEST(ReportFolder, OneQuestionNamesTheFilesToBeReplaced)
{
    EXPECT_EQ(ReportOverwriteQuestion({"r.htm"}, "/x").toStdString(),
              "/x/r.htm already exists.\nDo you want to replace it?");
    std::vector<std::string> many;
    for (int i = 0; i < 21; ++i)
        many.push_back("list" + std::to_string(i) + ".bmp");
    const std::string text = ReportOverwriteQuestion(many, "/x").toStdString();
    EXPECT_EQ(text.rfind("21 files of the report already exist in /x:\nlist0.bmp\n", 0), 0u) << text;
    EXPECT_EQ(text.find("list10.bmp"), std::string::npos);
    EXPECT_NE(text.find("...\nDo you want to replace them?"), std::string::npos);
}

TEST(ReportWindow, SavingAsksOnceBeforeReplacingAndShowsABusyCursorWhileLoading)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the web engine's own deallocations trip the address sanitizer";
#endif
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    TCompletedFilesModel files;
    files.AddRow("OK", riSuccess, "/tmp/x.htm");
    TSiteMapModel map;
    map.AddAddress({"http://h", "x.htm"}, "Saved", riSuccess, 0);
    TJobResultsReportData data;
    data.Job.JobName = "Saved";
    data.EndTime = QDateTime(QDate(2025, 2, 3), QTime(14, 5, 9));
    data.ResultsListView = &files;
    data.SiteMapTreeView = &map;
    data.Images = CompletedImageList();
    TTempFolder temp;
    TReportViewForm window;
    window.SetReportFolder(temp / "Report");
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    window.CreateAndDisplayReport(data);
    ASSERT_TRUE(window.ReportLoaded());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    WaitUntilLoaded(window);
    ASSERT_FALSE(window.IsLoading());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const std::string report = std::filesystem::path(window.ReportPath()).filename().string();
    const std::string target = temp / "Saved";
    std::filesystem::create_directories(target);
    {
        // Nothing there yet: no question.
        TBoxRecorder yes(true);
        EXPECT_TRUE(window.SaveReportTo(target));
        EXPECT_TRUE(yes.boxes.empty());
        EXPECT_EQ(PlainFileNames(target), PlainFileNames(window.ReportFolder()));
        EXPECT_TRUE(std::filesystem::exists(target + "/" + report));
    }
    WriteTextFile(target + "/" + report, "mine");
    WriteTextFile(target + "/tree0.bmp", "mine too");
    {
        TBoxRecorder no(false);
        EXPECT_FALSE(window.SaveReportTo(target));
        ASSERT_EQ(no.boxes.size(), 1u);
        EXPECT_EQ(no.captions[0], "Report Viewer");
        EXPECT_EQ(ReadTextFile(target + "/" + report), "mine");
        EXPECT_EQ(ReadTextFile(target + "/tree0.bmp"), "mine too");
    }
    {
        TBoxRecorder yes(true);
        EXPECT_TRUE(window.SaveReportTo(target));
        EXPECT_EQ(yes.boxes.size(), 1u);
        EXPECT_NE(ReadTextFile(target + "/" + report), "mine");
    }
    {
        // A folder that is not there: a clear message, nothing saved.
        TBoxRecorder yes(true);
        EXPECT_FALSE(window.SaveReportTo(temp / "missing"));
        ASSERT_EQ(yes.boxes.size(), 1u);
        EXPECT_EQ(yes.boxes[0].rfind("Report Viewer: The report was not saved in " + temp / "missing" + ":\n", 0), 0u)
            << yes.boxes[0];
        EXPECT_FALSE(std::filesystem::exists(temp / "missing"));
    }
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

    WaitUntilLoaded(window);
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
