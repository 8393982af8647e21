// The whole program in the test process: the services, the crawl thread, the main window with
// its pages, and a web server on 127.0.0.1. A job typed on the Start page runs to its end.
#include "tests/ui/UITestEnvironment.h"

#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/PasswordMgr.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/crawl/SpiderThread.h"
#include "platform/IniFile.h"
#include "platform/InternetLibrary.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/start/Start.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/UISettings.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

class CopySiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int run = 0;
        site_ = TestHomeFolder() + "/copy-" + std::to_string(++run);
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(site_)));
        WriteSettingBool("Automation", "ShowJobQueue", false);
        WriteSettingBool("Automation", "SaveQueueBetweenRuns", true);
        server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><head><title>Home</title></head><body><a href=\"b.html\">b</a></body></html>",
                            "text/html");
        });
        server_.Get("/b.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body><a href=\"/\">home</a></body></html>", "text/html");
        });
        server_.Get("/slow.html", [this](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 300 && !release_; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            res.set_content("<html></html>", "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        serverThread_ = std::thread([this] { server_.listen_after_bind(); });

        form_ = std::make_unique<TMainForm>();
        InitAfterFormsCreated(*form_, &splitter_);
        output_.SetTerminatingCheck([this] { return crawler_.Terminated(); });
        form_->JobQueue()->SetCrawlThreadControl([this] { crawler_.Terminate(); },
                                                 [this] { return crawler_.Finished(); });
        crawler_.Resume();
    }
    void TearDown() override
    {
        release_ = true;
        crawler_.Terminate();
        crawler_.WaitFor();
        splitter_.Close();
        form_.reset();
        server_.stop();
        serverThread_.join();
    }

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    // Runs the event loop until done() or the time is up; done() at the end.
    static bool WaitUntil(const std::function<bool()>& done, int ms)
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        poll.start(20);
        loop.exec();
        return done();
    }

    int StartFromStartPage(const std::string& path, const std::string& name)
    {
        form_->StartPage()->StartingAddressPage()->DestinationFolderHistory()->setEditText(
            QString::fromStdString(site_));
        return form_->StartPage()->StartJobForAddress(Url(path), name);
    }

    TBoxRecorder boxes_;
    TInternetLibrary internet_;
    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TPasswordManager passwords_;
    TDownloadFilter filter_;
    THTMLParser htmlParser_;
    TCSSParser cssParser_;
    TLinkParser linkParser_;
    TURLToFilenameMapper mapper_;
    TReadWriteOutputMessenger readWriteMessenger_;
    TDownloadThreadDispacher dispatcher_;
    TSpiderOutputSplitterForm splitter_;
    TSpiderThread crawler_;
    std::unique_ptr<TMainForm> form_;

    httplib::Server server_;
    std::thread serverThread_;
    int port_ = 0;
    std::atomic<bool> release_{false};
    std::string site_;
};

TEST_F(CopySiteTest, AJobTypedOnTheStartPageRunsToItsEnd)
{
    ASSERT_EQ(StartFromStartPage("/", "home"), 0);
    ASSERT_TRUE(WaitUntil([&] { return form_->windowTitle().contains("[Complete]"); }, 30000))
        << form_->windowTitle().toStdString();
    const std::string host = site_ + "/127.0.0.1+" + std::to_string(port_);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(host + "/index.html")));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(host + "/b.html")));
    EXPECT_TRUE(form_->IsPageVisible(pgProgress));
    // The hidden queue let the ended job go; the next one is taken.
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_EQ(StartFromStartPage("/b.html", "again"), 0);
    EXPECT_TRUE(WaitUntil([&] { return form_->windowTitle().startsWith("again [Complete]"); }, 30000))
        << form_->windowTitle().toStdString();
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(CopySiteTest, ClosingDuringAJobIsQuickAndSavesTheQueue)
{
    ASSERT_EQ(StartFromStartPage("/slow.html", "slow"), 0);
    ASSERT_TRUE(WaitUntil([&] { return form_->windowTitle().contains("[Busy]"); }, 30000));
    QElapsedTimer timer;
    timer.start();
    form_->close();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(crawler_.Finished());
    TIniFile ini(UIDataFolder() + "Queue/Queue.ini");
    EXPECT_EQ(ini.ReadInteger("Queue", "JobCount", -1), 1);
    int32_t status = ini.ReadInteger("Queue", "JobStatus1", -1);
    EXPECT_TRUE(status == jsBusy || status == jsAborted) << status;
}

}  // namespace
