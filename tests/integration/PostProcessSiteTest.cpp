// Copied sites post-processed by the crawl thread: find and replace, header and footer on the
// pages, then the destination folder flattened and pruned.
#include "integration/CrawlTestSupport.h"

#include <set>

namespace {

namespace fs = std::filesystem;

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

bool IsLink(const std::string& path)
{
    return fs::is_symlink(fs::symlink_status(path));
}

class PostProcessSiteTest : public TCrawlTestBase {
protected:
    void Serve(const std::string& path, const std::string& body, const char* type = "text/html")
    {
        server_.Get(path, [body, type](const httplib::Request&, httplib::Response& res) { res.set_content(body, type); });
    }
    // The destination folder, with a trailing "/", as the folder reports name it.
    std::string Root() const { return temp_ / "site/"; }
    std::string Host() const { return HostFolder() + "/"; }

    void AddTask(const std::string& find, const std::string& replace, uint8_t flags, bool wholeWords)
    {
        TFindReplaceTasks& tasks = job_.DownloadOptions.FindReplaceTasks;
        tasks.Tasks[tasks.Count++] = {find, replace, flags, wholeWords};
    }

    std::vector<TReportRecord> PostProcessReports(uint8_t type)
    {
        std::vector<TReportRecord> out;
        for (const TReportRecord& r : engine_.OfType(type))
            if (r.kind == RW_KIND_POSTPROCESS)
                out.push_back(r);
        return out;
    }
    std::vector<std::pair<std::string, std::string>> Moves()
    {
        std::vector<std::pair<std::string, std::string>> out;
        for (const TReportRecord& r : engine_.OfType(OUTMSG_FILE_MOVED_UP)) {
            EXPECT_EQ(r.jobID, kJobID);
            out.emplace_back(r.oldPath, r.newPath);
        }
        return out;
    }
    std::vector<std::string> PrunedFolders()
    {
        std::vector<std::string> out;
        for (const TReportRecord& r : engine_.OfType(OUTMSG_PRUNING_FOLDER))
            out.push_back(r.folder);
        return out;
    }
    // The order of the folder reports and the job's end, a run of one type counted once.
    std::vector<uint8_t> FolderStepTypes()
    {
        std::vector<uint8_t> out;
        for (const TReportRecord& r : engine_.Reports())
            if ((r.type >= OUTMSG_PRUNE_STARTED || r.type == OUTMSG_JOB_ENDED) && (out.empty() || r.type != out.back()))
                out.push_back(r.type);
        return out;
    }
};

TEST_F(PostProcessSiteTest, PagesGetTheReplacementsHeaderAndFooterOnceAndOtherFilesStayAsSent)
{
    const std::string notes = "cat colour hello\n";
    const std::string css = "p.cat { color: red }";
    Serve("/", "<!DOCTYPE html>\n<html><head><link rel=stylesheet href=\"site.css\"></head><body>"
               "<p>Cat cat category CAT concat</p><p>colour Colour colour</p><p>hello Hello</p>"
               "<a href=\"a.htm\">a</a><a href=\"sub/b.htm\">b</a><img src=\"pic.gif\"><a href=\"notes.txt\">n</a>"
               "</body></html>");
    Serve("/a.htm", "<html><body><p>cat_food cat-food cats</p></body></html>");
    Serve("/sub/b.htm", "<html><body><p>\xC3\xA9" "cat CAT\xC3\xA9 colours</p></body></html>");
    Serve("/notes.txt", notes, "text/plain");
    Serve("/site.css", css, "text/css");
    Serve("/pic.gif", kGif, "image/gif");
    AddTask("colour", "color", rfReplaceAll, false);
    AddTask("cat", "dog", rfReplaceAll | rfIgnoreCase, true);
    AddTask("HELLO", "bye", rfIgnoreCase, false);
    const std::string header = "<!-- header: cat colour -->\n";
    const std::string footer = "\n<!-- footer -->";
    job_.DownloadOptions.CustomHTMLHeader = header;
    job_.DownloadOptions.CustomHTMLFooter = footer;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const std::string index = ReadTextFile(Local("/index.html"));
    // Tasks run in order before the header is added; the header goes before the document type.
    EXPECT_EQ(index.rfind(header + "<!DOCTYPE html>", 0), 0u) << index;
    EXPECT_NE(index.find("<p>dog dog category dog concat</p><p>color Colour color</p><p>bye Hello</p>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("href=\"sub/b.htm\""), std::string::npos) << index;  // links still rewritten
    EXPECT_NE(ReadTextFile(Local("/a.htm")).find("<p>dog_food dog-food cats</p>"), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/sub/b.htm")).find("<p>\xC3\xA9" "dog dog\xC3\xA9 colors</p>"), std::string::npos);
    for (const char* page : {"/index.html", "/a.htm", "/sub/b.htm"}) {
        const std::string text = ReadTextFile(Local(page));
        EXPECT_EQ(text.rfind(header, 0), 0u) << page;
        ASSERT_GE(text.size(), footer.size());
        EXPECT_EQ(text.substr(text.size() - footer.size()), footer) << page;
        EXPECT_EQ(CountOf(text, header), 1u) << page;
        EXPECT_EQ(CountOf(text, footer), 1u) << page;
    }
    EXPECT_EQ(ReadTextFile(Local("/notes.txt")), notes);
    EXPECT_EQ(ReadTextFile(Local("/site.css")), css);
    EXPECT_EQ(ReadTextFile(Local("/pic.gif")), kGif);

    // One numbered write per page, each ended as finished right after it started; post-processing
    // shares the numbering with the link rewriting.
    std::set<std::string> started;
    std::vector<int32_t> writeNumbers;
    const std::vector<TReportRecord> all = engine_.Reports();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].type == OUTMSG_WRITE_STARTED)
            writeNumbers.push_back(all[i].number);
        if (all[i].type != OUTMSG_WRITE_STARTED || all[i].kind != RW_KIND_POSTPROCESS)
            continue;
        EXPECT_TRUE(started.insert(all[i].localFile).second) << all[i].localFile;
        EXPECT_EQ(all[i].status, RW_STATUS_STARTED);
        ASSERT_LT(i + 1, all.size());
        EXPECT_EQ(all[i + 1].type, OUTMSG_WRITE_ENDED);
        EXPECT_EQ(all[i + 1].kind, RW_KIND_POSTPROCESS);
        EXPECT_EQ(all[i + 1].status, RW_STATUS_FINISHED);
        EXPECT_EQ(all[i + 1].localFile, all[i].localFile);
    }
    EXPECT_EQ(started, (std::set<std::string>{Local("/index.html"), Local("/a.htm"), Local("/sub/b.htm")}));
    for (size_t i = 0; i < writeNumbers.size(); ++i)
        EXPECT_EQ(writeNumbers[i], static_cast<int32_t>(i + 1));
    EXPECT_EQ(all.back().type, OUTMSG_JOB_ENDED);
    EXPECT_EQ(EventLog().find("FindReplaceInFile"), std::string::npos);
}

