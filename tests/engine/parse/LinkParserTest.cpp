#include "engine/parse/LinkParser.h"

#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/job/JobTypes.h"
#include "engine/parse/ParseAhead.h"
#include "engine/parse/RewriteAhead.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/services/ThreadSafeFileOps.h"

#include "tests/engine/FileSizeLimit.h"
#include "tests/engine/ReportCollector.h"
#include "tests/engine/ScriptedJobControl.h"
#include "tests/engine/TempTree.h"
#include "tests/engine/TestLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Adds addresses to the real list, as the crawl thread does.
class ListJobControl : public ScriptedJobControl {
public:
    int32_t AddSpiderObjectToList(TSpiderObjectList& list, const TURL& address, bool& isNew, const TURL* referrer,
                                  int32_t depth) override
    {
        TSpiderObject candidate;
        candidate.FURL.Assign(address);
        if (referrer != nullptr)
            candidate.SetReferrer(*referrer);
        candidate.FDepth = depth;
        TSpiderObject* object = nullptr;
        bool requeued = false;
        isNew = list.AddIfNotPresent(candidate, object, requeued) || requeued;
        return object != nullptr ? object->FID : 0;
    }
};

TURL Address(const std::string& text)
{
    TURL url;
    EXPECT_TRUE(url.SetFullURL(text));
    return url;
}

class LinkParserTest : public ::testing::Test {
protected:
    // An address of the job saved (or only mapped) at a file of the tree.
    TSpiderObject& Map(const std::string& address, const std::string& relative, const std::string* data)
    {
        bool isNew = false;
        int32_t id = control.AddSpiderObjectToList(spider, Address(address), isNew, nullptr, 0);
        TSpiderObject& object = *spider.Get(spider.IndexOfID(id));
        TSpiderDestObject candidate;
        candidate.FFileName = tree.Path(relative);
        candidate.FLocalSource = data == nullptr;
        TSpiderDestObject* dest = nullptr;
        bool added = dests.AddIfNotPresent(candidate, dest);
        spider.SetDestination(object, *dest, added);
        if (data != nullptr)
            tree.Write(relative, *data);
        return object;
    }
    const TSpiderObject* Find(const std::string& address)
    {
        TSpiderObject key;
        key.FURL.Assign(Address(address));
        return spider.Get(spider.IndexOf(key));
    }

    TTestLog log;
    TempTree tree;
    ReportCollector reports;
    THTMLParser html;
    TCSSParser css;
    TReadWriteOutputMessenger messenger;
    TURLToFilenameMapper mapper;
    TLinkParser parser;
    ListJobControl control;
    TSpiderObjectList spider;
    TSpiderDestObjectList dests;
    TCopyJob job;
};

TEST_F(LinkParserTest, StartPageRequisitesAtDepthZeroOtherLinksAtOne)
{
    std::string file = tree.Write("index.htm", "<title>Home</title><img src=a.gif><a href=\"b.htm\">b</a>"
                                               "<a href=\"a.gif\">again</a><a href=\"\">empty</a>");
    TURL page = Address("http://h/index.htm");
    parser.ParseLinksIntoList(control, file, false, false, false, -1, dests, spider, 1, page);

    ASSERT_NE(Find("http://h/a.gif"), nullptr);
    EXPECT_EQ(Find("http://h/a.gif")->FDepth, 0);
    EXPECT_EQ(Find("http://h/b.htm")->FDepth, 1);
    EXPECT_EQ(Find("http://h/b.htm")->Referrer().GetFullURL(), "http://h/index.htm");
    EXPECT_EQ(reports.Types(), (std::vector<int> {OUTMSG_READ_STARTED, OUTMSG_READ_PROGRESS, OUTMSG_LINK_FOUND,
                                                  OUTMSG_LINK_FOUND, OUTMSG_LINK_FOUND, OUTMSG_READ_ENDED}));
    auto found = reports.OfType(OUTMSG_LINK_FOUND);
    EXPECT_TRUE(found[0]->FLinkInfo.FNewAddress);
    EXPECT_FALSE(found[2]->FLinkInfo.FNewAddress);  // a.gif met again
    const TSpiderOutputMsg& started = *reports.OfType(OUTMSG_READ_STARTED)[0];
    EXPECT_EQ(started.FReadWrite.FKind, RW_KIND_PARSE);
    EXPECT_EQ(started.FReadWrite.FLocalFile, file);
    EXPECT_GT(started.FReadWrite.FNumber, 0);
    const TSpiderOutputMsg& ended = *reports.OfType(OUTMSG_READ_ENDED)[0];
    EXPECT_EQ(ended.FReadWrite.FStatus, RW_STATUS_FINISHED);
    EXPECT_EQ(ended.FReadWrite.FPageTitle, "Home");
    EXPECT_EQ(ended.FReadWrite.FPageCharset, "");
}

