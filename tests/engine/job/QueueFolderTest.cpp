#include "tests/engine/TempTree.h"

#include "engine/job/QueueFolder.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

TQueueSnapshot Queue(std::vector<std::pair<std::string, int32_t>> jobs, uint64_t version)
{
    TQueueSnapshot snapshot;
    snapshot.contentVersion = version;
    for (const auto& [address, status] : jobs) {
        TQueueSnapshotEntry entry;
        entry.job.Clear();
        entry.job.StartingWebAddress.SetFullURL(address);
        entry.status = status;
        snapshot.entries.push_back(std::move(entry));
    }
    return snapshot;
}

std::string AddressOf(const std::string& file)
{
    TCopyJob job;
    return job.ReadJobFile(file) ? job.StartingWebAddress.GetFullURL() : "(unreadable)";
}

TEST(QueueFolder, WriterExchangesWholeFoldersAndRewritesOnlyStatusesWhenJobsAreUnchanged)
{
    TempTree tree;
    const std::string folder = tree.Path("Queue");
    TQueueFolderWriter writer(folder);
    writer.Post(Queue({{"http://a.test/", 0}, {"http://b.test/", 0}}, 1));
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(AddressOf(folder + "/2.GCJ"), "http://b.test/");

    // Same jobs, new status: only Queue.ini is replaced, a file of the folder stays.
    tree.Write("Queue/mark", "x");
    writer.Post(Queue({{"http://a.test/", 1}, {"http://b.test/", 0}}, 1));
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(TIniFile(folder + "/Queue.ini").ReadInteger("Queue", "JobStatus1", -1), 1);
    EXPECT_TRUE(std::filesystem::exists(tree.Path("Queue/mark")));

    // Jobs moved: a new folder; sub-folders and other files of the old one come along and nothing
    // is left beside it.
    tree.MakeFolder("Queue/keep/inner");
    writer.Post(Queue({{"http://b.test/", 0}}, 2));
    writer.Post(Queue({{"http://b.test/", 0}, {"http://a.test/", 4}}, 3));  // the latest wins
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(tree.Listing(), (std::set<std::string>{"Queue/", "Queue/1.GCJ", "Queue/2.GCJ", "Queue/Queue.ini",
                                                     "Queue/keep/", "Queue/keep/inner/", "Queue/mark"}));
    EXPECT_EQ(AddressOf(folder + "/1.GCJ"), "http://b.test/");
    EXPECT_EQ(TIniFile(folder + "/Queue.ini").ReadInteger("Queue", "JobStatus2", -1), 4);
}

TEST(QueueFolder, UnreadableQueueIsKeptAsideAndAFailedWriteLeavesTheOldOne)
{
    TempTree tree;
    const std::string folder = tree.Path("Queue");
    tree.Write("Queue/Queue.ini", "[Queue]\r\nJob");  // cut short
    tree.Write("Queue/1.GCJ", "[Start]\r\n");
    {
        TQueueFolderWriter writer(folder);
        writer.KeepOldFolderOnce();
        writer.Post(Queue({{"http://c.test/", 0}}, 1));
        ASSERT_TRUE(writer.Flush());
    }
    EXPECT_EQ(TempTree::Read(tree.Path("Queue.damaged/Queue.ini")), "[Queue]\r\nJob");
    EXPECT_TRUE(std::filesystem::exists(tree.Path("Queue.damaged/1.GCJ")));
    EXPECT_EQ(AddressOf(folder + "/1.GCJ"), "http://c.test/");

    // A plain file where the new folder must go: the write fails and the queue stays.
    tree.Write("Queue.new", "");
    TQueueFolderWriter writer(folder);
    writer.Post(Queue({}, 5));
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(AddressOf(folder + "/1.GCJ"), "http://c.test/");
}

