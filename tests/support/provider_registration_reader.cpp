#include "support/provider_registration_reader.h"

#include <gtest/gtest.h>

#include "provider_class_id.h"

const std::wstring kProviderClassKey = std::wstring(L"CLSID\\") + kProviderClsidText;
const std::wstring kProviderInprocServerKey = kProviderClassKey + L"\\InprocServer32";
const std::wstring kProviderCredentialProviderKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\") +
    kProviderClsidText;
const wchar_t kProviderDisplayName[] = L"Quillmere Credential Provider";

RegistryString ReadRegistryString(HKEY root, const std::wstring& keyPath, PCWSTR valueName) {
    RegistryString value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (value.status != ERROR_SUCCESS) {
        return value;
    }
    // One unit more than announced stays zero, so a value stored without terminator still reads
    // as a string.
    WCHAR data[1024] = {};
    value.bytes = sizeof(data) - sizeof(WCHAR);
    value.status = RegQueryValueExW(key, valueName, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &value.bytes);
    RegCloseKey(key);
    value.text = data;
    return value;
}

void ExpectRegistryString(const RegistryString& value, const std::wstring& text) {
    EXPECT_EQ(ERROR_SUCCESS, value.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ((text.size() + 1) * sizeof(WCHAR), value.bytes);
    EXPECT_EQ(text, value.text);
}

std::pair<int, int> RegistryKeyShape(HKEY root, const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {-1, -1};
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return {static_cast<int>(values), static_cast<int>(subkeys)};
}

bool ProviderUnregistered() {
    return RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderClassKey).first < 0 &&
           RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey).first < 0;
}
