// Shapes of real sites copied for offline browsing: type endings, character references in
// attribute values, modern link shapes, repeat runs of one job, HTTPS starts and NOINDEX pages.
// The server keeps each request target as it arrived.
#include "integration/CrawlTestSupport.h"

#include <map>
#include <regex>

namespace {

using namespace std::chrono_literals;

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);

// An attribute value as a browser reads it: the references the rewrite writes decoded.
std::string BrowserDecoded(std::string value)
{
    static const std::pair<const char*, const char*> kRefs[] = {
        {"&quot;", "\""}, {"&#39;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& [ref, c] : kRefs)
        for (size_t p = value.find(ref); p != std::string::npos; p = value.find(ref, p + 1))
            value.replace(p, std::strlen(ref), c);
    return value;
}

std::string PercentDecoded(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

class RealSiteShapesTest : public TCrawlTestBase {
protected:
    RealSiteShapesTest()
    {
        // The target as sent: path and query, escapes and all.
        server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> guard(seenLock_);
            seen_.push_back({req.target, req.headers});
            return httplib::Server::HandlerResponse::Unhandled;
        });
        job_.DownloadOptions.AddFileExtensions = true;
        job_.SaveQueryResults = true;
    }

    void Serve(const std::string& path, const std::string& body, const std::string& type)
    {
        server_.Get(path, [body, type](const httplib::Request&, httplib::Response& res) { res.set_content(body, type); });
    }
    void Page(const std::string& path, const std::string& body) { Serve(path, body, "text/html"); }
    void Image(const std::string& path) { Serve(path, kGif, "image/gif"); }

    // How often each target was asked for.
    std::map<std::string, int> Requests()
    {
        std::map<std::string, int> count;
        for (const TRequest& r : Seen())
            ++count[r.path];
        return count;
    }

    // Reads the copy as a browser reads it from disk: each link of a page (values decoded) and
    // of a style sheet (url( ) and @import) must name an existing file or be an absolute address
    // other than file:, style sheets must end in ".css" and scripts in ".js". The problems found.
    std::vector<std::string> BrowseProblems()
    {
        static const std::regex tag("<(link|script|img|a|meta)\\b[^>]*>", std::regex::icase);
        static const std::regex attr("\\s(href|src|content)\\s*=\\s*\"([^\"]*)\"", std::regex::icase);
        static const std::regex css("url\\(\\s*[\"']?([^\"')]+)[\"']?\\s*\\)|@import\\s+[\"']([^\"']+)[\"']");
        static const std::regex scheme("^[a-zA-Z][a-zA-Z0-9+.-]*:");
        std::vector<std::string> problems;
        auto check = [&](const std::filesystem::path& file, std::string value, const std::string& ending) {
            if (value.empty() || value[0] == '#')
                return;
            if (value.rfind("file:", 0) == 0) {
                problems.push_back("file: link in " + file.string() + ": " + value);
                return;
            }
            if (std::regex_search(value, scheme))
                return;
            const std::string path = PercentDecoded(value.substr(0, value.find_first_of("?#")));
            const std::filesystem::path target = file.parent_path() / path;
            if (!Exists(target.string()))
                problems.push_back("missing: " + file.string() + " -> " + value);
            else if (!ending.empty() && target.extension() != ending)
                problems.push_back("no " + ending + " ending: " + file.string() + " -> " + value);
        };
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_ / "site")) {
            const std::filesystem::path& file = entry.path();
            if (!entry.is_regular_file())
                continue;
            const std::string text = ReadTextFile(file.string());
            if (file.extension() == ".css") {
                for (std::sregex_iterator it(text.begin(), text.end(), css), end; it != end; ++it)
                    check(file, (*it)[1].matched ? (*it)[1].str() : (*it)[2].str(), (*it)[2].matched ? ".css" : "");
                continue;
            }
            if (file.extension() != ".htm" && file.extension() != ".html")
                continue;
            for (std::sregex_iterator t(text.begin(), text.end(), tag), end; t != end; ++t) {
                const std::string tagText = (*t)[0];
                const std::string name = (*t)[1];
                for (std::sregex_iterator a(tagText.begin(), tagText.end(), attr); a != end; ++a) {
                    std::string value = BrowserDecoded((*a)[2]);
                    const std::string attrName = (*a)[1];
                    if (attrName == "content") {
                        const size_t url = value.find("url=");
                        if (url == std::string::npos)
                            continue;
                        value = value.substr(url + 4);
                        if (!value.empty() && value[0] == '\'')
                            value = value.substr(1, value.find('\'', 1) - 1);
                    }
                    const bool sheet = name == "link" && tagText.find("stylesheet") != std::string::npos;
                    check(file, value, sheet ? ".css" : name == "script" ? ".js" : "");
                }
            }
        }
        return problems;
    }
};

