// The program's entry point: services, paths and settings, the single-instance test, the
// windows and their pages, the event loop, and an orderly, bounded shut-down.
#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/services/LanguageStrings.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/PasswordMgr.h"
#include "engine/job/QueueFolder.h"
#include "engine/services/SavedOptions.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/crawl/SpiderThread.h"
#include "platform/Thread.h"
#include "engine/crawl/EngineServices.h"
#include "platform/InternetLibrary.h"
#include "ui/main/Application.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/common/MessageBoxes.h"
#include "ui/intake/SingleGleaneryInstance.h"
#include "ui/main/SpiderIOMsgView.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/Speech.h"
#include "ui/main/TraceLogHooks.h"
#include "ui/main/WebEngineSandbox.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// How long the program waits at exit for the crawl thread after the queue page has cancelled
// the job and waited its own 3000 ms.
constexpr int64_t kFinalWaitMs = 5000;

std::vector<std::string> ArgumentsAfterProgram(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

// The line the I/O message view shows for a command: a start names its job, or its address
// without user name and password.
void LogInputMessage(TSpiderIOMessagesView* view, const TSpiderInputMsg& msg)
{
    const std::string& name = msg.FJob.JobName;
    view->LogInputLine(msg.FMsgType, msg.FJobID, msg.FDownloadNumber,
                       name.empty() ? msg.FJob.StartingWebAddress.GetURLWithoutUserInfo() : name);
}

// SIGTERM and SIGHUP (the session ends, the terminal closes) close the main window, so the
// queue is shut down and saved as for any close.
int g_signalPipe[2] = {-1, -1};

void OnTerminateSignal(int)
{
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void CloseOnTerminateSignals(TMainForm* form, QObject* owner)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        form->close();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    LimitMemoryArenas();
    // Before anything can start the web engine: for root it would end the program.
    const std::string sandboxNote = TurnOffWebEngineSandboxForRoot(::geteuid());
    // The report window's web view shares GL contexts; this must precede the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TGleaneryApplication app(argc, argv);
    std::vector<std::string> args = ArgumentsAfterProgram(argc, argv);

    // Services, in this order; destroyed in the reverse order when main() returns.
    TLocalLanguages languages;
    TAppInfo appInfo;
    TSavedOptions savedOptions;
    bool ctrlShift = (QGuiApplication::queryKeyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) ==
                     (Qt::ControlModifier | Qt::ShiftModifier);
    // At exit the log closes its file and shows the folder; the application object outlives it.
    TApplicationTraceLog traceLog(args, ctrlShift, GetDataFolder(), DesktopTraceLogHooks(&app));
    if (!GetDataFolderNote().empty())
        LogEvent(etWarning, GetDataFolderNote(), "main", "Gleanery");
    if (!sandboxNote.empty())
        LogEvent(etMessage, sandboxNote, "main", "Gleanery");
    TSpiderInputMessageQueue inputQueue;
    TSpiderOutputMessageQueue outputQueue;
    TPasswordManager passwordManager;
    TEngineServices engine;

    InitPathsAndOptions();
    // The first instance holds the saved queue for its whole run; later ones hand their work
    // to it, or run with a queue that is not saved.
    TQueueHold queueHold(GetDataFolder() + "Queue");
    // A second start hands its command line to the running instance and ends.
    TSingleGleaneryInstance singleInstance;
    singleInstance.SetSavedQueueHeld(queueHold.Held());
    QStringList params = QCoreApplication::arguments();
    if (!params.isEmpty())
        params.removeFirst();
    // "/runonce" and "/uninstall" are this start's own work, also while another instance runs.
    const bool ownWork = params.contains("/runonce") || params.contains("/uninstall");
    if (!ownWork && !singleInstance.CanStartApp(params)) {
        if (!singleInstance.HandOffTimedOut())
            return 0;
        ShowMessageBox(nullptr,
                       QStringLiteral("Gleanery is already running but did not answer within %1 seconds.")
                           .arg(TSingleInst::kHandOffWaitMs / 1000),
                       "Gleanery", TBoxIcon::Warning);
        return 1;
    }

    // The voice exists before any window and outlives them: the Speech page speaks at exit.
    TSpeechVoice speechVoice;

    TSpiderThread crawler;  // created suspended
    outputQueue.SetTerminatingCheck([&crawler] { return crawler.Terminated(); });

    std::unique_ptr<TMainForm> mainForm;
    std::unique_ptr<TSpiderIOMessagesView> ioView;
    std::unique_ptr<TSpiderOutputSplitterForm> splitter;
    try {
        mainForm = std::make_unique<TMainForm>(QCoreApplication::arguments());
        ioView = std::make_unique<TSpiderIOMessagesView>();
        inputQueue.SetInputLogHook([view = ioView.get()](const TSpiderInputMsg& msg) { LogInputMessage(view, msg); });
        splitter = std::make_unique<TSpiderOutputSplitterForm>();
        mainForm->JobQueue()->SetCrawlThreadControl([&crawler] { crawler.Terminate(); },
                                                    [&crawler] { return crawler.Finished(); });
        if (!queueHold.Held()) {
            mainForm->JobQueue()->SetSavedQueueHeldElsewhere();
            mainForm->JobQueue()->SetHandOver(
                [&singleInstance](const QStringList& files) { return singleInstance.HandToListeningInstance(files); });
        }
        singleInstance.OnParam = [form = mainForm.get()](const QString& param) { form->AddCachedParam(param); };
        singleInstance.OnRestore = [form = QPointer<TMainForm>(mainForm.get())] {
            if (!form)
                return false;
            form->BringMainToFront(true);
            return true;
        };
        // Worked off after the answer, so the later start never waits on a box this shows.
        singleInstance.OnAllParamsCached = [form = mainForm.get()] {
            QMetaObject::invokeMethod(form, &TMainForm::OnParamsHandedOver, Qt::QueuedConnection);
        };
        InitAfterFormsCreated(*mainForm, splitter.get());
        // Work handed over goes to the saved queue: only its holder takes it.
        if (!mainForm->Uninstalling() && queueHold.Held())
            singleInstance.Listen();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "Initialization", "Gleanery");
        ShowMessageBox(nullptr, QString::fromStdString(e.what()), "Initialization Error", TBoxIcon::Error);
    }
    // The session is ending: the queue is shut down and saved as for a close.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&mainForm] {
        if (mainForm)
            mainForm->QueryEndSession();
    });
    if (mainForm && !mainForm->Uninstalling()) {
        CloseOnTerminateSignals(mainForm.get(), &app);
        mainForm->SetShowSplash(true);
        mainForm->ShowInStoredState();
    }

    crawler.Resume();
    int result = app.exec();

    // The queue page has cancelled the job and waited for the crawl thread; from here on no
    // report is announced any more.
    if (splitter)
        splitter->Close();
    inputQueue.SetInputLogHook(nullptr);
    crawler.Terminate();
    if (!crawler.WaitFor(kFinalWaitMs)) {
        // A thread stuck in a system call: the queue and the settings are saved, so end here
        // rather than wait for ever.
        LogEvent(etWarning, "Crawl thread did not end", "main", "Gleanery");
        std::fflush(nullptr);
        std::_Exit(result);
    }
    singleInstance.OnParam = nullptr;
    singleInstance.OnAllParamsCached = nullptr;
    mainForm.reset();
    splitter.reset();
    ioView.reset();
    return result;
}
