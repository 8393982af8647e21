// Where a copy's files go: sites on two ports of one host, and addresses whose names are too long
// for the file system.
#include "integration/CrawlTestSupport.h"
#include "platform/ErrorCodes.h"

#include <map>
#include <set>

namespace {

using namespace std::chrono_literals;

class LocalNameSiteTest : public TCrawlTestBase {
protected:
    static void Page(httplib::Server& server, const std::string& path, const std::string& body)
    {
        server.Get(path, [body](const httplib::Request&, httplib::Response& res) { res.set_content(body, "text/html"); });
    }
    // The download end reports of one run (1 the first), by address.
    std::map<std::string, TReportRecord> EndedInRun(size_t run)
    {
        std::map<std::string, TReportRecord> ended;
        size_t seenRun = 0;
        for (const TReportRecord& r : engine_.Reports()) {
            seenRun += r.type == OUTMSG_JOB_STARTED;
            if (seenRun == run && r.type == OUTMSG_DOWNLOAD_ENDED)
                ended[r.url] = r;
        }
        return ended;
    }
    std::set<std::string> FilesOfSite() const
    {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_ / "site"))
            files.insert(entry.path().string());
        return files;
    }
    static std::string NamePart(const std::string& file) { return std::filesystem::path(file).filename().string(); }
};

TEST_F(LocalNameSiteTest, SitesOnTwoPortsOfOneHostKeepTheirOwnFoldersAndLinks)
{
    httplib::Server other;
    const int otherPort = other.bind_to_any_port("127.0.0.1");
    const std::string otherBase = "http://127.0.0.1:" + std::to_string(otherPort);
    Page(server_, "/", "<html><body>first <a href=\"" + otherBase + "/\">other</a> <a href=\"b.html\">b</a></body></html>");
    Page(server_, "/b.html", "<html><body>first b</body></html>");
    Page(other, "/", "<html><body>second <a href=\"" + Url("/b.html") + "\">first b</a> <a href=\"b.html\">b</a></body></html>");
    Page(other, "/b.html", "<html><body>second b</body></html>");
    std::thread thread([&] { other.listen_after_bind(); });
    const int32_t code = RunJob();
    dispatcher_.reset();  // closes the kept-alive connections before the server stops
    nettest::StopServer(other, thread);
    ASSERT_EQ(code, JOB_END_COMPLETED);

    const auto ended = EndedInRun(1);
    ASSERT_EQ(ended.size(), 4u);
    for (const auto& [url, r] : ended) {
        EXPECT_EQ(r.filtered, 0) << url << " filter code " << int(r.filterCode);
        EXPECT_EQ(r.statusCode, 200) << url;
    }
    EXPECT_EQ(ended.at(otherBase + "/").localFile, Local("/index.html", otherPort));
    const std::string first = ReadTextFile(Local("/index.html"));
    const std::string second = ReadTextFile(Local("/index.html", otherPort));
    const std::string toOther = "../127.0.0.1+" + std::to_string(otherPort) + "/";
    const std::string toFirst = "../127.0.0.1+" + std::to_string(port_) + "/";
    EXPECT_NE(first.find("first <a href=\"" + toOther + "index.html\">other</a> <a href=\"b.html\">"),
              std::string::npos) << first;
    EXPECT_NE(second.find("second <a href=\"" + toFirst + "b.html\">first b</a> <a href=\"b.html\">"),
              std::string::npos) << second;
    EXPECT_EQ(ReadTextFile(Local("/b.html")), "<html><body>first b</body></html>");
    EXPECT_EQ(ReadTextFile(Local("/b.html", otherPort)), "<html><body>second b</body></html>");
}

