#include "engine/parse/LinkRewrite.h"

#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/services/ThreadSafeFileOps.h"

#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>
#include <stdexcept>
#include <unistd.h>

namespace {

TEST(RelativeLinkTest, PathsEncodingMarkAndKeptName)
{
    EXPECT_EQ(MakeRelativeLink("/d/site/a/b/page.htm", "/d/other/x.htm"), "../../../other/x.htm");
    // A backslash is a separator; folders compare exactly, never by a prefix of their name.
    EXPECT_EQ(MakeRelativeLink("/d/Img/p.htm", "/d\\img\\a.gif"), "../img/a.gif");
    EXPECT_EQ(MakeRelativeLink("/d/ab/p.htm", "/d/abc/q.htm"), "../abc/q.htm");
    EXPECT_EQ(EncodeRelativeLink("q?x=1#top%.htm"), "q%3Fx=1%23top%25.htm");
    EXPECT_EQ(EncodeRelativeLink("caf\xC3\xA9 \"(1).htm"), "caf%C3%A9%20%22%281%29.htm");
    EXPECT_EQ(SavedFromMark("http://www.example.com/ab"), "<!-- saved from url=(0025)http://www.example.com/ab -->");
    EXPECT_EQ(KeptInputFileName("/d/site.v2/page"), "/d/site.v2/page_orig");
}

// Pages rewritten by the real parsers, with the address-to-file answers given by the test.
class ReplaceLinksTest : public ::testing::Test {
protected:
    // Files of the job: address -> local file (relative to the tree), created on disk.
    void Saved(const std::string& address, const std::string& relative)
    {
        files_[address] = tree.Write(relative, "x");
    }
    void Known(const std::string& address, const std::string& relative) { files_[address] = tree.Path(relative); }

    std::string Rewrite(const std::string& relative, const std::string& page, const std::string& address,
                        int kind = 1, TLinkReplaceOptions options = {})
    {
        std::string file = tree.Write(relative, page);
        RewriteAgain(file, address, kind, options);
        return TempTree::Read(file);
    }
    void RewriteAgain(const std::string& file, const std::string& address, int kind, TLinkReplaceOptions options)
    {
        TWebLinkList list;
        TCommonParser& parser = kind == 2 ? static_cast<TCommonParser&>(css) : static_cast<TCommonParser&>(html);
        if (kind == 2)
            css.GetLinksInCSSFile(file, address, list, 0);
        else
            html.GetLinksInHTMLFile(file, address, list, 0);
        parser.OnAddressToFile = [this](const TURL& url) {
            auto it = files_.find(url.GetURLWithoutUserInfo());
            return it != files_.end() && SafeFileExists(it->second) ? it->second : std::string();
        };
        parser.OnRewriteProgress = progress_;
        ReplaceLinksInFile(parser, file, address, options, list, kind, kind == 1 && html.FMarked);
    }

