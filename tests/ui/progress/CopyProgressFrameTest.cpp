#include "engine/messages/FilterCodes.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "tests/common/TempFolder.h"
#include "ui/progress/CopyProgress.h"
#include "ui/progress/CopyProgressModels.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/progress/ReportViewer.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

// Builds reports the way the engine fills them.
class TScript {
public:
    TSpiderOutputMsg msg;

    TSpiderOutputMsg& JobStarted(int32_t id, const std::string& name, bool rewrite = true)
    {
        Reset(OUTMSG_JOB_STARTED);
        msg.FJobID = id;
        msg.FJob.JobName = name;
        msg.FJob.RewriteLinks = rewrite;
        msg.FJob.StartingWebAddress.SetFullURL("http://user:pw@example.com/");
        msg.FJob.DestinationFolder = "/tmp/sites";
        return msg;
    }
    TSpiderOutputMsg& JobEnded(int32_t code)
    {
        msg.FMsgType = OUTMSG_JOB_ENDED;
        msg.FResultCode = code;
        return msg;
    }
    TSpiderOutputMsg& Download(uint8_t type, int32_t number, const std::string& url, const std::string& localFile = "")
    {
        msg.FMsgType = type;
        msg.FDownload = TFileDownloadMsg{};
        msg.FDownload.FDownloadNumber = number;
        msg.FDownload.FURL.SetFullURL(url);
        msg.FDownload.FReferrer.SetFullURL("http://example.com/");
        msg.FDownload.FLocalFile = localFile;
        return msg;
    }
    TSpiderOutputMsg& Progress(int32_t number, const std::string& url, int64_t expected, int64_t received,
                               const std::string& mime = "text/html")
    {
        Download(OUTMSG_DOWNLOAD_PROGRESS, number, url, "/tmp/sites/example.com/file.htm");
        msg.FDownload.FProgress.FExpectedSize = expected;
        msg.FDownload.FProgress.FBytesReceived = received;
        msg.FDownload.FProgress.FElapsedMs = 1000;
        msg.FDownload.FProgress.FMimeType = mime;
        msg.FDownload.FProgress.FValid = 1;
        return msg;
    }
    TSpiderOutputMsg& ReadWrite(uint8_t type, uint8_t kind, int32_t number, const std::string& file)
    {
        msg.FMsgType = type;
        msg.FReadWrite.FKind = kind;
        msg.FReadWrite.FNumber = number;
        msg.FReadWrite.FLocalFile = file;
        return msg;
    }
    TSpiderOutputMsg& Link(bool isNew)
    {
        msg.FMsgType = OUTMSG_LINK_FOUND;
        msg.FLinkInfo.FNewAddress = isNew;
        return msg;
    }

private:
    void Reset(uint8_t type)
    {
        msg.FMsgType = type;
        msg.FJobID = 0;
        msg.FResultCode = 0;
    }
};

TSpiderOutputMsg& Ended(TScript& s, int32_t number, const std::string& url, const std::string& file, int32_t status,
                        bool written)
{
    TSpiderOutputMsg& m = s.Download(OUTMSG_DOWNLOAD_ENDED, number, url, file);
    m.FDownload.FResults.FResult = DL_RESULT_FINISHED;
    m.FDownload.FResults.FStatusCode = status;
    m.FDownload.FResults.FStatusText = status == 200 ? "OK" : status == 404 ? "Not Found" : "Other";
    m.FDownload.FResults.FFileWritten = written ? 1 : 0;
    m.FDownload.FProgress.FBytesReceived = 3000;
    m.FDownload.FProgress.FResumeOffset = 1000;
    return m;
}

QString Cell(const TCopyProgressFrame& frame, int row, int column)
{
    return frame.InProgressList()->topLevelItem(row)->text(column);
}

class CopyProgressFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        queue = std::make_unique<TSpiderInputMessageQueue>();
        frame = std::make_unique<TCopyProgressFrame>();
        frame->resize(640, 480);
    }
    void TearDown() override
    {
        frame.reset();
        queue.reset();
    }
    void Send(TSpiderOutputMsg& m) { frame->OnSpiderOutput(m, 1); }
    std::vector<std::pair<uint8_t, int32_t>> Commands()
    {
        std::vector<std::pair<uint8_t, int32_t>> out;
        TSpiderInputMsg m;
        while (queue->PopMessage(m))
            out.emplace_back(m.FMsgType, m.FDownloadNumber);
        return out;
    }

    TTempFolder temp;
    TScript s;
    std::unique_ptr<TSpiderInputMessageQueue> queue;
    std::unique_ptr<TCopyProgressFrame> frame;
};

}  // namespace

