#include "tests/ui/UITestEnvironment.h"

#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/common/MessageBoxes.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/start/Start.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/UISettings.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QToolButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

class StartPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteSettingBool("Automation", "ShowJobQueue", false);
        WriteSettingBool("Preferences", "ShowJobDetails", false);
        WriteSettingBool("Tips", "ShowOnStartup", false);  // a shown window stays the active one
        form_ = std::make_unique<TMainForm>();
        InitAfterFormsCreated(*form_, nullptr);
        start_ = form_->StartPage();
    }
    void TearDown() override
    {
        form_.reset();
        WriteSettingBool("Tips", "ShowOnStartup", true);
    }

    void Report(uint8_t type, int32_t jobID, int32_t code = 0)
    {
        start_->OnSpiderOutput(ReportOf(type, jobID, code), 1);
        form_->JobQueue()->OnSpiderOutput(ReportOf(type, jobID, code), 1);
    }

    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TBoxRecorder recorder_;
    std::unique_ptr<TMainForm> form_;
    TStartFrame* start_ = nullptr;
};

TEST_F(StartPageTest, FirstStartShowsOnlyTheTemplatesUntilAJobIsChosen)
{
    EXPECT_TRUE(start_->IsTipShown());
    EXPECT_TRUE(start_->StartJobButton()->isHidden());
    EXPECT_TRUE(start_->StartFramesTree()->isHidden());
    ASSERT_GE(start_->TemplateFiles().size(), 1u);  // the default templates were written
    start_->OnTemplateMenuItemClick(0);
    EXPECT_EQ(start_->ShownPage(), 0);
    EXPECT_FALSE(start_->StartJobButton()->isHidden());
    // Hiding the details now keeps the page and the buttons.
    start_->ShowDetailsButtonClick();
    start_->ShowDetailsButtonClick();
    EXPECT_TRUE(start_->StartFramesTree()->isHidden());
    EXPECT_EQ(start_->ShownPage(), 0);
    EXPECT_FALSE(start_->StartJobButton()->isHidden());
    EXPECT_FALSE(ReadSettingBool("Preferences", "ShowJobDetails", true));
}

TEST_F(StartPageTest, DownloadNowIsDisabledWhileAJobRuns)
{
    EXPECT_EQ(start_->StartJobButton()->text(), "Download Now");
    Report(OUTMSG_JOB_STARTED, 1);
    EXPECT_FALSE(start_->StartJobButton()->isEnabled());
    Report(OUTMSG_JOB_ENDED, 1, JOB_END_COMPLETED);
    EXPECT_TRUE(start_->StartJobButton()->isEnabled());
    form_->SetJobQueueVisible(true);
    WriteSettingBool("Automation", "ShowJobQueue", true);
    start_->UpdateLanguageLabels();
    EXPECT_EQ(start_->StartJobButton()->text(), "Add Job to Queue");
    Report(OUTMSG_JOB_STARTED, 1);
    EXPECT_TRUE(start_->StartJobButton()->isEnabled());
}

TEST_F(StartPageTest, StartingAJobQueuesItAndKeepsHistoriesWithoutCredentials)
{
    std::string folder = TestHomeFolder() + "/start-target";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    TStartingAddressFrame* page = start_->StartingAddressPage();
    page->DestinationFolderHistory()->setEditText(QString::fromStdString(folder));
    EXPECT_EQ(start_->StartJobForAddress("http://bob:pw@127.0.0.1:9/a/", "mine"), 0);
    ASSERT_EQ(form_->JobQueue()->JobCount(), 1);
    const TCopyJob& queued = form_->JobQueue()->Slot(0).FJob;
    EXPECT_EQ(queued.JobName, "mine");
    EXPECT_EQ(queued.StartingWebAddress.GetUserName(), "bob");
    EXPECT_EQ(queued.DestinationFolder, folder);
    EXPECT_EQ(input_.Count(), 1);  // the hidden queue starts it at once
    std::vector<std::string> addresses = ReadHistory(THistoryKind::StartingAddress);
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(addresses[0], "http://127.0.0.1:9/a/");
    EXPECT_EQ(ReadHistory(THistoryKind::SaveFolder)[0], folder);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(LastJobFileName())));

    // A second job while one runs is refused by the hidden queue.
    EXPECT_EQ(start_->StartJobForAddress("http://127.0.0.1:9/b/", "other"), 1);
    // An address too long to be one is refused and leaves the history alone.
    Report(OUTMSG_JOB_STARTED, 1);
    Report(OUTMSG_JOB_ENDED, 1, JOB_END_COMPLETED);
    const std::string tooLong = "http://127.0.0.1:9/" + std::string(5000, 'x');
    EXPECT_EQ(start_->StartJobForAddress(tooLong, "long"), 2);
    EXPECT_EQ(ReadHistory(THistoryKind::StartingAddress)[0], "http://127.0.0.1:9/b/");
}

