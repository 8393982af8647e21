#include "engine/services/SavedOptions.h"

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

unsigned FileMode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 0777;
}

class SavedOptionsTest : public ::testing::Test {
protected:
    TTempFolder tmp;
    std::string ini = tmp / "Gleanery.INI";

    void Start(const std::string& text)
    {
        WriteTextFile(ini, text);
        opts.SetINIFolder(tmp.Path());
    }
    TSavedOptions opts;
};

}  // namespace

TEST_F(SavedOptionsTest, TypedValuesAndDefaults)
{
    Start("[S]\r\nn=12\r\nbad=x\r\nb=-3\r\n");
    EXPECT_EQ(opts.INIFileName(), ini);
    EXPECT_EQ(opts.ReadInteger("s", "N", 0), 12);
    EXPECT_EQ(opts.ReadInteger("S", "bad", 7), 7);
    EXPECT_TRUE(opts.ReadBool("S", "b", false));
    EXPECT_TRUE(opts.ReadBool("Missing", "k", true));
    std::string v = "untouched";
    EXPECT_TRUE(opts.ReadString("S", "none", v, "def"));
    EXPECT_EQ(v, "def");
    EXPECT_TRUE(opts.WriteString("T", "path", " /a b/ "));
    EXPECT_TRUE(opts.WriteBool("T", "flag", true));
    EXPECT_TRUE(opts.WriteInteger("T", "n", -5));
    TIniFile back(ini);
    EXPECT_EQ(back.ReadString("T", "path", ""), " /a b/ ");
    EXPECT_EQ(back.ReadString("T", "flag", ""), "1");
    EXPECT_EQ(back.ReadInteger("T", "n", 0), -5);
    EXPECT_EQ(back.ReadInteger("S", "n", 0), 12);  // other keys kept
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // may hold proxy credentials
}

TEST_F(SavedOptionsTest, UnreadableFileIsNeverReplaced)
{
    TTempFolder logDir;
    TApplicationTraceLog log({"/eventlog"}, false, logDir.Slash());
    ::mkdir(ini.c_str(), 0700);  // "settings file" that cannot be read
    opts.SetINIFolder(tmp.Path());
    EXPECT_EQ(opts.GetMaxHistoryLength(), 8);
    EXPECT_FALSE(opts.GetEnableHistory());  // ReadBool's failure value
    std::string v = "untouched";
    EXPECT_FALSE(opts.ReadString("S", "k", v, "def"));
    EXPECT_EQ(v, "untouched");
    EXPECT_EQ(opts.ReadInteger("S", "k", 42), 42);
    EXPECT_FALSE(opts.WriteString("S", "k", "v"));
    EXPECT_FALSE(opts.WriteBool("S", "b", true));
    EXPECT_TRUE(std::filesystem::is_directory(ini));
    std::string text = ReadTextFile(logDir / "GleaneryEventLog.csv");
    EXPECT_THAT(text, HasSubstr("\"Exception\",\"Unable to read " + ini));
    EXPECT_THAT(text, HasSubstr("\",\"WriteString\",\"SavedOptions\","));
    EXPECT_THAT(text, HasSubstr("\",\"WriteBool\",\"SavedOptions\","));
}

TEST_F(SavedOptionsTest, HistoryIsCutToMaxHistoryLength)
{
    std::string text = "[Options]\r\nMaxHistoryLength=3\r\n[StartingAddressHistory]\r\nCount=10\r\n";
    for (int i = 0; i < 10; ++i)
        text += "Item" + std::to_string(i) + "= \tu" + std::to_string(i) + "\x01\r\n";
    Start(text);
    std::vector<std::string> list;
    opts.ReadStartingAddressHistory(list);
    EXPECT_THAT(list, ElementsAre("u0", "u1", "u2"));
    opts.AddToStartingAddressHistory("  new  ");
    TIniFile back(ini);
    EXPECT_EQ(back.ReadInteger("StartingAddressHistory", "Count", 0), 3);
    EXPECT_EQ(back.ReadString("StartingAddressHistory", "Item0", ""), "new");
    EXPECT_EQ(back.ReadString("StartingAddressHistory", "Item2", ""), "u1");
    // Items beyond the new count stay in the file, unread.
    EXPECT_TRUE(back.ValueExists("StartingAddressHistory", "Item9"));

    // A text too long to be an address is not kept.
    opts.AddToStartingAddressHistory("http://h/" + std::string(5000, 'x'));
    opts.ReadStartingAddressHistory(list);
    EXPECT_THAT(list, ElementsAre("new", "u0", "u1"));
}

TEST_F(SavedOptionsTest, AddingMovesToTopInItsNewCase)
{
    Start("[SaveFolderHistory]\r\nCount=3\r\nItem0=/a\r\nItem1=/Sites/X\r\nItem2=/c\r\n");
    opts.AddToSaveFolderHistory("/sites/x");
    std::vector<std::string> list;
    opts.ReadSaveFolderHistory(list);
    EXPECT_THAT(list, ElementsAre("/sites/x", "/a", "/c"));
    opts.AddToSaveFolderHistory(" \t ");
    opts.AddToSaveFolderHistory("");
    opts.ReadSaveFolderHistory(list);
    EXPECT_THAT(list, ElementsAre("/sites/x", "/a", "/c"));
}

