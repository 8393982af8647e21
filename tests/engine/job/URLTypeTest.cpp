#include "engine/job/URLType.h"

#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::string Full(const std::string& text)
{
    TURL url;
    url.SetFullURL(text);
    return url.GetFullURL();
}

std::string Resolve(const std::string& ref, const std::string& base)
{
    TURL b;
    EXPECT_TRUE(b.SetFullURL(base)) << base;
    TURL url;
    url.SetRelativeURL(ref, b);
    return url.GetFullURL();
}

// Reference resolution examples of RFC 3986 section 5.4, against its base.
template <size_t N>
void ExpectResolved(const std::pair<const char*, const char*> (&cases)[N])
{
    for (const auto& [ref, expected] : cases)
        EXPECT_EQ(Resolve(ref, "http://a/b/c/d;p?q"), expected) << ref;
}

std::string LocalName(const std::string& address, const std::string& folder = "/d", bool tree = true,
                      bool www = true)
{
    TURL url;
    url.SetFullURL(address);
    return url.URLToLocalFileName(folder, tree, www);
}

// An event log writing into a fresh temp folder, for tests that check what is logged.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/urltypeXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        log_ = std::make_unique<TApplicationTraceLog>(std::vector<std::string>{"/eventlog"}, false, folder_ + "/");
        ASSERT_TRUE(log_->FileOpen());
    }
    void TearDown() override
    {
        log_.reset();
        std::filesystem::remove_all(folder_);
    }
    std::string LogText() const
    {
        std::string text;
        ReadWholeFile(log_->FilePath(), text);
        return text;
    }

    std::string folder_;
    std::unique_ptr<TApplicationTraceLog> log_;
};

}  // namespace

TEST(URLParse, ComponentsAndNormalForm)
{
    TURL url;
    ASSERT_TRUE(url.SetFullURL("  HTTP://Example.COM  "));
    EXPECT_EQ(url.GetScheme(), usHTTP);
    EXPECT_EQ(url.GetHostName(), "Example.COM");
    EXPECT_EQ(url.GetPort(), 80);
    EXPECT_EQ(url.GetURLPath(), "/");
    EXPECT_EQ(url.GetURLWithoutUserInfo(), "http://Example.COM/");

    ASSERT_TRUE(url.SetFullURL("https://h:8443/a/b.css?x=1&y=2#top"));
    EXPECT_EQ(url.GetPort(), 8443);
    EXPECT_EQ(url.GetExtraInfo(), "?x=1&y=2");
    EXPECT_EQ(url.GetFragment(), "#top");
    EXPECT_EQ(url.GetFullURL(), "https://h:8443/a/b.css?x=1&y=2#top");
    EXPECT_EQ(url.GetURLWithoutUserInfo(), "https://h:8443/a/b.css?x=1&y=2");
    EXPECT_EQ(url.GetURL(false, false, false, true, true), "/a/b.css?x=1&y=2");
    EXPECT_EQ(url.GetURL(false, true, false, false, false), "https://h:8443");
    EXPECT_EQ(url.GetURL(false, true, false, false, true), "https://h:8443/a/b.css");

    ASSERT_TRUE(url.SetFullURL("ftp://files.example.org:21/pub/x.zip"));
    EXPECT_EQ(url.GetScheme(), usFTP);
    EXPECT_EQ(url.GetFullURL(), "ftp://files.example.org/pub/x.zip");
    EXPECT_TRUE(url.IsDownloadableScheme());

    // Everything up to the last "#" of the extra information stays in it.
    ASSERT_TRUE(url.SetFullURL("http://h/p?a#b#c"));
    EXPECT_EQ(url.GetExtraInfo(), "?a#b");
    EXPECT_EQ(url.GetFragment(), "#c");
    EXPECT_EQ(url.GetFullURL(), "http://h/p?a#b#c");

    ASSERT_TRUE(url.SetFullURL("http://[::1]:8080/x"));
    EXPECT_EQ(url.GetHostName(), "[::1]");
    EXPECT_EQ(url.GetFullURL(), "http://[::1]:8080/x");

    EXPECT_EQ(Full("http://h:/x"), "http://h/x");
    EXPECT_EQ(Full("http://h:00080/x"), "http://h/x");
    // RFC authority rules: the host is what follows the last "@", and a "#" ends the authority.
    EXPECT_EQ(Full("http://good.example:80@evil.example/"), "http://good.example:80@evil.example/");
    ASSERT_TRUE(url.SetFullURL("http://evil.example#@good.example/"));
    EXPECT_EQ(url.GetHostName(), "evil.example");

    // Tabs and line breaks inside a link are dropped.
    EXPECT_EQ(Full("http://h/a\n/b\t.html"), "http://h/a/b.html");
}

