#include "tests/ui/UITestEnvironment.h"

#include "common/TempFolder.h"
#include "tests/engine/TestLog.h"

#include "engine/job/JobTypes.h"
#include "engine/job/QueueFolder.h"
#include "engine/services/SavedOptions.h"
#include "platform/IniFile.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/preferences/PreferencesAutomation.h"
#include "ui/intake/ScrapeURL.h"
#include "ui/start/Start.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/UISettings.h"
#include "ui/dialogs/URLRanges.h"
#include "ui/intake/WorkIntake.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

TEST(CommandLinePlan, SwitchesFilesAndAddresses)
{
    auto isFile = [](const QString& p) { return p.endsWith(".GCJ"); };
    auto plan = PlanCommandLine({"http://a.example/", "/runonce", "/unknown", "not an address", "job.GCJ"}, isFile);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].kind, TCommandLineStep::StartAddress);
    EXPECT_EQ(plan[1].kind, TCommandLineStep::Invalid);
    EXPECT_EQ(plan[1].param, "not an address");
    EXPECT_EQ(plan[2].kind, TCommandLineStep::OpenFile);
    EXPECT_EQ(plan[2].mode, omStart);

    // "/edit" anywhere and in any case turns everything into editing.
    plan = PlanCommandLine({"job.GCJ", "http://a.example/", "/EDIT"}, isFile);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].mode, omEdit);
    EXPECT_EQ(plan[1].kind, TCommandLineStep::EditAddress);

    // "/speak" counts only first, and then nothing else is done.
    plan = PlanCommandLine({"/Speak", "hello there", "http://a.example/"}, isFile);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].kind, TCommandLineStep::Speak);
    EXPECT_EQ(plan[0].param, "hello there");
    plan = PlanCommandLine({"http://a.example/", "/speak", "x y"}, isFile);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[1].kind, TCommandLineStep::Invalid);
    EXPECT_TRUE(PlanCommandLine({}, isFile).empty());

    // Empty parameters are skipped, and a switch with blanks around it is still a switch.
    plan = PlanCommandLine({"", " /eventlog ", "  ", "http://a.example/"}, isFile);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].kind, TCommandLineStep::StartAddress);
}