TEST_F(RealSiteShapesTest, StyleSheetsScriptsAndImagesKeepTheEndingOfTheirType)
{
    Page("/", "<html><head><link rel=\"stylesheet\" href=\"_static/theme.css?2022.1\">"
              "<script src=\"app.js?v=7\"></script><link rel=\"icon\" href=\"favicon.ico?1\"></head><body>"
              "<img src=\"logo.svg?h=abc\"><img src=\"pic.webp\"><a href=\"page.asp\">p</a>"
              "<script src=\"old.js\"></script></body></html>");
    Serve("/_static/theme.css", "body{background:url(bg.svg?x=1)}", "text/css; charset=utf-8");
    Serve("/app.js", "var a;", "application/javascript");
    Serve("/old.js", "var b;", "application/x-javascript");
    Serve("/favicon.ico", "ico", "image/vnd.microsoft.icon");
    Serve("/logo.svg", "<svg/>", "image/svg+xml");
    Serve("/_static/bg.svg", "<svg/>", "image/svg+xml");
    Serve("/pic.webp", "RIFF", "image/webp");
    Page("/page.asp", "<html>asp</html>");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    for (const char* name : {"/_static/theme.css_2022.1.css", "/app.js_v=7.js", "/favicon.ico_1.ico",
                             "/logo.svg_h=abc.svg", "/pic.webp", "/page.asp.htm", "/_static/bg.svg_x=1.svg", "/old.js"})
        EXPECT_TRUE(Exists(Local(name))) << name;
    const std::string index = ReadTextFile(Local("/index.html"));
    for (const char* link : {"href=\"_static/theme.css_2022.1.css\"", "src=\"app.js_v=7.js\"",
                             "href=\"favicon.ico_1.ico\"", "src=\"logo.svg_h=abc.svg\"", "src=\"pic.webp\"",
                             "href=\"page.asp.htm\"", "src=\"old.js\""})
        EXPECT_NE(index.find(link), std::string::npos) << link << "\n" << index;
    EXPECT_NE(ReadTextFile(Local("/_static/theme.css_2022.1.css")).find("url(bg.svg_x=1.svg)"), std::string::npos);
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
}