TEST(URLParse, OpaqueAddresses)
{
    TURL url;
    ASSERT_TRUE(url.SetFullURL("FILE:///home/u/page.htm#a#b"));
    EXPECT_EQ(url.GetScheme(), usFile);
    EXPECT_EQ(url.GetFileURL(), "FILE:///home/u/page.htm#a");
    EXPECT_EQ(url.GetFragment(), "#b");
    EXPECT_EQ(url.GetURL(false, true, false, true, true), "FILE:///home/u/page.htm#a");
    EXPECT_FALSE(url.IsDownloadableScheme());
    EXPECT_TRUE(url.IsSupportedScheme());

    ASSERT_TRUE(url.SetFullURL("C:\\site\\index.htm"));
    EXPECT_EQ(url.GetScheme(), usFile);

    ASSERT_TRUE(url.SetFullURL("MailTo: someone@example.com ?subject=hi"));
    EXPECT_EQ(url.GetScheme(), usMailto);
    EXPECT_EQ(url.GetMailtoAddress(), "someone@example.com");
    EXPECT_EQ(url.GetFullURL(), "MailTo: someone@example.com ?subject=hi");
    EXPECT_FALSE(url.IsSupportedScheme());

    ASSERT_TRUE(url.SetFullURL("javascript:go('x')"));
    EXPECT_EQ(url.GetScheme(), usJavaScript);
    EXPECT_EQ(url.URLToLocalFileName("/d", true, true), "");
}

// Which texts SetFullURL may take, and a fragment put in place of another as SetFullURL would
// read the two together.
TEST(URLParse, SchemesAndFragments)
{
    for (const char* text : {"http://h/", " \thttp://h/", "ht\ttp://h/", "C:\\site", "mailto:x", "a+b.c-d:x"})
        EXPECT_TRUE(TURL::HasScheme(text)) << text;
    for (const char* text : {"", "../a.html", "a.html#x:y", "/x:y", "1a:b", ":x", "a b:c"})
        EXPECT_FALSE(TURL::HasScheme(text)) << text;

    TURL url;
    ASSERT_TRUE(url.SetFullURL("http://h/p.html?q=1#old"));
    EXPECT_TRUE(url.ReplaceFragment("#new"));
    TURL whole;
    ASSERT_TRUE(whole.SetFullURL("http://h/p.html?q=1#new"));
    EXPECT_TRUE(url == whole);
    EXPECT_TRUE(url.ReplaceFragment(""));
    EXPECT_EQ(url.GetFullURL(), "http://h/p.html?q=1");
    for (const char* fragment : {"new", "#a b", "#a#b", "#\x01"})
        EXPECT_FALSE(url.ReplaceFragment(fragment)) << fragment;
    EXPECT_FALSE(url.ReplaceFragment("#" + std::string(3000, 'x')));
    EXPECT_EQ(url.GetFullURL(), "http://h/p.html?q=1");
    for (const char* file : {"file:///d/p.html", "file:///d/p.html#y"}) {
        ASSERT_TRUE(url.SetFullURL(file));
        EXPECT_TRUE(url.ReplaceFragment("#x"));
        ASSERT_TRUE(whole.SetFullURL("file:///d/p.html#x"));
        EXPECT_TRUE(url == whole) << file;
    }
    for (const char* file : {"file:///d/p#1.html#y", "file:///d/p.html #y"}) {
        ASSERT_TRUE(url.SetFullURL(file));
        EXPECT_FALSE(url.ReplaceFragment("#x")) << file;
    }
    ASSERT_TRUE(url.SetFullURL("mailto:a@h"));
    EXPECT_FALSE(url.ReplaceFragment("#x"));

    // A link to a file of the copy becomes the file's address, keeping its own fragment.
    TURL address;
    ASSERT_TRUE(address.SetFullURL("http://h/d/p.html?q"));
    for (const char* link : {"file:///d/p.html#x", "file:///d/p.html"}) {
        ASSERT_TRUE(url.SetFullURL(link));
        const std::string fragment = url.GetFragment();
        EXPECT_TRUE(url.TakeAddressKeepingFragment(address)) << link;
        ASSERT_TRUE(whole.SetFullURL("http://h/d/p.html?q" + fragment));
        EXPECT_TRUE(url == whole) << link;
        EXPECT_EQ(url.GetFileURL(), "") << link;
    }
    ASSERT_TRUE(url.SetFullURL("file:///d/p.html#a b"));
    EXPECT_FALSE(url.TakeAddressKeepingFragment(address));
    ASSERT_TRUE(url.SetFullURL("file:///d/p.html#x"));
    ASSERT_TRUE(address.SetFullURL("http://u:p@h/d/p.html"));
    EXPECT_FALSE(url.TakeAddressKeepingFragment(address));
    EXPECT_EQ(url.GetFileURL(), "file:///d/p.html");
}

