// The module's ICredentialProvider: takes part in sign-in, unlock and the credential prompt,
// describes the tile's five fields and hands out its one tile.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

#include "base/com_object.h"
#include "base/com_ptr.h"
#include "module_lock_count.h"
#include "tile/credential_tile.h"

// One reference for the creator, no tile yet, and one count on the module. At the final Release
// the tile's creation reference goes first (the host may still hold the tile, which then lives
// on by itself), then the module count.
class CQMCredProvider final : public ComObject<CQMCredProvider, ICredentialProvider, ModuleCountPolicy> {
public:
    CQMCredProvider() noexcept;

    // ICredentialProvider
    IFACEMETHODIMP SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO cpus, DWORD dwFlags) noexcept override;
    IFACEMETHODIMP SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept override;
    IFACEMETHODIMP Advise(ICredentialProviderEvents* pcpe, UINT_PTR upAdviseContext) noexcept override;
    IFACEMETHODIMP UnAdvise() noexcept override;
    IFACEMETHODIMP GetFieldDescriptorCount(DWORD* pdwCount) noexcept override;
    IFACEMETHODIMP GetFieldDescriptorAt(DWORD dwIndex, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** ppcpfd) noexcept override;
    IFACEMETHODIMP GetCredentialCount(DWORD* pdwCount, DWORD* pdwDefault,
                                      BOOL* pbAutoLogonWithDefault) noexcept override;
    IFACEMETHODIMP GetCredentialAt(DWORD dwIndex, ICredentialProviderCredential** ppcpc) noexcept override;

private:
    friend ComObject;
    ~CQMCredProvider() = default;

    CREDENTIAL_PROVIDER_USAGE_SCENARIO m_usageScenario = CPUS_INVALID;  // last accepted; passed to the tile
    DWORD m_usageFlags = 0;                                             // that call's flags
    // The one tile with its creation reference, or null before the first scenario.
    ComPtr<CQMCredentialTile> m_tile;
};
