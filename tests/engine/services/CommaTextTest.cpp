#include "engine/services/CommaText.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

// Bytes that once kept the splitter turning on the same place: it must end, with fields.
TEST(CommaText, AnyBytesEndAndNulSeparatesLikeABlank)
{
    using R = TCSVRow;
    EXPECT_EQ(SplitCommaText("\"qjob1\", \0\"x\""s), (R{"qjob1", "x"}));
    EXPECT_EQ(SplitCommaText("\0\0"s), R{});
    EXPECT_EQ(SplitCommaText("a\0b"s), (R{"a", "b"}));
    EXPECT_EQ(SplitCommaText(",,"), (R{"", "", ""}));
    EXPECT_EQ(SplitCommaText("\"a\0b\""s), R{"a\0b"s});  // inside quotes a NUL is kept
    // Splitting stops once a line is known to have too many fields.
    EXPECT_EQ(SplitCommaText(std::string(1000000, 'x').replace(1, 999998, std::string(999998, ' ')), 6).size(), 2u);
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "a ";
    EXPECT_EQ(SplitCommaText(many, 6).size(), 7u);
}

TEST(CommaText, RowsOfAnyLineEndsAndSkippedLinesAreCounted)
{
    const std::string row = CSVLineText({"n", "s", "e", "1", "http://h/", "/f"});
    const TCSVRows rows = CSVTextToRows(row + "\r" + row + "\n" + "junk\r\n\r\n  \r\n" + row, 6);
    ASSERT_EQ(rows.rows.size(), 3u);  // CR, LF and no line end at the end of the text
    EXPECT_EQ(rows.rows[2][4], "http://h/");
    EXPECT_EQ(rows.skippedLines, 1u);

    // A field written and read back is the same field, whatever bytes it holds but line ends.
    const TCSVRow odd = {"say \"hi\"", ""s, "\0\x01\xff"s, " blank ", ",", "\"\""};
    EXPECT_EQ(SplitCommaText(CSVLineText(odd)), odd);
    const TCSVRows unclosed = CSVTextToRows("\"a\", \"b\"\r\n\"unclosed, c", 2);
    EXPECT_EQ(unclosed.rows.size(), 1u);
    EXPECT_EQ(unclosed.skippedLines, 1u);
}
