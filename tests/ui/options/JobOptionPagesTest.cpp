#include "tests/ui/UITestEnvironment.h"

#include "engine/job/JobTypes.h"
#include "engine/services/LanguageStrings.h"
#include "ui/options/AdditionalOptions.h"
#include "ui/options/FileCountAndSize.h"
#include "ui/options/FindReplaceTasks.h"
#include "ui/options/HTMLHeader.h"
#include "ui/options/JobDLTime.h"
#include "ui/options/JobProtocols.h"
#include "ui/options/ListRestrictions.h"
#include "ui/options/LocationRestrictions.h"
#include "ui/common/UISettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <string>

namespace {

TCopyJob DefaultJob()
{
    TCopyJob job;
    job.Clear();
    return job;
}

std::string Text(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

TEST(LocationRestrictionsPage, DistanceFallsBackTo99AndChoicesRoundTrip)
{
    TCopyJob job = DefaultJob();
    job.RestrictLocation = 2;
    job.RestrictLocationOfWebPagesOnly = false;
    job.MaxDistance = 5;
    TLocationRestrictionsFrame page(job);
    page.LoadFromCopyJob();
    EXPECT_TRUE(page.CopyAllAtServer()->isChecked());
    EXPECT_TRUE(page.RuleAppliesToAllFiles()->isChecked());
    EXPECT_TRUE(page.MaxDistanceRadio()->isChecked());
    EXPECT_EQ(Text(page.MaxDistanceEdit()), "5");

    page.CopyAll()->setChecked(true);
    page.RuleAppliesToWebPagesOnly()->setChecked(true);
    page.MaxDistanceEdit()->setText("");
    page.SaveToCopyJob();
    EXPECT_EQ(job.RestrictLocation, 3);
    EXPECT_TRUE(job.RestrictLocationOfWebPagesOnly);
    EXPECT_EQ(job.MaxDistance, 99);
    EXPECT_EQ(Text(page.MaxDistanceEdit()), "99");

    page.NoMaxDistance()->setChecked(true);
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxDistance, -1);
    page.LoadFromCopyJob();
    EXPECT_EQ(Text(page.MaxDistanceEdit()), "");
    EXPECT_TRUE(page.NoMaxDistance()->isChecked());
}

TEST(LocationRestrictionsPage, LabelsShowTheFolderAndServerOfTheStartingAddress)
{
    TCopyJob job = DefaultJob();
    TLocationRestrictionsFrame page(job);
    auto labels = [&](const char* address) {
        job.StartingWebAddress.SetFullURL(address);
        page.UpdateLocationLabels();
        return page.ThisFolderLabel()->text().toStdString() + " | " + page.ThisServerLabel()->text().toStdString();
    };
    EXPECT_EQ(labels("http://bob:pw@example.com:8080/dir/page.html#x"),
              "http://example.com:8080/dir/ | http://example.com:8080");
    EXPECT_EQ(labels("http://example.com/dir/"), "http://example.com/dir/ | http://example.com");
    EXPECT_EQ(labels("http://example.com/dir/sub"), "http://example.com | http://example.com");
    EXPECT_EQ(labels("not an address"), " | ");
    EXPECT_EQ(page.ThisFolderLabel()->toolTip(), page.ThisFolderLabel()->text());
}

TEST(ListPages, EachPageKeepsItsOwnCleaningRules)
{
    TCopyJob job = DefaultJob();
    const std::string longItem(70, 'x');
    {
        TFileExtensionsFrame page(job);
        page.OnlyRadio()->setChecked(true);
        page.OnlyEdit()->setText(QString::fromStdString("htm,,  html, " + longItem));
        page.SaveToCopyJob();
        EXPECT_EQ(job.ExtensionsPurpose, lpOnlyThese);
        EXPECT_EQ(job.Extensions, "htm, html");
        page.AllRadio()->setChecked(true);
        page.SaveToCopyJob();
        EXPECT_EQ(job.ExtensionsPurpose, lpUnused);
        EXPECT_EQ(job.Extensions, "");
        ASSERT_NE(page.OnlyBuildButton(), nullptr);
    }
    {
        TMimeTypesFrame page(job);
        page.NotRadio()->setChecked(true);
        page.NotEdit()->setText("text/html ,,image/*");
        page.SaveToCopyJob();
        EXPECT_EQ(job.TypesPurpose, lpNotThese);
        EXPECT_EQ(job.Types, "text/html ,,image/*");  // as typed
    }
    {
        TAddressRestrictionsFrame page(job);
        EXPECT_EQ(page.OnlyBuildButton(), nullptr);
        page.NotRadio()->setChecked(true);
        page.NotEdit()->setText("  ads,,track ");
        page.SaveToCopyJob();
        EXPECT_EQ(job.AddressStringsPurpose, lpNotThese);
        EXPECT_EQ(job.AddressStrings, "ads, track");
        EXPECT_EQ(Text(page.NotEdit()), "ads, track");  // reloaded after saving
        page.AllRadio()->setChecked(true);
        page.SaveToCopyJob();
        EXPECT_EQ(job.AddressStringsPurpose, lpUnused);
        EXPECT_EQ(job.AddressStrings, "ads, track");  // kept
    }
    // Loading an "only" list leaves the other edit alone; a purpose out of range changes nothing.
    job.Types = "image/png";
    job.TypesPurpose = lpOnlyThese;
    TMimeTypesFrame page(job);
    page.NotEdit()->setText("keep");
    page.LoadFromCopyJob();
    EXPECT_TRUE(page.OnlyRadio()->isChecked());
    EXPECT_EQ(Text(page.OnlyEdit()), "image/png");
    EXPECT_EQ(Text(page.NotEdit()), "keep");
    job.TypesPurpose = 7;
    page.LoadFromCopyJob();
    EXPECT_TRUE(page.OnlyRadio()->isChecked());
}

TEST(FileCountAndSizePage, SizesLoadInTheirLargestExactUnit)
{
    TCopyJob job = DefaultJob();
    TFileCountAndSizeFrame page(job);
    struct {
        int32_t bytes;
        const char* text;
        const char* unit;
    } cases[] = {{2097152, "2", "MB"}, {3072, "3", "KB"}, {1500, "1500", "bytes"}, {0, "0", "bytes"}};
    for (const auto& c : cases) {
        job.MaxFileSize = c.bytes;
        page.LoadFromCopyJob();
        EXPECT_TRUE(page.MaxFileSizeRow().check->isChecked());
        EXPECT_EQ(Text(page.MaxFileSizeRow().edit), c.text);
        EXPECT_EQ(page.MaxFileSizeRow().units->currentText().toStdString(), c.unit);
    }
    job.MaxFileSize = -1;
    page.LoadFromCopyJob();
    EXPECT_FALSE(page.MaxFileSizeRow().check->isChecked());
    EXPECT_EQ(Text(page.MaxFileSizeRow().edit), "");
    EXPECT_EQ(page.MaxFileSizeRow().units->currentText(), "bytes");  // left as it was
}

TEST(FileCountAndSizePage, SavedSizesAreCappedAndUnreadableRowsTurnOff)
{
    TCopyJob job = DefaultJob();
    TFileCountAndSizeFrame page(job);
    auto set = [](const TFileCountAndSizeFrame::TSizeRow& row, const char* text, const char* unit) {
        row.check->setChecked(true);
        row.edit->setText(text);
        row.units->setCurrentText(unit);
    };
    set(page.MinFileSizeRow(), "2047", "MB");
    set(page.MaxFileSizeRow(), "5000", "MB");
    set(page.MaxDownloadSizeRow(), "5000", "MB");
    page.MaxDownloadCountCheck()->setChecked(true);
    page.MaxDownloadCount()->setText("250");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MinFileSize, 2146435072);
    EXPECT_EQ(job.MaxFileSize, 2147483647);
    EXPECT_EQ(job.MaxJobDownloadSize, 2147483647);
    EXPECT_EQ(job.MaxFileCount, 250);