TEST_F(LinkParserTest, TitleComesWithTheDeclaredCharacterSet)
{
    std::string file = tree.Write("c.htm", "<meta charset=koi8-r><title>\xF0\xD2\xC9</title>");
    parser.ParseLinksIntoList(control, file, false, false, false, 0, dests, spider, 1, Address("http://h/c.htm"));
    parser.ParseLinksIntoList(control, file, false, false, false, 0, dests, spider, 1, Address("http://h/c.htm"),
                              "text/html; charset=windows-1251");
    std::string sheet = tree.Write("s.css", "x{}");
    parser.ParseLinksIntoList(control, sheet, false, false, false, 0, dests, spider, 2, Address("http://h/s.css"),
                              "text/css; charset=utf-8");
    auto ended = reports.OfType(OUTMSG_READ_ENDED);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[0]->FReadWrite.FPageTitle, "\xF0\xD2\xC9");
    EXPECT_EQ(ended[0]->FReadWrite.FPageCharset, "koi8-r");
    EXPECT_EQ(ended[1]->FReadWrite.FPageCharset, "windows-1251");  // the server's word first
    EXPECT_EQ(ended[2]->FReadWrite.FPageCharset, "");
}

TEST_F(LinkParserTest, DeeperPagesAndStyleSheets)
{
    std::string page = tree.Write("p.htm", "<img src=a.gif><a href=b.htm>b</a>");
    std::string sheet = tree.Write("s.css", "x{background:url(c.png)}");
    control.Stop = true;  // a stop lets every file be read to its end
    parser.ParseLinksIntoList(control, page, false, false, false, 3, dests, spider, 1, Address("http://h/p.htm"));
    parser.ParseLinksIntoList(control, sheet, false, false, false, 3, dests, spider, 2, Address("http://h/s.css"));
    EXPECT_EQ(Find("http://h/a.gif")->FDepth, 3);
    EXPECT_EQ(Find("http://h/b.htm")->FDepth, 4);
    EXPECT_EQ(Find("http://h/c.png")->FDepth, 3);
    // Reads are numbered one after the other; a style sheet has no title.
    auto started = reports.OfType(OUTMSG_READ_STARTED);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1]->FReadWrite.FNumber, started[0]->FReadWrite.FNumber + 1);
    EXPECT_EQ(reports.OfType(OUTMSG_READ_ENDED)[1]->FReadWrite.FPageTitle, "");
}

TEST_F(LinkParserTest, MissingFileGivesNoReport)
{
    parser.ParseLinksIntoList(control, tree.Path("gone.htm"), false, false, false, 0, dests, spider, 1,
                              Address("http://h/gone.htm"));
    parser.RewriteLinksInFile(control, tree.Path("gone.htm"), false, job, dests, spider, 1,
                              Address("http://h/gone.htm"));
    EXPECT_TRUE(reports.Types().empty());
}

TEST_F(LinkParserTest, RobotsNoFollowAndNoIndex)
{
    const std::string robots = "<meta name=robots content=\"noindex,nofollow\"><a href=x.htm>x</a>";
    std::string both = tree.Write("both.htm", robots);
    parser.ParseLinksIntoList(control, both, false, true, true, 0, dests, spider, 1, Address("http://h/both.htm"));
    EXPECT_EQ(spider.Count(), 0);
    EXPECT_FALSE(SafeFileExists(both));

    std::string index = tree.Write("index.htm", "<meta name=robots content=noindex><a href=y.htm>y</a>");
    parser.ParseLinksIntoList(control, index, false, true, true, 0, dests, spider, 1, Address("http://h/index.htm"));
    EXPECT_FALSE(SafeFileExists(index));
    EXPECT_NE(Find("http://h/y.htm"), nullptr);  // links of a NOINDEX page are still followed

    // A file this job did not write is never deleted.
    std::string local = tree.Write("local.htm", robots);
    parser.ParseLinksIntoList(control, local, true, true, true, 0, dests, spider, 1, Address("http://h/local.htm"));
    EXPECT_TRUE(SafeFileExists(local));

    auto ended = reports.OfType(OUTMSG_READ_ENDED);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[0]->FReadWrite.FLinkCount, 0);
    EXPECT_EQ(ended[1]->FReadWrite.FLinkCount, 3);  // the META values count, unresolved
    EXPECT_TRUE(log.Contains("Honored NOFOLLOW tag at http://h/both.htm"));
    EXPECT_TRUE(log.Contains("Honored NOINDEX tag at http://h/index.htm"));
}

