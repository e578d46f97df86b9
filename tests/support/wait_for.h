// A bounded wait for what another process or thread brings about: a window's change, a log line,
// a service's state.
#pragma once

#include <windows.h>

#include <functional>

// Polls condition every 50 ms for up to timeoutMs (the condition's own time not counted), and
// once more at the end; whether it held.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 30000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (condition()) {
            return true;
        }
        Sleep(50);
    }
    return condition();
}
