#include "provider_session.h"

ProviderSession::~ProviderSession() {
    if (m_advised) {
        m_provider->UnAdvise();
    }
}

HRESULT ProviderSession::Open(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, HostEventListener* listener) {
    m_failedStep = "SetUsageScenario";
    m_usageFlags = flags;
    HRESULT hr = m_provider->SetUsageScenario(scenario, flags);
    if (FAILED(hr)) {
        return hr;
    }
    // Optional for a provider (E_NOTIMPL is common); the host goes on without it.
    m_events.Attach(ProviderEventsSink::Create(listener));  // the sink's creation reference
    if (m_events) {
        m_advised = SUCCEEDED(m_provider->Advise(m_events.Get(), 0));
    }
    return Refresh();
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
    m_failedStep = "GetCredentialCount";
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
        m_tile->SetDeselected();
    }
    if (m_advised) {
        m_tile->UnAdvise();
    }
}

HRESULT TileConnection::Open(ICredentialProvider* provider, DWORD index, HostEventListener* listener) {
    m_failedStep = "GetCredentialAt";
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
    m_events.Attach(CredentialEventsSink::Create(listener));
    if (m_events) {
        m_advised = SUCCEEDED(m_tile->Advise(m_events.Get()));
    }
    m_failedStep = "";
    return S_OK;
}

HRESULT TileConnection::Select(BOOL& autoLogon) {
    autoLogon = FALSE;
    m_failedStep = "SetSelected";
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
    return m_tile->SetDeselected();
}