TEST_F(LocalNameSiteTest, LongAddressesSharingTheirBeginningKeepTheirOwnFilesOnEveryRun)
{
    job_.SaveQueryResults = true;
    job_.DownloadOptions.AddFileExtensions = true;
    const std::string query = "/list?filter=" + std::string(250, 'a');
    const std::string sheet = "/" + std::string(300, 's') + ".css";
    const std::string tooLong = "/list?filter=" + std::string(10000, 'z');
    Page(server_, "/", "<html><head><link rel=\"stylesheet\" href=\"" + sheet.substr(1) + "\"></head><body>" +
                           "<a href=\"" + query + "1\">1</a> <a href=\"" + query + "2\">2</a> <a href=\"" +
                           tooLong + "\">too long</a></body></html>");
    server_.Get("/list", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("<html><body>" + req.get_param_value("filter").substr(250) + "</body></html>", "text/html");
    });
    server_.Get(sheet, [](const httplib::Request&, httplib::Response& res) { res.set_content("b{}", "text/css"); });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    auto ended = EndedInRun(1);
    const TReportRecord one = ended[Url(query + "1")], two = ended[Url(query + "2")];
    const TReportRecord css = ended[Url(sheet)];
    for (const TReportRecord& r : {one, two, css}) {
        EXPECT_EQ(r.filtered, 0) << r.url << " filter code " << int(r.filterCode);
        EXPECT_EQ(r.statusCode, 200) << r.url;
        EXPECT_EQ(r.errorCode, 0) << r.url;
        EXPECT_LE(NamePart(r.localFile).size(), 250u) << r.localFile;
        EXPECT_EQ(r.localFile.rfind(HostFolder() + "/", 0), 0u) << r.localFile;
    }
    EXPECT_NE(one.localFile, two.localFile);
    EXPECT_EQ(ReadTextFile(one.localFile), "<html><body>1</body></html>");
    EXPECT_EQ(ReadTextFile(two.localFile), "<html><body>2</body></html>");
    EXPECT_EQ(ReadTextFile(css.localFile), "b{}");
    EXPECT_EQ(css.localFile.substr(css.localFile.size() - 4), ".css");

    // The page leads to each file; the address too long to read is never asked for and is written
    // as the address it names.
    const std::string index = ReadTextFile(Local("/index.html"));
    EXPECT_NE(index.find("href=\"" + NamePart(css.localFile) + "\""), std::string::npos) << index;
    EXPECT_NE(index.find("<a href=\"" + NamePart(one.localFile) + "\">1</a>"), std::string::npos) << index;
    EXPECT_NE(index.find("<a href=\"" + NamePart(two.localFile) + "\">2</a>"), std::string::npos) << index;
    EXPECT_NE(index.find("<a href=\"" + Url(tooLong) + "\">too long</a>"), std::string::npos);
    for (const TRequest& r : Seen())
        EXPECT_EQ(r.path.find("zzz"), std::string::npos);

    // A second run that asks for every address again finds the same names: nothing new on disk,
    // the page unchanged.
    const std::set<std::string> files = FilesOfSite();
    job_.DownloadOptions.UpdateOldFiles = true;
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2, 60s));
    ended = EndedInRun(2);
    EXPECT_EQ(ended[Url(query + "1")].localFile, one.localFile);
    EXPECT_EQ(ended[Url(query + "2")].localFile, two.localFile);
    EXPECT_EQ(ended[Url(sheet)].localFile, css.localFile);
    EXPECT_EQ(ended[Url(query + "2")].statusCode, 200);
    EXPECT_EQ(FilesOfSite(), files);
    EXPECT_EQ(ReadTextFile(Local("/index.html")), index);
}

TEST_F(LocalNameSiteTest, NothingIsWrittenReadOrDeletedThroughAFolderLinkInTheDestination)
{
    // A page of the site already "copied" where a planted link leads, with a link of its own and a
    // word the job replaces: the copy neither reads nor edits it.
    const std::string outside = temp_ / "elsewhere";
    std::filesystem::create_directories(outside);
    const std::string planted = "<html><a href=\"/secret.htm\">s</a> word</html>";
    WriteTextFile(outside + "/page.htm", planted);
    Page(server_, "/", "<html><a href=\"sub/page.htm\">p</a> <a href=\"sub/new.htm\">n</a> word</html>");
    Page(server_, "/sub/page.htm", "<html>page word</html>");
    Page(server_, "/sub/new.htm", "<html>new word</html>");
    Page(server_, "/secret.htm", "secret");
    std::filesystem::create_directories(HostFolder());
    std::filesystem::create_directory_symlink(outside, Local("/sub"));
    job_.DownloadOptions.FindReplaceTasks.Count = 1;
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].FindString = "word";
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].ReplaceString = "WORD";
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].Flags = rfReplaceAll;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const std::string path : {"/sub/page.htm", "/sub/new.htm"}) {
        SCOPED_TRACE(path);
        const TReportRecord ended = EndedFor(path);
        EXPECT_EQ(ended.fileWritten, 0);
        EXPECT_EQ(ended.errorCodeValid, 1);
        EXPECT_EQ(ended.errorCode, static_cast<int32_t>(errc::AccessDenied));
    }
    EXPECT_EQ(ReadTextFile(outside + "/page.htm"), planted);
    EXPECT_EQ(FilesOfSite().count(outside + "/new.htm"), 0u);
    EXPECT_FALSE(std::filesystem::exists(outside + "/new.htm"));
    EXPECT_FALSE(std::filesystem::exists(outside + "/new.htm#part"));
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_STARTED))
        EXPECT_NE(r.url, Url("/secret.htm")) << "the page behind the link is not read";
    // The start page is copied and edited; a link to a file not copied stays an address.
    const std::string start = ReadTextFile(Local("/index.html"));
    EXPECT_NE(start.find("<a href=\"" + Url("/sub/new.htm") + "\">n</a> WORD</html>"), std::string::npos) << start;

    // A link planted at the site's own folder: the whole copy would land outside.
    std::filesystem::remove_all(temp_ / "site");
    std::filesystem::create_directories(temp_ / "site");
    std::filesystem::create_directory_symlink(outside, HostFolder());
    StartJob();
    ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, 2, std::chrono::seconds(60)));
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED)[1].startPage, "");
    EXPECT_EQ(engine_.OfType(OUTMSG_DOWNLOAD_ENDED).back().errorCode, static_cast<int32_t>(errc::AccessDenied));
    EXPECT_FALSE(std::filesystem::exists(outside + "/index.html"));
    EXPECT_EQ(ReadTextFile(outside + "/page.htm"), planted);
}