TEST_F(SavedOptionsTest, MissingItemsReadAsEmptyAndHugeCountsEndAtTheLimit)
{
    Start("[AgentNameHistory]\r\nCount=2000000000\r\nItem0=a\r\nItem2=c\r\n");
    std::vector<std::string> list;
    opts.ReadAgentNameHistory(list);  // must not loop two billion times
    EXPECT_EQ(list.size(), 8u);
    EXPECT_EQ(list[0], "a");
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[2], "c");
    WriteTextFile(ini, "[AgentNameHistory]\r\nCount=-4\r\nItem0=a\r\n");
    opts.ReadAgentNameHistory(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(SavedOptionsTest, HistoryOffReadsNothingAndWritesNothing)
{
    Start("[Options]\r\nEnableHistory=0\r\n[AgentNameHistory]\r\nCount=1\r\nItem0=a\r\n");
    std::vector<std::string> list{"stale"};
    opts.ReadAgentNameHistory(list);
    EXPECT_TRUE(list.empty());
    const std::string before = ReadTextFile(ini);
    opts.AddToAgentNameHistory("b");
    EXPECT_EQ(ReadTextFile(ini), before);
    // Clearing works whether or not history is on.
    opts.EraseAgentNameHistory();
    EXPECT_FALSE(TIniFile(ini).SectionExists("AgentNameHistory"));
    opts.SetEnableHistory(true);
    EXPECT_TRUE(TIniFile(ini).ReadBool("Options", "EnableHistory", false));
}

TEST_F(SavedOptionsTest, MaxHistoryLengthRules)
{
    Start("[Options]\r\nMaxHistoryLength=0\r\n");
    EXPECT_EQ(opts.GetMaxHistoryLength(), 1);  // 0 would wipe every list at the next addition
    WriteTextFile(ini, "[Options]\r\nMaxHistoryLength=-20\r\n[SaveFolderHistory]\r\nCount=2\r\nItem0=a\r\nItem1=b\r\n");
    opts.SetINIFolder(tmp.Path());
    EXPECT_EQ(opts.GetMaxHistoryLength(), 1);
    opts.AddToSaveFolderHistory("c");
    std::vector<std::string> list;
    opts.ReadSaveFolderHistory(list);
    EXPECT_THAT(list, ElementsAre("c"));
    WriteTextFile(ini, "[Options]\r\nMaxHistoryLength=5000\r\n");
    opts.SetINIFolder(tmp.Path());
    EXPECT_EQ(opts.GetMaxHistoryLength(), 99);

    opts.SetMaxHistoryLength(5);
    EXPECT_EQ(TIniFile(ini).ReadInteger("Options", "MaxHistoryLength", 0), 5);
    opts.SetMaxHistoryLength(0);  // keeps the old length and writes it again
    EXPECT_EQ(opts.GetMaxHistoryLength(), 5);
    EXPECT_EQ(TIniFile(ini).ReadInteger("Options", "MaxHistoryLength", 0), 5);
    opts.SetMaxHistoryLength(250);
    EXPECT_EQ(TIniFile(ini).ReadInteger("Options", "MaxHistoryLength", 0), 99);
}

TEST_F(SavedOptionsTest, SharedOptionKeys)
{
    Start("");
    EXPECT_TRUE(opts.GetAllowMultipleInstances());
    EXPECT_EQ(opts.GetClipboardResponse(), 0);
    opts.SetClipboardResponse(2);
    EXPECT_EQ(opts.GetClipboardResponse(), 2);
    EXPECT_EQ(TIniFile(ini).ReadString("Options", "ClipboardResponse", ""), "2");
}

TEST_F(SavedOptionsTest, TwoProcessesWritingAtOnceKeepEachOthersKeys)
{
    Start("");
    constexpr int kKeys = 200;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kKeys; ++i)
                ok = opts.WriteString("P" + std::to_string(p), "K" + std::to_string(i), std::to_string(i)) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TIniFile back(ini);
    int kept = 0;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kKeys; ++i)
            kept += back.ReadString("P" + std::to_string(p), "K" + std::to_string(i), "") == std::to_string(i);
    EXPECT_EQ(kept, 2 * kKeys);
    EXPECT_EQ(FileMode(ini + ".lock"), 0600u);
}

TEST(SavedOptionsList, MoveToTopOfList)
{
    std::vector<std::string> list{"One", "two", "ONE", "three"};
    MoveToTopOfList("one", list);
    EXPECT_THAT(list, ElementsAre("one", "two", "ONE", "three"));  // only the first match goes
    MoveToTopOfList("   ", list);
    EXPECT_THAT(list, ElementsAre("one", "two", "ONE", "three"));
    std::vector<std::string> empty;
    MoveToTopOfList("x", empty);
    EXPECT_THAT(empty, ElementsAre("x"));
}

