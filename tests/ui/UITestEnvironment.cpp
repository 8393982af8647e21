// One QApplication for the whole test program, with HOME and XDG_DATA_HOME in a fresh temp
// folder so nothing reads or writes the user's own settings. Message boxes are answered "No".
#include "tests/ui/UITestEnvironment.h"

#include "engine/services/SavedOptions.h"
#include "ui/common/MessageBoxes.h"

#include <QApplication>

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

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

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

const std::string& TestHomeFolder()
{
    return HomeFolder();
}
