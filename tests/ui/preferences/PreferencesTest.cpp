#include "tests/ui/UITestEnvironment.h"

#include "common/TempFolder.h"
#include "engine/job/Base64.h"
#include "engine/job/DownloadOptionTypes.h"
#include "engine/job/URLType.h"
#include "engine/services/LanguageStrings.h"
#include "engine/job/PasswordMgr.h"
#include "engine/services/SavedOptions.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "platform/IniFile.h"
#include "ui/preferences/AddPassword.h"
#include "ui/log/JobLog.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/preferences/Passwords.h"
#include "ui/preferences/Preferences.h"
#include "ui/preferences/PreferencesAutomation.h"
#include "ui/preferences/PreferencesGeneral.h"
#include "ui/preferences/PreferencesHistory.h"
#include "ui/preferences/PreferencesLanguages.h"
#include "ui/preferences/PreferencesProxy.h"
#include "ui/preferences/PreferencesSlideshow.h"
#include "ui/preferences/PreferencesSounds.h"
#include "ui/preferences/PreferencesSpeech.h"
#include "ui/preferences/ProcessPriority.h"
#include "ui/common/Speech.h"
#include "ui/common/UISettings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <cerrno>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SettingsText()
{
    return FileText(TSavedOptions::Instance()->INIFileName());
}

// Each test starts from an empty settings file.
class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override { WriteTextFile(TSavedOptions::Instance()->INIFileName(), ""); }
};

TEST_F(PreferencesTest, ProxyPageLoadsTrimmedWritesNothingBackThenStoresEachEdit)
{
    WriteSettingBool("HTTPProxy", "UseProxyServer", true);
    WriteSettingString("HTTPProxy", "Address", " proxy.example ");
    WriteSettingString("HTTPProxy", "Port", "8080");
    WriteSettingString("HTTPProxy", "Username", "bob");
    const std::string before = SettingsText();

    TPreferencesProxyFrame page;
    page.SetProxyKind(pkHTTP);
    page.LoadProxyPreferences();
    EXPECT_EQ(SettingsText(), before);  // loading writes nothing
    EXPECT_TRUE(page.UseProxyServer()->isChecked());
    EXPECT_EQ(page.Address()->text(), "proxy.example");
    EXPECT_TRUE(page.Address()->isEnabled());
    EXPECT_FALSE(page.AllowLocalProxyBypass()->isChecked());

    page.Password()->setText("secret ");
    EXPECT_EQ(ReadSettingString("HTTPProxy", "Password", ""), "secret ");  // stored as typed
    EXPECT_EQ(ReadSettingString("HTTPProxy", "Address", ""), " proxy.example ");  // only the edited key
    page.UseProxyServer()->setChecked(false);
    EXPECT_FALSE(ReadSettingBool("HTTPProxy", "UseProxyServer", true));
    EXPECT_FALSE(page.Port()->isEnabled());
    EXPECT_EQ(ReadSettingString("FTPProxy", "Address", "none"), "none");  // the other page's section untouched
}

TEST_F(PreferencesTest, ProxyValidationSwitchesOffAndClearsHalfCredentialsVisiblyAndStored)
{
    TPreferencesProxyFrame page;
    page.SetProxyKind(pkFTP);
    page.LoadProxyPreferences();
    page.UseProxyServer()->setChecked(true);
    page.Address()->setText(" ftpproxy ");
    page.Port()->setText("21");
    page.Username()->setText("alice");

    TProxyServerInfo info;
    page.GetProxyServerInfo(info);
    EXPECT_TRUE(info.UseProxyServer);
    EXPECT_EQ(info.Address, "ftpproxy");
    EXPECT_EQ(info.Port, 21);
    EXPECT_EQ(info.Username, "");  // a user name without a password is dropped
    EXPECT_EQ(page.Username()->text(), "");
    EXPECT_EQ(ReadSettingString("FTPProxy", "Username", "x"), "");

    for (const char* port : {"2l", "", "70000", "0"}) {
        page.UseProxyServer()->setChecked(true);
        page.Port()->setText(port);
        page.GetProxyServerInfo(info);
        EXPECT_FALSE(info.UseProxyServer) << port;
        EXPECT_FALSE(page.UseProxyServer()->isChecked()) << port;
        EXPECT_FALSE(ReadSettingBool("FTPProxy", "UseProxyServer", true)) << port;
    }
    EXPECT_EQ(info.Port, 0);  // "0"

    page.UseProxyServer()->setChecked(true);
    page.Port()->setText("3128");
    page.Address()->setText("");
    page.GetProxyServerInfo(info);
    EXPECT_FALSE(info.UseProxyServer);
}

