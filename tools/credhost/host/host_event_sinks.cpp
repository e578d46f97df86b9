#include "host_event_sinks.h"

IFACEMETHODIMP CredentialEventsSink::QueryInterface(REFIID riid, void** ppv) noexcept {
    static const QITAB kInterfaces[] = {
        {&__uuidof(ICredentialProviderCredentialEvents2),
         OFFSETOFCLASS(ICredentialProviderCredentialEvents2, CredentialEventsSink)},
        {&__uuidof(ICredentialProviderCredentialEvents),
         OFFSETOFCLASS(ICredentialProviderCredentialEvents, CredentialEventsSink)},
        {nullptr, 0},
    };
    return QISearch(this, kInterfaces, riid, ppv);
}

HRESULT CredentialEventsSink::Forward(const FieldEvent& event) noexcept {
    if (m_link != nullptr) {
        m_link->Reach([&event](HostEventListener& listener) { listener.OnFieldEvent(event); });
    }
    return Count();
}

IFACEMETHODIMP CredentialEventsSink::SetFieldState(ICredentialProviderCredential* tile, DWORD field,
                                                   CREDENTIAL_PROVIDER_FIELD_STATE state) {
    FieldEvent event{FieldEventKind::State, tile, field};
    event.state = state;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldInteractiveState(ICredentialProviderCredential* tile, DWORD field,
                                                              CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE state) {
    FieldEvent event{FieldEventKind::InteractiveState, tile, field};
    event.interactiveState = state;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldString(ICredentialProviderCredential* tile, DWORD field, LPCWSTR text) {
    FieldEvent event{FieldEventKind::String, tile, field};
    event.text = text;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldCheckbox(ICredentialProviderCredential* tile, DWORD field, BOOL checked,
                                                      LPCWSTR label) {
    FieldEvent event{FieldEventKind::Checkbox, tile, field};
    event.checked = checked;
    event.text = label;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldBitmap(ICredentialProviderCredential* tile, DWORD field, HBITMAP bitmap) {
    FieldEvent event{FieldEventKind::Bitmap, tile, field};
    event.bitmap = bitmap;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldComboBoxSelectedItem(ICredentialProviderCredential* tile, DWORD field,
                                                                  DWORD item) {
    FieldEvent event{FieldEventKind::ComboSelected, tile, field};
    event.item = item;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::DeleteFieldComboBoxItem(ICredentialProviderCredential* tile, DWORD field,
                                                             DWORD item) {
    FieldEvent event{FieldEventKind::ComboDeleted, tile, field};
    event.item = item;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::AppendFieldComboBoxItem(ICredentialProviderCredential* tile, DWORD field,
                                                             LPCWSTR text) {
    FieldEvent event{FieldEventKind::ComboAppended, tile, field};
    event.text = text;
    return Forward(event);
}
IFACEMETHODIMP CredentialEventsSink::SetFieldSubmitButton(ICredentialProviderCredential* tile, DWORD field,
                                                          DWORD adjacentTo) {
    FieldEvent event{FieldEventKind::SubmitButton, tile, field};
    event.item = adjacentTo;
    return Forward(event);
}

// A console host has no window of its own to parent a provider's dialogs; the console window
// (null when there is none) is the closest thing. A window host hands out its own window, and
// none once it has detached its listener.
IFACEMETHODIMP CredentialEventsSink::OnCreatingWindow(HWND* phwndOwner) {
    if (phwndOwner == nullptr) {
        return E_POINTER;
    }
    *phwndOwner = m_link == nullptr ? GetConsoleWindow() : nullptr;
    if (m_link != nullptr) {
        m_link->Reach([phwndOwner](HostEventListener& listener) { *phwndOwner = listener.OwnerWindow(); });
    }
    return Count();
}

IFACEMETHODIMP CredentialEventsSink::BeginFieldUpdates() { return Forward(FieldEvent{FieldEventKind::BeginUpdates}); }

IFACEMETHODIMP CredentialEventsSink::EndFieldUpdates() { return Forward(FieldEvent{FieldEventKind::EndUpdates}); }

IFACEMETHODIMP CredentialEventsSink::SetFieldOptions(ICredentialProviderCredential* tile, DWORD field,
                                                     CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options) {
    FieldEvent event{FieldEventKind::Options, tile, field};
    event.options = options;
    return Forward(event);
}