TEST(ResultRules, TextsImagesAndLocations)
{
    TTempFolder temp;
    std::string file = temp / "page.htm";
    WriteTextFile(file, "x");
    TScript s;

    TSpiderOutputMsg& ok = Ended(s, 1, "http://u:p@h/page.htm", file, 200, true);
    EXPECT_EQ(GetResultText(ok, false), "OK");  // a status text that is exactly "OK" stays; "200" would too
    EXPECT_EQ(GetResultImage(ok), riSuccess);
    EXPECT_EQ(GetDisplayLocationForMessage(ok), file);
    ok.FDownload.FResults.FStatusText = "200";
    EXPECT_EQ(GetResultText(ok, false), "OK");
    ok.FDownload.FLocalFile = temp / "gone.htm";
    // A file written and gone already (the flattening moved it) is still named: its move follows.
    EXPECT_EQ(GetDisplayLocationForMessage(ok), temp / "gone.htm");
    ok.FDownload.FResults.FFileWritten = 0;
    EXPECT_EQ(GetDisplayLocationForMessage(ok), "http://h/page.htm");  // no file: the address, no password

    TSpiderOutputMsg& missing = Ended(s, 2, "http://h/missing.htm", "", 404, false);
    EXPECT_EQ(GetResultText(missing, true), "Not Found (http://example.com/)");
    EXPECT_EQ(GetResultImage(missing), riNotFound);

    TSpiderOutputMsg& partial = Ended(s, 3, "http://h/a", "", 201, false);
    partial.FDownload.FResults.FStatusText = "Created\r\nreally";
    EXPECT_EQ(GetResultText(partial, true), "OK");
    EXPECT_EQ(GetResultText(partial, false), "Created\\really");
    EXPECT_EQ(GetResultImage(partial), riError);  // 201 is not a success for the image

    TSpiderOutputMsg& mail = Ended(s, 4, "mailto:bob@example.com?subject=hi", "", 0, false);
    mail.FDownload.FResults.FFiltered = 1;
    mail.FDownload.FResults.FFilterCode = 12;
    EXPECT_EQ(GetResultText(mail, true), "Email Address (http://example.com/)");
    EXPECT_EQ(GetResultImage(mail), riEmail);
    EXPECT_EQ(GetDisplayLocationForMessage(mail), "bob@example.com");

    TSpiderOutputMsg& filtered = Ended(s, 5, "http://h/big.zip", "/tmp/sites/h/big.zip", 0, false);
    filtered.FDownload.FResults.FFiltered = 1;
    filtered.FDownload.FResults.FFilterCode = 6;
    EXPECT_EQ(GetResultText(filtered, true), "Filtered: File Size");
    EXPECT_EQ(GetResultImage(filtered), riFiltered);
    EXPECT_EQ(GetDisplayLocationForMessage(filtered), "http://h/big.zip");
    filtered.FDownload.FResults.FFilterCode = 14;
    EXPECT_EQ(GetResultText(filtered, true), "Previously Downloaded");
    EXPECT_EQ(GetDisplayLocationForMessage(filtered), "/tmp/sites/h/big.zip");
    EXPECT_EQ(FilteredReasonText(0), "?");
    EXPECT_EQ(FilteredReasonText(16), "?");
    // Every refusal the filter reports has a text of its own.
    std::set<int> texts;
    for (uint8_t code = kFirstFilterCode; code <= FILTER_PREVIOUSLY_DOWNLOADED; ++code) {
        const int id = FilteredReasonTextId(code);
        EXPECT_NE(id, 0) << int(code);
        EXPECT_NE(FilteredReasonText(code), "?") << int(code);
        texts.insert(id);
    }
    EXPECT_EQ(texts.size(), size_t{FILTER_PREVIOUSLY_DOWNLOADED});

    TSpiderOutputMsg& timeout = Ended(s, 6, "http://h/slow", "/tmp/sites/h/slow", 0, false);
    timeout.FDownload.FResults.FErrorCodeValid = 1;
    timeout.FDownload.FResults.FErrorCode = 12002;
    EXPECT_EQ(GetResultImage(timeout), riRetryable);
    EXPECT_EQ(GetDisplayLocationForMessage(timeout), "http://h/slow");
    EXPECT_EQ(GetResultText(timeout, true).rfind("Error 12002 (", 0), 0u);
    // A refused certificate names the address and says why.
    for (int32_t code : {12045, 12037, 12038, 12175}) {
        timeout.FDownload.FResults.FErrorCode = code;
        EXPECT_EQ(GetDisplayLocationForMessage(timeout), "http://h/slow") << code;
    }
    timeout.FDownload.FResults.FErrorCode = 12045;
    EXPECT_NE(GetResultText(timeout, true).find("certificate is not trusted"), std::string::npos);
    timeout.FDownload.FResults.FErrorCode = 5;  // a system error names the file
    EXPECT_EQ(GetResultImage(timeout), riError);
    EXPECT_EQ(GetDisplayLocationForMessage(timeout), "/tmp/sites/h/slow");

    TSpiderOutputMsg& crashed = Ended(s, 7, "http://h/x", "", 0, false);
    crashed.FDownload.FResults.FResult = DL_RESULT_EXCEPTION;
    crashed.FDownload.FResults.FExceptionText = "boom";
    EXPECT_EQ(GetResultText(crashed, true), "Internal Error (boom)");
    EXPECT_EQ(GetResultImage(crashed), riError);
    crashed.FDownload.FResults.FResult = DL_RESULT_JOB_CANCELLED;
    EXPECT_EQ(GetResultText(crashed, true), "Cancelled");
    EXPECT_EQ(GetResultImage(crashed), riRetryable);

    TSpiderOutputMsg& ftp = Ended(s, 8, "ftp://h/f.zip", "", 206, false);
    EXPECT_EQ(GetResultImage(ftp), riError);
}

