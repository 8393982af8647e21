#include "tests/ui/UITestEnvironment.h"

#include "engine/job/JobTypes.h"
#include "ui/options/Cookies.h"
#include "ui/options/FindReplaceTasks.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// Runs fill on the dialog once it is shown modally, then closes it with OK or Cancel.
void AnswerDialog(QDialog* dialog, std::function<void()> fill, bool ok)
{
    QTimer::singleShot(0, dialog, [dialog, fill = std::move(fill), ok] {
        fill();
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
}

QStringList RowTexts(const QTreeWidgetItem* item)
{
    QStringList cells;
    for (int c = 0; c < item->columnCount(); ++c)
        cells << item->text(c);
    return cells;
}

TCopyJob JobWithTask()
{
    TCopyJob job;
    job.Clear();
    TFindReplaceTask& t = job.DownloadOptions.FindReplaceTasks.Tasks[0];
    t.FindString = "cat";
    t.ReplaceString = "dog";
    t.Flags = rfIgnoreCase;
    t.WholeWordsOnly = true;
    job.DownloadOptions.FindReplaceTasks.Count = 1;
    return job;
}

TEST(FindReplacePage, RowsShowTheirWordsAndSaveBackTheFlags)
{
    TCopyJob job = JobWithTask();
    TFindReplaceTasksFrame page(job);
    page.LoadFromCopyJob();
    ASSERT_EQ(page.TaskListView()->topLevelItemCount(), 1);
    EXPECT_EQ(RowTexts(page.TaskListView()->topLevelItem(0)), (QStringList{"First", "cat", "dog", "No", "Yes"}));
    EXPECT_FALSE(page.RemoveTask()->isEnabled());

    page.AddTaskRow(true, "a", false, false, "b");
    page.SaveToCopyJob();
    const TFindReplaceTasks& tasks = job.DownloadOptions.FindReplaceTasks;
    ASSERT_EQ(tasks.Count, 2);
    EXPECT_EQ(tasks.Tasks[0].Flags, rfIgnoreCase);
    EXPECT_TRUE(tasks.Tasks[0].WholeWordsOnly);
    EXPECT_EQ(tasks.Tasks[1].Flags, rfReplaceAll);
    EXPECT_FALSE(tasks.Tasks[1].WholeWordsOnly);
    EXPECT_EQ(tasks.Tasks[1].FindString, "a");

    page.TaskListView()->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(page.RemoveTask()->isEnabled());
    page.RemoveTaskClick();
    page.SaveToCopyJob();
    ASSERT_EQ(tasks.Count, 1);
    EXPECT_EQ(tasks.Tasks[0].FindString, "a");
}

TEST(FindReplacePage, DialogAddsTasksUntilTheListIsFull)
{
    TCopyJob job;
    job.Clear();
    TFindReplaceTasksFrame page(job);
    TAddFindReplaceForm* dialog = page.Dialog();
    AnswerDialog(dialog, [dialog] {
        dialog->FindText()->setText("Widget");
        dialog->CaseSensitive()->setChecked(true);
        dialog->ReplaceAll()->setChecked(false);
        dialog->HighlightItem(0)->trigger();
    }, true);
    page.AddTaskClick();
    ASSERT_EQ(page.TaskListView()->topLevelItemCount(), 1);
    EXPECT_EQ(RowTexts(page.TaskListView()->topLevelItem(0)),
              (QStringList{"First", "Widget", "<b style=\"color:black;background-color:#ffff66\">Widget</b>", "Yes",
                           "Yes"}));
    // Cancel adds nothing; the dialog opens with empty texts and the last check marks.
    AnswerDialog(dialog, [dialog] {
        EXPECT_EQ(dialog->FindText()->text(), "");
        EXPECT_FALSE(dialog->ReplaceAll()->isChecked());
        dialog->FindText()->setText("x");
        dialog->ReplaceText()->setText("y");
    }, false);
    page.AddTaskClick();
    EXPECT_EQ(page.TaskListView()->topLevelItemCount(), 1);

    while (page.TaskListView()->topLevelItemCount() < TFindReplaceTasksFrame::kMaxRows)
        page.AddTaskRow(true, "f", true, false, "r");
    page.AddTaskClick();  // no dialog: it would wait for ever
    EXPECT_EQ(page.TaskListView()->topLevelItemCount(), 19);
}

TEST(FindReplaceDialog, OKNeedsTwoDifferentTexts)
{
    TAddFindReplaceForm dialog;
    dialog.FormShow();
    EXPECT_FALSE(dialog.OKButton()->isEnabled());
    EXPECT_FALSE(dialog.HighlightItem(1)->isEnabled());
    dialog.FindText()->setText("   ");
    dialog.ReplaceText()->setText("x");
    EXPECT_FALSE(dialog.OKButton()->isEnabled());
    EXPECT_TRUE(dialog.HighlightItem(1)->isEnabled());
    dialog.FindText()->setText("Word");
    dialog.ReplaceText()->setText("Word");
    EXPECT_FALSE(dialog.OKButton()->isEnabled());
    dialog.ReplaceText()->setText("word");
    EXPECT_TRUE(dialog.OKButton()->isEnabled());
    dialog.ReplaceText()->setText(" ");
    EXPECT_FALSE(dialog.OKButton()->isEnabled());
}

TEST(FindReplaceDialog, HighlightCaptionsShowAnAmpersandAsTyped)
{
    TAddFindReplaceForm dialog;
    dialog.FormShow();
    dialog.FindText()->setText("A&B && C");
    // The captions are set as the preset menu opens.
    QList<QObject*> holders = dialog.HighlightItem(0)->associatedObjects();
    auto menu = std::find_if(holders.begin(), holders.end(), [](QObject* o) { return qobject_cast<QMenu*>(o); });
    ASSERT_NE(menu, holders.end());
    emit qobject_cast<QMenu*>(*menu)->aboutToShow();
    EXPECT_EQ(dialog.HighlightItem(0)->text(), "Highlight \"A&&B &&&& C\" in yellow");
    EXPECT_EQ(dialog.HighlightItem(2)->iconText(), "Highlight \"A&B && C\" in green");
    // The preset itself takes the text unescaped.
    dialog.HighlightItem(0)->trigger();
    EXPECT_NE(dialog.ReplaceText()->text().indexOf("A&B && C"), -1);
    EXPECT_EQ(dialog.ReplaceText()->text().indexOf("A&&B"), -1);
}

TEST(CookiesPage, AllowingCookiesEnablesTheListAndRowsRoundTrip)
{
    TCopyJob job;
    job.Clear();
    job.DownloadOptions.AllowCookies = false;
    job.DownloadOptions.Cookies.Cookies[0] = {"http://a/", "n", "v"};
    job.DownloadOptions.Cookies.Count = 1;
    TCookiesFrame page(job);
    page.LoadFromCopyJob();
    EXPECT_FALSE(page.CookiesListView()->isEnabled());
    EXPECT_FALSE(page.AddCookie()->isEnabled());
    EXPECT_FALSE(page.RemoveCookie()->isEnabled());
    EXPECT_EQ(page.CookiesListView()->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    page.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.Cookies.Count, 1);  // the cookies stay in the job

    page.AllowCookies()->setChecked(true);
    EXPECT_TRUE(page.CookiesListView()->isEnabled());
    EXPECT_TRUE(page.AddCookie()->isEnabled());
    TAddCookieForm* dialog = page.Dialog();
    AnswerDialog(dialog, [dialog] {
        EXPECT_FALSE(dialog->OKButton()->isEnabled());
        dialog->URL()->setText("http://b/");
        EXPECT_TRUE(dialog->OKButton()->isEnabled());
        dialog->CookieName()->setText(" id ");
    }, true);
    page.AddCookieClick();
    // The next cookie starts from the same address, with empty name and value.
    AnswerDialog(dialog, [dialog] {
        EXPECT_EQ(dialog->URL()->text(), "http://b/");
        EXPECT_EQ(dialog->CookieName()->text(), "");
        dialog->CookieData()->setText("2");
    }, true);
    page.AddCookieClick();
    page.SaveToCopyJob();
    const TCookies& cookies = job.DownloadOptions.Cookies;
    ASSERT_EQ(cookies.Count, 3);
    EXPECT_TRUE(job.DownloadOptions.AllowCookies);
    EXPECT_EQ(cookies.Cookies[1].URL, "http://b/");
    EXPECT_EQ(cookies.Cookies[1].Name, " id ");
    EXPECT_EQ(cookies.Cookies[2].Data, "2");

    // Editing a row writes the dialog's texts back into it.
    page.CookiesListView()->topLevelItem(0)->setSelected(true);
    AnswerDialog(dialog, [dialog] {
        EXPECT_EQ(dialog->URL()->text(), "http://a/");
        dialog->CookieData()->setText("changed");
    }, true);
    page.CookiesListViewDblClick();
    EXPECT_EQ(page.CookiesListView()->topLevelItem(0)->text(2), "changed");
}

TEST(CookiesPage, RemovingSelectsTheRowThatMovedUp)
{
    TCopyJob job;
    job.Clear();
    TCookiesFrame page(job);
    page.AllowCookies()->setChecked(true);
    for (const char* url : {"http://1/", "http://2/", "http://3/"})
        page.AddCookieRow(url, "n", "v");
    QTreeWidget* list = page.CookiesListView();
    list->topLevelItem(1)->setSelected(true);
    page.RemoveCookieClick();
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().first()->text(0), "http://3/");
    page.RemoveCookieClick();
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(page.RemoveCookie()->isEnabled());
    EXPECT_EQ(list->topLevelItemCount(), 1);

    while (list->topLevelItemCount() < TCookiesFrame::kMaxRows)
        page.AddCookieRow("http://x/", "", "");
    page.AddCookieClick();  // full: no dialog
    EXPECT_EQ(list->topLevelItemCount(), 19);
}

}  // namespace
