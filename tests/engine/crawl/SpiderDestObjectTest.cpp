#include "engine/crawl/SpiderDestObject.h"

#include <gtest/gtest.h>

TEST(SpiderDestObjectList, OneDestinationPerNameWithIdsFromOne)
{
    TSpiderDestObjectList list;
    auto add = [&](const std::string& name, bool& added) {
        TSpiderDestObject candidate;
        candidate.FID = 77;
        candidate.FFileName = name;
        TSpiderDestObject* dest = nullptr;
        added = list.AddIfNotPresent(candidate, dest);
        return dest;
    };
    bool added = false;
    TSpiderDestObject* a = add("/Dest/site/a.html", added);
    EXPECT_TRUE(added);
    EXPECT_EQ(a->FID, 1);
    EXPECT_TRUE(a->FLocalSource);
    EXPECT_EQ(add("/Dest/site/b.html", added)->FID, 2);
    EXPECT_EQ(add("/Dest/site/a.html", added), a);
    EXPECT_FALSE(added);
    // Names compare bytewise: the destination folder keeps its case.
    EXPECT_EQ(add("/dest/site/a.html", added)->FID, 3);

    EXPECT_EQ(list.IndexOfID(2), 1);
    EXPECT_EQ(list.IndexOfID(4), -1);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    std::string name = "stale";
    list.GetFileName(1, name);
    EXPECT_EQ(name, "/Dest/site/a.html");
    list.GetFileName(9, name);
    EXPECT_EQ(name, "");
}
