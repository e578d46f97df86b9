// Ownership of the block of a returned credential serialization. It holds the password in
// clear, so it is overwritten with zeros before CoTaskMemFree.
#pragma once

#include <credentialprovider.h>

class SerializationBlock {
public:
    SerializationBlock() noexcept = default;
    ~SerializationBlock() {
        if (m_block != nullptr) {
            SecureZeroMemory(m_block, m_size);
            CoTaskMemFree(m_block);
        }
    }
    SerializationBlock(const SerializationBlock&) = delete;
    SerializationBlock& operator=(const SerializationBlock&) = delete;

    // Takes the block of a serialization that the provider returned with a credential.
    void TakeFrom(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization) noexcept {
        m_block = serialization.rgbSerialization;
        m_size = serialization.cbSerialization;
        serialization.rgbSerialization = nullptr;
    }

    const unsigned char* Data() const noexcept { return m_block; }
    ULONG Size() const noexcept { return m_size; }

private:
    byte* m_block = nullptr;
    ULONG m_size = 0;
};
