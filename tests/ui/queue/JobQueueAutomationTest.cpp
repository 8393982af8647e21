#include "tests/ui/UITestEnvironment.h"

#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/queue/JobCompletionCommand.h"
#include "ui/queue/JobQueue.h"
#include "ui/queue/JobQueueAutomation.h"
#include "ui/queue/SystemShutdown.h"
#include "ui/common/UISettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class TFakeShutdown : public TSystemShutdown {
public:
    explicit TFakeShutdown(int& calls) : calls_(calls) {}
    bool PowerOff(std::string& error) override
    {
        ++calls_;
        error = "Not allowed here";
        return false;
    }

private:
    int& calls_;
};

class JobQueueAutomationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int run = 0;
        dataFolder_ = TestHomeFolder() + "/automation-test-" + std::to_string(++run) + "/";
        destination_ = dataFolder_ + "site dir";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(destination_)));
        WriteSettingBool("Automation", "ShowJobQueue", true);
        WriteSettingBool("Automation", "StartJobsAutomatically", true);
        WriteSettingBool("Automation", "RemoveJobOnCompletion", false);
        WriteSettingBool("Automation", "ShutdownWhenAllJobsDone", false);
        WriteSettingBool("Automation", "RunAppOnJobCompletion", false);
        WriteSettingInteger("Automation", "CountdownStartNextJob", 2);
        WriteSettingInteger("Automation", "CountdownShutdown", 1);
        WriteSettingInteger("Automation", "CountdownWaitForProcess", 30);
    }
    void TearDown() override { frame_.reset(); }

    // Creates the page once the settings of the test are written.
    void MakeFrame()
    {
        frame_ = std::make_unique<TJobQueueFrame>();
        frame_->Initialize(nullptr, dataFolder_);
        automation_ = frame_->Automation();
        automation_->SetShutdownService(std::make_unique<TFakeShutdown>(powerOffCalls_));
    }

    TCopyJob Job(const std::string& name)
    {
        TCopyJob job;
        job.Clear();
        job.JobName = name;
        job.StartingWebAddress.SetFullURL("http://127.0.0.1:1/start");
        job.SetDestinationFolder(destination_);
        return job;
    }

    // Starts the selected job and lets it end with the given code.
    void RunSelectedJob(int32_t code, const std::string& startPage = "")
    {
        frame_->StartJobBtnClick();
        TSpiderInputMsg sent;
        ASSERT_TRUE(input_.PopMessage(sent));
        frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, sent.FJobID), 1);
        TSpiderOutputMsg written;
        written.FMsgType = OUTMSG_DOWNLOAD_ENDED;
        written.FJobID = sent.FJobID;
        written.FDownload.FResults.FFileWritten = 1;
        frame_->OnSpiderOutput(written, 1);
        TSpiderOutputMsg ended;
        ended.FMsgType = OUTMSG_JOB_ENDED;
        ended.FJobID = sent.FJobID;
        ended.FResultCode = code;
        ended.FStartPageFile = startPage;
        frame_->OnSpiderOutput(ended, 1);
    }

    void ClickMessage()
    {
        QMouseEvent press(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(frame_->TimerMessage(), &press);
    }

    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    std::string dataFolder_;
    std::string destination_;
    TBoxRecorder recorder_;
    int powerOffCalls_ = 0;
    std::unique_ptr<TJobQueueFrame> frame_;
    TJobQueueAutomation* automation_ = nullptr;
};

TEST_F(JobQueueAutomationTest, CountdownStartsTheNextJobAtZero)
{
    MakeFrame();
    frame_->AddNewJob(Job("one"));
    ASSERT_TRUE(automation_->IsCountdownRunning());
    EXPECT_EQ(automation_->CountdownKind(), ckStartNextJob);
    EXPECT_EQ(frame_->TimerMessage()->text().toStdString(), "Starting next job in 2 seconds (click here to cancel)");
    EXPECT_EQ(input_.Count(), 0);
    automation_->CountdownTimerTimer();
    EXPECT_EQ(frame_->TimerMessage()->text().toStdString(), "Starting next job in 1 seconds (click here to cancel)");
    EXPECT_EQ(input_.Count(), 0);
    automation_->CountdownTimerTimer();  // one second after 1 was shown
    EXPECT_FALSE(automation_->IsCountdownRunning());
    EXPECT_TRUE(frame_->TimerMessage()->isHidden());
    ASSERT_EQ(input_.Count(), 1);
    TSpiderInputMsg sent;
    ASSERT_TRUE(input_.PopMessage(sent));
    EXPECT_EQ(sent.FJob.JobName, "one");
}

