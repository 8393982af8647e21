// Update runs against a server that answers 304 only for its own Last-Modified date, as common
// servers do: the copy keeps the server's times, so an unchanged site costs no body at all.
#include "integration/CrawlTestSupport.h"

#include <sys/stat.h>

#include <ctime>
#include <map>

namespace {

constexpr time_t kFirstDate = 1577836800;   // Wed, 01 Jan 2020 00:00:00 GMT
constexpr time_t kSecondDate = 1577923200;  // Thu, 02 Jan 2020 00:00:00 GMT

std::string HttpDate(time_t t)
{
    char text[64];
    struct tm tm {};
    gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

time_t LastWriteTime(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class UpdateRunTest : public TCrawlTestBase {
protected:
    struct TFile {
        std::string body;
        std::string type;
        std::string lastModified{};  // the header as sent; empty: none
        std::string etag{};          // likewise
        bool alwaysNotModified = false;
    };

    UpdateRunTest() { job_.DownloadOptions.UpdateOldFiles = true; }

    // Serves the path; 304 only when If-None-Match names its ETag or, without If-None-Match,
    // If-Modified-Since is exactly its Last-Modified.
    void Serve(const std::string& path, TFile file)
    {
        {
            std::lock_guard<std::mutex> guard(filesLock_);
            files_[path] = std::move(file);
        }
        server_.Get(path, [this, path](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> guard(filesLock_);
            const TFile& f = files_[path];
            const bool unchanged = req.has_header("If-None-Match")
                                       ? !f.etag.empty() && req.get_header_value("If-None-Match") == f.etag
                                       : !f.lastModified.empty() &&
                                             req.get_header_value("If-Modified-Since") == f.lastModified;
            if (!f.etag.empty())
                res.set_header("ETag", f.etag);
            if (unchanged || f.alwaysNotModified) {
                res.status = 304;
                return;
            }
            if (!f.lastModified.empty())
                res.set_header("Last-Modified", f.lastModified);
            res.set_content(f.body, f.type);
        });
    }
    void ServeSite(time_t date)
    {
        const std::string when = HttpDate(date);
        Serve("/", {"<html><head><link rel=stylesheet href=\"site.css\"></head><body>"
                    "<a href=\"a.html\">a</a><img src=\"logo.gif\"></body></html>",
                    "text/html", when});
        Serve("/a.html", {"<html><body><a href=\"index.html\">home</a></body></html>", "text/html", when});
        Serve("/site.css", {"body { color: red }", "text/css", when});
        Serve("/logo.gif", {"GIF89a", "image/gif", when});
    }
    // The end reports of the last run, by path.
    std::map<std::string, TReportRecord> LastRun(size_t reportsBefore)
    {
        std::map<std::string, TReportRecord> ended;
        const std::vector<TReportRecord> all = engine_.Reports();
        for (size_t i = reportsBefore; i < all.size(); ++i)
            if (all[i].type == OUTMSG_DOWNLOAD_ENDED)
                ended[all[i].url.substr(Url("").size())] = all[i];
        return ended;
    }
    // The requests of the last run for the path, each as the If-Modified-Since it carried.
    std::vector<std::string> Asked(const std::string& path)
    {
        std::vector<std::string> asked;
        const std::vector<TRequest> seen = Seen();
        for (size_t i = seenBefore_; i < seen.size(); ++i)
            if (seen[i].path == path)
                asked.push_back(seen[i].headers.count("If-Modified-Since") ? seen[i].headers.find("If-Modified-Since")->second
                                                                            : "");
        return asked;
    }
    // The requests of the last run for the path.
    std::vector<TRequest> RequestsOf(const std::string& path)
    {
        std::vector<TRequest> asked;
        const std::vector<TRequest> seen = Seen();
        for (size_t i = seenBefore_; i < seen.size(); ++i)
            if (seen[i].path == path)
                asked.push_back(seen[i]);
        return asked;
    }
    int32_t RunAgain(size_t& reportsBefore)
    {
        seenBefore_ = Seen().size();
        reportsBefore = engine_.Reports().size();
        const size_t ends = engine_.OfType(OUTMSG_JOB_ENDED).size();
        StartJob();
        if (!engine_.WaitForCount(OUTMSG_JOB_ENDED, ends + 1))
            return 0;
        return engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode;
    }

    std::mutex filesLock_;
    std::map<std::string, TFile> files_;
    size_t seenBefore_ = 0;
};

TEST_F(UpdateRunTest, UnchangedSiteComesBack304AndAChangedFileIsFetchedAgain)
{
    ServeSite(kFirstDate);
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const char* const paths[] = {"/index.html", "/a.html", "/site.css", "/logo.gif"};
    // Every file keeps the server's time, the rewritten pages too.
    for (const char* path : paths)
        EXPECT_EQ(LastWriteTime(Local(path)), kFirstDate) << path;
    EXPECT_NE(ReadTextFile(Local("/a.html")).find("href=\"index.html\""), std::string::npos);
    std::map<std::string, std::string> before;
    for (const char* path : paths)
        before[path] = ReadTextFile(Local(path));

    // Nothing is written again: the start page comes back 304, and the files its saved copy
    // links to are taken from disk.
    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> second = LastRun(reports);
    EXPECT_EQ(second["/"].statusCode, 304);
    EXPECT_EQ(Asked("/"), std::vector<std::string>{HttpDate(kFirstDate)});  // one conditional request
    for (const auto& [path, report] : second) {
        EXPECT_EQ(report.fileWritten, 0) << path;
        if (report.url.rfind("http", 0) == 0) {
            EXPECT_EQ(report.statusCode, 304) << path;
        }
    }
    for (const char* path : paths) {
        EXPECT_EQ(ReadTextFile(Local(path)), before[path]) << path;
        EXPECT_EQ(LastWriteTime(Local(path)), kFirstDate) << path;
    }

    // The start page changes on the server: it alone is fetched again and takes its new time;
    // the files it links to are asked for again and come back 304.
    Serve("/", {"<html><head><link rel=stylesheet href=\"site.css\"></head><body>new "
                "<a href=\"a.html\">a</a><img src=\"logo.gif\"></body></html>",
                "text/html", HttpDate(kSecondDate)});
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> third = LastRun(reports);
    EXPECT_EQ(third["/"].statusCode, 200);
    EXPECT_EQ(third["/"].fileWritten, 1);
    EXPECT_NE(ReadTextFile(Local("/index.html")).find("new"), std::string::npos);
    EXPECT_EQ(LastWriteTime(Local("/index.html")), kSecondDate);
    EXPECT_EQ(Asked("/").size(), 1u);
    for (const char* path : {"/a.html", "/site.css", "/logo.gif"}) {
        EXPECT_EQ(Asked(path), std::vector<std::string>{HttpDate(kFirstDate)}) << path;
        EXPECT_EQ(third[path].statusCode, 304) << path;
        EXPECT_EQ(third[path].fileWritten, 0) << path;
        EXPECT_EQ(LastWriteTime(Local(path)), kFirstDate) << path;
    }
}

// Pages that change behind pages that do not, and a new page: the update run asks about every
// file of the copy once, with the validators it was saved with, and follows the links of the
// unchanged pages as the addresses they stand for.
TEST_F(UpdateRunTest, ChangedPagesBehindUnchangedOnesAreFetched)
{
    job_.DownloadOptions.AddFileExtensions = true;
    job_.DownloadOptions.UseReferrer = true;
    job_.SaveQueryResults = true;
    const std::string when = HttpDate(kFirstDate);
    Serve("/", {"<html><body><a href=\"l1.html\">1</a><a href=\"p.asp?id=1\">q</a></body></html>", "text/html",
                when});
    Serve("/l1.html", {"<html><body><a href=\"sub/L2.html\">2</a></body></html>", "text/html", when});
    Serve("/sub/L2.html", {"<html><body><a href=\"../l3.html#s\">3</a></body></html>", "text/html", when});
    // Known by its ETag alone.
    Serve("/l3.html", {"<html><body>three</body></html>", "text/html", "", "\"v1\""});
    Serve("/p.asp", {"<html><body>query</body></html>", "text/html", when});
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    ASSERT_TRUE(Exists(Local("/p.asp_id=1.htm")));

    Serve("/sub/L2.html", {"<html><body><a href=\"../l3.html#s\">3</a><a href=\"new.html\">n</a></body></html>",
                           "text/html", HttpDate(kSecondDate)});
    Serve("/sub/new.html", {"<html><body>new</body></html>", "text/html", HttpDate(kSecondDate)});
    Serve("/l3.html", {"<html><body>three, again</body></html>", "text/html", "", "\"v2\""});
    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> second = LastRun(reports);
    for (const char* path : {"/", "/l1.html", "/p.asp"}) {
        const std::vector<TRequest> asked = RequestsOf(path);
        ASSERT_EQ(asked.size(), 1u) << path;
        EXPECT_EQ(asked[0].headers.count("If-Modified-Since"), 1u) << path;
    }
    EXPECT_EQ(second["/"].statusCode, 304);
    EXPECT_EQ(second["/l1.html"].statusCode, 304);
    EXPECT_EQ(second["/p.asp?id=1"].statusCode, 304);
    EXPECT_EQ(second["/p.asp?id=1"].fileWritten, 0);
    const std::vector<TRequest> l3 = RequestsOf("/l3.html");
    ASSERT_EQ(l3.size(), 1u);
    EXPECT_EQ(l3[0].headers.find("If-None-Match")->second, "\"v1\"");
    // Found in a page read from disk, the link is sent its page's address as the referrer.
    const std::vector<TRequest> l2 = RequestsOf("/sub/L2.html");
    ASSERT_EQ(l2.size(), 1u);
    EXPECT_EQ(l2[0].headers.find("Referer")->second, Url("/l1.html"));
    EXPECT_NE(ReadTextFile(Local("/sub/L2.html")).find("new.html"), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/l3.html")).find("again"), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/sub/new.html")).find("new"), std::string::npos);
    for (const TReportRecord& r : engine_.Reports()) {
        EXPECT_EQ(r.url.rfind("file:", 0), std::string::npos) << r.url;
    }

    // Nothing changed: every file is asked about once more and nothing is written.
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> third = LastRun(reports);
    EXPECT_EQ(third.size(), 6u);
    for (const auto& [path, report] : third) {
        EXPECT_EQ(report.statusCode, 304) << path;
        EXPECT_EQ(report.fileWritten, 0) << path;
    }
}

// Files the index of the copy can no longer vouch for are fetched afresh; nothing is lost.
TEST_F(UpdateRunTest, DamagedIndexMissingFilesAndOddAnswersLoseNothing)
{
    const std::string when = HttpDate(kFirstDate);
    ServeSite(kFirstDate);
    // A validator no index keeps.
    Serve("/a.html", {"<html><body><a href=\"index.html\">home</a></body></html>", "text/html", when,
                      "\"" + std::string(10000, 'e') + "\""});
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const std::string index = temp_ / "site/.gleanery#index";
    const std::string saved = ReadTextFile(index);
    ASSERT_NE(saved.find(Url("/a.html")), std::string::npos);
    EXPECT_EQ(saved.find("eeee"), std::string::npos);

    const std::string damaged[] = {saved.substr(0, saved.size() / 2),
                                   "Gleanery copy index 1\t/elsewhere\n" + saved.substr(saved.find('\n') + 1),
                                   saved + "edited by hand\n", std::string("\0\x01\xff", 3)};
    size_t reports = 0;
    for (const std::string& text : damaged) {
        WriteTextFile(index, text);
        ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
        // Asked as a copy without an index is: by the times of its files.
        EXPECT_EQ(LastRun(reports)["/"].statusCode, 304);
        for (const char* path : {"/index.html", "/a.html", "/site.css", "/logo.gif"})
            EXPECT_TRUE(Exists(Local(path))) << path;
        EXPECT_NE(EventLog().find("Copy index"), std::string::npos);
    }
    // A written index again after the damaged one.
    EXPECT_EQ(ReadTextFile(index).rfind("Gleanery copy index 1\t", 0), 0u);

    // A file gone from the copy is fetched whole; a 304 to a request without conditions
    // confirms nothing.
    std::filesystem::remove(Local("/site.css"));
    Serve("/logo.gif", {"GIF89a", "image/gif", when, "", true});
    std::filesystem::remove(Local("/logo.gif"));
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> last = LastRun(reports);
    EXPECT_EQ(last["/site.css"].statusCode, 200);
    EXPECT_EQ(RequestsOf("/site.css")[0].headers.count("If-Modified-Since"), 0u);
    EXPECT_TRUE(Exists(Local("/site.css")));
    EXPECT_EQ(last["/logo.gif"].statusCode, 304);
    EXPECT_FALSE(Exists(Local("/logo.gif")));
    EXPECT_EQ(ReadTextFile(index).find(Url("/logo.gif")), std::string::npos);
}

// Dates a copy cannot take: it keeps the time it was written.
TEST_F(UpdateRunTest, FutureFarPastOrUnreadableDatesLeaveTheDownloadTime)
{
    const time_t now = std::time(nullptr);
    Serve("/", {"<html><body><a href=\"future.html\">f</a><a href=\"past.html\">p</a><a href=\"bad.html\">b</a>"
                "<a href=\"none.html\">n</a></body></html>",
                "text/html", HttpDate(now + 86400 * 365)});
    Serve("/future.html", {"<html>f</html>", "text/html", HttpDate(now + 3600)});
    Serve("/past.html", {"<html>p</html>", "text/html", HttpDate(1)});
    Serve("/bad.html", {"<html>b</html>", "text/html", "yesterday, about noon"});
    Serve("/none.html", {"<html>n</html>", "text/html", ""});
    const time_t started = std::time(nullptr);
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const time_t ended = std::time(nullptr);
    for (const char* path : {"/index.html", "/future.html", "/past.html", "/bad.html", "/none.html"}) {
        const time_t written = LastWriteTime(Local(path));
        EXPECT_GE(written, started) << path;
        EXPECT_LE(written, ended) << path;
    }
}

}  // namespace
