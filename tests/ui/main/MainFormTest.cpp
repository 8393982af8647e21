#include "tests/ui/UITestEnvironment.h"
#include "engine/services/AppInfo.h"
#include "ui/main/Main.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "ui/dialogs/TipOfTheDay.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QScreen>
#include <QTabBar>
#include <QToolButton>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

const QRect kDesigned(50, 0, 608, 431);
const QSize kMin(600, 420);
const QRect kScreen(0, 0, 1280, 1024);

TEST(WindowPlacement, UnsetValuesKeepTheDesignedOnes)
{
    TWindowPlacement p;
    p.top = 100;
    p.width = 800;
    EXPECT_EQ(PlaceWindowRect(p, kDesigned, kScreen, kMin), QRect(50, 100, 800, 431));
}

TEST(WindowPlacement, MaximisedIgnoresStoredRectangle)
{
    TWindowPlacement p{2, 300, 300, 900, 700};
    EXPECT_EQ(PlaceWindowRect(p, kDesigned, kScreen, kMin), kDesigned);
}

TEST(WindowPlacement, OffScreenWindowIsBroughtBack)
{
    // Saved on a larger or second monitor, or minimised far away.
    TWindowPlacement p{0, 3000, -32000, 700, 500};
    EXPECT_EQ(PlaceWindowRect(p, kDesigned, kScreen, kMin), QRect(1280 - 700, 0, 700, 500));
    TWindowPlacement q{0, -500, 900, 700, 500};
    EXPECT_EQ(PlaceWindowRect(q, kDesigned, kScreen, kMin), QRect(0, 1024 - 500, 700, 500));
}

TEST(WindowPlacement, TooLargeShrinksAndTooSmallGrows)
{
    TWindowPlacement big{0, 10, 10, 5000, 4000};
    EXPECT_EQ(PlaceWindowRect(big, kDesigned, kScreen, kMin), kScreen);
    TWindowPlacement tiny{0, 10, 10, 20, 20};
    EXPECT_EQ(PlaceWindowRect(tiny, kDesigned, kScreen, kMin), QRect(10, 10, 600, 420));
    // A screen smaller than the minimum wins over the minimum.
    EXPECT_EQ(PlaceWindowRect(tiny, kDesigned, QRect(0, 0, 500, 400), kMin), QRect(0, 0, 500, 400));
}

TEST(WindowPlacement, FirstStartOpensLargeAndCentred)
{
    EXPECT_EQ(FirstStartRect(kDesigned, kScreen), QRect(140, 154, 1000, 716));
    // 70% of a large screen, centred.
    EXPECT_EQ(FirstStartRect(kDesigned, QRect(0, 0, 2000, 1200)), QRect(300, 180, 1400, 840));
    // At least 1000 x 700 where the screen has room, the whole screen where it has not.
    EXPECT_EQ(FirstStartRect(kDesigned, QRect(100, 50, 1100, 720)), QRect(150, 60, 1000, 700));
    EXPECT_EQ(FirstStartRect(kDesigned, QRect(0, 0, 800, 600)), QRect(0, 0, 800, 600));
    EXPECT_EQ(FirstStartRect(kDesigned, QRect()), kDesigned);
}

TEST(WindowPlacement, AFirstStartIsLargeAndAStoredPlacementIsKept)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        TMainForm first;
        EXPECT_GE(first.width(), std::min(1000, screen.width() - 16));
        EXPECT_GE(first.height(), std::min(700, screen.height() - 40));
    }
    WriteSettingInteger("Window", "Width", 640);
    WriteSettingInteger("Window", "Height", 480);
    TMainForm again;
    EXPECT_EQ(again.size(), QSize(640, 480));
}

TEST(Flashing, SecondsAndPhaseLength)
{
    EXPECT_EQ(FlashSeconds(0), 2);
    EXPECT_EQ(FlashSeconds(-4), 2);
    EXPECT_EQ(FlashSeconds(25), 10);
    EXPECT_EQ(FlashSeconds(7), 7);
    EXPECT_EQ(FlashInterval(530, 10000), 530);
    EXPECT_EQ(FlashInterval(2500, 2000), 500);
    EXPECT_EQ(FlashInterval(0, 2000), 500);
}

class MainFormTest : public ::testing::Test {
protected:
    TMainForm form;
};

TEST_F(MainFormTest, HiddenPagesCanStillBeActivated)
{
    form.SetJobQueueVisible(false);
    EXPECT_FALSE(form.IsPageVisible(pgJobQueue));
    EXPECT_TRUE(form.MoveFocusToPageByStringId(20));
    EXPECT_EQ(form.ActivePage(), pgJobQueue);
    EXPECT_TRUE(form.MoveFocusToPage(pgStart));
    EXPECT_EQ(form.ActivePage(), pgStart);
}

TEST_F(MainFormTest, RefusedPageMovesLeaveTheActivePage)
{
    form.MoveFocusToPage(pgPreferences);
    EXPECT_FALSE(form.MoveFocusToPage(-1));
    EXPECT_FALSE(form.MoveFocusToPageByCaption("start"));  // case matters
    EXPECT_FALSE(form.MoveFocusToPage(pgCount));
    EXPECT_EQ(form.ActivePage(), pgPreferences);
}

