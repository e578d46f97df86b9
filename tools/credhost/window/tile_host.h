// The window host's side of the provider, living on the provider's thread (ProviderApartment):
// it loads the provider, keeps every tile connected (GetCredentialAt and Advise, as the
// sign-in screen lists them), selects one, passes on what the window's controls change, and
// submits. What the provider says goes back to the window as posted messages.
#pragma once

#include "provider_apartment.h"
#include "provider_session.h"
#include "provider_target.h"
#include "window_event_forwarder.h"
#include "window_messages.h"
#include "wiping_allocator.h"

#include <memory>
#include <string>
#include <vector>

class TileHost {
public:
    TileHost(HWND window, ProviderApartment& apartment, ProviderTarget target,
             CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, NTSTATUS reportStatus);

    // Each runs on the provider's thread, posted there by the window.
    void Load();
    void Refresh();  // after CredentialsChanged: the tiles are read again
    void Select(DWORD tile);
    void SetString(DWORD tile, DWORD field, const SecretWide& text);
    void SetCheckbox(DWORD tile, DWORD field, BOOL checked);
    void SetComboBoxItem(DWORD tile, DWORD field, DWORD item);
    void ClickCommandLink(DWORD tile, DWORD field);
    void Submit(DWORD tile, const std::wstring& userName);
    // Deselects and unadvises the tiles, releases the provider and unloads its DLL.
    void Release();

    // Whether DllCanUnloadNow still said S_FALSE after Release (a leaked reference).
    bool LeakedObjects() const noexcept { return m_leaked; }

private:
    ICredentialProviderCredential* TileAt(DWORD tile) const noexcept;
    void PostTiles();
    void OpenTiles(TilesSnapshot& snapshot);
    void PostFailure(HRESULT hr, const char* step);

    HWND m_window;
    ProviderApartment& m_apartment;
    ProviderTarget m_target;
    CREDENTIAL_PROVIDER_USAGE_SCENARIO m_scenario;
    DWORD m_flags;  // SetUsageScenario's, which also decide how a credential is decoded
    NTSTATUS m_reportStatus;
    WindowEventForwarder m_forwarder;
    ProviderModule m_module;
    std::unique_ptr<ProviderSession> m_session;
    std::vector<std::unique_ptr<TileConnection>> m_tiles;
    DWORD m_selected = 0;
    bool m_leaked = false;
};
