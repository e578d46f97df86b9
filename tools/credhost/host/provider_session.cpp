#include "provider_session.h"

#include "co_task_memory.h"
#include "provider_call.h"

ProviderSession::~ProviderSession() {
    if (m_advised) {
        NameProviderCall("UnAdvise");
        m_provider->UnAdvise();
    }
    // A provider may keep its sinks and call them later, from any thread: they reach nothing
    // of the host's from now on.
    if (m_link != nullptr) {
        m_link->Detach();
    }
}

HRESULT ProviderSession::Open(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, HostEventListener* listener) {
    m_failedStep = NameProviderCall("SetUsageScenario");
    m_usageFlags = flags;
    HRESULT hr = m_provider->SetUsageScenario(scenario, flags);
    if (hr == E_NOTIMPL) {
        m_takesNoPart = true;
        return hr;
    }
    if (FAILED(hr)) {
        return hr;
    }
    HandOverUserArray();
    if (listener != nullptr) {
        m_link = std::make_shared<ListenerLink>(listener);
    }
    // Optional for a provider (E_NOTIMPL is common); the host goes on without it.
    m_events.Attach(ProviderEventsSink::Create(m_link));  // the sink's creation reference
    if (m_events) {
        m_failedStep = NameProviderCall("Advise");
        m_advised = SUCCEEDED(m_provider->Advise(m_events.Get(), 0));
    }
    return Refresh();
}

// The provider's answer is reported, never a reason to stop: the sign-in screen goes on too.
void ProviderSession::HandOverUserArray() {
    ComPtr<ICredentialProviderSetUserArray> taker;
    m_failedStep = NameProviderCall("QueryInterface(ICredentialProviderSetUserArray)");
    if (!QueryProviderInterface<ICredentialProviderSetUserArray>(m_provider, taker)) {
        return;
    }
    m_accounts = ReadLocalAccounts(m_users);
    ComPtr<ICredentialProviderUserArray> users;
    users.Attach(CreateLocalUserArray(m_accounts));
    if (!users) {
        m_userArrayResult = E_OUTOFMEMORY;
        return;
    }
    m_failedStep = NameProviderCall("SetUserArray");
    m_userArrayResult = taker->SetUserArray(users.Get());
}

HRESULT ProviderSession::Refresh() {
    HRESULT hr = ReadFieldDescriptors(m_provider, m_fields, m_failedStep);
    if (FAILED(hr)) {
        return hr;
    }
    // Read into locals: what a failed call left in its out-parameters is never used.
    DWORD tileCount = 0;
    DWORD defaultTile = CREDENTIAL_PROVIDER_NO_DEFAULT;
    BOOL autoLogon = FALSE;
    m_failedStep = NameProviderCall("GetCredentialCount");
    hr = m_provider->GetCredentialCount(&tileCount, &defaultTile, &autoLogon);
    if (FAILED(hr)) {
        return hr;
    }
    static_assert(kMaxTiles == 256, "the failed step names the cap");
    m_failedStep = "GetCredentialCount (more than 256 tiles)";
    if (tileCount > kMaxTiles) {
        return kProviderContractBroken;
    }
    m_tileCount = tileCount;
    m_defaultTile = defaultTile;
    m_autoLogon = autoLogon;
    m_failedStep = "";
    return S_OK;
}

TileConnection::~TileConnection() {
    if (m_selected) {
        NameProviderCall("SetDeselected");
        m_tile->SetDeselected();
    }
    if (m_advised) {
        NameProviderCall("UnAdvise");
        m_tile->UnAdvise();
    }
}

HRESULT TileConnection::Open(ICredentialProvider* provider, DWORD index, const std::shared_ptr<ListenerLink>& link) {
    m_failedStep = NameProviderCall("GetCredentialAt");
    ICredentialProviderCredential* tile = nullptr;
    HRESULT hr = provider->GetCredentialAt(index, &tile);
    if (FAILED(hr)) {
        return hr;  // tile is not the host's: a failed call hands nothing over
    }
    m_tile.Attach(tile);  // the call's reference
    m_failedStep = "GetCredentialAt (no tile)";
    if (!m_tile) {
        return kProviderContractBroken;
    }
    // Like the provider's Advise, optional: a tile that refuses it still signs in.
    m_events.Attach(CredentialEventsSink::Create(link));
    if (m_events) {
        m_failedStep = NameProviderCall("Advise");
        m_advised = SUCCEEDED(m_tile->Advise(m_events.Get()));
    }
    m_failedStep = "";
    return S_OK;
}

HRESULT TileConnection::Select(BOOL& autoLogon) {
    autoLogon = FALSE;
    m_failedStep = NameProviderCall("SetSelected");
    const HRESULT hr = m_tile->SetSelected(&autoLogon);
    if (FAILED(hr)) {
        return hr;
    }
    m_selected = true;
    m_failedStep = "";
    return hr;
}

HRESULT TileConnection::Deselect() {
    if (!m_selected) {
        return S_FALSE;
    }
    m_selected = false;
    NameProviderCall("SetDeselected");
    return m_tile->SetDeselected();
}

HRESULT TileConnection::ReadUserSid(std::wstring& sid) {
    sid.clear();
    ComPtr<ICredentialProviderCredential2> tile;
    NameProviderCall("QueryInterface(ICredentialProviderCredential2)");
    if (!QueryProviderInterface<ICredentialProviderCredential2>(m_tile.Get(), tile)) {
        return E_NOINTERFACE;
    }
    ReceivedCoTaskString text;
    NameProviderCall("GetUserSid");
    const HRESULT hr = text.KeepIfSucceeded(tile->GetUserSid(text.Receive()));
    if (FAILED(hr)) {
        return hr;
    }
    if (text.Get() == nullptr) {
        return kProviderContractBroken;
    }
    sid = text.Get();
    return S_OK;
}