    set(page.MinFileSizeRow(), "ten", "KB");
    set(page.MaxFileSizeRow(), "-3", "KB");  // a negative limit would refuse every file
    set(page.MaxDownloadSizeRow(), "99999999999", "bytes");
    page.MaxDownloadCount()->setText("12x");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MinFileSize, -1);
    EXPECT_EQ(job.MaxFileSize, -1);
    EXPECT_EQ(job.MaxJobDownloadSize, -1);
    EXPECT_EQ(job.MaxFileCount, -1);
    for (const auto* row : {&page.MinFileSizeRow(), &page.MaxFileSizeRow(), &page.MaxDownloadSizeRow()}) {
        EXPECT_FALSE(row->check->isChecked());
        EXPECT_EQ(Text(row->edit), "");
    }
    EXPECT_FALSE(page.MaxDownloadCountCheck()->isChecked());
    EXPECT_EQ(Text(page.MaxDownloadCount()), "");

    // Off rows save -1 whatever their edits hold.
    page.MinFileSizeRow().edit->setText("7");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MinFileSize, -1);
}

TEST(TimeoutsPage, SpansLoadInMinutesOrHoursAndTimeoutsAreClamped)
{
    TCopyJob job = DefaultJob();
    TJobDLTimeFrame page(job);
    job.MaxSecondsForAllDownloads = 5400;
    page.LoadFromCopyJob();
    EXPECT_TRUE(page.UseJobDLTimeSpan()->isChecked());
    EXPECT_EQ(Text(page.SpanCount()), "90");
    EXPECT_EQ(page.TimeSpans()->currentText(), "minutes");
    job.MaxSecondsForAllDownloads = 7200;
    page.LoadFromCopyJob();
    EXPECT_EQ(Text(page.SpanCount()), "2");
    EXPECT_EQ(page.TimeSpans()->currentText(), "hours");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, 7200);

    job.DownloadOptions.Timeout = 0;  // shown as it is, not as the previous job's value
    page.FileDLTimeout()->setText("45");
    page.LoadFromCopyJob();
    EXPECT_EQ(Text(page.FileDLTimeout()), "0");
    job.DownloadOptions.Timeout = 60000;
    page.LoadFromCopyJob();
    for (auto [text, ms] : {std::pair{"0", 1000}, {"5000", 900000}, {"abc", 60000}, {"99999999", 900000}}) {
        page.FileDLTimeout()->setText(text);
        page.SaveToCopyJob();
        EXPECT_EQ(job.DownloadOptions.Timeout, ms) << text;
    }

    page.SpanCount()->setText("soon");
    page.SaveToCopyJob();
    EXPECT_FALSE(page.UseJobDLTimeSpan()->isChecked());
    EXPECT_EQ(job.MaxSecondsForAllDownloads, -1);
    page.UseJobDLTimeSpan()->setChecked(true);
    page.SpanCount()->setText("2000000000");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, 2147483647);
    job.MaxSecondsForAllDownloads = -1;
    page.LoadFromCopyJob();
    EXPECT_FALSE(page.UseJobDLTimeSpan()->isChecked());
    EXPECT_EQ(Text(page.SpanCount()), "1");
    EXPECT_EQ(page.TimeSpans()->currentText(), "minutes");
}

