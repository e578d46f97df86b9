// The event sinks that a sign-in host hands to a provider (Advise) and to a tile (Advise):
// they accept every call, as the sign-in screen would, and count the calls so the host can say
// what the provider asked for. A host that draws the tile also hands them a listener, which
// sees every call on the provider's thread. Heap objects with real reference counts: a provider
// may keep its reference until UnAdvise.
#pragma once

#include <credentialprovider.h>

#include "base/com_object.h"

#include <new>

enum class FieldEventKind {
    State,
    InteractiveState,
    String,
    Checkbox,
    Bitmap,
    ComboSelected,
    ComboDeleted,
    ComboAppended,
    SubmitButton
};

// One ICredentialProviderCredentialEvents call. text and bitmap are the provider's, valid only
// during the call: a listener copies what it keeps.
struct FieldEvent {
    FieldEventKind kind = FieldEventKind::State;
    ICredentialProviderCredential* tile = nullptr;  // identifies the tile; not called by listeners
    DWORD fieldId = 0;
    CREDENTIAL_PROVIDER_FIELD_STATE state = CPFS_HIDDEN;
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactiveState = CPFIS_NONE;
    PCWSTR text = nullptr;  // string, checkbox label, appended combo item
    BOOL checked = FALSE;
    HBITMAP bitmap = nullptr;
    DWORD item = 0;  // combo item index, or the field a submit button sits beside
};

// What a host with a window does with the provider's events. It must outlive the sinks.
class HostEventListener {
public:
    virtual void OnFieldEvent(const FieldEvent& event) noexcept = 0;
    virtual void OnCredentialsChanged() noexcept = 0;
    virtual HWND OwnerWindow() noexcept = 0;

protected:
    ~HostEventListener() = default;
};

// A host sink: IUnknown from base's ComObject (a host's own objects keep no module loaded), plus
// the count of the calls the provider made on it.
template <typename Derived, typename Interface>
class HostSink : public ComObject<Derived, Interface, NoModuleCount> {
public:
    LONG CallCount() const noexcept { return m_calls; }

protected:
    HostSink() noexcept = default;
    HRESULT Count() noexcept {
        InterlockedIncrement(&m_calls);
        return S_OK;
    }

private:
    LONG m_calls = 0;
};

class CredentialEventsSink final : public HostSink<CredentialEventsSink, ICredentialProviderCredentialEvents> {
public:
    static CredentialEventsSink* Create(HostEventListener* listener = nullptr) noexcept {
        return new (std::nothrow) CredentialEventsSink(listener);
    }

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

private:
    explicit CredentialEventsSink(HostEventListener* listener) noexcept : m_listener(listener) {}
    HRESULT Forward(const FieldEvent& event) noexcept;

    HostEventListener* m_listener;
};

class ProviderEventsSink final : public HostSink<ProviderEventsSink, ICredentialProviderEvents> {
public:
    static ProviderEventsSink* Create(HostEventListener* listener = nullptr) noexcept {
        return new (std::nothrow) ProviderEventsSink(listener);
    }

    // ICredentialProviderEvents: the provider asks the host to enumerate its tiles again.
    IFACEMETHODIMP CredentialsChanged(UINT_PTR) override {
        if (m_listener != nullptr) {
            m_listener->OnCredentialsChanged();
        }
        return Count();
    }

private:
    explicit ProviderEventsSink(HostEventListener* listener) noexcept : m_listener(listener) {}

    HostEventListener* m_listener;
};
