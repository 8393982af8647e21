#include "engine/services/FileStatusCache.h"
#include "engine/services/ThreadSafeFileOps.h"

#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// An answer stands until the run says it changed the file; a file made in a folder that was
// missing is seen once the file is forgotten, and so is its folder.
TEST(FileStatusCacheTest, AnswersStandUntilTheFileIsForgotten)
{
    TempTree tree;
    const std::string page = tree.Write("site/a.html", "a");
    const std::string later = tree.Path("site/new/b.html");
    TFileStatusCache cache;
    EXPECT_TRUE(cache.IsPlainFile(page));
    EXPECT_FALSE(cache.IsPlainFile(later));
    EXPECT_FALSE(cache.IsPlainFile(tree.Path("site")));
    std::filesystem::remove(page);
    tree.Write("site/new/b.html", "b");
    EXPECT_TRUE(cache.IsPlainFile(page));
    EXPECT_FALSE(cache.IsPlainFile(later));
    cache.Forget(page);
    cache.Forget(later);
    EXPECT_FALSE(cache.IsPlainFile(page));
    EXPECT_TRUE(cache.IsPlainFile(later));
    EXPECT_TRUE(cache.IsPlainFile(tree.Path("site/new/b.html")));
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);

    // A folder asked about as a folder is never remembered missing: a download may make it now.
    const std::string folder = tree.Path("site/made");
    EXPECT_FALSE(cache.IsPlainFile(folder));  // remembered missing
    EXPECT_EQ(cache.FolderKind(folder), 0u);
    std::filesystem::create_directory(folder);
    EXPECT_EQ(cache.FolderKind(folder), uint32_t{S_IFDIR});
}

// The walk below the destination gives what the uncached one gives: a link on the way counts,
// the destination itself may be one, and a missing folder ends it.
TEST(FileStatusCacheTest, LinksBelowTheFolderAsOnDisk)
{
    TempTree tree;
    tree.Write("dest/host/a.html", "a");
    tree.Write("outside/x.html", "x");
    ASSERT_EQ(::symlink(tree.Path("outside").c_str(), tree.Path("dest/host/lnk").c_str()), 0);
    ASSERT_EQ(::symlink(tree.Path("dest").c_str(), tree.Path("chosen").c_str()), 0);
    TFileStatusCache cache;
    const std::string dest = tree.Path("dest");
    for (const char* name : {"host/a.html", "host/lnk/x.html", "host/lnk", "gone/a.html", "host/b.html"})
        EXPECT_EQ(cache.LinkBelowFolder(dest, dest + "/" + name), LinkBelowFolder(dest, dest + "/" + name)) << name;
    EXPECT_TRUE(cache.LinkBelowFolder(dest, dest + "/host/lnk/x.html"));
    EXPECT_FALSE(cache.LinkBelowFolder(tree.Path("chosen"), tree.Path("chosen/host/a.html")));
    EXPECT_FALSE(LinkBelowFolderCached(nullptr, dest, dest + "/host/a.html"));
    EXPECT_TRUE(IsPlainFileCached(nullptr, dest + "/host/a.html"));
}

// Helpers ask while the crawl thread forgets files it wrote: every answer is one the disk gave
// at some point, and the last one is the disk's.
TEST(FileStatusCacheTest, AskedAndForgottenFromSeveralThreads)
{
    TempTree tree;
    std::vector<std::string> files;
    for (int i = 0; i < 50; ++i)
        files.push_back(tree.Path("f" + std::to_string(i % 10) + "/p" + std::to_string(i) + ".html"));
    TFileStatusCache cache;
    std::vector<std::thread> helpers;
    for (int t = 0; t < 4; ++t)
        helpers.emplace_back([&] {
            for (int round = 0; round < 20; ++round)
                for (const std::string& file : files)
                    (void)cache.IsPlainFile(file);
        });
    for (const std::string& file : files) {
        tree.Write(file.substr(tree.Root().size() + 1), "x");
        cache.Forget(file);
    }
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::string& file : files)
        EXPECT_TRUE(cache.IsPlainFile(file)) << file;
}

}  // namespace
