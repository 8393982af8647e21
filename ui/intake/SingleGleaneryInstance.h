#pragma once
// The program's own single-instance rules: the running main window takes the parameters, and a
// later start hands off only while [Options] AllowMultipleInstances is off.
#include "ui/intake/USingleInst.h"

class TSingleGleaneryInstance : public TSingleInst {
    Q_OBJECT
public:
    using TSingleInst::TSingleInst;

    std::string WindowClassName() const override { return "Gleanery.Application.4"; }
    uint32_t CopyDataId() const override { return 0; }
    bool CanStartApp(const QStringList& params) override;

protected:
    void EnsureRestore() override;
};
