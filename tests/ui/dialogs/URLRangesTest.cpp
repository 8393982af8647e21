#include "tests/ui/UITestEnvironment.h"

#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/preferences/PreferencesAutomation.h"
#include "ui/preferences/Preferences.h"
#include "ui/common/UISettings.h"
#include "ui/dialogs/URLRanges.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList Manual(const QString& pattern, const QString& symbol, const QString& from, const QString& to)
{
    TURLRangesForm form;
    form.Pattern()->setText(pattern);
    form.ReplaceSymbol()->setText(symbol);
    form.RangeStart()->setText(from);
    form.RangeEnd()->setText(to);
    form.ManualGenerateButtonClick();
    const QString text = form.Results()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

TEST(URLRangesTest, ExamplePairGivesPatternAndUnpaddedNumbers)
{
    TURLRangesForm form;
    form.show();
    EXPECT_EQ(form.StartAddress()->text(), "http://www.example.com/page1.html");
    EXPECT_TRUE(form.AutoGenerateButton()->isEnabled());
    form.AutoGenerateButtonClick();
    EXPECT_EQ(form.Pattern()->text(), "http://www.example.com/page[x].html");
    EXPECT_EQ(form.ReplaceSymbol()->text(), "[x]");
    EXPECT_EQ(form.RangeStart()->text(), "1");
    EXPECT_EQ(form.RangeEnd()->text(), "100");
    const QStringList lines = form.Results()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 100);
    EXPECT_EQ(lines.front(), "http://www.example.com/page1.html");
    EXPECT_EQ(lines[9], "http://www.example.com/page10.html");
    EXPECT_EQ(lines.back(), "http://www.example.com/page100.html");
    EXPECT_TRUE(form.CreateJobsButton()->isEnabled());

    // Boxes holding text are kept when the window is shown again.
    form.hide();
    form.StartAddress()->setText("http://a.example/x");
    form.show();
    EXPECT_EQ(form.StartAddress()->text(), "http://a.example/x");
}

TEST(URLRangesTest, AutomaticGenerationFindsTheChangingPart)
{
    TAutoRange r = MakeAutoRange("http://h/img007.jpg", "http://h/img120.jpg");
    EXPECT_EQ(r.pattern, "http://h/img[x].jpg");
    EXPECT_EQ(r.rangeStart, "007");
    EXPECT_EQ(r.rangeEnd, "120");
    r = MakeAutoRange("http://h/a/index.html", "http://h/d/index.html");
    EXPECT_EQ(r.pattern, "http://h/[x]/index.html");
    EXPECT_EQ(r.rangeStart, "a");
    EXPECT_EQ(r.rangeEnd, "d");
    // Identical addresses leave no middle, hence nothing to generate; nothing breaks.
    r = MakeAutoRange("http://h/p5.html", "http://h/p5.html");
    EXPECT_TRUE(r.rangeStart.isEmpty());
    EXPECT_TRUE(r.rangeEnd.isEmpty());
}

TEST(URLRangesTest, NumericRangesPadLimitAndStop)
{
    QStringList lines = Manual("p[x]", "[x]", "01", "12");
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines.front(), "p01");
    EXPECT_EQ(lines.back(), "p12");

    lines = Manual("p[x]", "[x]", "1", "99999");
    ASSERT_EQ(lines.size(), kMaxRangeLines);
    EXPECT_EQ(lines.back(), "p10001");

    EXPECT_TRUE(Manual("p[x]", "[x]", "9", "3").isEmpty());
    // Only the first symbol is replaced; the symbol is case-sensitive.
    EXPECT_EQ(Manual("a[x]b[x]", "[x]", "1", "2"), QStringList({"a1b[x]", "a2b[x]"}));
    EXPECT_EQ(Manual("page[X]", "[x]", "1", "5"), QStringList({"page[X]"}));
    // Near the 32-bit limit the cap must not wrap around.
    lines = Manual("n[x]", "[x]", "2147483640", "2147483647");
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines.back(), "n2147483647");
}