TEST_F(PreferencesTest, ProxyRecordsReachTheStartCommand)
{
    WriteSettingBool("HTTPProxy", "UseProxyServer", true);
    WriteSettingString("HTTPProxy", "Address", "web-proxy");
    WriteSettingString("HTTPProxy", "Port", "3128");
    WriteSettingString("HTTPProxy", "Username", "u");
    WriteSettingString("HTTPProxy", "Password", "p");
    WriteSettingBool("FTPProxy", "UseProxyServer", true);
    WriteSettingString("FTPProxy", "Address", "ftp-proxy");
    WriteSettingString("FTPProxy", "Port", "none");
    WriteSettingBool("Automation", "ShowJobQueue", true);

    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TPasswordManager passwords;
    TMainForm form;
    form.Preferences()->LoadAllPreferences();
    const std::string folder = TestHomeFolder() + "/prefs-queue/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder + "site")));
    form.JobQueue()->Initialize(nullptr, folder);
    TCopyJob job;
    job.Clear();
    job.JobName = "proxied";
    job.StartingWebAddress.SetFullURL("http://127.0.0.1:1/");
    job.SetDestinationFolder(folder + "site");
    form.JobQueue()->AddNewJob(job);
    form.JobQueue()->SelectIndex(0);
    form.JobQueue()->StartJobBtnClick();

    TSpiderInputMsg sent;
    ASSERT_TRUE(input.PopMessage(sent));
    EXPECT_EQ(sent.FMsgType, INMSG_START_JOB);
    EXPECT_TRUE(sent.FHTTPProxy.UseProxyServer);
    EXPECT_EQ(sent.FHTTPProxy.Address, "web-proxy");
    EXPECT_EQ(sent.FHTTPProxy.Port, 3128);
    EXPECT_EQ(sent.FHTTPProxy.Username, "u");
    EXPECT_EQ(sent.FHTTPProxy.Password, "p");
    EXPECT_FALSE(sent.FFTPProxy.UseProxyServer);  // a port that is no number switches it off
    EXPECT_FALSE(ReadSettingBool("FTPProxy", "UseProxyServer", true));
    form.JobQueue()->PrepareForAppShutdown();
}

TEST(SiteToHostKey, KeepsTheHostInLowerCase)
{
    EXPECT_EQ(SiteToHostKey("HTTP://WWW.Example.COM/private/index.html"), "www.example.com");
    EXPECT_EQ(SiteToHostKey("ftp://user@Files.example:2121"), "files.example:2121");
    EXPECT_EQ(SiteToHostKey("http://bob:pw@example.com:8080/x"), "example.com:8080");
    EXPECT_EQ(SiteToHostKey("http://bob:p@ss@example.com?q=1"), "example.com");
    EXPECT_EQ(SiteToHostKey("example.org/a"), "example.org");
    EXPECT_EQ(SiteToHostKey("https://"), "");
    // The key form the download threads look up: a default port is left out, others kept.
    EXPECT_EQ(SiteToHostKey("http://LocalHost:80/x"), "localhost");
    EXPECT_EQ(SiteToHostKey("https://localhost:443"), "localhost");
    EXPECT_EQ(SiteToHostKey("https://localhost:80"), "localhost:80");
    EXPECT_EQ(SiteToHostKey("http://localhost:19701/"), "localhost:19701");
}

class PasswordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int run = 0;
        file_ = TestHomeFolder() + "/up-" + std::to_string(++run) + ".ini";
    }

    void Add(TPasswordsFrame& page, const char* site, const char* user, const char* password, bool editing = false)
    {
        page.Dialog()->Site()->setText(site);
        page.Dialog()->Username()->setText(user);
        page.Dialog()->Password()->setText(password);
        page.AddOrEditPassword(editing);
    }

    void Select(TPasswordsFrame& page, int row)
    {
        page.PasswordsList()->clearSelection();
        page.PasswordsList()->topLevelItem(row)->setSelected(true);
    }

    std::vector<std::string> Column(TPasswordsFrame& page, int column)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < page.PasswordsList()->topLevelItemCount(); ++i)
            texts.push_back(page.PasswordsList()->topLevelItem(i)->text(column).toStdString());
        return texts;
    }

    TPasswordManager store_;
    TBoxRecorder boxes_;
    std::string file_;
};

