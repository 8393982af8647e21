#include "ui/options/AdditionalOptions.h"

#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "engine/job/JobTypes.h"
#include "engine/services/SavedOptions.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

const char* const kUnit = "AdditionalOptions";
const int64_t kLongestPause = 600;

// The leading run of digits as a number (0 when there is none), capped far above any use.
int64_t LeadingDigits(const QString& text)
{
    int64_t value = 0;
    for (QChar c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min<int64_t>(value * 10 + (c.unicode() - '0'), INT32_MAX);
    }
    return value;
}

}  // namespace

std::string TAdditionalOptionsFrame::GetDefaultAgentName()
{
    const TAppInfo* info = TAppInfo::Instance();
    std::string product = info ? info->ProductName : std::string("Gleanery");
    std::string version = info ? info->FileVersion : std::string();
    return product + "/" + version + " (" + TAppInfo::GetOSName() + ")";
}

TAdditionalOptionsFrame::TAdditionalOptionsFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      agentNameLabel_(new QLabel(this)),
      agentNameHistory_(new QComboBox(this)),
      referrerLabel_(new QLabel(this)),
      referrerAddress_(new QLineEdit(this)),
      pauseBetweenDownloadsLabel_(new QLabel(this)),
      pauseUpDown_(new QSpinBox(this)),
      simultaneousDownloadsLabel_(new QLabel(this)),
      simultaneousDownloadsUpDown_(new QSpinBox(this)),
      honorMetaNoFollowTags_(new QCheckBox(this)),
      saveQueryResults_(new QCheckBox(this)),
      allowAuthentication_(new QCheckBox(this)),
      pruneEmptyFolders_(new QCheckBox(this)),
      addMarkOfTheWeb_(new QCheckBox(this)),
      keepRewrittenInputFiles_(new QCheckBox(this)),
      assumeWWW_(new QCheckBox(this)),
      addShellExtensions_(new QCheckBox(this))
{
    agentNameHistory_->setEditable(true);
    agentNameHistory_->setInsertPolicy(QComboBox::NoInsert);
    agentNameHistory_->setCompleter(nullptr);
    agentNameHistory_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    agentNameHistory_->setEditText(QStr(GetDefaultAgentName()));
    pauseUpDown_->setRange(0, static_cast<int>(kLongestPause));
    pauseUpDown_->setValue(0);
    simultaneousDownloadsUpDown_->setRange(1, 4);
    simultaneousDownloadsUpDown_->setValue(4);
    // Only the arrows change it.
    SimultaneousDownloads()->setReadOnly(true);
    referrerAddress_->installEventFilter(this);

    auto* grid = new QGridLayout;
    grid->addWidget(agentNameLabel_, 0, 0);
    grid->addWidget(agentNameHistory_, 0, 1, 1, 2);
    grid->addWidget(referrerLabel_, 1, 0);
    grid->addWidget(referrerAddress_, 1, 1, 1, 2);
    grid->addWidget(pauseBetweenDownloadsLabel_, 2, 0);
    grid->addWidget(pauseUpDown_, 2, 1);
    grid->addWidget(simultaneousDownloadsLabel_, 3, 0);
    grid->addWidget(simultaneousDownloadsUpDown_, 3, 1);
    grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    for (QCheckBox* box : {honorMetaNoFollowTags_, saveQueryResults_, allowAuthentication_, pruneEmptyFolders_,
                           addMarkOfTheWeb_, keepRewrittenInputFiles_, assumeWWW_, addShellExtensions_})
        layout->addWidget(box);
    layout->addStretch(1);
    UpdateLanguageLabels();
}

QLineEdit* TAdditionalOptionsFrame::PauseSeconds() const
{
    return pauseUpDown_->findChild<QLineEdit*>();
}

QLineEdit* TAdditionalOptionsFrame::SimultaneousDownloads() const
{
    return simultaneousDownloadsUpDown_->findChild<QLineEdit*>();
}

bool TAdditionalOptionsFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == referrerAddress_ && event->type() == QEvent::MouseButtonDblClick)
        ReferrerAddressDblClick();
    return TJobOptionPage::eventFilter(watched, event);
}

