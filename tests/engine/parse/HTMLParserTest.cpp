#include "engine/parse/GYHTMLParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    std::string page;
    TWebLinkList list;
};

// The value exactly as the rewrite will replace it.
std::string Written(const std::string& page, const TWebLinkInfo& link)
{
    return page.substr(static_cast<size_t>(link.FValuePos), static_cast<size_t>(link.FValueLength));
}

class HTMLParserTest : public ::testing::Test {
protected:
    void Parse(const std::string& page)
    {
        page_ = page;
        parser.GetLinksInHTMLCode(page_, "/nonexistent/page.html", "", list, 0);
    }
    std::vector<std::string> Values() const
    {
        std::vector<std::string> v;
        for (const auto& l : list)
            v.push_back(l.FTagName + " " + l.FAttribName + "=" + l.FValue);
        return v;
    }
    // Every HTML link's positions agree with the page it came from.
    void ExpectConsistentPositions() const
    {
        for (const auto& l : list) {
            if (l.FKind != lkHTMLAttribute)
                continue;
            ASSERT_LE(l.FTagPos + l.FTagLength, static_cast<int64_t>(page_.size()));
            EXPECT_EQ(page_.substr(l.FTagPos, l.FTagLength), l.FTagText);
            EXPECT_EQ(l.FTagText.front(), '<');
            EXPECT_EQ(l.FTagText.back(), '>');
            EXPECT_GT(l.FValuePos, l.FTagPos);
            EXPECT_LT(l.FValuePos + l.FValueLength, l.FTagPos + l.FTagLength);
        }
    }

    THTMLParser parser;
    TWebLinkList list;
    std::string page_;
};

TEST_F(HTMLParserTest, QuotingFormsAndCaseGiveExactOffsets)
{
    Parse("<HTML><A HREF=\"a.html\">x</A>\n<a href='b.html'>y</a><a HrEf=c.html title=x>"
          "<IMG  src = \" d.gif \" ALT=d>");
    ASSERT_EQ(list.Count(), 4);
    const TWebLinkInfo& a = *list.Get(0);
    EXPECT_EQ(a.FKind, lkHTMLAttribute);
    EXPECT_EQ(a.FTagName, "A");
    EXPECT_EQ(a.FAttribName, "HREF");
    EXPECT_EQ(a.FValue, "a.html");
    EXPECT_EQ(a.FTagPos, 6);
    EXPECT_EQ(a.FTagLength, 17);
    EXPECT_EQ(a.FValuePos, 14);
    EXPECT_EQ(a.FValueLength, 8);
    EXPECT_EQ(a.FTagIndex, 2);
    EXPECT_EQ(a.FTagText, "<A HREF=\"a.html\">");
    EXPECT_EQ(Written(page_, a), "\"a.html\"");

    EXPECT_EQ(Written(page_, *list.Get(1)), "'b.html'");
    EXPECT_EQ(list.Get(1)->FTagIndex, 4);
    EXPECT_EQ(Written(page_, *list.Get(2)), "c.html");
    EXPECT_EQ(list.Get(2)->FValue, "c.html");
    // Blanks around "=" are skipped; the value is trimmed but its written extent keeps them.
    EXPECT_EQ(list.Get(3)->FTagName, "IMG");
    EXPECT_EQ(list.Get(3)->FValue, "d.gif");
    EXPECT_EQ(Written(page_, *list.Get(3)), "\" d.gif \"");
    ExpectConsistentPositions();
}

TEST_F(HTMLParserTest, CommentsHideLinksAndCountAsOneTag)
{
    Parse("<!-- <a href=\"hidden.html\"> a > b --><a href=\"shown.html\"><!--x--><!----><img src=i.gif>"
          "<!-- <img src=\"never.gif\">");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=shown.html", "IMG SRC=i.gif"}));
    EXPECT_EQ(list.Get(0)->FTagIndex, 2);
    EXPECT_EQ(list.Get(0)->FTagPos, 37);
    EXPECT_EQ(list.Get(1)->FTagIndex, 5);
    ExpectConsistentPositions();
}