TEST(URLParse, RefusedAddressesAreClearedAndKept)
{
    const char* refused[] = {
        "www.example.com/page.html",     // no scheme
        "//example.com/x",               // no scheme
        "foo://example.com/",            // unknown scheme
        "http://h:0/",                   // port 0
        "http://h:65536/",               // port out of range
        "http://h:99999999999999999999/",
        "http://h:8o/",
        "http:///path",                  // no host
        "http:relative",
        "http://a b/",
        "http://h%2f/",
        "http://[::1/",
        "http://[zz]/",
        "http://[::1]x/",
        ("http://h/a\x01" "b"),             // control bytes
        "http://h/\x7f",
        "gopher://[]:1/",
    };
    for (const char* text : refused) {
        TURL url;
        url.SetFullURL("http://previous/");
        EXPECT_FALSE(url.SetFullURL(text)) << text;
        EXPECT_FALSE(url.IsValid()) << text;
        EXPECT_EQ(url.GetScheme(), usNone) << text;
        EXPECT_EQ(url.GetHostName(), "") << text;
        EXPECT_EQ(url.GetUnusableText(), text) << text;
        EXPECT_EQ(url.GetFullURL(), "") << text;
        EXPECT_EQ(url.URLToLocalFileName("/d", true, false), "") << text;
        EXPECT_FALSE(IsValidURL(text)) << text;
    }
    std::string withNul("http://h/a\0b", 12);
    EXPECT_FALSE(IsValidURL(withNul));
    EXPECT_TRUE(IsValidURL("gopher://h/"));
    EXPECT_FALSE(IsDownloadableURL("gopher://h/"));
    EXPECT_TRUE(IsDownloadableURL("https://h/"));
    EXPECT_FALSE(IsDownloadableURL("mailto:a@b"));
}

TEST(URLParse, LimitsOfTheParts)
{
    EXPECT_TRUE(IsValidURL("http://" + std::string(255, 'h') + "/"));
    EXPECT_FALSE(IsValidURL("http://" + std::string(256, 'h') + "/"));
    EXPECT_TRUE(IsValidURL("http://h/" + std::string(2000, 'p')));
    EXPECT_FALSE(IsValidURL("http://h/" + std::string(2047, 'p')));
    EXPECT_FALSE(IsValidURL("http://h/?" + std::string(2047, 'q')));
    EXPECT_FALSE(IsValidURL("http://" + std::string(128, 'u') + ":p@h/"));
    // Each part fits, but the whole address would be too long to rebuild.
    EXPECT_FALSE(IsValidURL("http://h/" + std::string(1500, 'p') + "?" + std::string(1500, 'q')));
    // A path that only dot segments make long is fine.
    std::string dots;
    for (int i = 0; i < 1000; ++i)
        dots += "/.";
    EXPECT_EQ(Full("http://h" + dots + "/x"), "http://h/x");
}

