#include "tests/ui/UITestEnvironment.h"
#include "ui/intake/RegisterFileType.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

bool Exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

std::string ReadAll(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void WriteText(const std::string& path, const std::string& text)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath()));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.c_str());
}

class RegisterFileTypeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home_ = TestHomeFolder() + "/assoc";
        QDir(QString::fromStdString(home_)).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home_)));
    }
    std::string home_;
};

TEST_F(RegisterFileTypeTest, RunOnceWritesBothVerbsWithEditAsDefault)
{
    ASSERT_TRUE(RegisterJobFileType(true, "/opt/my apps/gleanery", home_, false));
    const std::string desktop = ReadAll(JobFileDesktopPath(home_));
    EXPECT_NE(desktop.find("Exec=\"/opt/my apps/gleanery\" /edit %f\n"), std::string::npos);
    EXPECT_NE(desktop.find("Actions=edit;queue;"), std::string::npos);
    EXPECT_NE(desktop.find("[Desktop Action queue]\nName=Add to Queue\nExec=\"/opt/my apps/gleanery\" %f"),
              std::string::npos);
    EXPECT_NE(desktop.find("MimeType=application/x-gleanery-job;"), std::string::npos);
    EXPECT_NE(ReadAll(JobFileMimePath(home_)).find("<glob pattern=\"*.gcj\"/>"), std::string::npos);

    // Without the queue verb, and with characters the desktop's quoting must escape.
    ASSERT_TRUE(RegisterJobFileType(false, "/opt/a\"b$c", home_, false));
    const std::string plain = ReadAll(JobFileDesktopPath(home_));
    EXPECT_EQ(plain.find("queue"), std::string::npos);
    EXPECT_NE(plain.find("Exec=\"/opt/a\\\\\"b\\\\$c\" /edit %f"), std::string::npos);
}

TEST_F(RegisterFileTypeTest, UninstallRemovesOnlyItsOwnVerbsAndKeepsTheType)
{
    ASSERT_TRUE(RegisterJobFileType(true, "/usr/bin/gleanery", home_, false));
    UnregisterJobFileType(home_, false);
    EXPECT_FALSE(Exists(JobFileDesktopPath(home_)));
    EXPECT_TRUE(Exists(JobFileMimePath(home_)));

    // A file of the same name that we did not write stays.
    WriteText(JobFileDesktopPath(home_), "[Desktop Entry]\nName=Someone else's\n");
    UnregisterJobFileType(home_, false);
    EXPECT_TRUE(Exists(JobFileDesktopPath(home_)));
}

TEST_F(RegisterFileTypeTest, DataFolderIsDeletedOnlyWhenItIsTheUsersOwn)
{
    const std::string data = home_ + "/Gleanery/";
    const std::string outside = home_ + "/outside/";
    WriteText(data + "Gleanery.INI", "[Options]\r\n");
    WriteText(data + "Queue/Job1.GCJ", "x");
    WriteText(outside + "keep.txt", "keep");
    // Links inside the data folder are removed, never followed.
    ASSERT_EQ(::symlink(outside.c_str(), (data + "link-to-folder").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "keep.txt").c_str(), (data + "Queue/link-to-file").c_str()), 0);

    // Not persistent (the temporary folder), or not the folder in the user's data folder.
    EXPECT_FALSE(DeleteDataFolder(data, false, home_));
    EXPECT_FALSE(DeleteDataFolder(outside, true, home_));
    EXPECT_FALSE(DeleteDataFolder(home_ + "/", true, home_));
    EXPECT_TRUE(Exists(data + "Gleanery.INI"));

    EXPECT_TRUE(DeleteDataFolder(data, true, home_));
    EXPECT_FALSE(Exists(data));
    EXPECT_EQ(ReadAll(outside + "keep.txt"), "keep");
    EXPECT_TRUE(Exists(home_));
}

TEST(RegisterFileTypeSwitches, OnlyTheExactSwitchesCount)
{
    EXPECT_FALSE(HandleRunOnce({"/RUNONCE", "runonce"}, "/usr/bin/gleanery"));
    EXPECT_FALSE(HandleUninstall({"/Uninstall", "/uninstall2"}));
    EXPECT_FALSE(DeleteFolderTree("/"));
    EXPECT_FALSE(DeleteFolderTree(""));
}

}  // namespace
