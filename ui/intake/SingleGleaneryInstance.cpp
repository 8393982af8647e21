#include "ui/intake/SingleGleaneryInstance.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"
#include "ui/intake/WorkIntake.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

bool TSingleGleaneryInstance::BringsWork(const QStringList& params)
{
    const auto isFile = [](const QString& param) { return QFileInfo(param).isFile(); };
    for (const TCommandLineStep& step : PlanCommandLine(params, isFile))
        if (step.kind == TCommandLineStep::OpenFile || step.kind == TCommandLineStep::StartAddress ||
            step.kind == TCommandLineStep::EditAddress)
            return true;
    return false;
}

bool TSingleGleaneryInstance::CanStartApp(const QStringList& params)
{
    TSavedOptions* options = TSavedOptions::Instance();
    if (options && !options->GetAllowMultipleInstances())
        return TSingleInst::CanStartApp(params);
    if (savedQueueHeld_ || !BringsWork(params))
        return true;
    // The holder listens once its window exists: a holder still starting is waited for.
    const QDeadlineTimer deadline(kHolderWaitMs);
    for (;;) {
        QLocalSocket socket;
        if (FindPrevInstanceWindow(socket))
            break;
        if (deadline.hasExpired()) {
            LogEvent(etWarning, "The instance holding the saved queue does not answer: the work stays here",
                     "CanStartApp", "SingleGleaneryInstance");
            return true;
        }
        QThread::msleep(100);
    }
    return TSingleInst::CanStartApp(params);
}

void TSingleGleaneryInstance::EnsureRestore()
{
    if (!OnRestore || !OnRestore())
        TSingleInst::EnsureRestore();
}
