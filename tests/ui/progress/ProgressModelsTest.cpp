#include "ui/progress/CopyProgressModels.h"

#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

using TParts = std::vector<std::string>;

QStringList ChildTexts(const TSiteMapNode* node)
{
    QStringList texts;
    for (const auto& child : node->Children)
        texts.append(child->Text());
    return texts;
}

}  // namespace

TEST(CompletedFilesModel, FindsRowsByExactLocationAndKeepsKeysAcrossSorting)
{
    TCompletedFilesModel list;
    EXPECT_EQ(list.AddRow("OK", 0, "/s/b.htm"), 0);
    EXPECT_EQ(list.AddRow("Not Found", 5, "/s/a.htm"), 1);
    EXPECT_EQ(list.AddRow("OK", 0, "/s/c.htm"), 2);
    EXPECT_EQ(list.FindRow("/s/a.htm"), 1);
    EXPECT_EQ(list.FindRow("/s/A.htm"), -1);  // exact, case included

    list.SortRows(1, true);
    EXPECT_EQ(list.Row(0).Location, "/s/a.htm");
    EXPECT_EQ(list.Row(0).Key, 1);
    EXPECT_EQ(list.FindRow("/s/b.htm"), 1);
    EXPECT_EQ(list.RowOfKey(0), 1);
    EXPECT_EQ(list.RowOfKey(7), -1);
    list.SortRows(1, false);
    EXPECT_EQ(list.Row(0).Location, "/s/c.htm");
    EXPECT_EQ(list.RowOfKey(2), 0);
    list.SortRows(0, true);
    EXPECT_EQ(list.Row(0).Caption, "Not Found");
}

TEST(CompletedFilesModel, FlatteningRenamesWithoutRegardToCase)
{
    TCompletedFilesModel list;
    list.AddRow("OK", 0, "/s/Dir/x.htm");
    list.AddRow("OK", 0, "/s/dir/y.htm");
    list.RenameLocation("/s/dir/X.HTM", "/s/x.htm");
    EXPECT_EQ(list.Row(0).Location, "/s/x.htm");
    EXPECT_EQ(list.FindRow("/s/x.htm"), 0);
    EXPECT_EQ(list.FindRow("/s/Dir/x.htm"), -1);
    // A second rename of the new name finds it again.
    list.RenameLocation("/s/x.htm", "/x.htm");
    EXPECT_EQ(list.FindRow("/x.htm"), 0);
    list.SetResult(1, "File Read Error", 4);
    EXPECT_EQ(list.Row(1).Image, 4);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.FindRow("/x.htm"), -1);
}

TEST(SiteMapModel, HostFoldersAndLeavesSortedWithoutDuplicates)
{
    TSiteMapModel tree;
    tree.AddAddress({"http://h", "b", "page.htm"}, "Job", 0, 0);
    tree.AddAddress({"http://h", "A", "x.htm"}, "Job", 5, 1);
    tree.AddAddress({"http://h", "dir", ""}, "Job", 0, 2);
    tree.AddAddress({"http://h", "B", "Page.htm"}, "Job", 4, 3);  // same nodes, other case

    const TSiteMapNode* root = tree.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name, "Job");
    EXPECT_EQ(root->Image, 9);
    ASSERT_EQ(root->Children.size(), 1u);
    const TSiteMapNode* host = root->Children[0].get();
    EXPECT_EQ(host->Image, 8);
    EXPECT_EQ(ChildTexts(host), (QStringList{"A", "b", "dir"}));
    const TSiteMapNode* dir = tree.FindNode({"http://h", "dir", ""});
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Image, 7);
    EXPECT_TRUE(dir->Children.empty());  // a path ending in "/" has no leaf
    const TSiteMapNode* page = tree.FindNode({"http://h", "b", "page.htm"});
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Data, 3);  // the later result points at its row
    EXPECT_EQ(page->Image, 4);

    // A leaf that turns out to be a folder becomes one.
    tree.AddAddress({"http://h", "b", "page.htm", "more.htm"}, "Job", 0, 4);
    EXPECT_EQ(page->Image, 7);
    EXPECT_EQ(page->Data, -1);

    // The model serves the view in the same order.
    QModelIndex hostIndex = tree.index(0, 0, tree.index(0, 0));
    EXPECT_EQ(tree.rowCount(hostIndex), 3);
    QModelIndex third = tree.index(2, 0, hostIndex);
    EXPECT_EQ(tree.data(third, Qt::DisplayRole).toString(), "dir");
    EXPECT_EQ(tree.parent(third), hostIndex);
    EXPECT_EQ(tree.IndexOf(dir), third);
}

TEST(SiteMapModel, TitlesNeverCreateDuplicatesAndSkipEmptyLastParts)
{
    TSiteMapModel tree;
    tree.AddAddress({"http://h", "index.htm"}, "Job", 0, 0);
    EXPECT_TRUE(tree.SetTitle({"http://h", "index.htm"}, "Home"));
    EXPECT_TRUE(tree.SetTitle({"http://h", "index.htm"}, "Welcome"));
    tree.AddAddress({"http://h", "index.htm"}, "Job", 0, 1);
    const TSiteMapNode* host = tree.Root()->Children[0].get();
    EXPECT_EQ(ChildTexts(host), (QStringList{"index.htm (Welcome)"}));
    EXPECT_FALSE(tree.SetTitle({"http://h", "none.htm"}, "X"));
    tree.AddAddress({"http://h", "dir", ""}, "Job", 0, 2);
    EXPECT_FALSE(tree.SetTitle({"http://h", "dir", ""}, "Folder page"));
    EXPECT_EQ(tree.FindNode({"http://h", "dir", ""})->Text(), "dir");
    EXPECT_FALSE(tree.SetTitle({"http://h", "index.htm"}, ""));
    tree.Clear();
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.rowCount(), 0);
}

TEST(SiteMapModel, DeepAndWideTreesStayCheap)
{
    TSiteMapModel tree;
    TParts deep{"http://h"};
    for (int i = 0; i < 5000; ++i)
        deep.push_back("d" + std::to_string(i));
    tree.AddAddress(deep, "Job", 0, 0);
    for (int i = 0; i < 20000; ++i)
        tree.AddAddress({"http://h", "f" + std::to_string(i) + ".htm"}, "Job", 0, i + 1);
    EXPECT_EQ(tree.Root()->Children[0]->Children.size(), 20001u);
    EXPECT_NE(tree.FindNode({"http://h", "f19999.htm"}), nullptr);
    tree.Clear();  // no recursion through 5000 levels
}

TEST(CompletedFilesModel, ToolTipsShowServerTextsAsWritten)
{
    TCompletedFilesModel list;
    list.AddRow("Not <b>Found</b> & gone", 5, "http://example.com/a?x=<i>1</i>");
    for (int column : {0, 1}) {
        const QModelIndex index = list.index(0, column);
        const QString shown = list.data(index, Qt::DisplayRole).toString();
        const QString tip = list.data(index, Qt::ToolTipRole).toString();
        // However the tool tip is rendered, the words and marks are those of the text.
        QTextDocument rendered;
        if (Qt::mightBeRichText(tip))
            rendered.setHtml(tip);
        else
            rendered.setPlainText(tip);
        EXPECT_EQ(rendered.toPlainText(), shown);
    }
}
