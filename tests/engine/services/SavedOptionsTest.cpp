#include "engine/services/SavedOptions.h"

#include "common/TempFolder.h"
#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <cstdlib>
#include <filesystem>
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

// A settings file that cannot be read whole is kept aside and the defaults are used: a default
// read from it must never stand for the user's setting.
TEST_F(SavedOptionsTest, DamagedFileIsKeptAsideAndTheDefaultsAreUsed)
{
    using namespace std::string_literals;
    std::string random(65536, '\0');
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string whole = "[Options]\r\nEnableHistory=0\r\nMaxHistoryLength=3\r\n[Automation]\r\nShowJobQueue=1\r\n";
    for (const std::string& damaged : {whole.substr(0, 60), random, ""s, "[Options]\r\nEnable\0History=0\r\n"s}) {
        TTempFolder folder;
        const std::string file = folder / "Gleanery.INI";
        WriteTextFile(file, damaged);
        TSavedOptions store;
        store.SetINIFolder(folder.Path());
        EXPECT_TRUE(store.GetEnableHistory());
        EXPECT_FALSE(store.ReadBool("Automation", "ShowJobQueue", false));
        EXPECT_EQ(ReadTextFile(file + ".damaged"), damaged);
        const std::vector<TRecoveryNote> notes = store.TakeRecoveryNotes();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_THAT(notes[0].text, HasSubstr("kept as " + file + ".damaged"));
        EXPECT_TRUE(store.TakeRecoveryNotes().empty());  // told once
        EXPECT_TRUE(store.WriteBool("Automation", "ShowJobQueue", true));
        EXPECT_EQ(TIniFile(file).ReadString("Automation", "ShowJobQueue", ""), "1");
    }

    // A whole file, also without a final line end's CR or with CR-only lines, is read as it is.
    Start("[Options]\rMaxHistoryLength=3\r");
    EXPECT_EQ(opts.GetMaxHistoryLength(), 3);
    EXPECT_TRUE(opts.TakeRecoveryNotes().empty());
}

TEST_F(SavedOptionsTest, UnreadableFileThatCannotBeMovedIsNeverReplaced)
{
    TTempFolder logDir;
    TApplicationTraceLog log({"/eventlog"}, false, logDir.Slash());
    ::mkdir(ini.c_str(), 0700);  // "settings file" that cannot be read
    // Every name for a kept copy is taken: the folder stays where it is.
    WriteTextFile(ini + ".damaged", "");
    for (int n = 2; n <= 999; ++n)
        WriteTextFile(ini + ".damaged" + std::to_string(n), "");
    opts.SetINIFolder(tmp.Path());
    EXPECT_EQ(opts.GetMaxHistoryLength(), 8);
    EXPECT_TRUE(opts.GetEnableHistory());  // the default
    std::string v = "untouched";
    EXPECT_TRUE(opts.ReadString("S", "k", v, "def"));
    EXPECT_EQ(v, "def");
    EXPECT_EQ(opts.ReadInteger("S", "k", 42), 42);
    EXPECT_FALSE(opts.WriteString("S", "k", "v"));
    EXPECT_FALSE(opts.WriteBool("S", "b", true));
    EXPECT_TRUE(std::filesystem::is_directory(ini));
    const std::vector<TRecoveryNote> notes = opts.TakeRecoveryNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_THAT(notes[0].text, HasSubstr("left as it is"));
    std::string text = ReadTextFile(logDir / "GleaneryEventLog.csv");
    EXPECT_THAT(text, HasSubstr("\",\"WriteString\",\"SavedOptions\","));
    EXPECT_THAT(text, HasSubstr("\",\"WriteBool\",\"SavedOptions\","));
}

// Reads take the file as last read; a change on disk is read again, and a huge file is refused.
TEST_F(SavedOptionsTest, ReadsFollowTheFileAndValuesAreCut)
{
    Start("[S]\r\nv=" + std::string(3000, 'v') + "\r\nn=1\r\n");
    std::string v;
    ASSERT_TRUE(opts.ReadString("S", "v", v, ""));
    EXPECT_EQ(v.size(), TIniFile::MaxValueLength);
    EXPECT_EQ(opts.ReadInteger("S", "n", 0), 1);
    TIniFile other(ini);
    other.WriteInteger("S", "n", 22);
    ASSERT_TRUE(other.UpdateFile(0600));
    EXPECT_EQ(opts.ReadInteger("S", "n", 0), 22);

    TTempFolder folder;
    const std::string big = folder / "Gleanery.INI";
    std::string text = "[Options]\r\n";
    while (text.size() <= TIniFile::MaxFileBytes)
        text += "Key" + std::to_string(text.size()) + "=" + std::string(100, 'x') + "\r\n";
    WriteTextFile(big, text);
    TSavedOptions store;
    store.SetINIFolder(folder.Path());
    EXPECT_EQ(store.TakeRecoveryNotes().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(big + ".damaged"));
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

// The data folder holds the queue and the logs: a damaged settings file does not send the
// program elsewhere. The probe leaves the file to the settings store, which keeps it aside.
TEST_F(DataFolderTest, DamagedSettingsFileKeepsTheCandidateAndIsLeftAsItIs)
{
    ::setenv("XDG_DATA_HOME", (tmp / "xdg").c_str(), 1);
    std::filesystem::create_directories(tmp / "xdg/Gleanery/Gleanery.INI");  // a folder: cannot be read
    TDataFolderChoice c = ChooseDataFolder(tmp / "prog");
    EXPECT_EQ(c.folder, tmp / "xdg/Gleanery/");
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "xdg/Gleanery/Gleanery.INI"));
    EXPECT_FALSE(std::filesystem::exists(tmp / "xdg/Gleanery/Gleanery.INI.probe"));

    // A file cut short is not written to by the probe either.
    const std::string cut = "[Options]\r\nEnableHist";
    std::filesystem::remove(tmp / "xdg/Gleanery/Gleanery.INI");
    WriteTextFile(tmp / "xdg/Gleanery/Gleanery.INI", cut);
    EXPECT_TRUE(ProbeDataFolder(tmp / "xdg/Gleanery"));
    EXPECT_EQ(ReadTextFile(tmp / "xdg/Gleanery/Gleanery.INI"), cut);
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
