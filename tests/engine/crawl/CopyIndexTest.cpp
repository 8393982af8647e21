#include "engine/crawl/CopyIndex.h"

#include "common/TempFolder.h"
#include "engine/job/URLType.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TURL Address(const std::string& text)
{
    TURL url;
    url.SetFullURL(text);
    return url;
}

class CopyIndexTest : public ::testing::Test {
protected:
    std::string File(const std::string& relative)
    {
        const std::string name = temp_ / relative;
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        WriteTextFile(name, "x");
        return name;
    }
    std::string IndexPath() const { return temp_ / TCopyIndex::kFileName; }

    TTempFolder temp_;
};

TEST_F(CopyIndexTest, SavedEntriesComeBackByAddressAndByFile)
{
    TCopyIndex index;
    EXPECT_FALSE(index.Load(temp_.Path()));
    const std::string page = File("h/p.asp_id=1.htm");
    index.Record(Address("http://H/p.asp?id=1#frag"), page, "text/html", "Wed, 01 Jan 2020 00:00:00 GMT", "\"e1\"",
                 true);
    index.Record(Address("http://h/gone.html"), temp_ / "h/gone.html", "text/html", "", "", true);
    ASSERT_TRUE(index.Save());

    TCopyIndex again;
    ASSERT_TRUE(again.Load(temp_.Path()));
    EXPECT_EQ(again.Count(), 1u);  // the file that is not there is left out
    const std::optional<TCopyIndexEntry> entry = again.FindAddress(Address("http://h/p.asp?id=1"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->address, "http://H/p.asp?id=1");
    EXPECT_EQ(entry->localName, page);
    EXPECT_EQ(entry->etag, "\"e1\"");
    EXPECT_EQ(again.FindLocalFile(page), entry);
    EXPECT_FALSE(again.FindAddress(Address("http://h/P.asp?id=1")));  // paths keep their case
}

TEST_F(CopyIndexTest, AnIndexUnderTheOlderNameIsReadOnceAndASiteFileSoNamedIsLeftAlone)
{
    const std::string page = File("h/a.html");
    {
        TCopyIndex index;
        index.Load(temp_.Path());
        index.Record(Address("http://h/a.html"), page, "text/html", "", "\"e1\"", true);
        ASSERT_TRUE(index.Save());
    }
    const std::string older = temp_ / TCopyIndex::kOlderFileName;
    std::filesystem::rename(IndexPath(), older);
    TCopyIndex index;
    ASSERT_TRUE(index.Load(temp_.Path()));
    ASSERT_TRUE(index.FindAddress(Address("http://h/a.html")).has_value());
    ASSERT_TRUE(index.Save());
    EXPECT_TRUE(std::filesystem::exists(IndexPath()));
    EXPECT_FALSE(std::filesystem::exists(older));

    // A file of a site that only has the older name is neither read nor removed.
    WriteTextFile(older, "a page of the site");
    std::filesystem::remove(IndexPath());
    EXPECT_FALSE(index.Load(temp_.Path()));
    index.Record(Address("http://h/a.html"), page, "text/html", "", "\"e1\"", true);
    ASSERT_TRUE(index.Save());
    EXPECT_EQ(ReadTextFile(older), "a page of the site");
}

TEST_F(CopyIndexTest, ConfirmedFilesKeepTheirValidatorsFetchedOnesTakeTheNew)
{
    TCopyIndex index;
    index.Load(temp_.Path());
    const std::string file = File("h/a.css");
    const TURL a = Address("http://h/a.css");
    index.Record(a, file, "text/css", "date 1", "\"1\"", true);
    index.Record(a, file, "", "", "", false);  // a 304 that repeats nothing
    EXPECT_EQ(index.FindAddress(a)->mimeType, "text/css");
    EXPECT_EQ(index.FindAddress(a)->etag, "\"1\"");
    index.Record(a, file, "text/css", "", "", true);  // fetched again without validators
    EXPECT_EQ(index.FindAddress(a)->etag, "");
    EXPECT_EQ(index.FindAddress(a)->lastModified, "");
    // What could not stand in the file is not kept.
    index.Record(a, file, "text/css", std::string(TCopyIndex::kMaxValidator + 1, 'd'), "\"a\r\nX: y\"", true);
    EXPECT_EQ(index.FindAddress(a)->lastModified, "");
    EXPECT_EQ(index.FindAddress(a)->etag, "");
    index.Record(Address("http://h/out"), temp_.Path() + "-other/out", "", "", "", true);
    index.Record(Address("http://h/up"), temp_ / "h/../../up", "", "", "", true);
    index.Record(Address("mailto:a@h"), file, "", "", "", true);
    EXPECT_EQ(index.Count(), 1u);
}

TEST_F(CopyIndexTest, DamagedOrForeignIndexIsPassedOverWhole)
{
    const std::string file = File("h/a.html");
    TCopyIndex index;
    index.Load(temp_.Path());
    index.Record(Address("http://h/a.html"), file, "text/html", "", "", true);
    ASSERT_TRUE(index.Save());
    const std::string good = ReadTextFile(IndexPath());
    const std::string body = good.substr(good.find('\n') + 1);
    const std::string header = "Gleanery copy index 1\t" + temp_.Path() + "\n";
    for (const std::string& text :
         {good.substr(0, good.size() - 1), "Gleanery copy index 1\t/other\n" + body,
          header + "http://h/b.html\t../../etc/passwd\t\t\t\n" + body, header + "http://h/x\th/x\t\t\n" + body,
          header + "javascript:x\th/x\t\t\t\n" + body, good + "more\n", std::string("\0\0\0", 3)}) {
        WriteTextFile(IndexPath(), text);
        TCopyIndex damaged;
        EXPECT_FALSE(damaged.Load(temp_.Path())) << text;
        EXPECT_EQ(damaged.Count(), 0u) << text;
    }
    std::filesystem::remove(IndexPath());
    std::filesystem::create_directory(IndexPath());
    TCopyIndex folder;
    EXPECT_FALSE(folder.Load(temp_.Path()));
    // A failed write leaves what was there.
    folder.Record(Address("http://h/a.html"), file, "text/html", "", "", true);
    EXPECT_FALSE(folder.Save());
    EXPECT_TRUE(std::filesystem::is_directory(IndexPath()));
}

// A file named by two addresses is found under the one recorded last; an address whose file
// changes is found under its new name only, and the other address keeps the old one.
TEST_F(CopyIndexTest, AFileIsFoundUnderTheAddressRecordedLast)
{
    TCopyIndex index;
    index.Load(temp_.Path());
    const std::string page = File("h/index.html");
    const std::string other = File("h/other.html");
    const TURL folder = Address("http://h/");
    const TURL named = Address("http://h/index.html");
    // Pages read ahead follow their links to the copy's files again only when an answer of
    // FindLocalFile may have changed.
    uint64_t changes = index.NameChanges();
    const auto changed = [&] {
        const bool raised = index.NameChanges() != changes;
        changes = index.NameChanges();
        return raised;
    };
    index.Record(folder, page, "text/html", "", "", true);
    EXPECT_TRUE(changed());
    index.Record(named, page, "text/html", "", "\"2\"", true);
    EXPECT_TRUE(changed());
    ASSERT_TRUE(index.FindLocalFile(page));
    EXPECT_EQ(index.FindLocalFile(page)->address, "http://h/index.html");
    index.Record(named, page, "text/html", "", "\"3\"", true);
    EXPECT_FALSE(changed());
    index.Record(named, other, "text/html", "", "", true);
    EXPECT_TRUE(changed());
    EXPECT_EQ(index.FindLocalFile(other)->address, "http://h/index.html");
    EXPECT_FALSE(index.FindLocalFile(page));  // its last address moved on
    index.Record(folder, page, "text/html", "", "", false);
    EXPECT_TRUE(changed());
    EXPECT_EQ(index.FindLocalFile(page)->address, "http://h/");
    EXPECT_EQ(index.FindAddress(Address("HTTP://H/index.html"))->localName, other);
    EXPECT_FALSE(index.FindLocalFile(temp_.Path() + "-other/h/index.html"));
    ASSERT_TRUE(index.Save());
    TCopyIndex again;
    ASSERT_TRUE(again.Load(temp_.Path()));
    EXPECT_EQ(again.Count(), 2u);
    EXPECT_EQ(again.FindLocalFile(other)->address, "http://h/index.html");
}

}  // namespace