TEST(URLParse, DotSegmentsAndBackslashes)
{
    EXPECT_EQ(Full("http://h/a/./b/../c"), "http://h/a/c");
    EXPECT_EQ(Full("http://h/../../etc/passwd"), "http://h/etc/passwd");
    EXPECT_EQ(Full("http://h/a/%2e%2E/%2e/b/.%2e/c"), "http://h/c");
    EXPECT_EQ(Full("http://h/a/..%2fb"), "http://h/a/..%2fb");  // an escaped slash is no separator
    EXPECT_EQ(Full("http:\\\\h\\a\\..\\..\\b?q=\\x"), "http://h/b?q=\\x");
    EXPECT_EQ(Full("http://h/a/b/..?x/../y"), "http://h/a/?x/../y");
    // A backslash ends the host, as in browsers: this address goes to "evil".
    TURL url;
    ASSERT_TRUE(url.SetFullURL("http://evil\\@good/"));
    EXPECT_EQ(url.GetHostName(), "evil");
    EXPECT_EQ(url.GetURLPath(), "/@good/");
}

TEST(URLParse, UserInfo)
{
    TURL url;
    ASSERT_TRUE(url.SetFullURL("http://user@h/"));
    EXPECT_TRUE(url.IsUserInfoEmpty());
    ASSERT_TRUE(url.SetFullURL("http://:pw@h/"));
    EXPECT_TRUE(url.IsUserInfoEmpty());
    url.SetUserAndPassword("user", "");
    EXPECT_EQ(url.GetUserName(), "user");
    EXPECT_EQ(url.GetFullURL(), "http://user@h/");
    url.DropIncompleteUserInfo();
    EXPECT_TRUE(url.IsUserInfoEmpty());

    // The last "@" of the authority ends the user information; escapes are decoded.
    ASSERT_TRUE(url.SetFullURL("http://us%3Aer:p@ss:w@host.example/x"));
    EXPECT_EQ(url.GetUserName(), "us:er");
    EXPECT_EQ(url.GetPassword(), "p@ss:w");
    EXPECT_EQ(url.GetHostName(), "host.example");
    EXPECT_EQ(url.GetURLWithoutUserInfo(), "http://host.example/x");

    // Whatever the credentials hold, the rebuilt address keeps its host and gives them back.
    const std::string hostile = "p@ss/w:o#r?d\\%20 \x01\xff";
    url.SetUserAndPassword("me@x/y", hostile);
    const std::string text = url.GetFullURL();
    EXPECT_EQ(text.find(hostile), std::string::npos);
    TURL back;
    ASSERT_TRUE(back.SetFullURL(text)) << text;
    EXPECT_EQ(back.GetHostName(), "host.example");
    EXPECT_EQ(back.GetURLPath(), "/x");
    EXPECT_EQ(back.GetUserName(), "me@x/y");
    EXPECT_EQ(back.GetPassword(), hostile);
    EXPECT_EQ(back.GetFullURL(), text);
}

TEST(URLParse, AssignAndClear)
{
    TURL a, b;
    a.SetFullURL("http://u:p@h/x?y#z");
    b.SetFullURL("nonsense");
    b.Assign(a);
    EXPECT_EQ(b.GetFullURL(), "http://u:p@h/x?y#z");
    EXPECT_EQ(b.GetUnusableText(), "nonsense");
    b.Clear();
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(b.GetScheme(), usNone);
    EXPECT_EQ(b.GetPort(), 0);
    EXPECT_EQ(b.GetUnusableText(), "");
}

// Copies are whole and independent, whichever parts each side has.
TEST(URLParse, CopiesAreIndependent)
{
    TURL full;
    full.SetFullURL("http://u:p@h/x?y#z");
    TURL copy(full);
    copy.ClearUserInfo();
    EXPECT_EQ(full.GetFullURL(), "http://u:p@h/x?y#z");
    EXPECT_EQ(copy.GetFullURL(), "http://h/x?y#z");
    TURL plain;
    plain.SetFullURL("http://h/a");
    copy = plain;  // onto one with parts the source lacks
    EXPECT_EQ(copy.GetFragment(), "");
    EXPECT_TRUE(copy.IsUserInfoEmpty());
    plain = full;
    EXPECT_EQ(plain.GetPassword(), "p");
    TURL moved(std::move(plain));
    EXPECT_EQ(moved.GetFullURL(), "http://u:p@h/x?y#z");
    TURL mail;
    mail.SetFullURL("mailto:a@b.c");
    moved.Assign(mail);
    EXPECT_EQ(moved.GetMailtoURL(), "mailto:a@b.c");
    EXPECT_EQ(moved.GetUserName(), "");
}

