#include "engine/parse/GYCSSParser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Found(const std::string& css, const TWebLinkList& list, int64_t origin = 0)
{
    std::vector<std::string> v;
    for (const auto& l : list) {
        EXPECT_EQ(l.FKind, lkCSSURL);
        EXPECT_EQ(l.FTagName, "STYLE");
        EXPECT_EQ(l.FAttribName, "CSSURL");
        // value|as written at its position
        v.push_back(l.FValue + "|" + css.substr(l.FValuePos - origin, l.FValueLength));
    }
    return v;
}

TEST(CSSParser, UrlForms)
{
    TCSSParser parser;
    TWebLinkList list;
    const std::string css =
        "@import url(\"print.css\") print;\n@import 'bare.css';\n"
        "a{background:url(a.gif)} b{background:URL( 'b c.gif' ) no-repeat}\n"
        "c{list-style:url ( \"it\\'s.gif\" )} d{x:url(\"q\\\"uote.gif\")}\n"
        "e{x:myurl(no.gif)} f{x:url2(no.gif)} g{x:url()} h{x:url(  )}\n"
        "i{x:url(data:x)url(j.gif)}";
    EXPECT_FALSE(parser.GetLinksInCSSCode(css, list, 7, 1000, 1));
    EXPECT_EQ(Found(css, list), (std::vector<std::string>{"print.css|print.css", "a.gif|a.gif", "b c.gif|b c.gif",
                                                           "it's.gif|it\\'s.gif", "q\"uote.gif|q\\\"uote.gif",
                                                           "data:x|data:x", "j.gif|j.gif", "bare.css|bare.css"}));
    EXPECT_EQ(list.Get(0)->FTagIndex, 7);
    EXPECT_EQ(list.Get(0)->FValuePos, 13);
    EXPECT_EQ(list.Get(0)->FValueLength, 9);
    EXPECT_EQ(list.Get(0)->FTagPos, 0);
    EXPECT_EQ(list.Get(0)->FTagLength, 0);
    EXPECT_TRUE(list.Get(0)->FTagText.empty());
}

TEST(CSSParser, PositionIsOffsetByWhereTheCodeStands)
{
    TCSSParser parser;
    TWebLinkList list;
    const std::string css = "x{y:url(z.png)}";
    parser.GetLinksInCSSCode(css, list, 3, 5000, 101);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->FValuePos, 100 + 8);
    EXPECT_EQ(Found(css, list, 100), (std::vector<std::string>{"z.png|z.png"}));
}

TEST(CSSParser, UnclosedReferenceEndsTheSearch)
{
    TCSSParser parser;
    TWebLinkList list;
    const std::string css = "a{x:url(ok.gif)} b{x:url(open.gif; c{x:url(late.gif";
    parser.GetLinksInCSSCode(css, list, 0, static_cast<int64_t>(css.size()), 1);
    EXPECT_EQ(Found(css, list), (std::vector<std::string>{"ok.gif|ok.gif"}));
    for (const char* tail : {"url", "url(", "url( '", "u", "ur", "url   "}) {
        TWebLinkList l;
        parser.GetLinksInCSSCode(tail, l, 0, 10, 1);
        EXPECT_EQ(l.Count(), 0) << tail;
    }
}

TEST(CSSParser, ProgressCountsSkippedBytesAndStops)
{
    TCSSParser parser;
    std::string css;
    for (int i = 0; i < 20; ++i)
        css += std::string(1000, ' ') + "url(i" + std::to_string(i) + ".gif)";
    std::vector<int64_t> positions;
    parser.OnReadProgress = [&](int64_t pos, int64_t size) {
        EXPECT_EQ(size, static_cast<int64_t>(css.size()));
        positions.push_back(pos);
        return false;
    };
    TWebLinkList list;
    EXPECT_FALSE(parser.GetLinksInCSSCode(css, list, 0, static_cast<int64_t>(css.size()), 1));
    EXPECT_EQ(list.Count(), 20);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), static_cast<int64_t>(css.find("url(i2.gif)")));  // > 2999 skipped by then

    parser.OnReadProgress = [](int64_t, int64_t) { return true; };
    TWebLinkList stopped;
    EXPECT_TRUE(parser.GetLinksInCSSCode(css, stopped, 0, static_cast<int64_t>(css.size()), 1));
    EXPECT_EQ(stopped.Count(), 2);
}

TEST(CSSParser, FileAppendsAndMissingFileGivesNothing)
{
    char folder[] = "/tmp/gleanery-css-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/site.css";
    {
        std::ofstream out(file, std::ios::binary);
        out << "body{background:url(../img/bg.png)}\n";
    }
    TCSSParser parser;
    TWebLinkList list;
    TWebLinkInfo earlier;
    earlier.FValue = "kept";
    list.AddLink(earlier);
    parser.GetLinksInCSSFile(file, "http://h/css/site.css", list, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0)->FValue, "kept");
    EXPECT_EQ(list.Get(1)->FValue, "../img/bg.png");
    EXPECT_EQ(list.Get(1)->FValuePos, 20);
    EXPECT_EQ(list.Get(1)->FTagIndex, 0);

    parser.GetLinksInCSSFile(std::string(folder) + "/missing.css", "http://h/", list, 0);
    EXPECT_EQ(list.Count(), 2);
    std::remove(file.c_str());
    rmdir(folder);
}

}  // namespace