TEST_F(HTMLParserTest, TitleAndTagNamesEndingAtCloseOrSlash)
{
    Parse("<head><Title>Caf\xC3\xA9 <b>menu</b></TITLE><br/><img/src=\"x.gif\"/></head>");
    EXPECT_EQ(parser.FTitle, "Caf\xC3\xA9 <b>menu</b>");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->FTagName, "IMG");
    EXPECT_EQ(Written(page_, *list.Get(0)), "\"x.gif\"");
    // The first close ends the title; stray closes after it change nothing.
    Parse("<title>A</title>B</title></TITLE>");
    EXPECT_EQ(parser.FTitle, "A");
}

TEST_F(HTMLParserTest, FirstMetaCharsetIsKept)
{
    Parse("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"><title>x</title>"
          "<meta charset=\"utf-8\">");
    EXPECT_EQ(parser.FCharset, "windows-1251");
    Parse("<head><META CHARSET='ISO-8859-2'><meta name=robots content=\"charset=koi8-r\">");
    EXPECT_EQ(parser.FCharset, "ISO-8859-2");
    Parse("<meta name=\"description\" content=\"charset=koi8-r\"><p>");
    EXPECT_EQ(parser.FCharset, "");
    // The META links are found as before.
    Parse("<meta http-equiv=refresh content=\"0; url=next.html\">");
    const auto without = Values();
    Parse("<meta http-equiv=refresh content=\"0; url=next.html\"><meta charset=big5>");
    EXPECT_EQ(parser.FCharset, "big5");
    EXPECT_EQ(Values(), without);
}

TEST(ContentTypeCharset, PlainNamesOnly)
{
    EXPECT_EQ(CharsetOfContentType("text/html; charset=ISO-8859-1"), "ISO-8859-1");
    EXPECT_EQ(CharsetOfContentType("text/html;Charset = \"Shift_JIS\"; x=1"), "Shift_JIS");
    EXPECT_EQ(CharsetOfContentType("text/html"), "");
    EXPECT_EQ(CharsetOfContentType("text/html; charset"), "");
    EXPECT_EQ(CharsetOfContentType("text/html; charset=utf-8<script>"), "utf-8");
    EXPECT_EQ(CharsetOfContentType("charset=" + std::string(100, 'a')).size(), 40u);
}

TEST_F(HTMLParserTest, StyleBlockLinksCarryClosingTagNumberAndFileOffsets)
{
    const std::string css = "body{background:url( 'img/a b.gif' )}\nh1{background:URL(logo.gif)}";
    Parse("<html><style type=\"text/css\"><!--\n" + css + "\n--></style><p>");
    ASSERT_EQ(list.Count(), 2);
    const TWebLinkInfo& first = *list.Get(0);
    EXPECT_EQ(first.FKind, lkCSSURL);
    EXPECT_EQ(first.FTagName, "STYLE");
    EXPECT_EQ(first.FAttribName, "CSSURL");
    EXPECT_EQ(first.FValue, "img/a b.gif");
    EXPECT_EQ(Written(page_, first), "img/a b.gif");
    EXPECT_EQ(static_cast<size_t>(first.FValuePos), page_.find("img/a b.gif"));
    EXPECT_EQ(first.FTagIndex, 3);  // <html> <style> </style>: the comment is style text, not a tag
    EXPECT_EQ(first.FTagLength, 0);
    EXPECT_EQ(Written(page_, *list.Get(1)), "logo.gif");
    EXPECT_EQ(list.Get(1)->FTagIndex, 3);
}

