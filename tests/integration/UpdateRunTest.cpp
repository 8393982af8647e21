// Update runs against a server that answers 304 only for its own Last-Modified date, as common
// servers do: the copy keeps the server's times, so an unchanged site costs no body at all.
#include "integration/CrawlTestSupport.h"
#include "platform/ErrorCodes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
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
            std::unique_lock<std::mutex> guard(filesLock_);
            // A held path answers once the test lets it go (or the test ends).
            heldAnswer_.wait_for(guard, std::chrono::seconds(20), [&] { return held_ != path || release_; });
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

    ~UpdateRunTest() override
    {
        LetGo();
        StopServing();  // the handlers read files_
    }

    // Starts the job again with the answer for held kept back, and waits until the copy's pages
    // have been read.
    void StartAgainHolding(const std::string& held, const std::vector<std::string>& pages, size_t& reportsBefore)
    {
        {
            std::lock_guard<std::mutex> guard(filesLock_);
            held_ = held;
        }
        seenBefore_ = Seen().size();
        reportsBefore = engine_.Reports().size();
        StartJob();
        const size_t from = reportsBefore;
        ASSERT_TRUE(engine_.WaitUntil([&](const std::vector<TReportRecord>& all) {
            size_t read = 0;
            for (size_t i = from; i < all.size(); ++i)
                if (all[i].type == OUTMSG_READ_ENDED &&
                    std::find(pages.begin(), pages.end(), all[i].localFile) != pages.end())
                    ++read;
            return read == pages.size();
        })) << EventLog();
    }
    void LetGo()
    {
        {
            std::lock_guard<std::mutex> guard(filesLock_);
            held_.clear();
        }
        heldAnswer_.notify_all();
    }

    std::mutex filesLock_;
    std::condition_variable heldAnswer_;
    std::string held_;
    std::map<std::string, TFile> files_;
    size_t seenBefore_ = 0;
    std::atomic<bool> hold_{false};  // the held path answers only once released
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