TEST_F(LinkParserTest, FileLinksOfNetworkPagesAreIgnored)
{
    std::string page = tree.Write("p.htm", "<a href=\"file:///etc/passwd\">p</a><a href=q.htm>q</a>");
    parser.ParseLinksIntoList(control, page, false, false, false, 0, dests, spider, 1, Address("http://h/p.htm"));
    EXPECT_EQ(spider.Count(), 1);
    EXPECT_NE(Find("http://h/q.htm"), nullptr);
}

TEST_F(LinkParserTest, CancelEndsTheReadWithStatusFour)
{
    std::string body(20000, ' ');
    std::string page = tree.Write("p.htm", body + "<a href=late.htm>x</a>");
    control.CancelAfterChecks = 0;
    parser.ParseLinksIntoList(control, page, false, false, false, 0, dests, spider, 1, Address("http://h/p.htm"));
    EXPECT_EQ(Find("http://h/late.htm"), nullptr);
    EXPECT_EQ(reports.OfType(OUTMSG_READ_ENDED)[0]->FReadWrite.FStatus, RW_STATUS_CANCELLED);
    EXPECT_EQ(reports.OfType(OUTMSG_READ_PROGRESS).size(), 1u);
}

TEST_F(LinkParserTest, RewriteFollowsRedirectsAndReportsKindTwo)
{
    const std::string pageText = "<a href=\"old.htm#s\">o</a><img src=\"img/a.gif\"><a href=\"never.htm\">n</a>";
    const std::string data = "x";
    Map("http://h/site/index.htm", "site/index.htm", &pageText);
    Map("http://h/site/img/a.gif", "site/img/a.gif", &data);
    TSpiderObject& redirected = Map("http://h/site/old.htm", "site/old.htm", nullptr);
    TSpiderObject& target = Map("http://h/site/new/page.htm", "site/new/page.htm", &data);
    redirected.FRedirectedToID = target.FID;
    Map("http://h/site/never.htm", "site/never.htm", nullptr);  // mapped, never saved

    std::string file = tree.Path("site/index.htm");
    parser.RewriteLinksInFile(control, file, false, job, dests, spider, 1, Address("http://u:p@h/site/index.htm"));
    EXPECT_EQ(TempTree::Read(file), "<a href=\"new/page.htm#s\">o</a><img src=\"img/a.gif\">"
                                    "<a href=\"http://h/site/never.htm\">n</a>");
    const TSpiderOutputMsg& started = *reports.OfType(OUTMSG_WRITE_STARTED)[0];
    EXPECT_EQ(started.FReadWrite.FKind, RW_KIND_REWRITE);
    EXPECT_EQ(started.FReadWrite.FURL.GetFullURL(), "http://h/site/index.htm");
    EXPECT_GT(started.FReadWrite.FNumber, 0);
    EXPECT_EQ(reports.OfType(OUTMSG_WRITE_ENDED)[0]->FReadWrite.FStatus, RW_STATUS_FINISHED);
    // The mapper is done with the job's lists.
    EXPECT_EQ(mapper.MapURLToFilename(Address("http://h/site/img/a.gif")), "");
}

TEST_F(LinkParserTest, FileFoundMissingIsLookedForAgainAfterParsing)
{
    const std::string pageText = "<a href=\"b.htm\">b</a>";
    Map("http://h/a.htm", "a.htm", &pageText);
    Map("http://h/b.htm", "b.htm", nullptr);
    std::string page = tree.Path("a.htm");
    parser.RewriteLinksInFile(control, page, false, job, dests, spider, 1, Address("http://h/a.htm"));
    EXPECT_EQ(TempTree::Read(page), "<a href=\"http://h/b.htm\">b</a>");
    // b.htm is downloaded and parsed later: the next rewrite links to it.
    std::string other = tree.Write("b.htm", "b");
    parser.ParseLinksIntoList(control, other, false, false, false, 0, dests, spider, 1, Address("http://h/b.htm"));
    parser.RewriteLinksInFile(control, page, false, job, dests, spider, 1, Address("http://h/a.htm"));
    EXPECT_EQ(TempTree::Read(page), "<a href=\"b.htm\">b</a>");
}

