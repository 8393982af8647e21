#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// "TAG ATTRIB -> resolved address" for every link ("-" when not resolved).
std::vector<std::string> Resolved(const TWebLinkList& list)
{
    std::vector<std::string> v;
    for (const auto& l : list)
        v.push_back(l.FTagName + " " + l.FAttribName + " -> " +
                    (l.FURL.IsValid() ? l.FURL.GetFullURL() : std::string("-")));
    return v;
}

std::vector<std::string> ParseAt(const std::string& page, const std::string& address, uint8_t localMode = 0,
                                 const std::string& fileName = "/nonexistent/dir/page.html")
{
    THTMLParser parser;
    TWebLinkList list;
    parser.GetLinksInHTMLCode(page, fileName, address, list, localMode);
    return Resolved(list);
}

TEST(LinkResolution, AgainstThePageAddress)
{
    EXPECT_EQ(ParseAt("<a href=\"b/c.html#top\"><img src='../i.gif'><a href=/root.html><a href=mailto:me@x.org>"
                      "<a href=\"//other.org/p\"><a href=\"?q=1\">",
                      "http://h.com/dir/page.html"),
              (std::vector<std::string>{"A HREF -> http://h.com/dir/b/c.html#top", "IMG SRC -> http://h.com/i.gif",
                                        "A HREF -> http://h.com/root.html", "A HREF -> mailto:me@x.org",
                                        "A HREF -> http://other.org/p", "A HREF -> http://h.com/dir/page.html?q=1"}));
    // Control bytes in a value are escaped before it is read.
    EXPECT_EQ(ParseAt("<a href=\"a\x01" "b.html\">", "http://h.com/dir/page.html"),
              (std::vector<std::string>{"A HREF -> http://h.com/dir/a%01b.html"}));
    // Without a usable base nothing resolves.
    EXPECT_EQ(ParseAt("<a href=x.html>", ""), (std::vector<std::string>{"A HREF -> -"}));
}

TEST(LinkResolution, LastBaseDecidesAndAnInvalidOneFallsBackToThePage)
{
    EXPECT_EQ(ParseAt("<base href=\"http://one.org/a/\"><a href=x.html><base href=\"http://two.org/b/\">",
                      "http://h.com/dir/page.html")[1],
              "A HREF -> http://two.org/b/x.html");
    EXPECT_EQ(ParseAt("<base href=\"http://one.org/a/\"><a href=x.html><base href=\"not an address\">",
                      "http://h.com/dir/page.html")[1],
              "A HREF -> http://h.com/dir/x.html");
}

TEST(LinkResolution, MetaRefreshResolvesOnlyItsAddressPart)
{
    EXPECT_EQ(ParseAt("<meta http-equiv=\"refresh\" content=\"2; URL=../next.html\">"
                      "<meta http-equiv=refresh content=10><meta name=author content=\"x=y\">",
                      "http://h.com/dir/page.html"),
              (std::vector<std::string>{"META HTTP-EQUIV -> -", "META CONTENT -> http://h.com/next.html",
                                        "META HTTP-EQUIV -> -", "META CONTENT -> -", "META NAME -> -",
                                        "META CONTENT -> -"}));
}

TEST(LinkResolution, CodebaseIsTheFolderOfCodeAndData)
{
    EXPECT_EQ(ParseAt("<applet code=Clock.class codebase=classes></applet>"
                      "<applet code=\"B.class\" codebase=\"/java/\"></applet><applet code=C.class>"
                      "<object codebase=\"http://cdn.org/f.cab#version=6\" data=\"m.swf\">"
                      "<object data=\"d.swf\" codebase=\"media/\"><embed src=\"e.swf\">",
                      "http://h.com/dir/page.html"),
              (std::vector<std::string>{
                  "APPLET CODE -> http://h.com/dir/classes/Clock.class", "APPLET CODEBASE -> http://h.com/dir/classes",
                  "APPLET CODE -> http://h.com/java/B.class", "APPLET CODEBASE -> http://h.com/java/",
                  "APPLET CODE -> http://h.com/dir/C.class", "OBJECT CODEBASE -> http://cdn.org/f.cab#version=6",
                  "OBJECT DATA -> http://cdn.org/m.swf", "OBJECT CODEBASE -> http://h.com/dir/media/",
                  "OBJECT DATA -> http://h.com/dir/media/d.swf", "EMBED SRC -> http://h.com/dir/e.swf"}));
}

