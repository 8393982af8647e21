// Servers that answer without end, encode what was not asked for, or break the protocol: a
// download ends on its own, keeps to the job's limits and reports what happened.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "DownloadTestSupport.h"
#include "common/Compression.h"
#include "integration/CrawlTestSupport.h"
#include "engine/parse/CommonParser.h"
#include "platform/ErrorCodes.h"

namespace {

namespace fs = std::filesystem;
using compression::Gzip;

constexpr int64_t kMaxFile = 1000000;
const std::string kChunk = "1000\r\n" + std::string(0x1000, 'x') + "\r\n";  // one 4 KB chunk

std::string ChunkedHead(const std::string& headers = "")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n" + headers +
           "\r\n";
}

std::string Answer(const std::string& headers, const std::string& body)
{
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class HostileDownloadTest : public TDownloadTestBase {
protected:
    std::string Address(const nettest::TRawServer& server, const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
    }

    // Downloads path from server while watching the "#part" file; largest is the most it held.
    TFileDownloadCompleteData Watched(const nettest::TRawServer& server, const std::string& path, int64_t& largest)
    {
        std::atomic<bool> done{false};
        std::atomic<int64_t> seen{0};
        std::thread watcher([&] {
            while (!done) {
                std::error_code ec;
                const auto size = fs::file_size(LocalName(path + "#part"), ec);
                if (!ec && static_cast<int64_t>(size) > seen)
                    seen = static_cast<int64_t>(size);
                std::this_thread::yield();
            }
        });
        const TFileDownloadCompleteData r = Download(Address(server, path));
        done = true;
        watcher.join();
        largest = seen;
        return r;
    }

    void ExpectNothingKept(const TFileDownloadCompleteData& r, const std::string& path)
    {
        EXPECT_EQ(0, r.FFileWritten);
        EXPECT_EQ(0, r.FParseable);
        EXPECT_FALSE(fs::exists(LocalName(path)));
        EXPECT_FALSE(fs::exists(LocalName(path + "#part")));
        EXPECT_EQ(0, filter_.FileCount()) << "a file not kept is not counted";
        EXPECT_EQ(0, filter_.ByteTotal());
    }
};

TEST_F(HostileDownloadTest, EndlessBodiesStopAtTheFileAndJobLimits)
{
    struct TCase {
        const char* name;
        std::string head;
        int64_t maxFile;
        int64_t maxJob;
        uint8_t code;
    };
    const std::vector<TCase> cases = {
        {"chunks without end", ChunkedHead(), kMaxFile, -1, FILTER_FILE_SIZE},
        {"a chunk of 2^63-1 bytes", ChunkedHead() + "7fffffffffffffff\r\n", kMaxFile, -1, FILTER_FILE_SIZE},
        {"a length that lies low, then more", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", kMaxFile, -1, 0},
        {"past the job's budget", ChunkedHead(), -1, 2 * kMaxFile, FILTER_JOB_SIZE},
        {"no length at all", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", kMaxFile, -1, FILTER_FILE_SIZE},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        job_.MaxFileSize = static_cast<int32_t>(c.maxFile);
        job_.MaxJobDownloadSize = c.maxJob;
        const bool chunked = c.head.find("chunked") != std::string::npos;
        nettest::TRawServer server({c.head}, chunked ? kChunk : std::string(0x1000, 'y'));
        int64_t largest = 0;
        const TFileDownloadCompleteData r = Watched(server, "/endless.bin", largest);
        if (c.code == 0) {
            // The length holds: the rest is not part of the body.
            EXPECT_EQ(1, r.FFileWritten);
            EXPECT_EQ(std::string(10, 'y'), ReadTextFile(LocalName("/endless.bin")));
            fs::remove(LocalName("/endless.bin"));
            continue;
        }
        EXPECT_EQ(c.code, r.FFilterCode);
        EXPECT_EQ(0, r.FErrorCodeValid);
        ExpectNothingKept(r, "/endless.bin");
        const int64_t limit = c.maxFile != -1 ? c.maxFile : c.maxJob;
        EXPECT_LE(largest, limit) << "nothing past the limit reaches the disk";
        EXPECT_LE(worker_.FProgress.FBytesReceived.load(), limit);
    }
}

TEST_F(HostileDownloadTest, BodiesUpToTheLimitAreKeptAndTheStartKeepsWhatItAnnounced)
{
    job_.MaxFileSize = 10000;
    // Exactly at the limit, without a length: accepted.
    std::string exact = ChunkedHead();
    for (int i = 0; i < 10; ++i)
        exact += "3e8\r\n" + std::string(1000, 'e') + "\r\n";
    exact += "0\r\n\r\n";
    nettest::TRawServer atLimit({exact});
    TFileDownloadCompleteData r = Download(Address(atLimit, "/exact.bin"));
    ExpectWritten(r);
    EXPECT_EQ(10000u, fs::file_size(LocalName("/exact.bin")));

}

TEST_F(HostileDownloadTest, TheStartPageKeepsToNoSizeRuleButItsCeiling)
{
    job_.MaxFileSize = 2000;
    job_.MinFileSize = 100000;
    job_.MaxJobDownloadSize = 3000;
    depth_ = -1;
    const std::string page = "<html>" + std::string(5093, 's') + "</html>";  // 5,106 bytes
    std::string chunked = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0; at < page.size(); at += 1000) {
        const std::string part = page.substr(at, 1000);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        chunked += size + part + "\r\n";
    }
    chunked += "0\r\n\r\n";
    struct TCase {
        const char* name;
        std::string reply;
    };
    const std::string html = "Content-Type: text/html\r\n";
    for (const TCase& c : {TCase{"announced", Answer(html, page)}, TCase{"chunked", chunked},
                           TCase{"gzip", Answer(html + "Content-Encoding: gzip\r\n", Gzip(page))}}) {
        SCOPED_TRACE(c.name);
        nettest::TRawServer server({c.reply});
        const TFileDownloadCompleteData r = Download(Address(server, "/start.htm"));
        ExpectWritten(r);
        EXPECT_EQ(page, ReadTextFile(LocalName("/start.htm")));
        fs::remove(LocalName("/start.htm"));
    }

    // An endless start page ends at the ceiling, and nothing of it is kept.
    filter_.SetStartPageCeiling(100000);
    nettest::TRawServer endless({ChunkedHead()}, kChunk);
    int64_t largest = 0;
    const TFileDownloadCompleteData r = Watched(endless, "/endless.htm", largest);
    EXPECT_EQ(FILTER_FILE_SIZE, r.FFilterCode);
    EXPECT_FALSE(fs::exists(LocalName("/endless.htm")));
    EXPECT_FALSE(fs::exists(LocalName("/endless.htm#part")));
    EXPECT_LE(largest, 100000);
}

TEST_F(HostileDownloadTest, EncodedBodiesAreSavedDecodedOrAsSentWithAWarning)
{
    const std::string page = "<html><body><a href=\"next.htm\">next</a>" + std::string(20000, 'p') + "</body></html>";
    struct TCase {
        const char* coding;
        std::string body;
    };
    for (const TCase& c : {TCase{"gzip", Gzip(page)}, TCase{"x-gzip", Gzip(page)}, TCase{"gzip, gzip", Gzip(Gzip(page))},
                           TCase{"deflate", compression::Compress(page, compression::TForm::Zlib)}}) {
        SCOPED_TRACE(c.coding);
        nettest::TRawServer server({Answer("Content-Type: text/html\r\nContent-Encoding: " + std::string(c.coding) + "\r\n", c.body)});
        const TFileDownloadCompleteData r = Download(Address(server, "/page.htm"));
        ExpectWritten(r);
        EXPECT_EQ(page, ReadTextFile(LocalName("/page.htm")));
        EXPECT_EQ(1, r.FParseable) << "a decoded page is parsed";
        EXPECT_NE(std::string::npos, server.Requests()[0].find("Accept-Encoding: identity\r\n"));
        fs::remove(LocalName("/page.htm"));
    }

    const std::string brotli = "\x1b\x03\x00\xf8not decodable here";
    nettest::TRawServer unknown({Answer("Content-Encoding: br\r\n", brotli)});
    const TFileDownloadCompleteData r = Download(Address(unknown, "/b.bin"));
    ExpectWritten(r);
    EXPECT_EQ(brotli, ReadTextFile(LocalName("/b.bin")));
    EXPECT_NE(std::string::npos, EventLogText().find("Content-Encoding \"\"br\"\" of " + Address(unknown, "/b.bin")))
        << EventLogText();
}

TEST_F(HostileDownloadTest, BrokenEncodingsAndBombsLeaveNoFile)
{
    const std::string page(50000, 'q');
    std::string badChecksum = Gzip(page);
    badChecksum[badChecksum.size() - 6] ^= 0x55;
    const std::string whole = Gzip(page);
    for (const std::string& body : {badChecksum, whole.substr(0, whole.size() / 2)}) {
        nettest::TRawServer server({Answer("Content-Encoding: gzip\r\n", body)});
        const TFileDownloadCompleteData r = Download(Address(server, "/broken.htm"));
        EXPECT_EQ(1, r.FErrorCodeValid);
        EXPECT_EQ(errc::InternetDecodingFailed, r.FErrorCode);
        ExpectNothingKept(r, "/broken.htm");
    }

    // 64 MB of zeros in about 64 KB: decoding stops at the file size limit.
    job_.MaxFileSize = static_cast<int32_t>(kMaxFile);
    const std::string bomb = compression::Compress(std::string(65536, '\0'), compression::TForm::Gzip, 1024);
    nettest::TRawServer server({Answer("Content-Encoding: gzip\r\n", bomb)});
    int64_t largest = 0;
    const TFileDownloadCompleteData r = Watched(server, "/bomb.bin", largest);
    EXPECT_EQ(FILTER_FILE_SIZE, r.FFilterCode);
    ExpectNothingKept(r, "/bomb.bin");
    EXPECT_LE(largest, kMaxFile);
}

TEST_F(HostileDownloadTest, MalformedAnswersEndAsErrorsWithoutAFile)
{
    struct TCase {
        const char* name;
        std::string reply;
        uint32_t error;  // 0: any connection error
    };
    const std::vector<TCase> cases = {
        {"negative chunk size", ChunkedHead() + "-5\r\nhello\r\n0\r\n\r\n", 0},
        {"chunk size not hexadecimal", ChunkedHead() + "zz\r\nhello\r\n0\r\n\r\n", 0},
        {"length of -1", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nhello", errc::HttpInvalidServerResponse},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 11\r\n\r\nhello world",
         errc::HttpInvalidServerResponse},
        {"header line of 100 KB", "HTTP/1.1 200 OK\r\nX-Big: " + std::string(102400, 'x') + "\r\n\r\nhello",
         errc::HttpInvalidServerResponse},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        nettest::TRawServer server({c.reply});
        const TFileDownloadCompleteData r = Download(Address(server, "/bad.htm"));
        EXPECT_EQ(1, r.FErrorCodeValid);
        if (c.error != 0) {
            EXPECT_EQ(c.error, r.FErrorCode);
        }
        EXPECT_EQ(0, r.FFileWritten);
        EXPECT_FALSE(fs::exists(LocalName("/bad.htm")));
        fs::remove(LocalName("/bad.htm#part"));
    }
}

class HostileSiteTest : public TCrawlTestBase {
protected:
    // The job's end report.
    TReportRecord JobEnd(size_t index = 0)
    {
        const auto ended = engine_.OfType(OUTMSG_JOB_ENDED);
        return index < ended.size() ? ended[index] : TReportRecord{};
    }
};

TEST_F(HostileSiteTest, EndlessAndEncodedAnswersInAJob)
{
    nettest::TRawServer endless({ChunkedHead()}, kChunk);
    const std::string endlessUrl = "http://127.0.0.1:" + std::to_string(endless.Port()) + "/endless.bin";
    const std::string page = "<html><body><a href=\"" + endlessUrl + "\">x</a><a href=\"/next.htm\">n</a></body></html>";
    server_.Get("/", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(Gzip(page), "text/html");
    });
    server_.Get("/next.htm", [](const httplib::Request&, httplib::Response& res) { res.set_content("next", "text/html"); });
    job_.MaxFileSize = static_cast<int32_t>(kMaxFile);
    job_.MaxJobDownloadSize = 2 * kMaxFile;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_EQ(ReadTextFile(Local("/index.html")).find("<html>"), 0u) << "the page is saved decoded";
    EXPECT_EQ(EndedFor("/next.htm").fileWritten, 1) << "and its links are followed";
    TReportRecord refused;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
        if (r.url == endlessUrl)
            refused = r;
    EXPECT_EQ(refused.filterCode, FILTER_FILE_SIZE);
    EXPECT_EQ(refused.fileWritten, 0);
    for (const auto& entry : fs::recursive_directory_iterator(temp_ / "site")) {
        if (entry.is_regular_file()) {
            EXPECT_LE(entry.file_size(), static_cast<uintmax_t>(kMaxFile)) << entry.path();
        }
    }
}

TEST_F(HostileSiteTest, StartPageIsNamedOnlyWhenItsFileWasWritten)
{
    server_.Get("/missing.htm", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    server_.Get("/loop-a.htm", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop-b.htm"); });
    server_.Get("/loop-b.htm", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop-a.htm"); });
    server_.Get(R"(/chain/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_redirect("/chain/" + std::to_string(std::stoi(req.matches[1]) + 1));
    });
    nettest::TRawServer cut({"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\n<html>"});
    const std::vector<std::string> starts = {Url("/missing.htm"), Url("/loop-a.htm"), Url("/chain/0"),
                                             "http://127.0.0.1:" + std::to_string(cut.Port()) + "/cut.htm"};
    for (size_t i = 0; i < starts.size(); ++i) {
        SCOPED_TRACE(starts[i]);
        job_.StartingWebAddress.SetFullURL(starts[i]);
        StartJob();
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, i + 1, std::chrono::seconds(60)));
        EXPECT_EQ(JobEnd(i).resultCode, JOB_END_COMPLETED);
        EXPECT_EQ(JobEnd(i).startPage, "");
    }
    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    ASSERT_FALSE(ended.empty());
    EXPECT_EQ(ended.back().url, starts.back());
    EXPECT_TRUE(Exists(ended.back().localFile + "#part")) << "only the part of the cut body is there";
}

TEST_F(HostileSiteTest, AChunkedStartPageOverTheSizeLimitsIsCopiedAndTheRestKeepsToThem)
{
    const std::string page = "<html><a href=\"/next.htm\">n</a>" + std::string(5000, 'x') + "</html>";
    server_.Get("/", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/html", [&](size_t, httplib::DataSink& sink) {
            for (size_t at = 0; at < page.size(); at += 700)
                sink.write(page.data() + at, std::min<size_t>(700, page.size() - at));
            sink.done();
            return true;
        });
    });
    server_.Get("/next.htm", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(2500, 'n'), "text/html");
    });
    job_.MaxFileSize = 2000;
    job_.MaxJobDownloadSize = 2000;
    job_.RewriteLinks = false;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_TRUE(ReadTextFile(Local("/index.html")) == page);
    EXPECT_EQ(JobEnd().startPage, Local("/index.html"));
    EXPECT_EQ(EndedFor("/next.htm").filterCode, FILTER_FILE_SIZE) << "other files keep to the limits";
    EXPECT_FALSE(Exists(Local("/next.htm")));
}

