#include "engine/services/WorkingFiles.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Temporaries are removed only where no run that may still make them holds its mark.
TEST(WorkingFiles, LeftTemporariesGoOnlyWhereNoRunHoldsTheMark)
{
    TTempFolder temp;
    const std::string dest = temp / "d";
    fs::create_directories(dest + "/h/inner");
    const std::string left = dest + "/h/.gltmp#aaaaaa", nested = dest + "/h/inner/.gltmp#bbbbbb";
    WriteTextFile(left, "x");
    WriteTextFile(nested, "x");

    EXPECT_EQ(0u, RemoveLeftTemporaries(dest)) << "no mark: nothing was left by a killed run";
    {
        TTemporariesMark running;
        running.Begin(dest);
        EXPECT_EQ(0u, RemoveLeftTemporaries(dest)) << "the run that set the mark goes on";
    }
    EXPECT_FALSE(fs::exists(dest + "/.gleanery#temporaries"));

    WriteTextFile(dest + "/.gleanery#temporaries", "");  // what a killed run leaves
    TTemporariesMark inner;
    inner.Begin(dest + "/h/inner");  // another run into a folder within the destination
    EXPECT_EQ(1u, RemoveLeftTemporaries(dest));
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(nested));
    EXPECT_FALSE(fs::exists(dest + "/.gleanery#temporaries"));
}

}  // namespace
