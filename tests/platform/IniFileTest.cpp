#include "platform/IniFile.h"

#include <gtest/gtest.h>

TEST(IniFile, NamesIgnoreCaseAndFirstMatchWins)
{
    TIniFile ini;
    ini.Parse("[Opts]\r\nKey= one \r\nkey=two\r\n[OPTS]\r\nKey=three\r\n");
    EXPECT_EQ(ini.ReadString("opts", "KEY", "x"), "one");
    ini.WriteString("oPtS", "KEY", "four");
    EXPECT_EQ(ini.ToText(), "[Opts]\r\nKey=four\r\nkey=two\r\n[OPTS]\r\nKey=three\r\n");
}

TEST(IniFile, ValuesRoundTripThroughQuoting)
{
    TIniFile ini;
    const std::string values[] = {" lead", "trail ", "\"quoted\"", "", "plain", "a=b", "\"", "line\r\nbreak"};
    int i = 0;
    for (const auto& v : values)
        ini.WriteString("S", "K" + std::to_string(i++), v);
    TIniFile back;
    back.Parse(ini.ToText());
    i = 0;
    for (const auto& v : values) {
        std::string expected = v == "line\r\nbreak" ? "linebreak" : v;
        EXPECT_EQ(back.ReadString("S", "K" + std::to_string(i++), "?"), expected);
    }
}

TEST(IniFile, IntegersAndBooleans)
{
    TIniFile ini;
    ini.Parse("[N]\na=12\nb= -7 \nc=12x\nd=99999999999\ne=0\nf=\n");
    EXPECT_EQ(ini.ReadInteger("N", "a", 5), 12);
    EXPECT_EQ(ini.ReadInteger("N", "b", 5), -7);
    EXPECT_EQ(ini.ReadInteger("N", "c", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "d", 5), 5);
    EXPECT_EQ(ini.ReadInt64("N", "d", 5), 99999999999LL);
    EXPECT_FALSE(ini.ReadBool("N", "e", true));
    EXPECT_TRUE(ini.ReadBool("N", "b", false));
    EXPECT_TRUE(ini.ReadBool("N", "f", true));
    EXPECT_FALSE(ini.ReadBool("N", "missing", false));
}

TEST(IniFile, LongValuesAndHostileInput)
{
    std::string big(3 * 1024 * 1024, 'x');
    TIniFile ini;
    using namespace std::string_literals;
    ini.Parse("\0\xff[junk\n=novalue\n[S]\nbig="s + big + "\n[S\nk=v");
    EXPECT_EQ(ini.ReadString("S", "big", "").size(), big.size());
    EXPECT_EQ(ini.ReadString("S", "k", "none"), "none");  // "[S" opens a second S section; the first wins
}

TEST(IniFile, NewKeysGoAtTheEndOfTheirSection)
{
    TIniFile ini;
    ini.Parse("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ini.WriteInteger("A", "z", 3);
    ini.WriteBool("C", "w", true);
    EXPECT_EQ(ini.ToText(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=1\r\n");
    ini.EraseSection("b");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_TRUE(ini.DeleteKey("a", "X"));
    EXPECT_EQ(ini.ReadSectionKeys("A"), std::vector<std::string>{"z"});
}
