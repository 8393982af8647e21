#include "engine/crawl/JobDownloadFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TURL Url(const std::string& text)
{
    TURL url;
    url.SetFullURL(text);
    return url;
}

class DownloadFilter : public ::testing::Test {
protected:
    DownloadFilter()
    {
        job.Clear();
        job.DestinationFolder = "/Tmp/Dest";
        job.StartingWebAddress.SetFullURL("http://s.com/docs/index.html");
        job.RestrictLocation = 3;
        job.MaxDistance = -1;
    }
    void Load(bool reset = true) { filter.LoadJob(job, reset, reset); }
    uint8_t Before(const std::string& address, int32_t depth = 1)
    {
        return filter.CheckURLBeforeDownload(Url(address), depth);
    }
    uint8_t After(const std::string& address, const std::string& mime, int32_t depth = 1, int64_t size = 0)
    {
        return filter.CheckDownloadAfterResponse(Url(address), mime, depth, size);
    }

    TCopyJob job;
    TDownloadFilter filter;
};

}  // namespace

TEST_F(DownloadFilter, StartingAddressSkipsListAndSizeChecksOnly)
{
    job.AddressStrings = "nothing-matches";
    job.AddressStringsPurpose = 1;
    job.Hosts = "other.org";
    job.HostsPurpose = 1;
    job.Extensions = ".gif";
    job.ExtensionsPurpose = 1;
    job.Types = "image/gif";
    job.TypesPurpose = 1;
    job.SaveQueryResults = false;
    job.MaxFileSize = 10;
    job.MaxJobDownloadSize = 10;
    job.MaxFileCount = 1;
    Load();
    const std::string start = "http://s.com/docs/index.html?q=1";
    EXPECT_EQ(After(start, "text/html", -1, 1000), FILTER_ACCEPTED);
    // Each check in turn at depth 0, by switching off the one before.
    const std::pair<int32_t*, uint8_t> steps[] = {{&job.AddressStringsPurpose, FILTER_ADDRESS},
                                                  {&job.HostsPurpose, FILTER_HOST},
                                                  {&job.ExtensionsPurpose, FILTER_EXTENSION}};
    for (auto [purpose, code] : steps) {
        EXPECT_EQ(Before(start, 0), code);
        *purpose = 3;
        Load(false);
    }
    EXPECT_EQ(Before(start, 0), FILTER_QUERY);
    job.SaveQueryResults = true;
    Load(false);
    EXPECT_EQ(After(start, "text/html", 0, 1000), FILTER_FILE_SIZE);
    job.MaxFileSize = -1;
    Load(false);
    EXPECT_EQ(After(start, "text/html", 0, 1000), FILTER_JOB_SIZE);
    job.MaxJobDownloadSize = -1;
    Load(false);
    EXPECT_EQ(After(start, "text/html", 0, 0), FILTER_MIME_TYPE);

    // File count, protocol, job time and location still apply to it.
    filter.IncrementFileCount();
    EXPECT_EQ(Before(start, -1), FILTER_FILE_COUNT);
    filter.DecrementFileCount();
    EXPECT_EQ(Before("ftp://s.com/", -1), FILTER_PROTOCOL);
    EXPECT_EQ(Before("mailto:a@s.com", -1), FILTER_PROTOCOL);
    EXPECT_EQ(Before("javascript:void(0)", 1), FILTER_PROTOCOL);
    job.RestrictLocation = 2;
    job.RestrictLocationOfWebPagesOnly = false;
    Load();
    EXPECT_EQ(After("http://elsewhere.com/", "text/html", -1), FILTER_LOCATION);
    job.DownloadFTP = true;
    job.MaxSecondsForAllDownloads = 0;
    Load();
    EXPECT_EQ(Before("ftp://s.com/", -1), FILTER_JOB_TIME);
}