TEST_F(JobQueueAutomationTest, CancelledOrPreemptedCountdownStartsNothing)
{
    MakeFrame();
    frame_->AddNewJob(Job("one"));
    ASSERT_TRUE(automation_->IsCountdownRunning());
    ClickMessage();
    EXPECT_FALSE(automation_->IsCountdownRunning());
    EXPECT_TRUE(frame_->TimerMessage()->isHidden());
    for (int i = 0; i < 4; ++i)
        automation_->CountdownTimerTimer();
    EXPECT_EQ(input_.Count(), 0);

    // Starting by hand stops the countdown, so the job is not started twice.
    automation_->StartCountdown(ckStartNextJob);
    frame_->StartJobBtnClick();
    EXPECT_FALSE(automation_->IsCountdownRunning());
    EXPECT_EQ(input_.Count(), 1);
}

TEST_F(JobQueueAutomationTest, SavedQueueCountsDownAtOnceAndADialogHoldsTheCount)
{
    WriteSettingBool("Automation", "SaveQueueBetweenRuns", true);
    WriteSettingBool("Automation", "StartJobsAutomatically", false);
    MakeFrame();
    frame_->AddNewJob(Job("one"));
    frame_->SaveQueueToDisk();
    frame_.reset();
    WriteSettingBool("Automation", "StartJobsAutomatically", true);
    MakeFrame();
    frame_->LoadSavedQueue();
    ASSERT_EQ(frame_->JobCount(), 1);
    ASSERT_TRUE(automation_->IsCountdownRunning());
    EXPECT_FALSE(frame_->TimerMessage()->isHidden());
    EXPECT_EQ(automation_->CountdownSeconds(), 1);

    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    for (int i = 0; i < 3; ++i)
        automation_->CountdownTimerTimer();
    EXPECT_EQ(automation_->CountdownSeconds(), 1);
    EXPECT_EQ(input_.Count(), 0);
    dialog.hide();
    automation_->CountdownTimerTimer();
    automation_->CountdownTimerTimer();
    EXPECT_EQ(input_.Count(), 1);
}

TEST_F(JobQueueAutomationTest, ZeroLengthStartsAtOnceAndAnErrorHaltsTheRun)
{
    WriteSettingInteger("Automation", "CountdownStartNextJob", 0);
    MakeFrame();
    frame_->AddNewJob(Job("one"));
    EXPECT_EQ(input_.Count(), 1);  // no message, no wait
    EXPECT_TRUE(frame_->TimerMessage()->isHidden());
    input_.Clear();
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, 1), 1);
    frame_->AddNewJob(Job("two"));  // a job runs: no countdown
    frame_->AddNewJob(Job("three"));
    EXPECT_EQ(input_.Count(), 0);
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_ENDED, 1, JOB_END_COMPLETED), 1);
    ASSERT_EQ(input_.Count(), 1);  // the next one followed at once
    TSpiderInputMsg sent;
    ASSERT_TRUE(input_.PopMessage(sent));
    EXPECT_EQ(sent.FJob.JobName, "two");
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, sent.FJobID), 1);
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_ENDED, sent.FJobID, JOB_END_ERROR), 1);
    EXPECT_EQ(input_.Count(), 0);
    EXPECT_FALSE(automation_->IsCountdownRunning());
}

TEST_F(JobQueueAutomationTest, ShutdownAfterTheLastJobAsksTheServiceUnlessEscapeIsHeld)
{
    WriteSettingBool("Automation", "ShutdownWhenAllJobsDone", true);
    WriteSettingInteger("Automation", "ShutdownType", 1);
    WriteSettingBool("Automation", "StartJobsAutomatically", false);
    MakeFrame();
    frame_->AddNewJob(Job("one"));
    frame_->AddNewJob(Job("two"));
    frame_->SelectIndex(0);
    RunSelectedJob(JOB_END_COMPLETED);
    EXPECT_FALSE(automation_->IsCountdownRunning());  // a job still waits

    frame_->SelectIndex(1);
    RunSelectedJob(JOB_END_COMPLETED);
    ASSERT_TRUE(automation_->IsCountdownRunning());
    EXPECT_EQ(automation_->CountdownKind(), ckShutdown);
    EXPECT_EQ(frame_->TimerMessage()->text().toStdString(), "Shutting down in 1 seconds (click here to cancel)");
    automation_->CountdownTimerTimer();
    EXPECT_EQ(powerOffCalls_, 1);
    ASSERT_EQ(recorder_.boxes.size(), 1u);
    EXPECT_EQ(recorder_.boxes[0], "Unable to Shutdown: Not allowed here");

    automation_->StartCountdown(ckShutdown);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(frame_.get(), &escape);
    automation_->CountdownTimerTimer();
    EXPECT_FALSE(automation_->IsCountdownRunning());
    EXPECT_EQ(powerOffCalls_, 1);
}