TEST_F(PasswordsTest, AddedSitesReachTheStoreAndAPrivateFile)
{
    TPasswordsFrame page(nullptr, file_);
    page.LoadPasswords();
    Add(page, " HTTPS://Secure.Example/login ", " ann ", "s3cret");
    TPasswordRec rec;
    ASSERT_TRUE(store_.FindPassword("secure.example", rec));
    EXPECT_EQ(rec.Username, "ann");
    EXPECT_EQ(rec.Password, "s3cret");

    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadInteger("Security", "Count", 0), 1);
    EXPECT_EQ(ini.ReadString("Security", "Host0", ""), "secure.example");
    EXPECT_EQ(ini.ReadString("Security", "P0", ""), StrToBase64("s3cret"));
    EXPECT_EQ(FileText(file_).find("s3cret"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The same host in another case is refused; nothing changes.
    Add(page, "secure.EXAMPLE", "other", "pw");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].find("already in the list"), std::string::npos);
    ASSERT_TRUE(store_.FindPassword("secure.example", rec));
    EXPECT_EQ(rec.Username, "ann");

    // A scheme alone leaves no host: nothing is added and nothing is asked.
    Add(page, "http://", "x", "y");
    EXPECT_EQ(store_.Count(), 1);
    EXPECT_EQ(boxes_.boxes.size(), 1u);

    // A second page reading the file finds the same entry.
    TPasswordManager::Instance()->RemovePassword("secure.example");
    TPasswordsFrame again(nullptr, file_);
    again.LoadPasswords();
    EXPECT_EQ(again.PasswordsList()->topLevelItemCount(), 1);
    EXPECT_TRUE(store_.FindPassword("secure.example", rec));
}

TEST_F(PasswordsTest, UserInformationNeverBecomesPartOfTheSite)
{
    // An older file may hold a key with user information: it is read without it.
    WriteTextFile(file_, "[Security]\r\nCount=1\r\nHost0=old:secret@Old.Example\r\nU0=" + StrToBase64("u") +
                         "\r\nP0=" + StrToBase64("p") + "\r\n");
    TPasswordsFrame page(nullptr, file_);
    page.LoadPasswords();
    Add(page, "http://bob:pw@example.com:8080/x", "bob", "pw");
    EXPECT_EQ(Column(page, TPasswordsFrame::pcSite), (std::vector<std::string>{"old.example", "example.com:8080"}));
    TURL address;
    address.SetFullURL("http://example.com:8080/x");
    TPasswordRec rec;
    ASSERT_TRUE(store_.FindPasswordFor(address, rec));
    EXPECT_EQ(rec.Username, "bob");
    EXPECT_EQ(TIniFile(file_).ReadString("Security", "Host1", ""), "example.com:8080");
    EXPECT_EQ(FileText(file_).find("secret@"), std::string::npos);
}

TEST_F(PasswordsTest, RemovingAndEditingKeepListStoreAndFileInStep)
{
    TPasswordsFrame page(nullptr, file_);
    page.LoadPasswords();
    for (const char* site : {"a.test", "b.test", "c.test", "d.test", "e.test"})
        Add(page, site, "user", "pw");
    Select(page, 3);
    page.RemoveSelectedPassword();
    Select(page, 3);
    page.RemoveSelectedPassword();
    EXPECT_EQ(store_.Count(), 3);
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadInteger("Security", "Count", 0), 3);
    for (const char* key : {"Host3", "U3", "P3", "Host4", "U4", "P4"})
        EXPECT_FALSE(ini.ValueExists("Security", key)) << key;

    // Editing one entry to a host already listed replaces that entry.
    Select(page, 0);
    page.RemoveSelectedPassword();
    Add(page, "B.test", "new", "pw2", true);
    EXPECT_EQ(Column(page, TPasswordsFrame::pcSite), (std::vector<std::string>{"c.test", "b.test"}));
    EXPECT_EQ(store_.Count(), 2);
    TPasswordRec rec;
    ASSERT_TRUE(store_.FindPassword("b.test", rec));
    EXPECT_EQ(rec.Username, "new");
}

TEST_F(PasswordsTest, FullStoreRefusesAndColumnsSortDescendingFirst)
{
    TPasswordsFrame page(nullptr, file_);
    page.LoadPasswords();
    Add(page, "m.test", "beta", "1");
    Add(page, "z.test", "alpha", "2");
    Add(page, "a.test", "gamma", "3");
    page.PasswordsListColumnClick(TPasswordsFrame::pcUsername);
    EXPECT_EQ(Column(page, 1), (std::vector<std::string>{"gamma", "beta", "alpha"}));
    page.PasswordsListColumnClick(TPasswordsFrame::pcUsername);
    EXPECT_EQ(Column(page, 1), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    page.PasswordsListColumnClick(TPasswordsFrame::pcSite);
    EXPECT_EQ(Column(page, 0), (std::vector<std::string>{"a.test", "m.test", "z.test"}));
    Select(page, 0);
    page.RemoveSelectedPassword();  // saved in display order
    EXPECT_EQ(TIniFile(file_).ReadString("Security", "Host0", ""), "m.test");

    for (int i = 0; store_.Count() < TPasswordManager::MaxPasswords; ++i)
        store_.PutPassword({"filler" + std::to_string(i), "u", "p"});
    Add(page, "new.test", "u", "p");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].find("list is full"), std::string::npos);
    EXPECT_EQ(page.PasswordsList()->topLevelItemCount(), 2);
}

