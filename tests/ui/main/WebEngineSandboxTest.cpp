#include "tests/ui/UITestEnvironment.h"

#include "common/TempFolder.h"
#include "ui/main/WebEngineSandbox.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// Keeps an environment variable's value and puts it back afterwards.
class TSavedVariable {
public:
    explicit TSavedVariable(const char* name) : name_(name)
    {
        if (const char* value = std::getenv(name))
            value_ = value;
    }
    ~TSavedVariable()
    {
        if (value_)
            ::setenv(name_, value_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    TSavedVariable(const TSavedVariable&) = delete;
    TSavedVariable& operator=(const TSavedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> value_;
};

TEST(WebEngineSandbox, TurnedOffForRootOnlyAndOnlyWhenNothingElseDid)
{
    TSavedVariable disable("QTWEBENGINE_DISABLE_SANDBOX");
    TSavedVariable flags("QTWEBENGINE_CHROMIUM_FLAGS");
    ::unsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    ::unsetenv("QTWEBENGINE_CHROMIUM_FLAGS");

    EXPECT_EQ(TurnOffWebEngineSandboxForRoot(1000), "");
    EXPECT_EQ(std::getenv("QTWEBENGINE_DISABLE_SANDBOX"), nullptr);

    EXPECT_NE(TurnOffWebEngineSandboxForRoot(0), "");
    ASSERT_NE(std::getenv("QTWEBENGINE_DISABLE_SANDBOX"), nullptr);
    // Already off: nothing more to do or to log.
    EXPECT_EQ(TurnOffWebEngineSandboxForRoot(0), "");

    ::unsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 1);
    EXPECT_EQ(TurnOffWebEngineSandboxForRoot(0), "");
    EXPECT_EQ(std::getenv("QTWEBENGINE_DISABLE_SANDBOX"), nullptr);
}

// The test program takes the same decision before its application object exists, so this
// page loads when root runs the tests without any sandbox variable, instead of ending them.
TEST(WebEngineSandbox, AWebViewShowsALocalPageForWhoeverRunsTheProgram)
{
    TTempFolder tmp;
    const std::string page = tmp / "page.htm";
    WriteTextFile(page, "<html><head><title>Loaded</title></head><body>hello</body></html>");
    QWebEngineView view;
    QEventLoop loop;
    bool loaded = false;
    QObject::connect(&view, &QWebEngineView::loadFinished, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    view.load(QUrl::fromLocalFile(QString::fromStdString(page)));
    loop.exec();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(view.title().toStdString(), "Loaded");
}

}  // namespace