TEST(AddressLists, LinesAreSplitCutAndFiltered)
{
    EXPECT_EQ(SplitTextLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\n\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    const std::vector<std::string> lines{"http://one.example/ the first site", " http://indented.example/",
                                         "\thttp://tab.example/x\t", "mailto:me@example.com", "just words",
                                         "", "ftp://files.example/pub/"};
    EXPECT_EQ(CleanURLList(lines), (std::vector<std::string>{"http://one.example/", "http://tab.example/x",
                                                             "ftp://files.example/pub/"}));
}

TEST(AddressLists, InternetShortcutFiles)
{
    const std::string folder = TestHomeFolder() + "/shortcuts/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    WriteText(folder + "site.url", "[InternetShortcut]\r\nURL=http://site.example/page.htm\r\nIconIndex=0\r\n");
    WriteText(folder + "empty.url", "[InternetShortcut]\r\nIconIndex=0\r\n");
    WriteText(folder + "other.url", "[Other]\r\nURL=http://no.example/\r\n");
    EXPECT_EQ(ExtractURLFromShortcutFile(folder + "site.url"), "http://site.example/page.htm");
    EXPECT_EQ(ExtractURLFromShortcutFile(folder + "empty.url"), "");
    EXPECT_EQ(ExtractURLFromShortcutFile(folder + "other.url"), "");
    EXPECT_EQ(ExtractURLFromShortcutFile(folder + "missing.url"), "");
}

class WorkIntakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteSettingBool("Automation", "ShowJobQueue", true);
        WriteSettingBool("Automation", "FocusQueueOnJobAdd", false);
        folder_ = TestHomeFolder() + "/intake/";
        QDir(QString::fromStdString(folder_)).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder_ + "out")));
        form_ = std::make_unique<TMainForm>();
        InitAfterFormsCreated(*form_, nullptr);
        form_->StartPage()->StartingAddressPage()->DestinationFolderHistory()->setEditText(QString::fromStdString(folder_));
    }
    void TearDown() override
    {
        SetClipboardMode(0);
        form_.reset();
        WriteSettingBool("Automation", "ShowJobQueue", false);
    }

    std::vector<std::string> QueuedAddresses() const
    {
        std::vector<std::string> out;
        for (int32_t i = 0; i < form_->JobQueue()->JobCount(); ++i)
            out.push_back(form_->JobQueue()->Slot(i).FJob.StartingWebAddress.GetURLWithoutUserInfo());
        return out;
    }

    std::string JobFile(const std::string& name, const std::string& address)
    {
        TCopyJob job;
        job.Clear();
        job.StartingWebAddress.SetFullURL(address);
        job.DestinationFolder = folder_ + "out";
        const std::string path = folder_ + name;
        EXPECT_TRUE(job.WriteJobFile(path));
        return path;
    }

    void Drop(const QStringList& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls.append(QUrl::fromLocalFile(f));
        data.setUrls(urls);
        DropData(data);
    }
    // Drags data over the window and drops it; True when the window took the drag.
    bool DropData(const QMimeData& data)
    {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(form_.get(), &enter);  // a drop is taken only after its enter
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form_.get(), &drop);
        return enter.isAccepted();
    }
    // A link dragged out of a web browser: its address as a list of addresses, and as the
    // browser's own link with its title (UTF-16).
    bool DropLinks(const QStringList& addresses, bool asMozillaLink = false)
    {
        QMimeData data;
        if (asMozillaLink) {
            QString text;
            for (const QString& a : addresses)
                text += a + "\n" + "Title of " + a + "\n";
            data.setData("text/x-moz-url", QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
        } else {
            data.setData("text/uri-list", (addresses.join("\r\n") + "\r\n").toUtf8());
        }
        return DropData(data);
    }

    void SetClipboardMode(int mode)
    {
        if (TSavedOptions* options = TSavedOptions::Instance())
            options->SetClipboardResponse(mode);
    }

    void Copy(const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        QCoreApplication::processEvents();
    }

    QString EditedAddress() const
    {
        return form_->StartPage()->StartingAddressPage()->StartingAddressHistory()->currentText();
    }

    TSpiderInputMessageQueue input_;
    TSpiderOutputMessageQueue output_;
    TBoxRecorder recorder_;
    std::string folder_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(WorkIntakeTest, CommandLineStartsJobsAndWarnsOfBadParameters)
{
    WriteText(folder_ + "site.url", "[InternetShortcut]\r\nURL=http://127.0.0.1:9/short/\r\n");
    for (const char* p : {"http://127.0.0.1:9/a/", "no address", "/runonce", "/eventlog"})
        form_->AddCachedParam(p);
    form_->AddCachedParam(QString::fromStdString(folder_ + "site.url"));
    form_->AddCachedParam(QString::fromStdString(JobFile("one.GCJ", "http://127.0.0.1:9/job/")));
    form_->ProcessCommandLine();
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"http://127.0.0.1:9/a/", "http://127.0.0.1:9/short/",
                                                           "http://127.0.0.1:9/job/"}));
    ASSERT_EQ(recorder_.boxes.size(), 1u);
    EXPECT_EQ(recorder_.boxes[0], "Invalid Command Line Parameter: no address");
    EXPECT_TRUE(form_->CachedParams().isEmpty());
}

