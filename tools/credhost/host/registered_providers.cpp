#include "registered_providers.h"

#include "registry_value.h"
#include "sign_in_screen_visibility.h"

namespace {

std::vector<std::wstring> SubKeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = ARRAYSIZE(name);
        const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

// The subkeys of HKLM\rootKey, each with its name and registered DLL, and its Disabled value.
std::vector<RegisteredProvider> ListRegisteredClasses(const wchar_t* rootKey) {
    std::vector<RegisteredProvider> providers;
    RegistryKey root;
    if (!OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, rootKey, root)) {
        return providers;
    }
    for (const std::wstring& clsid : SubKeyNames(root.Get())) {
        RegisteredProvider provider;
        provider.clsid = clsid;
        RegistryKey providerKey;
        if (OpenRegistryKeyForReading(root.Get(), clsid.c_str(), providerKey)) {
            provider.name = ReadRegistryString(providerKey.Get(), nullptr);
            provider.disabled = ReadRegistryDword(providerKey.Get(), L"Disabled") != 0;
        }
        RegistryKey classKey;
        if (OpenRegistryKeyForReading(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str(), classKey) &&
            provider.name.empty()) {
            provider.name = ReadRegistryString(classKey.Get(), nullptr);
        }
        RegistryKey serverKey;
        if (OpenRegistryKeyForReading(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid + L"\\InprocServer32").c_str(),
                                      serverKey)) {
            provider.dllPath = ReadRegistryPath(serverKey.Get(), nullptr);
        }
        providers.push_back(std::move(provider));
    }
    return providers;
}

}  // namespace

std::vector<RegisteredProvider> ListRegisteredProviders() {
    std::vector<RegisteredProvider> providers = ListRegisteredClasses(kCredentialProvidersKey);
    const ProviderExclusionPolicy policy = ReadProviderExclusionPolicy();
    for (RegisteredProvider& provider : providers) {
        provider.excluded = ExcludesProvider(policy, provider.clsid);
    }
    return providers;
}

std::vector<RegisteredProvider> ListRegisteredProviderFilters() {
    return ListRegisteredClasses(kCredentialProviderFiltersKey);
}

std::wstring FullPathOf(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return path;
    }
    full.resize(written);
    return full;
}

std::wstring FindRegisteredClsidForDll(const std::wstring& path) {
    const std::wstring wanted = FullPathOf(path);
    for (const RegisteredProvider& provider : ListRegisteredProviders()) {
        if (provider.dllPath.empty()) {
            continue;
        }
        const std::wstring registered = FullPathOf(provider.dllPath);
        if (CompareStringOrdinal(registered.c_str(), -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL) {
            return provider.clsid;
        }
    }
    return {};
}
