// The host's side of one usage scenario, in the order the sign-in screen calls a provider:
// SetUsageScenario, Advise, the field descriptors, the tile count; then per tile GetCredentialAt
// and Advise, and for the tile the user picks SetSelected. Every Advise is matched by UnAdvise
// (and SetSelected by SetDeselected) when the objects go out of scope. A tile count above
// kMaxTiles fails Open, for every command, whichever tile it then uses.
#pragma once

#include "base/com_ptr.h"
#include "host_event_sinks.h"
#include "tile_fields.h"

#include <vector>

class ProviderSession {
public:
    explicit ProviderSession(ICredentialProvider* provider) noexcept : m_provider(provider) {}
    ~ProviderSession();
    ProviderSession(const ProviderSession&) = delete;
    ProviderSession& operator=(const ProviderSession&) = delete;

    // SetUsageScenario(scenario, flags) and the rest; listener (optional) sees the provider's
    // CredentialsChanged.
    HRESULT Open(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, HostEventListener* listener = nullptr);
    // Reads the field descriptors and the tile count again, as after CredentialsChanged.
    HRESULT Refresh();

    ICredentialProvider* Provider() const noexcept { return m_provider; }
    DWORD UsageFlags() const noexcept { return m_usageFlags; }  // as given to Open
    const std::vector<TileField>& Fields() const noexcept { return m_fields; }
    DWORD TileCount() const noexcept { return m_tileCount; }
    DWORD DefaultTile() const noexcept { return m_defaultTile; }
    BOOL AutoLogonWithDefault() const noexcept { return m_autoLogon; }
    // The tile a person starts with: the default one when valid, else the first.
    DWORD ChosenTile() const noexcept { return m_defaultTile < m_tileCount ? m_defaultTile : 0; }
    const char* FailedStep() const noexcept { return m_failedStep; }

private:
    ICredentialProvider* m_provider;
    ComPtr<ProviderEventsSink> m_events;
    bool m_advised = false;
    DWORD m_usageFlags = 0;
    std::vector<TileField> m_fields;
    DWORD m_tileCount = 0;
    DWORD m_defaultTile = CREDENTIAL_PROVIDER_NO_DEFAULT;
    BOOL m_autoLogon = FALSE;
    const char* m_failedStep = "";
};

class TileConnection {
public:
    TileConnection() noexcept = default;
    ~TileConnection();
    TileConnection(const TileConnection&) = delete;
    TileConnection& operator=(const TileConnection&) = delete;

    // GetCredentialAt(index), then Advise with the host's sink (forwarding to listener, if any).
    HRESULT Open(ICredentialProvider* provider, DWORD index, HostEventListener* listener = nullptr);
    // SetSelected, as when the user clicks the tile.
    HRESULT Select(BOOL& autoLogon);
    // SetDeselected, as when the user clicks another tile; nothing when not selected.
    HRESULT Deselect();

    ICredentialProviderCredential* Tile() const noexcept { return m_tile.Get(); }
    LONG EventCount() const noexcept { return m_events ? m_events->CallCount() : 0; }
    const char* FailedStep() const noexcept { return m_failedStep; }

private:
    ComPtr<ICredentialProviderCredential> m_tile;
    ComPtr<CredentialEventsSink> m_events;
    bool m_advised = false;
    bool m_selected = false;
    const char* m_failedStep = "";
};
