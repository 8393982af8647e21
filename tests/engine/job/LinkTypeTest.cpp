#include "engine/job/LinkType.h"

#include <gtest/gtest.h>

namespace {

TWebLinkInfo At(int64_t valuePos, int64_t partPos, const char* value)
{
    TWebLinkInfo l;
    l.FKind = lkHTMLAttribute;
    l.FValuePos = valuePos;
    l.FURLPartPos = partPos;
    l.FValue = value;
    return l;
}

TEST(WebLinkList, SortsByValueAndAddressPartPosition)
{
    TWebLinkList list;
    list.AddLink(At(50, 0, "css"));      // a STYLE link found after the tags that follow it
    list.AddLink(At(10, 0, "meta-name"));
    list.AddLink(At(30, 8, "refresh"));  // its address part stands at 38
    list.AddLink(At(35, 0, "img"));
    list.SortByPosition();
    std::vector<std::string> order;
    for (const auto& l : list)
        order.push_back(l.FValue);
    EXPECT_EQ(order, (std::vector<std::string>{"meta-name", "img", "refresh", "css"}));
}

TEST(WebLinkList, GetOutsideTheListGivesNothingAndAddCopies)
{
    TWebLinkList list;
    TWebLinkInfo link = At(1, 0, "a");
    ASSERT_TRUE(link.FURL.SetFullURL("http://h.com/a"));
    list.AddLink(link);
    link.FValue = "changed";
    link.FURL.Clear();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->FValue, "a");
    EXPECT_EQ(list.Get(0)->FURL.GetFullURL(), "http://h.com/a");
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(1), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
