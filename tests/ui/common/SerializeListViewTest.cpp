#include "tests/common/TempFolder.h"
#include "ui/common/SerializeListView.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

TEST(CSVLine, QuotesEveryFieldAndDoublesQuotes)
{
    EXPECT_EQ(CSVLineText({"a", "say \"hi\"", ""}), "\"a\", \"say \"\"hi\"\"\", \"\"");
    // A line stays one line.
    EXPECT_EQ(CSVLineText({"two\r\nlines"}), "\"two  lines\"");
}

TEST(CSVLine, SplitsLikeItWasWrittenAndByBlanksOutsideQuotes)
{
    using R = TCSVRow;
    EXPECT_EQ(SplitCommaText("\"a\", \"say \"\"hi\"\"\", \"\""), (R{"a", "say \"hi\"", ""}));
    EXPECT_EQ(SplitCommaText("a b,c"), (R{"a", "b", "c"}));
    EXPECT_EQ(SplitCommaText("a,"), (R{"a", ""}));
    EXPECT_EQ(SplitCommaText("  "), R{});
    EXPECT_EQ(SplitCommaText("\"open"), (R{"open"}));
}

TEST(CSVFile, RoundTripThroughAListAndSkipsLinesOfOtherWidths)
{
    TTempFolder folder;
    QTreeWidget list;
    list.setColumnCount(6);
    list.setHeaderLabels({"Job Name", "Start", "End", "Downloaded", "Address", "Filename"});
    auto* item = new QTreeWidgetItem(&list);
    const QStringList values = {"My \"best\" job", "2/3/2025 2:05:09 PM", "", "12", "http://h/?a=1,2", "/s/h/index.htm"};
    for (int c = 0; c < 6; ++c)
        item->setText(c, values[c]);
    std::string file = folder / "JobLog.csv";
    ASSERT_TRUE(ListViewToCSVFile(&list, file, false));
    EXPECT_EQ(ReadTextFile(file), "\"My \"\"best\"\" job\", \"2/3/2025 2:05:09 PM\", \"\", \"12\", \"http://h/?a=1,2\", "
                                  "\"/s/h/index.htm\"\r\n");

    // Five and seven fields are dropped; the good line stays.
    WriteTextFile(file, ReadTextFile(file) + "\"1\", \"2\", \"3\", \"4\", \"5\"\r\n" +
                            "\"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\"\r\n\r\n");
    QTreeWidget back;
    back.setColumnCount(6);
    CSVFileToListView(&back, file);
    ASSERT_EQ(back.topLevelItemCount(), 1);
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(back.topLevelItem(0)->text(c), values[c]);

    ASSERT_TRUE(ListViewToCSVFile(&list, file, true));
    EXPECT_EQ(ReadTextFile(file).substr(0, 12), "\"Job Name\", ");
    // A file that cannot be written: False, the list kept.
    EXPECT_FALSE(ListViewToCSVFile(&list, folder / "missing/JobLog.csv", false));
    EXPECT_EQ(list.topLevelItemCount(), 1);
    CSVFileToListView(&back, folder / "none.csv");
    EXPECT_EQ(back.topLevelItemCount(), 0);
}