TEST_F(RealSiteShapesTest, CharacterReferencesAreDecodedOnceWhereTheLinkIsFound)
{
    std::string many = "many.html?";
    for (int i = 0; i < 1000; ++i)
        many += "&amp;a";
    Page("/", "<html><head><link rel=stylesheet href=\"s.css\">"
              "<meta http-equiv=refresh content=\"600; url='refresh.html?a=1&amp;b=2'\"></head><body>"
              "<a href=\"q.html?x=1&amp;y=2\">1</a><a href=\"q.html?x=1&y=2\">2</a>"
              "<a href=\"b&#46;html\">b</a><a href=\"issue?&#64;action=show&amp;id=5\">i</a>"
              "<a href=\"r&#x2F;s.html\">r</a><a href=\"caf&eacute;.html\">c</a>"
              "<a href=\"&#46;&#46;&#x2F;&#46;&#46;&#x2F;up.html\">up</a>"
              "<a href=\"x&#0;y&#1;z&bogus;w.html\">bad</a><a href=\"?a=1&copy=2\">legacy</a>"
              "<a href=\"" + many + "\">many</a></body></html>");
    Serve("/s.css", "p{background:url(img.gif?a=1&amp;b=2)}", "text/css");
    for (const char* path : {"/q.html", "/b.html", "/issue", "/r/s.html", "/up.html", "/refresh.html", "/many.html"})
        Page(path, "<html>x</html>");
    Page("/caf\xC3\xA9.html", "<html>cafe</html>");
    Page("/x\xEF\xBF\xBDy\x01z&bogus;w.html", "<html>bad</html>");
    Image("/img.gif");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const auto requests = Requests();
    std::string manyTarget = "/many.html?";
    for (int i = 0; i < 1000; ++i)
        manyTarget += "&a";
    for (const std::string& target :
         {std::string("/q.html?x=1&y=2"), std::string("/b.html"), std::string("/issue?@action=show&id=5"),
          std::string("/r/s.html"), std::string("/caf%C3%A9.html"), std::string("/up.html"),
          std::string("/refresh.html?a=1&b=2"), std::string("/x%EF%BF%BDy%01z&bogus;w.html"),
          std::string("/?a=1&copy=2"), manyTarget, std::string("/img.gif?a=1&amp;b=2")}) {
        auto it = requests.find(target);
        EXPECT_TRUE(it != requests.end() && it->second == 1) << target;
    }
    for (const auto& [target, count] : requests)
        EXPECT_EQ(count, 1) << target;

    EXPECT_TRUE(Exists(Local("/q.html_x=1&y=2.htm")));
    const std::string index = ReadTextFile(Local("/index.html"));
    size_t twice = index.find("href=\"q.html_x=1&amp;y=2.htm\"");
    ASSERT_NE(twice, std::string::npos) << index;
    EXPECT_NE(index.find("href=\"q.html_x=1&amp;y=2.htm\"", twice + 1), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"b.html\""), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"issue_@action=show&amp;id=5.htm\""), std::string::npos) << index;
    EXPECT_NE(index.find("url='refresh.html_a=1&amp;b=2.htm'"), std::string::npos) << index;
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
}

TEST_F(RealSiteShapesTest, ModernLinkShapesAreReadAsABrowserReadsThem)
{
    Page("/", "<html><head><meta http-equiv=\"refresh\" content=\"600; url='refresh.html'\">"
              "<link rel=stylesheet href=site.css><style>@import \"more.css\"; @import 'more2.css';</style></head>"
              "<body><img data-src=\"lazy.png\" src=\"real.png\"><a title=\"a > b\" href=\"gt.html\">gt</a>"
              "<a onclick='x=\"<b>\"' href=\"quoted.html\">q</a></body></html>");
    Serve("/site.css", "@import \"imp.css\";\n@import 'imp2.css' screen;\n@IMPORT url(imp3.css);", "text/css");
    for (const char* path : {"/more.css", "/more2.css", "/imp.css", "/imp2.css", "/imp3.css"})
        Serve(path, "p{}", "text/css");
    for (const char* path : {"/refresh.html", "/gt.html", "/quoted.html"})
        Page(path, "<html>x</html>");
    Serve("/real.png", kGif, "image/png");
    Serve("/lazy.png", kGif, "image/png");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    const auto requests = Requests();
    for (const char* target : {"/refresh.html", "/site.css", "/more.css", "/more2.css", "/imp.css", "/imp2.css",
                               "/imp3.css", "/real.png", "/gt.html", "/quoted.html"})
        EXPECT_EQ(requests.count(target), 1u) << target;
    EXPECT_EQ(requests.count("/lazy.png"), 0u);
    for (const auto& [target, count] : requests) {
        EXPECT_EQ(count, 1) << target;
        EXPECT_EQ(target.find('\''), std::string::npos) << target;
    }
    const std::string index = ReadTextFile(Local("/index.html"));
    EXPECT_NE(index.find("content=\"600; url='refresh.html'\""), std::string::npos) << index;
    EXPECT_NE(index.find("data-src=\"lazy.png\" src=\"real.png\""), std::string::npos) << index;
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
}