void TAdditionalOptionsFrame::LoadFromCopyJob()
{
    try {
        std::vector<std::string> agents = ReadHistory(THistoryKind::AgentName);
        MoveToTopOfList(job_.DownloadOptions.HTTPAgentName, agents);
        const std::string defaultAgent = GetDefaultAgentName();
        if (std::find(agents.begin(), agents.end(), defaultAgent) == agents.end())
            agents.push_back(defaultAgent);
        agentNameHistory_->clear();
        for (const std::string& agent : agents)
            agentNameHistory_->addItem(QStr(agent));
        agentNameHistory_->setCurrentIndex(0);

        referrerAddress_->setText(QStr(job_.StartingReferrer));
        pauseUpDown_->setValue(job_.PauseBetweenDownloads);
        // Outside 1 to 4 the job uses all four download threads.
        const int32_t threads = job_.DownloadOptions.MaxSimultaneousDownloads;
        simultaneousDownloadsUpDown_->setValue(threads >= 1 && threads <= 4 ? threads : 4);
        loaded_ = TLoaded{PauseSeconds()->text(), job_.PauseBetweenDownloads, SimultaneousDownloads()->text(), threads};

        honorMetaNoFollowTags_->setChecked(job_.HonorRobotNoFollowTags);
        saveQueryResults_->setChecked(job_.SaveQueryResults);
        allowAuthentication_->setChecked(job_.DownloadOptions.AllowAuthentication);
        pruneEmptyFolders_->setChecked(job_.PruneFolders);
        addMarkOfTheWeb_->setChecked(job_.AddMarkOfWebOnRewrite);
        keepRewrittenInputFiles_->setChecked(job_.KeepRewriteInputFiles);
        assumeWWW_->setChecked(job_.AssumeWWWWhenNoThirdLevelDomain);
        addShellExtensions_->setChecked(job_.DownloadOptions.AddFileExtensions);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadFromCopyJob", kUnit);
    }
}

void TAdditionalOptionsFrame::SaveToCopyJob()
{
    job_.DownloadOptions.HTTPAgentName = StdStr(agentNameHistory_->currentText());
    job_.StartingReferrer = StdStr(referrerAddress_->text());

    // Numbers left as the last load showed them keep the job's own values, also those the
    // controls cannot show.
    if (loaded_ && PauseSeconds()->text() == loaded_->pause) {
        job_.PauseBetweenDownloads = loaded_->pauseSeconds;
    } else {
        std::optional<int32_t> pause = ReadIntegerText(PauseSeconds()->text());
        int64_t seconds = std::min<int64_t>(pause.value_or(0), kLongestPause);
        job_.PauseBetweenDownloads = static_cast<int32_t>(std::min<int64_t>(std::llabs(seconds), INT32_MAX));
    }
    if (loaded_ && SimultaneousDownloads()->text() == loaded_->threads)
        job_.DownloadOptions.MaxSimultaneousDownloads = loaded_->threadCount;
    else
        job_.DownloadOptions.MaxSimultaneousDownloads =
            static_cast<int32_t>(std::clamp<int64_t>(LeadingDigits(SimultaneousDownloads()->text()), 1, 4));

    job_.HonorRobotNoFollowTags = honorMetaNoFollowTags_->isChecked();
    job_.SaveQueryResults = saveQueryResults_->isChecked();
    job_.DownloadOptions.AllowAuthentication = allowAuthentication_->isChecked();
    job_.PruneFolders = pruneEmptyFolders_->isChecked();
    job_.AddMarkOfWebOnRewrite = addMarkOfTheWeb_->isChecked();
    job_.KeepRewriteInputFiles = keepRewrittenInputFiles_->isChecked();
    job_.AssumeWWWWhenNoThirdLevelDomain = assumeWWW_->isChecked();
    job_.DownloadOptions.AddFileExtensions = addShellExtensions_->isChecked();
}

void TAdditionalOptionsFrame::ReferrerAddressDblClick()
{
    std::string referrer(TrimSpaceAndTab(StdStr(referrerAddress_->text())));
    if (referrer.empty())
        referrer = job_.StartingWebAddress.GetURLWithoutUserInfo();
    referrerAddress_->setText(QStr(referrer));
}

void TAdditionalOptionsFrame::AddAgentNameToHistory()
{
    AddToHistory(THistoryKind::AgentName, StdStr(agentNameHistory_->currentText()));
}

void TAdditionalOptionsFrame::ClearAgentNameHistory()
{
    agentNameHistory_->clear();
    agentNameHistory_->setEditText(QString());
    EraseHistory(THistoryKind::AgentName);
}

void TAdditionalOptionsFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    agentNameLabel_->setText(QUIString(114));
    referrerLabel_->setText(QUIString(115));
    pauseBetweenDownloadsLabel_->setText(QUIString(116));
    simultaneousDownloadsLabel_->setText(QUIString(117));
    honorMetaNoFollowTags_->setText(QUIString(118));
    saveQueryResults_->setText(QUIString(121));
    allowAuthentication_->setText(QUIString(123));
    pruneEmptyFolders_->setText(QUIString(124));
    addMarkOfTheWeb_->setText(QUIString(125));
    keepRewrittenInputFiles_->setText(QUIString(126));
    assumeWWW_->setText(QUIString(127));
    addShellExtensions_->setText(QUIString(128));
}
