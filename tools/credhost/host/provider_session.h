// The host's side of one usage scenario, in the order the sign-in screen of Windows 8 and later
// calls a provider: SetUsageScenario, SetUserArray (when the provider answers
// ICredentialProviderSetUserArray), Advise, the field descriptors, the tile count; then per tile
// GetCredentialAt and Advise, and for the tile the user picks SetSelected. Every Advise is
// matched by UnAdvise (and SetSelected by SetDeselected) when the objects go out of scope, and
// the listener is detached from every sink once the session ends. A tile count above kMaxTiles
// fails Open, for every command, whichever tile it then uses. E_NOTIMPL from SetUsageScenario
// is no failure: the provider takes no part in the scenario (TakesNoPart).
#pragma once

#include "base/com_ptr.h"
#include "host_event_sinks.h"
#include "local_user_array.h"
#include "tile_fields.h"

#include <memory>
#include <vector>

class ProviderSession {
public:
    ProviderSession(ICredentialProvider* provider, UserArrayChoice users = {}) noexcept
        : m_provider(provider), m_users(std::move(users)) {}
    ~ProviderSession();
    ProviderSession(const ProviderSession&) = delete;
    ProviderSession& operator=(const ProviderSession&) = delete;

    // SetUsageScenario(scenario, flags) and the rest; listener (optional) sees the provider's
    // events, its tiles' too when they are opened with Link(). E_NOTIMPL when the provider takes
    // no part in the scenario.
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
    // SetUsageScenario answered E_NOTIMPL: the sign-in screen leaves such a provider out.
    bool TakesNoPart() const noexcept { return m_takesNoPart; }
    // SetUserArray's result, E_NOINTERFACE when the provider does not take a user array; and the
    // accounts handed over.
    HRESULT UserArrayResult() const noexcept { return m_userArrayResult; }
    const std::vector<LocalAccount>& UserArray() const noexcept { return m_accounts; }
    // What the tiles' sinks reach the listener through (null without one).
    const std::shared_ptr<ListenerLink>& Link() const noexcept { return m_link; }

private:
    void HandOverUserArray();

    ICredentialProvider* m_provider;
    UserArrayChoice m_users;
    std::vector<LocalAccount> m_accounts;
    HRESULT m_userArrayResult = E_NOINTERFACE;
    bool m_takesNoPart = false;
    std::shared_ptr<ListenerLink> m_link;
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

    // GetCredentialAt(index), then Advise with the host's sink (reaching the session's listener
    // through link, if any).
    HRESULT Open(ICredentialProvider* provider, DWORD index, const std::shared_ptr<ListenerLink>& link = nullptr);
    // SetSelected, as when the user clicks the tile.
    HRESULT Select(BOOL& autoLogon);
    // SetDeselected, as when the user clicks another tile; nothing when not selected.
    HRESULT Deselect();

    ICredentialProviderCredential* Tile() const noexcept { return m_tile.Get(); }
    // ICredentialProviderCredential2::GetUserSid: the tile's own user, E_NOINTERFACE for a tile
    // without one.
    HRESULT ReadUserSid(std::wstring& sid);
    LONG EventCount() const noexcept { return m_events ? m_events->CallCount() : 0; }
    const char* FailedStep() const noexcept { return m_failedStep; }

private:
    ComPtr<ICredentialProviderCredential> m_tile;
    ComPtr<CredentialEventsSink> m_events;
    bool m_advised = false;
    bool m_selected = false;
    const char* m_failedStep = "";
};
