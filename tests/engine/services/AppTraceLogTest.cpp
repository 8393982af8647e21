#include "engine/services/AppTraceLog.h"

#include "common/TempFolder.h"
#include "platform/ErrorCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// True when this process holds a descriptor open on path.
bool IsOpenInProcess(const std::string& path)
{
    const std::filesystem::path target = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == target)
            return true;
    }
    return false;
}

const char kHeader[] = "\"Time\", \"Thread ID\", \"Type\", \"Message\", \"Function\", \"Filename\", \"Line\", \"Address\"";

}  // namespace

TEST(AppTraceLog, RowFormat)
{
    EXPECT_EQ(TApplicationTraceLog::FormatRow(42, 777, etException, "say \"hi\"", "Load\"X", "Unit", -1, 0),
              "\"000042\",\"777\",\"Exception\",\"say \"\"hi\"\"\",\"Load\"X\",\"Unit\",\"\",\"\"");
    EXPECT_EQ(TApplicationTraceLog::FormatRow(1234567, 1, etAssertion, "", "", "f.cpp", 12, 0xBEEF),
              "\"1234567\",\"1\",\"Assertion\",\"\",\"\",\"f.cpp\",\"12\",\"0x0000BEEF\"");
    EXPECT_STREQ(TApplicationTraceLog::TypeText(etAPIError), "API Error");
    EXPECT_STREQ(TApplicationTraceLog::TypeText(5), "?");
}

TEST(AppTraceLog, SwitchIsExactButTrimmed)
{
    using V = std::vector<std::string>;
    EXPECT_TRUE(TApplicationTraceLog::IsLogSwitch(V{"http://x/", "  /eventlog\t"}));
    EXPECT_FALSE(TApplicationTraceLog::IsLogSwitch(V{"/EventLog"}));
    EXPECT_FALSE(TApplicationTraceLog::IsLogSwitch(V{"/eventlog=1"}));
    EXPECT_FALSE(TApplicationTraceLog::IsLogSwitch(V{}));
}

TEST(AppTraceLog, APIErrorTextCarriesCodeAndText)
{
    EXPECT_EQ(TApplicationTraceLog::APIErrorText("HttpOpenRequest http://a/", 12002),
              "HttpOpenRequest http://a/ = 12002 The operation timed out.");
    SetLastResponseInfo(550, "550 Permission denied.");
    EXPECT_EQ(TApplicationTraceLog::APIErrorText("FtpOpenFile x", errc::InternetExtendedError),
              "FtpOpenFile x = 12003 550 550 Permission denied.");
}

TEST(AppTraceLog, WithoutSwitchNoFileButExceptionsStillBeep)
{
    TTempFolder tmp;
    int beeps = 0;
    bool boxShown = false;
    TApplicationTraceLog::Hooks hooks;
    hooks.beep = [&] { ++beeps; };
    hooks.showStartupBox = [&](const std::string&, bool) { boxShown = true; };
    {
        TApplicationTraceLog log({"/EventLog"}, false, tmp.Slash(), hooks);
        EXPECT_EQ(TApplicationTraceLog::Instance(), &log);
        LogEvent(etException, "e", "R", "U");
        LogEvent(etAssertion, "a", "R", "U");
        LogEvent(etWarning, "w", "R", "U");
        EXPECT_FALSE(log.FileOpen());
    }
    EXPECT_EQ(TApplicationTraceLog::Instance(), nullptr);
    EXPECT_EQ(beeps, 2);
    EXPECT_FALSE(boxShown);
    EXPECT_FALSE(std::filesystem::exists(tmp / "GleaneryEventLog.csv"));
    LogMessage("after the log is gone: ignored");
}

TEST(AppTraceLog, FileHasHeaderStartStopAndIsEmptiedAtEachStart)
{
    TTempFolder tmp;
    WriteTextFile(tmp / "GleaneryEventLog.csv", "old contents\r\n");
    std::string boxText;
    std::string explored;
    TApplicationTraceLog::Hooks hooks;
    hooks.showStartupBox = [&](const std::string& text, bool ok) { boxText = text + (ok ? "|ok" : "|fail"); };
    hooks.exploreFolder = [&](const std::string& folder) {
        explored = folder;
        return true;
    };
    {
        TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), hooks);
        ASSERT_TRUE(log.FileOpen());
        SetLastErrorCode(errc::FileNotFound);
        LogAPIError("CreateFile /x", "Routine", "Tag");
    }
    EXPECT_EQ(boxText, "Event logging enabled:\r\n" + (tmp / "GleaneryEventLog.csv") + "|ok");
    EXPECT_EQ(explored, tmp.Slash());
    auto lines = Lines(ReadTextFile(tmp / "GleaneryEventLog.csv"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex("\"[0-9]{6,}\",\"[0-9]+\",\"Message\",\"Application started at .*\",\"\",\"\",\"\",\"\"")))
        << lines[1];
    EXPECT_THAT(lines[2], ::testing::HasSubstr("\",\"API Error\",\"CreateFile /x = 2 "));
    EXPECT_THAT(lines[2], ::testing::EndsWith("\",\"Routine\",\"Tag\",\"\",\"\""));
    EXPECT_THAT(lines[3], ::testing::HasSubstr("\"Application stopped at "));
}

