#include "ui/preferences/Preferences.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/DownloadOptionTypes.h"
#include "engine/services/LanguageStrings.h"
#include "ui/preferences/Passwords.h"
#include "ui/preferences/PreferencesAutomation.h"
#include "ui/preferences/PreferencesGeneral.h"
#include "ui/preferences/PreferencesHistory.h"
#include "ui/preferences/PreferencesLanguages.h"
#include "ui/preferences/PreferencesProxy.h"
#include "ui/preferences/PreferencesSlideshow.h"
#include "ui/preferences/PreferencesSounds.h"
#include "ui/preferences/PreferencesSpeech.h"
#include "ui/common/UIStrings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QTreeWidget>

namespace {

const char* const kUnit = "Preferences";
// Node captions by page index.
constexpr int kNodeCaptionIds[ppCount] = {27, 28, 29, 30, 32, 180, 181, 182, 341, 33};

}  // namespace

TPreferencesFrame::TPreferencesFrame(QWidget* parent, TPreferencesHost* host)
    : QFrame(parent),
      preferencesTree_(new QTreeWidget(this)),
      general_(new TPreferencesGeneralFrame(this, host)),
      httpProxy_(new TPreferencesProxyFrame(this)),
      ftpProxy_(new TPreferencesProxyFrame(this)),
      automation_(new TPreferencesAutomationFrame(this, host)),
      passwords_(new TPasswordsFrame(this)),
      sounds_(new TPreferencesSoundsFrame(this)),
      speech_(new TPreferencesSpeechFrame(this)),
      history_(new TPreferencesHistoryFrame(this, host)),
      slideshow_(new TPreferencesSlideshowFrame(this)),
      languages_(new TPreferencesLanguagesFrame(this, host))
{
    pages_ = {general_, httpProxy_, ftpProxy_, automation_, passwords_, sounds_, speech_, history_, slideshow_,
              languages_};
    preferencesTree_->setHeaderHidden(true);
    preferencesTree_->setRootIsDecorated(false);
    preferencesTree_->setIndentation(19);
    preferencesTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preferencesTree_->setSelectionMode(QAbstractItemView::SingleSelection);
    preferencesTree_->setFixedWidth(153);

    // The pages share one place beside the tree; one is visible at a time.
    auto* pageArea = new QGridLayout;
    pageArea->setContentsMargins(0, 0, 0, 0);
    for (QWidget* page : pages_)
        pageArea->addWidget(page, 0, 0);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 8, 4);
    layout->setSpacing(8);
    layout->addWidget(preferencesTree_);
    layout->addLayout(pageArea, 1);

    BuildPreferencesTree();
    ftpProxy_->SetProxyKind(pkFTP);
    httpProxy_->SetProxyKind(pkHTTP);
    ShowPreferencesPage(ppGeneral);
    connect(preferencesTree_, &QTreeWidget::itemSelectionChanged, this, &TPreferencesFrame::PreferencesTreeChange);
}

void TPreferencesFrame::BuildPreferencesTree()
{
    preferencesTree_->clear();
    const TLocalLanguages* languages = TLocalLanguages::Instance();
    const int nodes = languages && languages->GetLanguageCount() > 1 ? ppCount : ppLanguages;
    for (int i = 0; i < nodes; ++i)
        new QTreeWidgetItem(preferencesTree_, {QUIString(kNodeCaptionIds[i])});
}

void TPreferencesFrame::ShowPreferencesPage(int index)
{
    for (int i = 0; i < ppCount; ++i)
        if (i != index)
            pages_[static_cast<size_t>(i)]->setVisible(false);
    if (index >= 0 && index < ppCount)
        pages_[static_cast<size_t>(index)]->setVisible(true);
}

void TPreferencesFrame::PreferencesTreeChange()
{
    const QList<QTreeWidgetItem*> selected = preferencesTree_->selectedItems();
    ShowPreferencesPage(selected.isEmpty() ? -1 : preferencesTree_->indexOfTopLevelItem(selected.first()));
}

void TPreferencesFrame::LoadAllPreferences()
{
    languages_->FillLanguagesList();
    languages_->LoadLanguagePreferences();
    automation_->LoadAutomationPreferences();
    sounds_->LoadSoundPreferences();
    speech_->LoadSpeechPreferences();
    general_->LoadGeneralPreferences();
    httpProxy_->LoadProxyPreferences();
    ftpProxy_->LoadProxyPreferences();
    passwords_->LoadPasswords();
    history_->LoadHistoryPreferences();
    slideshow_->LoadSlideshowPreferences();
}

void TPreferencesFrame::Initialize(TSpiderOutputSplitterForm* splitter)
{
    try {
        LoadAllPreferences();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "Initialize", kUnit);
    }
    sounds_->RegisterForSpiderOutput(splitter);
    speech_->RegisterForSpiderOutput(splitter);
    automation_->UpdateQueueControls();
}

void TPreferencesFrame::ShowPasswordsPage()
{
    if (QTreeWidgetItem* node = preferencesTree_->topLevelItem(ppPasswords)) {
        preferencesTree_->setCurrentItem(node);
        node->setSelected(true);
    }
}

void TPreferencesFrame::UpdateLanguageLabels()
{
    const int nodes = preferencesTree_->topLevelItemCount();
    for (int i = 0; i < nodes && i < ppCount; ++i)
        preferencesTree_->topLevelItem(i)->setText(0, QUIString(kNodeCaptionIds[i]));
    languages_->UpdateLanguageLabels();
    automation_->UpdateLanguageLabels();
    sounds_->UpdateLanguageLabels();
    speech_->UpdateLanguageLabels();
    history_->UpdateLanguageLabels();
    general_->UpdateLanguageLabels();
    slideshow_->UpdateLanguageLabels();
    httpProxy_->UpdateLanguageLabels();
    ftpProxy_->UpdateLanguageLabels();
    passwords_->UpdateLanguageLabels();
    ApplyLanguageFont(this);
}

void TPreferencesFrame::GetProxySettings(TProxyServerInfo& http, TProxyServerInfo& ftp)
{
    http = TProxyServerInfo();
    ftp = TProxyServerInfo();
    httpProxy_->GetProxyServerInfo(http);
    ftpProxy_->GetProxyServerInfo(ftp);
}
