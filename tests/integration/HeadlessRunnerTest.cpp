// The headless runner's exit status tells a copy from a failure.
#include <gtest/gtest.h>
#include <httplib.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/TempFolder.h"
#include "engine/job/JobTypes.h"
#include "engine/messages/RunOutcome.h"
#include "platform/NetTestSupport.h"

extern char** environ;

namespace {

class HeadlessRunnerTest : public ::testing::Test {
protected:
    HeadlessRunnerTest()
    {
        nettest::ClearProxyEnvironment();
        server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><a href=\"missing.htm\">m</a></html>", "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~HeadlessRunnerTest() override { nettest::StopServer(server_, thread_); }

    // Runs the runner on a job that starts at address, with the event log written to eventLog
    // when one is given; its exit status (-1 when it did not exit).
    int Run(const std::string& address, const std::string& eventLog = std::string())
    {
        TCopyJob job;
        job.Clear();
        job.StartingWebAddress.SetFullURL(address);
        job.SetDestinationFolder(temp_ / "site");
        job.DownloadOptions.Timeout = 10000;
        job.DownloadOptions.ConnectRetries = 0;
        const std::string jobFile = temp_ / "job.GCJ";
        EXPECT_TRUE(job.WriteJobFile(jobFile));
        const std::string dataFolder = temp_ / "data";
        const std::string output = temp_ / "out.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<const char*> argv = {GLEANERY_CRAWL_TOOL, "--data-folder", dataFolder.c_str()};
        if (!eventLog.empty())
            argv.insert(argv.end(), {"--event-log", eventLog.c_str()});
        argv.insert(argv.end(), {jobFile.c_str(), nullptr});
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, GLEANERY_CRAWL_TOOL, &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    TTempFolder temp_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

TEST_F(HeadlessRunnerTest, ACopyExitsZeroAStartThatNeverAnsweredDoesNot)
{
    EXPECT_EQ(Run(Url("/")), RUN_COPIED) << "a link that fails does not fail the copy";
    int closedPort = 0;
    ::close(nettest::ListenLocal(closedPort));
    EXPECT_EQ(Run("http://127.0.0.1:" + std::to_string(closedPort) + "/"), RUN_NO_START_PAGE);
    EXPECT_EQ(Run(Url("/missing.htm")), RUN_NO_START_PAGE);
}

TEST_F(HeadlessRunnerTest, ALocalStartPageCountsAsPresentWhenItWasRead)
{
    const std::string list = temp_ / "reading-list.html";
    WriteTextFile(list, "<html><a href=\"" + Url("/") + "\">s</a></html>");
    EXPECT_EQ(Run("file://" + list), RUN_COPIED);
    EXPECT_EQ(Run("file://" + (temp_ / "missing.html")), RUN_NO_START_PAGE);
    const std::string notes = temp_ / "notes.txt";
    WriteTextFile(notes, "nothing to read");
    EXPECT_EQ(Run("file://" + notes), RUN_NO_START_PAGE) << "a file that is not read for links";
}

// A folder where the index of the copy goes: the copy is made, but the run does not claim
// success, and the event log asked for tells why.
TEST_F(HeadlessRunnerTest, AnIndexThatCannotBeWrittenIsNoSuccessAndTheEventLogSaysWhy)
{
    std::filesystem::create_directories(temp_ / "site/.gleanery#index/x");
    const std::string log = temp_ / "events.csv";
    EXPECT_EQ(Run(Url("/"), log), RUN_INDEX_NOT_SAVED);
    const std::string text = ReadTextFile(log);
    EXPECT_NE(text.find("\"Time\", \"Thread ID\""), std::string::npos);
    EXPECT_NE(text.find("WriteFile " + temp_ / "site/.gleanery#index"), std::string::npos) << text;
    EXPECT_NE(text.find("missing.htm"), std::string::npos) << text;
}

}  // namespace
