#include "ui/intake/SingleGleaneryInstance.h"

#include "engine/services/SavedOptions.h"
#include "ui/main/Main.h"

bool TSingleGleaneryInstance::CanStartApp(const QStringList& params)
{
    TSavedOptions* options = TSavedOptions::Instance();
    if (!options || options->GetAllowMultipleInstances())
        return true;
    return TSingleInst::CanStartApp(params);
}

void TSingleGleaneryInstance::EnsureRestore()
{
    if (TMainForm* main = TMainForm::Instance())
        main->BringMainToFront(true);
    else
        TSingleInst::EnsureRestore();
}
