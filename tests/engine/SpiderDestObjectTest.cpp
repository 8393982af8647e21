#include "engine/SpiderDestObject.h"

#include <gtest/gtest.h>

namespace {

TSpiderDestObject* Add(TSpiderDestObjectList& list, const std::string& name, bool* added = nullptr)
{
    TSpiderDestObject candidate;
    candidate.FFileName = name;
    TSpiderDestObject* dest = nullptr;
    bool result = list.AddIfNotPresent(candidate, dest);
    if (added)
        *added = result;
    return dest;
}

}  // namespace

TEST(SpiderDestObjectList, NamesAreUniqueAndIdsCountFromOne)
{
    TSpiderDestObjectList list;
    bool added = false;
    TSpiderDestObject* a = Add(list, "/Dest/site/a.html", &added);
    EXPECT_TRUE(added);
    EXPECT_EQ(a->FID, 1);
    EXPECT_TRUE(a->FLocalSource);
    TSpiderDestObject* b = Add(list, "/Dest/site/b.html", &added);
    EXPECT_EQ(b->FID, 2);
    EXPECT_EQ(Add(list, "/Dest/site/a.html", &added), a);
    EXPECT_FALSE(added);
    // Names compare bytewise: the destination folder keeps its case.
    EXPECT_NE(Add(list, "/dest/site/a.html", &added), a);
    EXPECT_TRUE(added);
    EXPECT_EQ(list.Count(), 3);
}

TEST(SpiderDestObjectList, LookupsByIdAndIndex)
{
    TSpiderDestObjectList list;
    Add(list, "/d/one");
    Add(list, "/d/two");
    EXPECT_EQ(list.IndexOfID(2), 1);
    EXPECT_EQ(list.IndexOfID(3), -1);
    EXPECT_EQ(list.IndexOfID(0), -1);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    std::string name = "stale";
    list.GetFileName(1, name);
    EXPECT_EQ(name, "/d/one");
    list.GetFileName(9, name);
    EXPECT_EQ(name, "");
}

TEST(SpiderDestObjectList, AddCopiesTheCandidateWithANewId)
{
    TSpiderDestObjectList list;
    TSpiderDestObject candidate;
    candidate.FID = 77;
    candidate.FFileName = "/d/x.css";
    candidate.FParseNeeded = true;
    candidate.FParseKind = PARSE_KIND_CSS;
    TSpiderDestObject* dest = nullptr;
    ASSERT_TRUE(list.AddIfNotPresent(candidate, dest));
    EXPECT_NE(dest, &candidate);
    EXPECT_EQ(dest->FID, 1);
    EXPECT_TRUE(dest->FParseNeeded);
    EXPECT_EQ(dest->FParseKind, PARSE_KIND_CSS);
    // Renaming the candidate afterwards does not disturb the lookup by name.
    candidate.FFileName = "/d/other";
    EXPECT_EQ(Add(list, "/d/x.css"), dest);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(Add(list, "/d/x.css")->FID, 1);
}