TEST_F(LinkParserTest, RewriteFailureKeepsThePageAndReportsIt)
{
    std::string outside = tree.Write("outside/p.htm", "<a href=x.htm>x</a>");
    ::symlink(outside.c_str(), tree.Path("page.htm").c_str());
    parser.RewriteLinksInFile(control, tree.Path("page.htm"), false, job, dests, spider, 1,
                              Address("http://h/page.htm"));

    // The disk fills up while the new page is written.
    const std::string original = "<a href=x.htm>x</a>" + std::string(100000, ' ');
    std::string page = tree.Write("p.htm", original);
    {
        FileSizeLimit full(1000);
        parser.RewriteLinksInFile(control, page, false, job, dests, spider, 1, Address("http://h/p.htm"));
    }
    EXPECT_TRUE(TempTree::Read(page) == original);
    EXPECT_EQ(tree.Listing(), (std::set<std::string> {"outside/", "outside/p.htm", "page.htm", "p.htm"}));
    // A link at the page's name is not read, let alone written: only p.htm reports.
    auto ended = reports.OfType(OUTMSG_WRITE_ENDED);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0]->FReadWrite.FLocalFile, page);
    EXPECT_EQ(ended[0]->FReadWrite.FStatus, RW_STATUS_ERROR);
    EXPECT_FALSE(ended[0]->FReadWrite.FErrorText.empty());
    EXPECT_EQ(TempTree::Read(outside), "<a href=x.htm>x</a>");
}