TEST_F(CopyProgressFrameTest, ScriptedJobFillsListsCountersAndReport)
{
    std::string page = temp / "index.htm";
    WriteTextFile(page, std::string(1500, 'x'));

    Send(s.JobStarted(7, "Demo"));
    EXPECT_TRUE(frame->JobRunning());
    EXPECT_TRUE(frame->InProgressGroupBox()->isVisibleTo(frame.get()));
    EXPECT_TRUE(frame->PauseButton()->isEnabled());
    EXPECT_FALSE(frame->ShowReportButton()->isEnabled());

    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 1, "http://user:pw@example.com/index.htm"));
    EXPECT_EQ(frame->DownloadTotal(), 1);
    ASSERT_EQ(frame->InProgressList()->topLevelItemCount(), 1);
    EXPECT_EQ(Cell(*frame, 0, 0), "Downloading");
    EXPECT_EQ(Cell(*frame, 0, 1), "http://example.com/index.htm");

    Send(s.Progress(1, "http://example.com/index.htm", 2048, 1024));
    EXPECT_EQ(Cell(*frame, 0, 2), "2 KB");
    EXPECT_EQ(Cell(*frame, 0, 3), "50%");
    EXPECT_EQ(Cell(*frame, 0, 4), "00:01");
    EXPECT_TRUE(frame->CurrentDownloadSlots()[0].InUse);
    EXPECT_EQ(frame->CurrentDownloadSlots()[0].FileName, "file.htm");
    EXPECT_EQ(frame->CurrentDownloadSlots()[0].Extension, ".htm");

    Send(s.Link(true));
    Send(s.Link(false));
    Send(s.Link(true));
    EXPECT_EQ(frame->DownloadTotal(), 3);

    Send(Ended(s, 1, "http://example.com/index.htm", page, 200, true));
    EXPECT_EQ(frame->InProgressList()->topLevelItemCount(), 0);
    EXPECT_FALSE(frame->CurrentDownloadSlots()[0].InUse);
    EXPECT_EQ(frame->DownloadsDone(), 1);
    ASSERT_EQ(frame->CompletedFiles().Count(), 1);
    EXPECT_EQ(frame->CompletedFiles().Row(0).Location.toStdString(), page);
    EXPECT_EQ(frame->CompletedFiles().Row(0).Caption, "OK");

    // A file another thread writes: counted, not listed.
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 2, "http://example.com/index.htm"));
    TSpiderOutputMsg& skipped = Ended(s, 2, "http://example.com/index.htm", page, 0, false);
    skipped.FDownload.FResults.FFiltered = 1;
    skipped.FDownload.FResults.FFilterCode = 16;
    Send(skipped);
    EXPECT_EQ(frame->InProgressList()->topLevelItemCount(), 0);
    EXPECT_EQ(frame->DownloadsDone(), 2);
    EXPECT_EQ(frame->CompletedFiles().Count(), 1);

    // The same location again keeps the first row; a redirect raises the total.
    TSpiderOutputMsg& again = Ended(s, 3, "http://example.com/index.htm", page, 404, false);
    again.FDownload.FResults.FRedirectAdded = 1;
    Send(again);
    EXPECT_EQ(frame->CompletedFiles().Count(), 1);
    EXPECT_EQ(frame->CompletedFiles().Row(0).Caption, "OK");
    EXPECT_EQ(frame->DownloadTotal(), 4);
    Send(Ended(s, 4, "http://example.com/dir/missing.htm", "", 404, false));
    ASSERT_EQ(frame->CompletedFiles().Count(), 2);
    EXPECT_EQ(frame->CompletedFiles().Row(1).Image, riNotFound);
    EXPECT_EQ(frame->DLProgressBar()->toolTip(), "Download Progress: 4 of 4");

    // Reading and rewriting.
    TSpiderOutputMsg& read = s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 1, page);
    read.FReadWrite.FURL.SetFullURL("http://example.com/index.htm");
    Send(read);
    EXPECT_EQ(Cell(*frame, 0, 0), "Reading");
    EXPECT_EQ(Cell(*frame, 0, 2), "1 KB");
    EXPECT_EQ(frame->RewriteTotal(), 1);
    Send(s.ReadWrite(OUTMSG_WRITE_STARTED, RW_KIND_REWRITE, 1, page));  // same number, other kind
    EXPECT_EQ(frame->FindInProgressRow(1, ipWrite), 1);
    EXPECT_EQ(Cell(*frame, 1, 3), "0");
    s.msg.FReadWrite.FPercent = 40;
    s.msg.FMsgType = OUTMSG_READ_PROGRESS;
    s.msg.FReadWrite.FNumber = 1;
    Send(s.msg);
    EXPECT_EQ(Cell(*frame, 0, 3), "40%");
    EXPECT_EQ(Cell(*frame, 1, 3), "0");
    TSpiderOutputMsg& readEnd = s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 1, page);
    readEnd.FReadWrite.FStatus = RW_STATUS_ERROR;
    readEnd.FReadWrite.FURL.SetFullURL("http://example.com/index.htm");
    readEnd.FReadWrite.FPageTitle = "  Welcome home  ";
    Send(readEnd);
    EXPECT_EQ(frame->FindInProgressRow(1, ipRead), -1);
    EXPECT_EQ(frame->CompletedFiles().Row(0).Caption, "File Read Error");
    EXPECT_EQ(frame->CompletedFiles().Row(0).Image, riError);
    const TSiteMapNode* leaf = frame->SiteMap().FindNode({"http://example.com", "index.htm"});
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->Text(), "index.htm (Welcome home)");
    EXPECT_EQ(leaf->Data, 0);
    EXPECT_EQ(frame->SiteMap().Root()->Name, "Demo");
    // A page met again at a smaller depth is read again, and rewritten once.
    Send(s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 2, page));
    Send(s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 2, page));
    EXPECT_EQ(frame->RewriteTotal(), 1);
    Send(s.ReadWrite(OUTMSG_WRITE_ENDED, RW_KIND_REWRITE, 1, page));
    EXPECT_EQ(frame->RewritesDone(), 1);
    EXPECT_EQ(frame->WriteProgressBar()->toolTip(), "Rewrite Progress: 1 of 1");
    EXPECT_TRUE(frame->WriteProgressPanel()->isVisibleTo(frame.get()));
    // After a stop, pages fetched but never read are rewritten as well: the total keeps up.
    for (int32_t n = 2; n <= 3; ++n)
        Send(s.ReadWrite(OUTMSG_WRITE_ENDED, RW_KIND_REWRITE, n, page));
    EXPECT_EQ(frame->RewriteTotal(), 3);
    EXPECT_EQ(frame->WriteProgressBar()->toolTip(), "Rewrite Progress: 3 of 3");

    // Flattening renames completed rows.
    s.msg.FMsgType = OUTMSG_FLATTEN_STARTED;
    Send(s.msg);
    EXPECT_EQ(Cell(*frame, 0, 0), "Flattening");
    s.msg.FMsgType = OUTMSG_FILE_MOVED_UP;
    s.msg.FFlattening.FOldPath = page;
    s.msg.FFlattening.FNewPath = temp / "moved.htm";
    Send(s.msg);
    EXPECT_EQ(frame->CompletedFiles().Row(0).Location.toStdString(), temp / "moved.htm");
    EXPECT_EQ(Cell(*frame, 0, 1).toStdString(), temp.Slash());
    s.msg.FMsgType = OUTMSG_FLATTEN_ENDED;
    Send(s.msg);
    EXPECT_EQ(frame->InProgressList()->topLevelItemCount(), 0);

    Send(s.JobEnded(JOB_END_STOPPED));
    EXPECT_FALSE(frame->JobRunning());
    EXPECT_EQ(frame->RunningJobID(), -1);
    EXPECT_FALSE(frame->InProgressGroupBox()->isVisibleTo(frame.get()));
    EXPECT_TRUE(frame->ShowReportButton()->isEnabled());
    EXPECT_FALSE(frame->PauseButton()->isEnabled());
    const TJobResultsReportData& report = frame->ReportData();
    EXPECT_EQ(report.StatusText, "Stopped");
    EXPECT_EQ(report.FilesDownloaded, 1);
    EXPECT_EQ(report.BytesDownloaded, 2000);  // resume offset left out
    EXPECT_EQ(report.Job.JobName, "Demo");
    EXPECT_TRUE(report.EndTime >= report.StartTime);

    // After the job the list sorts, and the tree still finds its row.
    frame->ProcessedFilesListColumnClick(1);  // first sort: descending
    EXPECT_EQ(frame->CompletedFiles().Row(0).Location, "http://example.com/dir/missing.htm");
    EXPECT_EQ(frame->CompletedFiles().RowOfKey(leaf->Data), 1);

    // A new job clears everything.
    Send(s.JobStarted(8, "Next"));
    EXPECT_EQ(frame->CompletedFiles().Count(), 0);
    EXPECT_TRUE(frame->SiteMap().IsEmpty());
    EXPECT_EQ(frame->DownloadTotal() + frame->DownloadsDone() + frame->RewriteTotal() + frame->RewritesDone(), 0);
}

