// The --screenshot run of the tile window: it types through the controls (so the tile hears of
// it exactly as from a person's typing), optionally submits, waits for the outcome and saves
// the picture, then closes the window.
#pragma once

#include "tile_actions.h"
#include "tile_view.h"
#include "wiping_allocator.h"

#include <string>

struct WindowScript {
    std::wstring path;
    bool hasUserName = false;
    std::wstring userName;
    const SecretWide* password = nullptr;
    bool submit = false;
};

class WindowScriptRun {
public:
    WindowScriptRun(const WindowScript& script, TileView& view, TileActions& actions) noexcept
        : m_script(script), m_view(view), m_actions(actions) {}
    WindowScriptRun(const WindowScriptRun&) = delete;
    WindowScriptRun& operator=(const WindowScriptRun&) = delete;

    // Once the first tiles are shown: types and submits, or goes straight to the picture.
    // Later calls do nothing.
    void Start();
    // The picture is taken a little later, when the last repaints have landed (WM_TIMER).
    void ScheduleCapture();
    // Saves the picture (saying why not on the console) and closes the window.
    HRESULT Capture();

private:
    const WindowScript& m_script;
    TileView& m_view;
    TileActions& m_actions;
    bool m_started = false;
};