TEST(URLResolve, ReferenceExamplesNormal)
{
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g/"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    };
    ExpectResolved(cases);
}

TEST(URLResolve, ReferenceExamplesAbnormal)
{
    const std::pair<const char*, const char*> cases[] = {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http://a/b/c/g"},  // the base's own scheme without a host reads as relative
    };
    ExpectResolved(cases);
}

TEST(URLResolve, HostileAndSpecialReferences)
{
    const std::string base = "http://u:p@site.example/dir/page.html#frag";
    EXPECT_EQ(Resolve("..\\..\\..\\x.gif", base), "http://u:p@site.example/x.gif");
    EXPECT_EQ(Resolve("\\\\other\\a", base), "http://other/a");
    EXPECT_EQ(Resolve("%2e%2e/%2E%2e/x", base), "http://u:p@site.example/x");
    EXPECT_EQ(Resolve("HTTPS://Other:444/y", base), "https://Other:444/y");
    EXPECT_EQ(Resolve("  img.gif\n", base), "http://u:p@site.example/dir/img.gif");
    EXPECT_EQ(Resolve("mailto:x@y", base), "mailto:x@y");
    EXPECT_EQ(Resolve("file:///tmp/a.htm", base), "file:///tmp/a.htm");
    EXPECT_EQ(Resolve("//h:0/", base), "");
    // Only a letter and a colon make a drive path; a fragment directive stays a fragment.
    EXPECT_EQ(Resolve("#:~:text=x", base), "http://u:p@site.example/dir/page.html#:~:text=x");

    TURL invalid, url;
    EXPECT_FALSE(url.SetRelativeURL("x.html", invalid));
    EXPECT_FALSE(url.IsValid());
    TURL b;
    ASSERT_TRUE(b.SetFullURL("http://h/" + std::string(1000, 'a')));
    EXPECT_FALSE(url.SetRelativeURL("?" + std::string(1100, 'q'), b));
    EXPECT_EQ(url.GetUnusableText(), "?" + std::string(1100, 'q'));

    // Relative to a local page.
    ASSERT_TRUE(b.SetFullURL("file:///home/u/site/index.htm"));
    EXPECT_EQ(Resolve("../img/a.gif", "file:///home/u/site/index.htm"), "file:///home/u/img/a.gif");
}

TEST(URLTests, ExtensionAndTypes)
{
    TURL url;
    url.SetFullURL("http://h/a.b/page.HTML?x=y.css");
    EXPECT_EQ(url.GetPathExtension(), ".HTML");
    EXPECT_TRUE(url.IsHTML(""));
    EXPECT_TRUE(url.IsHTML("image/png"));  // the extension alone is enough
    EXPECT_FALSE(url.IsCSS(""));
    url.SetFullURL("http://h/a.b/");
    EXPECT_EQ(url.GetPathExtension(), "");
    EXPECT_FALSE(url.IsHTML(""));
    EXPECT_TRUE(url.IsHTML("Text/HTML; charset=utf-8"));
    EXPECT_TRUE(url.IsHTML(" text/html "));
    EXPECT_FALSE(url.IsHTML("text/html-sandboxed"));
    EXPECT_FALSE(url.IsHTML("text/plain; x=text/html"));
    EXPECT_TRUE(url.IsCSS("TEXT/CSS;charset=utf-8"));
    EXPECT_FALSE(url.IsCSS("text/cssx"));
    url.SetFullURL("http://h/style.Css");
    EXPECT_TRUE(url.IsCSS("application/octet-stream"));
    url.SetFullURL("http://h/noext");
    EXPECT_EQ(url.GetPathExtension(), "");
}