// A completed job ends with full bars: an address counted as new that never reached a download,
// and a page read twice and rewritten once, leave no bar short. A stopped job keeps its counts.
TEST_F(CopyProgressFrameTest, ACompletedJobEndsWithFullBars)
{
    for (const int32_t end : {JOB_END_STOPPED, JOB_END_COMPLETED}) {
        Send(s.JobStarted(1, "J"));
        Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 1, "http://h/"));
        Send(Ended(s, 1, "http://h/", "/tmp/sites/h/index.htm", 200, true));
        Send(s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 1, "/tmp/sites/h/index.htm"));
        Send(s.Link(true));
        Send(s.Link(true));
        Send(s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 1, "/tmp/sites/h/index.htm"));
        Send(s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 2, "/tmp/sites/h/a.htm"));
        Send(s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 2, "/tmp/sites/h/a.htm"));
        Send(s.ReadWrite(OUTMSG_WRITE_STARTED, RW_KIND_REWRITE, 1, "/tmp/sites/h/index.htm"));
        Send(s.ReadWrite(OUTMSG_WRITE_ENDED, RW_KIND_REWRITE, 1, "/tmp/sites/h/index.htm"));
        Send(s.JobEnded(end));
        if (end == JOB_END_STOPPED) {
            EXPECT_EQ(frame->DLProgressBar()->toolTip(), "Download Progress: 1 of 3");
            EXPECT_EQ(frame->WriteProgressBar()->toolTip(), "Rewrite Progress: 1 of 2");
            continue;
        }
        EXPECT_EQ(frame->DLProgressBar()->toolTip(), "Download Progress: 1 of 1");
        EXPECT_EQ(frame->WriteProgressBar()->toolTip(), "Rewrite Progress: 1 of 1");
        EXPECT_EQ(frame->DLProgressBar()->value(), frame->DLProgressBar()->maximum());
        EXPECT_EQ(frame->WriteProgressBar()->value(), frame->WriteProgressBar()->maximum());
    }
}