TEST_F(PostProcessSiteTest, WithoutTasksHeaderOrFooterPagesAreLeftAsSent)
{
    const std::string page = "<html><body><p>cat</p></body></html>";
    Serve("/", page);
    job_.RewriteLinks = false;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(ReadTextFile(Local("/index.html")), page);
    EXPECT_TRUE(PostProcessReports(OUTMSG_WRITE_STARTED).empty());
    EXPECT_TRUE(PostProcessReports(OUTMSG_WRITE_ENDED).empty());
    EXPECT_TRUE(engine_.OfType(OUTMSG_FLATTEN_STARTED).empty());
    EXPECT_TRUE(engine_.OfType(OUTMSG_PRUNE_STARTED).empty());
}

TEST_F(PostProcessSiteTest, ASecondRunLeavesThePagesItFindsOnDiskAlone)
{
    Serve("/", "<html><body><a href=\"a.htm\">a</a> cat</body></html>");
    Serve("/a.htm", "<html><body>cat</body></html>");
    AddTask("cat", "cat cat", rfReplaceAll, true);
    job_.DownloadOptions.CustomHTMLHeader = "<!-- top -->";
    job_.DownloadOptions.CustomHTMLFooter = "<!-- end -->";
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const std::string index = ReadTextFile(Local("/index.html"));
    const std::string a = ReadTextFile(Local("/a.htm"));
    EXPECT_EQ(a, "<!-- top --><html><body>cat cat</body></html><!-- end -->");
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2));

    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[1].resultCode, JOB_END_COMPLETED);
    EXPECT_EQ(ReadTextFile(Local("/index.html")), index);
    EXPECT_EQ(ReadTextFile(Local("/a.htm")), a);
    EXPECT_EQ(PostProcessReports(OUTMSG_WRITE_ENDED).size(), 2u);
}