TEST_F(DownloadFilter, ListsDepthAndPasswords)
{
    job.Hosts = "*.example.com";
    job.HostsPurpose = 1;
    job.AddressStrings = "forum";
    job.AddressStringsPurpose = 2;
    job.MaxDistance = 2;
    job.DownloadOptions.AllowAuthentication = false;
    Load();
    EXPECT_EQ(Before("http://www.example.com/a", 3), FILTER_DEPTH);
    EXPECT_EQ(Before("https://www.example.com/a", 1), FILTER_PROTOCOL);
    EXPECT_EQ(After("http://u:p@www.example.com/a", "text/html"), FILTER_PASSWORD);
    EXPECT_EQ(Before("http://a.b.EXAMPLE.com/"), FILTER_ACCEPTED);
    EXPECT_EQ(Before("http://example.com/"), FILTER_HOST);
    EXPECT_EQ(Before("http://www.example.com/Forum/topic"), FILTER_ADDRESS);
    // User information is not part of the text the address list sees.
    EXPECT_EQ(Before("http://forum:pw@www.example.com/news"), FILTER_ACCEPTED);
}

TEST_F(DownloadFilter, SizesAndMimeTypes)
{
    job.MinFileSize = 100;
    job.MaxFileSize = 1000;
    job.MaxJobDownloadSize = int64_t(6) << 30;
    job.Types = "text/html, image/*";
    job.TypesPurpose = 1;
    Load();
    EXPECT_EQ(After("http://s.com/a", "text/html", 1, 99), FILTER_FILE_SIZE);
    EXPECT_EQ(After("http://s.com/a", "text/html", 1, 1001), FILTER_FILE_SIZE);
    // Parameters of the type do not hide it from the list.
    EXPECT_EQ(After("http://s.com/a", "text/html; charset=UTF-8", 1, 500), FILTER_ACCEPTED);
    EXPECT_EQ(After("http://s.com/a", "IMAGE/PNG"), FILTER_ACCEPTED);
    EXPECT_EQ(After("http://s.com/a", "application/pdf"), FILTER_MIME_TYPE);
    // Job totals past 4 GiB; size 0 skips the size limits but not the job total.
    filter.AddDownloadedBytes(int64_t(6) << 30);
    EXPECT_EQ(After("http://s.com/a", "text/html", 1, 0), FILTER_ACCEPTED);
    filter.AddDownloadedBytes(1);
    EXPECT_EQ(After("http://s.com/a", "text/html", 1, 0), FILTER_JOB_SIZE);
}

TEST_F(DownloadFilter, FolderLocationComparesPathsByTheirCase)
{
    job.RestrictLocation = 1;
    job.RestrictLocationOfWebPagesOnly = true;
    job.StartingWebAddress.SetFullURL("http://S.com/Docs/Index.html");
    Load();
    EXPECT_EQ(filter.StartFolder(), "/Tmp/Dest/www.s.com/Docs/");
    EXPECT_EQ(filter.SiteRootFolder(), "/Tmp/Dest/www.s.com/");
    EXPECT_EQ(After("http://S.COM/Docs/a/b.html", "text/html"), FILTER_ACCEPTED);
    // Another folder on a server whose paths are case-sensitive.
    EXPECT_EQ(After("http://s.com/DOCS/a/b.html", "text/html"), FILTER_LOCATION);
    EXPECT_EQ(After("http://s.com/docsx/b.html", "text/html"), FILTER_LOCATION);
    EXPECT_EQ(After("http://s.com/img/logo.png", "image/png"), FILTER_ACCEPTED);  // not a page
    // A redirected start moves the folders.
    filter.SetStartURL(Url("http://s.com/new/"));
    EXPECT_EQ(filter.StartFolder(), "/Tmp/Dest/www.s.com/new/");
    EXPECT_EQ(After("http://s.com/new/p.html", "text/html"), FILTER_ACCEPTED);

    job.RestrictLocation = 2;
    job.RestrictLocationOfWebPagesOnly = false;
    Load();
    EXPECT_EQ(After("http://S.COM/x.gif", "image/gif"), FILTER_ACCEPTED);
    EXPECT_EQ(After("http://cdn.s.com/x.gif", "image/gif"), FILTER_LOCATION);
}

