// The credential providers that the system knows: the subkeys of the Credential Providers key,
// each with its name and the DLL that its class id is registered with; and, read the same way,
// the credential provider filters, which the sign-in screen asks which providers to show.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline constexpr wchar_t kCredentialProvidersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers";
inline constexpr wchar_t kCredentialProviderFiltersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Provider Filters";

struct RegisteredProvider {
    std::wstring clsid;     // "{...}" as registered
    std::wstring name;      // the provider key's default value, else the class key's
    std::wstring dllPath;   // InprocServer32's default value; empty when the class is not registered
    bool disabled = false;  // the provider key's Disabled value is non-zero: the sign-in screen skips it
    bool excluded = false;  // the ExcludedCredentialProviders policy lists it: the sign-in screen hides it
};

std::vector<RegisteredProvider> ListRegisteredProviders();

// The registered credential provider filters, read as the providers are (the exclusion policy
// does not apply to them).
std::vector<RegisteredProvider> ListRegisteredProviderFilters();

// The class id of the registered provider whose DLL is path (compared as full paths, ignoring
// case); empty when none is.
std::wstring FindRegisteredClsidForDll(const std::wstring& path);

// The full form of a file path, as LoadLibrary and the registry see it.
std::wstring FullPathOf(const std::wstring& path);
