// Link extraction throughput. The corpus is the site folder given as the first argument or in
// GLEANERY_BENCH_SITE (e.g. made by gensite.py); without one, pages are generated in memory.
// Reports bytes per second over all pages and style sheets. BM_CopyPagesAhead reads the pages as
// an update reads those of a copy (the folder then is a copy's host folder).
#include "engine/job/LocalNames.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/ParseAhead.h"
#include "platform/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

struct TCorpusFile {
    std::string Path;
    std::string Address;
    std::string Text;
};

struct TCorpus {
    std::vector<TCorpusFile> Pages;
    std::vector<TCorpusFile> StyleSheets;
    int64_t PageBytes = 0;
    int64_t StyleBytes = 0;
};

std::string g_siteFolder;

bool EndsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void LoadFolder(const std::string& folder, TCorpus& corpus)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error);
    if (error) {
        std::fprintf(stderr, "cannot read %s (%s): using generated pages\n", folder.c_str(), error.message().c_str());
        return;
    }
    for (const auto& entry : it) {
        if (!entry.is_regular_file())
            continue;
        const std::string path = entry.path().string();
        const bool page = EndsWith(path, ".html") || EndsWith(path, ".htm");
        if (!page && !EndsWith(path, ".css"))
            continue;
        TCorpusFile file;
        file.Path = path;
        file.Address = "http://127.0.0.1:8080/" + fs::relative(entry.path(), folder).string();
        if (!ReadWholeFile(path, file.Text))
            continue;
        (page ? corpus.PageBytes : corpus.StyleBytes) += static_cast<int64_t>(file.Text.size());
        (page ? corpus.Pages : corpus.StyleSheets).push_back(std::move(file));
    }
}

// Pages shaped like the generated site: about 12 links of mixed forms, two images, a style
// sheet link, 8-20 KB of paragraphs.
void Generate(TCorpus& corpus, int pages)
{
    std::mt19937 rnd(1);
    const char* words[] = {"lorem", "ipsum", "dolor", "sit", "amet", "consectetur", "adipiscing", "elit",
                           "sed", "do", "eiusmod", "tempor", "incididunt", "ut", "labore", "et"};
    for (int i = 0; i < pages; ++i) {
        std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Page " +
                           std::to_string(i) + "</title>\n<link rel=\"stylesheet\" href=\"/css/site.css\">"
                           "</head>\n<body><h1>Page</h1>\n";
        for (int k = 0; k < 2; ++k)
            html += "<img src=\"img/p" + std::to_string(i) + "_" + std::to_string(k) + ".png\" alt=\"figure\"> ";
        html += "\n<ul>\n";
        for (int k = 0; k < 12; ++k) {
            const std::string target = "sec" + std::to_string(rnd() % 50) + "/page" + std::to_string(rnd() % 10000) +
                                       ".html";
            static const char* forms[] = {"/", "http://127.0.0.1:8080/", "../", "/"};
            html += "<li><a href=\"" + std::string(forms[k % 4]) + target + (k % 4 == 3 ? "#s3" : "") +
                    "\">Page</a></li>\n";
        }
        html += "</ul>\n";
        const int paragraphs = 6 + static_cast<int>(rnd() % 8);
        for (int p = 0; p < paragraphs; ++p) {
            html += "<p>";
            const int count = 60 + static_cast<int>(rnd() % 100);
            for (int w = 0; w < count; ++w) {
                html += words[rnd() % 16];
                html += ' ';
            }
            html += "</p>\n";
        }
        html += "</body></html>\n";
        corpus.PageBytes += static_cast<int64_t>(html.size());
        corpus.Pages.push_back({"/site/sec/page" + std::to_string(i) + ".html",
                                "http://127.0.0.1:8080/sec/page" + std::to_string(i) + ".html", std::move(html)});
    }
    std::string css = "body{font-family:sans-serif;background:url('../img/bg.png')}\n"
                      "h1{background:url(/img/logo.gif) no-repeat}\n";
    for (int k = 0; k < 50; ++k)
        css += "p{margin:0 0 1em}\n";
    corpus.StyleBytes += static_cast<int64_t>(css.size());
    corpus.StyleSheets.push_back({"/site/css/site.css", "http://127.0.0.1:8080/css/site.css", css});
}