TEST_F(DownloadFilter, LocalFilesForParsing)
{
    job.RestrictLocation = 1;
    job.RestrictLocationOfWebPagesOnly = false;
    job.MaxDistance = 3;
    Load();
    const std::string inside = "/Tmp/Dest/www.s.com/docs/Page.HTML";
    EXPECT_EQ(filter.CheckLocalFileForParsing(inside, 3, true), FILTER_ACCEPTED);
    EXPECT_EQ(filter.CheckLocalFileForParsing(inside, 4, true), FILTER_DEPTH);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/tmp/dest/www.s.com/docs/p.html", 1, true), FILTER_LOCATION);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/www.s.com/DOCS/p.html", 1, true), FILTER_LOCATION);
    job.RestrictLocation = 2;
    job.Extensions = ".css";
    job.ExtensionsPurpose = 2;
    job.AddressStrings = "private";
    job.AddressStringsPurpose = 2;
    Load();
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/www.s.com/p.html", 1, true), FILTER_ACCEPTED);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/other.com/p.html", 1, true), FILTER_LOCATION);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/www.s.com/a.CSS", 1, false), FILTER_EXTENSION);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/www.s.com/Private/a.html", 1, true), FILTER_ADDRESS);
}

TEST_F(DownloadFilter, AnotherPortIsAnotherFolderButTheSameServer)
{
    job.StartingWebAddress.SetFullURL("http://s.com:8080/docs/index.html");
    job.RestrictLocation = 1;
    job.RestrictLocationOfWebPagesOnly = false;
    Load();
    EXPECT_EQ(filter.StartFolder(), "/Tmp/Dest/www.s.com+8080/docs/");
    EXPECT_EQ(After("http://s.com:8080/docs/a.html", "text/html"), FILTER_ACCEPTED);
    EXPECT_EQ(After("http://s.com/docs/a.html", "text/html"), FILTER_LOCATION);
    EXPECT_EQ(After("http://s.com:8081/docs/a.html", "text/html"), FILTER_LOCATION);
    EXPECT_EQ(filter.CheckLocalFileForParsing("/Tmp/Dest/www.s.com/docs/a.html", 1, true), FILTER_LOCATION);

    // The whole site is the host on any port, for downloads and for files already on disk alike.
    job.RestrictLocation = 2;
    Load();
    EXPECT_EQ(filter.SiteRootFolder(), "/Tmp/Dest/www.s.com+8080/");
    EXPECT_EQ(After("http://s.com:8081/a.html", "text/html"), FILTER_ACCEPTED);
    for (const char* file : {"/Tmp/Dest/www.s.com+8080/a.html", "/Tmp/Dest/www.s.com+8081/x/a.html",
                             "/Tmp/Dest/www.s.com/a.html"})
        EXPECT_EQ(filter.CheckLocalFileForParsing(file, 1, true), FILTER_ACCEPTED) << file;
    for (const char* file : {"/Tmp/Dest/www.s.com+/a.html", "/Tmp/Dest/www.s.com+80x/a.html",
                             "/Tmp/Dest/www.s.comx/a.html", "/Tmp/Dest/www.s.com+8081"})
        EXPECT_EQ(filter.CheckLocalFileForParsing(file, 1, true), FILTER_LOCATION) << file;

    std::string name;
    EXPECT_EQ(filter.MapURLToLocalFile(Url("http://s.com:65535/p"), "text/html", name), FILTER_ACCEPTED);
    EXPECT_EQ(name, "/Tmp/Dest/www.s.com+65535/p.htm");
}

TEST_F(DownloadFilter, MappedNamesGetTypeExtensionsAndStayInTheDestination)
{
    Load();
    std::string name;
    EXPECT_EQ(filter.MapURLToLocalFile(Url("http://s.com/page.asp"), "text/html", name), FILTER_ACCEPTED);
    EXPECT_EQ(name, "/Tmp/Dest/www.s.com/page.asp.htm");
    filter.MapURLToLocalFile(Url("http://s.com/index.html"), "text/html", name);
    EXPECT_EQ(name, "/Tmp/Dest/www.s.com/index.html");
    for (const char* address : {"http://s.com/../../etc/passwd", "http://s.com/a/%2e%2e/%2e%2e/%2e%2e/x",
                                "file:///etc/passwd", "http://s.com/..%2f..%2f..%2fetc"}) {
        if (filter.MapURLToLocalFile(Url(address), "", name) == FILTER_LOCATION) {
            EXPECT_EQ(name, "") << address;
        } else if (!name.empty()) {
            EXPECT_EQ(name.rfind("/Tmp/Dest/", 0), 0u) << name;
            EXPECT_EQ((name + "/").find("/../"), std::string::npos) << name;
        }
    }
    job.DownloadOptions.AddFileExtensions = false;
    Load();
    filter.MapURLToLocalFile(Url("http://s.com/page.asp"), "text/html", name);
    EXPECT_EQ(name, "/Tmp/Dest/www.s.com/page.asp");
}