TEST_F(StartPageTest, YesToCreatingTheFolderGoesOnWithTheButtonPressed)
{
    // The queue shown, so that every job the button sends stays in it to be counted.
    WriteSettingBool("Automation", "ShowJobQueue", true);
    WriteSettingBool("Automation", "FocusQueueOnJobAdd", false);
    form_->SetJobQueueVisible(true);
    start_->OnTemplateMenuItemClick(0);
    form_->show();
    QApplication::setActiveWindow(form_.get());
    QCoreApplication::processEvents();
    TStartingAddressFrame* page = start_->StartingAddressPage();
    page->StartingAddressHistory()->setEditText("http://127.0.0.1:9/");
    QComboBox* box = page->DestinationFolderHistory();
    QPushButton* button = start_->StartJobButton();
    TJobQueueFrame* queue = form_->JobQueue();
    auto typeFolder = [&](const std::string& folder) {
        box->lineEdit()->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        ASSERT_TRUE(box->lineEdit()->hasFocus());
        box->setEditText(QString::fromStdString(folder));
    };

    // The press moves the focus out of the folder box, and the question's box takes the
    // release: after Yes the job goes on all the same.
    const std::string missing = TestHomeFolder() + "/asked/on/start";
    typeFolder(missing);
    recorder_.answer = true;
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_EQ(recorder_.captions, std::vector<std::string>{"Folder Does Not Exist"});
    QCoreApplication::processEvents();
    QTest::mouseRelease(page->JobName(), Qt::LeftButton);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(missing)).isDir());
    ASSERT_EQ(queue->JobCount(), 1);
    EXPECT_EQ(queue->Slot(0).FJob.DestinationFolder, missing);

    // A click whose release reaches the button adds its job once, not twice.
    const std::string other = TestHomeFolder() + "/asked/on/click";
    typeFolder(other);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder_.captions.size(), 2u);
    ASSERT_EQ(queue->JobCount(), 2);
    EXPECT_EQ(queue->Slot(1).FJob.DestinationFolder, other);

    // No leaves the box empty and adds nothing.
    typeFolder(TestHomeFolder() + "/refused");
    recorder_.answer = false;
    QTest::mousePress(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    QTest::mouseRelease(page->JobName(), Qt::LeftButton);
    EXPECT_EQ(recorder_.captions.size(), 3u);
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(queue->JobCount(), 2);
}

TEST_F(StartPageTest, EditingAQueuedJobKeepsTheChosenFolderWithoutItsRunSubfolder)
{
    const std::string folder = TestHomeFolder() + "/chosen";
    TCopyJob queued;
    queued.Clear();
    queued.StartingWebAddress.SetFullURL("http://127.0.0.1:9/a/");
    queued.SetDestinationFolder(folder);
    ASSERT_TRUE(queued.SelectUniqueDestinationSubfolder());  // as the queue does for a run
    for (int edit = 0; edit < 2; ++edit) {
        start_->EditCopyJob(queued);
        EXPECT_EQ(start_->StartingAddressPage()->DestinationFolderHistory()->currentText().toStdString(), folder);
        ASSERT_EQ(start_->StartJob(), 0);
        queued = form_->JobQueue()->Slot(form_->JobQueue()->JobCount() - 1).FJob;
        EXPECT_EQ(queued.DestinationFolder, folder);
        EXPECT_FALSE(queued.HasDestinationSubfolder());
        Report(OUTMSG_JOB_STARTED, edit + 1);
        Report(OUTMSG_JOB_ENDED, edit + 1, JOB_END_COMPLETED);
        ASSERT_TRUE(queued.SelectUniqueDestinationSubfolder());
    }
    EXPECT_EQ(start_->Job().GetDestinationPath(), folder);
}

TEST_F(StartPageTest, SavedJobNeverKeepsOnlyTheseWithAnEmptyList)
{
    TCopyJob job;
    job.Clear();
    job.StartingWebAddress.SetFullURL("http://127.0.0.1:9/");
    job.SetDestinationFolder(TestHomeFolder() + "/saved-target");
    job.Hosts.clear();
    job.HostsPurpose = lpOnlyThese;
    job.Extensions = ".gif";
    job.ExtensionsPurpose = lpOnlyThese;
    start_->EditCopyJob(job);
    const std::string file = TestHomeFolder() + "/saved.GCJ";
    ASSERT_TRUE(start_->SaveJobToFile(file));
    TCopyJob back;
    ASSERT_TRUE(back.ReadJobFile(file));
    EXPECT_EQ(back.HostsPurpose, lpUnused);
    EXPECT_EQ(back.ExtensionsPurpose, lpOnlyThese);
    EXPECT_EQ(back.Extensions, ".gif");

    // A flat job shows and stores both link options off, however often it is opened.
    job.FlattenDestinationFolders = true;
    job.RewriteLinks = true;
    job.DownloadOptions.UpdateOldFiles = true;
    start_->EditCopyJob(job);
    start_->EditCopyJob(job);
    EXPECT_FALSE(start_->StartingAddressPage()->FixLinks()->isChecked());
    ASSERT_TRUE(start_->SaveJobToFile(file));
    ASSERT_TRUE(back.ReadJobFile(file));
    EXPECT_TRUE(back.FlattenDestinationFolders);
    EXPECT_FALSE(back.RewriteLinks);
    EXPECT_FALSE(back.DownloadOptions.UpdateOldFiles);
}

TEST(Startup, PagesRegisterTheirListenersThenTheDestinationIsSet)
{
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TSpiderOutputSplitterForm splitter;
    WriteSettingBool("Automation", "ShowJobQueue", false);
    TMainForm form;
    InitAfterFormsCreated(form, &splitter);
    EXPECT_EQ(splitter.ListenerCount(), 7);  // start, queue, sounds, speech, progress, log, browse
    EXPECT_FALSE(form.IsPageVisible(pgJobQueue));
    EXPECT_FALSE(form.IsPageVisible(pgProgress));
    ASSERT_TRUE(output.PostMessage(ReportOf(OUTMSG_JOB_STARTED)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.StartPage()->StartJobButton()->isEnabled());
    splitter.Close();
}

// Saves a picture of the Start page with the details shown: GLEANERY_SCREENSHOT=/tmp/x.png.
TEST_F(StartPageTest, SavesScreenshotWhenAsked)
{
    const char* path = std::getenv("GLEANERY_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "GLEANERY_SCREENSHOT not set";
    start_->ShowDetailsButtonClick();
    form_->show();
    EXPECT_TRUE(form_->grab().save(path));
}

}  // namespace
