#pragma once
// What the event log asks of the desktop: its start-up box, the warning beep and, at exit, the
// log's folder in the file manager.
#include "engine/services/AppTraceLog.h"

#include <functional>

class QObject;
class QUrl;

// The desktop services behind the hooks; an empty one is the desktop's own
// (QApplication::beep, QDesktopServices::openUrl).
struct TDesktopTraceServices {
    std::function<void()> beep;
    std::function<bool(const QUrl& url)> openUrl;
};

// The beep is posted to uiThreadObject's thread, so any thread may log an exception; that
// object must outlive the log. The folder is handed to the file manager without waiting for it.
TApplicationTraceLog::Hooks DesktopTraceLogHooks(QObject* uiThreadObject, TDesktopTraceServices services = {});