TEST_F(JobQueueAutomationTest, CompletionProgramGetsItsArgumentsWithoutAShellAndIsWaitedFor)
{
    std::string tools = dataFolder_ + "tools";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tools)));
    std::string script = tools + "/record.sh";
    std::string out = tools + "/args.txt";
    {
        QFile file(QString::fromStdString(script));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out + ".tmp'\npwd >> '" + out + ".tmp'\nmv '" + out +
                    ".tmp' '" + out + "'\n")
                       .c_str());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    WriteSettingBool("Automation", "RunAppOnJobCompletion", true);
    WriteSettingBool("Automation", "RemoveJobOnCompletion", true);
    MakeFrame();
    automation_->JobCompletionCommandLineEdit()->setText(QString::fromStdString("  " + script + " %n %d/x.txt %r  "));
    std::string hostile = "a; touch pwned $(touch pwned2) `id`";
    frame_->AddNewJob(Job(hostile));
    frame_->AddNewJob(Job("next"));
    ClickMessage();
    frame_->SelectIndex(0);
    std::string startPage = destination_ + "/127.0.0.1/start.htm";
    RunSelectedJob(JOB_END_COMPLETED, startPage);

    EXPECT_EQ(automation_->JobCompletionCommandLineEdit()->text().toStdString(),
              script + " %n %d/x.txt %r");  // trimmed
    ASSERT_TRUE(automation_->IsCountdownRunning());
    EXPECT_EQ(automation_->CountdownKind(), ckWaitForProcess);
    EXPECT_EQ(automation_->CompletionCommandText(),
              script + " " + hostile + " " + destination_ + "/x.txt /127.0.0.1/start.htm");
    EXPECT_EQ(frame_->JobCount(), 2);  // the after-job step waits for the program

    // The script's last step makes the file; on a loaded machine that may take a while.
    for (int i = 0; i < 300 && !QFileInfo::exists(QString::fromStdString(out)); ++i)
        QThread::msleep(100);
    int ticks = 0;
    while (automation_->CountdownKind() == ckWaitForProcess && ticks < 30) {
        QThread::msleep(100);
        automation_->CountdownTimerTimer();
        ++ticks;
    }
    // The program ended: the wait stopped early, the finished job went and the next job's
    // countdown runs.
    EXPECT_LT(ticks, 29);
    EXPECT_EQ(frame_->JobCount(), 1);
    EXPECT_EQ(automation_->CountdownKind(), ckStartNextJob);
    EXPECT_TRUE(automation_->IsCountdownRunning());

    QFile result(QString::fromStdString(out));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(result.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].toStdString(), hostile);
    EXPECT_EQ(lines[1].toStdString(), destination_ + "/x.txt");  // the blank in the folder kept it whole
    EXPECT_EQ(lines[2].toStdString(), "/127.0.0.1/start.htm");
    EXPECT_EQ(lines[3].toStdString(), tools);  // runs in its own folder
    EXPECT_FALSE(QFile::exists(QString::fromStdString(tools + "/pwned")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(tools + "/pwned2")));
}

// An executable that creates marker when it runs.
std::string MarkerScript(const std::string& folder, const std::string& marker)
{
    EXPECT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    std::string script = folder + "/mark.sh";
    QFile file(QString::fromStdString(script));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("#!/bin/sh\ntouch '" + marker + "'\n").c_str());
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
}

bool WaitForFile(const std::string& path, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (QFile::exists(QString::fromStdString(path)))
            return true;
        QThread::msleep(20);
    }
    return QFile::exists(QString::fromStdString(path));
}

