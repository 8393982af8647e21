#include "engine/parse/CharacterReferences.h"

#include <gtest/gtest.h>

TEST(CharacterReferences, DecodedAsABrowserDecodesAnAttributeValue)
{
    EXPECT_EQ(DecodeCharacterReferences("q.html?x=1&amp;y=2"), "q.html?x=1&y=2");
    EXPECT_EQ(DecodeCharacterReferences("b&#46;html"), "b.html");
    EXPECT_EQ(DecodeCharacterReferences("r&#x2F;s&#X2f;t"), "r/s/t");
    EXPECT_EQ(DecodeCharacterReferences("issue?&#64;action=show&amp;id=5"), "issue?@action=show&id=5");
    EXPECT_EQ(DecodeCharacterReferences("caf&eacute;&hellip;&apos;"), "caf\xC3\xA9\xE2\x80\xA6'");
    // Numeric references without ";"; 0, surrogates and numbers beyond Unicode; 128-159.
    EXPECT_EQ(DecodeCharacterReferences("a&#46b&#x2F-c&#x2Fc"), "a.b/-c\xCB\xBC");
    EXPECT_EQ(DecodeCharacterReferences("&#0;&#xD800;&#99999999999999;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(DecodeCharacterReferences("&#128;&#1;"), "\xE2\x82\xAC\x01");
    // Legacy names without ";" unless a letter, digit or "=" follows; others need the ";".
    EXPECT_EQ(DecodeCharacterReferences("?a=1&copy=2&amp&lt "), "?a=1&copy=2&< ");
    EXPECT_EQ(DecodeCharacterReferences("&ampx &hellip &AMP;"), "&ampx &hellip &");
}

TEST(CharacterReferences, InvalidReferencesAreKeptAsWritten)
{
    for (const char* text : {"&#;", "&#x;", "&bogus;", "&", "a&b", "&;", "&#xZ;", "&&&"})
        EXPECT_EQ(DecodeCharacterReferences(text), text) << text;
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "&amp;";
    EXPECT_EQ(DecodeCharacterReferences(many), std::string(20000, '&'));
}

TEST(CharacterReferences, EscapedTextDecodesBackToItself)
{
    EXPECT_EQ(EscapeForAttribute("q.html_x=1&y=2.htm"), "q.html_x=1&amp;y=2.htm");
    EXPECT_EQ(EscapeForAttribute("a\"b'c<d>"), "a&quot;b&#39;c&lt;d&gt;");
    for (const char* text : {"x&amp;y", "&#46;", "plain", "&copy=1", "\"'<>&"})
        EXPECT_EQ(DecodeCharacterReferences(EscapeForAttribute(text)), text) << text;
}