TEST(LocalFileName, TreeLayout)
{
    EXPECT_EQ(LocalName("http://example.com/"), "/d/www.example.com/index.html");
    EXPECT_EQ(LocalName("http://example.com/", "/d", true, false), "/d/example.com/index.html");
    EXPECT_EQ(LocalName("http://sub.example.com/a/"), "/d/sub.example.com/a/index.html");
    EXPECT_EQ(LocalName("http://h.com/p.asp?id=1"), "/d/www.h.com/p.asp_id=1");
    EXPECT_EQ(LocalName("http://h.com/a%20b%2Fc%2e%3F.gif"), "/d/www.h.com/a b%2Fc%2e_.gif");
    EXPECT_EQ(LocalName("http://h.com/x#frag"), "/d/www.h.com/x");
    // "#" marks the program's own files: an escaped one stays escaped, one left in a query goes.
    EXPECT_EQ(LocalName("http://h.com/x%23part?a#b#frag"), "/d/www.h.com/x%23part_a_b");
    EXPECT_EQ(LocalName("ftp://[::1]/pub/f"), "/d/[__1]/pub/f");
    EXPECT_EQ(LocalName("http://h.com/%41%7c%00%ff"), "/d/www.h.com/A_%00%ff");
    // A query may hold separators; they are followed as folder names but never out of the folder.
    EXPECT_EQ(LocalName("http://h.com/p?f=/a\\b/"), "/d/www.h.com/p_f=/a/b/index.html");
    EXPECT_EQ(LocalName("http://h.com/a/p?f=/../x"), "/d/www.h.com/a/x");
    EXPECT_EQ(LocalName("http://h.com/p?f=/.."), "/d/www.h.com/index.html");
    EXPECT_EQ(LocalName("http://h.com/p?f=/../../../etc/passwd"), "");
    EXPECT_EQ(LocalName("http://h.com/p?f=\\..\\..\\..\\x"), "");
    EXPECT_EQ(LocalName("http://../x"), "");
    EXPECT_EQ(LocalName("http://./x", "/d", true, false), "/d/x");
}

TEST(LocalFileName, AnotherPortIsAnotherHostFolder)
{
    // Default ports, written or not, keep the plain host folder.
    EXPECT_EQ(LocalName("http://h.com:80/x"), "/d/www.h.com/x");
    EXPECT_EQ(LocalName("https://h.com:443/x"), "/d/www.h.com/x");
    EXPECT_EQ(LocalName("ftp://h.com:21/x"), "/d/www.h.com/x");
    EXPECT_EQ(LocalName("https://h.com:8443/x"), "/d/www.h.com+8443/x");
    EXPECT_EQ(LocalName("http://h.com:443/x"), "/d/www.h.com+443/x");
    EXPECT_EQ(LocalName("https://h.com:80/x"), "/d/www.h.com+80/x");
    EXPECT_EQ(LocalName("http://127.0.0.1:1/"), "/d/127.0.0.1+1/index.html");
    EXPECT_EQ(LocalName("http://127.0.0.1:65535/a?b=1"), "/d/127.0.0.1+65535/a_b=1");
    EXPECT_EQ(LocalName("ftp://[::1]:2121/pub/f"), "/d/[__1]+2121/pub/f");
    // With a port, a host of dots is a plain folder name; the flat layout has no host folder.
    EXPECT_EQ(LocalName("http://..:8080/x"), "/d/..+8080/x");
    EXPECT_EQ(LocalName("http://h.com:8080/a/x.gif", "/d", false), "/d/x.gif");
}

TEST(LocalFileName, PathsKeepTheirCaseAndHostsFoldIt)
{
    EXPECT_EQ(LocalName("HTTP://WWW.Example.COM/Dir/File.HTML?Q=A", "/Home/U/My Sites/"),
              "/Home/U/My Sites/www.example.com/Dir/File.HTML_Q=A");
    EXPECT_EQ(LocalName("http://h.com/index.html"), "/d/www.h.com/index.html");
    EXPECT_EQ(LocalName("http://h.com/Index.html"), "/d/www.h.com/Index.html");
    EXPECT_EQ(LocalName("http://Docs.H.com:8080/StringUtils.html"), "/d/docs.h.com+8080/StringUtils.html");
    // The folder is neither decoded nor cleaned.
    EXPECT_EQ(LocalName("http://a.b.c/x%41", "/t/%41:?/"), "/t/%41:?/a.b.c/xA");
    EXPECT_EQ(LocalName("http://a.b.c/x", "/"), "/a.b.c/x");
    EXPECT_EQ(LocalName("http://a.b.c/x", ""), "");
}