TEST_F(CopyProgressFrameTest, UnknownSizesAndFullSlots)
{
    Send(s.JobStarted(1, "J", false));
    for (int n = 1; n <= 5; ++n) {
        Send(s.Download(OUTMSG_DOWNLOAD_STARTED, n, "http://h/f" + std::to_string(n)));
        Send(s.Progress(n, "http://h/f" + std::to_string(n), n == 5 ? 4096 : 0, 12 * 1024));
    }
    EXPECT_EQ(Cell(*frame, 0, 2), "");       // size unknown: no size
    EXPECT_EQ(Cell(*frame, 0, 3), "12 KB");  // bytes received instead of a percent
    EXPECT_EQ(Cell(*frame, 0, 4), "");
    // The fifth download found no free slot: its size is written on every progress report.
    EXPECT_EQ(Cell(*frame, 4, 2), "4 KB");
    frame->InProgressList()->topLevelItem(4)->setText(2, "");
    Send(s.Progress(5, "http://h/f5", 4096, 2048));
    EXPECT_EQ(Cell(*frame, 4, 2), "4 KB");
    EXPECT_EQ(frame->BuildInProgressMenu(frame->InProgressList()->topLevelItem(4)), nullptr);

    // A missing row is only logged.
    Send(s.Progress(99, "http://h/none", 10, 5));
    EXPECT_EQ(frame->InProgressList()->topLevelItemCount(), 5);
    // With rewriting off, reads do not count.
    Send(s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 1, "/nonexistent"));
    EXPECT_EQ(frame->RewriteTotal(), 0);
    EXPECT_EQ(Cell(*frame, 5, 2), "?");
}

TEST_F(CopyProgressFrameTest, JobCommandsGoToTheInputQueue)
{
    Send(s.JobStarted(3, "J"));
    frame->PauseButton()->click();
    EXPECT_TRUE(frame->PauseButton()->isChecked());
    frame->StopButtonClick();  // while paused: stop, then resume, and the button comes up
    EXPECT_FALSE(frame->PauseButton()->isChecked());
    frame->AbortJobMenuItemClick();
    auto commands = Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].first, INMSG_PAUSE_JOB);
    EXPECT_EQ(commands[1].first, INMSG_STOP_JOB);
    EXPECT_EQ(commands[2].first, INMSG_RESUME_JOB);
    EXPECT_EQ(commands[3].first, INMSG_ABORT_JOB);

    // A full queue: nothing more happens, the button keeps its place.
    for (int i = 0; i < TSpiderInputMessageQueue::Capacity; ++i)
        queue->PostPauseJob(3);
    frame->PauseButton()->setChecked(true);
    frame->StopButtonClick();
    EXPECT_TRUE(frame->PauseButton()->isChecked());
    Send(s.JobEnded(JOB_END_CANCELLED));
}

