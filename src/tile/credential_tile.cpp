#include "tile/credential_tile.h"

#include "base/co_task_str_dup.h"
#include "tile/field_table.h"

namespace {

// Replaces a stored field value with a copy of text, dropping the old value first (the
// password's owner wipes it). Null or empty text leaves the field absent. A copy that cannot be
// allocated also leaves it absent: the host has no way to act on an error from typing, and a
// missing value is reported when the tile is submitted.
template <typename Owner>
void StoreFieldValue(Owner& member, PCWSTR text) noexcept {
    member.reset();
    if (text == nullptr || text[0] == L'\0') {
        return;
    }
    PWSTR copy = nullptr;
    CoTaskStrDup(text, &copy);
    member.reset(copy);
}

}  // namespace

CQMCredentialTile::CQMCredentialTile() noexcept = default;

void CQMCredentialTile::SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags) noexcept {
    m_usageScenario = scenario;
    m_usageFlags = flags;
}

// The host hands the tile its event sink when it shows the tile. The tile keeps a reference but
// never calls it: its fields never change state at run time. The new sink is taken before the
// old one is let go, so passing the held sink again cannot destroy it in between.
IFACEMETHODIMP CQMCredentialTile::Advise(ICredentialProviderCredentialEvents* pcpce) noexcept {
    m_events = pcpce;
    return S_OK;
}

// The host takes its event sink back before it stops showing the tile.
IFACEMETHODIMP CQMCredentialTile::UnAdvise() noexcept {
    m_events.Reset();
    return S_OK;
}

// The host calls this when the user selects the tile; selection never signs in by itself.
IFACEMETHODIMP CQMCredentialTile::SetSelected(BOOL* pbAutoLogon) noexcept {
    *pbAutoLogon = FALSE;
    return S_OK;
}

// The host calls this when the user moves to another tile: the password goes (wiped), the user
// name stays for when the tile is selected again.
IFACEMETHODIMP CQMCredentialTile::SetDeselected() noexcept {
    m_password.reset();
    return S_OK;
}

// The host asks how to show each field when it lays out the tile.
IFACEMETHODIMP CQMCredentialTile::GetFieldState(DWORD dwFieldID, CREDENTIAL_PROVIDER_FIELD_STATE* pcpfs,
                                                CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE* pcpfis) noexcept {
    if (dwFieldID >= FieldCount) {
        return E_INVALIDARG;
    }
    *pcpfs = FieldStateTable.state[dwFieldID];
    *pcpfis = FieldStateTable.interactive[dwFieldID];
    return S_OK;
}

// The host reads each text field's value when it draws the tile; the caller frees the copy.
IFACEMETHODIMP CQMCredentialTile::GetStringValue(DWORD dwFieldID, LPWSTR* ppsz) noexcept {
    switch (dwFieldID) {
    case FieldUserName: return CoTaskStrDup(m_userName.get(), ppsz);
    case FieldPassword:
        // The stored password is never handed out, not even to the host that typed it.
        return CoTaskStrDup(L"", ppsz);
    case FieldProviderLabel: return CoTaskStrDup(kProviderLabelText, ppsz);
    default: return E_INVALIDARG;
    }
}

// The host asks for the tile image; the tile has none, so the host shows its default.
IFACEMETHODIMP CQMCredentialTile::GetBitmapValue(DWORD, HBITMAP*) noexcept { return E_NOTIMPL; }

// The tile has no check box.
IFACEMETHODIMP CQMCredentialTile::GetCheckboxValue(DWORD, BOOL*, LPWSTR*) noexcept { return E_NOTIMPL; }

// The host asks where to place the submit button: always beside the password box.
IFACEMETHODIMP CQMCredentialTile::GetSubmitButtonValue(DWORD, DWORD* pdwAdjacentTo) noexcept {
    *pdwAdjacentTo = FieldPassword;
    return S_OK;
}

// The tile has no combo box.
IFACEMETHODIMP CQMCredentialTile::GetComboBoxValueCount(DWORD, DWORD*, DWORD*) noexcept { return E_NOTIMPL; }

// The tile has no combo box.
IFACEMETHODIMP CQMCredentialTile::GetComboBoxValueAt(DWORD, DWORD, LPWSTR*) noexcept { return E_NOTIMPL; }

// The host calls this as the user types into the user-name or password box; each call replaces
// the whole value.
IFACEMETHODIMP CQMCredentialTile::SetStringValue(DWORD dwFieldID, LPCWSTR psz) noexcept {
    switch (dwFieldID) {
    case FieldUserName: StoreFieldValue(m_userName, psz); return S_OK;
    case FieldPassword: StoreFieldValue(m_password, psz); return S_OK;
    default: return E_INVALIDARG;
    }
}

// The tile has no check box.
IFACEMETHODIMP CQMCredentialTile::SetCheckboxValue(DWORD, BOOL) noexcept { return E_NOTIMPL; }

// The tile has no combo box.
IFACEMETHODIMP CQMCredentialTile::SetComboBoxSelectedValue(DWORD, DWORD) noexcept { return E_NOTIMPL; }

// The tile has no command link.
IFACEMETHODIMP CQMCredentialTile::CommandLinkClicked(DWORD) noexcept { return E_NOTIMPL; }