TEST_F(PasswordsTest, ABrokenPasswordFileIsKeptWholeBeforeTheNextSave)
{
    const std::string original = "[Security]\r\nCount=3\r\nHost0=good.test\r\nU0=" + StrToBase64("u") +
                                 "\r\nP0=" + StrToBase64("p") + "\r\nHost1=bad.test\r\nU1=abc\r\nP1=" +
                                 StrToBase64("p") + "\r\nHost2=empty.test\r\nU2=\r\nP2=\r\n";
    WriteTextFile(file_, original);
    TPasswordsFrame page(nullptr, file_);
    QStringList told;
    QObject::connect(&page, &TPasswordsFrame::FileRecovered, [&](const QString& text) { told.append(text); });
    page.LoadPasswords();
    EXPECT_EQ(page.PasswordsList()->topLevelItemCount(), 1);
    ASSERT_EQ(told.size(), 1);  // the user is told what was kept
    EXPECT_TRUE(told[0].contains("1 password was read")) << told[0].toStdString();
    TPasswordRec rec;
    EXPECT_TRUE(store_.FindPassword("good.test", rec));
    EXPECT_FALSE(store_.FindPassword("bad.test", rec));

    Add(page, "added.test", "u", "p");
    ASSERT_FALSE(page.KeptFileName().empty());
    EXPECT_EQ(FileText(page.KeptFileName()), original);
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadInteger("Security", "Count", 0), 2);

    // A file whose count is no number is not taken for an empty list either.
    const std::string garbled = "[Security]\r\nCount=many\r\nHost0=x.test\r\n";
    const std::string other = file_ + ".other";
    WriteTextFile(other, garbled);
    TPasswordsFrame second(nullptr, other);
    second.LoadPasswords();
    EXPECT_EQ(second.PasswordsList()->topLevelItemCount(), 0);
    EXPECT_TRUE(second.SavePasswords());
    EXPECT_EQ(FileText(second.KeptFileName()), garbled);

    // A huge count is bounded by what the file holds.
    WriteTextFile(other, "[Security]\r\nCount=2000000000\r\n");
    TPasswordsFrame third(nullptr, other);
    third.LoadPasswords();
    EXPECT_EQ(third.PasswordsList()->topLevelItemCount(), 0);
}

TEST_F(PreferencesTest, GeneralPageLoadsAppliesPriorityAndSavesTheChangedKey)
{
    WriteSettingInteger("Preferences", "Priority", 16384);
    WriteSettingBool("Preferences", "ShowFriendlyDownloadResults", false);
    const std::string before = SettingsText();
    std::vector<int32_t> priorities;
    TPreferencesGeneralFrame page;
    page.SetPrioritySetter([&priorities](int32_t value) {
        priorities.push_back(value);
        return true;
    });
    page.LoadGeneralPreferences();
    EXPECT_EQ(SettingsText(), before);
    EXPECT_EQ(page.ProcessPriorityCombo()->currentIndex(), 1);
    EXPECT_EQ(priorities, std::vector<int32_t>{16384});  // handed on unchanged
    EXPECT_FALSE(page.ShowFriendlyDownloadResults()->isChecked());
    EXPECT_TRUE(page.JobLoggingEnabled()->isChecked());

    page.UpdateLanguageLabels();  // refilling the list keeps the row and stores nothing
    EXPECT_EQ(page.ProcessPriorityCombo()->currentIndex(), 1);
    EXPECT_EQ(SettingsText(), before);

    page.ProcessPriorityCombo()->setCurrentIndex(0);
    EXPECT_EQ(ReadSettingInteger("Preferences", "Priority", 0), 32);
    EXPECT_EQ(priorities.back(), 32);
    EXPECT_FALSE(ReadSettingBool("Preferences", "LogCompletedJobs", false));  // only the changed key
    page.ProcessPriorityCombo()->setCurrentIndex(1);
    EXPECT_EQ(ReadSettingInteger("Preferences", "Priority", 0), 64);
    page.StayOnTop()->setChecked(true);
    EXPECT_TRUE(ReadSettingBool("Preferences", "StayOnTop", false));
}