    TempTree tree;
    THTMLParser html;
    TCSSParser css;
    std::map<std::string, std::string> files_;
    TParserProgressCallback progress_;
};

TEST_F(ReplaceLinksTest, RelativeWhereSavedAbsoluteElsewhereQuotesNormalised)
{
    Saved("http://h/site/img/a.gif", "site/img/a.gif");
    Saved("http://h/site/sub/p.htm", "site/sub/p.htm");
    Known("http://h/site/gone.htm", "site/gone.htm");  // mapped, never saved
    std::string out = Rewrite("site/index.htm",
                              "<a href='sub/p.htm#top'>p</a><img src=img/a.gif alt=x>"
                              "<a href=\"gone.htm\">g</a><a href=\"http://u:pw@other/x?q=1#f\">o</a>"
                              "<a href=\"mailto:me@h\">m</a><a href=\"javascript:go()\">j</a>",
                              "http://h/site/index.htm");
    EXPECT_EQ(out, "<a href=\"sub/p.htm#top\">p</a><img src=\"img/a.gif\" alt=x>"
                   "<a href=\"http://h/site/gone.htm\">g</a><a href=\"http://other/x?q=1#f\">o</a>"
                   "<a href=\"mailto:me@h\">m</a><a href=\"javascript:go()\">j</a>");
}

TEST_F(ReplaceLinksTest, DeeperPageBaseTagAndMetaRefresh)
{
    Saved("http://h/site/img/a.gif", "site/img/a.gif");
    Saved("http://h/site/next.htm", "site/next.htm");
    std::string out = Rewrite("site/sub/page.htm",
                              "<head><BASE HREF=\"http://h/site/\"><meta http-equiv=refresh "
                              "content=\"5; URL=next.htm\"></head><img src=\"img/a.gif\">",
                              "http://h/site/sub/page.htm");
    EXPECT_EQ(out, "<head><meta http-equiv=refresh content=\"5; URL=../next.htm\"></head>"
                   "<img src=\"../img/a.gif\">");
}

TEST_F(ReplaceLinksTest, OverlappingValuesAreWrittenOnce)
{
    Saved("http://h/lo.gif", "pics/lo.gif");
    // Each attribute is found by its whole name: SRC is not taken from the end of LOWSRC.
    std::string out = Rewrite("p.htm", "<img lowsrc=\"lo.gif\" src=\"hi.gif\">", "http://h/p.htm");
    EXPECT_EQ(out, "<img lowsrc=\"pics/lo.gif\" src=\"http://h/hi.gif\">");
}

TEST_F(ReplaceLinksTest, AppletCodeTakesTheFileNameCodebaseStaysAbsolute)
{
    Saved("http://h/classes/Main.class", "site/classes/Main.class");
    std::string out = Rewrite("site/p.htm", "<applet codebase=\"classes/\" code=\"Main.class\">",
                              "http://h/p.htm");
    EXPECT_EQ(out, "<applet codebase=\"http://h/classes/\" code=\"Main.class\">");
}

TEST_F(ReplaceLinksTest, CancelCopiesTheRestUnchanged)
{
    Saved("http://h/a.htm", "sub/a.htm");
    Saved("http://h/b.htm", "sub/b.htm");
    std::vector<std::pair<int64_t, int64_t>> calls;
    progress_ = [&calls](int64_t position, int64_t size) {
        calls.emplace_back(position, size);
        return true;
    };
    std::string out = Rewrite("p.htm", "<a href=a.htm>a</a><a href=b.htm>b</a>", "http://h/p.htm");
    EXPECT_EQ(out, "<a href=\"sub/a.htm\">a</a><a href=b.htm>b</a>");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(int64_t(13), int64_t(38)));
}

TEST_F(ReplaceLinksTest, StyleSheetValuesStayBareAndNamesAreEncoded)
{
    Saved("http://h/css/a%20b.png", "css/a b.png");
    Saved("http://h/img/c.png", "img/c.png");
    std::string out = Rewrite("css/s.css", "a{background:url( 'a%20b.png' )} b{x:url(../img/c.png)} "
                                           "c{x:url(/none.png)}",
                              "http://h/css/s.css", 2);
    EXPECT_EQ(out, "a{background:url( 'a%20b.png' )} b{x:url(../img/c.png)} c{x:url(http://h/none.png)}");
}

TEST_F(ReplaceLinksTest, InlineScriptsAreCopiedByteForByte)
{
    Saved("http://h/doc/_static/doctools.js", "doc/_static/doctools.js");
    Saved("http://h/doc/next.html", "doc/next.html");
    const std::string script =
        "<script>\n$(elem).html(\"<a href='\" + base + \"#\" + fragment + \"'>\" + tagname + \"</a>\");\n"
        "var f = \"<a href='#_footnoteref_\" + n + \"' title='Return to text'>\" + n + \"</a>\";\n</SCRIPT >";
    std::string out = Rewrite("doc/index.html",
                              "<script src='_static/doctools.js'></script>" + script + "<a href=next.html>n</a>",
                              "http://h/doc/index.html");
    EXPECT_EQ(out, "<script src=\"_static/doctools.js\"></script>" + script + "<a href=\"next.html\">n</a>");
}

TEST_F(ReplaceLinksTest, AbsoluteAddressesNeverEndTheirValue)
{
    EXPECT_EQ(Rewrite("p.htm", "<a href='say\"hi\".htm'>x</a>", "http://h/p.htm"),
              "<a href=\"http://h/say%22hi%22.htm\">x</a>");
    EXPECT_EQ(Rewrite("s.css", "a{x:url('it\\'s 1.png')}", "http://h/s.css", 2),
              "a{x:url('http://h/it%27s%201.png')}");
}