TEST_F(CopyProgressFrameTest, PerDownloadMenuActsOnItsOwnDownload)
{
    Send(s.JobStarted(4, "J"));
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 11, "http://h/a"));
    Send(s.Progress(11, "http://h/a", 100, 10, ""));
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 12, "http://h/b.zip"));
    Send(s.Progress(12, "http://h/b.zip", 100, 10, "application/zip"));
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 13, "http://h/c.htm"));
    Send(s.Progress(13, "http://h/c.htm", 100, 10, "text/html"));
    frame->resize(720, 520);
    frame->show();
    QTreeWidget* list = frame->InProgressList();
    list->setCurrentItem(list->topLevelItem(2));

    // The menu is for the row under the pointer, not the focused one.
    const QPoint onFirst = list->visualItemRect(list->topLevelItem(0)).center();
    emit list->customContextMenuRequested(onFirst);
    QMenu* menu = frame->InProgressMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->isVisible());
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "Stop downloading file.htm");
    EXPECT_EQ(actions[1]->text(), "Stop downloading all from h");
    EXPECT_FALSE(actions[2]->isEnabled());  // no extension
    EXPECT_FALSE(actions[3]->isEnabled());  // no MIME type

    // Rows move while the menu is open: it keeps its texts and stops the download it was built for.
    Send(Ended(s, 12, "http://h/b.zip", "", 200, false));
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(actions[0]->text(), "Stop downloading file.htm");
    actions[1]->trigger();
    menu->close();
    auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], std::make_pair(INMSG_STOP_HOST_DOWNLOADS, 11));

    // Once that download has ended, its menu does nothing.
    Send(Ended(s, 11, "http://h/a", "", 200, false));
    frame->InProgressMenuItemClick(0);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(frame->InProgressMenu()->actions().isEmpty());

    // The menu key asks at the focused row's place, as the window system reckons it.
    list->setCurrentItem(list->topLevelItem(0));
    const QPoint focusedPlace = list->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, focusedPlace, list->mapToGlobal(focusedPlace));
    QCoreApplication::sendEvent(list, &key);
    ASSERT_TRUE(frame->InProgressMenu()->isVisible());
    EXPECT_EQ(frame->InProgressMenu()->actions()[0]->text(), "Stop downloading file.htm");
    frame->InProgressMenu()->close();

    // No row under the pointer: no menu.
    emit list->customContextMenuRequested(QPoint(5, list->viewport()->height() - 2));
    EXPECT_FALSE(frame->InProgressMenu()->isVisible());

    menu = frame->BuildInProgressMenu(list->topLevelItem(0));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions()[2]->isEnabled());
    EXPECT_EQ(menu->actions()[3]->text(), "Stop downloading all of MIME type text/html");
}

// Pictures of the page for a person to look at: GLEANERY_PROGRESS_PICTURES=/tmp/folder.
TEST_F(CopyProgressFrameTest, SavesPicturesWhenAsked)
{
    const char* folder = std::getenv("GLEANERY_PROGRESS_PICTURES");
    if (!folder)
        GTEST_SKIP() << "GLEANERY_PROGRESS_PICTURES not set";
    const std::string out = folder;
    frame->resize(720, 520);
    frame->show();
    Send(s.JobStarted(1, "Example site"));
    std::string page = temp / "index.htm";
    WriteTextFile(page, std::string(40000, 'x'));
    const char* names[] = {"index.htm", "about.htm", "style.css", "img/logo.png", "docs/", "news/2025.htm"};
    int n = 0;
    for (const char* name : names) {
        ++n;
        Send(s.Download(OUTMSG_DOWNLOAD_STARTED, n, std::string("http://example.com/") + name));
        Send(Ended(s, n, std::string("http://example.com/") + name, n == 1 ? page : "", n == 5 ? 404 : 200, n == 1));
    }
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 20, "http://example.com/big/video.mp4"));
    Send(s.Progress(20, "http://example.com/big/video.mp4", 50 << 20, 21 << 20, "video/mp4"));
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 21, "http://example.com/feed"));
    Send(s.Progress(21, "http://example.com/feed", 0, 12 * 1024));
    TSpiderOutputMsg& read = s.ReadWrite(OUTMSG_READ_STARTED, RW_KIND_PARSE, 1, page);
    read.FReadWrite.FURL.SetFullURL("http://example.com/index.htm");
    Send(read);
    for (int i = 0; i < 9; ++i)
        Send(s.Link(true));
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->grab().save(QString::fromStdString(out + "/progress-running.png")));

    TSpiderOutputMsg& end = s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 1, page);
    end.FReadWrite.FStatus = RW_STATUS_FINISHED;
    end.FReadWrite.FPageTitle = "Example Domain";
    Send(end);
    Send(s.JobEnded(JOB_END_COMPLETED));
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->grab().save(QString::fromStdString(out + "/progress-done.png")));
    frame->SetListVisible(false);
    frame->ExpandButtonClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->grab().save(QString::fromStdString(out + "/progress-sitemap.png")));

    frame->ShowReportButtonClick();
    TReportViewForm* report = frame->ReportWindow();
    ASSERT_NE(report, nullptr);
    QEventLoop wait;
    QTimer::singleShot(15000, &wait, &QEventLoop::quit);
    QObject::connect(report->WebBrowser(), &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
    if (report->IsLoading())
        wait.exec();
    QTimer::singleShot(1500, &wait, &QEventLoop::quit);  // let the page paint
    wait.exec();
    EXPECT_TRUE(report->grab().save(QString::fromStdString(out + "/report.png")));
    EXPECT_TRUE(std::filesystem::exists(report->ReportPath()));
}

