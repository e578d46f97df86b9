// Ownership of the block of a returned credential serialization. It holds the password in
// clear, so it is overwritten with zeros before CoTaskMemFree. The provider's word for its size
// (cbSerialization) is checked against what the COM task allocator really holds before a byte
// of it is read or wiped.
#pragma once

#include <credentialprovider.h>

#include "base/com_ptr.h"
#include "provider_contract.h"

class SerializationBlock {
public:
    SerializationBlock() noexcept = default;
    ~SerializationBlock() {
        if (m_owned) {
            SecureZeroMemory(m_block, m_realSize);
            CoTaskMemFree(m_block);
        }
    }
    SerializationBlock(const SerializationBlock&) = delete;
    SerializationBlock& operator=(const SerializationBlock&) = delete;

    // Takes the block of a serialization that the provider returned with a credential (not
    // null), and measures it with the task allocator (IMalloc::DidAlloc and GetSize). S_OK when
    // the block holds at least the size claimed; kProviderContractBroken otherwise, and Data()
    // is then null. A block the allocator did not hand out is left alone: neither read, wiped
    // nor freed, since freeing it could corrupt the heap. A block smaller than its claim is wiped
    // and freed over its real size only.
    HRESULT TakeFrom(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization) noexcept {
        m_block = serialization.rgbSerialization;
        m_claimedSize = serialization.cbSerialization;
        serialization.rgbSerialization = nullptr;
        ComPtr<IMalloc> allocator;
        if (FAILED(CoGetMalloc(1, allocator.Receive())) || allocator->DidAlloc(m_block) == 0) {
            return kProviderContractBroken;
        }
        const SIZE_T realSize = allocator->GetSize(m_block);
        if (realSize == static_cast<SIZE_T>(-1)) {
            return kProviderContractBroken;
        }
        m_owned = true;
        m_realSize = realSize;
        m_readable = m_claimedSize <= m_realSize;
        return m_readable ? S_OK : kProviderContractBroken;
    }

    bool IsTaskAllocatorBlock() const noexcept { return m_owned; }
    const unsigned char* Data() const noexcept { return m_readable ? m_block : nullptr; }
    ULONG Size() const noexcept { return m_claimedSize; }  // cbSerialization
    SIZE_T RealSize() const noexcept { return m_realSize; }

private:
    byte* m_block = nullptr;
    ULONG m_claimedSize = 0;
    SIZE_T m_realSize = 0;
    bool m_owned = false;
    bool m_readable = false;
};