// A job that starts at a page on this computer, outside the destination: the page is read where it
// is and its links are followed by the job's rules. It is never written, and nothing it names on
// disk is read.
TEST_F(LocalNameSiteTest, AStartPageOnDiskIsReadWhereItIsAndNeverWritten)
{
    const std::string home = temp_ / "home";
    std::filesystem::create_directories(home);
    const std::string list = home + "/reading-list.html";
    const std::string text = "<html><a href=\"" + Url("/a.htm") + "\">a</a> <a href=\"neighbour.html\">n</a> "
                             "<a href=\"http://other.invalid/x.htm\">x</a> <img src=\"" + Url("/i.gif") +
                             "\"> word</html>";
    WriteTextFile(list, text);
    const std::string neighbour = "<html><a href=\"" + Url("/secret.htm") + "\">s</a></html>";
    WriteTextFile(home + "/neighbour.html", neighbour);
    const auto listTime = std::filesystem::last_write_time(list) - std::chrono::hours(48);
    std::filesystem::last_write_time(list, listTime);
    Page(server_, "/a.htm", "<html><a href=\"b.htm\">b</a> word</html>");
    Page(server_, "/b.htm", "<html>b</html>");
    Page(server_, "/secret.htm", "secret");
    server_.Get("/i.gif", [](const httplib::Request&, httplib::Response& res) { res.set_content("GIF89a", "image/gif"); });
    job_.StartingWebAddress.SetFullURL("file://" + list);
    job_.RestrictLocation = 3;
    job_.Hosts = "127.0.0.1";
    job_.HostsPurpose = 1;
    job_.AddMarkOfWebOnRewrite = true;
    job_.DownloadOptions.ApplyParsingFilter = true;
    job_.DownloadOptions.FindReplaceTasks.Count = 1;
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].FindString = "word";
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].ReplaceString = "WORD";
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].Flags = rfReplaceAll;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const char* path : {"/a.htm", "/b.htm", "/i.gif"})
        EXPECT_EQ(EndedFor(path).fileWritten, 1) << path;
    EXPECT_NE(ReadTextFile(Local("/a.htm")).find("href=\"b.htm\">b</a> WORD"), std::string::npos);
    EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED).back().startPage, list);
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED)) {
        EXPECT_NE(r.url, Url("/secret.htm")) << "a page beside the start page is not read";
        if (r.url == "http://other.invalid/x.htm") {
            EXPECT_EQ(r.filterCode, FILTER_HOST);
        }
    }
    for (const TRequest& request : Seen())
        EXPECT_NE(request.path, "/secret.htm");
    // Read, not written: the same bytes and time, nothing beside it, nothing of it in the copy.
    EXPECT_EQ(ReadTextFile(list), text);
    EXPECT_EQ(std::filesystem::last_write_time(list), listTime);
    EXPECT_EQ(ReadTextFile(home + "/neighbour.html"), neighbour);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home), std::filesystem::directory_iterator()), 2);
    for (const std::string& file : FilesOfSite())
        EXPECT_EQ(file.find("reading-list"), std::string::npos) << file;
}

}  // namespace
