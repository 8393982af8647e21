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
    // A value read back is cut to 2047 characters.
    EXPECT_EQ(ini.ReadString("S", "big", ""), big.substr(0, TIniFile::MaxValueLength));
    EXPECT_EQ(ini.ReadString("S", "k", "none"), "none");  // "[S" opens a second S section; the first wins
    EXPECT_FALSE(ini.ParsedWhole());

    // The cut never splits a character: "é" is two bytes, the last one would not fit.
    ini.Parse("[S]\r\nv=" + std::string(2046, 'a') + "\xC3\xA9\r\nq=\"" + std::string(3000, 'b') + "\"\r\n");
    EXPECT_EQ(ini.ReadString("S", "v", ""), std::string(2046, 'a'));
    EXPECT_EQ(ini.ReadString("S", "q", ""), std::string(2047, 'b'));
    EXPECT_TRUE(ini.ParsedWhole());
}

TEST(IniFile, LinesEndAtAnyLineEndAndDamageIsTold)
{
    TIniFile ini;
    ini.Parse("[A]\rx=1\ry=2\r[B]\nz=3\r\n");
    EXPECT_EQ(ini.ReadInteger("A", "y", 0), 2);
    EXPECT_EQ(ini.ReadInteger("B", "z", 0), 3);
    EXPECT_TRUE(ini.ParsedWhole());
    ini.Parse("");
    EXPECT_TRUE(ini.ParsedWhole());
    // What the writer makes is whole, whatever the values held.
    using namespace std::string_literals;
    ini.WriteString("A", "odd", "a\0b\r\nc"s);
    ini.Parse(ini.ToText());
    EXPECT_TRUE(ini.ParsedWhole());
    EXPECT_EQ(ini.ReadString("A", "odd", ""), "abc");
    using namespace std::string_literals;
    // Cut in the middle of a line, a NUL byte, a line that is no setting, a header cut short.
    for (const std::string& damaged : {"[A]\r\nx=1"s, "[A]\r\nx=\0\r\n"s, "[A]\r\nMaxHistoryLen\r\n"s,
                                       "[Opti\r\n"s}) {
        ini.Parse(damaged);
        EXPECT_FALSE(ini.ParsedWhole()) << damaged;
    }
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

#include "common/TempFolder.h"
#include "platform/ErrorCodes.h"

#include <sys/stat.h>
#include <unistd.h>

TEST(IniFile, FileRoundTripIsAtomicAndKeepsModeAndUnknownLines)
{
    TTempFolder tmp;
    const std::string path = tmp / "s.ini";
    WriteTextFile(path, "; comment\n[A]\nk=v\ngarbage line\n");
    TIniFile ini(path);
    ini.WriteString("A", "new", " padded ");
    ASSERT_TRUE(ini.UpdateFile(0600));
    EXPECT_EQ(ReadTextFile(path), "; comment\r\n[A]\r\nk=v\r\ngarbage line\r\nnew=\" padded \"\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    TIniFile back(path);
    EXPECT_EQ(back.ReadString("a", "NEW", ""), " padded ");
    // No temp file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.Path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(IniFile, WriteAndLoadFailuresAreReported)
{
    TTempFolder tmp;
    const std::string path = tmp / "sub/s.ini";  // folder missing
    TIniFile ini;
    ini.WriteString("A", "k", "v");
    EXPECT_FALSE(ini.SaveTo(path));
    EXPECT_EQ(GetLastErrorCode(), errc::FileNotFound);

    const std::string dir = tmp / "dir.ini";
    ::mkdir(dir.c_str(), 0755);
    TIniFile load;
    EXPECT_FALSE(load.Load(dir));  // present but unreadable is not "missing"
    EXPECT_TRUE(load.Load(tmp / "missing.ini"));
    // A pipe at the path is refused at once instead of blocking the reader.
    ASSERT_EQ(::mkfifo((tmp / "fifo.ini").c_str(), 0600), 0);
    EXPECT_FALSE(load.Load(tmp / "fifo.ini"));
}

TEST(IniFile, HostileInputParsesWithoutLoss)
{
    using namespace std::string_literals;
    // Truncated mid-line, NUL bytes, lone CR, a duplicate section and a huge count.
    const std::string text = "[Hist]\r\nCount=2000000000\r\nItem0=a\0b\r\n[hist]\r\nItem0=second\r\nItem1=x\rY=z\r\n"
                             "[Other]\r\nhalf"s;
    TIniFile ini;
    ini.Parse(text);
    EXPECT_EQ(ini.ReadInteger("HIST", "Count", 0), 2000000000);
    EXPECT_EQ(ini.ReadString("Hist", "Item0", ""), "a\0b"s);
    EXPECT_EQ(ini.ReadString("Hist", "Item1", "none"), "none");  // only the first section is read
    EXPECT_TRUE(ini.SectionExists("other"));
    // Rewriting changes nothing but line ends.
    TIniFile again;
    again.Parse(ini.ToText());
    EXPECT_EQ(again.ToText(), ini.ToText());
    EXPECT_EQ(again.ReadString("Hist", "Item0", ""), "a\0b"s);
    // Erasing a duplicated section removes every copy.
    again.EraseSection("HIST");
    EXPECT_FALSE(again.SectionExists("hist"));
}

TEST(IniFile, ByteOrderMarkIsNotPartOfTheFirstSection)
{
    TIniFile ini;
    ini.Parse("\xEF\xBB\xBF[Options]\r\nA=1\r\n");
    EXPECT_TRUE(ini.SectionExists("Options"));
    EXPECT_EQ(ini.ReadInteger("Options", "A", 0), 1);
    ini.Parse("\xEF\xBB\xBF[S]\nB=3\n");
    EXPECT_EQ(ini.ReadInteger("S", "B", 0), 3);
    EXPECT_EQ(ini.ToText().find("\xEF\xBB\xBF"), std::string::npos);
    // Elsewhere the bytes are text like any other.
    ini.Parse("[S]\nV=\xEF\xBB\xBFx\n");
    EXPECT_EQ(ini.ReadString("S", "V", ""), "\xEF\xBB\xBFx");
    // A first line whose own text starts with the mark survives a write and a read.
    ini.Parse("\r\xEF\xBB\xBFkey=v");
    TIniFile again;
    again.Parse(ini.ToText());
    EXPECT_EQ(again.ToText(), ini.ToText());
}

TEST(IniFile, IntegerEdgeValues)
{
    int64_t v = 0;
    EXPECT_TRUE(TIniFile::ParseInteger("-9223372036854775808", v));
    EXPECT_EQ(v, INT64_MIN);
    EXPECT_FALSE(TIniFile::ParseInteger("9223372036854775808", v));
    EXPECT_FALSE(TIniFile::ParseInteger("-", v));
    EXPECT_FALSE(TIniFile::ParseInteger("1 2", v));
    TIniFile ini;
    ini.Parse("[N]\nmax=2147483647\nover=2147483648\nq=\"12\"\n");
    EXPECT_EQ(ini.ReadInteger("N", "max", 0), INT32_MAX);
    EXPECT_EQ(ini.ReadInteger("N", "over", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "q", 0), 12);
}

// A whole file comes back byte for byte, whatever its size; what is not a regular file is refused.
TEST(ReadWholeFile, ReadsEveryByteOfFilesOfAnySize)
{
    TTempFolder folder;
    for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{200001}}) {
        std::string text(size, '\0');
        for (size_t i = 0; i < size; ++i)
            text[i] = static_cast<char>(i * 7 + i / 251);
        const std::string path = folder / ("f" + std::to_string(size));
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
        std::fclose(file);
        std::string read = "left over";
        ASSERT_TRUE(ReadWholeFile(path, read)) << size;
        EXPECT_EQ(read, text) << size;
    }
    std::string read = "left over";
    EXPECT_FALSE(ReadWholeFile(folder.Path(), read));  // a folder
    EXPECT_FALSE(ReadWholeFile(folder / "missing", read));
    EXPECT_TRUE(read.empty());
    // Beyond the cap nothing is read; an INI file beyond its cap loads as unreadable.
    EXPECT_FALSE(ReadWholeFile(folder / "f200001", read, 200000));
    EXPECT_TRUE(read.empty());
    EXPECT_TRUE(ReadWholeFile(folder / "f200001", read, 200001));
    const std::string huge = folder / "huge.ini";
    ASSERT_EQ(::truncate((WriteTextFile(huge, "[A]\r\n"), huge).c_str(), TIniFile::MaxFileBytes + 1), 0);
    TIniFile ini;
    EXPECT_FALSE(ini.Load(huge));
    EXPECT_TRUE(ini.Load(folder / "missing.ini"));
}
