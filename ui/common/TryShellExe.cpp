#include "ui/common/TryShellExe.h"

#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "ui/common/AppName.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

namespace {

TShellOpener& Opener()
{
    static TShellOpener opener;
    return opener;
}

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

bool OpenWithDesktop(const QUrl& target)
{
    return Opener() ? Opener()(target) : QDesktopServices::openUrl(target);
}

// What the Browse page can show: a local file (not a folder) or a web page.
bool BrowsePageCanShow(const QUrl& target)
{
    if (target.isLocalFile())
        return QFileInfo(target.toLocalFile()).isFile();
    const QString scheme = target.scheme().toLower();
    return scheme == "http" || scheme == "https";
}

}  // namespace

TShellOpener SetShellOpener(TShellOpener opener)
{
    return std::exchange(Opener(), std::move(opener));
}

bool TryShellExecute(QWidget* owner, const std::string& file, const std::string& verb)
{
    (void)verb;
    const QUrl target = ShellTarget(file);
    const QString shown = target.isLocalFile() ? target.toLocalFile() : QString::fromStdString(file);
    QString text;
    if (target.isLocalFile() && !QFileInfo::exists(target.toLocalFile())) {
        SetLastErrorCode(errc::FileNotFound);
        text = QReplaceFirst(QUIString(360), "XXX", shown);
    } else if (OpenWithDesktop(target)) {
        return true;
    } else {
        // No program of the desktop takes it: pages and files are shown here.
        auto* viewer = owner ? dynamic_cast<TPageViewer*>(owner->window()) : nullptr;
        if (BrowsePageCanShow(target) && viewer && viewer->ShowInBrowsePage(target))
            return true;
        SetLastErrorCode(errc::NotSupported);
        text = "Cannot open " + shown + ":\nno program is set up to open it.";
    }
    LogAPIError("ShellExecute " + file, "TryShellExecute", "CopyProgress");
    ShowMessageBox(owner, text, QStr(AppProductName()), TBoxIcon::Warning);
    return false;
}
