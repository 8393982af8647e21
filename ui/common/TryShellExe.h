#pragma once
// Opens a document, folder or address with the desktop's handler for it.
#include <functional>
#include <string>

class QUrl;
class QWidget;

// verb "open", "explore" or empty (the default action): all open the item with its handler.
// A page or local file the desktop cannot open is shown on the Browse page instead. On failure:
// logged, a warning box on owner that says in plain words what could not be opened, False.
bool TryShellExecute(QWidget* owner, const std::string& file, const std::string& verb);

// Replaces the desktop's opener (nullptr restores it); for tests. Returns the previous one.
using TShellOpener = std::function<bool(const QUrl&)>;
TShellOpener SetShellOpener(TShellOpener opener);