// Pages rewritten ahead on helper threads give the bytes and reports of rewriting them one after
// the other on the crawl thread.
TEST_F(LinkParserTest, PagesRewrittenAheadMatchOneAfterTheOther)
{
    job.KeepRewriteInputFiles = true;
    job.AddMarkOfWebOnRewrite = true;
    const int pages = 40;
    std::vector<std::string> originals;
    for (int i = 0; i < pages; ++i) {
        std::string text = "<base href=\"http://h/\"><a href=\"p" + std::to_string((i + 1) % pages) +
                           ".htm#top\">next</a><img src=\"img/i" + std::to_string(i % 3) +
                           ".gif\"><a href=\"gone.htm\">g</a>" + std::string(static_cast<size_t>(i) * 500, ' ');
        originals.push_back(text);
        Map("http://h/p" + std::to_string(i) + ".htm", "p" + std::to_string(i) + ".htm", &text);
    }
    const std::string sheetText = "b{background:url(img/i1.gif)} i{background:url(/missing.png)}";
    Map("http://h/s.css", "s.css", &sheetText);
    const std::string image = "GIF";
    Map("http://h/img/i0.gif", "img/i0.gif", &image);
    Map("http://h/img/i1.gif", "img/i1.gif", &image);
    Map("http://h/gone.htm", "gone.htm", nullptr);

    auto pageFile = [&](int i) { return tree.Path(i < pages ? "p" + std::to_string(i) + ".htm" : "s.css"); };
    auto pageURL = [&](int i) { return Address(i < pages ? "http://h/p" + std::to_string(i) + ".htm" : "http://h/s.css"); };
    auto kindOf = [&](int i) { return i < pages ? 1 : 2; };
    for (int i = 0; i <= pages; ++i)
        parser.RewriteLinksInFile(control, pageFile(i), false, job, dests, spider, kindOf(i), pageURL(i));
    const std::set<std::string> listing = tree.Listing();
    std::vector<std::string> oneByOne;
    for (int i = 0; i <= pages; ++i) {
        oneByOne.push_back(TempTree::Read(pageFile(i)));
        ::unlink(KeptInputFileName(pageFile(i)).c_str());
        tree.Write(i < pages ? "p" + std::to_string(i) + ".htm" : "s.css", i < pages ? originals[i] : sheetText);
    }

    std::vector<TRewriteTask> tasks;
    for (int i = 0; i <= pages; ++i)
        tasks.push_back({pageFile(i), pageURL(i).GetURLWithoutUserInfo(), false, kindOf(i)});
    {
        TRewriteAhead ahead(tasks, spider, dests, RewriteOptionsOf(job), 3);
        for (int i = 0; i <= pages; ++i) {
            TPreparedRewrite prepared = ahead.Take(static_cast<size_t>(i));
            parser.CommitPreparedRewrite(control, prepared, pageFile(i), job, pageURL(i));
        }
    }
    for (int i = 0; i <= pages; ++i)
        EXPECT_EQ(TempTree::Read(pageFile(i)), oneByOne[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(TempTree::Read(KeptInputFileName(pageFile(7))), originals[7]);
    EXPECT_EQ(tree.Listing(), listing);  // no temporary file is left

    const auto& all = reports.Reports();
    ASSERT_EQ(all.size() % 2, 0u);
    const size_t half = all.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        const TFileReadWriteMsg& a = all[i]->FReadWrite;
        const TFileReadWriteMsg& b = all[half + i]->FReadWrite;
        ASSERT_EQ(all[i]->FMsgType, all[half + i]->FMsgType) << i;
        EXPECT_EQ(a.FLocalFile, b.FLocalFile) << i;
        if (all[i]->FMsgType == OUTMSG_WRITE_PROGRESS) {
            EXPECT_EQ(a.FPercent, b.FPercent) << i;
        }
        EXPECT_EQ(a.FStatus, b.FStatus) << i;
        if (all[i]->FMsgType == OUTMSG_WRITE_STARTED) {
            EXPECT_EQ(b.FNumber, a.FNumber + pages + 1) << i;
        }
    }
}

TEST_F(LinkParserTest, CancelWhileRewritingAheadLeavesTheRestAsDownloaded)
{
    const std::string text = "<a href=\"http://h/b.htm\">b</a><a href=\"c.htm\">c</a>";
    Map("http://h/a.htm", "a.htm", &text);
    Map("http://h/b.htm", "b.htm", &text);
    Map("http://h/c.htm", "c.htm", &text);
    const std::set<std::string> listing = tree.Listing();
    std::vector<TRewriteTask> tasks;
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        tasks.push_back({tree.Path(name), std::string("http://h/") + name, false, 1});
    {
        TRewriteAhead ahead(tasks, spider, dests, RewriteOptionsOf(job), 2);
        TPreparedRewrite first = ahead.Take(0);
        parser.CommitPreparedRewrite(control, first, tree.Path("a.htm"), job, Address("http://h/a.htm"));
        control.CancelAfterChecks = 0;
        TPreparedRewrite second = ahead.Take(1);
        parser.CommitPreparedRewrite(control, second, tree.Path("b.htm"), job, Address("http://h/b.htm"));
    }  // c.htm was prepared too, and is dropped
    EXPECT_EQ(TempTree::Read(tree.Path("a.htm")), "<a href=\"b.htm\">b</a><a href=\"c.htm\">c</a>");
    EXPECT_EQ(TempTree::Read(tree.Path("b.htm")), text);
    EXPECT_EQ(TempTree::Read(tree.Path("c.htm")), text);
    EXPECT_EQ(tree.Listing(), listing);
    auto ended = reports.OfType(OUTMSG_WRITE_ENDED);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0]->FReadWrite.FStatus, RW_STATUS_FINISHED);
    EXPECT_EQ(ended[1]->FReadWrite.FStatus, RW_STATUS_CANCELLED);
}

// Taking a page far ahead passes over the ones before it, whatever the helpers had prepared.
TEST_F(LinkParserTest, TakingFarAheadPassesOverTheRest)
{
    std::vector<TRewriteTask> tasks;
    for (int i = 0; i < 200; ++i)
        tasks.push_back({tree.Path("none" + std::to_string(i) + ".htm"), "http://h/", false, 1});
    TRewriteAhead ahead(tasks, spider, dests, RewriteOptionsOf(job), 4);
    EXPECT_TRUE(ahead.Take(0).missing);
    EXPECT_TRUE(ahead.Take(150).missing);
    EXPECT_TRUE(ahead.Take(199).missing);
}

}  // namespace