TEST_F(HTMLParserTest, FramesetImageMapAppletAndObject)
{
    Parse("<FRAMESET cols=\"20%,*\"><FRAME SRC=\"nav.html\" NAME=nav><frame src=main.html longdesc='d.html'>"
          "</FRAMESET><IFRAME SRC=\"if.html\"></IFRAME>"
          "<img src=\"map.gif\" usemap=\"#m\"><map name=m><area shape=rect coords=\"0,0,9,9\" href=\"a.html\">"
          "<AREA HREF='b.html' ALT=\"b\"></map>"
          "<applet code=\"Clock.class\" codebase=\"classes/\" width=10></applet>"
          "<OBJECT classid=\"clsid:1\" codebase=\"http://x/f.cab#version=6\" data=\"movie.swf\" usemap=#om>");
    EXPECT_EQ(Values(), (std::vector<std::string>{
                            "FRAME SRC=nav.html", "FRAME SRC=main.html", "FRAME LONGDESC=d.html",
                            "IFRAME SRC=if.html", "IMG SRC=map.gif", "IMG USEMAP=#m", "AREA HREF=a.html",
                            "AREA HREF=b.html", "APPLET CODE=Clock.class", "APPLET CODEBASE=classes/",
                            "OBJECT CODEBASE=http://x/f.cab#version=6", "OBJECT DATA=movie.swf",
                            "OBJECT USEMAP=#om"}));
    EXPECT_TRUE(parser.ForceAbsoluteLink(*list.Get(9)));
    EXPECT_FALSE(parser.ForceAbsoluteLink(*list.Get(8)));
    ExpectConsistentPositions();
}

TEST_F(HTMLParserTest, EveryTableTagIsRead)
{
    Parse("<body background=bg.gif><table background=t.gif><tr><th background=h.gif><td background=d.gif>"
          "<form action=\"/cgi/post\"><input type=image src=go.gif><script src=s.js></script>"
          "<link rel=stylesheet href=site.css><bgsound src=s.mid><embed src=e.swf pluginurl=p.html href=h.html>"
          "<blockquote cite=c1.html><q cite=c2.html><del cite=c3.html><ins cite=c4.html><base href=\"http://b/\">"
          "<image src=i.gif><p background=no.gif><div href=no.html>");
    EXPECT_EQ(Values(),
              (std::vector<std::string>{"BODY BACKGROUND=bg.gif", "TABLE BACKGROUND=t.gif", "TH BACKGROUND=h.gif",
                                        "TD BACKGROUND=d.gif", "FORM ACTION=/cgi/post", "INPUT SRC=go.gif",
                                        "SCRIPT SRC=s.js", "LINK HREF=site.css", "BGSOUND SRC=s.mid",
                                        "EMBED SRC=e.swf", "EMBED PLUGINURL=p.html", "EMBED HREF=h.html",
                                        "BLOCKQUOTE CITE=c1.html", "Q CITE=c2.html", "DEL CITE=c3.html",
                                        "INS CITE=c4.html", "BASE HREF=http://b/", "IMAGE SRC=i.gif"}));
}

TEST_F(HTMLParserTest, AttributeLookupRules)
{
    // Only a whole attribute name matches: LOWSRC before SRC, data-src before src.
    Parse("<img lowsrc=\"low.gif\" src=\"high.gif\">");
    EXPECT_EQ(Values(), (std::vector<std::string>{"IMG SRC=high.gif", "IMG LOWSRC=low.gif"}));
    EXPECT_NE(list.Get(0)->FValuePos, list.Get(1)->FValuePos);
    Parse("<img data-src=\"lazy.png\" src=\"real.png\"><img alt=\"x\"src=\"tight.png\">");
    EXPECT_EQ(Values(), (std::vector<std::string>{"IMG SRC=real.png", "IMG SRC=tight.png"}));

    // A name inside a quoted value of another attribute is not taken.
    Parse("<a title=\"see href=wrong.html\" alt='href = x' href=\"right.html\">");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=right.html"}));

    // An attribute without "=", an empty value and a value of blanks give nothing.
    Parse("<a href><a href=\"\"><a href=' '><a href=   >");
    EXPECT_EQ(list.Count(), 0);

    // The name must be followed by a blank, a control byte or "=".
    Parse("<a hrefx=no.html href\t=\nyes.html>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=yes.html"}));

    // An unclosed quote runs to the end of the tag.
    Parse("<a href=\"open.html>");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->FValue, "open.html");
    EXPECT_EQ(Written(page_, *list.Get(0)), "\"open.html");
}

