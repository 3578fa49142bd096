// A clock for tests: stands still until the test moves it.
#pragma once

#include "viewer/platform/Clock.h"

class ManualClock : public Clock {
public:
    double NowSeconds() override { return now; }
    void Advance(double seconds) { now += seconds; }

    double now = 100.0;
};
