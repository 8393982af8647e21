#include "ui/main/TraceLogHooks.h"

#include "ui/common/MessageBoxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMetaObject>
#include <QUrl>

TApplicationTraceLog::Hooks DesktopTraceLogHooks(QObject* uiThreadObject, TDesktopTraceServices services)
{
    if (!services.beep)
        services.beep = [] { QApplication::beep(); };
    if (!services.openUrl)
        services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    TApplicationTraceLog::Hooks hooks;
    hooks.showStartupBox = [](const std::string& text, bool success) {
        ShowMessageBox(nullptr, QString::fromStdString(text), "Gleanery",
                       success ? TBoxIcon::Information : TBoxIcon::Warning);
    };
    hooks.beep = [uiThreadObject, beep = std::move(services.beep)] {
        QMetaObject::invokeMethod(uiThreadObject, beep, Qt::QueuedConnection);
    };
    hooks.exploreFolder = [openUrl = std::move(services.openUrl)](const std::string& folder) {
        return openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    };
    return hooks;
}