TEST_F(HTMLParserTest, MetaRefreshAddressPart)
{
    Parse("<meta http-equiv=\"Refresh\" content=\"5; URL=next.html\">"
          "<META HTTP-EQUIV=refresh CONTENT=0;url=1>"
          "<meta http-equiv=refresh content='3'>"
          "<meta name=description content=\"a=b\">");
    ASSERT_EQ(list.Count(), 8);
    const TWebLinkInfo& quoted = *list.Get(1);
    EXPECT_EQ(quoted.FAttribName, "CONTENT");
    EXPECT_EQ(Written(page_, quoted).substr(quoted.FURLPartPos, quoted.FURLPartLength), "next.html");
    EXPECT_EQ(quoted.FURLPartPos, 8);
    EXPECT_EQ(quoted.FURLPartLength, 9);
    // The address is searched after "=", not where its text first occurs.
    const TWebLinkInfo& bare = *list.Get(3);
    EXPECT_EQ(bare.FValue, "0;url=1");
    EXPECT_EQ(bare.FURLPartPos, 6);
    EXPECT_EQ(bare.FURLPartLength, 1);
    EXPECT_EQ(list.Get(5)->FURLPartPos, 0);  // no "="
    EXPECT_EQ(list.Get(7)->FURLPartPos, 0);  // not a refresh
    EXPECT_EQ(list.Get(7)->FURLPartLength, 0);
}

TEST_F(HTMLParserTest, QuotedValuesAndReferencesAsABrowserReadsThem)
{
    // A ">" inside a quoted value does not end the tag; a quote not after "=" opens nothing.
    Parse("<a title=\"a > b\" href=\"gt.html\"><a title=it's href=x.html><p class=\"x\"><a href='y>z.html'>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=gt.html", "A HREF=x.html", "A HREF=y>z.html"}));
    EXPECT_EQ(Written(page_, *list.Get(0)), "\"gt.html\"");

    // Values are decoded once, here; positions and lengths stay those of the text as written.
    Parse("<a href=\"q.html?x=1&amp;y=2\"><img src=b&#46;gif>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=q.html?x=1&y=2", "IMG SRC=b.gif"}));
    EXPECT_EQ(Written(page_, *list.Get(0)), "\"q.html?x=1&amp;y=2\"");
    EXPECT_EQ(Written(page_, *list.Get(1)), "b&#46;gif");

    // META refresh: one pair of quotes around the address is not part of it.
    Parse("<meta http-equiv=refresh content=\"600; url='refresh.html'\">"
          "<meta http-equiv=refresh content='1;URL=\"r2.html\"'>");
    ASSERT_EQ(list.Count(), 4);
    for (int i : {1, 3}) {
        const TWebLinkInfo& link = *list.Get(i);
        EXPECT_EQ(Written(page_, link).substr(link.FURLPartPos, link.FURLPartLength), i == 1 ? "refresh.html" : "r2.html");
    }
}

TEST_F(HTMLParserTest, RobotsDirectives)
{
    Parse("<meta name=\"ROBOTS\" content=\"noindex, nofollow\">");
    EXPECT_TRUE(parser.FNoIndex);
    EXPECT_TRUE(parser.FNoFollow);
    Parse("<meta name=robots content=\"index,follow\">");
    EXPECT_FALSE(parser.FNoIndex);
    EXPECT_FALSE(parser.FNoFollow);
    Parse("<meta name=robots content=\"all,noindex\"><meta name=keywords content=nofollow>");
    EXPECT_FALSE(parser.FNoIndex);
    EXPECT_FALSE(parser.FNoFollow);
    Parse("<META HTTP-EQUIV=Robots CONTENT=NOFOLLOW>");
    EXPECT_FALSE(parser.FNoIndex);
    EXPECT_TRUE(parser.FNoFollow);
}

