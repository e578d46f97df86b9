// The window that plays the sign-in screen: the tiles on the left, the selected tile's fields
// as controls on the right, and under them the status text and icon, a wait indicator and the
// report of the last submission. It runs on the UI thread and never calls the provider: every
// change goes to the provider's thread (TileHost, through ProviderApartment) and every answer
// comes back as a posted message (window_messages.h).
#pragma once

#include "field_controls.h"
#include "tile_host.h"
#include "window_fonts.h"
#include "wiping_allocator.h"

#include <string>
#include <vector>

// The --screenshot run: type, optionally submit, wait for the outcome, save the picture, exit.
struct WindowScript {
    std::wstring path;
    bool hasUserName = false;
    std::wstring userName;
    const SecretWide* password = nullptr;
    bool submit = false;
};

class TileWindow {
public:
    TileWindow(ProviderApartment& apartment, const WindowScript* script) noexcept
        : m_apartment(apartment), m_script(script) {}
    TileWindow(const TileWindow&) = delete;
    TileWindow& operator=(const TileWindow&) = delete;

    HWND Create(const std::wstring& title);
    // The host must exist before the provider's thread posts anything; it needs the window.
    void Attach(TileHost* host) noexcept { m_host = host; }
    HWND Handle() const noexcept { return m_window; }
    // signin's exit codes for the last outcome (0 when nothing was submitted).
    int ExitCode() const noexcept { return m_exitCode; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnTilesRead(std::unique_ptr<TilesSnapshot> snapshot);
    void OnFieldEvent(std::unique_ptr<PostedFieldEvent> event);
    void OnSubmitted(std::unique_ptr<SignInReport> report);
    // tile_window_actions.cpp: a person's actions and the submission's answer.
    void OnCommand(int id, int code);
    void OnFieldCommand(size_t index, int code);
    void SelectTile(DWORD tile);
    void Submit();
    void SetBusy(bool busy);
    LRESULT OnDrawItem(const DRAWITEMSTRUCT& item);
    LRESULT OnColorStatic(HDC dc, HWND control);
    void OnDestroy();

    void ShowTile(DWORD tile);
    void DestroyFieldWindows();
    void Layout();
    void ShowStatus(const std::wstring& text, CREDENTIAL_PROVIDER_STATUS_ICON icon);
    void ShowOutcome(const std::string& text);
    std::vector<FieldValue>* SelectedFields() noexcept;

    // window_script.cpp: the --screenshot run.
    void RunScript();
    void ScheduleCapture();
    void Capture();

    ProviderApartment& m_apartment;
    const WindowScript* m_script;
    TileHost* m_host = nullptr;
    WindowFonts m_fonts;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
    HWND m_statusIcon = nullptr;
    HWND m_statusText = nullptr;
    HWND m_wait = nullptr;
    HWND m_outcome = nullptr;

    std::vector<TileSnapshot> m_tiles;
    DWORD m_selected = 0;
    std::vector<FieldWindows> m_controls;  // the selected tile's, by field index
    bool m_busy = false;
    bool m_settingText = false;  // EN_CHANGE from the window's own SetWindowText is not typing
    bool m_scriptStarted = false;
    int m_exitCode = 0;
};