TEST(LocalFileName, FlatLayout)
{
    EXPECT_EQ(LocalName("http://h/a/b/c.gif", "/d", false), "/d/c.gif");
    EXPECT_EQ(LocalName("http://h/a/", "/d", false), "/d/index.html");
    EXPECT_EQ(LocalName("http://h/a/?x=1", "/d", false), "/d/_x=1");
    EXPECT_EQ(LocalName("http://h/s?x=/../../y", "/d", false), "");
}

TEST(LocalFileName, FileAddressesStayInsideTheFolder)
{
    EXPECT_EQ(LocalName("file:///d/sub/x.HTM#a", "/d"), "/d/sub/x.HTM");
    EXPECT_EQ(LocalName("file:///C|/d/x.htm", "/d"), "/d/x.htm");
    EXPECT_EQ(LocalName("C:\\d\\x.htm", "/d"), "/d/x.htm");
    EXPECT_EQ(LocalName("file:///d/../etc/passwd", "/d"), "");
    EXPECT_EQ(LocalName("file:///etc/passwd", "/d"), "");
    EXPECT_EQ(LocalName("file:///dx/y", "/d"), "");
    EXPECT_EQ(LocalName("file:///d", "/d"), "");
    EXPECT_EQ(LocalName("g:h", "/d"), "");
    EXPECT_EQ(LocalName("file:///d/x", "relative"), "");
    EXPECT_EQ(LocalName("file:///d/" + std::string(256, 'x'), "/d"), "");
    // The file limits of every local name: 245 bytes for a file, 255 for a folder.
    EXPECT_EQ(LocalName("file:///d/" + std::string(245, 'x'), "/d"), "/d/" + std::string(245, 'x'));
    EXPECT_EQ(LocalName("file:///d/" + std::string(246, 'x'), "/d"), "");
    EXPECT_EQ(LocalName("file:///d/" + std::string(255, 'f') + "/x", "/d"), "/d/" + std::string(255, 'f') + "/x");
}