// A queue folder that is a link to a folder of the user's: the link stays, and of the folder's
// files only those the queue wrote are replaced or deleted.
TEST(QueueFolder, ALinkedFolderKeepsItsLinkAndTheUsersFiles)
{
    TempTree tree;
    const std::string folder = tree.Path("data/Queue");
    tree.MakeFolder("data");
    tree.Write("mine/note.txt", "my note");
    tree.MakeFolder("mine/photos");
    std::filesystem::create_symlink(tree.Path("mine"), folder);
    EXPECT_FALSE(SavedQueueExists(folder));  // a note is no saved queue
    tree.Write("mine/Queue.ini", "[Queue]\r\nJobCount=3\r\n");
    tree.Write("mine/3.GCJ", "[Start]\r\n");
    tree.Write("mine/03.GCJ", "not the queue's");
    EXPECT_TRUE(SavedQueueExists(folder));
    {
        TQueueFolderWriter writer(folder);
        writer.Post(Queue({{"http://a.test/", 0}, {"http://b.test/", 2}}, 1));
        ASSERT_TRUE(writer.Flush());
    }
    EXPECT_TRUE(std::filesystem::is_symlink(folder));
    EXPECT_EQ(tree.Listing(), (std::set<std::string>{"data/", "data/Queue", "mine/", "mine/03.GCJ",
                                                     "mine/1.GCJ", "mine/2.GCJ", "mine/Queue.ini", "mine/note.txt",
                                                     "mine/photos/"}));
    EXPECT_EQ(AddressOf(folder + "/2.GCJ"), "http://b.test/");
    EXPECT_EQ(TempTree::Read(tree.Path("mine/note.txt")), "my note");

    // Deleting the saved queue deletes the queue's files alone.
    DeleteQueueFiles(folder, "DeleteQueueFromDisk");
    EXPECT_EQ(tree.Listing(), (std::set<std::string>{"data/", "data/Queue", "mine/", "mine/03.GCJ",
                                                     "mine/note.txt", "mine/photos/"}));

    // A link that leads nowhere is left as it is and nothing is written.
    std::filesystem::remove(folder);
    std::filesystem::create_symlink(tree.Path("gone"), folder);
    EXPECT_TRUE(SavedQueueExists(folder));
    TQueueFolderWriter writer(folder);
    writer.Post(Queue({{"http://c.test/", 0}}, 2));
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(std::filesystem::read_symlink(folder), tree.Path("gone"));
    EXPECT_FALSE(std::filesystem::exists(tree.Path("gone")));
}

TEST(QueueFolder, WriterFinishesWhatWasPostedBeforeItEnds)
{
    TempTree tree;
    {
        TQueueFolderWriter writer(tree.Path("Queue"));
        for (uint64_t v = 1; v <= 20; ++v)
            writer.Post(Queue({{"http://v" + std::to_string(v) + ".test/", 0}}, v));
    }
    EXPECT_EQ(AddressOf(tree.Path("Queue/1.GCJ")), "http://v20.test/");
}

}  // namespace

TEST(QueueHold, OneHolderAtATimeAndTheHoldEndsWithIt)
{
    TTempFolder folder;
    const std::string queue = folder / "Queue";
    EXPECT_FALSE(SavedQueueExists(queue));
    {
        TQueueHold first(queue);
        EXPECT_TRUE(first.Held());
        TQueueHold second(queue);
        EXPECT_FALSE(second.Held());
    }
    TQueueHold third(queue);
    EXPECT_TRUE(third.Held());
    // A folder that cannot hold a lock file is kept as before, unguarded.
    TQueueHold nowhere(folder / "missing/Queue");
    EXPECT_TRUE(nowhere.Held());

    std::filesystem::create_directories(queue);
    EXPECT_FALSE(SavedQueueExists(queue));
    WriteTextFile(queue + "/1.GCJ", "x");  // a job file without its Queue.ini is a saved queue too
    EXPECT_TRUE(SavedQueueExists(queue));
}
