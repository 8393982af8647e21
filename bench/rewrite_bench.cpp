// Link rewriting of a generated site: every page re-read and its links replaced through a
// temporary file, as after a crawl. Reports are not posted (no output queue exists here).
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/job/JobControl.h"
#include "engine/job/JobTypes.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class NoCommands : public TJobControl {
public:
    void CheckPauseRequests() override {}
    void CheckStopRequests() override {}
    bool Paused() const override { return false; }
    bool StopRequested() const override { return false; }
    bool CancelRequested() const override { return false; }
    void WaitForCommand() override {}
    int32_t AddSpiderObjectToList(TSpiderObjectList&, const TURL&, bool& isNew, const TURL*, int32_t) override
    {
        isNew = false;
        return 0;
    }
};

struct Site {
    std::string root;
    std::vector<std::string> pages;  // local files
    std::vector<TURL> addresses;
    TSpiderObjectList spider;
    TSpiderDestObjectList dests;

    void Add(const std::string& address, const std::string& relative, const std::string& body)
    {
        TSpiderObject candidate;
        candidate.FURL.SetFullURL(address);
        TSpiderObject* object = nullptr;
        bool requeued = false;
        spider.AddIfNotPresent(candidate, object, requeued);
        TSpiderDestObject dest;
        dest.FFileName = root + "/" + relative;
        dest.FLocalSource = false;
        TSpiderDestObject* listDest = nullptr;
        spider.SetDestination(*object, *(dests.AddIfNotPresent(dest, listDest), listDest), true);
        std::filesystem::create_directories(std::filesystem::path(dest.FFileName).parent_path());
        std::ofstream(dest.FFileName, std::ios::binary) << body;
    }

    // pages pages in 10 folders, each linking to 40 pages and 10 images (a tenth never saved).
    explicit Site(int count)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "gleanery-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        for (int i = 0; i < count; ++i) {
            std::string body = "<html><head><title>Page</title><link rel=stylesheet href=\"/s.css\"></head><body>";
            for (int k = 1; k <= 40; ++k)
                body += "<a href=\"/d" + std::to_string((i + k) % 10) + "/p" + std::to_string((i + k) % count) +
                        ".htm\">link " + std::to_string(k) + "</a> some text between the links\n";
            for (int k = 0; k < 10; ++k)
                body += "<img src=\"/img/i" + std::to_string((i + k) % 100) + ".gif\" alt=\"\">";
            body += "</body></html>";
            std::string relative = "d" + std::to_string(i % 10) + "/p" + std::to_string(i) + ".htm";
            std::string address = "http://h/" + relative;
            if (i % 10 != 9)
                Add(address, relative, body);
            if (i % 10 != 9) {
                pages.push_back(root + "/" + relative);
                addresses.emplace_back();
                addresses.back().SetFullURL(address);
            }
        }
        for (int k = 0; k < 100; ++k)
            Add("http://h/img/i" + std::to_string(k) + ".gif", "img/i" + std::to_string(k) + ".gif", "GIF");
    }
    ~Site() { std::filesystem::remove_all(root); }
};

void BM_RewriteSite(benchmark::State& state)
{
    THTMLParser html;
    TCSSParser css;
    TURLToFilenameMapper mapper;
    TReadWriteOutputMessenger messenger;
    TLinkParser parser;
    NoCommands control;
    TCopyJob job;
    Site site(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (size_t i = 0; i < site.pages.size(); ++i)
            parser.RewriteLinksInFile(control, site.pages[i], false, job, site.dests, site.spider, 1,
                                      site.addresses[i]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(site.pages.size()));
}
BENCHMARK(BM_RewriteSite)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
