#pragma once
// Opens a document, folder or address with the desktop's handler for it.
#include <string>

class QWidget;

// verb "open", "explore" or empty (the default action): all open the item with its handler.
// On failure: logged, a warning box on owner naming the file, False.
bool TryShellExecute(QWidget* owner, const std::string& file, const std::string& verb);