TEST_F(DownloadFilter, FileCountAndJobSizeHoldUnderConcurrentDownloads)
{
    job.MaxFileCount = 5;
    Load();
    filter.AddDownloadedBytes(7);
    job.Hosts = "bad.com";
    job.HostsPurpose = 2;
    Load(false);  // counters kept, new lists used
    EXPECT_EQ(filter.ByteTotal(), 7);
    EXPECT_EQ(Before("http://bad.com/"), FILTER_HOST);
    Load();
    std::atomic<int> accepted {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                accepted += filter.AcceptDownloadAfterResponse(Url("http://s.com/f"), "", 1, 10) == FILTER_ACCEPTED;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(accepted.load(), 5);
    // A discarded file frees its place; a kept one adds its bytes.
    filter.EndAcceptedDownload(10, 0, false);
    filter.EndAcceptedDownload(10, 12, true);
    EXPECT_EQ(filter.FileCount(), 4);
    EXPECT_EQ(filter.ByteTotal(), 12);

    // Announced sizes are reserved until settled.
    job.MaxFileCount = -1;
    job.MaxJobDownloadSize = 1000;
    Load();
    EXPECT_EQ(filter.AcceptDownloadAfterResponse(Url("http://s.com/a"), "", 1, 600), FILTER_ACCEPTED);
    EXPECT_EQ(filter.AcceptDownloadAfterResponse(Url("http://s.com/b"), "", 1, 600), FILTER_JOB_SIZE);
    filter.EndAcceptedDownload(600, 0, false);
    EXPECT_EQ(filter.AcceptDownloadAfterResponse(Url("http://s.com/b"), "", 1, 600), FILTER_ACCEPTED);
}

TEST_F(DownloadFilter, TheStartingAddressSchemeIsAlwaysAllowed)
{
    job.StartingWebAddress.SetFullURL("https://s.com/docs/");
    job.DownloadHTTPS = false;
    job.DownloadHTTP = false;
    job.DownloadFTP = false;
    Load();
    EXPECT_EQ(Before("https://s.com/docs/", -1), FILTER_ACCEPTED);
    EXPECT_EQ(Before("https://s.com/docs/a.html", 1), FILTER_ACCEPTED);
    EXPECT_EQ(Before("http://s.com/docs/a.html", 1), FILTER_PROTOCOL);
    EXPECT_EQ(Before("ftp://s.com/f", 1), FILTER_PROTOCOL);
    EXPECT_EQ(Before("mailto:a@s.com", 1), FILTER_PROTOCOL);
    // A redirected start brings its own scheme.
    TURL redirected;
    redirected.SetFullURL("http://s.com/docs/");
    filter.SetStartURL(redirected);
    EXPECT_EQ(Before("http://s.com/docs/a.html", 1), FILTER_ACCEPTED);
}

// The location is never refused before the request (an address outside may redirect inside);
// an answer with a body is refused by it, with the location code.
TEST_F(DownloadFilter, LocationIsJudgedOnTheAnswerNeverBeforeTheRequest)
{
    const char* const addresses[] = {"http://s.com/docs/a.html", "http://s.com/docsx/b.html", "http://s.com/docsx/b",
                                     "http://s.com/docsx/i.png", "http://cdn.s.com/x.htm",   "http://cdn.s.com/x.gif",
                                     "http://cdn.s.com/page"};
    const char* const types[] = {"text/html", "image/png", "text/css", ""};
    int refusedAfter = 0;
    for (int restrict = 1; restrict <= 3; ++restrict) {
        for (bool pagesOnly : {true, false}) {
            job.RestrictLocation = restrict;
            job.RestrictLocationOfWebPagesOnly = pagesOnly;
            Load();
            for (const char* address : addresses) {
                EXPECT_EQ(Before(address), FILTER_ACCEPTED) << address << " " << restrict << pagesOnly;
                for (const char* type : types)
                    refusedAfter += After(address, type) == FILTER_LOCATION;
            }
        }
    }
    EXPECT_GT(refusedAfter, 0);

    // Web pages only, folder restriction: a page outside the folder is refused on its answer,
    // whether its address or its type names it a page.
    job.RestrictLocation = 1;
    job.RestrictLocationOfWebPagesOnly = true;
    Load();
    EXPECT_EQ(After("http://s.com/docsx/b.html", ""), FILTER_LOCATION);
    EXPECT_EQ(After("http://s.com/docsx/b", "text/html"), FILTER_LOCATION);
    EXPECT_EQ(After("http://s.com/docsx/b", "image/png"), FILTER_ACCEPTED);
    // The checks before the request keep their order and codes.
    job.MaxDistance = 0;
    Load();
    EXPECT_EQ(Before("http://s.com/docsx/b.html"), FILTER_DEPTH);
}

TEST_F(DownloadFilter, PagesOfAnotherServerAreRefusedBeforeTheRequest)
{
    const auto check = [&](const std::string& address, bool pageLink, int32_t depth = 1) {
        return filter.CheckLocationBeforeRequest(Url(address), depth, pageLink);
    };
    job.RestrictLocation = 2;
    job.RestrictLocationOfWebPagesOnly = true;
    Load();
    // Page links elsewhere, whatever their ending says of a page, unless it names another type.
    for (const char* page : {"http://cdn.s.com/x.htm", "http://cdn.s.com/page", "http://cdn.s.com/", "http://cdn.s.com/a.php?x=1",
                             "http://cdn.s.com/dir.zip/page"})
        EXPECT_EQ(check(page, true), FILTER_LOCATION) << page;
    for (const char* file : {"http://cdn.s.com/x.PDF", "http://cdn.s.com/x.zip", "http://cdn.s.com/x.png", "http://cdn.s.com/x.css"})
        EXPECT_EQ(check(file, true), FILTER_ACCEPTED) << file;
    // Anything else elsewhere, the starting address, and the starting server (judged on the answer).
    EXPECT_EQ(check("http://cdn.s.com/x.htm", false), FILTER_ACCEPTED);
    EXPECT_EQ(check("http://cdn.s.com/x.htm", true, -1), FILTER_ACCEPTED);
    EXPECT_EQ(check("http://S.com/other/x.htm", true), FILTER_ACCEPTED);
    // Another port or scheme of the starting host: another server, but the host rule takes it.
    EXPECT_EQ(check("http://s.com:8080/x.htm", true), FILTER_ACCEPTED);
    EXPECT_EQ(check("https://s.com/x.htm", true), FILTER_ACCEPTED);

    // The folder rule: another port is another folder; another scheme may map inside.
    job.RestrictLocation = 1;
    Load();
    EXPECT_EQ(check("http://s.com:8080/docs/x.htm", true), FILTER_LOCATION);
    EXPECT_EQ(check("https://s.com/docs/x.htm", true), FILTER_ACCEPTED);
    EXPECT_EQ(check("http://s.com/elsewhere/x.htm", true), FILTER_ACCEPTED);

    // The rule for every file: every address elsewhere is judged; no rule, nothing is refused.
    job.RestrictLocationOfWebPagesOnly = false;
    Load();
    EXPECT_EQ(check("http://cdn.s.com/x.png", false), FILTER_LOCATION);
    EXPECT_EQ(check("http://cdn.s.com/x.zip", true), FILTER_LOCATION);
    job.RestrictLocation = 3;
    Load();
    EXPECT_EQ(check("http://cdn.s.com/x.htm", true), FILTER_ACCEPTED);
}
