// An open registry key, closed exactly once.
#pragma once

#include <windows.h>

#include <string>

class RegistryKey {
public:
    RegistryKey() noexcept = default;
    ~RegistryKey() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens parent\subKey for reading; false when it does not exist or cannot be read.
    bool Open(HKEY parent, PCWSTR subKey) noexcept {
        return RegOpenKeyExW(parent, subKey, 0, KEY_READ, &m_key) == ERROR_SUCCESS;
    }
    HKEY Get() const noexcept { return m_key; }

    // The named string value (null name: the default value); empty when absent or not a string.
    std::wstring ReadString(PCWSTR name) const;

private:
    HKEY m_key = nullptr;
};
