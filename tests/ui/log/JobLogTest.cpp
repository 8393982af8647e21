#include "engine/messages/SpiderOutputMsgTypes.h"
#include "tests/common/TempFolder.h"
#include "ui/common/DateTimeText.h"
#include "ui/log/JobLog.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class TJobScript {
public:
    explicit TJobScript(TJobLogFrame& log) : log_(log) {}

    void Run(int32_t id, const std::string& name, const std::vector<std::string>& titles, int written,
             const std::string& startPage, bool sendStart = true)
    {
        if (sendStart) {
            msg_.FMsgType = OUTMSG_JOB_STARTED;
            msg_.FJobID = id;
            Send();
        }
        for (int i = 0; i < written + 1; ++i) {
            msg_.FMsgType = OUTMSG_DOWNLOAD_ENDED;
            msg_.FDownload.FResults.FFileWritten = i < written ? 1 : 0;
            Send();
        }
        for (const std::string& title : titles) {
            msg_.FMsgType = OUTMSG_READ_ENDED;
            msg_.FReadWrite.FStatus = RW_STATUS_FINISHED;
            msg_.FReadWrite.FPageTitle = title;
            Send();
        }
        msg_.FMsgType = OUTMSG_JOB_ENDED;
        msg_.FJobID = id;
        msg_.FJob.JobName = name;
        msg_.FJob.StartingWebAddress.SetFullURL("http://bob:pw@example.com/start.htm#top");
        msg_.FStartPageFile = startPage;
        Send();
    }

private:
    void Send() { log_.OnSpiderOutput(msg_, 1); }
    TJobLogFrame& log_;
    TSpiderOutputMsg msg_;
};

QString Cell(const TJobLogFrame& log, int row, int column)
{
    return log.CompletedJobsList()->topLevelItem(row)->text(column);
}

}  // namespace

TEST(JobLogRules, CaptionTakesTheFirstTitleOnlyForUnnamedJobs)
{
    EXPECT_EQ(JobLogCaption("Untitled Job 3", "Home", "Untitled Job"), "Untitled Job 3 (Home)");
    EXPECT_EQ(JobLogCaption("My site", "Home", "Untitled Job"), "My site");
    EXPECT_EQ(JobLogCaption("", " Home\r\n page ", "Untitled Job"), "Home   page");
    EXPECT_EQ(JobLogCaption("untitled job 3", "Home", "Untitled Job"), "untitled job 3");
    EXPECT_EQ(JobLogCaption("Untitled Job 4", "", "Untitled Job"), "Untitled Job 4");
}

TEST(JobLogRules, ComparisonIsAStrictOrderWithUnreadableValuesFirst)
{
    QLocale old;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QString early = FormatDateAndTime(QDateTime(QDate(2025, 2, 3), QTime(9, 0, 0)));
    QString late = FormatDateAndTime(QDateTime(QDate(2025, 2, 3), QTime(14, 0, 0)));
    EXPECT_LT(CompareJobLogValues(jlStart, early, late), 0);
    EXPECT_GT(CompareJobLogValues(jlEnd, late, early), 0);
    EXPECT_LT(CompareJobLogValues(jlStart, "", early), 0);
    EXPECT_GT(CompareJobLogValues(jlStart, early, "garbage"), 0);
    EXPECT_EQ(CompareJobLogValues(jlStart, "", "garbage"), 0);
    EXPECT_LT(CompareJobLogValues(jlDownloaded, "9", "10"), 0);
    EXPECT_LT(CompareJobLogValues(jlDownloaded, "x", "0"), 0);
    EXPECT_EQ(CompareJobLogValues(jlDownloaded, "x", "y"), 0);
    EXPECT_LT(CompareJobLogValues(jlName, "a", "b"), 0);
    QLocale::setDefault(old);
}