TEST_F(JobQueueAutomationTest, NothingRunsForAJobThatEndsWhileTheProgramShutsDown)
{
    const std::string marker = dataFolder_ + "tools/ran";
    WriteSettingBool("Automation", "RunAppOnJobCompletion", true);
    WriteSettingBool("Automation", "ShutdownWhenAllJobsDone", true);
    WriteSettingInteger("Automation", "CountdownShutdown", 0);
    WriteSettingInteger("Automation", "ShutdownType", 1);
    MakeFrame();
    automation_->JobCompletionCommandLineEdit()->setText(QString::fromStdString(MarkerScript(dataFolder_ + "tools", marker)));
    frame_->AddNewJob(Job("one"));
    ClickMessage();
    frame_->SelectIndex(0);
    frame_->StartJobBtnClick();
    TSpiderInputMsg sent;
    ASSERT_TRUE(input_.PopMessage(sent));
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, sent.FJobID), 1);

    // The crawl thread answers the shut-down's abort with the job's end report.
    bool finished = false;
    frame_->SetCrawlThreadControl(
        [&] {
            QTimer::singleShot(50, [&] {
                frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_ENDED, sent.FJobID, JOB_END_CANCELLED), 1);
                finished = true;
            });
        },
        [&] { return finished; });
    frame_->PrepareForAppShutdown();
    ASSERT_TRUE(finished);
    EXPECT_EQ(frame_->Slot(0).FJobStatus, jsAborted);
    EXPECT_TRUE(automation_->CompletionCommandText().empty());
    EXPECT_FALSE(automation_->IsCountdownRunning());
    EXPECT_EQ(powerOffCalls_, 0);
    EXPECT_FALSE(WaitForFile(marker, 300));
}

TEST_F(JobQueueAutomationTest, ShutdownAfterTheLastJobWaitsForEveryRunningJob)
{
    const std::string marker = dataFolder_ + "tools/ran";
    WriteSettingBool("Automation", "RunAppOnJobCompletion", true);
    WriteSettingBool("Automation", "ShutdownWhenAllJobsDone", true);
    WriteSettingBool("Automation", "StartJobsAutomatically", false);
    WriteSettingInteger("Automation", "ShutdownType", 1);
    MakeFrame();
    // A program that is still running when the next job starts.
    std::string tools = dataFolder_ + "tools";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tools)));
    std::string slow = tools + "/slow.sh";
    {
        QFile file(QString::fromStdString(slow));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("#!/bin/sh\nwhile [ ! -e '" + marker + "' ]; do sleep 0.05; done\n").c_str());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    automation_->JobCompletionCommandLineEdit()->setText(QString::fromStdString(slow));
    frame_->AddNewJob(Job("A"));
    frame_->AddNewJob(Job("B"));
    frame_->SelectIndex(0);
    RunSelectedJob(JOB_END_COMPLETED);
    ASSERT_EQ(automation_->CountdownKind(), ckWaitForProcess);

    // B starts while the queue waits for A's program; then that program ends.
    frame_->SelectIndex(1);
    frame_->StartJobBtnClick();
    TSpiderInputMsg sent;
    ASSERT_TRUE(input_.PopMessage(sent));
    frame_->OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, sent.FJobID), 1);
    QFile(QString::fromStdString(marker)).open(QIODevice::WriteOnly);
    for (int ticks = 0; automation_->CountdownKind() == ckWaitForProcess && ticks < 50; ++ticks) {
        QThread::msleep(100);
        automation_->CountdownTimerTimer();
    }
    EXPECT_NE(automation_->CountdownKind(), ckWaitForProcess);
    EXPECT_FALSE(automation_->IsCountdownRunning() && automation_->CountdownKind() == ckShutdown);
    for (int i = 0; i < 3; ++i)
        automation_->CountdownTimerTimer();
    EXPECT_EQ(powerOffCalls_, 0);
    EXPECT_EQ(frame_->Slot(1).FJobStatus, jsBusy);

    // A job started during the shut-down count holds it at zero.
    automation_->StartCountdown(ckShutdown);
    automation_->CountdownTimerTimer();
    EXPECT_EQ(powerOffCalls_, 0);
}

TEST_F(JobQueueAutomationTest, MacrosExpandInOnePass)
{
    TCopyJob job;
    job.Clear();
    job.JobName = "%d";
    job.StartingWebAddress.SetFullURL("http://example.test/caf%c3%a9/p");
    job.SetDestinationFolder("/data/50%nOff");
    const std::string page = "/data/50%nOff/example.test/index.htm";
    EXPECT_EQ(ExpandCommandLineMacros("%s", job, page), "http://example.test/caf%c3%a9/p");
    EXPECT_EQ(ExpandCommandLineMacros("%d|%n|%c|%r", job, page),
              job.GetDestinationPath() + "|%d|" + page + "|" + page.substr(job.GetDestinationPath().size()));
    EXPECT_EQ(ExpandCommandLineMacros("100% %x %", job, page), "100% %x %");
}