TEST_F(CopyProgressFrameTest, ViewActsOnTheFileSelectedInEitherView)
{
    std::string page = temp / "index.htm";
    WriteTextFile(page, "x");
    Send(s.JobStarted(9, "Demo"));
    Send(Ended(s, 1, "http://example.com/index.htm", page, 200, true));
    Send(Ended(s, 2, "http://example.com/missing.htm", "", 404, false));
    Send(s.JobEnded(JOB_END_COMPLETED));
    EXPECT_TRUE(frame->ViewFileButton()->isEnabled());  // the first row, a file

    frame->SetListVisible(false);
    QTreeView* tree = frame->ProcessedTreeView();
    const TSiteMapModel& map = frame->SiteMap();
    auto select = [&](const std::vector<std::string>& parts) {
        const TSiteMapNode* node = map.FindNode(parts);
        ASSERT_NE(node, nullptr);
        tree->setCurrentIndex(map.IndexOf(node));
    };
    select({"http://example.com", "index.htm"});
    EXPECT_TRUE(frame->ViewFileButton()->isEnabled());
    frame->BuildCompletedFileMenu();
    EXPECT_NE(frame->CompletedFileMenu()->findChild<QAction*>("BrowseFolder"), nullptr);
    select({"http://example.com"});
    EXPECT_FALSE(frame->ViewFileButton()->isEnabled());  // a host has no file
    select({"http://example.com", "missing.htm"});
    EXPECT_FALSE(frame->ViewFileButton()->isEnabled());  // an address has none either
    select({"http://example.com", "index.htm"});
    EXPECT_TRUE(frame->ViewFileButton()->isEnabled());

    // A running job leaves the command off in both views.
    Send(s.JobStarted(10, "Next"));
    EXPECT_FALSE(frame->ViewFileButton()->isEnabled());
}

TEST_F(CopyProgressFrameTest, FlatJobRowsFollowTheFilesMovedUp)
{
    // The flattening has moved every file before the page reads the download reports, as it
    // does when a job ends quickly: only the flat names exist.
    const std::string site = temp / "site";
    std::filesystem::create_directories(site);
    WriteTextFile(site + "/index.html", "home");
    WriteTextFile(site + "/b.css", "css");
    Send(s.JobStarted(3, "Flat", false));
    Send(Ended(s, 1, "http://h/", site + "/h/index.html", 200, true));
    Send(Ended(s, 2, "http://h/sub/b.css", site + "/h/sub/b.css", 200, true));
    Send(Ended(s, 3, "http://h/index.html", site + "/h/index.html", 200, true));  // the same file again
    Send(Ended(s, 4, "http://h/missing.htm", "", 404, false));
    s.msg.FMsgType = OUTMSG_FLATTEN_STARTED;
    Send(s.msg);
    auto movedUp = [&](const std::string& from, const std::string& to) {
        s.msg.FMsgType = OUTMSG_FILE_MOVED_UP;
        s.msg.FFlattening.FOldPath = from;
        s.msg.FFlattening.FNewPath = to;
        Send(s.msg);
    };
    movedUp(site + "/h/sub/b.css", site + "/h/b.css");  // first into its parent, then up again
    movedUp(site + "/h/b.css", site + "/b.css");
    movedUp(site + "/h/index.html", site + "/index.html");
    s.msg.FMsgType = OUTMSG_FLATTEN_ENDED;
    Send(s.msg);
    Send(s.JobEnded(JOB_END_COMPLETED));

    const TCompletedFilesModel& files = frame->CompletedFiles();
    ASSERT_EQ(files.Count(), 3);
    EXPECT_EQ(files.Row(0).Location.toStdString(), site + "/index.html");
    EXPECT_EQ(files.Row(1).Location.toStdString(), site + "/b.css");
    EXPECT_EQ(files.Row(2).Location.toStdString(), "http://h/missing.htm");
    QTreeView* list = frame->ProcessedFilesList();
    for (int row : {0, 1}) {
        list->setCurrentIndex(files.index(row, 0));
        EXPECT_TRUE(frame->ViewFileButton()->isEnabled()) << row;
    }
    list->setCurrentIndex(files.index(2, 0));
    EXPECT_FALSE(frame->ViewFileButton()->isEnabled());
}

