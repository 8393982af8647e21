#include "platform/TextUtils.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(TextUtils, TrimsDropTheirOwnSets)
{
    const std::string text = "\x01\t\r\n x y \v\f\n\t ";
    EXPECT_EQ(TrimText(text), "x y");
    EXPECT_EQ(TrimTextView(text), "x y");
    EXPECT_EQ(TrimLineSpace(text), "\x01\t\r\n x y \v\f");
    EXPECT_EQ(TrimLineSpace("\r\n\t x y\t\r\n "), "x y");
    EXPECT_EQ(TrimSpaceAndTab("\t x\ny\r \t"), "x\ny\r");
    EXPECT_EQ(TrimSpaceAndTab("\nx\n"), "\nx\n");
    // Bytes of UTF-8 sequences are not blanks.
    EXPECT_EQ(TrimTextView("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");
    for (std::string_view blank : {""s, " \t "s, "\r\n"s})
        EXPECT_TRUE(TrimLineSpace(blank).empty() && TrimTextView(blank).empty());
    EXPECT_TRUE(TrimTextView("\0\x1F"s).empty());
    EXPECT_EQ(TrimSpaceAndTab("\r\n"), "\r\n");
}

TEST(TextUtils, CaseFoldsAsciiOnly)
{
    EXPECT_EQ(AsciiLowerCase("AbZ\xC3\x89@[`{"), "abz\xC3\x89@[`{");
    EXPECT_EQ(AsciiUpperCase("aBz\xC3\xA9"), "ABZ\xC3\xA9");
    EXPECT_TRUE(SameTextIgnoringCase("Content-TYPE", "content-type"));
    EXPECT_FALSE(SameTextIgnoringCase("\xC3\x89", "\xC3\xA9"));
}

TEST(TextUtils, LowerCaseExtensionOfTheLastName)
{
    EXPECT_EQ(LowerCaseExtension("/a/b/Photo.JPG"), ".jpg");
    EXPECT_EQ(LowerCaseExtension("a.tar.GZ"), ".gz");
    EXPECT_EQ(LowerCaseExtension("/a.d/README"), "");
    EXPECT_EQ(LowerCaseExtension("/a/b."), ".");
    EXPECT_EQ(LowerCaseExtension("/a/.Hidden"), ".hidden");
    EXPECT_EQ(LowerCaseExtension(""), "");
}

TEST(TextUtils, HexDigitsAndPercentDecoding)
{
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    for (char c : "gG/:@`\xFF"s)
        EXPECT_EQ(HexDigitValue(c), -1) << int(c);

    EXPECT_EQ(PercentDecoded("a%20b%2fc%2F"), "a b/c/");
    EXPECT_EQ(PercentDecoded("%00%FF"), "\0\xFF"s);
    // Incomplete or invalid escapes stay as written; a decoded "%" is not decoded again.
    EXPECT_EQ(PercentDecoded("%%41%4%g1%"), "%A%4%g1%");
    EXPECT_EQ(PercentDecoded("%2541"), "%41");
    EXPECT_EQ(PercentDecoded("%41"), "A");
    EXPECT_EQ(PercentDecoded("x%4"), "x%4");
}
