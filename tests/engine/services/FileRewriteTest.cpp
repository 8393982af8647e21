#include "engine/services/FileRewrite.h"

#include "tests/engine/FileSizeLimit.h"
#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
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

namespace {

struct TIdentity {
    ino_t inode = 0;
    int64_t modifiedNs = 0;
};

TIdentity IdentityOf(const std::string& file)
{
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return {st.st_ino, static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

// An edit that writes back what the file holds leaves the file itself (same inode, same time) and
// makes no temporary file; one that differs anywhere, late, by a byte or by ending early, puts the
// whole new text in place.
TEST(FileRewriteTest, OutputEqualToTheOriginalLeavesTheFile)
{
    TempTree tree;
    std::string original;
    for (int i = 0; i < 60000; ++i)
        original += "<a href=\"p" + std::to_string(i) + ".html\">x</a>\n";
    const std::string file = tree.Write("page.htm", original);
    const std::set<std::string> listing = tree.Listing();
    const TIdentity before = IdentityOf(file);
    // Copied and written again in pieces, as a rewrite that finds nothing to change does.
    auto edit = [&](const std::string& replacement, int64_t at, bool cutShort) {
        TRewriteSpares spares;
        TFileRewrite io(file, &spares);
        io.CopySource(10);
        io.Write(original.substr(10, 20));
        io.SkipSource(20);
        io.CopySource(at - 30);
        io.Write(replacement);
        io.SkipSource(static_cast<int64_t>(replacement.size()));
        if (!cutShort)
            io.CopySource();
        io.Commit();
        return io.Replaced();
    };
    const int64_t late = static_cast<int64_t>(original.size()) - 100;
    EXPECT_FALSE(edit(original.substr(static_cast<size_t>(late), 5), late, false));
    EXPECT_EQ(TempTree::Read(file), original);
    EXPECT_EQ(IdentityOf(file).inode, before.inode);
    EXPECT_EQ(IdentityOf(file).modifiedNs, before.modifiedNs);
    EXPECT_EQ(tree.Listing(), listing);

    std::string changed = original;
    changed[static_cast<size_t>(late)] = '#';
    EXPECT_TRUE(edit("#", late, false));
    EXPECT_EQ(TempTree::Read(file), changed);
    EXPECT_EQ(IdentityOf(file).modifiedNs, before.modifiedNs);  // the time stays with the page

    EXPECT_TRUE(edit("#", late, true));
    EXPECT_EQ(TempTree::Read(file), changed.substr(0, static_cast<size_t>(late) + 1));
    EXPECT_EQ(tree.Listing(), listing);
}

// A page cut short by another writer while its edit runs: the edit fails when it meets the end,
// and nothing it made replaces the page.
TEST(FileRewriteTest, PageCutShortMeanwhileIsNeverReplaced)
{
    TempTree tree;
    const std::string original(300000, 'p');
    const std::string file = tree.Write("page.htm", original);
    const std::set<std::string> listing = tree.Listing();
    TFileRewrite io(file);
    std::filesystem::resize_file(file, 1000);
    io.CopySource(200000);
    EXPECT_THROW(io.Write("changed"), std::runtime_error);
    EXPECT_EQ(TempTree::Read(file), original.substr(0, 1000));
    EXPECT_EQ(tree.Listing(), listing);
}
