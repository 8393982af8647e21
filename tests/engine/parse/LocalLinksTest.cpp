#include "engine/parse/LocalLinks.h"

#include "engine/job/LinkType.h"
#include "engine/job/LocalNames.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/ParseAhead.h"
#include "engine/TempTree.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The copy's names as a test sets them: which address each file stands for.
class FakeNames : public TLocalNames {
public:
    uint8_t MapURLToLocalFile(const TURL&, const std::string&, std::string&) override { return 0; }
    bool AddressOfLocalFile(const std::string& localName, const std::string&, const TURL&, TURL& address) override
    {
        const auto found = addresses.find(localName);
        return found != addresses.end() && address.SetFullURL(found->second);
    }
    bool IsFileOfCopy(const std::string& path, TFileStamp*) override { return IsPlainFileNoFollow(path); }
    uint64_t LocalNamesChanges() override { return changes; }

    std::map<std::string, std::string> addresses;
    uint64_t changes = 0;
};

std::vector<std::string> Addresses(const TWebLinkList& list)
{
    std::vector<std::string> out;
    for (const TWebLinkInfo& link : list)
        out.push_back(link.FURL.GetScheme() == usFile ? link.FURL.GetFileURL() + link.FURL.GetFragment()
                                                      : link.FURL.GetFullURL());
    return out;
}

// A page read ahead keeps the addresses its local links were followed to only while the copy's
// names stay as they were; after a change it ends as a page read then would.
TEST(LocalLinksTest, LinksReadAheadFollowTheNamesAsTheyAreWhenTaken)
{
    TempTree tree;
    FakeNames names;
    THTMLParser html;
    TCSSParser css;
    const std::string page = tree.Write("h/index.html", "<a href=\"a.html#x\">1</a><a href=a.html>2</a>"
                                                        "<img src=b.png><a href=\"c.html#y\">3</a>"
                                                        "<a href=http://o/>4</a><a href=\"b.png#z\">5</a>"
                                                        "<a href=\"c.html#y z\">6</a><a href=\"c.html#1#2\">7</a>");
    for (const char* file : {"h/a.html", "h/b.png", "h/c.html"})
        tree.Write(file, "x");
    names.addresses[tree.Path("h/a.html")] = "http://h/a.html";
    names.addresses[tree.Path("h/c.html")] = "http://h/old/c.html";

    const TParseTask task{page, "http://h/index.html", true, 1, 0, true};
    TPreparedParse prepared;
    PrepareParse(task, html, css, prepared);
    ASSERT_TRUE(prepared.usable);
    const TURL pageURL = [] {
        TURL url;
        url.SetFullURL("http://h/index.html");
        return url;
    }();
    const std::string b = "file://" + tree.Path("h/b.png");
    std::vector<std::string> followed = Addresses(prepared.list);
    ASSERT_EQ(followed.size(), 8u);
    followed.resize(6);
    EXPECT_EQ(followed, (std::vector<std::string>{"http://h/a.html#x", "http://h/a.html", b, "http://h/old/c.html#y",
                                                  "http://o/", b + "#z"}));
    ASSERT_EQ(prepared.local.files.size(), 4u);  // "c.html#1#2" names "c.html#1"
    // Followed while read, as when read first and followed after.
    const auto readThenFollowed = [&](TLocalLinks& local) {
        TWebLinkList plain;
        ReadPageLinks(1, page, "http://h/index.html", true, html, css, plain);
        FollowLocalLinks(plain, page, pageURL, local);
        return Addresses(plain);
    };
    TLocalLinks plainLocal;
    EXPECT_EQ(readThenFollowed(plainLocal), Addresses(prepared.list));
    EXPECT_EQ(plainLocal.fileOf, prepared.local.fileOf);

    // Nothing changed: the links stay as they were followed.
    TWebLinkList kept = prepared.list;
    TLocalLinks keptLocal = prepared.local;
    KeepLocalLinksCurrent(kept, page, pageURL, keptLocal);
    EXPECT_EQ(Addresses(kept), Addresses(prepared.list));

    names.addresses[tree.Path("h/b.png")] = "http://h/b.png";
    names.addresses[tree.Path("h/c.html")] = "http://h/c.html";
    names.addresses.erase(tree.Path("h/a.html"));
    ++names.changes;
    KeepLocalLinksCurrent(prepared.list, page, pageURL, prepared.local);
    TPreparedParse now;
    PrepareParse(task, html, css, now);
    EXPECT_EQ(Addresses(prepared.list), Addresses(now.list));
    followed = Addresses(now.list);
    followed.resize(6);
    EXPECT_EQ(followed, (std::vector<std::string>{"file://" + tree.Path("h/a.html") + "#x",
                                                  "file://" + tree.Path("h/a.html"), "http://h/b.png",
                                                  "http://h/c.html#y", "http://o/", "http://h/b.png#z"}));
    EXPECT_EQ(prepared.local.fileOf, now.local.fileOf);
    EXPECT_EQ(readThenFollowed(plainLocal), Addresses(now.list));
}

}  // namespace