TEST_F(HostileSiteTest, APageHugeOnceDecodedIsKeptWholeAndReadForLinksFromItsStart)
{
    const std::string head = "<html><a href=\"near.htm\">near</a>";
    const std::string tail = "<a href=\"far.htm\">far</a></html>";
    std::string page = head + std::string(static_cast<size_t>(kMaxLinkReadSize), ' ') + tail;
    const std::string body = Gzip(page);
    server_.Get("/", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(body, "text/html");
    });
    for (const char* path : {"/near.htm", "/far.htm"})
        server_.Get(path, [](const httplib::Request&, httplib::Response& res) { res.set_content("p", "text/html"); });
    job_.DownloadOptions.FindReplaceTasks.Count = 1;
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].FindString = "near";
    job_.DownloadOptions.FindReplaceTasks.Tasks[0].ReplaceString = "NEAR";
    job_.DownloadOptions.CustomHTMLFooter = "<!-- footer -->";
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_TRUE(Exists(Local("/near.htm")));
    EXPECT_FALSE(Exists(Local("/far.htm"))) << "links past what is read are not followed";
    // The links read are rewritten, the rest is copied as it came, and the footer added; the
    // find and replace, which would hold the whole page in memory, is left out.
    const std::string copy = ReadTextFile(Local("/index.html"));
    const std::string expected = page + "<!-- footer -->";
    EXPECT_TRUE(copy == expected) << copy.size() << " bytes, " << expected.size() << " expected";
    const std::string log = EventLog();
    EXPECT_NE(log.find("Links read from the first " + std::to_string(kMaxLinkReadSize)), std::string::npos);
    EXPECT_NE(log.find("Find and replace left " + Local("/index.html") + " as it is"), std::string::npos);
}

TEST_F(HostileSiteTest, OverLongLinkThatWasNotFetchedIsWrittenAbsolute)
{
    const std::string longPath = "/b/" + std::string(3000, 'T') + "/deep.html";
    server_.Get("/", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body><a href=\"" + longPath + "\">deep</a><a href='x.htm'>x</a></body></html>", "text/html");
    });
    server_.Get("/x.htm", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/html"); });
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(ReadTextFile(Local("/index.html")),
              "<html><body><a href=\"" + Url(longPath) + "\">deep</a><a href=\"x.htm\">x</a></body></html>");
}

}  // namespace