TEST(TimeoutsPage, ValuesRoundTripUnchangedUnlessEdited)
{
    TCopyJob job = DefaultJob();
    TJobDLTimeFrame page(job);
    struct Case {
        int32_t seconds;
        const char* span;
        const char* unit;
    };
    for (Case c : {Case{30, "30", "seconds"}, Case{3599, "3599", "seconds"}, Case{5400, "90", "minutes"},
                   Case{7200, "2", "hours"}, Case{0, "0", "hours"}, Case{-7, "-7", "seconds"}}) {
        job.MaxSecondsForAllDownloads = c.seconds;
        page.LoadFromCopyJob();
        EXPECT_EQ(Text(page.SpanCount()), c.span) << c.seconds;
        EXPECT_EQ(page.TimeSpans()->currentText(), c.unit) << c.seconds;
        job.MaxSecondsForAllDownloads = 1;
        page.SaveToCopyJob();
        EXPECT_EQ(job.MaxSecondsForAllDownloads, c.seconds);
    }
    // Time-outs the edit cannot show exactly, or that the editor would clamp, stay as they are.
    for (int32_t ms : {0, 1500, 500, 1000000}) {
        job.DownloadOptions.Timeout = ms;
        page.LoadFromCopyJob();
        job.DownloadOptions.Timeout = 1;
        page.SaveToCopyJob();
        EXPECT_EQ(job.DownloadOptions.Timeout, ms);
    }
    // An edit is saved as typed, in the unit chosen.
    job.MaxSecondsForAllDownloads = 30;
    page.LoadFromCopyJob();
    page.SpanCount()->setText("45");
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, 45);
    page.TimeSpans()->setCurrentIndex(0);  // minutes
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, 2700);
    page.FileDLTimeout()->setText("1");
    page.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.Timeout, 1000);
    page.UseJobDLTimeSpan()->setChecked(false);
    page.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, -1);
}

