#include "ui/preferences/PreferencesLanguages.h"

#include "engine/services/LanguageStrings.h"
#include "ui/preferences/PreferencesHost.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

std::string GetSystemLanguageName()
{
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        return "English (United States)";
    return StdStr(QLocale::languageToString(locale.language()) + " (" +
                  QLocale::territoryToString(locale.territory()) + ")");
}

TPreferencesLanguagesFrame::TPreferencesLanguagesFrame(QWidget* parent, TPreferencesHost* host)
    : QFrame(parent), host_(host), languagesListView_(new QTreeWidget(this))
{
    languagesListView_->setColumnCount(3);
    languagesListView_->setRootIsDecorated(false);
    languagesListView_->setSelectionMode(QAbstractItemView::SingleSelection);
    languagesListView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    languagesListView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(languagesListView_);
    connect(languagesListView_, &QTreeWidget::itemSelectionChanged, this,
            &TPreferencesLanguagesFrame::LanguagesListViewChange);
}

void TPreferencesLanguagesFrame::FillLanguagesList()
{
    languagesListView_->clear();
    const TLocalLanguages* languages = TLocalLanguages::Instance();
    if (!languages)
        return;
    for (int i = 0; i < languages->GetLanguageCount(); ++i) {
        auto* row = new QTreeWidgetItem(languagesListView_);
        row->setText(lcFileName, QStr(languages->GetString(1, i)));
        row->setText(lcLanguage, QStr(languages->GetString(4, i)));
        row->setText(lcAuthor, QStr(languages->GetString(9, i)));
    }
}

void TPreferencesLanguagesFrame::LoadLanguagePreferences()
{
    std::string name = ReadSettingString("Languages", "Selected", "");
    if (name.empty())
        name = GetSystemLanguageName();
    QTreeWidgetItem* match = nullptr;
    for (int i = 0; i < languagesListView_->topLevelItemCount(); ++i)
        if (languagesListView_->topLevelItem(i)->text(lcLanguage) == QStr(name))
            match = languagesListView_->topLevelItem(i);
    if (match)
        languagesListView_->setCurrentItem(match);
}

void TPreferencesLanguagesFrame::LanguagesListViewChange()
{
    const QList<QTreeWidgetItem*> selected = languagesListView_->selectedItems();
    if (selected.isEmpty())
        return;
    if (TLocalLanguages* languages = TLocalLanguages::Instance())
        languages->SetCurrentLanguage(languagesListView_->indexOfTopLevelItem(selected.first()));
    if (host_)
        host_->UpdateLanguageLabels();
    SaveLanguagePreferences();
}

void TPreferencesLanguagesFrame::SaveLanguagePreferences()
{
    const QList<QTreeWidgetItem*> selected = languagesListView_->selectedItems();
    if (!selected.isEmpty())
        WriteSettingString("Languages", "Selected", StdStr(selected.first()->text(lcLanguage)));
}

void TPreferencesLanguagesFrame::UpdateLanguageLabels()
{
    languagesListView_->setHeaderLabels({QUIString(34), QUIString(35), QUIString(36)});
    ApplyLanguageFont(this);
}