// The parsers call back per block read and per link written; a report that would repeat the
// last one of the same file is left out, and every change of percentage is still reported, in
// order. The stop and cancel checks still run at every call.
TEST_F(LinkParserTest, ProgressReportsRepeatNothing)
{
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "<a href=\"p" + std::to_string(i % 7) + ".htm\">link</a>" + std::string(2000, ' ');
    for (int i = 0; i < 7; ++i)
        Map("http://h/p" + std::to_string(i) + ".htm", "p" + std::to_string(i) + ".htm", &text);
    const std::string file = tree.Path("p0.htm");
    const TURL page = Address("http://h/p0.htm");

    // What the parsers ask for, one call at a time.
    TPreparedRewrite recorded;
    {
        THTMLParser html2{THTMLParser::TPrivateInstance{}};
        TCSSParser css2{TCSSParser::TPrivateInstance{}};
        mapper.SetLists(&spider, &dests);
        PrepareRewrite({file, page.GetURLWithoutUserInfo(), false, 1}, RewriteOptionsOf(job), html2, css2,
                       [&](const TURL& url) { return mapper.MapURLToAvailableFile(url); }, recorded);
        mapper.ClearLists();
    }
    std::vector<int32_t> expected;
    for (const TRecordedProgress& call : recorded.progress) {
        const int32_t percent = static_cast<int32_t>(call.position * 100 / call.size);
        const int32_t value = call.rewriting ? percent / 2 + 50 : percent / 2;
        if (expected.empty() || expected.back() != value)
            expected.push_back(value);
    }
    ASSERT_GT(recorded.progress.size(), expected.size() + 100);  // the calls repeat themselves

    parser.ParseLinksIntoList(control, file, false, false, false, 0, dests, spider, 1, page);
    const int checksBefore = control.StopChecks;
    parser.RewriteLinksInFile(control, file, false, job, dests, spider, 1, page);
    EXPECT_EQ(control.StopChecks - checksBefore, static_cast<int>(recorded.progress.size()));

    std::vector<int32_t> read;
    std::vector<int32_t> written;
    for (const auto& report : reports.Reports()) {
        if (report->FMsgType == OUTMSG_READ_PROGRESS)
            read.push_back(report->FReadWrite.FPercent);
        if (report->FMsgType == OUTMSG_WRITE_PROGRESS) {
            written.push_back(report->FReadWrite.FPercent);
            EXPECT_EQ(report->FReadWrite.FSize, static_cast<int64_t>(text.size()));
        }
    }
    EXPECT_EQ(written, expected);
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read.front(), 0);
    for (size_t i = 1; i < read.size(); ++i)
        EXPECT_GT(read[i], read[i - 1]);
    EXPECT_GE(read.size(), 99u);  // every percent, once
}

namespace {

// What a reading leaves in the reports: everything but the read numbers, which count on.
std::vector<std::string> ReadTrace(const std::vector<std::unique_ptr<TSpiderOutputMsg>>& all, size_t from, size_t to)
{
    std::vector<std::string> trace;
    for (size_t i = from; i < to; ++i) {
        const TSpiderOutputMsg& m = *all[i];
        const TFileReadWriteMsg& rw = m.FReadWrite;
        std::string line = std::to_string(m.FMsgType);
        if (m.FMsgType == OUTMSG_LINK_FOUND)
            line += " " + m.FLinkInfo.FValue + " " + m.FLinkInfo.FURL.GetFullURL() + (m.FLinkInfo.FNewAddress ? " new" : "");
        else
            line += " " + rw.FLocalFile + " " +
                    (m.FMsgType == OUTMSG_READ_PROGRESS ? std::to_string(rw.FPercent) : std::string()) + " " +
                    std::to_string(rw.FStatus) + " " +
                    std::to_string(rw.FLinkCount) + " " + rw.FPageTitle + " " + rw.FPageCharset;
        trace.push_back(line);
    }
    return trace;
}

std::vector<std::string> ListTrace(const TSpiderObjectList& list)
{
    std::vector<std::string> trace;
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TSpiderObject& object = *list.Get(i);
        trace.push_back(object.FURL.GetFullURL() + " " + std::to_string(object.FDepth) + " " +
                        object.Referrer().GetFullURL());
    }
    return trace;
}

}  // namespace

