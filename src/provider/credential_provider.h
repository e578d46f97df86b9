// The module's ICredentialProvider: takes part in sign-in, unlock and the credential prompt,
// describes the tile's five fields and hands out its one tile.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

class CQMCredentialTile;

class CQMCredProvider final : public ICredentialProvider {
public:
    // One reference for the creator, no tile yet, and one count on the module.
    CQMCredProvider() noexcept;

    CQMCredProvider(const CQMCredProvider&) = delete;
    CQMCredProvider& operator=(const CQMCredProvider&) = delete;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;

    // ICredentialProvider
    IFACEMETHODIMP SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO cpus, DWORD dwFlags) noexcept override;
    IFACEMETHODIMP SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept override;
    IFACEMETHODIMP Advise(ICredentialProviderEvents* pcpe, UINT_PTR upAdviseContext) noexcept override;
    IFACEMETHODIMP UnAdvise() noexcept override;
    IFACEMETHODIMP GetFieldDescriptorCount(DWORD* pdwCount) noexcept override;
    IFACEMETHODIMP GetFieldDescriptorAt(DWORD dwIndex, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** ppcpfd) noexcept override;
    IFACEMETHODIMP GetCredentialCount(DWORD* pdwCount, DWORD* pdwDefault, BOOL* pbAutoLogonWithDefault) noexcept override;
    IFACEMETHODIMP GetCredentialAt(DWORD dwIndex, ICredentialProviderCredential** ppcpc) noexcept override;

private:
    ~CQMCredProvider() = default;

    volatile LONG m_refCount;
    CREDENTIAL_PROVIDER_USAGE_SCENARIO m_usageScenario;  // last accepted; read by nothing yet
    DWORD m_usageFlags;                                  // last accepted; no flag is acted on
    CQMCredentialTile* m_tile;  // the one tile with its creation reference, or null before the first scenario
};
