#include "engine/post/FlattenFolder.h"

#include "tests/engine/ScriptedJobControl.h"
#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Moves = std::vector<std::pair<std::string, std::string>>;
using Names = std::set<std::string>;

struct Recorder {
    Moves moved;
    std::vector<std::string> pruned;
    TFolderSteps Steps(TJobControl* control = nullptr)
    {
        TFolderSteps steps;
        steps.Control = control;
        steps.FileMovedUp = [this](const std::string& from, const std::string& to) { moved.emplace_back(from, to); };
        steps.PruningFolder = [this](const std::string& folder) { pruned.push_back(folder); };
        return steps;
    }
};

TEST(FlattenFolderTest, MovesFilesUpInNameOrderAndKeepsCollisions)
{
    TempTree tree;
    std::string root = tree.Root() + "/";
    tree.Write("index.htm", "root index");
    tree.Write("site/index.htm", "site index");  // name taken above: stays
    tree.Write("site/B.gif", "b");
    tree.Write("site/a.htm", "a");
    tree.Write("site/img/c.gif", "c");
    tree.Write("site/img/a.htm", "deep a");  // a.htm arrived first from site/: stays
    Recorder rec;
    std::string start = root + "site/a.htm";
    FlattenChildFolders(rec.Steps(), root, nullptr, start);

    EXPECT_EQ(rec.moved, (Moves {{root + "site/a.htm", root + "a.htm"},
                                 {root + "site/B.gif", root + "B.gif"},
                                 {root + "site/img/a.htm", root + "site/a.htm"},
                                 {root + "site/img/c.gif", root + "site/c.gif"},
                                 {root + "site/c.gif", root + "c.gif"}}));
    EXPECT_EQ(start, root + "a.htm");
    EXPECT_EQ(tree.Listing(), (Names {"index.htm", "a.htm", "B.gif", "c.gif", "site/", "site/index.htm",
                                      "site/a.htm", "site/img/"}));
    EXPECT_EQ(TempTree::Read(tree.Path("a.htm")), "a");
    EXPECT_EQ(TempTree::Read(tree.Path("site/a.htm")), "deep a");
    EXPECT_EQ(TempTree::Read(tree.Path("index.htm")), "root index");
}

TEST(FlattenFolderTest, OnlyListedTopFoldersAndNoSymlinksFollowed)
{
    TempTree tree;
    std::string root = tree.Root() + "/dest/";
    tree.Write("dest/job/x.htm", "x");
    tree.Write("dest/job/deep/y.htm", "y");
    tree.Write("dest/other/z.htm", "z");     // not a folder of this job
    tree.Write("outside/secret.htm", "s");   // reachable only through links
    ASSERT_EQ(::symlink(tree.Path("outside").c_str(), tree.Path("dest/job/linked").c_str()), 0);
    ASSERT_EQ(::symlink(tree.Path("outside/secret.htm").c_str(), tree.Path("dest/job/file-link.htm").c_str()), 0);
    TFolderList list {root + "job/"};
    Recorder rec;
    std::string start = root + "elsewhere.htm";
    FlattenChildFolders(rec.Steps(), root, &list, start);

    EXPECT_EQ(rec.moved, (Moves {{root + "job/x.htm", root + "x.htm"},
                                 {root + "job/deep/y.htm", root + "job/y.htm"},
                                 {root + "job/y.htm", root + "y.htm"}}));
    EXPECT_EQ(start, root + "elsewhere.htm");
    EXPECT_EQ(tree.Listing(), (Names {"dest/", "dest/x.htm", "dest/y.htm", "dest/job/", "dest/job/deep/",
                                      "dest/job/linked", "dest/job/file-link.htm", "dest/other/",
                                      "dest/other/z.htm", "outside/", "outside/secret.htm"}));
}

TEST(FlattenFolderTest, WaitsWhilePausedThenGoesOn)
{
    TempTree tree;
    tree.Write("a/1.htm", "1");
    ScriptedJobControl control;
    control.PausedNow = true;
    control.ResumeAfterWaits = 3;
    Recorder rec;
    std::string start;
    FlattenChildFolders(rec.Steps(&control), tree.Root(), nullptr, start);
    EXPECT_EQ(control.Waits, 3);
    EXPECT_EQ(rec.moved.size(), 1u);
}

TEST(PruneFolderTest, RemovesEmptyFoldersBottomUpKeepsTheRest)
{
    TempTree tree;
    std::string root = tree.Root() + "/";
    tree.MakeFolder("job/a/b/c");
    tree.Write("job/a/a.htm", "k");  // a file before the empty b/ in name order
    tree.MakeFolder("job/empty");
    tree.MakeFolder("foreign/empty");   // not in the list: left alone
    tree.Write("outside/x", "x");
    ASSERT_EQ(::symlink(tree.Path("outside").c_str(), tree.Path("job/link").c_str()), 0);
    tree.MakeFolder("job2/only/empty");
    TFolderList list {root + "job/", root + "job2/"};
    Recorder rec;
    EXPECT_FALSE(PruneEmptyChildFolders(rec.Steps(), root, &list, false));

    EXPECT_EQ(tree.Listing(), (Names {"job/", "job/a/", "job/a/a.htm", "job/link", "foreign/",
                                      "foreign/empty/", "outside/", "outside/x"}));
    EXPECT_EQ(rec.pruned, (std::vector<std::string> {root + "job/", root + "job/a/", root + "job/a/b/",
                                                     root + "job/a/b/c/", root + "job/empty/", root + "job2/",
                                                     root + "job2/only/", root + "job2/only/empty/"}));
}

TEST(PruneFolderTest, DestinationItselfIsNeverRemovedCancelKeepsFolders)
{
    TempTree tree;
    tree.MakeFolder("dest/sub");
    tree.MakeFolder("a/b");
    Recorder rec;
    EXPECT_FALSE(PruneEmptyChildFolders(rec.Steps(), tree.Path("dest"), nullptr, false));
    ScriptedJobControl control;
    control.CancelAfterChecks = 1;
    PruneEmptyChildFolders(rec.Steps(&control), tree.Path("a"), nullptr, false);
    EXPECT_EQ(tree.Listing(), (Names {"dest/", "a/", "a/b/"}));
}

}  // namespace