TEST(ProcessPriority, EveryClassButNormalLowersThePriority)
{
    EXPECT_EQ(NiceOfPriorityClass(kPriorityNormal), 0);
    EXPECT_EQ(NiceOfPriorityClass(kPriorityIdle), 19);
    EXPECT_EQ(NiceOfPriorityClass(kPriorityBelowNormal), 10);
    // Above normal, high and real time show as Background: they lower it too.
    for (int32_t raising : {32768, 128, 256, 12345})
        EXPECT_EQ(NiceOfPriorityClass(raising), 19) << raising;

    // In a child process, so that this one keeps its priority.
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        errno = 0;
        bool set = SetProcessPriorityClass(128);
        int nice = ::getpriority(PRIO_PROCESS, 0);
        ::_exit(set && errno == 0 ? nice : 100);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 19);
}

TEST_F(PreferencesTest, AutomationPageClipboardHotkeyAndQueueOptions)
{
    WriteSettingInteger("Options", "ClipboardResponse", 3);
    WriteSettingInteger("Automation", "ScrapeHotkey", 200);
    WriteSettingBool("Automation", "ShowJobQueue", true);
    WriteSettingBool("Automation", "FocusProgressOnJobStart", false);
    const std::string before = SettingsText();
    TPreferencesAutomationFrame page;
    page.LoadAutomationPreferences();
    EXPECT_EQ(SettingsText(), before);
    EXPECT_FALSE(page.IgnoreClipboard()->isChecked());
    EXPECT_FALSE(page.PromptOnClipboardChange()->isChecked());
    EXPECT_FALSE(page.CreateJobOnClipboardChange()->isChecked());
    EXPECT_EQ(page.ScrapeHotkey()->currentIndex(), 0);
    EXPECT_TRUE(page.SaveQueue()->isEnabled());
    EXPECT_FALSE(page.FocusProgressOnJobStart()->isChecked());

    page.PromptOnClipboardChange()->setChecked(true);
    EXPECT_EQ(ReadSettingInteger("Options", "ClipboardResponse", 0), 1);
    page.ScrapeHotkey()->setCurrentIndex(VirtualKeyToHotkeyIndex(122));
    EXPECT_EQ(ReadSettingInteger("Automation", "ScrapeHotkey", 0), 122);
    EXPECT_EQ(HotkeyTextToVirtualKey("None"), 0);
    EXPECT_EQ(HotkeyTextToVirtualKey("F2"), 113);

    page.ShowJobQueue()->setChecked(false);
    EXPECT_FALSE(ReadSettingBool("Automation", "ShowJobQueue", true));
    EXPECT_TRUE(ReadSettingBool("Automation", "FocusProgressOnJobStart", false));
    EXPECT_TRUE(page.FocusProgressOnJobStart()->isChecked());
    EXPECT_FALSE(page.FocusProgressOnJobStart()->isEnabled());
    EXPECT_FALSE(page.SaveQueue()->isEnabled());
    EXPECT_FALSE(page.FocusQueueOnJobAdd()->isEnabled());
}

TEST_F(PreferencesTest, TwoInstancesKeepEachOthersChanges)
{
    // Two programs show the same pages; each change stores its own key and nothing else.
    TPreferencesGeneralFrame generalA, generalB;
    TPreferencesAutomationFrame automationA, automationB;
    TPreferencesProxyFrame proxyA, proxyB;
    TPreferencesSlideshowFrame slideshowA, slideshowB;
    for (auto* proxy : {&proxyA, &proxyB})
        proxy->SetProxyKind(pkHTTP);
    for (auto* general : {&generalA, &generalB})
        general->SetPrioritySetter([](int32_t) { return true; });
    generalA.LoadGeneralPreferences();
    generalB.LoadGeneralPreferences();
    automationA.LoadAutomationPreferences();
    automationB.LoadAutomationPreferences();
    proxyA.LoadProxyPreferences();
    proxyB.LoadProxyPreferences();
    slideshowA.LoadSlideshowPreferences();
    slideshowB.LoadSlideshowPreferences();

    generalA.ShowFriendlyDownloadResults()->setChecked(false);
    generalB.MinimizeToTaskbar()->setChecked(true);
    generalB.ProcessPriorityCombo()->setCurrentIndex(1);
    EXPECT_FALSE(ReadSettingBool("Preferences", "ShowFriendlyDownloadResults", true));
    EXPECT_TRUE(ReadSettingBool("Preferences", "MinimizeToTaskbar", false));

    automationA.ShowJobQueue()->setChecked(true);
    automationB.ScrapeHotkey()->setCurrentIndex(VirtualKeyToHotkeyIndex(114));
    EXPECT_TRUE(ReadSettingBool("Automation", "ShowJobQueue", false));
    EXPECT_EQ(ReadSettingInteger("Automation", "ScrapeHotkey", 0), 114);

    proxyA.Address()->setText("proxy-a");
    proxyB.Port()->setText("3128");
    EXPECT_EQ(ReadSettingString("HTTPProxy", "Address", ""), "proxy-a");

    slideshowA.ShrinkLarge()->setChecked(!slideshowA.ShrinkLarge()->isChecked());
    const bool shrink = ReadSettingBool("Slideshow", "ShrinkLarge", false);
    slideshowB.MinWidth()->setText("321");
    EXPECT_EQ(ReadSettingBool("Slideshow", "ShrinkLarge", !shrink), shrink);
}

