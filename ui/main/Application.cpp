#include "ui/main/Application.h"

#include "Version.h"

#include "engine/services/AppTraceLog.h"
#include "ui/main/Main.h"

#include <QTimer>

TGleaneryApplication::TGleaneryApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: the platform would append it to every window title. The desktop finds
    // the program's entry, and its icon, by this name.
    setDesktopFileName(QStringLiteral("gleanery"));
}

bool TGleaneryApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ApplicationEvents1Exception", "Main");
    } catch (...) {
        LogEvent(etException, "Unknown exception", "ApplicationEvents1Exception", "Main");
    }
    if (TMainForm* form = TMainForm::Instance())
        QTimer::singleShot(0, form, [form] { form->close(); });
    return false;
}