TEST_F(LoggedTest, LongNamesAreCutKeepingTheExtension)
{
    const std::string site = "/d/www.h.com/";
    const std::string longName(300, 'n');
    // A file keeps room for an ending added for its type and the "#part" of a download; a long one
    // becomes its beginning, a hash of the whole component (the same on every run) and its
    // extension, 245 bytes in all.
    std::string name = LocalName("http://h.com/" + longName + ".gif");
    EXPECT_EQ(name, site + std::string(224, 'n') + "~5223e68c990e3f05.gif");
    EXPECT_EQ(LocalName("http://h.com/" + longName + ".gif"), name);
    EXPECT_EQ(LocalName("http://h.com/" + longName + ".longerext"), site + std::string(228, 'n') + "~fcc83659812e1fdf");
    EXPECT_NE(LogText().find("Truncating long filename " + site + longName), std::string::npos);

    // Long queries sharing their first 250 characters keep their own files.
    const std::string query = "http://h.com/p.php?q=" + std::string(250, 'a');
    const std::string one = LocalName(query + "1"), two = LocalName(query + "2");
    EXPECT_NE(one, two);
    EXPECT_EQ(one.size(), site.size() + 245);
    EXPECT_EQ(one.substr(0, site.size() + 200), site + "p.php_q=" + std::string(192, 'a'));

    // Components are kept while shorter than their limit; one at the limit is shortened, so a
    // shortened name never equals a name kept as it is.
    EXPECT_EQ(LocalName("http://h.com/" + std::string(244, 'f')), site + std::string(244, 'f'));
    name = LocalName("http://h.com/" + std::string(245, 'f'));
    EXPECT_EQ(name.size(), site.size() + 245);
    EXPECT_NE(name, site + std::string(245, 'f'));
    EXPECT_EQ(LocalName("http://h.com/" + std::string(254, 'f') + "/x"), site + std::string(254, 'f') + "/x");
    name = LocalName("http://h.com/" + std::string(255, 'f') + "/x");
    EXPECT_EQ(name.size(), site.size() + 257);
    EXPECT_NE(name, site + std::string(255, 'f') + "/x");

    // Folders have no extension to keep and no suffix to leave room for.
    name = LocalName("http://h.com/" + longName + "/" + longName + ".c/x.htm");
    ASSERT_EQ(name.size(), site.size() + 255 + 1 + 255 + 6);
    EXPECT_EQ(name.substr(site.size(), 239), std::string(238, 'n') + "~");
    EXPECT_EQ(name.substr(site.size() + 256, 239), std::string(238, 'n') + "~");
    EXPECT_NE(name.substr(site.size(), 255), name.substr(site.size() + 256, 255));
    EXPECT_EQ(name.substr(name.size() - 6), "/x.htm");

    // A cut never splits a UTF-8 character; the name is padded to its length.
    std::string accents;
    for (int i = 0; i < 150; ++i)
        accents += "\xc3\xa9";
    name = LocalName("http://h.com/" + accents + ".html");
    EXPECT_EQ(name.substr(site.size(), 223), accents.substr(0, 222) + "_");
    EXPECT_EQ(name.size(), site.size() + 245);
    name = LocalName("http://h.com/" + std::string(300, '\x88') + "/x");
    EXPECT_EQ(name.substr(site.size(), 238), std::string(238, '\x88'));

    // Whole names: a long folder leaves less room. The leading folders that fit are kept and one
    // shortened name stands for the rest.
    const std::string folder = "/" + std::string(3900, 'f');
    std::string path, other;
    for (int i = 0; i < 10; ++i) {
        path += "/" + std::string(50, 'p');
        other += "/" + std::string(50, i == 5 ? 'o' : 'p');
    }
    name = LocalName("http://h.com" + path + ".html", folder);
    EXPECT_EQ(name.size(), 4085u);
    EXPECT_EQ(name.substr(name.size() - 5), ".html");
    EXPECT_EQ(name.substr(0, folder.size() + 113), folder + "/www.h.com" + path.substr(0, 102) + "/");
    EXPECT_NE(LocalName("http://h.com" + other + ".html", folder), name);
    EXPECT_EQ(LocalName("http://h.com" + path + ".html", folder), name);
    EXPECT_EQ(LocalName("http://h.com/x", "/" + std::string(4085, 'f')), "");
    EXPECT_EQ(LocalName("http://h.com" + path + "/x" + std::string(2, '.'), folder).find("/.."), std::string::npos);

    // Addresses too long to rebuild (a component of 10,000 characters) are refused when read.
    TURL url;
    EXPECT_FALSE(url.SetFullURL("http://h.com/" + std::string(10000, 'x')));
    EXPECT_FALSE(url.SetFullURL("http://h.com/p?" + std::string(10000, 'x')));
}

TEST_F(LoggedTest, ParseFailuresAreLoggedWithoutCredentials)
{
    TURL url;
    url.SetFullURL("no scheme here");
    url.SetFullURL("http://user:secret@h:0/");
    url.SetFullURL("http://user:secret@h:99999/");
    url.SetFullURL("");
    TURL base;
    base.SetFullURL("http://user:secret@h/");
    url.SetRelativeURL(std::string(3000, 'x'), base);
    url.SetRelativeURL("", TURL());
    const std::string log = LogText();
    EXPECT_NE(log.find("\"API Error\",\"InternetCrackUrl no scheme here = 12006"), std::string::npos) << log;
    EXPECT_NE(log.find("\"Warning\",\"Unusable URL http://***@h:0/\",\"SetFullURL\",\"URLType\""),
              std::string::npos) << log;
    EXPECT_NE(log.find("InternetCrackUrl http://***@h:99999/ = 12005"), std::string::npos) << log;
    EXPECT_NE(log.find("InternetCombineUrl http://h/ xxx"), std::string::npos) << log;
    EXPECT_NE(log.find("\"SetRelativeURL\",\"URLType\""), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
    EXPECT_EQ(log.find("InternetCrackUrl  ="), std::string::npos) << log;
}

TEST(LocalNames, InvalidFileNameChars)
{
    for (char c : std::string("\"*:<>?|") + std::string(1, '\0'))
        EXPECT_TRUE(IsInvalidFileNameChar(c)) << int(c);
    for (char c : std::string("aZ09 -_.%#&\x01\x80"))
        EXPECT_FALSE(IsInvalidFileNameChar(c)) << int(c);
}
