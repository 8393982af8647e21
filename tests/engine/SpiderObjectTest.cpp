#include "engine/SpiderDestObject.h"
#include "engine/SpiderObject.h"

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
    if (!referrer.empty())
        candidate.FReferrer.SetFullURL(referrer);
    candidate.FDepth = depth;
    TAdd result {};
    result.added = list.AddIfNotPresent(candidate, result.object, result.requeued);
    return result;
}

}  // namespace

TEST(SpiderObjectList, CaseFragmentAndUserInfoDoNotMakeANewAddress)
{
    TSpiderObjectList list;
    TAdd first = Add(list, "http://Example.com/Dir/Page.html", 1);
    ASSERT_TRUE(first.added);
    EXPECT_EQ(first.object->FID, 1);
    for (const char* same : {"http://example.COM/dir/page.HTML", "http://example.com/Dir/Page.html#top",
                             "http://user:pw@example.com/Dir/Page.html"}) {
        TAdd again = Add(list, same, 1);
        EXPECT_FALSE(again.added) << same;
        EXPECT_EQ(again.object, first.object) << same;
    }
    EXPECT_TRUE(Add(list, "http://example.com/Dir/Page.html?x=1", 1).added);
    EXPECT_EQ(list.Count(), 2);
    TSpiderObject probe;
    probe.FURL.SetFullURL("HTTP://EXAMPLE.COM/DIR/PAGE.HTML");
    EXPECT_EQ(list.IndexOf(probe), 0);
    probe.FURL.SetFullURL("http://example.com/missing");
    EXPECT_EQ(list.IndexOf(probe), -1);
}

TEST(SpiderObjectList, SmallerDepthRequeuesADispatchedAddress)
{
    TSpiderObjectList list;
    TSpiderObject* page = Add(list, "http://s.com/p", 3, "http://s.com/deep").object;
    // Greater or equal depth changes nothing.
    TAdd same = Add(list, "http://s.com/p", 3, "http://s.com/other");
    EXPECT_FALSE(same.requeued);
    EXPECT_EQ(page->FReferrer.GetURLWithoutUserInfo(), "http://s.com/deep");
    // Not yet dispatched: takes the depth but is not a requeue.
    TAdd shallower = Add(list, "http://s.com/p", 2, "http://s.com/mid");
    EXPECT_FALSE(shallower.added);
    EXPECT_FALSE(shallower.requeued);
    EXPECT_EQ(page->FDepth, 2);
    EXPECT_EQ(page->FReferrer.GetURLWithoutUserInfo(), "http://s.com/mid");
    // Dispatched: requeued and handed out again.
    page->FDispatched = true;
    EXPECT_EQ(list.FindFirstUndispatched(), -1);
    TAdd requeue = Add(list, "http://s.com/p", 0, "http://s.com/");
    EXPECT_TRUE(requeue.requeued);
    EXPECT_FALSE(page->FDispatched);
    EXPECT_EQ(page->FDepth, 0);
    EXPECT_EQ(list.FindFirstUndispatched(), 0);
}

TEST(SpiderObjectList, UndispatchedAddressesComeInKeyOrder)
{
    TSpiderObjectList list;
    Add(list, "http://s.com/c", 1);
    Add(list, "http://s.com/A", 1);
    Add(list, "http://s.com/b", 1);
    std::vector<std::string> order;
    for (int32_t i = list.FindFirstUndispatched(); i >= 0; i = list.FindFirstUndispatched()) {
        order.push_back(list.Get(i)->FURL.GetURLPath());
        list.Get(i)->FDispatched = true;  // the dispatcher marks objects directly
    }
    EXPECT_EQ(order, (std::vector<std::string>{"/A", "/b", "/c"}));
    EXPECT_FALSE(list.HasUndispatchedObjects());
    // Ids follow the order of addition.
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
    auto map = [&](TSpiderObject* object) {
        TSpiderDestObject candidate;
        candidate.FFileName = "/d/s.com/index.html";
        TSpiderDestObject* dest = nullptr;
        bool added = dests.AddIfNotPresent(candidate, dest);
        return std::make_pair(list.SetDestination(*object, *dest, added), dest);
    };
    auto [aOwns, dest] = map(a);
    EXPECT_TRUE(aOwns);
    EXPECT_FALSE(map(b).first);
    EXPECT_EQ(b->FDestID, dest->FID);
    EXPECT_EQ(list.IndexOfDestOwner(dest->FID), 0);

    // Fetched and parsed, then found again at a smaller depth and fetched again.
    dest->FParseNeeded = true;
    dest->FParsed = true;
    a->FDispatched = true;
    ASSERT_TRUE(Add(list, "http://s.com/", 0).requeued);
    EXPECT_TRUE(map(a).first);
    EXPECT_TRUE(a->FOwnsDest);
    EXPECT_FALSE(dest->FParsed);
    EXPECT_EQ(list.IndexOfDestOwner(dest->FID), 0);
    EXPECT_EQ(list.IndexOfDestOwner(99), -1);
    // Ownership written directly into the fields is still found.
    b->FDestID = 5;
    b->FOwnsDest = true;
    EXPECT_EQ(list.IndexOfDestOwner(5), 1);
}
