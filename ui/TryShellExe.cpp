#include "ui/TryShellExe.h"

#include "engine/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "ui/MessageBoxes.h"
#include "ui/UIStrings.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

// An address with a scheme ("http:", "mailto:") opens as an address; anything else is a path.
QUrl ShellTarget(const std::string& file)
{
    QString text = QString::fromStdString(file);
    if (!text.startsWith('/')) {
        QUrl url(text, QUrl::TolerantMode);
        if (url.isValid() && url.scheme().size() > 1)
            return url;
    }
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

}  // namespace

bool TryShellExecute(QWidget* owner, const std::string& file, const std::string& verb)
{
    (void)verb;
    QUrl target = ShellTarget(file);
    if (target.isLocalFile() && !QFileInfo::exists(target.toLocalFile()))
        SetLastErrorCode(errc::FileNotFound);
    else if (QDesktopServices::openUrl(target))
        return true;
    else
        SetLastErrorCode(errc::NotSupported);
    LogAPIError("ShellExecute " + file, "TryShellExecute", "CopyProgress");
    ShowMessageBox(owner, QString::fromStdString(file), QString::fromStdString(GetLastErrorText()), TBoxIcon::Warning);
    return false;
}
