// The event sinks that a sign-in host hands to a provider (Advise) and to a tile (Advise):
// they accept every call, as the sign-in screen would, and count the calls so the host can say
// what the provider asked for. The tile's sink answers both event interfaces, the second one
// (batched updates, field options) as Windows 8 and later do. A host that draws the tile also
// hands them a listener, which sees every call on whichever thread the provider made it.
// Heap objects with real reference counts: a provider may keep its reference after UnAdvise,
// and call it later, even from a thread of its own after the host has gone (ListenerLink).
#pragma once

#include <credentialprovider.h>

#include "base/com_object.h"

#include <memory>
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
    SubmitButton,
    Options,       // ICredentialProviderCredentialEvents2::SetFieldOptions
    BeginUpdates,  // BeginFieldUpdates: no tile, no field; the updates until EndUpdates go together
    EndUpdates
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
    CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options = CPCFO_NONE;
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

// Where a host's sinks find its listener: shared by the host and every sink it made. The host
// detaches the listener before the listener goes; from then on a sink's call is answered S_OK
// and has no effect. Calls may come from any thread: each holds the link shared while it
// reaches the listener, and Detach waits for those in progress.
class ListenerLink {
public:
    explicit ListenerLink(HostEventListener* listener) noexcept : m_listener(listener) {}
    ListenerLink(const ListenerLink&) = delete;
    ListenerLink& operator=(const ListenerLink&) = delete;

    void Detach() noexcept {
        AcquireSRWLockExclusive(&m_lock);
        m_listener = nullptr;
        ReleaseSRWLockExclusive(&m_lock);
    }

    // Runs reach(listener) while the listener is attached; false when it is not.
    template <typename Action>
    bool Reach(Action reach) noexcept {
        AcquireSRWLockShared(&m_lock);
        HostEventListener* listener = m_listener;
        if (listener != nullptr) {
            reach(*listener);
        }
        ReleaseSRWLockShared(&m_lock);
        return listener != nullptr;
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    HostEventListener* m_listener;
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

class CredentialEventsSink final : public HostSink<CredentialEventsSink, ICredentialProviderCredentialEvents2> {
public:
    static CredentialEventsSink* Create(std::shared_ptr<ListenerLink> link = nullptr) noexcept {
        return new (std::nothrow) CredentialEventsSink(std::move(link));
    }

    // Answers IUnknown and both event interfaces: a tile asks for the second in Advise.
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;

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

    // ICredentialProviderCredentialEvents2: the tile batches its changes and sets field options.
    IFACEMETHODIMP BeginFieldUpdates() override;
    IFACEMETHODIMP EndFieldUpdates() override;
    IFACEMETHODIMP SetFieldOptions(ICredentialProviderCredential*, DWORD,
                                   CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS) override;

private:
    explicit CredentialEventsSink(std::shared_ptr<ListenerLink> link) noexcept : m_link(std::move(link)) {}
    HRESULT Forward(const FieldEvent& event) noexcept;

    const std::shared_ptr<ListenerLink> m_link;
};

class ProviderEventsSink final : public HostSink<ProviderEventsSink, ICredentialProviderEvents> {
public:
    static ProviderEventsSink* Create(std::shared_ptr<ListenerLink> link = nullptr) noexcept {
        return new (std::nothrow) ProviderEventsSink(std::move(link));
    }

    // ICredentialProviderEvents: the provider asks the host to enumerate its tiles again.
    IFACEMETHODIMP CredentialsChanged(UINT_PTR) override {
        if (m_link != nullptr) {
            m_link->Reach([](HostEventListener& listener) { listener.OnCredentialsChanged(); });
        }
        return Count();
    }

private:
    explicit ProviderEventsSink(std::shared_ptr<ListenerLink> link) noexcept : m_link(std::move(link)) {}

    const std::shared_ptr<ListenerLink> m_link;
};