TEST_F(HTMLParserTest, SavedFromMarkOnlyNearTheStart)
{
    Parse("<!-- Saved From URL=(0014)http://a.com/ -->\r\n<a href=x>");
    EXPECT_TRUE(parser.FMarked);
    Parse(std::string(2048, ' ') + "<!-- saved from url=(0014)http://a.com/ -->");
    EXPECT_FALSE(parser.FMarked);
    // The state of the previous page never leaks into the next.
    Parse("<title>t</title>");
    EXPECT_EQ(parser.FTitle, "t");
    Parse("<p>");
    EXPECT_EQ(parser.FTitle, "");
}

TEST_F(HTMLParserTest, ScriptTextIsNotMarkup)
{
    // Markup built in script strings (a documentation theme's search highlighter, footnote
    // back-links) gives no link; the element's own SRC does, and tags after it are read again.
    const std::string sphinx =
        "$(elem).html(\"<a href='\" + base + \"#\" + fragment + \"'>\" + tagname + \"</a>\");";
    const std::string footnote = "var a = \"<a href='#_footnoteref_\" + n + \"' title='Return to text'>\" + n + \"</a>\";";
    Parse("<script src=\"_static/jquery.js\"></script><script>" + sphinx + "</script><a href=one.html>"
          "<SCRIPT type=\"text/javascript\">" + footnote + "</SCRIPT ><img src=two.gif>"
          "<script>if (a </scriptx> b) x = '<img src=no.gif>';</script\t><a href=three.html>"
          "<script/>document.write('<a href=no.html>')</script/><a href=four.html>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"SCRIPT SRC=_static/jquery.js", "A HREF=one.html", "IMG SRC=two.gif",
                                                  "A HREF=three.html", "A HREF=four.html"}));
    // The end tag is a tag of its own; nothing inside the text is counted.
    EXPECT_EQ(list.Get(1)->FTagIndex, 5);
    ExpectConsistentPositions();

    // Never closed: the rest of the page is script text.
    Parse("<a href=before.html><script>var s = \"<a href='x.html'>\"; // </scrip\n<img src=after.gif>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=before.html"}));

    // A script inside a comment is part of the comment, and the page goes on after it.
    Parse("<!-- <script> --><a href=shown.html><!-- </script> <a href=hidden.html> -->");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=shown.html"}));

    // After "<!--" in a script, a nested "<script>...</script>" does not end it; "-->" ends the nesting.
    Parse("<script><!--\ndocument.write('<script src=w.js></script><img src=no.gif>');\n//--></script>"
          "<img src=yes.gif><script><!-- x --></script><a href=y.html><script><!--></script><a href=z.html>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"IMG SRC=yes.gif", "A HREF=y.html", "A HREF=z.html"}));

    // Title and text area text is not markup either: a script named there opens nothing.
    Parse("<title>Using <script> tags</Title><textarea><a href=no.html><style></TEXTAREA><a href=x.html>");
    EXPECT_EQ(parser.FTitle, "Using <script> tags");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=x.html"}));
}

