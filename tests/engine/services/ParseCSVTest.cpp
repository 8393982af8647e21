#include "engine/services/ParseCSV.h"

#include <gtest/gtest.h>

using Fields = std::vector<std::string>;

namespace {

Fields Parse(const std::string& line)
{
    Fields fields {"stale"};
    ParseCSVLine(line, fields);
    return fields;
}

}  // namespace

TEST(ParseCSVLine, QuotedFieldsWithDoubledQuotesAndCommas)
{
    EXPECT_EQ(Parse(R"x("1","(Filename)","ENU.csv","")x"), (Fields {"1", "(Filename)", "ENU.csv", ""}));
    EXPECT_EQ(Parse(R"x("127","Assume ""WWW"" here","a, b","")x"),
              (Fields {"127", R"x(Assume "WWW" here)x", "a, b", ""}));
    // A quote doubled at the end of a field.
    EXPECT_EQ(Parse(R"x("x""","y")x"), (Fields {R"x(x")x", "y"}));
    // Three quotes at each end keep one pair after splitting.
    EXPECT_EQ(Parse(R"x(1,"""x""")x"), (Fields {"1", R"x("x")x"}));
}

TEST(ParseCSVLine, UnquotedFieldsAndTrailingComma)
{
    EXPECT_EQ(Parse("ab,c"), (Fields {"ab", "c"}));
    EXPECT_EQ(Parse("a"), (Fields {"a"}));
    EXPECT_EQ(Parse("ab,"), (Fields {"ab", ""}));
    EXPECT_EQ(Parse(","), (Fields {"", ""}));
    EXPECT_EQ(Parse(",,x"), (Fields {"", "", "x"}));
    EXPECT_EQ(Parse(R"x("a",)x"), (Fields {"a", ""}));
    EXPECT_EQ(Parse("a b , c"), (Fields {"a b ", " c"}));
    EXPECT_EQ(Parse(""), Fields {});
}

TEST(ParseCSVLine, BrokenQuotingDropsTheUnfinishedField)
{
    // No closing quote.
    EXPECT_EQ(Parse(R"x(a,"bc)x"), (Fields {"a"}));
    // Text after a closing quote is dropped up to the end of the line.
    EXPECT_EQ(Parse(R"x(x,"a"b,c)x"), (Fields {"x"}));
    EXPECT_EQ(Parse(R"x("a" ,b)x"), Fields {});
    // A lone quote opens a field that never ends.
    EXPECT_EQ(Parse("\""), Fields {});
}

TEST(ParseCSVLine, BinaryBytesAndLongFields)
{
    const std::string nul("a\0b", 3);
    EXPECT_EQ(Parse(nul + ",\xff\xfe"), (Fields {nul, "\xff\xfe"}));

    const std::string big(3 * 1024 * 1024, 'q');
    Fields fields = Parse("1,\"" + big + "\",z");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[1].size(), big.size());
    EXPECT_EQ(fields[2], "z");
}

TEST(StripQuotes, RemovesOnlyOneEnclosingPair)
{
    EXPECT_EQ(StripQuotes(R"x("abc")x"), "abc");
    EXPECT_EQ(StripQuotes(R"x(""abc"")x"), R"x("abc")x");
    EXPECT_EQ(StripQuotes(R"x("")x"), "");
    EXPECT_EQ(StripQuotes("\""), "\"");
    EXPECT_EQ(StripQuotes(R"x("abc)x"), R"x("abc)x");
    EXPECT_EQ(StripQuotes(R"x(abc")x"), R"x(abc")x");
    EXPECT_EQ(StripQuotes(""), "");
}
