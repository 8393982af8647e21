#pragma once
// The Languages preference page: the loaded translation files; choosing one relabels the
// program at once.
#include <QFrame>

#include <string>

class TPreferencesHost;
class QTreeWidget;

// The system language as translation files name it, e.g. "English (United States)".
std::string GetSystemLanguageName();

class TPreferencesLanguagesFrame : public QFrame {
    Q_OBJECT
public:
    enum TColumn : int { lcFileName = 0, lcLanguage = 1, lcAuthor = 2 };

    explicit TPreferencesLanguagesFrame(QWidget* parent = nullptr, TPreferencesHost* host = nullptr);

    void FillLanguagesList();
    // Selects the stored language (the system's when none is stored), which applies it.
    void LoadLanguagePreferences();
    void SaveLanguagePreferences();
    void UpdateLanguageLabels();

    QTreeWidget* LanguagesListView() const { return languagesListView_; }

private:
    void LanguagesListViewChange();

    TPreferencesHost* host_;
    QTreeWidget* languagesListView_;
};
