// The window host's side of the provider, living on the provider's thread (ProviderApartment):
// it loads the provider, keeps every tile connected (GetCredentialAt and Advise, as the
// sign-in screen lists them), selects one, passes on what the window's controls change, and
// submits. What the provider says goes back to the window as posted messages. Before each
// provider call it names the call to the apartment, so that a call that never returns can be
// named when the window closes.
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
             CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, NTSTATUS reportStatus, UserArrayChoice users);

    // Each runs on the provider's thread, posted there by the window. A tile is named by its
    // index in the list the window was shown and that list's generation (TilesSnapshot): a
    // request about a list read since then, or an index out of it, is ignored.
    void Load();
    void Refresh();  // after CredentialsChanged: the tiles are read again
    void Select(DWORD generation, DWORD tile);
    void SetString(DWORD generation, DWORD tile, DWORD field, const SecretWide& text);
    void SetCheckbox(DWORD generation, DWORD tile, DWORD field, BOOL checked);
    void SetComboBoxItem(DWORD generation, DWORD tile, DWORD field, DWORD item);
    void ClickCommandLink(DWORD generation, DWORD tile, DWORD field);
    void Submit(DWORD generation, DWORD tile, const std::wstring& userName);
    // Deselects and unadvises the tiles, detaches the window from every sink the provider may
    // keep, releases the provider and unloads its DLL.
    void Release();

    // Whether DllCanUnloadNow still said S_FALSE after Release (a leaked reference).
    bool LeakedObjects() const noexcept { return m_leaked; }

private:
    static constexpr DWORD kNoTile = CREDENTIAL_PROVIDER_NO_DEFAULT;

    ICredentialProviderCredential* TileAt(DWORD generation, DWORD tile) const noexcept;
    void PostTiles(bool reread);
    HRESULT OpenTiles(TilesSnapshot& snapshot);
    // Lets every tile go (SetDeselected, UnAdvise) and starts a new generation with none.
    void ReleaseTiles() noexcept;
    void PostFailure(HRESULT hr, const char* step, bool reread);

    HWND m_window;
    ProviderApartment& m_apartment;
    ProviderTarget m_target;
    CREDENTIAL_PROVIDER_USAGE_SCENARIO m_scenario;
    DWORD m_flags;  // SetUsageScenario's, which also decide how a credential is decoded
    NTSTATUS m_reportStatus;
    UserArrayChoice m_users;
    WindowEventForwarder m_forwarder;
    ProviderModule m_module;
    std::unique_ptr<ProviderSession> m_session;
    std::vector<std::unique_ptr<TileConnection>> m_tiles;
    DWORD m_generation = 0;
    DWORD m_selected = kNoTile;  // an index into m_tiles, or kNoTile
    bool m_leaked = false;
};
