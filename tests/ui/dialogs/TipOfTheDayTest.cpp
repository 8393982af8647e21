#include "tests/ui/UITestEnvironment.h"

#include "engine/services/LanguageStrings.h"
#include "engine/services/SavedOptions.h"
#include "ui/common/AppName.h"
#include "ui/dialogs/About.h"
#include "ui/main/Main.h"
#include "ui/dialogs/MiniAbout.h"
#include "ui/preferences/PreferencesGeneral.h"
#include "ui/dialogs/Splash.h"
#include "ui/dialogs/TipOfTheDay.h"
#include "ui/common/UISettings.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <fstream>
#include <memory>

namespace {

QString TipsFolder()
{
    const QString folder = QString::fromStdString(TestHomeFolder()) + "/tips/";
    QDir().mkpath(folder);
    return folder;
}

void WriteTips(const std::string& bytes)
{
    std::ofstream((TipsFolder() + "tips-ENU.txt").toStdString(), std::ios::binary) << bytes;
}

class TipOfTheDayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(TSavedOptions::Instance()->INIFileName(), std::ios::binary | std::ios::trunc);
        QFile::remove(TipsFolder() + "tips-ENU.txt");
    }

    TLocalLanguages languages_;  // the built-in English set, as at start-up
};

TEST_F(TipOfTheDayTest, TipFileLinesSplitAtEveryLineEndKeepingEmptyLines)
{
    WriteTips("one\r\ntwo\n\nfour\rfive\r\n");
    EXPECT_EQ(ReadTipsFile(TipsFolder() + "tips-ENU.txt"), QStringList({"one", "two", "", "four", "five"}));
    WriteTips("only");
    EXPECT_EQ(ReadTipsFile(TipsFolder() + "tips-ENU.txt"), QStringList({"only"}));
    WriteTips("");
    EXPECT_TRUE(ReadTipsFile(TipsFolder() + "tips-ENU.txt").isEmpty());
    EXPECT_TRUE(ReadTipsFile(TipsFolder() + "missing.txt").isEmpty());
    EXPECT_TRUE(ReadTipsFile(TipsFolder()).isEmpty());  // a folder is no tip file
    // Bytes that are no text still give one tip a line, not a failure.
    WriteTips(std::string("a\xff\xfe\0b\nsecond", 12));
    const QStringList broken = ReadTipsFile(TipsFolder() + "tips-ENU.txt");
    ASSERT_EQ(broken.size(), 2);
    EXPECT_EQ(broken[1], "second");

    EXPECT_EQ(ExpandTipText("First.\\r\\nSecond. \\R\\N Third."), "First.\nSecond. \n Third.");
    EXPECT_EQ(WrapTipIndex(-1, 3), 2);
    EXPECT_EQ(WrapTipIndex(3, 3), 0);
    EXPECT_EQ(WrapTipIndex(1, 3), 1);
    EXPECT_EQ(WrapTipIndex(0, 0), -1);
    EXPECT_EQ(WrapTipIndex(int64_t{INT_MAX} + 1, 3), 0);
    EXPECT_EQ(WrapTipIndex(int64_t{INT_MIN} - 1, 3), 2);
    EXPECT_TRUE(IsEnglishLanguageName("english (UK)"));
    EXPECT_FALSE(IsEnglishLanguageName("Deutsch (English menu)"));
}

TEST_F(TipOfTheDayTest, ShowingContinuesAfterTheLastTipAndWrapsBothWays)
{
    WriteTips("first\nsecond\\r\\nline two\nthird\n");
    WriteSettingInteger("Tips", "NextTipIndex", 2);
    {
        TTipOfTheDayForm tips;
        tips.SetTipsFolder(TipsFolder());
        EXPECT_EQ(tips.TipsFile().toStdString(), (TipsFolder() + "tips-ENU.txt").toStdString());
        EXPECT_EQ(tips.windowTitle(), "Tip of the Day");
        tips.show();
        EXPECT_EQ(tips.TipMemo()->toPlainText(), "first");
        EXPECT_TRUE(tips.ShowOnStartup()->isChecked());
        tips.PrevTipBtnClick();
        EXPECT_EQ(tips.TipMemo()->toPlainText(), "third");
        tips.NextTipBtnClick();
        tips.NextTipBtnClick();
        EXPECT_EQ(tips.TipMemo()->toPlainText(), "second\nline two");
        tips.ShowOnStartup()->click();
        EXPECT_FALSE(GetShowTipsOnStartup());
        tips.hide();
    }
    EXPECT_EQ(ReadSettingInteger("Tips", "NextTipIndex", -1), 1);
    {
        TTipOfTheDayForm tips;
        tips.SetTipsFolder(TipsFolder());
        tips.show();
        EXPECT_EQ(tips.TipMemo()->toPlainText(), "third");
        EXPECT_FALSE(tips.ShowOnStartup()->isChecked());
    }
}

