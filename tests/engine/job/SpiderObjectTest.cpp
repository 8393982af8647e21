#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"

#include <gtest/gtest.h>

namespace {

struct TAdd {
    bool added;
    bool requeued;
    TSpiderObject* object;
};

TAdd Add(TSpiderObjectList& list, const std::string& address, int32_t depth, const std::string& referrer = "")
{
    TSpiderObject candidate;
    candidate.FURL.SetFullURL(address);
    TURL referrerURL;
    referrerURL.SetFullURL(referrer);
    candidate.SetReferrer(referrerURL);
    candidate.FDepth = depth;
    TAdd result {};
    result.added = list.AddIfNotPresent(candidate, result.object, result.requeued);
    return result;
}

}  // namespace

TEST(SpiderObjectList, HostCaseFragmentAndUserInfoDoNotMakeANewAddress)
{
    TSpiderObjectList list;
    TSpiderObject* first = Add(list, "http://Example.com/Dir/Page.html", 1).object;
    for (const char* same : {"HTTP://example.COM/Dir/Page.html", "http://example.com/Dir/Page.html#top",
                             "http://user:pw@example.com/Dir/Page.html"}) {
        TAdd again = Add(list, same, 1);
        EXPECT_FALSE(again.added) << same;
        EXPECT_EQ(again.object, first) << same;
    }
    EXPECT_TRUE(Add(list, "http://example.com/Dir/Page.html?x=1", 1).added);
    TSpiderObject probe;
    probe.FURL.SetFullURL("HTTP://EXAMPLE.COM/Dir/Page.html");
    EXPECT_EQ(list.IndexOf(probe), 0);
}

TEST(SpiderObjectList, PathsAndQueriesDifferingInCaseAreOtherAddresses)
{
    TSpiderObjectList list;
    TSpiderObject* lower = Add(list, "http://h.com/index.html", 1).object;
    TSpiderObject* upper = Add(list, "http://h.com/Index.html", 1).object;
    ASSERT_NE(lower, upper);
    EXPECT_TRUE(Add(list, "http://h.com/index.html?Q=1", 1).added);
    EXPECT_TRUE(Add(list, "http://h.com/index.html?q=1", 1).added);
    EXPECT_FALSE(Add(list, "http://H.COM/Index.html", 1).added);
    // Fetched in the order of the folded key, the two spellings side by side.
    std::vector<std::string> order;
    for (int32_t next = list.FindFirstUndispatched(); next >= 0; next = list.FindFirstUndispatched()) {
        order.push_back(list.Get(next)->FURL.GetURLWithoutUserInfo());
        list.Get(next)->FDispatched = true;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"http://h.com/Index.html", "http://h.com/index.html",
                                               "http://h.com/index.html?Q=1", "http://h.com/index.html?q=1"}));
}

TEST(SpiderObjectList, SmallerDepthRequeuesADispatchedAddress)
{
    TSpiderObjectList list;
    TSpiderObject* page = Add(list, "http://s.com/p", 3, "http://s.com/deep").object;
    EXPECT_FALSE(Add(list, "http://s.com/p", 3, "http://s.com/other").requeued);
    EXPECT_EQ(page->Referrer().GetURLWithoutUserInfo(), "http://s.com/deep");
    // Not yet dispatched: takes the depth but is not a requeue.
    EXPECT_FALSE(Add(list, "http://s.com/p", 2, "http://s.com/mid").requeued);
    EXPECT_EQ(page->FDepth, 2);
    EXPECT_EQ(page->Referrer().GetURLWithoutUserInfo(), "http://s.com/mid");
    page->FDispatched = true;
    EXPECT_EQ(list.FindFirstUndispatched(), -1);
    EXPECT_TRUE(Add(list, "http://s.com/p", 0, "http://s.com/").requeued);
    EXPECT_FALSE(page->FDispatched);
    EXPECT_EQ(list.FindFirstUndispatched(), 0);
}

TEST(SpiderObjectList, UndispatchedInKeyOrderIdsInOrderOfAddition)
{
    TSpiderObjectList list;
    for (const char* path : {"/c", "/A", "/b"})
        Add(list, std::string("http://s.com") + path, 1);
    std::vector<std::string> order;
    for (int32_t i = list.FindFirstUndispatched(); i >= 0; i = list.FindFirstUndispatched()) {
        order.push_back(list.Get(i)->FURL.GetURLPath());
        list.Get(i)->FDispatched = true;  // the dispatcher marks objects directly
    }
    EXPECT_EQ(order, (std::vector<std::string>{"/A", "/b", "/c"}));
    EXPECT_EQ(Add(list, "http://s.com/0", 1).object->FID, 4);
    EXPECT_EQ(list.Get(list.IndexOfID(2))->FURL.GetURLPath(), "/A");
    EXPECT_EQ(list.IndexOfID(5), -1);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    EXPECT_TRUE(list.HasUndispatchedObjects());
}

TEST(SpiderObjectList, FirstMappedOwnsADestinationAndKeepsItWhenRequeued)
{
    TSpiderObjectList list;
    TSpiderDestObjectList dests;
    TSpiderObject* a = Add(list, "http://s.com/", 1).object;
    TSpiderObject* b = Add(list, "http://s.com/index.html", 1).object;
    TSpiderDestObject* dest = nullptr;
    auto map = [&](TSpiderObject* object) {
        TSpiderDestObject candidate;
        candidate.FFileName = "/d/s.com/index.html";
        const bool added = dests.AddIfNotPresent(candidate, dest);
        return list.SetDestination(*object, *dest, added);
    };
    EXPECT_TRUE(map(a));
    EXPECT_FALSE(map(b));
    EXPECT_EQ(b->FDestID, dest->FID);
    EXPECT_EQ(list.IndexOfDestOwner(dest->FID), 0);
    // Parsed, then found again at a smaller depth and fetched again: parsed again.
    dest->FParsed = true;
    a->FDispatched = true;
    ASSERT_TRUE(Add(list, "http://s.com/", 0).requeued);
    EXPECT_TRUE(map(a));
    EXPECT_FALSE(dest->FParsed);
    EXPECT_EQ(list.IndexOfDestOwner(dest->FID), 0);
    // Ownership written into the fields directly is still found.
    b->FDestID = 5;
    b->FOwnsDest = true;
    EXPECT_EQ(list.IndexOfDestOwner(5), 1);
    EXPECT_EQ(list.IndexOfDestOwner(6), -1);
}

