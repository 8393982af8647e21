#include "engine/CSVMaskList.h"

#include <gtest/gtest.h>

TEST(CSVMaskList, SplitsAtCommasAndBlanksAndSkipsEmptyItems)
{
    TCSVMaskList list(" .GIF, ,.jpg\t.png,,");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{".gif", ".jpg", ".png"}));
    EXPECT_TRUE(TCSVMaskList(" , ,").Empty());
    // An empty item would be a substring of every value.
    EXPECT_FALSE(TCSVMaskList("news, ,").MemberFoundIn("http://example.com/"));
}

TEST(CSVMaskList, MasksMatchWholeValuesIgnoringCase)
{
    EXPECT_TRUE(MatchesMask("WWW.Example.COM", "*.example.com"));
    EXPECT_FALSE(MatchesMask("example.com", "*.example.com"));
    EXPECT_TRUE(MatchesMask("a.b.example.com", "*.example.com"));
    EXPECT_TRUE(MatchesMask("image/png", "image/*"));
    EXPECT_TRUE(MatchesMask("abc", "a?c"));
    EXPECT_FALSE(MatchesMask("ac", "a?c"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_FALSE(MatchesMask("", "?"));
    EXPECT_TRUE(MatchesMask("aXbXc", "*b*c"));
    EXPECT_FALSE(MatchesMask("aXbXd", "*b*c"));
    EXPECT_TRUE(MatchesMask("mississippi", "*sip*"));
    EXPECT_FALSE(MatchesMask("abc", "ab"));
}

TEST(CSVMaskList, EqualsTakesItemsAsMasks)
{
    TCSVMaskList hosts("*.example.com, other.org");
    EXPECT_TRUE(hosts.MemberEquals("news.example.com"));
    EXPECT_TRUE(hosts.MemberEquals("OTHER.org"));
    EXPECT_FALSE(hosts.MemberEquals("example.com"));
    EXPECT_FALSE(hosts.MemberEquals("www.other.org"));
    EXPECT_FALSE(TCSVMaskList("").MemberEquals(""));
}

TEST(CSVMaskList, FoundInMatchesSubstringsOrMasks)
{
    TCSVMaskList words("Forum, /a*/b?/");
    EXPECT_TRUE(words.MemberFoundIn("http://site.com/FORUMS/index.html"));
    EXPECT_FALSE(words.MemberFoundIn("http://site.com/news/"));
    // Masks are matched against the whole value.
    EXPECT_TRUE(words.MemberFoundIn("/abc/bX/"));
    EXPECT_FALSE(words.MemberFoundIn("x/abc/bX/"));
}
