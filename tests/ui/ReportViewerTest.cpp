#include "tests/common/TempFolder.h"
#include "ui/ReportViewer.h"

#include <gtest/gtest.h>

TEST(ReportFolder, DeleteTakesOnlyPlainFilesThenTheFolder)
{
    TTempFolder temp;
    std::string folder = temp / "Report";
    std::filesystem::create_directories(folder);
    WriteTextFile(folder + "/a.htm", "a");
    WriteTextFile(folder + "/list0.bmp", "b");
    DeleteFolderAndContents(folder);
    EXPECT_FALSE(std::filesystem::exists(folder));

    // A folder inside is left alone, and so the folder stays.
    std::filesystem::create_directories(folder + "/sub");
    WriteTextFile(folder + "/sub/keep.txt", "k");
    WriteTextFile(folder + "/x.htm", "x");
    DeleteFolderAndContents(folder);
    EXPECT_FALSE(std::filesystem::exists(folder + "/x.htm"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/sub/keep.txt"));
    DeleteFolderAndContents(temp / "missing");
}

TEST(ReportFolder, CopyReplacesFilesAndReportsTheLastFailure)
{
    TTempFolder temp;
    std::string source = temp / "Report", target = temp / "Saved";
    std::filesystem::create_directories(source + "/sub");
    std::filesystem::create_directories(target);
    WriteTextFile(source + "/r.htm", "new");
    WriteTextFile(source + "/tree0.bmp", "bmp");
    WriteTextFile(target + "/r.htm", "old");
    EXPECT_EQ(CopyFolderContents(source, target), "");
    EXPECT_EQ(ReadTextFile(target + "/r.htm"), "new");
    EXPECT_EQ(ReadTextFile(target + "/tree0.bmp"), "bmp");
    EXPECT_FALSE(std::filesystem::exists(target + "/sub"));

    EXPECT_NE(CopyFolderContents(source, temp / "no/such/folder"), "");
}