TEST_F(MainFormTest, ProgressTabReportsItsFormerVisibility)
{
    EXPECT_TRUE(form.SetProgressTabVisible(false));
    EXPECT_FALSE(form.SetProgressTabVisible(true));
    EXPECT_TRUE(form.IsPageVisible(pgProgress));
    EXPECT_TRUE(form.SetProgressTabVisible(true));
}

TEST_F(MainFormTest, FlashingRunsForTheClampedTime)
{
    form.StartFlashing(25);
    EXPECT_TRUE(form.IsFlashing());
    EXPECT_EQ(form.FlashTimeLeft(), 10000);
    form.StopFlashing();
    EXPECT_FALSE(form.IsFlashing());
}

TEST_F(MainFormTest, MissingHelpPageIsNamed)
{
    std::vector<std::string> boxes;
    TBoxHandler old = SetMessageBoxHandler([&](const TBoxRequest& r) {
        boxes.push_back(r.text.toStdString());
        return false;
    });
    form.ShowHelp();  // the test program's folder has no help page
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(form.TipOfTheDay(), &f1);  // F1 in the tip window asks the same
    SetMessageBoxHandler(old);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Missing file " + GetProgramFolder() + "help/help.htm");
    EXPECT_EQ(boxes[1], boxes[0]);
}

TEST(MainFormPlacement, PlacementRoundTripAndMaximisedWritesOnlyState)
{
    {
        TMainForm form;
        form.move(120, 90);
        form.resize(700, 500);
        form.SaveWindowPlacement();
    }
    EXPECT_EQ(ReadSettingInteger("Window", "WindowState", -5), 0);
    EXPECT_EQ(ReadSettingInteger("Window", "Width", -5), 700);
    EXPECT_EQ(ReadSettingInteger("Window", "Height", -5), 500);
    {
        TMainForm form;
        EXPECT_EQ(form.size(), QSize(700, 500));
    }
    WriteSettingInteger("Window", "WindowState", 2);
    WriteSettingInteger("Window", "Width", 999);
    {
        TMainForm form;
        form.ShowInStoredState();
        EXPECT_TRUE(form.isMaximized());
        form.SaveWindowPlacement();
    }
    EXPECT_EQ(ReadSettingInteger("Window", "WindowState", -5), 2);
    EXPECT_EQ(ReadSettingInteger("Window", "Width", -5), 999);

    // A stored minimised state opens the window normal, and closing minimised stores normal.
    WriteSettingInteger("Window", "WindowState", 1);
    {
        TMainForm form;
        form.ShowInStoredState();
        EXPECT_FALSE(form.isMinimized());
        form.showMinimized();
        form.SaveWindowPlacement();
    }
    EXPECT_EQ(ReadSettingInteger("Window", "WindowState", -5), 0);
}

// Saves a picture of the main window for a person to look at: GLEANERY_SCREENSHOT=/tmp/x.png.
TEST(MainFormPicture, SavesScreenshotWhenAsked)
{
    const char* path = std::getenv("GLEANERY_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "GLEANERY_SCREENSHOT not set";
    TMainForm form;
    form.show();
    EXPECT_TRUE(form.grab().save(path));
}

}  // namespace

namespace {

// Tabs of the bar that are shown but lie partly outside it or show a cut caption.
QStringList CutTabs(const QTabBar* bar)
{
    QStringList cut;
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i))
            continue;
        const QRect r = bar->tabRect(i);
        const int textWidth = bar->fontMetrics().horizontalAdvance(bar->tabText(i));
        if (r.left() < 0 || r.right() >= bar->width() || r.width() < textWidth)
            cut.append(bar->tabText(i));
    }
    return cut;
}

bool ScrollButtonsShown(const QTabBar* bar)
{
    for (const QToolButton* button : bar->findChildren<QToolButton*>())
        if (button->isVisible())
            return true;
    return false;
}

}  // namespace

TEST_F(MainFormTest, AllTabsShowWholeWhenTheWindowIsWideEnough)
{
    // As at start-up: the Job Queue and Progress tabs appear once the window is on screen.
    form.SetJobQueueVisible(false);
    form.SetProgressTabVisible(false);
    form.show();
    QApplication::processEvents();
    form.SetJobQueueVisible(true);
    form.SetProgressTabVisible(true);
    QTabBar* bar = form.TabBar();
    for (int width : {1600, 900}) {
        form.resize(width, 600);
        QApplication::processEvents();
        EXPECT_TRUE(CutTabs(bar).isEmpty()) << width << ": " << CutTabs(bar).join(", ").toStdString();
        EXPECT_FALSE(ScrollButtonsShown(bar)) << width;
    }
    // Narrower than the captions: the tabs scroll, but the current caption is never cut.
    form.setMinimumSize(0, 0);
    form.resize(260, 600);
    QApplication::processEvents();
    for (int page : {pgStart, pgBrowse, pgProgress}) {
        form.MoveFocusToPage(page);
        QApplication::processEvents();
        const QRect r = bar->tabRect(page);
        EXPECT_GE(r.width(), bar->fontMetrics().horizontalAdvance(bar->tabText(page))) << page;
    }
}