TEST_F(HTMLParserTest, StyleTextGivesOnlyItsCSSLinks)
{
    Parse("<style>p::after{content:\"<a href='no.html'>\"} b{background:url(bg.gif)}\n"
          "@import \"print.css\";</STYLE ><a href=z.html>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"STYLE CSSURL=bg.gif", "STYLE CSSURL=print.css", "A HREF=z.html"}));
    EXPECT_EQ(list.Get(0)->FTagIndex, 2);
    EXPECT_EQ(list.Get(2)->FTagIndex, 3);
    EXPECT_EQ(Written(page_, *list.Get(0)), "bg.gif");
    // A script's end tag inside a style is only text, and the other way round.
    Parse("<style>a{x:url(a.gif)} /* </script> */</style><script>var c = '<style>';</script><img src=i.gif>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"STYLE CSSURL=a.gif", "IMG SRC=i.gif"}));
}

TEST_F(HTMLParserTest, MegabyteScriptsAreReadOnceThrough)
{
    // Megabytes of near-miss end tags, markup and comment openers inside one script, then a link.
    std::string body;
    while (body.size() < (4u << 20))
        body += "s += '<a href=\"x.html\">' + '</scrip' + '<!--' + '<script' + '-->' + '</scripts>';\n";
    Parse("<script>" + body + "</script><a href=end.html>");
    EXPECT_EQ(Values(), (std::vector<std::string>{"A HREF=end.html"}));
    // Progress goes on over the script text in steps of 3001 bytes.
    int64_t calls = 0;
    parser.OnReadProgress = [&](int64_t, int64_t) { return ++calls, false; };
    Parse("<script>" + body);
    EXPECT_EQ(calls, static_cast<int64_t>((page_.size() - 1) / 3001 + 1));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(HTMLParserTest, TruncatedInputStaysInside)
{
    for (const char* page : {"<", "<!", "<!-", "<!--", "<!-- a > b", "<a href=\"x.html\"", "<a href=x.html",
                             "text <img src='a.gif", "<style>url(a.gif)", "<title>never closed", "url(a.gif)</style>"}) {
        Parse(page);
        EXPECT_EQ(list.Count(), 0) << page;
    }
}

TEST_F(HTMLParserTest, ProgressEveryThreeThousandAndOneBytesAndStop)
{
    std::string page;
    for (int i = 0; i < 500; ++i)
        page += "<a href=\"page" + std::to_string(i) + ".html\">link</a>\n";  // 36+ bytes each
    std::vector<std::pair<int64_t, int64_t>> calls;
    parser.OnReadProgress = [&](int64_t pos, int64_t size) {
        calls.emplace_back(pos, size);
        return false;
    };
    Parse(page);
    EXPECT_EQ(list.Count(), 500);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], std::make_pair(int64_t{1}, static_cast<int64_t>(page.size())));
    EXPECT_EQ(calls[1].first, 3002);
    EXPECT_EQ(calls[2].first, 6003);
    EXPECT_EQ(calls.size(), static_cast<size_t>((page.size() - 1) / 3001 + 1));

    // Stopping keeps the links of the tags closed within the bytes read.
    int64_t closedEarly = 0;
    for (const auto& l : list)
        closedEarly += l.FTagPos + l.FTagLength <= 3002 ? 1 : 0;
    parser.OnReadProgress = [&](int64_t pos, int64_t) { return pos > 1; };
    Parse(page);
    EXPECT_EQ(list.Count(), closedEarly);
    EXPECT_GT(closedEarly, 50);
}

TEST_F(HTMLParserTest, PageRequisites)
{
    Parse("<img src=a.gif><frame src=f.html><td background=t.gif><link href=Site.CSS><link href=feed.rss>"
          "<a href=a.gif><script src=s.js></script><style>p{x:url(c.gif)}</style>");
    std::vector<bool> requisite;
    for (const auto& l : list)
        requisite.push_back(THTMLParser::IsPageRequisite(l));
    EXPECT_EQ(requisite, (std::vector<bool>{true, true, true, true, false, false, false, true}));
}

TEST_F(HTMLParserTest, LinksNamingPagesAreNavigationLinks)
{
    Parse("<a href=a.html><frame src=f.html><form action=s.cgi><blockquote cite=c.html><q cite=q.html>"
          "<link rel=canonical href=c.html><link rel=\"Next\" href=n.html><link rel=alternate href=feed.rss>"
          "<link href=Site.CSS><link rel=\"shortcut ICON\" href=i.ico><link rel=\"preload\" href=p.woff2>"
          "<link href=x.html rel=stylesheet><img src=a.gif longdesc=d.html><script src=s.js></script>"
          "<input src=b.gif><style>p{x:url(c.gif)}</style>");
    std::vector<std::string> pages;
    for (const auto& l : list)
        if (THTMLParser::IsNavigationLink(l))
            pages.push_back(l.FValue);
    EXPECT_EQ(pages, (std::vector<std::string>{"a.html", "f.html", "s.cgi", "c.html", "q.html", "c.html", "n.html",
                                               "feed.rss", "d.html"}));
}

}  // namespace