TEST_F(PreferencesTest, HistoryPageLengthAndClearing)
{
    TMainForm form;  // clears the histories for the page
    TSavedOptions& options = *TSavedOptions::Instance();
    options.SetEnableHistory(true);
    options.SetMaxHistoryLength(5);
    const std::string before = SettingsText();
    TPreferencesHistoryFrame page(nullptr, &form);
    page.LoadHistoryPreferences();
    EXPECT_EQ(SettingsText(), before);
    EXPECT_EQ(page.HistoryLength()->value(), 5);
    page.HistoryLength()->setValue(150);
    EXPECT_EQ(options.GetMaxHistoryLength(), 99);
    EXPECT_EQ(ReadSettingInteger("Options", "MaxHistoryLength", 0), 99);

    options.AddToHistory("StartingAddressHistory", "http://kept.test/");
    TBoxRecorder no(false);
    page.ClearHistoryButtonClick();
    EXPECT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(ReadHistory(THistoryKind::StartingAddress).size(), 1u);  // No changes nothing
    page.EnableHistory()->setChecked(false);
    EXPECT_FALSE(options.GetEnableHistory());
    options.SetEnableHistory(true);
    EXPECT_TRUE(ReadHistory(THistoryKind::StartingAddress).empty());  // cleared at once
    options.SetMaxHistoryLength(8);
}

TEST_F(PreferencesTest, HistoryLengthTypedAboveTheMaximumStoresTheMaximum)
{
    TSavedOptions& options = *TSavedOptions::Instance();
    options.SetMaxHistoryLength(5);
    TPreferencesHistoryFrame page;
    page.LoadHistoryPreferences();
    auto press = [&page](Qt::Key key, const QString& text = QString()) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(page.HistoryLength(), &down);
    };
    press(Qt::Key_Backspace);
    for (QChar c : QString("250"))
        press(Qt::Key(c.unicode()), QString(c));
    EXPECT_EQ(options.GetMaxHistoryLength(), 99);
    EXPECT_EQ(ReadSettingInteger("Options", "MaxHistoryLength", 0), 99);
    press(Qt::Key_Return);
    EXPECT_EQ(page.HistoryLength()->value(), 99);
    EXPECT_EQ(page.HistoryLength()->text(), "99");
    // A shorter length typed in full is stored as it is.
    press(Qt::Key_Backspace);
    press(Qt::Key_Backspace);
    press(Qt::Key_1, "1");
    press(Qt::Key_2, "2");
    EXPECT_EQ(options.GetMaxHistoryLength(), 12);
    options.SetMaxHistoryLength(8);
}

TEST_F(PreferencesTest, ClearingHistoryEmptiesTheJobLog)
{
    TMainForm form;
    InitAfterFormsCreated(form, nullptr);
    auto* log = qobject_cast<TJobLogFrame*>(form.Page(pgLog));
    ASSERT_NE(log, nullptr);
    TSpiderOutputMsg ended;
    ended.FMsgType = OUTMSG_JOB_ENDED;
    ended.FJob.JobName = "copied site";
    ended.FJob.StartingWebAddress.SetFullURL("http://site.test/");
    auto logOneJob = [&] {
        log->OnSpiderOutput(ended, 1);
        ASSERT_EQ(log->CompletedJobsList()->topLevelItemCount(), 1);
        ASSERT_NE(FileText(log->LogFile()).find("site.test"), std::string::npos);
    };
    TSavedOptions::Instance()->SetEnableHistory(true);
    TPreferencesHistoryFrame& page = *form.Preferences()->History();
    page.LoadHistoryPreferences();

    logOneJob();
    TBoxRecorder yes(true);
    page.ClearHistoryButtonClick();
    EXPECT_EQ(log->CompletedJobsList()->topLevelItemCount(), 0);
    EXPECT_EQ(FileText(log->LogFile()), "");

    logOneJob();
    page.EnableHistory()->setChecked(false);  // clears at once, without asking
    EXPECT_EQ(yes.boxes.size(), 1u);
    EXPECT_EQ(FileText(log->LogFile()), "");
    TSavedOptions::Instance()->SetEnableHistory(true);
}