TEST_F(WorkIntakeTest, AHandOffArrivingInsideABoxIsWorkedOffInArrivalOrder)
{
    // The first start's box is open when the second start's parameters arrive.
    bool nested = false;
    TBoxHandler recorder = SetMessageBoxHandler([&](const TBoxRequest&) {
        if (!nested) {
            nested = true;
            form_->AddCachedParam("http://127.0.0.1:9/second/");
            form_->ProcessCommandLine();
        }
        return false;
    });
    for (const char* p : {"http://127.0.0.1:9/first/", "not an address", "http://127.0.0.1:9/first-after-box/"})
        form_->AddCachedParam(p);
    form_->ProcessCommandLine();
    SetMessageBoxHandler(recorder);
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"http://127.0.0.1:9/first/",
                                                           "http://127.0.0.1:9/first-after-box/",
                                                           "http://127.0.0.1:9/second/"}));
    EXPECT_EQ(form_->JobQueue()->Slot(2).FJobID, 3);
}

TEST_F(WorkIntakeTest, AJobHandedOverDuringStartUpIsOnDiskAtOnceAfterTheSavedQueue)
{
    // Saved by the last run.
    const std::string queue = UIDataFolder() + "Queue";
    TCopyJob saved;
    saved.Clear();
    saved.StartingWebAddress.SetFullURL("http://127.0.0.1:9/saved/");
    saved.DestinationFolder = folder_ + "out";
    ASSERT_TRUE(WriteQueueFolder(queue, {{saved, 0}}, false));

    // The splash is still up: the start-up has not read the queue yet. The later start has
    // ended, so its job must not wait for a timer either.
    form_->AddCachedParam("http://127.0.0.1:9/handed/");
    form_->OnParamsHandedOver();
    TIniFile ini;
    ASSERT_TRUE(ini.Load(queue + "/Queue.ini"));
    EXPECT_EQ(ini.ReadInteger("Queue", "JobCount", 0), 2);
    TCopyJob second;
    ASSERT_TRUE(second.ReadJobFile(queue + "/2.GCJ"));
    EXPECT_EQ(second.StartingWebAddress.GetURLWithoutUserInfo(), "http://127.0.0.1:9/handed/");

    // The start-up's own turn reads the queue no second time.
    form_->OnStartupUIComplete();
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"http://127.0.0.1:9/saved/", "http://127.0.0.1:9/handed/"}));
}

// A job file cut short is queued with defaults, and the user is told once: at the end of the
// start-up together with the rest, at once for work that arrives later.
TEST_F(WorkIntakeTest, WhatWasNotReadWholeIsToldInOneBoxAtStartUpThenAtOnce)
{
    const std::string file = JobFile("cut.GCJ", "http://127.0.0.1:9/cut/");
    const std::string whole = ReadTextFile(file);
    WriteTextFile(file, whole.substr(0, 500));
    form_->AddCachedParam(QString::fromStdString(file));
    form_->ReportRecovery("An earlier note.");
    form_->OnStartupUIComplete();
    EXPECT_EQ(QueuedAddresses(), std::vector<std::string>{"http://127.0.0.1:9/cut/"});
    ASSERT_EQ(recorder_.boxes.size(), 1u);
    EXPECT_NE(recorder_.boxes[0].find("An earlier note."), std::string::npos);
    EXPECT_NE(recorder_.boxes[0].find(file), std::string::npos);
    EXPECT_TRUE(form_->PendingRecoveries().isEmpty());

    form_->AddCachedParam(QString::fromStdString(file));
    form_->OnParamsHandedOver();
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder_.boxes.size(), 2u);
    EXPECT_EQ(recorder_.boxes[1].find("An earlier note."), std::string::npos);
}

TEST_F(WorkIntakeTest, EditSwitchPutsTheWorkIntoTheStartPage)
{
    form_->AddCachedParam("/Edit");
    form_->AddCachedParam("http://127.0.0.1:9/edit-me/");
    form_->ProcessCommandLine();
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/edit-me/");
    EXPECT_EQ(form_->ActivePage(), pgStart);

    form_->AddCachedParam(QString::fromStdString(JobFile("edit.GCJ", "http://127.0.0.1:9/from-file/")));
    form_->AddCachedParam("/EDIT");
    form_->ProcessCommandLine();
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/from-file/");
}