// Pages read by helpers ahead and committed later add the same addresses and post the same
// reports as pages read on the spot; a file that is gone is read on the spot (no report).
TEST_F(LinkParserTest, PagesReadAheadMatchPagesReadOnTheSpot)
{
    std::string big = "<meta charset=koi8-r><title>Big</title><link rel=stylesheet href=s.css>"
                      "<meta http-equiv=refresh content=\"5; url=next.htm\">";
    for (int i = 0; i < 300; ++i)
        big += "<a href=\"p" + std::to_string(i % 11) + ".htm\">x</a><img src=\"i" + std::to_string(i % 5) +
               ".gif\">" + std::string(500, ' ');
    const std::vector<std::pair<std::string, std::string>> pages = {
        {"big.htm", big},
        {"s.css", "a{background:url(bg.png)} @import \"more.css\";"},
        {"robots.htm", "<meta name=robots content=nofollow><a href=hidden.htm>h</a>"},
        {"gone.htm", ""},
        {"small.htm", "<a href=\"big.htm#top\">b</a><a href=\"javascript:x()\">j</a><a href=\"http://o/\">o</a>"},
    };
    std::vector<TParseTask> tasks;
    for (const auto& [name, text] : pages) {
        if (name != "gone.htm")
            tree.Write(name, text);
        tasks.push_back({tree.Path(name), "http://h/" + name, false, name == "s.css" ? 2 : 1});
    }
    auto read = [&](TSpiderObjectList& list, TParseAhead* ahead) {
        int taken = 0;
        for (size_t i = 0; i < tasks.size(); ++i) {
            const TParseTask& task = tasks[i];
            const TURL page = Address(task.pageAddress);
            TPreparedParse prepared;
            if (ahead != nullptr && ahead->Take(static_cast<int32_t>(i), task, prepared)) {
                ++taken;
                parser.CommitPreparedParse(control, prepared, task.fileName, false, false, true, 1, list, task.kind,
                                           page, "text/html");
            } else {
                parser.ParseLinksIntoList(control, task.fileName, false, false, true, 1, dests, list, task.kind, page,
                                          "text/html");
            }
        }
        return taken;
    };
    TSpiderObjectList onTheSpot;
    read(onTheSpot, nullptr);
    TSpiderObjectList ahead;
    {
        TParseAhead helpers(3);
        for (size_t i = 0; i < tasks.size(); ++i)
            helpers.Offer(static_cast<int32_t>(i), tasks[i]);
        helpers.WaitWhileQueued();
        EXPECT_EQ(read(ahead, &helpers), 4);
    }
    EXPECT_EQ(ListTrace(ahead), ListTrace(onTheSpot));
    EXPECT_GT(onTheSpot.Count(), 18);

    const auto& all = reports.Reports();
    ASSERT_EQ(all.size() % 2, 0u);
    const size_t half = all.size() / 2;
    const std::vector<std::string> first = ReadTrace(all, 0, half);
    EXPECT_EQ(ReadTrace(all, half, all.size()), first);
    EXPECT_GT(std::count_if(first.begin(), first.end(), [](const std::string& l) { return l.rfind("10 ", 0) == 0; }),
              50);
    const std::string ended = "12 " + tasks[0].fileName;
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [&](const std::string& l) {
        return l.rfind(ended, 0) == 0 && l.ends_with(" 603 Big koi8-r");
    }));
}

// A cancel taken while a page's progress is replayed ends its reading at that very call: the
// links found before it are added, as when the page is read on the spot.
TEST_F(LinkParserTest, CancelWhileCommittingAPageReadAheadStopsWhereReadingWouldHave)
{
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "<a href=\"p" + std::to_string(i) + ".htm\">link</a>" + std::string(2000, ' ');
    const std::string file = tree.Write("p.htm", text);
    const TURL page = Address("http://h/p.htm");
    const TParseTask task{file, "http://h/p.htm", false, 1};

    ListJobControl spot;
    spot.CancelAfterChecks = 40;
    TSpiderObjectList onTheSpot;
    parser.ParseLinksIntoList(spot, file, false, false, false, 0, dests, onTheSpot, 1, page);

    ListJobControl committing;
    committing.CancelAfterChecks = 40;
    TSpiderObjectList ahead;
    {
        TParseAhead helpers(1);
        helpers.Offer(7, task);
        helpers.WaitWhileQueued();
        TPreparedParse prepared;
        ASSERT_TRUE(helpers.Take(7, task, prepared));
        EXPECT_EQ(prepared.list.Count(), 400);
        parser.CommitPreparedParse(committing, prepared, file, false, false, false, 0, ahead, 1, page);
    }
    EXPECT_EQ(ListTrace(ahead), ListTrace(onTheSpot));
    EXPECT_GT(onTheSpot.Count(), 0);
    EXPECT_LT(onTheSpot.Count(), 400);
    const auto& all = reports.Reports();
    const size_t half = all.size() / 2;
    EXPECT_EQ(ReadTrace(all, half, all.size()), ReadTrace(all, 0, half));
    EXPECT_EQ(all.back()->FReadWrite.FStatus, RW_STATUS_CANCELLED);
}

