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

// Reports pass links on by swapping them: every field goes across.
TEST(WebLinkInfo, SwapExchangesEveryField)
{
    const auto filled = [](int n) {
        TWebLinkInfo l;
        l.FKind = n;
        EXPECT_TRUE(l.FURL.SetFullURL("http://h" + std::to_string(n) + ":8" + std::to_string(n) + "/p?q#f" +
                                      std::to_string(n)));
        l.FTagName = "T" + std::to_string(n);
        l.FAttribName = "A" + std::to_string(n);
        l.FTagText = std::string(40, static_cast<char>('a' + n));
        l.FValue = "v" + std::to_string(n);
        l.FValuePos = n + 1;
        l.FValueLength = n + 2;
        l.FTagPos = n + 3;
        l.FTagLength = n + 4;
        l.FURLPartPos = n + 5;
        l.FURLPartLength = n + 6;
        l.FTagIndex = n + 7;
        l.FNewAddress = n == 1;
        return l;
    };
    const auto same = [](const TWebLinkInfo& a, const TWebLinkInfo& b) {
        return a.FKind == b.FKind && a.FURL == b.FURL && a.FTagName == b.FTagName && a.FAttribName == b.FAttribName &&
               a.FTagText == b.FTagText && a.FValue == b.FValue && a.FValuePos == b.FValuePos &&
               a.FValueLength == b.FValueLength && a.FTagPos == b.FTagPos && a.FTagLength == b.FTagLength &&
               a.FURLPartPos == b.FURLPartPos && a.FURLPartLength == b.FURLPartLength &&
               a.FTagIndex == b.FTagIndex && a.FNewAddress == b.FNewAddress;
    };
    TWebLinkInfo one = filled(1), two = filled(2);
    swap(one, two);
    EXPECT_TRUE(same(one, filled(2)));
    EXPECT_TRUE(same(two, filled(1)));
}

}  // namespace