TEST_F(WorkIntakeTest, DroppedJobFilesAreEditedOnTheStartPageAndQueuedElsewhere)
{
    const QString first = QString::fromStdString(JobFile("first.gcj", "http://127.0.0.1:9/first/"));
    const QString second = QString::fromStdString(JobFile("second.GCJ", "http://127.0.0.1:9/second/"));
    form_->MoveFocusToPage(pgStart);
    Drop({first});
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/first/");

    Drop({first, second});
    EXPECT_EQ(QueuedAddresses(),
              (std::vector<std::string>{"http://127.0.0.1:9/first/", "http://127.0.0.1:9/second/"}));
    form_->MoveFocusToPage(pgPreferences);
    Drop({second});
    EXPECT_EQ(form_->JobQueue()->JobCount(), 3);

    // A job file that cannot be read ends the list.
    WriteText(folder_ + "broken.GCJ", "not a job");
    recorder_.boxes.clear();
    Drop({QString::fromStdString(folder_ + "broken.GCJ"), first});
    EXPECT_EQ(form_->JobQueue()->JobCount(), 3);
    EXPECT_EQ(recorder_.boxes.size(), 1u);
}

TEST_F(WorkIntakeTest, ALinkDraggedFromABrowserIsTakenAsADroppedShortcut)
{
    // On the Start page one link is edited, as one dropped shortcut is.
    form_->MoveFocusToPage(pgStart);
    EXPECT_TRUE(DropLinks({"http://127.0.0.1:9/edited/"}));
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/edited/");

    // Elsewhere it is queued; so are several links, and the links a browser drags as its own.
    form_->MoveFocusToPage(pgPreferences);
    EXPECT_TRUE(DropLinks({"https://127.0.0.1:9/a/"}));
    EXPECT_TRUE(DropLinks({"ftp://127.0.0.1:9/b/", "HTTP://127.0.0.1:9/c/"}, true));
    form_->MoveFocusToPage(pgStart);
    EXPECT_TRUE(DropLinks({"http://127.0.0.1:9/d/", "http://127.0.0.1:9/e/"}));
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"https://127.0.0.1:9/a/", "ftp://127.0.0.1:9/b/",
                                                           "http://127.0.0.1:9/c/", "http://127.0.0.1:9/d/",
                                                           "http://127.0.0.1:9/e/"}));
    // A shortcut file and a link dropped together are both taken, in order.
    WriteText(folder_ + "site.url", "[InternetShortcut]\r\nURL=http://127.0.0.1:9/short/\r\n");
    QMimeData mixed;
    mixed.setUrls({QUrl("http://127.0.0.1:9/f/"), QUrl::fromLocalFile(QString::fromStdString(folder_ + "site.url"))});
    EXPECT_TRUE(DropData(mixed));
    EXPECT_EQ(form_->JobQueue()->JobCount(), 7);
    EXPECT_EQ(QueuedAddresses()[6], "http://127.0.0.1:9/short/");
    EXPECT_TRUE(recorder_.boxes.empty());

    // On the Browse page a link is no slide, as a shortcut is none.
    form_->MoveFocusToPage(pgBrowse);
    EXPECT_TRUE(DropLinks({"http://127.0.0.1:9/slide/"}));
    form_->MoveFocusToPage(pgPreferences);
    EXPECT_EQ(form_->JobQueue()->JobCount(), 7);
}