TEST(AppTraceLog, LinkAtTheLogPathIsNotFollowed)
{
    TTempFolder tmp;
    const std::string victim = tmp / "victim.txt";
    WriteTextFile(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), (tmp / "GleaneryEventLog.csv").c_str()), 0);
    std::string boxText;
    TApplicationTraceLog::Hooks hooks;
    hooks.showStartupBox = [&](const std::string& text, bool ok) { boxText = ok ? "ok" : text; };
    {
        TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), hooks);
        EXPECT_FALSE(log.FileOpen());
        LogMessage("goes nowhere");
    }
    EXPECT_EQ(boxText, "Unable to create " + (tmp / "GleaneryEventLog.csv"));
    EXPECT_EQ(ReadTextFile(victim), "keep me");

    // Nor does a pipe there block the start-up.
    ASSERT_EQ(::unlink((tmp / "GleaneryEventLog.csv").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "GleaneryEventLog.csv").c_str(), 0600), 0);
    TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash());
    EXPECT_FALSE(log.FileOpen());
}

TEST(AppTraceLog, ConcurrentWritersGiveWholeRowsInOrderPerThread)
{
    TTempFolder tmp;
    constexpr int kThreads = 8;
    constexpr int kRows = 500;
    {
        TApplicationTraceLog log({}, true, tmp.Slash());  // Ctrl+Shift held
        ASSERT_TRUE(log.FileOpen());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kRows; ++i)
                    LogEvent(etWarning, "t" + std::to_string(t) + " \"n\" " + std::to_string(i), "Worker", "Test");
            });
        for (auto& th : threads)
            th.join();
    }
    auto lines = Lines(ReadTextFile(tmp / "GleaneryEventLog.csv"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kRows + 3));
    const std::regex row(
        "\"([0-9]{6,})\",\"([0-9]+)\",\"Warning\",\"t([0-9]+) \"\"n\"\" ([0-9]+)\",\"Worker\",\"Test\",\"\",\"\"");
    std::vector<int> next(kThreads, 0);
    std::vector<std::set<std::string>> tids(kThreads);
    long long lastTime = -1;
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, row)) << lines[i];
        long long time = std::stoll(m[1]);
        EXPECT_GE(time, lastTime);  // rows are in lock order
        lastTime = time;
        auto t = static_cast<size_t>(std::stoi(m[3]));
        EXPECT_EQ(std::stoi(m[4]), next[t]++);
        tids[t].insert(m[2]);
    }
    std::set<std::string> all;
    for (size_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(next[t], kRows);
        ASSERT_EQ(tids[t].size(), 1u);  // one system id per thread
        all.insert(*tids[t].begin());
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads));
}

TEST(AppTraceLog, ExitWritesStopRowClosesFileThenAsksForFolderOnce)
{
    TTempFolder tmp;
    const std::string path = tmp / "GleaneryEventLog.csv";
    std::vector<std::string> asked;
    std::string lastRowWhenAsked;
    bool openWhenAsked = true;
    TApplicationTraceLog::Hooks hooks;
    hooks.exploreFolder = [&](const std::string& folder) {
        asked.push_back(folder);
        lastRowWhenAsked = Lines(ReadTextFile(path)).back();
        openWhenAsked = IsOpenInProcess(path);
        return true;
    };
    {
        TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), hooks);
        ASSERT_TRUE(log.FileOpen());
        EXPECT_TRUE(IsOpenInProcess(path));
        EXPECT_TRUE(asked.empty());
    }
    EXPECT_EQ(asked, std::vector<std::string>{tmp.Slash()});
    EXPECT_THAT(lastRowWhenAsked, ::testing::HasSubstr("\",\"Message\",\"Application stopped at "));
    EXPECT_FALSE(openWhenAsked);
    EXPECT_EQ(Lines(ReadTextFile(path)).size(), 3u);  // header, started, stopped

    // No log file asked for: nothing is shown at exit.
    asked.clear();
    { TApplicationTraceLog log({}, false, tmp.Slash(), hooks); }
    EXPECT_TRUE(asked.empty());
}

TEST(AppTraceLog, ExitWithoutFileManagerLeavesOneWarningRowAndGoesOn)
{
    TTempFolder tmp;
    const std::string path = tmp / "GleaneryEventLog.csv";
    int calls = 0;
    TApplicationTraceLog::Hooks hooks;
    hooks.exploreFolder = [&](const std::string&) {
        ++calls;
        return false;
    };
    { TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), hooks); }
    EXPECT_EQ(calls, 1);
    auto lines = Lines(ReadTextFile(path));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[2], ::testing::HasSubstr("\"Application stopped at "));
    EXPECT_THAT(lines[3], ::testing::HasSubstr("\",\"Warning\",\"No file manager to show " + tmp.Slash() + "\""));
    EXPECT_FALSE(IsOpenInProcess(path));

    // A file manager hook that throws counts as none; the exit still completes.
    hooks.exploreFolder = [&](const std::string&) -> bool {
        ++calls;
        throw std::runtime_error("no session bus");
    };
    { TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), hooks); }
    EXPECT_EQ(calls, 2);
    lines = Lines(ReadTextFile(path));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[3], ::testing::HasSubstr("\"No file manager to show "));
    EXPECT_EQ(TApplicationTraceLog::Instance(), nullptr);
}
