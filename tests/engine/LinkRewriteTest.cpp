#include "engine/LinkRewrite.h"

#include <gtest/gtest.h>

namespace {

TEST(RelativeLinkTest, SameFolderSubfolderAndUp)
{
    EXPECT_EQ(MakeRelativeLink("/d/site/index.htm", "/d/site/img/a.gif"), "img/a.gif");
    EXPECT_EQ(MakeRelativeLink("/d/site/sub/page.htm", "/d/site/img/a.gif"), "../img/a.gif");
    EXPECT_EQ(MakeRelativeLink("/d/site/a/b/page.htm", "/d/other/x.htm"), "../../../other/x.htm");
    EXPECT_EQ(MakeRelativeLink("/d/site/page.htm", "/d/site/page.htm"), "page.htm");
    EXPECT_EQ(MakeRelativeLink("/d/site/page.htm", "/d/site/next.htm"), "next.htm");
    // A backslash is a separator; folders compare exactly (Img and img are two folders here).
    EXPECT_EQ(MakeRelativeLink("/d/Img/p.htm", "/d\\img\\a.gif"), "../img/a.gif");
    // Folders that only share a prefix of their name are different folders.
    EXPECT_EQ(MakeRelativeLink("/d/ab/p.htm", "/d/abc/q.htm"), "../abc/q.htm");
}

TEST(RelativeLinkTest, EncodingKeepsTheLinkOnOneFile)
{
    EXPECT_EQ(EncodeRelativeLink("img/a b.gif"), "img/a%20b.gif");
    EXPECT_EQ(EncodeRelativeLink("q?x=1#top%.htm"), "q%3Fx=1%23top%25.htm");
    EXPECT_EQ(EncodeRelativeLink("caf\xC3\xA9.htm"), "caf%C3%A9.htm");
    EXPECT_EQ(EncodeRelativeLink("say\"hi\"(1).htm"), "say%22hi%22%281%29.htm");
    EXPECT_EQ(EncodeRelativeLink("..\\up/x-y_z~.htm"), "../up/x-y_z~.htm");
}

TEST(RelativeLinkTest, MarkAndKeptName)
{
    std::string address = "http://www.example.com/ab"; // 25 bytes
    EXPECT_EQ(SavedFromMark(address), "<!-- saved from url=(0025)http://www.example.com/ab -->");
    EXPECT_EQ(SavedFromMark(std::string(12345, 'a')).substr(0, 27), "<!-- saved from url=(12345)");
    EXPECT_EQ(KeptInputFileName("/d/site/page.htm"), "/d/site/page_orig.htm");
    EXPECT_EQ(KeptInputFileName("/d/site.v2/page"), "/d/site.v2/page_orig");
    EXPECT_EQ(KeptInputFileName("/d/a.b.css"), "/d/a.b_orig.css");
}

}  // namespace
