#include "host_event_sinks.h"

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