TEST_F(CopyProgressFrameTest, CellsCutShortShowTheirWholeTextAsATip)
{
    std::string page = temp / "index.htm";
    WriteTextFile(page, "x");
    Send(s.JobStarted(4, "Tips"));
    const std::string longAddress = "http://example.com/" + std::string(300, 'a') + "/end.htm";
    Send(s.Download(OUTMSG_DOWNLOAD_STARTED, 7, longAddress));
    TSpiderOutputMsg& failed = Ended(s, 1, "http://example.com/tls", "", 0, false);
    failed.FDownload.FResults.FErrorCodeValid = 1;
    failed.FDownload.FResults.FErrorCode = 12175;
    Send(failed);
    Send(Ended(s, 2, "http://example.com/index.htm", page, 200, true));
    frame->show();
    QCoreApplication::processEvents();

    // The tip the view shows for the cell of index; empty when it shows none.
    auto tipOf = [](QAbstractItemView* view, const QModelIndex& index) {
        const QPoint at = view->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &help);
        return help.isAccepted() ? QToolTip::text() : QString();
    };
    // The in-progress list: a long address does not fit its column.
    QTreeWidget* inProgress = frame->InProgressList();
    const QModelIndex address = inProgress->model()->index(0, 1);
    EXPECT_NE(tipOf(inProgress, address).indexOf("/end.htm"), -1);
    EXPECT_EQ(tipOf(inProgress, inProgress->model()->index(0, 0)), "");  // "Downloading" fits

    QTreeView* list = frame->ProcessedFilesList();
    const TCompletedFilesModel& files = frame->CompletedFiles();
    ASSERT_EQ(files.Count(), 2);
    const QString error = files.Row(0).Caption;
    ASSERT_TRUE(error.startsWith("Error 12175 (")) << error.toStdString();
    list->header()->resizeSection(0, 90);
    EXPECT_EQ(tipOf(list, files.index(0, 0)), PlainToolTip(error));
    EXPECT_EQ(tipOf(list, files.index(1, 0)), "");  // "OK" fits
    list->header()->resizeSection(0, list->fontMetrics().horizontalAdvance(error) + 80);
    EXPECT_EQ(tipOf(list, files.index(0, 0)), "");

    // The site map too.
    frame->SetListVisible(false);
    QTreeView* tree = frame->ProcessedTreeView();
    tree->expandAll();
    tree->header()->setStretchLastSection(false);
    tree->header()->resizeSection(0, 60);
    const TSiteMapNode* node = frame->SiteMap().FindNode({"http://example.com", "index.htm"});
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(tipOf(tree, frame->SiteMap().IndexOf(node)), PlainToolTip(node->Text()));
}

TEST_F(CopyProgressFrameTest, TitlesAndMailAddressesAreShownDecoded)
{
    std::string page = temp / "about.htm";
    WriteTextFile(page, "x");
    Send(s.JobStarted(11, "Docs"));
    Send(Ended(s, 1, "http://example.com/about.htm", page, 200, true));
    TSpiderOutputMsg& mail = Ended(s, 2, "mailto:docs%40python.org", "", 0, false);
    mail.FDownload.FResults.FFiltered = 1;
    mail.FDownload.FResults.FFilterCode = 12;
    Send(mail);
    TSpiderOutputMsg& read = s.ReadWrite(OUTMSG_READ_ENDED, RW_KIND_PARSE, 1, page);
    read.FReadWrite.FStatus = RW_STATUS_FINISHED;
    read.FReadWrite.FURL.SetFullURL("http://example.com/about.htm");
    read.FReadWrite.FPageTitle = "About these documents &#8212; Python \x96 docs";
    read.FReadWrite.FPageCharset = "";
    Send(read);
    const TSiteMapNode* leaf = frame->SiteMap().FindNode({"http://example.com", "about.htm"});
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->Text().toStdString(),
              "about.htm (About these documents \xE2\x80\x94 Python \xE2\x80\x93 docs)");
    ASSERT_EQ(frame->CompletedFiles().Count(), 2);
    EXPECT_EQ(frame->CompletedFiles().Row(1).Location, "docs@python.org");
}
