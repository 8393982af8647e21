#pragma once
// The starting-address page of the job editor, and the folder helpers the queue shares.
#include <string>

class QWidget;

// The user's documents folder (not created), or empty when there is none.
std::string GetMyDocumentsFolder();

// True when folder exists, or when the user agreed to create it and it was created.
// An empty folder gives False without a question.
bool TryToEnsureFolderExists(QWidget* owner, const std::string& folder);
