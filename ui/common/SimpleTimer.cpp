#include "ui/common/SimpleTimer.h"

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, {}) {}

TSimpleTimer::TSimpleTimer(int32_t interval, TTimerEvent onTimer) : interval_(interval), onTimer_(std::move(onTimer))
{
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

TSimpleTimer::~TSimpleTimer()
{
    Stop();
}

bool TSimpleTimer::Start()
{
    if (interval_ <= 0)
        return false;
    timer_.stop();
    timer_.start(interval_);
    enabled_ = true;
    return true;
}

void TSimpleTimer::Stop(bool clearEnabled)
{
    timer_.stop();
    if (clearEnabled)
        enabled_ = false;
}

void TSimpleTimer::SetEnabled(bool on)
{
    if (on)
        Start();
    else
        Stop();
}

void TSimpleTimer::SetInterval(int32_t ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    if (!enabled_)
        return;
    if (ms > 0)
        Start();
    else
        Stop(false);
}

void TSimpleTimer::SetOnTimer(TTimerEvent onTimer)
{
    onTimer_ = std::move(onTimer);
    if (!enabled_)
        return;
    // A handler set again on a timer that stayed enabled resumes its ticks.
    if (!onTimer_)
        Stop(false);
    else if (!timer_.isActive() && interval_ > 0)
        Start();
}

void TSimpleTimer::Tick()
{
    if (AutoDisable)
        Stop();
    if (onTimer_)
        onTimer_(*this);
}
