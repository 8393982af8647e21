#include "ui/StartingAddress.h"

#include "engine/AppTraceLog.h"
#include "engine/ThreadSafeFileOps.h"
#include "ui/MessageBoxes.h"
#include "ui/UIStrings.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {
const char* const kUnit = "StartingAddress";
}

std::string GetMyDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

bool TryToEnsureFolderExists(QWidget* owner, const std::string& folder)
{
    if (folder.empty())
        return false;
    if (QFileInfo(QStr(folder)).isDir())
        return true;
    if (!ShowMessageBox(owner, QStr(ReplaceFirst(UIString(74), "XXX", folder)), QUIString(73), TBoxIcon::Question,
                        true))
        return false;
    bool created = false;
    try {
        created = SafeForceDirectories(folder);
    } catch (const std::exception& e) {
        LogEvent(etException, "Cannot create " + folder + " (" + e.what() + ")", "TryToEnsureFolderExists", kUnit);
    }
    if (!created) {
        ShowMessageBox(owner, QUIString(76), QUIString(75), TBoxIcon::Warning);
        return false;
    }
    return true;
}