// A result is handed over only for the very task and file it was read from; pages taken in any
// order, beyond the window, come out whole.
TEST_F(LinkParserTest, ReadingAheadHandsOverOnlyWhatStillFits)
{
    const std::string file = tree.Write("a.htm", "<a href=b.htm>b</a>");
    const TParseTask task{file, "http://h/a.htm", false, 1};
    THTMLParser html2{THTMLParser::TPrivateInstance{}};
    TCSSParser css2{TCSSParser::TPrivateInstance{}};
    TPreparedParse prepared;
    PrepareParse(task, html2, css2, prepared);
    EXPECT_TRUE(StillFits(prepared, task));
    EXPECT_FALSE(StillFits(prepared, {file, "http://h/other/a.htm", false, 1}));
    EXPECT_FALSE(StillFits(prepared, {file, "http://h/a.htm", true, 1}));
    tree.Write("a.htm.new", "<a href=c.htm>c</a>");
    ASSERT_EQ(::rename(tree.Path("a.htm.new").c_str(), file.c_str()), 0);
    EXPECT_FALSE(StillFits(prepared, task));  // replaced since

    // Edited in place to the same size, its modification time put back afterwards.
    const std::string edited = tree.Write("e.htm", "<a href=b.htm>b</a>");
    const TParseTask editedTask{edited, "http://h/e.htm", false, 1};
    TPreparedParse beforeEdit;
    PrepareParse(editedTask, html2, css2, beforeEdit);
    ASSERT_TRUE(StillFits(beforeEdit, editedTask));
    struct stat st {};
    ASSERT_EQ(::stat(edited.c_str(), &st), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the clock's tick
    {
        std::FILE* f = std::fopen(edited.c_str(), "r+");
        ASSERT_NE(f, nullptr);
        std::fputs("<a href=x.htm>x</a>", f);
        std::fclose(f);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, edited.c_str(), times, 0), 0);
    EXPECT_FALSE(StillFits(beforeEdit, editedTask));

    TPreparedParse missing;
    PrepareParse({tree.Path("none.htm"), "http://h/none.htm", false, 1}, html2, css2, missing);
    EXPECT_FALSE(missing.usable);

    TParseAhead helpers(2);
    TPreparedParse out;
    EXPECT_FALSE(helpers.Take(1, task, out));  // never offered
    helpers.Offer(2, task);
    helpers.Drop(2);
    EXPECT_FALSE(helpers.Take(2, task, out));
    helpers.Offer(3, {file, "http://h/x.htm", false, 1});
    helpers.Offer(3, task);  // the later offer holds
    const bool taken = helpers.Take(3, task, out);
    if (taken) {
        EXPECT_EQ(out.list.Get(0)->FURL.GetFullURL(), "http://h/c.htm");
    }

    const int pages = static_cast<int>(TParseAhead::Window) * 3;
    std::vector<TParseTask> tasks;
    for (int i = 0; i < pages; ++i) {
        const std::string name = "p" + std::to_string(i) + ".htm";
        tasks.push_back({tree.Write(name, "<img src=i" + std::to_string(i) + ".gif>"), "http://h/" + name, false, 1});
        helpers.Offer(100 + i, tasks.back());
    }
    helpers.WaitWhileQueued();  // the first window is being read
    int handed = 0;
    for (int i = pages - 1; i >= 0; --i) {
        TPreparedParse page;
        if (!helpers.Take(100 + i, tasks[static_cast<size_t>(i)], page))
            continue;
        ++handed;
        ASSERT_EQ(page.list.Count(), 1);
        EXPECT_EQ(page.list.Get(0)->FURL.GetFullURL(), "http://h/i" + std::to_string(i) + ".gif");
    }
    EXPECT_GT(handed, 0);
}
