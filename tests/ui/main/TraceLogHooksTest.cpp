#include "tests/ui/UITestEnvironment.h"

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "ui/main/TraceLogHooks.h"

#include <QCoreApplication>
#include <QObject>
#include <QUrl>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(DesktopTraceLogHooks, AssertionOnAWorkerThreadBeepsOnceOnTheWindowThread)
{
    TTempFolder tmp;
    QObject window;
    std::vector<std::thread::id> beeps;
    TDesktopTraceServices services;
    services.beep = [&] { beeps.push_back(std::this_thread::get_id()); };
    services.openUrl = [](const QUrl&) { return true; };
    TApplicationTraceLog log({}, false, tmp.Slash(), DesktopTraceLogHooks(&window, services));

    std::thread worker([] {
        LogEvent(etAssertion, "check failed", "Worker", "Test");
        LogEvent(etWarning, "no beep for this", "Worker", "Test");
    });
    worker.join();
    EXPECT_TRUE(beeps.empty());  // posted, not sounded on the worker
    QCoreApplication::sendPostedEvents(&window);
    ASSERT_EQ(beeps.size(), 1u);
    EXPECT_EQ(beeps[0], std::this_thread::get_id());
}

TEST(DesktopTraceLogHooks, ExitAsksTheFileManagerForTheLogFolderOnce)
{
    TTempFolder tmp;
    const std::string path = tmp / "GleaneryEventLog.csv";
    QObject window;
    std::vector<QUrl> opened;
    bool fileManager = true;
    TDesktopTraceServices services;
    services.beep = [] {};
    services.openUrl = [&](const QUrl& url) {
        opened.push_back(url);
        return fileManager;
    };
    { TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), DesktopTraceLogHooks(&window, services)); }
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(tmp.Slash())));
    std::string text = ReadTextFile(path);
    EXPECT_EQ(CountOf(text, "\"Application stopped at "), 1u);
    EXPECT_EQ(CountOf(text, "No file manager"), 0u);

    // A desktop without a file manager: one warning row, and the exit goes on.
    fileManager = false;
    { TApplicationTraceLog log({"/eventlog"}, false, tmp.Slash(), DesktopTraceLogHooks(&window, services)); }
    EXPECT_EQ(opened.size(), 2u);
    text = ReadTextFile(path);
    EXPECT_EQ(CountOf(text, "\"Application stopped at "), 1u);
    EXPECT_EQ(CountOf(text, "\",\"Warning\",\"No file manager to show " + tmp.Slash()), 1u);
}

}  // namespace
