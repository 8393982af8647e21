#include "tests/common/TempFolder.h"
#include "ui/intake/ShellVerbs.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Points the desktop's data and config folders at a temp folder for one test.
class TDesktopFolders {
public:
    TDesktopFolders()
    {
        Save("XDG_DATA_HOME", data_);
        Save("XDG_DATA_DIRS", dirs_);
        Save("XDG_CONFIG_HOME", config_);
        ::setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
        // The system folder stays last: the MIME type database lives there.
        ::setenv("XDG_DATA_DIRS", (temp / "system:/usr/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (temp / "config").c_str(), 1);
        for (const char* f : {"data/applications", "system/applications", "config"})
            std::filesystem::create_directories(temp / f);
    }
    ~TDesktopFolders()
    {
        Restore("XDG_DATA_HOME", data_);
        Restore("XDG_DATA_DIRS", dirs_);
        Restore("XDG_CONFIG_HOME", config_);
    }
    TTempFolder temp;

private:
    static void Save(const char* name, std::pair<bool, std::string>& keep)
    {
        const char* v = std::getenv(name);
        keep = {v != nullptr, v ? v : ""};
    }
    static void Restore(const char* name, const std::pair<bool, std::string>& keep)
    {
        if (keep.first)
            ::setenv(name, keep.second.c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::pair<bool, std::string> data_, dirs_, config_;
};

}  // namespace

TEST(ShellVerbs, ApplicationsRegisteredForTheTypeDefaultFirst)
{
    TDesktopFolders desktop;
    WriteTextFile(desktop.temp / "system/applications/viewer.desktop",
                  "[Desktop Entry]\nName=Page Viewer\nExec=viewer %U\n");
    WriteTextFile(desktop.temp / "system/applications/editor.desktop",
                  "[Desktop Entry]\nName=Text Editor\nExec=editor --new %f\n");
    WriteTextFile(desktop.temp / "system/applications/gone.desktop", "[Desktop Entry]\nName=Gone\nHidden=true\nExec=x\n");
    WriteTextFile(desktop.temp / "system/applications/mimeinfo.cache",
                  "[MIME Cache]\ntext/html=viewer.desktop;editor.desktop;gone.desktop;missing.desktop;\n");
    WriteTextFile(desktop.temp / "config/mimeapps.list", "[Default Applications]\ntext/html=editor.desktop\n");

    std::vector<std::string> verbs, texts;
    ASSERT_TRUE(GetShellVerbsForFileExtension(".htm", verbs, texts));
    // The machine's own applications may follow.
    ASSERT_GE(verbs.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(verbs.begin(), verbs.begin() + 2),
              (std::vector<std::string>{"editor.desktop", "viewer.desktop"}));
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 2),
              (std::vector<std::string>{"Text Editor", "Page Viewer"}));
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "gone.desktop"), 0);
    EXPECT_EQ(verbs.size(), texts.size());

    ASSERT_TRUE(GetShellVerbsForFileExtension("", verbs, texts));
    EXPECT_TRUE(verbs.empty());
    EXPECT_TRUE(texts.empty());
}

TEST(ShellVerbs, HiddenVerbsAndExecExpansion)
{
    std::vector<std::string> verbs{"open", "PrintTo", "openas", "edit", "runas"};
    std::vector<std::string> texts{"Open", "Print to", "Open as", "Edit", "Run as"};
    RemoveHiddenShellVerbs(verbs, texts);
    EXPECT_EQ(verbs, (std::vector<std::string>{"open", "edit"}));
    EXPECT_EQ(texts, (std::vector<std::string>{"Open", "Edit"}));

    using V = std::vector<std::string>;
    EXPECT_EQ(ExpandDesktopExec("editor --new %f", "/s/a b.htm"), (V{"editor", "--new", "/s/a b.htm"}));
    EXPECT_EQ(ExpandDesktopExec("viewer %U", "/s/a b.htm"), (V{"viewer", "file:///s/a b.htm"}));
    EXPECT_EQ(ExpandDesktopExec("\"/opt/my app/run\" --icon %i 100%%", "/f"), (V{"/opt/my app/run", "--icon", "100%", "/f"}));
    EXPECT_EQ(ExpandDesktopExec("\"unclosed", "/f"), V{});
    EXPECT_EQ(ExpandDesktopExec("", "/f"), V{});
}
