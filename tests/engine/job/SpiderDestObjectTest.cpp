#include "engine/job/SpiderDestObject.h"

#include "common/TempFolder.h"
#include "engine/job/URLType.h"
#include "engine/services/ThreadSafeFileOps.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(SpiderDestObjectList, NamesDifferingInCaseAloneAreFound)
{
    TSpiderDestObjectList list;
    TSpiderDestObject candidate;
    TSpiderDestObject* dest = nullptr;
    candidate.FFileName = "/d/h/index.html";
    list.AddIfNotPresent(candidate, dest);
    EXPECT_FALSE(list.HasCaseVariant("/d/h/index.html"));
    EXPECT_TRUE(list.HasCaseVariant("/d/h/Index.html"));
    EXPECT_FALSE(list.HasCaseVariant("/d/h/index.htm"));
    const std::string distinct = CaseDistinctLocalName("/d/h/Index.html");
    EXPECT_EQ(distinct.rfind("/d/h/Index~", 0), 0u) << distinct;
    EXPECT_EQ(distinct.size(), std::string("/d/h/Index.html").size() + 17);
    EXPECT_EQ(distinct.substr(distinct.size() - 5), ".html");
    EXPECT_FALSE(list.HasCaseVariant(distinct));
    // A name at the length limit stays within it.
    EXPECT_EQ(CaseDistinctLocalName("/d/" + std::string(240, 'A') + ".html").size(), 3u + 245u);
    // The test folder's file system keeps case apart (a FAT stick would not).
    TTempFolder temp;
    EXPECT_FALSE(FolderFoldsCase(temp.Path()));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}
