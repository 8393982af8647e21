// The spider and destination lists at the size of a large site, and the filter's checks.
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kObjects = 100000;

std::string Address(int i)
{
    return "http://www.site" + std::to_string(i % 7) + ".com/section" + std::to_string(i % 113) + "/page" +
           std::to_string(i) + ".html?id=" + std::to_string(i * 31);
}

const std::vector<std::unique_ptr<TSpiderObject>>& Candidates()
{
    static const auto candidates = [] {
        std::vector<std::unique_ptr<TSpiderObject>> out;
        for (int i = 0; i < kObjects; ++i) {
            auto object = std::make_unique<TSpiderObject>();
            object->FURL.SetFullURL(Address(i));
            TURL referrer;
            referrer.SetFullURL(Address(i / 2));
            object->SetReferrer(referrer);
            object->FDepth = i % 9;
            out.push_back(std::move(object));
        }
        return out;
    }();
    return candidates;
}

// 10^5 adds, each address met once more (lookup through AddIfNotPresent), a lookup by key
// and by id for each, then every object handed out in key order.
void BM_SpiderList(benchmark::State& state)
{
    const auto& candidates = Candidates();
    for (auto _ : state) {
        TSpiderObjectList list;
        TSpiderObject* object = nullptr;
        bool requeued = false;
        for (const auto& candidate : candidates)
            list.AddIfNotPresent(*candidate, object, requeued);
        for (const auto& candidate : candidates)
            list.AddIfNotPresent(*candidate, object, requeued);
        int64_t found = 0;
        for (const auto& candidate : candidates)
            found += list.IndexOf(*candidate) >= 0;
        for (int32_t id = 1; id <= kObjects; ++id)
            found += list.IndexOfID(id) >= 0;
        for (int32_t i = list.FindFirstUndispatched(); i >= 0; i = list.FindFirstUndispatched())
            list.Get(i)->FDispatched = true;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_SpiderList)->Unit(benchmark::kMillisecond);

// 10^5 destinations added and mapped to their owners, each found again by name and by id,
// and each owner looked up.
void BM_DestinationList(benchmark::State& state)
{
    std::vector<std::string> names;
    for (int i = 0; i < kObjects; ++i)
        names.push_back("/home/user/My Copied Sites/www.site.com/section" + std::to_string(i % 113) + "/page" +
                        std::to_string(i) + ".html");
    const auto& candidates = Candidates();
    for (auto _ : state) {
        TSpiderDestObjectList dests;
        TSpiderObjectList objects;
        TSpiderObject* object = nullptr;
        bool requeued = false;
        TSpiderDestObject candidate;
        TSpiderDestObject* dest = nullptr;
        for (int i = 0; i < kObjects; ++i) {
            objects.AddIfNotPresent(*candidates[i], object, requeued);
            candidate.FFileName = names[i];
            const bool added = dests.AddIfNotPresent(candidate, dest);
            objects.SetDestination(*object, *dest, added);
        }
        int64_t found = 0;
        for (int i = 0; i < kObjects; ++i) {
            candidate.FFileName = names[i];
            found += !dests.AddIfNotPresent(candidate, dest);
            found += dests.IndexOfID(i + 1) >= 0;
            found += objects.IndexOfDestOwner(i + 1) >= 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_DestinationList)->Unit(benchmark::kMillisecond);

// The checks a download thread makes for 10^5 addresses, with every list in use.
void BM_FilterChecks(benchmark::State& state)
{
    TCopyJob job;
    job.Clear();
    job.DestinationFolder = "/tmp/dest";
    job.StartingWebAddress.SetFullURL(Address(0));
    job.RestrictLocation = 1;
    job.RestrictLocationOfWebPagesOnly = false;
    job.AddressStrings = "logout, /cgi-bin/, *print*";
    job.AddressStringsPurpose = 2;
    job.Hosts = "*.site0.com, *.site1.com, *.site2.com";
    job.HostsPurpose = 1;
    job.Extensions = ".exe, .zip, .iso";
    job.ExtensionsPurpose = 2;
    job.Types = "text/*, image/*";
    job.TypesPurpose = 1;
    TDownloadFilter filter;
    filter.LoadJob(job, true, true);
    const auto& candidates = Candidates();
    for (auto _ : state) {
        int64_t accepted = 0;
        for (const auto& candidate : candidates)
            accepted += filter.CheckDownloadAfterResponse(candidate->FURL, "text/html", 1, 1000) == FILTER_ACCEPTED;
        benchmark::DoNotOptimize(accepted);
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_FilterChecks)->Unit(benchmark::kMillisecond);

}  // namespace

