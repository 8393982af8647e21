#pragma once
// Opens a document, folder or address with the desktop's handler for it.
#include <functional>
#include <string>

class QString;
class QUrl;
class QWidget;

// A window that can show a web page or local file itself (on its Browse page).
class TPageViewer {
public:
    // False when the page cannot be shown now.
    virtual bool ShowInBrowsePage(const QUrl& address) = 0;

protected:
    ~TPageViewer() = default;
};

// verb "open", "explore" or empty (the default action): all open the item with its handler.
// A page or local file the desktop cannot open is shown by owner's window instead when that
// window is a TPageViewer. On failure:
// logged, a warning box on owner that says in plain words what could not be opened, False.
bool TryShellExecute(QWidget* owner, const std::string& file, const std::string& verb);

// The desktop's opener runs in the background; when it reports a failure within seconds, a
// warning box tells what could not be opened and where the file is.

// The program that opens items ("xdg-open"); for tests. Returns the previous one.
QString SetDesktopOpenerProgram(const QString& program);

// Replaces the desktop's opener (nullptr restores it); for tests. Returns the previous one.
using TShellOpener = std::function<bool(const QUrl&)>;
TShellOpener SetShellOpener(TShellOpener opener);
