// The one sign-in tile. It holds what the user typed, serves the fields' values and states,
// keeps the host's event sink, and runs the sign-in submission. The password is zero-filled
// before its block is freed, on every path that drops it.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

#include "base/co_task_memory.h"
#include "base/com_object.h"
#include "base/com_ptr.h"
#include "module_lock_count.h"

// One reference for the creator; no values, no sink. Holds one module count until its final
// Release, so a tile that the host still holds keeps the module loaded. At the final Release the
// sink is let go, the password wiped and freed, the user name freed, and the module count that
// kept the code loaded returned last.
class CQMCredentialTile final : public ComObject<CQMCredentialTile, ICredentialProviderCredential, ModuleCountPolicy> {
public:
    CQMCredentialTile() noexcept;

    // ICredentialProviderCredential
    IFACEMETHODIMP Advise(ICredentialProviderCredentialEvents* pcpce) noexcept override;
    IFACEMETHODIMP UnAdvise() noexcept override;
    IFACEMETHODIMP SetSelected(BOOL* pbAutoLogon) noexcept override;
    IFACEMETHODIMP SetDeselected() noexcept override;
    IFACEMETHODIMP GetFieldState(DWORD dwFieldID, CREDENTIAL_PROVIDER_FIELD_STATE* pcpfs,
                                 CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE* pcpfis) noexcept override;
    IFACEMETHODIMP GetStringValue(DWORD dwFieldID, LPWSTR* ppsz) noexcept override;
    IFACEMETHODIMP GetBitmapValue(DWORD dwFieldID, HBITMAP* phbmp) noexcept override;
    IFACEMETHODIMP GetCheckboxValue(DWORD dwFieldID, BOOL* pbChecked, LPWSTR* ppszLabel) noexcept override;
    IFACEMETHODIMP GetSubmitButtonValue(DWORD dwFieldID, DWORD* pdwAdjacentTo) noexcept override;
    IFACEMETHODIMP GetComboBoxValueCount(DWORD dwFieldID, DWORD* pcItems, DWORD* pdwSelectedItem) noexcept override;
    IFACEMETHODIMP GetComboBoxValueAt(DWORD dwFieldID, DWORD dwItem, LPWSTR* ppszItem) noexcept override;
    IFACEMETHODIMP SetStringValue(DWORD dwFieldID, LPCWSTR psz) noexcept override;
    IFACEMETHODIMP SetCheckboxValue(DWORD dwFieldID, BOOL bChecked) noexcept override;
    IFACEMETHODIMP SetComboBoxSelectedValue(DWORD dwFieldID, DWORD dwSelectedItem) noexcept override;
    IFACEMETHODIMP CommandLinkClicked(DWORD dwFieldID) noexcept override;
    IFACEMETHODIMP GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE* pcpgsr,
                                    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs, LPWSTR* ppszOptionalStatusText,
                                    CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept override;
    IFACEMETHODIMP ReportResult(NTSTATUS ntsStatus, NTSTATUS ntsSubstatus, LPWSTR* ppszOptionalStatusText,
                                CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept override;

    // Not part of the interface: the provider passes on each usage scenario it accepts, with its
    // flags. The last one is in force when the tile is submitted; it decides the logon's form.
    void SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags) noexcept;

private:
    friend ComObject;
    ~CQMCredentialTile() = default;

    CoTaskString m_userName;                               // the typed user name, or null; never an empty string
    WipingCoTaskString m_password;                         // as m_userName; zero-filled before it is freed, every time
    ComPtr<ICredentialProviderCredentialEvents> m_events;  // held, or null; never called
    CREDENTIAL_PROVIDER_USAGE_SCENARIO m_usageScenario = CPUS_INVALID;  // as the provider last accepted it
    DWORD m_usageFlags = 0;                                             // that call's flags
};
