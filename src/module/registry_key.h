// Owns one open registry key and closes it when it goes out of scope.
#pragma once

#include <windows.h>

class RegistryKey {
public:
    RegistryKey() noexcept = default;
    ~RegistryKey() {
        // The close's result is of no use: the key is gone from this process either way.
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }

    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const noexcept { return m_key; }

    // For the out-parameter of an opening call; only on a key that holds nothing yet.
    HKEY* Receive() noexcept { return &m_key; }

private:
    HKEY m_key = nullptr;
};
