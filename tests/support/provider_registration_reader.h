// Reads back the provider's registration: its three key paths and the values stored under them.
// Shared by the tests that register through the exported functions and through regsvr32.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

extern const std::wstring kProviderClassKey;               // under HKEY_CLASSES_ROOT
extern const std::wstring kProviderInprocServerKey;        // under HKEY_CLASSES_ROOT
extern const std::wstring kProviderCredentialProviderKey;  // under HKEY_LOCAL_MACHINE
extern const wchar_t kProviderDisplayName[];

struct RegistryString {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    DWORD bytes = 0;  // as stored, terminator included
    std::wstring text;
};
RegistryString ReadRegistryString(HKEY root, const std::wstring& keyPath, PCWSTR valueName);

// Expects a REG_SZ value of exactly this text, stored with its terminator and nothing more.
void ExpectRegistryString(const RegistryString& value, const std::wstring& text);

// Values and subkeys directly in a key; {-1, -1} when the key does not exist.
std::pair<int, int> RegistryKeyShape(HKEY root, const std::wstring& keyPath);

// Neither the class key nor the credential-provider key exists.
bool ProviderUnregistered();
