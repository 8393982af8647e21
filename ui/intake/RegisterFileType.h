#pragma once
// The job-file association of the desktop (a MIME type and a desktop entry with the verbs edit
// and queue, both in the user's data folder) and the clean-up of "/uninstall".
#include <QStringList>

#include <string>

// $XDG_DATA_HOME, else ~/.local/share; without a trailing "/".
std::string UserDataHome();

// The association's files under dataHome.
std::string JobFileMimePath(const std::string& dataHome);
std::string JobFileDesktopPath(const std::string& dataHome);

// Writes the MIME type of ".GCJ" and the desktop entry whose default verb is edit (with the
// queue verb when asked) for programPath, then tells the desktop. Failures are ignored; False
// when a file could not be written.
bool RegisterJobFileType(bool withQueueVerb, const std::string& programPath,
                         const std::string& dataHome = UserDataHome(), bool notifyDesktop = true);
// Removes the verbs (our desktop entry, only when it is ours); the MIME type stays.
void UnregisterJobFileType(const std::string& dataHome = UserDataHome(), bool notifyDesktop = true);

// Deletes folder and everything in it; symbolic links are removed, never followed. Stops at the
// first entry that cannot be deleted and gives False.
bool DeleteFolderTree(const std::string& folder);
// Deletes dataFolder only when it is persistent and is the program's folder in the user's data
// folder (dataHome + "/Gleanery/"); never the program folder or the temporary one.
bool DeleteDataFolder(const std::string& dataFolder, bool persistent, const std::string& dataHome = UserDataHome());

// "/runonce" (exactly so): registers with both verbs; True when it was given.
bool HandleRunOnce(const QStringList& params, const std::string& programPath);
// "/uninstall" (exactly so): removes the association and the data folder; True when it was given.
bool HandleUninstall(const QStringList& params);
