// The window that plays the sign-in screen: the tiles on the left, the selected tile's fields
// as controls on the right, and under them the status text and icon, a wait indicator and the
// report of the last submission. It runs on the UI thread and never calls the provider: every
// change goes to the provider's thread (TileHost, through ProviderApartment) and every answer
// comes back as a posted message (window_messages.h). This is the window procedure: it hands
// each message to what it concerns, the view (tile_view.h), the person's actions
// (tile_actions.h) or the --screenshot run (window_script.h).
#pragma once

#include "reread_schedule.h"
#include "tile_actions.h"
#include "tile_host.h"
#include "tile_view.h"
#include "window_script.h"

#include <optional>
#include <string>
#include <vector>

class TileWindow {
public:
    TileWindow(ProviderApartment& apartment, const WindowScript* script) noexcept : m_actions(m_view, apartment) {
        if (script != nullptr) {
            m_script.emplace(*script, m_view, m_actions);
        }
    }
    TileWindow(const TileWindow&) = delete;
    TileWindow& operator=(const TileWindow&) = delete;

    HWND Create(const std::wstring& title);
    // The host must exist before the provider's thread posts anything; it needs the window.
    void Attach(TileHost* host) noexcept { m_actions.Attach(host); }
    HWND Handle() const noexcept { return m_window; }
    // signin's exit codes for the last outcome (0 when nothing was submitted); 3 once the
    // provider's events broke a cap, whatever came after.
    int ExitCode() const noexcept { return m_eventFailures.empty() ? m_exitCode : 3; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnTilesRead(std::unique_ptr<TilesSnapshot> snapshot);
    void OnFieldEvent(std::unique_ptr<PostedFieldEvent> event);
    void ApplyFieldEvent(std::unique_ptr<PostedFieldEvent> event);
    void OnCredentialsChanged(std::unique_ptr<PostedCredentialsChanged> event);
    void Reread(RereadSchedule::Next next);
    // Shows a provider failure of its events, the first time only for each step.
    void ReportEventFailure(const char* step);
    void OnSubmitted(std::unique_ptr<SignInReport> report);
    void OnCaptureTimer(UINT_PTR timer);
    void OnDestroy();

    HWND m_window = nullptr;
    TileView m_view;
    TileActions m_actions;
    std::optional<WindowScriptRun> m_script;  // only for --screenshot
    RereadSchedule m_rereads;
    std::vector<const char*> m_eventFailures;  // the steps reported, string literals
    // Between BeginFieldUpdates and EndFieldUpdates (nested: the depth) the tile's updates are
    // held, and applied together at the end. Each held event still counts as waiting for the
    // window, so a batch that never ends meets the forwarder's cap.
    int m_batchDepth = 0;
    std::vector<std::unique_ptr<PostedFieldEvent>> m_batch;
    int m_exitCode = 0;
};
