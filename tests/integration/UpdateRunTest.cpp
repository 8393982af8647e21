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
        std::string lastModified;  // the header as sent; empty: none
    };

    UpdateRunTest() { job_.DownloadOptions.UpdateOldFiles = true; }

    // Serves the path; 304 only when If-Modified-Since is exactly its Last-Modified.
    void Serve(const std::string& path, TFile file)
    {
        {
            std::lock_guard<std::mutex> guard(filesLock_);
            files_[path] = std::move(file);
        }
        server_.Get(path, [this, path](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> guard(filesLock_);
            const TFile& f = files_[path];
            if (!f.lastModified.empty() && req.get_header_value("If-Modified-Since") == f.lastModified) {
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