// Pages of the copy are read while a download runs, each page's reports together and in order;
// a pause, a stop and a cancel then act as they do in a first copy, and the copy stays as it was.
TEST_F(UpdateRunTest, PagesOnDiskAreReadWhileADownloadRuns)
{
    ServeSite(kFirstDate);
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    std::map<std::string, std::string> before;
    for (const char* path : {"/index.html", "/a.html", "/site.css", "/logo.gif"})
        before[path] = ReadTextFile(Local(path));

    for (const uint8_t command : {INMSG_STOP_JOB, INMSG_ABORT_JOB}) {
        SCOPED_TRACE(static_cast<int>(command));
        size_t from = 0;
        const std::vector<std::string> pages = {Local("/a.html"), Local("/index.html"), Local("/site.css")};  // sorted
        StartAgainHolding("/logo.gif", pages, from);
        engine_.Input().PostPauseJob(kJobID);
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_PAUSED, command == INMSG_STOP_JOB ? 1 : 2));
        engine_.Input().PostResumeJob(kJobID);
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_RESUMED, command == INMSG_STOP_JOB ? 1 : 2));
        const size_t ends = engine_.OfType(OUTMSG_JOB_ENDED).size();
        if (command == INMSG_STOP_JOB)
            engine_.Input().PostStopJob(kJobID);
        else
            engine_.Input().PostAbortJob(kJobID);
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, ends + 1));
        LetGo();
        const bool stop = command == INMSG_STOP_JOB;
        EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode, stop ? JOB_END_STOPPED : JOB_END_CANCELLED);

        const std::vector<TReportRecord> all = engine_.Reports();
        std::vector<std::string> read;  // pages, as their reports came
        std::vector<std::string> linksOfA;
        size_t writes = 0;
        size_t logoStarted = 0, aRead = 0, logoEnded = 0;
        std::string page;
        for (size_t i = from; i < all.size(); ++i) {
            const TReportRecord& r = all[i];
            const bool logo = r.url == Url("/logo.gif");
            if (r.type == OUTMSG_DOWNLOAD_STARTED && logo)
                logoStarted = i;
            else if (r.type == OUTMSG_DOWNLOAD_ENDED && logo)
                logoEnded = i;
            if (r.type == OUTMSG_READ_STARTED) {
                EXPECT_EQ(page, "") << "read of " << r.localFile << " inside that of " << page;
                page = r.localFile;
            } else if (r.type == OUTMSG_READ_PROGRESS || r.type == OUTMSG_LINK_FOUND) {
                EXPECT_NE(page, "");
                if (r.type == OUTMSG_LINK_FOUND && page == Local("/a.html"))
                    linksOfA.push_back(r.url);
            } else if (r.type == OUTMSG_READ_ENDED) {
                EXPECT_EQ(r.localFile, page);
                read.push_back(page);
                aRead = page == Local("/a.html") ? i : aRead;
                page.clear();
            } else {
                EXPECT_EQ(page, "") << "report " << static_cast<int>(r.type) << " inside the read of " << page;
                writes += r.type == OUTMSG_WRITE_STARTED ? 1 : 0;
            }
        }
        // The page was read from disk while the image was being downloaded.
        EXPECT_LT(logoStarted, aRead);
        EXPECT_LT(aRead, logoEnded);
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, pages);
        // Followed as the address the file of the copy stands for.
        EXPECT_EQ(linksOfA, std::vector<std::string>{Url("/")});
        std::map<std::string, TReportRecord> run = LastRun(from);
        EXPECT_EQ(run["/logo.gif"].result, stop ? DL_RESULT_CANCELLED : DL_RESULT_JOB_CANCELLED);
        EXPECT_EQ(run["/a.html"].statusCode, 304);
        // Pages of the copy whose links all stay as they are are not rewritten at all.
        EXPECT_EQ(writes, 0u);
        for (const auto& [path, text] : before)
            EXPECT_EQ(ReadTextFile(Local(path)), text) << path;
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
        // Asked as a copy without an index is: the pages fetched whole, since their saved links
        // name local files, the rest by the times of its files.
        std::map<std::string, TReportRecord> ended = LastRun(reports);
        EXPECT_EQ(ended["/"].statusCode, 200);
        EXPECT_EQ(ended["/logo.gif"].statusCode, 304);
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

// An update writes only what changed, not even the same bytes again: each unchanged file keeps
// its inode and time, and a page edited by hand in the copy keeps the edit. A page answered 304
// whose link now leads to a file of the copy is rewritten, with the edit it has.
TEST_F(UpdateRunTest, UnchangedFilesAreLeftAsTheyAreOnDisk)
{
    const std::string when = HttpDate(kFirstDate);
    Serve("/", {"<html><body><a href=\"a.html\">a</a> <a href=\"b.html\">b</a><img src=\"logo.gif\"></body></html>",
                "text/html", when});
    Serve("/a.html", {"<html><body><a href=\"index.html\">home</a></body></html>", "text/html", when});
    Serve("/logo.gif", {"GIF89a", "image/gif", when});
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    ASSERT_FALSE(Exists(Local("/b.html")));
    EXPECT_NE(ReadTextFile(Local("/index.html")).find(Url("/b.html")), std::string::npos);
    const auto editByHand = [&](const std::string& path, const std::string& note) {
        WriteTextFile(Local(path), ReadTextFile(Local(path)) + note);
        const struct timespec times[2] = {{kFirstDate, 0}, {kFirstDate, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Local(path).c_str(), times, 0), 0);
    };
    editByHand("/a.html", "<p>my note</p>");
    editByHand("/index.html", "<p>index note</p>");
    struct TOnDisk {
        ino_t inode = 0;
        time_t time = 0;
        std::string bytes;
    };
    const auto onDisk = [&](const char* path) {
        struct stat st {};
        EXPECT_EQ(::stat(Local(path).c_str(), &st), 0) << path;
        return TOnDisk{st.st_ino, st.st_mtime, ReadTextFile(Local(path))};
    };
    const char* const paths[] = {"/index.html", "/a.html", "/logo.gif"};
    std::map<std::string, TOnDisk> before;
    for (const char* path : paths)
        before[path] = onDisk(path);

    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    for (const char* path : paths) {
        const TOnDisk now = onDisk(path);
        EXPECT_EQ(now.inode, before[path].inode) << path;
        EXPECT_EQ(now.time, kFirstDate) << path;
        EXPECT_EQ(now.bytes, before[path].bytes) << path;
    }

    Serve("/b.html", {"<html><body>b</body></html>", "text/html", when});
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    ASSERT_TRUE(Exists(Local("/b.html")));
    EXPECT_EQ(LastRun(reports)["/"].statusCode, 304);
    const TOnDisk index = onDisk("/index.html");
    EXPECT_NE(index.bytes.find("href=\"b.html\""), std::string::npos);
    EXPECT_EQ(index.bytes.find(Url("/b.html")), std::string::npos);
    EXPECT_NE(index.bytes.find("<p>index note</p>"), std::string::npos);
    EXPECT_EQ(index.time, kFirstDate);
    const TOnDisk a = onDisk("/a.html");
    EXPECT_EQ(a.inode, before["/a.html"].inode);
    EXPECT_EQ(a.bytes, before["/a.html"].bytes);
}

