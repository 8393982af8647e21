#include "ui/common/PageTexts.h"

#include <gtest/gtest.h>

namespace {

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

}  // namespace

TEST(PageTexts, TitleCharacterReferencesNamedAndNumeric)
{
    EXPECT_EQ(Utf8(PageTitleText("About these documents &#8212; Python 3.11.2 documentation", "")),
              "About these documents \xE2\x80\x94 Python 3.11.2 documentation");
    EXPECT_EQ(Utf8(PageTitleText("&amp; &lt;b&gt; caf&eacute;&hellip; &apos;x&apos; &#x2014;&#X41;", "")),
              "& <b> caf\xC3\xA9\xE2\x80\xA6 'x' \xE2\x80\x94" "A");
    // Left as written: no reference, an unknown name, "&#" without digits; a legacy name before
    // a blank is read without its ";", as browsers do.
    EXPECT_EQ(Utf8(PageTitleText("AT&T &bogus; &amp &#; &#x; &", "")), "AT&T &bogus; & &#; &#x; &");
    // Numbers as browsers read them: 128-159 by Windows-1252, the impossible ones as U+FFFD,
    // the ";" optional.
    EXPECT_EQ(Utf8(PageTitleText("&#150;&#0;&#xD800;&#99999999999;&#38x", "")),
              "\xE2\x80\x93\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD&x");
    EXPECT_EQ(Utf8(PageTitleText("&#x1F600;", "")), "\xF0\x9F\x98\x80");
    // Decoded once: "&amp;lt;" is the text "&lt;".
    EXPECT_EQ(Utf8(PageTitleText("&amp;lt;", "")), "&lt;");
}

TEST(PageTexts, BytesByDeclaredSetElseUtf8ElseWindows1252)
{
    EXPECT_EQ(Utf8(DecodePageBytes("\xF0\xD2\xC9\xD7\xC5\xD4", "koi8-r")), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(Utf8(DecodePageBytes("\xCF\xF0\xE8", "Windows-1251")), "\xD0\x9F\xD1\x80\xD0\xB8");
    EXPECT_EQ(Utf8(DecodePageBytes("Caf\xC3\xA9", "")), "Caf\xC3\xA9");
    EXPECT_EQ(Utf8(DecodePageBytes("Caf\xE9 \x93x\x94", "")), "Caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D");
    // ISO-8859-1 is read as browsers read it; an unknown set falls back.
    EXPECT_EQ(Utf8(DecodePageBytes("\x93x\x94", "ISO-8859-1")), "\xE2\x80\x9Cx\xE2\x80\x9D");
    EXPECT_EQ(Utf8(DecodePageBytes("Caf\xE9", "x-nonsense")), "Caf\xC3\xA9");
    EXPECT_EQ(Utf8(DecodePageBytes("Caf\xC3\xA9", "utf-16")), "Caf\xC3\xA9");
    EXPECT_FALSE(DecodePageBytes("\x81\x8D\xFF", "").contains(QChar(0xFFFD)));
    EXPECT_EQ(Utf8(PageTitleText("Caf\xE9 &#8212; menu", "")), "Caf\xC3\xA9 \xE2\x80\x94 menu");
}

TEST(PageTexts, MailAddresses)
{
    EXPECT_EQ(Utf8(ReadableAddressText("docs%40python.org")), "docs@python.org");
    EXPECT_EQ(Utf8(ReadableAddressText("bob@example.com")), "bob@example.com");
    EXPECT_EQ(Utf8(ReadableAddressText("j%C3%BCrgen@example.com")), "j\xC3\xBCrgen@example.com");
    // Escapes that stand for no readable text stay escaped.
    EXPECT_EQ(Utf8(ReadableAddressText("a%0Ab@x.org")), "a%0Ab@x.org");
    EXPECT_EQ(Utf8(ReadableAddressText("a%FFb@x.org")), "a%FFb@x.org");
}