TEST_F(ReplaceLinksTest, MarkOnceAndFirstVersionKept)
{
    Saved("http://h/a.htm", "a.htm");
    std::string page = "<!DOCTYPE html><a href=\"a.htm\">a</a>";
    TLinkReplaceOptions options;
    options.FAddMark = true;
    options.FKeepInputFile = true;
    std::string file = tree.Write("page.htm", page);
    RewriteAgain(file, "http://h/page.htm", 1, options);
    RewriteAgain(file, "http://h/page.htm", 1, options);
    EXPECT_EQ(TempTree::Read(file), "<!-- saved from url=(0017)http://h/page.htm -->\r\n"
                                    "<!DOCTYPE html><a href=\"a.htm\">a</a>");
    EXPECT_EQ(TempTree::Read(tree.Path("page_orig.htm")), page);
}

// A page of the copy read again: what the rewrite wrote it keeps, anything else it would change.
TEST_F(ReplaceLinksTest, WhatTheRewriteWroteItKeeps)
{
    const auto keeps = [&](const std::string& file, int kind) {
        TWebLinkList list;
        TCommonParser& parser = kind == 2 ? static_cast<TCommonParser&>(css) : static_cast<TCommonParser&>(html);
        if (kind == 2)
            css.GetLinksInCSSFile(file, "http://h/site/p.htm", list, 1);
        else
            html.GetLinksInHTMLFile(file, "http://h/site/p.htm", list, 1);
        std::vector<bool> kept;
        for (const TWebLinkInfo& link : list)
            kept.push_back(RewriteKeepsLink(parser, link, kind == 1));
        return kept;
    };
    Saved("http://h/site/a.htm", "site/a.htm");
    const std::string page = Rewrite("site/p.htm",
                                     "<a href=a.htm>a</a><a href='/x y.htm#f'>x</a><img src=\"HTTP://Other/i.gif\">"
                                     "<a href=\"say&quot;hi.htm\">s</a><meta http-equiv=refresh content=\"0; URL=/n\">"
                                     "<a href=\"mailto:me@h\">m</a>",
                                     "http://h/site/p.htm");
    const std::vector<bool> pageKept = keeps(tree.Path("site/p.htm"), 1);
    EXPECT_GE(pageKept.size(), 6u);
    EXPECT_EQ(std::count(pageKept.begin(), pageKept.end(), false), 0) << page;
    const std::string sheet =
        Rewrite("site/s.css", "a{x:url(a.htm)} b{y:url('/it\\'s 1.png')}", "http://h/site/s.css", 2);
    EXPECT_EQ(keeps(tree.Path("site/s.css"), 2), std::vector<bool>(2, true)) << sheet;

    // As written before any rewrite: an address not yet in the rewrite's form, a local path
    // with no file, a BASE tag.
    const std::string before = tree.Write("site/q.htm", "<a href=a.htm>a</a><a href=\"http://h/b.htm\">b</a>"
                                                         "<a href='http://h/c.htm'>c</a><a href=\"HTTP://H/d\">d</a>"
                                                         "<a href=\"gone.htm\">g</a><base href=\"http://h/\">");
    EXPECT_EQ(keeps(before, 1), (std::vector<bool>{true, true, false, false, false, false}));
}

TEST_F(ReplaceLinksTest, SymlinkedPageIsNotRewritten)
{
    std::string outside = tree.Write("outside/p.htm", "<a href=\"x.htm\">x</a>");
    ASSERT_EQ(::symlink(outside.c_str(), tree.Path("dest.htm").c_str()), 0);
    TWebLinkList list;
    html.GetLinksInHTMLFile(outside, "http://h/p.htm", list, 0);
    EXPECT_THROW(ReplaceLinksInFile(html, tree.Path("dest.htm"), "http://h/p.htm", {}, list, 1, false),
                 std::runtime_error);
    EXPECT_EQ(TempTree::Read(outside), "<a href=\"x.htm\">x</a>");
}

}  // namespace
