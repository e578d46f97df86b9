// The event sinks that a sign-in host hands to a provider (Advise) and to a tile (Advise):
// they accept every call, as the sign-in screen would, and count the calls so the host can say
// what the provider asked for. Heap objects with real reference counts: a provider may keep
// its reference until UnAdvise.
#pragma once

#include <credentialprovider.h>

class CredentialEventsSink final : public ICredentialProviderCredentialEvents {
public:
    static CredentialEventsSink* Create() noexcept;  // reference count 1, or null

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;

    // ICredentialProviderCredentialEvents: the tile changes what the host shows.
    IFACEMETHODIMP SetFieldState(ICredentialProviderCredential*, DWORD, CREDENTIAL_PROVIDER_FIELD_STATE) override;
    IFACEMETHODIMP SetFieldInteractiveState(ICredentialProviderCredential*, DWORD,
                                            CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE) override;
    IFACEMETHODIMP SetFieldString(ICredentialProviderCredential*, DWORD, LPCWSTR) override;
    IFACEMETHODIMP SetFieldCheckbox(ICredentialProviderCredential*, DWORD, BOOL, LPCWSTR) override;
    IFACEMETHODIMP SetFieldBitmap(ICredentialProviderCredential*, DWORD, HBITMAP) override;
    IFACEMETHODIMP SetFieldComboBoxSelectedItem(ICredentialProviderCredential*, DWORD, DWORD) override;
    IFACEMETHODIMP DeleteFieldComboBoxItem(ICredentialProviderCredential*, DWORD, DWORD) override;
    IFACEMETHODIMP AppendFieldComboBoxItem(ICredentialProviderCredential*, DWORD, LPCWSTR) override;
    IFACEMETHODIMP SetFieldSubmitButton(ICredentialProviderCredential*, DWORD, DWORD) override;
    IFACEMETHODIMP OnCreatingWindow(HWND* phwndOwner) override;

    LONG CallCount() const noexcept { return m_calls; }

private:
    CredentialEventsSink() noexcept = default;
    HRESULT Count() noexcept;

    LONG m_references = 1;
    LONG m_calls = 0;
};

class ProviderEventsSink final : public ICredentialProviderEvents {
public:
    static ProviderEventsSink* Create() noexcept;  // reference count 1, or null

    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;

    // ICredentialProviderEvents: the provider asks the host to enumerate its tiles again.
    IFACEMETHODIMP CredentialsChanged(UINT_PTR upAdviseContext) override;

    LONG CallCount() const noexcept { return m_calls; }

private:
    ProviderEventsSink() noexcept = default;

    LONG m_references = 1;
    LONG m_calls = 0;
};