// Pause, resume, stop and cancel while an update run waits for an answer end the job as in a
// fresh run, and the copy stays whole: no file is lost or written again.
TEST_F(UpdateRunTest, PauseStopAndCancelDuringAnUpdateLeaveTheCopyWhole)
{
    const std::string when = HttpDate(kFirstDate);
    Serve("/", {"<html><body><a href=\"a.html\">a</a><a href=\"held.html\">h</a></body></html>", "text/html", when});
    Serve("/a.html", {"<html><body><a href=\"index.html\">home</a></body></html>", "text/html", when});
    server_.Get("/held.html", [this, when](const httplib::Request& req, httplib::Response& res) {
        while (hold_)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (req.get_header_value("If-Modified-Since") == when) {
            res.status = 304;
            return;
        }
        res.set_header("Last-Modified", when);
        res.set_content("<html><body><a href=\"a.html\">a</a></body></html>", "text/html");
    });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    const char* const paths[] = {"/index.html", "/a.html", "/held.html"};
    std::map<std::string, std::pair<ino_t, std::string>> before;
    for (const char* path : paths) {
        struct stat st {};
        ASSERT_EQ(::stat(Local(path).c_str(), &st), 0) << path;
        before[path] = {st.st_ino, ReadTextFile(Local(path))};
    }
    for (const bool cancel : {false, true}) {
        hold_ = true;
        const size_t started = engine_.OfType(OUTMSG_DOWNLOAD_STARTED).size();
        const size_t ended = engine_.OfType(OUTMSG_JOB_ENDED).size();
        StartJob();
        // The start page came back 304 and its links from disk are being asked about.
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_DOWNLOAD_STARTED, started + 3));
        if (cancel) {
            engine_.Input().PostAbortJob(kJobID);
        } else {
            const size_t paused = engine_.OfType(OUTMSG_JOB_PAUSED).size();
            engine_.Input().PostPauseJob(kJobID);
            ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_PAUSED, paused + 1));
            engine_.Input().PostResumeJob(kJobID);
            ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_RESUMED, paused + 1));
            engine_.Input().PostStopJob(kJobID);
        }
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, ended + 1));
        hold_ = false;
        EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode, cancel ? JOB_END_CANCELLED : JOB_END_STOPPED);
        for (const char* path : paths) {
            struct stat st {};
            ASSERT_EQ(::stat(Local(path).c_str(), &st), 0) << path;
            EXPECT_EQ(st.st_ino, before[path].first) << path;
            EXPECT_EQ(ReadTextFile(Local(path)), before[path].second) << path;
        }
    }
    // The next run finds the copy and its index as they were.
    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    for (const auto& [path, report] : LastRun(reports))
        EXPECT_EQ(report.statusCode, 304) << path;
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

