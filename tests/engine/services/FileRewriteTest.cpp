#include "engine/services/FileRewrite.h"

#include "tests/engine/FileSizeLimit.h"
#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/stat.h>

namespace {

void Rewrite(const std::string& file, const std::string& text, TRewriteSpares* spares,
             const std::string& keepAs = std::string())
{
    TFileRewrite edit(file, spares);
    edit.Write(text);
    edit.Commit(keepAs);
}

uint32_t ModeOf(const std::string& file)
{
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return st.st_mode & 07777;
}

// A run of rewrites with a pool writes every page and leaves one spare file, which goes with the
// pool; each page keeps its own permission bits.
TEST(FileRewriteTest, SparesCarryARunOfRewrites)
{
    TempTree tree;
    std::vector<std::string> files;
    for (const char* name : {"a.htm", "sub/b.htm", "sub/deeper/c.css", "d.htm"})
        files.push_back(tree.Write(name, std::string("old ") + name));
    ::chmod(files[1].c_str(), 0600);
    const std::set<std::string> listing = tree.Listing();
    {
        TRewriteSpares spares;
        for (const std::string& file : files)
            Rewrite(file, "new " + file, &spares);
        EXPECT_EQ(spares.Count(), 1u);
        EXPECT_EQ(tree.Listing().size(), listing.size() + 1);
        for (const std::string& file : files)
            EXPECT_EQ(TempTree::Read(file), "new " + file);
        EXPECT_EQ(ModeOf(files[1]), 0600u);
        EXPECT_EQ(ModeOf(files[2]), ModeOf(files[0]));
        // A longer page than the spare held before, then a shorter one: no old bytes remain.
        Rewrite(files[0], std::string(5000, 'x'), &spares);
        Rewrite(files[3], "y", &spares);
        EXPECT_EQ(TempTree::Read(files[3]), "y");
    }
    EXPECT_EQ(tree.Listing(), listing);
}

// The kept first version shares the original's file: it must not become a spare.
TEST(FileRewriteTest, KeptOriginalIsNeverReusedAsSpare)
{
    TempTree tree;
    std::string page = tree.Write("p.htm", "first");
    std::string other = tree.Write("q.htm", "other");
    const std::string kept = tree.Path("p_orig.htm");
    TRewriteSpares spares;
    Rewrite(page, "second", &spares, kept);
    EXPECT_EQ(spares.Count(), 0u);
    Rewrite(other, "changed", &spares);
    Rewrite(page, "third", &spares, kept);
    EXPECT_EQ(TempTree::Read(kept), "first");
    EXPECT_EQ(TempTree::Read(page), "third");
    EXPECT_EQ(TempTree::Read(other), "changed");
}

TEST(FileRewriteTest, FailedOrAbandonedRewriteKeepsThePageAndTheSpare)
{
    TempTree tree;
    std::string a = tree.Write("a.htm", "a");
    std::string b = tree.Write("b.htm", std::string(4000, 'b'));
    TRewriteSpares spares;
    Rewrite(a, "new a", &spares);
    ASSERT_EQ(spares.Count(), 1u);
    {
        TFileRewrite edit(b, &spares);
        edit.Write("half");  // never committed
    }
    EXPECT_EQ(spares.Count(), 1u);
    EXPECT_EQ(TempTree::Read(b), std::string(4000, 'b'));
    {
        FileSizeLimit full(1000);
        EXPECT_THROW(Rewrite(b, std::string(300000, 'c'), &spares), std::runtime_error);
    }
    EXPECT_EQ(TempTree::Read(b), std::string(4000, 'b'));
    EXPECT_EQ(spares.Count(), 1u);
    Rewrite(b, "done", &spares);
    EXPECT_EQ(TempTree::Read(b), "done");
}

// An edit that only reads makes no temporary file at all.
TEST(FileRewriteTest, ReadingOnlyCreatesNoFile)
{
    TempTree tree;
    std::string page = tree.Write("p.htm", "text");
    const std::set<std::string> listing = tree.Listing();
    TFileRewrite edit(page);
    EXPECT_EQ(edit.ReadAll(), "text");
    EXPECT_EQ(tree.Listing(), listing);
}

}  // namespace

// Letting the buffers go between two parts of an edit loses nothing: pending output is written
// and the original is read again where the copy goes on.
TEST(FileRewriteTest, ReleasedBuffersLoseNothing)
{
    TempTree tree;
    std::string original;
    for (int i = 0; i < 40000; ++i)
        original += "line " + std::to_string(i) + "\n";
    const std::string file = tree.Write("big.htm", original);
    {
        TFileRewrite edit(file, nullptr);
        edit.CopySource(1000);
        edit.Write("<inserted>");
        edit.ReleaseBuffers();
        edit.SkipSource(5);
        edit.CopySource(300000);
        edit.ReleaseBuffers();
        edit.CopySource();
        edit.ReleaseBuffers();
        edit.Commit();
    }
    EXPECT_EQ(TempTree::Read(file), original.substr(0, 1000) + "<inserted>" + original.substr(1005));
}
