#include "ui/main/SpiderIOMsgView.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

namespace {

TEST(SpiderIOMsgView, OneLinePerCommandType)
{
    EXPECT_EQ(InputMessageLine(1, 7, 0, "Site copy"), "Start job #7: Site copy");
    EXPECT_EQ(InputMessageLine(5, 12, 99, ""), "Abort job #12");
    EXPECT_EQ(InputMessageLine(6, 3, 40, ""), "Stop file DL: 40");
    EXPECT_EQ(InputMessageLine(9, 3, 41, ""), "Stop MIME type DL: 41");
    EXPECT_EQ(InputMessageLine(0, 1, 1, "x"), "");
    EXPECT_EQ(InputMessageLine(10, 1, 1, "x"), "");
}

TEST(SpiderIOMsgView, LogsOnlyWhileEnabled)
{
    TSpiderIOMessagesView view;
    view.LogInputLine(2, 4, 0, "");
    view.LogInputLine(42, 4, 0, "");
    view.LogInputs()->setChecked(false);
    view.LogInputLine(3, 4, 0, "");
    EXPECT_EQ(view.InputMessages()->toPlainText(), "Pause job #4");
}

TEST(SpiderIOMsgView, SortIgnoresCase)
{
    TSpiderIOMessagesView view;
    view.OutputMessages()->setPlainText("banana\nApple\ncherry");
    view.SortOutputMsgsClick();
    EXPECT_EQ(view.OutputMessages()->toPlainText(), "Apple\nbanana\ncherry");
}

}  // namespace
