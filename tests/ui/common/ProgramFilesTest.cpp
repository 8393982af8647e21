#include "tests/common/TempFolder.h"
#include "ui/common/ProgramFiles.h"

#include <gtest/gtest.h>

TEST(ProgramFiles, BesideTheProgramElseInTheInstalledPrefix)
{
    TTempFolder temp;
    const std::string bin = temp / "bin/";
    std::filesystem::create_directories(bin);
    // Neither: the program's own folder, where it writes its language table.
    EXPECT_EQ(ProgramFilesFolderOf(bin, "../share/gleanery"), bin);
    // Installed: the prefix's data folder.
    std::filesystem::create_directories(temp / "share/gleanery/Languages");
    EXPECT_EQ(ProgramFilesFolderOf(bin, "../share/gleanery"), temp / "share/gleanery/");
    // Built: the files copied beside the program come first.
    std::filesystem::create_directories(bin + "Languages");
    EXPECT_EQ(ProgramFilesFolderOf(bin, "../share/gleanery"), bin);
    EXPECT_EQ(ProgramFilesFolderOf("", "../share/gleanery"), "");
}