TEST_F(PreferencesTest, TreeShowsOnePageAtATimeAndNoneWhenNothingIsSelected)
{
    TPreferencesFrame frame;
    EXPECT_EQ(frame.PreferencesTree()->topLevelItemCount(), 9);  // one language: no Languages node
    EXPECT_FALSE(frame.Page(ppGeneral)->isHidden());
    frame.ShowPasswordsPage();
    EXPECT_FALSE(frame.Page(ppPasswords)->isHidden());
    EXPECT_TRUE(frame.Page(ppGeneral)->isHidden());
    frame.PreferencesTree()->clearSelection();
    for (int i = 0; i < ppCount; ++i)
        EXPECT_TRUE(frame.Page(i)->isHidden()) << i;
    frame.UpdateLanguageLabels();
    EXPECT_EQ(frame.PreferencesTree()->topLevelItem(ppHistory)->text(0), "History");
}

TEST_F(PreferencesTest, ChoosingALanguageRelabelsTheWindowAndIsStored)
{
    const std::string folder = TestHomeFolder() + "/languages/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    TLocalLanguages languages;
    languages.SetLanguagesFolder(folder);  // writes ENU.csv
    // A copy of the English file with its language name and one caption translated.
    std::istringstream english(FileText(folder + "ENU.csv"));
    std::string translated, line;
    auto translate = [&line](const std::string& row, const std::string& text) {
        const std::string head = "\"" + row + "\",";
        if (line.rfind(head, 0) != 0)
            return;
        size_t third = line.find("\",\"", head.size());
        ASSERT_NE(third, std::string::npos);
        line = line.substr(0, third) + "\",\"" + text + "\",\"\"\r";
    };
    while (std::getline(english, line)) {
        translate("4", "Testish");
        translate("182", "Chronik");
        translated += line + "\n";
    }
    WriteTextFile(folder + "TST.csv", translated);
    languages.ScanLanguagesFolder();
    ASSERT_EQ(languages.GetLanguageCount(), 2);
    WriteSettingString("Languages", "Selected", "Testish");

    TMainForm form;
    TPreferencesFrame& frame = *form.Preferences();
    EXPECT_EQ(frame.PreferencesTree()->topLevelItemCount(), 10);
    frame.Languages()->FillLanguagesList();
    frame.Languages()->LoadLanguagePreferences();
    EXPECT_EQ(frame.PreferencesTree()->topLevelItem(ppHistory)->text(0), "Chronik");
    EXPECT_EQ(frame.Languages()->LanguagesListView()->topLevelItem(1)->text(0), "TST.csv");

    frame.Languages()->LanguagesListView()->setCurrentItem(frame.Languages()->LanguagesListView()->topLevelItem(0));
    EXPECT_EQ(frame.PreferencesTree()->topLevelItem(ppHistory)->text(0), "History");
    EXPECT_EQ(ReadSettingString("Languages", "Selected", ""), "English (United States)");
}

TEST_F(PreferencesTest, LoadingEveryPageWritesNothingBack)
{
    WriteSettingString("Languages", "Selected", "English (United States)");
    WriteSettingBool("Preferences", "MinimizeToTaskbar", true);
    WriteSettingBool("Preferences", "LogCompletedJobs", false);
    WriteSettingInteger("Options", "ClipboardResponse", 2);
    WriteSettingBool("Automation", "ShowJobQueue", false);
    WriteSettingBool("Automation", "FocusProgressOnJobStart", false);
    WriteSettingBool("HTTPProxy", "UseProxyServer", true);
    WriteSettingString("HTTPProxy", "Port", " 81 ");
    WriteSettingBool("Sounds", "SoundsEnabled", true);
    WriteSettingString("Slideshow", "MinSlideWidth", "x");
    const std::string before = SettingsText();
    TPasswordManager passwords;
    TPreferencesFrame frame;
    frame.General()->SetPrioritySetter([](int32_t) { return true; });
    frame.LoadAllPreferences();
    EXPECT_EQ(SettingsText(), before);
    EXPECT_TRUE(frame.General()->MinimizeToTaskbar()->isChecked());
    EXPECT_TRUE(frame.Automation()->CreateJobOnClipboardChange()->isChecked());
    EXPECT_EQ(frame.HTTPProxy()->Port()->text(), "81");
    EXPECT_EQ(frame.Slideshow()->MinWidth()->text(), "100");
}

