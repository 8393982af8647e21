#include "engine/post/FileFindReplace.h"
#include "engine/services/FileRewrite.h"

#include "tests/engine/TempTree.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint8_t kAll = rfReplaceAll;
constexpr uint8_t kAllNoCase = rfReplaceAll | rfIgnoreCase;

TEST(WholeWordsTest, LongerWordBetweenTwoStandaloneOnesStaysIntact)
{
    EXPECT_EQ(ReplaceWholeWords("cat sat; concatenate, cat!", "cat", "dog", kAll), "dog sat; concatenate, dog!");
    EXPECT_EQ(ReplaceWholeWords("cat catalog cat", "cat", "dog", kAll), "dog catalog dog");
}

TEST(WholeWordsTest, BoundaryIsJudgedOnTheWholeText)
{
    // The second "foo" follows a letter of the first: not a word of its own.
    EXPECT_EQ(ReplaceWholeWords("foofoo", "foo", "X", kAll), "foofoo");
    EXPECT_EQ(ReplaceWholeWords("xfoo foo", "foo", "X", kAll), "xfoo X");
    // Underscores and letters outside ASCII separate words.
    EXPECT_EQ(ReplaceWholeWords("foo1 foo_ _foo", "foo", "X", kAll), "foo1 X_ _X");
    EXPECT_EQ(ReplaceWholeWords("\xC3\xA9" "cat" "\xC3\xA9", "cat", "dog", kAll), "\xC3\xA9" "dog" "\xC3\xA9");
}

TEST(WholeWordsTest, IgnoreCaseReplacesBothSpellingsOnlyFirstWithoutReplaceAll)
{
    EXPECT_EQ(ReplaceWholeWords("Word and WORD and word", "word", "w", kAllNoCase), "w and w and w");
    EXPECT_EQ(ReplaceWholeWords("Sword WORD word", "word", "w", rfIgnoreCase), "Sword w word");
    EXPECT_EQ(ReplaceWholeWords("Word WORD", "word", "w", kAll), "Word WORD");
}

TEST(ReplaceTextTest, FirstOrAllAndCase)
{
    EXPECT_EQ(ReplaceText("abcabc", "b", "X", 0), "aXcabc");
    EXPECT_EQ(ReplaceText("abcabc", "b", "X", kAll), "aXcaXc");
    EXPECT_EQ(ReplaceText("aBcabc", "b", "X", kAll), "aBcaXc");
    EXPECT_EQ(ReplaceText("aBcabc", "b", "X", kAllNoCase), "aXcaXc");
    // Replacement text keeps its own case; the untouched text keeps its case too.
    EXPECT_EQ(ReplaceText("Hello WORLD", "world", "There", kAllNoCase), "Hello There");
}

TEST(ReplaceTextTest, ReplacementContainingFindTextIsNotSearchedAgain)
{
    EXPECT_EQ(ReplaceText("a-a", "a", "aa", kAll), "aa-aa");
    EXPECT_EQ(ReplaceWholeWords("a a", "a", "a a", kAll), "a a a a");
    EXPECT_EQ(ReplaceText("aaaa", "aa", "a", kAll), "aa");
}

TEST(ReplaceTextTest, EmptyFindOrNoHitChangesNothing)
{
    EXPECT_EQ(ReplaceText("abc", "", "X", kAll), "abc");
    EXPECT_EQ(ReplaceWholeWords("abc", "", "X", kAll), "abc");
    EXPECT_EQ(ReplaceText("abc", "abcd", "X", kAll), "abc");
}

TEST(ReplaceTextTest, IgnoreCaseFoldsNonASCIILettersWithoutShiftingPositions)
{
    // "ä" folds to "Ä" (both two bytes); "ß" has no same-length upper case and stays.
    EXPECT_EQ(UpperCaseSameLength("a\xC3\xA4\xC3\x9F" "z"), "A\xC3\x84\xC3\x9F" "Z");
    EXPECT_EQ(ReplaceText("x\xC3\x84y \xC3\xA4", "\xC3\xA4", "ae", kAllNoCase), "xaey ae");
    // Malformed UTF-8 passes through unchanged and keeps the text aligned.
    EXPECT_EQ(UpperCaseSameLength("\xC3(a\xFF"), "\xC3(A\xFF");
    EXPECT_EQ(ReplaceText("\xE2\x82" "ab AB", "ab", "-", kAllNoCase), "\xE2\x82" "- -");
}

TEST(ReplaceTextTest, LinearOnManyHits)
{
    std::string text(1 << 20, 'a');
    std::string out = ReplaceText(text, "a", "bb", kAll);
    EXPECT_EQ(out.size(), text.size() * 2);
    EXPECT_EQ(out.find('a'), std::string::npos);
}

TFindReplaceTask Task(const std::string& find, const std::string& replace, uint8_t flags, bool wholeWords)
{
    TFindReplaceTask task;
    task.FindString = find;
    task.ReplaceString = replace;
    task.Flags = flags;
    task.WholeWordsOnly = wholeWords;
    return task;
}

