// What the provider's thread tells the tile window: posted messages whose lParam is a heap
// payload that the window takes over. The provider's thread never touches the window's
// controls, and the window never calls the provider.
#pragma once

#include <windows.h>

#include "host_event_sinks.h"
#include "gdi_object.h"
#include "sign_in_report.h"
#include "tile_fields.h"

#include <memory>
#include <string>
#include <vector>

inline constexpr UINT kMsgTilesRead = WM_APP + 1;   // lParam: TilesSnapshot*
inline constexpr UINT kMsgFieldEvent = WM_APP + 2;  // lParam: PostedFieldEvent*
inline constexpr UINT kMsgSelected = WM_APP + 3;    // wParam: the tile asked for an automatic sign-in
inline constexpr UINT kMsgSubmitted = WM_APP + 4;   // lParam: SignInReport*

// One field of a tile as the window shows it. A password field's text is never kept here: it
// lives only in its edit control.
struct FieldValue {
    TileField field;
    OwnedBitmap image;  // tile image fields: what GetBitmapValue or SetFieldBitmap gave
};

struct TileSnapshot {
    std::vector<FieldValue> fields;
};

struct TilesSnapshot {
    HRESULT result = S_OK;  // a failure: loading or reading the provider failed at failedStep
    std::string failedStep;
    std::string provider;  // DescribeProviderTarget
    DWORD selected = 0;
    bool autoLogon = false;  // GetCredentialCount or SetSelected asked for an automatic sign-in
    std::vector<TileSnapshot> tiles;
};

// A copy of one ICredentialProviderCredentialEvents call, for the window's thread. The text may
// be a password set by the provider, so it is wiped with the payload.
struct PostedFieldEvent {
    ~PostedFieldEvent() { SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t)); }

    FieldEventKind kind = FieldEventKind::State;
    DWORD tile = 0;
    DWORD fieldId = 0;
    CREDENTIAL_PROVIDER_FIELD_STATE state = CPFS_HIDDEN;
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactiveState = CPFIS_NONE;
    bool hasText = false;
    std::wstring text;
    BOOL checked = FALSE;
    OwnedBitmap bitmap;
    DWORD item = 0;
};

// Hands payload to window; when the window is gone the payload is destroyed here.
template <typename Payload>
void PostToWindow(HWND window, UINT message, WPARAM wParam, std::unique_ptr<Payload> payload) noexcept {
    if (PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) {
        payload.release();
    }
}
