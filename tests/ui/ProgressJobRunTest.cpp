// A whole job against a small web server on 127.0.0.1, its reports handed to the Progress and
// Log pages by the output splitter, and the page, the report and the log checked at the end.
#include "engine/DownloadThreadDispacher.h"
#include "engine/GYCSSParser.h"
#include "engine/GYHTMLParser.h"
#include "engine/JobDownloadFilter.h"
#include "engine/LinkParser.h"
#include "engine/PasswordMgr.h"
#include "engine/SpiderInputMsg.h"
#include "engine/SpiderOutputMsgQueue.h"
#include "engine/SpiderThread.h"
#include "platform/InternetLibrary.h"
#include "tests/common/TempFolder.h"
#include "ui/CopyProgress.h"
#include "ui/CopyProgressRules.h"
#include "ui/JobLog.h"
#include "ui/SpiderOutputSplitter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Serves fixed pages, one request per connection; anything else is 404.
class TTinyWebServer {
public:
    explicit TTinyWebServer(std::map<std::string, std::pair<std::string, std::string>> pages)
        : pages_(std::move(pages))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 16);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::pipe(stop_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TTinyWebServer()
    {
        (void)::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listener_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    void Serve()
    {
        for (;;) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
                return;
            int client = ::accept(listener_, nullptr, nullptr);
            if (client >= 0) {
                Answer(client);
                ::close(client);
            }
        }
    }
    void Answer(int client)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<size_t>(n));
        }
        size_t space = request.find(' ');
        std::string method = request.substr(0, space);
        std::string path = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        auto it = pages_.find(path);
        std::string status = it == pages_.end() ? "404 Not Found" : "200 OK";
        std::string body = it == pages_.end() ? std::string("<html>missing</html>") : it->second.second;
        std::string type = it == pages_.end() ? std::string("text/html") : it->second.first;
        std::string answer = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                             "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        if (method != "HEAD")
            answer += body;
        size_t sent = 0;
        while (sent < answer.size()) {
            ssize_t n = ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    std::map<std::string, std::pair<std::string, std::string>> pages_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

}  // namespace

TEST(ProgressJobRun, AJobAgainstALocalServerEndsInTheListsTheReportAndTheLog)
{
    TTempFolder temp;
    TTinyWebServer server({
        {"/", {"text/html", "<html><head><title>Home Page</title><link rel=stylesheet href=\"b.css\"></head><body>"
                            "<a href=\"a.html\">A</a> <a href=\"missing.html\">gone</a> "
                            "<a href=\"mailto:bob@example.com\">mail</a></body></html>"}},
        {"/a.html", {"text/html", "<html><head><title>  Page A  </title></head><body><img src=\"img/x.png\">"
                                  "</body></html>"}},
        {"/b.css", {"text/css", "body { color: black }"}},
        {"/img/x.png", {"image/png", std::string(5000, 'p')}},
    });

    TInternetLibrary library;
    TPasswordManager passwords;
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TDownloadFilter filter;
    THTMLParser htmlParser;
    TCSSParser cssParser;
    TLinkParser linkParser;
    TURLToFilenameMapper mapper;
    TReadWriteOutputMessenger messenger;
    TDownloadThreadDispacher dispatcher;
    TSpiderOutputSplitterForm splitter;
    TCopyProgressFrame progress;
    TJobLogFrame log;
    progress.Initialize(&splitter);
    log.Initialize(&splitter, temp / "JobLog.csv");
    bool ended = false;
    int32_t endCode = 0;
    QEventLoop loop;
    splitter.RegisterForSpiderOutput(kJobLogOutputMask, [&](const TSpiderOutputMsg& msg, int32_t) {
        if (msg.FMsgType == OUTMSG_JOB_ENDED) {
            ended = true;
            endCode = msg.FResultCode;
            loop.quit();
        }
    });
    splitter.SetAsOutputDestination();

    TSpiderInputMsg start;
    start.FMsgType = INMSG_START_JOB;
    start.FJobID = 5;
    start.FJob.Clear();
    start.FJob.JobName = "Untitled Job 5";
    start.FJob.SetDestinationFolder(temp / "site");
    start.FJob.StartingWebAddress.SetFullURL(server.Url("/"));
    start.FJob.RewriteLinks = true;
    start.FJob.RestrictLocation = 2;
    start.FJob.MaxDistance = -1;
    start.FJob.DownloadOptions.ConnectRetries = 0;
    ASSERT_TRUE(input.PushMessage(start));
    TSpiderThread crawler;
    output.SetTerminatingCheck([&crawler] { return crawler.Terminated(); });
    crawler.Resume();

    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!ended)
        loop.exec();
    crawler.Terminate();
    crawler.WaitFor();
    splitter.Close();
    ASSERT_TRUE(ended);
    EXPECT_EQ(endCode, JOB_END_COMPLETED);

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
