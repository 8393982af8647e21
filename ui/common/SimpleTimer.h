#pragma once
// A millisecond timer without a window of its own: interval 0 never ticks, and a timer can stay
// enabled while its ticks are paused (interval 0 or no handler).
#include <QTimer>

#include <cstdint>
#include <functional>

class TSimpleTimer {
public:
    using TTimerEvent = std::function<void(TSimpleTimer&)>;

    TSimpleTimer();
    TSimpleTimer(int32_t interval, TTimerEvent onTimer);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // False for interval 0; a running timer restarts.
    bool Start();
    // clearEnabled False: the ticks stop but the timer still reads as enabled.
    void Stop(bool clearEnabled = true);

    void SetEnabled(bool on);
    void SetInterval(int32_t ms);
    void SetOnTimer(TTimerEvent onTimer);

    bool Enabled() const { return enabled_; }
    bool Running() const { return timer_.isActive(); }
    int32_t Interval() const { return interval_; }
    bool AutoDisable = false;  // stop after one tick

private:
    void Tick();

    QTimer timer_;
    bool enabled_ = false;
    int32_t interval_ = 1000;
    TTimerEvent onTimer_;
};
