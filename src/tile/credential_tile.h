// The one sign-in tile. It holds what the user typed, serves the fields' values and states,
// keeps the host's event sink, and runs the sign-in submission. The password is zero-filled
// before its block is freed, on every path that drops it.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

#include "tile/co_task_string.h"

class CQMCredentialTile final : public ICredentialProviderCredential {
public:
    // One reference for the creator; no values, no sink. Holds one module count until its final
    // Release, so a tile that the host still holds keeps the module loaded.
    CQMCredentialTile() noexcept;

    CQMCredentialTile(const CQMCredentialTile&) = delete;
    CQMCredentialTile& operator=(const CQMCredentialTile&) = delete;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;

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
                                    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs,
                                    LPWSTR* ppszOptionalStatusText,
                                    CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept override;
    IFACEMETHODIMP ReportResult(NTSTATUS ntsStatus, NTSTATUS ntsSubstatus, LPWSTR* ppszOptionalStatusText,
                                CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept override;

private:
    ~CQMCredentialTile();

    volatile LONG m_refCount;
    CoTaskString m_userName;        // the typed user name, or null; never an empty string
    WipingCoTaskString m_password;  // as m_userName; zero-filled before it is freed, every time
    ICredentialProviderCredentialEvents* m_events;  // one reference held, or null; never called
};
