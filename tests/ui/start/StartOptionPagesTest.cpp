#include "tests/ui/UITestEnvironment.h"

#include "engine/job/JobTypes.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "platform/IniFile.h"
#include "ui/options/AdditionalOptions.h"
#include "ui/options/Cookies.h"
#include "ui/options/FindReplaceTasks.h"
#include "ui/options/JobDLTime.h"
#include "ui/options/JobProtocols.h"
#include "ui/queue/JobQueue.h"
#include "ui/options/LocationRestrictions.h"
#include "ui/main/Main.h"
#include "ui/start/Start.h"
#include "ui/common/UISettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::string JobText(const TCopyJob& job)
{
    TIniFile ini;
    job.WriteToIni(ini);
    return ini.ToText();
}

// A job whose every page field differs from the defaults and survives normalising.
TCopyJob UnusualJob(const std::string& folder)
{
    TCopyJob job;
    job.Clear();
    job.JobName = "unusual";
    job.StartingWebAddress.SetFullURL("http://127.0.0.1:9/dir/page.html");
    job.SetDestinationFolder(folder);
    job.RestrictLocation = 2;
    job.RestrictLocationOfWebPagesOnly = false;
    job.MaxDistance = 3;
    job.AddressStrings = "ads, track";
    job.AddressStringsPurpose = lpNotThese;
    job.MaxFileCount = 77;
    job.MinFileSize = 1500;
    job.MaxFileSize = 3 * 1024 * 1024;
    job.MaxJobDownloadSize = 5 * 1024;
    job.Extensions = ".htm, .html";
    job.ExtensionsPurpose = lpOnlyThese;
    job.Types = "image/png";
    job.TypesPurpose = lpNotThese;
    job.DownloadHTTP = false;
    job.DownloadHTTPS = true;
    job.DownloadFTP = true;
    job.MaxSecondsForAllDownloads = 5400;
    job.DownloadOptions.Timeout = 30000;
    job.DownloadOptions.CustomHTMLHeader = "<p>\r\nhead";
    job.DownloadOptions.CustomHTMLFooter = "foot";
    job.DownloadOptions.FindReplaceTasks.Tasks[0] = {"a", "b", rfReplaceAll, false};
    job.DownloadOptions.FindReplaceTasks.Count = 1;
    job.DownloadOptions.AllowCookies = false;
    job.DownloadOptions.Cookies.Cookies[0] = {"http://127.0.0.1/", "k", "v"};
    job.DownloadOptions.Cookies.Count = 1;
    job.DownloadOptions.HTTPAgentName = "Agent/2";
    job.StartingReferrer = "http://ref/";
    job.PauseBetweenDownloads = 12;
    job.DownloadOptions.MaxSimultaneousDownloads = 2;
    job.HonorRobotNoFollowTags = true;
    job.SaveQueryResults = false;
    job.DownloadOptions.AllowAuthentication = false;
    job.PruneFolders = false;
    job.AddMarkOfWebOnRewrite = true;
    job.KeepRewriteInputFiles = true;
    job.AssumeWWWWhenNoThirdLevelDomain = false;
    job.DownloadOptions.AddFileExtensions = false;
    return job;
}

TEST(StartOptionPages, AJobPassesThroughEveryPageUnchanged)
{
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TBoxRecorder boxes;
    WriteSettingBool("Automation", "ShowJobQueue", true);
    auto form = std::make_unique<TMainForm>();
    InitAfterFormsCreated(*form, nullptr);
    TStartFrame* start = form->StartPage();

    const TCopyJob original = UnusualJob(TestHomeFolder());
    start->EditCopyJob(original);
    auto* protocols = qobject_cast<TJobProtocolsFrame*>(start->OptionPage(6));
    ASSERT_NE(protocols, nullptr);
    EXPECT_FALSE(protocols->DownloadHTTPS()->isHidden());  // shown at start-up
    ASSERT_EQ(start->StartJob(), 0);
    ASSERT_GE(form->JobQueue()->JobCount(), 1);
    const TCopyJob& queued = form->JobQueue()->Slot(form->JobQueue()->JobCount() - 1).FJob;
    EXPECT_EQ(JobText(queued), JobText(original));
    EXPECT_EQ(ReadHistory(THistoryKind::AgentName).front(), "Agent/2");

    // Selecting the Location Restrictions node refreshes its labels from the saved address.
    start->ShowDetailsButtonClick();
    start->StartFramesTree()->setCurrentItem(start->StartFramesTree()->topLevelItem(1));
    EXPECT_EQ(start->ShownPage(), 1);
    auto* location = qobject_cast<TLocationRestrictionsFrame*>(start->OptionPage(1));
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->ThisFolderLabel()->text(), "http://127.0.0.1:9/dir/");

    // Unreadable numbers on the pages fall back instead of failing the start.
    auto* timeouts = qobject_cast<TJobDLTimeFrame*>(start->OptionPage(7));
    ASSERT_NE(timeouts, nullptr);
    timeouts->SpanCount()->setText("");
    timeouts->FileDLTimeout()->setText("?");
    ASSERT_EQ(start->StartJob(), 0);
    EXPECT_EQ(start->Job().MaxSecondsForAllDownloads, -1);
    EXPECT_EQ(start->Job().DownloadOptions.Timeout, 60000);

    // Clearing the histories empties the agent box too.
    auto* additional = qobject_cast<TAdditionalOptionsFrame*>(start->OptionPage(11));
    ASSERT_NE(additional, nullptr);
    start->ClearHistory();
    EXPECT_EQ(additional->AgentNameHistory()->count(), 0);
    EXPECT_TRUE(ReadHistory(THistoryKind::AgentName).empty());

    // Reset Job Defaults reloads every page from the cleared job.
    start->ResetJobDefaults();
    auto* cookies = qobject_cast<TCookiesFrame*>(start->OptionPage(10));
    auto* tasks = qobject_cast<TFindReplaceTasksFrame*>(start->OptionPage(8));
    ASSERT_TRUE(cookies && tasks);
    EXPECT_EQ(cookies->CookiesListView()->topLevelItemCount(), 0);
    EXPECT_EQ(tasks->TaskListView()->topLevelItemCount(), 0);
    EXPECT_TRUE(protocols->DownloadHTTP()->isChecked());
    WriteSettingBool("Automation", "ShowJobQueue", false);
}

}  // namespace
