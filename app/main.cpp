// The program's entry point: services, paths and settings, the single-instance test, the
// windows and their pages, the event loop, and an orderly, bounded shut-down.
#include "engine/AppTraceLog.h"
#include "engine/AppInfo.h"
#include "engine/LanguageStrings.h"
#include "engine/PasswordMgr.h"
#include "engine/SavedOptions.h"
#include "ui/Application.h"
#include "ui/Main.h"
#include "ui/MessageBoxes.h"
#include "ui/UISettings.h"

#include <QGuiApplication>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ArgumentsAfterProgram(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

}  // namespace

int main(int argc, char** argv)
{
    TGleaneryApplication app(argc, argv);
    std::vector<std::string> args = ArgumentsAfterProgram(argc, argv);

    // Services, in this order; destroyed in the reverse order when main() returns.
    TLocalLanguages languages;
    TAppInfo appInfo;
    TSavedOptions savedOptions;
    bool ctrlShift = (QGuiApplication::queryKeyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) ==
                     (Qt::ControlModifier | Qt::ShiftModifier);
    TApplicationTraceLog::Hooks hooks;
    hooks.showStartupBox = [](const std::string& text, bool success) {
        ShowMessageBox(nullptr, QString::fromStdString(text), "Gleanery",
                       success ? TBoxIcon::Information : TBoxIcon::Warning);
    };
    TApplicationTraceLog traceLog(args, ctrlShift, GetDataFolder(), hooks);
    TPasswordManager passwordManager;

    InitPathsAndOptions();

    std::unique_ptr<TMainForm> mainForm;
    try {
        mainForm = std::make_unique<TMainForm>(QCoreApplication::arguments());
        InitAfterFormsCreated(*mainForm);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "Initialization", "Gleanery");
        ShowMessageBox(nullptr, QString::fromStdString(e.what()), "Initialization Error", TBoxIcon::Error);
    }
    if (mainForm)
        mainForm->ShowInStoredState();

    int result = app.exec();
    mainForm.reset();
    return result;
}