TEST_F(RealSiteShapesTest, RepeatRunsKeepEveryLinkRelativeAndWorking)
{
    Page("/", "<html><head><link rel=stylesheet href=\"s.css?v=1\"></head><body>"
              "<a href=\"a%20b.html\">ab</a><a href=\"caf%C3%A9.html#top\">cafe</a>"
              "<a href=\"q.html?x=1&amp;y=2#s\">q</a><a href=\"sub/p.html#top\">p</a><a href=\"#here\">here</a>"
              "<applet code=\"Game.class\" codebase=\"applets/\"></applet>"
              "<a href=\"gone.html\">gone</a></body></html>");
    Serve("/s.css", "body{background:url(\"bg%20img.gif\")}", "text/css");
    Page("/a b.html", "<html><a href=\"sub/p.html\">p</a><img src=\"bg%20img.gif\"></html>");
    Page("/caf\xC3\xA9.html", "<html><a href=\"a%20b.html\">ab</a></html>");
    Page("/q.html", "<html><a href=\"/\">home</a></html>");
    Page("/sub/p.html", "<html><a href=\"../a%20b.html#x\">ab</a><a href=\"../q.html?x=1&amp;y=2\">q</a></html>");
    Serve("/applets/Game.class", "CAFEBABE", "application/java-vm");
    Image("/bg img.gif");

    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
    const std::string firstIndex = ReadTextFile(Local("/index.html"));
    const auto firstRequests = Requests();
    const size_t firstEnded = engine_.OfType(OUTMSG_DOWNLOAD_ENDED).size();

    for (int run = 2; run <= 3; ++run) {
        StartJob();
        ASSERT_TRUE(engine_.WaitForCount(OUTMSG_JOB_ENDED, static_cast<size_t>(run), 60s));
        EXPECT_EQ(engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode, JOB_END_COMPLETED);
        EXPECT_EQ(BrowseProblems(), std::vector<std::string>{}) << "run " << run;
        // The pages read the same as after the first run: no file: links, nothing made absolute.
        EXPECT_EQ(ReadTextFile(Local("/index.html")), firstIndex) << "run " << run;
    }
    EXPECT_NE(firstIndex.find("href=\"a%20b.html\""), std::string::npos) << firstIndex;
    EXPECT_NE(firstIndex.find("href=\"caf%25C3%25A9.html#top\""), std::string::npos) << firstIndex;
    EXPECT_NE(firstIndex.find("href=\"q.html_x=1&amp;y=2.htm#s\""), std::string::npos) << firstIndex;
    EXPECT_NE(firstIndex.find("code=\"Game.class\""), std::string::npos) << firstIndex;
    const std::string b = ReadTextFile(Local("/a b.html"));
    EXPECT_NE(b.find("src=\"bg%20img.gif\""), std::string::npos) << b;

    // Later runs ask the server only for what was written as an address (the missing page, the
    // CODEBASE): the index of the copy names every file already on disk, the start page's too,
    // and files already on disk are never reported for a file that is not there.
    auto requests = Requests();
    for (const auto& [target, count] : requests)
        EXPECT_EQ(count, target == "/gone.html" || target == "/applets/" ? 3 : 1) << target;
    EXPECT_EQ(requests.size(), firstRequests.size());
    const auto ended = engine_.OfType(OUTMSG_DOWNLOAD_ENDED);
    for (size_t i = firstEnded; i < ended.size(); ++i) {
        if (ended[i].filterCode == FILTER_PREVIOUSLY_DOWNLOADED) {
            EXPECT_TRUE(Exists(ended[i].localFile)) << ended[i].url;
        }
    }
}

