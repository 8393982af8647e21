#include "ui/common/TryShellExe.h"

#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "ui/common/AppName.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include <utility>

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

QString& OpenerProgram()
{
    static QString program = QStringLiteral("xdg-open");
    return program;
}

// An opener that ends with a failure this soon did not show the item (a browser that refuses
// to start, no handler set up); one that ends later was closed by the user.
constexpr qint64 kOpenerFailureWindowMs = 15000;

void TellNotOpened(QWidget* owner, const QUrl& target, const QString& shown, const QString& why);

// The desktop's opener, watched: started in the background, and a failure it reports soon is told.
bool OpenWithDesktop(QWidget* owner, const QUrl& target, const QString& shown)
{
    if (Opener())
        return Opener()(target);
    const QString program = QStandardPaths::findExecutable(OpenerProgram());
    if (program.isEmpty())
        return QDesktopServices::openUrl(target);
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments({target.isLocalFile() ? target.toLocalFile() : target.toString(QUrl::FullyEncoded)});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer started;
    started.start();
    QObject::connect(process, &QProcess::finished, process,
                     [process, started, owner = QPointer<QWidget>(owner), target, shown](int code,
                                                                                     QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (QCoreApplication::closingDown())
                             return;  // ended with the program
                         if ((code != 0 || status != QProcess::NormalExit) &&
                             !started.hasExpired(kOpenerFailureWindowMs))
                             TellNotOpened(owner, target, shown,
                                           QStringLiteral("the program that opens it did not start, or stopped at "
                                                          "once (%1 ended with code %2).")
                                               .arg(QFileInfo(process->program()).fileName())
                                               .arg(status == QProcess::NormalExit ? code : -1));
                     });
    process->start();
    if (!process->waitForStarted(5000)) {
        process->deleteLater();
        return false;
    }
    return true;
}

// What the Browse page can show: a local file (not a folder) or a web page.
bool BrowsePageCanShow(const QUrl& target)
{
    if (target.isLocalFile())
        return QFileInfo(target.toLocalFile()).isFile();
    const QString scheme = target.scheme().toLower();
    return scheme == "http" || scheme == "https";
}

// The box for an item the desktop did not open: what, why, and where the file is. A page or
// file is shown on the Browse page instead when owner's window can.
void TellNotOpened(QWidget* owner, const QUrl& target, const QString& shown, const QString& why)
{
    LogEvent(etWarning, "Not opened: " + shown.toStdString(), "TryShellExecute", "CopyProgress");
    QString text = "Could not open " + shown + ":\n" + why;
    if (target.isLocalFile())
        text += "\n\nThe file is at:\n" + target.toLocalFile();
    auto* viewer = owner ? dynamic_cast<TPageViewer*>(owner->window()) : nullptr;
    if (BrowsePageCanShow(target) && viewer && viewer->ShowInBrowsePage(target))
        text += "\n\nIt is shown on the Browse page instead.";
    ShowMessageBox(owner, text, QStr(AppProductName()), TBoxIcon::Warning);
}

}  // namespace

TShellOpener SetShellOpener(TShellOpener opener)
{
    return std::exchange(Opener(), std::move(opener));
}

QString SetDesktopOpenerProgram(const QString& program)
{
    return std::exchange(OpenerProgram(), program);
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
    } else if (OpenWithDesktop(owner, target, shown)) {
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
