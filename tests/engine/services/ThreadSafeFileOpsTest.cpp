#include "engine/services/ThreadSafeFileOps.h"

#include "common/TempFolder.h"
#include "platform/ErrorCodes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(ThreadSafeFileOps, MoveNeverOverwrites)
{
    TTempFolder tmp;
    WriteTextFile(tmp / "a.part", "new");
    WriteTextFile(tmp / "a", "old");
    EXPECT_FALSE(SafeMoveFile(tmp / "a.part", tmp / "a"));
    EXPECT_EQ(GetLastErrorCode(), errc::AlreadyExists);
    EXPECT_EQ(ReadTextFile(tmp / "a"), "old");
    EXPECT_EQ(ReadTextFile(tmp / "a.part"), "new");
    ASSERT_TRUE(SafeDeleteFile(tmp / "a"));
    EXPECT_TRUE(SafeMoveFile(tmp / "a.part", tmp / "a"));
    EXPECT_EQ(ReadTextFile(tmp / "a"), "new");
    EXPECT_FALSE(SafeFileExists(tmp / "a.part"));
    EXPECT_FALSE(SafeMoveFile(tmp / "missing", tmp / "b"));
    EXPECT_EQ(GetLastErrorCode(), errc::FileNotFound);
}

TEST(ThreadSafeFileOps, ExistsAndDeleteOnlyForFiles)
{
    TTempFolder tmp;
    ASSERT_TRUE(SafeForceDirectories(tmp / "d"));
    EXPECT_FALSE(SafeFileExists(tmp / "d"));
    EXPECT_FALSE(SafeDeleteFile(tmp / "d"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "d"));
    WriteTextFile(tmp / "f", "x");
    EXPECT_TRUE(SafeFileExists(tmp / "f"));
    EXPECT_FALSE(SafeDeleteFile(tmp / "missing"));
    EXPECT_EQ(GetLastErrorCode(), errc::FileNotFound);
}

TEST(ThreadSafeFileOps, ForceDirectoriesCreatesEveryLevel)
{
    TTempFolder tmp;
    EXPECT_TRUE(SafeForceDirectories(tmp / "a//b/c/"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "a/b/c"));
    EXPECT_TRUE(SafeForceDirectories(tmp / "a/b/c"));  // already there
    WriteTextFile(tmp / "file", "x");
    EXPECT_FALSE(SafeForceDirectories(tmp / "file"));
    EXPECT_FALSE(SafeForceDirectories(tmp / "file/sub"));
    EXPECT_FALSE(SafeForceDirectories(""));
    // A very deep path fails cleanly instead of exhausting the stack.
    std::string deep = tmp.Path();
    for (int i = 0; i < 200000; ++i)
        deep += "/x";
    EXPECT_FALSE(SafeForceDirectories(deep));
}

TEST(ThreadSafeFileOps, SizesAreSixtyFourBit)
{
    TTempFolder tmp;
    const std::string path = tmp / "sparse";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const int64_t big = 5LL * 1024 * 1024 * 1024 + 3;
    ASSERT_EQ(::ftruncate(fd, big), 0);
    ::close(fd);
    int64_t size = -1;
    EXPECT_TRUE(ThreadSafeFileByteSize(path, size));
    EXPECT_EQ(size, big);
    WriteTextFile(tmp / "empty", "");
    EXPECT_TRUE(ThreadSafeFileByteSize(tmp / "empty", size));
    EXPECT_EQ(size, 0);
    size = 7;
    EXPECT_FALSE(ThreadSafeFileByteSize(tmp / "missing", size));
    EXPECT_EQ(size, 0);
    EXPECT_FALSE(ThreadSafeFileByteSize(tmp.Path(), size));
    // A named pipe must not block the caller.
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    EXPECT_TRUE(ThreadSafeFileByteSize(tmp / "fifo", size));
    EXPECT_EQ(size, 0);
}

TEST(ThreadSafeFileOps, LinkBelowFolderFindsEveryLinkUnderTheFolderButNotTheFolderItself)
{
    TTempFolder tmp;
    ASSERT_TRUE(SafeForceDirectories(tmp / "real/dest/site/sub"));
    ASSERT_TRUE(SafeForceDirectories(tmp / "elsewhere"));
    WriteTextFile(tmp / "elsewhere/page.htm", "x");
    ASSERT_EQ(::symlink((tmp / "real/dest").c_str(), (tmp / "dest").c_str()), 0);
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), (tmp / "real/dest/site/linked").c_str()), 0);
    ASSERT_EQ(::symlink((tmp / "elsewhere/page.htm").c_str(), (tmp / "real/dest/site/file.htm").c_str()), 0);
    const std::string dest = tmp / "dest";

    // The destination chosen may itself be a link; what lies in it is checked.
    EXPECT_FALSE(LinkBelowFolder(dest, dest + "/site/sub/page.htm"));
    EXPECT_FALSE(LinkBelowFolder(dest + "/", dest + "/site//sub/new/deeper/page.htm"));
    EXPECT_TRUE(LinkBelowFolder(dest, dest + "/site/linked"));
    EXPECT_TRUE(LinkBelowFolder(dest, dest + "/site/linked/page.htm"));
    EXPECT_TRUE(LinkBelowFolder(dest + "/", dest + "/site/linked/new/page.htm.part"));
    EXPECT_TRUE(LinkBelowFolder(dest, dest + "/site/file.htm"));
    // Outside the folder, or the folder itself: for other checks to judge.
    EXPECT_FALSE(LinkBelowFolder(dest + "/site/linked", dest + "/site/linked/page.htm"));
    EXPECT_FALSE(LinkBelowFolder(tmp / "real", tmp / "realm/x"));
    EXPECT_FALSE(LinkBelowFolder(dest, dest));

    // A file of the folder is a plain file reached through no link below it.
    WriteTextFile(tmp / "real/dest/site/sub/page.htm", "y");
    TFileStamp stamp;
    EXPECT_TRUE(PlainFileBelowFolder(dest, dest + "/site//sub/page.htm", &stamp));
    EXPECT_EQ(stamp.size, 1);
    EXPECT_FALSE(PlainFileBelowFolder(dest, dest + "/site/linked/page.htm"));
    EXPECT_FALSE(PlainFileBelowFolder(dest, dest + "/site/file.htm"));
    EXPECT_FALSE(PlainFileBelowFolder(dest, dest + "/site/sub"));
    EXPECT_FALSE(PlainFileBelowFolder(dest, dest + "/site/sub/missing.htm"));
    EXPECT_FALSE(PlainFileBelowFolder(dest, dest + "/site/sub/../../../elsewhere/page.htm"));
    EXPECT_FALSE(PlainFileBelowFolder(dest + "/site/sub", tmp / "elsewhere/page.htm"));
}