// A manual's Top page and its Index page differ only in letter case; a class reference names
// its pages as the classes are named, and its scripts build those names.
TEST_F(RealSiteShapesTest, NamesDifferingInCaseAreFilesOfTheirOwn)
{
    Page("/index.html",
         "<html><head><title>Top (Comparing Files)</title></head><body><a href=\"Index.html\">Index</a>"
         "<a href=\"api/StringUtils.html#method\">StringUtils</a></body></html>");
    Page("/Index.html",
         "<html><head><title>Index (Comparing Files)</title></head><body><a href=\"index.html#Top\">Top</a>"
         "</body></html>");
    Page("/api/StringUtils.html", "<html><body><a href=\"stringutils.html\">lower</a></body></html>");
    Page("/api/stringutils.html", "<html><body>another page</body></html>");
    job_.StartingWebAddress.SetFullURL(Url("/index.html"));
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_NE(ReadTextFile(Local("/index.html")).find("Top (Comparing Files)"), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/Index.html")).find("Index (Comparing Files)"), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/index.html")).find("href=\"Index.html\""), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/Index.html")).find("href=\"index.html#Top\""), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/api/StringUtils.html")).find("href=\"stringutils.html\""), std::string::npos);
    EXPECT_NE(ReadTextFile(Local("/api/stringutils.html")).find("another page"), std::string::npos);
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
    for (const auto& [target, count] : Requests())
        EXPECT_EQ(count, 1) << target;
}

TEST_F(RealSiteShapesTest, InlineScriptsAreNeitherFollowedNorRewritten)
{
    // A documentation theme's tag highlighter and a footnote script: markup built in strings.
    const std::string highlighter =
        "<script>\n(function($) {\n  $(document).ready(function() {\n    var base = \"ref/builtins.html\";\n"
        "    $(\"span.k\").each(function(i, elem) {\n      var tagname = $(elem).text();\n"
        "      var fragment = tagname.replace(/_/, '-');\n"
        "      $(elem).html(\"<a href='\" + base + \"#\" + fragment + \"'>\" + tagname + \"</a>\");\n"
        "    });\n  });\n})(jQuery);</script>";
    const std::string footnotes =
        "<SCRIPT type=\"text/javascript\">\nnoteholder.innerHTML +=\n"
        "  \"<div class='footnote' id='_footnote_\" + n + \"'>\" +\n"
        "  \"<a href='#_footnoteref_\" + n + \"' title='Return to text'>\" +\n"
        "  n + \"</a>. \" + note + \"</div>\";\n</SCRIPT >";
    const std::string style = "<style>p::after{content:\"<a href='no.html'>\"} body{background:url(../bg.gif)}</style>";
    const std::string unclosed = "<script>var t = \"<img src='never.gif'>\";\n</body></html>\n";
    Page("/", "<html><head><script src=\"_static/jquery.js\"></script>" + highlighter +
                  "</head><body><a href=\"sub/page.html\">p</a><!-- <script> --><a href=\"after.html\">a</a>"
                  "</body></html>");
    Page("/sub/page.html", "<html><head>" + style + "</head><body>" + footnotes + "<a href=\"../tail.html\">t</a>" +
                               unclosed);
    Serve("/_static/jquery.js", "var jQuery;", "application/javascript");
    for (const char* path : {"/after.html", "/tail.html"})
        Page(path, "<html>x</html>");
    Image("/bg.gif");
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    std::vector<std::string> targets;
    for (const auto& [target, count] : Requests()) {
        targets.push_back(target);
        EXPECT_EQ(count, 1) << target;
    }
    EXPECT_EQ(targets, (std::vector<std::string>{"/", "/_static/jquery.js", "/after.html", "/bg.gif", "/sub/page.html",
                                                 "/tail.html"}));
    const std::string index = ReadTextFile(Local("/index.html"));
    EXPECT_NE(index.find("<script src=\"_static/jquery.js\"></script>" + highlighter), std::string::npos) << index;
    EXPECT_NE(index.find("<!-- <script> --><a href=\"after.html\">"), std::string::npos) << index;
    const std::string page = ReadTextFile(Local("/sub/page.html"));
    EXPECT_NE(page.find(style), std::string::npos) << page;
    EXPECT_NE(page.find(footnotes + "<a href=\"../tail.html\">t</a>" + unclosed), std::string::npos) << page;
    EXPECT_EQ(BrowseProblems(), std::vector<std::string>{});
}