TEST(JobLog, EndedJobsAreLoggedSavedAndReadBack)
{
    TTempFolder temp;
    const std::string file = temp / "JobLog.csv";
    std::string startPage = temp / "site/index.htm";
    std::filesystem::create_directories(temp / "site");
    WriteTextFile(startPage, "x");
    {
        TJobLogFrame log;
        log.Initialize(nullptr, file);
        QStringList published;
        QObject::connect(&log, &TJobLogFrame::LogEntriesChanged, [&](const QStringList& f) { published = f; });
        TJobScript script(log);
        script.Run(3, "Untitled Job 3", {"", "  Home\t", "Second"}, 2, startPage);
        script.Run(4, "Say \"hi\"", {"Ignored"}, 0, startPage);
        script.Run(5, "Other end", {}, 1, "", false);  // its start was never seen

        ASSERT_EQ(log.CompletedJobsList()->topLevelItemCount(), 3);
        EXPECT_EQ(Cell(log, 0, jlName), "Untitled Job 3 (Home)");
        EXPECT_EQ(Cell(log, 0, jlDownloaded), "2");
        EXPECT_EQ(Cell(log, 0, jlAddress), "http://example.com/start.htm");
        EXPECT_FALSE(Cell(log, 0, jlStart).isEmpty());
        EXPECT_TRUE(ParseDateTimeText(Cell(log, 0, jlEnd)).isValid());
        EXPECT_EQ(Cell(log, 1, jlName), "Say \"hi\"");
        EXPECT_EQ(Cell(log, 2, jlStart), "");
        EXPECT_EQ(published, (QStringList{QString::fromStdString(startPage), ""}));

        std::string text = ReadTextFile(file);
        EXPECT_NE(text.find("\"Say \"\"hi\"\"\", \""), std::string::npos);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    }
    TJobLogFrame again;
    again.Initialize(nullptr, file);
    ASSERT_EQ(again.CompletedJobsList()->topLevelItemCount(), 3);
    EXPECT_EQ(Cell(again, 1, jlName), "Say \"hi\"");
    // The first row is selected and its copy exists.
    EXPECT_TRUE(again.ViewButton()->isEnabled());
    EXPECT_TRUE(again.ExploreButton()->isEnabled());
    EXPECT_TRUE(again.RemoveFromLogButton()->isEnabled());

    // Sorting by count: descending first, then ascending; the order is saved.
    again.CompletedJobsListColumnClick(jlDownloaded);
    EXPECT_EQ(Cell(again, 0, jlDownloaded), "2");
    again.CompletedJobsListColumnClick(jlDownloaded);
    EXPECT_EQ(Cell(again, 0, jlDownloaded), "0");
    again.CompletedJobsList()->clearSelection();
    again.CompletedJobsList()->topLevelItem(0)->setSelected(true);
    again.RemoveFromLogButtonClick();
    EXPECT_EQ(again.CompletedJobsList()->topLevelItemCount(), 2);
    std::string saved = ReadTextFile(file);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2);

    // Logging off empties the file and logs nothing more.
    again.SetLoggingEnabled(false);
    EXPECT_EQ(ReadTextFile(file), "");
    TJobScript(again).Run(6, "Quiet", {}, 1, "");
    EXPECT_EQ(again.CompletedJobsList()->topLevelItemCount(), 0);

    // A row read back is aligned as a row added in this session.
    again.SetLoggingEnabled(true);
    TJobScript(again).Run(7, "Earlier", {}, 1, "");
    TJobLogFrame third;
    third.Initialize(nullptr, file);
    TJobScript(third).Run(8, "Now", {}, 1, "");
    const QTreeWidget* list = third.CompletedJobsList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    for (int c = 0; c < list->columnCount(); ++c)
        EXPECT_EQ(list->topLevelItem(0)->textAlignment(c), list->topLevelItem(1)->textAlignment(c)) << c;
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(jlDownloaded), Qt::AlignCenter);
}

TEST(JobLog, OnlyTheNameCanBeEditedInPlace)
{
    TTempFolder temp;
    const std::string file = temp / "JobLog.csv";
    TJobLogFrame log;
    log.Initialize(nullptr, file);
    TJobScript(log).Run(7, "Mine", {}, 1, "");
    QTreeWidget* list = log.CompletedJobsList();
    log.show();
    for (int column = jlStart; column < jlColumnCount; ++column) {
        list->edit(list->model()->index(0, column));
        EXPECT_EQ(list->findChild<QLineEdit*>(), nullptr) << "column " << column;
    }
    list->edit(list->model()->index(0, jlName));
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Renamed");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor, &enter);
    // The editor commits, then the page saves: each a step of the event loop.
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    EXPECT_EQ(Cell(log, 0, jlName), "Renamed");
    EXPECT_NE(ReadTextFile(file).find("\"Renamed\", "), std::string::npos);
}

