#include "engine/services/LanguageStrings.h"

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The lines of a valid translation file: header, then n,"original","translation","".
std::vector<std::string> TranslationLines(const std::string& language = "Testish")
{
    std::vector<std::string> lines {R"x("Row", "Original", "Translation", "Context")x"};
    for (int n = 1; n < LanguageStringCount; ++n) {
        std::string original = GetDefaultString(static_cast<uint16_t>(n));
        std::string text = n == 3 ? "1" : n == 4 ? language : n == 9 ? "Tester" : "T" + std::to_string(n);
        lines.push_back(std::to_string(n) + "," + Quoted(original) + "," + Quoted(text) + ",\"\"");
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
    std::string out;
    for (const auto& line : lines)
        out += line + eol;
    return out;
}

class LanguageFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "gleanery-lang-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ + "/Languages/";
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Write(const std::string& name, const std::vector<std::string>& lines)
    {
        WriteTextFile(folder_ + name, Join(lines));
        return folder_ + name;
    }
    // Loads lines as a translation file; the failure text, empty on success.
    std::string LoadError(const std::vector<std::string>& lines, TLocalizedStringSet* into = nullptr)
    {
        TLocalizedStringSet local;
        TLocalizedStringSet& set = into ? *into : local;
        bool ok = set.LoadFromFile(Write("t.csv", lines));
        EXPECT_EQ(ok, set.LastError().empty());
        return set.LastError();
    }

    std::string root_;
    std::string folder_;
};

uint64_t Fnv1a(const std::string& data)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : data) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

}  // namespace

TEST(DefaultStrings, HasExactly392TextsAsPublished)
{
    std::string all;
    for (int id = 0; id < LanguageStringCount; ++id)
        all += (id ? "\n" : "") + GetDefaultString(static_cast<uint16_t>(id));
    EXPECT_EQ(all.size(), 7095u);
    EXPECT_EQ(Fnv1a(all), 0xb42442550cd252cfull);

    EXPECT_EQ(GetDefaultString(392), "?");
    EXPECT_EQ(GetDefaultString(65535), "?");
    for (int id : {0, 11, 12, 18, 347, 349, 351, 359, 377, 391})
        EXPECT_EQ(GetDefaultString(static_cast<uint16_t>(id)), "") << id;
}

TEST(DefaultStrings, SampleEntries)
{
    EXPECT_EQ(GetDefaultString(10), "(Translator Contact Info)");
    EXPECT_EQ(GetDefaultString(127), R"x(Assume "WWW" when no third-level domain present)x");
    EXPECT_EQ(GetDefaultString(128), "Add .htm extension to to web page filenames");
    EXPECT_EQ(GetDefaultString(153), R"x(Highlight "XXX" in yellow)x");
    EXPECT_EQ(GetDefaultString(174), R"x(Waiting XXX seconds for YYY\r\n(click here to stop waiting))x");
    EXPECT_EQ(GetDefaultString(179), "The job queue is full.");
    EXPECT_EQ(GetDefaultString(350), "Exit");
    EXPECT_EQ(GetDefaultString(390), "Web Pages");
}

TEST(DefaultStrings, OwnEnglishSetUsesHeaderValues)
{
    TLocalizedStringSet set;
    set.LoadDefaultStrings();
    EXPECT_EQ(set.GetText(4), "English (United States)");
    EXPECT_EQ(set.GetText(9), "Brindlesoft");
    EXPECT_FALSE(set.GetText(10).empty());
    EXPECT_EQ(set.GetText(11), "");
    EXPECT_EQ(set.GetText(174, true), "Waiting XXX seconds for YYY\r\n(click here to stop waiting)");
    EXPECT_EQ(set.GetText(174, false), GetDefaultString(174));
    EXPECT_EQ(set.GetText(392), "?");
    EXPECT_EQ(set.GetContext(20), "");
}

TEST(Placeholders, OnlyTheFirstOccurrenceIsReplaced)
{
    EXPECT_EQ(ReplaceFirst("XXX of XXX", "XXX", "3"), "3 of XXX");
    EXPECT_EQ(ReplaceFirst("xxx", "XXX", "3"), "xxx");
    EXPECT_EQ(ReplaceFirst("none", "XXX", "3"), "none");
}