TEST_F(PostProcessSiteTest, FlatteningMovesEachFileUpWhereItsNameIsFreeAndTheStartPageFollows)
{
    Serve("/docs/", "<html><body><a href=\"a.htm\">a</a><a href=\"deep/a.htm\">da</a><a href=\"deep/b.htm\">db</a>"
                    "<img src=\"/img/pic.gif\"><a href=\"/\">root</a></body></html>");
    Serve("/docs/a.htm", "<p>docs a</p>");
    Serve("/docs/deep/a.htm", "<p>deep a</p>");
    Serve("/docs/deep/b.htm", "<p>deep b</p>");
    Serve("/", "<p>root</p>");
    Serve("/img/pic.gif", kGif, "image/gif");
    // Not this job's: a folder of another copy, and a link to a folder outside the destination.
    fs::create_directories(temp_ / "site/other");
    WriteTextFile(temp_ / "site/other/keep.htm", "keep");
    fs::create_directories(temp_ / "outside");
    WriteTextFile(temp_ / "outside/secret.htm", "secret");
    fs::create_directories(Host());
    fs::create_directory_symlink(temp_ / "outside", Host() + "zlink");

    job_.StartingWebAddress.SetFullURL(Url("/docs/"));
    job_.FlattenDestinationFolders = true;
    job_.PruneFolders = true;
    job_.Normalize();
    ASSERT_FALSE(job_.RewriteLinks);
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const std::string root = Root();
    const std::string host = Host();
    // Each folder first gives up its files, then takes in those of its subfolders and gives them
    // up too; a name already taken one level up keeps its file where it is.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {host + "index.html", root + "index.html"},
        {host + "docs/a.htm", host + "a.htm"},
        {host + "docs/index.html", host + "index.html"},
        {host + "docs/deep/a.htm", host + "docs/a.htm"},
        {host + "docs/deep/b.htm", host + "docs/b.htm"},
        {host + "docs/b.htm", host + "b.htm"},
        {host + "img/pic.gif", host + "pic.gif"},
        {host + "a.htm", root + "a.htm"},
        {host + "b.htm", root + "b.htm"},
        {host + "pic.gif", root + "pic.gif"},
    };
    EXPECT_EQ(Moves(), expected);
    EXPECT_EQ(ReadTextFile(root + "index.html"), "<p>root</p>");
    EXPECT_EQ(ReadTextFile(root + "a.htm"), "<p>docs a</p>");
    EXPECT_EQ(ReadTextFile(root + "b.htm"), "<p>deep b</p>");
    EXPECT_EQ(ReadTextFile(root + "pic.gif"), kGif);
    EXPECT_EQ(ReadTextFile(host + "docs/a.htm"), "<p>deep a</p>");
    EXPECT_NE(ReadTextFile(host + "index.html").find("deep/b.htm"), std::string::npos);
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[0].startPage, host + "index.html");

    // Pruning follows and takes away what flattening emptied, nothing else.
    EXPECT_EQ(PrunedFolders(), (std::vector<std::string>{host, host + "docs/", host + "docs/deep/", host + "img/"}));
    EXPECT_FALSE(Exists(host + "docs/deep"));
    EXPECT_FALSE(Exists(host + "img"));
    EXPECT_EQ(ReadTextFile(root + "other/keep.htm"), "keep");
    EXPECT_TRUE(IsLink(host + "zlink"));
    EXPECT_EQ(ReadTextFile(temp_ / "outside/secret.htm"), "secret");
    EXPECT_FALSE(Exists(root + "secret.htm"));
    EXPECT_EQ(FolderStepTypes(), (std::vector<uint8_t>{OUTMSG_FLATTEN_STARTED, OUTMSG_FILE_MOVED_UP,
                                                       OUTMSG_FLATTEN_ENDED, OUTMSG_PRUNE_STARTED,
                                                       OUTMSG_PRUNING_FOLDER, OUTMSG_PRUNE_ENDED, OUTMSG_JOB_ENDED}));
    for (uint8_t type : {OUTMSG_FLATTEN_STARTED, OUTMSG_FLATTEN_ENDED, OUTMSG_PRUNE_STARTED, OUTMSG_PRUNE_ENDED}) {
        ASSERT_EQ(engine_.OfType(type).size(), 1u) << int(type);
        EXPECT_EQ(engine_.OfType(type)[0].jobID, kJobID);
    }
}

TEST_F(PostProcessSiteTest, PruningRemovesOnlyEmptyFoldersOfTheJobsTreeAndNeverFollowsALink)
{
    Serve("/", "<html><body><a href=\"docs/a.htm\">a</a></body></html>");
    Serve("/docs/a.htm", "<p>a</p>");
    const std::string root = Root();
    const std::string host = Host();
    fs::create_directories(host + "empty/inner");
    fs::create_directories(root + "lonely");  // empty, but holds nothing of this job
    fs::create_directories(temp_ / "outside/hollow");
    fs::create_directory_symlink(temp_ / "outside", host + "link");
    fs::create_directory_symlink(temp_ / "outside", root + "outlink");
    job_.PruneFolders = true;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    // Innermost first; every folder walked is reported, a link is neither walked nor reported.
    EXPECT_EQ(PrunedFolders(),
              (std::vector<std::string>{host, host + "docs/", host + "empty/", host + "empty/inner/"}));
    EXPECT_FALSE(Exists(host + "empty"));
    EXPECT_TRUE(Exists(host + "docs/a.htm"));
    EXPECT_TRUE(Exists(host + "index.html"));
    EXPECT_TRUE(fs::is_directory(root + "lonely"));
    EXPECT_TRUE(IsLink(host + "link"));
    EXPECT_TRUE(IsLink(root + "outlink"));
    EXPECT_TRUE(fs::is_directory(temp_ / "outside/hollow"));
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_EQ(FolderStepTypes(), (std::vector<uint8_t>{OUTMSG_PRUNE_STARTED, OUTMSG_PRUNING_FOLDER,
                                                       OUTMSG_PRUNE_ENDED, OUTMSG_JOB_ENDED}));
    EXPECT_TRUE(engine_.OfType(OUTMSG_FLATTEN_STARTED).empty());
}

}  // namespace
