#pragma once
// The Preferences page of the main window: a tree of page names and the page of the selected
// name. Every page stores each change at once; there is no OK or Apply.
#include <QFrame>

#include <array>

class QTreeWidget;
class TPasswordsFrame;
class TPreferencesAutomationFrame;
class TPreferencesGeneralFrame;
class TPreferencesHost;
class TPreferencesHistoryFrame;
class TPreferencesLanguagesFrame;
class TPreferencesProxyFrame;
class TPreferencesSlideshowFrame;
class TPreferencesSoundsFrame;
class TPreferencesSpeechFrame;
class TSpiderOutputSplitterForm;
struct TProxyServerInfo;

// Page indexes: a top-level tree node's position is its page's index.
enum TPreferencesPage : int {
    ppGeneral = 0,
    ppHTTPProxy = 1,
    ppFTPProxy = 2,
    ppAutomation = 3,
    ppPasswords = 4,
    ppSounds = 5,
    ppSpeech = 6,
    ppHistory = 7,
    ppSlideshow = 8,
    ppLanguages = 9,
    ppCount = 10,
};

class TPreferencesFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPreferencesFrame(QWidget* parent = nullptr, TPreferencesHost* host = nullptr);

    // The Languages node only when more than one language is loaded.
    void BuildPreferencesTree();
    // Shows the page of index and hides the others; an index outside the pages hides them all.
    void ShowPreferencesPage(int index);
    void LoadAllPreferences();
    // Once, after every window exists: loads the pages, then the Sounds and Speech pages
    // listen to the engine's output.
    void Initialize(TSpiderOutputSplitterForm* splitter);
    void ShowPasswordsPage();
    void UpdateLanguageLabels();
    // The proxies for a job start, each checked by its page first.
    void GetProxySettings(TProxyServerInfo& http, TProxyServerInfo& ftp);

    QTreeWidget* PreferencesTree() const { return preferencesTree_; }
    QWidget* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    TPreferencesGeneralFrame* General() const { return general_; }
    TPreferencesProxyFrame* HTTPProxy() const { return httpProxy_; }
    TPreferencesProxyFrame* FTPProxy() const { return ftpProxy_; }
    TPreferencesAutomationFrame* Automation() const { return automation_; }
    TPasswordsFrame* Passwords() const { return passwords_; }
    TPreferencesHistoryFrame* History() const { return history_; }
    TPreferencesLanguagesFrame* Languages() const { return languages_; }
    TPreferencesSoundsFrame* Sounds() const { return sounds_; }
    TPreferencesSpeechFrame* Speech() const { return speech_; }
    TPreferencesSlideshowFrame* Slideshow() const { return slideshow_; }

private:
    void PreferencesTreeChange();

    QTreeWidget* preferencesTree_;
    TPreferencesGeneralFrame* general_;
    TPreferencesProxyFrame* httpProxy_;
    TPreferencesProxyFrame* ftpProxy_;
    TPreferencesAutomationFrame* automation_;
    TPasswordsFrame* passwords_;
    TPreferencesSoundsFrame* sounds_;
    TPreferencesSpeechFrame* speech_;
    TPreferencesHistoryFrame* history_;
    TPreferencesSlideshowFrame* slideshow_;
    TPreferencesLanguagesFrame* languages_;
    std::array<QWidget*, ppCount> pages_{};
};
