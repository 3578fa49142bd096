// Waiting in window tests for what the event loop brings about: a dialog
// shown, a frame drawn. Events are processed while waiting.
#pragma once

#include <QTest>
#include <chrono>
#include <functional>

// True once `condition` holds; false when it still does not after
// `milliseconds` of wall time. The default leaves room for a loaded machine
// and the sanitizer build; a condition that holds returns at once.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        QTest::qWait(10);
    }
    return condition();
}