// ---- Data folder ----

namespace {

// Restores an environment variable when the test ends.
class TSavedEnv {
public:
    explicit TSavedEnv(const char* name) : name_(name)
    {
        if (const char* v = std::getenv(name)) {
            had_ = true;
            value_ = v;
        }
    }
    ~TSavedEnv()
    {
        if (had_)
            ::setenv(name_, value_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("HOME", (tmp / "home").c_str(), 1);
        ::setenv("TMPDIR", (tmp / "t").c_str(), 1);
        std::filesystem::create_directories(tmp / "t");
        std::filesystem::create_directories(tmp / "prog");
        WriteTextFile(tmp / "blocker", "a file where a folder should be");
    }
    TSavedEnv home_{"HOME"}, tmpdir_{"TMPDIR"}, xdg_{"XDG_DATA_HOME"};
    TTempFolder tmp;
};

}  // namespace

TEST_F(DataFolderTest, XdgDataHomeFirstAndProbed)
{
    ::setenv("XDG_DATA_HOME", (tmp / "xdg/share").c_str(), 1);
    TDataFolderChoice c = ChooseDataFolder(tmp / "prog");
    EXPECT_EQ(c.folder, tmp / "xdg/share/Gleanery/");
    EXPECT_TRUE(c.persistent);
    TIniFile ini(c.folder + "Gleanery.INI");
    EXPECT_EQ(ini.ReadString("Test", "Name", ""), "Value");
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "xdg/share/Gleanery").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(DataFolderTest, HomeShareWhenXdgUnsetOrRelative)
{
    ::setenv("XDG_DATA_HOME", "relative/share", 1);
    TDataFolderChoice c = ChooseDataFolder(tmp / "prog");
    EXPECT_EQ(c.folder, tmp / "home/.local/share/Gleanery/");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ChooseDataFolder(tmp / "prog").folder, c.folder);
}

TEST_F(DataFolderTest, ProgramFolderThenPrivateTemp)
{
    ::setenv("XDG_DATA_HOME", (tmp / "blocker/share").c_str(), 1);
    TDataFolderChoice c = ChooseDataFolder(tmp / "prog");
    EXPECT_EQ(c.folder, tmp / "prog/");
    EXPECT_TRUE(c.persistent);

    c = ChooseDataFolder(tmp / "blocker");
    EXPECT_EQ(c.folder, tmp / ("t/gleanery-" + std::to_string(::getuid()) + "/"));
    EXPECT_FALSE(c.persistent);
    struct stat st {};
    ASSERT_EQ(::lstat((tmp / ("t/gleanery-" + std::to_string(::getuid()))).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(DataFolderTest, PlantedLinkInTempIsNotUsed)
{
    const std::string expected = tmp / ("t/gleanery-" + std::to_string(::getuid()));
    std::filesystem::create_directories(tmp / "elsewhere");
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), expected.c_str()), 0);
    std::string folder = PrivateTempFolder();
    EXPECT_NE(folder, expected + "/");
    EXPECT_THAT(folder, HasSubstr(expected + "-"));
}

TEST_F(DataFolderTest, UnreadableSettingsFileRejectsTheCandidate)
{
    ::setenv("XDG_DATA_HOME", (tmp / "xdg").c_str(), 1);
    std::filesystem::create_directories(tmp / "xdg/Gleanery/Gleanery.INI");  // a folder: cannot be read
    TDataFolderChoice c = ChooseDataFolder(tmp / "prog");
    EXPECT_EQ(c.folder, tmp / "prog/");
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "xdg/Gleanery/Gleanery.INI"));
}

TEST_F(DataFolderTest, NothingUsableGivesAFreshPrivateFolderUnderTmp)
{
    ::setenv("XDG_DATA_HOME", (tmp / "blocker/share").c_str(), 1);
    ::setenv("TMPDIR", (tmp / "missing").c_str(), 1);
    TDataFolderChoice c = ChooseDataFolder(tmp / "blocker");
    ASSERT_FALSE(c.folder.empty());
    EXPECT_FALSE(c.persistent);
    EXPECT_EQ(c.folder.rfind("/tmp/gleanery-" + std::to_string(::getuid()) + "-", 0), 0u) << c.folder;
    EXPECT_THAT(c.note, HasSubstr(c.folder.substr(0, c.folder.size() - 1)));
    struct stat st {};
    ASSERT_EQ(::lstat(c.folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::filesystem::remove_all(c.folder);
}

TEST_F(DataFolderTest, DecidedOncePerProcess)
{
    ::setenv("XDG_DATA_HOME", (tmp / "xdg").c_str(), 1);
    const std::string first = GetDataFolder();
    EXPECT_EQ(first, tmp / "xdg/Gleanery/");
    EXPECT_TRUE(IsDataFolderPersistent());
    ::setenv("XDG_DATA_HOME", (tmp / "other").c_str(), 1);
    EXPECT_EQ(GetDataFolder(), first);
    EXPECT_EQ(TSavedOptions::GetLastJobFileName(), first + "LastJob.GCJ");
}