TEST_F(PreferencesTest, MainWindowHostsThePageAndAppliesItsSettings)
{
    TMainForm form;
    EXPECT_EQ(form.Page(pgPreferences), form.Preferences());
    form.ShowPasswordsPreferences();
    EXPECT_EQ(form.ActivePage(), pgPreferences);
    EXPECT_FALSE(form.Preferences()->Page(ppPasswords)->isHidden());
    form.SetStayOnTop(true);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form.SetStayOnTop(false);
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(PreferencesTest, SoundsPlayOnTheirEventsOnlyWhenOnAndOnlyExistingFiles)
{
    const std::string wav = TestHomeFolder() + "/ding.wav";
    WriteTextFile(wav, "RIFF");
    WriteSettingString("Sounds", "JobStart", wav);
    WriteSettingString("Sounds", "FileDownload", TestHomeFolder() + "/missing.wav");
    const std::string before = SettingsText();
    TPreferencesSoundsFrame page;
    std::vector<std::string> played;
    page.SetSoundPlayer([&played](const std::string& path) { played.push_back(path); });
    page.LoadSoundPreferences();
    EXPECT_EQ(SettingsText(), before);
    EXPECT_EQ(page.FileName(TPreferencesSoundsFrame::seJobEnd)->text(), "");  // "(None)" by default
    EXPECT_FALSE(page.FileName(TPreferencesSoundsFrame::seJobStart)->isEnabled());

    page.OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, 1), 3);
    EXPECT_TRUE(played.empty());  // sounds off
    page.EnableSounds()->setChecked(true);
    EXPECT_TRUE(ReadSettingBool("Sounds", "SoundsEnabled", false));
    {
        TPreferencesSoundsFrame again;  // a sound never chosen stays cleared
        again.LoadSoundPreferences();
        EXPECT_EQ(again.FileName(TPreferencesSoundsFrame::seJobEnd)->text(), "");
    }
    page.OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, 1), 3);
    page.OnSpiderOutput(ReportOf(OUTMSG_DOWNLOAD_ENDED, 1, 404), 3);  // missing file: nothing
    page.OnSpiderOutput(ReportOf(OUTMSG_JOB_ENDED, 1), 3);            // no file: nothing
    EXPECT_EQ(played, std::vector<std::string>{wav});
}

TEST_F(PreferencesTest, SlideshowMinimaAndSpeechWithoutAnEngine)
{
    TPreferencesSlideshowFrame slideshow;
    slideshow.LoadSlideshowPreferences();
    EXPECT_EQ(slideshow.MinWidth()->text(), "100");
    EXPECT_TRUE(slideshow.ShrinkLarge()->isChecked());
    EXPECT_TRUE(SettingsText().empty());
    slideshow.MinWidth()->setText("wide");
    EXPECT_EQ(ReadSettingInteger("Slideshow", "MinSlideWidth", -1), 0);
    slideshow.MinHeight()->setText("-5");
    EXPECT_EQ(ReadSettingInteger("Slideshow", "MinSlideHeight", 0), -5);

    ASSERT_FALSE(IsSpeechAvailable());  // no voice made in this program
    WriteSettingBool("Speech", "SpeechEnabled", true);
    WriteSettingString("Speech", "Volume", "loud");
    const std::string before = SettingsText();
    {
        TPreferencesSpeechFrame speech;
        EXPECT_TRUE(speech.SpeechEnabledPanel()->isHidden());
        EXPECT_FALSE(speech.SpeechDisabledLabel()->isHidden());
        speech.LoadSpeechPreferences();
        EXPECT_FALSE(speech.EnableSpeech()->isChecked());
        speech.OnSpiderOutput(ReportOf(OUTMSG_JOB_STARTED, 1), 4);
    }
    EXPECT_EQ(SettingsText(), before);  // the stored choice stays until a change on the page
}

// Saves pictures of the General and Passwords pages: GLEANERY_SCREENSHOT=/tmp/x.png.
TEST(PreferencesPicture, SavesScreenshotWhenAsked)
{
    const char* path = std::getenv("GLEANERY_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "GLEANERY_SCREENSHOT not set";
    TMainForm form;
    form.MoveFocusToPage(pgPreferences);
    form.show();
    EXPECT_TRUE(form.grab().save(path));
    form.ShowPasswordsPreferences();
    EXPECT_TRUE(form.grab().save(QString(path) + ".passwords.png"));
    form.Preferences()->PreferencesTree()->setCurrentItem(form.Preferences()->PreferencesTree()->topLevelItem(ppHTTPProxy));
    EXPECT_TRUE(form.grab().save(QString(path) + ".proxy.png"));
}

}  // namespace