std::string SiteFolder()
{
    std::string folder = g_siteFolder;
    if (folder.empty())
        if (const char* env = std::getenv("GLEANERY_BENCH_SITE"))
            folder = env;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

const TCorpus& Corpus()
{
    static const TCorpus corpus = [] {
        TCorpus c;
        const std::string folder = SiteFolder();
        if (!folder.empty())
            LoadFolder(folder, c);
        if (c.Pages.empty())
            Generate(c, 2000);
        return c;
    }();
    return corpus;
}

// resolve: 1 gives every page its address (links resolved), 0 none (the scanner alone).
void BM_HTMLLinks(benchmark::State& state)
{
    const TCorpus& corpus = Corpus();
    const bool resolve = state.range(0) != 0;
    THTMLParser parser;
    TWebLinkList list;
    int64_t links = 0;
    for (auto _ : state) {
        for (const TCorpusFile& page : corpus.Pages) {
            parser.GetLinksInHTMLCode(page.Text, page.Path, resolve ? page.Address : std::string(), list, 0);
            links += list.Count();
        }
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(state.iterations() * corpus.PageBytes);
    state.counters["pages"] = static_cast<double>(corpus.Pages.size());
    state.counters["links/page"] =
        static_cast<double>(links) / static_cast<double>(state.iterations() * corpus.Pages.size());
}
BENCHMARK(BM_HTMLLinks)->ArgName("resolve")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_CSSLinks(benchmark::State& state)
{
    const TCorpus& corpus = Corpus();
    TCSSParser parser;
    TWebLinkList list;
    for (auto _ : state) {
        for (const TCorpusFile& sheet : corpus.StyleSheets) {
            list.Clear();
            parser.FBaseURL = sheet.Address;
            parser.GetLinksInCSSCode(sheet.Text, list, 0, static_cast<int64_t>(sheet.Text.size()), 1);
            parser.SetAbsoluteURLsInLinkList(sheet.Path, list);
        }
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetBytesProcessed(state.iterations() * corpus.StyleBytes);
}
BENCHMARK(BM_CSSLinks);

// Each file of the copy stands for the address its path names below the folder.
class TCopyNames : public TLocalNames {
public:
    explicit TCopyNames(std::string folder) : folder_(std::move(folder)) {}
    uint8_t MapURLToLocalFile(const TURL&, const std::string&, std::string&) override { return 0; }
    bool AddressOfLocalFile(const std::string& localName, const std::string&, const TURL&, TURL& address) override
    {
        return localName.compare(0, folder_.size(), folder_) == 0 &&
               address.SetFullURL("http://127.0.0.1:8080" + localName.substr(folder_.size()));
    }
    bool IsFileOfCopy(const std::string& path, TFileStamp*) override { return IsPlainFileNoFollow(path); }

private:
    std::string folder_;
};

void BM_CopyPagesAhead(benchmark::State& state)
{
    const TCorpus& corpus = Corpus();
    const std::string folder = SiteFolder();
    if (folder.empty() || corpus.Pages.empty() || corpus.Pages.front().Path.compare(0, folder.size(), folder) != 0) {
        state.SkipWithError("needs a copy's host folder");
        return;
    }
    TCopyNames names(folder);
    THTMLParser html(THTMLParser::TPrivateInstance{});
    TCSSParser css(TCSSParser::TPrivateInstance{});
    int64_t links = 0;
    for (auto _ : state) {
        for (const TCorpusFile& page : corpus.Pages) {
            TPreparedParse prepared;
            PrepareParse({page.Path, page.Address, true, 1, 0, true}, html, css, prepared);
            links += prepared.list.Count();
        }
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(state.iterations() * corpus.PageBytes);
    state.counters["links/page"] =
        static_cast<double>(links) / static_cast<double>(state.iterations() * corpus.Pages.size());
}
BENCHMARK(BM_CopyPagesAhead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
        g_siteFolder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
