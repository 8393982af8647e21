// A whole job against a small web server on 127.0.0.1, its reports handed to the Progress and
// Log pages by the output splitter, and the page, the report and the log checked at the end.
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/PasswordMgr.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/crawl/SpiderThread.h"
#include "engine/crawl/EngineServices.h"
#include "platform/InternetLibrary.h"
#include "tests/common/TempFolder.h"
#include "ui/progress/CopyProgress.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/log/JobLog.h"
#include "ui/main/SpiderOutputSplitter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <httplib.h>

#include <map>
#include <set>
#include <thread>

namespace {

// Serves fixed pages on 127.0.0.1; anything else is 404.
class TPageServer {
public:
    explicit TPageServer(const std::map<std::string, std::pair<std::string, std::string>>& pages)
    {
        for (const auto& [path, page] : pages)
            server_.Get(path, [page = page](const httplib::Request&, httplib::Response& res) {
                res.set_content(page.second, page.first.c_str());
            });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~TPageServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

// A job for every page of the site at address, without retries.
TCopyJob WholeSiteJob(const std::string& name, const std::string& folder, const std::string& address)
{
    TCopyJob job;
    job.Clear();
    job.JobName = name;
    job.SetDestinationFolder(folder);
    job.StartingWebAddress.SetFullURL(address);
    job.RestrictLocation = 2;
    job.MaxDistance = -1;
    job.DownloadOptions.ConnectRetries = 0;
    return job;
}

// The services a job needs, the Progress and Log pages on the output splitter, and a crawl
// thread that runs one job until it ends.
class TJobRun {
public:
    explicit TJobRun(const std::string& logFile)
    {
        progress.Initialize(&splitter);
        log.Initialize(&splitter, logFile);
        splitter.RegisterForSpiderOutput(kJobLogOutputMask, [this](const TSpiderOutputMsg& msg, int32_t) {
            if (msg.FMsgType == OUTMSG_JOB_ENDED) {
                ended = true;
                endCode = msg.FResultCode;
                loop_.quit();
            }
        });
        splitter.SetAsOutputDestination();
    }

    // Runs job as job 5 and waits for its end.
    void Run(const TCopyJob& job)
    {
        TSpiderInputMsg start;
        start.FMsgType = INMSG_START_JOB;
        start.FJobID = 5;
        start.FJob.Assign(job);
        ASSERT_TRUE(input_.PushMessage(start));
        TSpiderThread crawler;
        output_.SetTerminatingCheck([&crawler] { return crawler.Terminated(); });
        crawler.Resume();
        QTimer::singleShot(60000, &loop_, &QEventLoop::quit);
        if (!ended)
            loop_.exec();
        crawler.Terminate();
        crawler.WaitFor();
        splitter.Close();
    }

    bool ended = false;
    int32_t endCode = 0;

private:
    TPasswordManager passwords_;
    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TEngineServices engine_;
    QEventLoop loop_;

public:
    TSpiderOutputSplitterForm splitter;
    TCopyProgressFrame progress;
    TJobLogFrame log;
};

}  // namespace

TEST(ProgressJobRun, AJobAgainstALocalServerEndsInTheListsTheReportAndTheLog)
{
    TTempFolder temp;
    TPageServer server({
        {"/", {"text/html", "<html><head><title>Home Page</title><link rel=stylesheet href=\"b.css\"></head><body>"
                            "<a href=\"a.html\">A</a> <a href=\"missing.html\">gone</a> "
                            "<a href=\"mailto:bob@example.com\">mail</a></body></html>"}},
        {"/a.html", {"text/html", "<html><head><title>  Page A  </title></head><body><img src=\"img/x.png\">"
                                  "</body></html>"}},
        {"/b.css", {"text/css", "body { color: black }"}},
        {"/img/x.png", {"image/png", std::string(5000, 'p')}},
    });

    TJobRun run(temp / "JobLog.csv");
    TCopyJob job = WholeSiteJob("Untitled Job 5", temp / "site", server.Url("/"));
    job.RewriteLinks = true;
    run.Run(job);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.endCode, JOB_END_COMPLETED);
    TCopyProgressFrame& progress = run.progress;
    TJobLogFrame& log = run.log;

