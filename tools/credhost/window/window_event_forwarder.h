// The listener behind the host's event sinks when the host is a window. A provider may raise
// its events on any thread, its own included, so the forwarder touches nothing of the host: it
// copies each event (text, bitmap) and posts it, and the window's thread applies it. The tile
// that raised an event travels as its pointer, matched by the window against the tiles it was
// shown. The forwarder's only state is two tallies of events waiting for the window, which
// bound a flood: one CredentialsChanged at a time (the window coalesces further, and asks for
// the re-read), and kMaxFieldEventsWaiting tile events, past which they are dropped and the
// window is told once.
#pragma once

#include "host_event_sinks.h"

#include <atomic>

class WindowEventForwarder final : public HostEventListener {
public:
    explicit WindowEventForwarder(HWND window) noexcept : m_window(window) {}

    void OnFieldEvent(const FieldEvent& event) noexcept override;
    void OnCredentialsChanged() noexcept override;
    HWND OwnerWindow() noexcept override { return m_window; }

private:
    const HWND m_window;
    std::atomic<LONG> m_fieldEventsWaiting{0};
    std::atomic<LONG> m_changesWaiting{0};
    std::atomic<bool> m_floodReported{false};
};
