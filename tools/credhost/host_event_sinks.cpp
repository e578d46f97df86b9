#include "host_event_sinks.h"

#include <new>

namespace {

template <typename Interface>
HRESULT QueryOneInterface(Interface* self, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(Interface)) {
        *ppv = self;
        self->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

}  // namespace

CredentialEventsSink* CredentialEventsSink::Create() noexcept { return new (std::nothrow) CredentialEventsSink(); }

IFACEMETHODIMP CredentialEventsSink::QueryInterface(REFIID riid, void** ppv) {
    return QueryOneInterface<ICredentialProviderCredentialEvents>(this, riid, ppv);
}

IFACEMETHODIMP_(ULONG) CredentialEventsSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }

IFACEMETHODIMP_(ULONG) CredentialEventsSink::Release() {
    const LONG references = InterlockedDecrement(&m_references);
    if (references == 0) {
        delete this;
    }
    return static_cast<ULONG>(references);
}

HRESULT CredentialEventsSink::Count() noexcept {
    InterlockedIncrement(&m_calls);
    return S_OK;
}

IFACEMETHODIMP CredentialEventsSink::SetFieldState(ICredentialProviderCredential*, DWORD,
                                                   CREDENTIAL_PROVIDER_FIELD_STATE) { return Count(); }
IFACEMETHODIMP CredentialEventsSink::SetFieldInteractiveState(ICredentialProviderCredential*, DWORD,
                                                              CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE) {
    return Count();
}
IFACEMETHODIMP CredentialEventsSink::SetFieldString(ICredentialProviderCredential*, DWORD, LPCWSTR) { return Count(); }
IFACEMETHODIMP CredentialEventsSink::SetFieldCheckbox(ICredentialProviderCredential*, DWORD, BOOL, LPCWSTR) {
    return Count();
}
IFACEMETHODIMP CredentialEventsSink::SetFieldBitmap(ICredentialProviderCredential*, DWORD, HBITMAP) { return Count(); }
IFACEMETHODIMP CredentialEventsSink::SetFieldComboBoxSelectedItem(ICredentialProviderCredential*, DWORD, DWORD) {
    return Count();
}
IFACEMETHODIMP CredentialEventsSink::DeleteFieldComboBoxItem(ICredentialProviderCredential*, DWORD, DWORD) {
    return Count();
}
IFACEMETHODIMP CredentialEventsSink::AppendFieldComboBoxItem(ICredentialProviderCredential*, DWORD, LPCWSTR) {
    return Count();
}
IFACEMETHODIMP CredentialEventsSink::SetFieldSubmitButton(ICredentialProviderCredential*, DWORD, DWORD) {
    return Count();
}

// A console host has no window of its own to parent a provider's dialogs; the console window
// (null when there is none) is the closest thing.
IFACEMETHODIMP CredentialEventsSink::OnCreatingWindow(HWND* phwndOwner) {
    if (phwndOwner == nullptr) {
        return E_POINTER;
    }
    *phwndOwner = GetConsoleWindow();
    return Count();
}

ProviderEventsSink* ProviderEventsSink::Create() noexcept { return new (std::nothrow) ProviderEventsSink(); }

IFACEMETHODIMP ProviderEventsSink::QueryInterface(REFIID riid, void** ppv) {
    return QueryOneInterface<ICredentialProviderEvents>(this, riid, ppv);
}

IFACEMETHODIMP_(ULONG) ProviderEventsSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }

IFACEMETHODIMP_(ULONG) ProviderEventsSink::Release() {
    const LONG references = InterlockedDecrement(&m_references);
    if (references == 0) {
        delete this;
    }
    return static_cast<ULONG>(references);
}

IFACEMETHODIMP ProviderEventsSink::CredentialsChanged(UINT_PTR) {
    InterlockedIncrement(&m_calls);
    return S_OK;
}