// A copy whose index is lost: every file its pages reach is asked about under its own address,
// those saved from query addresses too, kept current, and named by the new index.
TEST_F(UpdateRunTest, ALostIndexLosesNoFileSavedFromAQueryAddress)
{
    job_.DownloadOptions.AddFileExtensions = true;
    job_.SaveQueryResults = true;
    const std::string when = HttpDate(kFirstDate);
    Serve("/", {"<html><body><a href=\"page.html?ref=0\">0</a><a href=\"list.asp?p=2\">2</a>"
                "<img src=\"pic.gif\"></body></html>",
                "text/html", when});
    Serve("/page.html", {"<html><body>page <img src=\"pic.gif\"></body></html>", "text/html", when});
    Serve("/list.asp", {"<html><body>list</body></html>", "text/html", when});
    Serve("/pic.gif", {"GIF89a", "image/gif", when});
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    ASSERT_TRUE(Exists(Local("/page.html_ref=0.htm")));
    ASSERT_TRUE(Exists(Local("/list.asp_p=2.htm")));
    const std::string index = temp_ / "site/.gleanery#index";
    std::filesystem::remove(index);

    Serve("/list.asp", {"<html><body>list, changed</body></html>", "text/html", HttpDate(kSecondDate)});
    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    const std::vector<TRequest> seen = Seen();
    for (size_t i = seenBefore_; i < seen.size(); ++i)
        EXPECT_EQ(files_.count(seen[i].path), 1u) << "asked for an address the site never linked: " << seen[i].path;
    std::map<std::string, TReportRecord> second = LastRun(reports);
    EXPECT_EQ(second["/list.asp?p=2"].fileWritten, 1);
    EXPECT_NE(ReadTextFile(Local("/list.asp_p=2.htm")).find("changed"), std::string::npos);
    EXPECT_EQ(second["/page.html?ref=0"].statusCode, 200);
    // A file not read for links is asked about by its time.
    EXPECT_EQ(Asked("/pic.gif"), std::vector<std::string>{when});
    EXPECT_EQ(second["/pic.gif"].statusCode, 304);
    const std::string written = ReadTextFile(index);
    for (const char* path : {"/", "/page.html?ref=0", "/list.asp?p=2", "/pic.gif"})
        EXPECT_NE(written.find(Url(path) + "\t"), std::string::npos) << path;

    // With the index back, a change behind an unchanged page reaches its file again.
    Serve("/page.html", {"<html><body>page, changed</body></html>", "text/html", HttpDate(kSecondDate)});
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> third = LastRun(reports);
    EXPECT_EQ(third["/"].statusCode, 304);
    EXPECT_EQ(third["/page.html?ref=0"].fileWritten, 1);
    EXPECT_NE(ReadTextFile(Local("/page.html_ref=0.htm")).find("changed"), std::string::npos);
    EXPECT_EQ(third["/list.asp?p=2"].statusCode, 304);
}

