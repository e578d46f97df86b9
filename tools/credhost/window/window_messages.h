// What the provider's side tells the tile window: posted messages whose lParam is a heap
// payload that the window takes over, from the provider's thread or from whichever thread a
// provider raised an event on. Only the window's thread touches the window's controls and
// state, and the window never calls the provider.
#pragma once

#include <windows.h>

#include "host_event_sinks.h"
#include "gdi_object.h"
#include "sign_in_report.h"
#include "tile_fields.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

inline constexpr UINT kMsgTilesRead = WM_APP + 1;           // lParam: TilesSnapshot*
inline constexpr UINT kMsgFieldEvent = WM_APP + 2;          // lParam: PostedFieldEvent*
inline constexpr UINT kMsgSelected = WM_APP + 3;            // wParam: the tile asked for an automatic sign-in
inline constexpr UINT kMsgSubmitted = WM_APP + 4;           // lParam: SignInReport*
inline constexpr UINT kMsgCredentialsChanged = WM_APP + 5;  // lParam: PostedCredentialsChanged*
inline constexpr UINT kMsgEventFlood = WM_APP + 6;          // tile events were dropped (see below)

// Tile events waiting for the window past which the forwarder drops them: the quota of posted
// messages that Windows gives a thread's queue, so a flood the sign-in screen could not take
// either is a provider failure, not memory without end.
inline constexpr LONG kMaxFieldEventsWaiting = 10000;

// One field of a tile as the window shows it. A password field's text is never kept here: it
// lives only in its edit control.
struct FieldValue {
    TileField field;
    OwnedBitmap image;  // tile image fields: what GetBitmapValue or SetFieldBitmap gave
};

struct TileSnapshot {
    const void* identity = nullptr;  // the tile's pointer, only to match its events; never called
    std::vector<FieldValue> fields;
};

struct TilesSnapshot {
    HRESULT result = S_OK;  // a failure: loading or reading the provider failed at failedStep
    std::string failedStep;
    std::string provider;  // DescribeProviderTarget
    DWORD generation = 0;  // which list of the host's tiles this is; the window's requests name it
    bool reread = false;   // the answer to a re-read after CredentialsChanged
    DWORD selected = 0;
    bool autoLogon = false;  // GetCredentialCount or SetSelected asked for an automatic sign-in
    bool takesNoPart = false;  // SetUsageScenario answered E_NOTIMPL: no tiles in this scenario
    std::vector<TileSnapshot> tiles;
};

// An event on its way to the window, counted in one of the forwarder's tallies from its post
// until the window has applied or dropped it.
class WaitingEvent {
public:
    WaitingEvent() noexcept = default;
    ~WaitingEvent() {
        if (m_waiting != nullptr) {
            m_waiting->fetch_sub(1);
        }
    }
    WaitingEvent(const WaitingEvent&) = delete;
    WaitingEvent& operator=(const WaitingEvent&) = delete;

    // Counts this event in waiting, unless cap are waiting already: false then, and not counted.
    bool Join(std::atomic<LONG>& waiting, LONG cap) noexcept {
        if (waiting.fetch_add(1) >= cap) {
            waiting.fetch_sub(1);
            return false;
        }
        m_waiting = &waiting;
        return true;
    }

private:
    std::atomic<LONG>* m_waiting = nullptr;
};

// A copy of one ICredentialProviderCredentialEvents call, for the window's thread. The text may
// be a password set by the provider, so it is wiped with the payload.
struct PostedFieldEvent {
    ~PostedFieldEvent() { SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t)); }

    WaitingEvent waiting;
    FieldEventKind kind = FieldEventKind::State;
    const void* source = nullptr;  // the tile that raised it, compared with TileSnapshot::identity
    DWORD fieldId = 0;
    CREDENTIAL_PROVIDER_FIELD_STATE state = CPFS_HIDDEN;
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactiveState = CPFIS_NONE;
    bool hasText = false;
    std::wstring text;
    BOOL checked = FALSE;
    OwnedBitmap bitmap;
    DWORD item = 0;
    CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options = CPCFO_NONE;
};

// CredentialsChanged, whichever thread raised it; at most one waits for the window at a time.
struct PostedCredentialsChanged {
    WaitingEvent waiting;
};

// Hands payload to window; when the window is gone the payload is destroyed here.
template <typename Payload>
void PostToWindow(HWND window, UINT message, WPARAM wParam, std::unique_ptr<Payload> payload) noexcept {
    if (PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) {
        payload.release();
    }
}
