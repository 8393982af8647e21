#pragma once
// The program's own single-instance rules: the running main window takes the parameters. A
// later start hands off while [Options] AllowMultipleInstances is off, and also while it is on
// when it brings work (addresses, files) and another instance holds the saved queue, so that
// the work lands in the queue that is kept.
#include "ui/intake/USingleInst.h"

#include <functional>

class TSingleGleaneryInstance : public TSingleInst {
    Q_OBJECT
public:
    using TSingleInst::TSingleInst;

    std::string WindowClassName() const override { return "Gleanery.Application.4"; }
    uint32_t CopyDataId() const override { return 0; }
    bool CanStartApp(const QStringList& params) override;
    // Whether this instance holds the saved queue (TQueueHold); True until told otherwise.
    void SetSavedQueueHeld(bool held) { savedQueueHeld_ = held; }
    // Brings the program's window to the front when a later start hands over; False when there
    // is none (then the base class restores whatever window it finds).
    std::function<bool()> OnRestore;
    // Parameters that bring work: addresses and files, not switches alone.
    static bool BringsWork(const QStringList& params);
    // How long a start with work waits for the holder's socket (it may still be starting).
    static constexpr int kHolderWaitMs = 5000;

protected:
    void EnsureRestore() override;

private:
    bool savedQueueHeld_ = true;
};