TEST_F(RealSiteShapesTest, HttpsStartingAddressIsFetchedWithHttpsOff)
{
    std::string cert, key;
    ASSERT_TRUE(nettest::MakeCertificate(temp_.Path(), cert, key));
    httplib::SSLServer secure(cert.c_str(), key.c_str());
    const std::string plain = Url("/plain.html");
    secure.Get("/", [plain](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><a href=\"b.html\">b</a><a href=\"" + plain + "\">plain</a></html>", "text/html");
    });
    secure.Get("/b.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html>b</html>", "text/html");
    });
    Page("/plain.html", "<html>plain</html>");
    const int port = secure.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { secure.listen_after_bind(); });
    library_.SetTrustedCertificatesFile(cert);
    job_.DownloadHTTPS = false;
    job_.DownloadHTTP = false;
    job_.RestrictLocation = 3;
    const std::string base = "https://127.0.0.1:" + std::to_string(port);
    job_.StartingWebAddress.SetFullURL(base + "/");
    const int32_t code = RunJob();
    dispatcher_.reset();
    nettest::StopServer(secure, thread);

    ASSERT_EQ(code, JOB_END_COMPLETED);
    std::map<std::string, TReportRecord> ended;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_DOWNLOAD_ENDED))
        ended[r.url] = r;
    EXPECT_EQ(ended[base + "/"].statusCode, 200);
    EXPECT_EQ(ended[base + "/b.html"].statusCode, 200);
    EXPECT_EQ(ended[plain].filterCode, FILTER_PROTOCOL);
    EXPECT_TRUE(Seen().empty());
    EXPECT_TRUE(Exists(Local("/b.html", port)));
}

TEST_F(RealSiteShapesTest, NoIndexPageIsRemovedAndNotPostProcessed)
{
    Page("/", "<html><body><a href=\"hidden.html\">h</a></body></html>");
    Page("/hidden.html", "<html><head><meta name=\"robots\" content=\"noindex\"></head>"
                         "<body><a href=\"shown.html\">s</a></body></html>");
    Page("/shown.html", "<html>shown</html>");
    job_.HonorRobotNoIndexTags = true;
    job_.DownloadOptions.CustomHTMLFooter = "<!-- footer -->";
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);

    EXPECT_FALSE(Exists(Local("/hidden.html")));
    EXPECT_TRUE(Exists(Local("/shown.html")));
    int postProcessed = 0;
    for (const TReportRecord& r : engine_.OfType(OUTMSG_WRITE_ENDED)) {
        EXPECT_NE(r.status, RW_STATUS_ERROR) << r.localFile;
        postProcessed += r.kind == RW_KIND_POSTPROCESS;
    }
    EXPECT_EQ(postProcessed, 2);
    EXPECT_NE(ReadTextFile(Local("/shown.html")).find("<!-- footer -->"), std::string::npos);
    EXPECT_EQ(EventLog().find("No such file"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(RealSiteShapesTest, TheEngineRunsEveryJobNormalised)
{
    Page("/", "<html><body><a href=\"sub/a.html\">a</a></body></html>");
    Page("/sub/a.html", "<html><body><a href=\"../\">home</a></body></html>");
    // "Only these" hosts with an empty list means no host list.
    job_.Hosts.clear();
    job_.HostsPurpose = lpOnlyThese;
    ASSERT_EQ(RunJob(), JOB_END_COMPLETED);
    EXPECT_TRUE(Exists(Local("/sub/a.html")));
    EXPECT_NE(ReadTextFile(Local("/sub/a.html")).find("href=\"../index.html\""), std::string::npos);
}

}  // namespace