TEST(ErrorText, CodeAndSystemText)
{
    const std::string timeout = SystemErrorMessage(errc::InternetTimeout);
    ASSERT_FALSE(timeout.empty());
    EXPECT_EQ(GetErrorText(errc::InternetTimeout), "Error 12002 (" + timeout + ")");
    ASSERT_EQ(SystemErrorMessage(12099), "");
    EXPECT_EQ(GetErrorText(12099), "Error 12099 ()");
    EXPECT_EQ(GetErrorText(0xFFFFFFFFu).rfind("Error 4294967295 (", 0), 0u);

    SetLastErrorCode(errc::AccessDenied);
    EXPECT_EQ(GetLastErrorText(), "Error 5 (" + SystemErrorMessage(errc::AccessDenied) + ")");
}

TEST_F(LanguageFilesTest, OwnEnglishFileIsWrittenOnceAndKept)
{
    {
        TLocalLanguages languages;
        languages.SetLanguagesFolder(folder_ + "sub/");
    }
    const std::string text = ReadTextFile(folder_ + "sub/ENU.csv");
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t eol; (eol = text.find("\r\n", pos)) != std::string::npos; pos = eol + 2)
        lines.push_back(text.substr(pos, eol - pos));
    EXPECT_EQ(pos, text.size());
    ASSERT_EQ(lines.size(), 392u);
    EXPECT_EQ(lines[0], R"x("Row", "Original", "Translation", "Context")x");
    EXPECT_EQ(lines[0].size(), 43u);
    EXPECT_EQ(lines[1], R"x("1","(Filename)","ENU.csv","")x");
    EXPECT_EQ(lines[3], R"x("3","(File Version)","1","")x");
    EXPECT_EQ(lines[19], R"x("19","Start","Start","")x");
    EXPECT_EQ(lines[127], R"x("127","Assume ""WWW"" when no third-level domain present","Assume ""WWW"" when no third-level domain present","")x");
    EXPECT_EQ(lines[174], R"x("174","Waiting XXX seconds for YYY\r\n(click here to stop waiting)","Waiting XXX seconds for YYY\r\n(click here to stop waiting)","")x");
    EXPECT_EQ(lines[391], R"x("391","","","")x");

    auto mine = TranslationLines("My English");
    Write("ENU.csv", mine);
    TLocalLanguages languages;
    languages.SetLanguagesFolder(folder_);
    ASSERT_EQ(languages.GetLanguageCount(), 1);
    EXPECT_EQ(languages.GetString(4), "My English");
    EXPECT_EQ(ReadTextFile(folder_ + "ENU.csv"), Join(mine));

    TLocalizedStringSet set;
    EXPECT_FALSE(set.ExportToFile(root_ + "/missing/folder/x.csv"));
}

