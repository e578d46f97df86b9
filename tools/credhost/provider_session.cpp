#include "provider_session.h"

ProviderSession::~ProviderSession() {
    if (m_advised) {
        m_provider->UnAdvise();
    }
}

HRESULT ProviderSession::Open(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, HostEventListener* listener) {
    m_failedStep = "SetUsageScenario";
    HRESULT hr = m_provider->SetUsageScenario(scenario, 0);
    if (FAILED(hr)) {
        return hr;
    }
    // Optional for a provider (E_NOTIMPL is common); the host goes on without it.
    m_events.Attach(ProviderEventsSink::Create(listener));
    if (m_events != nullptr) {
        m_advised = SUCCEEDED(m_provider->Advise(m_events.Get(), 0));
    }
    return Refresh();
}

HRESULT ProviderSession::Refresh() {
    DWORD failedIndex = 0;
    m_failedStep = "GetFieldDescriptorCount/GetFieldDescriptorAt";
    HRESULT hr = ReadFieldDescriptors(m_provider, m_fields, failedIndex);
    if (FAILED(hr)) {
        return hr;
    }
    m_failedStep = "GetCredentialCount";
    hr = m_provider->GetCredentialCount(&m_tileCount, &m_defaultTile, &m_autoLogon);
    if (FAILED(hr)) {
        return hr;
    }
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
    HRESULT hr = provider->GetCredentialAt(index, &m_tile);
    if (FAILED(hr)) {
        return hr;
    }
    if (m_tile == nullptr) {
        return E_POINTER;
    }
    // Like the provider's Advise, optional: a tile that refuses it still signs in.
    m_events.Attach(CredentialEventsSink::Create(listener));
    if (m_events != nullptr) {
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
