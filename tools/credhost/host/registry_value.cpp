#include "registry_value.h"

bool OpenRegistryKeyForReading(HKEY parent, PCWSTR subKey, RegistryKey& key) noexcept {
    return RegOpenKeyExW(parent, subKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::wstring ReadRegistryString(HKEY key, PCWSTR name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0) {
        return {};
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS) {
        return {};
    }
    // The stored value may or may not end in a zero; keep the text up to the first one.
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

DWORD ReadRegistryDword(HKEY key, PCWSTR name) noexcept {
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return value;
}

std::wstring ReadRegistryPath(HKEY key, PCWSTR name) {
    const std::wstring text = ReadRegistryString(key, name);
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return text;
    }
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) {
        return text;
    }
    expanded.resize(written - 1);
    return expanded;
}
