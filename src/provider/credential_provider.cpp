#include "provider/credential_provider.h"

#include <new>

#include "base/co_task_str_dup.h"
#include "tile/field_table.h"

CQMCredProvider::CQMCredProvider() noexcept = default;

// Called by the host right after creation, to say which UI it shows. The tile is created on the
// first accepted scenario and kept, with whatever was typed into it, for the provider's life; it
// is told every accepted scenario, since the logon it packs depends on it.
IFACEMETHODIMP CQMCredProvider::SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO cpus, DWORD dwFlags) noexcept {
    if (cpus != CPUS_LOGON && cpus != CPUS_UNLOCK_WORKSTATION && cpus != CPUS_CREDUI) {
        return E_NOTIMPL;
    }
    m_usageScenario = cpus;
    m_usageFlags = dwFlags;
    // Without memory the scenario still stands; the next accepted call tries the tile again.
    if (!m_tile) {
        m_tile.Attach(new (std::nothrow) CQMCredentialTile());
    }
    if (!m_tile) {
        return E_OUTOFMEMORY;
    }
    m_tile->SetUsageScenario(m_usageScenario, m_usageFlags);
    return S_OK;
}

// Called by the host to hand in a credential from elsewhere (a remote session); not taken.
IFACEMETHODIMP CQMCredProvider::SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION*) noexcept {
    return E_NOTIMPL;
}

// Called by the host to offer its event sink. The set of tiles never changes, so the sink is
// neither kept nor called.
IFACEMETHODIMP CQMCredProvider::Advise(ICredentialProviderEvents*, UINT_PTR) noexcept { return S_OK; }

// Called by the host before it drops the provider; nothing was kept by Advise.
IFACEMETHODIMP CQMCredProvider::UnAdvise() noexcept { return S_OK; }

// Called by the host before it lays out the tile.
IFACEMETHODIMP CQMCredProvider::GetFieldDescriptorCount(DWORD* pdwCount) noexcept {
    if (pdwCount == nullptr) {
        return E_INVALIDARG;
    }
    *pdwCount = FieldCount;
    return S_OK;
}

// Called by the host once for each field. The descriptor and its label are fresh CoTaskMem
// blocks that the host frees; the label never points into the module's table.
IFACEMETHODIMP CQMCredProvider::GetFieldDescriptorAt(DWORD dwIndex,
                                                     CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** ppcpfd) noexcept {
    if (dwIndex >= FieldCount || ppcpfd == nullptr) {
        return E_INVALIDARG;
    }
    auto* descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR*>(
        CoTaskMemAlloc(sizeof(CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR)));
    *ppcpfd = descriptor;
    if (descriptor == nullptr) {
        return E_OUTOFMEMORY;
    }
    *descriptor = FieldDescriptorTable[dwIndex];
    // Without memory for the label the descriptor is still handed out, with a null label, so a
    // field is never lost to a missing caption. CoTaskStrDup stores null in that case.
    CoTaskStrDup(FieldDescriptorTable[dwIndex].pszLabel, &descriptor->pszLabel);
    return S_OK;
}

// Called by the host to learn how many tiles to show: always the one, as the default tile, never
// signed in automatically. The answer does not depend on whether the tile exists yet.
IFACEMETHODIMP CQMCredProvider::GetCredentialCount(DWORD* pdwCount, DWORD* pdwDefault,
                                                   BOOL* pbAutoLogonWithDefault) noexcept {
    if (pdwCount == nullptr || pdwDefault == nullptr || pbAutoLogonWithDefault == nullptr) {
        return E_INVALIDARG;
    }
    *pdwCount = 1;
    *pdwDefault = 0;
    *pbAutoLogonWithDefault = FALSE;
    return S_OK;
}

// Called by the host for each tile that GetCredentialCount announced; the caller gets a
// reference of its own.
IFACEMETHODIMP CQMCredProvider::GetCredentialAt(DWORD dwIndex, ICredentialProviderCredential** ppcpc) noexcept {
    if (dwIndex != 0 || !m_tile || ppcpc == nullptr) {
        return E_INVALIDARG;
    }
    return m_tile->QueryInterface(IID_ICredentialProviderCredential, reinterpret_cast<void**>(ppcpc));
}