TEST_F(JobQueueAutomationTest, ProgramThatCannotStartIsReportedOnlyWhenNoJobWaits)
{
    WriteSettingBool("Automation", "RunAppOnJobCompletion", true);
    WriteSettingBool("Automation", "StartJobsAutomatically", false);
    MakeFrame();
    automation_->JobCompletionCommandLineEdit()->setText("/nonexistent/tool %d");
    frame_->AddNewJob(Job("one"));
    frame_->AddNewJob(Job("two"));
    frame_->SelectIndex(0);
    RunSelectedJob(JOB_END_COMPLETED);
    EXPECT_TRUE(recorder_.boxes.empty());
    EXPECT_FALSE(automation_->IsCountdownRunning());
    frame_->SelectIndex(1);
    RunSelectedJob(JOB_END_STOPPED);
    ASSERT_EQ(recorder_.boxes.size(), 1u);
    EXPECT_NE(recorder_.boxes[0].find("/nonexistent/tool " + destination_), std::string::npos);
}

TEST_F(JobQueueAutomationTest, OptionsAreSavedAndReadBack)
{
    MakeFrame();
    automation_->SaveToUniqueSubfolderBox()->click();
    automation_->JobCompletionCommandLineEdit()->setText("tool %d");
    EXPECT_TRUE(ReadSettingBool("Automation", "SaveEachJobToUniqueSubfolder", false));
    WriteSettingInteger("Automation", "ShutdownType", 7);  // not an item: the list keeps its choice
    WriteSettingInteger("Automation", "CountdownStartNextJob", -3);
    frame_.reset();
    MakeFrame();
    EXPECT_TRUE(automation_->SaveToUniqueSubfolder());
    EXPECT_EQ(automation_->JobCompletionCommandLineEdit()->text().toStdString(), "tool %d");
    frame_->AddNewJob(Job("one"));
    EXPECT_EQ(input_.Count(), 1);  // a negative length counts as 0
    ASSERT_GE(automation_->CommandLinePopupMenu()->actions().size(), 1);
    automation_->CommandLinePopupMenu()->actions()[0]->trigger();
    EXPECT_EQ(automation_->JobCompletionCommandLineEdit()->text().toStdString(), "%c");
}

TEST(JobCompletionCommand, MacrosExpandInOrderAndSplitByWords)
{
    TCopyJob job;
    job.Clear();
    job.JobName = "Site";
    job.StartingWebAddress.SetFullURL("http://example.test/a");
    job.SetDestinationFolder("/home/u/Copies");
    std::string dest = job.GetDestinationPath();
    std::string page = "/HOME/u/copies/example.test/index.htm";
    EXPECT_EQ(ExpandCommandLineMacros("  %n|%s|%c|%r|%d  ", job, page),
              "Site|http://example.test/a|" + page + "|" + page.substr(dest.size()) + "|" + dest);
    EXPECT_EQ(ExpandCommandLineMacros("%r", job, "/elsewhere/x.htm"), "/elsewhere/x.htm");

    EXPECT_TRUE(IsMacroOnlyCommandLine("%c"));
    EXPECT_TRUE(IsMacroOnlyCommandLine("%c  \"%d\""));
    EXPECT_FALSE(IsMacroOnlyCommandLine("tool %d"));
    EXPECT_FALSE(IsMacroOnlyCommandLine(""));
    EXPECT_EQ(SplitCommandWords("a  \"b c\" d\"e f\"g"), (std::vector<std::string>{"a", "b c", "de fg"}));

    TCompletionCommand command =
        BuildCompletionCommand("DiscWriter.exe /dir=\"%d\" /run=\"%r\" /maxsize=\"630\"", job, page);
    EXPECT_EQ(command.program, "DiscWriter.exe");
    EXPECT_EQ(command.arguments,
              (std::vector<std::string>{"/dir=" + dest, "/run=" + page.substr(dest.size()), "/maxsize=630"}));
    EXPECT_TRUE(BuildCompletionCommand("%c", job, page).arguments.empty());
}

}  // namespace