TEST_F(WorkIntakeTest, DroppedLinksThatCannotBeJobsAreRefused)
{
    form_->MoveFocusToPage(pgPreferences);
    // Script and mail addresses are not taken at all; a file address is a dropped file, and a
    // file that is no job, shortcut or list is passed by.
    EXPECT_FALSE(DropLinks({"javascript:alert(1)"}));
    EXPECT_FALSE(DropLinks({"javascript:void(0)"}, true));
    EXPECT_FALSE(DropLinks({"mailto:bob@example.com"}, true));
    DropLinks({"file:///etc/passwd"});
    DropLinks({"file:///etc/hostname"}, true);
    QMimeData plain;
    plain.setText("http://127.0.0.1:9/only-text/");
    EXPECT_FALSE(DropData(plain));
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    EXPECT_TRUE(recorder_.boxes.empty());

    // An address too long is refused as a typed one is: with the queue's box, and no job.
    const QString tooLong = "http://127.0.0.1:9/" + QString(5000, 'x');
    EXPECT_TRUE(DropLinks({tooLong}));
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    ASSERT_EQ(recorder_.captions, std::vector<std::string>{"Cannot Add Job"});

    // A thousand links fill the queue in one lot, with no box.
    recorder_.captions.clear();
    QStringList many;
    for (int i = 0; i < 1000; ++i)
        many << QString("http://127.0.0.1:9/many/%1/").arg(i);
    EXPECT_TRUE(DropLinks(many));
    ASSERT_EQ(form_->JobQueue()->JobCount(), 1000);
    EXPECT_EQ(QueuedAddresses()[999], "http://127.0.0.1:9/many/999/");
    EXPECT_TRUE(recorder_.captions.empty());
    // The queue is full now: one more is refused with the queue's word.
    EXPECT_TRUE(DropLinks({"http://127.0.0.1:9/one-more/"}));
    EXPECT_EQ(form_->JobQueue()->JobCount(), 1000);
    EXPECT_EQ(recorder_.captions, std::vector<std::string>{"Cannot Add Job"});
}

TEST_F(WorkIntakeTest, TextFilesOfAddressesCountOnlyOnTheJobQueuePage)
{
    const std::string list = folder_ + "sites.TXT";
    WriteText(list, "http://127.0.0.1:9/one/ first site\r\nnot an address\r\n http://127.0.0.1:9/skipped/\r\n"
                    "http://127.0.0.1:9/two/\n");
    form_->MoveFocusToPage(pgStart);
    form_->OpenFiles({QString::fromStdString(list)}, omStart);
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);
    form_->MoveFocusToPage(pgJobQueue);
    Drop({QString::fromStdString(list)});
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"http://127.0.0.1:9/one/", "http://127.0.0.1:9/two/"}));
}

TEST_F(WorkIntakeTest, ManyAddressesAreAddedAsOneLotWithOneBoxForTheLinesThatCannotRun)
{
    QStringList lines;
    for (int i = 0; i < 400; ++i)
        lines << (i % 100 == 50 ? QString("bad line %1").arg(i) : QString("http://127.0.0.1:9/p%1/").arg(i));
    lines << "";
    form_->MoveFocusToPage(pgPreferences);
    const int32_t rebuilds = form_->JobQueue()->ListRebuilds();
    CreateJobsForAddresses(*form_, lines);  // the address range generator's Create Jobs
    ASSERT_EQ(form_->JobQueue()->JobCount(), 396);
    EXPECT_EQ(QueuedAddresses()[0], "http://127.0.0.1:9/p0/");
    EXPECT_EQ(QueuedAddresses()[395], "http://127.0.0.1:9/p399/");
    EXPECT_EQ(form_->JobQueue()->Slot(395).FJob.JobName, "Untitled Job 396");
    EXPECT_LE(form_->JobQueue()->ListRebuilds() - rebuilds, 2);
    ASSERT_EQ(recorder_.boxes.size(), 1u);
    for (int i : {50, 150, 250, 350})
        EXPECT_NE(recorder_.boxes[0].find(QString("bad line %1").arg(i).toStdString()), std::string::npos);
    // The Start page is left as the last single start would have left it.
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/p399/");
}