// Adding an address directly gives what adding a candidate object of it gives: the same ids,
// new and requeued flags, depths, referrers and order of dispatch.
TEST(SpiderObjectList, AddingAnAddressMatchesAddingACandidate)
{
    struct TStep {
        const char* address;
        int32_t depth;
        const char* referrer;  // nullptr: none
        bool dispatchAfter;
    };
    const TStep steps[] = {
        {"http://s.com/", -1, nullptr, true},           {"http://s.com/b", 1, "http://s.com/", false},
        {"http://S.com/a#x", 1, "http://s.com/", true}, {"http://s.com/a", 2, "http://s.com/b", false},
        {"http://s.com/a", 0, nullptr, false},          {"http://u:p@s.com/b", 0, "http://s.com/a", true},
        {"http://s.com/c", 3, "http://s.com/b", false},
    };
    TSpiderObjectList byCandidate;
    TSpiderObjectList byAddress;
    for (const TStep& step : steps) {
        TAdd a = Add(byCandidate, step.address, step.depth, step.referrer ? step.referrer : "");
        TURL url;
        ASSERT_TRUE(url.SetFullURL(step.address));
        TURL referrer;
        if (step.referrer) {
            ASSERT_TRUE(referrer.SetFullURL(step.referrer));
        }
        TAdd b {};
        b.added = byAddress.AddAddressIfNotPresent(url, step.referrer ? &referrer : nullptr, step.depth, b.object,
                                                   b.requeued);
        EXPECT_EQ(a.added, b.added) << step.address;
        EXPECT_EQ(a.requeued, b.requeued) << step.address;
        EXPECT_EQ(a.object->FID, b.object->FID) << step.address;
        a.object->FDispatched = a.object->FDispatched || step.dispatchAfter;
        b.object->FDispatched = b.object->FDispatched || step.dispatchAfter;
    }
    ASSERT_EQ(byCandidate.Count(), byAddress.Count());
    for (int32_t i = 0; i < byCandidate.Count(); ++i) {
        const TSpiderObject& a = *byCandidate.Get(i);
        const TSpiderObject& b = *byAddress.Get(i);
        EXPECT_EQ(a.FURL.GetFullURL(), b.FURL.GetFullURL()) << i;
        EXPECT_EQ(a.Referrer().GetFullURL(), b.Referrer().GetFullURL()) << i;
        EXPECT_EQ(a.Referrer().IsValid(), b.Referrer().IsValid()) << i;
        EXPECT_EQ(a.FDepth, b.FDepth) << i;
        EXPECT_EQ(a.FDispatched, b.FDispatched) << i;
    }
    EXPECT_EQ(byCandidate.FindFirstUndispatched(), byAddress.FindFirstUndispatched());
}

TEST(SpiderObjectList, LinksOfOnePageShareOneReferrerAndKeepTheirOwn)
{
    auto url = [](const char* text) {
        TURL out;
        EXPECT_TRUE(out.SetFullURL(text));
        return out;
    };
    TSpiderObjectList list;
    TSpiderObject* a = nullptr;
    TSpiderObject* b = nullptr;
    TSpiderObject* c = nullptr;
    TSpiderObject* d = nullptr;
    TSpiderObject* e = nullptr;
    bool requeued = false;
    const TURL page = url("http://s.com/page");
    ASSERT_TRUE(list.AddAddressIfNotPresent(url("http://s.com/a"), &page, 1, a, requeued));
    const TURL samePage = url("http://s.com/page");
    ASSERT_TRUE(list.AddAddressIfNotPresent(url("http://s.com/b"), &samePage, 1, b, requeued));
    EXPECT_EQ(a->SharedReferrer(), b->SharedReferrer());
    // Differing in user information alone is another referrer.
    const TURL withUser = url("http://u:p@s.com/page");
    ASSERT_TRUE(list.AddAddressIfNotPresent(url("http://s.com/c"), &withUser, 1, c, requeued));
    EXPECT_NE(c->SharedReferrer(), a->SharedReferrer());
    EXPECT_EQ(c->Referrer().GetUserName(), "u");
    ASSERT_TRUE(list.AddAddressIfNotPresent(url("http://s.com/d"), nullptr, 1, d, requeued));
    EXPECT_EQ(d->SharedReferrer(), nullptr);
    EXPECT_FALSE(d->Referrer().IsValid());
    // Met again nearer the start: takes the new page as its referrer, the others keep theirs.
    const TURL start = url("http://s.com/");
    ASSERT_TRUE(list.AddAddressIfNotPresent(url("http://s.com/e"), &start, 0, e, requeued));
    EXPECT_FALSE(list.AddAddressIfNotPresent(url("http://s.com/a"), &start, 0, a, requeued));
    EXPECT_EQ(a->SharedReferrer(), e->SharedReferrer());
    EXPECT_EQ(a->Referrer().GetFullURL(), "http://s.com/");
    EXPECT_EQ(b->Referrer().GetFullURL(), "http://s.com/page");
    EXPECT_TRUE(c->Referrer().GetUserName() == "u" && c->Referrer().GetURLPath() == "/page");
}
