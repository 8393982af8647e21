#include "tests/ui/UITestEnvironment.h"

#include "ui/main/CoolTrayIcon.h"
#include "ui/main/Main.h"
#include "ui/common/SimpleTimer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStyleHints>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

namespace {

void Wait(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

QIcon Colour(Qt::GlobalColor colour)
{
    QPixmap pixmap(8, 8);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

TEST(SimpleTimer, ZeroIntervalNeverTicksButKeepsItsState)
{
    int ticks = 0;
    TSimpleTimer timer(0, [&](TSimpleTimer&) { ++ticks; });
    EXPECT_FALSE(timer.Start());
    EXPECT_FALSE(timer.Enabled());
    timer.SetInterval(10);
    EXPECT_TRUE(timer.Start());
    Wait(60);
    EXPECT_GT(ticks, 0);
    timer.SetInterval(0);  // ticks stop, still enabled
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    int before = ticks;
    Wait(40);
    EXPECT_EQ(ticks, before);
    timer.SetInterval(10);  // and a later interval restarts it
    EXPECT_TRUE(timer.Running());
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Enabled());

    int once = 0;
    TSimpleTimer single(5, [&](TSimpleTimer&) { ++once; });
    single.AutoDisable = true;
    single.Start();
    Wait(60);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(single.Enabled());
}

TEST(SimpleTimer, AHandlerSetAgainResumesTheTicks)
{
    int ticks = 0;
    TSimpleTimer timer(5, [&](TSimpleTimer&) { ++ticks; });
    EXPECT_TRUE(timer.Start());
    timer.SetOnTimer({});  // ticks stop, still enabled
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    timer.SetOnTimer([&](TSimpleTimer&) { ++ticks; });
    EXPECT_TRUE(timer.Running());
    Wait(60);
    EXPECT_GT(ticks, 0);
    // A disabled timer stays off when it gets a handler.
    timer.SetEnabled(false);
    timer.SetOnTimer([&](TSimpleTimer&) { ++ticks; });
    EXPECT_FALSE(timer.Running());
}

TEST(CoolTrayIcon, TipIsTheHintCutTo127)
{
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetHint(QString(200, 'x'));
    EXPECT_EQ(tray.TipText(), QString(127, 'x'));
    tray.SetShowHint(false);
    EXPECT_TRUE(tray.TipText().isEmpty());
    tray.SetShowHint(true);
    tray.SetHint("");
    EXPECT_TRUE(tray.TipText().isEmpty());
}

TEST(CoolTrayIcon, SingleClickWaitsForTheDoubleClickTime)
{
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    int clicks = 0, doubles = 0;
    tray.OnClick = [&] { ++clicks; };
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 1);  // no double-click handler: at once

    tray.OnDblClick = [&] { ++doubles; };
    int wait = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 150;
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 1);
    Wait(wait);
    EXPECT_EQ(clicks, 2);

    tray.HandleActivation(QSystemTrayIcon::Trigger);
    tray.HandleActivation(QSystemTrayIcon::DoubleClick);
    Wait(wait);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(clicks, 2);

    tray.SetEnabled(false);
    tray.HandleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubles, 1);
}

TEST(CoolTrayIcon, IconIndexStaysInTheListAndCyclingWraps)
{
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetIconIndex(4);  // no list
    EXPECT_EQ(tray.IconIndex(), 0);
    tray.SetIconList({Colour(Qt::red), Colour(Qt::green), Colour(Qt::blue)});
    tray.SetIconIndex(9);
    EXPECT_EQ(tray.IconIndex(), 2);
    std::vector<int32_t> next;
    tray.OnCycle = [&](int32_t i) { next.push_back(i); };
    tray.SetIconIndex(0);
    for (int i = 0; i < 4; ++i)
        tray.CycleNext();
    EXPECT_EQ(next, (std::vector<int32_t>{1, 2, 0, 1}));
    EXPECT_EQ(tray.IconIndex(), 1);
}

TEST(CoolTrayIcon, WithoutANotificationAreaTheWindowIsNeverHidden)
{
    QWidget owner;
    owner.show();
    TCoolTrayIcon tray(&owner);
    tray.SetTrayAvailableCheck([] { return false; });
    tray.SetMinimizeToTray(true);
    tray.DoMinimizeToTray();
    EXPECT_TRUE(owner.isVisible());
    owner.showMinimized();
    Wait(20);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(tray.IconVisible());
}

TEST(CoolTrayIcon, MainWindowMinimisesToTheTrayAndAClickBringsItBack)
{
    TMainForm form;
    TCoolTrayIcon* tray = form.TrayIcon();
    ASSERT_NE(tray, nullptr);
    tray->SetTrayAvailableCheck([] { return true; });
    form.show();
    form.SetTrayHint("Ready");
    EXPECT_EQ(tray->TipText(), "Ready");
    form.SetMinimizeToTray(true);
    bool told = false;
    tray->OnMinimizeToTray = [&] { told = true; };
    form.showMinimized();
    Wait(30);
    EXPECT_TRUE(told);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(tray->IconVisible());

    tray->HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
    EXPECT_FALSE(tray->IconVisible());

    form.SetMinimizeToTray(false);
    form.showMinimized();
    Wait(30);
    EXPECT_TRUE(form.isVisible());
}

}  // namespace
