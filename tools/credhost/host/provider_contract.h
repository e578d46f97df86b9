// What the host accepts from a provider under test, which may be broken or hostile: counts above
// these caps, and calls that succeed without handing over what they promise (a null label,
// descriptor, tile, string or block, a block smaller than it claims), are provider failures.
#pragma once

#include <windows.h>
#include <unknwn.h>

inline constexpr DWORD kMaxFieldDescriptors = 256;
inline constexpr DWORD kMaxTiles = 256;
inline constexpr DWORD kMaxComboBoxItems = 1000;

// Stands in the reports for a call that returned success but broke its contract, since the
// provider's own result (S_OK) would hide the failure. HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
inline constexpr HRESULT kProviderContractBroken = static_cast<HRESULT>(0x8007000DL);

// Asks a provider's object for another of its interfaces. Received into a raw pointer: what a
// failed call left in its out-parameter is not the host's. False when it has none.
template <typename Interface, typename Holder>
bool QueryProviderInterface(IUnknown* object, Holder& held) noexcept {
    void* received = nullptr;
    if (FAILED(object->QueryInterface(__uuidof(Interface), &received)) || received == nullptr) {
        return false;
    }
    held.Attach(static_cast<Interface*>(received));
    return true;
}