TEST_F(LanguageFilesTest, ExportAndReloadRoundTrip)
{
    auto lines = TranslationLines();
    lines[20] = R"x(20,"Job Queue","He said ""hi"", then ""left""","")x";
    lines[21] = R"x(21,"Progress","a \r\n b,c","")x";
    TLocalizedStringSet loaded;
    ASSERT_EQ(LoadError(lines, &loaded), "");
    ASSERT_TRUE(loaded.ExportToFile(folder_ + "Round.csv"));

    TLocalizedStringSet again;
    ASSERT_TRUE(again.LoadFromFile(folder_ + "Round.csv")) << again.LastError();
    EXPECT_EQ(again.GetText(1), "Round.csv");
    EXPECT_EQ(again.GetText(20), R"x(He said "hi", then "left")x");
    EXPECT_EQ(again.GetText(21, true), "a \r\n b,c");
    for (int id = 2; id < LanguageStringCount; ++id)
        EXPECT_EQ(again.GetText(id), loaded.GetText(id)) << id;
}

TEST_F(LanguageFilesTest, ValidFileLoads)
{
    auto lines = TranslationLines();
    lines[5] = R"x(row five,"(ISO Language Code)","TST","ignored","extra")x";  // row number not read
    lines[20] = R"x(20,"Job Queue","""Quoted""","")x";
    lines[21] = R"x(21,"Progress","","")x";
    TLocalizedStringSet set;
    ASSERT_EQ(LoadError(lines, &set), "");
    EXPECT_EQ(set.GetText(1), "t.csv");  // the file's own name, not the third field
    EXPECT_EQ(set.GetText(4), "Testish");
    EXPECT_EQ(set.GetText(5), "TST");
    EXPECT_EQ(set.GetText(20), "Quoted");
    EXPECT_EQ(set.GetText(21), "");
    EXPECT_EQ(set.GetText(22), "T22");

    // Line ends: LF only, CR only, and no break after the last line all load.
    for (const char* eol : {"\n", "\r"}) {
        WriteTextFile(folder_ + "eol.csv", Join(lines, eol));
        EXPECT_TRUE(set.LoadFromFile(folder_ + "eol.csv")) << set.LastError();
    }
    std::string text = Join(lines);
    text.resize(text.size() - 2);
    WriteTextFile(folder_ + "eol.csv", text);
    EXPECT_TRUE(set.LoadFromFile(folder_ + "eol.csv")) << set.LastError();
}

TEST_F(LanguageFilesTest, ValidationMessages)
{
    auto lines = TranslationLines();
    auto changed = [&](size_t row, const std::string& line) {
        auto copy = lines;
        copy[row] = line;
        return LoadError(copy);
    };

    auto fewer = lines;
    fewer.pop_back();
    EXPECT_EQ(LoadError(fewer), "Invalid row count.");
    auto more = lines;
    more.push_back("");
    EXPECT_EQ(LoadError(more), "Invalid row count.");
    more.back() = "392,\"\",\"\",\"\"";
    EXPECT_EQ(LoadError(more), "Invalid row count.");

    EXPECT_EQ(changed(12, R"x(12,"")x"), "Invalid column count in row 12.");
    EXPECT_EQ(changed(57, R"x(57,"hide details","x","")x"), "Invalid original text in row 57.");
    EXPECT_EQ(changed(57, R"x(57,"Hide details ","x","")x"), "Invalid original text in row 57.");
    EXPECT_EQ(changed(3, R"x(3,"(File Version)","2","")x"), "Unusable schema version.");
    EXPECT_EQ(changed(3, R"x(3,"(File Version)","one","")x"), "'one' is not a valid integer value");
    EXPECT_EQ(changed(4, R"x(4,"(Language)","","")x"), "Missing required text in row 4.");
    EXPECT_EQ(changed(9, R"x(9,"(Translator Name)","","")x"), "Missing required text in row 9.");
    EXPECT_EQ(changed(391, R"x(391,"","")x"), "");
    EXPECT_EQ(changed(391, R"x(391,"x","")x"), "Invalid original text in row 391.");
}

TEST_F(LanguageFilesTest, FailureIsLoggedAndEarlierRowsStayOverwritten)
{
    TApplicationTraceLog log({"/eventlog"}, false, root_ + "/");
    ASSERT_TRUE(log.FileOpen());
    auto lines = TranslationLines();
    lines[100] = R"x(100,"MIME Types List Builder")x";
    TLocalizedStringSet set;
    set.LoadDefaultStrings();
    const std::string path = Write("bad.csv", lines);
    EXPECT_FALSE(set.LoadFromFile(path));
    EXPECT_EQ(set.LastError(), "Invalid column count in row 100.");
    EXPECT_EQ(set.GetText(99), "T99");
    EXPECT_EQ(set.GetText(101), GetDefaultString(101));

    EXPECT_FALSE(set.LoadFromFile(folder_ + "absent.csv"));
    EXPECT_NE(set.LastError().find("absent.csv"), std::string::npos);

    const std::string logText = ReadTextFile(log.FilePath());
    EXPECT_NE(logText.find("Invalid column count in row 100."), std::string::npos);
    EXPECT_NE(logText.find("LoadFromFile (" + path + ")"), std::string::npos);
    EXPECT_NE(logText.find("LanguageStrings"), std::string::npos);
    EXPECT_NE(logText.find("Exception"), std::string::npos);
}

TEST_F(LanguageFilesTest, HostileFilesFailCleanly)
{
    TLocalizedStringSet set;
    std::mt19937 random(7);
    std::string binary(200000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    WriteTextFile(folder_ + "binary.csv", binary);
    EXPECT_FALSE(set.LoadFromFile(folder_ + "binary.csv"));
    EXPECT_FALSE(set.LastError().empty());

    // Millions of empty lines, and a file beyond any translation's size.
    WriteTextFile(folder_ + "lines.csv", std::string(5'000'000, '\n'));
    EXPECT_FALSE(set.LoadFromFile(folder_ + "lines.csv"));
    EXPECT_EQ(set.LastError(), "Invalid row count.");
    WriteTextFile(folder_ + "huge.csv", std::string(17 * 1024 * 1024, 'x'));
    EXPECT_FALSE(set.LoadFromFile(folder_ + "huge.csv"));
    EXPECT_EQ(set.LastError(), "File too large.");

    // Truncated in the middle of a row.
    std::string text = Join(TranslationLines());
    WriteTextFile(folder_ + "cut.csv", text.substr(0, text.size() / 2));
    EXPECT_FALSE(set.LoadFromFile(folder_ + "cut.csv"));
    EXPECT_EQ(set.LastError(), "Invalid row count.");

    // A megabyte-long version text is named only briefly in the message.
    auto lines = TranslationLines();
    lines[3] = "3,\"(File Version)\",\"" + std::string(1 << 20, '9') + "x\",\"\"";
    EXPECT_LT(LoadError(lines).size(), 200u);

    // A megabyte-long translation is a translation like any other.
    lines = TranslationLines();
    lines[30] = "30,\"Automation\",\"" + std::string(2 << 20, 'a') + "\",\"\"";
    ASSERT_EQ(LoadError(lines, &set), "");
    EXPECT_EQ(set.GetText(30).size(), size_t {2 << 20});

    // A pipe or a folder is refused without blocking.
    ASSERT_EQ(::mkfifo((folder_ + "pipe.csv").c_str(), 0600), 0);
    EXPECT_FALSE(set.LoadFromFile(folder_ + "pipe.csv"));
    EXPECT_FALSE(set.LoadFromFile(folder_));
}

TEST_F(LanguageFilesTest, FolderIsScannedInNameOrderWithTheDefaultFileWritten)
{
    Write("b.csv", TranslationLines("Bee"));
    Write("C.CSV", TranslationLines("Cee"));
    Write("a.csv", TranslationLines("Ay"));
    Write("d.txt", TranslationLines("Dee"));
    fs::create_directories(folder_ + "folder.csv");
    ASSERT_EQ(::mkfifo((folder_ + "pipe.csv").c_str(), 0600), 0);

    TLocalLanguages languages;
    int questions = 0;
    languages.SetDeleteQuestion([&](const std::string&, const std::string&) { return ++questions, false; });
    EXPECT_EQ(languages.GetLanguageCount(), 1);
    EXPECT_EQ(languages.GetString(4), "English (United States)");
    languages.SetLanguagesFolder(folder_);

    EXPECT_EQ(questions, 0);
    ASSERT_EQ(languages.GetLanguageCount(), 4);
    const std::vector<std::pair<std::string, std::string>> expected {
        {"C.CSV", "Cee"}, {"ENU.csv", "English (United States)"}, {"a.csv", "Ay"}, {"b.csv", "Bee"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(languages.GetString(1, i), expected[size_t(i)].first);
        EXPECT_EQ(languages.GetString(4, i), expected[size_t(i)].second);
        EXPECT_EQ(languages.GetString(9, i), i == 1 ? "Brindlesoft" : "Tester");
    }

    // The current language survives a rescan; indexes outside 0..63 give "?".
    languages.SetCurrentLanguage(2);
    languages.SetCurrentLanguage(64);
    languages.SetCurrentLanguage(-1);
    languages.ScanLanguagesFolder();
    EXPECT_EQ(languages.GetString(4), "Ay");
    EXPECT_EQ(languages.GetString(4, 64), "?");
    EXPECT_EQ(languages.GetString(4, -2), "?");
    EXPECT_EQ(languages.GetString(174), "T174");
}

TEST_F(LanguageFilesTest, AtMost64LanguagesLoadWithoutQuestions)
{
    for (int i = 0; i < 66; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "L%02d.csv", i);
        Write(name, TranslationLines("Language " + std::to_string(i)));
    }
    // Sorts after the 64th file: never examined.
    WriteTextFile(folder_ + "Z-bad.csv", "garbage");

    TLocalLanguages languages;
    int questions = 0;
    languages.SetDeleteQuestion([&](const std::string&, const std::string&) { return ++questions, true; });
    languages.SetLanguagesFolder(folder_);
    EXPECT_EQ(languages.GetLanguageCount(), 64);
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(languages.GetString(4, 0), "English (United States)");  // "ENU.csv" sorts first
    EXPECT_EQ(languages.GetString(4, 63), "Language 62");
    EXPECT_TRUE(fs::exists(folder_ + "Z-bad.csv"));
}

TEST_F(LanguageFilesTest, InvalidFileAsksAndDeletesOnYes)
{
    auto fewer = TranslationLines();
    fewer.pop_back();
    const std::string keep = Write("a.csv", fewer);
    const std::string remove = Write("b.csv", fewer);
    Write("c.csv", TranslationLines("Cee"));

    TLocalLanguages languages;
    std::vector<std::pair<std::string, std::string>> asked;
    languages.SetDeleteQuestion([&](const std::string& text, const std::string& caption) {
        asked.emplace_back(text, caption);
        return asked.size() == 2;
    });
    languages.SetLanguagesFolder(folder_);

    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].first, "Invalid row count.\r\n\r\nDelete " + keep + "?");
    EXPECT_EQ(asked[0].second, "Invalid Language File Found");
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_FALSE(fs::exists(remove));
    // The failed set is reused: the valid files follow without gaps.
    ASSERT_EQ(languages.GetLanguageCount(), 2);
    EXPECT_EQ(languages.GetString(1, 0), "ENU.csv");
    EXPECT_EQ(languages.GetString(1, 1), "c.csv");
}

TEST_F(LanguageFilesTest, NothingLoadableAndNoFolderGivesBuiltInEnglish)
{
    WriteTextFile(root_ + "/plain", "x");
    const std::string folder = root_ + "/plain/Languages/";
    TLocalLanguages languages;
    languages.SetLanguagesFolder(folder);  // no question callback: the answer is No
    EXPECT_EQ(languages.GetLanguageCount(), 1);
    EXPECT_EQ(languages.GetString(1), "ENU.csv");
    EXPECT_EQ(languages.GetString(20), "Job Queue");
    EXPECT_EQ(languages.GetInteger(8, 5), 8);

    // A folder whose only file fails: built-in English again, even after a partial load.
    auto lines = TranslationLines();
    lines[200] = R"x(200,"x","y","")x";
    WriteTextFile(folder_ + "ENU.csv", Join(lines));
    languages.SetLanguagesFolder(folder_);
    EXPECT_EQ(languages.GetLanguageCount(), 1);
    EXPECT_EQ(languages.GetString(20), "Job Queue");
}

TEST_F(LanguageFilesTest, CurrentLanguageSuppliesNumbersAndErrorText)
{
    auto lines = TranslationLines();
    lines[263] = R"x(263,"Error XXX (YYY)","YYY: XXX / XXX YYY","")x";
    lines[8] = R"x(8,"(Display Font Size)","8.5","")x";
    Write("a.csv", lines);
    lines[8] = R"x(8,"(Display Font Size)","11","")x";
    Write("b.csv", lines);
    lines[8] = R"x(8,"(Display Font Size)","99999999999","")x";
    Write("c.csv", lines);
    TLocalLanguages languages;
    languages.SetLanguagesFolder(folder_);
    ASSERT_EQ(languages.GetLanguageCount(), 4);
    languages.SetCurrentLanguage(1);
    EXPECT_EQ(languages.GetInteger(8, 8), 8);
    EXPECT_EQ(GetErrorText(12099), ": 12099 / XXX YYY");
    languages.SetCurrentLanguage(2);
    EXPECT_EQ(languages.GetInteger(8, 8), 11);
    languages.SetCurrentLanguage(3);
    EXPECT_EQ(languages.GetInteger(8, 7), 7);
}
