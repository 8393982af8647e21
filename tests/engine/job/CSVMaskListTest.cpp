#include "engine/job/CSVMaskList.h"

#include <gtest/gtest.h>

TEST(CSVMaskList, SplitsAtCommasAndBlanksAndSkipsEmptyItems)
{
    EXPECT_EQ(TCSVMaskList(" .GIF, ,.jpg\t.png,,").Items(), (std::vector<std::string>{".gif", ".jpg", ".png"}));
    // An empty item would be a substring of every value.
    EXPECT_FALSE(TCSVMaskList("news, ,").MemberFoundIn("http://example.com/"));
}

TEST(CSVMaskList, MasksMatchWholeValuesIgnoringCase)
{
    EXPECT_TRUE(MatchesMask("WWW.Example.COM", "*.example.com"));
    EXPECT_FALSE(MatchesMask("example.com", "*.example.com"));
    EXPECT_TRUE(MatchesMask("abc", "a?c"));
    EXPECT_FALSE(MatchesMask("ac", "a?c"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_TRUE(MatchesMask("aXbXc", "*b*c"));
    EXPECT_FALSE(MatchesMask("aXbXd", "*b*c"));
    EXPECT_TRUE(MatchesMask("mississippi", "*sip*"));
    EXPECT_FALSE(MatchesMask("abc", "ab"));
}

TEST(CSVMaskList, EqualsTakesItemsAsMasksFoundInAlsoAsSubstrings)
{
    TCSVMaskList hosts("*.example.com, other.org");
    EXPECT_TRUE(hosts.MemberEquals("OTHER.org"));
    EXPECT_FALSE(hosts.MemberEquals("www.other.org"));
    TCSVMaskList words("Forum, /a*/b?/");
    EXPECT_TRUE(words.MemberFoundIn("http://site.com/FORUMS/index.html"));
    EXPECT_TRUE(words.MemberFoundIn("/abc/bX/"));
    EXPECT_FALSE(words.MemberFoundIn("x/abc/bX/"));
}