TEST(LinkResolution, NetworkPagesNeverReachLocalFiles)
{
    EXPECT_EQ(ParseAt("<a href=\"file:///etc/passwd\"><img src=\"C:/Windows/win.ini\">"
                      "<a href=ok.html><a href=\"../../../../etc/passwd\">",
                      "http://h.com/dir/page.html"),
              (std::vector<std::string>{"A HREF -> -", "IMG SRC -> -", "A HREF -> http://h.com/dir/ok.html",
                                        "A HREF -> http://h.com/etc/passwd"}));
    // A BASE that points into the file system takes every relative link with it.
    EXPECT_EQ(ParseAt("<base href=\"file:///home/\"><a href=x.html>", "http://h.com/p.html")[1], "A HREF -> -");
}

class LocalResolution : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/gleanery-resolve-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        root_ = folder;
        std::filesystem::create_directories(root_ + "/site/sub");
        std::ofstream(root_ + "/site/sub/there.html") << "x";
        std::ofstream(root_ + "/site/style.css") << "p{background:url(sub/there.html)}";
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    std::string root_;
};

TEST_F(LocalResolution, LocalPagesResolveAgainstTheirOwnFolderWithoutChangingDirectory)
{
    const std::string before = std::filesystem::current_path().string();
    const std::string page = root_ + "/site/index.html";
    EXPECT_EQ(ParseAt("<a href=\"sub/there.html\"><a href=\"http://h.com/x.html\"><a href=\"missing.html#s\">",
                      "file://" + page, 1, page),
              (std::vector<std::string>{"A HREF -> file://" + root_ + "/site/sub/there.html",
                                        "A HREF -> http://h.com/x.html",
                                        "A HREF -> -"}));
    EXPECT_EQ(std::filesystem::current_path().string(), before);
    for (const char* value : {"./sub/there.html", "sub//there.html", "x/../sub/./there.html", "sub/there.html"})
        EXPECT_EQ(ParseAt("<a href=\"" + std::string(value) + "\">", "file://" + page, 1, page),
                  (std::vector<std::string>{"A HREF -> file://" + root_ + "/site/sub/there.html"}))
            << value;

    TCSSParser css;
    TWebLinkList list;
    css.GetLinksInCSSFile(root_ + "/site/style.css", "file://" + root_ + "/site/style.css", list, 1);
    EXPECT_EQ(Resolved(list), (std::vector<std::string>{"STYLE CSSURL -> file://" + root_ + "/site/sub/there.html"}));
}

// A page names the same file over and over: each value resolves as it would on its own.
TEST_F(LocalResolution, RepeatedValuesResolveAsEachAlone)
{
    const std::string page = root_ + "/site/index.html";
    const std::vector<std::string> values = {"sub/there.html#a", "sub/there.html",    "sub/there.html#a b",
                                             "sub/there.html#x#y", "sub/there.html?q#b", "sub/there.html#",
                                             "sub/there.html#c",  "sub/there.html "};
    // The file and the fragment apart: a file address takes its fragment after its last "#".
    const auto parts = [&](const std::string& code) {
        THTMLParser parser;
        TWebLinkList list;
        parser.GetLinksInHTMLCode(code, page, "file://" + page, list, 1);
        std::vector<std::string> out;
        for (const TWebLinkInfo& link : list)
            out.push_back(link.FURL.GetFileURL() + " | " + link.FURL.GetFragment() + " | " + link.FURL.GetFullURL());
        return out;
    };
    std::string all;
    std::vector<std::string> alone;
    for (const std::string& value : values) {
        const std::string link = "<a href=\"" + value + "\">";
        all += link;
        alone.push_back(parts(link).at(0));
    }
    std::vector<std::string> twice = alone;
    twice.insert(twice.end(), alone.begin(), alone.end());
    EXPECT_EQ(parts(all + all), twice);
    EXPECT_EQ(alone[0], "file://" + root_ + "/site/sub/there.html | #a | file://" + root_ + "/site/sub/there.html#a");
}

TEST_F(LocalResolution, HTMLFileIsReadAndResolvedAgainstItsAddress)
{
    const std::string file = root_ + "/site/page.html";
    std::ofstream(file) << "<title>Hi</title><a href=\"sub/a.html\"><style>b{x:url(b.gif)}</style>";
    THTMLParser parser;
    TWebLinkList list;
    parser.GetLinksInHTMLFile(file, "http://h.com/s/page.html", list, 0);
    EXPECT_EQ(parser.FTitle, "Hi");
    EXPECT_EQ(Resolved(list), (std::vector<std::string>{"A HREF -> http://h.com/s/sub/a.html",
                                                        "STYLE CSSURL -> http://h.com/s/b.gif"}));
    parser.GetLinksInHTMLFile(root_ + "/site/gone.html", "http://h.com/s/gone.html", list, 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(parser.FTitle, "");
}

}  // namespace
