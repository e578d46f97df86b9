// The listener behind the host's event sinks when the host is a window: on the provider's
// thread it copies each tile event (text, bitmap) and posts it to the window, and turns
// CredentialsChanged into a re-read of the tiles, queued behind the call that raised it.
#pragma once

#include "host_event_sinks.h"

#include <functional>
#include <vector>

class WindowEventForwarder final : public HostEventListener {
public:
    WindowEventForwarder(HWND window, std::function<void()> onCredentialsChanged)
        : m_window(window), m_onCredentialsChanged(std::move(onCredentialsChanged)) {}

    // The tiles in the order of GetCredentialAt, to tell which tile raised an event.
    void SetTiles(std::vector<ICredentialProviderCredential*> tiles) { m_tiles = std::move(tiles); }

    void OnFieldEvent(const FieldEvent& event) noexcept override;
    void OnCredentialsChanged() noexcept override;
    HWND OwnerWindow() noexcept override { return m_window; }

private:
    HWND m_window;
    std::function<void()> m_onCredentialsChanged;
    std::vector<ICredentialProviderCredential*> m_tiles;
};