TEST(FindReplaceInFileTest, TasksRunInOrderOnEachOthersResult)
{
    TempTree tree;
    std::string file = tree.Write("p.htm", "<b>Old</b> old bold OLD");
    TFindReplaceTasks tasks;
    tasks.Tasks[0] = Task("old", "new", kAllNoCase, true);  // whole words: "bold" stays
    tasks.Tasks[1] = Task("new", "NEWER", 0, false);        // only the first, case as written
    tasks.Tasks[2] = Task("ignored", "x", kAll, false);      // beyond Count
    tasks.Count = 2;
    ASSERT_TRUE(FindReplaceInFile(file, tasks));
    EXPECT_EQ(TempTree::Read(file), "<b>NEWER</b> new bold new");
    // A count beyond the array is clamped, never read past; a missing file reports why.
    tasks.Count = 1000;
    EXPECT_TRUE(FindReplaceInFile(file, tasks));
    std::string error;
    EXPECT_FALSE(FindReplaceInFile(tree.Path("missing.htm"), tasks, &error));
    EXPECT_NE(error.find("missing.htm"), std::string::npos);
}

TEST(InsertTextTest, HeaderBeforeFirstByteFooterAfterLast)
{
    TempTree tree;
    std::string page = "<!DOCTYPE html>\r\n<html><body>x</body></html>";
    std::string file = tree.Write("p.htm", page);
    ASSERT_TRUE(InsertTextIntoFile(file, itTop, "<!-- head -->", 0));
    ASSERT_TRUE(InsertTextIntoFile(file, itEnd, "<!-- foot -->", 0));
    EXPECT_EQ(TempTree::Read(file), "<!-- head -->" + page + "<!-- foot -->");
    // No body element, or no markup at all: the text still goes at the very ends.
    std::string plain = tree.Write("q.htm", "just text");
    ASSERT_TRUE(InsertTextIntoFile(plain, itTop, "H", 0));
    ASSERT_TRUE(InsertTextIntoFile(plain, itEnd, "F", 0));
    EXPECT_EQ(TempTree::Read(plain), "Hjust textF");
    std::string empty = tree.Write("e.htm", "");
    ASSERT_TRUE(InsertTextIntoFile(empty, itEnd, "F", 0));
    EXPECT_EQ(TempTree::Read(empty), "F");
}

TEST(InsertTextTest, MissingFileSymlinkAndFolderFailWithoutChanges)
{
    TempTree tree;
    EXPECT_FALSE(InsertTextIntoFile(tree.Path("none.htm"), itTop, "H", 0));
    std::string outside = tree.Write("outside/secret.txt", "keep");
    ASSERT_EQ(::symlink(outside.c_str(), tree.Path("link.htm").c_str()), 0);
    EXPECT_FALSE(InsertTextIntoFile(tree.Path("link.htm"), itEnd, "F", 0));
    EXPECT_EQ(TempTree::Read(outside), "keep");
    tree.MakeFolder("dir.htm");
    EXPECT_FALSE(InsertTextIntoFile(tree.Path("dir.htm"), itEnd, "F", 0));
    // No temporary files are left behind.
    EXPECT_EQ(tree.Listing(), (std::set<std::string> {"outside/", "outside/secret.txt", "link.htm", "dir.htm/"}));
}

TEST(FileRewriteTest, AbandonedEditLeavesOriginalAndNoTemporary)
{
    TempTree tree;
    std::string file = tree.Write("p.htm", "original");
    ::chmod(file.c_str(), 0640);
    {
        TFileRewrite edit(file);
        edit.Write("partial");
        // destroyed without Commit, as when an error is thrown mid-way
    }
    EXPECT_EQ(TempTree::Read(file), "original");
    EXPECT_EQ(tree.Listing(), std::set<std::string> {"p.htm"});

    TFileRewrite edit(file);
    edit.CopySource(3);
    edit.SkipSource(2);
    edit.Write("-");
    edit.CopySource();
    EXPECT_THROW(edit.CopySource(1), std::runtime_error);
    edit.Commit();
    EXPECT_EQ(TempTree::Read(file), "ori-nal");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(FileRewriteTest, SplicesAcrossBufferBoundaries)
{
    TempTree tree;
    std::string data;
    for (int i = 0; data.size() < 1500000; ++i)
        data += std::to_string(i) + ",";
    std::string file = tree.Write("big.htm", data);
    std::string expected;
    TFileRewrite edit(file);
    // Splices at offsets on both sides of every buffer edge, with inserts large and small.
    int64_t pos = 0;
    for (int64_t cut : {int64_t(1), int64_t(262140), int64_t(262150), int64_t(524288), int64_t(1000000)}) {
        edit.CopySource(cut - pos);
        expected += data.substr(static_cast<size_t>(pos), static_cast<size_t>(cut - pos));
        edit.SkipSource(3);
        std::string insert = cut == 524288 ? std::string(300000, 'x') : "<" + std::to_string(cut) + ">";
        edit.Write(insert);
        expected += insert;
        pos = cut + 3;
    }
    edit.CopySource();
    expected += data.substr(static_cast<size_t>(pos));
    edit.Commit();
    EXPECT_TRUE(TempTree::Read(file) == expected);
}

}  // namespace
