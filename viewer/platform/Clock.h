// Monotonic time source for frame pacing and the frame-rate display.
#pragma once

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since an arbitrary fixed start; never goes backwards.
    virtual double NowSeconds() = 0;
};

// The steady system clock.
class SteadyClock : public Clock {
public:
    SteadyClock();
    double NowSeconds() override;

private:
    long long m_startNanoseconds;
};
