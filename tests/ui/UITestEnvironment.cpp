// One QApplication for the whole test program, with HOME and XDG_DATA_HOME in a fresh temp
// folder so nothing reads or writes the user's own settings. Message boxes are answered "No".
// Every test starts with an empty data folder and settings file, and what it left in the home
// folder is removed after it, so the tests pass in one process in any order.
#include "tests/ui/UITestEnvironment.h"

#include "engine/services/SavedOptions.h"
#include "ui/common/MessageBoxes.h"
#include "ui/main/WebEngineSandbox.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace {

std::string& HomeFolder()
{
    static std::string folder;
    return folder;
}

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::string pattern = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) +
                              "/gleanery-ui-test-XXXXXX";
        char* made = ::mkdtemp(pattern.data());
        ASSERT_NE(made, nullptr);
        HomeFolder() = made;
        ::setenv("HOME", made, 1);
        ::setenv("XDG_DATA_HOME", (HomeFolder() + "/data").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // As the program does: the web views of the tests start when run by root, too.
        (void)TurnOffWebEngineSandboxForRoot(::geteuid());
        app_ = std::make_unique<QApplication>(argc_, argv_);
        options_ = std::make_unique<TSavedOptions>();
        options_->SetINIFolder(GetDataFolder());
        SetMessageBoxHandler([](const TBoxRequest&) { return false; });
    }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        options_.reset();
        app_.reset();
        std::string cmd = "rm -rf '" + HomeFolder() + "'";
        (void)std::system(cmd.c_str());
    }

private:
    int argc_ = 1;
    char name_[16] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<TSavedOptions> options_;
};

// Removes the entries of folder, except those keep names.
template <class Keep>
void EmptyFolder(const std::filesystem::path& folder, Keep keep)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (!keep(entry.path().filename().string()))
            std::filesystem::remove_all(entry.path(), ec);
}

// The home folder holds the data folder (under "data") beside whatever the tests make; the web
// engine and the toolkit keep their own state in dot folders and beside the data folder.
void RemoveTestLeftovers()
{
    if (HomeFolder().empty())
        return;
    const std::string data = GetDataFolder();
    if (data.starts_with(HomeFolder() + "/"))
        EmptyFolder(data, [](const std::string&) { return false; });
    EmptyFolder(HomeFolder(), [](const std::string& name) { return name == "data" || name.starts_with('.'); });
}

class TFreshDataFolder : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        RemoveTestLeftovers();
        // Settings the store keeps in memory (history on, its length) are read again.
        if (TSavedOptions* options = TSavedOptions::Instance())
            options->SetINIFolder(GetDataFolder());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { RemoveTestLeftovers(); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

[[maybe_unused]] const bool kFreshDataFolders = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TFreshDataFolder);
    return true;
}();

}  // namespace

const std::string& TestHomeFolder()
{
    return HomeFolder();
}