TEST_F(TipOfTheDayTest, StoredIndexAtTheLimitsWrapsInsteadOfOverflowing)
{
    WriteTips("first\nsecond\nthird\n");
    WriteSettingInteger("Tips", "NextTipIndex", INT_MAX);
    {
        TTipOfTheDayForm tips;
        tips.SetTipsFolder(TipsFolder());
        tips.show();
        EXPECT_EQ(tips.TipMemo()->toPlainText(), "first");
        tips.hide();
    }
    WriteSettingInteger("Tips", "NextTipIndex", INT_MIN);
    TTipOfTheDayForm tips;
    tips.SetTipsFolder(TipsFolder());
    tips.show();
    EXPECT_EQ(tips.TipMemo()->toPlainText(), "third");  // one on is still below 0: the last
    tips.hide();
}

TEST_F(TipOfTheDayTest, FailedUpgradeCheckShowsOneBoxWithTheAddress)
{
    EXPECT_EQ(UpgradeCheckAddress("1.2 beta&x=1#2"),
              "http://www.brindlesoft.com/upgrade/check.php?p=gleanery&v=1.2%20beta%26x%3D1%232");
    TAboutForm about;
    std::vector<std::string> opened;
    about.SetAddressOpener([&opened](const std::string& address) {
        opened.push_back(address);
        return false;
    });
    TBoxRecorder boxes;
    about.UpgradeCheckButtonClick();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], UpgradeCheckAddress(AppVersion()));
    EXPECT_EQ(boxes.boxes, std::vector<std::string>{": Please go to " + opened[0]});
    about.SetAddressOpener([](const std::string&) { return true; });
    about.UpgradeCheckButtonClick();
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(TipOfTheDayTest, NoTipsOrNoShowLeavesEverythingAlone)
{
    {
        // Never shown in this run: the stored index stays.
        WriteTips("a\nb\n");
        WriteSettingInteger("Tips", "NextTipIndex", 0);
        TTipOfTheDayForm tips;
        tips.SetTipsFolder(TipsFolder());
    }
    EXPECT_EQ(ReadSettingInteger("Tips", "NextTipIndex", -1), 0);

    QFile::remove(TipsFolder() + "tips-ENU.txt");
    TTipOfTheDayForm tips;
    tips.SetTipsFolder(TipsFolder());
    tips.show();
    EXPECT_EQ(tips.TipCount(), 0);
    tips.NextTipBtnClick();
    tips.PrevTipBtnClick();
    EXPECT_TRUE(tips.TipMemo()->toPlainText().isEmpty());
    tips.hide();
}

TEST_F(TipOfTheDayTest, GeneralPageButtonShowsTheTipWindow)
{
    WriteSettingBool("Automation", "ShowJobQueue", false);
    TMainForm form;
    InitAfterFormsCreated(form, nullptr);
    auto* general = form.findChild<TPreferencesGeneralFrame*>();
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->ShowTipOfTheDayBtn()->text(), "Show Tip of the Day");
    general->ShowTipOfTheDayBtn()->click();
    EXPECT_TRUE(form.TipOfTheDay()->isVisible());
    EXPECT_TRUE(form.TipOfTheDay()->WasShown());
    form.TipOfTheDay()->hide();
}

TEST_F(TipOfTheDayTest, AboutBoxAndSplashTakeTheirTextsFromTheLanguageTable)
{
    TAboutForm about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.OKButton()->text(), "OK");
    EXPECT_EQ(about.UpgradeCheckButton()->text(), "Check for Upgrade");
    EXPECT_EQ(about.MiniAbout()->VersionDescription()->text(), "Version " + QString::fromStdString(AppVersion()));
    EXPECT_EQ(about.MiniAbout()->ProgramName()->text(), QString::fromStdString(AppProductName()));
    EXPECT_EQ(UpgradeCheckAddress("1.2.3"), "http://www.brindlesoft.com/upgrade/check.php?p=gleanery&v=1.2.3");

    TSplashForm splash;
    splash.ShowModal(0);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.MiniAbout()->VersionDescription()->text(), about.MiniAbout()->VersionDescription()->text());
}

TEST_F(TipOfTheDayTest, LogoCountsAloudAfterThreeDoubleClicksAndCalmsDown)
{
    std::deque<int> draws;
    TLogoReactions logo([&](int n) {
        int v = draws.empty() ? n - 1 : draws.front();
        if (!draws.empty())
            draws.pop_front();
        return v;
    });
    int64_t t = 10000;
    for (int i = 0; i < 3; ++i, t += 2000)
        EXPECT_TRUE(logo.DoubleClick(t).text.isEmpty());
    EXPECT_EQ(logo.DoubleClick(t).text, "1");
    t += 2000;
    EXPECT_EQ(logo.DoubleClick(t).text, "2");
    draws = {0};
    const TLogoReactions::TReaction hurry = logo.DoubleClick(t + 500);
    EXPECT_EQ(hurry.text, "Hold onn");
    EXPECT_TRUE(hurry.wait);
    EXPECT_TRUE(logo.DoubleClick(t + 1500).text.isEmpty());  // still quiet after that answer
    t += 4000;
    EXPECT_EQ(logo.DoubleClick(t).text, "3");
    t += 2000;
    EXPECT_EQ(logo.DoubleClick(t).text, "4");
    draws = {0, 2};
    t += 2000;
    EXPECT_EQ(logo.DoubleClick(t).text, "Let's  start  over.");
    EXPECT_EQ(logo.Count(), 3);
}

}  // namespace