TEST_F(WorkIntakeTest, ClipboardAddressesFollowTheChosenResponse)
{
    SetClipboardMode(0);
    Copy("http://127.0.0.1:9/ignored/");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 0);

    SetClipboardMode(2);
    Copy("http://127.0.0.1:9/c1/");
    Copy("http://127.0.0.1:9/c1/");
    EXPECT_EQ(QueuedAddresses(), (std::vector<std::string>{"http://127.0.0.1:9/c1/"}));
    Copy("http://127.0.0.1:9/c2/");
    Copy("http://127.0.0.1:9/c1/");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 3);
    Copy("plain words, no address");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 3);
    Copy("http://127.0.0.1:9/l1/\r\nhttp://127.0.0.1:9/l2/ second");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 5);

    // The program's own copy is not taken as work.
    form_->SuppressNextClipboardChange();
    Copy("http://127.0.0.1:9/own/");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 5);

    // Prompting: one address is put into the Start page; several are left alone.
    SetClipboardMode(1);
    form_->MoveFocusToPage(pgPreferences);
    Copy("http://127.0.0.1:9/p1/\nhttp://127.0.0.1:9/p2/");
    EXPECT_EQ(form_->ActivePage(), pgPreferences);
    Copy("http://127.0.0.1:9/prompt/");
    EXPECT_EQ(form_->ActivePage(), pgStart);
    EXPECT_EQ(EditedAddress(), "http://127.0.0.1:9/prompt/");
    EXPECT_EQ(form_->JobQueue()->JobCount(), 5);
}

}  // namespace

namespace {

TEST_F(WorkIntakeTest, HotkeyPageAndGrabAgreeForEveryStoredKey)
{
    TTestLog log;
    TPreferencesAutomationFrame page;
    size_t tried = 0;
    for (int stored = 0; stored <= 255; ++stored) {
        WriteSettingInteger("Automation", "ScrapeHotkey", stored);
        page.LoadAutomationPreferences();
        const int shown = HotkeyTextToVirtualKey(page.ScrapeHotkey()->currentText());
        EXPECT_EQ(HotkeyToRegister(stored), shown) << stored;
        // Without an X11 desktop every grab tried fails and is logged, so a row marks a try.
        form_->Intake()->RegisterURLScrapeHotkey();
        const size_t now = log.CountOf("\"RegisterHotKey = ");
        EXPECT_EQ(now - tried, shown != 0 ? 1u : 0u) << stored;
        tried = now;
    }
    EXPECT_EQ(tried, 10u);  // F2 ... F11
    WriteSettingInteger("Automation", "ScrapeHotkey", 117);
}

TEST(ScrapeURL, FunctionKeysBrowsersAndTitles)
{
    EXPECT_EQ(VirtualKeyToKeysym(117), 0xffc3u);  // F6
    EXPECT_EQ(VirtualKeyToKeysym(112), 0xffbeu);  // F1
    EXPECT_EQ(VirtualKeyToKeysym(0), 0u);
    EXPECT_EQ(VirtualKeyToKeysym(65), 0u);
    EXPECT_TRUE(IsBrowserWindowClass("Firefox"));
    EXPECT_TRUE(IsBrowserWindowClass("chromium"));
    EXPECT_FALSE(IsBrowserWindowClass("xterm"));
    EXPECT_EQ(PageTitleFromWindowTitle("News - Today \xE2\x80\x94 Mozilla Firefox"), "News - Today");
    EXPECT_EQ(PageTitleFromWindowTitle("Docs - Chromium"), "Docs");
    EXPECT_EQ(PageTitleFromWindowTitle("Plain title"), "Plain title");
    EXPECT_EQ(PageTitleFromWindowTitle(" - Chromium"), " - Chromium");
}

TEST(ScrapeURL, WithoutAnX11DesktopNoKeyIsHadAndNothingIsTaken)
{
    TURLScrapeHotkey hotkey;
    EXPECT_FALSE(hotkey.Register(117));
    EXPECT_FALSE(hotkey.IsRegistered());
    EXPECT_FALSE(hotkey.Unregister());
    std::string address = "left over", title;
    EXPECT_FALSE(ScrapeBrowserURL(address, title));
    EXPECT_TRUE(address.empty());
}

}  // namespace