TEST(JobLog, TitlesAreDecodedBeforeTheyAreLoggedAndSaved)
{
    TTempFolder temp;
    const std::string file = temp / "JobLog.csv";
    TJobLogFrame log;
    log.Initialize(nullptr, file);
    TSpiderOutputMsg msg;
    msg.FMsgType = OUTMSG_JOB_STARTED;
    msg.FJobID = 1;
    log.OnSpiderOutput(msg, 1);
    msg.FMsgType = OUTMSG_READ_ENDED;
    msg.FReadWrite.FStatus = RW_STATUS_FINISHED;
    msg.FReadWrite.FPageTitle = "\xCF\xF0\xE8 &#8212; Caf&eacute;";
    msg.FReadWrite.FPageCharset = "windows-1251";
    log.OnSpiderOutput(msg, 1);
    msg.FMsgType = OUTMSG_JOB_ENDED;
    msg.FJob.JobName = "";
    log.OnSpiderOutput(msg, 1);
    const std::string expected = "\xD0\x9F\xD1\x80\xD0\xB8 \xE2\x80\x94 Caf\xC3\xA9";
    EXPECT_EQ(Cell(log, 0, jlName).toStdString(), expected);
    EXPECT_EQ(ReadTextFile(file).rfind("\"" + expected + "\", ", 0), 0u);
}

// A log the program cannot read whole is kept beside it before the log is written again, and
// the page says so once.
TEST(JobLog, DamagedLogIsKeptAndTheReadableRowsStay)
{
    using namespace std::string_literals;
    TTempFolder folder;
    const std::string file = folder / "JobLog.csv";
    const std::string good = "\"a\", \"\", \"\", \"1\", \"http://h/\", \"/f\"\r\n";
    const std::string damaged = "\"qjob1\", \0\"x\"\r\n"s + good + "\xff\xfe\0\0\r\r"s + good;
    WriteTextFile(file, damaged);
    {
        TJobLogFrame log;
        QStringList told;
        QObject::connect(&log, &TJobLogFrame::FileRecovered, [&](const QString& text) { told.append(text); });
        log.Initialize(nullptr, file);
        EXPECT_EQ(log.CompletedJobsList()->topLevelItemCount(), 2);
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].contains(QString::fromStdString(file + ".damaged"))) << told[0].toStdString();
        EXPECT_EQ(ReadTextFile(file + ".damaged"), damaged);
        TJobScript(log).Run(1, "next", {}, 0, "/p");
        EXPECT_EQ(log.CompletedJobsList()->topLevelItemCount(), 3);
    }
    TJobLogFrame again;
    QStringList told;
    QObject::connect(&again, &TJobLogFrame::FileRecovered, [&](const QString& text) { told.append(text); });
    again.Initialize(nullptr, file);
    EXPECT_EQ(again.CompletedJobsList()->topLevelItemCount(), 3);
    EXPECT_TRUE(told.isEmpty());  // written whole: nothing more to tell

    // What is no file at all, or too large to read, goes aside whole and a new log begins.
    TTempFolder other;
    const std::string odd = other / "JobLog.csv";
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    TJobLogFrame fresh;
    fresh.Initialize(nullptr, odd);
    TJobScript(fresh).Run(1, "first", {}, 0, "/p");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(odd + ".damaged")).isDir());
    EXPECT_EQ(ReadTextFile(odd).substr(0, 8), "\"first\",");
    ASSERT_EQ(::truncate(odd.c_str(), TJobLogFrame::MaxLogFileBytes + 1), 0);
    TJobLogFrame big;
    big.Initialize(nullptr, odd);
    EXPECT_EQ(big.CompletedJobsList()->topLevelItemCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(odd + ".damaged2")));
}