TEST(AdditionalOptionsPage, NumbersOutsideTheControlsRoundTripUnchanged)
{
    TCopyJob job = DefaultJob();
    TAdditionalOptionsFrame page(job);
    for (int32_t threads : {0, -1, 9}) {
        job.DownloadOptions.MaxSimultaneousDownloads = threads;
        job.PauseBetweenDownloads = 700;
        page.LoadFromCopyJob();
        EXPECT_EQ(Text(page.SimultaneousDownloads()), "4") << threads;  // all four threads
        job.DownloadOptions.MaxSimultaneousDownloads = 1;
        job.PauseBetweenDownloads = 1;
        page.SaveToCopyJob();
        EXPECT_EQ(job.DownloadOptions.MaxSimultaneousDownloads, threads);
        EXPECT_EQ(job.PauseBetweenDownloads, 700);
    }
    page.SimultaneousDownloads()->setText("3");
    page.PauseSeconds()->setText("900");
    page.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.MaxSimultaneousDownloads, 3);
    EXPECT_EQ(job.PauseBetweenDownloads, 600);
}

TEST(SimplePages, ProtocolsAndHeaderFooterRoundTrip)
{
    TCopyJob job = DefaultJob();
    job.DownloadHTTP = false;
    job.DownloadFTP = true;
    job.DownloadOptions.CustomHTMLHeader = "<p>top</p>\r\n<hr>";
    TJobProtocolsFrame protocols(job);
    EXPECT_TRUE(protocols.DownloadHTTPS()->isHidden());
    protocols.ShowHTTPSOption();
    EXPECT_FALSE(protocols.DownloadHTTPS()->isHidden());
    protocols.LoadFromCopyJob();
    EXPECT_FALSE(protocols.DownloadHTTP()->isChecked());
    EXPECT_TRUE(protocols.DownloadFTP()->isChecked());
    protocols.DownloadHTTPS()->setChecked(true);
    protocols.SaveToCopyJob();
    EXPECT_TRUE(job.DownloadHTTPS);
    EXPECT_FALSE(job.DownloadHTTP);

    THTMLHeaderFrame header(job);
    header.LoadFromCopyJob();
    EXPECT_EQ(header.HeaderText()->toPlainText(), "<p>top</p>\n<hr>");
    header.FooterText()->setPlainText("a\nb");
    header.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.CustomHTMLHeader, "<p>top</p>\r\n<hr>");
    EXPECT_EQ(job.DownloadOptions.CustomHTMLFooter, "a\r\nb");
}