TEST(URLRangesTest, LetterRangesPadAndFollowTheCaseOfTheStart)
{
    QStringList lines = Manual("s/[x]/", "[x]", "a", "zz");
    ASSERT_EQ(lines.size(), 676);
    EXPECT_EQ(lines.front(), "s/aa/");
    EXPECT_EQ(lines[26], "s/ba/");
    EXPECT_EQ(lines.back(), "s/zz/");
    EXPECT_EQ(Manual("[x]", "[x]", "A", "c"), QStringList({"A", "B", "C"}));
    lines = Manual("[x]", "[x]", "c", "a");
    ASSERT_EQ(lines.size(), 24);
    EXPECT_EQ(lines.back(), "z");
    EXPECT_EQ(Manual("[x]", "[x]", "aaaa", "zzzz").size(), 10000);

    QString value = "azz";
    EXPECT_TRUE(IncrementLetterString(value));
    EXPECT_EQ(value, "baa");
    value = "ZZ";
    EXPECT_FALSE(IncrementLetterString(value));
}

TEST(URLRangesTest, UnusableOrUnreadableRangesAreRefused)
{
    TBoxRecorder boxes;
    EXPECT_TRUE(Manual("p[x]", "[x]", "1", "b").isEmpty());
    EXPECT_TRUE(Manual("p[x]", "[x]", "-1", "5").isEmpty());
    EXPECT_TRUE(Manual("p[x]", "[x]", "a1", "b2").isEmpty());
    ASSERT_EQ(boxes.captions.size(), 3u);
    EXPECT_EQ(boxes.captions[0], "Unusable Range");
    // Too large for a 32-bit number: nothing, quietly.
    EXPECT_TRUE(Manual("p[x]", "[x]", "1", "99999999999").isEmpty());
    EXPECT_EQ(boxes.captions.size(), 3u);
    // Blank boxes: the button stays off and a click makes nothing.
    TURLRangesForm form;
    form.Pattern()->setText("p[x]");
    form.ReplaceSymbol()->setText("  ");
    form.RangeStart()->setText("1");
    form.RangeEnd()->setText("3");
    EXPECT_FALSE(form.ManualGenerateButton()->isEnabled());
    form.ManualGenerateButtonClick();
    EXPECT_TRUE(form.Results()->toPlainText().isEmpty());
    EXPECT_FALSE(form.CreateJobsButton()->isEnabled());
}

class URLRangesJobsTest : public ::testing::Test {
protected:
    void Open(bool showQueue)
    {
        WriteSettingBool("Automation", "ShowJobQueue", showQueue);
        form_ = std::make_unique<TMainForm>();
        InitAfterFormsCreated(*form_, nullptr);
    }

    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TBoxRecorder recorder_{true};
    std::unique_ptr<TMainForm> form_;
};

TEST_F(URLRangesJobsTest, CreateJobsQueuesEachAddressAndSkipsBlankLines)
{
    Open(true);
    TURLRangesForm ranges;
    QStringList handed;
    ranges.SetCreateJobsHandler([&](const QStringList& lines) {
        handed = lines;
        CreateJobsForAddresses(*form_, lines);
    });
    ranges.Results()->setPlainText("http://127.0.0.1:9/a/\r\nhttp://127.0.0.1:9/b/\n\n  \nhttp://127.0.0.1:9/c/\n");
    ranges.CreateJobsButtonClick();
    EXPECT_EQ(handed.size(), 6);
    EXPECT_EQ(form_->JobQueue()->JobCount(), 3);
}

TEST_F(URLRangesJobsTest, AHiddenQueueTakesOneJobAndTheRestStop)
{
    Open(false);
    CreateJobsForAddresses(*form_, {"http://127.0.0.1:9/a/", "http://127.0.0.1:9/b/", "http://127.0.0.1:9/c/"});
    EXPECT_EQ(form_->JobQueue()->JobCount(), 1);
}

TEST_F(URLRangesJobsTest, AutomationPageShowsTheGeneratorAndItsCreateJobsButtonWithTheQueue)
{
    Open(false);
    TPreferencesAutomationFrame* page = form_->Preferences()->Automation();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ShowURLRangeForm()->text(), "Address Range Generator...");
    TURLRangesForm* ranges = page->URLRangesForm();
    EXPECT_EQ(ranges->windowTitle(), "Gleanery Address Range Generator");
    EXPECT_FALSE(ranges->CreateJobsButton()->isVisibleTo(ranges));
    page->ShowJobQueue()->setChecked(true);
    EXPECT_TRUE(ranges->CreateJobsButton()->isVisibleTo(ranges));
    page->ShowURLRangeForm()->click();
    EXPECT_TRUE(ranges->isVisible());
    page->ShowJobQueue()->setChecked(false);
    EXPECT_FALSE(ranges->CreateJobsButton()->isVisibleTo(ranges));
    ranges->hide();
}

}  // namespace
