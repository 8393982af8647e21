// Pages and style sheets of any size are read for links in bounded memory: the first bytes of a
// huge file, and at most so many links of one file.
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkRewrite.h"
#include "engine/post/FileFindReplace.h"

#include "tests/engine/TempTree.h"
#include "tests/engine/TestLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Values(const TWebLinkList& list)
{
    std::vector<std::string> values;
    for (const TWebLinkInfo& link : list)
        values.push_back(link.FValue);
    return values;
}

// Repeats unit until the text is size bytes long (the last copy cut).
std::string Filler(const std::string& unit, size_t size)
{
    std::string text;
    text.reserve(size);
    while (text.size() < size)
        text += unit;
    text.resize(size);
    return text;
}

TEST(LinkLimitsTest, OnlyTheFirstBytesOfAHugePageAreReadAndATagCutThereGivesNoLink)
{
    TTestLog log;
    TempTree tree;
    const size_t cap = static_cast<size_t>(kMaxLinkReadSize);
    const std::string head = "<html><a href=\"first.htm\">f</a>";
    // A tag whose value the end of the read cuts in two, and one wholly after it.
    const std::string cut = "<a href=\"cut-in-two.htm\">";
    std::string page = head + Filler("<p>text</p>", cap - head.size() - 10) + cut + "<a href=\"late.htm\">";
    const std::string file = tree.Write("big.htm", page);

    THTMLParser html;
    TWebLinkList list;
    html.GetLinksInHTMLFile(file, "http://s.com/big.htm", list, 0);
    EXPECT_EQ(Values(list), std::vector<std::string>{"first.htm"});
    EXPECT_TRUE(log.Contains("Links read from the first " + std::to_string(cap) + " of " +
                             std::to_string(page.size()) + " bytes of " + file));

    // The rewrite replaces what was read and copies the rest as it is.
    html.OnAddressToFile = [](const TURL&) { return std::string(); };
    ReplaceLinksInFile(html, file, "http://s.com/big.htm", TLinkReplaceOptions{}, list, 1, false);
    const std::string rewritten = TempTree::Read(file);
    const std::string first = "<html><a href=\"http://s.com/first.htm\">f</a>";
    ASSERT_EQ(rewritten.size(), page.size() - head.size() + first.size());
    EXPECT_EQ(rewritten.compare(0, first.size(), first), 0);
    EXPECT_EQ(rewritten.compare(first.size(), std::string::npos, page, head.size()), 0);
}

TEST(LinkLimitsTest, AFileKeepsItsFirstLinksUpToTheLimit)
{
    TTestLog log;
    TempTree tree;
    const int64_t over = kMaxLinksPerFile + 3;
    std::string page;
    std::string css;
    for (int64_t i = 0; i < over; ++i) {
        page += "<img src=" + std::to_string(i) + ">";
        css += "a{background:url(" + std::to_string(i) + ")}";
    }
    const std::string pageFile = tree.Write("many.htm", page);
    const std::string cssFile = tree.Write("many.css", css);

    THTMLParser html;
    TWebLinkList list;
    html.GetLinksInHTMLFile(pageFile, "http://s.com/", list, 0);
    ASSERT_EQ(list.Count(), kMaxLinksPerFile);
    EXPECT_EQ(list.Get(kMaxLinksPerFile - 1)->FValue, std::to_string(kMaxLinksPerFile - 1));
    EXPECT_TRUE(log.Contains("Only the first " + std::to_string(kMaxLinksPerFile) + " links of " + pageFile));

    TCSSParser cssParser;
    TWebLinkList cssList;
    cssParser.GetLinksInCSSFile(cssFile, "http://s.com/", cssList, 0);
    ASSERT_EQ(cssList.Count(), kMaxLinksPerFile);
    EXPECT_EQ(cssList.Get(0)->FValue, "0");
    EXPECT_TRUE(log.Contains("Only the first " + std::to_string(kMaxLinksPerFile) + " links of " + cssFile));
}

TEST(LinkLimitsTest, FindAndReplaceLeavesAFileOverItsLimitAsItIs)
{
    TTestLog log;
    TempTree tree;
    const std::string file = tree.Write("page.htm", "<p>old old</p>");
    TFindReplaceTasks tasks;
    tasks.Count = 1;
    tasks.Tasks[0].FindString = "old";
    tasks.Tasks[0].ReplaceString = "new";
    tasks.Tasks[0].Flags = rfReplaceAll;
    std::string error;
    EXPECT_TRUE(FindReplaceInFile(file, tasks, &error, 10));
    EXPECT_EQ(TempTree::Read(file), "<p>old old</p>");
    EXPECT_TRUE(log.Contains("Find and replace left " + file + " as it is: 14 bytes, more than 10"));
    EXPECT_TRUE(FindReplaceInFile(file, tasks, &error, 14));
    EXPECT_EQ(TempTree::Read(file), "<p>new new</p>");
}

}  // namespace