TEST(AdditionalOptionsPage, AgentHistoryPutsTheJobsAgentFirst)
{
    EraseHistory(THistoryKind::AgentName);
    AddToHistory(THistoryKind::AgentName, "B");
    AddToHistory(THistoryKind::AgentName, "A");  // most recent first: A, B
    TCopyJob job = DefaultJob();
    job.DownloadOptions.HTTPAgentName = "B";
    TAdditionalOptionsFrame page(job);
    page.LoadFromCopyJob();
    QComboBox* box = page.AgentNameHistory();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "B");
    EXPECT_EQ(box->itemText(1), "A");
    EXPECT_EQ(box->itemText(2).toStdString(), TAdditionalOptionsFrame::GetDefaultAgentName());
    EXPECT_EQ(box->currentText(), "B");

    page.ClearAgentNameHistory();
    EXPECT_EQ(box->count(), 0);
    EXPECT_TRUE(ReadHistory(THistoryKind::AgentName).empty());
    page.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.HTTPAgentName, "");
    box->setEditText("  Mine/1 ");
    page.AddAgentNameToHistory();
    EXPECT_EQ(ReadHistory(THistoryKind::AgentName), std::vector<std::string>{"Mine/1"});
    page.SaveToCopyJob();
    EXPECT_EQ(job.DownloadOptions.HTTPAgentName, "  Mine/1 ");  // untrimmed
    EraseHistory(THistoryKind::AgentName);
}

TEST(AdditionalOptionsPage, NumbersFallBackAndSwitchesRoundTrip)
{
    TCopyJob job = DefaultJob();
    job.StartingWebAddress.SetFullURL("http://bob:pw@example.com/a/?q=1#frag");
    job.PauseBetweenDownloads = 30;
    job.DownloadOptions.MaxSimultaneousDownloads = 2;
    job.AssumeWWWWhenNoThirdLevelDomain = false;
    job.KeepRewriteInputFiles = true;
    TAdditionalOptionsFrame page(job);
    page.LoadFromCopyJob();
    EXPECT_EQ(Text(page.PauseSeconds()), "30");
    EXPECT_EQ(Text(page.SimultaneousDownloads()), "2");
    EXPECT_TRUE(page.SimultaneousDownloads()->isReadOnly());
    EXPECT_FALSE(page.AssumeWWW()->isChecked());
    EXPECT_TRUE(page.KeepRewrittenInputFiles()->isChecked());

    page.PauseSeconds()->setText("later");
    page.SimultaneousDownloads()->setText("9");
    page.AddMarkOfTheWeb()->setChecked(true);
    page.AllowAuthentication()->setChecked(false);
    page.SaveToCopyJob();
    EXPECT_EQ(job.PauseBetweenDownloads, 0);
    EXPECT_EQ(job.DownloadOptions.MaxSimultaneousDownloads, 4);
    EXPECT_TRUE(job.AddMarkOfWebOnRewrite);
    EXPECT_FALSE(job.DownloadOptions.AllowAuthentication);
    page.PauseSeconds()->setText("-700");
    page.SimultaneousDownloads()->setText("x");
    page.SaveToCopyJob();
    EXPECT_EQ(job.PauseBetweenDownloads, 700);  // lowered to 600 only when positive
    page.PauseSeconds()->setText("900");
    page.SaveToCopyJob();
    EXPECT_EQ(job.PauseBetweenDownloads, 600);
    EXPECT_EQ(job.DownloadOptions.MaxSimultaneousDownloads, 1);

    page.ReferrerAddressDblClick();
    EXPECT_EQ(Text(page.ReferrerAddress()), "http://example.com/a/?q=1");
    page.ReferrerAddress()->setText(" http://other/ ");
    page.ReferrerAddressDblClick();
    EXPECT_EQ(Text(page.ReferrerAddress()), "http://other/");
}