// Symbolic links planted in a copy, at a file's place, at a folder the index names files in, at
// the host folder and at the index itself, with the index kept and lost: the update runs open,
// read and date nothing outside the destination and write nothing through the links.
TEST_F(UpdateRunTest, PlantedLinksAreNeitherReadNorDatedNorWrittenThrough)
{
    const std::string when = HttpDate(kFirstDate);
    Serve("/", {"<html><body><a href=\"a.html\">a</a><a href=\"sub/b.html\">b</a><img src=\"logo.gif\">"
                "</body></html>",
                "text/html", when});
    Serve("/a.html", {"<html><body>a</body></html>", "text/html", when});
    Serve("/sub/b.html", {"<html><body>b</body></html>", "text/html", when});
    Serve("/logo.gif", {"GIF89a", "image/gif", when});
    Serve("/secret.html", {"secret", "text/html", when});
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    // Pages outside that link on, dated as the server's copies are, so that a date taken from
    // them would be answered 304.
    const std::filesystem::path outside = temp_ / "outside";
    std::filesystem::create_directories(outside / "sub");
    const std::string planted = "<html><a href=\"" + Url("/secret.html") + "\">s</a></html>";
    for (const char* name : {"page.html", "sub/b.html", "index"}) {
        WriteTextFile(outside / name, planted);
        std::filesystem::last_write_time(outside / name, std::filesystem::last_write_time(Local("/a.html")));
    }
    auto unchangedOutside = [&] {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(outside))
            if (entry.is_regular_file()) {
                EXPECT_EQ(ReadTextFile(entry.path()), planted) << entry.path();
                EXPECT_EQ(LastWriteTime(entry.path()), kFirstDate) << entry.path();
            }
    };
    std::filesystem::remove(Local("/a.html"));
    std::filesystem::create_symlink(outside / "page.html", Local("/a.html"));
    std::filesystem::remove_all(Local("/sub"));
    std::filesystem::create_directory_symlink(outside / "sub", Local("/sub"));
    const std::string index = temp_ / "site/.gleanery#index";
    const std::string kept = ReadTextFile(index);
    ASSERT_NE(kept.find("/sub/b.html\t"), std::string::npos);

    auto checkRun = [&](const char* what) {
        SCOPED_TRACE(what);
        size_t reports = 0;
        ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
        std::map<std::string, TReportRecord> ended = LastRun(reports);
        for (const char* path : {"/a.html", "/sub/b.html"}) {
            for (const TRequest& request : RequestsOf(path)) {
                EXPECT_EQ(request.headers.count("If-Modified-Since"), 0u) << path;
                EXPECT_EQ(request.headers.count("If-None-Match"), 0u) << path;
            }
            EXPECT_EQ(ended[path].fileWritten, 0) << path;
            EXPECT_EQ(ended[path].errorCode, static_cast<int32_t>(errc::AccessDenied)) << path;
        }
        EXPECT_TRUE(RequestsOf("/secret.html").empty());
        unchangedOutside();
        EXPECT_TRUE(std::filesystem::is_symlink(Local("/a.html")));
        const std::string written = ReadTextFile(index);
        EXPECT_EQ(written.find(Url("/a.html")), std::string::npos);
        EXPECT_EQ(written.find(Url("/sub/b.html")), std::string::npos);
        EXPECT_NE(written.find(Url("/logo.gif")), std::string::npos);
    };
    // The index names files behind the links.
    WriteTextFile(index, kept);
    checkRun("index kept");
    std::filesystem::remove(index);
    checkRun("index lost");

    // The index is a link itself: passed over, and replaced rather than written through.
    std::filesystem::remove(index);
    std::filesystem::create_symlink(outside / "index", index);
    checkRun("index a link");
    EXPECT_FALSE(std::filesystem::is_symlink(index));

    // The host folder is a link to a copy outside: nothing there is asked about by its date,
    // read or written.
    std::filesystem::remove_all(outside);
    std::filesystem::create_directories(outside);
    std::filesystem::rename(HostFolder(), outside / "copy");
    std::filesystem::create_directory_symlink(outside / "copy", HostFolder());
    std::map<std::string, std::string> before;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(outside))
        if (entry.is_regular_file())
            before[entry.path()] = ReadTextFile(entry.path());
    size_t reports = 0;
    ASSERT_EQ(RunAgain(reports), JOB_END_COMPLETED);
    for (const TRequest& request : RequestsOf("/"))
        EXPECT_EQ(request.headers.count("If-Modified-Since"), 0u);
    EXPECT_EQ(LastRun(reports)["/"].fileWritten, 0);
    for (const auto& [path, text] : before) {
        EXPECT_EQ(ReadTextFile(path), text) << path;
        EXPECT_EQ(LastWriteTime(path), kFirstDate) << path;
    }
}

}  // namespace