    // The Progress page.
    EXPECT_FALSE(progress.JobRunning());
    EXPECT_EQ(progress.InProgressList()->topLevelItemCount(), 0);
    const TCompletedFilesModel& files = progress.CompletedFiles();
    int32_t missingRow = files.FindRow(QString::fromStdString(server.Url("/missing.html")));
    ASSERT_GE(missingRow, 0);
    EXPECT_EQ(files.Row(missingRow).Image, riNotFound);
    EXPECT_TRUE(files.Row(missingRow).Caption.startsWith("Not Found (http://127.0.0.1:")) << files.Row(missingRow).Caption.toStdString();
    int written = 0;
    for (int32_t i = 0; i < files.Count(); ++i)
        if (files.Row(i).Image == riSuccess && std::filesystem::exists(files.Row(i).Location.toStdString()))
            ++written;
    EXPECT_EQ(written, 4) << "index, a.html, b.css, img/x.png";
    EXPECT_EQ(progress.DownloadsDone(), files.Count());
    EXPECT_GE(progress.RewriteTotal(), 2);
    EXPECT_EQ(progress.RewritesDone(), progress.RewriteTotal());  // both bars full
    EXPECT_EQ(progress.DownloadsDone(), progress.DownloadTotal());
    const TSiteMapNode* pageA = progress.SiteMap().FindNode(
        {server.Url(""), "a.html"});
    ASSERT_NE(pageA, nullptr);
    EXPECT_EQ(pageA->Text(), "a.html (Page A)");
    ASSERT_NE(progress.SiteMap().FindNode({server.Url(""), "img", "x.png"}), nullptr);

    // The report.
    const TJobResultsReportData& report = progress.ReportData();
    EXPECT_EQ(report.StatusText, "Complete");
    EXPECT_EQ(report.FilesDownloaded, 4);
    EXPECT_GT(report.BytesDownloaded, 5000);
    std::string path;
    ASSERT_TRUE(report.CreateJobResultsReport(temp.Path(), path));
    std::string html = ReadTextFile(path);
    EXPECT_NE(html.find("Page A"), std::string::npos);
    EXPECT_NE(html.find("<IMG SRC=\"list5.bmp\" ALIGN=\"LEFT\">Not Found"), std::string::npos);

    // The log.
    ASSERT_EQ(log.CompletedJobsList()->topLevelItemCount(), 1);
    QTreeWidgetItem* row = log.CompletedJobsList()->topLevelItem(0);
    EXPECT_EQ(row->text(jlName), "Untitled Job 5 (Home Page)");
    EXPECT_EQ(row->text(jlDownloaded), "4");
    EXPECT_EQ(row->text(jlAddress).toStdString(), server.Url("/"));
    EXPECT_TRUE(std::filesystem::exists(row->text(jlFilename).toStdString()));
    EXPECT_NE(ReadTextFile(temp / "JobLog.csv").find("\"Untitled Job 5 (Home Page)\""), std::string::npos);
}

TEST(ProgressJobRun, AFlatJobListsEveryFileWhereTheFlatteningPutIt)
{
    TTempFolder temp;
    TPageServer server({
        {"/", {"text/html", "<html><body><a href=\"index.html\">home</a> <a href=\"docs/a.html\">A</a> "
                            "<a href=\"docs/deep/b.html\">B</a> <img src=\"img/x.png\"></body></html>"}},
        {"/index.html", {"text/html", "<html><body>home</body></html>"}},
        {"/docs/a.html", {"text/html", "<html><body><a href=\"deep/b.html\">B</a></body></html>"}},
        {"/docs/deep/b.html", {"text/html", "<html><body>B</body></html>"}},
        {"/img/x.png", {"image/png", std::string(300, 'p')}},
    });
    TJobRun run(temp / "JobLog.csv");
    TCopyJob job = WholeSiteJob("Flat", temp / "flat", server.Url("/"));
    job.FlattenDestinationFolders = true;
    job.Normalize();
    run.Run(job);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.endCode, JOB_END_COMPLETED);

    // Every downloaded file lies in the destination folder itself, and its row names it there.
    const std::string folder = job.GetDestinationPath();
    const TCompletedFilesModel& files = run.progress.CompletedFiles();
    std::set<std::string> named;
    for (int32_t i = 0; i < files.Count(); ++i) {
        const std::string location = files.Row(i).Location.toStdString();
        if (files.Row(i).Image != riSuccess)
            continue;
        EXPECT_TRUE(std::filesystem::is_regular_file(location)) << location;
        EXPECT_EQ(std::filesystem::path(location).parent_path(), std::filesystem::path(folder)) << location;
        named.insert(location);
    }
    std::set<std::string> onDisk;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            onDisk.insert(entry.path().string());
    EXPECT_EQ(named, onDisk);
    EXPECT_EQ(onDisk.size(), 4u) << "index.html, a.html, b.html, x.png";
    // "/" and "/index.html" are one file, and so one row.
    EXPECT_EQ(files.Count(), 4);
}