// A second language whose texts differ from the built-in ones.
class TranslatedPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = TestHomeFolder() + "/lang-pages/";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder_)));
        TLocalLanguages{}.SetLanguagesFolder(folder_);
        QFile file(QString::fromStdString(folder_ + "ENU.csv"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QString csv = QString::fromUtf8(file.readAll());
        file.close();
        for (int id : {78, 90, 107, 108, 109, 111, 114, 128, 156, 157, 158, 159, 132, 140, 137})
            csv = Translate(csv, id);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(csv.toUtf8());
        file.close();
    }

    // Row id's translation becomes "T<id>".
    static QString Translate(QString csv, int id)
    {
        const QString head = "\r\n\"" + QString::number(id) + "\",";
        qsizetype at = csv.indexOf(head);
        EXPECT_GE(at, 0) << id;
        qsizetype end = csv.indexOf("\r\n", at + 2);
        QStringList cells = csv.mid(at + 2, end - at - 2).split("\",\"");
        cells[2] = "T" + QString::number(id);
        return csv.left(at + 2) + cells.join("\",\"") + csv.mid(end);
    }

    std::string folder_;
};

TEST_F(TranslatedPagesTest, LanguageUpdateSetsCaptionsAndKeepsTheUnitChoice)
{
    TCopyJob job = DefaultJob();
    job.MaxSecondsForAllDownloads = 7200;
    TJobDLTimeFrame time(job);
    TLocationRestrictionsFrame location(job);
    TFileCountAndSizeFrame sizes(job);
    TJobProtocolsFrame protocols(job);
    TAdditionalOptionsFrame additional(job);
    time.LoadFromCopyJob();
    ASSERT_EQ(time.TimeSpans()->currentText(), "hours");

    TLocalLanguages languages;
    languages.SetLanguagesFolder(folder_);
    ASSERT_EQ(languages.GetString(109), "T109");
    for (TJobOptionPage* page : std::initializer_list<TJobOptionPage*>{&time, &location, &sizes, &protocols, &additional})
        page->UpdateLanguageLabels();
    EXPECT_EQ(time.TimeSpans()->currentText(), "T109");
    EXPECT_EQ(time.UseJobDLTimeSpan()->text(), "T107");
    EXPECT_EQ(sizes.MaxDownloadCountCheck()->text(), "T90");
    EXPECT_EQ(protocols.DownloadHTTP()->text(), "T111");
    EXPECT_EQ(additional.AddShellExtensions()->text(), "T128");
    EXPECT_EQ(sizes.MaxFileSizeRow().units->itemText(2), "MB");  // unit words stay
    // The saved span follows the translated hours word.
    time.SaveToCopyJob();
    EXPECT_EQ(job.MaxSecondsForAllDownloads, 7200);
    job.MaxSecondsForAllDownloads = 180;
    time.LoadFromCopyJob();
    EXPECT_EQ(time.TimeSpans()->currentText(), "T108");
}

TEST_F(TranslatedPagesTest, TasksKeepTheirMeaningAcrossLanguages)
{
    TCopyJob job = DefaultJob();
    TFindReplaceTasksFrame page(job);
    page.AddTaskRow(false, "f", true, true, "r");
    QTreeWidgetItem* row = page.TaskListView()->topLevelItem(0);
    ASSERT_EQ(row->text(3), "No");
    ASSERT_EQ(row->text(4), "Yes");
    {
        TLocalLanguages languages;
        languages.SetLanguagesFolder(folder_);
        page.UpdateLanguageLabels();
        EXPECT_EQ(row->text(0), "T156");
        EXPECT_EQ(row->text(3), "T159");
        EXPECT_EQ(row->text(4), "T158");
        EXPECT_EQ(page.TaskListView()->headerItem()->text(0), "T132");
        page.SaveToCopyJob();
        EXPECT_EQ(job.DownloadOptions.FindReplaceTasks.Tasks[0].Flags, rfIgnoreCase);
        EXPECT_TRUE(job.DownloadOptions.FindReplaceTasks.Tasks[0].WholeWordsOnly);
    }
    page.UpdateLanguageLabels();
    EXPECT_EQ(row->text(0), "First");
    EXPECT_EQ(row->text(3), "No");
    EXPECT_EQ(row->text(4), "Yes");
}

}  // namespace
