// Address work done for every link of every page of a crawl.
#include "engine/job/URLType.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const char* const kBase = "https://www.example.com/articles/2024/05/some-article-title.html?page=2";

const std::vector<std::string>& Links()
{
    static const std::vector<std::string> links = {
        "../../2023/12/older-article.html",
        "/static/css/site.css?v=12345",
        "images/photo%20one.jpg",
        "https://cdn.example.net/lib/script.js",
        "#comments",
        "?page=3",
        "//other.example.org/path/to/page/",
        "./related/a;b?c=d&e=f#g",
    };
    return links;
}

void BM_SetFullURL(benchmark::State& state)
{
    TURL url;
    for (auto _ : state)
        benchmark::DoNotOptimize(url.SetFullURL(kBase));
}
BENCHMARK(BM_SetFullURL);

void BM_SetRelativeURL(benchmark::State& state)
{
    TURL base;
    base.SetFullURL(kBase);
    TURL url;
    const auto& links = Links();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(url.SetRelativeURL(links[i], base));
        i = (i + 1) % links.size();
    }
}
BENCHMARK(BM_SetRelativeURL);

void BM_Key(benchmark::State& state)
{
    TURL url;
    url.SetFullURL(kBase);
    for (auto _ : state)
        benchmark::DoNotOptimize(url.GetURLWithoutUserInfo());
}
BENCHMARK(BM_Key);

void BM_URLToLocalFileName(benchmark::State& state)
{
    TURL url;
    url.SetFullURL("https://www.example.com/articles/2024/05/some%20article.html?page=2&x=%41");
    for (auto _ : state)
        benchmark::DoNotOptimize(url.URLToLocalFileName("/home/user/My Copied Sites/job", true, true));
}
BENCHMARK(BM_URLToLocalFileName);

// Long hostile paths must stay linear: 2000 bytes of "../" and "a/" pairs.
void BM_DotSegmentsLong(benchmark::State& state)
{
    std::string text = "http://h/";
    while (text.size() < 2000)
        text += "a/../b/./";
    TURL url;
    for (auto _ : state)
        benchmark::DoNotOptimize(url.SetFullURL(text));
}
BENCHMARK(BM_DotSegmentsLong);

}  // namespace
